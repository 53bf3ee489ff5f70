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
  // No owner notifies this wait, so done() is looked at again every few milliseconds. On the
  // main thread the time is spent waiting in the dispatcher's queue, so main-thread work (and a
  // change that comes with it) is taken at once; other threads have nothing to wait on but time.
  auto* d = GDispatcher.load();
  if (d != nullptr && d->IsMainThread()) {
    while (!done()) d->WaitForPending(5);
    return;
  }
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void TWaitSignal::Notify() {
  {
    std::lock_guard lock(FLock);
    ++FGeneration;
    // A main thread that waits sleeps in its event queue: an empty call wakes it. Posted under
    // the lock: a waiter leaves (and may then remove its dispatcher) only after taking the lock,
    // so no post can still be on its way into a dispatcher that is gone.
    if (FMainThreadWaiters.load() > 0)
      if (auto* d = GDispatcher.load()) d->Post([] {});
  }
  FWake.notify_all();
}

void WaitInMainThread(const std::function<bool()>& done, TWaitSignal& signal) {
  // Waits at most this long between two looks at done(): a safety net for a change that was
  // not notified, never the road by which a notified change is seen.
  constexpr int kLongestSleepMs = 250;
  auto* d = GDispatcher.load();
  if (d != nullptr && d->IsMainThread()) {
    // Counted before done() is read: a change made after that read sees the waiter and posts.
    ++signal.FMainThreadWaiters;
    const auto leave = [&signal] {
      std::lock_guard lock(signal.FLock);  // waits for a Notify that is posting to us
      --signal.FMainThreadWaiters;
    };
    try {
      while (!done()) d->WaitForPending(kLongestSleepMs);
    } catch (...) {
      leave();
      throw;
    }
    leave();
    return;
  }
  for (;;) {
    std::uint64_t generation;
    {
      std::lock_guard lock(signal.FLock);
      generation = signal.FGeneration;
    }
    if (done()) return;
    std::unique_lock lock(signal.FLock);
    signal.FWake.wait_for(lock, std::chrono::milliseconds(kLongestSleepMs),
                          [&] { return signal.FGeneration != generation; });
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
