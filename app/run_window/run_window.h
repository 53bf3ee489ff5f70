#pragma once
// The conversion window Tfrm_Video and the audio extraction window Tfrm_Audio: they work through
// the main window's list one file at a time (output name, overwrite question, decoder, one encoder
// task), follow its progress and write every step into a coloured log.

#include <QDialog>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "app/run_window/output_file.h"
#include "app/run_window/run_seams.h"
#include "app/window_delays.h"

class QLabel;
class QLockFile;
class QProgressBar;
class QPushButton;
class QTextEdit;
class QTimer;

namespace components {
class TTaskbarMgr;
}

namespace platform {
class TEndSignals;
}

namespace media {
class TWaveInputAdapter;
}

namespace app {

class TWaveFeed;

/// One row of the main window's list as the run windows read it.
struct TRunRow {
  QString Caption;  // the file name shown in the list; the output is named after it
  QString Path;     // full path of the source
};

/// Everything the run windows take from the main window and the command line.
struct TRunInput {
  std::vector<TRunRow> Rows;
  QString OptionString;                        // FFmpeg command-line syntax, from the option builders
  QString Extension;                           // of the outputs, with its dot: ".avi", ".mp3"
  QString OutputFolder;                        // empty: the folder of the first source processed
  components::TTaskbarMgr* Taskbar = nullptr;  // the main window's prg_Win7; borrowed, may be null
  QString ProgramFolder;       // where the libraries are looked for and log.txt goes; empty: the executable's
  QString SettingsFolder;      // log.txt when ProgramFolder cannot be written (the folder of
                               // SettingsFilePath()); empty: no second place
  bool EchoLog = false;        // batch mode: every log line also goes to standard output
  bool SaveLog = false;        // batch mode with "x": log.txt at the end of the list
  bool CloseWhenDone = false;  // nobody is there to press Close: close at the end of the list, or
                               // when the libraries cannot be loaded
  QStringList NotAddedLines;   // logged in red before the first file: inputs that never reached the list
  TWindowDelays Delays;        // before the first file and between files (tmr_Start, tmr_Process)
};

/// How a run ended, for the batch mode's exit status (ExitCode).
enum class TRunResult {
  AllConverted,     // every file of the list was converted (also an empty list)
  NotAllConverted,  // a file was missing, skipped, refused or failed, or the user stopped
  CouldNotStart,    // the libraries could not be loaded; no file was tried
};
/// 0, 1 and 2 for the three results.
int ExitCode(TRunResult result);

/// The twin windows' shared body; Tfrm_Video and Tfrm_Audio below set the differences. Shown
/// modally once; the caller frees it after it closes. The encoder's events arrive on this
/// (the user-interface) thread.
class TRunWindow : public QDialog {
  Q_OBJECT

 public:
  ~TRunWindow() override;

  /// Where the outputs go; set from the input, or from the first source when that was empty.
  const QString& OutputFolder() const { return FOutputFolder; }
  /// The run is over: the list is done, the user stopped, or the libraries could not be loaded.
  bool Finished() const { return FFinished; }
  /// Final once Finished().
  TRunResult Result() const;
  /// The user pressed Stop; the log was not saved and the window did not close itself.
  bool UserStopped() const { return FUserStopped; }
  /// Where log.txt was written; empty when it was not.
  const QString& LogFile() const { return FLogFile; }
  /// The signal (SIGTERM, SIGINT, SIGHUP) that ended the run, 0 when none did. While the window
  /// is shown, these signals end the run as Stop does (the partial file is removed), then save
  /// the log when the run would have saved one at its end, and close the window; the program
  /// should then end with 128 + the signal.
  int EndSignal() const { return FEndSignal; }

  /// Closing is refused while a run is going on (Close disabled); closing resets the taskbar.
  void done(int result) override;

  /// The audio window's wave input adapter: an input opened as "waveinput" with its InputName()
  /// as file name reads the PCM of the source the window's decoder has loaded, from its start to
  /// its end. Null in the conversion window and when the decoder is not the media library's.
  media::TWaveInputAdapter* WIA() const { return FWIA.get(); }

 protected:
  enum class TMode { Video, Audio };
  TRunWindow(TMode mode, TRunInput input, std::unique_ptr<IRunEncoder> encoder,
             std::unique_ptr<IRunDecoder> decoder, QWidget* parent);

  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void tmr_StartTimer();
  void tmr_ElapsedTimer();
  void tmr_ProcessTimer();
  void btn_StopClick();
  /// A signal asks the program to end: the run stops (the next step sees FUserStopped).
  void EndBySignal(int signal);
  /// The run has reached its end or stopped state after a signal: log, close.
  void CloseForSignal();
  void FFEncoderProgress(const TRunProgress& info);
  void FFEncoderTerminate(const TRunTerminate& info);
  /// The wave input's failure (on the conversion's thread): logged in red on this thread.
  void WIAError(const std::string& message);

