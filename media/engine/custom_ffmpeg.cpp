#include "media/engine/custom_ffmpeg.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "media/ff_loader.h"
#include "platform/main_thread.h"

namespace media {

TCustomFFmpeg::TCustomFFmpeg() {
  FFLoader().CheckLibAV(EncoderLibraries);
  FDemuxPacket.reset(FF().av_packet_alloc());
  FDecodePacket.reset(FF().av_packet_alloc());
  FEncodePacket.reset(FF().av_packet_alloc());
  if (FDemuxPacket == nullptr || FDecodePacket == nullptr || FEncodePacket == nullptr)
    throw FFmpegException("Could not allocate packet");
}

TCustomFFmpeg::~TCustomFFmpeg() {
  if (OnDestroy) OnDestroy(this);
  Stop(true);
  const std::thread::id self = std::this_thread::get_id();
  // An off-thread terminate may still be running its handler; it must end before the engine goes.
  if (FTermThread.joinable()) {
    if (FTermThread.get_id() == self)
      FTermThread.detach();
    else
      FTermThread.join();
  }
  // Destroyed from OnTerminate on the conversion thread itself: the run body no longer touches
  // the engine, so the thread may finish on its own.
  if (FThread.joinable()) {
    if (FThread.get_id() == self)
      FThread.detach();
    else
      FThread.join();
  }
  try {
    Cleanup();
  } catch (const std::exception& e) {
    Log(TLogLevel::llError, "Cleanup() exception: %s", e.what());
  }
}

std::string TCustomFFmpeg::FatalMessage() const {
  std::lock_guard lock(FFatalLock);
  return FFatalMessage;
}

std::thread::id TCustomFFmpeg::ThreadID() const {
  std::lock_guard lock(FRun->Lock);
  return FRun->ThreadId;
}

int TCustomFFmpeg::NiceIncrementOf(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::tpIdle:
      return 19;
    case TThreadPriority::tpLowest:
      return 10;
    case TThreadPriority::tpLower:
      return 5;
    case TThreadPriority::tpNormal:
      return 0;
    case TThreadPriority::tpHigher:
      return -5;
    case TThreadPriority::tpHighest:
      return -10;
    case TThreadPriority::tpTimeCritical:
      return -15;
  }
  return 0;
}

void TCustomFFmpeg::StartConvert(bool useThread, TThreadPriority priority) {
  FIdleThread = priority == TThreadPriority::tpIdle;
  StartConvert(useThread, NiceIncrementOf(priority));
}

void TCustomFFmpeg::StartConvert(bool useThread, int niceIncrement) {
  if (FConverting.load() || FTerminated.load()) return;
  if (Foutput_files.empty()) {
    const std::string msg = "At least one output file must be specified";
    try {
      Cleanup();
    } catch (const std::exception& e) {
      Log(TLogLevel::llError, "%s", e.what());
    }
    Log(TLogLevel::llQuiet, "%s", msg.c_str());
    {
      std::lock_guard lock(FFatalLock);
      FFatalMessage = msg;
    }
    FFatalException = true;
    DoTerminate();
    return;
  }
  FConverting = true;
  FBroken = false;
  FFinished = false;
  FTerminated = false;
  FSuspended = 0;
  FPauseTime = 0;
  FTotalPauseTime = 0;
  std::shared_ptr<TRunState> state = FRun;
  {
    std::lock_guard lock(state->Lock);
    state->Stopped = false;
    state->Open = true;
  }
  const bool idle = FIdleThread;
  FIdleThread = false;
  auto body = [this, state, useThread, niceIncrement, idle] {
    {
      std::lock_guard lock(state->Lock);
      state->ThreadId = std::this_thread::get_id();
    }
    bool niceNeeded = useThread && niceIncrement != 0;
    if (useThread && idle) {
      // SCHED_IDLE is the lowest there is, and needs no privileges to enter.
      sched_param param{};
      param.sched_priority = 0;
      if (::sched_setscheduler(::gettid(), SCHED_IDLE, &param) == 0)
        niceNeeded = false;
      else
        Log(TLogLevel::llWarning, "Cannot run the conversion thread at idle priority; lowering its nice value");
    }
    if (niceNeeded) {
      // Linux keeps a nice value per thread: PRIO_PROCESS with the thread id changes this one only.
      const id_t tid = id_t(::gettid());
      errno = 0;
      const int current = ::getpriority(PRIO_PROCESS, tid);
      if (errno != 0 || ::setpriority(PRIO_PROCESS, tid, current + niceIncrement) != 0)
        Log(TLogLevel::llWarning, "Cannot change the priority of the conversion thread by %d", niceIncrement);
    }
    try {
      DoConvert();
    } catch (...) {
      // DoConvert catches what it can name; nothing may leave the conversion thread.
    }
    {
      std::lock_guard lock(state->Lock);
      state->Stopped = true;
      state->Wake.notify_all();
    }
    state->Signal.Notify();
  };
  if (useThread)
    FThread = std::thread(body);
  else
    body();
}

