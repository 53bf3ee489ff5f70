#pragma once
// TCustomEncoder: the encoder component's logic over any kind of task (media/ff_task.h). It keeps
// the task list, opens each task's input and output through the task, runs the tasks one after
// another on the caller's thread or at most N at a time on conversion threads, and turns the
// tasks' notifications into its events. TFFEncoder (media/ff_encoder.h) is this component over
// the conversion engine.
//
// Threads. AddTask, SetOutput, RemoveTask, ClearTasks, Start and the setters belong to the owner's
// thread (normally the main thread); Stop may come from any thread. The events come from the
// conversion threads, or are handed to the main thread (platform::CallInMainThread) when
// TriggerEventInMainThread is set; the hook events always run on the conversion thread. Each group
// of events has a lock of its own, held while its record is filled and its handler runs, so the
// handlers of one group never overlap. OnTerminate comes from a short-lived terminate thread in
// thread mode (Start(n > 0)) and whenever no run is active, in the order the tasks ended and with
// the end-of-run event (TaskIndex -1) last; a run without threads delivers it directly, before
// Start returns.
//
// Lifecycle: idle → tasks added → Start (Working) → tasks end → end of run (Terminated, OnTerminate
// with TaskIndex -1) → ClearTasks (idle again). Working stays set until ClearTasks; while it is
// set (and the run has not ended) AddTask, SetOutput, RemoveTask, Start and ClearTasks throw
// "Cannot %s while working.".
//
// Set the event handlers before Start and do not change them during a run. Never destroy the
// component from inside one of its own handlers: the destructor stops every task and waits for
// its terminate threads.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "media/ff_base.h"
#include "media/ff_decoder.h"
#include "media/ff_encoder_records.h"
#include "media/ff_task.h"
#include "platform/main_thread.h"

namespace media {

class TDoTerminateThread;

class TCustomEncoder : public TFFBaseComponent, protected IFFTaskEvents {
 public:
  /// factory makes one task per AddTask.
  explicit TCustomEncoder(TTaskFactory factory, TFFBaseComponent* owner = nullptr);
  /// Stops and frees every task (waiting for their runs), waits for the terminate threads still
  /// delivering (pumping main-thread work when called on the main thread) and joins them. No
  /// event fires once destruction has begun.
  ~TCustomEncoder() override;
  std::string ClassName() const override { return "TCustomEncoder"; }

  /// True when the loader reports media::EncoderLibraries loaded.
  bool AVLibLoaded() const;
  /// Sets the loader's LibraryPath to path and loads media::EncoderLibraries. False with the
  /// loader's text in LastErrMsg when that fails. Then tries the optional Intel Media SDK library;
  /// its absence is only logged as a warning.
  bool LoadAVLib(const std::string& path);

  /// Creates a task and opens fileName as its input. options (may be null) carries the input's
  /// option text and presets; its FileName is set to fileName when empty, and a copy stays with
  /// the task. Returns the task's index, or a negative value with LastErrMsg (the task is not
  /// kept). Throws FFmpegException "FFmpeg libraries not loaded." and "Cannot AddTask while
  /// working.".
  int AddTask(const std::string& fileName, TInputOptions* options = nullptr);
  /// Opens fileName as an output of task taskIndex. options (may be null) carries the option text,
  /// the presets and the hook switches; each switch that is set binds the matching hook event.
  /// The hook options in the text ("-videoinputhook"...) are accepted in any letter case.
  /// Returns >= 0, or a negative value with LastErrMsg ("The task #%d had been released." for an
  /// empty entry). Throws "Cannot SetOutput while working.".
  int SetOutput(int taskIndex, const std::string& fileName, TOutputOptions* options = nullptr);
  /// Frees every task and returns to idle. Throws "Cannot ClearTasks while working." during a run
  /// that has not ended (Terminated clear).
  void ClearTasks();
  /// Frees the task and removes its entry (later indexes shift down). Throws "Cannot RemoveTask
  /// while working.".
  void RemoveTask(int taskIndex);
  /// Starts the run. threadCount 0: the tasks run one after another on the calling thread and
  /// every event, the end of the run included, has been delivered when Start returns. threadCount
  /// n > 0: at most n tasks run at once, each on a conversion thread, and each task that ends
  /// starts the next one. Throws "Cannot StartTask while working.".
  void Start(int threadCount);
  /// Starts no further task and, during a run, tells every task to stop (waiting for each with
  /// waitForStop; on the main thread the wait keeps main-thread work flowing). Any thread. From a
  /// handler that runs on the main thread for a conversion thread, use Stop(false): that thread
  /// waits for its handler to return, so waiting for it there would never end.
  void Stop(bool waitForStop);
  /// Entries in the task list, released ones included.
  int TasksCount() const;

