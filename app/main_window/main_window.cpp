#include "app/main_window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/about/about.h"
#include "app/batch/batch_mode.h"
#include "app/command_line.h"
#include "app/custom_size/custom_size.h"
#include "app/effects/effects.h"
#include "app/main_window/file_list_model.h"
#include "app/main_window/frame_fit.h"
#include "app/main_window/list_format.h"
#include "app/options/option_builder.h"
#include "app/options/presets.h"
#include "app/pictures/pictures.h"
#include "app/profiles/profiles.h"
#include "app/settings/file_list.h"
#include "components/glass_button.h"
#include "components/png_image_list.h"
#include "components/taskbar_mgr.h"
#include "platform/file_dialogs.h"
#include "platform/folder_access.h"
#include "platform/prompter.h"
#include "platform/shell_open.h"
#include "shell/nav_browse_for_folder.h"
#include "shell/nav_drop_files.h"
#include "shell/nav_system_image_list.h"
#include "shell/shell_data.h"

namespace app {

namespace {

// The list columns and the sub-item each one shows after the caption.
constexpr int kColumnCount = 4;
// Timers that start the batch or the update check once the window is on screen.
constexpr int kStartTimerMs = 100;
// Size of the toolbar's buttons: picture on top, caption below.
constexpr int kToolbarButtonWidth = 68;
constexpr int kToolbarButtonHeight = 64;

const QString kAddOneFile = QStringLiteral("Please add at least one file to the list.");

QLabel* FieldLabel(const QString& text, bool bold = false) {
  auto* label = new QLabel(text);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  return label;
}

QComboBox* DropDownList(const char* name) {
  auto* combo = new QComboBox;
  combo->setObjectName(QLatin1String(name));
  combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  combo->setMinimumContentsLength(10);
  return combo;
}

// The keys a text box keeps for its own editing when they are also menu shortcuts: the clipboard,
// undo and redo, select all, and deleting.
bool IsTextEditingKey(const QKeyEvent& key) {
  static const QKeySequence keys[] = {
      QKeySequence(Qt::CTRL | Qt::Key_C),      QKeySequence(Qt::CTRL | Qt::Key_X),
      QKeySequence(Qt::CTRL | Qt::Key_V),      QKeySequence(Qt::CTRL | Qt::Key_Z),
      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y),
      QKeySequence(Qt::CTRL | Qt::Key_A),      QKeySequence(Qt::Key_Delete),
      QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence(Qt::Key_Backspace),
      QKeySequence(Qt::SHIFT | Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::Key_Insert),
  };
  const QKeySequence pressed(key.keyCombination());
  return std::find(std::begin(keys), std::end(keys), pressed) != std::end(keys);
}

}  // namespace

Tfrm_Main::Tfrm_Main(QWidget* parent)
    : QMainWindow(parent) {
  setObjectName(QStringLiteral("frm_Main"));
  FUserSize = QSize(750, 600);
  resize(FUserSize);

  Fdrop_List = new shell::TNavDropFiles(this);
  Fdrop_List->setObjectName(QStringLiteral("drop_List"));
  Fdrop_List->OnDrop = [this](shell::TNavDropFiles&, const shell::TNavKeyState&, const QPoint&,
                              shell::TNavDropEffect& effect) {
    effect = shell::TNavDropEffect::deCopy;
    drop_ListDrop();
  };
  Fdlg_AddFolder = new shell::TNavBrowseForFolder(this);
  Fdlg_AddFolder->setObjectName(QStringLiteral("dlg_AddFolder"));
  Fdlg_AddFolder->SetOptions(shell::TNavBrowseFlag::bfNewDialogStyle | shell::TNavBrowseFlag::bfFileSystemOnly |
                             shell::TNavBrowseFlag::bfEditBox);
  Fimgl_System = new shell::TNavSystemImageList(this);
  Fimgl_System->setObjectName(QStringLiteral("imgl_System"));
  Fdlg_AddFolder->SetTitle(QStringLiteral("Specify destination folder."));
  Fprg_Win7 = new components::TTaskbarMgr(this);
  Fprg_Win7->setObjectName(QStringLiteral("prg_Win7"));
  Ftmr_Update = new QTimer(this);
  Ftmr_Update->setObjectName(QStringLiteral("tmr_Update"));
  Ftmr_Param = new QTimer(this);
  Ftmr_Param->setObjectName(QStringLiteral("tmr_Param"));
  for (QTimer* timer : {Ftmr_Update, Ftmr_Param}) {
    timer->setInterval(kStartTimerMs);
    timer->setSingleShot(true);
  }
  connect(Ftmr_Update, &QTimer::timeout, this, [this] {
    if (StartUpdateCheck) StartUpdateCheck();
  });
  connect(Ftmr_Param, &QTimer::timeout, this, [this] {
    if (StartBatch) StartBatch();
  });

  CreateActions();
  CreateMenus();

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(6, 0, 6, 6);
  layout->setSpacing(6);
  layout->addWidget(CreateToolbar());

  Flw_Files = new QTreeWidget;
  Flw_Files->setObjectName(QStringLiteral("lw_Files"));
  Flw_Files->setColumnCount(kColumnCount);
  Flw_Files->setHeaderLabels(
      {QStringLiteral("Name"), QStringLiteral("Duration"), QStringLiteral("Size"), QStringLiteral("Source")});
  Flw_Files->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  Flw_Files->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  Flw_Files->setRootIsDecorated(false);
  Flw_Files->setUniformRowHeights(true);
  Flw_Files->setAllColumnsShowFocus(true);
  Flw_Files->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Flw_Files->setSelectionBehavior(QAbstractItemView::SelectRows);
  Flw_Files->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Flw_Files->setContextMenuPolicy(Qt::CustomContextMenu);
  Flw_Files->header()->setStretchLastSection(false);
  Flw_Files->header()->setSectionsMovable(false);
  Flw_Files->header()->setSectionsClickable(true);
  Flw_Files->header()->setSortIndicatorShown(true);
  const int defaultWidths[kColumnCount] = {300, 100, 100, 200};
  for (int i = 0; i < kColumnCount; ++i) Flw_Files->header()->resizeSection(i, defaultWidths[i]);
  Flw_Files->installEventFilter(this);
  Flw_Files->viewport()->installEventFilter(this);
  connect(Flw_Files->header(), &QHeaderView::sectionClicked, this, &Tfrm_Main::lw_FilesColumnClick);
  connect(Flw_Files, &QTreeWidget::itemSelectionChanged, this, &Tfrm_Main::lw_FilesSelectItem);
  connect(Flw_Files, &QTreeWidget::itemDoubleClicked, this, [this] { lw_FilesDblClick(); });
  connect(Flw_Files, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { FPopupMenu1->popup(Flw_Files->viewport()->mapToGlobal(pos)); });
  Fdrop_List->SetControl(Flw_Files);
  layout->addWidget(Flw_Files, 1);

  // The note floats over the list while it is empty; mouse events and drops pass through it to
  // the list.
  Fpnl_Note = new QWidget(Flw_Files->viewport());
  Fpnl_Note->setObjectName(QStringLiteral("pnl_Note"));
  Fpnl_Note->setAttribute(Qt::WA_TransparentForMouseEvents);
  Fpnl_Note->setAutoFillBackground(true);
  QPalette notePalette = Fpnl_Note->palette();
  notePalette.setColor(QPalette::Window, Qt::white);
  Fpnl_Note->setPalette(notePalette);
  Flbl_Note = new QLabel(QStringLiteral("Drag and drop files here"), Fpnl_Note);
  Flbl_Note->setObjectName(QStringLiteral("lbl_Note"));
  Flbl_Note->setAlignment(Qt::AlignCenter);
  QPalette labelPalette = Flbl_Note->palette();
  labelPalette.setColor(QPalette::WindowText, palette().color(QPalette::Disabled, QPalette::WindowText));
  Flbl_Note->setPalette(labelPalette);
  auto* noteLayout = new QVBoxLayout(Fpnl_Note);
  noteLayout->setContentsMargins(24, 12, 24, 12);
  noteLayout->addWidget(Flbl_Note);
  Fpnl_Note->adjustSize();

  layout->addWidget(CreateSettingsArea());
  setCentralWidget(central);

  Fsts_Bar = new QStatusBar;
  Fsts_Bar->setObjectName(QStringLiteral("sts_Bar"));
  for (int i = 0; i < 2; ++i) {
    FStatusPanels[i] = new QLabel;
    FStatusPanels[i]->setObjectName(QStringLiteral("sts_Bar_Panel%1").arg(i));
    Fsts_Bar->addWidget(FStatusPanels[i], i);
  }
  setStatusBar(Fsts_Bar);

  FPopupMenu1 = new QMenu(this);
  FPopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  FPopupMenu1->addActions({FAddfiles1, FPaste1, FSelectAll1});
  FPopupMenu1->addSeparator();
  FPopupMenu1->addActions({FPlay1, FPreview1, FProperties1});
  FPopupMenu1->addSeparator();
  FPopupMenu1->addAction(FRemove1);

  // A control that takes keys for itself (the path box reads Ctrl+E as "end of line") would keep
  // the menu shortcuts from working while it has the focus.
  for (QWidget* control : findChildren<QWidget*>())
    if (control->focusPolicy() != Qt::NoFocus) control->installEventFilter(this);

  FillLists();
  SetSelectionCommandsEnabled(false);
  LoadSettings();
  setWindowTitle(QStringLiteral("Tarsel Video Converter"));
  UpdateStatusBar();
}

