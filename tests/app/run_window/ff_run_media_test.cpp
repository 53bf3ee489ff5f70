// The run windows over the real encoder and decoder (ff_run_media.h) on generated clips: a
// conversion with the default AVI options, an extraction to FLAC, a list with damaged files, a
// declined overwrite, a Stop in the middle of a conversion, and the adapters' own contract
// (failures as results, events on the user-interface thread, one end of run for every start).

#include "app/run_window/ff_run_media.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <memory>

#include "app/e2e/ffprobe.h"
#include "app/main_window/main_window_fixture.h"  // the application object, made once
#include "app/run_window/run_window.h"
#include "app/settings/temp_folder.h"
#include "components/recording_taskbar_backend.h"
#include "components/taskbar_mgr.h"
#include "fixtures/media_fixtures.h"
#include "media/ff_encoder.h"
#include "media/ff_logger.h"
#include "media/wave_input.h"
#include "platform/qt_main_thread.h"
#include "platform/recording_prompter.h"

namespace {

using app::TRunInput;
using app::TRunResult;
using testing_support::TRecordingPrompter;
using testing_support::TRecordingTaskbarBackend;

// What the main window builds with its default settings for AVI, and for FLAC extraction.
const QString KAviOptions = QStringLiteral("-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn ");
const QString KFlacOptions = QStringLiteral("-b:a 32k -c:a flac -vn");

QString Q(const std::string& text) { return QString::fromStdString(text); }

class RunMediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::App();
    Dispatcher = std::make_unique<platform::TQtMainThreadDispatcher>();
    platform::SetMainThreadDispatcher(Dispatcher.get());
    Media = &fixtures::MediaFixtures();
    FTemp = std::make_unique<QTemporaryDir>(testing_support::MakeTempFolder("run_media"));
    ASSERT_TRUE(FTemp->isValid());
    OutFolder = FTemp->filePath(QStringLiteral("out")) + QLatin1Char('/');
    Taskbar = std::make_unique<components::TTaskbarMgr>(
        nullptr, std::make_unique<TRecordingTaskbarBackend>(&TaskbarLog));
  }
  void TearDown() override {
    Window.reset();
    platform::SetMainThreadDispatcher(nullptr);
  }

  TRunInput Input(const QStringList& sources, const QString& options, const QString& extension) {
    TRunInput input;
    for (const QString& path : sources) input.Rows.push_back({QFileInfo(path).fileName(), path});
    input.OptionString = options;
    input.Extension = extension;
    input.OutputFolder = OutFolder;
    input.Taskbar = Taskbar.get();
    input.ProgramFolder = FTemp->filePath(QStringLiteral("program"));
    return input;
  }

  /// Shows the window and pumps until its run is over; false after two minutes (a hang).
  bool Run(std::unique_ptr<app::TRunWindow> window) {
    Window = std::move(window);
    Window->show();
    QElapsedTimer clock;
    clock.start();
    while (!Window->Finished() && clock.elapsed() < 120000) QTest::qWait(5);
    return Window->Finished();
  }

  QStringList Lines() const {
    return Window->findChild<QTextEdit*>(QStringLiteral("log_Main"))->toPlainText().split(QLatin1Char('\n'));
  }
  QString Log() const { return Lines().join(QLatin1Char('\n')); }

  /// The lines of file #n, up to the empty line before the next file or the end.
  QStringList Section(int n) const {
    const QStringList lines = Lines();
    const int from = lines.indexOf(QStringLiteral("File #%1").arg(n));
    if (from < 0) return {};
    int to = from + 1;
    while (to < lines.size() && !lines[to].isEmpty()) ++to;
    return lines.mid(from, to - from);
  }

  /// A copy of a fixture under another name in the test's folder.
  QString Copy(const std::string& fixture, const QString& name) {
    const QString path = FTemp->filePath(name);
    EXPECT_TRUE(QFile::copy(Q(fixture), path));
    return path;
  }

  std::unique_ptr<platform::TQtMainThreadDispatcher> Dispatcher;
  const fixtures::TMediaFixtures* Media = nullptr;
  std::unique_ptr<QTemporaryDir> FTemp;
  QString OutFolder;
  TRecordingPrompter Prompter;
  TRecordingTaskbarBackend::TLog TaskbarLog;
  std::unique_ptr<components::TTaskbarMgr> Taskbar;
  std::unique_ptr<app::TRunWindow> Window;
};

