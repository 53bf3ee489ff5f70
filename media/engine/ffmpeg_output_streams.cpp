// Output streams: one per selected input stream, filter-graph output or attachment, with its
// encoder (or stream copy) and the per-stream settings of the options context. Opening thread.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include <cstring>
#include <fstream>
#include <sstream>

#include "media/engine/custom_ffmpeg_opt.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

bool TCustomFFmpegOpt::ReadFileText(const std::string& fileName, std::string& text) {
  TIOContextPtr pb;
  FLastRead = Now();
  if (FF().avio_open2(OutPtr(pb), fileName.c_str(), AVIO_FLAG_READ, &FReadCallback, nullptr) < 0) {
    Log(TLogLevel::llError, "Error opening file %s.", fileName.c_str());
    return false;
  }
  text.clear();
  unsigned char buffer[4096];
  int n = 0;
  while ((n = FF().avio_read(pb.get(), buffer, sizeof buffer)) > 0)
    text.append(reinterpret_cast<char*>(buffer), std::size_t(n));
  return true;
}

int TCustomFFmpegOpt::ChooseEncoder(TOptionsContext& o, AVFormatContext* s, TOutputStream& ost) {
  const AVMediaType type = ost.st->codecpar->codec_type;
  std::string codecName;
  MatchPerStream(o.codec_names, s, ost.st, codecName);
  if (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_SUBTITLE) {
    if (codecName.empty()) {
      ost.st->codecpar->codec_id = FF().av_guess_codec(s->oformat, nullptr, s->url, nullptr, type);
      ost.enc = FF().avcodec_find_encoder(ost.st->codecpar->codec_id);
      if (ost.enc == nullptr) {
        return Refuse(TLogLevel::llFatal,
                      FormatStr("Automatic encoder selection failed for output stream #%d:%d. Default encoder for "
                                "format %s (codec %s) is probably disabled. Please choose an encoder manually.",
                                ost.file_index, ost.index, s->oformat->name,
                                FF().avcodec_get_name(ost.st->codecpar->codec_id)),
                      AVERROR_ENCODER_NOT_FOUND);
      }
    } else if (codecName != "copy") {
      ost.enc = FindCodecOrDie(codecName, type, true);
      ost.st->codecpar->codec_id = ost.enc->id;
    }
    ost.encoding_needed = codecName != "copy";
  } else {
    // Data, attachments and unknown streams are copied.
    ost.encoding_needed = 0;
  }
  ost.stream_copy = !ost.encoding_needed;
  return 0;
}

