#include "shell/nav_base_shell_list_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cerrno>

#include "platform/prompter.h"
#include "shell/nav_item_text.h"
#include "shell/nav_selection_list.h"
#include "shell/thread_pool.h"

namespace shell {

namespace {

// Orders two cells of a column: by value where both hold one of the same kind, a cell without
// a value before one with, else by text (numbers inside compared as numbers).
int CompareCells(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column) {
  const QVariant va = a->data(column, TNavBaseShellListView::kValueRole),
                 vb = b->data(column, TNavBaseShellListView::kValueRole);
  if (va.isValid() != vb.isValid()) return va.isValid() ? 1 : -1;
  if (va.isValid() && va.typeId() == vb.typeId()) {
    if (va.typeId() == QMetaType::QDateTime) {
      const QDateTime ta = va.toDateTime(), tb = vb.toDateTime();
      return ta < tb ? -1 : (tb < ta ? 1 : 0);
    }
    const qint64 na = va.toLongLong(), nb = vb.toLongLong();
    return na < nb ? -1 : (nb < na ? 1 : 0);
  }
  return CompareLogical(a->text(column), b->text(column));
}

// The names typed into the list's editor go to the disk first; the item shows what happened.
class TNameDelegate : public QStyledItemDelegate {
 public:
  explicit TNameDelegate(TNavBaseShellListView* list) : QStyledItemDelegate(list), FList(list) {}
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    const QByteArray property = editor->metaObject()->userProperty().name();
    FList->NameTyped(index, editor->property(property.constData()).toString());
  }
  /// An item that cannot be ticked is drawn inactive.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    // The current item is framed only once the keyboard has moved the focus, as file windows
    // do: a list just opened or clicked into does not frame its first item ("..").
    if (!(option->state & QStyle::State_KeyboardFocusChange)) option->state &= ~QStyle::State_HasFocus;
    // Under an icon a long name is broken over the lines there are, not cut short.
    if ((option->features & QStyleOptionViewItem::WrapText) &&
        option->decorationPosition == QStyleOptionViewItem::Top) {
      const QStyle* style = option->widget != nullptr ? option->widget->style() : QApplication::style();
      const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
      const int width = option->rect.isValid() ? option->rect.width() - 2 * margin : option->decorationSize.width();
      option->text = NavBreakLongWords(option->text, option->fontMetrics, width);
    }
    if (index.data(TNavBaseShellListView::kCheckStateRole).toInt() ==
            static_cast<int>(TNavSelectionState::ssDisabled) &&
        index.data(TNavBaseShellListView::kCheckStateRole).isValid())
      option->state &= ~QStyle::State_Enabled;
  }
  /// The emblem goes over the lower left quarter of the icon, as file managers draw it.
  void paint(QPainter* painter, const QStyleOptionViewItem& base, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, base, index);
    if (index.column() != 0) return;
    const QIcon emblem = FList->OverlayIcon(index);
    if (emblem.isNull()) return;
    QStyleOptionViewItem option(base);
    initStyleOption(&option, index);
    const QWidget* widget = option.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    const QRect icon = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &option, widget);
    if (icon.isEmpty()) return;
    // Half the icon's edge, never below 8 pixels (where an emblem can no longer be read) and
    // never above 48 (a jumbo icon keeps its picture visible).
    const int edge = std::clamp(std::min(icon.width(), icon.height()) / 2, 8, 48);
    emblem.paint(painter, QRect(icon.left(), icon.bottom() + 1 - edge, edge, edge));
  }
  /// Where the item's check box is drawn.
  QRect CheckRect(const QStyleOptionViewItem& base, const QModelIndex& index) const {
    QStyleOptionViewItem option(base);
    initStyleOption(&option, index);
    if (!(option.features & QStyleOptionViewItem::HasCheckIndicator)) return {};
    const QWidget* widget = option.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, widget);
  }

 private:
  TNavBaseShellListView* FList;
};

}  // namespace

// The icon and list styles: a grid over the list's own items and selection.
class TNavGridView : public QListView {
 public:
  explicit TNavGridView(TNavBaseShellListView* list) : QListView(list), FList(list) {}
  QStyleOptionViewItem ItemOption(const QModelIndex& index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return option;
  }

 protected:
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override {
    QListView::closeEditor(editor, hint);
    FList->EditorClosed();
  }
  void startDrag(Qt::DropActions supportedActions) override { FList->startDrag(supportedActions); }

 private:
  TNavBaseShellListView* FList;
};

// --- checkable items ---

TNavCheckableListItem::~TNavCheckableListItem() { GlobalThreadPool().CancelWorkItems(this); }

TNavBaseShellListView* TNavCheckableListItem::GetListView() const {
  return qobject_cast<TNavBaseShellListView*>(treeWidget());
}

TNavSelectionState TNavCheckableListItem::GetCheckState() const {
  const QVariant state = data(0, TNavBaseShellListView::kCheckStateRole);
  return state.isValid() ? static_cast<TNavSelectionState>(state.toInt()) : TNavSelectionState::ssUnused;
}

