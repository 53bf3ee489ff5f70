#pragma once
// The Effects window: switches the four video effects of the main window.

#include <QDialog>

class QCheckBox;

namespace app {

class Tfrm_Main;

class Tfrm_Effects : public QDialog {
  Q_OBJECT

 public:
  /// The check boxes start with main's switches; OK writes them back.
  explicit Tfrm_Effects(Tfrm_Main& main);

  void btn_OKClick();

 private:
  Tfrm_Main& FMain;
  QCheckBox* Fchk_VFlip = nullptr;
  QCheckBox* Fchk_HFlip = nullptr;
  QCheckBox* Fchk_Negate = nullptr;
  QCheckBox* Fchk_Dein = nullptr;
};

}  // namespace app
