#include "app/run_window/ff_run_media.h"

#include <QRegularExpression>
#include <QTimer>
#include <exception>
#include <string>

#include "media/encoder_trial.h"
#include "media/ff_base.h"
#include "media/ff_decoder.h"
#include "media/ff_encoder.h"
#include "media/ff_logger.h"
#include "media/wave_input.h"
#include "platform/file_names.h"
#include "platform/main_thread.h"

namespace app {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }
std::string ToUtf8(const QString& text) { return text.toStdString(); }

// A logger line "hh:nn:ss.zzz [0000abcd]* [libx264 @ 0x55d0c0] [Error] width not divisible by 2"
// as the user reads it: "[libx264] width not divisible by 2".
QString ErrorLineText(const QString& line) {
  static const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d+ \\[[0-9a-fA-F]+\\]\\*? "));
  static const QRegularExpression address(QStringLiteral(" @ (0x)?[0-9a-fA-F]+\\]"));
  static const QRegularExpression level(QStringLiteral("\\[(Panic|Fatal|Error|Warning)\\] "));
  QString text = line;
  text.remove(time);
  text.replace(address, QStringLiteral("]"));
  text.remove(level);
  return text.trimmed();
}

}  // namespace

// The encoders' limits as the FFmpeg libraries of this process report them.
class TFFEncoderLimits : public IEncoderLimits {
 public:
  TAudioInput AudioInput(const QString& encoder, int sampleRate, int channels) override {
    const media::TAudioEncoderInput input = media::AudioEncoderInput(ToUtf8(encoder), sampleRate, channels);
    return {input.SampleRate, input.Channels};
  }
  bool AudioAccepts(const QString& encoder, int sampleRate, int channels, int64_t bitRate) override {
    return media::AudioEncoderAccepts(ToUtf8(encoder), sampleRate, channels, bitRate);
  }
  bool VideoAccepts(const QString& encoder, int width, int height, const QString& pixelFormat) override {
    return media::VideoEncoderAccepts(ToUtf8(encoder), width, height, ToUtf8(pixelFormat));
  }
  QString DefaultAudioEncoder(const QString& output) override {
    return FromUtf8(media::ContainerDefaults(ToUtf8(output)).AudioEncoder);
  }
  QString DefaultVideoEncoder(const QString& output) override {
    return FromUtf8(media::ContainerDefaults(ToUtf8(output)).VideoEncoder);
  }
};

struct TFFRunEncoder::TRunSink {
  bool Collecting = true;
  QStringList Lines;
};

// --- Encoder -------------------------------------------------------------------------------------

TFFRunEncoder::TFFRunEncoder() : FEncoder(std::make_unique<media::TFFEncoder>()) {
  FEncoder->SetTriggerEventInMainThread(true);
  BeginSink();
  // Both run on the user-interface thread (TriggerEventInMainThread); the records are the
  // encoder's and valid only during the call, so they are copied.
  FEncoder->OnProgress = [this](media::TCustomEncoder*, media::PProgressInfo info) {
    if (OnProgress) OnProgress(*info);
  };
  FEncoder->OnTerminate = [this](media::TCustomEncoder*, const media::TTerminateInfo& info) {
    TRunTerminate terminate;
    terminate.TaskIndex = info.TaskIndex;
    terminate.Finished = info.Finished;
    terminate.Exception = info.Exception;
    terminate.ExceptionMsg = FromUtf8(info.ExceptionMsg);
    if (info.TaskIndex >= 0) {
      if (OnTerminate) OnTerminate(terminate);
      return;
    }
    // The lines the run logged last may still be on their way to this thread: the end of the
    // run comes after them. The barrier runs only while this file's subscription lasts, which the
    // destructor ends on this thread.
    FSubscription.AfterQueuedLines([this, sink = FSink, terminate] {
      auto end = [this, sink, terminate] {
        sink->Collecting = false;
        if (OnTerminate) OnTerminate(terminate);
      };
      if (platform::IsMainThread())
        end();
      else
        QMetaObject::invokeMethod(&FContext, end, Qt::QueuedConnection);
    });
  };
}

