// TEndSignals: a signal that asks the process to end reaches OnSignal through the event loop, one
// made while another lives (refused: the handlers are the process's) leaves it its signals, and a
// signal that came too late for the event loop is raised again at the end, unless one was
// delivered before.

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

// The handler the signals had before a TEndSignals took them: records the last one it got.
volatile std::sig_atomic_t GFormerHandlerGot = 0;
extern "C" void RecordSignal(int signal) { GFormerHandlerGot = signal; }

struct TLateSignalCase {
  const char* Name;
  int Signal;
  bool OneDeliveredBefore;  // the event loop delivered a signal before the late one came
  int RaisedAgain;          // what the former handler gets at the end (0: nothing)
};

class EndSignalsLateTest : public ::testing::TestWithParam<TLateSignalCase> {};

TEST_P(EndSignalsLateTest, ASignalAfterTheLastDeliveryIsRaisedAgainUnlessOneWasDelivered) {
  const TLateSignalCase c = GetParam();
  testing_support::TestApplication<QCoreApplication>("platform_tests");
  struct sigaction former {};
  former.sa_handler = RecordSignal;
  sigemptyset(&former.sa_mask);
  struct sigaction saved {};
  ASSERT_EQ(::sigaction(c.Signal, &former, &saved), 0);
  GFormerHandlerGot = 0;
  std::vector<int> received;
  {
    platform::TEndSignals ending;
    ending.OnSignal = [&received](int signal) { received.push_back(signal); };
    if (c.OneDeliveredBefore) {
      ASSERT_EQ(::raise(c.Signal), 0);
      ASSERT_TRUE(QTest::qWaitFor([&received] { return !received.empty(); }, 30000));
    }
    // No event loop runs from here on: this one stays in the pipe.
    ASSERT_EQ(::raise(c.Signal), 0);
    EXPECT_EQ(GFormerHandlerGot, 0) << "the former handler ran while TEndSignals held the signal";
  }
  EXPECT_EQ(GFormerHandlerGot, c.RaisedAgain);
  EXPECT_EQ(received, c.OneDeliveredBefore ? std::vector<int>{c.Signal} : std::vector<int>{});
  ::sigaction(c.Signal, &saved, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, EndSignalsLateTest,
                         ::testing::Values(TLateSignalCase{"Term", SIGTERM, false, SIGTERM},
                                           TLateSignalCase{"Int", SIGINT, false, SIGINT},
                                           TLateSignalCase{"TermAfterADelivery", SIGTERM, true, 0}),
                         [](const ::testing::TestParamInfo<TLateSignalCase>& info) { return info.param.Name; });

}  // namespace
