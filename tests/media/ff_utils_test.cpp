#include "media/ff_utils.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "media/ff_base.h"
#include "media/ff_loader.h"
#include "media_test_support.h"

namespace {

void LoadFFmpeg() {
  ASSERT_TRUE(media::FFLoader().Load(media::DecoderLibraries)) << media::FFLoader().LastErrMsg();
}

TEST(MediaUtilsTest, FormatByteSizeUsesStrictThresholds) {
  struct TCase {
    std::int64_t Size;
    const char* Text;
  };
  const TCase cases[] = {{0, "0 Byte"},           {1024, "1024 Byte"},
                         {1025, "1.00 KB"},       {1048576, "1024.00 KB"},
                         {1048577, "1.00 MB"},    {1073741824, "1024.00 MB"},
                         {1073741825, "1.00 GB"}, {5LL * 1073741824 + 536870912, "5.50 GB"}};
  for (const TCase& c : cases) EXPECT_EQ(media::FormatByteSize(c.Size), c.Text) << c.Size;
}

TEST(MediaUtilsTest, DurationToStrRoundsToTheNearestMillisecond) {
  struct TCase {
    std::int64_t Micros;
    const char* Text;
  };
  const TCase cases[] = {{AV_NOPTS_VALUE, "N/A"},      {0, "00:00:00.000"},
                         {1000000, "00:00:01.000"},  // the old code printed 00:00:01.005
                         {1999999, "00:00:02.000"},    {1499, "00:00:00.001"},
                         {1500, "00:00:00.002"},       {62500000, "00:01:02.500"},
                         {3599999500, "01:00:00.000"}, {25LL * 3600 * 1000000, "25:00:00.000"},
                         {-1500000, "-00:00:01.500"}};
  for (const TCase& c : cases) EXPECT_EQ(media::DurationToStr(c.Micros), c.Text) << c.Micros;
}

TEST(MediaUtilsTest, TimestampToStrRescalesOtherTimeBases) {
  EXPECT_EQ(media::TimestampToStr(AVRational{1, 1000000}, 1999999), "00:00:02.000");
  EXPECT_EQ(media::TimestampToStr(AVRational{1, 90000}, AV_NOPTS_VALUE), "N/A");
  LoadFFmpeg();
  EXPECT_EQ(media::TimestampToStr(AVRational{1, 90000}, 90000 * 61 + 45000), "00:01:01.500");
  EXPECT_EQ(media::TimestampToStr(AVRational{1, 25}, 50), "00:00:02.000");
}

TEST(MediaUtilsTest, FrameDurationFallsBackTo25fps) {
  EXPECT_EQ(media::FrameDuration(AVRational{25, 1}), 40000);
  EXPECT_EQ(media::FrameDuration(AVRational{30000, 1001}), 33366);
  EXPECT_EQ(media::FrameDuration(AVRational{0, 1}), 40000);
  EXPECT_EQ(media::FrameDuration(AVRational{25, 0}), 40000);
}

TEST(MediaUtilsTest, SplitCommandLineFollowsTheQuotingRules) {
  struct TCase {
    const char* Line;
    std::vector<std::string> Words;
  };
  const TCase cases[] = {
      {"", {}},
      {"   \t ", {}},
      {R"(a "b c" d)", {"a", "b c", "d"}},
      {"  -i\tin.avi  -y ", {"-i", "in.avi", "-y"}},
      {R"(a\"b)", {"a\"b"}},                          // odd run: literal quote
      {R"(a\\"b c")", {"a\\b c"}},                    // even run: half the backslashes, quote opens
      {R"(a\\\"b)", {"a\\\"b"}},                      // three: one backslash and a literal quote
      {R"(C:\dir\file.txt)", {"C:\\dir\\file.txt"}},  // backslashes without quote stay
      {R"("a""b")", {"a\"b"}},                        // "" inside quotes gives one quote
      {R"("a""b c")", {"a\"b", "c"}},                 // ...and leaves quoting, as the old run-time did
      {R"(-vf "scale=640:480" -metadata "title=It's ""fine""")",
       {"-vf", "scale=640:480", "-metadata", "title=It's \"fine\""}},
      {R"("")", {""}},
      {R"(x "")", {"x", ""}},
      {R"("unterminated quote)", {"unterminated quote"}},
  };
  for (const TCase& c : cases) EXPECT_EQ(media::SplitCommandLine(c.Line), c.Words) << c.Line;
}

TEST(MediaUtilsTest, FormatAVErrorKnowsFFmpegAndErrnoCodes) {
  struct TCase {
    const char* Prefix;
    int Code;
    const char* Text;
  };
  const TCase cases[] = {{"", AVERROR_EOF, "End of file"},
                         {"", AVERROR(EINVAL), "Invalid argument"},
                         {"", AVERROR(ENOENT), "No such file or directory"},
                         {"", AVERROR(ETIMEDOUT), "Connection timed out"},
                         {"", AVERROR_OPTION_NOT_FOUND, "Option not found"},
                         {"", AVERROR_INVALIDDATA, "Invalid data found when processing input"},
                         {"avcodec_open2", AVERROR_ENCODER_NOT_FOUND, "avcodec_open2: Encoder not found"},
                         {"", -123456, "Error number -123456 occurred"},
                         {"", 0, "Error number 0 occurred"},
                         {"x", -99999, "x: Error number -99999 occurred"}};
  for (const TCase& c : cases) EXPECT_EQ(media::FormatAVError(c.Prefix, c.Code), c.Text) << c.Code;
}

// If this fails after an FFmpeg upgrade, libavutil changed a text or added a code: update the
// table in ff_utils.cpp.
TEST(MediaUtilsTest, FormatAVErrorAgreesWithAvStrerror) {
  LoadFFmpeg();
  const int codes[] = {AVERROR_BSF_NOT_FOUND,
                       AVERROR_BUG,
                       AVERROR_BUG2,
                       AVERROR_BUFFER_TOO_SMALL,
                       AVERROR_DECODER_NOT_FOUND,
                       AVERROR_DEMUXER_NOT_FOUND,
                       AVERROR_ENCODER_NOT_FOUND,
                       AVERROR_EOF,
                       AVERROR_EXIT,
                       AVERROR_EXTERNAL,
                       AVERROR_FILTER_NOT_FOUND,
                       AVERROR_INVALIDDATA,
                       AVERROR_MUXER_NOT_FOUND,
                       AVERROR_OPTION_NOT_FOUND,
                       AVERROR_PATCHWELCOME,
                       AVERROR_PROTOCOL_NOT_FOUND,
                       AVERROR_STREAM_NOT_FOUND,
                       AVERROR_UNKNOWN,
                       AVERROR_EXPERIMENTAL,
                       AVERROR_INPUT_CHANGED,
                       AVERROR_OUTPUT_CHANGED,
                       AVERROR_HTTP_BAD_REQUEST,
                       AVERROR_HTTP_UNAUTHORIZED,
                       AVERROR_HTTP_FORBIDDEN,
                       AVERROR_HTTP_NOT_FOUND,
                       AVERROR_HTTP_OTHER_4XX,
                       AVERROR_HTTP_SERVER_ERROR,
                       AVERROR(EAGAIN),
                       AVERROR(ENOMEM),
                       AVERROR(EIO),
                       -424242};
  for (int code : codes) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    media::FF().av_strerror(code, text, sizeof text);
    EXPECT_EQ(media::FormatAVError(code), text) << code;
  }
}

