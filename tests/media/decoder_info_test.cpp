#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/media_fixtures.h"
#include "media/ff_decoder.h"
#include "media/ff_exception.h"
#include "media/ff_handles.h"
#include "media/ff_loader.h"
#include "media/ff_logger.h"
#include "media_test_support.h"
#include "platform/main_thread.h"
#include "support/run_alone.h"

namespace {

using fixtures::MediaFixtures;
using media::TFFDecoder;
using media_test::TLogCapture;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool HasLineStartingWith(const std::string& text, const std::string& prefix) {
  for (const auto& l : Lines(text))
    if (l.rfind(prefix, 0) == 0) return true;
  return false;
}

class DecoderInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FDecoder.LoadAVLib("")) << FDecoder.LastErrMsg(); }
  TFFDecoder FDecoder;
};

TEST_F(DecoderInfoTest, ClipAviCountsSizesRatesAndDuration) {
  const auto& f = MediaFixtures();
  ASSERT_TRUE(FDecoder.LoadFile(f.ClipAvi)) << FDecoder.LastErrMsg();
  EXPECT_NE(FDecoder.FileHandle(), nullptr);
  EXPECT_EQ(FDecoder.FileName(), f.ClipAvi);
  EXPECT_EQ(FDecoder.FormatName(), "avi");
  EXPECT_EQ(FDecoder.FileSize(), static_cast<int64_t>(std::filesystem::file_size(f.ClipAvi)));
  EXPECT_EQ(FDecoder.StreamCount(), 2);
  EXPECT_EQ(FDecoder.ProgramCount(), 0);
  EXPECT_EQ(FDecoder.VideoStreamCount(), 1);
  EXPECT_EQ(FDecoder.AudioStreamCount(), 1);
  EXPECT_EQ(FDecoder.SubtitleStreamCount(), 0);
  EXPECT_EQ(FDecoder.FirstVideoStreamIndex(), 0);
  EXPECT_EQ(FDecoder.FirstAudioStreamIndex(), 1);
  EXPECT_EQ(FDecoder.FirstSubtitleStreamIndex(), -1);
  EXPECT_TRUE(FDecoder.IsVideoStream(0));
  EXPECT_FALSE(FDecoder.IsVideoStream(1));
  EXPECT_FALSE(FDecoder.IsVideoStream(2));

  const media::TFileStreamInfo file = FDecoder.FileStreamInfo();
  EXPECT_EQ(file.Duration, 2000000);
  EXPECT_GT(file.BitRate, 0);
  EXPECT_EQ(file.Year, 0);
  EXPECT_EQ(file.Title, "");

  const media::TVideoStreamInfo video = FDecoder.FirstVideoStreamInfo();
  EXPECT_EQ(video.Width, fixtures::kClipWidth);
  EXPECT_EQ(video.Height, fixtures::kClipHeight);
  EXPECT_EQ(video.FrameRate.num, 25);
  EXPECT_EQ(video.FrameRate.den, 1);
  EXPECT_EQ(video.PixFmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(video.DurationScaled, 2000000);
  EXPECT_EQ(video.StartTimeScaled, 0);
  EXPECT_EQ(video.CodecName.rfind("mpeg4(", 0), 0u) << video.CodecName;
  EXPECT_FLOAT_EQ(video.SampleAspectRatio, 1.0f);
  EXPECT_EQ(video.DAR.num, 4);
  EXPECT_EQ(video.DAR.den, 3);
  EXPECT_NEAR(video.DisplayAspectRatio, 4.0 / 3.0, 1e-6);

  const media::TAudioStreamInfo audio = FDecoder.FirstAudioStreamInfo();
  EXPECT_EQ(audio.Channels, 1);
  EXPECT_EQ(audio.SampleRate, fixtures::kClipAudioRate);
  EXPECT_EQ(audio.SampleFormat, AV_SAMPLE_FMT_S16);
  EXPECT_EQ(audio.CodecName.rfind("pcm_s16le", 0), 0u) << audio.CodecName;
  EXPECT_EQ(audio.BitRate, 128000);

  FDecoder.SetGetLongCodecName(false);
  EXPECT_EQ(FDecoder.FirstVideoStreamInfo().CodecName, "mpeg4");

  // The quick summary agrees with the full records; a stream that is not video gives the reset
  // values without an error.
  EXPECT_EQ(FDecoder.FileDuration(), file.Duration);
  const media::TVideoStreamSummary summary = FDecoder.VideoStreamSummary(0);
  EXPECT_EQ(summary.Width, video.Width);
  EXPECT_EQ(summary.Height, video.Height);
  EXPECT_EQ(summary.BitRate, video.BitRate);
  EXPECT_EQ(av_cmp_q(summary.FrameRate, video.FrameRate), 0);
  FDecoder.CloseFile();
  ASSERT_TRUE(FDecoder.LoadFile(f.ClipAvi));
  EXPECT_EQ(FDecoder.VideoStreamSummary(1).Width, -1);
  EXPECT_EQ(FDecoder.VideoStreamSummary(7).FrameRate.num, 0);
  EXPECT_EQ(FDecoder.LastErrMsg(), "");
}

TEST_F(DecoderInfoTest, ClipAviInfoText) {
  const auto& f = MediaFixtures();
  ASSERT_TRUE(FDecoder.LoadFile(f.ClipAvi)) << FDecoder.LastErrMsg();
  const std::string text = FDecoder.FileInfoText();
  const auto lines = Lines(text);
  ASSERT_GE(lines.size(), 7u) << text;
  EXPECT_EQ(lines[0], "File Name: " + f.ClipAvi);
  EXPECT_EQ(lines[1], "Format Name: avi");
  EXPECT_EQ(lines[2], "Format Long Name: AVI (Audio Video Interleaved)");
  EXPECT_EQ(lines[3].rfind("File Size: ", 0), 0u);
  EXPECT_TRUE(HasLineStartingWith(text, "Duration: 00:00:02.000, start: 0.000000, bitrate: ")) << text;
  EXPECT_TRUE(HasLineStartingWith(text, "  Stream #0, 1/25: Video: mpeg4")) << text;
  EXPECT_NE(text.find("64x48"), std::string::npos) << text;
  EXPECT_NE(text.find(", 25 fps, 25 tbr, 25 tbn"), std::string::npos) << text;
  EXPECT_TRUE(HasLineStartingWith(text, "  Stream #1, 1/8000: Audio: pcm_s16le")) << text;
  EXPECT_NE(text.find("8000 Hz, 1 channels, s16"), std::string::npos) << text;
  EXPECT_EQ(text.find("No Program"), std::string::npos);
}

TEST_F(DecoderInfoTest, ElementaryStreamWithoutDurationReadsMinusOneAndNA) {
  const auto& f = MediaFixtures();
  ASSERT_TRUE(FDecoder.LoadFile(f.ClipMjpeg)) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.StreamCount(), 1);
  EXPECT_EQ(FDecoder.FileStreamInfo().Duration, -1);
  EXPECT_EQ(FDecoder.FileDuration(), -1);
  const media::TVideoStreamInfo video = FDecoder.FirstVideoStreamInfo();
  EXPECT_EQ(video.Duration, -1);
  EXPECT_EQ(video.DurationScaled, -1);
  EXPECT_EQ(video.Width, fixtures::kClipWidth);
  EXPECT_TRUE(HasLineStartingWith(FDecoder.FileInfoText(), "Duration: N/A")) << FDecoder.FileInfoText();
}

