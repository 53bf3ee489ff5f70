#pragma once
// An address-bar combo box over the desktop's folder tree: the desktop, its folders, and the
// volumes under Computer (volumes first); the ancestors of the current folder are inserted as
// indented entries while it is shown and removed when another is chosen. A typed path (macros
// expanded, quotes removed) opens on Enter. Linked to a file list through a TNavShellLink, the
// two follow one another.

#include <QComboBox>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "shell/nav_item_id_list.h"
#include "shell/nav_shell_change_notifier.h"
#include "shell/nav_shell_link.h"
#include "shell/nav_work_items.h"
#include "shell/shell_browser.h"

namespace shell {

/// One entry of the combo.
struct TNavComboItem {
  INavItemIdList IdList;
  /// Fixed entries of the tree; inserted ancestors are not.
  bool Persistent = true;
  int Indent = 0;
  /// The list's path, or the caption when there is no list.
  QString Path(const QString& caption) const;
};

class TNavShellCombo : public QComboBox, public INavShellControl, public IIconViewer {
  Q_OBJECT

 public:
  /// Item data role holding an entry's image index in the system image list.
  static constexpr int kImageIndexRole = Qt::UserRole + 2;

  explicit TNavShellCombo(QWidget* parent = nullptr);
  ~TNavShellCombo() override;

  QString Version() const { return QStringLiteral("TNavShellCombo V9.0.3.694"); }

  TNavShellLink* ShellLink() const { return FShellLink; }
  void SetShellLink(TNavShellLink* link) override;
  TNavShellLink* GetShellLink() const override { return FShellLink; }
  void LinkedPathChanged(const INavItemIdList& folder) override;
  void LinkedItemChanged(const INavItemIdList& folder, const INavItemIdList& item) override;
  /// A refresh requested by a linked control (F5, or a rename, move or delete there) lists the
  /// tree again, keeping the chosen folder.
  void LinkedNotify(int kind, const INavItemIdList&) override {
    if (kind == 0) Fill();
  }

  /// Only folders with a place on disk, and the places that hold them.
  bool FileSystemOnly() const { return FBrowser.FileSystemOnly(); }
  void SetFileSystemOnly(bool value);
  bool ShowHidden() const { return FShowHidden; }
  void SetShowHidden(bool value);
  bool ShowRecycleBin() const { return FShowRecycleBin; }
  void SetShowRecycleBin(bool value);
  /// The shares mounted over the network among the volumes. On by default.
  bool ShowNethood() const { return FShowNethood; }
  void SetShowNethood(bool value);
  /// The shell's entries of the context menu come first. Off by default.
  bool ShowContextMenuOnTop() const { return FShowContextMenuOnTop; }
  void SetShowContextMenuOnTop(bool value);
  /// Folders the file system keeps compressed are written in blue, encrypted ones in green
  /// (NavFileSystemFlags). Both off by default.
  bool ColorCompressed() const { return FColorCompressed; }
  void SetColorCompressed(bool value);
  bool ColorEncrypted() const { return FColorEncrypted; }
  void SetColorEncrypted(bool value);
  /// The desktop's general font instead of the parent's. On by default; setting it clears
  /// ParentFont.
  bool UseSystemFont() const { return FUseSystemFont; }
  void SetUseSystemFont(bool value);
  /// The parent's font, followed as it changes. Off by default; setting it clears UseSystemFont.
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool value);
  bool ShowErrorMessages() const { return FShowErrorMessages; }
  void SetShowErrorMessages(bool value) { FShowErrorMessages = value; }
  /// The edit field shows the chosen folder's full path instead of its name.
  bool ShowFullPath() const { return FShowFullPath; }
  void SetShowFullPath(bool value) { FShowFullPath = value; }
  bool ShowContextMenu() const { return FShowContextMenu; }
  void SetShowContextMenu(bool value) { FShowContextMenu = value; }
  /// Refills when volumes come and go.
  bool AutomaticRefresh() const { return FNotifier.Enabled(); }
  void SetAutomaticRefresh(bool value) { FNotifier.SetEnabled(value); }
  /// A path can be typed (with completion of folders and files from the disk); off, the combo
  /// is a drop-down list only. On by default.
  bool Editable() const { return isEditable(); }
  void SetEditable(bool value);
  /// The combo lists the tree when it is first shown; with this set it stays empty until a
  /// path or a folder is set. Off by default.
  bool NoFillOnStartup() const { return FNoFillOnStartup; }
  void SetNoFillOnStartup(bool value);
  /// Selects the entry whose path or caption is the typed text (FindEntryByText); done when the
  /// field gains or loses the focus. Nothing changes when no entry matches.
  void SelectByText();
  /// Selects the whole text of the field and gives the combo the focus.
  void SelectAll();

