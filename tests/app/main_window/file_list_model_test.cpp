// A file-list row in a list item: the values read from a row's texts, what an item holds after
// WriteFileRow, and the order of two rows by each column.

#include "app/main_window/file_list_model.h"

#include <gtest/gtest.h>

#include <QTreeWidgetItem>
#include <ostream>

namespace {

struct TTextsCase {
  const char* Name;
  QStringList SubItems;
  QString Path;
  int64_t DurationUs;
  int64_t SizeBytes;
};

void PrintTo(const TTextsCase& c, std::ostream* os) { *os << c.Name; }

class FileRowFromTextsTest : public ::testing::TestWithParam<TTextsCase> {};

TEST_P(FileRowFromTextsTest, ReadsThePathAndTheNumbers) {
  const app::TFileRow row = app::FileRowFromTexts(QStringLiteral("clip.avi"), GetParam().SubItems);
  EXPECT_EQ(row.Caption, QStringLiteral("clip.avi"));
  EXPECT_EQ(row.SubItems, GetParam().SubItems) << "the texts stay as they are";
  EXPECT_EQ(row.Path, GetParam().Path);
  EXPECT_EQ(row.DurationUs, GetParam().DurationUs);
  EXPECT_EQ(row.SizeBytes, GetParam().SizeBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileRowFromTextsTest,
    ::testing::Values(
        TTextsCase{"Whole", {"00:00:02", "12,345", "/m/clip.avi", "2000000", "12345", "-", "-", "-"},
                   "/m/clip.avi", 2000000, 12345},
        TTextsCase{"BeyondThirtyTwoBits",
                   {"25:00:00", "5,368,709,120", "/m/clip.avi", "90000000000", "5368709120", "-", "-", "-"},
                   "/m/clip.avi", 90000000000, 5368709120},
        // The shown texts are not numbers: only sub-items 3 and 4 count.
        TTextsCase{"NotNumbers", {"00:00:02", "12,345", "/m/clip.avi", "00:00:02", "12,345"}, "/m/clip.avi", 0, 0},
        TTextsCase{"Short", {"00:00:01"}, "", 0, 0}, TTextsCase{"Empty", {}, "", 0, 0}),
    [](const ::testing::TestParamInfo<TTextsCase>& info) { return std::string(info.param.Name); });

app::TFileRow Row(const char* caption, const char* path, int64_t micros, int64_t bytes) {
  app::TFileRow row;
  row.Caption = QString::fromUtf8(caption);
  row.Path = QString::fromUtf8(path);
  row.DurationUs = micros;
  row.SizeBytes = bytes;
  // Texts that order otherwise than the values: the order must come from the values.
  row.SubItems = {QStringLiteral("x"), QStringLiteral("x"), row.Path, QString::number(-micros),
                  QString::number(-bytes)};
  return row;
}

TEST(FileRowItemTest, ItemHoldsTheColumnsAndTheValues) {
  app::TFileRow row = Row("Clip.avi", "/m/Clip.avi", 3000000, 4294967296);
  row.SubItems = {"00:00:03", "4,294,967,296", "/m/Clip.avi", "3000000", "4294967296", "25.000000 fps", "1500 kb",
                  "64x48"};
  QTreeWidgetItem item;
  app::WriteFileRow(item, row);
  EXPECT_EQ(item.text(0), QStringLiteral("Clip.avi"));
  EXPECT_EQ(item.text(1), QStringLiteral("00:00:03"));
  EXPECT_EQ(item.text(2), QStringLiteral("4,294,967,296"));
  EXPECT_EQ(item.text(3), QStringLiteral("/m/Clip.avi"));
  EXPECT_EQ(item.textAlignment(0), 0);
  EXPECT_EQ(item.textAlignment(3), 0);
  EXPECT_EQ(item.data(0, static_cast<int>(app::TFileRole::SubItems)).toStringList(), row.SubItems);
  EXPECT_EQ(item.data(0, static_cast<int>(app::TFileRole::SizeBytes)).toLongLong(), 4294967296);
  EXPECT_EQ(app::ReadFileRow(item), row);
  EXPECT_EQ(app::FileRowPath(item), row.Path);
  EXPECT_EQ(app::FileRowDuration(item), row.DurationUs);
  EXPECT_EQ(app::FileRowSize(item), row.SizeBytes);
  EXPECT_EQ(app::FileRowSubItems(item), row.SubItems);
  // An item no row was written to reads as an empty row.
  EXPECT_EQ(app::ReadFileRow(QTreeWidgetItem()), app::TFileRow());
}

struct TCompareCase {
  int Column;
  app::TFileRow A;
  app::TFileRow B;
  int Expected;
};

TEST(FileRowItemTest, ComparesByTheColumnsValue) {
  const TCompareCase cases[] = {
      {0, Row("a.avi", "/z/a.avi", 0, 0), Row("B.avi", "/y/B.avi", 0, 0), -1},
      {0, Row("A.avi", "/z/A.avi", 0, 0), Row("a.avi", "/y/a.avi", 0, 0), 0},
      {1, Row("a", "/a", 9, 0), Row("b", "/b", 10, 0), -1},
      {1, Row("a", "/a", 90000000000, 0), Row("b", "/b", 9, 0), 1},
      {1, Row("a", "/a", 5, 1), Row("b", "/b", 5, 2), 0},
      {2, Row("a", "/a", 0, 10), Row("b", "/b", 0, 9), 1},
      {2, Row("a", "/a", 0, 2147483648), Row("b", "/b", 0, 4294967296), -1},
      {2, Row("a", "/a", 1, 7), Row("b", "/b", 2, 7), 0},
      {3, Row("z.avi", "/A/z.avi", 0, 0), Row("a.avi", "/b/a.avi", 0, 0), -1},
      {3, Row("z.avi", "/c/z.avi", 0, 0), Row("a.avi", "/B/a.avi", 0, 0), 1},
      {3, Row("z.avi", "/c/z.avi", 0, 0), Row("a.avi", "/C/Z.avi", 0, 0), 0},
  };
  for (const TCompareCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "column " << c.Column << ": " << c.A.Path.toStdString() << " "
                                    << c.B.Path.toStdString());
    QTreeWidgetItem a;
    QTreeWidgetItem b;
    app::WriteFileRow(a, c.A);
    app::WriteFileRow(b, c.B);
    EXPECT_EQ(app::CompareFileRows(a, b, c.Column), c.Expected);
    EXPECT_EQ(app::CompareFileRows(b, a, c.Column), -c.Expected);
  }
}

}  // namespace
