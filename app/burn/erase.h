#pragma once
// Tfrm_Erase: the erase's progress window. It starts the erase on its first timer tick, shows
// the elapsed time and closes itself once the erase has ended (Done).

#include <QDialog>

class QLabel;
class QTimer;

namespace app {

class Tfrm_Burn;

class Tfrm_Erase : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_Erase(Tfrm_Burn& owner);

  /// Set when the erase has ended; the window then closes on its next 100 ms tick.
  bool Done = false;

  /// Only an ended erase closes the window.
  void done(int result) override;

  QLabel* pnl_Erase;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Timer1Timer();
  void tmr_EraseTimer();
  void tmr_ElapsedTimer();

  Tfrm_Burn& FOwner;
  QTimer* Timer1;
  QTimer* tmr_Erase;
  QTimer* tmr_Elapsed;
  QString FPrefix;
  int FSeconds = 0;
};

}  // namespace app