TOutputStream* TCustomFFmpegOpt::NewOutputStream(TOptionsContext& o, AVFormatContext* oc, AVMediaType type,
                                                 int sourceIndex) {
  AVStream* st = FF().avformat_new_stream(oc, nullptr);
  if (st == nullptr) RaiseError("Could not alloc stream.");
  const int idx = int(oc->nb_streams) - 1;
  if (std::size_t(idx) < o.streamid_map.size() && o.streamid_map[std::size_t(idx)])
    st->id = o.streamid_map[std::size_t(idx)];

  Foutput_streams.push_back(std::make_unique<TOutputStream>());
  TOutputStream& ost = *Foutput_streams.back();
  ost.file_index = int(Foutput_files.size()) - 1;
  ost.index = idx;
  ost.st = st;
  st->codecpar->codec_type = type;

  if (ChooseEncoder(o, oc, ost) < 0)
    RaiseErrorFmt("Error selecting an encoder for stream %d:%d", ost.file_index, ost.index);
  ost.enc_ctx.reset(FF().avcodec_alloc_context3(ost.enc));
  if (ost.enc_ctx == nullptr) RaiseError("Error allocating the encoding context.");
  ost.enc_ctx->codec_type = type;
  ost.ref_par.reset(FF().avcodec_parameters_alloc());
  if (ost.ref_par == nullptr) RaiseError("Error allocating the encoding parameters.");

  if (ost.enc != nullptr) {
    ost.encoder_opts.reset(CheckStreamSpecifier(o.g->codec_opts, ost.enc->id, oc, st, ost.enc));
    ost.is_filter_codec_opts = 1;
  } else {
    ost.encoder_opts.reset(CheckStreamSpecifier(o.g->codec_opts, AV_CODEC_ID_NONE, oc, st, nullptr));
  }

  std::string timeBase;
  MatchPerStream(o.time_bases, oc, st, timeBase);
  if (!timeBase.empty()) {
    AVRational q;
    if (FF().av_parse_ratio(&q, timeBase.c_str(), INT32_MAX, 0, nullptr) < 0 || q.num <= 0 || q.den <= 0)
      RaiseErrorFmt("Invalid time base: %s", timeBase.c_str());
    st->time_base = q;
  }
  timeBase.clear();
  MatchPerStream(o.enc_time_bases, oc, st, timeBase);
  if (!timeBase.empty()) {
    AVRational q;
    if (FF().av_parse_ratio(&q, timeBase.c_str(), INT32_MAX, 0, nullptr) < 0 || q.den <= 0)
      RaiseErrorFmt("Invalid time base: %s", timeBase.c_str());
    ost.enc_timebase = q;
  }

  ost.max_frames = INT64_MAX;
  MatchPerStream(o.max_frames, oc, st, ost.max_frames);
  for (const TSpecifierOpt& entry : o.max_frames) {
    if (entry.specifier.empty() && type != AVMEDIA_TYPE_VIDEO) {
      Log(TLogLevel::llWarning,
          "Applying unspecific -frames to non video streams, maybe you meant -vframes ?");
      break;
    }
  }
  ost.copy_prior_start = -1;
  MatchPerStream(o.copy_prior_start, oc, st, ost.copy_prior_start);

  std::string bsfs;
  MatchPerStream(o.bitstream_filters, oc, st, bsfs);
  if (!bsfs.empty()) {
    std::size_t pos = 0;
    while (pos <= bsfs.size()) {
      std::size_t comma = bsfs.find(',', pos);
      if (comma == std::string::npos) comma = bsfs.size();
      const std::string item = bsfs.substr(pos, comma - pos);
      pos = comma + 1;
      if (item.empty()) RaiseErrorFmt("Failed to parse bitstream filters: %s", bsfs.c_str());
      const std::size_t eq = item.find('=');
      const std::string name = item.substr(0, eq);
      const AVBitStreamFilter* filter = FF().av_bsf_get_by_name(name.c_str());
      if (filter == nullptr) RaiseErrorFmt("Unknown bitstream filter %s", name.c_str());
      TBitstreamFilterPtr ctx;
      if (FF().av_bsf_alloc(filter, OutPtr(ctx)) < 0)
        RaiseError("Error allocating a bitstream filter context");
      ost.bsf_ctx.push_back(std::move(ctx));
      if (eq != std::string::npos &&
          FF().av_set_options_string(ost.bsf_ctx.back().get(), item.c_str() + eq + 1, "=", ":") < 0)
        RaiseErrorFmt("Error parsing options for bitstream filter %s", name.c_str());
    }
  }

  std::string codecTag;
  MatchPerStream(o.codec_tags, oc, st, codecTag);
  if (!codecTag.empty())
    st->codecpar->codec_tag = ost.enc_ctx->codec_tag = engine_detail::ParseCodecTag(codecTag);

  double qscale = -1;
  MatchPerStream(o.qscale, oc, st, qscale);
  if (qscale >= 0) {
    ost.enc_ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ost.enc_ctx->global_quality = int(FF_QP2LAMBDA * qscale);
  }
  MatchPerStream(o.disposition, oc, st, ost.disposition);

  // Packets, not bytes: FFmpeg 5.1's AVPacket size is not part of its ABI.
  ost.max_muxing_queue_size = 128;
  MatchPerStream(o.max_muxing_queue_size, oc, st, ost.max_muxing_queue_size);
  int dataThreshold = 50 * 1024 * 1024;
  MatchPerStream(o.muxing_queue_data_threshold, oc, st, dataThreshold);
  ost.muxing_queue_data_threshold = std::max(dataThreshold, 0);

  if (oc->oformat->flags & AVFMT_GLOBALHEADER) ost.enc_ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  FF().av_dict_copy(OutPtr(ost.sws_dict), o.g->sws_dict, 0);
  FF().av_dict_copy(OutPtr(ost.swr_opts), o.g->swr_opts, 0);
  if (ost.enc != nullptr && FF().av_get_exact_bits_per_sample(ost.enc->id) == 24)
    FF().av_dict_set(OutPtr(ost.swr_opts), "output_sample_bits", "24", 0);
  FF().av_dict_copy(OutPtr(ost.resample_opts), o.g->resample_opts, 0);

  ost.source_index = sourceIndex;
  if (sourceIndex >= 0) {
    TInputStream& ist = *Finput_streams[std::size_t(sourceIndex)];
    ost.sync_ist = &ist;
    ist.discard = 0;
    ist.st->discard = AVDiscard(ist.user_set_discard);
  }
  ost.last_mux_dts = AV_NOPTS_VALUE;
  ost.muxing_queue.reset(FF().av_fifo_alloc2(8, sizeof(AVPacket*), 0));
  if (ost.muxing_queue == nullptr) RaiseError("Failed to malloc ost.muxing_queue.");
  return &ost;
}

