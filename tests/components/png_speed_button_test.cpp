// The picture speed button: where picture and caption go, the pressed offset and the disabled
// looks.

#include "components/png_speed_button.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QColorSpace>
#include <QPixmap>

#include "support/widget_app.h"

namespace {

using components::CalcButtonLayout;
using components::TButtonLayout;
using components::TPngOption;
using components::TPngSpeedButton;

struct TLayoutCase {
  const char* Name;
  QRect Client;
  QSize Picture;
  QSize Caption;
  TButtonLayout Layout;
  int Margin;
  int Spacing;
  bool RightToLeft;
  int Pressed;
  QPoint PictureAt;
  QPoint CaptionAt;
};

class SpeedButtonLayoutTest : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(SpeedButtonLayoutTest, PlacesPictureAndCaption) {
  const TLayoutCase& c = GetParam();
  const components::TSpeedButtonGeometry g =
      CalcButtonLayout(c.Client, c.Picture, c.Caption, c.Layout, c.Margin, c.Spacing, c.RightToLeft, c.Pressed);
  EXPECT_EQ(g.Picture.topLeft(), c.PictureAt) << c.Name;
  EXPECT_EQ(g.Picture.size(), c.Picture) << c.Name;
  if (!c.Caption.isEmpty()) {
    EXPECT_EQ(g.Caption.topLeft(), c.CaptionAt) << c.Name;
  }
}

const QSize kPic(16, 16);
const QSize kCap(40, 14);
const QSize kNone(0, 0);
INSTANTIATE_TEST_SUITE_P(
    Table, SpeedButtonLayoutTest,
    ::testing::Values(
        // Picture only (the application's buttons): centred, spacing dropped.
        TLayoutCase{"picture only", QRect(0, 0, 32, 32), kPic, kNone, TButtonLayout::blGlyphLeft, -1, 4, false, 0,
                    {8, 8}, {}},
        TLayoutCase{"odd room", QRect(0, 0, 28, 27), kPic, kNone, TButtonLayout::blGlyphTop, -1, 4, false, 0,
                    {6, 5}, {}},
        // Centred block: margin (100 - (16 + 4 + 40)) / 2 = 20.
        TLayoutCase{"left", QRect(0, 0, 100, 30), kPic, kCap, TButtonLayout::blGlyphLeft, -1, 4, false, 0, {20, 7},
                    {40, 8}},
        TLayoutCase{"right", QRect(0, 0, 100, 30), kPic, kCap, TButtonLayout::blGlyphRight, -1, 4, false, 0,
                    {64, 7}, {20, 8}},
        TLayoutCase{"right to left swaps", QRect(0, 0, 100, 30), kPic, kCap, TButtonLayout::blGlyphLeft, -1, 4,
                    true, 0, {64, 7}, {20, 8}},
        TLayoutCase{"top, given margin", QRect(0, 0, 60, 60), kPic, QSize(30, 14), TButtonLayout::blGlyphTop, 5, 2,
                    false, 0, {22, 5}, {15, 23}},
        TLayoutCase{"bottom, given margin", QRect(0, 0, 60, 60), kPic, QSize(30, 14), TButtonLayout::blGlyphBottom,
                    5, 2, false, 0, {22, 39}, {15, 23}},
        // Automatic spacing: with automatic margin, equal thirds of the room left ((100 - 56) / 3 =
        // 14); with a margin of 4, half of what remains ((100 - 4 - 56) / 2 = 20).
        TLayoutCase{"automatic both", QRect(0, 0, 100, 30), kPic, kCap, TButtonLayout::blGlyphLeft, -1, -1, false, 0,
                    {14, 7}, {44, 8}},
        TLayoutCase{"automatic spacing", QRect(0, 0, 100, 30), kPic, kCap, TButtonLayout::blGlyphLeft, 4, -1, false,
                    0, {4, 7}, {40, 8}},
        TLayoutCase{"automatic, no room", QRect(0, 0, 40, 30), kPic, kCap, TButtonLayout::blGlyphLeft, -1, -1, false,
                    0, {0, 7}, {16, 8}},
        // The client's corner and the pressed offset move both.
        TLayoutCase{"offset and pressed", QRect(2, 3, 32, 32), kPic, kNone, TButtonLayout::blGlyphLeft, -1, 4, false,
                    1, {11, 12}, {}}),
    [](const ::testing::TestParamInfo<TLayoutCase>& info) {
      std::string name = info.param.Name;
      for (char& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

class SpeedButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::WidgetApp();
    Parent.setAutoFillBackground(true);
    QPalette palette = Parent.palette();
    palette.setColor(QPalette::Window, Qt::white);
    Parent.setPalette(palette);
    Parent.resize(100, 60);
    Button = new TPngSpeedButton(&Parent);
    Button->setGeometry(10, 10, 32, 32);
    Button->SetPngImage(testing_support::SolidPicture(16, 16, qRgba(255, 0, 0, 255)));
  }
  // The button as the parent shows it.
  QImage Shot() { return Parent.grab(Button->geometry()).toImage().convertToFormat(QImage::Format_RGB32); }

  testing_support::TWidgetAppFirst AppFirst;
  QWidget Parent;
  TPngSpeedButton* Button = nullptr;
};

TEST_F(SpeedButtonTest, PressedPictureMovesOnePixelRightAndDown) {
  QImage shot = Shot();
  EXPECT_EQ(shot.pixel(8, 8), qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(23, 23), qRgb(255, 0, 0));
  EXPECT_NE(shot.pixel(24, 24), qRgb(255, 0, 0));
  Button->SetDown(true);
  shot = Shot();
  EXPECT_NE(shot.pixel(8, 8), qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(9, 9), qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(24, 24), qRgb(255, 0, 0));
}

TEST_F(SpeedButtonTest, DisabledPictureIsBlendedOrGrey) {
  Button->setEnabled(false);
  QRgb pixel = Shot().pixel(16, 16);
  EXPECT_EQ(qRed(pixel), 255);
  EXPECT_NEAR(qGreen(pixel), 127, 1) << "half opacity over white";
  Button->SetPngOptions(TPngOption::pngGrayscaleOnDisabled);
  EXPECT_EQ(Shot().pixel(16, 16), qRgb(76, 76, 76)) << "grey at full opacity";
  Button->setEnabled(true);
  EXPECT_EQ(Shot().pixel(16, 16), qRgb(255, 0, 0));
}

TEST_F(SpeedButtonTest, NoPictureLeavesAnEmptyOne) {
  Button->SetPngImage(QImage());
  EXPECT_TRUE(Button->PngImage().isNull());
  EXPECT_TRUE(Button->Geometry().Picture.isEmpty());
  const QImage shot = Shot();
  EXPECT_EQ(shot.pixel(16, 16), qRgb(255, 255, 255));
}

TEST_F(SpeedButtonTest, PictureIsDrawnWithoutColourCorrection) {
  QImage tagged = testing_support::SolidPicture(16, 16, qRgba(0, 128, 0, 255));
  tagged.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
  Button->SetPngImage(tagged);
  EXPECT_FALSE(Button->PngImage().colorSpace().isValid());
  EXPECT_EQ(Shot().pixel(16, 16), qRgb(0, 128, 0));
  EXPECT_FALSE(Button->focusPolicy() & Qt::TabFocus) << "a speed button takes no focus";
}

TEST_F(SpeedButtonTest, TakesTheActionsIconOnlyWithoutAPictureOfItsOwn) {
  QPixmap blue(16, 16);
  blue.fill(QColor(0, 0, 255));
  QAction withIcon{QIcon(blue), QString()};  // no caption, as the application's buttons
  QAction withoutIcon;
  Button->setIconSize(QSize(16, 16));

  Button->setDefaultAction(&withIcon);
  EXPECT_EQ(Shot().pixel(16, 16), qRgb(255, 0, 0)) << "its own picture stays";

  Button->SetPngImage(QImage());
  Button->setDefaultAction(&withoutIcon);
  EXPECT_TRUE(Button->PngImage().isNull()) << "an action without a picture gives none";
  Button->setDefaultAction(&withIcon);
  EXPECT_EQ(Shot().pixel(16, 16), qRgb(0, 0, 255));
  QPixmap green(16, 16);
  green.fill(QColor(0, 255, 0));
  withIcon.setIcon(QIcon(green));
  EXPECT_EQ(Shot().pixel(16, 16), qRgb(0, 255, 0)) << "a picture from the action follows it";
  EXPECT_TRUE(Button->PngImage().isNull()) << "and is not the button's own";
  Button->SetPngImage(testing_support::SolidPicture(16, 16, qRgba(255, 0, 0, 255)));
  withIcon.setIcon(QIcon(blue));
  EXPECT_EQ(Shot().pixel(16, 16), qRgb(255, 0, 0)) << "a picture set later is the button's own";
}

}  // namespace
