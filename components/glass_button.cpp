#include "components/glass_button.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "components/png_image_list.h"

namespace components {

namespace {

// Tint weight of the first gloss row; the weight falls row by row toward the tint amount.
constexpr int kGlossStartWeight = 176;
// Mixing weights out of 256 (50 %, 25 %, 33 %, 45 %, 35 %, 75 %).
constexpr int kHalf = 128;
constexpr int kInnerCorner = 64;
constexpr int kOuterCorner = 84;
constexpr int kFlatDownLine = 115;
constexpr int kFlatDownDots = 89;
constexpr int kSunken = 191;
// The caption moves up by this much to make room for the second line; larger from 120 dpi on.
constexpr int kAltTextRaise = 24;
constexpr int kAltTextRaiseLarge = 32;
constexpr int kLargeDpi = 120;
// The second line's font is this many points smaller.
constexpr qreal kAltTextSmaller = 3.0;
// Room the arrow takes right of the caption without DuoStyle.
constexpr int kArrowRoom = 16;

const QRgb kWhite = qRgb(255, 255, 255);

// Windows' MulDiv for the non-negative values used here: a * b / c rounded to the nearest.
int MulDiv(int a, int b, int c) { return c == 0 ? 0 : static_cast<int>((static_cast<long long>(a) * b + c / 2) / c); }

// Each byte b + (a - b) * weight / 256 with an arithmetic shift: `a` mixed into `b`.
QRgb Mix(QRgb a, QRgb b, int weight) {
  const auto byte = [weight](int x, int y) { return y + (((x - y) * weight) >> 8); };
  return qRgb(byte(qRed(a), qRed(b)), byte(qGreen(a), qGreen(b)), byte(qBlue(a), qBlue(b)));
}

QRgb Scale(QRgb c, int weight) { return qRgb((qRed(c) * weight) >> 8, (qGreen(c) * weight) >> 8, (qBlue(c) * weight) >> 8); }

// Box blur of radius r: rows `passes` times, then columns passes + 1 times, edges extended; then
// every pixel becomes grey. The result's red byte is the mask value.
void BoxBlur(QImage& image, int radius, int passes) {
  const int w = image.width(), h = image.height();
  if (w == 0 || h == 0) return;
  const auto blurLine = [radius](std::vector<QRgb>& line) {
    const int n = static_cast<int>(line.size());
    std::vector<QRgb> out(line.size());
    for (int i = 0; i < n; ++i) {
      int r = 0, g = 0, b = 0;
      for (int k = -radius; k <= radius; ++k) {
        const QRgb p = line[static_cast<size_t>(std::clamp(i + k, 0, n - 1))];
        r += qRed(p), g += qGreen(p), b += qBlue(p);
      }
      const int count = 2 * radius + 1;
      out[static_cast<size_t>(i)] = qRgb(r / count, g / count, b / count);
    }
    line.swap(out);
  };
  std::vector<QRgb> line;
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    line.assign(row, row + w);
    for (int p = 0; p < passes; ++p) blurLine(line);
    std::copy(line.begin(), line.end(), row);
  }
  for (int x = 0; x < w; ++x) {
    line.resize(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) line[static_cast<size_t>(y)] = reinterpret_cast<QRgb*>(image.scanLine(y))[x];
    for (int p = 0; p < passes + 1; ++p) blurLine(line);
    for (int y = 0; y < h; ++y) reinterpret_cast<QRgb*>(image.scanLine(y))[x] = line[static_cast<size_t>(y)];
  }
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const int grey = (qRed(row[x]) + qGreen(row[x]) + qBlue(row[x])) / 3;
      row[x] = qRgb(grey, grey, grey);
    }
  }
}

// Picture in solid black where it is opaque (its monochrome mask), for shadow masks.
QImage BlackMask(const QImage& png) {
  QImage mask = png.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < mask.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(mask.scanLine(y));
    for (int x = 0; x < mask.width(); ++x) row[x] = qAlpha(row[x]) >= 128 ? qRgba(0, 0, 0, 255) : 0;
  }
  return mask;
}

// The arrow glyph's lines relative to its position (end points excluded, as a pen moving from
// point to point draws them).
const QPoint kArrowPolyline[] = {{3, 3}, {7, 3}, {5, 5}, {3, 3}, {6, 5}};
const QPoint kArrowBar[] = {{2, 2}, {9, 2}};

}  // namespace

