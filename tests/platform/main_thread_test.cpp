#include "platform/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
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

}  // namespace
