// The main window's commands: the convert and extract roads with their location rules, burn,
// restore defaults, file lists, play, help and browse.

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <map>
#include <optional>

#include "app/main_window/main_window_fixture.h"
#include "support/run_alone.h"
#include "support/x_server.h"

namespace {

using platform::TPromptIcon;
using testing_support::MainWindowFixture;

const QString kAddOneFile = QStringLiteral("Please add at least one file to the list.");

class MainWindowCommandsTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    Window->ShowVideoWindow = [this](const QString& folder) {
      VideoRuns.push_back({folder, Window->OptionString()});
    };
    Window->ShowAudioWindow = [this](const QString& folder) {
      AudioRuns.push_back({folder, Window->OptionString()});
    };
  }

  void AddOneFile() { AddFile(QStringLiteral("clip.avi"), TempPath(QStringLiteral("src")), 1'000'000, 1000); }

  void ExpectOnlyMessage(TPromptIcon icon, const char* caption, const QString& text) {
    ASSERT_EQ(Prompter.Messages.size(), 1u);
    EXPECT_EQ(Prompter.Messages[0].Icon, icon);
    EXPECT_EQ(Prompter.Messages[0].Caption, QLatin1String(caption));
    EXPECT_EQ(Prompter.Messages[0].Text, text);
  }

  struct TRun {
    QString Folder;
    QString Options;
  };
  std::vector<TRun> VideoRuns;
  std::vector<TRun> AudioRuns;
};

TEST_F(MainWindowCommandsTest, EmptyListIsRefusedByConvertExtractAndBurn) {
  int burns = 0;
  Window->ShowBurnWindow = [&] { ++burns; };
  for (void (app::Tfrm_Main::*command)() :
       {&app::Tfrm_Main::btn_ConvertClick, &app::Tfrm_Main::btn_ExtractClick,
        &app::Tfrm_Main::btn_BurnClick}) {
    Prompter.Messages.clear();
    (Window.get()->*command)();
    ExpectOnlyMessage(TPromptIcon::Warning, "Warning", kAddOneFile);
  }
  EXPECT_EQ(Dialogs.FolderCalls, 0);
  EXPECT_TRUE(VideoRuns.empty());
  EXPECT_TRUE(AudioRuns.empty());
  EXPECT_EQ(burns, 0);

  AddOneFile();
  Prompter.Messages.clear();
  Window->btn_BurnClick();
  EXPECT_EQ(burns, 1);
  EXPECT_TRUE(Prompter.Messages.empty());
}

TEST_F(MainWindowCommandsTest, CancelledFolderDialogStopsConvertButNotExtract) {
  AddOneFile();
  Dialogs.Folders = {std::nullopt, std::nullopt};
  Window->btn_ConvertClick();
  EXPECT_TRUE(VideoRuns.empty());
  Window->btn_ExtractClick();
  ASSERT_EQ(AudioRuns.size(), 1u);
  EXPECT_EQ(AudioRuns[0].Folder, QString());  // the run window takes the first source's folder
  EXPECT_EQ(AudioRuns[0].Options, QStringLiteral("-b:a 32k -c:a libmp3lame -vn"));
  EXPECT_EQ(Dialogs.FolderCalls, 2);
  EXPECT_EQ(Dialogs.LastTitle, QStringLiteral("Specify destination folder."));
  EXPECT_TRUE(Prompter.Messages.empty());
}

TEST_F(MainWindowCommandsTest, ChosenFolderMustBeWritable) {
  AddOneFile();
  const QString out = TempPath(QStringLiteral("out"));
  ASSERT_TRUE(QDir().mkpath(out));
  Dialogs.Folders = {out, TempPath(QStringLiteral("gone"))};
  Window->btn_ConvertClick();
  ASSERT_EQ(VideoRuns.size(), 1u);
  EXPECT_EQ(VideoRuns[0].Folder, out + QLatin1Char('/'));
  EXPECT_EQ(VideoRuns[0].Options, QStringLiteral("-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn "));
  EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());

  Window->btn_ExtractClick();  // a folder that cannot be written to stops even an extraction
  EXPECT_TRUE(AudioRuns.empty());
  ExpectOnlyMessage(TPromptIcon::Error, "Error",
                    QStringLiteral("Access is denied. Unable to save to the selected directory."));
}

