// Runs the body of a C entry point: an EDiscBurn becomes its result code, and its text is
// kept for GetText.
#pragma once

#include <cstdint>
#include <exception>
#include <new>

#include "burning/discburn/burn_error.h"
#include "burning/discburn/burn_library.h"

namespace discburn {

template <typename F>
int32_t Guard(F&& body) {
  try {
    body();
    return code::Ok;
  } catch (const EDiscBurn& e) {
    Library().RememberText(e.Code(), e.what());
    return e.Code();
  } catch (const std::bad_alloc&) {
    Library().RememberText(code::Failed, "Out of memory");
    return code::Failed;
  } catch (const std::exception& e) {
    Library().RememberText(code::Failed, e.what());
    return code::Failed;
  }
}

/// The answer of every operation this system cannot do.
inline int32_t NotSupported(const char* name) {
  Library().RememberText(code::NotSupported, std::string(NotSupportedPrefix) + name);
  return code::NotSupported;
}

}  // namespace discburn
