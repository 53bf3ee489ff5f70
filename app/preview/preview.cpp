#include "app/preview/preview.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QShowEvent>
#include <QStyleOptionSlider>
#include <QStylePainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/main_window/main_window.h"
#include "app/pictures/pictures.h"
#include "app/preview/preview_format.h"
#include "media/ff_decoder.h"
#include "platform/file_dialogs.h"
#include "platform/file_names.h"
#include "platform/prompter.h"

namespace app {

namespace {

// Delay between the window's appearance and the opening of the file, so the window is on screen
// (and painted) before a slow file is read.
constexpr int kOpenDelayMs = 100;
constexpr int kStepButtonSize = 32;
constexpr int kPanel2Width = 241;
constexpr int kTopPanelHeight = 38;
// The JPEG quality the saved frames have always had.
constexpr int kJpegQuality = 90;

const QString kSaveFilter = QStringLiteral("Bitmaps (*.bmp);;JPEG Image File (*.jpg *.jpeg)");

// The window that shows a frame at its real size: a fixed client of the frame's size, centred
// on the screen; Escape, Enter or a click on the picture closes it.
void ShowRealSize(QWidget* parent, const QImage& frame, const QString& caption) {
  QDialog window(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                             Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  window.setObjectName(QStringLiteral("frm_RealSize"));
  window.setWindowTitle(caption);
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* image = new TPreviewImage(&window);
  image->setObjectName(QStringLiteral("Image1"));
  image->Picture() = frame;
  image->setFixedSize(frame.size());
  layout->addWidget(image);
  // Enter presses the invisible default button; Escape rejects any dialog.
  auto* close = new QPushButton(&window);
  close->setObjectName(QStringLiteral("btn_Close"));
  close->setDefault(true);
  close->setFixedSize(0, 0);
  close->setFlat(true);
  QObject::connect(close, &QPushButton::clicked, &window, &QDialog::accept);
  QObject::connect(image, &TPreviewImage::Clicked, &window, &QDialog::accept);
  window.setFixedSize(frame.size());
  if (const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
    QRect area(QPoint(0, 0), frame.size());
    area.moveCenter(screen->availableGeometry().center());
    window.move(area.topLeft());
  }
  window.exec();
}

}  // namespace

bool SaveFrameImage(const QImage& picture, const QString& fileName, bool asBitmap, QString& error) {
  if (picture.isNull()) {
    error = QStringLiteral("There is no picture to save.");
    return false;
  }
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString();
    return false;
  }
  QImageWriter writer(&file, asBitmap ? QByteArrayLiteral("bmp") : QByteArrayLiteral("jpeg"));
  if (!asBitmap) writer.setQuality(kJpegQuality);
  // JPEG and BMP have no alpha; RGB32 makes both writers take the pixels as they are.
  if (!writer.write(picture.convertToFormat(QImage::Format_RGB32))) {
    error = writer.errorString();
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}

// ---- TPreviewImage ---------------------------------------------------------------------------

TPreviewImage::TPreviewImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(1, 1);
}

void TPreviewImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!FPicture.isNull()) painter.drawImage(QPoint(0, 0), FPicture);
}

void TPreviewImage::mousePressEvent(QMouseEvent* event) {
  FPressed = event->button() == Qt::LeftButton;
  QWidget::mousePressEvent(event);
}

void TPreviewImage::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  FPressed = false;
  QWidget::mouseReleaseEvent(event);
  if (click) emit Clicked();
}

void TPreviewImage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit Resized();
}

// ---- TPreviewTrackBar ------------------------------------------------------------------------

TPreviewTrackBar::TPreviewTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::TicksBelow);
}

void TPreviewTrackBar::SetSliderVisible(bool value) {
  if (FSliderVisible == value) return;
  FSliderVisible = value;
  update();
}

