// Opening an output file: muxer, stream selection (automatic or "-map"), output streams with their
// encoders and per-stream settings, simple filter graphs, metadata, and the file itself.
// Runs on the thread that calls OpenOutput.

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/channel_layout.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "media/engine/custom_ffmpeg_opt.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

using engine_detail::StrFormat;

namespace {

uint32_t ParseTag(const std::string& text) {
  char* next = nullptr;
  const uint32_t tag = uint32_t(std::strtol(text.c_str(), &next, 0));
  if (*next == '\0') return tag;
  char fourcc[4] = {0, 0, 0, 0};
  std::memcpy(fourcc, text.data(), std::min<std::size_t>(4, text.size()));
  return MakeFourCC(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
}

}  // namespace

bool TCustomFFmpegOpt::ReadFileText(const std::string& fileName, std::string& text) {
  AVIOContext* pb = nullptr;
  FLastRead = Now();
  if (FF().avio_open2(&pb, fileName.c_str(), AVIO_FLAG_READ, &FReadCallback, nullptr) < 0) {
    Log(TLogLevel::llError, "Error opening file %s.", fileName.c_str());
    return false;
  }
  text.clear();
  unsigned char buffer[4096];
  int n = 0;
  while ((n = FF().avio_read(pb, buffer, sizeof buffer)) > 0) text.append(reinterpret_cast<char*>(buffer), std::size_t(n));
  FF().avio_closep(&pb);
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
        FLastErrMsg = StrFormat(
            "Automatic encoder selection failed for output stream #%d:%d. Default encoder for format %s (codec %s) is "
            "probably disabled. Please choose an encoder manually.",
            ost.file_index, ost.index, s->oformat->name, FF().avcodec_get_name(ost.st->codecpar->codec_id));
        Log(TLogLevel::llFatal, "%s", FLastErrMsg.c_str());
        return AVERROR_ENCODER_NOT_FOUND;
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
  ost.enc_ctx = FF().avcodec_alloc_context3(ost.enc);
  if (ost.enc_ctx == nullptr) RaiseError("Error allocating the encoding context.");
  ost.enc_ctx->codec_type = type;
  ost.ref_par = FF().avcodec_parameters_alloc();
  if (ost.ref_par == nullptr) RaiseError("Error allocating the encoding parameters.");

  if (ost.enc != nullptr) {
    ost.encoder_opts = CheckStreamSpecifier(o.g->codec_opts, ost.enc->id, oc, st, ost.enc);
    ost.is_filter_codec_opts = 1;
  } else {
    ost.encoder_opts = CheckStreamSpecifier(o.g->codec_opts, AV_CODEC_ID_NONE, oc, st, nullptr);
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
      Log(TLogLevel::llWarning, "Applying unspecific -frames to non video streams, maybe you meant -vframes ?");
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
      AVBSFContext* ctx = nullptr;
      if (FF().av_bsf_alloc(filter, &ctx) < 0) RaiseError("Error allocating a bitstream filter context");
      ost.bsf_ctx.push_back(ctx);
      if (eq != std::string::npos &&
          FF().av_set_options_string(ctx, item.c_str() + eq + 1, "=", ":") < 0)
        RaiseErrorFmt("Error parsing options for bitstream filter %s", name.c_str());
    }
  }

  std::string codecTag;
  MatchPerStream(o.codec_tags, oc, st, codecTag);
  if (!codecTag.empty()) st->codecpar->codec_tag = ost.enc_ctx->codec_tag = ParseTag(codecTag);

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

  if (oc->oformat->flags & AVFMT_GLOBALHEADER) ost.enc_ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  FF().av_dict_copy(&ost.sws_dict, o.g->sws_dict, 0);
  FF().av_dict_copy(&ost.swr_opts, o.g->swr_opts, 0);
  if (ost.enc != nullptr && FF().av_get_exact_bits_per_sample(ost.enc->id) == 24)
    FF().av_dict_set(&ost.swr_opts, "output_sample_bits", "24", 0);
  FF().av_dict_copy(&ost.resample_opts, o.g->resample_opts, 0);

  ost.source_index = sourceIndex;
  if (sourceIndex >= 0) {
    TInputStream& ist = *Finput_streams[std::size_t(sourceIndex)];
    ost.sync_ist = &ist;
    ist.discard = 0;
    ist.st->discard = AVDiscard(ist.user_set_discard);
  }
  ost.last_mux_dts = AV_NOPTS_VALUE;
  ost.muxing_queue = FF().av_fifo_alloc2(8, sizeof(AVPacket*), 0);
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
      "%s \"%s\" was defined for %s output stream %d:%d but codec copy was selected.\nFiltering and streamcopy "
      "cannot be used together.",
      script ? "Filtergraph script" : "Filtergraph", script ? ost.filters_script.c_str() : ost.filters.c_str(),
      FF().av_get_media_type_string(type), ost.file_index, ost.index);
}