void TNavCheckableListItem::SetCheckState(TNavSelectionState state) {
  const bool hadState = data(0, TNavBaseShellListView::kCheckStateRole).isValid();
  if (hadState && GetCheckState() == state) return;
  setData(0, TNavBaseShellListView::kCheckStateRole, static_cast<int>(state));
  switch (state) {
    case TNavSelectionState::ssUnused:
      setData(0, Qt::CheckStateRole, QVariant());
      break;
    case TNavSelectionState::ssChecked:
      setData(0, Qt::CheckStateRole, Qt::Checked);
      break;
    case TNavSelectionState::ssGrayed:
      setData(0, Qt::CheckStateRole, Qt::PartiallyChecked);
      break;
    default:
      setData(0, Qt::CheckStateRole, Qt::Unchecked);
      break;
  }
  TNavBaseShellListView* list = GetListView();
  if (hadState && list != nullptr && list->OnCheckStateChanged)
    list->OnCheckStateChanged(*list, list->indexOfTopLevelItem(this), GetPath(), state);
}

bool TNavCheckableListItem::operator<(const QTreeWidgetItem& other) const {
  TNavBaseShellListView* list = GetListView();
  if (list == nullptr || other.treeWidget() != list) return QTreeWidgetItem::operator<(other);
  return list->SortsBefore(const_cast<TNavCheckableListItem*>(this), const_cast<QTreeWidgetItem*>(&other));
}

bool TNavCheckableListItem::IsChecked() const {
  const TNavSelectionState state = GetCheckState();
  return state == TNavSelectionState::ssChecked || state == TNavSelectionState::ssGrayed;
}

void TNavCheckableListItem::SetChecked(bool value) {
  const TNavSelectionState state = GetCheckState();
  if (state == TNavSelectionState::ssDisabled || state == TNavSelectionState::ssUnused) return;
  TNavBaseShellListView* list = GetListView();
  TNavShellLink* link = list != nullptr ? list->ShellLink() : nullptr;
  if (link == nullptr) {
    SetCheckState(value ? TNavSelectionState::ssChecked : TNavSelectionState::ssUnChecked);
    return;
  }
  TNavSelectionList* selection = link->GetSelectionList();
  const INavItemIdList idList = TNavItemIdList::CreateFromAnyPath(GetPath());
  selection->BeginUpdate();
  if (value)
    selection->AddIdList(idList);
  else
    selection->RemoveIdList(idList);
  selection->EndUpdate();
  list->RequestCheckState(this);
}

QString TNavCheckableListItem::GetPath() const {
  const TNavBaseShellListView* list = GetListView();
  if (list != nullptr)
    return list->GetItemPath(list->indexOfTopLevelItem(const_cast<TNavCheckableListItem*>(this)));
  return NavIsEmpty(FAbsoluteIDList) ? QString() : FAbsoluteIDList->GetPath();
}

void TNavCheckableListItem::ResetImage() {
  setIcon(0, QIcon());
  for (int column = 1; column < columnCount(); ++column) setText(column, QString());
}

void TNavCheckableListItem::RebuildIDLists() {
  const QString path = GetPath();
  if (path.isEmpty()) return;
  FAbsoluteIDList = TNavItemIdList::CreateFromAnyPath(path);
  FRelativeIDList = NavIsEmpty(FAbsoluteIDList) ? nullptr : FAbsoluteIDList->GetLastItem();
}

QColor TNavCheckableListItem::TextColor() const {
  if (FTextColor.isValid()) return FTextColor;
  const QTreeWidget* list = treeWidget();
  return (list != nullptr ? list->palette() : QGuiApplication::palette()).color(QPalette::WindowText);
}

void TNavCheckableListItem::SetTextColor(const QColor& color) {
  FTextColor = color;
  const QTreeWidget* list = treeWidget();
  const int columns = std::max(columnCount(), list != nullptr ? list->columnCount() : 1);
  for (int column = 0; column < columns; ++column)
    setForeground(column, color.isValid() ? QBrush(color) : QBrush());
}

int TNavCheckableListItem::CompareByText(const TNavCheckableListItem& other) const {
  const TNavBaseShellListView* list = GetListView();
  const int column = list != nullptr ? list->SortColumn() : 0;
  // Both must hold a text in that column; an item whose texts end before it goes by its caption.
  if (column > 0 && columnCount() > column && other.columnCount() > column) {
    const int order = text(column).compare(other.text(column), Qt::CaseInsensitive);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  return CompareLogical(text(0), other.text(0));
}

bool TNavBaseShellListView::IsParentFolderItem(const QTreeWidgetItem* item) {
  return item != nullptr && item->data(0, kParentRole).toBool();
}

TNavBaseShellListView::TNavBaseShellListView(QWidget* parent)
    : QTreeWidget(parent), FBrowser(this), FNotifier(this) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setAllColumnsShowFocus(true);
  setSortingEnabled(false);  // the list sorts itself: the parent entry stays first
  header()->setSectionsClickable(true);
  SetOleDragDrop(true);
  header()->setSortIndicatorShown(true);
  connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
  header()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (!FShowHeaderContextMenu || !FDetails) return;
    std::unique_ptr<QMenu> menu = CreateColumnMenu();
    menu->exec(header()->mapToGlobal(at));
  });
  setEditTriggers(QAbstractItemView::NoEditTriggers);  // F2 starts an edit, through the shell
  setItemDelegateForColumn(0, new TNameDelegate(this));
  FGridView = new TNavGridView(this);
  FGridView->setModel(model());
  FGridView->setSelectionModel(selectionModel());
  FGridView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FGridView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FGridView->setItemDelegate(new TNameDelegate(this));
  FGridView->setMovement(QListView::Static);
  FGridView->setResizeMode(QListView::Adjust);
  FGridView->setDragEnabled(true);
  FGridView->setDragDropMode(QAbstractItemView::DragOnly);
  FGridView->setContextMenuPolicy(Qt::DefaultContextMenu);
  FGridView->installEventFilter(this);
  FGridView->viewport()->installEventFilter(this);
  FGridView->hide();
  connect(FGridView, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
    if (QTreeWidgetItem* item = itemFromIndex(index.siblingAtColumn(0))) emit itemActivated(item, 0);
  });
  SetUseSystemFont(true);
  SetUseSystemStyles(true);
}

