#include <gtest/gtest.h>

#include <QApplication>
#include <QCompleter>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>

#include "fake_home.h"
#include "shell/nav_item_id_list.h"
#include "shell/nav_path_list.h"
#include "shell/shell_data.h"

namespace {

using shell::INavItemIdList;
using shell::TNavItemIdList;

TEST(FileListDataTest, UriListKeepsLocalFilesOnly) {
  QMimeData data;
  data.setData(QStringLiteral("text/uri-list"),
               "# dragged from a browser\r\n"
               "file:///tmp/a.mkv\r\n"
               "http://example.com/b.mkv\r\n"
               "file:///tmp/my%20clip.mp4\r\n");
  EXPECT_EQ(shell::GetFilesFromDataObject(&data),
            QStringList({QStringLiteral("/tmp/a.mkv"), QStringLiteral("/tmp/my clip.mp4")}));
  EXPECT_TRUE(shell::GetFilesFromDataObject(nullptr).isEmpty());
  QMimeData text;
  text.setText(QStringLiteral("/tmp/a.mkv"));
  EXPECT_TRUE(shell::GetFilesFromDataObject(&text).isEmpty());
}

TEST(FileListDataTest, RoundTripKeepsSpacesUnicodeAndPercent) {
  const QStringList paths = {QStringLiteral("/t/a b.mkv"), QString::fromUtf8("/t/ñandú 🎬.mp4"),
                             QStringLiteral("/t/100%.avi"), QStringLiteral("/t/%20literal.webm")};
  const auto data = shell::GetDropFiles(paths);
  EXPECT_EQ(shell::GetFilesFromDataObject(data.get()), paths);
  const QByteArray uris = data->data(QStringLiteral("text/uri-list"));
  EXPECT_TRUE(uris.endsWith("\r\n"));
  EXPECT_EQ(uris.count("\r\n"), 4);
  EXPECT_TRUE(uris.contains("100%25.avi"));
  EXPECT_TRUE(data->data(QStringLiteral("x-special/gnome-copied-files")).startsWith("copy\nfile:///t/a%20b.mkv"));
  EXPECT_FALSE(shell::IsCutData(data.get()));
  EXPECT_TRUE(shell::IsCutData(shell::GetDropFiles(paths, true).get()));
  // The copied-files marker alone is read too.
  QMimeData gnome;
  gnome.setData(QStringLiteral("x-special/gnome-copied-files"), "cut\nfile:///t/a%20b.mkv\nfile:///t/c.mkv");
  EXPECT_EQ(shell::GetFilesFromDataObject(&gnome), QStringList({QStringLiteral("/t/a b.mkv"), QStringLiteral("/t/c.mkv")}));
  EXPECT_TRUE(shell::IsCutData(&gnome));
}

TEST(FileListDataTest, NamesWithLineBreaksAreRefused) {
  // One path per line is how file lists are stored: a name with a line break would become two.
  const auto data = shell::GetDropFiles({QStringLiteral("/t/a\nb.mkv"), QStringLiteral("/t/ok.mkv")});
  EXPECT_EQ(shell::GetFilesFromDataObject(data.get()), QStringList({QStringLiteral("/t/ok.mkv")}));
}

TEST(PathListTest, SortedUniqueCaseSensitiveWithoutTrailingSlash) {
  shell::TNavPathList list;
  QStringList inserted;
  list.OnPathInserted = [&](const QString& path, int) { inserted << path; };
  EXPECT_EQ(list.Add(QStringLiteral("/")), 0);
  EXPECT_GE(list.Add(QStringLiteral("/media/a/")), 0);
  EXPECT_EQ(list.Add(QStringLiteral("/media/a")), -1);  // the same path
  EXPECT_GE(list.Add(QStringLiteral("/media/A")), 0);   // a different file
  EXPECT_EQ(list.Add(QString()), -1);
  EXPECT_EQ(list.Strings(), QStringList({QStringLiteral("/"), QStringLiteral("/media/A"), QStringLiteral("/media/a")}));
  EXPECT_EQ(inserted.size(), 3);
  EXPECT_EQ(list.DelimitedText(), QStringLiteral("/;/media/A;/media/a"));
  QStringList removed;
  list.OnPathRemoving = [&](const QString& path, int) { removed << path; };
  list.Delete(list.IndexOf(QStringLiteral("/media/a/")));
  EXPECT_EQ(removed, QStringList({QStringLiteral("/media/a")}));
}

TEST(PathListTest, IsBelowAndSamePathOnComponentBoundaries) {
  struct TCase {
    const char* Folder;
    const char* Path;
    bool Below;
  };
  const TCase cases[] = {{"/a", "/a/b", true},  {"/a/", "/a/b", true},   {"/a", "/a", false},
                         {"/a", "/ab/c", false}, {"/a", "/A/b", false},  {"/", "/x", true},
                         {"", "/x", false}};
  for (const TCase& c : cases)
    EXPECT_EQ(shell::TNavPathList::IsBelow(QString::fromUtf8(c.Folder), QString::fromUtf8(c.Path)), c.Below)
        << c.Folder << " / " << c.Path;
  EXPECT_TRUE(shell::SamePath(QStringLiteral("/a/b/"), QStringLiteral("/a/b")));
  EXPECT_FALSE(shell::SamePath(QStringLiteral("/a/B"), QStringLiteral("/a/b")));
  EXPECT_TRUE(shell::HasExtension(QStringLiteral("/x/clip.MKV"), QStringLiteral("mkv")));
  EXPECT_TRUE(shell::HasExtension(QStringLiteral("/x/clip.mkv"), QStringLiteral(".mkv")));
  EXPECT_FALSE(shell::HasExtension(QStringLiteral("/x/clip.mkv.part"), QStringLiteral("mkv")));
  EXPECT_TRUE(shell::TNavPathList::IsServerName(QStringLiteral("//server")));
  EXPECT_FALSE(shell::TNavPathList::IsServerName(QStringLiteral("//server/share")));
  EXPECT_FALSE(shell::IsUncPath(QStringLiteral("/srv/share")));
}

TEST(HistoryTest, BackForwardAndAddDropsTheForwardEntries) {
  const INavItemIdList a = TNavItemIdList::CreateFromPath(QStringLiteral("/"));
  const INavItemIdList b = TNavItemIdList::CreateFromPath(QStringLiteral("/tmp"));
  const INavItemIdList c = TNavItemIdList::CreateFromPath(QStringLiteral("/usr"));
  shell::TPidlHistory history;
  EXPECT_FALSE(history.CanGo(-1));
  EXPECT_FALSE(history.Current());
  history.Add(a);
  EXPECT_EQ(history.Position(), 0);
  EXPECT_FALSE(history.CanGo(-1));
  history.Add(b);
  history.Add(TNavItemIdList::CreateFromPath(QStringLiteral("/tmp")));  // the current folder again
  history.Add(nullptr);
  history.Add(TNavItemIdList::CreateNull());
  EXPECT_EQ(history.Count(), 2);
  history.Back();
  EXPECT_TRUE(history.Current()->IsEqual(a));
  EXPECT_TRUE(history.CanGo(1));
  EXPECT_FALSE(history.CanGo(2));
  history.Forward();
  EXPECT_TRUE(history.Current()->IsEqual(b));
  history.Back(5);  // never before the first entry
  EXPECT_EQ(history.Position(), 0);
  history.Add(c);
  EXPECT_EQ(history.Count(), 2);  // b is gone
  EXPECT_TRUE(history.Current()->IsEqual(c));
  EXPECT_FALSE(history.CanGo(1));
  history.Forward(3);
  EXPECT_EQ(history.Position(), 1);
}

TEST(ShellTextTest, NaturalOrder) {
  struct TCase {
    const char* A;
    const char* B;
    int Order;
  };
  const TCase cases[] = {{"file2", "file10", -1}, {"file10", "file2", 1}, {"a", "B", -1},
                         {"clip 9.mkv", "clip 10.mkv", -1}, {"x01", "x1", -1}, {"same", "same", 0},
                         {"abc", "abcd", -1}};
  for (const TCase& c : cases)
    EXPECT_EQ(shell::CompareLogical(QString::fromUtf8(c.A), QString::fromUtf8(c.B)), c.Order) << c.A << " " << c.B;
}

TEST(ShellTextTest, SizesAsText) {
  EXPECT_EQ(shell::FormatSizeText(true, -1), QString());
  EXPECT_FALSE(shell::FormatSizeText(false, 1536).isEmpty());
  EXPECT_TRUE(shell::FormatSizeText(true, 1536).endsWith(QStringLiteral(" KB")));
}

class PathRoutinesTest : public testing_support::FakeHomeTest {};

TEST_F(PathRoutinesTest, MacrosExpandDateTimeHomeAndVariables) {
  const QDateTime now(QDate(2018, 10, 25), QTime(14, 5, 9));
  EXPECT_EQ(shell::ExpandPathMacros(QStringLiteral("%DATE%_%TIME%"), now), QStringLiteral("2018-10-25_14-05-09"));
  EXPECT_EQ(shell::ExpandPathMacros(QStringLiteral("out-%date%-%Date%"), now), QStringLiteral("out-2018-10-25-2018-10-25"));
  EXPECT_EQ(shell::ExpandPathMacros(QStringLiteral("~/x"), now), Home + QStringLiteral("/x"));
  EXPECT_EQ(shell::ExpandPathMacros(QStringLiteral("%HOME%/y"), now), Home + QStringLiteral("/y"));
  EXPECT_EQ(shell::ExpandPathMacros(QStringLiteral("$HOME/z"), now), Home + QStringLiteral("/z"));
  EXPECT_EQ(shell::ExpandPathMacros(QStringLiteral("%NO_SUCH_VARIABLE_HERE%"), now),
            QStringLiteral("%NO_SUCH_VARIABLE_HERE%"));
  EXPECT_EQ(shell::ExpandPathMacros(QStringLiteral("100%"), now), QStringLiteral("100%"));
  // Documents is switched off in this home: the macro gives nothing rather than a wrong folder.
  EXPECT_EQ(shell::ExpandPathMacros(QStringLiteral("%MYDOCUMENTS%"), now), QString());
}

TEST_F(PathRoutinesTest, FileSizesAndFolders) {
  EXPECT_EQ(shell::GetFileSize64(Home + QStringLiteral("/missing")), -1);
  testing_support::WriteText(Home + QStringLiteral("/five"), "12345");
  EXPECT_EQ(shell::GetFileSize64(Home + QStringLiteral("/five")), 5);
  try {
    shell::NavForceDirectories(QString());
    ADD_FAILURE() << "an empty path was accepted";
  } catch (const shell::EInvalidOperation& error) {
    EXPECT_STREQ(error.what(), "NavForceDirectories() cannot be called with an empty path.");
  }
  EXPECT_TRUE(shell::NavForceDirectories(Home + QStringLiteral("/x/y/z")));
  EXPECT_TRUE(QFileInfo(Home + QStringLiteral("/x/y/z")).isDir());
  EXPECT_TRUE(shell::IsDriveRoot(Volume));
  EXPECT_FALSE(shell::IsDriveRoot(Home));
  EXPECT_TRUE(shell::PathExists(Home));
  EXPECT_FALSE(shell::PathExists(Home + QStringLiteral("/missing")));
  EXPECT_TRUE(shell::IsNetworkPath(Root + QStringLiteral("/net/share")));
  EXPECT_FALSE(shell::IsNetworkPath(Home));
  EXPECT_EQ(shell::GetSpecialFolderPath(shell::TNavShellFolder::SF_MY_MUSIC), Home + QStringLiteral("/Music"));
  EXPECT_TRUE(shell::TNavPathList::AllOnSameDrive({Home, Home + QStringLiteral("/Music")}));
  EXPECT_FALSE(shell::TNavPathList::AllOnSameDrive({Home, Volume + QStringLiteral("/a")}));
}

TEST_F(PathRoutinesTest, LinksAndCompletion) {
  testing_support::ShellApp();
  testing_support::WriteText(Home + QStringLiteral("/real.mkv"), "x");
  QFile::link(Home + QStringLiteral("/real.mkv"), Home + QStringLiteral("/link.mkv"));
  EXPECT_EQ(shell::ResolveLinkTarget(Home + QStringLiteral("/link.mkv")), Home + QStringLiteral("/real.mkv"));
  EXPECT_EQ(shell::ResolveLinkTarget(Home + QStringLiteral("/real.mkv")), QString());
  QLineEdit edit;
  EXPECT_TRUE(shell::SetAutoComplete(&edit, true, false));
  QCompleter* const completer = edit.completer();
  EXPECT_NE(completer, nullptr);
  // On again: the same completer, with the folders its model has read and watches.
  EXPECT_TRUE(shell::SetAutoComplete(&edit, true, false));
  EXPECT_EQ(edit.completer(), completer);
  EXPECT_EQ(edit.findChildren<QFileSystemModel*>().size(), 1);
  EXPECT_TRUE(shell::SetAutoComplete(&edit, false, false));
  EXPECT_EQ(edit.completer(), nullptr);
}

TEST_F(PathRoutinesTest, APlainFieldOffersTheEntriesOfTheFolderBeingTyped) {
  testing_support::ShellApp();
  QDir().mkpath(Home + QStringLiteral("/clips/alpha"));
  testing_support::WriteText(Home + QStringLiteral("/clips/alps.mkv"), "x");
  testing_support::WriteText(Home + QStringLiteral("/clips/beta.mkv"), "x");
  QLineEdit edit;
  ASSERT_TRUE(shell::SetAutoComplete(&edit, true, false));
  ASSERT_TRUE(shell::SetAutoComplete(&edit, true, false));  // twice: still one completer at work
  QCompleter* completer = edit.completer();
  ASSERT_NE(completer, nullptr);
  // Typed as the user does; the folder is read in the background and offered once it is in.
  const QString typed = Home + QStringLiteral("/clips/al");
  for (const QChar c : typed) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(&edit, &press);
  }
  ASSERT_EQ(edit.text(), typed);
  QDeadlineTimer giveUp(30000);  // only a bound on a hang: the entries come as soon as read
  completer->setCompletionPrefix(typed);
  while (completer->completionCount() < 2 && !giveUp.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    completer->setCompletionPrefix(typed);
  }
  QStringList offered;
  for (int i = 0; completer->setCurrentRow(i); ++i) offered << completer->currentCompletion();
  offered.sort();
  EXPECT_EQ(offered,
            QStringList({Home + QStringLiteral("/clips/alpha"), Home + QStringLiteral("/clips/alps.mkv")}));
}

TEST_F(PathRoutinesTest, PathListCanRefuseMissingPathsAndNoticesNetworkOnes) {
  shell::TNavPathList list;
  list.SetCheckIfExists(true);
  EXPECT_EQ(list.Add(Home + QStringLiteral("/missing")), -1);
  EXPECT_GE(list.Add(Home), 0);
  EXPECT_FALSE(list.ContainsNetworkPath());
  list.SetCheckIfExists(false);
  list.Add(Root + QStringLiteral("/net/share"));
  EXPECT_TRUE(list.ContainsNetworkPath());
}

}  // namespace
