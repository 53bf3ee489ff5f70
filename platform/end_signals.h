#pragma once
// The signals that ask a process to end (SIGTERM, SIGINT, SIGHUP), turned into a call on the
// thread of an event loop, where ending can be done properly: the handler itself only writes the
// signal's number into a pipe (a self-pipe), which the event loop watches.

#include <QObject>
#include <csignal>
#include <functional>

class QSocketNotifier;

namespace platform {

class TEndSignals : public QObject {
  Q_OBJECT

 public:
  /// From now on the three signals no longer end the process: each arrives at OnSignal on the
  /// creating thread, from its event loop. Only one may live at a time (the handlers are the
  /// process's): one made while another lives does nothing and never calls OnSignal. The handlers
  /// that were there before come back at destruction, and a signal that arrived too late to be
  /// delivered is then raised again, unless one was delivered before (the process is ending
  /// already).
  explicit TEndSignals(QObject* parent = nullptr);
  ~TEndSignals() override;
  TEndSignals(const TEndSignals&) = delete;
  TEndSignals& operator=(const TEndSignals&) = delete;

  /// The signal's number (SIGTERM...).
  std::function<void(int signal)> OnSignal;

 private:
  void Deliver();

  QSocketNotifier* FNotifier = nullptr;
  bool FDelivered = false;
  struct sigaction FPrevious[3]{};
};

}  // namespace platform
