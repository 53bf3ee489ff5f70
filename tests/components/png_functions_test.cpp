// Picture functions: the blended and grey disabled looks, pictures from masks and colour keys,
// and pictures drawn from SVG.

#include "components/png_functions.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "components/png_image_list.h"
#include "support/widget_app.h"

namespace {

using components::ApplyBlend;
using components::ApplyGrayscale;
using components::TPngOption;
using components::TPngOptions;
using testing_support::SolidPicture;

struct TBlendCase {
  int Alpha;
  int Amount;
  int Expected;
};
class BlendTest : public ::testing::TestWithParam<TBlendCase> {};

// round(alpha / 256 * (amount + 1)), halves to even: 127.5 -> 128, 1.5 -> 2, 0.5 -> 0.
TEST_P(BlendTest, ScalesAlpha) {
  const TBlendCase c = GetParam();
  QImage png = SolidPicture(2, 2, qRgba(10, 20, 30, c.Alpha));
  ApplyBlend(png, c.Amount);
  EXPECT_EQ(qAlpha(png.pixel(1, 1)), c.Expected);
  EXPECT_EQ(png.pixel(1, 1) & RGB_MASK, qRgb(10, 20, 30) & RGB_MASK) << "colour untouched";
}
INSTANTIATE_TEST_SUITE_P(Table, BlendTest,
                         ::testing::Values(TBlendCase{255, 127, 128}, TBlendCase{3, 127, 2}, TBlendCase{1, 127, 0},
                                           TBlendCase{0, 127, 0}, TBlendCase{254, 127, 127},
                                           TBlendCase{5, 127, 2}, TBlendCase{200, 255, 200},
                                           TBlendCase{200, 0, 1}));

TEST(PngFunctionsTest, BlendGivesAnOpaquePictureWithoutAlphaItsAmount) {
  QImage rgb(3, 1, QImage::Format_RGB32);
  rgb.fill(qRgb(1, 2, 3));
  ApplyBlend(rgb, 127);
  EXPECT_TRUE(rgb.hasAlphaChannel());
  EXPECT_EQ(qAlpha(rgb.pixel(0, 0)), 128);

  // Grey and palette pictures have no alpha to scale: every visible pixel takes the amount.
  QImage grey(2, 1, QImage::Format_Grayscale8);
  grey.fill(90);
  ApplyBlend(grey, 127);
  EXPECT_EQ(qAlpha(grey.pixel(0, 0)), 127);
  EXPECT_EQ(qRed(grey.pixel(0, 0)), 90);

  QImage palette(2, 1, QImage::Format_Indexed8);
  palette.setColorTable({qRgba(0, 0, 0, 0), qRgb(200, 100, 50)});
  palette.setPixel(0, 0, 0);
  palette.setPixel(1, 0, 1);
  ApplyBlend(palette, 127);
  EXPECT_EQ(qAlpha(palette.pixel(0, 0)), 0) << "transparent stays transparent";
  EXPECT_EQ(palette.pixel(1, 0), qRgba(200, 100, 50, 127));
}

struct TGreyCase {
  QRgb Pixel;
  int Amount;
  QRgb Expected;
};
class GrayscaleTest : public ::testing::TestWithParam<TGreyCase> {};

TEST_P(GrayscaleTest, MixesTowardGrey) {
  QImage png = SolidPicture(1, 1, GetParam().Pixel);
  ApplyGrayscale(png, GetParam().Amount);
  EXPECT_EQ(png.pixel(0, 0), GetParam().Expected) << std::hex << png.pixel(0, 0);
}
INSTANTIATE_TEST_SUITE_P(
    Table, GrayscaleTest,
    ::testing::Values(
        // Amount 255: pure grey, 0.30 R + 0.59 G + 0.11 B (76.5 -> 76, 150.45 -> 150, 28.05 -> 28).
        TGreyCase{qRgba(255, 0, 0, 255), 255, qRgba(76, 76, 76, 255)},
        TGreyCase{qRgba(0, 255, 0, 90), 255, qRgba(150, 150, 150, 90)},
        TGreyCase{qRgba(0, 0, 255, 255), 255, qRgba(28, 28, 28, 255)},
        TGreyCase{qRgba(255, 255, 255, 255), 255, qRgba(255, 255, 255, 255)},
        // Amount 127: both halves round up to 128 for white; the sum is capped, not wrapped to 0.
        TGreyCase{qRgba(255, 255, 255, 255), 127, qRgba(255, 255, 255, 255)},
        TGreyCase{qRgba(255, 0, 0, 255), 127, qRgba(166, 38, 38, 255)},
        // Amount 0: the picture barely changes.
        TGreyCase{qRgba(0, 0, 0, 255), 0, qRgba(0, 0, 0, 255)}));

TEST(PngFunctionsTest, GrayscaleChangesAPaletteAndLeavesGreyPicturesAlone) {
  QImage palette(1, 1, QImage::Format_Indexed8);
  palette.setColorTable({qRgb(255, 0, 0)});
  palette.setPixel(0, 0, 0);
  ApplyGrayscale(palette, 255);
  EXPECT_EQ(palette.format(), QImage::Format_Indexed8);
  EXPECT_EQ(palette.colorTable().at(0), qRgb(76, 76, 76));

  QImage grey(1, 1, QImage::Format_Grayscale8);
  grey.fill(200);
  const QImage before = grey;
  ApplyGrayscale(grey, 255);
  EXPECT_EQ(grey, before);
}

TEST(PngFunctionsTest, DisabledLookIsGreyAtHalfOpacityWithBothOptions) {
  const QImage red = SolidPicture(2, 2, qRgba(255, 0, 0, 255));
  EXPECT_EQ(components::DisabledLook(red, {}).pixel(0, 0), qRgba(255, 0, 0, 255));
  EXPECT_EQ(components::DisabledLook(red, TPngOption::pngBlendOnDisabled).pixel(0, 0), qRgba(255, 0, 0, 128));
  EXPECT_EQ(components::DisabledLook(red, TPngOption::pngGrayscaleOnDisabled).pixel(0, 0), qRgba(76, 76, 76, 255));
  EXPECT_EQ(components::DisabledLook(red, TPngOption::pngBlendOnDisabled | TPngOption::pngGrayscaleOnDisabled)
                .pixel(0, 0),
            qRgba(76, 76, 76, 128));
  EXPECT_EQ(red.pixel(0, 0), qRgba(255, 0, 0, 255)) << "the source is not changed";
}

TEST(PngFunctionsTest, DrawPngWithOptionsBlendsOverWhatIsBelow) {
  const QImage red = SolidPicture(4, 4, qRgba(255, 0, 0, 255));
  QImage canvas(8, 4, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  {
    QPainter painter(&canvas);
    components::DrawPngWithOptions(painter, QRect(0, 0, 4, 4), red, {});
    components::DrawPngWithOptions(painter, QRect(4, 0, 4, 4), red, TPngOption::pngBlendOnDisabled);
  }
  EXPECT_EQ(canvas.pixel(1, 1), qRgb(255, 0, 0));
  const QRgb half = canvas.pixel(5, 1);
  EXPECT_EQ(qRed(half), 255);
  EXPECT_NEAR(qGreen(half), 127, 1);
  EXPECT_NEAR(qBlue(half), 127, 1);
}

TEST(PngFunctionsTest, ColourKeyMakesOnlyThatColourTransparent) {
  QImage bitmap(3, 2, QImage::Format_RGB888);
  bitmap.fill(QColor(255, 0, 255));
  bitmap.setPixelColor(1, 0, QColor(10, 20, 30));
  bitmap.setPixelColor(2, 1, QColor(255, 0, 254));
  const QImage png = components::PngFromColorKey(bitmap, QColor(255, 0, 255));
  ASSERT_EQ(png.format(), QImage::Format_ARGB32);
  EXPECT_EQ(qAlpha(png.pixel(0, 0)), 0);
  EXPECT_EQ(png.pixel(1, 0), qRgba(10, 20, 30, 255));
  EXPECT_EQ(png.pixel(2, 1), qRgba(255, 0, 254, 255)) << "a near colour stays opaque";
  EXPECT_EQ(qAlpha(png.pixel(2, 0)), 0);
}

TEST(PngFunctionsTest, MaskedBitmapTakesAlphaFromTheMasksRed) {
  QImage image(2, 1, QImage::Format_RGB32);
  image.fill(qRgb(0, 0, 200));
  QImage mask(2, 1, QImage::Format_RGB32);
  mask.setPixel(0, 0, qRgb(255, 0, 0));
  mask.setPixel(1, 0, qRgb(40, 255, 255));
  const QImage png = components::PngFromMaskedBitmap(image, mask, false);
  EXPECT_EQ(png.pixel(0, 0), qRgba(0, 0, 200, 255));
  EXPECT_EQ(png.pixel(1, 0), qRgba(0, 0, 200, 40));
  EXPECT_EQ(qAlpha(components::PngFromMaskedBitmap(image, mask, true).pixel(1, 0)), 215);
  // Without a mask the picture is opaque.
  EXPECT_EQ(components::PngFromMaskedBitmap(image, QImage(), false).pixel(1, 0), qRgba(0, 0, 200, 255));
  EXPECT_TRUE(components::PngFromMaskedBitmap(QImage(), mask, false).isNull());
}

TEST(PngFunctionsTest, ImageListEntryIsACopyOrNothing) {
  testing_support::WidgetApp();
  components::TPngImageList list;
  list.AppendPngItem(SolidPicture(16, 16, qRgba(1, 2, 3, 255)));
  EXPECT_EQ(components::PngFromImageListEntry(list, 0).pixel(3, 3), qRgba(1, 2, 3, 255));
  EXPECT_TRUE(components::PngFromImageListEntry(list, 1).isNull());
  EXPECT_TRUE(components::PngFromImageListEntry(list, -1).isNull());
}

TEST(PngFunctionsTest, SvgIsDrawnAtTheScreensPixelRatio) {
  const QByteArray svg =
      "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 10 10'>"
      "<rect x='0' y='0' width='5' height='10' fill='#ff0000'/></svg>";
  const QImage single = components::PngFromSvgData(svg, QSize(10, 10), 1.0);
  ASSERT_EQ(single.size(), QSize(10, 10));
  EXPECT_EQ(single.pixel(2, 5), qRgba(255, 0, 0, 255));
  EXPECT_EQ(qAlpha(single.pixel(7, 5)), 0);

  // Twice the pixels, the same logical size: drawn sharp on a screen scaled to 200 %.
  const QImage doubled = components::PngFromSvgData(svg, QSize(10, 10), 2.0);
  ASSERT_EQ(doubled.size(), QSize(20, 20));
  EXPECT_EQ(doubled.devicePixelRatio(), 2.0);
  EXPECT_EQ(doubled.deviceIndependentSize(), QSizeF(10, 10));
  EXPECT_EQ(doubled.pixel(9, 10), qRgba(255, 0, 0, 255));
  EXPECT_EQ(qAlpha(doubled.pixel(10, 10)), 0) << "the edge falls between device pixels";

  EXPECT_TRUE(components::PngFromSvgData("not svg", QSize(10, 10)).isNull());
  EXPECT_TRUE(components::PngFromSvg(QStringLiteral("/nonexistent/picture.svg"), QSize(10, 10)).isNull());
}

}  // namespace
