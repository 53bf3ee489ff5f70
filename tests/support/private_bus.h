#pragma once
// A session bus of the test's own (dbus-daemon --session), so D-Bus tests neither need nor
// disturb the desktop's. The daemon ends with the object.

#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace testing_support {

class TPrivateBus {
 public:
  /// Address stays empty when dbus-daemon is missing or printed no address.
  TPrivateBus() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) return;
    FProcess.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address=1")});
    if (!FProcess.waitForStarted(10000)) return;
    while (!FProcess.canReadLine() && FProcess.waitForReadyRead(10000)) {
    }
    Address = QString::fromUtf8(FProcess.readLine()).trimmed();
  }
  ~TPrivateBus() {
    if (FProcess.state() != QProcess::NotRunning) {
      FProcess.terminate();
      if (!FProcess.waitForFinished(5000)) FProcess.kill();
      FProcess.waitForFinished(5000);
    }
  }
  TPrivateBus(const TPrivateBus&) = delete;
  TPrivateBus& operator=(const TPrivateBus&) = delete;

  /// Whether the machine has a dbus-daemon to start.
  static bool Available() { return !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty(); }

  QString Address;

 private:
  QProcess FProcess;
};

}  // namespace testing_support
