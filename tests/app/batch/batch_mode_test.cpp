// The batch mode's logic around the windows: the offscreen platform choice, the exit status, the
// inputs that never reach the list, the empty list, an unknown action, a user's Stop, and the
// settings left unwritten. The main window is real; the adding window and the run windows' media
// are scripted (the real ones run in tests/app/e2e).

#include "app/batch/batch_mode.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <optional>

#include "app/adding/adding.h"
#include "app/main_window/main_window_fixture.h"
#include "app/run_window/fake_run_media.h"
#include "app/run_window/run_wiring.h"

namespace {

using app::TRunResult;
using testing_support::TScriptedEncoder;

// --- before QApplication: the platform ---

struct TPlatformCase {
  const char* Name;
  QStringList Params;
  const char* Display;  // nullptr: unset
  const char* Wayland;
  const char* Platform;
  bool Chosen;
};

void PrintTo(const TPlatformCase& c, std::ostream* out) { *out << c.Name; }

class OffscreenChoiceTest : public ::testing::TestWithParam<TPlatformCase> {
 protected:
  void SetUp() override {
    for (const char* name : KNames)
      FSaved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
  }
  void TearDown() override {
    for (size_t i = 0; i < std::size(KNames); ++i)
      if (FSaved[i])
        qputenv(KNames[i], *FSaved[i]);
      else
        qunsetenv(KNames[i]);
  }
  static void Set(const char* name, const char* value) {
    if (value != nullptr)
      qputenv(name, value);
    else
      qunsetenv(name);
  }
  static constexpr const char* KNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  std::vector<std::optional<QByteArray>> FSaved;
};

TEST_P(OffscreenChoiceTest, ChoosesOffscreenOnlyForABatchWithoutDisplayOrChoice) {
  const TPlatformCase& c = GetParam();
  Set("DISPLAY", c.Display);
  Set("WAYLAND_DISPLAY", c.Wayland);
  Set("QT_QPA_PLATFORM", c.Platform);
  EXPECT_EQ(app::ChooseOffscreenPlatformForBatch(app::TCommandLine(QStringList{"converter"} + c.Params)),
            c.Chosen);
  const QByteArray expected = c.Chosen ? QByteArray("offscreen") : QByteArray(c.Platform);
  EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, OffscreenChoiceTest, ::testing::Values(
    TPlatformCase{"HeadlessBatch", {"-v", "out", "a.avi", "x"}, nullptr, nullptr, nullptr, true},
    TPlatformCase{"NoBatch", {"a.avi"}, nullptr, nullptr, nullptr, false},
    TPlatformCase{"X11", {"-v", "out"}, ":0", nullptr, nullptr, false},
    TPlatformCase{"Wayland", {"-v", "out"}, nullptr, "wayland-0", nullptr, false},
    TPlatformCase{"PlatformChosen", {"-v", "out"}, nullptr, nullptr, "xcb", false}),
    [](const auto& info) { return std::string(info.param.Name); });
// clang-format on

TEST(BatchExitStatusTest, AFileThatNeverReachedTheListMakesAnyRunIncomplete) {
  EXPECT_EQ(app::BatchExitStatus(TRunResult::AllConverted, 0), 0);
  EXPECT_EQ(app::BatchExitStatus(TRunResult::AllConverted, 2), 1);
  EXPECT_EQ(app::BatchExitStatus(TRunResult::NotAllConverted, 0), 1);
  EXPECT_EQ(app::BatchExitStatus(TRunResult::NotAllConverted, 1), 1);
  EXPECT_EQ(app::BatchExitStatus(TRunResult::CouldNotStart, 1), 2);
}

// --- the batch over the main window ---

class BatchModeTest : public testing_support::MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    Work = TempPath(QStringLiteral("work"));
    Out = TempPath(QStringLiteral("out")) + QLatin1Char('/');
    ASSERT_TRUE(QDir().mkpath(Work));
    for (const char* name : {"a.avi", "b.avi", "notes.txt"})
      ASSERT_TRUE(testing_support::WriteBytes(Work + QLatin1Char('/') + QLatin1String(name), "data"));
    FakeAdding();
  }

  /// The adding window lists the queued ".avi" files that exist and names the others.
  void FakeAdding() {
    Window->ShowAddingWindow = [this] {
      for (const QString& path : Window->DropQueue()) {
        const QFileInfo file(path);
        if (file.isFile() && file.suffix() == QLatin1String("avi"))
          AddFile(file.fileName(), file.absolutePath(), 1'000'000, 4);
        else
          Window->NotAdded().append({path, QStringLiteral("not a clip")});
      }
    };
  }

  /// Presses the run window's Close once its run is over (a user who stopped it and closes it).
  void CloseRunWindowWhenFinished() {
    auto* timer = new QTimer(Window.get());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer] {
      if (RunWindow == nullptr || !RunWindow->Finished()) return;
      timer->deleteLater();
      RunWindow->findChild<QPushButton*>(QStringLiteral("btn_Close"))->click();
    });
    timer->start();
  }

  /// The batch of params (after the program name), read from the working folder.
  std::unique_ptr<app::TBatchMode> Make(const QStringList& params, bool unattended) {
    const app::TCommandLine commandLine(QStringList{"converter"} + params);
    Window->SetCommandLine(commandLine);
    auto mode = std::make_unique<app::TBatchMode>(commandLine, Work, unattended);
    app::WireBatchMode(*Window, *mode);
    // The run windows as WireRunWindows shows them, over scripted media.
    auto show = [this, mode = mode.get()](bool video, const QString& folder) {
      auto encoder = std::make_unique<TScriptedEncoder>();
      encoder->LibLoaded = true;
      Encoder = encoder.get();
      if (Script) Script(*encoder);
      app::TRunInput input = app::MakeRunInput(*Window, video, folder, mode->RunSession());
      input.ProgramFolder = TempPath(QStringLiteral("program"));
      Inputs.push_back(input);
      std::unique_ptr<app::TRunWindow> window;
      if (video)
        window = std::make_unique<app::Tfrm_Video>(
            input, std::move(encoder), std::make_unique<testing_support::TFakeDecoder>(), Window.get());
      else
        window = std::make_unique<app::Tfrm_Audio>(
            input, std::move(encoder), std::make_unique<testing_support::TFakeDecoder>(), Window.get());
      RunWindow = window.get();
      window->exec();
      Sources = Encoder->Sources;
      Encoder = nullptr;  // freed with the window
      Log = window->findChild<QTextEdit*>(QStringLiteral("log_Main"))->toPlainText();
      LogFile = window->LogFile();
      mode->RunSession().OnClosed(*window);
      RunWindow = nullptr;
    };
    Window->ShowVideoWindow = [show](const QString& folder) { show(true, folder); };
    Window->ShowAudioWindow = [show](const QString& folder) { show(false, folder); };
    return mode;
  }

  QString Work;
  QString Out;
  std::function<void(TScriptedEncoder&)> Script;
  TScriptedEncoder* Encoder = nullptr;
  app::TRunWindow* RunWindow = nullptr;
  std::vector<app::TRunInput> Inputs;
  std::vector<QString> Sources;  // of the last run window's encoder
  QString Log;
  QString LogFile;
};

