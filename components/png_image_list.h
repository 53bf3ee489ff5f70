#pragma once
// An image list of pictures with alpha. The items (picture, name, background) are the truth; the
// list keeps beside them the pictures as its views show them ("platform" pictures: in the
// disabled look for every item while EnabledImages is false), rebuilt from the items.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "components/png_functions.h"

class QPainter;

namespace components {

class TPngImageList;
class TPngImageCollectionItems;

/// One picture of a TPngImageList.
class TPngImageCollectionItem {
 public:
  /// Colour behind the picture where a view cannot take alpha; invalid for none.
  const QColor& Background() const { return FBackground; }
  void SetBackground(const QColor& color);
  /// "PngImage<index at creation>" unless set.
  const QString& Name() const { return FName; }
  void SetName(const QString& name) { FName = name; }
  /// The picture (assigning copies); changing it rebuilds the owning list.
  const QImage& PngImage() const { return FPngImage; }
  void SetPngImage(const QImage& png);

 private:
  friend class TPngImageCollectionItems;
  friend class TPngImageList;
  explicit TPngImageCollectionItem(TPngImageCollectionItems& owner) : FOwner(owner) {}
  TPngImageCollectionItems& FOwner;
  QColor FBackground;
  QString FName;
  QImage FPngImage;
};

/// The items of a TPngImageList, owned by it.
class TPngImageCollectionItems {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  /// Item index; nullptr outside 0 to Count() - 1.
  TPngImageCollectionItem* Items(int index);
  const TPngImageCollectionItem* Items(int index) const;
  /// A new item at the end (background: the palette's button colour), the list rebuilt.
  TPngImageCollectionItem& Add();
  /// Replaces every item by a copy of source's items; the list is rebuilt once.
  void Assign(const TPngImageCollectionItems& source);

 private:
  friend class TPngImageList;
  friend class TPngImageCollectionItem;
  explicit TPngImageCollectionItems(TPngImageList& owner) : FOwner(owner) {}
  TPngImageCollectionItem& InsertItem(int index);
  void ItemChanged();
  TPngImageList& FOwner;
  std::vector<std::unique_ptr<TPngImageCollectionItem>> FItems;
};

class TPngImageList : public QObject {
  Q_OBJECT

 public:
  explicit TPngImageList(QObject* parent = nullptr);
  ~TPngImageList() override;

  /// Picture size of the list in logical pixels (16 x 16 at creation). Changing either removes
  /// every item.
  int Width() const { return FWidth; }
  void SetWidth(int width);
  int Height() const { return FHeight; }
  void SetHeight(int height);
  /// When false, every platform picture is built in the disabled look (true at creation).
  bool EnabledImages() const { return FEnabledImages; }
  void SetEnabledImages(bool enabled);
  /// How the disabled look is made ([pngBlendOnDisabled] at creation).
  TPngOptions PngOptions() const { return FPngOptions; }
  void SetPngOptions(TPngOptions options);
  TPngImageCollectionItems& PngImages() { return FPngImages; }
  const TPngImageCollectionItems& PngImages() const { return FPngImages; }
  /// Replaces the items by copies of items (not when they are the list's own).
  void SetPngImages(const TPngImageCollectionItems& items);
  int Count() const { return FPngImages.Count(); }

  // --- Editing. The adding ones return the new index, or -1 when nothing was added.
  /// Picture from image with alpha from mask's red channel; no mask: opaque.
  int Add(const QImage& image, const QImage& mask);
  int AddIcon(const QIcon& icon);
  /// Copy of entry index of list (-1 when it has none).
  int AddImage(const TPngImageList& list, int index);
  /// Every entry of list, the list rebuilt once at the end.
  void AddImages(const TPngImageList& list);
  /// Picture with maskColor transparent.
  int AddMasked(const QImage& image, const QColor& maskColor);
  void Clear();
  /// Nothing for an index outside 0 to Count() - 1.
  void Delete(int index);
  /// As Add at index; nothing when image is null.
  void Insert(int index, const QImage& image, const QImage& mask);
  void InsertIcon(int index, const QIcon& icon);
  void InsertMasked(int index, const QImage& image, const QColor& maskColor);
  /// Moves entry currentIndex to newIndex; nothing when either is outside the list.
  void Move(int currentIndex, int newIndex);
  /// The item's picture replaced; nothing when image is null or the index is outside the list.
  void Replace(int index, const QImage& image, const QImage& mask);
  void ReplaceIcon(int index, const QIcon& icon);
  void ReplaceMasked(int index, const QImage& image, const QColor& maskColor);

  /// Appends a copy of png with background (invalid: none); -1 and nothing for a null picture.
  int AppendPngItem(const QImage& png, const QColor& background = QColor());
  /// Inserts a copy of png at index (clamped to the list); -1 and nothing for a null picture.
  int InsertPngItem(int index, const QImage& png, const QColor& background = QColor());

  /// Batches changes: the list is not rebuilt while an update is open.
  void BeginListUpdate();
  /// Closes an update; with rebuild, the outermost one rebuilds the platform pictures.
  void EndListUpdate(bool rebuild = true);
  /// Builds the platform pictures from the items (not while an update is open).
  void RebuildFromPngs();

  /// The platform picture of entry index as the list's views show it; null outside the list.
  const QImage& PlatformImage(int index) const;
  /// Icon of entry index for item views: the platform picture, and its disabled look for the
  /// icon's disabled mode. Null outside the list.
  QIcon Icon(int index) const;
  /// Draws the item's own picture at (x, y) in the list's size: as it is when enabled, in the
  /// PngOptions look otherwise. Nothing for an index without an item.
  void Draw(QPainter& painter, int x, int y, int index, bool enabled = true) const;
  /// Copies size, items and EnabledImages of source (not PngOptions).
  void Assign(const TPngImageList& source);

 signals:
  /// The items or the way they are shown changed.
  void Changed();

 private:
  friend class TPngImageCollectionItems;
  QImage BuildPlatformImage(const TPngImageCollectionItem& item) const;
  void NotifyChanged();

  int FWidth = 16;
  int FHeight = 16;
  bool FEnabledImages = true;
  TPngOptions FPngOptions = TPngOption::pngBlendOnDisabled;
  int FUpdateCount = 0;
  TPngImageCollectionItems FPngImages{*this};
  std::vector<QImage> FPlatform;
};

}  // namespace components
