// The built program, started as a user starts it for a batch: "converter -v|-a OUT INPUTS... [x]"
// on a machine without a display. Each test gives the program a folder of its own (a link to, or a
// copy of, the binary, so log.txt lands there), a settings folder with a prepared converter.ini,
// and a working folder from which the paths are given relative, as typed in a shell.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QVariantMap>
#include <csignal>
#include <cstring>
#include <vector>

#include "app/e2e/ffprobe.h"
#include "app/settings/temp_folder.h"
#include "fixtures/media_fixtures.h"
#include "support/private_bus.h"

namespace {

using testing_support::Probe;
using testing_support::TProbeResult;

// What a converter.ini of a user holds after choosing AVI and FLAC and turning the update check
// off; the batch must read it and leave it byte for byte as it was.
const QByteArray KSettings =
    "[Converter]\r\nLocOption=1\r\nUpdate=0\r\n\r\n[Settings]\r\nVideoFormat2=0\r\nAudioFormat2=3\r\n";

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The application object this test program needs for QProcess and D-Bus.
QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "app_e2e_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

struct TRun {
  bool Ended = false;  // by itself, with an exit status (no crash, no hang)
  int ExitCode = -1;
  QString Out;
  QString Err;
  std::string Describe() const {
    return ("exit " + QString::number(ExitCode) + "\n--- stdout\n" + Out + "\n--- stderr\n" + Err)
        .toStdString();
  }
};

class ConverterE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    Media = &fixtures::MediaFixtures();
    FTemp = std::make_unique<QTemporaryDir>(testing_support::MakeTempFolder("e2e"));
    ASSERT_TRUE(FTemp->isValid());
    const QDir root(FTemp->path());
    for (const char* folder : {"program", "config/Quorvane/Video Converter", "work"})
      ASSERT_TRUE(root.mkpath(QLatin1String(folder)));
    ProgramFolder = root.filePath(QStringLiteral("program"));
    Binary = ProgramFolder + QStringLiteral("/converter");
    // A hard link keeps the link's folder as the program's folder (/proc/self/exe names the link);
    // a copy does the same where the two folders are on different file systems.
    if (::link(CONVERTER_BINARY, QFile::encodeName(Binary).constData()) != 0) {
      ASSERT_TRUE(QFile::copy(QStringLiteral(CONVERTER_BINARY), Binary));
    }
    SettingsFile = root.filePath(QStringLiteral("config/Quorvane/Video Converter/converter.ini"));
    WriteFile(SettingsFile, KSettings);
    Work = root.filePath(QStringLiteral("work"));
  }

  void TearDown() override {
    // No batch writes the settings, whatever it did.
    EXPECT_EQ(ReadFile(SettingsFile), Settings);
  }

  /// The user's converter.ini for this test instead of KSettings.
  void UseSettings(const QByteArray& settings) {
    Settings = settings;
    WriteFile(SettingsFile, settings);
  }

  static void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
  }
  static QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  /// A fixture copied into the working folder under name.
  void Input(const std::string& fixture, const QString& name) {
    ASSERT_TRUE(QFile::copy(Q(fixture), Work + QLatin1Char('/') + name));
  }
  QString WorkPath(const QString& relative) const {
    return QDir::cleanPath(Work + QLatin1Char('/') + relative);
  }
  QString LogText() const { return QString::fromUtf8(ReadFile(ProgramFolder + QStringLiteral("/log.txt"))); }

  /// The environment of a machine without a display: no display, no platform chosen, no session
  /// bus unless busAddress is given, and the prepared settings folder.
  QProcessEnvironment Environment(const QString& busAddress = QString()) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
      env.remove(QLatin1String(name));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), FTemp->filePath(QStringLiteral("config")));
    if (!busAddress.isEmpty()) env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    return env;
  }

  /// The program started from the working folder, and what it wrote to standard output so far.
  struct TProgram {
    std::unique_ptr<QProcess> Process = std::make_unique<QProcess>();
    QString Out;
    QString Err;
    void Read() {
      Out += QString::fromUtf8(Process->readAllStandardOutput());
      Err += QString::fromUtf8(Process->readAllStandardError());
    }
  };

  TProgram Start(const QStringList& params, const QString& busAddress = QString()) {
    TProgram program;
    QProcessEnvironment env = Environment(busAddress);
    if (AsNobody && ::geteuid() == 0) {
      // Root reads every folder whatever its mode: the run drops to nobody to meet one it cannot.
      env.insert(QStringLiteral("HOME"), Work);
      program.Process->setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(126);
      });
    }
    program.Process->setProcessEnvironment(env);
    program.Process->setWorkingDirectory(Work);
    program.Process->start(Binary, params);
    if (!program.Process->waitForStarted(30000)) program.Err = program.Process->errorString();
    return program;
  }

  /// Events of this process are delivered until the program's standard output holds text; false
  /// when it ended first or two minutes passed.
  static bool WaitForOut(TProgram& program, const QString& text) {
    QElapsedTimer clock;
    clock.start();
    while (!program.Out.contains(text) && program.Process->state() != QProcess::NotRunning &&
           clock.elapsed() < 120000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      program.Process->waitForReadyRead(20);
      program.Read();
    }
    program.Read();
    return program.Out.contains(text);
  }

  /// Waits for the program to end; gives it two minutes (a slow run under the sanitizers takes a
  /// few seconds). Events of this process are delivered while it runs.
  static TRun Finish(TProgram& program) {
    TRun run;
    QProcess& process = *program.Process;
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < 120000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      process.waitForFinished(20);
    }
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(10000);
      run.Err = QStringLiteral("(killed after two minutes)\n");
    } else if (process.error() != QProcess::FailedToStart) {
      run.Ended = process.exitStatus() == QProcess::NormalExit;
      run.ExitCode = process.exitCode();
    }
    program.Read();
    run.Out = program.Out;
    run.Err = program.Err + run.Err;
    return run;
  }

  /// Runs the program from the working folder to its end.
  TRun Run(const QStringList& params, const QString& busAddress = QString()) {
    TProgram program = Start(params, busAddress);
    return Finish(program);
  }

  /// Runs "-v out list.fls x" on a list.fls of lines, each ended by lineEnd.
  TRun RunList(const QStringList& lines, const QString& lineEnd = QStringLiteral("\n")) {
    QString text;
    for (const QString& line : lines) text += line + lineEnd;
    WriteFile(WorkPath(QStringLiteral("list.fls")), text.toUtf8());
    return Run({"-v", "out", "list.fls", "x"});
  }

  /// A clip of seconds made by Debian's ffmpeg in the working folder: video of size (320x240 by
  /// default; 1280x720 takes about a second to convert here), stereo audio.
  void MakeClip(const QString& name, int seconds, const QString& size = QStringLiteral("320x240")) {
    const QString length = QString::number(seconds);
    QDir(Work).mkpath(QFileInfo(WorkPath(name)).path());
    const int status =
        QProcess::execute(QStringLiteral("ffmpeg"), {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                                     "testsrc=s=" + size + ":r=25:d=" + length, "-f", "lavfi",
                                                     "-i", "sine=f=440:d=" + length, "-ac", "2", "-c:v",
                                                     "mpeg4", "-c:a", "aac", "-shortest", WorkPath(name)});
    ASSERT_EQ(status, 0) << name.toStdString();
  }

  /// What is left in folder of the conversions' hidden folders (and their files) and of lock files.
  static QStringList Leftovers(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".*"), QStringLiteral("*.lock")},
                                  QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
  }

  /// Run as nobody when this test runs as root (see OpenToNobody).
  static constexpr uid_t kNobody = 65534;
  bool AsNobody = false;
  /// Lets nobody into the test's folders, to read the settings, write out/ and the log.
  void OpenToNobody() {
    AsNobody = true;
    for (const QString& folder :
         {FTemp->path(), FTemp->filePath(QStringLiteral("config")), Work, ProgramFolder})
      ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0) << folder.toStdString();
  }
  /// After OpenToNobody: empty when nobody can start the program and write its folders; else
  /// what nobody cannot reach, which is outside the test's folders (a build tree below a folder
  /// open to its owner alone, as /root or a private temporary folder), for the test to skip.
  /// Asked of a child that drops to nobody as the program's runs do.
  QString WhatNobodyCannotReach() const {
    if (!AsNobody || ::geteuid() != 0) return QString();
    const struct {
      QString Path;
      int Mode;
    } needs[] = {{Binary, X_OK}, {SettingsFile, R_OK}, {Work, W_OK | X_OK}, {ProgramFolder, W_OK | X_OK}};
    std::vector<QByteArray> paths;
    for (const auto& need : needs) paths.push_back(QFile::encodeName(need.Path));
    const pid_t child = ::fork();
    if (child == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(100);
      for (size_t i = 0; i < paths.size(); ++i)
        if (::access(paths[i].constData(), needs[i].Mode) != 0) ::_exit(int(i) + 1);
      ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
      return QStringLiteral("no child could be started as nobody");
    const int failed = WEXITSTATUS(status);
    if (failed == 0) return QString();
    if (failed > int(paths.size())) return QStringLiteral("a child could not become nobody");
    return QStringLiteral("the user nobody cannot reach %1 (a folder on its way is closed to others)")
        .arg(needs[failed - 1].Path);
  }

  const fixtures::TMediaFixtures* Media = nullptr;
  QByteArray Settings = KSettings;
  std::unique_ptr<QTemporaryDir> FTemp;
  QString ProgramFolder;
  QString Binary;
  QString SettingsFile;
  QString Work;
};

