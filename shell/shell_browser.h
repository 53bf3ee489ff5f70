#pragma once
// The non-visual browser every shell control stands on: a current folder and, in it, a current
// object, with the object's names, attributes, icons, details columns and thumbnail; enumeration
// with a mask filter; lookup by name; rename; the verbs (open, copy, cut, paste, delete to the
// trash, rename, copy path, link, undelete) and their context menu.
//
// Places are the lists of nav_item_id_list.h: the Desktop holds Home, Computer, Trash and the
// desktop folder's entries; Computer holds the volumes; folders hold their entries; the trash
// holds what was deleted.

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "shell/nav_item_id_list.h"
#include "shell/nav_path_list.h"
#include "shell/nav_system_image_list.h"
#include "shell/shell_data.h"

class QAction;
class QMenu;

namespace shell {

/// Attribute bits of a shell object (the values masks are built from).
namespace sfgao {
constexpr uint32_t CanCopy = 0x1, CanMove = 0x2, CanLink = 0x4, CanRename = 0x10, CanDelete = 0x20,
                   Encrypted = 0x2000, Link = 0x10000, Share = 0x20000, ReadOnly = 0x40000, Hidden = 0x80000,
                   Compressed = 0x4000000, FileSysAncestor = 0x10000000, Folder = 0x20000000,
                   FileSystem = 0x40000000, HasSubfolder = 0x80000000;
}  // namespace sfgao

/// Column states: shown by default, and shown only on request.
constexpr int kColumnStateOn = 0x10;
constexpr int kColumnStateSecondary = 0x40;

/// A details property: format identifier and property number. Two keys are equal when both are.
struct TNavPropertyKey {
  QUuid FormatId;
  uint32_t PropertyId = 0;
  bool operator==(const TNavPropertyKey& other) const {
    return FormatId == other.FormatId && PropertyId == other.PropertyId;
  }
  bool operator!=(const TNavPropertyKey& other) const { return !(*this == other); }
  bool IsNull() const { return FormatId.isNull() && PropertyId == 0; }
};

/// The keys of the details columns (the desktop's own property keys, so that column choices
/// read the same everywhere).
namespace navkey {
inline const QUuid kStorage{0xB725F130, 0x47EF, 0x101A, 0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC};
inline const QUuid kVolume{0x9B174B35, 0x40FF, 0x11D2, 0xA2, 0x7E, 0x00, 0xC0, 0x4F, 0xC3, 0x08, 0x71};
inline const QUuid kDisplaced{0x9B174B33, 0x40FF, 0x11D2, 0xA2, 0x7E, 0x00, 0xC0, 0x4F, 0xC3, 0x08, 0x71};
inline const TNavPropertyKey Name{kStorage, 10};
inline const TNavPropertyKey Size{kStorage, 12};
inline const TNavPropertyKey Type{
    QUuid(0x28636AA6, 0x953D, 0x11D2, 0xB5, 0xD6, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0), 11};
inline const TNavPropertyKey DateModified{kStorage, 14};
inline const TNavPropertyKey DateCreated{kStorage, 15};
inline const TNavPropertyKey DateAccessed{kStorage, 16};
inline const TNavPropertyKey Attributes{kStorage, 13};
inline const TNavPropertyKey FolderPath{
    QUuid(0xE3E0584C, 0xB788, 0x4A5A, 0xBB, 0x20, 0x7F, 0x5A, 0x44, 0xC9, 0xAC, 0xDD), 6};
inline const TNavPropertyKey Capacity{kVolume, 3};
inline const TNavPropertyKey FreeSpace{kVolume, 2};
/// Where a trash item was deleted from, and when.
inline const TNavPropertyKey DeletedFrom{kDisplaced, 2};
inline const TNavPropertyKey DateDeleted{kDisplaced, 3};
/// The key of column 256.
inline const TNavPropertyKey Column256{
    QUuid(0xF00DFA49, 0xBAE7, 0x47EA, 0x8A, 0x4A, 0x72, 0x2D, 0x0E, 0x70, 0x39, 0x62), 2};
inline const TNavPropertyKey None{};
}  // namespace navkey

/// File attribute bits as the attributes value carries them ("RHSDACLO" in FormatDetailValue).
namespace navattr {
constexpr uint32_t ReadOnly = 0x1, Hidden = 0x2, System = 0x4, Directory = 0x10, Archive = 0x20,
                   ReparsePoint = 0x400, Compressed = 0x800, Offline = 0x1000;
}  // namespace navattr

enum class TNavShellOperation { sopCopy, sopMove, sopDrag, sopDrop, sopCut, sopPaste, sopDelete, sopRemove, sopAdd, sopRename };
enum class TNavCopyMode { cmDefault, cmCopy, cmMove, cmLink };
/// What GetUIObjectOf is asked for: the menu of verbs, or the items as file data.
enum class TNavUIObject { ContextMenu, DataObject };

class TShellBrowser : public QObject {
  Q_OBJECT