void TFFRunEncoder::BeginSink() {
  FSubscription.Reset();
  FSink = std::make_shared<TRunSink>();
  // Lines arrive on the user-interface thread (the logger's TriggerEventInMainThread, which the
  // application leaves on); only error-level lines are kept, and only while the file's run goes on.
  FSubscription = media::FFLogger().Subscribe([sink = FSink](const media::ILogReporter*, int,
                                                             media::TLogLevel level, const std::string& text) {
    if (!sink->Collecting || level == media::TLogLevel::llQuiet || level > media::TLogLevel::llWarning) return;
    const QString line = ErrorLineText(QString::fromStdString(text));
    // Of the warnings only the words on a damaged frame or packet count: they report damage that
    // has no error line of its own.
    if (level == media::TLogLevel::llWarning && !line.contains(QLatin1String("corrupt decoded frame")) &&
        !line.contains(QLatin1String("corrupt input packet")))
      return;
    if (!line.isEmpty()) sink->Lines.append(line);
  });
}

TFFRunEncoder::~TFFRunEncoder() {
  // The encoder's destructor may still deliver an event that was on its way while it waits for
  // its threads; with the handlers gone it reaches nobody.
  OnProgress = nullptr;
  OnTerminate = nullptr;
  FEncoder.reset();
  FSubscription.Reset();
}

QStringList TFFRunEncoder::ErrorLines() const { return FSink->Lines; }

QString TFFRunEncoder::FitOptions(const QString& options, const QString& output, const TSourceShape& shape,
                                  QString* note) {
  note->clear();
  try {
    TFFEncoderLimits limits;
    const TFittedOptions fitted = FitOptionsToSource(options, output, shape, limits);
    *note = fitted.Note;
    return fitted.Options;
  } catch (const std::exception&) {
    return options;  // the libraries are not there: the conversion itself will say so
  }
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

bool TFFRunEncoder::ClearTasks() {
  const bool cleared = Guard(false, [&] {
    FEncoder->ClearTasks();
    return true;
  });
  // A new file: its lines start here (opening the input and the output logs too).
  BeginSink();
  return cleared;
}

int TFFRunEncoder::AddTask(const QString& source) {
  return Guard(-1, [&] {
    media::TInputOptions options;
    media::ClearInputOptions(options);
    options.FileName = platform::FileNameBytes(source);
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
    const int result = FEncoder->SetOutput(task, platform::FileNameBytes(output), &record);
    if (result < 0) FLastErrMsg = FromUtf8(FEncoder->LastErrMsg());
    return result;
  });
}

bool TFFRunEncoder::RemoveTask(int task) {
  return Guard(false, [&] {
    FEncoder->RemoveTask(task);
    return true;
  });
}

void TFFRunEncoder::Start(int threadCount) {
  FSink->Collecting = true;
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

bool TFFRunEncoder::Stop(bool wait) {
  return Guard(false, [&] {
    FEncoder->Stop(wait);
    return true;
  });
}

// --- Decoder -------------------------------------------------------------------------------------

TFFRunDecoder::TFFRunDecoder() : FDecoder(std::make_unique<media::TFFDecoder>()) {}

TFFRunDecoder::~TFFRunDecoder() = default;

bool TFFRunDecoder::LoadFile(const QString& path) {
  FDuration = -1;
  FShape = TSourceShape();
  try {
    if (!FDecoder->LoadFile(platform::FileNameBytes(path))) {
      FLastErrMsg = FromUtf8(FDecoder->LastErrMsg());
      return false;
    }
    FDuration = FDecoder->FileStreamInfo().Duration;
    FShape = TSourceShape();
    if (FDecoder->FirstVideoStreamIndex() >= 0) {
      const media::TVideoStreamSummary video = FDecoder->VideoStreamSummary(FDecoder->FirstVideoStreamIndex());
      FShape.Width = video.Width;
      FShape.Height = video.Height;
    }
    if (FDecoder->FirstAudioStreamIndex() >= 0) {
      const media::TAudioStreamInfo audio = FDecoder->GetAudioStreamInfo(FDecoder->FirstAudioStreamIndex());
      FShape.Channels = audio.Channels;
      FShape.SampleRate = audio.SampleRate;
    }
    // Only the duration and the shape are wanted (unless the wave input reads the file): the open
    // file and its probed decoders would otherwise stay in memory beside the conversion's own.
    if (!FKeepFileOpen) FDecoder->CloseFile();
  } catch (const std::exception& e) {
    FDecoder->CloseFile();
    FLastErrMsg = QString::fromUtf8(e.what());
    return false;
  }
  FLastErrMsg.clear();
  return true;
}

}  // namespace app
