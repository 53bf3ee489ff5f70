#pragma once
// The fetch thread of TWebData: one run over the component's items, with a network access
// manager of its own. Created and owned by TWebData::Execute; the component is told on its own
// thread when the run has ended (QThread::finished).

#include <QString>
#include <QThread>
#include <atomic>
#include <mutex>

class QEventLoop;
class QNetworkAccessManager;

namespace components {

class TWebData;
class TWebDataItem;

class TWDInetThread : public QThread {
  Q_OBJECT

 public:
  /// owner outlives the thread: its destructor aborts and waits.
  explicit TWDInetThread(TWebData* owner);
  ~TWDInetThread() override;

  /// Any thread: drops the current fetch and ends the run without further events.
  void Abort();

 protected:
  void run() override;

 private:
  enum class TResult { Ok, Failed, NoData, Aborted, WriteFailed };

  /// Fetches item (index i) into file; fires OnCollectError for a failed page.
  TResult Download(QNetworkAccessManager& manager, int i, TWebDataItem& item, const QString& file);
  /// Cuts, collects and fires OnProgress and OnData for the page held in file.
  void Scan(int i, TWebDataItem& item, const QString& file);
  void Fail(int i, TWebDataItem& item, int code, const QString& text);
  bool Aborted() const { return FAborted.load(); }

  TWebData* FOwner;
  std::atomic<bool> FAborted{false};
  std::mutex FLoopMutex;
  QEventLoop* FLoop = nullptr;  // the loop waiting for the current fetch, under FLoopMutex
};

}  // namespace components
