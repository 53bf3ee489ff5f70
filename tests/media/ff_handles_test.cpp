#include "media/ff_handles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
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

// A small grey picture with buffers of its own (null when they could not be had).
media::TFramePtr GreyFrame() {
  media::TFramePtr frame{FF().av_frame_alloc()};
  frame->format = AV_PIX_FMT_GRAY8;
  frame->width = 8;
  frame->height = 8;
  if (FF().av_frame_get_buffer(frame.get(), 0) < 0) frame.reset();
  return frame;
}

// A subtitle of one text rectangle, its memory from FFmpeg's allocator as a decoder's would be.
AVSubtitle TextSubtitle(const char* text) {
  AVSubtitle subtitle{};
  subtitle.rects = static_cast<AVSubtitleRect**>(FF().av_mallocz(sizeof(AVSubtitleRect*)));
  subtitle.rects[0] = static_cast<AVSubtitleRect*>(FF().av_mallocz(sizeof(AVSubtitleRect)));
  subtitle.rects[0]->type = SUBTITLE_TEXT;
  subtitle.rects[0]->text = FF().av_strdup(text);
  subtitle.num_rects = 1;
  return subtitle;
}

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

// The owners of memory from FFmpeg's allocator, of I/O contexts (the engine's own files, a reader
// of our own) and of per-stream dictionaries release what they hold; the leak checker sees any
// that does not. An I/O context closed now writes its last bytes and gives back the result, as
// does the file of an output context, which is then closed only once.
TEST_F(FFHandlesTest, MemoryIOAndDictionaryOwnersReleaseWhatTheyHold) {
  media::TMemoryPtr<AVBufferSrcParameters> parameters{FF().av_buffersrc_parameters_alloc()};
  ASSERT_NE(parameters, nullptr);
  media::TMemoryPtr<uint16_t> matrix{static_cast<uint16_t*>(FF().av_mallocz(64 * sizeof(uint16_t)))};
  ASSERT_NE(matrix, nullptr);

  auto* buffer = static_cast<uint8_t*>(FF().av_malloc(4096));
  ASSERT_NE(buffer, nullptr);
  media::TCustomIOPtr custom{FF().avio_alloc_context(buffer, 4096, 0, nullptr, nullptr, nullptr, nullptr)};
  ASSERT_NE(custom, nullptr);

  media::TDictionaryArray perStream;
  for (const char* value : {"1", "2", "3"}) {
    media::TDictionaryPtr dict;
    FF().av_dict_set(media::OutPtr(dict), "key", value, 0);
    perStream.Add(std::move(dict));
  }
  ASSERT_EQ(perStream.size(), 3u);
  EXPECT_STREQ(FF().av_dict_get(perStream[2], "key", nullptr, 0)->value, "3");
  // A function that replaces a dictionary of the array leaves the new one to the array.
  FF().av_dict_set(&perStream.Data()[1], "other", "x", 0);
  media::TDictionaryArray moved = std::move(perStream);
  EXPECT_TRUE(perStream.empty());
  EXPECT_EQ(moved.size(), 3u);
  EXPECT_EQ(media::TDictionaryArray().Data(), nullptr);

  const std::string dir = media_test::MakeTempDir("handles-io");
  const std::vector<unsigned char> bytes(1000, 'x');
  media::TIOContextPtr io;
  ASSERT_GE(FF().avio_open(media::OutPtr(io), (dir + "/io.bin").c_str(), AVIO_FLAG_WRITE), 0);
  FF().avio_write(io.get(), bytes.data(), static_cast<int>(bytes.size()));
  EXPECT_EQ(media::CloseIONow(io), 0);
  EXPECT_EQ(io, nullptr);
  EXPECT_EQ(std::filesystem::file_size(dir + "/io.bin"), bytes.size());
  EXPECT_EQ(media::CloseIONow(io), 0) << "nothing left to close";

  AVFormatContext* raw = nullptr;
  ASSERT_GE(FF().avformat_alloc_output_context2(&raw, nullptr, "wav", (dir + "/out.wav").c_str()), 0);
  media::TOutputContextPtr output{raw};
  ASSERT_GE(FF().avio_open(&output->pb, (dir + "/out.wav").c_str(), AVIO_FLAG_WRITE), 0);
  FF().avio_write(output->pb, bytes.data(), static_cast<int>(bytes.size()));
  EXPECT_EQ(media::CloseOutputFile(output.get()), 0);
  EXPECT_EQ(output->pb, nullptr);
  EXPECT_EQ(std::filesystem::file_size(dir + "/out.wav"), bytes.size());
  output.reset();
}

