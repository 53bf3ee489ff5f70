// The frame preview window on generated files (tests/fixtures): clip.avi (25 fps, 50 frames, a
// key frame every 10, frame n with a white square at x = n), a still PNG, an MJPEG stream of
// unknown duration, an audio-only WAV and damaged files. Stepping, the track bar, fitting,
// the real-size window and saving, read back by Qt's image readers.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/main_window/main_window_fixture.h"
#include "app/pictures/pictures.h"
#include "app/preview/preview.h"
#include "app/preview/preview_format.h"
#include "fixtures/media_fixtures.h"
#include "media/ff_decoder.h"
#include "media/ff_loader.h"
#include "platform/file_names.h"
#include "support/run_alone.h"

namespace {

using testing_support::MainWindowFixture;
using testing_support::OnNextModal;

constexpr int64_t kFrameUs = 1000000 / fixtures::kClipFrameRate;  // 40000
constexpr int64_t kGopUs = kFrameUs * fixtures::kClipGopSize;     // 400000

QString Fixture(const std::string& path) { return QString::fromStdString(path); }

// A decoder that notes every seek (the key-frame steps seek through the same call).
class TSeekRecordingDecoder : public media::TFFDecoder {
 public:
  bool Seek(int64_t pts, media::TSeekFlags flags) override {
    Seeks.push_back(pts);
    return TFFDecoder::Seek(pts, flags);
  }
  std::vector<int64_t> Seeks;
};

// The column where the clip's 8-pixel white square starts in row 24, -1 when the row has none.
int SquareColumn(const QImage& frame) {
  int best = -1, bestSum = -1;
  for (int x = 0; x + 8 <= frame.width(); ++x) {
    int sum = 0;
    for (int i = 0; i < 8; ++i) sum += qGray(frame.pixel(x + i, 24));
    if (sum > bestSum) best = x, bestSum = sum;
  }
  return bestSum >= 8 * 200 ? best : -1;
}

class PreviewTest : public MainWindowFixture {
 protected:
  void TearDown() override {
    if (Preview) Preview->reject();
    Preview.reset();
    MainWindowFixture::TearDown();
  }

  // Shows the window on path (not modally) and waits until it has tried to open the file.
  void Open(const QString& path) {
    auto decoder = std::make_unique<TSeekRecordingDecoder>();
    Decoder = decoder.get();
    Preview = std::make_unique<app::Tfrm_Preview>(Window.get(), std::move(decoder));
    Preview->SetFileName(path);
    Preview->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Preview->OpenAttempted(); }, 10000));
    QApplication::processEvents();
  }

  int64_t Pts() const { return Decoder->FrameInfo().PTS; }
  bool StepsEnabled() const {
    return Preview->btn_First()->isEnabled() && Preview->btn_Previous()->isEnabled() &&
           Preview->btn_Next()->isEnabled() && Preview->btn_Last()->isEnabled() && Preview->Action1()->isEnabled() &&
           Preview->Action2()->isEnabled();
  }
  bool AnyStepEnabled() const {
    return Preview->btn_First()->isEnabled() || Preview->btn_Previous()->isEnabled() ||
           Preview->btn_Next()->isEnabled() || Preview->btn_Last()->isEnabled() || Preview->Action1()->isEnabled() ||
           Preview->Action2()->isEnabled();
  }
  // What the window shows: the time label and the frame agree with the decoder's picture.
  void ExpectShowing(int frame) {
    SCOPED_TRACE(frame);
    EXPECT_EQ(Pts(), frame * kFrameUs);
    EXPECT_EQ(Preview->CurrentTime(), frame * kFrameUs);
    EXPECT_EQ(Preview->lblPTS()->text().toStdString(), app::FormatFrameTime(frame * kFrameUs).toStdString());
    EXPECT_EQ(SquareColumn(Preview->Frame()), frame);
  }

  std::unique_ptr<app::Tfrm_Preview> Preview;
  TSeekRecordingDecoder* Decoder = nullptr;  // owned by Preview
};

// ---- opening ---------------------------------------------------------------------------------

