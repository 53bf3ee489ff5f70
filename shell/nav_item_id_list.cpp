#include "shell/nav_item_id_list.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "platform/file_names.h"
#include "shell/mounts.h"
#include "shell/xdg_dirs.h"

namespace shell {

namespace {

bool IsVirtual(const TNavSegment& s, const char* name) {
  return s.Kind == TNavSegmentKind::Virtual && s.Name == QLatin1String(name);
}

QString JoinEntries(QString base, const std::vector<TNavSegment>& items, size_t from) {
  for (size_t i = from; i < items.size(); ++i) {
    if (!base.endsWith(QLatin1Char('/'))) base += QLatin1Char('/');
    base += items[i].Name;
  }
  return base;
}

bool Exists(const QString& path) {
  struct stat st {};
  return ::lstat(platform::FileNameToBytes(path).constData(), &st) == 0;
}

// The cache of special-folder lists, rebuilt when the environment it came from changes.
struct TSpecialCache {
  QMutex Lock;
  QString Signature;
  std::array<INavItemIdList, kNavShellFolderCount> Lists;
  std::array<bool, kNavShellFolderCount> Made{};
};

TSpecialCache& SpecialCache() {
  static TSpecialCache cache;
  return cache;
}

QString EnvironmentSignature() {
  return TXdgDirs::Home() + QLatin1Char('\n') + TXdgDirs::ConfigHome() + QLatin1Char('\n') + TXdgDirs::DataHome() +
         QLatin1Char('\n') + TXdgDirs::CacheHome() + QLatin1Char('\n') + TXdgDirs::UserDir(QStringLiteral("DESKTOP"));
}

INavItemIdList MakeSpecial(TNavShellFolder folder) {
  using F = TNavShellFolder;
  switch (folder) {
    case F::SF_FILESYSTEMFOLDER:
      return TNavItemIdList::CreateNull();
    case F::SF_DESKTOP:
      return TNavItemIdList::Create({});
    case F::SF_DRIVES:
      return TNavItemIdList::Create({{TNavSegmentKind::Virtual, QLatin1String(kNavComputer)}});
    case F::SF_BITBUCKET:
      return TNavItemIdList::Create({{TNavSegmentKind::Virtual, QLatin1String(kNavTrash)}});
    case F::SF_PROFILE:
      return TNavItemIdList::Create({{TNavSegmentKind::Virtual, QLatin1String(kNavHome)}});
    default: {
      const QString place = SpecialFolderPlace(folder);
      if (place.isEmpty() || !QFileInfo(place).isDir()) return nullptr;
      return TNavItemIdList::CreateFromPath(place);
    }
  }
}

}  // namespace

TNavItemIdList::TNavItemIdList(std::vector<TNavSegment> segments, bool null)
    : FItems(std::move(segments)), FNull(null) {}

INavItemIdList TNavItemIdList::CreateNull() { return std::make_shared<TNavItemIdList>(std::vector<TNavSegment>{}, true); }

INavItemIdList TNavItemIdList::Create(std::vector<TNavSegment> segments) {
  return std::make_shared<TNavItemIdList>(std::move(segments), false);
}

INavItemIdList TNavItemIdList::CreateFromPath(const QString& path, const INavItemIdList& parentFolder) {
  if (path.isEmpty()) return GetSpecialFolderItemIdList(TNavShellFolder::SF_DRIVES);
  QString full = path;
  if (full == QLatin1String("~") || full.startsWith(QLatin1String("~/"))) {
    full = TXdgDirs::Home() + full.mid(1);
  } else if (!QDir::isAbsolutePath(full)) {
    const QString base = parentFolder ? parentFolder->GetPath() : QString();
    if (base.isEmpty()) {
      errno = ENOENT;
      return nullptr;
    }
    full = base + QLatin1Char('/') + full;
  }
  full = QDir::cleanPath(full);
  if (!Exists(full)) {
    errno = ENOENT;
    return nullptr;
  }
  return CreateFromAnyPath(full);
}

INavItemIdList TNavItemIdList::CreateFromAnyPath(const QString& path) {
  if (!QDir::isAbsolutePath(path)) return nullptr;
  const QString full = QDir::cleanPath(path);
  const TMountEntry mount = TMounts::ForPath(full);
  std::vector<TNavSegment> segments{{TNavSegmentKind::Virtual, QLatin1String(kNavComputer)},
                                    {TNavSegmentKind::Volume, mount.Root}};
  const QString rest = mount.Root == QLatin1String("/") ? full.mid(1) : full.mid(mount.Root.size() + 1);
  for (const QString& name : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts))
    segments.push_back({TNavSegmentKind::Entry, name});
  return Create(std::move(segments));
}

INavItemIdList TNavItemIdList::Combine(const INavItemIdList& child) const {
  if (!child || child->IsEmpty()) return shared_from_this();
  std::vector<TNavSegment> segments = FItems;
  segments.insert(segments.end(), child->FItems.begin(), child->FItems.end());
  return Create(std::move(segments));
}

