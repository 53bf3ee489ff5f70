#pragma once
// A scratch folder of its own for each test, under the build tree's test folder.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace testing_support {

inline QTemporaryDir MakeTempFolder(const char* prefix) {
  const QString root = qEnvironmentVariable("CONVERTER_TEST_TMP", QDir::tempPath());
  QDir().mkpath(root);
  return QTemporaryDir(root + QLatin1Char('/') + QLatin1String(prefix) + QStringLiteral("-XXXXXX"));
}

inline QByteArray ReadBytes(const QString& fileName) {
  QFile file(fileName);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteBytes(const QString& fileName, const QByteArray& bytes) {
  QFile file(fileName);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace testing_support