// The off-screen bitmap seen in logical pixels: each logical pixel is a block of device pixels.
class TGlassButton::TCanvas {
 public:
  TCanvas(QImage& image, int width, int height, qreal dpr) : Image(image), Width(width), Height(height), FDpr(dpr) {}

  QImage& Image;
  const int Width;
  const int Height;

  qreal Dpr() const { return FDpr; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
  QRgb Get(int x, int y) const {
    if (!Contains(x, y)) return 0;
    return Image.pixel(Device(x), Device(y)) | 0xFF000000;
  }
  template <class F>
  void Map(int x, int y, F f) {
    if (!Contains(x, y)) return;
    const int x1 = std::min(Image.width(), std::max(Device(x) + 1, Device(x + 1)));
    const int y1 = std::min(Image.height(), std::max(Device(y) + 1, Device(y + 1)));
    for (int dy = Device(y); dy < y1; ++dy) {
      auto* row = reinterpret_cast<QRgb*>(Image.scanLine(dy));
      for (int dx = Device(x); dx < x1; ++dx) row[dx] = f(row[dx]) | 0xFF000000;
    }
  }
  void Set(int x, int y, QRgb c) {
    Map(x, y, [c](QRgb) { return c; });
  }
  // A pen line from a to b; the end point is drawn only with includeEnd.
  void Line(QPoint a, QPoint b, QRgb c, bool includeEnd) {
    int x = a.x(), y = a.y();
    const int dx = std::abs(b.x() - x), dy = -std::abs(b.y() - y);
    const int sx = x < b.x() ? 1 : -1, sy = y < b.y() ? 1 : -1;
    int err = dx + dy;
    while (x != b.x() || y != b.y()) {
      Set(x, y, c);
      const int e2 = 2 * err;
      if (e2 >= dy) err += dy, x += sx;
      if (e2 <= dx) err += dx, y += sy;
    }
    if (includeEnd) Set(x, y, c);
  }
  template <size_t N>
  void Polyline(const QPoint (&points)[N], QRgb c, QPoint origin = {}) {
    for (size_t i = 0; i + 1 < N; ++i) Line(points[i] + origin, points[i + 1] + origin, c, false);
  }
  void Polyline(std::initializer_list<QPoint> points, QRgb c) {
    const QPoint* p = points.begin();
    for (size_t i = 0; i + 1 < points.size(); ++i) Line(p[i], p[i + 1], c, false);
  }

 private:
  int Device(int logical) const { return static_cast<int>(std::floor(logical * FDpr + 1e-9)); }
  qreal FDpr;
};

TGlassButton::TGlassButton(QWidget* parent) : QAbstractButton(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_Hover);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  resize(75, 25);
  FLightHeight = height();
  // The level's setter makes the tint amount: without it a new button would paint with tint 0
  // while GlossyLevel reads 37.
  SetGlossyLevel(37);
}

TGlassButton::~TGlassButton() = default;

// --- Properties

#define GLASS_SETTER(Name, Type)           \
  void TGlassButton::Set##Name(Type value) { \
    if (F##Name == value) return;          \
    F##Name = value;                       \
    update();                              \
  }
GLASS_SETTER(AltFocus, bool)
GLASS_SETTER(AltRender, bool)
GLASS_SETTER(AltText, const QString&)
GLASS_SETTER(Arrow, bool)
GLASS_SETTER(ArrowWidth, int)
GLASS_SETTER(Color, const QColor&)
GLASS_SETTER(ColorDown, const QColor&)
GLASS_SETTER(ColorFocused, const QColor&)
GLASS_SETTER(ColorFrame, const QColor&)
GLASS_SETTER(ColorShadow, const QColor&)
GLASS_SETTER(ColorDisabled, const QColor&)
GLASS_SETTER(Down, bool)
GLASS_SETTER(DuoStyle, bool)
GLASS_SETTER(Flat, bool)
GLASS_SETTER(FlatDown, bool)
GLASS_SETTER(Glossy, bool)
GLASS_SETTER(GlyphPos, TGlyphPos)
GLASS_SETTER(ImageOffset, int)
GLASS_SETTER(ImageSpacing, int)
GLASS_SETTER(ShadowStyle, TShadowStyle)
GLASS_SETTER(SingleBorder, bool)
GLASS_SETTER(TextAlign, TTextAlign)
#undef GLASS_SETTER

void TGlassButton::SetAutoSize(bool value) {
  if (FAutoSize == value) return;
  FAutoSize = value;
  updateGeometry();
  if (FAutoSize) Relayout();
  update();
}

