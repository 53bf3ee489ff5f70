// Transcoder initialisation: decoders, encoders (or stream copy), headers, the stream-mapping log.
// Runs on the conversion thread before the main loop; init_output_stream also runs from the loop
// when a filter graph gets configured.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavcodec/bsf.h>
#include <libavfilter/buffersink.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "media/engine/custom_ffmpeg.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

using engine_detail::ReduceQ;

int TCustomFFmpeg::transcode_init() {
  int ret = 0;
  // The text of a failure that is not logged yet.
  std::string error;
  ClearLastErrMsg();

  // Inputs opened after the last output keep their sync reference too.
  if ((ret = ApplySyncOffsets()) < 0) return ret;

  for (auto& of : Foutput_files)
    if (std::strcmp(of->ctx->oformat->name, "rtp") != 0) Fwant_sdp = 0;

  // A graph with one input feeds outputs that have no source of their own from that input.
  for (auto& fg : Ffiltergraphs) {
    if (fg->inputs.size() != 1) continue;
    for (auto& ofilter : fg->outputs) {
      TOutputStream* ost = ofilter->ost;
      if (ost == nullptr || ost->source_index >= 0) continue;
      for (int k = int(Finput_streams.size()) - 1; k >= 0; k--) {
        if (Finput_streams[k].get() == fg->inputs[0]->ist) {
          ost->source_index = k;
          break;
        }
      }
    }
  }

  for (int i = 0; i < int(Finput_streams.size()); i++) {
    if ((ret = init_input_stream(i, error)) < 0) break;
  }
  if (ret >= 0) {
    for (auto& ost : Foutput_streams) {
      if (ost->filter != nullptr) continue;  // initialised once its graph is configured
      if ((ret = init_output_stream(*ost, error)) < 0) break;
    }
  }
  if (ret >= 0) {
    // Programs that hold no used stream are not read at all.
    for (auto& ifile : Finput_files) {
      AVFormatContext* ic = ifile->ctx.get();
      for (unsigned j = 0; j < ic->nb_programs; j++) {
        AVProgram* p = ic->programs[j];
        AVDiscard discard = AVDISCARD_ALL;
        for (unsigned k = 0; k < p->nb_stream_indexes; k++) {
          const unsigned index = unsigned(ifile->ist_index) + p->stream_index[k];
          if (p->stream_index[k] < unsigned(ifile->nb_streams) && !Finput_streams[index]->discard) {
            discard = AVDISCARD_DEFAULT;
            break;
          }
        }
        p->discard = discard;
      }
    }
    for (int i = 0; i < int(Foutput_files.size()); i++) {
      TOutputFile& of = *Foutput_files[i];
      if ((of.ctx->oformat->flags & AVFMT_NOSTREAMS) && of.ctx->nb_streams == 0) {
        if ((ret = check_init_output_file(of, i, error)) < 0) break;
      }
    }
  }

  LogStreamMapping();
  if (ret < 0) {
    // A step that refused has logged and kept its own failure; only a text of no step's is logged here.
    if (error.empty() && FLastError.Code == ret) return ret;
    return Refuse(TLogLevel::llError, error.empty() ? FormatAVError(ret) : error, ret);
  }
  return 0;
}

