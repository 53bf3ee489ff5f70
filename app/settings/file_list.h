#pragma once
// File lists (".fls"): plain text, one full path per line, in list order.

#include <QString>
#include <QStringList>

namespace app {

/// Open and save dialog filter and default suffix of file lists.
inline constexpr const char* kFileListFilter = "VC Filelist (*.fls)";
inline constexpr const char* kFileListSuffix = "fls";

/// Writes paths as the file system holds them (UTF-8, or the bytes of a name that is not),
/// one per line, atomically. Returns false when the file could not be written; an existing file
/// then stays as it was.
bool SaveFileList(const QString& fileName, const QStringList& paths);
/// Reads one path per line (UTF-8, with or without a byte-order mark); carriage returns are
/// dropped, so CRLF files read the same. A line that is not UTF-8 keeps its bytes when they name
/// an existing file (a relative line: in the list's folder), as a name from an old disk does;
/// otherwise it is Latin-1, which is what lists written by older versions and plain editors
/// hold. A missing file gives an empty list.
QStringList LoadFileList(const QString& fileName);

}  // namespace app
