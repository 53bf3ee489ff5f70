#include "components/png_image_list.h"

#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <algorithm>

namespace components {

// --- TPngImageCollectionItem

void TPngImageCollectionItem::SetBackground(const QColor& color) {
  if (color == FBackground) return;
  FBackground = color;
  FOwner.ItemChanged();
}

void TPngImageCollectionItem::SetPngImage(const QImage& png) {
  FPngImage = png;
  FOwner.ItemChanged();
}

// --- TPngImageCollectionItems

TPngImageCollectionItem* TPngImageCollectionItems::Items(int index) {
  return index >= 0 && index < Count() ? FItems[static_cast<size_t>(index)].get() : nullptr;
}

const TPngImageCollectionItem* TPngImageCollectionItems::Items(int index) const {
  return index >= 0 && index < Count() ? FItems[static_cast<size_t>(index)].get() : nullptr;
}

TPngImageCollectionItem& TPngImageCollectionItems::InsertItem(int index) {
  index = std::clamp(index, 0, Count());
  std::unique_ptr<TPngImageCollectionItem> item(new TPngImageCollectionItem(*this));
  item->FName = QStringLiteral("PngImage%1").arg(index);
  return **FItems.insert(FItems.begin() + index, std::move(item));
}

TPngImageCollectionItem& TPngImageCollectionItems::Add() {
  TPngImageCollectionItem& item = InsertItem(Count());
  item.FBackground = QPalette().color(QPalette::Button);
  ItemChanged();
  return item;
}

void TPngImageCollectionItems::Assign(const TPngImageCollectionItems& source) {
  if (&source == this) return;
  FOwner.BeginListUpdate();
  FItems.clear();
  for (const auto& from : source.FItems) {
    TPngImageCollectionItem& item = InsertItem(Count());
    item.FBackground = from->FBackground;
    item.FName = from->FName;
    item.FPngImage = from->FPngImage;
  }
  FOwner.EndListUpdate(true);
}

void TPngImageCollectionItems::ItemChanged() {
  if (FOwner.FUpdateCount > 0) return;
  FOwner.RebuildFromPngs();
}

// --- TPngImageList

TPngImageList::TPngImageList(QObject* parent) : QObject(parent) {}

TPngImageList::~TPngImageList() = default;

void TPngImageList::SetWidth(int width) {
  if (width == FWidth) return;
  FWidth = width;
  Clear();
}

void TPngImageList::SetHeight(int height) {
  if (height == FHeight) return;
  FHeight = height;
  Clear();
}

void TPngImageList::SetEnabledImages(bool enabled) {
  if (enabled == FEnabledImages) return;
  FEnabledImages = enabled;
  RebuildFromPngs();
}

void TPngImageList::SetPngOptions(TPngOptions options) {
  if (options == FPngOptions) return;
  FPngOptions = options;
  RebuildFromPngs();
}

void TPngImageList::SetPngImages(const TPngImageCollectionItems& items) {
  if (&items == &FPngImages) return;
  FPngImages.Assign(items);
}

QImage TPngImageList::BuildPlatformImage(const TPngImageCollectionItem& item) const {
  if (FEnabledImages || !FPngOptions) return item.PngImage();
  return DisabledLook(item.PngImage(), FPngOptions);
}

void TPngImageList::RebuildFromPngs() {
  if (FUpdateCount > 0) return;
  FPlatform.clear();
  FPlatform.reserve(static_cast<size_t>(Count()));
  // An item without a picture keeps an empty place, so that indexes stay those of the items.
  for (int i = 0; i < Count(); ++i) FPlatform.push_back(BuildPlatformImage(*FPngImages.Items(i)));
  NotifyChanged();
}

void TPngImageList::NotifyChanged() {
  if (FUpdateCount == 0) emit Changed();
}

void TPngImageList::BeginListUpdate() { ++FUpdateCount; }

void TPngImageList::EndListUpdate(bool rebuild) {
  if (FUpdateCount == 0) return;
  --FUpdateCount;
  if (rebuild && FUpdateCount == 0) RebuildFromPngs();
}

int TPngImageList::InsertPngItem(int index, const QImage& png, const QColor& background) {
  if (png.isNull()) return -1;
  index = std::clamp(index, 0, Count());
  BeginListUpdate();
  TPngImageCollectionItem& item = FPngImages.InsertItem(index);
  item.FPngImage = png;
  item.FBackground = background;
  FPlatform.insert(FPlatform.begin() + index, BuildPlatformImage(item));
  EndListUpdate(false);
  NotifyChanged();
  return index;
}

int TPngImageList::AppendPngItem(const QImage& png, const QColor& background) {
  return InsertPngItem(Count(), png, background);
}

int TPngImageList::Add(const QImage& image, const QImage& mask) {
  return AppendPngItem(PngFromMaskedBitmap(image, mask, false));
}

int TPngImageList::AddIcon(const QIcon& icon) { return AppendPngItem(GraphicToPng(icon, QSize(FWidth, FHeight))); }

int TPngImageList::AddImage(const TPngImageList& list, int index) {
  return AppendPngItem(PngFromImageListEntry(list, index));
}

void TPngImageList::AddImages(const TPngImageList& list) {
  if (&list == this) return;
  BeginListUpdate();
  for (int i = 0; i < list.Count(); ++i) AddImage(list, i);
  EndListUpdate(true);
}

int TPngImageList::AddMasked(const QImage& image, const QColor& maskColor) {
  return AppendPngItem(PngFromColorKey(image, maskColor));
}

void TPngImageList::Clear() {
  FPngImages.FItems.clear();
  FPlatform.clear();
  NotifyChanged();
}

void TPngImageList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  FPngImages.FItems.erase(FPngImages.FItems.begin() + index);
  if (index < static_cast<int>(FPlatform.size())) FPlatform.erase(FPlatform.begin() + index);
  NotifyChanged();
}

