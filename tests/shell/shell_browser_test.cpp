#include "shell/shell_browser.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include <QActionGroup>
#include <QDateTime>
#include <QLocale>
#include <QMimeDatabase>
#include <QStorageInfo>

#include <functional>

#include "fake_home.h"
#include "shell/nav_menu_item.h"
#include "shell/nav_system_image_list.h"
#include "shell/thumb_cache.h"

namespace {

using shell::EShellBrowserError;
using shell::TShellBrowser;
using F = shell::TNavShellFolder;

QMimeData* GetDropFilesFor(const QString& path) {
  auto* data = new QMimeData;
  data->setUrls({QUrl::fromLocalFile(path)});
  return data;
}

class ShellBrowserTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    testing_support::ShellApp();
    FakeHomeTest::SetUp();
    Tree = Root + QStringLiteral("/tree");
    QDir().mkpath(Tree + QStringLiteral("/folder.mkv"));  // a folder whose name looks like a clip
    for (const char* name : {"a.mkv", "b.MP4", "c.txt", ".hidden.mkv"}) testing_support::WriteText(Tree + '/' + name, "12345");
    Browser.OnError = [this](const QString& message) { Errors << message; };
  }
  void TearDown() override {
    TShellBrowser::SetContextMenuRunner({});
    FakeHomeTest::TearDown();
  }
  QStringList Names() {
    QStringList names;
    Browser.ResetEnumeration();
    while (Browser.Next()) names << Browser.GetObjectName();
    return names;
  }

  QString Tree;
  TShellBrowser Browser;
  QStringList Errors;
};

TEST_F(ShellBrowserTest, FilterReadsBackAndFoldersAlwaysPass) {
  EXPECT_EQ(Browser.Filter(), QStringLiteral("*"));
  Browser.SetFilter(QString());
  EXPECT_EQ(Browser.Filter(), QStringLiteral("*"));
  Browser.SetFilter(QStringLiteral("*.MKV;*.mp4"));
  EXPECT_EQ(Browser.Filter(), QStringLiteral("*.MKV;*.mp4"));
  Browser.SetFolder(Tree);
  EXPECT_EQ(Browser.Folder(), Tree + QLatin1Char('/'));
  QStringList names = Names();
  names.sort();
  EXPECT_EQ(names, QStringList({QStringLiteral(".hidden.mkv"), QStringLiteral("a.mkv"), QStringLiteral("b.MP4"),
                                QStringLiteral("folder.mkv")}));
  Browser.SetFilter(QStringLiteral("*.txt"));
  names = Names();
  names.sort();
  EXPECT_EQ(names, QStringList({QStringLiteral("c.txt"), QStringLiteral("folder.mkv")}));
}

TEST_F(ShellBrowserTest, ObjectsAndAttributes) {
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("a.mkv"));
  EXPECT_EQ(Browser.GetObjectPath(), Tree + QStringLiteral("/a.mkv"));
  EXPECT_FALSE(Browser.IsFolder());
  EXPECT_TRUE(Browser.CanRename());
  EXPECT_NE(Browser.GetAttributes(shell::sfgao::FileSystem), 0u);
  Browser.LocateObject(QStringLiteral(".hidden.mkv"));
  EXPECT_TRUE(Browser.IsHidden());
  Browser.LocateObject(QStringLiteral("folder.mkv"));
  EXPECT_TRUE(Browser.IsFolder());
  testing_support::WriteText(Tree + QStringLiteral("/pack.ZIP"), "PK");
  QFile::link(Tree + QStringLiteral("/a.mkv"), Tree + QStringLiteral("/link.mkv"));
  Browser.LocateObject(QStringLiteral("link.mkv"));
  EXPECT_TRUE(Browser.IsLink());
  EXPECT_EQ(Browser.GetLinkTargetPath(), Tree + QStringLiteral("/a.mkv"));
  EXPECT_EQ(Browser.GetPathList().Strings(), QStringList({Tree + QStringLiteral("/link.mkv")}));
  Browser.MultiObjects() = QStringList({QStringLiteral("a.mkv"), Tree + QStringLiteral("/c.txt")});
  EXPECT_EQ(Browser.GetPathList().Strings(), QStringList({Tree + QStringLiteral("/a.mkv"), Tree + QStringLiteral("/c.txt")}));
}

TEST_F(ShellBrowserTest, ListsObjectsAndCopiesKeepTheirPlaceAndSettings) {
  using shell::TNavItemIdList;
  Browser.SetFolder(Tree);
  EXPECT_EQ(Browser.GetFolderIDList()->GetPath(), Tree);
  Browser.LocateObject(QStringLiteral("a.mkv"));
  EXPECT_EQ(Browser.GetObjectIDList()->GetCount(), 1);
  EXPECT_EQ(Browser.GetLastWriteTime(), QFileInfo(Tree + QStringLiteral("/a.mkv")).lastModified());
  // An absolute list: its parent becomes the folder; the folder as object: its parent too.
  Browser.SetAbsoluteObjectIDList(TNavItemIdList::CreateFromPath(Tree + QStringLiteral("/folder.mkv")));
  EXPECT_EQ(Browser.Folder(), Tree + QLatin1Char('/'));
  EXPECT_EQ(Browser.GetObjectName(), QStringLiteral("folder.mkv"));
  EXPECT_EQ(Browser.GetOpenIconIndex(),
            shell::TNavSystemImageList::GetIconIndex(Browser.GetAbsoluteObjectIDList(), false, true));
  Browser.SetFolder(Tree + QStringLiteral("/folder.mkv"));
  ASSERT_TRUE(Browser.SelectFolderAsObject());
  EXPECT_EQ(Browser.Folder(), Tree + QLatin1Char('/'));
  EXPECT_EQ(Browser.GetObjectName(), QStringLiteral("folder.mkv"));

  Browser.SetFileSystemOnly(true);
  Browser.SetShowErrorMessages(false);
  Browser.SetShowContextMenuOnTop(true);
  Browser.SetReadOnly(true);
  Browser.SetFilter(QStringLiteral("*.mkv"));
  const auto copy = TShellBrowser::CreateCopy(Browser);
  EXPECT_EQ(copy->Folder(), Browser.Folder());
  EXPECT_TRUE(copy->FileSystemOnly());
  EXPECT_FALSE(copy->ShowErrorMessages());
  EXPECT_TRUE(copy->ShowContextMenuOnTop());
  EXPECT_TRUE(copy->ReadOnly());
  EXPECT_EQ(copy->Filter(), QStringLiteral("*.mkv"));
  EXPECT_EQ(copy->Version(), QStringLiteral("TShellBrowser V9.0.3.694"));
}