TNavBaseShellListView::~TNavBaseShellListView() {
  FDestroying = true;
  CancelWork();
}

void TNavBaseShellListView::CancelWork() { GlobalThreadPool().CancelWorkItems(nullptr, this); }

void TNavBaseShellListView::SetDetails(bool value) {
  if (value == FDetails) return;
  FDetails = value;
  FillList();
}

void TNavBaseShellListView::SetViewStyle(TNavViewStyle style) {
  const TNavViewStyle shown = style == TNavViewStyle::vsSmallIcon ? TNavViewStyle::vsList : style;
  ShowViewStyle(shown, false);  // a style set, even the one shown, starts with icons
}

void TNavBaseShellListView::ShowViewStyle(TNavViewStyle shown, bool thumbnails) {
  const bool hadThumbnails = ThumbnailsShown();
  if (shown != TNavViewStyle::vsIcon) FLargeSize = TNavImageListSize::si_large;
  FViewStyle = shown;
  FThumbnails = thumbnails;
  const bool report = FViewStyle == TNavViewStyle::vsReport;
  setHeaderHidden(!report);
  for (int c = 1; c < columnCount(); ++c) setColumnHidden(c, !report);
  if (report) AutoSize();  // the columns shown again take their share of the width
  // The grid styles scroll in the grid: the columns' scroll bar would only show through it.
  setHorizontalScrollBarPolicy(report ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  if (ThumbnailsShown())
    setIconSize(QSize(FThumbnailWidth, FThumbnailHeight));
  else
    setIconSize(FViewStyle == TNavViewStyle::vsIcon ? QSize(TNavSystemImageList::PixelSize(FLargeSize),
                                                            TNavSystemImageList::PixelSize(FLargeSize))
                                                    : QSize(16, 16));
  if (FViewStyle == TNavViewStyle::vsIcon) {
    // Names below the icons, in rows that wrap at the right edge.
    FGridView->setViewMode(QListView::IconMode);
    FGridView->setFlow(QListView::LeftToRight);
    FGridView->setWordWrap(true);
    // A cell is the icon plus the spacing each way; below it room for two lines of the name.
    FGridView->setGridSize(
        QSize(iconSize().width() + FIconSpacing,
              iconSize().height() + std::max(FIconSpacing, 2 * fontMetrics().height() + 12)));
  } else if (FViewStyle == TNavViewStyle::vsList) {
    // Small icons with the names beside them, in columns from top to bottom.
    FGridView->setViewMode(QListView::ListMode);
    FGridView->setFlow(QListView::TopToBottom);
    FGridView->setWordWrap(false);
    FGridView->setGridSize(QSize());
    FGridView->setSpacing(1);
  }
  FGridView->setWrapping(true);
  FGridView->setMovement(QListView::Static);
  FGridView->setIconSize(iconSize());
  const bool grid = GridShown();
  const bool hadFocus = hasFocus() || FGridView->hasFocus();
  FGridView->setGeometry(rect());
  FGridView->setVisible(grid);
  setFocusProxy(grid ? FGridView : nullptr);
  if (hadFocus) setFocus();
  if (hadThumbnails != ThumbnailsShown()) RequestItemImages();
}

void TNavBaseShellListView::RequestItemImages() {
  // What is on its way is for the other kind of picture: an icon would cover a thumbnail.
  CancelImageWork(nullptr);
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    item->setData(0, kOverlayRole, QVariant());
    RequestItemImage(item);
  }
}

void TNavBaseShellListView::CancelImageWork(const QTreeWidgetItem* item) {
  GlobalThreadPool().CancelWorkItems(item, this, WorkItemClassOf<TThumbnailWorkItem>());
  GlobalThreadPool().CancelWorkItems(item, this, WorkItemClassOf<TIconWorkItem>());
}

QListView* TNavBaseShellListView::GridView() const { return FGridView; }

void TNavBaseShellListView::SetShowOverlayIcons(bool value) {
  if (value == FShowOverlayIcons) return;
  FShowOverlayIcons = value;
  FillList();
}

void TNavBaseShellListView::SetShowExtraLargeIcons(bool value) {
  if (value == ShowExtraLargeIcons()) return;
  FLargeSize = value ? TNavImageListSize::si_extralarge : TNavImageListSize::si_large;
  SetViewStyle(TNavViewStyle::vsIcon);
}

