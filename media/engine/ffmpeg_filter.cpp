// Filter graphs: simple graphs (one input stream, one output stream, "-vf"/"-af" or null/anull) and
// complex graphs ("-filter_complex"); building the buffer sources and sinks with the scaling,
// format, rate, layout and trim filters the options ask for. Built on the opening thread, configured
// (and rebuilt on a parameter change) on the conversion thread.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstring>

#include "media/engine/custom_ffmpeg_opt.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

namespace {

TFrameQueuePtr NewFrameQueue() {
  return TFrameQueuePtr{FF().av_fifo_alloc2(8, sizeof(AVFrame*), AV_FIFO_FLAG_AUTO_GROW)};
}

std::string DescribeLayout(const AVChannelLayout& layout) {
  char buf[256];
  if (FF().av_channel_layout_describe(&layout, buf, sizeof buf) < 0) return {};
  return buf;
}

// "name:pad" of a filter pad, as the stream-mapping log shows it.
std::string DescribeFilterLink(AVFilterInOut* inout, bool in) {
  AVFilterContext* ctx = inout->filter_ctx;
  const AVFilterPad* pads = in ? ctx->input_pads : ctx->output_pads;
  const unsigned nbPads = in ? ctx->nb_inputs : ctx->nb_outputs;
  std::string name = ctx->filter->name;
  if (nbPads > 1) name += std::string(":") + FF().avfilter_pad_get_name(pads, inout->pad_idx);
  return name;
}

// The pixel formats an encoder may be given at its strictness: the MJPEG encoder lists the
// limited-range YUV formats too, but refuses them unless the strictness is "unofficial" or lower,
// so above that only its full-range (JPEG) formats are offered.
const AVPixelFormat* CompliantPixFmts(const AVCodecContext* encCtx, const AVCodec* codec) {
  static const AVPixelFormat mjpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P,
                                               AV_PIX_FMT_NONE};
  if (encCtx->strict_std_compliance > FF_COMPLIANCE_UNOFFICIAL && std::strcmp(codec->name, "mjpeg") == 0)
    return mjpegFormats;
  return codec->pix_fmts;
}

// Links ctx after pad *padIdx of *lastFilter and makes it the end of the chain.
int AppendToChain(AVFilterContext* ctx, AVFilterContext** lastFilter, int* padIdx) {
  const int ret = FF().avfilter_link(*lastFilter, unsigned(*padIdx), ctx, 0);
  if (ret < 0) return ret;
  *lastFilter = ctx;
  *padIdx = 0;
  return 0;
}

}  // namespace

// --- Building the records ---------------------------------------------------------------------

void TCustomFFmpegOpt::InitSimpleFiltergraph(TInputStream& ist, TOutputStream& ost) {
  auto fg = std::make_unique<TFilterGraph>();
  fg->index = int(Ffiltergraphs.size());

  auto ofilter = std::make_unique<TOutputFilter>();
  ofilter->ost = &ost;
  ofilter->graph = fg.get();
  ofilter->format = -1;
  ofilter->type_ = ost.st->codecpar->codec_type;
  ost.filter = ofilter.get();

  auto ifilter = std::make_unique<TInputFilter>();
  ifilter->ist = &ist;
  ifilter->graph = fg.get();
  ifilter->format = -1;
  ifilter->type_ = ist.st->codecpar->codec_type;
  ifilter->frame_queue = NewFrameQueue();
  if (ifilter->frame_queue == nullptr) RaiseError("av_fifo_alloc() failed");
  ist.filters.push_back(ifilter.get());

  fg->outputs.push_back(std::move(ofilter));
  fg->inputs.push_back(std::move(ifilter));
  Ffiltergraphs.push_back(std::move(fg));
}