void TCustomFFmpeg::LogStreamMapping() {
  auto nativeName = [](const char* codecName, const char* name) -> std::string {
    if (name == nullptr) return "?";
    if (codecName != nullptr && std::strcmp(codecName, name) == 0) return "native";
    return name;
  };
  Log(TLogLevel::llInfo, "Stream mapping:");
  const bool manyGraphs = Ffiltergraphs.size() > 1;
  for (auto& ist : Finput_streams) {
    for (TInputFilter* ifilter : ist->filters) {
      if (FiltergraphIsSimple(*ifilter->graph)) continue;
      Log(TLogLevel::llInfo, "  Stream #%d:%d (%s) -> %s%s", ist->file_index, ist->st->index,
          ist->avdec != nullptr ? ist->avdec->name : "?", ifilter->name.c_str(),
          manyGraphs ? FormatStr(" (graph %d)", ifilter->graph->index).c_str() : "");
    }
  }
  for (auto& ost : Foutput_streams) {
    if (!ost->attachment_filename.empty()) {
      Log(TLogLevel::llInfo, "  File %s -> Stream #%d:%d", ost->attachment_filename.c_str(), ost->file_index,
          ost->index);
      continue;
    }
    if (ost->filter != nullptr && !FiltergraphIsSimple(*ost->filter->graph)) {
      Log(TLogLevel::llInfo, "  %s%s -> Stream #%d:%d (%s)", ost->filter->name.c_str(),
          manyGraphs ? FormatStr(" (graph %d)", ost->filter->graph->index).c_str() : "", ost->file_index,
          ost->index, ost->enc != nullptr ? ost->enc->name : "?");
      continue;
    }
    const TInputStream* ist = get_input_stream(*ost);
    if (ist == nullptr) continue;
    std::string line =
        FormatStr("  Stream #%d:%d -> #%d:%d", ist->file_index, ist->st->index, ost->file_index, ost->index);
    if (ost->sync_ist != nullptr && ost->sync_ist != ist)
      line += FormatStr(" [sync #%d:%d]", ost->sync_ist->file_index, ost->sync_ist->st->index);
    if (ost->stream_copy) {
      line += " (copy)";
    } else {
      const AVCodec* inCodec = ist->avdec;
      const AVCodec* outCodec = ost->enc;
      const char* decoderName = "?";
      const char* inCodecName = "?";
      const char* encoderName = "?";
      const char* outCodecName = "?";
      std::string decName;
      std::string encName;
      if (inCodec != nullptr) {
        const AVCodecDescriptor* desc = FF().avcodec_descriptor_get(inCodec->id);
        inCodecName = desc != nullptr ? desc->name : "?";
        decName = nativeName(inCodecName, inCodec->name);
        decoderName = decName.c_str();
      }
      if (outCodec != nullptr) {
        const AVCodecDescriptor* desc = FF().avcodec_descriptor_get(outCodec->id);
        outCodecName = desc != nullptr ? desc->name : "?";
        encName = nativeName(outCodecName, outCodec->name);
        encoderName = encName.c_str();
      }
      line += FormatStr(" (%s (%s) -> %s (%s))", inCodecName, decoderName, outCodecName, encoderName);
    }
    Log(TLogLevel::llInfo, "%s", line.c_str());
  }
}

int TCustomFFmpeg::init_input_stream(int istIndex, std::string& error) {
  TInputStream& ist = *Finput_streams[istIndex];
  if (ist.decoding_needed) {
    const AVCodec* codec = ist.avdec;
    if (codec == nullptr) {
      error = FormatStr("Decoder (codec %s) not found for input stream #%d:%d",
                        FF().avcodec_get_name(ist.dec_ctx->codec_id), ist.file_index, ist.st->index);
      return AVERROR(EINVAL);
    }
    ist.dec_ctx->opaque = &ist;
    ist.engine = this;
    ist.dec_ctx->get_format = &TCustomFFmpeg::GetFormat;
    if (codec->id == AV_CODEC_ID_DVB_SUBTITLE) {
      bool feedsOutput = false;
      for (auto& ost : Foutput_streams)
        if (ost->source_index == istIndex) feedsOutput = true;
      if (feedsOutput) {
        FF().av_dict_set(OutPtr(ist.decoder_opts), "compute_edt", "1", AV_DICT_DONT_OVERWRITE);
        if (!ist.filters.empty())
          Log(TLogLevel::llWarning,
              "Warning using DVB subtitles for filtering and output at the same time is not "
              "fully supported, also see -compute_edt [0|1]");
      }
    }
    ist.dec_ctx->pkt_timebase = ist.st->time_base;
    if (FF().av_dict_get(ist.decoder_opts.get(), "threads", nullptr, 0) == nullptr)
      FF().av_dict_set(OutPtr(ist.decoder_opts), "threads", "auto", 0);
    // An attached picture is a single frame: frame threads would only add latency.
    if (ist.st->disposition & AV_DISPOSITION_ATTACHED_PIC)
      FF().av_dict_set(OutPtr(ist.decoder_opts), "threads", "1", 0);
    int ret = HWDeviceSetupForDecode(ist);
    if (ret < 0) {
      error = FormatAVError(
          FormatStr("Device setup failed for decoder on input stream #%d:%d ", ist.file_index, ist.st->index), ret);
      return ret;
    }
    ret = FF().avcodec_open2(ist.dec_ctx.get(), codec, OutPtr(ist.decoder_opts));
    if (ret < 0) {
      if (ret == AVERROR_EXPERIMENTAL) AbortCodecExperimental();
      error = FormatAVError(
          FormatStr("Error while opening decoder for input stream #%d:%d ", ist.file_index, ist.st->index),
          ret);
      return ret;
    }
    AssertOptionsConsumed(ist.decoder_opts.get());
  }
  ist.next_pts = AV_NOPTS_VALUE;
  ist.next_dts = AV_NOPTS_VALUE;
  return 0;
}

