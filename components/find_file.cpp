#include "components/find_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <ctime>
#include <exception>
#include <filesystem>

#include "components/find_file_text.h"
#include "platform/main_thread.h"
#include "platform/prompter.h"

namespace components {

namespace fs = std::filesystem;
using findtext::Trim;

namespace {

// Attributes whose folders a search does not enter when the criteria want them unset.
constexpr uint32_t kExcludableFolderAttributes =
    faHidden | faSystem | faDevice | faTemporary | faReparsePoint | faOffline | faEncrypted | faVirtual;

std::vector<std::string> SplitTrimmed(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string part = Trim(std::string_view(text).substr(start, end - start));
    if (!part.empty()) parts.push_back(std::move(part));
    start = end + 1;
  }
  return parts;
}

void AddUnique(std::vector<std::string>& list, const std::string& item) {
  for (const auto& existing : list)
    if (findtext::EqualsIgnoreCase(existing, item)) return;
  list.push_back(item);
}

bool ParseLevel(const std::string& text, uint16_t& level) {
  const std::string t = Trim(text);
  if (t.empty() || t.size() > 5 || !std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const unsigned long v = std::stoul(t);
  if (v > 0xFFFF) return false;
  level = static_cast<uint16_t>(v);
  return true;
}

// Parses a target line ("2-3>folder", "3>folder", ">folder", "<folder" or "folder") over the
// defaults in target. Returns false when it names no folder.
bool ParseTargetLine(const std::string& line, TTargetPath& target) {
  std::string folder;
  const size_t gt = line.find('>');
  if (gt != std::string::npos) {
    folder = line.substr(gt + 1);
    target.Subfolders = true;
    const std::string levels = Trim(line.substr(0, gt));
    if (!levels.empty()) {
      const size_t dash = levels.find('-');
      if (dash != std::string::npos) {
        ParseLevel(levels.substr(0, dash), target.MinLevel);
        ParseLevel(levels.substr(dash + 1), target.MaxLevel);
      } else {
        ParseLevel(levels, target.MaxLevel);
        target.MinLevel = 0;
      }
    }
  } else if (const size_t lt = line.find('<'); lt != std::string::npos) {
    folder = line.substr(lt + 1);
    target.Subfolders = false;
  } else {
    folder = line;
  }
  folder = Trim(folder);
  if (folder.empty()) return false;
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(folder), ec);
  if (ec) absolute = folder;
  target.Folder = absolute.lexically_normal().string();
  if (target.Folder.empty() || target.Folder.back() != '/') target.Folder += '/';
  return true;
}

TTargetPath& FindOrAddTarget(TTargetPaths& targets, const std::string& folder) {
  for (auto& t : targets)
    if (t.Folder == folder) return t;
  targets.emplace_back();
  return targets.back();
}

TLocalTime ToLocal(const struct statx_timestamp& ts) {
  const time_t seconds = static_cast<time_t>(ts.tv_sec);
  struct tm local {};
  localtime_r(&seconds, &local);
  const auto micros = std::chrono::seconds(ts.tv_sec + local.tm_gmtoff) + std::chrono::microseconds(ts.tv_nsec / 1000);
  return TLocalTime(std::chrono::duration_cast<std::chrono::microseconds>(micros));
}

bool Earlier(const struct statx_timestamp& a, const struct statx_timestamp& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

// Fills the details of one folder entry. False when it vanished or cannot be examined.
bool ReadEntry(const std::string& folder, const std::string& name, TFileDetails& details) {
  const std::string path = folder + name;
  struct statx x {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &x) != 0) return false;
  uint32_t attributes = 0;
  if (S_ISLNK(x.stx_mode)) {
    attributes |= faReparsePoint;
    struct statx target {};
    // A dangling link keeps the link's own data.
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &target) == 0) x = target;
  }
  const mode_t mode = x.stx_mode;
  if (S_ISDIR(mode))
    attributes |= faDirectory;
  else if (S_ISCHR(mode) || S_ISBLK(mode))
    attributes |= faDevice | faSystem;
  else if (S_ISFIFO(mode) || S_ISSOCK(mode))
    attributes |= faSystem;
  if (!name.empty() && name[0] == '.') attributes |= faHidden;
  const auto attr = [&x](uint64_t bit) { return (x.stx_attributes_mask & bit) != 0 && (x.stx_attributes & bit) != 0; };
  if (!S_ISLNK(mode) && ((mode & S_IWUSR) == 0 || attr(STATX_ATTR_IMMUTABLE))) attributes |= faReadonly;
  if (attr(STATX_ATTR_COMPRESSED)) attributes |= faCompressed;
  if (attr(STATX_ATTR_ENCRYPTED)) attributes |= faEncrypted;
  if (attributes == 0) attributes = faNormal;

  details.Location = folder;
  details.Name = name;
  details.Attributes = attributes;
  details.Size = S_ISREG(mode) ? x.stx_size : 0;
  const bool hasBirth = (x.stx_mask & STATX_BTIME) != 0 && (x.stx_btime.tv_sec != 0 || x.stx_btime.tv_nsec != 0);
  details.CreatedTime =
      ToLocal(hasBirth ? x.stx_btime : (Earlier(x.stx_mtime, x.stx_ctime) ? x.stx_mtime : x.stx_ctime));
  details.ModifiedTime = ToLocal(x.stx_mtime);
  details.AccessedTime = ToLocal(x.stx_atime);
  return true;
}