void TCustomFFmpegOpt::InitInputFilter(TFilterGraph& fg, AVFilterInOut* in) {
  const AVMediaType type = FF().avfilter_pad_get_type(in->filter_ctx->input_pads, in->pad_idx);
  if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
    RaiseError("Only video and audio filters supported currently.");
  TInputStream* ist = nullptr;
  if (in->name != nullptr) {
    // "[file:specifier]": the first not yet used stream of that file that the specifier matches.
    char* p = nullptr;
    const int fileIdx = int(std::strtol(in->name, &p, 0));
    if (fileIdx < 0 || fileIdx >= int(Finput_files.size()))
      RaiseErrorFmt("Invalid file index %d in filtergraph description %s.", fileIdx, fg.graph_desc->c_str());
    AVFormatContext* s = Finput_files[std::size_t(fileIdx)]->ctx.get();
    for (unsigned i = 0; i < s->nb_streams; i++) {
      AVStream* st = s->streams[i];
      const AVMediaType streamType = st->codecpar->codec_type;
      if (streamType != type && !(streamType == AVMEDIA_TYPE_SUBTITLE && type == AVMEDIA_TYPE_VIDEO))
        continue;
      const int r = FF().avformat_match_stream_specifier(s, st, *p == ':' ? p + 1 : p);
      if (r < 0) RaiseError(FormatAVError("check_stream_specifier", r));
      if (r == 1) {
        TInputStream* candidate =
            Finput_streams[std::size_t(Finput_files[std::size_t(fileIdx)]->ist_index) + i].get();
        if (candidate->user_set_discard == AVDISCARD_ALL) continue;
        ist = candidate;
        break;
      }
    }
    if (ist == nullptr)
      RaiseErrorFmt("Stream specifier \"%s\" in filtergraph description %s matches no streams.", p,
                    fg.graph_desc->c_str());
  } else {
    // An unlabelled pad takes the first unused input stream of its kind.
    for (auto& candidate : Finput_streams) {
      if (candidate->user_set_discard == AVDISCARD_ALL) continue;
      if (candidate->dec_ctx->codec_type == type && candidate->discard) {
        ist = candidate.get();
        break;
      }
    }
    if (ist == nullptr)
      RaiseErrorFmt("Cannot find a matching stream for unlabeled input pad %d on filter %s", in->pad_idx,
                    in->filter_ctx->name);
  }
  ist->discard = 0;
  ist->decoding_needed = 1;
  ist->st->discard = AVDISCARD_NONE;

  auto ifilter = std::make_unique<TInputFilter>();
  ifilter->ist = ist;
  ifilter->graph = &fg;
  ifilter->format = -1;
  ifilter->type_ = ist->st->codecpar->codec_type;
  ifilter->name = DescribeFilterLink(in, true);
  ifilter->frame_queue = NewFrameQueue();
  if (ifilter->frame_queue == nullptr) RaiseError("av_fifo_alloc() failed");
  ist->filters.push_back(ifilter.get());
  fg.inputs.push_back(std::move(ifilter));
}

void TCustomFFmpegOpt::InitComplexFiltergraph(TFilterGraph& fg) {
  // Parse once, only to learn the graph's inputs and outputs.
  TFilterGraphPtr graph{FF().avfilter_graph_alloc()};
  if (graph == nullptr) RaiseError("av_mallocz() failed");
  graph->nb_threads = 1;
  TFilterInOutPtr inputs;
  TFilterInOutPtr outputs;
  const int ret = FF().avfilter_graph_parse2(graph.get(), fg.graph_desc->c_str(), OutPtr(inputs), OutPtr(outputs));
  if (ret < 0) RaiseError(FormatAVError("Error parsing filtergraph", ret));
  for (AVFilterInOut* cur = inputs.get(); cur != nullptr; cur = cur->next) InitInputFilter(fg, cur);
  while (outputs != nullptr) {
    // Each output pad leaves the list as a record of its own.
    TFilterInOutPtr cur{outputs.release()};
    outputs.reset(cur->next);
    cur->next = nullptr;
    auto ofilter = std::make_unique<TOutputFilter>();
    ofilter->graph = &fg;
    ofilter->format = -1;
    ofilter->type_ = FF().avfilter_pad_get_type(cur->filter_ctx->output_pads, cur->pad_idx);
    ofilter->name = DescribeFilterLink(cur.get(), false);
    ofilter->out_tmp = std::move(cur);
    // The record keeps the pad until it is bound; the filter context it names dies with this graph,
    // so only its label and type are used later.
    fg.outputs.push_back(std::move(ofilter));
  }
  // The labels of out_tmp point into the graph's strings; keep copies in the pads instead.
  for (auto& ofilter : fg.outputs) ofilter->out_tmp->filter_ctx = nullptr;
}

void TCustomFFmpegOpt::InitComplexFilters() {
  for (auto& fg : Ffiltergraphs)
    if (!FiltergraphIsSimple(*fg) && fg->inputs.empty() && fg->outputs.empty()) InitComplexFiltergraph(*fg);
}

void TCustomFFmpegOpt::BindComplexOutput(TOutputFilter& ofilter, TOutputStream& ost) {
  ost.filter = &ofilter;
  ofilter.ost = &ost;
  if (ost.stream_copy)
    RaiseErrorFmt(
        "Streamcopy requested for output stream %d:%d, which is fed from a complex filtergraph. Filtering "
        "and "
        "streamcopy cannot be used together.",
        ost.file_index, ost.index);
  if (!ost.filters.empty() || !ost.filters_script.empty()) {
    const bool script = !ost.filters_script.empty();
    RaiseErrorFmt(
        "%s \"%s\" was specified through the %s option for output stream %d:%d, which is fed from a complex "
        "filtergraph.\n%s and -filter_complex cannot be used together for the same stream.",
        script ? "Filtergraph script" : "Filtergraph",
        script ? ost.filters_script.c_str() : ost.filters.c_str(),
        script ? "-filter_script" : "-vf/-af/-filter", ost.file_index, ost.index,
        script ? "-filter_script" : "-vf/-af/-filter");
  }
  ofilter.out_tmp.reset();
}

// --- Formats ----------------------------------------------------------------------------------

