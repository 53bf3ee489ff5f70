#include "shell/nav_background_context_menu.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "fake_home.h"
#include "platform/recording_prompter.h"
#include "shell/nav_shell_list.h"
#include "shell/thread_pool.h"

namespace {

using shell::TNavBackgroundContextMenu;
using shell::TNavShellList;

class BackgroundMenuTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    testing_support::ShellApp();
    FakeHomeTest::SetUp();
    Templates = Home + QStringLiteral("/Templates");
    QDir().mkpath(Templates);
    testing_support::WriteText(Templates + QStringLiteral("/Text File.txt"), "template text");
    QFile dirs(Home + QStringLiteral("/.config/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::Append));
    dirs.write("XDG_TEMPLATES_DIR=\"$HOME/Templates\"\n");
    dirs.close();
    Folder = Volume + QStringLiteral("/work");
    QDir().mkpath(Folder);
    testing_support::WriteText(Volume + QStringLiteral("/copied.mkv"), "clip");
    List = std::make_unique<TNavShellList>();
    List->SetPath(Folder);
  }
  void TearDown() override {
    QApplication::clipboard()->clear();
    List.reset();
    shell::ShutdownGlobalThreadPool();
    FakeHomeTest::TearDown();
  }
  static void ClipboardFiles(const QStringList& files) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& file : files) urls << QUrl::fromLocalFile(file);
    data->setUrls(urls);
    QApplication::clipboard()->setMimeData(data);
  }
  const shell::TNavNewFileMenuItem* TextKind(const TNavBackgroundContextMenu& menu) const {
    for (const auto* item : menu.NewFileItems())
      if (item->DisplayName() == QLatin1String("Text File")) return item;
    return nullptr;
  }

  QString Templates, Folder;
  std::unique_ptr<TNavShellList> List;
};

TEST_F(BackgroundMenuTest, NewFileNamesNeverReuseATakenName) {
  struct Case {
    QStringList taken;
    QString expected;
  };
  const Case cases[] = {
      {{}, "Note.txt"},
      {{"Note.txt"}, "Note (1).txt"},
      {{"Note.txt", "Note (1).txt", "Note (2).txt"}, "Note (3).txt"},
      {{"Note.txt", "Note (2).txt"}, "Note (1).txt"},
      {{"Note.txt", "Note (1).txt", "Note (2).txt", "Note (3).txt", "Note (4).txt", "Note (5).txt"}, ""},
      {{"note.txt"}, "Note.txt"},  // names differ in case
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.taken.join(", ").toStdString());
    const QString folder = Folder + QStringLiteral("/case");
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (const QString& name : c.taken) testing_support::WriteText(folder + '/' + name, "kept");
    EXPECT_EQ(TNavBackgroundContextMenu::FreeNewFileName(folder, QStringLiteral("Note"), QStringLiteral(".txt")),
              c.expected);
  }
}

TEST_F(BackgroundMenuTest, NewFilesComeFromTheTemplatesAndNeverOverwrite) {
  TNavBackgroundContextMenu menu(*List);
  const shell::TNavNewFileMenuItem* kind = TextKind(menu);
  ASSERT_NE(kind, nullptr);
  EXPECT_EQ(kind->Extension(), QStringLiteral(".txt"));
  testing_support::WriteText(Folder + QStringLiteral("/Text File (2).txt"), "kept");
  QStringList errors;
  List->SetShowErrorMessages(true);
  List->OnError = [&](const QString& message) { errors << message; };
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(menu.CreateNewFile(*kind));
  for (const char* name : {"Text File.txt", "Text File (1).txt", "Text File (3).txt", "Text File (5).txt"})
    EXPECT_EQ(testing_support::ReadText(Folder + '/' + name), "template text") << name;
  EXPECT_EQ(testing_support::ReadText(Folder + QStringLiteral("/Text File (2).txt")), "kept");
  // All six names taken.
  EXPECT_FALSE(menu.CreateNewFile(*kind));
  EXPECT_EQ(errors, QStringList{"File already exists"});
  // The last one made is selected in the list.
  ASSERT_EQ(List->selectedItems().size(), 1);
  EXPECT_EQ(List->selectedItems().first()->text(0), QStringLiteral("Text File (5).txt"));
}

