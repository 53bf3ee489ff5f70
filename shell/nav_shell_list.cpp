#include "shell/nav_shell_list.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QClipboard>
#include <QMimeData>
#include <sys/stat.h>
#include <cerrno>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QSet>
#include <QSignalBlocker>
#include <QMetaProperty>
#include <QStyledItemDelegate>
#include <QPainter>
#include <QKeyEvent>
#include <QApplication>
#include <QMouseEvent>
#include <QStyle>
#include <algorithm>

#include "platform/prompter.h"
#include "shell/nav_selection_list.h"
#include "shell/thread_pool.h"

namespace shell {

namespace {

constexpr int kNameRole = Qt::UserRole + 1;    // the object's name in its folder
constexpr int kFolderRole = Qt::UserRole + 2;  // the object is a folder
constexpr int kParentRole = Qt::UserRole + 3;  // the " .. " entry
constexpr int kShellColumnRole = Qt::UserRole + 4;
constexpr int kCheckStateRole = Qt::UserRole + 5;  // TNavSelectionState, absent before the first
// Above this many items a refresh refills instead of merging.
constexpr int kMergeLimit = 500;
constexpr int kRefreshDelayMs = 300;

QString ItemName(const QTreeWidgetItem* item) { return item->data(0, kNameRole).toString(); }

// The names typed into the list's editor go to the disk first; the item shows what happened.
class TNameDelegate : public QStyledItemDelegate {
 public:
  explicit TNameDelegate(TNavShellList* list) : QStyledItemDelegate(list), FList(list) {}
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    const QByteArray property = editor->metaObject()->userProperty().name();
    FList->NameTyped(index, editor->property(property.constData()).toString());
  }
  /// An item that cannot be ticked is drawn inactive.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(kCheckStateRole).toInt() == static_cast<int>(TNavSelectionState::ssDisabled) &&
        index.data(kCheckStateRole).isValid())
      option->state &= ~QStyle::State_Enabled;
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
  TNavShellList* FList;
};

}  // namespace

// The icon and list styles: a grid over the list's own items and selection.
class TNavGridView : public QListView {
 public:
  explicit TNavGridView(TNavShellList* list) : QListView(list), FList(list) {}
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
  TNavShellList* FList;
};

// --- checkable items ---

TNavCheckableListItem::~TNavCheckableListItem() { GlobalThreadPool().CancelWorkItems(this); }

TNavShellList* TNavCheckableListItem::GetListView() const { return qobject_cast<TNavShellList*>(treeWidget()); }

TNavSelectionState TNavCheckableListItem::GetCheckState() const {
  const QVariant state = data(0, kCheckStateRole);
  return state.isValid() ? static_cast<TNavSelectionState>(state.toInt()) : TNavSelectionState::ssUnused;
}

void TNavCheckableListItem::SetCheckState(TNavSelectionState state) {
  const bool hadState = data(0, kCheckStateRole).isValid();
  if (hadState && GetCheckState() == state) return;
  setData(0, kCheckStateRole, static_cast<int>(state));
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
  TNavShellList* list = GetListView();
  if (hadState && list != nullptr && list->OnCheckStateChanged)
    list->OnCheckStateChanged(*list, list->indexOfTopLevelItem(this), GetPath(), state);
}

bool TNavCheckableListItem::IsChecked() const {
  const TNavSelectionState state = GetCheckState();
  return state == TNavSelectionState::ssChecked || state == TNavSelectionState::ssGrayed;
}

void TNavCheckableListItem::SetChecked(bool value) {
  const TNavSelectionState state = GetCheckState();
  if (state == TNavSelectionState::ssDisabled || state == TNavSelectionState::ssUnused) return;
  TNavShellList* list = GetListView();
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
  const TNavShellList* list = GetListView();
  return list != nullptr ? list->GetItemPath(list->indexOfTopLevelItem(const_cast<TNavCheckableListItem*>(this)))
                         : QString();
}

bool TNavShellList::IsParentFolderItem(const QTreeWidgetItem* item) {
  return item != nullptr && item->data(0, kParentRole).toBool();
}

TNavShellList::TNavShellList(QWidget* parent) : QTreeWidget(parent), FBrowser(this), FNotifier(this) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setAllColumnsShowFocus(true);
  setSortingEnabled(false);  // the list sorts itself: the parent entry stays first
  header()->setSectionsClickable(true);
  SetOleDragDrop(true);
  header()->setSortIndicatorShown(true);
  FBrowser.SetShowErrorMessages(false);
  FBrowser.SetSpecialFolder(TNavShellFolder::SF_DRIVES);
  using E = TNotificationEvent;
  TNotificationEvents filter = 0;
  for (E e : {E::neFileChange, E::neFileCreate, E::neFileDelete, E::neFileRename, E::neDriveAdd, E::neDriveRemove,
              E::neShellDriveAdd, E::neMediaInsert, E::neMediaRemove, E::neFolderCreate, E::neFolderDelete,
              E::neFolderRename, E::neFolderUpdate, E::neNetShare})
    filter |= NotificationBit(e);
  FNotifier.SetEventFilter(filter);
  FNotifier.SetRecursive(false);
  FNotifier.InternalHandler = [this](TNavShellChangeNotifier&, E event, const INavItemIdList& a,
                                     const INavItemIdList& b) { HandleShellChange(event, a, b); };
  FRefreshTimer.setSingleShot(true);
  FRefreshTimer.setInterval(kRefreshDelayMs);
  connect(&FRefreshTimer, &QTimer::timeout, this, [this] { RefreshTimerFired(); });
  connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
  header()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    std::unique_ptr<QMenu> menu = CreateColumnMenu();
    menu->exec(header()->mapToGlobal(at));
  });
  connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (OnDblClick)
      OnDblClick(*this);
    else
      OpenItem(item);
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
  connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (FFilling || FShellLink.isNull()) return;
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.size() == 1 && !IsParentFolderItem(selected.first())) {
      try {
        FBrowser.LocateObject(ItemName(selected.first()));
      } catch (const EShellBrowserError&) {
        return;  // gone from disk; the next refresh removes it
      }
      FShellLink->BroadcastItemChanged(this, FBrowser.GetFolderIDList(), FBrowser.GetAbsoluteObjectIDList());
    } else if (selected.isEmpty()) {
      FShellLink->BroadcastItemChanged(this, nullptr, nullptr);
    }
  });
}

