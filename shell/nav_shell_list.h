#pragma once
// A list of one folder's contents, like a file window: the shell's icons, report columns from
// the folder's details, sorting by any column (the parent entry always first), navigation into
// folders and back, and a refresh when the folder changes on disk (changes in a burst give one
// refresh, 300 ms after the last).

#include <QListView>
#include <QMenu>
#include <array>
#include <vector>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "shell/nav_path_list.h"
#include "shell/nav_shell_change_notifier.h"
#include "shell/nav_shell_link.h"
#include "shell/nav_work_items.h"
#include "shell/shell_browser.h"

namespace shell {

enum class TNavViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

/// What a command did, as OnOperation reports it (one bit per TNavShellOperation).
using TNavShellOperations = unsigned;
constexpr TNavShellOperations OperationBit(TNavShellOperation op) { return 1u << static_cast<int>(op); }

class TNavShellList;
class TNavGridView;

/// An item of the shell lists: a file or folder with a three-state check kept in the link's
/// selection list. Its pool work is cancelled when it goes.
class TNavCheckableListItem : public QTreeWidgetItem {
 public:
  /// The box is toggled by the list itself (through the selection list), never by the view.
  TNavCheckableListItem() : QTreeWidgetItem(QTreeWidgetItem::UserType) { setFlags(flags() & ~Qt::ItemIsUserCheckable); }
  ~TNavCheckableListItem() override;
  TNavShellList* GetListView() const;
  /// ssUnused until a state was set.
  TNavSelectionState GetCheckState() const;
  /// Shows the state; OnCheckStateChanged fires when the item had a state before.
  void SetCheckState(TNavSelectionState state);
  /// Checked and grayed (part of a folder ticked) count as checked.
  bool IsChecked() const;
  /// Ticks or unticks it in the link's selection list (nothing for ssDisabled and ssUnused); the
  /// state shown then comes from the selection list. Without a link the state is set directly.
  void SetChecked(bool value);
  QString GetPath() const;

 private:
  friend class TNavShellList;
  const void* FPendingCheck = nullptr;  // the state request whose answer is awaited
};

class TNavShellList : public QTreeWidget,
                      public INavShellControl,
                      public IIconViewer,
                      public IThumbnailViewer,
                      public ICheckBoxViewer {
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
  /// Off: only the name column.
  bool Details() const { return FDetails; }
  void SetDetails(bool value);
  bool AutomaticRefresh() const { return FAutomaticRefresh; }
  void SetAutomaticRefresh(bool value);
  bool ReadOnly() const { return FBrowser.ReadOnly(); }
  void SetReadOnly(bool value) { FBrowser.SetReadOnly(value); }
  bool ShowErrorMessages() const { return FBrowser.ShowErrorMessages(); }
  void SetShowErrorMessages(bool value) { FBrowser.SetShowErrorMessages(value); }
  /// Icons from the file extension only (no look at the files).
  bool IconsBasedOnFileExtension() const { return FIconsByExtension; }
  void SetIconsBasedOnFileExtension(bool value) { FIconsByExtension = value; }
  /// Which effects drags from and drops onto the list may have.
  TNavCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TNavCopyMode mode) { FCopyMode = mode; }
  bool OleDragDrop() const { return FOleDragDrop; }
  void SetOleDragDrop(bool value);
  /// The effects a drag of the selected items may have: CopyMode and what every item allows.
  Qt::DropActions AllowedDragActions() const;
  /// Makes a folder in the shown folder: "New Folder", else "New Folder (1)", "(2)"... Without
  /// a shown path: false with the error "Unable to create directory".
  bool CreateNewFolder(QString name = QString(), bool startRename = false);
  /// A column that takes up the room the others leave (never below 80 pixels); -1 for none.
  int AutoSizeColumn() const { return FAutoSizeColumn; }
  void SetAutoSizeColumn(int column);
  // --- columns, remembered per special folder (all plain folders share one set) ---
  /// Shows or hides a column of the folder's details (by its index among them); the name
  /// column cannot be hidden. OnBeforeShellColumnChanged may refuse.
  bool ShowShellColumn(int shellColumn);
  bool HideShellColumn(int shellColumn);
  /// Keeps the shown columns' widths for the folder's kind; hidden ones are marked -3.
  void SaveColumnWidths();
  /// The chooser the header's context menu shows: every column once, shown ones ticked.
  std::unique_ptr<QMenu> CreateColumnMenu();
  std::function<void(TNavShellList&, int shellColumn, bool show, bool& allow)> OnBeforeShellColumnChanged;
  std::function<void(TNavShellList&, int shellColumn, bool show)> OnAfterShellColumnChanged;

