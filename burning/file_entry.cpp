#include "burning/file_entry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace burning {
namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

}  // namespace

QString TextFromField(const void* field, size_t capacity) {
  // Packed records may place a text at any address: read it unit by unit.
  const auto* bytes = static_cast<const unsigned char*>(field);
  QString text;
  for (size_t i = 0; i < capacity; ++i) {
    char16_t c;
    std::memcpy(&c, bytes + 2 * i, sizeof c);
    if (c == 0) break;
    text.append(QChar(c));
  }
  return text;
}

void TextToField(const QString& text, void* field, size_t capacity) {
  auto* bytes = static_cast<unsigned char*>(field);
  std::memset(bytes, 0, capacity * 2);
  size_t n = std::min(static_cast<size_t>(text.size()), capacity - 1);
  // Never leave half of a surrogate pair at the cut.
  if (n < static_cast<size_t>(text.size()) && n > 0 && text.at(n - 1).isHighSurrogate()) --n;
  std::memcpy(bytes, text.utf16(), n * 2);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  const double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
  const double time = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) /
                      static_cast<double>(kMsPerDay);
  // Before the epoch the fraction still counts forward from midnight.
  return days >= 0 ? days + time : days - time;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  TDateTimeParts parts{};
  double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  if (ms >= kMsPerDay) {  // rounding reached the next midnight
    ms -= kMsPerDay;
    whole += value >= 0 ? 1 : -1;
  }
  CivilFromDays(static_cast<int64_t>(whole) + kEpochDays, parts.Year, parts.Month, parts.Day);
  parts.Hour = static_cast<int>(ms / 3600000);
  parts.Minute = static_cast<int>(ms / 60000 % 60);
  parts.Second = static_cast<int>(ms / 1000 % 60);
  parts.Millisecond = static_cast<int>(ms % 1000);
  return parts;
}

TDateTime DiscDateToDateTime(const DBDiscDate& date) {
  const uint8_t* b = date.Bytes;
  const int year = 1900 + b[0];
  const int month = b[1];
  const int day = b[2];
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return 0;
  if (b[3] > 23 || b[4] > 59 || b[5] > 59) return 0;
  return EncodeDateTime(year, month, day, b[3], b[4], b[5]);
}

void DateTimeToDiscDate(TDateTime value, DBDiscDate& date) {
  std::memset(date.Bytes, 0, sizeof date.Bytes);
  if (!(value > 0)) return;
  TDateTimeParts p = DecodeDateTime(value);
  // One byte holds the years 1900-2155; dates outside clamp to the nearest end of that range.
  if (p.Year < 1900) p = {1900, 1, 1, 0, 0, 0, 0};
  if (p.Year > 2155) p = {2155, 12, 31, 23, 59, 59, 0};
  date.Bytes[0] = static_cast<uint8_t>(p.Year - 1900);
  date.Bytes[1] = static_cast<uint8_t>(p.Month);
  date.Bytes[2] = static_cast<uint8_t>(p.Day);
  date.Bytes[3] = static_cast<uint8_t>(p.Hour);
  date.Bytes[4] = static_cast<uint8_t>(p.Minute);
  date.Bytes[5] = static_cast<uint8_t>(p.Second);
}

uint8_t AttributesFromLibrary(uint32_t a) {
  uint8_t bits = 0;
  if (a & DB_ATTR_READONLY) bits |= faReadOnly;
  if (a & DB_ATTR_HIDDEN) bits |= faHidden;
  if (a & DB_ATTR_SYSTEM) bits |= faSystem;
  if (a & DB_ATTR_DIRECTORY) bits |= faDirectory;
  if (a & DB_ATTR_ARCHIVE) bits |= faArchive;
  if (a & DB_ATTR_DEVICE) bits |= faDevice;
  return bits;
}

TFileEntry FileEntryFromLibrary(const DBFileEntry& r) {
  TFileEntry e;
  e.Name = TextFromField(r.Name, std::size(r.Name));
  e.ISOName = TextFromField(r.ISOName, std::size(r.ISOName));
  e.SourcePath = TextFromField(r.SourcePath, std::size(r.SourcePath));
  e.Lba = r.Lba;
  const uint32_t low = r.SizeLow, high = r.SizeHigh;
  e.Size = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
  e.SizeWordsSwapped = static_cast<int64_t>((static_cast<uint64_t>(low) << 32) | high);
  e.Modified = DiscDateToDateTime(r.Modified);
  e.Created = DiscDateToDateTime(r.Created);
  e.Accessed = DiscDateToDateTime(r.Accessed);
  e.Attributes = AttributesFromLibrary(r.Attributes);
  e.UserParam = r.UserParam;
  return e;
}

}  // namespace burning
