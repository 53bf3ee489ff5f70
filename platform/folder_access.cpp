#include "platform/folder_access.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cstdlib>

namespace platform {

bool IsFolderWritable(const QString& folder) {
  if (folder.isEmpty()) return false;
  QByteArray name = QFile::encodeName(QDir(folder).filePath(QStringLiteral("$XXXXXX")));
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  ::close(fd);
  return ::unlink(name.constData()) == 0;
}

QString WithTrailingSlash(const QString& folder) {
  return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

}  // namespace platform
