#pragma once
// Scripted stand-ins for the encoder and decoder of the run windows. They touch no media: the
// script says per source file (by file name) what each step answers and how the run ends, and the
// events arrive on the test's (user-interface) thread as the real adapters deliver them.

#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/run_window/run_seams.h"

namespace testing_support {

/// How the task's terminate event and the end-of-run event of one file arrive.
enum class TDelivery {
  InsideStart,  // before Start returns
  Queued,       // both from the event loop, right after Start
  Spread,       // the end-of-run event SpreadMs after the task's (longer than the window's 100 ms timer)
};

/// A progress report with the figures the window shows (durations in microseconds, size in bytes).
inline app::TRunProgress RunProgress(int64_t totalDuration, int64_t currentDuration, int64_t currentSize) {
  app::TRunProgress progress;
  progress.TotalDuration = totalDuration;
  progress.CurrentDuration = currentDuration;
  progress.CurrentSize = currentSize;
  return progress;
}

struct TFakeOutcome {
  bool Finished = true;
  bool Exception = false;
  QString ExceptionMsg;
};

class TScriptedEncoder : public app::IRunEncoder {
 public:
  // --- the script ---
  bool LibLoaded = false;
  bool LoadSucceeds = true;
  QSet<QString> FailAddTask;                 // file names whose AddTask fails with "cannot open"
  QSet<QString> FailSetOutput;               // file names whose SetOutput fails with "bad option"
  QSet<QString> RunUntilStopped;             // file names whose run ends only by Stop
  // Refusals: a non-empty reason makes the call answer false with it (LastErrMsg). A refused
  // Stop leaves the run to end by itself, right after the call.
  QString FailClearTasks;
  QString FailRemoveTask;
  QString FailStop;
  std::map<QString, TFakeOutcome> Outcomes;  // default: finished without error
  std::vector<app::TRunProgress> Progress;   // sent before the terminate events
  TDelivery Delivery = TDelivery::Queued;
  int SpreadMs = 250;
  QStringList ScriptedErrorLines;  // what ErrorLines answers once a run has started
  /// FitOptions: returns the text to convert with and sets the note; unset leaves options as they are.
  std::function<QString(const QString& options, QString* note)> Fit;
  /// Called at Start with the source, and after each progress event.
  std::function<void(const QString& source)> OnStarted;
  /// Called by SetOutput with the output's name, just before it opens the file by that name.
  std::function<void(const QString& output)> BeforeOpen;
  std::function<void()> AfterProgress;

  // --- what happened ---
  std::vector<std::string> Calls;
  std::vector<QString> Sources;  // of every successful AddTask
  std::vector<QString> Outputs;  // of every successful SetOutput
  std::vector<QString> Opened;   // where each of them was opened, the links on the way resolved
  std::vector<QString> Options;
  int Violations = 0;  // tasks changed or started while a run was going
  bool Working = false;

