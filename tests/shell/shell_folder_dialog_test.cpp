#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QDialogButtonBox>
#include <QTimer>
#include <cerrno>
#include <functional>

#include "fake_home.h"
#include "shell/nav_browse_for_folder.h"

namespace {

using shell::TNavBrowseFlag;
using shell::TNavBrowseFlags;
using shell::TNavBrowseForFolder;

constexpr auto New = TNavBrowseFlag::bfNewDialogStyle;
constexpr auto Edit = TNavBrowseFlag::bfEditBox;
constexpr auto Computer = TNavBrowseFlag::bfBrowseForComputer;
constexpr auto FsOnly = TNavBrowseFlag::bfFileSystemOnly;

TEST(FolderDialogOptionsTest, TheNewStyleNeedsTheEditBox) {
  struct TCase {
    TNavBrowseFlags Before;
    TNavBrowseFlags Set;
    TNavBrowseFlags After;
  };
  const TCase cases[] = {
      {TNavBrowseFlags(), New, New | Edit},               // the edit box is added
      {New | Edit, New, TNavBrowseFlags()},               // taking the edit box away drops the new style
      {New | Edit, New | FsOnly, FsOnly},
      {TNavBrowseFlags(), Computer | New | Edit, Computer | Edit},  // computers only in the classic tree
      {TNavBrowseFlags(), Computer | New, Computer | Edit},
      {New | Edit, New | Edit | FsOnly, New | Edit | FsOnly},
      {New | Edit, FsOnly, FsOnly},
  };
  for (const TCase& c : cases) {
    TNavBrowseForFolder dialog;
    dialog.SetOptions(c.Before);
    // Before may itself have been adjusted; what matters is the edit box it ends with.
    dialog.SetOptions(c.Set);
    EXPECT_EQ(dialog.Options(), c.After) << int(c.Before) << " + " << int(c.Set);
  }
  TNavBrowseForFolder fresh;
  EXPECT_EQ(fresh.Options(), New | Edit);
  EXPECT_EQ(fresh.RootedAt(), shell::TNavShellFolder::SF_DESKTOP);
  EXPECT_EQ(fresh.DialogLeft(), -1);
  EXPECT_EQ(fresh.Version(), QStringLiteral("TNavBrowseForFolder V9.0.3.694"));
}

class FolderDialogTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    testing_support::ShellApp();
    FakeHomeTest::SetUp();
    TNavBrowseForFolder::SetLastPath(QString());
  }
  void TearDown() override {
    TNavBrowseForFolder::SetLastPath(QString());
    FakeHomeTest::TearDown();
  }

  // Acts on the folder dialog once it is shown (polled by a timer of the event loop that
  // exec() runs, so no timing is assumed).
  static void WhenShown(std::function<void(QFileDialog*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
      if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        timer->stop();
        timer->deleteLater();
        act(dialog);
      }
    });
    timer->start();
  }
};

TEST_F(FolderDialogTest, AcceptsAndTheNextDialogStartsThere) {
  const QString chosen = Home + QStringLiteral("/Music");
  QString startedIn;
  QString title;
  QString okText;
  bool dirsOnly = false;
  WhenShown([&](QFileDialog* dialog) {
    startedIn = dialog->directory().absolutePath();
    title = dialog->windowTitle();
    okText = dialog->labelText(QFileDialog::Accept);
    dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly) && dialog->fileMode() == QFileDialog::Directory;
    dialog->setDirectory(chosen);
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own accept() reads the selection
  });
  TNavBrowseForFolder first;
  first.SetTitle(QStringLiteral("Specify destination folder."));
  first.SetDialogButtonCaption(QStringLiteral("Use"));
  first.SetPath(Home);
  ASSERT_TRUE(first.Execute());
  EXPECT_EQ(startedIn, Home);
  EXPECT_EQ(title, QStringLiteral("Specify destination folder."));
  EXPECT_EQ(okText, QStringLiteral("Use"));
  EXPECT_TRUE(dirsOnly);
  EXPECT_EQ(first.Path(), chosen);
  EXPECT_EQ(first.SpecialFolder(), shell::TNavShellFolder::SF_MY_MUSIC);

  TNavBrowseForFolder second;
  EXPECT_EQ(second.Path(), chosen);
  WhenShown([&](QFileDialog* dialog) {
    startedIn = dialog->directory().absolutePath();
    dialog->reject();
  });
  errno = EIO;
  EXPECT_FALSE(second.Execute());
  EXPECT_EQ(startedIn, chosen);
  EXPECT_EQ(second.Path(), chosen);  // a cancel changes nothing...
  EXPECT_EQ(errno, 0);               // ...and is told apart from a failure
  EXPECT_EQ(second.SpecialFolder(), shell::TNavShellFolder::SF_INVALID);
}

TEST_F(FolderDialogTest, WindowTitleWinsAndAPlacedDialogStaysThere) {
  QString title;
  QPoint at;
  WhenShown([&](QFileDialog* dialog) {
    title = dialog->windowTitle();
    at = dialog->pos();
    dialog->reject();
  });
  TNavBrowseForFolder dialog;
  dialog.SetTitle(QStringLiteral("caption line"));
  dialog.SetWindowTitle(QStringLiteral("Pick"));
  dialog.SetDialogLeft(40);
  dialog.SetDialogTop(30);
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(title, QStringLiteral("Pick"));
  EXPECT_EQ(at, QPoint(40, 30));
}