  /// Runs a verb on the selection ("default" on a folder opens it in the list).
  bool ExecuteVerb(const QString& verb);
  /// Starts editing the selected item's name; the rename happens on disk when the edit ends.
  void EditSelectedCaption();
  /// The shell menu of the selection with the list's own popup merged in; verb gets the
  /// chosen verb.
  void ShowItemContextMenu(const QPoint& globalPos, QString& verb);
  QMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(QMenu* menu) { FPopupMenu = menu; }
  /// In the icon style: pictures of the files (the desktop's thumbnails, pictures, video
  /// frames) instead of their icons, ThumbnailWidth × ThumbnailHeight, framed in
  /// ThumbnailBorderColor unless that is clNone. Changing the style turns them off.
  bool Thumbnails() const { return FThumbnails; }
  void SetThumbnails(bool value);
  int ThumbnailWidth() const { return FThumbnailWidth; }
  int ThumbnailHeight() const { return FThumbnailHeight; }
  void SetThumbnailSize(int width, int height);
  TColor ThumbnailBorderColor() const { return FThumbnailBorderColor; }
  void SetThumbnailBorderColor(TColor color) { FThumbnailBorderColor = color; }
  /// A picture fitted into the thumbnail size: scaled down, then padded (or cropped) to exactly
  /// that size, centred on the list's background. The result has the thumbnail size times the
  /// list's pixel ratio in pixels and carries the ratio; the picture's pixels are taken as
  /// device pixels of its own ratio.
  QImage FitThumbnail(const QImage& image) const;
  TNavViewStyle ViewStyle() const { return FViewStyle; }
  /// vsSmallIcon is shown as vsList. The icon style shows the items in a grid of large icons
  /// (or thumbnails) with the names below, the list style in columns of small icons, both over
  /// the same items and selection as the details style.
  void SetViewStyle(TNavViewStyle style);
  /// The grid of the icon and list styles (hidden in the details style).
  QListView* GridView() const;
  /// The item under a global position in the view now shown.
  QTreeWidgetItem* ShownItemAt(const QPoint& globalPos) const;

  /// Check boxes on the items, kept in the ShellLink's selection list (without a link they
  /// cannot be turned on). A click on the box or Space toggles the selected items (only the
  /// clicked one when it is not selected).
  bool Checkboxes() const { return FCheckboxes; }
  void SetCheckboxes(bool value);
  /// After an item's shown check state changed (not on its first state).
  std::function<void(TNavShellList&, int itemIndex, const QString& path, TNavSelectionState state)>
      OnCheckStateChanged;
  /// Asks the pool for the item's state in the link's selection list.
  void RequestCheckState(TNavCheckableListItem* item);
  /// Toggles the selected items when clicked is one of them, else clicked alone.
  void ToggleChecks(TNavCheckableListItem* clicked);
  void CheckStateReady(TCheckBoxWorkItem& item) override;
  /// Whether a point of the shown view's viewport lies on an item's check box (in the details
  /// style also left of it).
  TNavCheckableListItem* CheckBoxAt(const QPoint& pos) const;

  TNavShellLink* ShellLink() const { return FShellLink; }
  void SetShellLink(TNavShellLink* link) override;
  TNavShellLink* GetShellLink() const override { return FShellLink; }

  /// Full refill, and the incremental refresh (a refill with more than 500 items).
  void FillList();
  void RefreshList();
  void BrowseToIDList(const INavItemIdList& folder);
  bool BrowseParent();
  /// Back (negative) or forward through the folders shown.
  void NavigateHistory(int step);
  const TPidlHistory& History() const { return FHistory; }
  QString GetItemPath(int index) const;
  /// The shown names of the selected items (the parent entry left out).
  QStringList SelectedNames() const;
  /// Sorts by the column (a second time on the same column flips the order).
  void SortByColumn(int column);
  int SortColumn() const { return FSortColumn; }
  bool SortDescending() const { return FSortDescending; }

  TShellBrowser& Browser() { return FBrowser; }
  TNavShellChangeNotifier& ChangeNotifier() { return FNotifier; }
  /// The 300 ms one-shot timer that batches changes on disk.
  QTimer& RefreshTimer() { return FRefreshTimer; }