void TPreviewTrackBar::paintEvent(QPaintEvent* event) {
  if (FSliderVisible) {
    QSlider::paintEvent(event);
    return;
  }
  QStylePainter painter(this);
  QStyleOptionSlider option;
  initStyleOption(&option);
  option.subControls &= ~QStyle::SC_SliderHandle;
  painter.drawComplexControl(QStyle::CC_Slider, option);
}

// ---- Tfrm_Preview ----------------------------------------------------------------------------

Tfrm_Preview::Tfrm_Preview(QWidget* parent, std::unique_ptr<media::TFFDecoder> decoder)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      FFFDecoder1(decoder ? std::move(decoder) : std::make_unique<media::TFFDecoder>()),
      FLibraryPath(QCoreApplication::applicationDirPath()) {
  setObjectName(QStringLiteral("frm_Preview"));

  FPanel1 = new QFrame(this);
  FPanel1->setObjectName(QStringLiteral("Panel1"));
  FPanel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* panelLayout = new QVBoxLayout(FPanel1);
  panelLayout->setContentsMargins(FPanel1->frameWidth(), FPanel1->frameWidth(), FPanel1->frameWidth(),
                                  FPanel1->frameWidth());
  FImage1 = new TPreviewImage(FPanel1);
  FImage1->setObjectName(QStringLiteral("Image1"));
  FImage1->setContextMenuPolicy(Qt::CustomContextMenu);
  panelLayout->addWidget(FImage1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(FPanel1, 1);
  layout->addWidget(CreateBottomPanel());

  FTimer1 = new QTimer(this);
  FTimer1->setObjectName(QStringLiteral("Timer1"));
  FTimer1->setSingleShot(true);
  FTimer1->setInterval(kOpenDelayMs);

  const auto action = [this](const char* name, const QString& text, const QKeySequence& key,
                             void (Tfrm_Preview::*handler)()) {
    auto* a = new QAction(text, this);
    a->setObjectName(QLatin1String(name));
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, handler);
    addAction(a);
    return a;
  };
  FAction1 = action("Action1", QStringLiteral("Previous key frame"), QKeySequence(Qt::CTRL | Qt::Key_Left),
                    &Tfrm_Preview::btn_FirstClick);
  FAction2 = action("Action2", QStringLiteral("Next key frame"), QKeySequence(Qt::CTRL | Qt::Key_Right),
                    &Tfrm_Preview::btn_LastClick);
  FSaveImageAs1 = action("SaveImageAs1", QStringLiteral("Save Image As..."), QKeySequence(Qt::CTRL | Qt::Key_S),
                         &Tfrm_Preview::SaveImageAs1Click);
  FPopupMenu1 = new QMenu(this);
  FPopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  FPopupMenu1->addAction(FSaveImageAs1);
  SetStepsEnabled(false);
  FSaveImageAs1->setEnabled(false);

  connect(FTimer1, &QTimer::timeout, this, &Tfrm_Preview::Timer1Timer);
  connect(FImage1, &TPreviewImage::Clicked, this, &Tfrm_Preview::Image1Click);
  connect(FImage1, &TPreviewImage::Resized, this, &Tfrm_Preview::FitImage);
  connect(FImage1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { FPopupMenu1->popup(FImage1->mapToGlobal(at)); });
  connect(FTrackBar1, &QSlider::valueChanged, this, &Tfrm_Preview::TrackBar1Change);

  setMinimumSize(200, 200);
  resize(592, 473);
}

Tfrm_Preview::~Tfrm_Preview() = default;