std::string TCustomFFmpegOpt::GetOstFilters(TOptionsContext&, AVFormatContext*, TOutputStream& ost) {
  if (!ost.filters_script.empty() && !ost.filters.empty())
    RaiseErrorFmt("Both -filter and -filter_script set for output stream #%d:%d.", ost.file_index, ost.index);
  if (!ost.filters_script.empty()) {
    std::string text;
    if (!ReadFileText(ost.filters_script, text)) RaiseError("get_ost_filters() failed");
    return text;
  }
  if (!ost.filters.empty()) return ost.filters;
  return ost.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? "null" : "anull";
}

void TCustomFFmpegOpt::CheckStreamcopyFilters(TOptionsContext&, AVFormatContext*, const TOutputStream& ost,
                                              AVMediaType type) {
  if (ost.filters_script.empty() && ost.filters.empty()) return;
  const bool script = !ost.filters_script.empty();
  RaiseErrorFmt(
      "%s \"%s\" was defined for %s output stream %d:%d but codec copy was selected.\nFiltering and "
      "streamcopy "
      "cannot be used together.",
      script ? "Filtergraph script" : "Filtergraph",
      script ? ost.filters_script.c_str() : ost.filters.c_str(), FF().av_get_media_type_string(type),
      ost.file_index, ost.index);
}

