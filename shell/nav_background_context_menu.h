#pragma once
// The menu of a file list's background: view styles, sorting, refresh, paste, paste as link, a
// New submenu (folder, shortcut, and one entry per file in the desktop's Templates folder) and
// the folder's properties.

#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <vector>

class QLineEdit;

namespace shell {

class TNavShellList;

/// One kind of new file: a template of the Templates folder.
class TNavNewFileMenuItem : public QAction {
  Q_OBJECT

 public:
  TNavNewFileMenuItem(const QString& displayName, const QString& extension, const QString& templatePath,
                      QObject* parent);
  const QString& DisplayName() const { return FDisplayName; }
  /// With its leading dot; empty for none.
  const QString& Extension() const { return FExtension; }
  /// The file copied for a new one; empty for an empty new file.
  const QString& TemplatePath() const { return FTemplatePath; }

 private:
  QString FDisplayName, FExtension, FTemplatePath;
};

/// Asks for a new shortcut: the item it leads to (a file or folder, or a web address) and its
/// name. The name follows the item until it is typed.
class TNavNewShortcutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TNavNewShortcutDialog(QWidget* parent);
  QString Target() const;
  QString Name() const;
  QLineEdit* TargetEdit() const { return FTarget; }
  QLineEdit* NameEdit() const { return FName; }

 private:
  QLineEdit* FTarget;
  QLineEdit* FName;
  bool FNameTyped = false;
};

class TNavBackgroundContextMenu : public QMenu {
  Q_OBJECT

 public:
  explicit TNavBackgroundContextMenu(TNavShellList& list, QWidget* parent = nullptr);

  /// What showing does first: New only for an existing folder, Paste entries only with files on
  /// the clipboard, and on a read-only list none of them; the current sort column and view ticked.
  void Prepare();

  /// A free name in folder for a new file: "name.ext", else "name (1).ext" up to "(5)"; empty
  /// when all six are taken.
  static QString FreeNewFileName(const QString& folder, const QString& displayName, const QString& extension);
  /// Makes a new file of that kind in the list's folder (never over an existing one), selects it
  /// and starts editing its name. False (and "File already exists" when the list shows errors)
  /// when no free name is left or the file cannot be made.
  bool CreateNewFile(const TNavNewFileMenuItem& kind);
  /// Links in the list's folder to the files on the clipboard, under free names.
  int PasteShortcuts();
  /// New > Shortcut: asks for the item and a name (TNavNewShortcutDialog) and makes the shortcut.
  void NewShortcut();
  /// Makes a shortcut named name in folder, never over an existing file (" (1)" up to " (5)"
  /// are tried): to a file or folder (a path, "~" and %VAR% expanded, relative to folder, or a
  /// file: address) a symbolic link; to any other address a desktop link file, name +
  /// ".desktop". An empty name takes the item's. Returns the path made; empty when the item
  /// does not exist, no name is free or the file cannot be made (error gets why).
  static QString CreateShortcut(const QString& folder, const QString& target, const QString& name,
                                QString* error = nullptr);

  QAction* ViewItem(int index) const { return FViewItems[index]; }  // thumbnails, icons, list, details
  QMenu* SortMenu() const { return FSortMenu; }
  QAction* SortAction() const { return FSortAction; }
  QAction* PasteItem() const { return FPaste; }
  QAction* PasteShortcutItem() const { return FPasteShortcut; }
  QAction* NewItem() const { return FNew; }
  QMenu* NewMenu() const { return FNewMenu; }
  QAction* NewShortcutItem() const { return FNewShortcut; }
  const std::vector<TNavNewFileMenuItem*>& NewFileItems() const { return FNewFiles; }

 private:
  void BuildNewFileItems();
  /// Refreshes the list, then selects the item named name and starts editing its name.
  void SelectNewItem(const QString& name);

  TNavShellList& FList;
  QAction* FViewItems[4] = {};
  QMenu* FSortMenu = nullptr;
  QAction* FSortAction = nullptr;
  QAction* FRefresh = nullptr;
  QAction* FPaste = nullptr;
  QAction* FPasteShortcut = nullptr;
  QMenu* FNewMenu = nullptr;
  QAction* FNew = nullptr;
  QAction* FNewShortcut = nullptr;
  QAction* FProperties = nullptr;
  std::vector<TNavNewFileMenuItem*> FNewFiles;
};

}  // namespace shell