  /// The reason of the last failure of AddTask, SetOutput or LoadAVLib.
  std::string LastErrMsg() const;
  void* UserData() const { return FUserData; }
  void SetUserData(void* value) { FUserData = value; }
  /// Free each task once its terminate event has been delivered by a terminate thread (its entry
  /// stays, empty). Off by default.
  bool AutoReleaseTask() const { return FAutoReleaseTask.load(); }
  void SetAutoReleaseTask(bool value) { FAutoReleaseTask = value; }
  /// Handed to each task before it opens a file: the first invalid option fails the open. On by
  /// default.
  bool HaltOnInvalidOption() const { return FHaltOnInvalidOption; }
  void SetHaltOnInvalidOption(bool value) { FHaltOnInvalidOption = value; }
  /// Output frames painted into the preview window (post-hook bit 0). Applies to every task.
  bool Preview() const { return FPreview.load(); }
  void SetPreview(bool value);
  /// Output frames handed to OnPreviewBitmap (post-hook bit 1). Applies to every task.
  bool PreviewBitmap() const { return FPreviewBitmap.load(); }
  void SetPreviewBitmap(bool value);
  /// Milliseconds between two preview frames (default 100) and between two periodic progress
  /// reports (default 500). Values of 10 or less are stored as 10. Applies to every task.
  int PreviewInterval() const { return FPreviewInterval.load(); }
  void SetPreviewInterval(int milliseconds);
  int ProgressInterval() const { return FProgressInterval.load(); }
  void SetProgressInterval(int milliseconds);
  /// The priority of the conversion threads (best effort, see TThreadPriority).
  TThreadPriority ThreadPriority() const { return FThreadPriority.load(); }
  void SetThreadPriority(TThreadPriority value) { FThreadPriority = value; }
  /// Deliver OnProgress, OnPreviewBitmap, OnTerminate and OnBeforeFindStreamInfo on the main
  /// thread (on by default). The hooks always run on the conversion thread.
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread.load(); }
  void SetTriggerEventInMainThread(bool value) { FTriggerEventInMainThread = value; }
  /// Milliseconds a task's blocking read or write may stall; handed to every task.
  void SetReadTimeout(int milliseconds) override;
  void SetWriteTimeout(int milliseconds) override;

  /// The run has ended (every task reported its end); set until ClearTasks.
  bool Terminated() const { return FTerminated.load(); }
  /// A run was started and ClearTasks has not been called since.
  bool Working() const { return FWorking.load(); }
  /// Always false: nothing pauses a run.
  bool Paused() const { return FPaused.load(); }

  /// The component's own decoder, for the caller's use (file information before adding tasks).
  TFFDecoder& Decoder() { return FDecoder; }

  // Events. Set them before Start; see the header comment for the threads.
  /// Periodic progress of a task, at least ProgressInterval apart, and once at its end.
  TEncProgressEvent OnProgress;
  /// Once per task, then once with TaskIndex -1 for the end of the run.
  TTerminateEvent OnTerminate;
  /// A converted output frame (PreviewBitmap on), at least PreviewInterval apart.
  TEncPreviewBitmapEvent OnPreviewBitmap;
  /// Decoded input and encoded output video frames as bitmaps (conversion thread).
  TEncVideoHookEvent OnVideoInputHook;
  TEncVideoHookEvent OnVideoOutputHook;
  /// Decoded input and output video frames as raw pictures (conversion thread).
  TEncFrameHookEvent OnFrameInputHook;
  TEncFrameHookEvent OnFrameOutputHook;
  /// Decoded input and output audio frames (conversion thread).
  TEncAudioHookEvent OnAudioInputHook;
  TEncAudioHookEvent OnAudioOutputHook;
  /// An input was opened and its streams are about to be probed (during AddTask).
  TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;

 protected:
  /// The task list. Descendants may release an entry (TFFmpegList::Release) while no run is
  /// active; the run skips empty entries.
  TFFmpegList& TaskList() { return FList; }
  /// What the destructor does: stops and frees every task and waits for the deliveries in
  /// flight; no event fires afterwards. A descendant calls it first in its own destructor: the
  /// tasks' threads call this object's virtual dispatchers until they are stopped, so they must
  /// end before the descendant's part of the object goes. Later calls do nothing.
  void StopForDestruction();

  /// The dispatchers the tasks' notifications arrive at (see IFFTaskEvents for the threads).
  virtual void DoInputVideoHook(IFFTask* task, THookInfo& info);
  virtual void DoOutputVideoHook(IFFTask* task, THookInfo& info);
  virtual void DoInputFrameHook(IFFTask* task, const TFrameHookInfo& info);
  virtual void DoOutputFrameHook(IFFTask* task, const TFrameHookInfo& info);
  virtual void DoPreviewBitmap(IFFTask* task, const TPreviewInfo& info);
  virtual void DoProgress(IFFTask* task, const TProgressInfo& info);
  virtual void DoTerminate(IFFTask* task);

 private:
  friend class TDoTerminateThread;

  // IFFTaskEvents.
  void TaskBeforeFindStreamInfo(IFFTask* task, AVFormatContext* context) override;
  void TaskPreviewBitmap(IFFTask* task, const TPreviewInfo& info) override { DoPreviewBitmap(task, info); }
  void TaskProgress(IFFTask* task, const TProgressInfo& info) override { DoProgress(task, info); }
  void TaskTerminate(IFFTask* task) override { DoTerminate(task); }
  void TaskVideoHook(IFFTask* task, bool input, THookInfo& info) override;
  void TaskFrameHook(IFFTask* task, bool input, const TFrameHookInfo& info) override;
  void TaskAudioHook(IFFTask* task, bool input, std::int64_t pts, AVFrame* frame, int size, int sampleRate,
                     int channels, int sampleFormat) override;

