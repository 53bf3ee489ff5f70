// The picture list: its items, its editing operations and the pictures its views show.

#include "components/png_image_list.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>

#include "support/widget_app.h"

namespace {

using components::TPngImageList;
using components::TPngOption;
using testing_support::SolidPicture;

class PngImageListTest : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::WidgetApp(); }

  // Three opaque pictures told apart by their red byte (10, 20, 30).
  void FillThree(TPngImageList& list) {
    for (int red : {10, 20, 30}) list.AppendPngItem(SolidPicture(16, 16, qRgba(red, 0, 0, 255)));
  }
  static int RedOf(const TPngImageList& list, int index) {
    return qRed(list.PngImages().Items(index)->PngImage().pixel(0, 0));
  }
};

TEST_F(PngImageListTest, StartsEmptyWithBlendedDisabledLook) {
  TPngImageList list;
  EXPECT_TRUE(list.EnabledImages());
  EXPECT_EQ(list.PngOptions(), components::TPngOptions(TPngOption::pngBlendOnDisabled));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.AppendPngItem(QImage()), -1) << "no picture, nothing added";
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(PngImageListTest, ItemsAreNamedAfterTheirIndexAndOutsideIndexesGiveNothing) {
  TPngImageList list;
  FillThree(list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.PngImages().Items(0)->Name(), QStringLiteral("PngImage0"));
  EXPECT_EQ(list.PngImages().Items(2)->Name(), QStringLiteral("PngImage2"));
  EXPECT_EQ(list.PngImages().Items(-1), nullptr);
  EXPECT_EQ(list.PngImages().Items(3), nullptr);
  EXPECT_FALSE(list.PngImages().Items(0)->Background().isValid()) << "editing operations add with no colour";
  EXPECT_TRUE(list.PngImages().Add().Background().isValid()) << "a new collection item has the button colour";
}

TEST_F(PngImageListTest, ChangingTheSizeRemovesEveryItem) {
  TPngImageList list;
  list.SetWidth(24);
  list.SetHeight(24);
  FillThree(list);
  list.SetWidth(24);
  EXPECT_EQ(list.Count(), 3) << "same size: kept";
  list.SetHeight(32);
  EXPECT_EQ(list.Count(), 0);
  FillThree(list);
  list.SetWidth(32);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.PlatformImage(0).isNull());
}

TEST_F(PngImageListTest, DeleteOutsideTheListDoesNothing) {
  TPngImageList list;
  FillThree(list);
  QSignalSpy changed(&list, &TPngImageList::Changed);
  list.Delete(-1);
  list.Delete(3);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(changed.count(), 0);
  list.Delete(1);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(RedOf(list, 1), 30);
  EXPECT_EQ(qRed(list.PlatformImage(1).pixel(0, 0)), 30) << "the shown picture follows";
  EXPECT_EQ(changed.count(), 1);
}

TEST_F(PngImageListTest, InsertMoveAndReplaceKeepItemsAndShownPicturesInStep) {
  TPngImageList list;
  FillThree(list);
  QImage keyed(16, 16, QImage::Format_RGB32);
  keyed.fill(qRgb(40, 0, 0));
  keyed.setPixel(5, 5, qRgb(0, 255, 0));
  list.InsertMasked(1, keyed, QColor(0, 255, 0));
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(RedOf(list, 1), 40);
  EXPECT_EQ(qAlpha(list.PngImages().Items(1)->PngImage().pixel(5, 5)), 0);
  list.Insert(0, QImage(), QImage());
  list.InsertIcon(0, QIcon());
  EXPECT_EQ(list.Count(), 4) << "nothing inserted without a picture";

  list.Move(0, 3);  // 40 20 30 10 after 10 40 20 30
  std::vector<int> reds;
  for (int i = 0; i < list.Count(); ++i) {
    reds.push_back(RedOf(list, i));
    EXPECT_EQ(qRed(list.PlatformImage(i).pixel(0, 0)), reds.back()) << i;
  }
  EXPECT_EQ(reds, (std::vector<int>{40, 20, 30, 10}));

  list.Replace(2, SolidPicture(16, 16, qRgba(50, 0, 0, 255)), QImage());
  EXPECT_EQ(RedOf(list, 2), 50);
  EXPECT_EQ(qRed(list.PlatformImage(2).pixel(0, 0)), 50);
  list.Replace(9, SolidPicture(16, 16, qRgba(60, 0, 0, 255)), QImage());
  EXPECT_EQ(list.Count(), 4);
}

