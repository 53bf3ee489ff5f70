#pragma once
// File-system checks the windows make before they write.

#include <QString>

namespace platform {

/// True when a file can be created and deleted again in folder: a uniquely named file with the
/// prefix "$" is created there and removed. Permission bits alone do not tell (read-only mounts,
/// ACLs, full disks), so the folder is tried for real. Leaves nothing behind.
bool IsFolderWritable(const QString& folder);

/// folder with a '/' at its end (added only when missing), as output names are built by appending a file name.
QString WithTrailingSlash(const QString& folder);

}  // namespace platform
