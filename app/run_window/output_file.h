#pragma once
// The files a conversion leaves: its temporary output, made so that nobody else's file can stand
// in for it, and the move of a finished one to its output name, which never replaces a file.

#include <sys/stat.h>
#include <sys/types.h>
#include <QString>

namespace app {

enum class TMoveResult { Moved, Exists, Failed };

/// The file a conversion writes into before it becomes the output: made new, empty and
/// exclusively by this process, under the output's own name, in a folder of its own that it makes
/// beside the output (hidden, a name nobody can guess, open to this user alone). Nobody else can
/// put a link or a file of theirs in that folder. The folder is kept open while it lives, and the
/// encoder is given a name that reaches the file through it (WritePath): a folder renamed away and
/// another one put at its name by whoever can write the output's folder is never written into.
class TTemporaryOutput {
 public:
  /// How the folder made is read back: fstat, or in tests one that shows what another file
  /// system shows (fixed modes, another owner).
  using TStatFolder = int (*)(int fd, struct stat* info);
  explicit TTemporaryOutput(TStatFolder statFolder = ::fstat) : FStatFolder(statFolder) {}
  ~TTemporaryOutput();
  TTemporaryOutput(const TTemporaryOutput&) = delete;
  TTemporaryOutput& operator=(const TTemporaryOutput&) = delete;

  /// Makes the folder and the file for output (removing the ones made before). False with *error
  /// ("<output>: <reason>") when they cannot be made, or when output's own name is too long for
  /// its folder: any output name that fits has a temporary file that fits too.
  bool Create(const QString& output, QString* error);
  /// Where the file is: "/out/.<unique>/clip.avi" for "/out/clip.avi". Empty when there is none.
  const QString& Path() const { return FPath; }
  /// The name to open the file by for writing, the output's extension last (the muxer is chosen
  /// by it): through the folder this object holds open ("/proc/self/fd/<n>/clip.avi"), not through
  /// the output's folder. Path where the system has no /proc. Empty when there is none.
  const QString& WritePath() const { return FWritePath; }
  /// The file made by Create is still in its folder: no link and no other file took its place.
  bool StillOurs() const;
  /// Moves the file to to when nothing has that name, as MoveWithoutReplacing.
  TMoveResult MoveTo(const QString& to, QString* error) const;
  /// Moves the file to to in one step, replacing what is there. False with *error.
  bool ReplaceTo(const QString& to, QString* error) const;
  /// Removes what has the file's name in its folder (a link, not what it points to), then the
  /// folder when it is still at its name, and lets both go. A file moved to its output is not
  /// there any more: only the folder goes.
  void Remove();

 private:
  QString FPath;
  QString FWritePath;
  QString FFolder;
  QByteArray FName;  // of the file in its folder, in the file system's encoding
  TStatFolder FStatFolder;
  int FFolderFd = -1;
  // The file stays open while it lives, though nothing is written through it: an open file keeps
  // its inode, which no other file can then be given, so StillOurs's device and inode name it.
  int FFileFd = -1;
  dev_t FFolderDevice = 0;
  ino_t FFolderInode = 0;
  dev_t FDevice = 0;
  ino_t FInode = 0;
};

/// Renames from to to when nothing has the name to: a file that appears there meanwhile is never
/// replaced (Exists). Where the file system cannot rename without replacing, a hard link is made
/// under the new name and the old one removed; where it has no hard links either, the name is
/// checked just before an ordinary rename. Failed sets *error to the system's reason.
TMoveResult MoveWithoutReplacing(const QString& from, const QString& to, QString* error);
/// The same for the file fromName in the folder open as fromFolder (AT_FDCWD: the working one).
TMoveResult MoveWithoutReplacing(int fromFolder, const QByteArray& fromName, const QString& to,
                                 QString* error);

/// path names (itself, not what a link at it points to) the file of device and inode.
bool IsFile(const QString& path, dev_t device, ino_t inode);

}  // namespace app