TEST_F(FolderDialogTest, TheTreeStartsAtItsRootFolder) {
  // Rooted at a folder: the folder tree, which starts inside that folder.
  QString startedIn;
  WhenShown([&](QFileDialog* dialog) {
    startedIn = dialog->directory().absolutePath();
    dialog->reject();
  });
  TNavBrowseForFolder dialog;
  dialog.SetRootedAtFileSystemFolder(Volume);
  EXPECT_EQ(dialog.RootedAt(), shell::TNavShellFolder::SF_FILESYSTEMFOLDER);
  dialog.SetPath(Home);  // outside the root
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(startedIn, Volume);
}

QPushButton* OkButton(QFileDialog* dialog) {
  for (auto* box : dialog->findChildren<QDialogButtonBox*>())
    for (QAbstractButton* button : box->buttons())
      if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) return qobject_cast<QPushButton*>(button);
  return nullptr;
}

TEST_F(FolderDialogTest, TitleButtonAndPlaceFollowTheirPropertiesWhileOpen) {
  TNavBrowseForFolder component;
  component.SetWindowTitle(QStringLiteral("First"));
  component.SetDialogLeft(40);
  component.SetDialogTop(30);
  QString title, okText;
  QPoint movedTo;
  int leftWhileOpen = 0, topWhileOpen = 0;
  WhenShown([&](QFileDialog* dialog) {
    component.SetWindowTitle(QStringLiteral("Later"));
    component.SetDialogButtonCaption(QStringLiteral("Take"));
    component.SetDialogLeft(70);
    component.SetDialogTop(50);
    title = dialog->windowTitle();
    okText = OkButton(dialog) != nullptr ? OkButton(dialog)->text() : QString();
    movedTo = dialog->pos();
    dialog->move(90, 60);  // the user moves it
    leftWhileOpen = component.DialogLeft();
    topWhileOpen = component.DialogTop();
    dialog->reject();
  });
  EXPECT_FALSE(component.Execute());
  EXPECT_EQ(title, QStringLiteral("Later"));
  EXPECT_EQ(okText, QStringLiteral("Take"));
  EXPECT_EQ(movedTo, QPoint(70, 50));
  EXPECT_EQ(leftWhileOpen, 90);
  EXPECT_EQ(topWhileOpen, 60);
  EXPECT_EQ(component.DialogLeft(), 70);  // closed: the stored place again
  EXPECT_EQ(component.DialogTop(), 50);
}

// With bfFileSystemOnly, OK is off on a place without a path: the folder tree opened with no
// path, and Computer (above "/") in either dialog. The places are entered as the user does, by
// going up a level.
TEST_F(FolderDialogTest, FileSystemOnlyDisablesOkWhereThereIsNoPath) {
  struct TCase {
    const char* Name;
    TNavBrowseFlags Options;
    shell::TNavShellFolder RootedAt;
    bool OkAtStart;
    bool OkOnComputer;
  };
  const TCase cases[] = {
      {"tree", FsOnly | Edit, shell::TNavShellFolder::SF_DRIVES, false, false},
      {"tree without the flag", Edit, shell::TNavShellFolder::SF_DRIVES, true, true},
      {"modern", New | Edit | FsOnly, shell::TNavShellFolder::SF_DESKTOP, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TNavBrowseForFolder component;
    component.SetOptions(c.Options);
    component.SetRootedAt(c.RootedAt);
    QStringList changes;
    component.OnChange = [&](TNavBrowseForFolder& sender) { changes << sender.Path(); };
    bool okAtStart = false, okOnComputer = true, okInFolder = false;
    WhenShown([&](QFileDialog* dialog) {
      auto up = [dialog] { dialog->findChild<QAbstractButton*>(QStringLiteral("toParentButton"))->click(); };
      okAtStart = OkButton(dialog)->isEnabled();
      dialog->setDirectory(Home + QStringLiteral("/Music"));
      up();
      okInFolder = OkButton(dialog)->isEnabled();
      dialog->setDirectory(QStringLiteral("/"));
      up();
      okOnComputer = OkButton(dialog)->isEnabled();
      dialog->reject();
    });
    EXPECT_FALSE(component.Execute());
    EXPECT_EQ(okAtStart, c.OkAtStart);
    EXPECT_TRUE(okInFolder);
    EXPECT_EQ(okOnComputer, c.OkOnComputer);
    // The tree reports each place it moves to; the modern dialog only its result.
    if (c.RootedAt == shell::TNavShellFolder::SF_DRIVES) {
      EXPECT_EQ(changes, (QStringList{Home, QString()}));
    } else {
      EXPECT_TRUE(changes.isEmpty());
    }
  }
}

// With bfReturnInvalidPath a typed folder that does not exist is the answer; without it the
// dialog keeps asking.
TEST_F(FolderDialogTest, ReturnInvalidPathReturnsATypedFolderThatDoesNotExist) {
  const QString missing = Home + QStringLiteral("/not-made-yet");
  TNavBrowseForFolder component;
  component.SetOptions(New | Edit | TNavBrowseFlag::bfReturnInvalidPath);
  component.SetPath(Home);
  bool okForTyped = false;
  WhenShown([&](QFileDialog* dialog) {
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("not-made-yet"));
    okForTyped = OkButton(dialog)->isEnabled();
    if (okForTyped)
      OkButton(dialog)->click();
    else
      dialog->reject();
  });
  const bool chosen = component.Execute();
  EXPECT_TRUE(okForTyped);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(component.Path(), missing);
  EXPECT_EQ(component.SpecialFolder(), shell::TNavShellFolder::SF_INVALID);

  TNavBrowseForFolder strict;
  strict.SetPath(Home);
  bool okForMissing = true;
  WhenShown([&](QFileDialog* dialog) {
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("not-made-yet"));
    okForMissing = OkButton(dialog)->isEnabled();
    dialog->reject();
  });
  EXPECT_FALSE(strict.Execute());
  EXPECT_FALSE(okForMissing);
  EXPECT_FALSE(QFileInfo::exists(missing));
}

}  // namespace
