// The audio window's wave input feed: the source's PCM becomes the input of a real conversion,
// once (no time limit) or repeated from the start up to the limit.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "app/run_window/wave_feed.h"
#include "fixtures/media_fixtures.h"
#include "media/custom_decoder.h"
#include "media/ff_decoder.h"
#include "media/ff_encoder.h"
#include "media/ff_loader.h"
#include "media/wave_input.h"
#include "platform/main_thread.h"

namespace {

// Converts what the feed gives to FLAC; returns the output's duration in microseconds (-1 when
// the conversion failed).
int64_t ConvertFeed(app::TWaveFeed& feed, const std::string& output) {
  media::RegisterWaveInputFormat();
  media::TWaveInputAdapter adapter;
  feed.Attach(adapter);
  // Declared before the encoder: its threads write them until the encoder is gone.
  std::atomic<bool> finished{false};
  std::atomic<bool> ended{false};
  platform::TWaitSignal endedSignal;
  media::TFFEncoder encoder;
  encoder.SetTriggerEventInMainThread(false);
  encoder.OnTerminate = [&](media::TCustomEncoder*, const media::TTerminateInfo& info) {
    if (info.TaskIndex == 0) finished = info.Finished;
    if (info.TaskIndex == -1) {
      ended = true;
      endedSignal.Notify();
    }
  };
  media::TInputOptions input;
  input.Options = "-f waveinput -ar 48000 -ac 2 -sample_fmt s16";
  EXPECT_EQ(encoder.AddTask(adapter.InputName(), &input), 0) << encoder.LastErrMsg();
  media::TOutputOptions options;
  options.Options = "-c:a flac";
  EXPECT_GE(encoder.SetOutput(0, output, &options), 0) << encoder.LastErrMsg();
  encoder.Start(0);
  platform::WaitInMainThread([&] { return ended.load(); }, endedSignal);
  if (!finished) return -1;
  media::TCustomDecoder check;
  if (!check.LoadFile(output)) return -1;
  return check.FileStreamInfo().Duration;
}

class WaveFeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media::FFLoader().Load(media::EncoderLibraries)) << media::FFLoader().LastErrMsg();
    Decoder.SetDesireAudioChannels(2);
    Decoder.SetDesireAudioSampleRate(48000);
    ASSERT_TRUE(Decoder.LoadFile(fixtures::MediaFixtures().ToneWav)) << Decoder.LastErrMsg();
  }
  media::TFFDecoder Decoder;
};

TEST_F(WaveFeedTest, WithoutALimitTheSourceIsFedOnce) {
  app::TWaveFeed feed(Decoder);
  feed.Reset();
  const int64_t duration = ConvertFeed(feed, fixtures::MediaFixtures().Folder + "feed-once.flac");
  EXPECT_NEAR(double(duration), 1e6, 3e4);  // the 1 s tone
}

TEST_F(WaveFeedTest, ALimitRepeatsTheSourceUpToIt) {
  app::TWaveFeed feed(Decoder);
  std::string error;
  feed.OnError = [&](const std::string& message) { error = message; };
  feed.Reset(2500000);
  const int64_t duration = ConvertFeed(feed, fixtures::MediaFixtures().Folder + "feed-limit.flac");
  // Pieces of 1024 frames (21.3 ms) are handed out until one starts past 2.5 s.
  EXPECT_NEAR(double(duration), 2.5e6, 3e4);
  EXPECT_TRUE(error.empty()) << error;
}

}  // namespace
