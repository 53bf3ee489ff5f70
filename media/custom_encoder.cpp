#include "media/custom_encoder.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <iterator>
#include <utility>

#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media/ff_loader.h"
#include "media/ff_logger.h"
#include "media/ff_utils.h"

namespace media {

namespace {

// The engine's option table spells the hook switches in mixed case; callers write them in any.
constexpr const char* kHookSwitches[] = {"-AudioInputHook", "-AudioOutputHook", "-VideoInputHook",
                                         "-VideoOutputHook", "-FrameInputHook", "-FrameOutputHook"};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool SameText(const std::string& a, std::size_t pos, std::size_t len, const char* b) {
  for (std::size_t i = 0; i < len; ++i)
    if (std::tolower(static_cast<unsigned char>(a[pos + i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return b[len] == '\0';
}

// Every blank-separated word that is a hook switch in another letter case gets the table's
// spelling; the text is trimmed. Word by word, so two switches in a row are both found.
std::string NormaliseHookSwitches(const std::string& options) {
  std::string text = options;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    std::size_t end = pos;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    for (const char* name : kHookSwitches)
      if (SameText(text, pos, end - pos, name)) text.replace(pos, end - pos, name);
    pos = end;
  }
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::int64_t Microseconds(int milliseconds) { return std::int64_t(milliseconds) * 1000; }

// The caller's input or output record (its empty FileName filled in, in the caller's record as
// well), or a fresh record without one.
template <typename TOptions>
TOptions OptionsRecord(TOptions* options, const std::string& fileName) {
  if (options == nullptr) return TOptions{};
  if (options->FileName.empty()) options->FileName = fileName;
  return *options;
}

}  // namespace

/// Delivers one OnTerminate from a thread of its own, after every delivery that took an earlier
/// ticket, then frees the task when AutoReleaseTask asks for it. The encoder tracks and joins it.
class TDoTerminateThread {
 public:
  TDoTerminateThread(TCustomEncoder& encoder, TTerminateInfo info, TTerminateEvent handler, bool inMainThread,
                     std::uint64_t ticket, std::uint64_t serial)
      : FEncoder(encoder),
        FInfo(std::move(info)),
        FHandler(std::move(handler)),
        FInMainThread(inMainThread),
        FTicket(ticket),
        FSerial(serial),
        FThread([this] { Execute(); }) {}
  ~TDoTerminateThread() {
    if (FThread.joinable()) FThread.join();
  }
  bool Done() const { return FDone.load(); }

 private:
  void Execute() {
    FEncoder.WaitForTurn(FTicket);
    if (!FEncoder.FDestroying.load()) FEncoder.CallTerminateHandler(FHandler, FInfo, FInMainThread);
    if (FInfo.TaskIndex >= 0 && FEncoder.AutoReleaseTask()) {
      try {
        FEncoder.FList.Release(FInfo.TaskIndex, FSerial);
      } catch (const std::exception& e) {
        FFLogger().Log(&FEncoder, TLogLevel::llError, "Releasing task #%d failed: %s", FInfo.TaskIndex, e.what());
      }
    }
    FEncoder.DeliveryDone();
    FDone = true;
  }

  TCustomEncoder& FEncoder;
  const TTerminateInfo FInfo;
  const TTerminateEvent FHandler;
  const bool FInMainThread;
  const std::uint64_t FTicket;
  const std::uint64_t FSerial;
  std::atomic<bool> FDone{false};
  std::thread FThread;  // last: starts once everything above is set
};

TCustomEncoder::TCustomEncoder(TTaskFactory factory, TFFBaseComponent* owner)
    : TFFBaseComponent(owner), FFactory(std::move(factory)), FDecoder(this) {}

TCustomEncoder::~TCustomEncoder() { StopForDestruction(); }

void TCustomEncoder::StopForDestruction() {
  if (FDestroying.exchange(true)) return;
  {
    std::lock_guard lock(FTerminateLock);
    FPending = 0;
  }
  // Each task stops and waits for its run; their ends find no entry any more.
  FList.Clear();
  WaitForDeliveries();
  ReapTerminateThreads(true);
  OnProgress = nullptr;
  OnTerminate = nullptr;
  OnPreviewBitmap = nullptr;
  OnVideoInputHook = nullptr;
  OnVideoOutputHook = nullptr;
  OnFrameInputHook = nullptr;
  OnFrameOutputHook = nullptr;
  OnAudioInputHook = nullptr;
  OnAudioOutputHook = nullptr;
  OnBeforeFindStreamInfo = nullptr;
}

bool TCustomEncoder::AVLibLoaded() const { return FFLoader().Loaded(EncoderLibraries); }

bool TCustomEncoder::LoadAVLib(const std::string& path) {
  FFLoader().SetLibraryPath(path);
  if (!FFLoader().Load(EncoderLibraries)) {
    SetLastErrMsg(FFLoader().LastErrMsg());
    return false;
  }
  if (!FFLoader().Load(TLibrary::libMFX)) FFLogger().Log(this, TLogLevel::llWarning, FFLoader().LastErrMsg());
  return true;
}

void TCustomEncoder::CheckNotWorking(const std::string& operation) const {
  if (FWorking.load()) throw FFmpegException(FormatStr("Cannot %s while working.", operation.c_str()));
}

void TCustomEncoder::PrepareTaskOpen(IFFTask& task) const {
  task.ClearLastErrMsg();
  task.SetHaltOnInvalidOption(FHaltOnInvalidOption);
  task.SetReadTimeout(ReadTimeout());
  task.SetWriteTimeout(WriteTimeout());
}

std::string TCustomEncoder::LastErrMsg() const {
  std::lock_guard lock(FErrLock);
  return FLastErrMsg;
}

void TCustomEncoder::SetLastErrMsg(const std::string& text) {
  std::lock_guard lock(FErrLock);
  FLastErrMsg = text;
}

int TCustomEncoder::AddTask(const std::string& fileName, TInputOptions* options) {
  if (!AVLibLoaded()) throw FFmpegException("FFmpeg libraries not loaded.");
  CheckNotWorking("AddTask");
  int index = -1;
  try {
    std::unique_ptr<IFFTask> task = FFactory(*this);
    if (!task) throw FFmpegException("Could not create a task.");
    task->SetPreviewInterval(Microseconds(PreviewInterval()));
    task->SetReportInterval(Microseconds(ProgressInterval()));
    task->BindEvent(TTaskEvent::BeforeFindStreamInfo, true);
    task->BindEvent(TTaskEvent::PreviewBitmap, true);
    task->SetPostHooks(Preview(), PreviewBitmap());
    PrepareTaskOpen(*task);

    const TInputOptions record = OptionsRecord(options, fileName);
    const int input = task->OpenInput(fileName, record.Options, record.Presets);
    if (input < 0) {
      SetLastErrMsg(task->LastErrMsg());
      return input;
    }
    task->BindEvent(TTaskEvent::Progress, true);
    task->BindEvent(TTaskEvent::Terminate, true);
    IFFTask& added = *task;
    index = FList.Add(std::move(task));
    FList.StoreInputOptions(index, record);
    if (AVFormatContext* context = added.InputFormatContext(input))
      if (TFFDecoder* decoder = FList.Decoder(index, input, this)) decoder->SetFileHandle(context);
    return index;
  } catch (const std::exception& e) {
    if (index >= 0) FList.Delete(index);
    SetLastErrMsg(e.what());
    return -1;
  }
}

int TCustomEncoder::SetOutput(int taskIndex, const std::string& fileName, TOutputOptions* options) {
  CheckNotWorking("SetOutput");
  std::shared_ptr<IFFTask> task = FList.Item(taskIndex);
  if (!task) {
    SetLastErrMsg(FormatStr("The task #%d had been released.", taskIndex));
    return -1;
  }
  try {
    PrepareTaskOpen(*task);
    const TOutputOptions record = OptionsRecord(options, fileName);
    if (options != nullptr) {
      const std::pair<bool, TTaskEvent> hooks[] = {
          {record.AudioInputHook, TTaskEvent::AudioInputHook}, {record.AudioOutputHook, TTaskEvent::AudioOutputHook},
          {record.VideoInputHook, TTaskEvent::VideoInputHook}, {record.VideoOutputHook, TTaskEvent::VideoOutputHook},
          {record.FrameInputHook, TTaskEvent::FrameInputHook}, {record.FrameOutputHook, TTaskEvent::FrameOutputHook}};
      for (const auto& [on, event] : hooks)
        if (on) task->BindEvent(event, true);
      task->SetVideoHookBitsPixel(record.VideoHookBitsPixel);
    }
    const int result = task->OpenOutput(fileName, NormaliseHookSwitches(record.Options), record.Presets);
    if (result < 0)
      SetLastErrMsg(task->LastErrMsg());
    else
      FList.StoreOutputOptions(taskIndex, record);
    return result;
  } catch (const std::exception& e) {
    const std::string own = task->LastErrMsg();
    SetLastErrMsg(own.empty() ? std::string(e.what()) : own + "\r\n" + e.what());
    return -1;
  }
}

void TCustomEncoder::ClearTasks() {
  if (FWorking.load() && !FTerminated.load()) throw FFmpegException("Cannot ClearTasks while working.");
  // Outside the run lock: a task's destruction waits for the tail of its run.
  FList.Clear();
  SetLastErrMsg({});
  std::lock_guard lock(FTerminateLock);
  FCompleted = 0;
  FCurrent = -1;
  FPending = 0;
  FLiveAtStart = 0;
  FEnded.clear();
  FTerminated = false;
  FThreadMode = false;
  FWorking = false;
  FPaused = false;
}

void TCustomEncoder::RemoveTask(int taskIndex) {
  CheckNotWorking("RemoveTask");
  FList.Delete(taskIndex);
}

int TCustomEncoder::TasksCount() const { return FList.Count(); }

std::shared_ptr<IFFTask> TCustomEncoder::PickNextTask() {
  std::shared_ptr<IFFTask> task;
  while (FPending > 0 && !task) {
    --FPending;
    task = FList.Item(FCurrent++);
  }
  return task;
}

bool TCustomEncoder::StartNextTask() {
  std::shared_ptr<IFFTask> task = PickNextTask();
  if (!task) return false;
  task->StartConvert(true, ThreadPriority());
  return true;
}

void TCustomEncoder::Start(int threadCount) {
  CheckNotWorking("StartTask");
  const bool threadMode = threadCount > 0;
  {
    std::lock_guard lock(FTerminateLock);
    FCompleted = 0;
    FCurrent = 0;
    FPending = FList.Count();
    FLiveAtStart = FList.LiveCount();
    FEnded.clear();
    FStartThread = std::this_thread::get_id();
    FTerminated = false;
    FThreadMode = threadMode;
    FWorking = true;
    FPaused = false;
  }
  if (threadMode) {
    // The pick and the start are one step under the run lock, so Stop (which clears the pending
    // count under it) never races a task that is being started.
    for (int started = 0; started < threadCount; ++started) {
      std::lock_guard lock(FTerminateLock);
      if (!StartNextTask()) break;
    }
  } else {
    for (;;) {
      std::shared_ptr<IFFTask> task;
      {
        std::lock_guard lock(FTerminateLock);
        task = PickNextTask();
      }
      if (!task) break;
      // The task runs here, outside the lock: Stop may come from another thread meanwhile.
      task->StartConvert(false, ThreadPriority());
    }
  }
  // Nothing left to start (or nothing at all): the run may already be over.
  std::vector<TTerminateInfo> direct;
  {
    std::lock_guard lock(FTerminateLock);
    CheckEndOfRun(direct);
  }
  for (const TTerminateInfo& info : direct) DeliverTerminate(info);
}

void TCustomEncoder::Stop(bool waitForStop) {
  {
    std::lock_guard lock(FTerminateLock);
    FPending = 0;
  }
  if (FWorking.load()) FList.Terminate(waitForStop);
}

void TCustomEncoder::SetPreview(bool value) {
  FPreview = value;
  FList.SetPostHooks(value, PreviewBitmap());
}

void TCustomEncoder::SetPreviewBitmap(bool value) {
  FPreviewBitmap = value;
  FList.SetPostHooks(Preview(), value);
}

void TCustomEncoder::SetPreviewInterval(int milliseconds) {
  FPreviewInterval = std::max(milliseconds, 10);
  FList.SetPreviewInterval(Microseconds(PreviewInterval()));
}

void TCustomEncoder::SetProgressInterval(int milliseconds) {
  FProgressInterval = std::max(milliseconds, 10);
  FList.SetReportInterval(Microseconds(ProgressInterval()));
}

void TCustomEncoder::SetReadTimeout(int milliseconds) {
  TFFBaseComponent::SetReadTimeout(milliseconds);
  FList.SetReadTimeout(milliseconds);
}

void TCustomEncoder::SetWriteTimeout(int milliseconds) {
  TFFBaseComponent::SetWriteTimeout(milliseconds);
  FList.SetWriteTimeout(milliseconds);
}

void TCustomEncoder::DeliverEvent(const std::function<void()>& fn) const {
  if (FTriggerEventInMainThread.load())
    CallInMainThread(fn);
  else
    fn();
}

// --- Dispatchers ---------------------------------------------------------------------------------

void TCustomEncoder::DoProgress(IFFTask* task, const TProgressInfo& info) {
  if (!OnProgress || FDestroying.load()) return;
  const int index = FList.IndexOf(task);
  std::lock_guard lock(FProgressLock);
  FProgressInfo = info;
  FProgressInfo.TaskIndex = index;
  DeliverEvent([this] { OnProgress(this, &FProgressInfo); });
}

void TCustomEncoder::DoPreviewBitmap(IFFTask* task, const TPreviewInfo& info) {
  if (!OnPreviewBitmap || FDestroying.load()) return;
  const int index = FList.IndexOf(task);
  std::lock_guard lock(FPreviewLock);
  FPreviewInfo = info;
  FPreviewInfo.TaskIndex = index;
  DeliverEvent([this] { OnPreviewBitmap(this, FPreviewInfo); });
}

void TCustomEncoder::VideoHook(IFFTask* task, THookInfo& info, const TEncVideoHookEvent& handler) {
  if (!handler || FDestroying.load()) return;
  const int index = FList.IndexOf(task);
  std::lock_guard lock(FVideoHookLock);
  FHookInfo = info;
  FHookInfo.TaskIndex = index;
  handler(this, &FHookInfo);
  info.Update = FHookInfo.Update;
  info.StopHook = FHookInfo.StopHook;
}

void TCustomEncoder::DoInputVideoHook(IFFTask* task, THookInfo& info) { VideoHook(task, info, OnVideoInputHook); }

void TCustomEncoder::DoOutputVideoHook(IFFTask* task, THookInfo& info) { VideoHook(task, info, OnVideoOutputHook); }

void TCustomEncoder::TaskVideoHook(IFFTask* task, bool input, THookInfo& info) {
  if (input)
    DoInputVideoHook(task, info);
  else
    DoOutputVideoHook(task, info);
}

void TCustomEncoder::FrameHook(IFFTask* task, const TFrameHookInfo& info, const TEncFrameHookEvent& handler) {
  if (!handler || FDestroying.load()) return;
  const int index = FList.IndexOf(task);
  std::lock_guard lock(FFrameHookLock);
  FFrameHookInfo = info;
  FFrameHookInfo.TaskIndex = index;
  handler(this, &FFrameHookInfo);
}

void TCustomEncoder::DoInputFrameHook(IFFTask* task, const TFrameHookInfo& info) {
  FrameHook(task, info, OnFrameInputHook);
}

void TCustomEncoder::DoOutputFrameHook(IFFTask* task, const TFrameHookInfo& info) {
  FrameHook(task, info, OnFrameOutputHook);
}

void TCustomEncoder::TaskFrameHook(IFFTask* task, bool input, const TFrameHookInfo& info) {
  if (input)
    DoInputFrameHook(task, info);
  else
    DoOutputFrameHook(task, info);
}

void TCustomEncoder::TaskAudioHook(IFFTask* task, bool input, std::int64_t pts, AVFrame* frame, int size,
                                   int sampleRate, int channels, int sampleFormat) {
  const TEncAudioHookEvent& handler = input ? OnAudioInputHook : OnAudioOutputHook;
  if (!handler || FDestroying.load()) return;
  const int index = FList.IndexOf(task);
  std::lock_guard lock(FAudioHookLock);
  handler(this, index, pts, frame, size, sampleRate, channels, sampleFormat);
}

void TCustomEncoder::TaskBeforeFindStreamInfo(IFFTask* task, AVFormatContext* context) {
  if (!OnBeforeFindStreamInfo || FDestroying.load()) return;
  std::lock_guard lock(FBeforeFindStreamInfoLock);
  FBeforeFindStreamInfoSender = task;
  FBeforeFindStreamInfoContext = context;
  DeliverEvent([this] { OnBeforeFindStreamInfo(this, FBeforeFindStreamInfoContext); });
}

// --- End of tasks and of the run -----------------------------------------------------------------

void TCustomEncoder::DoTerminate(IFFTask* task) {
  std::vector<TTerminateInfo> direct;
  {
    std::lock_guard lock(FTerminateLock);
    const int index = FList.IndexOf(task);
    if (index < 0) return;  // freed or cleared meanwhile
    const std::uint64_t serial = FList.Serial(index);
    // A task stopped while it was being started may report its end twice: it counts once.
    if (FWorking.load() && !FEnded.insert(serial).second) return;
    const bool counted = FWorking.load() && !FTerminated.load();
    // The task released its inputs when its run ended.
    FList.UnbindDecoders(index);
    if (OnTerminate && !FDestroying.load()) {
      FTerminateInfo.TaskIndex = index;
      FTerminateInfo.Finished = task->Finished();
      FTerminateInfo.Exception = task->FatalException();
      FTerminateInfo.ExceptionMsg = task->FatalMessage();
      QueueTerminate(FTerminateInfo, serial, direct);
    }
    if (counted) {
      ++FCompleted;
      if (FPending > 0 && FThreadMode.load()) StartNextTask();
      CheckEndOfRun(direct);
    }
  }
  for (const TTerminateInfo& info : direct) DeliverTerminate(info);
}

void TCustomEncoder::CheckEndOfRun(std::vector<TTerminateInfo>& direct) {
  // Live tasks, not entries: an entry that was already empty at the start never ends.
  if (!FWorking.load() || FTerminated.load() || FPending > 0 || FCompleted < FLiveAtStart) return;
  FTerminated = true;
  if (!OnTerminate || FDestroying.load()) return;
  FTerminateInfo = TTerminateInfo{};
  FTerminateInfo.TaskIndex = -1;
  FTerminateInfo.Finished = true;
  QueueTerminate(FTerminateInfo, 0, direct);
}

void TCustomEncoder::QueueTerminate(const TTerminateInfo& info, std::uint64_t serial,
                                    std::vector<TTerminateInfo>& direct) {
  // Directly only for a run without threads and on the thread that runs it; a task stopped before
  // it ran reports from a thread of the engine's, which must not wait here for the main thread.
  if (!FThreadMode.load() && FWorking.load() && std::this_thread::get_id() == FStartThread) {
    direct.push_back(info);
    return;
  }
  std::uint64_t ticket;
  {
    std::lock_guard lock(FDeliveryLock);
    ticket = FTicketsIssued++;
  }
  ReapTerminateThreads(false);
  auto thread =
      std::make_unique<TDoTerminateThread>(*this, info, OnTerminate, TriggerEventInMainThread(), ticket, serial);
  std::lock_guard lock(FThreadsLock);
  FTerminateThreads.push_back(std::move(thread));
}

void TCustomEncoder::DeliverTerminate(const TTerminateInfo& info) {
  if (info.TaskIndex < 0) WaitForDeliveries();
  if (FDestroying.load()) return;
  CallTerminateHandler(OnTerminate, info, TriggerEventInMainThread());
}

void TCustomEncoder::CallTerminateHandler(const TTerminateEvent& handler, const TTerminateInfo& info,
                                          bool inMainThread) {
  if (!handler) return;
  auto call = [&] {
    try {
      handler(this, info);
    } catch (const std::exception& e) {
      FFLogger().Log(this, TLogLevel::llError, "OnTerminate of task #%d failed: %s", info.TaskIndex, e.what());
    }
  };
  if (inMainThread)
    CallInMainThread(call);
  else
    call();
}

void TCustomEncoder::WaitForTurn(std::uint64_t ticket) {
  std::unique_lock lock(FDeliveryLock);
  FDeliveryWake.wait(lock, [&] { return FTicketsDone == ticket; });
}

void TCustomEncoder::DeliveryDone() {
  {
    std::lock_guard lock(FDeliveryLock);
    ++FTicketsDone;
    FDeliveryWake.notify_all();
  }
  FDeliveriesSignal.Notify();
}

void TCustomEncoder::WaitForDeliveries() {
  platform::WaitInMainThread(
      [this] {
        std::lock_guard lock(FDeliveryLock);
        return FTicketsDone == FTicketsIssued;
      },
      FDeliveriesSignal);
}

void TCustomEncoder::ReapTerminateThreads(bool all) {
  std::vector<std::unique_ptr<TDoTerminateThread>> finished;
  {
    std::lock_guard lock(FThreadsLock);
    auto keep = std::partition(FTerminateThreads.begin(), FTerminateThreads.end(),
                               [all](const std::unique_ptr<TDoTerminateThread>& t) { return !all && !t->Done(); });
    std::move(keep, FTerminateThreads.end(), std::back_inserter(finished));
    FTerminateThreads.erase(keep, FTerminateThreads.end());
  }
  // Joined here, outside the lock (the destructor of each joins).
}

}  // namespace media
