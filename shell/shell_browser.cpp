#include "shell/shell_browser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QMimeDatabase>
#include <QMutex>
#include <QSet>
#include <QPainter>
#include <QStorageInfo>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_names.h"
#include "platform/prompter.h"
#include "platform/shell_open.h"
#include "shell/mounts.h"
#include "shell/nav_menu_item.h"
#include "shell/nav_work_items.h"
#include "shell/shell_properties.h"
#include "shell/thumb_cache.h"
#include "shell/trash.h"
#include "shell/xdg_dirs.h"

namespace shell {

namespace {

QMutex GProviderLock;
std::function<QImage(const QString&, int, int)> GProvider;
TShellBrowser::TMenuRunner GMenuRunner;

QString TrashFolder() { return TTrash::HomeTrash(); }

bool IsVirtual(const TNavSegment& s, const char* name) {
  return s.Kind == TNavSegmentKind::Virtual && s.Name == QLatin1String(name);
}

TTrash::TInfo ReadTrashInfo(const QString& name) { return TTrash::ReadInfo(name); }

QMimeDatabase& Mime() {
  static QMimeDatabase db;
  return db;
}

// The verbs a read-only browser neither offers nor runs: they change the disk, or (cut) lead to a
// move.
bool ChangesDisk(const QString& verb) {
  for (const char* name : {"delete", "cut", "paste", "link", "rename", "undelete"})
    if (verb.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
  return false;
}

QString DateText(const QDateTime& time) {
  if (!time.isValid()) return {};
  return QLocale().toString(time.toLocalTime(), QLocale::ShortFormat);
}

}  // namespace

// What is known of the current object.
struct TShellBrowser::TEntry {
  TNavSegment Segment;
  QString Path;
  uint32_t Attributes = 0;
  bool Exists = false;
  struct stat Stat {};
  QDateTime Modified, Created, Accessed;
};

std::vector<TNavSegment> NavChildrenOf(const INavItemIdList& folder) {
  std::vector<TNavSegment> children;
  if (NavIsEmpty(folder)) return children;
  const auto& items = folder->GetIdList();
  auto entriesOf = [&](const QString& path, TNavSegmentKind kind) {
    // Every name the folder holds, by its own bytes (QDir leaves out names that are not UTF-8),
    // folders first.
    std::vector<platform::TFolderEntry> entries = platform::ReadFolder(path);
    std::stable_partition(entries.begin(), entries.end(),
                          [](const platform::TFolderEntry& e) { return e.Info.IsFolder; });
    for (const platform::TFolderEntry& entry : entries) children.push_back({kind, entry.Name});
  };
  if (items.empty()) {
    children.push_back({TNavSegmentKind::Virtual, QLatin1String(kNavHome)});
    children.push_back({TNavSegmentKind::Virtual, QLatin1String(kNavComputer)});
    children.push_back({TNavSegmentKind::Virtual, QLatin1String(kNavTrash)});
    const QString desktop = TXdgDirs::UserDir(QStringLiteral("DESKTOP"));
    if (!desktop.isEmpty() && desktop != TXdgDirs::Home()) entriesOf(desktop, TNavSegmentKind::Entry);
  } else if (items.size() == 1 && IsVirtual(items[0], kNavComputer)) {
    for (const TMountEntry& volume : TMounts::Volumes()) children.push_back({TNavSegmentKind::Volume, volume.Root});
  } else if (items.size() == 1 && IsVirtual(items[0], kNavTrash)) {
    entriesOf(TrashFolder() + QStringLiteral("/files"), TNavSegmentKind::TrashEntry);
  } else {
    const QString path = folder->GetPath();
    if (!path.isEmpty()) entriesOf(path, TNavSegmentKind::Entry);
  }
  return children;
}

QString NavFreeName(const QString& folder, const QString& name) {
  const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
  const auto taken = [&](const QString& n) { return QFileInfo::exists(base + n) || QFileInfo(base + n).isSymLink(); };
  if (!taken(name)) return name;
  const QFileInfo info(name);
  const QString suffix = info.completeSuffix();
  const QString stem = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
  for (int n = 2;; ++n) {
    const QString candidate = stem + QStringLiteral(" (%1)").arg(n) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
    if (!taken(candidate)) return candidate;
  }
}

TShellBrowser::TShellBrowser(QObject* owner) : QObject(owner) {}
TShellBrowser::~TShellBrowser() = default;

std::unique_ptr<TShellBrowser> TShellBrowser::CreateCopy(const TShellBrowser& source) {
  auto copy = std::make_unique<TShellBrowser>(source.parent());
  copy->FShowErrorMessages = source.FShowErrorMessages;
  copy->FFileSystemOnly = source.FFileSystemOnly;
  copy->FReadOnly = source.FReadOnly;
  copy->FShowContextMenuOnTop = source.FShowContextMenuOnTop;
  copy->FMasks = source.FMasks;
  copy->FFolder = source.FFolder;
  copy->OnRename = source.OnRename;
  copy->OnContextMenuSelect = source.OnContextMenuSelect;
  copy->OnBeforeShellCommand = source.OnBeforeShellCommand;
  copy->OnError = source.OnError;
  return copy;
}

// --- folder and object ---

QString TShellBrowser::Folder() const {
  if (NavIsEmpty(FFolder)) return {};
  const QString path = FFolder->GetPath();
  if (path.isEmpty() || path.endsWith(QLatin1Char('/'))) return path;
  return path + QLatin1Char('/');
}

void TShellBrowser::SetFolder(const QString& folder) {
  if (!folder.isEmpty() && !NavIsEmpty(FFolder) && SamePath(folder, FFolder->GetPath())) return;
  const INavItemIdList list = TNavItemIdList::CreateFromPath(folder);
  if (NavIsEmpty(list))
    throw EShellBrowserError((NavSystemErrorText(ENOENT) + QStringLiteral("\r\n") + folder).toStdString());
  SetFolderIDList(list);
}

void TShellBrowser::SetFolderIDList(const INavItemIdList& folder) {
  if (NavIsEmpty(folder)) {
    FFolder.reset();
    ResetObject();
    FChildren.clear();
    FNextChild = -1;
    return;
  }
  if (!NavIsEmpty(FFolder) && FFolder->IsEqual(folder)) {
    ResetObject();
    return;
  }
  const QString path = folder->GetPath();
  if (folder->GetCount() > 0 && !path.isEmpty() && !platform::IsFolderName(path) && folder->GetIdList().back().Kind != TNavSegmentKind::Volume)
    throw EShellBrowserError(("TShellBrowser.SetFolderIDList: Could not get IShellFolder interface. (" +
                              NavSystemErrorText(ENOTDIR) + ")")
                                 .toStdString());
  FFolder = folder;
  FChildren.clear();
  FNextChild = -1;
  ResetObject();
}

void TShellBrowser::ResetObject() {
  FObject.reset();
  FAbsolute.reset();
  FEntry.reset();
}

INavItemIdList TShellBrowser::GetObjectIDList() const { return FObject ? FObject : TNavItemIdList::CreateNull(); }

void TShellBrowser::SetObjectIDList(const INavItemIdList& relative) {
  ResetObject();
  if (!NavIsEmpty(relative)) FObject = relative;
}

INavItemIdList TShellBrowser::GetAbsoluteObjectIDList() const {
  if (NavIsEmpty(FFolder) || !FObject) return nullptr;
  if (!FAbsolute) FAbsolute = FFolder->Combine(FObject);
  return FAbsolute;
}

void TShellBrowser::SetAbsoluteObjectIDList(const INavItemIdList& given) {
  const INavItemIdList list = given;  // given may be the folder this replaces
  if (NavIsEmpty(list)) return;
  if (list->GetCount() == 0) {
    SetFolderIDList(GetSpecialFolderItemIdList(TNavShellFolder::SF_DESKTOP));
    return;
  }
  SetFolderIDList(list->GetAncestor(list->GetCount() - 1));
  FObject = list->GetLastItem();
  FAbsolute = list;
}

bool TShellBrowser::SelectFolderAsObject() {
  if (!NavIsEmpty(FFolder)) SetAbsoluteObjectIDList(FFolder);
  return true;
}

TNavShellFolder TShellBrowser::SpecialFolder() const {
  return NavIsEmpty(FFolder) ? TNavShellFolder::SF_INVALID : FFolder->GetSpecialFolder();
}

void TShellBrowser::SetSpecialFolder(TNavShellFolder folder) {
  if (folder == SpecialFolder()) {
    ResetObject();
    return;
  }
  SetFolderIDList(GetSpecialFolderItemIdList(folder));
}

// --- object queries ---

const TShellBrowser::TEntry* TShellBrowser::Object() const {
  if (!FObject || NavIsEmpty(FFolder)) return nullptr;
  if (FEntry) return FEntry.get();
  auto entry = std::make_unique<TEntry>();
  entry->Segment = FObject->GetIdList().front();
  const INavItemIdList absolute = GetAbsoluteObjectIDList();
  entry->Path = absolute->GetPath();
  namespace a = sfgao;
  const TNavSegment& s = entry->Segment;
  if (s.Kind == TNavSegmentKind::Virtual) {
    if (s.Name == QLatin1String(kNavHome))
      entry->Attributes = a::Folder | a::FileSystem | a::FileSysAncestor | a::HasSubfolder | a::CanCopy | a::CanLink;
    else if (s.Name == QLatin1String(kNavComputer))
      entry->Attributes = a::Folder | a::FileSysAncestor | a::HasSubfolder;
    else
      entry->Attributes = a::Folder;  // the trash
    entry->Exists = true;
  } else if (!entry->Path.isEmpty()) {
    const QByteArray name = platform::FileNameToBytes(entry->Path);
    if (::lstat(name.constData(), &entry->Stat) == 0) {
      entry->Exists = true;
      struct stat target = entry->Stat;
      const bool link = S_ISLNK(entry->Stat.st_mode);
      if (link && ::stat(name.constData(), &target) != 0) target = entry->Stat;
      uint32_t bits = a::FileSystem | a::CanCopy | a::CanLink;
      if (S_ISDIR(target.st_mode)) bits |= a::Folder | a::FileSysAncestor;
      if (link) bits |= a::Link;
      if (QFileInfo(entry->Path).fileName().startsWith(QLatin1Char('.'))) bits |= a::Hidden;
      if (::access(name.constData(), W_OK) != 0) bits |= a::ReadOnly;
      const QByteArray parent = platform::FileNameToBytes(NavParentFolder(entry->Path));
      if (s.Kind == TNavSegmentKind::Volume) {
        bits |= a::HasSubfolder;
      } else if (::access(parent.constData(), W_OK) == 0) {
        bits |= a::CanRename | a::CanDelete | a::CanMove;
      }
      if (s.Kind == TNavSegmentKind::TrashEntry) bits = (bits & (a::Folder | a::Link | a::Hidden)) | a::CanDelete;
      entry->Attributes = bits;
      // The times from the system's own answer (QFileInfo cannot find a name that is not UTF-8).
      const auto time = [](const timespec& t) {
        return QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
      };
      entry->Modified = time(target.st_mtim);
      entry->Accessed = time(target.st_atim);
      entry->Created = QFileInfo(entry->Path).birthTime();
    }
  }
  FEntry = std::move(entry);
  return FEntry.get();
}

uint32_t TShellBrowser::GetAttributes(uint32_t mask) const {
  const TEntry* entry = Object();
  return entry != nullptr ? entry->Attributes & mask : 0;
}

bool TShellBrowser::IsFolder() const {
  if (!FFileSystemOnly) return GetAttributes(sfgao::Folder) != 0;
  return GetAttributes(sfgao::Folder) != 0 && GetAttributes(sfgao::FileSystem | sfgao::FileSysAncestor) != 0 &&
         !GetObjectName().endsWith(QLatin1String(".zip"), Qt::CaseInsensitive);
}

bool TShellBrowser::IsValidObject(bool folderSuffices) const {
  if (NavIsEmpty(FFolder)) return false;
  if (folderSuffices) return true;
  return FObject != nullptr || !FMultiObjects.isEmpty() || FFolder->GetCount() == 0;
}

QString TShellBrowser::GetObjectDisplayName(bool inFolder) const {
  if (!FObject) return {};
  if (NavIsEmpty(FFolder)) throw EInvalidOperation("No valid folder is currently assigned");
  const TNavSegment& s = FObject->GetIdList().front();
  if (s.Kind == TNavSegmentKind::TrashEntry && !inFolder) {
    const QString original = ReadTrashInfo(s.Name).OriginalPath;
    if (!original.isEmpty()) return QFileInfo(original).fileName();
  }
  const QString name = GetAbsoluteObjectIDList()->GetDisplayName();
  return name.isEmpty() ? GetObjectName() : name;
}

QString TShellBrowser::GetObjectName() const {
  if (!FObject) return {};
  const TNavSegment& s = FObject->GetIdList().front();
  if (s.Kind == TNavSegmentKind::Volume) return s.Name;  // a drive root is kept whole
  return s.Name;
}

QString TShellBrowser::GetObjectPath() const {
  const INavItemIdList absolute = GetAbsoluteObjectIDList();
  return absolute ? absolute->GetPath() : QString();
}

QString TShellBrowser::GetNetworkName() const {
  const QString path = GetObjectPath();
  if (path.isEmpty() || !TMounts::IsRemote(path)) return {};
  const TMountEntry share = TMounts::ForPath(path);
  QString inside = path.mid(share.Root == QLatin1String("/") ? 0 : share.Root.size());
  if (inside == QLatin1String("/")) inside.clear();
  QString source = share.Device;
  if (source.endsWith(QLatin1Char('/')) && inside.startsWith(QLatin1Char('/'))) source.chop(1);
  return source + inside;
}

QString TShellBrowser::GetLinkTargetPath() const {
  if (!IsLink()) return {};
  const QString target = ResolveLinkTarget(GetObjectPath());
  return QFileInfo::exists(target) ? target : QString();
}

int TShellBrowser::GetIconIndex() const {
  const INavItemIdList absolute = GetAbsoluteObjectIDList();
  return absolute ? TNavSystemImageList::GetIconIndex(absolute, false, false) : -1;
}

int TShellBrowser::GetOpenIconIndex() const {
  const INavItemIdList absolute = GetAbsoluteObjectIDList();
  return absolute ? TNavSystemImageList::GetIconIndex(absolute, false, true) : -1;
}

int TShellBrowser::GetOverlayIndex() const {
  const QString path = GetObjectPath();
  return path.isEmpty() ? -1 : TNavSystemImageList::GetOverlayIndex(path);
}

QDateTime TShellBrowser::GetLastWriteTime() const {
  const TEntry* entry = Object();
  return entry != nullptr ? entry->Modified : QDateTime();
}

TNavPathList TShellBrowser::GetPathList() const {
  TNavPathList list;
  if (!FMultiObjects.isEmpty()) {
    for (const QString& entry : FMultiObjects)
      list.Add(entry.startsWith(QLatin1Char('/')) ? entry : Folder() + entry);
  } else if (FObject) {
    const QString path = GetObjectPath();
    if (!path.isEmpty()) list.Add(path);
  }
  return list;
}

// --- enumeration ---

void TShellBrowser::ResetEnumeration() {
  FChildren.clear();
  FNextChild = -1;
}

bool TShellBrowser::Next() {
  if (NavIsEmpty(FFolder)) return false;
  if (FNextChild < 0) {
    FChildren = NavChildrenOf(FFolder);
    FNextChild = 0;
  }
  while (FNextChild < static_cast<int>(FChildren.size())) {
    const TNavSegment segment = FChildren[static_cast<size_t>(FNextChild++)];
    SetObjectIDList(TNavItemIdList::Create({segment}));
    if (FFileSystemOnly && GetAttributes(sfgao::FileSystem | sfgao::FileSysAncestor) == 0 &&
        !(segment.Kind == TNavSegmentKind::Virtual && (segment.Name == QLatin1String(kNavComputer) ||
                                                        segment.Name == QLatin1String(kNavTrash))))
      continue;
    if (MatchesFilter()) return true;
  }
  ResetObject();
  return false;
}

QString TShellBrowser::Filter() const {
  return FMasks.isEmpty() ? QStringLiteral("*") : FMasks.join(QLatin1Char(';'));
}

void TShellBrowser::SetFilter(const QString& filter) {
  FMasks.clear();
  if (filter.isEmpty() || filter == QLatin1String("*")) return;
  for (const QString& mask : filter.split(QLatin1Char(';'), Qt::SkipEmptyParts)) FMasks.append(mask);
}

bool TShellBrowser::MatchesFilter() const {
  if (FMasks.isEmpty() || IsFolder()) return true;
  QString name = GetObjectName();
  if (name.isEmpty()) name = GetObjectDisplayName(true);
  for (const QString& mask : FMasks)
    if (NavMaskMatches(name, mask)) return true;
  return false;
}

void TShellBrowser::LocateObject(const QString& name) {
  if (name.isEmpty()) {
    ResetObject();
    return;
  }
  QString n = name;
  while (n.size() > 1 && n.endsWith(QLatin1Char('/'))) n.chop(1);
  if (!n.contains(QLatin1Char('/'))) {
    if (NavIsEmpty(FFolder)) throw EShellBrowserError("No active folder was set.");
    for (const TNavSegment& segment : NavChildrenOf(FFolder)) {
      if (segment.Name == n) {
        SetObjectIDList(TNavItemIdList::Create({segment}));
        return;
      }
    }
    // By the name shown (the trash shows original names, Computer the volumes' names).
    for (const TNavSegment& segment : NavChildrenOf(FFolder)) {
      SetObjectIDList(TNavItemIdList::Create({segment}));
      if (GetObjectDisplayName(true).compare(n, Qt::CaseInsensitive) == 0 ||
          GetObjectDisplayName(false).compare(n, Qt::CaseInsensitive) == 0)
        return;
    }
    ResetObject();
    throw EShellBrowserError(
        (QStringLiteral("Error: Cannot find Object \"") + n + QStringLiteral("\" in Folder \"") + Folder() +
         QLatin1Char('"'))
            .toStdString());
  }
  if (TMounts::IsMountRoot(n)) {
    SetFolder(n);
    SelectFolderAsObject();
    return;
  }
  SetFolder(NavParentFolder(n));
  LocateObject(QFileInfo(n).fileName());
}

bool TShellBrowser::OpenObjectAsFolder() {
  if (!IsFolder()) return false;
  try {
    SetFolderIDList(GetAbsoluteObjectIDList());
  } catch (const EShellBrowserError& error) {
    ShowError(QString::fromStdString(error.what()));
    return false;
  }
  return !NavIsEmpty(FFolder);
}

// --- commands ---

void TShellBrowser::ShowError(const QString& message) const {
  if (!FShowErrorMessages) return;
  if (OnError) {
    OnError(message);
    return;
  }
  platform::Prompter().Message(qobject_cast<QWidget*>(parent()), platform::TPromptIcon::Error, QStringLiteral("Error"),
                               message);
}

bool TShellBrowser::ExecuteCommand(const QString& verb) {
  bool execute = true;
  if (OnContextMenuSelect) OnContextMenuSelect(verb, execute);
  if (!execute || NavIsEmpty(FFolder)) return false;
  const QString v = verb.isEmpty() ? QStringLiteral("default") : verb.toLower();
  const TNavPathList paths = GetPathList();
  bool result = false;
  struct TClear {
    QStringList& List;
    ~TClear() { List.clear(); }
  } clear{FMultiObjects};
  if (v == QLatin1String("delete") && FMultiObjects.isEmpty() && GetAttributes(sfgao::CanDelete) == 0) return false;
  if (FReadOnly && ChangesDisk(v)) return false;
  bool allow = true;
  if (OnBeforeShellCommand) OnBeforeShellCommand(*this, v, paths, allow);
  if (!allow) return false;
  result = InvokeCommand(nullptr, v, 0);
  return result;
}

bool TShellBrowser::RunVerb(const QString& v, const TNavPathList& paths) {
  const QStringList list = paths.Strings();
  if (v == QLatin1String("default") || v == QLatin1String("open")) {
    bool any = false;
    for (const QString& path : list) any = platform::ShellOpener().Open(path) || any;
    return any;
  }
  if (v == QLatin1String("copypath")) {
    if (list.isEmpty()) return false;
    QGuiApplication::clipboard()->setText(list.join(QLatin1Char('\n')));
    return true;
  }
  if (v == QLatin1String("copy") || v == QLatin1String("cut")) {
    if (list.isEmpty()) return false;
    QGuiApplication::clipboard()->setMimeData(GetDropFiles(list, v == QLatin1String("cut")).release());
    return true;
  }
  if (v == QLatin1String("paste")) {
    const QString target = FObject && IsFolder() ? GetObjectPath() : FFolder->GetPath();
    return Paste(target);
  }
  if (v == QLatin1String("delete")) {
    // To the trash only: a file that cannot go there stays where it is.
    bool all = !list.isEmpty();
    for (const QString& path : list) {
      QString error;
      if (!TTrash::MoveToTrash(path, error)) {
        all = false;
        ShowError(QStringLiteral("Could not move \"") + path + QStringLiteral("\" to the trash: ") + error);
      }
    }
    ResetObject();
    return all;
  }
  if (v == QLatin1String("rename")) {
    if (!OnRename) return false;
    OnRename(*this);
    return true;
  }
  if (v == QLatin1String("link")) {
    bool all = !list.isEmpty();
    for (const QString& path : list) {
      const QString folder = NavParentFolder(path);
      const QString name = NavFreeName(folder, QStringLiteral("Link to ") + QFileInfo(path).fileName());
      all = QFile::link(path, folder + QLatin1Char('/') + name) && all;
    }
    return all;
  }
  if (v == QLatin1String("properties")) return ShowItemProperties(list, qobject_cast<QWidget*>(parent()));
  if (v == QLatin1String("undelete")) {
    bool all = !list.isEmpty();
    for (const QString& path : list) all = Undelete(path) && all;
    ResetObject();
    return all;
  }
  return false;
}

namespace {

bool CopyTree(const QString& from, const QString& to) {
  const QFileInfo info(from);
  if (info.isSymLink()) return QFile::link(info.symLinkTarget(), to);
  if (!info.isDir()) return QFile::copy(from, to);  // QFile::copy never replaces an existing file
  if (!QDir().mkdir(to)) return false;
  bool ok = true;
  for (const QString& name : QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
    ok = CopyTree(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name) && ok;
  return ok;
}

}  // namespace

QStringList NavTransferFiles(const QStringList& files, const QString& folder, TNavCopyMode mode, QStringList* failed) {
  QStringList made;
  for (const QString& file : files) {
    const QString name = NavFreeName(folder, QFileInfo(file).fileName());
    const QString destination = folder + QLatin1Char('/') + name;
    bool ok = false;
    if (mode == TNavCopyMode::cmLink) {
      ok = QFile::link(file, destination);
    } else if (mode == TNavCopyMode::cmMove) {
      ok = ::renameat2(AT_FDCWD, QFile::encodeName(file).constData(), AT_FDCWD,
                       QFile::encodeName(destination).constData(), RENAME_NOREPLACE) == 0;
      // Across volumes: copied, and the original removed only once the copy is whole.
      if (!ok && errno == EXDEV)
        ok = CopyTree(file, destination) &&
             (QFileInfo(file).isDir() ? QDir(file).removeRecursively() : QFile::remove(file));
    } else {
      ok = CopyTree(file, destination);
    }
    if (ok)
      made << destination;
    else if (failed != nullptr)
      *failed << file;
  }
  return made;
}

bool TShellBrowser::Paste(const QString& target) {
  if (target.isEmpty() || qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return false;
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  const QStringList files = GetFilesFromDataObject(data);
  if (files.isEmpty()) return false;
  const bool cut = IsCutData(data);
  QStringList failed;
  NavTransferFiles(files, target, cut ? TNavCopyMode::cmMove : TNavCopyMode::cmCopy, &failed);
  for (const QString& file : failed)
    ShowError(QStringLiteral("Could not paste \"") + file + QStringLiteral("\": ") + NavSystemErrorText(errno));
  if (cut && failed.isEmpty()) QGuiApplication::clipboard()->clear();
  return failed.isEmpty();
}

bool TShellBrowser::Undelete(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  const TTrash::TInfo info = ReadTrashInfo(name);
  if (info.OriginalPath.isEmpty()) return false;
  const QString folder = NavParentFolder(info.OriginalPath);
  QDir().mkpath(folder);
  const QString destination = folder + QLatin1Char('/') + NavFreeName(folder, QFileInfo(info.OriginalPath).fileName());
  if (::renameat2(AT_FDCWD, QFile::encodeName(path).constData(), AT_FDCWD,
                  QFile::encodeName(destination).constData(), RENAME_NOREPLACE) != 0) {
    ShowError(QStringLiteral("Could not restore \"") + info.OriginalPath + QStringLiteral("\": ") + NavSystemErrorText(errno));
    return false;
  }
  QFile::remove(TrashFolder() + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
  return true;
}

void TShellBrowser::SetContextMenuRunner(TMenuRunner runner) { GMenuRunner = std::move(runner); }

namespace {

const char* const kCommandIdProperty = "navCommandId";

// The menu (popup or one of its submenus) that holds anchor; null when none does.
QMenu* MenuHolding(QMenu* menu, const QAction* anchor) {
  if (menu == nullptr || anchor == nullptr) return nullptr;
  for (QAction* action : menu->actions()) {
    if (action == anchor) return menu;
    if (QMenu* found = MenuHolding(action->menu(), anchor)) return found;
  }
  return nullptr;
}

QAction* ShellEntry(const QMenu& menu, int commandId) {
  for (QAction* action : menu.actions()) {
    if (action->property(kCommandIdProperty).toInt() == commandId) return action;
    if (const QMenu* sub = action->menu())
      if (QAction* found = ShellEntry(*sub, commandId)) return found;
  }
  return nullptr;
}

}  // namespace

bool TShellBrowser::InvokeCommand(const QMenu* contextMenu, const QString& verb, int commandId) {
  QString v = verb.toLower();
  if (commandId > 0) {
    const QAction* entry = contextMenu != nullptr ? ShellEntry(*contextMenu, commandId) : nullptr;
    if (entry == nullptr) {
      errno = EINVAL;
      return false;
    }
    v = entry->data().toString();
  }
  return RunVerb(v, GetPathList());
}

void TShellBrowser::AddShellVerbs(QMenu& menu) const {
  int count = 0;
  auto verb = [&](const QString& caption, const char* name) {
    QAction* action = menu.addAction(caption);
    action->setData(QLatin1String(name));
    action->setProperty(kCommandIdProperty, ++count);
    return action;
  };
  const bool inTrash = FFolder->IsSpecialFolder(TNavShellFolder::SF_BITBUCKET) ||
                       (FObject && FObject->GetIdList().front().Kind == TNavSegmentKind::TrashEntry);
  // A read-only browser offers nothing that changes the disk.
  const bool writable = !FReadOnly;
  // Items on several volumes have no one folder to paste into or to rename in.
  const bool oneFolder = !OnSeveralVolumes();
  if (inTrash) {
    if (writable) {
      verb(QStringLiteral("Restore"), "undelete");
      verb(QStringLiteral("Delete"), "delete");
    }
    return;
  }
  QAction* open = verb(QStringLiteral("Open"), "open");
  QFont bold = open->font();
  bold.setBold(true);
  open->setFont(bold);
  if (writable) verb(QStringLiteral("Cut"), "cut");
  verb(QStringLiteral("Copy"), "copy");
  if (writable && oneFolder && IsFolder() && !GetClipboardFiles().isEmpty()) verb(QStringLiteral("Paste"), "paste");
  if (writable) {
    verb(QStringLiteral("Create Link"), "link");
    verb(QStringLiteral("Delete"), "delete");
    if (OnRename && oneFolder) verb(QStringLiteral("Rename"), "rename");
  }
  verb(QStringLiteral("Copy Path"), "copypath");
  verb(QStringLiteral("Properties"), "properties");
}

QString TShellBrowser::FullPathOf(const QString& entry) const {
  return entry.startsWith(QLatin1Char('/')) ? entry : Folder() + entry;
}

bool TShellBrowser::OnSeveralVolumes() const {
  if (FMultiObjects.size() < 2) return false;
  const QString first = TMounts::ForPath(FullPathOf(FMultiObjects.first())).Root;
  for (const QString& entry : FMultiObjects)
    if (TMounts::ForPath(FullPathOf(entry)).Root != first) return true;
  return false;
}

void TShellBrowser::DropMissingObjects() {
  if (FMultiObjects.isEmpty()) return;
  QSet<QString> names;  // the folder's items, read once
  bool namesRead = false;
  const INavItemIdList object = FObject;
  QStringList kept;
  for (const QString& entry : std::as_const(FMultiObjects)) {
    bool found;
    if (entry.startsWith(QLatin1Char('/'))) {
      found = QFileInfo::exists(entry) || QFileInfo(entry).isSymLink();
    } else {
      if (!namesRead) {
        for (const TNavSegment& segment : NavChildrenOf(FFolder)) names.insert(segment.Name);
        namesRead = true;
      }
      found = names.contains(entry);
      if (!found) {  // by the name shown (the trash shows original names)
        try {
          LocateObject(entry);
          found = true;
        } catch (const EShellBrowserError&) {
        }
      }
    }
    if (found) kept << entry;
  }
  FMultiObjects = kept;
  SetObjectIDList(object);  // the current object again
}

std::unique_ptr<QObject> TShellBrowser::GetUIObjectOf(TNavUIObject kind) {
  if (NavIsEmpty(FFolder)) throw EShellBrowserError("No valid folder is currently assigned");
  if (FMultiObjects.size() == 1) {
    // One entry stands for the object.
    try {
      LocateObject(FMultiObjects.first());
    } catch (const EShellBrowserError&) {
      FMultiObjects.clear();
    }
  } else {
    DropMissingObjects();
  }
  if (!FObject && FMultiObjects.isEmpty()) return nullptr;
  if (kind == TNavUIObject::DataObject) return GetDropFiles(GetPathList().Strings());
  auto menu = std::make_unique<QMenu>();
  AddShellVerbs(*menu);
  return menu;
}

bool TShellBrowser::ShowContextMenu(const QPoint& point, QMenu* popup, QString& command, QAction* anchor) {
  command.clear();
  struct TClear {
    QStringList& List;
    ~TClear() { List.clear(); }
  } clear{FMultiObjects};
  if (NavIsEmpty(FFolder) || (!FObject && FMultiObjects.isEmpty())) {
    command = QStringLiteral("__ERROR__");
    return false;
  }
  std::unique_ptr<QObject> ui;
  try {
    ui = GetUIObjectOf(TNavUIObject::ContextMenu);
  } catch (const EShellBrowserError&) {
  }
  auto* shellMenu = qobject_cast<QMenu*>(ui.get());
  if (shellMenu == nullptr) {  // every entry of MultiObjects was gone
    command = QStringLiteral("__ERROR__");
    return false;
  }
  QMenu& menu = *shellMenu;
  std::vector<QAction*> shellActions;
  for (QAction* action : menu.actions()) {
    shellActions.push_back(action);
    menu.removeAction(action);  // still the menu's: put back below in their place
  }
  const QList<QAction*> own = popup != nullptr ? popup->actions() : QList<QAction*>();
  // Where the shell's entries go: on top, after the anchor (in the menu that holds it), or last.
  QMenu* host = FShowContextMenuOnTop ? nullptr : MenuHolding(popup, anchor);
  QList<QAction*> lent;  // shell entries put into a submenu of popup for this call
  if (FShowContextMenuOnTop || own.isEmpty()) {
    menu.addActions(QList<QAction*>(shellActions.begin(), shellActions.end()));
    if (!own.isEmpty()) menu.addSeparator();
    menu.addActions(own);
  } else if (host == popup) {
    const qsizetype after = own.indexOf(anchor) + 1;
    menu.addActions(own.mid(0, after));
    menu.addActions(QList<QAction*>(shellActions.begin(), shellActions.end()));
    menu.addActions(own.mid(after));
  } else if (host != nullptr) {
    menu.addActions(own);
    const QList<QAction*> hostActions = host->actions();
    const qsizetype next = hostActions.indexOf(anchor) + 1;
    QAction* before = next < hostActions.size() ? hostActions[next] : nullptr;
    for (QAction* action : shellActions) {
      host->insertAction(before, action);
      lent << action;
    }
  } else {
    menu.addActions(own);
    menu.addSeparator();
    menu.addActions(QList<QAction*>(shellActions.begin(), shellActions.end()));
  }
  QAction* chosen = GMenuRunner ? GMenuRunner(menu, point) : menu.exec(point);
  for (QAction* action : lent) host->removeAction(action);
  if (chosen == nullptr) return false;
  if (chosen->property(kCommandIdProperty).toInt() == 0) {  // the control's own entry
    chosen->trigger();
    return true;
  }
  command = chosen->data().toString();
  if (FReadOnly && ChangesDisk(command)) return false;
  bool execute = true;
  if (OnContextMenuSelect) OnContextMenuSelect(command, execute);
  if (!execute) return false;
  bool allow = true;
  const TNavPathList paths = GetPathList();
  if (OnBeforeShellCommand) OnBeforeShellCommand(*this, command, paths, allow);
  if (!allow) return false;
  // By its verb: an entry lent to a submenu of popup has left it again by now.
  return RunVerb(command, paths);
}

bool TShellBrowser::ShowMergedContextMenu(const QPoint& point, QMenu* popup, QString& command,
                                          QAction* anchor) {
  const QStringList targets = GetPathList().Strings();
  const QString target = targets.value(0);
  if (popup != nullptr) emit popup->aboutToShow();  // the control prepares its entries
  QMenu merged;
  QHash<QAction*, QAction*> copies;
  if (popup != nullptr) NavCopyMenu(*popup, merged, &copies);
  const bool result = ShowContextMenu(point, &merged, command, copies.value(anchor));
  if (popup != nullptr && command != QLatin1String("__ERROR__")) emit popup->aboutToHide();
  // Verbs run before ShowContextMenu returns: a delete that left its target did not happen.
  if (command.compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0 && !target.isEmpty() &&
      (QFileInfo::exists(target) || QFileInfo(target).isSymLink()))
    command.clear();
  return result;
}

bool TShellBrowser::RenameObject(QString& newName) {
  if (!FObject || NavIsEmpty(FFolder) || newName.isEmpty() || newName.contains(QLatin1Char('/'))) {
    errno = EINVAL;
    return false;
  }
  const QString from = GetObjectPath();
  if (from.isEmpty()) return false;
  const QString folder = NavParentFolder(from);
  const QString to = (folder == QLatin1String("/") ? folder : folder + QLatin1Char('/')) + newName;
  // Never over an existing name: the rename happens whole or not at all.
  if (::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                  RENAME_NOREPLACE) != 0) {
    newName = GetObjectDisplayName(true);
    return false;
  }
  SetObjectIDList(TNavItemIdList::Create({{FObject->GetIdList().front().Kind, newName}}));
  newName = GetObjectDisplayName(true);
  return true;
}

// --- details ---

namespace {

enum class TProvider { FileSystem, Computer, Trash };

// A column: its title, its key, its state, its alignment and its default width in characters.
struct TColumn {
  const char* Title;
  const TNavPropertyKey& Key;
  int State;
  Qt::Alignment Alignment;
  int Chars;
};

const std::vector<TColumn>& ColumnsOf(TProvider provider) {
  static const std::vector<TColumn> files = {
      {"Name", navkey::Name, kColumnStateOn, Qt::AlignLeft, 25},
      {"Size", navkey::Size, kColumnStateOn, Qt::AlignRight, 10},
      {"Type", navkey::Type, kColumnStateOn, Qt::AlignLeft, 20},
      {"Date modified", navkey::DateModified, kColumnStateOn, Qt::AlignLeft, 20},
      {"Date created", navkey::DateCreated, kColumnStateSecondary, Qt::AlignLeft, 20},
      {"Date accessed", navkey::DateAccessed, kColumnStateSecondary, Qt::AlignLeft, 20},
      {"Attributes", navkey::Attributes, kColumnStateSecondary, Qt::AlignLeft, 10}};
  static const std::vector<TColumn> computer = {
      {"Name", navkey::Name, kColumnStateOn, Qt::AlignLeft, 25},
      {"Type", navkey::Type, kColumnStateOn, Qt::AlignLeft, 20},
      {"Total Size", navkey::Capacity, kColumnStateOn, Qt::AlignRight, 15},
      {"Free Space", navkey::FreeSpace, kColumnStateOn, Qt::AlignRight, 15}};
  static const std::vector<TColumn> trash = {
      {"Name", navkey::Name, kColumnStateOn, Qt::AlignLeft, 25},
      {"Original Location", navkey::DeletedFrom, kColumnStateOn, Qt::AlignLeft, 30},
      {"Date Deleted", navkey::DateDeleted, kColumnStateOn, Qt::AlignLeft, 20},
      {"Size", navkey::Size, kColumnStateOn, Qt::AlignRight, 10},
      {"Type", navkey::Type, kColumnStateOn, Qt::AlignLeft, 20}};
  switch (provider) {
    case TProvider::Computer: return computer;
    case TProvider::Trash: return trash;
    default: return files;
  }
}

TProvider ProviderOf(const INavItemIdList& folder) {
  if (!NavIsEmpty(folder) && folder->GetCount() == 1) {
    const TNavSegment& s = folder->GetIdList().front();
    if (IsVirtual(s, kNavComputer)) return TProvider::Computer;
    if (IsVirtual(s, kNavTrash)) return TProvider::Trash;
  }
  return TProvider::FileSystem;
}

QString TypeText(const QString& path, bool folder) {
  if (folder) return QStringLiteral("Folder");
  return Mime().mimeTypeForFile(path, QMimeDatabase::MatchExtension).comment();
}

QString VolumeTypeText(const QString& root) {
  return TMounts::IsRemote(root) ? QStringLiteral("Network Drive") : QStringLiteral("Local Disk");
}

}  // namespace

int TShellBrowser::ColumnCount() const {
  if (NavIsEmpty(FFolder)) return 0;
  return static_cast<int>(ColumnsOf(ProviderOf(FFolder)).size());
}

TNavPropertyKey TShellBrowser::MapColumnToKey(int column) const {
  if (column == 256) return navkey::Column256;
  if (NavIsEmpty(FFolder)) return navkey::None;
  const auto& columns = ColumnsOf(ProviderOf(FFolder));
  if (column < 0 || column >= static_cast<int>(columns.size())) return navkey::None;
  return columns[static_cast<size_t>(column)].Key;
}

int TShellBrowser::GetColumnIndex(const TNavPropertyKey& key) const {
  if (key.IsNull()) return -1;
  if (key == navkey::Column256) return 256;
  for (int column = 255; column >= 0; --column)
    if (MapColumnToKey(column) == key) return column;
  return -1;
}

bool TShellBrowser::RawDetail(const TNavPropertyKey& key, QVariant& value) const {
  value = QVariant();
  const TEntry* entry = Object();
  if (entry == nullptr) return false;
  const bool folder = (entry->Attributes & sfgao::Folder) != 0;
  const bool volume = entry->Segment.Kind == TNavSegmentKind::Volume;
  if (key == navkey::Name) {
    value = GetObjectDisplayName(true);
  } else if (key == navkey::Size) {
    if (!folder && entry->Exists) value = static_cast<qint64>(entry->Stat.st_size);
  } else if (key == navkey::Type) {
    // The extension: FormatDetailValue names its type.
    if (!folder && !entry->Path.isEmpty()) {
      const QString suffix = QFileInfo(entry->Path).suffix();
      value = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    }
  } else if (key == navkey::DateModified) {
    if (entry->Modified.isValid()) value = entry->Modified.toUTC();
  } else if (key == navkey::DateCreated) {
    if (entry->Created.isValid()) value = entry->Created.toUTC();
  } else if (key == navkey::DateAccessed) {
    if (entry->Accessed.isValid()) value = entry->Accessed.toUTC();
  } else if (key == navkey::Attributes) {
    if (entry->Exists && !entry->Path.isEmpty()) {
      uint32_t bits = 0;
      if (entry->Attributes & sfgao::ReadOnly) bits |= navattr::ReadOnly;
      if (entry->Attributes & sfgao::Hidden) bits |= navattr::Hidden;
      if (folder) bits |= navattr::Directory;
      if (entry->Attributes & sfgao::Link) bits |= navattr::ReparsePoint;
      value = bits;
    }
  } else if (key == navkey::FolderPath) {
    if (!entry->Path.isEmpty()) value = NavParentFolder(entry->Path);
  } else if (key == navkey::Capacity || key == navkey::FreeSpace) {
    if (volume) {
      const QStorageInfo storage(entry->Path);
      value = static_cast<qint64>(key == navkey::Capacity ? storage.bytesTotal() : storage.bytesAvailable());
    }
  } else if (key == navkey::DeletedFrom || key == navkey::DateDeleted) {
    if (entry->Segment.Kind == TNavSegmentKind::TrashEntry) {
      const TTrash::TInfo info = ReadTrashInfo(entry->Segment.Name);
      if (key == navkey::DeletedFrom && !info.OriginalPath.isEmpty())
        value = NavParentFolder(info.OriginalPath);
      if (key == navkey::DateDeleted && info.Deleted.isValid()) value = info.Deleted.toUTC();
    }
  }
  return value.isValid();
}

void TShellBrowser::FormatDetailValue(const QVariant& value, const TNavPropertyKey& key, QString& text) {
  text.clear();
  if (!value.isValid() || value.isNull()) return;
  if (key == navkey::Size) {
    text = FormatSizeText(true, value.toLongLong());
  } else if (key == navkey::Capacity || key == navkey::FreeSpace) {
    text = FormatSizeText(false, value.toLongLong());
  } else if (key == navkey::Attributes) {
    if (value.toLongLong() == -1) return;
    const uint32_t bits = value.toUInt();
    const struct {
      uint32_t Bit;
      char Letter;
    } letters[] = {{navattr::ReadOnly, 'R'},     {navattr::Hidden, 'H'},  {navattr::System, 'S'},
                   {navattr::Directory, 'D'},    {navattr::Archive, 'A'}, {navattr::Compressed, 'C'},
                   {navattr::ReparsePoint, 'L'}, {navattr::Offline, 'O'}};
    for (const auto& l : letters)
      if (bits & l.Bit) text += QLatin1Char(l.Letter);
  } else if (key == navkey::Type) {
    text = TNavSystemImageList::GetTypeNameForExtension(value.toString());
  } else if (key == navkey::DateModified || key == navkey::DateCreated || key == navkey::DateAccessed ||
             key == navkey::DateDeleted) {
    text = DateText(value.toDateTime());
  } else if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList) {
    text = value.toStringList().join(QStringLiteral("; "));
  } else {
    text = value.toString();
  }
  if (key == navkey::Size && text.contains(QLatin1String("-1"))) text.clear();
}

bool TShellBrowser::GetDetailsEx(const TNavPropertyKey& key, bool asText, QString& text,
                                 QVariant& value) const {
  text.clear();
  value = QVariant();
  if (Object() == nullptr) return false;
  if (key == navkey::Column256) {
    if (!asText) return false;
    QString free;
    QVariant freeValue;
    if (!GetDetailsEx(navkey::FreeSpace, true, free, freeValue)) return false;
    text = QStringLiteral("% ") + free;
    return true;
  }
  const int column = asText ? GetColumnIndex(key) : -1;
  if (column >= 0 && column < ColumnCount()) return GetDetailsOf(column, false, text, &value);
  const bool have = RawDetail(key, value);
  if (asText && have) FormatDetailValue(value, key, text);
  return have;
}

bool TShellBrowser::GetDetailsOf(int column, bool ofFolder, QString& text, QVariant* value) const {
  text.clear();
  if (value != nullptr) *value = QVariant();
  if (NavIsEmpty(FFolder)) return false;
  const TProvider provider = ProviderOf(FFolder);
  const auto& columns = ColumnsOf(provider);
  if (column < 0 || column >= static_cast<int>(columns.size())) return false;
  if (ofFolder) {
    text = QLatin1String(columns[static_cast<size_t>(column)].Title);
    return true;
  }
  const TEntry* entry = Object();
  if (entry == nullptr) return false;
  const TNavPropertyKey& key = columns[static_cast<size_t>(column)].Key;
  QVariant raw;  // read once: a volume's sizes and a trash entry's record come from the disk
  const bool have = RawDetail(key, raw);
  if (key == navkey::Name)
    text = raw.toString();
  else if (key == navkey::Type)
    text = provider == TProvider::Computer ? VolumeTypeText(entry->Path)
                                           : TypeText(entry->Path, (entry->Attributes & sfgao::Folder) != 0);
  else if (have)
    FormatDetailValue(raw, key, text);
  if (value != nullptr) *value = std::move(raw);
  return true;
}

int TShellBrowser::GetColumnWidth(int column, Qt::Alignment& alignment) const {
  alignment = Qt::AlignLeft;
  if (NavIsEmpty(FFolder)) return 120;
  const auto& columns = ColumnsOf(ProviderOf(FFolder));
  if (column < 0 || column >= static_cast<int>(columns.size())) return 0;
  const TColumn& c = columns[static_cast<size_t>(column)];
  alignment = c.Alignment;
  if (!(c.State & kColumnStateOn)) return 0;
  return c.Chars * 8 + (column == 0 ? 100 : 0);
}

int TShellBrowser::GetColumnState(int column) const {
  if (NavIsEmpty(FFolder)) return 0;
  const auto& columns = ColumnsOf(ProviderOf(FFolder));
  if (column < 0 || column >= static_cast<int>(columns.size())) return 0;
  return columns[static_cast<size_t>(column)].State;
}

QString TShellBrowser::GetInfoTip(bool slow) const {
  (void)slow;  // every line below is quick to get
  const TEntry* entry = Object();
  if (entry == nullptr || entry->Path.isEmpty()) return {};
  QStringList lines;
  QString text;
  QVariant value;
  if (entry->Segment.Kind == TNavSegmentKind::Volume) {
    lines << QStringLiteral("Type: ") + VolumeTypeText(entry->Path);
    if (GetDetailsEx(navkey::FreeSpace, true, text, value)) lines << QStringLiteral("Free space: ") + text;
    if (GetDetailsEx(navkey::Capacity, true, text, value)) lines << QStringLiteral("Total size: ") + text;
    return lines.join(QLatin1Char('\n'));
  }
  if (!entry->Exists) return {};
  const bool folder = (entry->Attributes & sfgao::Folder) != 0;
  lines << QStringLiteral("Type: ") + TypeText(entry->Path, folder);
  if (!folder)
    lines << QStringLiteral("Size: ") + FormatSizeText(false, static_cast<int64_t>(entry->Stat.st_size));
  if (entry->Modified.isValid()) lines << QStringLiteral("Date modified: ") + DateText(entry->Modified);
  return lines.join(QLatin1Char('\n'));
}

// --- thumbnails ---

void TShellBrowser::SetThumbnailProvider(std::function<QImage(const QString&, int, int)> provider) {
  QMutexLocker lock(&GProviderLock);
  GProvider = std::move(provider);
}

QImage TShellBrowser::GetThumbnailBitmap(int width, int height, TColor background, bool iconIfNone) const {
  if (width <= 0 || height <= 0) width = height = 200;
  const QString path = GetObjectPath();
  QImage image;
  if (!path.isEmpty() && !platform::IsFolderName(path)) {
    image = MakeThumbnail(path, width, height, background, false);
    // More than 1 % too large on either side: fitted again.
    if (!image.isNull() && (image.height() > height * 1.01 || image.width() > width * 1.01))
      image = image.scaled(width, height, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (image.isNull()) {
      std::function<QImage(const QString&, int, int)> provider;
      {
        QMutexLocker lock(&GProviderLock);
        provider = GProvider;
      }
      if (provider) image = provider(path, width, height);
    }
  }
  if (image.isNull() && iconIfNone && qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    const TNavSystemImageList& icons = TNavSystemImageList::GetGlobalSystemImageList();
    image = TNavSystemImageList::GetIconBitmap(icons, GetIconIndex(), background, 0xC0C0C0, width, height);
  }
  return image;
}

}  // namespace shell
