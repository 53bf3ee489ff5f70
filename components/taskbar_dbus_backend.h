#pragma once
// Taskbar progress over D-Bus: the com.canonical.Unity.LauncherEntry "Update" signal, which KDE
// Plasma's task manager, Dash to Dock, Plank and the other common docks follow. The dock finds our
// entry by the desktop file named in the signal, so the application must set
// QGuiApplication::desktopFileName and its .desktop file must be installed under that name.
// Overlay icons and thumbnail buttons have no counterpart in that protocol and are ignored.

#include <QDBusConnection>
#include <QString>

#include "components/taskbar_mgr.h"

namespace components {

class TDBusTaskbarBackend : public ITaskbarBackend {
 public:
  /// desktopId: the desktop file's name, with or without ".desktop". The connection is used, not owned.
  TDBusTaskbarBackend(QDBusConnection connection, const QString& desktopId);

  void SetProgressState(TTaskProgressState state) override;
  void SetProgressValue(int64_t value, int64_t max) override;
  void SetOverlayIcon(const QIcon&) override {}
  void AddThumbButtons(const std::vector<TTaskbarThumbButton>&) override {}
  void UpdateThumbButtons(const std::vector<TTaskbarThumbButton>&) override {}

  /// "application://<desktop file name>", the entry the signals address.
  const QString& AppUri() const { return FAppUri; }
  /// The progress sent for value of max: value/max held to 0..1, and 0 when max is 0 or below.
  static double Fraction(int64_t value, int64_t max);

 private:
  /// Sends the whole state each time: a dock that missed earlier signals still shows the right bar.
  void SendUpdate();

  QDBusConnection FConnection;
  QString FAppUri;
  QString FObjectPath;
  TTaskProgressState FState = TTaskProgressState::fstpsNoProgress;
  int64_t FValue = 0;
  int64_t FMax = 100;
};

}  // namespace components
