// Decoding and filtering input: packets through the decoders into the sources of the filter
// graphs. Conversion thread only.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavfilter/buffersrc.h>
#include <libavutil/pixdesc.h>
}

#include <cstring>

#include "media/engine/custom_ffmpeg.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

namespace {

// avcodec_send_packet/receive_frame in the shape of the old one-call decode: returns 0 (with or
// without a frame) or the error; AVERROR(EAGAIN) from receive only means "no frame yet".
int Decode(AVCodecContext* avctx, AVFrame* frame, int* gotFrame, const AVPacket* pkt) {
  *gotFrame = 0;
  if (pkt != nullptr) {
    const int ret = FF().avcodec_send_packet(avctx, pkt);
    // An EOF means the decoder is already draining; the receive below still gets its frames.
    if (ret < 0 && ret != AVERROR_EOF) return ret;
  }
  const int ret = FF().avcodec_receive_frame(avctx, frame);
  if (ret < 0 && ret != AVERROR(EAGAIN)) return ret;
  if (ret >= 0) *gotFrame = 1;
  return 0;
}

}  // namespace

void TCustomFFmpeg::check_decode_result(TInputStream* ist, int* gotOutput, int ret) {
  if (*gotOutput || ret < 0) Fdecode_error_stat[ret < 0]++;
  if (ret < 0 && Fexit_on_error) {
    const char* kind = ist != nullptr ? FF().av_get_media_type_string(ist->dec_ctx->codec_type) : "subtitle";
    RaiseErrorFmt("decode %s error", kind != nullptr ? kind : "?");
  }
  if (*gotOutput && ist != nullptr &&
      (ist->decoded_frame->decode_error_flags || (ist->decoded_frame->flags & AV_FRAME_FLAG_CORRUPT))) {
    if (Fexit_on_error)
      RaiseErrorFmt("%s: corrupt decoded frame in stream %d", Finput_files[ist->file_index]->ctx->url,
                    ist->st->index);
    Log(TLogLevel::llWarning, "%s: corrupt decoded frame in stream %d", Finput_files[ist->file_index]->ctx->url,
        ist->st->index);
  }
}

