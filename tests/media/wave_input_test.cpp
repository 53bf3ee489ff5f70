// The wave input: its configuration through the demuxer options, the bytes and time stamps it
// hands over, how the handler's answers end or break the stream, and PCM from a callback written
// out as a WAV file of the right duration.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/custom_decoder.h"
#include "media/ff_handles.h"
#include "media/ff_loader.h"
#include "media/ff_logger.h"
#include "media/ff_utils.h"
#include "media/wave_input.h"
#include "media_test_support.h"

namespace {

using media::FF;
using media::TInputWaveInfo;
using media::TWaveInputAdapter;
using media_test::TLogCapture;

// Answers with `chunk` bytes of a rising byte pattern until `total` bytes are given, then -1;
// every call is recorded. zeroEvery > 0 answers 0 on every zeroEvery-th call.
struct TWaveSource {
  std::int64_t Total = 0;
  int Chunk = 0;
  int ZeroEvery = 0;
  std::int64_t Given = 0;
  std::vector<TInputWaveInfo> Calls;
  int Headers = 0;
  int Closes = 0;
  int CallsBeforeHeader = 0;

  void Attach(TWaveInputAdapter& adapter) {
    adapter.OnReadHeader = [this](TWaveInputAdapter* sender) {
      ++Headers;
      ASSERT_NE(sender->WaveInfo(), nullptr);
    };
    adapter.OnReadClose = [this](TWaveInputAdapter*) { ++Closes; };
    adapter.OnReadWaveData = [this](TWaveInputAdapter*, std::uint8_t* data, TInputWaveInfo* info) {
      if (Headers == 0) ++CallsBeforeHeader;
      Calls.push_back(*info);
      if (Given >= Total) return -1;
      if (ZeroEvery > 0 && int(Calls.size()) % ZeroEvery == 0) return 0;
      const int n = int(std::min<std::int64_t>({Chunk, Total - Given, info->FrameSize}));
      for (int i = 0; i < n; ++i) data[i] = std::uint8_t(Given + i);
      Given += n;
      return n;
    };
  }
};

// Reads every packet; returns the bytes and the final av_read_frame result.
std::pair<std::string, int> ReadAll(AVFormatContext* ctx) {
  std::string bytes;
  const media::TPacketPtr packet{FF().av_packet_alloc()};
  int ret;
  while ((ret = FF().av_read_frame(ctx, packet.get())) >= 0) {
    bytes.append(reinterpret_cast<const char*>(packet->data), std::size_t(packet->size));
    FF().av_packet_unref(packet.get());
  }
  return {bytes, ret};
}

AVDictionary* Options(const std::vector<std::pair<const char*, const char*>>& entries) {
  AVDictionary* dict = nullptr;
  for (const auto& [key, value] : entries) FF().av_dict_set(&dict, key, value, 0);
  return dict;
}

class WaveInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media::FFLoader().Load(media::EncoderLibraries)) << media::FFLoader().LastErrMsg();
    media::RegisterWaveInputFormat();
  }
};

struct TConfigCase {
  const char* Name;
  std::vector<std::pair<const char*, const char*>> Options;
  const char* FileName;  // null: the adapter's own name
  int FrameSize;         // 0: the opening fails with AVERROR(EINVAL)
  int Rate, Channels;
  AVSampleFormat Format;
  const char* Message;  // the log line of a failure
};

class WaveInputConfigTest : public WaveInputTest, public ::testing::WithParamInterface<TConfigCase> {};