TEST_F(BatchModeTest, UnattendedBatchConvertsWhatIsListedAndCountsTheRest) {
  auto mode = Make({"-V", Out, "a.avi", "missing.avi", "notes.txt", "b.avi", "x"}, true);
  mode->Start(*Window);

  ASSERT_EQ(Inputs.size(), 1u);
  const app::TRunInput& input = Inputs[0];
  EXPECT_EQ(input.Rows.size(), 2u);
  EXPECT_EQ(input.OutputFolder, Out);
  EXPECT_EQ(input.Extension, QStringLiteral(".avi"));
  EXPECT_EQ(input.OptionString, Window->OptionString());
  EXPECT_EQ(input.Taskbar, Window->prg_Win7());
  EXPECT_TRUE(input.EchoLog);
  EXPECT_TRUE(input.SaveLog);
  EXPECT_TRUE(input.CloseWhenDone);
  EXPECT_EQ(Sources, (std::vector<QString>{Work + "/a.avi", Work + "/b.avi"}));
  EXPECT_TRUE(Log.endsWith(QStringLiteral("Done.")));
  EXPECT_EQ(LogFile, TempPath(QStringLiteral("program/log.txt")));

  EXPECT_EQ(mode->NotListed(), (QStringList{Work + "/missing.avi", Work + "/notes.txt"}));
  EXPECT_EQ(mode->ExitStatus(), 1);
  EXPECT_TRUE(Window->DropQueue().isEmpty());
  // The log (and so log.txt) names both, each with its reason.
  EXPECT_TRUE(Log.startsWith("Not added: " + Work + "/missing.avi (no such file)\nNot added: " + Work +
                             "/notes.txt (not a clip)\n"))
      << Log.toStdString();
}

