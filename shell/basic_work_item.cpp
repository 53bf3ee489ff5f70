#include "shell/basic_work_item.h"

#include <chrono>

namespace shell {

std::function<void()> TBasicWorkItem::GetCompletionHandler() {
  if (!FOnItemDone) return {};
  return [this] { FOnItemDone(*this); };
}

void TBasicWorkItem::Abort() {
  {
    std::lock_guard lock(FWaitLock);
    FAborted = true;
  }
  FWake.notify_all();
}

void TBasicWorkItem::SetPaused(bool paused) {
  {
    std::lock_guard lock(FWaitLock);
    FPaused = paused;
  }
  FWake.notify_all();
}

bool TBasicWorkItem::WaitWhilePaused() {
  std::unique_lock lock(FWaitLock);
  while (FPaused.load() && !FAborted.load()) FWake.wait_for(lock, std::chrono::milliseconds(100));
  return FAborted.load();
}

bool TBasicWorkItem::SleepUnlessAborted(int ms) {
  std::unique_lock lock(FWaitLock);
  if (ms > 0) FWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FAborted.load(); });
  return FAborted.load();
}

}  // namespace shell