void TCustomFFmpeg::WaitForStopped(const std::shared_ptr<TRunState>& state) {
  platform::WaitInMainThread(
      [&state] {
        std::lock_guard lock(state->Lock);
        return state->Stopped;
      },
      state->Signal);
}

void TCustomFFmpeg::Stop(bool waitForStop) {
  FBroken = true;
  std::shared_ptr<TRunState> state = FRun;
  {
    std::lock_guard lock(state->Lock);
    if (!state->Open) {
      FTotalPauseTime += Now() - FPauseTime;
      state->Open = true;
    }
    state->Wake.notify_all();
  }
  if (!waitForStop || FSuspended.load() < 0) return;
  {
    std::lock_guard lock(state->Lock);
    // The conversion thread (or a synchronous run's caller) cannot wait for itself.
    if (state->Stopped || state->ThreadId == std::this_thread::get_id()) return;
  }
  WaitForStopped(state);
}

void TCustomFFmpeg::Terminate(bool waitForStop) {
  if (FConverting.load()) {
    Stop(waitForStop);
    return;
  }
  if (FTerminated.load()) return;
  std::shared_ptr<TRunState> state = FRun;
  bool onTermThread = false;
  {
    // Under the lock: two callers must not both start a terminate thread.
    std::lock_guard lock(state->Lock);
    if (!FTermThread.joinable()) {
      state->TermDelivered = false;
      FTermThread = std::thread([this, state] {
        try {
          DoTerminate();
        } catch (...) {
          // A handler's failure must not leave the thread.
        }
        {
          std::lock_guard done(state->Lock);
          state->TermDelivered = true;
          state->Wake.notify_all();
        }
        state->Signal.Notify();
      });
    }
    onTermThread = FTermThread.get_id() == std::this_thread::get_id();
  }
  if (waitForStop && !onTermThread) {
    platform::WaitInMainThread(
        [&state] {
          std::lock_guard lock(state->Lock);
          return state->TermDelivered;
        },
        state->Signal);
  }
}

void TCustomFFmpeg::Pause() {
  std::lock_guard lock(FRun->Lock);
  if (FRun->Open) {
    FRun->Open = false;
    FPauseTime = Now();
  }
}

void TCustomFFmpeg::Resume() {
  std::lock_guard lock(FRun->Lock);
  if (!FRun->Open) {
    FTotalPauseTime += Now() - FPauseTime;
    FRun->Open = true;
    FRun->Wake.notify_all();
  }
}

void TCustomFFmpeg::WaitAtGate() {
  std::unique_lock lock(FRun->Lock);
  FRun->Wake.wait(lock, [this] { return FRun->Open; });
}

void TCustomFFmpeg::NoteLibraryError(const void* context, const std::string& line, bool late) {
  const int64_t step = FStep.load() + (late ? 1 : 0);
  std::lock_guard lock(FFatalLock);
  if (context == FLibraryErrorContext && step == FLibraryErrorStep && !FLibraryError.empty()) return;
  FLibraryErrorContext = context;
  FLibraryErrorStep = step;
  FLibraryError = line;
}

std::string TCustomFFmpeg::WithCause(const std::string& message) const {
  std::lock_guard lock(FFatalLock);
  if (FLibraryError.empty() || FLibraryErrorStep < FStep.load() ||
      message.find(FLibraryError) != std::string::npos)
    return message;
  return message + "\n" + FLibraryError;
}

void TCustomFFmpeg::DoConvert() {
  FFinished = false;
  {
    std::lock_guard lock(FFatalLock);
    FLibraryError.clear();
    FLibraryErrorContext = nullptr;
    FStep = 0;
  }
  // A failure ends with its cause: the engine's own text ("Error while decoding stream #0:0:
  // Invalid argument") says where it was noticed, the library's line before it ("No such filter:
  // 'x'") says why, so that line comes last.
  const TAVErrorCapture capture(
      [this](const void* context, const std::string& line) { NoteLibraryError(context, line); });
  // withCause: the run itself; what fails after it has no library line of its own.
  auto guarded = [this](bool withCause, const auto& step) {
    try {
      step();
    } catch (const std::exception& e) {
      Log(TLogLevel::llQuiet, "%s", e.what());
      FFatalException = true;
      const std::string message = withCause ? WithCause(e.what()) : e.what();
      std::lock_guard lock(FFatalLock);
      FFatalMessage = message;
    }
  };
  guarded(true, [this] {
    if (!DoTranscodeInit()) throw FFmpegException(FLastError.Message);
    transcode();
  });
  guarded(false, [this] { Cleanup(); });
  // Lines of the run reach the log before the end of the run is reported.
  guarded(false, [] { FFLogger().Flush(); });
  // Last touch of the engine: OnTerminate may destroy it.
  guarded(false, [this] { DoTerminate(); });
}

