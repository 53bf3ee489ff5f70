#include "shell/thread_pool.h"

#include <QLoggingCategory>
#include <QString>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/main_thread.h"

namespace shell {

// The pool's diagnostic lines are for a developer who asks for them
// (QT_LOGGING_RULES="converter.shell.pool.debug=true"); a user never sees them on the terminal.
Q_LOGGING_CATEGORY(lcShellPool, "converter.shell.pool", QtInfoMsg)

namespace {

std::mutex GDebugLock;
TDebugOutput GDebugOutput;

uint64_t SteadyMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

// exactClass: the class criterion matches only that class, not classes derived from it (running
// items are aborted by exact class, queued ones removed by class or subclass).
bool Matches(const IWorkItem& item, const void* itemTag, const void* groupTag, TWorkItemClass cls,
             bool exactClass) {
  if (itemTag != nullptr && item.GetItemTag() != itemTag) return false;
  if (groupTag != nullptr && item.GetGroupTag() != groupTag) return false;
  if (cls && !(exactClass ? cls.Is(item) : cls.IsA(item))) return false;
  return true;
}

// Growth checks and processor readings are rate-limited to one per this many milliseconds.
constexpr uint64_t kGrowthIntervalMs = 200;
// Workers wait for new items in slices of this length, so termination is noticed without polling.
constexpr uint64_t kWaitSliceMs = 500;

}  // namespace

void SetShellDebugOutput(TDebugOutput output) {
  std::lock_guard lock(GDebugLock);
  GDebugOutput = std::move(output);
}

void ShellDebugOutput(const std::string& text) {
  TDebugOutput output;
  {
    std::lock_guard lock(GDebugLock);
    output = GDebugOutput;
  }
  if (output)
    output(text);
  else
    qCDebug(lcShellPool).noquote() << QString::fromStdString(text);
}

// --- processor usage ---

TCpuLoad::TCpuLoad(std::function<std::string()> statReader) : FReader(std::move(statReader)) {
  // The first reading is only the baseline; usage is measured from here on.
  Sample(FLastIdle, FLastTotal);
}

bool TCpuLoad::Sample(uint64_t& idle, uint64_t& total) const {
  std::string line;
  if (FReader) {
    line = FReader();
  } else {
    std::ifstream stat("/proc/stat");
    std::getline(stat, line);
  }
  if (line.rfind("cpu ", 0) != 0) return false;
  std::istringstream fields(line.substr(4));
  uint64_t value = 0;
  uint64_t values[10] = {};
  int n = 0;
  while (n < 10 && fields >> value) values[n++] = value;
  if (n < 4) return false;
  total = 0;
  for (int i = 0; i < n; ++i) total += values[i];
  idle = values[3] + (n > 4 ? values[4] : 0);  // idle + iowait
  return true;
}

int TCpuLoad::Usage() {
  uint64_t idle = 0;
  uint64_t total = 0;
  if (!Sample(idle, total)) return FLast;
  const uint64_t dTotal = total - FLastTotal;
  const uint64_t dIdle = idle - FLastIdle;
  if (total > FLastTotal && dTotal > 0) {
    // No time passed between two readings keeps the last value instead of reading as busy.
    const double busy = 100.0 - static_cast<double>(dIdle) * 100.0 / static_cast<double>(dTotal);
    FLast = std::clamp(static_cast<int>(busy + 0.5), 0, 100);
    FLastIdle = idle;
    FLastTotal = total;
  }
  return FLast;
}

// --- workers ---

void TWorkerThread::SetPaused(bool paused) {
  FPaused = paused;
  std::lock_guard lock(FItemLock);
  if (FCurrent) FCurrent->SetPaused(paused);
}

void TWorkerThread::Terminate() { FTerminated = true; }

bool TWorkerThread::AbortCurrent(const void* itemTag, const void* groupTag, TWorkItemClass cls) {
  std::lock_guard lock(FItemLock);
  if (!FCurrent || !Matches(*FCurrent, itemTag, groupTag, cls, true)) return false;
  FCurrent->Abort();
  return true;
}

// --- the pool's shared state ---
//
// Workers hold the core, so a worker abandoned at shutdown can still finish its item after the
// pool object is gone; it then leaves without touching anything but the core.

struct TPoolCore : std::enable_shared_from_this<TPoolCore> {
  std::atomic<TWorkerThreadPool*> Owner{nullptr};

