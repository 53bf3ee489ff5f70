#pragma once
// The run windows' encoder and decoder over the media library: IRunEncoder over media::TFFEncoder
// and IRunDecoder over media::TFFDecoder (see run_seams.h for the contract both keep).
//
// Threads. The encoder's events are handed to the user-interface thread by the encoder itself
// (TriggerEventInMainThread, on here) through the process's main-thread dispatcher, so the
// application must have installed platform::TQtMainThreadDispatcher before a run starts. The same
// dispatcher keeps those events flowing while Stop(true) waits on the user-interface thread.

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "app/run_window/run_seams.h"
#include "media/ff_logger.h"

namespace media {
class TFFDecoder;
class TFFEncoder;
}  // namespace media

namespace app {

class TFFRunEncoder : public IRunEncoder {
 public:
  TFFRunEncoder();
  /// Stops a run still going and waits for it; no event reaches the handlers afterwards.
  ~TFFRunEncoder() override;

  bool AVLibLoaded() const override;
  /// Also puts the "waveinput" format into the library's table and masks the floating-point
  /// exceptions, as every successful library load of the run windows does.
  bool LoadAVLib(const QString& folder) override;
  bool ClearTasks() override;
  int AddTask(const QString& source) override;
  int SetOutput(int task, const QString& output, const QString& options) override;
  bool RemoveTask(int task) override;
  /// When the encoder refuses to start, the task's failure and the end of the run are posted to
  /// the user-interface thread, so the window hears of the run's end as for any other failure.
  void Start(int threadCount) override;
  bool Stop(bool wait) override;
  QString LastErrMsg() const override { return FLastErrMsg; }
  QStringList ErrorLines() const override;
  /// Asks the FFmpeg encoders themselves (media/encoder_trial.h) what they accept.
  QString FitOptions(const QString& options, const QString& output, const TSourceShape& shape,
                     QString* note) override;

  /// The component itself, for tests that look at its state.
  media::TFFEncoder& Encoder() { return *FEncoder; }

 private:
  /// Runs call; an exception becomes LastErrMsg and failure is returned instead.
  template <typename TResult, typename TCall>
  TResult Guard(TResult failure, TCall call);

  /// Gives the file that starts now a sink of its own: lines logged before this call (by the file
  /// before, its late lines included) never reach it.
  void BeginSink();

  std::unique_ptr<media::TFFEncoder> FEncoder;
  QString FLastErrMsg;
  // FFmpeg's error lines of the current file, filled on the user-interface thread through the
  // file's own subscription to the logger (declared after the sink it fills, so it ends first).
  struct TRunSink;
  std::shared_ptr<TRunSink> FSink;
  media::TLogSubscription FSubscription;
  QObject FContext;  // posted end-of-run events die with the adapter
};

class TFFRunDecoder : public IRunDecoder {
 public:
  TFFRunDecoder();
  ~TFFRunDecoder() override;

  /// A decoder that throws (libraries not loaded) answers false with the reason.
  bool LoadFile(const QString& path) override;
  QString LastErrMsg() const override { return FLastErrMsg; }
  int64_t Duration() const override { return FDuration; }
  TSourceShape Shape() const override { return FShape; }
  media::TFFDecoder* FFDecoder() override { return FDecoder.get(); }
  void SetKeepFileOpen(bool keep) override { FKeepFileOpen = keep; }

 private:
  std::unique_ptr<media::TFFDecoder> FDecoder;
  QString FLastErrMsg;
  TSourceShape FShape;
  bool FKeepFileOpen = false;
  int64_t FDuration = -1;  // read once at LoadFile: the decoder's information call logs when no file is open
};

}  // namespace app