QWidget* Tfrm_Preview::CreateBottomPanel() {
  Fpnl_Top = new QWidget(this);
  Fpnl_Top->setObjectName(QStringLiteral("pnl_Top"));
  Fpnl_Top->setFixedHeight(kTopPanelHeight);
  auto* top = new QHBoxLayout(Fpnl_Top);
  top->setContentsMargins(0, 0, 4, 0);
  top->setSpacing(4);

  FPanel2 = new QWidget(Fpnl_Top);
  FPanel2->setObjectName(QStringLiteral("Panel2"));
  FPanel2->setFixedWidth(kPanel2Width);
  auto* steps = new QHBoxLayout(FPanel2);
  steps->setContentsMargins(2, 0, 2, 0);
  steps->setSpacing(1);
  const auto button = [&](const char* name, const QString& hint, TStepPicture picture,
                          void (Tfrm_Preview::*handler)()) {
    auto* b = new components::TPngSpeedButton(FPanel2);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->SetFlat(true);
    b->setFixedSize(kStepButtonSize, kStepButtonSize);
    b->SetPngImage(StepPicture(picture));
    connect(b, &QToolButton::clicked, this, handler);
    return b;
  };
  Fbtn_First = button("btn_First", QStringLiteral("Previous key frame (Ctrl+Left)"), TStepPicture::First,
                      &Tfrm_Preview::btn_FirstClick);
  Fbtn_Previous = button("btn_Previous", QStringLiteral("Previous frame"), TStepPicture::Previous,
                         &Tfrm_Preview::btn_PreviousClick);
  Fbtn_Next = button("btn_Next", QStringLiteral("Next frame"), TStepPicture::Next, &Tfrm_Preview::btn_NextClick);
  Fbtn_Last = button("btn_Last", QStringLiteral("Next key frame (Ctrl+Right)"), TStepPicture::Last,
                     &Tfrm_Preview::btn_LastClick);
  FlblPTS = new QLabel(FPanel2);
  FlblPTS->setObjectName(QStringLiteral("lblPTS"));
  FlblPTS->setAlignment(Qt::AlignCenter);
  FlblPTS->setText(FormatFrameTime(0));
  steps->addWidget(Fbtn_First);
  steps->addWidget(Fbtn_Previous);
  steps->addWidget(FlblPTS, 1);
  steps->addWidget(Fbtn_Next);
  steps->addWidget(Fbtn_Last);
  top->addWidget(FPanel2, 0, Qt::AlignVCenter);

  FTrackBar1 = new TPreviewTrackBar(Fpnl_Top);
  FTrackBar1->setObjectName(QStringLiteral("TrackBar1"));
  FTrackBar1->setRange(0, 10);
  FTrackBar1->setTickInterval(1);
  FTrackBar1->setPageStep(2);
  FTrackBar1->setEnabled(false);
  top->addWidget(FTrackBar1, 1, Qt::AlignVCenter);
  return Fpnl_Top;
}

void Tfrm_Preview::SetFileName(const QString& fileName) {
  FFileName = fileName;
  setWindowTitle(platform::DisplayFileName(fileName));
}

void Tfrm_Preview::SetStepsEnabled(bool enabled) {
  for (QToolButton* b : {Fbtn_First, Fbtn_Previous, Fbtn_Next, Fbtn_Last}) b->setEnabled(enabled);
  FAction1->setEnabled(enabled);
  FAction2->setEnabled(enabled);
}

void Tfrm_Preview::ShowError(const QString& text) {
  platform::Prompter().Message(this, platform::TPromptIcon::Error, QStringLiteral("Error"), text);
}

void Tfrm_Preview::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FFrame = QImage();
  ResetView();
  FTimer1->start();
}

void Tfrm_Preview::Timer1Timer() {
  FTimer1->stop();
  if (FOpenAttempted) return;
  OpenFile();
  FOpenAttempted = true;
}

