#include "app/run_window/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/run_window/run_format.h"
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

}  // namespace

TTemporaryOutput::~TTemporaryOutput() { Release(); }

bool TTemporaryOutput::Create(const QString& output, QString* error) {
  Release();
  const int nameMax = NameMax(output);
  // The output itself could not be named: nothing is converted for a rename that must fail.
  if (platform::FileNameToBytes(output.mid(output.lastIndexOf(QLatin1Char('/')) + 1)).size() > nameMax) {
    *error = output + QStringLiteral(": ") + SystemReason(ENAMETOOLONG);
    return false;
  }
  // A name taken by chance (or by a planted file or link) is passed over for another one.
  constexpr int KTries = 100;
  int reason = EEXIST;
  for (int i = 0; i < KTries && reason == EEXIST; ++i) {
    const QString path = TemporaryOutputName(output, UniqueText(), nameMax);
    const int fd = ::open(platform::FileNameToBytes(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      reason = errno;
      continue;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
      reason = errno;
      ::unlink(platform::FileNameToBytes(path).constData());
      ::close(fd);
      break;
    }
    FPath = path;
    FDescriptor = fd;
    FDevice = info.st_dev;
    FInode = info.st_ino;
    return true;
  }
  *error = output + QStringLiteral(": ") + SystemReason(reason);
  return false;
}

bool TTemporaryOutput::StillOurs() const { return !FPath.isEmpty() && IsFile(FPath, FDevice, FInode); }

void TTemporaryOutput::Remove() {
  if (StillOurs()) ::unlink(platform::FileNameToBytes(FPath).constData());
  Release();
}

void TTemporaryOutput::Release() {
  if (FDescriptor >= 0) ::close(FDescriptor);
  FDescriptor = -1;
  FPath.clear();
}

bool IsFile(const QString& path, dev_t device, ino_t inode) {
  struct stat info {};
  return ::lstat(platform::FileNameToBytes(path).constData(), &info) == 0 && info.st_dev == device &&
         info.st_ino == inode;
}

TMoveResult MoveWithoutReplacing(const QString& from, const QString& to, QString* error) {
  const QByteArray source = platform::FileNameToBytes(from);
  const QByteArray target = platform::FileNameToBytes(to);
  const auto failed = [error](int reason) {
    *error = SystemReason(reason);
    return reason == EEXIST ? TMoveResult::Exists : TMoveResult::Failed;
  };
  if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
    return TMoveResult::Moved;
  // EINVAL: the file system does not rename without replacing (some network and FUSE ones).
  if (errno != EINVAL && errno != ENOSYS) return failed(errno);
  if (::link(source.constData(), target.constData()) == 0) {
    ::unlink(source.constData());
    return TMoveResult::Moved;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return failed(errno);
  // No hard links (FAT): a file that appeared between the check and the rename would be replaced.
  struct stat info {};
  if (::lstat(target.constData(), &info) == 0) return failed(EEXIST);
  if (::rename(source.constData(), target.constData()) != 0) return failed(errno);
  return TMoveResult::Moved;
}

}  // namespace app
