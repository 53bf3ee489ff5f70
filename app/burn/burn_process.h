#pragma once
// Tfrm_BurnProcess: the burn's progress window. It starts the burn on its first timer tick,
// counts the elapsed time, offers Cancel and closes itself once the burn has ended (Done).

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace app {

class Tfrm_Burn;

class Tfrm_BurnProcess : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_BurnProcess(Tfrm_Burn& owner);

  /// Set when the burn has ended; the window then closes on its next 100 ms tick.
  bool Done = false;

  void btn_CancelClick();
  /// Only an ended burn closes the window.
  void done(int result) override;

  QLabel* lbl_Burn;
  QLabel* lbl_Percent;
  QLabel* lbl_Written;
  QLabel* lbl_Elapsed;
  QPushButton* btn_Cancel;
  QProgressBar* prg_Extract;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Timer1Timer();
  void tmr_BurnTimer();
  void tmr_ElapsedTimer();

  Tfrm_Burn& FOwner;
  QTimer* Timer1;
  QTimer* tmr_Burn;
  QTimer* tmr_Elapsed;
  int FSeconds = 0;
};

}  // namespace app