AVPixelFormat TCustomFFmpegOpt::ChoosePixelFmt(AVCodecContext* encCtx, const AVCodec* codec,
                                               AVPixelFormat target) {
  if (codec == nullptr || codec->pix_fmts == nullptr) return target;
  const AVPixelFormat* p = CompliantPixFmts(encCtx, codec);
  const AVPixFmtDescriptor* desc = FF().av_pix_fmt_desc_get(target);
  const int hasAlpha = desc != nullptr ? desc->nb_components % 2 == 0 : 0;
  AVPixelFormat best = AV_PIX_FMT_NONE;
  for (; *p != AV_PIX_FMT_NONE; p++) {
    best = FF().av_find_best_pix_fmt_of_2(best, *p, target, hasAlpha, nullptr);
    if (*p == target) break;
  }
  if (*p == AV_PIX_FMT_NONE) {
    if (target != AV_PIX_FMT_NONE)
      Log(TLogLevel::llWarning,
          "Incompatible pixel format \"%s\" for codec \"%s\", auto-selecting format \"%s\"",
          FF().av_get_pix_fmt_name(target), codec->name, FF().av_get_pix_fmt_name(best));
    return best;
  }
  return target;
}

std::string TCustomFFmpegOpt::ChoosePixFmts(TOutputFilter& ofilter) {
  TOutputStream& ost = *ofilter.ost;
  // "-vstrict" reaches the context before its formats are chosen.
  if (const AVDictionaryEntry* strict = FF().av_dict_get(ost.encoder_opts.get(), "strict", nullptr, 0))
    FF().av_opt_set(ost.enc_ctx.get(), "strict", strict->value, 0);
  const AVPixelFormat requested =
      ost.enc_ctx->pix_fmt != AV_PIX_FMT_NONE ? ost.enc_ctx->pix_fmt : AVPixelFormat(ofilter.format);
  if (ost.keep_pix_fmt) {
    FF().avfilter_graph_set_auto_convert(ofilter.graph->graph.get(), AVFILTER_AUTO_CONVERT_NONE);
    if (requested == AV_PIX_FMT_NONE) return {};
    return FF().av_get_pix_fmt_name(requested);
  }
  if (requested != AV_PIX_FMT_NONE)
    return FF().av_get_pix_fmt_name(ChoosePixelFmt(ost.enc_ctx.get(), ost.enc, requested));
  if (ost.enc == nullptr || ost.enc->pix_fmts == nullptr) return {};
  const AVPixelFormat* p = CompliantPixFmts(ost.enc_ctx.get(), ost.enc);
  std::string list;
  for (; *p != AV_PIX_FMT_NONE; p++) {
    if (!list.empty()) list += '|';
    list += FF().av_get_pix_fmt_name(*p);
  }
  return list;
}

std::string TCustomFFmpegOpt::ChooseSampleFmts(TOutputFilter& ofilter) {
  const TOutputStream& ost = *ofilter.ost;
  const AVCodec* codec = ost.enc;
  // A sample format the user asked for is kept: an encoder that cannot take it refuses to open
  // ("Specified sample format s32 is invalid or not supported") rather than getting another.
  if (ofilter.format != AV_SAMPLE_FMT_NONE)
    return FF().av_get_sample_fmt_name(AVSampleFormat(ofilter.format));
  if (codec == nullptr || codec->sample_fmts == nullptr) return {};
  std::string list;
  for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; p++) {
    if (!list.empty()) list += '|';
    list += FF().av_get_sample_fmt_name(*p);
  }
  return list;
}

std::string TCustomFFmpegOpt::ChooseSampleRates(TOutputFilter& ofilter) {
  if (ofilter.sample_rate > 0) return std::to_string(ofilter.sample_rate);
  const AVCodec* codec = ofilter.ost->enc;
  if (codec == nullptr || codec->supported_samplerates == nullptr) return {};
  std::string list;
  for (const int* p = codec->supported_samplerates; *p != 0; p++) {
    if (!list.empty()) list += '|';
    list += std::to_string(*p);
  }
  return list;
}

std::string TCustomFFmpegOpt::ChooseChannelLayouts(TOutputFilter& ofilter) {
  if (ofilter.ch_layout.nb_channels > 0) {
    if (ofilter.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
      return FormatStr("%dc", ofilter.ch_layout.nb_channels);
    return DescribeLayout(ofilter.ch_layout);
  }
  const AVCodec* codec = ofilter.ost->enc;
  if (codec == nullptr || codec->ch_layouts == nullptr) return {};
  std::string list;
  for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels != 0; l++) {
    if (!list.empty()) list += '|';
    list += DescribeLayout(*l);
  }
  return list;
}

// --- Configuration ----------------------------------------------------------------------------

bool TCustomFFmpegOpt::IfilterHasAllInputFormats(const TFilterGraph& fg) {
  for (const auto& ifilter : fg.inputs)
    if (ifilter->format < 0 && (ifilter->type_ == AVMEDIA_TYPE_AUDIO || ifilter->type_ == AVMEDIA_TYPE_VIDEO))
      return false;
  return true;
}