namespace {

// 64 comma-separated coefficients into an allocated 16-bit matrix the codec context owns.
uint16_t* ParseMatrix(TCustomFFmpegOpt&, const std::string& text, std::string& error) {
  auto* matrix = static_cast<uint16_t*>(FF().av_mallocz(sizeof(uint16_t) * 64));
  if (matrix == nullptr) {
    error = "Could not allocate memory for intra matrix.";
    return nullptr;
  }
  const char* p = text.c_str();
  for (int i = 0; i < 64; i++) {
    char* end = nullptr;
    matrix[i] = uint16_t(std::strtol(p, &end, 10));
    if (end == p) {
      FF().av_free(matrix);
      error = StrFormat("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i);
      return nullptr;
    }
    p = end;
    if (i < 63) {
      if (*p != ',') {
        FF().av_free(matrix);
        error = StrFormat("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i + 1);
        return nullptr;
      }
      p++;
    }
  }
  return matrix;
}

}  // namespace

TOutputStream* TCustomFFmpegOpt::NewVideoStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex) {
  TOutputStream* ostPtr = NewOutputStream(o, oc, AVMEDIA_TYPE_VIDEO, sourceIndex);
  TOutputStream& ost = *ostPtr;
  AVStream* st = ost.st;
  AVCodecContext* videoEnc = ost.enc_ctx;

  std::string frameRate;
  MatchPerStream(o.frame_rates, oc, st, frameRate);
  if (!frameRate.empty() && FF().av_parse_video_rate(&ost.frame_rate, frameRate.c_str()) < 0)
    RaiseErrorFmt("Invalid framerate value: %s", frameRate.c_str());
  if (!frameRate.empty() && Fvideo_sync_method == 0)
    Log(TLogLevel::llError, "Using -vsync 0 and -r can produce invalid output files");

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
  if (!frameSize.empty() && FF().av_parse_video_size(&videoEnc->width, &videoEnc->height, frameSize.c_str()) < 0)
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
    if (videoEnc->pix_fmt == AV_PIX_FMT_NONE) RaiseErrorFmt("Unknown pixel format requested: %s.", pixFmt.c_str());
  }
  st->sample_aspect_ratio = videoEnc->sample_aspect_ratio;
  if (Fintra_only) videoEnc->gop_size = 0;

  std::string error;
  std::string matrix;
  MatchPerStream(o.intra_matrices, oc, st, matrix);
  if (!matrix.empty() && (videoEnc->intra_matrix = ParseMatrix(*this, matrix, error)) == nullptr) RaiseError(error);
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

