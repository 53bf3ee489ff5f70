#include "shell/thread_pool.h"

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/main_thread.h"
#include "shell/basic_work_item.h"
#include "support/gate.h"

namespace {

using shell::TBasicWorkItem;
using shell::TWorkerThreadPool;

using testing_support::TGate;

// An item that reports when it starts and then waits for its gate (or its abort).
class TBlockingItem : public TBasicWorkItem {
 public:
  TBlockingItem(TGate& gate, const void* groupTag, const void* itemTag) : TBasicWorkItem(groupTag, itemTag), FGate(gate) {}
  void PerformWork() override {
    Started = true;
    FGate.Wait([this] { return Aborted(); });
    Ran = true;
  }
  std::atomic<bool> Started{false};
  std::atomic<bool> Ran{false};

 protected:
  TGate& FGate;
};
// Two unrelated kinds of item, each with a subclass.
class TRunningKind : public TBlockingItem {
 public:
  using TBlockingItem::TBlockingItem;
};
class TRunningChild : public TRunningKind {
 public:
  using TRunningKind::TRunningKind;
};
class TQueuedKind : public TBlockingItem {
 public:
  using TBlockingItem::TBlockingItem;
};
class TQueuedChild : public TQueuedKind {
 public:
  using TQueuedKind::TQueuedKind;
};

// Waits without pumping the main thread.
void SpinUntil(const std::function<bool()>& done) {
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

class WorkerPoolTest : public ::testing::Test {
 protected:
  WorkerPoolTest() : FGuard(&FDispatcher) {
    shell::SetShellDebugOutput([this](const std::string& line) {
      std::lock_guard lock(FLogLock);
      FLog.push_back(line);
    });
  }
  ~WorkerPoolTest() override { shell::SetShellDebugOutput({}); }

  std::vector<std::string> Log() {
    std::lock_guard lock(FLogLock);
    return FLog;
  }

  platform::THeadlessDispatcher FDispatcher;
  platform::TDispatcherGuard FGuard;
  std::mutex FLogLock;
  std::vector<std::string> FLog;
};

TEST_F(WorkerPoolTest, CancelWithNothingOutstandingReturnsZero) {
  TWorkerThreadPool pool;
  int drained = 0;
  pool.OnQueueDrained = [&](TWorkerThreadPool&) { ++drained; };
  EXPECT_EQ(pool.CancelWorkItems(), 0);
  EXPECT_EQ(pool.CancelWorkItems(nullptr, &pool, shell::WorkItemClassOf<TBlockingItem>()), 0);
  FDispatcher.ProcessPending();
  EXPECT_EQ(drained, 0);
}

// One worker: item A runs (a TRunningChild), item B waits in the queue (a TQueuedChild). Each
// case cancels by one criterion aimed at A or B, or by none. A queued item is removed by its own
// class or a base class; a running item is aborted only by exactly its own class.
enum class TTarget { Running, Queued };
enum class TBy { ItemTag, GroupTag, BaseClass, ExactClass, None };
struct TCancelCase {
  const char* Name;
  TTarget Target;
  TBy By;
  int Expected;
  bool AAborted;
  bool BRuns;
};

void PrintTo(const TCancelCase& c, std::ostream* os) { *os << c.Name; }

class CancelTable : public WorkerPoolTest, public ::testing::WithParamInterface<TCancelCase> {};

TEST_P(CancelTable, CancelsWhatMatches) {
  const TCancelCase& c = GetParam();
  TWorkerThreadPool pool;
  pool.SetMinWorkerThreads(1);
  pool.SetMaxRunningThreads(1);
  TGate gate;
  const int groupA = 0, groupB = 0, tagA = 0, tagB = 0;
  auto a = std::make_shared<TRunningChild>(gate, &groupA, &tagA);
  auto b = std::make_shared<TQueuedChild>(gate, &groupB, &tagB);
  pool.AddWorkItem(a);
  SpinUntil([&] { return a->Started.load(); });
  pool.AddWorkItem(b);
  ASSERT_EQ(pool.QueuedCount(), 1);
  ASSERT_EQ(pool.ThreadCount(), 1);

  const bool running = c.Target == TTarget::Running;
  int n = 0;
  switch (c.By) {
    case TBy::ItemTag: n = pool.CancelWorkItems(running ? &tagA : &tagB); break;
    case TBy::GroupTag: n = pool.CancelWorkItems(nullptr, running ? &groupA : &groupB); break;
    case TBy::BaseClass:
      n = running ? pool.CancelWorkItems(nullptr, nullptr, shell::WorkItemClassOf<TRunningKind>())
                  : pool.CancelWorkItems(nullptr, nullptr, shell::WorkItemClassOf<TQueuedKind>());
      break;
    case TBy::ExactClass:
      n = running ? pool.CancelWorkItems(nullptr, nullptr, shell::WorkItemClassOf<TRunningChild>())
                  : pool.CancelWorkItems(nullptr, nullptr, shell::WorkItemClassOf<TQueuedChild>());
      break;
    case TBy::None: n = pool.CancelWorkItems(); break;
  }
  EXPECT_EQ(n, c.Expected);
  EXPECT_EQ(a->Aborted(), c.AAborted);
  gate.Open();
  platform::WaitInMainThread([&] { return pool.OutstandingCount() == 0; });
  pool.TerminateThreads(true);
  EXPECT_EQ(b->Ran.load(), c.BRuns);
  EXPECT_EQ(b->Started.load(), c.BRuns);
}

INSTANTIATE_TEST_SUITE_P(
    WorkerPool, CancelTable,
    ::testing::Values(TCancelCase{"RunningByItemTag", TTarget::Running, TBy::ItemTag, 1, true, true},
                      TCancelCase{"RunningByGroupTag", TTarget::Running, TBy::GroupTag, 1, true, true},
                      TCancelCase{"RunningByBaseClass", TTarget::Running, TBy::BaseClass, 0, false, true},
                      TCancelCase{"RunningByExactClass", TTarget::Running, TBy::ExactClass, 1, true, true},
                      TCancelCase{"RunningByNone", TTarget::Running, TBy::None, 2, true, false},
                      TCancelCase{"QueuedByItemTag", TTarget::Queued, TBy::ItemTag, 1, false, false},
                      TCancelCase{"QueuedByGroupTag", TTarget::Queued, TBy::GroupTag, 1, false, false},
                      TCancelCase{"QueuedByBaseClass", TTarget::Queued, TBy::BaseClass, 1, false, false},
                      TCancelCase{"QueuedByExactClass", TTarget::Queued, TBy::ExactClass, 1, false, false},
                      TCancelCase{"QueuedByNone", TTarget::Queued, TBy::None, 2, true, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(WorkerPoolTest, CancelOfOnlyQueuedItemsDrainsWithoutAskingWorkers) {
  TWorkerThreadPool pool;
  pool.SetMinWorkerThreads(1);
  pool.SetMaxRunningThreads(1);
  pool.SetPaused(true);  // the worker never takes an item
  int drained = 0;
  pool.OnQueueDrained = [&](TWorkerThreadPool&) { ++drained; };
  TGate gate;
  const int group = 0;
  for (int i = 0; i < 3; ++i) pool.AddWorkItem(std::make_shared<TBlockingItem>(gate, &group, nullptr));
  EXPECT_EQ(pool.CancelWorkItems(nullptr, &group), 3);
  EXPECT_EQ(pool.OutstandingCount(), 0);
  FDispatcher.ProcessPending();
  EXPECT_EQ(drained, 1);
  gate.Open();
}

TEST_F(WorkerPoolTest, ItemsAddedWhileCancellingAreDropped) {
  TWorkerThreadPool pool;
  pool.SetMinWorkerThreads(1);
  pool.SetMaxRunningThreads(1);
  TGate gate;
  std::shared_ptr<TBlockingItem> late;
  // The running item's abort adds another item: it arrives during the cancellation.
  class TAddingOnAbort : public TBlockingItem {
   public:
    TAddingOnAbort(TGate& gate, std::function<void()> onAbort) : TBlockingItem(gate, nullptr, nullptr), FOnAbort(std::move(onAbort)) {}
    void Abort() override {
      TBlockingItem::Abort();
      FOnAbort();
    }
    std::function<void()> FOnAbort;
  };
  auto first = std::make_shared<TAddingOnAbort>(gate, [&] {
    late = std::make_shared<TBlockingItem>(gate, nullptr, nullptr);
    pool.AddWorkItem(late);
  });
  pool.AddWorkItem(first);
  SpinUntil([&] { return first->Started.load(); });
  EXPECT_EQ(pool.CancelWorkItems(), 1);
  ASSERT_TRUE(late);
  EXPECT_EQ(late.use_count(), 1);  // the pool kept no reference
  gate.Open();
  platform::WaitInMainThread([&] { return pool.OutstandingCount() == 0; });
  EXPECT_FALSE(late->Started.load());
}

TEST_F(WorkerPoolTest, BurstOfDrainsGivesOneCall) {
  TWorkerThreadPool pool;
  int drained = 0;
  pool.OnQueueDrained = [&](TWorkerThreadPool&) { ++drained; };
  TGate gate;
  gate.Open();
  // The queue runs dry three times while the main thread is not looking.
  for (int i = 0; i < 3; ++i) {
    pool.AddWorkItem(std::make_shared<TBlockingItem>(gate, nullptr, nullptr));
    SpinUntil([&] { return pool.OutstandingCount() == 0; });
  }
  FDispatcher.ProcessPending();
  EXPECT_EQ(drained, 1);
  // Once that call ran, the next drain is reported again.
  pool.AddWorkItem(std::make_shared<TBlockingItem>(gate, nullptr, nullptr));
  platform::WaitInMainThread([&] { return drained == 2; });
  EXPECT_EQ(drained, 2);
}

TEST_F(WorkerPoolTest, CompletionRunsOnTheMainThreadAfterTheWork) {
  TWorkerThreadPool pool;
  TGate gate;
  gate.Open();
  auto item = std::make_shared<TBlockingItem>(gate, nullptr, nullptr);
  std::thread::id ranOn;
  bool workDone = false;
  item->SetOnItemDone([&](TBasicWorkItem& done) {
    ranOn = std::this_thread::get_id();
    workDone = static_cast<TBlockingItem&>(done).Ran.load();
  });
  pool.AddWorkItem(item);
  platform::WaitInMainThread([&] { return pool.OutstandingCount() == 0; });
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(workDone);
}

TEST_F(WorkerPoolTest, NewestFirstTakesTheLastAddedItem) {
  for (const bool newestFirst : {false, true}) {
    TWorkerThreadPool pool;
    pool.SetNewestFirst(newestFirst);
    pool.SetMinWorkerThreads(1);
    pool.SetMaxRunningThreads(1);
    TGate gate;
    auto blocker = std::make_shared<TBlockingItem>(gate, nullptr, nullptr);
    pool.AddWorkItem(blocker);
    SpinUntil([&] { return blocker->Started.load(); });
    std::vector<int> order;
    for (int i = 1; i <= 3; ++i) {
      auto item = std::make_shared<TBlockingItem>(gate, nullptr, nullptr);
      item->SetOnItemDone([&, i](TBasicWorkItem&) { order.push_back(i); });
      pool.AddWorkItem(item);
    }
    gate.Open();
    platform::WaitInMainThread([&] { return pool.OutstandingCount() == 0; });
    EXPECT_EQ(order, newestFirst ? std::vector<int>({3, 2, 1}) : std::vector<int>({1, 2, 3})) << newestFirst;
  }
}

TEST_F(WorkerPoolTest, IdleWorkersEndAndTheNextAddStartsANewOne) {
  TWorkerThreadPool pool;
  pool.SetIdleTimeout(100);
  int ended = 0;
  int allEnded = 0;
  pool.OnThreadEnded = [&](TWorkerThreadPool&, shell::TWorkerThread&) { ++ended; };
  pool.OnAllThreadsEnded = [&](TWorkerThreadPool&) { ++allEnded; };
  TGate gate;
  gate.Open();
  pool.AddWorkItem(std::make_shared<TBlockingItem>(gate, nullptr, nullptr));
  EXPECT_EQ(pool.ThreadCount(), 1);
  platform::WaitInMainThread([&] { return pool.ThreadCount() == 0; });
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(allEnded, 1);
  auto next = std::make_shared<TBlockingItem>(gate, nullptr, nullptr);
  pool.AddWorkItem(next);
  EXPECT_EQ(pool.ThreadCount(), 1);
  platform::WaitInMainThread([&] { return pool.OutstandingCount() == 0; });
  EXPECT_TRUE(next->Ran.load());
}

TEST_F(WorkerPoolTest, ProcessorReadingGatesGrowthAboveTheMinimum) {
  TWorkerThreadPool pool;
  std::atomic<uint64_t> now{1000};
  std::atomic<int> cpu{95};
  pool.SetClock([&] { return now.load(); });
  pool.SetCpuUsageSource([&] { return cpu.load(); });
  pool.SetMinWorkerThreads(1);
  pool.SetMaxRunningThreads(4);
  TGate gate;
  std::vector<std::shared_ptr<TBlockingItem>> items;
  auto add = [&] {
    items.push_back(std::make_shared<TBlockingItem>(gate, nullptr, nullptr));
    pool.AddWorkItem(items.back());
  };
  add();  // below the minimum a worker starts whatever the reading
  EXPECT_EQ(pool.ThreadCount(), 1);
  SpinUntil([&] { return items[0]->Started.load(); });

  now += 1000;
  add();  // busy machine: no growth
  EXPECT_EQ(pool.ThreadCount(), 1);

  cpu = 10;
  now += 1000;
  add();  // idle machine: one more worker, which takes the waiting item
  EXPECT_EQ(pool.ThreadCount(), 2);
  SpinUntil([&] { return items[1]->Started.load(); });

  add();  // no time has passed since the last growth check: held back
  EXPECT_EQ(pool.ThreadCount(), 2);
  now += 199;
  add();
  EXPECT_EQ(pool.ThreadCount(), 2);
  now += 1;
  add();
  EXPECT_EQ(pool.ThreadCount(), 3);

  gate.Open();
  platform::WaitInMainThread([&] { return pool.OutstandingCount() == 0; });
}

TEST_F(WorkerPoolTest, AnItemThatThrowsDoesNotEndItsWorker) {
  TWorkerThreadPool pool;
  pool.SetMinWorkerThreads(1);
  pool.SetMaxRunningThreads(1);
  class TThrowing : public TBasicWorkItem {
   public:
    void PerformWork() override { throw std::runtime_error("broken item"); }
  };
  bool completed = false;
  auto bad = std::make_shared<TThrowing>();
  bad->SetOnItemDone([&](TBasicWorkItem&) { completed = true; });
  TGate gate;
  gate.Open();
  auto good = std::make_shared<TBlockingItem>(gate, nullptr, nullptr);
  pool.AddWorkItem(bad);
  pool.AddWorkItem(good);
  platform::WaitInMainThread([&] { return pool.OutstandingCount() == 0; });
  EXPECT_TRUE(good->Ran.load());
  EXPECT_FALSE(completed);  // a failed item delivers nothing
  EXPECT_EQ(pool.ThreadCount(), 1);
  const auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "TWorkerThread: work item raised an exception: broken item"), log.end());
}

TEST_F(WorkerPoolTest, ShutdownAbandonsAStuckWorkerAndKeepsItsItemAlive) {
  TGate gate;
  std::weak_ptr<TBlockingItem> watch;
  {
    TWorkerThreadPool pool;
    pool.SetHardTerminationTime(50);
    // Ignores its abort: only the gate ends it.
    class TStuck : public TBlockingItem {
     public:
      using TBlockingItem::TBlockingItem;
      void PerformWork() override {
        Started = true;
        FGate.Wait();
        Ran = true;
      }
    };
    auto stuck = std::make_shared<TStuck>(gate, nullptr, nullptr);
    watch = stuck;
    pool.AddWorkItem(stuck);
    SpinUntil([&] { return stuck->Started.load(); });
    stuck.reset();
  }  // the pool's destructor returns although the item still runs
  const auto log = Log();
  const auto hard = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("Terminating Thread TWorkerThread the hard way. Thread ID: ", 0) == 0;
  });
  ASSERT_NE(hard, log.end());
  EXPECT_GT(std::stoull(hard->substr(hard->rfind(' ') + 1)), 0u);
  EXPECT_NE(std::find(log.begin(), log.end(), "TCustomThreadPool.TerminateThreads done. RunningThreadCount: 0   Count: 0"),
            log.end());
  EXPECT_FALSE(watch.expired());  // the abandoned worker still holds its item
  gate.Open();
  SpinUntil([&] { return watch.expired(); });  // and lets it go when the item returns
}

TEST_F(WorkerPoolTest, ShutdownWaitsForWorkersThatEnd) {
  TGate gate;
  std::shared_ptr<TBlockingItem> item;
  {
    TWorkerThreadPool pool;
    item = std::make_shared<TBlockingItem>(gate, nullptr, nullptr);
    pool.AddWorkItem(item);
    SpinUntil([&] { return item->Started.load(); });
  }  // the abort ends the item
  EXPECT_TRUE(item->Aborted());
  const auto log = Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find("the hard way") != std::string::npos; }),
            0);
}

