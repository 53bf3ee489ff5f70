#pragma once
// The frame preview window: steps through the video of one file of the main list frame by frame
// (next and previous frame, next and previous key frame, the track bar) and saves the frame on
// screen as a BMP or JPEG picture. The main window's Preview command creates it for the selected
// row, shows it modally and frees it. It decodes on the user-interface thread with a decoder of
// its own; every step is one synchronous call.

#include <QDialog>
#include <QImage>
#include <QSlider>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "media/format_converter.h"

#include "components/png_speed_button.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTimer;

namespace media {
class TFFDecoder;
}

namespace app {

class Tfrm_Main;

/// Writes picture to fileName as a BMP file when asBitmap is set, else as a JPEG file (quality
/// 90). The file is written beside its final name and renamed into place at the end, so a failure
/// leaves neither a partial file nor a changed old one. False with error set to the reason.
bool SaveFrameImage(const QImage& picture, const QString& fileName, bool asBitmap, QString& error);

/// A picture that fills the widget and reports left clicks: the preview's Image1 and the picture
/// of the real-size window.
class TPreviewImage : public QWidget {
  Q_OBJECT

 public:
  explicit TPreviewImage(QWidget* parent = nullptr);
  /// What is painted at the widget's top left; the owner keeps it the widget's size.
  const QImage& Picture() const { return FPicture; }
  QImage& Picture() { return FPicture; }

 signals:
  /// A left click released over the widget.
  void Clicked();
  /// The widget's size changed.
  void Resized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage FPicture;
  bool FPressed = false;
};

/// A horizontal track bar whose slider can be hidden (the groove and ticks stay).
class TPreviewTrackBar : public QSlider {
  Q_OBJECT

 public:
  explicit TPreviewTrackBar(QWidget* parent = nullptr);
  bool SliderVisible() const { return FSliderVisible; }
  void SetSliderVisible(bool value);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool FSliderVisible = true;
};

class Tfrm_Preview : public QDialog {
  Q_OBJECT

 public:
  /// A window with its own TFFDecoder, or with decoder when one is given (tests pass one that
  /// records its seeks).
  explicit Tfrm_Preview(QWidget* parent, std::unique_ptr<media::TFFDecoder> decoder = nullptr);
  ~Tfrm_Preview() override;

  /// The file to show (full path); also the caption. Set before the window is shown.
  const QString& FileName() const { return FFileName; }
  void SetFileName(const QString& fileName);
  /// Where the FFmpeg libraries are looked for when they are not loaded yet (the program's
  /// folder; the loader falls back to the system's libraries).
  const QString& LibraryPath() const { return FLibraryPath; }
  void SetLibraryPath(const QString& path) { FLibraryPath = path; }

  /// True once the file was opened, or the attempt failed (and was reported).
  bool OpenAttempted() const { return FOpenAttempted; }
  /// The frame on screen at its own size (null before the first frame).
  const QImage& Frame() const { return FFrame; }
  /// The time of the frame on screen and the file's duration, in microseconds (0 when unknown).
  int64_t CurrentTime() const { return FCurrentTime; }
  int64_t Duration() const { return FDuration; }
  /// The number of frames the track bar counts (0 when it could not be worked out).
  int64_t FrameCount() const { return FFrameCount; }

  media::TFFDecoder& FFDecoder1() { return *FFFDecoder1; }
  TPreviewImage* Image1() const { return FImage1; }
  components::TPngSpeedButton* btn_First() const { return Fbtn_First; }
  components::TPngSpeedButton* btn_Previous() const { return Fbtn_Previous; }
  components::TPngSpeedButton* btn_Next() const { return Fbtn_Next; }
  components::TPngSpeedButton* btn_Last() const { return Fbtn_Last; }
  QLabel* lblPTS() const { return FlblPTS; }
  TPreviewTrackBar* TrackBar1() const { return FTrackBar1; }
  QAction* SaveImageAs1() const { return FSaveImageAs1; }
  QAction* Action1() const { return FAction1; }
  QAction* Action2() const { return FAction2; }
  QMenu* PopupMenu1() const { return FPopupMenu1; }

  /// Opens the file and shows its first frame (run by Timer1 once the window is on screen).
  void Timer1Timer();
  /// The four steps; each shows the new frame on success and leaves the last one on failure.
  void btn_FirstClick();
  void btn_PreviousClick();
  void btn_NextClick();
  void btn_LastClick();
  /// A new track-bar position: one step forward or back decodes one frame, any other move seeks.
  void TrackBar1Change(int position);
  /// Shows the frame at its real size in a window of its own (modal).
  void Image1Click();
  /// Asks for a file name and saves the frame as BMP (a ".bmp" name, any case) or JPEG.
  void SaveImageAs1Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 public slots:
  /// Closes the file and drops the frame before the window closes.
  void done(int result) override;

 private:
  QWidget* CreateBottomPanel();
  void OpenFile();
  void ResetView();
  void UpdateTrackBar();
  void ShowCurrentFrame(bool byTrackBar);
  void FitImage();
  void DrawFrame();
  void SetStepsEnabled(bool enabled);
  void SetTrackBarPosition(int position);
  void ShowError(const QString& text);

  std::unique_ptr<media::TFFDecoder> FFFDecoder1;
  QString FFileName;
  QString FLibraryPath;

  QFrame* FPanel1 = nullptr;
  TPreviewImage* FImage1 = nullptr;
  QWidget* Fpnl_Top = nullptr;
  QWidget* FPanel2 = nullptr;
  components::TPngSpeedButton* Fbtn_First = nullptr;
  components::TPngSpeedButton* Fbtn_Previous = nullptr;
  components::TPngSpeedButton* Fbtn_Next = nullptr;
  components::TPngSpeedButton* Fbtn_Last = nullptr;
  QLabel* FlblPTS = nullptr;
  TPreviewTrackBar* FTrackBar1 = nullptr;
  QTimer* FTimer1 = nullptr;
  QAction* FAction1 = nullptr;
  QAction* FAction2 = nullptr;
  QMenu* FPopupMenu1 = nullptr;
  QAction* FSaveImageAs1 = nullptr;

  media::TBitmap FBitmap;  // the decoder's copy of the current picture
  QImage FFrame;           // the frame on screen; null (0 × 0) when there is none
  int64_t FDuration = 0;
  int64_t FFrameCount = 0;
  int64_t FCurrentTime = 0;
  int FLastPosition = 0;
  bool FBusy = false;  // the window itself is moving the track bar, or a track-bar step runs
  bool FOpenAttempted = false;
};

/// Plugs the preview window into the main window's Preview command: the window for the row's
/// file (sub-item 2). main must outlive its hooks (it owns them).
void WirePreview(Tfrm_Main& main);

}  // namespace app
