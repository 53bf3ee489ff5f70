// The Add Files window over a folder of generated clips, with the real adding window behind it:
// what "Add" queues, what the main list gains, and the folder and view kept for next time.

#include "app/add_files/add_files.h"

#include <gtest/gtest.h>

#include <QAbstractItemDelegate>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QFile>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QScrollBar>
#include <algorithm>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QPushButton>
#include <QToolButton>
#include <functional>

#include "app/about/about.h"
#include "app/adding/adding_wiring.h"
#include "app/main_window/main_window.h"
#include "app/main_window/main_window_fixture.h"
#include "fixtures/media_fixtures.h"
#include "shell/nav_shell_combo.h"
#include "platform/file_names.h"
#include "shell/nav_shell_list.h"
#include "shell/shell_browser.h"
#include "shell/shell_data.h"

namespace {

using app::Tfrm_AddFiles;
using shell::TNavShellList;
using shell::TNavViewStyle;
using testing_support::MainWindowFixture;
using testing_support::OnNextModal;

class AddFilesTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    app::WireAddingAndProperties(*Window);
    Clips = TempPath(QStringLiteral("clips"));
    QDir().mkpath(Clips + QStringLiteral("/sub"));
    const QString clip = QString::fromStdString(fixtures::MediaFixtures().ClipAvi);
    for (const char* name : {"clip1.avi", "clip2.AVI", "clip3.avi", "sub/inner.avi"})
      ASSERT_TRUE(QFile::copy(clip, Clips + '/' + name));
    QFile notes(Clips + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    Window->SetAddFolder(Clips);
  }

  static QStringList Captions(const TNavShellList& list) {
    QStringList captions;
    for (int i = 0; i < list.topLevelItemCount(); ++i) captions << list.topLevelItem(i)->text(0).trimmed();
    return captions;
  }
  static void Select(TNavShellList& list, const QStringList& names) {
    list.clearSelection();
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = list.topLevelItem(i);
      if (names.contains(item->text(0).trimmed())) item->setSelected(true);
    }
  }
  QStringList RowPaths() const {
    QStringList paths;
    for (int i = 0; i < Window->RowCount(); ++i) paths << Window->SubItem(i, 2);
    return paths;
  }

  QString Clips;
};

TEST_F(AddFilesTest, OpensInTheLastFolderShowingMediaFilesAndFolders) {
  Tfrm_AddFiles window(*Window);
  EXPECT_FALSE(Tfrm_AddFiles::MediaFilter().endsWith(';'));
  EXPECT_EQ(window.lw_Data()->Path(), Clips + '/');
  const QStringList captions = Captions(*window.lw_Data());
  for (const char* name : {"clip1.avi", "clip2.AVI", "clip3.avi", "sub"}) EXPECT_TRUE(captions.contains(name)) << name;
  EXPECT_FALSE(captions.contains("notes.txt"));
  EXPECT_TRUE(window.lw_Data()->ReadOnly());
  // The folder combo follows the list.
  EXPECT_EQ(window.NavShellCombo1()->GetPath(), Clips);
  // A folder that is gone: the home folder instead.
  Window->SetAddFolder(TempPath(QStringLiteral("gone")));
  Tfrm_AddFiles fallback(*Window);
  EXPECT_EQ(fallback.lw_Data()->Path(), QDir::homePath() + '/');
}

TEST_F(AddFilesTest, AddQueuesTheSelectedFilesAndTheMainListGainsExactlyThose) {
  Tfrm_AddFiles window(*Window);
  window.show();
  TNavShellList& list = *window.lw_Data();
  // The parent entry is selected too: it is never added.
  ASSERT_TRUE(Captions(list).contains(".."));
  Select(list, {"..", "clip1.avi", "clip3.avi"});
  window.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
  EXPECT_EQ(Window->DropQueue(), (QStringList{Clips + "/clip1.avi", Clips + "/clip3.avi"}));
  EXPECT_EQ(RowPaths(), (QStringList{Clips + "/clip1.avi", Clips + "/clip3.avi"}));
  EXPECT_TRUE(window.isVisible()) << "the window stays open for more";

  // Nothing selected: nothing is added, the window stays.
  list.clearSelection();
  window.Button1Click();
  EXPECT_TRUE(Window->DropQueue().isEmpty());
  EXPECT_EQ(Window->RowCount(), 2);
  EXPECT_TRUE(window.isVisible());

  // Only the parent entry: nothing either.
  Select(list, {".."});
  window.Button1Click();
  EXPECT_EQ(Window->RowCount(), 2);
}

