#pragma once
// The main window: the list of media files to work on, the output settings on the " Video ",
// " Audio " and " Location " tabs, the toolbar, menus and status bar, and the commands that open
// every other window. Created once at start-up; every other window is created by its command,
// shown modally over this one and freed when it closes.

#include <QMainWindow>
#include <QMargins>
#include <QStringList>
#include <QVector>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/command_line.h"
#include "app/main_window/file_list_model.h"
#include "app/options/output_settings.h"
#include "app/settings/settings.h"
#include "app/window_delays.h"

class QAction;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;
class QStatusBar;
class QWidget;

namespace components {
class TGlassButton;
class TPngImageList;
class TTaskbarMgr;
}
namespace shell {
class TNavBrowseForFolder;
class TNavDropFiles;
class TNavSystemImageList;
}

namespace app {

struct TPreset;

class Tfrm_Main : public QMainWindow {
  Q_OBJECT

 public:
  /// Builds the window and loads the settings file (LoadSettings).
  explicit Tfrm_Main(QWidget* parent = nullptr);
  ~Tfrm_Main() override;

  /// The command line the program was started with (empty by default). A second parameter names
  /// a batch's output folder: then showing the window starts the batch instead of the update
  /// check, the output folder is that parameter and the settings are not saved. Set before show.
  const TCommandLine& CommandLine() const { return FCommandLine; }
  void SetCommandLine(TCommandLine commandLine) { FCommandLine = std::move(commandLine); }
  /// Whether the command line asks for a batch.
  bool BatchRun() const;
  /// The paint waits of this window (tmr_Param) and of the windows it opens (the adding window,
  /// the run windows): kept by default, skipped by an unattended batch (WireBatchMode). Set
  /// before show.
  const TWindowDelays& WindowDelays() const { return FWindowDelays; }
  void SetWindowDelays(TWindowDelays delays) { FWindowDelays = delays; }

  // --- The file list. Each row is one media file: a caption (the file name) and eight sub-items:
  // 0 duration "hh:mm:ss", 1 size text, 2 full path, 3 duration in microseconds, 4 size in bytes,
  // 5 frame rate text or "-", 6 video bit rate text or "-", 7 frame size text or "-".
  // Sub-items 0 to 2 are the "Duration", "Size" and "Source" columns. The full path, duration
  // and size are also kept as values (TFileRow): whatever counts, sorts or opens files uses those.
  static constexpr int kSubItemCount = 8;

  /// Appends a row (the adding window's way in); missing sub-items are empty, extra ones are
  /// dropped. The row is not sorted in: call SortRows when a batch of rows is added. Returns the
  /// new row's index. The totals are not refreshed (UpdateStatusBar does).
  int AddRow(const TFileRow& row);
  /// AddRow of the row the texts give (FileRowFromTexts).
  int AddRow(const QString& caption, const QStringList& subItems);
  int RowCount() const;
  /// Row row as AddRow stored it; an empty row outside the list.
  TFileRow Row(int row) const;
  QString RowCaption(int row) const;
  /// Full path, duration in microseconds and size in bytes of row; empty or 0 outside the list.
  QString RowPath(int row) const;
  int64_t RowDuration(int row) const;
  int64_t RowSize(int row) const;
  /// Sub-item index of row; empty outside the row's range.
  QString SubItem(int row, int index) const;
  QStringList SubItems(int row) const;
  /// Indexes of the selected rows, top to bottom.
  QList<int> SelectedRows() const;
  /// Sorts the rows again by the current sort column and direction, keeping the selection.
  void SortRows();
  int SortColumn() const { return FSortColumn; }
  bool SortDescending() const { return FSortDescending; }

