#include "media/ff_loader.h"

#include <dlfcn.h>
#include <link.h>

#include <array>
#include <filesystem>
#include <mutex>

#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media/ff_logger.h"

namespace media {

namespace {

enum class TLoadKind {
  FFmpeg,    // dlopen, bind its list, check the major version
  Optional,  // dlopen only (libmfx): nothing is bound from it
  Always,    // never loaded, always reads as loaded
};

struct TLibraryRow {
  const char* BaseName;
  const char* FileName;  // "lib" + base name + ".so." + major; null for the Always rows
  TLoadKind Kind;
  int HeaderMajor;  // the major version the headers were built with; 0 = not checked
};

#define FF_SONAME(base, major) "lib" base ".so." FF_STR(major)
#define FF_STR(x) FF_STR2(x)
#define FF_STR2(x) #x

// One row per TLibrary, in its order.
constexpr std::array<TLibraryRow, LibraryCount> GRows{{
    {"avutil", FF_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR), TLoadKind::FFmpeg, LIBAVUTIL_VERSION_MAJOR},
    {"swscale", FF_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR), TLoadKind::FFmpeg, LIBSWSCALE_VERSION_MAJOR},
    {"swresample", FF_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR), TLoadKind::FFmpeg,
     LIBSWRESAMPLE_VERSION_MAJOR},
    {"avcodec", FF_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR), TLoadKind::FFmpeg, LIBAVCODEC_VERSION_MAJOR},
    {"avformat", FF_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR), TLoadKind::FFmpeg,
     LIBAVFORMAT_VERSION_MAJOR},
    {"avfilter", FF_SONAME("avfilter", LIBAVFILTER_VERSION_MAJOR), TLoadKind::FFmpeg,
     LIBAVFILTER_VERSION_MAJOR},
    {"avdevice", FF_SONAME("avdevice", LIBAVDEVICE_VERSION_MAJOR), TLoadKind::FFmpeg,
     LIBAVDEVICE_VERSION_MAJOR},
    // The C library is part of every process; the formatted output FFmpeg's log lines need
    // (vsnprintf) is linked directly.
    {"libc", nullptr, TLoadKind::Always, 0},
    {"SDL2", nullptr, TLoadKind::Always, 0},
    {"SoundTouch", nullptr, TLoadKind::Always, 0},
    // Debian's libavcodec links libmfx itself; the row only tells whether Quick Sync can work.
    {"libmfx", "libmfx.so.1", TLoadKind::Optional, 0},
}};

#undef FF_SONAME
#undef FF_STR
#undef FF_STR2

struct TLibraryState {
  void* Handle = nullptr;
  bool Bound = false;
};

// Process-wide loader state. Loading normally happens on the main thread before any conversion,
// but the decoder may be created elsewhere, so the state is guarded anyway.
struct TLoaderState {
  std::recursive_mutex Lock;
  std::array<TLibraryState, LibraryCount> Libraries{};
  std::string LastErrMsg;
  std::string LibraryPath;
  bool InstallLogger = true;
};

TLoaderState& State() {
  static TLoaderState state;
  return state;
}

const TLibraryRow& Row(TLibrary library) { return GRows[static_cast<std::size_t>(library)]; }
TLibraryState& LibState(TLibrary library) { return State().Libraries[static_cast<std::size_t>(library)]; }

constexpr TLibrary LibraryAt(int index) { return static_cast<TLibrary>(index); }

void RequireMembers(TLibraries libraries) {
  if (libraries.Empty()) throw FFmpegException("Empty library set.");
}

std::string DlError() {
  const char* e = dlerror();
  return e != nullptr ? e : "unknown error";
}

