// Content criterion of the file finder: searches a file's text for a phrase, in UTF-16 (either
// byte order) after a UTF-16 byte-order mark, else in UTF-8 (with or without its mark).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include "components/find_file.h"
#include "components/find_file_text.h"

namespace components {

namespace {

using findtext::FoldCase;
using findtext::IsLetterOrDigit;

// Block size of every read of a searched file.
constexpr size_t kBlockSize = 61440;

unsigned char FoldByte(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// Lower case of every UTF-16 code unit; surrogates and characters whose lower case lies outside
// the Basic Multilingual Plane stay as they are.
const std::array<char16_t, 65536>& UnitFoldTable() {
  static const auto table = [] {
    auto t = std::make_unique<std::array<char16_t, 65536>>();
    for (char32_t u = 0; u < 65536; ++u) {
      const char32_t f = (u >= 0xD800 && u <= 0xDFFF) ? u : FoldCase(u);
      (*t)[u] = static_cast<char16_t>(f < 0x10000 ? f : u);
    }
    return t;
  }();
  return *table;
}

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
char32_t Combine(char32_t high, char32_t low) { return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00); }

// What a whole-word test needs of one unit type: the character just before and just after a
// match in the window, and how many units of context that takes.
struct TByteUnits {
  using Unit = unsigned char;
  static constexpr size_t kContext = 4;  // longest UTF-8 sequence
  static Unit Fold(Unit u) { return FoldByte(u); }
  static char32_t Before(const std::vector<Unit>& w, size_t pos) {
    size_t start = pos - 1;
    while (start > 0 && pos - start < 4 && (w[start] & 0xC0) == 0x80) --start;
    const Unit* p = w.data() + start;
    char32_t c = findtext::DecodeUtf8(p, w.data() + pos);
    // A stray continuation byte is no character start: judge the byte alone.
    return p == w.data() + pos ? c : 0xFFFD;
  }
  static char32_t After(const std::vector<Unit>& w, size_t pos) {
    const Unit* p = w.data() + pos;
    return findtext::DecodeUtf8(p, w.data() + w.size());
  }
};

struct TWideUnits {
  using Unit = char16_t;
  static constexpr size_t kContext = 2;  // a surrogate pair
  static Unit Fold(Unit u) { return UnitFoldTable()[u]; }
  static char32_t Before(const std::vector<Unit>& w, size_t pos) {
    const char32_t u = w[pos - 1];
    if (IsLowSurrogate(u) && pos >= 2 && IsHighSurrogate(w[pos - 2])) return Combine(w[pos - 2], u);
    return u;
  }
  static char32_t After(const std::vector<Unit>& w, size_t pos) {
    const char32_t u = w[pos];
    if (IsHighSurrogate(u) && pos + 1 < w.size() && IsLowSurrogate(w[pos + 1])) return Combine(u, w[pos + 1]);
    return u;
  }
};

// Finds the phrase in a stream fed block by block. Every occurrence is tried, also one that
// begins inside an earlier partial match. The window keeps the phrase length plus the context
// of the whole-word test, so a match across a block boundary is found.
template <typename Traits>
class TPhraseScanner {
 public:
  using Unit = typename Traits::Unit;
  TPhraseScanner(std::vector<Unit> phrase, bool caseSensitive, bool wholeWord)
      : FPhrase(std::move(phrase)), FCaseSensitive(caseSensitive), FWholeWord(wholeWord) {
    if (!FCaseSensitive)
      for (Unit& u : FPhrase) u = Traits::Fold(u);
  }

  /// Appends units; true once the phrase was found. atEnd marks the last call.
  bool Feed(const Unit* data, size_t count, bool atEnd) {
    const size_t oldSize = FWindow.size();
    FWindow.insert(FWindow.end(), data, data + count);
    if (!FCaseSensitive)
      for (size_t i = oldSize; i < FWindow.size(); ++i) FWindow[i] = Traits::Fold(FWindow[i]);
    const size_t len = FPhrase.size();
    // Without the end of the file in sight, a match must leave room for the character after it.
    size_t limit = FWindow.size();
    if (!atEnd && FWholeWord) limit = limit > Traits::kContext ? limit - Traits::kContext : 0;
    while (FNext + len <= limit) {
      const auto it = std::search(FWindow.begin() + FNext, FWindow.begin() + limit, FPhrase.begin(), FPhrase.end());
      if (it == FWindow.begin() + limit) {
        FNext = limit - len + 1;
        break;
      }
      const size_t pos = it - FWindow.begin();
      if (!FWholeWord || IsWholeWord(pos, pos + len)) return true;
      FNext = pos + 1;
    }
    if (FNext > Traits::kContext) {
      const size_t drop = FNext - Traits::kContext;
      FWindow.erase(FWindow.begin(), FWindow.begin() + drop);
      FNext -= drop;
      FTrimmed = true;
    }
    return false;
  }

