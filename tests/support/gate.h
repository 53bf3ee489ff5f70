#pragma once
// A gate test threads wait at until the test opens it.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace testing_support {

class TGate {
 public:
  void Open() {
    {
      std::lock_guard lock(FLock);
      FOpen = true;
    }
    FWake.notify_all();
  }
  /// Waits until the gate opens, or until stop() holds (checked every few milliseconds).
  void Wait(const std::function<bool()>& stop = {}) {
    std::unique_lock lock(FLock);
    if (!stop) {
      FWake.wait(lock, [this] { return FOpen; });
      return;
    }
    while (!FOpen && !stop()) FWake.wait_for(lock, std::chrono::milliseconds(2));
  }

 private:
  std::mutex FLock;
  std::condition_variable FWake;
  bool FOpen = false;
};

}  // namespace testing_support
