#pragma once
// Run-time loading of the FFmpeg libraries. The media library links none of them: TFFLoader
// dlopens each one (from LibraryPath when that folder holds it, else through the system's library
// search), binds its entry points into the table of media/ff_api.h and checks that its major
// version is the one the headers were built with. The state is process-wide: every TFFLoader
// object sees the same libraries, and media::FFLoader() is the one callers use.

#include <cstdint>
#include <initializer_list>
#include <string>

#include "media/ff_api.h"

namespace media {

/// A set of libraries: bit n stands for the TLibrary of value n.
class TLibraries {
 public:
  constexpr TLibraries() = default;
  constexpr TLibraries(std::initializer_list<TLibrary> libs) {
    for (TLibrary lib : libs) FBits |= Bit(lib);
  }
  constexpr bool Contains(TLibrary lib) const { return (FBits & Bit(lib)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr std::uint16_t Bits() const { return FBits; }
  constexpr TLibraries operator|(TLibraries other) const { return FromBits(FBits | other.FBits); }
  constexpr TLibraries operator|(TLibrary lib) const { return FromBits(FBits | Bit(lib)); }
  constexpr TLibraries operator-(TLibrary lib) const { return FromBits(FBits & ~Bit(lib)); }
  constexpr bool operator==(const TLibraries&) const = default;

 private:
  static constexpr std::uint16_t Bit(TLibrary lib) { return std::uint16_t(1u << static_cast<unsigned>(lib)); }
  static constexpr TLibraries FromBits(unsigned bits) {
    TLibraries result;
    result.FBits = std::uint16_t(bits);
    return result;
  }
  std::uint16_t FBits = 0;
};

/// What the decoder loads: every FFmpeg library but avdevice, plus the C library row.
inline constexpr TLibraries DecoderLibraries{TLibrary::avUtil,  TLibrary::swScale,  TLibrary::swResample,
                                             TLibrary::avCodec, TLibrary::avFormat, TLibrary::avFilter,
                                             TLibrary::myUtil};
/// What the encoder component and the engine load; libMFX is tried separately (optional).
inline constexpr TLibraries EncoderLibraries = DecoderLibraries | TLibrary::avDevice;
/// Every row.
inline constexpr TLibraries AllLibraries =
    EncoderLibraries | TLibrary::SDL2 | TLibrary::libSoundTouch | TLibrary::libMFX;

class TFFLoader {
 public:
  TFFLoader() = default;
  TFFLoader(const TFFLoader&) = delete;
  TFFLoader& operator=(const TFFLoader&) = delete;
  /// Libraries stay mapped until the process ends: the destructor unloads nothing.
  ~TFFLoader() = default;

  /// Loads and binds one library; true when it is loaded afterwards (also when it already was).
  /// Never throws: a failure returns false, leaves the library unloaded and its text in LastErrMsg:
  /// "Load library <path> error: <dlerror>" when the file cannot be loaded or has the wrong major
  /// version, "Load function <name>@<file> error: <dlerror>" when an entry point is missing.
  /// After avutil is bound (and InstallLogger) the logger's FFmpeg callback is installed; after
  /// avdevice is bound avdevice_register_all() runs, so lavfi and the Linux devices are known.
  bool Load(TLibrary library);
  /// Loads the set's members in ascending order. At the first failure the members that this call
  /// loaded are unloaded again (members loaded before the call stay, since someone uses them) and
  /// the result is false. An empty set is a programming error (FFmpegException).
  bool Load(TLibraries libraries);
  /// True when the library is loaded and bound; always true for myUtil, SDL2 and libSoundTouch.
  bool Loaded(TLibrary library) const;
  /// True when every member is loaded (empty set: FFmpegException).
  bool Loaded(TLibraries libraries) const;
  /// Throws FFmpegException "Library <base name> not loaded." for the first member that is not.
  void CheckLibAV(TLibraries libraries) const;
  /// Clears the library's entry points and releases its handle; nothing when it is not loaded.
  /// The file stays mapped until the process ends (see RTLD_NODELETE in the loader).
  void Unload(TLibrary library);
  /// Unloads the set's members in ascending order (empty set: FFmpegException).
  void Unload(TLibraries libraries);

  /// Text of the last load failure.
  std::string LastErrMsg() const;
  /// The folder searched first for the library files; empty (the default) means the system's
  /// library search alone. Applies to loads that start after the change.
  std::string LibraryPath() const;
  void SetLibraryPath(const std::string& path);
  /// Whether loading avutil installs the logger's FFmpeg log callback (true by default).
  bool InstallLogger() const;
  void SetInstallLogger(bool value);

  /// "avcodec", "libmfx"...: the name used in "Library %s not loaded.".
  static const char* LibraryBaseName(TLibrary library);
  /// "libavcodec.so.59", "libmfx.so.1"; empty for the rows that are never loaded.
  static std::string LibraryFileName(TLibrary library);
  /// The file the loaded library was mapped from (as the dynamic linker names it); empty when the
  /// library is not loaded or is never loaded.
  std::string LoadedFrom(TLibrary library) const;
};

/// The process-wide loader.
TFFLoader& FFLoader();

}  // namespace media
