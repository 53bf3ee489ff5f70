#include "platform/file_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // + a byte from 0x80 to 0xFF

// A lone surrogate that stands for a byte (the caller has passed over the halves of pairs).
bool IsEscape(char16_t unit) { return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF; }

// The length of the valid UTF-8 sequence at text[0] (RFC 3629: no overlong forms, no surrogates,
// nothing above U+10FFFF), or 0.
int ValidSequence(const unsigned char* text, qsizetype left, char32_t& code) {
  const unsigned char lead = text[0];
  int length = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
    min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (left < length) return 0;
  for (int i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (text[i] & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool Stat(const QString& name, struct stat& info) {
  return !name.isEmpty() && ::stat(FileNameToBytes(name).constData(), &info) == 0;
}

// What fstatat says of `bytes` (relative to the folder `folder`, or AT_FDCWD).
TFileNameInfo InfoAt(int folder, const char* bytes) {
  TFileNameInfo result;
  struct stat info {};
  result.IsLink = ::fstatat(folder, bytes, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
  if (::fstatat(folder, bytes, &info, 0) != 0) return result;
  result.Exists = true;
  result.IsFolder = S_ISDIR(info.st_mode);
  result.IsRegularFile = S_ISREG(info.st_mode);
  result.Size = static_cast<int64_t>(info.st_size);
  return result;
}

}  // namespace

QString FileNameFromBytes(const char* bytes, qsizetype size) {
  const auto* text = reinterpret_cast<const unsigned char*>(bytes);
  QString name;
  name.reserve(size);
  for (qsizetype i = 0; i < size;) {
    char32_t code = 0;
    const int length = ValidSequence(text + i, size - i, code);
    if (length == 0) {
      name.append(QChar(char16_t(kEscapeBase + text[i])));
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      const char32_t both[] = {code};
      name.append(QString::fromUcs4(both, 1));
    } else {
      name.append(QChar(char16_t(code)));
    }
    i += length;
  }
  return name;
}

QByteArray FileNameToBytes(const QString& name) {
  QByteArray bytes;
  bytes.reserve(name.size());
  const QStringView text(name);
  qsizetype runStart = 0;  // of the text not yet written, all of it UTF-8
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      ++i;  // a character beyond U+FFFF: its low half is no byte
    } else if (IsEscape(unit)) {
      bytes.append(text.mid(runStart, i - runStart).toUtf8());
      bytes.append(char(unit - kEscapeBase));
      runStart = i + 1;
    }
  }
  bytes.append(text.mid(runStart).toUtf8());
  return bytes;
}

QString DisplayFileName(QString name) {
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
      ++i;  // a character beyond U+FFFF
    else if (IsEscape(name[i].unicode()))
      name[i] = QChar::ReplacementCharacter;
  }
  return name;
}

QString FileNameProblem(const QString& name) {
  struct stat info {};
  if (name.isEmpty()) return QStringLiteral("no such file");
  if (::stat(FileNameToBytes(name).constData(), &info) == 0) return QString();
  const int error = errno;
  if (error == ENOENT || error == ENOTDIR) return QStringLiteral("no such file");
  return QString::fromLocal8Bit(std::strerror(error));
}

bool FileNameExists(const QString& name) {
  struct stat info {};
  return Stat(name, info);
}

bool IsFolderName(const QString& name) {
  struct stat info {};
  return Stat(name, info) && S_ISDIR(info.st_mode);
}

bool IsRegularFileName(const QString& name) {
  struct stat info {};
  return Stat(name, info) && S_ISREG(info.st_mode);
}

QString RegularFileProblem(const QString& name) {
  if (IsRegularFileName(name)) return QString();
  if (IsFolderName(name)) return QStringLiteral("is a folder");
  const QString problem = FileNameProblem(name);
  return problem.isEmpty() ? QStringLiteral("not a regular file") : problem;
}

TFileNameInfo FileNameInfo(const QString& name) {
  if (name.isEmpty()) return {};
  return InfoAt(AT_FDCWD, FileNameToBytes(name).constData());
}

std::vector<TFolderEntry> ReadFolder(const QString& folder) {
  std::vector<TFolderEntry> entries;
  if (folder.isEmpty()) return entries;
  DIR* dir = ::opendir(FileNameToBytes(folder).constData());
  if (dir == nullptr) return entries;
  const int fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const char* bytes = entry->d_name;
    if (std::strcmp(bytes, ".") == 0 || std::strcmp(bytes, "..") == 0) continue;
    entries.push_back({FileNameFromBytes(bytes, qsizetype(std::strlen(bytes))), InfoAt(fd, bytes)});
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(),
            [](const TFolderEntry& a, const TFolderEntry& b) { return a.Name.compare(b.Name) < 0; });
  return entries;
}

QString FileNameFromUrl(const QUrl& url) {
  if (!url.isValid() || !url.isLocalFile()) return QString();
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (bytes.isEmpty()) return QString();
  // A file on another host (file://server/share) keeps its host as QUrl::toLocalFile does.
  const QString host = url.host();
  return host.isEmpty() ? FileNameFromBytes(bytes) : QStringLiteral("//") + host + FileNameFromBytes(bytes);
}

}  // namespace platform
