#pragma once
// The decoder component's first half: opens one media file with FFmpeg and describes it (file
// size, format, duration, bit rate, metadata, stream counts, each stream's properties, and a
// multi-line dump in the manner of FFmpeg's format dump). The adding window probes every added
// file with it; TFFDecoder (media/ff_decoder.h) adds decoding.
//
// Unknown values: counts and indexes are -1 without a file; durations unknown to the container
// are -1 (any negative duration means unknown); an unknown frame rate is 0/1, never a rational
// with a zero denominator; an aspect ratio that cannot be computed stays -1.0.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "media/ff_types.h"
#include "media/ff_base.h"
#include "media/ff_handles.h"
#include "media/ff_logger.h"
#include "media/ff_options.h"

namespace media {

/// The file as a whole. Times in microseconds.
struct TFileStreamInfo {
  int64_t StartTime = kNoPTS;
  int64_t Duration = -1;  // -1 when unknown
  int64_t BitRate = -1;   // bits per second; 0 when the container does not say
  int Year = -1;
  int Track = -1;
  std::string Title, Author, Copyright, Comment, Album, Genre;
};

/// One audio stream. StartTime and Duration in the stream's time base (Duration -1 when
/// unknown), the ...Scaled twins in microseconds (-1 when unknown).
struct TAudioStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTime = -1;
  int64_t StartTimeScaled = -1;
  int64_t Duration = -1;
  int64_t DurationScaled = -1;
  int64_t BitRate = -1;
  int Channels = -1;
  int SampleRate = -1;
  int SampleFormat = kNoFormat;  // an AVSampleFormat
};

/// One video stream; times as for audio.
struct TVideoStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTime = -1;
  int64_t StartTimeScaled = -1;
  int64_t Duration = -1;
  int64_t DurationScaled = -1;
  int64_t BitRate = -1;
  int Height = -1;
  int Width = -1;
  float SampleAspectRatio = -1.0f;  // -1 when unknown
  float DisplayAspectRatio = -1.0f;  // -1 when unknown
  TRational SAR{0, 1};
  TRational DAR{0, 1};
  int PixFmt = kNoFormat;  // an AVPixelFormat
  TRational FrameRate{0, 1};  // 0/1 when unknown
};

/// One subtitle stream.
struct TSubtitleStreamInfo {
  std::string Language;
  std::string CodecName;
  int SubFormat = -1;  // 0 bitmap, 1 text, -1 unknown
};

/// The numbers of a video stream that a file list shows, by the same rules as TVideoStreamInfo.
struct TVideoStreamSummary {
  int64_t BitRate = -1;
  int Width = -1;
  int Height = -1;
  TRational FrameRate{0, 1};  // 0/1 when unknown
};

class TCustomDecoder : public TFFBaseComponent {
 public:
  /// No file; GetLongCodecName and TriggerEventInMainThread on; fresh options.
  explicit TCustomDecoder(TFFBaseComponent* owner = nullptr);
  /// Closes the file (when owned).
  ~TCustomDecoder() override;
  std::string ClassName() const override { return "TCustomDecoder"; }

  /// Sets the loader's library folder and loads the decoder's libraries; on failure LastErrMsg
  /// is the loader's text. Returns whether they are loaded.
  bool LoadAVLib(const std::string& path);
  /// Whether the decoder's libraries are loaded.
  bool AVLibLoaded() const;

  /// Opens fileName (UTF-8) and reads its stream information; formatName forces a demuxer when
  /// not empty. Only opening and probing happen here (fast enough for a thousand files). Returns
  /// false with LastErrMsg on every failure and leaves no file open then:
  ///   "Unknown input format: <name>", "<file>: <FFmpeg error text>" (e.g. "No such file or
  ///   directory", "Invalid data found when processing input"), "<file>: could not find codec
  ///   parameters". Throws FFmpegException "Library <name> not loaded." when the libraries are not.
  bool LoadFile(const std::string& fileName, const std::string& formatName = "");
  /// Closes the file when the decoder opened it, forgets it, and resets the counts.
  virtual void CloseFile();
  /// The open format context, or nullptr. Borrowed: do not close it.
  AVFormatContext* FileHandle() const { return FFileHandle; }
  /// Takes a context opened elsewhere (not owned, never closed here) after closing the current
  /// file. Throws FFmpegException when the libraries are not loaded.
  virtual void SetFileHandle(AVFormatContext* value);