TEST_F(PreviewTest, ClipOpensOnItsFirstFrameWithTheTrackBarScaledToItsFrames) {
  const QString clip = Fixture(fixtures::MediaFixtures().ClipAvi);
  Open(clip);
  EXPECT_TRUE(Prompter.Messages.empty());
  EXPECT_EQ(Preview->windowTitle(), clip);
  EXPECT_TRUE(StepsEnabled());
  EXPECT_TRUE(Preview->SaveImageAs1()->isEnabled());
  EXPECT_EQ(Preview->Frame().size(), QSize(fixtures::kClipWidth, fixtures::kClipHeight));
  ExpectShowing(0);
  EXPECT_EQ(Preview->Duration(), 2000000);
  EXPECT_EQ(Preview->FrameCount(), fixtures::kClipFrames);
  auto* bar = Preview->TrackBar1();
  EXPECT_TRUE(bar->isEnabled());
  EXPECT_TRUE(bar->SliderVisible());
  EXPECT_EQ(bar->maximum(), fixtures::kClipFrames);
  EXPECT_EQ(bar->tickInterval(), 5);
  EXPECT_EQ(bar->pageStep(), 5);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_TRUE(Decoder->Seeks.empty());
}

// A name that is not UTF-8 (Latin-1, from an old disk) opens as any other: the decoder gets
// the name's own bytes.
TEST_F(PreviewTest, LatinOneNameOpensOnItsFirstFrame) {
  const QByteArray bytes = QFile::encodeName(TempPath(QStringLiteral("caf"))) + "\xe9.avi";
  ASSERT_EQ(::symlink(fixtures::MediaFixtures().ClipAvi.c_str(), bytes.constData()), 0) << std::strerror(errno);
  const QString name = platform::FileNameFromBytes(bytes);
  Open(name);
  EXPECT_TRUE(Prompter.Messages.empty()) << Prompter.Messages.front().Text.toStdString();
  EXPECT_EQ(Preview->windowTitle(), platform::DisplayFileName(name));
  EXPECT_TRUE(StepsEnabled());
  ExpectShowing(0);
  EXPECT_EQ(Preview->FrameCount(), fixtures::kClipFrames);
  ::unlink(bytes.constData());  // the temporary folder cannot find the name to remove it
}

TEST_F(PreviewTest, WindowHasItsControlsHintsAndShortcuts) {
  app::Tfrm_Preview preview(nullptr);
  EXPECT_EQ(preview.size(), QSize(592, 473));
  EXPECT_EQ(preview.minimumSize(), QSize(200, 200));
  const struct {
    components::TPngSpeedButton* Button;
    const char* Name;
    const char* Hint;
    app::TStepPicture Picture;
  } buttons[] = {{preview.btn_First(), "btn_First", "Previous key frame (Ctrl+Left)", app::TStepPicture::First},
                 {preview.btn_Previous(), "btn_Previous", "Previous frame", app::TStepPicture::Previous},
                 {preview.btn_Next(), "btn_Next", "Next frame", app::TStepPicture::Next},
                 {preview.btn_Last(), "btn_Last", "Next key frame (Ctrl+Right)", app::TStepPicture::Last}};
  for (const auto& b : buttons) {
    SCOPED_TRACE(b.Name);
    EXPECT_EQ(preview.findChild<QToolButton*>(QLatin1String(b.Name)), b.Button);
    EXPECT_EQ(b.Button->toolTip(), QLatin1String(b.Hint));
    EXPECT_EQ(b.Button->size(), QSize(32, 32));
    // Flat picture buttons without focus or caption, each with its own step picture.
    EXPECT_TRUE(b.Button->Flat());
    EXPECT_EQ(b.Button->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(b.Button->text().isEmpty());
    EXPECT_EQ(b.Button->PngImage(), app::StepPicture(b.Picture));
    EXPECT_FALSE(b.Button->isEnabled());
  }
  EXPECT_EQ(preview.Action1()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Left));
  EXPECT_EQ(preview.Action2()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Right));
  EXPECT_EQ(preview.SaveImageAs1()->text(), QStringLiteral("Save Image As..."));
  EXPECT_EQ(preview.SaveImageAs1()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_FALSE(preview.SaveImageAs1()->isEnabled());
  EXPECT_TRUE(preview.PopupMenu1()->actions().contains(preview.SaveImageAs1()));
  EXPECT_EQ(preview.lblPTS()->text(), QStringLiteral("00:00:00.000"));
  EXPECT_FALSE(preview.TrackBar1()->isEnabled());
}

