// The engine's hooks and preview: what a handler changes reaches the output (checked by decoding
// the output with Debian's ffmpeg), a handler can stop its hook, stream copy refuses hooks and
// preview with its own text, and the preview window can be closed without touching the run.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "media/engine/custom_ffmpeg.h"
#include "media/ff_encoder.h"
#include "media/previewer.h"
#include "platform/main_thread.h"

namespace {

/// The luma plane of the 11th frame (160x120, one byte a pixel, video range as stored).
std::vector<uint8_t> Luma(const std::string& path) {
  std::vector<uint8_t> picture = engine_test::DecodedFrame(path, 10, "yuv420p");
  if (picture.size() == 160u * 120u * 3 / 2) picture.resize(160u * 120u);
  return picture;
}

/// Peak of the absolute 16-bit sample values of the audio.
int AudioPeak(const std::string& path) {
  const std::string text =
      engine_test::CommandOutput(engine_test::kFFmpeg + " -nostdin -v error -i " +
                                 engine_test::ShellQuote(path) + " -map 0:a -f s16le -ac 1 -");
  const std::vector<uint8_t> pcm(text.begin(), text.end());
  if (pcm.size() < 2) return -1;
  int peak = 0;
  for (std::size_t i = 0; i + 1 < pcm.size(); i += 2)
    peak = std::max(peak, std::abs(int(int16_t(uint16_t(pcm[i] | (pcm[i + 1] << 8))))));
  return peak;
}

/// Mean absolute difference between a and (flip ? k - b : b) over the top-left 64x48 region
/// (inside true) or over the rest of the 160x120 picture.
double MeanDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, bool inside, bool flip, int k) {
  if (a.size() != 160u * 120u || b.size() != a.size()) {
    ADD_FAILURE() << "pictures of " << a.size() << " and " << b.size() << " bytes";
    return 1e9;
  }
  double sum = 0;
  int n = 0;
  for (int y = 0; y < 120; y++)
    for (int x = 0; x < 160; x++) {
      if ((x < 64 && y < 48) != inside) continue;
      const int i = y * 160 + x;
      const int expected = flip ? k - b[std::size_t(i)] : b[std::size_t(i)];
      sum += std::abs(int(a[std::size_t(i)]) - expected);
      n++;
    }
  return sum / n;
}

// 32-bit bitmaps are BGRA: invert the colour bytes of the top-left 64x48 pixels.
void InvertRegion(media::TBitmap* bitmap) {
  for (int y = 0; y < 48 && y < bitmap->Height; y++) {
    uint8_t* row = bitmap->ScanLine(y);
    for (int x = 0; x < 64 && x < bitmap->Width; x++)
      for (int c = 0; c < 3; c++) row[x * 4 + c] = uint8_t(255 - row[x * 4 + c]);
  }
}

// The luma plane of a yuv420p picture: invert the top-left 64x48 pixels.
void InvertLumaRegion(media::TPicture* picture) {
  for (int y = 0; y < 48; y++)
    for (int x = 0; x < 64; x++) {
      uint8_t& p = picture->data[0][y * picture->linesize[0] + x];
      p = uint8_t(255 - p);
    }
}

void Silence(AVFrame* frame, int size) {
  // Packed formats hold everything in plane 0; planar ones spread size over the channels.
  const AVSampleFormat format = AVSampleFormat(frame->format);
  const bool planar = (format >= AV_SAMPLE_FMT_U8P && format <= AV_SAMPLE_FMT_DBLP) || format == AV_SAMPLE_FMT_S64P;
  const int planes = planar ? frame->ch_layout.nb_channels : 1;
  for (int p = 0; p < planes; p++) std::fill_n(frame->extended_data[p], size / planes, uint8_t(0));
}

struct TRun {
  bool Finished = false;
  std::string Message;
};

TRun RunEngine(media::TCustomFFmpeg& engine, const std::string& output, const std::string& options) {
  const engine_test::TConvertResult r = engine_test::ConvertWith(engine, engine_test::SourceClip(), output, options);
  return TRun{r.Finished, r.Message};
}

class HooksTest : public ::testing::Test {
 protected:
  void SetUp() override { engine_test::LoadLibraries(); }
  // The same conversion without hooks, for comparison.
  const std::string& Reference() {
    static const std::string path = [] {
      const std::string out = engine_test::TempPath("hook-reference.mkv");
      media::TCustomFFmpeg engine;
      EXPECT_TRUE(RunEngine(engine, out, kVideoOptions).Finished);
      return out;
    }();
    return path;
  }
  static constexpr const char* kVideoOptions = "-an -c:v ffv1 -pix_fmt yuv420p";
};

