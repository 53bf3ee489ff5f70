#include "shell/nav_shell_combo.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QStyledItemDelegate>

#include "shell/mounts.h"
#include "shell/nav_shell_list.h"
#include "shell/nav_system_image_list.h"
#include "shell/path_completion.h"
#include "shell/shell_data.h"

namespace shell {

namespace {

constexpr int kIndentRole = Qt::UserRole + 1;
constexpr int kMinimumDropDownWidth = 250;
constexpr int kDropDownCount = 24;

/// Draws the drop-down's entries indented by their level: 2 pixels plus 8 per level.
class TIndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.setLeft(option.rect.left() + 2 + 8 * index.data(kIndentRole).toInt());
    QStyledItemDelegate::paint(painter, shifted, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += 2 + 8 * index.data(kIndentRole).toInt();
    size.rheight() += 2;
    return size;
  }
};

bool IsVolume(const INavItemIdList& list) {
  return list && !list->GetIdList().empty() && list->GetIdList().back().Kind == TNavSegmentKind::Volume;
}

}  // namespace

QString TNavComboItem::Path(const QString& caption) const { return IdList ? IdList->GetPath() : caption; }

TNavShellCombo::TNavShellCombo(QWidget* parent) : QComboBox(parent), FBrowser(this), FNotifier(this) {
  // The combo reports its own errors; its browser stays quiet.
  FBrowser.SetShowErrorMessages(false);
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setMaxVisibleItems(kDropDownCount);
  setItemDelegate(new TIndentDelegate(this));
  // Volumes coming and going refill the tree; nothing else is watched.
  FNotifier.SetRecursive(false);
  FNotifier.SetEventFilter(NotificationBit(TNotificationEvent::neDriveAdd) |
                           NotificationBit(TNotificationEvent::neDriveRemove) |
                           NotificationBit(TNotificationEvent::neShellDriveAdd) |
                           NotificationBit(TNotificationEvent::neMediaInsert) |
                           NotificationBit(TNotificationEvent::neMediaRemove));
  FNotifier.AddPath(QString());
  FNotifier.OnChange = [this](TNavShellChangeNotifier&, TNotificationEvent, const QString&, const QString&) {
    Refill();
  };
  FNotifier.SetEnabled(true);
  connect(this, qOverload<int>(&QComboBox::activated), this, &TNavShellCombo::EntryChosen);
  SetUpEditField();
  SetUseSystemFont(true);
  // The tree is listed when the combo is first shown, or when a folder is set before that.
}

TNavShellCombo::~TNavShellCombo() {
  if (FShellLink) FShellLink->UnregisterControl(this);
  GlobalThreadPool().CancelWorkItems(nullptr, this);
}

void TNavShellCombo::SetShellLink(TNavShellLink* link) {
  if (FShellLink == link) return;
  if (FShellLink) FShellLink->UnregisterControl(this);
  FShellLink = link;
  if (link) link->RegisterControl(this);
}

void TNavShellCombo::LinkedPathChanged(const INavItemIdList& folder) {
  FFollowing = true;
  SelectIDList(folder);
  FFollowing = false;
}

void TNavShellCombo::LinkedItemChanged(const INavItemIdList& folder, const INavItemIdList&) {
  if (folder) LinkedPathChanged(folder);
}

void TNavShellCombo::SetFileSystemOnly(bool value) {
  FBrowser.SetFileSystemOnly(value);
  Refill();
}

void TNavShellCombo::SetShowHidden(bool value) {
  if (FShowHidden == value) return;
  FShowHidden = value;
  Refill();
}

void TNavShellCombo::SetShowRecycleBin(bool value) {
  if (FShowRecycleBin == value) return;
  FShowRecycleBin = value;
  Refill();
}

void TNavShellCombo::SetOption(bool& option, bool value) {
  if (option == value) return;
  option = value;
  Refill();
}

void TNavShellCombo::SetShowNethood(bool value) { SetOption(FShowNethood, value); }
void TNavShellCombo::SetShowContextMenuOnTop(bool value) { SetOption(FShowContextMenuOnTop, value); }
void TNavShellCombo::SetColorCompressed(bool value) { SetOption(FColorCompressed, value); }
void TNavShellCombo::SetColorEncrypted(bool value) { SetOption(FColorEncrypted, value); }

void TNavShellCombo::SetUseSystemFont(bool value) {
  FUseSystemFont = value;
  if (!value) return;
  FParentFont = false;
  setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
}