// A file the window cannot show: one error box with the decoder's own text; nothing to step, and
// the window stays open until closed.
struct TBadFileCase {
  const char* Name;
  std::string (*Path)();
  bool Loads;  // the file opens, but holds nothing to show
  const char* Message;  // when the text is not the loader's own
};

void PrintTo(const TBadFileCase& c, std::ostream* os) { *os << c.Name; }

class PreviewBadFileTest : public PreviewTest, public ::testing::WithParamInterface<TBadFileCase> {};

TEST_P(PreviewBadFileTest, ShowsOneErrorAndOffersNoSteps) {
  const QString path = Fixture(GetParam().Path());
  QString expected = QString::fromLatin1(GetParam().Message);
  if (!GetParam().Loads) {
    media::TFFDecoder reference;
    ASSERT_TRUE(reference.LoadAVLib(""));
    ASSERT_FALSE(reference.LoadFile(path.toStdString()));
    expected = QString::fromStdString(reference.LastErrMsg());
  }
  Open(path);
  ASSERT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_EQ(Prompter.Messages[0].Icon, platform::TPromptIcon::Error);
  EXPECT_EQ(Prompter.Messages[0].Caption, QStringLiteral("Error"));
  EXPECT_EQ(Prompter.Messages[0].Text, expected);
  EXPECT_FALSE(AnyStepEnabled());
  EXPECT_FALSE(Preview->SaveImageAs1()->isEnabled());
  EXPECT_FALSE(Preview->TrackBar1()->isEnabled());
  EXPECT_TRUE(Preview->Frame().isNull());
  EXPECT_EQ(Preview->lblPTS()->text(), QStringLiteral("00:00:00.000"));
  // Keys and the save command do nothing more.
  Preview->Action2()->trigger();
  Preview->SaveImageAs1Click();
  EXPECT_EQ(Dialogs.SaveCalls, 0);
  EXPECT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_TRUE(Preview->isVisible());
  Preview->reject();
  EXPECT_EQ(Decoder->FileHandle(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PreviewBadFileTest,
    ::testing::Values(TBadFileCase{"AudioOnly", [] { return fixtures::MediaFixtures().ToneWav; }, true,
                                   "no video stream."},
                      TBadFileCase{"Text", [] { return fixtures::MediaFixtures().TextAvi; }, false, ""},
                      TBadFileCase{"Empty", [] { return fixtures::MediaFixtures().EmptyAvi; }, false, ""},
                      TBadFileCase{"Missing", [] { return fixtures::MediaFixtures().Folder + "missing.avi"; },
                                   false, ""}),
    [](const ::testing::TestParamInfo<TBadFileCase>& info) { return std::string(info.param.Name); });

// The libraries cannot be loaded: the one message, and the window stays empty. Needs a process in
// which no FFmpeg library has been loaded yet (CTest runs each case alone; a run of the whole
// program starts one for it).
TEST_F(PreviewTest, MissingLibrariesAreReportedOnce) {
  if (media::FFLoader().Loaded(media::TLibrary::swScale)) return test_support::RunThisTestAlone();
  Preview = std::make_unique<app::Tfrm_Preview>(Window.get());
  // This folder's libswscale.so.6 exports nothing, so binding it fails.
  Preview->SetLibraryPath(QStringLiteral(STUB_EMPTY_SWSCALE_DIR));
  Preview->SetFileName(QStringLiteral("/nonexistent/clip.avi"));
  Preview->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Preview->OpenAttempted(); }, 10000));
  media::FFLoader().SetLibraryPath(std::string());
  ASSERT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_EQ(Prompter.Messages[0].Caption, QStringLiteral("Error"));
  EXPECT_EQ(Prompter.Messages[0].Text, QStringLiteral("AV components could not be found.\rPlease re-install the software."));
  EXPECT_FALSE(AnyStepEnabled());
  EXPECT_TRUE(Preview->isVisible());
}

// ---- stepping --------------------------------------------------------------------------------