TEST_F(MainWindowCommandsTest, OriginalPathNeedsNoFolder) {
  AddOneFile();
  Find<QRadioButton>("chk_Original")->setChecked(true);
  Window->btn_ConvertClick();
  Window->btn_ExtractClick();
  ASSERT_EQ(VideoRuns.size(), 1u);
  ASSERT_EQ(AudioRuns.size(), 1u);
  EXPECT_EQ(VideoRuns[0].Folder, QString());
  EXPECT_EQ(AudioRuns[0].Folder, QString());
  EXPECT_EQ(Dialogs.FolderCalls, 0);
}

TEST_F(MainWindowCommandsTest, TypedPathMustNotBeEmpty) {
  AddOneFile();
  auto* tabs = Find<QTabWidget>("PageControl1");
  tabs->setCurrentIndex(0);
  Find<QRadioButton>("chk_Path")->setChecked(true);
  EXPECT_TRUE(Find<QLineEdit>("txt_Path")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("btn_Browse")->isEnabled());
  Window->btn_ConvertClick();
  EXPECT_TRUE(VideoRuns.empty());
  ExpectOnlyMessage(TPromptIcon::Error, "Error", QStringLiteral("Output path is not specified."));
  EXPECT_EQ(tabs->currentWidget()->objectName(), QStringLiteral("tab_Location"));

  Find<QLineEdit>("txt_Path")->setText(QStringLiteral("/srv/out"));
  Window->btn_ExtractClick();
  ASSERT_EQ(AudioRuns.size(), 1u);
  EXPECT_EQ(AudioRuns[0].Folder, QStringLiteral("/srv/out/"));
  EXPECT_EQ(Dialogs.FolderCalls, 0);
}

TEST_F(MainWindowCommandsTest, BatchOutputFolderOverridesTheLocationChoice) {
  AddOneFile();
  Window->SetCommandLine(app::TCommandLine(QStringList{"converter", "-v", "/batch/out", "clip.avi"}));
  Window->btn_ConvertClick();
  ASSERT_EQ(VideoRuns.size(), 1u);
  EXPECT_EQ(VideoRuns[0].Folder, QStringLiteral("/batch/out/"));
  EXPECT_EQ(Dialogs.FolderCalls, 0);
}

TEST_F(MainWindowCommandsTest, RestoreDefaultsResetsListsAndEffectsButNotTheCustomSize) {
  app::TOutputSettings changed;
  changed.VideoFormat = 7;
  changed.VideoEncoder = 0;
  changed.VideoAspect = 3;
  changed.VideoFrameSize = 12;
  changed.VideoFrameRate = 4;
  changed.VideoBitrate = 5;
  changed.AudioFormat = 4;
  changed.AudioEncoder = 1;
  changed.AudioChannel = 1;
  changed.AudioSampleRate = 2;
  changed.AudioBitrate = 6;
  changed.CustomFrameSize = QStringLiteral("1000x500");
  changed.Effects = {true, true, true, true};
  Window->SetOutputSettings(changed);
  EXPECT_EQ(Window->OutputSettings(), changed);

  Find<QAction>("Defaultsettings1")->trigger();
  app::TOutputSettings expected;
  expected.CustomFrameSize = QStringLiteral("1000x500");
  EXPECT_EQ(Window->OutputSettings(), expected);
  EXPECT_EQ(Find<QComboBox>("cb_VideoEncoder")->count(), 4);  // AVI's list again
  EXPECT_EQ(Find<QComboBox>("cb_AudioEncoder")->currentText(), QStringLiteral("MP3"));

  Window->SetOutputSettings(changed);
  Find<QPushButton>("btn_Default")->click();
  EXPECT_EQ(Window->OutputSettings(), expected);
}