void TNavBaseShellListView::SetShowJumboIcons(bool value) {
  if (value == ShowJumboIcons()) return;
  FLargeSize = value ? TNavImageListSize::si_jumbo : TNavImageListSize::si_large;
  SetViewStyle(TNavViewStyle::vsIcon);
}

void TNavBaseShellListView::SetIconSpacing(int value) {
  FIconSpacing = std::max(0, value);
  ShowViewStyle(FViewStyle, FThumbnails);
}

void TNavBaseShellListView::SetUseSystemFont(bool value) {
  FUseSystemFont = value;
  if (!value) return;
  FParentFont = false;
  setFont(QApplication::font("QAbstractItemView"));
}

void TNavBaseShellListView::SetParentFont(bool value) {
  FParentFont = value;
  if (!value) return;
  FUseSystemFont = false;
  setFont(QFont());  // an empty font takes the parent's again
  setAttribute(Qt::WA_SetFont, false);
}

void TNavBaseShellListView::SetUseSystemStyles(bool value) {
  FUseSystemStyles = value;
  for (QWidget* widget : {viewport(), FGridView->viewport()}) {
    widget->setAttribute(Qt::WA_Hover, value);
    widget->setMouseTracking(value);
  }
}

QIcon TNavBaseShellListView::OverlayIcon(const QModelIndex& index) const {
  if (!FShowOverlayIcons || ThumbnailsShown()) return {};
  const int overlay = index.siblingAtColumn(0).data(kOverlayRole).toInt();
  return overlay > 0 ? FImages.Icon(overlay) : QIcon();
}

QString TNavBaseShellListView::HintOf(QTreeWidgetItem* item) {
  QString tip = InfoTipOf(item);
  if (OnInfoTip) OnInfoTip(*this, item, tip);
  return tip;
}

bool TNavBaseShellListView::ShowItemHint(QWidget* shownViewport, QHelpEvent* event, QTreeWidgetItem* item) {
  if (!FShowHint || item == nullptr || item == FEditing) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  const QString tip = HintOf(item);
  if (tip.isEmpty()) {
    QToolTip::hideText();
    return true;
  }
  const QModelIndex index = indexFromItem(item, 0);
  QRect bounds = GridShown() ? FGridView->visualRect(index) : visualItemRect(item);
  if (!GridShown()) bounds.setRight(shownViewport->width());
  // Below and right of the pointer, as far as a pointer reaches.
  const int cursor = shownViewport->style()->pixelMetric(QStyle::PM_SmallIconSize) + 4;
  QToolTip::showText(event->globalPos() + QPoint(cursor / 2, cursor), tip, shownViewport, bounds);
  return true;
}

bool TNavBaseShellListView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    return ShowItemHint(viewport(), help, itemAt(help->pos()));
  }
  return QTreeWidget::viewportEvent(event);
}

void TNavBaseShellListView::RequestItemImage(QTreeWidgetItem* item) {
  LoadItemImage(item);
  if (OnGetImageIndex) OnGetImageIndex(*this, item);
}

void TNavBaseShellListView::ApplyPendingSelection() {
  if (FPendingSelection.isEmpty()) return;
  for (int i = 0; i < topLevelItemCount() && !FPendingSelection.isEmpty(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    if (IsParentFolderItem(item)) continue;
    const QString name = ItemName(item);
    for (int n = FPendingSelection.size() - 1; n >= 0; --n) {
      if (QFileInfo(FPendingSelection[n]).fileName().compare(name, Qt::CaseInsensitive) != 0) continue;
      item->setSelected(true);
      FPendingSelection.removeAt(n);
    }
  }
  FPendingSelection.clear();
}

QTreeWidgetItem* TNavBaseShellListView::ShownItemAt(const QPoint& globalPos) const {
  if (GridShown()) {
    const QModelIndex index = FGridView->indexAt(FGridView->viewport()->mapFromGlobal(globalPos));
    return index.isValid() ? itemFromIndex(index) : nullptr;
  }
  return itemAt(viewport()->mapFromGlobal(globalPos));
}

bool TNavBaseShellListView::eventFilter(QObject* watched, QEvent* event) {
  if (FGridView == nullptr || (watched != FGridView && watched != FGridView->viewport()))
    return QTreeWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress && watched == FGridView) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool moving =
        !(key->modifiers() & Qt::AltModifier) &&
        (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right || key->key() == Qt::Key_Up ||
         key->key() == Qt::Key_Down || key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown ||
         key->key() == Qt::Key_Home || key->key() == Qt::Key_End);
    if (moving) return false;  // the grid moves through its own rows and columns
    keyPressEvent(key);
    return true;
  }
  if (event->type() == QEvent::ToolTip && watched == FGridView->viewport()) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = FGridView->indexAt(help->pos());
    return ShowItemHint(FGridView->viewport(), help, index.isValid() ? itemFromIndex(index) : nullptr);
  }
  if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) &&
      watched == FGridView->viewport()) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (event->type() == QEvent::MouseButtonPress &&
        (mouse->button() == Qt::BackButton || mouse->button() == Qt::ForwardButton)) {
      NavigateHistory(mouse->button() == Qt::BackButton ? -1 : 1);
      return true;
    }
    TNavCheckableListItem* item =
        mouse->button() == Qt::LeftButton ? CheckBoxAt(mouse->position().toPoint()) : nullptr;
    if (item == nullptr) return false;
    if (event->type() == QEvent::MouseButtonPress) ToggleChecks(item);
    return true;  // the box toggles without changing the selection
  }
  if (event->type() == QEvent::ContextMenu && watched == FGridView->viewport()) {
    contextMenuEvent(static_cast<QContextMenuEvent*>(event));
    return true;
  }
  return false;
}

