#pragma once
// The adding window ("Adding files..."): the last step of every way of adding files to the main
// list (add-files window, drop, paste, an opened list, the batch mode). It takes the paths of the
// main window's drop queue, expands folders into the media files below them, probes each file
// and appends one row per playable file that is not listed yet, then sorts the list again and
// closes. Shown modally by the main window and freed when it closes.
//
// Threads: folders are searched on the user-interface thread (the finder is not threaded; its
// events keep the window responsive); the files are probed on a worker thread of the window's
// own, one after another, and every row is appended on the user-interface thread. Cancel, Escape
// and closing the window all stop the scan before the next file; the rows added so far stay.

#include <QDialog>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/adding/adding_format.h"

class QLabel;
class QPushButton;
class QTimer;

namespace components {
class TFindFile;
}
namespace media {
class TFFDecoder;
}

namespace app {

class Tfrm_Main;

class Tfrm_Adding : public QDialog {
  Q_OBJECT

 public:
  /// main is the owner: its drop queue is read and its list gets the rows; its WindowDelays()
  /// say whether Timer1 waits for the window to be painted before the scan.
  explicit Tfrm_Adding(Tfrm_Main& main);
  /// Stops a probe that is still running and waits for the worker.
  ~Tfrm_Adding() override;

  QLabel* lbl_Path() const { return Flbl_Path; }
  QPushButton* btn_Cancel() const { return Fbtn_Cancel; }
  /// The finder that searches dropped folders (owned; runs only inside Scan).
  components::TFindFile& FindFile() const { return *FFindFile; }

  /// The folder searched first for the FFmpeg libraries when they are not loaded yet; the
  /// program's folder by default.
  const QString& LibraryPath() const { return FLibraryPath; }
  void SetLibraryPath(const QString& path) { FLibraryPath = path; }

  /// True once Cancel, Escape or a close asked the scan to stop.
  bool Cancelled() const { return FCancelled.load(); }

  /// The scan that Timer1's first tick starts once the window is on screen: loads the libraries
  /// (on failure the error message, then the window closes), collects the files of the queue,
  /// then probes them on the worker. Returns while the worker runs; the window closes itself when
  /// it is done. Only the first call does anything.
  void Scan();
  /// Disables itself and stops the scan before the next file.
  void btn_CancelClick();

 protected:
  void showEvent(QShowEvent* event) override;
  /// Escape and the window's close box: before the scan the window just closes; during it they
  /// act as Cancel, and the window closes when the scan has stopped.
  void reject() override;

 private:
  enum class TState { Waiting, Collecting, Probing, Finished };

  // Step 2: the queued paths into FFound; folders through the finder.
  void CollectFiles();
  void SearchFolder(const QString& folder);
  // Step 3: starts the worker over FFound (or finishes at once when there is nothing to probe).
  void StartProbing();
  // What the worker hands to the user-interface thread, in order: the file it starts on, the
  // row of a file it accepted, and its end.
  struct TWorkerReport {
    enum class TKind { Progress, Row, Refused, Done } Kind;
    int Index = 0;  // 1-based, Progress only
    int Count = 0;
    QString Path;
    std::optional<TProbedFile> Row;
    QString Reason;  // Refused: why the file is left out; Done: why the scan stopped early, or empty
  };
  // The worker's loop. Never throws.
  void ProbeAll(QStringList found, QSet<QString> listed);
  // Worker thread: whether path is a playable media file; fills file then, else reason.
  bool ProbeFile(const QString& path, TProbedFile& file, QString& reason);
  // Worker thread: queues report; wakes the user-interface thread unless a wake or the report
  // timer is already pending. The end always wakes it at once.
  void Report(TWorkerReport report);
  // User-interface thread: handles the queued reports in order, then keeps the worker from
  // waking it again until FReportsTimer fires.
  void TakeReports();
  void ShowProgress(int index, int count, const QString& path);
  void AppendRow(const TProbedFile& file);
  // Counts a queued or found path; true the first time. Only then is it looked at: a list that
  // names a path many times (or folders that hold it) costs one look and one "not added" entry,
  // whose count this keeps.
  bool FirstNaming(const QString& path);
  // A queued or found path is left out: the main window's NotAdded() gets it with its reason and
  // the times it was named.
  void Refuse(const QString& path, const QString& reason);
  // Step 4: sorts the list and closes; an error (why the probing stopped early) is shown first.
  void Finish(const QString& error = QString());
  void StopWorker();
  void SetPathText(const QString& text);

  Tfrm_Main& FMain;
  QLabel* Flbl_Path = nullptr;
  QPushButton* Fbtn_Cancel = nullptr;
  QTimer* FTimer1 = nullptr;
  QTimer* FReportsTimer = nullptr;  // single shot: the next look at the worker's reports
  std::unique_ptr<media::TFFDecoder> FFFDecoder1;  // used by the worker while it runs
  std::unique_ptr<components::TFindFile> FFindFile;
  QStringList FFound;
  QHash<QString, int> FTimesNamed;  // every path queued or found so far
  QHash<QString, qsizetype> FRefused;  // index in the main window's NotAdded() of a refused path
  QString FLibraryPath;
  TState FState = TState::Waiting;
  std::atomic<bool> FCancelled{false};
  std::thread FWorker;
  // Reports the user-interface thread has not taken yet. One queued call per batch instead of
  // one per report: the worker seldom touches Qt's event queue, whose lock the busy
  // user-interface thread holds often.
  std::mutex FReportsLock;
  std::vector<TWorkerReport> FReports;
  // Set by the worker's wake and kept while FReportsTimer runs; cleared when the timer finds
  // nothing to take, so the next report (say after a slow file) wakes the window at once.
  bool FWakePending = false;
};

}  // namespace app
