#include "media/ff_decoder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media/ff_logger.h"
#include "media/ff_options.h"
#include "media/ff_utils.h"

namespace media {

namespace {

const char* const kReadOnlyHandle = "file cannot be seeked, handle is readonly.";
const char* const kVideoCaller = "Decode() for video";
const char* const kAudioCaller = "DecodeAudio()";

bool Known(int64_t t) { return t != AV_NOPTS_VALUE; }

// Microseconds from the stream's start of a time stamp in its time base.
int64_t StreamTimeToMicros(const AVStream* st, int64_t t) {
  if (Known(st->start_time)) t -= st->start_time;
  return FF().av_rescale_q(t, st->time_base, AV_TIME_BASE_Q);
}

const char* SampleFormatName(AVSampleFormat format) {
  const char* name = FF().av_get_sample_fmt_name(format);
  return name != nullptr ? name : "none";
}

// Copies src into dst; a layout with a custom channel map owns memory, the others do not.
void CopyLayout(AVChannelLayout& dst, const AVChannelLayout& src) {
  FF().av_channel_layout_uninit(&dst);
  if (FF().av_channel_layout_copy(&dst, &src) < 0) throw FFmpegException(FormatAVError(AVERROR(ENOMEM)));
}

}  // namespace

// ---- free helpers ----------------------------------------------------------------------------

int64_t SeekTimestamp(int64_t target, bool byBytes, TRational frameRate, TRational timeBase,
                      int64_t startTime) {
  if (byBytes) return target;
  if (target == 0 && frameRate.num != 0 && frameRate.den != 0) target = -FrameDuration(frameRate) / 2;
  int64_t ts = FF().av_rescale_q(target, AV_TIME_BASE_Q, timeBase);
  if (Known(startTime)) ts += startTime;
  return ts;
}

bool FindPreviousKeyFrame(int64_t reference, int64_t frameDuration, const TKeyFrameSearchSteps& steps) {
  // A frame rate above 10^6 fps gives a zero duration: step by one microsecond then.
  const int64_t d = std::max<int64_t>(frameDuration, 1);
  const int64_t start = steps.BytePosition();
  int64_t rejected = -1;  // byte position of a key frame whose picture was not before reference
  for (int n = 1; n <= kMaxKeyFrameSearchSteps; ++n) {
    const bool withinReference = n * d <= reference;
    const int64_t before = steps.BytePosition();
    steps.SeekBackward(reference - n * d);
    const int64_t after = steps.BytePosition();
    if (rejected > 0 && after < rejected) rejected = -1;
    // Seeks that did not get back before where we started, or onto a key frame already tried,
    // would only decode the same picture again.
    if (withinReference &&
        ((after >= start && start > 0 && after != before) || (rejected > 0 && after >= rejected)))
      continue;
    if (!steps.Decode()) {
      if (!withinReference || steps.AtEnd()) return false;
      continue;
    }
    const int64_t pts = steps.FramePTS();
    if (pts < reference || pts <= 0 || (pts == reference && !withinReference)) return true;
    // Past reference every seek lands on the file's first key frame: nothing earlier exists.
    if (!withinReference) return false;
    rejected = after;
  }
  return false;
}

// ---- life cycle ------------------------------------------------------------------------------

static_assert(static_cast<int>(TSeekFlag::sfBackward) == AVSEEK_FLAG_BACKWARD &&
              static_cast<int>(TSeekFlag::sfByte) == AVSEEK_FLAG_BYTE &&
              static_cast<int>(TSeekFlag::sfAny) == AVSEEK_FLAG_ANY &&
              static_cast<int>(TSeekFlag::sfFrame) == AVSEEK_FLAG_FRAME);
static_assert(TWaveInfo{}.SampleFormat == AV_SAMPLE_FMT_S16);

struct TFFDecoder::TAudioParam {
  int freq = -1;
  int channels = -1;
  AVChannelLayout channel_layout{};
  AVSampleFormat fmt = AV_SAMPLE_FMT_NONE;
  TResamplerPtr swr_ctx;
  int st_idx = -1;
  AVChannelLayout desired_layout{};  // order UNSPEC until computed from FDesireAudioChannels
  AVSampleFormat desired_format = AV_SAMPLE_FMT_S16;  // what DecodeAudio delivers

