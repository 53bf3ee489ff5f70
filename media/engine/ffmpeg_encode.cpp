// Encoding and muxing output: frames out of the buffer sinks, frame-rate conversion, the encoders,
// the bitstream filters, time stamp repair and the muxer (or the queue before the header).
// Conversion thread only; a video encoder itself usually runs on a thread of its own
// (EncodesOnThread, encoder_thread.h), and its packets are muxed here.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavcodec/bsf.h>
#include <libavfilter/buffersink.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/engine/custom_ffmpeg.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

namespace {

constexpr int VSYNC_PASSTHROUGH = 0;
constexpr int VSYNC_CFR = 1;
constexpr int VSYNC_VFR = 2;
constexpr int VSYNC_VSCFR = 0xfe;
constexpr int VSYNC_DROP = 0xff;

// Little-endian reads of the quality-statistics side data.
uint32_t ReadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t ReadLE64(const uint8_t* p) { return uint64_t(ReadLE32(p)) | uint64_t(ReadLE32(p + 4)) << 32; }

}  // namespace

int TCustomFFmpeg::reap_filters(bool flush) {
  for (auto& ostPtr : Foutput_streams) {
    TOutputStream& ost = *ostPtr;
    if (ost.filter == nullptr || ost.filter->graph->graph == nullptr) continue;
    TOutputFile& of = *Foutput_files[ost.file_index];
    AVFilterContext* filter = ost.filter->filter;
    AVCodecContext* enc = ost.enc_ctx.get();

    if (ost.filtered_frame == nullptr &&
        (ost.filtered_frame.reset(FF().av_frame_alloc()), ost.filtered_frame == nullptr))
      return AVERROR(ENOMEM);
    AVFrame* filteredFrame = ost.filtered_frame.get();
    if (!ost.initialized) {
      // A video encoder opens with its first frame, whose field order goes into the header; one
      // that never gets a frame opens at the end.
      if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
        const int peek = FF().av_buffersink_get_frame_flags(
            filter, filteredFrame, AV_BUFFERSINK_FLAG_PEEK | AV_BUFFERSINK_FLAG_NO_REQUEST);
        if (peek < 0 && !flush) continue;
        if (peek >= 0) {
          ost.enc_ctx->field_order = FieldOrderOf(ost, filteredFrame);
          FF().av_frame_unref(filteredFrame);
        }
      }
      init_output_stream_or_raise(ost);
    }

    for (;;) {
      double floatPts = double(AV_NOPTS_VALUE);  // the frame's pts at a higher precision
      const int ret =
          FF().av_buffersink_get_frame_flags(filter, filteredFrame, AV_BUFFERSINK_FLAG_NO_REQUEST);
      if (ret < 0) {
        if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
          const std::string msg = FormatAVError("Error in av_buffersink_get_frame_flags()", ret);
          Log(TLogLevel::llWarning, "%s", msg.c_str());
          NoteLoss(msg);
        } else if (flush && ret == AVERROR_EOF) {
          if (FF().av_buffersink_get_type(filter) == AVMEDIA_TYPE_VIDEO)
            do_video_out(of, ost, nullptr, floatPts);
        }
        break;
      }
      if (ost.finished) {
        FF().av_frame_unref(filteredFrame);
        continue;
      }
      if (filteredFrame->pts != AV_NOPTS_VALUE) {
        const int64_t startTime = of.start_time == AV_NOPTS_VALUE ? 0 : of.start_time;
        const AVRational filterTb = FF().av_buffersink_get_time_base(filter);
        AVRational tb = enc->time_base;
        const int extraBits = std::clamp(29 - engine_detail::Log2(unsigned(tb.den)), 0, 16);
        tb.den <<= extraBits;
        floatPts = double(FF().av_rescale_q(filteredFrame->pts, filterTb, tb) -
                          FF().av_rescale_q(startTime, AV_TIME_BASE_Q, tb));
        floatPts /= double(1 << extraBits);
        // Avoid exact midpoints, so rounding in the frame-rate code does not flip between runs.
        floatPts += (floatPts > 0 ? 1.0 : floatPts < 0 ? -1.0 : 0.0) / double(1 << 17);
        filteredFrame->pts = FF().av_rescale_q(filteredFrame->pts, filterTb, enc->time_base) -
                             FF().av_rescale_q(startTime, AV_TIME_BASE_Q, enc->time_base);
      }
      switch (FF().av_buffersink_get_type(filter)) {
        case AVMEDIA_TYPE_VIDEO:
          if (!ost.frame_aspect_ratio.num &&
              av_cmp_q(enc->sample_aspect_ratio, filteredFrame->sample_aspect_ratio) != 0) {
            // The encoder may be reading its context on its own thread: it finishes first.
            if (ost.encoder_thread != nullptr) MuxEncoded(of, ost, true);
            enc->sample_aspect_ratio = filteredFrame->sample_aspect_ratio;
          }
          if (Fdebug_ts)
            Log(TLogLevel::llInfo, "filter -> %s exact:%f time_base:%d/%d",
                engine_detail::TsFields("pts", filteredFrame->pts, enc->time_base).c_str(), floatPts,
                enc->time_base.num, enc->time_base.den);
          do_video_out(of, ost, filteredFrame, floatPts);
          break;
        case AVMEDIA_TYPE_AUDIO:
          if (!(enc->codec->capabilities & AV_CODEC_CAP_PARAM_CHANGE) &&
              enc->ch_layout.nb_channels != filteredFrame->ch_layout.nb_channels) {
            Log(TLogLevel::llError,
                "Audio filter graph output is not normalized and encoder does not support parameter changes");
            NoteLoss(
                "Audio filter graph output is not normalized and encoder does not support parameter changes");
            break;
          }
          do_audio_out(of, ost, filteredFrame);
          break;
        default:
          RaiseError("Never occur");
      }
      FF().av_frame_unref(filteredFrame);
    }
  }
  return 0;
}

