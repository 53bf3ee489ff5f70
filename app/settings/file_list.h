#pragma once
// File lists (".fls"): plain text, one full path per line, in list order.

#include <QString>
#include <QStringList>

namespace app {

/// Open and save dialog filter and default suffix of file lists.
inline constexpr const char* kFileListFilter = "VC Filelist (*.fls)";
inline constexpr const char* kFileListSuffix = "fls";

/// Writes paths as UTF-8, one per line, atomically. Returns false when the file could not be
/// written; an existing file then stays as it was.
bool SaveFileList(const QString& fileName, const QStringList& paths);
/// Reads one path per line. UTF-8 (with or without a byte-order mark) when the file is valid
/// UTF-8, else Latin-1, which is what lists written by older versions and plain editors hold;
/// carriage returns are dropped, so CRLF files read the same. A missing file gives an empty list.
QStringList LoadFileList(const QString& fileName);

}  // namespace app