TEST_P(WaveInputConfigTest, OpensOrRefusesAsConfigured) {
  const TConfigCase& c = GetParam();
  TLogCapture log;
  TWaveInputAdapter adapter;
  TWaveSource source;
  source.Attach(adapter);
  AVDictionary* options = Options(c.Options);
  FF().av_dict_set(&options, "unrelated", "1", 0);
  AVFormatContext* ctx = nullptr;
  const int ret = media::OpenWaveInput(&ctx, c.FileName ? c.FileName : adapter.InputName(), &options);
  if (c.FrameSize == 0) {
    EXPECT_EQ(ret, AVERROR(EINVAL));
    EXPECT_EQ(ctx, nullptr);
    EXPECT_TRUE(log.Contains(c.Message)) << c.Message;
    EXPECT_EQ(source.Headers, 0);
  } else {
    ASSERT_GE(ret, 0) << media::FormatAVError(ret);
    ASSERT_EQ(ctx->nb_streams, 1u);
    const AVCodecParameters* par = ctx->streams[0]->codecpar;
    EXPECT_EQ(par->sample_rate, c.Rate);
    EXPECT_EQ(par->ch_layout.nb_channels, c.Channels);
    EXPECT_EQ(par->format, c.Format);
    ASSERT_NE(adapter.WaveInfo(), nullptr);
    EXPECT_EQ(adapter.WaveInfo()->FrameSize, c.FrameSize);
    EXPECT_EQ(adapter.WaveInfo()->SampleRate, c.Rate);
    EXPECT_EQ(adapter.WaveInfo()->Channels, c.Channels);
    EXPECT_EQ(source.Headers, 1);
    // Our three options are used up; the caller gets back what nobody took.
    EXPECT_EQ(FF().av_dict_get(options, "sample_rate", nullptr, 0), nullptr);
    EXPECT_NE(FF().av_dict_get(options, "unrelated", nullptr, 0), nullptr);
    media::CloseInputFormat(&ctx);
    EXPECT_EQ(ctx, nullptr);
    EXPECT_EQ(source.Closes, 1);
    EXPECT_EQ(adapter.WaveInfo(), nullptr);
  }
  FF().av_dict_free(&options);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WaveInputConfigTest,
    ::testing::Values(
        TConfigCase{"Defaults", {}, nullptr, 4096, 44100, 2, AV_SAMPLE_FMT_S16, ""},
        TConfigCase{"S16Stereo", {{"sample_fmt", "s16"}, {"sample_rate", "44100"}, {"channels", "2"}}, nullptr, 4096,
                    44100, 2, AV_SAMPLE_FMT_S16, ""},
        TConfigCase{"U8Mono", {{"sample_fmt", "u8"}, {"sample_rate", "8000"}, {"channels", "1"}}, nullptr, 1024, 8000,
                    1, AV_SAMPLE_FMT_U8, ""},
        TConfigCase{"S32Six", {{"sample_fmt", "s32"}, {"sample_rate", "48000"}, {"channels", "6"}}, nullptr, 24576,
                    48000, 6, AV_SAMPLE_FMT_S32, ""},
        TConfigCase{"EmptyFormatIsS16", {{"sample_fmt", ""}, {"channels", "3"}}, nullptr, 6144, 44100, 3,
                    AV_SAMPLE_FMT_S16, ""},
        TConfigCase{"FloatFormat", {{"sample_fmt", "flt"}}, nullptr, 0, 0, 0, AV_SAMPLE_FMT_NONE,
                    "Invalid sample format: \"flt\", it should be u8, s16 or s32"},
        TConfigCase{"UnknownFormat", {{"sample_fmt", "abc"}}, nullptr, 0, 0, 0, AV_SAMPLE_FMT_NONE,
                    "Invalid sample format: \"abc\", it should be u8, s16 or s32"},
        TConfigCase{"RateZero", {{"sample_rate", "0"}}, nullptr, 0, 0, 0, AV_SAMPLE_FMT_NONE, "Invalid sample rate 0"},
        TConfigCase{"ChannelsZero", {{"channels", "0"}}, nullptr, 0, 0, 0, AV_SAMPLE_FMT_NONE, "Invalid channels 0"},
        TConfigCase{"TooManyChannels", {{"channels", "2147483647"}}, nullptr, 0, 0, 0, AV_SAMPLE_FMT_NONE,
                    "Invalid channels 2147483647"},
        TConfigCase{"RateNotANumber", {{"sample_rate", "fast"}}, nullptr, 0, 0, 0, AV_SAMPLE_FMT_NONE,
                    "Unable to parse option value \"fast\""},
        TConfigCase{"NameNotANumber", {}, "abc", 0, 0, 0, AV_SAMPLE_FMT_NONE,
                    "Could not parse WaveInputAdapter: \"abc\", it should be address of WaveInputAdapter"},
        TConfigCase{"NameWithTail", {}, "1x", 0, 0, 0, AV_SAMPLE_FMT_NONE, "Could not parse WaveInputAdapter: \"1x\""},
        TConfigCase{"NameZero", {}, "0", 0, 0, 0, AV_SAMPLE_FMT_NONE, "Invalid WaveInputAdapter"},
        TConfigCase{"NameOfNoAdapter", {}, "987654321", 0, 0, 0, AV_SAMPLE_FMT_NONE, "Invalid WaveInputAdapter"}),
    [](const ::testing::TestParamInfo<TConfigCase>& info) { return std::string(info.param.Name); });

