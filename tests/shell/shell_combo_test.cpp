#include "shell/nav_shell_combo.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QDir>
#include <QFileSystemModel>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <functional>
#include <memory>

#include <QMenu>

#include "fake_home.h"
#include "platform/main_thread.h"
#include "platform/qt_main_thread.h"
#include "shell/nav_shell_list.h"
#include "shell/nav_system_image_list.h"
#include "shell/thread_pool.h"

namespace {

using shell::TNavShellCombo;
using shell::TNavShellFolder;

class ShellComboTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    testing_support::ShellApp();
    // Icons come from the pool and are handed back to this thread.
    FDispatcher = std::make_unique<platform::TQtMainThreadDispatcher>();
    platform::SetMainThreadDispatcher(FDispatcher.get());
    FakeHomeTest::SetUp();
    QDir().mkpath(Home + QStringLiteral("/Desktop/On the desktop"));
    QDir().mkpath(Root + QStringLiteral("/net"));  // the network share of the mount table
    QDir().mkpath(Volume + QStringLiteral("/clips/new"));
    QDir().mkpath(Volume + QStringLiteral("/other"));
    Combo = std::make_unique<TNavShellCombo>();
    Combo->show();  // lists the tree
  }
  void TearDown() override {
    Combo.reset();
    shell::ShutdownGlobalThreadPool();
    platform::SetMainThreadDispatcher(nullptr);
    FDispatcher.reset();
    FakeHomeTest::TearDown();
  }
  int ImageIndex(int entry) const { return Combo->itemData(entry, TNavShellCombo::kImageIndexRole).toInt(); }
  /// "indent caption" of every entry, and whether it is a fixed one ("*" for inserted ones).
  QStringList Entries() const {
    QStringList out;
    for (int i = 0; i < Combo->count(); ++i)
      out << QString::number(Combo->Item(i)->Indent) + ' ' + Combo->itemText(i) +
                 (Combo->Item(i)->Persistent ? "" : "*");
    return out;
  }
  int IndexOfPath(const QString& path) const {
    for (int i = 0; i < Combo->count(); ++i)
      if (Combo->Item(i)->IdList && Combo->Item(i)->IdList->GetPath() == path) return i;
    return -1;
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(Combo.get(), &press);
  }

  std::unique_ptr<TNavShellCombo> Combo;
  std::unique_ptr<platform::TQtMainThreadDispatcher> FDispatcher;
};

TEST_F(ShellComboTest, ListsTheDesktopItsFoldersAndTheVolumesUnderComputer) {
  const QStringList entries = Entries();
  ASSERT_GE(entries.size(), 6);
  EXPECT_EQ(entries[0], "0 Desktop");
  const int computer = entries.indexOf("1 Computer");
  ASSERT_GT(computer, 0);
  // The volumes, in the mount table's order, right below Computer and one level deeper.
  const int root = IndexOfPath("/");
  const int volume = IndexOfPath(Volume);
  EXPECT_EQ(root, computer + 1);
  EXPECT_EQ(volume, computer + 2);
  EXPECT_EQ(Combo->Item(volume)->Indent, 2);
  EXPECT_TRUE(entries.contains("1 Home"));
  EXPECT_TRUE(entries.contains("1 Trash"));
  EXPECT_TRUE(entries.contains("1 On the desktop"));
  // Nothing chosen yet: Computer is shown.
  EXPECT_EQ(Combo->currentIndex(), computer);

  Combo->SetShowRecycleBin(false);
  EXPECT_FALSE(Entries().contains("1 Trash"));
  Combo->SetFileSystemOnly(true);
  EXPECT_TRUE(Entries().contains("1 Computer"));
}

