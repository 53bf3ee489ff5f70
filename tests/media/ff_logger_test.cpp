#include "media/ff_logger.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <fstream>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media_test_support.h"
#include "platform/main_thread.h"

namespace {

using media::TLogLevel;

// What OnLog received.
struct TLogged {
  const media::ILogReporter* Sender;
  int ThreadId;
  TLogLevel Level;
  std::string Line;
};

class TCollector {
 public:
  media::TLogEvent Handler() {
    return [this](const media::ILogReporter* sender, int tid, TLogLevel level, const std::string& line) {
      std::lock_guard lock(FLock);
      FItems.push_back({sender, tid, level, line});
    };
  }
  std::vector<TLogged> Items() {
    std::lock_guard lock(FLock);
    return FItems;
  }
  // The message part of every line: what follows the time, thread and prefix fields.
  std::vector<std::string> Messages() {
    static const std::regex layout(R"(^\d\d:\d\d:\d\d\.\d{3} \[[0-9a-f]{8}\]\*? (?:\[[^\]]*\] )*)");
    std::vector<std::string> out;
    for (const TLogged& item : Items()) out.push_back(std::regex_replace(item.Line, layout, ""));
    return out;
  }

 private:
  std::mutex FLock;
  std::vector<TLogged> FItems;
};

struct TFakeContext {
  const AVClass* Class;
};

const char* FakeItemName(void*) { return "fake"; }

AVClass MakeClass(const char* name) {
  AVClass cls{};
  cls.class_name = name;
  cls.item_name = &FakeItemName;
  cls.version = LIBAVUTIL_VERSION_INT;
  return cls;
}

void AVLog(void* context, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
void AVLog(void* context, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  media::FFLogCallback(context, level, format, args);
  va_end(args);
}

class TReporter : public media::ILogReporter {
 public:
  std::string ReporterInfo() const override { return "[TFoo.Bar] "; }
};

// Synchronous logging into a collector, collapsing on, level name on: what most cases need.
class FFLoggerTest : public ::testing::Test {
 protected:
  // The logger is one object for the process: every case starts from the same settings and
  // leaves no handler behind, whatever ran before it in this process.
  void SetUp() override {
    Logger.Flush();
    Logger.SetActive(true);
    Logger.SetLogToFile(false);
    Logger.SetOnLogError(nullptr);
    Logger.SetSynchronous(true);
    Logger.SetTriggerEventInMainThread(false);
    Logger.SetLogFlags(media::LogFlagSkipRepeated | media::LogFlagPrintLevel);
    Logger.SetLogLevel(TLogLevel::llDebug);
    Logger.SetOnLog(Collector.Handler());
  }
  void TearDown() override {
    Logger.Flush();
    Logger.SetOnLog(nullptr);
    Logger.SetOnLogError(nullptr);
    Logger.SetLogToFile(false);
    Logger.SetActive(true);
  }
  media::TFFLogger& Logger = media::FFLogger();
  TCollector Collector;
  AVClass Class = MakeClass("fake");
  TFakeContext Context{&Class};
  AVClass OtherClass = MakeClass("other");
  TFakeContext OtherContext{&OtherClass};
};

TEST(FFLoggerLevelTest, MapsLevelsBothWays) {
  struct TCase {
    int AVLevel;
    TLogLevel Level;
  };
  const TCase fromAV[] = {{-16, TLogLevel::llQuiet},  {-8, TLogLevel::llQuiet},   {-1, TLogLevel::llPanic},
                          {0, TLogLevel::llPanic},    {8, TLogLevel::llFatal},    {16, TLogLevel::llError},
                          {20, TLogLevel::llError},   {24, TLogLevel::llWarning}, {32, TLogLevel::llInfo},
                          {40, TLogLevel::llVerbose}, {48, TLogLevel::llDebug},   {56, TLogLevel::llTrace},
                          {99, TLogLevel::llTrace}};
  for (const TCase& c : fromAV) EXPECT_EQ(media::AVLevelToLogLevel(c.AVLevel), c.Level) << c.AVLevel;
  const char* names[] = {"Quiet", "Panic", "Fatal", "Error", "Warning", "Info", "Verbose", "Debug", "Trace"};
  for (int i = 0; i <= 8; ++i) {
    EXPECT_EQ(media::LogLevelToAV(TLogLevel(i)), i * 8 - 8);
    EXPECT_EQ(media::AVLevelToLogLevel(i * 8 - 8), TLogLevel(i));
    EXPECT_STREQ(media::LogLevelName(TLogLevel(i)), names[i]);
  }
}

TEST_F(FFLoggerTest, LineLayoutMarksTheMainThreadAndNamesTheReporter) {
  TReporter reporter;
  Logger.Log(&reporter, TLogLevel::llWarning, "hello %d", 42);
  std::thread([&] { Logger.Log(nullptr, TLogLevel::llInfo, std::string("from a worker")); }).join();
  AVLog(&Context, AV_LOG_ERROR, "bad %s\n", "thing");
  const auto items = Collector.Items();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_TRUE(std::regex_match(
      items[0].Line,
      std::regex(R"(\d\d:\d\d:\d\d\.\d{3} \[[0-9a-f]{8}\]\* \[TFoo\.Bar\] \[Warning\] hello 42)")))
      << items[0].Line;
  EXPECT_EQ(items[0].Sender, &reporter);
  EXPECT_EQ(items[0].ThreadId, int(::getpid()));
  EXPECT_TRUE(std::regex_match(items[1].Line,
                               std::regex(R"(\d\d:\d\d:\d\d\.\d{3} \[[0-9a-f]{8}\] \[Info\] from a worker)")))
      << items[1].Line;
  EXPECT_NE(items[1].ThreadId, int(::getpid()));
  EXPECT_TRUE(
      std::regex_match(items[2].Line, std::regex(R"(.*\]\* \[fake @ 0x[0-9a-f]+\] \[Error\] bad thing)")))
      << items[2].Line;
  EXPECT_EQ(items[2].Sender, &Logger);
  EXPECT_EQ(items[2].Level, TLogLevel::llError);
}

TEST_F(FFLoggerTest, WithoutTheLevelFlagTheLevelNameIsLeftOut) {
  Logger.SetLogFlags(media::LogFlagSkipRepeated);
  Logger.Log(nullptr, TLogLevel::llInfo, std::string("plain"));
  ASSERT_EQ(Collector.Items().size(), 1u);
  EXPECT_TRUE(std::regex_match(Collector.Items()[0].Line,
                               std::regex(R"(\d\d:\d\d:\d\d\.\d{3} \[[0-9a-f]{8}\]\* plain)")));
}

TEST_F(FFLoggerTest, FragmentsAreJoinedPerThread) {
  AVLog(&Context, AV_LOG_INFO, "abc");
  std::thread([&] { AVLog(&Context, AV_LOG_INFO, "xyz"); }).join();
  AVLog(&Context, AV_LOG_INFO, "def\n");
  // The worker's fragment never got its line feed: it waits under the worker's thread id until
  // a flush writes it as a line of its own.
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{"abcdef"}));
  Logger.Flush();
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{"abcdef", "xyz"}));
}