void TGlassButton::SetDropDownMenu(QMenu* menu) { FDropDownMenu = menu; }

void TGlassButton::SetGlossyLevel(int value) {
  FGlossyLevel = std::clamp(value, 0, 100);
  // trunc(level * 2.55) on integers: 100 must give 255, which 2.55 in floating point misses.
  FTint = MulDiv(FGlossyLevel * 255 / 100, 196, 255);
  update();
}

void TGlassButton::SetImageIndex(int value) {
  if (FImageIndex == value) return;
  FImageIndex = value;
  if (FImages) update();
}

void TGlassButton::SetImages(TPngImageList* images) {
  if (FImages == images) return;
  if (FImages) disconnect(FImages, nullptr, this, nullptr);
  FImages = images;
  if (FImages) connect(FImages, &TPngImageList::Changed, this, qOverload<>(&QWidget::update));
  updateGeometry();
  update();
}

// --- Layout

bool TGlassButton::HasPicture() const { return FImageIndex != -1 && FImages; }

int TGlassButton::PictureSize() const {
  if (!HasPicture()) return 0;
  return FGlyphPos == TGlyphPos::gpTop || FGlyphPos == TGlyphPos::gpBottom ? FImages->Height() : FImages->Width();
}

int TGlassButton::RaiseForAltText() const { return logicalDpiY() >= kLargeDpi ? kAltTextRaiseLarge : kAltTextRaise; }

QSize TGlassButton::ContentSize() const {
  const QSize caption = fontMetrics().size(0, text());
  int w = caption.width() + 8;
  int h = caption.height() + 8;
  if (HasPicture()) {
    if (FGlyphPos == TGlyphPos::gpLeft || FGlyphPos == TGlyphPos::gpRight) {
      w += FImageOffset + FImages->Width() + FImageSpacing;
      h = std::max(h, FImages->Height() + 6);
    } else {
      w = std::max(w, FImages->Width() + 6);
      h += FImageOffset + FImages->Height() + FImageSpacing;
    }
  }
  if (FDuoStyle)
    w += FArrowWidth;
  else if (FArrow)
    w += kArrowRoom;
  return {w, h};
}

// Layouts get the content's size, at least the size of a new button.
QSize TGlassButton::sizeHint() const { return FAutoSize ? ContentSize() : ContentSize().expandedTo(QSize(75, 25)); }

QSize TGlassButton::minimumSizeHint() const { return FAutoSize ? ContentSize() : QSize(); }