TEST_F(MainWindowCommandsTest, FileListSavesEveryPathAndOpensAgain) {
  const QString folder = TempPath(QStringLiteral("my videos"));
  AddFile(QStringLiteral("one clip.avi"), folder, 0, 1);
  AddFile(QStringLiteral("Jörg 日本.mkv"), folder, 0, 1);
  const QString list = TempPath(QStringLiteral("list.fls"));
  Dialogs.SaveNames = {list};
  Window->Save1Click();
  EXPECT_EQ(Dialogs.LastFilter, QStringLiteral("VC Filelist (*.fls)"));
  const QByteArray expected =
      (folder + QStringLiteral("/one clip.avi\n") + folder + QStringLiteral("/Jörg 日本.mkv\n")).toUtf8();
  EXPECT_EQ(testing_support::ReadBytes(list), expected);
  EXPECT_TRUE(Window->DropQueue().isEmpty());

  // Opening replaces the list: the rows go, the file's paths are queued for the adding window.
  QStringList handed;
  int rowsWhenAdding = -1;
  Window->ShowAddingWindow = [&] {
    handed = Window->DropQueue();
    rowsWhenAdding = Window->RowCount();
  };
  AddFile(QStringLiteral("other.avi"), folder, 0, 1);
  Dialogs.OpenNames = {list};
  Window->Open1Click();
  EXPECT_EQ(rowsWhenAdding, 0);
  EXPECT_EQ(handed, QStringList({folder + QStringLiteral("/one clip.avi"),
                                 folder + QStringLiteral("/Jörg 日本.mkv")}));
}

TEST_F(MainWindowCommandsTest, SavingAnEmptyListWritesNoFileAndMissingListsAreIgnored) {
  const QString list = TempPath(QStringLiteral("empty.fls"));
  Dialogs.SaveNames = {list};
  Window->Save1Click();
  EXPECT_EQ(Dialogs.SaveCalls, 1);
  EXPECT_FALSE(QFileInfo::exists(list));

  int addingRuns = 0;
  Window->ShowAddingWindow = [&] { ++addingRuns; };
  AddOneFile();
  Dialogs.OpenNames = {TempPath(QStringLiteral("missing.fls")), std::nullopt};
  Window->Open1Click();
  Window->Open1Click();  // cancelled
  EXPECT_EQ(addingRuns, 0);
  EXPECT_EQ(Window->RowCount(), 1);
  EXPECT_TRUE(Prompter.Messages.empty());
}

TEST_F(MainWindowCommandsTest, PlayOpensTheFirstSelectedFile) {
  Window->lw_FilesDblClick();
  EXPECT_TRUE(Opener.Opened.isEmpty());
  AddFile(QStringLiteral("a.avi"), QStringLiteral("/v"), 0, 1);
  AddFile(QStringLiteral("b c.avi"), QStringLiteral("/v"), 0, 1);
  Window->lw_Files()->topLevelItem(1)->setSelected(true);
  Window->lw_FilesDblClick();
  Find<QAction>("Play1")->trigger();
  EXPECT_EQ(Opener.Opened, QStringList({"/v/b c.avi", "/v/b c.avi"}));
}

TEST_F(MainWindowCommandsTest, PlayWithNothingToPlayTheFileSaysSoAndWhereItIs) {
  AddFile(QStringLiteral("a.avi"), QStringLiteral("/v"), 0, 1);
  Window->lw_Files()->topLevelItem(0)->setSelected(true);
  Opener.Answer = false;
  Find<QAction>("Play1")->trigger();
  EXPECT_EQ(Opener.Opened, QStringList({"/v/a.avi"}));
  ASSERT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_EQ(Prompter.Messages[0].Text,
            QStringLiteral("The file could not be played: the desktop has no program to play it.\r\r"
                           "It is here:\r/v/a.avi"));
}

TEST_F(MainWindowCommandsTest, PreviewAndPropertiesGetTheFirstSelectedRow) {
  std::vector<int> previews;
  std::vector<int> properties;
  Window->ShowPreviewWindow = [&](int row) { previews.push_back(row); };
  Window->ShowPropertiesWindow = [&](int row) { properties.push_back(row); };
  AddFile(QStringLiteral("a.avi"), QStringLiteral("/v"), 0, 1);
  AddFile(QStringLiteral("b.avi"), QStringLiteral("/v"), 0, 1);
  AddFile(QStringLiteral("c.avi"), QStringLiteral("/v"), 0, 1);
  Window->lw_Files()->topLevelItem(2)->setSelected(true);
  Window->lw_Files()->topLevelItem(1)->setSelected(true);
  Window->btn_PlayClick();
  Window->btn_PropertiesClick();
  EXPECT_EQ(previews, std::vector<int>({1}));
  EXPECT_EQ(properties, std::vector<int>({1}));
}

