#pragma once
// What the conversion and extraction windows need from the media library, as two small interfaces.
// The windows own one of each (the window's FFEncoder and FFDecoder). For the application, adapters
// over media::TFFEncoder and media::TFFDecoder implement them; tests drive the windows with
// scripted fakes.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "app/run_window/option_fitting.h"
#include "media/ff_encoder_records.h"

namespace media {
class TFFDecoder;
}

namespace app {

/// What a progress event tells the window: the engine's figures (TotalDuration, CurrentDuration
/// and CurrentSize are what the window shows); durations in microseconds, size in bytes.
using TRunProgress = media::TProgressFigures;

/// One terminate event: TaskIndex >= 0 for a task, -1 for the end of the whole run.
struct TRunTerminate {
  int TaskIndex = -1;
  bool Finished = false;   // the task wrote all its output
  bool Exception = false;  // the task ended by a fatal error
  QString ExceptionMsg;
};

/// The encoder as the run windows use it: one task per file, started on one conversion thread.
/// Contract for implementations:
/// - No method throws; failures are negative results or false with the reason in LastErrMsg.
/// - OnProgress and OnTerminate are called on the user-interface thread only (the adapter hands
///   the encoder's thread events over), never re-entering a method of this interface.
/// - Every started run ends with OnTerminate for its task and then exactly one OnTerminate with
///   TaskIndex -1, also when it was stopped or failed, and also when Start itself could not start
///   the task (then the task's event carries Exception and the reason).
/// - Stop(true) returns after the task's thread has ended; while it waits the user-interface
///   thread keeps delivering the events above.
class IRunEncoder {
 public:
  virtual ~IRunEncoder() = default;
  /// True once the FFmpeg libraries are loaded (process-wide, so a second window finds them loaded).
  virtual bool AVLibLoaded() const = 0;
  /// Loads the libraries from folder (and the system's library path). False: LastErrMsg says why.
  virtual bool LoadAVLib(const QString& folder) = 0;
  /// Frees every task. Allowed after the end-of-run event. False when the encoder refused (a run
  /// still going): LastErrMsg says why and the tasks stay.
  virtual bool ClearTasks() = 0;
  /// Opens source as the input of a new task. Returns the task's index, or a negative value with
  /// LastErrMsg set and no task added.
  virtual int AddTask(const QString& source) = 0;
  /// Sets the task's output file and option string (FFmpeg command-line syntax). Negative on
  /// failure with LastErrMsg set; the task stays and may be removed.
  virtual int SetOutput(int task, const QString& output, const QString& options) = 0;
  /// Frees one task. False when the encoder refused: LastErrMsg says why and the task stays.
  virtual bool RemoveTask(int task) = 0;
  /// Starts the tasks, at most threadCount at a time, each on a conversion thread of its own.
  virtual void Start(int threadCount) = 0;
  /// Asks the running tasks to stop; with wait, returns once they have. False when the encoder
  /// failed to: LastErrMsg says why, and the run ends by itself as any run does.
  virtual bool Stop(bool wait) = 0;
  virtual QString LastErrMsg() const = 0;
  /// FFmpeg's own error-level lines since the last ClearTasks (its words on why a file failed, or on
  /// the damage it found in a source) and its warnings of corrupt decoded frames, oldest first,
  /// each without time, thread and addresses.
  /// Complete when the end-of-run OnTerminate is delivered.
  virtual QStringList ErrorLines() const { return {}; }
  /// The option text to convert a source of this shape into output with: options itself, or a
  /// text where a setting the encoder would refuse is replaced by the nearest one it accepts,
  /// with *note saying what changed (see option_fitting.h). Never throws.
  virtual QString FitOptions(const QString& options, const QString& output, const TSourceShape& shape,
                             QString* note) {
    Q_UNUSED(output);
    Q_UNUSED(shape);
    note->clear();
    return options;
  }

  std::function<void(const TRunProgress&)> OnProgress;
  std::function<void(const TRunTerminate&)> OnTerminate;
};

/// The decoder as the run windows use it: it opens the source before conversion (a file the
/// decoder cannot open is not handed to the encoder) and tells its duration.
class IRunDecoder {
 public:
  virtual ~IRunDecoder() = default;
  /// Opens path, closing any file opened before. False: LastErrMsg says why and no file is open.
  virtual bool LoadFile(const QString& path) = 0;
  virtual QString LastErrMsg() const = 0;
  /// Duration of the open file in microseconds; negative when unknown or no file is open.
  virtual int64_t Duration() const = 0;
  /// Frame size, channels and sample rate of the open file's first video and audio streams.
  virtual TSourceShape Shape() const { return {}; }
  /// The media library's decoder behind this one, which the audio window's wave input reads the
  /// loaded source's PCM from (on the conversion's thread, while a run goes on); null when there
  /// is none (scripted decoders), and then the window has no wave input.
  virtual media::TFFDecoder* FFDecoder() { return nullptr; }
  /// Keeps the loaded source open after LoadFile (the wave input reads it during the run); by
  /// default only its duration and shape are read and the file is closed again.
  virtual void SetKeepFileOpen(bool keep) {}
};

}  // namespace app