TEST_F(ShellBrowserTest, TheShellsEntriesGoOnTopWhenAsked) {
  Browser.SetFolder(Tree);
  QMenu own;
  own.addAction(QStringLiteral("Mine"));
  QStringList shown;
  TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* action : menu.actions())
      if (!action->isSeparator()) shown << (action->text() == QLatin1String("Mine") ? "mine" : action->data().toString());
    return nullptr;
  });
  QString command;
  for (bool onTop : {false, true}) {
    SCOPED_TRACE(onTop);
    Browser.SetShowContextMenuOnTop(onTop);
    Browser.LocateObject(QStringLiteral("a.mkv"));
    shown.clear();
    Browser.ShowContextMenu(QPoint(), &own, command);
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.first(), onTop ? QStringLiteral("open") : QStringLiteral("mine"));
  }
}

TEST_F(ShellBrowserTest, LocatingByPathMountRootAndTheNotFoundText) {
  Browser.LocateObject(Tree + QStringLiteral("/c.txt"));
  EXPECT_EQ(Browser.Folder(), Tree + QLatin1Char('/'));
  EXPECT_EQ(Browser.GetObjectName(), QStringLiteral("c.txt"));

  Browser.LocateObject(QStringLiteral("/"));  // a volume: Computer holds it
  EXPECT_EQ(Browser.SpecialFolder(), F::SF_DRIVES);
  EXPECT_EQ(Browser.GetObjectPath(), QStringLiteral("/"));
  EXPECT_TRUE(Browser.IsFolder());

  Browser.SetFolder(Tree);
  try {
    Browser.LocateObject(QStringLiteral("nope.mkv"));
    ADD_FAILURE() << "found a missing object";
  } catch (const EShellBrowserError& error) {
    EXPECT_EQ(QString::fromUtf8(error.what()),
              QStringLiteral("Error: Cannot find Object \"nope.mkv\" in Folder \"") + Tree + QStringLiteral("/\""));
  }
  TShellBrowser empty;
  EXPECT_THROW(empty.LocateObject(QStringLiteral("x")), EShellBrowserError);
  EXPECT_THROW(empty.SetFolder(Root + QStringLiteral("/missing")), EShellBrowserError);
}

TEST_F(ShellBrowserTest, DesktopHoldsThePlacesAndOpensThem) {
  Browser.SetSpecialFolder(F::SF_DESKTOP);
  Browser.SetFileSystemOnly(true);
  const QStringList names = Names();
  EXPECT_TRUE(names.contains(QLatin1String(shell::kNavHome)));
  EXPECT_TRUE(names.contains(QLatin1String(shell::kNavComputer)));
  EXPECT_TRUE(names.contains(QLatin1String(shell::kNavTrash)));
  Browser.LocateObject(QStringLiteral("Computer"));
  ASSERT_TRUE(Browser.OpenObjectAsFolder());
  EXPECT_EQ(Browser.SpecialFolder(), F::SF_DRIVES);
  QStringList volumes = Names();
  EXPECT_EQ(volumes.first(), QStringLiteral("/"));
  EXPECT_TRUE(volumes.contains(Volume));
  Browser.LocateObject(Volume);
  QString type;
  Browser.GetDetailsOf(1, false, type);
  EXPECT_EQ(type, QStringLiteral("Local Disk"));
}

TEST_F(ShellBrowserTest, RenameOnDiskNeverReplaces) {
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("c.txt"));
  QString name = QStringLiteral("d.txt");
  ASSERT_TRUE(Browser.RenameObject(name));
  EXPECT_EQ(name, QStringLiteral("d.txt"));
  EXPECT_EQ(Browser.GetObjectPath(), Tree + QStringLiteral("/d.txt"));
  EXPECT_TRUE(QFileInfo::exists(Tree + QStringLiteral("/d.txt")));
  EXPECT_FALSE(QFileInfo::exists(Tree + QStringLiteral("/c.txt")));
  name = QStringLiteral("a.mkv");  // taken
  EXPECT_FALSE(Browser.RenameObject(name));
  EXPECT_EQ(name, QStringLiteral("d.txt"));
  EXPECT_TRUE(QFileInfo::exists(Tree + QStringLiteral("/d.txt")));
  EXPECT_EQ(QFileInfo(Tree + QStringLiteral("/a.mkv")).size(), 5);
}

TEST_F(ShellBrowserTest, DeleteGoesToTheTrashAndRestoreBringsItBack) {
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("a.mkv"));
  ASSERT_TRUE(Browser.ExecuteCommand(QStringLiteral("delete")));
  EXPECT_FALSE(QFileInfo::exists(Tree + QStringLiteral("/a.mkv")));

  Browser.SetSpecialFolder(F::SF_BITBUCKET);
  Browser.ResetEnumeration();
  ASSERT_TRUE(Browser.Next());
  EXPECT_EQ(Browser.GetObjectDisplayName(false), QStringLiteral("a.mkv"));
  QString header, location;
  Browser.GetDetailsOf(1, true, header);
  Browser.GetDetailsOf(1, false, location);
  EXPECT_EQ(header, QStringLiteral("Original Location"));
  EXPECT_EQ(location, Tree);
  ASSERT_TRUE(Browser.ExecuteCommand(QStringLiteral("undelete")));
  EXPECT_EQ(QFileInfo(Tree + QStringLiteral("/a.mkv")).size(), 5);
  Browser.ResetEnumeration();
  EXPECT_FALSE(Browser.Next());  // the trash is empty again
}

