#include "media/ff_logger.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media/ff_utils.h"
#include "platform/main_thread.h"

namespace media {

namespace {

// The output ring of the original design held 128 slots of which 127 were usable; a burst
// longer than that (a flood of decoder warnings) drops the oldest lines and says so.
constexpr std::size_t OutputCapacity = 127;
// Prefixes are cut at 255 characters, as the fixed prefix field always was.
constexpr std::size_t MaxReporterInfo = 255;

const char* const GLevelNames[] = {"Quiet", "Panic",   "Fatal", "Error", "Warning",
                                   "Info",  "Verbose", "Debug", "Trace"};

int CurrentThreadId() { return int(::syscall(SYS_gettid)); }

struct TLogItem {
  std::chrono::system_clock::time_point LogTime;
  TLogType LogType = TLogType::ltLogger;
  // FFmpeg: the logging context (identity only); Log: the ILogReporter given.
  const void* Reporter = nullptr;
  int ThreadID = 0;
  TLogLevel LogLevel = TLogLevel::llInfo;
  int Repeats = 0;
  std::string LogMsg;
  std::string ReporterInfo;
  // Order of queuing: a subscription hears the items queued after it began.
  std::uint64_t Seq = 0;
  // A barrier instead of a line (TLogSubscription::AfterQueuedLines): run for that subscription
  // once the items before it have been delivered; never written.
  std::function<void()> Marker;
  std::uint64_t MarkerFor = 0;
};

// A formatted line waiting to be handed to OnLog; delivered with no logger lock held.
struct TDelivery {
  const ILogReporter* Sender = nullptr;
  int ThreadID = 0;
  TLogLevel Level = TLogLevel::llInfo;
  std::string Line;
  std::uint64_t Seq = 0;
  std::function<void()> Marker;
  std::uint64_t MarkerFor = 0;
};

// A listener of TFFLogger::Subscribe and the first item it hears.
struct TSubscriber {
  TLogEvent Listener;
  std::uint64_t FirstSeq = 0;
};

void LimitReporterInfo(std::string& info) {
  if (info.size() > MaxReporterInfo) info.resize(MaxReporterInfo);
}

// "[name @ 0x...] " of an FFmpeg context, preceded by its parent's when the class declares one.
std::string AVReporterInfo(void* avcl) {
  if (avcl == nullptr) return {};
  const AVClass* avc = *static_cast<const AVClass* const*>(avcl);
  if (avc == nullptr) return {};
  auto itemName = [](const AVClass* cls, void* ctx) -> const char* {
    const char* name = cls->item_name != nullptr ? cls->item_name(ctx) : cls->class_name;
    return name != nullptr ? name : "";
  };
  std::string info;
  if (avc->parent_log_context_offset != 0) {
    AVClass** parent =
        *reinterpret_cast<AVClass***>(static_cast<std::uint8_t*>(avcl) + avc->parent_log_context_offset);
    if (parent != nullptr && *parent != nullptr)
      info = FormatStr("[%s @ %p] ", itemName(*parent, parent), static_cast<void*>(parent));
  }
  info += FormatStr("[%s @ %p] ", itemName(avc, avcl), avcl);
  LimitReporterInfo(info);
  return info;
}

// FFmpeg sometimes prints raw bytes (broken metadata); only the text controls \b \t \n \v \f \r
// are kept.
void SanitizeControls(std::string& text) {
  for (char& c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 8 || (b >= 14 && b <= 31)) c = '?';
  }
}

// CR LF and lone CR become LF: the file is written with "\n" line ends.
std::string NormalizeLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TimeText(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  return FormatStr("%.2d:%.2d:%.2d.%.3d ", local.tm_hour, local.tm_min, local.tm_sec, int(ms));
}

// The logger's process-wide state ("unit" state): it outlives any TFFLogger object. Locks are
// taken in the order CallbackLock → CreateLock → WriteLock → CoreLock → QueueLock, each step
// optional; OnLog and OnLogError run with none of them held except in synchronous mode.
class TLogCore {
 public:
  TLogCore();
  ~TLogCore();

