#include "media/engine/ffmpeg_util.h"

#include <climits>
#include <cstdlib>

namespace media::engine_detail {

std::string TsToTimeStr(int64_t ts, AVRational tb) {
  if (ts == AV_NOPTS_VALUE) return "NOPTS";
  return FormatStr("%.6g", av_q2d(tb) * double(ts));
}

std::string TsToStr(int64_t ts) {
  if (ts == AV_NOPTS_VALUE) return "NOPTS";
  return std::to_string(ts);
}

std::string TsFields(const char* name, int64_t ts, AVRational tb) {
  return FormatStr("%s:%s %s_time:%s", name, TsToStr(ts).c_str(), name, TsToTimeStr(ts, tb).c_str());
}

std::string PacketTsFields(const AVPacket* pkt, AVRational tb) {
  return TsFields("pkt_pts", pkt->pts, tb) + " " + TsFields("pkt_dts", pkt->dts, tb);
}

AVRational ReduceQ(AVRational q) {
  AVRational r{0, 1};
  FF().av_reduce(&r.num, &r.den, q.num, q.den, INT_MAX);
  return r;
}

std::string LavcIdent() {
  const unsigned v = FF().avcodec_version();
  return FormatStr("Lavc%u.%u.%u", v >> 16, (v >> 8) & 0xff, v & 0xff);
}

uint32_t ParseCodecTag(const std::string& text) {
  char* next = nullptr;
  const uint32_t tag = uint32_t(std::strtol(text.c_str(), &next, 0));
  if (*next == '\0') return tag;
  uint32_t fourcc = 0;
  for (std::size_t i = 0; i < 4 && i < text.size(); i++) fourcc |= uint32_t(uint8_t(text[i])) << (8 * i);
  return fourcc;
}

TPacketPtr ClonePacketRef(AVPacket* src) {
  TPacketPtr pkt{FF().av_packet_alloc()};
  if (pkt == nullptr || FF().av_packet_make_refcounted(src) < 0) return nullptr;
  FF().av_packet_move_ref(pkt.get(), src);
  return pkt;
}

}  // namespace media::engine_detail
