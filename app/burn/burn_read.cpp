#include "app/burn/burn_read.h"

#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/burn/burn_window.h"
#include "app/burn/job_window.h"
#include "app/burn/pseudo_drives.h"
#include "burning/disc_burner_sdk.h"

namespace app {

Tfrm_Read::Tfrm_Read(Tfrm_Burn& owner, int mode) : QDialog(&owner), FOwner(owner), FMode(mode) {
  setObjectName(QStringLiteral("frm_Read"));
  setWindowTitle(QStringLiteral("Initialization..."));
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  pnl_Read = MakeBurnPanel(this, "pnl_Read",
                                     mode == mdInitialize ? QStringLiteral("Initialization, please wait...")
                                                          : QStringLiteral("Getting disc information..."));
  layout->addWidget(pnl_Read);
  tmr_Init = MakeBurnTimer(this, "tmr_Init", 10);
  connect(tmr_Init, &QTimer::timeout, this, &Tfrm_Read::tmr_InitTimer);
  tmr_Read = MakeBurnTimer(this, "tmr_Read", 10);
  connect(tmr_Read, &QTimer::timeout, this, &Tfrm_Read::tmr_ReadTimer);
}

void Tfrm_Read::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  (FMode == mdInitialize ? tmr_Init : tmr_Read)->start();
}

void Tfrm_Read::tmr_InitTimer() {
  tmr_Init->stop();
  burning::TDiscBurnerSDK& burner = FOwner.Burner();
  try {
    burner.SetActive(true);
    if (burner.Active()) {
      // Image-file drives come after the real ones: the rescan lists them last.
      FOwner.FRefusedDrives = AddBurnPseudoDrives(burner.DLLName(), BurnPseudoDrivePaths());
      if (!burner.RescanDevices()) FOwner.FRefusedDrives.append(burner.GetErrorString());
    }
  } catch (const std::exception& e) {
    FOwner.FActivationError = QString::fromUtf8(e.what());
  }
  accept();
}

void Tfrm_Read::tmr_ReadTimer() {
  tmr_Read->stop();
  burning::TDiscBurnerSDK& burner = FOwner.Burner();
  FOwner.FDiscReadFailed = false;
  try {
    burner.SetBurnDevice(FOwner.cb_Device_Burn->currentIndex() + 2);
    burner.GetMediumInfo(0);
  } catch (const std::exception&) {
    FOwner.FDiscReadFailed = true;  // reported as a disc that cannot be read
  }
  accept();
}

}  // namespace app