void TCustomFFmpeg::do_audio_out(TOutputFile& of, TOutputStream& ost, AVFrame* frame) {
  AVCodecContext* enc = ost.enc_ctx.get();
  if (!check_recording_time(ost)) return;
  if (frame->pts == AV_NOPTS_VALUE || Faudio_sync_method < 0) frame->pts = ost.sync_opts;
  ost.sync_opts = frame->pts + frame->nb_samples;
  ost.samples_encoded += frame->nb_samples;
  ost.frames_encoded++;
  CallAudioHook(OnOutputAudioHook, FF().av_rescale_q(frame->pts, enc->time_base, AV_TIME_BASE_Q), frame,
                enc->sample_rate, enc->ch_layout.nb_channels, enc->sample_fmt);
  if (Fdebug_ts)
    Log(TLogLevel::llInfo, "encoder <- type:audio %s time_base:%d/%d",
        engine_detail::TsFields("frame_pts", frame->pts, enc->time_base).c_str(), enc->time_base.num,
        enc->time_base.den);

  int ret = FF().avcodec_send_frame(enc, frame);
  if (ret < 0) RaiseError(FormatAVError("Audio encoding failed", ret));
  AVPacket* pkt = FEncodePacket.get();
  for (;;) {
    ret = FF().avcodec_receive_packet(enc, pkt);
    if (ret == AVERROR(EAGAIN)) break;
    if (ret < 0) RaiseError(FormatAVError("Audio encoding failed", ret));
    FF().av_packet_rescale_ts(pkt, enc->time_base, ost.mux_timebase);
    if (Fdebug_ts)
      Log(TLogLevel::llInfo, "encoder -> type:audio %s",
          engine_detail::PacketTsFields(pkt, ost.mux_timebase).c_str());
    output_packet(of, pkt, ost, false);
  }
}

void TCustomFFmpeg::do_subtitle_out(TOutputFile& of, TOutputStream& ost, AVSubtitle* sub) {
  constexpr int subtitleOutMaxSize = 1024 * 1024;
  if (sub->pts == AV_NOPTS_VALUE) {
    Log(TLogLevel::llError, "Subtitle packets must have a pts");
    if (Fexit_on_error) RaiseError("Subtitle packets must have a pts");
    return;
  }
  AVCodecContext* enc = ost.enc_ctx.get();
  std::vector<uint8_t> subtitleOut(subtitleOutMaxSize);
  // DVB subtitles need one packet to draw and one to clear.
  const int nb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;
  int64_t pts = sub->pts;
  if (of.start_time != AV_NOPTS_VALUE) pts -= of.start_time;
  for (int i = 0; i < nb; i++) {
    const unsigned saveNumRects = sub->num_rects;
    ost.sync_opts = FF().av_rescale_q(pts, AV_TIME_BASE_Q, enc->time_base);
    if (!check_recording_time(ost)) return;
    sub->pts = pts;
    sub->pts += FF().av_rescale_q(sub->start_display_time, AVRational{1, 1000}, AV_TIME_BASE_Q);
    sub->end_display_time -= sub->start_display_time;
    sub->start_display_time = 0;
    if (i == 1) sub->num_rects = 0;
    ost.frames_encoded++;
    const int size = FF().avcodec_encode_subtitle(enc, subtitleOut.data(), subtitleOutMaxSize, sub);
    if (i == 1) sub->num_rects = saveNumRects;
    if (size < 0) RaiseError("Subtitle encoding failed");
    AVPacket* pkt = FEncodePacket.get();
    FF().av_packet_unref(pkt);
    if (FF().av_new_packet(pkt, size) < 0) RaiseError("Subtitle encoding failed");
    std::memcpy(pkt->data, subtitleOut.data(), std::size_t(size));
    pkt->pts = FF().av_rescale_q(sub->pts, AV_TIME_BASE_Q, ost.mux_timebase);
    pkt->duration = FF().av_rescale_q(sub->end_display_time, AVRational{1, 1000}, ost.mux_timebase);
    if (enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE) {
      // 90 kHz: the clearing packet comes at the end of the display time.
      if (i == 0)
        pkt->pts += int64_t(90) * sub->start_display_time;
      else
        pkt->pts += int64_t(90) * sub->end_display_time;
    }
    pkt->dts = pkt->pts;
    output_packet(of, pkt, ost, false);
  }
}