TEST_F(ShellBrowserTest, TwoItemsOfOneNameInTheTrashGoBackToTheirOwnFolders) {
  QDir().mkpath(Root + QStringLiteral("/other"));
  testing_support::WriteText(Root + QStringLiteral("/other/a.mkv"), "123");
  for (const QString& folder : {Tree, Root + QStringLiteral("/other")}) {
    Browser.SetFolder(folder);
    Browser.LocateObject(QStringLiteral("a.mkv"));
    ASSERT_TRUE(Browser.ExecuteCommand(QStringLiteral("delete")));
  }
  const QString trash = Home + QStringLiteral("/.local/share/Trash");
  EXPECT_TRUE(QFileInfo::exists(trash + QStringLiteral("/files/a.mkv")));
  EXPECT_TRUE(QFileInfo::exists(trash + QStringLiteral("/files/a.mkv.2")));
  const QByteArray info = testing_support::ReadText(trash + QStringLiteral("/info/a.mkv.2.trashinfo"));
  EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=" + QUrl::toPercentEncoding(Root + QStringLiteral("/other/a.mkv"), "/")));
  EXPECT_TRUE(info.contains("\nDeletionDate="));
  Browser.SetSpecialFolder(F::SF_BITBUCKET);
  for (const char* name : {"a.mkv", "a.mkv.2"}) {
    Browser.LocateObject(QLatin1String(name));
    ASSERT_TRUE(Browser.ExecuteCommand(QStringLiteral("undelete")));
  }
  EXPECT_EQ(QFileInfo(Tree + QStringLiteral("/a.mkv")).size(), 5);
  EXPECT_EQ(QFileInfo(Root + QStringLiteral("/other/a.mkv")).size(), 3);
}

TEST_F(ShellBrowserTest, AFileThatCannotGoToTheTrashStays) {
  // The trash folder cannot be made: a plain file sits where it would go.
  testing_support::WriteText(Home + QStringLiteral("/.local/share/Trash"), "in the way");
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("a.mkv"));
  EXPECT_FALSE(Browser.ExecuteCommand(QStringLiteral("delete")));
  EXPECT_TRUE(QFileInfo::exists(Tree + QStringLiteral("/a.mkv")));
  EXPECT_EQ(Errors.size(), 1);
}

TEST_F(ShellBrowserTest, ReadOnlyBlocksDeleteCutAndPaste) {
  Browser.SetFolder(Tree);
  Browser.SetReadOnly(true);
  QGuiApplication::clipboard()->clear();
  Browser.LocateObject(QStringLiteral("a.mkv"));
  EXPECT_FALSE(Browser.ExecuteCommand(QStringLiteral("delete")));
  EXPECT_FALSE(Browser.ExecuteCommand(QStringLiteral("cut")));
  EXPECT_TRUE(QFileInfo::exists(Tree + QStringLiteral("/a.mkv")));
  EXPECT_TRUE(Browser.ExecuteCommand(QStringLiteral("copy")));  // copying is fine
  Browser.LocateObject(QStringLiteral("folder.mkv"));
  EXPECT_FALSE(Browser.ExecuteCommand(QStringLiteral("paste")));
  EXPECT_FALSE(QFileInfo::exists(Tree + QStringLiteral("/folder.mkv/a.mkv")));
  Browser.SetReadOnly(false);
  EXPECT_TRUE(Browser.ExecuteCommand(QStringLiteral("paste")));
  EXPECT_TRUE(QFileInfo::exists(Tree + QStringLiteral("/folder.mkv/a.mkv")));
  EXPECT_TRUE(Browser.ExecuteCommand(QStringLiteral("paste")));  // again: a free name, nothing replaced
  EXPECT_TRUE(QFileInfo::exists(Tree + QStringLiteral("/folder.mkv/a (2).mkv")));
}

TEST_F(ShellBrowserTest, AReadOnlyMenuOffersNothingThatChangesTheDisk) {
  const QStringList writing = {"cut", "paste", "link", "delete", "rename", "undelete"};
  // A file with a file on the clipboard (Paste would be offered for a folder), with a rename
  // handler; and a trash item.
  testing_support::WriteText(Tree + QStringLiteral("/gone.mkv"), "x");
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("gone.mkv"));
  ASSERT_TRUE(Browser.ExecuteCommand(QStringLiteral("delete")));
  auto* data = new QMimeData;
  data->setUrls({QUrl::fromLocalFile(Tree + QStringLiteral("/a.mkv"))});
  QGuiApplication::clipboard()->setMimeData(data);
  Browser.OnRename = [](TShellBrowser&) {};
  QStringList offered;
  TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* action : menu.actions()) offered << action->data().toString();
    return nullptr;
  });
  struct TCase {
    const char* Where;
    std::function<void()> Locate;
    QStringList Kept;  // offered read-only as well
  };
  const TCase cases[] = {
      {"folder", [&] { Browser.SetFolder(Tree); Browser.LocateObject(QStringLiteral("folder.mkv")); },
       {"open", "copy", "copypath", "properties"}},
      {"file", [&] { Browser.SetFolder(Tree); Browser.LocateObject(QStringLiteral("a.mkv")); },
       {"open", "copy", "copypath", "properties"}},
      {"trash item", [&] { Browser.SetSpecialFolder(F::SF_BITBUCKET); Browser.LocateObject(QStringLiteral("gone.mkv")); },
       {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Where);
    QString command;
    for (bool readOnly : {false, true}) {
      Browser.SetReadOnly(readOnly);
      offered.clear();
      c.Locate();
      Browser.ShowContextMenu(QPoint(), nullptr, command);
      for (const QString& verb : c.Kept) EXPECT_TRUE(offered.contains(verb)) << verb.toStdString();
      bool anyWriting = false;
      for (const QString& verb : writing) anyWriting = anyWriting || offered.contains(verb);
      EXPECT_EQ(anyWriting, !readOnly);
    }
  }
  // Asked for by name, a read-only browser refuses them too: no link appears.
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("a.mkv"));
  EXPECT_FALSE(Browser.ExecuteCommand(QStringLiteral("link")));
  EXPECT_FALSE(QFileInfo::exists(Tree + QStringLiteral("/Link to a.mkv")));
  QGuiApplication::clipboard()->clear();
}

