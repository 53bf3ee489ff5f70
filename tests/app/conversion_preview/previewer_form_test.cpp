// The conversion preview window: sized by the first frame, captioned with the time stamp, later
// frames drawn at the top-left and clipped, and closing it ends the engine's previewing.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "app/conversion_preview/previewer_form.h"
#include "media/previewer.h"
#include "support/widget_app.h"

namespace {

media::TBitmap Solid(int width, int height, uint8_t blue, uint8_t green, uint8_t red) {
  media::TBitmap bitmap;
  bitmap.Resize(width, height, 32);
  for (int y = 0; y < height; y++) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width; x++) {
      row[x * 4] = blue;
      row[x * 4 + 1] = green;
      row[x * 4 + 2] = red;
      row[x * 4 + 3] = 255;
    }
  }
  return bitmap;
}

class PreviewerForm : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::WidgetApp(); }
};

app::TPreviewerForm* OpenForm() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* form = dynamic_cast<app::TPreviewerForm*>(w); form != nullptr && form->isVisible()) return form;
  return nullptr;
}

TEST_F(PreviewerForm, FirstFrameSizesTheWindowLaterFramesAreClipped) {
  app::TPreviewerForm form;
  form.PaintFrame(Solid(96, 54, 0, 0, 255), 1, 1500000);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.size(), QSize(96, 54));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("00:00:01.500"));
  EXPECT_EQ(form.Picture().pixel(10, 10), qRgb(255, 0, 0));

  form.PaintFrame(Solid(200, 100, 255, 0, 0), 2, 3723004000);
  EXPECT_EQ(form.size(), QSize(96, 54));  // keeps its first size
  EXPECT_EQ(form.windowTitle(), QStringLiteral("01:02:03.004"));
  EXPECT_EQ(form.grab().toImage().pixel(95, 53), qRgb(0, 0, 255));
  EXPECT_FALSE(form.Closed());
  form.close();
  EXPECT_TRUE(form.Closed());
}

TEST_F(PreviewerForm, BitmapDepthsBecomeImages) {
  for (int bits : {32, 24, 16, 15, 8}) {
    SCOPED_TRACE(bits);
    media::TBitmap bitmap;
    bitmap.Resize(7, 3, bits);
    const QImage image = app::BitmapToImage(bitmap);
    EXPECT_EQ(image.size(), QSize(7, 3));
  }
}

// Through the engine's previewer and the installed factory: closing the window makes the next
// frame return false without painting, and the previewer frees the window.
TEST_F(PreviewerForm, ClosingTheInstalledWindowStopsThePreviewer) {
  app::InstallConversionPreview();
  {
    media::TPreviewer previewer;
    ASSERT_TRUE(previewer.PaintFrame(Solid(64, 48, 0, 255, 0), 1, 40000));
    app::TPreviewerForm* form = OpenForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("00:00:00.040"));
    form->close();
    EXPECT_FALSE(previewer.PaintFrame(Solid(64, 48, 255, 0, 0), 2, 80000));
    EXPECT_EQ(form->Picture().pixel(1, 1), qRgb(0, 255, 0));  // not painted again
  }
  EXPECT_EQ(OpenForm(), nullptr);
  media::SetPreviewWindowFactory(nullptr);
}

}  // namespace