TEST_F(RunMediaTest, ConvertsAClipWithTheDefaultAviOptions) {
  const QString source = Q(Media->ClipAvi);
  ASSERT_TRUE(Run(std::make_unique<app::Tfrm_Video>(Input({source}, KAviOptions, QStringLiteral(".avi")),
                                                    std::make_unique<app::TFFRunEncoder>(),
                                                    std::make_unique<app::TFFRunDecoder>())))
      << Log().toStdString();

  const QString output = OutFolder + QStringLiteral("clip.avi");
  EXPECT_EQ(Section(1),
            (QStringList{QStringLiteral("File #1"), source, QStringLiteral("Loading file... OK"),
                         QStringLiteral("Adding task... OK"), QStringLiteral("Parameters ") + KAviOptions,
                         QStringLiteral("Applying parameters... OK"), QStringLiteral("Processing file..."),
                         output, QStringLiteral("Success!")}))
      << Log().toStdString();
  EXPECT_EQ(Lines().last(), QStringLiteral("Done."));
  EXPECT_EQ(Window->Result(), TRunResult::AllConverted);

  const testing_support::TProbeResult probe = testing_support::Probe(output);
  ASSERT_TRUE(probe.Ok) << probe.Error.toStdString();
  EXPECT_EQ(probe.VideoCodecs, QStringList{QStringLiteral("mpeg4")});
  EXPECT_EQ(probe.AudioCodecs, QStringList{QStringLiteral("mp3")});
  // MP3 frames at 8 kHz and the encoder's delay may run the audio a little past the 2 s of video.
  EXPECT_NEAR(probe.Duration, 2.0, 0.3);

  // One file: the taskbar is in percent mode and ends full.
  EXPECT_NE(std::find(TaskbarLog.Calls.begin(), TaskbarLog.Calls.end(), "State Normal"),
            TaskbarLog.Calls.end());
  EXPECT_EQ(Taskbar->ProgressValueMax(), 100);
  EXPECT_EQ(Taskbar->ProgressValue(), 100);
}

TEST_F(RunMediaTest, ExtractsTheAudioToFlacNamedAfterTheFormat) {
  const QString source = Q(Media->ClipAvi);
  ASSERT_TRUE(Run(std::make_unique<app::Tfrm_Audio>(Input({source}, KFlacOptions, QStringLiteral(".flac")),
                                                    std::make_unique<app::TFFRunEncoder>(),
                                                    std::make_unique<app::TFFRunDecoder>())))
      << Log().toStdString();
  EXPECT_EQ(Section(1).last(), QStringLiteral("Success!")) << Log().toStdString();
  EXPECT_EQ(Window->Result(), TRunResult::AllConverted);

  const testing_support::TProbeResult probe = testing_support::Probe(OutFolder + QStringLiteral("clip.flac"));
  ASSERT_TRUE(probe.Ok) << probe.Error.toStdString();
  EXPECT_TRUE(probe.VideoCodecs.isEmpty());
  EXPECT_EQ(probe.AudioCodecs, QStringList{QStringLiteral("flac")});
  EXPECT_NEAR(probe.Duration, 2.0, 0.1);
}

