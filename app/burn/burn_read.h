#pragma once
// Tfrm_Read: the small wait window the burn window shows while the component starts and looks
// for drives (mode 0) or reads the disc in the chosen drive (mode 1). It does its one step on
// its first timer tick and closes itself.

#include <QDialog>

class QLabel;
class QTimer;

namespace app {

class Tfrm_Burn;

class Tfrm_Read : public QDialog {
  Q_OBJECT

 public:
  enum TMode { mdInitialize = 0, mdReadDisc = 1 };
  Tfrm_Read(Tfrm_Burn& owner, int mode);

  int Mode() const { return FMode; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void tmr_InitTimer();
  void tmr_ReadTimer();

  Tfrm_Burn& FOwner;
  const int FMode;
  QLabel* pnl_Read;
  QTimer* tmr_Init;
  QTimer* tmr_Read;
};

}  // namespace app