TEST_F(ShellBrowserTest, TheNetworkNameIsTheSharesSourceAndThePathInside) {
  const QString share = Root + QStringLiteral("/net");  // "server:/export" in the mount table
  QDir().mkpath(share + QStringLiteral("/clips"));
  testing_support::WriteText(share + QStringLiteral("/clips/a.mkv"), "x");
  struct TCase {
    QString Folder, Name, Expected;
  };
  const TCase cases[] = {
      {share + QStringLiteral("/clips"), QStringLiteral("a.mkv"), QStringLiteral("server:/export/clips/a.mkv")},
      {share, QStringLiteral("clips"), QStringLiteral("server:/export/clips")},
      {Tree, QStringLiteral("a.mkv"), QString()},  // a local volume
      {Volume, QString(), QString()},              // no object
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE((c.Folder + '/' + c.Name).toStdString());
    Browser.SetFolder(c.Folder);
    Browser.LocateObject(c.Name);
    EXPECT_EQ(Browser.GetNetworkName(), c.Expected);
  }
  Browser.LocateObject(share);  // the share itself
  EXPECT_EQ(Browser.GetNetworkName(), QStringLiteral("server:/export"));
}

TEST_F(ShellBrowserTest, UIObjectsAreTheMenuOrTheFileDataOfWhatIsStillThere) {
  using shell::TNavUIObject;
  auto urlsOf = [](std::unique_ptr<QObject> object) {
    QStringList paths;
    if (auto* data = qobject_cast<QMimeData*>(object.get()))
      for (const QUrl& url : data->urls()) paths << url.toLocalFile();
    paths.sort();
    return paths;
  };
  EXPECT_THROW(Browser.GetUIObjectOf(TNavUIObject::DataObject), EShellBrowserError);  // no folder
  Browser.SetFolder(Tree);
  EXPECT_EQ(Browser.GetUIObjectOf(TNavUIObject::ContextMenu), nullptr);  // no object
  Browser.LocateObject(QStringLiteral("a.mkv"));
  EXPECT_EQ(urlsOf(Browser.GetUIObjectOf(TNavUIObject::DataObject)), QStringList{Tree + "/a.mkv"});
  // Of several entries, those that are gone are dropped; the object stays.
  Browser.MultiObjects() = QStringList{"c.txt", "gone.mkv", Tree + "/b.MP4", Tree + "/gone too.mkv"};
  EXPECT_EQ(urlsOf(Browser.GetUIObjectOf(TNavUIObject::DataObject)), (QStringList{Tree + "/b.MP4", Tree + "/c.txt"}));
  EXPECT_EQ(Browser.MultiObjects(), (QStringList{"c.txt", Tree + "/b.MP4"}));
  EXPECT_EQ(Browser.GetObjectName(), QStringLiteral("a.mkv"));
  // One entry becomes the object.
  Browser.MultiObjects() = QStringList{"b.MP4"};
  auto menu = Browser.GetUIObjectOf(TNavUIObject::ContextMenu);
  ASSERT_NE(qobject_cast<QMenu*>(menu.get()), nullptr);
  EXPECT_EQ(Browser.GetObjectName(), QStringLiteral("b.MP4"));
  // All of them gone: the object instead.
  Browser.MultiObjects() = QStringList{"gone.mkv", "gone too.mkv"};
  EXPECT_EQ(urlsOf(Browser.GetUIObjectOf(TNavUIObject::DataObject)), QStringList{Tree + "/b.MP4"});
  Browser.MultiObjects().clear();
}

TEST_F(ShellBrowserTest, ItemsOnSeveralVolumesGetOneMenuOfTheVerbsThatActWherever) {
  const QString onVolume = Volume + QStringLiteral("/v.mkv");  // another volume than Tree's
  testing_support::WriteText(onVolume, "x");
  QGuiApplication::clipboard()->setMimeData(GetDropFilesFor(Tree + QStringLiteral("/c.txt")));
  Browser.OnRename = [](TShellBrowser&) {};
  QStringList offered;
  QString pick;
  TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    QAction* chosen = nullptr;
    for (QAction* action : menu.actions()) {
      offered << action->data().toString();
      if (action->data().toString() == pick) chosen = action;
    }
    return chosen;
  });
  struct TCase {
    const char* Where;
    QStringList Objects;
    bool PasteAndRename;
    QString Paths;  // what Copy Path leaves on the clipboard
  };
  const TCase cases[] = {
      {"one volume", {Tree + "/a.mkv", Tree + "/folder.mkv"}, true, Tree + "/a.mkv\n" + Tree + "/folder.mkv"},
      {"two volumes", {Tree + "/a.mkv", onVolume, Volume + "/gone.mkv"}, false, Tree + "/a.mkv\n" + onVolume},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Where);
    Browser.SetFolder(Tree);
    Browser.LocateObject(QStringLiteral("folder.mkv"));  // a folder: Paste would be offered
    Browser.MultiObjects() = c.Objects;
    offered.clear();
    pick = QStringLiteral("copypath");
    QString command;
    ASSERT_TRUE(Browser.ShowContextMenu(QPoint(), nullptr, command));
    for (const char* verb : {"open", "cut", "copy", "link", "delete", "copypath", "properties"})
      EXPECT_TRUE(offered.contains(QLatin1String(verb))) << verb;
    EXPECT_EQ(offered.contains(QStringLiteral("paste")), c.PasteAndRename);
    EXPECT_EQ(offered.contains(QStringLiteral("rename")), c.PasteAndRename);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), c.Paths);
    EXPECT_TRUE(Browser.MultiObjects().isEmpty());  // used up
    QGuiApplication::clipboard()->setMimeData(GetDropFilesFor(Tree + QStringLiteral("/c.txt")));
  }
  // Every entry gone, and no object: no menu.
  Browser.LocateObject(QString());
  Browser.MultiObjects() = QStringList{Volume + "/gone.mkv", Tree + "/gone.mkv"};
  QString command;
  EXPECT_FALSE(Browser.ShowContextMenu(QPoint(), nullptr, command));
  EXPECT_EQ(command, QStringLiteral("__ERROR__"));
  QGuiApplication::clipboard()->clear();
}

