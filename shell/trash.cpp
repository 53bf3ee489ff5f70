#include "shell/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "shell/mounts.h"
#include "shell/nav_item_id_list.h"
#include "shell/xdg_dirs.h"

namespace shell {

namespace {

bool DeviceOf(const QString& path, dev_t& device) {
  struct stat st {};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return false;
  device = st.st_dev;
  return true;
}

// A trash folder with files/ and info/, made when missing; false when that cannot be.
bool Prepare(const QString& trash, bool topdirTrash) {
  if (topdirTrash) {
    struct stat st {};
    const QByteArray name = QFile::encodeName(trash);
    if (::lstat(name.constData(), &st) == 0) {
      // Another user's or a linked folder is not ours to fill.
      if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    } else if (::mkdir(name.constData(), 0700) != 0) {
      return false;
    }
  }
  return QDir().mkpath(trash + QStringLiteral("/files")) && QDir().mkpath(trash + QStringLiteral("/info")) &&
         QFileInfo(trash + QStringLiteral("/files")).isDir() && QFileInfo(trash + QStringLiteral("/info")).isDir();
}

bool MoveInto(const QString& trash, const QString& path, const QString& recordedPath, QString& error) {
  const QString base = QFileInfo(path).fileName();
  for (int n = 1; n < 10000; ++n) {
    const QString name = n == 1 ? base : base + QLatin1Char('.') + QString::number(n);
    const QString infoFile = trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo");
    // The info file claims the name: made only when it does not exist yet.
    const int fd = ::open(QFile::encodeName(infoFile).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      error = NavSystemErrorText(errno);
      return false;
    }
    const QByteArray info = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(recordedPath, "/") + "\nDeletionDate=" +
                            QDateTime::currentDateTime().toString(Qt::ISODate).left(19).toUtf8() + "\n";
    const bool written = ::write(fd, info.constData(), static_cast<size_t>(info.size())) == info.size();
    ::close(fd);
    const QString target = trash + QStringLiteral("/files/") + name;
    if (written && ::renameat2(AT_FDCWD, QFile::encodeName(path).constData(), AT_FDCWD,
                               QFile::encodeName(target).constData(), RENAME_NOREPLACE) == 0)
      return true;
    const int failure = written ? errno : EIO;
    QFile::remove(infoFile);
    if (failure == EEXIST) continue;
    error = NavSystemErrorText(failure);
    return false;
  }
  error = NavSystemErrorText(EEXIST);
  return false;
}

}  // namespace

QString TTrash::HomeTrash() { return TXdgDirs::DataHome() + QStringLiteral("/Trash"); }

bool TTrash::MoveToTrash(const QString& path, QString& error) {
  const QString full = QFileInfo(path).absoluteFilePath();
  dev_t itemDevice = 0;
  if (!DeviceOf(full, itemDevice)) {
    error = NavSystemErrorText(errno);
    return false;
  }
  const QString home = HomeTrash();
  dev_t homeDevice = 0;
  QDir().mkpath(TXdgDirs::DataHome());
  if (DeviceOf(TXdgDirs::DataHome(), homeDevice) && homeDevice == itemDevice) {
    if (!Prepare(home, false)) {
      error = QStringLiteral("The trash folder \"") + home + QStringLiteral("\" cannot be used.");
      return false;
    }
    return MoveInto(home, full, full, error);
  }
  // Another volume: its own trash at the top of it, with paths relative to that top.
  const QString top = TMounts::ForPath(full).Root;
  const QString trash = (top == QLatin1String("/") ? QString() : top) + QStringLiteral("/.Trash-") +
                        QString::number(::getuid());
  dev_t topDevice = 0;
  if (!DeviceOf(top, topDevice) || topDevice != itemDevice || !Prepare(trash, true)) {
    error = QStringLiteral("There is no trash for \"") + full + QStringLiteral("\".");
    return false;
  }
  const QString relative = top == QLatin1String("/") ? full.mid(1) : full.mid(top.size() + 1);
  return MoveInto(trash, full, relative, error);
}

TTrash::TInfo TTrash::ReadInfo(const QString& name) {
  TInfo info;
  QFile file(HomeTrash() + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return info;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.startsWith("Path="))
      info.OriginalPath = QUrl::fromPercentEncoding(line.mid(5));
    else if (line.startsWith("DeletionDate="))
      info.Deleted = QDateTime::fromString(QString::fromUtf8(line.mid(13)), Qt::ISODate);
  }
  return info;
}

}  // namespace shell
