#include "app/burn/burn_wiring.h"

#include "app/main_window/main_window.h"

namespace app {

TBurnInput MakeBurnInput(const Tfrm_Main& main) {
  TBurnInput input;
  for (int row = 0; row < main.RowCount(); ++row) input.Rows.push_back({main.RowCaption(row), main.SubItem(row, 2)});
  input.Taskbar = main.prg_Win7();
  return input;
}

void WireBurnWindow(Tfrm_Main& main) {
  main.ShowBurnWindow = [&main] {
    Tfrm_Burn window(MakeBurnInput(main), &main);
    window.exec();
  };
}

}  // namespace app