TEST_F(FFLoggerTest, TwoThreadsInterleavingStayApart) {
  std::mutex lock;
  std::condition_variable wake;
  int step = 0;
  auto waitFor = [&](int s) {
    std::unique_lock l(lock);
    wake.wait(l, [&] { return step == s; });
  };
  auto advance = [&] {
    std::lock_guard l(lock);
    ++step;
    wake.notify_all();
  };
  // A writer logs the start of its line at step `first` and the rest at step `second`.
  auto writer = [&](int first, const char* head, int second, const char* tail) {
    return std::thread([&, first, head, second, tail] {
      waitFor(first);
      AVLog(&Context, AV_LOG_INFO, "%s", head);
      advance();
      waitFor(second);
      AVLog(&Context, AV_LOG_INFO, "%s", tail);
      advance();
    });
  };
  std::thread a = writer(0, "a1 ", 2, "a2\n");
  std::thread b = writer(1, "b1 ", 3, "b2\n");
  a.join();
  b.join();
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{"a1 a2", "b1 b2"}));
}

TEST_F(FFLoggerTest, TextAfterTheLastLineFeedWaitsAndControlBytesAreMasked) {
  AVLog(&Context, AV_LOG_INFO, "one\ntwo");
  AVLog(&Context, AV_LOG_INFO, " more\n");
  AVLog(&Context, AV_LOG_INFO, "x%cy%cz\tw\n", 1, 31);
  AVLog(&Context, AV_LOG_INFO, "inner\nfeed\n");
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{"one", "two more", "x?y?z\tw", "inner\nfeed"}));
}

