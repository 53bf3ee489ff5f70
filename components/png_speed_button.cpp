#include "components/png_speed_button.h"

#include <QAction>
#include <QColorSpace>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <algorithm>

namespace components {

TSpeedButtonGeometry CalcButtonLayout(const QRect& client, const QSize& picture, const QSize& caption,
                                      TButtonLayout layout, int margin, int spacing, bool rightToLeft,
                                      int pressedOffset) {
  if (rightToLeft) {
    if (layout == TButtonLayout::blGlyphLeft)
      layout = TButtonLayout::blGlyphRight;
    else if (layout == TButtonLayout::blGlyphRight)
      layout = TButtonLayout::blGlyphLeft;
  }
  const bool horizontal = layout == TButtonLayout::blGlyphLeft || layout == TButtonLayout::blGlyphRight;
  const int clientAlong = horizontal ? client.width() : client.height();
  const int pictureAlong = horizontal ? picture.width() : picture.height();
  const int captionAlong = horizontal ? caption.width() : caption.height();

  QPoint pictureAt;
  if (horizontal)
    pictureAt.setY((client.height() - picture.height() + 1) / 2);
  else
    pictureAt.setX((client.width() - picture.width() + 1) / 2);

  if (caption.width() == 0 || picture.width() == 0) spacing = 0;
  if (margin == -1) {
    if (spacing == -1) {
      // Automatic both: margin, gap and the far side share the room left in equal thirds.
      margin = std::max(0, (clientAlong - (pictureAlong + captionAlong)) / 3);
      spacing = margin;
    } else {
      margin = (clientAlong - (pictureAlong + spacing + captionAlong)) / 2;
    }
  } else if (spacing == -1) {
    // Automatic spacing after a given margin: half of what is left beyond the content.
    spacing = std::max(0, (clientAlong - (margin + pictureAlong + captionAlong)) / 2);
  }

  switch (layout) {
    case TButtonLayout::blGlyphLeft:
      pictureAt.setX(margin);
      break;
    case TButtonLayout::blGlyphRight:
      pictureAt.setX(client.width() - margin - picture.width());
      break;
    case TButtonLayout::blGlyphTop:
      pictureAt.setY(margin);
      break;
    case TButtonLayout::blGlyphBottom:
      pictureAt.setY(client.height() - margin - picture.height());
      break;
  }
  QPoint captionAt;
  if (horizontal)
    captionAt.setY((client.height() - caption.height()) / 2);
  else
    captionAt.setX((client.width() - caption.width()) / 2);
  switch (layout) {
    case TButtonLayout::blGlyphLeft:
      captionAt.setX(pictureAt.x() + picture.width() + spacing);
      break;
    case TButtonLayout::blGlyphRight:
      captionAt.setX(pictureAt.x() - spacing - caption.width());
      break;
    case TButtonLayout::blGlyphTop:
      captionAt.setY(pictureAt.y() + picture.height() + spacing);
      break;
    case TButtonLayout::blGlyphBottom:
      captionAt.setY(pictureAt.y() - spacing - caption.height());
      break;
  }
  const QPoint shift = client.topLeft() + QPoint(pressedOffset, pressedOffset);
  return {QRect(pictureAt + shift, picture), QRect(captionAt + shift, caption)};
}

TPngSpeedButton::TPngSpeedButton(QWidget* parent) : QToolButton(parent) {
  setFocusPolicy(Qt::NoFocus);
  setAutoRaise(true);
}

void TPngSpeedButton::SetPngImage(const QImage& png) {
  FPngImage = png.isNull() ? QImage() : png;
  // Drawn as stored, without colour or gamma correction.
  if (!FPngImage.isNull()) FPngImage.setColorSpace(QColorSpace());
  updateGeometry();
  update();
}

QImage TPngSpeedButton::ShownPicture() const {
  if (!FPngImage.isNull()) return FPngImage;
  const QAction* action = defaultAction();
  if (action == nullptr || action->icon().isNull()) return {};
  return action->icon().pixmap(iconSize(), devicePixelRatioF()).toImage().convertToFormat(QImage::Format_ARGB32);
}

void TPngSpeedButton::SetPngOptions(TPngOptions options) {
  if (options == FPngOptions) return;
  FPngOptions = options;
  update();
}

void TPngSpeedButton::SetLayout(TButtonLayout layout) {
  FLayout = layout;
  update();
}

void TPngSpeedButton::SetMargin(int margin) {
  FMargin = margin;
  update();
}

void TPngSpeedButton::SetSpacing(int spacing) {
  FSpacing = spacing;
  update();
}

void TPngSpeedButton::SetDown(bool down) {
  if (down == FDown) return;
  FDown = down;
  update();
}

QSize TPngSpeedButton::CaptionSize() const {
  if (text().isEmpty()) return {0, 0};
  return fontMetrics().boundingRect(QRect(0, 0, width(), 0), Qt::TextShowMnemonic, text()).size();
}

TSpeedButtonGeometry TPngSpeedButton::Geometry() const {
  const QImage shown = ShownPicture();
  const QSize picture = shown.isNull() ? QSize(0, 0) : shown.deviceIndependentSize().toSize();
  return CalcButtonLayout(rect(), picture, CaptionSize(), FLayout, FMargin, FSpacing,
                          layoutDirection() == Qt::RightToLeft, isDown() || FDown ? 1 : 0);
}

QSize TPngSpeedButton::sizeHint() const {
  const QImage shown = ShownPicture();
  const QSize picture = shown.isNull() ? QSize(0, 0) : shown.deviceIndependentSize().toSize();
  const QSize caption = CaptionSize();
  const int gap = picture.isEmpty() || caption.isEmpty() ? 0 : std::max(0, FSpacing);
  const bool horizontal = FLayout == TButtonLayout::blGlyphLeft || FLayout == TButtonLayout::blGlyphRight;
  const QSize content = horizontal ? QSize(picture.width() + gap + caption.width(), std::max(picture.height(), caption.height()))
                                   : QSize(std::max(picture.width(), caption.width()), picture.height() + gap + caption.height());
  return content + QSize(8, 8);
}

void TPngSpeedButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionToolButton option;
  initStyleOption(&option);
  option.text.clear();
  option.icon = QIcon();
  if (FDown) option.state |= QStyle::State_Sunken | QStyle::State_On;
  painter.drawComplexControl(QStyle::CC_ToolButton, option);
  const TSpeedButtonGeometry geometry = Geometry();
  const QImage shown = ShownPicture();
  if (!shown.isNull()) DrawPngWithOptions(painter, geometry.Picture, shown, isEnabled() ? TPngOptions() : FPngOptions);
  if (!text().isEmpty()) {
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(geometry.Caption, Qt::TextShowMnemonic | Qt::AlignCenter, text());
  }
}

}  // namespace components