// How many ticks of the encoder's time base one frame lasts: from the graph's frame rate, the
// output rate, or, without filters, the frame's own duration.
double TCustomFFmpeg::VideoFrameDuration(TOutputStream& ost, const TInputStream* ist,
                                         const AVFrame* nextPicture) {
  const AVCodecContext* enc = ost.enc_ctx.get();
  double duration = 0;
  const AVRational frameRate = FF().av_buffersink_get_frame_rate(ost.filter->filter);
  if (frameRate.num > 0 && frameRate.den > 0) duration = 1 / (av_q2d(frameRate) * av_q2d(enc->time_base));
  if (ist != nullptr && ist->st->start_time != AV_NOPTS_VALUE && ist->first_dts != AV_NOPTS_VALUE &&
      ost.frame_rate.num)
    duration = std::min(duration, 1 / (av_q2d(ost.frame_rate) * av_q2d(enc->time_base)));
  if (ost.filters_script.empty() && ost.filters.empty() && nextPicture != nullptr && ist != nullptr &&
      std::lrint(double(nextPicture->pkt_duration) * av_q2d(ist->st->time_base) / av_q2d(enc->time_base)) > 0)
    duration = double(
        std::lrint(double(nextPicture->pkt_duration) * av_q2d(ist->st->time_base) / av_q2d(enc->time_base)));
  return duration;
}

// "-vsync" auto: variable rate for AVI and formats that allow it, none for formats without time
// stamps, else constant rate; constant rate without duplicating leading frames for a lone input
// stream at its own offset or with "-copyts".
int TCustomFFmpeg::ChooseVideoSync(const TOutputFile& of, const TOutputStream& ost, const TInputStream* ist) {
  if (ost.vsync_method != -1) return ost.vsync_method;
  int formatVideoSync;
  if (std::strcmp(of.ctx->oformat->name, "avi") == 0)
    formatVideoSync = VSYNC_VFR;
  else
    formatVideoSync = (of.ctx->oformat->flags & AVFMT_VARIABLE_FPS)
                          ? ((of.ctx->oformat->flags & AVFMT_NOTIMESTAMPS) ? VSYNC_PASSTHROUGH : VSYNC_VFR)
                          : VSYNC_CFR;
  if (ist != nullptr && formatVideoSync == VSYNC_CFR && Finput_files[ist->file_index]->ctx->nb_streams == 1 &&
      Finput_files[ist->file_index]->input_ts_offset == 0)
    formatVideoSync = VSYNC_VSCFR;
  if (formatVideoSync == VSYNC_CFR && Fcopy_ts) formatVideoSync = VSYNC_VSCFR;
  return formatVideoSync;
}

// How many times the frame is output (nbFrames) and how many of those repeat the previous frame
// (nb0Frames), from its drift against the output clock under the sync method.
void TCustomFFmpeg::CountVideoFrames(const TOutputFile& of, TOutputStream& ost, const TInputStream* ist,
                                     const AVFrame* nextPicture, double syncIpts, double duration,
                                     int& nbFrames, int& nb0Frames) {
  if (nextPicture == nullptr) {
    // End of stream: repeat what the last frames needed.
    nb0Frames = nbFrames =
        int(engine_detail::Median3(ost.last_nb0_frames[0], ost.last_nb0_frames[1], ost.last_nb0_frames[2]));
  } else {
    double delta0 = syncIpts - double(ost.sync_opts);  // drift of this frame against the output clock
    double delta = delta0 + duration;
    nb0Frames = 0;  // how often the previous frame is repeated
    nbFrames = 1;
    const int formatVideoSync = ChooseVideoSync(of, ost, ist);
    ost.is_cfr = formatVideoSync == VSYNC_CFR || formatVideoSync == VSYNC_VSCFR;

    if (delta0 < 0 && delta > 0 && formatVideoSync != VSYNC_PASSTHROUGH && formatVideoSync != VSYNC_DROP) {
      if (delta0 < -0.6)
        Log(TLogLevel::llWarning, "Past duration %f too large", -delta0);
      else
        Log(TLogLevel::llDebug, "Clipping frame in rate conversion by %f", -delta0);
      syncIpts = double(ost.sync_opts);
      duration += delta0;
      delta0 = 0;
    }
    switch (formatVideoSync) {
      case VSYNC_VSCFR:
        if (ost.frame_number == 0 && delta0 >= 0.5) {
          Log(TLogLevel::llDebug, "Not duplicating %d initial frames", int(std::lrint(delta0)));
          delta = duration;
          delta0 = 0;
          ost.sync_opts = std::llrint(syncIpts);
        }
        [[fallthrough]];
      case VSYNC_CFR:
        if (Fframe_drop_threshold != 0 && delta < Fframe_drop_threshold && ost.frame_number) {
          nbFrames = 0;
        } else if (delta < -1.1) {
          nbFrames = 0;
        } else if (delta > 1.1) {
          nbFrames = int(std::lrint(delta));
          if (delta0 > 1.1) nb0Frames = int(std::llrint(delta0 - 0.6));
        }
        break;
      case VSYNC_VFR:
        if (delta <= -0.6)
          nbFrames = 0;
        else if (delta > 0.6)
          ost.sync_opts = std::llrint(syncIpts);
        break;
      case VSYNC_DROP:
      case VSYNC_PASSTHROUGH:
        ost.sync_opts = std::llrint(syncIpts);
        break;
      default:
        RaiseError("Never occur");
    }
  }
}

