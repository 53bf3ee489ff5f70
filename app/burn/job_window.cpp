#include "app/burn/job_window.h"

#include <QLabel>
#include <QTimer>

#include "app/burn/burn_window.h"

namespace app {

QTimer* MakeBurnTimer(QObject* owner, const char* name, int milliseconds) {
  auto* timer = new QTimer(owner);
  timer->setObjectName(QLatin1String(name));
  timer->setInterval(milliseconds);
  return timer;
}

TJobWindow::TJobWindow(Tfrm_Burn& owner, const char* jobTimerName) : QDialog(&owner), FOwner(owner) {
  setModal(true);
  Timer1 = MakeBurnTimer(this, "Timer1", 100);
  connect(Timer1, &QTimer::timeout, this, &TJobWindow::Timer1Timer);
  FJobTimer = MakeBurnTimer(this, jobTimerName, 10);
  connect(FJobTimer, &QTimer::timeout, this, [this] {
    FJobTimer->stop();
    StartJob();
  });
  tmr_Elapsed = MakeBurnTimer(this, "tmr_Elapsed", 1000);
  connect(tmr_Elapsed, &QTimer::timeout, this, [this] { ShowElapsed(++FSeconds); });
}

QLabel* MakeBurnPanel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setAlignment(Qt::AlignCenter);
  label->setFrameShape(QFrame::Panel);
  label->setFrameShadow(QFrame::Raised);
  label->setMinimumSize(260, 50);
  return label;
}

void TJobWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FSeconds = 0;
  FormShow();
  Timer1->start();
  tmr_Elapsed->start();
  FJobTimer->start();
}

void TJobWindow::Timer1Timer() {
  if (!Done) return;
  Timer1->stop();
  tmr_Elapsed->stop();
  QDialog::done(Accepted);
}

void TJobWindow::done(int result) {
  if (Done) QDialog::done(result);
}

}  // namespace app
