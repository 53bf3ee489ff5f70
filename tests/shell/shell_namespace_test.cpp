#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <cerrno>

#include "fake_home.h"
#include "shell/mounts.h"
#include "shell/nav_item_id_list.h"
#include "shell/xdg_dirs.h"

namespace {

using shell::INavItemIdList;
using shell::TNavItemIdList;
using shell::TNavSegmentKind;
using shell::TNavShellFolder;
using F = shell::TNavShellFolder;

struct TMaskCase {
  const char* Name;
  const char* Mask;
  bool Matches;
};

TEST(NavMaskTest, MasksMatchLikeTheDesktopShell) {
  const TMaskCase cases[] = {
      {"a.mkv", "*.MKV", true},           // masks ignore case: the media mask is upper case
      {"CLIP.Mp4", "*.mkv;*.mp4", true},  // a list of masks
      {"clip.avi", "*.mkv;*.mp4", false},
      {"readme", "*.", true},  // "*." is "no extension"
      {"read.me", "*.", false},
      {"a.b", "*.*", true},  // "*.*" is everything, dotted or not
      {"readme", "*.*", true},
      {"a.b.c", "*.*", true},
      {"anything", "*", true},
      {"file1.txt", "file?.txt", true},
      {"file10.txt", "file?.txt", false},
      {"archive.tar.gz", "*.gz", true},
      {"gz", "*.gz", false},
      {"x", "", false},
  };
  for (const TMaskCase& c : cases)
    EXPECT_EQ(shell::NavMaskMatches(QString::fromUtf8(c.Name), QString::fromUtf8(c.Mask)), c.Matches)
        << c.Name << " against " << c.Mask;
}

TEST(NavRoutinesTest, SmallRoutines) {
  EXPECT_EQ(shell::NavParentFolder(QStringLiteral("/a/b/")), QStringLiteral("/a"));
  EXPECT_EQ(shell::NavParentFolder(QStringLiteral("/a")), QStringLiteral("/"));
  EXPECT_EQ(shell::NavParentFolder(QStringLiteral("name")), QString());
  EXPECT_TRUE(shell::NavIsDotEntry(QStringLiteral("..")));
  EXPECT_FALSE(shell::NavIsDotEntry(QStringLiteral("...")));
  EXPECT_EQ(shell::NavPosEx(QStringLiteral("b"), QStringLiteral("abcb"), 1), 2);
  EXPECT_EQ(shell::NavPosEx(QStringLiteral("b"), QStringLiteral("abcb"), 3), 4);
  EXPECT_EQ(shell::NavPosEx(QStringLiteral("x"), QStringLiteral("abcb"), 1), 0);
  EXPECT_EQ(shell::NavInFolderText(), QStringLiteral("In Folder"));
  EXPECT_EQ(shell::NavNewFolderText(), QStringLiteral("New Folder"));
}

class NamespaceTest : public testing_support::FakeHomeTest {};

TEST_F(NamespaceTest, UserDirsFollowTheFileAndSwitchOffAtHome) {
  EXPECT_EQ(shell::TXdgDirs::Home(), Home);
  EXPECT_EQ(shell::TXdgDirs::UserDir(QStringLiteral("DESKTOP")), Home + QStringLiteral("/Desktop"));
  EXPECT_EQ(shell::TXdgDirs::UserDir(QStringLiteral("VIDEOS")), Videos);
  EXPECT_EQ(shell::TXdgDirs::UserDir(QStringLiteral("DOCUMENTS")), QString());  // set to $HOME
  EXPECT_EQ(shell::TXdgDirs::UserDir(QStringLiteral("PICTURES")), QString());   // missing
  EXPECT_EQ(shell::TXdgDirs::ConfigHome(), Home + QStringLiteral("/.config"));
}

TEST_F(NamespaceTest, EmptyPathIsComputer) {
  const INavItemIdList computer = TNavItemIdList::CreateFromPath(QString());
  ASSERT_TRUE(computer);
  EXPECT_FALSE(computer->IsEmpty());
  EXPECT_EQ(computer->GetCount(), 1);
  EXPECT_EQ(computer->GetPath(), QString());
  EXPECT_EQ(computer->GetDisplayName(), QStringLiteral("Computer"));
  EXPECT_EQ(computer->GetSpecialFolder(), F::SF_DRIVES);
  EXPECT_TRUE(computer->IsEqual(shell::GetSpecialFolderItemIdList(F::SF_DRIVES)));
}

TEST_F(NamespaceTest, APathBecomesComputerVolumeAndEntries) {
  QDir().mkpath(Volume + QStringLiteral("/a/b"));
  const INavItemIdList list = TNavItemIdList::CreateFromPath(Volume + QStringLiteral("/a/b/"));
  ASSERT_TRUE(list);
  const auto& items = list->GetIdList();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].Kind, TNavSegmentKind::Virtual);
  EXPECT_EQ(items[1].Kind, TNavSegmentKind::Volume);
  EXPECT_EQ(items[1].Name, Volume);  // the longest mount prefix, not "/"
  EXPECT_EQ(items[2].Name, QStringLiteral("a"));
  EXPECT_EQ(items[3].Name, QStringLiteral("b"));
  EXPECT_EQ(list->GetPath(), Volume + QStringLiteral("/a/b"));
  EXPECT_EQ(list->GetDisplayName(), QStringLiteral("b"));

  // A folder whose name only starts like the volume's lies on the root volume.
  const INavItemIdList other = TNavItemIdList::CreateFromPath(Root + QStringLiteral("/vol2"));
  ASSERT_TRUE(other);
  EXPECT_EQ(other->GetIdList()[1].Name, QStringLiteral("/"));

  const INavItemIdList root = TNavItemIdList::CreateFromPath(QStringLiteral("/"));
  ASSERT_TRUE(root);
  EXPECT_EQ(root->GetCount(), 2);
  EXPECT_EQ(root->GetPath(), QStringLiteral("/"));
  EXPECT_EQ(root->GetDisplayName(), QStringLiteral("File System"));
}

