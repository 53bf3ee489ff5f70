#include "shell/shell_properties.h"

#include <sys/stat.h>
#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>
#include <memory>

#include "shell/nav_item_id_list.h"
#include "shell/nav_work_items.h"
#include "shell/shell_data.h"

namespace shell {

namespace {

const QString kFileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString kFileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");

QString GBusName;  // user-interface thread

// A session bus is there to ask: named in the environment, or at the per-user socket that
// systemd and dbus-broker set up. Without either, asking Qt for the session bus would make
// libdbus try to launch one.
bool SessionBusReachable() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

void ShowOwnDialog(const QStringList& paths, QWidget* parent) {
  auto* dialog = new TItemPropertiesDialog(paths, parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
}

QString KindOf(const QString& path) {
  const QFileInfo info(path);
  if (info.isSymLink()) return QStringLiteral("Link");
  if (info.isDir()) return QStringLiteral("Folder");
  static const QMimeDatabase mime;
  return mime.mimeTypeForFile(info).comment();
}

// "rwxr-xr-x (owner alice, group users)".
QString PermissionsOf(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  const char letters[] = "rwxrwxrwx";
  QString text;
  for (int bit = 0; bit < 9; ++bit)
    text += (st.st_mode & (0400 >> bit)) ? QLatin1Char(letters[bit]) : QLatin1Char('-');
  const QFileInfo info(path);
  return text + QStringLiteral(" (owner %1, group %2)").arg(info.owner(), info.group());
}

// The one value every path has, or several when they differ.
template <typename F>
QString Common(const QStringList& paths, F valueOf, const QString& several) {
  const QString first = valueOf(paths.front());
  for (const QString& path : paths)
    if (valueOf(path) != first) return several;
  return first;
}

}  // namespace

void SetItemPropertiesBusName(const QString& connectionName) { GBusName = connectionName; }

bool ShowItemProperties(const QStringList& paths, QWidget* parent) {
  if (paths.isEmpty()) return false;
  if (!GBusName.isEmpty()) return ShowItemProperties(paths, parent, QDBusConnection(GBusName));
  if (!SessionBusReachable()) {
    ShowOwnDialog(paths, parent);
    return true;
  }
  return ShowItemProperties(paths, parent, QDBusConnection::sessionBus());
}

bool ShowItemProperties(const QStringList& paths, QWidget* parent, const QDBusConnection& bus) {
  if (paths.isEmpty()) return false;
  // Asked straight away: the bus starts a file manager that is not running yet, and answers at
  // once with an error when there is none, which the answer below turns into our own window.
  if (!bus.isConnected()) {
    ShowOwnDialog(paths, parent);
    return true;
  }
  QStringList uris;
  for (const QString& path : paths) uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
  QDBusMessage call = QDBusMessage::createMethodCall(
      kFileManagerService, kFileManagerPath, kFileManagerService, QStringLiteral("ShowItemProperties"));
  // The startup id lets the file manager's window take the focus; we hold no activation token to
  // hand on, and the interface takes an empty one.
  call << uris << QString();
  QObject* owner = parent != nullptr ? static_cast<QObject*>(parent) : QCoreApplication::instance();
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), owner);
  QPointer<QWidget> guardedParent(parent);
  const bool hadParent = parent != nullptr;
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [watcher, paths, guardedParent, hadParent] {
                     watcher->deleteLater();
                     // No file manager, or one that refused or failed: the properties show all the same.
                     if (watcher->isError() && (guardedParent || !hadParent))
                       ShowOwnDialog(paths, guardedParent);
                   });
  return true;
}

// --- our own window ---

TItemPropertiesDialog::TItemPropertiesDialog(const QStringList& paths, QWidget* parent) : QDialog(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout();
  layout->addLayout(form);
  const QLocale locale;
  const bool single = paths.size() == 1;
  const QString name =
      single ? (QFileInfo(paths.front()).fileName().isEmpty() ? paths.front()
                                                              : QFileInfo(paths.front()).fileName())
             : QStringLiteral("%1 items").arg(paths.size());
  setWindowTitle(name + QStringLiteral(" Properties"));
  AddLine(QStringLiteral("Name:"), QStringLiteral("name"), name);
  if (!paths.isEmpty()) {
    AddLine(QStringLiteral("Kind:"), QStringLiteral("kind"),
            Common(paths, KindOf, QStringLiteral("Various kinds")));
    AddLine(QStringLiteral("Location:"), QStringLiteral("location"),
            Common(paths, NavParentFolder, QStringLiteral("Various folders")));
  }
  FSize = AddLine(QStringLiteral("Size:"), QStringLiteral("size"), QString());
  if (single) {
    const QFileInfo info(paths.front());
    AddLine(QStringLiteral("Modified:"), QStringLiteral("modified"),
            locale.toString(info.lastModified(), QLocale::LongFormat));
    AddLine(QStringLiteral("Permissions:"), QStringLiteral("permissions"), PermissionsOf(paths.front()));
  }
  for (QObject* child : children())
    if (auto* label = qobject_cast<QLabel*>(child)) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  // Files count at once; folders (not links to them) are summed on the pool.
  for (const QString& path : paths) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) continue;
    if (!S_ISDIR(st.st_mode)) {
      FBytes += static_cast<uint64_t>(st.st_size);
      ++FFiles;
      continue;
    }
    ++FPendingFolders;  // the item counts the folder itself among the folders
    auto item = std::make_shared<TNavFolderSizeWorkItem>(path, false, true);
    item->SetGroupTag(this);
    QPointer<TItemPropertiesDialog> self(this);
    item->SetOnItemDone([self](TBasicWorkItem& done) {  // user-interface thread
      if (!self || done.Aborted()) return;
      auto& sized = static_cast<TNavFolderSizeWorkItem&>(done);
      self->FBytes += sized.Size();
      self->FFiles += sized.FileCount();
      self->FFolders += sized.FolderCount();
      --self->FPendingFolders;
      self->ShowSize();
      if (self->FPendingFolders == 0) emit self->CountingDone();
    });
    GlobalThreadPool().AddWorkItem(std::move(item));
  }
  ShowSize();
}

TItemPropertiesDialog::~TItemPropertiesDialog() {
  if (FPendingFolders > 0) GlobalThreadPool().CancelWorkItems(nullptr, this);
}

QLabel* TItemPropertiesDialog::AddLine(const QString& caption, const QString& name, const QString& value) {
  auto* form = static_cast<QFormLayout*>(layout()->itemAt(0)->layout());
  auto* label = new QLabel(value, this);
  label->setObjectName(name);
  form->addRow(caption, label);
  return label;
}

QString TItemPropertiesDialog::Value(const QString& line) const {
  const auto* label = findChild<QLabel*>(line, Qt::FindDirectChildrenOnly);
  return label != nullptr ? label->text() : QString();
}

void TItemPropertiesDialog::ShowSize() {
  if (FPendingFolders > 0) {
    FSize->setText(QStringLiteral("Counting..."));
    return;
  }
  const QLocale locale;
  QString text = FormatSizeText(false, static_cast<int64_t>(FBytes)) + QStringLiteral(" (") +
                 locale.toString(static_cast<qulonglong>(FBytes)) + QStringLiteral(" bytes)");
  if (FFolders > 0) text += QStringLiteral(", %1 files, %2 folders").arg(FFiles).arg(FFolders);
  FSize->setText(text);
}

}  // namespace shell
