#pragma once
// The encoder component's view of one conversion task, and the list that owns the tasks.
//
// IFFTask is what TCustomEncoder needs of a task: opening the input and output through the
// engine's option syntax, the run (StartConvert/Stop/Terminate) and its outcome, and the settings
// the encoder hands on. The real task is TFFmpeg (media/ff_encoder.h, over the conversion engine);
// tests use scripted tasks. A task reports back through IFFTaskEvents, implemented by its encoder,
// and only for the notifications the encoder has bound (BindEvent): the engine does the costly
// work behind a hook (picture conversion) only while the hook is bound.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/ff_decoder.h"
#include "media/ff_encoder_records.h"

namespace media {

class IFFTask;

/// The notifications of a task, each bound separately.
enum class TTaskEvent {
  BeforeFindStreamInfo,
  PreviewBitmap,
  Progress,
  Terminate,
  AudioInputHook,
  AudioOutputHook,
  VideoInputHook,
  VideoOutputHook,
  FrameInputHook,
  FrameOutputHook,
};

/// Receives a task's notifications; every call comes from the thread the task raises it on
/// (see IFFTask). TaskIndex fields of the records passed in are not filled by the task.
class IFFTaskEvents {
 public:
  virtual ~IFFTaskEvents() = default;
  virtual void TaskBeforeFindStreamInfo(IFFTask* task, AVFormatContext* context) = 0;
  virtual void TaskPreviewBitmap(IFFTask* task, const TPreviewInfo& info) = 0;
  virtual void TaskProgress(IFFTask* task, const TProgressInfo& info) = 0;
  /// Exactly once per task that was started or terminated; the task is not touched by its own
  /// run after this returns.
  virtual void TaskTerminate(IFFTask* task) = 0;
  /// info.Update and info.StopHook go back to the task.
  virtual void TaskVideoHook(IFFTask* task, bool input, THookInfo& info) = 0;
  virtual void TaskFrameHook(IFFTask* task, bool input, const TFrameHookInfo& info) = 0;
  virtual void TaskAudioHook(IFFTask* task, bool input, std::int64_t pts, AVFrame* frame, int size, int sampleRate,
                             int channels, int sampleFormat) = 0;
};

/// One conversion task. Opening and the settings run on the encoder's (owner's) thread before the
/// start; the events come from the task's conversion thread, from the caller of StartConvert for a
/// run without a thread, and TaskTerminate possibly from a short-lived thread of the task's own
/// (a task terminated before it ran). Stop and Terminate may be called from any thread.
class IFFTask {
 public:
  virtual ~IFFTask() = default;

  /// Binds one notification to the events receiver given at creation, or unbinds it.
  virtual void BindEvent(TTaskEvent event, bool bound) = 0;

  /// Opens one input (option text in the engine's syntax for the input side). Returns the input's
  /// index, or a negative FFmpeg error with the reason in LastErrMsg. The engine's task never
  /// throws for a refusal; the encoder takes an exception of another task as a refusal.
  virtual int OpenInput(const std::string& fileName, const std::string& options, const std::string& presets) = 0;
  /// Opens one output; >= 0, or negative with LastErrMsg, as OpenInput.
  virtual int OpenOutput(const std::string& fileName, const std::string& options, const std::string& presets) = 0;
  /// The demuxer of input index while the task holds it (until its run ends), else null.
  virtual AVFormatContext* InputFormatContext(int index) const = 0;

  virtual std::string LastErrMsg() const = 0;
  virtual void ClearLastErrMsg() = 0;
  virtual void SetHaltOnInvalidOption(bool value) = 0;
  /// Milliseconds.
  virtual void SetReadTimeout(int milliseconds) = 0;
  virtual void SetWriteTimeout(int milliseconds) = 0;
  /// Microseconds between two preview frames and between two periodic progress reports.
  virtual void SetPreviewInterval(std::int64_t microseconds) = 0;
  virtual void SetReportInterval(std::int64_t microseconds) = 0;
  /// Which preview outputs are on: the preview window, and OnPreviewBitmap.
  virtual void SetPostHooks(bool preview, bool bitmap) = 0;
  virtual void SetVideoHookBitsPixel(int bitsPixel) = 0;