TEST_F(NamespaceTest, AncestorsLastItemAndCombine) {
  QDir().mkpath(Volume + QStringLiteral("/a/b"));
  const INavItemIdList list = TNavItemIdList::CreateFromPath(Volume + QStringLiteral("/a/b"));
  ASSERT_TRUE(list);
  const INavItemIdList desktop = list->GetAncestor(0);
  EXPECT_EQ(desktop->GetCount(), 0);
  EXPECT_FALSE(desktop->IsEmpty());
  EXPECT_EQ(desktop->GetSpecialFolder(), F::SF_DESKTOP);
  EXPECT_EQ(desktop->GetDisplayName(), QStringLiteral("Desktop"));
  EXPECT_EQ(list->GetAncestor(2)->GetPath(), Volume);
  EXPECT_EQ(list->GetAncestor(3)->GetPath(), Volume + QStringLiteral("/a"));
  const INavItemIdList copy = list->GetAncestor(99);
  EXPECT_NE(copy.get(), list.get());
  EXPECT_TRUE(copy->IsEqual(list));
  const INavItemIdList last = list->GetLastItem();
  EXPECT_EQ(last->GetCount(), 1);
  EXPECT_EQ(last->GetIdList()[0].Name, QStringLiteral("b"));
  EXPECT_TRUE(list->GetAncestor(3)->Combine(last)->IsEqual(list));
  EXPECT_EQ(list->Combine(nullptr).get(), list.get());
}