struct TRepeatCase {
  int Flags;
  int Copies;
  std::vector<std::string> Expected;
};

class FFLoggerRepeatTest : public FFLoggerTest, public ::testing::WithParamInterface<TRepeatCase> {};

TEST_P(FFLoggerRepeatTest, IdenticalLinesCollapseWhenAsked) {
  Logger.SetLogFlags(GetParam().Flags);
  for (int i = 0; i < GetParam().Copies; ++i) AVLog(&Context, AV_LOG_INFO, "X\n");
  AVLog(&Context, AV_LOG_INFO, "Y\n");
  EXPECT_EQ(Collector.Messages(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Flags, FFLoggerRepeatTest,
                         ::testing::Values(TRepeatCase{3, 5, {"X", "X (repeated 4 times)", "Y"}},
                                           TRepeatCase{2, 5, {"X", "X", "X", "X", "X", "Y"}},
                                           // A line repeated once is simply written twice.
                                           TRepeatCase{3, 2, {"X", "X", "Y"}}, TRepeatCase{3, 1, {"X", "Y"}}),
                         [](const ::testing::TestParamInfo<TRepeatCase>& info) {
                           return "Flags" + std::to_string(info.param.Flags) + "Copies" +
                                  std::to_string(info.param.Copies);
                         });

TEST_F(FFLoggerTest, LinesOfOtherContextsOrThreadsAreNotRepeats) {
  AVLog(&Context, AV_LOG_INFO, "X\n");
  AVLog(&OtherContext, AV_LOG_INFO, "X\n");
  std::thread([&] { AVLog(&OtherContext, AV_LOG_INFO, "X\n"); }).join();
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{"X", "X", "X"}));
}

TEST_F(FFLoggerTest, FlushReleasesTheHeldRepeatAndTrailingFragments) {
  for (int i = 0; i < 3; ++i) AVLog(&Context, AV_LOG_INFO, "X\n");
  AVLog(&Context, AV_LOG_INFO, "tail without feed");
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{"X"}));
  Logger.Flush();
  EXPECT_EQ(Collector.Messages(),
            (std::vector<std::string>{"X", "X (repeated 2 times)", "tail without feed"}));
  // After the flush the same line starts a new run rather than extending the old one.
  AVLog(&Context, AV_LOG_INFO, "X\n");
  EXPECT_EQ(Collector.Messages().back(), "X");
}

TEST_F(FFLoggerTest, LevelsAboveTheThresholdAreDropped) {
  Logger.SetLogLevel(TLogLevel::llWarning);
  Logger.Log(nullptr, TLogLevel::llInfo, std::string("info"));
  Logger.Log(nullptr, TLogLevel::llError, std::string("error"));
  AVLog(&Context, AV_LOG_INFO, "av info\n");
  AVLog(&Context, AV_LOG_WARNING, "av warning\n");
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{"error", "av warning"}));
}