TEST_F(MainWindowCommandsTest, HelpOpensTheHelpPageBesideTheProgram) {
  const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/help");
  const QString help = folder + QStringLiteral("/index.html");
  QFile::remove(help);
  Window->Help2Click();
  ExpectOnlyMessage(TPromptIcon::Warning, "Warning",
                    QStringLiteral("The help file is not found. Please re-install the program."));
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(testing_support::WriteBytes(help, "<html>help</html>"));
  Window->Help2Click();
  QFile::remove(help);
  EXPECT_EQ(Opener.Opened, QStringList({help}));
}

// On a desktop without a browser or opener the help page cannot be shown: a real message box
// says so and names the page's path in text that can be selected and copied.
TEST_F(MainWindowCommandsTest, HelpThatNothingCanOpenSaysWhereThePageIs) {
  const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/help");
  const QString help = folder + QStringLiteral("/index.html");
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(testing_support::WriteBytes(help, "<html>help</html>"));
  Opener.Answer = false;
  platform::SetPrompter(nullptr);  // the program's own message boxes
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  Qt::TextInteractionFlags flags;
  testing_support::OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle();
    text = box->text();
    icon = box->icon();
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
      flags = label->textInteractionFlags();
    box->accept();
  });
  Window->Help2Click();
  platform::SetPrompter(&Prompter);
  QFile::remove(help);
  EXPECT_EQ(Opener.Opened, QStringList({help}));
  EXPECT_EQ(caption, QStringLiteral("Warning"));
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_TRUE(text.startsWith(QStringLiteral("The help page could not be opened"))) << text.toStdString();
  EXPECT_TRUE(text.split(QLatin1Char('\n')).contains(help))
      << "the path on a line of its own: " << text.toStdString();
  EXPECT_TRUE(flags.testFlag(Qt::TextSelectableByMouse));
}

TEST_F(MainWindowCommandsTest, BrowseTakesOnlyAnExistingFolder) {
  Find<QRadioButton>("chk_Path")->setChecked(true);
  Dialogs.Folders = {TempPath(QStringLiteral("nowhere")), FTemp.path(), std::nullopt};
  Window->btn_BrowseClick();
  EXPECT_EQ(Find<QLineEdit>("txt_Path")->text(), QString());
  Window->btn_BrowseClick();
  EXPECT_EQ(Find<QLineEdit>("txt_Path")->text(), FTemp.path());
  Window->btn_BrowseClick();
  EXPECT_EQ(Find<QLineEdit>("txt_Path")->text(), FTemp.path());
}

TEST_F(MainWindowCommandsTest, StartTimersFollowTheCommandLineAndTheUpdateSetting) {
  int batches = 0;
  int checks = 0;
  Window->StartBatch = [&] { ++batches; };
  Window->StartUpdateCheck = [&] { ++checks; };
  Window->show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return checks == 1; }, 5000));
  EXPECT_EQ(batches, 0);

  Window.reset();
  Window = std::make_unique<app::Tfrm_Main>();
  Window->SetCommandLine(app::TCommandLine(QStringList{"converter", "-a", "/out"}));
  Window->StartBatch = [&] { ++batches; };
  Window->StartUpdateCheck = [&] { ++checks; };
  Window->show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return batches == 1; }, 5000));
  EXPECT_EQ(checks, 1);
}

