#include "app/run_window/run_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLockFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <algorithm>
#include <csignal>
#include <cstring>

#include "app/main_window/main_window_fixture.h"  // the application object, made once
#include "app/run_window/fake_run_media.h"
#include "app/run_window/output_file.h"
#include "app/run_window/run_format.h"
#include "app/settings/temp_folder.h"
#include "components/recording_taskbar_backend.h"
#include "components/taskbar_mgr.h"
#include "platform/recording_prompter.h"

namespace {

using app::TRunInput;
using app::TRunResult;
using app::TRunWindow;
using testing_support::TDelivery;
using testing_support::TFakeDecoder;
using testing_support::TFakeOutcome;
using testing_support::TRecordingPrompter;
using testing_support::TScriptedEncoder;

const QColor KRed(255, 0, 0);
const QColor KGreen(0, 128, 0);
const QColor KBlue(0, 0, 255);
const QString KOptions = QStringLiteral("-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn ");

// The files the encoder writes are the outputs' temporary twins: under the output's own name, each
// in a hidden folder of its own beside its output, named by eight random letters and digits.
::testing::AssertionResult AreTemporariesOf(const std::vector<QString>& names,
                                            const std::vector<QString>& outputs) {
  if (names.size() != outputs.size())
    return ::testing::AssertionFailure() << names.size() << " names for " << outputs.size() << " outputs";
  for (size_t i = 0; i < names.size(); ++i) {
    const QFileInfo output(outputs[i]);
    const QRegularExpression twin(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(output.path() + QStringLiteral("/.")) + QStringLiteral("[A-Za-z0-9]{8}") +
        QRegularExpression::escape(QLatin1Char('/') + output.fileName())));
    if (!twin.match(names[i]).hasMatch())
      return ::testing::AssertionFailure()
             << names[i].toStdString() << " is not a temporary name of " << outputs[i].toStdString();
  }
  return ::testing::AssertionSuccess();
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every name in folder: files, folders and links, hidden ones too.
QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

enum class TMode { Video, Audio };

class RunWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::App();
    FTemp = std::make_unique<QTemporaryDir>(testing_support::MakeTempFolder("run_window"));
    ASSERT_TRUE(FTemp->isValid());
    OutFolder = FTemp->filePath(QStringLiteral("out")) + QLatin1Char('/');
  }

  /// A source file under the test's folder (folders made as needed).
  QString Source(const QString& relativePath) {
    const QString path = FTemp->filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not really media");
    return path;
  }

  TRunInput Input(const QStringList& sources) {
    TRunInput input;
    for (const QString& path : sources) input.Rows.push_back({QFileInfo(path).fileName(), path});
    input.OptionString = KOptions;
    input.Extension = QStringLiteral(".avi");
    input.OutputFolder = OutFolder;
    input.ProgramFolder = FTemp->filePath(QStringLiteral("program"));
    return input;
  }

  /// Creates the window over fresh fakes; Encoder and Decoder point at them while it lives.
  void Make(TRunInput input, TMode mode = TMode::Video) {
    auto encoder = std::make_unique<TScriptedEncoder>();
    auto decoder = std::make_unique<TFakeDecoder>();
    Encoder = encoder.get();
    Decoder = decoder.get();
    if (mode == TMode::Video)
      Window = std::make_unique<app::Tfrm_Video>(std::move(input), std::move(encoder), std::move(decoder));
    else
      Window = std::make_unique<app::Tfrm_Audio>(std::move(input), std::move(encoder), std::move(decoder));
  }

  /// Pumps the event loop until done() holds; false after 30 s (a hang, not a slow run).
  static bool PumpUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 30000) QTest::qWait(5);
    return done();
  }

  void Run() {
    Window->show();
    ASSERT_TRUE(PumpUntil([this] { return Window->Finished(); }))
        << Lines().join(QLatin1Char('\n')).toStdString();
  }

  template <class T>
  T* Child(const char* name) const {
    return Window->findChild<T*>(QLatin1String(name));
  }

  QStringList Lines() const { return Child<QTextEdit>("log_Main")->toPlainText().split(QLatin1Char('\n')); }

  /// The lines of file #n: from its "File #n" line up to the empty line that opens the next file
  /// or the end of the list.
  QStringList Section(int n) const {
    const QStringList lines = Lines();
    const int from = lines.indexOf(QStringLiteral("File #%1").arg(n));
    if (from < 0) return {};
    int to = from + 1;
    while (to < lines.size() && !lines[to].isEmpty()) ++to;
    return lines.mid(from, to - from);
  }

  QColor ColorOf(const QString& line) const {
    const QStringList lines = Lines();
    const int index = lines.lastIndexOf(line);
    if (index < 0) return {};
    const QTextBlock block = Child<QTextEdit>("log_Main")->document()->findBlockByNumber(index);
    return block.begin().fragment().charFormat().foreground().color();
  }

  /// The log of one file converted without trouble.
  QStringList ConvertedSection(int n, const QString& source, const QString& output) const {
    return {QStringLiteral("File #%1").arg(n),
            source,
            QStringLiteral("Loading file... OK"),
            QStringLiteral("Adding task... OK"),
            QStringLiteral("Parameters ") + KOptions,
            QStringLiteral("Applying parameters... OK"),
            QStringLiteral("Processing file..."),
            output,
            QStringLiteral("Success!")};
  }

  std::unique_ptr<QTemporaryDir> FTemp;
  QString OutFolder;
  TRecordingPrompter Prompter;
  TScriptedEncoder* Encoder = nullptr;
  TFakeDecoder* Decoder = nullptr;
  std::unique_ptr<TRunWindow> Window;
};

// --- moving on: once per file, however the two terminate events arrive ---

std::string DeliveryName(TDelivery delivery) {
  switch (delivery) {
    case TDelivery::InsideStart:
      return "InsideStart";
    case TDelivery::Queued:
      return "Queued";
    case TDelivery::Spread:
      return "Spread";
  }
  return "?";
}

class RunWindowDeliveryTest : public RunWindowTest, public ::testing::WithParamInterface<TDelivery> {};

