#pragma once
// A sorted list of paths without duplicates, and the back-and-forward history of visited folders.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "shell/nav_item_id_list.h"

namespace shell {

/// Sorted, without duplicates, case-sensitive (two names that differ in case are two files).
/// "/" stays as it is; every other path loses a trailing "/".
class TNavPathList {
 public:
  /// Adds a path; -1 for a duplicate, an empty path, or (with CheckIfExists) a missing one;
  /// otherwise the index where it went.
  int Add(const QString& path);
  void AddStrings(const QStringList& paths);
  void Delete(int index);
  /// Replaces the entry at index (which may move it).
  void Put(int index, const QString& path);
  void Clear();
  int IndexOf(const QString& path) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  const QString& operator[](int index) const { return FItems[static_cast<size_t>(index)]; }
  QStringList Strings() const { return FItems; }
  /// The entries joined by ";".
  QString DelimitedText() const { return FItems.join(QLatin1Char(';')); }

  bool CheckIfExists() const { return FCheckIfExists; }
  void SetCheckIfExists(bool value) { FCheckIfExists = value; }
  /// True once a path on a network file system was added.
  bool ContainsNetworkPath() const { return FContainsNetworkPath; }

  /// Called after a path was inserted or replaced, and before one is deleted or replaced.
  std::function<void(const QString& path, int index)> OnPathInserted;
  std::function<void(const QString& path, int index)> OnPathRemoving;

  static QString NormalisePath(const QString& path);
  /// True when path lies below folder (not the folder itself); case-sensitive.
  static bool IsBelow(const QString& folder, const QString& path);
  /// True for zero or one entry, or when every entry lies on the same volume.
  static bool AllOnSameDrive(const QStringList& paths);
  /// "//server" (no share): a bare server name.
  static bool IsServerName(const QString& path);

 private:
  QStringList FItems;
  bool FCheckIfExists = false;
  bool FContainsNetworkPath = false;
};

/// The folders a list visited, with a position for going back and forward.
class TPidlHistory {
 public:
  /// Ignores null and no-object lists and the current folder; drops the forward entries, then
  /// appends and moves there.
  void Add(const INavItemIdList& list);
  INavItemIdList Current() const;
  /// steps <= 0: back by |steps|; steps > 0: forward.
  bool CanGo(int steps) const;
  void Back(int steps = 1);
  void Forward(int steps = 1);
  void Clear();
  int Position() const { return FPosition; }
  int Count() const { return static_cast<int>(FItems.size()); }
  const INavItemIdList& operator[](int index) const { return FItems[static_cast<size_t>(index)]; }

 private:
  std::vector<INavItemIdList> FItems;
  int FPosition = -1;
};

}  // namespace shell