bool IsAllMask(const std::string& mask) { return mask == "*" || mask == "*.*"; }

bool MatchesAnyMask(const std::string& name, const std::vector<std::string>& masks) {
  return std::any_of(masks.begin(), masks.end(),
                     [&](const std::string& m) { return IsAllMask(m) || WildcardMatch(name, m); });
}

// Passes when t lies on the right side of limit; only the parts limit has are compared.
bool TimePasses(TLocalTime t, const TDateTimeValue& limit, bool before) {
  if (!limit.IsSet()) return true;
  const auto date = std::chrono::floor<std::chrono::days>(t);
  TLocalTime value{};
  TLocalTime reference{};
  if (limit.Date && limit.TimeOfDay) {
    value = t;
    reference = TLocalTime(*limit.Date) + *limit.TimeOfDay;
  } else if (limit.Date) {
    value = TLocalTime(date);
    reference = TLocalTime(*limit.Date);
  } else {
    value = TLocalTime(t - date);
    reference = TLocalTime(*limit.TimeOfDay);
  }
  return before ? value <= reference : value >= reference;
}

}  // namespace

// ---- Wildcards -------------------------------------------------------------------------------

bool WildcardMatch(const std::string& name, const std::string& mask) {
  const std::u32string n = findtext::Folded(name);
  const std::u32string m = findtext::Folded(mask);
  size_t i = 0, j = 0;
  size_t star = std::u32string::npos, resume = 0;
  while (i < n.size()) {
    if (j < m.size() && (m[j] == U'?' || m[j] == n[i])) {
      ++i;
      ++j;
    } else if (j < m.size() && m[j] == U'*') {
      star = j++;
      resume = i;
    } else if (star != std::u32string::npos) {
      // Let the last "*" take one more character and try the rest of the mask again.
      j = star + 1;
      i = ++resume;
    } else {
      return false;
    }
  }
  // "?" at the end of a mask may stand for nothing, as in DOS masks ("*.???" matches "a.c").
  while (j < m.size() && (m[j] == U'*' || m[j] == U'?')) ++j;
  return j == m.size();
}

// ---- Criteria --------------------------------------------------------------------------------

void TFileCriteria::Clear() { *this = TFileCriteria(); }

void TFileCriteria::SetFileName(const std::string& value) {
  FFileName = value;
  FTargetPaths.reset();
}

void TFileCriteria::SetLocation(const std::string& value) {
  FLocation = value;
  FTargetPaths.reset();
}

void TFileCriteria::SetPaths(const std::vector<std::string>& value) {
  FPaths = value;
  FTargetPaths.reset();
}