void TNavBaseShellListView::SetThumbnails(bool value) {
  if (value != FThumbnails) ShowViewStyle(FViewStyle, value);
}

void TNavBaseShellListView::SetThumbnailSize(int width, int height) {
  FThumbnailWidth = std::max(1, width);
  FThumbnailHeight = std::max(1, height);
  if (ThumbnailsShown()) {
    ShowViewStyle(FViewStyle, FThumbnails);
    FillList();
  }
}

QImage TNavBaseShellListView::FitThumbnail(const QImage& image) const {
  // In device pixels at the screen's pixel ratio, so the view draws it sharp. A picture's pixels
  // grow with the ratio, so it keeps its size on screen, as long as it fits.
  const qreal ratio = std::max<qreal>(1, devicePixelRatioF());
  const QSize size(qRound(FThumbnailWidth * ratio), qRound(FThumbnailHeight * ratio));
  QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(palette().color(QPalette::Base));
  if (!image.isNull()) {
    QSize shown = (QSizeF(image.size()) * (ratio / image.devicePixelRatio())).toSize();
    if (shown.width() > size.width() || shown.height() > size.height())
      shown.scale(size, Qt::KeepAspectRatio);
    QImage scaled =
        shown == image.size() ? image : image.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(1);
    QPainter painter(&canvas);
    painter.drawImage((size.width() - scaled.width()) / 2, (size.height() - scaled.height()) / 2, scaled);
  }
  if (FThumbnailBorderColor != clNone) {
    QPainter painter(&canvas);
    painter.setPen(ColorFromTColor(FThumbnailBorderColor));
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
  }
  canvas.setDevicePixelRatio(ratio);
  return canvas;
}

void TNavBaseShellListView::ThumbnailReady(const QImage& image, int, const void* itemTag) {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    if (item != itemTag) continue;
    if (item == FEditing) return;
    QImage fitted = FitThumbnail(image);
    if (OnThumbnailUpdated) OnThumbnailUpdated(*this, item, fitted);
    item->setIcon(0, QIcon(QPixmap::fromImage(fitted)));
    return;
  }
}

void TNavBaseShellListView::SetShellLink(TNavShellLink* link) {
  if (link == FShellLink) return;
  if (!FShellLink.isNull()) FShellLink->UnregisterControl(this);
  FShellLink = link;
  if (link != nullptr) link->RegisterControl(this);
}

void TNavBaseShellListView::SetCheckboxes(bool value) {
  if (value == FCheckboxes) return;
  if (value && FShellLink.isNull()) return;  // the ticks live in the link's selection list
  FCheckboxes = value;
  FillList();
}

void TNavBaseShellListView::RequestCheckState(TNavCheckableListItem* item) {
  if (item == nullptr || IsParentFolderItem(item) || !FCheckboxes || FShellLink.isNull()) return;
  GlobalThreadPool().CancelWorkItems(item, this, WorkItemClassOf<TCheckBoxWorkItem>());
  auto work =
      std::make_shared<TCheckBoxWorkItem>(TNavItemIdList::CreateFromAnyPath(item->GetPath()), this, item,
                                          this, this, FShellLink->GetSelectionList()->StateQuery());
  // Only the latest request's answer is shown: an older one may still be on its way.
  item->FPendingCheck = work.get();
  GlobalThreadPool().AddWorkItem(work);
}

void TNavBaseShellListView::CheckStateReady(TCheckBoxWorkItem& work) {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    auto* item = static_cast<TNavCheckableListItem*>(topLevelItem(i));
    if (item != work.GetItemTag()) continue;
    if (item->FPendingCheck != &work || !FCheckboxes) return;
    item->FPendingCheck = nullptr;
    item->SetCheckState(work.State());
    return;
  }
}

void TNavBaseShellListView::ToggleChecks(TNavCheckableListItem* clicked) {
  if (!FCheckboxes || FToggling) return;
  QList<TNavCheckableListItem*> items;
  if (clicked == nullptr || clicked->isSelected()) {
    for (QTreeWidgetItem* item : selectedItems()) items.append(static_cast<TNavCheckableListItem*>(item));
  }
  if (clicked != nullptr && !clicked->isSelected()) items = {clicked};
  if (items.isEmpty()) return;
  FToggling = true;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  TNavSelectionList* selection = FShellLink.isNull() ? nullptr : FShellLink->GetSelectionList();
  if (selection != nullptr) selection->BeginUpdate();  // the other controls hear of it once
  for (TNavCheckableListItem* item : items)
    if (item->GetCheckState() > TNavSelectionState::ssDisabled) item->SetChecked(!item->IsChecked());
  if (selection != nullptr) selection->EndUpdate();
  QGuiApplication::restoreOverrideCursor();
  FToggling = false;
}