TEST_F(ShellBrowserTest, ContextMenuRunsTheChosenVerb) {
  Browser.SetFolder(Tree);
  QString command;
  EXPECT_FALSE(Browser.ShowContextMenu(QPoint(), nullptr, command));
  EXPECT_EQ(command, QStringLiteral("__ERROR__"));  // no object

  Browser.LocateObject(QStringLiteral("b.MP4"));
  QStringList offered;
  TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    QAction* pick = nullptr;
    for (QAction* action : menu.actions()) {
      offered << action->data().toString();
      if (action->data().toString() == QLatin1String("copypath")) pick = action;
    }
    return pick;
  });
  QMenu own;
  bool ownClicked = false;
  QObject::connect(own.addAction(QStringLiteral("Mine")), &QAction::triggered, [&] { ownClicked = true; });
  ASSERT_TRUE(Browser.ShowContextMenu(QPoint(), &own, command));
  EXPECT_EQ(command, QStringLiteral("copypath"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Tree + QStringLiteral("/b.MP4"));
  EXPECT_TRUE(offered.contains(QStringLiteral("delete")));
  EXPECT_FALSE(offered.contains(QStringLiteral("rename")));  // no rename handler
  EXPECT_FALSE(ownClicked);

  // The control's own entry runs as itself.
  TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) { return menu.actions().first(); });
  Browser.LocateObject(QStringLiteral("b.MP4"));
  ASSERT_TRUE(Browser.ShowContextMenu(QPoint(), &own, command));
  EXPECT_TRUE(ownClicked);
  EXPECT_EQ(command, QString());
}

TEST_F(ShellBrowserTest, DetailsAndColumns) {
  Browser.SetFolder(Tree);
  ASSERT_EQ(Browser.ColumnCount(), 7);
  struct TCase {
    int Column;
    const char* Title;
    int Width;
  };
  // Default widths are characters × 8, plus 100 for the name; secondary columns start hidden.
  const TCase cases[] = {{0, "Name", 25 * 8 + 100}, {1, "Size", 10 * 8}, {2, "Type", 20 * 8},
                         {3, "Date modified", 20 * 8}, {4, "Date created", 0}, {6, "Attributes", 0}};
  for (const TCase& c : cases) {
    QString title;
    ASSERT_TRUE(Browser.GetDetailsOf(c.Column, true, title));
    EXPECT_EQ(title, QLatin1String(c.Title));
    Qt::Alignment alignment;
    EXPECT_EQ(Browser.GetColumnWidth(c.Column, alignment), c.Width) << c.Title;
    // The state behind the width: shown by default, or only on request.
    EXPECT_EQ(Browser.GetColumnState(c.Column), c.Width > 0 ? shell::kColumnStateOn : shell::kColumnStateSecondary)
        << c.Title;
  }
  EXPECT_EQ(Browser.GetColumnState(99), 0);  // no such column
  Browser.LocateObject(QStringLiteral("a.mkv"));
  QString name, size, type, attributes;
  Browser.GetDetailsOf(0, false, name);
  Browser.GetDetailsOf(1, false, size);
  Browser.GetDetailsOf(2, false, type);
  EXPECT_EQ(name, QStringLiteral("a.mkv"));
  EXPECT_EQ(size, QStringLiteral("1 KB"));
  EXPECT_FALSE(type.isEmpty());
  Browser.LocateObject(QStringLiteral("folder.mkv"));
  Browser.GetDetailsOf(1, false, size);
  Browser.GetDetailsOf(6, false, attributes);
  EXPECT_EQ(size, QString());
  EXPECT_TRUE(attributes.contains(QLatin1Char('D')));
}

TEST_F(ShellBrowserTest, ThumbnailCacheIsUsedOnlyWhenCurrent) {
  const QString clip = Tree + QStringLiteral("/a.mkv");
  const QString cacheFile = shell::TThumbCache::CacheFile(clip, QStringLiteral("normal"));
  QDir().mkpath(QFileInfo(cacheFile).absolutePath());
  auto writeThumb = [&](qint64 mtime) {
    // As thumbnailers write them: tEXt chunks named Thumb::URI and Thumb::MTime.
    QImage thumb(128, 72, QImage::Format_RGB32);
    thumb.fill(Qt::green);
    thumb.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(QUrl::fromLocalFile(clip).toEncoded()));
    thumb.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    ASSERT_TRUE(thumb.save(cacheFile, "png"));
  };
  const qint64 mtime = QFileInfo(clip).lastModified().toSecsSinceEpoch();
  writeThumb(mtime - 60);  // made of an older version of the file
  EXPECT_TRUE(shell::TThumbCache::Lookup(clip, 96).isNull());
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("a.mkv"));
  const QImage icon = Browser.GetThumbnailBitmap(96, 96, 0xFFFFFF, true);
  ASSERT_EQ(icon.size(), QSize(96, 96));
  EXPECT_EQ(icon.pixelColor(1, 1), QColor(0xC0, 0xC0, 0xC0));  // the icon in its frame

  writeThumb(mtime);
  const QImage thumb = Browser.GetThumbnailBitmap(96, 96, 0xFFFFFF, true);
  ASSERT_FALSE(thumb.isNull());
  EXPECT_EQ(thumb.size(), QSize(96, 54));
  EXPECT_EQ(thumb.pixelColor(48, 27), QColor(Qt::green));

  // Nothing cached, nothing readable: the provider is asked.
  Browser.LocateObject(QStringLiteral("b.MP4"));
  TShellBrowser::SetThumbnailProvider([](const QString&, int w, int h) {
    QImage made(w, h / 2, QImage::Format_RGB32);
    made.fill(Qt::red);
    return made;
  });
  const QImage provided = Browser.GetThumbnailBitmap(0, 0, 0xFFFFFF, false);
  TShellBrowser::SetThumbnailProvider({});
  EXPECT_EQ(provided.size(), QSize(200, 100));
}

