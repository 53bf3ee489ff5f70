#include "shell/nav_browse_for_folder.h"

#include <QApplication>
#include <QFileInfo>
#include <QMutex>
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
    request.OnSelectionChanged = [this](const QString& path) {
      FPath = path;
      const INavItemIdList list = TNavItemIdList::CreateFromPath(path);
      FSpecialFolder = NavIsEmpty(list) ? TNavShellFolder::SF_INVALID : list->GetSpecialFolder();
      if (OnChange) OnChange(*this);
    };
  }
  QString chosen = FPath;
  if (!platform::FileDialogs().BrowseForFolder(parent, request, chosen)) {
    FSpecialFolder = TNavShellFolder::SF_INVALID;
    errno = 0;
    return false;
  }
  FPath = chosen;
  const INavItemIdList list = TNavItemIdList::CreateFromPath(FPath);
  FSpecialFolder = NavIsEmpty(list) ? TNavShellFolder::SF_INVALID : list->GetSpecialFolder();
  if (!FPath.isEmpty()) SetLastPath(FPath);
  return true;
}

}  // namespace shell