TNavCheckableListItem* TNavBaseShellListView::CheckBoxAt(const QPoint& pos) const {
  if (!FCheckboxes) return nullptr;
  const bool grid = GridShown();
  const QModelIndex index = grid ? FGridView->indexAt(pos) : indexAt(pos);
  if (!index.isValid()) return nullptr;
  const QModelIndex first = index.siblingAtColumn(0);
  QStyleOptionViewItem option;
  if (grid) {
    option = FGridView->ItemOption(first);
  } else {
    initViewItemOption(&option);
    option.rect = visualRect(first);
  }
  auto* delegate = static_cast<TNameDelegate*>(grid ? FGridView->itemDelegate() : itemDelegateForColumn(0));
  const QRect box = delegate->CheckRect(option, first);
  if (box.isNull()) return nullptr;
  // In the details style the room left of the box counts too.
  const bool hit =
      grid ? box.contains(pos)
           : pos.x() <= box.right() && pos.y() >= option.rect.top() && pos.y() <= option.rect.bottom();
  return hit ? static_cast<TNavCheckableListItem*>(itemFromIndex(first)) : nullptr;
}

void TNavBaseShellListView::mousePressEvent(QMouseEvent* event) {
  // The mouse's fourth and fifth buttons move back and forward, as in file managers.
  if (event->button() == Qt::BackButton || event->button() == Qt::ForwardButton) {
    NavigateHistory(event->button() == Qt::BackButton ? -1 : 1);
    event->accept();
    return;
  }
  if (event->button() == Qt::LeftButton) {
    if (TNavCheckableListItem* item = CheckBoxAt(event->position().toPoint())) {
      // The box toggles without changing the selection.
      ToggleChecks(item);
      event->accept();
      return;
    }
  }
  QTreeWidget::mousePressEvent(event);
}

void TNavBaseShellListView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (CheckBoxAt(event->position().toPoint()) != nullptr) {
    event->accept();  // a quick second click on a box is no double click on the item
    return;
  }
  QTreeWidget::mouseDoubleClickEvent(event);
}

int TNavBaseShellListView::FolderSlot() const {
  const int slot = static_cast<int>(FBrowser.SpecialFolder());
  return slot >= 0 && slot < kNavShellFolderCount ? slot : static_cast<int>(TNavShellFolder::SF_INVALID);
}

void TNavBaseShellListView::SaveColumnWidths() {
  if (columnCount() == 0 || headerItem()->data(0, kShellColumnRole).isNull()) return;
  const int slot = FolderSlot();
  if (!FColumnsSetUp[static_cast<size_t>(slot)]) return;
  auto& table = FColumnTable[static_cast<size_t>(slot)];
  for (int c = 0; c < columnCount(); ++c) {
    const int shellColumn = headerItem()->data(c, kShellColumnRole).toInt();
    if (shellColumn >= 0 && shellColumn < kColumnSlots && table[static_cast<size_t>(shellColumn)] != -3)
      table[static_cast<size_t>(shellColumn)] = columnWidth(c);
  }
}

void TNavBaseShellListView::SetAutoSizeColumn(int column) {
  FAutoSizeColumn = column;
  AutoSize();
}

void TNavBaseShellListView::AutoSize() {
  if (FAutoSizeColumn < 0 || FAutoSizeColumn >= columnCount() || isColumnHidden(FAutoSizeColumn)) return;
  int others = 0;
  for (int c = 0; c < columnCount(); ++c)
    if (c != FAutoSizeColumn && !isColumnHidden(c)) others += columnWidth(c);
  // Never narrower than this, however little room is left.
  constexpr int kMinimumWidth = 80;
  setColumnWidth(FAutoSizeColumn, std::max(kMinimumWidth, viewport()->width() - others));
}

void TNavBaseShellListView::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  FGridView->setGeometry(rect());
  AutoSize();
}

bool TNavBaseShellListView::ChangeShellColumn(int shellColumn, bool show) {
  if (shellColumn <= 0 || shellColumn >= FBrowser.ColumnCount() || shellColumn >= kColumnSlots) return false;
  bool allow = true;
  if (OnBeforeShellColumnChanged) OnBeforeShellColumnChanged(*this, shellColumn, show, allow);
  if (!allow) return false;
  SaveColumnWidths();
  const int slot = FolderSlot();
  FColumnsSetUp[static_cast<size_t>(slot)] = true;
  FColumnTable[static_cast<size_t>(slot)][static_cast<size_t>(shellColumn)] = show ? 0 : -3;
  FillList();
  if (OnAfterShellColumnChanged) OnAfterShellColumnChanged(*this, shellColumn, show);
  return true;
}

bool TNavBaseShellListView::SetShellColumnVisible(int shellColumn, bool visible) {
  return visible ? ShowShellColumn(shellColumn) : HideShellColumn(shellColumn);
}

int TNavBaseShellListView::FindShellColumn(int shellColumn) const {
  for (int c = 0; c < columnCount(); ++c) {
    const QVariant shown = headerItem()->data(c, kShellColumnRole);
    if (shown.isValid() && shown.toInt() == shellColumn) return c;
  }
  return -1;
}

