#include "platform/settings_location.h"

#include <QDir>

namespace platform {

QString UserConfigFolder() {
  // The base-directory specification tells to ignore a relative XDG_CONFIG_HOME.
  const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return QDir::cleanPath(xdg);
  const QString home = qEnvironmentVariable("HOME");
  if (!home.isEmpty() && QDir::isAbsolutePath(home)) return QDir::cleanPath(home + QLatin1String("/.config"));
  return QString();
}

}  // namespace platform
