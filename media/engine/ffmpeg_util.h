#pragma once
// Small helpers shared by the engine's source files (not part of its interface).

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

#include <string>
#include <utility>

#include "media/ff_api.h"
#include "media/ff_handles.h"
#include "media/ff_utils.h"  // FormatStr, VFormatStr: printf into a std::string

namespace media::engine_detail {

/// The FFmpeg time stamp as "%.6g" seconds, or "NOPTS".
std::string TsToTimeStr(int64_t ts, AVRational tb);
/// The time stamp as a decimal number, or "NOPTS".
std::string TsToStr(int64_t ts);
/// "<name>:<TsToStr> <name>_time:<TsToTimeStr>", a field pair of the -debug_ts lines.
std::string TsFields(const char* name, int64_t ts, AVRational tb);
/// The packet's "pkt_pts:... pkt_pts_time:... pkt_dts:... pkt_dts_time:..." in time base tb.
std::string PacketTsFields(const AVPacket* pkt, AVRational tb);

/// Median of three values without overflow.
inline int64_t Median3(int64_t a, int64_t b, int64_t c) {
  if (a > b) std::swap(a, b);
  if (b > c) std::swap(b, c);
  return a > b ? a : b;
}

/// Integer base-2 logarithm (0 for 0), as av_log2 computes it.
inline int Log2(unsigned v) { return v == 0 ? 0 : 31 - __builtin_clz(v); }

/// rational reduced by its greatest common divisor (limit INT_MAX).
AVRational ReduceQ(AVRational q);

/// "Lavc59.37.100" of the loaded libavcodec.
std::string LavcIdent();

/// A "-tag" value: a number in any base, else its first four characters, first in the lowest byte.
uint32_t ParseCodecTag(const std::string& text);

/// The packet as ours (allocated, moved from src); null when allocation failed.
TPacketPtr ClonePacketRef(AVPacket* src);

}  // namespace media::engine_detail
