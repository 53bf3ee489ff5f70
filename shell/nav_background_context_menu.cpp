#include "shell/nav_background_context_menu.h"

#include <QActionGroup>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cerrno>
#include <memory>

#include "shell/nav_item_id_list.h"
#include "shell/nav_shell_list.h"
#include "shell/nav_system_image_list.h"
#include "shell/path_completion.h"
#include "shell/shell_data.h"

namespace shell {

namespace {

constexpr int kMaxNumberedName = 5;

QString FolderOf(const TNavShellList& list) {
  QString folder = list.Path();
  if (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  return folder;
}

// An address of another kind than file: ("https://host/...", "smb://server/share"): it has a host.
bool IsAddress(const QString& text) {
  const QString typed = text.trimmed();
  const QUrl url(typed);
  return url.isValid() && !url.isLocalFile() && !url.host().isEmpty() && !typed.startsWith(QLatin1Char('/'));
}

}  // namespace

TNavNewFileMenuItem::TNavNewFileMenuItem(const QString& displayName, const QString& extension,
                                         const QString& templatePath, QObject* parent)
    : QAction(displayName, parent), FDisplayName(displayName), FExtension(extension), FTemplatePath(templatePath) {}

TNavBackgroundContextMenu::TNavBackgroundContextMenu(TNavShellList& list, QWidget* parent)
    : QMenu(parent), FList(list) {
  // View.
  QMenu* view = addMenu(QStringLiteral("View"));
  auto* viewGroup = new QActionGroup(this);
  const QString viewNames[4] = {QStringLiteral("Thumbnails"), QStringLiteral("Icons"), QStringLiteral("List"),
                                QStringLiteral("Details")};
  for (int i = 0; i < 4; ++i) {
    FViewItems[i] = view->addAction(viewNames[i]);
    FViewItems[i]->setCheckable(true);
    viewGroup->addAction(FViewItems[i]);
  }
  connect(FViewItems[0], &QAction::triggered, this, [this] {
    FList.SetViewStyle(TNavViewStyle::vsIcon);
    FList.SetThumbnails(true);
  });
  connect(FViewItems[1], &QAction::triggered, this, [this] {
    FList.SetViewStyle(TNavViewStyle::vsIcon);
    FList.SetThumbnails(false);
  });
  connect(FViewItems[2], &QAction::triggered, this, [this] { FList.SetViewStyle(TNavViewStyle::vsList); });
  connect(FViewItems[3], &QAction::triggered, this, [this] { FList.SetViewStyle(TNavViewStyle::vsReport); });
  addSeparator();

  // Sort: one entry per column, only when the list has columns.
  if (FList.columnCount() > 1) {
    FSortMenu = addMenu(QStringLiteral("Sort by"));
    FSortAction = FSortMenu->menuAction();
    auto* sortGroup = new QActionGroup(this);
    for (int c = 0; c < FList.columnCount(); ++c) {
      QAction* action = FSortMenu->addAction(FList.headerItem()->text(c));
      action->setObjectName(QStringLiteral("_SortColumnPopupMenuItem") + QString::number(c));
      action->setCheckable(true);
      action->setData(c);
      sortGroup->addAction(action);
      connect(action, &QAction::triggered, this, [this, c] { FList.SortByColumn(c); });
    }
  }
  FRefresh = addAction(QStringLiteral("Refresh"));
  connect(FRefresh, &QAction::triggered, this, [this] { FList.FillList(); });
  addSeparator();

  FPaste = addAction(QStringLiteral("Paste"));
  connect(FPaste, &QAction::triggered, this, [this] { FList.ExecuteFolderVerb(QStringLiteral("paste")); });
  FPasteShortcut = addAction(QStringLiteral("Paste shortcut"));
  connect(FPasteShortcut, &QAction::triggered, this, [this] { PasteShortcuts(); });
  addSeparator();

  FNewMenu = addMenu(QStringLiteral("New"));
  FNew = FNewMenu->menuAction();
  QAction* folder = FNewMenu->addAction(QStringLiteral("Folder"));
  folder->setIcon(TNavSystemImageList::GetGlobalSystemImageList().Icon(TNavSystemImageList::GetFolderIconIndex()));
  connect(folder, &QAction::triggered, this, [this] { FList.CreateNewFolder(QString(), true); });
  FNewShortcut = FNewMenu->addAction(QStringLiteral("Shortcut"));
  FNewShortcut->setIcon(QIcon::fromTheme(QStringLiteral("insert-link")));
  connect(FNewShortcut, &QAction::triggered, this, &TNavBackgroundContextMenu::NewShortcut);
  BuildNewFileItems();
  addSeparator();

  FProperties = addAction(QStringLiteral("Properties"));
  connect(FProperties, &QAction::triggered, this, [this] { FList.ExecuteFolderVerb(QStringLiteral("properties")); });
}

void TNavBackgroundContextMenu::BuildNewFileItems() {
  const QString templates = SpecialFolderPlace(TNavShellFolder::SF_TEMPLATES);
  if (templates.isEmpty()) return;
  const QFileInfoList files = QDir(templates).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
  if (files.isEmpty()) return;
  FNewMenu->addSeparator();
  TNavSystemImageList& images = TNavSystemImageList::GetGlobalSystemImageList();
  for (const QFileInfo& file : files) {
    const QString extension = file.suffix().isEmpty() ? QString() : QLatin1Char('.') + file.suffix();
    auto* item = new TNavNewFileMenuItem(file.completeBaseName(), extension, file.absoluteFilePath(), FNewMenu);
    item->setIcon(images.Icon(TNavSystemImageList::GetIconIndexForFile(file.absoluteFilePath(), false, false)));
    FNewMenu->addAction(item);
    connect(item, &QAction::triggered, this, [this, item] { CreateNewFile(*item); });
    FNewFiles.push_back(item);
  }
}

void TNavBackgroundContextMenu::Prepare() {
  const QString folder = FolderOf(FList);
  const bool writable = !FList.ReadOnly();
  // A read-only list offers nothing that would change its folder.
  FNew->setVisible(writable && !folder.isEmpty() && QFileInfo(folder).isDir());
  const bool clipboardFiles = !GetClipboardFiles().isEmpty();
  FPaste->setVisible(writable);
  FPasteShortcut->setVisible(writable);
  FPaste->setEnabled(clipboardFiles);
  FPasteShortcut->setEnabled(clipboardFiles);
  if (FSortMenu)
    for (QAction* action : FSortMenu->actions()) action->setChecked(action->data().toInt() == FList.SortColumn());
  int view = 3;
  switch (FList.ViewStyle()) {
    case TNavViewStyle::vsIcon: view = FList.Thumbnails() ? 0 : 1; break;
    case TNavViewStyle::vsList:
    case TNavViewStyle::vsSmallIcon: view = 2; break;
    case TNavViewStyle::vsReport: view = 3; break;
  }
  FViewItems[view]->setChecked(true);
}

QString TNavBackgroundContextMenu::FreeNewFileName(const QString& folder, const QString& displayName,
                                                   const QString& extension) {
  const QDir dir(folder);
  QString name = displayName + extension;
  if (!QFileInfo::exists(dir.filePath(name))) return name;
  for (int n = 1; n <= kMaxNumberedName; ++n) {
    name = QStringLiteral("%1 (%2)%3").arg(displayName).arg(n).arg(extension);
    if (!QFileInfo::exists(dir.filePath(name))) return name;
  }
  return {};
}

bool TNavBackgroundContextMenu::CreateNewFile(const TNavNewFileMenuItem& kind) {
  const QString folder = FolderOf(FList);
  const QString name = folder.isEmpty() ? QString() : FreeNewFileName(folder, kind.DisplayName(), kind.Extension());
  if (name.isEmpty()) {
    FList.ShowError(QStringLiteral("File already exists"));
    return false;
  }
  const QString path = QDir(folder).filePath(name);
  // Made only when nothing is there: a name taken meanwhile is never overwritten.
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
  if (!kind.TemplatePath().isEmpty()) {
    QFile source(kind.TemplatePath());
    if (source.open(QIODevice::ReadOnly)) file.write(source.readAll());
  }
  file.close();
  SelectNewItem(name);
  return true;
}

void TNavBackgroundContextMenu::SelectNewItem(const QString& name) {
  FList.RefreshList();
  for (int i = 0; i < FList.topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = FList.topLevelItem(i);
    if (item->text(0) != name) continue;
    FList.clearSelection();
    FList.setCurrentItem(item);
    item->setSelected(true);
    if (FList.isVisible()) FList.EditSelectedCaption();
    break;
  }
}

QString TNavBackgroundContextMenu::CreateShortcut(const QString& folder, const QString& target,
                                                  const QString& name, QString* error) {
  const auto fail = [error](const QString& why) {
    if (error != nullptr) *error = why;
    return QString();
  };
  const QString typed = target.trimmed();
  if (folder.isEmpty() || typed.isEmpty()) return fail(QStringLiteral("No item was given."));
  const QUrl url(typed);
  QString file;
  QString made;
  if (IsAddress(typed)) {
    const QString shown = name.trimmed().isEmpty() ? url.host() : name.trimmed();
    file = FreeNewFileName(folder, shown.isEmpty() ? typed : shown, QStringLiteral(".desktop"));
    if (file.isEmpty()) return fail(QStringLiteral("File already exists"));
    made = QDir(folder).filePath(file);
    QFile link(made);
    if (!link.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return fail(link.errorString());
    // The desktop's own form of a link to an address: an entry of type Link.
    const QByteArray text = "[Desktop Entry]\nType=Link\nName=" + shown.toUtf8() +
                            "\nURL=" + url.toString(QUrl::FullyEncoded).toUtf8() + "\nIcon=text-html\n";
    if (link.write(text) != text.size()) {
      link.remove();
      return fail(link.errorString());
    }
    return made;
  }
  QString path = url.isLocalFile() ? url.toLocalFile() : ExpandPathMacros(typed);
  if (QDir::isRelativePath(path)) path = QDir(folder).filePath(path);
  path = QDir::cleanPath(path);
  if (!QFileInfo::exists(path))
    return fail(QStringLiteral("The item \"") + typed + QStringLiteral("\" cannot be found."));
  const QString shown = name.trimmed().isEmpty() ? QFileInfo(path).fileName() : name.trimmed();
  file = FreeNewFileName(folder, shown.isEmpty() ? QStringLiteral("Link") : shown, QString());
  if (file.isEmpty()) return fail(QStringLiteral("File already exists"));
  made = QDir(folder).filePath(file);
  if (!QFile::link(path, made)) return fail(NavSystemErrorText(errno));
  return made;
}

void TNavBackgroundContextMenu::NewShortcut() {
  const QString folder = FolderOf(FList);
  if (folder.isEmpty() || FList.ReadOnly()) return;
  TNavNewShortcutDialog dialog(&FList);
  if (dialog.exec() != QDialog::Accepted) return;
  QString error;
  const QString made = CreateShortcut(folder, dialog.Target(), dialog.Name(), &error);
  if (made.isEmpty()) {
    FList.ShowError(error);
    return;
  }
  SelectNewItem(QFileInfo(made).fileName());
}

TNavNewShortcutDialog::TNavNewShortcutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Create Shortcut"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel(QStringLiteral("Type the location of the item (a file, a folder or a web address):"), this));
  FTarget = new QLineEdit(this);
  FTarget->setObjectName(QStringLiteral("target"));
  AttachPathCompletion(FTarget);
  layout->addWidget(FTarget);
  layout->addWidget(new QLabel(QStringLiteral("Type a name for this shortcut:"), this));
  FName = new QLineEdit(this);
  FName->setObjectName(QStringLiteral("name"));
  layout->addWidget(FName);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(FTarget, &QLineEdit::textChanged, this, [this, ok](const QString& text) {
    ok->setEnabled(!text.trimmed().isEmpty());
    if (FNameTyped) return;
    const QSignalBlocker blocker(FName);  // the name follows the item, not the user
    FName->setText(IsAddress(text) ? QUrl(text.trimmed()).host() : QFileInfo(text.trimmed()).fileName());
  });
  connect(FName, &QLineEdit::textEdited, this, [this] { FNameTyped = true; });
}

QString TNavNewShortcutDialog::Target() const { return FTarget->text(); }

QString TNavNewShortcutDialog::Name() const { return FName->text(); }

int TNavBackgroundContextMenu::PasteShortcuts() {
  const QString folder = FolderOf(FList);
  if (folder.isEmpty() || FList.ReadOnly()) return 0;
  int made = 0;
  for (const QString& target : GetClipboardFiles()) {
    const QFileInfo info(target);
    const QString base = info.fileName();
    QString name = FreeNewFileName(folder, base, QString());
    if (name.isEmpty()) continue;
    if (QFile::link(target, QDir(folder).filePath(name))) ++made;
  }
  if (made > 0) FList.RefreshList();
  return made;
}

}  // namespace shell