 public:
  explicit TShellBrowser(QObject* owner = nullptr);
  ~TShellBrowser() override;
  /// A browser with source's settings, folder and events (for use on another thread).
  static std::unique_ptr<TShellBrowser> CreateCopy(const TShellBrowser& source);

  QString Version() const { return QStringLiteral("TShellBrowser V9.0.3.694"); }

  // --- folder and object ---
  /// The folder's path with a trailing "/"; "" for places without a path (Computer, Trash).
  QString Folder() const;
  /// Throws EShellBrowserError (the system's text, a line break and the value) when there is
  /// no such folder.
  void SetFolder(const QString& folder);
  INavItemIdList GetFolderIDList() const { return FFolder; }
  /// Null or no-object clears the folder; the current folder again only resets the object.
  void SetFolderIDList(const INavItemIdList& folder);
  /// The object relative to the folder (one segment); the no-object list when none.
  INavItemIdList GetObjectIDList() const;
  void SetObjectIDList(const INavItemIdList& relative);
  INavItemIdList GetAbsoluteObjectIDList() const;
  /// Its parent becomes the folder and its last segment the object; the Desktop for none.
  void SetAbsoluteObjectIDList(const INavItemIdList& list);
  /// The folder becomes the object (its parent the folder).
  bool SelectFolderAsObject();
  TNavShellFolder SpecialFolder() const;
  void SetSpecialFolder(TNavShellFolder folder);

  // --- object queries (false, 0, -1 or empty without an object) ---
  uint32_t GetAttributes(uint32_t mask) const;
  /// With FileSystemOnly a ".zip" file is a file, not a folder.
  bool IsFolder() const;
  bool IsLink() const { return GetAttributes(sfgao::Link) != 0; }
  bool IsHidden() const { return GetAttributes(sfgao::Hidden) != 0; }
  bool CanRename() const { return IsValidObject(false) && GetAttributes(sfgao::CanRename) != 0; }
  bool IsValidObject(bool folderSuffices) const;
  QString GetObjectDisplayName(bool inFolder) const;
  QString GetObjectName() const;
  QString GetObjectPath() const;
  /// For a link, where it points when that exists.
  QString GetLinkTargetPath() const;
  int GetIconIndex() const;
  int GetOpenIconIndex() const;
  int GetOverlayIndex() const;
  QDateTime GetLastWriteTime() const;
  /// Full paths of MultiObjects (bare names are taken in Folder), or of the object.
  TNavPathList GetPathList() const;
  /// The object's place on the network: for an object on a share mounted over the network, the
  /// share's source followed by the object's path inside it ("server:/export/clips/a.mkv");
  /// "" for an object on a local volume.
  QString GetNetworkName() const;
  /// The object, or MultiObjects, as kind: a QMenu of the verbs offered (each entry's data is its
  /// verb), or a QMimeData of the paths for the clipboard or a drag. One entry of MultiObjects
  /// is made the object; of several, those that are gone are dropped from MultiObjects and the
  /// object stays. Null when nothing is left; EShellBrowserError "No valid folder is currently
  /// assigned" without a folder. Items on more than one volume get the verbs that act on items
  /// wherever they are: no Paste and no Rename.
  std::unique_ptr<QObject> GetUIObjectOf(TNavUIObject kind);

