#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <set>
#include <thread>
#include <vector>

#include "fake_home.h"
#include "shell/nav_item_id_list.h"
#include "shell/nav_system_image_list.h"

namespace {

using shell::TNavImageListSize;
using shell::TNavSystemImageList;

class SystemImageListTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    testing_support::ShellApp();
    FakeHomeTest::SetUp();
  }
};

TEST_F(SystemImageListTest, ExtensionsWithAndWithoutDotAndFolders) {
  const int mp4 = TNavSystemImageList::GetIconIndexForExtension(QStringLiteral("mp4"), false, false);
  EXPECT_GE(mp4, 0);
  EXPECT_EQ(TNavSystemImageList::GetIconIndexForExtension(QStringLiteral(".mp4"), false, false), mp4);
  EXPECT_EQ(TNavSystemImageList::GetIconIndexForExtension(QStringLiteral("MP4"), true, false), mp4);
  EXPECT_EQ(TNavSystemImageList::GetIconIndexForName(QStringLiteral("/x/clip.mp4"), false, false), mp4);
  const int folder = TNavSystemImageList::GetFolderIconIndex();
  EXPECT_EQ(TNavSystemImageList::GetIconIndexForName(QStringLiteral("/x/clips/"), false, false), folder);
  EXPECT_NE(folder, mp4);
  EXPECT_NE(TNavSystemImageList::GetIconIndexForExtension(QStringLiteral("mp3"), false, false), folder);
  // A missing path is looked up by its name; an existing folder by what it is.
  EXPECT_EQ(TNavSystemImageList::GetIconIndexForPath(QStringLiteral("/no/such/clip.mp4"), false, false, false), -1);
  EXPECT_EQ(TNavSystemImageList::GetIconIndexForFile(QStringLiteral("/no/such/clip.mp4"), false, false), mp4);
  QDir().mkpath(Root + QStringLiteral("/plain"));
  EXPECT_EQ(TNavSystemImageList::GetIconIndexForFile(Root + QStringLiteral("/plain"), false, false), folder);
  EXPECT_NE(TNavSystemImageList::GetIconIndexForFile(Root + QStringLiteral("/plain"), false, true), folder);  // open
}

TEST_F(SystemImageListTest, PlacesHaveTheirOwnIcons) {
  using F = shell::TNavShellFolder;
  const int computer = TNavSystemImageList::GetIconIndex(shell::GetSpecialFolderItemIdList(F::SF_DRIVES), false, false);
  const int home = TNavSystemImageList::GetIconIndex(shell::GetSpecialFolderItemIdList(F::SF_PROFILE), false, false);
  const int trash = TNavSystemImageList::GetIconIndex(shell::GetSpecialFolderItemIdList(F::SF_BITBUCKET), false, false);
  const int music = TNavSystemImageList::GetIconIndex(shell::GetSpecialFolderItemIdList(F::SF_MY_MUSIC), false, false);
  const int folder = TNavSystemImageList::GetFolderIconIndex();
  EXPECT_EQ(std::set<int>({computer, home, trash, music, folder}).size(), 5u);
  EXPECT_EQ(TNavSystemImageList::GetIconIndex(nullptr, false, false), -1);
  EXPECT_EQ(TNavSystemImageList::GetIconIndex(shell::TNavItemIdList::CreateNull(), false, false), -1);
}

TEST_F(SystemImageListTest, IndexesStayStableUnderConcurrentLookups) {
  const QStringList extensions = {"mkv", "mp4", "webm", "avi", "mov", "mpg", "ts",  "wmv", "flv", "ogg",
                                  "mp3", "wav", "flac", "ac3", "png", "jpg", "txt", "pdf", "zip", "iso"};
  constexpr int kThreads = 8;
  std::vector<std::vector<int>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round)
        for (int i = 0; i < extensions.size(); ++i) {
          // Each thread walks the list from a different start.
          const int e = (i + t * 3) % static_cast<int>(extensions.size());
          const int index = TNavSystemImageList::GetIconIndexForExtension(extensions[e], false, false);
          if (round == 0) {
            if (seen[t].empty()) seen[t].assign(extensions.size(), -2);
            seen[t][e] = index;
          } else if (seen[t][e] != index) {
            seen[t][e] = -3;  // changed under our feet
          }
        }
    });
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < extensions.size(); ++i) {
    const int now = TNavSystemImageList::GetIconIndexForExtension(extensions[i], false, false);
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t][i], now) << extensions[i].toStdString();
  }
}

