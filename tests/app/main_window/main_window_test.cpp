#include "app/main_window/main_window.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <set>

#include "app/main_window/main_window_fixture.h"
#include "components/glass_button.h"
#include "components/png_image_list.h"
#include "platform/ini_file.h"
#include "shell/nav_drop_files.h"
#include "support/run_alone.h"

namespace {

using testing_support::MainWindowFixture;

class MainWindowTest : public MainWindowFixture {};

TEST_F(MainWindowTest, StartsEmptyWithItsTexts) {
  EXPECT_EQ(Window->windowTitle(), QStringLiteral("Tarsel Video Converter"));
  EXPECT_FALSE(Find<QWidget>("pnl_Note")->isHidden());
  EXPECT_EQ(Find<QLabel>("lbl_Note")->text(), QStringLiteral("Drag and drop files here"));
  EXPECT_EQ(Window->StatusPanelText(0), QStringLiteral("Files: 0 (Size: 0 MB, Duration: 00:00:00)"));
  EXPECT_EQ(Window->StatusPanelText(1), QString());

  QTreeWidget* list = Window->lw_Files();
  EXPECT_EQ(list->objectName(), QStringLiteral("lw_Files"));
  ASSERT_EQ(list->columnCount(), 4);
  const char* headers[] = {"Name", "Duration", "Size", "Source"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list->headerItem()->text(i), QLatin1String(headers[i]));

  auto* tabs = Find<QTabWidget>("PageControl1");
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(0), QStringLiteral(" Video "));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral(" Audio "));
  EXPECT_EQ(tabs->tabText(2), QStringLiteral(" Location "));
  EXPECT_EQ(tabs->widget(2)->objectName(), QStringLiteral("tab_Location"));

  struct TButton {
    const char* Name;
    const char* Caption;
    const char* Hint;
    bool Enabled;
  };
  const TButton buttons[] = {
      {"btn_Add", "Add", "Add files (Ctrl+D)", true},
      {"btn_Convert", "Convert", "Convert files (F9)", true},
      {"btn_Extract", "Extract", "Extract audio (Ctrl+E)", true},
      {"btn_Burn", "Burn", "Burn disc (Ctrl+B)", true},
      {"btn_Play", "Preview", "Preview (F3)", false},
      {"btn_Properties", "Properties", "Properties (F4)", false},
      {"btn_Remove", "Remove", "Remove (Del)", false},
  };
  std::set<int> pictures;
  for (const TButton& b : buttons) {
    auto* button = Find<components::TGlassButton>(b.Name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QLatin1String(b.Caption)) << b.Name;
    EXPECT_EQ(button->toolTip(), QLatin1String(b.Hint)) << b.Name;
    EXPECT_EQ(button->isEnabled(), b.Enabled) << b.Name;
    // 68 x 64, picture on top from the 24-pixel list (the screen has 96 dpi here), placed a
    // quarter of the room it leaves from the top, caption centred.
    EXPECT_EQ(button->size(), QSize(68, 64)) << b.Name;
    EXPECT_EQ(button->GlyphPos(), components::TGlyphPos::gpTop) << b.Name;
    EXPECT_EQ(button->TextAlign(), components::TTextAlign::taCenter) << b.Name;
    ASSERT_NE(button->Images(), nullptr) << b.Name;
    EXPECT_EQ(button->Images()->objectName(), QStringLiteral("imgl_24")) << b.Name;
    EXPECT_EQ(button->ImageOffset(), (64 - 24) / 4) << b.Name;
    ASSERT_GE(button->ImageIndex(), 0) << b.Name;
    ASSERT_LT(button->ImageIndex(), button->Images()->Count()) << b.Name;
    EXPECT_FALSE(button->Images()->PngImages().Items(button->ImageIndex())->PngImage().isNull()) << b.Name;
    pictures.insert(button->ImageIndex());
  }
  EXPECT_EQ(pictures.size(), std::size(buttons)) << "every command has a picture of its own";
  EXPECT_TRUE(Find<components::TGlassButton>("btn_Options")->isHidden());
  auto* large = Window->findChild<components::TPngImageList*>(QStringLiteral("imgl_32"));
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(large->Width(), 32);
  EXPECT_EQ(large->Count(), Find<components::TGlassButton>("btn_Add")->Images()->Count());
  EXPECT_EQ(Find<QPushButton>("btn_Custom")->toolTip(), QStringLiteral("Set custom frame size"));
  EXPECT_EQ(Find<QPushButton>("btn_Profiles")->text(), QStringLiteral("Profiles"));
  EXPECT_EQ(Find<QPushButton>("btn_Effects")->text(), QStringLiteral("Effects"));
  EXPECT_EQ(Find<QPushButton>("btn_Default")->text(), QStringLiteral("Default"));

  EXPECT_TRUE(Find<QRadioButton>("chk_Specify")->isChecked());
  EXPECT_EQ(Find<QRadioButton>("chk_Original")->text(), QStringLiteral("Use original path"));
  EXPECT_EQ(Find<QRadioButton>("chk_Path")->text(), QStringLiteral("Use following path:"));
  EXPECT_FALSE(Find<QLineEdit>("txt_Path")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("btn_Browse")->isEnabled());

  for (const char* name :
       {"drop_List", "dlg_AddFolder", "prg_Win7", "tmr_Update", "tmr_Param", "PopupMenu1", "sts_Bar"})
    EXPECT_NE(Window->findChild<QObject*>(QLatin1String(name)), nullptr) << name;
}

