#include "app/settings/file_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include "platform/file_names.h"

namespace app {

bool SaveFileList(const QString& fileName, const QStringList& paths) {
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) return false;
  QByteArray bytes;
  for (const QString& path : paths) bytes += platform::FileNameToBytes(path) + '\n';
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

QStringList LoadFileList(const QString& fileName) {
  // Opened by its bytes: the list's own name may come from the file system too.
  const int fd = ::open(platform::FileNameToBytes(fileName).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  QFile file;
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return {};
  }
  QByteArray bytes = file.readAll();
  bytes.replace("\r", "");
  // Byte-order marks, also behind a stray carriage return, are no part of the first path (and a
  // saved list would lose it on the next read).
  while (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
  QList<QByteArray> lines = bytes.split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // the final line end
  const QDir listFolder = QFileInfo(fileName).absoluteDir();
  QStringList paths;
  for (const QByteArray& line : lines) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(line);
    if (!utf8.hasError()) {
      paths.append(text);
      continue;
    }
    const QString raw = platform::FileNameFromBytes(line);
    paths.append(platform::FileNameExists(listFolder.absoluteFilePath(raw)) ? raw
                                                                            : QString::fromLatin1(line));
  }
  return paths;
}

}  // namespace app
