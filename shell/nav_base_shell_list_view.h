#pragma once
// What every shell list view needs, whatever it shows: its own browser, report columns that
// stand for the folder's details and are remembered per kind of folder, the sort state with the
// header's arrow, the column chooser on the header, thumbnails, three-state check boxes kept in
// the link's selection list, renaming in place through the browser, the icon and list grids, and
// the report of what a command did. Filling the list and the commands are the descendant's.

#include <QColor>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <QTreeWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

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

class TNavBaseShellListView;
class TNavGridView;

/// An item of the shell lists: a file or folder with a three-state check kept in the link's
/// selection list, the ID lists of what it shows, and a text colour. Its pool work is cancelled
/// when it goes.
class TNavCheckableListItem : public QTreeWidgetItem {
 public:
  /// The box is toggled by the list itself (through the selection list), never by the view.
  TNavCheckableListItem() : QTreeWidgetItem(QTreeWidgetItem::UserType) {
    setFlags(flags() & ~Qt::ItemIsUserCheckable);
  }
  ~TNavCheckableListItem() override;
  TNavBaseShellListView* GetListView() const;
  /// ssUnused until a state was set.
  TNavSelectionState GetCheckState() const;
  /// Shows the state; OnCheckStateChanged fires when the item had a state before.
  void SetCheckState(TNavSelectionState state);
  /// Checked and grayed (part of a folder ticked) count as checked.
  bool IsChecked() const;
  /// Ticks or unticks it in the link's selection list (nothing for ssDisabled and ssUnused); the
  /// state shown then comes from the selection list. Without a link the state is set directly.
  void SetChecked(bool value);
  /// In a list: the path the list gives the item; outside one: the absolute list's path ("" without
  /// one).
  QString GetPath() const;

  /// What the item shows, relative to its folder (one segment) and from the Desktop; null until
  /// the list sets them.
  INavItemIdList RelativeIDList() const { return FRelativeIDList; }
  void SetRelativeIDList(const INavItemIdList& list) { FRelativeIDList = list; }
  INavItemIdList AbsoluteIDList() const { return FAbsoluteIDList; }
  void SetAbsoluteIDList(const INavItemIdList& list) { FAbsoluteIDList = list; }
  /// What the item shows as its name (its caption).
  QString GetCaptionText() const { return text(0); }
  /// Forgets the item's picture and the texts of its details, to be loaded again.
  void ResetImage();
  /// Makes the absolute list again from the item's path (after a rename), and the relative list
  /// its last segment; nothing for an item without a path.
  void RebuildIDLists();

  /// The colour of the item's texts: the palette's window text until one is set.
  QColor TextColor() const;
  /// Colours the texts of every column; an invalid colour gives them back the list's own.
  void SetTextColor(const QColor& color);

  /// Orders this item before (negative), with (0) or after (positive) other by what they show:
  /// with the list sorted on a column after the first that both items have a text in, those
  /// texts case-insensitively; otherwise the captions, numbers inside compared as numbers.
  int CompareByText(const TNavCheckableListItem& other) const;
  /// In a shell list: whether this item comes before other in the list's order (the parent entry
  /// first, then folders, then files, each by the sort column in the list's direction);
  /// elsewhere Qt's order of the texts.
  bool operator<(const QTreeWidgetItem& other) const override;

 private:
  friend class TNavBaseShellListView;
  INavItemIdList FRelativeIDList, FAbsoluteIDList;
  QColor FTextColor;                    // invalid: the default
  const void* FPendingCheck = nullptr;  // the state request whose answer is awaited
};