void TCustomFFmpeg::set_encoder_id(TOutputFile& of, TOutputStream& ost) {
  if (FF().av_dict_get(ost.st->metadata, "encoder", nullptr, 0) != nullptr) return;
  int formatFlags = 0;
  int codecFlags = ost.enc_ctx->flags;
  if (const AVDictionaryEntry* e = FF().av_dict_get(of.opts.get(), "fflags", nullptr, 0)) {
    const AVOption* o = FF().av_opt_find(of.ctx.get(), "fflags", nullptr, 0, 0);
    if (o == nullptr) return;
    FF().av_opt_eval_flags(of.ctx.get(), o, e->value, &formatFlags);
  }
  if (const AVDictionaryEntry* e = FF().av_dict_get(ost.encoder_opts.get(), "flags", nullptr, 0)) {
    const AVOption* o = FF().av_opt_find(ost.enc_ctx.get(), "flags", nullptr, 0, 0);
    if (o == nullptr) return;
    FF().av_opt_eval_flags(ost.enc_ctx.get(), o, e->value, &codecFlags);
  }
  const bool bitexact = (formatFlags & AVFMT_FLAG_BITEXACT) || (codecFlags & AV_CODEC_FLAG_BITEXACT);
  const std::string encoder =
      (bitexact ? std::string("Lavc ") : engine_detail::LavcIdent() + " ") + ost.enc->name;
  FF().av_dict_set(&ost.st->metadata, "encoder", encoder.c_str(), AV_DICT_DONT_OVERWRITE);
}

void TCustomFFmpeg::init_encoder_time_base(TOutputStream& ost, AVRational defaultTimeBase) {
  TInputStream* ist = get_input_stream(ost);
  AVCodecContext* encCtx = ost.enc_ctx.get();
  if (ost.enc_timebase.num > 0) {
    encCtx->time_base = ost.enc_timebase;
    return;
  }
  if (ost.enc_timebase.num < 0) {
    if (ist != nullptr) {
      encCtx->time_base = ist->st->time_base;
      return;
    }
    FF().av_log(Foutput_files[ost.file_index]->ctx.get(), AV_LOG_WARNING,
                "Input stream data not available, using default time base\n");
  }
  encCtx->time_base = defaultTimeBase;
}

void TCustomFFmpeg::parse_forced_key_frames(const std::string& kf, TOutputStream& ost,
                                            AVCodecContext* avctx) {
  std::vector<int64_t> pts;
  std::size_t pos = 0;
  while (pos <= kf.size()) {
    std::size_t comma = kf.find(',', pos);
    if (comma == std::string::npos) comma = kf.size();
    const std::string item = kf.substr(pos, comma - pos);
    if (item.rfind("chapters", 0) == 0) {
      AVFormatContext* avf = Foutput_files[ost.file_index]->ctx.get();
      int64_t offset = 0;
      if (item.size() > 8) {
        if (FF().av_parse_time(&offset, item.c_str() + 8, 1) < 0)
          RaiseErrorFmt("Invalid duration specification for force_key_frames: \"%s\"", item.c_str() + 8);
      }
      for (unsigned j = 0; j < avf->nb_chapters; j++) {
        const AVChapter* c = avf->chapters[j];
        pts.push_back(FF().av_rescale_q(c->start, c->time_base, avctx->time_base) +
                      FF().av_rescale_q(offset, AVRational{1, AV_TIME_BASE}, avctx->time_base));
      }
    } else {
      int64_t t = 0;
      if (FF().av_parse_time(&t, item.c_str(), 1) < 0)
        RaiseErrorFmt("Invalid duration specification for force_key_frames: \"%s\"", item.c_str());
      pts.push_back(FF().av_rescale_q(t, AVRational{1, AV_TIME_BASE}, avctx->time_base));
    }
    pos = comma + 1;
  }
  std::sort(pts.begin(), pts.end());
  ost.forced_kf_pts = std::move(pts);
}

