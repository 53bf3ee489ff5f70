#pragma once
// The file finder: searches folders for files that match a set of criteria (name masks and
// filters, attributes, size, time stamps, content) and reports every match through OnFileMatch,
// either on the calling thread or on a search thread of its own.
//
// Linux meaning of the attribute bits (the bit values are the ones the criteria have always used):
//   Readonly      the owner has no write permission, or the file is immutable
//   Hidden        the name begins with "."
//   System        a special file: FIFO, socket, character or block device
//   Directory     a folder (also a symbolic link to a folder)
//   Device        a character or block device
//   Normal        none of the other bits is set
//   ReparsePoint  a symbolic link (to a folder, a file, or nothing)
//   Compressed, Encrypted  as the file system reports them (statx)
//   Archive, Temporary, SparseFile, Offline, NotContentIndexed, Virtual  never set
// Creation time is the birth time where the file system records it, else the earlier of the
// modification and status-change times.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/main_thread.h"

namespace components {

/// Attribute bits of TFileDetails::Attributes and of the attribute masks.
inline constexpr uint32_t faReadonly = 0x1;
inline constexpr uint32_t faHidden = 0x2;
inline constexpr uint32_t faSystem = 0x4;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;
inline constexpr uint32_t faDevice = 0x40;
inline constexpr uint32_t faNormal = 0x80;
inline constexpr uint32_t faTemporary = 0x100;
inline constexpr uint32_t faSparseFile = 0x200;
inline constexpr uint32_t faReparsePoint = 0x400;
inline constexpr uint32_t faCompressed = 0x800;
inline constexpr uint32_t faOffline = 0x1000;
inline constexpr uint32_t faNotContentIndexed = 0x2000;
inline constexpr uint32_t faEncrypted = 0x4000;
inline constexpr uint32_t faVirtual = 0x10000;

enum class TFileAttributeStatus { fsIgnore, fsSet, fsUnset, fsAnySet, fsAnyUnset };
enum class TFolderIgnore { fiNone, fiJustThis, fiJustSubfolders, fiThisAndSubfolders };
enum class TContentSearchOption { csoCaseSensitive, csoWholeWord, csoNegate };
using TContentSearchOptions = std::set<TContentSearchOption>;
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TLocalTime = std::chrono::local_time<std::chrono::microseconds>;

/// A local wall-clock moment of the time-stamp criteria. Either part may be left out: a date alone
/// compares calendar days, a time alone compares times of day; neither means "not used".
struct TDateTimeValue {
  std::optional<std::chrono::local_days> Date;
  std::optional<std::chrono::microseconds> TimeOfDay;
  bool IsSet() const { return Date.has_value() || TimeOfDay.has_value(); }
  bool operator==(const TDateTimeValue&) const = default;
};

/// Base of the five criteria objects.
class TCustomCriteria {
 public:
  virtual ~TCustomCriteria() = default;
  /// Resets the object to its starting values.
  virtual void Clear() = 0;
};

/// One folder to search, with its masks and level limits (built from TFileCriteria).
struct TTargetPath {
  std::string Folder;  // absolute, with a trailing "/"
  std::vector<std::string> Masks;  // duplicates (ignoring case) dropped
  bool Subfolders = true;
  uint16_t MinLevel = 0;
  uint16_t MaxLevel = 0;
};
using TTargetPaths = std::vector<TTargetPath>;

/// Names and places. Locations and Paths lines use the target-line syntax: "2-3>folder" searches
/// the levels 2 to 3 below and including folder (folder itself is level 1), "3>folder" levels up
/// to 3, ">folder" all sub-folders, "<folder" that folder alone.
class TFileCriteria : public TCustomCriteria {
 public:
  void Clear() override;
  /// Masks separated by ";" ("*.avi;*.mkv"); empty means "*.*".
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& value);
  /// Target lines separated by ";".
  const std::string& Location() const { return FLocation; }
  void SetLocation(const std::string& value);
  /// Further target lines, one per entry, each ending in a mask ("2>/media/*.avi").
  const std::vector<std::string>& Paths() const { return FPaths; }
  void SetPaths(const std::vector<std::string>& value);
  bool Subfolders() const { return FSubfolders; }
  void SetSubfolders(bool value);
  uint16_t MinLevel() const { return FMinLevel; }
  void SetMinLevel(uint16_t value);
  uint16_t MaxLevel() const { return FMaxLevel; }
  void SetMaxLevel(uint16_t value);
  /// Wildcard filters tried in order on the full path (with "." appended to a name without
  /// extension): ">mask" accepts, "<mask" or "mask" rejects; no decision accepts. Duplicates
  /// (ignoring case) are dropped.
  const std::vector<std::string>& Filters() const { return FFilters; }
  void SetFilters(const std::vector<std::string>& value);
  /// The targets, built on first use and kept until a property other than Filters changes.
  const TTargetPaths& TargetPaths() const;

