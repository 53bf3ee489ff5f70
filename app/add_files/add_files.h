#pragma once
// The Add Files window: a folder browser showing media files, where the user picks files for the
// main list. "Add" hands the selected files to the main window's adding and leaves the window
// open for more; the folder and the view are kept for the next time.

#include <QDialog>

class QPushButton;

namespace components {
class TPngSpeedButton;
}
namespace shell {
class TNavShellCombo;
class TNavShellLink;
class TNavShellList;
}  // namespace shell

namespace app {

class Tfrm_Main;

class Tfrm_AddFiles : public QDialog {
  Q_OBJECT

 public:
  /// Opens in main's AddFolder with its AddViewStyle (0 details, 1 list, 2 large icons).
  explicit Tfrm_AddFiles(Tfrm_Main& main);

  /// What the adding window accepts, as one mask ("*.3GP;*.ASF;...;*.M4A", no final ";").
  static QString MediaFilter();

  /// "Add": the selected files (never the parent entry) go into the main window's drop queue,
  /// which the main window then adds; nothing selected adds nothing. The window stays open.
  void Button1Click();
  /// Keeps the folder and the view in the main window's settings.
  void FormCloseQuery();

  shell::TNavShellList* lw_Data() const { return Flw_Data; }
  shell::TNavShellCombo* NavShellCombo1() const { return FNavShellCombo1; }

 protected:
  void done(int result) override;

 private:
  Tfrm_Main& FMain;
  shell::TNavShellLink* FNavShellLink1 = nullptr;
  shell::TNavShellList* Flw_Data = nullptr;
  shell::TNavShellCombo* FNavShellCombo1 = nullptr;
  components::TPngSpeedButton* FPngSpeedButton1 = nullptr;
  components::TPngSpeedButton* Fbtn_Icons = nullptr;
  components::TPngSpeedButton* Fbtn_Details = nullptr;
  components::TPngSpeedButton* Fbtn_List = nullptr;
  QPushButton* FButton1 = nullptr;
  QPushButton* FButton2 = nullptr;
};

}  // namespace app