int TCustomFFmpeg::init_output_stream_encode(TOutputStream& ost) {
  TInputStream* ist = get_input_stream(ost);
  AVCodecContext* encCtx = ost.enc_ctx.get();
  AVCodecContext* decCtx = nullptr;
  AVFormatContext* oc = Foutput_files[ost.file_index]->ctx.get();

  set_encoder_id(*Foutput_files[ost.file_index], ost);
  // Muxers take the rotation from the display matrix; the tag would contradict it.
  FF().av_dict_set(&ost.st->metadata, "rotate", nullptr, 0);

  // A stream fed by a complex filter graph takes no disposition from its source, even where the
  // graph has one input (which is its source for the rest): it comes out of the graph, not out
  // of that input (as from the FFmpeg 5.1 program).
  const bool fromComplexGraph = ost.filter != nullptr && ost.filter->graph != nullptr &&
                                !FiltergraphIsSimple(*ost.filter->graph);
  if (ist != nullptr) {
    if (!fromComplexGraph) ost.st->disposition = ist->st->disposition;
    decCtx = ist->dec_ctx.get();
    encCtx->chroma_sample_location = decCtx->chroma_sample_location;
  }

  if (encCtx->codec_type == AVMEDIA_TYPE_VIDEO) {
    if (ost.frame_rate.num == 0) ost.frame_rate = FF().av_buffersink_get_frame_rate(ost.filter->filter);
    if (ist != nullptr && ost.frame_rate.num == 0) ost.frame_rate = ist->framerate;
    if (ist != nullptr && ost.frame_rate.num == 0) ost.frame_rate = ist->st->r_frame_rate;
    if (ist != nullptr && ost.frame_rate.num == 0) {
      ost.frame_rate = AVRational{25, 1};
      Log(TLogLevel::llWarning,
          "No information about the input framerate is available. Falling back to a default value of 25fps "
          "for "
          "output stream #%d:%d. Use the -r option if you want a different framerate.",
          ost.file_index, ost.index);
    }
    // "-fpsmax": at most that rate (a stream with "-r" has none).
    if (ost.max_frame_rate.num != 0 &&
        (av_q2d(ost.frame_rate) > av_q2d(ost.max_frame_rate) || ost.max_frame_rate.den == 0))
      ost.frame_rate = ost.max_frame_rate;
    if (ost.enc->supported_framerates != nullptr && !ost.force_fps) {
      const int idx = FF().av_find_nearest_q_idx(ost.frame_rate, ost.enc->supported_framerates);
      ost.frame_rate = ost.enc->supported_framerates[idx];
    }
    // MPEG-4 part 2 stores the time base in 16-bit fields.
    if (encCtx->codec_id == AV_CODEC_ID_MPEG4)
      FF().av_reduce(&ost.frame_rate.num, &ost.frame_rate.den, ost.frame_rate.num, ost.frame_rate.den, 65535);
  }

  switch (encCtx->codec_type) {
    case AVMEDIA_TYPE_AUDIO: {
      AVFilterContext* sink = ost.filter->filter;
      encCtx->sample_fmt = AVSampleFormat(FF().av_buffersink_get_format(sink));
      if (decCtx != nullptr)
        encCtx->bits_per_raw_sample =
            std::min(decCtx->bits_per_raw_sample, FF().av_get_bytes_per_sample(encCtx->sample_fmt) << 3);
      encCtx->sample_rate = FF().av_buffersink_get_sample_rate(sink);
      FF().av_channel_layout_uninit(&encCtx->ch_layout);
      const int ret = FF().av_buffersink_get_ch_layout(sink, &encCtx->ch_layout);
      if (ret < 0) return ret;
      init_encoder_time_base(ost, AVRational{1, encCtx->sample_rate});
      break;
    }
    case AVMEDIA_TYPE_VIDEO: {
      AVFilterContext* sink = ost.filter->filter;
      init_encoder_time_base(ost, av_inv_q(ost.frame_rate));
      if (!(encCtx->time_base.num && encCtx->time_base.den))
        encCtx->time_base = FF().av_buffersink_get_time_base(sink);
      if (av_q2d(encCtx->time_base) < 0.001 && ost.vsync_method != 0 &&
          (ost.vsync_method == 1 || ost.vsync_method == 254 ||
           (ost.vsync_method == -1 && !(oc->oformat->flags & AVFMT_VARIABLE_FPS))))
        FF().av_log(
            oc, AV_LOG_WARNING,
            "Frame rate very high for a muxer not efficiently supporting it.\nPlease consider specifying a "
            "lower framerate, a different muxer or -vsync 2\n");
      for (int64_t& t : ost.forced_kf_pts)
        t = FF().av_rescale_q(t, AVRational{1, AV_TIME_BASE}, encCtx->time_base);
      encCtx->width = FF().av_buffersink_get_w(sink);
      encCtx->height = FF().av_buffersink_get_h(sink);
      encCtx->sample_aspect_ratio = ost.st->sample_aspect_ratio =
          ost.frame_aspect_ratio.num != 0
              ? FF().av_mul_q(ost.frame_aspect_ratio, AVRational{encCtx->height, encCtx->width})
              : FF().av_buffersink_get_sample_aspect_ratio(sink);
      encCtx->pix_fmt = AVPixelFormat(FF().av_buffersink_get_format(sink));
      if (decCtx != nullptr) {
        const AVPixFmtDescriptor* desc = FF().av_pix_fmt_desc_get(encCtx->pix_fmt);
        if (desc != nullptr)
          encCtx->bits_per_raw_sample = std::min(decCtx->bits_per_raw_sample, desc->comp[0].depth);
      }
      encCtx->framerate = ost.frame_rate;
      ost.st->avg_frame_rate = ost.frame_rate;
      if (decCtx == nullptr || encCtx->width != decCtx->width || encCtx->height != decCtx->height ||
          encCtx->pix_fmt != decCtx->pix_fmt)
        encCtx->bits_per_raw_sample = Fframe_bits_per_raw_sample;
      if (!ost.forced_keyframes.empty()) {
        if (ost.forced_keyframes.rfind("expr:", 0) == 0) {
          static const char* const constNames[] = {"n", "n_forced", "prev_forced_n", "prev_forced_t",
                                                   "t", nullptr};
          const int ret =
              FF().av_expr_parse(OutPtr(ost.forced_keyframes_pexpr), ost.forced_keyframes.c_str() + 5,
                                 constNames, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
          if (ret < 0) {
            Log(TLogLevel::llError, "Invalid force_key_frames expression \"%s\"",
                ost.forced_keyframes.c_str() + 5);
            return ret;
          }
          ost.forced_keyframes_expr_const_values[0] = 0;
          ost.forced_keyframes_expr_const_values[1] = 0;
          ost.forced_keyframes_expr_const_values[2] = NAN;
          ost.forced_keyframes_expr_const_values[3] = NAN;
        } else if (ost.forced_keyframes.rfind("source", 0) != 0) {
          parse_forced_key_frames(ost.forced_keyframes, ost, encCtx);
        }
      }
      break;
    }
    case AVMEDIA_TYPE_SUBTITLE:
      encCtx->time_base = AVRational{1, 1000000};
      if (encCtx->width == 0 && ist != nullptr) {
        encCtx->width = ist->st->codecpar->width;
        encCtx->height = ist->st->codecpar->height;
      }
      break;
    case AVMEDIA_TYPE_DATA:
      break;
    default:
      return KeepError(-1, "invalid codec_type of output stream");
  }
  ost.mux_timebase = encCtx->time_base;
  return 0;
}

namespace {

// The disposition names of "-disposition", combined with "+" (and "-" to clear) like FFmpeg's
// flags options; a number sets the value directly.
int ParseDisposition(const std::string& text, int& value) {
  static const struct {
    const char* Name;
    int Flag;
  } flags[] = {{"default", 0x1},           {"dub", 0x2},
               {"original", 0x4},          {"comment", 0x8},
               {"lyrics", 0x10},           {"karaoke", 0x20},
               {"forced", 0x40},           {"hearing_impaired", 0x80},
               {"visual_impaired", 0x100}, {"clean_effects", 0x200},
               {"captions", 0x10000},      {"descriptions", 0x20000},
               {"metadata", 0x40000}};
  std::size_t pos = 0;
  while (pos < text.size()) {
    char sign = 0;
    if (text[pos] == '+' || text[pos] == '-') sign = text[pos++];
    std::size_t end = text.find_first_of("+-", pos);
    if (end == std::string::npos) end = text.size();
    const std::string name = text.substr(pos, end - pos);
    int flag = -1;
    for (const auto& f : flags)
      if (name == f.Name) flag = f.Flag;
    if (flag < 0) {
      char* stop = nullptr;
      const long number = std::strtol(name.c_str(), &stop, 0);
      if (name.empty() || *stop != 0) return AVERROR(EINVAL);
      flag = int(number);
      if (sign == 0) value = 0;
    }
    if (sign == '-')
      value &= ~flag;
    else
      value |= flag;
    pos = end;
  }
  return 0;
}

}  // namespace

int TCustomFFmpeg::init_output_stream(TOutputStream& ost, std::string& error) {
  int ret = 0;
  if (ost.encoding_needed) {
    const AVCodec* codec = ost.enc;
    TInputStream* ist = get_input_stream(ost);
    if ((ret = init_output_stream_encode(ost)) < 0) return ret;
    AVCodecContext* dec = ist != nullptr ? ist->dec_ctx.get() : nullptr;
    if (dec != nullptr && dec->subtitle_header != nullptr) {
      // The encoder expects the header zero-terminated.
      ost.enc_ctx->subtitle_header = static_cast<uint8_t*>(FF().av_mallocz(dec->subtitle_header_size + 1));
      if (ost.enc_ctx->subtitle_header == nullptr) {
        error = "av_mallocz() failed";
        return AVERROR(ENOMEM);
      }
      std::memcpy(ost.enc_ctx->subtitle_header, dec->subtitle_header, dec->subtitle_header_size);
      ost.enc_ctx->subtitle_header_size = dec->subtitle_header_size;
    }
    // The MJPEG encoder's slice threads produce a different bitstream; keep it single-threaded.
    if (std::strcmp(codec->name, "mjpeg") == 0) FF().av_dict_set(OutPtr(ost.encoder_opts), "threads", "1", 0);
    if (FF().av_dict_get(ost.encoder_opts.get(), "threads", nullptr, 0) == nullptr)
      FF().av_dict_set(OutPtr(ost.encoder_opts), "threads", "auto", 0);
    // A fresh FFmpeg 5.1 context already carries the library's default bit rate for audio
    // encoders without defaults of their own, so no "b" is forced here.
    // Hardware frames out of the graph go to the encoder as they are; else the encoder may need
    // a device of its own.
    AVBufferRef* sinkFrames = ost.filter != nullptr && ost.filter->filter != nullptr
                                  ? FF().av_buffersink_get_hw_frames_ctx(ost.filter->filter)
                                  : nullptr;
    if (sinkFrames != nullptr &&
        reinterpret_cast<const AVHWFramesContext*>(sinkFrames->data)->format ==
            FF().av_buffersink_get_format(ost.filter->filter)) {
      ost.enc_ctx->hw_frames_ctx = FF().av_buffer_ref(sinkFrames);
      if (ost.enc_ctx->hw_frames_ctx == nullptr) return AVERROR(ENOMEM);
    } else if ((ret = HWDeviceSetupForEncode(ost)) < 0) {
      error = FormatAVError(
          FormatStr("Device setup failed for encoder on output stream #%d:%d ", ost.file_index, ost.index), ret);
      return ret;
    }
    if ((ret = FF().avcodec_open2(ost.enc_ctx.get(), codec, OutPtr(ost.encoder_opts))) < 0) {
      if (ret == AVERROR_EXPERIMENTAL) AbortCodecExperimental();
      error = FormatStr(
          "Error while opening encoder for output stream #%d:%d (%s) - maybe incorrect parameters such as "
          "bit_rate, "
          "rate, width or height. Please check error log message(reported by FFLogger) to find out more "
          "detail "
          "information.",
          ost.file_index, ost.index, GetMediaTypeName(ost.enc_ctx->codec_type).c_str());
      return ret;
    }
    ost.is_avcodec_opened = 1;
    if (ost.enc->type == AVMEDIA_TYPE_AUDIO && !(ost.enc->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
        ost.filter != nullptr && ost.filter->filter != nullptr)
      FF().av_buffersink_set_frame_size(ost.filter->filter, ost.enc_ctx->frame_size);
    AssertOptionsConsumed(ost.encoder_opts.get());
    if (ost.enc_ctx->bit_rate && ost.enc_ctx->bit_rate < 1000 && ost.enc_ctx->codec_id != AV_CODEC_ID_CODEC2)
      Log(TLogLevel::llWarning,
          "The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");

    ret = FF().avcodec_parameters_from_context(ost.st->codecpar, ost.enc_ctx.get());
    if (ret < 0) RaiseError("Error initializing the output stream codec context.");

    for (int i = 0; i < ost.enc_ctx->nb_coded_side_data; i++) {
      const AVPacketSideData* sd = &ost.enc_ctx->coded_side_data[i];
      uint8_t* dst = FF().av_stream_new_side_data(ost.st, sd->type, sd->size);
      if (dst == nullptr) return AVERROR(ENOMEM);
      std::memcpy(dst, sd->data, sd->size);
    }
    if (ist != nullptr) {
      for (int i = 0; i < ist->st->nb_side_data; i++) {
        const AVPacketSideData* sd = &ist->st->side_data[i];
        if (sd->type == AV_PKT_DATA_CPB_PROPERTIES) continue;
        uint8_t* dst = FF().av_stream_new_side_data(ost.st, sd->type, sd->size);
        if (dst == nullptr) return AVERROR(ENOMEM);
        std::memcpy(dst, sd->data, sd->size);
        // The filter graph already turned the picture; the output must not turn it again.
        if (ist->autorotate && sd->type == AV_PKT_DATA_DISPLAYMATRIX)
          FF().av_display_rotation_set(reinterpret_cast<int32_t*>(dst), 0);
      }
    }
    if (ost.st->time_base.num <= 0 || ost.st->time_base.den <= 0)
      ost.st->time_base = ReduceQ(ost.enc_ctx->time_base);
    if (ost.st->duration <= 0 && ist != nullptr && ist->st->duration > 0)
      ost.st->duration = FF().av_rescale_q(ist->st->duration, ist->st->time_base, ost.st->time_base);
  } else if (ost.stream_copy) {
    // A refusal of the copy keeps its own text, unlogged.
    ClearLastErrMsg();
    if ((ret = init_output_stream_streamcopy(ost)) < 0) {
      if (error.empty()) error = FLastError.Message;
      return ret;
    }
  }

  if (!ost.disposition.empty()) {
    int disposition = ost.st->disposition;
    if ((ret = ParseDisposition(ost.disposition, disposition)) < 0) {
      error = FormatStr("Invalid disposition \"%s\"", ost.disposition.c_str());
      return ret;
    }
    ost.st->disposition = disposition;
  }

  if ((ret = init_output_bsfs(ost)) < 0) return ret;
  ost.initialized = 1;
  return check_init_output_file(*Foutput_files[ost.file_index], ost.file_index, error);
}

void TCustomFFmpeg::init_output_stream_or_raise(TOutputStream& ost) {
  std::string error;
  // A step that refuses keeps its own record: the one before is put back when none did.
  const TEngineResult before = std::exchange(FLastError, TEngineResult());
  const int ret = init_output_stream(ost, error);
  if (ret >= 0) {
    if (FLastError.Message.empty()) FLastError = before;
    return;
  }
  if (error.empty() && !FLastError.Message.empty()) RaiseError(FLastError.Message);  // the header's line
  const std::string msg = FormatStr("Error initializing output stream %d:%d -- %s", ost.file_index, ost.index,
                                    error.empty() ? FormatAVError(ret).c_str() : error.c_str());
  Log(TLogLevel::llError, "%s", msg.c_str());
  RaiseError(msg);
}

int TCustomFFmpeg::init_output_stream_streamcopy(TOutputStream& ost) {
  TOutputFile& of = *Foutput_files[ost.file_index];
  TInputStream* ist = get_input_stream(ost);
  AVCodecParameters* par = ost.st->codecpar;
  int ret = FF().avcodec_parameters_to_context(ost.enc_ctx.get(), ist->st->codecpar);
  if (ret >= 0) ret = FF().av_opt_set_dict(ost.enc_ctx.get(), OutPtr(ost.encoder_opts));
  if (ret < 0) {
    Log(TLogLevel::llFatal, "Error setting up codec context options.");
    return ret;
  }
  ret = FF().avcodec_parameters_from_context(ost.ref_par.get(), ost.enc_ctx.get());
  if (ret < 0) return ret;

  // A tag given with "-tag" wins; else the source's tag is kept when the muxer accepts it for
  // this codec (or has no tag table at all).
  uint32_t codecTag = par->codec_tag;
  if (codecTag == 0) {
    unsigned codecTagTmp = 0;
    if (of.ctx->oformat->codec_tag == nullptr ||
        FF().av_codec_get_id(of.ctx->oformat->codec_tag, ost.ref_par->codec_tag) == ost.ref_par->codec_id ||
        !FF().av_codec_get_tag2(of.ctx->oformat->codec_tag, ost.ref_par->codec_id, &codecTagTmp))
      codecTag = ost.ref_par->codec_tag;
  }
  if ((ret = FF().avcodec_parameters_copy(par, ost.ref_par.get())) < 0) {
    Log(TLogLevel::llFatal, "avcodec_parameters_copy() failed");
    return ret;
  }
  par->codec_tag = codecTag;

  if (ost.frame_rate.num == 0) ost.frame_rate = ist->framerate;
  if (ost.frame_rate.num != 0) ost.st->avg_frame_rate = ost.frame_rate;
  ret = FF().avformat_transfer_internal_stream_timing_info(of.ctx->oformat, ost.st, ist->st,
                                                           AVTimebaseSource(Fcopy_tb));
  if (ret < 0) return ret;
  // The muxer may reset it; the copied packets keep the source's clock.
  if (ost.st->time_base.num <= 0 || ost.st->time_base.den <= 0)
    ost.st->time_base = FF().av_add_q(FF().av_stream_get_codec_timebase(ost.st), AVRational{0, 1});
  if (ost.st->duration <= 0 && ist->st->duration > 0)
    ost.st->duration = FF().av_rescale_q(ist->st->duration, ist->st->time_base, ost.st->time_base);
  ost.st->disposition = ist->st->disposition;

  for (int i = 0; i < ist->st->nb_side_data; i++) {
    const AVPacketSideData* sd = &ist->st->side_data[i];
    uint8_t* dst = FF().av_stream_new_side_data(ost.st, sd->type, sd->size);
    if (dst == nullptr) {
      return KeepError(AVERROR(ENOMEM), "av_stream_new_side_data() failed");
    }
    std::memcpy(dst, sd->data, sd->size);
  }
  if (ost.rotate_overridden) {
    uint8_t* sd = FF().av_stream_new_side_data(ost.st, AV_PKT_DATA_DISPLAYMATRIX, sizeof(int32_t) * 9);
    if (sd != nullptr)
      FF().av_display_rotation_set(reinterpret_cast<int32_t*>(sd), -ost.rotate_override_value);
  }

  switch (par->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      if (Faudio_volume != 256) {
        return KeepError(AVERROR(EINVAL), "-acodec/-c:audio copy and -vol are incompatible (frames are not decoded)");
      }
      if (OnInputAudioHook || OnOutputAudioHook) {
        return KeepError(AVERROR(EINVAL),
                         "-acodec/-c:audio copy and AudioHook are incompatible (frames are not decoded)");
      }
      if ((par->block_align == 1 || par->block_align == 1152 || par->block_align == 576) &&
          par->codec_id == AV_CODEC_ID_MP3)
        par->block_align = 0;
      if (par->codec_id == AV_CODEC_ID_AC3) par->block_align = 0;
      break;
    case AVMEDIA_TYPE_VIDEO: {
      std::string refusal;
      if (VideoCopyRefused(refusal)) {
        return KeepError(AVERROR(EINVAL), refusal);
      }
      AVRational sar{0, 1};
      if (ost.frame_aspect_ratio.num) {
        sar = FF().av_mul_q(ost.frame_aspect_ratio, AVRational{par->height, par->width});
        Log(TLogLevel::llWarning, "Overriding aspect ratio with stream copy may produce invalid files");
      } else if (ist->st->sample_aspect_ratio.num) {
        sar = ist->st->sample_aspect_ratio;
      } else {
        sar = par->sample_aspect_ratio;
      }
      ost.st->sample_aspect_ratio = par->sample_aspect_ratio = sar;
      ost.st->avg_frame_rate = ist->st->avg_frame_rate;
      ost.st->r_frame_rate = ist->st->r_frame_rate;
      break;
    }
    default:
      break;
  }
  ost.mux_timebase = ist->st->time_base;
  return 0;
}

int TCustomFFmpeg::init_output_bsfs(TOutputStream& ost) {
  if (ost.bsf_ctx.empty()) return 0;
  for (std::size_t i = 0; i < ost.bsf_ctx.size(); i++) {
    AVBSFContext* ctx = ost.bsf_ctx[i].get();
    int ret =
        FF().avcodec_parameters_copy(ctx->par_in, i > 0 ? ost.bsf_ctx[i - 1]->par_out : ost.st->codecpar);
    if (ret < 0) return ret;
    ctx->time_base_in = i > 0 ? ost.bsf_ctx[i - 1]->time_base_out : ost.st->time_base;
    if ((ret = FF().av_bsf_init(ctx)) < 0) {
      Log(TLogLevel::llError, "Error initializing bitstream filter: %s", ctx->filter->name);
      return ret;
    }
  }
  AVBSFContext* last = ost.bsf_ctx.back().get();
  const int ret = FF().avcodec_parameters_copy(ost.st->codecpar, last->par_out);
  if (ret < 0) return ret;
  ost.st->time_base = last->time_base_out;
  return 0;
}

int TCustomFFmpeg::check_init_output_file(TOutputFile& of, int fileIndex, std::string& error) {
  for (unsigned i = 0; i < of.ctx->nb_streams; i++) {
    if (!Foutput_streams[of.ost_index + int(i)]->initialized) return 0;
  }
  of.ctx->interrupt_callback = FWriteCallback;
  FLastWrite = Now();
  const int ret = FF().avformat_write_header(of.ctx.get(), OutPtr(of.opts));
  if (ret < 0) {
    const std::string msg = FormatAVError(
        FormatStr("Could not write header for output file #%d (incorrect codec parameters ?)", fileIndex),
        ret);
    return Refuse(TLogLevel::llError, msg, ret);
  }
  of.header_written = 1;
  FF().av_dump_format(of.ctx.get(), fileIndex, of.ctx->url, 1);
  if (!Fsdp_filename.empty() || Fwant_sdp) print_sdp();

  for (unsigned i = 0; i < of.ctx->nb_streams; i++) {
    TOutputStream& ost = *Foutput_streams[of.ost_index + int(i)];
    // Nothing was muxed yet: the muxer's own time base is the more precise one.
    if (FF().av_fifo_can_read(ost.muxing_queue.get()) == 0) ost.mux_timebase = ost.st->time_base;
    AVPacket* queued = nullptr;
    while (FF().av_fifo_read(ost.muxing_queue.get(), &queued, 1) >= 0) {
      const TPacketPtr pkt{queued};
      write_packet(of, pkt.get(), ost, true);
    }
  }
  return 0;
}

}  // namespace media