// The field order of a picture as the container states it ("-top" overrides the picture's).
AVFieldOrder TCustomFFmpeg::FieldOrderOf(const TOutputStream& ost, AVFrame* picture) {
  const AVCodecContext* enc = ost.enc_ctx.get();
  if ((enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) && ost.top_field_first >= 0)
    picture->top_field_first = !!ost.top_field_first;
  if (!picture->interlaced_frame) return AV_FIELD_PROGRESSIVE;
  if (ost.enc->id == AV_CODEC_ID_MJPEG) return picture->top_field_first ? AV_FIELD_TT : AV_FIELD_BB;
  return picture->top_field_first ? AV_FIELD_TB : AV_FIELD_BT;
}

// Field order and quality of a picture about to be encoded; the encoder picks its type. The
// encoder's context is left alone: it may be encoding on its own thread.
void TCustomFFmpeg::SetPictureFields(TOutputStream& ost, AVFrame* inPicture) {
  ost.st->codecpar->field_order = FieldOrderOf(ost, inPicture);
  inPicture->quality = ost.enc_ctx->global_quality;
  inPicture->pict_type = AV_PICTURE_TYPE_NONE;
}

// "-force_key_frames": by time list, by expression, or where the source had key frames.
void TCustomFFmpeg::ForceKeyframe(TOutputStream& ost, AVFrame* inPicture, bool firstCopy) {
  const AVCodecContext* enc = ost.enc_ctx.get();
  bool forcedKeyframe = false;
  const double ptsTime =
      inPicture->pts != AV_NOPTS_VALUE ? double(inPicture->pts) * av_q2d(enc->time_base) : NAN;
  if (ost.forced_kf_index < int(ost.forced_kf_pts.size()) &&
      inPicture->pts >= ost.forced_kf_pts[std::size_t(ost.forced_kf_index)]) {
    ost.forced_kf_index++;
    forcedKeyframe = true;
  } else if (ost.forced_keyframes_pexpr != nullptr) {
    // "t" is the time since the first frame of the output stream, whatever its time stamp.
    if (ost.forced_kf_first_pts == AV_NOPTS_VALUE) ost.forced_kf_first_pts = inPicture->pts;
    double* v = ost.forced_keyframes_expr_const_values;
    v[4] = inPicture->pts != AV_NOPTS_VALUE
               ? double(inPicture->pts - ost.forced_kf_first_pts) * av_q2d(enc->time_base)
               : NAN;
    const double res = FF().av_expr_eval(ost.forced_keyframes_pexpr.get(), v, nullptr);
    Log(TLogLevel::llDebug,
        "force_key_frame: n:%f n_forced:%f prev_forced_n:%f t:%f prev_forced_t:%f -> res:%f", v[0], v[1],
        v[2], v[4], v[3], res);
    if (res) {
      forcedKeyframe = true;
      v[2] = v[0];
      v[3] = v[4];
      v[1] += 1;
    }
    v[0] += 1;
  } else if (ost.forced_keyframes.rfind("source", 0) == 0 && !ost.forced_keyframes.empty() &&
             inPicture->key_frame == 1 && firstCopy) {
    forcedKeyframe = true;
  }
  if (forcedKeyframe) {
    inPicture->pict_type = AV_PICTURE_TYPE_I;
    Log(TLogLevel::llDebug, "Forced keyframe at time %f", ptsTime);
  }
}

