#pragma once
// The Custom Frame Size window: a frame size that is not in the main window's list.

#include <QDialog>

class QSpinBox;

namespace app {

class Tfrm_Main;

class Tfrm_Custom : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_Custom(Tfrm_Main& main);

  /// Selects "<width>x<height>" in main's frame-size list, replacing the custom entry when the
  /// list does not hold it, and closes.
  void OKClick();

 private:
  Tfrm_Main& FMain;
  QSpinBox* Ftxt_Width = nullptr;
  QSpinBox* Ftxt_Height = nullptr;
};

}  // namespace app