TEST_F(DecoderInfoTest, StillImageHasOneVideoStream) {
  const auto& f = MediaFixtures();
  ASSERT_TRUE(FDecoder.LoadFile(f.StillPng)) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.VideoStreamCount(), 1);
  EXPECT_EQ(FDecoder.AudioStreamCount(), 0);
  EXPECT_EQ(FDecoder.FirstVideoStreamInfo().Width, fixtures::kClipWidth);
  EXPECT_EQ(FDecoder.FirstVideoStreamInfo().CodecName.rfind("png", 0), 0u);
}

TEST_F(DecoderInfoTest, ForcedFormatIsRemembered) {
  const auto& f = MediaFixtures();
  ASSERT_TRUE(FDecoder.LoadFile(f.ClipMjpeg, "mjpeg")) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.ForceFormat(), "mjpeg");
  EXPECT_EQ(FDecoder.FormatName(), "mjpeg");
}

struct TFailureCase {
  const char* Label;
  std::string (*Path)();
  const char* Format;
  std::string (*Message)(const std::string& path);
  friend void PrintTo(const TFailureCase& c, std::ostream* os) { *os << c.Label; }
};

class DecoderFailureTest : public DecoderInfoTest, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(DecoderFailureTest, FailsWithTheTextAndLeavesNoFileOpen) {
  const std::string path = GetParam().Path();
  // A file that was open before stays closed after the failure.
  ASSERT_TRUE(FDecoder.LoadFile(MediaFixtures().ClipAvi));
  EXPECT_FALSE(FDecoder.LoadFile(path, GetParam().Format));
  EXPECT_EQ(FDecoder.LastErrMsg(), GetParam().Message(path));
  EXPECT_EQ(FDecoder.FileHandle(), nullptr);
  EXPECT_EQ(FDecoder.StreamCount(), -1);
  EXPECT_EQ(FDecoder.FileSize(), -1);
  EXPECT_EQ(FDecoder.ForceFormat(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, DecoderFailureTest,
    ::testing::Values(
        TFailureCase{"missing file", [] { return MediaFixtures().Folder + "missing.avi"; }, "",
                     [](const std::string& p) { return p + ": No such file or directory"; }},
        TFailureCase{"unknown format", [] { return MediaFixtures().ClipAvi; }, "nosuchfmt",
                     [](const std::string&) { return std::string("Unknown input format: nosuchfmt"); }},
        TFailureCase{"text named avi", [] { return MediaFixtures().TextAvi; }, "",
                     [](const std::string& p) { return p + ": Invalid data found when processing input"; }},
        TFailureCase{"zero bytes", [] { return MediaFixtures().EmptyAvi; }, "",
                     [](const std::string& p) { return p + ": Invalid data found when processing input"; }}),
    [](const auto& info) {
      std::string name = info.param.Label;
      for (char& c : name)
        if (c == ' ') c = '_';
      return name;
    });

TEST_F(DecoderInfoTest, TruncatedFileStillOpens) {
  ASSERT_TRUE(FDecoder.LoadFile(MediaFixtures().TruncatedAvi)) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.VideoStreamCount(), 1);
  EXPECT_EQ(FDecoder.FirstVideoStreamInfo().Width, fixtures::kClipWidth);
}

TEST_F(DecoderInfoTest, CloseFileResetsEverything) {
  TLogCapture log;
  ASSERT_TRUE(FDecoder.LoadFile(MediaFixtures().ClipAvi));
  FDecoder.CloseFile();
  EXPECT_EQ(FDecoder.FileHandle(), nullptr);
  for (int count : {FDecoder.StreamCount(), FDecoder.ProgramCount(), FDecoder.AudioStreamCount(),
                    FDecoder.VideoStreamCount(), FDecoder.SubtitleStreamCount(), FDecoder.FirstAudioStreamIndex(),
                    FDecoder.FirstVideoStreamIndex(), FDecoder.FirstSubtitleStreamIndex()})
    EXPECT_EQ(count, -1);
  EXPECT_EQ(FDecoder.FileSize(), -1);
  EXPECT_EQ(FDecoder.FileName(), "");
  EXPECT_EQ(FDecoder.FileInfoText(), "");
  const media::TFileStreamInfo file = FDecoder.FileStreamInfo();
  EXPECT_EQ(file.StartTime, AV_NOPTS_VALUE);
  EXPECT_EQ(file.Duration, -1);
  EXPECT_EQ(file.BitRate, -1);
  EXPECT_EQ(file.Year, -1);
  EXPECT_EQ(FDecoder.LastErrMsg(), "file not loaded.");
  EXPECT_EQ(FDecoder.FirstVideoStreamInfo().Width, -1);
  EXPECT_TRUE(log.Contains("file not loaded."));
}

TEST_F(DecoderInfoTest, WrongStreamRequestsGiveResetRecordsAndTheirTexts) {
  TLogCapture log;
  ASSERT_TRUE(FDecoder.LoadFile(MediaFixtures().ClipAvi));
  EXPECT_EQ(FDecoder.GetVideoStreamInfo(1).Width, -1);
  EXPECT_EQ(FDecoder.LastErrMsg(), "stream #1 is not video stream.");
  EXPECT_EQ(FDecoder.GetAudioStreamInfo(0).Channels, -1);
  EXPECT_EQ(FDecoder.LastErrMsg(), "stream #0 is not audio stream.");
  EXPECT_EQ(FDecoder.GetAudioStreamInfo(5).SampleRate, -1);
  EXPECT_EQ(FDecoder.LastErrMsg(), "stream index #5 is invalid.");
  EXPECT_EQ(FDecoder.FirstSubtitleStreamInfo().SubFormat, -1);
  EXPECT_EQ(FDecoder.LastErrMsg(), "no subtitle stream.");
  EXPECT_TRUE(log.Contains("stream #1 is not video stream."));

  ASSERT_TRUE(FDecoder.LoadFile(MediaFixtures().ClipMjpeg));
  EXPECT_EQ(FDecoder.FirstAudioStreamInfo().Channels, -1);
  EXPECT_EQ(FDecoder.LastErrMsg(), "no audio stream.");
}

TEST_F(DecoderInfoTest, BeforeFindStreamInfoRunsOnTheMainThreadWithTheContext) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  int calls = 0;
  AVFormatContext* seen = nullptr;
  std::thread::id ranOn;
  FDecoder.OnBeforeFindStreamInfo = [&](AVFormatContext* ctx) {
    ++calls;
    seen = ctx;
    ranOn = std::this_thread::get_id();
  };
  ASSERT_TRUE(FDecoder.LoadFile(MediaFixtures().ClipAvi));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, FDecoder.FileHandle());
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(DecoderInfoTest, LeftoverFormatOptionsAreLoggedAndDropped) {
  TLogCapture log;
  FDecoder.Options().init_opts();
  media::FF().av_dict_set(&FDecoder.Options().format_opts(), "nosuchoption", "1", 0);
  ASSERT_TRUE(FDecoder.LoadFile(MediaFixtures().ClipAvi)) << FDecoder.LastErrMsg();
  EXPECT_TRUE(log.Contains("Option nosuchoption not found, ignored."));
  EXPECT_EQ(FDecoder.Options().format_opts(), nullptr);
}