// Encodes one picture and writes the packets the encoder gives back.
void TCustomFFmpeg::EncodeVideoFrame(TOutputFile& of, TOutputStream& ost, AVFrame* inPicture) {
  AVCodecContext* enc = ost.enc_ctx.get();
  // The output hooks and the preview; a hook changes a private copy of the picture.
  AVFrame* encPicture = OutputHookStep(ost, inPicture);

  if (Fdebug_ts)
    Log(TLogLevel::llInfo, "encoder <- type:video %s time_base:%d/%d",
        engine_detail::TsFields("frame_pts", encPicture->pts, enc->time_base).c_str(), enc->time_base.num,
        enc->time_base.den);
  ost.frames_encoded++;
  const bool onThread = EncodesOnThread(ost);
  if (onThread && ost.encoder_thread == nullptr)
    ost.encoder_thread = std::make_unique<TEncoderThread>(
        enc, [this](const void* context, const std::string& line) { NoteLibraryError(context, line, true); });
  int ret = onThread ? ost.encoder_thread->Send(encPicture, ost.sync_opts)
                     : FF().avcodec_send_frame(enc, encPicture);
  if (ret < 0) RaiseError(FormatAVError("Video encoding failed", ret));
  // Closed captions travel with the first copy of a frame only.
  FF().av_frame_remove_side_data(inPicture, AV_FRAME_DATA_A53_CC);
  if (encPicture != inPicture) FF().av_frame_unref(encPicture);
  int frameSize = 0;
  if (onThread) {
    // Muxed at every frame, so that a long run of duplicated frames cannot pile up packets.
    MuxEncoded(of, ost, false);
  } else {
    AVPacket* pkt = FEncodePacket.get();
    for (;;) {
      ret = FF().avcodec_receive_packet(enc, pkt);
      if (ret == AVERROR(EAGAIN)) break;
      if (ret < 0) RaiseError(FormatAVError("Video encoding failed", ret));
      frameSize = pkt->size;
      if (Fdebug_ts)
        Log(TLogLevel::llInfo, "encoder -> type:video %s",
            engine_detail::PacketTsFields(pkt, enc->time_base).c_str());
      MuxVideoPacket(of, ost, pkt, ost.sync_opts);
      if (ost.logfile != nullptr && enc->stats_out != nullptr)
        std::fprintf(ost.logfile.get(), "%s", enc->stats_out);
    }
  }
  ost.sync_opts++;
  ost.frame_number++;
  if (!Fvstats_filename.empty() && frameSize) do_video_stats(ost, frameSize);
}

bool TCustomFFmpeg::EncodesOnThread(const TOutputStream& ost) const {
  const AVCodecContext* enc = ost.enc_ctx.get();
  // A hardware encoder stays here: frames queued for it would hold surfaces of a pool that may
  // be sized for the graph and the encoder alone. So does the encoder of a file with "-fs": its
  // size is checked before each frame, which needs every earlier frame muxed, none in flight.
  return enc->codec_type == AVMEDIA_TYPE_VIDEO && enc->hw_frames_ctx == nullptr &&
         Foutput_files[std::size_t(ost.file_index)]->limit_filesize == UINT64_MAX &&
         enc->hw_device_ctx == nullptr && !(enc->flags & AV_CODEC_FLAG_PSNR) &&
         !(enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) && ost.logfile == nullptr &&
         Fvstats_filename.empty() && !Fdebug_ts;
}

void TCustomFFmpeg::MuxEncoded(TOutputFile& of, TOutputStream& ost, bool waitAll) {
  std::vector<TEncoderThread::TEncoded> encoded;
  const int ret = ost.encoder_thread->Take(encoded, waitAll);
  // What the encoder gave before a failure is muxed, as when it runs on this thread.
  for (TEncoderThread::TEncoded& e : encoded) MuxVideoPacket(of, ost, e.Packet.get(), e.SyncOpts);
  if (ret < 0) RaiseError(FormatAVError("Video encoding failed", ret));
}

void TCustomFFmpeg::MuxVideoPacket(TOutputFile& of, TOutputStream& ost, AVPacket* pkt, int64_t syncOpts) {
  const AVCodecContext* enc = ost.enc_ctx.get();
  if (pkt->pts == AV_NOPTS_VALUE && !(enc->codec->capabilities & AV_CODEC_CAP_DELAY)) pkt->pts = syncOpts;
  FF().av_packet_rescale_ts(pkt, enc->time_base, ost.mux_timebase);
  output_packet(of, pkt, ost, false);
}

