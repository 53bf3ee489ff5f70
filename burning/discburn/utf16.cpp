#include "burning/discburn/utf16.h"

#include <cstring>

namespace discburn {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string FromUnits(const db_char* text, size_t count) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      out += static_cast<char>(c - 0xDC00);  // a file name's byte that is not UTF-8
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

std::string ToUtf8(const db_char* text) {
  if (!text) return {};
  size_t n = 0;
  while (text[n]) ++n;
  return FromUnits(text, n);
}

std::string ToUtf8(const std::u16string& text) { return FromUnits(text.data(), text.size()); }

std::u16string ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    char32_t c = s[i];
    int extra = 0;
    if (c >= 0xF0 && c < 0xF8) { c &= 0x07; extra = 3; }
    else if (c >= 0xE0) { c &= 0x0F; extra = 2; }
    else if (c >= 0xC0) { c &= 0x1F; extra = 1; }
    else if (c >= 0x80) { c = 0xFFFD; }
    if (c >= 0xF8) { c = 0xFFFD; extra = 0; }
    ++i;
    for (int k = 0; k < extra; ++k) {
      if (i >= n || (s[i] & 0xC0) != 0x80) { c = 0xFFFD; break; }
      c = (c << 6) | (s[i] & 0x3F);
      ++i;
    }
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += u'\uFFFD';
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

int32_t CopyText(const std::string& text, db_char* buffer, int32_t capacity) {
  if (!buffer || capacity <= 0) return 0;
  std::u16string wide = ToUtf16(text);
  size_t n = std::min<size_t>(wide.size(), static_cast<size_t>(capacity - 1));
  // Never cut a surrogate pair in half.
  if (n > 0 && n < wide.size() && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF) --n;
  wide.copy(buffer, n);
  buffer[n] = 0;
  return static_cast<int32_t>(n);
}

std::string PackedText(const void* field, size_t chars) {
  std::u16string text(chars, u'\0');
  std::memcpy(text.data(), field, chars * sizeof(char16_t));
  text.resize(text.find(u'\0') == std::u16string::npos ? chars : text.find(u'\0'));
  return ToUtf8(text);
}

}  // namespace discburn