TEST_F(PreviewTest, ButtonsStepByFrameAndByKeyFrame) {
  Open(Fixture(fixtures::MediaFixtures().ClipAvi));
  auto* bar = Preview->TrackBar1();
  for (int i = 0; i < 3; ++i) QTest::mouseClick(Preview->btn_Next(), Qt::LeftButton);
  ExpectShowing(3);
  EXPECT_TRUE(Decoder->Seeks.empty()) << "a next frame is read on, never sought";
  EXPECT_EQ(bar->value(), 3);  // round(50 x 0.12 s / 2 s)
  QTest::mouseClick(Preview->btn_Previous(), Qt::LeftButton);
  ExpectShowing(2);

  // Next key frame: frames 10, 20; previous key frame: back to 10, then 0.
  const struct {
    QToolButton* Button;
    int Frame;
  } steps[] = {{Preview->btn_Last(), 10}, {Preview->btn_Last(), 20}, {Preview->btn_First(), 10},
               {Preview->btn_Previous(), 9},  // across the key frame
               {Preview->btn_First(), 0}};
  for (const auto& step : steps) {
    QTest::mouseClick(step.Button, Qt::LeftButton);
    ExpectShowing(step.Frame);
    EXPECT_EQ(Decoder->FrameInfo().IsKeyFrame, step.Frame % fixtures::kClipGopSize == 0) << step.Frame;
    EXPECT_EQ(bar->value(), step.Frame);  // 50 positions for 50 frames
  }
  EXPECT_TRUE(Prompter.Messages.empty());
}

TEST_F(PreviewTest, CtrlArrowsStepByKeyFrame) {
  Open(Fixture(fixtures::MediaFixtures().ClipAvi));
  QApplication::setActiveWindow(Preview.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(Preview.get()));
  QTest::keyClick(Preview.get(), Qt::Key_Right, Qt::ControlModifier);
  ExpectShowing(10);
  QTest::keyClick(Preview.get(), Qt::Key_Right, Qt::ControlModifier);
  ExpectShowing(20);
  QTest::keyClick(Preview.get(), Qt::Key_Left, Qt::ControlModifier);
  ExpectShowing(10);
}

TEST_F(PreviewTest, SteppingPastTheEndKeepsTheLastFrame) {
  Open(Fixture(fixtures::MediaFixtures().ClipAvi));
  for (int i = 0; i < 6; ++i) QTest::mouseClick(Preview->btn_Last(), Qt::LeftButton);
  const int last = fixtures::kClipFrames - 1;
  // The key frames end at 40; the encoder also made the closing picture a key frame.
  ExpectShowing(last);
  for (int i = 0; i < 3; ++i) QTest::mouseClick(Preview->btn_Next(), Qt::LeftButton);
  ExpectShowing(last);
  EXPECT_EQ(Preview->TrackBar1()->value(), 49);
  EXPECT_TRUE(Prompter.Messages.empty()) << "a failed step is not an error box";
  QTest::mouseClick(Preview->btn_Previous(), Qt::LeftButton);
  ExpectShowing(last - 1);
}

// clip.webm has pictures after its last key frame: "Next key frame" there keeps the picture
// (it used to go back to the last key frame).
TEST_F(PreviewTest, NextKeyFrameKeepsThePictureWhenNoKeyFrameFollows) {
  Open(Fixture(fixtures::MediaFixtures().ClipWebm));
  int64_t last = -1;
  for (int i = 0; i < 100 && Pts() != last; ++i) {
    last = Pts();
    QTest::mouseClick(Preview->btn_Next(), Qt::LeftButton);
  }
  ASSERT_GT(last, 0);
  const QString shown = Preview->lblPTS()->text();
  const QImage frame = Preview->Frame();
  QApplication::setActiveWindow(Preview.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(Preview.get()));
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    if (i == 0)
      QTest::mouseClick(Preview->btn_Last(), Qt::LeftButton);
    else
      QTest::keyClick(Preview.get(), Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(Pts(), last);
    EXPECT_EQ(Preview->CurrentTime(), last);
    EXPECT_EQ(Preview->lblPTS()->text().toStdString(), shown.toStdString());
    EXPECT_EQ(Preview->Frame(), frame);
  }
  EXPECT_TRUE(Prompter.Messages.empty()) << "no key frame to go to is not an error box";
  QTest::mouseClick(Preview->btn_Previous(), Qt::LeftButton);
  EXPECT_EQ(Pts(), last - kFrameUs);
}