TEST_F(PngImageListTest, AddImagesCopiesEveryEntryAndNotifiesOnce) {
  TPngImageList source;
  FillThree(source);
  TPngImageList list;
  QSignalSpy changed(&list, &TPngImageList::Changed);
  list.AddImages(source);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(RedOf(list, 2), 30);
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(list.AddImage(source, 7), -1);
}

TEST_F(PngImageListTest, DisabledListShowsEveryPictureGreyAtHalfOpacity) {
  TPngImageList list;
  list.AppendPngItem(SolidPicture(16, 16, qRgba(255, 0, 0, 255)));
  list.AppendPngItem(SolidPicture(16, 16, qRgba(0, 0, 255, 255)));
  list.SetPngOptions(TPngOption::pngBlendOnDisabled | TPngOption::pngGrayscaleOnDisabled);
  EXPECT_EQ(list.PlatformImage(0).pixel(0, 0), qRgba(255, 0, 0, 255)) << "enabled pictures as they are";
  list.SetEnabledImages(false);
  EXPECT_EQ(list.PlatformImage(0).pixel(0, 0), qRgba(76, 76, 76, 128));
  EXPECT_EQ(list.PlatformImage(1).pixel(0, 0), qRgba(28, 28, 28, 128));
  const QImage shown = list.Icon(0).pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(shown.pixel(8, 8), qRgba(76, 76, 76, 128));
  list.SetEnabledImages(true);
  EXPECT_EQ(list.PlatformImage(1).pixel(0, 0), qRgba(0, 0, 255, 255));
  // An enabled list's icons still carry the disabled look for disabled views.
  const QImage disabled = list.Icon(1).pixmap(QSize(16, 16), QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(disabled.pixel(8, 8), qRgba(28, 28, 28, 128));
}

TEST_F(PngImageListTest, DrawUsesTheItemsOwnPictureEnabledOrNot) {
  TPngImageList list;
  list.AppendPngItem(SolidPicture(16, 16, qRgba(0, 0, 255, 255)));
  list.SetEnabledImages(false);  // the views' pictures; Draw does not use them
  QImage canvas(40, 16, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  {
    QPainter painter(&canvas);
    list.Draw(painter, 0, 0, 0, true);
    list.Draw(painter, 20, 0, 0, false);
    list.Draw(painter, 20, 0, 5, true);  // no such item: nothing
  }
  EXPECT_EQ(canvas.pixel(8, 8), qRgb(0, 0, 255));
  EXPECT_NEAR(qRed(canvas.pixel(28, 8)), 127, 1);
  EXPECT_EQ(qBlue(canvas.pixel(28, 8)), 255);
  EXPECT_EQ(canvas.pixel(38, 8), qRgb(255, 255, 255));
}

TEST_F(PngImageListTest, AssignCopiesItemsAndEnabledImagesButNotTheOptions) {
  TPngImageList source;
  source.SetWidth(24);
  source.SetHeight(24);
  FillThree(source);
  source.PngImages().Items(1)->SetName(QStringLiteral("second"));
  source.SetEnabledImages(false);
  source.SetPngOptions(TPngOption::pngGrayscaleOnDisabled);
  TPngImageList copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Width(), 24);
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.PngImages().Items(1)->Name(), QStringLiteral("second"));
  EXPECT_FALSE(copy.EnabledImages());
  EXPECT_EQ(copy.PngOptions(), components::TPngOptions(TPngOption::pngBlendOnDisabled));
  EXPECT_EQ(qAlpha(copy.PlatformImage(0).pixel(0, 0)), 128) << "rebuilt with the copy's own options";
  source.Clear();
  EXPECT_EQ(copy.Count(), 3) << "the items are copies";
}

TEST_F(PngImageListTest, ChangingAnItemRebuildsTheList) {
  TPngImageList list;
  FillThree(list);
  QSignalSpy changed(&list, &TPngImageList::Changed);
  list.PngImages().Items(0)->SetPngImage(SolidPicture(16, 16, qRgba(99, 0, 0, 255)));
  EXPECT_EQ(qRed(list.PlatformImage(0).pixel(0, 0)), 99);
  list.PngImages().Items(0)->SetBackground(QColor(1, 2, 3));
  list.PngImages().Items(0)->SetBackground(QColor(1, 2, 3));  // same value: no rebuild
  EXPECT_EQ(changed.count(), 2);
}

}  // namespace
