#pragma once
// A shell opener that keeps what it was asked to open instead of starting an application.

#include <QStringList>

#include "platform/shell_open.h"

namespace testing_support {

class TRecordingShellOpener : public platform::IShellOpener {
 public:
  /// Installs itself as the process's opener for its lifetime.
  TRecordingShellOpener() { platform::SetShellOpener(this); }
  ~TRecordingShellOpener() override { platform::SetShellOpener(nullptr); }

  bool Open(const QString& target) override {
    Opened.append(target);
    return Answer;
  }

  QStringList Opened;
  bool Answer = true;  // false: the desktop has no program to open anything with
};

}  // namespace testing_support
