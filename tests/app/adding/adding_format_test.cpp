// The adding window's pure rules: which names are media names, and the texts and values of a row.

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <string>
#include <ostream>

#include "app/adding/adding_format.h"

namespace {

struct TExtensionCase {
  const char* Path;
  bool Media;
};

void PrintTo(const TExtensionCase& c, std::ostream* os) { *os << '"' << c.Path << '"'; }

class HasMediaExtensionTest : public ::testing::TestWithParam<TExtensionCase> {};

TEST_P(HasMediaExtensionTest, ComparesWholeExtensions) {
  EXPECT_EQ(app::HasMediaExtension(QString::fromUtf8(GetParam().Path)), GetParam().Media) << GetParam().Path;
}

INSTANTIATE_TEST_SUITE_P(
    Names, HasMediaExtensionTest,
    ::testing::Values(TExtensionCase{"/m/clip.avi", true}, TExtensionCase{"/m/CLIP.AVI", true},
                      TExtensionCase{"/m/clip.Mp4", true}, TExtensionCase{"/m/clip.rmvb", true},
                      TExtensionCase{"/m/clip.rm", true}, TExtensionCase{"/m/clip.3gp", true},
                      TExtensionCase{"/m/clip.mpeg", true}, TExtensionCase{"/m/clip.tp", true},
                      TExtensionCase{"/m/a.b.wmv", true}, TExtensionCase{"/m/.avi", true},
                      // Parts of the mask's text that are not one of its extensions.
                      TExtensionCase{"/m/clip.M", false}, TExtensionCase{"/m/clip.MP", false},
                      TExtensionCase{"/m/clip.AV", false}, TExtensionCase{"/m/clip.VI", false},
                      TExtensionCase{"/m/clip.avi;", false}, TExtensionCase{"/m/clip.*.avi", true},
                      TExtensionCase{"/m/clip.mjpeg", false}, TExtensionCase{"/m/clip.avi.txt", false},
                      TExtensionCase{"/m/clip", false}, TExtensionCase{"/m/clip.", false},
                      TExtensionCase{"/m/dir.avi/clip", false}, TExtensionCase{"", false}),
    [](const ::testing::TestParamInfo<TExtensionCase>& info) {
      // "clip_M_3" for "/m/clip.M": the file name with "_" for every other character, and the index.
      std::string name = std::string(info.param.Path).substr(std::string(info.param.Path).rfind('/') + 1);
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name + "_" + std::to_string(info.index);
    });

TEST(MediaMasksTest, SplitsTheMask) {
  const QStringList masks = app::MediaMasks();
  ASSERT_EQ(masks.size(), 20);
  EXPECT_EQ(masks.first(), QStringLiteral("*.3GP"));
  EXPECT_EQ(masks.last(), QStringLiteral("*.WMV"));
}

struct TRowCase {
  const char* Name;
  app::TProbedFile File;
  QStringList Expected;
};

void PrintTo(const TRowCase& c, std::ostream* os) { *os << c.Name; }

app::TProbedFile Video(int64_t duration, int64_t size, int num, int den, int64_t bitRate, int width, int height) {
  app::TProbedFile file;
  file.Path = QStringLiteral("/m/clip.avi");
  file.Duration = duration;
  file.Size = size;
  file.FirstStreamIsVideo = true;
  file.FrameRateNum = num;
  file.FrameRateDen = den;
  file.BitRate = bitRate;
  file.Width = width;
  file.Height = height;
  return file;
}

app::TProbedFile NoVideo(int64_t duration, int64_t size) {
  app::TProbedFile file = Video(duration, size, 25, 1, 800000, 64, 48);
  file.FirstStreamIsVideo = false;
  return file;
}

class AddingSubItemsTest : public ::testing::TestWithParam<TRowCase> {};

TEST_P(AddingSubItemsTest, WritesTheRowTexts) { EXPECT_EQ(app::AddingSubItems(GetParam().File), GetParam().Expected); }

// The values a row is sorted and counted by are the probe's own, and the row's texts say the same.
TEST_P(AddingSubItemsTest, RowValuesAgreeWithTheTexts) {
  const app::TFileRow row = app::AddingRow(GetParam().File);
  EXPECT_EQ(row, app::FileRowFromTexts(QStringLiteral("clip.avi"), GetParam().Expected));
  EXPECT_EQ(row.SizeBytes, GetParam().File.Size);
  EXPECT_EQ(row.Path, GetParam().File.Path);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AddingSubItemsTest,
    ::testing::Values(
        TRowCase{"Video", Video(2000000, 12345, 25, 1, 1500000, 64, 48),
                 {"00:00:02", "12,345", "/m/clip.avi", "2000000", "12345", "25.000000 fps", "1500 kb", "64x48"}},
        TRowCase{"NtscRateAndLongDuration", Video(90000000000, 1234567890, 30000, 1001, 999, 720, 480),
                 {"25:00:00", "1,234,567,890", "/m/clip.avi", "90000000000", "1234567890", "29.970030 fps", "0 kb",
                  "720x480"}},
        TRowCase{"UnknownRateAndBitRate", Video(0, 999, 0, 1, 0, 64, 48),
                 {"00:00:00", "999", "/m/clip.avi", "0", "999", "-", "-", "64x48"}},
        TRowCase{"ZeroRateDenominator", Video(1000000, 1000, 25, 0, -1, 64, 48),
                 {"00:00:01", "1,000", "/m/clip.avi", "1000000", "1000", "-", "-", "64x48"}},
        TRowCase{"UnknownDuration", Video(-1, 0, 25, 1, 1000, 64, 48),
                 {"00:00:00", "", "/m/clip.avi", "0", "0", "25.000000 fps", "1 kb", "64x48"}},
        TRowCase{"NoTimestampDuration", NoVideo(INT64_MIN, 1),
                 {"00:00:00", "1", "/m/clip.avi", "0", "1", "-", "-", "-"}},
        TRowCase{"FirstStreamNotVideo", NoVideo(59999999, 1024),
                 {"00:00:59", "1,024", "/m/clip.avi", "59999999", "1024", "-", "-", "-"}}),
    [](const ::testing::TestParamInfo<TRowCase>& info) { return std::string(info.param.Name); });

}  // namespace
