#pragma once
// File names as the file system holds them. A Linux name is a string of bytes that need not be
// UTF-8 (names from old disks and archives are often Latin-1), and Qt decodes such a name to a
// text that no longer names the file. Here a name is a QString in which every byte that is not
// part of valid UTF-8 stands as the lone surrogate U+DC80..U+DCFF (0xDC00 + the byte), so the
// bytes come back exactly; valid UTF-8 decodes as Qt decodes it. Shown as text (DisplayFileName),
// such a byte is the replacement character U+FFFD.
//
// Qt's own file classes (QFile, QFileInfo, QDir) encode such a name wrongly: a name that may
// come from the file system goes to the system through FileNameBytes or the functions below.

#include <QByteArray>
#include <QString>
#include <string>

namespace platform {

/// The name for these bytes: UTF-8 decoded, every other byte kept as its surrogate.
QString FileNameFromBytes(const char* bytes, qsizetype size);
inline QString FileNameFromBytes(const QByteArray& bytes) {
  return FileNameFromBytes(bytes.data(), bytes.size());
}
inline QString FileNameFromBytes(const std::string& bytes) {
  return FileNameFromBytes(bytes.data(), qsizetype(bytes.size()));
}
/// The bytes of a name from FileNameFromBytes (any other text: its UTF-8).
QByteArray FileNameToBytes(const QString& name);
/// FileNameToBytes as the std::string that media/ and the finder take.
inline std::string FileNameBytes(const QString& name) { return FileNameToBytes(name).toStdString(); }

/// The name as text for people: each byte that is not UTF-8 shows as U+FFFD (Qt's toUtf8 alone
/// would write "?").
QString DisplayFileName(QString name);

/// Why the system cannot look at the name (stat, links followed): "" when it can, "no such file"
/// when nothing has that name, else the system's own text ("Permission denied": a folder on the
/// way may not be searched).
QString FileNameProblem(const QString& name);
/// What the system says of the name (stat, links followed): false when it cannot be asked.
bool FileNameExists(const QString& name);
bool IsFolderName(const QString& name);
bool IsRegularFileName(const QString& name);

}  // namespace platform