TEST_F(ShellComboTest, AncestorsAreInsertedAndRemovedAsTheFolderChanges) {
  const int volume = IndexOfPath(Volume);
  const int fixed = Combo->count();
  Combo->SelectIDList(shell::TNavItemIdList::CreateFromPath(Volume + QStringLiteral("/clips/new")));
  QStringList entries = Entries();
  ASSERT_EQ(entries.size(), fixed + 2);
  EXPECT_EQ(entries[volume + 1], "3 clips*");
  EXPECT_EQ(entries[volume + 2], "4 new*");
  EXPECT_EQ(Combo->currentIndex(), volume + 2);
  EXPECT_EQ(Combo->GetPath(), Volume + QStringLiteral("/clips/new"));

  Combo->SelectIDList(shell::TNavItemIdList::CreateFromPath(Volume + QStringLiteral("/other")));
  entries = Entries();
  ASSERT_EQ(entries.size(), fixed + 1);
  EXPECT_EQ(entries[volume + 1], "3 other*");
  EXPECT_FALSE(entries.contains("3 clips*"));

  // A fixed entry: no inserted ones remain.
  Combo->SelectIDList(shell::TNavItemIdList::CreateFromPath(Volume));
  EXPECT_EQ(Combo->count(), fixed);
  EXPECT_EQ(Combo->currentIndex(), volume);
}

TEST_F(ShellComboTest, TypedPathsOpenOnEnter) {
  Combo->SetShowFullPath(true);
  struct Case {
    QString typed;
    QString shown;  // path of the chosen entry afterwards
  };
  const Case cases[] = {
      {'"' + Volume + "/clips\"", Volume + "/clips"},
      {"  " + Volume + "/other/ ", Volume + "/other"},
      {Volume + "/no such folder", Volume + "/other"},  // nothing changes
      {"Home", Home},                                     // a caption
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    Combo->setEditText(c.typed);
    Key(Qt::Key_Return);
    ASSERT_NE(Combo->CurrentItem(), nullptr);
    EXPECT_EQ(Combo->GetPath(), c.shown);
  }
  // With full paths shown, the edit field holds the path.
  Combo->SetPath(Volume + QStringLiteral("/clips/new"));
  EXPECT_EQ(Combo->currentText(), Volume + QStringLiteral("/clips/new"));

  QStringList errors;
  Combo->SetShowErrorMessages(true);
  Combo->OnError = [&](const QString& message) { errors << message; };
  Combo->SetPath(Volume + QStringLiteral("/no such folder"));
  EXPECT_EQ(errors.size(), 1);
}

TEST_F(ShellComboTest, PastingACopiedFilePutsItsPathInTheField) {
  const QString file = Volume + QStringLiteral("/clips/a clip.mkv");
  ASSERT_TRUE(testing_support::WriteText(file, "x"));
  auto* data = new QMimeData;
  data->setUrls({QUrl::fromLocalFile(file)});
  QApplication::clipboard()->setMimeData(data);
  Combo->setEditText(QStringLiteral("typed"));
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Combo->currentText(), file);
  QApplication::clipboard()->clear();
}

TEST_F(ShellComboTest, SelectAllSelectsTheWholeText) {
  Combo->setEditText(QStringLiteral("typed text"));
  Combo->lineEdit()->setCursorPosition(3);
  Combo->SelectAll();
  EXPECT_EQ(Combo->lineEdit()->selectedText(), QStringLiteral("typed text"));
}

TEST_F(ShellComboTest, ANarrowComboDropsDownWider) {
  Combo->resize(200, Combo->sizeHint().height());
  Combo->showPopup();
  EXPECT_GE(Combo->view()->minimumWidth(), 250);
  Combo->hidePopup();
  EXPECT_EQ(Combo->maxVisibleItems(), 24);
}

TEST_F(ShellComboTest, FollowsALinkedFileListBothWays) {
  shell::TNavShellLink link;
  shell::TNavShellList list;
  list.SetShellLink(&link);
  Combo->SetShellLink(&link);
  list.SetPath(Volume + QStringLiteral("/clips/new"));
  EXPECT_EQ(Combo->GetPath(), Volume + QStringLiteral("/clips/new"));
  Combo->setEditText(Volume + QStringLiteral("/other"));
  Key(Qt::Key_Return);
  EXPECT_EQ(list.Path(), Volume + QStringLiteral("/other/"));
  // Choosing an entry from the drop-down.
  const int volume = IndexOfPath(Volume);
  emit Combo->activated(volume);
  EXPECT_EQ(list.Path(), Volume + QStringLiteral("/"));
  Combo->SetShellLink(nullptr);
  list.SetShellLink(nullptr);
}