  // Serialises creation and destruction of loggers (FFLogger's automatic one included).
  std::recursive_mutex CreateLock;
  // Properties and the current logger.
  mutable std::mutex CoreLock;
  TFFLogger* Current = nullptr;
  std::unique_ptr<TFFLogger> AutoLogger;
  bool Active = true;
  bool TriggerEventInMainThread = true;
  TLogEvent OnLog;
  std::map<std::uint64_t, TSubscriber> Subscribers;
  std::uint64_t NextSubscriber = 1;
  std::atomic<std::uint64_t> NextSeq{1};
  TLogErrorEvent OnLogError;
  std::string LogFile;
  bool LogToFile = false;
  std::atomic<int> LogFlags{LogFlagSkipRepeated | LogFlagPrintLevel};
  std::atomic<int> Level{int(TLogLevel::llInfo)};
  std::atomic<int> AVThreshold{32};
  std::atomic<bool> Synchronous{false};
  std::atomic<bool> Skip{true};

  // FFmpeg callback state: per-thread fragments and the last emitted FFmpeg line.
  std::mutex CallbackLock;
  std::vector<TLogItem> Pending;
  std::optional<TLogItem> LastLine;

  // Formatting and the log file.
  std::mutex WriteLock;
  std::FILE* File = nullptr;

  // The output queue and the log thread.
  std::mutex QueueLock;
  std::condition_variable QueueWake;
  std::condition_variable DeliveryWake;
  platform::TWaitSignal IdleSignal;  // notified each time the log thread finds the queue empty
  std::deque<TLogItem> Output;
  int Dropped = 0;
  bool Busy = false;
  bool Stopping = false;
  std::thread LogThread;

  void RecomputeSkip() {  // CoreLock held
    Skip = !(Active && (OnLog || !Subscribers.empty() || (LogToFile && !LogFile.empty())));
  }
  void CloseFile() {  // WriteLock held
    if (File != nullptr) std::fclose(File);
    File = nullptr;
  }
  // Queues an item, or in synchronous mode writes it at once; a returned delivery must be passed
  // to Deliver once the caller holds no logger lock.
  std::optional<TDelivery> Push(TLogItem item);
  void Deliver(const TDelivery& delivery);
  std::optional<TDelivery> Write(const TLogItem& item);
  bool Idle() {
    std::lock_guard lock(QueueLock);
    return Output.empty() && !Busy;
  }