TEST_P(RunWindowDeliveryTest, ConvertsEveryFileOnceAndLogsEachStep) {
  const QStringList sources = {Source("a/clip1.mp4"), Source("a/clip2.mkv"), Source("b/clip3.mov")};
  Make(Input(sources));
  Encoder->Delivery = GetParam();
  Run();

  EXPECT_EQ(Encoder->Violations, 0) << "the next file was set up while a run was still going";
  EXPECT_EQ(Encoder->Sources, std::vector<QString>(sources.begin(), sources.end()));
  const std::vector<QString> outputs = {OutFolder + "clip1.avi", OutFolder + "clip2.avi",
                                        OutFolder + "clip3.avi"};
  // The encoder writes beside each output into a temporary file, which becomes the output. It is
  // given a name that reaches the file through its folder held open, not through the output's.
  EXPECT_TRUE(AreTemporariesOf(Encoder->Opened, outputs));
  for (size_t i = 0; i < outputs.size(); ++i) {
    EXPECT_EQ(ReadAll(outputs[i]), "partial converted " + sources[int(i)].toUtf8()) << outputs[i].toStdString();
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(Encoder->Opened[i]).path())) << "its folder is removed";
    const QRegularExpression held(
        QRegularExpression::anchoredPattern(QStringLiteral("/proc/self/fd/[0-9]+/") +
                                            QRegularExpression::escape(QFileInfo(outputs[i]).fileName())));
    EXPECT_TRUE(held.match(Encoder->Outputs[i]).hasMatch()) << Encoder->Outputs[i].toStdString();
  }
  EXPECT_EQ(Entries(OutFolder), (QStringList{"clip1.avi", "clip2.avi", "clip3.avi"}));
  EXPECT_EQ(Encoder->Options, std::vector<QString>(3, KOptions));

  QStringList expected = {QStringLiteral("Loading AV components..."), QStringLiteral("Success!")};
  for (int i = 0; i < 3; ++i)
    expected += QStringList{QString()} + ConvertedSection(i + 1, sources[i], outputs[i]);
  expected += {QString(), QStringLiteral("Done.")};
  EXPECT_EQ(Lines(), expected);
  EXPECT_EQ(ColorOf(QStringLiteral("Success!")), KGreen);
  EXPECT_EQ(ColorOf(QStringLiteral("Done.")), KBlue);

  EXPECT_EQ(Window->windowTitle(), QStringLiteral("Saving... [3/3]"));
  EXPECT_EQ(Window->Result(), TRunResult::AllConverted);
  EXPECT_EQ(app::ExitCode(Window->Result()), 0);
  EXPECT_TRUE(Child<QPushButton>("btn_Close")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>("btn_Stop")->isEnabled());
  EXPECT_EQ(Child<QLabel>("lbl_File")->text(), QStringLiteral("Done."));
  EXPECT_EQ(Prompter.Beeps, std::vector<bool>{false});
}

INSTANTIATE_TEST_SUITE_P(Deliveries, RunWindowDeliveryTest,
                         ::testing::Values(TDelivery::InsideStart, TDelivery::Queued, TDelivery::Spread),
                         [](const auto& info) { return DeliveryName(info.param); });

// --- failures: logged in red with the reason, never "Success!", and the run goes on ---

enum class TFailure { MissingSource, LoadFile, AddTask, SetOutput, Exception, Unfinished };
struct TFailureCase {
  const char* Name;
  TFailure Failure;
  const char* RedLine;  // nullptr: nothing is logged for the file
};

void PrintTo(const TFailureCase& c, std::ostream* out) { *out << c.Name; }

class RunWindowFailureTest : public RunWindowTest, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(RunWindowFailureTest, LogsTheReasonAndGoesOn) {
  const QStringList sources = {Source("clip1.mp4"), Source("clip2.mp4")};
  Make(Input(sources));
  switch (GetParam().Failure) {
    case TFailure::MissingSource:
      QFile::remove(sources[0]);
      break;
    case TFailure::LoadFile:
      Decoder->FailLoad.insert("clip1.mp4");
      break;
    case TFailure::AddTask:
      Encoder->FailAddTask.insert("clip1.mp4");
      break;
    case TFailure::SetOutput:
      Encoder->FailSetOutput.insert("clip1.mp4");
      break;
    case TFailure::Exception:
      Encoder->Outcomes["clip1.mp4"] = {false, true, "Error while encoding"};
      break;
    case TFailure::Unfinished:
      Encoder->Outcomes["clip1.mp4"] = {false, false, QString()};
      break;
  }
  Run();