INavItemIdList TNavItemIdList::GetAncestor(int count) const {
  if (FNull) return CreateNull();
  const size_t n = static_cast<size_t>(std::clamp(count, 0, GetCount()));
  return Create(std::vector<TNavSegment>(FItems.begin(), FItems.begin() + static_cast<long>(n)));
}

INavItemIdList TNavItemIdList::GetLastItem() const {
  if (FItems.empty()) return Create({});
  return Create({FItems.back()});
}

bool TNavItemIdList::IsEqual(const INavItemIdList& other) const {
  return other && !IsEmpty() && Compare(other) == 0 && GetCount() == other->GetCount();
}

int TNavItemIdList::Compare(const INavItemIdList& other) const {
  if (!other) return -1;
  if (FNull || other->FNull) return FNull == other->FNull ? 0 : (FNull ? -1 : 1);
  // The Desktop root has the desktop folder's path but is not that folder.
  const QString mine = FItems.empty() ? QString() : GetPath();
  const QString theirs = other->FItems.empty() ? QString() : other->GetPath();
  if (!mine.isEmpty() && !theirs.isEmpty()) {
    const int c = mine.compare(theirs, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  const size_t n = std::min(FItems.size(), other->FItems.size());
  for (size_t i = 0; i < n; ++i) {
    const TNavSegment& a = FItems[i];
    const TNavSegment& b = other->FItems[i];
    if (a.Kind != b.Kind) return a.Kind < b.Kind ? -1 : 1;
    const int c = a.Name.compare(b.Name, Qt::CaseSensitive);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  if (FItems.size() == other->FItems.size()) return 0;
  return FItems.size() < other->FItems.size() ? -1 : 1;
}

QString TNavItemIdList::GetPath() const {
  std::call_once(FPathOnce, [this] {
    if (FNull) return;
    if (FItems.empty()) {
      FPath = TXdgDirs::UserDir(QStringLiteral("DESKTOP"));
      return;
    }
    const TNavSegment& first = FItems.front();
    if (IsVirtual(first, kNavComputer)) {
      if (FItems.size() >= 2 && FItems[1].Kind == TNavSegmentKind::Volume) FPath = JoinEntries(FItems[1].Name, FItems, 2);
    } else if (IsVirtual(first, kNavHome)) {
      FPath = JoinEntries(TXdgDirs::Home(), FItems, 1);
    } else if (IsVirtual(first, kNavTrash)) {
      if (FItems.size() >= 2) FPath = JoinEntries(TXdgDirs::DataHome() + QLatin1String("/Trash/files"), FItems, 1);
    } else if (first.Kind == TNavSegmentKind::Volume) {
      FPath = JoinEntries(first.Name, FItems, 1);
    } else {
      const QString desktop = TXdgDirs::UserDir(QStringLiteral("DESKTOP"));
      if (!desktop.isEmpty()) FPath = JoinEntries(desktop, FItems, 0);
    }
  });
  return FPath;
}

TNavShellFolder TNavItemIdList::GetSpecialFolder() const {
  if (FNull) return TNavShellFolder::SF_INVALID;
  if (FSpecialKnown.load()) return static_cast<TNavShellFolder>(FSpecialFolder.load());
  TNavShellFolder result = TNavShellFolder::SF_FILESYSTEMFOLDER;
  for (int f = static_cast<int>(TNavShellFolder::SF_BITBUCKET); f <= static_cast<int>(TNavShellFolder::SF_LINKS); ++f) {
    const INavItemIdList special = GetSpecialFolderItemIdList(static_cast<TNavShellFolder>(f));
    if (NavIsEmpty(special)) continue;
    if (Compare(special) == 0) {
      result = static_cast<TNavShellFolder>(f);
      break;
    }
  }
  FSpecialFolder = static_cast<int>(result);
  FSpecialKnown = true;
  return result;
}

bool TNavItemIdList::IsSpecialFolder(TNavShellFolder folder) const {
  if (FSpecialKnown.load()) return static_cast<TNavShellFolder>(FSpecialFolder.load()) == folder;
  const INavItemIdList special = GetSpecialFolderItemIdList(folder);
  if (!special) return false;
  return Compare(special) == 0;
}

QString TNavItemIdList::GetDisplayName() const {
  if (FNull) return {};
  if (FItems.empty()) return QStringLiteral("Desktop");
  const TNavSegment& last = FItems.back();
  switch (last.Kind) {
    case TNavSegmentKind::Virtual:
      return last.Name;
    case TNavSegmentKind::Volume:
      if (last.Name == QLatin1String("/")) return QStringLiteral("File System");
      return QFileInfo(last.Name).fileName();
    default:
      return platform::DisplayFileName(last.Name);  // a byte that is not UTF-8 shows as U+FFFD
  }
}

INavItemIdList TNavItemIdList::GetLinkTarget() const {
  const QString path = GetPath();
  if (!path.isEmpty() && QFileInfo(path).isSymLink()) {
    const QString target = QFileInfo(path).canonicalFilePath();
    if (!target.isEmpty())
      if (INavItemIdList list = CreateFromPath(target)) return list;
  }
  return shared_from_this();
}

INavItemIdList GetSpecialFolderItemIdList(TNavShellFolder folder, bool shared) {
  const int index = static_cast<int>(folder);
  if (index < 0 || index >= kNavShellFolderCount || folder == TNavShellFolder::SF_INVALID) return nullptr;
  if (!shared) return MakeSpecial(folder);
  TSpecialCache& cache = SpecialCache();
  const QString signature = EnvironmentSignature();
  {
    QMutexLocker lock(&cache.Lock);
    if (signature != cache.Signature) {
      cache.Signature = signature;
      cache.Lists = {};
      cache.Made = {};
    }
    if (cache.Made[index]) return cache.Lists[index];
  }
  // Made outside the lock (making a list reads the mount table); the first one stored wins.
  INavItemIdList made = MakeSpecial(folder);
  QMutexLocker lock(&cache.Lock);
  if (cache.Signature == signature && !cache.Made[index]) {
    cache.Lists[index] = made;
    cache.Made[index] = true;
  }
  return cache.Signature == signature ? cache.Lists[index] : made;
}

QString SpecialFolderPlace(TNavShellFolder folder) {
  using F = TNavShellFolder;
  switch (folder) {
    case F::SF_DESKTOP:
    case F::SF_DESKTOPDIRECTORY:
      return TXdgDirs::UserDir(QStringLiteral("DESKTOP"));
    case F::SF_PROFILE:
      return TXdgDirs::Home();
    case F::SF_PERSONAL:
      return TXdgDirs::UserDir(QStringLiteral("DOCUMENTS"));
    case F::SF_MYPICTURES:
      return TXdgDirs::UserDir(QStringLiteral("PICTURES"));
    case F::SF_MY_MUSIC:
      return TXdgDirs::UserDir(QStringLiteral("MUSIC"));
    case F::SF_MY_VIDEOS:
      return TXdgDirs::UserDir(QStringLiteral("VIDEOS"));
    case F::SF_TEMPLATES:
      return TXdgDirs::UserDir(QStringLiteral("TEMPLATES"));
    case F::SF_COMMON_DOCUMENTS:
      return TXdgDirs::UserDir(QStringLiteral("PUBLICSHARE"));
    case F::SF_APPDATA:
      return TXdgDirs::ConfigHome();
    case F::SF_LOCAL_APPDATA:
      return TXdgDirs::DataHome();
    case F::SF_INTERNET_CACHE:
      return TXdgDirs::CacheHome();
    case F::SF_FONTS:
      return TXdgDirs::DataHome() + QLatin1String("/fonts");
    case F::SF_PROGRAMS:
      return TXdgDirs::DataHome() + QLatin1String("/applications");
    case F::SF_STARTUP:
      return TXdgDirs::ConfigHome() + QLatin1String("/autostart");
    default:
      return {};
  }
}

QString NavInFolderText() { return QStringLiteral("In Folder"); }
QString NavNewFolderText() { return QStringLiteral("New Folder"); }

namespace {

// Wildcard match of folded text against a folded pattern: "*" any run, "?" one character.
bool WildcardMatch(const QString& text, const QString& pattern) {
  int t = 0, p = 0, star = -1, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == QLatin1Char('?') || pattern[p] == text[t])) {
      ++t;
      ++p;
    } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
      star = p++;
      mark = t;
    } else if (star >= 0) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == QLatin1Char('*')) ++p;
  return p == pattern.size();
}

