#include "platform/qt_main_thread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <condition_variable>

namespace platform {

namespace {
const QEvent::Type KRunNext = static_cast<QEvent::Type>(QEvent::registerEventType());
}

/// One waiting call. A blocking caller waits until the call has run, or was dropped with the
/// dispatcher (its destructor ends the wait either way).
struct TQtMainThreadDispatcher::TCall {
  struct TDone {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Done = false;
  };
  std::function<void()> Fn;
  TDone* Waiter = nullptr;  // the blocking caller's, which outlives the call
  ~TCall() {
    if (Waiter == nullptr) return;
    std::lock_guard hold(Waiter->Lock);
    Waiter->Done = true;
    Waiter->Changed.notify_all();
  }
};

/// The object whose events run the calls; it lives in the GUI thread.
class TQtMainThreadDispatcher::TContext : public QObject {
 public:
  explicit TContext(TQtMainThreadDispatcher& owner) : FOwner(owner) {}
  // The event itself is made by the posting thread and handed over inside Qt: its type is read
  // unchecked (the calls it stands for are handed over under FLock).
  __attribute__((no_sanitize("thread"))) bool event(QEvent* e) override {
    if (e->type() != KRunNext) return QObject::event(e);
    FOwner.RunNext();
    return true;
  }

 private:
  TQtMainThreadDispatcher& FOwner;
};

TQtMainThreadDispatcher::TQtMainThreadDispatcher() : FContext(std::make_unique<TContext>(*this)) {}

TQtMainThreadDispatcher::~TQtMainThreadDispatcher() {
  FContext.reset();  // its pending events go with it
  std::deque<std::unique_ptr<TCall>> dropped;
  {
    std::lock_guard hold(FLock);
    dropped.swap(FCalls);
  }
}

bool TQtMainThreadDispatcher::IsMainThread() const {
  return QThread::currentThread() == FContext->thread();
}

void TQtMainThreadDispatcher::RunNext() {
  std::unique_ptr<TCall> call;
  {
    std::lock_guard hold(FLock);
    if (FCalls.empty()) return;
    call = std::move(FCalls.front());
    FCalls.pop_front();
  }
  call->Fn();
}

void TQtMainThreadDispatcher::Call(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  TCall::TDone done;
  auto call = std::make_unique<TCall>();
  call->Fn = [&fn] { fn(); };
  call->Waiter = &done;
  {
    std::lock_guard hold(FLock);
    FCalls.push_back(std::move(call));
  }
  QCoreApplication::postEvent(FContext.get(), new QEvent(KRunNext));  // the queue owns the event
  std::unique_lock hold(done.Lock);
  done.Changed.wait(hold, [&done] { return done.Done; });
}

void TQtMainThreadDispatcher::Post(std::function<void()> fn) {
  auto call = std::make_unique<TCall>();
  call->Fn = std::move(fn);
  {
    std::lock_guard hold(FLock);
    FCalls.push_back(std::move(call));
  }
  QCoreApplication::postEvent(FContext.get(), new QEvent(KRunNext));  // the queue owns the event
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
