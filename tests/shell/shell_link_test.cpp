#include "shell/nav_shell_link.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using shell::INavItemIdList;
using shell::TNavShellLink;

// A control that records what the link tells it and can answer by moving itself.
class TFakeControl : public shell::INavShellControl {
 public:
  ~TFakeControl() override {
    if (FLink != nullptr) FLink->UnregisterControl(this);
  }
  void SetShellLink(TNavShellLink* link) override {
    if (FLink != nullptr) FLink->UnregisterControl(this);
    FLink = link;
    if (FLink != nullptr) FLink->RegisterControl(this);
  }
  TNavShellLink* GetShellLink() const override { return FLink; }
  void LinkedPathChanged(const INavItemIdList& folder) override {
    Paths.push_back(folder);
    if (FollowUp && FLink != nullptr) FLink->BroadcastPathChanged(this, folder);  // moves and tells the others
    if (Throw) throw std::runtime_error("control failed");
  }
  void LinkedItemChanged(const INavItemIdList&, const INavItemIdList& item) override { Items.push_back(item); }
  void LinkedNotify(int kind, const INavItemIdList&) override { Kinds.push_back(kind); }

  std::vector<INavItemIdList> Paths, Items;
  std::vector<int> Kinds;
  bool FollowUp = false;
  bool Throw = false;

 private:
  TNavShellLink* FLink = nullptr;
};

TEST(ShellLinkTest, BroadcastsReachTheOthersOnceAndNoEcho) {
  TNavShellLink link;
  EXPECT_TRUE(link.Enabled());
  EXPECT_EQ(link.Version(), QStringLiteral("TNavShellLink V9.0.3.694"));
  TFakeControl list, combo, third;
  list.SetShellLink(&link);
  combo.SetShellLink(&link);
  combo.SetShellLink(&link);  // registered once
  third.SetShellLink(&link);
  EXPECT_EQ(link.ControlCount(), 3);
  combo.FollowUp = true;  // answers by broadcasting again: ignored while the first one runs
  int changes = 0;
  link.OnChange = [&](TNavShellLink&) { ++changes; };
  const INavItemIdList folder = shell::TNavItemIdList::CreateFromPath(QStringLiteral("/"));
  link.BroadcastPathChanged(&list, folder);
  EXPECT_TRUE(list.Paths.empty());
  EXPECT_EQ(combo.Paths.size(), 1u);
  EXPECT_EQ(third.Paths.size(), 1u);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(link.Enabled());

  link.BroadcastItemChanged(&list, nullptr, nullptr);
  EXPECT_EQ(combo.Items.size(), 1u);
  EXPECT_EQ(changes, 1);  // item broadcasts raise no OnChange
  link.BroadcastNotify(nullptr, 2, nullptr);  // from the selection list: everybody
  EXPECT_EQ(list.Kinds, std::vector<int>({2}));
  EXPECT_EQ(combo.Kinds, std::vector<int>({2}));
}

TEST(ShellLinkTest, DisabledLinkPassesNothing) {
  TNavShellLink link;
  TFakeControl a, b;
  a.SetShellLink(&link);
  b.SetShellLink(&link);
  int changes = 0;
  link.OnChange = [&](TNavShellLink&) { ++changes; };
  link.SetEnabled(false);
  link.BroadcastPathChanged(&a, nullptr);
  link.BroadcastItemChanged(&a, nullptr, nullptr);
  link.BroadcastNotify(&a, 0, nullptr);
  EXPECT_TRUE(b.Paths.empty() && b.Items.empty() && b.Kinds.empty());
  EXPECT_EQ(changes, 0);
}

TEST(ShellLinkTest, AFailingControlRestoresTheLinkAndSkipsOnChange) {
  TNavShellLink link;
  TFakeControl a, b;
  a.SetShellLink(&link);
  b.SetShellLink(&link);
  b.Throw = true;
  int changes = 0;
  link.OnChange = [&](TNavShellLink&) { ++changes; };
  EXPECT_THROW(link.BroadcastPathChanged(&a, nullptr), std::runtime_error);
  EXPECT_TRUE(link.Enabled());
  EXPECT_EQ(changes, 0);
}

TEST(ShellLinkTest, DestroyingTheLinkDetachesEveryControl) {
  TFakeControl a, b;
  {
    TNavShellLink link;
    a.SetShellLink(&link);
    b.SetShellLink(&link);
  }
  EXPECT_EQ(a.GetShellLink(), nullptr);
  EXPECT_EQ(b.GetShellLink(), nullptr);
  // A control that goes first leaves the link.
  TNavShellLink link;
  {
    TFakeControl gone;
    gone.SetShellLink(&link);
    EXPECT_EQ(link.ControlCount(), 1);
  }
  EXPECT_EQ(link.ControlCount(), 0);
}

}  // namespace
