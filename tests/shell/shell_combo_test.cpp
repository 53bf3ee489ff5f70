#include "shell/nav_shell_combo.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QDir>
#include <QFileSystemModel>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <memory>

#include "fake_home.h"
#include "shell/nav_shell_list.h"
#include "shell/thread_pool.h"

namespace {

using shell::TNavShellCombo;
using shell::TNavShellFolder;

class ShellComboTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    testing_support::ShellApp();
    FakeHomeTest::SetUp();
    QDir().mkpath(Home + QStringLiteral("/Desktop/On the desktop"));
    QDir().mkpath(Volume + QStringLiteral("/clips/new"));
    QDir().mkpath(Volume + QStringLiteral("/other"));
    Combo = std::make_unique<TNavShellCombo>();
    Combo->show();  // lists the tree
  }
  void TearDown() override {
    Combo.reset();
    shell::ShutdownGlobalThreadPool();
    FakeHomeTest::TearDown();
  }
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

}  // namespace
