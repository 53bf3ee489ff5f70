#include "components/png_functions.h"

#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>

#include "components/png_image_list.h"

namespace components {

namespace {

QImage StraightArgb(const QImage& image) {
  if (image.format() == QImage::Format_ARGB32) return image;
  return image.convertToFormat(QImage::Format_ARGB32);
}

// round(value / 256 * factor) with halves to even, on integers so that 127.5 is exact.
int ScaleBy256(int value, int factor) { return RoundHalfEven(static_cast<long long>(value) * factor, 256); }

QRgb GrayPixel(QRgb pixel, int amount) {
  const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
  // 0.30 R + 0.59 G + 0.11 B in hundredths, rounded as the floating-point formula would be.
  const int grey = std::min(255, RoundHalfEven(30LL * r + 59LL * g + 11LL * b, 100));
  const int greyPart = ScaleBy256(grey, amount + 1);
  // The two halves are rounded separately, so white with amount 127 sums to 256: cap it.
  const auto mix = [&](int c) { return std::min(255, ScaleBy256(c, 255 - amount) + greyPart); };
  return qRgba(mix(r), mix(g), mix(b), qAlpha(pixel));
}

}  // namespace

int RoundHalfEven(long long numerator, long long denominator) {
  const long long quotient = numerator / denominator;
  const long long twiceRest = 2 * (numerator % denominator);
  if (twiceRest > denominator || (twiceRest == denominator && (quotient & 1) != 0))
    return static_cast<int>(quotient + 1);
  return static_cast<int>(quotient);
}

void ApplyBlend(QImage& png, int amount) {
  if (png.isNull()) return;
  amount = std::clamp(amount, 0, 255);
  const QImage::Format format = png.format();
  if (format == QImage::Format_Indexed8 || format == QImage::Format_Grayscale8 ||
      format == QImage::Format_Grayscale16 || format == QImage::Format_Mono || format == QImage::Format_MonoLSB) {
    // No alpha of their own to scale: every visible pixel takes the amount as its opacity.
    png = StraightArgb(png);
    for (int y = 0; y < png.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(png.scanLine(y));
      for (int x = 0; x < png.width(); ++x)
        line[x] = qAlpha(line[x]) == 0 ? qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), 0)
                                       : qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), amount);
    }
    return;
  }
  png = StraightArgb(png);
  for (int y = 0; y < png.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(png.scanLine(y));
    for (int x = 0; x < png.width(); ++x)
      line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), ScaleBy256(qAlpha(line[x]), amount + 1));
  }
}

void ApplyGrayscale(QImage& png, int amount) {
  if (png.isNull()) return;
  amount = std::clamp(amount, 0, 255);
  switch (png.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
      return;
    case QImage::Format_Indexed8: {
      QList<QRgb> table = png.colorTable();
      for (QRgb& entry : table) entry = GrayPixel(entry, amount);
      png.setColorTable(table);
      return;
    }
    default:
      break;
  }
  png = StraightArgb(png);
  for (int y = 0; y < png.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(png.scanLine(y));
    for (int x = 0; x < png.width(); ++x) line[x] = GrayPixel(line[x], amount);
  }
}

QImage DisabledLook(const QImage& png, TPngOptions options) {
  QImage copy = png;
  if (options.testFlag(TPngOption::pngBlendOnDisabled)) ApplyBlend(copy, kDisabledBlendAmount);
  if (options.testFlag(TPngOption::pngGrayscaleOnDisabled)) ApplyGrayscale(copy, kDisabledGrayAmount);
  return copy;
}

void DrawPngWithOptions(QPainter& painter, const QRect& rect, const QImage& png, TPngOptions options) {
  if (png.isNull()) return;
  painter.drawImage(rect, options ? DisabledLook(png, options) : png);
}

QImage PngFromMaskedBitmap(const QImage& image, const QImage& mask, bool invert) {
  if (image.isNull()) return {};
  QImage png = image.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32);
  if (mask.isNull()) return png;
  const QImage m = mask.convertToFormat(QImage::Format_RGB32);
  const int w = std::min(png.width(), m.width());
  const int h = std::min(png.height(), m.height());
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(png.scanLine(y));
    const auto* maskLine = reinterpret_cast<const QRgb*>(m.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      const int red = qRed(maskLine[x]);
      line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), invert ? 255 - red : red);
    }
  }
  return png;
}

QImage PngFromColorKey(const QImage& image, const QColor& color) {
  if (image.isNull()) return {};
  QImage png = image.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32);
  const QRgb key = color.rgb() & RGB_MASK;
  for (int y = 0; y < png.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(png.scanLine(y));
    for (int x = 0; x < png.width(); ++x)
      if ((line[x] & RGB_MASK) == key) line[x] &= RGB_MASK;
  }
  return png;
}

QImage PngFromImageListEntry(const TPngImageList& list, int index) {
  const TPngImageCollectionItem* item = list.PngImages().Items(index);
  return item != nullptr ? item->PngImage() : QImage();
}

QImage GraphicToPng(const QIcon& icon, const QSize& size) {
  if (icon.isNull()) return {};
  return StraightArgb(icon.pixmap(size).toImage());
}

QImage GraphicToPng(const QImage& image) {
  if (image.isNull()) return {};
  return StraightArgb(image);
}

QImage PngFromSvgData(const QByteArray& svg, const QSize& size, qreal dpr) {
  QSvgRenderer renderer(svg);
  if (!renderer.isValid() || size.isEmpty()) return {};
  const QSize pixels(qRound(size.width() * dpr), qRound(size.height() * dpr));
  QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
  }
  QImage png = image.convertToFormat(QImage::Format_ARGB32);
  png.setDevicePixelRatio(dpr);
  return png;
}

QImage PngFromSvg(const QString& fileName, const QSize& size, qreal dpr) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return PngFromSvgData(file.readAll(), size, dpr);
}

}  // namespace components
