#include "media/ff_handles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/media_fixtures.h"
#include "media/ff_api.h"
#include "media/ff_loader.h"
#include "media_test_support.h"

namespace {

using media::FF;

class FFHandlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media::FFLoader().Load(media::EncoderLibraries))
        << media::FFLoader().LastErrMsg();
  }
};

// The output owner closes the file before it frees the context: what the muxer's I/O buffer
// still held reaches the disk.
TEST_F(FFHandlesTest, OutputContextFlushesAndClosesItsFile) {
  const std::string path = media_test::MakeTempDir("handles") + "/out.wav";
  AVFormatContext* raw = nullptr;
  ASSERT_GE(FF().avformat_alloc_output_context2(&raw, nullptr, "wav", path.c_str()), 0);
  media::TOutputContextPtr output{raw};
  ASSERT_GE(FF().avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
  const std::vector<unsigned char> bytes(1000, 'x');
  FF().avio_write(output->pb, bytes.data(), static_cast<int>(bytes.size()));
  EXPECT_EQ(std::filesystem::file_size(path), 0u) << "still in the I/O buffer";
  output.reset();
  EXPECT_EQ(std::filesystem::file_size(path), bytes.size());
}

// A muxer without a file (the null muxer) has no I/O context to close.
TEST_F(FFHandlesTest, OutputContextOfMuxerWithoutFile) {
  AVFormatContext* raw = nullptr;
  ASSERT_GE(FF().avformat_alloc_output_context2(&raw, nullptr, "null", nullptr), 0);
  media::TOutputContextPtr output{raw};
  ASSERT_NE(output->oformat->flags & AVFMT_NOFILE, 0);
  output.reset();
  EXPECT_EQ(output, nullptr);
}

// Every owner releases what it holds; the leak checker of the sanitizer build sees any that
// does not. Null owners release nothing.
TEST_F(FFHandlesTest, EveryOwnerReleasesItsHandle) {
  const fixtures::TMediaFixtures& media = fixtures::MediaFixtures();
  AVFormatContext* input = nullptr;
  ASSERT_EQ(FF().avformat_open_input(&input, media.ToneWav.c_str(), nullptr, nullptr), 0);
  media::TInputContextPtr inputOwner{input};

  media::TFramePtr frame{FF().av_frame_alloc()};
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = 16;
  frame->height = 16;
  ASSERT_GE(FF().av_frame_get_buffer(frame.get(), 0), 0);
  media::TPacketPtr packet{FF().av_packet_alloc()};
  ASSERT_GE(FF().av_new_packet(packet.get(), 100), 0);
  media::TCodecContextPtr codec{FF().avcodec_alloc_context3(nullptr)};
  media::TCodecParametersPtr parameters{FF().avcodec_parameters_alloc()};
  AVDictionary* dict = nullptr;
  FF().av_dict_set(&dict, "key", "value", 0);
  media::TDictionaryPtr dictOwner{dict};
  media::TFilterGraphPtr graph{FF().avfilter_graph_alloc()};
  media::TFilterInOutPtr inOut{FF().avfilter_inout_alloc()};
  media::TFormatContextPtr context{FF().avformat_alloc_context()};
  media::TScalerPtr scaler{FF().sws_getCachedContext(nullptr, 16, 16, AV_PIX_FMT_YUV420P, 8, 8, AV_PIX_FMT_BGRA, SWS_BICUBIC,
                                               nullptr, nullptr, nullptr)};
  SwrContext* swr = nullptr;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  ASSERT_GE(FF().swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, 44100, &stereo, AV_SAMPLE_FMT_FLTP, 48000,
                                     0, nullptr),
            0);
  media::TResamplerPtr resampler{swr};
  AVBSFContext* bsf = nullptr;
  ASSERT_GE(FF().av_bsf_alloc(FF().av_bsf_get_by_name("null"), &bsf), 0);
  media::TBitstreamFilterPtr bsfOwner{bsf};
  for (const void* handle : {static_cast<const void*>(frame.get()), static_cast<const void*>(packet.get()),
                             static_cast<const void*>(codec.get()), static_cast<const void*>(parameters.get()),
                             static_cast<const void*>(graph.get()), static_cast<const void*>(inOut.get()),
                             static_cast<const void*>(context.get()), static_cast<const void*>(scaler.get())})
    EXPECT_NE(handle, nullptr);

  media::TFramePtr none;
  none.reset();
  media::TInputContextPtr noInput;
  noInput.reset();
}

// The media library's rational stand-in carries FFmpeg's values both ways.
TEST(FFTypesTest, RationalConvertsToAndFromFFmpeg) {
  const AVRational ntsc{30000, 1001};
  const media::TRational ours = ntsc;
  EXPECT_EQ(ours, media::TRational(30000, 1001));
  const AVRational back = ours;
  EXPECT_EQ(back.num, 30000);
  EXPECT_EQ(back.den, 1001);
  EXPECT_EQ(media::TRational().num, 0);
  EXPECT_EQ(media::TRational().den, 1);
}

}  // namespace