TEST_F(BackgroundMenuTest, PasteAndNewAreOfferedOnlyWhereTheyCanWork) {
  struct Case {
    const char* name;
    bool readOnly;
    bool files;  // files on the clipboard, else text only
    bool pasteVisible, pasteEnabled, newVisible;
  };
  const Case cases[] = {
      {"writable, files", false, true, true, true, true},
      {"writable, text only", false, false, true, false, true},
      {"read-only, files", true, true, false, false, false},  // hidden entries cannot fire
      {"read-only, text", true, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.files)
      ClipboardFiles({Volume + QStringLiteral("/copied.mkv")});
    else
      QApplication::clipboard()->setText(QStringLiteral("just text"));
    List->SetReadOnly(c.readOnly);
    TNavBackgroundContextMenu menu(*List);
    menu.Prepare();
    EXPECT_EQ(menu.PasteItem()->isVisible(), c.pasteVisible);
    EXPECT_EQ(menu.PasteShortcutItem()->isVisible(), c.pasteVisible);
    EXPECT_EQ(menu.PasteItem()->isEnabled(), c.pasteEnabled);
    EXPECT_EQ(menu.PasteShortcutItem()->isEnabled(), c.pasteEnabled);
    EXPECT_EQ(menu.NewItem()->isVisible(), c.newVisible);
  }
}

TEST_F(BackgroundMenuTest, PasteCopiesAndPasteShortcutLinksUnderFreeNames) {
  ClipboardFiles({Volume + QStringLiteral("/copied.mkv")});
  TNavBackgroundContextMenu menu(*List);
  menu.Prepare();
  menu.PasteItem()->trigger();
  EXPECT_EQ(testing_support::ReadText(Folder + QStringLiteral("/copied.mkv")), "clip");
  EXPECT_EQ(List->Path(), Folder + '/') << "the list stays in its folder";
  // The copy now holds the name: the link takes the next free one.
  EXPECT_EQ(menu.PasteShortcuts(), 1);
  const QFileInfo link(Folder + QStringLiteral("/copied.mkv (1)"));
  EXPECT_TRUE(link.isSymLink());
  EXPECT_EQ(link.symLinkTarget(), Volume + QStringLiteral("/copied.mkv"));
}

TEST_F(BackgroundMenuTest, ViewAndSortEntriesFollowTheList) {
  List->SetViewStyle(shell::TNavViewStyle::vsReport);
  List->SortByColumn(1);
  {
    TNavBackgroundContextMenu menu(*List);
    menu.Prepare();
    EXPECT_TRUE(menu.ViewItem(3)->isChecked());
    ASSERT_NE(menu.SortMenu(), nullptr);
    QAction* size = menu.SortMenu()->findChild<QAction*>(QStringLiteral("_SortColumnPopupMenuItem1"));
    ASSERT_NE(size, nullptr);
    EXPECT_TRUE(size->isChecked());
    // Choosing the current column again reverses the order.
    const bool descending = List->SortDescending();
    size->trigger();
    EXPECT_NE(List->SortDescending(), descending);
    menu.ViewItem(1)->trigger();
    EXPECT_EQ(List->ViewStyle(), shell::TNavViewStyle::vsIcon);
    EXPECT_FALSE(List->Thumbnails());
  }
  // Without columns there is nothing to sort by.
  TNavShellList plain;
  plain.SetDetails(false);
  plain.SetPath(Folder);
  TNavBackgroundContextMenu menu(plain);
  EXPECT_EQ(menu.SortMenu(), nullptr);
}

