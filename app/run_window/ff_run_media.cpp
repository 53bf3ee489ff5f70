#include "app/run_window/ff_run_media.h"

#include <QTimer>
#include <exception>
#include <string>

#include "media/ff_base.h"
#include "media/ff_decoder.h"
#include "media/ff_encoder.h"
#include "media/wave_input.h"

namespace app {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }
std::string ToUtf8(const QString& text) { return text.toStdString(); }

}  // namespace

// --- Encoder -------------------------------------------------------------------------------------

TFFRunEncoder::TFFRunEncoder() : FEncoder(std::make_unique<media::TFFEncoder>()) {
  FEncoder->SetTriggerEventInMainThread(true);
  // Both run on the user-interface thread (TriggerEventInMainThread); the records are the
  // encoder's and valid only during the call, so they are copied.
  FEncoder->OnProgress = [this](media::TCustomEncoder*, media::PProgressInfo info) {
    if (!OnProgress) return;
    TRunProgress progress;
    progress.TotalDuration = info->TotalDuration;
    progress.CurrentDuration = info->CurrentDuration;
    progress.CurrentSize = info->CurrentSize;
    OnProgress(progress);
  };
  FEncoder->OnTerminate = [this](media::TCustomEncoder*, const media::TTerminateInfo& info) {
    if (!OnTerminate) return;
    TRunTerminate terminate;
    terminate.TaskIndex = info.TaskIndex;
    terminate.Finished = info.Finished;
    terminate.Exception = info.Exception;
    terminate.ExceptionMsg = FromUtf8(info.ExceptionMsg);
    OnTerminate(terminate);
  };
}

TFFRunEncoder::~TFFRunEncoder() {
  // The encoder's destructor may still deliver an event that was on its way while it waits for
  // its threads; with the handlers gone it reaches nobody.
  OnProgress = nullptr;
  OnTerminate = nullptr;
  FEncoder.reset();
}

template <typename TResult, typename TCall>
TResult TFFRunEncoder::Guard(TResult failure, TCall call) {
  try {
    return call();
  } catch (const std::exception& e) {
    FLastErrMsg = QString::fromUtf8(e.what());
    return failure;
  }
}

bool TFFRunEncoder::AVLibLoaded() const { return FEncoder->AVLibLoaded(); }

bool TFFRunEncoder::LoadAVLib(const QString& folder) {
  return Guard(false, [&] {
    if (!FEncoder->LoadAVLib(ToUtf8(folder))) {
      FLastErrMsg = FromUtf8(FEncoder->LastErrMsg());
      return false;
    }
    media::RegisterWaveInputFormat();
    media::TFFBaseComponent::DisableFPUExceptions();
    FLastErrMsg.clear();
    return true;
  });
}

void TFFRunEncoder::ClearTasks() {
  Guard(false, [&] {
    FEncoder->ClearTasks();
    return true;
  });
}

int TFFRunEncoder::AddTask(const QString& source) {
  return Guard(-1, [&] {
    media::TInputOptions options;
    media::ClearInputOptions(options);
    options.FileName = ToUtf8(source);
    const int task = FEncoder->AddTask(options.FileName, &options);
    if (task < 0) FLastErrMsg = FromUtf8(FEncoder->LastErrMsg());
    return task;
  });
}

int TFFRunEncoder::SetOutput(int task, const QString& output, const QString& options) {
  return Guard(-1, [&] {
    media::TOutputOptions record;
    media::ClearOutputOptions(record);
    record.Options = ToUtf8(options);
    const int result = FEncoder->SetOutput(task, ToUtf8(output), &record);
    if (result < 0) FLastErrMsg = FromUtf8(FEncoder->LastErrMsg());
    return result;
  });
}

void TFFRunEncoder::RemoveTask(int task) {
  Guard(false, [&] {
    FEncoder->RemoveTask(task);
    return true;
  });
}

void TFFRunEncoder::Start(int threadCount) {
  try {
    FEncoder->Start(threadCount);
  } catch (const std::exception& e) {
    // Nothing was started ("Cannot StartTask while working."): the window still waits for the
    // end of a run, so it gets one, after Start has returned like a real run's.
    FLastErrMsg = QString::fromUtf8(e.what());
    const QString reason = FLastErrMsg;
    QTimer::singleShot(0, &FContext, [this, reason] {
      if (OnTerminate) OnTerminate(TRunTerminate{0, false, true, reason});
      if (OnTerminate) OnTerminate(TRunTerminate{-1, true, false, QString()});
    });
  }
}

void TFFRunEncoder::Stop(bool wait) {
  Guard(false, [&] {
    FEncoder->Stop(wait);
    return true;
  });
}

// --- Decoder -------------------------------------------------------------------------------------

TFFRunDecoder::TFFRunDecoder() : FDecoder(std::make_unique<media::TFFDecoder>()) {}

TFFRunDecoder::~TFFRunDecoder() = default;

bool TFFRunDecoder::LoadFile(const QString& path) {
  FDuration = -1;
  try {
    if (!FDecoder->LoadFile(ToUtf8(path))) {
      FLastErrMsg = FromUtf8(FDecoder->LastErrMsg());
      return false;
    }
    FDuration = FDecoder->FileStreamInfo().Duration;
  } catch (const std::exception& e) {
    FDecoder->CloseFile();
    FLastErrMsg = QString::fromUtf8(e.what());
    return false;
  }
  FLastErrMsg.clear();
  return true;
}

}  // namespace app
