#include "app/burn/erase.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/burn/burn_format.h"
#include "app/burn/burn_window.h"
#include "burning/disc_burner_sdk.h"

namespace app {

Tfrm_Erase::Tfrm_Erase(Tfrm_Burn& owner) : TJobWindow(owner, "tmr_Erase") {
  setObjectName(QStringLiteral("frm_Erase"));
  setWindowTitle(QStringLiteral("Erasing..."));
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  auto* layout = new QVBoxLayout(this);
  pnl_Erase = MakeBurnPanel(this, "pnl_Erase", QStringLiteral("Erasing disc...  00:00"));
  layout->addWidget(pnl_Erase);
}

void Tfrm_Erase::FormShow() {
  FPrefix = QStringLiteral("Erasing disc... ");
  pnl_Erase->setText(FPrefix + QStringLiteral("00:00"));
}

void Tfrm_Erase::StartJob() {
  burning::TDiscBurnerSDK& burner = FOwner.Burner();
  bool started = false;
  QString error;
  try {
    started = burner.Erase(true, false);
    if (!started) error = burner.GetErrorString();
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  }
  if (started) return;
  // An erase that did not start sends no done event: end it here, with the reason in the log.
  if (error.isEmpty()) error = QStringLiteral("The erase could not be started.");
  FOwner.AddLog(BurnTimeStamped(error), Tfrm_Burn::KRed);
  FOwner.BurnerEraseDone(error);
}

void Tfrm_Erase::ShowElapsed(int seconds) { pnl_Erase->setText(FPrefix + EraseClockText(seconds)); }

}  // namespace app