TEST_F(AddFilesTest, TheFolderAndTheViewAreKeptForTheNextOpening) {
  struct Case {
    const char* button;
    int stored;
    TNavViewStyle shown;
  };
  const Case cases[] = {
      {"btn_Icons", 2, TNavViewStyle::vsIcon},
      {"btn_Details", 0, TNavViewStyle::vsReport},
      {"btn_List", 1, TNavViewStyle::vsList},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    Window->SetAddFolder(Clips + QStringLiteral("/sub"));
    {
      Tfrm_AddFiles window(*Window);
      window.show();
      window.findChild<QToolButton*>(QLatin1String(c.button))->click();
      EXPECT_EQ(window.lw_Data()->ViewStyle(), c.shown);
      // "Go to parent folder".
      window.findChild<QToolButton*>(QStringLiteral("PngSpeedButton1"))->click();
      EXPECT_EQ(window.lw_Data()->Path(), Clips + '/');
      window.findChild<QPushButton*>(QStringLiteral("Button2"))->click();
      EXPECT_FALSE(window.isVisible());
    }
    EXPECT_EQ(Window->AddViewStyle(), c.stored);
    EXPECT_EQ(Window->AddFolder(), Clips);
    Tfrm_AddFiles again(*Window);
    EXPECT_EQ(again.lw_Data()->ViewStyle(), c.shown);
    EXPECT_EQ(again.lw_Data()->Path(), Clips + '/');
  }
}

// A desktop with a bare window manager, as Qt's generic Unix platform reports it: the theme
// "hicolor" (which has no file-type icons of its own) and the freedesktop icon folders.
class AddFilesOnABareDesktopTest : public AddFilesTest {
 protected:
  void SetUp() override {
    testing_support::App();
    QStringList folders;
    for (const QString& dir : {QDir::homePath() + QStringLiteral("/.icons"),
                               QStringLiteral("/usr/local/share/icons"), QStringLiteral("/usr/share/icons")})
      if (QFileInfo(dir).isDir()) folders << dir;
    QIcon::setThemeSearchPaths(folders << QStringLiteral(":/icons"));
    QIcon::setThemeName(QStringLiteral("hicolor"));
    AddFilesTest::SetUp();
  }
};

// Windows that look up theme icons before the first file listing (the about box here) must not
// leave the file lists with blank pages: the video keeps the desktop theme's video icon, in the
// browser and in the main list. Each test case runs in a process of its own, so the about box
// is the first window that looks an icon up.
TEST_F(AddFilesOnABareDesktopTest, AVideoKeepsItsThemeIconWhenTheAboutBoxCameFirst) {
  OnNextModal([](QWidget* modal) {
    ASSERT_NE(qobject_cast<app::Tfrm_About*>(modal), nullptr);
    modal->close();
  });
  Window->About1Click();

  // The names the desktop gives an AVI file's icon, worked out from the MIME database alone.
  const QMimeType avi =
      QMimeDatabase().mimeTypeForFile(QStringLiteral("x.avi"), QMimeDatabase::MatchExtension);
  const QStringList themeNames = {avi.iconName(), avi.genericIconName()};
  const auto expectThemed = [&](const QIcon& icon, const char* where) {
    SCOPED_TRACE(where);
    EXPECT_FALSE(icon.isNull());
    EXPECT_TRUE(themeNames.contains(icon.name())) << "icon \"" << icon.name().toStdString() << "\"";
    EXPECT_FALSE(icon.pixmap(16, 16).isNull());
  };

  Tfrm_AddFiles window(*Window);
  window.show();
  TNavShellList& list = *window.lw_Data();
  QTreeWidgetItem* clip = nullptr;
  for (int i = 0; i < list.topLevelItemCount(); ++i)
    if (list.topLevelItem(i)->text(0).trimmed() == QLatin1String("clip1.avi")) clip = list.topLevelItem(i);
  ASSERT_NE(clip, nullptr);
  expectThemed(clip->icon(0), "add-files list");

  Select(list, {"clip1.avi"});
  window.Button1Click();
  ASSERT_EQ(Window->RowCount(), 1);
  expectThemed(Window->lw_Files()->topLevelItem(0)->icon(0), "main list");
}