 private:
  std::string FFileName;
  std::string FLocation;
  std::vector<std::string> FPaths;
  bool FSubfolders = true;
  uint16_t FMinLevel = 0;
  uint16_t FMaxLevel = 0;
  std::vector<std::string> FFilters;
  mutable std::optional<TTargetPaths> FTargetPaths;
};

/// One status per attribute, kept as four masks; a bit sits in at most one of them.
class TAttributesCriteria : public TCustomCriteria {
 public:
  TAttributesCriteria() { Clear(); }
  /// Hidden, System and Directory unset; everything else ignored.
  void Clear() override;
  TFileAttributeStatus Status(uint32_t attribute) const;
  void SetStatus(uint32_t attribute, TFileAttributeStatus status);

  TFileAttributeStatus Readonly() const { return Status(faReadonly); }
  void SetReadonly(TFileAttributeStatus s) { SetStatus(faReadonly, s); }
  TFileAttributeStatus Hidden() const { return Status(faHidden); }
  void SetHidden(TFileAttributeStatus s) { SetStatus(faHidden, s); }
  TFileAttributeStatus System() const { return Status(faSystem); }
  void SetSystem(TFileAttributeStatus s) { SetStatus(faSystem, s); }
  TFileAttributeStatus Directory() const { return Status(faDirectory); }
  void SetDirectory(TFileAttributeStatus s) { SetStatus(faDirectory, s); }
  TFileAttributeStatus Archive() const { return Status(faArchive); }
  void SetArchive(TFileAttributeStatus s) { SetStatus(faArchive, s); }
  TFileAttributeStatus Device() const { return Status(faDevice); }
  void SetDevice(TFileAttributeStatus s) { SetStatus(faDevice, s); }
  TFileAttributeStatus Normal() const { return Status(faNormal); }
  void SetNormal(TFileAttributeStatus s) { SetStatus(faNormal, s); }
  TFileAttributeStatus Temporary() const { return Status(faTemporary); }
  void SetTemporary(TFileAttributeStatus s) { SetStatus(faTemporary, s); }
  TFileAttributeStatus SparseFile() const { return Status(faSparseFile); }
  void SetSparseFile(TFileAttributeStatus s) { SetStatus(faSparseFile, s); }
  TFileAttributeStatus ReparsePoint() const { return Status(faReparsePoint); }
  void SetReparsePoint(TFileAttributeStatus s) { SetStatus(faReparsePoint, s); }
  TFileAttributeStatus Compressed() const { return Status(faCompressed); }
  void SetCompressed(TFileAttributeStatus s) { SetStatus(faCompressed, s); }
  TFileAttributeStatus Offline() const { return Status(faOffline); }
  void SetOffline(TFileAttributeStatus s) { SetStatus(faOffline, s); }
  TFileAttributeStatus NotContentIndexed() const { return Status(faNotContentIndexed); }
  void SetNotContentIndexed(TFileAttributeStatus s) { SetStatus(faNotContentIndexed, s); }
  TFileAttributeStatus Encrypted() const { return Status(faEncrypted); }
  void SetEncrypted(TFileAttributeStatus s) { SetStatus(faEncrypted, s); }
  TFileAttributeStatus Virtual() const { return Status(faVirtual); }
  void SetVirtual(TFileAttributeStatus s) { SetStatus(faVirtual, s); }

  uint32_t SetMask() const { return FSet; }
  uint32_t UnsetMask() const { return FUnset; }
  uint32_t AnySetMask() const { return FAnySet; }
  uint32_t AnyUnsetMask() const { return FAnyUnset; }
  /// All of Set present, all of Unset absent, one of AnySet present, one of AnyUnset absent.
  bool Matches(uint32_t attributes) const;

 private:
  uint32_t FSet = 0;
  uint32_t FUnset = 0;
  uint32_t FAnySet = 0;
  uint32_t FAnyUnset = 0;
};

