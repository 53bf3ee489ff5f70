#include "app/burn/burn_wiring.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "app/main_window/main_window.h"

namespace app {

QString BurnLibraryName() {
  const QString name = QStringLiteral("libdiscburn.so");
  const QString local = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
  return QFileInfo(local).isFile() ? local : name;
}

TBurnInput MakeBurnInput(const Tfrm_Main& main) {
  TBurnInput input;
  for (int row = 0; row < main.RowCount(); ++row) input.Rows.push_back({main.RowCaption(row), main.RowPath(row)});
  input.Taskbar = main.prg_Win7();
  input.DLLName = BurnLibraryName();
  return input;
}

void WireBurnWindow(Tfrm_Main& main) {
  main.ShowBurnWindow = [&main] {
    Tfrm_Burn window(MakeBurnInput(main), &main);
    window.exec();
  };
}

}  // namespace app