  // --- enumeration and lookup ---
  /// Moves the object to the folder's next item that passes the filter; false at the end.
  bool Next();
  /// The next Next starts again at the folder's first item.
  void ResetEnumeration();
  /// Masks joined by ";"; "" and "*" both read back as "*".
  QString Filter() const;
  void SetFilter(const QString& filter);
  /// Folders always pass.
  bool MatchesFilter() const;
  /// Makes the named item the object: a name in the folder, a mount root (Computer becomes
  /// the folder), or a full path. Throws EShellBrowserError when it cannot be found.
  void LocateObject(const QString& name);
  bool OpenObjectAsFolder();

  // --- commands ---
  /// Runs a verb on the object or MultiObjects: "" or "default"/"open", "copy", "cut",
  /// "paste", "delete" (to the trash, never unlinked), "rename" (OnRename), "copypath", "link",
  /// "undelete" (restores trash items), "properties" (the file manager's properties window, or
  /// ours: shell_properties.h). False when it was refused or failed.
  bool ExecuteCommand(const QString& verb);
  /// Shows the verbs with popup's own actions: the shell's entries first when
  /// ShowContextMenuOnTop, else right after anchor (in whichever menu of popup holds it), else
  /// last. command gets the chosen verb ("__ERROR__" when there is nothing to show a menu for);
  /// a chosen entry of popup is triggered and leaves command empty.
  bool ShowContextMenu(const QPoint& point, QMenu* popup, QString& command, QAction* anchor = nullptr);
  /// As ShowContextMenu, on copies of popup's entries (TNavMenuItem, nav_menu_item.h) so that
  /// popup itself is not changed: popup's aboutToShow is emitted first, its aboutToHide after
  /// the menu closed (unless there was nothing to show). A "delete" whose first target still
  /// exists afterwards did not happen: command comes back empty.
  bool ShowMergedContextMenu(const QPoint& point, QMenu* popup, QString& command, QAction* anchor = nullptr);
  /// Runs a verb on the object or MultiObjects; with commandId above 0, the verb of the shell
  /// entry of that number in contextMenu (entries are numbered from 1 in the order the menu
  /// offers them). Ends without the checks of ExecuteCommand; false when it failed.
  bool InvokeCommand(const QMenu* contextMenu, const QString& verb, int commandId);
  /// Renames the object on disk without replacing anything; newName becomes the name shown.
  bool RenameObject(QString& newName);

  // --- details ---
  int ColumnCount() const;
  /// Column texts of the object, or the headers with ofFolder. value, when given, gets the
  /// object's detail behind the text typed as GetDetailsEx gives it, from the same reading.
  bool GetDetailsOf(int column, bool ofFolder, QString& text, QVariant* value = nullptr) const;
  /// 120 unless the header gives characters × 8 (+100 for column 0); 0 for columns hidden by
  /// default. alignment gets the header's alignment.
  int GetColumnWidth(int column, Qt::Alignment& alignment) const;
  int GetColumnState(int column) const;
  /// The key of a column: column 256 has its own key; a column the folder does not have gives
  /// the zero key.
  TNavPropertyKey MapColumnToKey(int column) const;
  /// The last column whose key is key; 256 for the column-256 key; -1 for the zero key or none.
  int GetColumnIndex(const TNavPropertyKey& key) const;
  /// A detail of the object by key. value gets it typed (sizes as qint64 bytes, dates as UTC
  /// QDateTime, attributes as the navattr bits); with asText, text gets it as the column shows
  /// it (a key that has a column reads that column), else as FormatDetailValue makes it. The
  /// column-256 key reads "% " and the free-space text. False when the object has no such detail.
  bool GetDetailsEx(const TNavPropertyKey& key, bool asText, QString& text, QVariant& value) const;
  /// A detail value as text: sizes in kilobytes, capacity and free space in bytes units,
  /// attributes as the letters "RHSDACLO" of the bits set, a type as the name of its extension's
  /// type, dates in local time, lists joined by "; ", anything else as its plain text; empty and
  /// null values (and a size of -1) give "".
  static void FormatDetailValue(const QVariant& value, const TNavPropertyKey& key, QString& text);
  /// The object's tip: its type, size (files) and date modified, one per line ("Type: ...").
  /// Volumes give type, free space and total size. slow is accepted for callers that ask for
  /// the tip the desktop computes slowly; every line here is quick, so it changes nothing.
  QString GetInfoTip(bool slow) const;