TEST_F(ShellComboTest, TheFieldCompletesPathsFromTheDiskAndCanBeSwitchedOff) {
  EXPECT_TRUE(Combo->Editable());
  auto completerOf = [this]() -> QCompleter* {
    return Combo->lineEdit() != nullptr ? Combo->lineEdit()->completer() : nullptr;
  };
  ASSERT_NE(completerOf(), nullptr);
  EXPECT_NE(qobject_cast<QFileSystemModel*>(completerOf()->model()), nullptr);
  // Typed as the user does; the disk is read in the background, and the folder is offered once
  // the model has it.
  QCompleter* completer = completerOf();
  const QString typed = Volume + QStringLiteral("/cl");
  Combo->lineEdit()->clear();
  for (const QChar c : typed) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(Combo->lineEdit(), &press);
  }
  ASSERT_EQ(Combo->lineEdit()->text(), typed);
  for (;;) {
    completer->setCompletionPrefix(typed);
    if (completer->completionCount() > 0) break;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  EXPECT_EQ(completer->completionCount(), 1);  // "clips", not "other"
  EXPECT_EQ(completer->currentCompletion(), Volume + QStringLiteral("/clips"));

  Combo->SetEditable(false);
  EXPECT_FALSE(Combo->Editable());
  EXPECT_EQ(Combo->lineEdit(), nullptr);
  Combo->SetPath(Volume + QStringLiteral("/other"));  // folders are still chosen in code
  EXPECT_EQ(Combo->GetPath(), Volume + QStringLiteral("/other"));
  Combo->SetEditable(true);
  ASSERT_NE(completerOf(), nullptr);
  EXPECT_NE(qobject_cast<QFileSystemModel*>(completerOf()->model()), nullptr);
}

TEST_F(ShellComboTest, NoFillOnStartupLeavesItEmptyUntilAFolderIsSet) {
  TNavShellCombo lazy;
  lazy.SetNoFillOnStartup(true);
  lazy.show();
  EXPECT_EQ(lazy.count(), 0);
  lazy.SetShowHidden(true);  // a display switch does not fill it either
  EXPECT_EQ(lazy.count(), 0);
  lazy.SetPath(Volume + QStringLiteral("/clips"));
  EXPECT_GT(lazy.count(), 3);
  EXPECT_EQ(lazy.GetPath(), Volume + QStringLiteral("/clips"));
  lazy.SetShowHidden(false);  // filled now: the switch refills, keeping the folder
  EXPECT_EQ(lazy.GetPath(), Volume + QStringLiteral("/clips"));

  TNavShellCombo eager;  // the default: listed when shown
  EXPECT_EQ(eager.count(), 0);
  eager.show();
  EXPECT_GT(eager.count(), 3);
}

TEST_F(ShellComboTest, LeavingTheFieldSelectsTheEntryTyped) {
  shell::TNavShellLink link;
  shell::TNavShellList list;
  list.SetShellLink(&link);
  Combo->SetShellLink(&link);
  auto leave = [this] {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(Combo->lineEdit(), &out);
  };
  struct TCase {
    QString Typed;
    QString Chosen;
  };
  const TCase cases[] = {
      {Volume, Volume},                           // an entry's path
      {QStringLiteral("home"), Home},             // a caption, in any case
      {QStringLiteral("nothing like it"), Home},  // no entry: nothing changes
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Typed.toStdString());
    Combo->setEditText(c.Typed);
    leave();
    EXPECT_EQ(Combo->GetPath(), c.Chosen);
    EXPECT_EQ(list.Path(), c.Chosen + QLatin1Char('/'));  // the linked list follows
  }
  Combo->SetShellLink(nullptr);
  list.SetShellLink(nullptr);
}

