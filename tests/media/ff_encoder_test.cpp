// The encoder component's task logic against scripted tasks: the run in both modes, the order of
// the terminate events, the refusals while working, option hand-over and event threads.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "media/custom_encoder.h"
#include "media/ff_exception.h"
#include "media/ff_loader.h"
#include "platform/main_thread.h"
#include "support/gate.h"
#include "support/run_alone.h"

namespace {

using media::IFFTask;
using media::IFFTaskEvents;
using media::TCustomEncoder;
using media::TTaskEvent;
using media::TTerminateInfo;

// A gate a scripted run waits at; Stop opens it too.
using testing_support::TGate;

// What the scripted tasks of one test share: how each task behaves and what it saw.
struct TScript {
  std::mutex Lock;
  // Per task number (creation order): gates the run waits at; tasks without one run through.
  std::map<int, std::shared_ptr<TGate>> Gates;
  int Created = 0;
  int Destroyed = 0;
  int Running = 0;
  int MaxRunning = 0;
  int EndsReported = 0;  // runs whose end the encoder has taken in
  std::vector<std::thread::id> RunThreads;  // by task number
  std::map<int, std::string> OutputOptions;
  std::map<int, std::set<TTaskEvent>> Bound;
  std::map<int, std::int64_t> PreviewInterval, ReportInterval;
  std::map<int, std::pair<bool, bool>> PostHooks;
  std::map<int, int> ReadTimeout, WriteTimeout, BitsPixel;
  // What a video hook handed back.
  bool HookUpdate = false;
  bool HookStop = false;
  // Notified after every change of Destroyed, Running, RunThreads and EndsReported.
  platform::TWaitSignal Changed;

  /// Waits until done() holds; done() runs under Lock.
  void WaitUntil(const std::function<bool()>& done) {
    platform::WaitInMainThread(
        [&] {
          std::lock_guard lock(Lock);
          return done();
        },
        Changed);
  }

  std::shared_ptr<TGate> GateOf(int number) {
    std::lock_guard lock(Lock);
    auto found = Gates.find(number);
    return found == Gates.end() ? nullptr : found->second;
  }
  void AddGates(int count) {
    std::lock_guard lock(Lock);
    for (int i = 0; i < count; ++i) Gates[i] = std::make_shared<TGate>();
  }
  void OpenAll() {
    std::lock_guard lock(Lock);
    for (auto& [n, gate] : Gates) gate->Open();
  }
};

// A task whose run is a script: count itself running, report progress and a video hook when
// bound, wait at its gate, end. Input "bad..." fails to open; "throw..." throws.
class TScriptedTask : public IFFTask {
 public:
  TScriptedTask(IFFTaskEvents& events, TScript& script) : FEvents(events), FScript(script) {
    std::lock_guard lock(script.Lock);
    FNumber = script.Created++;
    script.RunThreads.resize(std::size_t(script.Created));
  }
  ~TScriptedTask() override {
    Stop(true);
    for (std::thread* t : {&FThread, &FTermThread})
      if (t->joinable()) {
        if (t->get_id() == std::this_thread::get_id())
          t->detach();
        else
          t->join();
      }
    {
      std::lock_guard lock(FScript.Lock);
      ++FScript.Destroyed;
    }
    FScript.Changed.Notify();
  }