struct TVideoHookCase {
  const char* Name;
  bool Input;
  bool Bitmap;  // video hook (bitmap) or frame hook (raw picture)
  int Flip;     // luma of inverted pixels: flip - original (RGB inversion in limited range: 251)
};

class VideoHookTest : public HooksTest, public ::testing::WithParamInterface<TVideoHookCase> {};

TEST_P(VideoHookTest, InvertedRegionShowsInTheOutput) {
  const TVideoHookCase& c = GetParam();
  media::TCustomFFmpeg engine;
  int calls = 0;
  int lastFrameNumber = 0;
  if (c.Bitmap) {
    (c.Input ? engine.OnInputVideoHook : engine.OnOutputVideoHook) =
        [&](media::TCustomFFmpeg*, media::TBitmap* bitmap, int frameNumber, int64_t, bool& update, bool&) {
          calls++;
          lastFrameNumber = frameNumber;
          EXPECT_EQ(bitmap->Width, 160);
          EXPECT_EQ(bitmap->Height, 120);
          InvertRegion(bitmap);
          EXPECT_TRUE(update);
        };
  } else {
    (c.Input ? engine.OnInputFrameHook : engine.OnOutputFrameHook) =
        [&](media::TCustomFFmpeg*, media::TPicture* picture, AVPixelFormat pixFmt, int frameNumber, int width,
            int height, int64_t) {
          calls++;
          lastFrameNumber = frameNumber;
          EXPECT_EQ(pixFmt, AV_PIX_FMT_YUV420P);
          EXPECT_EQ(width, 160);
          EXPECT_EQ(height, 120);
          InvertLumaRegion(picture);
        };
  }
  const std::string out = engine_test::TempPath(std::string("hook-") + c.Name + ".mkv");
  const TRun run = RunEngine(engine, out, kVideoOptions);
  ASSERT_TRUE(run.Finished) << run.Message;
  EXPECT_EQ(calls, 50);  // every frame of the 2 s source at 25 fps
  EXPECT_EQ(lastFrameNumber, 50);
  const std::vector<uint8_t> hooked = Luma(out);
  const std::vector<uint8_t> plain = Luma(Reference());
  ASSERT_EQ(hooked.size(), 160u * 120u);
  ASSERT_EQ(plain.size(), 160u * 120u);
  EXPECT_LT(MeanDiff(hooked, plain, true, true, c.Flip), 4.0);
  EXPECT_LT(MeanDiff(hooked, plain, false, false, 0), 1.0);
  // The region really changed: the source's picture there is not mid-grey.
  EXPECT_GT(MeanDiff(hooked, plain, true, false, 0), 20.0);
}

const TVideoHookCase kVideoHookCases[] = {
    {"OutputVideoHook", false, true, 251},
    {"InputVideoHook", true, true, 251},
    {"OutputFrameHook", false, false, 255},
    {"InputFrameHook", true, false, 255},
};

INSTANTIATE_TEST_SUITE_P(Engine, VideoHookTest, ::testing::ValuesIn(kVideoHookCases),
                         [](const ::testing::TestParamInfo<TVideoHookCase>& info) { return info.param.Name; });

TEST_F(HooksTest, AudioHookThatSilencesShowsInTheOutput) {
  for (bool input : {true, false}) {
    SCOPED_TRACE(input ? "input" : "output");
    media::TCustomFFmpeg engine;
    int calls = 0;
    (input ? engine.OnInputAudioHook : engine.OnOutputAudioHook) =
        [&](media::TCustomFFmpeg*, int64_t, AVFrame* frame, int size, int sampleRate, int channels,
            AVSampleFormat sampleFormat) {
          calls++;
          EXPECT_EQ(size, channels * frame->nb_samples * media::FF().av_get_bytes_per_sample(sampleFormat));
          EXPECT_EQ(channels, 2);
          EXPECT_EQ(sampleRate, 44100);
          Silence(frame, size);
        };
    const std::string out = engine_test::TempPath(std::string("silenced-") + (input ? "in" : "out") + ".wav");
    const TRun run = RunEngine(engine, out, "-vn -c:a pcm_s16le");
    ASSERT_TRUE(run.Finished) << run.Message;
    EXPECT_GT(calls, 0);
    EXPECT_EQ(AudioPeak(out), 0);
  }
  // Without the hook the tone (an eighth of full scale, mixed down to one channel) is heard.
  media::TCustomFFmpeg engine;
  const std::string out = engine_test::TempPath("loud.wav");
  ASSERT_TRUE(RunEngine(engine, out, "-vn -c:a pcm_s16le").Finished);
  EXPECT_GT(AudioPeak(out), 1000);
}