  // The layouts are UNSPEC or NATIVE unless a frame brought a custom map; only those own memory.
  ~TAudioParam() {
    Uninit(channel_layout);
    Uninit(desired_layout);
  }
  static void Uninit(AVChannelLayout& layout) {
    if (layout.order == AV_CHANNEL_ORDER_CUSTOM) FF().av_channel_layout_uninit(&layout);
    layout = AVChannelLayout{};
  }
};

TFFDecoder::TFFDecoder(TFFBaseComponent* owner) : TCustomDecoder(owner), FAudioParam(std::make_unique<TAudioParam>()) {}

TFFDecoder::~TFFDecoder() = default;

void TFFDecoder::CloseFile() {
  FSeekStreamIndex = FVideoStreamIndex = FAudioStreamIndex = -1;
  FFrameRate = AVRational{0, 0};
  FEOF = FEndOfPackets = false;
  FReadError = 0;
  ResetFrameInfo();
  ResetWaveInfo();
  FAudioSize = 0;
  ResetAudioParam();
  FreeFilterGraph();
  // Codec contexts before the format context: they were made from its streams' parameters.
  FVideo = TCodecSlot();
  FAudio = TCodecSlot();
  TCustomDecoder::CloseFile();
}

void TFFDecoder::SetDesireAudioChannels(int value) {
  if (value == FDesireAudioChannels) return;
  FDesireAudioChannels = value;
  TAudioParam::Uninit(FAudioParam->desired_layout);
  ResetWaveInfo();
  FreeResampler();
}

void TFFDecoder::SetDesireAudioSampleRate(int value) {
  if (value == FDesireAudioSampleRate) return;
  FDesireAudioSampleRate = value;
  ResetWaveInfo();
  FreeResampler();
}

// ---- shared parts ----------------------------------------------------------------------------

std::string TFFDecoder::CallerPrefix(const char* caller) const { return ClassName() + "." + caller + ": "; }

// Image demuxers deliver one picture per file: "image2" for a forced format or a numbered
// pattern, "<codec>_pipe" (png_pipe, jpeg_pipe...) when FFmpeg probes a single image file.
// "image2pipe" reads a stream of pictures and is not one of them.
bool TFFDecoder::IsStillImage() const {
  std::string name = FormatName();
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name == "image2" || (name.ends_with("_pipe") && name != "image2pipe");
}

void TFFDecoder::RequireOwnedHandle() {
  if (OwnsFileHandle()) return;
  Fail(TLogLevel::llWarning, kReadOnlyHandle);
  throw FFmpegException(kReadOnlyHandle);
}

int64_t TFFDecoder::BytePosition() const {
  const AVFormatContext* fc = FileHandle();
  if (fc == nullptr || fc->pb == nullptr) return -1;
  return FF().avio_seek(fc->pb, 0, SEEK_CUR);
}

int64_t TFFDecoder::Position() {
  if (FileHandle() == nullptr) {
    Fail(TLogLevel::llWarning, "file not loaded.");
    return -1;
  }
  const int64_t position = BytePosition();
  if (position < 0) {
    Fail(TLogLevel::llWarning, "cannot get position");
    return -1;
  }
  return position;
}

// Checks the request and makes the stream the selected one of its kind and the seek stream.
// Returns the index, or -1 with the failure logged.
int TFFDecoder::SelectStream(int streamIndex, int type) {
  AVFormatContext* fc = FileHandle();
  if (fc == nullptr) {
    Fail(TLogLevel::llWarning, "file not loaded.");
    return -1;
  }
  RequireOwnedHandle();
  const bool video = type == AVMEDIA_TYPE_VIDEO;
  const char* kind = video ? "video" : "audio";
  int& selected = video ? FVideoStreamIndex : FAudioStreamIndex;
  if (streamIndex == -1) {
    streamIndex = selected >= 0 ? selected : video ? FirstVideoStreamIndex() : FirstAudioStreamIndex();
    if (streamIndex < 0) {
      Fail(TLogLevel::llError, FormatStr("no %s stream.", kind));
      return -1;
    }
  } else if (streamIndex < 0 || streamIndex >= static_cast<int>(fc->nb_streams)) {
    Fail(TLogLevel::llError, FormatStr("stream index #%d is invalid.", streamIndex));
    return -1;
  } else if (fc->streams[streamIndex]->codecpar->codec_type != type) {
    Fail(TLogLevel::llError, FormatStr("stream #%d is not %s stream.", streamIndex, kind));
    return -1;
  }
  if (streamIndex != selected) {
    // The open codec was made for the former stream's parameters.
    if (video) {
      ResetFrameInfo();
      FreeFilterGraph();
      FVideo = TCodecSlot();
      TakeVideoFrameRate(fc->streams[streamIndex]);
    } else {
      ResetWaveInfo();
      FreeResampler();
      FAudio = TCodecSlot();
    }
    selected = streamIndex;
  }
  FSeekStreamIndex = streamIndex;
  return streamIndex;
}

// The stream's average frame rate when the container knows it, else its real base rate. (FFmpeg
// 5.1's codec parameters carry no frame rate to compare the latter with.)
void TFFDecoder::TakeVideoFrameRate(const AVStream* st) {
  FFrameRate =
      st->avg_frame_rate.num != 0 && st->avg_frame_rate.den != 0 ? st->avg_frame_rate : st->r_frame_rate;
}

bool TFFDecoder::OpenCodec(TCodecSlot& slot, int streamIndex, bool video) {
  AVFormatContext* fc = FileHandle();
  AVStream* st = fc->streams[streamIndex];
  const AVCodecParameters* par = st->codecpar;
  if (video && (par->width == 0 || par->height == 0)) {
    Fail(TLogLevel::llError, "frame size of codec is invalid.");
    return false;
  }
  const AVCodec* codec = FF().avcodec_find_decoder(par->codec_id);
  if (codec == nullptr) {
    Fail(TLogLevel::llError, FormatStr("Unsupported codec (id=%d) for input file stream #%d",
                                       static_cast<int>(par->codec_id), streamIndex));
    return false;
  }
  const std::string openFailure =
      FormatStr("Error while opening codec for input file stream #%d", streamIndex);
  TCodecSlot opened;
  opened.Context.reset(FF().avcodec_alloc_context3(codec));
  if (opened.Context == nullptr || FF().avcodec_parameters_to_context(opened.Context.get(), par) < 0) {
    Fail(TLogLevel::llError, openFailure);
    return false;
  }
  opened.Context->pkt_timebase = st->time_base;
  TDictionaryPtr opts{CheckStreamSpecifier(Options().codec_opts(), par->codec_id, fc, st, codec)};
  const int result = FF().avcodec_open2(opened.Context.get(), codec, OutPtr(opts));
  if (result < 0) {
    Fail(TLogLevel::llError, openFailure);
    return false;
  }
  slot = std::move(opened);
  return true;
}

void TFFDecoder::SendPacket(TCodecSlot& slot, const AVPacket* packet, int streamIndex, const char* kind) {
  const int result = FF().avcodec_send_packet(slot.Context.get(), packet);
  if (result < 0 && result != AVERROR_EOF)
    FFLogger().Log(this, TLogLevel::llError,
                   FormatAVError(FormatStr("Error while decoding %s stream #%d", kind, streamIndex), result));
}

// The codec has given everything: the end of the stream, or a read error that ended it early.
bool TFFDecoder::EndOfStream(const char* caller) {
  const AVFormatContext* fc = FileHandle();
  const bool ioAtEnd = fc->pb != nullptr && fc->pb->eof_reached != 0;
  if (FReadError != AVERROR_EOF && FReadError != AVERROR(EPIPE) && !ioAtEnd) {
    Fail(TLogLevel::llInfo, CallerPrefix(caller) + FormatStr("unknown error #%d.", FReadError));
    return false;
  }
  Fail(TLogLevel::llInfo, CallerPrefix(caller) + "stream eof reached.");
  FEOF = true;
  return false;
}

// Feeds the stream's packets to the codec until takeOutput produces something. FFmpeg's
// send/receive decoding gives zero or more frames per packet, so takeOutput is asked first and
// more input is read only when the codec wants it. After the last packet the codec gets the flush
// packet once and gives up its delayed frames; when it has none left the stream has ended.
bool TFFDecoder::PumpPackets(TCodecSlot& slot, int streamIndex, const char* caller,
                             const std::function<TOutput()>& takeOutput) {
  if (FPacket == nullptr) {
    FPacket.reset(FF().av_packet_alloc());
    if (FPacket == nullptr) throw FFmpegException(FormatAVError("av_packet_alloc", AVERROR(ENOMEM)));
  }
  const char* kind = &slot == &FVideo ? "video" : "audio";
  for (;;) {
    switch (takeOutput()) {
      case TOutput::Produced:
        return true;
      case TOutput::Failed:
        return false;
      case TOutput::Drained:
        return EndOfStream(caller);
      case TOutput::NeedInput:
        break;
    }
    if (!FEndOfPackets) {
      SetLastReadTime(FF().av_gettime_relative());
      const int result = FF().av_read_frame(FileHandle(), FPacket.get());
      if (result == AVERROR(EAGAIN)) {
        Fail(TLogLevel::llInfo, CallerPrefix(caller) + "no data, please try again.");
        return false;
      }
      if (result >= 0) {
        // An empty packet would read as the flush packet and end the codec's stream early.
        if (FPacket->stream_index == streamIndex && FPacket->size > 0)
          SendPacket(slot, FPacket.get(), streamIndex, kind);
        FF().av_packet_unref(FPacket.get());
        continue;
      }
      FEndOfPackets = true;
      FReadError = result;
    }
    if (slot.Draining) return EndOfStream(caller);
    slot.Draining = true;
    SendPacket(slot, nullptr, streamIndex, kind);
  }
}

// ---- video -----------------------------------------------------------------------------------

bool TFFDecoder::Decode(int streamIndex) {
  const int index = SelectStream(streamIndex, AVMEDIA_TYPE_VIDEO);
  if (index < 0) return false;
  if (FFrameInfo.Ready && IsStillImage()) return true;
  if (FEOF && FEndOfPackets) {
    Fail(TLogLevel::llInfo, CallerPrefix(kVideoCaller) + "stream eof reached.");
    return false;
  }
  try {
    if (FVideo.Context == nullptr && !OpenCodec(FVideo, index, true)) return false;
    if (FDecodedFrame == nullptr) FDecodedFrame.reset(FF().av_frame_alloc());
    if (FFilteredFrame == nullptr) FFilteredFrame.reset(FF().av_frame_alloc());
    if (FDecodedFrame == nullptr || FFilteredFrame == nullptr)
      throw FFmpegException(FormatAVError("av_frame_alloc", AVERROR(ENOMEM)));
    return PumpPackets(FVideo, index, kVideoCaller, [this] { return TakeVideoFrame(); });
  } catch (const std::exception& e) {
    Fail(TLogLevel::llError, e.what());
    return false;
  }
}

// Takes one picture from the filter graph or the codec and stores it.
TFFDecoder::TOutput TFFDecoder::TakeVideoFrame() {
  AVCodecContext* codec = FVideo.Context.get();
  for (;;) {
    // A graph may hold more pictures from the frame pushed last (or from closing it).
    if (PullFiltered()) {
      StorePicture(FFilteredFrame.get(), FFilteredFrame->pts);
      return TOutput::Produced;
    }
    const int result = FF().avcodec_receive_frame(codec, FDecodedFrame.get());
    if (result == AVERROR(EAGAIN)) return TOutput::NeedInput;
    if (result == AVERROR_EOF) {
      if (FFilterGraph == nullptr || FGraphClosed) return TOutput::Drained;
      FGraphClosed = true;
      if (FF().av_buffersrc_add_frame_flags(FBufferSrc, nullptr, 0) < 0) return TOutput::Drained;
      continue;
    }
    if (result < 0) {
      FFLogger().Log(
          this, TLogLevel::llError,
          FormatAVError(FormatStr("Error while decoding video stream #%d", FVideoStreamIndex), result));
      return TOutput::NeedInput;
    }
    AVFrame* frame = FDecodedFrame.get();
    const int64_t packetPts = frame->pts;
    FFLogger().Log(this, TLogLevel::llDebug, "pkt.st_idx=%d, dts=%lld, pts=%lld, flags=%d, pict_type=%d(%s)",
                   FVideoStreamIndex, static_cast<long long>(frame->pkt_dts),
                   static_cast<long long>(packetPts), frame->key_frame, static_cast<int>(frame->pict_type),
                   GetPictureTypeName(frame->pict_type).c_str());
    frame->pts = frame->best_effort_timestamp;
    const std::string graphError = ConfigureFilterGraph(frame);
    if (!graphError.empty()) {
      FFLogger().Log(this, TLogLevel::llError, "Error while configuring the filtergraph: %s",
                     graphError.c_str());
      FVideoFilters.clear();
      FreeFilterGraph();
    }
    if (FFilterGraph == nullptr) {
      StorePicture(frame, packetPts);
      return TOutput::Produced;
    }
    if (FF().av_buffersrc_add_frame_flags(FBufferSrc, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
      FFLogger().Log(this, TLogLevel::llError, "Error while feeding the filtergraph");
  }
}

// A picture from the graph's sink into the filtered frame; false when it has none yet.
bool TFFDecoder::PullFiltered() {
  if (FFilterGraph == nullptr) return false;
  FF().av_frame_unref(FFilteredFrame.get());
  return FF().av_buffersink_get_frame_flags(FBufferSink, FFilteredFrame.get(), 0) >= 0;
}

// Builds the graph for VideoFilters when the text changed. Returns the reason of a failure, empty
// on success (also when there is nothing to build).
std::string TFFDecoder::ConfigureFilterGraph(const AVFrame* frame) {
  if (FFilterGraph != nullptr && FVideoFilters == FGraphText) return {};
  FreeFilterGraph();
  if (FVideoFilters.empty()) return {};

  AVFormatContext* fc = FileHandle();
  AVStream* st = fc->streams[FVideoStreamIndex];
  const AVCodecContext* codec = FVideo.Context.get();
  TFilterGraphPtr graph(FF().avfilter_graph_alloc());
  if (graph == nullptr) return FormatAVError(AVERROR(ENOMEM));

  const AVRational sar = codec->sample_aspect_ratio;
  std::string args =
      FormatStr("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", frame->width, frame->height,
                frame->format, st->time_base.num, st->time_base.den, sar.num, std::max(sar.den, 1));
  const AVRational rate = FF().av_guess_frame_rate(fc, st, nullptr);
  if (rate.num != 0 && rate.den != 0) args += FormatStr(":frame_rate=%d/%d", rate.num, rate.den);

  AVFilterContext* src = nullptr;
  AVFilterContext* sink = nullptr;
  if (FF().avfilter_graph_create_filter(&src, FF().avfilter_get_by_name("buffer"), "in", args.c_str(),
                                        nullptr, graph.get()) < 0)
    return "Cannot create buffer source";
  if (FF().avfilter_graph_create_filter(&sink, FF().avfilter_get_by_name("buffersink"), "out", nullptr,
                                        nullptr, graph.get()) < 0)
    return "Cannot create buffer sink";
  const AVPixelFormat pixFmt = static_cast<AVPixelFormat>(frame->format);
  if (FF().av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const uint8_t*>(&pixFmt), sizeof pixFmt,
                          AV_OPT_SEARCH_CHILDREN) < 0)
    return "Cannot set output pixel format";

  // The description's open input is fed by "in", its open output feeds "out".
  TFilterInOutPtr outputs{FF().avfilter_inout_alloc()};
  TFilterInOutPtr inputs{FF().avfilter_inout_alloc()};
  int result = AVERROR(ENOMEM);
  if (outputs != nullptr && inputs != nullptr) {
    outputs->name = FF().av_strdup("in");
    outputs->filter_ctx = src;
    inputs->name = FF().av_strdup("out");
    inputs->filter_ctx = sink;
    result = FF().avfilter_graph_parse_ptr(graph.get(), FVideoFilters.c_str(), OutPtr(inputs), OutPtr(outputs),
                                           nullptr);
  }
  inputs.reset();
  outputs.reset();
  if (result >= 0) result = FF().avfilter_graph_config(graph.get(), nullptr);
  if (result < 0) return FormatAVError(result);

  FFilterGraph = std::move(graph);
  FBufferSrc = src;
  FBufferSink = sink;
  FGraphText = FVideoFilters;
  return {};
}

void TFFDecoder::FreeFilterGraph() {
  FFilterGraph.reset();
  FBufferSrc = FBufferSink = nullptr;
  FGraphText.clear();
  FGraphClosed = false;
}

void TFFDecoder::StorePicture(const AVFrame* frame, int64_t packetPts) {
  const auto format = static_cast<AVPixelFormat>(frame->format);
  const int size = FF().av_image_get_buffer_size(format, frame->width, frame->height, 1);
  if (size < 0) throw FFmpegException(FormatAVError("av_image_get_buffer_size", size));
  if (static_cast<int>(FFrameInfo.Buffer.size()) < size) FFrameInfo.Buffer.resize(static_cast<size_t>(size));
  FFrameInfo.Size = static_cast<int>(FFrameInfo.Buffer.size());
  const int copied = FF().av_image_copy_to_buffer(FFrameInfo.Buffer.data(), size, frame->data,
                                                  frame->linesize, format, frame->width, frame->height, 1);
  if (copied < 0) throw FFmpegException(FormatAVError("av_image_copy_to_buffer", copied));
  FFrameInfo.Picture = TPicture();
  FF().av_image_fill_arrays(FFrameInfo.Picture.data, FFrameInfo.Picture.linesize, FFrameInfo.Buffer.data(),
                            format, frame->width, frame->height, 1);

  FFrameInfo.PixFmt = format;
  FFrameInfo.Width = frame->width;
  FFrameInfo.Height = frame->height;
  FFrameInfo.IsKeyFrame = frame->key_frame != 0;
  FFrameInfo.IsInterlaced = frame->interlaced_frame != 0;
  FFrameInfo.IsTopFieldFirst = frame->top_field_first != 0;
  FFrameInfo.PictureType = static_cast<int>(frame->pict_type);

  // The packet's DTS; its PTS (which the codec hands back reordered) when the DTS is unknown, as
  // for the delayed pictures the flush packet brings out.
  const AVStream* st = FileHandle()->streams[FVideoStreamIndex];
  const int64_t time = Known(frame->pkt_dts) ? frame->pkt_dts : packetPts;
  if (Known(time)) {
    FFrameInfo.PTS = StreamTimeToMicros(st, time);
    FFLogger().Log(this, TLogLevel::llDebug, "decode PTS: %0.3f",
                   static_cast<double>(FFrameInfo.PTS) / 1000000.0);
  } else if (FVideo.Draining && Known(FPreviousPTS) && Known(FPreviousPreviousPTS)) {
    FFrameInfo.PTS = 2 * FPreviousPTS - FPreviousPreviousPTS;
  } else {
    FFrameInfo.PTS = AV_NOPTS_VALUE;
  }
  if (Known(FFrameInfo.PTS)) {
    FPreviousPreviousPTS = FPreviousPTS;
    FPreviousPTS = FFrameInfo.PTS;
  }
  FFrameInfo.OriginalDTS = frame->pkt_dts;
  FFrameInfo.OriginalPTS = packetPts;
  FFrameInfo.StreamIndex = FVideoStreamIndex;
  FFrameInfo.Position = frame->pkt_pos;
  FFrameInfo.Ready = true;
}

// Forgets the picture; the buffer stays for the next one, FPreviousPTS keeps the last time.
void TFFDecoder::ResetFrameInfo() {
  std::vector<uint8_t> buffer = std::move(FFrameInfo.Buffer);
  FFrameInfo = TFrameInfo();
  FFrameInfo.Buffer = std::move(buffer);
  FFrameInfo.Size = static_cast<int>(FFrameInfo.Buffer.size());
}

bool TFFDecoder::CopyToBitmap(TBitmap& bitmap) {
  if (!FFrameInfo.Ready) {
    Fail(TLogLevel::llError, "picture not ready, please decode first");
    return false;
  }
  if (!FConverter.PictureToRGB(FFrameInfo.Picture.data, FFrameInfo.Picture.linesize, true, FFrameInfo.Height,
                               FFrameInfo.Width, FFrameInfo.PixFmt)) {
    bitmap.Resize(FFrameInfo.Width, FFrameInfo.Height, FConverter.BitsPixel());
    std::fill(bitmap.Bytes.begin(), bitmap.Bytes.end(), uint8_t{0});
    // Zero is black in every depth but 32 bits, whose alpha byte must say opaque too.
    if (bitmap.BitsPixel == 32)
      for (int y = 0; y < bitmap.Height; ++y)
        for (int x = 0; x < bitmap.Width; ++x) bitmap.ScanLine(y)[x * 4 + 3] = 0xFF;
    Fail(TLogLevel::llError, FConverter.LastErrMsg());
    return false;
  }
  bitmap = FConverter.Bitmap();
  return true;
}

// ---- seeking ---------------------------------------------------------------------------------

bool TFFDecoder::Seek(int64_t pts, TSeekFlags flags) {
  AVFormatContext* fc = FileHandle();
  if (fc == nullptr) {
    Fail(TLogLevel::llWarning, "file not loaded.");
    return false;
  }
  RequireOwnedHandle();
  if (IsStillImage()) {
    Fail(TLogLevel::llInfo, "\"image2\" format cannot to be seeked.");
    return false;
  }
  const std::string prefix = CallerPrefix("Seek()");
  if (fc->pb != nullptr)
    FFLogger().Log(this, TLogLevel::llDebug, "%scurrent position %lld bytes", prefix.c_str(),
                   static_cast<long long>(BytePosition()));

  const bool byBytes = flags.Contains(TSeekFlag::sfByte);
  const AVStream* st = FSeekStreamIndex >= 0 ? fc->streams[FSeekStreamIndex] : nullptr;
  const bool video = st != nullptr && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
  const int64_t ts = SeekTimestamp(pts, byBytes, video ? FFrameRate : TRational{0, 0},
                                   st != nullptr ? TRational(st->time_base) : TRational(AV_TIME_BASE_Q),
                                   st != nullptr ? st->start_time : fc->start_time);

  for (TCodecSlot* slot : {&FVideo, &FAudio}) {
    if (slot->Context != nullptr) FF().avcodec_flush_buffers(slot->Context.get());
    slot->Draining = false;
  }
  FEOF = FEndOfPackets = false;
  FReadError = 0;
  ResetFrameInfo();
  ResetWaveInfo();
  // The graph may hold pictures from before the seek, or have been closed at the end of the
  // stream; the resampler keeps a few samples of history. Both are made again on demand.
  FreeFilterGraph();
  FreeResampler();

  // av_seek_frame, not avformat_seek_file with open bounds: on AVI and Matroska the latter lands
  // on an earlier key frame than the one asked for.
  SetLastReadTime(FF().av_gettime_relative());
  int result = FF().av_seek_frame(fc, FSeekStreamIndex, ts, flags.Bits());
  if (result < 0)
    result = FF().av_seek_frame(fc, FSeekStreamIndex, ts, flags.Toggled(TSeekFlag::sfBackward).Bits());
  if (result < 0) {
    Fail(TLogLevel::llError, byBytes ? FormatStr("%scould not seek to position %lld bytes", prefix.c_str(),
                                                 static_cast<long long>(pts))
                                     : FormatStr("%scould not seek to position %0.3f seconds", prefix.c_str(),
                                                 static_cast<double>(pts) / 1000000.0));
    return false;
  }
  if (fc->pb != nullptr)
    FFLogger().Log(this, TLogLevel::llDebug, "%sseek to position %lld bytes", prefix.c_str(),
                   static_cast<long long>(BytePosition()));
  return true;
}

bool TFFDecoder::DecodeNextKeyFrame(int streamIndex) {
  const int index = SelectStream(streamIndex, AVMEDIA_TYPE_VIDEO);
  if (index < 0) return false;
  const int64_t d = FrameDuration(FFrameRate);
  const int64_t current = FFrameInfo.PTS;
  const bool shown = FFrameInfo.Ready && Known(current);
  // Without the backward flag the demuxer takes the first key frame at or after the target.
  if (!Seek(current > 0 ? current + d : d)) return false;
  const bool decoded = Decode(index);
  if (decoded && (!shown || !Known(FFrameInfo.PTS) || FFrameInfo.PTS > current)) return true;
  if (!shown) return false;
  // No key frame after the current picture: the demuxer refused the target, and Seek's retry
  // with the backward flag went back to an earlier key frame (or the end of the file). Back to
  // the picture that was shown, from the key frame at or before it, so the position stays.
  const std::string reason = decoded ? "there is none after the current picture." : LastErrMsg();
  if (Seek(current, {TSeekFlag::sfBackward}))
    while (!(Known(FFrameInfo.PTS) && FFrameInfo.PTS >= current))
      if (!Decode(index)) break;
  SetLastErrMsg("Could not seek to the next key-frame: " + reason);
  return false;
}

bool TFFDecoder::DecodePreviousKeyFrame(int streamIndex) {
  const int index = SelectStream(streamIndex, AVMEDIA_TYPE_VIDEO);
  if (index < 0) return false;
  int64_t reference = FFrameInfo.PTS;
  if (!Known(reference)) reference = FPreviousPTS;
  if (!Known(reference)) reference = Known(FileHandle()->duration) ? FileHandle()->duration : 0;

  TKeyFrameSearchSteps steps;
  steps.BytePosition = [this] { return BytePosition(); };
  steps.SeekBackward = [this](int64_t target) { Seek(target, {TSeekFlag::sfBackward}); };
  steps.Decode = [this, index] { return Decode(index); };
  steps.FramePTS = [this] { return FFrameInfo.PTS; };
  steps.AtEnd = [this] { return FEOF; };
  if (FindPreviousKeyFrame(reference, FrameDuration(FFrameRate), steps)) return true;
  SetLastErrMsg("Could not seek to the previous key-frame. " + LastErrMsg());
  return false;
}

bool TFFDecoder::DecodePreviousFrame(int streamIndex) {
  const int index = SelectStream(streamIndex, AVMEDIA_TYPE_VIDEO);
  if (index < 0) return false;
  const int64_t d = FrameDuration(FFrameRate);
  const int64_t reference = Known(FFrameInfo.PTS) ? FFrameInfo.PTS : Known(FPreviousPTS) ? FPreviousPTS : 0;
  const int64_t limit = reference - 2 * d;
  int64_t lastBefore = AV_NOPTS_VALUE;
  if (!DecodePreviousKeyFrame(index)) return false;
  // Forward from the key frame until the picture lies within two frames of the reference; every
  // step decodes one more picture, so the end of the stream ends the loop at the latest. Reaching
  // the reference itself means the pictures are spaced unevenly: back to the key frame once more,
  // then forward to the last picture before it. A second search that fails would fail the same
  // way again, so it is tried only once.
  bool searchedAgain = false;
  for (;;) {
    if (Known(FFrameInfo.PTS) && FFrameInfo.PTS > limit) return true;
    if (!Decode(index)) return false;
    if (Known(FFrameInfo.PTS) && FFrameInfo.PTS < reference) lastBefore = FFrameInfo.PTS;
    if (FFrameInfo.PTS == reference && !searchedAgain) {
      searchedAgain = true;
      if (DecodePreviousKeyFrame(index)) break;
    }
  }
  if (Known(lastBefore))
    while (FFrameInfo.PTS < lastBefore && Decode(index)) {
    }
  return true;
}

// ---- audio -----------------------------------------------------------------------------------

bool TFFDecoder::DecodeAudio(int streamIndex) {
  const int index = SelectStream(streamIndex, AVMEDIA_TYPE_AUDIO);
  if (index < 0) return false;
  if (FEOF && FEndOfPackets) {
    Fail(TLogLevel::llInfo, CallerPrefix(kAudioCaller) + "stream eof reached.");
    return false;
  }
  try {
    if (FAudio.Context == nullptr && !OpenCodec(FAudio, index, false)) return false;
    if (FAudioFrame == nullptr) FAudioFrame.reset(FF().av_frame_alloc());
    if (FAudioFrame == nullptr) throw FFmpegException(FormatAVError("av_frame_alloc", AVERROR(ENOMEM)));
    FPreviousPTS = FPreviousPreviousPTS = AV_NOPTS_VALUE;
    return PumpPackets(FAudio, index, kAudioCaller, [this] { return TakeAudioFrames(); });
  } catch (const std::exception& e) {
    Fail(TLogLevel::llError, e.what());
    return false;
  }
}

// Takes every frame the codec has now (those of one packet, or all delayed ones when draining),
// resampled and appended into one buffer.
TFFDecoder::TOutput TFFDecoder::TakeAudioFrames() {
  AVCodecContext* codec = FAudio.Context.get();
  ResetWaveInfo();
  FAudioSize = 0;
  int64_t dts = AV_NOPTS_VALUE;
  int64_t pts = AV_NOPTS_VALUE;
  int frames = 0;
  for (;;) {
    const int result = FF().avcodec_receive_frame(codec, FAudioFrame.get());
    if (result == AVERROR_EOF) {
      // The resampler's last samples follow the codec's last frame.
      const int flushed = FlushResampler();
      if (flushed < 0) return TOutput::Failed;
      break;
    }
    if (result == AVERROR(EAGAIN)) break;
    if (result < 0) {
      FFLogger().Log(
          this, TLogLevel::llError,
          FormatAVError(FormatStr("Error while decoding audio stream #%d", FAudioStreamIndex), result));
      break;
    }
    if (++frames == 2 && !FAudio.Draining)
      FFLogger().Log(this, TLogLevel::llWarning, "Multiple frames in a packet from stream %d",
                     FAudioStreamIndex);
    if (FAudioSize == 0) {
      dts = FAudioFrame->pkt_dts;
      pts = FAudioFrame->pts;
    }
    if (ResampleAndAppend(FAudioFrame.get()) < 0) return TOutput::Failed;
  }
  if (FAudioSize > 0) {
    FinishWave(dts, pts);
    return TOutput::Produced;
  }
  return FAudio.Draining ? TOutput::Drained : TOutput::NeedInput;
}

void TFFDecoder::FinishWave(int64_t dts, int64_t pts) {
  const AVStream* st = FileHandle()->streams[FAudioStreamIndex];
  const int64_t time = Known(dts) ? dts : pts;
  FWaveInfo.PTS = Known(time) ? StreamTimeToMicros(st, time) : AV_NOPTS_VALUE;
  FWaveInfo.OriginalDTS = dts;
  FWaveInfo.OriginalPTS = pts;
  FWaveInfo.StreamIndex = FAudioStreamIndex;
  FWaveInfo.Ready = true;
  FWaveInfo.Buffer = FAudioBuffer.data();
  FWaveInfo.Size = FAudioSize;
  const double divisor =
      static_cast<double>(FWaveInfo.BytesPerSample) * FDesireAudioSampleRate * FDesireAudioChannels;
  FWaveInfo.Duration = divisor > 0 ? std::llround(FAudioSize * 1000000.0 / divisor) : 0;
}

AVChannelLayout& TFFDecoder::DesiredLayout() {
  AVChannelLayout& desired = FAudioParam->desired_layout;
  if (desired.order == AV_CHANNEL_ORDER_UNSPEC) FF().av_channel_layout_default(&desired, FDesireAudioChannels);
  return desired;
}

// Converts one decoded frame to the desired format and appends it. Returns the bytes appended, or
// a negative FFmpeg error with the failure logged.
int TFFDecoder::ResampleAndAppend(const AVFrame* frame) {
  const auto format = static_cast<AVSampleFormat>(frame->format);
  const int channels = frame->ch_layout.nb_channels;
  if (frame->sample_rate <= 0 || channels <= 0) {
    Fail(TLogLevel::llError, FormatStr("Can not resample %d Hz %s %d channels", frame->sample_rate,
                                       SampleFormatName(format), channels));
    return AVERROR(EINVAL);
  }
  AVChannelLayout layout{};
  if (frame->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC)
    CopyLayout(layout, frame->ch_layout);
  else
    FF().av_channel_layout_default(&layout, channels);
  // Frees a custom map when this function is left.
  struct TLayoutGuard {
    AVChannelLayout& L;
    ~TLayoutGuard() { FF().av_channel_layout_uninit(&L); }
  } guard{layout};

  if (frame->sample_rate != FAudioParam->freq || channels != FAudioParam->channels ||
      FF().av_channel_layout_compare(&layout, &FAudioParam->channel_layout) != 0 ||
      format != FAudioParam->fmt) {
    if (FAudioParam->fmt != AV_SAMPLE_FMT_NONE) {
      FFLogger().Log(this, TLogLevel::llInfo,
                     "Audio stream #%d frame changed from %d Hz %s %d channels to %d Hz %s %d channels",
                     FAudioStreamIndex, FAudioParam->freq, SampleFormatName(FAudioParam->fmt),
                     FAudioParam->channels, frame->sample_rate, SampleFormatName(format), channels);
      FreeResampler();
    }
    FAudioParam->freq = frame->sample_rate;
    FAudioParam->channels = channels;
    CopyLayout(FAudioParam->channel_layout, layout);
    FAudioParam->fmt = format;
    FAudioParam->st_idx = FAudioStreamIndex;
  }

  AVChannelLayout& desired = DesiredLayout();
  const int bytesPerSample = FWaveInfo.BytesPerSample;
  if (frame->sample_rate == FDesireAudioSampleRate && format == FAudioParam->desired_format &&
      FF().av_channel_layout_compare(&layout, &desired) == 0) {
    const int size = FF().av_samples_get_buffer_size(nullptr, channels, frame->nb_samples, format, 1);
    if (size < 0) {
      Fail(TLogLevel::llError, FormatAVError("av_samples_get_buffer_size", size));
      return size;
    }
    AppendAudio(frame->data[0], size);
    return size;
  }

  const std::string conversion = FormatStr("%d Hz %s %d channels to %d Hz %s %d channels", frame->sample_rate,
                                           SampleFormatName(format), channels, FDesireAudioSampleRate,
                                           SampleFormatName(FAudioParam->desired_format), FDesireAudioChannels);
  if (FAudioParam->swr_ctx == nullptr) {
    TResamplerPtr swr;
    const int made = FF().swr_alloc_set_opts2(OutPtr(swr), &desired, FAudioParam->desired_format,
                                              FDesireAudioSampleRate, &layout, format, frame->sample_rate, 0, nullptr);
    if (made < 0 || FF().swr_init(swr.get()) < 0) {
      FFLogger().Log(this, TLogLevel::llFatal, "swr_init() failed");
      swr.reset();
    }
    FAudioParam->swr_ctx = std::move(swr);
    if (FAudioParam->swr_ctx == nullptr) {
      Fail(TLogLevel::llError, "Can not resample " + conversion);
      return -1;
    }
    FFLogger().Log(this, TLogLevel::llInfo, "need resample %s", conversion.c_str());
  }

  // 256 samples of room beyond the rate-converted count for what the resampler held back.
  const int outCount = static_cast<int>(static_cast<int64_t>(frame->nb_samples) * FDesireAudioSampleRate /
                                        frame->sample_rate) +
                       256;
  const size_t outBytes = static_cast<size_t>(outCount) * FDesireAudioChannels * bytesPerSample;
  if (FResampled.size() < outBytes) FResampled.resize(outBytes);
  uint8_t* out = FResampled.data();
  const int converted =
      FF().swr_convert(FAudioParam->swr_ctx.get(), &out, outCount,
                       const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  if (converted < 0) {
    Fail(TLogLevel::llError, FormatAVError("swr_convert() failed", converted));
    return converted;
  }
  if (converted == outCount) {
    FFLogger().Log(this, TLogLevel::llError, "warning: audio buffer is probably too small");
    FF().swr_init(FAudioParam->swr_ctx.get());
  }
  const int size = converted * FDesireAudioChannels * bytesPerSample;
  AppendAudio(FResampled.data(), size);
  return size;
}

// Appends what the resampler still holds (at the end of the stream). Returns the bytes appended or
// a negative FFmpeg error.
int TFFDecoder::FlushResampler() {
  if (FAudioParam->swr_ctx == nullptr) return 0;
  // The default filter delays a few dozen samples; 1024 takes them in one call.
  constexpr int kFlushCount = 1024;
  const size_t outBytes = static_cast<size_t>(kFlushCount) * FDesireAudioChannels * FWaveInfo.BytesPerSample;
  if (FResampled.size() < outBytes) FResampled.resize(outBytes);
  uint8_t* out = FResampled.data();
  const int converted = FF().swr_convert(FAudioParam->swr_ctx.get(), &out, kFlushCount, nullptr, 0);
  if (converted < 0) {
    Fail(TLogLevel::llError, FormatAVError("swr_convert() failed", converted));
    return converted;
  }
  const int size = converted * FDesireAudioChannels * FWaveInfo.BytesPerSample;
  AppendAudio(FResampled.data(), size);
  return size;
}

void TFFDecoder::AppendAudio(const uint8_t* data, int size) {
  if (size <= 0) return;
  const size_t end = static_cast<size_t>(FAudioSize) + static_cast<size_t>(size);
  if (FAudioBuffer.size() < end) FAudioBuffer.resize(end);
  std::memcpy(FAudioBuffer.data() + FAudioSize, data, static_cast<size_t>(size));
  FAudioSize += size;
}

void TFFDecoder::ResetWaveInfo() {
  FWaveInfo = TWaveInfo();
  FWaveInfo.Channels = FDesireAudioChannels;
  FWaveInfo.SampleRate = FDesireAudioSampleRate;
  FWaveInfo.SampleFormat = FAudioParam->desired_format;
  // The table lookup needs avutil; before it is loaded the s16 answer is known anyway.
  FWaveInfo.BytesPerSample =
      FF().av_get_bytes_per_sample != nullptr ? FF().av_get_bytes_per_sample(FAudioParam->desired_format) : 2;
  FWaveInfo.BytesPerSecond = FWaveInfo.BytesPerSample * FDesireAudioSampleRate * FDesireAudioChannels;
}

void TFFDecoder::FreeResampler() { FAudioParam->swr_ctx.reset(); }

void TFFDecoder::ResetAudioParam() {
  FreeResampler();
  TAudioParam::Uninit(FAudioParam->channel_layout);
  FAudioParam->freq = FAudioParam->channels = FAudioParam->st_idx = -1;
  FAudioParam->fmt = AV_SAMPLE_FMT_NONE;
}

}  // namespace media