  mutable std::mutex Lock;  // the worker list and the growth decision
  std::vector<std::shared_ptr<TWorkerThread>> Threads;

  mutable std::mutex QueueLock;
  std::deque<IWorkItemPtr> Queue;

  std::mutex EventLock;  // the new-item event
  std::condition_variable EventWake;
  bool EventSignalled = false;

  std::condition_variable RemovedWake;  // with Lock: a worker left the list

  std::atomic<int> MaxRunning{static_cast<int>(std::max(1u, std::thread::hardware_concurrency())) * 3 + 2};
  std::atomic<int> MinWorkers{1};
  std::atomic<bool> NewestFirst{false};
  std::atomic<uint32_t> IdleTimeout{60000};
  std::atomic<uint32_t> HardTermination{3000};
  std::atomic<int> CpuCap{80};
  std::atomic<bool> Paused{false};
  std::atomic<bool> GrowthBlocked{false};
  std::atomic<bool> Cancelling{false};
  std::atomic<bool> Destroying{false};
  std::atomic<int> Outstanding{0};
  std::atomic<int> AllDoneGate{0};
  std::atomic<uint64_t> LastGrowth{0};
  std::atomic<uint64_t> NextId{1};

  std::mutex SourcesLock;
  std::function<int()> CpuSource;
  std::function<uint64_t()> Clock;
  TCpuLoad DefaultCpu;
  uint64_t CpuReadAt = 0;
  int CpuCached = 0;
  bool CpuRead = false;

  uint64_t Now() {
    std::lock_guard lock(SourcesLock);
    return Clock ? Clock() : SteadyMs();
  }

  int CpuUsage() {
    std::lock_guard lock(SourcesLock);
    if (CpuSource) return std::max(0, CpuSource());
    const uint64_t now = SteadyMs();
    if (!CpuRead || now - CpuReadAt > kGrowthIntervalMs) {
      CpuCached = DefaultCpu.Usage();
      CpuReadAt = now;
      CpuRead = true;
    }
    return std::max(0, CpuCached);
  }

  int QueueCount() const {
    std::lock_guard lock(QueueLock);
    return static_cast<int>(Queue.size());
  }

  // Takes the next item and makes it the worker's current one in one step, so that a
  // cancellation finds every item either in the queue or running.
  IWorkItemPtr Take(TWorkerThread& self) {
    std::lock_guard lock(QueueLock);
    if (Queue.empty()) return nullptr;
    IWorkItemPtr item;
    if (NewestFirst) {
      item = std::move(Queue.back());
      Queue.pop_back();
    } else {
      item = std::move(Queue.front());
      Queue.pop_front();
    }
    std::lock_guard current(self.FItemLock);
    self.FCurrent = item;
    return item;
  }

  int RemoveMatching(const void* itemTag, const void* groupTag, TWorkItemClass cls) {
    std::vector<IWorkItemPtr> removed;  // released after the lock
    std::lock_guard lock(QueueLock);
    for (auto it = Queue.end(); it != Queue.begin();) {
      --it;
      if (Matches(**it, itemTag, groupTag, cls, false)) {
        removed.push_back(std::move(*it));
        it = Queue.erase(it);
      }
    }
    return static_cast<int>(removed.size());
  }

  int ClearQueue() {
    std::deque<IWorkItemPtr> removed;
    std::lock_guard lock(QueueLock);
    removed.swap(Queue);
    return static_cast<int>(removed.size());
  }

