#include "app/run_window/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_names.h"

namespace app {

namespace {

QString SystemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Eight letters and digits from the system's random source: some 2^47 names.
QString UniqueText() {
  static const char KAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  QString text;
  for (int i = 0; i < 8; ++i)
    text += QLatin1Char(KAlphabet[QRandomGenerator::system()->bounded(int(sizeof(KAlphabet) - 1))]);
  return text;
}

// The longest file name the folder of path takes, in bytes.
int NameMax(const QString& path) {
  const int slash = static_cast<int>(path.lastIndexOf(QLatin1Char('/')));
  const QByteArray folder = platform::FileNameToBytes(slash > 0 ? path.left(slash) : QStringLiteral("/"));
  const long max = ::pathconf(folder.constData(), _PC_NAME_MAX);
  return max > 0 ? static_cast<int>(max) : 255;
}

bool IsFileAt(int folder, const char* name, dev_t device, ino_t inode) {
  struct stat info {};
  return ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && info.st_dev == device &&
         info.st_ino == inode;
}

}  // namespace

TTemporaryOutput::~TTemporaryOutput() { Remove(); }

bool TTemporaryOutput::Create(const QString& output, QString* error) {
  Remove();
  const int slash = static_cast<int>(output.lastIndexOf(QLatin1Char('/')));
  const QString parent = slash > 0 ? output.left(slash) : QStringLiteral("/");
  const QByteArray name = platform::FileNameToBytes(output.mid(slash + 1));
  // The output itself could not be named: nothing is converted for a rename that must fail. Any
  // name that fits takes the file in the folder as it is, the folder's name being short.
  if (name.size() > NameMax(output)) {
    *error = output + QStringLiteral(": ") + SystemReason(ENAMETOOLONG);
    return false;
  }
  // A name taken by chance (or by a planted file, folder or link) is passed over for another one.
  // mkdir never makes its folder through a link, and the folder is this user's alone.
  constexpr int KTries = 100;
  int reason = EEXIST;
  QString folder;
  for (int i = 0; i < KTries && reason == EEXIST; ++i) {
    folder = parent + QStringLiteral("/.") + UniqueText();
    reason = ::mkdir(platform::FileNameToBytes(folder).constData(), 0700) == 0 ? 0 : errno;
  }
  const bool made = reason == 0;
  // The folder is opened by the name just made, which someone may have given to another folder
  // meanwhile: O_NOFOLLOW turns away a link, and a folder of another user is refused.
  const int folderFd = reason != 0 ? -1
                                   : ::open(platform::FileNameToBytes(folder).constData(),
                                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat folderInfo {};
  if (reason == 0 && folderFd < 0) reason = errno;
  if (reason == 0 && FStatFolder(folderFd, &folderInfo) != 0) reason = errno;
  if (reason == 0 && folderInfo.st_uid != ::geteuid()) reason = EPERM;
  // A folder others could write is made this user's alone. File systems without modes of their
  // own (FAT and exFAT show the mount's mask; NTFS through ntfs-3g, as udisks2 mounts it, 0777)
  // refuse or ignore the change: such a folder is taken all the same, nobody else owning it.
  if (reason == 0 && (folderInfo.st_mode & 022) != 0 && ::fchmod(folderFd, 0700) == 0 &&
      FStatFolder(folderFd, &folderInfo) != 0)
    reason = errno;
  const int fd = reason != 0 ? -1
                             : ::openat(folderFd, name.constData(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  struct stat info {};
  if (reason == 0 && fd < 0) reason = errno;
  if (reason == 0 && ::fstat(fd, &info) != 0) reason = errno;
  if (reason != 0) {
    if (fd >= 0) {
      ::unlinkat(folderFd, name.constData(), 0);
      ::close(fd);
    }
    if (folderFd >= 0) ::close(folderFd);
    // Made here, and empty: rmdir removes nothing else.
    if (made) ::rmdir(platform::FileNameToBytes(folder).constData());
    *error = output + QStringLiteral(": ") + SystemReason(reason);
    return false;
  }
  FFolder = folder;
  FName = name;
  FPath = folder + QLatin1Char('/') + output.mid(slash + 1);
  FFolderFd = folderFd;
  FFileFd = fd;
  FFolderDevice = folderInfo.st_dev;
  FFolderInode = folderInfo.st_ino;
  FDevice = info.st_dev;
  FInode = info.st_ino;
  // /proc/self/fd/<n> is the folder itself, wherever it went: the check finds /proc mounted.
  const QString held = QStringLiteral("/proc/self/fd/%1").arg(folderFd);
  struct stat heldInfo {};
  const bool reachable = ::stat(QFile::encodeName(held).constData(), &heldInfo) == 0 &&
                         heldInfo.st_dev == FFolderDevice && heldInfo.st_ino == FFolderInode;
  FWritePath = reachable ? held + QLatin1Char('/') + output.mid(slash + 1) : FPath;
  return true;
}

bool TTemporaryOutput::StillOurs() const {
  return FFolderFd >= 0 && IsFileAt(FFolderFd, FName.constData(), FDevice, FInode);
}

TMoveResult TTemporaryOutput::MoveTo(const QString& to, QString* error) const {
  return MoveWithoutReplacing(FFolderFd, FName, to, error);
}

bool TTemporaryOutput::ReplaceTo(const QString& to, QString* error) const {
  if (::renameat(FFolderFd, FName.constData(), AT_FDCWD, platform::FileNameToBytes(to).constData()) == 0)
    return true;
  *error = SystemReason(errno);
  return false;
}

void TTemporaryOutput::Remove() {
  // Whatever has the name in the folder of its own goes: only this user can have put it there,
  // and removing a link leaves what it points to alone.
  if (FFolderFd >= 0) ::unlinkat(FFolderFd, FName.constData(), 0);
  // A folder renamed away is left where it went (empty); one planted at its name is not ours.
  if (FFolderFd >= 0 && IsFile(FFolder, FFolderDevice, FFolderInode))
    ::rmdir(platform::FileNameToBytes(FFolder).constData());
  if (FFileFd >= 0) ::close(FFileFd);
  if (FFolderFd >= 0) ::close(FFolderFd);
  FFileFd = -1;
  FFolderFd = -1;
  FPath.clear();
  FWritePath.clear();
  FFolder.clear();
  FName.clear();
}

bool IsFile(const QString& path, dev_t device, ino_t inode) {
  return IsFileAt(AT_FDCWD, platform::FileNameToBytes(path).constData(), device, inode);
}

TMoveResult MoveWithoutReplacing(const QString& from, const QString& to, QString* error) {
  return MoveWithoutReplacing(AT_FDCWD, platform::FileNameToBytes(from), to, error);
}

TMoveResult MoveWithoutReplacing(int fromFolder, const QByteArray& fromName, const QString& to,
                                 QString* error) {
  const QByteArray target = platform::FileNameToBytes(to);
  const char* source = fromName.constData();
  const auto failed = [error](int reason) {
    *error = SystemReason(reason);
    return reason == EEXIST ? TMoveResult::Exists : TMoveResult::Failed;
  };
  if (::renameat2(fromFolder, source, AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
    return TMoveResult::Moved;
  // EINVAL: the file system does not rename without replacing (some network and FUSE ones).
  if (errno != EINVAL && errno != ENOSYS) return failed(errno);
  if (::linkat(fromFolder, source, AT_FDCWD, target.constData(), 0) == 0) {
    ::unlinkat(fromFolder, source, 0);
    return TMoveResult::Moved;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return failed(errno);
  // No hard links (FAT): a file that appeared between the check and the rename would be replaced.
  struct stat info {};
  if (::lstat(target.constData(), &info) == 0) return failed(EEXIST);
  if (::renameat(fromFolder, source, AT_FDCWD, target.constData()) != 0) return failed(errno);
  return TMoveResult::Moved;
}

}  // namespace app
