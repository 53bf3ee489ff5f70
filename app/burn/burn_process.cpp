#include "app/burn/burn_process.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/burn/burn_window.h"
#include "app/run_window/run_format.h"
#include "burning/disc_burner_sdk.h"

namespace app {

Tfrm_BurnProcess::Tfrm_BurnProcess(Tfrm_Burn& owner) : TJobWindow(owner, "tmr_Burn") {
  setObjectName(QStringLiteral("frm_BurnProcess"));
  setWindowTitle(QStringLiteral("Burning..."));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  auto* outer = new QVBoxLayout(this);
  auto* pnl_Main = new QFrame(this);
  pnl_Main->setObjectName(QStringLiteral("pnl_Main"));
  pnl_Main->setFrameShape(QFrame::Panel);
  pnl_Main->setFrameShadow(QFrame::Raised);
  outer->addWidget(pnl_Main);
  auto* grid = new QGridLayout(pnl_Main);
  auto label = [&](const char* name, const QString& text, Qt::Alignment alignment) {
    auto* l = new QLabel(text, pnl_Main);
    l->setObjectName(QLatin1String(name));
    l->setAlignment(alignment | Qt::AlignVCenter);
    return l;
  };
  lbl_Burn = label("lbl_Burn", QStringLiteral("Burning disc..."), Qt::AlignLeft);
  lbl_Percent = label("lbl_Percent", QStringLiteral("0%"), Qt::AlignRight);
  prg_Extract = new QProgressBar(pnl_Main);
  prg_Extract->setObjectName(QStringLiteral("prg_Extract"));
  prg_Extract->setRange(0, 100);
  prg_Extract->setValue(0);
  prg_Extract->setTextVisible(false);
  lbl_Written = label("lbl_Written", QStringLiteral("Written:"), Qt::AlignLeft);
  lbl_Elapsed = label("lbl_Elapsed", QStringLiteral("00:00"), Qt::AlignRight);
  btn_Cancel = new QPushButton(QStringLiteral("Cancel"), pnl_Main);
  btn_Cancel->setObjectName(QStringLiteral("btn_Cancel"));
  btn_Cancel->setAutoDefault(false);
  connect(btn_Cancel, &QPushButton::clicked, this, &Tfrm_BurnProcess::btn_CancelClick);
  grid->addWidget(lbl_Burn, 0, 0);
  grid->addWidget(lbl_Percent, 0, 1);
  grid->addWidget(prg_Extract, 1, 0, 1, 2);
  grid->addWidget(lbl_Written, 2, 0);
  grid->addWidget(lbl_Elapsed, 2, 1);
  grid->addWidget(btn_Cancel, 3, 1, Qt::AlignRight);
  setMinimumWidth(360);
}

void Tfrm_BurnProcess::FormShow() { lbl_Burn->setText(QStringLiteral("Burning disc... ")); }

void Tfrm_BurnProcess::StartJob() {
  burning::TDiscBurnerSDK& burner = FOwner.Burner();
  bool started = false;
  QString error;
  try {
    started = burner.Burn();
    if (!started) error = burner.GetErrorString();
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  }
  // A burn that did not start sends no done event: end it here, as a failed burn.
  if (!started) FOwner.BurnerBurnDone(error.isEmpty() ? QStringLiteral("The burn could not be started.") : error);
}

void Tfrm_BurnProcess::ShowElapsed(int seconds) { lbl_Elapsed->setText(FormatRunTime(seconds)); }

void Tfrm_BurnProcess::btn_CancelClick() {
  btn_Cancel->setEnabled(false);
  try {
    FOwner.Burner().Abort();
  } catch (const std::exception&) {
    // The component is inactive: there is no burn to stop.
  }
}

}  // namespace app