TEST(MediaUtilsTest, UTCOffsetTextSignIsEastPositive) {
  EXPECT_EQ(media::UTCOffsetText(0), "UTC");
  EXPECT_EQ(media::UTCOffsetText(7200), "UTC+02:00");
  EXPECT_EQ(media::UTCOffsetText(-7200), "UTC-02:00");
  EXPECT_EQ(media::UTCOffsetText(19800), "UTC+05:30");
  EXPECT_EQ(media::UTCOffsetText(-34200), "UTC-09:30");
  EXPECT_EQ(media::UTCOffsetText().rfind("UTC", 0), 0u);
}

TEST(MediaUtilsTest, SplitStringTakesTheHeadAndOptionallyConsumes) {
  std::string text = "key=value=more";
  EXPECT_EQ(media::SplitString(text, "=", false), "key");
  EXPECT_EQ(text, "key=value=more");
  EXPECT_EQ(media::SplitString(text, "=", true), "key");
  EXPECT_EQ(text, "value=more");
  std::string none = "plain";
  EXPECT_EQ(media::SplitString(none, ",", true), "plain");
  EXPECT_EQ(none, "");
}

TEST(MediaUtilsTest, SmallConversions) {
  EXPECT_EQ(media::MakeFourCC('R', 'I', 'F', 'F'), 0x46464952u);
  EXPECT_EQ(media::GetMediaTypeName(AVMEDIA_TYPE_VIDEO), "Video");
  EXPECT_EQ(media::GetMediaTypeName(AVMEDIA_TYPE_ATTACHMENT), "Attachment");
  EXPECT_EQ(media::GetMediaTypeName(AVMEDIA_TYPE_UNKNOWN), "Unknown");
  EXPECT_EQ(media::GetPictureTypeName(AV_PICTURE_TYPE_B), "Bi-dir predicted");
  EXPECT_EQ(media::GetPictureTypeName(AV_PICTURE_TYPE_BI), "BI type");
  EXPECT_EQ(media::GetPictureTypeName(AV_PICTURE_TYPE_NONE), "Unknown");
  EXPECT_EQ(media::UTF8ToStr(nullptr), "");
  EXPECT_EQ(media::FileNameToFF("/tmp/ä.JPG"), "/tmp/ä.JPG");
  const std::tm epoch = media::UnixTimeToLocal(0);
  EXPECT_TRUE(epoch.tm_year == 70 || epoch.tm_year == 69);
}