// The run-time version of a bound FFmpeg library (its *_version() entry point).
unsigned RuntimeVersion(TLibrary library) {
  const TFFApi& api = FF();
  switch (library) {
    case TLibrary::avUtil:
      return api.avutil_version();
    case TLibrary::swScale:
      return api.swscale_version();
    case TLibrary::swResample:
      return api.swresample_version();
    case TLibrary::avCodec:
      return api.avcodec_version();
    case TLibrary::avFormat:
      return api.avformat_version();
    case TLibrary::avFilter:
      return api.avfilter_version();
    case TLibrary::avDevice:
      return api.avdevice_version();
    default:
      return 0;
  }
}

// The file name the dynamic linker recorded for handle (the path dlopen was given, or the one it
// found through its search).
std::string LoadedPathOf(void* handle, const char* fallback) {
  struct link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr &&
      map->l_name[0] != '\0')
    return map->l_name;
  return fallback;
}

void UnloadLocked(TLibrary library) {
  TLibraryState& st = LibState(library);
  if (st.Bound) {
    UnbindFFLibrary(library);
    st.Bound = false;
  }
  if (st.Handle != nullptr) {
    dlclose(st.Handle);
    st.Handle = nullptr;
  }
}

bool LoadLocked(TLibrary library) {
  TLoaderState& state = State();
  const TLibraryRow& row = Row(library);
  if (row.Kind == TLoadKind::Always) return true;
  TLibraryState& st = LibState(library);

  if (st.Handle == nullptr) {
    // A library the folder holds is loaded from there; the others by soname through the system
    // search. Later libraries find the ones loaded before by their soname, so a folder copy of
    // avutil serves the folder's (or the system's) avcodec too.
    std::string path = row.FileName;
    if (!state.LibraryPath.empty()) {
      std::error_code ec;
      const std::filesystem::path inFolder = std::filesystem::path(state.LibraryPath) / row.FileName;
      if (std::filesystem::exists(inFolder, ec)) path = inFolder.string();
    }
    dlerror();
    // RTLD_NODELETE: Unload forgets a library but never unmaps it. FFmpeg and the codec
    // libraries it pulls in keep threads, atexit handlers and allocations whose owners live in
    // their data segments; unmapping them under a running process is what makes dlclose of these
    // libraries unreliable.
    // Binding: the system's FFmpeg (found by soname) comes with packages of matching versions,
    // and its dependencies, about two hundred codec, device and text-to-speech libraries, bind
    // their functions lazily, as the ffmpeg program does: binding them all at load time cost about
    // a tenth of the program's start. A copy in the library folder may have been built against
    // newer libraries than those it finds, so it binds everything now and a missing function
    // fails this call with its name instead of ending the process when it is first called.
    const int binding = path == row.FileName ? RTLD_LAZY : RTLD_NOW;
    st.Handle = dlopen(path.c_str(), binding | RTLD_LOCAL | RTLD_NODELETE);
    if (st.Handle == nullptr) {
      state.LastErrMsg = "Load library " + path + " error: " + DlError();
      return false;
    }
    st.Bound = false;
  }

  if (!st.Bound) {
    std::string missing;
    std::string error;
    if (BindFFLibrary(library, st.Handle, missing, error)) {
      st.Bound = true;
    } else {
      state.LastErrMsg = "Load function " + missing + "@" + row.FileName + " error: " + error;
    }
  }

  if (st.Bound && row.HeaderMajor != 0) {
    const unsigned version = RuntimeVersion(library);
    const int major = int(version >> 16);
    if (major != row.HeaderMajor) {
      state.LastErrMsg = "Load library " + LoadedPathOf(st.Handle, row.FileName) + " error: version " +
                         std::to_string(major) + "." + std::to_string((version >> 8) & 0xFF) + "." +
                         std::to_string(version & 0xFF) + " found, the program needs major version " +
                         std::to_string(row.HeaderMajor);
      st.Bound = false;
      UnbindFFLibrary(library);
    }
  }

  if (!st.Bound) {
    UnloadLocked(library);
    return false;
  }

  if (library == TLibrary::avUtil && state.InstallLogger) FFLogger().InstallAVLogCallback();
  // FFmpeg 5.1 registers muxers, demuxers and codecs statically, but the devices (lavfi, alsa,
  // v4l2, x11grab...) become visible as formats only after this call.
  if (library == TLibrary::avDevice) FF().avdevice_register_all();
  return true;
}

}  // namespace