// Every Qt message of the test, with its category, while it lives; the logging rules it changed are
// put back when it goes.
class TCapturedMessages {
 public:
  TCapturedMessages() {
    GLines = &FLines;
    FPrevious = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& text) {
      GLines->push_back(std::string(context.category != nullptr ? context.category : "") + ": " +
                        text.toStdString());
    });
  }
  ~TCapturedMessages() {
    qInstallMessageHandler(FPrevious);
    QLoggingCategory::setFilterRules(QString());
    GLines = nullptr;
  }
  const std::vector<std::string>& Lines() const { return FLines; }

 private:
  static inline std::vector<std::string>* GLines = nullptr;
  std::vector<std::string> FLines;
  QtMessageHandler FPrevious = nullptr;
};

// The line a pool writes when it ends is a developer's: it goes to the logging category
// converter.shell.pool, whose debug messages are off unless the logging rules switch them on, so a
// program that ends says nothing on its terminal.
TEST_F(WorkerPoolTest, TheEndOfAPoolIsLoggedOnlyWhenItsCategoryIsSwitchedOn) {
  shell::SetShellDebugOutput({});  // the default output
  const auto runAPool = [] {
    TGate gate;  // outlives the pool, whose end aborts the item waiting on it
    TWorkerThreadPool pool;
    auto item = std::make_shared<TBlockingItem>(gate, nullptr, nullptr);
    pool.AddWorkItem(item);
    SpinUntil([&] { return item->Started.load(); });
  };
  const std::string endLine =
      "converter.shell.pool: TCustomThreadPool.TerminateThreads done. RunningThreadCount: 0   Count: 0";
  {
    TCapturedMessages messages;
    runAPool();
    EXPECT_TRUE(messages.Lines().empty()) << messages.Lines().front();
  }
  {
    TCapturedMessages messages;
    QLoggingCategory::setFilterRules(QStringLiteral("converter.shell.pool.debug=true"));
    runAPool();
    EXPECT_EQ(messages.Lines(), std::vector<std::string>{endLine});
  }
}

TEST(CpuLoadTest, FirstReadingIsABaselineAndNoTimePassedKeepsTheLastValue) {
  std::vector<std::string> lines = {"cpu  100 0 100 800 0 0 0 0 0 0",  // baseline
                                    "cpu  100 0 100 800 0 0 0 0 0 0",  // no time passed
                                    "cpu  150 0 150 900 0 0 0 0 0 0",  // 100 busy of 200
                                    "cpu  150 0 150 900 0 0 0 0 0 0"};
  size_t next = 0;
  shell::TCpuLoad load([&] { return lines[std::min(next++, lines.size() - 1)]; });
  EXPECT_EQ(load.Usage(), 0);
  EXPECT_EQ(load.Usage(), 50);
  EXPECT_EQ(load.Usage(), 50);
}

TEST(CpuLoadTest, ReadsTheSystemWithinRange) {
  shell::TCpuLoad load;
  const int usage = load.Usage();
  EXPECT_GE(usage, 0);
  EXPECT_LE(usage, 100);
}

}  // namespace