bool TCustomFFmpeg::DoTranscodeInit() {
  if (FTranscodeInitialized) return true;
  if (FOutputDuration < 0) FOutputDuration = FInputDuration;
  ClearLastErrMsg();
  try {
    const int ret = transcode_init();
    if (ret < 0) {
      if (FLastError.Message.empty())
        KeepError(ret, FormatAVError("transcode_init() error", ret) +
                           ". Please check error log message(reported by FFLogger) to find out more detail "
                           "information.");
      transcode_cleanup();
      return false;
    }
  } catch (const TEngineFailure& e) {
    FLastError = e.Result();
    transcode_cleanup();
    return false;
  } catch (const FFmpegException& e) {
    KeepError(AVERROR(EINVAL), e.what());
    transcode_cleanup();
    return false;
  }
  FTranscodeInitialized = true;
  return true;
}

void TCustomFFmpeg::DoTerminate() {
  FConverting = false;
  FTerminated = true;
  // A copy: the handler may destroy the engine, and with it OnTerminate, while it runs.
  const std::function<void(TCustomFFmpeg*)> handler = OnTerminate;
  if (handler) handler(this);
}

void TCustomFFmpeg::Cleanup() {
  // A failed run: the encoder threads end before anything of their streams is freed.
  for (auto& ost : Foutput_streams) ost->encoder_thread.reset();
  if (FTranscodeInitialized && !FTranscodeCleanuped) transcode_cleanup();
  ffmpeg_cleanup();
}

void TCustomFFmpeg::transcode_cleanup() {
  for (auto& ost : Foutput_streams) {
    if (ost->logfile != nullptr) {
      if (std::fclose(ost->logfile.release()) != 0)
        Log(TLogLevel::llError, "Error closing logfile, loss of information possible");
    }
    if (ost->enc_ctx != nullptr) FreeTwoPassStats(ost->enc_ctx.get());
    ost->forced_kf_pts.clear();
    ost->apad.clear();
    ost->disposition.clear();
    ost->encoder_opts.reset();
    ost->sws_dict.reset();
    ost->swr_opts.reset();
    ost->resample_opts.reset();
  }
  FTranscodeCleanuped = true;
}

namespace {

// Deletes path only when it is a regular file of 0 bytes: a device or FIFO given as the output
// (or a file that received data) is never removed.
void DeleteIfEmptyRegularFile(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0) ::unlink(path.c_str());
}

}  // namespace

void TCustomFFmpeg::ffmpeg_cleanup() {
  CloseVstatsFile();
  for (auto& ist : Finput_streams) ist->filters.clear();
  for (auto& ost : Foutput_streams) ost->filter = nullptr;
  Ffiltergraphs.clear();

  for (auto& of : Foutput_files) {
    if (of->ctx != nullptr && !(of->ctx->oformat->flags & AVFMT_NOFILE)) {
      CloseOutputFile(of->ctx.get());
      if (of->opened_for_writing) DeleteIfEmptyRegularFile(of->file_name);
    }
  }
  Foutput_files.clear();
  FreeOutputStreams();
  Finput_files.clear();
  Finput_streams.clear();
  Fprogress_avio.reset();
  Fhw_devices.clear();
  Fhw_device_ctx.reset();
  Ffilter_hw_device = nullptr;
  // FFmpeg's defaults (cpu.h, mem.c): the CPU's own count and flags, INT_MAX bytes at a time.
  if (std::exchange(FForcedCpuCount, false)) FF().av_cpu_force_count(0);
  if (std::exchange(FForcedCpuFlags, false)) FF().av_force_cpu_flags(-1);
  if (std::exchange(FForcedMaxAlloc, false)) FF().av_max_alloc(INT_MAX);
  std::unique_ptr<TPreviewer> previewer;
  {
    std::lock_guard<std::mutex> lock(FPostHookLock);
    previewer = std::move(FPreviewer);
    FPreviewLastTime = 0;
  }
}

}  // namespace media