  std::function<void(TNavShellList&)> OnPopulated;
  std::function<void(TNavShellList&)> OnPathChanged;
  /// May refuse an item (CanAdd false) or change its caption.
  std::function<void(QTreeWidgetItem* item, bool& canAdd)> OnAddItem;
  /// Runs instead of opening when set.
  std::function<void(TNavShellList&)> OnDblClick;
  /// What a command, drag or drop did: the operations, the files and where they went.
  std::function<void(TNavShellList&, TNavShellOperations, const QStringList& files, const QString& destination)>
      OnOperation;
  /// Failures the user should see when ShowErrorMessages is set (default: a message box).
  std::function<void(const QString&)> OnError;

  // Linked controls and the worker pool.
  void LinkedPathChanged(const INavItemIdList& folder) override;
  void LinkedItemChanged(const INavItemIdList& folder, const INavItemIdList& item) override;
  void LinkedNotify(int kind, const INavItemIdList& list) override;
  void IconReady(int iconIndex, int kind, const void* itemTag) override;
  void ThumbnailReady(const QImage& image, int imageIndex, const void* itemTag) override;

  /// The list's name editor hands over what was typed (the rename happens on disk first).
  void NameTyped(const QModelIndex& index, const QString& text);

  /// Whether an item is the parent entry " .. ".
  static bool IsParentFolderItem(const QTreeWidgetItem* item);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
  QStringList mimeTypes() const override;
  Qt::DropActions supportedDropActions() const override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void ApplyPathChange();
  void CreateColumns();
  bool PassesShowFilter() const;
  QTreeWidgetItem* AddItemForObject();
  void FillItemDetails(QTreeWidgetItem* item);
  void LoadItemImage(QTreeWidgetItem* item);
  void SortItems();
  void HandleShellChange(TNotificationEvent event, const INavItemIdList& item1, const INavItemIdList& item2);
  void RefreshTimerFired();
  QTreeWidgetItem* FindItemByName(const QString& name) const;
  void RestoreSelection(const QStringList& names);
  void OpenItem(QTreeWidgetItem* item);
  void CancelWork();
  void ReportOperation(TNavShellOperations operations, const QStringList& files, const QString& destination);
  /// Where a drop at pos would go ("" when nowhere), and the effect it gets.
  QString DropFolderAt(const QPoint& pos) const;
  Qt::DropAction DropActionFor(const QDropEvent* event, const QString& folder) const;
  void ShowError(const QString& message);
  void CaptionEdited(QTreeWidgetItem* item, const QString& typed);

  TShellBrowser FBrowser;
  TNavShellChangeNotifier FNotifier;
  QTimer FRefreshTimer;
  TPidlHistory FHistory;
  TNavSystemImageList FImages;
  QPointer<TNavShellLink> FShellLink;
  bool FShowFolders = true, FShowFiles = true, FShowHidden = false, FShowParentFolder = false;
  bool FDetails = true, FAutomaticRefresh = true, FIconsByExtension = false;
  bool FFilling = false, FDestroying = false, FNavigatingHistory = false;
  TNavViewStyle FViewStyle = TNavViewStyle::vsReport;
  TNavCopyMode FCopyMode = TNavCopyMode::cmDefault;
  bool FOleDragDrop = true;
  bool FDraggingHere = false;
  bool FThumbnails = false;
  bool FCheckboxes = false;
  bool FToggling = false;
  QPointer<QMenu> FPopupMenu;
  bool FRenaming = false;
  int FAutoSizeColumn = -1;
  void AutoSize();
  // Per special folder: a width for each details column (-3: hidden; 0: its default), and
  // whether the folder's columns were set up yet.
  static constexpr int kColumnSlots = 257;
  std::vector<std::array<int, kColumnSlots>> FColumnTable = std::vector<std::array<int, kColumnSlots>>(kNavShellFolderCount);
  std::array<bool, kNavShellFolderCount> FColumnsSetUp{};
  std::array<int, kNavShellFolderCount> FSortColumnOf{};  // a shell column per kind of folder
  int FolderSlot() const;
  bool ChangeShellColumn(int shellColumn, bool show);
  QTreeWidgetItem* FEditing = nullptr;  // the item whose name is being edited
  void EditorClosed();
  friend class TNavGridView;
  TNavGridView* FGridView = nullptr;  // a child of the list
  bool GridShown() const { return FViewStyle != TNavViewStyle::vsReport; }
  int FThumbnailWidth = 96, FThumbnailHeight = 96;
  TColor FThumbnailBorderColor = clNone;
  bool ThumbnailsShown() const { return FThumbnails && FViewStyle == TNavViewStyle::vsIcon; }
  int FSortColumn = 0;
  bool FSortDescending = false;
};

}  // namespace shell