 private:
  bool IsWholeWord(size_t begin, size_t end) const {
    // The start of the file and its end count as non-letters.
    if ((begin > 0 || FTrimmed) && IsLetterOrDigit(Traits::Before(FWindow, begin))) return false;
    return end >= FWindow.size() || !IsLetterOrDigit(Traits::After(FWindow, end));
  }

  std::vector<Unit> FPhrase;
  bool FCaseSensitive;
  bool FWholeWord;
  std::vector<Unit> FWindow;
  size_t FNext = 0;
  bool FTrimmed = false;
};

// Owns a file descriptor; closes it when it goes.
class TFileHandle {
 public:
  explicit TFileHandle(int fd) : FFd(fd) {}
  ~TFileHandle() {
    if (FFd >= 0) ::close(FFd);
  }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  int Get() const { return FFd; }

 private:
  int FFd;
};

// Reads up to size bytes; fewer only at the end of the file. -1 on a read error.
ssize_t ReadFull(int fd, unsigned char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

enum class TSearchResult { Found, NotFound, ReadError };

TSearchResult SearchBytes(int fd, const std::vector<unsigned char>& head, const std::string& phrase,
                          bool caseSensitive, bool wholeWord) {
  TPhraseScanner<TByteUnits> scanner(std::vector<unsigned char>(phrase.begin(), phrase.end()), caseSensitive,
                                     wholeWord);
  std::vector<unsigned char> block(kBlockSize);
  bool atEnd = false;
  if (scanner.Feed(head.data(), head.size(), false)) return TSearchResult::Found;
  while (!atEnd) {
    const ssize_t n = ReadFull(fd, block.data(), block.size());
    if (n < 0) return TSearchResult::ReadError;
    atEnd = static_cast<size_t>(n) < block.size();
    if (scanner.Feed(block.data(), static_cast<size_t>(n), atEnd)) return TSearchResult::Found;
  }
  return TSearchResult::NotFound;
}

TSearchResult SearchUtf16(int fd, std::vector<unsigned char> pending, bool bigEndian, const std::u16string& phrase,
                          bool caseSensitive, bool wholeWord) {
  TPhraseScanner<TWideUnits> scanner(std::vector<char16_t>(phrase.begin(), phrase.end()), caseSensitive, wholeWord);
  std::vector<unsigned char> block(kBlockSize);
  std::vector<char16_t> units;
  bool atEnd = false;
  while (!atEnd) {
    const ssize_t n = ReadFull(fd, block.data(), block.size());
    if (n < 0) return TSearchResult::ReadError;
    atEnd = static_cast<size_t>(n) < block.size();
    pending.insert(pending.end(), block.begin(), block.begin() + n);
    units.clear();
    size_t i = 0;
    for (; i + 1 < pending.size(); i += 2) {
      const unsigned hi = bigEndian ? pending[i] : pending[i + 1];
      const unsigned lo = bigEndian ? pending[i + 1] : pending[i];
      units.push_back(static_cast<char16_t>((hi << 8) | lo));
    }
    // An odd last byte waits for its partner (and is dropped at the end of the file).
    pending.erase(pending.begin(), pending.begin() + i);
    if (scanner.Feed(units.data(), units.size(), atEnd)) return TSearchResult::Found;
  }
  return TSearchResult::NotFound;
}

}  // namespace

void TContentCriteria::Clear() {
  SetPhrase("");
  FOptions.clear();
}

void TContentCriteria::SetPhrase(const std::string& value) {
  FPhrase = value;
  FVariants.Utf8 = value;
  FVariants.Utf16 = findtext::Utf8ToUtf16(value);
}

bool TContentCriteria::Matches(const std::string& fileName) const {
  if (FPhrase.empty()) return true;
  // Non-blocking, so that a FIFO that slipped through the attribute test cannot hang the search.
  TFileHandle file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.Get() < 0) return false;
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const int flags = ::fcntl(file.Get(), F_GETFL);
  if (flags >= 0) ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);

  std::vector<unsigned char> head(3);
  const ssize_t headSize = ReadFull(file.Get(), head.data(), head.size());
  if (headSize < 0) return false;
  head.resize(static_cast<size_t>(headSize));

  const bool caseSensitive = FOptions.count(TContentSearchOption::csoCaseSensitive) > 0;
  const bool wholeWord = FOptions.count(TContentSearchOption::csoWholeWord) > 0;
  TSearchResult result;
  if (head.size() >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF))) {
    const bool bigEndian = head[0] == 0xFE;
    head.erase(head.begin(), head.begin() + 2);
    result = SearchUtf16(file.Get(), std::move(head), bigEndian, FVariants.Utf16, caseSensitive, wholeWord);
  } else {
    if (head.size() == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) head.clear();
    result = SearchBytes(file.Get(), head, FVariants.Utf8, caseSensitive, wholeWord);
  }
  if (result == TSearchResult::ReadError) return false;
  return (result == TSearchResult::Found) != (FOptions.count(TContentSearchOption::csoNegate) > 0);
}

}  // namespace components