  /// Empties the combo and lists the tree again, keeping the chosen folder.
  void Fill();
  /// Shows the folder: its entry, or its ancestors below the deepest entry that holds it.
  void SelectIDList(const INavItemIdList& folder);
  /// Opens a typed path; on failure selects an entry captioned so, or reports the error.
  void SetPath(const QString& text);
  /// The chosen entry's path, else the text.
  QString GetPath() const;
  /// The chosen entry; null without one.
  const TNavComboItem* CurrentItem() const;
  const TNavComboItem* Item(int index) const;
  /// The entry whose path or caption is text (not the desktop); -1 when none.
  int FindEntryByText(const QString& text) const;

  /// May refuse a folder before it is listed.
  std::function<void(TNavShellCombo&, const TNavComboItem& item, bool& canAdd)> OnAddFolder;
  /// Errors the user should see when ShowErrorMessages is set (default: a message box).
  std::function<void(const QString&)> OnError;

  void showPopup() override;

  /// The pool's answer to an entry's icon request (kind 0 the icon; the others are not shown
  /// by a combo). itemTag is the entry's TNavComboItem; an entry removed meanwhile is skipped.
  void IconReady(int iconIndex, int kind, const void* itemTag) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  /// The first time: marks the combo filled and fills it unless NoFillOnStartup; afterwards
  /// fills it when it is empty.
  void EnsureFilled();
  /// Fills an empty combo whatever NoFillOnStartup says: a folder is about to be shown.
  void FillForUse();
  /// After a display switch changed: the tree again, unless it was never filled and is not to be
  /// filled at start-up.
  void Refill();
  /// Completion of typed paths, and the typed-text selection when the field loses the focus.
  void SetUpEditField();
  void ClearEntries();
  /// With a negative imageIndex the entry shows the folder icon until the pool has looked up
  /// its own.
  void InsertFolderEntry(std::unique_ptr<TNavComboItem> item, const QString& caption, int position,
                         int imageIndex = -1);
  void SetEntryImage(int index, int imageIndex);
  void RemoveEntry(int index);
  void RemoveNonPersistent();
  /// Lists the browser's current folder's folders at position: volumes first, then the others.
  int AddFolders(int position, int indent);
  bool PassesFilter() const;
  void InsertAncestors(const INavItemIdList& folder);
  void EntryChosen(int index);
  void SelectEntry(int index);
  void ShowError(const QString& message);
  void SetOption(bool& option, bool value);

  TShellBrowser FBrowser;
  TNavShellChangeNotifier FNotifier;
  QPointer<TNavShellLink> FShellLink;
  std::vector<std::unique_ptr<TNavComboItem>> FItems;  // one per entry, in entry order
  bool FFilled = false;
  bool FNoFillOnStartup = false;
  bool FShowErrorMessages = false;
  bool FShowHidden = false, FShowRecycleBin = true, FShowFullPath = false, FShowContextMenu = true;
  bool FShowNethood = true, FShowContextMenuOnTop = false, FColorCompressed = false, FColorEncrypted = false;
  bool FUseSystemFont = true, FParentFont = false;
  bool FFollowing = false;  // moving because a linked control did: not told back
};

}  // namespace shell