// The owners the engine's records hold besides the ones above: each releases what it holds, the
// queues with whatever is still queued in them. Anything left over shows in the leak checker.
TEST_F(FFHandlesTest, RecordOwnersReleaseTheirHandlesAndWhatIsQueued) {
  const media::TFramePtr source = GreyFrame();
  ASSERT_NE(source, nullptr);
  media::TBufferRefPtr bufferRef{FF().av_buffer_ref(source->buf[0])};
  ASSERT_NE(bufferRef, nullptr);

  media::TEncoderContextPtr encoder{FF().avcodec_alloc_context3(nullptr)};
  encoder->stats_in = FF().av_strdup("two-pass statistics");

  media::TExpressionPtr expression;
  const char* const names[] = {"n", nullptr};
  ASSERT_GE(FF().av_expr_parse(media::OutPtr(expression), "n*2", names, nullptr, nullptr, nullptr, nullptr, 0,
                               nullptr),
            0);
  const double n = 21;
  EXPECT_EQ(FF().av_expr_eval(expression.get(), &n, nullptr), 42);

  media::TFrameQueuePtr frames{FF().av_fifo_alloc2(1, sizeof(AVFrame*), AV_FIFO_FLAG_AUTO_GROW)};
  media::TPacketQueuePtr packets{FF().av_fifo_alloc2(1, sizeof(AVPacket*), AV_FIFO_FLAG_AUTO_GROW)};
  media::TSubtitleQueuePtr subtitles{FF().av_fifo_alloc2(1, sizeof(AVSubtitle), AV_FIFO_FLAG_AUTO_GROW)};
  for (int i = 0; i < 3; i++) {
    AVFrame* frame = FF().av_frame_clone(source.get());
    ASSERT_GE(FF().av_fifo_write(frames.get(), &frame, 1), 0);
    AVPacket* packet = FF().av_packet_alloc();
    ASSERT_GE(FF().av_new_packet(packet, 64), 0);
    ASSERT_GE(FF().av_fifo_write(packets.get(), &packet, 1), 0);
    AVSubtitle subtitle = TextSubtitle("queued line");
    ASSERT_GE(FF().av_fifo_write(subtitles.get(), &subtitle, 1), 0);
  }
  EXPECT_EQ(FF().av_fifo_can_read(frames.get()), 3u);

  const std::string path = media_test::MakeTempDir("handles") + "/pass.log";
  media::TFilePtr file{std::fopen(path.c_str(), "wb")};
  ASSERT_NE(file, nullptr);
  std::fputs("stats", file.get());
  file.reset();
  EXPECT_EQ(std::filesystem::file_size(path), 5u) << "closed, so flushed";

  media::TFrameQueuePtr noQueue;
  media::TExpressionPtr noExpression;
  media::TFilePtr noFile;
}

