#pragma once
// The application's main-thread dispatcher: queued calls into the Qt event loop.

#include <QObject>

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
  QObject FContext;  // lives in the GUI thread; queued calls run in its thread
};

}  // namespace platform
