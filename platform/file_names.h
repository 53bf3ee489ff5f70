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
#include <cstdint>
#include <string>
#include <vector>

class QUrl;

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
/// Why the name cannot be read as a file's data: "" for a regular file, "is a folder", what
/// FileNameProblem says, or "not a regular file" (a device, a pipe).
QString RegularFileProblem(const QString& name);

/// What the system says of a name.
struct TFileNameInfo {
  bool Exists = false;       // stat, links followed
  bool IsFolder = false;     // a folder, or a link to one
  bool IsRegularFile = false;
  bool IsLink = false;       // the name itself is a symbolic link (lstat), even a broken one
  int64_t Size = 0;          // of what the name leads to
};
TFileNameInfo FileNameInfo(const QString& name);

/// One entry of a folder.
struct TFolderEntry {
  QString Name;  // FileNameFromBytes of the bytes the folder holds
  TFileNameInfo Info;
};
/// The entries of a folder as the system lists them (readdir), hidden ones included, "." and
/// ".." left out, in name order (QString::compare); empty when the folder cannot be read.
/// Unlike QDir, which leaves out every name that is not UTF-8, it lists every entry.
std::vector<TFolderEntry> ReadFolder(const QString& folder);

/// The local file a file: URL names, its percent-encoded bytes kept (QUrl::toLocalFile decodes
/// them as UTF-8 and loses those that are not); "" for any other URL.
QString FileNameFromUrl(const QUrl& url);

}  // namespace platform