void TFileCriteria::SetSubfolders(bool value) {
  FSubfolders = value;
  FTargetPaths.reset();
}

void TFileCriteria::SetMinLevel(uint16_t value) {
  FMinLevel = value;
  FTargetPaths.reset();
}

void TFileCriteria::SetMaxLevel(uint16_t value) {
  FMaxLevel = value;
  FTargetPaths.reset();
}

void TFileCriteria::SetFilters(const std::vector<std::string>& value) {
  FFilters.clear();
  for (const auto& f : value) AddUnique(FFilters, f);
}

const TTargetPaths& TFileCriteria::TargetPaths() const {
  if (FTargetPaths) return *FTargetPaths;
  TTargetPaths targets;
  std::vector<std::string> masks;
  for (const auto& m : SplitTrimmed(FFileName, ';')) AddUnique(masks, m);
  if (masks.empty()) masks.push_back("*.*");

  const auto add = [&](const std::string& line, const std::vector<std::string>& lineMasks) {
    TTargetPath parsed;
    parsed.Subfolders = FSubfolders;
    parsed.MinLevel = FMinLevel;
    parsed.MaxLevel = FMaxLevel;
    if (!ParseTargetLine(line, parsed)) return;
    TTargetPath& target = FindOrAddTarget(targets, parsed.Folder);
    target.Folder = parsed.Folder;
    target.Subfolders = parsed.Subfolders;
    target.MinLevel = parsed.MinLevel;
    target.MaxLevel = parsed.MaxLevel;
    for (const auto& m : lineMasks) AddUnique(target.Masks, m);
  };
  for (const auto& line : SplitTrimmed(FLocation, ';')) add(line, masks);
  for (const auto& raw : FPaths) {
    const std::string line = Trim(raw);
    if (line.empty()) continue;
    // The part after the last "/" is the line's mask, the rest its target line.
    const size_t slash = line.rfind('/');
    const std::string folderPart = slash == std::string::npos ? std::string() : line.substr(0, slash + 1);
    const std::string namePart = slash == std::string::npos ? line : line.substr(slash + 1);
    add(folderPart, {namePart.empty() ? std::string("*.*") : namePart});
  }
  FTargetPaths = std::move(targets);
  return *FTargetPaths;
}

void TAttributesCriteria::Clear() {
  FSet = FAnySet = FAnyUnset = 0;
  FUnset = faHidden | faSystem | faDirectory;
}

TFileAttributeStatus TAttributesCriteria::Status(uint32_t attribute) const {
  if (FSet & attribute) return TFileAttributeStatus::fsSet;
  if (FUnset & attribute) return TFileAttributeStatus::fsUnset;
  if (FAnySet & attribute) return TFileAttributeStatus::fsAnySet;
  if (FAnyUnset & attribute) return TFileAttributeStatus::fsAnyUnset;
  return TFileAttributeStatus::fsIgnore;
}

void TAttributesCriteria::SetStatus(uint32_t attribute, TFileAttributeStatus status) {
  FSet &= ~attribute;
  FUnset &= ~attribute;
  FAnySet &= ~attribute;
  FAnyUnset &= ~attribute;
  switch (status) {
    case TFileAttributeStatus::fsIgnore: break;
    case TFileAttributeStatus::fsSet: FSet |= attribute; break;
    case TFileAttributeStatus::fsUnset: FUnset |= attribute; break;
    case TFileAttributeStatus::fsAnySet: FAnySet |= attribute; break;
    case TFileAttributeStatus::fsAnyUnset: FAnyUnset |= attribute; break;
  }
}

bool TAttributesCriteria::Matches(uint32_t attributes) const {
  return (attributes & FSet) == FSet && (~attributes & FUnset) == FUnset &&
         (FAnySet == 0 || (attributes & FAnySet) != 0) && (FAnyUnset == 0 || (~attributes & FAnyUnset) != 0);
}

