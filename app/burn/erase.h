#pragma once
// Tfrm_Erase: the erase's progress window. It starts the erase on its first timer tick, shows
// the elapsed time and closes itself once the erase has ended (Done).

#include "app/burn/job_window.h"

namespace app {

class Tfrm_Erase : public TJobWindow {
  Q_OBJECT

 public:
  explicit Tfrm_Erase(Tfrm_Burn& owner);

  QLabel* pnl_Erase;

 protected:
  void FormShow() override;
  void StartJob() override;
  void ShowElapsed(int seconds) override;

 private:
  QString FPrefix;
};

}  // namespace app
