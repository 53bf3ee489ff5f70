#include "media/custom_decoder.h"

#include <cstdlib>
#include <limits>

#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media/ff_loader.h"
#include "media/ff_utils.h"

namespace media {

namespace {

// The whole text as a decimal integer, else 0 (metadata "year" and "track", which may read
// "3/12").
int DictInt(const AVDictionary* dict, const char* key) {
  const std::string text = GetDictValue(dict, key, "");
  if (text.empty()) return 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return 0;
  return static_cast<int>(value);
}

}  // namespace

TCustomDecoder::TCustomDecoder(TFFBaseComponent* owner) : TFFBaseComponent(owner) { ReadFileInfo(); }

TCustomDecoder::~TCustomDecoder() = default;

void TCustomDecoder::Fail(TLogLevel level, const std::string& message) {
  FLastErrMsg = message;
  FFLogger().Log(this, level, message);
}

void TCustomDecoder::CheckLibAV() const { FFLoader().CheckLibAV(DecoderLibraries); }

bool TCustomDecoder::LoadAVLib(const std::string& path) {
  FFLoader().SetLibraryPath(path);
  const bool loaded = FFLoader().Load(DecoderLibraries);
  if (loaded)
    FOptions.init_opts();
  else
    FLastErrMsg = FFLoader().LastErrMsg();
  return loaded;
}

bool TCustomDecoder::AVLibLoaded() const { return FFLoader().Loaded(DecoderLibraries); }

bool TCustomDecoder::LoadFile(const std::string& fileName, const std::string& formatName) {
  CheckLibAV();
  CloseFile();
  try {
    if (LoadFileImpl(fileName, formatName)) return true;
  } catch (const std::exception& e) {
    FLastErrMsg = e.what();
  }
  FOptions.init_opts();
  CloseFile();
  return false;
}

// Opens and probes; on false (or an exception) the caller resets the options and closes.
bool TCustomDecoder::LoadFileImpl(const std::string& fileName, const std::string& formatName) {
  if (FOptions.sws_dict() == nullptr) FOptions.init_opts();
  const AVInputFormat* forced = nullptr;
  if (!formatName.empty()) {
    forced = FindInputFormat(formatName);
    if (forced == nullptr) {
      Fail(TLogLevel::llError, "Unknown input format: " + formatName);
      return false;
    }
  }

  FOwnedHandle.reset(FF().avformat_alloc_context());
  FFileHandle = FOwnedHandle.get();
  if (FFileHandle == nullptr) {
    FLastErrMsg = FormatAVError(fileName, AVERROR(ENOMEM));
    return false;
  }
  FFileHandle->interrupt_callback.callback = &TCustomDecoder::InterruptCallback;
  FFileHandle->interrupt_callback.opaque = this;
  FLastRead = FF().av_gettime_relative();

  // avformat_open_input frees the context when it fails and leaves the pointer null.
  const int opened = FF().avformat_open_input(OutPtr(FOwnedHandle), FileNameToFF(fileName).c_str(), forced,
                                              &FOptions.format_opts());
  FFileHandle = FOwnedHandle.get();
  if (opened < 0) {
    FLastErrMsg = FormatAVError(fileName, opened);
    return false;
  }
  const AVDictionaryEntry* left = nullptr;
  while ((left = FF().av_dict_get(FOptions.format_opts(), "", left, AV_DICT_IGNORE_SUFFIX)) != nullptr)
    FFLogger().Log(this, TLogLevel::llError, "Option %s not found, ignored.", left->key);
  FFileHandle->flags |= AVFMT_FLAG_NONBLOCK;

  if (OnBeforeFindStreamInfo) {
    AVFormatContext* context = FFileHandle;
    if (FTriggerEventInMainThread)
      CallInMainThread([this, context] { OnBeforeFindStreamInfo(context); });
    else
      OnBeforeFindStreamInfo(context);
  }

  TDictionaryArray streamOptions = SetupFindStreamInfoOpts(FFileHandle, FOptions.codec_opts());
  FLastRead = FF().av_gettime_relative();
  const int found = FF().avformat_find_stream_info(FFileHandle, streamOptions.Data());
  if (found < 0) {
    FLastErrMsg = fileName + ": could not find codec parameters";
    return false;
  }
  if (FFileHandle->pb != nullptr) {
    FFileHandle->pb->eof_reached = 0;
    FFileHandle->pb->error = 0;
  }
  ReadFileInfo();
  if (FOptions.FetchSwsFlags() == 0) ApplySwsFlags(FOptions.sws_flags());
  FOptions.init_opts();
  FForceFormat = formatName;
  return true;
}

void TCustomDecoder::CloseFile() {
  FFileHandle = nullptr;
  FOwnedHandle.reset();
  ReadFileInfo();
}

void TCustomDecoder::SetFileHandle(AVFormatContext* value) {
  if (value == FFileHandle) return;
  CheckLibAV();
  CloseFile();
  FFileHandle = value;
  ReadFileInfo();
}

int TCustomDecoder::InterruptCallback(void* opaque) { return static_cast<TCustomDecoder*>(opaque)->CheckInterrupt(); }

// Called by FFmpeg during blocking I/O; returning 1 aborts it. Must not throw.
int TCustomDecoder::CheckInterrupt() {
  const int64_t last = FLastRead;
  if (last == std::numeric_limits<int64_t>::max() || ReadTimeout() <= 0) return 0;
  if (FF().av_gettime_relative() - last <= static_cast<int64_t>(ReadTimeout()) * 1000) return 0;
  try {
    FFLogger().Log(this, TLogLevel::llInfo, last == 0 ? "connecting/reading canceled" : "connecting/reading timeout");
  } catch (...) {
    // Logging is best effort here: nothing may cross back into FFmpeg.
  }
  return 1;
}

void TCustomDecoder::ReadFileInfo() {
  FFileSize = -1;
  FStreamCount = FProgramCount = FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
  FFirstAudioStreamIndex = FFirstVideoStreamIndex = FFirstSubtitleStreamIndex = -1;
  if (FFileHandle == nullptr) return;

  if (FFileHandle->iformat != nullptr && (FFileHandle->iformat->flags & AVFMT_NOFILE) != 0) {
    FFileSize = 0;
  } else {
    FFileSize = FFileHandle->pb != nullptr ? FF().avio_size(FFileHandle->pb) : 0;
    if (FFileSize < 0) FFileSize = 0;
    if (FFileSize == 0 && FFileHandle->url != nullptr) {
      const int64_t onDisk = GetFileSize64(FFileHandle->url);
      if (onDisk > 0) FFileSize = onDisk;
    }
  }
  FStreamCount = static_cast<int>(FFileHandle->nb_streams);
  FProgramCount = static_cast<int>(FFileHandle->nb_programs);
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
  for (int i = 0; i < FStreamCount; ++i) {
    switch (FFileHandle->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        if (FVideoStreamCount++ == 0) FFirstVideoStreamIndex = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        if (FAudioStreamCount++ == 0) FFirstAudioStreamIndex = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (FSubtitleStreamCount++ == 0) FFirstSubtitleStreamIndex = i;
        break;
      default: break;
    }
  }
}

std::string TCustomDecoder::FileName() const {
  return FFileHandle != nullptr ? UTF8ToStr(FFileHandle->url) : std::string();
}

std::string TCustomDecoder::FormatName() const {
  return FFileHandle != nullptr && FFileHandle->iformat != nullptr ? UTF8ToStr(FFileHandle->iformat->name)
                                                                   : std::string();
}

std::string TCustomDecoder::FormatLongName() const {
  return FFileHandle != nullptr && FFileHandle->iformat != nullptr ? UTF8ToStr(FFileHandle->iformat->long_name)
                                                                   : std::string();
}

bool TCustomDecoder::IsVideoStream(int streamIndex) const {
  return FFileHandle != nullptr && streamIndex >= 0 && streamIndex < static_cast<int>(FFileHandle->nb_streams) &&
         FFileHandle->streams[streamIndex]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

TFileStreamInfo TCustomDecoder::FileStreamInfo() {
  TFileStreamInfo info;
  if (FFileHandle == nullptr) {
    Fail(TLogLevel::llWarning, "file not loaded.");
    return info;
  }
  const AVDictionary* meta = FFileHandle->metadata;
  info.StartTime = FFileHandle->start_time;
  info.Duration = FileDuration();
  info.BitRate = FFileHandle->bit_rate;
  info.Year = DictInt(meta, "year");
  info.Track = DictInt(meta, "track");
  info.Title = GetDictValue(meta, "title", "");
  info.Author = GetDictValue(meta, "author", "");
  info.Copyright = GetDictValue(meta, "copyright", "");
  info.Comment = GetDictValue(meta, "comment", "");
  info.Album = GetDictValue(meta, "album", "");
  info.Genre = GetDictValue(meta, "genre", "");
  return info;
}

AVStream* TCustomDecoder::StreamOfKind(int streamIndex, int type, const char* kindName) {
  if (FFileHandle == nullptr) {
    Fail(TLogLevel::llWarning, "file not loaded.");
    return nullptr;
  }
  if (streamIndex == -1) {
    streamIndex = type == AVMEDIA_TYPE_VIDEO   ? FFirstVideoStreamIndex
                  : type == AVMEDIA_TYPE_AUDIO ? FFirstAudioStreamIndex
                                               : FFirstSubtitleStreamIndex;
    if (streamIndex < 0) {
      Fail(TLogLevel::llError, std::string("no ") + kindName + " stream.");
      return nullptr;
    }
  }
  if (streamIndex < 0 || streamIndex >= static_cast<int>(FFileHandle->nb_streams)) {
    Fail(TLogLevel::llError, "stream index #" + std::to_string(streamIndex) + " is invalid.");
    return nullptr;
  }
  AVStream* st = FFileHandle->streams[streamIndex];
  if (st->codecpar->codec_type != type) {
    Fail(TLogLevel::llError, "stream #" + std::to_string(streamIndex) + " is not " + kindName + " stream.");
    return nullptr;
  }
  return st;
}

namespace {

// Fills the times shared by audio and video records. A time base with denominator 0 is repaired
// in the stream itself, so later rescaling cannot divide by zero.
template <typename TRecord>
void ReadStreamTimes(AVStream* st, TRecord& info) {
  if (st->time_base.den == 0) st->time_base.den = st->time_base.num != 0 ? st->time_base.num : 1;
  info.StartTime = st->start_time;
  info.Duration = st->duration == AV_NOPTS_VALUE ? -1 : st->duration;
  if (st->start_time != AV_NOPTS_VALUE) info.StartTimeScaled = FF().av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q);
  if (st->duration != AV_NOPTS_VALUE) info.DurationScaled = FF().av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q);
  info.BitRate = st->codecpar->bit_rate;
}

}  // namespace

