// Saves pictures of the frame preview window for a look by eye; not run by the tests.
//   app_preview_screenshot <folder> [media file]
// Without a file it first writes a 4-second 320x240 test pattern (preview_clip.avi) with the
// program's own encoder. Writes preview.png (the window) and preview_screen.png (the whole screen,
// meaningful under a real X server such as Xvfb).

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <cstdio>

#include "app/preview/preview.h"
#include "media/ff_encoder.h"
#include "platform/qt_main_thread.h"

namespace {

bool WritePatternClip(const QString& path) {
  media::TFFEncoder encoder;
  if (!encoder.LoadAVLib("")) return false;
  media::TInputOptions input;
  input.Options = "-f lavfi";
  const int task = encoder.AddTask("testsrc2=size=320x240:rate=25:duration=4", &input);
  if (task < 0) {
    std::fprintf(stderr, "%s\n", encoder.LastErrMsg().c_str());
    return false;
  }
  media::TOutputOptions output;
  output.Options = "-c:v mpeg4 -g 25 -q:v 3 -an";
  if (encoder.SetOutput(task, path.toStdString(), &output) < 0) {
    std::fprintf(stderr, "%s\n", encoder.LastErrMsg().c_str());
    return false;
  }
  encoder.Start(0);
  return QFileInfo::exists(path);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  platform::TQtMainThreadDispatcher dispatcher;
  platform::TDispatcherGuard dispatcherGuard(&dispatcher);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  QDir().mkpath(folder);
  QString file = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir(folder).filePath(QStringLiteral("preview_clip.avi"));
  if (argc <= 2 && !WritePatternClip(file)) {
    std::fprintf(stderr, "could not write %s\n", qPrintable(file));
    return 1;
  }
  app::Tfrm_Preview preview(nullptr);
  preview.SetFileName(QFileInfo(file).absoluteFilePath());
  preview.show();
  if (!QTest::qWaitFor([&] { return preview.OpenAttempted(); }, 10000)) return 1;
  // Somewhere inside the clip: two key frames on, then three frames.
  for (int i = 0; i < 2; ++i) preview.btn_Last()->click();
  for (int i = 0; i < 3; ++i) preview.btn_Next()->click();
  QTest::qWait(300);
  preview.grab().save(QDir(folder).filePath(QStringLiteral("preview.png")));
  if (QScreen* screen = QGuiApplication::primaryScreen())
    screen->grabWindow(0).save(QDir(folder).filePath(QStringLiteral("preview_screen.png")));
  return 0;
}