int TCustomFFmpegOpt::IfilterParametersFromFrame(TInputFilter& ifilter, const AVFrame* frame) {
  ifilter.hw_frames_ctx.reset();
  ifilter.format = frame->format;
  ifilter.width = frame->width;
  ifilter.height = frame->height;
  ifilter.sample_aspect_ratio = frame->sample_aspect_ratio;
  ifilter.sample_rate = frame->sample_rate;
  FF().av_channel_layout_uninit(&ifilter.ch_layout);
  const int ret = FF().av_channel_layout_copy(&ifilter.ch_layout, &frame->ch_layout);
  if (ret < 0) return ret;
  if (frame->hw_frames_ctx != nullptr) {
    ifilter.hw_frames_ctx.reset(FF().av_buffer_ref(frame->hw_frames_ctx));
    if (ifilter.hw_frames_ctx == nullptr) return AVERROR(ENOMEM);
  }
  return 0;
}

void TCustomFFmpegOpt::IfilterParametersFromCodecpar(TInputFilter& ifilter, const AVCodecParameters* par) {
  ifilter.hw_frames_ctx.reset();
  ifilter.format = par->format;
  ifilter.sample_rate = par->sample_rate;
  ifilter.width = par->width;
  ifilter.height = par->height;
  ifilter.sample_aspect_ratio = par->sample_aspect_ratio;
  FF().av_channel_layout_uninit(&ifilter.ch_layout);
  FF().av_channel_layout_copy(&ifilter.ch_layout, &par->ch_layout);
}

void TCustomFFmpegOpt::CleanupFiltergraph(TFilterGraph& fg) {
  for (auto& ofilter : fg.outputs) ofilter->filter = nullptr;
  for (auto& ifilter : fg.inputs) ifilter->filter = nullptr;
  fg.graph.reset();
}

int TCustomFFmpegOpt::InsertFilter(TFilterGraph& fg, AVFilterContext** lastFilter, int* padIdx,
                                   const char* filterName, const std::string& args,
                                   const std::string& instanceName) {
  AVFilterContext* ctx = nullptr;
  const int ret = FF().avfilter_graph_create_filter(&ctx, FF().avfilter_get_by_name(filterName),
                                                    instanceName.empty() ? filterName : instanceName.c_str(),
                                                    args.c_str(), nullptr, fg.graph.get());
  if (ret < 0) return ret;
  return AppendToChain(ctx, lastFilter, padIdx);
}

int TCustomFFmpegOpt::InsertTrim(TFilterGraph& fg, int64_t startTime, int64_t duration,
                                 AVFilterContext** lastFilter, int* padIdx, const std::string& filterName) {
  if (duration == INT64_MAX && startTime == AV_NOPTS_VALUE) return 0;
  const AVMediaType type = FF().avfilter_pad_get_type((*lastFilter)->output_pads, *padIdx);
  const char* name = type == AVMEDIA_TYPE_VIDEO ? "trim" : "atrim";
  const AVFilter* trim = FF().avfilter_get_by_name(name);
  if (trim == nullptr) {
    Log(TLogLevel::llError, "%s filter not present, cannot limit recording time.", name);
    return AVERROR_FILTER_NOT_FOUND;
  }
  AVFilterContext* ctx = FF().avfilter_graph_alloc_filter(fg.graph.get(), trim, filterName.c_str());
  if (ctx == nullptr) return AVERROR(ENOMEM);
  int ret = 0;
  if (duration != INT64_MAX) ret = FF().av_opt_set_int(ctx, "durationi", duration, AV_OPT_SEARCH_CHILDREN);
  if (ret >= 0 && startTime != AV_NOPTS_VALUE)
    ret = FF().av_opt_set_int(ctx, "starti", startTime, AV_OPT_SEARCH_CHILDREN);
  if (ret < 0) {
    Log(TLogLevel::llError, "Error configuring the %s filter", name);
    return ret;
  }
  ret = FF().avfilter_init_str(ctx, nullptr);
  if (ret < 0) return ret;
  return AppendToChain(ctx, lastFilter, padIdx);
}

int TCustomFFmpegOpt::FinishInputChain(TFilterGraph& fg, const TInputFile& f, AVFilterContext* lastFilter,
                                       int padIdx, const std::string& trimName, AVFilterInOut* in) {
  // The input's own time stamps already start at the seek point: trim from 0 drops what the
  // demuxer delivered before it (accurate seeking).
  int64_t tsoffset = 0;
  if (Fcopy_ts) {
    tsoffset = f.start_time == AV_NOPTS_VALUE ? 0 : f.start_time;
    if (!Fstart_at_zero && f.ctx->start_time != AV_NOPTS_VALUE) tsoffset += f.ctx->start_time;
  }
  const int ret =
      InsertTrim(fg, (f.start_time == AV_NOPTS_VALUE || !f.accurate_seek) ? AV_NOPTS_VALUE : tsoffset,
                 f.recording_time, &lastFilter, &padIdx, trimName);
  if (ret < 0) return ret;
  return FF().avfilter_link(lastFilter, unsigned(padIdx), in->filter_ctx, unsigned(in->pad_idx));
}

int TCustomFFmpegOpt::FinishOutputChain(TFilterGraph& fg, const TOutputFile& of, TOutputFilter& ofilter,
                                        AVFilterContext* lastFilter, int padIdx,
                                        const std::string& trimName) {
  const int ret = InsertTrim(fg, of.start_time, of.recording_time, &lastFilter, &padIdx, trimName);
  if (ret < 0) return ret;
  return FF().avfilter_link(lastFilter, unsigned(padIdx), ofilter.filter, 0);
}