// ---- the track bar ---------------------------------------------------------------------------

TEST_F(PreviewTest, OneTrackBarStepDecodesOneFrameOtherMovesSeek) {
  Open(Fixture(fixtures::MediaFixtures().ClipAvi));
  auto* bar = Preview->TrackBar1();
  bar->setValue(1);
  ExpectShowing(1);
  bar->setValue(2);
  ExpectShowing(2);
  EXPECT_TRUE(Decoder->Seeks.empty()) << "a step forward reads the next frame";
  // The arrow key of the focused bar is the same single step.
  bar->setFocus();
  QTest::keyClick(bar, Qt::Key_Right);
  EXPECT_EQ(bar->value(), 3);
  ExpectShowing(3);
  EXPECT_TRUE(Decoder->Seeks.empty());

  bar->setValue(2);
  ExpectShowing(2);
  EXPECT_EQ(bar->value(), 2);

  // A jump seeks to the position's time (30 of 50 positions of 2 s) and decodes up to it.
  Decoder->Seeks.clear();
  bar->setValue(30);
  ASSERT_FALSE(Decoder->Seeks.empty());
  EXPECT_EQ(Decoder->Seeks.front(), 30 * kFrameUs);
  ExpectShowing(30);
  EXPECT_EQ(bar->value(), 30) << "the bar stays where it was put";
  // A page back: again a jump, to a frame inside the previous group of pictures.
  bar->setValue(25);
  ExpectShowing(25);
  bar->setValue(26);
  ExpectShowing(26);
  // The end of the bar stands for the end of the file: the last frame.
  bar->setValue(bar->maximum());
  ExpectShowing(fixtures::kClipFrames - 1);
  bar->setValue(0);
  ExpectShowing(0);
  EXPECT_TRUE(Prompter.Messages.empty());
}

TEST_F(PreviewTest, AButtonStepMovesTheBarAndTheNextBarStepIsOneFrame) {
  Open(Fixture(fixtures::MediaFixtures().ClipAvi));
  QTest::mouseClick(Preview->btn_Last(), Qt::LeftButton);
  ExpectShowing(10);
  EXPECT_EQ(Preview->TrackBar1()->value(), 10);
  Decoder->Seeks.clear();
  Preview->TrackBar1()->setValue(11);
  ExpectShowing(11);
  EXPECT_TRUE(Decoder->Seeks.empty());
}

TEST_F(PreviewTest, StillImageKeepsTheBarOffAndItsPicture) {
  Open(Fixture(fixtures::MediaFixtures().StillPng));
  EXPECT_TRUE(Prompter.Messages.empty());
  EXPECT_TRUE(StepsEnabled());
  auto* bar = Preview->TrackBar1();
  EXPECT_FALSE(bar->isEnabled());
  EXPECT_FALSE(bar->SliderVisible());
  const QImage first = Preview->Frame();
  ASSERT_EQ(first.size(), QSize(64, 48));
  // The gradient: red grows to the right, green downward.
  EXPECT_LT(qRed(first.pixel(2, 24)), qRed(first.pixel(61, 24)));
  EXPECT_LT(qGreen(first.pixel(32, 2)), qGreen(first.pixel(32, 45)));
  for (QToolButton* b : {Preview->btn_Next(), Preview->btn_Last(), Preview->btn_Previous(), Preview->btn_First()})
    QTest::mouseClick(b, Qt::LeftButton);
  EXPECT_EQ(Preview->Frame(), first);
  bar->setValue(5);  // set from outside: ignored while disabled
  EXPECT_EQ(Preview->Frame(), first);
}

TEST_F(PreviewTest, UnknownDurationKeepsTheBarOffButSteps) {
  Open(Fixture(fixtures::MediaFixtures().ClipMjpeg));
  EXPECT_TRUE(Prompter.Messages.empty());
  EXPECT_FALSE(Preview->TrackBar1()->isEnabled());
  EXPECT_EQ(Preview->Duration(), 0);
  EXPECT_EQ(SquareColumn(Preview->Frame()), 0);
  QTest::mouseClick(Preview->btn_Next(), Qt::LeftButton);
  QTest::mouseClick(Preview->btn_Next(), Qt::LeftButton);
  EXPECT_EQ(SquareColumn(Preview->Frame()), 2);
  EXPECT_FALSE(Preview->TrackBar1()->isEnabled());
  EXPECT_EQ(Preview->TrackBar1()->value(), 0);
}