/// Time-stamp limits; an unset value is not used.
class TDateTimeCriteria : public TCustomCriteria {
 public:
  void Clear() override { *this = TDateTimeCriteria(); }
  const TDateTimeValue& CreatedBefore() const { return FCreatedBefore; }
  void SetCreatedBefore(const TDateTimeValue& v) { FCreatedBefore = v; }
  const TDateTimeValue& CreatedAfter() const { return FCreatedAfter; }
  void SetCreatedAfter(const TDateTimeValue& v) { FCreatedAfter = v; }
  const TDateTimeValue& ModifiedBefore() const { return FModifiedBefore; }
  void SetModifiedBefore(const TDateTimeValue& v) { FModifiedBefore = v; }
  const TDateTimeValue& ModifiedAfter() const { return FModifiedAfter; }
  void SetModifiedAfter(const TDateTimeValue& v) { FModifiedAfter = v; }
  const TDateTimeValue& AccessedBefore() const { return FAccessedBefore; }
  void SetAccessedBefore(const TDateTimeValue& v) { FAccessedBefore = v; }
  const TDateTimeValue& AccessedAfter() const { return FAccessedAfter; }
  void SetAccessedAfter(const TDateTimeValue& v) { FAccessedAfter = v; }
  /// True when created, modified and accessed pass their limits.
  bool Matches(TLocalTime created, TLocalTime modified, TLocalTime accessed) const;

 private:
  TDateTimeValue FCreatedBefore, FCreatedAfter, FModifiedBefore, FModifiedAfter, FAccessedBefore,
      FAccessedAfter;
};

/// Size limits in bytes; 0 is not used.
class TSizeCriteria : public TCustomCriteria {
 public:
  void Clear() override { FMin = FMax = 0; }
  uint64_t Min() const { return FMin; }
  void SetMin(uint64_t value) { FMin = value; }
  uint64_t Max() const { return FMax; }
  void SetMax(uint64_t value) { FMax = value; }
  bool Matches(uint64_t size) const { return (FMin == 0 || size >= FMin) && (FMax == 0 || size <= FMax); }

 private:
  uint64_t FMin = 0;
  uint64_t FMax = 0;
};

/// The phrase in the encodings a file may be in.
struct TStringVariants {
  std::string Utf8;  // also used for files without a byte-order mark
  std::u16string Utf16;
};

/// A phrase the file's text must (or, with csoNegate, must not) contain.
class TContentCriteria : public TCustomCriteria {
 public:
  void Clear() override;
  /// Empty means "not used".
  const std::string& Phrase() const { return FPhrase; }
  void SetPhrase(const std::string& value);
  const TContentSearchOptions& Options() const { return FOptions; }
  void SetOptions(const TContentSearchOptions& value) { FOptions = value; }
  const TStringVariants& Variants() const { return FVariants; }
  /// Searches the file. A file that cannot be opened or read never matches, not even negated.
  bool Matches(const std::string& fileName) const;

 private:
  std::string FPhrase;
  TContentSearchOptions FOptions;
  TStringVariants FVariants;
};

/// The whole set of criteria; a plain value, copied by assignment.
class TSearchCriteria {
 public:
  void Clear();
  TFileCriteria& Files() { return FFiles; }
  const TFileCriteria& Files() const { return FFiles; }
  TAttributesCriteria& Attributes() { return FAttributes; }
  const TAttributesCriteria& Attributes() const { return FAttributes; }
  TDateTimeCriteria& TimeStamp() { return FTimeStamp; }
  const TDateTimeCriteria& TimeStamp() const { return FTimeStamp; }
  TSizeCriteria& Size() { return FSize; }
  const TSizeCriteria& Size() const { return FSize; }
  TContentCriteria& Content() { return FContent; }
  const TContentCriteria& Content() const { return FContent; }

 private:
  TFileCriteria FFiles;
  TAttributesCriteria FAttributes;
  TDateTimeCriteria FTimeStamp;
  TSizeCriteria FSize;
  TContentCriteria FContent;
};

/// One match, as OnFileMatch receives it.
struct TFileDetails {
  std::string Location;  // the folder, with a trailing "/"
  std::string Name;
  uint32_t Attributes = 0;
  uint64_t Size = 0;  // 0 for folders
  TLocalTime CreatedTime{};
  TLocalTime ModifiedTime{};
  TLocalTime AccessedTime{};
};

/// Windows-style wildcard match ignoring case: "*" any run of characters, "?" exactly one.
bool WildcardMatch(const std::string& name, const std::string& mask);

class TFindFile;

/// The thread of a threaded search: runs the search and hands its end, with the text of what it
/// threw, to the main thread. Owned by the TFindFile that started it.
class TSearchThread {
 public:
  /// alive expires when the owner is destroyed; the end of the search is then dropped.
  TSearchThread(TFindFile& owner, std::weak_ptr<TFindFile*> alive, TThreadPriority priority);
  /// Waits for the thread (pumping main-thread work, so a handler blocked in CallInMainThread can
  /// finish).
  ~TSearchThread();
  TSearchThread(const TSearchThread&) = delete;
  TSearchThread& operator=(const TSearchThread&) = delete;
  /// True once the thread has left the search and queued its end.
  bool Finished() const { return FFinished.load(); }
  /// Joins the thread. Called on the main thread only.
  void Join();

