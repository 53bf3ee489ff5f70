#pragma once
// The media library's logger. Its own messages (Log) and everything FFmpeg prints through av_log
// become lines "hh:nn:ss.zzz [tid]* [prefix] [Level] text" that go to an optional log file (UTF-8,
// "\n" line ends) and to OnLog. Writers never wait for the file or the event: lines are queued
// and written by a log thread, unless Synchronous is set. FFmpeg's fragments are joined per thread
// into whole lines, and identical FFmpeg lines in a row are collapsed into one line with
// " (repeated N times)".
//
// One logger exists at a time: FFLogger() returns it and creates one on first use; an application
// that wants to configure it at start-up may create its own TFFLogger, which replaces the
// automatic one. Do not keep the reference FFLogger() returns across such a replacement.

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>

#include "media/ff_base.h"

namespace media {

/// The nine levels, least to most verbose (0..8).
enum class TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug, llTrace };
/// Where a line came from: FFmpeg's av_log or the library's own Log.
enum class TLogType { ltAVLog, ltLogger };

/// "Quiet", "Panic", "Fatal", "Error", "Warning", "Info", "Verbose", "Debug", "Trace".
const char* LogLevelName(TLogLevel level);
/// FFmpeg's av_log level of ours: level × 8 − 8 (llQuiet → -8, llInfo → 32, llTrace → 56).
int LogLevelToAV(TLogLevel level);
/// Our level of an av_log level: below -8 Quiet, 56 and above Trace, else by steps of 8
/// (-8 → Quiet, 0 → Panic, 16 → Error, 32 → Info, 40 → Verbose).
TLogLevel AVLevelToLogLevel(int avLevel);

/// LogFlags bits, passed on to av_log_set_flags (same meaning as AV_LOG_SKIP_REPEATED and
/// AV_LOG_PRINT_LEVEL).
inline constexpr int LogFlagSkipRepeated = 1;  // collapse repeated FFmpeg lines
inline constexpr int LogFlagPrintLevel = 2;    // write "[Level] " into each line

/// (sender, thread id, level, whole line). The sender is the reporter given to Log, or the logger
/// itself for FFmpeg's lines; it identifies, it may already be gone (see ILogReporter).
using TLogEvent =
    std::function<void(const ILogReporter* sender, int threadId, TLogLevel level, const std::string& logMsg)>;
/// A failure while a line was formed or written: caption "Information" and the failure's text.
using TLogErrorEvent = std::function<void(const std::string& caption, const std::string& text)>;

/// A listener's hold on the log (TFFLogger::Subscribe). Owning: the listener gets lines until the
/// token is reset or destroyed, and none afterwards once that happened on the thread lines are
/// delivered on. Move-only; a default-constructed token holds nothing.
class TLogSubscription {
 public:
  TLogSubscription() = default;
  TLogSubscription(TLogSubscription&& other) noexcept;
  TLogSubscription& operator=(TLogSubscription&& other) noexcept;
  TLogSubscription(const TLogSubscription&) = delete;
  TLogSubscription& operator=(const TLogSubscription&) = delete;
  ~TLogSubscription();

  /// Ends the subscription; the token then holds nothing.
  void Reset();
  bool Subscribed() const { return FId != 0; }
  /// Calls done once every line logged before this call has reached this listener, on the thread
  /// lines are delivered on (at once in synchronous mode). Not called when the subscription ends
  /// first. Any thread.
  void AfterQueuedLines(std::function<void()> done) const;

 private:
  friend class TFFLogger;
  explicit TLogSubscription(std::uint64_t id) : FId(id) {}
  std::uint64_t FId = 0;
};

class TFFLogger : public TFFBaseComponent {
 public:
  /// Becomes the global logger, replacing an automatically created one. Throws FFmpegException
  /// "Allow creating only one instance of TFFLogger." when another created logger exists.
  /// Takes LogFlags and the level from the process-wide values, which outlive a logger.
  explicit TFFLogger(TFFBaseComponent* owner = nullptr);
  /// Clears OnLog, stops being the global logger and closes the log file. Lines still queued are
  /// written to the file; their events are not delivered.
  ~TFFLogger() override;
  std::string ClassName() const override { return "TFFLogger"; }

