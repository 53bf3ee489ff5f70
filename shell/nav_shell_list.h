#pragma once
// A list of one folder's contents, like a file window: the shell's icons, report columns from
// the folder's details, sorting by any column (the parent entry always first), navigation into
// folders and back, and a refresh when the folder changes on disk (changes in a burst give one
// refresh, 300 ms after the last). Its keys, verbs, context menu and drag and drop are in
// nav_shell_list_commands.cpp.

#include <QTimer>

#include "shell/nav_base_shell_list_view.h"

namespace shell {

/// A wrong argument to a shell component (an item class that is not a TNavShellListItem).
class EInvalidArgument : public EShellBrowserError {
 public:
  using EShellBrowserError::EShellBrowserError;
};

/// An item of the file list; the item-class hook must give one of these or a descendant. Its
/// flag byte holds what the list's folder role says (kFolderRole), and its value array the
/// typed values of the details columns (kValueRole).
class TNavShellListItem : public TNavCheckableListItem {
 public:
  /// Bits of Flags(): a folder; compressed and encrypted by the file system (known while the
  /// list colours such files); OnAddItem gave it a caption other than its name.
  static constexpr quint8 kFlagFolder = 0x01, kFlagCompressed = 0x02, kFlagEncrypted = 0x04,
                          kFlagCaptionChanged = 0x20;
  quint8 Flags() const { return FFlags; }
  void SetFlags(quint8 flags) { FFlags = flags; }
  /// Found again by the last incremental refresh.
  bool Seen() const { return FSeen; }
  void SetSeen(bool value) { FSeen = value; }
  /// The typed value of each details column after the first (entry 0 is column 1); invalid
  /// where the column holds text.
  const std::vector<QVariant>& Values() const { return FValues; }

  QVariant data(int column, int role) const override;
  void setData(int column, int role, const QVariant& value) override;

 private:
  bool FSeen = false;
  quint8 FFlags = 0;
  std::vector<QVariant> FValues;
};

enum class TNavBackgroundImageStyle { bisLeftTop, bisRightBottom, bisTiled };

/// The file system's flags of a file that file windows colour: compressed (FS_COMPR_FL) and
/// encrypted (FS_ENCRYPT_FL); 0 where the file system keeps no such flags.
constexpr unsigned kNavFlagCompressed = 1, kNavFlagEncrypted = 2;
unsigned NavFileSystemFlags(const QString& path);
/// The text colour file windows have always given those flags when asked to: compressed blue,
/// encrypted green; an invalid colour for neither.
QColor NavFileSystemFlagColor(unsigned flags, bool colorCompressed, bool colorEncrypted);

class TNavShellList : public TNavBaseShellListView {
  Q_OBJECT

 public:
  explicit TNavShellList(QWidget* parent = nullptr);
  ~TNavShellList() override;

  QString Version() const { return QStringLiteral("TNavShellList V9.0.3.694"); }
  /// The shown folder with a trailing "/"; setting the shown one again does nothing unless the
  /// list is empty or holds one item.
  QString Path() const { return FBrowser.Folder(); }
  void SetPath(const QString& path);
  /// SF_FILESYSTEMFOLDER whenever a path is shown.
  TNavShellFolder SpecialFolder() const;
  void SetSpecialFolder(TNavShellFolder folder);
  QString Filter() const { return FBrowser.Filter(); }
  void SetFilter(const QString& filter);
  bool FileSystemOnly() const { return FBrowser.FileSystemOnly(); }
  void SetFileSystemOnly(bool value);
  bool ShowFolders() const { return FShowFolders; }
  void SetShowFolders(bool value);
  bool ShowFiles() const { return FShowFiles; }
  void SetShowFiles(bool value);
  bool ShowHidden() const { return FShowHidden; }
  void SetShowHidden(bool value);
  bool ShowParentFolder() const { return FShowParentFolder; }
  void SetShowParentFolder(bool value);
  bool AutomaticRefresh() const { return FAutomaticRefresh; }
  void SetAutomaticRefresh(bool value);
  /// Off: the shares mounted over the network are left out (of Computer's volumes).
  bool ShowNethood() const { return FShowNethood; }
  void SetShowNethood(bool value);
  /// Off: the Trash and the volumes' hidden trash folders (".Trash-1000") are left out.
  bool ShowRecycleBin() const { return FShowRecycleBin; }
  void SetShowRecycleBin(bool value);
  /// Names of files the file system keeps compressed in blue, encrypted ones in green.
  bool ColorCompressed() const { return FColorCompressed; }
  void SetColorCompressed(bool value);
  bool ColorEncrypted() const { return FColorEncrypted; }
  void SetColorEncrypted(bool value);
  /// The list stays empty until it was shown once: changes made before do not fill it, and
  /// neither does showing it; after that everything fills as usual.
  bool NoFillOnStartup() const { return FNoFillOnStartup; }
  void SetNoFillOnStartup(bool value) { FNoFillOnStartup = value; }
  /// The shell's verbs above the list's own entries in the item menu.
  bool ShowContextMenuOnTop() const { return FBrowser.ShowContextMenuOnTop(); }
  void SetShowContextMenuOnTop(bool value) { FBrowser.SetShowContextMenuOnTop(value); }
  /// A picture behind the items: in the top-left or bottom-right corner, or tiled (the default).
  QImage BackgroundImage() const { return FBackgroundImage; }
  void SetBackgroundImage(const QImage& image);
  TNavBackgroundImageStyle BackgroundImageStyle() const { return FBackgroundImageStyle; }
  void SetBackgroundImageStyle(TNavBackgroundImageStyle style);

