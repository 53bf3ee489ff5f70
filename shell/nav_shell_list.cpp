#include "shell/nav_shell_list.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>

#include "platform/prompter.h"
#include "shell/nav_selection_list.h"
#include "shell/thread_pool.h"

namespace shell {

namespace {

// Above this many items a refresh refills instead of merging.
constexpr int kMergeLimit = 500;
constexpr int kRefreshDelayMs = 300;

// What a details cell keeps of its typed value: numbers and dates; an invalid value for the
// others, which sort by the text they show. The texts are formatted for the locale ("1.500 KB",
// "30.11.23"), so they cannot be compared as they stand.
QVariant SortValue(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QDateTime:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
      return value;
    default:
      return {};
  }
}

}  // namespace

QVariant TNavShellListItem::data(int column, int role) const {
  if (role == TNavBaseShellListView::kFolderRole && column == 0) return (FFlags & kFlagFolder) != 0;
  if (role == TNavBaseShellListView::kValueRole && column > 0) {
    const size_t slot = static_cast<size_t>(column - 1);
    return slot < FValues.size() ? FValues[slot] : QVariant();
  }
  return TNavCheckableListItem::data(column, role);
}

void TNavShellListItem::setData(int column, int role, const QVariant& value) {
  if (role == TNavBaseShellListView::kFolderRole && column == 0) {
    FFlags = value.toBool() ? (FFlags | kFlagFolder) : (FFlags & ~kFlagFolder);
  } else if (role == TNavBaseShellListView::kValueRole && column > 0) {
    const size_t slot = static_cast<size_t>(column - 1);
    if (slot >= FValues.size()) FValues.resize(slot + 1);
    FValues[slot] = value;
  } else {
    TNavCheckableListItem::setData(column, role, value);
  }
}

unsigned NavFileSystemFlags(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  int flags = 0;
  // Not every file system keeps these flags: the ioctl fails there and nothing is reported.
  const bool known = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  ::close(fd);
  unsigned result = 0;
  if (known && (flags & FS_COMPR_FL)) result |= kNavFlagCompressed;
  if (known && (flags & FS_ENCRYPT_FL)) result |= kNavFlagEncrypted;
  return result;
}

QColor NavFileSystemFlagColor(unsigned flags, bool colorCompressed, bool colorEncrypted) {
  if (colorCompressed && (flags & kNavFlagCompressed)) return QColor(0x00, 0x00, 0xFF);
  if (colorEncrypted && (flags & kNavFlagEncrypted)) return QColor(0x00, 0x80, 0x00);
  return {};
}