  void BindEvent(TTaskEvent event, bool bound) override {
    std::lock_guard lock(FScript.Lock);
    if (bound)
      FScript.Bound[FNumber].insert(event);
    else
      FScript.Bound[FNumber].erase(event);
  }
  int OpenInput(const std::string& fileName, const std::string&, const std::string&) override {
    if (fileName.rfind("throw", 0) == 0) throw media::FFmpegException("input exploded");
    if (fileName.rfind("bad", 0) == 0) {
      FLastErr = fileName + ": No such file or directory";
      return AVERROR(ENOENT);
    }
    if (Bound(TTaskEvent::BeforeFindStreamInfo)) FEvents.TaskBeforeFindStreamInfo(this, nullptr);
    return 0;
  }
  int OpenOutput(const std::string& fileName, const std::string& options, const std::string&) override {
    {
      std::lock_guard lock(FScript.Lock);
      FScript.OutputOptions[FNumber] = options;
    }
    if (fileName.rfind("throw", 0) == 0) {
      FLastErr = "muxer refused";
      throw media::FFmpegException("output exploded");
    }
    if (fileName.rfind("bad", 0) == 0) {
      FLastErr = "Unknown encoder 'nothing'";
      return AVERROR_ENCODER_NOT_FOUND;
    }
    return 0;
  }
  AVFormatContext* InputFormatContext(int) const override { return nullptr; }
  std::string LastErrMsg() const override { return FLastErr; }
  void ClearLastErrMsg() override { FLastErr.clear(); }
  void SetHaltOnInvalidOption(bool) override {}
  void SetReadTimeout(int ms) override { Put(FScript.ReadTimeout, ms); }
  void SetWriteTimeout(int ms) override { Put(FScript.WriteTimeout, ms); }
  void SetPreviewInterval(std::int64_t us) override { Put(FScript.PreviewInterval, us); }
  void SetReportInterval(std::int64_t us) override { Put(FScript.ReportInterval, us); }
  void SetPostHooks(bool preview, bool bitmap) override { Put(FScript.PostHooks, std::make_pair(preview, bitmap)); }
  void SetVideoHookBitsPixel(int bits) override { Put(FScript.BitsPixel, bits); }