TEST_F(AddFilesTest, TheMainWindowsAddOpensTheWindow) {
  bool seen = false;
  OnNextModal([&](QWidget* modal) {
    auto* window = qobject_cast<Tfrm_AddFiles*>(modal);
    ASSERT_NE(window, nullptr);
    seen = true;
    Select(*window->lw_Data(), {"clip2.AVI"});
    window->Button1Click();
    window->reject();
  });
  Window->btn_AddClick();
  EXPECT_TRUE(seen);
  EXPECT_EQ(RowPaths(), QStringList{Clips + "/clip2.AVI"});
  EXPECT_EQ(Window->AddFolder(), Clips);
}

TEST_F(AddFilesTest, TheItemMenuOffersNothingThatChangesTheDisk) {
  Tfrm_AddFiles window(*Window);
  window.show();
  TNavShellList& list = *window.lw_Data();
  QStringList offered;
  shell::TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* action : menu.actions())
      if (!action->isSeparator()) offered << action->data().toString();
    return nullptr;
  });
  for (const QStringList& names : {QStringList{"clip1.avi"}, QStringList{"clip1.avi", "clip3.avi"}, QStringList{"sub"}}) {
    SCOPED_TRACE(names.join(' ').toStdString());
    offered.clear();
    Select(list, names);
    QString verb;
    list.ShowItemContextMenu(QPoint(), verb);
    EXPECT_TRUE(offered.contains("open"));
    EXPECT_TRUE(offered.contains("copy"));
    for (const char* writing : {"cut", "paste", "link", "delete", "rename", "undelete"})
      EXPECT_FALSE(offered.contains(QLatin1String(writing))) << writing;
  }
  shell::TShellBrowser::SetContextMenuRunner({});
}

// The three views at the window's own size: names under icons are broken over two lines rather
// than cut short, ".." among thumbnails is a plain folder, and the details fit the window.
TEST_F(AddFilesTest, TheViewsShowWholeNamesAndFitTheWindow) {
  const QString clip = QString::fromStdString(fixtures::MediaFixtures().ClipAvi);
  for (const char* name : {"small51.mkv", "webclip.webm", "a_rather_long_clip_name.avi"})
    ASSERT_TRUE(QFile::copy(clip, Clips + '/' + name));
  Tfrm_AddFiles window(*Window);
  window.show();
  TNavShellList& list = *window.lw_Data();
  auto rowOf = [&](const QString& caption) {
    for (int i = 0; i < list.topLevelItemCount(); ++i)
      if (list.topLevelItem(i)->text(0).trimmed() == caption) return i;
    return -1;
  };

  window.findChild<QToolButton*>(QStringLiteral("btn_Icons"))->click();
  QListView* grid = list.GridView();
  ASSERT_NE(grid, nullptr);
  ASSERT_TRUE(grid->gridSize().isValid());
  for (const char* name : {"small51.mkv", "webclip.webm", "a_rather_long_clip_name.avi", "clip1.avi"}) {
    SCOPED_TRACE(name);
    const int row = rowOf(QLatin1String(name));
    ASSERT_GE(row, 0);
    const QModelIndex index = grid->model()->index(row, 0);
    // The cell's option as the grid gives it to its delegate when it lays the items out.
    QStyleOptionViewItem option;
    option.initFrom(grid);
    option.features = QStyleOptionViewItem::WrapText;
    option.decorationPosition = QStyleOptionViewItem::Top;
    option.displayAlignment = Qt::AlignCenter;
    option.decorationSize = grid->iconSize();
    option.rect = QRect(QPoint(), grid->gridSize());
    const QSize hint = grid->itemDelegate()->sizeHint(option, index);
    EXPECT_LE(hint.width(), grid->gridSize().width()) << "the name runs past its cell and is cut short";
    EXPECT_LE(hint.height(), grid->gridSize().height());
  }

  // Thumbnails: ".." is the current item when the window opens, and it is not framed as the
  // focused item until the keyboard moves the focus (the style frames it only then).
  list.SetThumbnails(true);
  const int up = rowOf(QStringLiteral(".."));
  ASSERT_GE(up, 0);
  const QModelIndex upIndex = grid->model()->index(up, 0);
  auto picture = [&] {
    QCoreApplication::processEvents();
    return grid->viewport()->grab(grid->visualRect(upIndex)).toImage();
  };
  grid->setCurrentIndex(upIndex);
  grid->selectionModel()->clearSelection();
  window.findChild<QPushButton*>(QStringLiteral("Button2"))->setFocus();
  const QImage unfocused = picture();
  grid->setFocus(Qt::MouseFocusReason);  // clicked into
  ASSERT_TRUE(grid->hasFocus());
  EXPECT_EQ(picture(), unfocused) << "\"..\" is framed as the focused item";
  // After Tab the focused item is framed, as everywhere.
  window.setAttribute(Qt::WA_KeyboardFocusChange);
  EXPECT_NE(picture(), unfocused);
  window.setAttribute(Qt::WA_KeyboardFocusChange, false);

  // Details at the window's size: every column in view, the date not cut.
  window.findChild<QToolButton*>(QStringLiteral("btn_Details"))->click();
  QCoreApplication::processEvents();
  EXPECT_LE(list.header()->length(), list.viewport()->width());
  EXPECT_FALSE(list.horizontalScrollBar()->isVisible());
  // The widest text of a column, with the item's margins.
  auto needed = [&](int column) {
    int widest = list.header()->fontMetrics().horizontalAdvance(list.headerItem()->text(column)) + 8;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
      widest = std::max(widest, list.fontMetrics().horizontalAdvance(list.topLevelItem(i)->text(column)) + 8);
    return widest;
  };
  for (int c = 1; c < list.columnCount(); ++c) {
    SCOPED_TRACE(list.headerItem()->text(c).toStdString());
    EXPECT_GE(list.columnWidth(c), needed(c));
  }
  EXPECT_GE(list.columnWidth(0), 150);  // the names keep real room
}