void Tfrm_Preview::OpenFile() {
  media::TFFDecoder& decoder = *FFFDecoder1;
  if (!decoder.AVLibLoaded() && !decoder.LoadAVLib(FLibraryPath.toStdString())) {
    ShowError(QStringLiteral("AV components could not be found.\rPlease re-install the software."));
    return;
  }
  // The name's own bytes: toStdString would write "?" for a byte that is not UTF-8.
  if (!decoder.LoadFile(platform::FileNameBytes(FFileName), std::string())) {
    ShowError(QString::fromStdString(decoder.LastErrMsg()));
    return;
  }
  const bool hasVideo = decoder.VideoStreamCount() > 0;
  const int64_t duration = decoder.FileDuration();
  FDuration = duration > 0 ? duration : 0;
  FTrackBar1->setEnabled(duration > 0 && hasVideo && !decoder.IsStillImage());
  if (!hasVideo) {
    // Nothing to step through or save: say why instead of showing an empty window with live
    // buttons.
    FTrackBar1->setEnabled(false);
    UpdateTrackBar();
    ShowError(QStringLiteral("no video stream."));
    return;
  }
  SetStepsEnabled(true);
  FSaveImageAs1->setEnabled(true);
  const media::TVideoStreamInfo info = decoder.GetVideoStreamInfo(-1);
  FFrameCount = app::FrameCount(info.DurationScaled, duration, info.FrameRate.num, info.FrameRate.den);
  if (decoder.Decode(-1))
    ShowCurrentFrame(false);
  else
    ShowError(QString::fromStdString(decoder.LastErrMsg()));
  UpdateTrackBar();
}

void Tfrm_Preview::ResetView() {
  FDuration = 0;
  FFrameCount = 0;
  FCurrentTime = 0;
  FBitmap = media::TBitmap();
  FFrame = QImage();
  FImage1->Picture().fill(Qt::black);
  FImage1->update();
  FTrackBar1->setEnabled(false);
  SetTrackBarPosition(0);
  UpdateTrackBar();
  FlblPTS->setText(FormatFrameTime(0));
}

void Tfrm_Preview::SetTrackBarPosition(int position) {
  const bool busy = FBusy;
  FBusy = true;
  FTrackBar1->setValue(position);
  FBusy = busy;
}

void Tfrm_Preview::UpdateTrackBar() {
  const bool enabled = FTrackBar1->isEnabled();
  FTrackBar1->setEnabled(false);
  const TTrackBarScale scale = ScaleTrackBar(FTrackBar1->value(), FTrackBar1->maximum(), FFrameCount);
  const bool busy = FBusy;
  FBusy = true;
  FTrackBar1->setMaximum(scale.Maximum);
  FTrackBar1->setTickInterval(scale.TickFrequency);
  FTrackBar1->setPageStep(scale.PageSize);
  FTrackBar1->setValue(scale.Position);
  FBusy = busy;
  FLastPosition = FTrackBar1->value();
  FTrackBar1->setEnabled(enabled);
  FTrackBar1->SetSliderVisible(enabled);
}

void Tfrm_Preview::ShowCurrentFrame(bool byTrackBar) {
  media::TFFDecoder& decoder = *FFFDecoder1;
  const int64_t pts = decoder.FrameInfo().PTS;
  FCurrentTime = pts == media::kNoPTS ? 0 : pts;
  FlblPTS->setText(FormatFrameTime(FCurrentTime));
  if (!byTrackBar && FDuration > 0) {
    SetTrackBarPosition(TrackBarPosition(FCurrentTime, FDuration, FTrackBar1->maximum()));
    // The next move of the bar is then measured from the frame on screen, so one step from
    // here still decodes a single frame.
    FLastPosition = FTrackBar1->value();
  }
  if (!decoder.CopyToBitmap(FBitmap)) {
    // The decoder left the bitmap black at the picture's size; the screen keeps the last frame.
    FFrame = QImage(FBitmap.Width, FBitmap.Height, QImage::Format_RGB32);
    FFrame.fill(Qt::black);
    return;
  }
  // 32 bits per pixel (the decoder's default) are bytes B, G, R, A: QImage's RGB32 in memory.
  FFrame = QImage(FBitmap.Bytes.data(), FBitmap.Width, FBitmap.Height, FBitmap.Stride, QImage::Format_RGB32).copy();
  DrawFrame();
}

void Tfrm_Preview::DrawFrame() {
  QImage& canvas = FImage1->Picture();
  canvas.fill(Qt::black);
  const QRect target = FitFrame(FFrame.width(), FFrame.height(), canvas.rect());
  if (!target.isEmpty()) {
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, FFrame);
  }
  FImage1->update();
}