int TCustomFFmpegOpt::ConfigureInputVideoFilter(TFilterGraph& fg, TInputFilter& ifilter, AVFilterInOut* in) {
  TInputStream* ist = ifilter.ist;
  const TInputFile& f = *Finput_files[std::size_t(ist->file_index)];
  if (ist->dec_ctx->codec_type == AVMEDIA_TYPE_AUDIO) {
    Log(TLogLevel::llError, "Cannot connect video filter to audio input");
    return AVERROR(EINVAL);
  }
  if (ist->dec_ctx->codec_type == AVMEDIA_TYPE_SUBTITLE) {
    const int ret = Sub2VideoPrepare(*ist, ifilter);
    if (ret < 0) return ret;
  }
  // With a forced input rate the frames carry frame counts as time stamps.
  const AVRational tb = ist->framerate.num ? av_inv_q(ist->framerate) : ist->st->time_base;
  AVRational fr = ist->framerate;
  if (fr.num == 0) fr = FF().av_guess_frame_rate(f.ctx.get(), ist->st, nullptr);
  AVRational sar = ifilter.sample_aspect_ratio;
  if (sar.den == 0) sar = AVRational{0, 1};
  std::string args =
      FormatStr("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", ifilter.width,
                ifilter.height, ifilter.format, tb.num, tb.den, sar.num, sar.den);
  if (fr.num && fr.den) args += FormatStr(":frame_rate=%d/%d", fr.num, fr.den);
  const std::string name =
      FormatStr("graph %d input from stream %d:%d", fg.index, ist->file_index, ist->st->index);
  int ret = FF().avfilter_graph_create_filter(&ifilter.filter, FF().avfilter_get_by_name("buffer"),
                                              name.c_str(), args.c_str(), nullptr, fg.graph.get());
  if (ret < 0) return ret;
  if (ifilter.hw_frames_ctx != nullptr) {
    const TMemoryPtr<AVBufferSrcParameters> par{FF().av_buffersrc_parameters_alloc()};
    if (par == nullptr) return AVERROR(ENOMEM);
    par->hw_frames_ctx = ifilter.hw_frames_ctx.get();
    ret = FF().av_buffersrc_parameters_set(ifilter.filter, par.get());
    if (ret < 0) return ret;
  }
  AVFilterContext* lastFilter = ifilter.filter;
  int padIdx = 0;

  if (ist->autorotate) {
    const double theta = GetRotation(ist->st);
    if (std::fabs(theta - 90) < 1.0) {
      ret = InsertFilter(fg, &lastFilter, &padIdx, "transpose", "clock");
    } else if (std::fabs(theta - 180) < 1.0) {
      ret = InsertFilter(fg, &lastFilter, &padIdx, "hflip", "");
      if (ret >= 0) ret = InsertFilter(fg, &lastFilter, &padIdx, "vflip", "");
    } else if (std::fabs(theta - 270) < 1.0) {
      ret = InsertFilter(fg, &lastFilter, &padIdx, "transpose", "cclock");
    } else if (std::fabs(theta) > 1.0) {
      ret = InsertFilter(fg, &lastFilter, &padIdx, "rotate", FormatStr("%f*PI/180", theta));
    }
    if (ret < 0) return ret;
  }
  if (Fdo_deinterlace) {
    ret = InsertFilter(fg, &lastFilter, &padIdx, "yadif", "",
                       FormatStr("deinterlace_in_%d_%d", ist->file_index, ist->st->index));
    if (ret < 0) return ret;
  }
  return FinishInputChain(fg, f, lastFilter, padIdx,
                          FormatStr("trim_in_%d_%d", ist->file_index, ist->st->index), in);
}

int TCustomFFmpegOpt::ConfigureInputAudioFilter(TFilterGraph& fg, TInputFilter& ifilter, AVFilterInOut* in) {
  TInputStream* ist = ifilter.ist;
  const TInputFile& f = *Finput_files[std::size_t(ist->file_index)];
  if (ist->dec_ctx->codec_type != AVMEDIA_TYPE_AUDIO) {
    Log(TLogLevel::llError, "Cannot connect audio filter to non audio input");
    return AVERROR(EINVAL);
  }
  std::string args =
      FormatStr("time_base=%d/%d:sample_rate=%d:sample_fmt=%s", 1, ifilter.sample_rate, ifilter.sample_rate,
                FF().av_get_sample_fmt_name(AVSampleFormat(ifilter.format)));
  if (ifilter.ch_layout.order != AV_CHANNEL_ORDER_UNSPEC && FF().av_channel_layout_check(&ifilter.ch_layout))
    args += ":channel_layout=" + DescribeLayout(ifilter.ch_layout);
  else
    args += FormatStr(":channels=%d", ifilter.ch_layout.nb_channels);
  const std::string name = FormatStr("graph_%d_in_%d_%d", fg.index, ist->file_index, ist->st->index);
  int ret = FF().avfilter_graph_create_filter(&ifilter.filter, FF().avfilter_get_by_name("abuffer"),
                                              name.c_str(), args.c_str(), nullptr, fg.graph.get());
  if (ret < 0) return ret;
  AVFilterContext* lastFilter = ifilter.filter;
  int padIdx = 0;

  if (Faudio_sync_method > 0) {
    std::string resampleArgs = FormatStr("async=%d", Faudio_sync_method);
    if (Faudio_drift_threshold != 0.1f)
      resampleArgs += FormatStr(":min_hard_comp=%f", double(Faudio_drift_threshold));
    if (!fg.reconfiguration) resampleArgs += ":first_pts=0";
    Log(TLogLevel::llWarning, "%s is forwarded to lavfi similarly to -af %s=%s.", "-async", "aresample",
        resampleArgs.c_str());
    if ((ret = InsertFilter(fg, &lastFilter, &padIdx, "aresample", resampleArgs)) < 0) return ret;
  }
  if (Faudio_volume != 256) {
    Log(TLogLevel::llWarning, "-vol has been deprecated. Use the volume audio filter instead.");
    if ((ret = InsertFilter(fg, &lastFilter, &padIdx, "volume", FormatStr("%f", Faudio_volume / 256.0))) < 0)
      return ret;
  }
  return FinishInputChain(fg, f, lastFilter, padIdx,
                          FormatStr("trim for input stream %d:%d", ist->file_index, ist->st->index), in);
}

