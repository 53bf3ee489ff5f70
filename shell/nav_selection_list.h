#pragma once
// The set of ticked files and folders of the shell controls, kept compact: a folder whose whole
// content is ticked is one entry ("folder/*"), and ticking or unticking keeps it that way. It can
// keep running totals of the ticked size, files and folders, summed on the worker pool.

#include <QObject>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "shell/nav_item_id_list.h"
#include "shell/nav_work_items.h"

namespace shell {

/// Check states of a path (the numbers of TNavSelectionState).
enum : int {
  csNotApplicable = 1,  // does not exist, not readable, or a folder link while links are not followed
  csChecked = 2,        // its entry or an ancestor folder's entry is stored
  csUnchecked = 3,
  csPartial = 4,        // some entry lies below it
};

/// Owns the entries and the totals; the compacting rules live in TNavSelectionList.
class TNavBaseSelectionList : public QObject {
  Q_OBJECT

 public:
  explicit TNavBaseSelectionList(QObject* owner = nullptr) : QObject(owner) {}

  const QStringList& Paths() const { return FPaths; }
  /// Cancels the size calculation, clears the entries and adds every path with Add.
  virtual void SetPaths(const QStringList& paths);
  int Count() const { return static_cast<int>(FPaths.size()); }
  virtual QString Get(int index) const { return FPaths.at(index); }
  virtual int GetState(const QString& path, bool& inherited) = 0;
  virtual void Add(const QString& path) = 0;
  virtual void Remove(const QString& path) = 0;
  virtual void Clear();

  uint64_t TotalSize() const { return FTotalSize; }
  int FileCount() const { return FFileCount; }
  int FolderCount() const { return FFolderCount; }

  /// A path that does not exist was given.
  std::function<void(TNavBaseSelectionList&, const QString& path)> OnInvalidPath;
  /// After every change of the entries.
  std::function<void(TNavBaseSelectionList&)> OnChange;

 protected:
  virtual void Changed(const QString& path);
  virtual void CancelCalculation() {}

  QStringList FPaths;
  uint64_t FTotalSize = 0;
  int FFileCount = 0;
  int FFolderCount = 0;
};

class TNavSelectionList : public TNavBaseSelectionList {
  Q_OBJECT

 public:
  /// An owner that is a TNavShellLink is told of every change (outside updates).
  explicit TNavSelectionList(QObject* owner = nullptr);
  ~TNavSelectionList() override;

  void Assign(const TNavSelectionList& source) { SetPaths(source.Paths()); }
  void Add(const QString& path) override;
  void Remove(const QString& path) override;
  void Clear() override;
  void Rename(const QString& oldPath, const QString& newPath);
  void AddIdList(const INavItemIdList& list);
  void RemoveIdList(const INavItemIdList& list);

  /// While above zero the link is not told; the EndUpdate that reaches zero tells it once.
  void BeginUpdate();
  void EndUpdate();

  int GetState(const QString& path, bool& inherited) override;
  int GetStateOfIdList(const INavItemIdList& list, bool& inherited);
  /// GetState over a copy of today's entries, safe to ask on a worker thread.
  TSelectionStateQuery StateQuery() const;
  /// The path (or its folder entry) is stored, or it is a folder all of whose content is.
  bool IsFullySelected(const QString& path) const;
  bool IsSelectedOrBelowSelected(const QString& path);

  bool FollowFolderShortcuts() const { return FFollowShortcuts; }
  void SetFollowFolderShortcuts(bool value) { FFollowShortcuts = value; }
  bool CalculateTotals() const { return FCalculateTotals; }
  void SetCalculateTotals(bool value) { FCalculateTotals = value; }
  bool StopOnInvalidPath() const { return FStopOnInvalidPath; }
  void SetStopOnInvalidPath(bool value) { FStopOnInvalidPath = value; }

  /// Whenever the totals change.
  std::function<void(TNavSelectionList&)> OnCompletedCalculateFiles;

  /// The stored form of a path: an existing file as it is, an existing folder as "folder/*";
  /// empty when the path is not valid ("", ".", "..", nothing there).
  static QString NormalisePath(const QString& path);
  /// Whether path lies inside folder (on a whole-name boundary; the folder itself is not).
  static bool IsBelow(const QString& folder, const QString& path);

 protected:
  void Changed(const QString& path) override;
  void CancelCalculation() override;

 private:
  /// The path after following a folder link; empty when the link is not to be followed.
  QString ResolveShortcut(const QString& path, bool& refused) const;
  int GetCheckState(const QString& normalised, bool& inherited) const;
  void RemoveBelow(const QString& folder);
  void DeleteEntry(int index, bool adjustTotals);
  void AppendEntry(const QString& entry, bool adjustTotals);
  /// The highest folder above path that would be fully selected; empty when none.
  QString FindCollapseTarget(const QString& path) const;
  void StartSizeItem(const QString& path, int factor);
  void SizeItemDone(uint64_t size, int files, int folders, int factor);
  void ResetTotals();

  int FUpdateCount = 0;
  bool FFollowShortcuts = true;
  bool FCalculateTotals = true;
  bool FStopOnInvalidPath = true;
  bool FDestroying = false;
};

}  // namespace shell