// The engine's view of a run's causes: error lines of a context on this thread, joined from their
// pieces, whatever the level lets through; not warnings, not lines without a context, not other
// threads'. An inner capture hands the thread back to the outer one when it ends.
TEST_F(FFLoggerTest, ErrorCaptureTakesTheErrorLinesOfContextsOnItsThread) {
  Logger.SetLogLevel(TLogLevel::llQuiet);
  std::vector<std::pair<const void*, std::string>> outer;
  std::vector<std::string> inner;
  {
    const media::TAVErrorCapture capture(
        [&](const void* context, const std::string& line) { outer.emplace_back(context, line); });
    AVLog(&Context, AV_LOG_ERROR, "No such filter: ");
    AVLog(&Context, AV_LOG_ERROR, "'%s'\n", "x");
    AVLog(&OtherContext, AV_LOG_WARNING, "only a warning\n");
    AVLog(nullptr, AV_LOG_ERROR, "a summary without a context\n");
    std::thread([&] { AVLog(&Context, AV_LOG_ERROR, "another thread\n"); }).join();
    {
      const media::TAVErrorCapture nested(
          [&](const void*, const std::string& line) { inner.push_back(line); });
      AVLog(&OtherContext, AV_LOG_FATAL, "inner\n");
    }
    AVLog(&OtherContext, AV_LOG_ERROR, "outer again\n");
  }
  AVLog(&Context, AV_LOG_ERROR, "after the capture\n");
  ASSERT_EQ(outer.size(), 2u);
  EXPECT_EQ(outer[0], (std::pair<const void*, std::string>{&Context, "No such filter: 'x'"}));
  EXPECT_EQ(outer[1], (std::pair<const void*, std::string>{&OtherContext, "outer again"}));
  EXPECT_EQ(inner, std::vector<std::string>{"inner"});
  EXPECT_TRUE(Collector.Messages().empty());
}

TEST_F(FFLoggerTest, ALongMessageIsLoggedWhole) {
  const std::string big(3000, 'm');
  Logger.Log(nullptr, TLogLevel::llInfo, big);
  std::string longAV(5000, 'v');
  AVLog(&Context, AV_LOG_INFO, "%s\n", longAV.c_str());
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{big, longAV}));
}

TEST_F(FFLoggerTest, NothingIsQueuedWhileSkipping) {
  Logger.SetOnLog(nullptr);
  EXPECT_TRUE(Logger.Active());
  EXPECT_TRUE(Logger.Skipping());
  AVLog(&Context, AV_LOG_INFO, "abc");  // would wait as a fragment if it were taken
  Logger.SetOnLog(Collector.Handler());
  EXPECT_FALSE(Logger.Skipping());
  AVLog(&Context, AV_LOG_INFO, "def\n");
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{"def"}));
  Logger.SetActive(false);
  EXPECT_TRUE(Logger.Skipping());
}

TEST_F(FFLoggerTest, WritesAndAppendsTheLogFile) {
  const std::string file = media_test::MakeTempDir("logfile") + "/media.log";
  std::ofstream(file) << "earlier line\n";
  Logger.SetLogFile(file);
  Logger.SetLogToFile(true);
  Logger.Log(nullptr, TLogLevel::llInfo, std::string("first ünïcode"));
  AVLog(&Context, AV_LOG_INFO, "second\r\nthird\n");
  Logger.SetLogToFile(false);  // closes the file
  const std::string text = media_test::ReadFile(file);
  EXPECT_TRUE(std::regex_match(
      text, std::regex("earlier line\n[^\n]* \\[Info\\] first ünïcode\n[^\n]* \\[Info\\] second\nthird\n")))
      << text;
}

TEST_F(FFLoggerTest, AFailingLogFileIsReportedAndSwitchedOff) {
  std::vector<std::string> errors;
  Logger.SetOnLogError(
      [&](const std::string& caption, const std::string& text) { errors.push_back(caption + ": " + text); });
  Logger.SetLogFile("/nonexistent-folder/x/media.log");
  Logger.SetLogToFile(true);
  Logger.Log(nullptr, TLogLevel::llInfo, std::string("line"));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Information: Cannot open log file \"/nonexistent-folder/x/media.log\"", 0), 0u)
      << errors[0];
  EXPECT_FALSE(Logger.LogToFile());
  EXPECT_EQ(Collector.Messages(), (std::vector<std::string>{"line"}));  // OnLog still gets it
}

TEST(FFLoggerInstanceTest, OnlyOneLoggerMayBeCreated) {
  media::TFFLogger& automatic = media::FFLogger();
  automatic.SetLogFlags(media::LogFlagPrintLevel);
  automatic.SetLogLevel(TLogLevel::llVerbose);
  auto first = std::make_unique<media::TFFLogger>();  // replaces the automatic one
  EXPECT_EQ(&media::FFLogger(), first.get());
  EXPECT_EQ(first->LogFlags(), media::LogFlagPrintLevel);  // process-wide values carry over
  EXPECT_EQ(first->LogLevel(), TLogLevel::llVerbose);
  try {
    media::TFFLogger second;
    FAIL() << "a second logger was created";
  } catch (const media::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
  }
  first.reset();
  EXPECT_NE(&media::FFLogger(), nullptr);  // a new automatic logger
}