// The main window's TS settings (AC-3 at 32k) on a broadcast recording with loud 5.1 sound: the
// encoders' trial fits the lowest AC-3 rate that takes any 5.1 sound (80k at 48000 Hz on this
// machine; which rate near that edge is the lowest may depend on the CPU's code), and the
// conversion succeeds with it where 32k runs out of bits.
TEST_F(RunMediaTest, TheTransportStreamSettingsFitAnAc3RateThatTakesLoudSurroundSound) {
  const QString options = QStringLiteral("-b:a 32k -c:a ac3 -c:v libx264 -threads 8 -pix_fmt yuv420p -sn ");
  const QString source = Q(fixtures::ShapedSources().BroadcastTs);
  ASSERT_TRUE(Run(std::make_unique<app::Tfrm_Video>(Input({source}, options, QStringLiteral(".ts")),
                                                    std::make_unique<app::TFFRunEncoder>(),
                                                    std::make_unique<app::TFFRunDecoder>())))
      << Log().toStdString();
  EXPECT_EQ(Section(1).last(), QStringLiteral("Success!")) << Log().toStdString();
  const QRegularExpressionMatch fitted =
      QRegularExpression(QStringLiteral("audio bit rate (\\d+)k instead of 32k")).match(Log());
  ASSERT_TRUE(fitted.hasMatch()) << Log().toStdString();
  EXPECT_GT(fitted.captured(1).toInt(), 32);
  const testing_support::TProbeResult probe =
      testing_support::Probe(OutFolder + QStringLiteral("broadcast.ts"));
  ASSERT_TRUE(probe.Ok) << probe.Error.toStdString();
  EXPECT_EQ(probe.AudioCodecs, QStringList{QStringLiteral("ac3")});
  EXPECT_EQ(probe.Channels, 6);
}

// Damaged files among good ones: each bad one is reported in red and the run goes on to convert
// every good one; the files-done count drives the taskbar.
TEST_F(RunMediaTest, DamagedFilesAreReportedAndTheGoodOnesStillConvert) {
  const QStringList sources = {Copy(Media->EmptyAvi, QStringLiteral("empty.avi")),
                               Copy(Media->TextAvi, QStringLiteral("text.mp4")),
                               Copy(Media->ClipAvi, QStringLiteral("good1.avi")),
                               Copy(Media->TruncatedAvi, QStringLiteral("truncated.avi")),
                               Copy(Media->ClipAvi, QStringLiteral("good2.avi"))};
  ASSERT_TRUE(Run(std::make_unique<app::Tfrm_Video>(Input(sources, KAviOptions, QStringLiteral(".avi")),
                                                    std::make_unique<app::TFFRunEncoder>(),
                                                    std::make_unique<app::TFFRunDecoder>())))
      << Log().toStdString();

  for (int n : {1, 2}) {
    const QStringList section = Section(n);
    ASSERT_EQ(section.size(), 3) << Log().toStdString();
    EXPECT_TRUE(section[2].startsWith(QStringLiteral("Loading file... Error! "))) << section[2].toStdString();
    EXPECT_GT(section[2].size(), 23) << "the decoder's reason is missing";
  }
  for (int n : {3, 5}) {
    EXPECT_EQ(Section(n).last(), QStringLiteral("Success!")) << Log().toStdString();
    const testing_support::TProbeResult probe =
        testing_support::Probe(OutFolder + QStringLiteral("good%1.avi").arg(n == 3 ? 1 : 2));
    EXPECT_TRUE(probe.Ok) << probe.Error.toStdString();
  }
  // Half a clip: converted as far as it goes, or refused with a reason; never a crash or a hang.
  EXPECT_FALSE(Section(4).isEmpty());
  EXPECT_EQ(Lines().last(), QStringLiteral("Done."));
  EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
  EXPECT_EQ(app::ExitCode(Window->Result()), 1);
  EXPECT_EQ(Taskbar->ProgressValueMax(), 5);
  EXPECT_EQ(Taskbar->ProgressValue(), 5);
}

// An existing output: the question names it, No keeps its bytes and logs "Skipped!".
TEST_F(RunMediaTest, DecliningTheOverwriteKeepsTheExistingOutput) {
  ASSERT_TRUE(QDir().mkpath(OutFolder));
  QFile existing(OutFolder + QStringLiteral("clip.avi"));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("keep me");
  existing.close();
  Prompter.DefaultAnswer = false;
  ASSERT_TRUE(Run(std::make_unique<app::Tfrm_Video>(
      Input({Q(Media->ClipAvi)}, KAviOptions, QStringLiteral(".avi")), std::make_unique<app::TFFRunEncoder>(),
      std::make_unique<app::TFFRunDecoder>())));
  ASSERT_EQ(Prompter.Questions.size(), 1u);
  EXPECT_TRUE(Prompter.Questions[0].Text.contains(existing.fileName()));
  EXPECT_EQ(Section(1).last(), QStringLiteral("Skipped!"));
  ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
  EXPECT_EQ(existing.readAll(), QByteArray("keep me"));
  EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
}