// A Latin-1 name beside the clips (a file from an old disk or archive): every way into the list
// finds it under its own bytes, and the row added is that file.
class AddFilesLatinOneTest : public AddFilesTest {
 protected:
  void SetUp() override {
    AddFilesTest::SetUp();
    Bytes = QFile::encodeName(Clips) + "/caf\xe9.avi";
    const QByteArray clip = QFile::encodeName(QString::fromStdString(fixtures::MediaFixtures().ClipAvi));
    ASSERT_EQ(::symlink(clip.constData(), Bytes.constData()), 0);
    Name = platform::FileNameFromBytes(Bytes);
  }
  void TearDown() override {
    ::unlink(Bytes.constData());  // QTemporaryDir cannot find the name to remove it
    AddFilesTest::TearDown();
  }
  // The row took the file: its path is the name, and its duration was read from the clip.
  void ExpectTheRow() {
    ASSERT_EQ(RowPaths(), QStringList{Name});
    EXPECT_EQ(platform::FileNameToBytes(Window->SubItem(0, 2)), Bytes);
    EXPECT_GT(Window->SubItem(0, 3).toLongLong(), 0) << "duration";
  }
  QByteArray Bytes;
  QString Name;
};

TEST_F(AddFilesLatinOneTest, TheAddFilesWindowListsAndAddsIt) {
  Tfrm_AddFiles window(*Window);
  window.show();
  TNavShellList& list = *window.lw_Data();
  // Shown with U+FFFD for the byte; the item keeps the name itself.
  const QString shown = QStringLiteral("caf\uFFFD.avi");
  ASSERT_TRUE(Captions(list).contains(shown)) << Captions(list).join(' ').toStdString();
  Select(list, {shown});
  window.Button1Click();
  EXPECT_EQ(Window->DropQueue(), QStringList{Name});
  ExpectTheRow();
}

TEST_F(AddFilesLatinOneTest, ADropOfItsUrlAddsIt) {
  Window->show();
  QWidget* viewport = Window->lw_Files()->viewport();
  // As a file manager writes it: the name's bytes percent-encoded.
  QMimeData data;
  data.setData(QStringLiteral("text/uri-list"), "file://" + Bytes.toPercentEncoding("/") + "\r\n");
  const QPoint at(10, 10);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  ExpectTheRow();
}

TEST_F(AddFilesLatinOneTest, APasteOfItAddsIt) {
  struct TCase {
    const char* Name;
    std::function<QMimeData*()> Data;
  };
  const QByteArray url = "file://" + Bytes.toPercentEncoding("/");
  const TCase cases[] = {
      {"uri-list",
       [&] {
         auto* data = new QMimeData;
         data->setData(QStringLiteral("text/uri-list"), url + "\r\n");
         return data;
       }},
      {"gnome-copied-files",
       [&] {
         auto* data = new QMimeData;
         data->setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + url);
         return data;
       }},
      {"address bar text",
       [&] {
         auto* data = new QMimeData;
         data->setText(QString::fromLatin1(url));
         return data;
       }},
      // What this program puts on the clipboard for the file, read back.
      {"own copy", [&] { return shell::GetDropFiles({Name}, false).release(); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Window->New1Click();
    QApplication::clipboard()->setMimeData(c.Data());  // the clipboard owns it
    Window->btn_PasteClick();
    ExpectTheRow();
  }
}

}  // namespace