// The average frame rate when the container knows it, else the real base rate; 0/1 when neither
// is known.
static AVRational StreamFrameRate(const AVStream* st) {
  const AVRational rate =
      st->avg_frame_rate.num != 0 && st->avg_frame_rate.den != 0 ? st->avg_frame_rate : st->r_frame_rate;
  return rate.num != 0 && rate.den != 0 ? rate : AVRational{0, 1};
}

int64_t TCustomDecoder::FileDuration() const {
  return FFileHandle == nullptr || FFileHandle->duration == AV_NOPTS_VALUE ? -1 : FFileHandle->duration;
}

TVideoStreamSummary TCustomDecoder::VideoStreamSummary(int streamIndex) const {
  TVideoStreamSummary summary;
  if (!IsVideoStream(streamIndex)) return summary;
  const AVStream* st = FFileHandle->streams[streamIndex];
  summary.BitRate = st->codecpar->bit_rate;
  summary.Width = st->codecpar->width;
  summary.Height = st->codecpar->height;
  summary.FrameRate = StreamFrameRate(st);
  return summary;
}

TVideoStreamInfo TCustomDecoder::GetVideoStreamInfo(int streamIndex) {
  TVideoStreamInfo info;
  AVStream* st = StreamOfKind(streamIndex, AVMEDIA_TYPE_VIDEO, "video");
  if (st == nullptr) return info;
  const AVCodecParameters* par = st->codecpar;
  info.Language = GetDictValue(st->metadata, "language", "");
  info.CodecName = CodecText(st);
  ReadStreamTimes(st, info);
  info.Width = par->width;
  info.Height = par->height;
  info.PixFmt = static_cast<AVPixelFormat>(par->format);
  const AVRational sar = st->sample_aspect_ratio.num != 0 ? st->sample_aspect_ratio : par->sample_aspect_ratio;
  info.SAR = sar;
  if (sar.den != 0) info.SampleAspectRatio = static_cast<float>(sar.num) / static_cast<float>(sar.den);
  // Every term must be positive: a zero height or denominator would divide by zero.
  if (sar.num > 0 && sar.den > 0 && par->width > 0 && par->height > 0) {
    AVRational dar{0, 1};
    FF().av_reduce(&dar.num, &dar.den, static_cast<int64_t>(par->width) * sar.num,
                   static_cast<int64_t>(par->height) * sar.den, 1024 * 1024);
    if (dar.den != 0) {
      info.DAR = dar;
      info.DisplayAspectRatio = static_cast<float>(dar.num) / static_cast<float>(dar.den);
    }
  }
  info.FrameRate = StreamFrameRate(st);
  return info;
}