  void StartConvert(bool useThread, media::TThreadPriority) override {
    if (FStarted.exchange(true) || FTerminated.load()) return;
    if (useThread)
      FThread = std::thread([this] { Run(); });
    else
      Run();
  }
  void Stop(bool waitForStop) override {
    FStopped = true;
    if (auto gate = FScript.GateOf(FNumber)) gate->Open();
    if (waitForStop && FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
      platform::WaitInMainThread([this] { return FRunEnded.load(); }, FEnded);
  }
  void Terminate(bool waitForStop) override {
    if (FStarted.load()) {
      Stop(waitForStop);
      return;
    }
    if (FTerminated.exchange(true)) return;
    FTermThread = std::thread([this] {
      if (Bound(TTaskEvent::Terminate)) FEvents.TaskTerminate(this);
      FTermDone = true;
      FEnded.Notify();
    });
    if (waitForStop) platform::WaitInMainThread([this] { return FTermDone.load(); }, FEnded);
  }
  bool Finished() const override { return FFinished.load(); }
  bool FatalException() const override { return false; }
  std::string FatalMessage() const override { return {}; }

 private:
  template <typename T, typename V>
  void Put(std::map<int, T>& map, V value) {
    std::lock_guard lock(FScript.Lock);
    map[FNumber] = value;
  }
  bool Bound(TTaskEvent event) {
    std::lock_guard lock(FScript.Lock);
    return FScript.Bound[FNumber].count(event) > 0;
  }
  void Run() {
    {
      std::lock_guard lock(FScript.Lock);
      FScript.RunThreads[std::size_t(FNumber)] = std::this_thread::get_id();
      FScript.MaxRunning = std::max(FScript.MaxRunning, ++FScript.Running);
    }
    FScript.Changed.Notify();
    if (Bound(TTaskEvent::Progress)) {
      media::TProgressInfo progress;
      progress.FrameNumber = 10 + FNumber;
      progress.TaskIndex = 99;  // the encoder puts the list index here
      FEvents.TaskProgress(this, progress);
    }
    if (Bound(TTaskEvent::VideoInputHook)) {
      media::THookInfo hook;
      hook.FrameNumber = 7;
      FEvents.TaskVideoHook(this, true, hook);
      std::lock_guard lock(FScript.Lock);
      FScript.HookUpdate = hook.Update;
      FScript.HookStop = hook.StopHook;
    }
    if (auto gate = FScript.GateOf(FNumber)) gate->Wait();
    FFinished = !FStopped.load();
    {
      std::lock_guard lock(FScript.Lock);
      --FScript.Running;
    }
    FScript.Changed.Notify();
    FTerminated = true;
    if (Bound(TTaskEvent::Terminate)) FEvents.TaskTerminate(this);
    {
      std::lock_guard lock(FScript.Lock);
      ++FScript.EndsReported;
    }
    FScript.Changed.Notify();
    FRunEnded = true;
    FEnded.Notify();
  }

  IFFTaskEvents& FEvents;
  TScript& FScript;
  int FNumber = 0;
  std::string FLastErr;
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FStopped{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FRunEnded{false};
  std::atomic<bool> FTermDone{false};
  platform::TWaitSignal FEnded;  // notified when FRunEnded or FTermDone turns true
  std::thread FThread;
  std::thread FTermThread;
};

// The encoder over scripted tasks; lets a test empty an entry as a task freed elsewhere would.
class TTestEncoder : public TCustomEncoder {
 public:
  explicit TTestEncoder(TScript& script)
      : TCustomEncoder([&script](IFFTaskEvents& events) { return std::make_unique<TScriptedTask>(events, script); }) {}
  ~TTestEncoder() override { StopForDestruction(); }
  void ReleaseEntry(int index) { TaskList().Release(index, TaskList().Serial(index)); }
};

// Keeps every terminate event with the thread it arrived on.
struct TTerminateLog {
  std::mutex Lock;
  std::vector<TTerminateInfo> Events;
  std::vector<std::thread::id> Threads;
  platform::TWaitSignal Changed;  // notified after every Add

  void Attach(TCustomEncoder& encoder) {
    encoder.OnTerminate = [this](TCustomEncoder*, const TTerminateInfo& info) { Add(info); };
  }
  void Add(const TTerminateInfo& info) {
    {
      std::lock_guard lock(Lock);
      Events.push_back(info);
      Threads.push_back(std::this_thread::get_id());
    }
    Changed.Notify();
  }
  std::vector<int> Order() {
    std::lock_guard lock(Lock);
    std::vector<int> order;
    for (const auto& e : Events) order.push_back(e.TaskIndex);
    return order;
  }
  bool RunEnded() {
    std::lock_guard lock(Lock);
    return !Events.empty() && Events.back().TaskIndex == -1;
  }
  /// Waits until done() holds; done() takes Lock itself.
  void WaitUntil(const std::function<bool()>& done) { platform::WaitInMainThread(done, Changed); }
  void WaitForEnd() {
    WaitUntil([this] { return RunEnded(); });
  }
};

class EncoderTasksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media::FFLoader().Load(media::EncoderLibraries)) << media::FFLoader().LastErrMsg();
    Encoder = std::make_unique<TTestEncoder>(Script);
    Encoder->SetTriggerEventInMainThread(false);
    Log.Attach(*Encoder);
  }
  void AddTasks(int count) {
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(Encoder->AddTask("in" + std::to_string(i) + ".avi"), i) << Encoder->LastErrMsg();
      ASSERT_GE(Encoder->SetOutput(i, "out" + std::to_string(i) + ".avi"), 0) << Encoder->LastErrMsg();
    }
  }

  TScript Script;
  TTerminateLog Log;
  std::unique_ptr<TTestEncoder> Encoder;
};

TEST_F(EncoderTasksTest, StartOneRunsTasksOneAfterAnotherOnConversionThreads) {
  AddTasks(3);
  Encoder->Start(1);
  Log.WaitForEnd();
  EXPECT_EQ(Log.Order(), (std::vector<int>{0, 1, 2, -1}));
  EXPECT_EQ(Script.MaxRunning, 1);
  std::set<std::thread::id> threads(Script.RunThreads.begin(), Script.RunThreads.end());
  EXPECT_EQ(threads.size(), 3u);
  EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
  EXPECT_EQ(threads.count(std::thread::id()), 0u) << "a task never ran";
  for (const auto& e : Log.Events) EXPECT_TRUE(e.Finished) << e.TaskIndex;
  EXPECT_TRUE(Encoder->Terminated());
  EXPECT_TRUE(Encoder->Working());
}

