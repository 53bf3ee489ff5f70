#pragma once
// The application's main-thread dispatcher: queued calls into the Qt event loop.

#include <QObject>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/main_thread.h"

namespace platform {

/// Create on the GUI thread after QApplication; install with SetMainThreadDispatcher.
class TQtMainThreadDispatcher : public IMainThreadDispatcher {
 public:
  TQtMainThreadDispatcher();
  ~TQtMainThreadDispatcher() override;
  bool IsMainThread() const override;
  void Call(const std::function<void()>& fn) override;
  void Post(std::function<void()> fn) override;
  void ProcessPending() override;
  void WaitForPending(int timeoutMs) override;

 private:
  struct TCall;
  class TContext;
  /// Runs the oldest waiting call; one event is posted per call.
  void RunNext();

  // The calls wait here, under a lock of our own, and the event posted for each carries nothing:
  // what a thread wrote before it posted is thereby ordered before the call for every checker of
  // the threads' hand-overs (Qt's event queue hands over under locks of its own, which
  // ThreadSanitizer cannot see).
  std::mutex FLock;
  std::deque<std::unique_ptr<TCall>> FCalls;
  std::unique_ptr<TContext> FContext;  // lives in the GUI thread; its events run the calls
};

}  // namespace platform