Tfrm_Main::~Tfrm_Main() = default;

bool Tfrm_Main::BatchRun() const { return IsBatchCommandLine(FCommandLine); }

void Tfrm_Main::CreateActions() {
  const auto make = [this](const char* name, const QString& text, const QKeySequence& shortcut,
                           void (Tfrm_Main::*handler)()) {
    auto* action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    if (handler != nullptr) connect(action, &QAction::triggered, this, handler);
    addAction(action);
    return action;
  };
  FNew1 = make("New1", QStringLiteral("New"), QKeySequence(Qt::CTRL | Qt::Key_N), &Tfrm_Main::New1Click);
  FOpen1 =
      make("Open1", QStringLiteral("Open..."), QKeySequence(Qt::CTRL | Qt::Key_O), &Tfrm_Main::Open1Click);
  FSave1 =
      make("Save1", QStringLiteral("Save..."), QKeySequence(Qt::CTRL | Qt::Key_S), &Tfrm_Main::Save1Click);
  FConvert1 =
      make("Convert1", QStringLiteral("Convert..."), QKeySequence(Qt::Key_F9), &Tfrm_Main::btn_ConvertClick);
  FExtractAudio1 = make("ExtractAudio1", QStringLiteral("Extract Audio..."),
                        QKeySequence(Qt::CTRL | Qt::Key_E), &Tfrm_Main::btn_ExtractClick);
  FBurnDisc1 = make("BurnDisc1", QStringLiteral("Burn Disc..."), QKeySequence(Qt::CTRL | Qt::Key_B),
                    &Tfrm_Main::btn_BurnClick);
  FOptions1 = make("Options1", QStringLiteral("Options..."), QKeySequence(Qt::Key_F10), nullptr);
  FOptions1->setVisible(false);
  FDefaultsettings1 = make("Defaultsettings1", QStringLiteral("Restore default settings"), QKeySequence(),
                           &Tfrm_Main::Defaultsettings1Click);
  FExit1 = make("Exit1", QStringLiteral("Exit"), QKeySequence(), nullptr);
  connect(FExit1, &QAction::triggered, this, &QWidget::close);
  FAddfiles1 = make("Addfiles1", QStringLiteral("Add files..."), QKeySequence(Qt::CTRL | Qt::Key_D),
                    &Tfrm_Main::btn_AddClick);
  FPaste1 =
      make("Paste1", QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V), &Tfrm_Main::btn_PasteClick);
  FSelectAll1 = make("SelectAll1", QStringLiteral("Select All"), QKeySequence(Qt::CTRL | Qt::Key_A),
                     &Tfrm_Main::SelectAll1Click);
  FPlay1 = make("Play1", QStringLiteral("Play"), QKeySequence(), &Tfrm_Main::lw_FilesDblClick);
  FPreview1 =
      make("Preview1", QStringLiteral("Preview"), QKeySequence(Qt::Key_F3), &Tfrm_Main::btn_PlayClick);
  FProperties1 = make("Properties1", QStringLiteral("Properties"), QKeySequence(Qt::Key_F4),
                      &Tfrm_Main::btn_PropertiesClick);
  FRemove1 =
      make("Remove1", QStringLiteral("Remove"), QKeySequence(Qt::Key_Delete), &Tfrm_Main::btn_RemoveClick);
  FHelp2 = make("Help2", QStringLiteral("Help"), QKeySequence(Qt::Key_F1), &Tfrm_Main::Help2Click);
  FCheckforUpdate1 = make("CheckforUpdateonStartup1", QStringLiteral("Check for Update on Startup"),
                          QKeySequence(), nullptr);
  FCheckforUpdate1->setCheckable(true);
  FCheckforUpdate1->setChecked(true);
  FAbout1 = make("About1", QStringLiteral("About"), QKeySequence(), &Tfrm_Main::About1Click);
}

