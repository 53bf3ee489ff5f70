#pragma once
// Plain stand-ins for the components of the shell library that the main window holds, with the
// same names and the properties the window uses, until that library provides them: the
// output-folder dialog.

#include <QObject>
#include <QString>

class QWidget;

namespace app {

/// The output-folder picker (`dlg_AddFolder`): asks through platform::FileDialogs().
class TNavBrowseForFolder : public QObject {
  Q_OBJECT

 public:
  /// owner is the window the dialog is shown over.
  explicit TNavBrowseForFolder(QWidget* owner);

  const QString& Title() const { return FTitle; }
  void SetTitle(const QString& title) { FTitle = title; }
  /// The chosen folder; the dialog starts there.
  const QString& Path() const { return FPath; }
  void SetPath(const QString& path) { FPath = path; }
  /// Shows the dialog. True when a folder was chosen; Path() then holds it. Cancel leaves Path().
  bool Execute();

 private:
  QWidget* FOwner;
  QString FTitle;
  QString FPath;
};

}  // namespace app