bool TDateTimeCriteria::Matches(TLocalTime created, TLocalTime modified, TLocalTime accessed) const {
  return TimePasses(created, FCreatedBefore, true) && TimePasses(created, FCreatedAfter, false) &&
         TimePasses(modified, FModifiedBefore, true) && TimePasses(modified, FModifiedAfter, false) &&
         TimePasses(accessed, FAccessedBefore, true) && TimePasses(accessed, FAccessedAfter, false);
}

void TSearchCriteria::Clear() {
  FFiles.Clear();
  FAttributes.Clear();
  FTimeStamp.Clear();
  FSize.Clear();
  FContent.Clear();
}

// ---- Search thread ---------------------------------------------------------------------------

TSearchThread::TSearchThread(TFindFile& owner, std::weak_ptr<TFindFile*> alive, TThreadPriority priority)
    : FOwner(owner), FAlive(std::move(alive)) {
  FThread = std::thread([this, priority] { Execute(priority); });
}

TSearchThread::~TSearchThread() {
  // The thread notifies after its last use of anything but the signal, which lives until Join.
  platform::WaitInMainThread([this] { return FFinished.load(); }, FFinishedSignal);
  Join();
}

void TSearchThread::Join() {
  if (FThread.joinable()) FThread.join();
}

void TSearchThread::Execute(TThreadPriority priority) {
  // Only lowering is possible without privileges; the nice values follow the usual 5/10/19 steps.
  int nice = 0;
  switch (priority) {
    case TThreadPriority::tpIdle: nice = 19; break;
    case TThreadPriority::tpLowest: nice = 10; break;
    case TThreadPriority::tpLower: nice = 5; break;
    default: break;
  }
  if (nice != 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
  std::string errorText;
  try {
    FOwner.SearchAll();
  } catch (const std::exception& e) {
    errorText = e.what();
  } catch (...) {
    errorText = "Unknown exception in the search thread";
  }
  // The owner may be destroyed before the main thread gets to the queued end: it drops its token
  // first, and the queued call then does nothing.
  // Nothing here touches FThread or the owner's pointer to this object: the main thread may
  // still be storing them when a short search ends.
  try {
    platform::PostToMainThread([alive = FAlive, error = std::move(errorText), worker = std::this_thread::get_id()] {
      if (auto owner = alive.lock()) (*owner)->ThreadDone(error, std::this_thread::get_id() == worker);
    });
  } catch (...) {
    // Nothing may leave the thread; without the queued end the owner stays Busy until destroyed.
  }
  FFinished = true;
  FFinishedSignal.Notify();
}

// ---- Finder ----------------------------------------------------------------------------------

TFindFile::TFindFile() : FAliveToken(std::make_shared<TFindFile*>(this)) {}

TFindFile::~TFindFile() {
  FDestroying = true;
  FAliveToken.reset();
  FAborted = true;
  FThread.reset();
}

void TFindFile::Execute() {
  if (FBusy) return;
  // A thread that ended while no dispatcher was installed finished on itself; collect it now
  // (it has left the search, so the wait is short).
  FThread.reset();
  try {
    BeginSearch();
    if (FThreaded) {
      FThread = std::make_unique<TSearchThread>(*this, FAliveToken, FThreadPriority);
      return;
    }
    SearchAll();
  } catch (...) {
    EndSearch();
    throw;
  }
  EndSearch();
}

void TFindFile::Abort() {
  if (FBusy) FAborted = true;
}

void TFindFile::BeginSearch() {
  FBusy = true;
  FAborted = false;
  FWorkCriteria = std::make_unique<TSearchCriteria>(FCriteria);
  FExcludedFolderMask = FWorkCriteria->Attributes().UnsetMask() & kExcludableFolderAttributes;
  DoSearchBegin();
}

void TFindFile::EndSearch() {
  FWorkCriteria.reset();
  FTarget = nullptr;
  FVisitedFolders.clear();
  FBusy = false;
  DoSearchFinish();
}

void TFindFile::ThreadDone(const std::string& errorText, bool onSearchThread) {
  if (!onSearchThread && FThread) {
    FThread->Join();
    FThread.reset();
  }
  if (!errorText.empty())
    platform::Prompter().Message(nullptr, platform::TPromptIcon::Error, "Error", QString::fromStdString(errorText));
  EndSearch();
}

void TFindFile::DoSearchBegin() {
  if (OnSearchBegin) OnSearchBegin();
}

void TFindFile::DoSearchFinish() {
  if (!FDestroying && OnSearchFinish) OnSearchFinish();
}

TFolderIgnore TFindFile::DoFolderChange(const std::string& folder) {
  TFolderIgnore ignore = TFolderIgnore::fiNone;
  if (OnFolderChange && !FAborted) OnFolderChange(folder, ignore);
  return ignore;
}

void TFindFile::FolderError(const std::string& folder, const std::error_code& error) {
  if (!FAborted && OnFolderError) OnFolderError(folder, error.message());
}

void TFindFile::DoFileMatch(const std::string& folder, const TFileDetails& entry) {
  if (!FAborted && OnFileMatch) OnFileMatch(entry);
}

bool TFindFile::AcceptFile(const std::string& folder, const TFileDetails& entry) {
  if (FAborted) return false;
  const TSearchCriteria& c = *FWorkCriteria;
  if (!c.Attributes().Matches(entry.Attributes)) return false;
  if (!c.Size().Matches(entry.Size)) return false;
  if (!c.TimeStamp().Matches(entry.CreatedTime, entry.ModifiedTime, entry.AccessedTime)) return false;
  const auto& filters = c.Files().Filters();
  if (!filters.empty()) {
    std::string path = folder + entry.Name;
    if (entry.Name.find('.') == std::string::npos) path += '.';
    for (const auto& filter : filters) {
      if (!filter.empty() && filter[0] == '>') {
        if (WildcardMatch(path, filter.substr(1))) break;
      } else if (WildcardMatch(path, !filter.empty() && filter[0] == '<' ? filter.substr(1) : filter)) {
        return false;
      }
    }
  }
  return c.Content().Matches(folder + entry.Name);
}

void TFindFile::SearchAll() {
  for (const TTargetPath& target : FWorkCriteria->Files().TargetPaths()) {
    if (FAborted) break;
    FTarget = &target;
    FLevel = 0;
    FVisitedFolders.clear();
    SearchFolder(target.Folder);
  }
}

void TFindFile::SearchFolder(const std::string& folder) {
  if (FAborted) return;
  // Each folder is searched once per target, however many links lead to it; this also ends
  // cycles of links.
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    FolderError(folder, std::error_code(errno, std::generic_category()));
    return;
  }
  if (!FVisitedFolders.emplace(static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)).second) return;

  ++FLevel;
  struct TLevelGuard {
    int& Level;
    ~TLevelGuard() { --Level; }
  } guard{FLevel};

  const TFolderIgnore ignore = DoFolderChange(folder);
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) FolderError(folder, ec);
  std::sort(names.begin(), names.end());

  std::vector<TFileDetails> entries;
  entries.reserve(names.size());
  for (const auto& name : names) {
    if (FAborted) return;
    TFileDetails details;
    if (ReadEntry(folder, name, details)) entries.push_back(std::move(details));
  }

  if ((ignore == TFolderIgnore::fiNone || ignore == TFolderIgnore::fiJustSubfolders) && FLevel >= FTarget->MinLevel) {
    for (const auto& entry : entries) {
      if (FAborted) return;
      if (MatchesAnyMask(entry.Name, FTarget->Masks) && AcceptFile(folder, entry)) DoFileMatch(folder, entry);
    }
  }
  if (FTarget->Subfolders && (ignore == TFolderIgnore::fiNone || ignore == TFolderIgnore::fiJustThis) &&
      (FTarget->MaxLevel == 0 || FLevel < FTarget->MaxLevel)) {
    for (const auto& entry : entries) {
      if (FAborted) return;
      if ((entry.Attributes & faDirectory) != 0 && (entry.Attributes & FExcludedFolderMask) == 0)
        SearchFolder(folder + entry.Name + "/");
    }
  }
}

}  // namespace components
