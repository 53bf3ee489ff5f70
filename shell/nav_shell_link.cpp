#include "shell/nav_shell_link.h"

#include "shell/nav_selection_list.h"

#include <QMetaObject>
#include <algorithm>

namespace shell {

QString TNavBaseComponent::Version() const {
  return QString::fromLatin1(metaObject()->className()).section(QStringLiteral("::"), -1) +
         QStringLiteral(" V9.0.3.694");
}

TNavShellLink::TNavShellLink(QObject* owner)
    : TNavBaseComponent(owner), FSelectionList(new TNavSelectionList(this)) {
  FEnabled = true;
}

TNavShellLink::~TNavShellLink() {
  // Each control unregisters itself from its setter; work on a copy.
  const std::vector<INavShellControl*> controls = FControls;
  for (auto it = controls.rbegin(); it != controls.rend(); ++it) (*it)->SetShellLink(nullptr);
  FControls.clear();
  delete FSelectionList;  // before the link is gone: it may still cancel its sums
}

void TNavShellLink::RegisterControl(INavShellControl* control) {
  if (control != nullptr && std::find(FControls.begin(), FControls.end(), control) == FControls.end())
    FControls.push_back(control);
}

void TNavShellLink::UnregisterControl(INavShellControl* control) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
}

template <typename Call>
void TNavShellLink::Broadcast(INavShellControl* sender, Call call) {
  const bool saved = FEnabled;
  FEnabled = false;  // a control that answers by broadcasting itself is not passed on
  try {
    const std::vector<INavShellControl*> controls = FControls;
    for (INavShellControl* control : controls)
      if (control != sender && std::find(FControls.begin(), FControls.end(), control) != FControls.end())
        call(control);
  } catch (...) {
    FEnabled = saved;
    throw;
  }
  FEnabled = saved;
}

void TNavShellLink::BroadcastPathChanged(INavShellControl* sender, const INavItemIdList& folder) {
  if (!GetEnabled()) return;
  Broadcast(sender, [&](INavShellControl* control) { control->LinkedPathChanged(folder); });
  if (OnChange) OnChange(*this);
}

void TNavShellLink::BroadcastItemChanged(INavShellControl* sender, const INavItemIdList& folder,
                                         const INavItemIdList& item) {
  if (!GetEnabled()) return;
  Broadcast(sender, [&](INavShellControl* control) { control->LinkedItemChanged(folder, item); });
}

void TNavShellLink::BroadcastNotify(INavShellControl* sender, int kind, const INavItemIdList& list) {
  if (!GetEnabled()) return;
  const std::vector<INavShellControl*> controls = FControls;
  for (INavShellControl* control : controls)
    if (control != sender) control->LinkedNotify(kind, list);
}

}  // namespace shell
