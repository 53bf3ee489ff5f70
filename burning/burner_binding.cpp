#include "burning/burner_binding.h"

#include <dlfcn.h>

namespace burning {

TBurnerBinding::~TBurnerBinding() { Release(); }

int TBurnerBinding::LoadBurnerDLL(const std::string& libraryName) {
  if (FHandle) Release();
  FLoadError.clear();
  void* handle = dlopen(libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    FLoadError = error ? error : "";
    return lrLibraryNotLoaded;
  }
  TBurnerEntryPoints fn;
  bool complete = true;
#define BURNING_RESOLVE(name, ret, params)                                    \
  fn.name = reinterpret_cast<DBFn_##name>(dlsym(handle, #name));                \
  if (!fn.name) {                                                             \
    if (complete) FLoadError = "missing entry point " #name;                  \
    complete = false;                                                         \
  }
  DB_ENTRY_POINTS(BURNING_RESOLVE)
#undef BURNING_RESOLVE
  if (!complete) {
    dlclose(handle);
    return lrEntryPointMissing;
  }
  FHandle = handle;
  FFn = fn;
  return lrLoaded;
}

void TBurnerBinding::Release() {
  if (!FHandle) return;
  FFn.DeInitialize();
  Unload();
}

void TBurnerBinding::Unload() {
  if (!FHandle) return;
  dlclose(FHandle);
  FHandle = nullptr;
  FFn = TBurnerEntryPoints{};
}

}  // namespace burning