void Tfrm_Main::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("mnu_Main"));
  QMenu* file = bar->addMenu(QStringLiteral("File"));
  file->setObjectName(QStringLiteral("File1"));
  file->addActions({FNew1, FOpen1, FSave1});
  file->addSeparator();
  file->addActions({FConvert1, FExtractAudio1, FBurnDisc1});
  file->addSeparator();
  file->addActions({FOptions1, FDefaultsettings1});
  file->addSeparator();
  file->addAction(FExit1);
  QMenu* edit = bar->addMenu(QStringLiteral("Edit"));
  edit->setObjectName(QStringLiteral("Edit1"));
  edit->addActions({FAddfiles1, FPaste1, FSelectAll1});
  edit->addSeparator();
  edit->addActions({FPlay1, FPreview1, FProperties1});
  edit->addSeparator();
  edit->addAction(FRemove1);
  QMenu* help = bar->addMenu(QStringLiteral("Help"));
  help->setObjectName(QStringLiteral("Help1"));
  help->addAction(FHelp2);
  help->addSeparator();
  help->addAction(FCheckforUpdate1);
  help->addSeparator();
  help->addAction(FAbout1);
}

QWidget* Tfrm_Main::CreateToolbar() {
  Fpnl_Toolbar = new QWidget;
  Fpnl_Toolbar->setObjectName(QStringLiteral("pnl_Toolbar"));
  auto* layout = new QHBoxLayout(Fpnl_Toolbar);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->setSpacing(2);
  Fimgl_24 = new components::TPngImageList(this);
  Fimgl_24->setObjectName(QStringLiteral("imgl_24"));
  FillToolbarImages(*Fimgl_24, 24);
  Fimgl_32 = new components::TPngImageList(this);
  Fimgl_32->setObjectName(QStringLiteral("imgl_32"));
  FillToolbarImages(*Fimgl_32, 32);
  // The larger pictures from 120 dots per inch on; the picture's distance from the top is a
  // quarter of the room the picture leaves.
  const qreal dpi = screen() != nullptr ? screen()->logicalDotsPerInch() : 96.0;
  components::TPngImageList* images = dpi >= 120 ? Fimgl_32 : Fimgl_24;
  const int imageOffset = (kToolbarButtonHeight - images->Height()) / 4;
  const auto button = [&](const char* name, const QString& caption, const QString& hint, TToolbarPicture picture,
                          void (Tfrm_Main::*handler)()) {
    auto* b = new components::TGlassButton;
    b->setObjectName(QLatin1String(name));
    b->setText(caption);
    b->setToolTip(hint);
    b->setFixedSize(kToolbarButtonWidth, kToolbarButtonHeight);
    b->SetGlyphPos(components::TGlyphPos::gpTop);
    b->SetImages(images);
    b->SetImageIndex(static_cast<int>(picture));
    b->SetImageOffset(imageOffset);
    b->SetTextAlign(components::TTextAlign::taCenter);
    b->SetGlossy(true);
    b->SetColorDown(QColor(0x9f, 0xb4, 0xcc));
    b->SetColorFrame(QColor(0x6f, 0x88, 0xa8));
    // Every command has a shortcut; the toolbar stays out of the keyboard's way.
    b->setFocusPolicy(Qt::NoFocus);
    if (handler != nullptr) connect(b, &QAbstractButton::clicked, this, handler);
    layout->addWidget(b);
    return b;
  };
  const auto separator = [&] {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedHeight(kToolbarButtonHeight - 16);
    layout->addSpacing(4);
    layout->addWidget(line, 0, Qt::AlignVCenter);
    layout->addSpacing(4);
  };
  Fbtn_Add = button("btn_Add", QStringLiteral("Add"), QStringLiteral("Add files (Ctrl+D)"), TToolbarPicture::Add,
                    &Tfrm_Main::btn_AddClick);
  Fbtn_Options = button("btn_Options", QStringLiteral("Options"), QString(), TToolbarPicture::Options, nullptr);
  Fbtn_Options->setVisible(false);
  separator();
  Fbtn_Convert = button("btn_Convert", QStringLiteral("Convert"), QStringLiteral("Convert files (F9)"),
                        TToolbarPicture::Convert, &Tfrm_Main::btn_ConvertClick);
  Fbtn_Extract = button("btn_Extract", QStringLiteral("Extract"), QStringLiteral("Extract audio (Ctrl+E)"),
                        TToolbarPicture::Extract, &Tfrm_Main::btn_ExtractClick);
  Fbtn_Burn = button("btn_Burn", QStringLiteral("Burn"), QStringLiteral("Burn disc (Ctrl+B)"), TToolbarPicture::Burn,
                     &Tfrm_Main::btn_BurnClick);
  separator();
  Fbtn_Play = button("btn_Play", QStringLiteral("Preview"), QStringLiteral("Preview (F3)"), TToolbarPicture::Preview,
                     &Tfrm_Main::btn_PlayClick);
  Fbtn_Properties = button("btn_Properties", QStringLiteral("Properties"), QStringLiteral("Properties (F4)"),
                           TToolbarPicture::Properties, &Tfrm_Main::btn_PropertiesClick);
  Fbtn_Remove = button("btn_Remove", QStringLiteral("Remove"), QStringLiteral("Remove (Del)"),
                       TToolbarPicture::Remove, &Tfrm_Main::btn_RemoveClick);
  layout->addStretch(1);
  return Fpnl_Toolbar;
}