void TNavShellCombo::SetParentFont(bool value) {
  FParentFont = value;
  if (value) {
    FUseSystemFont = false;
    setFont(QFont());  // nothing of its own: the parent's font, as it changes
  } else {
    QFont own = font();  // the font shown now, kept when the parent's changes
    own.setResolveMask(QFont::AllPropertiesResolved);
    setFont(own);
  }
}

void TNavShellCombo::SetNoFillOnStartup(bool value) { FNoFillOnStartup = value; }

void TNavShellCombo::SetEditable(bool value) {
  if (value == isEditable()) return;
  setEditable(value);
  SetUpEditField();
}

void TNavShellCombo::SetUpEditField() {
  QLineEdit* edit = lineEdit();
  if (edit == nullptr) return;  // a drop-down list has no field
  AttachPathCompletion(edit);
  edit->installEventFilter(this);
}

bool TNavShellCombo::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lineEdit() && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
    SelectByText();
  return QComboBox::eventFilter(watched, event);
}

void TNavShellCombo::SelectByText() {
  const int match = FindEntryByText(currentText());
  if (match >= 0 && match != currentIndex()) EntryChosen(match);
}

void TNavShellCombo::SelectAll() {
  if (QLineEdit* edit = lineEdit()) edit->selectAll();
  setFocus();
}

void TNavShellCombo::showEvent(QShowEvent* event) {
  EnsureFilled();
  QComboBox::showEvent(event);
}

void TNavShellCombo::EnsureFilled() {
  if (FFilled) {
    if (count() == 0) Fill();
    return;
  }
  FFilled = true;
  if (!FNoFillOnStartup) Fill();
}

void TNavShellCombo::FillForUse() {
  FFilled = true;
  if (count() == 0) Fill();
}

void TNavShellCombo::Refill() {
  if (FNoFillOnStartup && count() == 0) return;
  Fill();
}

const TNavComboItem* TNavShellCombo::Item(int index) const {
  return index >= 0 && index < static_cast<int>(FItems.size()) ? FItems[index].get() : nullptr;
}

const TNavComboItem* TNavShellCombo::CurrentItem() const { return Item(currentIndex()); }

QString TNavShellCombo::GetPath() const {
  const TNavComboItem* item = CurrentItem();
  return item ? item->Path(itemText(currentIndex())) : currentText();
}

void TNavShellCombo::InsertFolderEntry(std::unique_ptr<TNavComboItem> item, const QString& caption, int position,
                                       int imageIndex) {
  if (position < 0 || position > count()) position = count();
  const QSignalBlocker blocker(this);
  insertItem(position, caption);
  setItemData(position, item->Indent, kIndentRole);
  const QString path = item->Path(caption);
  if (FColorCompressed || FColorEncrypted) {
    const QColor color = NavFileSystemFlagColor(path.isEmpty() ? 0u : NavFileSystemFlags(path), FColorCompressed,
                                                FColorEncrypted);
    if (color.isValid()) setItemData(position, color, Qt::ForegroundRole);
  }
  if (imageIndex < 0) {
    // The folder icon until the pool has looked at the place (a volume, a special folder).
    SetEntryImage(position, TNavSystemImageList::GetFolderIconIndex());
    if (item->IdList)
      GlobalThreadPool().AddWorkItem(
          std::make_shared<TIconWorkItem>(item->IdList, this, item.get(), this, this, TIconWorkItem::Normal));
    else
      GlobalThreadPool().AddWorkItem(
          std::make_shared<TIconWorkItem>(path, this, item.get(), this, this, TIconWorkItem::Normal));
  } else {
    SetEntryImage(position, imageIndex);
  }
  FItems.insert(FItems.begin() + position, std::move(item));
}

void TNavShellCombo::SetEntryImage(int index, int imageIndex) {
  setItemData(index, imageIndex, kImageIndexRole);
  setItemIcon(index, TNavSystemImageList::GetGlobalSystemImageList().Icon(imageIndex));
}

void TNavShellCombo::IconReady(int iconIndex, int kind, const void* itemTag) {
  if (kind != 0 || iconIndex < 0) return;
  try {
    for (int i = 0; i < count(); ++i) {
      if (FItems[i].get() != itemTag) continue;
      if (itemData(i, kImageIndexRole).toInt() != iconIndex) SetEntryImage(i, iconIndex);
      return;
    }
  } catch (const std::exception&) {
    // An icon that cannot be shown leaves the folder icon.
  }
}