  /// The drop queue: the paths that Paste, drop, Open, the add-files window and the batch mode
  /// collect and the adding window consumes.
  QStringList& DropQueue();
  /// Hands the drop queue to the adding window (ShowAddingWindow) and refreshes the totals. The
  /// queue is left as it is.
  void AddQueuedFiles();
  /// A path the last AddQueuedFiles left out, and why ("no such file", FFmpeg's reason...).
  struct TNotAdded {
    QString Path;
    QString Reason;
    int Count = 1;  // times the path was named (queued, or found in a queued folder)
  };
  /// Filled by the adding window; emptied when AddQueuedFiles starts.
  QVector<TNotAdded>& NotAdded() { return FNotAdded; }
  /// Shows the note while the list is empty and the totals in status panel 0.
  void UpdateStatusBar();
  /// Recomputes the two totals from the durations and sizes of every row.
  void SumTotals();
  int64_t TotalDuration() const { return FTotalDuration; }
  int64_t TotalSize() const { return FTotalSize; }
  /// Text of status panel 0 or 1.
  QString StatusPanelText(int panel) const;

  // --- Output settings.
  /// The option text last built by BuildVideoOptions or BuildAudioOptions; the run windows read it.
  const QString& OptionString() const { return FOptionString; }
  /// Sets OptionString from the current choices, for a conversion or an audio extraction.
  void BuildVideoOptions();
  void BuildAudioOptions();
  /// Refills both encoder lists for the chosen container and selects their first entries. Runs on
  /// a user's change of the container, and from LoadSettings, the presets and Restore defaults.
  void cb_VideoFormatChange();
  /// The current choices of every list, the custom frame size and the effects.
  TOutputSettings OutputSettings() const;
  /// Shows settings in the lists: container first with the encoder lists refilled, then the
  /// other indexes (-1 leaves a list without a selection), the custom frame size and the effects.
  void SetOutputSettings(const TOutputSettings& settings);
  /// Sets the lists as the preset gives them (the Profiles window's OK).
  void ApplyPreset(const TPreset& preset);
  /// The video effects switched on in the Effects window (all off at start).
  const TEffects& Effects() const { return FEffects; }
  void SetEffects(const TEffects& effects) { FEffects = effects; }
  /// The custom frame size: the last entry of the frame-size list.
  QString CustomFrameSize() const;
  /// The Custom size window's OK: selects the first entry from the second one on equal to size,
  /// or replaces the custom entry by size and selects it.
  void SelectFrameSize(const QString& size);
  /// Start folder and view of the add-files window, kept in the settings file.
  const QString& AddFolder() const { return FAddFolder; }
  void SetAddFolder(const QString& folder) { FAddFolder = folder; }
  int AddViewStyle() const { return FAddViewStyle; }
  void SetAddViewStyle(int style) { FAddViewStyle = style; }

  // --- Settings file (SettingsFilePath()); without a per-user configuration folder the
  // defaults are used and nothing is saved.
  void LoadSettings();
  void SaveSettings();
  /// Everything the settings file keeps, as the window shows it now.
  TConverterSettings CollectSettings() const;

  // --- Commands. Each menu entry and toolbar button runs one of these.
  void btn_AddClick();
  void btn_PasteClick();
  void drop_ListDrop();
  void SelectAll1Click();
  void lw_FilesDblClick();
  void btn_PlayClick();
  void btn_PropertiesClick();
  void btn_RemoveClick();
  void New1Click();
  void Open1Click();
  void Save1Click();
  void btn_ConvertClick();
  void btn_ExtractClick();
  void btn_BurnClick();
  void Defaultsettings1Click();
  void btn_ProfilesClick();
  void btn_EffectsClick();
  void btn_CustomClick();
  void btn_BrowseClick();
  void chk_SpecifyClick();
  void Help2Click();
  void About1Click();
  void lw_FilesColumnClick(int column);

