#include "app/batch/batch_mode.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <cstdio>

#include "app/main_window/main_window.h"
#include "app/settings/file_list.h"
#include "platform/file_names.h"
#include "platform/prompter.h"

namespace app {

namespace {

void PrintError(const QString& text) {
  std::fprintf(stderr, "%s\n", qUtf8Printable(text));
  std::fflush(stderr);
}

QtMessageHandler GPreviousMessageHandler = nullptr;

// The offscreen platform warns about every window it cannot size as asked; with nobody to see the
// windows that says nothing, and it would bury the batch's own messages on standard error.
void QuietOffscreenMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("propagateSizeHints"))) return;
  if (GPreviousMessageHandler != nullptr)
    GPreviousMessageHandler(type, context, message);
  else
    std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

}  // namespace

bool WindowsUnseen() {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

bool IsBatchCommandLine(const TCommandLine& commandLine) { return !commandLine.ParamStr(2).isEmpty(); }

bool ChooseOffscreenPlatformForBatch(const TCommandLine& commandLine) {
  if (!IsBatchCommandLine(commandLine)) return false;
  if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    return false;
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return false;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return true;
}

QString BatchUsage() {
  return QStringLiteral(
      "Usage: converter -v|-a OUTPUT_FOLDER (FILE... | LIST.fls) [x]\n"
      "  -v  convert the files with the saved video settings\n"
      "  -a  extract their audio with the saved audio settings\n"
      "  x   save the log as log.txt beside the program and end it when the list is done");
}

int BatchExitStatus(TRunResult result, int filesNotListed) {
  const int status = ExitCode(result);
  return status == 0 && filesNotListed > 0 ? 1 : status;
}

TBatchMode::TBatchMode(const TCommandLine& commandLine, const QString& currentDir, bool unattended)
    : FArgs(ParseBatchArgs(commandLine, currentDir)) {
  if (!FArgs.BatchMode) return;
  FUnattended = unattended;
  if (FUnattended) {
    FPrompter = std::make_unique<platform::TUnattendedPrompter>();
    platform::SetPrompter(FPrompter.get());
    GPreviousMessageHandler = qInstallMessageHandler(QuietOffscreenMessages);
  }
  FRunSession.EchoLog = true;
  FRunSession.SaveLog = FArgs.SaveLogAndQuit;
  FRunSession.CloseWhenDone = FArgs.SaveLogAndQuit || FUnattended;
  FRunSession.OnClosed = [this](const TRunWindow& window) {
    FRunWindowClosed = true;
    FRunResult = window.Result();
    FUserStopped = window.UserStopped();
    FEndSignal = window.EndSignal();
  };
}

TBatchMode::~TBatchMode() {
  if (!FPrompter) return;
  platform::SetPrompter(nullptr);
  qInstallMessageHandler(GPreviousMessageHandler);
  GPreviousMessageHandler = nullptr;
}

void TBatchMode::Start(Tfrm_Main& main) {
  if (!Active()) return;
  RunBatch(main);
  if (FExitStatus < 0) {
    // The program goes on as an interactive one: later runs neither echo, save, end it nor name
    // what this batch left out.
    FRunSession.EchoLog = false;
    FRunSession.SaveLog = false;
    FRunSession.CloseWhenDone = false;
    FRunSession.NotAddedLines.clear();
  }
}

void TBatchMode::RunBatch(Tfrm_Main& main) {
  QueueInputs(main);
  main.AddQueuedFiles();
  main.DropQueue().clear();
  ReportNotListed(main);

  switch (FArgs.Road) {
    case TBatchRoad::Convert:
      main.btn_ConvertClick();
      break;
    case TBatchRoad::Extract:
      main.btn_ExtractClick();
      break;
    case TBatchRoad::None:
      PrintError(BatchUsage());
      if (FUnattended) End(ExitCode(TRunResult::CouldNotStart));
      return;
  }

  if (FEndSignal != 0) {
    End(128 + FEndSignal);  // as the signal itself would have ended it
  } else if (!FRunWindowClosed) {
    // The road refused to open its window; its message has gone to the prompter.
    if (FUnattended) End(ExitCode(TRunResult::CouldNotStart));
  } else if (FUnattended || (FArgs.SaveLogAndQuit && !FUserStopped)) {
    End(BatchExitStatus(FRunResult, static_cast<int>(FNotListed.size())));
  }
}

void TBatchMode::QueueInputs(Tfrm_Main& main) {
  QStringList& queue = main.DropQueue();
  queue.clear();
  if (FArgs.ListFile.isEmpty()) {
    queue = FArgs.Inputs;
    return;
  }
  if (!platform::IsRegularFileName(FArgs.ListFile)) {
    PrintError(QStringLiteral("File list not found: ") + platform::DisplayFileName(FArgs.ListFile));
    FNotListed.append(FArgs.ListFile);
    return;
  }
  // Lists hold full paths; a relative line is taken from the list's own folder, wherever the
  // batch was started from.
  const QDir listFolder = QFileInfo(FArgs.ListFile).absoluteDir();
  for (const QString& line : LoadFileList(FArgs.ListFile))
    if (!line.trimmed().isEmpty()) queue.append(QDir::cleanPath(listFolder.absoluteFilePath(line)));
}

void TBatchMode::ReportNotListed(Tfrm_Main& main) {
  // Parameters the batch left out itself (the Part skips folders among the parameters), then
  // what the adding window refused, each with its reason. A path named more than once is named
  // here once, with its count.
  QVector<Tfrm_Main::TNotAdded> notAdded;
  QHash<QString, qsizetype> index;
  const auto add = [&notAdded, &index](const Tfrm_Main::TNotAdded& entry) {
    if (const auto known = index.constFind(entry.Path); known != index.cend()) {
      notAdded[*known].Count += entry.Count;
      return;
    }
    index.insert(entry.Path, notAdded.size());
    notAdded.append(entry);
  };
  for (const QString& path : FArgs.Missing)
    add({path, platform::IsFolderName(path) ? QStringLiteral("is a folder") : platform::FileNameProblem(path)});
  for (const Tfrm_Main::TNotAdded& entry : main.NotAdded()) add(entry);
  FRunSession.NotAddedLines.clear();
  for (const Tfrm_Main::TNotAdded& entry : notAdded) {
    const QString times =
        entry.Count > 1 ? QStringLiteral(", named %1 times").arg(entry.Count) : QString();
    const QString line = QStringLiteral("Not added: ") + platform::DisplayFileName(entry.Path) +
                         QStringLiteral(" (") + entry.Reason + times + QStringLiteral(")");
    PrintError(line);
    FRunSession.NotAddedLines.append(line);
    FNotListed.append(entry.Path);
  }
}

void TBatchMode::End(int status) {
  FExitStatus = status;
  std::fflush(stdout);
  // Leaves every event loop of the thread, the main one included; main() returns the status.
  QCoreApplication::exit(status);
}

void WireBatchMode(Tfrm_Main& main, TBatchMode& mode) {
  // Nobody sees an unattended batch's windows: nothing to wait for before their work.
  main.SetWindowDelays(TWindowDelays{mode.Unattended()});
  WireRunWindows(main, mode.RunSession());
  main.StartBatch = [&main, &mode] { mode.Start(main); };
}

}  // namespace app