  void CheckNotWorking(const std::string& operation) const;
  /// Before a task opens a file: clears its error text and hands it the component's strictness
  /// and I/O time-outs.
  void PrepareTaskOpen(IFFTask& task) const;
  void SetLastErrMsg(const std::string& text);
  void VideoHook(IFFTask* task, THookInfo& info, const TEncVideoHookEvent& handler);
  void FrameHook(IFFTask* task, const TFrameHookInfo& info, const TEncFrameHookEvent& handler);
  /// Runs fn on the main thread when TriggerEventInMainThread is set, else here.
  void DeliverEvent(const std::function<void()>& fn) const;

  // Run bookkeeping; the caller holds FTerminateLock.
  /// Consumes pending entries until one holds a task; advances past every entry it looks at.
  std::shared_ptr<IFFTask> PickNextTask();
  /// In thread mode: picks and starts the next task. Returns whether one was started.
  bool StartNextTask();
  /// Reports the end of the run once every live task has ended and nothing is pending.
  void CheckEndOfRun(std::vector<TTerminateInfo>& direct);
  /// Delivers info now on this thread (direct) or through a terminate thread.
  void QueueTerminate(const TTerminateInfo& info, std::uint64_t serial, std::vector<TTerminateInfo>& direct);

  /// Delivers a terminate event on this thread; the end-of-run event first waits for the
  /// terminate threads still delivering.
  void DeliverTerminate(const TTerminateInfo& info);
  /// Calls handler with info (on the main thread when inMainThread); a handler's exception is
  /// logged and goes no further.
  void CallTerminateHandler(const TTerminateEvent& handler, const TTerminateInfo& info, bool inMainThread);
  /// Waits until every terminate thread started so far has delivered.
  void WaitForDeliveries();
  /// Blocks a terminate thread until every delivery started before ticket is done.
  void WaitForTurn(std::uint64_t ticket);
  void DeliveryDone();
  /// Joins the terminate threads that have finished.
  void ReapTerminateThreads(bool all);

  TTaskFactory FFactory;
  TFFmpegList FList;
  TFFDecoder FDecoder;

  mutable std::mutex FErrLock;
  std::string FLastErrMsg;
  void* FUserData = nullptr;
  std::atomic<bool> FAutoReleaseTask{false};
  bool FHaltOnInvalidOption = true;
  std::atomic<bool> FPreview{false};
  std::atomic<bool> FPreviewBitmap{false};
  std::atomic<int> FPreviewInterval{100};
  std::atomic<int> FProgressInterval{500};
  std::atomic<TThreadPriority> FThreadPriority{TThreadPriority::tpNormal};
  std::atomic<bool> FTriggerEventInMainThread{true};
  std::atomic<bool> FDestroying{false};

  // The event groups' locks and records. Recursive like the critical sections they stand for:
  // a task that fails at its start reports its end on the thread that holds FTerminateLock.
  std::recursive_mutex FAudioHookLock;
  std::recursive_mutex FVideoHookLock;
  std::recursive_mutex FFrameHookLock;
  std::recursive_mutex FPreviewLock;
  std::recursive_mutex FProgressLock;
  std::recursive_mutex FTerminateLock;
  std::recursive_mutex FBeforeFindStreamInfoLock;
  TProgressInfo FProgressInfo;
  TPreviewInfo FPreviewInfo;
  THookInfo FHookInfo;
  TFrameHookInfo FFrameHookInfo;
  TTerminateInfo FTerminateInfo;
  IFFTask* FBeforeFindStreamInfoSender = nullptr;
  AVFormatContext* FBeforeFindStreamInfoContext = nullptr;

  // Run state; the counters are guarded by FTerminateLock, the flags are read anywhere.
  int FCompleted = 0;
  int FCurrent = -1;
  int FPending = 0;
  /// Entries that held a task when the run started: the run ends when that many have ended.
  int FLiveAtStart = 0;
  /// Serials (TFFmpegList::Serial) of the tasks whose end was counted in this run: a task that
  /// reports its end twice (stopped while it was being started) counts once.
  std::set<std::uint64_t> FEnded;
  std::thread::id FStartThread;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FThreadMode{false};
  std::atomic<bool> FWorking{false};
  std::atomic<bool> FPaused{false};

  // Terminate threads: deliveries take tickets in the order the tasks ended and deliver in that
  // order, the end-of-run event last.
  std::mutex FDeliveryLock;
  std::condition_variable FDeliveryWake;
  std::uint64_t FTicketsIssued = 0;
  std::uint64_t FTicketsDone = 0;
  platform::TWaitSignal FDeliveriesSignal;  // wakes WaitForDeliveries
  std::mutex FThreadsLock;
  std::vector<std::unique_ptr<TDoTerminateThread>> FTerminateThreads;
};

}  // namespace media