TEST_F(ShellComboTest, IconsAreLookedUpOnThePoolAndShownWhenReady) {
  using shell::TNavSystemImageList;
  const int volume = IndexOfPath(Volume);
  const int computer = Entries().indexOf("1 Computer");
  ASSERT_GT(volume, 0);
  const int folderIcon = TNavSystemImageList::GetFolderIconIndex();
  const int driveIcon = TNavSystemImageList::GetIconIndex(Combo->Item(volume)->IdList, false, false);
  const int computerIcon = TNavSystemImageList::GetIconIndex(Combo->Item(computer)->IdList, false, false);
  ASSERT_NE(driveIcon, folderIcon);
  // Until this thread hands the pool's answers out, the entries show the folder icon; the
  // desktop's own is known at once.
  EXPECT_EQ(ImageIndex(volume), folderIcon);
  EXPECT_EQ(ImageIndex(computer), folderIcon);
  EXPECT_EQ(ImageIndex(0), TNavSystemImageList::GetIconIndex(Combo->Item(0)->IdList, false, false));
  while (ImageIndex(volume) != driveIcon || ImageIndex(computer) != computerIcon)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_FALSE(Combo->itemIcon(volume).isNull());

  // Inserted ancestors get theirs the same way; entries removed before their answer came take
  // nothing with them.
  Combo->SelectIDList(shell::TNavItemIdList::CreateFromPath(Volume + QStringLiteral("/clips/new")));
  Combo->SelectIDList(shell::TNavItemIdList::CreateFromPath(Volume + QStringLiteral("/other")));
  const int other = IndexOfPath(Volume + QStringLiteral("/other"));
  ASSERT_GT(other, 0);
  while (shell::GlobalThreadPool().OutstandingCount() > 0)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QCoreApplication::processEvents();
  EXPECT_EQ(ImageIndex(other), TNavSystemImageList::GetIconIndex(Combo->Item(other)->IdList, false, false));
  EXPECT_EQ(ImageIndex(volume), driveIcon);
}

TEST_F(ShellComboTest, DisplaySwitchesChooseWhichFoldersAreListed) {
  const QString share = Root + QStringLiteral("/net");
  struct TCase {
    const char* Name;
    std::function<void(bool)> Set;
    QString Path;
    bool ShownByDefault;
  };
  QDir().mkpath(Home + QStringLiteral("/Desktop/.hidden folder"));
  const TCase cases[] = {
      {"ShowNethood", [this](bool v) { Combo->SetShowNethood(v); }, share, true},
      {"ShowHidden", [this](bool v) { Combo->SetShowHidden(v); }, Home + QStringLiteral("/Desktop/.hidden folder"), false},
      {"ShowRecycleBin", [this](bool v) { Combo->SetShowRecycleBin(v); }, QString(), true},
  };
  auto trash = [this] { return Entries().contains("1 Trash"); };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto listed = [&] { return c.Path.isEmpty() ? trash() : IndexOfPath(c.Path) >= 0; };
    EXPECT_EQ(listed(), c.ShownByDefault);
    c.Set(!c.ShownByDefault);
    EXPECT_EQ(listed(), !c.ShownByDefault);
    c.Set(c.ShownByDefault);
    EXPECT_EQ(listed(), c.ShownByDefault);
  }
  EXPECT_TRUE(Combo->ShowNethood());
  EXPECT_FALSE(Combo->ShowContextMenuOnTop());
  EXPECT_FALSE(Combo->ColorCompressed());
  EXPECT_FALSE(Combo->ColorEncrypted());
  // A local volume stays when network shares are left out.
  Combo->SetShowNethood(false);
  EXPECT_GE(IndexOfPath(Volume), 0);
  EXPECT_LT(IndexOfPath(share), 0);
}

TEST_F(ShellComboTest, CompressedFoldersAreBlueWhenAsked) {
  const QString packed = Volume + QStringLiteral("/other");
  if (!testing_support::SetCompressedFlag(packed)) GTEST_SKIP() << "this file system keeps no compression flag";
  auto colorOf = [this](const QString& path) {
    Combo->SetPath(path);
    return Combo->itemData(Combo->currentIndex(), Qt::ForegroundRole).value<QColor>();
  };
  EXPECT_FALSE(colorOf(packed).isValid());
  Combo->SetColorEncrypted(true);
  EXPECT_FALSE(colorOf(packed).isValid());
  Combo->SetColorCompressed(true);
  EXPECT_EQ(colorOf(packed), QColor(0, 0, 255));
  EXPECT_FALSE(colorOf(Volume + QStringLiteral("/clips")).isValid());
}

