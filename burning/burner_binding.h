#pragma once
// The binding to the disc-burning library (libdiscburn.so by default): loaded at run time by
// file name, every entry point resolved by name.

#include <string>

#include "burning/discburn/discburn_api.h"

namespace burning {

/// One function pointer per entry point of the library.
struct TBurnerEntryPoints {
#define BURNING_ENTRY_POINTER(name, ret, params) DBFn_##name name = nullptr;
  DB_ENTRY_POINTS(BURNING_ENTRY_POINTER)
#undef BURNING_ENTRY_POINTER
};

class TBurnerBinding {
 public:
  /// Results of LoadBurnerDLL.
  enum { lrLoaded = 0, lrLibraryNotLoaded = 1, lrEntryPointMissing = 2 };

  TBurnerBinding() = default;
  TBurnerBinding(const TBurnerBinding&) = delete;
  TBurnerBinding& operator=(const TBurnerBinding&) = delete;
  ~TBurnerBinding();

  /// dlopen(libraryName) and resolve every entry point. 0: loaded; 1: the file could not be
  /// loaded, nothing kept; 2: an entry point is missing, the library is released again.
  int LoadBurnerDLL(const std::string& libraryName);
  /// DeInitialize, then dlclose. Nothing when not loaded.
  void Release();
  /// dlclose without DeInitialize (after a failed Initialize).
  void Unload();

  bool Loaded() const { return FHandle != nullptr; }
  const TBurnerEntryPoints& Fn() const { return FFn; }
  /// The loader's message for the last failed load, for the log.
  const std::string& LoadError() const { return FLoadError; }

 private:
  void* FHandle = nullptr;
  TBurnerEntryPoints FFn;
  std::string FLoadError;
};

}  // namespace burning