TEST_F(HooksTest, StopHookEndsTheHookButNotTheRun) {
  media::TCustomFFmpeg engine;
  int calls = 0;
  engine.OnOutputVideoHook = [&](media::TCustomFFmpeg*, media::TBitmap* bitmap, int, int64_t, bool&,
                                 bool& stopHook) {
    calls++;
    InvertRegion(bitmap);
    stopHook = true;
  };
  const std::string out = engine_test::TempPath("hook-stop.mkv");
  const TRun run = RunEngine(engine, out, kVideoOptions);
  ASSERT_TRUE(run.Finished) << run.Message;
  EXPECT_EQ(calls, 1);
  const engine_test::TProbe p = engine_test::Probe(out, true);
  ASSERT_NE(p.First("video"), nullptr);
  EXPECT_EQ(p.First("video")->Frames, 50);
  // Frame 11 went through unhooked.
  EXPECT_LT(MeanDiff(Luma(out), Luma(Reference()), true, false, 0), 1.0);
}

TEST_F(HooksTest, HandlerExceptionLeavesTheFrameUnchanged) {
  media::TCustomFFmpeg engine;
  engine.OnOutputVideoHook = [&](media::TCustomFFmpeg*, media::TBitmap* bitmap, int, int64_t, bool&, bool&) {
    InvertRegion(bitmap);
    throw std::runtime_error("handler failed");
  };
  const std::string out = engine_test::TempPath("hook-throw.mkv");
  const TRun run = RunEngine(engine, out, kVideoOptions);
  ASSERT_TRUE(run.Finished) << run.Message;
  EXPECT_LT(MeanDiff(Luma(out), Luma(Reference()), true, false, 0), 1.0);
}

struct TRefusalCase {
  const char* Name;
  const char* Options;
  const char* Text;
};

class CopyRefusalTest : public HooksTest, public ::testing::WithParamInterface<TRefusalCase> {};

TEST_P(CopyRefusalTest, StreamCopyRefusesWithItsOwnText) {
  const TRefusalCase& c = GetParam();
  media::TCustomFFmpeg engine;
  const std::string name = c.Name;
  if (name == "VideoHook")
    engine.OnInputVideoHook = [](media::TCustomFFmpeg*, media::TBitmap*, int, int64_t, bool&, bool&) {};
  else if (name == "FrameHook")
    engine.OnOutputFrameHook = [](media::TCustomFFmpeg*, media::TPicture*, AVPixelFormat, int, int, int, int64_t) {};
  else if (name == "Preview")
    engine.SetPostHooks(media::phPreview);
  else
    engine.OnOutputAudioHook = [](media::TCustomFFmpeg*, int64_t, AVFrame*, int, int, int, AVSampleFormat) {};
  const TRun run = RunEngine(engine, engine_test::TempPath(std::string("refused-") + c.Name + ".mkv"), c.Options);
  EXPECT_FALSE(run.Finished);
  EXPECT_NE(run.Message.find(c.Text), std::string::npos) << run.Message;
}

const TRefusalCase kRefusalCases[] = {
    {"VideoHook", "-c copy", "-vcodec/-c:video copy and VideoHook are incompatible (frames are not decoded)"},
    {"FrameHook", "-c:v copy -an", "-vcodec/-c:video copy and FrameHook are incompatible (frames are not decoded)"},
    {"Preview", "-c:v copy -an", "-vcodec/-c:video copy and Preview are incompatible (frames are not decoded)"},
    {"AudioHook", "-vn -c:a copy", "-acodec/-c:audio copy and AudioHook are incompatible (frames are not decoded)"},
};

INSTANTIATE_TEST_SUITE_P(Engine, CopyRefusalTest, ::testing::ValuesIn(kRefusalCases),
                         [](const ::testing::TestParamInfo<TRefusalCase>& info) { return info.param.Name; });

// A window that the user closes right after the first frame.
struct TClosingWindow : media::IPreviewWindow {
  int* Paints;
  int* Alive;
  TClosingWindow(int* paints, int* alive) : Paints(paints), Alive(alive) { ++*Alive; }
  ~TClosingWindow() override { --*Alive; }
  void PaintFrame(const media::TBitmap& bitmap, int, int64_t) override {
    EXPECT_EQ(bitmap.Width, 160);
    ++*Paints;
  }
  bool Closed() const override { return *Paints > 0; }
};