void TGlassButton::Relayout() {
  if (FAutoSize && size() != ContentSize()) resize(ContentSize());
  const int w = width(), h = height();
  if (FArrow)
    FArrowPos = QPoint(w - 14, h / 2 - 4);
  else if (FDuoStyle)
    FArrowPos = QPoint(w - FArrowWidth / 2 - 6, h / 2 - 4);
  else
    FArrowPos = QPoint(0, h / 2 - 4);
  // Caption rectangle as (left, top, right, bottom), right and bottom exclusive.
  int left = 0, top = 0, right = w - 1, bottom = h - 1;
  if (HasPicture()) {
    const int s = PictureSize();
    const int arrowPart = FArrow || FDuoStyle ? FArrowWidth : 0;
    switch (FGlyphPos) {
      case TGlyphPos::gpTop:
        FPicturePos = QPoint((w - FImages->Width()) / 2 - arrowPart / 2, FImageOffset);
        top = FImageOffset + s + FImageSpacing;
        left = 0;
        right = w;
        break;
      case TGlyphPos::gpBottom:
        FPicturePos = QPoint((w - FImages->Width()) / 2 - arrowPart / 2, h - FImageOffset - s);
        bottom = FPicturePos.y() - FImageSpacing;
        left = 0;
        right = w;
        break;
      case TGlyphPos::gpLeft:
        FPicturePos = QPoint(FImageOffset, (h - FImages->Height()) / 2);
        left = FImageOffset + s + FImageSpacing;
        right = w - FImageOffset;
        break;
      case TGlyphPos::gpRight:
        FPicturePos = QPoint(w - s - FImageOffset - arrowPart, (h - FImages->Height()) / 2);
        left = FImageOffset;
        right = w - s - FImageOffset - FImageSpacing;
        break;
    }
  }
  if (FDuoStyle)
    right -= FArrowWidth;
  else if (FArrow)
    right -= kArrowRoom;
  FCaptionRect = QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

// --- Painting

bool TGlassButton::Pressed() const { return FMouseDown || FDown || isDown(); }

void TGlassButton::paintEvent(QPaintEvent*) {
  Relayout();
  const qreal dpr = devicePixelRatioF();
  const QSize device(qRound(width() * dpr), qRound(height() * dpr));
  if (FBitmap.size() != device) FBitmap = QImage(device, QImage::Format_RGB32);
  FBitmap.setDevicePixelRatio(dpr);
  // Fonts measure the same on the bitmap as on the screen.
  FBitmap.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
  FBitmap.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
  FBitmap.fill(palette().color(QPalette::Window));
  // 1. The parent's background under the button, so that a flat button shows its parent. A
  // parent painting itself here must not come back into this (a sibling button's paint asks
  // the same parent), hence the guard; the window colour stands in then.
  static bool renderingParent = false;
  if (QWidget* parent = parentWidget(); parent != nullptr && !renderingParent) {
    renderingParent = true;
    QPainter painter(&FBitmap);
    parent->render(&painter, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
    renderingParent = false;
  }
  TCanvas canvas(FBitmap, width(), height(), dpr);
  Paint(canvas);
  QPainter painter(this);
  painter.drawImage(0, 0, FBitmap);
}

void TGlassButton::Paint(TCanvas& canvas) {
  const bool pressed = Pressed();
  if (hasFocus() || !FFlat) PaintResting(canvas, true);
  if (FHotPart != kHotNone || pressed) {
    const QRect inner(1, 1, canvas.Width - 2, canvas.Height - 2);
    if (pressed) {
      if (FDuoStyle) {
        const bool arrowDown = FMouseDown && FHotPart == kHotArrow;
        const bool mainDown = FDown || isDown() || (FMouseDown && FHotPart == kHotMain);
        PaintBody(canvas, inner.adjusted(0, 0, -FArrowWidth, 0), mainDown ? FColorDown : FColor);
        const int arrowLeft = inner.right() + 1 - FArrowWidth + 1;
        PaintBody(canvas, QRect(arrowLeft, inner.top(), inner.right() + 1 - arrowLeft, inner.height()),
                  arrowDown ? FColorDown : FColor);
      } else {
        PaintBody(canvas, inner, FColorDown);
      }
    } else {
      PaintBody(canvas, inner, FColor);
    }
    // The resting body only where nothing was pressed: over a pressed body it would wash out the
    // pressed colour of a button held by Down or the keyboard (hot part none).
    PaintResting(canvas, !pressed);
    const QRgb frame = FrameColour(canvas);
    if (!FSingleBorder) {
      const int l = inner.left(), t = inner.top(), r = inner.right() + 1, b = inner.bottom() + 1;
      canvas.Polyline({{l, t + 1}, {l + 1, t}, {r - 2, t}, {r - 1, t + 1}, {r - 1, b - 2}, {r - 2, b - 1},
                       {l + 1, b - 1}, {l, b - 2}, {l, t + 1}},
                      Mix(frame, kWhite, kHalf));
    }
    if (FDuoStyle) {
      const int x = canvas.Width - FArrowWidth - 1;
      canvas.Line({x, 1}, {x, canvas.Height - 2}, frame, false);
    }
    if (pressed) PaintPressedHighlight(canvas, frame);
  }
  PaintContent(canvas);
}

// Frame colour: the frame colour mixed half-way into the average of the background's corners.
QRgb TGlassButton::FrameColour(const TCanvas& canvas) const {
  const int r = canvas.Width - 1, b = canvas.Height - 1;
  const QRgb tl = canvas.Get(0, 0), tr = canvas.Get(r, 0), bl = canvas.Get(0, b), br = canvas.Get(r, b);
  const QRgb left = Mix(bl, tl, kHalf), top = Mix(tl, tr, kHalf), right = Mix(tr, br, kHalf),
             bottom = Mix(bl, br, kHalf);
  const QRgb average = Mix(Mix(left, top, kHalf), Mix(right, bottom, kHalf), kHalf);
  return Mix(average, FColorFrame.rgb(), kHalf);
}

void TGlassButton::PaintResting(TCanvas& canvas, bool withBody) {
  const QRect inner(1, 1, canvas.Width - 2, canvas.Height - 2);
  if (withBody && FHotPart == kHotNone) PaintBody(canvas, inner, FColor);
  if (hasFocus()) {
    if (FAltFocus) {
      PaintBody(canvas, inner, FColorFocused);
    } else {
      // The light band: strongest toward the bottom middle; the last row is left alone.
      const int n = 255;
      const QRgb c = FColorFocused.rgb();
      const int h = std::min(FLightHeight, canvas.Height);
      const int start = canvas.Height - h;
      const int w2 = (canvas.Width + 1) / 2;
      for (int k = 0; k < w2; ++k) {
        const int e = std::min(255, MulDiv(n, k, w2));
        for (int r = 0; r <= h - 2; ++r) {
          const int f = MulDiv(e, r, h);
          const auto band = [c, f](QRgb v) { return Mix(v, c, 255 - f); };
          canvas.Map(k, start + r, band);
          if (canvas.Width - k - 1 > k) canvas.Map(canvas.Width - k - 1, start + r, band);
        }
      }
    }
  }
  PaintFrame(canvas, FrameColour(canvas));
}

void TGlassButton::PaintBody(TCanvas& canvas, const QRect& rect, const QColor& color) {
  if (rect.isEmpty()) return;
  const int a = FTint;
  const QRgb c = color.rgb();
  const auto tint = [a, c](QRgb v) { return Mix(c, v, a); };
  const int half = rect.height() / 2;
  const int step = half > 0 ? (kGlossStartWeight - a) / half : 0;
  const auto eachPixel = [&](int y, auto f) {
    for (int x = rect.left(); x <= rect.right(); ++x) canvas.Map(x, y, f);
  };
  if (!FAltRender) {
    int firstTinted = rect.top();
    if (FGlossy) {
      int weight = kGlossStartWeight;
      for (int r = 0; r < half; ++r, weight -= step)
        eachPixel(rect.top() + r, [c, weight](QRgb v) { return Mix(c, v, weight); });
      firstTinted = rect.top() + half;
    }
    for (int y = firstTinted; y <= rect.bottom(); ++y) eachPixel(y, tint);
  } else if (FGlossy) {
    int weight = kGlossStartWeight;
    for (int r = 0; r < rect.height(); ++r) {
      const int y = rect.top() + r;
      if (r < half) {
        eachPixel(y, [tint, weight](QRgb v) { return Mix(kWhite, tint(v), weight); });
        weight -= step;
      } else {
        eachPixel(y, tint);
      }
    }
  }
}

void TGlassButton::PaintFrame(TCanvas& canvas, QRgb f) {
  const int l = 0, t = 0, r = canvas.Width, b = canvas.Height;
  canvas.Line({l + 2, t}, {r - 3, t}, f, true);
  canvas.Line({l + 2, b - 1}, {r - 3, b - 1}, f, true);
  canvas.Line({l, t + 2}, {l, b - 3}, f, true);
  canvas.Line({r - 1, t + 2}, {r - 1, b - 3}, f, true);
  for (const QPoint p : {QPoint(l + 1, t + 1), QPoint(r - 2, t + 1), QPoint(l + 1, b - 2), QPoint(r - 2, b - 2)})
    canvas.Map(p.x(), p.y(), [f](QRgb v) { return Mix(v, f, kInnerCorner); });
  for (const QPoint p : {QPoint(l, t + 1), QPoint(l + 1, t), QPoint(r - 1, t + 1), QPoint(r - 2, t), QPoint(l, b - 2),
                         QPoint(l + 1, b - 1), QPoint(r - 1, b - 2), QPoint(r - 2, b - 1)})
    canvas.Map(p.x(), p.y(), [f](QRgb v) { return Mix(v, f, kOuterCorner); });
}

void TGlassButton::PaintPressedHighlight(TCanvas& canvas, QRgb f) {
  const int t = 0, b = canvas.Height;
  // Left and right side of the pressed part: the whole button, or the main or arrow part.
  int l = 0, r = canvas.Width;
  bool straightRight = false, straightLeft = false;
  if (FDuoStyle) {
    if (FMouseDown && FHotPart == kHotArrow) {
      l = canvas.Width - FArrowWidth;
      straightLeft = true;
    } else {
      r = canvas.Width - FArrowWidth;
      straightRight = true;
    }
  }
  // Corner points of the pressed outline; a straight side has its corners squared off.
  const QPoint bl = straightLeft ? QPoint(l, b - 2) : QPoint(l + 2, b - 2);
  const QPoint blUp = straightLeft ? QPoint(l, b - 2) : QPoint(l + 1, b - 3);
  const QPoint tlDown = straightLeft ? QPoint(l, t + 1) : QPoint(l + 1, t + 2);
  const QPoint tl = straightLeft ? QPoint(l, t + 1) : QPoint(l + 2, t + 1);
  const QPoint tr = straightRight ? QPoint(r - 2, t + 1) : QPoint(r - 3, t + 1);
  const QPoint trDown = straightRight ? QPoint(r - 2, t + 1) : QPoint(r - 2, t + 2);
  const QPoint brUp = straightRight ? QPoint(r - 2, b - 2) : QPoint(r - 2, b - 3);
  const QPoint br = straightRight ? QPoint(r - 2, b - 2) : QPoint(r - 3, b - 2);
  if (FFlatDown) {
    canvas.Polyline({bl, blUp, tlDown, tl, tr, trDown, brUp, br, bl}, Mix(f, kWhite, kFlatDownLine));
    const QRgb dots = Mix(f, kWhite, kFlatDownDots);
    for (const QPoint p : {QPoint(l + 2, t + 2), QPoint(l + 2, b - 3), QPoint(r - 3, t + 2), QPoint(r - 3, b - 3)})
      canvas.Set(p.x(), p.y(), dots);
  } else {
    canvas.Polyline({bl, blUp, tlDown, tl, QPoint(r - 2, t + 1)}, Scale(f, kSunken));
    canvas.Polyline({QPoint(r - 2, t + 2), brUp, br, bl}, Mix(f, kWhite, kSunken));
  }
}

void TGlassButton::PaintShadow(TCanvas& canvas, int offset, bool arrowPartOnly) {
  const qreal dpr = canvas.Dpr();
  // The mask covers the button less 2 pixels, or, for a separate arrow part, its right edge.
  const int maskLeft = arrowPartOnly ? canvas.Width - FArrowWidth - 6 : 0;
  const QSize logical(arrowPartOnly ? FArrowWidth + 6 : canvas.Width - 2, canvas.Height - 2);
  if (logical.isEmpty()) return;
  QImage mask(QSize(qRound(logical.width() * dpr), qRound(logical.height() * dpr)), QImage::Format_RGB32);
  mask.fill(Qt::white);
  mask.setDevicePixelRatio(dpr);
  mask.setDotsPerMeterX(FBitmap.dotsPerMeterX());
  mask.setDotsPerMeterY(FBitmap.dotsPerMeterY());
  const int drop = FShadowStyle == TShadowStyle::ssDrop ? 1 : 0;
  {
    QPainter painter(&mask);
    painter.translate(-maskLeft, 0);
    painter.setFont(font());
    if (!arrowPartOnly) {
      if (HasPicture()) {
        if (const TPngImageCollectionItem* item = FImages->PngImages().Items(FImageIndex))
          painter.drawImage(QRect(FPicturePos + QPoint(drop, drop), QSize(FImages->Width(), FImages->Height())),
                            BlackMask(item->PngImage()));
      }
      painter.save();
      painter.translate(drop, drop);
      PaintCaption(painter, 0, Qt::black);
      painter.restore();
    }
    painter.setPen(Qt::black);
    const bool withArrow = arrowPartOnly || (FArrow && !FDuoStyle);
    if (withArrow) {
      const QPoint at = FArrowPos + QPoint(drop, drop);
      for (size_t i = 0; i + 1 < std::size(kArrowPolyline); ++i)
        painter.drawLine(kArrowPolyline[i] + at, kArrowPolyline[i + 1] + at);
      painter.drawLine(kArrowBar[0] + at, kArrowBar[1] + at - QPoint(1, 0));
    }
  }
  BoxBlur(mask, std::max(1, qRound(dpr)), 3);
  const QRgb s = FColorShadow.rgb();
  const int dx0 = qRound((maskLeft + offset) * dpr), dy0 = qRound(offset * dpr);
  for (int y = 0; y < mask.height(); ++y) {
    const int by = y + dy0;
    if (by < 0 || by >= FBitmap.height()) continue;
    const auto* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
    auto* row = reinterpret_cast<QRgb*>(FBitmap.scanLine(by));
    for (int x = 0; x < mask.width(); ++x) {
      const int bx = x + dx0;
      if (bx < 0 || bx >= FBitmap.width()) continue;
      row[bx] = Mix(row[bx], s, qRed(m[x])) | 0xFF000000;
    }
  }
}

void TGlassButton::PaintCaption(QPainter& painter, int offset, const QColor& color) {
  const QString caption = text();
  QRect rect = FCaptionRect;
  if (!FAltText.isEmpty())
    rect.setTop(rect.top() - RaiseForAltText());
  else
    rect.translate(offset, offset);
  painter.setPen(color);
  painter.setBrush(Qt::NoBrush);
  const QFontMetrics metrics(painter.font());
  const auto oneLine = [&](const QRect& r, int align, const QString& s) {
    painter.drawText(r, align | Qt::AlignVCenter | Qt::TextSingleLine,
                     metrics.elidedText(s, Qt::ElideRight, std::max(0, r.width())));
  };
  const auto wrapped = [&](int align) {
    const int textHeight =
        metrics.boundingRect(QRect(0, 0, std::max(1, rect.width()), 100000), align | Qt::TextWordWrap, caption).height();
    QRect r = rect;
    r.setTop((rect.top() + rect.bottom() + 1 - textHeight) / 2);
    painter.drawText(r, align | Qt::AlignTop | Qt::TextWordWrap, caption);
  };
  const Qt::Alignment horizontal = FTextAlign == TTextAlign::taLeft    ? Qt::AlignLeft
                                   : FTextAlign == TTextAlign::taRight ? Qt::AlignRight
                                                                       : Qt::AlignHCenter;
  if (!caption.isEmpty()) {
    if (FTextAlign == TTextAlign::taCenter)
      wrapped(Qt::AlignHCenter);
    else if (FTextAlign == TTextAlign::taLeft && FAltText.isEmpty())
      wrapped(Qt::AlignLeft);
    else
      oneLine(rect, horizontal, caption);
  }
  if (!FAltText.isEmpty()) {
    QFont small = painter.font();
    const QFont normal = small;
    if (small.pointSizeF() > 0)
      small.setPointSizeF(std::max(1.0, small.pointSizeF() - kAltTextSmaller));
    else
      small.setPixelSize(std::max(1, small.pixelSize() - 4));
    painter.setFont(small);
    QRect second = rect;
    second.setTop(rect.top() + RaiseForAltText());
    const QFontMetrics smallMetrics(small);
    painter.drawText(second, horizontal | Qt::AlignVCenter | Qt::TextSingleLine,
                     smallMetrics.elidedText(FAltText, Qt::ElideRight, std::max(0, second.width())));
    painter.setFont(normal);
  }
}

void TGlassButton::PaintContent(TCanvas& canvas) {
  const bool pressed = Pressed();
  const int o = pressed && !FFlatDown ? 1 : 0;
  const QColor textColor = isEnabled() ? palette().color(QPalette::ButtonText) : FColorDisabled;
  const bool arrowPartDown = FDuoStyle && FMouseDown && FHotPart == kHotArrow;
  // With DuoStyle the main content moves only when the main part is pressed.
  const int contentOffset = FDuoStyle ? (pressed && FHotPart != kHotArrow && !FFlatDown ? 1 : 0) : o;
  const int arrowOffset = FDuoStyle ? (arrowPartDown && !FFlatDown ? 1 : 0) : o;
  if (FDuoStyle && FShadowStyle != TShadowStyle::ssNone) PaintShadow(canvas, arrowOffset, true);
  if (FShadowStyle != TShadowStyle::ssNone) PaintShadow(canvas, contentOffset, false);
  {
    QPainter painter(&canvas.Image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setFont(font());
    if (HasPicture())
      FImages->Draw(painter, FPicturePos.x() + contentOffset, FPicturePos.y() + contentOffset, FImageIndex, isEnabled());
    PaintCaption(painter, contentOffset, textColor);
  }
  if (FArrow || FDuoStyle) {
    const QPoint at = FArrowPos + QPoint(arrowOffset, arrowOffset);
    const QRgb pen = textColor.rgb();
    canvas.Polyline(kArrowPolyline, pen, at);
    canvas.Line(kArrowBar[0] + at, kArrowBar[1] + at, pen, false);
  }
}

// --- Mouse and keyboard

int TGlassButton::HotPartAt(int x) const { return x > width() - FArrowWidth - 2 ? kHotArrow : kHotMain; }

bool TGlassButton::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void TGlassButton::enterEvent(QEnterEvent* event) {
  FMenuOpen = false;
  FMouseDown = false;
  FHotPart = kHotNone;
  update();
  QAbstractButton::enterEvent(event);
}

void TGlassButton::leaveEvent(QEvent* event) {
  if (!FMenuOpen) {
    FMouseDown = false;
    FHotPart = kHotNone;
    update();
  }
  QAbstractButton::leaveEvent(event);
}

void TGlassButton::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  FMouseInside = rect().contains(pos);
  if (FMouseInside && event->buttons() == Qt::NoButton) {
    const int hot = HotPartAt(pos.x());
    if (hot != FHotPart) {
      FHotPart = hot;
      update();
    }
    FMouseDown = false;
  }
}

void TGlassButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  FClicked = false;
  if ((focusPolicy() & Qt::ClickFocus) != 0 && !hasFocus()) setFocus(Qt::MouseFocusReason);
  FMenuOpen = false;
  FMouseDown = true;
  FMouseInside = true;
  FHotPart = HotPartAt(event->position().toPoint().x());
  repaint();
}

void TGlassButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const QPoint pos = event->position().toPoint();
  const bool inside = rect().contains(pos);
  FMouseInside = inside;
  if (!FClicked && inside && FMouseDown) ClickHandling(inside);
  if (inside) {
    if (FDuoStyle) {
      if (HotPartAt(pos.x()) == kHotArrow && !FMenuOpen && FHotPart == kHotArrow) RequestDropDown();
    } else if (FDropDownMenu) {
      RequestDropDown();
    }
  }
  FMouseDown = false;
  FHotPart = kHotNone;
  FMenuOpen = false;
  update();
}