  std::string rcOverride;
  MatchPerStream(o.rc_overrides, oc, st, rcOverride);
  if (!rcOverride.empty()) {
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
  if (Fdo_psnr) videoEnc->flags |= AV_CODEC_FLAG_PSNR;

  int doPass = 0;
  MatchPerStream(o.pass, oc, st, doPass);
  if (doPass) {
    if (doPass & 1) {
      videoEnc->flags |= AV_CODEC_FLAG_PASS1;
      FF().av_dict_set(&ost.encoder_opts, "flags", "+pass1", AV_DICT_APPEND);
    }
    if (doPass & 2) {
      videoEnc->flags |= AV_CODEC_FLAG_PASS2;
      FF().av_dict_set(&ost.encoder_opts, "flags", "+pass2", AV_DICT_APPEND);
    }
  }
  MatchPerStream(o.passlogfiles, oc, st, ost.logfile_prefix);
  if (doPass) {
    const std::string logName =
        StrFormat("%s-%d.log", ost.logfile_prefix.empty() ? "ffencoder2pass" : ost.logfile_prefix.c_str(), ost.index);
    if (std::strcmp(ost.enc->name, "libx264") == 0) {
      FF().av_dict_set(&ost.encoder_opts, "stats", logName.c_str(), AV_DICT_DONT_OVERWRITE);
    } else {
      if (videoEnc->flags & AV_CODEC_FLAG_PASS2) {
        std::ifstream in(logName, std::ios::binary);
        if (!in) RaiseErrorFmt("Error reading log file \"%s\" for pass-2 encoding", logName.c_str());
        std::stringstream content;
        content << in.rdbuf();
        const std::string text = content.str();
        auto* stats = static_cast<char*>(FF().av_malloc(text.size() + 1));
        if (stats == nullptr) RaiseErrorFmt("Error reading log file \"%s\" for pass-2 encoding", logName.c_str());
        std::memcpy(stats, text.c_str(), text.size() + 1);
        videoEnc->stats_in = stats;
      }
      if (videoEnc->flags & AV_CODEC_FLAG_PASS1) {
        ost.logfile = std::fopen(logName.c_str(), "wb");
        if (ost.logfile == nullptr) RaiseErrorFmt("Cannot write log file \"%s\" for pass-1 encoding", logName.c_str());
      }
    }
  }
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
  AVCodecContext* audioEnc = ost.enc_ctx;
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
  if (!sampleFmt.empty() && (audioEnc->sample_fmt = FF().av_get_sample_fmt(sampleFmt.c_str())) == AV_SAMPLE_FMT_NONE)
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

TOutputStream* TCustomFFmpegOpt::NewAttachmentStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex) {
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

namespace {

// Chapters of the input file, shifted into the output's time range.
void CopyChapters(const TInputFile& ifile, TOutputFile& ofile, AVFormatContext* os, bool copyMetadata) {
  AVFormatContext* is = ifile.ctx;
  const int64_t tsOff = ifile.ts_offset - (ofile.start_time == AV_NOPTS_VALUE ? 0 : ofile.start_time);
  for (unsigned i = 0; i < is->nb_chapters; i++) {
    const AVChapter* inCh = is->chapters[i];
    const int64_t startTime = ofile.start_time == AV_NOPTS_VALUE ? 0 : ofile.start_time;
    const int64_t rt = ofile.recording_time == INT64_MAX ? INT64_MAX : ofile.recording_time;
    if (FF().av_compare_ts(inCh->end, inCh->time_base, startTime - ifile.ts_offset, AV_TIME_BASE_Q) < 0) continue;
    if (rt != INT64_MAX &&
        FF().av_compare_ts(rt - tsOff, AV_TIME_BASE_Q, inCh->start, inCh->time_base) <= 0)
      break;
    auto* outCh = static_cast<AVChapter*>(FF().av_mallocz(sizeof(AVChapter)));
    if (outCh == nullptr) return;
    outCh->id = inCh->id;
    outCh->time_base = inCh->time_base;
    outCh->start = std::max<int64_t>(0, inCh->start - FF().av_rescale_q(tsOff, AV_TIME_BASE_Q, outCh->time_base));
    outCh->end = FF().av_rescale_q(tsOff, AV_TIME_BASE_Q, outCh->time_base);
    outCh->end = inCh->end - outCh->end;
    if (rt != INT64_MAX) outCh->end = std::min(outCh->end, FF().av_rescale_q(rt, AV_TIME_BASE_Q, outCh->time_base));
    if (copyMetadata) FF().av_dict_copy(&outCh->metadata, inCh->metadata, 0);
    auto* grown = static_cast<AVChapter**>(
        FF().av_realloc_array(os->chapters, std::size_t(os->nb_chapters) + 1, sizeof(AVChapter*)));
    if (grown == nullptr) {
      FF().av_dict_free(&outCh->metadata);
      FF().av_free(outCh);
      return;
    }
    os->chapters = grown;
    os->chapters[os->nb_chapters++] = outCh;
  }
}

}  // namespace

int TCustomFFmpegOpt::OpenOutputFile(TOptionsContext& o, const std::string& options, const std::string& fileName,
                                     const std::string& presets) {
  int ret = ParseOptions(o, options, "output file", OPT_OUTPUT, fileName, presets);
  if (ret < 0) return ret;

  const std::size_t streamsBefore = Foutput_streams.size();
  const std::size_t graphsBefore = Ffiltergraphs.size();
  try {
    InitComplexFilters();
  } catch (const FFmpegException& e) {
    FLastErrMsg = std::string("Error initializing complex filters: ") + e.what();
    return AVERROR(EINVAL);
  }

  if (o.stop_time != INT64_MAX && o.recording_time != INT64_MAX) {
    o.stop_time = INT64_MAX;
    Log(TLogLevel::llWarning, "-t and -to cannot be used together; using -t.");
  }
  if (o.stop_time != INT64_MAX && o.recording_time == INT64_MAX) {
    const int64_t start = o.start_time == AV_NOPTS_VALUE ? 0 : o.start_time;
    if (o.stop_time <= start) {
      FLastErrMsg = "-to value smaller than -ss; aborting.";
      Log(TLogLevel::llError, "%s", FLastErrMsg.c_str());
      return AVERROR(EINVAL);
    }
    o.recording_time = o.stop_time - start;
  }

  Foutput_files.push_back(std::make_unique<TOutputFile>());
  TOutputFile* of = Foutput_files.back().get();
  const int fileIndex = int(Foutput_files.size()) - 1;
  const std::string ffName = FileNameToFF(fileName);

  // Undoes everything this call added: the record, its streams, their graphs, an empty file.
  auto rollback = [&] {
    for (auto& fg : Ffiltergraphs)
      for (auto& ofilter : fg->outputs)
        if (ofilter->ost != nullptr && ofilter->ost->file_index == fileIndex) ofilter->ost = nullptr;
    for (auto& ist : Finput_streams) {
      auto& filters = ist->filters;
      filters.erase(std::remove_if(filters.begin(), filters.end(),
                                   [&](TInputFilter* f) { return f->graph->index >= int(graphsBefore); }),
                    filters.end());
    }
    if (Ffiltergraphs.size() > graphsBefore) Ffiltergraphs.resize(graphsBefore);
    Foutput_streams.resize(streamsBefore);
    OpenOutputFailed(of);
  };

  try {
    AVFormatContext* oc = nullptr;
    ret = FF().avformat_alloc_output_context2(&oc, nullptr, o.format.empty() ? nullptr : o.format.c_str(),
                                              ffName.c_str());
    if (oc == nullptr) {
      FLastErrMsg = FormatAVError(fileName, ret);
      Log(TLogLevel::llError, "%s", FLastErrMsg.c_str());
      rollback();
      return ret < 0 ? ret : AVERROR(ENOMEM);
    }
    of->ctx = oc;
    of->file_name = fileName;
    of->ost_index = int(Foutput_streams.size());
    of->recording_time = o.recording_time;
    of->start_time = o.start_time;
    of->limit_filesize = o.limit_filesize == INT64_MAX ? UINT64_MAX : uint64_t(o.limit_filesize);
    of->shortest = o.shortest;
    FF().av_dict_copy(&of->opts, o.g->format_opts, 0);
    if (o.recording_time != INT64_MAX) {
      oc->duration = o.recording_time;
      if (o.recording_time > FOutputDuration) FOutputDuration = o.recording_time;
    }
    oc->interrupt_callback = FWriteCallback;
    if (const AVDictionaryEntry* e = FF().av_dict_get(o.g->format_opts, "fflags", nullptr, 0)) {
      const AVOption* opt = FF().av_opt_find(oc, "fflags", nullptr, 0, 0);
      if (opt != nullptr) FF().av_opt_eval_flags(oc, opt, e->value, &oc->flags);
    }

    // Unlabelled outputs of complex graphs each get a stream of their own.
    for (auto& fg : Ffiltergraphs) {
      for (auto& ofilter : fg->outputs) {
        if (ofilter->out_tmp == nullptr || ofilter->out_tmp->name != nullptr) continue;
        switch (ofilter->type_) {
          case AVMEDIA_TYPE_VIDEO: o.video_disable = 1; break;
          case AVMEDIA_TYPE_AUDIO: o.audio_disable = 1; break;
          case AVMEDIA_TYPE_SUBTITLE: o.subtitle_disable = 1; break;
          default: break;
        }
        TOutputStream* ost = nullptr;
        switch (ofilter->type_) {
          case AVMEDIA_TYPE_VIDEO: ost = NewVideoStream(o, oc, -1); break;
          case AVMEDIA_TYPE_AUDIO: ost = NewAudioStream(o, oc, -1); break;
          default: RaiseError("Only video and audio filters are supported currently.");
        }
        BindComplexOutput(*ofilter, *ost);
      }
    }

    if (o.stream_maps.empty()) {
      // Video: the largest picture; streams that were seen carrying packets while probing first.
      if (!o.video_disable &&
          FF().av_guess_codec(oc->oformat, nullptr, ffName.c_str(), nullptr, AVMEDIA_TYPE_VIDEO) != AV_CODEC_ID_NONE) {
        int area = 0;
        int idx = -1;
        const int qcr = FF().avformat_query_codec(oc->oformat, oc->oformat->video_codec, 0);
        const int apic = int(MakeFourCC('A', 'P', 'I', 'C'));
        for (int i = 0; i < int(Finput_streams.size()); i++) {
          const TInputStream& ist = *Finput_streams[i];
          int newArea = ist.st->codecpar->width * ist.st->codecpar->height +
                        100000000 * !!(ist.st->event_flags & AVSTREAM_EVENT_FLAG_NEW_PACKETS);
          if (qcr != apic && (ist.st->disposition & AV_DISPOSITION_ATTACHED_PIC)) newArea = 1;
          if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && newArea > area) {
            if (qcr == apic && !(ist.st->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
            area = newArea;
            idx = i;
          }
        }
        if (idx >= 0) NewVideoStream(o, oc, idx);
      }
      // Audio: the most channels.
      if (!o.audio_disable &&
          FF().av_guess_codec(oc->oformat, nullptr, ffName.c_str(), nullptr, AVMEDIA_TYPE_AUDIO) != AV_CODEC_ID_NONE) {
        int bestScore = 0;
        int idx = -1;
        for (int i = 0; i < int(Finput_streams.size()); i++) {
          const TInputStream& ist = *Finput_streams[i];
          const int score = ist.st->codecpar->ch_layout.nb_channels +
                            100000000 * !!(ist.st->event_flags & AVSTREAM_EVENT_FLAG_NEW_PACKETS);
          if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && score > bestScore) {
            bestScore = score;
            idx = i;
          }
        }
        if (idx >= 0) NewAudioStream(o, oc, idx);
      }
      // Subtitles: the first one the output's encoder can take.
      std::string subtitleCodecName;
      MatchPerTypeCodecName(o, "s", subtitleCodecName);
      if (!o.subtitle_disable &&
          (FF().avcodec_find_encoder(oc->oformat->subtitle_codec) != nullptr || !subtitleCodecName.empty())) {
        for (int i = 0; i < int(Finput_streams.size()); i++) {
          const AVStream* st = Finput_streams[i]->st;
          if (st->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
          const AVCodecDescriptor* inputDescriptor = FF().avcodec_descriptor_get(st->codecpar->codec_id);
          const AVCodecDescriptor* outputDescriptor = nullptr;
          const AVCodec* outputCodec = FF().avcodec_find_encoder(oc->oformat->subtitle_codec);
          int inputProps = 0;
          int outputProps = 0;
          if (outputCodec != nullptr) outputDescriptor = FF().avcodec_descriptor_get(outputCodec->id);
          if (inputDescriptor != nullptr)
            inputProps = inputDescriptor->props & (AV_CODEC_PROP_TEXT_SUB | AV_CODEC_PROP_BITMAP_SUB);
          if (outputDescriptor != nullptr)
            outputProps = outputDescriptor->props & (AV_CODEC_PROP_TEXT_SUB | AV_CODEC_PROP_BITMAP_SUB);
          if (!subtitleCodecName.empty() || (inputProps & outputProps) ||
              (inputDescriptor != nullptr && outputDescriptor != nullptr &&
               (!inputDescriptor->props || !outputDescriptor->props))) {
            NewSubtitleStream(o, oc, i);
            break;
          }
        }
      }
      // Data: the first stream of the muxer's data codec.
      if (!o.data_disable) {
        const AVCodecID codecId = FF().av_guess_codec(oc->oformat, nullptr, ffName.c_str(), nullptr, AVMEDIA_TYPE_DATA);
        for (int i = 0; codecId != AV_CODEC_ID_NONE && i < int(Finput_streams.size()); i++) {
          const AVStream* st = Finput_streams[i]->st;
          if (st->codecpar->codec_type == AVMEDIA_TYPE_DATA && st->codecpar->codec_id == codecId) {
            NewDataStream(o, oc, i);
            break;
          }
        }
      }
    } else {
      for (const TStreamMap& map : o.stream_maps) {
        if (map.disabled) continue;
        if (!map.linklabel.empty()) {
          TOutputFilter* found = nullptr;
          for (auto& fg : Ffiltergraphs) {
            for (auto& ofilter : fg->outputs) {
              if (ofilter->out_tmp != nullptr && ofilter->out_tmp->name != nullptr &&
                  map.linklabel == ofilter->out_tmp->name) {
                found = ofilter.get();
                break;
              }
            }
            if (found != nullptr) break;
          }
          if (found == nullptr) {
            FLastErrMsg = StrFormat(
                "Output with label \"%s\" does not exist in any defined filter graph, or was already used elsewhere.",
                map.linklabel.c_str());
            Log(TLogLevel::llFatal, "%s", FLastErrMsg.c_str());
            rollback();
            return AVERROR(EINVAL);
          }
          TOutputStream* ost = nullptr;
          switch (found->type_) {
            case AVMEDIA_TYPE_VIDEO: ost = NewVideoStream(o, oc, -1); break;
            case AVMEDIA_TYPE_AUDIO: ost = NewAudioStream(o, oc, -1); break;
            default: RaiseError("Only video and audio filters are supported currently.");
          }
          BindComplexOutput(*found, *ost);
          continue;
        }
        const int srcIdx = Finput_files[map.file_index]->ist_index + map.stream_index;
        const TInputStream& ist = *Finput_streams[std::size_t(srcIdx)];
        const AVMediaType type = ist.st->codecpar->codec_type;
        if ((o.subtitle_disable && type == AVMEDIA_TYPE_SUBTITLE) || (o.audio_disable && type == AVMEDIA_TYPE_AUDIO) ||
            (o.video_disable && type == AVMEDIA_TYPE_VIDEO) || (o.data_disable && type == AVMEDIA_TYPE_DATA))
          continue;
        TOutputStream* ost = nullptr;
        switch (type) {
          case AVMEDIA_TYPE_VIDEO: ost = NewVideoStream(o, oc, srcIdx); break;
          case AVMEDIA_TYPE_AUDIO: ost = NewAudioStream(o, oc, srcIdx); break;
          case AVMEDIA_TYPE_SUBTITLE: ost = NewSubtitleStream(o, oc, srcIdx); break;
          case AVMEDIA_TYPE_DATA: ost = NewDataStream(o, oc, srcIdx); break;
          case AVMEDIA_TYPE_ATTACHMENT: ost = NewAttachmentStream(o, oc, srcIdx); break;
          default:
            if (Fcopy_unknown_streams) {
              ost = NewUnknownStream(o, oc, srcIdx);
            } else if (Fignore_unknown_streams) {
              Log(TLogLevel::llWarning, "Cannot map stream #%d:%d - unsupported type.", map.file_index,
                  map.stream_index);
              continue;
            } else {
              FLastErrMsg = StrFormat(
                  "Cannot map stream #%d:%d - unsupported type.\nIf you want unsupported types ignored instead of "
                  "failing, please use the -ignore_unknown option\nIf you want them copied, please use -copy_unknown",
                  map.file_index, map.stream_index);
              Log(TLogLevel::llFatal, "%s", FLastErrMsg.c_str());
              rollback();
              return AVERROR(EINVAL);
            }
        }
        if (ost != nullptr)
          ost->sync_ist = Finput_streams[std::size_t(Finput_files[map.sync_file_index]->ist_index +
                                                     map.sync_stream_index)]
                              .get();
      }
    }

    // Attachments.
    for (const std::string& attachment : o.attachments) {
      AVIOContext* pb = nullptr;
      FLastRead = Now();
      if (FF().avio_open2(&pb, attachment.c_str(), AVIO_FLAG_READ, &FReadCallback, nullptr) < 0)
        RaiseErrorFmt("Could not open attachment file %s.", attachment.c_str());
      const int64_t len = FF().avio_size(pb);
      if (len <= 0) {
        FF().avio_closep(&pb);
        RaiseErrorFmt("Could not get size of the attachment %s.", attachment.c_str());
      }
      if (len > (1 << 30)) {
        FF().avio_closep(&pb);
        RaiseErrorFmt("Attachment %s too large to fit into memory.", attachment.c_str());
      }
      auto* data = static_cast<uint8_t*>(FF().av_malloc(std::size_t(len) + AV_INPUT_BUFFER_PADDING_SIZE));
      if (data == nullptr) {
        FF().avio_closep(&pb);
        RaiseErrorFmt("Attachment %s too large to fit into memory.", attachment.c_str());
      }
      FF().avio_read(pb, data, int(len));
      std::memset(data + len, 0, AV_INPUT_BUFFER_PADDING_SIZE);
      FF().avio_closep(&pb);
      TOutputStream* ost = NewAttachmentStream(o, oc, -1);
      ost->stream_copy = 0;
      ost->attachment_filename = attachment;
      ost->st->codecpar->extradata = data;
      ost->st->codecpar->extradata_size = int(len);
      const std::size_t slash = attachment.find_last_of('/');
      const std::string base = slash == std::string::npos ? attachment : attachment.substr(slash + 1);
      FF().av_dict_set(&ost->st->metadata, "filename", base.c_str(), AV_DICT_DONT_OVERWRITE);
    }

    if (oc->nb_streams == 0 && !(oc->oformat->flags & AVFMT_NOSTREAMS)) {
      FLastErrMsg = StrFormat("Output file #%d does not contain any stream", fileIndex);
      Log(TLogLevel::llError, "%s", FLastErrMsg.c_str());
      rollback();
      return AVERROR(EINVAL);
    }

    // Codec options that no stream of this file took.
    AVDictionary* unused = StripSpecifiers(o.g->codec_opts);
    for (std::size_t j = std::size_t(of->ost_index); j < Foutput_streams.size(); j++) {
      const AVDictionaryEntry* t = nullptr;
      while ((t = FF().av_dict_get(Foutput_streams[j]->encoder_opts, "", t, AV_DICT_IGNORE_SUFFIX)) != nullptr)
        FF().av_dict_set(&unused, t->key, nullptr, 0);
    }
    const AVDictionaryEntry* t = nullptr;
    while ((t = FF().av_dict_get(unused, "", t, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
      const AVClass* cls = FF().avcodec_get_class();
      const AVOption* option =
          FF().av_opt_find(&cls, t->key, nullptr, 0, AV_OPT_SEARCH_CHILDREN | AV_OPT_SEARCH_FAKE_OBJ);
      const AVClass* fcls = FF().avformat_get_class();
      const AVOption* foption =
          FF().av_opt_find(&fcls, t->key, nullptr, 0, AV_OPT_SEARCH_CHILDREN | AV_OPT_SEARCH_FAKE_OBJ);
      if (option == nullptr || foption != nullptr) continue;
      if (!(option->flags & AV_OPT_FLAG_ENCODING_PARAM)) {
        FLastErrMsg = StrFormat("Codec AVOption %s (%s) specified for output file #%d (%s) is not an encoding option.",
                                t->key, option->help != nullptr ? option->help : "", fileIndex, fileName.c_str());
        Log(TLogLevel::llError, "%s", FLastErrMsg.c_str());
        FF().av_dict_free(&unused);
        rollback();
        return AVERROR(EINVAL);
      }
      // Options named after a stream kind that this file has no stream of are expected here.
      Log(TLogLevel::llWarning,
          "Codec AVOption %s (%s) specified for output file #%d (%s) has not been used for any stream. The most likely "
          "reason is either wrong type (e.g. a video option with no video streams) or that it is a private option of "
          "some encoder which was not actually used for any stream.",
          t->key, option->help != nullptr ? option->help : "", fileIndex, fileName.c_str());
    }
    FF().av_dict_free(&unused);

    // Decoders for what is encoded; a simple graph for every encoded audio or video stream.
    for (std::size_t i = std::size_t(of->ost_index); i < Foutput_streams.size(); i++) {
      TOutputStream& ost = *Foutput_streams[i];
      if (!ost.encoding_needed || ost.source_index < 0) continue;
      TInputStream& ist = *Finput_streams[std::size_t(ost.source_index)];
      ist.decoding_needed = 1;
      const AVMediaType type = ost.st->codecpar->codec_type;
      if (ost.filter == nullptr && (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO)) {
        try {
          InitSimpleFiltergraph(ist, ost);
        } catch (const FFmpegException&) {
          FLastErrMsg = StrFormat("Error initializing a simple filtergraph between streams %d:%d->%d:%d",
                                  ist.file_index, ist.st->index, ost.file_index, ost.index);
          Log(TLogLevel::llError, "%s", FLastErrMsg.c_str());
          rollback();
          return AVERROR(EINVAL);
        }
      }
    }
    // What the graph outputs must deliver: the size, pixel format, rate, sample format and channel
    // layout asked for ("-s", "-pix_fmt", "-r", "-sample_fmt", "-ar", "-ac"), else whatever the
    // encoder accepts.
    for (std::size_t i = std::size_t(of->ost_index); i < Foutput_streams.size(); i++) {
      TOutputStream& ost = *Foutput_streams[i];
      if (ost.filter == nullptr || ost.enc == nullptr) continue;
      TOutputFilter& f = *ost.filter;
      switch (ost.enc_ctx->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
          f.frame_rate = ost.frame_rate;
          f.format = ost.enc_ctx->pix_fmt;
          f.width = ost.enc_ctx->width;
          f.height = ost.enc_ctx->height;
          break;
        case AVMEDIA_TYPE_AUDIO:
          f.format = ost.enc_ctx->sample_fmt;
          f.sample_rate = ost.enc_ctx->sample_rate;
          FF().av_channel_layout_uninit(&f.ch_layout);
          if (ost.enc_ctx->ch_layout.nb_channels > 0) {
            // A layout the encoder lists for that channel count, else the default one.
            bool found = false;
            for (const AVChannelLayout* l = ost.enc->ch_layouts; l != nullptr && l->nb_channels != 0; l++) {
              if (l->nb_channels == ost.enc_ctx->ch_layout.nb_channels) {
                FF().av_channel_layout_copy(&f.ch_layout, l);
                found = true;
                break;
              }
            }
            if (!found) FF().av_channel_layout_default(&f.ch_layout, ost.enc_ctx->ch_layout.nb_channels);
          }
          break;
        default:
          break;
      }
    }

    if ((oc->oformat->flags & AVFMT_NEEDNUMBER) && !FF().av_filename_number_test(oc->url)) {
      FLastErrMsg = FormatAVError(fileName, AVERROR(EINVAL));
      Log(TLogLevel::llError, "%s", FLastErrMsg.c_str());
      rollback();
      return AVERROR(EINVAL);
    }
    if (!(oc->oformat->flags & AVFMT_NOSTREAMS) && !Finput_stream_potentially_available) {
      FLastErrMsg = "No input streams but output needs an input stream";
      Log(TLogLevel::llError, "%s", FLastErrMsg.c_str());
      rollback();
      return AVERROR(EINVAL);
    }
    if (!(oc->oformat->flags & AVFMT_NOFILE)) {
      // The application asked before it started: an existing file is overwritten.
      FLastWrite = Now();
      ret = FF().avio_open2(&oc->pb, ffName.c_str(), AVIO_FLAG_WRITE, &oc->interrupt_callback, &of->opts);
      if (ret < 0) {
        FLastErrMsg = FormatAVError(fileName, ret);
        Log(TLogLevel::llError, "%s", FLastErrMsg.c_str());
        rollback();
        return ret;
      }
      of->opened_for_writing = true;
    }
    if (o.mux_preload != 0.0f)
      FF().av_dict_set_int(&of->opts, "preload", int64_t(std::llround(o.mux_preload * AV_TIME_BASE)), 0);
    oc->max_delay = int(o.mux_max_delay * AV_TIME_BASE);

    ApplyMetadata(o, *of, fileIndex);
  } catch (...) {
    rollback();
    throw;
  }
  return 0;
}

void TCustomFFmpegOpt::OpenOutputFailed(TOutputFile* of) {
  for (auto it = Foutput_files.begin(); it != Foutput_files.end(); ++it) {
    if (it->get() != of) continue;
    if (of->ctx != nullptr && !(of->ctx->oformat->flags & AVFMT_NOFILE) && of->ctx->pb != nullptr) {
      FF().avio_closep(&of->ctx->pb);
      if (of->opened_for_writing) {
        struct stat info {};
        if (::lstat(of->file_name.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0)
          ::unlink(of->file_name.c_str());
      }
    }
    Foutput_files.erase(it);
    return;
  }
}

namespace {

// "g", "s[:spec]", "c:index" or "p:index" of a metadata option.
bool ParseMetaType(const std::string& arg, char& type, std::string& spec, int& index) {
  type = 'g';
  spec.clear();
  index = 0;
  if (arg.empty()) return true;
  type = arg[0];
  switch (type) {
    case 'g':
      return true;
    case 's':
      if (arg.size() > 1 && arg[1] != ':') return false;
      spec = arg.size() > 2 ? arg.substr(2) : std::string();
      return true;
    case 'c':
    case 'p':
      if (arg.size() > 1 && arg[1] == ':') index = std::atoi(arg.c_str() + 2);
      return true;
    default:
      return false;
  }
}

}  // namespace

void TCustomFFmpegOpt::ApplyMetadata(TOptionsContext& o, TOutputFile& of, int fileIndex) {
  AVFormatContext* oc = of.ctx;

  // "-map_metadata[:outspec] infile[:inspec]".
  for (const TSpecifierOpt& entry : o.metadata_map) {
    const std::string& arg = entry.u.str;
    char* p = nullptr;
    const int inFileIndex = int(std::strtol(arg.c_str(), &p, 0));
    char outType = 'g', inType = 'g';
    std::string outSpec, inSpec;
    int outIndex = 0, inIndex = 0;
    if (!ParseMetaType(entry.specifier, outType, outSpec, outIndex) ||
        !ParseMetaType(*p == ':' ? std::string(p + 1) : std::string(), inType, inSpec, inIndex))
      RaiseErrorFmt("Invalid metadata specifier %s.", arg.c_str());
    if (outType == 'g' || inType == 'g') o.metadata_global_manual = 1;
    if (outType == 's' || inType == 's') o.metadata_streams_manual = 1;
    if (outType == 'c' || inType == 'c') o.metadata_chapters_manual = 1;
    if (inFileIndex < 0) continue;  // "-1" disables the automatic copy only
    if (inFileIndex >= int(Finput_files.size()))
      RaiseErrorFmt("Invalid input file index %d while processing metadata maps", inFileIndex);
    AVFormatContext* ic = Finput_files[std::size_t(inFileIndex)]->ctx;
    std::vector<AVDictionary**> outs;
    std::vector<AVDictionary*> ins;
    auto collect = [&](AVFormatContext* ctx, char type, const std::string& spec, int index, bool out) {
      if (type == 'g') {
        if (out) outs.push_back(&ctx->metadata); else ins.push_back(ctx->metadata);
      } else if (type == 's') {
        bool any = false;
        for (unsigned i = 0; i < ctx->nb_streams; i++) {
          const int r = FF().avformat_match_stream_specifier(ctx, ctx->streams[i], spec.c_str());
          if (r < 0) RaiseErrorFmt("Invalid metadata specifier %s.", spec.c_str());
          if (r > 0) {
            any = true;
            if (out) outs.push_back(&ctx->streams[i]->metadata); else ins.push_back(ctx->streams[i]->metadata);
            if (!out) break;
          }
        }
        if (!any) RaiseErrorFmt("Stream specifier %s does not match  any streams.", spec.c_str());
      } else if (type == 'c') {
        if (index < 0 || unsigned(index) >= ctx->nb_chapters)
          RaiseErrorFmt("Invalid %s index %d while processing metadata maps", "chapter", index);
        if (out) outs.push_back(&ctx->chapters[index]->metadata); else ins.push_back(ctx->chapters[index]->metadata);
      } else {
        if (index < 0 || unsigned(index) >= ctx->nb_programs)
          RaiseErrorFmt("Invalid %s index %d while processing metadata maps", "program", index);
        if (out) outs.push_back(&ctx->programs[index]->metadata); else ins.push_back(ctx->programs[index]->metadata);
      }
    };
    collect(ic, inType, inSpec, inIndex, false);
    collect(oc, outType, outSpec, outIndex, true);
    for (AVDictionary** out : outs) FF().av_dict_copy(out, ins.front(), AV_DICT_DONT_OVERWRITE);
  }

  // Chapters.
  if (o.chapters_input_file >= int(Finput_files.size())) {
    if (o.chapters_input_file == INT32_MAX) {
      o.chapters_input_file = -1;
      for (int i = 0; i < int(Finput_files.size()); i++) {
        if (Finput_files[std::size_t(i)]->ctx->nb_chapters) {
          o.chapters_input_file = i;
          break;
        }
      }
    } else {
      RaiseErrorFmt("Invalid input file index %d in chapter mapping.", o.chapters_input_file);
    }
  }
  if (o.chapters_input_file >= 0)
    CopyChapters(*Finput_files[std::size_t(o.chapters_input_file)], of, oc, !o.metadata_chapters_manual);

  // Global and stream metadata of the first input.
  if (!o.metadata_global_manual && !Finput_files.empty()) {
    FF().av_dict_copy(&oc->metadata, Finput_files[0]->ctx->metadata, AV_DICT_DONT_OVERWRITE);
    if (of.recording_time != INT64_MAX) FF().av_dict_set(&oc->metadata, "duration", nullptr, 0);
    FF().av_dict_set(&oc->metadata, "creation_time", nullptr, 0);
  }
  if (!o.metadata_streams_manual) {
    for (std::size_t i = std::size_t(of.ost_index); i < Foutput_streams.size(); i++) {
      TOutputStream& ost = *Foutput_streams[i];
      if (ost.source_index < 0) continue;
      const TInputStream& ist = *Finput_streams[std::size_t(ost.source_index)];
      FF().av_dict_copy(&ost.st->metadata, ist.st->metadata, AV_DICT_DONT_OVERWRITE);
      if (!ost.stream_copy) FF().av_dict_set(&ost.st->metadata, "encoder", nullptr, 0);
    }
  }

  // Programs: "title=...:program_num=...:st=...".
  for (const TSpecifierOpt& entry : o.program) {
    std::string title;
    int progid = int(oc->nb_programs) + 1;
    std::vector<int> streams;
    std::string text = entry.u.str;
    std::size_t pos = 0;
    if (text.empty()) RaiseError("program string is empty.");
    while (pos < text.size()) {
      std::size_t colon = text.find(':', pos);
      if (colon == std::string::npos) colon = text.size();
      const std::string item = text.substr(pos, colon - pos);
      pos = colon + 1;
      const std::size_t eq = item.find('=');
      if (eq == std::string::npos) RaiseErrorFmt("No \"=\" character in program string %s.", item.c_str());
      const std::string key = item.substr(0, eq);
      const std::string value = item.substr(eq + 1);
      if (key == "title")
        title = value;
      else if (key == "program_num")
        progid = std::atoi(value.c_str());
      else if (key == "st")
        streams.push_back(std::atoi(value.c_str()));
      else
        RaiseErrorFmt("Unknown program key %s.", key.c_str());
    }
    AVProgram* program = FF().av_new_program(oc, progid);
    if (program == nullptr) RaiseError("av_new_program() failed");
    if (!title.empty()) FF().av_dict_set(&program->metadata, "title", title.c_str(), 0);
    for (int st : streams)
      if (st >= 0 && unsigned(st) < oc->nb_streams) FF().av_program_add_stream_index(oc, progid, unsigned(st));
  }

  // "-metadata[:spec] key=value", last.
  for (const TSpecifierOpt& entry : o.metadata) {
    const std::string& arg = entry.u.str;
    const std::size_t eq = arg.find('=');
    if (eq == std::string::npos) RaiseErrorFmt("No \"=\" character in metadata string %s.", arg.c_str());
    const std::string key = arg.substr(0, eq);
    const std::string value = arg.substr(eq + 1);
    char type = 'g';
    std::string spec;
    int index = 0;
    if (!ParseMetaType(entry.specifier, type, spec, index)) RaiseErrorFmt("Invalid metadata type %s.", entry.specifier.c_str());
    const char* v = value.empty() ? nullptr : value.c_str();
    if (type == 's') {
      for (unsigned j = 0; j < oc->nb_streams; j++) {
        const int r = FF().avformat_match_stream_specifier(oc, oc->streams[j], spec.c_str());
        if (r < 0) RaiseErrorFmt("Invalid metadata specifier %s.", spec.c_str());
        if (r > 0) FF().av_dict_set(&oc->streams[j]->metadata, key.c_str(), v, 0);
      }
    } else if (type == 'c') {
      if (index < 0 || unsigned(index) >= oc->nb_chapters)
        RaiseErrorFmt("Invalid %s index %d while processing metadata maps", "chapter", index);
      FF().av_dict_set(&oc->chapters[index]->metadata, key.c_str(), v, 0);
    } else if (type == 'p') {
      if (index < 0 || unsigned(index) >= oc->nb_programs)
        RaiseErrorFmt("Invalid %s index %d while processing metadata maps", "program", index);
      FF().av_dict_set(&oc->programs[index]->metadata, key.c_str(), v, 0);
    } else {
      FF().av_dict_set(&oc->metadata, key.c_str(), v, 0);
    }
  }
  (void)fileIndex;
}

}  // namespace media