TEST_F(EncoderTasksTest, StartZeroRunsEverythingBeforeItReturns) {
  AddTasks(3);
  Encoder->Start(0);
  // No waiting: the run is over and every event was delivered on this thread.
  EXPECT_EQ(Log.Order(), (std::vector<int>{0, 1, 2, -1}));
  for (std::thread::id id : Script.RunThreads) EXPECT_EQ(id, std::this_thread::get_id());
  for (std::thread::id id : Log.Threads) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_TRUE(Encoder->Terminated());
}

// With several tasks at once the end of the run still comes after every task's own event, and
// the events keep the order in which the tasks ended, however slow the handler is.
class EncoderParallelTest : public EncoderTasksTest, public ::testing::WithParamInterface<int> {};

TEST_P(EncoderParallelTest, EndOfRunComesLastInTheOrderTasksEnded) {
  const int threads = GetParam();
  AddTasks(3);
  Script.AddGates(3);
  Encoder->OnTerminate = [this](TCustomEncoder*, const TTerminateInfo& info) {
    // A slow handler: a later delivery that did not wait its turn would overtake this one.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Log.Add(info);
  };
  Encoder->Start(threads);
  for (int i = 0; i < 3; ++i) {
    // Task i ends once it runs and task i - 1's end was taken in, so the tasks end in order while
    // their events are still being delivered.
    Script.WaitUntil(
        [&] { return Script.RunThreads[std::size_t(i)] != std::thread::id() && Script.EndsReported == i; });
    Script.GateOf(i)->Open();
  }
  Log.WaitForEnd();
  EXPECT_EQ(Log.Order(), (std::vector<int>{0, 1, 2, -1}));
  EXPECT_LE(Script.MaxRunning, threads);
}

INSTANTIATE_TEST_SUITE_P(ThreadCounts, EncoderParallelTest, ::testing::Values(1, 2, 3));

// An entry emptied before the start (a task freed elsewhere) is skipped, and the run still ends,
// so Working can be cleared again.
struct TEmptyEntryCase {
  int Threads;
  int Released;
  std::vector<int> Order;
};
class EncoderEmptyEntryTest : public EncoderTasksTest, public ::testing::WithParamInterface<TEmptyEntryCase> {};

TEST_P(EncoderEmptyEntryTest, RunSkipsEmptyEntryAndEnds) {
  const TEmptyEntryCase& c = GetParam();
  AddTasks(3);
  Encoder->ReleaseEntry(c.Released);
  EXPECT_EQ(Encoder->TasksCount(), 3);
  Encoder->Start(c.Threads);
  Log.WaitForEnd();
  EXPECT_EQ(Log.Order(), c.Order);
  EXPECT_TRUE(Encoder->Terminated());
  EXPECT_NO_THROW(Encoder->ClearTasks());
  EXPECT_FALSE(Encoder->Working());
}

INSTANTIATE_TEST_SUITE_P(Cases, EncoderEmptyEntryTest,
                         ::testing::Values(TEmptyEntryCase{1, 1, {0, 2, -1}}, TEmptyEntryCase{0, 1, {0, 2, -1}},
                                           TEmptyEntryCase{1, 2, {0, 1, -1}}, TEmptyEntryCase{0, 2, {0, 1, -1}},
                                           TEmptyEntryCase{1, 0, {1, 2, -1}}),
                         [](const ::testing::TestParamInfo<TEmptyEntryCase>& info) {
                           return "Threads" + std::to_string(info.param.Threads) + "Released" +
                                  std::to_string(info.param.Released);
                         });

TEST_F(EncoderTasksTest, EmptyListEndsTheRunAtOnce) {
  Encoder->Start(0);
  EXPECT_EQ(Log.Order(), (std::vector<int>{-1}));
  Encoder->ClearTasks();
  Encoder->Start(2);
  Log.WaitUntil([&] { return Log.Order().size() == 2; });
  EXPECT_EQ(Log.Order(), (std::vector<int>{-1, -1}));
}

