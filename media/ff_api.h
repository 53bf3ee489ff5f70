#pragma once
// The typed table of FFmpeg entry points, filled once by the loader (dlopen/dlsym). The media
// library never links libav*: every call goes through FF(), so a call that bypasses the loader
// fails at link time. Members keep FFmpeg's names so grep finds them.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/display.h>
#include <libavutil/eval.h>
#include <libavutil/fifo.h>
#include <libavutil/hwcontext.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <string>

#include "media/ff_api_symbols.h"
#include "media/ff_types.h"

namespace media {

#define FF_API_MEMBER(name) decltype(&::name) name{};
struct TFFApi {
  FF_AVUTIL_SYMBOLS(FF_API_MEMBER)
  FF_SWSCALE_SYMBOLS(FF_API_MEMBER)
  FF_SWRESAMPLE_SYMBOLS(FF_API_MEMBER)
  FF_AVCODEC_SYMBOLS(FF_API_MEMBER)
  FF_AVFORMAT_SYMBOLS(FF_API_MEMBER)
  FF_AVFILTER_SYMBOLS(FF_API_MEMBER)
  FF_AVDEVICE_SYMBOLS(FF_API_MEMBER)
};
#undef FF_API_MEMBER

// The stand-ins of ff_types.h hold FFmpeg's values.
static_assert(kNoPTS == AV_NOPTS_VALUE);
static_assert(kNoFormat == AV_PIX_FMT_NONE && kNoFormat == AV_SAMPLE_FMT_NONE);
static_assert(sizeof(TRational) == sizeof(AVRational));

/// The bound entry points. A member is null until its library has been loaded (media::FFLoader()).
const TFFApi& FF();

/// The libraries the loader knows, in load order: each FFmpeg library comes after the ones it
/// depends on. The values are bit numbers of TLibraries (media/ff_loader.h).
enum class TLibrary : std::uint8_t {
  avUtil,
  swScale,
  swResample,
  avCodec,
  avFormat,
  avFilter,
  avDevice,
  myUtil,         // the C library: always present, never loaded
  SDL2,           // never loaded; always reads as loaded
  libSoundTouch,  // never loaded; always reads as loaded
  libMFX,         // Intel Media SDK dispatcher (libmfx.so.1), optional, nothing bound
};
inline constexpr int LibraryCount = 11;

/// Binds every entry point of lib's list from handle into the table. On failure returns false with
/// the first missing name in missingSymbol and the dlerror text in error, and leaves all of lib's
/// members null. A library without a list (myUtil, SDL2, libSoundTouch, libMFX) binds trivially.
/// Called by the loader only, on the thread that loads.
bool BindFFLibrary(TLibrary lib, void* handle, std::string& missingSymbol, std::string& error);
/// Clears the members of lib.
void UnbindFFLibrary(TLibrary lib);

}  // namespace media