TEST_F(MainWindowTest, MenuEntriesAndShortcuts) {
  struct TEntry {
    const char* Name;
    const char* Text;
    QKeySequence Shortcut;
  };
  const TEntry entries[] = {
      {"New1", "New", QKeySequence(QStringLiteral("Ctrl+N"))},
      {"Open1", "Open...", QKeySequence(QStringLiteral("Ctrl+O"))},
      {"Save1", "Save...", QKeySequence(QStringLiteral("Ctrl+S"))},
      {"Convert1", "Convert...", QKeySequence(QStringLiteral("F9"))},
      {"ExtractAudio1", "Extract Audio...", QKeySequence(QStringLiteral("Ctrl+E"))},
      {"BurnDisc1", "Burn Disc...", QKeySequence(QStringLiteral("Ctrl+B"))},
      {"Options1", "Options...", QKeySequence(QStringLiteral("F10"))},
      {"Defaultsettings1", "Restore default settings", QKeySequence()},
      {"Exit1", "Exit", QKeySequence()},
      {"Addfiles1", "Add files...", QKeySequence(QStringLiteral("Ctrl+D"))},
      {"Paste1", "Paste", QKeySequence(QStringLiteral("Ctrl+V"))},
      {"SelectAll1", "Select All", QKeySequence(QStringLiteral("Ctrl+A"))},
      {"Play1", "Play", QKeySequence()},
      {"Preview1", "Preview", QKeySequence(QStringLiteral("F3"))},
      {"Properties1", "Properties", QKeySequence(QStringLiteral("F4"))},
      {"Remove1", "Remove", QKeySequence(QStringLiteral("Del"))},
      {"Help2", "Help", QKeySequence(QStringLiteral("F1"))},
      {"CheckforUpdateonStartup1", "Check for Update on Startup", QKeySequence()},
      {"About1", "About", QKeySequence()},
  };
  for (const TEntry& e : entries) {
    auto* action = Find<QAction>(e.Name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QLatin1String(e.Text)) << e.Name;
    EXPECT_EQ(action->shortcut(), e.Shortcut) << e.Name;
  }
  EXPECT_FALSE(Find<QAction>("Options1")->isVisible());
  EXPECT_TRUE(Find<QAction>("CheckforUpdateonStartup1")->isCheckable());
  EXPECT_TRUE(Find<QAction>("CheckforUpdateonStartup1")->isChecked());
  QStringList menus;
  for (QAction* menu : Window->menuBar()->actions()) menus.append(menu->text());
  EXPECT_EQ(menus, QStringList({"File", "Edit", "Help"}));
}

TEST_F(MainWindowTest, ListsHoldTheirEntriesAndFirstSelections) {
  QComboBox* format = Window->cb_VideoFormat();
  EXPECT_EQ(format->count(), 10);
  EXPECT_EQ(format->currentText(), QStringLiteral("AVI"));
  EXPECT_EQ(Find<QComboBox>("cb_VideoEncoder")->count(), 4);
  EXPECT_EQ(Find<QComboBox>("cb_AudioEncoder")->currentText(), QStringLiteral("MP3"));
  EXPECT_EQ(Window->cb_VideoFrameSize()->count(), 30);
  EXPECT_EQ(Window->CustomFrameSize(), QStringLiteral("7680x4800"));
  EXPECT_EQ(Find<QComboBox>("cb_AudioBitrate")->currentText(), QStringLiteral("32"));
  EXPECT_EQ(Find<QComboBox>("cb_AudioChannel")->count(), 3);
  Window->BuildVideoOptions();
  EXPECT_EQ(Window->OptionString(), QStringLiteral("-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn "));
}

