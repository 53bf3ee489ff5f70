// The small windows of the main window: Profiles, Effects, Custom Frame Size and About.

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include "app/about/about.h"
#include "app/custom_size/custom_size.h"
#include "app/effects/effects.h"
#include "app/main_window/main_window_fixture.h"
#include "app/profiles/profiles.h"
#include "components/png_image_list.h"

namespace {

using testing_support::MainWindowFixture;
using testing_support::OnNextModal;

class DialogsTest : public MainWindowFixture {};

template <typename T>
T* Child(QWidget* window, const char* name) {
  T* child = window->findChild<T*>(QLatin1String(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

void SelectGroup(QWidget* profiles, const char* group) {
  auto* tree = Child<QTreeWidget>(profiles, "tv_Type");
  const QList<QTreeWidgetItem*> found = tree->findItems(QLatin1String(group), Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1);
  tree->setCurrentItem(found.first());
}

QListWidgetItem* Preset(QWidget* profiles, const char* caption) {
  const QList<QListWidgetItem*> found =
      Child<QListWidget>(profiles, "lw_Profile")->findItems(QLatin1String(caption), Qt::MatchExactly);
  EXPECT_EQ(found.size(), 1) << caption;
  return found.value(0);
}

TEST_F(DialogsTest, ProfilesOkStaysDisabledUntilAPresetIsSelected) {
  app::Tfrm_Profiles profiles(*Window);
  EXPECT_EQ(profiles.windowTitle(), QStringLiteral("Profiles"));
  auto* tree = Child<QTreeWidget>(&profiles, "tv_Type");
  ASSERT_EQ(tree->topLevelItemCount(), 6);
  EXPECT_EQ(tree->currentItem()->text(0), QStringLiteral("General"));
  auto* list = Child<QListWidget>(&profiles, "lw_Profile");
  EXPECT_EQ(list->count(), 11);
  auto* ok = Child<QPushButton>(&profiles, "btn_OK");
  EXPECT_FALSE(ok->isEnabled());
  profiles.btn_OKClick();  // nothing happens without a preset
  EXPECT_EQ(profiles.result(), QDialog::Rejected);

  SelectGroup(&profiles, "HD Video");
  EXPECT_EQ(list->count(), 10);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("HD AVI (*.avi)"));
  EXPECT_FALSE(ok->isEnabled());
  list->setCurrentItem(list->item(0));
  EXPECT_TRUE(ok->isEnabled());
  SelectGroup(&profiles, "iPad");  // a new group starts without a choice
  EXPECT_FALSE(ok->isEnabled());
}

TEST_F(DialogsTest, ChoosingHdAviBuildsItsOptionString) {
  bool shown = false;
  OnNextModal([&](QWidget* modal) {
    shown = modal->objectName() == QStringLiteral("frm_Profiles");
    SelectGroup(modal, "HD Video");
    Child<QListWidget>(modal, "lw_Profile")->setCurrentItem(Preset(modal, "HD AVI (*.avi)"));
    Child<QPushButton>(modal, "btn_OK")->click();
  });
  Window->btn_ProfilesClick();
  EXPECT_TRUE(shown);
  Window->BuildVideoOptions();
  EXPECT_EQ(Window->OptionString().toStdString(),
            "-b:a 192k -b:v 10000k -ac 2 -ar 48000 -c:a ac3 -c:v libx264 -threads 8 -pix_fmt yuv420p "
            "-vf \"scale=1920:1080\"  -sn ");
}

TEST_F(DialogsTest, CancelledProfilesChangeNothing) {
  const app::TOutputSettings before = Window->OutputSettings();
  OnNextModal([](QWidget* modal) {
    SelectGroup(modal, "4K Video");
    Child<QListWidget>(modal, "lw_Profile")->setCurrentRow(0);
    Child<QPushButton>(modal, "btn_Cancel")->click();
  });
  Window->btn_ProfilesClick();
  EXPECT_EQ(Window->OutputSettings(), before);
}

// Every preset shows the picture its table row names, from the window's own eleven pictures.
TEST_F(DialogsTest, ProfilesShowThePictureOfEachPreset) {
  app::Tfrm_Profiles profiles(*Window);
  components::TPngImageList* pictures = profiles.img_32();
  ASSERT_NE(pictures, nullptr);
  EXPECT_EQ(pictures->objectName(), QStringLiteral("img_32"));
  EXPECT_EQ(pictures->Width(), 32);
  const char* names[] = {"avi_32", "m4v_32", "mkv_32", "mov_32", "mp4_32", "mpg_32",
                         "ts_32",  "vob_32", "web_32", "wmv_32", "dvd_32"};
  ASSERT_EQ(pictures->Count(), static_cast<int>(std::size(names)));
  for (int i = 0; i < pictures->Count(); ++i) {
    EXPECT_EQ(pictures->PngImages().Items(i)->Name(), QLatin1String(names[i]));
    EXPECT_EQ(pictures->PngImages().Items(i)->PngImage().deviceIndependentSize(), QSizeF(32, 32)) << names[i];
  }
  // No two pictures alike.
  for (int i = 0; i < pictures->Count(); ++i)
    for (int j = i + 1; j < pictures->Count(); ++j)
      EXPECT_NE(pictures->PlatformImage(i), pictures->PlatformImage(j)) << names[i] << " " << names[j];

  const auto shown = [&](const char* caption) {
    return Preset(&profiles, caption)->icon().pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
  };
  const auto picture = [&](int index) {
    return QPixmap::fromImage(pictures->PlatformImage(index)).toImage().convertToFormat(QImage::Format_ARGB32);
  };
  EXPECT_EQ(shown("DVD-Video (*.vob)"), picture(10));
  EXPECT_EQ(shown("WebM (*.webm)"), picture(8));
  EXPECT_EQ(shown("MPEG4 AVC (*.mp4)"), picture(4));
  SelectGroup(&profiles, "HD Video");
  EXPECT_EQ(shown("HD TS (*.ts)"), picture(6));
  EXPECT_EQ(shown("HD XviD (*.avi)"), picture(0));
}

TEST_F(DialogsTest, DoubleClickOnAPresetAppliesIt) {
  app::Tfrm_Profiles profiles(*Window);
  SelectGroup(&profiles, "Apple TV");
  auto* list = Child<QListWidget>(&profiles, "lw_Profile");
  QListWidgetItem* item = Preset(&profiles, "Apple TV HD (*.mp4)");
  list->setCurrentItem(item);
  emit list->itemDoubleClicked(item);
  EXPECT_EQ(profiles.result(), QDialog::Accepted);
  EXPECT_EQ(Window->cb_VideoFormat()->currentText(), QStringLiteral("MP4"));
  EXPECT_EQ(Window->cb_VideoFrameSize()->currentText(), QStringLiteral("1280x720"));
}

TEST_F(DialogsTest, EffectsMirrorTheSwitchesAndOnlyOkWritesThem) {
  Window->SetEffects({false, true, false, false});
  {
    app::Tfrm_Effects effects(*Window);
    EXPECT_EQ(effects.windowTitle(), QStringLiteral("Effects"));
    EXPECT_EQ(Child<QCheckBox>(&effects, "chk_VFlip")->text(), QStringLiteral("Vertically flip"));
    EXPECT_EQ(Child<QCheckBox>(&effects, "chk_HFlip")->text(), QStringLiteral("Horizontally flip"));
    EXPECT_EQ(Child<QCheckBox>(&effects, "chk_Negate")->text(), QStringLiteral("Negate"));
    EXPECT_EQ(Child<QCheckBox>(&effects, "chk_Dein")->text(), QStringLiteral("Deinterlace"));
    EXPECT_TRUE(Child<QCheckBox>(&effects, "chk_HFlip")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(&effects, "chk_VFlip")->isChecked());
  }
  OnNextModal([](QWidget* modal) {
    Child<QCheckBox>(modal, "chk_VFlip")->setChecked(true);
    Child<QPushButton>(modal, "btn_Cancel")->click();
  });
  Window->btn_EffectsClick();
  EXPECT_EQ(Window->Effects(), (app::TEffects{false, true, false, false}));

  OnNextModal([](QWidget* modal) {
    Child<QCheckBox>(modal, "chk_VFlip")->setChecked(true);
    Child<QCheckBox>(modal, "chk_Dein")->setChecked(true);
    Child<QPushButton>(modal, "btn_OK")->click();
  });
  Window->btn_EffectsClick();
  EXPECT_EQ(Window->Effects(), (app::TEffects{true, true, true, false}));
  Window->BuildVideoOptions();
  EXPECT_EQ(Window->OptionString(),
            QStringLiteral("-b:a 32k -c:a libmp3lame -c:v mpeg4 -vf \"vflip,hflip,yadif\"  -sn "));
}

void TypeSize(QWidget* custom, int width, int height) {
  Child<QSpinBox>(custom, "txt_Width")->setValue(width);
  Child<QSpinBox>(custom, "txt_Height")->setValue(height);
}

TEST_F(DialogsTest, CustomSizeSelectsAnExistingEntryOrReplacesTheCustomOne) {
  {
    app::Tfrm_Custom custom(*Window);
    EXPECT_EQ(custom.windowTitle(), QStringLiteral("Custom Frame Size"));
    auto* width = Child<QSpinBox>(&custom, "txt_Width");
    EXPECT_EQ(width->text(), QStringLiteral("1"));
    EXPECT_EQ(width->minimum(), 1);
    EXPECT_EQ(width->maximum(), 99999);
    width->setValue(12345);
    EXPECT_EQ(width->text(), QStringLiteral("12345"));  // no thousands separator
    EXPECT_NE(custom.findChild<QPushButton*>(QStringLiteral("OK")), nullptr);
    EXPECT_NE(custom.findChild<QPushButton*>(QStringLiteral("Cancel")), nullptr);
  }
  OnNextModal([](QWidget* modal) {
    TypeSize(modal, 1280, 720);
    Child<QPushButton>(modal, "OK")->click();
  });
  Window->btn_CustomClick();
  EXPECT_EQ(Window->cb_VideoFrameSize()->currentIndex(), 14);
  EXPECT_EQ(Window->CustomFrameSize(), QStringLiteral("7680x4800"));

  OnNextModal([](QWidget* modal) {
    TypeSize(modal, 1000, 500);
    Child<QPushButton>(modal, "OK")->click();
  });
  Window->btn_CustomClick();
  EXPECT_EQ(Window->cb_VideoFrameSize()->currentIndex(), 29);
  EXPECT_EQ(Window->cb_VideoFrameSize()->currentText(), QStringLiteral("1000x500"));
  Window->BuildVideoOptions();
  EXPECT_EQ(Window->OptionString(),
            QStringLiteral("-b:a 32k -c:a libmp3lame -c:v mpeg4 -vf \"scale=1000:500\"  -sn "));

  Restart();
  EXPECT_EQ(Window->CustomFrameSize(), QStringLiteral("1000x500"));
  EXPECT_EQ(Window->cb_VideoFrameSize()->currentIndex(), 29);
}

TEST_F(DialogsTest, AboutShowsNameAndVersion) {
  bool seen = false;
  OnNextModal([&](QWidget* modal) {
    seen = modal->windowTitle() == QStringLiteral("About") &&
           Child<QLabel>(modal, "lbl_BA")->text() == QStringLiteral("Tarsel Video Converter") &&
           Child<QLabel>(modal, "lbl_Version")->text() == QStringLiteral("Version 1.3");
    Child<QPushButton>(modal, "btn_OK")->click();
  });
  Window->About1Click();
  EXPECT_TRUE(seen);
}

}  // namespace
