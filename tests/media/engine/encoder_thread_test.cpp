// The video encoder's own thread: it gives back every packet in the encoder's order, the same
// packets as an encoder driven on the calling thread, reports a failure to the caller, and ends
// cleanly with frames still queued.

#include <gtest/gtest.h>

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "engine_test_support.h"
#include "media/engine/encoder_thread.h"
#include "media/ff_api.h"
#include "media/ff_handles.h"

namespace {

using media::FF;
using media::TEncoderThread;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

class EncoderThreadTest : public testing::Test {
 protected:
  void SetUp() override { engine_test::LoadLibraries(); }

  // An MPEG-4 part 2 encoder on one thread, so that its output does not depend on timing.
  static media::TCodecContextPtr OpenEncoder(bool open = true) {
    const AVCodec* codec = FF().avcodec_find_encoder_by_name("mpeg4");
    media::TCodecContextPtr enc(FF().avcodec_alloc_context3(codec));
    enc->width = kWidth;
    enc->height = kHeight;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = AVRational{1, 25};
    enc->gop_size = 10;
    enc->thread_count = 1;
    if (open) {
      EXPECT_GE(FF().avcodec_open2(enc.get(), codec, nullptr), 0);
    }
    return enc;
  }

  // Frame n: a picture whose brightness changes with n, so every frame differs.
  static media::TFramePtr Frame(int n) {
    media::TFramePtr frame(FF().av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = kWidth;
    frame->height = kHeight;
    EXPECT_GE(FF().av_frame_get_buffer(frame.get(), 0), 0);
    for (int plane = 0; plane < 3; plane++) {
      const int rows = plane == 0 ? kHeight : kHeight / 2;
      for (int y = 0; y < rows; y++)
        std::memset(frame->data[plane] + y * frame->linesize[plane],
                    plane == 0 ? (16 + 7 * n + y) & 0xff : 128, size_t(plane == 0 ? kWidth : kWidth / 2));
    }
    frame->pts = n;
    return frame;
  }

  struct TOut {
    int64_t Pts;
    std::vector<uint8_t> Bytes;
  };
  static TOut Copy(const AVPacket* pkt) {
    return {pkt->pts, std::vector<uint8_t>(pkt->data, pkt->data + pkt->size)};
  }

  // The encoder's remaining packets, on the calling thread.
  static void Flush(AVCodecContext* enc, std::vector<TOut>& out) {
    ASSERT_GE(FF().avcodec_send_frame(enc, nullptr), 0);
    media::TPacketPtr pkt(FF().av_packet_alloc());
    while (FF().avcodec_receive_packet(enc, pkt.get()) >= 0) {
      out.push_back(Copy(pkt.get()));
      FF().av_packet_unref(pkt.get());
    }
  }
};

TEST_F(EncoderThreadTest, GivesTheSamePacketsInOrderAsTheCallingThread) {
  constexpr int kFrames = 30;
  std::vector<TOut> direct;
  {
    media::TCodecContextPtr enc = OpenEncoder();
    media::TPacketPtr pkt(FF().av_packet_alloc());
    for (int n = 0; n < kFrames; n++) {
      ASSERT_GE(FF().avcodec_send_frame(enc.get(), Frame(n).get()), 0);
      while (FF().avcodec_receive_packet(enc.get(), pkt.get()) >= 0) {
        direct.push_back(Copy(pkt.get()));
        FF().av_packet_unref(pkt.get());
      }
    }
    Flush(enc.get(), direct);
  }

  std::vector<TOut> threaded;
  media::TCodecContextPtr enc = OpenEncoder();
  {
    TEncoderThread thread(enc.get());
    std::vector<TEncoderThread::TEncoded> encoded;
    for (int n = 0; n < kFrames; n++) {
      ASSERT_EQ(thread.Send(Frame(n).get(), 1000 + n), 0);
      ASSERT_EQ(thread.Take(encoded, n % 7 == 0), 0);  // now and then all of it, else what is done
    }
    ASSERT_EQ(thread.Take(encoded, true), 0);
    for (const TEncoderThread::TEncoded& e : encoded) {
      threaded.push_back(Copy(e.Packet.get()));
      // Each packet carries the counter its frame was sent with.
      EXPECT_EQ(e.SyncOpts, 1000 + e.Packet->pts);
    }
  }
  Flush(enc.get(), threaded);  // the thread is gone: the encoder is the caller's again

  ASSERT_EQ(threaded.size(), direct.size());
  ASSERT_EQ(direct.size(), size_t(kFrames));
  for (size_t i = 0; i < direct.size(); i++) {
    EXPECT_EQ(threaded[i].Pts, direct[i].Pts) << "packet " << i;
    EXPECT_EQ(threaded[i].Bytes, direct[i].Bytes) << "packet " << i;
  }
}

TEST_F(EncoderThreadTest, AFailureIsReportedAndNothingMoreIsEncoded) {
  // An encoder that was never opened refuses every frame.
  media::TCodecContextPtr enc = OpenEncoder(false);
  TEncoderThread thread(enc.get());
  ASSERT_EQ(thread.Send(Frame(0).get(), 0), 0);  // queued: the failure comes on the thread
  std::vector<TEncoderThread::TEncoded> encoded;
  const int error = thread.Take(encoded, true);
  EXPECT_EQ(error, AVERROR(EINVAL));
  EXPECT_TRUE(encoded.empty());
  EXPECT_EQ(thread.Send(Frame(1).get(), 1), error);
  EXPECT_EQ(thread.Take(encoded, true), error);
}

TEST_F(EncoderThreadTest, EndsWithFramesStillQueued) {
  media::TCodecContextPtr enc = OpenEncoder();
  for (int round = 0; round < 20; round++) {
    TEncoderThread thread(enc.get());
    for (int n = 0; n < 3; n++) ASSERT_EQ(thread.Send(Frame(round * 3 + n).get(), n), 0);
    // Destroyed at once: the frame being encoded finishes, the queued ones are dropped.
  }
  // The encoder is still usable from this thread.
  std::vector<TOut> rest;
  Flush(enc.get(), rest);
}

}  // namespace