  void Signal(bool all) {
    {
      std::lock_guard lock(EventLock);
      EventSignalled = true;
    }
    if (all)
      EventWake.notify_all();
    else
      EventWake.notify_one();
  }

  int ThreadCount() const {
    std::lock_guard lock(Lock);
    return static_cast<int>(Threads.size());
  }

  int RunningCount() const {
    std::lock_guard lock(Lock);
    return static_cast<int>(
        std::count_if(Threads.begin(), Threads.end(), [](const auto& t) { return !t->Finished(); }));
  }

  bool InList(const std::shared_ptr<TWorkerThread>& thread) const {
    return std::find(Threads.begin(), Threads.end(), thread) != Threads.end();
  }

  // The growth step: maybe start one more worker. The rate limit is checked and the check time
  // stored under the lock, so that an add and a worker taking an item cannot both grow the pool
  // within one interval.
  void Grow() {
    std::lock_guard lock(Lock);
    const uint64_t now = Now();
    const uint64_t last = LastGrowth.load();
    const int count = static_cast<int>(Threads.size());
    if ((now < last || now - last < kGrowthIntervalMs) && count > MinWorkers.load()) return;
    if (!(count >= MaxRunning.load() || QueueCount() == 0 || GrowthBlocked.load() || Destroying.load())) {
      if (count < MinWorkers.load() || CpuUsage() < CpuCap.load()) StartWorkerLocked();
    }
    GrowthBlocked = false;
    LastGrowth = now;
  }

  void StartWorkerLocked() {
    auto thread = std::make_shared<TWorkerThread>();
    thread->FPaused = Paused.load();
    Threads.push_back(thread);
    try {
      std::thread(&TPoolCore::Run, shared_from_this(), thread).detach();
    } catch (const std::system_error&) {
      Threads.pop_back();
      // Out of threads: the workers there are carry on; with none, the caller must know.
      if (Threads.empty()) throw;
    }
  }

  void AllDone() {
    TWorkerThreadPool* owner = Owner.load();
    if (owner == nullptr || !owner->OnQueueDrained) return;
    if (AllDoneGate.fetch_add(1) + 1 == 1) {
      platform::PostToMainThread([core = shared_from_this()] {
        try {
          if (TWorkerThreadPool* pool = core->Owner.load(); pool != nullptr && pool->OnQueueDrained)
            pool->OnQueueDrained(*pool);
        } catch (...) {
          ShellDebugOutput("TWorkerThreadPool: OnQueueDrained raised an exception");
        }
        core->AllDoneGate.fetch_sub(1);
        core->GrowthBlocked = false;
      });
    } else {
      AllDoneGate.fetch_sub(1);
    }
  }

  IWorkItemPtr NextItem(TWorkerThread& self) {
    if (self.Terminated()) return nullptr;
    IWorkItemPtr item = Take(self);
    const uint64_t start = SteadyMs();
    while (!item) {
      const uint64_t now = SteadyMs();
      const uint64_t idle = IdleTimeout.load();
      if (now < start || now - start > idle) {
        self.Terminate();
        self.AbortCurrent(nullptr, nullptr, {});
        return nullptr;
      }
      {
        std::unique_lock lock(EventLock);
        const uint64_t slice = std::min<uint64_t>(kWaitSliceMs, idle - (now - start) + 1);
        EventWake.wait_for(lock, std::chrono::milliseconds(slice),
                           [&] { return EventSignalled || self.Terminated(); });
        EventSignalled = false;  // auto-reset
      }
      if (self.Terminated()) return nullptr;
      item = Take(self);
    }
    Grow();
    return item;
  }

  void WaitWhilePaused(TWorkerThread& self) {
    while (self.FPaused.load() && !self.Terminated()) {
      std::unique_lock lock(EventLock);
      EventWake.wait_for(lock, std::chrono::milliseconds(100), [&] { return self.Terminated(); });
    }
  }

