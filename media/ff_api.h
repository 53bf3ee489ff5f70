#pragma once
// The typed table of FFmpeg entry points, filled once by the loader (dlopen/dlsym). The media
// library never links libav*: every call goes through FF(), so a call that bypasses the loader
// fails at link time. Members keep FFmpeg's names so grep finds them.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <string>

#include "media/ff_api_symbols.h"

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

/// The bound entry points. A member is null until its library has been loaded.
const TFFApi& FF();
/// The loader's write access to the table.
TFFApi& MutableFFApi();

/// The FFmpeg libraries in load order (each after the ones it depends on).
enum class TFFLibrary { avutil, swscale, swresample, avcodec, avformat, avfilter, avdevice };

/// Base name ("avcodec") and the major version the headers were built with (59).
const char* FFLibraryBaseName(TFFLibrary lib);
int FFLibraryHeaderMajor(TFFLibrary lib);
/// The Linux file name: "lib" + base name + ".so." + major (libavcodec.so.59).
std::string FFLibraryFileName(TFFLibrary lib);

/// Binds every entry point of lib from handle into the table. On failure returns the name of the
/// first missing symbol and the dlerror text in error, and leaves that library's members null.
bool BindFFLibrary(TFFLibrary lib, void* handle, std::string& missingSymbol, std::string& error);
/// Clears the members of lib.
void UnbindFFLibrary(TFFLibrary lib);

}  // namespace media