void TGlassButton::ClickHandling(bool inside) {
  if ((focusPolicy() & Qt::ClickFocus) != 0 && !hasFocus()) setFocus(Qt::MouseFocusReason);
  FClicked = true;
  if (FDuoStyle ? FHotPart == kHotMain : inside) emit clicked(false);
}

void TGlassButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!event->isAutoRepeat()) {
        FMouseDown = true;
        FHotPart = kHotMain;
        repaint();
      }
      return;
    case Qt::Key_Left:
      focusNextPrevChild(false);
      return;
    case Qt::Key_Right:
      focusNextPrevChild(true);
      return;
    case Qt::Key_Down:
      if (FArrow || FDropDownMenu) {
        FMouseDown = true;
        FHotPart = FDuoStyle ? kHotArrow : kHotMain;
        repaint();
        return;
      }
      break;
    default:
      break;
  }
  QAbstractButton::keyPressEvent(event);
}

void TGlassButton::keyReleaseEvent(QKeyEvent* event) {
  if (event->isAutoRepeat()) {
    QAbstractButton::keyReleaseEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Down:
      if (FArrow || FDropDownMenu) {
        RequestDropDown();
        return;
      }
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (FDuoStyle || !FDropDownMenu) {
        FMouseDown = false;
        FHotPart = kHotNone;
        repaint();
        emit clicked(false);
      } else {
        RequestDropDown();
      }
      return;
    default:
      break;
  }
  QAbstractButton::keyReleaseEvent(event);
}