  static void Run(std::shared_ptr<TPoolCore> core, std::shared_ptr<TWorkerThread> self) {
    self->FId = static_cast<uint64_t>(::syscall(SYS_gettid));
    if (!self->Terminated()) {
      if (TWorkerThreadPool* owner = core->Owner.load(); owner != nullptr && owner->OnWorkerStart) {
        try {
          owner->OnWorkerStart(*owner, *self);
        } catch (...) {
          ShellDebugOutput("TWorkerThreadPool: OnWorkerStart raised an exception");
        }
      }
      for (;;) {
        core->WaitWhilePaused(*self);
        if (self->Terminated()) break;
        IWorkItemPtr item = core->NextItem(*self);  // also the worker's current item now
        if (!item) continue;
        item->SetPaused(self->FPaused.load());
        bool failed = false;
        try {
          item->PerformWork();
        } catch (const std::exception& error) {
          failed = true;
          ShellDebugOutput(std::string("TWorkerThread: work item raised an exception: ") + error.what());
        } catch (...) {
          failed = true;
          ShellDebugOutput("TWorkerThread: work item raised an exception");
        }
        if (self->FAbandoned.load()) {  // shutdown gave up on this worker: leave quietly
          std::lock_guard lock(self->FItemLock);
          self->FCurrent.reset();
          break;
        }
        // Completions are the user interface's work: with no main thread to hand them to (before
        // the application installs its dispatcher, or after it removed it on the way out) they
        // are dropped, never run on this worker.
        if (!failed && platform::MainThreadDispatcher() != nullptr) {
          if (std::function<void()> completion = item->GetCompletionHandler()) {
            platform::CallInMainThread([&completion] {
              try {
                completion();
              } catch (const std::exception& error) {
                ShellDebugOutput(std::string("TWorkerThread: completion raised an exception: ") + error.what());
              } catch (...) {
                ShellDebugOutput("TWorkerThread: completion raised an exception");
              }
            });
          }
        }
        {
          std::lock_guard lock(self->FItemLock);
          self->FCurrent.reset();
        }
        item.reset();
        if (core->Outstanding.fetch_sub(1) == 1) core->AllDone();
      }
    }
    self->FFinished = true;
    if (self->FAbandoned.load()) return;
    platform::CallInMainThread([&] { core->ThreadEnded(self); });
  }

  // User-interface thread: a worker has ended.
  void ThreadEnded(const std::shared_ptr<TWorkerThread>& thread) {
    TWorkerThreadPool* owner = Owner.load();
    if (owner != nullptr && owner->OnThreadEnded) {
      try {
        owner->OnThreadEnded(*owner, *thread);
      } catch (...) {
        ShellDebugOutput("TWorkerThreadPool: OnThreadEnded raised an exception");
      }
    }
    Remove(thread);
    if (QueueCount() > 0) Grow();  // an ending worker is replaced while items wait
  }

  void Remove(const std::shared_ptr<TWorkerThread>& thread) {
    bool empty = false;
    {
      std::lock_guard lock(Lock);
      auto it = std::find(Threads.begin(), Threads.end(), thread);
      if (it == Threads.end()) return;
      Threads.erase(it);
      empty = Threads.empty();
    }
    RemovedWake.notify_all();
    if (empty) {
      GrowthBlocked = false;
      TWorkerThreadPool* owner = Owner.load();
      if (owner != nullptr && owner->OnAllThreadsEnded) {
        try {
          owner->OnAllThreadsEnded(*owner);
        } catch (...) {
          ShellDebugOutput("TWorkerThreadPool: OnAllThreadsEnded raised an exception");
        }
      }
    }
  }