int TCustomFFmpegOpt::ConfigureInputFilter(TFilterGraph& fg, TInputFilter& ifilter, AVFilterInOut* in) {
  if (ifilter.ist->avdec == nullptr) {
    Log(TLogLevel::llError, "No decoder for stream #%d:%d, filtering impossible", ifilter.ist->file_index,
        ifilter.ist->st->index);
    return AVERROR_DECODER_NOT_FOUND;
  }
  switch (FF().avfilter_pad_get_type(in->filter_ctx->input_pads, in->pad_idx)) {
    case AVMEDIA_TYPE_VIDEO:
      return ConfigureInputVideoFilter(fg, ifilter, in);
    case AVMEDIA_TYPE_AUDIO:
      return ConfigureInputAudioFilter(fg, ifilter, in);
    default:
      RaiseError("Never occur");
  }
}

int TCustomFFmpegOpt::ConfigureOutputVideoFilter(TFilterGraph& fg, TOutputFilter& ofilter,
                                                 AVFilterInOut* out) {
  TOutputStream& ost = *ofilter.ost;
  const TOutputFile& of = *Foutput_files[std::size_t(ost.file_index)];
  AVFilterContext* lastFilter = out->filter_ctx;
  int padIdx = out->pad_idx;
  const std::string name = FormatStr("out_%d_%d", ost.file_index, ost.index);
  int ret = FF().avfilter_graph_create_filter(&ofilter.filter, FF().avfilter_get_by_name("buffersink"),
                                              name.c_str(), nullptr, nullptr, fg.graph.get());
  if (ret < 0) return ret;

  if ((ofilter.width || ofilter.height) && ost.autoscale) {
    std::string args = FormatStr("%d:%d", ofilter.width, ofilter.height);
    const AVDictionaryEntry* e = nullptr;
    while ((e = FF().av_dict_get(ost.sws_dict.get(), "", e, AV_DICT_IGNORE_SUFFIX)) != nullptr)
      args += FormatStr(":%s=%s", e->key, e->value);
    ret = InsertFilter(fg, &lastFilter, &padIdx, "scale", args,
                       FormatStr("scaler_out_%d_%d", ost.file_index, ost.index));
    if (ret < 0) return ret;
  }
  const std::string pixFmts = ChoosePixFmts(ofilter);
  if (!pixFmts.empty()) {
    ret = InsertFilter(fg, &lastFilter, &padIdx, "format", pixFmts,
                       FormatStr("format_output_%d_%d", ost.file_index, ost.index));
    if (ret < 0) return ret;
  }
  return FinishOutputChain(fg, of, ofilter, lastFilter, padIdx,
                           FormatStr("trim_out_%d_%d", ost.file_index, ost.index));
}

