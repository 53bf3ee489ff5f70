#include "app/adding/adding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "app/adding/adding_format.h"
#include "app/main_window/main_window.h"
#include "components/find_file.h"
#include "media/ff_decoder.h"
#include "platform/file_names.h"
#include "platform/prompter.h"

namespace app {

namespace {

// The window stays on screen this long before the scan starts, so it has been painted.
constexpr int kStartDelayMs = 100;

// While the worker keeps reporting, the user-interface thread looks at its reports at most this
// often: a fast scan probes thousands of files a second, and one wake, label change and repaint
// per file would cost more than the probes' own share. 50 looks a second still show every row as
// it comes; a report after a quiet spell (a slow file) is taken at once.
constexpr int kReportIntervalMs = 20;

// Keeps the window painted and its Cancel button working while the user-interface thread
// searches folders.
void ProcessMessages() { QCoreApplication::processEvents(); }

// Closes the decoder's file however the probe of it ends.
struct TFileCloser {
  media::TFFDecoder& Decoder;
  ~TFileCloser() { Decoder.CloseFile(); }
};

// Why a file with another extension is left out: the type, and what would have been taken.
QString NotAMediaType(const QString& path) {
  const QString suffix = QFileInfo(path).suffix();
  return (suffix.isEmpty() ? QStringLiteral("a name without a type") : QStringLiteral(".") + suffix) +
         QStringLiteral(" is not one of the media types");
}

}  // namespace

Tfrm_Adding::Tfrm_Adding(Tfrm_Main& main)
    : QDialog(&main),
      FMain(main),
      FFFDecoder1(std::make_unique<media::TFFDecoder>()),
      FFindFile(std::make_unique<components::TFindFile>()),
      FLibraryPath(QCoreApplication::applicationDirPath()) {
  setObjectName(QStringLiteral("frm_Adding"));
  setWindowTitle(QStringLiteral("Adding files..."));

  Flbl_Path = new QLabel(QStringLiteral("Loading AV components..."), this);
  Flbl_Path->setObjectName(QStringLiteral("lbl_Path"));
  Flbl_Path->setAlignment(Qt::AlignCenter);
  Flbl_Path->setWordWrap(true);
  // A long path must not widen the window: the label takes the width it is given.
  Flbl_Path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
  Fbtn_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
  Fbtn_Cancel->setObjectName(QStringLiteral("btn_Cancel"));
  connect(Fbtn_Cancel, &QPushButton::clicked, this, &Tfrm_Adding::btn_CancelClick);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Flbl_Path, 1);
  layout->addWidget(Fbtn_Cancel, 0, Qt::AlignHCenter);
  setFixedSize(440, 150);

  FTimer1 = new QTimer(this);
  FTimer1->setObjectName(QStringLiteral("Timer1"));
  FTimer1->setSingleShot(true);
  FTimer1->setInterval(main.WindowDelays().Ms(kStartDelayMs));
  connect(FTimer1, &QTimer::timeout, this, &Tfrm_Adding::Scan);

  FReportsTimer = new QTimer(this);
  FReportsTimer->setSingleShot(true);
  FReportsTimer->setInterval(kReportIntervalMs);
  connect(FReportsTimer, &QTimer::timeout, this, &Tfrm_Adding::TakeReports);

  // Not threaded: the search and its events run inside SearchFolder, on this thread.
  FFindFile->Criteria().Files().SetFileName((QString::fromLatin1(kMediaMask) + QString::fromLatin1(kWrittenTypesMask)).toStdString());
  FFindFile->Criteria().Files().SetSubfolders(true);
  FFindFile->OnFileMatch = [this](const components::TFileDetails& fileInfo) {
    const QString path = platform::FileNameFromBytes(fileInfo.Location + fileInfo.Name);
    if (FirstNaming(path)) FFound.append(path);
    ProcessMessages();
  };
  FFindFile->OnFolderChange = [](const std::string&, components::TFolderIgnore&) { ProcessMessages(); };
  // Named once, however many of the masks' searches meet it.
  FFindFile->OnFolderError = [this, named = QSet<QString>()](const std::string& folder,
                                                             const std::string& reason) mutable {
    const QString path = QDir::cleanPath(platform::FileNameFromBytes(folder));
    if (!named.contains(path)) {
      named.insert(path);
      Refuse(path, QStringLiteral("cannot read the folder: ") + QString::fromStdString(reason));
    }
  };
}

Tfrm_Adding::~Tfrm_Adding() {
  FCancelled = true;
  StopWorker();
}

void Tfrm_Adding::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (FState == TState::Waiting && !FTimer1->isActive()) FTimer1->start();
}