int TCustomFFmpeg::process_input_packet(TInputStream& ist, const AVPacket* pkt, bool noEof) {
  int ret = 0;
  bool repeating = false;
  bool eofReached = false;
  AVPacket* avpkt = FDecodePacket.get();
  const AVMediaType type = ist.dec_ctx->codec_type;

  if (!ist.saw_first_ts) {
    ist.dts = ist.st->avg_frame_rate.num
                  ? int64_t(-ist.dec_ctx->has_b_frames * AV_TIME_BASE / av_q2d(ist.st->avg_frame_rate))
                  : 0;
    ist.pts = 0;
    if (pkt != nullptr && pkt->pts != AV_NOPTS_VALUE && !ist.decoding_needed) {
      ist.dts += FF().av_rescale_q(pkt->pts, ist.st->time_base, AV_TIME_BASE_Q);
      ist.pts = ist.dts;  // unused but better to set it to a value that's not totally wrong
    }
    ist.saw_first_ts = 1;
  }
  if (ist.next_dts == AV_NOPTS_VALUE) ist.next_dts = ist.dts;
  if (ist.next_pts == AV_NOPTS_VALUE) ist.next_pts = ist.pts;

  FF().av_packet_unref(avpkt);
  if (pkt != nullptr) {
    ret = FF().av_packet_ref(avpkt, pkt);
    if (ret < 0) return ret;
  }
  if (pkt != nullptr && pkt->dts != AV_NOPTS_VALUE) {
    ist.next_dts = ist.dts = FF().av_rescale_q(pkt->dts, ist.st->time_base, AV_TIME_BASE_Q);
    if (type != AVMEDIA_TYPE_VIDEO || !ist.decoding_needed) ist.next_pts = ist.pts = ist.dts;
  }

  // While there is more to decode, or the decoder gave output while draining.
  while (ist.decoding_needed) {
    int64_t durationDts = 0;
    int64_t durationPts = 0;
    int gotOutput = 0;
    int decodeFailed = 0;
    ist.pts = ist.next_pts;
    ist.dts = ist.next_dts;

    switch (type) {
      case AVMEDIA_TYPE_AUDIO:
        ret = decode_audio(ist, repeating ? nullptr : avpkt, &gotOutput, &decodeFailed);
        FF().av_packet_unref(avpkt);
        break;
      case AVMEDIA_TYPE_VIDEO:
        ret = decode_video(ist, repeating ? nullptr : avpkt, &gotOutput, &durationPts, pkt == nullptr,
                           &decodeFailed);
        if (!repeating || pkt == nullptr || gotOutput) {
          if (pkt != nullptr && pkt->duration) {
            durationDts = FF().av_rescale_q(pkt->duration, ist.st->time_base, AV_TIME_BASE_Q);
          } else if (ist.dec_ctx->framerate.num != 0 && ist.dec_ctx->framerate.den != 0) {
            const AVCodecParserContext* parser = FF().av_stream_get_parser(ist.st);
            const int ticks = parser != nullptr ? parser->repeat_pict + 1 : ist.dec_ctx->ticks_per_frame;
            durationDts = int64_t(AV_TIME_BASE) * ist.dec_ctx->framerate.den * ticks /
                          ist.dec_ctx->framerate.num / ist.dec_ctx->ticks_per_frame;
          }
          if (ist.dts != AV_NOPTS_VALUE && durationDts)
            ist.next_dts += durationDts;
          else
            ist.next_dts = AV_NOPTS_VALUE;
        }
        if (gotOutput) {
          if (durationPts > 0)
            ist.next_pts += FF().av_rescale_q(durationPts, ist.st->time_base, AV_TIME_BASE_Q);
          else
            ist.next_pts += durationDts;
        }
        FF().av_packet_unref(avpkt);
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (repeating) break;
        ret = transcode_subtitles(ist, avpkt, &gotOutput, &decodeFailed);
        if (pkt == nullptr && ret >= 0) ret = AVERROR_EOF;
        FF().av_packet_unref(avpkt);
        break;
      default:
        return -1;
    }

    if (ret == AVERROR_EOF) {
      eofReached = true;
      break;
    }
    if (ret < 0) {
      // A decoder's error ends the run only with -xerror; one of the filters that take the
      // frame always does.
      if (!decodeFailed)
        RaiseErrorFmt("Error while processing the decoded data for stream #%d:%d", ist.file_index, ist.st->index);
      const std::string text =
          FormatStr("Error while decoding stream #%d:%d: %s", ist.file_index, ist.st->index, FormatAVError(ret).c_str());
      if (Fexit_on_error) RaiseError(text);
      Log(TLogLevel::llError, "%s", text.c_str());
      break;
    }
    if (gotOutput) ist.got_output = 1;
    // While draining, one frame per call: the caller reaps the filters in between.
    if (!gotOutput || pkt == nullptr) break;
    repeating = true;
  }

  // After the decoder is drained, end the graph inputs (not when looping, which only flushes).
  if (pkt == nullptr && ist.decoding_needed && eofReached && !noEof) {
    const int r = send_filter_eof(ist);
    if (r < 0) RaiseError(FormatAVError("Error marking filters as finished", r));
  }

  // Stream copy: predict the next DTS from what is known of the stream.
  if (!ist.decoding_needed && pkt != nullptr) {
    ist.dts = ist.next_dts;
    switch (type) {
      case AVMEDIA_TYPE_AUDIO:
        if (ist.dec_ctx->sample_rate)
          ist.next_dts += int64_t(AV_TIME_BASE) * ist.dec_ctx->frame_size / ist.dec_ctx->sample_rate;
        else
          ist.next_dts += FF().av_rescale_q(pkt->duration, ist.st->time_base, AV_TIME_BASE_Q);
        break;
      case AVMEDIA_TYPE_VIDEO:
        if (ist.framerate.num) {
          const int64_t next = FF().av_rescale_q(ist.next_dts, AV_TIME_BASE_Q, av_inv_q(ist.framerate));
          ist.next_dts = FF().av_rescale_q(next + 1, av_inv_q(ist.framerate), AV_TIME_BASE_Q);
        } else if (pkt->duration) {
          ist.next_dts += FF().av_rescale_q(pkt->duration, ist.st->time_base, AV_TIME_BASE_Q);
        } else if (ist.dec_ctx->framerate.num != 0) {
          const AVCodecParserContext* parser = FF().av_stream_get_parser(ist.st);
          const int ticks = parser != nullptr ? parser->repeat_pict + 1 : ist.dec_ctx->ticks_per_frame;
          ist.next_dts += int64_t(AV_TIME_BASE) * ist.dec_ctx->framerate.den * ticks /
                          ist.dec_ctx->framerate.num / ist.dec_ctx->ticks_per_frame;
        }
        break;
      default:
        break;
    }
    ist.pts = ist.dts;
    ist.next_pts = ist.next_dts;
  }
  for (auto& ost : Foutput_streams) {
    if (!check_output_constraints(ist, *ost) || ost->encoding_needed) continue;
    do_streamcopy(ist, *ost, pkt);
  }
  return !eofReached;
}

