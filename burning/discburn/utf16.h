// UTF-16 <-> UTF-8 at the library's edge: the C interface speaks UTF-16, libburn and
// libisofs speak UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "burning/discburn/discburn_api.h"

namespace discburn {

/// The NUL-terminated UTF-16 text as UTF-8; nullptr gives "". A lone surrogate 0xDC80..0xDCFF
/// is the byte it stands for (a file name's byte that is not UTF-8, kept by the component);
/// other unpaired surrogates become U+FFFD.
std::string ToUtf8(const db_char* text);
std::string ToUtf8(const std::u16string& text);
std::u16string ToUtf16(const std::string& text);

/// The text of a fixed-size field of a packed record (it may sit at an odd address), up to
/// its first NUL, as UTF-8.
std::string PackedText(const void* field, size_t chars);

/// Copies text into a buffer of `capacity` units, cut to capacity - 1 and NUL-terminated.
/// Returns the number of units written without the NUL. Nothing happens for capacity <= 0.
int32_t CopyText(const std::string& text, db_char* buffer, int32_t capacity);

}  // namespace discburn