QWidget* Tfrm_Main::CreateSettingsArea() {
  auto* area = new QWidget;
  auto* layout = new QHBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);

  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(4);
  const auto button = [&](const char* name, const QString& caption, void (Tfrm_Main::*handler)()) {
    auto* b = new QPushButton(caption);
    b->setObjectName(QLatin1String(name));
    b->setMinimumWidth(90);
    connect(b, &QPushButton::clicked, this, handler);
    buttons->addWidget(b);
    return b;
  };
  buttons->addSpacing(22);  // level with the tab pages rather than with the tab bar
  Fbtn_Profiles = button("btn_Profiles", QStringLiteral("Profiles"), &Tfrm_Main::btn_ProfilesClick);
  Fbtn_Effects = button("btn_Effects", QStringLiteral("Effects"), &Tfrm_Main::btn_EffectsClick);
  Fbtn_Default = button("btn_Default", QStringLiteral("Default"), &Tfrm_Main::Defaultsettings1Click);
  buttons->addStretch(1);
  layout->addLayout(buttons);

  FPageControl1 = new QTabWidget;
  FPageControl1->setObjectName(QStringLiteral("PageControl1"));
  FPageControl1->addTab(CreateVideoTab(), QStringLiteral(" Video "));
  FPageControl1->addTab(CreateAudioTab(), QStringLiteral(" Audio "));
  Ftab_Location = CreateLocationTab();
  FPageControl1->addTab(Ftab_Location, QStringLiteral(" Location "));
  layout->addWidget(FPageControl1, 1);
  return area;
}

QWidget* Tfrm_Main::CreateVideoTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tab_Video"));
  auto* grid = new QGridLayout(tab);
  grid->setHorizontalSpacing(8);
  grid->setColumnMinimumWidth(2, 24);
  grid->setColumnStretch(5, 1);
  Fcb_VideoFormat = DropDownList("cb_VideoFormat");
  Fcb_VideoEncoder = DropDownList("cb_VideoEncoder");
  Fcb_VideoFrameSize = DropDownList("cb_VideoFrameSize");
  Fcb_VideoAspect = DropDownList("cb_VideoAspect");
  Fcb_VideoFrameRate = DropDownList("cb_VideoFrameRate");
  Fcb_VideoBitrate = DropDownList("cb_VideoBitrate");
  Fbtn_Custom = new QPushButton(QStringLiteral("..."));
  Fbtn_Custom->setObjectName(QStringLiteral("btn_Custom"));
  Fbtn_Custom->setToolTip(QStringLiteral("Set custom frame size"));
  Fbtn_Custom->setFixedWidth(Fbtn_Custom->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
  connect(Fbtn_Custom, &QPushButton::clicked, this, &Tfrm_Main::btn_CustomClick);
  connect(Fcb_VideoFormat, &QComboBox::activated, this, [this] { cb_VideoFormatChange(); });

  grid->addWidget(FieldLabel(QStringLiteral("Format:"), true), 0, 0);
  grid->addWidget(Fcb_VideoFormat, 0, 1);
  grid->addWidget(FieldLabel(QStringLiteral("Encoder:")), 1, 0);
  grid->addWidget(Fcb_VideoEncoder, 1, 1);
  grid->addWidget(FieldLabel(QStringLiteral("Resolution:")), 2, 0);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->setSpacing(2);
  sizeRow->addWidget(Fcb_VideoFrameSize, 1);
  sizeRow->addWidget(Fbtn_Custom);
  grid->addLayout(sizeRow, 2, 1);
  grid->addWidget(FieldLabel(QStringLiteral("Aspect ratio:")), 0, 3);
  grid->addWidget(Fcb_VideoAspect, 0, 4);
  grid->addWidget(FieldLabel(QStringLiteral("Frame rate:")), 1, 3);
  grid->addWidget(Fcb_VideoFrameRate, 1, 4);
  grid->addWidget(FieldLabel(QStringLiteral("Bit rate:")), 2, 3);
  grid->addWidget(Fcb_VideoBitrate, 2, 4);
  grid->setRowStretch(3, 1);
  return tab;
}

QWidget* Tfrm_Main::CreateAudioTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tab_Audio"));
  auto* grid = new QGridLayout(tab);
  grid->setHorizontalSpacing(8);
  grid->setColumnMinimumWidth(2, 24);
  grid->setColumnStretch(5, 1);
  Fcb_AudioFormat = DropDownList("cb_AudioFormat");
  Fcb_AudioEncoder = DropDownList("cb_AudioEncoder");
  Fcb_AudioSampleRate = DropDownList("cb_AudioSampleRate");
  Fcb_AudioChannel = DropDownList("cb_AudioChannel");
  Fcb_AudioBitrate = DropDownList("cb_AudioBitrate");
  grid->addWidget(FieldLabel(QStringLiteral("Format:"), true), 0, 0);
  grid->addWidget(Fcb_AudioFormat, 0, 1);
  grid->addWidget(FieldLabel(QStringLiteral("Encoder:")), 1, 0);
  grid->addWidget(Fcb_AudioEncoder, 1, 1);
  grid->addWidget(FieldLabel(QStringLiteral("Sample rate:")), 2, 0);
  grid->addWidget(Fcb_AudioSampleRate, 2, 1);
  grid->addWidget(FieldLabel(QStringLiteral("Channel:")), 0, 3);
  grid->addWidget(Fcb_AudioChannel, 0, 4);
  grid->addWidget(FieldLabel(QStringLiteral("Bit rate:")), 1, 3);
  grid->addWidget(Fcb_AudioBitrate, 1, 4);
  grid->setRowStretch(3, 1);
  return tab;
}