 private:
  void ThreadLoop();
  void ReportError(const std::string& text);
};

// Set when the core has been destroyed at process end: FFmpeg threads that still log are ignored.
std::atomic<bool> GCoreGone{false};

TLogCore& Core() {
  static TLogCore core;
  return core;
}

TLogCore::TLogCore() = default;

TLogCore::~TLogCore() {
  GCoreGone = true;
  {
    std::lock_guard lock(QueueLock);
    Stopping = true;
  }
  QueueWake.notify_all();
  DeliveryWake.notify_all();
  if (LogThread.joinable()) LogThread.join();
  // What is still queued goes to the file only: at process end nobody can take events.
  {
    std::lock_guard lock(CoreLock);
    OnLog = nullptr;
    Subscribers.clear();
  }
  while (!Output.empty()) {
    Write(Output.front());
    Output.pop_front();
  }
  AutoLogger.reset();
  std::lock_guard lock(WriteLock);
  CloseFile();
}

std::optional<TDelivery> TLogCore::Push(TLogItem item) {
  item.Seq = NextSeq.fetch_add(1);
  if (Synchronous) return Write(item);
  {
    std::lock_guard lock(QueueLock);
    if (Stopping) return std::nullopt;
    if (Output.size() >= OutputCapacity) {
      // The oldest line goes; a barrier never does (a run's end is reported from one).
      const auto line =
          std::find_if(Output.begin(), Output.end(), [](const TLogItem& queued) { return !queued.Marker; });
      if (line != Output.end()) {
        Output.erase(line);
        ++Dropped;
      }
    }
    Output.push_back(std::move(item));
    if (!LogThread.joinable()) LogThread = std::thread([this] { ThreadLoop(); });
  }
  QueueWake.notify_one();
  return std::nullopt;
}

void TLogCore::ThreadLoop() {
  for (;;) {
    TLogItem item;
    int dropped = 0;
    {
      std::unique_lock lock(QueueLock);
      Busy = false;
      DeliveryWake.notify_all();
      if (Output.empty()) {
        // Idle: a Flush may be waiting for this. Notified without the lock its wait reads.
        lock.unlock();
        IdleSignal.Notify();
        lock.lock();
      }
      QueueWake.wait(lock, [this] { return Stopping || !Output.empty(); });
      if (Stopping) return;
      item = std::move(Output.front());
      Output.pop_front();
      dropped = Dropped;
      Dropped = 0;
      Busy = true;
    }
    try {
      if (dropped > 0) {
        TLogItem note;
        note.LogTime = std::chrono::system_clock::now();
        note.ThreadID = CurrentThreadId();
        note.LogLevel = TLogLevel::llWarning;
        note.LogMsg = FormatStr("(%d log lines dropped: the log queue was full)", dropped);
        note.Seq = item.Seq;
        if (auto d = Write(note)) Deliver(*d);
      }
      if (auto d = Write(item)) Deliver(*d);
    } catch (...) {
      // Write and Deliver report their own failures; nothing may leave the log thread.
    }
  }
}

void TLogCore::ReportError(const std::string& text) {
  TLogErrorEvent handler;
  {
    std::lock_guard lock(CoreLock);
    handler = OnLogError;
  }
  if (handler) {
    try {
      handler("Information", text);
      return;
    } catch (...) {
    }
  }
  std::fprintf(stderr, "Information: %s\n", text.c_str());
}

std::optional<TDelivery> TLogCore::Write(const TLogItem& item) {
  if (item.Marker) {
    TDelivery barrier;
    barrier.Marker = item.Marker;
    barrier.MarkerFor = item.MarkerFor;
    return barrier;
  }
  std::string line;
  try {
    line = TimeText(item.LogTime);
    line += FormatStr(item.ThreadID == int(::getpid()) ? "[%.8x]* " : "[%.8x] ", unsigned(item.ThreadID));
    line += item.ReporterInfo;
    if ((LogFlags & LogFlagPrintLevel) != 0) line += std::string("[") + LogLevelName(item.LogLevel) + "] ";
    line += NormalizeLineBreaks(item.LogMsg);
    if (item.Repeats > 1) line += FormatStr(" (repeated %d times)", item.Repeats);
  } catch (const std::exception& e) {
    ReportError(e.what());
    return std::nullopt;
  }

  std::string failure;
  {
    std::lock_guard writeLock(WriteLock);
    std::string path;
    bool toFile = false;
    {
      std::lock_guard lock(CoreLock);
      toFile = LogToFile && !LogFile.empty();
      path = LogFile;
    }
    if (toFile) {
      if (File == nullptr) {
        // Append mode: an existing log keeps its lines, a missing one is created.
        File = std::fopen(path.c_str(), "ab");
        if (File == nullptr) failure = "Cannot open log file \"" + path + "\": " + std::strerror(errno);
      }
      if (File != nullptr &&
          (std::fputs(line.c_str(), File) < 0 || std::fputc('\n', File) == EOF || std::fflush(File) != 0)) {
        failure = "Cannot write log file \"" + path + "\": " + std::strerror(errno);
        CloseFile();
      }
      if (!failure.empty()) {
        std::lock_guard lock(CoreLock);
        LogToFile = false;
        RecomputeSkip();
      }
    }
  }
  if (!failure.empty()) ReportError(failure);

  std::lock_guard lock(CoreLock);
  if ((!OnLog && Subscribers.empty()) || Current == nullptr) return std::nullopt;
  TDelivery delivery;
  delivery.Sender = item.LogType == TLogType::ltLogger ? static_cast<const ILogReporter*>(item.Reporter)
                                                       : static_cast<const ILogReporter*>(Current);
  delivery.ThreadID = item.ThreadID;
  delivery.Level = item.LogLevel;
  delivery.Line = std::move(line);
  delivery.Seq = item.Seq;
  return delivery;
}

// Runs OnLog and the subscribers with the handlers current at the moment it runs, so a handler
// cleared or a subscription ended by the main thread (a closing window) is never called afterwards. In the main thread mode the log thread
// waits until the main thread has run it, but gives up when the core stops (process end), so a
// main thread that no longer pumps cannot hang the exit.
void TLogCore::Deliver(const TDelivery& delivery) {
  auto run = [this, delivery] {
    std::vector<TLogEvent> handlers;
    std::function<void()> marker;
    {
      std::lock_guard lock(CoreLock);
      if (delivery.Marker) {
        if (Subscribers.count(delivery.MarkerFor) != 0) marker = delivery.Marker;
      } else {
        if (OnLog) handlers.push_back(OnLog);
        for (const auto& [id, subscriber] : Subscribers)
          if (delivery.Seq >= subscriber.FirstSeq) handlers.push_back(subscriber.Listener);
      }
    }
    try {
      if (marker) marker();
      for (const TLogEvent& handler : handlers)
        handler(delivery.Sender, delivery.ThreadID, delivery.Level, delivery.Line);
    } catch (const std::exception& e) {
      ReportError(e.what());
    } catch (...) {
      ReportError("Unknown exception in OnLog");
    }
  };
  bool inMainThread = false;
  {
    std::lock_guard lock(CoreLock);
    inMainThread = TriggerEventInMainThread;
  }
  if (!inMainThread || platform::IsMainThread()) {
    run();
    return;
  }
  struct TDone {
    std::mutex Lock;
    bool Ran = false;
    bool Abandoned = false;
    bool Dropped = false;  // the posted call was destroyed without running (its dispatcher went)
  };
  auto done = std::make_shared<TDone>();
  // Wakes this thread when the last copy of the posted call is destroyed, run or not: a dispatcher
  // that is replaced or destroyed drops its pending calls, and the wait below must end then too.
  struct TWake {
    TWake(std::shared_ptr<TDone> done, TLogCore* owner) : Done(std::move(done)), Owner(owner) {}
    TWake(const TWake&) = delete;
    TWake& operator=(const TWake&) = delete;
    std::shared_ptr<TDone> Done;
    TLogCore* Owner;
    ~TWake() {
      {
        std::lock_guard lock(Done->Lock);
        Done->Dropped = true;
      }
      std::lock_guard lock(Owner->QueueLock);
      Owner->DeliveryWake.notify_all();
    }
  };
  auto wake = std::make_shared<TWake>(done, this);
  platform::PostToMainThread([this, done, run, wake] {
    {
      std::lock_guard lock(done->Lock);
      if (done->Abandoned) return;
    }
    run();
    {
      std::lock_guard lock(done->Lock);
      done->Ran = true;
    }
    std::lock_guard lock(QueueLock);
    DeliveryWake.notify_all();
  });
  wake.reset();
  std::unique_lock lock(QueueLock);
  DeliveryWake.wait(lock, [&] {
    std::lock_guard doneLock(done->Lock);
    if (Stopping) done->Abandoned = true;
    return done->Ran || done->Dropped || Stopping;
  });
}

void DeliverAll(std::vector<TDelivery>& deliveries) {
  for (const TDelivery& d : deliveries) Core().Deliver(d);
}

TLogItem NewItem(TLogType type, const void* reporter, TLogLevel level) {
  TLogItem item;
  item.LogTime = std::chrono::system_clock::now();
  item.LogType = type;
  item.Reporter = reporter;
  item.ThreadID = CurrentThreadId();
  item.LogLevel = level;
  return item;
}

// Emits the held "(repeated N times)" line, if any (CallbackLock held).
void ReleaseRepeats(TLogCore& core, std::vector<TDelivery>& deliveries) {
  if (core.LastLine && core.LastLine->Repeats > 0) {
    if (auto d = core.Push(*core.LastLine)) deliveries.push_back(std::move(*d));
    core.LastLine->Repeats = 0;
  }
}

}  // namespace