void TCustomFFmpeg::do_video_out(TOutputFile& of, TOutputStream& ost, AVFrame* nextPicture, double syncIpts) {
  const TInputStream* ist = get_input_stream(ost);
  int nbFrames = 0;
  int nb0Frames = 0;
  const double duration = VideoFrameDuration(ost, ist, nextPicture);
  CountVideoFrames(of, ost, ist, nextPicture, syncIpts, duration, nbFrames, nb0Frames);

  nbFrames = int(std::min<int64_t>(nbFrames, ost.max_frames - ost.frame_number));
  nb0Frames = std::min(nb0Frames, nbFrames);
  ost.last_nb0_frames[2] = ost.last_nb0_frames[1];
  ost.last_nb0_frames[1] = ost.last_nb0_frames[0];
  ost.last_nb0_frames[0] = nb0Frames;

  if (nb0Frames == 0 && ost.last_dropped) {
    Fnb_frames_drop++;
    FShowDupOrDrop = true;
    Log(TLogLevel::llVerbose, "*** dropping frame %d from stream %d at ts %" PRId64, ost.frame_number,
        ost.st->index, ost.last_frame != nullptr ? ost.last_frame->pts : AV_NOPTS_VALUE);
  }
  const int repeatedPrevious = (nb0Frames && ost.last_dropped) ? 1 : 0;
  if (nbFrames > repeatedPrevious + (nbFrames > nb0Frames ? 1 : 0)) {
    // A jump this large is a broken time stamp, not a gap to fill. The limit counts frames of the
    // error threshold: with the delta threshold (300 frames) every frame after a source gap of a
    // dozen seconds would be thrown away.
    if (double(nbFrames) > double(Fdts_error_threshold) * 30) {
      Log(TLogLevel::llError, "%d frame duplication too large, skipping", nbFrames - 1);
      Fnb_frames_drop++;
      FShowDupOrDrop = true;
      return;
    }
    Fnb_frames_dup += nbFrames - repeatedPrevious - (nbFrames > nb0Frames ? 1 : 0);
    FShowDupOrDrop = true;
    Log(TLogLevel::llVerbose, "*** %d dup!", nbFrames - 1);
    if (Fnb_frames_dup > Fdup_warning) {
      Log(TLogLevel::llWarning, "More than %d frames duplicated", Fdup_warning);
      Fdup_warning *= 10;
    }
  }
  ost.last_dropped = nbFrames == nb0Frames && nextPicture != nullptr;

  for (int i = 0; i < nbFrames; i++) {
    if (FBroken.load() && i > 10) {
      Log(TLogLevel::llInfo, "break in do_video_out()");
      break;
    }
    AVFrame* inPicture = (i < nb0Frames && ost.last_frame != nullptr) ? ost.last_frame.get() : nextPicture;
    if (inPicture == nullptr) return;
    inPicture->pts = ost.sync_opts;
    if (!check_recording_time(ost)) return;

    SetPictureFields(ost, inPicture);
    ForceKeyframe(ost, inPicture, i == 0);
    EncodeVideoFrame(of, ost, inPicture);
  }

  if (ost.last_frame == nullptr) ost.last_frame.reset(FF().av_frame_alloc());
  if (ost.last_frame != nullptr) FF().av_frame_unref(ost.last_frame.get());
  if (nextPicture != nullptr && ost.last_frame != nullptr)
    FF().av_frame_ref(ost.last_frame.get(), nextPicture);
  else
    ost.last_frame.reset();
}

bool TCustomFFmpeg::check_output_constraints(const TInputStream& ist, const TOutputStream& ost) const {
  const TOutputFile& of = *Foutput_files[ost.file_index];
  const int istIndex = Finput_files[ist.file_index]->ist_index + ist.st->index;
  if (ost.source_index != istIndex) return false;
  if (ost.finished) return false;
  if (of.start_time != AV_NOPTS_VALUE && ist.pts < of.start_time) return false;
  return true;
}

void TCustomFFmpeg::do_streamcopy(TInputStream& ist, TOutputStream& ost, const AVPacket* pkt) {
  TOutputFile& of = *Foutput_files[ost.file_index];
  TInputFile& f = *Finput_files[ist.file_index];
  const int64_t startTime = of.start_time == AV_NOPTS_VALUE ? 0 : of.start_time;
  const int64_t ostTbStartTime = FF().av_rescale_q(startTime, AV_TIME_BASE_Q, ost.mux_timebase);
  AVPacket* opkt = FEncodePacket.get();
  FF().av_packet_unref(opkt);

  if (pkt == nullptr) {
    // End of stream: only the bitstream filters hold something back.
    if (!ost.bsf_ctx.empty()) output_packet(of, opkt, ost, true);
    return;
  }
  if (!ost.frame_number && !(pkt->flags & AV_PKT_FLAG_KEY) && !ost.copy_initial_nonkeyframes) return;
  if (!ost.frame_number && !ost.copy_prior_start) {
    int64_t comp_start = startTime;
    if (Fcopy_ts && f.start_time != AV_NOPTS_VALUE)
      comp_start = std::max(startTime, f.start_time + f.ts_offset);
    if (pkt->pts == AV_NOPTS_VALUE
            ? ist.pts < comp_start
            : pkt->pts < FF().av_rescale_q(comp_start, AV_TIME_BASE_Q, ist.st->time_base))
      return;
  }
  if (of.recording_time != INT64_MAX && ist.pts >= of.recording_time + startTime) {
    close_output_stream(ost);
    return;
  }
  if (f.recording_time != INT64_MAX) {
    // Without -copyts the input's time stamps already count from its seek point (the file's own
    // start time taken away); with it they are the file's, from its start time unless
    // -start_at_zero took that away.
    int64_t start = 0;
    if (Fcopy_ts) {
      if (f.start_time != AV_NOPTS_VALUE) start += f.start_time;
      if (!Fstart_at_zero && f.ctx->start_time != AV_NOPTS_VALUE) start += f.ctx->start_time;
    }
    if (ist.pts >= f.recording_time + start) {
      close_output_stream(ost);
      return;
    }
  }
  // frame_number of a copied stream is counted by write_packet, which also applies -frames;
  // sync_opts is the end of what was copied, in the muxer's time base (-shortest ends there).

  if (FF().av_packet_ref(opkt, pkt) < 0) RaiseError("av_packet_ref() failed");
  if (pkt->pts != AV_NOPTS_VALUE)
    opkt->pts = FF().av_rescale_q(pkt->pts, ist.st->time_base, ost.mux_timebase) - ostTbStartTime;
  if (pkt->dts == AV_NOPTS_VALUE) {
    opkt->dts = FF().av_rescale_q(ist.dts, AV_TIME_BASE_Q, ost.mux_timebase);
  } else if (ost.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
    int duration = FF().av_get_audio_frame_duration(ist.dec_ctx.get(), pkt->size);
    if (!duration) duration = ist.dec_ctx->frame_size;
    opkt->dts = FF().av_rescale_delta(ist.st->time_base, pkt->dts, AVRational{1, ist.dec_ctx->sample_rate},
                                      duration, &ist.filter_in_rescale_delta_last, ost.mux_timebase);
    // Audio packets are not reordered: the PTS follows the smoothed DTS.
    opkt->pts = opkt->dts - ostTbStartTime;
  } else {
    opkt->dts = FF().av_rescale_q(pkt->dts, ist.st->time_base, ost.mux_timebase);
  }
  opkt->dts -= ostTbStartTime;
  opkt->duration = FF().av_rescale_q(pkt->duration, ist.st->time_base, ost.mux_timebase);
  ost.sync_opts += opkt->duration;
  output_packet(of, opkt, ost, false);
}