namespace {

// 64 comma-separated coefficients into an allocated 16-bit matrix the codec context owns.
uint16_t* ParseMatrix(TCustomFFmpegOpt&, const std::string& text, std::string& error) {
  TMemoryPtr<uint16_t> matrix{static_cast<uint16_t*>(FF().av_mallocz(sizeof(uint16_t) * 64))};
  if (matrix == nullptr) {
    error = "Could not allocate memory for intra matrix.";
    return nullptr;
  }
  const char* p = text.c_str();
  for (int i = 0; i < 64; i++) {
    char* end = nullptr;
    matrix.get()[i] = uint16_t(std::strtol(p, &end, 10));
    if (end == p) {
      error = FormatStr("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i);
      return nullptr;
    }
    p = end;
    if (i < 63) {
      if (*p != ',') {
        error = FormatStr("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i + 1);
        return nullptr;
      }
      p++;
    }
  }
  return matrix.release();
}

}  // namespace

// "-intra_matrix", "-chroma_intra_matrix" and "-inter_matrix": 64 comma-separated values each.
void TCustomFFmpegOpt::SetVideoMatrices(TOptionsContext& o, AVFormatContext* oc, TOutputStream& ost) {
  AVStream* st = ost.st;
  AVCodecContext* videoEnc = ost.enc_ctx.get();
  std::string error;
  std::string matrix;
  MatchPerStream(o.intra_matrices, oc, st, matrix);
  if (!matrix.empty() && (videoEnc->intra_matrix = ParseMatrix(*this, matrix, error)) == nullptr)
    RaiseError(error);
  matrix.clear();
  MatchPerStream(o.chroma_intra_matrices, oc, st, matrix);
  if (!matrix.empty() && (videoEnc->chroma_intra_matrix = ParseMatrix(*this, matrix, error)) == nullptr)
    RaiseError(error);
  matrix.clear();
  MatchPerStream(o.inter_matrices, oc, st, matrix);
  if (!matrix.empty() && (videoEnc->inter_matrix = ParseMatrix(*this, matrix, error)) == nullptr) {
    if (error.rfind("Could not", 0) == 0) RaiseError("Could not allocate memory for inter matrix.");
    RaiseError(error);
  }
}

// "-rc_override start,end,q/...": a quantiser (q > 0) or a quality factor in percent (q <= 0)
// for ranges of frames.
void TCustomFFmpegOpt::SetRcOverride(TOptionsContext& o, AVFormatContext* oc, TOutputStream& ost) {
  AVCodecContext* videoEnc = ost.enc_ctx.get();
  std::string rcOverride;
  MatchPerStream(o.rc_overrides, oc, ost.st, rcOverride);
  if (rcOverride.empty()) return;
  std::size_t pos = 0;
  int count = 0;
  while (pos <= rcOverride.size()) {
    std::size_t slash = rcOverride.find('/', pos);
    if (slash == std::string::npos) slash = rcOverride.size();
    const std::string item = rcOverride.substr(pos, slash - pos);
    pos = slash + 1;
    int start = 0, end = 0, q = 0;
    if (std::sscanf(item.c_str(), "%d,%d,%d", &start, &end, &q) != 3) RaiseError("error parsing rc_override");
    auto* grown = static_cast<RcOverride*>(
        FF().av_realloc_array(videoEnc->rc_override, std::size_t(count + 1), sizeof(RcOverride)));
    if (grown == nullptr) RaiseError("Could not (re)allocate memory for rc_override.");
    videoEnc->rc_override = grown;
    videoEnc->rc_override[count].start_frame = start;
    videoEnc->rc_override[count].end_frame = end;
    if (q > 0) {
      videoEnc->rc_override[count].qscale = q;
      videoEnc->rc_override[count].quality_factor = 1.0;
    } else {
      videoEnc->rc_override[count].qscale = 0;
      videoEnc->rc_override[count].quality_factor = -q / 100.0f;
    }
    count++;
    videoEnc->rc_override_count = count;
  }
}

// "-pass" and "-passlogfile": the first pass writes the encoder's statistics, the second reads them
// (libx264 keeps its own file).
void TCustomFFmpegOpt::SetUpTwoPass(TOptionsContext& o, AVFormatContext* oc, TOutputStream& ost) {
  AVStream* st = ost.st;
  AVCodecContext* videoEnc = ost.enc_ctx.get();
  int doPass = 0;
  MatchPerStream(o.pass, oc, st, doPass);
  if (doPass) {
    if (doPass & 1) {
      videoEnc->flags |= AV_CODEC_FLAG_PASS1;
      FF().av_dict_set(OutPtr(ost.encoder_opts), "flags", "+pass1", AV_DICT_APPEND);
    }
    if (doPass & 2) {
      videoEnc->flags |= AV_CODEC_FLAG_PASS2;
      FF().av_dict_set(OutPtr(ost.encoder_opts), "flags", "+pass2", AV_DICT_APPEND);
    }
  }
  MatchPerStream(o.passlogfiles, oc, st, ost.logfile_prefix);
  if (doPass) {
    const std::string logName = FormatStr(
        "%s-%d.log", ost.logfile_prefix.empty() ? "ffencoder2pass" : ost.logfile_prefix.c_str(), ost.index);
    // The first pass writes the log (libx264 also its ".mbtree" beside it).
    if (doPass & 1)
      for (const std::string& written : {logName, logName + ".mbtree"})
        if (const std::string refusal = InputRefusal(written, written, false); !refusal.empty()) RaiseError(refusal);
    if (std::strcmp(ost.enc->name, "libx264") == 0) {
      FF().av_dict_set(OutPtr(ost.encoder_opts), "stats", logName.c_str(), AV_DICT_DONT_OVERWRITE);
    } else {
      if (videoEnc->flags & AV_CODEC_FLAG_PASS2) {
        std::ifstream in(logName, std::ios::binary);
        if (!in) RaiseErrorFmt("Error reading log file \"%s\" for pass-2 encoding", logName.c_str());
        std::stringstream content;
        content << in.rdbuf();
        const std::string text = content.str();
        auto* stats = static_cast<char*>(FF().av_malloc(text.size() + 1));
        if (stats == nullptr)
          RaiseErrorFmt("Error reading log file \"%s\" for pass-2 encoding", logName.c_str());
        std::memcpy(stats, text.c_str(), text.size() + 1);
        videoEnc->stats_in = stats;
      }
      if (videoEnc->flags & AV_CODEC_FLAG_PASS1) {
        ost.logfile.reset(std::fopen(logName.c_str(), "wb"));
        if (ost.logfile == nullptr)
          RaiseErrorFmt("Cannot write log file \"%s\" for pass-1 encoding", logName.c_str());
      }
    }
  }
}

TOutputStream* TCustomFFmpegOpt::NewVideoStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex) {
  TOutputStream* ostPtr = NewOutputStream(o, oc, AVMEDIA_TYPE_VIDEO, sourceIndex);
  TOutputStream& ost = *ostPtr;
  AVStream* st = ost.st;
  AVCodecContext* videoEnc = ost.enc_ctx.get();

  std::string frameRate;
  MatchPerStream(o.frame_rates, oc, st, frameRate);
  if (!frameRate.empty() && FF().av_parse_video_rate(&ost.frame_rate, frameRate.c_str()) < 0)
    RaiseErrorFmt("Invalid framerate value: %s", frameRate.c_str());
  std::string maxFrameRate;
  MatchPerStream(o.max_frame_rates, oc, st, maxFrameRate);
  if (!maxFrameRate.empty() && FF().av_parse_video_rate(&ost.max_frame_rate, maxFrameRate.c_str()) < 0)
    RaiseErrorFmt("Invalid maximum framerate value: %s", maxFrameRate.c_str());
  if (!frameRate.empty() && !maxFrameRate.empty())
    RaiseError("Only one of -fpsmax and -r can be set for a stream.");
  ost.vsync_method = Fvideo_sync_method;
  std::string fpsMode;
  MatchPerStream(o.fps_mode, oc, st, fpsMode);
  if (!fpsMode.empty() && ParseVsync("fps_mode", fpsMode, ost.vsync_method) < 0)
    RaiseErrorFmt("Invalid value %s specified for fps_mode of #%d:%d.", fpsMode.c_str(), ost.file_index,
                  ost.index);
  if (!frameRate.empty() && ost.vsync_method == 0)
    Log(TLogLevel::llError, "Using -vsync 0 and -r can produce invalid output files");
  MatchPerStream(o.autoscale, oc, st, ost.autoscale);

  std::string aspect;
  MatchPerStream(o.frame_aspect_ratios, oc, st, aspect);
  if (!aspect.empty()) {
    AVRational q;
    if (FF().av_parse_ratio(&q, aspect.c_str(), 255, 0, nullptr) < 0 || q.num <= 0 || q.den <= 0)
      RaiseErrorFmt("Invalid aspect ratio: %s", aspect.c_str());
    ost.frame_aspect_ratio = q;
  }
  MatchPerStream(o.filter_scripts, oc, st, ost.filters_script);
  MatchPerStream(o.filters, oc, st, ost.filters);

  if (ost.stream_copy) {
    CheckStreamcopyFilters(o, oc, ost, AVMEDIA_TYPE_VIDEO);
    return ostPtr;
  }

  std::string frameSize;
  MatchPerStream(o.frame_sizes, oc, st, frameSize);
  if (!frameSize.empty() &&
      FF().av_parse_video_size(&videoEnc->width, &videoEnc->height, frameSize.c_str()) < 0)
    RaiseErrorFmt("Invalid frame size: %s.", frameSize.c_str());
  videoEnc->bits_per_raw_sample = Fframe_bits_per_raw_sample;
  std::string pixFmt;
  MatchPerStream(o.frame_pix_fmts, oc, st, pixFmt);
  if (!pixFmt.empty() && pixFmt[0] == '+') {
    ost.keep_pix_fmt = 1;
    pixFmt.erase(0, 1);
  }
  if (!pixFmt.empty()) {
    videoEnc->pix_fmt = FF().av_get_pix_fmt(pixFmt.c_str());
    if (videoEnc->pix_fmt == AV_PIX_FMT_NONE)
      RaiseErrorFmt("Unknown pixel format requested: %s.", pixFmt.c_str());
  }
  st->sample_aspect_ratio = videoEnc->sample_aspect_ratio;
  if (Fintra_only) videoEnc->gop_size = 0;

  SetVideoMatrices(o, oc, ost);
  SetRcOverride(o, oc, ost);
  if (Fdo_psnr) videoEnc->flags |= AV_CODEC_FLAG_PSNR;

  SetUpTwoPass(o, oc, ost);
  MatchPerStream(o.forced_key_frames, oc, st, ost.forced_keyframes);
  ost.top_field_first = -1;
  MatchPerStream(o.top_field_first, oc, st, ost.top_field_first);
  MatchPerStream(o.force_fps, oc, st, ost.force_fps);
  ost.avfilter = GetOstFilters(o, oc, ost);
  return ostPtr;
}

TOutputStream* TCustomFFmpegOpt::NewAudioStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex) {
  TOutputStream* ostPtr = NewOutputStream(o, oc, AVMEDIA_TYPE_AUDIO, sourceIndex);
  TOutputStream& ost = *ostPtr;
  AVStream* st = ost.st;
  AVCodecContext* audioEnc = ost.enc_ctx.get();
  MatchPerStream(o.filter_scripts, oc, st, ost.filters_script);
  MatchPerStream(o.filters, oc, st, ost.filters);
  if (ost.stream_copy) {
    CheckStreamcopyFilters(o, oc, ost, AVMEDIA_TYPE_AUDIO);
    return ostPtr;
  }
  int channels = 0;
  MatchPerStream(o.audio_channels, oc, st, channels);
  if (channels > 0) {
    FF().av_channel_layout_uninit(&audioEnc->ch_layout);
    audioEnc->ch_layout.order = AV_CHANNEL_ORDER_UNSPEC;
    audioEnc->ch_layout.nb_channels = channels;
  }
  MatchPerStream(o.audio_sample_rate, oc, st, audioEnc->sample_rate);
  std::string sampleFmt;
  MatchPerStream(o.sample_fmts, oc, st, sampleFmt);
  if (!sampleFmt.empty() &&
      (audioEnc->sample_fmt = FF().av_get_sample_fmt(sampleFmt.c_str())) == AV_SAMPLE_FMT_NONE)
    RaiseErrorFmt("Invalid sample format \"%s\"", sampleFmt.c_str());
  MatchPerStream(o.apad, oc, st, ost.apad);
  ost.avfilter = GetOstFilters(o, oc, ost);

  // "-map_channel" entries for this output stream (or for any).
  for (const TAudioChannelMap& map : o.audio_channel_maps) {
    if ((map.ofile_idx != -1 && map.ofile_idx != ost.file_index) ||
        (map.ostream_idx != -1 && map.ostream_idx != ost.index))
      continue;
    if (map.channel_idx == -1) {
      ost.audio_channels_map.push_back(-1);
      continue;
    }
    const TInputStream* ist = nullptr;
    if (ost.source_index == -1) {
      for (auto& candidate : Finput_streams) {
        if (candidate->file_index == map.file_idx && candidate->st->index == map.stream_idx) {
          ist = candidate.get();
          break;
        }
      }
      if (ist == nullptr) {
        Log(TLogLevel::llFatal, "Cannot determine input stream for channel mapping %d.%d", ost.file_index,
            ost.st->index);
        continue;
      }
    } else {
      ist = Finput_streams[std::size_t(ost.source_index)].get();
    }
    if (ist->file_index == map.file_idx && ist->st->index == map.stream_idx)
      ost.audio_channels_map.push_back(map.channel_idx);
  }
  return ostPtr;
}