TAudioStreamInfo TCustomDecoder::GetAudioStreamInfo(int streamIndex) {
  TAudioStreamInfo info;
  AVStream* st = StreamOfKind(streamIndex, AVMEDIA_TYPE_AUDIO, "audio");
  if (st == nullptr) return info;
  info.Language = GetDictValue(st->metadata, "language", "");
  info.CodecName = CodecText(st);
  ReadStreamTimes(st, info);
  info.Channels = st->codecpar->ch_layout.nb_channels;
  info.SampleRate = st->codecpar->sample_rate;
  info.SampleFormat = static_cast<AVSampleFormat>(st->codecpar->format);
  return info;
}

TSubtitleStreamInfo TCustomDecoder::GetSubtitleStreamInfo(int streamIndex) {
  TSubtitleStreamInfo info;
  AVStream* st = StreamOfKind(streamIndex, AVMEDIA_TYPE_SUBTITLE, "subtitle");
  if (st == nullptr) return info;
  info.Language = GetDictValue(st->metadata, "language", "");
  info.CodecName = CodecText(st);
  if (const AVCodecDescriptor* desc = FF().avcodec_descriptor_get(st->codecpar->codec_id)) {
    if ((desc->props & AV_CODEC_PROP_BITMAP_SUB) != 0)
      info.SubFormat = 0;
    else if ((desc->props & AV_CODEC_PROP_TEXT_SUB) != 0)
      info.SubFormat = 1;
  }
  return info;
}

}  // namespace media
