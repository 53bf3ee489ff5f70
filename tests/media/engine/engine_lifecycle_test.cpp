// The engine's life: starting on a thread or synchronously, stopping, terminating a task that never
// ran, destroying during a run, progress events, and failures that must never count as finished.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include "engine_test_support.h"
#include "platform/main_thread.h"

namespace {

using media::TCustomFFmpeg;
using media::TFFProgress;

// The source clip looped for ever: a run that only ends when it is stopped.
constexpr const char* kLoopForEver = "-stream_loop -1";
constexpr const char* kAviOptions = "-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn ";

// Waits (polling, at most 60 s) until done() holds.
bool WaitFor(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

struct TEvents {
  std::atomic<int> Terminations{0};
  std::atomic<int> Progresses{0};
  std::atomic<int> Destroys{0};
  std::thread::id TerminateThread;
  std::mutex Lock;
  std::vector<TFFProgress> Reports;
  bool ProgressAfterTerminate = false;

  void Attach(TCustomFFmpeg& engine) {
    engine.OnTerminate = [this](TCustomFFmpeg*) {
      TerminateThread = std::this_thread::get_id();
      Terminations++;
    };
    engine.OnDestroy = [this](TCustomFFmpeg*) { Destroys++; };
    engine.OnProgress = [this](TCustomFFmpeg*, const TFFProgress& p) {
      std::lock_guard lock(Lock);
      if (Terminations.load() > 0) ProgressAfterTerminate = true;
      Reports.push_back(p);
      Progresses++;
    };
  }
};

class EngineLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_test::LoadLibraries();
    FSource = engine_test::SourceClip();
  }
  // An engine with the source as input and an AVI output.
  std::unique_ptr<TCustomFFmpeg> MakeEngine(const std::string& outputName,
                                            const std::string& inputOptions = {},
                                            const std::string& options = kAviOptions) {
    auto engine = std::make_unique<TCustomFFmpeg>();
    FEvents.Attach(*engine);
    FOutput = engine_test::TempPath(outputName);
    EXPECT_GE(engine->OpenInput(FSource, inputOptions), 0) << engine->LastErrMsg();
    EXPECT_GE(engine->OpenOutput(FOutput, options), 0) << engine->LastErrMsg();
    return engine;
  }
  std::string FSource;
  std::string FOutput;
  TEvents FEvents;
};

TEST_F(EngineLifecycleTest, NoOutputFailsAtOnceOnTheCallersThread) {
  TCustomFFmpeg engine;
  FEvents.Attach(engine);
  ASSERT_GE(engine.OpenInput(FSource), 0) << engine.LastErrMsg();
  engine.StartConvert(true);
  // Fired before StartConvert returned, on this thread: no conversion thread was started.
  EXPECT_EQ(FEvents.Terminations.load(), 1);
  EXPECT_EQ(FEvents.TerminateThread, std::this_thread::get_id());
  EXPECT_TRUE(engine.FatalException());
  EXPECT_EQ(engine.FatalMessage(), "At least one output file must be specified");
  EXPECT_FALSE(engine.Finished());
  EXPECT_TRUE(engine.Terminated());
  engine.StartConvert(true);
  EXPECT_EQ(FEvents.Terminations.load(), 1);
}

TEST_F(EngineLifecycleTest, ThreadedRunFinishesAndTerminatesOnceOnItsThread) {
  auto engine = MakeEngine("threaded.avi");
  engine->StartConvert(true, 5);  // a lower priority for the conversion thread
  EXPECT_TRUE(engine->Converting() || engine->Terminated());
  ASSERT_TRUE(WaitFor([&] { return FEvents.Terminations.load() > 0; }));
  engine->Stop(true);  // the run is over: returns at once
  EXPECT_TRUE(engine->Finished()) << engine->FatalMessage();
  EXPECT_FALSE(engine->FatalException());
  EXPECT_NE(FEvents.TerminateThread, std::this_thread::get_id());
  EXPECT_EQ(FEvents.TerminateThread, engine->ThreadID());
  // A second start does nothing once the engine has terminated.
  engine->StartConvert(true);
  engine->StartConvert(false);
  EXPECT_EQ(FEvents.Terminations.load(), 1);
  EXPECT_FALSE(engine->Converting());
  const engine_test::TProbe p = engine_test::Probe(FOutput);
  ASSERT_TRUE(p.Ok) << p.Error;
  EXPECT_NEAR(p.Duration, engine_test::kSourceDuration, 0.1);
}

