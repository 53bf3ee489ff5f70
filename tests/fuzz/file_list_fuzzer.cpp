// Fuzzes the ".fls" reader: any bytes are read without a crash, and a list that was read is saved
// and read back to the same paths (a saved list never loses or changes an entry).

#include <cstddef>
#include <cstdint>

#include <QFile>
#include <QTemporaryDir>

#include "app/settings/file_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  static QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("list.fls"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) __builtin_trap();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
  }
  const QStringList first = app::LoadFileList(path);
  QStringList paths;
  // What a list can hold: one path per line, none empty, and none that begins with U+FEFF (a
  // first path like that cannot be told from a byte-order mark, which readers drop).
  for (const QString& line : first)
    if (!line.isEmpty() && !line.startsWith(QChar(0xFEFF))) paths.append(line);
  const QString again = dir.filePath(QStringLiteral("again.fls"));
  if (!app::SaveFileList(again, paths)) __builtin_trap();
  if (app::LoadFileList(again) != paths) __builtin_trap();
  return 0;
}