void TCustomFFmpeg::output_packet(TOutputFile& of, AVPacket* pkt, TOutputStream& ost, bool eof) {
  int ret = 0;
  if (!ost.bsf_ctx.empty()) {
    ret = FF().av_bsf_send_packet(ost.bsf_ctx[0].get(), eof ? nullptr : pkt);
    if (ret >= 0) {
      bool atEof = false;
      std::size_t idx = 1;
      while (idx > 0) {
        // A packet from the previous filter up the chain...
        ret = FF().av_bsf_receive_packet(ost.bsf_ctx[idx - 1].get(), pkt);
        if (ret == AVERROR(EAGAIN)) {
          ret = 0;
          idx--;
          continue;
        }
        if (ret == AVERROR_EOF)
          atEof = true;
        else if (ret < 0)
          break;
        // ...goes to the next filter down the chain, or to the muxer.
        if (idx < ost.bsf_ctx.size()) {
          ret = FF().av_bsf_send_packet(ost.bsf_ctx[idx].get(), atEof ? nullptr : pkt);
          if (ret < 0) break;
          idx++;
          atEof = false;
        } else if (atEof) {
          break;
        } else {
          write_packet(of, pkt, ost, false);
        }
      }
    }
  } else if (!eof) {
    write_packet(of, pkt, ost, false);
  }
  if (ret < 0 && ret != AVERROR_EOF) {
    const std::string msg = FormatStr(
        "Error applying bitstream filters to an output packet for stream #%d:%d.", ost.file_index, ost.index);
    Log(TLogLevel::llError, "%s", msg.c_str());
    if (Fexit_on_error) RaiseError(msg);
    NoteLoss(msg);
  }
}

void TCustomFFmpeg::close_all_output_streams(TOutputStream& ost, int thisStream, int others) {
  for (auto& other : Foutput_streams) other->finished |= (other.get() == &ost ? thisStream : others);
}