const char* LogLevelName(TLogLevel level) {
  const int i = int(level);
  return i >= 0 && i <= 8 ? GLevelNames[i] : "";
}

int LogLevelToAV(TLogLevel level) { return int(level) * 8 - 8; }

TLogLevel AVLevelToLogLevel(int avLevel) {
  if (avLevel < -8) return TLogLevel::llQuiet;
  if (avLevel < 0) avLevel += 7;
  if (avLevel >= 56) return TLogLevel::llTrace;
  return TLogLevel((avLevel >> 3) + 1);
}

TFFLogger::TFFLogger(TFFBaseComponent* owner) : TFFBaseComponent(owner) {
  TLogCore& core = Core();
  std::lock_guard create(core.CreateLock);
  std::unique_ptr<TFFLogger> replaced;
  {
    std::lock_guard lock(core.CoreLock);
    if (core.Current != nullptr && core.Current != core.AutoLogger.get())
      throw FFmpegException("Allow creating only one instance of TFFLogger.");
    replaced = std::move(core.AutoLogger);
  }
  replaced.reset();
  std::lock_guard lock(core.CoreLock);
  core.Current = this;
  core.Active = true;
  core.TriggerEventInMainThread = true;
  core.OnLog = nullptr;
  core.OnLogError = nullptr;
  core.Level = int(AVLevelToLogLevel(core.AVThreshold));
  core.RecomputeSkip();
}