TEST_F(MainWindowTest, OnlyAUsersChoiceOfContainerRefillsTheEncoderLists) {
  QComboBox* format = Window->cb_VideoFormat();
  auto* videoEncoder = Find<QComboBox>("cb_VideoEncoder");
  auto* audioEncoder = Find<QComboBox>("cb_AudioEncoder");
  videoEncoder->setCurrentIndex(2);
  format->setCurrentIndex(8);  // programmatic: no refill
  EXPECT_EQ(videoEncoder->count(), 4);
  EXPECT_EQ(videoEncoder->currentIndex(), 2);
  emit format->activated(8);  // what a user's pick sends
  EXPECT_EQ(videoEncoder->count(), 1);
  EXPECT_EQ(videoEncoder->currentText(), QStringLiteral("VP8"));
  EXPECT_EQ(audioEncoder->currentText(), QStringLiteral("OGG"));
  Window->BuildVideoOptions();
  EXPECT_EQ(Window->OptionString(), QStringLiteral("-b:a 32k -f webm  -c:a libvorbis -c:v libvpx -sn "));
}

TEST_F(MainWindowTest, TotalsSwitchToGigabytesAboveOneGibibyteAndHoursGoBeyond24) {
  AddFile("a.avi", "/v", 45'000'000'000, 1073741823);
  AddFile("b.avi", "/v", 45'000'000'000, 1);
  Window->UpdateStatusBar();
  EXPECT_TRUE(Find<QWidget>("pnl_Note")->isHidden());
  EXPECT_EQ(Window->TotalSize(), 1073741824);
  EXPECT_EQ(Window->TotalDuration(), 90'000'000'000);
  EXPECT_EQ(Window->StatusPanelText(0), QStringLiteral("Files: 2 (Size: 1,024 MB, Duration: 25:00:00)"));
  AddFile("c.avi", "/v", 0, 1);
  Window->UpdateStatusBar();
  EXPECT_EQ(Window->StatusPanelText(0), QStringLiteral("Files: 3 (Size: 1.00 GB, Duration: 25:00:00)"));
}

TEST_F(MainWindowTest, RowsKeepTheirEightSubItems) {
  const QStringList subItems = {"00:01:00", "1,024",         "/v/a b.avi", "60000000",
                                "1024",     "25.000000 fps", "512 kb",     "320x240"};
  EXPECT_EQ(Window->AddRow(QStringLiteral("a b.avi"), subItems), 0);
  EXPECT_EQ(Window->AddRow(QStringLiteral("short.avi"), {"00:00:01"}), 1);
  EXPECT_EQ(Window->RowCount(), 2);
  EXPECT_EQ(Window->RowCaption(0), QStringLiteral("a b.avi"));
  EXPECT_EQ(Window->SubItems(0), subItems);
  EXPECT_EQ(Window->SubItem(0, 7), QStringLiteral("320x240"));
  EXPECT_EQ(Window->SubItems(1).size(), app::Tfrm_Main::kSubItemCount);
  EXPECT_EQ(Window->SubItem(1, 2), QString());
  EXPECT_EQ(Window->SubItem(5, 0), QString());
  // The columns show sub-items 0 to 2.
  const QTreeWidgetItem* item = Window->lw_Files()->topLevelItem(0);
  EXPECT_EQ(item->text(1), QStringLiteral("00:01:00"));
  EXPECT_EQ(item->text(2), QStringLiteral("1,024"));
  EXPECT_EQ(item->text(3), QStringLiteral("/v/a b.avi"));
}

QStringList Captions(const app::Tfrm_Main& window) {
  QStringList captions;
  for (int i = 0; i < window.RowCount(); ++i) captions.append(window.RowCaption(i));
  return captions;
}

TEST_F(MainWindowTest, ColumnClicksSortAndToggleTheDirection) {
  AddFile("b.avi", "/z", 3'000'000, 200);
  AddFile("A.avi", "/y", 1'000'000, 3000);
  AddFile("c.avi", "/x", 2'000'000, 10);
  QHeaderView* header = Window->lw_Files()->header();

  Window->lw_FilesColumnClick(2);  // Size
  EXPECT_EQ(Captions(*Window), QStringList({"c.avi", "b.avi", "A.avi"}));
  EXPECT_EQ(header->sortIndicatorSection(), 2);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  Window->lw_FilesColumnClick(2);
  EXPECT_EQ(Captions(*Window), QStringList({"A.avi", "b.avi", "c.avi"}));
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_TRUE(Window->SortDescending());

  Window->lw_FilesColumnClick(1);  // another column starts ascending
  EXPECT_FALSE(Window->SortDescending());
  EXPECT_EQ(Captions(*Window), QStringList({"A.avi", "c.avi", "b.avi"}));
  Window->lw_FilesColumnClick(0);  // names, any case
  EXPECT_EQ(Captions(*Window), QStringList({"A.avi", "b.avi", "c.avi"}));
  Window->lw_FilesColumnClick(3);  // the full path, not the name
  EXPECT_EQ(Captions(*Window), QStringList({"c.avi", "A.avi", "b.avi"}));
  EXPECT_EQ(Window->SortColumn(), 3);

  // A real click on the header goes the same way.
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
  EXPECT_EQ(Captions(*Window), QStringList({"c.avi", "b.avi", "A.avi"}));
}

// Durations and sizes whose texts order otherwise than their numbers ("10485760" before
// "9437184"), and sizes beyond 32 bits: sorting, the totals and the selection's size go by the
// numbers.
TEST_F(MainWindowTest, RowsSortAndCountByTheirNumbersNotTheirTexts) {
  constexpr int64_t kMiB = 1048576;
  constexpr int64_t kGiB = 1073741824;
  AddFile("nine.avi", "/v", 9'000'000, 10 * kMiB);
  AddFile("ten.avi", "/v", 10'000'000, 9 * kMiB);
  AddFile("big.avi", "/v", 7'200'000'000, 5 * kGiB);
  AddFile("long.avi", "/v", 360'000'000'000, 3 * kGiB);
  Window->UpdateStatusBar();
  EXPECT_EQ(Window->TotalSize(), 19 * kMiB + 8 * kGiB);
  EXPECT_EQ(Window->TotalDuration(), 367'219'000'000);
  EXPECT_EQ(Window->StatusPanelText(0), QStringLiteral("Files: 4 (Size: 8.02 GB, Duration: 102:00:19)"));

  struct TSortCase {
    int Column;
    bool Descending;
    QStringList Captions;
  };
  const TSortCase cases[] = {
      {1, false, {"nine.avi", "ten.avi", "big.avi", "long.avi"}},
      {1, true, {"long.avi", "big.avi", "ten.avi", "nine.avi"}},
      {2, false, {"ten.avi", "nine.avi", "long.avi", "big.avi"}},
      {2, true, {"big.avi", "long.avi", "nine.avi", "ten.avi"}},
  };
  for (const TSortCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "column " << c.Column << (c.Descending ? " descending" : " ascending"));
    Window->lw_FilesColumnClick(c.Column);
    if (Window->SortDescending() != c.Descending) Window->lw_FilesColumnClick(c.Column);
    EXPECT_EQ(Captions(*Window), c.Captions);
    // Each row's values and texts move with it.
    for (int i = 0; i < Window->RowCount(); ++i) {
      EXPECT_EQ(Window->RowPath(i), QStringLiteral("/v/") + Window->RowCaption(i));
      EXPECT_EQ(Window->SubItem(i, 4), QString::number(Window->RowSize(i)));
      EXPECT_EQ(Window->SubItem(i, 3), QString::number(Window->RowDuration(i)));
    }
  }

  // By size descending: big, long, nine, ten.
  QTreeWidget* list = Window->lw_Files();
  list->topLevelItem(2)->setSelected(true);
  list->topLevelItem(3)->setSelected(true);
  EXPECT_EQ(Window->StatusPanelText(1), QStringLiteral("Selected: 2 files, 19 MB"));
  list->topLevelItem(3)->setSelected(false);
  list->topLevelItem(1)->setSelected(true);
  EXPECT_EQ(Window->StatusPanelText(1), QStringLiteral("Selected: 2 files, 3.01 GB"));
  list->topLevelItem(0)->setSelected(true);
  EXPECT_EQ(Window->StatusPanelText(1), QStringLiteral("Selected: 3 files, 8.01 GB"));
}

TEST_F(MainWindowTest, RowsKeepTheValuesTheyWereAddedWith) {
  app::TFileRow row;
  row.Caption = QStringLiteral("clip.avi");
  row.SubItems = {"00:00:03", "4,294,967,296", "/v/clip.avi", "3000000", "4294967296", "-", "-", "-"};
  row.Path = QStringLiteral("/v/clip.avi");
  row.DurationUs = 3'000'000;
  row.SizeBytes = 4'294'967'296;
  EXPECT_EQ(Window->AddRow(row), 0);
  EXPECT_EQ(Window->Row(0), row);
  EXPECT_EQ(Window->RowPath(0), row.Path);
  EXPECT_EQ(Window->RowDuration(0), row.DurationUs);
  EXPECT_EQ(Window->RowSize(0), row.SizeBytes);
  const QTreeWidgetItem* item = Window->lw_Files()->topLevelItem(0);
  for (int column = 1; column < 4; ++column) EXPECT_EQ(item->text(column), row.SubItems[column - 1]) << column;
  EXPECT_EQ(item->textAlignment(1), int(Qt::AlignRight | Qt::AlignVCenter));
  EXPECT_EQ(item->textAlignment(2), int(Qt::AlignRight | Qt::AlignVCenter));

  // Short sub-item lists are filled up; outside the list everything is empty.
  row.SubItems = {"00:00:03"};
  Window->AddRow(row);
  EXPECT_EQ(Window->SubItems(1).size(), app::Tfrm_Main::kSubItemCount);
  EXPECT_EQ(Window->RowSize(1), row.SizeBytes);
  EXPECT_EQ(Window->Row(2), app::TFileRow());
  EXPECT_EQ(Window->RowPath(-1), QString());
  EXPECT_EQ(Window->RowSize(2), 0);
  EXPECT_EQ(Window->RowDuration(2), 0);
}

TEST_F(MainWindowTest, SortingKeepsTheSelection) {
  AddFile("b.avi", "/v", 0, 2);
  AddFile("a.avi", "/v", 0, 1);
  Window->lw_Files()->topLevelItem(0)->setSelected(true);  // b.avi
  Window->lw_FilesColumnClick(2);
  EXPECT_EQ(Window->SelectedRows(), QList<int>({1}));
  EXPECT_EQ(Window->RowCaption(1), QStringLiteral("b.avi"));
  EXPECT_EQ(Window->StatusPanelText(1), QStringLiteral("Selected: 1 file, 0 MB"));
}

TEST_F(MainWindowTest, SelectionEnablesCommandsAndShowsItsSize) {
  AddFile("a.avi", "/v", 0, 3 * 1048576);
  AddFile("b.avi", "/v", 0, 1048576);
  AddFile("c.avi", "/v", 0, 1048576);
  QTreeWidget* list = Window->lw_Files();
  const auto commandsEnabled = [&](bool enabled) {
    for (const char* name : {"btn_Remove", "btn_Properties", "btn_Play"})
      EXPECT_EQ(Find<QWidget>(name)->isEnabled(), enabled) << name;
    for (const char* name : {"Play1", "Preview1", "Properties1", "Remove1"})
      EXPECT_EQ(Find<QAction>(name)->isEnabled(), enabled) << name;
  };
  list->topLevelItem(0)->setSelected(true);
  EXPECT_EQ(Window->StatusPanelText(1), QStringLiteral("Selected: 1 file, 3 MB"));
  commandsEnabled(true);
  list->topLevelItem(2)->setSelected(true);
  EXPECT_EQ(Window->StatusPanelText(1), QStringLiteral("Selected: 2 files, 4 MB"));
  // Deselecting one row of two leaves the other described.
  list->topLevelItem(0)->setSelected(false);
  EXPECT_EQ(Window->StatusPanelText(1), QStringLiteral("Selected: 1 file, 1 MB"));
  list->clearSelection();
  EXPECT_EQ(Window->StatusPanelText(1), QString());
  commandsEnabled(false);
  Window->SelectAll1Click();
  EXPECT_EQ(Window->StatusPanelText(1), QStringLiteral("Selected: 3 files, 5 MB"));
}

TEST_F(MainWindowTest, RemoveDeletesTheSelectedRowsAndNewEmptiesTheList) {
  AddFile("a.avi", "/v", 1'000'000, 10);
  AddFile("b.avi", "/v", 2'000'000, 20);
  AddFile("c.avi", "/v", 3'000'000, 30);
  Window->UpdateStatusBar();
  Window->lw_Files()->topLevelItem(0)->setSelected(true);
  Window->lw_Files()->topLevelItem(2)->setSelected(true);
  Window->btn_RemoveClick();
  EXPECT_EQ(Captions(*Window), QStringList({"b.avi"}));
  EXPECT_EQ(Window->StatusPanelText(0), QStringLiteral("Files: 1 (Size: 0 MB, Duration: 00:00:02)"));
  EXPECT_EQ(Window->StatusPanelText(1), QString());
  EXPECT_FALSE(Find<QWidget>("btn_Remove")->isEnabled());

  Window->btn_RemoveClick();  // nothing selected: nothing removed
  EXPECT_EQ(Window->RowCount(), 1);

  Window->New1Click();
  EXPECT_EQ(Window->RowCount(), 0);
  EXPECT_FALSE(Find<QWidget>("pnl_Note")->isHidden());
  EXPECT_EQ(Window->StatusPanelText(0), QStringLiteral("Files: 0 (Size: 0 MB, Duration: 00:00:00)"));
}

TEST_F(MainWindowTest, DroppedLocalFilesFillTheQueueAndReachTheAddingWindow) {
  QStringList handed;
  Window->ShowAddingWindow = [&] {
    handed = Window->DropQueue();
    Window->AddRow(QStringLiteral("x.avi"), {"", "", "/v/x.avi", "0", "5", "-", "-", "-"});
  };
  Window->show();
  QWidget* viewport = Window->lw_Files()->viewport();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QStringLiteral("/v/one clip.avi")),
                QUrl(QStringLiteral("https://x/y.avi")), QUrl::fromLocalFile(QStringLiteral("/v/folder"))});
  const QPoint at(10, 10);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  EXPECT_EQ(handed, QStringList({"/v/one clip.avi", "/v/folder"}));
  EXPECT_EQ(Window->StatusPanelText(0), QStringLiteral("Files: 1 (Size: 0 MB, Duration: 00:00:00)"));

  // A drag of anything else is refused and empties the queue.
  QMimeData text;
  text.setText(QStringLiteral("hello"));
  QDragEnterEvent other(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &other);
  EXPECT_FALSE(other.isAccepted());
  EXPECT_TRUE(Window->DropQueue().isEmpty());
}

TEST_F(MainWindowTest, PasteQueuesTheClipboardsFiles) {
  int addingRuns = 0;
  QStringList handed;
  Window->ShowAddingWindow = [&] {
    ++addingRuns;
    handed = Window->DropQueue();
  };
  auto* data = new QMimeData;
  data->setUrls(
      {QUrl::fromLocalFile(QStringLiteral("/v/a.avi")), QUrl::fromLocalFile(QStringLiteral("/v/b c.mkv"))});
  QApplication::clipboard()->setMimeData(data);
  Window->btn_PasteClick();
  EXPECT_EQ(addingRuns, 1);
  EXPECT_EQ(handed, QStringList({"/v/a.avi", "/v/b c.mkv"}));

  QApplication::clipboard()->setText(QStringLiteral("not files"));
  Window->btn_PasteClick();
  EXPECT_EQ(addingRuns, 1);
  EXPECT_TRUE(Window->DropQueue().isEmpty());
}

// Plain text as a terminal, an editor or a browser's address bar copies a path: every line that
// names an existing file or folder (an absolute path, quoted or not, or a file:// URL) is added
// as a drop would add it; any other text adds nothing.
TEST_F(MainWindowTest, PasteOfPlainTextAddsTheExistingPathsItNames) {
  const QString folder = TempPath(QStringLiteral("clips"));
  ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/sub")));
  const QString a = folder + QStringLiteral("/a.avi");
  const QString b = folder + QStringLiteral("/b c.mkv");
  const QString sub = folder + QStringLiteral("/sub");
  for (const QString& path : {a, b}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  int addingRuns = 0;
  QStringList handed;
  Window->ShowAddingWindow = [&] {
    ++addingRuns;
    handed = Window->DropQueue();
  };
  const QString bUrl = QString::fromLatin1(QUrl::fromLocalFile(b).toEncoded());  // "b%20c.mkv"
  const struct {
    const char* Name;
    QString Text;
    QStringList Added;
  } cases[] = {
      {"path", a, {a}},
      {"path with a newline", a + QLatin1Char('\n'), {a}},
      {"address bar URL", bUrl, {b}},
      {"URL with a blank", QStringLiteral("file://") + b, {b}},
      {"quoted by a terminal", QLatin1Char('\'') + b + QLatin1Char('\''), {b}},
      {"lines of an editor",
       QStringLiteral("  ") + a + QStringLiteral("\r\nnot a path\r\n\r\n") + sub + QStringLiteral("/\r\n") +
           folder + QStringLiteral("/missing.avi\r\nclips/a.avi"),
       {a, sub}},
      {"words", QStringLiteral("hello world"), {}},
      {"relative path", QStringLiteral("clips/a.avi"), {}},
      {"missing file", folder + QStringLiteral("/missing.avi"), {}},
      {"web address", QStringLiteral("https://www.example.org/a.avi"), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const int before = addingRuns;
    handed.clear();
    QApplication::clipboard()->setText(c.Text);
    Window->btn_PasteClick();
    EXPECT_EQ(addingRuns, before + (c.Added.isEmpty() ? 0 : 1));
    EXPECT_EQ(handed, c.Added);
  }
}

TEST_F(MainWindowTest, FirstStartWritesTheWholeSettingsFileOnClose) {
  Window->close();
  const QByteArray expected =
      "[Converter]\nLocOption=1\nLocation=\nAddPath=\nAddView=1\nMaximized=0\nHeight=600\nWidth=750\n"
      "Update=1\nCustom=7680x4800\nColumn1=300\nColumn2=100\nColumn3=100\nColumn4=200\n\n"
      "[Settings]\nVideoFormat2=0\nVideoEncoder2=0\nVideoAspect2=0\nVideoFrameSize2=0\nVideoFrameRate2=0\n"
      "VideoBitRate2=0\nAudioFormat2=0\nAudioEncoder2=0\nAudioChannel2=0\nAudioSampleRate2=0\nAudioBitRate2="
      "0\n";
  EXPECT_EQ(testing_support::ReadBytes(SettingsFile()), expected);
}

TEST_F(MainWindowTest, SettingsSurviveARestart) {
  Find<QRadioButton>("chk_Path")->setChecked(true);
  Find<QLineEdit>("txt_Path")->setText(QStringLiteral("/srv/out put"));
  Window->SetAddFolder(QStringLiteral("/home/me"));
  Window->SetAddViewStyle(2);
  Find<QAction>("CheckforUpdateonStartup1")->setChecked(false);
  Window->lw_Files()->header()->resizeSection(3, 321);
  Window->resize(800, 640);
  app::TOutputSettings output;
  output.VideoFormat = 4;
  output.VideoEncoder = 1;
  output.VideoAspect = 1;
  output.VideoFrameSize = 19;
  output.AudioFormat = 2;
  output.AudioEncoder = 1;
  output.AudioBitrate = 9;
  output.CustomFrameSize = QStringLiteral("1000x500");
  output.Effects.Negate = true;  // effects are not kept
  Window->SetOutputSettings(output);
  const app::TConverterSettings before = Window->CollectSettings();

  Restart();
  EXPECT_TRUE(Find<QRadioButton>("chk_Path")->isChecked());
  EXPECT_TRUE(Find<QLineEdit>("txt_Path")->isEnabled());
  const app::TConverterSettings after = Window->CollectSettings();
  EXPECT_EQ(after.Output.Effects, app::TEffects{});
  output.Effects = {};
  EXPECT_EQ(after.Output, output);
  app::TConverterSettings expected = before;
  expected.Output.Effects = {};
  EXPECT_EQ(after, expected);
  EXPECT_EQ(Window->width(), 800);
  EXPECT_EQ(Window->height(), 640);
}

TEST_F(MainWindowTest, OutOfRangeIndexesInTheFileNeverBuildABrokenOptionString) {
  Window.reset();
  QDir().mkpath(QFileInfo(SettingsFile()).absolutePath());
  ASSERT_TRUE(testing_support::WriteBytes(
      SettingsFile(),
      "[Settings]\nVideoFormat2=9\nVideoEncoder2=3\nVideoAspect2=12\nVideoFrameSize2=40\n"
      "VideoFrameRate2=8\nVideoBitRate2=-1\nAudioEncoder2=4\nAudioChannel2=5\n"
      "AudioSampleRate2=9\nAudioBitRate2=20\nAudioFormat2=-3\n"));
  Window = std::make_unique<app::Tfrm_Main>();
  EXPECT_EQ(Window->cb_VideoFormat()->currentText(), QStringLiteral("WMV"));
  EXPECT_EQ(Find<QComboBox>("cb_VideoEncoder")->currentIndex(), -1);
  EXPECT_EQ(Find<QComboBox>("cb_AudioEncoder")->currentIndex(), -1);
  for (const char* name : {"cb_VideoAspect", "cb_VideoFrameSize", "cb_VideoFrameRate", "cb_VideoBitrate",
                           "cb_AudioChannel", "cb_AudioSampleRate", "cb_AudioBitrate", "cb_AudioFormat"})
    EXPECT_EQ(Find<QComboBox>(name)->currentIndex(), 0) << name;
  Window->BuildVideoOptions();
  EXPECT_EQ(Window->OptionString(), QStringLiteral("-b:a 32k -sn "));
  Window->BuildAudioOptions();
  EXPECT_EQ(Window->OptionString(), QStringLiteral("-b:a 32k -c:a libmp3lame -vn"));
}

// The area the window may take: its screen's, without panels, in the window's own pixels.
QSize AvailableSize(const QWidget& window) {
  const QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  return screen->availableGeometry().size();
}

// The saved size is taken only as far as the screen has room; what is saved is the size the user
// gave the window, not the one it was cut down to on this screen, so a larger screen gives it back.
TEST_F(MainWindowTest, ASavedSizeIsFittedToTheScreenAndSavedAsTheUserGaveIt) {
  const QSize area = AvailableSize(*Window);
  ASSERT_GT(area.width(), 700);
  ASSERT_GT(area.height(), 500);
  struct TCase {
    const char* Settings;
    QSize Expected;
    QSize Saved;
  };
  const TCase cases[] = {
      {"[Converter]\nWidth=2147483647\nHeight=2147483647\n", area, QSize(2147483647, 2147483647)},
      {"[Converter]\nWidth=2147483647\n", QSize(area.width(), std::min(600, area.height())), QSize(2147483647, 600)},
      {"[Converter]\nHeight=99999\nWidth=700\n", QSize(700, area.height()), QSize(700, 99999)},
      {"[Converter]\nWidth=700\nHeight=500\n", QSize(700, 500), QSize(700, 500)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Settings);
    for (const bool resized : {false, true}) {
      Window.reset();
      QDir().mkpath(QFileInfo(SettingsFile()).absolutePath());
      ASSERT_TRUE(testing_support::WriteBytes(SettingsFile(), c.Settings));
      Window = std::make_unique<app::Tfrm_Main>();
      EXPECT_EQ(Window->size(), c.Expected);
      // A size given after the window opened is the user's.
      if (resized) Window->resize(640, 480);
      Window->close();
      const platform::TIniFile saved(SettingsFile());
      EXPECT_EQ(saved.ReadInteger("Converter", "Width", 0), resized ? 640 : c.Saved.width());
      EXPECT_EQ(saved.ReadInteger("Converter", "Height", 0), resized ? 480 : c.Saved.height());
    }
  }
}

TEST_F(MainWindowTest, TheDefaultWindowFitsItsScreen) {
  const QSize area = AvailableSize(*Window);
  EXPECT_LE(Window->width(), area.width());
  EXPECT_LE(Window->height(), area.height());
}

// At a scale factor of 2 a 1600x1000 screen has room for 800x500: the 750x600 default window
// must shrink to fit. Qt reads the screen as the application is made: the cases run again in a
// process of their own, started on that screen.
class MainWindowScaledTest : public MainWindowTest {
 protected:
  void RunOnAScreenScaledByTwo() {
    QTemporaryDir folder = testing_support::MakeTempFolder("scaled");
    ASSERT_TRUE(folder.isValid());
    const QString config = folder.filePath(QStringLiteral("screen.json"));
    ASSERT_TRUE(testing_support::WriteBytes(
        config, R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1600, "height": 1000,)"
                R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})"));
    test_support::RunThisTestAlone(
        {{"QT_QPA_PLATFORM", "offscreen:configfile=" + config.toStdString()}, {"QT_SCALE_FACTOR", "2"}});
  }
};

TEST_F(MainWindowScaledTest, TheDefaultWindowFitsAScreenScaledByTwo) {
  if (!test_support::RunningAlone()) {
    RunOnAScreenScaledByTwo();
    return;
  }
  ASSERT_EQ(AvailableSize(*Window), QSize(800, 500)) << "the screen of the scaled process";
  EXPECT_LE(Window->width(), 800);
  EXPECT_LE(Window->height(), 500);
}

std::string Describe(const QRect& r) {
  return QStringLiteral("%1x%2 at %3,%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()).toStdString();
}

// The user had 750x600 at scale 1. At scale 2 the window on screen keeps its whole frame (title
// bar and borders) and its status bar inside the free area; the size saved is still 750x600, so
// the next start at scale 1 has it back.
TEST_F(MainWindowScaledTest, TheWholeFrameFitsAScreenScaledByTwoAndTheUsersSizeIsSaved) {
  if (!test_support::RunningAlone()) {
    RunOnAScreenScaledByTwo();
    return;
  }
  Window.reset();
  QDir().mkpath(QFileInfo(SettingsFile()).absolutePath());
  ASSERT_TRUE(testing_support::WriteBytes(SettingsFile(), "[Converter]\nWidth=750\nHeight=600\n"));
  Window = std::make_unique<app::Tfrm_Main>();
  Window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
  const QRect area = Window->screen()->availableGeometry();
  ASSERT_EQ(area.size(), QSize(800, 500)) << "the screen of the scaled process";
  const QRect frame = Window->frameGeometry();
  ASSERT_GT(frame.height(), Window->height()) << "the window has a frame";
  EXPECT_TRUE(area.contains(frame)) << Describe(frame) << " in " << Describe(area);
  const QWidget* status = Find<QWidget>("sts_Bar");
  const QRect statusOnScreen(status->mapToGlobal(QPoint(0, 0)), status->size());
  EXPECT_TRUE(area.contains(statusOnScreen)) << Describe(statusOnScreen);
  EXPECT_EQ(Window->width(), 750);

  Window->close();
  const platform::TIniFile saved(SettingsFile());
  EXPECT_EQ(saved.ReadInteger("Converter", "Width", 0), 750);
  EXPECT_EQ(saved.ReadInteger("Converter", "Height", 0), 600);
}

TEST_F(MainWindowTest, WithoutAConfigFolderDefaultsAreUsedAndNothingIsSaved) {
  Window.reset();
  const QByteArray oldHome = qgetenv("HOME");
  qputenv("XDG_CONFIG_HOME", "");
  qunsetenv("HOME");
  const bool rootHadFolder = QFileInfo::exists(QStringLiteral("/Quorvane"));
  Window = std::make_unique<app::Tfrm_Main>();
  EXPECT_EQ(Window->CollectSettings().Output, app::TOutputSettings{});
  Window->close();
  Window.reset();
  EXPECT_EQ(QFileInfo::exists(QStringLiteral("/Quorvane")), rootHadFolder);
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/.config/Quorvane")));
  qputenv("HOME", oldHome);
}

}  // namespace
