#pragma once
// The files a conversion leaves: its temporary output, made so that nobody else's file can stand
// in for it, and the move of a finished one to its output name, which never replaces a file.

#include <sys/types.h>
#include <QString>

namespace app {

/// The hidden file a conversion writes into before it becomes the output (TemporaryOutputName):
/// made new, empty and exclusively by this process under a name nobody can guess, never through a
/// link planted at that name. Kept open while it lives, so its identity stays its own.
class TTemporaryOutput {
 public:
  TTemporaryOutput() = default;
  ~TTemporaryOutput();
  TTemporaryOutput(const TTemporaryOutput&) = delete;
  TTemporaryOutput& operator=(const TTemporaryOutput&) = delete;

  /// Makes the file for output (the one made before is let go, not removed). False with *error
  /// ("<output>: <reason>") when it cannot be made, or when output's own name is too long for its
  /// folder.
  bool Create(const QString& output, QString* error);
  /// Empty when there is none.
  const QString& Path() const { return FPath; }
  /// Path still names the file Create made: no link and no other file has taken its place.
  bool StillOurs() const;
  /// Removes the file when Path still names it, and lets it go.
  void Remove();
  /// Lets the file go without removing it (it was moved to its output name).
  void Release();

 private:
  QString FPath;
  int FDescriptor = -1;
  dev_t FDevice = 0;
  ino_t FInode = 0;
};

enum class TMoveResult { Moved, Exists, Failed };

/// Renames from to to when nothing has the name to: a file that appears there meanwhile is never
/// replaced (Exists). Where the file system cannot rename without replacing, a hard link is made
/// under the new name and the old one removed; where it has no hard links either, the name is
/// checked just before an ordinary rename. Failed sets *error to the system's reason.
TMoveResult MoveWithoutReplacing(const QString& from, const QString& to, QString* error);

/// path names (itself, not what a link at it points to) the file of device and inode.
bool IsFile(const QString& path, dev_t device, ino_t inode);

}  // namespace app
