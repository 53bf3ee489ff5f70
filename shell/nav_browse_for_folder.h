#pragma once
// The folder dialog: asks the user for a folder (optionally a file) and remembers the last one
// chosen in the process, where the next dialog starts.

#include <QFlags>
#include <QObject>
#include <QString>
#include <functional>

#include "shell/nav_item_id_list.h"

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
  int DialogLeft() const { return FDialogLeft; }
  void SetDialogLeft(int left) { FDialogLeft = left; }
  int DialogTop() const { return FDialogTop; }
  void SetDialogTop(int top) { FDialogTop = top; }
  const QString& WindowTitle() const { return FWindowTitle; }
  void SetWindowTitle(const QString& title) { FWindowTitle = title; }
  const QString& DialogButtonCaption() const { return FDialogButtonCaption; }
  void SetDialogButtonCaption(const QString& caption) { FDialogButtonCaption = caption; }
  TNavBrowseFlags Options() const { return FOptions; }
  /// The new style needs the edit box: asking for the new style without it either drops the
  /// new style (when the edit box was on before) or adds the edit box. Browsing for computers
  /// always drops the new style.
  void SetOptions(TNavBrowseFlags options);
  /// The special folder of the chosen item; SF_INVALID after a cancel.
  TNavShellFolder SpecialFolder() const { return FSpecialFolder; }

  /// Shows the dialog over the owner's window. True when a folder was chosen; Path() then holds
  /// it. Cancel leaves Path() and sets errno to 0.
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
