#include "app/burn/burn_format.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using app::BuildBurnSpeedList;
using app::BurnDataLine;
using app::BurnDiscLine;
using app::BurnLeftOutLine;
using app::BurnMediumText;
using app::BurnSizeText;
using app::BurnSpeedNumber;
using app::BurnWrittenText;

constexpr int64_t KMB = 1048576;
constexpr int64_t KGB = 1073741824;

TEST(BurnFormat, DataLineCountsFilesAndAddsOneMegabyte) {
  struct TCase {
    int64_t Files;
    int64_t Bytes;
    const char* Expected;
  };
  const TCase cases[] = {
      {1, 0, "Data: 1 file, 1 MB"},
      {2, 0, "Data: 2 files, 1 MB"},
      {0, 0, "Data: 0 files, 1 MB"},
      {1, 3 * KMB, "Data: 1 file, 4 MB"},
      // Size plus one MB compared with one GB: equal is still MB, one byte more is GB.
      {3, KGB - KMB, "Data: 3 files, 1,024 MB"},
      {3, KGB - KMB + 1, "Data: 3 files, 1.00 GB"},
      {12, 4 * KGB + KGB / 2 - KMB, "Data: 12 files, 4.50 GB"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(BurnDataLine(c.Files, c.Bytes), QString::fromUtf8(c.Expected)) << c.Files << " " << c.Bytes;
}

TEST(BurnFormat, LeftOutLineCountsTheRowsTheDiscLacks) {
  EXPECT_EQ(BurnLeftOutLine(1), QStringLiteral("Done. 1 file of the list is not on the disc."));
  EXPECT_EQ(BurnLeftOutLine(3), QStringLiteral("Done. 3 files of the list are not on the disc."));
}

TEST(BurnFormat, SizesAndWrittenAmounts) {
  EXPECT_EQ(BurnSizeText(double(KGB)), QStringLiteral("1,024 MB"));
  EXPECT_EQ(BurnSizeText(double(KGB) + 1), QStringLiteral("1.00 GB"));
  EXPECT_EQ(BurnSizeText(700.0 * KMB), QStringLiteral("700 MB"));
  EXPECT_EQ(BurnSizeText(0.4 * KMB), QStringLiteral("0 MB"));
  EXPECT_EQ(BurnDiscLine(QStringLiteral("DVD+R"), 4700000000.0), QStringLiteral("Disc: DVD+R, 4.38 GB"));
  EXPECT_EQ(BurnWrittenText(0, 0), QStringLiteral("Written: 0 of 0 MB"));
  EXPECT_EQ(BurnWrittenText(1.5 * KMB, 2500.0 * KMB), QStringLiteral("Written: 2 of 2,500 MB"));
}

TEST(BurnFormat, TimeTexts) {
  EXPECT_EQ(app::BurnTimeStamped(QStringLiteral("Success!"), QTime(9, 5, 7)), QStringLiteral("[09:05:07] Success!"));
  EXPECT_EQ(app::EraseClockText(0), QStringLiteral("00:00"));
  EXPECT_EQ(app::EraseClockText(75), QStringLiteral("01:15"));
  EXPECT_EQ(app::EraseClockText(3601), QStringLiteral("00:01"));
}

TEST(BurnFormat, DvdRwNameOnlyForDvdRwMedia) {
  struct TCase {
    const char* Type;
    int Status;
    int Profile;
    const char* Expected;
  };
  const TCase cases[] = {
      {"DVD-RW sequential recording", 9, 0x14, "DVD-RW"},
      {"DVD-RW restricted overwrite", 7, 0x13, "DVD-RW"},
      {"DVD-RW restricted overwrite", 2, 0x13, "DVD-RW restricted overwrite"},
      // Status 7 or 9 of another medium keeps the medium's own name.
      {"CD-RW", 9, 0x0A, "CD-RW"},
      {"DVD+RW", 7, 0x1A, "DVD+RW"},
      {"Image file", 1, 0xFFFF, "Image file"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(BurnMediumText(QString::fromUtf8(c.Type), c.Status, c.Profile), QString::fromUtf8(c.Expected))
        << c.Type << " " << c.Status;
}

TEST(BurnFormat, SpeedNumbers) {
  EXPECT_EQ(BurnSpeedNumber(QStringLiteral("16x")), 16);
  EXPECT_EQ(BurnSpeedNumber(QStringLiteral("2.4x")), 2);
  EXPECT_EQ(BurnSpeedNumber(QStringLiteral("")), 0);
  EXPECT_EQ(BurnSpeedNumber(QStringLiteral("x")), 0);
  EXPECT_EQ(BurnSpeedNumber(QStringLiteral("fast")), 0);
}

/// A DVD writer that offers 16x, 12x, 8x, 6x, 4x and 2.4x (1x = 1385 KB/s) and takes the
/// highest of them not above what it is asked for (the lowest when asked for less).
struct TDvdWriter {
  std::vector<int32_t> Speeds{22160, 16620, 11080, 8310, 5540, 3324};
  std::vector<int32_t> Asked;
  QString SetAndShow(int32_t kbps) {
    Asked.push_back(kbps);
    int32_t taken = Speeds.back();
    for (int32_t s : Speeds)
      if (s <= kbps) {
        taken = s;
        break;
      }
    return QString::number(std::lround(taken / 1385.0)) + QLatin1Char('x');
  }
};

TEST(BurnFormat, SpeedListStepsDownWithoutRepeats) {
  TDvdWriter drive;
  const auto list = BuildBurnSpeedList(22160, QStringLiteral("16x"), true,
                                       [&](int32_t kbps) { return drive.SetAndShow(kbps); });
  EXPECT_EQ(list.SpeedStep, 1385);
  EXPECT_EQ(list.Items, QStringList({"16x", "12x", "8x", "6x", "4x", "2x"}));
  // Every step from 15x down to 1x was tried once.
  ASSERT_EQ(drive.Asked.size(), 15u);
  EXPECT_EQ(drive.Asked.front(), 22160 - 1385);
  EXPECT_EQ(drive.Asked.back(), 1385);
}

TEST(BurnFormat, SpeedListWithoutMediumOrSpeedsHasOneItem) {
  int calls = 0;
  auto count = [&](int32_t) {
    ++calls;
    return QStringLiteral("1x");
  };
  auto noMedium = BuildBurnSpeedList(22160, QStringLiteral("16x"), false, count);
  EXPECT_EQ(noMedium.Items, QStringList({"16x"}));
  EXPECT_EQ(noMedium.SpeedStep, 0);
  // A drive without speed information (an image file): an empty text and no steps.
  auto noSpeeds = BuildBurnSpeedList(-1, QString(), true, count);
  EXPECT_EQ(noSpeeds.Items, QStringList({QString()}));
  EXPECT_EQ(noSpeeds.SpeedStep, 0);
  EXPECT_EQ(calls, 0);
}

}  // namespace