TEST_F(EncoderTasksTest, OperationsAreRefusedWhileWorkingAndClearTasksAfterTheEnd) {
  AddTasks(2);
  Script.AddGates(2);
  Encoder->Start(1);
  struct TRefusal {
    const char* Message;
    std::function<void()> Call;
  };
  const TRefusal refusals[] = {
      {"Cannot AddTask while working.", [&] { Encoder->AddTask("in.avi"); }},
      {"Cannot SetOutput while working.", [&] { Encoder->SetOutput(0, "out.avi"); }},
      {"Cannot RemoveTask while working.", [&] { Encoder->RemoveTask(0); }},
      {"Cannot StartTask while working.", [&] { Encoder->Start(1); }},
      {"Cannot ClearTasks while working.", [&] { Encoder->ClearTasks(); }},
  };
  for (const TRefusal& r : refusals) {
    try {
      r.Call();
      ADD_FAILURE() << "no exception: " << r.Message;
    } catch (const media::FFmpegException& e) {
      EXPECT_STREQ(e.what(), r.Message);
    }
  }
  Script.OpenAll();
  Log.WaitForEnd();
  EXPECT_NO_THROW(Encoder->ClearTasks());
  EXPECT_FALSE(Encoder->Working());
  EXPECT_FALSE(Encoder->Terminated());
  EXPECT_EQ(Encoder->TasksCount(), 0);
  EXPECT_EQ(Script.Destroyed, 2);
  EXPECT_EQ(Encoder->AddTask("again.avi"), 0);
}

TEST_F(EncoderTasksTest, StopEndsRunningAndPendingTasksInOrder) {
  AddTasks(3);
  Script.AddGates(3);
  Encoder->Start(1);
  Script.WaitUntil([&] { return Script.Running == 1; });
  Encoder->Stop(true);
  Log.WaitForEnd();
  EXPECT_EQ(Log.Order(), (std::vector<int>{0, 1, 2, -1}));
  for (const auto& e : Log.Events) {
    if (e.TaskIndex >= 0) {
      EXPECT_FALSE(e.Finished) << e.TaskIndex;
    }
  }
  // Tasks 1 and 2 never ran.
  EXPECT_EQ(Script.RunThreads[1], std::thread::id());
  EXPECT_EQ(Script.RunThreads[2], std::thread::id());
}

TEST_F(EncoderTasksTest, AutoReleaseFreesEachTaskAfterItsEventAndKeepsEntries) {
  Encoder->SetAutoReleaseTask(true);
  AddTasks(3);
  Encoder->Start(1);
  Log.WaitForEnd();
  Script.WaitUntil([&] { return Script.Destroyed == 3; });
  EXPECT_EQ(Encoder->TasksCount(), 3);
  EXPECT_EQ(Log.Order(), (std::vector<int>{0, 1, 2, -1}));
}

TEST_F(EncoderTasksTest, DestroyingDuringARunStopsEveryTaskAndDeliversNothingMore) {
  AddTasks(3);
  Script.AddGates(3);
  Encoder->Start(3);
  Script.WaitUntil([&] { return Script.Running == 3; });
  Encoder.reset();
  EXPECT_EQ(Script.Destroyed, 3);
  EXPECT_TRUE(Log.Order().empty());
}

struct THookTextCase {
  const char* Given;
  const char* Expected;
};
class EncoderHookSwitchTest : public EncoderTasksTest, public ::testing::WithParamInterface<THookTextCase> {};

