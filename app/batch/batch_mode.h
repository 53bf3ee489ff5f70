#pragma once
// The command-line batch mode: "converter -v|-a OUTPUT_FOLDER (FILE... | LIST.fls) [x]" converts
// or extracts through the same windows as the interactive roads (adding window, main window,
// run window), with the saved settings.
//
// When nobody can see the windows (no display, or Qt's offscreen platform), the batch runs
// unattended: questions take the answer that loses nothing (the overwrite question is answered No,
// which the run window logs as "Skipped!"), messages go to standard error, and the program ends
// after the batch with or without "x" (only "x" writes log.txt). With a display, the windows show
// and ask as in an interactive run; "x" then saves the log and ends the program at the end of the
// list, and without "x" the run window stays open. In every batch the log is echoed to standard
// output, and the settings are read but never written, so batches running side by side cannot
// overwrite each other's settings.
//
// Exit status of a batch that ends the program: 0 when every named file was converted, 1 when
// any was missing, not a readable media file, skipped, refused or failed, or the user stopped,
// 2 when the run could not start (no FFmpeg libraries, unknown action), 128 + the signal when
// SIGTERM, SIGINT or SIGHUP ended the run (after the log of what was done, with "x").

#include <QString>
#include <memory>

#include "app/batch/batch_args.h"
#include "app/command_line.h"
#include "app/run_window/run_wiring.h"

namespace platform {
class IPrompter;
}

namespace app {

class Tfrm_Main;

/// A second parameter is present: the program was started for a batch.
bool IsBatchCommandLine(const TCommandLine& commandLine);

/// Call before QApplication. For a batch on a machine without a display (neither DISPLAY nor
/// WAYLAND_DISPLAY set) where no Qt platform was chosen (QT_QPA_PLATFORM unset), chooses Qt's
/// offscreen platform, so the same windows run unseen. Returns whether it did.
bool ChooseOffscreenPlatformForBatch(const TCommandLine& commandLine);

/// True when nobody can see the windows: Qt runs on its offscreen or minimal platform. Call after
/// QApplication.
bool WindowsUnseen();

/// "Usage: ..." for an unknown action, as printed to standard error.
QString BatchUsage();

/// Exit status of a finished batch: the run window's ExitCode, raised to 1 when a named file
/// never reached the list.
int BatchExitStatus(TRunResult result, int filesNotListed);

class TBatchMode {
 public:
  /// Call after QApplication. Reads commandLine from currentDir. unattended: nobody watches
  /// (WindowsUnseen()); a batch then installs the unattended prompter until destruction, and
  /// WireBatchMode gives the main window (and so every window it opens) no paint waits.
  TBatchMode(const TCommandLine& commandLine, const QString& currentDir, bool unattended);
  ~TBatchMode();
  TBatchMode(const TBatchMode&) = delete;
  TBatchMode& operator=(const TBatchMode&) = delete;

  bool Active() const { return FArgs.BatchMode; }
  bool Unattended() const { return FUnattended; }
  const TBatchArgs& Args() const { return FArgs; }
  /// How the run windows behave in this process (the interactive defaults outside a batch).
  const TRunSession& RunSession() const { return FRunSession; }

  /// The batch itself (tmr_Param's work, once the main window is on screen): queues the inputs,
  /// lets the adding window list them, runs the Convert or Extract road, and ends the program
  /// when the batch is over and it should end (see the header comment) with ExitStatus().
  void Start(Tfrm_Main& main);
  /// The status the batch ended the program with; -1 while the program goes on.
  int ExitStatus() const { return FExitStatus; }
  /// Named inputs that the adding window did not list (missing or unreadable), after Start.
  const QStringList& NotListed() const { return FNotListed; }

 private:
  /// Start's batch, on whichever road it ends; Start then leaves an interactive session behind
  /// when the program goes on.
  void RunBatch(Tfrm_Main& main);
  void QueueInputs(Tfrm_Main& main);
  /// Names every input that did not reach the list, with its reason, on standard error and in the
  /// run window's log.
  void ReportNotListed(Tfrm_Main& main);
  void End(int status);

  TBatchArgs FArgs;
  bool FUnattended = false;
  std::unique_ptr<platform::IPrompter> FPrompter;
  TRunSession FRunSession;
  bool FRunWindowClosed = false;
  TRunResult FRunResult = TRunResult::CouldNotStart;
  bool FUserStopped = false;
  int FEndSignal = 0;  // that ended the run window's run
  QStringList FNotListed;
  int FExitStatus = -1;
};

/// Wires the run windows (with mode's session) and tmr_Param's batch into main, and sets main's
/// WindowDelays() for mode (skipped when unattended). Call before main is shown. mode must
/// outlive main's hooks.
void WireBatchMode(Tfrm_Main& main, TBatchMode& mode);

}  // namespace app