  bool AVLibLoaded() const override { return LibLoaded; }
  bool LoadAVLib(const QString& folder) override {
    Calls.push_back("LoadAVLib " + folder.toStdString());
    LibLoaded = LoadSucceeds;
    FLastErr = LoadSucceeds ? QString() : QStringLiteral("libavcodec.so.59: not found");
    return LoadSucceeds;
  }
  bool ClearTasks() override {
    Check("ClearTasks");
    if (Refuse(FailClearTasks)) return false;
    FSource.clear();
    FFile.reset();
    FStarted = false;
    FHasTask = false;
    return true;
  }
  int AddTask(const QString& source) override {
    Check("AddTask " + QFileInfo(source).fileName().toStdString());
    if (FailAddTask.contains(QFileInfo(source).fileName())) {
      FLastErr = QStringLiteral("cannot open");
      return -1;
    }
    FSource = source;
    FHasTask = true;
    Sources.push_back(source);
    return 0;
  }
  int SetOutput(int task, const QString& output, const QString& options) override {
    Check("SetOutput " + std::to_string(task));
    if (!FHasTask || task != 0) return -1;
    if (FailSetOutput.contains(QFileInfo(FSource).fileName())) {
      FLastErr = QStringLiteral("bad option");
      return -1;
    }
    Outputs.push_back(output);
    Options.push_back(options);
    // As the engine does, the output is opened by its name (through a link, and emptied) when
    // the task gets it, and written through that handle as the run goes.
    if (BeforeOpen) BeforeOpen(output);
    FFile = std::make_unique<QFile>(output);
    if (!FFile->open(QIODevice::WriteOnly | QIODevice::Truncate)) FFile.reset();
    Opened.push_back(QFileInfo(output).canonicalFilePath());
    return 0;
  }
  bool RemoveTask(int task) override {
    Check("RemoveTask " + std::to_string(task));
    if (Refuse(FailRemoveTask)) return false;
    FHasTask = false;
    FFile.reset();
    FLastErr.clear();  // as the real encoder may: the caller must read the reason first
    return true;
  }
  void Start(int threadCount) override {
    Check("Start " + std::to_string(threadCount));
    if (!FHasTask) return;
    Working = true;
    FStarted = true;
    WriteOutput("partial ");
    const QString name = QFileInfo(FSource).fileName();
    if (OnStarted) OnStarted(FSource);
    if (RunUntilStopped.contains(name)) return;
    const TFakeOutcome outcome = Outcomes.count(name) != 0 ? Outcomes[name] : TFakeOutcome{};
    switch (Delivery) {
      case TDelivery::InsideStart:
        SendProgress();
        SendTaskEnd(outcome);
        SendRunEnd();
        break;
      case TDelivery::Queued:
        QTimer::singleShot(0, &FContext, [this, outcome] {
          SendProgress();
          SendTaskEnd(outcome);
          SendRunEnd();
        });
        break;
      case TDelivery::Spread:
        QTimer::singleShot(0, &FContext, [this, outcome] {
          SendProgress();
          SendTaskEnd(outcome);
        });
        QTimer::singleShot(SpreadMs, &FContext, [this] { SendRunEnd(); });
        break;
    }
  }
  bool Stop(bool wait) override {
    Calls.push_back(std::string("Stop ") + (wait ? "wait" : "nowait"));
    if (Refuse(FailStop)) {
      if (Working)
        QTimer::singleShot(0, &FContext, [this] {
          SendTaskEnd(TFakeOutcome{false, false, QString()});
          SendRunEnd();
        });
      return false;
    }
    if (!Working) return true;
    // Waiting for the thread lets its last events through before Stop returns.
    SendTaskEnd(TFakeOutcome{false, false, QString()});
    SendRunEnd();
    return true;
  }
  QString LastErrMsg() const override { return FLastErr; }
  QStringList ErrorLines() const override { return FStarted ? ScriptedErrorLines : QStringList(); }
  QString FitOptions(const QString& options, const QString& output, const app::TSourceShape& shape,
                     QString* note) override {
    if (!Fit) return app::IRunEncoder::FitOptions(options, output, shape, note);
    return Fit(options, note);
  }

 private:
  bool Refuse(const QString& reason) {
    if (reason.isEmpty()) return false;
    FLastErr = reason;
    return true;
  }
  void Check(const std::string& call) {
    Calls.push_back(call);
    if (Working) ++Violations;
  }
  void SendProgress() {
    for (const auto& info : Progress) {
      if (OnProgress) OnProgress(info);
      if (AfterProgress) AfterProgress();
    }
  }
  void SendTaskEnd(const TFakeOutcome& outcome) {
    if (outcome.Finished && !outcome.Exception) WriteOutput("converted " + FSource.toUtf8());
    if (OnTerminate)
      OnTerminate(app::TRunTerminate{0, outcome.Finished, outcome.Exception, outcome.ExceptionMsg});
  }
  void SendRunEnd() {
    Working = false;
    FFile.reset();  // closed when the run ends
    if (OnTerminate) OnTerminate(app::TRunTerminate{-1, true, false, QString()});
  }

  void WriteOutput(const QByteArray& bytes) {
    if (FFile && FFile->write(bytes) == bytes.size()) FFile->flush();
  }

  QObject FContext;  // pending deliveries die with the encoder
  std::unique_ptr<QFile> FFile;  // the output, open from SetOutput to the end of the run
  QString FSource;
  bool FStarted = false;
  bool FHasTask = false;
  QString FLastErr;
};

class TFakeDecoder : public app::IRunDecoder {
 public:
  QSet<QString> FailLoad;  // file names that do not open
  int64_t FileDuration = 10'000'000;
  std::vector<QString> Loaded;

  bool LoadFile(const QString& path) override {
    if (FailLoad.contains(QFileInfo(path).fileName())) {
      FLastErr = QStringLiteral("Invalid data found when processing input");
      FOpen = false;
      return false;
    }
    Loaded.push_back(path);
    FOpen = true;
    return true;
  }
  QString LastErrMsg() const override { return FLastErr; }
  int64_t Duration() const override { return FOpen ? FileDuration : -1; }

 private:
  QString FLastErr;
  bool FOpen = false;
};

}  // namespace testing_support