void TNavShellCombo::RemoveEntry(int index) {
  // Its icon is no longer wanted; a later entry may even be given the same address.
  GlobalThreadPool().CancelWorkItems(FItems[index].get(), this);
  const QSignalBlocker blocker(this);
  removeItem(index);
  FItems.erase(FItems.begin() + index);
}

void TNavShellCombo::ClearEntries() {
  for (int i = count() - 1; i >= 0; --i) RemoveEntry(i);
}

void TNavShellCombo::RemoveNonPersistent() {
  for (int i = count() - 1; i >= 0; --i)
    if (!FItems[i]->Persistent) RemoveEntry(i);
}

bool TNavShellCombo::PassesFilter() const {
  if (!FBrowser.IsFolder()) return false;
  if (!FShowHidden && FBrowser.IsHidden()) return false;
  const INavItemIdList list = FBrowser.GetAbsoluteObjectIDList();
  if (!list) return false;
  if (!FShowRecycleBin && list->IsSpecialFolder(TNavShellFolder::SF_BITBUCKET)) return false;
  // The network neighbourhood here: the shares mounted over the network.
  const QString path = list->GetPath();
  if (!FShowNethood && !path.isEmpty() && TMounts::IsMountRoot(path) && TMounts::IsRemote(path)) return false;
  // File-system only: places with a path, and Computer, which holds the volumes.
  if (FileSystemOnly() && path.isEmpty() && !list->IsSpecialFolder(TNavShellFolder::SF_DRIVES))
    return false;
  return true;
}

int TNavShellCombo::AddFolders(int position, int indent) {
  int drivePosition = position;
  int added = 0;
  FBrowser.ResetEnumeration();
  while (FBrowser.Next()) {
    if (!PassesFilter()) continue;
    auto item = std::make_unique<TNavComboItem>();
    item->IdList = FBrowser.GetAbsoluteObjectIDList();
    item->Indent = indent;
    bool canAdd = true;
    if (OnAddFolder) OnAddFolder(*this, *item, canAdd);
    if (!canAdd) continue;
    const QString caption = FBrowser.GetObjectDisplayName(true);
    if (IsVolume(item->IdList)) {
      // Volumes come first, in the order they were found; the other folders after them.
      InsertFolderEntry(std::move(item), caption, drivePosition++);
      ++position;
    } else {
      InsertFolderEntry(std::move(item), caption, position++);
    }
    ++added;
  }
  return added;
}

void TNavShellCombo::Fill() {
  FFilled = true;
  INavItemIdList remembered;
  if (const TNavComboItem* item = CurrentItem()) remembered = item->IdList;
  ClearEntries();
  const INavItemIdList desktop = TNavItemIdList::Create({});
  auto root = std::make_unique<TNavComboItem>();
  root->IdList = desktop;
  InsertFolderEntry(std::move(root), desktop->GetDisplayName(), 0,
                    TNavSystemImageList::GetIconIndex(desktop, false, false));
  try {
    FBrowser.SetFolderIDList(desktop);
    AddFolders(1, 1);
    for (int i = 1; i < count(); ++i) {
      if (!FItems[i]->IdList || !FItems[i]->IdList->IsSpecialFolder(TNavShellFolder::SF_DRIVES)) continue;
      FBrowser.SetFolderIDList(FItems[i]->IdList);
      AddFolders(i + 1, 2);
      break;
    }
  } catch (const EShellBrowserError&) {
    // A place that went while it was listed: the rest of the tree still shows.
  }
  if (remembered) {
    const bool following = FFollowing;
    FFollowing = true;  // the linked controls already show it
    try {
      SelectIDList(remembered);
    } catch (const EShellBrowserError&) {
      SelectEntry(0);
    }
    FFollowing = following;
  } else {
    int computer = count() - 1;
    for (int i = 1; i < count(); ++i)
      if (FItems[i]->IdList && FItems[i]->IdList->IsSpecialFolder(TNavShellFolder::SF_DRIVES)) computer = i;
    SelectEntry(computer);
  }
}

void TNavShellCombo::SelectEntry(int index) {
  {
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
  }
  const TNavComboItem* item = Item(index);
  if (FShowFullPath && item && index > 0) {
    const QString path = item->Path(itemText(index));
    if (!path.isEmpty() && path != currentText()) setEditText(path);
  }
}