// An input named more than once, by a list or among the parameters, is named once in the log and
// on standard error, with its count. (One batch per case: a batch that ends the program asks
// every event loop to leave, which holds until the case is over.)
struct TNamedManyTimesCase {
  const char* Name;
  QStringList Params;  // "OUT" stands for the output folder
  QStringList Lines;   // "WORK" stands for the working folder
};

class BatchNamedManyTimesTest : public BatchModeTest, public testing::WithParamInterface<TNamedManyTimesCase> {};

TEST_P(BatchNamedManyTimesTest, AnInputNamedManyTimesIsReportedOnceWithItsCount) {
  QByteArray list;
  for (int i = 0; i < 100; ++i) list += "missing.avi\nnotes.txt\n";
  list += "a.avi\nnotes.txt\n";
  ASSERT_TRUE(testing_support::WriteBytes(Work + QStringLiteral("/list.fls"), list));
  QStringList params = GetParam().Params;
  params.replaceInStrings(QStringLiteral("OUT"), Out);
  QStringList lines = GetParam().Lines;
  lines.replaceInStrings(QStringLiteral("WORK"), Work);
  auto mode = Make(params, true);
  mode->Start(*Window);
  ASSERT_EQ(Inputs.size(), 1u);
  EXPECT_EQ(Inputs[0].NotAddedLines, lines);
  EXPECT_TRUE(Log.startsWith(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'))) << Log.toStdString();
  EXPECT_EQ(mode->NotListed().size(), 2);
  EXPECT_EQ(mode->ExitStatus(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BatchNamedManyTimesTest,
    testing::Values(TNamedManyTimesCase{"List",
                                        {"-v", "OUT", "list.fls", "x"},
                                        {"Not added: WORK/missing.avi (not a clip, named 100 times)",
                                         "Not added: WORK/notes.txt (not a clip, named 101 times)"}},
                    TNamedManyTimesCase{"Parameters",
                                        {"-v", "OUT", "missing.avi", "a.avi", "missing.avi", "notes.txt", "x"},
                                        {"Not added: WORK/missing.avi (no such file, named 2 times)",
                                         "Not added: WORK/notes.txt (not a clip)"}}),
    [](const testing::TestParamInfo<TNamedManyTimesCase>& info) { return std::string(info.param.Name); });

TEST_F(BatchModeTest, AnEmptyListReportsDoneAndEndsWithoutX) {
  auto mode = Make({"-a", Out}, true);
  mode->Start(*Window);
  ASSERT_EQ(Inputs.size(), 1u);
  EXPECT_TRUE(Inputs[0].Rows.empty());
  EXPECT_EQ(Inputs[0].Extension, QStringLiteral(".mp3"));
  EXPECT_FALSE(Inputs[0].SaveLog);
  EXPECT_TRUE(Inputs[0].CloseWhenDone);
  EXPECT_TRUE(Log.endsWith(QStringLiteral("Done."))) << Log.toStdString();
  EXPECT_TRUE(LogFile.isEmpty());
  EXPECT_EQ(mode->ExitStatus(), 0);
}

TEST_F(BatchModeTest, AnUnknownActionListsTheFilesAndEndsOnlyWhenNobodyWatches) {
  for (bool unattended : {true, false}) {
    SCOPED_TRACE(unattended);
    Window = std::make_unique<app::Tfrm_Main>();
    FakeAdding();
    Inputs.clear();
    auto mode = Make({"-q", Out, "a.avi"}, unattended);
    mode->Start(*Window);
    EXPECT_TRUE(Inputs.empty());
    EXPECT_EQ(Window->RowCount(), 1);
    EXPECT_EQ(mode->ExitStatus(), unattended ? 2 : -1);
  }
}

// With somebody watching, a Stop keeps the program (and the window) open and saves no log; the
// runs that follow are interactive ones.
TEST_F(BatchModeTest, AUserStopWithXNeitherSavesTheLogNorEndsTheProgram) {
  Script = [this](TScriptedEncoder& encoder) {
    encoder.RunUntilStopped.insert(QStringLiteral("a.avi"));
    encoder.OnStarted = [this](const QString&) {
      QTimer::singleShot(0, Window.get(), [this] {
        RunWindow->findChild<QPushButton*>(QStringLiteral("btn_Stop"))->click();
        CloseRunWindowWhenFinished();
      });
    };
  };
  auto mode = Make({"-v", Out, "a.avi", "x"}, false);
  mode->Start(*Window);
  ASSERT_EQ(Inputs.size(), 1u);
  EXPECT_TRUE(Inputs[0].SaveLog);
  EXPECT_TRUE(Inputs[0].CloseWhenDone);
  EXPECT_TRUE(Log.contains(QStringLiteral("Cancelled by user!"))) << Log.toStdString();
  EXPECT_TRUE(LogFile.isEmpty());
  EXPECT_EQ(mode->ExitStatus(), -1);
  EXPECT_FALSE(mode->RunSession().SaveLog);
  EXPECT_FALSE(mode->RunSession().CloseWhenDone);
  EXPECT_FALSE(mode->RunSession().EchoLog);
}

// Every batch that leaves the program running hands an interactive session to the runs that follow,
// whichever way it ended: they neither echo their log, save it, close by themselves nor name again
// what the batch left out.
TEST_F(BatchModeTest, ABatchThatLeavesTheProgramRunningLeavesNothingToLaterRuns) {
  ASSERT_TRUE(QDir().mkpath(Work + QStringLiteral("/sub")));
  struct TCase {
    const char* Name;
    QStringList Params;
    int BatchRuns;
  };
  const TCase cases[] = {
      {"converted, without x", {"-v", Out, "a.avi", "sub"}, 1},
      {"extracted, without x", {"-a", Out, "sub", "b.avi"}, 1},
      {"unknown action", {"-q", Out, "a.avi", "sub", "x"}, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Window = std::make_unique<app::Tfrm_Main>();
    FakeAdding();
    Inputs.clear();
    auto mode = Make(c.Params, false);
    CloseRunWindowWhenFinished();
    mode->Start(*Window);
    ASSERT_EQ(mode->ExitStatus(), -1);
    ASSERT_EQ(static_cast<int>(Inputs.size()), c.BatchRuns);
    if (c.BatchRuns > 0) {
      EXPECT_EQ(Inputs[0].NotAddedLines, QStringList{"Not added: " + Work + "/sub (is a folder)"});
      EXPECT_TRUE(Inputs[0].EchoLog);
    }

    // The user converts the list again into a folder of the Location tab.
    Window->SetCommandLine(app::TCommandLine());
    Window->findChild<QRadioButton*>(QStringLiteral("chk_Path"))->click();
    Window->findChild<QLineEdit*>(QStringLiteral("txt_Path"))->setText(Out);
    CloseRunWindowWhenFinished();
    Window->btn_ConvertClick();
    ASSERT_EQ(static_cast<int>(Inputs.size()), c.BatchRuns + 1);
    const app::TRunInput& later = Inputs.back();
    EXPECT_EQ(later.Rows.size(), 1u);
    EXPECT_FALSE(later.EchoLog);
    EXPECT_FALSE(later.SaveLog);
    EXPECT_FALSE(later.CloseWhenDone);
    EXPECT_TRUE(later.NotAddedLines.isEmpty()) << later.NotAddedLines.join('\n').toStdString();
    EXPECT_FALSE(Log.contains(QStringLiteral("Not added"))) << Log.toStdString();
  }
}

// Nobody sees an unattended batch's windows, so they start their work without waiting to be
// painted; with somebody watching they keep their waits (100 ms each). The batch runs as the
// program starts it: showing the main window starts it through tmr_Param, and each window reads
// its waits where it is built.
class BatchPaintWaitsTest : public BatchModeTest, public testing::WithParamInterface<bool> {};

TEST_P(BatchPaintWaitsTest, OnlyAnUnattendedBatchSkipsThem) {
  const bool unattended = GetParam();
  const int wait = unattended ? 0 : 100;
  int scanWait = -1;
  int startWait = -1;
  int nextFileWait = -1;
  // The adding window as the main window opens it, before the scripted listing.
  Window->ShowAddingWindow = [this, &scanWait, listFiles = Window->ShowAddingWindow] {
    const app::Tfrm_Adding adding(*Window);
    scanWait = adding.findChild<QTimer*>(QStringLiteral("Timer1"))->interval();
    listFiles();
  };
  Script = [&](TScriptedEncoder& encoder) {
    encoder.OnStarted = [&](const QString&) {
      startWait = RunWindow->findChild<QTimer*>(QStringLiteral("tmr_Start"))->interval();
      nextFileWait = RunWindow->findChild<QTimer*>(QStringLiteral("tmr_Process"))->interval();
    };
  };
  auto mode = Make({"-v", Out, "a.avi", "x"}, unattended);
  Window->show();
  // With "x" the batch ends either way once the list is done.
  ASSERT_TRUE(QTest::qWaitFor([&] { return mode->ExitStatus() >= 0; }));
  EXPECT_EQ(mode->ExitStatus(), 0);
  ASSERT_EQ(Inputs.size(), 1u);
  EXPECT_EQ(Sources, (std::vector<QString>{Work + "/a.avi"}));
  EXPECT_EQ(Window->findChild<QTimer*>(QStringLiteral("tmr_Param"))->interval(), wait);
  EXPECT_EQ(scanWait, wait);
  EXPECT_EQ(startWait, wait);
  EXPECT_EQ(nextFileWait, wait);

  // A program started without a batch keeps them.
  app::Tfrm_Main interactive;
  EXPECT_EQ(app::MakeRunInput(interactive, true, Out, app::TRunSession()).Delays.Ms(100), 100);
  EXPECT_EQ(app::Tfrm_Adding(interactive).findChild<QTimer*>(QStringLiteral("Timer1"))->interval(), 100);
}

INSTANTIATE_TEST_SUITE_P(Watched, BatchPaintWaitsTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("Unattended") : std::string("Attended");
                         });

TEST_F(BatchModeTest, ABatchNeverWritesTheSettings) {
  auto mode = Make({"-v", Out, "a.avi"}, false);
  Window->close();
  EXPECT_FALSE(QFile::exists(SettingsFile()));
  Window->SetCommandLine(app::TCommandLine());
  Window->close();
  EXPECT_TRUE(QFile::exists(SettingsFile()));
}

}  // namespace
