// The engine's hooks and preview: the input hooks see every decoded frame before it is filtered,
// the output hooks every frame before it is encoded, and the preview paints encoded frames into
// the preview window or hands them to OnPreviewBitmap, at most once per preview interval.
//
// A hook that may change a picture works on a writable frame of the engine's own (the decoder's
// and the filters' buffers are shared and may still be referenced elsewhere), so what a handler
// leaves is what goes on, and a frame repeated by the frame-rate code is hooked afresh each time.

#include <cinttypes>
#include <cstring>
#include <exception>

#include "media/engine/custom_ffmpeg.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

namespace {

TPicture PictureOf(const AVFrame* frame) {
  TPicture picture;
  for (int i = 0; i < 4; i++) {
    picture.data[i] = frame->data[i];
    picture.linesize[i] = frame->linesize[i];
  }
  return picture;
}

}  // namespace

int TCustomFFmpeg::OptVideoHookBitsPixel(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  const int ret = TCustomFFmpegOpt::OptVideoHookBitsPixel(o, opt, arg);
  if (ret < 0) return ret;
  try {
    SetVideoHookBitsPixel(VideoHookBitsPixel());
  } catch (const std::exception& e) {
    SetOptionError(TLogLevel::llError, "%s", e.what());
    return AVERROR(EINVAL);
  }
  return 0;
}

void TCustomFFmpeg::SetVideoHookBitsPixel(int value) {
  FInputVideoHook.SetBitsPixel(value);
  FOutputVideoHook.SetBitsPixel(value);
}

void TCustomFFmpeg::SetPostHooks(TPostHooks value) {
  std::unique_ptr<TPreviewer> gone;
  {
    std::lock_guard<std::mutex> lock(FPostHookLock);
    if (!(value & phPreview)) gone = std::move(FPreviewer);
    FPostHooks = value;
    FPostHooksChanged = true;
  }
  // The window goes on the main thread; never while holding the lock the conversion thread takes.
  gone.reset();
}

TPostHooks TCustomFFmpeg::PostHooks() const {
  std::lock_guard<std::mutex> lock(FPostHookLock);
  return FPostHooks;
}

bool TCustomFFmpeg::VideoCopyRefused(std::string& error) const {
  if (OnInputVideoHook || OnOutputVideoHook) {
    error = "-vcodec/-c:video copy and VideoHook are incompatible (frames are not decoded)";
    return true;
  }
  if (OnInputFrameHook || OnOutputFrameHook) {
    error = "-vcodec/-c:video copy and FrameHook are incompatible (frames are not decoded)";
    return true;
  }
  if (PostHooks() & (phPreview | phBitmap)) {
    error = "-vcodec/-c:video copy and Preview are incompatible (frames are not decoded)";
    return true;
  }
  return false;
}

void TCustomFFmpeg::CallAudioHook(TFFAudioHookEvent& event, int64_t pts, AVFrame* frame, int sampleRate,
                                  int channels, AVSampleFormat sampleFormat) {
  if (!event) return;
  // The handler may change the samples: they must be ours alone.
  if (FF().av_frame_make_writable(frame) < 0) {
    Log(TLogLevel::llError, "audio hook: the frame could not be made writable; skipped");
    return;
  }
  const int size = channels * frame->nb_samples * FF().av_get_bytes_per_sample(sampleFormat);
  try {
    event(this, pts, frame, size, sampleRate, channels, sampleFormat);
  } catch (const std::exception& e) {
    Log(TLogLevel::llError, "Error occurs AudioHook event: %s", e.what());
  }
}

bool TCustomFFmpeg::VideoHookStep(TFFVideoHookEvent& event, TFormatConverter& converter, const TPicture& picture,
                                  AVPixelFormat pixFmt, int width, int height, int frameNumber, int64_t pts) {
  if (!converter.PictureToRGB(picture.data, picture.linesize, true, height, width, pixFmt)) {
    Log(TLogLevel::llError, "%s", converter.LastErrMsg().c_str());
    event = nullptr;
    return false;
  }
  if (!event) return false;
  bool update = true;
  bool stopHook = false;
  try {
    event(this, &converter.Bitmap(), frameNumber, pts, update, stopHook);
  } catch (const std::exception& e) {
    Log(TLogLevel::llError, "Error occurs VideoHook event: %s", e.what());
    update = false;
  }
  bool matches = true;
  if (update) {
    if (!converter.BitmapToRGB() || !converter.RGBToPicture(picture.data, picture.linesize, height, width, pixFmt)) {
      Log(TLogLevel::llError, "%s", converter.LastErrMsg().c_str());
      stopHook = true;
      matches = false;
    }
  } else {
    // The handler may have painted without asking for it: the bitmap is not the picture.
    matches = false;
  }
  if (stopHook) event = nullptr;
  return matches;
}