// Stop during a real conversion: Stop(true) waits on the user-interface thread while the
// encoder's last events are delivered, then the run ends as stopped, without "Success!".
TEST_F(RunMediaTest, StopEndsARunningConversion) {
  // A large picture makes the 2 s clip take seconds, so the first progress report comes in time.
  const QString slow = QStringLiteral("-b:a 32k -c:a libmp3lame -c:v mpeg4 -vf \"scale=3840:2400\" -sn ");
  auto window = std::make_unique<app::Tfrm_Video>(Input({Q(Media->ClipAvi)}, slow, QStringLiteral(".avi")),
                                                  std::make_unique<app::TFFRunEncoder>(),
                                                  std::make_unique<app::TFFRunDecoder>());
  auto* stopper = new QTimer(window.get());
  stopper->setInterval(5);
  QObject::connect(stopper, &QTimer::timeout, stopper, [w = window.get(), stopper] {
    // The size label is written by the first progress report: the task is running.
    if (w->findChild<QLabel*>(QStringLiteral("lbl_FPS"))->text().isEmpty()) return;
    stopper->stop();
    w->findChild<QPushButton*>(QStringLiteral("btn_Stop"))->click();
  });
  stopper->start();
  ASSERT_TRUE(Run(std::move(window))) << Log().toStdString();

  const QStringList lines = Lines();
  const int cancelled = static_cast<int>(lines.indexOf(QStringLiteral("Cancelled by user!")));
  ASSERT_GE(cancelled, 0) << "finished before the first progress report:\n" << Log().toStdString();
  EXPECT_EQ(lines.mid(cancelled),
            (QStringList{QStringLiteral("Cancelled by user!"), QStringLiteral("Done.")}))
      << Log().toStdString();
  // The file's own section holds no "Success!" (the libraries' load before it may).
  const QStringList file = Section(1);
  ASSERT_FALSE(file.isEmpty()) << Log().toStdString();
  EXPECT_FALSE(file.contains(QStringLiteral("Success!"))) << Log().toStdString();
  EXPECT_TRUE(Window->UserStopped());
  EXPECT_EQ(Window->Result(), TRunResult::NotAllConverted);
  EXPECT_TRUE(Window->findChild<QPushButton*>(QStringLiteral("btn_Close"))->isEnabled());
}

// The real encoder, except that a task's input is the audio window's wave input instead of the
// source file: what a task whose input selects "waveinput" converts.
class TWaveInputEncoder : public app::IRunEncoder {
 public:
  TWaveInputEncoder() {
    FInner.OnProgress = [this](const app::TRunProgress& info) {
      if (OnProgress) OnProgress(info);
    };
    FInner.OnTerminate = [this](const app::TRunTerminate& info) {
      if (OnTerminate) OnTerminate(info);
    };
  }
  bool AVLibLoaded() const override { return FInner.AVLibLoaded(); }
  bool LoadAVLib(const QString& folder) override { return FInner.LoadAVLib(folder); }
  bool ClearTasks() override { return FInner.ClearTasks(); }
  int AddTask(const QString& source) override {
    Sources.append(source);
    media::TInputOptions input;
    // The window's decoder hands out 16-bit stereo at 44.1 kHz.
    input.Options = "-f waveinput -sample_rate 44100 -channels 2 -sample_fmt s16";
    const int task = FInner.Encoder().AddTask(Adapter->InputName(), &input);
    if (task < 0) FLastErrMsg = QString::fromStdString(FInner.Encoder().LastErrMsg());
    return task;
  }
  int SetOutput(int task, const QString& output, const QString& options) override {
    return FInner.SetOutput(task, output, options);
  }
  bool RemoveTask(int task) override { return FInner.RemoveTask(task); }
  void Start(int threadCount) override { FInner.Start(threadCount); }
  bool Stop(bool wait) override { return FInner.Stop(wait); }
  QString LastErrMsg() const override { return FLastErrMsg.isEmpty() ? FInner.LastErrMsg() : FLastErrMsg; }
  QStringList ErrorLines() const override { return FInner.ErrorLines(); }