TNavShellList::TNavShellList(QWidget* parent) : TNavBaseShellListView(parent) {
  FBrowser.SetShowErrorMessages(false);
  FBrowser.SetSpecialFolder(TNavShellFolder::SF_DRIVES);
  using E = TNotificationEvent;
  TNotificationEvents filter = 0;
  for (E e : {E::neFileChange, E::neFileCreate, E::neFileDelete, E::neFileRename, E::neDriveAdd,
              E::neDriveRemove, E::neShellDriveAdd, E::neMediaInsert, E::neMediaRemove, E::neFolderCreate,
              E::neFolderDelete, E::neFolderRename, E::neFolderUpdate, E::neNetShare})
    filter |= NotificationBit(e);
  FNotifier.SetEventFilter(filter);
  FNotifier.SetRecursive(false);
  FNotifier.InternalHandler = [this](TNavShellChangeNotifier&, E event, const INavItemIdList& a,
                                     const INavItemIdList& b) { HandleShellChange(event, a, b); };
  FRefreshTimer.setSingleShot(true);
  FRefreshTimer.setInterval(kRefreshDelayMs);
  connect(&FRefreshTimer, &QTimer::timeout, this, [this] { RefreshTimerFired(); });
  connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (OnDblClick)
      OnDblClick(*this);
    else
      OpenItem(item);
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
  if (folder == TNavShellFolder::SF_DRIVES && !FBrowser.Folder().isEmpty())
    return TNavShellFolder::SF_FILESYSTEMFOLDER;
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

void TNavShellList::SetAutomaticRefresh(bool value) {
  FAutomaticRefresh = value;
  if (!value) FRefreshTimer.stop();
  FNotifier.SetEnabled(value && !FFilling && !NavIsEmpty(FBrowser.GetFolderIDList()));
}

void TNavShellList::ApplyPathChange() {
  clearSelection();
  if (!FNavigatingHistory) FHistory.Add(FBrowser.GetFolderIDList());
  // Each kind of folder keeps the column it was sorted by; the order starts ascending.
  FSortColumn = FSortColumnOf[static_cast<size_t>(FolderSlot())];
  FSortDescending = false;
  if (!FShellLink.isNull()) FShellLink->BroadcastPathChanged(this, FBrowser.GetFolderIDList());
  if (OnPathChanged) OnPathChanged(*this);
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
      width = table[static_cast<size_t>(i)] > 0 ? table[static_cast<size_t>(i)]
                                                : (defaultWidth > 0 ? defaultWidth : 120);
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
  ShowViewStyle(FViewStyle, FThumbnails);  // the new columns shown or hidden as the style wants
  if (OnCreateColumns) OnCreateColumns(*this);
  AutoSize();
}

bool TNavShellList::PassesShowFilter() const {
  if (!FShowFiles && !FBrowser.IsFolder()) return false;
  if (!FShowHidden && FBrowser.IsHidden()) return false;
  // The network neighbourhood here: the shares mounted over the network.
  const QString path = FBrowser.GetObjectPath();
  if (!FShowNethood && !path.isEmpty() && TMounts::IsMountRoot(path) && TMounts::IsRemote(path)) return false;
  if (FShowRecycleBin) return true;
  const INavItemIdList object = FBrowser.GetAbsoluteObjectIDList();
  if (!NavIsEmpty(object) && object->IsSpecialFolder(TNavShellFolder::SF_BITBUCKET)) return false;
  // The trash folders of the volumes (".Trash-1000", ".Trash").
  return !(FBrowser.IsHidden() &&
           FBrowser.GetObjectName().startsWith(QLatin1String(".Trash"), Qt::CaseInsensitive));
}

QTreeWidgetItem* TNavShellList::CreateItem() {
  QTreeWidgetItem* item = OnCreateItemClass ? OnCreateItemClass() : new TNavShellListItem;
  if (dynamic_cast<TNavShellListItem*>(item) == nullptr) {
    delete item;
    throw EInvalidArgument(
        "Internal Error: TNavShellList.OnCreateNodeClass.ItemClass must inherit from TNavShellListItem.");
  }
  return item;
}

QTreeWidgetItem* TNavShellList::AddItemForObject() {
  const QString caption = FBrowser.GetObjectDisplayName(true);
  if (caption.isEmpty()) return nullptr;
  const bool folder = FBrowser.IsFolder();
  if (!(FShowFolders || !folder) || !PassesShowFilter()) return nullptr;
  std::unique_ptr<QTreeWidgetItem> item(CreateItem());
  auto* shellItem = static_cast<TNavShellListItem*>(item.get());
  shellItem->SetRelativeIDList(FBrowser.GetObjectIDList());
  shellItem->SetAbsoluteIDList(FBrowser.GetAbsoluteObjectIDList());
  item->setText(0, caption);
  item->setData(0, kNameRole, FBrowser.GetObjectName());
  item->setData(0, kFolderRole, folder);
  FillItemDetails(item.get());
  if (OnAddItem) {
    bool canAdd = true;
    OnAddItem(item.get(), canAdd);
    if (!canAdd) return nullptr;
    if (item->text(0) != caption)
      shellItem->SetFlags(shellItem->Flags() | TNavShellListItem::kFlagCaptionChanged);
  }
  auto* added = static_cast<TNavShellListItem*>(item.release());
  addTopLevelItem(added);
  ApplyColors(added);
  RequestItemImage(added);
  if (FCheckboxes) RequestCheckState(added);
  return added;
}

void TNavShellList::FillItemDetails(QTreeWidgetItem* item) {
  if (!FDetails || IsParentFolderItem(item)) return;
  for (int c = 1; c < columnCount(); ++c) {
    QString text;
    QVariant value;
    const int shellColumn = headerItem()->data(c, kShellColumnRole).toInt();
    FBrowser.GetDetailsOf(shellColumn, false, text, &value);
    item->setText(c, text);
    item->setData(c, kValueRole, SortValue(value));
    Qt::Alignment alignment;
    FBrowser.GetColumnWidth(shellColumn, alignment);
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
    QImage provisional = FitThumbnail(TNavSystemImageList::GetIconBitmap(
        large, index, background, clNone, FThumbnailWidth, FThumbnailHeight, ratio));
    if (OnThumbnailUpdated) OnThumbnailUpdated(*this, item, provisional);
    item->setIcon(0, QIcon(QPixmap::fromImage(provisional)));
    if (!item->data(0, kFolderRole).toBool() && !IsParentFolderItem(item))
      GlobalThreadPool().AddWorkItem(
          std::make_shared<TThumbnailWorkItem>(TNavItemIdList::CreateFromAnyPath(path), background, false,
                                               this, item, 0, this, this, qRound(FThumbnailHeight * ratio),
                                               qRound(FThumbnailWidth * ratio)));
    return;
  }
  if (IsParentFolderItem(item)) return;
  if (FBrowser.Folder().isEmpty()) {
    item->setIcon(0, FImages.Icon(FBrowser.GetIconIndex()));
    return;
  }
  unsigned kinds = FIconsByExtension ? 0u : static_cast<unsigned>(TIconWorkItem::Normal);
  if (FShowOverlayIcons) kinds |= TIconWorkItem::Overlay;
  if (kinds != 0)
    GlobalThreadPool().AddWorkItem(std::make_shared<TIconWorkItem>(path, this, item, this, this, kinds));
}

void TNavShellList::FillList() {
  if (FFilling || FDestroying) return;
  if (FNoFillOnStartup && !FShownOnce) return;
  FFilling = true;
  // Whatever a handler throws, the list is left idle and watching again.
  struct TFillEnd {
    TNavShellList* List;
    ~TFillEnd() {
      List->FFilling = false;
      List->FNotifier.SetEnabled(List->FAutomaticRefresh && List->FBrowser.IsValidObject(true));
    }
  } fillEnd{this};
  FNotifier.SetEnabled(false);
  FRefreshTimer.stop();
  CancelWork();
  if (OnBeforeFullRefresh) OnBeforeFullRefresh(*this);
  const QStringList saved = SelectedNames();
  FEditing = nullptr;
  clear();
  if (FBrowser.IsValidObject(true)) {
    CreateColumns();
    FBrowser.ResetEnumeration();
    while (FBrowser.Next()) AddItemForObject();
    const INavItemIdList folder = FBrowser.GetFolderIDList();
    if (FShowParentFolder && (FShellLink.isNull() || FShellLink->AllowGoingUp()) && folder->GetCount() > 0) {
      auto* up = new TNavShellListItem;
      up->SetAbsoluteIDList(folder->GetAncestor(folder->GetCount() - 1));
      up->setText(0, QStringLiteral(" .. "));
      up->setData(0, kParentRole, true);
      up->setData(0, kFolderRole, true);
      addTopLevelItem(up);
      if (FCheckboxes) up->SetCheckState(TNavSelectionState::ssDisabled);
      RequestItemImage(up);
    }
    SortItems();
    RestoreSelection(saved);
    if (OnPopulated) OnPopulated(*this);
    if (FAutomaticRefresh) FNotifier.WatchIDList(folder);
  }
}

void TNavShellList::RefreshList() {
  if (FFilling || FDestroying) return;
  if (topLevelItemCount() > kMergeLimit) {
    FillList();
    return;
  }
  // Every item not seen again in the folder goes; the parent entry always stays.
  QHash<QString, TNavShellListItem*> byName;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    auto* item = static_cast<TNavShellListItem*>(topLevelItem(i));
    item->SetSeen(IsParentFolderItem(item));
    if (!item->Seen()) byName.insert(ItemName(item), item);
  }
  bool added = false;
  FBrowser.ResetEnumeration();
  while (FBrowser.Next()) {
    const QString name = FBrowser.GetObjectName();
    if (TNavShellListItem* item = byName.value(name)) {
      item->SetSeen(true);
      if (FBrowser.SpecialFolder() == TNavShellFolder::SF_DRIVES)
        item->setText(0, FBrowser.GetObjectDisplayName(true));
      continue;
    }
    if (FindItemByName(name) == nullptr) {
      if (auto* item = static_cast<TNavShellListItem*>(AddItemForObject())) {
        item->SetSeen(true);
        added = true;
      }
    }
  }
  for (TNavShellListItem* item : byName) {
    if (item->Seen()) continue;
    if (item == FEditing) FEditing = nullptr;
    GlobalThreadPool().CancelWorkItems(item, this);
    delete item;
  }
  if (added) SortItems();
  ApplyPendingSelection();
}

