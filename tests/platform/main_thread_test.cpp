#include "platform/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

TEST(MainThreadTest, WithoutDispatcherCallsRunOnTheCallingThread) {
  std::thread::id ranOn;
  std::thread worker([&] { platform::CallInMainThread([&] { ranOn = std::this_thread::get_id(); }); });
  const auto workerId = worker.get_id();
  worker.join();
  EXPECT_EQ(ranOn, workerId);
}

TEST(MainThreadTest, HeadlessDispatcherRunsWorkerCallsOnTheMainThreadWhileItWaits) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  std::atomic<bool> finished{false};
  std::thread::id ranOn;
  int order = 0;
  std::thread worker([&] {
    platform::CallInMainThread([&] {
      ranOn = std::this_thread::get_id();
      order = 1;
    });
    order = order == 1 ? 2 : -1;  // Call returns only after the main thread ran the work
    finished = true;
  });
  platform::WaitInMainThread([&] { return finished.load(); });
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(order, 2);
}

TEST(MainThreadTest, HeadlessCallOnTheMainThreadRunsAtOnceAndPostWaitsForThePump) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  int calls = 0;
  platform::CallInMainThread([&] { ++calls; });
  EXPECT_EQ(calls, 1);
  platform::PostToMainThread([&] { ++calls; });
  EXPECT_EQ(calls, 1);
  platform::ProcessMessages();
  EXPECT_EQ(calls, 2);
}

TEST(MainThreadTest, ExceptionInMainThreadWorkReachesTheWorker) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  std::atomic<bool> finished{false};
  bool caught = false;
  std::thread worker([&] {
    try {
      platform::CallInMainThread([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
    finished = true;
  });
  platform::WaitInMainThread([&] { return finished.load(); });
  worker.join();
  EXPECT_TRUE(caught);
}

// The signalled wait, on the main thread: it still runs the worker's main-thread calls while it
// waits, and each notified change is looked at (done() sees every step the worker makes).
TEST(MainThreadTest, SignalledWaitOnTheMainThreadRunsWorkerCallsAndSeesEachNotifiedChange) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  platform::TWaitSignal signal;
  std::mutex lock;
  std::condition_variable seen;
  int step = 0;          // the worker's progress, under lock
  int lastLookedAt = -1;  // the step done() last saw, under lock
  std::thread::id ranOn;
  std::thread worker([&] {
    platform::CallInMainThread([&] { ranOn = std::this_thread::get_id(); });
    for (int i = 1; i <= 3; ++i) {
      {
        std::lock_guard guardStep(lock);
        step = i;
      }
      signal.Notify();
      std::unique_lock wait(lock);
      seen.wait(wait, [&] { return lastLookedAt == i; });
    }
  });
  platform::WaitInMainThread(
      [&] {
        std::lock_guard guardStep(lock);
        lastLookedAt = step;
        seen.notify_all();
        return step == 3;
      },
      signal);
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(lastLookedAt, 3);
}

// Off the main thread the signalled wait sleeps on the signal; a change notified before the wait
// began is not lost.
TEST(MainThreadTest, SignalledWaitOffTheMainThreadEndsOnTheNotifiedChange) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  for (bool notifyFirst : {true, false}) {
    SCOPED_TRACE(notifyFirst);
    platform::TWaitSignal signal;
    std::atomic<bool> done{false};
    if (notifyFirst) {
      done = true;
      signal.Notify();
    }
    std::thread waiter([&] { platform::WaitInMainThread([&] { return done.load(); }, signal); });
    if (!notifyFirst) {
      done = true;
      signal.Notify();
    }
    waiter.join();
    EXPECT_TRUE(done.load());
  }
}

}  // namespace
