#include "platform/main_thread.h"

#include <atomic>
#include <chrono>
#include <exception>

namespace platform {

namespace {
std::atomic<IMainThreadDispatcher*> GDispatcher{nullptr};
}

void SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher) { GDispatcher.store(dispatcher); }

IMainThreadDispatcher* MainThreadDispatcher() { return GDispatcher.load(); }

void CallInMainThread(const std::function<void()>& fn) {
  if (auto* d = GDispatcher.load())
    d->Call(fn);
  else
    fn();
}

void PostToMainThread(std::function<void()> fn) {
  if (auto* d = GDispatcher.load())
    d->Post(std::move(fn));
  else
    fn();
}

bool IsMainThread() {
  auto* d = GDispatcher.load();
  return d == nullptr || d->IsMainThread();
}

void ProcessMessages() {
  auto* d = GDispatcher.load();
  if (d != nullptr && d->IsMainThread()) d->ProcessPending();
}

void WaitInMainThread(const std::function<bool()>& done) {
  auto* d = GDispatcher.load();
  const bool pump = d != nullptr && d->IsMainThread();
  while (!done()) {
    if (pump) {
      if (auto* headless = dynamic_cast<THeadlessDispatcher*>(d))
        headless->ProcessPendingFor(5);
      else {
        d->ProcessPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
}

THeadlessDispatcher::THeadlessDispatcher() : FMainThread(std::this_thread::get_id()) {}

bool THeadlessDispatcher::IsMainThread() const { return std::this_thread::get_id() == FMainThread; }

void THeadlessDispatcher::Call(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  // The caller's stack holds fn and the completion flag until the main thread has run it.
  std::mutex doneLock;
  std::condition_variable doneWake;
  bool done = false;
  std::exception_ptr error;
  Post([&] {
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(doneLock);
    done = true;
    doneWake.notify_all();
  });
  std::unique_lock lock(doneLock);
  doneWake.wait(lock, [&] { return done; });
  if (error) std::rethrow_exception(error);
}

void THeadlessDispatcher::Post(std::function<void()> fn) {
  {
    std::lock_guard lock(FLock);
    FQueue.push_back(std::move(fn));
  }
  FWake.notify_all();
}

void THeadlessDispatcher::ProcessPending() { ProcessPendingFor(0); }

bool THeadlessDispatcher::ProcessPendingFor(int timeoutMs) {
  std::deque<std::function<void()>> work;
  {
    std::unique_lock lock(FLock);
    if (timeoutMs > 0)
      FWake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !FQueue.empty(); });
    work.swap(FQueue);
  }
  for (auto& fn : work) fn();
  return !work.empty();
}

}  // namespace platform
