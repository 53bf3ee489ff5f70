#include "shell/nav_shell_list_commands.h"

#include <sys/stat.h>
#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <cerrno>

#include "shell/nav_background_context_menu.h"
#include "shell/nav_shell_list.h"
#include "shell/thread_pool.h"

namespace shell {

Qt::DropActions CopyModeActions(TNavCopyMode mode) {
  switch (mode) {
    case TNavCopyMode::cmCopy:
      return Qt::CopyAction;
    case TNavCopyMode::cmMove:
      return Qt::MoveAction;
    case TNavCopyMode::cmLink:
      return Qt::LinkAction;
    default:
      return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  }
}

void TNavShellList::keyPressEvent(QKeyEvent* event) {
  if (FEditing != nullptr) {
    // The name editor passes on the keys it leaves alone (Enter among them): they belong to
    // the edit, not to the items.
    event->ignore();
    return;
  }
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
    SelectAll();
  } else if (ctrl && key == Qt::Key_C) {
    ExecuteVerb(QStringLiteral("copy"));
  } else if (ctrl && key == Qt::Key_X) {
    if (!ReadOnly()) ExecuteVerb(QStringLiteral("cut"));
  } else if (ctrl && key == Qt::Key_V) {
    if (!ReadOnly()) ExecuteFolderVerb(QStringLiteral("paste"));  // into the shown folder itself
  } else if (key == Qt::Key_F2) {
    EditSelectedCaption();
  } else if (key == Qt::Key_F10 && (mods & Qt::ShiftModifier) && FShellContextMenu &&
             !selectedItems().isEmpty()) {
    QString verb;
    ShowItemContextMenu(viewport()->mapToGlobal(visualItemRect(selectedItems().first()).topLeft()), verb);
  } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && (mods & Qt::AltModifier)) {
    ExecuteVerb(QStringLiteral("properties"));
  } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    ExecuteVerb(QStringLiteral("default"));
  } else {
    QTreeWidget::keyPressEvent(event);
    return;
  }
  event->accept();
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
      if (FBrowser.OnBeforeShellCommand)
        FBrowser.OnBeforeShellCommand(FBrowser, v, FBrowser.GetPathList(), allow);
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
    for (QTreeWidgetItem* item : selected)
      item->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
    ReportOperation(OperationBit(O::sopCut), files, FBrowser.Folder());
  }
  return true;
}

bool TNavShellList::ExecuteFolderVerb(const QString& verb) {
  const bool paste = verb.compare(QLatin1String("paste"), Qt::CaseInsensitive) == 0;
  // What the clipboard holds now: the paste may change it (a cut is taken once).
  const QStringList files = paste ? GetClipboardFiles() : QStringList();
  const bool cut = paste && IsCutData(QGuiApplication::clipboard()->mimeData());
  // A browser of its own: the list's keeps its object.
  auto browser = TShellBrowser::CreateCopy(FBrowser);
  bool ran = false;
  try {
    browser->SetFolderIDList(FBrowser.GetFolderIDList());
    browser->SelectFolderAsObject();
    ran = browser->ExecuteCommand(verb);
  } catch (const EShellBrowserError&) {
    ran = false;
  }
  if (ran && paste && !files.isEmpty())
    ReportOperation(OperationBit(TNavShellOperation::sopPaste) | OperationBit(TNavShellOperation::sopAdd) |
                        OperationBit(cut ? TNavShellOperation::sopMove : TNavShellOperation::sopCopy),
                    files, FBrowser.Folder());
  FRefreshTimer.start();
  return ran;
}

bool TNavShellList::ShowBackgroundMenu(const QPoint& globalPos) {
  if (!FBackgroundPopupMenu.isNull()) {
    FBackgroundPopupMenu->popup(globalPos);
    return true;
  }
  // Made afresh each time: the folder and the clipboard decide what it offers.
  auto* menu = new TNavBackgroundContextMenu(*this, this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->Prepare();
  menu->popup(globalPos);
  return true;
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
  if (OnContextPopup) {
    bool handled = false;
    OnContextPopup(*this, mapFromGlobal(globalPos), handled);
    if (handled) return;
  }
  FBrowser.OnRename =
      ReadOnly() ? std::function<void(TShellBrowser&)>() : [this](TShellBrowser&) { EditSelectedCaption(); };
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
    for (QTreeWidgetItem* item : selectedItems())
      item->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
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

Qt::DropActions TNavShellList::AllowedDragActions() const {
  Qt::DropActions actions = CopyModeActions(FCopyMode);
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
    if (!IsParentFolderItem(item) && !FBrowser.Folder().isEmpty())
      paths << FBrowser.Folder() + ItemName(item);
  if (paths.isEmpty()) return nullptr;
  return GetDropFiles(paths).release();
}

Qt::DropActions TNavShellList::supportedDropActions() const { return CopyModeActions(FCopyMode); }

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
    const bool sameVolume =
        !files.isEmpty() && TMounts::ForPath(files.first()).Root == TMounts::ForPath(folder).Root;
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
  if (OnBeforeShellDrop) {
    bool executeDrop = true;
    QTreeWidgetItem* target = itemAt(event->position().toPoint());
    if (target != nullptr && !target->data(0, kFolderRole).toBool()) target = nullptr;
    try {
      OnBeforeShellDrop(*this, target, event->modifiers(), executeDrop, files);
    } catch (const std::exception& error) {
      // The handler's failure is the drop's: nothing is transferred.
      ShowError(QString::fromStdString(error.what()));
      executeDrop = false;
    }
    if (!executeDrop) {
      event->setDropAction(Qt::IgnoreAction);
      event->ignore();
      return;
    }
  }
  const TNavCopyMode mode = action == Qt::MoveAction   ? TNavCopyMode::cmMove
                            : action == Qt::LinkAction ? TNavCopyMode::cmLink
                                                       : TNavCopyMode::cmCopy;
  QStringList failed;
  const QStringList made = NavTransferFiles(files, folder, mode, &failed);
  // Into the shown folder: the new items are selected once the refresh brings them.
  if (SamePath(folder, FBrowser.Folder())) SetPendingSelection(made);
  for (const QString& file : failed)
    ShowError(QStringLiteral("Could not drop \"") + file + QStringLiteral("\"."));
  if (made.isEmpty()) {
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
    return;
  }
  // What was done, not what was asked for.
  using O = TNavShellOperation;
  const O done = mode == TNavCopyMode::cmMove   ? O::sopMove
                 : mode == TNavCopyMode::cmLink ? O::sopAdd
                                                : O::sopCopy;
  ReportOperation(OperationBit(O::sopDrop) | OperationBit(done), files, folder);
  event->setDropAction(action);
  event->accept();
  FRefreshTimer.start();
}

}  // namespace shell