TNavShellList::~TNavShellList() {
  FDestroying = true;
  CancelWork();
  FNotifier.SetEnabled(false);
  if (!FShellLink.isNull()) FShellLink->UnregisterControl(this);
}

void TNavShellList::CancelWork() { GlobalThreadPool().CancelWorkItems(nullptr, this); }

// --- properties ---

void TNavShellList::SetPath(const QString& path) {
  if (FDestroying) return;
  if (SamePath(path, FBrowser.Folder()) && topLevelItemCount() > 1) return;
  SaveColumnWidths();
  try {
    FBrowser.SetFolder(path);
  } catch (const EShellBrowserError& error) {
    if (FBrowser.ShowErrorMessages())
      platform::Prompter().Message(this, platform::TPromptIcon::Error, QStringLiteral("Error"),
                                   QString::fromStdString(error.what()));
    return;
  }
  ApplyPathChange();
  FillList();
}

TNavShellFolder TNavShellList::SpecialFolder() const {
  const TNavShellFolder folder = FBrowser.SpecialFolder();
  if (folder == TNavShellFolder::SF_DRIVES && !FBrowser.Folder().isEmpty()) return TNavShellFolder::SF_FILESYSTEMFOLDER;
  return folder;
}

void TNavShellList::SetSpecialFolder(TNavShellFolder folder) {
  SaveColumnWidths();
  if (folder != TNavShellFolder::SF_FILESYSTEMFOLDER) FBrowser.SetSpecialFolder(folder);
  ApplyPathChange();
  FillList();
}

void TNavShellList::SetFilter(const QString& filter) {
  if (filter == FBrowser.Filter()) return;
  FBrowser.SetFilter(filter);
  FillList();
}

void TNavShellList::SetFileSystemOnly(bool value) {
  FBrowser.SetFileSystemOnly(value);
  FillList();
}

void TNavShellList::SetShowFolders(bool value) {
  if (value == FShowFolders) return;
  FShowFolders = value;
  FillList();
}

void TNavShellList::SetShowFiles(bool value) {
  if (value == FShowFiles) return;
  FShowFiles = value;
  FillList();
}

void TNavShellList::SetShowHidden(bool value) {
  if (value == FShowHidden) return;
  FShowHidden = value;
  FillList();
}

void TNavShellList::SetShowParentFolder(bool value) {
  if (value == FShowParentFolder) return;
  FShowParentFolder = value;
  FillList();
}

void TNavShellList::SetDetails(bool value) {
  if (value == FDetails) return;
  FDetails = value;
  FillList();
}

void TNavShellList::SetAutomaticRefresh(bool value) {
  FAutomaticRefresh = value;
  if (!value) FRefreshTimer.stop();
  FNotifier.SetEnabled(value && !FFilling && !NavIsEmpty(FBrowser.GetFolderIDList()));
}

void TNavShellList::SetViewStyle(TNavViewStyle style) {
  const TNavViewStyle shown = style == TNavViewStyle::vsSmallIcon ? TNavViewStyle::vsList : style;
  if (shown != FViewStyle) FThumbnails = false;  // a new style starts with icons
  FViewStyle = shown;
  const bool report = FViewStyle == TNavViewStyle::vsReport;
  setHeaderHidden(!report);
  for (int c = 1; c < columnCount(); ++c) setColumnHidden(c, !report);
  if (ThumbnailsShown())
    setIconSize(QSize(FThumbnailWidth, FThumbnailHeight));
  else
    setIconSize(FViewStyle == TNavViewStyle::vsIcon ? QSize(32, 32) : QSize(16, 16));
  if (FViewStyle == TNavViewStyle::vsIcon) {
    // Names below the icons, in rows that wrap at the right edge.
    FGridView->setViewMode(QListView::IconMode);
    FGridView->setFlow(QListView::LeftToRight);
    FGridView->setWordWrap(true);
    const int width = std::max(iconSize().width() + 32, 120);
    FGridView->setGridSize(QSize(width, iconSize().height() + 2 * fontMetrics().height() + 12));
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
}

QListView* TNavShellList::GridView() const { return FGridView; }

QTreeWidgetItem* TNavShellList::ShownItemAt(const QPoint& globalPos) const {
  if (GridShown()) {
    const QModelIndex index = FGridView->indexAt(FGridView->viewport()->mapFromGlobal(globalPos));
    return index.isValid() ? itemFromIndex(index) : nullptr;
  }
  return itemAt(viewport()->mapFromGlobal(globalPos));
}

bool TNavShellList::eventFilter(QObject* watched, QEvent* event) {
  if (FGridView == nullptr || (watched != FGridView && watched != FGridView->viewport()))
    return QTreeWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress && watched == FGridView) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool moving = !(key->modifiers() & Qt::AltModifier) &&
                        (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right || key->key() == Qt::Key_Up ||
                         key->key() == Qt::Key_Down || key->key() == Qt::Key_PageUp ||
                         key->key() == Qt::Key_PageDown || key->key() == Qt::Key_Home || key->key() == Qt::Key_End);
    if (moving) return false;  // the grid moves through its own rows and columns
    keyPressEvent(key);
    return true;
  }
  if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) &&
      watched == FGridView->viewport()) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    TNavCheckableListItem* item = mouse->button() == Qt::LeftButton ? CheckBoxAt(mouse->position().toPoint()) : nullptr;
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

void TNavShellList::SetThumbnails(bool value) {
  if (value == FThumbnails) return;
  FThumbnails = value;
  SetViewStyle(FViewStyle);
  FillList();
}

void TNavShellList::SetThumbnailSize(int width, int height) {
  FThumbnailWidth = std::max(1, width);
  FThumbnailHeight = std::max(1, height);
  if (ThumbnailsShown()) {
    SetViewStyle(FViewStyle);
    FillList();
  }
}

