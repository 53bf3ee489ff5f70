#include "components/taskbar_mgr.h"

#include <algorithm>

namespace components {

TTaskbarMgr::TTaskbarMgr(QObject* parent, std::unique_ptr<ITaskbarBackend> backend)
    : QObject(parent), FBackend(backend ? std::move(backend) : MakeTaskbarBackend()) {
  FBackend->OnThumbButtonClick = [this](int buttonId) {
    if (OnThumbButtonClick) OnThumbButtonClick(this, buttonId);
  };
  FBackend->OnButtonCreated = [this] {
    if (FActive) Apply();
  };
}

TTaskbarMgr::~TTaskbarMgr() {
  SetActive(false);
  FBackend->OnThumbButtonClick = nullptr;
  FBackend->OnButtonCreated = nullptr;
}

void TTaskbarMgr::SetActive(bool value) {
  if (value == FActive) return;
  if (value) {
    FActive = true;
    Apply();
  } else {
    Withdraw();
    FActive = false;
  }
}

void TTaskbarMgr::SetProgressValue(int value) {
  FProgressValue = value;
  if (FActive) FBackend->SetProgressValue(FProgressValue, FProgressValueMax);
}

void TTaskbarMgr::SetProgressValueMax(int value) {
  FProgressValueMax = value;
  if (FActive) FBackend->SetProgressValue(FProgressValue, FProgressValueMax);
}

void TTaskbarMgr::SetProgressState(TTaskProgressState value) {
  FProgressState = value;
  if (FActive) FBackend->SetProgressState(FProgressState);
}

void TTaskbarMgr::SetOverlayIcon(const QIcon& value) {
  FOverlayIcon = value;
  if (FOverlayIcon.isNull() || FActive) FBackend->SetOverlayIcon(FOverlayIcon);
}

void TTaskbarMgr::SetThumbButtons(const std::vector<TTaskbarThumbButton>& value) { FThumbButtons = value; }

void TTaskbarMgr::SetThumbButton(int index, const TTaskbarThumbButton& value) {
  if (index < 0 || index >= static_cast<int>(FThumbButtons.size())) return;
  FThumbButtons[index] = value;
  if (FApplied) {
    const auto shown = ShownThumbButtons();
    if (!shown.empty()) FBackend->UpdateThumbButtons(shown);
  }
}

std::vector<TTaskbarThumbButton> TTaskbarMgr::ShownThumbButtons() const {
  const auto count = std::min<size_t>(FThumbButtons.size(), MaxThumbButtons);
  std::vector<TTaskbarThumbButton> shown(FThumbButtons.begin(), FThumbButtons.begin() + count);
  for (auto& button : shown) button.Hint.truncate(MaxHintLength);
  return shown;
}

// Also runs when the desktop made the entry anew, so everything is sent again, not only changes.
void TTaskbarMgr::Apply() {
  const auto shown = ShownThumbButtons();
  if (!shown.empty()) FBackend->AddThumbButtons(shown);
  FApplied = true;
  if (FProgressState != TTaskProgressState::fstpsNoProgress) {
    FBackend->SetProgressState(FProgressState);
    // An indeterminate bar has no value; sending one would turn it into a normal bar on some desktops.
    if (FProgressValue != 0 && FProgressState != TTaskProgressState::fstpsIndeterminate)
      FBackend->SetProgressValue(FProgressValue, FProgressValueMax);
  }
  if (!FOverlayIcon.isNull()) FBackend->SetOverlayIcon(FOverlayIcon);
}

// The stored values stay, so a later activation shows them again.
void TTaskbarMgr::Withdraw() {
  if (!FOverlayIcon.isNull()) FBackend->SetOverlayIcon(QIcon());
  if (FProgressState != TTaskProgressState::fstpsNoProgress || FProgressValue != 0)
    FBackend->SetProgressState(TTaskProgressState::fstpsNoProgress);
}

}  // namespace components
