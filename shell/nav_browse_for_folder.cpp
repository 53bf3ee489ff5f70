#include "shell/nav_browse_for_folder.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QPushButton>
#include <QWidget>
#include <cerrno>

#include "platform/file_dialogs.h"
#include "shell/shell_data.h"

namespace shell {

namespace {
QMutex GLastPathLock;
QString GLastPath;
}  // namespace

QString TNavBrowseForFolder::LastPath() {
  QMutexLocker lock(&GLastPathLock);
  return GLastPath;
}

void TNavBrowseForFolder::SetLastPath(const QString& path) {
  QMutexLocker lock(&GLastPathLock);
  GLastPath = path;
}

TNavBrowseForFolder::TNavBrowseForFolder(QObject* owner) : QObject(owner), FPath(LastPath()) {}

void TNavBrowseForFolder::SetRootedAtFileSystemFolder(const QString& path) {
  FRootedAtFileSystemFolder = path;
  FRootedAt = TNavShellFolder::SF_FILESYSTEMFOLDER;
}

void TNavBrowseForFolder::SetOptions(TNavBrowseFlags options) {
  using F = TNavBrowseFlag;
  if (options.testFlag(F::bfNewDialogStyle) && !options.testFlag(F::bfEditBox)) {
    if (FOptions.testFlag(F::bfEditBox))
      options &= ~TNavBrowseFlags(F::bfNewDialogStyle);
    else
      options |= F::bfEditBox;
  }
  if (options.testFlag(F::bfBrowseForComputer)) options &= ~TNavBrowseFlags(F::bfNewDialogStyle);
  FOptions = options;
}

QWidget* TNavBrowseForFolder::OwnerWindow() const {
  for (QObject* object = parent(); object != nullptr; object = object->parent())
    if (auto* widget = qobject_cast<QWidget*>(object)) return widget->window();
  return QApplication::activeWindow();
}

bool TNavBrowseForFolder::UsesModernDialog() const {
  return FRootedAt == TNavShellFolder::SF_DESKTOP && !FOptions.testFlag(TNavBrowseFlag::bfBrowseForComputer) &&
         FOptions.testFlag(TNavBrowseFlag::bfNewDialogStyle);
}

int TNavBrowseForFolder::DialogLeft() const { return FDialog ? FDialog->x() : FDialogLeft; }

int TNavBrowseForFolder::DialogTop() const { return FDialog ? FDialog->y() : FDialogTop; }

void TNavBrowseForFolder::SetDialogLeft(int left) {
  FDialogLeft = left;
  if (FDialog) FDialog->move(left, FDialog->y());
}

void TNavBrowseForFolder::SetDialogTop(int top) {
  FDialogTop = top;
  if (FDialog) FDialog->move(FDialog->x(), top);
}

void TNavBrowseForFolder::SetWindowTitle(const QString& title) {
  FWindowTitle = title;
  if (FDialog) FDialog->setWindowTitle(title);
}

void TNavBrowseForFolder::SetDialogButtonCaption(const QString& caption) {
  FDialogButtonCaption = caption;
  if (!FDialog) return;
  if (auto* files = qobject_cast<QFileDialog*>(FDialog.data()))
    files->setLabelText(QFileDialog::Accept, caption);
  else if (QPushButton* ok = OkButton())
    ok->setText(caption);
}

QPushButton* TNavBrowseForFolder::OkButton() const {
  if (!FDialog) return nullptr;
  for (auto* box : FDialog->findChildren<QDialogButtonBox*>())
    for (QAbstractButton* button : box->buttons())
      if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) return qobject_cast<QPushButton*>(button);
  return nullptr;
}

void TNavBrowseForFolder::EnableOk(bool enabled) {
  if (QPushButton* ok = OkButton()) ok->setEnabled(enabled);
}

void TNavBrowseForFolder::DialogOpened(QDialog* dialog, bool modern) {
  FDialog = dialog;
  if (dialog == nullptr) return;
  const bool fileSystemOnly = FOptions.testFlag(TNavBrowseFlag::bfFileSystemOnly);
  if (!modern && fileSystemOnly) EnableOk(!FPath.isEmpty());
  auto* files = qobject_cast<QFileDialog*>(dialog);
  if (files == nullptr) return;
  // Entering a place changes what OK would choose, as pointing at an item does
  // (request.OnSelectionChanged). Computer, above "/", has no path: QFileDialog names it by its
  // caption. QFileDialog updates its OK button before it tells us.
  connect(files, &QFileDialog::directoryEntered, this, [this, modern](const QString& dir) {
    SelectionChanged(QDir::isAbsolutePath(dir) ? dir : QString(), modern);
  });
}

void TNavBrowseForFolder::SelectionChanged(const QString& path, bool modern) {
  if (FOptions.testFlag(TNavBrowseFlag::bfFileSystemOnly)) EnableOk(!path.isEmpty());
  if (modern) return;  // the modern dialog reports only its result
  FPath = path;
  const INavItemIdList list = TNavItemIdList::CreateFromPath(path);
  FSpecialFolder = NavIsEmpty(list) ? TNavShellFolder::SF_INVALID : list->GetSpecialFolder();
  if (OnChange) OnChange(*this);
}

bool TNavBrowseForFolder::Execute() { return Execute(OwnerWindow()); }

bool TNavBrowseForFolder::Execute(QWidget* parent) {
  platform::TFolderRequest request;
  request.WindowTitle = FWindowTitle.isEmpty() ? FTitle : FWindowTitle;
  request.ButtonCaption = FDialogButtonCaption;
  request.IncludeFiles = FOptions.testFlag(TNavBrowseFlag::bfBrowseIncludeFiles);
  request.MustExist = !FOptions.testFlag(TNavBrowseFlag::bfReturnInvalidPath);
  request.Left = FDialogLeft;
  request.Top = FDialogTop;
  const bool modern = UsesModernDialog();
  if (!modern) {
    // The tree starts at the root folder: a given folder that exists, else the special folder
    // (Computer and the Desktop show the whole file system).
    if (!FRootedAtFileSystemFolder.isEmpty() && QFileInfo(FRootedAtFileSystemFolder).isDir())
      request.Root = FRootedAtFileSystemFolder;
    else
      request.Root = GetSpecialFolderPath(FRootedAt);
  }
  request.OnSelectionChanged = [this, modern](const QString& path) { SelectionChanged(path, modern); };
  request.OnDialog = [this, modern](QDialog* dialog) { DialogOpened(dialog, modern); };
  QString chosen = FPath;
  if (!platform::FileDialogs().BrowseForFolder(parent, request, chosen)) {
    FSpecialFolder = TNavShellFolder::SF_INVALID;
    errno = 0;
    return false;
  }
  FPath = chosen;
  const INavItemIdList list = TNavItemIdList::CreateFromPath(FPath);
  FSpecialFolder = NavIsEmpty(list) ? TNavShellFolder::SF_INVALID : list->GetSpecialFolder();
  // A typed folder that does not exist (bfReturnInvalidPath) is returned, but the tree does not
  // start there next time.
  if (!FPath.isEmpty() && (modern || QFileInfo::exists(FPath))) SetLastPath(FPath);
  return true;
}

}  // namespace shell
