#pragma once
// The base of the shell's work items: tags, pause and abort, and an optional done event that
// runs on the user-interface thread.

#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "shell/thread_pool.h"

namespace shell {

class TBasicWorkItem : public IWorkItem {
 public:
  TBasicWorkItem(const void* groupTag = nullptr, const void* itemTag = nullptr)
      : FItemTag(itemTag), FGroupTag(groupTag) {}

  std::function<void()> GetCompletionHandler() override;
  const void* GetItemTag() const override { return FItemTag; }
  const void* GetGroupTag() const override { return FGroupTag; }
  void SetItemTag(const void* tag) { FItemTag = tag; }
  void SetGroupTag(const void* tag) { FGroupTag = tag; }
  void Abort() override;
  void SetPaused(bool paused) override;
  const std::type_info& GetClassType() const override { return typeid(*this); }

  bool Aborted() const { return FAborted.load(); }
  bool Paused() const { return FPaused.load(); }
  /// Waits while paused (in 100 ms steps) and not aborted; returns whether the item was aborted.
  bool WaitWhilePaused();
  /// Sleeps up to ms, waking early on abort; returns whether the item was aborted.
  bool SleepUnlessAborted(int ms);

  /// Runs on the user-interface thread after the work; setting it gives the item a completion.
  void SetOnItemDone(std::function<void(TBasicWorkItem&)> handler) { FOnItemDone = std::move(handler); }

 private:
  std::atomic<bool> FPaused{false};
  std::atomic<bool> FAborted{false};
  std::function<void(TBasicWorkItem&)> FOnItemDone;
  const void* FItemTag;
  const void* FGroupTag;
  std::mutex FWaitLock;
  std::condition_variable FWake;
};

}  // namespace shell
