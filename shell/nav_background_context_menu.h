#pragma once
// The menu of a file list's background: view styles, sorting, refresh, paste, paste as link, a
// New submenu (folder, and one entry per file in the desktop's Templates folder) and the
// folder's properties.

#include <QMenu>
#include <QPointer>
#include <QString>
#include <vector>

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

class TNavBackgroundContextMenu : public QMenu {
  Q_OBJECT

 public:
  explicit TNavBackgroundContextMenu(TNavShellList& list, QWidget* parent = nullptr);

  /// Makes the list show this menu when its background is right-clicked (the list owns it).
  static void Attach(TNavShellList& list);

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

  QAction* ViewItem(int index) const { return FViewItems[index]; }  // thumbnails, icons, list, details
  QMenu* SortMenu() const { return FSortMenu; }
  QAction* SortAction() const { return FSortAction; }
  QAction* PasteItem() const { return FPaste; }
  QAction* PasteShortcutItem() const { return FPasteShortcut; }
  QAction* NewItem() const { return FNew; }
  QMenu* NewMenu() const { return FNewMenu; }
  const std::vector<TNavNewFileMenuItem*>& NewFileItems() const { return FNewFiles; }

 private:
  void BuildNewFileItems();
  void RunFolderVerb(const QString& verb);

  TNavShellList& FList;
  QAction* FViewItems[4] = {};
  QMenu* FSortMenu = nullptr;
  QAction* FSortAction = nullptr;
  QAction* FRefresh = nullptr;
  QAction* FPaste = nullptr;
  QAction* FPasteShortcut = nullptr;
  QMenu* FNewMenu = nullptr;
  QAction* FNew = nullptr;
  QAction* FProperties = nullptr;
  std::vector<TNavNewFileMenuItem*> FNewFiles;
};

}  // namespace shell
