// The program's own pictures: every one is drawn, at the size asked for, sharp at twice the
// pixels for a scaled screen, and none is blank.

#include "app/pictures/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "components/png_image_list.h"
#include "support/widget_app.h"

namespace {

// Share of the picture's pixels that are not transparent.
double Coverage(const QImage& picture) {
  int covered = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) covered += qAlpha(picture.pixel(x, y)) > 0 ? 1 : 0;
  return static_cast<double>(covered) / (picture.width() * picture.height());
}

void ExpectDrawn(const QImage& picture, int size, qreal dpr, const std::string& what) {
  ASSERT_FALSE(picture.isNull()) << what;
  EXPECT_EQ(picture.size(), QSize(qRound(size * dpr), qRound(size * dpr))) << what;
  EXPECT_EQ(picture.devicePixelRatio(), dpr) << what;
  EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(size, size)) << what;
  const double coverage = Coverage(picture);
  EXPECT_GT(coverage, 0.15) << what << " looks blank";
  EXPECT_LT(coverage, 1.0) << what << " has no transparent edge";
}

class PicturesTest : public ::testing::TestWithParam<qreal> {
 protected:
  void SetUp() override { testing_support::WidgetApp(); }
};

TEST_P(PicturesTest, ToolbarListsHoldEveryCommandsPicture) {
  for (int size : {24, 32}) {
    components::TPngImageList list;
    app::FillToolbarImages(list, size, GetParam());
    EXPECT_EQ(list.Width(), size);
    ASSERT_EQ(list.Count(), app::kToolbarPictureCount);
    for (int i = 0; i < list.Count(); ++i)
      ExpectDrawn(list.PngImages().Items(i)->PngImage(), size, GetParam(),
                  list.PngImages().Items(i)->Name().toStdString() + " at " + std::to_string(size));
    EXPECT_EQ(list.PngImages().Items(static_cast<int>(app::TToolbarPicture::Burn))->Name(), QStringLiteral("burn"));
  }
}

TEST_P(PicturesTest, PresetListHoldsElevenPictures) {
  components::TPngImageList list;
  app::FillPresetImages(list, GetParam());
  ASSERT_EQ(list.Count(), app::kPresetPictureCount);
  for (int i = 0; i < list.Count(); ++i)
    ExpectDrawn(list.PngImages().Items(i)->PngImage(), app::kPresetPictureSize, GetParam(),
                list.PngImages().Items(i)->Name().toStdString());
}

TEST_P(PicturesTest, StepAndBrowsePicturesAreDrawn) {
  for (auto picture : {app::TStepPicture::First, app::TStepPicture::Previous, app::TStepPicture::Next,
                       app::TStepPicture::Last})
    ExpectDrawn(app::StepPicture(picture, GetParam()), app::kStepPictureSize, GetParam(),
                "step " + std::to_string(static_cast<int>(picture)));
  for (auto picture : {app::TBrowsePicture::ParentFolder, app::TBrowsePicture::Icons, app::TBrowsePicture::Details,
                       app::TBrowsePicture::List})
    ExpectDrawn(app::BrowsePicture(picture, GetParam()), app::kBrowsePictureSize, GetParam(),
                "browse " + std::to_string(static_cast<int>(picture)));
}

// The two step directions mirror each other: the drawings must not be swapped.
TEST_P(PicturesTest, StepPicturesPointTheirWay) {
  const auto inkLeftOfCentre = [](const QImage& picture) {
    int left = 0, right = 0;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        if (qAlpha(picture.pixel(x, y)) > 128) (x < picture.width() / 2 ? left : right) += 1;
    return std::pair{left, right};
  };
  // A triangle pointing back is narrow at its left tip: previous has its bar left, next right.
  const auto previous = inkLeftOfCentre(app::StepPicture(app::TStepPicture::Previous, GetParam()));
  const auto next = inkLeftOfCentre(app::StepPicture(app::TStepPicture::Next, GetParam()));
  EXPECT_EQ(previous.first, next.second);
  EXPECT_EQ(previous.second, next.first);
}

// Each view button shows its view: Details a table (a header row across it and a line between
// its columns), List small icons with their names in columns, Icons large tiles. Ink is what is
// drawn dark enough to see on a button; a run is a row's longest stretch of ink.
TEST_P(PicturesTest, ViewPicturesShowTheirViews) {
  struct TShape {
    bool HeaderRow = false;     // a row with ink across at least 80 % of the width
    bool ColumnLine = false;    // a line inside the middle 70 % of the width, 70 % of the height long
    double LongestRun = 0;      // as a share of the width
  };
  const auto shape = [](const QImage& picture) {
    const auto ink = [&](int x, int y) {
      const QRgb p = picture.pixel(x, y);
      return qAlpha(p) > 128 && qGray(p) < 200;
    };
    TShape s;
    const int w = picture.width(), h = picture.height();
    for (int y = 0; y < h; ++y) {
      int count = 0, run = 0, longest = 0;
      for (int x = 0; x < w; ++x) {
        run = ink(x, y) ? run + 1 : 0;
        count += ink(x, y) ? 1 : 0;
        longest = std::max(longest, run);
      }
      s.HeaderRow = s.HeaderRow || count >= 0.8 * w;
      s.LongestRun = std::max(s.LongestRun, static_cast<double>(longest) / w);
    }
    for (int x = w * 15 / 100; x < w * 85 / 100; ++x) {
      int run = 0;
      for (int y = 0; y < h; ++y) {
        run = ink(x, y) ? run + 1 : 0;
        s.ColumnLine = s.ColumnLine || run >= 0.7 * h;
      }
    }
    return s;
  };
  const TShape details = shape(app::BrowsePicture(app::TBrowsePicture::Details, GetParam()));
  EXPECT_TRUE(details.HeaderRow);
  EXPECT_TRUE(details.ColumnLine);
  const TShape list = shape(app::BrowsePicture(app::TBrowsePicture::List, GetParam()));
  EXPECT_FALSE(list.HeaderRow);
  EXPECT_FALSE(list.ColumnLine);
  EXPECT_LT(list.LongestRun, 0.3) << "small icons and short names";
  const TShape icons = shape(app::BrowsePicture(app::TBrowsePicture::Icons, GetParam()));
  EXPECT_FALSE(icons.HeaderRow);
  EXPECT_FALSE(icons.ColumnLine);
  EXPECT_GE(icons.LongestRun, 0.3) << "large tiles";
}

INSTANTIATE_TEST_SUITE_P(Ratios, PicturesTest, ::testing::Values(1.0, 2.0));

}  // namespace