TEST_F(HooksTest, ClosingThePreviewWindowStopsPreviewingButNotTheRun) {
  int paints = 0;
  int alive = 0;
  media::SetPreviewWindowFactory([&] { return std::make_unique<TClosingWindow>(&paints, &alive); });
  media::TCustomFFmpeg engine;
  engine.SetPreviewInterval(0);
  engine.SetPostHooks(media::phPreview);
  const std::string out = engine_test::TempPath("preview-closed.mkv");
  const TRun run = RunEngine(engine, out, kVideoOptions);
  media::SetPreviewWindowFactory(nullptr);
  ASSERT_TRUE(run.Finished) << run.Message;
  EXPECT_EQ(paints, 1);
  EXPECT_EQ(alive, 0);  // freed with the preview
  EXPECT_EQ(engine.PostHooks() & media::phPreview, 0u);
  const engine_test::TProbe p = engine_test::Probe(out, true);
  ASSERT_NE(p.First("video"), nullptr);
  EXPECT_EQ(p.First("video")->Frames, 50);
}

TEST_F(HooksTest, PreviewWithoutAWindowConvertsNormally) {
  ASSERT_FALSE(media::HasPreviewWindowFactory());
  media::TCustomFFmpeg engine;
  engine.SetPostHooks(media::phPreview);
  const std::string out = engine_test::TempPath("preview-none.mkv");
  const TRun run = RunEngine(engine, out, kVideoOptions);
  ASSERT_TRUE(run.Finished) << run.Message;
  EXPECT_EQ(engine.PostHooks() & media::phPreview, 0u);
  const engine_test::TProbe p = engine_test::Probe(out, true);
  ASSERT_NE(p.First("video"), nullptr);
  EXPECT_EQ(p.First("video")->Frames, 50);
}

TEST_F(HooksTest, PreviewBitmapHonoursTheInterval) {
  media::TCustomFFmpeg engine;
  std::vector<int> frames;
  engine.OnPreviewBitmap = [&](media::TCustomFFmpeg*, media::TBitmap* bitmap, int frameNumber, int64_t) {
    EXPECT_EQ(bitmap->Width, 160);
    frames.push_back(frameNumber);
  };
  // An interval longer than any run here: only the first frame is shown.
  engine.SetPreviewInterval(int64_t(3600) * 1000000);
  engine.SetPostHooks(media::phBitmap);
  const TRun run = RunEngine(engine, engine_test::TempPath("preview-bitmap.mkv"), kVideoOptions);
  ASSERT_TRUE(run.Finished) << run.Message;
  EXPECT_EQ(frames, std::vector<int>{1});
}

// Through the encoder component: the switches of the output record bind the hooks, and the
// component's events get the bitmap and hand Update back.
TEST_F(HooksTest, EncoderComponentRaisesItsHookEvents) {
  media::TFFEncoder encoder;
  encoder.SetTriggerEventInMainThread(false);
  int videoCalls = 0;
  int audioCalls = 0;
  bool ended = false;
  encoder.OnVideoOutputHook = [&](media::TCustomEncoder*, media::PHookInfo info) {
    videoCalls++;
    EXPECT_EQ(info->TaskIndex, 0);
    InvertRegion(info->Bitmap);
    info->Update = true;
  };
  encoder.OnAudioInputHook = [&](media::TCustomEncoder*, int taskIndex, std::int64_t, AVFrame* frame, int size, int,
                                 int, int sampleFormat) {  // an AVSampleFormat
    audioCalls++;
    EXPECT_EQ(taskIndex, 0);
    Silence(frame, size);
  };
  encoder.OnTerminate = [&](media::TCustomEncoder*, const media::TTerminateInfo& info) {
    if (info.TaskIndex == -1) ended = true;
  };
  ASSERT_EQ(encoder.AddTask(engine_test::SourceClip()), 0) << encoder.LastErrMsg();
  media::TOutputOptions options;
  options.Options = "-c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le";
  options.VideoOutputHook = true;
  options.AudioInputHook = true;
  const std::string out = engine_test::TempPath("encoder-hooks.mkv");
  ASSERT_GE(encoder.SetOutput(0, out, &options), 0) << encoder.LastErrMsg();
  encoder.Start(0);
  platform::WaitInMainThread([&] { return ended; });
  EXPECT_EQ(videoCalls, 50);
  EXPECT_GT(audioCalls, 0);
  EXPECT_LT(MeanDiff(Luma(out), Luma(Reference()), true, true, 251), 4.0);
  EXPECT_EQ(AudioPeak(out), 0);
  encoder.ClearTasks();
}

}  // namespace