TEST_F(NamespaceTest, EqualityNeedsTheSameCount) {
  const INavItemIdList home = shell::GetSpecialFolderItemIdList(F::SF_PROFILE);
  const INavItemIdList byPath = TNavItemIdList::CreateFromPath(Home);
  ASSERT_TRUE(home);
  ASSERT_TRUE(byPath);
  EXPECT_EQ(home->GetPath(), Home);
  EXPECT_EQ(home->Compare(byPath), 0);     // the same folder...
  EXPECT_FALSE(home->IsEqual(byPath));     // ...reached by a different number of steps
  EXPECT_EQ(byPath->GetSpecialFolder(), F::SF_PROFILE);
  EXPECT_EQ(home->Compare(nullptr), -1);
  EXPECT_FALSE(home->IsEqual(nullptr));
  // Paths compare case-sensitively: two folders that differ in case are two folders.
  QDir().mkpath(Home + QStringLiteral("/clips"));
  QDir().mkpath(Home + QStringLiteral("/Clips"));
  EXPECT_NE(TNavItemIdList::CreateFromPath(Home + QStringLiteral("/clips"))
                ->Compare(TNavItemIdList::CreateFromPath(Home + QStringLiteral("/Clips"))),
            0);
}

TEST_F(NamespaceTest, SpecialFolderTable) {
  struct TCase {
    TNavShellFolder Folder;
    QString Path;  // "" for places without a path; "-" for folders that have no list here
  };
  const TCase cases[] = {
      {F::SF_DESKTOPDIRECTORY, Home + QStringLiteral("/Desktop")},
      {F::SF_PROFILE, Home},
      {F::SF_MY_MUSIC, Home + QStringLiteral("/Music")},
      {F::SF_MY_VIDEOS, Videos},
      {F::SF_APPDATA, Home + QStringLiteral("/.config")},
      {F::SF_LOCAL_APPDATA, Home + QStringLiteral("/.local/share")},
      {F::SF_INTERNET_CACHE, Home + QStringLiteral("/.cache")},
      {F::SF_DRIVES, QString()},
      {F::SF_BITBUCKET, QString()},
      {F::SF_PERSONAL, QStringLiteral("-")},     // Documents is switched off
      {F::SF_MYPICTURES, QStringLiteral("-")},   // not in user-dirs.dirs
      {F::SF_CONTROLS, QStringLiteral("-")},     // no such place here
      {F::SF_NETWORK, QStringLiteral("-")},
      {F::SF_FONTS, QStringLiteral("-")},        // ~/.local/share/fonts does not exist
      {F::SF_FILESYSTEMFOLDER, QStringLiteral("null")},
      {F::SF_INVALID, QStringLiteral("-")},
  };
  for (const TCase& c : cases) {
    const INavItemIdList list = shell::GetSpecialFolderItemIdList(c.Folder);
    SCOPED_TRACE(static_cast<int>(c.Folder));
    if (c.Path == QLatin1String("-")) {
      EXPECT_FALSE(list);
    } else if (c.Path == QLatin1String("null")) {
      ASSERT_TRUE(list);
      EXPECT_TRUE(list->IsEmpty());
    } else {
      ASSERT_TRUE(list);
      EXPECT_EQ(list->GetPath(), c.Path);
      EXPECT_EQ(list->GetSpecialFolder(), c.Folder);
      EXPECT_TRUE(list->IsSpecialFolder(c.Folder));
    }
  }
  // A folder that is no special folder, and the no-object list.
  EXPECT_EQ(TNavItemIdList::CreateFromPath(Volume)->GetSpecialFolder(), F::SF_FILESYSTEMFOLDER);
  EXPECT_EQ(TNavItemIdList::CreateNull()->GetSpecialFolder(), F::SF_INVALID);
  // The cache follows a change of home.
  QDir().mkpath(Home + QStringLiteral("/.local/share/fonts"));
  qputenv("XDG_DATA_HOME", (Home + QStringLiteral("/.local/share")).toUtf8());
  EXPECT_TRUE(shell::GetSpecialFolderItemIdList(F::SF_FONTS, false));
}