  const media::TWaveInputAdapter* Adapter = nullptr;  // the window's, set once it exists
  QStringList Sources;                                // what the window asked to add

 private:
  app::TFFRunEncoder FInner;
  QString FLastErrMsg;
};

// Sample rate and samples of the first audio stream, as ffprobe counts them.
struct TAudioLength {
  int SampleRate = -1;
  qint64 Samples = -1;
};

TAudioLength ProbeAudioLength(const QString& path) {
  QProcess process;
  process.start(QStringLiteral("/usr/bin/ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                 QStringLiteral("a:0"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=sample_rate,duration_ts"), QStringLiteral("-of"),
                 QStringLiteral("default=nw=1"), path});
  TAudioLength length;
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return length;
  for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
    if (line.startsWith(QLatin1String("sample_rate="))) length.SampleRate = line.mid(12).toInt();
    if (line.startsWith(QLatin1String("duration_ts="))) length.Samples = line.mid(12).toLongLong();
  }
  return length;
}

// A task whose input is the audio window's wave input converts the PCM the window's decoder reads
// from each file of the list: all of it, once, from the file being processed.
TEST_F(RunMediaTest, AWaveInputTaskConvertsThePcmOfTheWindowsDecoder) {
  // 8 kHz stereo and 48 kHz 5.1 sources reach the output as 44.1 kHz stereo, as long as their
  // audio: the clip's 2 s, and the 46 whole blocks of 1024 samples of the 5.1 fixture's second.
  struct TCase {
    QString Output;
    double Seconds;
  };
  const std::vector<TCase> cases = {{QStringLiteral("clip.flac"), 2.0},
                                    {QStringLiteral("surround.flac"), 46 * 1024 / 48000.0}};
  const QStringList sources = {Q(Media->ClipAvi), Q(Media->SurroundMkv)};
  auto encoder = std::make_unique<TWaveInputEncoder>();
  TWaveInputEncoder* waveEncoder = encoder.get();
  auto window = std::make_unique<app::Tfrm_Audio>(Input(sources, KFlacOptions, QStringLiteral(".flac")),
                                                  std::move(encoder), std::make_unique<app::TFFRunDecoder>());
  ASSERT_NE(window->WIA(), nullptr);
  waveEncoder->Adapter = window->WIA();
  ASSERT_TRUE(Run(std::move(window))) << Log().toStdString();
  EXPECT_EQ(Window->Result(), TRunResult::AllConverted) << Log().toStdString();
  EXPECT_EQ(waveEncoder->Sources, sources);

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Output.toStdString());
    const testing_support::TProbeResult probe = testing_support::Probe(OutFolder + c.Output);
    ASSERT_TRUE(probe.Ok) << probe.Error.toStdString();
    EXPECT_EQ(probe.AudioCodecs, QStringList{QStringLiteral("flac")});
    EXPECT_EQ(probe.Channels, 2);
    const TAudioLength length = ProbeAudioLength(OutFolder + c.Output);
    EXPECT_EQ(length.SampleRate, 44100);
    // All of the source: nothing lost, nothing of another file, nothing handed out twice.
    EXPECT_NEAR(double(length.Samples), c.Seconds * 44100, 0.03 * 44100);
  }
}

// --- the adapters' contract ---