  // Stops one worker; one that does not end within the hard-termination time is abandoned: it is
  // taken out of the pool and left to finish its item alone (killing a thread would leave locks
  // it holds taken for ever).
  void StopOne(const std::shared_ptr<TWorkerThread>& thread) {
    GrowthBlocked = true;
    if (thread->Finished()) {
      platform::ProcessMessages();
      return;
    }
    thread->Terminate();
    Signal(true);
    const uint64_t start = SteadyMs();
    for (;;) {
      {
        std::unique_lock lock(Lock);
        if (!InList(thread)) return;
        RemovedWake.wait_for(lock, std::chrono::milliseconds(10));
        if (!InList(thread)) return;
      }
      platform::ProcessMessages();
      if (SteadyMs() - start >= HardTermination.load()) {
        bool empty = false;
        {
          std::lock_guard lock(Lock);
          auto it = std::find(Threads.begin(), Threads.end(), thread);
          if (it == Threads.end()) return;
          ShellDebugOutput("Terminating Thread TWorkerThread the hard way. Thread ID: " +
                           std::to_string(thread->ThreadId()));
          thread->FAbandoned = true;
          Threads.erase(it);
          empty = Threads.empty();
        }
        RemovedWake.notify_all();
        if (empty) GrowthBlocked = false;
        return;
      }
    }
  }