QTreeWidgetItem* TNavShellList::FindItemByName(const QString& name) const {
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (!IsParentFolderItem(topLevelItem(i)) && ItemName(topLevelItem(i)) == name) return topLevelItem(i);
  return nullptr;
}

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

void TNavShellList::BrowseToIDList(const INavItemIdList& folder) {
  if (!NavIsEmpty(folder) && !NavIsEmpty(FBrowser.GetFolderIDList()) &&
      folder->IsEqual(FBrowser.GetFolderIDList()))
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

void TNavShellList::BrowseToIDListAndSelect(const INavItemIdList& folder, const INavItemIdList& item) {
  BrowseToIDList(folder);
  clearSelection();
  if (NavIsEmpty(item) || item->GetCount() == 0) return;
  const QString name = item->GetIdList().back().Name;
  if (QTreeWidgetItem* found = FindItemByName(name)) {
    found->setSelected(true);
    setCurrentItem(found, 0, QItemSelectionModel::NoUpdate);
    scrollToItem(found);
    setFocus();
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

void TNavShellList::HandleShellChange(TNotificationEvent event, const INavItemIdList& item1,
                                      const INavItemIdList&) {
  if (FDestroying) return;
  using E = TNotificationEvent;
  const QString path = NavIsEmpty(item1) ? QString() : item1->GetPath();
  const QString folder = FBrowser.Folder();
  const bool inFolder =
      !folder.isEmpty() && !path.isEmpty() && NavParentFolder(path) + QLatin1Char('/') == folder;
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

// --- display switches ---

void TNavShellList::SetOption(bool& option, bool value) {
  if (option == value) return;
  option = value;
  FillList();
}

void TNavShellList::SetShowNethood(bool value) { SetOption(FShowNethood, value); }
void TNavShellList::SetShowRecycleBin(bool value) { SetOption(FShowRecycleBin, value); }
void TNavShellList::SetColorCompressed(bool value) { SetOption(FColorCompressed, value); }
void TNavShellList::SetColorEncrypted(bool value) { SetOption(FColorEncrypted, value); }

void TNavShellList::ApplyColors(TNavShellListItem* item) const {
  if (!FColorCompressed && !FColorEncrypted) return;
  const unsigned flags = NavFileSystemFlags(FBrowser.Folder() + ItemName(item));
  quint8 bits = item->Flags() & ~(TNavShellListItem::kFlagCompressed | TNavShellListItem::kFlagEncrypted);
  if (flags & kNavFlagCompressed) bits |= TNavShellListItem::kFlagCompressed;
  if (flags & kNavFlagEncrypted) bits |= TNavShellListItem::kFlagEncrypted;
  item->SetFlags(bits);
  const QColor color = NavFileSystemFlagColor(flags, FColorCompressed, FColorEncrypted);
  if (color.isValid()) item->SetTextColor(color);
}

void TNavShellList::showEvent(QShowEvent* event) {
  const bool first = !FShownOnce;
  FShownOnce = true;
  TNavBaseShellListView::showEvent(event);
  if (first) ApplyBackgroundImage();
}

// --- hints ---

QString TNavShellList::InfoTipOf(QTreeWidgetItem* item) const {
  if (IsParentFolderItem(item)) return QDir::toNativeSeparators(NavParentFolder(FBrowser.Folder()));
  auto probe = TShellBrowser::CreateCopy(FBrowser);  // in the list's folder
  try {
    probe->LocateObject(ItemName(item));
  } catch (const EShellBrowserError&) {
    return {};
  }
  return probe->GetInfoTip(false);
}

// --- background picture ---

void TNavShellList::SetBackgroundImage(const QImage& image) {
  FBackgroundImage = image;
  ApplyBackgroundImage();
}

void TNavShellList::SetBackgroundImageStyle(TNavBackgroundImageStyle style) {
  FBackgroundImageStyle = style;
  ApplyBackgroundImage();
}

void TNavShellList::ApplyBackgroundImage() {
  for (QWidget* shown : {viewport(), GridView()->viewport()}) {
    QPalette colours = palette();
    if (FBackgroundImage.width() > 0) {
      const QPixmap picture = QPixmap::fromImage(FBackgroundImage);
      if (FBackgroundImageStyle == TNavBackgroundImageStyle::bisTiled) {
        colours.setBrush(QPalette::Base, QBrush(picture));
      } else {
        // One picture in a corner of the visible area: painted onto a canvas of the area's size.
        QPixmap canvas(shown->size().expandedTo(QSize(1, 1)));
        canvas.fill(palette().color(QPalette::Base));
        QPainter painter(&canvas);
        const QPoint at = FBackgroundImageStyle == TNavBackgroundImageStyle::bisLeftTop
                              ? QPoint(0, 0)
                              : QPoint(canvas.width() - picture.width(), canvas.height() - picture.height());
        painter.drawPixmap(at, picture);
        painter.end();
        colours.setBrush(QPalette::Base, QBrush(canvas));
      }
    }
    shown->setPalette(colours);
    shown->setAutoFillBackground(true);
    shown->update();
  }
}

void TNavShellList::resizeEvent(QResizeEvent* event) {
  TNavBaseShellListView::resizeEvent(event);
  if (FBackgroundImage.width() > 0 && FBackgroundImageStyle != TNavBackgroundImageStyle::bisTiled)
    ApplyBackgroundImage();
}

}  // namespace shell
