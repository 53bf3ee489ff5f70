#pragma once
// Pictures with alpha ("PNG images": QImage in Format_ARGB32, straight alpha) and the two
// disabled looks the image lists and picture buttons draw: blended (opacity scaled) and grey.

#include <QColor>
#include <QFlags>
#include <QImage>
#include <QRect>
#include <QSize>

class QIcon;
class QPainter;

namespace components {

class TPngImageList;

/// How a picture is drawn when its control is disabled.
enum class TPngOption {
  pngBlendOnDisabled = 0x1,      ///< opacity halved
  pngGrayscaleOnDisabled = 0x2,  ///< colours turned grey
};
Q_DECLARE_FLAGS(TPngOptions, TPngOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TPngOptions)

/// Amounts the disabled look passes to ApplyBlend and ApplyGrayscale.
constexpr int kDisabledBlendAmount = 127;
constexpr int kDisabledGrayAmount = 255;

/// Rounds numerator / denominator (both >= 0, denominator > 0) to the nearest integer, halves to
/// the even neighbour.
int RoundHalfEven(long long numerator, long long denominator);

/// Scales every pixel's alpha to round(alpha / 256 * (amount + 1)), so that amount 127 halves the
/// opacity (255 -> 128). Grey and palette pictures become truecolour with alpha `amount` (their
/// transparent pixels stay transparent); pictures without alpha get an alpha channel first.
/// A null picture stays null.
void ApplyBlend(QImage& png, int amount);

/// Mixes every pixel toward its grey value (0.30 R + 0.59 G + 0.11 B): each channel becomes
/// round(c / 256 * (255 - amount)) + round(grey / 256 * (amount + 1)), capped at 255. Amount 255
/// gives pure grey. Alpha is kept; grey pictures are left as they are; palette pictures change
/// their palette.
void ApplyGrayscale(QImage& png, int amount);

/// The picture as drawn for a disabled control: ApplyBlend(127) with pngBlendOnDisabled, then
/// ApplyGrayscale(255) with pngGrayscaleOnDisabled. No option gives the picture unchanged.
QImage DisabledLook(const QImage& png, TPngOptions options);

/// Draws png into rect (alpha blended), through DisabledLook when options are given.
void DrawPngWithOptions(QPainter& painter, const QRect& rect, const QImage& png, TPngOptions options);

/// Picture from image and mask: alpha is the mask's red component at the same place (255 minus
/// it with invert). A null mask, or one smaller than the image, leaves the uncovered pixels opaque.
QImage PngFromMaskedBitmap(const QImage& image, const QImage& mask, bool invert);

/// Picture with alpha 0 where the image has exactly `color` (alpha ignored) and 255 elsewhere.
QImage PngFromColorKey(const QImage& image, const QColor& color);

/// Copy of the picture of item `index` of list; a null picture when there is no such item.
QImage PngFromImageListEntry(const TPngImageList& list, int index);

/// Picture from an icon: its largest pixmap that fits size (size itself when the icon can draw
/// at any size), with its alpha. A null icon gives a null picture.
QImage GraphicToPng(const QIcon& icon, const QSize& size);
/// Picture from an image: a copy in Format_ARGB32 (opaque when the image has no alpha).
QImage GraphicToPng(const QImage& image);

/// Picture drawn from an SVG file (a Qt resource or a path) at logical size `size` for a screen of
/// device pixel ratio `dpr`: the image has size * dpr pixels and carries the ratio, so painters
/// draw it at `size` and sharp. A missing or broken file gives a null picture.
QImage PngFromSvg(const QString& fileName, const QSize& size, qreal dpr = 1.0);
/// As above from SVG text in memory.
QImage PngFromSvgData(const QByteArray& svg, const QSize& size, qreal dpr = 1.0);

}  // namespace components
