#include "media/engine/ffmpeg_util.h"

#include <climits>
#include <vector>

namespace media::engine_detail {

std::string StrFormatV(const char* format, va_list args) {
  char buffer[512];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
  va_end(copy);
  if (n < 0) return {};
  if (std::size_t(n) < sizeof buffer) return std::string(buffer, std::size_t(n));
  std::vector<char> big(std::size_t(n) + 1);
  std::vsnprintf(big.data(), big.size(), format, args);
  return std::string(big.data(), std::size_t(n));
}

std::string StrFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = StrFormatV(format, args);
  va_end(args);
  return text;
}

std::string TsToTimeStr(int64_t ts, AVRational tb) {
  if (ts == AV_NOPTS_VALUE) return "NOPTS";
  return StrFormat("%.6g", av_q2d(tb) * double(ts));
}

std::string TsToStr(int64_t ts) {
  if (ts == AV_NOPTS_VALUE) return "NOPTS";
  return std::to_string(ts);
}

AVRational ReduceQ(AVRational q) {
  AVRational r{0, 1};
  FF().av_reduce(&r.num, &r.den, q.num, q.den, INT_MAX);
  return r;
}

std::string LavcIdent() {
  const unsigned v = FF().avcodec_version();
  return StrFormat("Lavc%u.%u.%u", v >> 16, (v >> 8) & 0xff, v & 0xff);
}

AVPacket* ClonePacketRef(AVPacket* src) {
  AVPacket* pkt = FF().av_packet_alloc();
  if (pkt == nullptr) return nullptr;
  if (FF().av_packet_make_refcounted(src) < 0) {
    FF().av_packet_free(&pkt);
    return nullptr;
  }
  FF().av_packet_move_ref(pkt, src);
  return pkt;
}

}  // namespace media::engine_detail
