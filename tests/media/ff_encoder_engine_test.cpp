// TFFEncoder over real engine tasks: generated clips converted with the application's default
// option string, progress and terminate events, and PCM from a wave input adapter converted.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/media_fixtures.h"
#include "media/custom_decoder.h"
#include "media/ff_encoder.h"
#include "media/ff_loader.h"
#include "media/ff_utils.h"
#include "media/wave_input.h"
#include "media_test_support.h"
#include "platform/main_thread.h"

namespace {

using media::TCustomEncoder;
using media::TFFEncoder;
using media::TTerminateInfo;

// The output option string the main window builds by default.
constexpr const char* kDefaultOptions = "-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn ";

// What the events of one run brought, in arrival order.
struct TRunLog {
  std::mutex Lock;
  std::vector<std::string> Events;  // "progress <task>" / "terminate <task>"
  std::vector<media::TProgressInfo> Progress;
  std::vector<TTerminateInfo> Terminates;
  std::vector<bool> OnMainThread;
  platform::TWaitSignal Terminated;  // notified after every terminate event

  void Attach(TFFEncoder& encoder) {
    encoder.OnProgress = [this](TCustomEncoder*, media::PProgressInfo info) {
      std::lock_guard lock(Lock);
      Events.push_back("progress " + std::to_string(info->TaskIndex));
      Progress.push_back(*info);
      OnMainThread.push_back(platform::IsMainThread());
    };
    encoder.OnTerminate = [this](TCustomEncoder*, const TTerminateInfo& info) {
      {
        std::lock_guard lock(Lock);
        Events.push_back("terminate " + std::to_string(info.TaskIndex));
        Terminates.push_back(info);
        OnMainThread.push_back(platform::IsMainThread());
      }
      Terminated.Notify();
    };
  }
  bool Ended() {
    std::lock_guard lock(Lock);
    return !Terminates.empty() && Terminates.back().TaskIndex == -1;
  }
  /// Waits for the end of the run (pumping main-thread work on the main thread).
  void WaitForEnd() {
    platform::WaitInMainThread([this] { return Ended(); }, Terminated);
  }
};

class EncoderEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media::FFLoader().Load(media::EncoderLibraries)) << media::FFLoader().LastErrMsg();
    Folder = media_test::MakeTempDir("encoder_engine");
  }
  std::string Folder;
};

// One task per mode; with a thread the events are handed to the main thread, which waits for the
// run by pumping.
TEST_F(EncoderEngineTest, ConvertsAClipWithTheDefaultOptionsAndReportsProgressThenTheEnd) {
  const fixtures::TMediaFixtures& media = fixtures::MediaFixtures();
  for (int threads : {1, 0}) {
    SCOPED_TRACE(threads);
    platform::THeadlessDispatcher dispatcher;
    platform::TDispatcherGuard guard(&dispatcher);
    TRunLog log;  // outlives the encoder, whose threads notify it
    TFFEncoder encoder;
    log.Attach(encoder);
    const std::string output = Folder + "/clip" + std::to_string(threads) + ".avi";
    const int task = encoder.AddTask(media.ClipAvi);
    ASSERT_EQ(task, 0) << encoder.LastErrMsg();
    media::TOutputOptions options;
    options.Options = kDefaultOptions;
    ASSERT_GE(encoder.SetOutput(task, output, &options), 0) << encoder.LastErrMsg();
    encoder.Start(threads);
    log.WaitForEnd();

    ASSERT_EQ(log.Terminates.size(), 2u);
    const TTerminateInfo& end = log.Terminates[0];
    EXPECT_EQ(end.TaskIndex, 0);
    EXPECT_TRUE(end.Finished);
    EXPECT_FALSE(end.Exception) << end.ExceptionMsg;
    EXPECT_EQ(log.Terminates[1].TaskIndex, -1);
    ASSERT_GE(log.Events.size(), 3u);
    EXPECT_EQ(log.Events.front(), "progress 0");
    EXPECT_EQ(log.Events[log.Events.size() - 2], "terminate 0");
    const media::TProgressInfo& last = log.Progress.back();
    EXPECT_EQ(last.TaskIndex, 0);
    EXPECT_GT(last.CurrentSize, 0);
    EXPECT_NEAR(double(last.CurrentDuration), 2e6, 1e5);
    for (bool onMain : log.OnMainThread) EXPECT_TRUE(onMain);

    media::TCustomDecoder check;
    ASSERT_TRUE(check.LoadFile(output)) << check.LastErrMsg();
    EXPECT_EQ(check.VideoStreamCount(), 1);
    EXPECT_EQ(check.AudioStreamCount(), 1);
    // MP3 at 8 kHz: 72 ms frames plus the encoder's delay may run the audio a few frames past 2 s.
    EXPECT_GE(check.FileStreamInfo().Duration, 1960000);
    EXPECT_LE(check.FileStreamInfo().Duration, 2250000);
    EXPECT_NO_THROW(encoder.ClearTasks());
  }
}