TEST_P(EncoderHookSwitchTest, HookSwitchesReachTheTaskInTheTablesSpelling) {
  ASSERT_EQ(Encoder->AddTask("in.avi"), 0);
  media::TOutputOptions options;
  options.Options = GetParam().Given;
  ASSERT_GE(Encoder->SetOutput(0, "out.avi", &options), 0);
  EXPECT_EQ(Script.OutputOptions[0], GetParam().Expected);
  EXPECT_EQ(options.FileName, "out.avi");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EncoderHookSwitchTest,
    ::testing::Values(THookTextCase{"-videoinputhook", "-VideoInputHook"},
                      THookTextCase{" -b:a 32k -AUDIOOUTPUTHOOK  -c:a libmp3lame ", "-b:a 32k -AudioOutputHook  -c:a libmp3lame"},
                      THookTextCase{"-videoinputhook -videooutputhook -frameinputhook -frameoutputhook -audioinputhook",
                                    "-VideoInputHook -VideoOutputHook -FrameInputHook -FrameOutputHook -AudioInputHook"},
                      THookTextCase{"-metadata title=-videoinputhookx", "-metadata title=-videoinputhookx"},
                      THookTextCase{"", ""}),
    [](const ::testing::TestParamInfo<THookTextCase>& info) { return "Text" + std::to_string(info.index); });

TEST_F(EncoderTasksTest, HookSwitchesBindTheHooksAndTheHandlerAnswersReachTheTask) {
  ASSERT_EQ(Encoder->AddTask("in.avi"), 0);
  media::TOutputOptions options;
  options.VideoInputHook = true;
  options.FrameOutputHook = true;
  options.VideoHookBitsPixel = 24;
  ASSERT_GE(Encoder->SetOutput(0, "out.avi", &options), 0);
  const std::set<TTaskEvent> expected = {TTaskEvent::BeforeFindStreamInfo, TTaskEvent::PreviewBitmap,
                                         TTaskEvent::Progress,             TTaskEvent::Terminate,
                                         TTaskEvent::VideoInputHook,       TTaskEvent::FrameOutputHook};
  EXPECT_EQ(Script.Bound[0], expected);
  EXPECT_EQ(Script.BitsPixel[0], 24);

  int hookTask = -2, hookFrame = 0;
  Encoder->OnVideoInputHook = [&](TCustomEncoder*, media::PHookInfo info) {
    hookTask = info->TaskIndex;
    hookFrame = info->FrameNumber;
    info->Update = true;
    info->StopHook = true;
  };
  Encoder->Start(0);
  EXPECT_EQ(hookTask, 0);
  EXPECT_EQ(hookFrame, 7);
  EXPECT_TRUE(Script.HookUpdate);
  EXPECT_TRUE(Script.HookStop);
}

TEST_F(EncoderTasksTest, SettingsReachEveryTaskAndIntervalsHaveAFloor) {
  AddTasks(2);
  Encoder->SetPreviewInterval(5);
  Encoder->SetProgressInterval(250);
  Encoder->SetPreview(true);
  Encoder->SetReadTimeout(1234);
  Encoder->SetWriteTimeout(4321);
  EXPECT_EQ(Encoder->PreviewInterval(), 10);
  EXPECT_EQ(Encoder->ProgressInterval(), 250);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Script.PreviewInterval[i], 10000) << i;
    EXPECT_EQ(Script.ReportInterval[i], 250000) << i;
    EXPECT_EQ(Script.PostHooks[i], std::make_pair(true, false)) << i;
    EXPECT_EQ(Script.ReadTimeout[i], 1234) << i;
    EXPECT_EQ(Script.WriteTimeout[i], 4321) << i;
  }
  Encoder->SetPreviewBitmap(true);
  Encoder->SetProgressInterval(-3);
  EXPECT_EQ(Script.PostHooks[1], std::make_pair(true, true));
  EXPECT_EQ(Script.ReportInterval[1], 10000);
  // A task added later starts from the current settings.
  ASSERT_EQ(Encoder->AddTask("late.avi"), 2);
  EXPECT_EQ(Script.PreviewInterval[2], 10000);
  EXPECT_EQ(Script.PostHooks[2], std::make_pair(true, true));
}