int TCustomFFmpeg::decode_audio(TInputStream& ist, AVPacket* pkt, int* gotOutput, int* decodeFailed) {
  AVCodecContext* avctx = ist.dec_ctx.get();
  if (ist.decoded_frame == nullptr && (ist.decoded_frame.reset(FF().av_frame_alloc()), ist.decoded_frame == nullptr))
    return AVERROR(ENOMEM);
  if (ist.filter_frame == nullptr && (ist.filter_frame.reset(FF().av_frame_alloc()), ist.filter_frame == nullptr))
    return AVERROR(ENOMEM);
  AVFrame* decodedFrame = ist.decoded_frame.get();

  int ret = Decode(avctx, decodedFrame, gotOutput, pkt);
  if (ret < 0) *decodeFailed = 1;
  if (ret >= 0 && avctx->sample_rate <= 0) {
    FF().av_log(avctx, AV_LOG_ERROR, "Sample rate %d invalid\n", avctx->sample_rate);
    ret = AVERROR_INVALIDDATA;
  }
  if (ret != AVERROR_EOF) check_decode_result(&ist, gotOutput, ret);
  if (!*gotOutput || ret < 0) return ret;

  if (decodedFrame->nb_samples < 1)
    RaiseErrorFmt("the decoder \"%s\" return bad result.", avctx->codec->name);
  ist.samples_decoded += decodedFrame->nb_samples;
  ist.frames_decoded++;
  // For streams without time stamps, or several frames in one packet.
  ist.next_pts += int64_t(AV_TIME_BASE) * decodedFrame->nb_samples / avctx->sample_rate;
  ist.next_dts += int64_t(AV_TIME_BASE) * decodedFrame->nb_samples / avctx->sample_rate;

  AVRational decodedFrameTb;
  if (decodedFrame->pts != AV_NOPTS_VALUE) {
    decodedFrameTb = ist.st->time_base;
  } else if (pkt != nullptr && pkt->pts != AV_NOPTS_VALUE) {
    decodedFrame->pts = pkt->pts;
    decodedFrameTb = ist.st->time_base;
  } else {
    decodedFrame->pts = ist.dts;
    decodedFrameTb = AV_TIME_BASE_Q;
  }
  if (decodedFrame->pts != AV_NOPTS_VALUE)
    decodedFrame->pts = FF().av_rescale_delta(
        decodedFrameTb, decodedFrame->pts, AVRational{1, avctx->sample_rate}, decodedFrame->nb_samples,
        &ist.filter_in_rescale_delta_last, AVRational{1, avctx->sample_rate});
  ist.nb_samples = decodedFrame->nb_samples;
  // What the hook leaves in the samples goes on to the filters.
  CallAudioHook(OnInputAudioHook, ist.pts, decodedFrame, avctx->sample_rate, avctx->ch_layout.nb_channels,
                avctx->sample_fmt);
  const int err = send_frame_to_filters(ist, decodedFrame);
  FF().av_frame_unref(ist.filter_frame.get());
  FF().av_frame_unref(decodedFrame);
  return err < 0 ? err : ret;
}

