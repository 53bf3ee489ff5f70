#include "app/run_window/run_window.h"

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLockFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

#include "app/run_window/run_format.h"
#include "app/run_window/wave_feed.h"
#include "components/taskbar_mgr.h"
#include "media/ff_decoder.h"
#include "media/wave_input.h"
#include "platform/end_signals.h"
#include "platform/file_names.h"
#include "platform/folder_access.h"
#include "platform/prompter.h"

namespace app {

namespace {

const QColor KBlack(0, 0, 0);
const QColor KGreen(0, 128, 0);
const QColor KRed(255, 0, 0);
const QColor KGrey(128, 128, 128);
const QColor KBlue(0, 0, 255);
const QColor KOrange(204, 102, 0);  // warnings: a setting changed for a file, a damaged source

// Timer periods of the window: the two one-shot timers only let the window paint (and the
// encoder's last events arrive) before the next step; the clock ticks every second.
constexpr int KStartDelayMs = 100;
constexpr int KProcessDelayMs = 100;
constexpr int KElapsedMs = 1000;

QTimer* MakeTimer(QObject* parent, const char* name, int intervalMs, bool singleShot) {
  auto* timer = new QTimer(parent);
  timer->setObjectName(QLatin1String(name));
  timer->setInterval(intervalMs);
  timer->setSingleShot(singleShot);
  return timer;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setAlignment(alignment);
  return label;
}

// True when both names reach the same file: the same canonical path, or the same device and inode
// (hard links, bind mounts, a case-insensitive mount).
bool SameFile(const QString& a, const QString& b) {
  const QString canonicalA = QFileInfo(a).canonicalFilePath();
  if (!canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath()) return true;
  struct stat statA {};
  struct stat statB {};
  if (::stat(platform::FileNameToBytes(a).constData(), &statA) != 0) return false;
  if (::stat(platform::FileNameToBytes(b).constData(), &statB) != 0) return false;
  return statA.st_dev == statB.st_dev && statA.st_ino == statB.st_ino;
}

// Writes text as UTF-8 to folder/name in one piece. False leaves no partial file behind.
bool WriteLogFile(const QString& folder, const QString& name, const QString& text, QString* path) {
  if (folder.isEmpty() || !QDir().mkpath(folder)) return false;
  *path = QDir(folder).filePath(name);
  QSaveFile file(*path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const QByteArray bytes = text.toUtf8();
  if (file.write(bytes) != bytes.size()) return false;
  return file.commit();
}

}  // namespace

int ExitCode(TRunResult result) {
  switch (result) {
    case TRunResult::AllConverted:
      return 0;
    case TRunResult::NotAllConverted:
      return 1;
    case TRunResult::CouldNotStart:
      return 2;
  }
  return 1;
}

TRunWindow::TRunWindow(TMode mode, TRunInput input, std::unique_ptr<IRunEncoder> encoder,
                       std::unique_ptr<IRunDecoder> decoder, QWidget* parent)
    : QDialog(parent),
      FMode(mode),
      FInput(std::move(input)),
      FEncoder(std::move(encoder)),
      FDecoder(std::move(decoder)),
      FOutputFolder(FInput.OutputFolder) {
  setWindowTitle(QStringLiteral("Saving..."));
  setModal(true);
  resize(560, 420);

  log_Main = new QTextEdit(this);
  log_Main->setObjectName(QStringLiteral("log_Main"));
  log_Main->setReadOnly(true);
  log_Main->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_Main->setLineWrapMode(QTextEdit::WidgetWidth);

  lbl_File = MakeLabel(
      this, "lbl_File",
      FMode == TMode::Video ? QStringLiteral("Saving video...") : QStringLiteral("Saving audio..."));
  auto* lbl_Elapsed = MakeLabel(this, "lbl_Elapsed", QStringLiteral("Time elapsed:"));
  lbl_ElapsedValue = MakeLabel(this, "lbl_ElapsedValue", QStringLiteral("00:00:00"));
  auto* lbl_Remaining = MakeLabel(this, "lbl_Remaining", QStringLiteral("Time remaining:"));
  lbl_RemainingValue = MakeLabel(this, "lbl_RemainingValue", QStringLiteral("00:00:00"));
  lbl_FPS = MakeLabel(this, "lbl_FPS", QString(), Qt::AlignRight | Qt::AlignVCenter);
  lbl_Percent = MakeLabel(this, "lbl_Percent", QStringLiteral("0%"), Qt::AlignRight | Qt::AlignVCenter);

  prg_Process = new QProgressBar(this);
  prg_Process->setObjectName(QStringLiteral("prg_Process"));
  prg_Process->setRange(0, 100);
  prg_Process->setValue(0);
  prg_Process->setTextVisible(false);

  btn_Stop = new QPushButton(QStringLiteral("Stop"), this);
  btn_Stop->setObjectName(QStringLiteral("btn_Stop"));
  btn_Stop->setEnabled(false);
  btn_Stop->setAutoDefault(false);
  btn_Close = new QPushButton(QStringLiteral("Close"), this);
  btn_Close->setObjectName(QStringLiteral("btn_Close"));
  btn_Close->setAutoDefault(false);

  auto* times = new QGridLayout;
  times->addWidget(lbl_Elapsed, 0, 0);
  times->addWidget(lbl_ElapsedValue, 0, 1);
  times->addWidget(lbl_FPS, 0, 2);
  times->addWidget(lbl_Remaining, 1, 0);
  times->addWidget(lbl_RemainingValue, 1, 1);
  times->addWidget(lbl_Percent, 1, 2);
  times->setColumnStretch(2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btn_Stop);
  buttons->addWidget(btn_Close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(log_Main, 1);
  layout->addWidget(lbl_File);
  layout->addLayout(times);
  layout->addWidget(prg_Process);
  layout->addLayout(buttons);

  tmr_Start = MakeTimer(this, "tmr_Start", FInput.Delays.Ms(KStartDelayMs), true);
  tmr_Elapsed = MakeTimer(this, "tmr_Elapsed", KElapsedMs, false);
  tmr_Process = MakeTimer(this, "tmr_Process", FInput.Delays.Ms(KProcessDelayMs), true);
  connect(tmr_Start, &QTimer::timeout, this, &TRunWindow::tmr_StartTimer);
  connect(tmr_Elapsed, &QTimer::timeout, this, &TRunWindow::tmr_ElapsedTimer);
  connect(tmr_Process, &QTimer::timeout, this, &TRunWindow::tmr_ProcessTimer);
  connect(btn_Stop, &QPushButton::clicked, this, &TRunWindow::btn_StopClick);
  connect(btn_Close, &QPushButton::clicked, this, &QDialog::accept);

  FEncoder->OnProgress = [this](const TRunProgress& info) { FFEncoderProgress(info); };
  FEncoder->OnTerminate = [this](const TRunTerminate& info) { FFEncoderTerminate(info); };

  if (FMode == TMode::Audio && FDecoder->FFDecoder() != nullptr) {
    FWIA = std::make_unique<media::TWaveInputAdapter>();
    FWaveFeed = std::make_unique<TWaveFeed>(*FDecoder->FFDecoder());
    FWaveFeed->OnError = [this](const std::string& message) { WIAError(message); };
    FWaveFeed->Attach(*FWIA);
    FDecoder->SetKeepFileOpen(true);
  }
}

TRunWindow::~TRunWindow() {
  // The events of a run still going must not reach a half-destroyed window.
  FEncoder->OnProgress = nullptr;
  FEncoder->OnTerminate = nullptr;
  if (FFileState == TFileState::Running) FEncoder->Stop(true);
  DiscardTemporaryOutput();
}

TRunResult TRunWindow::Result() const {
  if (FCouldNotStart) return TRunResult::CouldNotStart;
  if (FFinished && !FUserStopped && FConverted == FCount) return TRunResult::AllConverted;
  return TRunResult::NotAllConverted;
}

void TRunWindow::done(int result) {
  if (!btn_Close->isEnabled()) return;
  if (FInput.Taskbar != nullptr) {
    FInput.Taskbar->SetProgressValue(0);
    FInput.Taskbar->SetProgressState(components::TTaskProgressState::fstpsNoProgress);
    FInput.Taskbar->SetActive(false);
  }
  QDialog::done(result);
}

void TRunWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!FShown && !event->spontaneous()) {
    FShown = true;
    FormShow();
  }
}

void TRunWindow::FormShow() {
  FCount = static_cast<int>(FInput.Rows.size());
  setWindowTitle(QStringLiteral("Saving... [1/%1]").arg(FCount));
  lbl_RemainingValue->setText(QStringLiteral("calculation..."));
  ProcessMessages();
  FTotalSeconds = 0;
  FFileSeconds = 0;
  FUserStopped = false;
  // A failure shows later, when the encoder cannot create the first output.
  if (!FOutputFolder.isEmpty() && !platform::FileNameExists(FOutputFolder)) {
    std::error_code ignored;
    std::filesystem::create_directories(platform::FileNameBytes(FOutputFolder), ignored);
  }
  // log.txt belongs to this run from now on, unless another batch holds it (see TakeLogFile).
  if (FInput.SaveLog) TakeLogFile();
  FEndSignals = std::make_unique<platform::TEndSignals>();
  FEndSignals->OnSignal = [this](int signal) { EndBySignal(signal); };
  tmr_Elapsed->start();
  tmr_Start->start();
}

void TRunWindow::tmr_StartTimer() {
  tmr_Start->stop();
  if (FInput.Taskbar != nullptr) {
    FInput.Taskbar->SetActive(true);
    FInput.Taskbar->SetProgressState(components::TTaskProgressState::fstpsNormal);
  }
  for (const QString& line : FInput.NotAddedLines) Log(line, KRed);
  Log(QStringLiteral("Loading AV components..."), KBlack);
  ProcessMessages();
  if (!FEncoder->AVLibLoaded()) {
    const QString folder =
        FInput.ProgramFolder.isEmpty() ? QCoreApplication::applicationDirPath() : FInput.ProgramFolder;
    if (!FEncoder->LoadAVLib(folder)) {
      Log(QStringLiteral("AV components could not be found!"), KRed);
      platform::Prompter().Beep(true);
      FCouldNotStart = true;
      Finish();
      if (FInput.CloseWhenDone) done(QDialog::Rejected);
      if (FEndSignal != 0) CloseForSignal();
      return;
    }
    Log(QStringLiteral("Success!"), KGreen);
  }
  if (FWIA) {
    // Also when another window loaded the libraries: the format needs them, and registering it
    // again does nothing.
    try {
      media::RegisterWaveInputFormat();
    } catch (const std::exception&) {
      // Without it a "waveinput" input fails to open, with the library's reason in the log.
    }
  }
  btn_Close->setEnabled(false);
  ProcessFile(FCurrentIndex);
}

void TRunWindow::ProcessFile(int index) {
  if (FUserStopped) {  // a signal came while the window painted
    tmr_Process->start();
    return;
  }
  if (index >= FCount) {
    EndOfList();
    return;
  }
  FFileSeconds = 0;
  lbl_RemainingValue->setText(QStringLiteral("calculation..."));
  setWindowTitle(QStringLiteral("Saving... [%1/%2]").arg(FCurrentIndex + 1).arg(FCount));

  const TRunRow& row = FInput.Rows[index];
  if (!platform::IsRegularFileName(row.Path)) {
    PassOver();  // silently: the file went away after it was listed
    return;
  }
  Log(QString(), KBlack);
  lbl_File->setText(row.Caption);
  Log(QStringLiteral("File #%1").arg(index + 1), KBlack, true);
  Log(platform::DisplayFileName(row.Path), KBlack);

  if (FOutputFolder.isEmpty())
    FOutputFolder = platform::WithTrailingSlash(QFileInfo(row.Path).absolutePath());
  QString output = platform::WithTrailingSlash(FOutputFolder) + ChangeFileExt(row.Caption, FInput.Extension);
  FReplaceAgreed = false;
  if (FWritten.contains(output)) {
    // Another source of this run has the same name stem: its output is kept.
    const QString numbered =
        FirstNumberedFileName(output, [this](const QString& name) { return !FWritten.contains(name); });
    Log(QStringLiteral("\"%1\" was written by this run: this file is saved as \"%2\".")
            .arg(platform::DisplayFileName(QFileInfo(output).fileName()),
                 platform::DisplayFileName(QFileInfo(numbered).fileName())),
        KOrange);
    output = numbered;
  }

  if (platform::FileNameExists(output)) {
    // Opening the output truncates it, so converting a file onto itself would destroy the source
    // before a single frame is read.
    if (SameFile(output, row.Path)) {
      Log(QStringLiteral("Skipped! The output would overwrite the source file."), KRed);
      PassOver();
      return;
    }
    tmr_Elapsed->stop();
    const bool overwrite = platform::Prompter().Question(
        this, platform::TPromptIcon::Warning, QStringLiteral("Warning"),
        QStringLiteral("File \"") + platform::DisplayFileName(output) + QStringLiteral("\" already exists!") +
            QStringLiteral("\r\r") +
            QStringLiteral("Overwrite existing file?"));
    tmr_Elapsed->start();
    if (FUserStopped) {  // a signal came while the question was open
      PassOver();
      return;
    }
    if (!overwrite) {
      Log(QStringLiteral("Skipped!"), KRed);
      PassOver();
      return;
    }
    struct stat agreed {};
    FReplaceAgreed = ::lstat(platform::FileNameToBytes(output).constData(), &agreed) == 0;
    FReplaceDevice = agreed.st_dev;
    FReplaceInode = agreed.st_ino;
  }
  Convert(row.Path, output);
}

void TRunWindow::Convert(const QString& source, const QString& output) {
  prg_Process->setRange(0, 100);
  prg_Process->setValue(0);
  FTotalDuration = 0;
  FCurrentDuration = 0;
  // A new file: nothing of the previous source's audio is left to hand out, and no time limit.
  if (FWaveFeed) FWaveFeed->Reset();

  if (!FDecoder->LoadFile(source)) {
    FailStep(QStringLiteral("Loading file... Error! ") + FDecoder->LastErrMsg());
    return;
  }
  FSourceDuration = FDecoder->Duration();
  Log(QStringLiteral("Loading file... OK"), KGreen);
  btn_Stop->setEnabled(true);
  QString note;
  const QString options = FEncoder->FitOptions(FInput.OptionString, output, FDecoder->Shape(), &note);

  // A refusal leaves the former task in place; the Start below then reports the file as failed.
  if (!FEncoder->ClearTasks()) Log(QStringLiteral("Clearing tasks... Error! ") + FEncoder->LastErrMsg(), KRed);
  const int task = FEncoder->AddTask(source);
  if (task < 0) {
    FailStep(QStringLiteral("Adding task... Error! ") + FEncoder->LastErrMsg());
    return;
  }
  Log(QStringLiteral("Adding task... OK"), KGreen);
  Log(QStringLiteral("Parameters ") + FInput.OptionString, KGrey);
  if (!note.isEmpty()) Log(note, KOrange);
  // The conversion writes into a temporary file in a hidden folder of its own beside the output,
  // moved to the output when it succeeded: a stop, a failure or a crash leave an existing output
  // as it was. The file is made here, new and empty, and the encoder reaches it through the
  // folder held open, so that it never writes through a link or into someone else's file.
  FOutput = output;
  FWritePath.clear();
  QString createError;
  if (!FTemporary.Create(output, &createError)) {
    if (!FEncoder->RemoveTask(task))
      Log(QStringLiteral("Removing task... Error! ") + FEncoder->LastErrMsg(), KRed);
    FailStep(QStringLiteral("Creating the output... Error! ") + createError);
    return;
  }
  FWritePath = FTemporary.WritePath();
  if (FEncoder->SetOutput(task, FWritePath, options) < 0) {
    // The reason is read before RemoveTask, which may clear it.
    const QString reason = InOutputTerms(FEncoder->LastErrMsg());
    if (!FEncoder->RemoveTask(task))
      Log(QStringLiteral("Removing task... Error! ") + FEncoder->LastErrMsg(), KRed);
    DiscardTemporaryOutput();
    FailStep(QStringLiteral("Applying parameters... Error! ") + reason);
    return;
  }
  Log(QStringLiteral("Applying parameters... OK"), KGreen);
  Log(QStringLiteral("Processing file..."), KGreen);
  lbl_File->setText(platform::DisplayFileName(QFileInfo(output).fileName()));
  ProcessMessages();
  Log(platform::DisplayFileName(output), KBlack);
  if (FUserStopped) {  // Stop was pressed while the window painted
    DiscardTemporaryOutput();
    tmr_Process->start();
    return;
  }
  FFileState = TFileState::Running;
  FTaskReported = false;
  FTaskSucceeded = false;
  // The probes above ran on this thread and freed their frames; the conversion allocates on
  // threads of its own, which seldom reuse this thread's free memory. Handing it back keeps it
  // out of the run's peak.
  malloc_trim(0);
  FEncoder->Start(1);
}

void TRunWindow::FailStep(const QString& text) {
  Log(text, KRed);
  LogErrorLines(text);
  platform::Prompter().Beep(true);
  PassOver();
}

void TRunWindow::PassOver() { tmr_Process->start(); }

void TRunWindow::FFEncoderProgress(const TRunProgress& info) {
  if (FFileState != TFileState::Running) return;
  FTotalDuration = FMode == TMode::Audio ? FSourceDuration : info.TotalDuration;
  FCurrentDuration = info.CurrentDuration;
  if (FTotalDuration > 0 && FCurrentDuration >= 0 && FCurrentDuration < FTotalDuration) {
    const int percent = static_cast<int>(FCurrentDuration * 100 / FTotalDuration);
    prg_Process->setValue(percent);
    lbl_Percent->setText(QStringLiteral("%1%").arg(percent));
    if (FCount == 1) SetTaskbarValue(percent);
  }
  lbl_FPS->setText(FormatRunSize(info.CurrentSize));
}

void TRunWindow::FFEncoderTerminate(const TRunTerminate& info) {
  // Events of a run that is over (or of none) change nothing: the file has moved on already.
  if (FFileState != TFileState::Running) return;
  prg_Process->setValue(100);
  lbl_Percent->setText(QStringLiteral("100%"));
  lbl_RemainingValue->setText(QStringLiteral("00:00:00"));
  SetTaskbarValue(TaskbarMax());

  if (info.TaskIndex >= 0) {
    FTaskReported = true;
    FTaskSucceeded = info.Finished && !info.Exception;
    FTaskMessage = InOutputTerms(info.ExceptionMsg);
    if (!FUserStopped && info.Exception)
      Log(FTaskMessage.isEmpty() ? QStringLiteral("Error!") : FTaskMessage, KRed);
    else if (!FUserStopped && !info.Finished)
      Log(QStringLiteral("Error! The conversion ended before the end of the file."), KRed);
    return;
  }

  // End of the run: the file is done, whatever its task reported.
  FFileState = TFileState::Ended;
  bool kept = false;
  QString renameError;
  if (!FUserStopped && FTaskSucceeded) kept = KeepTemporaryOutput(&renameError);
  DiscardTemporaryOutput();
  if (!FUserStopped) {
    if (kept) {
      ++FConverted;
      Log(QStringLiteral("Success!"), KGreen);
      const QString damage = DamageReport(FEncoder->ErrorLines());
      if (!damage.isEmpty()) Log(damage, KOrange);
    } else if (FTaskSucceeded) {
      Log(QStringLiteral("Error! The output could not be saved: ") + renameError, KRed);
    } else {
      if (!FTaskReported) Log(QStringLiteral("Error! The conversion ended without a result."), KRed);
      LogErrorLines(FTaskMessage);
    }
  }
  tmr_Process->start();
}

void TRunWindow::WIAError(const std::string& message) {
  const QString text = QString::fromStdString(message);
  QMetaObject::invokeMethod(this, [this, text] { Log(text, KRed); }, Qt::QueuedConnection);
}

bool TRunWindow::KeepTemporaryOutput(QString* error) {
  if (FTemporary.Path().isEmpty()) return false;
  if (!FTemporary.StillOurs()) {
    *error = QStringLiteral("its temporary file was replaced by another file");
    return false;
  }
  QString target = FOutput;
  TMoveResult moved = FTemporary.MoveTo(target, error);
  if (moved == TMoveResult::Exists && FReplaceAgreed && IsFile(FOutput, FReplaceDevice, FReplaceInode)) {
    // The file the user agreed to overwrite: rename() replaces it in one step, so there is never
    // a moment without either.
    moved = FTemporary.ReplaceTo(FOutput, error) ? TMoveResult::Moved : TMoveResult::Failed;
  }
  if (moved == TMoveResult::Exists) {
    // Another file took the name while this one was converted (another batch, another program):
    // it is kept, as the run's own outputs are.
    target = FirstNumberedFileName(FOutput, [&](const QString& name) {
      if (FWritten.contains(name)) return false;
      moved = FTemporary.MoveTo(name, error);
      return moved != TMoveResult::Exists;
    });
    if (moved == TMoveResult::Moved)
      Log(QStringLiteral("\"%1\" appeared while converting: this file is saved as \"%2\".")
              .arg(platform::DisplayFileName(QFileInfo(FOutput).fileName()),
                   platform::DisplayFileName(QFileInfo(target).fileName())),
          KOrange);
  }
  if (moved != TMoveResult::Moved) return false;
  FTemporary.Remove();  // its folder, empty now
  FWritten.insert(target);
  return true;
}

void TRunWindow::DiscardTemporaryOutput() { FTemporary.Remove(); }

QString TRunWindow::InOutputTerms(const QString& text) const {
  return FWritePath.isEmpty() ? text : QString(text).replace(FWritePath, FOutput);
}

void TRunWindow::LogErrorLines(const QString& alreadyLogged) {
  for (const QString& line : FEncoder->ErrorLines()) {
    const QString shown = InOutputTerms(line);
    if (!alreadyLogged.contains(shown)) Log(shown, KRed);
  }
}

void TRunWindow::tmr_ProcessTimer() {
  tmr_Process->stop();
  FFileState = TFileState::Idle;
  if (FUserStopped) {
    SetTaskbarValue(TaskbarMax());
    if (FMode == TMode::Audio) Log(QString(), KBlack);
    Log(QStringLiteral("Done."), KBlue);
    lbl_File->setText(QStringLiteral("Done."));
    if (FMode == TMode::Video) lbl_FPS->clear();
    tmr_Elapsed->stop();
    lbl_RemainingValue->setText(QStringLiteral("00:00:00"));
    Finish();
    platform::Prompter().Beep(false);
    if (FEndSignal != 0) CloseForSignal();
    return;
  }
  ++FCurrentIndex;
  if (FCount == 1) {
    SetTaskbarValue(0);
    SetTaskbarMax(100);
  } else {
    SetTaskbarValue(FCurrentIndex);
    SetTaskbarMax(FCount);
  }
  btn_Stop->setEnabled(false);
  ProcessMessages();
  ProcessFile(FCurrentIndex);
}

void TRunWindow::EndOfList() {
  Log(QString(), KBlack);
  SetTaskbarValue(TaskbarMax());
  Log(QStringLiteral("Done."), KBlue);
  lbl_File->setText(QStringLiteral("Done."));
  tmr_Elapsed->stop();
  lbl_RemainingValue->setText(QStringLiteral("00:00:00"));
  ProcessMessages();
  Finish();
  platform::Prompter().Beep(false);
  if (FInput.SaveLog) SaveLogFile();
  if (FInput.CloseWhenDone) done(QDialog::Accepted);
  if (FEndSignal != 0) CloseForSignal();
}

void TRunWindow::Finish() {
  FFinished = true;
  tmr_Elapsed->stop();
  btn_Stop->setEnabled(false);
  btn_Close->setEnabled(true);
}

void TRunWindow::btn_StopClick() {
  if (FUserStopped) return;
  btn_Stop->setEnabled(false);
  FUserStopped = true;
  Log(QStringLiteral("Cancelled by user!"), KRed);
  platform::Prompter().Beep(true);
  ProcessMessages();
  if (!FEncoder->Stop(true)) Log(QStringLiteral("Stopping... Error! ") + FEncoder->LastErrMsg(), KRed);
}

void TRunWindow::EndBySignal(int signal) {
  if (FEndSignal != 0) return;  // ending already
  FEndSignal = signal;
  if (FFinished) {  // nothing runs, and the log is as the end of the run left it
    if (isVisible()) done(QDialog::Rejected);
    return;
  }
  const char* name = ::sigabbrev_np(signal);
  Log(QStringLiteral("Cancelled: the program was asked to end (SIG%1)!")
          .arg(QLatin1String(name ? name : "?")),
      KRed);
  if (FUserStopped) return;  // Stop was pressed: its stop goes on
  btn_Stop->setEnabled(false);
  FUserStopped = true;
  // A running file ends through its terminate events; every other step sees the flag.
  if (FFileState == TFileState::Running && !FEncoder->Stop(true))
    Log(QStringLiteral("Stopping... Error! ") + FEncoder->LastErrMsg(), KRed);
}

void TRunWindow::CloseForSignal() {
  // The log of what was done, where the end of the list would have put it.
  if (FInput.SaveLog && !FLogSaved) SaveLogFile();
  FLogLock.reset();
  if (isVisible()) done(QDialog::Rejected);
}

void TRunWindow::tmr_ElapsedTimer() {
  ++FTotalSeconds;
  ++FFileSeconds;
  lbl_ElapsedValue->setText(FormatRunTime(FTotalSeconds));
  if (FFileSeconds > 5)
    lbl_RemainingValue->setText(RemainingText(FTotalDuration, FCurrentDuration, FFileSeconds));
}

// The program's folder first, as the batch mode's users expect; a program installed read-only (or
// run from a read-only medium) writes to the settings folder instead. Batches running at once each
// keep their log: the one that took log.txt's lock at its start writes log.txt, the others a log
// named after their process, even when the lock is free by the time they save.
void TRunWindow::TakeLogFile() {
  for (const QString& folder : {ProgramFolder(), FInput.SettingsFolder}) {
    if (folder.isEmpty() || !QDir().mkpath(folder)) continue;
    auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral("log.txt.lock")));
    if (lock->tryLock(0)) {
      FLogFolder = folder;
      FLogLock = std::move(lock);
      return;
    }
    if (lock->error() == QLockFile::LockFailedError) {  // another batch holds log.txt
      FLogFolder = folder;
      return;
    }
    // The folder cannot be written: the next one.
  }
}

