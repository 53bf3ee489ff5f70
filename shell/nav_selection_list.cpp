#include "shell/nav_selection_list.h"

#include <QPointer>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/file_names.h"
#include "shell/nav_shell_link.h"
#include "shell/nav_work_items.h"
#include "shell/thread_pool.h"

namespace shell {

namespace {

const QString kFolderStar = QStringLiteral("/*");

bool IsFolderEntry(const QString& entry) { return entry.endsWith(kFolderStar); }

/// The path an entry stands for ("/a/b/*" -> "/a/b", "/*" -> "/").
QString EntryPath(const QString& entry) {
  if (!IsFolderEntry(entry)) return entry;
  const QString folder = entry.chopped(2);
  return folder.isEmpty() ? QStringLiteral("/") : folder;
}

QString FolderEntry(const QString& folder) {
  return folder == QLatin1String("/") ? kFolderStar : folder + kFolderStar;
}

/// The path without a trailing "*" and without trailing "/" (the root stays "/").
QString PlainPath(QString path) {
  if (path.endsWith(QLatin1Char('*'))) path.chop(1);
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

QString ParentOf(const QString& path) {
  if (path == QLatin1String("/")) return path;
  const int slash = path.lastIndexOf(QLatin1Char('/'));
  if (slash <= 0) return QStringLiteral("/");
  return path.left(slash);
}

QString Child(const QString& folder, const QString& name) {
  return folder == QLatin1String("/") ? QLatin1Char('/') + name : folder + QLatin1Char('/') + name;
}

/// Everything in a folder but "." and "..", hidden entries included, in name order, by the
/// names' own bytes (a name that is not UTF-8 is listed too).
std::vector<platform::TFolderEntry> FolderContent(const QString& folder) { return platform::ReadFolder(folder); }

/// A real folder (a link to one counts as a file: the walks never go through links).
bool IsRealFolder(const platform::TFileNameInfo& info) { return info.IsFolder && !info.IsLink; }

/// The path after following a folder link; refused when links are not to be followed.
QString ResolveFolderLink(const QString& path, bool followLinks, bool& refused) {
  refused = false;
  const QString plain = PlainPath(path);
  const platform::TFileNameInfo info = platform::FileNameInfo(plain);
  if (!info.IsLink || !info.IsFolder) return path;
  if (!followLinks) {
    refused = true;
    return {};
  }
  char resolved[PATH_MAX];
  if (::realpath(platform::FileNameToBytes(plain).constData(), resolved) == nullptr) return {};
  return platform::FileNameFromBytes(resolved, qsizetype(std::strlen(resolved)));
}

/// The state of a normalised path among the entries.
int CheckStateIn(const QStringList& entries, const QString& normalised, bool& inherited) {
  inherited = false;
  if (entries.contains(normalised)) return csChecked;
  const QString path = EntryPath(normalised);
  for (QString folder = ParentOf(path);; folder = ParentOf(folder)) {
    if (entries.contains(FolderEntry(folder))) {
      inherited = true;
      return csChecked;
    }
    if (folder == QLatin1String("/")) break;
  }
  // Only entries below it on a whole-name boundary make it partial: "/a" is not inside "/x/a/b".
  for (const QString& entry : entries)
    if (TNavSelectionList::IsBelow(path, EntryPath(entry))) return csPartial;
  return csUnchecked;
}

int StateIn(const QStringList& entries, bool followLinks, const QString& path, bool& inherited) {
  inherited = false;
  if (path.isEmpty()) return csNotApplicable;
  bool refused = false;
  const QString resolved = ResolveFolderLink(path, followLinks, refused);
  if (refused) return csNotApplicable;
  const QString normalised = TNavSelectionList::NormalisePath(resolved);
  if (normalised.isEmpty()) return csNotApplicable;
  return CheckStateIn(entries, normalised, inherited);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void TNavBaseSelectionList::SetPaths(const QStringList& paths) {
  CancelCalculation();
  FPaths.clear();
  for (const QString& path : paths) Add(path);
}

void TNavBaseSelectionList::Clear() {
  CancelCalculation();
  FPaths.clear();
  Changed(QString());
}

void TNavBaseSelectionList::Changed(const QString&) {
  if (OnChange) OnChange(*this);
}

// ---------------------------------------------------------------------------------------------

TNavSelectionList::TNavSelectionList(QObject* owner) : TNavBaseSelectionList(owner) {}

TNavSelectionList::~TNavSelectionList() {
  FDestroying = true;
  CancelCalculation();
}

bool TNavSelectionList::IsBelow(const QString& folder, const QString& path) {
  const QString base = PlainPath(folder);
  if (base.isEmpty()) return false;
  const QString prefix = base == QLatin1String("/") ? base : base + QLatin1Char('/');
  return path.size() > prefix.size() && path.startsWith(prefix);
}

QString TNavSelectionList::NormalisePath(const QString& path) {
  if (path.isEmpty() || path == QLatin1String(".") || path == QLatin1String("..")) return {};
  const QString plain = PlainPath(path);
  if (plain.isEmpty() || !plain.startsWith(QLatin1Char('/'))) return {};
  const platform::TFileNameInfo info = platform::FileNameInfo(plain);
  if (!info.Exists) return {};
  if (info.IsFolder) return FolderEntry(plain);
  return plain;
}

QString TNavSelectionList::ResolveShortcut(const QString& path, bool& refused) const {
  return ResolveFolderLink(path, FFollowShortcuts, refused);
}

void TNavSelectionList::BeginUpdate() { ++FUpdateCount; }

void TNavSelectionList::EndUpdate() {
  if (FUpdateCount <= 0) return;
  if (--FUpdateCount == 0) Changed(QString());
}

void TNavSelectionList::Changed(const QString& path) {
  TNavBaseSelectionList::Changed(path);
  auto* link = qobject_cast<TNavShellLink*>(parent());
  if (link == nullptr || FUpdateCount > 0) return;
  INavItemIdList list;
  if (!path.isEmpty()) list = TNavItemIdList::CreateFromAnyPath(EntryPath(path));
  link->BroadcastNotify(nullptr, 2, list);
}

int TNavSelectionList::GetCheckState(const QString& normalised, bool& inherited) const {
  return CheckStateIn(FPaths, normalised, inherited);
}

int TNavSelectionList::GetState(const QString& path, bool& inherited) {
  return StateIn(FPaths, FFollowShortcuts, path, inherited);
}

TSelectionStateQuery TNavSelectionList::StateQuery() const {
  return [entries = FPaths, follow = FFollowShortcuts](const QString& path, bool& inherited) {
    return static_cast<TNavSelectionState>(StateIn(entries, follow, path, inherited));
  };
}

int TNavSelectionList::GetStateOfIdList(const INavItemIdList& list, bool& inherited) {
  inherited = false;
  if (!list || list->IsEmpty()) return csNotApplicable;
  // Computer holds every volume, so anything ticked lies below it.
  if (list->IsSpecialFolder(TNavShellFolder::SF_DRIVES)) return FPaths.isEmpty() ? csNotApplicable : csPartial;
  return GetState(list->GetPath(), inherited);
}

bool TNavSelectionList::IsSelectedOrBelowSelected(const QString& path) {
  bool inherited = false;
  const int state = GetState(path, inherited);
  return state == csChecked || state == csPartial;
}

bool TNavSelectionList::IsFullySelected(const QString& path) const {
  const QString plain = PlainPath(path);
  if (FPaths.contains(plain) || FPaths.contains(FolderEntry(plain))) return true;
  if (!IsRealFolder(platform::FileNameInfo(plain))) return false;
  const std::vector<platform::TFolderEntry> content = FolderContent(plain);
  if (content.empty()) return false;
  for (const platform::TFolderEntry& child : content) {
    const QString childPath = Child(plain, child.Name);
    if (IsRealFolder(child.Info) ? !IsFullySelected(childPath) : !FPaths.contains(childPath)) return false;
  }
  return true;
}

QString TNavSelectionList::FindCollapseTarget(const QString& path) const {
  QString target;
  for (QString current = path;;) {
    const QString folder = ParentOf(current);
    // The file-system root is never collapsed into one entry.
    if (folder == current || folder == QLatin1String("/")) break;
    bool all = true;
    for (const platform::TFolderEntry& sibling : FolderContent(folder)) {
      const QString siblingPath = Child(folder, sibling.Name);
      if (siblingPath == current) continue;
      // A ticked empty folder is stored, but never completes its parent.
      if (IsRealFolder(sibling.Info) && FolderContent(siblingPath).empty()) {
        all = false;
        break;
      }
      if (!IsFullySelected(siblingPath)) {
        all = false;
        break;
      }
    }
    if (!all) break;
    target = folder;
    current = folder;
  }
  return target;
}

void TNavSelectionList::Add(const QString& path) {
  if (path.isEmpty()) return;
  bool refused = false;
  const QString resolved = ResolveShortcut(path, refused);
  if (refused) return;
  const QString normalised = NormalisePath(resolved);
  if (normalised.isEmpty()) {
    if (OnInvalidPath) OnInvalidPath(*this, path);
    return;
  }
  bool inherited = false;
  const int state = GetCheckState(normalised, inherited);
  if (state == csChecked) return;
  const QString plain = EntryPath(normalised);
  if (state == csPartial) RemoveBelow(plain);
  AppendEntry(normalised, true);
  const QString target = FindCollapseTarget(plain);
  if (!target.isEmpty()) Add(target);
}

void TNavSelectionList::Remove(const QString& path) {
  bool refused = false;
  const QString resolved = ResolveShortcut(path, refused);
  if (refused) return;
  const QString normalised = NormalisePath(resolved);
  if (normalised.isEmpty()) return;
  bool inherited = false;
  const int state = GetCheckState(normalised, inherited);
  const QString plain = EntryPath(normalised);
  if (state == csChecked && !inherited) {
    DeleteEntry(FPaths.indexOf(normalised), true);
  } else if (state == csChecked) {
    // Split the ancestor's entry: everything under it but the path stays ticked.
    QString ancestor = ParentOf(plain);
    while (!FPaths.contains(FolderEntry(ancestor))) ancestor = ParentOf(ancestor);
    const int ancestorIndex = FPaths.indexOf(FolderEntry(ancestor));
    for (QString level = ancestor; level != plain;) {
      const QString rest = plain.mid(level == QLatin1String("/") ? 1 : level.size() + 1);
      const QString next = Child(level, rest.section(QLatin1Char('/'), 0, 0));
      for (const platform::TFolderEntry& entry : FolderContent(level)) {
        const QString entryPath = Child(level, entry.Name);
        if (entryPath == next) continue;
        AppendEntry(IsRealFolder(entry.Info) ? FolderEntry(entryPath) : entryPath, false);
      }
      level = next;
    }
    if (FCalculateTotals) {
      FFolderCount = std::max(0, FFolderCount - 1);
      StartSizeItem(plain, -1);
    }
    DeleteEntry(ancestorIndex, false);
  } else if (state == csPartial) {
    RemoveBelow(plain);
  }
  if (FPaths.isEmpty()) ResetTotals();
}

void TNavSelectionList::RemoveBelow(const QString& folder) {
  for (int i = static_cast<int>(FPaths.size()) - 1; i >= 0; --i)
    if (IsBelow(folder, EntryPath(FPaths.at(i)))) DeleteEntry(i, true);
}

void TNavSelectionList::Rename(const QString& oldPath, const QString& newPath) {
  const QString from = PlainPath(oldPath);
  const QString to = PlainPath(newPath);
  if (from.isEmpty() || to.isEmpty()) return;
  bool changed = false;
  for (QString& entry : FPaths) {
    const QString path = EntryPath(entry);
    if (path == from) {
      entry = IsFolderEntry(entry) ? FolderEntry(to) : to;
      changed = true;
    } else if (IsBelow(from, path)) {
      entry = to + entry.mid(from == QLatin1String("/") ? 0 : from.size());
      changed = true;
    }
  }
  if (changed) Changed(to);
}

void TNavSelectionList::AddIdList(const INavItemIdList& list) {
  if (!list) return;
  BeginUpdate();
  Add(list->GetPath());
  EndUpdate();
}

void TNavSelectionList::RemoveIdList(const INavItemIdList& list) {
  if (!list) return;
  BeginUpdate();
  Remove(list->GetPath());
  EndUpdate();
}

void TNavSelectionList::Clear() {
  // The entries' sizes are not subtracted one by one: the totals simply restart from 0, and the
  // sums still running for them are cancelled so that none arrives afterwards.
  CancelCalculation();
  while (!FPaths.isEmpty()) DeleteEntry(0, false);
  ResetTotals();
  if (OnCompletedCalculateFiles) OnCompletedCalculateFiles(*this);
}

void TNavSelectionList::DeleteEntry(int index, bool adjustTotals) {
  if (index < 0 || index >= FPaths.size()) return;
  const QString entry = FPaths.takeAt(index);
  if (adjustTotals && FCalculateTotals) StartSizeItem(EntryPath(entry), -1);
  Changed(entry);
}

void TNavSelectionList::AppendEntry(const QString& entry, bool adjustTotals) {
  // Stored first: a file counts at once, and totals of an empty list are reset to 0.
  FPaths.append(entry);
  if (adjustTotals && FCalculateTotals) StartSizeItem(EntryPath(entry), +1);
  Changed(entry);
}

void TNavSelectionList::StartSizeItem(const QString& path, int factor) {
  const platform::TFileNameInfo info = platform::FileNameInfo(path);
  if (!IsRealFolder(info)) {
    // A file counts at once.
    SizeItemDone(info.Exists ? static_cast<uint64_t>(info.Size) : 0, 1, 0, factor);
    return;
  }
  auto item = std::make_shared<TNavFolderSizeWorkItem>(path, FFollowShortcuts, true);
  item->SetGroupTag(this);
  item->SetFactor(factor);
  QPointer<TNavSelectionList> self(this);
  item->SetOnItemDone([self](TBasicWorkItem& done) {
    if (!self || done.Aborted()) return;
    auto& sized = static_cast<TNavFolderSizeWorkItem&>(done);
    self->SizeItemDone(sized.Size(), sized.FileCount(), sized.FolderCount(), sized.Factor());
  });
  GlobalThreadPool().AddWorkItem(std::move(item));
}

void TNavSelectionList::SizeItemDone(uint64_t size, int files, int folders, int factor) {
  if (factor >= 0) {
    FTotalSize += size;
    FFileCount += files;
    FFolderCount += folders;
  } else {
    FTotalSize = size > FTotalSize ? 0 : FTotalSize - size;
    FFileCount = std::max(0, FFileCount - files);
    FFolderCount = std::max(0, FFolderCount - folders);
  }
  if (FPaths.isEmpty()) ResetTotals();
  if (OnCompletedCalculateFiles) OnCompletedCalculateFiles(*this);
}

void TNavSelectionList::ResetTotals() {
  FTotalSize = 0;
  FFileCount = 0;
  FFolderCount = 0;
}

void TNavSelectionList::CancelCalculation() {
  GlobalThreadPool().CancelWorkItems(nullptr, this);
  ResetTotals();
  if (!FDestroying && OnCompletedCalculateFiles) OnCompletedCalculateFiles(*this);
}

}  // namespace shell