TEST_F(ConverterE2eTest, ConvertsWithTheSavedSettingsWritesTheLogAndEnds) {
  Input(Media->ClipAvi, QStringLiteral("clip.avi"));
  const TRun run =
      Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("clip.avi"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();

  const TProbeResult probe = Probe(WorkPath(QStringLiteral("out/clip.avi")));
  ASSERT_TRUE(probe.Ok) << probe.Error.toStdString() << run.Describe();
  EXPECT_EQ(probe.VideoCodecs, QStringList{QStringLiteral("mpeg4")});
  EXPECT_EQ(probe.AudioCodecs, QStringList{QStringLiteral("mp3")});
  EXPECT_NEAR(probe.Duration, 2.0, 0.3);

  const QString log = LogText();
  for (const char* line : {"File #1", "Success!", "Done."})
    EXPECT_TRUE(log.contains(QLatin1String(line))) << line << "\n" << log.toStdString();
  EXPECT_TRUE(log.contains(WorkPath(QStringLiteral("clip.avi"))))
      << "the source is logged with its full path";
  // The same log was echoed, and the program said where the file went.
  EXPECT_TRUE(run.Out.contains(QStringLiteral("Success!"))) << run.Describe();
  EXPECT_TRUE(run.Out.contains(ProgramFolder + QStringLiteral("/log.txt"))) << run.Describe();
}

TEST_F(ConverterE2eTest, ExtractsTheAudioInTheSavedFormat) {
  Input(Media->ClipAvi, QStringLiteral("clip.avi"));
  const TRun run =
      Run({QStringLiteral("-a"), QStringLiteral("out"), QStringLiteral("clip.avi"), QStringLiteral("X")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  const TProbeResult probe = Probe(WorkPath(QStringLiteral("out/clip.flac")));
  ASSERT_TRUE(probe.Ok) << probe.Error.toStdString() << run.Describe();
  EXPECT_TRUE(probe.VideoCodecs.isEmpty());
  EXPECT_EQ(probe.AudioCodecs, QStringList{QStringLiteral("flac")});
  EXPECT_TRUE(LogText().contains(QStringLiteral("Success!")));
}

// Nobody can answer the overwrite question: the answer is No, the file keeps its bytes, the log
// says "Skipped!" and the status says not everything was converted.
TEST_F(ConverterE2eTest, AnExistingOutputKeepsItsBytes) {
  Input(Media->ClipAvi, QStringLiteral("clip.avi"));
  ASSERT_TRUE(QDir(Work).mkpath(QStringLiteral("out")));
  WriteFile(WorkPath(QStringLiteral("out/clip.avi")), "keep me");
  const TRun run =
      Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("clip.avi"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 1) << run.Describe();
  EXPECT_EQ(ReadFile(WorkPath(QStringLiteral("out/clip.avi"))), QByteArray("keep me"));
  EXPECT_TRUE(LogText().contains(QStringLiteral("Skipped!"))) << LogText().toStdString();
  EXPECT_TRUE(run.Err.contains(QStringLiteral("Overwrite existing file?"))) << run.Describe();
}

// A list names a file that is gone: the others convert, the missing one is reported.
TEST_F(ConverterE2eTest, AFileListWithAMissingFileConvertsTheRest) {
  Input(Media->ClipAvi, QStringLiteral("one.avi"));
  Input(Media->ClipAvi, QStringLiteral("two.avi"));
  // Full paths as the program saves them, CRLF as older lists have them, and one relative line.
  const TRun run = RunList(
      {WorkPath(QStringLiteral("one.avi")), WorkPath(QStringLiteral("gone.avi")), QStringLiteral("two.avi")},
      QStringLiteral("\r\n"));
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 1) << run.Describe();
  for (const char* output : {"out/one.avi", "out/two.avi"})
    EXPECT_TRUE(Probe(WorkPath(QLatin1String(output))).Ok) << output << run.Describe();
  // The libraries' load, then both files.
  EXPECT_EQ(LogText().count(QStringLiteral("Success!")), 3) << LogText().toStdString();
  EXPECT_TRUE(run.Err.contains(WorkPath(QStringLiteral("gone.avi")))) << run.Describe();
}

// Only an action and a folder: nothing to do, "Done." at once, and the program ends although
// there is no "x" (nobody could close the window); without "x" no log.txt is written.
TEST_F(ConverterE2eTest, OnlyTwoParametersReportDoneAndEnd) {
  const TRun run = Run({QStringLiteral("-v"), QStringLiteral("out")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  EXPECT_TRUE(run.Out.contains(QStringLiteral("Done."))) << run.Describe();
  EXPECT_FALSE(QFile::exists(ProgramFolder + QStringLiteral("/log.txt")));
}

// Good files among a zero-byte file, a text file named .mp4 and half a clip: every good one is
// converted, every bad one reported, and the status is not 0.
TEST_F(ConverterE2eTest, ABatchWithDamagedFilesConvertsEveryGoodOne) {
  Input(Media->ClipAvi, QStringLiteral("good1.avi"));
  Input(Media->EmptyAvi, QStringLiteral("empty.avi"));
  Input(Media->TextAvi, QStringLiteral("text.mp4"));
  Input(Media->TruncatedAvi, QStringLiteral("truncated.avi"));
  Input(Media->ClipAvi, QStringLiteral("good2.avi"));
  const TRun run = Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("good1.avi"),
                        QStringLiteral("empty.avi"), QStringLiteral("text.mp4"),
                        QStringLiteral("truncated.avi"), QStringLiteral("good2.avi"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 1) << run.Describe();
  for (const char* output : {"out/good1.avi", "out/good2.avi"}) {
    const TProbeResult probe = Probe(WorkPath(QLatin1String(output)));
    EXPECT_TRUE(probe.Ok) << output << probe.Error.toStdString() << run.Describe();
    EXPECT_EQ(probe.VideoCodecs, QStringList{QStringLiteral("mpeg4")});
  }
  // The two that are no media never reach the list; each is named on standard error.
  for (const char* bad : {"empty.avi", "text.mp4"})
    EXPECT_TRUE(run.Err.contains(WorkPath(QLatin1String(bad)))) << bad << run.Describe();
  // Half a clip reaches the list (its header is intact) and is converted as far as it goes, with
  // the damage said right after its success.
  EXPECT_TRUE(Probe(WorkPath(QStringLiteral("out/truncated.avi"))).Ok) << run.Describe();
  const QStringList lines = LogText().split(QLatin1Char('\n'));
  const int source = static_cast<int>(lines.indexOf(WorkPath(QStringLiteral("truncated.avi"))));
  ASSERT_GE(source, 0) << LogText().toStdString();
  const int success = static_cast<int>(lines.indexOf(QStringLiteral("Success!"), source));
  ASSERT_GT(success, source) << LogText().toStdString();
  EXPECT_TRUE(lines.value(success + 1).startsWith(QStringLiteral("Warning! The source is damaged: ")))
      << LogText().toStdString();
  EXPECT_TRUE(LogText().contains(QStringLiteral("Done.")));
}

TEST_F(ConverterE2eTest, AnUnknownActionPrintsTheUsageAndFails) {
  Input(Media->ClipAvi, QStringLiteral("clip.avi"));
  const TRun run =
      Run({QStringLiteral("-q"), QStringLiteral("out"), QStringLiteral("clip.avi"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 2) << run.Describe();
  EXPECT_TRUE(run.Err.contains(QStringLiteral("Usage: converter -v|-a"))) << run.Describe();
  EXPECT_FALSE(QFile::exists(WorkPath(QStringLiteral("out/clip.avi"))));
}

// --- ordinary files through every container and every extraction format ---

QByteArray SettingsWith(const char* key, int index) {
  return QByteArray("[Converter]\r\nLocOption=1\r\nUpdate=0\r\n\r\n[Settings]\r\n") + key + '=' +
         QByteArray::number(index) + "\r\n";
}

const char* const KContainers[] = {"avi", "m4v", "mkv", "mov", "mp4", "mpg", "ts", "vob", "webm", "wmv"};
const char* const KAudioFormats[] = {"mp3", "wav", "ogg", "flac", "wma"};

class ContainerDefaultsE2eTest : public ConverterE2eTest, public ::testing::WithParamInterface<int> {};

// The default settings of each container on a 5.1 48 kHz source with an odd frame size and on a
// stereo 44.1 kHz one: both convert, each output has its video and its audio.
TEST_P(ContainerDefaultsE2eTest, ConvertsSurroundOddSizedAndStereoSources) {
  UseSettings(SettingsWith("VideoFormat2", GetParam()));
  const QString extension = QLatin1String(KContainers[GetParam()]);
  Input(Media->SurroundMkv, QStringLiteral("surround.mkv"));
  Input(Media->Stereo44Mkv, QStringLiteral("stereo44.mkv"));
  const TRun run = Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("surround.mkv"),
                        QStringLiteral("stereo44.mkv"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  for (const char* stem : {"surround", "stereo44"}) {
    const TProbeResult probe = Probe(WorkPath(QStringLiteral("out/%1.%2").arg(QLatin1String(stem), extension)));
    ASSERT_TRUE(probe.Ok) << stem << " " << probe.Error.toStdString() << run.Describe();
    EXPECT_EQ(probe.VideoCodecs.size(), 1) << stem;
    EXPECT_EQ(probe.AudioCodecs.size(), 1) << stem;
    EXPECT_GT(probe.Duration, 0.5) << stem;
    // Every change of the channels is named in the log; only the VCD standard that MPG writes
    // asks for stereo itself (its "-target" stands in the logged parameters).
    if (QLatin1String(stem) == QLatin1String("surround") && extension != QLatin1String("mpg") &&
        probe.Channels != 6) {
      EXPECT_TRUE(LogText().contains(QStringLiteral(" instead of 6 channels"))) << LogText().toStdString();
    }
  }
  EXPECT_EQ(LogText().count(QStringLiteral("Success!")), 3) << LogText().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Containers, ContainerDefaultsE2eTest, ::testing::Range(0, 10),
                         [](const auto& info) { return std::string(KContainers[info.param]); });

class ExtractionDefaultsE2eTest : public ConverterE2eTest, public ::testing::WithParamInterface<int> {};

// Every extraction format with its defaults, from sources of every common shape, among them the
// types the program writes itself (WebM, FLAC, WAV).
TEST_P(ExtractionDefaultsE2eTest, ExtractsFromEveryShapeAndReadableType) {
  UseSettings(SettingsWith("AudioFormat2", GetParam()));
  const QString extension = QLatin1String(KAudioFormats[GetParam()]);
  const std::vector<std::pair<std::string, QString>> inputs = {{Media->SurroundMkv, "surround.mkv"},
                                                               {Media->Stereo44Mkv, "stereo44.mkv"},
                                                               {Media->ClipWebm, "clip.webm"},
                                                               {Media->ToneFlac, "tone.flac"},
                                                               {Media->ToneWav, "tone48k.wav"}};
  QStringList params = {QStringLiteral("-a"), QStringLiteral("out")};
  for (const auto& [fixture, name] : inputs) {
    Input(fixture, name);
    params << name;
  }
  params << QStringLiteral("x");
  const TRun run = Run(params);
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  for (const auto& input : inputs) {
    const QString output = QStringLiteral("out/") + QFileInfo(input.second).completeBaseName() + '.' + extension;
    const TProbeResult probe = Probe(WorkPath(output));
    ASSERT_TRUE(probe.Ok) << output.toStdString() << " " << probe.Error.toStdString() << run.Describe();
    EXPECT_TRUE(probe.VideoCodecs.isEmpty()) << output.toStdString();
    EXPECT_EQ(probe.AudioCodecs.size(), 1) << output.toStdString();
    // Every change of the channels is named in the log, on this road as on the conversion's.
    if (input.second == QLatin1String("surround.mkv") && probe.Channels != 6) {
      EXPECT_TRUE(LogText().contains(QStringLiteral("stereo instead of 6 channels")))
          << LogText().toStdString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ExtractionDefaultsE2eTest, ::testing::Range(0, 5),
                         [](const auto& info) { return std::string(KAudioFormats[info.param]); });

// --- reasons, failures, damage ---

TEST_F(ConverterE2eTest, ARefusedFileIsNamedWithItsTrueReason) {
  Input(Media->ClipAvi, QStringLiteral("good.avi"));
  Input(Media->TextAvi, QStringLiteral("text.mp4"));
  WriteFile(WorkPath(QStringLiteral("notes.txt")), "notes");
  const TRun run = Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("good.avi"),
                        QStringLiteral("text.mp4"), QStringLiteral("notes.txt"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 1) << run.Describe();
  const QString log = LogText();
  // FFmpeg's own reason for the text file, and the type for the notes; in log.txt and on stderr.
  const QString text = QStringLiteral("Not added: ") + WorkPath(QStringLiteral("text.mp4")) + QStringLiteral(" (");
  const int at = static_cast<int>(log.indexOf(text));
  ASSERT_GE(at, 0) << log.toStdString();
  const QString reason = log.mid(at + text.size(), log.indexOf(QLatin1Char('\n'), at) - at - text.size());
  EXPECT_TRUE(reason.contains(QStringLiteral("Invalid data found when processing input"))) << reason.toStdString();
  EXPECT_FALSE(reason.contains(QStringLiteral("not a media file"))) << reason.toStdString();
  const QString notes = QStringLiteral("Not added: ") + WorkPath(QStringLiteral("notes.txt")) +
                        QStringLiteral(" (.txt is not one of the media types)");
  EXPECT_TRUE(log.contains(notes)) << log.toStdString();
  EXPECT_TRUE(run.Err.contains(notes)) << run.Describe();
  EXPECT_TRUE(Probe(WorkPath(QStringLiteral("out/good.avi"))).Ok);
}

// A list of 3,001 lines that names three paths a thousand times each: each is looked at once and
// named once, on standard error and in log.txt, with its count; the good file is converted.
TEST_F(ConverterE2eTest, AListThatRepeatsPathsNamesEachLeftOutPathOnce) {
  Input(Media->ClipAvi, QStringLiteral("good.avi"));
  Input(Media->TextAvi, QStringLiteral("text.mp4"));
  WriteFile(WorkPath(QStringLiteral("notes.txt")), "notes");
  QStringList lines;
  for (int i = 0; i < 1000; ++i)
    lines << QStringLiteral("gone.avi") << WorkPath(QStringLiteral("text.mp4")) << QStringLiteral("notes.txt");
  lines << QStringLiteral("good.avi");
  const TRun run = RunList(lines);
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 1) << run.Describe();
  EXPECT_TRUE(Probe(WorkPath(QStringLiteral("out/good.avi"))).Ok) << run.Describe();
  const QString log = LogText();
  const QStringList named = {
      QStringLiteral("Not added: ") + WorkPath(QStringLiteral("gone.avi")) + QStringLiteral(" (no such file, named 1000 times)"),
      QStringLiteral("Not added: ") + WorkPath(QStringLiteral("notes.txt")) +
          QStringLiteral(" (.txt is not one of the media types, named 1000 times)"),
  };
  for (const QString& line : named) {
    EXPECT_EQ(run.Err.count(line), 1) << line.toStdString() << "\n" << run.Describe();
    EXPECT_EQ(log.count(line), 1) << line.toStdString();
  }
  const QString text = QStringLiteral("Not added: ") + WorkPath(QStringLiteral("text.mp4")) + QStringLiteral(" (");
  EXPECT_EQ(run.Err.count(text), 1) << run.Describe();
  EXPECT_EQ(log.count(text), 1) << log.toStdString();
  EXPECT_EQ(log.count(QStringLiteral(", named 1000 times)")), 3) << log.toStdString();
  EXPECT_EQ(run.Err.count(QStringLiteral("Not added: ")), 3) << run.Describe();
}

TEST_F(ConverterE2eTest, AFailedConversionLogsTheEncodersOwnLineAndLeavesNothing) {
  // A frame size MPEG-4 cannot code: the last (custom) entry of the frame-size list.
  UseSettings(
      "[Converter]\r\nLocOption=1\r\nUpdate=0\r\nCustom=8200x16\r\n\r\n[Settings]\r\nVideoFormat2=0\r\n"
      "VideoFrameSize2=29\r\n");
  Input(Media->ClipAvi, QStringLiteral("clip.avi"));
  const TRun run =
      Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("clip.avi"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 1) << run.Describe();
  const QString log = LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("[mpeg4] dimensions too large for MPEG-4"))) << log.toStdString();
  EXPECT_TRUE(run.Out.contains(QStringLiteral("[mpeg4] dimensions too large for MPEG-4"))) << run.Describe();
  EXPECT_FALSE(log.contains(QStringLiteral("Success!\n\nDone."))) << log.toStdString();
  EXPECT_TRUE(QDir(WorkPath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(ConverterE2eTest, ADamagedSourceIsConvertedWithAWarning) {
  Input(Media->DamagedAvi, QStringLiteral("damaged.avi"));
  const TRun run =
      Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("damaged.avi"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  EXPECT_TRUE(Probe(WorkPath(QStringLiteral("out/damaged.avi"))).Ok);
  const QStringList lines = LogText().split(QLatin1Char('\n'));
  const int success = static_cast<int>(lines.lastIndexOf(QStringLiteral("Success!")));
  ASSERT_GT(success, 0) << LogText().toStdString();
  EXPECT_TRUE(lines.value(success + 1).startsWith(QStringLiteral("Warning! The source is damaged: ")))
      << LogText().toStdString();
}

// --- outputs ---

TEST_F(ConverterE2eTest, TwoSourcesWithOneStemKeepBothOutputs) {
  UseSettings(SettingsWith("VideoFormat2", 2));  // MKV
  ASSERT_TRUE(QDir(Work).mkpath(QStringLiteral("a")) && QDir(Work).mkpath(QStringLiteral("b")));
  Input(Media->ClipAvi, QStringLiteral("a/city.avi"));
  Input(Media->Stereo44Mkv, QStringLiteral("b/city.mkv"));
  const TRun run = Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("a/city.avi"),
                        QStringLiteral("b/city.mkv"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  const TProbeResult first = Probe(WorkPath(QStringLiteral("out/city.mkv")));
  const TProbeResult second = Probe(WorkPath(QStringLiteral("out/city (2).mkv")));
  ASSERT_TRUE(first.Ok && second.Ok) << run.Describe();
  EXPECT_EQ(first.Channels, 1) << "the first source's output, mono";
  EXPECT_EQ(second.Channels, 2) << "the second source's output, stereo";
  EXPECT_TRUE(LogText().contains(QStringLiteral("this file is saved as \"city (2).mkv\""))) << LogText().toStdString();
}

// Another batch holds log.txt: this one keeps its log under a name of its own and leaves the
// other's alone.
TEST_F(ConverterE2eTest, ABatchBesideAnotherKeepsItsOwnLog) {
  WriteFile(ProgramFolder + QStringLiteral("/log.txt"), "the other batch's log");
  QLockFile other(ProgramFolder + QStringLiteral("/log.txt.lock"));
  ASSERT_TRUE(other.tryLock(0));
  Input(Media->ClipAvi, QStringLiteral("clip.avi"));
  const TRun run =
      Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("clip.avi"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  EXPECT_EQ(ReadFile(ProgramFolder + QStringLiteral("/log.txt")), QByteArray("the other batch's log"));
  const QStringList own = QDir(ProgramFolder).entryList({QStringLiteral("log-*.txt")}, QDir::Files);
  ASSERT_EQ(own.size(), 1) << run.Describe();
  EXPECT_TRUE(run.Out.contains(ProgramFolder + QLatin1Char('/') + own[0])) << run.Describe();
  const QString text = QString::fromUtf8(ReadFile(ProgramFolder + QLatin1Char('/') + own[0]));
  EXPECT_TRUE(text.contains(QStringLiteral("Success!")) && text.contains(QStringLiteral("Done."))) << text.toStdString();
}

// Two batches at once on sources with one stem, into one folder. The first has checked its
// output name and loaded its source when the second starts; it is held (SIGSTOP) until the second
// has ended, so that the second's output takes the name first, as a shorter file does.
TEST_F(ConverterE2eTest, TwoBatchesAtOnceOnOneStemKeepBothOutputsAndBothLogs) {
  // Long enough that the first is held long before its conversion could end, however fast the
  // machine or slow this test is to see the line: 8 s of 1280x720 (about a second to convert
  // here) eight times over, copied rather than encoded again.
  MakeClip(QStringLiteral("a/part.mp4"), 8, QStringLiteral("1280x720"));
  ASSERT_EQ(QProcess::execute(QStringLiteral("ffmpeg"),
                              {"-nostdin", "-v", "error", "-stream_loop", "7", "-i", WorkPath("a/part.mp4"),
                               "-c", "copy", WorkPath("a/clip.mp4")}),
            0);
  MakeClip(QStringLiteral("b/clip.mp4"), 3);
  TProgram first = Start({"-v", "out", "a/clip.mp4", "x"});
  // The first line after the check of the output's name.
  ASSERT_TRUE(WaitForOut(first, QStringLiteral("Loading file... OK"))) << first.Out.toStdString();
  ASSERT_EQ(::kill(pid_t(first.Process->processId()), SIGSTOP), 0);
  TProgram second = Start({"-v", "out", "b/clip.mp4", "x"});
  const qint64 secondId = second.Process->processId();
  const TRun secondRun = Finish(second);
  first.Read();
  // Its one "Success!" is the libraries'.
  ASSERT_EQ(first.Out.count(QStringLiteral("Success!")), 1) << "the first file was done before it was held";
  ASSERT_EQ(::kill(pid_t(first.Process->processId()), SIGCONT), 0);
  const TRun firstRun = Finish(first);

  ASSERT_TRUE(firstRun.Ended && secondRun.Ended) << firstRun.Describe() << secondRun.Describe();
  EXPECT_EQ(firstRun.ExitCode, 0) << firstRun.Describe();
  EXPECT_EQ(secondRun.ExitCode, 0) << secondRun.Describe();
  const TProbeResult shorter = Probe(WorkPath(QStringLiteral("out/clip.avi")));
  const TProbeResult longer = Probe(WorkPath(QStringLiteral("out/clip (2).avi")));
  ASSERT_TRUE(shorter.Ok && longer.Ok) << firstRun.Describe() << secondRun.Describe();
  EXPECT_NEAR(shorter.Duration, 3.0, 0.3);
  EXPECT_NEAR(longer.Duration, 64.0, 0.5);
  // The first held log.txt from its start; the second wrote a log of its own.
  EXPECT_TRUE(LogText().contains(
      QStringLiteral("\"clip.avi\" appeared while converting: this file is saved as \"clip (2).avi\".")))
      << LogText().toStdString();
  const QString secondLog =
      QString::fromUtf8(ReadFile(ProgramFolder + QStringLiteral("/log-%1.txt").arg(secondId)));
  EXPECT_TRUE(secondLog.contains(WorkPath(QStringLiteral("out/clip.avi"))) && secondLog.contains("Success!"))
      << secondLog.toStdString();
  EXPECT_EQ(Leftovers(WorkPath(QStringLiteral("out"))), QStringList());
  EXPECT_EQ(Leftovers(ProgramFolder), QStringList());
}

// A signal that asks the program to end, sent while it converts: the run ends as Stop ends it,
// the log of what was done is saved, and the status tells the signal (128 + its number).
class SignalE2eTest : public ConverterE2eTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignalE2eTest, EndsTheRunLeavesNoPartialFileNorLockAndSavesTheLog) {
  MakeClip(QStringLiteral("clip1.mp4"), 8, QStringLiteral("1280x720"));
  ASSERT_TRUE(QFile::copy(WorkPath(QStringLiteral("clip1.mp4")), WorkPath(QStringLiteral("clip2.mp4"))));
  TProgram program = Start({"-v", "out", "clip1.mp4", "clip2.mp4", "x"});
  ASSERT_TRUE(WaitForOut(program, QStringLiteral("Processing file..."))) << program.Out.toStdString();
  ASSERT_EQ(::kill(pid_t(program.Process->processId()), GetParam()), 0);
  const TRun run = Finish(program);

  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 128 + GetParam()) << run.Describe();
  EXPECT_EQ(Leftovers(WorkPath(QStringLiteral("out"))), QStringList());
  EXPECT_EQ(Leftovers(ProgramFolder), QStringList());
  const QString log = LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("Cancelled: the program was asked to end (SIG%1)!")
                               .arg(QLatin1String(::sigabbrev_np(GetParam())))))
      << log.toStdString();
  EXPECT_TRUE(log.endsWith(QStringLiteral("Done.\n"))) << log.toStdString();
  EXPECT_TRUE(run.Out.contains(ProgramFolder + QStringLiteral("/log.txt"))) << run.Describe();
  EXPECT_FALSE(log.contains(QStringLiteral("File #2")) && log.count(QStringLiteral("Success!")) > 2)
      << "no file after the signal";
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalE2eTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string("SIG") + ::sigabbrev_np(info.param); });

// A source named with the longest name the file system takes converts under that name.
TEST_F(ConverterE2eTest, TheLongestSourceNameConverts) {
  const long nameMax = ::pathconf(QFile::encodeName(Work).constData(), _PC_NAME_MAX);
  ASSERT_GT(nameMax, 20);
  const QString stem(int(nameMax) - 4, QLatin1Char('a'));
  Input(Media->ClipAvi, stem + QStringLiteral(".mp4"));
  const TRun run =
      Run({QStringLiteral("-v"), QStringLiteral("out"), stem + QStringLiteral(".mp4"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  EXPECT_TRUE(Probe(WorkPath(QStringLiteral("out/") + stem + QStringLiteral(".avi"))).Ok) << run.Describe();
}

// --- folders ---

TEST_F(ConverterE2eTest, AFolderLineOfAListIsScannedWithoutAFalseReport) {
  ASSERT_TRUE(QDir(Work).mkpath(QStringLiteral("clips/deeper")));
  Input(Media->ClipAvi, QStringLiteral("clips/one.avi"));
  Input(Media->Stereo44Mkv, QStringLiteral("clips/deeper/two.mkv"));
  Input(Media->ClipAvi, QStringLiteral("three.avi"));
  const TRun run = RunList({WorkPath(QStringLiteral("clips")), WorkPath(QStringLiteral("three.avi"))});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  for (const char* output : {"out/one.avi", "out/two.avi", "out/three.avi"})
    EXPECT_TRUE(Probe(WorkPath(QLatin1String(output))).Ok) << output << run.Describe();
  EXPECT_FALSE(run.Err.contains(QStringLiteral("Not added"))) << run.Describe();
}

// A folder or file the user may not read, named in a list or met below a listed folder, is named
// with its reason; the rest is converted and the batch ends with 1.
TEST_F(ConverterE2eTest, AnUnreadableFolderOrFileIsNamedWithItsReason) {
  struct TCase {
    const char* Name;
    const char* Line;       // of list.fls, besides clip.avi
    const char* Locked;     // made unreadable
    const char* Reason;     // in the "Not added" line of Locked
    const char* Converted;  // besides out/clip.avi, or null
  };
  const TCase cases[] = {
      {"a folder in the list", "locked", "locked", "cannot read the folder: Permission denied", nullptr},
      {"a folder below a listed folder", "clips", "clips/locked", "cannot read the folder: Permission denied",
       "out/one.avi"},
      {"a file in the list", "secret.avi", "secret.avi", "Permission denied", nullptr},
      {"a file in an unreadable folder", "locked/inner.avi", "locked/inner.avi", "Permission denied",
       nullptr},
  };
  OpenToNobody();
  if (const QString unreachable = WhatNobodyCannotReach(); !unreachable.isEmpty())
    GTEST_SKIP() << unreachable.toStdString();
  ASSERT_TRUE(QDir(Work).mkpath(QStringLiteral("locked")));
  ASSERT_TRUE(QDir(Work).mkpath(QStringLiteral("clips/locked")));
  Input(Media->ClipAvi, QStringLiteral("clip.avi"));
  Input(Media->ClipAvi, QStringLiteral("locked/inner.avi"));
  Input(Media->ClipAvi, QStringLiteral("clips/one.avi"));
  Input(Media->ClipAvi, QStringLiteral("clips/locked/two.avi"));
  Input(Media->ClipAvi, QStringLiteral("secret.avi"));
  for (const char* locked : {"locked", "clips/locked", "secret.avi"})
    ASSERT_EQ(::chmod(QFile::encodeName(WorkPath(QLatin1String(locked))).constData(), 0), 0);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    QDir(WorkPath(QStringLiteral("out"))).removeRecursively();
    const TRun run = RunList({WorkPath(QLatin1String(c.Line)), WorkPath(QStringLiteral("clip.avi"))});
    ASSERT_TRUE(run.Ended) << run.Describe();
    EXPECT_EQ(run.ExitCode, 1) << run.Describe();
    const QString line = QStringLiteral("Not added: ") + WorkPath(QLatin1String(c.Locked));
    const int at = static_cast<int>(run.Err.indexOf(line + QStringLiteral(" (")));
    ASSERT_GE(at, 0) << run.Describe();
    EXPECT_TRUE(
        run.Err.mid(at, run.Err.indexOf(QLatin1Char('\n'), at) - at).contains(QLatin1String(c.Reason)))
        << run.Describe();
    EXPECT_TRUE(LogText().contains(line)) << LogText().toStdString();
    EXPECT_TRUE(Probe(WorkPath(QStringLiteral("out/clip.avi"))).Ok) << run.Describe();
    if (c.Converted != nullptr) {
      EXPECT_TRUE(Probe(WorkPath(QLatin1String(c.Converted))).Ok) << run.Describe();
    }
  }
  // Removable again for a test run that is not root.
  for (const char* locked : {"locked", "clips/locked", "secret.avi"})
    ::chmod(QFile::encodeName(WorkPath(QLatin1String(locked))).constData(), 0755);
}

// A source whose name is not UTF-8 (Latin-1 "é", as old disks and archives have it), typed as a
// parameter and in a list: converted to an output with the same bytes in its name, logged with the
// replacement character.
TEST_F(ConverterE2eTest, ANameThatIsNotUtf8IsConvertedUnderItsOwnBytes) {
  const QByteArray work = QFile::encodeName(Work);
  for (const QByteArray& name : {QByteArray("caf\xe9.avi"), QByteArray("na\xefve.avi")}) {
    ASSERT_TRUE(QFile::copy(Q(Media->ClipAvi), WorkPath(QStringLiteral("clip.avi"))));
    ASSERT_EQ(::rename((work + "/clip.avi").constData(), (work + "/" + name).constData()), 0);
  }
  WriteFile(WorkPath(QStringLiteral("list.fls")), work + "/na\xefve.avi\n");
  // A QProcess parameter cannot carry bytes that are not UTF-8: a shell script passes them, as a
  // shell does when the user types or completes the name.
  const QString script = WorkPath(QStringLiteral("start.sh"));
  WriteFile(script, "#!/bin/sh\nexec \"$0.real\" \"$@\" \"$(printf 'caf\\351.avi')\" x\n");
  struct TCase {
    QStringList Params;
    QByteArray Output;  // below Work
    QString Shown;      // the source's name in the log
  };
  const TCase cases[] = {
      {{QStringLiteral("-v"), QStringLiteral("out")}, "/out/caf\xe9.avi", QStringLiteral("caf\uFFFD.avi")},
      {{QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("list.fls"), QStringLiteral("x")},
       "/out/na\xefve.avi",
       QStringLiteral("na\uFFFDve.avi")},
  };
  const QString program = Binary;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Output.toStdString());
    const bool typed = c.Params.size() == 2;
    if (typed) {
      // The script sits beside the program under its name, so the program's folder stays.
      ASSERT_TRUE(QFile::rename(program, program + QStringLiteral(".real")));
      ASSERT_TRUE(QFile::copy(script, program));
      ASSERT_TRUE(QFile(program).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    const TRun run = Run(c.Params);
    if (typed) {
      ASSERT_TRUE(QFile::remove(program));
      ASSERT_TRUE(QFile::rename(program + QStringLiteral(".real"), program));
    }
    ASSERT_TRUE(run.Ended) << run.Describe();
    EXPECT_EQ(run.ExitCode, 0) << run.Describe();
    // ffprobe reads the output through a link: a QProcess parameter cannot carry its name.
    const QByteArray link = work + "/probe.avi";
    ::unlink(link.constData());
    ASSERT_EQ(::symlink((work + c.Output).constData(), link.constData()), 0);
    EXPECT_TRUE(Probe(QFile::decodeName(link)).Ok) << run.Describe();
    EXPECT_TRUE(LogText().contains(c.Shown)) << LogText().toStdString();
  }
}

TEST_F(ConverterE2eTest, AFolderArgumentIsNamedAsAFolder) {
  ASSERT_TRUE(QDir(Work).mkpath(QStringLiteral("clips")));
  Input(Media->ClipAvi, QStringLiteral("clip.avi"));
  const TRun run = Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("clip.avi"),
                        QStringLiteral("clips"), QStringLiteral("x")});
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 1) << run.Describe();
  const QString line = QStringLiteral("Not added: ") + WorkPath(QStringLiteral("clips")) + QStringLiteral(" (is a folder)");
  EXPECT_TRUE(run.Err.contains(line)) << run.Describe();
  EXPECT_TRUE(LogText().contains(line)) << LogText().toStdString();
}

// --- the help page ---

// Help opens the page beside the built program: it is there and covers the windows, the settings
// and the batch mode.
TEST(ConverterHelpTest, TheHelpPageShipsBesideTheProgram) {
  QFile page(QFileInfo(QStringLiteral(CONVERTER_BINARY)).absolutePath() + QStringLiteral("/help/index.html"));
  ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
  const QString text = QString::fromUtf8(page.readAll());
  for (const char* topic : {"<html", "The file list", "Output settings", "Converting and extracting",
                            "Settings fitted to each file", "Batch mode", "log.txt"})
    EXPECT_TRUE(text.contains(QLatin1String(topic))) << topic;
}

// --- taskbar progress over a private session bus ---

/// Keeps the launcher-entry signals that reach the test's own connection.
class TLauncherListener : public QObject {
  Q_OBJECT
 public:
  struct TUpdate {
    QString AppUri;
    double Progress = -1;
    bool Visible = false;
  };
  std::vector<TUpdate> Updates;

 public slots:
  void Update(const QString& appUri, const QVariantMap& properties) {
    Updates.push_back({appUri, properties.value(QStringLiteral("progress")).toDouble(),
                       properties.value(QStringLiteral("progress-visible")).toBool()});
  }
};

/// A session bus of the test's own; this process's connection to it ("e2e") goes before the bus.
struct TE2eBus : testing_support::TPrivateBus {
  ~TE2eBus() { QDBusConnection::disconnectFromBus(QStringLiteral("e2e")); }
};

TEST_F(ConverterE2eTest, TheTaskbarSignalsCarryTheProgressOnTheSessionBus) {
  TE2eBus bus;
  if (bus.Address.isEmpty()) GTEST_SKIP() << "dbus-daemon could not start a session bus";
  QDBusConnection connection = QDBusConnection::connectToBus(bus.Address, QStringLiteral("e2e"));
  ASSERT_TRUE(connection.isConnected()) << connection.lastError().message().toStdString();
  TLauncherListener listener;
  ASSERT_TRUE(connection.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                 QStringLiteral("Update"), &listener, SLOT(Update(QString, QVariantMap))));

  Input(Media->ClipAvi, QStringLiteral("one.avi"));
  Input(Media->ClipAvi, QStringLiteral("two.avi"));
  const TRun run = Run({QStringLiteral("-v"), QStringLiteral("out"), QStringLiteral("one.avi"),
                        QStringLiteral("two.avi"), QStringLiteral("x")},
                       bus.Address);
  ASSERT_TRUE(run.Ended) << run.Describe();
  EXPECT_EQ(run.ExitCode, 0) << run.Describe();
  // Signals sent just before the program ended may still be on their way: the last one withdraws
  // the bar as the window closes.
  QElapsedTimer clock;
  clock.start();
  while ((listener.Updates.empty() || listener.Updates.back().Visible) && clock.elapsed() < 30000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_FALSE(listener.Updates.empty());
  bool half = false;
  bool full = false;
  for (const TLauncherListener::TUpdate& update : listener.Updates) {
    EXPECT_EQ(update.AppUri, QStringLiteral("application://tarsel-video-converter.desktop"));
    // Two files: the bar counts files done.
    half = half || (update.Visible && qAbs(update.Progress - 0.5) < 1e-9);
    full = full || (update.Visible && qAbs(update.Progress - 1.0) < 1e-9);
  }
  EXPECT_TRUE(half);
  EXPECT_TRUE(full);
  EXPECT_FALSE(listener.Updates.back().Visible) << "the bar is withdrawn when the window closes";
}

}  // namespace

#include "converter_e2e_test.moc"
