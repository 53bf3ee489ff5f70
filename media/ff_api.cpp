#include "media/ff_api.h"

#include <dlfcn.h>

namespace media {

namespace {
TFFApi GApi;

template <typename T>
bool BindOne(void* handle, const char* name, T& member, std::string& missing, std::string& error) {
  dlerror();
  void* p = dlsym(handle, name);
  if (p == nullptr) {
    missing = name;
    const char* e = dlerror();
    error = e != nullptr ? e : "symbol not found";
    return false;
  }
  member = reinterpret_cast<T>(p);
  return true;
}
}  // namespace

const TFFApi& FF() { return GApi; }
TFFApi& MutableFFApi() { return GApi; }

const char* FFLibraryBaseName(TFFLibrary lib) {
  switch (lib) {
    case TFFLibrary::avutil: return "avutil";
    case TFFLibrary::swscale: return "swscale";
    case TFFLibrary::swresample: return "swresample";
    case TFFLibrary::avcodec: return "avcodec";
    case TFFLibrary::avformat: return "avformat";
    case TFFLibrary::avfilter: return "avfilter";
    case TFFLibrary::avdevice: return "avdevice";
  }
  return "";
}

int FFLibraryHeaderMajor(TFFLibrary lib) {
  switch (lib) {
    case TFFLibrary::avutil: return LIBAVUTIL_VERSION_MAJOR;
    case TFFLibrary::swscale: return LIBSWSCALE_VERSION_MAJOR;
    case TFFLibrary::swresample: return LIBSWRESAMPLE_VERSION_MAJOR;
    case TFFLibrary::avcodec: return LIBAVCODEC_VERSION_MAJOR;
    case TFFLibrary::avformat: return LIBAVFORMAT_VERSION_MAJOR;
    case TFFLibrary::avfilter: return LIBAVFILTER_VERSION_MAJOR;
    case TFFLibrary::avdevice: return LIBAVDEVICE_VERSION_MAJOR;
  }
  return 0;
}

std::string FFLibraryFileName(TFFLibrary lib) {
  return std::string("lib") + FFLibraryBaseName(lib) + ".so." + std::to_string(FFLibraryHeaderMajor(lib));
}

#define FF_BIND(name) ok = ok && BindOne(handle, #name, GApi.name, missingSymbol, error);
#define FF_CLEAR(name) GApi.name = nullptr;

bool BindFFLibrary(TFFLibrary lib, void* handle, std::string& missingSymbol, std::string& error) {
  bool ok = true;
  switch (lib) {
    case TFFLibrary::avutil: FF_AVUTIL_SYMBOLS(FF_BIND) break;
    case TFFLibrary::swscale: FF_SWSCALE_SYMBOLS(FF_BIND) break;
    case TFFLibrary::swresample: FF_SWRESAMPLE_SYMBOLS(FF_BIND) break;
    case TFFLibrary::avcodec: FF_AVCODEC_SYMBOLS(FF_BIND) break;
    case TFFLibrary::avformat: FF_AVFORMAT_SYMBOLS(FF_BIND) break;
    case TFFLibrary::avfilter: FF_AVFILTER_SYMBOLS(FF_BIND) break;
    case TFFLibrary::avdevice: FF_AVDEVICE_SYMBOLS(FF_BIND) break;
  }
  if (!ok) UnbindFFLibrary(lib);
  return ok;
}

void UnbindFFLibrary(TFFLibrary lib) {
  switch (lib) {
    case TFFLibrary::avutil: FF_AVUTIL_SYMBOLS(FF_CLEAR) break;
    case TFFLibrary::swscale: FF_SWSCALE_SYMBOLS(FF_CLEAR) break;
    case TFFLibrary::swresample: FF_SWRESAMPLE_SYMBOLS(FF_CLEAR) break;
    case TFFLibrary::avcodec: FF_AVCODEC_SYMBOLS(FF_CLEAR) break;
    case TFFLibrary::avformat: FF_AVFORMAT_SYMBOLS(FF_CLEAR) break;
    case TFFLibrary::avfilter: FF_AVFILTER_SYMBOLS(FF_CLEAR) break;
    case TFFLibrary::avdevice: FF_AVDEVICE_SYMBOLS(FF_CLEAR) break;
  }
}

#undef FF_BIND
#undef FF_CLEAR

}  // namespace media
