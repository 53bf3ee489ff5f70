#include "platform/file_names.h"
#include "shell/nav_work_items.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMutex>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "platform/main_thread.h"
#include "shell/mounts.h"
#include "shell/shell_browser.h"
#include "shell/thumb_cache.h"

namespace shell {

namespace {

QMutex GThumbLock;
TThumbnailFunction GThumbnailFunction;

QImage ReadPicture(const QString& path, int width, int height) {
  // The desktop's thumbnail cache first: pictures and videos the file manager has seen.
  QImage cached = TThumbCache::Lookup(path, std::max(width, height));
  if (!cached.isNull()) {
    if (cached.width() > width || cached.height() > height)
      cached = cached.scaled(width, height, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return cached;
  }
  QImageReader reader(path);
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (size.isValid() && (size.width() > width || size.height() > height))
    reader.setScaledSize(size.scaled(width, height, Qt::KeepAspectRatio));
  QImage image = reader.read();
  if (!image.isNull() && (image.width() > width || image.height() > height))
    image = image.scaled(width, height, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return image;
}

}  // namespace

void SetThumbnailFunction(TThumbnailFunction function) {
  QMutexLocker lock(&GThumbLock);
  GThumbnailFunction = std::move(function);
}

QImage MakeThumbnail(const QString& path, int width, int height, TColor background, bool iconIfNone) {
  if (width <= 0 || height <= 0) width = height = 200;
  TThumbnailFunction function;
  {
    QMutexLocker lock(&GThumbLock);
    function = GThumbnailFunction;
  }
  if (function) return function(path, width, height, background, iconIfNone);
  return ReadPicture(path, width, height);
}

// --- thumbnails ---

TThumbnailWorkItem::TThumbnailWorkItem(INavItemIdList idList, TColor background, bool iconIfNone,
                                       const void* groupTag, const void* itemTag, int imageIndex,
                                       IThumbnailViewer* viewer, QObject* viewerObject, int height, int width)
    : TBasicWorkItem(groupTag, itemTag),
      FWidth(width),
      FHeight(height),
      FBackground(background),
      FPath(idList ? idList->GetPath() : QString()),
      FViewer(viewer),
      FViewerObject(viewerObject),
      FGuarded(viewerObject != nullptr),
      FImageIndex(imageIndex),
      FIconIfNone(iconIfNone) {}

void TThumbnailWorkItem::PerformWork() {
  if (Aborted() || FPath.isEmpty()) return;
  try {
    // A browser of its own, as the shell shows the item: cache, picture, then the provider.
    // The icon fallback is drawn in the completion, on the user-interface thread.
    TShellBrowser browser;
    browser.SetAbsoluteObjectIDList(TNavItemIdList::CreateFromAnyPath(FPath));
    FImage = browser.GetThumbnailBitmap(FWidth, FHeight, FBackground, false);
  } catch (...) {
    FImage = QImage();
  }
}

void TThumbnailWorkItem::Abort() {
  TBasicWorkItem::Abort();
  FViewer = nullptr;  // Abort runs on the user-interface thread, as does the completion
}

std::function<void()> TThumbnailWorkItem::GetCompletionHandler() {
  return [this] { ThumbnailComplete(); };
}

void TThumbnailWorkItem::ThumbnailComplete() {
  if (FViewer == nullptr || (FGuarded && FViewerObject.isNull()) || WaitWhilePaused()) {
    FImage = QImage();
    return;
  }
  if (FImage.isNull() && FIconIfNone) {
    // Pictures of icons are made here: pixmaps belong to the user-interface thread.
    const TNavSystemImageList& icons = TNavSystemImageList::GetGlobalSystemImageList();
    FImage = TNavSystemImageList::GetIconBitmap(icons, TNavSystemImageList::GetIconIndexForFile(FPath, true, false),
                                                FBackground, 0xC0C0C0, FWidth > 0 ? FWidth : 200,
                                                FHeight > 0 ? FHeight : 200);
  }
  if (FImage.isNull()) return;
  FViewer->ThumbnailReady(FImage, FImageIndex, GetItemTag());
}

// --- icons ---

TIconWorkItem::TIconWorkItem(const QString& path, const void* groupTag, const void* itemTag, IIconViewer* viewer,
                             QObject* viewerObject, unsigned kinds)
    : TBasicWorkItem(groupTag, itemTag),
      FPath(path),
      FViewer(viewer),
      FViewerObject(viewerObject),
      FGuarded(viewerObject != nullptr),
      FKinds(kinds) {}

TIconWorkItem::TIconWorkItem(INavItemIdList idList, const void* groupTag, const void* itemTag, IIconViewer* viewer,
                             QObject* viewerObject, unsigned kinds)
    : TBasicWorkItem(groupTag, itemTag),
      FIdList(std::move(idList)),
      FViewer(viewer),
      FViewerObject(viewerObject),
      FGuarded(viewerObject != nullptr),
      FKinds(kinds) {}

void TIconWorkItem::PerformWork() {
  try {
    if (FKinds & Selected)
      FSelected = FPath.isEmpty() ? TNavSystemImageList::GetIconIndex(FIdList, false, true)
                                  : TNavSystemImageList::GetIconIndexForPath(FPath, false, false, true);
    if (FKinds & Normal)
      FNormal = FPath.isEmpty() ? TNavSystemImageList::GetIconIndex(FIdList, false, false)
                                : TNavSystemImageList::GetIconIndexForPath(FPath, false, false, false);
    if (FKinds & Overlay) {
      const QString path = FPath.isEmpty() && FIdList ? FIdList->GetPath() : FPath;
      FOverlay = path.isEmpty() ? -1 : TNavSystemImageList::GetOverlayIndex(path);
    }
  } catch (...) {
    FOverlay = -1;
  }
  FIdList.reset();
}

void TIconWorkItem::Abort() {
  TBasicWorkItem::Abort();
  FViewer = nullptr;
}

std::function<void()> TIconWorkItem::GetCompletionHandler() {
  return [this] {
    if (FViewer == nullptr || (FGuarded && FViewerObject.isNull())) return;
    if (FKinds & Normal) FViewer->IconReady(FNormal, 0, GetItemTag());
    if (FKinds & Selected) FViewer->IconReady(FSelected, 2, GetItemTag());
    if (FKinds & Overlay) FViewer->IconReady(FOverlay, 1, GetItemTag());
  };
}

// --- folder sizes ---

TNavFolderSizeWorkItem::TNavFolderSizeWorkItem(const QString& rootPath, bool followLinks, bool recursive)
    : FRootPath(rootPath), FRecursive(recursive), FFollowLinks(followLinks) {}

void TNavFolderSizeWorkItem::PerformWork() {
  QString root = FRootPath.size() > 1 && FRootPath.endsWith(QLatin1Char('/')) ? QDir::cleanPath(FRootPath) : FRootPath;
  if (root.isEmpty()) return;
  const QByteArray name = platform::FileNameToBytes(root);
  struct stat st {};
  if (::lstat(name.constData(), &st) != 0) return;
  if (S_ISLNK(st.st_mode) && FFollowLinks && ::stat(name.constData(), &st) != 0) return;
  if (S_ISDIR(st.st_mode) || TMounts::IsMountRoot(root)) {
    ++FFolders;
    if (FRecursive) SumTree(root);
  } else if (!S_ISLNK(st.st_mode)) {
    FSize += static_cast<uint64_t>(st.st_size);
    ++FFiles;
  }
}

void TNavFolderSizeWorkItem::SumTree(const QString& root) {
  const QByteArray rootName = platform::FileNameToBytes(root);
  const QByteArray rootPrefix = rootName == "/" ? rootName : rootName + '/';
  std::set<std::pair<dev_t, ino_t>> visited;
  struct stat rootStat {};
  if (::stat(rootName.constData(), &rootStat) == 0) visited.insert({rootStat.st_dev, rootStat.st_ino});
  // An explicit stack: deep trees must not exhaust the worker's stack.
  std::vector<QByteArray> pending{rootName};
  while (!pending.empty() && !Aborted()) {
    const QByteArray folder = std::move(pending.back());
    pending.pop_back();
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr) continue;
    while (dirent* entry = ::readdir(dir)) {
      if (Aborted()) break;
      const char* n = entry->d_name;
      if ((n[0] == '.' && n[1] == 0) || (n[0] == '.' && n[1] == '.' && n[2] == 0)) continue;
      const QByteArray child = folder == "/" ? folder + n : folder + '/' + n;
      struct stat st {};
      if (::lstat(child.constData(), &st) != 0) continue;
      if (S_ISLNK(st.st_mode)) {
        if (!FFollowLinks) continue;
        char resolved[PATH_MAX];
        if (::realpath(child.constData(), resolved) == nullptr || ::stat(child.constData(), &st) != 0) continue;
        const QByteArray target(resolved);
        // A link into the tree being summed would count its target twice.
        if (target == rootName || target.startsWith(rootPrefix)) continue;
      }
      if (S_ISDIR(st.st_mode)) {
        if (!visited.insert({st.st_dev, st.st_ino}).second) continue;  // seen: a loop or a second way in
        ++FFolders;
        pending.push_back(child);
      } else {
        FSize += static_cast<uint64_t>(st.st_size);
        ++FFiles;
      }
    }
    ::closedir(dir);
  }
}

// --- check states ---

TCheckBoxWorkItem::TCheckBoxWorkItem(INavItemIdList idList, const void* groupTag, const void* itemTag,
                                     ICheckBoxViewer* viewer, QObject* viewerObject, TSelectionStateQuery query)
    : TBasicWorkItem(groupTag, itemTag),
      FIdList(std::move(idList)),
      FQuery(std::move(query)),
      FViewer(viewer),
      FViewerObject(viewerObject),
      FGuarded(viewerObject != nullptr) {}

void TCheckBoxWorkItem::PerformWork() {
  if (WaitWhilePaused()) return;
  try {
    if (!FQuery) throw std::runtime_error("no selection list");
    FState = FQuery(FIdList ? FIdList->GetPath() : QString(), FSubItem);
  } catch (...) {
    FState = TNavSelectionState::ssDisabled;
  }
}

void TCheckBoxWorkItem::Abort() {
  TBasicWorkItem::Abort();
  FViewer = nullptr;
}

std::function<void()> TCheckBoxWorkItem::GetCompletionHandler() {
  return [this] {
    if (FViewer == nullptr || (FGuarded && FViewerObject.isNull())) return;
    FViewer->CheckStateReady(*this);
  };
}

// --- delayed procedures ---

TDelayedProcedure::TDelayedProcedure(int delayMs, bool runOnWorker, std::function<void()> method, QObject* context)
    : FDelay(std::max(0, delayMs)),
      FMethod(std::move(method)),
      FRunOnWorker(runOnWorker),
      FContext(context),
      FGuarded(context != nullptr) {}

std::shared_ptr<TDelayedProcedure> TDelayedProcedure::Create(int delayMs, bool runOnWorker,
                                                             std::function<void()> method, QObject* context,
                                                             TWorkerThreadPool* pool) {
  auto item = std::make_shared<TDelayedProcedure>(delayMs, runOnWorker, std::move(method), context);
  (pool != nullptr ? *pool : GlobalThreadPool()).AddWorkItem(item);
  return item;
}

void TDelayedProcedure::PerformWork() {
  for (int i = 0; i < FDelay / 50 + 1; ++i)
    if (SleepUnlessAborted(50) || WaitWhilePaused()) return;
  if (SleepUnlessAborted(FDelay % 50) || WaitWhilePaused()) return;
  if (!FMethod) return;
  if (FRunOnWorker) {
    FMethod();
    return;
  }
  // The context is checked where the call runs, on the user-interface thread.
  platform::PostToMainThread([method = FMethod, context = FContext, guarded = FGuarded] {
    if (guarded && context.isNull()) return;
    method();
  });
}

}  // namespace shell
