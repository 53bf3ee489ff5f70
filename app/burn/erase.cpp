#include "app/burn/erase.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/burn/burn_format.h"
#include "app/burn/burn_window.h"
#include "burning/disc_burner_sdk.h"

namespace app {

Tfrm_Erase::Tfrm_Erase(Tfrm_Burn& owner) : QDialog(&owner), FOwner(owner) {
  setObjectName(QStringLiteral("frm_Erase"));
  setWindowTitle(QStringLiteral("Erasing..."));
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  pnl_Erase = new QLabel(QStringLiteral("Erasing disc...  00:00"), this);
  pnl_Erase->setObjectName(QStringLiteral("pnl_Erase"));
  pnl_Erase->setAlignment(Qt::AlignCenter);
  pnl_Erase->setFrameShape(QFrame::Panel);
  pnl_Erase->setFrameShadow(QFrame::Raised);
  pnl_Erase->setMinimumSize(260, 50);
  layout->addWidget(pnl_Erase);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, &Tfrm_Erase::Timer1Timer);
  tmr_Erase = new QTimer(this);
  tmr_Erase->setObjectName(QStringLiteral("tmr_Erase"));
  tmr_Erase->setInterval(10);
  connect(tmr_Erase, &QTimer::timeout, this, &Tfrm_Erase::tmr_EraseTimer);
  tmr_Elapsed = new QTimer(this);
  tmr_Elapsed->setObjectName(QStringLiteral("tmr_Elapsed"));
  tmr_Elapsed->setInterval(1000);
  connect(tmr_Elapsed, &QTimer::timeout, this, &Tfrm_Erase::tmr_ElapsedTimer);
}

void Tfrm_Erase::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FPrefix = QStringLiteral("Erasing disc... ");
  pnl_Erase->setText(FPrefix + QStringLiteral("00:00"));
  FSeconds = 0;
  Timer1->start();
  tmr_Elapsed->start();
  tmr_Erase->start();
}

void Tfrm_Erase::tmr_EraseTimer() {
  tmr_Erase->stop();
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

void Tfrm_Erase::tmr_ElapsedTimer() {
  ++FSeconds;
  pnl_Erase->setText(FPrefix + EraseClockText(FSeconds));
}

void Tfrm_Erase::Timer1Timer() {
  if (!Done) return;
  Timer1->stop();
  tmr_Elapsed->stop();
  QDialog::done(Accepted);
}

void Tfrm_Erase::done(int result) {
  if (Done) QDialog::done(result);
}

}  // namespace app