int TCustomFFmpegOpt::ConfigureOutputAudioFilter(TFilterGraph& fg, TOutputFilter& ofilter,
                                                 AVFilterInOut* out) {
  TOutputStream& ost = *ofilter.ost;
  const TOutputFile& of = *Foutput_files[std::size_t(ost.file_index)];
  AVFilterContext* lastFilter = out->filter_ctx;
  int padIdx = out->pad_idx;
  const std::string name = FormatStr("out_%d_%d", ost.file_index, ost.index);
  int ret = FF().avfilter_graph_create_filter(&ofilter.filter, FF().avfilter_get_by_name("abuffersink"),
                                              name.c_str(), nullptr, nullptr, fg.graph.get());
  if (ret < 0) return ret;
  if ((ret = FF().av_opt_set_int(ofilter.filter, "all_channel_counts", 1, AV_OPT_SEARCH_CHILDREN)) < 0)
    return ret;

  if (!ost.audio_channels_map.empty()) {
    AVChannelLayout layout{};
    FF().av_channel_layout_default(&layout, int(ost.audio_channels_map.size()));
    std::string args = layout.order == AV_CHANNEL_ORDER_NATIVE ? FormatStr("0x%" PRIx64, layout.u.mask)
                                                               : FormatStr("%dc", layout.nb_channels);
    FF().av_channel_layout_uninit(&layout);
    for (std::size_t i = 0; i < ost.audio_channels_map.size(); i++)
      if (ost.audio_channels_map[i] != -1) args += FormatStr("|c%d=c%d", int(i), ost.audio_channels_map[i]);
    Log(TLogLevel::llWarning, "%s is forwarded to lavfi similarly to -af %s=%s.", "-map_channel", "pan",
        args.c_str());
    if ((ret = InsertFilter(fg, &lastFilter, &padIdx, "pan", args)) < 0) return ret;
  }

  const std::string sampleFmts = ChooseSampleFmts(ofilter);
  const std::string sampleRates = ChooseSampleRates(ofilter);
  const std::string channelLayouts = ChooseChannelLayouts(ofilter);
  if (!sampleFmts.empty() || !sampleRates.empty() || !channelLayouts.empty()) {
    std::string args;
    if (!sampleFmts.empty()) args += "sample_fmts=" + sampleFmts + ":";
    if (!sampleRates.empty()) args += "sample_rates=" + sampleRates + ":";
    if (!channelLayouts.empty()) args += "channel_layouts=" + channelLayouts + ":";
    args.pop_back();
    ret = InsertFilter(fg, &lastFilter, &padIdx, "aformat", args,
                       FormatStr("format_output_%d_%d", ost.file_index, ost.index));
    if (ret < 0) return ret;
  }
  if (!ost.apad.empty() && of.shortest) {
    bool hasVideo = false;
    for (unsigned i = 0; i < of.ctx->nb_streams; i++)
      if (of.ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) hasVideo = true;
    if (hasVideo) {
      Log(TLogLevel::llWarning, "%s is forwarded to lavfi similarly to -af %s=%s.", "-apad", "apad",
          ost.apad.c_str());
      if ((ret = InsertFilter(fg, &lastFilter, &padIdx, "apad", ost.apad)) < 0) return ret;
    }
  }
  return FinishOutputChain(fg, of, ofilter, lastFilter, padIdx,
                           FormatStr("trim for output stream %d:%d", ost.file_index, ost.index));
}

int TCustomFFmpegOpt::ConfigureOutputFilter(TFilterGraph& fg, TOutputFilter& ofilter, AVFilterInOut* out) {
  if (ofilter.ost == nullptr) {
    Log(TLogLevel::llFatal, "Filter %s has an unconnected output", ofilter.name.c_str());
    return AVERROR(EINVAL);
  }
  switch (FF().avfilter_pad_get_type(out->filter_ctx->output_pads, out->pad_idx)) {
    case AVMEDIA_TYPE_VIDEO:
      return ConfigureOutputVideoFilter(fg, ofilter, out);
    case AVMEDIA_TYPE_AUDIO:
      return ConfigureOutputAudioFilter(fg, ofilter, out);
    default:
      RaiseError("Never occur");
  }
}

int TCustomFFmpegOpt::ConfigureFiltergraph(TFilterGraph& fg) {
  const int ret = BuildFiltergraph(fg);
  // A graph that failed to configure is not kept half made.
  if (ret < 0) CleanupFiltergraph(fg);
  return ret;
}