// The path is printed, since nobody sees the window.
void TRunWindow::SaveLogFile() {
  const QString text = log_Main->toPlainText() + QLatin1Char('\n');
  const QString perRun = QStringLiteral("log-%1.txt").arg(QCoreApplication::applicationPid());
  QString path;
  bool saved = false;
  QStringList tried;
  for (const QString& folder : {FLogFolder, ProgramFolder(), FInput.SettingsFolder}) {
    if (folder.isEmpty() || tried.contains(folder)) continue;  // FLogFolder is one of the others
    tried.append(folder);
    const bool own = FLogLock && folder == FLogFolder;
    if (WriteLogFile(folder, own ? QStringLiteral("log.txt") : perRun, text, &path)) {
      saved = true;
      break;
    }
  }
  FLogLock.reset();
  FLogSaved = true;
  if (saved) {
    FLogFile = path;
    std::printf("Log saved to %s\n", qUtf8Printable(QDir::toNativeSeparators(path)));
  } else {
    std::printf("The log could not be saved.\n");
  }
  std::fflush(stdout);
}

QString TRunWindow::ProgramFolder() const {
  return FInput.ProgramFolder.isEmpty() ? QCoreApplication::applicationDirPath() : FInput.ProgramFolder;
}

void TRunWindow::Log(const QString& text, const QColor& color, bool bold) {
  QTextCursor cursor(log_Main->document());
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(color);
  format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
  if (FLogStarted) cursor.insertBlock(QTextBlockFormat(), format);
  FLogStarted = true;
  cursor.setCharFormat(format);
  cursor.insertText(text, format);
  log_Main->verticalScrollBar()->setValue(log_Main->verticalScrollBar()->maximum());
  if (FInput.EchoLog) {
    std::printf("%s\n", qUtf8Printable(text));
    std::fflush(stdout);
  }
}

void TRunWindow::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void TRunWindow::SetTaskbarValue(int value) {
  if (FInput.Taskbar != nullptr) FInput.Taskbar->SetProgressValue(value);
}

void TRunWindow::SetTaskbarMax(int value) {
  if (FInput.Taskbar != nullptr) FInput.Taskbar->SetProgressValueMax(value);
}

int TRunWindow::TaskbarMax() const {
  return FInput.Taskbar != nullptr ? FInput.Taskbar->ProgressValueMax() : 0;
}

}  // namespace app
