#include "platform/file_dialogs.h"

#include <QFileDialog>

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

}  // namespace

bool TQtFileDialogs::PickFolder(QWidget* parent, const QString& title, QString& folder) {
  const QString chosen = QFileDialog::getExistingDirectory(parent, title, folder);
  if (chosen.isEmpty()) return false;
  folder = chosen;
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
