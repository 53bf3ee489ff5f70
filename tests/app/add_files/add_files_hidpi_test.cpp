// The Add Files window on a screen scaled to 200 %: the thumbnails of videos and the pictures of
// the shell's icons have twice the pixels of their size on screen, so they are drawn sharp.
// Every test of this program runs at a device pixel ratio of 2 (QT_SCALE_FACTOR, set before the
// application object is made).

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTest>
#include <cstdlib>

#include "app/add_files/add_files.h"
#include "app/main_window/main_window_fixture.h"
#include "app/shell_thumbnails/video_thumbnail.h"
#include "fixtures/media_fixtures.h"
#include "shell/nav_shell_list.h"
#include "shell/nav_system_image_list.h"
#include "shell/shell_browser.h"

namespace {

const bool kScaledScreen = [] { return setenv("QT_SCALE_FACTOR", "2", 1) == 0; }();

using shell::TNavSystemImageList;

// The bounding box of the pixels that differ from the given colour.
QRect DrawnOn(const QImage& image, QRgb background) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != background) box |= QRect(x, y, 1, 1);
  return box;
}

class AddFilesOnAScaledScreenTest : public testing_support::MainWindowFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kScaledScreen);
    MainWindowFixture::SetUp();
    ASSERT_EQ(Window->devicePixelRatioF(), 2.0);
  }
  void TearDown() override {
    shell::TShellBrowser::SetThumbnailProvider({});
    MainWindowFixture::TearDown();
  }
};

TEST_F(AddFilesOnAScaledScreenTest, AVideosThumbnailHasTwiceItsSizeInPixels) {
  const QString folder = TempPath(QStringLiteral("clips"));
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(QFile::copy(QString::fromStdString(fixtures::MediaFixtures().ClipAvi), folder + "/clip.avi"));
  app::InstallVideoThumbnails(QString());  // as main() does
  Window->SetAddFolder(folder);
  app::Tfrm_AddFiles window(*Window);
  window.show();
  shell::TNavShellList& list = *window.lw_Data();
  // What View > Thumbnails in the browser's menu does.
  list.SetViewStyle(shell::TNavViewStyle::vsIcon);
  list.SetThumbnails(true);
  QTreeWidgetItem* clip = nullptr;
  for (int i = 0; i < list.topLevelItemCount(); ++i)
    if (list.topLevelItem(i)->text(0).trimmed() == QLatin1String("clip.avi")) clip = list.topLevelItem(i);
  ASSERT_NE(clip, nullptr);
  const QSize side(list.ThumbnailWidth(), list.ThumbnailHeight());
  const QRgb base = list.palette().color(QPalette::Base).rgb();
  const auto shown = [&] {
    return clip->icon(0).pixmap(side, 2.0).toImage().convertToFormat(QImage::Format_RGB32);
  };
  // The file type's icon stands in until the pool has the clip's picture, which is as wide as
  // the thumbnail (the clip is 4:3) where the icon is not. 30 s only for a loaded machine.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const QImage now = shown();
        return now.pixel(1, now.height() / 2) != base;
      },
      30000))
      << "no thumbnail of the clip";
  EXPECT_EQ(clip->icon(0).availableSizes(), QList<QSize>{side * 2});
  const QImage thumbnail = shown();
  EXPECT_EQ(thumbnail.size(), side * 2);
  EXPECT_EQ(thumbnail.devicePixelRatio(), 2.0);
  // The clip's 64 x 48 frame fitted into 192 x 192 device pixels: 192 x 144, centred.
  EXPECT_EQ(DrawnOn(thumbnail, base), QRect(0, 24, 192, 144));
}

TEST_F(AddFilesOnAScaledScreenTest, IconPicturesHaveTwiceTheirSizeInPixels) {
  TNavSystemImageList large;
  large.SetSize(shell::TNavImageListSize::si_extralarge);
  const int index = TNavSystemImageList::GetIconIndexForExtension(QStringLiteral("avi"), true, false);
  const QImage picture =
      TNavSystemImageList::GetIconBitmap(large, index, 0xFFFFFF, shell::clNone, 96, 80, 2.0);
  EXPECT_EQ(picture.size(), QSize(192, 160));
  EXPECT_EQ(picture.devicePixelRatio(), 2.0);
  // The 48-point icon, drawn from its own 96 x 96 pixels, in the middle: where the icon's
  // drawing lies within its square, moved by the margins ((192 - 96) / 2, (160 - 96) / 2).
  QImage alone(96, 96, QImage::Format_ARGB32_Premultiplied);
  alone.fill(Qt::white);
  {
    QPainter painter(&alone);
    painter.drawPixmap(0, 0, large.Icon(index).pixmap(QSize(96, 96), 1.0));
  }
  const QRect drawing = DrawnOn(alone, qRgb(255, 255, 255));
  ASSERT_FALSE(drawing.isEmpty());
  EXPECT_EQ(DrawnOn(picture, qRgb(255, 255, 255)), drawing.translated(48, 32));

  // The icons of the lists' rows: the theme's picture with twice the pixels of a row's icon.
  const QPixmap row = large.Icon(index).pixmap(QSize(16, 16), 2.0);
  EXPECT_EQ(row.size(), QSize(32, 32));
  EXPECT_EQ(row.devicePixelRatio(), 2.0);
}

}  // namespace