QImage TNavShellList::FitThumbnail(const QImage& image) const {
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

void TNavShellList::ThumbnailReady(const QImage& image, int, const void* itemTag) {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    if (item == itemTag) {
      if (item != FEditing) item->setIcon(0, QIcon(QPixmap::fromImage(FitThumbnail(image))));
      return;
    }
  }
}

void TNavShellList::SetShellLink(TNavShellLink* link) {
  if (link == FShellLink) return;
  if (!FShellLink.isNull()) FShellLink->UnregisterControl(this);
  FShellLink = link;
  if (link != nullptr) link->RegisterControl(this);
}

// --- check boxes ---

void TNavShellList::SetCheckboxes(bool value) {
  if (value == FCheckboxes) return;
  if (value && FShellLink.isNull()) return;  // the ticks live in the link's selection list
  FCheckboxes = value;
  FillList();
}

void TNavShellList::RequestCheckState(TNavCheckableListItem* item) {
  if (item == nullptr || IsParentFolderItem(item) || !FCheckboxes || FShellLink.isNull()) return;
  GlobalThreadPool().CancelWorkItems(item, this, WorkItemClassOf<TCheckBoxWorkItem>());
  auto work = std::make_shared<TCheckBoxWorkItem>(TNavItemIdList::CreateFromAnyPath(item->GetPath()), this, item,
                                                  this, this, FShellLink->GetSelectionList()->StateQuery());
  // Only the latest request's answer is shown: an older one may still be on its way.
  item->FPendingCheck = work.get();
  GlobalThreadPool().AddWorkItem(work);
}

void TNavShellList::CheckStateReady(TCheckBoxWorkItem& work) {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    auto* item = static_cast<TNavCheckableListItem*>(topLevelItem(i));
    if (item != work.GetItemTag()) continue;
    if (item->FPendingCheck != &work || !FCheckboxes) return;
    item->FPendingCheck = nullptr;
    item->SetCheckState(work.State());
    return;
  }
}