// The asynchronous road: a worker logs, the log thread formats, OnLog runs on the main thread.
TEST(FFLoggerAsyncTest, LinesReachTheMainThreadInOrder) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  media::TFFLogger& logger = media::FFLogger();
  logger.SetSynchronous(false);
  logger.SetTriggerEventInMainThread(true);
  std::vector<std::string> lines;
  std::vector<bool> onMain;
  logger.SetOnLog([&](const media::ILogReporter*, int, TLogLevel, const std::string& line) {
    lines.push_back(line);
    onMain.push_back(platform::IsMainThread());
  });
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) logger.Log(nullptr, TLogLevel::llInfo, "line %d", i);
  });
  worker.join();
  logger.Flush();
  ASSERT_EQ(lines.size(), 20u);
  for (int i = 0; i < 20; ++i) {
    EXPECT_NE(lines[std::size_t(i)].find("line " + std::to_string(i)), std::string::npos);
    EXPECT_TRUE(onMain[std::size_t(i)]);
  }
  logger.SetOnLog(nullptr);
}

// Listeners hold subscriptions of their own: each hears the lines queued after it subscribed and
// none after its token ended, beside OnLog and independent of one another; a barrier follows
// every line queued before it, and none runs once its subscription has ended, even one queued
// before the end.
TEST(FFLoggerAsyncTest, SubscriptionsHearTheirOwnLinesUntilTheirTokenEnds) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  media::TFFLogger& logger = media::FFLogger();
  logger.SetSynchronous(false);
  logger.SetTriggerEventInMainThread(true);
  std::vector<std::string> first;
  std::vector<std::string> second;
  std::vector<std::string> onLog;
  auto into = [](std::vector<std::string>& lines) {
    return [&lines](const media::ILogReporter*, int, TLogLevel, const std::string& line) {
      lines.push_back(line);
    };
  };
  logger.SetOnLog(into(onLog));
  media::TLogSubscription a = logger.Subscribe(into(first));
  logger.Log(nullptr, TLogLevel::llInfo, "one");  // queued; delivered when the main thread pumps
  media::TLogSubscription b = logger.Subscribe(into(second));
  logger.Log(nullptr, TLogLevel::llInfo, "two");
  std::size_t firstAtBarrier = 0;
  bool barrierRan = false;
  a.AfterQueuedLines([&] {
    barrierRan = true;
    firstAtBarrier = first.size();
  });
  logger.Flush();
  EXPECT_TRUE(barrierRan);
  EXPECT_EQ(firstAtBarrier, 2u);
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 1u) << "a line queued before the subscription reached it";
  EXPECT_NE(second[0].find("two"), std::string::npos);
  EXPECT_EQ(onLog.size(), 2u);

  logger.Log(nullptr, TLogLevel::llInfo, "three");  // queued while a still holds its token
  bool queuedBarrierRan = false;  // queued while a holds its token, due after it ended
  a.AfterQueuedLines([&] { queuedBarrierRan = true; });
  a.Reset();
  bool endedBarrierRan = false;  // asked for after a ended
  a.AfterQueuedLines([&] { endedBarrierRan = true; });
  logger.Flush();
  EXPECT_EQ(first.size(), 2u) << "a line reached an ended subscription";
  EXPECT_EQ(second.size(), 2u);
  EXPECT_FALSE(queuedBarrierRan) << "a barrier ran for an ended subscription";
  EXPECT_FALSE(endedBarrierRan);
  b = media::TLogSubscription();
  logger.SetOnLog(nullptr);
  EXPECT_TRUE(logger.Skipping());
}