 private:
  void Execute(TThreadPriority priority);
  TFindFile& FOwner;
  std::weak_ptr<TFindFile*> FAlive;
  std::atomic<bool> FFinished{false};
  platform::TWaitSignal FFinishedSignal;  // wakes the destructor's wait
  std::thread FThread;
};

/// The finder component. Created and driven from the main thread.
class TFindFile {
 public:
  TFindFile();
  /// Aborts a running search and waits for its thread; OnSearchFinish does not fire then.
  virtual ~TFindFile();
  TFindFile(const TFindFile&) = delete;
  TFindFile& operator=(const TFindFile&) = delete;

  /// The criteria of the next search; a running search works on a copy.
  TSearchCriteria& Criteria() { return FCriteria; }
  const TSearchCriteria& Criteria() const { return FCriteria; }
  void SetCriteria(const TSearchCriteria& value) { FCriteria = value; }
  /// Search on a thread of its own (false: Execute returns when the search is over).
  bool Threaded() const { return FThreaded; }
  void SetThreaded(bool value) { FThreaded = value; }
  /// Below tpNormal the search thread runs at a lower scheduling priority; higher values are kept
  /// for compatibility and run at normal priority.
  TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TThreadPriority value) { FThreadPriority = value; }
  /// From the start of Execute until OnSearchFinish has fired.
  bool Busy() const { return FBusy.load(); }
  bool Aborted() const { return FAborted.load(); }

  /// Starts a search; does nothing while Busy. Without Threaded, searches and finishes before it
  /// returns, and what a handler throws goes on to the caller after OnSearchFinish. With Threaded,
  /// returns at once; the end arrives on the main thread (through platform::PostToMainThread),
  /// where OnSearchFinish fires, and what the search threw is shown with platform::Prompter.
  void Execute();
  /// Asks a running search to stop; checked at every folder and every entry. Any thread.
  void Abort();

  /// A match. Fires on the search thread when Threaded.
  std::function<void(const TFileDetails& fileInfo)> OnFileMatch;
  /// A folder is about to be searched; set ignoreFolder to skip its files and/or its sub-folders.
  /// Fires on the search thread when Threaded.
  std::function<void(const std::string& folder, TFolderIgnore& ignoreFolder)> OnFolderChange;
  /// A folder that cannot be searched (its reason, as the system words it: "Permission denied").
  /// Fires on the search thread when Threaded.
  std::function<void(const std::string& folder, const std::string& reason)> OnFolderError;
  /// Fires on the thread that calls Execute.
  std::function<void()> OnSearchBegin;
  /// Fires on the main thread when Threaded, else before Execute returns.
  std::function<void()> OnSearchFinish;

 protected:
  virtual void DoSearchBegin();
  virtual void DoSearchFinish();
  virtual TFolderIgnore DoFolderChange(const std::string& folder);
  void FolderError(const std::string& folder, const std::error_code& error);
  virtual void DoFileMatch(const std::string& folder, const TFileDetails& entry);
  /// Whether entry passes every criterion (false once aborted).
  virtual bool AcceptFile(const std::string& folder, const TFileDetails& entry);

 private:
  friend class TSearchThread;
  void BeginSearch();
  void EndSearch();
  void SearchAll();
  void SearchFolder(const std::string& folder);
  // The end of a threaded search. onSearchThread: no dispatcher was installed, so it runs on the
  // search thread itself, which cannot be joined from there and is collected later.
  void ThreadDone(const std::string& errorText, bool onSearchThread);

  TSearchCriteria FCriteria;
  bool FThreaded = false;
  TThreadPriority FThreadPriority = TThreadPriority::tpNormal;
  std::atomic<bool> FBusy{false};
  std::atomic<bool> FAborted{false};
  std::atomic<bool> FDestroying{false};
  // Run state, touched only by the thread that searches.
  std::unique_ptr<TSearchCriteria> FWorkCriteria;
  const TTargetPath* FTarget = nullptr;
  int FLevel = 0;
  uint32_t FExcludedFolderMask = 0;
  std::set<std::pair<uint64_t, uint64_t>> FVisitedFolders;  // (device, inode) of the current target
  std::unique_ptr<TSearchThread> FThread;
  // Lets a queued end-of-search find out that the component is gone.
  std::shared_ptr<TFindFile*> FAliveToken;
};

}  // namespace components
