#pragma once
// Conversions between the burning library's packed records and the component's own types:
// file entries, 14-byte disc dates and file-attribute bits.

#include <QString>

#include <cstddef>
#include <cstdint>

#include "burning/burner_types.h"
#include "burning/discburn/discburn_api.h"

namespace burning {

/// Attribute bits of TFileEntry::Attributes.
enum TFileAttribute : uint8_t {
  faReadOnly = 1 << 0,
  faHidden = 1 << 1,
  faSystem = 1 << 2,
  faDirectory = 1 << 3,
  faArchive = 1 << 4,
  faDevice = 1 << 5,
};

/// One file or folder of a disc session.
struct TFileEntry {
  QString Name;        ///< name inside its folder
  QString ISOName;     ///< the library's second text
  QString SourcePath;  ///< the library's third text
  int32_t Lba = 0;
  int64_t Size = 0;             ///< bytes
  int64_t SizeWordsSwapped = 0; ///< the size's two 32-bit words the other way round
  TDateTime Modified = 0;
  TDateTime Created = 0;
  TDateTime Accessed = 0;
  uint8_t Attributes = 0;       ///< TFileAttribute bits
  int32_t UserParam = 0;

  bool IsFolder() const { return Attributes & faDirectory; }
};

/// A NUL-terminated UTF-16 text field of `capacity` units in a packed record (any alignment).
QString TextFromField(const void* field, size_t capacity);
/// Writes `text` into such a field, cut to capacity - 1 units and NUL-padded.
void TextToField(const QString& text, void* field, size_t capacity);

TFileEntry FileEntryFromLibrary(const DBFileEntry& record);

/// The library's Windows attribute bits as TFileAttribute bits; other bits are dropped.
uint8_t AttributesFromLibrary(uint32_t libraryAttributes);

/// A disc date as a date-time. Bytes that do not form a valid date and time (an all-zero
/// date among them) give 0.
TDateTime DiscDateToDateTime(const DBDiscDate& date);

/// Writes the disc date of `value`: 14 zero bytes for 0 or less; otherwise years since 1900
/// (the year clamped to 1900-2155, the range one byte holds), month, day, hour, minute,
/// second; milliseconds are dropped.
void DateTimeToDiscDate(TDateTime value, DBDiscDate& date);

/// Calendar helpers for date-times (proleptic Gregorian, days since 30 December 1899).
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond = 0);
struct TDateTimeParts {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
TDateTimeParts DecodeDateTime(TDateTime value);

}  // namespace burning