TEST(MediaUtilsTest, GuessImage2CodecByExtension) {
  struct TCase {
    const char* Name;
    AVCodecID Codec;
  };
  const TCase cases[] = {{"photo.JPG", AV_CODEC_ID_MJPEG}, {"/a.b/c.png", AV_CODEC_ID_PNG},
                         {"x.pic", AV_CODEC_ID_QDRAW},     {"x.yuv10", AV_CODEC_ID_V210X},
                         {"x.xwd", AV_CODEC_ID_XWD},       {"movie.mp4", AV_CODEC_ID_NONE},
                         {"noext", AV_CODEC_ID_NONE},      {"trailing.", AV_CODEC_ID_NONE}};
  for (const TCase& c : cases) EXPECT_EQ(media::GuessImage2Codec(c.Name), c.Codec) << c.Name;
}

TEST(MediaUtilsTest, GetFileSize64) {
  const std::string dir = media_test::MakeTempDir("size");
  std::ofstream(dir + "/five.bin") << "12345";
  EXPECT_EQ(media::GetFileSize64(dir + "/five.bin"), 5);
  EXPECT_EQ(media::GetFileSize64(dir + "/missing.bin"), -1);
  EXPECT_EQ(media::GetFileSize64(dir), -1);
}

TEST(MediaUtilsTest, GrowArrayZeroFillsAndRefusesHugeCounts) {
  LoadFFmpeg();
  int count = 0;
  int* values = media::GrowArray<int>(nullptr, count, 3);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(count, 3);
  values[0] = 7;
  values = media::GrowArray(values, count, 2);  // already big enough
  EXPECT_EQ(count, 3);
  values = media::GrowArray(values, count, 6);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(values[0], 7);
  EXPECT_EQ(values[5], 0);
  try {
    media::GrowArray(values, count, 2147483647 / 4);
    FAIL() << "no exception";
  } catch (const media::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Array too big.");
  }
  EXPECT_EQ(count, 6);
  media::FF().av_free(values);
}