void TNavBaseShellListView::SetMultiSelect(bool value) {
  const SelectionMode mode = value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
  setSelectionMode(mode);
  FGridView->setSelectionMode(mode);
}

void TNavBaseShellListView::SelectAll() {
  if (MultiSelect()) selectAll();
  setFocus();
}

bool TNavBaseShellListView::ShowShellColumn(int shellColumn) { return ChangeShellColumn(shellColumn, true); }

bool TNavBaseShellListView::HideShellColumn(int shellColumn) { return ChangeShellColumn(shellColumn, false); }

std::unique_ptr<QMenu> TNavBaseShellListView::CreateColumnMenu() {
  auto menu = std::make_unique<QMenu>();
  QSet<QString> seen;
  QSet<int> shown;
  for (int c = 0; c < columnCount(); ++c) shown.insert(headerItem()->data(c, kShellColumnRole).toInt());
  for (int i = 0; i < FBrowser.ColumnCount(); ++i) {
    QString title;
    FBrowser.GetDetailsOf(i, true, title);
    if (title.isEmpty() || seen.contains(title)) continue;
    seen.insert(title);
    QAction* action = menu->addAction(title);
    action->setCheckable(true);
    action->setChecked(shown.contains(i));
    action->setEnabled(i != 0);  // the name stays
    QPointer<TNavBaseShellListView> self(this);
    connect(action, &QAction::toggled, this, [self, action, i](bool on) {
      if (self.isNull()) return;
      const bool done = on ? self->ShowShellColumn(i) : self->HideShellColumn(i);
      if (!done) {
        const QSignalBlocker block(action);  // refused: the tick goes back
        action->setChecked(!on);
      }
    });
  }
  return menu;
}

void TNavBaseShellListView::IconReady(int iconIndex, int kind, const void* itemTag) {
  ApplyPendingSelection();
  if (kind != 0 && kind != 1) return;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    if (item != itemTag) continue;
    // A change of the item would put its old name back into an open editor.
    if (item == FEditing) return;
    if (kind == 0 && iconIndex >= 0) item->setIcon(0, FImages.Icon(iconIndex));
    if (kind == 1) item->setData(0, kOverlayRole, std::max(iconIndex, -1));
    return;
  }
}

void TNavBaseShellListView::SortByColumn(int column) {
  if (column == FSortColumn)
    FSortDescending = !FSortDescending;
  else
    SetSortColumn(column);
  SortItems();
}