// Shortcuts to files and folders are symbolic links; to web addresses, desktop link files.
TEST_F(BackgroundMenuTest, ShortcutsAreLinksOrLinkFilesUnderFreeNames) {
  const QString clip = Volume + QStringLiteral("/copied.mkv");
  struct TCase {
    const char* Name;
    QString Target, Given, Made, LinksTo;
  };
  const TCase cases[] = {
      {"a file", clip, QString(), QStringLiteral("copied.mkv"), clip},
      {"the same again", clip, QString(), QStringLiteral("copied.mkv (1)"), clip},
      {"named", clip, QStringLiteral("My clip"), QStringLiteral("My clip"), clip},
      {"relative to the folder", QStringLiteral("../copied.mkv"), QStringLiteral("up"), QStringLiteral("up"),
       clip},
      {"a file address", QUrl::fromLocalFile(clip).toString(), QStringLiteral("by url"),
       QStringLiteral("by url"), clip},
      {"the home folder's", QStringLiteral("~/Music"), QString(), QStringLiteral("Music"),
       Home + QStringLiteral("/Music")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    QString error;
    const QString made = TNavBackgroundContextMenu::CreateShortcut(Folder, c.Target, c.Given, &error);
    EXPECT_EQ(made, Folder + '/' + c.Made) << error.toStdString();
    const QFileInfo link(made);
    EXPECT_TRUE(link.isSymLink());
    EXPECT_EQ(link.symLinkTarget(), c.LinksTo);
  }

  QString error;
  const QString web = TNavBackgroundContextMenu::CreateShortcut(
      Folder, QStringLiteral("https://example.org/a page"), QString(), &error);
  ASSERT_EQ(web, Folder + QStringLiteral("/example.org.desktop")) << error.toStdString();
  QSettings entry(web, QSettings::IniFormat);
  entry.beginGroup(QStringLiteral("Desktop Entry"));
  EXPECT_EQ(entry.value(QStringLiteral("Type")).toString(), QStringLiteral("Link"));
  EXPECT_EQ(entry.value(QStringLiteral("Name")).toString(), QStringLiteral("example.org"));
  EXPECT_EQ(entry.value(QStringLiteral("URL")).toString(), QStringLiteral("https://example.org/a%20page"));

  EXPECT_EQ(TNavBackgroundContextMenu::CreateShortcut(Folder, Volume + QStringLiteral("/nothing"), QString(),
                                                      &error),
            QString());
  EXPECT_TRUE(error.contains(QStringLiteral("cannot be found"))) << error.toStdString();
  for (int n = 0; n < 4; ++n)
    TNavBackgroundContextMenu::CreateShortcut(Folder, clip, QString());  // (2) to (5)
  EXPECT_EQ(TNavBackgroundContextMenu::CreateShortcut(Folder, clip, QString(), &error), QString());
  EXPECT_EQ(error, QStringLiteral("File already exists"));
  EXPECT_EQ(QFileInfo(Folder + QStringLiteral("/copied.mkv")).symLinkTarget(), clip);  // nothing replaced
}

TEST_F(BackgroundMenuTest, NewShortcutAsksForTheItemAndSelectsTheShortcut) {
  TNavBackgroundContextMenu menu(*List);
  ASSERT_NE(menu.NewShortcutItem(), nullptr);
  EXPECT_EQ(menu.NewMenu()->actions().at(1), menu.NewShortcutItem());  // after Folder
  QString suggested;
  bool okBefore = true;
  auto* timer = new QTimer(List.get());
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, timer, [&, timer] {
    auto* dialog = qobject_cast<shell::TNavNewShortcutDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    timer->stop();
    auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    okBefore = ok->isEnabled();
    dialog->TargetEdit()->setText(Volume + QStringLiteral("/copied.mkv"));
    suggested = dialog->NameEdit()->text();
    dialog->NameEdit()->clear();
    QTest::keyClicks(dialog->NameEdit(), QStringLiteral("Clip link"));
    dialog->TargetEdit()->setText(Volume);  // a name typed by the user stays
    ok->click();
  });
  timer->start();
  menu.NewShortcutItem()->trigger();
  EXPECT_FALSE(okBefore);
  EXPECT_EQ(suggested, QStringLiteral("copied.mkv"));
  const QFileInfo link(Folder + QStringLiteral("/Clip link"));
  ASSERT_TRUE(link.isSymLink());
  EXPECT_EQ(link.symLinkTarget(), Volume);
  ASSERT_EQ(List->selectedItems().size(), 1);
  EXPECT_EQ(List->selectedItems().first()->text(0), QStringLiteral("Clip link"));
}

// The list's errors go where the application sends them: through the prompter, no box of our own.
TEST_F(BackgroundMenuTest, AShortcutThatCannotBeMadeIsReportedThroughThePrompter) {
  testing_support::TRecordingPrompter prompter;
  List->SetShowErrorMessages(true);
  TNavBackgroundContextMenu menu(*List);
  const QString missing = Volume + QStringLiteral("/missing.mkv");
  int boxes = 0;
  auto* timer = new QTimer(List.get());
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, timer, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      ++boxes;
      box->reject();
    } else if (auto* dialog = qobject_cast<shell::TNavNewShortcutDialog*>(modal)) {
      dialog->TargetEdit()->setText(missing);
      dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }
  });
  timer->start();
  menu.NewShortcutItem()->trigger();
  timer->stop();
  EXPECT_EQ(boxes, 0);
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_EQ(prompter.Messages[0].Icon, platform::TPromptIcon::Error);
  EXPECT_EQ(prompter.Messages[0].Text,
            QStringLiteral("The item \"") + missing + QStringLiteral("\" cannot be found."));
}

}  // namespace