  void ProcessFile(int index);
  void Convert(const QString& source, const QString& output);
  /// A step of Convert failed: red line with the reason, error beep, on to the next file.
  void FailStep(const QString& text);
  /// On to the next file (or the end of the list) through tmr_Process; the file did not convert.
  void PassOver();
  void EndOfList();
  /// The conversion succeeded: its temporary output becomes the output, or, when a file took the
  /// output's name meanwhile, the first free numbered name (logged). False with *error when it
  /// could not be moved.
  bool KeepTemporaryOutput(QString* error);
  /// Removes the temporary output of the current file, if any.
  void DiscardTemporaryOutput();
  /// An engine message with the temporary file's name replaced by the output's, which is the
  /// name the user knows.
  QString InOutputTerms(const QString& text) const;
  /// FFmpeg's error lines of the file (the encoder's ErrorLines) in the output's terms, in red,
  /// except those that alreadyLogged (a message logged just before) contains.
  void LogErrorLines(const QString& alreadyLogged);
  /// The run is over (end of list, stopped by the user): Close enabled, Stop disabled.
  void Finish();
  /// Chooses the folder of the log (FLogFolder) and takes its log.txt's lock when it is free (kept
  /// until the log is saved).
  void TakeLogFile();
  void SaveLogFile();
  QString ProgramFolder() const;

  void Log(const QString& text, const QColor& color, bool bold = false);
  /// Lets the window repaint between long synchronous steps. User input waits (so Stop is not
  /// pressed in the middle of a step); timers and the encoder's events are delivered.
  void ProcessMessages();
  void SetTaskbarValue(int value);
  void SetTaskbarMax(int value);
  int TaskbarMax() const;

  const TMode FMode;
  TRunInput FInput;
  // Declared before the encoder: the inputs a task opened from the adapter are closed with the
  // encoder, before the adapter goes.
  std::unique_ptr<media::TWaveInputAdapter> FWIA;
  std::unique_ptr<TWaveFeed> FWaveFeed;  // WIAReadWaveData, over the decoder's FFDecoder()
  std::unique_ptr<IRunEncoder> FEncoder;
  std::unique_ptr<IRunDecoder> FDecoder;

  QTextEdit* log_Main;
  QLabel* lbl_File;
  QLabel* lbl_ElapsedValue;
  QLabel* lbl_RemainingValue;
  QLabel* lbl_FPS;
  QLabel* lbl_Percent;
  QProgressBar* prg_Process;
  QPushButton* btn_Stop;
  QPushButton* btn_Close;
  QTimer* tmr_Start;
  QTimer* tmr_Elapsed;
  QTimer* tmr_Process;

  // Where the current file's encoder run is. Only a run in progress takes encoder events, and only
  // its end-of-run event moves on, so the two terminate events of a file move on exactly once.
  enum class TFileState { Idle, Running, Ended };

  QString FOutputFolder;
  int FCount = 0;         // N, the rows when the window was shown
  int FCurrentIndex = 0;  // the file being processed
  bool FUserStopped = false;
  bool FShown = false;
  bool FCouldNotStart = false;
  bool FFinished = false;  // the run is over; Result() is final
  int FConverted = 0;
  int64_t FTotalSeconds = 0;
  int FFileSeconds = 0;
  int64_t FTotalDuration = 0;    // of the current file, microseconds
  int64_t FCurrentDuration = 0;  // converted so far, microseconds
  int64_t FSourceDuration = -1;  // from the decoder (the audio window's total)
  TFileState FFileState = TFileState::Idle;
  bool FTaskReported = false;  // the task's own terminate event arrived
  bool FTaskSucceeded = false;
  QString FTaskMessage;  // the task's exception text
  QString FOutput;       // of the current file
  TTemporaryOutput FTemporary;  // what the encoder writes until the move; no Path() when there is none
  // The name the encoder was given for the current file (FTemporary's WritePath), kept after the
  // file is removed: the engine's messages read at the end still name it.
  QString FWritePath;
  // The existing output the user agreed to overwrite (lstat's device and inode): only that file
  // is replaced by the rename.
  bool FReplaceAgreed = false;
  dev_t FReplaceDevice = 0;
  ino_t FReplaceInode = 0;
  QSet<QString> FWritten;  // outputs this run wrote: never overwritten by a later file
  QString FLogFile;
  bool FLogSaved = false;
  int FEndSignal = 0;
  std::unique_ptr<platform::TEndSignals> FEndSignals;  // while the window is shown
  QString FLogFolder;  // where the log goes; empty when no folder could be written at the start
  std::unique_ptr<QLockFile> FLogLock;  // FLogFolder's log.txt.lock while this run owns it
  bool FLogStarted = false;  // the log has a first line; later lines open a new paragraph
};

/// The conversion window: outputs named after the container, "Saving video...".
class Tfrm_Video final : public TRunWindow {
  Q_OBJECT
 public:
  Tfrm_Video(TRunInput input, std::unique_ptr<IRunEncoder> encoder, std::unique_ptr<IRunDecoder> decoder,
             QWidget* parent = nullptr)
      : TRunWindow(TMode::Video, std::move(input), std::move(encoder), std::move(decoder), parent) {}
};

/// The audio extraction window: outputs named after the audio format; the percent and remaining
/// time follow the source's duration from the decoder.
class Tfrm_Audio final : public TRunWindow {
  Q_OBJECT
 public:
  Tfrm_Audio(TRunInput input, std::unique_ptr<IRunEncoder> encoder, std::unique_ptr<IRunDecoder> decoder,
             QWidget* parent = nullptr)
      : TRunWindow(TMode::Audio, std::move(input), std::move(encoder), std::move(decoder), parent) {}
};

}  // namespace app