TFFLogger::~TFFLogger() {
  TLogCore& core = Core();
  std::lock_guard create(core.CreateLock);
  std::lock_guard writeLock(core.WriteLock);
  std::lock_guard lock(core.CoreLock);
  if (core.Current != this) return;
  core.OnLog = nullptr;
  core.OnLogError = nullptr;
  core.Current = nullptr;
  core.RecomputeSkip();
  core.CloseFile();
}

void TFFLogger::Log(const ILogReporter* sender, TLogLevel level, const std::string& msg) {
  TLogCore& core = Core();
  if (core.Skip || int(level) > core.Level) return;
  TLogItem item = NewItem(TLogType::ltLogger, sender, level);
  if (sender != nullptr) {
    item.ReporterInfo = sender->ReporterInfo();
    LimitReporterInfo(item.ReporterInfo);
  }
  item.LogMsg = msg;
  if (auto d = core.Push(std::move(item))) core.Deliver(*d);
}

void TFFLogger::Log(const ILogReporter* sender, TLogLevel level, const char* format, ...) {
  TLogCore& core = Core();
  if (core.Skip || int(level) > core.Level) return;
  va_list args;
  va_start(args, format);
  std::string msg = VFormatStr(format, args);
  va_end(args);
  Log(sender, level, msg);
}

void TFFLogger::InstallAVLogCallback() {
  const TFFApi& api = FF();
  if (api.av_log_set_callback == nullptr || api.av_log_set_level == nullptr)
    throw FFmpegException("av_log_set_callback and av_log_set_level are not bound (avutil not loaded).");
  TLogCore& core = Core();
  api.av_log_set_callback(&FFLogCallback);
  if (api.av_log_set_flags != nullptr) api.av_log_set_flags(core.LogFlags);
  core.AVThreshold = LogLevelToAV(TLogLevel(int(core.Level)));
  api.av_log_set_level(core.AVThreshold);
}

void TFFLogger::Flush() {
  TLogCore& core = Core();
  std::vector<TDelivery> deliveries;
  {
    std::lock_guard lock(core.CallbackLock);
    ReleaseRepeats(core, deliveries);
    core.LastLine.reset();
    for (TLogItem& item : core.Pending)
      if (!item.LogMsg.empty())
        if (auto d = core.Push(std::move(item))) deliveries.push_back(std::move(*d));
    core.Pending.clear();
  }
  DeliverAll(deliveries);
  // A worker must not wait for lines that are still to be handed to the main thread: the main
  // thread may itself be waiting for that worker (a conversion that ends while the window joins
  // it), and the three would wait on one another. What was released above is queued either way.
  bool mainThreadDelivery = false;
  {
    std::lock_guard lock(core.CoreLock);
    mainThreadDelivery = core.TriggerEventInMainThread && (core.OnLog || !core.Subscribers.empty());
  }
  if (mainThreadDelivery && !platform::IsMainThread()) return;
  platform::WaitInMainThread([&core] { return core.Idle(); }, core.IdleSignal);
}

bool TFFLogger::Active() const {
  std::lock_guard lock(Core().CoreLock);
  return Core().Active;
}

void TFFLogger::SetActive(bool value) {
  TLogCore& core = Core();
  std::lock_guard lock(core.CoreLock);
  core.Active = value;
  core.RecomputeSkip();
}

TLogLevel TFFLogger::LogLevel() const { return TLogLevel(int(Core().Level)); }

