#include "app/main_window/list_format.h"

#include <gtest/gtest.h>

namespace {

TEST(ListFormatTest, Durations) {
  struct TCase {
    int64_t Micros;
    const char* Text;
  };
  const TCase cases[] = {{0, "00:00:00"},
                         {999999, "00:00:00"},
                         {61'000'000, "00:01:01"},
                         {3'599'999'999, "00:59:59"},
                         {90'000'000'000, "25:00:00"},
                         {360'000'000'000, "100:00:00"}};
  for (const TCase& c : cases) EXPECT_EQ(app::FormatDuration(c.Micros).toStdString(), c.Text) << c.Micros;
}

TEST(ListFormatTest, SizesSwitchToGigabytesAboveOneGibibyte) {
  struct TCase {
    int64_t Bytes;
    const char* Text;
  };
  const TCase cases[] = {{0, "0 MB"},
                         {524287, "0 MB"},
                         {524288, "1 MB"},  // half a MiB rounds up
                         {1048576, "1 MB"},
                         {1073741824, "1,024 MB"},
                         {1073741825, "1.00 GB"},
                         {5368709120, "5.00 GB"},
                         {1610612736, "1.50 GB"},
                         {1099511627776, "1024.00 GB"}};
  for (const TCase& c : cases) EXPECT_EQ(app::FormatTotalSize(c.Bytes).toStdString(), c.Text) << c.Bytes;
}

TEST(ListFormatTest, StatusTexts) {
  EXPECT_EQ(app::TotalsText(0, 0, 0).toStdString(), "Files: 0 (Size: 0 MB, Duration: 00:00:00)");
  EXPECT_EQ(app::TotalsText(3, 1073741825, 90'000'000'000).toStdString(),
            "Files: 3 (Size: 1.00 GB, Duration: 25:00:00)");
  EXPECT_EQ(app::SelectionText(1, 2097152).toStdString(), "Selected: 1 file, 2 MB");
  EXPECT_EQ(app::SelectionText(2, 2097152).toStdString(), "Selected: 2 files, 2 MB");
  EXPECT_EQ(app::SelectionText(0, 0).toStdString(), "");
}

}  // namespace
