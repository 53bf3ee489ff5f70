#include "shell/xdg_dirs.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

namespace shell {

namespace {

QString EnvDir(const char* name, const QString& fallback) {
  const QString value = qEnvironmentVariable(name);
  if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
  return fallback;
}

// One value of user-dirs.dirs: "$HOME/Name" or "/absolute", with \" \\ \$ escapes.
QString ParseValue(const QString& raw, const QString& home) {
  QString text = raw.trimmed();
  if (text.size() < 2 || !text.startsWith(QLatin1Char('"'))) return {};
  QString value;
  for (int i = 1; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == QLatin1Char('\\') && i + 1 < text.size()) {
      value += text[++i];
    } else if (c == QLatin1Char('"')) {
      break;
    } else {
      value += c;
    }
  }
  if (value.startsWith(QLatin1String("$HOME")))
    value = home + value.mid(5);
  else if (!value.startsWith(QLatin1Char('/')))
    return {};
  return QDir::cleanPath(value);
}

}  // namespace

QString TXdgDirs::Home() {
  const QString home = qEnvironmentVariable("HOME");
  return QDir::cleanPath(home.isEmpty() ? QDir::homePath() : home);
}

QString TXdgDirs::ConfigHome() { return EnvDir("XDG_CONFIG_HOME", Home() + QLatin1String("/.config")); }
QString TXdgDirs::DataHome() { return EnvDir("XDG_DATA_HOME", Home() + QLatin1String("/.local/share")); }
QString TXdgDirs::CacheHome() { return EnvDir("XDG_CACHE_HOME", Home() + QLatin1String("/.cache")); }

QString TXdgDirs::UserDir(const QString& key) {
  QFile file(ConfigHome() + QLatin1String("/user-dirs.dirs"));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  const QString home = Home();
  const QString wanted = QLatin1String("XDG_") + key + QLatin1String("_DIR");
  QString result;
  QTextStream in(&file);
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.startsWith(QLatin1Char('#'))) continue;
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0 || line.left(eq).trimmed() != wanted) continue;
    result = ParseValue(line.mid(eq + 1), home);  // the last assignment wins, as in the shell
  }
  if (result == home) return {};
  return result;
}

}  // namespace shell
