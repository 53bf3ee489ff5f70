#pragma once
// The FFmpeg names the media library's public headers use, without FFmpeg's headers: the
// structures as incomplete types (they are only ever handled through pointers there) and our own
// stand-ins for the few values records carry. Application code sees these and never an FFmpeg
// header; the media library's sources include media/ff_api.h for the real definitions.
//
// Pixel and sample formats travel as int holding an AVPixelFormat or AVSampleFormat value, as
// FFmpeg's own AVFrame::format and AVCodecParameters::format do (-1 is FFmpeg's NONE for both).

#include <concepts>
#include <cstdint>

struct AVBSFContext;
struct AVBufferRef;
struct AVChannelLayout;
struct AVCodec;
struct AVCodecContext;
struct AVCodecParameters;
struct AVDictionary;
struct AVExpr;
struct AVFifo;
struct AVFilterContext;
struct AVFilterGraph;
struct AVFilterInOut;
struct AVFormatContext;
struct AVFrame;
struct AVInputFormat;
struct AVIOContext;
struct AVPacket;
struct AVStream;
struct AVSubtitle;
struct SwrContext;
struct SwsContext;

namespace media {

/// FFmpeg's "no time stamp" (AV_NOPTS_VALUE); ff_api.cpp checks that the two agree.
inline constexpr std::int64_t kNoPTS = INT64_MIN;
/// FFmpeg's "no pixel format" and "no sample format" (AV_PIX_FMT_NONE, AV_SAMPLE_FMT_NONE).
inline constexpr int kNoFormat = -1;

/// A rational number with AVRational's members. Converts to and from AVRational (and any other
/// type with int num and den), so media code assigns FFmpeg's values directly.
struct TRational {
  int num = 0;
  int den = 1;

  constexpr TRational() = default;
  constexpr TRational(int n, int d) : num(n), den(d) {}
  template <typename R>
    requires(!std::same_as<R, TRational> && requires(const R& r) {
      { r.num } -> std::convertible_to<int>;
      { r.den } -> std::convertible_to<int>;
    })
  constexpr TRational(const R& r) : num(r.num), den(r.den) {}
  template <typename R>
    requires(!std::same_as<R, TRational> && requires(R r) {
      r.num = 0;
      r.den = 0;
    })
  constexpr operator R() const {
    R r{};
    r.num = num;
    r.den = den;
    return r;
  }
  friend constexpr bool operator==(const TRational&, const TRational&) = default;
};

}  // namespace media
