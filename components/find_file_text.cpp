#include "components/find_file_text.h"

#include <locale.h>
#include <wctype.h>

namespace components::findtext {

namespace {

// Created once and never freed: it lives as long as the process, like the C locale itself.
locale_t Utf8Locale() {
  static const locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (l == static_cast<locale_t>(nullptr)) l = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    return l;
  }();
  return locale;
}

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

char32_t DecodeUtf8(const unsigned char*& p, const unsigned char* end) {
  const unsigned char lead = *p++;
  if (lead < 0x80) return lead;
  int more = 0;
  char32_t c = 0;
  if ((lead & 0xE0) == 0xC0) {
    more = 1;
    c = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    more = 2;
    c = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    more = 3;
    c = lead & 0x07;
  } else {
    return kReplacement;
  }
  const unsigned char* q = p;
  for (int i = 0; i < more; ++i, ++q) {
    if (q == end || (*q & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (*q & 0x3F);
  }
  p = q;
  return c;
}

std::u32string Utf8ToUtf32(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) out.push_back(DecodeUtf8(p, end));
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  for (char32_t c : Utf8ToUtf32(text)) {
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c > 0x10FFFF ? kReplacement : c));
    }
  }
  return out;
}

char32_t FoldCase(char32_t c) { return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), Utf8Locale())); }

bool IsLetterOrDigit(char32_t c) { return iswalnum_l(static_cast<wint_t>(c), Utf8Locale()) != 0; }

std::u32string Folded(std::string_view text) {
  std::u32string out = Utf8ToUtf32(text);
  for (char32_t& c : out) c = FoldCase(c);
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return Folded(a) == Folded(b); }

std::string Trim(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t begin = 0, end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace components::findtext
