#include "shell/nav_path_list.h"

#include <QFileInfo>
#include <algorithm>

#include "shell/mounts.h"

namespace shell {

QString TNavPathList::NormalisePath(const QString& path) {
  QString p = path;
  while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
  return p;
}

int TNavPathList::Add(const QString& path) {
  const QString p = NormalisePath(path);
  if (p.isEmpty()) return -1;
  if (FCheckIfExists && !QFileInfo::exists(p) && !QFileInfo(p).isSymLink()) return -1;
  auto it = std::lower_bound(FItems.begin(), FItems.end(), p);
  if (it != FItems.end() && *it == p) return -1;
  const int index = static_cast<int>(it - FItems.begin());
  FItems.insert(index, p);
  if (TMounts::IsRemote(p)) FContainsNetworkPath = true;
  if (OnPathInserted) OnPathInserted(p, index);
  return index;
}

void TNavPathList::AddStrings(const QStringList& paths) {
  for (const QString& path : paths) Add(path);
}

void TNavPathList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  if (OnPathRemoving) OnPathRemoving(FItems[index], index);
  FItems.removeAt(index);
}

void TNavPathList::Put(int index, const QString& path) {
  if (index < 0 || index >= Count()) return;
  Delete(index);
  Add(path);
}

void TNavPathList::Clear() {
  while (!FItems.isEmpty()) Delete(Count() - 1);
  FContainsNetworkPath = false;
}

int TNavPathList::IndexOf(const QString& path) const {
  const QString p = NormalisePath(path);
  auto it = std::lower_bound(FItems.begin(), FItems.end(), p);
  return it != FItems.end() && *it == p ? static_cast<int>(it - FItems.begin()) : -1;
}

bool TNavPathList::IsBelow(const QString& folder, const QString& path) {
  const QString f = NormalisePath(folder);
  if (f.isEmpty()) return false;
  const QString prefix = f == QLatin1String("/") ? f : f + QLatin1Char('/');
  const QString p = NormalisePath(path);
  return p != f && p.startsWith(prefix);
}

bool TNavPathList::AllOnSameDrive(const QStringList& paths) {
  if (paths.size() <= 1) return true;
  const QString first = TMounts::ForPath(paths.first()).Root;
  return std::all_of(paths.begin() + 1, paths.end(),
                     [&](const QString& p) { return TMounts::ForPath(p).Root == first; });
}

bool TNavPathList::IsServerName(const QString& path) {
  return path.size() > 2 && path.startsWith(QLatin1String("//")) && path.indexOf(QLatin1Char('/'), 2) < 0;
}

// --- history ---

void TPidlHistory::Add(const INavItemIdList& list) {
  if (NavIsEmpty(list)) return;
  if (INavItemIdList current = Current(); current && current->IsEqual(list)) return;
  if (FPosition + 1 < Count()) FItems.erase(FItems.begin() + FPosition + 1, FItems.end());
  FItems.push_back(list);
  FPosition = Count() - 1;
}

INavItemIdList TPidlHistory::Current() const {
  if (FPosition < 0 || FPosition >= Count()) return nullptr;
  return FItems[static_cast<size_t>(FPosition)];
}

bool TPidlHistory::CanGo(int steps) const {
  if (FItems.empty()) return false;
  if (steps <= 0) return FPosition >= -steps;
  return Count() - 1 - FPosition >= steps;
}

void TPidlHistory::Back(int steps) {
  for (int i = 0; i < steps && FPosition > 0; ++i) --FPosition;
}

void TPidlHistory::Forward(int steps) {
  for (int i = 0; i < steps && FPosition < Count() - 1; ++i) ++FPosition;
}

void TPidlHistory::Clear() {
  FItems.clear();
  FPosition = -1;
}

}  // namespace shell
