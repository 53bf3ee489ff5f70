#include "media/ffmpeg.h"

#include <string>

#include "media/ff_api.h"

namespace media {

TFFmpeg::TFFmpeg(IFFTaskEvents& events, const TFFBaseComponent* owner) : FEvents(events) {
  SetOwner(owner);
  BuildOptionTable();
}

TFFmpeg::~TFFmpeg() {
  // The forwarding lambdas capture this object: the run must be over before they go.
  TCustomFFmpeg::Stop(true);
  OnProgress = nullptr;
  OnTerminate = nullptr;
  OnBeforeFindStreamInfo = nullptr;
  OnPreviewBitmap = nullptr;
  OnInputAudioHook = nullptr;
  OnOutputAudioHook = nullptr;
  OnInputVideoHook = nullptr;
  OnOutputVideoHook = nullptr;
  OnInputFrameHook = nullptr;
  OnOutputFrameHook = nullptr;
}

void TFFmpeg::BindEvent(TTaskEvent event, bool bound) {
  switch (event) {
    case TTaskEvent::BeforeFindStreamInfo:
      if (bound)
        OnBeforeFindStreamInfo = [this](TCustomFFmpegOpt*, AVFormatContext* ctx) {
          FEvents.TaskBeforeFindStreamInfo(this, ctx);
        };
      else
        OnBeforeFindStreamInfo = nullptr;
      break;
    case TTaskEvent::Progress:
      if (bound)
        OnProgress = [this](TCustomFFmpeg*, const TFFProgress& p) {
          TProgressInfo info;
          static_cast<TProgressFigures&>(info) = p;  // the encoder puts the task's index in
          FEvents.TaskProgress(this, info);
        };
      else
        OnProgress = nullptr;
      break;
    case TTaskEvent::Terminate:
      if (bound)
        OnTerminate = [this](TCustomFFmpeg*) { FEvents.TaskTerminate(this); };
      else
        OnTerminate = nullptr;
      break;
    case TTaskEvent::PreviewBitmap:
      if (bound)
        OnPreviewBitmap = [this](TCustomFFmpeg*, TBitmap* bitmap, int frameNumber, std::int64_t pts) {
          TPreviewInfo info;
          info.Bitmap = bitmap;
          info.FrameNumber = frameNumber;
          info.PTS = pts;
          FEvents.TaskPreviewBitmap(this, info);
        };
      else
        OnPreviewBitmap = nullptr;
      break;
    case TTaskEvent::AudioInputHook:
    case TTaskEvent::AudioOutputHook: {
      const bool input = event == TTaskEvent::AudioInputHook;
      TFFAudioHookEvent& hook = input ? OnInputAudioHook : OnOutputAudioHook;
      if (bound)
        hook = [this, input](TCustomFFmpeg*, std::int64_t pts, AVFrame* frame, int size, int sampleRate, int channels,
                             AVSampleFormat sampleFormat) {
          FEvents.TaskAudioHook(this, input, pts, frame, size, sampleRate, channels, sampleFormat);
        };
      else
        hook = nullptr;
      break;
    }
    case TTaskEvent::VideoInputHook:
    case TTaskEvent::VideoOutputHook: {
      const bool input = event == TTaskEvent::VideoInputHook;
      TFFVideoHookEvent& hook = input ? OnInputVideoHook : OnOutputVideoHook;
      if (bound)
        hook = [this, input](TCustomFFmpeg*, TBitmap* bitmap, int frameNumber, std::int64_t pts, bool& update,
                             bool& stopHook) {
          THookInfo info;
          info.Bitmap = bitmap;
          info.FrameNumber = frameNumber;
          info.PTS = pts;
          info.Update = update;
          info.StopHook = stopHook;
          FEvents.TaskVideoHook(this, input, info);
          update = info.Update;
          stopHook = info.StopHook;
        };
      else
        hook = nullptr;
      break;
    }
    case TTaskEvent::FrameInputHook:
    case TTaskEvent::FrameOutputHook: {
      const bool input = event == TTaskEvent::FrameInputHook;
      TFFFrameHookEvent& hook = input ? OnInputFrameHook : OnOutputFrameHook;
      if (bound)
        hook = [this, input](TCustomFFmpeg*, TPicture* picture, AVPixelFormat pixFmt, int frameNumber, int width,
                             int height, std::int64_t pts) {
          TFrameHookInfo info;
          info.FrameNumber = frameNumber;
          info.Picture = picture;
          info.PixFmt = pixFmt;
          info.Width = width;
          info.Height = height;
          info.PTS = pts;
          FEvents.TaskFrameHook(this, input, info);
        };
      else
        hook = nullptr;
      break;
    }
  }
}

int TFFmpeg::OpenInput(const std::string& fileName, const std::string& options, const std::string& presets) {
  return TCustomFFmpegOpt::OpenInput(fileName, options, presets);
}

int TFFmpeg::OpenOutput(const std::string& fileName, const std::string& options, const std::string& presets) {
  return TCustomFFmpegOpt::OpenOutput(fileName, options, presets);
}

AVFormatContext* TFFmpeg::InputFormatContext(int index) const { return TCustomFFmpegOpt::InputFormatContext(index); }

void TFFmpeg::SetPreviewInterval(std::int64_t microseconds) {
  FPreviewInterval = microseconds;
  TCustomFFmpeg::SetPreviewInterval(microseconds);
}

void TFFmpeg::SetPostHooks(bool preview, bool bitmap) {
  FPreview = preview;
  FPreviewBitmap = bitmap;
  TCustomFFmpeg::SetPostHooks((preview ? TPostHooks(phPreview) : 0u) | (bitmap ? TPostHooks(phBitmap) : 0u));
}

void TFFmpeg::SetVideoHookBitsPixel(int bitsPixel) {
  // The option handler is the engine's one road to the hooks' bitmap depth; it logs and returns
  // a negative code for a depth the picture converter does not take.
  OptVideoHookBitsPixel(nullptr, "VideoHookBitsPixel", std::to_string(bitsPixel));
}

void TFFmpeg::StartConvert(bool useThread, TThreadPriority priority) {
  // See TCustomFFmpeg::StartConvert for what each priority maps to on Linux.
  TCustomFFmpeg::StartConvert(useThread, priority);
}

}  // namespace media