  void TerminateAll(bool wait) {
    if (ThreadCount() > 0) {
      GrowthBlocked = true;
      {
        std::lock_guard lock(Lock);
        for (auto it = Threads.rbegin(); it != Threads.rend(); ++it) {
          (*it)->Terminate();
          (*it)->AbortCurrent(nullptr, nullptr, {});
        }
      }
      Signal(true);
      if (wait) {
        platform::ProcessMessages();
        for (;;) {
          std::shared_ptr<TWorkerThread> first;
          {
            std::lock_guard lock(Lock);
            if (Threads.empty()) break;
            first = Threads.front();
          }
          StopOne(first);
        }
        ShellDebugOutput("TCustomThreadPool.TerminateThreads done. RunningThreadCount: " +
                         std::to_string(RunningCount()) + "   Count: " + std::to_string(ThreadCount()));
      }
    }
    platform::ProcessMessages();
  }
};

// --- the pool ---

TWorkerThreadPool::TWorkerThreadPool(bool /*comFlag*/) : FCore(std::make_shared<TPoolCore>()) {
  FCore->Owner = this;
}

TWorkerThreadPool::~TWorkerThreadPool() {
  FCore->Destroying = true;
  TerminateThreads(true);
  FCore->Owner = nullptr;
}

void TWorkerThreadPool::AddWorkItem(IWorkItemPtr item) {
  if (!item) return;
  if (FCore->Cancelling.load() || FCore->Destroying.load()) return;  // released without running
  FCore->Outstanding.fetch_add(1);
  {
    std::lock_guard lock(FCore->QueueLock);
    FCore->Queue.push_back(std::move(item));
  }
  FCore->Signal(false);
  FCore->Grow();
}

int TWorkerThreadPool::CancelWorkItems(const void* itemTag, const void* groupTag, TWorkItemClass cls) {
  if (FCore->Outstanding.load() == 0) return 0;
  struct TClearFlag {
    std::atomic<bool>& Flag;
    ~TClearFlag() { Flag = false; }
  } clear{FCore->Cancelling};
  FCore->Cancelling = true;
  int n = (itemTag != nullptr || groupTag != nullptr || cls) ? FCore->RemoveMatching(itemTag, groupTag, cls)
                                                             : FCore->ClearQueue();
  if (n > 0) {
    FCore->GrowthBlocked = true;
    const int before = FCore->Outstanding.fetch_sub(n);
    if (before == n) {
      FCore->Cancelling = false;
      FCore->AllDone();
      return n;
    }
  }
  std::lock_guard lock(FCore->Lock);
  for (auto it = FCore->Threads.rbegin(); it != FCore->Threads.rend(); ++it)
    if ((*it)->AbortCurrent(itemTag, groupTag, cls)) ++n;
  return n;
}

void TWorkerThreadPool::TerminateThreads(bool wait) {
  FCore->TerminateAll(false);
  CancelWorkItems();
  FCore->Signal(true);
  FCore->TerminateAll(wait);
  if (wait) {
    FCore->ClearQueue();
    if (FCore->Outstanding.exchange(0) != 0) FCore->AllDone();
  }
  platform::ProcessMessages();
}

int TWorkerThreadPool::MinWorkerThreads() const { return FCore->MinWorkers; }

void TWorkerThreadPool::SetMinWorkerThreads(int n) {
  FCore->MinWorkers = n;
  if (FCore->MaxRunning.load() < n) SetMaxRunningThreads(n);
  FCore->Grow();
}

int TWorkerThreadPool::MaxRunningThreads() const { return FCore->MaxRunning; }

void TWorkerThreadPool::SetMaxRunningThreads(int n) {
  if (n == FCore->MaxRunning.load()) return;
  FCore->MaxRunning = n;
  // Workers beyond the new maximum are told to end once they finish their item.
  std::lock_guard lock(FCore->Lock);
  int running = 0;
  for (auto& thread : FCore->Threads) {
    if (thread->Finished() || thread->Terminated()) continue;
    if (running < n)
      ++running;
    else
      thread->Terminate();
  }
  FCore->Signal(true);
}

bool TWorkerThreadPool::NewestFirst() const { return FCore->NewestFirst; }
void TWorkerThreadPool::SetNewestFirst(bool value) { FCore->NewestFirst = value; }
uint32_t TWorkerThreadPool::IdleTimeout() const { return FCore->IdleTimeout; }
void TWorkerThreadPool::SetIdleTimeout(uint32_t ms) { FCore->IdleTimeout = ms; }
uint32_t TWorkerThreadPool::HardTerminationTime() const { return FCore->HardTermination; }
void TWorkerThreadPool::SetHardTerminationTime(uint32_t ms) { FCore->HardTermination = ms; }
int TWorkerThreadPool::CpuUsageCap() const { return FCore->CpuCap; }
void TWorkerThreadPool::SetCpuUsageCap(int percent) { FCore->CpuCap = percent; }
bool TWorkerThreadPool::Paused() const { return FCore->Paused; }
void TWorkerThreadPool::SetPaused(bool paused) { FCore->Paused = paused; }

void TWorkerThreadPool::SetCpuUsageSource(std::function<int()> source) {
  std::lock_guard lock(FCore->SourcesLock);
  FCore->CpuSource = std::move(source);
}

void TWorkerThreadPool::SetClock(std::function<uint64_t()> clock) {
  std::lock_guard lock(FCore->SourcesLock);
  FCore->Clock = std::move(clock);
}

int TWorkerThreadPool::ThreadCount() const { return FCore->ThreadCount(); }
int TWorkerThreadPool::RunningThreadCount() const { return FCore->RunningCount(); }
int TWorkerThreadPool::OutstandingCount() const { return FCore->Outstanding; }
int TWorkerThreadPool::QueuedCount() const { return FCore->QueueCount(); }

// --- the process-wide pool ---

namespace {
std::mutex GGlobalLock;
std::unique_ptr<TWorkerThreadPool> GGlobalPool;
}  // namespace

TWorkerThreadPool& GlobalThreadPool() {
  std::lock_guard lock(GGlobalLock);
  if (!GGlobalPool) {
    GGlobalPool = std::make_unique<TWorkerThreadPool>(true);
    const int cpus = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    GGlobalPool->SetMinWorkerThreads(cpus * 4);
    GGlobalPool->SetMaxRunningThreads(2 * GGlobalPool->MinWorkerThreads());
  }
  return *GGlobalPool;
}

void ShutdownGlobalThreadPool() {
  std::unique_ptr<TWorkerThreadPool> pool;
  {
    std::lock_guard lock(GGlobalLock);
    pool = std::move(GGlobalPool);
  }
  pool.reset();
}

}  // namespace shell
