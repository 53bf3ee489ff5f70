#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
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

}  // namespace
