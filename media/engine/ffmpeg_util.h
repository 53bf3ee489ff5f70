#pragma once
// Small helpers shared by the engine's source files (not part of its interface).

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "media/ff_api.h"

namespace media::engine_detail {

/// printf into a std::string of any length.
std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string StrFormatV(const char* format, va_list args);

/// The FFmpeg time stamp as "%.6g" seconds, or "NOPTS".
std::string TsToTimeStr(int64_t ts, AVRational tb);
/// The time stamp as a decimal number, or "NOPTS".
std::string TsToStr(int64_t ts);

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

/// The packet as ours (allocated, moved from src); null when allocation failed.
AVPacket* ClonePacketRef(AVPacket* src);

}  // namespace media::engine_detail