  /// Queues msg when the logger is not skipping and level ≤ LogLevel. Any thread. A message of
  /// any length is kept whole. Library lines are never collapsed.
  void Log(const ILogReporter* sender, TLogLevel level, const std::string& msg);
  /// printf-style form of Log.
  void Log(const ILogReporter* sender, TLogLevel level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  /// Installs FFLogCallback as FFmpeg's log callback and passes LogFlags and LogLevel to FFmpeg.
  /// The loader calls it right after avutil is bound; avutil must be loaded.
  void InstallAVLogCallback();
  /// Releases what the FFmpeg side holds back (a pending "(repeated N times)" line and fragments
  /// without their line feed, written as lines of their own) and waits until every queued line has
  /// been written and delivered. On the main thread it keeps pumping main-thread work while it
  /// waits, so OnLog deliveries cannot deadlock it. On another thread, while OnLog is delivered on
  /// the main thread, it only queues and returns (waiting there could deadlock against a main
  /// thread that waits for the caller). The engine calls it at the end of every run and at
  /// shutdown. Never call it from OnLog.
  void Flush();

  /// False stops all logging (default true).
  bool Active() const;
  void SetActive(bool value);
  /// Messages above it are dropped (default llInfo); FFmpeg's threshold follows it.
  TLogLevel LogLevel() const;
  void SetLogLevel(TLogLevel value);
  /// Path of the log file (process-wide, default empty). A change closes the open file.
  std::string LogFile() const;
  void SetLogFile(const std::string& value);
  /// Whether lines go to LogFile (process-wide, default false). A change closes the open file;
  /// a failed write switches it off.
  bool LogToFile() const;
  void SetLogToFile(bool value);
  /// Whether OnLog runs on the main thread (platform::CallInMainThread) or on the log thread
  /// (default true).
  bool TriggerEventInMainThread() const;
  void SetTriggerEventInMainThread(bool value);
  /// Receives every written line.
  TLogEvent OnLog() const;
  void SetOnLog(TLogEvent handler);
  /// Adds a listener beside OnLog: it receives every line logged after this call, delivered as
  /// OnLog's are (TriggerEventInMainThread), until the returned token ends. Any number of listeners
  /// may hold subscriptions at once, each independent of the others and of OnLog.
  [[nodiscard]] TLogSubscription Subscribe(TLogEvent listener);
  /// Receives formatting and writing failures; without a handler they go to stderr. Called on the
  /// thread that wrote the line (the log thread, or the logging thread in synchronous mode).
  TLogErrorEvent OnLogError() const;
  void SetOnLogError(TLogErrorEvent handler);
  /// LogFlagSkipRepeated | LogFlagPrintLevel by default (process-wide).
  int LogFlags() const;
  void SetLogFlags(int value);
  /// Write each line on the calling thread instead of the log thread (process-wide, default false).
  bool Synchronous() const;
  void SetSynchronous(bool value);

  /// True when nothing would be written: not Active, or no OnLog, no subscription and no log file.
  bool Skipping() const;
};

/// The global logger; creates one (owned by the library) when none exists.
TFFLogger& FFLogger();

/// While it lives, every FFmpeg line of error level or worse that is logged for a context (a
/// muxer, a codec, a filter graph...) on the thread that made it also goes, whole and without its
/// line feed, to its sink with that context, whatever LogLevel lets through; lines without a
/// context are summaries rather than causes and are left out. The thread's previous capture comes
/// back when it ends. The engine names the cause of a failure from these lines.
class TAVErrorCapture {
 public:
  using TSink = std::function<void(const void* context, const std::string& line)>;
  explicit TAVErrorCapture(TSink sink);
  ~TAVErrorCapture();
  TAVErrorCapture(const TAVErrorCapture&) = delete;
  TAVErrorCapture& operator=(const TAVErrorCapture&) = delete;
  /// Called by FFLogCallback with one piece of an error line of context.
  void Take(const void* context, const std::string& piece);

 private:
  TSink FSink;
  std::string FPending;  // a line whose line feed has not come yet
  TAVErrorCapture* FPrevious;
};

/// The function installed as FFmpeg's log callback (av_log_set_callback). avcl is null or points
/// to a struct whose first member is its AVClass pointer. Never throws.
void FFLogCallback(void* avcl, int level, const char* format, va_list args);

}  // namespace media
