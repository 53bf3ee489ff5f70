#pragma once
// File lists on the clipboard and in drag and drop, and the path, macro and text routines the
// shell components share.

#include <QDateTime>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "shell/nav_item_id_list.h"

class QLineEdit;

namespace shell {

/// Misuse of a shell routine.
class EShellBrowserError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EInvalidOperation : public EShellBrowserError {
 public:
  using EShellBrowserError::EShellBrowserError;
};

/// The payload file managers exchange for a list of files: text/uri-list (CRLF lines of file
/// URLs), the copied-files marker ("copy"/"cut" and the URLs) and the same paths as plain text.
std::unique_ptr<QMimeData> GetDropFiles(const QStringList& paths, bool cut = false);
/// Adds the file-list formats of paths to an existing payload.
void AddDropFilesToDataObject(const QStringList& paths, QMimeData* data, bool cut = false);
/// The local paths in a payload: text/uri-list, else the copied-files marker. Remote URLs are
/// left out, and so are names containing a line break (a file list could not hold them).
QStringList GetFilesFromDataObject(const QMimeData* data);
/// True when the payload was cut rather than copied.
bool IsCutData(const QMimeData* data);
QStringList GetClipboardFiles();
/// The existing files and folders that plain text names, one a line: absolute paths (also in
/// quotes) and file:// URIs, as a terminal, an editor or a browser's address bar copies them.
/// Every other line is left out.
QStringList GetExistingPathsFromText(const QString& text);
/// The clipboard's files (GetClipboardFiles); when it holds none, the existing paths its plain
/// text names (GetExistingPathsFromText).
QStringList GetClipboardPaths();

/// A mount root ("/", "/media/usb").
bool IsDriveRoot(const QString& path);
/// Mounted and readable.
bool IsDriveReady(const QString& path);
bool PathExists(const QString& path);
/// Creates the folder and its missing parents; throws EInvalidOperation for an empty path.
bool NavForceDirectories(const QString& path);
/// An absolute local path.
bool IsDrivePath(const QString& path);
/// "//server/share..." style names; local paths never are.
bool IsUncPath(const QString& path);
/// On a network file system.
bool IsNetworkPath(const QString& path);
/// The path's extension equals extension (with or without its dot), any case.
bool HasExtension(const QString& path, const QString& extension);
/// Equal after a trailing "/" is removed; case-sensitive.
bool SamePath(const QString& a, const QString& b);
/// Size in bytes, -1 when the path does not exist.
int64_t GetFileSize64(const QString& path);
/// "1,234 KB" (kilobytes) or "1.2 MB"; empty for a negative value.
QString FormatSizeText(bool kilobytes, int64_t value);
/// Natural order: "file2" before "file10"; case-insensitive, then case as a tie-breaker.
int CompareLogical(const QString& a, const QString& b);
/// Expands %VAR% (and $VAR) from the environment, a leading "~", and %DATE% (yyyy-mm-dd),
/// %TIME% (hh-mm-ss) and %MYDOCUMENTS% in any case.
QString ExpandPathMacros(const QString& text);
QString ExpandPathMacros(const QString& text, const QDateTime& now);
/// Where a symbolic link points, as an absolute path; "" for anything else.
QString ResolveLinkTarget(const QString& link);
/// Typing help for a path field: with fileSystem, completion of folders and files, each folder
/// read from the disk as it is typed (AttachPathCompletion); without, no completion.
bool SetAutoComplete(QLineEdit* edit, bool fileSystem, bool urls);
/// The path of a special folder; "" when it has none here or does not exist.
QString GetSpecialFolderPath(TNavShellFolder folder);

}  // namespace shell