TEST_F(WaveInputTest, TheDescriptionIsFoundByNameAndCannotBeOpenedByFFmpegItself) {
  const AVInputFormat* format = media::FindInputFormat("waveinput");
  ASSERT_NE(format, nullptr);
  EXPECT_TRUE(media::IsWaveInputFormat(format));
  EXPECT_STREQ(format->long_name, "Wave input");
  ASSERT_NE(format->priv_class, nullptr);
  EXPECT_STREQ(format->priv_class->class_name, "WaveInputFormat");
  // av_opt_find takes the address of a class pointer for a class without an object.
  const AVClass* privClass = format->priv_class;
  auto find = [&](const char* name) {
    return FF().av_opt_find(&privClass, name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
  };
  const AVOption* rate = find("sample_rate");
  ASSERT_NE(rate, nullptr);
  EXPECT_STREQ(rate->help, "set audio sampling rate (in Hz)");
  EXPECT_EQ(rate->default_val.i64, 44100);
  EXPECT_NE(find("channels"), nullptr);
  EXPECT_NE(find("sample_fmt"), nullptr);

  TWaveInputAdapter adapter;
  AVFormatContext* ctx = nullptr;
  EXPECT_LT(FF().avformat_open_input(&ctx, adapter.InputName().c_str(), format, nullptr), 0);
  EXPECT_EQ(ctx, nullptr);

  // Through the openers that know the table it opens.
  TWaveSource source;
  source.Attach(adapter);
  ASSERT_GE(media::OpenInputFormat(&ctx, adapter.InputName(), format, nullptr), 0);
  media::CloseInputFormat(&ctx);
  EXPECT_EQ(source.Closes, 1);
}

// An owner that drops the adapter before closing its input: the input's AVIOContext went with the
// adapter, so closing must neither read it nor raise the (cleared) events.
TEST_F(WaveInputTest, ClosingAfterTheAdapterIsGoneTouchesNothingOfIt) {
  auto adapter = std::make_unique<TWaveInputAdapter>();
  TWaveSource source;
  source.Total = 4096;
  source.Chunk = 4096;
  source.Attach(*adapter);
  AVFormatContext* ctx = nullptr;
  ASSERT_GE(media::OpenWaveInput(&ctx, adapter->InputName(), nullptr), 0);
  adapter.reset();
  media::CloseInputFormat(&ctx);
  EXPECT_EQ(ctx, nullptr);
  EXPECT_EQ(source.Closes, 0);
}

// 44100 Hz stereo s16: one second is 176400 bytes, so the answer after them is stamped 1000000 µs.
// Answers of 0 in between change nothing but the count of requests.
TEST_F(WaveInputTest, HandsOverEveryByteWithTimeStampsAndEndsOnANegativeAnswer) {
  for (int zeroEvery : {0, 3}) {
    SCOPED_TRACE(zeroEvery);
    TLogCapture log;
    TWaveInputAdapter adapter;
    TWaveSource source;
    source.Total = 176400;
    source.Chunk = 4096;
    source.ZeroEvery = zeroEvery;
    source.Attach(adapter);
    AVFormatContext* ctx = nullptr;
    ASSERT_GE(media::OpenWaveInput(&ctx, adapter.InputName(), nullptr), 0);
    ASSERT_EQ(FF().avformat_find_stream_info(ctx, nullptr), 0);
    const auto [bytes, end] = ReadAll(ctx);
    EXPECT_EQ(end, AVERROR_EOF);
    ASSERT_EQ(bytes.size(), 176400u);
    for (std::size_t i = 0; i < bytes.size(); i += 9973) EXPECT_EQ(std::uint8_t(bytes[i]), std::uint8_t(i)) << i;
    EXPECT_EQ(source.CallsBeforeHeader, 0);
    ASSERT_FALSE(source.Calls.empty());
    for (std::size_t i = 0; i < source.Calls.size(); ++i) EXPECT_EQ(source.Calls[i].FrameNumber, int(i) + 1);
    const TInputWaveInfo& last = source.Calls.back();  // the request answered with -1
    EXPECT_EQ(last.TotalSize, 176400);
    EXPECT_EQ(last.TimeStamp, 1000000);
    EXPECT_EQ(source.Calls[1].TimeStamp, 4096 * 500000 / (44100 * 2));
    EXPECT_EQ(source.Closes, 1);
    EXPECT_TRUE(log.Contains("reading wave data return -1"));
    // Asked no further once ended.
    const std::size_t calls = source.Calls.size();
    EXPECT_EQ(ReadAll(ctx).second, AVERROR_EOF);
    EXPECT_EQ(source.Calls.size(), calls);
    media::CloseInputFormat(&ctx);
    EXPECT_EQ(source.Closes, 1);
  }
}

struct TBreachCase {
  const char* Name;
  std::function<int(std::uint8_t*, TInputWaveInfo*)> Answer;
  int Expected;
  const char* Message;
};

class WaveInputBreachTest : public WaveInputTest, public ::testing::WithParamInterface<TBreachCase> {};

// A handler that answers more than a frame, or throws, fails the input after the bytes it gave
// correctly before; nothing it wrote in the failing answer is handed on.
TEST_P(WaveInputBreachTest, FailsTheInputAfterTheGoodBytes) {
  TLogCapture log;
  TWaveInputAdapter adapter;
  int calls = 0;
  int closes = 0;
  adapter.OnReadClose = [&](TWaveInputAdapter*) { ++closes; };
  adapter.OnReadWaveData = [&](TWaveInputAdapter*, std::uint8_t* data, TInputWaveInfo* info) {
    if (++calls <= 2) {
      std::memset(data, 1, std::size_t(info->FrameSize));
      return info->FrameSize;
    }
    return GetParam().Answer(data, info);
  };
  AVFormatContext* ctx = nullptr;
  ASSERT_GE(media::OpenWaveInput(&ctx, adapter.InputName(), nullptr), 0);
  const auto [bytes, end] = ReadAll(ctx);
  EXPECT_EQ(end, GetParam().Expected);
  EXPECT_EQ(bytes, std::string(2 * 4096, '\1'));
  EXPECT_TRUE(log.Contains(GetParam().Message));
  EXPECT_EQ(closes, 1);
  media::CloseInputFormat(&ctx);
  EXPECT_EQ(closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, WaveInputBreachTest,
    ::testing::Values(
        TBreachCase{"AnswerAboveFrameSize",
                    [](std::uint8_t* data, TInputWaveInfo* info) {
                      std::memset(data, 2, std::size_t(info->FrameSize));
                      return info->FrameSize + 1;
                    },
                    AVERROR(EINVAL), "reading wave data return 4097, more than the frame size 4096"},
        TBreachCase{"Throws", [](std::uint8_t*, TInputWaveInfo*) -> int { throw std::runtime_error("device gone"); },
                    AVERROR_EXTERNAL, "OnReadWaveData failed: device gone"}),
    [](const ::testing::TestParamInfo<TBreachCase>& info) { return std::string(info.param.Name); });

// Writes the packets of input into a WAV file without decoding them.
void RemuxToWav(AVFormatContext* input, const std::string& fileName) {
  AVFormatContext* allocated = nullptr;
  ASSERT_GE(FF().avformat_alloc_output_context2(&allocated, nullptr, "wav", fileName.c_str()), 0);
  const media::TOutputContextPtr output{allocated};
  AVStream* stream = FF().avformat_new_stream(output.get(), nullptr);
  ASSERT_NE(stream, nullptr);
  ASSERT_GE(FF().avcodec_parameters_copy(stream->codecpar, input->streams[0]->codecpar), 0);
  stream->time_base = input->streams[0]->time_base;
  ASSERT_GE(FF().avio_open(&output->pb, fileName.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(FF().avformat_write_header(output.get(), nullptr), 0);
  const media::TPacketPtr packet{FF().av_packet_alloc()};
  while (FF().av_read_frame(input, packet.get()) >= 0) {
    FF().av_packet_rescale_ts(packet.get(), input->streams[0]->time_base, stream->time_base);
    packet->stream_index = 0;
    ASSERT_GE(FF().av_interleaved_write_frame(output.get(), packet.get()), 0);
  }
  EXPECT_GE(FF().av_write_trailer(output.get()), 0);
}

// Three seconds of 8 kHz mono s16 (48000 bytes) given in uneven answers, some of them empty,
// become a WAV file that says it lasts three seconds.
TEST_F(WaveInputTest, PcmFromTheCallbackBecomesAWavFileOfTheRightDuration) {
  TWaveInputAdapter adapter;
  TWaveSource source;
  source.Total = 48000;
  source.Chunk = 1500;
  source.ZeroEvery = 5;
  source.Attach(adapter);
  AVDictionary* options = Options({{"sample_rate", "8000"}, {"channels", "1"}, {"sample_fmt", "s16"}});
  AVFormatContext* input = nullptr;
  ASSERT_GE(media::OpenWaveInput(&input, adapter.InputName(), &options), 0);
  FF().av_dict_free(&options);
  const std::string wav = media_test::MakeTempDir("wave_input") + "/tone.wav";
  RemuxToWav(input, wav);
  media::CloseInputFormat(&input);

  EXPECT_GT(media::GetFileSize64(wav), 48000);
  media::TCustomDecoder decoder;
  ASSERT_TRUE(decoder.LoadFile(wav)) << decoder.LastErrMsg();
  EXPECT_EQ(decoder.FileStreamInfo().Duration, 3000000);
  EXPECT_EQ(decoder.FormatName(), "wav");
}

}  // namespace