// The desktop's key bindings come with a real X display: a text box there reads Ctrl+E as "end of
// line" and so asks to keep it from the shortcuts, which Qt's offscreen platform never does. The
// cases of keys run again on an X server of their own, on Qt's xcb platform.
void RunOnAnXServer() {
  const test_support::TXServer server;
  ASSERT_FALSE(server.Display().empty()) << "Xvfb (package xvfb) did not start";
  test_support::RunThisTestAlone({{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", server.Display()}});
}

// A window on screen and active, as the user has it: shortcuts reach it the way the desktop's
// keys do (QTest sends the shortcut check before the key itself).
void ShowActive(QWidget& window) {
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
  ASSERT_TRUE(QKeySequence::keyBindings(QKeySequence::MoveToEndOfLine).contains(QKeySequence(Qt::CTRL | Qt::Key_E)))
      << "the X11 bindings of a text box";
  window.show();
  window.activateWindow();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Every menu shortcut of the window runs its command whichever control has the focus; only a text
// box keeps the editing keys it needs itself (Ctrl+V, Ctrl+A and Del act on the path typed there).
TEST_F(MainWindowCommandsTest, MenuShortcutsWorkFromEveryControl) {
  if (!test_support::RunningAlone()) {
    RunOnAnXServer();
    return;
  }
  const QString typed = TempPath(QStringLiteral("out"));
  Find<QRadioButton>("chk_Path")->click();
  auto* path = Find<QLineEdit>("txt_Path");
  ASSERT_NO_FATAL_FAILURE(ShowActive(*Window));
  std::map<const QAction*, int> runs;
  std::vector<QAction*> commands;
  for (QAction* action : Window->actions()) {
    if (action->shortcut().isEmpty() || !action->isVisible()) continue;
    commands.push_back(action);
    QObject::connect(action, &QAction::triggered, action, [&runs, action] { ++runs[action]; });
  }
  ASSERT_EQ(commands.size(), 13u);  // all but the hidden Options... (F10)
  auto* tabs = Find<QTabWidget>("PageControl1");
  int controlsTried = 0;
  for (QWidget* control : Window->findChildren<QWidget*>()) {
    if (control->focusPolicy() == Qt::NoFocus || control->focusProxy() != nullptr || !control->isEnabled())
      continue;
    for (int page = 0; page < tabs->count(); ++page)
      if (tabs->widget(page)->isAncestorOf(control)) tabs->setCurrentIndex(page);
    if (!control->isVisible()) continue;  // a drop-down's list, say
    ++controlsTried;
    const bool textBox = control == path;
    for (QAction* command : commands) {
      SCOPED_TRACE(control->objectName().toStdString() + " " + control->metaObject()->className() + ", " +
                   command->shortcut().toString().toStdString());
      // A selected row, for Preview, Properties and Remove; a folder to convert into.
      if (Window->RowCount() == 0) AddOneFile();
      Window->lw_Files()->topLevelItem(0)->setSelected(true);
      path->setText(typed);
      control->setFocus();
      ASSERT_EQ(QApplication::focusWidget(), control);
      const int before = runs[command];
      QTest::keySequence(control, command->shortcut());
      const bool kept = textBox && (command->shortcut() == QKeySequence(QStringLiteral("Ctrl+V")) ||
                                    command->shortcut() == QKeySequence(QStringLiteral("Ctrl+A")) ||
                                    command->shortcut() == QKeySequence(QStringLiteral("Del")));
      EXPECT_EQ(runs[command] - before, kept ? 0 : 1);
      QApplication::processEvents();
    }
  }
  EXPECT_GE(controlsTried, 15) << "the list, the drop-down lists, the buttons and the path box";
}

// The path typed on the Location tab, then Ctrl+E: the audio is extracted into that folder.
TEST_F(MainWindowCommandsTest, CtrlEFromThePathBoxExtractsIntoTheTypedFolder) {
  if (!test_support::RunningAlone()) {
    RunOnAnXServer();
    return;
  }
  AddOneFile();
  Find<QRadioButton>("chk_Path")->click();
  ASSERT_NO_FATAL_FAILURE(ShowActive(*Window));
  Find<QTabWidget>("PageControl1")->setCurrentWidget(Find<QWidget>("tab_Location"));
  auto* path = Find<QLineEdit>("txt_Path");
  path->setFocus();
  const QString typed = TempPath(QStringLiteral("typed"));
  QTest::keyClicks(path, typed);
  QTest::keyClick(path, Qt::Key_E, Qt::ControlModifier);
  ASSERT_EQ(AudioRuns.size(), 1u);
  EXPECT_EQ(AudioRuns[0].Folder, typed + QLatin1Char('/'));
  EXPECT_EQ(path->text(), typed);
  EXPECT_TRUE(Prompter.Messages.empty());
}

}  // namespace