void TGlassButton::focusInEvent(QFocusEvent* event) {
  if (focusPolicy() & Qt::TabFocus) update();
  QAbstractButton::focusInEvent(event);
}

void TGlassButton::focusOutEvent(QFocusEvent* event) {
  if (focusPolicy() & Qt::TabFocus) update();
  QAbstractButton::focusOutEvent(event);
}

void TGlassButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange) {
    updateGeometry();
    update();
  }
  QAbstractButton::changeEvent(event);
}

// --- Drop-down

void TGlassButton::RequestDropDown() {
  // Queued, so that the mouse or key handling that asked for it ends first.
  QMetaObject::invokeMethod(this, &TGlassButton::DoDropDown, Qt::QueuedConnection);
}

void TGlassButton::DoDropDown() {
  QMenu* menu = FDropDownMenu;
  if (menu == nullptr) return;
  emit BeforePopup();
  if (!FDropDownMenu) return;
  const int menuWidth = menu->sizeHint().width();
  int x = 0;
  switch (FDropDownAlignment) {
    case TPopupAlignment::paLeft:
      x = 0;
      break;
    case TPopupAlignment::paRight:
      x = width() - menuWidth;
      break;
    case TPopupAlignment::paCenter:
      x = width() / 2 - menuWidth / 2;
      break;
  }
  const QPoint at = mapToGlobal(QPoint(x + FPopupOffset, height()));
  repaint();
  FMenuOpen = true;
  emit Popup();
  connect(
      menu, &QMenu::aboutToHide, this,
      [this] {
        FHotPart = kHotNone;
        FMouseDown = false;
        update();
      },
      Qt::SingleShotConnection);
  menu->popup(at);
}

}  // namespace components
