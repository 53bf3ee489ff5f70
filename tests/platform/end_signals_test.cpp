// TEndSignals: a signal that asks the process to end reaches OnSignal through the event loop, and
// one made while another lives (refused: the handlers are the process's) leaves it its signals.

#include "platform/end_signals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <csignal>
#include <vector>

#include "support/test_application.h"

namespace {

TEST(EndSignalsTest, ASecondOneMadeAndGoneLeavesTheLivingOneItsSignals) {
  testing_support::TestApplication<QCoreApplication>("platform_tests");
  platform::TEndSignals living;
  std::vector<int> received;
  living.OnSignal = [&received](int signal) { received.push_back(signal); };
  { platform::TEndSignals second; }
  ASSERT_EQ(::raise(SIGHUP), 0);
  // The byte is in the pipe when raise returns; 30 s only for a loaded machine.
  EXPECT_TRUE(QTest::qWaitFor([&received] { return !received.empty(); }, 30000));
  EXPECT_EQ(received, std::vector<int>{SIGHUP});
}

}  // namespace
