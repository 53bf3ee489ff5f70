// Bitmap subtitles burnt in with "-filter_complex [0:v][0:s]overlay": the subtitle's pixels appear
// while it is shown and the picture is untouched outside that time.
//
// The input: the source clip (2 s, 160x120) with a DVD subtitle track holding one white 64x16
// box at (20, 80), shown from 0.4 s to 1.4 s. The track is encoded here with libavcodec's DVD
// subtitle encoder and muxed together with the clip by Debian's ffmpeg.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "media/ff_api.h"

namespace {

using media::FF;

constexpr int kBoxX = 20, kBoxY = 80, kBoxW = 64, kBoxH = 16;

// One DVD subtitle packet track in Matroska; returns false with a reason.
bool WriteDvdSubtitles(const std::string& path, std::string& why) {
  const AVCodec* codec = FF().avcodec_find_encoder_by_name("dvdsub");
  if (codec == nullptr) {
    why = "no dvdsub encoder";
    return false;
  }
  AVCodecContext* enc = FF().avcodec_alloc_context3(codec);
  enc->width = 160;
  enc->height = 120;
  enc->time_base = AVRational{1, 1000};
  if (FF().avcodec_open2(enc, codec, nullptr) < 0) {
    FF().avcodec_free_context(&enc);
    why = "dvdsub encoder does not open";
    return false;
  }
  std::vector<uint8_t> indexes(std::size_t(kBoxW * kBoxH), 1);
  std::array<uint32_t, 4> palette = {0x00000000u, 0xffffffffu, 0xff000000u, 0xff808080u};
  AVSubtitleRect rect{};
  rect.x = kBoxX;
  rect.y = kBoxY;
  rect.w = kBoxW;
  rect.h = kBoxH;
  rect.nb_colors = 4;
  rect.type = SUBTITLE_BITMAP;
  rect.data[0] = indexes.data();
  rect.linesize[0] = kBoxW;
  rect.data[1] = reinterpret_cast<uint8_t*>(palette.data());
  rect.linesize[1] = 4 * 4;
  AVSubtitleRect* rects[] = {&rect};
  AVSubtitle sub{};
  sub.format = 0;
  sub.start_display_time = 0;
  sub.end_display_time = 1000;
  sub.num_rects = 1;
  sub.rects = rects;
  sub.pts = 400000;  // 0.4 s
  std::vector<uint8_t> buffer(1 << 16);
  const int size = FF().avcodec_encode_subtitle(enc, buffer.data(), int(buffer.size()), &sub);

  AVFormatContext* oc = nullptr;
  bool ok = size > 0 && FF().avformat_alloc_output_context2(&oc, nullptr, "matroska", path.c_str()) >= 0;
  AVStream* st = ok ? FF().avformat_new_stream(oc, nullptr) : nullptr;
  ok = ok && st != nullptr && FF().avcodec_parameters_from_context(st->codecpar, enc) >= 0;
  if (ok) st->time_base = AVRational{1, 1000};
  ok = ok && FF().avio_open2(&oc->pb, path.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr) >= 0;
  ok = ok && FF().avformat_write_header(oc, nullptr) >= 0;
  if (ok) {
    AVPacket* pkt = FF().av_packet_alloc();
    FF().av_new_packet(pkt, size);
    std::copy(buffer.begin(), buffer.begin() + size, pkt->data);
    pkt->stream_index = 0;
    pkt->pts = pkt->dts = FF().av_rescale_q(sub.pts, AVRational{1, 1000000}, st->time_base);
    pkt->duration = 1000;
    ok = FF().av_interleaved_write_frame(oc, pkt) >= 0 && FF().av_write_trailer(oc) >= 0;
    FF().av_packet_free(&pkt);
  }
  if (oc != nullptr) {
    FF().avio_closep(&oc->pb);
    FF().avformat_free_context(oc);
  }
  FF().avcodec_free_context(&enc);
  if (!ok) why = "the subtitle track could not be written";
  return ok;
}

const std::string& ClipWithDvdSubtitles() {
  static const std::string path = [] {
    const std::string subs = engine_test::TempPath("dvdsub.mkv");
    const std::string out = engine_test::TempPath("with-dvdsub.mkv");
    std::string why;
    EXPECT_TRUE(WriteDvdSubtitles(subs, why)) << why;
    const std::string mux = engine_test::kFFmpeg + " -nostdin -v error -y -i " +
                            engine_test::ShellQuote(engine_test::SourceClip()) + " -i " +
                            engine_test::ShellQuote(subs) + " -map 0:v -map 1:s -c copy " +
                            engine_test::ShellQuote(out);
    EXPECT_EQ(std::system(mux.c_str()), 0) << mux;
    return out;
  }();
  return path;
}

/// The luma of frame n (160x120), as Debian's ffmpeg decodes it.
std::vector<uint8_t> Luma(const std::string& path, int n) { return engine_test::DecodedFrame(path, n, "gray"); }

double BoxMean(const std::vector<uint8_t>& luma) {
  double sum = 0;
  for (int y = kBoxY + 2; y < kBoxY + kBoxH - 2; y++)
    for (int x = kBoxX + 2; x < kBoxX + kBoxW - 2; x++) sum += luma[std::size_t(y * 160 + x)];
  return sum / ((kBoxW - 4) * (kBoxH - 4));
}

TEST(Sub2Video, BitmapSubtitlesAreBurntInWhileShown) {
  engine_test::LoadLibraries();
  const std::string out = engine_test::TempPath("burnt.mkv");
  const engine_test::TConvertResult r =
      engine_test::Convert(ClipWithDvdSubtitles(), out, "-filter_complex [0:v][0:s]overlay -c:v ffv1 -an");
  ASSERT_TRUE(r.Finished) << r.Message;
  const engine_test::TProbe p = engine_test::Probe(out, true);
  ASSERT_NE(p.First("video"), nullptr);
  EXPECT_EQ(p.First("video")->Frames, 50);
  EXPECT_EQ(p.First("subtitle"), nullptr);

  const std::vector<uint8_t> shown = Luma(out, 20);   // 0.8 s
  const std::vector<uint8_t> before = Luma(out, 5);   // 0.2 s
  const std::vector<uint8_t> after = Luma(out, 45);   // 1.8 s
  const std::vector<uint8_t> plain = Luma(engine_test::SourceClip(), 20);
  ASSERT_EQ(shown.size(), 160u * 120u);
  ASSERT_EQ(before.size(), shown.size());
  ASSERT_EQ(after.size(), shown.size());
  ASSERT_EQ(plain.size(), shown.size());
  EXPECT_GT(BoxMean(shown), 240.0);  // white
  EXPECT_LT(BoxMean(plain), 200.0);  // the clip itself is not white there
  EXPECT_LT(BoxMean(before), 200.0);
  EXPECT_LT(BoxMean(after), 200.0);
  // Outside the box the picture is the clip's.
  double rest = 0;
  for (int y = 0; y < 60; y++)
    for (int x = 0; x < 160; x++) rest += std::abs(int(shown[std::size_t(y * 160 + x)]) - int(plain[std::size_t(y * 160 + x)]));
  EXPECT_LT(rest / (60 * 160), 3.0);
}

TEST(Sub2Video, CanvasSizeOptionIsTaken) {
  engine_test::LoadLibraries();
  // "-canvas_size" sizes the canvas of decoders that do not know their own; the DVD decoder reads
  // its size from the track, so the box is still burnt in at its place in the 160x120 picture.
  const std::string out = engine_test::TempPath("burnt-canvas.mkv");
  const engine_test::TConvertResult r = engine_test::Convert(
      ClipWithDvdSubtitles(), out, "-filter_complex [0:v][0:s]overlay -c:v ffv1 -an", "-canvas_size 320x240");
  ASSERT_TRUE(r.Finished) << r.Message;
  const engine_test::TProbe p = engine_test::Probe(out, true);
  ASSERT_NE(p.First("video"), nullptr);
  EXPECT_EQ(p.First("video")->Width, 160);
  EXPECT_EQ(p.First("video")->Frames, 50);
  const std::vector<uint8_t> shown = Luma(out, 20);
  ASSERT_EQ(shown.size(), 160u * 120u);
  EXPECT_GT(BoxMean(shown), 240.0);
  // A size that is not one fails the opening with its own text.
  const engine_test::TConvertResult bad = engine_test::Convert(
      ClipWithDvdSubtitles(), engine_test::TempPath("burnt-bad.mkv"), "-filter_complex [0:v][0:s]overlay -c:v ffv1 -an",
      "-canvas_size huge");
  EXPECT_FALSE(bad.Opened);
  EXPECT_NE(bad.Message.find("Invalid canvas size: huge."), std::string::npos) << bad.Message;
}

}  // namespace
