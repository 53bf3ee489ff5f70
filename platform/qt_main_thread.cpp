#include "platform/qt_main_thread.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace platform {

TQtMainThreadDispatcher::TQtMainThreadDispatcher() = default;
TQtMainThreadDispatcher::~TQtMainThreadDispatcher() = default;

bool TQtMainThreadDispatcher::IsMainThread() const {
  return QThread::currentThread() == FContext.thread();
}

void TQtMainThreadDispatcher::Call(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(&FContext, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

void TQtMainThreadDispatcher::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(&FContext, std::move(fn), Qt::QueuedConnection);
}

void TQtMainThreadDispatcher::ProcessPending() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void TQtMainThreadDispatcher::WaitForPending(int timeoutMs) {
  // Blocks in the event queue until an event comes; the timer bounds the wait.
  QTimer deadline;
  deadline.setSingleShot(true);
  deadline.start(timeoutMs);
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace platform