class RunAdapterTest : public RunMediaTest {
 protected:
  void Attach(app::TFFRunEncoder& encoder) {
    encoder.OnProgress = [this](const app::TRunProgress&) {
      ++Progress;
      OffMainThread += QThread::currentThread() != qApp->thread();
    };
    encoder.OnTerminate = [this](const app::TRunTerminate& info) {
      Terminates.push_back(info);
      OffMainThread += QThread::currentThread() != qApp->thread();
    };
  }
  int RunEnds() const {
    return static_cast<int>(std::count_if(Terminates.begin(), Terminates.end(),
                                          [](const app::TRunTerminate& t) { return t.TaskIndex < 0; }));
  }
  /// Pumps until ready() holds, then until the log queue behind that moment has been delivered: a
  /// run ends by the encoder's event on this thread and then through the log queue (after the
  /// run's last lines), so a barrier queued once the end is heard comes after anything queued with
  /// that end, a second end of the same run included. False after a minute (a hang).
  template <typename TReady>
  bool Settle(TReady ready) {
    QElapsedTimer clock;
    clock.start();
    while (!ready() && clock.elapsed() < 60000) QTest::qWait(5);
    if (!ready()) return false;
    // A listener of its own, which nothing in the adapter ends (ClearTasks ends the file's).
    const media::TLogSubscription probe = media::FFLogger().Subscribe([](auto&&...) {});
    auto reached = std::make_shared<bool>(false);
    probe.AfterQueuedLines([reached] { *reached = true; });
    while (!*reached && clock.elapsed() < 60000) QTest::qWait(5);
    return *reached;
  }
  bool WaitForRunEnds(int count) {
    return Settle([this, count] { return RunEnds() >= count; });
  }
  /// The index of the first task end that matches, or -1.
  template <typename TMatch>
  int TaskEnd(TMatch match) const {
    const auto found = std::find_if(Terminates.begin(), Terminates.end(), [&](const app::TRunTerminate& t) {
      return t.TaskIndex >= 0 && match(t);
    });
    return found == Terminates.end() ? -1 : static_cast<int>(found - Terminates.begin());
  }
  /// Whether a run ended after the index-th event (the encoder delivers a run's end after its
  /// tasks' ends).
  bool RunEndedAfter(int index) const {
    return index >= 0 && std::any_of(Terminates.begin() + index, Terminates.end(),
                                     [](const app::TRunTerminate& t) { return t.TaskIndex < 0; });
  }

  int Progress = 0;
  int OffMainThread = 0;
  std::vector<app::TRunTerminate> Terminates;
};

TEST_F(RunAdapterTest, FailuresAreResultsWithTheirReason) {
  app::TFFRunEncoder encoder;
  ASSERT_TRUE(encoder.LoadAVLib(QString())) << encoder.LastErrMsg().toStdString();
  EXPECT_TRUE(encoder.AVLibLoaded());

  EXPECT_LT(encoder.AddTask(Q(Media->TextAvi)), 0);
  EXPECT_FALSE(encoder.LastErrMsg().isEmpty());

  const int task = encoder.AddTask(Q(Media->ClipAvi));
  ASSERT_GE(task, 0) << encoder.LastErrMsg().toStdString();
  EXPECT_LT(encoder.SetOutput(task, OutFolder + QStringLiteral("x.avi"), QStringLiteral("-nosuchoption 1")),
            0);
  EXPECT_FALSE(encoder.LastErrMsg().isEmpty());
  EXPECT_TRUE(encoder.RemoveTask(task)) << encoder.LastErrMsg().toStdString();
  EXPECT_TRUE(encoder.ClearTasks()) << encoder.LastErrMsg().toStdString();
  EXPECT_TRUE(encoder.Stop(true)) << "nothing runs: nothing to refuse";

  app::TFFRunDecoder decoder;
  EXPECT_EQ(decoder.Duration(), -1);
  ASSERT_TRUE(decoder.LoadFile(Q(Media->ClipAvi))) << decoder.LastErrMsg().toStdString();
  EXPECT_NEAR(double(decoder.Duration()), 2e6, 1e5);
  EXPECT_FALSE(decoder.LoadFile(Q(Media->EmptyAvi)));
  EXPECT_FALSE(decoder.LastErrMsg().isEmpty());
  EXPECT_EQ(decoder.Duration(), -1);
}