  // --- commands (nav_shell_list_commands.cpp) ---
  /// The effects a drag of the selected items may have: CopyMode and what every item allows.
  Qt::DropActions AllowedDragActions() const;
  /// Makes a folder in the shown folder: "New Folder", else "New Folder (1)", "(2)"... Without
  /// a shown path: false with the error "Unable to create directory".
  bool CreateNewFolder(QString name = QString(), bool startRename = false);
  /// Runs a verb on the selection ("default" on a folder opens it in the list).
  bool ExecuteVerb(const QString& verb);
  /// Runs a verb on the shown folder itself ("paste" into it, "properties"); a paste of files is
  /// reported to OnOperation. The list refreshes shortly after, whether the verb ran or not.
  /// False when it did not run.
  bool ExecuteFolderVerb(const QString& verb);
  /// A menu of the application's for right-clicks beside the items (not owned); without one the
  /// list shows its own (TNavBackgroundContextMenu). Only with ShellContextMenu on.
  QMenu* BackgroundPopupMenu() const { return FBackgroundPopupMenu; }
  void SetBackgroundPopupMenu(QMenu* menu) { FBackgroundPopupMenu = menu; }
  bool ShowBackgroundMenu(const QPoint& globalPos) override;
  void ShowItemContextMenu(const QPoint& globalPos, QString& verb) override;

  /// Full refill, and the incremental refresh (a refill with more than 500 items).
  void FillList() override;
  void RefreshList() override;
  void BrowseToIDList(const INavItemIdList& folder);
  /// Shows the folder with item (a list whose last part names an entry of the folder) selected,
  /// focused and scrolled into view.
  void BrowseToIDListAndSelect(const INavItemIdList& folder, const INavItemIdList& item);
  bool BrowseParent();
  /// Back (negative) or forward through the folders shown (also the mouse's back and forward
  /// buttons).
  void NavigateHistory(int step) override;
  const TPidlHistory& History() const { return FHistory; }
  QString GetItemPath(int index) const override;
  /// The shown names of the selected items (the parent entry left out).
  QStringList SelectedNames() const;

  /// The 300 ms one-shot timer that batches changes on disk.
  QTimer& RefreshTimer() { return FRefreshTimer; }

  std::function<void(TNavShellList&)> OnPopulated;
  std::function<void(TNavShellList&)> OnPathChanged;
  /// May refuse an item (CanAdd false) or change its caption.
  std::function<void(QTreeWidgetItem* item, bool& canAdd)> OnAddItem;
  /// Runs instead of opening when set.
  std::function<void(TNavShellList&)> OnDblClick;
  /// Before every full refill.
  std::function<void(TNavShellList&)> OnBeforeFullRefresh;
  /// Makes the items; what it gives must be a TNavShellListItem (else the fill fails with
  /// EInvalidArgument).
  std::function<QTreeWidgetItem*()> OnCreateItemClass;
  /// Before a drop is carried out: target is the folder item under the pointer (null for the
  /// list's folder); executeDrop false leaves the files where they are.
  std::function<void(TNavShellList&, QTreeWidgetItem* target, Qt::KeyboardModifiers keys, bool& executeDrop,
                     const QStringList& files)>
      OnBeforeShellDrop;
  /// Before the item menu opens (point in the list's coordinates); handled true shows none.
  std::function<void(TNavShellList&, const QPoint& point, bool& handled)> OnContextPopup;

  // Linked controls.
  void LinkedPathChanged(const INavItemIdList& folder) override;
  void LinkedItemChanged(const INavItemIdList& folder, const INavItemIdList& item) override;
  void LinkedNotify(int kind, const INavItemIdList& list) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
  QStringList mimeTypes() const override;
  Qt::DropActions supportedDropActions() const override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  QString InfoTipOf(QTreeWidgetItem* item) const override;
  void LoadItemImage(QTreeWidgetItem* item) override;
  void FillItemDetails(QTreeWidgetItem* item) override;

 private:
  void ApplyPathChange();
  void CreateColumns();
  bool PassesShowFilter() const;
  QTreeWidgetItem* AddItemForObject();
  QTreeWidgetItem* CreateItem();
  void ApplyColors(TNavShellListItem* item) const;
  void ApplyBackgroundImage();
  void SetOption(bool& option, bool value);
  void HandleShellChange(TNotificationEvent event, const INavItemIdList& item1, const INavItemIdList& item2);
  void RefreshTimerFired();
  QTreeWidgetItem* FindItemByName(const QString& name) const;
  void RestoreSelection(const QStringList& names);
  void OpenItem(QTreeWidgetItem* item);
  /// Where a drop at pos would go ("" when nowhere), and the effect it gets.
  QString DropFolderAt(const QPoint& pos) const;
  Qt::DropAction DropActionFor(const QDropEvent* event, const QString& folder) const;

  QTimer FRefreshTimer;
  TPidlHistory FHistory;
  bool FShowFolders = true, FShowFiles = true, FShowHidden = false, FShowParentFolder = false;
  bool FNavigatingHistory = false;
  bool FShowNethood = true, FShowRecycleBin = true, FColorCompressed = false, FColorEncrypted = false;
  bool FNoFillOnStartup = false, FShownOnce = false;
  QImage FBackgroundImage;
  QPointer<QMenu> FBackgroundPopupMenu;
  TNavBackgroundImageStyle FBackgroundImageStyle = TNavBackgroundImageStyle::bisTiled;
};

}  // namespace shell