int TCustomFFmpegOpt::BuildFiltergraph(TFilterGraph& fg) {
  const bool simple = FiltergraphIsSimple(fg);
  const std::string graphDesc = simple ? fg.outputs[0]->ost->avfilter : *fg.graph_desc;
  CleanupFiltergraph(fg);
  fg.graph.reset(FF().avfilter_graph_alloc());
  if (fg.graph == nullptr) return AVERROR(ENOMEM);

  TFilterInOutPtr inputs;
  TFilterInOutPtr outputs;

  if (simple) {
    TOutputStream& ost = *fg.outputs[0]->ost;
    fg.graph->nb_threads = Ffilter_nbthreads;
    std::string args;
    const AVDictionaryEntry* e = nullptr;
    while ((e = FF().av_dict_get(ost.sws_dict.get(), "", e, AV_DICT_IGNORE_SUFFIX)) != nullptr)
      args += FormatStr("%s=%s:", e->key, e->value);
    if (!args.empty()) args.pop_back();
    // The scaler options go through the graph (the buffer source's sws_param is deprecated).
    fg.graph->scale_sws_opts = FF().av_strdup(args.c_str());
    args.clear();
    while ((e = FF().av_dict_get(ost.swr_opts.get(), "", e, AV_DICT_IGNORE_SUFFIX)) != nullptr)
      args += FormatStr("%s=%s:", e->key, e->value);
    if (!args.empty()) args.pop_back();
    FF().av_opt_set(fg.graph.get(), "aresample_swr_opts", args.c_str(), 0);
    if ((e = FF().av_dict_get(ost.encoder_opts.get(), "threads", nullptr, 0)) != nullptr)
      FF().av_opt_set(fg.graph.get(), "threads", e->value, 0);
  } else {
    fg.graph->nb_threads = Ffilter_complex_nbthreads;
  }

  int ret = FF().avfilter_graph_parse2(fg.graph.get(), graphDesc.c_str(), OutPtr(inputs), OutPtr(outputs));
  if (ret < 0) return ret;

  AVBufferRef* hwDevice = Ffilter_hw_device != nullptr ? Ffilter_hw_device->device_ref.get() : Fhw_device_ctx.get();
  if (hwDevice != nullptr) {
    for (unsigned i = 0; i < fg.graph->nb_filters; i++) {
      fg.graph->filters[i]->hw_device_ctx = FF().av_buffer_ref(hwDevice);
      if (fg.graph->filters[i]->hw_device_ctx == nullptr) return AVERROR(ENOMEM);
    }
  }

  if (simple &&
      (inputs == nullptr || inputs->next != nullptr || outputs == nullptr || outputs->next != nullptr)) {
    const char* numInputs = inputs == nullptr ? "0" : inputs->next != nullptr ? ">1" : "1";
    const char* numOutputs = outputs == nullptr ? "0" : outputs->next != nullptr ? ">1" : "1";
    Log(TLogLevel::llError,
        "Simple filtergraph \"%s\" was expected to have exactly 1 input and 1 output. However, it had %s "
        "input(s) and "
        "%s output(s). Please adjust, or use a complex filtergraph (-filter_complex) instead.",
        graphDesc.c_str(), numInputs, numOutputs);
    return AVERROR(EINVAL);
  }

  int i = 0;
  for (AVFilterInOut* cur = inputs.get(); cur != nullptr; cur = cur->next, i++) {
    if (std::size_t(i) >= fg.inputs.size()) return AVERROR(EINVAL);
    if ((ret = ConfigureInputFilter(fg, *fg.inputs[std::size_t(i)], cur)) < 0) return ret;
  }
  inputs.reset();
  i = 0;
  for (AVFilterInOut* cur = outputs.get(); cur != nullptr; cur = cur->next, i++) {
    if (std::size_t(i) >= fg.outputs.size()) return AVERROR(EINVAL);
    if ((ret = ConfigureOutputFilter(fg, *fg.outputs[std::size_t(i)], cur)) < 0) return ret;
  }
  outputs.reset();

  if (!Fauto_conversion_filters)
    FF().avfilter_graph_set_auto_convert(fg.graph.get(), AVFILTER_AUTO_CONVERT_NONE);
  if ((ret = FF().avfilter_graph_config(fg.graph.get(), nullptr)) < 0) return ret;

  // Keep what the sinks chose, so a rebuilt graph delivers the same to the opened encoders.
  for (auto& ofilter : fg.outputs) {
    AVFilterContext* sink = ofilter->filter;
    ofilter->format = FF().av_buffersink_get_format(sink);
    ofilter->width = FF().av_buffersink_get_w(sink);
    ofilter->height = FF().av_buffersink_get_h(sink);
    ofilter->sample_rate = FF().av_buffersink_get_sample_rate(sink);
    FF().av_channel_layout_uninit(&ofilter->ch_layout);
    FF().av_buffersink_get_ch_layout(sink, &ofilter->ch_layout);
  }
  fg.reconfiguration = 1;

  for (auto& ofilter : fg.outputs) {
    TOutputStream& ost = *ofilter->ost;
    if (ost.enc == nullptr) {
      Log(TLogLevel::llError, "Encoder (codec %s) not found for output stream #%d:%d",
          FF().avcodec_get_name(ost.st->codecpar->codec_id), ost.file_index, ost.index);
      return AVERROR(EINVAL);
    }
    if (ost.enc->type == AVMEDIA_TYPE_AUDIO && !(ost.enc->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
        ost.enc_ctx->frame_size > 0)
      FF().av_buffersink_set_frame_size(ofilter->filter, unsigned(ost.enc_ctx->frame_size));
  }

  // Frames that arrived before every input knew its format, then the inputs that already ended.
  for (auto& ifilter : fg.inputs) {
    AVFrame* queued = nullptr;
    while (FF().av_fifo_read(ifilter->frame_queue.get(), &queued, 1) >= 0) {
      const TFramePtr frame{queued};
      ret = FF().av_buffersrc_add_frame(ifilter->filter, frame.get());
      if (ret < 0) return ret;
    }
  }
  for (auto& ifilter : fg.inputs) {
    if (ifilter->eof) {
      ret = FF().av_buffersrc_add_frame(ifilter->filter, nullptr);
      if (ret < 0) return ret;
    }
  }
  // Subtitles that were decoded before the graph existed.
  for (auto& ifilter : fg.inputs) {
    TInputStream* ist = ifilter->ist;
    if (ist->sub2video.sub_queue == nullptr || ist->sub2video.frame == nullptr) continue;
    TSubtitleValue sub;
    while (FF().av_fifo_read(ist->sub2video.sub_queue.get(), &sub.Plain(), 1) >= 0) {
      Sub2VideoUpdate(*ist, &sub, AV_NOPTS_VALUE);
      ClearSubtitle(&sub);
    }
  }
  return 0;
}

}  // namespace media
