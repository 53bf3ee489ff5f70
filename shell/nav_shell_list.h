#pragma once
// A list of one folder's contents, like a file window: the shell's icons, report columns from
// the folder's details, sorting by any column (the parent entry always first), navigation into
// folders and back, and a refresh when the folder changes on disk (changes in a burst give one
// refresh, 300 ms after the last).

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

class TNavShellList : public QTreeWidget, public INavShellControl, public IIconViewer {
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
  TNavViewStyle ViewStyle() const { return FViewStyle; }
  /// vsSmallIcon is shown as vsList; the list and icon styles show the names only.
  void SetViewStyle(TNavViewStyle style);

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

  // Linked controls and the worker pool.
  void LinkedPathChanged(const INavItemIdList& folder) override;
  void LinkedItemChanged(const INavItemIdList& folder, const INavItemIdList& item) override;
  void LinkedNotify(int kind, const INavItemIdList& list) override;
  void IconReady(int iconIndex, int kind, const void* itemTag) override;

  /// Whether an item is the parent entry " .. ".
  static bool IsParentFolderItem(const QTreeWidgetItem* item);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

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
  int FSortColumn = 0;
  bool FSortDescending = false;
};

}  // namespace shell
