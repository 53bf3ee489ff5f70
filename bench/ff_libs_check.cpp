// Loads the encoder's FFmpeg libraries through the media loader and prints each with the file it
// came from and its run-time version. Usage: ff_libs_check [--libdir DIR]. Exit code 0 when the
// whole set loaded, 1 (with the loader's text on stderr) when not.

#include <cstdio>
#include <cstring>

#include "media/ff_loader.h"

namespace {

unsigned VersionOf(media::TLibrary lib) {
  const media::TFFApi& api = media::FF();
  switch (lib) {
    case media::TLibrary::avUtil:
      return api.avutil_version();
    case media::TLibrary::swScale:
      return api.swscale_version();
    case media::TLibrary::swResample:
      return api.swresample_version();
    case media::TLibrary::avCodec:
      return api.avcodec_version();
    case media::TLibrary::avFormat:
      return api.avformat_version();
    case media::TLibrary::avFilter:
      return api.avfilter_version();
    case media::TLibrary::avDevice:
      return api.avdevice_version();
    default:
      return 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  media::TFFLoader& loader = media::FFLoader();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--libdir") == 0 && i + 1 < argc) {
      loader.SetLibraryPath(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--libdir DIR]\n", argv[0]);
      return 2;
    }
  }
  if (!loader.Load(media::EncoderLibraries)) {
    std::fprintf(stderr, "%s\n", loader.LastErrMsg().c_str());
    return 1;
  }
  for (int i = 0; i <= int(media::TLibrary::avDevice); ++i) {
    const auto lib = static_cast<media::TLibrary>(i);
    const unsigned v = VersionOf(lib);
    std::printf("%-10s %u.%u.%u  %s\n", media::TFFLoader::LibraryBaseName(lib), v >> 16, (v >> 8) & 0xFF,
                v & 0xFF, loader.LoadedFrom(lib).c_str());
  }
  const bool mfx = loader.Load(media::TLibrary::libMFX);
  std::printf("%-10s %s  %s\n", media::TFFLoader::LibraryBaseName(media::TLibrary::libMFX),
              mfx ? "present" : "absent",
              mfx ? loader.LoadedFrom(media::TLibrary::libMFX).c_str() : loader.LastErrMsg().c_str());
  return 0;
}