TEST_F(SystemImageListTest, SizesAndSharing) {
  TNavSystemImageList list;
  EXPECT_EQ(list.Version(), QStringLiteral("TNavSystemImageList V9.0.3.694"));
  EXPECT_TRUE(list.ShareImages());
  EXPECT_EQ(list.Size(), TNavImageListSize::si_small);
  const int sizes[] = {16, 32, 48, 256};
  for (int s = 0; s < 4; ++s) {
    list.SetSize(static_cast<TNavImageListSize>(s));
    EXPECT_EQ(list.Width(), sizes[s]);
    const QPixmap pixmap = list.Pixmap(TNavSystemImageList::GetFolderIconIndex());
    EXPECT_FALSE(pixmap.isNull());
    EXPECT_LE(pixmap.width(), sizes[s]);
  }
  // An unshared list is a copy: icons registered later are not in it; a shared one sees them.
  list.SetShareImages(false);
  const int copied = list.Count();
  const int fresh = TNavSystemImageList::GetIconIndexForExtension(QStringLiteral("qcow2"), false, false);
  if (fresh >= copied) {
    EXPECT_EQ(list.Count(), copied);
    EXPECT_TRUE(list.Icon(fresh).isNull());
    list.SetShareImages(true);
    EXPECT_GT(list.Count(), fresh);
    EXPECT_FALSE(list.Icon(fresh).isNull());
  }
}

TEST_F(SystemImageListTest, FileTypesLookDifferentFromPlainFiles) {
  // The desktop's theme is found even without a desktop session: a video does not get the
  // plain file's picture.
  TNavSystemImageList list;
  list.SetSize(TNavImageListSize::si_large);
  const QImage video = list.Pixmap(TNavSystemImageList::GetIconIndexForExtension(QStringLiteral("mp4"), false, false)).toImage();
  const QImage plain = list.Pixmap(0).toImage();
  const QImage folder = list.Pixmap(TNavSystemImageList::GetFolderIconIndex()).toImage();
  ASSERT_FALSE(video.isNull());
  EXPECT_NE(video, plain);
  EXPECT_NE(folder, plain);
}

TEST_F(SystemImageListTest, TypeNamesAreTheDesktopsAndShort) {
  const QString mp4 = TNavSystemImageList::GetTypeNameForExtension(QStringLiteral("mp4"));
  EXPECT_FALSE(mp4.isEmpty());
  EXPECT_EQ(TNavSystemImageList::GetTypeNameForExtension(QStringLiteral(".mp4")), mp4);
  EXPECT_NE(TNavSystemImageList::GetTypeNameForExtension(QStringLiteral("mkv")), mp4);
  EXPECT_LE(mp4.size(), 80);
}

TEST_F(SystemImageListTest, IconBitmapIsCentredAndFramedOnePixelInside) {
  TNavSystemImageList list;  // 16 × 16 icons
  const shell::TColor white = 0xFFFFFF, red = 0x0000FF;  // colour values are 0x00BBGGRR
  const int folder = TNavSystemImageList::GetFolderIconIndex();
  const QImage framed = TNavSystemImageList::GetIconBitmap(list, folder, white, red, 40, 30);
  ASSERT_EQ(framed.size(), QSize(40, 30));
  EXPECT_EQ(framed.pixelColor(0, 0), QColor(Qt::white));
  EXPECT_EQ(framed.pixelColor(1, 1), QColor(Qt::red));
  EXPECT_EQ(framed.pixelColor(20, 1), QColor(Qt::red));
  EXPECT_EQ(framed.pixelColor(38, 28), QColor(Qt::red));
  EXPECT_EQ(framed.pixelColor(39, 29), QColor(Qt::white));
  EXPECT_EQ(framed.pixelColor(2, 2), QColor(Qt::white));
  // The icon sits in the middle: something there is not the background.
  bool drawn = false;
  for (int y = 7; y < 23; ++y)
    for (int x = 12; x < 28; ++x) drawn = drawn || framed.pixelColor(x, y) != QColor(Qt::white);
  EXPECT_TRUE(drawn);
  const QImage plain = TNavSystemImageList::GetIconBitmap(list, folder, white, shell::clNone, -1, -1);
  EXPECT_EQ(plain.size(), QSize(16, 16));
  const QImage unframed = TNavSystemImageList::GetIconBitmap(list, folder, white, shell::clNone, 40, 30);
  EXPECT_EQ(unframed.pixelColor(1, 1), QColor(Qt::white));
}

TEST_F(SystemImageListTest, OverlaysForLinksAndMissingItems) {
  testing_support::WriteText(Root + QStringLiteral("/file"), "x");
  QFile::link(Root + QStringLiteral("/file"), Root + QStringLiteral("/link"));
  EXPECT_EQ(TNavSystemImageList::GetOverlayIndex(Root + QStringLiteral("/file")), 0);
  EXPECT_GT(TNavSystemImageList::GetOverlayIndex(Root + QStringLiteral("/link")), 0);
  EXPECT_EQ(TNavSystemImageList::GetOverlayIndex(Root + QStringLiteral("/missing")), -1);
}

}  // namespace
