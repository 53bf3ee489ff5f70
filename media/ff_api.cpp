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

#define FF_BIND(name) ok = ok && BindOne(handle, #name, GApi.name, missingSymbol, error);
#define FF_CLEAR(name) GApi.name = nullptr;

bool BindFFLibrary(TLibrary lib, void* handle, std::string& missingSymbol, std::string& error) {
  bool ok = true;
  switch (lib) {
    case TLibrary::avUtil:
      FF_AVUTIL_SYMBOLS(FF_BIND) break;
    case TLibrary::swScale:
      FF_SWSCALE_SYMBOLS(FF_BIND) break;
    case TLibrary::swResample:
      FF_SWRESAMPLE_SYMBOLS(FF_BIND) break;
    case TLibrary::avCodec:
      FF_AVCODEC_SYMBOLS(FF_BIND) break;
    case TLibrary::avFormat:
      FF_AVFORMAT_SYMBOLS(FF_BIND) break;
    case TLibrary::avFilter:
      FF_AVFILTER_SYMBOLS(FF_BIND) break;
    case TLibrary::avDevice:
      FF_AVDEVICE_SYMBOLS(FF_BIND) break;
    default:
      break;
  }
  if (!ok) UnbindFFLibrary(lib);
  return ok;
}

void UnbindFFLibrary(TLibrary lib) {
  switch (lib) {
    case TLibrary::avUtil:
      FF_AVUTIL_SYMBOLS(FF_CLEAR) break;
    case TLibrary::swScale:
      FF_SWSCALE_SYMBOLS(FF_CLEAR) break;
    case TLibrary::swResample:
      FF_SWRESAMPLE_SYMBOLS(FF_CLEAR) break;
    case TLibrary::avCodec:
      FF_AVCODEC_SYMBOLS(FF_CLEAR) break;
    case TLibrary::avFormat:
      FF_AVFORMAT_SYMBOLS(FF_CLEAR) break;
    case TLibrary::avFilter:
      FF_AVFILTER_SYMBOLS(FF_CLEAR) break;
    case TLibrary::avDevice:
      FF_AVDEVICE_SYMBOLS(FF_CLEAR) break;
    default:
      break;
  }
}

#undef FF_BIND
#undef FF_CLEAR

}  // namespace media
