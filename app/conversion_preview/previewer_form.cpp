#include "app/conversion_preview/previewer_form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "media/ff_utils.h"

namespace app {

QImage BitmapToImage(const media::TBitmap& bitmap) {
  QImage::Format format = QImage::Format_Invalid;
  switch (bitmap.BitsPixel) {
    case 32:
      format = QImage::Format_RGB32;  // B, G, R, X in memory
      break;
    case 24:
      format = QImage::Format_BGR888;
      break;
    case 16:
      format = QImage::Format_RGB16;
      break;
    case 15:
      format = QImage::Format_RGB555;
      break;
    case 8:
      format = QImage::Format_Indexed8;
      break;
    default:
      return {};
  }
  if (bitmap.Width <= 0 || bitmap.Height <= 0 || bitmap.Bytes.empty()) return {};
  QImage image(bitmap.Bytes.data(), bitmap.Width, bitmap.Height, bitmap.Stride, format);
  if (format == QImage::Format_Indexed8) {
    QList<QRgb> colours;
    for (uint32_t c : media::Bgr8ColorTable()) colours.append(QRgb(c));
    image.setColorTable(colours);
  }
  return image.copy();
}

TPreviewerForm::TPreviewerForm()
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowSystemMenuHint) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewerForm::PaintFrame(const media::TBitmap& bitmap, int, std::int64_t pts) {
  if (FClosed) return;
  FImage = BitmapToImage(bitmap);
  if (!FShown) {
    FShown = true;
    setFixedSize(FImage.isNull() ? QSize(bitmap.Width, bitmap.Height) : FImage.size());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      QRect frame(QPoint(0, 0), size());
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
    show();
  }
  setWindowTitle(QString::fromStdString(media::DurationToStr(pts)));
  update();
}

void TPreviewerForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!FImage.isNull()) painter.drawImage(QPoint(0, 0), FImage);
}

void TPreviewerForm::closeEvent(QCloseEvent* event) {
  FClosed = true;
  event->accept();
}

void TPreviewerForm::mousePressEvent(QMouseEvent* event) {
  // The picture moves the window as its title bar would.
  if (event->button() == Qt::LeftButton && windowHandle() != nullptr) windowHandle()->startSystemMove();
  QWidget::mousePressEvent(event);
}

void InstallConversionPreview() {
  media::SetPreviewWindowFactory([]() -> std::unique_ptr<media::IPreviewWindow> {
    return std::make_unique<TPreviewerForm>();
  });
}

}  // namespace app