void TNavShellList::ToggleChecks(TNavCheckableListItem* clicked) {
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

TNavCheckableListItem* TNavShellList::CheckBoxAt(const QPoint& pos) const {
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
  const bool hit = grid ? box.contains(pos)
                        : pos.x() <= box.right() && pos.y() >= option.rect.top() && pos.y() <= option.rect.bottom();
  return hit ? static_cast<TNavCheckableListItem*>(itemFromIndex(first)) : nullptr;
}

void TNavShellList::mousePressEvent(QMouseEvent* event) {
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

void TNavShellList::mouseDoubleClickEvent(QMouseEvent* event) {
  if (CheckBoxAt(event->position().toPoint()) != nullptr) {
    event->accept();  // a quick second click on a box is no double click on the item
    return;
  }
  QTreeWidget::mouseDoubleClickEvent(event);
}

// --- filling ---

void TNavShellList::ApplyPathChange() {
  clearSelection();
  if (!FNavigatingHistory) FHistory.Add(FBrowser.GetFolderIDList());
  // Each kind of folder keeps the column it was sorted by; the order starts ascending.
  FSortColumn = FSortColumnOf[static_cast<size_t>(FolderSlot())];
  FSortDescending = false;
  if (!FShellLink.isNull()) FShellLink->BroadcastPathChanged(this, FBrowser.GetFolderIDList());
  if (OnPathChanged) OnPathChanged(*this);
}

int TNavShellList::FolderSlot() const {
  const int slot = static_cast<int>(FBrowser.SpecialFolder());
  return slot >= 0 && slot < kNavShellFolderCount ? slot : static_cast<int>(TNavShellFolder::SF_INVALID);
}

void TNavShellList::SaveColumnWidths() {
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

void TNavShellList::CreateColumns() {
  const int slot = FolderSlot();
  auto& table = FColumnTable[static_cast<size_t>(slot)];
  const bool useDefaults = !FColumnsSetUp[static_cast<size_t>(slot)];
  QStringList titles;
  QList<int> widths;
  QList<int> shellColumns;
  for (int i = 0; i < FBrowser.ColumnCount() && i < kColumnSlots; ++i) {
    Qt::Alignment alignment;
    const int defaultWidth = FBrowser.GetColumnWidth(i, alignment);
    bool shown;
    int width;
    if (useDefaults) {
      shown = defaultWidth > 0;
      width = defaultWidth;
      table[static_cast<size_t>(i)] = shown ? 0 : -3;
    } else {
      shown = table[static_cast<size_t>(i)] != -3;
      width = table[static_cast<size_t>(i)] > 0 ? table[static_cast<size_t>(i)] : (defaultWidth > 0 ? defaultWidth : 120);
    }
    if (!shown) continue;
    if (!FDetails && !titles.isEmpty()) continue;
    QString title;
    FBrowser.GetDetailsOf(i, true, title);
    titles << title;
    widths << width;
    shellColumns << i;
  }
  FColumnsSetUp[static_cast<size_t>(slot)] = true;
  setColumnCount(std::max(1, static_cast<int>(titles.size())));
  setHeaderLabels(titles);
  for (int c = 0; c < widths.size(); ++c) {
    setColumnWidth(c, widths[c]);
    headerItem()->setData(c, kShellColumnRole, shellColumns[c]);
  }
  SetViewStyle(FViewStyle);
  AutoSize();
}

void TNavShellList::SetAutoSizeColumn(int column) {
  FAutoSizeColumn = column;
  AutoSize();
}

void TNavShellList::AutoSize() {
  if (FAutoSizeColumn < 0 || FAutoSizeColumn >= columnCount() || isColumnHidden(FAutoSizeColumn)) return;
  int others = 0;
  for (int c = 0; c < columnCount(); ++c)
    if (c != FAutoSizeColumn && !isColumnHidden(c)) others += columnWidth(c);
  // Never narrower than this, however little room is left.
  constexpr int kMinimumWidth = 80;
  setColumnWidth(FAutoSizeColumn, std::max(kMinimumWidth, viewport()->width() - others));
}

void TNavShellList::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  FGridView->setGeometry(rect());
  AutoSize();
}

bool TNavShellList::ChangeShellColumn(int shellColumn, bool show) {
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

bool TNavShellList::ShowShellColumn(int shellColumn) { return ChangeShellColumn(shellColumn, true); }
bool TNavShellList::HideShellColumn(int shellColumn) { return ChangeShellColumn(shellColumn, false); }

std::unique_ptr<QMenu> TNavShellList::CreateColumnMenu() {
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
    QPointer<TNavShellList> self(this);
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

bool TNavShellList::PassesShowFilter() const {
  if (!FShowFiles && !FBrowser.IsFolder()) return false;
  if (!FShowHidden && FBrowser.IsHidden()) return false;
  return true;
}

QTreeWidgetItem* TNavShellList::AddItemForObject() {
  const QString caption = FBrowser.GetObjectDisplayName(true);
  if (caption.isEmpty()) return nullptr;
  const bool folder = FBrowser.IsFolder();
  if (!(FShowFolders || !folder) || !PassesShowFilter()) return nullptr;
  auto item = std::make_unique<TNavCheckableListItem>();
  item->setText(0, caption);
  item->setData(0, kNameRole, FBrowser.GetObjectName());
  item->setData(0, kFolderRole, folder);
  FillItemDetails(item.get());
  if (OnAddItem) {
    bool canAdd = true;
    OnAddItem(item.get(), canAdd);
    if (!canAdd) return nullptr;
  }
  TNavCheckableListItem* added = item.release();
  addTopLevelItem(added);
  LoadItemImage(added);
  if (FCheckboxes) RequestCheckState(added);
  return added;
}

void TNavShellList::FillItemDetails(QTreeWidgetItem* item) {
  if (!FDetails || IsParentFolderItem(item)) return;
  for (int c = 1; c < columnCount(); ++c) {
    QString text;
    FBrowser.GetDetailsOf(headerItem()->data(c, kShellColumnRole).toInt(), false, text);
    item->setText(c, text);
    Qt::Alignment alignment;
    FBrowser.GetColumnWidth(headerItem()->data(c, kShellColumnRole).toInt(), alignment);
    item->setTextAlignment(c, alignment | Qt::AlignVCenter);
  }
}

void TNavShellList::LoadItemImage(QTreeWidgetItem* item) {
  if (IsParentFolderItem(item) || item->data(0, kFolderRole).toBool()) {
    item->setIcon(0, FImages.Icon(TNavSystemImageList::GetFolderIconIndex()));
    if (IsParentFolderItem(item) && !ThumbnailsShown()) return;
  } else {
    // The extension's icon at once; the file's own when the pool has looked at it.
    item->setIcon(0, FImages.Icon(TNavSystemImageList::GetIconIndexForName(ItemName(item), false, false)));
  }
  const QString path = FBrowser.Folder() + ItemName(item);
  if (ThumbnailsShown() && !FBrowser.Folder().isEmpty()) {
    // The icon framed at the thumbnail size until the picture comes.
    const int index = item->data(0, kFolderRole).toBool()
                          ? TNavSystemImageList::GetFolderIconIndex()
                          : TNavSystemImageList::GetIconIndexForName(ItemName(item), true, false);
    TNavSystemImageList large;
    large.SetSize(TNavImageListSize::si_extralarge);
    const QColor base = palette().color(QPalette::Base);
    const TColor background = static_cast<TColor>(base.red() | (base.green() << 8) | (base.blue() << 16));
    // Pictures in device pixels: FitThumbnail shows them at the screen's pixel ratio.
    const qreal ratio = std::max<qreal>(1, devicePixelRatioF());
    item->setIcon(0, QIcon(QPixmap::fromImage(FitThumbnail(
                         TNavSystemImageList::GetIconBitmap(large, index, background, clNone, FThumbnailWidth,
                                                            FThumbnailHeight, ratio)))));
    if (!item->data(0, kFolderRole).toBool() && !IsParentFolderItem(item))
      GlobalThreadPool().AddWorkItem(std::make_shared<TThumbnailWorkItem>(
          TNavItemIdList::CreateFromAnyPath(path), background, false, this, item, 0, this, this,
          qRound(FThumbnailHeight * ratio), qRound(FThumbnailWidth * ratio)));
    return;
  }
  if (FIconsByExtension || IsParentFolderItem(item)) return;
  if (FBrowser.Folder().isEmpty()) {
    item->setIcon(0, FImages.Icon(FBrowser.GetIconIndex()));
    return;
  }
  GlobalThreadPool().AddWorkItem(std::make_shared<TIconWorkItem>(path, this, item, this, this, TIconWorkItem::Normal));
}

void TNavShellList::IconReady(int iconIndex, int kind, const void* itemTag) {
  if (kind != 0 || iconIndex < 0) return;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    if (item == itemTag) {
      // A change of the item would put its old name back into an open editor.
      if (item != FEditing) item->setIcon(0, FImages.Icon(iconIndex));
      return;
    }
  }
}

void TNavShellList::FillList() {
  if (FFilling || FDestroying) return;
  FFilling = true;
  FNotifier.SetEnabled(false);
  FRefreshTimer.stop();
  CancelWork();
  const QStringList saved = SelectedNames();
  FEditing = nullptr;
  clear();
  if (FBrowser.IsValidObject(true)) {
    CreateColumns();
    FBrowser.ResetEnumeration();
    while (FBrowser.Next()) AddItemForObject();
    const INavItemIdList folder = FBrowser.GetFolderIDList();
    if (FShowParentFolder && (FShellLink.isNull() || FShellLink->AllowGoingUp()) && folder->GetCount() > 0) {
      auto* up = new TNavCheckableListItem;
      up->setText(0, QStringLiteral(" .. "));
      up->setData(0, kParentRole, true);
      up->setData(0, kFolderRole, true);
      addTopLevelItem(up);
      if (FCheckboxes) up->SetCheckState(TNavSelectionState::ssDisabled);
      LoadItemImage(up);
    }
    SortItems();
    RestoreSelection(saved);
    if (OnPopulated) OnPopulated(*this);
    if (FAutomaticRefresh) FNotifier.WatchIDList(folder);
  }
  FFilling = false;
  FNotifier.SetEnabled(FAutomaticRefresh && FBrowser.IsValidObject(true));
}

void TNavShellList::RefreshList() {
  if (FFilling || FDestroying) return;
  if (topLevelItemCount() > kMergeLimit) {
    FillList();
    return;
  }
  QHash<QString, QTreeWidgetItem*> unseen;
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (!IsParentFolderItem(topLevelItem(i))) unseen.insert(ItemName(topLevelItem(i)), topLevelItem(i));
  bool added = false;
  FBrowser.ResetEnumeration();
  while (FBrowser.Next()) {
    const QString name = FBrowser.GetObjectName();
    if (QTreeWidgetItem* item = unseen.take(name)) {
      if (FBrowser.SpecialFolder() == TNavShellFolder::SF_DRIVES) item->setText(0, FBrowser.GetObjectDisplayName(true));
      continue;
    }
    if (FindItemByName(name) == nullptr && AddItemForObject() != nullptr) added = true;
  }
  for (QTreeWidgetItem* item : unseen) {
    if (item == FEditing) FEditing = nullptr;
    GlobalThreadPool().CancelWorkItems(item, this);
    delete item;
  }
  if (added) SortItems();
}

QTreeWidgetItem* TNavShellList::FindItemByName(const QString& name) const {
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (!IsParentFolderItem(topLevelItem(i)) && ItemName(topLevelItem(i)) == name) return topLevelItem(i);
  return nullptr;
}

// --- sorting ---

void TNavShellList::SortByColumn(int column) {
  if (column == FSortColumn)
    FSortDescending = !FSortDescending;
  else {
    FSortColumn = column;
    FSortDescending = false;
  }
  FSortColumnOf[static_cast<size_t>(FolderSlot())] = column;
  SortItems();
}

void TNavShellList::SortItems() {
  QList<QTreeWidgetItem*> items;
  while (topLevelItemCount() > 0) items.append(takeTopLevelItem(0));
  const int column = FSortColumn < columnCount() ? FSortColumn : 0;
  std::stable_sort(items.begin(), items.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
    if (IsParentFolderItem(a) != IsParentFolderItem(b)) return IsParentFolderItem(a);  // always first
    // Folders before files, as file windows show them.
    const bool fa = a->data(0, kFolderRole).toBool(), fb = b->data(0, kFolderRole).toBool();
    if (fa != fb) return fa;
    int order = CompareLogical(a->text(column), b->text(column));
    if (order == 0 && column != 0) order = CompareLogical(a->text(0), b->text(0));
    return FSortDescending ? order > 0 : order < 0;
  });
  addTopLevelItems(items);
  header()->setSortIndicator(column, FSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

// --- selection ---

QStringList TNavShellList::SelectedNames() const {
  QStringList names;
  for (QTreeWidgetItem* item : selectedItems())
    if (!IsParentFolderItem(item)) names << ItemName(item);
  return names;
}

void TNavShellList::RestoreSelection(const QStringList& names) {
  QTreeWidgetItem* first = nullptr;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (QTreeWidgetItem* item = FindItemByName(*it)) {
      item->setSelected(true);
      first = item;
    }
  }
  if (first != nullptr) {
    setCurrentItem(first, 0, QItemSelectionModel::NoUpdate);
    scrollToItem(first);
  }
}

QString TNavShellList::GetItemPath(int index) const {
  const QTreeWidgetItem* item = topLevelItem(index);
  if (item == nullptr) return {};
  if (IsParentFolderItem(item)) return NavParentFolder(FBrowser.Folder());
  const QString folder = FBrowser.Folder();
  return folder.isEmpty() ? ItemName(item) : folder + ItemName(item);
}

// --- navigation ---

void TNavShellList::BrowseToIDList(const INavItemIdList& folder) {
  if (!NavIsEmpty(folder) && !NavIsEmpty(FBrowser.GetFolderIDList()) && folder->IsEqual(FBrowser.GetFolderIDList()))
    return;
  try {
    SaveColumnWidths();
    FBrowser.SetFolderIDList(folder);
    clearSelection();
    ApplyPathChange();
    FillList();
  } catch (const EShellBrowserError&) {
    clear();
  }
}

bool TNavShellList::BrowseParent() {
  const INavItemIdList folder = FBrowser.GetFolderIDList();
  if (NavIsEmpty(folder) || folder->GetCount() == 0) return false;
  if (!FShellLink.isNull() && !FShellLink->AllowGoingUp()) return false;
  SaveColumnWidths();
  FBrowser.SelectFolderAsObject();
  const QString left = FBrowser.GetObjectName();
  ApplyPathChange();
  FillList();
  if (QTreeWidgetItem* item = FindItemByName(left)) {
    clearSelection();
    item->setSelected(true);
    setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    scrollToItem(item);
  }
  return true;
}

void TNavShellList::NavigateHistory(int step) {
  if (!FHistory.CanGo(step)) return;
  if (step < 0)
    FHistory.Back(-step);
  else
    FHistory.Forward(step);
  FNavigatingHistory = true;
  BrowseToIDList(FHistory.Current());
  FNavigatingHistory = false;
}

void TNavShellList::OpenItem(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  if (IsParentFolderItem(item)) {
    BrowseParent();
    return;
  }
  try {
    FBrowser.LocateObject(ItemName(item));
  } catch (const EShellBrowserError&) {
    return;
  }
  if (FBrowser.IsFolder()) {
    BrowseToIDList(FBrowser.GetAbsoluteObjectIDList());
    return;
  }
  FBrowser.ExecuteCommand(QStringLiteral("default"));
}

void TNavShellList::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers();
  const bool ctrl = mods & Qt::ControlModifier;
  const bool altOnly = mods == Qt::AltModifier;
  const int key = event->key();
  if (key == Qt::Key_Space && FCheckboxes && !FShellLink.isNull() && !(mods & Qt::ControlModifier)) {
    ToggleChecks(nullptr);
  } else if (key == Qt::Key_Backspace) {
    BrowseParent();
  } else if (altOnly && key == Qt::Key_Left) {
    NavigateHistory(-1);
  } else if (altOnly && key == Qt::Key_Right) {
    NavigateHistory(1);
  } else if (altOnly && key == Qt::Key_Up) {
    BrowseParent();
  } else if (key == Qt::Key_F5) {
    FillList();
    if (!FShellLink.isNull()) FShellLink->BroadcastNotify(this, 0, FBrowser.GetFolderIDList());
  } else if (key == Qt::Key_Delete) {
    if (!ReadOnly()) ExecuteVerb(QStringLiteral("delete"));
  } else if (ctrl && key == Qt::Key_A) {
    selectAll();
  } else if (ctrl && key == Qt::Key_C) {
    ExecuteVerb(QStringLiteral("copy"));
  } else if (ctrl && key == Qt::Key_X) {
    if (!ReadOnly()) ExecuteVerb(QStringLiteral("cut"));
  } else if (ctrl && key == Qt::Key_V) {
    if (!ReadOnly()) {
      // Into the shown folder itself.
      const QStringList files = GetClipboardFiles();
      const bool cut = IsCutData(QGuiApplication::clipboard()->mimeData());
      auto browser = TShellBrowser::CreateCopy(FBrowser);
      browser->SetFolderIDList(FBrowser.GetFolderIDList());
      browser->SelectFolderAsObject();
      if (browser->ExecuteCommand(QStringLiteral("paste")) && !files.isEmpty())
        ReportOperation(OperationBit(TNavShellOperation::sopPaste) | OperationBit(TNavShellOperation::sopAdd) |
                            OperationBit(cut ? TNavShellOperation::sopMove : TNavShellOperation::sopCopy),
                        files, FBrowser.Folder());
      FRefreshTimer.start();
    }
  } else if (key == Qt::Key_F2) {
    EditSelectedCaption();
  } else if (key == Qt::Key_F10 && (mods & Qt::ShiftModifier) && !selectedItems().isEmpty()) {
    QString verb;
    ShowItemContextMenu(viewport()->mapToGlobal(visualItemRect(selectedItems().first()).topLeft()), verb);
  } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !(mods & Qt::AltModifier)) {
    ExecuteVerb(QStringLiteral("default"));
  } else {
    QTreeWidget::keyPressEvent(event);
    return;
  }
  event->accept();
}

void TNavShellList::ShowError(const QString& message) {
  if (!ShowErrorMessages()) return;
  if (OnError)
    OnError(message);
  else
    platform::Prompter().Message(this, platform::TPromptIcon::Error, QStringLiteral("Error"), message);
}

void TNavShellList::ReportOperation(TNavShellOperations operations, const QStringList& files,
                                    const QString& destination) {
  if (OnOperation) OnOperation(*this, operations, files, destination);
}

bool TNavShellList::ExecuteVerb(const QString& verb) {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  if (selected.isEmpty()) return false;
  if (selected.size() == 1 && IsParentFolderItem(selected.first())) {
    if (verb.compare(QLatin1String("default"), Qt::CaseInsensitive) == 0) BrowseParent();
    return true;
  }
  const QString v = verb.toLower();
  const QStringList names = SelectedNames();
  QStringList files;
  for (const QString& name : names) files << FBrowser.Folder() + name;
  FBrowser.OnRename = nullptr;
  bool ran = false;
  if (names.size() == 1) {
    try {
      FBrowser.LocateObject(names.first());
    } catch (const EShellBrowserError&) {
      return false;
    }
    if ((v == QLatin1String("default") || v == QLatin1String("open")) && FBrowser.IsFolder() &&
        FBrowser.SpecialFolder() != TNavShellFolder::SF_BITBUCKET) {
      bool allow = true;
      if (FBrowser.OnBeforeShellCommand) FBrowser.OnBeforeShellCommand(FBrowser, v, FBrowser.GetPathList(), allow);
      if (!allow) return false;
      BrowseToIDList(FBrowser.GetAbsoluteObjectIDList());
      return true;
    }
    ran = FBrowser.ExecuteCommand(v);
  } else {
    FBrowser.MultiObjects() = names;
    ran = FBrowser.ExecuteCommand(v);
  }
  if (!ran) return false;
  using O = TNavShellOperation;
  if (v == QLatin1String("delete")) {
    ReportOperation(OperationBit(O::sopDelete) | OperationBit(O::sopRemove), files, QString());
    FRefreshTimer.start();
  } else if (v == QLatin1String("copy")) {
    ReportOperation(OperationBit(O::sopCopy), files, FBrowser.Folder());
  } else if (v == QLatin1String("cut")) {
    for (QTreeWidgetItem* item : selected) item->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
    ReportOperation(OperationBit(O::sopCut), files, FBrowser.Folder());
  }
  return true;
}

void TNavShellList::EditSelectedCaption() {
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

void TNavShellList::NameTyped(const QModelIndex& index, const QString& text) {
  QTreeWidgetItem* item = itemFromIndex(index);
  if (item == nullptr || item != FEditing || index.column() != 0) return;
  CaptionEdited(item, text);
}

void TNavShellList::CaptionEdited(QTreeWidgetItem* item, const QString& typed) {
  FEditing = nullptr;
  FRenaming = true;
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  FRenaming = false;
  const QString oldName = ItemName(item);
  QString newName = typed.trimmed();
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
    // Whole or not at all: the item follows the name on disk.
    item->setText(0, newName);
    item->setData(0, kNameRole, FBrowser.GetObjectName());
    ReportOperation(OperationBit(TNavShellOperation::sopRename), {FBrowser.Folder() + oldName},
                    FBrowser.Folder() + FBrowser.GetObjectName());
  } else {
    const QString wanted = typed;
    item->setText(0, oldName);
    ShowError(QStringLiteral("Could not rename \"") + oldName + QStringLiteral("\" to \"") + wanted +
              QStringLiteral("\": ") + NavSystemErrorText(errno));
    // The editor opens again a moment later, for another try.
    QPointer<TNavShellList> self(this);
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

void TNavShellList::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QTreeWidget::closeEditor(editor, hint);
  EditorClosed();
}

void TNavShellList::EditorClosed() {
  if (QTreeWidgetItem* item = FEditing) {  // closed without a new name
    FEditing = nullptr;
    FRenaming = true;
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    FRenaming = false;
  }
}

void TNavShellList::contextMenuEvent(QContextMenuEvent* event) {
  QString verb;
  if (ShownItemAt(event->globalPos()) == nullptr) {
    clearSelection();
    if (FPopupMenu) FPopupMenu->popup(event->globalPos());
    return;
  }
  ShowItemContextMenu(event->globalPos(), verb);
}

void TNavShellList::ShowItemContextMenu(const QPoint& globalPos, QString& verb) {
  const QStringList names = SelectedNames();
  if (names.isEmpty()) return;
  QStringList files;
  for (const QString& name : names) files << FBrowser.Folder() + name;
  try {
    if (names.size() == 1)
      FBrowser.LocateObject(names.first());
    else
      FBrowser.MultiObjects() = names;
  } catch (const EShellBrowserError&) {
    RefreshList();
    return;
  }
  FBrowser.OnRename = ReadOnly() ? std::function<void(TShellBrowser&)>() : [this](TShellBrowser&) { EditSelectedCaption(); };
  const bool ran = FBrowser.ShowContextMenu(globalPos, FPopupMenu, verb);
  FBrowser.OnRename = nullptr;
  if (!ran) return;
  using O = TNavShellOperation;
  const QString v = verb.toLower();
  if (v == QLatin1String("delete")) {
    ReportOperation(OperationBit(O::sopDelete) | OperationBit(O::sopRemove), files, QString());
    FRefreshTimer.start();
  } else if (v == QLatin1String("undelete") || v == QLatin1String("paste") || v == QLatin1String("link")) {
    FRefreshTimer.start();
  } else if (v == QLatin1String("cut")) {
    for (QTreeWidgetItem* item : selectedItems()) item->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
  }
}

bool TNavShellList::CreateNewFolder(QString name, bool startRename) {
  const QString folder = FBrowser.Folder();
  if (folder.isEmpty()) {
    errno = ENOENT;  // no folder to make it in
    ShowError(QStringLiteral("Unable to create directory"));
    return false;
  }
  const QString base = name.isEmpty() ? NavNewFolderText() : name;
  // The name is claimed by mkdir itself: a folder made meanwhile by someone else moves us on.
  QString made;
  for (int n = 0; n < 10000 && made.isEmpty(); ++n) {
    const QString candidate = n == 0 ? base : base + QStringLiteral(" (%1)").arg(n);
    if (::mkdir(QFile::encodeName(folder + candidate).constData(), 0777) == 0)
      made = candidate;
    else if (errno != EEXIST)
      break;
  }
  if (made.isEmpty()) {
    ShowError(QStringLiteral("Unable to create directory"));
    return false;
  }
  ReportOperation(OperationBit(TNavShellOperation::sopAdd), {folder + made}, folder);
  if (startRename) {
    RefreshList();
    if (QTreeWidgetItem* item = FindItemByName(made)) {
      clearSelection();
      item->setSelected(true);
      setCurrentItem(item);
      EditSelectedCaption();
    }
  }
  return true;
}

// --- drag and drop ---

void TNavShellList::SetOleDragDrop(bool value) {
  FOleDragDrop = value;
  setDragEnabled(value);
  setAcceptDrops(value);
  viewport()->setAcceptDrops(value);
  setDragDropMode(value ? QAbstractItemView::DragDrop : QAbstractItemView::NoDragDrop);
  setDropIndicatorShown(value);
}

Qt::DropActions TNavShellList::AllowedDragActions() const {
  Qt::DropActions actions;
  switch (FCopyMode) {
    case TNavCopyMode::cmCopy: actions = Qt::CopyAction; break;
    case TNavCopyMode::cmMove: actions = Qt::MoveAction; break;
    case TNavCopyMode::cmLink: actions = Qt::LinkAction; break;
    default: actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction; break;
  }
  // Every item must allow the effect.
  auto probe = TShellBrowser::CreateCopy(FBrowser);
  probe->SetFolderIDList(FBrowser.GetFolderIDList());
  for (const QString& name : SelectedNames()) {
    try {
      probe->LocateObject(name);
    } catch (const EShellBrowserError&) {
      return Qt::IgnoreAction;
    }
    if (!probe->GetAttributes(sfgao::CanCopy)) actions &= ~Qt::CopyAction;
    if (!probe->GetAttributes(sfgao::CanMove)) actions &= ~Qt::MoveAction;
    if (!probe->GetAttributes(sfgao::CanLink)) actions &= ~Qt::LinkAction;
  }
  return actions;
}

QStringList TNavShellList::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* TNavShellList::mimeData(const QList<QTreeWidgetItem*>& items) const {
  QStringList paths;
  for (const QTreeWidgetItem* item : items)
    if (!IsParentFolderItem(item) && !FBrowser.Folder().isEmpty()) paths << FBrowser.Folder() + ItemName(item);
  if (paths.isEmpty()) return nullptr;
  return GetDropFiles(paths).release();
}

Qt::DropActions TNavShellList::supportedDropActions() const {
  switch (FCopyMode) {
    case TNavCopyMode::cmCopy: return Qt::CopyAction;
    case TNavCopyMode::cmMove: return Qt::MoveAction;
    case TNavCopyMode::cmLink: return Qt::LinkAction;
    default: return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  }
}

void TNavShellList::startDrag(Qt::DropActions) {
  if (!FOleDragDrop) return;
  const Qt::DropActions actions = AllowedDragActions();
  if (actions == Qt::IgnoreAction) return;
  QMimeData* data = mimeData(selectedItems());
  if (data == nullptr) return;
  auto* drag = new QDrag(this);  // Qt deletes it when the drag ends
  drag->setMimeData(data);
  FDraggingHere = true;
  const Qt::DropAction done = drag->exec(actions, actions & Qt::MoveAction ? Qt::MoveAction : Qt::CopyAction);
  FDraggingHere = false;
  if (done != Qt::IgnoreAction) FRefreshTimer.start();
}

QString TNavShellList::DropFolderAt(const QPoint& pos) const {
  if (ReadOnly()) return {};
  const QTreeWidgetItem* item = itemAt(pos);
  if (item != nullptr && item->data(0, kFolderRole).toBool()) {
    if (IsParentFolderItem(item)) return NavParentFolder(FBrowser.Folder());
    if (item->isSelected() && FDraggingHere) return {};  // onto itself
    return FBrowser.Folder() + ItemName(item);
  }
  // The list's own background: files dragged from here are there already.
  if (FDraggingHere) return {};
  QString folder = FBrowser.Folder();
  if (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  return folder;
}

Qt::DropAction TNavShellList::DropActionFor(const QDropEvent* event, const QString& folder) const {
  const Qt::DropActions allowed = event->possibleActions() & supportedDropActions();
  const Qt::KeyboardModifiers mods = event->modifiers();
  Qt::DropAction wanted;
  if ((mods & Qt::ControlModifier) && (mods & Qt::ShiftModifier))
    wanted = Qt::LinkAction;
  else if (mods & Qt::ShiftModifier)
    wanted = Qt::MoveAction;
  else if (mods & Qt::ControlModifier)
    wanted = Qt::CopyAction;
  else {
    // As file managers do: within one volume a move, across volumes a copy.
    const QStringList files = GetFilesFromDataObject(event->mimeData());
    const bool sameVolume = !files.isEmpty() && TMounts::ForPath(files.first()).Root == TMounts::ForPath(folder).Root;
    wanted = sameVolume ? Qt::MoveAction : Qt::CopyAction;
  }
  if (allowed & wanted) return wanted;
  for (Qt::DropAction a : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction})
    if (allowed & a) return a;
  return Qt::IgnoreAction;
}

void TNavShellList::dragEnterEvent(QDragEnterEvent* event) {
  if (!FOleDragDrop || ReadOnly() || GetFilesFromDataObject(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->accept();
}

void TNavShellList::dragMoveEvent(QDragMoveEvent* event) {
  const QString folder = DropFolderAt(event->position().toPoint());
  const Qt::DropAction action = folder.isEmpty() ? Qt::IgnoreAction : DropActionFor(event, folder);
  if (action == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  event->setDropAction(action);
  event->accept();
}

void TNavShellList::dropEvent(QDropEvent* event) {
  const QString folder = DropFolderAt(event->position().toPoint());
  const Qt::DropAction action = folder.isEmpty() ? Qt::IgnoreAction : DropActionFor(event, folder);
  const QStringList files = GetFilesFromDataObject(event->mimeData());
  if (action == Qt::IgnoreAction || files.isEmpty()) {
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
    return;
  }
  const TNavCopyMode mode = action == Qt::MoveAction   ? TNavCopyMode::cmMove
                            : action == Qt::LinkAction ? TNavCopyMode::cmLink
                                                       : TNavCopyMode::cmCopy;
  QStringList failed;
  const QStringList made = NavTransferFiles(files, folder, mode, &failed);
  for (const QString& file : failed) ShowError(QStringLiteral("Could not drop \"") + file + QStringLiteral("\"."));
  if (made.isEmpty()) {
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
    return;
  }
  // What was done, not what was asked for.
  using O = TNavShellOperation;
  const O done = mode == TNavCopyMode::cmMove ? O::sopMove : mode == TNavCopyMode::cmLink ? O::sopAdd : O::sopCopy;
  ReportOperation(OperationBit(O::sopDrop) | OperationBit(done), files, folder);
  event->setDropAction(action);
  event->accept();
  FRefreshTimer.start();
}

// --- changes on disk and linked controls ---

void TNavShellList::HandleShellChange(TNotificationEvent event, const INavItemIdList& item1, const INavItemIdList&) {
  if (FDestroying) return;
  using E = TNotificationEvent;
  const QString path = NavIsEmpty(item1) ? QString() : item1->GetPath();
  const QString folder = FBrowser.Folder();
  const bool inFolder = !folder.isEmpty() && !path.isEmpty() && NavParentFolder(path) + QLatin1Char('/') == folder;
  switch (event) {
    case E::neDriveRemove:
    case E::neMediaRemove:
    case E::neNetShare:
      FRefreshTimer.stop();
      FillList();
      return;
    case E::neFileDelete:
    case E::neFolderDelete:
      if (inFolder) {
        if (QTreeWidgetItem* item = FindItemByName(QFileInfo(path).fileName())) {
          GlobalThreadPool().CancelWorkItems(item, this);
          delete item;
        }
        return;
      }
      break;
    case E::neFolderUpdate:
      if (!SamePath(path, folder)) return;
      break;
    case E::neFileChange:
      if (inFolder) {
        if (QTreeWidgetItem* item = FindItemByName(QFileInfo(path).fileName())) {
          try {
            FBrowser.LocateObject(ItemName(item));
          } catch (const EShellBrowserError&) {
            break;
          }
          FillItemDetails(item);
          LoadItemImage(item);
          return;
        }
      }
      break;
    default:
      break;
  }
  FRefreshTimer.start();  // a burst of changes gives one refresh
}

void TNavShellList::RefreshTimerFired() {
  const QString folder = FBrowser.Folder();
  if (!folder.isEmpty() && !PathExists(folder) && FShellLink.isNull()) {
    // The folder went away: show the volumes instead.
    SetSpecialFolder(TNavShellFolder::SF_DRIVES);
    return;
  }
  RefreshList();
}

void TNavShellList::LinkedPathChanged(const INavItemIdList& folder) { BrowseToIDList(folder); }

void TNavShellList::LinkedItemChanged(const INavItemIdList&, const INavItemIdList&) {}

void TNavShellList::LinkedNotify(int kind, const INavItemIdList&) {
  if (kind == 0) {
    FillList();
  } else if (kind == 1) {
    FRefreshTimer.start();
  } else if (kind == 2 && FCheckboxes && !FToggling) {
    // Ticks elsewhere may change any item here (a folder's content, a collapsed entry).
    for (int i = 0; i < topLevelItemCount(); ++i)
      RequestCheckState(static_cast<TNavCheckableListItem*>(topLevelItem(i)));
  }
}

}  // namespace shell