void TFFLogger::SetLogLevel(TLogLevel value) {
  TLogCore& core = Core();
  std::lock_guard lock(core.CoreLock);
  if (core.Level == int(value)) return;
  core.Level = int(value);
  core.AVThreshold = LogLevelToAV(value);
  if (FF().av_log_set_level != nullptr) FF().av_log_set_level(core.AVThreshold);
}

std::string TFFLogger::LogFile() const {
  std::lock_guard lock(Core().CoreLock);
  return Core().LogFile;
}

void TFFLogger::SetLogFile(const std::string& value) {
  TLogCore& core = Core();
  std::lock_guard writeLock(core.WriteLock);
  std::lock_guard lock(core.CoreLock);
  if (core.LogFile == value) return;
  core.LogFile = value;
  core.CloseFile();
  core.RecomputeSkip();
}

bool TFFLogger::LogToFile() const {
  std::lock_guard lock(Core().CoreLock);
  return Core().LogToFile;
}

void TFFLogger::SetLogToFile(bool value) {
  TLogCore& core = Core();
  std::lock_guard writeLock(core.WriteLock);
  std::lock_guard lock(core.CoreLock);
  if (core.LogToFile == value) return;
  core.LogToFile = value;
  core.CloseFile();
  core.RecomputeSkip();
}

bool TFFLogger::TriggerEventInMainThread() const {
  std::lock_guard lock(Core().CoreLock);
  return Core().TriggerEventInMainThread;
}

void TFFLogger::SetTriggerEventInMainThread(bool value) {
  std::lock_guard lock(Core().CoreLock);
  Core().TriggerEventInMainThread = value;
}

TLogEvent TFFLogger::OnLog() const {
  std::lock_guard lock(Core().CoreLock);
  return Core().OnLog;
}

void TFFLogger::SetOnLog(TLogEvent handler) {
  TLogCore& core = Core();
  std::lock_guard lock(core.CoreLock);
  core.OnLog = std::move(handler);
  core.RecomputeSkip();
}

TLogSubscription TFFLogger::Subscribe(TLogEvent listener) {
  TLogCore& core = Core();
  std::lock_guard lock(core.CoreLock);
  const std::uint64_t id = core.NextSubscriber++;
  core.Subscribers[id] = TSubscriber{std::move(listener), core.NextSeq.load()};
  core.RecomputeSkip();
  return TLogSubscription(id);
}

TLogSubscription::TLogSubscription(TLogSubscription&& other) noexcept : FId(other.FId) { other.FId = 0; }

TLogSubscription& TLogSubscription::operator=(TLogSubscription&& other) noexcept {
  if (this != &other) {
    Reset();
    FId = other.FId;
    other.FId = 0;
  }
  return *this;
}

TLogSubscription::~TLogSubscription() { Reset(); }

void TLogSubscription::Reset() {
  if (FId == 0) return;
  const std::uint64_t id = FId;
  FId = 0;
  if (GCoreGone) return;
  TLogCore& core = Core();
  std::lock_guard lock(core.CoreLock);
  core.Subscribers.erase(id);
  core.RecomputeSkip();
}

void TLogSubscription::AfterQueuedLines(std::function<void()> done) const {
  if (FId == 0 || GCoreGone || !done) return;
  TLogCore& core = Core();
  TLogItem barrier = NewItem(TLogType::ltLogger, nullptr, TLogLevel::llQuiet);
  barrier.Marker = std::move(done);
  barrier.MarkerFor = FId;
  if (auto d = core.Push(std::move(barrier))) core.Deliver(*d);
}

TLogErrorEvent TFFLogger::OnLogError() const {
  std::lock_guard lock(Core().CoreLock);
  return Core().OnLogError;
}

void TFFLogger::SetOnLogError(TLogErrorEvent handler) {
  std::lock_guard lock(Core().CoreLock);
  Core().OnLogError = std::move(handler);
}

int TFFLogger::LogFlags() const { return Core().LogFlags; }

void TFFLogger::SetLogFlags(int value) {
  TLogCore& core = Core();
  std::lock_guard lock(core.CoreLock);
  if (core.LogFlags == value) return;
  core.LogFlags = value;
  if (FF().av_log_set_flags != nullptr) FF().av_log_set_flags(value);
}

bool TFFLogger::Synchronous() const { return Core().Synchronous; }

void TFFLogger::SetSynchronous(bool value) { Core().Synchronous = value; }