TEST_F(DecoderInfoTest, InterruptCallbackCancelsAndTimesOut) {
  TLogCapture log;
  ASSERT_TRUE(FDecoder.LoadFile(MediaFixtures().ClipAvi));
  const AVIOInterruptCB cb = FDecoder.FileHandle()->interrupt_callback;
  ASSERT_NE(cb.callback, nullptr);
  EXPECT_EQ(cb.callback(cb.opaque), 0);  // just read
  FDecoder.SetLastReadTime(0);
  EXPECT_EQ(cb.callback(cb.opaque), 1);
  EXPECT_TRUE(log.Contains("connecting/reading canceled"));
  FDecoder.SetLastReadTime(media::FF().av_gettime_relative() - 31'000'000);
  EXPECT_EQ(cb.callback(cb.opaque), 1);
  EXPECT_TRUE(log.Contains("connecting/reading timeout"));
  FDecoder.SetReadTimeout(0);
  EXPECT_EQ(cb.callback(cb.opaque), 0);
  FDecoder.SetReadTimeout(30000);
  FDecoder.SetLastReadTime(INT64_MAX);
  EXPECT_EQ(cb.callback(cb.opaque), 0);
}

// A context built by hand, as a caller of SetFileHandle might hand over: odd values FFmpeg's
// demuxers do not produce.
TEST_F(DecoderInfoTest, BorrowedContextWithOddStreamValues) {
  media::TFormatContextPtr ctx(media::FF().avformat_alloc_context());
  ASSERT_NE(ctx, nullptr);
  AVStream* video = media::FF().avformat_new_stream(ctx.get(), nullptr);
  video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  video->codecpar->codec_id = AV_CODEC_ID_NONE;
  video->codecpar->codec_tag = MKTAG('A', 'B', 'C', 'D');
  video->codecpar->width = 64;
  video->codecpar->height = 0;
  video->codecpar->sample_aspect_ratio = AVRational{1, 1};
  video->time_base = AVRational{0, 0};
  video->start_time = 10;
  video->duration = 100;
  video->r_frame_rate = AVRational{25, 0};
  AVStream* other = media::FF().avformat_new_stream(ctx.get(), nullptr);
  other->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  other->codecpar->codec_tag = 0x01;
  other->codecpar->width = 32;
  other->codecpar->height = 32;
  other->codecpar->sample_aspect_ratio = AVRational{0, 0};
  ctx->duration = AV_NOPTS_VALUE;
  ctx->start_time = AV_NOPTS_VALUE;
  media::FF().av_dict_set(&ctx->metadata, "title", "first\nsecond", 0);
  media::FF().av_dict_set(&ctx->metadata, "language", "eng", 0);

  FDecoder.SetFileHandle(ctx.get());
  EXPECT_EQ(FDecoder.FileHandle(), ctx.get());
  EXPECT_EQ(FDecoder.StreamCount(), 2);
  EXPECT_EQ(FDecoder.VideoStreamCount(), 2);
  EXPECT_EQ(FDecoder.FileSize(), 0);

  const media::TVideoStreamInfo info = FDecoder.GetVideoStreamInfo(0);
  EXPECT_EQ(video->time_base.num, 0);
  EXPECT_EQ(video->time_base.den, 1);
  EXPECT_EQ(info.StartTime, 10);
  EXPECT_EQ(info.StartTimeScaled, 0);
  EXPECT_EQ(info.DurationScaled, 0);
  EXPECT_EQ(info.CodecName, "ABCD / 0x44434241");
  EXPECT_FLOAT_EQ(info.SampleAspectRatio, 1.0f);
  EXPECT_FLOAT_EQ(info.DisplayAspectRatio, -1.0f);  // height 0
  EXPECT_EQ(info.DAR.num, 0);
  EXPECT_EQ(info.FrameRate.num, 0);  // 25/0 is no rate
  EXPECT_EQ(info.FrameRate.den, 1);

  const media::TVideoStreamInfo second = FDecoder.GetVideoStreamInfo(1);
  EXPECT_EQ(second.CodecName, "0x0001");
  EXPECT_FLOAT_EQ(second.SampleAspectRatio, -1.0f);  // 0/0
  EXPECT_FLOAT_EQ(second.DisplayAspectRatio, -1.0f);

  const std::string text = FDecoder.FileInfoText();
  EXPECT_NE(text.find("\nMetadata:\n  title           : first\n                  : second\n"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("language"), std::string::npos) << text;
  EXPECT_TRUE(HasLineStartingWith(text, "Duration: N/A, bitrate: N/A")) << text;

  // Not owned: closing forgets the context without freeing it (the unique_ptr does).
  FDecoder.CloseFile();
  EXPECT_EQ(FDecoder.FileHandle(), nullptr);
  EXPECT_EQ(ctx->nb_streams, 2u);
}

TEST(DecoderWithoutLibrariesTest, LoadFileThrowsWhenTheLibrariesAreMissing) {
  if (media::FFLoader().Loaded(media::TLibrary::avUtil)) return test_support::RunThisTestAlone();
  TFFDecoder decoder;
  EXPECT_FALSE(decoder.AVLibLoaded());
  try {
    decoder.LoadFile("/nonexistent.avi");
    FAIL() << "no exception";
  } catch (const media::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Library avutil not loaded.");
  }
}

}  // namespace
