#include "app/settings/file_list.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace app {

bool SaveFileList(const QString& fileName, const QStringList& paths) {
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) return false;
  QByteArray bytes;
  for (const QString& path : paths) bytes += path.toUtf8() + '\n';
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

QStringList LoadFileList(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray bytes = file.readAll();
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) text = QString::fromLatin1(bytes);
  text.remove(QLatin1Char('\r'));
  // Byte-order marks behind a stray carriage return are no part of the first path either (and a
  // saved list would lose it on the next read).
  while (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  QStringList lines = text.split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // the final line end
  return lines;
}

}  // namespace app
