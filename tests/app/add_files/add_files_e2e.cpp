// Runs the main window as the program does, on a display (run it under xvfb-run): the About box
// comes first (theme icons are looked up before any file listing), Add opens the Add Files window
// in the folder given, the clips are shown as thumbnails, two clips are picked with the mouse and
// added, and Help is asked for on a desktop that has nothing to open it with. The screen is saved
// at each step as PNG files in the output folder; QT_SCALE_FACTOR=2 shows a scaled screen. Prints
// the main list's rows.
// The clips folder is filled with generated clips (clip_a.avi... clip_d.mp4, small51.mkv,
// webclip.webm) and a text file.
// Not run by the tests: add_files_e2e <clips folder> <output folder>.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QListView>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "app/add_files/add_files.h"
#include "app/adding/adding_wiring.h"
#include "app/main_window/main_window.h"
#include "app/shell_thumbnails/video_thumbnail.h"
#include "fixtures/media_fixtures.h"
#include "platform/qt_main_thread.h"
#include "platform/shell_open.h"
#include "shell/nav_shell_combo.h"
#include "shell/nav_shell_list.h"
#include "shell/thread_pool.h"

namespace {

QString Out;

void Shot(const char* name) {
  QApplication::processEvents();
  QTest::qWait(400);
  QGuiApplication::primaryScreen()->grabWindow(0).save(QDir(Out).filePath(QLatin1String(name)));
}

void ClickItem(QTreeWidget& list, const QString& caption, Qt::KeyboardModifiers modifiers) {
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list.topLevelItem(i);
    if (item->text(0) != caption) continue;
    list.scrollToItem(item);
    const QRect rect = list.visualItemRect(item);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, rect.center());
    return;
  }
  std::fprintf(stderr, "not listed: %s\n", qPrintable(caption));
}

// Saves the screen while the next modal window is up, then closes that window.
void ShootNextModal(const char* name) {
  QTimer::singleShot(600, [name] {
    Shot(name);
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: add_files_e2e <clips folder> <output folder>\n");
    return 2;
  }
  QApplication application(argc, argv);
  platform::TQtMainThreadDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  const QString clips = QString::fromLocal8Bit(argv[1]);
  Out = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(Out);
  QDir().mkpath(clips);
  const fixtures::TMediaFixtures media =
      fixtures::WriteMediaFixtures(QDir(clips).filePath(".fixtures").toStdString());
  for (const char* name : {"clip_a.avi", "clip_b.avi", "clip_c.avi", "clip_d.mp4", "small51.mkv", "webclip.webm"})
    QFile::copy(QString::fromStdString(media.ClipAvi), QDir(clips).filePath(QLatin1String(name)));
  // A link among the clips: the list draws the theme's link emblem over its icon.
  QFile::link(QDir(clips).filePath(QStringLiteral("clip_a.avi")),
              QDir(clips).filePath(QStringLiteral("clip_link.avi")));
  QFile text(QDir(clips).filePath(QStringLiteral("readme.txt")));
  if (text.open(QIODevice::WriteOnly)) text.write("not a clip\n");
  text.close();
  QDir(QDir(clips).filePath(".fixtures")).removeRecursively();

  app::InstallVideoThumbnails(QCoreApplication::applicationDirPath());
  app::Tfrm_Main window;
  app::WireAddingAndProperties(window);
  window.SetAddFolder(clips);
  window.show();
  window.move(0, 0);

  QTimer::singleShot(500, [&] {
    ShootNextModal("0_about_box.png");
    window.About1Click();
    Shot("1_empty_list.png");
    // The Add Files window is modal: it is driven from a timer while Add's exec() runs.
    QTimer::singleShot(800, [&] {
      auto* addFiles = qobject_cast<app::Tfrm_AddFiles*>(QApplication::activeModalWidget());
      if (!addFiles) {
        std::fprintf(stderr, "the Add Files window did not open\n");
        QApplication::exit(1);
        return;
      }
      addFiles->move(120, 90);
      Shot("2_add_files_window.png");
      addFiles->NavShellCombo1()->showPopup();
      Shot("2b_folder_tree.png");
      addFiles->NavShellCombo1()->hidePopup();
      ClickItem(*addFiles->lw_Data(), QStringLiteral("clip_b.avi"), Qt::NoModifier);
      ClickItem(*addFiles->lw_Data(), QStringLiteral("clip_d.mp4"), Qt::ControlModifier);
      Shot("3_two_selected.png");
      // The three views at the window's own size.
      QTest::mouseClick(addFiles->findChild<QWidget*>(QStringLiteral("btn_Icons")), Qt::LeftButton);
      Shot("3a_icons.png");
      QTest::mouseClick(addFiles->findChild<QWidget*>(QStringLiteral("btn_Details")), Qt::LeftButton);
      Shot("3a_details.png");
      addFiles->lw_Data()->SetViewStyle(shell::TNavViewStyle::vsIcon);
      addFiles->lw_Data()->SetThumbnails(true);
      QTest::qWait(1500);
      Shot("3a_thumbnails.png");
      addFiles->lw_Data()->SetThumbnails(false);
      QTest::mouseClick(addFiles->findChild<QWidget*>(QStringLiteral("btn_List")), Qt::LeftButton);
      // The icon style with jumbo icons (the link keeps its emblem), then the info tip of a clip.
      shell::TNavShellList* list = addFiles->lw_Data();
      const QSize size = addFiles->size();
      addFiles->resize(1100, 780);
      list->SetShowJumboIcons(true);
      Shot("3b_jumbo_icons.png");
      for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) != QLatin1String("clip_link.avi")) continue;
        QListView* grid = list->GridView();
        const QModelIndex index = grid->model()->index(i, 0);
        grid->scrollTo(index);
        const QPoint at = grid->visualRect(index).center();
        QTest::mouseMove(grid->viewport(), at);
        QHelpEvent help(QEvent::ToolTip, at, grid->viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid->viewport(), &help);
      }
      Shot("3c_info_tip.png");
      // Thumbnails, as the background menu's View > Thumbnails shows them; they are made on the
      // worker pool.
      list->SetShowJumboIcons(false);
      list->SetThumbnails(true);
      QTest::qWait(1500);
      Shot("3d_thumbnails.png");
      list->SetViewStyle(shell::TNavViewStyle::vsList);
      addFiles->resize(size);
      QTimer::singleShot(0, [addFiles] {
        QTest::mouseClick(addFiles->findChild<QWidget*>(QStringLiteral("Button1")), Qt::LeftButton);
        Shot("4_added.png");
        QTest::mouseClick(addFiles->findChild<QWidget*>(QStringLiteral("Button2")), Qt::LeftButton);
      });
    });
    QTest::mouseClick(window.findChild<QWidget*>(QStringLiteral("btn_Add")), Qt::LeftButton);
    Shot("5_main_list.png");
    for (int i = 0; i < window.RowCount(); ++i)
      std::printf("%s\t%s\n", qPrintable(window.RowCaption(i)), qPrintable(window.SubItem(i, 2)));
    // The help page with no browser or opener on the desktop: the message says where the page is.
    ShootNextModal("6_help_not_opened.png");
    platform::OpenOrTell(&window, QStringLiteral(CONVERTER_HELP_PAGE), QStringLiteral("The help page"));
    QApplication::exit(0);
  });
  const int code = application.exec();
  shell::ShutdownGlobalThreadPool();
  return code;
}