  // --- thumbnails ---
  /// The desktop's cached thumbnail, then a picture Qt reads, then the provider; with
  /// iconIfNone finally the icon on background in a silver frame. Width or height not above 0:
  /// 200 by 200.
  QImage GetThumbnailBitmap(int width, int height, TColor background, bool iconIfNone) const;
  /// One process-wide maker of thumbnails for what the desktop has none of (path, width,
  /// height); returns a null image when it cannot.
  static void SetThumbnailProvider(std::function<QImage(const QString&, int, int)> provider);

  // --- settings and events ---
  bool FileSystemOnly() const { return FFileSystemOnly; }
  void SetFileSystemOnly(bool value) { FFileSystemOnly = value; }
  bool ShowErrorMessages() const { return FShowErrorMessages; }
  void SetShowErrorMessages(bool value) { FShowErrorMessages = value; }
  bool ShowContextMenuOnTop() const { return FShowContextMenuOnTop; }
  void SetShowContextMenuOnTop(bool value) { FShowContextMenuOnTop = value; }
  /// Offers and runs no verb that changes the disk: "delete", "cut", "paste", "link", "rename"
  /// and "undelete" are left out of the menu and refused.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  QStringList& MultiObjects() { return FMultiObjects; }
  const QStringList& MultiObjects() const { return FMultiObjects; }

  std::function<void(TShellBrowser&)> OnRename;
  std::function<void(const QString& command, bool& execute)> OnContextMenuSelect;
  std::function<void(TShellBrowser&, const QString& command, const TNavPathList& paths, bool& allow)>
      OnBeforeShellCommand;
  /// Failures the user should see when ShowErrorMessages is set (default: a message box).
  std::function<void(const QString& message)> OnError;

  /// How context menus are run: returns the chosen action (null for none). Tests install
  /// their own; the default runs the menu at the point.
  using TMenuRunner = std::function<QAction*(QMenu& menu, const QPoint& point)>;
  static void SetContextMenuRunner(TMenuRunner runner);

 private:
  struct TEntry;
  const TEntry* Object() const;
  void ResetObject();
  void ShowError(const QString& message) const;
  bool RunVerb(const QString& verb, const TNavPathList& paths);
  bool Paste(const QString& target);
  bool Undelete(const QString& path);
  /// The verbs offered for the object or MultiObjects, added to menu in order and numbered from 1.
  void AddShellVerbs(QMenu& menu) const;
  QString FullPathOf(const QString& entry) const;
  /// MultiObjects lie on more than one mounted volume.
  bool OnSeveralVolumes() const;
  /// Drops the entries of MultiObjects that are gone; the object stays.
  void DropMissingObjects();
  /// The object's detail by key, typed; false when it has none.
  bool RawDetail(const TNavPropertyKey& key, QVariant& value) const;

  INavItemIdList FFolder;
  INavItemIdList FObject;  // relative, one segment; null for none
  mutable INavItemIdList FAbsolute;
  std::vector<TNavSegment> FChildren;  // the enumeration's snapshot of the folder
  int FNextChild = -1;                 // -1: not started
  QStringList FMasks;
  QStringList FMultiObjects;
  bool FFileSystemOnly = false;
  bool FShowErrorMessages = true;
  bool FShowContextMenuOnTop = false;
  bool FReadOnly = false;
  mutable std::unique_ptr<TEntry> FEntry;  // what is known of the object, read on first use
};

/// Copies (or moves, or links) files into folder under free names; never replaces anything.
/// Returns the paths made; failed gets the sources that could not be transferred.
QStringList NavTransferFiles(const QStringList& files, const QString& folder, TNavCopyMode mode,
                             QStringList* failed = nullptr);

/// The items of a place: the Desktop's, Computer's volumes, a folder's entries, the trash's.
std::vector<TNavSegment> NavChildrenOf(const INavItemIdList& folder);
/// A free name in folder for name: name itself, else "stem (2).ext", "(3)"...
QString NavFreeName(const QString& folder, const QString& name);

}  // namespace shell