  /// The context's file name (UTF-8); empty without a file.
  std::string FileName() const;
  /// Bytes; -1 without a file.
  int64_t FileSize() const { return FFileSize; }
  /// The format name given to the last successful LoadFile.
  const std::string& ForceFormat() const { return FForceFormat; }
  /// The demuxer's short and long names; empty without a file.
  std::string FormatName() const;
  std::string FormatLongName() const;
  /// Whether codec names carry the long name: "mpeg4(MPEG-4 part 2)". On by default.
  bool GetLongCodecName() const { return FGetLongCodecName; }
  void SetGetLongCodecName(bool value) { FGetLongCodecName = value; }
  /// Whether OnBeforeFindStreamInfo runs on the main thread (platform::CallInMainThread). On by
  /// default.
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool value) { FTriggerEventInMainThread = value; }

  /// -1 without a file.
  int StreamCount() const { return FStreamCount; }
  int ProgramCount() const { return FProgramCount; }
  int AudioStreamCount() const { return FAudioStreamCount; }
  int VideoStreamCount() const { return FVideoStreamCount; }
  int SubtitleStreamCount() const { return FSubtitleStreamCount; }
  /// -1 without a file or without a stream of that kind.
  int FirstAudioStreamIndex() const { return FFirstAudioStreamIndex; }
  int FirstVideoStreamIndex() const { return FFirstVideoStreamIndex; }
  int FirstSubtitleStreamIndex() const { return FFirstSubtitleStreamIndex; }

  /// The file's information; without a file the reset values and "file not loaded." (Warning).
  TFileStreamInfo FileStreamInfo();
  /// A stream's information; index -1 means the first stream of the kind. On a failure the reset
  /// values, with LastErrMsg and a log line: "file not loaded." (Warning), "no video stream.",
  /// "stream index #<n> is invalid.", "stream #<n> is not video stream." (Error), and the audio
  /// and subtitle twins. A stream time base with denominator 0 is repaired in the stream itself
  /// (den := num, or 1).
  TVideoStreamInfo GetVideoStreamInfo(int streamIndex);
  TAudioStreamInfo GetAudioStreamInfo(int streamIndex);
  TSubtitleStreamInfo GetSubtitleStreamInfo(int streamIndex);
  TVideoStreamInfo FirstVideoStreamInfo() { return GetVideoStreamInfo(-1); }
  TAudioStreamInfo FirstAudioStreamInfo() { return GetAudioStreamInfo(-1); }
  TSubtitleStreamInfo FirstSubtitleStreamInfo() { return GetSubtitleStreamInfo(-1); }
  /// The file's duration in microseconds, -1 when unknown or without a file.
  int64_t FileDuration() const;
  /// Frame rate, bit rate and size of a video stream, without the texts (codec name, language,
  /// tags) GetVideoStreamInfo also builds: a quick probe of many files reads only these. The reset
  /// values when the stream does not exist or is not video; nothing is logged.
  TVideoStreamSummary VideoStreamSummary(int streamIndex) const;
  /// True when that stream exists and is video.
  bool IsVideoStream(int streamIndex) const;
  /// The multi-line description ("File Name: ...", "Duration: ...", "  Stream #0, ..."), lines
  /// joined by "\n"; empty and "file not loaded." (Warning) without a file.
  std::string FileInfoText();

  const std::string& LastErrMsg() const { return FLastErrMsg; }
  /// The option dictionaries used by the next LoadFile (format and codec options, scaler flags).
  TFFOptions& Options() { return FOptions; }

  /// Raised after the file was opened, before its streams are probed; the handler may adjust
  /// the context (probe size...). On the main thread when TriggerEventInMainThread is set.
  std::function<void(AVFormatContext* formatContext)> OnBeforeFindStreamInfo;

  /// Sets the moment of the last read (av_gettime_relative microseconds). 0 cancels blocking I/O
  /// at once; INT64_MAX switches the read time-out off. Any thread.
  void SetLastReadTime(int64_t value) { FLastRead = value; }

 protected:
  /// Recomputes size and counts after a file was opened or closed.
  virtual void ReadFileInfo();
  /// Called at the end of a successful LoadFile with the scaler flags of the options (bicubic
  /// unless "sws_flags" was set); TFFDecoder hands them to its picture converter.
  virtual void ApplySwsFlags(int swsFlags) {}
  /// Sets LastErrMsg and logs it at level.
  void Fail(TLogLevel level, const std::string& message);
  /// Sets LastErrMsg without logging.
  void SetLastErrMsg(const std::string& message) { FLastErrMsg = message; }
  /// True when the decoder opened the file itself (a context from SetFileHandle is borrowed).
  bool OwnsFileHandle() const { return FFileHandle != nullptr && FFileHandle == FOwnedHandle.get(); }
  /// Throws FFmpegException "Library <name> not loaded." for the first missing library.
  void CheckLibAV() const;

 private:
  static int InterruptCallback(void* opaque);
  int CheckInterrupt();
  bool LoadFileImpl(const std::string& fileName, const std::string& formatName);
  // The stream for a stream record: nullptr with the failure logged when there is none.
  AVStream* StreamOfKind(int streamIndex, int type, const char* kindName);  // type: an AVMediaType
  std::string CodecText(const AVStream* st) const;
  std::string StreamLine(int index);

  AVFormatContext* FFileHandle = nullptr;  // FOwnedHandle, or a context lent by SetFileHandle
  TInputContextPtr FOwnedHandle;          // the file the decoder opened itself
  int64_t FFileSize = -1;
  std::string FForceFormat;
  bool FGetLongCodecName = true;
  bool FTriggerEventInMainThread = true;
  int FStreamCount = -1;
  int FProgramCount = -1;
  int FAudioStreamCount = -1;
  int FVideoStreamCount = -1;
  int FSubtitleStreamCount = -1;
  int FFirstAudioStreamIndex = -1;
  int FFirstVideoStreamIndex = -1;
  int FFirstSubtitleStreamIndex = -1;
  std::string FLastErrMsg;
  std::atomic<int64_t> FLastRead{0};
  TFFOptions FOptions;
};

}  // namespace media