void Tfrm_Preview::FitImage() {
  QImage& canvas = FImage1->Picture();
  if (canvas.size() != FImage1->size()) canvas = QImage(FImage1->size(), QImage::Format_RGB32);
  canvas.fill(Qt::black);
  if (FFrame.isNull())
    ResetView();
  else
    DrawFrame();
}

void Tfrm_Preview::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // Panel2 sits centred in pnl_Top through its layout.
  UpdateTrackBar();
  FitImage();
}

void Tfrm_Preview::done(int result) {
  FTimer1->stop();
  FFrame = QImage();
  FBitmap = media::TBitmap();
  FFFDecoder1->CloseFile();
  QDialog::done(result);
}

void Tfrm_Preview::btn_FirstClick() {
  if (FFFDecoder1->DecodePreviousKeyFrame(-1)) ShowCurrentFrame(false);
}

void Tfrm_Preview::btn_PreviousClick() {
  if (FFFDecoder1->DecodePreviousFrame(-1)) ShowCurrentFrame(false);
}

void Tfrm_Preview::btn_NextClick() {
  if (FFFDecoder1->Decode(-1)) ShowCurrentFrame(false);
}

void Tfrm_Preview::btn_LastClick() {
  if (FFFDecoder1->DecodeNextKeyFrame(-1)) ShowCurrentFrame(false);
}

void Tfrm_Preview::TrackBar1Change(int position) {
  media::TFFDecoder& decoder = *FFFDecoder1;
  if (FBusy || !FTrackBar1->isEnabled() || decoder.VideoStreamCount() < 1) return;
  if (position == FLastPosition) return;
  FBusy = true;
  if (position == FLastPosition + 1) {
    if (decoder.Decode(-1)) ShowCurrentFrame(true);
  } else if (position == FLastPosition - 1) {
    if (decoder.DecodePreviousFrame(-1)) ShowCurrentFrame(true);
  } else {
    const int64_t target = TrackBarTime(position, FTrackBar1->maximum(), FDuration);
    using media::TSeekFlag;
    // Backward first: a seek without it lands on the key frame after the target (FFmpeg's
    // demuxers pick the index entry at or after the time), and the frame shown would lie past
    // the position. From the key frame before it, decoding forward reaches the target's frame.
    if (decoder.Seek(target, {TSeekFlag::sfBackward}) || decoder.Seek(target, {}) ||
        decoder.Seek(target, {TSeekFlag::sfAny})) {
      // At the end of the file the last picture decoded stands for the target.
      bool decoded = false;
      while (decoder.Decode(-1)) {
        decoded = true;
        if (target == 0 || decoder.FrameInfo().PTS >= target) break;
      }
      if (decoded && decoder.FrameInfo().Ready) ShowCurrentFrame(true);
    }
  }
  FLastPosition = position;
  FBusy = false;
}

void Tfrm_Preview::Image1Click() {
  if (FFrame.isNull()) return;
  ShowRealSize(this, FFrame,
               QStringLiteral("%1x%2 @ %3").arg(FFrame.width()).arg(FFrame.height()).arg(FormatFrameTime(FCurrentTime)));
}

void Tfrm_Preview::SaveImageAs1Click() {
  if (FFrame.isNull()) return;
  QString fileName = QFileInfo(FFileName).completeBaseName();
  if (!platform::FileDialogs().SaveFileName(this, kSaveFilter, QStringLiteral("bmp"), fileName)) return;
  const bool asBitmap = QFileInfo(fileName).suffix().compare(QLatin1String("bmp"), Qt::CaseInsensitive) == 0;
  QString error;
  if (!SaveFrameImage(FFrame, fileName, asBitmap, error))
    ShowError(QStringLiteral("The picture could not be saved as \"%1\".\r%2").arg(fileName, error));
}

void WirePreview(Tfrm_Main& main) {
  main.ShowPreviewWindow = [&main](int row) {
    Tfrm_Preview window(&main);
    window.SetFileName(main.RowPath(row));
    window.exec();
  };
}

}  // namespace app
