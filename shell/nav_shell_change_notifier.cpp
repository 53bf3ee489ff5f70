#include "shell/nav_shell_change_notifier.h"

#include <QDir>
#include <QSocketNotifier>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "platform/file_names.h"

namespace shell {

namespace {

// Subfolders watched below one watched folder at most; inotify watches are a per-user resource.
constexpr int kMaxRecursiveWatches = 1024;
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                                IN_DELETE_SELF | IN_MOVE_SELF;
// Repeats of one notification within this many milliseconds are dropped.
constexpr uint64_t kRepeatMs = 1000;

uint64_t SteadyMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

TNavShellChangeNotifier::TNavShellChangeNotifier(QObject* owner) : TNavBaseComponent(owner) {}

TNavShellChangeNotifier::~TNavShellChangeNotifier() { Stop(); }

void TNavShellChangeNotifier::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  if (enabled)
    Start();
  else
    Stop();
}

void TNavShellChangeNotifier::SetRecursive(bool recursive) {
  if (recursive == FRecursive) return;
  FRecursive = recursive;
  if (FStarted) {
    Stop();
    Start();
  }
}

void TNavShellChangeNotifier::SetEventFilter(TNotificationEvents filter) {
  if (filter == FEventFilter) return;
  Stop();
  FEventFilter = filter;
  Start();
}

void TNavShellChangeNotifier::AddPath(const QString& path) {
  const QString p = path.size() > 1 && path.endsWith(QLatin1Char('/')) ? QDir::cleanPath(path) : path;
  if (FPaths.contains(p)) return;
  FPaths.append(p);
  if (FStarted && !p.isEmpty()) AddWatch(p, FRecursive);
}

void TNavShellChangeNotifier::RemovePath(const QString& path) {
  if (FPaths.removeAll(path) == 0) return;
  if (FStarted) {
    Stop();
    Start();
  }
}

void TNavShellChangeNotifier::WatchIDList(const INavItemIdList& list) {
  FWatched = list;
  if (FStarted) Stop();
  Start();
}

void TNavShellChangeNotifier::Start() {
  if (!FEnabled || FStarted) return;
  FStarted = true;
  FInotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (FInotify >= 0) {
    FNotifier = std::make_unique<QSocketNotifier>(FInotify, QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] { ReadEvents(); });
    for (const QString& path : FPaths)
      if (!path.isEmpty()) AddWatch(path, FRecursive);
    if (!NavIsEmpty(FWatched) && !FWatched->GetPath().isEmpty()) AddWatch(FWatched->GetPath(), false);
  }
  // Volumes: the kernel marks /proc/self/mountinfo when the table changes.
  FMounts = TMounts::All();
  FMountFd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (FMountFd >= 0) {
    FMountNotifier = std::make_unique<QSocketNotifier>(FMountFd, QSocketNotifier::Exception);
    connect(FMountNotifier.get(), &QSocketNotifier::activated, this, [this] {
      char buffer[4096];
      ::lseek(FMountFd, 0, SEEK_SET);
      while (::read(FMountFd, buffer, sizeof buffer) > 0) {
      }
      CheckMounts();
    });
  }
}

void TNavShellChangeNotifier::Stop() {
  if (!FStarted) return;
  FStarted = false;
  FNotifier.reset();
  FMountNotifier.reset();
  if (FInotify >= 0) ::close(FInotify);  // drops every watch
  if (FMountFd >= 0) ::close(FMountFd);
  FInotify = FMountFd = -1;
  FWatches.clear();
}

QStringList TNavShellChangeNotifier::WatchedPaths() const {
  QStringList paths;
  for (const QString& path : FPaths)
    if (!path.isEmpty()) paths.append(path);  // the empty path is Computer: volumes, not inotify
  if (!NavIsEmpty(FWatched)) {
    const QString watched = FWatched->GetPath();
    if (!watched.isEmpty() && !paths.contains(watched)) paths.append(watched);
  }
  return paths;
}

void TNavShellChangeNotifier::AddWatch(const QString& path, bool recursive) {
  if (FInotify < 0) return;
  // The names' own bytes: a folder whose name is not UTF-8 is watched too.
  const int wd = ::inotify_add_watch(FInotify, platform::FileNameToBytes(path).constData(), kWatchMask);
  if (wd < 0) return;
  FWatches[wd] = path;
  if (!recursive) return;
  // The folders below, links not followed.
  std::vector<QString> pending{path};
  while (!pending.empty() && static_cast<int>(FWatches.size()) < kMaxRecursiveWatches) {
    const QString folder = std::move(pending.back());
    pending.pop_back();
    for (const platform::TFolderEntry& entry : platform::ReadFolder(folder)) {
      if (!entry.Info.IsFolder || entry.Info.IsLink) continue;
      if (static_cast<int>(FWatches.size()) >= kMaxRecursiveWatches) break;
      const QString sub = folder + QLatin1Char('/') + entry.Name;
      const int subWd = ::inotify_add_watch(FInotify, platform::FileNameToBytes(sub).constData(), kWatchMask);
      if (subWd >= 0) FWatches[subWd] = sub;
      pending.push_back(sub);
    }
  }
}