void TNavBaseShellListView::SetSortColumn(int column) {
  FSortColumn = column;
  FSortColumnOf[static_cast<size_t>(FolderSlot())] = column;
  header()->setSortIndicator(FSortColumn < columnCount() ? FSortColumn : 0,
                             FSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TNavBaseShellListView::SortItems() {
  if (OnSort) OnSort(*this, TSortStage::ssBeforeSort);
  const int column = FSortColumn < columnCount() ? FSortColumn : 0;
  // Sorted in place, so the selection and the current item stay with their items; the items'
  // own order (SortsBefore) already holds the direction.
  sortItems(column, Qt::AscendingOrder);
  header()->setSortIndicator(column, FSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  if (OnSort) OnSort(*this, TSortStage::ssAfterSort);
}

bool TNavBaseShellListView::SortsBefore(QTreeWidgetItem* a, QTreeWidgetItem* b) {
  if (IsParentFolderItem(a) != IsParentFolderItem(b)) return IsParentFolderItem(a);  // always first
  // Folders before files in both directions, as the desktop's file managers show them.
  const bool fa = a->data(0, kFolderRole).toBool(), fb = b->data(0, kFolderRole).toBool();
  if (fa != fb) return fa;
  const int column = FSortColumn < columnCount() ? FSortColumn : 0;
  int order = CompareCells(a, b, column);
  if (order == 0 && column != 0) order = CompareLogical(a->text(0), b->text(0));
  if (OnCompare) OnCompare(*this, a, b, order);
  return FSortDescending ? order > 0 : order < 0;
}

void TNavBaseShellListView::ShowError(const QString& message) {
  if (!ShowErrorMessages()) return;
  if (OnError)
    OnError(message);
  else
    platform::Prompter().Message(this, platform::TPromptIcon::Error, QStringLiteral("Error"), message);
}

void TNavBaseShellListView::ReportOperation(TNavShellOperations operations, const QStringList& files,
                                            const QString& destination) {
  using O = TNavShellOperation;
  if ((operations & OperationBit(O::sopDelete)) && !FAutomaticRefresh) {
    // No notice from the disk will remove them: the view follows at once.
    setUpdatesEnabled(false);
    for (QTreeWidgetItem* item : selectedItems()) {
      if (IsParentFolderItem(item)) continue;
      if (item == FEditing) FEditing = nullptr;
      GlobalThreadPool().CancelWorkItems(item, this);
      delete item;
    }
    setUpdatesEnabled(true);
  }
  // A ticked item keeps its tick under its new name (and so does what lies inside a folder).
  if ((operations & OperationBit(O::sopRename)) && !FShellLink.isNull() && !files.isEmpty())
    FShellLink->GetSelectionList()->Rename(files.first(), destination);
  if (OnOperation && !files.isEmpty()) OnOperation(*this, operations, files, destination);
  const TNavShellOperations changing = OperationBit(O::sopMove) | OperationBit(O::sopDelete) |
                                       OperationBit(O::sopRemove) | OperationBit(O::sopRename);
  if ((operations & changing) && !FShellLink.isNull())
    FShellLink->BroadcastNotify(this, 0, FBrowser.GetFolderIDList());
}

void TNavBaseShellListView::EditSelectedCaption() {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  if (selected.size() != 1 || IsParentFolderItem(selected.first()) || ReadOnly()) return;
  QTreeWidgetItem* item = selected.first();
  try {
    FBrowser.LocateObject(ItemName(item));
  } catch (const EShellBrowserError&) {
    return;
  }
  if (!FBrowser.CanRename()) return;
  FRenaming = true;
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  item->setText(0, ItemName(item));  // the name on disk is what gets edited
  FRenaming = false;
  FEditing = item;
  if (GridShown())
    FGridView->edit(indexFromItem(item, 0));
  else
    editItem(item, 0);
}

void TNavBaseShellListView::NameTyped(const QModelIndex& index, const QString& text) {
  QTreeWidgetItem* item = itemFromIndex(index);
  if (item == nullptr || item != FEditing || index.column() != 0) return;
  CaptionEdited(item, text);
}

void TNavBaseShellListView::CaptionEdited(QTreeWidgetItem* item, const QString& typed) {
  FEditing = nullptr;
  FRenaming = true;
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  FRenaming = false;
  const QString oldName = ItemName(item);
  QString edited = typed;
  if (OnEdited) OnEdited(*this, item, edited);
  QString newName = edited.trimmed();
  if (newName.isEmpty() || newName == oldName) {
    FRenaming = true;
    item->setText(0, oldName);
    FRenaming = false;
    return;
  }
  bool ok = false;
  try {
    FBrowser.LocateObject(oldName);
    ok = FBrowser.RenameObject(newName);
  } catch (const EShellBrowserError&) {
    ok = false;
  }
  FRenaming = true;
  if (ok) {
    // Whole or not at all: the item follows the name on disk, with the type, icon and place
    // that name gives it. No notice from the disk would change it: the item is found there under
    // its new name.
    item->setText(0, newName);
    item->setData(0, kNameRole, FBrowser.GetObjectName());
    if (auto* checkable = dynamic_cast<TNavCheckableListItem*>(item)) checkable->RebuildIDLists();
    FillItemDetails(item);
    CancelImageWork(item);  // the old name's icon may be on its way
    item->setIcon(0, QIcon());
    item->setData(0, kOverlayRole, QVariant());
    RequestItemImage(item);
    ReportOperation(OperationBit(TNavShellOperation::sopRename), {FBrowser.Folder() + oldName},
                    FBrowser.Folder() + FBrowser.GetObjectName());
    SortItems();
  } else {
    const QString wanted = edited;
    item->setText(0, oldName);
    ShowError(QStringLiteral("Could not rename \"") + oldName + QStringLiteral("\" to \"") + wanted +
              QStringLiteral("\": ") + NavSystemErrorText(errno));
    // The editor opens again a moment later, for another try.
    QPointer<TNavBaseShellListView> self(this);
    QTimer::singleShot(100, this, [self, item] {
      if (self.isNull()) return;
      for (int i = 0; i < self->topLevelItemCount(); ++i)
        if (self->topLevelItem(i) == item) {
          self->clearSelection();
          item->setSelected(true);
          self->EditSelectedCaption();
        }
    });
  }
  FRenaming = false;
}

void TNavBaseShellListView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QTreeWidget::closeEditor(editor, hint);
  EditorClosed();
}

void TNavBaseShellListView::EditorClosed() {
  if (QTreeWidgetItem* item = FEditing) {  // closed without a new name
    FEditing = nullptr;
    FRenaming = true;
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    FRenaming = false;
  }
}

void TNavBaseShellListView::contextMenuEvent(QContextMenuEvent* event) {
  QString verb;
  QTreeWidgetItem* item = ShownItemAt(event->globalPos());
  if (item == nullptr) clearSelection();
  // The shell's menus first (of the items, or of the background); the list's popup otherwise.
  if (FShellContextMenu && item != nullptr) {
    ShowItemContextMenu(event->globalPos(), verb);
    return;
  }
  if (FShellContextMenu && item == nullptr && ShowBackgroundMenu(event->globalPos())) return;
  if (FPopupMenu) FPopupMenu->popup(event->globalPos());
}

void TNavBaseShellListView::enterEvent(QEnterEvent* event) {
  QTreeWidget::enterEvent(event);
  if (OnMouseEnter) OnMouseEnter(*this);
}

void TNavBaseShellListView::leaveEvent(QEvent* event) {
  QTreeWidget::leaveEvent(event);
  if (OnMouseLeave) OnMouseLeave(*this);
}

void TNavBaseShellListView::SetOleDragDrop(bool value) {
  FOleDragDrop = value;
  setDragEnabled(value);
  setAcceptDrops(value);
  viewport()->setAcceptDrops(value);
  setDragDropMode(value ? QAbstractItemView::DragDrop : QAbstractItemView::NoDragDrop);
  setDropIndicatorShown(value);
}

}  // namespace shell
