#pragma once
// A taskbar backend that keeps every call as a line of text, for tests of the taskbar component and
// of the windows that drive it.

#include <string>
#include <vector>

#include "components/taskbar_mgr.h"

namespace testing_support {

class TRecordingTaskbarBackend : public components::ITaskbarBackend {
 public:
  /// Kept by the test while the manager owns the backend; cleared by Calls().clear().
  struct TLog {
    std::vector<std::string> Calls;
    std::vector<components::TTaskbarThumbButton> LastButtons;
  };
  explicit TRecordingTaskbarBackend(TLog* log) : FLog(log) {}

  void SetProgressState(components::TTaskProgressState state) override {
    static const char* const KNames[] = {"NoProgress", "Indeterminate", "Normal", "Error", "Paused"};
    FLog->Calls.push_back(std::string("State ") + KNames[static_cast<int>(state)]);
  }
  void SetProgressValue(int64_t value, int64_t max) override {
    FLog->Calls.push_back("Value " + std::to_string(value) + "/" + std::to_string(max));
  }
  void SetOverlayIcon(const QIcon& icon) override {
    FLog->Calls.push_back(icon.isNull() ? "Overlay none" : "Overlay icon");
  }
  void AddThumbButtons(const std::vector<components::TTaskbarThumbButton>& buttons) override {
    FLog->Calls.push_back("Add " + std::to_string(buttons.size()));
    FLog->LastButtons = buttons;
  }
  void UpdateThumbButtons(const std::vector<components::TTaskbarThumbButton>& buttons) override {
    FLog->Calls.push_back("Update " + std::to_string(buttons.size()));
    FLog->LastButtons = buttons;
  }

 private:
  TLog* FLog;
};

}  // namespace testing_support