int TCustomFFmpeg::decode_video(TInputStream& ist, AVPacket* pkt, int* gotOutput, int64_t* durationPts,
                                bool eof, int* decodeFailed) {
  if (!eof && pkt != nullptr && pkt->size == 0) return 0;
  if (ist.decoded_frame == nullptr && (ist.decoded_frame.reset(FF().av_frame_alloc()), ist.decoded_frame == nullptr))
    return AVERROR(ENOMEM);
  if (ist.filter_frame == nullptr && (ist.filter_frame.reset(FF().av_frame_alloc()), ist.filter_frame == nullptr))
    return AVERROR(ENOMEM);
  AVFrame* decodedFrame = ist.decoded_frame.get();

  int64_t dts = AV_NOPTS_VALUE;
  if (ist.dts != AV_NOPTS_VALUE) dts = FF().av_rescale_q(ist.dts, AV_TIME_BASE_Q, ist.st->time_base);
  if (pkt != nullptr) pkt->dts = dts;
  // The drain packet carries no DTS with send/receive decoding; keep them for frames without one.
  if (eof) ist.dts_buffer.push_back(dts);

  int ret = Decode(ist.dec_ctx.get(), decodedFrame, gotOutput, pkt);
  if (ret < 0) *decodeFailed = 1;

  if (ist.st->codecpar->video_delay < ist.dec_ctx->has_b_frames) {
    if (ist.dec_ctx->codec_id == AV_CODEC_ID_H264)
      ist.st->codecpar->video_delay = ist.dec_ctx->has_b_frames;
    else
      FF().av_log(
          ist.dec_ctx.get(), AV_LOG_WARNING,
          "video_delay is larger in decoder than demuxer %d > %d.\nIf you want to help, upload a sample of "
          "this file to https://streams.videolan.org/upload/ and contact the ffmpeg-devel mailing list. "
          "(ffmpeg-devel@ffmpeg.org)\n",
          ist.dec_ctx->has_b_frames, ist.st->codecpar->video_delay);
  }
  if (ret != AVERROR_EOF) check_decode_result(&ist, gotOutput, ret);
  if (*gotOutput && ret >= 0) {
    if (ist.dec_ctx->width != decodedFrame->width || ist.dec_ctx->height != decodedFrame->height ||
        ist.dec_ctx->pix_fmt != decodedFrame->format)
      Log(TLogLevel::llDebug, "Frame parameters mismatch context %d,%d,%d != %d,%d,%d", decodedFrame->width,
          decodedFrame->height, decodedFrame->format, ist.dec_ctx->width, ist.dec_ctx->height,
          ist.dec_ctx->pix_fmt);
  }
  if (!*gotOutput || ret < 0) return ret;

  if (ist.top_field_first >= 0) decodedFrame->top_field_first = ist.top_field_first;
  ist.frames_decoded++;
  if (ist.hwaccel_retrieve_data && decodedFrame->format == ist.hwaccel_pix_fmt) {
    const int err = HWAccelRetrieveData(ist.dec_ctx.get(), decodedFrame);
    if (err < 0) {
      *decodeFailed = 1;
      return err;
    }
  }
  ist.hwaccel_retrieved_pix_fmt = AVPixelFormat(decodedFrame->format);

  int64_t bestEffortTimestamp = decodedFrame->best_effort_timestamp;
  *durationPts = decodedFrame->pkt_duration;
  if (ist.framerate.num) bestEffortTimestamp = ist.cfr_next_pts++;
  if (eof && bestEffortTimestamp == AV_NOPTS_VALUE && !ist.dts_buffer.empty()) {
    bestEffortTimestamp = ist.dts_buffer.front();
    ist.dts_buffer.erase(ist.dts_buffer.begin());
  }
  if (bestEffortTimestamp != AV_NOPTS_VALUE) {
    decodedFrame->pts = bestEffortTimestamp;
    const int64_t ts = FF().av_rescale_q(bestEffortTimestamp, ist.st->time_base, AV_TIME_BASE_Q);
    if (ts != AV_NOPTS_VALUE) ist.next_pts = ist.pts = ts;
  }
  if (Fdebug_ts)
    Log(TLogLevel::llInfo,
        "decoder -> ist_index:%d type:video %s best_effort_ts:%" PRId64
        " best_effort_ts_time:%s keyframe:%d frame_type:%d time_base:%d/%d",
        ist.st->index, engine_detail::TsFields("frame_pts", decodedFrame->pts, ist.st->time_base).c_str(),
        bestEffortTimestamp, engine_detail::TsToTimeStr(bestEffortTimestamp, ist.st->time_base).c_str(),
        decodedFrame->key_frame, decodedFrame->pict_type, ist.st->time_base.num, ist.st->time_base.den);
  // The input hooks; every decoded video frame is counted.
  pre_process_video_frame(ist, decodedFrame);
  if (ist.st->sample_aspect_ratio.num) decodedFrame->sample_aspect_ratio = ist.st->sample_aspect_ratio;

  const int err = send_frame_to_filters(ist, decodedFrame);
  FF().av_frame_unref(ist.filter_frame.get());
  FF().av_frame_unref(decodedFrame);
  return err < 0 ? err : ret;
}