void TCustomFFmpeg::pre_process_video_frame(TInputStream& ist, AVFrame* frame) {
  ist.frame_number++;
  if (!OnInputFrameHook && !OnInputVideoHook) return;
  if (FF().av_frame_make_writable(frame) < 0) {
    Log(TLogLevel::llError, "memory malloc error in pre_process_video_frame().");
    return;
  }
  const TPicture picture = PictureOf(frame);
  const AVPixelFormat pixFmt = AVPixelFormat(frame->format);
  TPicture handed = picture;
  if (OnInputFrameHook) {
    try {
      OnInputFrameHook(this, &handed, pixFmt, int(ist.frame_number), frame->width, frame->height, ist.pts);
    } catch (const std::exception& e) {
      Log(TLogLevel::llError, "Error occurs FrameHook event: %s", e.what());
    }
  }
  if (OnInputVideoHook)
    VideoHookStep(OnInputVideoHook, FInputVideoHook, picture, pixFmt, frame->width, frame->height,
                  int(ist.frame_number), ist.pts);
}

AVFrame* TCustomFFmpeg::OutputHookStep(TOutputStream& ost, AVFrame* frame) {
  AVCodecContext* enc = ost.enc_ctx.get();
  const int64_t ptsUs = FF().av_rescale_q(frame->pts, enc->time_base, AV_TIME_BASE_Q);
  const int frameNumber = ost.frame_number + 1;
  const bool hooks = OnOutputVideoHook || OnOutputFrameHook;
  AVFrame* out = frame;
  bool converterHolds = false;
  if (hooks) {
    if (FHookFrame == nullptr) FHookFrame.reset(FF().av_frame_alloc());
    if (FHookFrame == nullptr) {
      Log(TLogLevel::llError, "hook buf malloc error.");
      return frame;
    }
    FF().av_frame_unref(FHookFrame.get());
    if (FF().av_frame_ref(FHookFrame.get(), frame) < 0 || FF().av_frame_make_writable(FHookFrame.get()) < 0) {
      FF().av_frame_unref(FHookFrame.get());
      Log(TLogLevel::llError, "hook buf malloc error.");
      return frame;
    }
    out = FHookFrame.get();
    const TPicture picture = PictureOf(out);
    if (OnOutputVideoHook)
      converterHolds = VideoHookStep(OnOutputVideoHook, FOutputVideoHook, picture, enc->pix_fmt, enc->width,
                                     enc->height, frameNumber, ptsUs);
    if (OnOutputFrameHook) {
      TPicture handed = picture;
      try {
        OnOutputFrameHook(this, &handed, enc->pix_fmt, frameNumber, enc->width, enc->height, ptsUs);
      } catch (const std::exception& e) {
        Log(TLogLevel::llError, "Error occurs FrameHook event: %s", e.what());
      }
      // The frame hook may have changed what the bitmap shows.
      converterHolds = false;
    }
  }
  bool anyPostHook = false;
  {
    std::lock_guard<std::mutex> lock(FPostHookLock);
    anyPostHook = (FPostHooks & (phPreview | phBitmap)) != 0;
  }
  if (anyPostHook)
    PostHookStep(PictureOf(out), enc->pix_fmt, enc->width, enc->height, frameNumber, ptsUs, converterHolds);
  return out;
}

void TCustomFFmpeg::PostHookStep(const TPicture& picture, AVPixelFormat pixFmt, int width, int height,
                                 int frameNumber, int64_t pts, bool converterHoldsPicture) {
  std::unique_ptr<TPreviewer> gone;
  {
    std::lock_guard<std::mutex> lock(FPostHookLock);
    TPostHooks hooks = FPostHooks;
    const bool bitmapOut = (hooks & phBitmap) && OnPreviewBitmap;
    const bool previewOut = !bitmapOut && (hooks & phPreview);
    if (bitmapOut || previewOut) {
      const int64_t now = FF().av_gettime_relative();
      // The first frame of a run is always shown, however young the monotonic clock is.
      if (FPreviewLastTime == 0 || now - FPreviewLastTime > FPreviewInterval) {
        bool ok = true;
        if (!converterHoldsPicture || FPostHooksChanged) {
          ok = FOutputVideoHook.PictureToRGB(picture.data, picture.linesize, true, height, width, pixFmt);
          if (!ok) Log(TLogLevel::llError, "%s", FOutputVideoHook.LastErrMsg().c_str());
        }
        if (bitmapOut) {
          if (ok) {
            try {
              OnPreviewBitmap(this, &FOutputVideoHook.Bitmap(), frameNumber, pts);
            } catch (const std::exception& e) {
              Log(TLogLevel::llError, "Error occurs PreviewBitmap event: %s", e.what());
            }
          } else {
            hooks &= ~TPostHooks(phBitmap);
          }
        } else {
          if (ok) {
            if (!FPreviewer) FPreviewer = std::make_unique<TPreviewer>();
            ok = FPreviewer->PaintFrame(FOutputVideoHook.Bitmap(), frameNumber, pts);
          }
          if (!ok) hooks &= ~TPostHooks(phPreview);
        }
        FPreviewLastTime = now;
      }
    }
    if (!(hooks & phPreview)) gone = std::move(FPreviewer);
    FPostHooks = hooks;
    FPostHooksChanged = false;
  }
  gone.reset();
}

}  // namespace media
