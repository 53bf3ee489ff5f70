#pragma once
// TFFmpeg, one conversion task of the encoder component (media/ff_encoder.h): a TCustomFFmpeg
// (media/engine/custom_ffmpeg.h) that reports to its encoder. Only the encoder creates tasks, so
// only the media library sees this header and the engine's.

#include <atomic>
#include <cstdint>
#include <string>

#include "media/engine/custom_ffmpeg.h"
#include "media/ff_task.h"

namespace media {

/// One conversion task of a TFFEncoder: the engine, plus the forwarding of its notifications to
/// the encoder for the ones the encoder has bound. Created by the encoder; its events come from
/// the engine's threads (see TCustomFFmpeg).
class TFFmpeg : public TCustomFFmpeg, public IFFTask {
 public:
  /// Fills the engine's option table; the engine's log lines name owner.
  TFFmpeg(IFFTaskEvents& events, const TFFBaseComponent* owner);
  /// Stops a run and waits for it before the forwarding goes, then destroys the engine.
  ~TFFmpeg() override;

  void BindEvent(TTaskEvent event, bool bound) override;
  int OpenInput(const std::string& fileName, const std::string& options, const std::string& presets) override;
  int OpenOutput(const std::string& fileName, const std::string& options, const std::string& presets) override;
  AVFormatContext* InputFormatContext(int index) const override;
  std::string LastErrMsg() const override { return TCustomFFmpegOpt::LastErrMsg(); }
  void ClearLastErrMsg() override { TCustomFFmpegOpt::ClearLastErrMsg(); }
  void SetHaltOnInvalidOption(bool value) override { TCustomFFmpegOpt::SetHaltOnInvalidOption(value); }
  void SetReadTimeout(int milliseconds) override { TCustomFFmpegOpt::SetReadTimeout(milliseconds); }
  void SetWriteTimeout(int milliseconds) override { TCustomFFmpegOpt::SetWriteTimeout(milliseconds); }
  void SetPreviewInterval(std::int64_t microseconds) override;
  void SetReportInterval(std::int64_t microseconds) override { TCustomFFmpeg::SetReportInterval(microseconds); }
  void SetPostHooks(bool preview, bool bitmap) override;
  void SetVideoHookBitsPixel(int bitsPixel) override;
  void StartConvert(bool useThread, TThreadPriority priority) override;
  void Stop(bool waitForStop) override { TCustomFFmpeg::Stop(waitForStop); }
  void Terminate(bool waitForStop) override { TCustomFFmpeg::Terminate(waitForStop); }
  bool Finished() const override { return TCustomFFmpeg::Finished(); }
  bool FatalException() const override { return TCustomFFmpeg::FatalException(); }
  std::string FatalMessage() const override { return TCustomFFmpeg::FatalMessage(); }

  /// The settings kept for the engine's preview and hooks.
  std::int64_t PreviewInterval() const { return FPreviewInterval.load(); }
  bool PreviewOn() const { return FPreview.load(); }
  bool PreviewBitmapOn() const { return FPreviewBitmap.load(); }

 private:
  IFFTaskEvents& FEvents;
  std::atomic<std::int64_t> FPreviewInterval{100000};
  std::atomic<bool> FPreview{false};
  std::atomic<bool> FPreviewBitmap{false};
};

}  // namespace media