int TCustomFFmpeg::transcode_subtitles(TInputStream& ist, AVPacket* pkt, int* gotOutput, int* decodeFailed) {
  TSubtitleValue decoded;  // freed here unless the queue below takes it
  int ret = FF().avcodec_decode_subtitle2(ist.dec_ctx.get(), &decoded, gotOutput, pkt);
  check_decode_result(nullptr, gotOutput, ret);
  if (ret < 0 || !*gotOutput) {
    *decodeFailed = 1;
    if (pkt == nullptr || pkt->size == 0) Sub2VideoFlush(ist);  // the end of the stream
    return ret;
  }
  if (ist.fix_sub_duration) {
    int end = 1;
    if (ist.prev_sub.got_output) {
      end = int(FF().av_rescale(decoded.pts - ist.prev_sub.subtitle.pts, 1000, AV_TIME_BASE));
      if (end < int(ist.prev_sub.subtitle.end_display_time)) {
        FF().av_log(ist.dec_ctx.get(), AV_LOG_DEBUG, "Subtitle duration reduced from %" PRIu32 " to %d%s\n",
                    ist.prev_sub.subtitle.end_display_time, end, end <= 0 ? ", dropping it" : "");
        ist.prev_sub.subtitle.end_display_time = uint32_t(end);
      }
    }
    std::swap(*gotOutput, ist.prev_sub.got_output);
    std::swap(ret, ist.prev_sub.ret);
    std::swap(decoded.Plain(), ist.prev_sub.subtitle.Plain());
    if (end <= 0) return ret;
  }
  if (!*gotOutput) return ret;
  // What follows reads the subtitle; once queued, the queue owns what its fields point at.
  AVSubtitle subtitle = decoded.Plain();
  if (ist.sub2video.frame != nullptr) {
    Sub2VideoUpdate(ist, &subtitle, AV_NOPTS_VALUE);
  } else if (!ist.filters.empty()) {
    // The graph does not exist yet: keep the subtitle for it.
    if (ist.sub2video.sub_queue == nullptr)
      ist.sub2video.sub_queue.reset(FF().av_fifo_alloc2(8, sizeof(AVSubtitle), AV_FIFO_FLAG_AUTO_GROW));
    if (ist.sub2video.sub_queue == nullptr ||
        FF().av_fifo_write(ist.sub2video.sub_queue.get(), &subtitle, 1) < 0)
      RaiseError("Failed to malloc sub_queue");
    decoded.Plain() = AVSubtitle{};
  }
  if (subtitle.num_rects == 0) return ret;
  ist.frames_decoded++;
  for (auto& ost : Foutput_streams) {
    if (!check_output_constraints(ist, *ost) || !ost->encoding_needed ||
        ost->enc->type != AVMEDIA_TYPE_SUBTITLE)
      continue;
    do_subtitle_out(*Foutput_files[ost->file_index], *ost, &subtitle);
  }
  return ret;
}

