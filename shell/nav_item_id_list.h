#pragma once
// Names of places in the desktop namespace and the small routines the shell components share.
//
// A place is a list of segments below the Desktop (the namespace root, the empty list):
//   [Home]                          the home folder
//   [Computer]                      the volumes
//   [Computer, Volume(root), a, b]  root/a/b on the volume mounted at root
//   [Trash], [Trash, TrashEntry(n)] the freedesktop trash and an item in it
//   [a]                             an entry of the XDG desktop folder
// The canonical list of a real path is [Computer, Volume(longest mount prefix), entries...].
// Lists are immutable and shared; a null pointer means "no object".

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace shell {

/// The special folders; the numbers are stored in settings and column tables.
enum class TNavShellFolder : int {
  SF_FILESYSTEMFOLDER = 0, SF_BITBUCKET, SF_CONTROLS, SF_DESKTOP, SF_DESKTOPDIRECTORY, SF_DRIVES, SF_FONTS,
  SF_NETHOOD, SF_NETWORK, SF_PERSONAL, SF_PRINTERS, SF_PROGRAMS, SF_RECENT, SF_SENDTO, SF_STARTMENU,
  SF_STARTUP, SF_TEMPLATES, SF_FAVORITES, SF_COMMON_STARTMENU, SF_COMMON_STARTUP, SF_COMMON_DESKTOPDIRECTORY,
  SF_APPDATA, SF_PRINTHOOD, SF_COMMON_FAVORITES, SF_INTERNET_CACHE, SF_COOKIES, SF_HISTORY, SF_COMMON_PROGRAMS,
  SF_ALTSTARTUP, SF_COMMON_APPDATA, SF_COMMON_DOCUMENTS, SF_INTERNET, SF_LOCAL_APPDATA, SF_MYPICTURES,
  SF_PROGRAM_FILES, SF_SYSTEM, SF_PROGRAM_FILES_COMMON, SF_WINDOWS, SF_PROGRAM_FILESX86,
  SF_PROGRAM_FILES_COMMONX86, SF_SYSTEMX86, SF_MY_MUSIC, SF_MY_VIDEOS, SF_LIBRARIES, SF_LIBRARY_DOCUMENTS,
  SF_LIBRARY_PICTURES, SF_LIBRARY_MUSIC, SF_LIBRARY_VIDEOS, SF_LIBRARY_PUBLIC, SF_PROFILE, SF_HOME_GROUP,
  SF_LINKS, SF_INVALID
};
constexpr int kNavShellFolderCount = 53;

enum class TNavSegmentKind { Virtual, Volume, Entry, TrashEntry };

struct TNavSegment {
  TNavSegmentKind Kind = TNavSegmentKind::Entry;
  QString Name;
  bool operator==(const TNavSegment& other) const { return Kind == other.Kind && Name == other.Name; }
};

/// Names of the virtual segments.
inline const char* const kNavComputer = "Computer";
inline const char* const kNavHome = "Home";
inline const char* const kNavTrash = "Trash";

class TNavItemIdList;
using INavItemIdList = std::shared_ptr<const TNavItemIdList>;

class TNavItemIdList : public std::enable_shared_from_this<TNavItemIdList> {
 public:
  /// The no-object list.
  static INavItemIdList CreateNull();
  static INavItemIdList Create(std::vector<TNavSegment> segments);
  /// "" gives Computer; any other path its canonical list, relative paths resolved against
  /// parentFolder's path. Null (errno ENOENT) for a path that does not exist.
  static INavItemIdList CreateFromPath(const QString& path, const INavItemIdList& parentFolder = nullptr);
  /// The canonical list of an absolute path whether or not it exists (a place just deleted,
  /// one about to be made); null for relative paths.
  static INavItemIdList CreateFromAnyPath(const QString& path);

  /// This list followed by child's segments; a null child gives this list.
  INavItemIdList Combine(const INavItemIdList& child) const;
  /// The first count segments (0: the Desktop); count >= GetCount() gives a full copy.
  INavItemIdList GetAncestor(int count) const;
  /// Only the last segment (relative to its parent).
  INavItemIdList GetLastItem() const;
  /// Same place and same number of segments.
  bool IsEqual(const INavItemIdList& other) const;
  /// -1 for a null other; else compares the paths (case-sensitively) when both have one, the
  /// segments otherwise.
  int Compare(const INavItemIdList& other) const;
  const std::vector<TNavSegment>& GetIdList() const { return FItems; }
  /// The file-system path, "" for places without one (Computer, Trash). Never follows links.
  QString GetPath() const;
  int GetCount() const { return static_cast<int>(FItems.size()); }
  /// True for the no-object list (the Desktop is not empty in this sense).
  bool IsEmpty() const { return FNull; }
  TNavShellFolder GetSpecialFolder() const;
  bool IsSpecialFolder(TNavShellFolder folder) const;
  /// What a user calls the place: "Desktop", "Computer", "Home", "Trash", "File System", a name.
  QString GetDisplayName() const;
  /// For a symbolic link, the list of its target; otherwise this list.
  INavItemIdList GetLinkTarget() const;

  TNavItemIdList(std::vector<TNavSegment> segments, bool null);

 private:
  std::vector<TNavSegment> FItems;
  bool FNull = false;
  mutable std::once_flag FPathOnce;
  mutable QString FPath;
  mutable std::atomic<int> FSpecialFolder{static_cast<int>(TNavShellFolder::SF_INVALID)};
  mutable std::atomic<bool> FSpecialKnown{false};
};

/// True for a null reference or the no-object list.
inline bool NavIsEmpty(const INavItemIdList& list) { return !list || list->IsEmpty(); }

/// The list of a special folder; null for folders that have no place here or whose folder does
/// not exist. Shared lists come from a cache that follows changes of HOME and the XDG variables.
INavItemIdList GetSpecialFolderItemIdList(TNavShellFolder folder, bool shared = true);
/// Where a special folder lives on this system, whether or not it exists ("" for none).
QString SpecialFolderPlace(TNavShellFolder folder);

/// Captions the shell controls show.
QString NavInFolderText();   // "In Folder"
QString NavNewFolderText();  // "New Folder"

/// Name against a mask list ("*.mkv;*.mp4"), case-insensitively; "*" and "?" wildcards. "*.*"
/// matches every name; "*." matches names without a dot.
bool NavMaskMatches(const QString& name, const QString& mask);
/// The folder part of a path after a trailing "/" is removed.
QString NavParentFolder(const QString& path);
bool NavIsDotEntry(const QString& name);
/// True for an existing entry that is not a directory (links are followed).
bool NavFileExists(const QString& path);
bool NavDirectoryExists(const QString& path);
/// 1-based position of sub in text at or after start, 0 when absent.
int NavPosEx(const QString& sub, const QString& text, int start = 1);
/// The system's text for an errno value.
QString NavSystemErrorText(int code);
QString NavTempPath();
/// True when the path is a symbolic link (the shell's "reparse point").
bool NavIsReparsePoint(const QString& path);

}  // namespace shell