// Half a file: every step and the whole bar end without hanging, and something stays on screen.
TEST_F(PreviewTest, TruncatedFileStepsAndSeeksWithoutHanging) {
  Open(Fixture(fixtures::MediaFixtures().TruncatedAvi));
  ASSERT_FALSE(Preview->Frame().isNull()) << (Prompter.Messages.empty() ? "" : Prompter.Messages[0].Text.toStdString());
  for (int i = 0; i < 8; ++i) QTest::mouseClick(Preview->btn_Last(), Qt::LeftButton);
  const int reached = SquareColumn(Preview->Frame());
  EXPECT_GT(reached, 0);
  EXPECT_LT(reached, fixtures::kClipFrames);
  for (int i = 0; i < 3; ++i) QTest::mouseClick(Preview->btn_Next(), Qt::LeftButton);
  auto* bar = Preview->TrackBar1();
  if (bar->isEnabled()) {
    bar->setValue(bar->maximum());
    bar->setValue(bar->maximum() / 4);
  }
  QTest::mouseClick(Preview->btn_First(), Qt::LeftButton);
  EXPECT_FALSE(Preview->Frame().isNull());
  EXPECT_GE(SquareColumn(Preview->Frame()), 0);
}

// ---- drawing ---------------------------------------------------------------------------------