TOutputStream* TCustomFFmpegOpt::NewSubtitleStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex) {
  TOutputStream* ost = NewOutputStream(o, oc, AVMEDIA_TYPE_SUBTITLE, sourceIndex);
  MatchPerStream(o.copy_initial_nonkeyframes, oc, ost->st, ost->copy_initial_nonkeyframes);
  if (!ost->stream_copy) {
    std::string frameSize;
    MatchPerStream(o.frame_sizes, oc, ost->st, frameSize);
    if (!frameSize.empty() &&
        FF().av_parse_video_size(&ost->enc_ctx->width, &ost->enc_ctx->height, frameSize.c_str()) < 0)
      RaiseErrorFmt("Invalid frame size: %s.", frameSize.c_str());
  }
  return ost;
}

TOutputStream* TCustomFFmpegOpt::NewDataStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex) {
  TOutputStream* ost = NewOutputStream(o, oc, AVMEDIA_TYPE_DATA, sourceIndex);
  if (!ost->stream_copy) RaiseError("Data stream encoding not supported yet (only streamcopy)");
  return ost;
}

TOutputStream* TCustomFFmpegOpt::NewUnknownStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex) {
  TOutputStream* ost = NewOutputStream(o, oc, AVMEDIA_TYPE_UNKNOWN, sourceIndex);
  if (!ost->stream_copy) RaiseError("Unknown stream encoding not supported yet (only streamcopy)");
  return ost;
}

TOutputStream* TCustomFFmpegOpt::NewAttachmentStream(TOptionsContext& o, AVFormatContext* oc,
                                                     int sourceIndex) {
  TOutputStream* ost = NewOutputStream(o, oc, AVMEDIA_TYPE_ATTACHMENT, sourceIndex);
  ost->stream_copy = 1;
  ost->finished = 1;
  return ost;
}

void TCustomFFmpegOpt::FreeOutputStreams() {
  try {
    Foutput_streams.clear();
  } catch (const std::exception& e) {
    Log(TLogLevel::llError, "FreeOutputStreams() exception: %s", e.what());
  }
}

}  // namespace media