TEST_F(ShellComboTest, TheFontIsTheSystemsOrTheParents) {
  QWidget parent;
  QFont big = parent.font();
  big.setPointSize(31);
  parent.setFont(big);
  auto* combo = new TNavShellCombo(&parent);  // owned by parent
  EXPECT_TRUE(combo->UseSystemFont());
  EXPECT_FALSE(combo->ParentFont());
  EXPECT_EQ(combo->font().pointSize(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSize());
  EXPECT_NE(combo->font().pointSize(), 31);

  combo->SetParentFont(true);
  EXPECT_FALSE(combo->UseSystemFont());
  EXPECT_EQ(combo->font().pointSize(), 31);
  big.setPointSize(27);  // followed as the parent's changes
  parent.setFont(big);
  EXPECT_EQ(combo->font().pointSize(), 27);

  combo->SetParentFont(false);  // kept from now on
  big.setPointSize(19);
  parent.setFont(big);
  EXPECT_EQ(combo->font().pointSize(), 27);

  combo->SetUseSystemFont(true);
  EXPECT_FALSE(combo->ParentFont());
  EXPECT_EQ(combo->font().pointSize(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSize());
}

TEST_F(ShellComboTest, TheContextMenuCanPutTheShellsEntriesOnTop) {
  QStringList shown;
  shell::TShellBrowser::SetContextMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* action : menu.actions()) shown << action->data().toString();
    return nullptr;
  });
  Combo->SetPath(Volume + QStringLiteral("/clips"));
  Combo->SetShowContextMenuOnTop(true);
  EXPECT_TRUE(Combo->ShowContextMenuOnTop());
  EXPECT_EQ(Combo->GetPath(), Volume + QStringLiteral("/clips"));  // refilled, the folder kept
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), Combo->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(Combo.get(), &event);
  shell::TShellBrowser::SetContextMenuRunner({});
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_EQ(shown.first(), QStringLiteral("open"));
}

TEST_F(ShellComboTest, AFolderCanBeRefusedBeforeItIsListed) {
  QStringList asked;
  Combo->OnAddFolder = [&](TNavShellCombo&, const shell::TNavComboItem& item, bool& canAdd) {
    asked << item.Path(QString());
    canAdd = item.Path(QString()) != Volume;
  };
  Combo->Fill();
  EXPECT_TRUE(asked.contains(Volume));
  EXPECT_LT(IndexOfPath(Volume), 0);
  EXPECT_GE(IndexOfPath(QStringLiteral("/")), 0);
  EXPECT_EQ(Combo->Version(), QStringLiteral("TNavShellCombo V9.0.3.694"));
}

TEST_F(ShellComboTest, AVolumeComingOrGoingRefillsTheList) {
  auto* notifier = Combo->findChild<shell::TNavShellChangeNotifier*>();
  ASSERT_NE(notifier, nullptr);
  const QString stick = Root + QStringLiteral("/stick");
  QDir().mkpath(stick);
  Combo->SetPath(Volume + QStringLiteral("/clips"));
  testing_support::WriteText(MountTable, "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 " + Volume.toUtf8() +
                                             " vfat rw 0 0\n/dev/sdc1 " + stick.toUtf8() + " vfat rw 0 0\n");
  notifier->CheckMounts();
  EXPECT_GE(IndexOfPath(stick), 0);
  EXPECT_EQ(Combo->GetPath(), Volume + QStringLiteral("/clips"));  // the folder shown stays
  // Without automatic refresh the list stays as it is.
  Combo->SetAutomaticRefresh(false);
  EXPECT_FALSE(Combo->AutomaticRefresh());
  testing_support::WriteText(MountTable, "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 " + Volume.toUtf8() + " vfat rw 0 0\n");
  notifier->CheckMounts();
  EXPECT_GE(IndexOfPath(stick), 0);
}

}  // namespace