QString MimeComment(const QString& name) {
  return QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension).comment();
}

TEST_F(ShellBrowserTest, ColumnsHaveKeysAndKeysFindTheirColumns) {
  namespace k = shell::navkey;
  Browser.SetFolder(Tree);
  struct TCase {
    int Column;
    shell::TNavPropertyKey Key;
  };
  const TCase columns[] = {
      {0, k::Name},         {1, k::Size},       {2, k::Type}, {3, k::DateModified}, {4, k::DateCreated},
      {5, k::DateAccessed}, {6, k::Attributes}, {7, k::None}, {-1, k::None},        {256, k::Column256}};
  for (const TCase& c : columns) EXPECT_TRUE(Browser.MapColumnToKey(c.Column) == c.Key) << c.Column;
  EXPECT_EQ(Browser.GetColumnIndex(k::Size), 1);
  EXPECT_EQ(Browser.GetColumnIndex(k::Attributes), 6);
  EXPECT_EQ(Browser.GetColumnIndex(k::None), -1);
  EXPECT_EQ(Browser.GetColumnIndex(k::Column256), 256);
  EXPECT_EQ(Browser.GetColumnIndex(k::FreeSpace), -1);  // a folder of files has no such column
  Browser.SetSpecialFolder(F::SF_DRIVES);
  EXPECT_EQ(Browser.GetColumnIndex(k::Capacity), 2);
  EXPECT_EQ(Browser.GetColumnIndex(k::FreeSpace), 3);
  // Equal keys: identifier and number both.
  EXPECT_TRUE((shell::TNavPropertyKey{k::kStorage, 12}) == k::Size);
  EXPECT_FALSE((shell::TNavPropertyKey{k::kStorage, 13}) == k::Size);
}

TEST_F(ShellBrowserTest, DetailsByKeyAreTypedAndReadAsTheColumnsShowThem) {
  namespace k = shell::navkey;
  const QDateTime modified(QDate(2023, 11, 30), QTime(8, 15, 0), Qt::UTC);
  {
    QFile file(Tree + QStringLiteral("/a.mkv"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
  }
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("a.mkv"));
  QString text;
  QVariant value;
  ASSERT_TRUE(Browser.GetDetailsEx(k::Size, false, text, value));
  EXPECT_EQ(value.toLongLong(), 5);  // "12345"
  EXPECT_TRUE(text.isEmpty());
  ASSERT_TRUE(Browser.GetDetailsEx(k::Size, true, text, value));
  EXPECT_EQ(text, QStringLiteral("1 KB"));
  ASSERT_TRUE(Browser.GetDetailsEx(k::DateModified, true, text, value));
  EXPECT_EQ(value.toDateTime(), modified);
  EXPECT_EQ(text, QLocale().toString(modified.toLocalTime(), QLocale::ShortFormat));
  ASSERT_TRUE(Browser.GetDetailsEx(k::FolderPath, true, text, value));  // no column: formatted
  EXPECT_EQ(text, Tree);
  EXPECT_FALSE(Browser.GetDetailsEx(k::Capacity, true, text, value));  // not a volume
  EXPECT_TRUE(text.isEmpty());

  ASSERT_TRUE(QFile::link(Tree + QStringLiteral("/folder.mkv"), Tree + QStringLiteral("/to-folder")));
  Browser.LocateObject(QStringLiteral("to-folder"));
  ASSERT_TRUE(Browser.GetDetailsEx(k::Attributes, true, text, value));
  EXPECT_EQ(value.toUInt(), shell::navattr::Directory | shell::navattr::ReparsePoint);
  EXPECT_EQ(text, QStringLiteral("DL"));
  Browser.LocateObject(QStringLiteral("folder.mkv"));
  EXPECT_FALSE(Browser.GetDetailsEx(k::Size, false, text, value));  // folders have no size here

  // Column 256 of a volume: "% " and the free space. The disk is shared with other work: the
  // browser's reading comes between two of our own, and matches one of them.
  Browser.SetSpecialFolder(F::SF_DRIVES);
  Browser.LocateObject(Volume);
  auto freeSpace = [&] {
    return QStringLiteral("% ") + QLocale().formattedDataSize(QStorageInfo(Volume).bytesAvailable(), 1,
                                                              QLocale::DataSizeTraditionalFormat);
  };
  const QString before = freeSpace();
  ASSERT_TRUE(Browser.GetDetailsEx(k::Column256, true, text, value));
  const QString after = freeSpace();
  EXPECT_TRUE(text == before || text == after)
      << text.toStdString() << " is neither " << before.toStdString() << " nor " << after.toStdString();
}

// A column's text and its typed value from one reading, as the text alone and GetDetailsEx give them.
TEST_F(ShellBrowserTest, AColumnGivesItsTextAndTypedValueTogether) {
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("b.MP4"));
  ASSERT_TRUE(Browser.ExecuteCommand(QStringLiteral("delete")));
  const struct {
    F Folder;
    QString Object;
  } cases[] = {{F::SF_FILESYSTEMFOLDER, QStringLiteral("a.mkv")},
               {F::SF_BITBUCKET, QStringLiteral("b.MP4")},
               {F::SF_DRIVES, Volume}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Object.toStdString());
    if (c.Folder == F::SF_FILESYSTEMFOLDER)
      Browser.SetFolder(Tree);
    else
      Browser.SetSpecialFolder(c.Folder);
    Browser.LocateObject(c.Object);
    ASSERT_TRUE(Browser.IsValidObject(false));
    for (int column = 0; column < Browser.ColumnCount(); ++column) {
      SCOPED_TRACE(column);
      const shell::TNavPropertyKey key = Browser.MapColumnToKey(column);
      QString text, alone, formatted;
      QVariant value, byKey;
      ASSERT_TRUE(Browser.GetDetailsOf(column, false, text, &value));
      Browser.GetDetailsEx(key, false, formatted, byKey);
      EXPECT_EQ(value.typeId(), byKey.typeId());
      if (key == shell::navkey::Name || key == shell::navkey::Type) {  // texts of their own
        Browser.GetDetailsOf(column, false, alone);
        EXPECT_EQ(text, alone);
        EXPECT_EQ(value, byKey);
        continue;
      }
      // The text is the value's: the free space of a shared disk may change between readings.
      TShellBrowser::FormatDetailValue(value, key, formatted);
      EXPECT_EQ(text, formatted);
      if (key != shell::navkey::FreeSpace) {
        EXPECT_EQ(value, byKey);
      }
    }
  }
}

