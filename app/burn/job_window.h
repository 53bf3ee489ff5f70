#pragma once
// The common body of the burn's and the erase's progress windows: a modal window that starts its
// job on its first 10 ms tick, counts the seconds, and closes itself on the 100 ms tick after the
// job has ended (Done); nothing else closes it.

#include <QDialog>

class QLabel;
class QTimer;
class QWidget;

namespace app {

class Tfrm_Burn;

class TJobWindow : public QDialog {
  Q_OBJECT

 public:
  /// Set when the job has ended; the window then closes on its next 100 ms tick.
  bool Done = false;

  /// Only an ended job closes the window.
  void done(int result) override;

 protected:
  /// jobTimerName: the object name of the timer that starts the job ("tmr_Burn", "tmr_Erase").
  TJobWindow(Tfrm_Burn& owner, const char* jobTimerName);

  /// On show, before the timers start: the first texts.
  virtual void FormShow() = 0;
  /// The first tick: starts the job. A job that does not start must end it (set Done).
  virtual void StartJob() = 0;
  /// Each second, with the seconds since the window was shown.
  virtual void ShowElapsed(int seconds) = 0;

  void showEvent(QShowEvent* event) override;

  Tfrm_Burn& FOwner;
  QTimer* Timer1;
  QTimer* FJobTimer;
  QTimer* tmr_Elapsed;

 private:
  void Timer1Timer();
  int FSeconds = 0;
};

/// A timer of the burn windows: named, with its interval, not running.
QTimer* MakeBurnTimer(QObject* owner, const char* name, int milliseconds);
/// The text panel of the small burn windows: a named label with a raised frame, centred text.
QLabel* MakeBurnPanel(QWidget* parent, const char* name, const QString& text);

}  // namespace app
