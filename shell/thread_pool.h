#pragma once
// The shell components' worker pool: one process-wide set of worker threads that runs work items
// (icons, thumbnails, folder sizes, check states, delayed calls) off the user-interface thread and
// hands each item's completion back to that thread.
//
// Our own pool rather than QThreadPool: items carry an item tag, a group tag and a class by which
// queued and running items are cancelled, the queue can run newest first, growth is held back
// while the processors are busy, and a worker stuck in an item is abandoned at shutdown instead
// of blocking it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

namespace shell {

class IWorkItem;
using IWorkItemPtr = std::shared_ptr<IWorkItem>;

/// A class of work items for cancellation. IsA matches an item of that class or of a class
/// derived from it; Is matches that class alone. The empty value stands for "any class" in
/// CancelWorkItems.
struct TWorkItemClass {
  bool (*IsA)(const IWorkItem&) = nullptr;
  bool (*Is)(const IWorkItem&) = nullptr;
  explicit operator bool() const { return IsA != nullptr; }
};

class IWorkItem {
 public:
  virtual ~IWorkItem() = default;
  /// The step that runs on the user-interface thread after PerformWork; empty for none.
  virtual std::function<void()> GetCompletionHandler() = 0;
  /// Opaque tags: the item tag is the caller's list or combo item, the group tag the control
  /// that queued the item.
  virtual const void* GetItemTag() const = 0;
  virtual const void* GetGroupTag() const = 0;
  /// Does the work on a worker thread.
  virtual void PerformWork() = 0;
  /// Asks the item to stop; afterwards its completion delivers nothing.
  virtual void Abort() = 0;
  virtual void SetPaused(bool paused) = 0;
  virtual const std::type_info& GetClassType() const = 0;
};

/// The class value of T.
template <typename T>
TWorkItemClass WorkItemClassOf() {
  return TWorkItemClass{[](const IWorkItem& item) { return dynamic_cast<const T*>(&item) != nullptr; },
                        [](const IWorkItem& item) { return typeid(item) == typeid(T); }};
}

/// Where the pool's diagnostic lines go; the default writes them to the debug messages of the Qt
/// logging category "converter.shell.pool", which are off unless the logging rules switch them on.
using TDebugOutput = std::function<void(const std::string&)>;
void SetShellDebugOutput(TDebugOutput output);
void ShellDebugOutput(const std::string& text);

/// Processor usage of the whole machine in percent, from /proc/stat. The first sample taken at
/// construction is the baseline; a second reading with no time passed keeps the last value.
class TCpuLoad {
 public:
  /// statReader gives the first line of /proc/stat ("cpu  user nice system idle iowait ...");
  /// the default reads the file.
  explicit TCpuLoad(std::function<std::string()> statReader = {});
  /// Usage since the previous reading that saw time pass (or construction), 0..100.
  int Usage();

 private:
  bool Sample(uint64_t& idle, uint64_t& total) const;
  std::function<std::string()> FReader;
  uint64_t FLastIdle = 0;
  uint64_t FLastTotal = 0;
  int FLast = 0;
};

class TWorkerThreadPool;
class TWorkerThread;

struct TPoolCore;

/// One worker of a pool. Only the pool creates them.
class TWorkerThread {
 public:
  /// Thread id as the debug lines show it.
  uint64_t ThreadId() const { return FId.load(); }
  bool Finished() const { return FFinished.load(); }
  bool Terminated() const { return FTerminated.load(); }
  void SetPaused(bool paused);

 private:
  friend struct TPoolCore;
  friend class TWorkerThreadPool;
  void Terminate();
  /// Aborts the current item when it matches; true when it did.
  bool AbortCurrent(const void* itemTag, const void* groupTag, TWorkItemClass cls);

  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FPaused{false};
  std::atomic<bool> FAbandoned{false};
  std::atomic<uint64_t> FId{0};
  std::mutex FItemLock;
  IWorkItemPtr FCurrent;
};

class TWorkerThreadPool {
 public:
  /// comFlag is accepted for compatibility and has no effect on Linux.
  explicit TWorkerThreadPool(bool comFlag = false);
  /// Stops every worker (TerminateThreads with wait).
  ~TWorkerThreadPool();
  TWorkerThreadPool(const TWorkerThreadPool&) = delete;
  TWorkerThreadPool& operator=(const TWorkerThreadPool&) = delete;

  /// Queues an item; callable from any thread. Items added while a cancellation runs are
  /// released without running.
  void AddWorkItem(IWorkItemPtr item);
  /// Removes queued items and aborts running ones that match every given criterion (null tags
  /// and an empty class match anything; with all three empty, everything is cancelled). A class
  /// removes queued items of that class and of its subclasses, but aborts only running items of
  /// exactly that class. Returns the number cancelled. User-interface thread.
  int CancelWorkItems(const void* itemTag = nullptr, const void* groupTag = nullptr,
                      TWorkItemClass cls = {});
  /// Stops all workers. With wait, returns when they ended; a worker that does not end within
  /// HardTerminationTime() is abandoned (it keeps its item, nothing of it reaches the pool again).
  void TerminateThreads(bool wait);

  int MinWorkerThreads() const;
  void SetMinWorkerThreads(int n);
  int MaxRunningThreads() const;
  void SetMaxRunningThreads(int n);
  bool NewestFirst() const;
  void SetNewestFirst(bool value);
  uint32_t IdleTimeout() const;
  void SetIdleTimeout(uint32_t ms);
  uint32_t HardTerminationTime() const;
  void SetHardTerminationTime(uint32_t ms);
  int CpuUsageCap() const;
  void SetCpuUsageCap(int percent);
  bool Paused() const;
  /// The paused state given to each new worker.
  void SetPaused(bool paused);

  /// The processor usage reading (default: /proc/stat) and the millisecond clock (default: a
  /// steady clock) used by the growth step; tests inject their own.
  void SetCpuUsageSource(std::function<int()> source);
  void SetClock(std::function<uint64_t()> clock);

  /// Number of workers in the pool (running or ending).
  int ThreadCount() const;
  int RunningThreadCount() const;
  /// Items added and neither finished nor cancelled.
  int OutstandingCount() const;
  int QueuedCount() const;

  /// User-interface thread, each time the outstanding count falls to 0; at most one call waits
  /// at a time.
  std::function<void(TWorkerThreadPool&)> OnQueueDrained;
  /// On the new worker's thread, before it takes its first item.
  std::function<void(TWorkerThreadPool&, TWorkerThread&)> OnWorkerStart;
  /// User-interface thread, when a worker ended, before it leaves the pool.
  std::function<void(TWorkerThreadPool&, TWorkerThread&)> OnThreadEnded;
  /// User-interface thread, when the last worker left the pool.
  std::function<void(TWorkerThreadPool&)> OnAllThreadsEnded;

 private:
  friend struct TPoolCore;
  std::shared_ptr<TPoolCore> FCore;
};

/// The process-wide pool: created on first use with CPU count × 4 minimum workers and twice that
/// many running at most.
TWorkerThreadPool& GlobalThreadPool();
/// Stops and frees the process-wide pool; the application calls it before its event loop's
/// objects go. A later GlobalThreadPool() makes a new one.
void ShutdownGlobalThreadPool();

}  // namespace shell