QWidget* Tfrm_Main::CreateLocationTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("tab_Location"));
  auto* layout = new QVBoxLayout(tab);
  Fchk_Specify = new QRadioButton(QStringLiteral("Specify output path"));
  Fchk_Specify->setObjectName(QStringLiteral("chk_Specify"));
  Fchk_Specify->setChecked(true);
  Fchk_Original = new QRadioButton(QStringLiteral("Use original path"));
  Fchk_Original->setObjectName(QStringLiteral("chk_Original"));
  Fchk_Path = new QRadioButton(QStringLiteral("Use following path:"));
  Fchk_Path->setObjectName(QStringLiteral("chk_Path"));
  Ftxt_Path = new QLineEdit;
  Ftxt_Path->setObjectName(QStringLiteral("txt_Path"));
  Ftxt_Path->setEnabled(false);
  Fbtn_Browse = new QPushButton(QStringLiteral("..."));
  Fbtn_Browse->setObjectName(QStringLiteral("btn_Browse"));
  Fbtn_Browse->setEnabled(false);
  Fbtn_Browse->setFixedWidth(Fbtn_Browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
  connect(Fbtn_Browse, &QPushButton::clicked, this, &Tfrm_Main::btn_BrowseClick);
  for (QRadioButton* choice : {Fchk_Specify, Fchk_Original, Fchk_Path})
    connect(choice, &QRadioButton::toggled, this, [this] { chk_SpecifyClick(); });
  layout->addWidget(Fchk_Specify);
  layout->addWidget(Fchk_Original);
  layout->addWidget(Fchk_Path);
  auto* pathRow = new QHBoxLayout;
  pathRow->setContentsMargins(20, 0, 0, 0);
  pathRow->setSpacing(2);
  pathRow->addWidget(Ftxt_Path, 1);
  pathRow->addWidget(Fbtn_Browse);
  layout->addLayout(pathRow);
  layout->addStretch(1);
  return tab;
}

void Tfrm_Main::FillLists() {
  Fcb_VideoFormat->addItems(VideoFormats());
  Fcb_VideoFrameSize->addItems(VideoFrameSizes(QString::fromLatin1(kDefaultCustomFrameSize)));
  Fcb_VideoAspect->addItems(VideoAspects());
  Fcb_VideoFrameRate->addItems(VideoFrameRates());
  Fcb_VideoBitrate->addItems(VideoBitrates());
  Fcb_AudioFormat->addItems(AudioFormats());
  Fcb_AudioSampleRate->addItems(AudioSampleRates());
  Fcb_AudioChannel->addItems(AudioChannels());
  Fcb_AudioBitrate->addItems(AudioBitrates());
  cb_VideoFormatChange();
}

// --- Rows -------------------------------------------------------------------------------------

int Tfrm_Main::AddRow(const QString& caption, const QStringList& subItems) {
  return AddRow(FileRowFromTexts(caption, subItems));
}

int Tfrm_Main::AddRow(const TFileRow& row) {
  TFileRow shown = row;
  shown.SubItems = row.SubItems.mid(0, kSubItemCount);
  while (shown.SubItems.size() < kSubItemCount) shown.SubItems.append(QString());
  auto* item = new QTreeWidgetItem;
  WriteFileRow(*item, shown);
  item->setIcon(0, Fimgl_System->Icon(shell::TNavSystemImageList::GetIconIndexForName(shown.Path, false, false)));
  Flw_Files->addTopLevelItem(item);
  return Flw_Files->indexOfTopLevelItem(item);
}

int Tfrm_Main::RowCount() const { return Flw_Files->topLevelItemCount(); }

TFileRow Tfrm_Main::Row(int row) const {
  const QTreeWidgetItem* item = Flw_Files->topLevelItem(row);
  return item != nullptr ? ReadFileRow(*item) : TFileRow();
}

QString Tfrm_Main::RowCaption(int row) const {
  const QTreeWidgetItem* item = Flw_Files->topLevelItem(row);
  return item != nullptr ? FileRowCaption(*item) : QString();
}

QString Tfrm_Main::RowPath(int row) const {
  const QTreeWidgetItem* item = Flw_Files->topLevelItem(row);
  return item != nullptr ? FileRowPath(*item) : QString();
}

int64_t Tfrm_Main::RowDuration(int row) const {
  const QTreeWidgetItem* item = Flw_Files->topLevelItem(row);
  return item != nullptr ? FileRowDuration(*item) : 0;
}

int64_t Tfrm_Main::RowSize(int row) const {
  const QTreeWidgetItem* item = Flw_Files->topLevelItem(row);
  return item != nullptr ? FileRowSize(*item) : 0;
}

QString Tfrm_Main::SubItem(int row, int index) const { return SubItems(row).value(index); }

QStringList Tfrm_Main::SubItems(int row) const {
  const QTreeWidgetItem* item = Flw_Files->topLevelItem(row);
  return item != nullptr ? FileRowSubItems(*item) : QStringList();
}

QList<int> Tfrm_Main::SelectedRows() const {
  QList<int> rows;
  for (int i = 0; i < Flw_Files->topLevelItemCount(); ++i)
    if (Flw_Files->topLevelItem(i)->isSelected()) rows.append(i);
  return rows;
}

void Tfrm_Main::SortRows() {
  QList<QTreeWidgetItem*> selected = Flw_Files->selectedItems();
  QTreeWidgetItem* current = Flw_Files->currentItem();
  Flw_Files->setUpdatesEnabled(false);
  {
    const QSignalBlocker blocker(Flw_Files);
    QList<QTreeWidgetItem*> items = Flw_Files->invisibleRootItem()->takeChildren();
    const int column = FSortColumn;
    const bool descending = FSortDescending;
    std::stable_sort(items.begin(), items.end(),
                     [column, descending](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                       const int result = CompareFileRows(*a, *b, column);
                       return descending ? result > 0 : result < 0;
                     });
    Flw_Files->addTopLevelItems(items);
    for (QTreeWidgetItem* item : selected) item->setSelected(true);
    if (current != nullptr)
      Flw_Files->selectionModel()->setCurrentIndex(Flw_Files->indexFromItem(current),
                                                   QItemSelectionModel::NoUpdate);
  }
  Flw_Files->setUpdatesEnabled(true);
  lw_FilesSelectItem();
}

