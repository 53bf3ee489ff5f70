#include "shell/mounts.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QStringList>
#include <algorithm>

namespace shell {

namespace {

QMutex GLock;
QString GTableFile;

// Mount tables escape space, tab, newline and backslash as \ooo.
QString Unescape(const QString& text) {
  QString out;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('\\') && i + 3 < text.size()) {
      bool ok = false;
      const int code = text.mid(i + 1, 3).toInt(&ok, 8);
      if (ok) {
        out += QChar(code);
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

bool IsRemoteType(const QString& type) {
  static const QStringList remote = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs",
                                     "davfs", "fuse.davfs2", "9p", "afs", "ceph", "glusterfs"};
  return remote.contains(type);
}

bool UnderPrefix(const QString& path, const QString& root) {
  if (root == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
  return path == root || path.startsWith(root + QLatin1Char('/'));
}

}  // namespace

void TMounts::SetMountTableFile(const QString& path) {
  QMutexLocker lock(&GLock);
  GTableFile = path;
}

std::vector<TMountEntry> TMounts::All() {
  QString fileName;
  {
    QMutexLocker lock(&GLock);
    fileName = GTableFile.isEmpty() ? QStringLiteral("/proc/self/mountinfo") : GTableFile;
  }
  std::vector<TMountEntry> entries;
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return entries;
  // /proc files report a size of 0: read line by line until the end.
  const QString text = QString::fromUtf8(file.readAll());
  for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    TMountEntry entry;
    const int dash = static_cast<int>(fields.indexOf(QStringLiteral("-")));
    if (dash >= 5 && dash + 2 < fields.size()) {  // mountinfo
      entry.Root = Unescape(fields[4]);
      entry.FsType = fields[dash + 1];
      entry.Device = Unescape(fields[dash + 2]);
    } else if (fields.size() >= 3) {  // /proc/mounts
      entry.Device = Unescape(fields[0]);
      entry.Root = Unescape(fields[1]);
      entry.FsType = fields[2];
    } else {
      continue;
    }
    if (!entry.Root.startsWith(QLatin1Char('/'))) continue;
    entry.Root = QDir::cleanPath(entry.Root);
    entries.push_back(entry);
  }
  return entries;
}

TMountEntry TMounts::ForPath(const QString& path) {
  const QString clean = QDir::cleanPath(path);
  TMountEntry best{QStringLiteral("/"), QString(), QString()};
  int bestLength = -1;
  for (const TMountEntry& entry : All()) {
    if (!UnderPrefix(clean, entry.Root)) continue;
    // Later entries mounted over the same point hide earlier ones.
    if (entry.Root.size() >= bestLength) {
      best = entry;
      bestLength = static_cast<int>(entry.Root.size());
    }
  }
  return best;
}

std::vector<TMountEntry> TMounts::Volumes() {
  std::vector<TMountEntry> volumes;
  for (const TMountEntry& entry : All()) {
    const bool wanted = entry.Root == QLatin1String("/") || entry.Device.startsWith(QLatin1String("/dev/")) ||
                        IsRemoteType(entry.FsType);
    if (!wanted) continue;
    // Snap and loop mounts of packages, boot partitions and the like are not volumes to browse.
    if (entry.Root.startsWith(QLatin1String("/snap/")) || entry.Root.startsWith(QLatin1String("/boot")) ||
        entry.Root.startsWith(QLatin1String("/proc")) || entry.Root.startsWith(QLatin1String("/sys")) ||
        entry.Root.startsWith(QLatin1String("/dev")) || entry.Root.startsWith(QLatin1String("/etc/")))
      continue;
    const bool seen = std::any_of(volumes.begin(), volumes.end(),
                                  [&](const TMountEntry& v) { return v.Root == entry.Root; });
    if (!seen) volumes.push_back(entry);
  }
  return volumes;
}

bool TMounts::IsMountRoot(const QString& path) {
  if (path.isEmpty()) return false;
  const QString clean = QDir::cleanPath(path);
  if (clean == QLatin1String("/")) return true;
  for (const TMountEntry& entry : All())
    if (entry.Root == clean) return true;
  return false;
}

bool TMounts::IsRemote(const QString& path) { return IsRemoteType(ForPath(path).FsType); }

}  // namespace shell
