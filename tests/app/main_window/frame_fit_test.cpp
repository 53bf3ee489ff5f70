#include "app/main_window/frame_fit.h"

#include <gtest/gtest.h>

#include <QString>

namespace {

struct TFitCase {
  const char* Name;
  QRect Wanted;  // the window's client area where it is, at the size the user wants
  QMargins Frame;
  QRect Fitted;
};

class FrameFitTest : public ::testing::TestWithParam<TFitCase> {};

// The free area is 800x500 below a 20-pixel panel; frames are 4 pixels wide with a 20-pixel title.
TEST_P(FrameFitTest, TheWholeFrameFitsTheFreeArea) {
  const QRect available(0, 20, 800, 500);
  const TFitCase& c = GetParam();
  const QRect fitted = app::FitFrameInto(c.Wanted, c.Frame, available);
  EXPECT_EQ(fitted, c.Fitted);
  EXPECT_TRUE(available.contains(fitted.marginsAdded(c.Frame)));
}

const QMargins kFrame(4, 20, 4, 4);

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameFitTest,
    ::testing::Values(
        TFitCase{"FitsAsItIs", QRect(100, 100, 400, 300), kFrame, QRect(100, 100, 400, 300)},
        TFitCase{"TallerThanTheAreaWithItsTitle", QRect(4, 40, 750, 600), kFrame, QRect(4, 40, 750, 476)},
        TFitCase{"AsHighAsTheAreaLessItsTitle", QRect(4, 40, 750, 476), kFrame, QRect(4, 40, 750, 476)},
        TFitCase{"PlacedOverThePanel", QRect(0, 0, 400, 300), kFrame, QRect(4, 40, 400, 300)},
        TFitCase{"PastTheRightAndLowerEdges", QRect(600, 400, 400, 300), kFrame, QRect(396, 216, 400, 300)},
        TFitCase{"LargerThanTheAreaEveryWay", QRect(-50, -50, 5000, 5000), kFrame, QRect(4, 40, 792, 476)},
        TFitCase{"WithoutAFrameYet", QRect(0, 0, 750, 600), QMargins(), QRect(0, 20, 750, 500)}),
    [](const ::testing::TestParamInfo<TFitCase>& info) { return std::string(info.param.Name); });

}  // namespace
