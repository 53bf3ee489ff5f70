#pragma once
// Text helpers of the file finder: UTF-8/UTF-16 conversion and case folding. Case folding and the
// letter-or-digit test use the C.UTF-8 locale of glibc, independent of the process locale.

#include <string>
#include <string_view>

namespace components::findtext {

/// One code point from p (advanced past it); invalid bytes come out as U+FFFD, one at a time.
char32_t DecodeUtf8(const unsigned char*& p, const unsigned char* end);
std::u32string Utf8ToUtf32(std::string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
char32_t FoldCase(char32_t c);
bool IsLetterOrDigit(char32_t c);
/// The code points of text, case-folded.
std::u32string Folded(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string Trim(std::string_view text);

}  // namespace components::findtext