// A right-click beside the items shows the list's background menu, or the application's own
// background menu when one is given; the list's PopupMenu is no bar to it (it is shown there only
// with the shell's menus off). The grid of the icon style behaves alike.
TEST_F(BackgroundMenuTest, ARightClickBesideTheItemsShowsTheBackgroundMenu) {
  testing_support::WriteText(Folder + QStringLiteral("/clip.mkv"), "x");
  List->FillList();
  List->resize(400, 300);
  List->show();
  QMenu popup, background;
  popup.addAction(QStringLiteral("Own entry"));
  background.addAction(QStringLiteral("Own background entry"));
  List->SetPopupMenu(&popup);
  enum class TShown { ListsMenu, BackgroundPopupMenu, PopupMenu, Nothing };
  struct TCase {
    const char* Name;
    bool ShellContextMenu;
    bool GivenBackgroundMenu;
    shell::TNavViewStyle Style;
    TShown Shown;
  };
  using V = shell::TNavViewStyle;
  const TCase cases[] = {
      {"shell menus, popup set", true, false, V::vsReport, TShown::ListsMenu},
      {"shell menus, popup set, icon grid", true, false, V::vsIcon, TShown::ListsMenu},
      {"shell menus, a background menu given", true, true, V::vsReport, TShown::BackgroundPopupMenu},
      {"shell menus, a background menu given, list grid", true, true, V::vsList, TShown::BackgroundPopupMenu},
      {"shell menus off: the popup", false, true, V::vsReport, TShown::PopupMenu},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    List->SetShellContextMenu(c.ShellContextMenu);
    List->SetBackgroundPopupMenu(c.GivenBackgroundMenu ? &background : nullptr);
    List->SetViewStyle(c.Style);
    QWidget* viewport = c.Style == V::vsReport ? List->viewport() : List->GridView()->viewport();
    const QPoint at(viewport->width() - 5, viewport->height() - 5);  // beside the last item
    ASSERT_EQ(List->ShownItemAt(viewport->mapToGlobal(at)), nullptr);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    QWidget* shown = QApplication::activePopupWidget();
    TShown seen = TShown::Nothing;
    if (qobject_cast<TNavBackgroundContextMenu*>(shown) != nullptr)
      seen = TShown::ListsMenu;
    else if (shown == &background)
      seen = TShown::BackgroundPopupMenu;
    else if (shown == &popup)
      seen = TShown::PopupMenu;
    EXPECT_EQ(seen, c.Shown);
    if (shown != nullptr) shown->close();
    QCoreApplication::processEvents();
  }
  List->SetPopupMenu(nullptr);
  List->SetBackgroundPopupMenu(nullptr);
}

// ExecuteFolderVerb runs a verb on the shown folder itself: a paste of copied or cut files is
// reported as such, with the folder as destination; the list refreshes shortly after in every
// case.
TEST_F(BackgroundMenuTest, FolderVerbsPasteIntoTheShownFolderAndReportIt) {
  shell::TNavShellOperations reported = 0;
  QStringList reportedFiles;
  QString reportedTo;
  int reports = 0;
  List->OnOperation = [&](shell::TNavBaseShellListView&, shell::TNavShellOperations ops, const QStringList& files,
                          const QString& destination) {
    ++reports;
    reported = ops;
    reportedFiles = files;
    reportedTo = destination;
  };
  using O = shell::TNavShellOperation;
  const QString source = Volume + QStringLiteral("/copied.mkv");
  ClipboardFiles({source});
  EXPECT_TRUE(List->ExecuteFolderVerb(QStringLiteral("paste")));
  EXPECT_EQ(testing_support::ReadText(Folder + QStringLiteral("/copied.mkv")), "clip");
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(reported, shell::OperationBit(O::sopPaste) | shell::OperationBit(O::sopAdd) |
                          shell::OperationBit(O::sopCopy));
  EXPECT_EQ(reportedFiles, QStringList({source}));
  EXPECT_EQ(reportedTo, Folder + '/');
  EXPECT_TRUE(List->RefreshTimer().isActive());
  while (List->RefreshTimer().isActive()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  bool listed = false;
  for (int i = 0; i < List->topLevelItemCount(); ++i) listed |= List->topLevelItem(i)->text(0) == "copied.mkv";
  EXPECT_TRUE(listed);

  // Cut files move, and are reported as moved.
  const QString cutSource = Volume + QStringLiteral("/moved.mkv");
  testing_support::WriteText(cutSource, "cut");
  auto* data = new QMimeData;
  data->setUrls({QUrl::fromLocalFile(cutSource)});
  data->setData(QStringLiteral("x-special/gnome-copied-files"), "cut\n" + QUrl::fromLocalFile(cutSource).toEncoded());
  QApplication::clipboard()->setMimeData(data);
  EXPECT_TRUE(List->ExecuteFolderVerb(QStringLiteral("paste")));
  EXPECT_EQ(testing_support::ReadText(Folder + QStringLiteral("/moved.mkv")), "cut");
  EXPECT_FALSE(QFileInfo::exists(cutSource));
  EXPECT_EQ(reports, 2);
  EXPECT_EQ(reported, shell::OperationBit(O::sopPaste) | shell::OperationBit(O::sopAdd) |
                          shell::OperationBit(O::sopMove));

  // A verb the folder does not know runs nothing and reports nothing; the refresh comes anyway.
  List->RefreshTimer().stop();
  EXPECT_FALSE(List->ExecuteFolderVerb(QStringLiteral("no such verb")));
  EXPECT_EQ(reports, 2);
  EXPECT_TRUE(List->RefreshTimer().isActive());
}