TEST_F(ShellBrowserTest, DetailValuesAsText) {
  namespace k = shell::navkey;
  using namespace shell::navattr;
  const QDateTime noon(QDate(2024, 12, 25), QTime(12, 0, 0), Qt::UTC);
  struct TCase {
    const char* Name;
    QVariant Value;
    shell::TNavPropertyKey Key;
    QString Expected;
  };
  const TCase cases[] = {
      {"size in kilobytes", QVariant(qint64(2048)), k::Size, QStringLiteral("2 KB")},
      {"size rounds up", QVariant(qint64(1)), k::Size, QStringLiteral("1 KB")},
      {"size -1", QVariant(qint64(-1)), k::Size, QString()},
      {"capacity", QVariant(qint64(3) << 30), k::Capacity, QStringLiteral("3.0 GB")},
      {"every attribute",
       QVariant(ReadOnly | Hidden | System | Directory | Archive | Compressed | ReparsePoint | Offline),
       k::Attributes, QStringLiteral("RHSDACLO")},
      {"some attributes", QVariant(Hidden | Archive), k::Attributes, QStringLiteral("HA")},
      {"attributes -1", QVariant(-1), k::Attributes, QString()},
      {"type of an extension", QVariant(QStringLiteral(".mp4")), k::Type,
       MimeComment(QStringLiteral("x.mp4"))},
      {"date in local time", QVariant(noon), k::DateModified,
       QLocale().toString(noon.toLocalTime(), QLocale::ShortFormat)},
      {"list", QVariant(QStringList{QStringLiteral("a"), QStringLiteral("b")}), k::None,
       QStringLiteral("a; b")},
      {"plain", QVariant(42), k::FolderPath, QStringLiteral("42")},
      {"empty", QVariant(), k::Size, QString()},
  };
  for (const TCase& c : cases) {
    QString text = QStringLiteral("left over");
    TShellBrowser::FormatDetailValue(c.Value, c.Key, text);
    EXPECT_EQ(text, c.Expected) << c.Name;
  }
}

TEST_F(ShellBrowserTest, InfoTipShowsKindSizeAndDate) {
  const QDateTime modified(QDate(2025, 1, 5), QTime(10, 30, 0));
  {
    QFile file(Tree + QStringLiteral("/a.mkv"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
  }
  Browser.SetFolder(Tree);
  EXPECT_EQ(Browser.GetInfoTip(false), QString());  // no object
  Browser.LocateObject(QStringLiteral("a.mkv"));
  const QString date = QLocale().toString(modified, QLocale::ShortFormat);
  EXPECT_EQ(Browser.GetInfoTip(false),
            QStringLiteral("Type: ") + MimeComment(QStringLiteral("a.mkv")) + QStringLiteral("\nSize: ") +
                QLocale().formattedDataSize(5, 1, QLocale::DataSizeTraditionalFormat) +
                QStringLiteral("\nDate modified: ") + date);
  EXPECT_EQ(Browser.GetInfoTip(true), Browser.GetInfoTip(false));
  Browser.LocateObject(QStringLiteral("folder.mkv"));
  const QStringList folderTip = Browser.GetInfoTip(false).split(QLatin1Char('\n'));
  ASSERT_EQ(folderTip.size(), 2);
  EXPECT_EQ(folderTip[0], QStringLiteral("Type: Folder"));
  EXPECT_TRUE(folderTip[1].startsWith(QStringLiteral("Date modified: ")));
  Browser.SetSpecialFolder(F::SF_DRIVES);
  Browser.LocateObject(Volume);
  EXPECT_TRUE(Browser.GetInfoTip(false).startsWith(QStringLiteral("Type: Local Disk\nFree space: ")));
}

TEST_F(ShellBrowserTest, InvokeCommandRunsAVerbOrAnEntryByNumber) {
  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("a.mkv"));
  QGuiApplication::clipboard()->clear();
  ASSERT_TRUE(Browser.InvokeCommand(nullptr, QStringLiteral("CopyPath"), 0));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Tree + QStringLiteral("/a.mkv"));
  EXPECT_FALSE(Browser.InvokeCommand(nullptr, QString(), 3));  // a number needs its menu

  // Entries are numbered in the order the menu offers them; the control's own are not counted.
  Browser.LocateObject(QStringLiteral("b.MP4"));
  bool invoked = false, missing = true;
  TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    int number = 0;
    for (QAction* action : menu.actions()) {
      if (action->data().toString().isEmpty()) continue;  // separators and our own
      ++number;
      if (action->data().toString() == QLatin1String("copypath"))
        invoked = Browser.InvokeCommand(&menu, QString(), number);
    }
    missing = !Browser.InvokeCommand(&menu, QString(), number + 1);
    return nullptr;
  });
  QMenu own;
  own.addAction(QStringLiteral("Mine"));
  QString command;
  Browser.ShowContextMenu(QPoint(), &own, command);
  EXPECT_TRUE(invoked);
  EXPECT_TRUE(missing);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Tree + QStringLiteral("/b.MP4"));
}