// OutPtr lends an owner's handle to a function that sets, replaces or frees it through its
// address; afterwards the owner holds what the function left there, and nothing is freed twice.
TEST_F(FFHandlesTest, OutPtrHandsTheOwnersHandleToFunctionsThatSetIt) {
  media::TDictionaryPtr options;
  FF().av_dict_set(media::OutPtr(options), "threads", "auto", 0);
  ASSERT_NE(options, nullptr) << "allocated through the pointer";
  FF().av_dict_set(media::OutPtr(options), "flags", "+pass1", 0);
  FF().av_dict_set(media::OutPtr(options), "flags", "+pass2", AV_DICT_APPEND);
  EXPECT_EQ(FF().av_dict_count(options.get()), 2);
  EXPECT_STREQ(FF().av_dict_get(options.get(), "flags", nullptr, 0)->value, "+pass1+pass2");

  // The owner keeps its handle while the call runs: the same expression may read it, before or
  // after the lent address whichever order the compiler evaluates arguments in.
  const auto seenAround = [](const AVDictionary* before, AVDictionary** lent, const AVDictionary* after) {
    return before != nullptr && after == before && *lent == before;
  };
  EXPECT_TRUE(seenAround(options.get(), media::OutPtr(options), options.get()));
  FF().av_dict_set(media::OutPtr(options), "copy",
                   FF().av_dict_get(options.get(), "threads", nullptr, 0)->value, 0);
  EXPECT_STREQ(FF().av_dict_get(options.get(), "copy", nullptr, 0)->value, "auto");

  // A function that frees through the pointer leaves the owner empty.
  const media::TFramePtr frame = GreyFrame();
  ASSERT_NE(frame, nullptr);
  media::TBufferRefPtr ref{FF().av_buffer_ref(frame->buf[0])};
  FF().av_buffer_unref(media::OutPtr(ref));
  EXPECT_EQ(ref, nullptr);
  FF().av_dict_free(media::OutPtr(options));
  EXPECT_EQ(options, nullptr);

  // A failed open frees the context it was given and leaves null behind.
  media::TInputContextPtr input{FF().avformat_alloc_context()};
  ASSERT_NE(input, nullptr);
  EXPECT_LT(FF().avformat_open_input(media::OutPtr(input), "/nonexistent/input.wav", nullptr, nullptr), 0);
  EXPECT_EQ(input, nullptr);
  // A successful one leaves the opened context with the owner.
  ASSERT_EQ(FF().avformat_open_input(media::OutPtr(input), fixtures::MediaFixtures().ToneWav.c_str(), nullptr,
                                     nullptr),
            0);
  ASSERT_NE(input, nullptr);
  EXPECT_EQ(input->nb_streams, 1u);

  media::TBitstreamFilterPtr bsf;
  ASSERT_GE(FF().av_bsf_alloc(FF().av_bsf_get_by_name("null"), media::OutPtr(bsf)), 0);
  EXPECT_NE(bsf, nullptr);
}

// A value owner is the FFmpeg structure itself: its fields and address serve as before, and what
// its fields own goes with it.
TEST_F(FFHandlesTest, ValueOwnersClearWhatTheirFieldsOwn) {
  AVChannelLayout custom{};
  custom.order = AV_CHANNEL_ORDER_CUSTOM;
  custom.nb_channels = 2;
  custom.u.map = static_cast<AVChannelCustom*>(FF().av_calloc(2, sizeof(AVChannelCustom)));
  custom.u.map[0].id = AV_CHAN_FRONT_RIGHT;
  custom.u.map[1].id = AV_CHAN_FRONT_LEFT;
  {
    media::TChannelLayoutValue layout;
    EXPECT_EQ(layout.nb_channels, 0);
    ASSERT_EQ(FF().av_channel_layout_copy(&layout, &custom), 0);
    EXPECT_NE(layout.u.map, custom.u.map) << "a map of its own";
    EXPECT_EQ(layout.u.map[0].id, AV_CHAN_FRONT_RIGHT);
  }
  FF().av_channel_layout_uninit(&custom);

  media::TSubtitleValue kept;
  AVSubtitle decoded = TextSubtitle("line");
  decoded.end_display_time = 1000;
  std::swap(decoded, kept.Plain());
  EXPECT_EQ(kept.num_rects, 1u);
  EXPECT_EQ(kept.end_display_time, 1000u);
  EXPECT_EQ(decoded.num_rects, 0u) << "the empty value it held";
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
