// Fuzzes the settings file reader: any text is read without a crash, and what the reader makes of
// it survives a write and a second read unchanged (the settings a user has are never lost by
// saving them).

#include <cstddef>
#include <cstdint>

#include <QFile>
#include <QTemporaryDir>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  static QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("converter.ini"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) __builtin_trap();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
  }
  platform::TIniFile first(path);
  const QString text = first.Text();
  // Reading the keys of the settings file never fails.
  (void)first.ReadString(QStringLiteral("Converter"), QStringLiteral("OutputPath"), QString());
  (void)first.ReadInteger(QStringLiteral("Settings"), QStringLiteral("VideoFormat"), -1);
  (void)first.ReadBool(QStringLiteral("Converter"), QStringLiteral("CheckUpdate"), true);
  // A value written in is read back as written (line breaks become blanks, blanks are trimmed).
  first.WriteString(QStringLiteral("Fuzz"), QStringLiteral("Key"), QStringLiteral("value"));
  if (first.ReadString(QStringLiteral("Fuzz"), QStringLiteral("Key"), QString()) != QStringLiteral("value"))
    __builtin_trap();
  if (!first.UpdateFile()) __builtin_trap();
  const platform::TIniFile second(path);
  if (second.Text() != first.Text()) __builtin_trap();
  (void)text;
  return 0;
}
