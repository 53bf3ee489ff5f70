#include "app/shell_thumbnails/video_thumbnail.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <unistd.h>

#include "fixtures/media_fixtures.h"
#include "platform/file_names.h"
#include "platform/main_thread.h"
#include "shell/fake_home.h"
#include "shell/nav_system_image_list.h"
#include "shell/nav_work_items.h"
#include "shell/shell_browser.h"
#include "shell/thread_pool.h"

namespace {

QApplication& App() { return testing_support::ShellApp(); }

class TRecorder : public QObject, public shell::IThumbnailViewer {
 public:
  void ThumbnailReady(const QImage& image, int, const void*) override { Images.push_back(image); }
  std::vector<QImage> Images;
};

TEST(VideoThumbnailTest, APictureFromTheClipFittedIntoTheSize) {
  App();
  const fixtures::TMediaFixtures& media = fixtures::MediaFixtures();
  const QImage thumb = app::MakeVideoThumbnail(QString::fromStdString(media.ClipAvi), 96, 96, QString());
  ASSERT_FALSE(thumb.isNull());
  EXPECT_EQ(thumb.size(), QSize(96, 72));  // 64x48 scaled to fit
  // The clip's frames are grey with a white square: no colour, and not all one value.
  int lightest = 0, darkest = 255;
  for (int y = 0; y < thumb.height(); y += 4)
    for (int x = 0; x < thumb.width(); x += 4) {
      const int grey = qGray(thumb.pixel(x, y));
      lightest = std::max(lightest, grey);
      darkest = std::min(darkest, grey);
    }
  EXPECT_GT(lightest - darkest, 60);
  EXPECT_TRUE(app::MakeVideoThumbnail(QString::fromStdString(media.TextAvi), 96, 96, QString()).isNull());
  EXPECT_TRUE(app::MakeVideoThumbnail(QString::fromStdString(media.ToneWav), 96, 96, QString()).isNull());
}

// The shell's thumbnail item for the clip, run on a worker, shows the picture from the clip.
void ExpectTheClipsPictureFromTheShell(const QString& clip) {
  platform::THeadlessDispatcher dispatcher;
  platform::TDispatcherGuard guard(&dispatcher);
  app::InstallVideoThumbnails(QString());
  const shell::INavItemIdList item = shell::TNavItemIdList::CreateFromPath(clip);
  ASSERT_TRUE(item);
  TRecorder viewer;
  {
    shell::TWorkerThreadPool pool;
    pool.AddWorkItem(std::make_shared<shell::TThumbnailWorkItem>(item, 0xFFFFFF, true, &viewer, nullptr, 0, &viewer,
                                                                 &viewer, 96, 96));
    platform::WaitInMainThread([&] { return pool.OutstandingCount() == 0; });
  }
  shell::TShellBrowser::SetThumbnailProvider({});
  ASSERT_EQ(viewer.Images.size(), 1u);
  // Not the file type's icon in its frame: the picture from the clip.
  const shell::TNavSystemImageList& icons = shell::TNavSystemImageList::GetGlobalSystemImageList();
  const QImage icon = shell::TNavSystemImageList::GetIconBitmap(
      icons, shell::TNavSystemImageList::GetIconIndexForFile(clip, true, false), 0xFFFFFF, 0xC0C0C0, 96, 96);
  EXPECT_EQ(viewer.Images[0].size(), QSize(96, 72));
  EXPECT_NE(viewer.Images[0].convertToFormat(QImage::Format_ARGB32), icon.convertToFormat(QImage::Format_ARGB32));
}

TEST(VideoThumbnailTest, TheShellsThumbnailItemsUseItOnTheirWorkers) {
  App();
  ExpectTheClipsPictureFromTheShell(QString::fromStdString(fixtures::MediaFixtures().ClipAvi));
}

// A clip whose name is not UTF-8 (Latin-1, from an old disk or archive) gets its picture too,
// straight and through the shell's thumbnail items.
TEST(VideoThumbnailTest, ALatinOneNameGetsItsPicture) {
  App();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray bytes = QFile::encodeName(dir.path()) + "/caf\xe9.avi";
  ASSERT_EQ(::symlink(fixtures::MediaFixtures().ClipAvi.c_str(), bytes.constData()), 0);
  const QString clip = platform::FileNameFromBytes(bytes);
  EXPECT_EQ(app::MakeVideoThumbnail(clip, 96, 96, QString()).size(), QSize(96, 72));
  ExpectTheClipsPictureFromTheShell(clip);
  ::unlink(bytes.constData());  // QTemporaryDir cannot find the name to remove it
}

}  // namespace
