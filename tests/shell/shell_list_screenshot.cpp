// Saves pictures of the shell file list on a folder of generated clips, in the details view (also
// with check boxes), the icon and list grids, and the icon view with thumbnails, as PNG files in the folder given as the only argument; for a
// look by eye, not run by the tests.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "app/shell_thumbnails/video_thumbnail.h"
#include "fixtures/media_fixtures.h"
#include "platform/qt_main_thread.h"
#include "shell/nav_shell_link.h"
#include "shell/nav_shell_list.h"
#include "shell/thread_pool.h"

namespace {
void Settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}
}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  platform::TQtMainThreadDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  const QString folder = out + QStringLiteral("/clips");
  QDir().mkpath(folder);
  const fixtures::TMediaFixtures media = fixtures::WriteMediaFixtures(folder.toStdString() + "/generated");
  for (const char* name : {"holiday.avi", "interview.avi", "concert.avi"})
    QFile::copy(QString::fromStdString(media.ClipAvi), folder + QLatin1Char('/') + QLatin1String(name));
  QFile::copy(QString::fromStdString(media.StillPng), folder + QStringLiteral("/poster.png"));
  QFile::copy(QString::fromStdString(media.ToneWav), folder + QStringLiteral("/tone.wav"));
  app::InstallVideoThumbnails(QString());
  {
    shell::TNavShellList list;
    list.resize(640, 700);
    list.SetShowParentFolder(true);
    list.SetPath(folder);
    list.show();
    Settle(500);
    list.grab().save(out + QStringLiteral("/shell_list_details.png"));
    shell::TNavShellLink link;
    list.SetShellLink(&link);
    list.SetCheckboxes(true);
    Settle(300);
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
      auto* item = static_cast<shell::TNavCheckableListItem*>(list.topLevelItem(i));
      if (item->text(0) == QLatin1String("holiday.avi") || item->text(0) == QLatin1String("generated"))
        item->SetChecked(true);
    }
    Settle(500);
    list.grab().save(out + QStringLiteral("/shell_list_checks.png"));
    list.SetViewStyle(shell::TNavViewStyle::vsIcon);
    Settle(500);
    list.grab().save(out + QStringLiteral("/shell_list_icons.png"));
    list.SetViewStyle(shell::TNavViewStyle::vsList);
    list.resize(640, 160);
    Settle(500);
    list.grab().save(out + QStringLiteral("/shell_list_list.png"));
    list.resize(640, 700);
    list.SetCheckboxes(false);
    list.SetViewStyle(shell::TNavViewStyle::vsIcon);
    list.SetThumbnails(true);
    Settle(2000);
    list.grab().save(out + QStringLiteral("/shell_list_thumbnails.png"));
  }
  shell::ShutdownGlobalThreadPool();
  return 0;
}