class TNavBaseShellListView : public QTreeWidget,
                              public INavShellControl,
                              public IIconViewer,
                              public IThumbnailViewer,
                              public ICheckBoxViewer {
  Q_OBJECT

 public:
  // What the items keep besides their texts.
  static constexpr int kNameRole = Qt::UserRole + 1;    // the object's name in its folder
  static constexpr int kFolderRole = Qt::UserRole + 2;  // the object is a folder
  static constexpr int kParentRole = Qt::UserRole + 3;  // the " .. " entry
  static constexpr int kShellColumnRole = Qt::UserRole + 4;
  static constexpr int kCheckStateRole = Qt::UserRole + 5;  // TNavSelectionState, absent before the first
  /// The typed value behind a details cell (bytes as qint64, dates as QDateTime); absent for
  /// columns that are text, which sort by their text.
  static constexpr int kValueRole = Qt::UserRole + 6;
  /// The image-list index of the emblem drawn over the item's icon; 0 or absent for none.
  static constexpr int kOverlayRole = Qt::UserRole + 7;

  enum class TSortStage { ssBeforeSort, ssAfterSort };

  explicit TNavBaseShellListView(QWidget* parent = nullptr);
  /// Cancels the pool work of the list and its items first.
  ~TNavBaseShellListView() override;

  /// Off: only the name column.
  bool Details() const { return FDetails; }
  void SetDetails(bool value);
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
  /// Emblems from the icon theme over the icons: a link, an unreadable item. Not with thumbnails.
  bool ShowOverlayIcons() const { return FShowOverlayIcons; }
  void SetShowOverlayIcons(bool value);
  /// The icon style with 48-pixel icons; turning it on switches to the icon style, any other
  /// style turns it off.
  bool ShowExtraLargeIcons() const { return FLargeSize == TNavImageListSize::si_extralarge; }
  void SetShowExtraLargeIcons(bool value);
  /// The icon style with 256-pixel icons; as ShowExtraLargeIcons.
  bool ShowJumboIcons() const { return FLargeSize == TNavImageListSize::si_jumbo; }
  void SetShowJumboIcons(bool value);
  /// Pixels added to the icon's width and height for a cell of the icon style (default 50).
  int IconSpacing() const { return FIconSpacing; }
  void SetIconSpacing(int value);
  /// The desktop's font for item views (True by default); reads False while ParentFont is set.
  bool UseSystemFont() const { return FUseSystemFont && !FParentFont; }
  void SetUseSystemFont(bool value);
  /// The parent's font instead of the list's own; True also turns UseSystemFont off.
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool value);
  /// The desktop style's hover highlighting of the item under the mouse (True by default).
  bool UseSystemStyles() const { return FUseSystemStyles; }
  void SetUseSystemStyles(bool value);
  /// Right-click on an item shows the shell's menu of the selection, else the list's popup.
  bool ShellContextMenu() const { return FShellContextMenu; }
  void SetShellContextMenu(bool value) { FShellContextMenu = value; }
  /// Right-click on the header shows the column chooser (only with Details).
  bool ShowHeaderContextMenu() const { return FShowHeaderContextMenu; }
  void SetShowHeaderContextMenu(bool value) { FShowHeaderContextMenu = value; }
  /// Tool tips over the items: the folder's path over the parent entry, else the item's kind,
  /// size and date (OnInfoTip may change them). True by default.
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool value) { FShowHint = value; }
  /// A column that takes up the room the others leave (never below 80 pixels); -1 for none.
  int AutoSizeColumn() const { return FAutoSizeColumn; }
  void SetAutoSizeColumn(int column);

  // --- columns, remembered per special folder (all plain folders share one set) ---
  /// Shows or hides a column of the folder's details (by its index among them); the name
  /// column cannot be hidden. OnBeforeShellColumnChanged may refuse.
  bool ShowShellColumn(int shellColumn);
  bool HideShellColumn(int shellColumn);
  /// ShowShellColumn or HideShellColumn.
  bool SetShellColumnVisible(int shellColumn, bool visible);
  /// The list column that shows a column of the folder's details (by its index among them); -1
  /// when it is not shown.
  int FindShellColumn(int shellColumn) const;
  /// Keeps the shown columns' widths for the folder's kind; hidden ones are marked -3.
  void SaveColumnWidths();
  /// The chooser the header's context menu shows: every column once, shown ones ticked.
  std::unique_ptr<QMenu> CreateColumnMenu();
  std::function<void(TNavBaseShellListView&, int shellColumn, bool show, bool& allow)>
      OnBeforeShellColumnChanged;
  std::function<void(TNavBaseShellListView&, int shellColumn, bool show)> OnAfterShellColumnChanged;

  /// Several items may be selected at once (True by default).
  bool MultiSelect() const { return selectionMode() == QAbstractItemView::ExtendedSelection; }
  void SetMultiSelect(bool value);
  /// Selects every item and puts the focus on the list.
  void SelectAll();
  /// Starts editing the selected item's name; the rename happens on disk when the edit ends.
  void EditSelectedCaption();
  /// The shell menu of the selection with the list's own popup merged in; verb gets the
  /// chosen verb. Nothing here: the descendant shows it.
  virtual void ShowItemContextMenu(const QPoint& globalPos, QString& verb) { verb.clear(); }
  /// The list's own menu (not owned): merged into the shell's item menu; shown alone where the
  /// shell's menus are off (ShellContextMenu), and on the background when no background menu is
  /// shown (ShowBackgroundMenu).
  QMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(QMenu* menu) { FPopupMenu = menu; }
  /// Shows a menu for a right-click beside the items (with ShellContextMenu on); false when the
  /// list has none, and the PopupMenu is shown instead. None here.
  virtual bool ShowBackgroundMenu(const QPoint& globalPos) {
    (void)globalPos;
    return false;
  }
  /// When the mouse comes over the list, and when it leaves it.
  std::function<void(TNavBaseShellListView&)> OnMouseEnter, OnMouseLeave;
  /// After a name was typed into the editor (not when the edit was cancelled), before the item
  /// is renamed on disk: may change the name (the old name or an empty one renames nothing).
  std::function<void(TNavBaseShellListView&, QTreeWidgetItem* item, QString& text)> OnEdited;

  /// In the icon style: pictures of the files (the desktop's thumbnails, pictures, video
  /// frames) instead of their icons, ThumbnailWidth × ThumbnailHeight, framed in
  /// ThumbnailBorderColor unless that is clNone. Changing the style turns them off.
  bool Thumbnails() const { return FThumbnails; }
  void SetThumbnails(bool value);
  int ThumbnailWidth() const { return FThumbnailWidth; }
  int ThumbnailHeight() const { return FThumbnailHeight; }
  void SetThumbnailSize(int width, int height);
  void SetThumbnailWidth(int width) { SetThumbnailSize(width, FThumbnailHeight); }
  void SetThumbnailHeight(int height) { SetThumbnailSize(FThumbnailWidth, height); }
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
  /// the same items and selection as the details style. Setting a style, even the one shown,
  /// turns thumbnails off.
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
  std::function<void(TNavBaseShellListView&, int itemIndex, const QString& path, TNavSelectionState state)>
      OnCheckStateChanged;
  /// Asks the pool for the item's state in the link's selection list.
  void RequestCheckState(TNavCheckableListItem* item);
  /// File names (or paths: their last part counts) to select when their items get their icons,
  /// as after a drop; applied once, then forgotten.
  void SetPendingSelection(const QStringList& names) { FPendingSelection = names; }
  /// Toggles the selected items when clicked is one of them, else clicked alone.
  void ToggleChecks(TNavCheckableListItem* clicked);
  void CheckStateReady(TCheckBoxWorkItem& item) override;
  /// Whether a point of the shown view's viewport lies on an item's check box (in the details
  /// style also left of it).
  TNavCheckableListItem* CheckBoxAt(const QPoint& pos) const;

  TNavShellLink* ShellLink() const { return FShellLink; }
  void SetShellLink(TNavShellLink* link) override;
  TNavShellLink* GetShellLink() const override { return FShellLink; }

  /// Full refill, and the incremental refresh.
  virtual void FillList() = 0;
  virtual void RefreshList() = 0;
  /// The full path of the item at index ("" when there is none).
  virtual QString GetItemPath(int index) const = 0;
  /// Sorts by the column: a second time on the same column flips the order, another column
  /// keeps it.
  void SortByColumn(int column);
  /// Makes the column the sort column, in the same direction, without sorting (the next sort
  /// uses it).
  void SetSortColumn(int column);
  int SortColumn() const { return FSortColumn; }
  bool SortDescending() const { return FSortDescending; }

  TShellBrowser& Browser() { return FBrowser; }
  TNavShellChangeNotifier& ChangeNotifier() { return FNotifier; }

  /// What a command, drag or drop did: the operations, the files and where they went.
  std::function<void(TNavBaseShellListView&, TNavShellOperations, const QStringList& files,
                     const QString& destination)>
      OnOperation;
  /// Failures the user should see when ShowErrorMessages is set (default: a message box).
  std::function<void(const QString&)> OnError;
  /// Tells the user of a failure when ShowErrorMessages is set: through OnError, else the prompter.
  void ShowError(const QString& message);
  /// Before and after every sort.
  std::function<void(TNavBaseShellListView&, TSortStage)> OnSort;
  /// May change how two items compare (negative: item1 first) in the ascending order; the result
  /// is turned round when the list sorts descending. Folders stay before files and the parent
  /// entry first: the handler orders the items among their own kind and never sees " .. ".
  std::function<void(TNavBaseShellListView&, QTreeWidgetItem* item1, QTreeWidgetItem* item2, int& compare)>
      OnCompare;
  /// After the report columns were (re)built.
  std::function<void(TNavBaseShellListView&)> OnCreateColumns;
  /// May change or replace a thumbnail (already fitted and framed) before it is shown.
  std::function<void(TNavBaseShellListView&, QTreeWidgetItem* item, QImage& image)> OnThumbnailUpdated;
  /// After an item's image was asked for (again when the thumbnails come or go); may set the
  /// item's icon itself.
  std::function<void(TNavBaseShellListView&, QTreeWidgetItem* item)> OnGetImageIndex;
  /// May change the tool tip shown over an item.
  std::function<void(TNavBaseShellListView&, QTreeWidgetItem* item, QString& tip)> OnInfoTip;

  void IconReady(int iconIndex, int kind, const void* itemTag) override;
  void ThumbnailReady(const QImage& image, int imageIndex, const void* itemTag) override;

  /// The list's name editor hands over what was typed (the rename happens on disk first).
  void NameTyped(const QModelIndex& index, const QString& text);

  /// Whether an item is the parent entry " .. ".
  static bool IsParentFolderItem(const QTreeWidgetItem* item);
  /// The emblem drawn over the item at index (a null icon for none).
  QIcon OverlayIcon(const QModelIndex& index) const;
  /// The tool tip over an item: the descendant's text, passed through OnInfoTip.
  QString HintOf(QTreeWidgetItem* item);
  /// Back (negative) or forward through the folders shown; nothing here.
  virtual void NavigateHistory(int step) { (void)step; }

 protected:
  static QString ItemName(const QTreeWidgetItem* item) { return item->data(0, kNameRole).toString(); }

  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  bool viewportEvent(QEvent* event) override;
  /// Shows the item's tool tip for a tool-tip event of a viewport (the details' or the grid's).
  bool ShowItemHint(QWidget* viewport, QHelpEvent* event, QTreeWidgetItem* item);
  /// The item's own tool-tip text; none here.
  virtual QString InfoTipOf(QTreeWidgetItem* item) const {
    (void)item;
    return {};
  }
  /// Asks for the item's image (the descendant loads it), then fires OnGetImageIndex.
  void RequestItemImage(QTreeWidgetItem* item);
  virtual void LoadItemImage(QTreeWidgetItem* item) { (void)item; }
  /// Fills the item's details columns from the browser's current object (which must be the
  /// item's); nothing here.
  virtual void FillItemDetails(QTreeWidgetItem* item) { (void)item; }
  /// Selects the items of the pending names and forgets them.
  void ApplyPendingSelection();

  /// Reorders the items in place by the sort column (the selection and the current item stay);
  /// the parent entry stays first, folders come before files.
  void SortItems();
  void CancelWork();
  /// Applies what an operation changed (the selection list follows renames; the view drops
  /// deleted items when no refresh will), fires OnOperation and has the link refresh the other
  /// controls after moves, deletions and renames.
  void ReportOperation(TNavShellOperations operations, const QStringList& files, const QString& destination);
  int FolderSlot() const;
  void AutoSize();
  bool GridShown() const { return FViewStyle != TNavViewStyle::vsReport; }
  bool ThumbnailsShown() const { return FThumbnails && FViewStyle == TNavViewStyle::vsIcon; }
  /// Shows the style (never vsSmallIcon), with thumbnails or icons; the items' images are asked
  /// for again when that changes what they show.
  void ShowViewStyle(TNavViewStyle shown, bool thumbnails);

  TShellBrowser FBrowser;
  TNavShellChangeNotifier FNotifier;
  TNavSystemImageList FImages;
  QPointer<TNavShellLink> FShellLink;
  bool FDetails = true, FAutomaticRefresh = true, FIconsByExtension = false;
  bool FFilling = false, FDestroying = false;
  TNavViewStyle FViewStyle = TNavViewStyle::vsReport;
  TNavCopyMode FCopyMode = TNavCopyMode::cmDefault;
  bool FOleDragDrop = true;
  bool FDraggingHere = false;
  bool FThumbnails = false;
  bool FCheckboxes = false;
  bool FToggling = false;
  QPointer<QMenu> FPopupMenu;
  bool FRenaming = false;
  bool FShowOverlayIcons = true;
  TNavImageListSize FLargeSize = TNavImageListSize::si_large;
  int FIconSpacing = 50;
  bool FUseSystemFont = true, FParentFont = false, FUseSystemStyles = true;
  bool FShellContextMenu = true, FShowHeaderContextMenu = true, FShowHint = true;
  QStringList FPendingSelection;
  int FAutoSizeColumn = -1;
  // Per special folder: a width for each details column (-3: hidden; 0: its default), and
  // whether the folder's columns were set up yet.
  static constexpr int kColumnSlots = 257;
  std::vector<std::array<int, kColumnSlots>> FColumnTable =
      std::vector<std::array<int, kColumnSlots>>(kNavShellFolderCount);
  std::array<bool, kNavShellFolderCount> FColumnsSetUp{};
  std::array<int, kNavShellFolderCount> FSortColumnOf{};  // a shell column per kind of folder
  QTreeWidgetItem* FEditing = nullptr;                    // the item whose name is being edited
  TNavGridView* FGridView = nullptr;                      // a child of the list
  int FThumbnailWidth = 96, FThumbnailHeight = 96;
  TColor FThumbnailBorderColor = clNone;
  int FSortColumn = 0;
  bool FSortDescending = false;

 private:
  friend class TNavGridView;
  friend class TNavCheckableListItem;
  /// Whether a comes before b in the list's order, OnCompare asked.
  bool SortsBefore(QTreeWidgetItem* a, QTreeWidgetItem* b);
  bool ChangeShellColumn(int shellColumn, bool show);
  void CaptionEdited(QTreeWidgetItem* item, const QString& typed);
  void EditorClosed();
  /// Asks every item's image again, each emblem gone until it comes, and drops the image work
  /// still on its way for the list.
  void RequestItemImages();
  /// Drops the icon and thumbnail work still on its way for the item (null: for every item).
  void CancelImageWork(const QTreeWidgetItem* item);
};

}  // namespace shell
