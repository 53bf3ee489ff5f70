#pragma once
// The Profiles window: the ready-made output settings, grouped; OK sets the main window's lists
// to the chosen one.

#include <QDialog>

class QListWidget;
class QPushButton;
class QTreeWidget;

namespace components {
class TPngImageList;
}

namespace app {

class Tfrm_Main;

class Tfrm_Profiles : public QDialog {
  Q_OBJECT

 public:
  /// Shown modally over main, whose lists OK changes. Opens on the first group.
  explicit Tfrm_Profiles(Tfrm_Main& main);

  /// Fills the preset list with the presets of the selected group; OK is disabled until a
  /// preset is chosen.
  void tv_TypeChange();
  /// OK is enabled exactly while one preset is selected.
  void lw_ProfileSelectItem();
  /// Applies the selected preset to the main window and closes; does nothing without one.
  void btn_OKClick();
  /// The eleven preset pictures ("avi_32" ... "dvd_32"); a preset's icon index points here.
  components::TPngImageList* img_32() const { return Fimg_32; }

 private:
  Tfrm_Main& FMain;
  QTreeWidget* Ftv_Type = nullptr;
  QListWidget* Flw_Profile = nullptr;
  QPushButton* Fbtn_OK = nullptr;
  QPushButton* Fbtn_Cancel = nullptr;
  components::TPngImageList* Fimg_32 = nullptr;
};

}  // namespace app
