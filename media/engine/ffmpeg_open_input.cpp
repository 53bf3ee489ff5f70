// Opening an input file: demuxer, probing, seeking, one TInputStream and decoder per stream.
// Runs on the thread that calls OpenInput.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include <sys/stat.h>

#include <cinttypes>
#include <cstring>

#include "media/engine/custom_ffmpeg_opt.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"
#include "media/wave_input.h"

namespace media {

const AVCodec* TCustomFFmpegOpt::FindCodecOrDie(const std::string& name, AVMediaType type, bool encoder) {
  const char* codecString = encoder ? "encoder" : "decoder";
  const AVCodec* codec = encoder ? FF().avcodec_find_encoder_by_name(name.c_str())
                                 : FF().avcodec_find_decoder_by_name(name.c_str());
  if (codec == nullptr) {
    if (const AVCodecDescriptor* desc = FF().avcodec_descriptor_get_by_name(name.c_str())) {
      codec = encoder ? FF().avcodec_find_encoder(desc->id) : FF().avcodec_find_decoder(desc->id);
      if (codec != nullptr)
        Log(TLogLevel::llVerbose, "Matched %s \"%s\" for codec \"%s\".", codecString, codec->name,
            desc->name);
    }
  }
  if (codec == nullptr) RaiseErrorFmt("Unknown %s \"%s\"", codecString, name.c_str());
  // "-recast_media" lets a decoder of another media type read a stream.
  if (codec->type != type && !(Frecast_media && !encoder))
    RaiseErrorFmt("Invalid %s type \"%s\"", codecString, name.c_str());
  return codec;
}

const AVCodec* TCustomFFmpegOpt::ChooseDecoder(TOptionsContext& o, AVFormatContext* s, AVStream* st) {
  std::string codecName;
  MatchPerStream(o.codec_names, s, st, codecName);
  if (!codecName.empty()) {
    const AVCodec* codec = FindCodecOrDie(codecName, st->codecpar->codec_type, false);
    st->codecpar->codec_id = codec->id;
    if (Frecast_media && st->codecpar->codec_type != codec->type) st->codecpar->codec_type = codec->type;
    return codec;
  }
  return FF().avcodec_find_decoder(st->codecpar->codec_id);
}

bool TCustomFFmpegOpt::GuessInputChannelLayout(TInputStream& ist) {
  AVCodecContext* dec = ist.dec_ctx.get();
  if (dec->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC) return true;
  const int channels = dec->ch_layout.nb_channels;
  if (channels > ist.guess_layout_max) return false;
  FF().av_channel_layout_uninit(&dec->ch_layout);
  FF().av_channel_layout_default(&dec->ch_layout, channels);
  if (dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) return false;
  char name[256];
  FF().av_channel_layout_describe(&dec->ch_layout, name, sizeof name);
  Log(TLogLevel::llWarning, "Guessed Channel Layout for Input Stream #%d.%d : %s", ist.file_index,
      ist.st->index, name);
  return true;
}

void TCustomFFmpegOpt::AddInputStreams(TOptionsContext& o, AVFormatContext* ic) {
  for (unsigned i = 0; i < ic->nb_streams; i++) {
    AVStream* st = ic->streams[i];
    AVCodecParameters* par = st->codecpar;
    Finput_streams.push_back(std::make_unique<TInputStream>());
    TInputStream& ist = *Finput_streams.back();
    ist.st = st;
    ist.file_index = int(Finput_files.size());
    ist.discard = 1;
    st->discard = AVDISCARD_ALL;  // until an output uses the stream
    ist.nb_samples = 0;
    ist.min_pts = INT64_MAX;
    ist.max_pts = INT64_MIN;
    ist.ts_scale = 1.0;
    MatchPerStream(o.ts_scale, ic, st, ist.ts_scale);
    ist.autorotate = 1;
    MatchPerStream(o.autorotate, ic, st, ist.autorotate);

    std::string codecTag;
    MatchPerStream(o.codec_tags, ic, st, codecTag);
    if (!codecTag.empty()) par->codec_tag = engine_detail::ParseCodecTag(codecTag);

    ist.avdec = ChooseDecoder(o, ic, st);
    ist.decoder_opts.reset(CheckStreamSpecifier(o.g->codec_opts, par->codec_id, ic, st, ist.avdec));

    ist.reinit_filters = -1;
    MatchPerStream(o.reinit_filters, ic, st, ist.reinit_filters);
    ist.user_set_discard = AVDISCARD_NONE;
    std::string discard;
    MatchPerStream(o.discard, ic, st, discard);
    if (!discard.empty()) {
      const AVClass* cc = FF().avcodec_get_class();
      const AVOption* discardOpt = FF().av_opt_find(&cc, "skip_frame", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
      if (discardOpt == nullptr ||
          FF().av_opt_eval_int(&cc, discardOpt, discard.c_str(), &ist.user_set_discard) < 0)
        RaiseErrorFmt("Error parsing discard %s.", discard.c_str());
    }

    ist.filter_in_rescale_delta_last = AV_NOPTS_VALUE;
    ist.dec_ctx.reset(FF().avcodec_alloc_context3(ist.avdec));
    if (ist.dec_ctx == nullptr) RaiseError("Error allocating the decoder context.");
    if (FF().avcodec_parameters_to_context(ist.dec_ctx.get(), par) < 0)
      RaiseError("Error initializing the decoder context.");

    switch (par->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        if (ist.avdec == nullptr) ist.avdec = FF().avcodec_find_decoder(par->codec_id);
        // find_stream_info no longer sets it for us.
        ist.dec_ctx->framerate = st->avg_frame_rate;
        std::string frameRate;
        MatchPerStream(o.frame_rates, ic, st, frameRate);
        if (!frameRate.empty() && FF().av_parse_video_rate(&ist.framerate, frameRate.c_str()) < 0)
          RaiseErrorFmt("Error parsing framerate %s.", frameRate.c_str());
        ist.top_field_first = -1;
        MatchPerStream(o.top_field_first, ic, st, ist.top_field_first);
        std::string hwaccel;
        MatchPerStream(o.hwaccels, ic, st, hwaccel);
        if (!hwaccel.empty()) {
          if (hwaccel == "none")
            ist.hwaccel_id = THWAccelID::HWACCEL_NONE;
          else if (hwaccel == "auto")
            ist.hwaccel_id = THWAccelID::HWACCEL_AUTO;  // decodes in software: no accelerator is set up
          else {
            // The old names of CUDA decoding name the CUDA device.
            if (hwaccel == "cuvid" || hwaccel == "nvdec") hwaccel = "cuda";
            ist.hwaccel_device_type = FF().av_hwdevice_find_type_by_name(hwaccel.c_str());
            if (ist.hwaccel_device_type == AV_HWDEVICE_TYPE_NONE) {
              std::string names;
              AVHWDeviceType type = AV_HWDEVICE_TYPE_NONE;
              while ((type = FF().av_hwdevice_iterate_types(type)) != AV_HWDEVICE_TYPE_NONE)
                names += std::string(FF().av_hwdevice_get_type_name(type)) + " ";
              RaiseErrorFmt("Unrecognized hwaccel: %s.\nSupported hwaccels: %s", hwaccel.c_str(), names.c_str());
            }
            ist.hwaccel_id = THWAccelID::HWACCEL_GENERIC;
          }
        }
        MatchPerStream(o.hwaccel_devices, ic, st, ist.hwaccel_device);
        std::string hwaccelOutputFormat;
        MatchPerStream(o.hwaccel_output_formats, ic, st, hwaccelOutputFormat);
        if (!hwaccelOutputFormat.empty()) {
          ist.hwaccel_output_format = FF().av_get_pix_fmt(hwaccelOutputFormat.c_str());
          if (ist.hwaccel_output_format == AV_PIX_FMT_NONE)
            Log(TLogLevel::llFatal, "Unrecognised hwaccel output format: %s", hwaccelOutputFormat.c_str());
        } else {
          ist.hwaccel_output_format = AV_PIX_FMT_NONE;
        }
        ist.hwaccel_pix_fmt = AV_PIX_FMT_NONE;
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        ist.guess_layout_max = INT32_MAX;
        MatchPerStream(o.guess_layout_max, ic, st, ist.guess_layout_max);
        GuessInputChannelLayout(ist);
        break;
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_SUBTITLE: {
        if (ist.avdec == nullptr) ist.avdec = FF().avcodec_find_decoder(par->codec_id);
        MatchPerStream(o.fix_sub_duration, ic, st, ist.fix_sub_duration);
        std::string canvasSize;
        MatchPerStream(o.canvas_sizes, ic, st, canvasSize);
        if (!canvasSize.empty() &&
            FF().av_parse_video_size(&ist.dec_ctx->width, &ist.dec_ctx->height, canvasSize.c_str()) < 0)
          RaiseErrorFmt("Invalid canvas size: %s.", canvasSize.c_str());
        break;
      }
      case AVMEDIA_TYPE_ATTACHMENT:
      case AVMEDIA_TYPE_UNKNOWN:
        break;
      default:
        RaiseError("Never occur");
    }
    if (FF().avcodec_parameters_from_context(par, ist.dec_ctx.get()) < 0)
      RaiseError("Error initializing the decoder context.");
  }
}

void TCustomFFmpegOpt::AssertFileOverwrite(const std::string& fileName) {
  if (Ffile_overwrite && Fno_file_overwrite) RaiseError("Error, both -y and -n supplied.");
}

void TCustomFFmpegOpt::DumpAttachment(AVStream* st, const std::string& fileNameArg) {
  if (st->codecpar->extradata_size == 0) {
    Log(TLogLevel::llWarning, "No extradata to dump in stream #%d:%d.", int(Finput_files.size()), st->index);
    return;
  }
  std::string fileName = fileNameArg;
  if (fileName.empty()) {
    const AVDictionaryEntry* e = FF().av_dict_get(st->metadata, "filename", nullptr, 0);
    if (e == nullptr) {
      Log(TLogLevel::llError, "No filename specified and no \"filename\" tag in stream #%d:%d.",
          int(Finput_files.size()), st->index);
      return;
    }
    // Only the base name: the tag comes from the file and must not choose where we write.
    fileName = e->value;
    const std::size_t slash = fileName.find_last_of("/\\");
    if (slash != std::string::npos) fileName = fileName.substr(slash + 1);
    if (fileName.empty() || fileName == "." || fileName == "..") return;
  }
  AssertFileOverwrite(fileName);
  struct stat info {};
  if (!Ffile_overwrite && ::stat(fileName.c_str(), &info) == 0) {
    Refuse(TLogLevel::llWarning, FormatStr("File \"%s\" already exists. Ignore.", fileName.c_str()), 0);
    return;
  }
  TIOContextPtr out;
  FLastWrite = Now();
  // The user asked for the file: one that cannot be written ends the opening with the reason.
  int ret = FF().avio_open2(OutPtr(out), fileName.c_str(), AVIO_FLAG_WRITE, &FWriteCallback, nullptr);
  if (ret < 0) {
    Log(TLogLevel::llError, "Could not open file %s for writing.", fileName.c_str());
    RaiseError(FormatAVError(FormatStr("Could not open file %s for writing", fileName.c_str()), ret));
  }
  FF().avio_write(out.get(), st->codecpar->extradata, st->codecpar->extradata_size);
  FF().avio_flush(out.get());
  ret = out->error;
  const int closed = CloseIONow(out);
  if (ret >= 0) ret = closed;
  if (ret < 0) {
    const std::string msg = FormatAVError(FormatStr("Error writing attachment to %s", fileName.c_str()), ret);
    Log(TLogLevel::llError, "%s", msg.c_str());
    RaiseError(msg);
  }
}

// Demuxer options from the per-stream lists: the last entry, whatever its specifier.
void TCustomFFmpegOpt::SetDemuxerOptions(TOptionsContext& o, const AVInputFormat* fileIformat) {
  if (!o.sample_fmts.empty())
    FF().av_dict_set(&o.g->format_opts, "sample_fmt", o.sample_fmts.back().u.str.c_str(), 0);
  if (!o.audio_sample_rate.empty())
    FF().av_dict_set_int(&o.g->format_opts, "sample_rate", o.audio_sample_rate.back().u.i, 0);
  auto formatHasOption = [&](const char* name) {
    if (fileIformat == nullptr || fileIformat->priv_class == nullptr) return false;
    const AVClass* cls = fileIformat->priv_class;
    return FF().av_opt_find(&cls, name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
  };
  if (!o.audio_channels.empty() && formatHasOption("channels"))
    FF().av_dict_set_int(&o.g->format_opts, "channels", o.audio_channels.back().u.i, 0);
  if (!o.frame_rates.empty() && formatHasOption("framerate"))
    FF().av_dict_set(&o.g->format_opts, "framerate", o.frame_rates.back().u.str.c_str(), 0);
  if (!o.frame_sizes.empty())
    FF().av_dict_set(&o.g->format_opts, "video_size", o.frame_sizes.back().u.str.c_str(), 0);
  if (!o.frame_pix_fmts.empty())
    FF().av_dict_set(&o.g->format_opts, "pixel_format", o.frame_pix_fmts.back().u.str.c_str(), 0);
}

// Decoders forced by kind ("-c:v" and the like on an input).
void TCustomFFmpegOpt::ForceDecodersByKind(TOptionsContext& o, AVFormatContext* ic) {
  std::string videoCodecName, audioCodecName, subtitleCodecName, dataCodecName;
  MatchPerTypeCodecName(o, "v", videoCodecName);
  MatchPerTypeCodecName(o, "a", audioCodecName);
  MatchPerTypeCodecName(o, "s", subtitleCodecName);
  MatchPerTypeCodecName(o, "d", dataCodecName);
  if (!videoCodecName.empty()) ic->video_codec = FindCodecOrDie(videoCodecName, AVMEDIA_TYPE_VIDEO, false);
  if (!audioCodecName.empty()) ic->audio_codec = FindCodecOrDie(audioCodecName, AVMEDIA_TYPE_AUDIO, false);
  if (!subtitleCodecName.empty())
    ic->subtitle_codec = FindCodecOrDie(subtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false);
  if (!dataCodecName.empty()) ic->data_codec = FindCodecOrDie(dataCodecName, AVMEDIA_TYPE_DATA, false);
  ic->video_codec_id = ic->video_codec != nullptr ? ic->video_codec->id : AV_CODEC_ID_NONE;
  ic->audio_codec_id = ic->audio_codec != nullptr ? ic->audio_codec->id : AV_CODEC_ID_NONE;
  ic->subtitle_codec_id = ic->subtitle_codec != nullptr ? ic->subtitle_codec->id : AV_CODEC_ID_NONE;
  ic->data_codec_id = ic->data_codec != nullptr ? ic->data_codec->id : AV_CODEC_ID_NONE;
}

// Probes the streams. Returns a negative error only for an input without any stream; ic is closed
// then.
int TCustomFFmpegOpt::FindStreamInfo(TOptionsContext& o, AVFormatContext*& ic, const std::string& fileName) {
  if (!Ffind_stream_info) return 0;
  TDictionaryArray opts = SetupFindStreamInfoOpts(ic, o.g->codec_opts);
  if (OnBeforeFindStreamInfo) OnBeforeFindStreamInfo(this, ic);
  FLastRead = Now();
  const int ret = FF().avformat_find_stream_info(ic, opts.Data());
  if (ret < 0) {
    // Streams the probe could not fully describe may still be usable: only an input without any
    // stream is refused.
    Refuse(TLogLevel::llFatal, FormatStr("%s: could not find codec parameters", fileName.c_str()), ret);
    if (ic->nb_streams == 0) {
      CloseInputFormat(&ic);
      return ret;
    }
  }
  return 0;
}

// "-sseof" and "-ss" on an input: the start time it is read from, sought to. Returns that time
// (with the input's own start added unless "-seek_timestamp" was given), the offset the input's
// stamps are shifted by.
int64_t TCustomFFmpegOpt::SeekInputStart(TOptionsContext& o, AVFormatContext* ic,
                                         const std::string& fileName) {
  if (o.start_time_eof != AV_NOPTS_VALUE) {
    if (ic->duration > 0)
      o.start_time = o.start_time_eof + ic->duration;
    else
      Log(TLogLevel::llWarning, "Cannot use -sseof, duration of %s not known", fileName.c_str());
  }
  int64_t timestamp = o.start_time == AV_NOPTS_VALUE ? 0 : o.start_time;
  // The longest remaining input: the total that progress reports count against.
  if (ic->duration != AV_NOPTS_VALUE && ic->duration - timestamp > FInputDuration)
    FInputDuration = ic->duration - timestamp;
  if (!o.seek_timestamp && ic->start_time != AV_NOPTS_VALUE) timestamp += ic->start_time;

  if (o.start_time != AV_NOPTS_VALUE) {
    int64_t seekTimestamp = timestamp;
    if (!(ic->iformat->flags & AVFMT_SEEK_TO_PTS)) {
      bool dtsHeuristic = false;
      for (unsigned i = 0; i < ic->nb_streams; i++)
        if (ic->streams[i]->codecpar->video_delay) dtsHeuristic = true;
      // Seek a little earlier: the demuxer seeks by DTS, which lags the PTS by the reorder delay.
      if (dtsHeuristic) seekTimestamp -= 3 * AV_TIME_BASE / 23;
    }
    FLastRead = Now();
    const int ret = FF().avformat_seek_file(ic, -1, INT64_MIN, seekTimestamp, seekTimestamp, 0);
    if (ret < 0)
      Log(TLogLevel::llWarning, "%s: could not seek to position %0.3f", fileName.c_str(),
          double(timestamp) / AV_TIME_BASE);
  }
  return timestamp;
}

// The input's record, which owns ic from here on (ic is left null).
TInputFile& TCustomFFmpegOpt::AddInputFileRecord(TOptionsContext& o, AVFormatContext*& ic,
                                                 int64_t timestamp) {
  auto f = std::make_unique<TInputFile>();
  f->ctx.reset(ic);
  f->ist_index = int(Finput_streams.size()) - int(ic->nb_streams);
  f->start_time = o.start_time;
  f->recording_time = o.recording_time;
  f->input_ts_offset = o.input_ts_offset;
  if (Fcopy_ts)
    f->ts_offset =
        o.input_ts_offset - ((Fstart_at_zero && ic->start_time != AV_NOPTS_VALUE) ? ic->start_time : 0);
  else
    f->ts_offset = o.input_ts_offset - timestamp;
  f->ts_offset_copy_ts = Fcopy_ts != 0;
  f->input_sync_ref = o.input_sync_ref;
  f->nb_streams = int(ic->nb_streams);
  f->readrate = o.readrate > 0 ? o.readrate : (o.rate_emu ? 1.0f : 0.0f);
  f->rate_emu = f->readrate > 0;
  f->accurate_seek = o.accurate_seek;
  f->loop = o.loop;
  f->duration = 0;
  f->time_base = AVRational{1, 1};
  ic = nullptr;  // owned by the record from here on
  Finput_files.push_back(std::move(f));
  return *Finput_files.back();
}

// "-isync". A start time here is the file's first time stamp, plus its -ss without -copyts (even
// with -seek_timestamp), and for the reference less its -itsoffset: the target's stamps then move
// as the reference's do, plus its own -itsoffset. These are the figures the FFmpeg 5.1 program
// logs for the same inputs, and its order of checks.
int TCustomFFmpegOpt::ApplySyncOffsets() {
  const int count = int(Finput_files.size());
  auto synced = [&](int i) {
    const int ref = Finput_files[std::size_t(i)]->input_sync_ref;
    return ref != -1 && ref != i;
  };
  auto refuse = [&](const std::string& text) { return Refuse(TLogLevel::llFatal, text, AVERROR(EINVAL)); };
  // Every refusal first: a refused step leaves every offset as it was.
  for (int i = 0; i < count; i++) {
    if (!synced(i) || Finput_files[std::size_t(i)]->ts_offset_synced) continue;
    const int ref = Finput_files[std::size_t(i)]->input_sync_ref;
    if (ref < 0 || ref >= count)
      return refuse(FormatStr("-isync for input %d references non-existent input %d.", i, ref));
    if (Fcopy_ts && !Fstart_at_zero)
      return refuse("Use of -isync requires that start_at_zero be set if copyts is set.");
  }
  for (int i = 0; i < count; i++) {
    TInputFile& self = *Finput_files[std::size_t(i)];
    if (!synced(i) || self.ts_offset_synced) continue;
    self.ts_offset_synced = true;
    const int ref = self.input_sync_ref;
    if (synced(ref)) {
      Log(TLogLevel::llError, "-isync for input %d references a resynced input %d. Sync not set.", i, ref);
      continue;
    }
    const TInputFile& reference = *Finput_files[std::size_t(ref)];
    const int64_t selfStart = self.ctx->start_time;
    const int64_t refStart = reference.ctx->start_time;
    if (selfStart == AV_NOPTS_VALUE || refStart == AV_NOPTS_VALUE) {
      Log(TLogLevel::llInfo,
          "Unable to identify start times for Inputs #%d and %d both. No sync adjustment made.", i, ref);
      continue;
    }
    int64_t adjustment = selfStart - refStart + reference.input_ts_offset;
    if (!Fcopy_ts) {
      if (self.start_time != AV_NOPTS_VALUE) adjustment += self.start_time;
      if (reference.start_time != AV_NOPTS_VALUE) adjustment -= reference.start_time;
    }
    self.ts_offset += adjustment;
    Log(TLogLevel::llInfo, "Adjusted ts offset for Input #%d by %" PRId64 " us to sync with Input #%d.", i,
        adjustment, ref);
  }
  return 0;
}

// "-dump_attachment": the attachments of the matching streams written to files.
void TCustomFFmpegOpt::DumpAttachments(TOptionsContext& o, TInputFile& file) {
  for (const TSpecifierOpt& entry : o.dump_attachment) {
    for (int j = 0; j < file.nb_streams; j++) {
      AVStream* st = file.ctx->streams[j];
      const int r = FF().avformat_match_stream_specifier(file.ctx.get(), st, entry.specifier.c_str());
      if (r < 0) RaiseError(FormatAVError("check_stream_specifier", r));
      if (r == 1) DumpAttachment(st, entry.u.str);
    }
  }
}

int TCustomFFmpegOpt::OpenInputFile(TOptionsContext& o, const std::string& options,
                                    const std::string& fileName, const std::string& presets) {
  int ret = ParseOptions(o, options, "input file", OPT_INPUT, fileName, presets);
  if (ret < 0) return ret;
  ret = ResolveRecordingTime(o);
  if (ret < 0) return ret;
  ApplyBitexact(o, false);
  if (o.readrate < 0) {
    return Refuse(TLogLevel::llError,
                  FormatStr("Option -readrate for Input #%d is %0.3f; it must be non-negative.",
                            int(Finput_files.size()), double(o.readrate)),
                  AVERROR(EINVAL));
  }
  if (o.readrate > 0 && o.rate_emu)
    Log(TLogLevel::llWarning, "Both -readrate and -re set. Using -readrate %0.3f.", double(o.readrate));

  const AVInputFormat* fileIformat = nullptr;
  if (!o.format.empty()) {
    fileIformat = FindInputFormat(o.format);
    if (fileIformat == nullptr)
      return Refuse(TLogLevel::llFatal, FormatStr("Unknown input format: \"%s\"", o.format.c_str()),
                    AVERROR(EINVAL));
  }

  AVFormatContext* ic = FF().avformat_alloc_context();
  if (ic == nullptr) return Refuse(TLogLevel::llFatal, "avformat_alloc_context() failed", AVERROR(ENOMEM));
  const std::size_t streamsBefore = Finput_streams.size();
  try {
    SetDemuxerOptions(o, fileIformat);
    ForceDecodersByKind(o, ic);

    ic->flags |= AVFMT_FLAG_NONBLOCK;
    ic->interrupt_callback = FReadCallback;

    bool scanAllPmtsSet = false;
    if (FF().av_dict_get(o.g->format_opts, "scan_all_pmts", nullptr, AV_DICT_MATCH_CASE) == nullptr) {
      FF().av_dict_set(&o.g->format_opts, "scan_all_pmts", "1", AV_DICT_DONT_OVERWRITE);
      scanAllPmtsSet = true;
    }
    FLastRead = Now();
    ret = OpenInputFormat(&ic, FileNameToFF(fileName), fileIformat, &o.g->format_opts);
    if (ret < 0) {
      // avformat_open_input freed the context.
      ic = nullptr;
      Refuse(TLogLevel::llFatal, FormatAVError(fileName, ret), ret);
      if (ret == AVERROR_PROTOCOL_NOT_FOUND)
        Log(TLogLevel::llError, "Did you mean file:%s?", fileName.c_str());
      return ret;
    }
    if (scanAllPmtsSet) FF().av_dict_set(&o.g->format_opts, "scan_all_pmts", nullptr, AV_DICT_MATCH_CASE);
    RemoveOptions(&o.g->format_opts, o.g->codec_opts);
    AssertOptionsConsumed(o.g->format_opts);

    // Forcing a decoder may change a stream's codec id before it is probed.
    for (unsigned i = 0; i < ic->nb_streams; i++) ChooseDecoder(o, ic, ic->streams[i]);

    ret = FindStreamInfo(o, ic, fileName);
    if (ret < 0) return ret;

    const int64_t timestamp = SeekInputStart(o, ic, fileName);

    AddInputStreams(o, ic);
    FF().av_dump_format(ic, int(Finput_files.size()), FileNameToFF(fileName).c_str(), 0);

    std::vector<const AVDictionary*> used;
    for (std::size_t j = streamsBefore; j < Finput_streams.size(); j++)
      used.push_back(Finput_streams[j]->decoder_opts.get());
    if (!CheckUnusedCodecOptions(o.g->codec_opts, used, false, int(Finput_files.size()), fileName)) {
      Finput_streams.resize(streamsBefore);
      CloseInputFormat(&ic);
      return AVERROR(EINVAL);
    }

    TInputFile& file = AddInputFileRecord(o, ic, timestamp);
    DumpAttachments(o, file);
  } catch (...) {
    if (ic != nullptr) CloseInputFormat(&ic);
    // Streams of a file that never became a record must not stay behind.
    if (Finput_streams.size() > streamsBefore &&
        (Finput_files.empty() ||
         Finput_files.back()->ist_index + Finput_files.back()->nb_streams < int(Finput_streams.size())))
      Finput_streams.resize(streamsBefore);
    throw;
  }
  Finput_stream_potentially_available = 1;
  return int(Finput_files.size()) - 1;
}

}  // namespace media
