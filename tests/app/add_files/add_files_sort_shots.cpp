// Saves pictures of the Add Files window's list (offscreen grabs, as PNG files in the output
// folder) for a look by eye: sorted by Size then by Date modified, both descending, with the
// folder first; a clip renamed in place, before and after (the list is made writable and
// refreshing for it); thumbnails, then the Icons button. Prints the order of each step.
// The clips are generated in the folder "clips" of the output folder, of different sizes and
// dates. Not run by the tests: add_files_sort_shots <output folder>.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

#include "app/add_files/add_files.h"
#include "app/main_window/main_window.h"
#include "app/shell_thumbnails/video_thumbnail.h"
#include "fixtures/media_fixtures.h"
#include "platform/qt_main_thread.h"
#include "shell/nav_shell_list.h"
#include "shell/thread_pool.h"

namespace {

QString Out;

void Shot(QWidget& window, const char* name) {
  QTest::qWait(600);
  window.grab().save(QDir(Out).filePath(QLatin1String(name)));
}

void PrintOrder(const char* step, const QTreeWidget& list) {
  std::printf("%s:", step);
  for (int i = 0; i < list.topLevelItemCount(); ++i) std::printf(" [%s]", qPrintable(list.topLevelItem(i)->text(0)));
  std::printf("\n");
}

void ClickHeader(shell::TNavShellList& list, const char* title) {
  for (int c = 0; c < list.columnCount(); ++c) {
    if (list.headerItem()->text(c) != QLatin1String(title)) continue;
    QHeaderView* header = list.header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(c) + 12, header->height() / 2));
    return;
  }
  std::fprintf(stderr, "no column %s\n", title);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: add_files_sort_shots <output folder>\n");
    return 2;
  }
  platform::TQtMainThreadDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  Out = arguments[1];
  const QString clips = QDir(Out).filePath(QStringLiteral("clips"));
  QDir().mkpath(Out);
  QDir(clips).removeRecursively();
  QDir().mkpath(clips + QStringLiteral("/more clips"));
  const fixtures::TMediaFixtures media = fixtures::WriteMediaFixtures(QDir(clips).filePath(".fixtures").toStdString());
  // name, source, padding in KB (sizes differ), date (dates in another order than the sizes)
  struct TFile {
    const char* Name;
    std::string Source;
    int PaddingKb;
    QDate Modified;
  };
  const TFile files[] = {{"clip_big.avi", media.ClipAvi, 300, QDate(2023, 5, 1)},
                         {"clip_mid.mp4", media.ClipAvi, 80, QDate(2025, 2, 1)},
                         {"clip_small.avi", media.ClipAvi, 0, QDate(2024, 1, 1)},
                         {"a_tone.wav", media.ToneWav, 0, QDate(2022, 3, 1)}};
  for (const TFile& f : files) {
    const QString path = QDir(clips).filePath(QLatin1String(f.Name));
    QFile::copy(QString::fromStdString(f.Source), path);
    QFile file(path);
    if (!file.open(QIODevice::Append)) continue;
    file.write(QByteArray(f.PaddingKb * 1024, '\0'));
    file.setFileTime(QDateTime(f.Modified, QTime(12, 0)), QFileDevice::FileModificationTime);
    file.close();
  }
  QDir(QDir(clips).filePath(".fixtures")).removeRecursively();

  app::InstallVideoThumbnails(QString());
  app::Tfrm_Main main;
  main.SetAddFolder(clips);
  main.SetAddViewStyle(0);  // details
  int code = 0;
  {
    app::Tfrm_AddFiles window(main);
    window.resize(760, 460);
    window.show();
    shell::TNavShellList& list = *window.lw_Data();
    QTest::qWait(500);
    PrintOrder("opened", list);
    Shot(window, "1_details_by_name.png");

    // Size twice: descending; then Date modified: still descending.
    ClickHeader(list, "Size");
    ClickHeader(list, "Size");
    PrintOrder("size, descending", list);
    Shot(window, "2_size_descending.png");
    ClickHeader(list, "Date modified");
    PrintOrder(list.SortDescending() ? "date, still descending" : "date, ascending (wrong)", list);
    Shot(window, "3_date_still_descending.png");

    // Back to names, ascending; a renamed item takes its new icon, type and place. The window's
    // list is read-only and refreshes only on F5: here it is made writable and refreshing.
    ClickHeader(list, "Name");
    if (list.SortDescending()) ClickHeader(list, "Name");
    list.SetReadOnly(false);
    list.SetAutomaticRefresh(true);
    for (int i = 0; i < list.topLevelItemCount(); ++i)
      list.topLevelItem(i)->setSelected(list.topLevelItem(i)->text(0) == QLatin1String("a_tone.wav"));
    PrintOrder("before the rename", list);
    Shot(window, "4_before_rename.png");
    QTest::keyClick(&list, Qt::Key_F2);
    QLineEdit* editor = nullptr;
    for (QLineEdit* candidate : list.viewport()->findChildren<QLineEdit*>())
      if (candidate->isVisible()) editor = candidate;
    if (editor != nullptr) {
      editor->selectAll();
      QTest::keyClicks(editor, QStringLiteral("z_renamed.mp4"));
      Shot(window, "5_typing_the_new_name.png");
      QTest::keyClick(editor, Qt::Key_Return);
    } else {
      std::fprintf(stderr, "no name editor\n");
      code = 1;
    }
    QTest::qWait(2000);  // the icon from the pool, and the refresh after the notice from the disk
    PrintOrder("after the rename", list);
    Shot(window, "6_after_rename.png");

    // Thumbnails (as the background menu's View > Thumbnails), then the Icons button.
    list.SetViewStyle(shell::TNavViewStyle::vsIcon);
    list.SetThumbnails(true);
    QTest::qWait(2000);
    Shot(window, "7_thumbnails.png");
    QTest::mouseClick(window.findChild<QWidget*>(QStringLiteral("btn_Icons")), Qt::LeftButton);
    std::printf("after the Icons button: thumbnails %s\n", list.Thumbnails() ? "on (wrong)" : "off");
    Shot(window, "8_icons_button.png");
  }
  shell::ShutdownGlobalThreadPool();
  return code;
}
