#include "burning/file_entry.h"

#include <gtest/gtest.h>

#include <cstring>

namespace burning {
namespace {

DBDiscDate Bytes(std::initializer_list<int> values) {
  DBDiscDate d;
  std::memset(&d, 0, sizeof d);
  int i = 0;
  for (int v : values) d.Bytes[i++] = static_cast<uint8_t>(v);
  return d;
}

// Writes UTF-16 text into a packed record's field at `offset`.
template <typename Record>
void Put(Record& record, size_t offset, const std::u16string& text) {
  std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, text.data(), text.size() * 2);
}

std::vector<int> AsVector(const DBDiscDate& d) { return {d.Bytes, d.Bytes + 14}; }

TEST(DiscDate, WritesAndReadsBack) {
  struct Case {
    const char* name;
    TDateTime value;
    std::vector<int> bytes;
  };
  const Case cases[] = {
      {"new year 2000", EncodeDateTime(2000, 1, 1, 12, 30, 15), {100, 1, 1, 12, 30, 15, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"leap day", EncodeDateTime(2024, 2, 29, 23, 59, 59), {124, 2, 29, 23, 59, 59, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"first day of 1900", EncodeDateTime(1900, 1, 1, 0, 0, 0), {0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"last second of 2155", EncodeDateTime(2155, 12, 31, 23, 59, 59), {255, 12, 31, 23, 59, 59, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    DBDiscDate d;
    std::memset(&d, 0xEE, sizeof d);
    DateTimeToDiscDate(c.value, d);
    EXPECT_EQ(AsVector(d), c.bytes) << c.name;
    EXPECT_DOUBLE_EQ(DiscDateToDateTime(d), c.value) << c.name;
  }
}

TEST(DiscDate, DropsMillisecondsAndClearsEmptyDates) {
  DBDiscDate d;
  DateTimeToDiscDate(EncodeDateTime(2000, 1, 1, 12, 30, 15, 999), d);
  EXPECT_EQ(AsVector(d), AsVector(Bytes({100, 1, 1, 12, 30, 15})));
  EXPECT_DOUBLE_EQ(DiscDateToDateTime(d), EncodeDateTime(2000, 1, 1, 12, 30, 15));

  for (TDateTime empty : {0.0, -1.0, -36000.25}) {
    std::memset(&d, 0xEE, sizeof d);
    DateTimeToDiscDate(empty, d);
    EXPECT_EQ(AsVector(d), std::vector<int>(14, 0)) << empty;
  }
}

TEST(DiscDate, ClampsYearsOutsideOneByte) {
  // Years past 2155 would wrap round to 1900 + (year - 1900) mod 256.
  struct Case {
    TDateTime value;
    std::vector<int> firstSix;
  };
  const Case cases[] = {
      {EncodeDateTime(2156, 1, 1, 0, 0, 0), {255, 12, 31, 23, 59, 59}},
      {EncodeDateTime(2300, 6, 15, 10, 0, 0), {255, 12, 31, 23, 59, 59}},
      {EncodeDateTime(1899, 12, 31, 12, 0, 0), {0, 1, 1, 0, 0, 0}},  // value 1.5
  };
  for (const Case& c : cases) {
    DBDiscDate d;
    DateTimeToDiscDate(c.value, d);
    EXPECT_EQ(std::vector<int>(d.Bytes, d.Bytes + 6), c.firstSix) << c.value;
  }
}

TEST(DiscDate, InvalidBytesReadAsZero) {
  const DBDiscDate cases[] = {
      Bytes({}),                          // all zero
      Bytes({100, 13, 1, 0, 0, 0}),       // month 13
      Bytes({100, 2, 30, 0, 0, 0}),       // 30 February
      Bytes({101, 2, 29, 0, 0, 0}),       // 29 February 2001
      Bytes({100, 1, 1, 24, 0, 0}),       // hour 24
      Bytes({100, 1, 1, 0, 60, 0}),       // minute 60
      Bytes({100, 1, 1, 0, 0, 60}),       // second 60
  };
  for (const DBDiscDate& d : cases) EXPECT_EQ(DiscDateToDateTime(d), 0) << AsVector(d)[1];
}

TEST(DiscDate, IgnoresTrailingBytesOnRead) {
  DBDiscDate d = Bytes({100, 1, 1, 12, 30, 15, 7, 1, 2, 3, 4, 5, 6, 7});
  EXPECT_DOUBLE_EQ(DiscDateToDateTime(d), EncodeDateTime(2000, 1, 1, 12, 30, 15));
}

TEST(FileAttributes, MapsWindowsBits) {
  struct Case {
    uint32_t library;
    uint8_t expected;
  };
  const Case cases[] = {
      {0x00, 0},
      {0x01, faReadOnly},
      {0x02, faHidden},
      {0x04, faSystem},
      {0x10, faDirectory},
      {0x20, faArchive},
      {0x40, faDevice},
      {0x31, faReadOnly | faDirectory | faArchive},
      {0x08 | 0x80 | 0x100 | 0x800, 0},  // volume label, normal, temporary, compressed: dropped
      {0xFFFFFFFF, 0x3F},
  };
  for (const Case& c : cases) EXPECT_EQ(AttributesFromLibrary(c.library), c.expected) << c.library;
}

TEST(FileEntry, FillsEveryFieldFromTheRecord) {
  DBFileEntry r;
  std::memset(&r, 0, sizeof r);
  std::u16string name = u"Ünïcode name.mkv", iso = u"UNICODE_.MKV;1", src = u"/home/u/v.mkv";
  Put(r, offsetof(DBFileEntry, Name), name);
  Put(r, offsetof(DBFileEntry, ISOName), iso);
  Put(r, offsetof(DBFileEntry, SourcePath), src);
  r.Lba = 1234;
  r.SizeLow = 1;
  r.SizeHigh = 2;
  DateTimeToDiscDate(EncodeDateTime(2000, 1, 1, 12, 30, 15), r.Modified);
  DateTimeToDiscDate(EncodeDateTime(2010, 5, 6, 7, 8, 9), r.Created);
  r.Attributes = 0x31;
  r.UserParam = -7;

  const TFileEntry e = FileEntryFromLibrary(r);
  EXPECT_EQ(e.Name, QString::fromStdU16String(name));
  EXPECT_EQ(e.ISOName, QString::fromStdU16String(iso));
  EXPECT_EQ(e.SourcePath, QString::fromStdU16String(src));
  EXPECT_EQ(e.Lba, 1234);
  EXPECT_EQ(e.Size, 2 * (int64_t(1) << 32) + 1);
  EXPECT_EQ(e.SizeWordsSwapped, 1 * (int64_t(1) << 32) + 2);
  EXPECT_DOUBLE_EQ(e.Modified, EncodeDateTime(2000, 1, 1, 12, 30, 15));
  EXPECT_DOUBLE_EQ(e.Created, EncodeDateTime(2010, 5, 6, 7, 8, 9));
  EXPECT_EQ(e.Accessed, 0);
  EXPECT_EQ(e.Attributes, faReadOnly | faDirectory | faArchive);
  EXPECT_TRUE(e.IsFolder());
  EXPECT_EQ(e.UserParam, -7);
}

TEST(FileEntry, NameFillingTheWholeFieldStopsAtTheField) {
  DBFileEntry r;
  std::memset(&r, 0, sizeof r);
  Put(r, offsetof(DBFileEntry, Name), std::u16string(260, u'a'));  // no NUL inside the field
  Put(r, offsetof(DBFileEntry, ISOName), u"second");
  EXPECT_EQ(FileEntryFromLibrary(r).Name, QString(260, QLatin1Char('a')));
}

TEST(DateTime, EncodesTheDayCountSince1899) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0), 0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 0, 0, 0), 2);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 12, 0, 0), 36526.5);
  const TDateTimeParts p = DecodeDateTime(36526.5);
  EXPECT_EQ(p.Year, 2000);
  EXPECT_EQ(p.Month, 1);
  EXPECT_EQ(p.Day, 1);
  EXPECT_EQ(p.Hour, 12);
}

}  // namespace
}  // namespace burning