// The bounding box of the canvas pixels that are not black.
QRect LitArea(const QImage& canvas) {
  int left = canvas.width(), right = -1, top = canvas.height(), bottom = -1;
  for (int y = 0; y < canvas.height(); ++y)
    for (int x = 0; x < canvas.width(); ++x)
      if (qGray(canvas.pixel(x, y)) > 40) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

TEST_F(PreviewTest, ResizingKeepsTheFrameCentredAndUndistorted) {
  Open(Fixture(fixtures::MediaFixtures().ClipAvi));
  // Frame 40 is light grey (luma 176) all over, so the drawn frame is the lit area.
  Preview->TrackBar1()->setValue(40);
  ExpectShowing(40);
  for (const QSize size : {QSize(900, 300), QSize(300, 700), QSize(592, 473), QSize(200, 200)}) {
    SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
    Preview->resize(size);
    QApplication::processEvents();
    const QImage canvas = Preview->Image1()->Picture();
    ASSERT_EQ(canvas.size(), Preview->Image1()->size());
    const QRect lit = LitArea(canvas);
    ASSERT_FALSE(lit.isEmpty());
    const int leftMargin = lit.left(), rightMargin = canvas.width() - 1 - lit.right();
    const int topMargin = lit.top(), bottomMargin = canvas.height() - 1 - lit.bottom();
    EXPECT_LE(std::abs(leftMargin - rightMargin), 1);
    EXPECT_LE(std::abs(topMargin - bottomMargin), 1);
    // Touches one pair of opposite sides.
    EXPECT_TRUE((leftMargin == 0 && rightMargin == 0) || (topMargin == 0 && bottomMargin == 0));
    // 4:3 within the rounding of one pixel on either side.
    EXPECT_NEAR(lit.width() * 3.0, lit.height() * 4.0, 4.0 * 2);
    // The white square of frame 40 sits where the frame puts it: x 40..47 of 64, y 20..27 of 48.
    const double scale = static_cast<double>(lit.width()) / fixtures::kClipWidth;
    const QPoint square(lit.left() + static_cast<int>(44 * scale), lit.top() + static_cast<int>(24 * scale));
    EXPECT_GT(qGray(canvas.pixel(square)), 230);
    EXPECT_EQ(qGray(canvas.pixel(0, 0)), 0);
  }
}

TEST_F(PreviewTest, ClickShowsTheFrameAtItsRealSize) {
  Open(Fixture(fixtures::MediaFixtures().ClipAvi));
  QTest::mouseClick(Preview->btn_Next(), Qt::LeftButton);
  const struct {
    const char* How;
    void (*Close)(QWidget*);
  } closings[] = {{"Escape", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }},
                  {"Enter", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }},
                  {"click", [](QWidget* w) {
                     QTest::mouseClick(w->findChild<app::TPreviewImage*>(QStringLiteral("Image1")), Qt::LeftButton);
                   }}};
  for (const auto& closing : closings) {
    SCOPED_TRACE(closing.How);
    QString caption;
    QSize client;
    QImage shown;
    bool closed = false;
    OnNextModal([&](QWidget* modal) {
      caption = modal->windowTitle();
      client = modal->size();
      if (auto* image = modal->findChild<app::TPreviewImage*>(QStringLiteral("Image1"))) shown = image->Picture();
      closing.Close(modal);
      closed = !modal->isVisible();
    });
    QTest::mouseClick(Preview->Image1(), Qt::LeftButton);
    EXPECT_EQ(caption, QStringLiteral("64x48 @ 00:00:00.040"));
    EXPECT_EQ(client, QSize(64, 48));
    EXPECT_EQ(shown, Preview->Frame());
    EXPECT_TRUE(closed);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

// ---- saving ----------------------------------------------------------------------------------

struct TSaveCase {
  const char* Name;
  const char* Format;  // what Qt's reader finds in the file
  const char* Magic;
};

void PrintTo(const TSaveCase& c, std::ostream* os) { *os << c.Name; }

class PreviewSaveTest : public PreviewTest, public ::testing::WithParamInterface<TSaveCase> {};

TEST_P(PreviewSaveTest, WritesTheFormatTheNameAsksFor) {
  Open(Fixture(fixtures::MediaFixtures().ClipAvi));
  Preview->TrackBar1()->setValue(20);
  ExpectShowing(20);
  const QString target = TempPath(QLatin1String(GetParam().Name));
  Dialogs.SaveNames.push_back(target);
  Preview->SaveImageAs1()->trigger();
  EXPECT_TRUE(Prompter.Messages.empty()) << Prompter.Messages[0].Text.toStdString();
  EXPECT_EQ(Dialogs.LastSaveProposal, QStringLiteral("clip"));
  EXPECT_EQ(Dialogs.LastDefaultSuffix, QStringLiteral("bmp"));
  EXPECT_EQ(Dialogs.LastFilter, QStringLiteral("Bitmaps (*.bmp);;JPEG Image File (*.jpg *.jpeg)"));

  QFile file(target);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray magic(GetParam().Magic);
  EXPECT_EQ(file.read(magic.size()), magic);
  file.close();
  QImageReader reader(target);
  reader.setDecideFormatFromContent(true);
  EXPECT_EQ(reader.format(), QByteArray(GetParam().Format));
  const QImage saved = reader.read();
  ASSERT_FALSE(saved.isNull()) << reader.errorString().toStdString();
  EXPECT_EQ(saved.size(), QSize(64, 48));
  // The same picture: frame 20's grey and its white square.
  EXPECT_NEAR(qGray(saved.pixel(5, 5)), qGray(Preview->Frame().pixel(5, 5)), 6);
  EXPECT_EQ(SquareColumn(saved), 20);
  // Nothing else was left in the folder (the file is written beside its name, then renamed).
  const QStringList names = QDir(TempPath(QString())).entryList(QDir::Files);
  EXPECT_EQ(names.filter(QLatin1String(GetParam().Name)).size(), 1);
  EXPECT_EQ(names.size(), 1) << names.join(QLatin1Char(' ')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Names, PreviewSaveTest,
                         ::testing::Values(TSaveCase{"frame.BMP", "bmp", "BM"}, TSaveCase{"frame.bmp", "bmp", "BM"},
                                           TSaveCase{"frame.JPG", "jpeg", "\xFF\xD8\xFF"},
                                           TSaveCase{"frame.jpeg", "jpeg", "\xFF\xD8\xFF"}),
                         [](const ::testing::TestParamInfo<TSaveCase>& info) {
                           std::string name = info.param.Name;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

TEST_F(PreviewTest, ASaveThatCannotBeWrittenSaysSoAndLeavesNothing) {
  Open(Fixture(fixtures::MediaFixtures().ClipAvi));
  const QString folder = TempPath(QStringLiteral("out"));
  ASSERT_TRUE(QDir().mkpath(folder));
  // A folder that does not exist, and a name already taken by a folder (the rename fails).
  ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/taken.bmp")));
  const QString targets[] = {folder + QStringLiteral("/missing/frame.bmp"), folder + QStringLiteral("/taken.bmp")};
  for (const QString& target : targets) {
    SCOPED_TRACE(target.toStdString());
    Prompter.Messages.clear();
    Dialogs.SaveNames.push_back(target);
    Preview->SaveImageAs1Click();
    ASSERT_EQ(Prompter.Messages.size(), 1u);
    EXPECT_EQ(Prompter.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(Prompter.Messages[0].Icon, platform::TPromptIcon::Error);
    EXPECT_TRUE(Prompter.Messages[0].Text.contains(target));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({QStringLiteral("taken.bmp")}));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/taken.bmp")).isDir());
  }
  // A cancelled dialog writes nothing and says nothing.
  Prompter.Messages.clear();
  Preview->SaveImageAs1Click();
  EXPECT_TRUE(Prompter.Messages.empty());
}

// Writes that fail half-way (the file-size limit of the process stops them after a few
// kilobytes) leave the old file as it was and no piece of the new one beside it.
TEST(SaveFrameImageTest, AWriteThatFailsHalfWayKeepsTheOldFile) {
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  QImage picture(640, 480, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
  for (const bool asBitmap : {true, false}) {
    SCOPED_TRACE(asBitmap ? "bmp" : "jpeg");
    const QString target = temp.filePath(asBitmap ? QStringLiteral("frame.bmp") : QStringLiteral("frame.jpg"));
    ASSERT_TRUE(testing_support::WriteBytes(target, "old picture"));
    QString error;
    {
      // Past the limit write() fails with EFBIG instead of raising SIGXFSZ.
      const sighandler_t oldHandler = std::signal(SIGXFSZ, SIG_IGN);
      rlimit old{};
      ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
      rlimit small = old;
      small.rlim_cur = 4096;
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
      const bool saved = app::SaveFrameImage(picture, target, asBitmap, error);
      setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, oldHandler);
      EXPECT_FALSE(saved);
    }
    EXPECT_FALSE(error.isEmpty());
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("old picture"));
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden), QStringList({QFileInfo(target).fileName()}));
    QFile::remove(target);
  }
  // Without the limit the same picture is written whole.
  QString error;
  const QString target = temp.filePath(QStringLiteral("whole.bmp"));
  ASSERT_TRUE(app::SaveFrameImage(picture, target, true, error)) << error.toStdString();
  EXPECT_EQ(QImage(target).size(), picture.size());
  EXPECT_FALSE(app::SaveFrameImage(QImage(), target, true, error)) << "nothing to save";
  EXPECT_EQ(QImage(target).size(), picture.size());
}

// ---- the main window's Preview command -------------------------------------------------------

TEST_F(MainWindowFixture, PreviewOpensTheSelectedRowsFileModally) {
  app::WirePreview(*Window);
  const QString clip = Fixture(fixtures::MediaFixtures().ClipAvi);
  AddFile(QStringLiteral("other.avi"), QStringLiteral("/nowhere"), 0, 1);
  AddFile(QFileInfo(clip).fileName(), QFileInfo(clip).path(), 2000000, QFileInfo(clip).size());
  Window->lw_Files()->topLevelItem(1)->setSelected(true);
  QString caption, fileName;
  QImage frame;
  bool closedFile = false;
  OnNextModal([&](QWidget* modal) {
    auto* preview = qobject_cast<app::Tfrm_Preview*>(modal);
    ASSERT_NE(preview, nullptr);
    caption = preview->windowTitle();
    fileName = preview->FileName();
    EXPECT_EQ(preview->parentWidget(), Window.get());
    EXPECT_TRUE(QTest::qWaitFor([&] { return preview->OpenAttempted(); }, 10000));
    frame = preview->Frame();
    preview->reject();
    closedFile = preview->FFDecoder1().FileHandle() == nullptr;
  });
  Window->btn_PlayClick();
  EXPECT_EQ(caption, clip);
  EXPECT_EQ(fileName, clip);
  EXPECT_EQ(frame.size(), QSize(64, 48));
  EXPECT_TRUE(closedFile);
  EXPECT_TRUE(Prompter.Messages.empty());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(Window->findChild<app::Tfrm_Preview*>(), nullptr) << "freed when closed";
}

}  // namespace