void Tfrm_Adding::reject() {
  switch (FState) {
    case TState::Waiting:
      FTimer1->stop();
      FCancelled = true;
      FState = TState::Finished;
      QDialog::reject();
      break;
    case TState::Collecting:
    case TState::Probing:
      // The finder may be running below this call (it pumps messages): it is only asked to stop;
      // the scan unwinds, sorts what it added and closes the window.
      btn_CancelClick();
      break;
    case TState::Finished:
      QDialog::reject();
      break;
  }
}

void Tfrm_Adding::btn_CancelClick() {
  Fbtn_Cancel->setEnabled(false);
  FCancelled = true;
  FFindFile->Abort();
  // Breaks off a read that blocks inside the current probe.
  FFFDecoder1->SetLastReadTime(0);
}

void Tfrm_Adding::Scan() {
  if (FState != TState::Waiting) return;
  FTimer1->stop();
  FState = TState::Collecting;
  if (!FFFDecoder1->AVLibLoaded() && !FFFDecoder1->LoadAVLib(FLibraryPath.toStdString())) {
    platform::Prompter().Message(this, platform::TPromptIcon::Error, QStringLiteral("Error"),
                                 QStringLiteral("AV components could not be found.\rPlease re-install the software."));
    FState = TState::Finished;
    done(QDialog::Rejected);
    return;
  }
  CollectFiles();
  StartProbing();
}

void Tfrm_Adding::CollectFiles() {
  const QStringList queue = FMain.DropQueue();
  for (const QString& queued : queue) {
    if (FCancelled) return;
    if (queued.isEmpty()) continue;
    // The checks go to the system with the name's own bytes (Qt's would name another file).
    const QString path = QDir::cleanPath(QFileInfo(queued).absoluteFilePath());
    if (!FirstNaming(path)) continue;
    if (platform::IsFolderName(path))
      SearchFolder(path);
    else if (const QString problem = platform::FileNameProblem(path); !problem.isEmpty())
      Refuse(path, problem);
    else if (!platform::IsRegularFileName(path))
      Refuse(path, QStringLiteral("not a regular file"));
    else if (!HasMediaExtension(path))
      Refuse(path, NotAMediaType(path));
    else
      FFound.append(path);
  }
}

void Tfrm_Adding::SearchFolder(const QString& folder) {
  SetPathText(QStringLiteral("Searching in folders...\r\r") + platform::DisplayFileName(folder));
  ProcessMessages();
  if (FCancelled) return;
  // One target line per mask rather than a Location: a Location is split at ";", and ">"
  // before the folder keeps a ">" or "<" inside its name from being read as level syntax.
  std::string target(1, '>');
  target += platform::FileNameBytes(folder);
  if (target.back() != '/') target += '/';
  std::vector<std::string> lines;
  for (const QString& mask : AcceptedMasks()) lines.push_back(target + mask.toStdString());
  FFindFile->Criteria().Files().SetPaths(lines);
  FFindFile->Execute();
}

void Tfrm_Adding::StartProbing() {
  if (FCancelled || FFound.isEmpty()) {
    Finish();
    return;
  }
  FState = TState::Probing;
  // The main list cannot change while this modal window is open, so a snapshot of its paths
  // plus the paths the worker accepts answers "already listed" for the whole run.
  QSet<QString> listed;
  for (int i = 0; i < FMain.RowCount(); ++i) listed.insert(FMain.RowPath(i));
  FWorker = std::thread([this, found = FFound, listed = std::move(listed)]() mutable {
    ProbeAll(std::move(found), std::move(listed));
  });
}

void Tfrm_Adding::ProbeAll(QStringList found, QSet<QString> listed) {
  QString path;
  QString error;
  try {
    const int count = static_cast<int>(found.size());
    for (int i = 0; i < count && !FCancelled; ++i) {
      path = found.at(i);
      Report({TWorkerReport::TKind::Progress, i + 1, count, path, std::nullopt, QString()});
      if (listed.contains(path)) continue;
      TProbedFile file;
      QString reason;
      if (!ProbeFile(path, file, reason)) {
        if (!FCancelled) Report({TWorkerReport::TKind::Refused, 0, 0, path, std::nullopt, reason});
        continue;
      }
      listed.insert(path);
      Report({TWorkerReport::TKind::Row, 0, 0, QString(), std::move(file), QString()});
    }
  } catch (const std::exception& e) {
    // A library that went missing throws here; the rows added so far stay, and the user learns
    // why the rest of the files are not there.
    error = ScanStoppedText(path, QString::fromUtf8(e.what()));
  } catch (...) {
    error = ScanStoppedText(path, QStringLiteral("unknown error"));
  }
  try {
    Report({TWorkerReport::TKind::Done, 0, 0, QString(), std::nullopt, error});
  } catch (...) {
    // Out of memory: nothing can be queued, so the end goes straight to the window.
    QMetaObject::invokeMethod(this, [this, error] { Finish(error); }, Qt::QueuedConnection);
  }
}