// Each file's error lines are its own, so its damage count holds only them: a line the file
// before logged, still on its way to this thread when the next file begins, is not counted for
// the next one (a good source would read as damaged).
TEST_F(RunAdapterTest, ALateLineOfTheFileBeforeIsNotCountedForTheNext) {
  app::TFFRunEncoder encoder;
  ASSERT_TRUE(encoder.LoadAVLib(QString()));
  Attach(encoder);
  ASSERT_TRUE(QDir().mkpath(OutFolder));
  // Queued, not yet delivered: deliveries reach this thread only when it next runs its events.
  media::FFLogger().Log(nullptr, media::TLogLevel::llError, "the file before failed");
  ASSERT_TRUE(encoder.ClearTasks());
  const int task = encoder.AddTask(Q(Media->ClipAvi));
  ASSERT_GE(task, 0) << encoder.LastErrMsg().toStdString();
  ASSERT_GE(encoder.SetOutput(task, OutFolder + QStringLiteral("late.avi"), KAviOptions), 0);
  encoder.Start(1);
  ASSERT_TRUE(WaitForRunEnds(1));
  EXPECT_TRUE(encoder.ErrorLines().isEmpty()) << encoder.ErrorLines().join(QLatin1Char('\n')).toStdString();

  // The file's own error lines are still its own.
  ASSERT_TRUE(encoder.ClearTasks());
  encoder.Start(1);
  media::FFLogger().Log(nullptr, media::TLogLevel::llError, "this file failed");
  ASSERT_TRUE(WaitForRunEnds(2));
  EXPECT_EQ(encoder.ErrorLines(), QStringList{QStringLiteral("this file failed")});
  encoder.ClearTasks();
}

// Every Start ends with exactly one end-of-run event on the user-interface thread: a run without
// tasks, a real run, a Start the encoder refuses (its reason comes as the task's exception), and a
// last run without tasks. Each run's ends are counted before ClearTasks begins the next file,
// which ends the file's log subscription and with it an end still queued there.
TEST_F(RunAdapterTest, EveryStartEndsOnceOnTheUserInterfaceThread) {
  app::TFFRunEncoder encoder;
  ASSERT_TRUE(encoder.LoadAVLib(QString()));
  Attach(encoder);
  ASSERT_TRUE(QDir().mkpath(OutFolder));

  encoder.Start(1);  // nothing to do
  ASSERT_TRUE(WaitForRunEnds(1));
  ASSERT_EQ(RunEnds(), 1) << "a run ended twice";
  encoder.ClearTasks();

  const int task = encoder.AddTask(Q(Media->ClipAvi));
  ASSERT_GE(task, 0) << encoder.LastErrMsg().toStdString();
  ASSERT_GE(encoder.SetOutput(task, OutFolder + QStringLiteral("run.avi"), KAviOptions), 0);
  encoder.Start(1);
  encoder.Start(1);  // refused while the first run goes on
  const auto refused = [](const app::TRunTerminate& t) {
    return t.Exception && t.ExceptionMsg.contains(QStringLiteral("while working"));
  };
  const auto conversion = [&](const app::TRunTerminate& t) { return !refused(t); };
  // Both runs over: the refused one's end, posted at once, and the conversion's, after its task's.
  ASSERT_TRUE(Settle([&] { return RunEnds() >= 3 && RunEndedAfter(TaskEnd(conversion)); }));
  ASSERT_EQ(RunEnds(), 3) << "a run ended twice";
  EXPECT_GE(TaskEnd(refused), 0);
  const app::TRunTerminate& converted = Terminates[TaskEnd(conversion)];
  EXPECT_TRUE(converted.Finished && !converted.Exception) << converted.ExceptionMsg.toStdString();

  encoder.ClearTasks();
  encoder.Start(1);
  ASSERT_TRUE(WaitForRunEnds(4));
  ASSERT_EQ(RunEnds(), 4) << "a run ended twice";
  EXPECT_EQ(OffMainThread, 0);
  EXPECT_GT(Progress, 0);
  encoder.ClearTasks();
}

}  // namespace
