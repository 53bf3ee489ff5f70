#pragma once
// Main-thread dispatch: the one road by which worker threads (conversion, log, search) get work
// done on the user-interface thread. The application installs the Qt dispatcher at start-up;
// tests and headless tools install THeadlessDispatcher. This header links no Qt, so the media
// library can use it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

class IMainThreadDispatcher {
 public:
  virtual ~IMainThreadDispatcher() = default;
  /// True on the thread that owns the windows.
  virtual bool IsMainThread() const = 0;
  /// Runs fn on the main thread and returns once it has run. On the main thread it runs at once.
  /// A worker that calls this blocks until the main thread pumps, so a main thread that waits for
  /// a worker must pump (WaitInMainThread) or the two deadlock.
  virtual void Call(const std::function<void()>& fn) = 0;
  /// Queues fn for the main thread and returns at once.
  virtual void Post(std::function<void()> fn) = 0;
  /// Runs what is queued for the main thread. Only the main thread calls it.
  virtual void ProcessPending() = 0;
  /// Runs what is queued for the main thread, blocking in the queue when nothing is queued until
  /// something is posted; returns after at most timeoutMs without work (it may return sooner).
  /// Only the main thread calls it.
  virtual void WaitForPending(int timeoutMs) = 0;
};

/// Installs the process-wide dispatcher (not owned; nullptr removes it). The installer keeps it
/// alive until it removes it again.
void SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher);
IMainThreadDispatcher* MainThreadDispatcher();

/// Runs fn on the main thread and waits for it; with no dispatcher installed, runs it on the
/// calling thread.
void CallInMainThread(const std::function<void()>& fn);
/// Queues fn for the main thread; with no dispatcher installed, runs it on the calling thread.
void PostToMainThread(std::function<void()> fn);
/// True on the main thread, or everywhere when no dispatcher is installed.
bool IsMainThread();
/// Pumps pending main-thread work; does nothing off the main thread or without a dispatcher.
void ProcessMessages();
/// Waits until done() is true. On the main thread it keeps pumping main-thread work while it
/// waits, so a worker blocked in CallInMainThread can finish. Nothing tells this form that done()
/// changed, so it looks again every few milliseconds (on the main thread waiting in the queue,
/// which work posted to it ends at once; elsewhere asleep). For state whose owner can say when it
/// changed, use the TWaitSignal form below.
void WaitInMainThread(const std::function<bool()>& done);

/// Wakes the waits of WaitInMainThread(done, signal). The owner of the state that done() reads
/// calls Notify after every change that can make done() true (with no lock held that done()
/// takes); the waits then sleep until they are notified instead of polling.
class TWaitSignal {
 public:
  void Notify();

 private:
  friend void WaitInMainThread(const std::function<bool()>& done, TWaitSignal& signal);
  std::mutex FLock;
  std::condition_variable FWake;
  std::uint64_t FGeneration = 0;
  std::atomic<int> FMainThreadWaiters{0};
};

/// WaitInMainThread woken by signal: the main thread sleeps in its event queue and a Notify
/// posts to it; other threads sleep on the signal. done() is read without the signal's lock.
void WaitInMainThread(const std::function<bool()>& done, TWaitSignal& signal);

/// The dispatcher of processes without an event loop: the thread that creates it is the main
/// thread, and queued work runs when that thread calls ProcessPending (directly or through
/// WaitInMainThread).
class THeadlessDispatcher : public IMainThreadDispatcher {
 public:
  THeadlessDispatcher();
  bool IsMainThread() const override;
  void Call(const std::function<void()>& fn) override;
  void Post(std::function<void()> fn) override;
  void ProcessPending() override;
  void WaitForPending(int timeoutMs) override { ProcessPendingFor(timeoutMs); }
  /// Waits up to timeoutMs for queued work, then runs it. Returns whether anything ran.
  bool ProcessPendingFor(int timeoutMs);

 private:
  std::thread::id FMainThread;
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FQueue;
};

/// Installs a dispatcher for the life of the guard and removes it again.
class TDispatcherGuard {
 public:
  explicit TDispatcherGuard(IMainThreadDispatcher* dispatcher) { SetMainThreadDispatcher(dispatcher); }
  ~TDispatcherGuard() { SetMainThreadDispatcher(nullptr); }
  TDispatcherGuard(const TDispatcherGuard&) = delete;
  TDispatcherGuard& operator=(const TDispatcherGuard&) = delete;
};

}  // namespace platform