bool TFFLoader::Load(TLibrary library) {
  std::lock_guard lock(State().Lock);
  return LoadLocked(library);
}

bool TFFLoader::Load(TLibraries libraries) {
  RequireMembers(libraries);
  std::lock_guard lock(State().Lock);
  TLibraries loadedHere;
  for (int i = 0; i < LibraryCount; ++i) {
    const TLibrary lib = LibraryAt(i);
    if (!libraries.Contains(lib)) continue;
    const bool wasLoaded = Loaded(lib);
    if (!LoadLocked(lib)) {
      // Only what this call loaded goes: a library loaded before may be in use by a decoder or
      // a running conversion.
      for (int j = LibraryCount - 1; j >= 0; --j)
        if (loadedHere.Contains(LibraryAt(j))) UnloadLocked(LibraryAt(j));
      return false;
    }
    if (!wasLoaded) loadedHere = loadedHere | lib;
  }
  return true;
}

bool TFFLoader::Loaded(TLibrary library) const {
  if (Row(library).Kind == TLoadKind::Always) return true;
  std::lock_guard lock(State().Lock);
  const TLibraryState& st = LibState(library);
  return st.Handle != nullptr && st.Bound;
}

bool TFFLoader::Loaded(TLibraries libraries) const {
  RequireMembers(libraries);
  for (int i = 0; i < LibraryCount; ++i)
    if (libraries.Contains(LibraryAt(i)) && !Loaded(LibraryAt(i))) return false;
  return true;
}

void TFFLoader::CheckLibAV(TLibraries libraries) const {
  for (int i = 0; i < LibraryCount; ++i)
    if (libraries.Contains(LibraryAt(i)) && !Loaded(LibraryAt(i)))
      throw FFmpegException(std::string("Library ") + Row(LibraryAt(i)).BaseName + " not loaded.");
}

void TFFLoader::Unload(TLibrary library) {
  std::lock_guard lock(State().Lock);
  UnloadLocked(library);
}

void TFFLoader::Unload(TLibraries libraries) {
  RequireMembers(libraries);
  std::lock_guard lock(State().Lock);
  for (int i = 0; i < LibraryCount; ++i)
    if (libraries.Contains(LibraryAt(i))) UnloadLocked(LibraryAt(i));
}

std::string TFFLoader::LastErrMsg() const {
  std::lock_guard lock(State().Lock);
  return State().LastErrMsg;
}

std::string TFFLoader::LibraryPath() const {
  std::lock_guard lock(State().Lock);
  return State().LibraryPath;
}

void TFFLoader::SetLibraryPath(const std::string& path) {
  std::lock_guard lock(State().Lock);
  State().LibraryPath = path;
}

bool TFFLoader::InstallLogger() const {
  std::lock_guard lock(State().Lock);
  return State().InstallLogger;
}

void TFFLoader::SetInstallLogger(bool value) {
  std::lock_guard lock(State().Lock);
  State().InstallLogger = value;
}

const char* TFFLoader::LibraryBaseName(TLibrary library) { return Row(library).BaseName; }

std::string TFFLoader::LibraryFileName(TLibrary library) {
  const char* name = Row(library).FileName;
  return name != nullptr ? name : "";
}

std::string TFFLoader::LoadedFrom(TLibrary library) const {
  std::lock_guard lock(State().Lock);
  const TLibraryState& st = LibState(library);
  if (st.Handle == nullptr) return {};
  return LoadedPathOf(st.Handle, "");
}

TFFLoader& FFLoader() {
  static TFFLoader loader;
  return loader;
}

}  // namespace media