void TNavShellChangeNotifier::ReadEvents() {
  alignas(inotify_event) char buffer[16384];
  struct TPendingMove {
    QString Path;
    bool Folder;
  };
  std::map<uint32_t, TPendingMove> movedFrom;  // renames are paired by cookie
  for (;;) {
    const ssize_t length = ::read(FInotify, buffer, sizeof buffer);
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        // The kernel dropped events: every watched place may have changed unseen.
        for (const QString& path : WatchedPaths()) Notify(TNotificationEvent::neFolderUpdate, path);
        continue;
      }
      const auto found = FWatches.find(event->wd);
      if (found == FWatches.end()) continue;
      const QString folder = found->second;
      if (event->mask & IN_IGNORED) {
        FWatches.erase(found);
        continue;
      }
      // The name's own bytes (QFile::decodeName would turn a byte that is not UTF-8 into U+FFFD,
      // a name no file has).
      const QString path =
          event->len > 0 ? folder + QLatin1Char('/') + platform::FileNameFromBytes(event->name, qsizetype(std::strlen(event->name)))
                         : folder;
      const bool isFolder = (event->mask & IN_ISDIR) != 0;
      using E = TNotificationEvent;
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        Notify(E::neFolderDelete, folder);
      } else if (event->mask & IN_CREATE) {
        if (isFolder && FRecursive && static_cast<int>(FWatches.size()) < kMaxRecursiveWatches) AddWatch(path, true);
        Notify(isFolder ? E::neFolderCreate : E::neFileCreate, path);
      } else if (event->mask & IN_DELETE) {
        Notify(isFolder ? E::neFolderDelete : E::neFileDelete, path);
      } else if (event->mask & IN_MOVED_FROM) {
        movedFrom[event->cookie] = {path, isFolder};
      } else if (event->mask & IN_MOVED_TO) {
        const auto from = movedFrom.find(event->cookie);
        if (from != movedFrom.end()) {
          Notify(isFolder ? E::neFolderRename : E::neFileRename, from->second.Path, path);
          movedFrom.erase(from);
        } else {
          Notify(isFolder ? E::neFolderCreate : E::neFileCreate, path);  // moved in from elsewhere
        }
      } else if (event->mask & IN_CLOSE_WRITE) {
        Notify(E::neFileChange, path);
      } else if (event->mask & IN_ATTRIB) {
        Notify(E::neAttributesChange, path);
      }
    }
  }
  // A move whose other half is outside the watched folders left or entered them.
  for (const auto& [cookie, move] : movedFrom)
    Notify(move.Folder ? TNotificationEvent::neFolderDelete : TNotificationEvent::neFileDelete, move.Path);
}

void TNavShellChangeNotifier::CheckMounts() {
  const std::vector<TMountEntry> now = TMounts::All();
  auto contains = [](const std::vector<TMountEntry>& list, const QString& root) {
    return std::any_of(list.begin(), list.end(), [&](const TMountEntry& e) { return e.Root == root; });
  };
  const std::vector<TMountEntry> before = std::move(FMounts);
  FMounts = now;
  for (const TMountEntry& entry : before)
    if (!contains(now, entry.Root)) Notify(TNotificationEvent::neDriveRemove, entry.Root);
  for (const TMountEntry& entry : now)
    if (!contains(before, entry.Root)) Notify(TNotificationEvent::neDriveAdd, entry.Root);
}

void TNavShellChangeNotifier::Notify(TNotificationEvent event, const QString& path1, const QString& path2) {
  if (!FEnabled) return;
  using E = TNotificationEvent;
  if (!(FEventFilter & NotificationBit(event))) return;
  // A folder renamed to itself is no change.
  if (event == E::neFolderRename && !TMounts::IsMountRoot(path1) && path1 == path2) return;
  if (event == E::neFileChange && platform::IsFolderName(path1)) {
    event = E::neFolderUpdate;
    if (!(FEventFilter & NotificationBit(event))) return;
  }
  const uint64_t now = FClock ? FClock() : SteadyMs();
  if (FHaveLast && event == FLastEvent && path1 == FLastPath && !path1.isEmpty() && now >= FLastTick &&
      now - FLastTick < kRepeatMs)
    return;
  FHaveLast = true;
  FLastEvent = event;
  FLastPath = path1;
  FLastTick = now;
  QString first = path1, second = path2;
  if (event == E::neAssociationChange) first = second = QString();
  if (OnChange) OnChange(*this, event, first, second);
  if (InternalHandler)
    InternalHandler(*this, event, TNavItemIdList::CreateFromAnyPath(path1),
                    path2.isEmpty() ? nullptr : TNavItemIdList::CreateFromAnyPath(path2));
}

}  // namespace shell