  const QStringList first = Section(1);
  if (GetParam().RedLine == nullptr) {
    EXPECT_TRUE(first.isEmpty()) << "a missing source is passed over silently";
  } else {
    EXPECT_TRUE(first.contains(QString::fromUtf8(GetParam().RedLine))) << first.join('|').toStdString();
    EXPECT_EQ(ColorOf(QString::fromUtf8(GetParam().RedLine)), KRed);
  }
  EXPECT_FALSE(first.contains(QStringLiteral("Success!")));
  EXPECT_EQ(Section(2), ConvertedSection(2, sources[1], OutFolder + "clip2.avi"));
  EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
  EXPECT_EQ(app::ExitCode(Window->Result()), 1);
  EXPECT_EQ(Encoder->Violations, 0);
  if (GetParam().Failure == TFailure::SetOutput) {
    EXPECT_NE(std::find(Encoder->Calls.begin(), Encoder->Calls.end(), "RemoveTask 0"), Encoder->Calls.end());
  }
  const bool stepFailed = GetParam().Failure == TFailure::LoadFile ||
                          GetParam().Failure == TFailure::AddTask ||
                          GetParam().Failure == TFailure::SetOutput;
  EXPECT_EQ(std::count(Prompter.Beeps.begin(), Prompter.Beeps.end(), true), stepFailed ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RunWindowFailureTest,
    ::testing::Values(TFailureCase{"MissingSource", TFailure::MissingSource, nullptr},
                      TFailureCase{"LoadFile", TFailure::LoadFile,
                                   "Loading file... Error! Invalid data found when processing input"},
                      TFailureCase{"AddTask", TFailure::AddTask, "Adding task... Error! cannot open"},
                      TFailureCase{"SetOutput", TFailure::SetOutput,
                                   "Applying parameters... Error! bad option"},
                      TFailureCase{"Exception", TFailure::Exception, "Error while encoding"},
                      TFailureCase{"Unfinished", TFailure::Unfinished,
                                   "Error! The conversion ended before the end of the file."}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- the user stops ---

class RunWindowStopTest : public RunWindowTest, public ::testing::WithParamInterface<TMode> {};

TEST_P(RunWindowStopTest, CancelsThenDoneWithoutSuccessOrNextFile) {
  const QStringList sources = {Source("clip1.mp4"), Source("clip2.mp4")};
  Make(Input(sources), GetParam());
  Encoder->RunUntilStopped.insert("clip1.mp4");
  Encoder->OnStarted = [this](const QString&) {
    QTimer::singleShot(0, Window.get(), [this] { Child<QPushButton>("btn_Stop")->click(); });
  };
  Run();

  QStringList tail = {QStringLiteral("Cancelled by user!"), QStringLiteral("Done.")};
  if (GetParam() == TMode::Audio) tail.insert(1, QString());
  const QStringList lines = Lines();
  EXPECT_EQ(lines.mid(lines.size() - tail.size()), tail);
  EXPECT_EQ(lines.count(QStringLiteral("Success!")), 1) << "only the libraries' one";
  EXPECT_EQ(ColorOf(QStringLiteral("Cancelled by user!")), KRed);
  EXPECT_EQ(Encoder->Sources.size(), 1u);
  EXPECT_NE(std::find(Encoder->Calls.begin(), Encoder->Calls.end(), "Stop wait"), Encoder->Calls.end());
  EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
  EXPECT_TRUE(Child<QPushButton>("btn_Close")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>("btn_Stop")->isEnabled());
  EXPECT_EQ(Prompter.Beeps, (std::vector<bool>{true, false}));
}

INSTANTIATE_TEST_SUITE_P(Modes, RunWindowStopTest, ::testing::Values(TMode::Video, TMode::Audio),
                         [](const auto& info) {
                           return std::string(info.param == TMode::Video ? "Video" : "Audio");
                         });

// --- the encoder refuses a call that has no result of its own: the reason reaches the log ---

enum class TRefusal { ClearTasks, RemoveTask, Stop };
struct TRefusalCase {
  const char* Name;
  TRefusal Refusal;
  const char* RedLine;
};

void PrintTo(const TRefusalCase& c, std::ostream* out) { *out << c.Name; }

class RunWindowRefusalTest : public RunWindowTest, public ::testing::WithParamInterface<TRefusalCase> {};

TEST_P(RunWindowRefusalTest, LogsTheReasonInRed) {
  const QStringList sources = {Source("clip1.mp4"), Source("clip2.mp4")};
  Make(Input(sources));
  switch (GetParam().Refusal) {
    case TRefusal::ClearTasks:
      Encoder->FailClearTasks = QStringLiteral("Cannot ClearTasks while working.");
      break;
    case TRefusal::RemoveTask:
      Encoder->FailSetOutput.insert("clip1.mp4");
      Encoder->FailRemoveTask = QStringLiteral("Cannot RemoveTask while working.");
      break;
    case TRefusal::Stop:
      Encoder->RunUntilStopped.insert("clip1.mp4");
      Encoder->FailStop = QStringLiteral("stop failed");
      Encoder->OnStarted = [this](const QString&) {
        QTimer::singleShot(0, Window.get(), [this] { Child<QPushButton>("btn_Stop")->click(); });
      };
      break;
  }
  Run();

  const QString red = QString::fromUtf8(GetParam().RedLine);
  EXPECT_TRUE(Lines().contains(red)) << Lines().join('|').toStdString();
  EXPECT_EQ(ColorOf(red), KRed);
  EXPECT_EQ(Lines().last(), QStringLiteral("Done."));
  EXPECT_TRUE(Child<QPushButton>("btn_Close")->isEnabled()) << "the run still comes to its end";
}

INSTANTIATE_TEST_SUITE_P(
    Calls, RunWindowRefusalTest,
    ::testing::Values(
        TRefusalCase{"ClearTasks", TRefusal::ClearTasks, "Clearing tasks... Error! Cannot ClearTasks while working."},
        TRefusalCase{"RemoveTask", TRefusal::RemoveTask, "Removing task... Error! Cannot RemoveTask while working."},
        TRefusalCase{"Stop", TRefusal::Stop, "Stopping... Error! stop failed"}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- existing outputs ---

class RunWindowOverwriteTest : public RunWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RunWindowOverwriteTest, AsksAndSkipsOnNo) {
  const QStringList sources = {Source("clip1.mp4"), Source("clip2.mp4")};
  const QString existing = OutFolder + "clip1.avi";
  Source("out/clip1.avi");
  Make(Input(sources));
  Prompter.Answers = {GetParam()};
  Run();

  ASSERT_EQ(Prompter.Questions.size(), 1u);
  EXPECT_EQ(Prompter.Questions[0].Caption, QStringLiteral("Warning"));
  EXPECT_EQ(Prompter.Questions[0].Icon, platform::TPromptIcon::Warning);
  EXPECT_EQ(Prompter.Questions[0].Text, QStringLiteral("File \"") + existing +
                                            QStringLiteral("\" already exists!\r\rOverwrite existing file?"));
  if (GetParam()) {
    EXPECT_EQ(Section(1), ConvertedSection(1, sources[0], existing));
    EXPECT_EQ(Window->Result(), TRunResult::AllConverted);
  } else {
    EXPECT_EQ(Section(1), (QStringList{"File #1", sources[0], "Skipped!"}));
    EXPECT_EQ(ColorOf(QStringLiteral("Skipped!")), KRed);
    EXPECT_EQ(Encoder->Sources, std::vector<QString>{sources[1]});
    EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
  }
  EXPECT_EQ(Section(2), ConvertedSection(2, sources[1], OutFolder + "clip2.avi"));
}

INSTANTIATE_TEST_SUITE_P(Answers, RunWindowOverwriteTest, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Yes" : "No"); });

// --- an output that is the source itself ---

enum class TSameFile { FolderOfTheSource, SymlinkToTheFolder, HardLink };

std::string SameFileName(TSameFile way) {
  switch (way) {
    case TSameFile::FolderOfTheSource:
      return "FolderOfTheSource";
    case TSameFile::SymlinkToTheFolder:
      return "SymlinkToTheFolder";
    case TSameFile::HardLink:
      return "HardLink";
  }
  return "?";
}

class RunWindowSameFileTest : public RunWindowTest, public ::testing::WithParamInterface<TSameFile> {};

TEST_P(RunWindowSameFileTest, RefusesToConvertOntoTheSource) {
  const QString source = Source("a/movie.avi");
  const QString second = Source("b/clip2.mp4");
  TRunInput input = Input({source, second});
  switch (GetParam()) {
    case TSameFile::FolderOfTheSource:
      input.OutputFolder.clear();
      break;
    case TSameFile::SymlinkToTheFolder:
      ASSERT_TRUE(QFile::link(FTemp->filePath("a"), FTemp->filePath("link")));
      input.OutputFolder = FTemp->filePath("link");
      break;
    case TSameFile::HardLink:
      QDir().mkpath(OutFolder);
      ASSERT_EQ(::link(QFile::encodeName(source).constData(),
                       QFile::encodeName(OutFolder + "movie.avi").constData()),
                0);
      break;
  }
  Make(std::move(input));
  Prompter.DefaultAnswer = true;  // a question answered Yes would destroy the source
  Run();

  EXPECT_TRUE(Prompter.Questions.empty());
  EXPECT_EQ(Section(1),
            (QStringList{"File #1", source, "Skipped! The output would overwrite the source file."}));
  EXPECT_EQ(ColorOf(QStringLiteral("Skipped! The output would overwrite the source file.")), KRed);
  EXPECT_EQ(Encoder->Sources, std::vector<QString>{second});
  if (GetParam() == TSameFile::FolderOfTheSource) {
    // The first source's folder holds for the whole run.
    EXPECT_TRUE(AreTemporariesOf(Encoder->Opened, {FTemp->filePath("a/clip2.avi")}));
    EXPECT_EQ(Window->OutputFolder(), FTemp->filePath("a") + QLatin1Char('/'));
  }
  EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
}

INSTANTIATE_TEST_SUITE_P(Ways, RunWindowSameFileTest,
                         ::testing::Values(TSameFile::FolderOfTheSource, TSameFile::SymlinkToTheFolder,
                                           TSameFile::HardLink),
                         [](const auto& info) { return SameFileName(info.param); });

// --- the run's ends ---

TEST_F(RunWindowTest, EmptyListIsDoneAtOnce) {
  Make(Input({}));
  Run();
  EXPECT_EQ(Lines(), (QStringList{"Loading AV components...", "Success!", "", "Done."}));
  EXPECT_TRUE(Encoder->Sources.empty());
  EXPECT_EQ(Window->Result(), TRunResult::AllConverted);
  EXPECT_EQ(app::ExitCode(Window->Result()), 0);
}

TEST_F(RunWindowTest, MissingLibrariesEndTheRunBeforeTheFirstFile) {
  TRunInput input = Input({Source("clip1.mp4")});
  input.CloseWhenDone = true;
  Make(std::move(input));
  Encoder->LoadSucceeds = false;
  Run();
  EXPECT_EQ(Lines(), (QStringList{"Loading AV components...", "AV components could not be found!"}));
  EXPECT_EQ(Encoder->Calls.front(), "LoadAVLib " + FTemp->filePath("program").toStdString());
  EXPECT_EQ(Encoder->Calls.size(), 1u);
  EXPECT_EQ(Window->Result(), TRunResult::CouldNotStart);
  EXPECT_EQ(app::ExitCode(Window->Result()), 2);
  EXPECT_FALSE(Window->isVisible()) << "nobody is there to press Close";
  EXPECT_EQ(Prompter.Beeps, std::vector<bool>{true});
}

TEST_F(RunWindowTest, LoadedLibrariesAreNotLoadedAgain) {
  Make(Input({}));
  Encoder->LibLoaded = true;
  Run();
  EXPECT_EQ(Lines(), (QStringList{"Loading AV components...", "", "Done."}));
  EXPECT_TRUE(Encoder->Calls.empty());
}

// --- the taskbar: percent of the file with one file, files done with several ---

class RunWindowTaskbarTest : public RunWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(RunWindowTaskbarTest, ShowsPercentForOneFileAndFilesDoneForSeveral) {
  const int count = GetParam();
  QStringList sources;
  for (int i = 1; i <= count; ++i) sources << Source(QStringLiteral("clip%1.mp4").arg(i));
  testing_support::TRecordingTaskbarBackend::TLog desktop;
  components::TTaskbarMgr taskbar(nullptr,
                                  std::make_unique<testing_support::TRecordingTaskbarBackend>(&desktop));
  TRunInput input = Input(sources);
  input.Taskbar = &taskbar;
  Make(std::move(input));
  Encoder->Progress = {testing_support::RunProgress(1000, 250, 10), testing_support::RunProgress(1000, 500, 10),
                       testing_support::RunProgress(1000, 1000, 10)};

  std::vector<std::pair<int, int>> atStart, afterProgress;
  Encoder->OnStarted = [&](const QString&) {
    EXPECT_TRUE(taskbar.Active());
    EXPECT_EQ(taskbar.ProgressState(), components::TTaskProgressState::fstpsNormal);
    atStart.emplace_back(taskbar.ProgressValue(), taskbar.ProgressValueMax());
  };
  Encoder->AfterProgress = [&] {
    afterProgress.emplace_back(taskbar.ProgressValue(), taskbar.ProgressValueMax());
  };
  Run();

  if (count == 1) {
    EXPECT_EQ(atStart, (std::vector<std::pair<int, int>>{{0, 100}}));
    EXPECT_EQ(afterProgress, (std::vector<std::pair<int, int>>{{25, 100}, {50, 100}, {50, 100}}));
  } else {
    EXPECT_EQ(atStart, (std::vector<std::pair<int, int>>{{0, 100}, {1, 3}, {2, 3}}));
    for (const auto& value : afterProgress) EXPECT_NE(value.first, 25) << "percent shown with several files";
  }
  EXPECT_EQ(taskbar.ProgressValue(), taskbar.ProgressValueMax());
  EXPECT_EQ(taskbar.ProgressValueMax(), count == 1 ? 100 : count);

  Child<QPushButton>("btn_Close")->click();
  EXPECT_FALSE(Window->isVisible());
  EXPECT_FALSE(taskbar.Active());
  EXPECT_EQ(taskbar.ProgressValue(), 0);
  EXPECT_EQ(taskbar.ProgressState(), components::TTaskProgressState::fstpsNoProgress);
  EXPECT_EQ(desktop.Calls.back(), "State NoProgress");
}

INSTANTIATE_TEST_SUITE_P(Files, RunWindowTaskbarTest, ::testing::Values(1, 3),
                         [](const auto& info) { return std::to_string(info.param) + "Files"; });

TEST_F(RunWindowTest, CloseIsRefusedWhileRunning) {
  Make(Input({Source("clip1.mp4")}));
  Encoder->RunUntilStopped.insert("clip1.mp4");
  bool started = false;
  Encoder->OnStarted = [&](const QString&) { started = true; };
  Window->show();
  ASSERT_TRUE(PumpUntil([&] { return started; }));
  Window->reject();
  Window->close();
  EXPECT_TRUE(Window->isVisible());
  Child<QPushButton>("btn_Stop")->click();
  ASSERT_TRUE(PumpUntil([this] { return Window->Finished(); }));
  Window->close();
  EXPECT_FALSE(Window->isVisible());
}

// --- the audio window takes its total from the decoder ---

TEST_F(RunWindowTest, AudioPercentFollowsTheSourceDuration) {
  Make(Input({Source("song.flac")}), TMode::Audio);
  Decoder->FileDuration = 2000;
  Encoder->Progress = {testing_support::RunProgress(0, 500, 2048)};
  QString percent, size;
  Encoder->AfterProgress = [&] {
    percent = Child<QLabel>("lbl_Percent")->text();
    size = Child<QLabel>("lbl_FPS")->text();
  };
  Run();
  EXPECT_EQ(percent, QStringLiteral("25%"));
  EXPECT_EQ(size, QStringLiteral("2 KB"));
  EXPECT_EQ(Child<QLabel>("lbl_Percent")->text(), QStringLiteral("100%"));
}

// --- batch mode: the log on standard output and in log.txt ---

class RunWindowLogFileTest : public RunWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RunWindowLogFileTest, WritesLogTxtAndCloses) {
  const bool programFolderWritable = GetParam();
  const QString source = Source("clip1.mp4");
  TRunInput input = Input({source});
  input.EchoLog = true;
  input.SaveLog = true;
  input.CloseWhenDone = true;
  input.SettingsFolder = FTemp->filePath("settings");
  // A folder below a plain file can be neither made nor written, even by root.
  if (!programFolderWritable) input.ProgramFolder = Source("plain-file") + QStringLiteral("/program");
  const QString expectedLog =
      (programFolderWritable ? input.ProgramFolder : input.SettingsFolder) + QStringLiteral("/log.txt");
  Make(std::move(input));

  testing::internal::CaptureStdout();
  Run();
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_FALSE(Window->isVisible());
  EXPECT_EQ(Window->LogFile(), expectedLog);
  QFile file(expectedLog);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_EQ(text, Lines().join(QLatin1Char('\n')) + QLatin1Char('\n'));
  EXPECT_TRUE(text.contains(QStringLiteral("File #1\n")));
  EXPECT_TRUE(text.endsWith(QStringLiteral("Success!\n\nDone.\n")));
  EXPECT_NE(out.find("File #1\n" + source.toStdString() + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Log saved to " + expectedLog.toStdString()), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(ProgramFolder, RunWindowLogFileTest, ::testing::Values(true, false),
                         [](const auto& info) {
                           return std::string(info.param ? "Writable" : "Unwritable");
                         });

TEST_F(RunWindowTest, WithoutXNoLogFileAndTheWindowStays) {
  Make(Input({Source("clip1.mp4")}));
  Run();
  EXPECT_TRUE(Window->isVisible());
  EXPECT_TRUE(Window->LogFile().isEmpty());
  EXPECT_FALSE(QFileInfo::exists(FTemp->filePath("program/log.txt")));
}

// --- texts ---

TEST(RunFormat, SizesTimesAndNames) {
  struct {
    int64_t Bytes;
    const char* Text;
  } sizes[] = {{0, "0 KB"},          {1536, "2 KB"},       {1048576, "1,024 KB"},
               {1048577, "1.00 MB"}, {1572864, "1.50 MB"}, {1234567890, "1,177.38 MB"}};
  for (const auto& c : sizes) EXPECT_EQ(app::FormatRunSize(c.Bytes), QString::fromUtf8(c.Text)) << c.Bytes;

  struct {
    int64_t Seconds;
    const char* Text;
  } times[] = {{0, "00:00:00"}, {3661, "01:01:01"}, {90000, "25:00:00"}, {-4, "00:00:00"}};
  for (const auto& c : times)
    EXPECT_EQ(app::FormatRunTime(c.Seconds), QString::fromUtf8(c.Text)) << c.Seconds;

  struct {
    int64_t Total, Current;
    int Seconds;
    const char* Text;
  } remaining[] = {{1000, 500, 5, "calculation..."},
                   {1000, 500, 6, "00:00:06"},
                   {1000, 0, 10, "N/A"},
                   {-1, 500, 10, "N/A"},
                   {1000, 2000, 10, "00:00:00"},
                   {4000, 1000, 100, "00:05:00"}};
  for (const auto& c : remaining)
    EXPECT_EQ(app::RemainingText(c.Total, c.Current, c.Seconds), QString::fromUtf8(c.Text)) << c.Seconds;

  struct {
    const char* Name;
    const char* Output;
  } names[] = {{"a.mp4", "a.avi"}, {"a", "a.avi"}, {"a.b.c", "a.b.avi"}, {".profile", ".profile.avi"}};
  for (const auto& c : names)
    EXPECT_EQ(app::ChangeFileExt(QString::fromUtf8(c.Name), QStringLiteral(".avi")),
              QString::fromUtf8(c.Output));
}

}  // namespace

namespace {

// --- outputs: never one this run wrote, never a partial one ---

TEST(RunFormat, NumberedNames) {
  EXPECT_EQ(app::NumberedFileName(QStringLiteral("/out/city.mkv"), 2), QStringLiteral("/out/city (2).mkv"));
  EXPECT_EQ(app::NumberedFileName(QStringLiteral("/o.d/city"), 3), QStringLiteral("/o.d/city (3)"));
  EXPECT_EQ(app::NumberedFileName(QStringLiteral("/out/.mkv"), 2), QStringLiteral("/out/.mkv (2)"));
}

TEST(OutputFile, TheTemporaryFileIsNewEmptyUnguessableAndInAFolderOfItsOwn) {
  QTemporaryDir folder(testing_support::MakeTempFolder("output_file"));
  ASSERT_TRUE(folder.isValid());
  const QString output = folder.filePath(QStringLiteral("clip.avi"));
  app::TTemporaryOutput first;
  app::TTemporaryOutput second;
  QString error;
  ASSERT_TRUE(first.Create(output, &error)) << error.toStdString();
  ASSERT_TRUE(second.Create(output, &error)) << error.toStdString();
  EXPECT_NE(first.Path(), second.Path());
  EXPECT_TRUE(AreTemporariesOf({first.Path(), second.Path()}, {output, output}));
  EXPECT_TRUE(QFileInfo(first.Path()).isFile());
  EXPECT_EQ(QFileInfo(first.Path()).size(), 0);
  EXPECT_TRUE(first.StillOurs());
  // The folder is this user's alone; the encoder's name reaches the file through it.
  struct stat info {};
  ASSERT_EQ(::lstat(QFile::encodeName(QFileInfo(first.Path()).path()).constData(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  EXPECT_EQ(QFileInfo(first.WritePath()).canonicalFilePath(), first.Path());
  EXPECT_TRUE(first.WritePath().startsWith(QStringLiteral("/proc/self/fd/")))
      << first.WritePath().toStdString();

  // The folder renamed away and another one put at its name: the encoder's name still reaches
  // the file, the one at the old name is neither ours nor removed.
  const QString firstFolder = QFileInfo(first.Path()).path();
  const QString moved = folder.filePath(QStringLiteral(".moved"));
  ASSERT_TRUE(QDir().rename(firstFolder, moved));
  ASSERT_TRUE(QDir().mkdir(firstFolder));
  {
    QFile file(first.Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("another's file");
  }
  EXPECT_EQ(QFileInfo(first.WritePath()).canonicalFilePath(), moved + QStringLiteral("/clip.avi"));
  EXPECT_TRUE(first.StillOurs());
  EXPECT_EQ(first.MoveTo(output, &error), app::TMoveResult::Moved) << error.toStdString();
  EXPECT_EQ(QFileInfo(output).size(), 0);
  first.Remove();
  EXPECT_EQ(ReadAll(firstFolder + QStringLiteral("/clip.avi")), QByteArray("another's file"));
  EXPECT_TRUE(QFileInfo(moved).isDir()) << "left where it went, empty";
  EXPECT_TRUE(QDir(moved).isEmpty());
  ASSERT_TRUE(QDir(firstFolder).removeRecursively());

  // A link put in the file's place is not ours: removing takes the link, not what it points to.
  const QString victim = folder.filePath(QStringLiteral("victim.txt"));
  {
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("victim");
  }
  const QString path = second.Path();
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QFile::link(victim, path));
  EXPECT_FALSE(second.StillOurs());
  second.Remove();
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(path).path()));
  EXPECT_EQ(ReadAll(victim), QByteArray("victim"));
  EXPECT_TRUE(second.Path().isEmpty() && second.WritePath().isEmpty());

  // An output name as long as the folder takes has a temporary file; a longer one, and a folder
  // that cannot hold the file, give the output's name and the system's reason.
  const long nameMax = ::pathconf(QFile::encodeName(folder.path()).constData(), _PC_NAME_MAX);
  const QString longest =
      folder.filePath(QString(int(nameMax) - 4, QLatin1Char('a')) + QStringLiteral(".avi"));
  ASSERT_TRUE(first.Create(longest, &error)) << error.toStdString();
  EXPECT_TRUE(AreTemporariesOf({first.Path()}, {longest}));
  EXPECT_TRUE(QFileInfo(first.Path()).isFile());
  const QString tooLong =
      folder.filePath(QString(int(nameMax) - 3, QLatin1Char('a')) + QStringLiteral(".avi"));
  EXPECT_FALSE(first.Create(tooLong, &error));
  EXPECT_EQ(error, tooLong + QStringLiteral(": File name too long"));
  app::TTemporaryOutput missing;
  EXPECT_FALSE(missing.Create(folder.filePath(QStringLiteral("no/such/clip.avi")), &error));
  EXPECT_EQ(error, folder.filePath(QStringLiteral("no/such/clip.avi")) +
                       QStringLiteral(": No such file or directory"));
  // Nothing is left but the folder renamed away.
  EXPECT_EQ(Entries(folder.path()), (QStringList{".moved", "clip.avi", "victim.txt"}));
}

// What a file system without modes of its own shows of every folder (FAT, exFAT and NTFS through
// ntfs-3g, mounted by udisks2): the mount's mode, whatever chmod did; and a folder of another user.
namespace {
int StatWithFixedModes(int fd, struct stat* info) {
  const int result = ::fstat(fd, info);
  info->st_mode |= 0777;
  return result;
}
int StatAsAnotherUsers(int fd, struct stat* info) {
  const int result = ::fstat(fd, info);
  info->st_uid = ::geteuid() + 1;
  return result;
}
}  // namespace

TEST(OutputFile, AFolderShownOpenToAllIsTakenAFolderOfAnotherUserIsNot) {
  QTemporaryDir folder(testing_support::MakeTempFolder("output_file"));
  ASSERT_TRUE(folder.isValid());
  const QString output = folder.filePath(QStringLiteral("clip.avi"));
  QString error;
  app::TTemporaryOutput onUsbDrive(StatWithFixedModes);
  ASSERT_TRUE(onUsbDrive.Create(output, &error)) << error.toStdString();
  EXPECT_TRUE(AreTemporariesOf({onUsbDrive.Path()}, {output}));
  EXPECT_TRUE(onUsbDrive.StillOurs());
  struct stat info {};
  ASSERT_EQ(::lstat(QFile::encodeName(QFileInfo(onUsbDrive.Path()).path()).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  onUsbDrive.Remove();

  app::TTemporaryOutput planted(StatAsAnotherUsers);
  EXPECT_FALSE(planted.Create(output, &error));
  EXPECT_EQ(error, output + QStringLiteral(": Operation not permitted"));
  EXPECT_TRUE(planted.Path().isEmpty() && planted.WritePath().isEmpty());
  EXPECT_TRUE(Entries(folder.path()).isEmpty()) << Entries(folder.path()).join(' ').toStdString();
}

TEST(OutputFile, MovingNeverReplacesAFile) {
  QTemporaryDir folder(testing_support::MakeTempFolder("output_file"));
  ASSERT_TRUE(folder.isValid());
  const auto write = [&folder](const char* name, const QByteArray& bytes) {
    QFile file(folder.filePath(QLatin1String(name)));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
  };
  ASSERT_TRUE(write("new", "new") && write("taken", "taken"));
  QString error;
  EXPECT_EQ(app::MoveWithoutReplacing(folder.filePath("new"), folder.filePath("taken"), &error),
            app::TMoveResult::Exists);
  EXPECT_EQ(ReadAll(folder.filePath("taken")), QByteArray("taken"));
  EXPECT_EQ(ReadAll(folder.filePath("new")), QByteArray("new"));
  EXPECT_EQ(app::MoveWithoutReplacing(folder.filePath("new"), folder.filePath("free"), &error),
            app::TMoveResult::Moved);
  EXPECT_EQ(ReadAll(folder.filePath("free")), QByteArray("new"));
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("new")));
  EXPECT_EQ(app::MoveWithoutReplacing(folder.filePath("gone"), folder.filePath("other"), &error),
            app::TMoveResult::Failed);
  EXPECT_EQ(error, QStringLiteral("No such file or directory"));
}

struct TDamageCase {
  QStringList Lines;
  const char* Report;  // "" for none
};

TEST(RunFormat, DamageReportCountsPacketsFramesAndOtherErrors) {
  const TDamageCase cases[] = {
      {{}, ""},
      {{"/m/t.avi: corrupt input packet in stream 1"},
       "Warning! The source is damaged: 1 packet was damaged or could not be decoded. The output holds what "
       "could be read."},
      {{"[mpeg4] I cbpc damaged at 2 2", "[mpeg4] Error at MB: 12", "/m/d.avi: corrupt decoded frame in stream 0",
        "Error while decoding stream #0:0: Invalid data found when processing input (repeated 3 times)"},
       "Warning! The source is damaged: 3 packets were damaged or could not be decoded, 1 frame was damaged, 2 more "
       "errors were reported. The output holds what could be read."},
      {{"[mpeg4] concealing 40 DC, 40 AC, 40 MV errors in P frame (repeated 4 times)"},
       "Warning! The source is damaged: 4 frames were damaged. The output holds what could be read."},
  };
  for (const TDamageCase& c : cases)
    EXPECT_EQ(app::DamageReport(c.Lines).toStdString(), std::string(c.Report)) << c.Lines.join('|').toStdString();
}

const QColor KOrange(204, 102, 0);

TEST_F(RunWindowTest, ASecondSourceWithTheSameStemGetsANumberedName) {
  const QStringList sources = {Source("a/city.mp4"), Source("b/city.wmv"), Source("c/city.mov")};
  Make(Input(sources));
  Run();

  EXPECT_TRUE(Prompter.Questions.empty()) << "the run's own output is not an existing file to ask about";
  const std::vector<QString> outputs = {OutFolder + "city.avi", OutFolder + "city (2).avi", OutFolder + "city (3).avi"};
  EXPECT_TRUE(AreTemporariesOf(Encoder->Opened, outputs));
  for (size_t i = 0; i < outputs.size(); ++i)
    EXPECT_EQ(ReadAll(outputs[i]), "partial converted " + sources[int(i)].toUtf8());
  const QString note = QStringLiteral("\"city.avi\" was written by this run: this file is saved as \"city (2).avi\".");
  EXPECT_TRUE(Section(2).contains(note)) << Section(2).join('\n').toStdString();
  EXPECT_EQ(ColorOf(note), KOrange);
  EXPECT_EQ(Window->Result(), TRunResult::AllConverted);
}

TEST_F(RunWindowTest, AnOutputFromBeforeTheRunIsStillAskedAbout) {
  const QStringList sources = {Source("a/city.mp4"), Source("b/city.wmv")};
  Source("out/city (2).avi");  // left by an earlier run
  Make(Input(sources));
  Prompter.Answers = {false};
  Run();
  ASSERT_EQ(Prompter.Questions.size(), 1u);
  EXPECT_TRUE(Prompter.Questions[0].Text.contains(QStringLiteral("city (2).avi")));
  EXPECT_EQ(ReadAll(OutFolder + "city (2).avi"), QByteArray("not really media"));
}

// Yes to the overwrite question, then Stop: the old file keeps its bytes and nothing partial stays.
TEST_F(RunWindowTest, StopAfterOverwritingKeepsTheOldFile) {
  const QString source = Source("clip1.mp4");
  Source("out/clip1.avi");
  Make(Input({source}));
  Prompter.Answers = {true};
  Encoder->RunUntilStopped.insert("clip1.mp4");
  Encoder->OnStarted = [this](const QString&) {
    QTimer::singleShot(0, Window.get(), [this] { Child<QPushButton>("btn_Stop")->click(); });
  };
  Run();

  ASSERT_EQ(Prompter.Questions.size(), 1u);
  EXPECT_EQ(ReadAll(OutFolder + "clip1.avi"), QByteArray("not really media"));
  EXPECT_EQ(Entries(OutFolder), QStringList{QStringLiteral("clip1.avi")});
}

TEST_F(RunWindowTest, AFailureLeavesTheOldFileAndFFmpegsLinesInTheLog) {
  const QString source = Source("clip1.mp4");
  Source("out/clip1.avi");
  Make(Input({source}));
  Prompter.Answers = {true};
  Encoder->Outcomes["clip1.mp4"] = TFakeOutcome{false, true, QStringLiteral("Error while opening encoder")};
  Encoder->ScriptedErrorLines = {QStringLiteral("[libx264] width not divisible by 2 (321x241)"),
                                 QStringLiteral("Error while opening encoder")};
  Run();

  const QStringList section = Section(1);
  ASSERT_GE(section.size(), 2);
  EXPECT_EQ(section.mid(section.size() - 2),
            (QStringList{"Error while opening encoder", "[libx264] width not divisible by 2 (321x241)"}))
      << "the encoder's own line below the message, which is not repeated";
  EXPECT_EQ(ColorOf(QStringLiteral("[libx264] width not divisible by 2 (321x241)")), KRed);
  EXPECT_EQ(ReadAll(OutFolder + "clip1.avi"), QByteArray("not really media"));
  EXPECT_EQ(Entries(OutFolder), QStringList{QStringLiteral("clip1.avi")});
  EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
}

// The engine names the file it was given, which is the temporary one in its hidden folder; the
// log names the output the user asked for.
TEST_F(RunWindowTest, AFailureNamesTheOutputRatherThanItsTemporaryFile) {
  Make(Input({Source("clip1.mp4")}));
  QString written;
  Encoder->BeforeOpen = [&](const QString& output) {
    written = output;
    const QString failure = "Could not write header for output file " + output + ": Invalid argument";
    Encoder->Outcomes["clip1.mp4"] = TFakeOutcome{false, true, failure};
    // The engine's error lines name the file as it was opened, the failure among them.
    Encoder->ScriptedErrorLines = {failure, "Error closing output file " + output + ": Invalid argument"};
  };
  Run();

  ASSERT_FALSE(written.isEmpty());
  ASSERT_NE(written, OutFolder + "clip1.avi");
  const QStringList section = Section(1);
  const QString log = section.join(QLatin1Char('\n'));
  const QString output = OutFolder + "clip1.avi";
  EXPECT_EQ(section.count("Could not write header for output file " + output + ": Invalid argument"), 1)
      << log.toStdString();
  EXPECT_EQ(section.count("Error closing output file " + output + ": Invalid argument"), 1)
      << log.toStdString();
  EXPECT_FALSE(log.contains(written)) << log.toStdString();
}

TEST_F(RunWindowTest, ADamagedSourceEndsWithAWarningAndStillCounts) {
  const QString source = Source("clip1.mp4");
  Make(Input({source}));
  Encoder->ScriptedErrorLines = {QStringLiteral("/m/clip1.mp4: corrupt decoded frame in stream 0")};
  Run();

  const QStringList section = Section(1);
  ASSERT_GE(section.size(), 2);
  EXPECT_EQ(section[section.size() - 2], QStringLiteral("Success!"));
  EXPECT_TRUE(section.last().startsWith(QStringLiteral("Warning! The source is damaged: 1 frame was damaged.")));
  EXPECT_EQ(ColorOf(section.last()), KOrange);
  EXPECT_EQ(Window->Result(), TRunResult::AllConverted);
}

TEST_F(RunWindowTest, SettingsFittedToTheSourceAreUsedAndNamedOnce) {
  const QString source = Source("clip1.mp4");
  Make(Input({source}));
  Encoder->Fit = [](const QString& options, QString* note) {
    *note = QStringLiteral("Adjusted for this file: audio bit rate 96k instead of 32k");
    return QString(options).replace(QStringLiteral("32k"), QStringLiteral("96k"));
  };
  Run();

  EXPECT_EQ(Encoder->Options, std::vector<QString>{QStringLiteral("-b:a 96k -c:a libmp3lame -c:v mpeg4 -sn ")});
  const QStringList section = Section(1);
  const int parameters = section.indexOf(QStringLiteral("Parameters ") + KOptions);
  ASSERT_GE(parameters, 0) << "the settings' own text is logged as it was";
  EXPECT_EQ(section.value(parameters + 1), QStringLiteral("Adjusted for this file: audio bit rate 96k instead of 32k"));
  EXPECT_EQ(ColorOf(section.value(parameters + 1)), KOrange);
}

// --- what appears in the output folder while a file converts ---

enum class TAppears {
  AtTheOutput,            // another batch's output takes the name
  AtTheNumberedName,      // and "clip1 (2).avi" too
  ReplacesTheAgreedFile,  // the user agreed to overwrite clip1.avi, which another file then replaced
  LinkAtTheOldName,       // a link planted at the name this program once used (".clip1.part-<pid>.avi")
  LinkForTheTemporary,    // the temporary file itself is swapped for a link once the encoder opened it
  // Just before the encoder opens its file, what the conversion made in the output folder is
  // renamed away (as whoever can write that folder can) and, at its name, put:
  FolderBeforeTheOpen,  // a folder holding a link to victim.txt under the file's name
  LinkBeforeTheOpen,    // a link to such a folder (to victim.txt itself when it was a file)
};

struct TAppearsCase {
  const char* Name;
  TAppears What;
};

void PrintTo(const TAppearsCase& c, std::ostream* out) { *out << c.Name; }

class RunWindowAppearsTest : public RunWindowTest, public ::testing::WithParamInterface<TAppearsCase> {};

TEST_P(RunWindowAppearsTest, NothingOfAnyoneElseIsReplacedOrWrittenThrough) {
  const QString source = Source("clip1.mp4");
  const QString victim = Source("victim.txt");
  const QString output = OutFolder + "clip1.avi";
  const QString numbered = OutFolder + "clip1 (2).avi";
  const QByteArray converted = "partial converted " + source.toUtf8();
  QDir().mkpath(OutFolder);
  const auto writeOther = [](const QString& path) {
    // Written beside and renamed over: a new file, whatever was there.
    QFile file(path + ".other");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("another's file");
    file.close();
    ASSERT_EQ(::rename(QFile::encodeName(path + ".other").constData(), QFile::encodeName(path).constData()),
              0);
  };
  const TAppears what = GetParam().What;
  if (what == TAppears::ReplacesTheAgreedFile) {
    Source("out/clip1.avi");
    Prompter.Answers = {true};
  }
  if (what == TAppears::LinkAtTheOldName) {
    ASSERT_TRUE(QFile::link(victim, OutFolder + QStringLiteral(".clip1.part-%1.avi").arg(::getpid())));
  }
  Make(Input({source}));
  QString planted;  // the name of what the test put in the conversion's place
  Encoder->BeforeOpen = [&](const QString& name) {
    if (what != TAppears::FolderBeforeTheOpen && what != TAppears::LinkBeforeTheOpen) return;
    const QStringList made = Entries(OutFolder);
    ASSERT_EQ(made.size(), 1) << made.join(' ').toStdString();
    planted = OutFolder + made[0];
    const bool folder = QFileInfo(planted).isDir();
    ASSERT_TRUE(QDir().rename(planted, OutFolder + ".moved"));
    const QString trap = FTemp->filePath(QStringLiteral("trap"));
    ASSERT_TRUE(QDir().mkpath(trap));
    ASSERT_TRUE(QFile::link(victim, trap + QLatin1Char('/') + QFileInfo(name).fileName()));
    if (!folder)
      ASSERT_TRUE(QFile::link(victim, planted));
    else if (what == TAppears::FolderBeforeTheOpen)
      ASSERT_TRUE(QDir().rename(trap, planted));
    else
      ASSERT_TRUE(QFile::link(trap, planted));
  };
  Encoder->OnStarted = [&](const QString&) {
    switch (what) {
      case TAppears::AtTheNumberedName:
        writeOther(numbered);
        [[fallthrough]];
      case TAppears::AtTheOutput:
      case TAppears::ReplacesTheAgreedFile:
        writeOther(output);
        break;
      case TAppears::LinkForTheTemporary:
        ASSERT_TRUE(QFile::remove(Encoder->Outputs.back()));
        ASSERT_TRUE(QFile::link(victim, Encoder->Outputs.back()));
        break;
      case TAppears::LinkAtTheOldName:
      case TAppears::FolderBeforeTheOpen:
      case TAppears::LinkBeforeTheOpen:
        break;
    }
  };
  Run();

  const QStringList section = Section(1);
  switch (what) {
    case TAppears::AtTheOutput:
    case TAppears::ReplacesTheAgreedFile: {
      EXPECT_EQ(ReadAll(output), QByteArray("another's file"));
      EXPECT_EQ(ReadAll(numbered), converted);
      const QString note =
          QStringLiteral("\"clip1.avi\" appeared while converting: this file is saved as \"clip1 (2).avi\".");
      EXPECT_EQ(section.mid(section.size() - 2), (QStringList{note, QStringLiteral("Success!")}))
          << section.join('\n').toStdString();
      EXPECT_EQ(ColorOf(note), KOrange);
      EXPECT_EQ(Window->Result(), TRunResult::AllConverted);
      break;
    }
    case TAppears::AtTheNumberedName:
      EXPECT_EQ(ReadAll(output), QByteArray("another's file"));
      EXPECT_EQ(ReadAll(numbered), QByteArray("another's file"));
      EXPECT_EQ(ReadAll(OutFolder + "clip1 (3).avi"), converted);
      EXPECT_TRUE(section.contains(QStringLiteral(
          "\"clip1.avi\" appeared while converting: this file is saved as \"clip1 (3).avi\".")))
          << section.join('\n').toStdString();
      break;
    case TAppears::LinkAtTheOldName:
    case TAppears::FolderBeforeTheOpen:
    case TAppears::LinkBeforeTheOpen:
      // The encoder wrote into the conversion's own file, wherever its folder went.
      EXPECT_EQ(ReadAll(output), converted);
      EXPECT_EQ(section.last(), QStringLiteral("Success!")) << section.join('\n').toStdString();
      EXPECT_EQ(Window->Result(), TRunResult::AllConverted);
      break;
    case TAppears::LinkForTheTemporary:
      EXPECT_FALSE(QFileInfo::exists(output)) << "the link is not renamed to the output";
      EXPECT_EQ(section.last(),
                QStringLiteral(
                    "Error! The output could not be saved: its temporary file was replaced by another file"));
      EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
      break;
  }
  EXPECT_EQ(ReadAll(victim), QByteArray("not really media"));
  // Nothing of the conversion is left, but its folder, empty, where it was renamed to.
  for (const QString& name : Entries(OutFolder)) {
    const QFileInfo info(OutFolder + name);
    if (!name.startsWith(QLatin1Char('.')) || info.isSymLink() || info.filePath() == planted) continue;
    EXPECT_EQ(name, QStringLiteral(".moved"));
    EXPECT_TRUE(info.isDir() && QDir(info.filePath()).isEmpty()) << name.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RunWindowAppearsTest,
                         ::testing::Values(TAppearsCase{"AtTheOutput", TAppears::AtTheOutput},
                                           TAppearsCase{"AtTheNumberedName", TAppears::AtTheNumberedName},
                                           TAppearsCase{"ReplacesTheAgreedFile",
                                                        TAppears::ReplacesTheAgreedFile},
                                           TAppearsCase{"LinkAtTheOldName", TAppears::LinkAtTheOldName},
                                           TAppearsCase{"LinkForTheTemporary", TAppears::LinkForTheTemporary},
                                           TAppearsCase{"FolderBeforeTheOpen", TAppears::FolderBeforeTheOpen},
                                           TAppearsCase{"LinkBeforeTheOpen", TAppears::LinkBeforeTheOpen}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A source with the longest name the folder takes still converts under that name.
TEST_F(RunWindowTest, TheLongestNameStillConverts) {
  const long nameMax = ::pathconf(QFile::encodeName(FTemp->path()).constData(), _PC_NAME_MAX);
  ASSERT_GT(nameMax, 20);
  const QString stem(int(nameMax) - 4, QLatin1Char('a'));  // the output "aaa....avi" takes nameMax bytes
  const QString source = Source(stem + ".mp4");
  Make(Input({source}));
  Run();
  EXPECT_EQ(ReadAll(OutFolder + stem + ".avi"), "partial converted " + source.toUtf8())
      << Lines().join('\n').toStdString();
  EXPECT_EQ(Window->Result(), TRunResult::AllConverted);
}

// --- batches side by side: each keeps its own log ---

// Another batch held log.txt when this one started and let it go before this one ended: this
// one still writes a log of its own, and the other's log.txt keeps its text.
TEST_F(RunWindowTest, ABatchThatDidNotHoldTheLogFromItsStartWritesItsOwn) {
  const QString program = FTemp->filePath("program");
  QDir().mkpath(program);
  {
    QFile file(program + "/log.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("the other batch's log");
  }
  auto other = std::make_unique<QLockFile>(program + "/log.txt.lock");
  ASSERT_TRUE(other->tryLock(0));
  TRunInput input = Input({Source("clip1.mp4")});
  input.SaveLog = true;
  Make(std::move(input));
  Encoder->OnStarted = [&other](const QString&) { other.reset(); };  // the other batch ends
  testing::internal::CaptureStdout();
  Run();
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(ReadAll(program + "/log.txt"), QByteArray("the other batch's log"));
  const QString own = program + QStringLiteral("/log-%1.txt").arg(::getpid());
  EXPECT_EQ(Window->LogFile(), own);
  EXPECT_TRUE(QString::fromUtf8(ReadAll(own)).endsWith(QStringLiteral("Success!\n\nDone.\n")));
  EXPECT_FALSE(QFileInfo::exists(program + "/log.txt.lock"));
}

// --- signals that ask the program to end ---

class RunWindowSignalTest : public RunWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(RunWindowSignalTest, EndsTheRunAsStopDoesAndSavesTheLog) {
  const int signal = GetParam();
  const QStringList sources = {Source("clip1.mp4"), Source("clip2.mp4"), Source("clip3.mp4")};
  TRunInput input = Input(sources);
  input.SaveLog = true;
  input.CloseWhenDone = true;
  Make(std::move(input));
  Encoder->RunUntilStopped.insert("clip2.mp4");
  Encoder->OnStarted = [signal](const QString& source) {
    if (source.endsWith(QStringLiteral("clip2.mp4"))) ::kill(::getpid(), signal);
  };
  testing::internal::CaptureStdout();
  Run();
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(Window->EndSignal(), signal);
  EXPECT_FALSE(Window->isVisible());
  EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
  EXPECT_EQ(Encoder->Sources, (std::vector<QString>{sources[0], sources[1]})) << "no file after the signal";
  // The first output stays; nothing of the second.
  EXPECT_EQ(Entries(OutFolder), QStringList{"clip1.avi"});
  const QString program = FTemp->filePath("program");
  EXPECT_EQ(Window->LogFile(), program + "/log.txt");
  const QString log = QString::fromUtf8(ReadAll(program + "/log.txt"));
  const QString cancelled =
      QStringLiteral("Cancelled: the program was asked to end (SIG%1)!").arg(::sigabbrev_np(signal));
  EXPECT_TRUE(log.contains(ConvertedSection(1, sources[0], OutFolder + "clip1.avi").join('\n')))
      << log.toStdString();
  EXPECT_TRUE(log.endsWith(cancelled + QStringLiteral("\nDone.\n"))) << log.toStdString();
  EXPECT_FALSE(QFileInfo::exists(program + "/log.txt.lock"));
}

INSTANTIATE_TEST_SUITE_P(Signals, RunWindowSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string("SIG") + ::sigabbrev_np(info.param); });

}  // namespace