TEST_F(NamespaceTest, MissingPathGivesNoListAndRelativePathsNeedAFolder) {
  errno = 0;
  EXPECT_FALSE(TNavItemIdList::CreateFromPath(Home + QStringLiteral("/nowhere")));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(TNavItemIdList::CreateFromPath(QStringLiteral("Music")));
  const INavItemIdList music =
      TNavItemIdList::CreateFromPath(QStringLiteral("Music"), TNavItemIdList::CreateFromPath(Home));
  ASSERT_TRUE(music);
  EXPECT_EQ(music->GetPath(), Home + QStringLiteral("/Music"));
  EXPECT_EQ(TNavItemIdList::CreateFromPath(QStringLiteral("~/Music"))->GetPath(), Home + QStringLiteral("/Music"));
}

TEST_F(NamespaceTest, PathsNeverFollowLinksButLinkTargetDoes) {
  QDir().mkpath(Volume + QStringLiteral("/target"));
  ASSERT_TRUE(QFile::link(Volume + QStringLiteral("/target"), Home + QStringLiteral("/shortcut")));
  const INavItemIdList link = TNavItemIdList::CreateFromPath(Home + QStringLiteral("/shortcut"));
  ASSERT_TRUE(link);
  EXPECT_EQ(link->GetPath(), Home + QStringLiteral("/shortcut"));
  EXPECT_EQ(link->GetLinkTarget()->GetPath(), Volume + QStringLiteral("/target"));
  const INavItemIdList plain = TNavItemIdList::CreateFromPath(Volume);
  EXPECT_EQ(plain->GetLinkTarget().get(), plain.get());
}

TEST_F(NamespaceTest, TrashAndDesktopEntries) {
  const INavItemIdList trash = shell::GetSpecialFolderItemIdList(F::SF_BITBUCKET);
  ASSERT_TRUE(trash);
  EXPECT_EQ(trash->GetDisplayName(), QStringLiteral("Trash"));
  const INavItemIdList item = trash->Combine(TNavItemIdList::Create({{TNavSegmentKind::TrashEntry, QStringLiteral("x.mkv")}}));
  EXPECT_EQ(item->GetPath(), Home + QStringLiteral("/.local/share/Trash/files/x.mkv"));
  const INavItemIdList onDesktop = TNavItemIdList::Create({{TNavSegmentKind::Entry, QStringLiteral("clip.mp4")}});
  EXPECT_EQ(onDesktop->GetPath(), Home + QStringLiteral("/Desktop/clip.mp4"));
  EXPECT_EQ(shell::GetSpecialFolderItemIdList(F::SF_DESKTOP)->GetPath(), Home + QStringLiteral("/Desktop"));
}

TEST_F(NamespaceTest, MountTable) {
  EXPECT_EQ(shell::TMounts::ForPath(Volume + QStringLiteral("/x/y")).Root, Volume);
  EXPECT_EQ(shell::TMounts::ForPath(Root + QStringLiteral("/vol2/x")).Root, QStringLiteral("/"));
  EXPECT_TRUE(shell::TMounts::IsMountRoot(Volume));
  EXPECT_FALSE(shell::TMounts::IsMountRoot(Volume + QStringLiteral("/x")));
  EXPECT_TRUE(shell::TMounts::IsRemote(Root + QStringLiteral("/net/share")));
  EXPECT_FALSE(shell::TMounts::IsRemote(Volume));
  QStringList roots;
  for (const shell::TMountEntry& v : shell::TMounts::Volumes()) roots << v.Root;
  EXPECT_EQ(roots, QStringList({QStringLiteral("/"), Volume, Root + QStringLiteral("/net")}));  // no /proc
}

TEST_F(NamespaceTest, MountPointsWithSpacesAreUnescaped) {
  QDir().mkpath(Root + QStringLiteral("/my disk"));
  testing_support::WriteText(MountTable, "/dev/sda1 / ext4 rw 0 0\n"
                                         "36 25 8:17 / " + Root.toUtf8() + "/my\\040disk rw,relatime shared:1 - ext4 /dev/sdb1 rw\n");
  EXPECT_EQ(shell::TMounts::ForPath(Root + QStringLiteral("/my disk/f")).Root, Root + QStringLiteral("/my disk"));
}

}  // namespace
