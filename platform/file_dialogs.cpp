#include "platform/file_dialogs.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QUrl>

namespace platform {

namespace {

IFileDialogs* GFileDialogs = nullptr;

bool RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& filter,
                   const QString& defaultSuffix, QString& fileName) {
  QFileDialog dialog(parent, QString(), fileName, filter);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = dialog.selectedFiles().constFirst();
  return true;
}

// In folder mode QFileDialog accepts only folders that exist; this one returns a typed folder
// that does not exist too when asked to.
class TFolderDialog : public QFileDialog {
 public:
  TFolderDialog(QWidget* parent, const QString& caption, bool acceptMissing)
      : QFileDialog(parent, caption), FAcceptMissing(acceptMissing) {}
  /// Call once the file mode is set. QFileDialog turns OK off for a typed folder that does not
  /// exist; it updates the button first, so ours runs after it.
  void AllowMissing() {
    if (!FAcceptMissing || fileMode() != QFileDialog::Directory) return;
    // "fileNameEdit": the name field of QFileDialog's own widgets.
    auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* box = findChild<QDialogButtonBox*>();
    if (edit == nullptr || box == nullptr) return;
    connect(edit, &QLineEdit::textChanged, this, [box](const QString& text) {
      for (QAbstractButton* button : box->buttons())
        if (box->buttonRole(button) == QDialogButtonBox::AcceptRole && !text.isEmpty()) button->setEnabled(true);
    });
  }
  void accept() override {
    const QStringList files = selectedFiles();
    if (FAcceptMissing && fileMode() == QFileDialog::Directory && !files.isEmpty() &&
        !files.constFirst().isEmpty() && !QFileInfo::exists(files.constFirst())) {
      QDialog::accept();
      return;
    }
    QFileDialog::accept();
  }

 private:
  bool FAcceptMissing;
};

}  // namespace

bool TQtFileDialogs::PickFolder(QWidget* parent, const QString& title, QString& folder) {
  const QString chosen = QFileDialog::getExistingDirectory(parent, title, folder);
  if (chosen.isEmpty()) return false;
  folder = chosen;
  return true;
}

bool TQtFileDialogs::BrowseForFolder(QWidget* parent, const TFolderRequest& request, QString& folder) {
  TFolderDialog dialog(parent, request.WindowTitle, !request.MustExist);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  if (request.IncludeFiles) {
    dialog.setFileMode(request.MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  } else {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
  }
  dialog.AllowMissing();
  if (!request.ButtonCaption.isEmpty()) dialog.setLabelText(QFileDialog::Accept, request.ButtonCaption);
  QString start = folder;
  if (!request.Root.isEmpty()) {
    const QString root = QDir::cleanPath(request.Root);
    if (start.isEmpty() || !(QDir::cleanPath(start) + QLatin1Char('/')).startsWith(root + QLatin1Char('/')))
      start = root;
    dialog.setSidebarUrls({QUrl::fromLocalFile(root)});
  }
  if (!start.isEmpty()) {
    const QFileInfo info(start);
    // A folder is shown open: accepting without picking anything chooses it.
    dialog.setDirectory(info.isDir() ? start : info.absolutePath());
    if (!info.isDir()) dialog.selectFile(start);
  }
  if (request.OnSelectionChanged)
    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, request.OnSelectionChanged);
  dialog.adjustSize();
  if (request.Left > 0 && request.Top > 0) {
    dialog.move(request.Left, request.Top);
  } else if (const QScreen* screen = parent != nullptr && parent->screen() != nullptr ? parent->screen()
                                                                                      : QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    dialog.move(area.width() / 2 - dialog.width() / 2, area.height() / 2 - dialog.height() / 2);
  }
  if (request.OnDialog) request.OnDialog(&dialog);
  const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  if (request.OnDialog) request.OnDialog(nullptr);
  if (!accepted) return false;
  folder = QDir::cleanPath(dialog.selectedFiles().constFirst());
  return true;
}

bool TQtFileDialogs::OpenFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                  QString& fileName) {
  return RunFileDialog(parent, QFileDialog::AcceptOpen, filter, defaultSuffix, fileName);
}

bool TQtFileDialogs::OpenFileNames(QWidget* parent, const QString& title, const QString& folder,
                                   const QString& filter, QStringList& fileNames) {
  const QStringList chosen = QFileDialog::getOpenFileNames(parent, title, folder, filter);
  if (chosen.isEmpty()) return false;
  fileNames = chosen;
  return true;
}

bool TQtFileDialogs::SaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                  QString& fileName) {
  return RunFileDialog(parent, QFileDialog::AcceptSave, filter, defaultSuffix, fileName);
}

IFileDialogs& FileDialogs() {
  static TQtFileDialogs qtDialogs;
  return GFileDialogs != nullptr ? *GFileDialogs : qtDialogs;
}

void SetFileDialogs(IFileDialogs* dialogs) { GFileDialogs = dialogs; }

}  // namespace platform