  /// Runs the conversion on a thread of its own (useThread) or on the calling thread, returning
  /// when it is done. Does nothing once the task has run.
  virtual void StartConvert(bool useThread, TThreadPriority priority) = 0;
  virtual void Stop(bool waitForStop) = 0;
  /// Stops a running task; a task that never ran reports TaskTerminate once, from another thread.
  virtual void Terminate(bool waitForStop) = 0;

  virtual bool Finished() const = 0;
  virtual bool FatalException() const = 0;
  virtual std::string FatalMessage() const = 0;
};

/// Makes a task that reports to events; the encoder calls it once per AddTask. May throw
/// FFmpegException.
using TTaskFactory = std::function<std::unique_ptr<IFFTask>(IFFTaskEvents& events)>;

/// The task list of an encoder: the tasks in insertion order, each with the records it was opened
/// with and one decoder per input. An entry whose task was released stays as an empty entry, so
/// the indexes of the other tasks never move (only Delete shifts them).
///
/// Thread-safe: the conversion threads look tasks up while the encoder's thread or a terminate
/// thread releases one. Tasks are shared: a caller that got a task (Item, Tasks) keeps it alive
/// until it lets go, so a task released meanwhile is destroyed by whoever lets go last (the engine
/// joins its own threads when that happens). Nothing is destroyed while the list's lock is held.
class TFFmpegList {
 public:
  TFFmpegList() = default;
  TFFmpegList(const TFFmpegList&) = delete;
  TFFmpegList& operator=(const TFFmpegList&) = delete;
  ~TFFmpegList();

  /// Appends the task; returns its index.
  int Add(std::unique_ptr<IFFTask> task);
  /// Frees every task and forgets every entry.
  void Clear();
  /// Frees the task at index and removes the entry (later indexes shift down). Out of range:
  /// nothing.
  void Delete(int index);
  /// Frees the task at index and leaves the entry empty, but only while the entry still holds
  /// that task (serial, see Serial): a task cleared and replaced meanwhile is left alone.
  void Release(int index, std::uint64_t serial);

  /// The task at index; null for an empty entry or an index out of range.
  std::shared_ptr<IFFTask> Item(int index) const;
  /// The entry that holds task, else -1.
  int IndexOf(const IFFTask* task) const;
  /// A number that tells this entry's task apart from every other task the list ever held
  /// (0 for an empty entry or an index out of range).
  std::uint64_t Serial(int index) const;
  /// Entries, empty ones included.
  int Count() const;
  /// Entries that hold a task.
  int LiveCount() const;
  /// Every task of a non-empty entry, in order.
  std::vector<std::shared_ptr<IFFTask>> Tasks() const;

  /// Keeps a copy of the record the task's next input or output was opened with; records are
  /// numbered like the task's inputs and outputs. Nothing for an empty entry.
  void StoreInputOptions(int index, const TInputOptions& options);
  void StoreOutputOptions(int index, const TOutputOptions& options);
  /// The stored record of input or output fileIndex; a cleared one when none was stored.
  TInputOptions InputOptions(int index, int fileIndex) const;
  TOutputOptions OutputOptions(int index, int fileIndex) const;
  /// The decoder of input fileIndex of the task at index, created on first use (owner: the list
  /// entry, destroyed with its task); null for an empty entry. The decoder borrows the task's
  /// format context, so it is unbound (UnbindDecoders) before the task releases its inputs.
  TFFDecoder* Decoder(int index, int fileIndex, TFFBaseComponent* owner);
  /// Makes every decoder of the task forget its borrowed format context.
  void UnbindDecoders(int index);

  // Broadcasts to every task.
  /// Stops running tasks and terminates the ones that never ran (waiting for each with wait).
  void Terminate(bool waitForStop);
  void SetPostHooks(bool preview, bool bitmap);
  void SetPreviewInterval(std::int64_t microseconds);
  void SetReportInterval(std::int64_t microseconds);
  void SetReadTimeout(int milliseconds);
  void SetWriteTimeout(int milliseconds);

 private:
  struct TEntry {
    std::shared_ptr<IFFTask> Task;
    std::uint64_t Serial = 0;
    std::vector<TInputOptions> Inputs;
    std::vector<TOutputOptions> Outputs;
    std::vector<std::unique_ptr<TFFDecoder>> Decoders;
  };
  void ForEach(const std::function<void(IFFTask&)>& fn) const;

  mutable std::mutex FLock;
  std::vector<TEntry> FEntries;
  std::uint64_t FNextSerial = 1;
};

}  // namespace media