  // --- Windows of later parts of the program plug in here; an empty hook does nothing. All
  // run on the user-interface thread, modally, and return when their window has closed.
  /// Add: the add-files window.
  std::function<void()> ShowAddFilesWindow;
  /// AddQueuedFiles: the adding window, which probes DropQueue() and calls AddRow and SortRows.
  std::function<void()> ShowAddingWindow;
  /// Convert: the conversion window, with the output folder (ends with "/", or empty for the
  /// folder of the first processed source). OptionString() is built.
  std::function<void(const QString& outputFolder)> ShowVideoWindow;
  /// Extract: the audio extraction window, as ShowVideoWindow.
  std::function<void(const QString& outputFolder)> ShowAudioWindow;
  /// Burn, with a list that is not empty: the burn window.
  std::function<void()> ShowBurnWindow;
  /// Preview and Properties: the window for the given (first selected) row.
  std::function<void(int row)> ShowPreviewWindow;
  std::function<void(int row)> ShowPropertiesWindow;
  /// Once the window is on screen: the batch mode (a second command-line parameter is present),
  /// otherwise the update check when "Check for Update on Startup" is checked.
  std::function<void()> StartBatch;
  std::function<void()> StartUpdateCheck;

  // --- Components other windows use.
  QTreeWidget* lw_Files() const { return Flw_Files; }
  QComboBox* cb_VideoFormat() const { return Fcb_VideoFormat; }
  QComboBox* cb_AudioFormat() const { return Fcb_AudioFormat; }
  QComboBox* cb_VideoFrameSize() const { return Fcb_VideoFrameSize; }
  components::TTaskbarMgr* prg_Win7() const { return Fprg_Win7; }
  shell::TNavDropFiles* drop_List() const { return Fdrop_List; }
  shell::TNavBrowseForFolder* dlg_AddFolder() const { return Fdlg_AddFolder; }
  shell::TNavSystemImageList* imgl_System() const { return Fimgl_System; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TCommandLine FCommandLine;
  TWindowDelays FWindowDelays;
  enum class TRoad { Convert, Extract };

  void CreateActions();
  void CreateMenus();
  QWidget* CreateToolbar();
  QWidget* CreateSettingsArea();
  QWidget* CreateVideoTab();
  QWidget* CreateAudioTab();
  QWidget* CreateLocationTab();
  void FillLists();
  void FormShow();
  void FormResize();
  void lw_FilesSelectItem();
  void SetSelectionCommandsEnabled(bool enabled);
  void RemoveAllRows();
  void RunRoad(TRoad road);
  /// Decides the output folder of a road; false stops the road (after its message, if any).
  bool DecideOutputFolder(TRoad road, QString& folder);
  void ApplySettings(const TConverterSettings& settings);
  void ShowSortIndicator();
  /// The size the user wants the window to have: the saved one (or 750 x 600) until the window
  /// is given another size than the one FitFrame cut it down to.
  QSize UserSize() const;
  /// Makes userSize the user's size (UserSize()) and gives the window as much of it as lets its
  /// whole frame fit into its screen's free area, moved as little as brings the frame into it.
  /// Runs when the settings are read, when the window shows and when its frame changes.
  void FitFrame(QSize userSize);
  /// Whether a key pressed in control runs a menu command of this window rather than whatever
  /// the control does with it: every menu shortcut does, except the editing keys of a text box
  /// (Ctrl+V pastes the text, Del deletes a character).
  bool MenuShortcutWins(const QObject* control, const QKeyEvent& key) const;
  void Warning(const QString& text);
  void Error(const QString& text);

  // Components, named as the window's own (each widget's objectName is the same name).
  QWidget* Fpnl_Toolbar = nullptr;
  components::TGlassButton* Fbtn_Add = nullptr;
  components::TGlassButton* Fbtn_Options = nullptr;
  components::TGlassButton* Fbtn_Convert = nullptr;
  components::TGlassButton* Fbtn_Extract = nullptr;
  components::TGlassButton* Fbtn_Burn = nullptr;
  components::TGlassButton* Fbtn_Play = nullptr;
  components::TGlassButton* Fbtn_Properties = nullptr;
  components::TGlassButton* Fbtn_Remove = nullptr;
  components::TPngImageList* Fimgl_24 = nullptr;  // toolbar pictures below 120 dpi
  components::TPngImageList* Fimgl_32 = nullptr;  // and from 120 dpi on
  QTreeWidget* Flw_Files = nullptr;
  QWidget* Fpnl_Note = nullptr;
  QLabel* Flbl_Note = nullptr;
  QTabWidget* FPageControl1 = nullptr;
  QWidget* Ftab_Location = nullptr;
  QComboBox* Fcb_VideoFormat = nullptr;
  QComboBox* Fcb_VideoEncoder = nullptr;
  QComboBox* Fcb_VideoFrameSize = nullptr;
  QComboBox* Fcb_VideoAspect = nullptr;
  QComboBox* Fcb_VideoFrameRate = nullptr;
  QComboBox* Fcb_VideoBitrate = nullptr;
  QPushButton* Fbtn_Custom = nullptr;
  QComboBox* Fcb_AudioFormat = nullptr;
  QComboBox* Fcb_AudioEncoder = nullptr;
  QComboBox* Fcb_AudioSampleRate = nullptr;
  QComboBox* Fcb_AudioChannel = nullptr;
  QComboBox* Fcb_AudioBitrate = nullptr;
  QRadioButton* Fchk_Specify = nullptr;
  QRadioButton* Fchk_Original = nullptr;
  QRadioButton* Fchk_Path = nullptr;
  QLineEdit* Ftxt_Path = nullptr;
  QPushButton* Fbtn_Browse = nullptr;
  QPushButton* Fbtn_Profiles = nullptr;
  QPushButton* Fbtn_Effects = nullptr;
  QPushButton* Fbtn_Default = nullptr;
  QStatusBar* Fsts_Bar = nullptr;
  QLabel* FStatusPanels[2] = {nullptr, nullptr};
  QMenu* FPopupMenu1 = nullptr;
  shell::TNavDropFiles* Fdrop_List = nullptr;
  shell::TNavBrowseForFolder* Fdlg_AddFolder = nullptr;
  shell::TNavSystemImageList* Fimgl_System = nullptr;  // the list's small icons
  components::TTaskbarMgr* Fprg_Win7 = nullptr;
  QTimer* Ftmr_Update = nullptr;
  QTimer* Ftmr_Param = nullptr;

  // Menu entries; the Edit menu and the list's pop-up menu share them.
  QAction* FNew1 = nullptr;
  QAction* FOpen1 = nullptr;
  QAction* FSave1 = nullptr;
  QAction* FConvert1 = nullptr;
  QAction* FExtractAudio1 = nullptr;
  QAction* FBurnDisc1 = nullptr;
  QAction* FOptions1 = nullptr;
  QAction* FDefaultsettings1 = nullptr;
  QAction* FExit1 = nullptr;
  QAction* FAddfiles1 = nullptr;
  QAction* FPaste1 = nullptr;
  QAction* FSelectAll1 = nullptr;
  QAction* FPlay1 = nullptr;
  QAction* FPreview1 = nullptr;
  QAction* FProperties1 = nullptr;
  QAction* FRemove1 = nullptr;
  QAction* FHelp2 = nullptr;
  QVector<TNotAdded> FNotAdded;
  QAction* FCheckforUpdate1 = nullptr;
  QAction* FAbout1 = nullptr;

  QString FOptionString;
  QString FAddFolder;
  int FAddViewStyle = 1;
  TEffects FEffects;
  int FSortColumn = 0;
  bool FSortDescending = false;
  int64_t FTotalDuration = 0;
  int64_t FTotalSize = 0;
  bool FShown = false;
  QSize FUserSize;    // UserSize() as of the last fit
  QSize FFittedSize;  // the size the last fit gave the window
  QMargins FFrame;    // the frame the last fit saw
};

}  // namespace app
