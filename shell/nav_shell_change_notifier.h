#pragma once
// Turns changes on disk into events for the shell controls: inotify watches on the watched
// folders (and their subfolders when recursive) and the mount table for volumes coming and
// going. Repeats of the same event for the same item within a second are dropped.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "shell/mounts.h"
#include "shell/nav_item_id_list.h"
#include "shell/nav_shell_link.h"

class QSocketNotifier;

namespace shell {

enum class TNotificationEvent {
  neAssociationChange, neAttributesChange, neFileChange, neFileCreate, neFileDelete, neFileRename,
  neDriveAdd, neDriveRemove, neShellDriveAdd, neDriveSpaceChange, neMediaInsert, neMediaRemove,
  neFolderCreate, neFolderDelete, neFolderRename, neFolderUpdate, neNetShare, neServerDisconnect,
  neImageListChange, neUnknown
};
/// A set of events, one bit per value.
using TNotificationEvents = uint32_t;
constexpr TNotificationEvents NotificationBit(TNotificationEvent e) { return 1u << static_cast<int>(e); }
constexpr TNotificationEvents kAllNotificationEvents = 0x7FFFF;  // all but neUnknown

class TNavShellChangeNotifier : public TNavBaseComponent {
  Q_OBJECT

 public:
  explicit TNavShellChangeNotifier(QObject* owner = nullptr);
  ~TNavShellChangeNotifier() override;

  /// Off when created; on starts watching, off stops.
  void SetEnabled(bool enabled) override;
  bool Recursive() const { return FRecursive; }
  void SetRecursive(bool recursive);
  TNotificationEvents EventFilter() const { return FEventFilter; }
  void SetEventFilter(TNotificationEvents filter);

  /// The watched paths; an empty path stands for Computer (volumes only).
  QStringList Paths() const { return FPaths; }
  void AddPath(const QString& path);
  void RemovePath(const QString& path);
  /// The one place the owning control shows.
  void WatchIDList(const INavItemIdList& list);

  /// (event, path1, path2): path2 is the new name of a rename.
  std::function<void(TNavShellChangeNotifier&, TNotificationEvent, const QString&, const QString&)> OnChange;
  /// The owning control's handler, after OnChange, with the places as lists.
  std::function<void(TNavShellChangeNotifier&, TNotificationEvent, const INavItemIdList&, const INavItemIdList&)>
      InternalHandler;

  /// Milliseconds for the repeat rule; tests inject their own.
  void SetClock(std::function<uint64_t()> clock) { FClock = std::move(clock); }
  /// Runs one change through the filter and the repeat rule and delivers it.
  void Notify(TNotificationEvent event, const QString& path1, const QString& path2 = QString());
  /// Compares the mount table with the last reading and reports volumes added and removed.
  void CheckMounts();
  /// Number of inotify watches held (subfolders included).
  int WatchCount() const { return static_cast<int>(FWatches.size()); }

 private:
  void Start();
  void Stop();
  void AddWatch(const QString& path, bool recursive);
  /// The folders watched with inotify: the path list and the place the owning control shows.
  QStringList WatchedPaths() const;
  void ReadEvents();

  bool FRecursive = true;
  TNotificationEvents FEventFilter = kAllNotificationEvents;
  QStringList FPaths;
  INavItemIdList FWatched;
  bool FStarted = false;
  int FInotify = -1;
  std::unique_ptr<QSocketNotifier> FNotifier;
  int FMountFd = -1;
  std::unique_ptr<QSocketNotifier> FMountNotifier;
  std::map<int, QString> FWatches;  // watch descriptor -> folder
  std::vector<TMountEntry> FMounts;
  std::function<uint64_t()> FClock;
  TNotificationEvent FLastEvent = TNotificationEvent::neUnknown;
  QString FLastPath;
  uint64_t FLastTick = 0;
  bool FHaveLast = false;
};

}  // namespace shell