void Tfrm_Main::ShowSortIndicator() {
  Flw_Files->header()->setSortIndicator(FSortColumn,
                                        FSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void Tfrm_Main::lw_FilesColumnClick(int column) {
  if (column == FSortColumn) {
    FSortDescending = !FSortDescending;
  } else {
    FSortColumn = column;
    FSortDescending = false;
  }
  ShowSortIndicator();
  SortRows();
}

void Tfrm_Main::SetSelectionCommandsEnabled(bool enabled) {
  for (QWidget* button : {static_cast<QWidget*>(Fbtn_Remove), static_cast<QWidget*>(Fbtn_Properties),
                          static_cast<QWidget*>(Fbtn_Play)})
    button->setEnabled(enabled);
  for (QAction* action : {FPlay1, FPreview1, FProperties1, FRemove1}) action->setEnabled(enabled);
}

void Tfrm_Main::lw_FilesSelectItem() {
  // Panel 1 always describes the rows selected now, also after a single row was deselected
  // among several.
  const QList<int> rows = SelectedRows();
  SetSelectionCommandsEnabled(!rows.isEmpty());
  int64_t bytes = 0;
  for (int row : rows) bytes += RowSize(row);
  FStatusPanels[1]->setText(SelectionText(static_cast<int>(rows.size()), bytes));
}

// --- Totals and status bar ----------------------------------------------------------------------

QStringList& Tfrm_Main::DropQueue() { return Fdrop_List->Files(); }

void Tfrm_Main::AddQueuedFiles() {
  FNotAdded.clear();
  if (ShowAddingWindow) ShowAddingWindow();
  UpdateStatusBar();
}

void Tfrm_Main::SumTotals() {
  FTotalDuration = 0;
  FTotalSize = 0;
  for (int i = 0; i < RowCount(); ++i) {
    FTotalDuration += RowDuration(i);
    FTotalSize += RowSize(i);
  }
}

void Tfrm_Main::UpdateStatusBar() {
  Fpnl_Note->setVisible(RowCount() == 0);
  SumTotals();
  FStatusPanels[0]->setText(TotalsText(RowCount(), FTotalSize, FTotalDuration));
}

QString Tfrm_Main::StatusPanelText(int panel) const {
  return panel >= 0 && panel < 2 ? FStatusPanels[panel]->text() : QString();
}

// --- Output settings ----------------------------------------------------------------------------

void Tfrm_Main::cb_VideoFormatChange() {
  const QString format = Fcb_VideoFormat->currentText();
  Fcb_VideoEncoder->clear();
  Fcb_VideoEncoder->addItems(VideoEncodersFor(format));
  Fcb_VideoEncoder->setCurrentIndex(0);
  Fcb_AudioEncoder->clear();
  Fcb_AudioEncoder->addItems(AudioEncodersFor(format));
  Fcb_AudioEncoder->setCurrentIndex(0);
}

TOutputSettings Tfrm_Main::OutputSettings() const {
  TOutputSettings s;
  s.VideoFormat = Fcb_VideoFormat->currentIndex();
  s.VideoEncoder = Fcb_VideoEncoder->currentIndex();
  s.VideoAspect = Fcb_VideoAspect->currentIndex();
  s.VideoFrameSize = Fcb_VideoFrameSize->currentIndex();
  s.VideoFrameRate = Fcb_VideoFrameRate->currentIndex();
  s.VideoBitrate = Fcb_VideoBitrate->currentIndex();
  s.AudioFormat = Fcb_AudioFormat->currentIndex();
  s.AudioEncoder = Fcb_AudioEncoder->currentIndex();
  s.AudioChannel = Fcb_AudioChannel->currentIndex();
  s.AudioSampleRate = Fcb_AudioSampleRate->currentIndex();
  s.AudioBitrate = Fcb_AudioBitrate->currentIndex();
  s.CustomFrameSize = CustomFrameSize();
  s.Effects = FEffects;
  return s;
}

void Tfrm_Main::SetOutputSettings(const TOutputSettings& s) {
  Fcb_VideoFrameSize->setItemText(Fcb_VideoFrameSize->count() - 1, s.CustomFrameSize);
  Fcb_VideoFormat->setCurrentIndex(s.VideoFormat);
  cb_VideoFormatChange();
  Fcb_VideoEncoder->setCurrentIndex(s.VideoEncoder);
  Fcb_VideoAspect->setCurrentIndex(s.VideoAspect);
  Fcb_VideoFrameSize->setCurrentIndex(s.VideoFrameSize);
  Fcb_VideoFrameRate->setCurrentIndex(s.VideoFrameRate);
  Fcb_VideoBitrate->setCurrentIndex(s.VideoBitrate);
  Fcb_AudioFormat->setCurrentIndex(s.AudioFormat);
  Fcb_AudioEncoder->setCurrentIndex(s.AudioEncoder);
  Fcb_AudioChannel->setCurrentIndex(s.AudioChannel);
  Fcb_AudioSampleRate->setCurrentIndex(s.AudioSampleRate);
  Fcb_AudioBitrate->setCurrentIndex(s.AudioBitrate);
  FEffects = s.Effects;
}

void Tfrm_Main::ApplyPreset(const TPreset& preset) {
  TOutputSettings s = OutputSettings();
  app::ApplyPreset(s, preset);
  SetOutputSettings(s);
}

QString Tfrm_Main::CustomFrameSize() const {
  return Fcb_VideoFrameSize->itemText(Fcb_VideoFrameSize->count() - 1);
}

void Tfrm_Main::SelectFrameSize(const QString& size) {
  QStringList entries;
  for (int i = 0; i < Fcb_VideoFrameSize->count(); ++i) entries.append(Fcb_VideoFrameSize->itemText(i));
  const int index = MatchOrReplaceCustomSize(entries, size);
  Fcb_VideoFrameSize->setItemText(Fcb_VideoFrameSize->count() - 1, entries.last());
  Fcb_VideoFrameSize->setCurrentIndex(index);
}

void Tfrm_Main::BuildVideoOptions() { FOptionString = VideoOptionString(OutputSettings()); }

void Tfrm_Main::BuildAudioOptions() { FOptionString = AudioOptionString(OutputSettings()); }

// --- Settings file ------------------------------------------------------------------------------

void Tfrm_Main::LoadSettings() { ApplySettings(LoadSettingsFile(SettingsFilePath())); }

void Tfrm_Main::SaveSettings() { SaveSettingsFile(SettingsFilePath(), CollectSettings()); }

void Tfrm_Main::ApplySettings(const TConverterSettings& s) {
  switch (s.LocOption) {
    case TLocation::Specify:
      Fchk_Specify->setChecked(true);
      break;
    case TLocation::Original:
      Fchk_Original->setChecked(true);
      break;
    case TLocation::Path:
      Fchk_Path->setChecked(true);
      break;
  }
  chk_SpecifyClick();
  Ftxt_Path->setText(s.Location);
  FAddFolder = s.AddPath;
  FAddViewStyle = s.AddView;
  FCheckforUpdate1->setChecked(s.Update);
  for (int i = 0; i < kColumnCount; ++i)
    if (s.Columns[i] > 0) Flw_Files->header()->resizeSection(i, s.Columns[i]);
  FitFrame(QSize(s.Width.value_or(UserSize().width()), s.Height.value_or(UserSize().height())));
  if (s.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
  TOutputSettings output = s.Output;
  output.Effects = FEffects;
  SetOutputSettings(output);
}

TConverterSettings Tfrm_Main::CollectSettings() const {
  TConverterSettings s;
  s.LocOption = Fchk_Specify->isChecked()    ? TLocation::Specify
                : Fchk_Original->isChecked() ? TLocation::Original
                                             : TLocation::Path;
  s.Location = Ftxt_Path->text();
  s.AddPath = FAddFolder;
  s.AddView = FAddViewStyle;
  s.Update = FCheckforUpdate1->isChecked();
  for (int i = 0; i < kColumnCount; ++i) s.Columns[i] = Flw_Files->header()->sectionSize(i);
  s.Maximized = isMaximized();
  if (!s.Maximized) {
    // The size the user gave the window, not the one it was cut down to on this screen: the next
    // start on a larger screen (or at a smaller scale) gives it back.
    const QSize size = UserSize();
    s.Height = size.height();
    s.Width = size.width();
  }
  s.Output = OutputSettings();
  return s;
}

// --- Window events ------------------------------------------------------------------------------

QSize Tfrm_Main::UserSize() const {
  // A size other than the fitted one was given since (by the user, or by the program).
  return size() == FFittedSize ? FUserSize : size();
}

void Tfrm_Main::FitFrame(QSize userSize) {
  FUserSize = userSize;
  if (isMaximized() || isFullScreen() || isMinimized()) return;
  FFrame = FrameMargins(*this);
  const QRect fitted = FitFrameInto(QRect(geometry().topLeft(), FUserSize), FFrame,
                                    AvailableArea(*this));
  FFittedSize = fitted.size();
  if (size() != fitted.size()) resize(fitted.size());
  // A window not on screen yet is placed by the window manager; one on screen is moved only as
  // far as brings its frame into the area (move() places the frame).
  const QPoint frameTopLeft = fitted.topLeft() - QPoint(FFrame.left(), FFrame.top());
  if (isVisible() && frameGeometry().topLeft() != frameTopLeft) move(frameTopLeft);
}

void Tfrm_Main::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  // The window manager has framed the window (or framed it anew): fit again with the frame.
  if (FShown && FrameMargins(*this) != FFrame) FitFrame(UserSize());
}

void Tfrm_Main::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FitFrame(UserSize());
  if (!FShown) {
    FShown = true;
    FormShow();
  }
}

void Tfrm_Main::FormShow() {
  ShowSortIndicator();
  UpdateStatusBar();
  if (BatchRun())
    Ftmr_Param->start(FWindowDelays.Ms(kStartTimerMs));
  else if (FCheckforUpdate1->isChecked())
    Ftmr_Update->start();
}

void Tfrm_Main::closeEvent(QCloseEvent* event) {
  // A batch only reads the settings: batches running side by side must not overwrite them.
  if (!BatchRun()) SaveSettings();
  event->accept();
}

void Tfrm_Main::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void Tfrm_Main::FormResize() {
  const QWidget* viewport = Flw_Files->viewport();
  Fpnl_Note->move(viewport->width() / 2 - Fpnl_Note->width() / 2,
                  viewport->height() / 2 - Fpnl_Note->height() / 2);
  FStatusPanels[0]->setFixedWidth(width() / 2);
}

bool Tfrm_Main::MenuShortcutWins(const QObject* control, const QKeyEvent& key) const {
  const QKeySequence pressed(key.keyCombination());
  for (const QAction* action : actions()) {
    if (action->shortcut() != pressed || !action->isEnabled() || !action->isVisible()) continue;
    const auto* textBox = qobject_cast<const QLineEdit*>(control);
    return textBox == nullptr || textBox->isReadOnly() || !IsTextEditingKey(key);
  }
  return false;
}

bool Tfrm_Main::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && MenuShortcutWins(watched, *static_cast<QKeyEvent*>(event))) {
    // Not taken by the control: the shortcut runs its menu command.
    event->ignore();
    return true;
  }
  if (watched == Flw_Files->viewport() && event->type() == QEvent::Resize) {
    FormResize();
  } else if (watched == Flw_Files && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      lw_FilesDblClick();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Commands -----------------------------------------------------------------------------------

void Tfrm_Main::Warning(const QString& text) {
  platform::Prompter().Message(this, platform::TPromptIcon::Warning, QStringLiteral("Warning"), text);
}

void Tfrm_Main::Error(const QString& text) {
  platform::Prompter().Message(this, platform::TPromptIcon::Error, QStringLiteral("Error"), text);
}

void Tfrm_Main::btn_AddClick() {
  if (ShowAddFilesWindow) ShowAddFilesWindow();
}

void Tfrm_Main::btn_PasteClick() {
  DropQueue().clear();
  DropQueue().append(shell::GetClipboardPaths());
  if (!DropQueue().isEmpty()) AddQueuedFiles();
}

void Tfrm_Main::drop_ListDrop() { AddQueuedFiles(); }

void Tfrm_Main::SelectAll1Click() { Flw_Files->selectAll(); }

void Tfrm_Main::lw_FilesDblClick() {
  const QList<int> rows = SelectedRows();
  if (!rows.isEmpty()) platform::PlayOrTell(this, RowPath(rows.first()));
}

void Tfrm_Main::btn_PlayClick() {
  const QList<int> rows = SelectedRows();
  if (rows.isEmpty()) {
    SetSelectionCommandsEnabled(false);
    return;
  }
  if (ShowPreviewWindow) ShowPreviewWindow(rows.first());
}

void Tfrm_Main::btn_PropertiesClick() {
  const QList<int> rows = SelectedRows();
  if (rows.isEmpty()) {
    SetSelectionCommandsEnabled(false);
    return;
  }
  if (ShowPropertiesWindow) ShowPropertiesWindow(rows.first());
}

void Tfrm_Main::btn_RemoveClick() {
  const QList<int> rows = SelectedRows();
  if (rows.isEmpty()) {
    SetSelectionCommandsEnabled(false);
    return;
  }
  Flw_Files->setUpdatesEnabled(false);
  {
    const QSignalBlocker blocker(Flw_Files);
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) delete Flw_Files->takeTopLevelItem(*it);
  }
  Flw_Files->setUpdatesEnabled(true);
  UpdateStatusBar();
  lw_FilesSelectItem();
}