TEST(MediaUtilsTest, DictionaryValueOrDefault) {
  LoadFFmpeg();
  AVDictionary* dict = nullptr;
  media::FF().av_dict_set(&dict, "title", "Ünïcode", 0);
  EXPECT_EQ(media::GetDictValue(dict, "title", "-"), "Ünïcode");
  EXPECT_EQ(media::GetDictValue(dict, "artist", "-"), "-");
  EXPECT_EQ(media::GetDictValue(nullptr, "title", "none"), "none");
  media::FF().av_dict_free(&dict);
}

TEST(MediaUtilsTest, GetRotationReadsTheDisplayMatrix) {
  LoadFFmpeg();
  const media::TFFApi& api = media::FF();
  AVFormatContext* ctx = api.avformat_alloc_context();
  AVStream* plain = api.avformat_new_stream(ctx, nullptr);
  EXPECT_EQ(media::GetRotation(plain), 0.0);
  struct TCase {
    double Set;
    double Expected;
  };
  // av_display_rotation_get answers the opposite sense of av_display_rotation_set, so the
  // negation brings back the angle that was set, reduced into [0, 360).
  for (const TCase c : {TCase{90, 90}, TCase{-90, 270}, TCase{180, 180}, TCase{-180, 180}, TCase{45, 45}}) {
    AVStream* st = api.avformat_new_stream(ctx, nullptr);
    auto* matrix =
        reinterpret_cast<std::int32_t*>(api.av_stream_new_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, 9 * 4));
    api.av_display_rotation_set(matrix, c.Set);
    EXPECT_NEAR(media::GetRotation(st), c.Expected, 0.01) << c.Set;
  }
  api.avformat_free_context(ctx);
}

TEST(MediaUtilsTest, RegisteredInputFormatsComeFirst) {
  LoadFFmpeg();
  static const AVInputFormat own = [] {
    AVInputFormat f{};
    f.name = "waveinput_test";
    f.long_name = "test format";
    return f;
  }();
  EXPECT_EQ(media::FindInputFormat("waveinput_test"), nullptr);
  media::RegisterInputFormat(&own);
  media::RegisterInputFormat(&own);
  EXPECT_EQ(media::FindInputFormat("waveinput_test"), &own);
  EXPECT_NE(media::FindInputFormat("wav"), nullptr);
}

class TTimeoutComponent : public media::TFFBaseComponent {
 public:
  std::string ClassName() const override { return "TTimeoutComponent"; }
  void SetReadTimeout(int ms) override {
    ++Calls;
    TFFBaseComponent::SetReadTimeout(ms);
  }
  int Calls = 0;
};

TEST(MediaUtilsTest, BaseComponentDefaults) {
  TTimeoutComponent c;
  EXPECT_EQ(c.Version(), "7.0");
  EXPECT_EQ(c.About(), "");
  EXPECT_EQ(c.ReadTimeout(), 30000);
  EXPECT_EQ(c.WriteTimeout(), 30000);
  media::TFFBaseComponent& base = c;
  base.SetReadTimeout(500);
  EXPECT_EQ(c.Calls, 1);
  EXPECT_EQ(c.ReadTimeout(), 500);
  c.SetName("Encoder1");
  EXPECT_EQ(c.ReporterInfo(), "[TTimeoutComponent.Encoder1] ");
  const int before = media::TFFBaseComponent::FPUExceptionsDisabledCount();
  media::TFFBaseComponent::DisableFPUExceptions();
  EXPECT_EQ(media::TFFBaseComponent::FPUExceptionsDisabledCount(), before + 1);
}

}  // namespace
