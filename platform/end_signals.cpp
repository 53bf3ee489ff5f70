#include "platform/end_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace platform {

namespace {

constexpr int KSignals[3] = {SIGTERM, SIGINT, SIGHUP};

// The pipe of the one living TEndSignals: [0] read by its notifier, [1] written by the handler.
int GPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte with the signal's number. A full pipe (signals far
// faster than the event loop) drops the byte; the ones already in it end the run.
extern "C" void OnEndSignal(int signal) {
  const int saved = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(GPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TEndSignals::TEndSignals(QObject* parent) : QObject(parent) {
  // Another one lives: it keeps its pipe and the signals, this one does nothing.
  if (GPipe[0] >= 0) return;
  if (::pipe2(GPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    GPipe[0] = GPipe[1] = -1;
    return;  // the signals keep their former handlers (they end the process)
  }
  FNotifier = new QSocketNotifier(GPipe[0], QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, &TEndSignals::Deliver);
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) ::sigaction(KSignals[i], &action, &FPrevious[i]);
}

TEndSignals::~TEndSignals() {
  if (FNotifier == nullptr) return;
  for (int i = 0; i < 3; ++i) ::sigaction(KSignals[i], &FPrevious[i], nullptr);
  delete FNotifier;
  // A signal that came after the last delivery still gets its due, from the former handler.
  char byte = 0;
  int pending = 0;
  while (::read(GPipe[0], &byte, 1) == 1) pending = byte;
  ::close(GPipe[0]);
  ::close(GPipe[1]);
  GPipe[0] = GPipe[1] = -1;
  if (pending != 0 && !FDelivered) ::raise(pending);
}

void TEndSignals::Deliver() {
  char byte = 0;
  while (::read(GPipe[0], &byte, 1) == 1) {
    FDelivered = true;
    if (OnSignal) OnSignal(byte);
  }
}

}  // namespace platform