void TPngImageList::Insert(int index, const QImage& image, const QImage& mask) {
  if (image.isNull()) return;
  InsertPngItem(index, PngFromMaskedBitmap(image, mask, false));
}

void TPngImageList::InsertIcon(int index, const QIcon& icon) {
  if (icon.isNull()) return;
  InsertPngItem(index, GraphicToPng(icon, QSize(FWidth, FHeight)));
}

void TPngImageList::InsertMasked(int index, const QImage& image, const QColor& maskColor) {
  if (image.isNull()) return;
  InsertPngItem(index, PngFromColorKey(image, maskColor));
}

void TPngImageList::Move(int currentIndex, int newIndex) {
  if (currentIndex < 0 || currentIndex >= Count() || newIndex < 0 || newIndex >= Count() ||
      currentIndex == newIndex)
    return;
  auto& items = FPngImages.FItems;
  auto item = std::move(items[static_cast<size_t>(currentIndex)]);
  items.erase(items.begin() + currentIndex);
  items.insert(items.begin() + newIndex, std::move(item));
  QImage platform = FPlatform[static_cast<size_t>(currentIndex)];
  FPlatform.erase(FPlatform.begin() + currentIndex);
  FPlatform.insert(FPlatform.begin() + newIndex, platform);
  NotifyChanged();
}

void TPngImageList::Replace(int index, const QImage& image, const QImage& mask) {
  if (image.isNull()) return;
  if (TPngImageCollectionItem* item = FPngImages.Items(index))
    item->SetPngImage(PngFromMaskedBitmap(image, mask, false));
}

void TPngImageList::ReplaceIcon(int index, const QIcon& icon) {
  if (icon.isNull()) return;
  if (TPngImageCollectionItem* item = FPngImages.Items(index))
    item->SetPngImage(GraphicToPng(icon, QSize(FWidth, FHeight)));
}

void TPngImageList::ReplaceMasked(int index, const QImage& image, const QColor& maskColor) {
  if (image.isNull()) return;
  if (TPngImageCollectionItem* item = FPngImages.Items(index)) item->SetPngImage(PngFromColorKey(image, maskColor));
}

const QImage& TPngImageList::PlatformImage(int index) const {
  static const QImage none;
  return index >= 0 && index < static_cast<int>(FPlatform.size()) ? FPlatform[static_cast<size_t>(index)] : none;
}

QIcon TPngImageList::Icon(int index) const {
  const QImage& image = PlatformImage(index);
  if (image.isNull()) return {};
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(image), QIcon::Normal);
  const QImage disabled = FEnabledImages && FPngOptions ? DisabledLook(image, FPngOptions) : image;
  icon.addPixmap(QPixmap::fromImage(disabled), QIcon::Disabled);
  return icon;
}

void TPngImageList::Draw(QPainter& painter, int x, int y, int index, bool enabled) const {
  const TPngImageCollectionItem* item = FPngImages.Items(index);
  if (item == nullptr) return;
  DrawPngWithOptions(painter, QRect(x, y, FWidth, FHeight), item->PngImage(), enabled ? TPngOptions() : FPngOptions);
}

void TPngImageList::Assign(const TPngImageList& source) {
  if (&source == this) return;
  BeginListUpdate();
  FWidth = source.FWidth;
  FHeight = source.FHeight;
  FEnabledImages = source.FEnabledImages;
  FPngImages.Assign(source.FPngImages);
  EndListUpdate(true);
}

}  // namespace components
