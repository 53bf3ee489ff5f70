#pragma once
// Tfrm_BurnProcess: the burn's progress window. It starts the burn on its first timer tick,
// counts the elapsed time, offers Cancel and closes itself once the burn has ended (Done).

#include "app/burn/job_window.h"

class QProgressBar;
class QPushButton;

namespace app {

class Tfrm_BurnProcess : public TJobWindow {
  Q_OBJECT

 public:
  explicit Tfrm_BurnProcess(Tfrm_Burn& owner);

  void btn_CancelClick();

  QLabel* lbl_Burn;
  QLabel* lbl_Percent;
  QLabel* lbl_Written;
  QLabel* lbl_Elapsed;
  QPushButton* btn_Cancel;
  QProgressBar* prg_Extract;

 protected:
  void FormShow() override;
  void StartJob() override;
  void ShowElapsed(int seconds) override;
};

}  // namespace app
