#pragma once
// TPreviewerForm: the conversion preview window. A small tool window that stays on top and shows
// the frames a conversion produces, with the frame's time stamp as its caption; dragging the
// picture moves the window. The engine's previewer (media::TPreviewer) creates, paints and frees
// it on the main thread through the factory that InstallConversionPreview installs.

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "media/previewer.h"

namespace app {

class TPreviewerForm : public QWidget, public media::IPreviewWindow {
 public:
  TPreviewerForm();

  /// The first frame sizes the window (its client area is the bitmap) and shows it centred on
  /// the screen; later frames are drawn at the top-left, clipped to that size.
  void PaintFrame(const media::TBitmap& bitmap, int frameNumber, std::int64_t pts) override;
  bool Closed() const override { return FClosed; }

  /// The picture being shown (for tests).
  const QImage& Picture() const { return FImage; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QImage FImage;
  bool FClosed = false;
  bool FShown = false;
};

/// The bitmap as a QImage (a deep copy); a null image for a depth it does not know.
QImage BitmapToImage(const media::TBitmap& bitmap);

/// Makes conversions of this process preview into TPreviewerForm windows. The desktop program
/// calls it at start-up (not in batch mode).
void InstallConversionPreview();

}  // namespace app
