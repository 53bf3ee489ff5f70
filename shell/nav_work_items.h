#pragma once
// The jobs the shell controls hand to the worker pool: a thumbnail, icon indexes, the size of a
// folder tree, the check state of an item, and a procedure run after a delay. Each computes in
// PerformWork on a worker and delivers in its completion on the user-interface thread, to a
// viewer the control implements; a control that is gone (or an aborted item) gets nothing.

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "shell/basic_work_item.h"
#include "shell/nav_item_id_list.h"
#include "shell/nav_system_image_list.h"

namespace shell {

enum class TNavSelectionState { ssUnused, ssDisabled, ssChecked, ssUnChecked, ssGrayed };

class TCheckBoxWorkItem;

/// All viewer calls run on the user-interface thread.
class IThumbnailViewer {
 public:
  virtual ~IThumbnailViewer() = default;
  virtual void ThumbnailReady(const QImage& image, int imageIndex, const void* itemTag) = 0;
};

class IIconViewer {
 public:
  virtual ~IIconViewer() = default;
  /// kind 0 normal icon, 1 overlay, 2 selected (open) icon.
  virtual void IconReady(int iconIndex, int kind, const void* itemTag) = 0;
};

class ICheckBoxViewer {
 public:
  virtual ~ICheckBoxViewer() = default;
  virtual void CheckStateReady(TCheckBoxWorkItem& item) = 0;
};

/// Makes a thumbnail of a file, or a null image. Runs on worker threads: it must only read
/// files and make QImages.
using TThumbnailFunction = std::function<QImage(const QString& path, int width, int height, TColor background,
                                                bool iconIfNone)>;
/// Installs the process-wide thumbnail maker (empty: back to the built-in one, which reads
/// pictures Qt can decode).
void SetThumbnailFunction(TThumbnailFunction function);
QImage MakeThumbnail(const QString& path, int width, int height, TColor background, bool iconIfNone);

class TThumbnailWorkItem : public TBasicWorkItem {
 public:
  /// viewerObject is the control behind viewer: once it is destroyed nothing is delivered.
  TThumbnailWorkItem(INavItemIdList idList, TColor background, bool iconIfNone, const void* groupTag,
                     const void* itemTag, int imageIndex, IThumbnailViewer* viewer, QObject* viewerObject,
                     int height, int width);
  void PerformWork() override;
  void Abort() override;
  std::function<void()> GetCompletionHandler() override;
  /// Completion: hands the picture to the viewer unless the item was aborted.
  virtual void ThumbnailComplete();
  const QImage& Image() const { return FImage; }

 private:
  int FWidth, FHeight;
  TColor FBackground;
  QImage FImage;
  QString FPath;
  IThumbnailViewer* FViewer;
  QPointer<QObject> FViewerObject;
  bool FGuarded;
  int FImageIndex;
  bool FIconIfNone;
};

class TIconWorkItem : public TBasicWorkItem {
 public:
  enum TKind : unsigned { Normal = 1, Overlay = 2, Selected = 4 };
  TIconWorkItem(const QString& path, const void* groupTag, const void* itemTag, IIconViewer* viewer,
                QObject* viewerObject, unsigned kinds);
  TIconWorkItem(INavItemIdList idList, const void* groupTag, const void* itemTag, IIconViewer* viewer,
                QObject* viewerObject, unsigned kinds);
  void PerformWork() override;
  void Abort() override;
  std::function<void()> GetCompletionHandler() override;
  int NormalIndex() const { return FNormal; }
  int SelectedIndex() const { return FSelected; }
  int OverlayIndex() const { return FOverlay; }

 private:
  QString FPath;
  int FNormal = -1, FSelected = -1, FOverlay = -1;
  INavItemIdList FIdList;
  IIconViewer* FViewer;
  QPointer<QObject> FViewerObject;
  bool FGuarded;
  unsigned FKinds;
};

/// Sums a file or folder tree. Symbolic links are followed only with followLinks, never into
/// the tree being summed, and no folder is counted twice (a link back to an ancestor cannot loop).
class TNavFolderSizeWorkItem : public TBasicWorkItem {
 public:
  TNavFolderSizeWorkItem(const QString& rootPath, bool followLinks, bool recursive);
  void PerformWork() override;
  /// +1 when the caller adds the result to its totals, -1 when it subtracts it.
  int Factor() const { return FFactor; }
  void SetFactor(int factor) { FFactor = factor; }
  const QString& RootPath() const { return FRootPath; }
  uint64_t Size() const { return FSize; }
  int FileCount() const { return FFiles; }
  int FolderCount() const { return FFolders; }

 private:
  void SumTree(const QString& root);
  int FFactor = 1;
  QString FRootPath;
  uint64_t FSize = 0;
  int FFiles = 0;
  int FFolders = 0;
  bool FRecursive;
  bool FFollowLinks;
};

/// The check state of a path as the selection list answers it. The query must not touch data
/// the user-interface thread changes meanwhile: selection lists hand out a query over a copy of
/// their entries.
using TSelectionStateQuery = std::function<TNavSelectionState(const QString& path, bool& subItem)>;

class TCheckBoxWorkItem : public TBasicWorkItem {
 public:
  TCheckBoxWorkItem(INavItemIdList idList, const void* groupTag, const void* itemTag, ICheckBoxViewer* viewer,
                    QObject* viewerObject, TSelectionStateQuery query);
  void PerformWork() override;
  void Abort() override;
  std::function<void()> GetCompletionHandler() override;
  const INavItemIdList& IdList() const { return FIdList; }
  bool SubItem() const { return FSubItem; }
  TNavSelectionState State() const { return FState; }

 private:
  INavItemIdList FIdList;
  bool FSubItem = false;
  TNavSelectionState FState = TNavSelectionState::ssUnused;
  TSelectionStateQuery FQuery;
  ICheckBoxViewer* FViewer;
  QPointer<QObject> FViewerObject;
  bool FGuarded;
};

/// Calls a procedure after a delay, on a worker or (by default) on the user-interface thread.
/// Bound to a context object: once that is destroyed the procedure is not called.
class TDelayedProcedure : public TBasicWorkItem {
 public:
  /// Queues a new delayed procedure on pool and returns it (the caller need not keep it).
  static std::shared_ptr<TDelayedProcedure> Create(int delayMs, bool runOnWorker, std::function<void()> method,
                                                   QObject* context = nullptr,
                                                   TWorkerThreadPool* pool = nullptr);
  /// How long the procedure waits before it runs: delay ÷ 50 + 1 slices of 50 ms, then the rest.
  static int EffectiveDelay(int delayMs) { return (delayMs / 50 + 1) * 50 + delayMs % 50; }
  void PerformWork() override;

  TDelayedProcedure(int delayMs, bool runOnWorker, std::function<void()> method, QObject* context);

 private:
  int FDelay;
  std::function<void()> FMethod;
  bool FRunOnWorker;
  QPointer<QObject> FContext;
  bool FGuarded;
};

}  // namespace shell
