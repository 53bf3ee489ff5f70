// Exports every entry point the loader binds from libavdevice, each answering an avdevice 58
// version number: the loader must bind it and then refuse it for its major version. None of them
// is called in any other way before the refusal.
#include "media/ff_api_symbols.h"

#define STUB_ENTRY(name) \
  extern "C" unsigned name() { return 58u << 16 | 13u << 8 | 100u; }
FF_AVDEVICE_SYMBOLS(STUB_ENTRY)