bool TFFLogger::Skipping() const { return Core().Skip; }

TFFLogger& FFLogger() {
  TLogCore& core = Core();
  std::lock_guard create(core.CreateLock);
  {
    std::lock_guard lock(core.CoreLock);
    if (core.Current != nullptr) return *core.Current;
  }
  auto logger = std::make_unique<TFFLogger>();
  std::lock_guard lock(core.CoreLock);
  core.AutoLogger = std::move(logger);
  return *core.Current;
}

namespace {
thread_local TAVErrorCapture* GErrorCapture = nullptr;
constexpr int KAVLogError = 16;  // AV_LOG_ERROR
}  // namespace

TAVErrorCapture::TAVErrorCapture(TSink sink) : FSink(std::move(sink)), FPrevious(GErrorCapture) {
  GErrorCapture = this;
}

TAVErrorCapture::~TAVErrorCapture() { GErrorCapture = FPrevious; }

void TAVErrorCapture::Take(const void* context, const std::string& piece) {
  FPending += piece;
  std::size_t feed;
  while ((feed = FPending.find('\n')) != std::string::npos) {
    std::string line = FPending.substr(0, feed);
    FPending.erase(0, feed + 1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    if (!line.empty() && FSink) FSink(context, line);
  }
}

void FFLogCallback(void* avcl, int level, const char* format, va_list args) {
  if (GCoreGone || format == nullptr) return;
  if (level <= KAVLogError && avcl != nullptr && GErrorCapture != nullptr) {
    try {
      va_list copy;
      va_copy(copy, args);
      const std::string piece = VFormatStr(format, copy);
      va_end(copy);
      GErrorCapture->Take(avcl, piece);
    } catch (...) {
      // Nothing may cross back into FFmpeg.
    }
  }
  TLogCore& core = Core();
  if (level > core.AVThreshold) return;
  std::vector<TDelivery> deliveries;
  try {
    std::lock_guard lock(core.CallbackLock);
    FFLogger();
    if (core.Skip) return;

    const int tid = CurrentThreadId();
    TLogItem item;
    auto pending = std::find_if(core.Pending.begin(), core.Pending.end(),
                                [tid](const TLogItem& p) { return p.ThreadID == tid; });
    if (pending != core.Pending.end()) {
      item = std::move(*pending);
      core.Pending.erase(pending);
    } else {
      item = NewItem(TLogType::ltAVLog, avcl, AVLevelToLogLevel(level));
      item.ReporterInfo = AVReporterInfo(avcl);
    }
    const std::size_t start = item.LogMsg.size();
    item.LogMsg += VFormatStr(format, args);
    std::string tail = item.LogMsg.substr(start);
    SanitizeControls(tail);
    item.LogMsg.replace(start, std::string::npos, tail);

    const std::size_t lastFeed = item.LogMsg.rfind('\n');
    if (lastFeed == std::string::npos) {
      core.Pending.push_back(std::move(item));
      return;
    }
    if (lastFeed + 1 < item.LogMsg.size()) {
      TLogItem rest = NewItem(TLogType::ltAVLog, item.Reporter, item.LogLevel);
      rest.ReporterInfo = item.ReporterInfo;
      rest.LogMsg = item.LogMsg.substr(lastFeed + 1);
      core.Pending.push_back(std::move(rest));
    }
    item.LogMsg.resize(lastFeed);

    const bool collapse = (core.LogFlags & LogFlagSkipRepeated) != 0;
    if (collapse && core.LastLine && core.LastLine->ThreadID == item.ThreadID &&
        core.LastLine->Reporter == item.Reporter && core.LastLine->LogMsg == item.LogMsg) {
      core.LastLine->Repeats++;
      core.LastLine->LogTime = std::chrono::system_clock::now();
      return;
    }
    ReleaseRepeats(core, deliveries);
    if (collapse)
      core.LastLine = item;
    else
      core.LastLine.reset();
    if (auto d = core.Push(std::move(item))) deliveries.push_back(std::move(*d));
  } catch (...) {
    // Nothing may cross back into FFmpeg; a line that cannot be formed is lost.
    return;
  }
  try {
    DeliverAll(deliveries);
  } catch (...) {
  }
}

}  // namespace media