// Two engines at once, each freed by its terminate thread once its event is delivered.
TEST_F(EncoderEngineTest, TwoTasksAtOnceWithAutoReleaseBothFinishAndTheRunEndsLast) {
  const fixtures::TMediaFixtures& media = fixtures::MediaFixtures();
  TRunLog log;  // outlives the encoder, whose threads notify it
  TFFEncoder encoder;
  encoder.SetTriggerEventInMainThread(false);
  encoder.SetAutoReleaseTask(true);
  log.Attach(encoder);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(encoder.AddTask(i == 0 ? media.ClipAvi : media.ToneWav), i) << encoder.LastErrMsg();
    media::TOutputOptions options;
    options.Options = kDefaultOptions;
    ASSERT_GE(encoder.SetOutput(i, Folder + "/twice" + std::to_string(i) + ".avi", &options), 0)
        << encoder.LastErrMsg();
  }
  encoder.Start(2);
  log.WaitForEnd();
  ASSERT_EQ(log.Terminates.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(log.Terminates[std::size_t(i)].Finished) << log.Terminates[std::size_t(i)].ExceptionMsg;
    EXPECT_FALSE(log.Terminates[std::size_t(i)].Exception);
  }
  EXPECT_EQ(log.Terminates[0].TaskIndex + log.Terminates[1].TaskIndex, 1);
  EXPECT_EQ(log.Terminates[2].TaskIndex, -1);
  EXPECT_EQ(encoder.TasksCount(), 2);
  encoder.ClearTasks();
}

TEST_F(EncoderEngineTest, AFailingOutputEndsItsTaskWithTheEngineMessage) {
  TRunLog log;  // outlives the encoder, whose threads notify it
  TFFEncoder encoder;
  encoder.SetTriggerEventInMainThread(false);
  log.Attach(encoder);
  ASSERT_EQ(encoder.AddTask(fixtures::MediaFixtures().ClipAvi), 0) << encoder.LastErrMsg();
  // No SetOutput: the engine refuses to run without an output.
  encoder.Start(1);
  log.WaitForEnd();
  ASSERT_EQ(log.Terminates.size(), 2u);
  EXPECT_FALSE(log.Terminates[0].Finished);
  EXPECT_TRUE(log.Terminates[0].Exception);
  EXPECT_EQ(log.Terminates[0].ExceptionMsg, "At least one output file must be specified");

  encoder.ClearTasks();
  EXPECT_LT(encoder.AddTask(Folder + "/missing.avi"), 0);
  EXPECT_NE(encoder.LastErrMsg().find("No such file or directory"), std::string::npos) << encoder.LastErrMsg();
}

// PCM handed over by the adapter's callback becomes the input of a real conversion.
TEST_F(EncoderEngineTest, ConvertsPcmFromAWaveInputAdapterToFlac) {
  media::RegisterWaveInputFormat();
  media::TWaveInputAdapter adapter;
  std::int64_t given = 0;
  adapter.OnReadWaveData = [&](media::TWaveInputAdapter*, std::uint8_t* data, media::TInputWaveInfo* info) {
    // Two seconds of 8 kHz mono s16: 32000 bytes.
    if (given >= 32000) return -1;
    const int n = int(std::min<std::int64_t>(info->FrameSize, 32000 - given));
    for (int i = 0; i < n; ++i) data[i] = std::uint8_t((given + i) * 7);
    given += n;
    return n;
  };
  TRunLog log;  // outlives the encoder, whose threads notify it
  TFFEncoder encoder;
  encoder.SetTriggerEventInMainThread(false);
  log.Attach(encoder);
  media::TInputOptions input;
  input.Options = "-f waveinput -ar 8000 -ac 1 -sample_fmt s16";
  ASSERT_EQ(encoder.AddTask(adapter.InputName(), &input), 0) << encoder.LastErrMsg();
  const std::string output = Folder + "/wave.flac";
  media::TOutputOptions options;
  options.Options = "-c:a flac";
  ASSERT_GE(encoder.SetOutput(0, output, &options), 0) << encoder.LastErrMsg();
  encoder.Start(1);
  log.WaitForEnd();
  ASSERT_EQ(log.Terminates.size(), 2u);
  EXPECT_TRUE(log.Terminates[0].Finished) << log.Terminates[0].ExceptionMsg;
  media::TCustomDecoder check;
  ASSERT_TRUE(check.LoadFile(output)) << check.LastErrMsg();
  EXPECT_NEAR(double(check.FileStreamInfo().Duration), 2e6, 2e3);
}

}  // namespace