TEST_F(EncoderTasksTest, FailuresBecomeNegativeResultsWithTheReason) {
  EXPECT_LT(Encoder->AddTask("bad.avi"), 0);
  EXPECT_EQ(Encoder->LastErrMsg(), "bad.avi: No such file or directory");
  EXPECT_EQ(Encoder->AddTask("throw.avi"), -1);
  EXPECT_EQ(Encoder->LastErrMsg(), "input exploded");
  EXPECT_EQ(Encoder->TasksCount(), 0);
  EXPECT_EQ(Script.Destroyed, 2);

  ASSERT_EQ(Encoder->AddTask("in.avi"), 0);
  EXPECT_LT(Encoder->SetOutput(0, "bad.avi"), 0);
  EXPECT_EQ(Encoder->LastErrMsg(), "Unknown encoder 'nothing'");
  EXPECT_EQ(Encoder->SetOutput(0, "throw.avi"), -1);
  EXPECT_EQ(Encoder->LastErrMsg(), "muxer refused\r\noutput exploded");
  EXPECT_EQ(Encoder->SetOutput(5, "out.avi"), -1);
  EXPECT_EQ(Encoder->LastErrMsg(), "The task #5 had been released.");
  Encoder->ReleaseEntry(0);
  EXPECT_EQ(Encoder->SetOutput(0, "out.avi"), -1);
  EXPECT_EQ(Encoder->LastErrMsg(), "The task #0 had been released.");
}

TEST_F(EncoderTasksTest, ProgressCarriesTheTaskIndex) {
  AddTasks(2);
  std::vector<std::pair<int, int>> seen;
  Encoder->OnProgress = [&](TCustomEncoder*, media::PProgressInfo info) {
    seen.emplace_back(info->TaskIndex, info->FrameNumber);
  };
  Encoder->Start(0);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 10}, {1, 11}}));
}

// Every event the component may hand over arrives on the main thread when asked, while the main
// thread waits for the run; without the switch they come from the conversion and terminate
// threads.
TEST_F(EncoderTasksTest, EventsArriveOnTheMainThreadWhenAsked) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  for (bool inMain : {true, false}) {
    SCOPED_TRACE(inMain);
    Encoder->ClearTasks();
    Log.Events.clear();
    Log.Threads.clear();
    Encoder->SetTriggerEventInMainThread(inMain);
    std::vector<bool> progressOnMain;
    Encoder->OnProgress = [&](TCustomEncoder*, media::PProgressInfo) {
      progressOnMain.push_back(platform::IsMainThread());
    };
    bool findInfoOnMain = false;
    Encoder->OnBeforeFindStreamInfo = [&](TCustomEncoder*, AVFormatContext*) {
      findInfoOnMain = platform::IsMainThread();
    };
    AddTasks(2);
    Encoder->Start(1);
    Log.WaitForEnd();
    EXPECT_EQ(Log.Order(), (std::vector<int>{0, 1, -1}));
    EXPECT_EQ(progressOnMain, (std::vector<bool>{inMain, inMain}));
    for (std::thread::id id : Log.Threads) EXPECT_EQ(id == std::this_thread::get_id(), inMain);
    EXPECT_TRUE(findInfoOnMain);  // opened on the main thread in both cases
  }
  // Its terminate threads may still be leaving the dispatcher: the encoder goes first.
  Encoder.reset();
}

TEST(EncoderLibrariesTest, AddTaskWithoutLibrariesThrows) {
  if (media::FFLoader().Loaded(media::EncoderLibraries)) return test_support::RunThisTestAlone();
  TScript script;
  TTestEncoder encoder(script);
  EXPECT_FALSE(encoder.AVLibLoaded());
  try {
    encoder.AddTask("in.avi");
    ADD_FAILURE() << "no exception";
  } catch (const media::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "FFmpeg libraries not loaded.");
  }
  EXPECT_TRUE(encoder.LoadAVLib(""));
  EXPECT_TRUE(encoder.AVLibLoaded());
  EXPECT_EQ(encoder.AddTask("in.avi"), 0);
}

}  // namespace