TEST_F(EngineLifecycleTest, StopDuringARunEndsItUnfinishedWithAValidFileAndTheSourceUntouched) {
  struct stat before {};
  ASSERT_EQ(::stat(FSource.c_str(), &before), 0);
  auto engine = MakeEngine("stopped.avi", kLoopForEver);
  engine->SetReportInterval(1000);
  engine->StartConvert(true);
  ASSERT_TRUE(WaitFor([&] { return FEvents.Progresses.load() >= 3; }));
  engine->Stop(true);
  // Stop(true) returns only after the run body ended.
  EXPECT_EQ(FEvents.Terminations.load(), 1);
  EXPECT_FALSE(engine->Converting());
  EXPECT_FALSE(engine->Finished());
  EXPECT_FALSE(engine->FatalException()) << engine->FatalMessage();

  // Flushed and closed: the part converted so far is a valid file.
  const engine_test::TProbe p = engine_test::Probe(FOutput);
  ASSERT_TRUE(p.Ok) << p.Error;
  EXPECT_GT(p.Duration, 0.0);
  ASSERT_NE(p.First("video"), nullptr);

  struct stat after {};
  ASSERT_EQ(::stat(FSource.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(EngineLifecycleTest, StopFromTheConversionThreadDoesNotWaitForItself) {
  auto engine = MakeEngine("selfstop.avi", kLoopForEver);
  engine->SetReportInterval(1000);
  std::atomic<bool> stopped{false};
  engine->OnProgress = [&](TCustomFFmpeg* sender, const TFFProgress&) {
    if (!stopped.exchange(true)) sender->Stop(true);
  };
  engine->StartConvert(true);
  ASSERT_TRUE(WaitFor([&] { return FEvents.Terminations.load() > 0; }));
  EXPECT_TRUE(stopped.load());
  EXPECT_FALSE(engine->Finished());
  EXPECT_FALSE(engine->FatalException()) << engine->FatalMessage();
}

TEST_F(EngineLifecycleTest, StopOnTheMainThreadKeepsMainThreadCallsFlowing) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  auto engine = MakeEngine("pumped.avi", kLoopForEver);
  engine->SetReportInterval(1000);
  std::atomic<int> deliveredOnMain{0};
  // Like the encoder component: every report goes to the main thread and the conversion waits.
  engine->OnProgress = [&](TCustomFFmpeg*, const TFFProgress&) {
    platform::CallInMainThread([&] {
      if (platform::IsMainThread()) deliveredOnMain++;
    });
  };
  engine->StartConvert(true);
  platform::WaitInMainThread([&] { return deliveredOnMain.load() >= 2; });
  engine->Stop(true);  // would deadlock if it did not pump
  EXPECT_EQ(FEvents.Terminations.load(), 1);
  EXPECT_FALSE(engine->Finished());
}

TEST_F(EngineLifecycleTest, StopWhilePausedEndsTheRun) {
  auto engine = MakeEngine("paused.avi", kLoopForEver);
  engine->SetReportInterval(0);  // a report after every step
  // The gate closes on the conversion thread itself, inside its first report: the next step
  // waits at it, so the run is paused before this thread goes on.
  std::atomic<int> reports{0};
  std::atomic<int> pausedAt{-1};
  engine->OnProgress = [&](TCustomFFmpeg* sender, const TFFProgress&) {
    const int seen = ++reports;
    if (pausedAt.load() < 0) {
      sender->Pause();
      pausedAt = seen;
    }
  };
  engine->StartConvert(true);
  ASSERT_TRUE(WaitFor([&] { return pausedAt.load() >= 1; }));
  engine->Stop(true);
  EXPECT_EQ(FEvents.Terminations.load(), 1);
  EXPECT_FALSE(engine->Finished());
  // No step ran behind the closed gate: Stop opens it for the one step that was waiting, and the
  // run's last report follows. A gate that did not close lets the looping run report every step
  // until Stop comes.
  EXPECT_LE(reports.load(), pausedAt.load() + 2);
}

TEST_F(EngineLifecycleTest, StopBeforeAnyStartReturnsAtOnce) {
  auto engine = MakeEngine("never.avi");
  engine->Stop(true);
  EXPECT_EQ(FEvents.Terminations.load(), 0);
  EXPECT_FALSE(engine->Terminated());
}

TEST_F(EngineLifecycleTest, TerminateOfATaskThatNeverRanFiresOnceOnAnotherThread) {
  auto engine = MakeEngine("terminated.avi");
  engine->Terminate(true);
  EXPECT_EQ(FEvents.Terminations.load(), 1);
  EXPECT_NE(FEvents.TerminateThread, std::this_thread::get_id());
  EXPECT_TRUE(engine->Terminated());
  engine->Terminate(true);
  engine->StartConvert(false);
  EXPECT_EQ(FEvents.Terminations.load(), 1);
  EXPECT_FALSE(engine->Finished());
}

TEST_F(EngineLifecycleTest, DestroyDuringARunStopsAndWaitsFirst) {
  auto engine = MakeEngine("destroyed.avi", kLoopForEver);
  engine->SetReportInterval(1000);
  engine->StartConvert(true);
  ASSERT_TRUE(WaitFor([&] { return FEvents.Progresses.load() >= 2; }));
  engine.reset();
  EXPECT_EQ(FEvents.Destroys.load(), 1);
  EXPECT_EQ(FEvents.Terminations.load(), 1);
}

TEST_F(EngineLifecycleTest, DestroyFromOnTerminateOnTheConversionThread) {
  auto owned = MakeEngine("selfdestroy.avi");
  TCustomFFmpeg* engine = owned.release();
  std::atomic<bool> destroyed{false};
  engine->OnTerminate = [&](TCustomFFmpeg* sender) {
    delete sender;  // the run body touches nothing of the engine after this
    destroyed = true;
  };
  engine->StartConvert(true);
  ASSERT_TRUE(WaitFor([&] { return destroyed.load(); }));
  EXPECT_EQ(FEvents.Destroys.load(), 1);
}

TEST_F(EngineLifecycleTest, ProgressReportsRiseAndTheLastComesBeforeTerminate) {
  auto engine = MakeEngine("progress.avi");
  engine->SetReportInterval(1000);
  engine->StartConvert(false);
  ASSERT_TRUE(engine->Finished()) << engine->FatalMessage();
  std::lock_guard lock(FEvents.Lock);
  ASSERT_FALSE(FEvents.Reports.empty());
  EXPECT_FALSE(FEvents.ProgressAfterTerminate);
  for (std::size_t i = 1; i < FEvents.Reports.size(); i++) {
    EXPECT_GE(FEvents.Reports[i].CurrentDuration, FEvents.Reports[i - 1].CurrentDuration);
    EXPECT_GE(FEvents.Reports[i].CurrentSize, FEvents.Reports[i - 1].CurrentSize);
  }
  const TFFProgress& last = FEvents.Reports.back();
  EXPECT_EQ(last.FileIndex, -1);
  EXPECT_NEAR(double(last.CurrentDuration) / 1e6, engine_test::kSourceDuration, 0.1);
  EXPECT_NEAR(double(last.TotalDuration) / 1e6, engine_test::kSourceDuration, 0.01);
  EXPECT_GE(last.FrameNumber, 49);
  EXPECT_GE(last.FPS, 0);
  EXPECT_GT(last.CurrentSize, 0);
  EXPECT_GT(last.BitRate, 0.0f);
}

TEST_F(EngineLifecycleTest, ProgressFileEndsWithProgressEnd) {
  const std::string progress = engine_test::TempPath("progress.txt");
  auto engine = MakeEngine("progressfile.avi", {}, std::string(kAviOptions) + "-progress " + progress);
  engine->SetReportInterval(1000);
  engine->StartConvert(false);
  ASSERT_TRUE(engine->Finished()) << engine->FatalMessage();
  std::ifstream in(progress);
  std::string line, last;
  int blocks = 0;
  while (std::getline(in, line)) {
    if (line.rfind("progress=", 0) == 0) {
      blocks++;
      last = line;
    }
  }
  EXPECT_GE(blocks, 1);
  EXPECT_EQ(last, "progress=end");
}

TEST_F(EngineLifecycleTest, ATinyOutputGivesAFiniteBitRate) {
  // Half a millisecond of audio: the end time stamp is below one millisecond.
  auto engine = MakeEngine("tiny.wav", {}, "-t 0.0005 -vn");
  engine->StartConvert(false);
  ASSERT_TRUE(engine->Finished()) << engine->FatalMessage();
  std::lock_guard lock(FEvents.Lock);
  ASSERT_FALSE(FEvents.Reports.empty());
  const TFFProgress& last = FEvents.Reports.back();
  EXPECT_GT(last.CurrentDuration, 0);
  EXPECT_LT(last.CurrentDuration, 1000);
  EXPECT_TRUE(std::isfinite(last.BitRate));
  EXPECT_GT(last.BitRate, 0.0f);
}

TEST_F(EngineLifecycleTest, ARunShorterThanTheIntervalReportsOnceAtTheEnd) {
  auto engine = MakeEngine("once.wav", {}, "-vn");
  engine->SetReportInterval(int64_t(3600) * 1000000);
  engine->StartConvert(false);
  ASSERT_TRUE(engine->Finished()) << engine->FatalMessage();
  std::lock_guard lock(FEvents.Lock);
  ASSERT_EQ(FEvents.Reports.size(), 1u);
  // Audio only: no frame number and no rate.
  EXPECT_EQ(FEvents.Reports[0].FrameNumber, -1);
  EXPECT_EQ(FEvents.Reports[0].FPS, -1);
}

// --- Failures that must never end as finished ---------------------------------------------------

TEST_F(EngineLifecycleTest, AFullDiskIsAFailedRunWithItsReason) {
  // A child process whose files may not grow beyond 16 KiB: every write past that fails (EFBIG),
  // as on a full disk.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(fds[0]);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16 * 1024, 16 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const engine_test::TConvertResult r =
        engine_test::Convert(FSource, engine_test::TempPath("full.wav"), "-c:a pcm_s16le -vn");
    const std::string report =
        std::string(r.Finished ? "1" : "0") + (r.FatalException ? "1" : "0") + r.Message;
    [[maybe_unused]] const ssize_t n = ::write(fds[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string report;
  char buf[512];
  ssize_t n = 0;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) report.append(buf, std::size_t(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_GE(report.size(), 2u);
  EXPECT_EQ(report[0], '0') << "finished although the file could not be written: " << report;
  EXPECT_EQ(report[1], '1');
  EXPECT_NE(report.find("File too large"), std::string::npos) << report;
}

TEST_F(EngineLifecycleTest, NothingWrittenIsAFailedRun) {
  // The output starts after the end of the input.
  auto engine = MakeEngine("nothing.avi", {}, std::string(kAviOptions) + "-ss 100");
  engine->StartConvert(false);
  EXPECT_FALSE(engine->Finished());
  EXPECT_TRUE(engine->FatalException());
  EXPECT_NE(engine->FatalMessage().find("nothing was encoded"), std::string::npos) << engine->FatalMessage();
}

TEST_F(EngineLifecycleTest, CleanUpNeverDeletesAFifoOutput) {
  const std::string fifo = engine_test::TempPath("out.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A reader drains the FIFO, so the run can write into it.
  std::thread reader([&] {
    std::ifstream in(fifo, std::ios::binary);
    char buf[4096];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    }
  });
  auto writer = std::make_unique<TCustomFFmpeg>();
  EXPECT_GE(writer->OpenInput(FSource), 0) << writer->LastErrMsg();
  EXPECT_GE(writer->OpenOutput(fifo, "-f wav -vn"), 0) << writer->LastErrMsg();
  writer->StartConvert(false);
  EXPECT_TRUE(writer->Finished()) << writer->FatalMessage();
  writer.reset();
  reader.join();
  struct stat info {};
  ASSERT_EQ(::lstat(fifo.c_str(), &info), 0) << "the FIFO was deleted";
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(EngineLifecycleTest, AFailedOutputOpenLeavesNoRecordAndNoFile) {
  TCustomFFmpeg engine;
  ASSERT_GE(engine.OpenInput(FSource), 0);
  const std::string path = engine_test::TempPath("refused.avi");
  EXPECT_LT(engine.OpenOutput(path, "-vn -an"), 0);
  EXPECT_EQ(engine.OutputFileCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  const std::string missingDir = engine_test::TempPath("no/such/folder/out.avi");
  EXPECT_LT(engine.OpenOutput(missingDir, kAviOptions), 0);
  EXPECT_NE(engine.LastErrMsg().find("No such file or directory"), std::string::npos) << engine.LastErrMsg();
  EXPECT_EQ(engine.OutputFileCount(), 0);
  // The engine is still usable.
  ASSERT_GE(engine.OpenOutput(engine_test::TempPath("after.avi"), kAviOptions), 0) << engine.LastErrMsg();
  engine.StartConvert(false);
  EXPECT_TRUE(engine.Finished()) << engine.FatalMessage();
}

// An output that fails to open after an input was opened and probed (a lavfi source, whose
// probing opens decoders) gives back everything both took: the leak checker of the sanitizer build
// sees anything that stays behind when the engine goes.
TEST_F(EngineLifecycleTest, AFailedOutputOpenAfterAnOpenedInputLeavesNothingBehind) {
  struct TCase {
    const char* Input;
    const char* InputOptions;
    const char* Options;
  };
  const TCase cases[] = {
      {"testsrc=size=160x120:rate=25", "-f lavfi", "-c:v no_such_encoder"},
      {"testsrc=size=160x120:rate=25", "-f lavfi", "-c:v mp2"},
      {"sine=frequency=440:sample_rate=44100", "-f lavfi", "-c:a no_such_encoder"},
      {"sine=frequency=440:sample_rate=44100", "-f lavfi", "-vn -an"},
      {"", "", "-c:v no_such_encoder"},  // the source clip, two streams
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.InputOptions) + " " + c.Input + " / " + c.Options);
    auto engine = std::make_unique<TCustomFFmpeg>();
    const std::string input = *c.Input != 0 ? std::string(c.Input) : FSource;
    ASSERT_GE(engine->OpenInput(input, c.InputOptions), 0) << engine->LastErrMsg();
    const std::string path = engine_test::TempPath("refused-after-input.mkv");
    // Refused by one channel: a negative result whose message is the one that was logged.
    std::string log;
    int result = 0;
    {
      engine_test::TLogCapture capture;
      EXPECT_NO_THROW(result = engine->OpenOutput(path, c.Options));
      log = capture.Text();
    }
    EXPECT_LT(result, 0);
    EXPECT_FALSE(engine->LastErrMsg().empty());
    EXPECT_NE(log.find(engine->LastErrMsg()), std::string::npos) << engine->LastErrMsg() << "\n" << log;
    EXPECT_EQ(engine->OutputFileCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    engine.reset();
  }
}

// A filter graph that cannot be built or configured fails the open or the run with the filter's
// reason and gives back everything it took: the graph, its parsed inputs and outputs and the pads
// made for them. The leak checker of the sanitizer build sees anything left behind when the
// engine goes. The cases fail at every step: parsing (an unknown filter or option), binding the
// graph's inputs while the output is opened (a stream that does not exist), and configuring the
// graph once the frames' formats are known (a crop larger than the picture fails when the filter
// sets up its link).
TEST_F(EngineLifecycleTest, AFilterGraphThatFailsToConfigureLeavesNothingBehind) {
  struct TCase {
    const char* Options;
    bool OpenFails;  // else the run fails
    const char* Reason;
  };
  const TCase cases[] = {
      {"-vf scale=no_such_option=1", false, "no_such_option"},
      {"-vf no_such_filter", false, "Error reinitializing filters"},
      {"-vf crop=w=1000:h=1000", false, "Error reinitializing filters"},
      {"-af aformat=sample_fmts=no_such_format", false, "Error reinitializing filters"},
      {"-filter_complex [0:v]crop=w=1000:h=1000[out] -map [out] -map 0:a", false, "Error reinitializing filters"},
      {"-filter_complex [0:v]crop=w=1000:h=1000,split[a][b] -map [a] -map [b]", false,
       "Error reinitializing filters"},
      {"-filter_complex [0:v]scale=no_such_option=1[out] -map [out]", true, "Error parsing filtergraph"},
      {"-filter_complex [0:v:5]null[out] -map [out]", true, "matches no streams"},
      {"-filter_complex [0:v]null[a];[0:a][7:v]amix[b] -map [a] -map [b]", true, "Invalid file index 7"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Options);
    auto engine = std::make_unique<TCustomFFmpeg>();
    ASSERT_GE(engine->OpenInput(FSource), 0) << engine->LastErrMsg();
    const std::string options = std::string(kAviOptions) + c.Options;
    engine_test::TLogCapture capture;
    const int opened = engine->OpenOutput(engine_test::TempPath("graph.avi"), options);
    if (c.OpenFails) {
      EXPECT_LT(opened, 0);
      EXPECT_NE(engine->LastErrMsg().find(c.Reason), std::string::npos) << engine->LastErrMsg();
    } else {
      ASSERT_GE(opened, 0) << engine->LastErrMsg();
      engine->StartConvert(false);
      EXPECT_FALSE(engine->Finished());
      EXPECT_TRUE(capture.Contains(c.Reason)) << capture.Text();
    }
    engine.reset();
  }
}

// How many lines of the captured log (a logged text may span several) read exactly text, once the
// logger's "hh:nn:ss.zzz [tid]* [prefix] [Level] " is taken off (FFmpeg's own lines have no prefix).
int LinesWithMessage(const std::vector<std::string>& lines, const std::string& text) {
  static const std::regex prefix(R"(^\d\d:\d\d:\d\d\.\d{3} \[[0-9a-fA-F]+\]\*? (\[[^\]]*\] )?\[[A-Za-z]+\] )");
  int count = 0;
  for (const std::string& logged : lines) {
    std::size_t begin = 0;
    while (begin <= logged.size()) {
      std::size_t end = logged.find('\n', begin);
      if (end == std::string::npos) end = logged.size();
      const std::string line = std::regex_replace(logged.substr(begin, end - begin), prefix, "");
      if (line == text) count++;
      begin = end + 1;
    }
  }
  return count;
}

// A refused opening gives one account of its failure: a negative result, and a LastErrMsg each of
// whose lines was logged once, no more and no less, whichever road the refusal took: a code
// returned by an option handler (the option layer's text, then the code's text), a value the
// option parser could not convert (an exception the engine did not raise), a failure the engine
// raised (unknown codecs, a stream specifier that matches nothing), a step that refused with a
// code (a device that cannot be made, a file that cannot be written), or an exception turned into
// a refusal that names its step (the complex filter graphs). Each refusal is asked for twice on
// the same engine: the second must be logged as the first was, though its text is the same.
TEST_F(EngineLifecycleTest, ARefusedOpenLogsItsReasonOnceAndKeepsItInLastErrMsg) {
  struct TCase {
    bool Output;  // else the input is refused
    const char* Options;
    const char* Reason;  // part of LastErrMsg
  };
  const TCase cases[] = {
      {false, "-readrate -1", "readrate"},
      {false, "-ar abc", "abc"},
      {false, "-t xyz", "Invalid duration"},
      {false, "-c:v no_such_decoder", "no_such_decoder"},
      {false, "-init_hw_device no_such_type", "Invalid device specification"},
      {true, "-c:v no_such_encoder", "no_such_encoder"},
      {true, "-map 0:v:7", "matches no streams"},
      {true, "-filter_complex [0:v:5]null[out] -map [out]", "Error initializing complex filters"},
      {true, "-vn -an", "does not contain any stream"},
      {true, "-f no_such_muxer", "Invalid argument"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Options);
    TCustomFFmpeg engine;
    if (c.Output) {
      ASSERT_GE(engine.OpenInput(FSource), 0) << engine.LastErrMsg();
    }
    for (int attempt = 1; attempt <= 2; attempt++) {
      SCOPED_TRACE(attempt);
      std::vector<std::string> lines;
      int result = 0;
      {
        engine_test::TLogCapture capture;
        EXPECT_NO_THROW(result = c.Output ? engine.OpenOutput(engine_test::TempPath("refused.avi"),
                                                              std::string(kAviOptions) + c.Options)
                                          : engine.OpenInput(FSource, c.Options));
        lines = capture.Lines();
      }
      std::string log;
      for (const std::string& line : lines) log += line + "\n";
      EXPECT_LT(result, 0);
      const std::string message = engine.LastErrMsg();
      EXPECT_NE(message.find(c.Reason), std::string::npos) << message;
      std::size_t begin = 0;
      while (begin <= message.size()) {
        std::size_t end = message.find('\n', begin);
        if (end == std::string::npos) end = message.size();
        const std::string part = message.substr(begin, end - begin);
        EXPECT_EQ(LinesWithMessage(lines, part), 1) << "\"" << part << "\" in\n" << log;
        begin = end + 1;
      }
      EXPECT_EQ(engine.InputFileCount(), c.Output ? 1 : 0);
      EXPECT_EQ(engine.OutputFileCount(), 0);
    }
  }
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An output that is one of the inputs (by its name, through a link, or by another name) is refused
// whatever the switches say, and the input keeps every byte; "-n" refuses an existing file, "-y"
// or neither switch overwrites it.
TEST_F(EngineLifecycleTest, AnOutputThatIsAnInputOrThatMustNotBeOverwrittenIsRefused) {
  enum class TTarget { Input, FileUrlOfInput, SymlinkToInput, HardLinkToInput, OtherExisting, New };
  struct TCase {
    const char* Name;
    TTarget Target;
    const char* Switch;
    const char* Refusal;  // part of LastErrMsg, or null when the conversion goes ahead
  };
  const TCase cases[] = {
      {"the input itself", TTarget::Input, "", "is input #0"},
      {"the input itself with -y", TTarget::Input, "-y ", "is input #0"},
      {"the input as a file: address", TTarget::FileUrlOfInput, "-y ", "is input #0"},
      {"a symbolic link to the input", TTarget::SymlinkToInput, "-y ", "is input #0"},
      {"a hard link to the input", TTarget::HardLinkToInput, "", "is input #0"},
      {"another file with -n", TTarget::OtherExisting, "-n ", "already exists"},
      {"another file with -y", TTarget::OtherExisting, "-y ", nullptr},
      {"another file without a switch", TTarget::OtherExisting, "", nullptr},
      {"a new file with -n", TTarget::New, "-n ", nullptr},
  };
  const std::string sourceBytes = FileBytes(FSource);
  ASSERT_FALSE(sourceBytes.empty());
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string input = engine_test::TempPath("in-place-" + std::to_string(n) + ".mkv");
    const std::string other = engine_test::TempPath("in-place-other-" + std::to_string(n++) + ".avi");
    std::filesystem::copy_file(FSource, input, std::filesystem::copy_options::overwrite_existing);
    std::string output = other;
    switch (c.Target) {
      case TTarget::Input:
        output = input;
        break;
      case TTarget::FileUrlOfInput:
        output = "file:" + input;
        break;
      case TTarget::SymlinkToInput:
        std::filesystem::create_symlink(input, other);
        break;
      case TTarget::HardLinkToInput:
        std::filesystem::create_hard_link(input, other);
        break;
      case TTarget::OtherExisting:
        std::ofstream(other) << "not ours to lose";
        break;
      case TTarget::New:
        break;
    }
    const std::string otherBefore = FileBytes(other);
    TCustomFFmpeg engine;
    ASSERT_GE(engine.OpenInput(input), 0) << engine.LastErrMsg();
    const int opened = engine.OpenOutput(output, std::string(c.Switch) + kAviOptions);
    if (c.Refusal != nullptr) {
      EXPECT_LT(opened, 0);
      EXPECT_NE(engine.LastErrMsg().find(c.Refusal), std::string::npos) << engine.LastErrMsg();
      EXPECT_EQ(engine.OutputFileCount(), 0);
      EXPECT_EQ(FileBytes(other), otherBefore);
    } else {
      ASSERT_GE(opened, 0) << engine.LastErrMsg();
      engine.StartConvert(false);
      EXPECT_TRUE(engine.Finished()) << engine.FatalMessage();
      const engine_test::TProbe probe = engine_test::Probe(other);
      EXPECT_TRUE(probe.Ok) << probe.Error;
      EXPECT_EQ(probe.FormatName, "avi");
    }
    EXPECT_EQ(FileBytes(input), sourceBytes) << "the input was written to";
  }
}

TEST_F(EngineLifecycleTest, AMissingInputFailsWithTheLibraryText) {
  TCustomFFmpeg engine;
  EXPECT_LT(engine.OpenInput(engine_test::TempPath("missing.avi")), 0);
  EXPECT_NE(engine.LastErrMsg().find("No such file or directory"), std::string::npos) << engine.LastErrMsg();
  EXPECT_EQ(engine.InputFileCount(), 0);
}

}  // namespace

namespace {

// What the conversion thread runs under, seen from the thread itself (its OnTerminate handler).
struct TSchedSeen {
  int Policy = -1;
  int Nice = 0;
};

TSchedSeen RunAtPriority(const std::string& outputName, media::TThreadPriority priority) {
  TSchedSeen seen;
  TCustomFFmpeg engine;
  std::atomic<bool> ended{false};
  engine.OnTerminate = [&](TCustomFFmpeg*) {
    seen.Policy = ::sched_getscheduler(0);
    seen.Nice = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
    ended = true;
  };
  EXPECT_GE(engine.OpenInput(engine_test::SourceClip()), 0) << engine.LastErrMsg();
  EXPECT_GE(engine.OpenOutput(engine_test::TempPath(outputName), "-an -c:v mpeg4"), 0) << engine.LastErrMsg();
  engine.StartConvert(true, priority);
  EXPECT_TRUE(WaitFor([&] { return ended.load(); }));
  engine.Stop(true);
  EXPECT_TRUE(engine.Finished()) << engine.FatalMessage();
  return seen;
}

TEST(EngineThreadPriority, EachLevelMapsToASchedulingPolicyOrNiceValue) {
  engine_test::LoadLibraries();
  const int base = ::getpriority(PRIO_PROCESS, 0);
  struct TCase {
    media::TThreadPriority Priority;
    int Policy;
    int Nice;
  };
  const TCase cases[] = {
      {media::TThreadPriority::tpIdle, SCHED_IDLE, base},
      {media::TThreadPriority::tpLowest, SCHED_OTHER, std::min(19, base + 10)},
      {media::TThreadPriority::tpLower, SCHED_OTHER, std::min(19, base + 5)},
      {media::TThreadPriority::tpNormal, SCHED_OTHER, base},
  };
  int i = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(int(c.Priority));
    const TSchedSeen seen = RunAtPriority("priority" + std::to_string(i++) + ".avi", c.Priority);
    EXPECT_EQ(seen.Policy, c.Policy);
    EXPECT_EQ(seen.Nice, c.Nice);
  }
  // Raising needs privileges: with them the nice value drops, without them it stays (a warning).
  const TSchedSeen higher = RunAtPriority("priority-higher.avi", media::TThreadPriority::tpHigher);
  EXPECT_EQ(higher.Policy, SCHED_OTHER);
  EXPECT_TRUE(higher.Nice == base || higher.Nice == std::max(-20, base - 5)) << higher.Nice;
  // The calling thread is never changed.
  EXPECT_EQ(::getpriority(PRIO_PROCESS, id_t(::gettid())), base);
  EXPECT_EQ(::sched_getscheduler(0), SCHED_OTHER);
}

}  // namespace