void Tfrm_Main::RemoveAllRows() {
  if (RowCount() == 0) return;
  SelectAll1Click();
  btn_RemoveClick();
}

void Tfrm_Main::New1Click() { RemoveAllRows(); }

void Tfrm_Main::Open1Click() {
  DropQueue().clear();
  QString fileName;
  if (!platform::FileDialogs().OpenFileName(this, QLatin1String(kFileListFilter),
                                            QLatin1String(kFileListSuffix), fileName))
    return;
  if (!QFileInfo(fileName).isFile()) return;
  RemoveAllRows();
  DropQueue() = LoadFileList(fileName);
  AddQueuedFiles();
}

void Tfrm_Main::Save1Click() {
  DropQueue().clear();
  QString fileName;
  if (platform::FileDialogs().SaveFileName(this, QLatin1String(kFileListFilter),
                                           QLatin1String(kFileListSuffix), fileName) &&
      RowCount() > 0) {
    for (int i = 0; i < RowCount(); ++i) DropQueue().append(RowPath(i));
    SaveFileList(fileName, DropQueue());
  }
  DropQueue().clear();
}

void Tfrm_Main::btn_ConvertClick() { RunRoad(TRoad::Convert); }

void Tfrm_Main::btn_ExtractClick() { RunRoad(TRoad::Extract); }