void Tfrm_Adding::Report(TWorkerReport report) {
  // The end is not left waiting for the timer: the scan's time would grow by up to an interval.
  const bool done = report.Kind == TWorkerReport::TKind::Done;
  bool wake = false;
  {
    const std::lock_guard lock(FReportsLock);
    wake = !FWakePending || done;
    FWakePending = true;
    FReports.push_back(std::move(report));
  }
  if (wake) QMetaObject::invokeMethod(this, [this] { TakeReports(); }, Qt::QueuedConnection);
}

void Tfrm_Adding::TakeReports() {
  std::vector<TWorkerReport> reports;
  {
    const std::lock_guard lock(FReportsLock);
    reports.swap(FReports);
    if (reports.empty()) FWakePending = false;
  }
  if (reports.empty()) return;
  for (size_t i = 0; i < reports.size(); ++i) {
    const TWorkerReport& report = reports[i];
    switch (report.Kind) {
      case TWorkerReport::TKind::Progress:
        // A line that another file's line replaces before anything is shown or added (the file
        // was skipped) is not set: the label is drawn only when this batch is done.
        if (i + 1 == reports.size() || reports[i + 1].Kind != TWorkerReport::TKind::Progress)
          ShowProgress(report.Index, report.Count, report.Path);
        break;
      case TWorkerReport::TKind::Row: AppendRow(*report.Row); break;
      case TWorkerReport::TKind::Refused: Refuse(report.Path, report.Reason); break;
      case TWorkerReport::TKind::Done: Finish(report.Reason); return;
    }
  }
  FReportsTimer->start();
}

bool Tfrm_Adding::ProbeFile(const QString& path, TProbedFile& file, QString& reason) {
  // Every found path was a regular file when it was collected (the queue's entries are checked
  // there, and the finder leaves out folders, devices and pipes); one that has gone since fails
  // to load. So no second look at the disk here: the decoder's size is the one the open file
  // reports (for a plain file, the size on disk).
  if (!HasMediaExtension(path)) {
    reason = NotAMediaType(path);
    return false;
  }
  media::TFFDecoder& decoder = *FFFDecoder1;
  if (!decoder.LoadFile(platform::FileNameBytes(path))) {
    // The decoder's text carries FFmpeg's own reason ("Invalid data found when processing input").
    reason = QString::fromStdString(decoder.LastErrMsg());
    if (reason.isEmpty()) reason = QStringLiteral("FFmpeg cannot open it");
    return false;
  }
  const TFileCloser closer{decoder};
  file.Path = path;
  file.Size = std::max<int64_t>(decoder.FileSize(), 0);
  // The row needs five numbers only: the summaries skip the codec names, languages and tags of
  // the full stream records, which cost a row more than its own texts.
  file.Duration = decoder.FileDuration();
  if (decoder.IsVideoStream(0)) {
    const media::TVideoStreamSummary video = decoder.VideoStreamSummary(0);
    file.FirstStreamIsVideo = true;
    file.FrameRateNum = video.FrameRate.num;
    file.FrameRateDen = video.FrameRate.den;
    file.BitRate = video.BitRate;
    file.Width = video.Width;
    file.Height = video.Height;
  }
  return true;
}

void Tfrm_Adding::ShowProgress(int index, int count, const QString& path) {
  SetPathText(QStringLiteral("%1 of %2\r\r%3").arg(index).arg(count).arg(platform::DisplayFileName(path)));
}

void Tfrm_Adding::AppendRow(const TProbedFile& file) {
  // A file probed after Cancel is not added: the list keeps the rows added before it.
  if (FCancelled) return;
  FMain.AddRow(AddingRow(file));
}

bool Tfrm_Adding::FirstNaming(const QString& path) {
  const int times = ++FTimesNamed[path];
  if (times == 1) return true;
  if (const auto refused = FRefused.constFind(path); refused != FRefused.cend())
    FMain.NotAdded()[*refused].Count = times;
  return false;
}

void Tfrm_Adding::Refuse(const QString& path, const QString& reason) {
  FRefused.insert(path, FMain.NotAdded().size());
  FMain.NotAdded().append({path, reason, FTimesNamed.value(path, 1)});
}

void Tfrm_Adding::Finish(const QString& error) {
  if (FState == TState::Finished) return;
  StopWorker();
  FMain.SortRows();
  FState = TState::Finished;
  if (!error.isEmpty()) platform::Prompter().Message(this, platform::TPromptIcon::Error, QStringLiteral("Error"), error);
  done(QDialog::Accepted);
}

void Tfrm_Adding::StopWorker() {
  if (!FWorker.joinable()) return;
  FFFDecoder1->SetLastReadTime(0);
  FWorker.join();
}

void Tfrm_Adding::SetPathText(const QString& text) { Flbl_Path->setText(platform::NormalizeLineBreaks(text)); }

}  // namespace app