// The control's menu: "Mine" (checked, with a picture), a radio pair, and a submenu holding
// the anchor. The shell's entries join copies of these, after the anchor's copy.
TEST_F(ShellBrowserTest, MergedMenuWorksOnCopiesOfTheControlsEntries) {
  QMenu own;
  QAction* mine = own.addAction(QStringLiteral("Mine"));
  mine->setCheckable(true);
  mine->setChecked(true);
  mine->setObjectName(QStringLiteral("mineItem"));
  mine->setIcon(QIcon(QPixmap::fromImage(testing_support::SolidPicture(16, 16, qRgb(255, 0, 0)))));
  auto* radios = new QActionGroup(&own);
  for (const char* caption : {"Near", "Far"}) {
    QAction* radio = own.addAction(QLatin1String(caption));
    radio->setCheckable(true);
    radios->addAction(radio);
  }
  QMenu* more = own.addMenu(QStringLiteral("More"));
  QAction* anchor = more->addAction(QStringLiteral("Anchor"));
  more->addAction(QStringLiteral("After"));
  int shown = 0, hidden = 0, mineClicked = 0;
  QObject::connect(&own, &QMenu::aboutToShow, [&] { ++shown; });
  QObject::connect(&own, &QMenu::aboutToHide, [&] { ++hidden; });
  QObject::connect(mine, &QAction::triggered, [&] { ++mineClicked; });

  Browser.SetFolder(Tree);
  Browser.LocateObject(QStringLiteral("a.mkv"));
  QStringList top, inMore;
  TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    QAction* pick = nullptr;
    for (QAction* action : menu.actions()) {
      top << action->text();
      if (action->text() == QLatin1String("Mine")) {
        auto* copy = qobject_cast<shell::TNavMenuItem*>(action);
        EXPECT_NE(copy, nullptr);
        EXPECT_NE(action, mine);
        EXPECT_TRUE(action->isChecked());
        EXPECT_EQ(action->objectName(), QStringLiteral("mineItem"));
        if (copy != nullptr) {
          EXPECT_EQ(copy->Bitmap().pixel(8, 8), qRgb(255, 0, 0));
        }
        pick = action;
      }
      if (action->text() == QLatin1String("Near")) {
        EXPECT_TRUE(action->actionGroup() != nullptr && action->actionGroup() != radios);
      }
      if (QMenu* sub = action->menu())
        for (QAction* inner : sub->actions()) inMore << inner->text();
    }
    return pick;
  });
  QString command;
  ASSERT_TRUE(Browser.ShowMergedContextMenu(QPoint(), &own, command, anchor));
  EXPECT_EQ(command, QString());
  EXPECT_EQ(mineClicked, 1);
  EXPECT_FALSE(mine->isChecked());  // the source was triggered: its check toggled
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(hidden, 1);
  EXPECT_EQ(top, (QStringList{QStringLiteral("Mine"), QStringLiteral("Near"), QStringLiteral("Far"),
                              QStringLiteral("More")}));
  ASSERT_GE(inMore.size(), 3);
  EXPECT_EQ(inMore.front(), QStringLiteral("Anchor"));
  EXPECT_EQ(inMore[1], QStringLiteral("Open"));
  EXPECT_EQ(inMore.back(), QStringLiteral("After"));
  EXPECT_EQ(own.actions().size(), 4);  // the control's menu is as it was
  EXPECT_EQ(more->actions().size(), 2);

  // A shell entry picked in the submenu runs, its hook asked once.
  QStringList asked;
  Browser.OnBeforeShellCommand = [&](TShellBrowser&, const QString& verb, const shell::TNavPathList&, bool&) {
    asked << verb;
  };
  TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* action : menu.actions())
      if (QMenu* sub = action->menu())
        for (QAction* inner : sub->actions())
          if (inner->data().toString() == QLatin1String("copypath")) return inner;
    return nullptr;
  });
  QGuiApplication::clipboard()->clear();
  EXPECT_TRUE(Browser.ShowMergedContextMenu(QPoint(), &own, command, anchor));
  EXPECT_EQ(command, QStringLiteral("copypath"));
  EXPECT_EQ(asked, QStringList{QStringLiteral("copypath")});
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Tree + QStringLiteral("/a.mkv"));
  EXPECT_EQ(more->actions().size(), 2);
  EXPECT_EQ(hidden, 2);

  // A delete that did not happen comes back empty.
  Browser.LocateObject(QStringLiteral("a.mkv"));
  Browser.OnBeforeShellCommand = [](TShellBrowser&, const QString&, const shell::TNavPathList&, bool& allow) {
    allow = false;
  };
  TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* action : menu.actions())
      if (action->data().toString() == QLatin1String("delete")) return action;
    return nullptr;
  });
  Browser.ShowMergedContextMenu(QPoint(), &own, command);
  EXPECT_EQ(command, QString());
  EXPECT_TRUE(QFileInfo::exists(Tree + QStringLiteral("/a.mkv")));
  EXPECT_EQ(hidden, 3);
}

TEST_F(ShellBrowserTest, MenuItemKeepsItsPictureAsItsIcon) {
  // Image-list pictures have no alpha: white becomes transparent, the rest opaque, premultiplied.
  QImage picture(2, 1, QImage::Format_RGB32);
  picture.setPixel(0, 0, qRgb(255, 255, 255));
  picture.setPixel(1, 0, qRgb(10, 20, 30));
  const QImage converted = shell::NavTransparentBitmap(picture, qRgb(255, 255, 255));
  EXPECT_EQ(converted.format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(converted.pixel(0, 0), qRgba(0, 0, 0, 0));
  EXPECT_EQ(converted.pixel(1, 0), qRgba(10, 20, 30, 255));

  QMenu menu;
  shell::TNavMenuItem item(&menu);
  EXPECT_TRUE(item.Bitmap().isNull());
  item.SetBitmap(testing_support::SolidPicture(16, 16, qRgb(0, 0, 255)));
  EXPECT_EQ(item.Bitmap().format(), QImage::Format_ARGB32_Premultiplied);
  ASSERT_FALSE(item.icon().isNull());
  item.setIcon(QIcon());  // a change of the entry: its picture shows again
  ASSERT_FALSE(item.icon().isNull());
  EXPECT_EQ(item.icon().pixmap(16, 16).toImage().pixel(4, 4), qRgb(0, 0, 255));
}

}  // namespace