void TNavShellCombo::SelectIDList(const INavItemIdList& folder) {
  if (!folder || folder->IsEmpty()) return;
  FillForUse();
  RemoveNonPersistent();
  int found = -1;
  for (int i = 0; i < count(); ++i)
    if (FItems[i]->IdList && FItems[i]->IdList->IsEqual(folder)) {
      found = i;
      break;
    }
  if (found >= 0)
    SelectEntry(found);
  else
    InsertAncestors(folder);
  if (FShellLink && !FFollowing && CurrentItem()) FShellLink->BroadcastPathChanged(this, CurrentItem()->IdList);
}

void TNavShellCombo::InsertAncestors(const INavItemIdList& folder) {
  int depth = folder->GetCount();
  int previous = -1;
  for (; depth >= 0 && previous < 0; --depth) {
    const INavItemIdList ancestor = folder->GetAncestor(depth);
    for (int i = 0; i < count(); ++i)
      if (FItems[i]->IdList && FItems[i]->IdList->IsEqual(ancestor)) {
        previous = i;
        break;
      }
  }
  if (previous < 0) return;
  // depth stepped one past the ancestor found.
  for (int level = depth + 2; level <= folder->GetCount(); ++level) {
    const INavItemIdList ancestor = folder->GetAncestor(level);
    auto item = std::make_unique<TNavComboItem>();
    item->IdList = ancestor;
    item->Persistent = false;
    item->Indent = FItems[previous]->Indent + 1;
    const QString caption = ancestor->GetDisplayName();
    InsertFolderEntry(std::move(item), caption, ++previous);
  }
  SelectEntry(previous);
}

int TNavShellCombo::FindEntryByText(const QString& text) const {
  const QString wanted = text.size() > 1 && text.endsWith(QLatin1Char('/')) ? text.chopped(1) : text;
  for (int i = 0; i < count(); ++i) {
    const TNavComboItem& item = *FItems[i];
    const bool desktop = item.IdList && item.IdList->GetCount() == 0 && !item.IdList->IsEmpty();
    if (!desktop && !wanted.isEmpty() && item.Path(itemText(i)) == wanted) return i;
    if (itemText(i).compare(text, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

void TNavShellCombo::SetPath(const QString& text) {
  QString path = ExpandPathMacros(text).trimmed();
  if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"')))
    path = path.mid(1, path.size() - 2);
  try {
    FBrowser.SetFolder(path);
    SelectIDList(FBrowser.GetFolderIDList());
  } catch (const EShellBrowserError& error) {
    const int match = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (match >= 0)
      SelectIDList(FItems[match]->IdList);
    else if (ShowErrorMessages())
      ShowError(QString::fromStdString(error.what()));
  }
}

void TNavShellCombo::EntryChosen(int index) {
  const TNavComboItem* item = Item(index);
  if (!item || !item->IdList) return;
  const INavItemIdList list = item->IdList;
  SelectIDList(list);
}

void TNavShellCombo::showPopup() {
  view()->setMinimumWidth(width() < kMinimumDropDownWidth ? kMinimumDropDownWidth : 0);
  QComboBox::showPopup();
}

void TNavShellCombo::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    SetPath(currentText());
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    const QStringList files = GetClipboardFiles();
    if (!files.isEmpty()) {
      setEditText(files.first());
      return;
    }
  }
  QComboBox::keyPressEvent(event);
}

void TNavShellCombo::contextMenuEvent(QContextMenuEvent* event) {
  const TNavComboItem* item = CurrentItem();
  if (!FShowContextMenu || !item || !item->IdList) {
    QComboBox::contextMenuEvent(event);
    return;
  }
  try {
    FBrowser.SetFolderIDList(item->IdList);
    FBrowser.SelectFolderAsObject();
    FBrowser.SetShowContextMenuOnTop(FShowContextMenuOnTop);
    QString command;
    FBrowser.ShowContextMenu(event->globalPos(), nullptr, command);
  } catch (const EShellBrowserError& error) {
    if (ShowErrorMessages()) ShowError(QString::fromStdString(error.what()));
  }
}

void TNavShellCombo::ShowError(const QString& message) {
  if (OnError)
    OnError(message);
  else
    QMessageBox::critical(this, QString(), message);
}

}  // namespace shell