void TCustomFFmpeg::write_packet(TOutputFile& of, AVPacket* pkt, TOutputStream& ost, bool unqueue) {
  AVFormatContext* s = of.ctx.get();
  AVStream* st = ost.st;

  // Audio encoders may split frames, but never reorder: the frame limit can be applied here.
  // Video frames are counted in do_video_out because of reordering; queued packets were counted
  // when queued.
  if (!(st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && ost.encoding_needed) && !unqueue) {
    if (ost.frame_number >= ost.max_frames) {
      FF().av_packet_unref(pkt);
      return;
    }
    ost.frame_number++;
  }

  if (!of.header_written) {
    // The muxer is not initialised yet: keep the packet until every stream of the file is ready.
    if (FF().av_fifo_can_write(ost.muxing_queue.get()) == 0) {
      const std::size_t size = FF().av_fifo_can_read(ost.muxing_queue.get());
      // Below its data threshold the queue grows freely; above it, to max_muxing_queue_size packets.
      const std::size_t newSize =
          ost.muxing_queue_data_size + pkt->size < ost.muxing_queue_data_threshold
              ? 2 * size
              : std::min<std::size_t>(2 * size, std::size_t(std::max(ost.max_muxing_queue_size, 0)));
      if (newSize <= size)
        RaiseErrorFmt("Too many packets buffered for output stream %d:%d.", ost.file_index, ost.st->index);
      if (FF().av_fifo_grow2(ost.muxing_queue.get(), newSize - size) < 0)
        RaiseError("Failed to malloc muxing queue.");
    }
    TPacketPtr queued = engine_detail::ClonePacketRef(pkt);
    if (queued == nullptr) RaiseError("av_packet_ref() failed.");
    AVPacket* raw = queued.get();
    if (FF().av_fifo_write(ost.muxing_queue.get(), &raw, 1) < 0) RaiseError("Failed to malloc muxing queue.");
    static_cast<void>(queued.release());  // the queue owns it now
    ost.muxing_queue_data_size += raw->size;
    return;
  }

  if ((st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && ost.vsync_method == VSYNC_DROP) ||
      (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && Faudio_sync_method < 0))
    pkt->pts = pkt->dts = AV_NOPTS_VALUE;

  if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
    size_t sdSize = 0;
    const uint8_t* sd = FF().av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &sdSize);
    ost.quality = sd != nullptr ? int(ReadLE32(sd)) : -1;
    ost.pict_type = sd != nullptr ? int(sd[4]) : int(AV_PICTURE_TYPE_NONE);
    for (int i = 0; i < 4; i++)
      ost.error[i] = (sd != nullptr && i < sd[5]) ? int64_t(ReadLE64(sd + 8 + 8 * i)) : -1;
    if (ost.frame_rate.num && ost.is_cfr) {
      if (pkt->duration > 0)
        Log(TLogLevel::llWarning, "Overriding packet duration by frame rate, this should not happen");
      pkt->duration = FF().av_rescale_q(1, av_inv_q(ost.frame_rate), ost.mux_timebase);
    }
  }

  FF().av_packet_rescale_ts(pkt, ost.mux_timebase, ost.st->time_base);

  if (!(s->oformat->flags & AVFMT_NOTIMESTAMPS)) {
    if (pkt->dts != AV_NOPTS_VALUE && pkt->pts != AV_NOPTS_VALUE && pkt->dts > pkt->pts) {
      FF().av_log(s, AV_LOG_WARNING,
                  "Invalid DTS: %" PRId64 " PTS: %" PRId64 " in output stream %d:%d, replacing by guess\n",
                  pkt->dts, pkt->pts, ost.file_index, ost.st->index);
      // The middle of PTS, DTS and the previous DTS + 1; with no previous DTS the guess is the PTS
      // (the smaller of the two), which is what the middle of the three would be.
      pkt->pts = pkt->dts = ost.last_mux_dts == AV_NOPTS_VALUE
                                ? std::min(pkt->pts, pkt->dts)
                                : engine_detail::Median3(pkt->pts, pkt->dts, ost.last_mux_dts + 1);
    }
    const AVMediaType type = st->codecpar->codec_type;
    if ((type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_SUBTITLE) &&
        pkt->dts != AV_NOPTS_VALUE && !(st->codecpar->codec_id == AV_CODEC_ID_VP9 && ost.stream_copy) &&
        ost.last_mux_dts != AV_NOPTS_VALUE) {
      const int64_t max = ost.last_mux_dts + !(s->oformat->flags & AVFMT_TS_NONSTRICT);
      if (pkt->dts < max) {
        const int level = (max - pkt->dts > 2 || type == AVMEDIA_TYPE_VIDEO) ? AV_LOG_WARNING : AV_LOG_DEBUG;
        FF().av_log(s, level,
                    "Non-monotonous DTS in output stream %d:%d; previous: %" PRId64 ", current: %" PRId64
                    "; ",
                    ost.file_index, ost.st->index, ost.last_mux_dts, pkt->dts);
        if (Fexit_on_error) {
          FF().av_log(nullptr, AV_LOG_FATAL, "aborting.\n");
          RaiseErrorFmt("Non-monotonous DTS in output stream %d:%d; previous: %" PRId64 ", current: %" PRId64,
                        ost.file_index, ost.st->index, ost.last_mux_dts, pkt->dts);
        }
        FF().av_log(s, level,
                    "changing to %" PRId64 ". This may result in incorrect timestamps in the output file.\n",
                    max);
        if (pkt->pts >= pkt->dts) pkt->pts = std::max(pkt->pts, max);
        pkt->dts = max;
      }
    }
  }
  ost.last_mux_dts = pkt->dts;
  ost.data_size += uint64_t(pkt->size);
  ost.packets_written++;
  pkt->stream_index = ost.index;

  if (Fdebug_ts)
    Log(TLogLevel::llInfo, "muxer <- type:%s %s size:%d",
        FF().av_get_media_type_string(ost.enc_ctx->codec_type),
        engine_detail::PacketTsFields(pkt, ost.st->time_base).c_str(), pkt->size);

  FLastWrite = Now();
  const int ret = FF().av_interleaved_write_frame(s, pkt);
  if (ret < 0) {
    const std::string msg = FormatAVError("av_interleaved_write_frame()", ret) +
                            ". Please check error log message(reported by FFLogger) to find out more detail "
                            "information.";
    Log(TLogLevel::llError, "%s", msg.c_str());
    // A lost packet makes the file incomplete: the run can no longer finish (disk full and the like).
    if (!FWriteFailed) {
      FWriteFailed = true;
      FWriteError = WithCause(msg);
    }
    close_all_output_streams(ost, MUXER_FINISHED | ENCODER_FINISHED, ENCODER_FINISHED);
  }
  FF().av_packet_unref(pkt);
}

}  // namespace media