bool MatchOne(const QString& name, const QString& mask) {
  if (mask == QLatin1String("*") || mask == QLatin1String("*.*")) return true;
  if (mask == QLatin1String("*.")) return !name.contains(QLatin1Char('.'));
  return WildcardMatch(name, mask);
}

}  // namespace

bool NavMaskMatches(const QString& name, const QString& mask) {
  const QString folded = name.toCaseFolded();
  for (const QString& piece : mask.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const QString m = piece.trimmed().toCaseFolded();
    if (!m.isEmpty() && MatchOne(folded, m)) return true;
  }
  return false;
}

QString NavParentFolder(const QString& path) {
  QString p = path;
  while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
  const int slash = static_cast<int>(p.lastIndexOf(QLatin1Char('/')));
  if (slash < 0) return {};
  if (slash == 0) return QStringLiteral("/");
  return p.left(slash);
}

bool NavIsDotEntry(const QString& name) { return name == QLatin1String(".") || name == QLatin1String(".."); }

bool NavFileExists(const QString& path) {
  const platform::TFileNameInfo info = platform::FileNameInfo(path);
  return info.Exists && !info.IsFolder;
}

bool NavDirectoryExists(const QString& path) { return platform::IsFolderName(path); }

int NavPosEx(const QString& sub, const QString& text, int start) {
  if (sub.isEmpty() || start < 1) return 0;
  const auto pos = text.indexOf(sub, start - 1, Qt::CaseSensitive);
  return pos < 0 ? 0 : static_cast<int>(pos) + 1;
}

QString NavSystemErrorText(int code) { return QString::fromLocal8Bit(std::strerror(code)).trimmed(); }

QString NavTempPath() { return QDir::tempPath() + QLatin1Char('/'); }

bool NavIsReparsePoint(const QString& path) { return platform::FileNameInfo(path).IsLink; }

}  // namespace shell
