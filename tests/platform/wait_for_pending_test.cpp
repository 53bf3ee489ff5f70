// Both dispatchers' WaitForPending: work posted from another thread ends the wait and runs on the
// main thread; with nothing posted the wait ends by itself.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <thread>

#include "platform/main_thread.h"
#include "platform/qt_main_thread.h"
#include "support/test_application.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TDispatcherCase {
  const char* Name;
  std::function<std::unique_ptr<platform::IMainThreadDispatcher>()> Make;
};

const TDispatcherCase kDispatchers[] = {
    {"Headless", [] { return std::make_unique<platform::THeadlessDispatcher>(); }},
    {"Qt",
     [] {
       testing_support::TestApplication<QCoreApplication>("platform_tests");
       return std::make_unique<platform::TQtMainThreadDispatcher>();
     }},
};

void PrintTo(const TDispatcherCase& c, std::ostream* os) { *os << c.Name; }

class WaitForPendingTest : public ::testing::TestWithParam<TDispatcherCase> {};

TEST_P(WaitForPendingTest, APostFromAnotherThreadEndsTheWaitLongBeforeItsTimeOut) {
  auto dispatcher = GetParam().Make();
  platform::TDispatcherGuard guard(dispatcher.get());
  constexpr auto kTimeOut = std::chrono::seconds(20);
  std::atomic<bool> ran{false};
  std::thread::id ranOn;
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    platform::PostToMainThread([&] {
      ranOn = std::this_thread::get_id();
      ran = true;
    });
  });
  // A dispatcher may also return for work of its own (the Qt event queue); the wait goes on with
  // what is left of the time-out until the posted call ran.
  const Clock::time_point start = Clock::now();
  while (!ran.load() && Clock::now() - start < kTimeOut) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(kTimeOut - (Clock::now() - start));
    dispatcher->WaitForPending(int(left.count()) + 1);
  }
  const Clock::duration waited = Clock::now() - start;
  poster.join();
  EXPECT_TRUE(ran.load());
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  // A wait that slept through its whole time-out and ran the call only then fails here.
  EXPECT_LT(waited, kTimeOut / 2);
}

TEST_P(WaitForPendingTest, WithNothingPostedTheWaitEndsByItself) {
  auto dispatcher = GetParam().Make();
  platform::TDispatcherGuard guard(dispatcher.get());
  dispatcher->WaitForPending(20);
  bool ran = false;
  dispatcher->Post([&] { ran = true; });
  dispatcher->WaitForPending(20);
  EXPECT_TRUE(ran);
}

INSTANTIATE_TEST_SUITE_P(Dispatchers, WaitForPendingTest, ::testing::ValuesIn(kDispatchers),
                         [](const ::testing::TestParamInfo<TDispatcherCase>& info) {
                           return info.param.Name;
                         });

}  // namespace