int TCustomFFmpeg::send_frame_to_filters(TInputStream& ist, AVFrame* decodedFrame) {
  int ret = 0;
  const std::size_t count = ist.filters.size();
  for (std::size_t i = 0; i < count; i++) {
    AVFrame* f = decodedFrame;
    if (i + 1 < count) {
      f = ist.filter_frame.get();
      ret = FF().av_frame_ref(f, decodedFrame);
      if (ret < 0) break;
    }
    ret = ifilter_send_frame(*ist.filters[i], f);
    if (ret == AVERROR_EOF) ret = 0;  // the graph does not want more: not an error
    if (ret < 0) {
      FF().av_log(nullptr, AV_LOG_ERROR, "Failed to inject frame into filter network: %s\n",
                  FormatAVError(ret).c_str());
      break;
    }
  }
  return ret;
}

int TCustomFFmpeg::ifilter_send_frame(TInputFilter& ifilter, AVFrame* frame) {
  TFilterGraph& fg = *ifilter.graph;
  bool needReinit = ifilter.format != frame->format;
  switch (ifilter.ist->st->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      needReinit |= ifilter.sample_rate != frame->sample_rate ||
                    FF().av_channel_layout_compare(&ifilter.ch_layout, &frame->ch_layout) != 0;
      break;
    case AVMEDIA_TYPE_VIDEO:
      needReinit |= ifilter.width != frame->width || ifilter.height != frame->height;
      break;
    default:
      break;
  }
  if (!ifilter.ist->reinit_filters && fg.graph != nullptr) needReinit = false;
  if ((ifilter.hw_frames_ctx != nullptr) != (frame->hw_frames_ctx != nullptr) ||
      (ifilter.hw_frames_ctx != nullptr && ifilter.hw_frames_ctx->data != frame->hw_frames_ctx->data))
    needReinit = true;

  int ret = 0;
  if (needReinit) {
    ret = IfilterParametersFromFrame(ifilter, frame);
    if (ret < 0) return ret;
  }
  // (Re)configure the graph once every input knows its format; until then keep the frame.
  if (needReinit || fg.graph == nullptr) {
    if (!IfilterHasAllInputFormats(fg)) {
      TFramePtr queued{FF().av_frame_clone(frame)};
      if (queued == nullptr) return AVERROR(ENOMEM);
      FF().av_frame_unref(frame);
      AVFrame* raw = queued.get();
      ret = FF().av_fifo_write(ifilter.frame_queue.get(), &raw, 1);
      if (ret < 0) return ret;
      static_cast<void>(queued.release());  // the queue owns it now
      return 0;
    }
    ret = reap_filters(true);
    if (ret < 0 && ret != AVERROR_EOF) {
      Log(TLogLevel::llError, "%s", FormatAVError("Error while filtering", ret).c_str());
      return ret;
    }
    ret = ConfigureFiltergraph(fg);
    if (ret < 0) {
      Log(TLogLevel::llError, "Error reinitializing filters!");
      return ret;
    }
  }
  ret = FF().av_buffersrc_add_frame_flags(ifilter.filter, frame, AV_BUFFERSRC_FLAG_PUSH);
  if (ret < 0) {
    if (ret != AVERROR_EOF)
      Log(TLogLevel::llError, "%s", FormatAVError("Error while filtering", ret).c_str());
    return ret;
  }
  return 0;
}

int TCustomFFmpeg::ifilter_send_eof(TInputFilter& ifilter, int64_t pts) {
  ifilter.eof = 1;
  if (ifilter.filter != nullptr) return FF().av_buffersrc_close(ifilter.filter, pts, AV_BUFFERSRC_FLAG_PUSH);
  // The graph was never configured: its outputs end only when every input has ended.
  TFilterGraph& fg = *ifilter.graph;
  for (auto& input : fg.inputs)
    if (!input->eof) return 0;
  for (auto& output : fg.outputs)
    if (output->ost != nullptr) finish_output_stream(*output->ost);
  return 0;
}

int TCustomFFmpeg::send_filter_eof(TInputStream& ist) {
  // Rounding to nearest, passing the extreme values through.
  const int64_t pts = FF().av_rescale_q_rnd(ist.pts, AV_TIME_BASE_Q, ist.st->time_base,
                                            AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
  for (TInputFilter* ifilter : ist.filters) {
    const int ret = ifilter_send_eof(*ifilter, pts);
    if (ret < 0) return ret;
  }
  return 0;
}

}  // namespace media