TEST(FFLoggerAsyncTest, AWorkerFlushDoesNotWaitForAMainThreadThatWaitsForIt) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  media::TFFLogger& logger = media::FFLogger();
  logger.SetSynchronous(false);
  logger.SetTriggerEventInMainThread(true);
  std::vector<std::string> lines;
  logger.SetOnLog(
      [&](const media::ILogReporter*, int, TLogLevel, const std::string& line) { lines.push_back(line); });
  AVClass cls = MakeClass("fake");
  TFakeContext context{&cls};
  std::thread worker([&] {
    AVLog(&context, AV_LOG_INFO, "X\n");
    AVLog(&context, AV_LOG_INFO, "X\n");
    AVLog(&context, AV_LOG_INFO, "end of run");
    logger.Flush();
  });
  worker.join();  // the main thread does not pump while it joins
  logger.Flush();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(std::regex_search(lines[1], std::regex(R"(\] X$)")))
      << lines[1];  // repeated once: written twice
  EXPECT_NE(lines[2].find("end of run"), std::string::npos);
  logger.SetOnLog(nullptr);
}

// Holds the log thread in OnLog on the first line logged, so that what is logged next fills
// the queue; Release lets it go on.
class TBlockedLogThread {
 public:
  TBlockedLogThread() {
    media::TFFLogger& logger = media::FFLogger();
    logger.SetSynchronous(false);
    logger.SetTriggerEventInMainThread(false);
    logger.SetOnLog([this](const media::ILogReporter*, int, TLogLevel, const std::string& line) {
      std::unique_lock l(FLock);
      FLines.push_back(line);
      FEntered = true;
      FWake.notify_all();
      FWake.wait(l, [this] { return FRelease; });
    });
    logger.Log(nullptr, TLogLevel::llInfo, std::string("first"));
    std::unique_lock l(FLock);
    FWake.wait(l, [this] { return FEntered; });  // the log thread holds "first" and waits
  }
  ~TBlockedLogThread() { media::FFLogger().SetOnLog(nullptr); }
  /// Lets the log thread go on and returns every line once the queue is delivered.
  std::vector<std::string> Release() {
    {
      std::lock_guard l(FLock);
      FRelease = true;
      FWake.notify_all();
    }
    media::FFLogger().Flush();
    std::lock_guard l(FLock);
    return FLines;
  }

 private:
  std::mutex FLock;
  std::condition_variable FWake;
  bool FEntered = false;
  bool FRelease = false;
  std::vector<std::string> FLines;
};

TEST(FFLoggerAsyncTest, AFullQueueCountsWhatItDrops) {
  media::TFFLogger& logger = media::FFLogger();
  TBlockedLogThread blocked;
  for (int i = 0; i < 299; ++i) logger.Log(nullptr, TLogLevel::llInfo, "burst %d", i);
  const std::vector<std::string> lines = blocked.Release();
  ASSERT_EQ(lines.size(), 1u + 1u + 127u);
  EXPECT_NE(lines[1].find("[Warning] (172 log lines dropped"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("burst 172"), std::string::npos) << lines[2];
  EXPECT_NE(lines.back().find("burst 298"), std::string::npos);
}

// A barrier is never dropped (a run's end is reported from one): the oldest lines go instead,
// and only they are counted.
TEST(FFLoggerAsyncTest, AFullQueueKeepsItsBarriers) {
  media::TFFLogger& logger = media::FFLogger();
  media::TLogSubscription subscription =
      logger.Subscribe([](const media::ILogReporter*, int, TLogLevel, const std::string&) {});
  std::atomic<bool> barrierRan{false};
  {
    TBlockedLogThread blocked;
    logger.Log(nullptr, TLogLevel::llInfo, std::string("burst 0"));
    subscription.AfterQueuedLines([&] { barrierRan = true; });
    for (int i = 1; i < 299; ++i) logger.Log(nullptr, TLogLevel::llInfo, "burst %d", i);
    const std::vector<std::string> lines = blocked.Release();
    ASSERT_EQ(lines.size(), 1u + 1u + 126u);
    EXPECT_NE(lines[1].find("[Warning] (173 log lines dropped"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("burst 173"), std::string::npos) << lines[2];
  }
  EXPECT_TRUE(barrierRan.load());
}

}  // namespace