void Tfrm_Main::RunRoad(TRoad road) {
  // A batch whose inputs all went missing still runs: its run window reports "Done." at once and
  // ends the batch, where a warning would wait for somebody to close it.
  if (RowCount() == 0 && !BatchRun()) {
    Warning(kAddOneFile);
    return;
  }
  QString folder;
  if (!DecideOutputFolder(road, folder)) return;
  if (road == TRoad::Convert) {
    BuildVideoOptions();
    if (ShowVideoWindow) ShowVideoWindow(folder);
  } else {
    BuildAudioOptions();
    if (ShowAudioWindow) ShowAudioWindow(folder);
  }
}

bool Tfrm_Main::DecideOutputFolder(TRoad road, QString& folder) {
  folder.clear();
  // The batch mode names its output folder as the second parameter; no choice is asked for.
  if (BatchRun()) {
    folder = platform::WithTrailingSlash(CommandLine().ParamStr(2));
    return true;
  }
  if (Fchk_Specify->isChecked()) {
    // A cancelled dialog ends a conversion; an extraction goes on into the source's folder.
    if (!Fdlg_AddFolder->Execute()) return road == TRoad::Extract;
    if (!platform::IsFolderWritable(Fdlg_AddFolder->Path())) {
      Error(QStringLiteral("Access is denied. Unable to save to the selected directory."));
      return false;
    }
    folder = platform::WithTrailingSlash(Fdlg_AddFolder->Path());
    return true;
  }
  if (Fchk_Original->isChecked()) return true;
  if (Ftxt_Path->text().isEmpty()) {
    Error(QStringLiteral("Output path is not specified."));
    FPageControl1->setCurrentWidget(Ftab_Location);
    return false;
  }
  folder = platform::WithTrailingSlash(Ftxt_Path->text());
  return true;
}

void Tfrm_Main::btn_BurnClick() {
  if (RowCount() == 0) {
    Warning(kAddOneFile);
    return;
  }
  if (ShowBurnWindow) ShowBurnWindow();
}

void Tfrm_Main::Defaultsettings1Click() {
  TOutputSettings defaults;
  defaults.CustomFrameSize = CustomFrameSize();
  SetOutputSettings(defaults);
}

void Tfrm_Main::btn_ProfilesClick() {
  Tfrm_Profiles window(*this);
  window.exec();
}

void Tfrm_Main::btn_EffectsClick() {
  Tfrm_Effects window(*this);
  window.exec();
}

void Tfrm_Main::btn_CustomClick() {
  Tfrm_Custom window(*this);
  window.exec();
}

void Tfrm_Main::btn_BrowseClick() {
  if (Fdlg_AddFolder->Execute() && QFileInfo(Fdlg_AddFolder->Path()).isDir())
    Ftxt_Path->setText(Fdlg_AddFolder->Path());
}

void Tfrm_Main::chk_SpecifyClick() {
  const bool typed = Fchk_Path->isChecked();
  Ftxt_Path->setEnabled(typed);
  Fbtn_Browse->setEnabled(typed);
}

void Tfrm_Main::Help2Click() {
  // The page ships beside the program (a build) or in its share folder (an installation); the
  // desktop's browser shows it.
  const QDir program(QCoreApplication::applicationDirPath());
  for (const QString& relative : {QStringLiteral("help/index.html"),
                                  QStringLiteral("../share/tarsel-video-converter/help/index.html")}) {
    const QString help = QDir::cleanPath(program.filePath(relative));
    if (QFileInfo::exists(help)) {
      platform::OpenOrTell(this, help, QStringLiteral("The help page"));
      return;
    }
  }
  Warning(QStringLiteral("The help file is not found. Please re-install the program."));
}

void Tfrm_Main::About1Click() {
  Tfrm_About window(this);
  window.exec();
}

}  // namespace app
