#pragma once
// The folder dialog: asks the user for a folder (optionally a file) and remembers the last one
// chosen in the process, where the next dialog starts.

#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "shell/nav_item_id_list.h"

class QDialog;
class QPushButton;
class QWidget;

namespace shell {

enum class TNavBrowseFlag : unsigned {
  bfNewDialogStyle = 1,
  bfFileSystemOnly = 2,
  bfBrowseIncludeFiles = 4,
  bfEditBox = 8,
  bfBrowseForComputer = 16,
  bfReturnInvalidPath = 32
};
Q_DECLARE_FLAGS(TNavBrowseFlags, TNavBrowseFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TNavBrowseFlags)

class TNavBrowseForFolder : public QObject {
  Q_OBJECT

 public:
  /// owner: the widget the dialog is shown over (or an object inside one).
  explicit TNavBrowseForFolder(QObject* owner = nullptr);

  QString Version() const { return QStringLiteral("TNavBrowseForFolder V9.0.3.694"); }
  /// The chosen folder; a new dialog starts with the last folder chosen in the process.
  const QString& Path() const { return FPath; }
  void SetPath(const QString& path) { FPath = path; }
  /// The caption line of the folder tree dialog; the window title when WindowTitle is empty.
  const QString& Title() const { return FTitle; }
  void SetTitle(const QString& title) { FTitle = title; }
  TNavShellFolder RootedAt() const { return FRootedAt; }
  void SetRootedAt(TNavShellFolder folder) { FRootedAt = folder; }
  const QString& RootedAtFileSystemFolder() const { return FRootedAtFileSystemFolder; }
  /// A folder used as the root instead of RootedAt (which becomes SF_FILESYSTEMFOLDER).
  void SetRootedAtFileSystemFolder(const QString& path);
  /// While the dialog is open, where it is; else the place it opens at (with either at or below
  /// 0 it opens centred on the screen).
  int DialogLeft() const;
  /// Stored, and an open dialog moves at once.
  void SetDialogLeft(int left);
  int DialogTop() const;
  void SetDialogTop(int top);
  const QString& WindowTitle() const { return FWindowTitle; }
  /// Stored, and an open dialog's caption changes at once.
  void SetWindowTitle(const QString& title);
  const QString& DialogButtonCaption() const { return FDialogButtonCaption; }
  /// Stored, and an open dialog's OK button changes at once.
  void SetDialogButtonCaption(const QString& caption);
  TNavBrowseFlags Options() const { return FOptions; }
  /// The new style needs the edit box: asking for the new style without it either drops the
  /// new style (when the edit box was on before) or adds the edit box. Browsing for computers
  /// always drops the new style.
  void SetOptions(TNavBrowseFlags options);
  /// The special folder of the chosen item; SF_INVALID after a cancel.
  TNavShellFolder SpecialFolder() const { return FSpecialFolder; }

  /// Shows the dialog over the owner's window. True when a folder was chosen; Path() then holds
  /// it. Cancel leaves Path() and sets errno to 0. With bfFileSystemOnly, OK is disabled while
  /// the place chosen has no path (the Computer view); the folder tree also opens with OK
  /// disabled when Path() is empty. With bfReturnInvalidPath a typed folder that does not exist
  /// is returned (its special folder is SF_INVALID).
  bool Execute();
  bool Execute(QWidget* parent);

  /// Raised when the selection moves in the folder tree dialog.
  std::function<void(TNavBrowseForFolder&)> OnChange;

  /// The process-wide last chosen folder.
  static QString LastPath();
  static void SetLastPath(const QString& path);

 private:
  QWidget* OwnerWindow() const;
  bool UsesModernDialog() const;
  /// The open dialog appeared (or, with nullptr, closed).
  void DialogOpened(QDialog* dialog, bool modern);
  /// What the open dialog's place now is: Path() and the OK button follow it.
  void SelectionChanged(const QString& path, bool modern);
  void EnableOk(bool enabled);
  QPushButton* OkButton() const;

  QPointer<QDialog> FDialog;  // the dialog while it is open; owned by Execute's caller frame

  QString FPath;
  QString FTitle;
  TNavShellFolder FRootedAt = TNavShellFolder::SF_DESKTOP;
  QString FRootedAtFileSystemFolder;
  int FDialogLeft = -1;
  int FDialogTop = -1;
  QString FWindowTitle;
  QString FDialogButtonCaption;
  TNavBrowseFlags FOptions = TNavBrowseFlag::bfNewDialogStyle | TNavBrowseFlag::bfEditBox;
  TNavShellFolder FSpecialFolder = TNavShellFolder::SF_INVALID;
};

}  // namespace shell
