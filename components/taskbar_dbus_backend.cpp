#include "components/taskbar_dbus_backend.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QVariantMap>
#include <algorithm>

namespace components {

namespace {
const QString KLauncherInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");
}

TDBusTaskbarBackend::TDBusTaskbarBackend(QDBusConnection connection, const QString& desktopId)
    : FConnection(std::move(connection)) {
  QString fileName = desktopId;
  if (!fileName.endsWith(QLatin1String(".desktop"))) fileName += QLatin1String(".desktop");
  FAppUri = QStringLiteral("application://") + fileName;
  // Docks listen to the interface on any path; one path per entry keeps several programs apart.
  FObjectPath = QStringLiteral("/com/canonical/unity/launcherentry/") + QString::number(qHash(FAppUri));
}

double TDBusTaskbarBackend::Fraction(int64_t value, int64_t max) {
  if (max <= 0) return 0.0;
  return std::clamp(static_cast<double>(value) / static_cast<double>(max), 0.0, 1.0);
}

void TDBusTaskbarBackend::SetProgressState(TTaskProgressState state) {
  FState = state;
  SendUpdate();
}

void TDBusTaskbarBackend::SetProgressValue(int64_t value, int64_t max) {
  FValue = value;
  FMax = max;
  SendUpdate();
}

void TDBusTaskbarBackend::SendUpdate() {
  // The protocol has no indeterminate bar; a bar stuck at some value would mislead, so none is shown.
  const bool visible = FState == TTaskProgressState::fstpsNormal ||
                       FState == TTaskProgressState::fstpsError || FState == TTaskProgressState::fstpsPaused;
  QVariantMap properties;
  properties.insert(QStringLiteral("progress"), Fraction(FValue, FMax));
  properties.insert(QStringLiteral("progress-visible"), visible);
  properties.insert(QStringLiteral("urgent"), FState == TTaskProgressState::fstpsError);
  QDBusMessage signal = QDBusMessage::createSignal(FObjectPath, KLauncherInterface, QStringLiteral("Update"));
  signal << FAppUri << properties;
  // Fire and forget: with no dock listening the bus drops the signal, and a lost signal only leaves
  // a stale bar.
  FConnection.send(signal);
}

std::unique_ptr<ITaskbarBackend> MakeTaskbarBackend() {
  if (QCoreApplication::instance() == nullptr) return std::make_unique<TNullTaskbarBackend>();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return std::make_unique<TNullTaskbarBackend>();
  QString desktopId = QGuiApplication::desktopFileName();
  if (desktopId.isEmpty()) desktopId = QCoreApplication::applicationName();
  return std::make_unique<TDBusTaskbarBackend>(bus, desktopId);
}

}  // namespace components
