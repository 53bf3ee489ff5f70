#pragma once
// The records the encoder component takes from its caller (input and output options) and hands
// out with its events (progress, preview, hooks, terminate), and the event types themselves.
// The encoder keeps one instance of each event record and overwrites it under that event's lock,
// so a handler may read the record it is given but must not keep the pointer past its return.

#include <cstdint>
#include <functional>
#include <string>

#include "media/ff_types.h"
#include "media/format_converter.h"

namespace media {

class TCustomEncoder;

/// One input of a task. Options and Presets use the engine's option syntax for the input side.
struct TInputOptions {
  std::string FileName;
  std::string Options;
  std::string Presets;
  int Tag = 0;
  void* Data = nullptr;  // the caller's; never dereferenced by the library
};
using PInputOptions = TInputOptions*;
/// Texts empty, Tag 0, Data null.
inline void ClearInputOptions(TInputOptions& options) { options = TInputOptions{}; }

/// One output of a task. The hook switches bind the matching events of the task to the encoder's
/// OnAudioInputHook... handlers; VideoHookBitsPixel is the depth of the bitmaps the video hooks get.
struct TOutputOptions {
  std::string FileName;
  std::string Options;
  std::string Presets;
  bool AudioInputHook = false;
  bool AudioOutputHook = false;
  bool VideoInputHook = false;
  bool VideoOutputHook = false;
  int VideoHookBitsPixel = 32;
  bool FrameInputHook = false;
  bool FrameOutputHook = false;
  int Tag = 0;
  void* Data = nullptr;
};
using POutputOptions = TOutputOptions*;
/// Texts empty, every switch off, VideoHookBitsPixel 32, Tag 0, Data null.
inline void ClearOutputOptions(TOutputOptions& options) { options = TOutputOptions{}; }

/// The figures of one progress report, as the engine's progress line has them: the one record
/// under the engine's report (TFFProgress), the encoder's (TProgressInfo) and the run windows'.
/// Durations in microseconds, sizes in bytes.
struct TProgressFigures {
  int FileIndex = -1;                // always -1
  int FrameNumber = -1;              // frames written by the first video encoder; -1 without video
  int FPS = -1;                      // rounded frames per second; -1 without video
  float Quality = -1;                // q of the last output stream; -1 for a stream copy
  float BitRate = -1;                // kbit/s; -1 when unknown
  std::int64_t CurrentSize = 0;      // bytes written; 0 when unknown
  std::int64_t CurrentDuration = 0;  // largest end time stamp over the outputs
  std::int64_t TotalDuration = -1;   // OutputDuration, else InputDuration; -1 when unknown
};

/// A progress report of one task: the engine's figures and the task's index in the list.
struct TProgressInfo : TProgressFigures {
  int TaskIndex = -1;
};
using PProgressInfo = TProgressInfo*;

/// A converted output frame for the preview. The bitmap belongs to the task and is valid only
/// while the handler runs.
struct TPreviewInfo {
  int TaskIndex = -1;
  TBitmap* Bitmap = nullptr;
  int FrameNumber = 0;
  std::int64_t PTS = 0;
};

/// A frame handed to a video hook as a bitmap. The handler may paint into the bitmap and set
/// Update so the task takes the pixels back, and StopHook to receive no further frames.
struct THookInfo {
  int TaskIndex = -1;
  TBitmap* Bitmap = nullptr;
  int FrameNumber = 0;
  std::int64_t PTS = 0;
  bool Update = false;
  bool StopHook = false;
};
using PHookInfo = THookInfo*;

/// A raw frame handed to a frame hook; the picture belongs to the task.
struct TFrameHookInfo {
  int TaskIndex = -1;
  int FrameNumber = 0;
  TPicture* Picture = nullptr;
  int PixFmt = kNoFormat;  // an AVPixelFormat
  int Width = 0;
  int Height = 0;
  std::int64_t PTS = 0;
};
using PFrameHookInfo = TFrameHookInfo*;

/// The end of one task (TaskIndex >= 0) or of the whole run (TaskIndex -1, Finished true).
/// Finished: the task ran to its end; Exception: it ended by a fatal error, ExceptionMsg says which.
struct TTerminateInfo {
  int TaskIndex = -1;
  bool Finished = false;
  bool Exception = false;
  std::string ExceptionMsg;
};

/// The priority of the conversion threads. On Linux tpIdle is SCHED_IDLE and the others are nice
/// steps (lowest +10, lower +5, normal 0, higher -5, highest -10, time critical -15); raising the
/// priority needs privileges and is otherwise ignored with a warning (TCustomFFmpeg::StartConvert).
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TEncProgressEvent = std::function<void(TCustomEncoder* sender, PProgressInfo info)>;
using TTerminateEvent = std::function<void(TCustomEncoder* sender, const TTerminateInfo& info)>;
using TEncPreviewBitmapEvent = std::function<void(TCustomEncoder* sender, const TPreviewInfo& info)>;
using TEncVideoHookEvent = std::function<void(TCustomEncoder* sender, PHookInfo info)>;
using TEncFrameHookEvent = std::function<void(TCustomEncoder* sender, PFrameHookInfo info)>;
/// (sender, task index, PTS, frame, size in bytes, sample rate, channels, sample format).
using TEncAudioHookEvent = std::function<void(TCustomEncoder* sender, int taskIndex, std::int64_t pts, AVFrame* frame,
                                              int size, int sampleRate, int channels, int sampleFormat)>;
/// (sender, the input's format context before its streams are probed).
using TBeforeFindStreamInfoEvent = std::function<void(TCustomEncoder* sender, AVFormatContext* context)>;

}  // namespace media
