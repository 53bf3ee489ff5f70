// The transcoding main loop: choose the output furthest behind, feed it, report progress; then flush,
// write the trailers and decide whether the run finished. Conversion thread only.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavfilter/buffersrc.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <cstring>

#include "media/engine/custom_ffmpeg.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

void TCustomFFmpeg::NoteLoss(const std::string& reason) {
  if (FLostCount++ == 0) FLostReason = reason;
}

void TCustomFFmpeg::transcode() {
  const int64_t timerStart = Now();
  for (auto& f : Finput_files) {
    if (!f->rate_emu) continue;
    for (int j = 0; j < f->nb_streams; j++) Finput_streams[f->ist_index + j]->start = Now();
  }

  while (!FBroken.load()) {
    WaitAtGate();
    NextStep();
    const int64_t curTime = Now();
    if (!need_output()) {
      Log(TLogLevel::llVerbose, "No more output streams to write to, finishing.");
      break;
    }
    const int ret = transcode_step();
    if (ret < 0 && ret != AVERROR_EOF) {
      const std::string msg = FormatAVError("Error while filtering", ret);
      Log(TLogLevel::llError, "%s", msg.c_str());
      if (!FStepFailed) {
        FStepFailed = true;
        FStepError = WithCause(msg);
      }
      break;
    }
    print_report(false, timerStart, curTime);
  }

  NextStep();
  // Decoders of inputs that did not reach their end (stop, -t): what they hold still goes out.
  for (auto& ist : Finput_streams) {
    if (!Finput_files[ist->file_index]->eof_reached && ist->decoding_needed)
      process_input_packet(*ist, nullptr, false);
  }
  flush_encoders();

  int trailerFailures = 0;
  std::string nothingWritten;
  for (int i = 0; i < int(Foutput_files.size()); i++) {
    TOutputFile& of = *Foutput_files[i];
    FLastWrite = Now();
    if (!of.header_written) {
      const std::string msg = FormatStr(
          "Nothing was written into output file %d (%s), because at least one of its streams received no "
          "packets.",
          i, of.ctx->url);
      Log(TLogLevel::llError, "%s", msg.c_str());
      if (nothingWritten.empty()) nothingWritten = msg;
      continue;
    }
    uint64_t packets = 0;
    for (unsigned j = 0; j < of.ctx->nb_streams; j++)
      packets += Foutput_streams[of.ost_index + int(j)]->packets_written;
    if (packets == 0 && nothingWritten.empty())
      nothingWritten =
          "Output file is empty, nothing was encoded (check -ss / -t / -frames parameters if used)";
    int ret = FF().av_write_trailer(of.ctx.get());
    if (ret < 0) {
      const std::string msg = FormatAVError(FormatStr("Error writing trailer of %s", of.ctx->url), ret);
      Refuse(TLogLevel::llError, msg, ret);
      if (Fexit_on_error) RaiseError(msg);
      trailerFailures++;
    }
  }

  print_report(true, timerStart, Now());

  // Closing flushes the last buffered bytes: a failure there loses the end of the file.
  for (auto& of : Foutput_files) {
    const int ret = CloseOutputFile(of->ctx.get());
    if (ret < 0) {
      const std::string msg = FormatAVError(FormatStr("Error closing output file %s", of->ctx->url), ret);
      Refuse(TLogLevel::llError, msg, ret);
      trailerFailures++;
    }
  }

  Fhw_device_ctx.reset();
  Fhw_devices.clear();

  // Too many undecodable packets: what was written is not the input.
  std::string decodeFailure;
  const uint64_t decodes = Fdecode_error_stat[0] + Fdecode_error_stat[1];
  if (decodes > 0 && double(Fdecode_error_stat[1]) > double(Fmax_error_rate) * double(decodes))
    decodeFailure = FormatStr("Too many decoding errors: %" PRIu64 " frames successfully decoded, %" PRIu64
                              " decoding errors",
                              Fdecode_error_stat[0], Fdecode_error_stat[1]);

  if (!CloseVstatsFile()) NoteLoss("Error closing vstats file, loss of information possible");
  std::string lossFailure;
  if (FLostCount > 0) {
    lossFailure = FormatStr("%" PRId64 " packets or frames were lost: %s", FLostCount, FLostReason.c_str());
    Log(TLogLevel::llError, "%s", lossFailure.c_str());
  }

  const bool stopped = FBroken.load();
  std::string failure;
  if (FWriteFailed)
    failure = FWriteError;
  else if (FStepFailed)
    failure = FStepError;
  else if (trailerFailures > 0)
    failure = WithCause("At least one output file failed to be written trailer");
  else if (!stopped && !decodeFailure.empty())
    failure = decodeFailure;  // also the reason when nothing could be written
  else if (!stopped && !nothingWritten.empty())
    failure = nothingWritten;
  else if (!lossFailure.empty())
    failure = lossFailure;

  FFinished = !stopped && failure.empty();
  transcode_cleanup();
  // The failure holds its cause already: no line noted so far is one (an encoder thread's late
  // line of the end included).
  {
    std::lock_guard lock(FFatalLock);
    FLibraryError.clear();
  }
  if (!failure.empty()) RaiseError(failure);
}

bool TCustomFFmpeg::need_output() {
  for (auto& ost : Foutput_streams) {
    TOutputFile& of = *Foutput_files[ost->file_index];
    AVFormatContext* os = of.ctx.get();
    if (ost->finished) continue;
    if (os->pb != nullptr &&
        uint64_t(std::max<int64_t>(FF().avio_seek(os->pb, 0, SEEK_CUR), 0)) >= of.limit_filesize)
      continue;
    if (ost->frame_number >= ost->max_frames) {
      for (unsigned j = 0; j < os->nb_streams; j++)
        close_output_stream(*Foutput_streams[of.ost_index + int(j)]);
      continue;
    }
    return true;
  }
  return false;
}

TOutputStream* TCustomFFmpeg::choose_output() {
  int64_t optsMin = INT64_MAX;
  TOutputStream* ostMin = nullptr;
  for (auto& ost : Foutput_streams) {
    // The muxer's own cur_dts is private in FFmpeg 5.1: the last DTS we muxed says the same.
    int64_t opts = INT64_MIN;
    if (ost->last_mux_dts != AV_NOPTS_VALUE)
      opts = FF().av_rescale_q(ost->last_mux_dts, ost->st->time_base, AV_TIME_BASE_Q);
    else
      Log(TLogLevel::llDebug,
          "cur_dts is invalid (this is harmless if it occurs once at the start per stream)");
    if (!ost->initialized && !ost->inputs_done) return ost->unavailable ? nullptr : ost.get();
    if (!ost->finished && opts < optsMin) {
      optsMin = opts;
      ostMin = ost->unavailable ? nullptr : ost.get();
    }
  }
  return ostMin;
}

bool TCustomFFmpeg::got_eagain() const {
  for (auto& ost : Foutput_streams)
    if (ost->unavailable) return true;
  return false;
}

void TCustomFFmpeg::reset_eagain() {
  for (auto& f : Finput_files) f->eagain = 0;
  for (auto& ost : Foutput_streams) ost->unavailable = 0;
}

int TCustomFFmpeg::transcode_step() {
  // What the encoder threads finished meanwhile goes to the muxer before the next choice.
  for (auto& encoding : Foutput_streams)
    if (encoding->encoder_thread != nullptr)
      MuxEncoded(*Foutput_files[encoding->file_index], *encoding, false);
  TOutputStream* ost = choose_output();
  if (ost == nullptr) {
    if (got_eagain()) {
      reset_eagain();
      FF().av_usleep(10000);
      return 0;
    }
    Log(TLogLevel::llVerbose, "No more inputs to read from, finishing.");
    return AVERROR_EOF;
  }

  int ret = 0;
  TInputStream* ist = nullptr;
  if (ost->filter != nullptr && ost->filter->graph->graph == nullptr) {
    if (IfilterHasAllInputFormats(*ost->filter->graph)) {
      ret = ConfigureFiltergraph(*ost->filter->graph);
      if (ret < 0) {
        Log(TLogLevel::llError, "Error reinitializing filters!");
        return ret;
      }
    }
  }

  if (ost->filter != nullptr && ost->filter->graph->graph != nullptr) {
    // Audio encoders open now (the sink needs their frame size); video ones with their first
    // frame (reap_filters).
    if (!ost->initialized && ost->enc_ctx->codec_type != AVMEDIA_TYPE_VIDEO)
      init_output_stream_or_raise(*ost);
    if ((ret = transcode_from_filter(*ost->filter->graph, &ist)) < 0) return ret;
    if (ist == nullptr) return 0;
  } else if (ost->filter != nullptr) {
    for (auto& ifilter : ost->filter->graph->inputs) {
      if (!ifilter->ist->got_output && !Finput_files[ifilter->ist->file_index]->eof_reached) {
        ist = ifilter->ist;
        break;
      }
    }
    if (ist == nullptr) {
      ost->inputs_done = 1;
      return 0;
    }
  } else {
    if (ost->source_index < 0) RaiseError("Never occur");
    ist = Finput_streams[ost->source_index].get();
  }

  ret = process_input(ist->file_index);
  if (ret == AVERROR(EAGAIN)) {
    if (Finput_files[ist->file_index]->eagain) ost->unavailable = 1;
    return 0;
  }
  if (ret < 0) return ret == AVERROR_EOF ? 0 : ret;
  return reap_filters(false);
}

int TCustomFFmpeg::transcode_from_filter(TFilterGraph& graph, TInputStream** bestIst) {
  int ret = FF().avfilter_graph_request_oldest(graph.graph.get());
  if (ret >= 0) return reap_filters(false);
  if (ret == AVERROR_EOF) {
    ret = reap_filters(true);
    for (auto& ofilter : graph.outputs)
      if (ofilter->ost != nullptr) close_output_stream(*ofilter->ost);
    return ret;
  }
  if (ret != AVERROR(EAGAIN)) return ret;

  *bestIst = nullptr;
  unsigned nbRequestsMax = 0;
  for (auto& ifilter : graph.inputs) {
    TInputStream* ist = ifilter->ist;
    const TInputFile& f = *Finput_files[ist->file_index];
    if (f.eagain || f.eof_reached) continue;
    const unsigned nbRequests = FF().av_buffersrc_get_nb_failed_requests(ifilter->filter);
    if (nbRequests > nbRequestsMax) {
      nbRequestsMax = nbRequests;
      *bestIst = ist;
    }
  }
  if (*bestIst == nullptr)
    for (auto& ofilter : graph.outputs)
      if (ofilter->ost != nullptr) ofilter->ost->unavailable = 1;
  return 0;
}

int TCustomFFmpeg::get_input_packet(TInputFile& f, AVPacket* pkt) {
  if (f.rate_emu) {
    for (int i = 0; i < f.nb_streams; i++) {
      const TInputStream& ist = *Finput_streams[f.ist_index + i];
      const int64_t pts = FF().av_rescale(ist.dts, 1000000, AV_TIME_BASE);
      // Time spent paused is not input time; "-readrate" reads that many times as fast.
      const int64_t now = int64_t(double(Now() - ist.start - FTotalPauseTime.load()) * f.readrate);
      if (pts > now) return AVERROR(EAGAIN);
    }
  }
  return FF().av_read_frame(f.ctx.get(), pkt);
}

int TCustomFFmpeg::seek_to_start(TInputFile& ifile, AVFormatContext* is) {
  int ret = FF().av_seek_frame(is, -1, is->start_time, 0);
  if (ret < 0) return ret;
  bool hasAudio = false;
  for (int i = 0; i < ifile.nb_streams; i++) {
    TInputStream& ist = *Finput_streams[ifile.ist_index + i];
    if (ist.decoding_needed) {
      process_input_packet(ist, nullptr, true);
      FF().avcodec_flush_buffers(ist.dec_ctx.get());
    }
    if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && ist.nb_samples) hasAudio = true;
  }
  for (int i = 0; i < ifile.nb_streams; i++) {
    TInputStream& ist = *Finput_streams[ifile.ist_index + i];
    const AVCodecContext* avctx = ist.dec_ctx.get();
    int64_t duration = 0;
    if (hasAudio) {
      if (avctx->codec_type != AVMEDIA_TYPE_AUDIO || !ist.nb_samples) continue;
      duration = FF().av_rescale_q(ist.nb_samples, AVRational{1, avctx->sample_rate}, ist.st->time_base);
    } else {
      if (ist.framerate.num)
        duration = FF().av_rescale_q(1, av_inv_q(ist.framerate), ist.st->time_base);
      else if (ist.st->avg_frame_rate.num)
        duration = FF().av_rescale_q(1, av_inv_q(ist.st->avg_frame_rate), ist.st->time_base);
      else
        duration = 1;
    }
    if (!ifile.duration) ifile.time_base = ist.st->time_base;
    // The time stamps of the pass just read span max_pts - min_pts, plus the last frame.
    if (ist.max_pts > ist.min_pts) duration += ist.max_pts - ist.min_pts;
    if (!ifile.duration ||
        FF().av_compare_ts(ifile.duration, ifile.time_base, duration, ist.st->time_base) < 0) {
      ifile.duration = duration;
      ifile.time_base = ist.st->time_base;
    }
  }
  if (ifile.loop > 0) ifile.loop--;
  return ret;
}

// A read that ended the input: a read error is reported, the decoders are drained (one frame per
// call, so the filters see each of them) and the streams copied from this input are finished.
// Returns 0 while a decoder still gave a frame, else EAGAIN with the input marked as ended.
int TCustomFFmpeg::finish_input(TInputFile& ifile, int ret) {
  AVFormatContext* is = ifile.ctx.get();
  if (ret != AVERROR_EOF) {
    const std::string msg = FormatAVError(is->url, ret);
    if (Fexit_on_error) RaiseError(msg);
    Log(TLogLevel::llError, "%s", msg.c_str());
    // A read error (a time-out included) is not the end of the input: the output is incomplete.
    // A stop request interrupts the read the same way and is no failure.
    if (!FBroken.load() && !FStepFailed) {
      FStepFailed = true;
      FStepError = WithCause(msg);
    }
  }
  for (int i = 0; i < ifile.nb_streams; i++) {
    TInputStream& ist = *Finput_streams[ifile.ist_index + i];
    if (ist.decoding_needed) {
      ret = process_input_packet(ist, nullptr, false);
      if (ret > 0) return 0;
    }
    for (auto& ost : Foutput_streams) {
      if (ost->source_index == ifile.ist_index + i &&
          (ost->stream_copy || (ost->enc != nullptr && ost->enc->type == AVMEDIA_TYPE_SUBTITLE)))
        finish_output_stream(*ost);
    }
  }
  ifile.eof_reached = 1;
  return AVERROR(EAGAIN);
}

// Time stamps of a stream with fewer than 64 bits wrap around; a packet whose stamp lies more than
// half the range above the start time is taken as from before the wrap.
void TCustomFFmpeg::correct_pts_wrap(TInputFile& ifile, TInputStream& ist, AVPacket* pkt) {
  AVFormatContext* is = ifile.ctx.get();
  if (ist.wrap_correction_done || is->start_time == AV_NOPTS_VALUE || ist.st->pts_wrap_bits >= 64) return;
  // The start time is corrected from the streams actually used, which are known only now.
  if (ist.next_dts == AV_NOPTS_VALUE && ifile.ts_offset == -is->start_time &&
      (is->iformat->flags & AVFMT_TS_DISCONT)) {
    int64_t newStartTime = INT64_MAX;
    for (unsigned i = 0; i < is->nb_streams; i++) {
      const AVStream* st = is->streams[i];
      if (st->discard == AVDISCARD_ALL || st->start_time == AV_NOPTS_VALUE) continue;
      newStartTime = std::min(newStartTime, FF().av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q));
    }
    if (newStartTime > is->start_time) {
      FF().av_log(is, AV_LOG_VERBOSE, "Correcting start time by %" PRId64 "\n",
                  newStartTime - is->start_time);
      ifile.ts_offset = -newStartTime;
    }
  }
  const int64_t stime = FF().av_rescale_q(is->start_time, AV_TIME_BASE_Q, ist.st->time_base);
  const int64_t wrap = int64_t(1ULL << ist.st->pts_wrap_bits);
  const int64_t stime2 = stime + wrap;
  ist.wrap_correction_done = 1;
  const int64_t half = int64_t(1ULL << (ist.st->pts_wrap_bits - 1));
  if (stime2 > stime && pkt->dts != AV_NOPTS_VALUE && pkt->dts > stime + half) {
    pkt->dts -= wrap;
    ist.wrap_correction_done = 0;  // keep correcting the following packets
  }
  if (stime2 > stime && pkt->pts != AV_NOPTS_VALUE && pkt->pts > stime + half) {
    pkt->pts -= wrap;
    ist.wrap_correction_done = 0;
  }
}

// The stream-global side data travels with the first packet of the stream.
void TCustomFFmpeg::add_stream_side_data(TInputStream& ist, AVPacket* pkt) {
  if (ist.nb_packets != 1) return;
  for (int i = 0; i < ist.st->nb_side_data; i++) {
    const AVPacketSideData* srcSd = &ist.st->side_data[i];
    if (srcSd->type == AV_PKT_DATA_DISPLAYMATRIX) continue;
    if (FF().av_packet_get_side_data(pkt, srcSd->type, nullptr) != nullptr) continue;
    uint8_t* dst = FF().av_packet_new_side_data(pkt, srcSd->type, srcSd->size);
    if (dst == nullptr) RaiseError("av_packet_new_side_data() failed");
    std::memcpy(dst, srcSd->data, srcSd->size);
  }
}

// The input's offset and scale applied to a packet's stamps, the loop's duration added, and
// discontinuities handled: absorbed into the offset for formats that allow them, else stamps too
// far from the expected ones are dropped.
void TCustomFFmpeg::fix_packet_timestamps(TInputFile& ifile, TInputStream& ist, AVPacket* pkt) {
  AVFormatContext* is = ifile.ctx.get();
  const AVMediaType type = ist.dec_ctx->codec_type;
  if (pkt->dts != AV_NOPTS_VALUE)
    pkt->dts += FF().av_rescale_q(ifile.ts_offset, AV_TIME_BASE_Q, ist.st->time_base);
  if (pkt->pts != AV_NOPTS_VALUE)
    pkt->pts += FF().av_rescale_q(ifile.ts_offset, AV_TIME_BASE_Q, ist.st->time_base);
  if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = int64_t(double(pkt->pts) * ist.ts_scale);
  if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = int64_t(double(pkt->dts) * ist.ts_scale);

  const AVRounding rnd = AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);
  const int64_t deltaThreshold = int64_t(double(Fdts_delta_threshold) * AV_TIME_BASE);
  const int64_t errorThreshold = int64_t(double(Fdts_error_threshold) * AV_TIME_BASE);
  const bool av = type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO;
  int64_t pktDts = FF().av_rescale_q_rnd(pkt->dts, ist.st->time_base, AV_TIME_BASE_Q, rnd);
  if (av && pktDts != AV_NOPTS_VALUE && ist.next_dts == AV_NOPTS_VALUE && !Fcopy_ts &&
      (is->iformat->flags & AVFMT_TS_DISCONT) && ifile.last_ts != AV_NOPTS_VALUE) {
    const int64_t delta = pktDts - ifile.last_ts;
    if (delta < -deltaThreshold || delta > deltaThreshold) {
      ifile.ts_offset -= delta;
      Log(TLogLevel::llDebug, "Inter stream timestamp discontinuity %" PRId64 ", new offset= %" PRId64, delta,
          ifile.ts_offset);
      pkt->dts -= FF().av_rescale_q(delta, AV_TIME_BASE_Q, ist.st->time_base);
      if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= FF().av_rescale_q(delta, AV_TIME_BASE_Q, ist.st->time_base);
    }
  }

  const int64_t loopDuration = FF().av_rescale_q(ifile.duration, ifile.time_base, ist.st->time_base);
  if (pkt->pts != AV_NOPTS_VALUE) {
    pkt->pts += loopDuration;
    ist.max_pts = std::max(pkt->pts, ist.max_pts);
    ist.min_pts = std::min(pkt->pts, ist.min_pts);
  }
  if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += loopDuration;

  pktDts = FF().av_rescale_q_rnd(pkt->dts, ist.st->time_base, AV_TIME_BASE_Q, rnd);
  if (av && pktDts != AV_NOPTS_VALUE && ist.next_dts != AV_NOPTS_VALUE && !Fcopy_ts) {
    int64_t delta = pktDts - ist.next_dts;
    if (is->iformat->flags & AVFMT_TS_DISCONT) {
      if (delta < -deltaThreshold || delta > deltaThreshold ||
          pktDts + AV_TIME_BASE / 10 < std::max(ist.pts, ist.dts)) {
        ifile.ts_offset -= delta;
        Log(TLogLevel::llDebug, "timestamp discontinuity %" PRId64 ", new offset= %" PRId64, delta,
            ifile.ts_offset);
        pkt->dts -= FF().av_rescale_q(delta, AV_TIME_BASE_Q, ist.st->time_base);
        if (pkt->pts != AV_NOPTS_VALUE)
          pkt->pts -= FF().av_rescale_q(delta, AV_TIME_BASE_Q, ist.st->time_base);
      }
    } else {
      if (delta < -errorThreshold || delta > errorThreshold) {
        Log(TLogLevel::llWarning, "DTS %" PRId64 ", next:%" PRId64 " st:%d invalid dropping", pkt->dts,
            ist.next_dts, pkt->stream_index);
        pkt->dts = AV_NOPTS_VALUE;
      }
      if (pkt->pts != AV_NOPTS_VALUE) {
        const int64_t pktPts = FF().av_rescale_q(pkt->pts, ist.st->time_base, AV_TIME_BASE_Q);
        delta = pktPts - ist.next_dts;
        if (delta < -errorThreshold || delta > errorThreshold) {
          Log(TLogLevel::llWarning, "PTS %" PRId64 ", next:%" PRId64 " invalid dropping st:%d", pkt->pts,
              ist.next_dts, pkt->stream_index);
          pkt->pts = AV_NOPTS_VALUE;
        }
      }
    }
  }
  if (pkt->dts != AV_NOPTS_VALUE) {
    ifile.last_ts = FF().av_rescale_q(pkt->dts, ist.st->time_base, AV_TIME_BASE_Q);
    if (ist.first_dts == AV_NOPTS_VALUE) ist.first_dts = pkt->dts;
  }
}

int TCustomFFmpeg::process_input(int fileIndex) {
  TInputFile& ifile = *Finput_files[fileIndex];
  AVFormatContext* is = ifile.ctx.get();
  AVPacket* pkt = FDemuxPacket.get();

  FLastRead = Now();
  int ret = get_input_packet(ifile, pkt);
  if (ret == AVERROR(EAGAIN)) {
    ifile.eagain = 1;
    return ret;
  }
  if (ret < 0 && ifile.loop) {
    // Drain the decoders before going back: frame-threaded decoders hold several pictures, and
    // the filters must see each of them (one per call, like the drain at the end of the input).
    for (int i = 0; i < ifile.nb_streams; i++) {
      TInputStream& ist = *Finput_streams[ifile.ist_index + i];
      if (ist.decoding_needed && process_input_packet(ist, nullptr, true) > 0) return 0;
    }
    ret = seek_to_start(ifile, is);
    if (ret < 0) return ret;
    ret = get_input_packet(ifile, pkt);
    if (ret == AVERROR(EAGAIN)) {
      ifile.eagain = 1;
      return ret;
    }
  }
  if (ret < 0) return finish_input(ifile, ret);

  reset_eagain();
  if (Fdo_pkt_dump)
    FF().av_pkt_dump_log2(nullptr, AV_LOG_INFO, pkt, Fdo_hex_dump, is->streams[pkt->stream_index]);

  // A stream that appeared after the file was opened has no record: report it once and drop it.
  if (pkt->stream_index >= ifile.nb_streams) {
    if (pkt->stream_index >= ifile.nb_streams_warn) {
      const AVStream* st = is->streams[pkt->stream_index];
      FF().av_log(is, AV_LOG_WARNING, "New %s stream %d:%d at pos:%" PRId64 " and DTS:%ss\n",
                  FF().av_get_media_type_string(st->codecpar->codec_type), fileIndex, pkt->stream_index,
                  pkt->pos, engine_detail::TsToTimeStr(pkt->dts, st->time_base).c_str());
      ifile.nb_streams_warn = pkt->stream_index + 1;
    }
    FF().av_packet_unref(pkt);
    return 0;
  }

  TInputStream& ist = *Finput_streams[ifile.ist_index + pkt->stream_index];
  ist.data_size += uint64_t(pkt->size);
  ist.nb_packets++;
  if (ist.discard) {
    FF().av_packet_unref(pkt);
    return 0;
  }
  if (pkt->flags & AV_PKT_FLAG_CORRUPT) {
    if (Fexit_on_error) RaiseErrorFmt("%s: corrupt input packet in stream %d", is->url, pkt->stream_index);
    Log(TLogLevel::llWarning, "%s: corrupt input packet in stream %d", is->url, pkt->stream_index);
  }

  const AVMediaType type = ist.dec_ctx->codec_type;
  if (Fdebug_ts)
    Log(TLogLevel::llInfo, "demuxer -> ist_index:%d type:%s %s %s %s %s", ifile.ist_index + pkt->stream_index,
        FF().av_get_media_type_string(type),
        engine_detail::TsFields("next_dts", ist.next_dts, AV_TIME_BASE_Q).c_str(),
        engine_detail::TsFields("next_pts", ist.next_pts, AV_TIME_BASE_Q).c_str(),
        engine_detail::PacketTsFields(pkt, ist.st->time_base).c_str(),
        engine_detail::TsFields("off", ifile.ts_offset, AV_TIME_BASE_Q).c_str());

  correct_pts_wrap(ifile, ist, pkt);
  add_stream_side_data(ist, pkt);
  fix_packet_timestamps(ifile, ist, pkt);

  if (Fdebug_ts)
    Log(TLogLevel::llInfo, "demuxer+ffencoder -> ist_index:%d type:%s %s %s",
        ifile.ist_index + pkt->stream_index, FF().av_get_media_type_string(type),
        engine_detail::PacketTsFields(pkt, ist.st->time_base).c_str(),
        engine_detail::TsFields("off", ifile.ts_offset, AV_TIME_BASE_Q).c_str());

  Sub2VideoHeartbeat(ist, pkt->pts);
  process_input_packet(ist, pkt, false);
  FF().av_packet_unref(pkt);
  return 0;
}

void TCustomFFmpeg::flush_encoders() {
  for (auto& ostPtr : Foutput_streams) {
    TOutputStream& ost = *ostPtr;
    AVCodecContext* enc = ost.enc_ctx.get();
    TOutputFile& of = *Foutput_files[ost.file_index];
    if (ost.encoder_thread != nullptr) {
      // Every frame sent is encoded and muxed; the encoder is this thread's again for its flush.
      MuxEncoded(of, ost, true);
      ost.encoder_thread.reset();
    }
    if (!ost.encoding_needed) continue;

    // Open the encoder even without frames, so the file still gets a valid stream.
    if (!ost.initialized) {
      Log(TLogLevel::llWarning, "Finishing stream %d:%d without any data written to it.", ost.file_index,
          ost.st->index);
      if (ost.filter != nullptr && ost.filter->graph->graph == nullptr) {
        TFilterGraph& fg = *ost.filter->graph;
        for (auto& ifilter : fg.inputs)
          if (ifilter->format < 0) IfilterParametersFromCodecpar(*ifilter, ifilter->ist->st->codecpar);
        if (!IfilterHasAllInputFormats(fg)) continue;
        if (ConfigureFiltergraph(fg) < 0) {
          Log(TLogLevel::llError, "Error configuring filter graph");
          RaiseError("Error configuring filter graph");
        }
        finish_output_stream(ost);
      }
      init_output_stream_or_raise(ost);
    }

    // PCM-like encoders (one sample per frame) hold nothing back.
    if (enc->codec_type == AVMEDIA_TYPE_AUDIO && enc->frame_size <= 1) continue;
    if (enc->codec_type != AVMEDIA_TYPE_VIDEO && enc->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    const char* desc = enc->codec_type == AVMEDIA_TYPE_AUDIO ? "audio" : "video";

    AVPacket* pkt = FEncodePacket.get();
    for (;;) {
      int ret = 0;
      while ((ret = FF().avcodec_receive_packet(enc, pkt)) == AVERROR(EAGAIN)) {
        ret = FF().avcodec_send_frame(enc, nullptr);
        if (ret < 0) RaiseErrorFmt("%s encoding failed: %s", desc, FormatAVError(ret).c_str());
      }
      if (ret < 0 && ret != AVERROR_EOF)
        RaiseErrorFmt("%s encoding failed: %s", desc, FormatAVError(ret).c_str());
      if (ost.logfile != nullptr && enc->stats_out != nullptr)
        std::fprintf(ost.logfile.get(), "%s", enc->stats_out);
      if (ret == AVERROR_EOF) {
        output_packet(of, pkt, ost, true);
        break;
      }
      if (ost.finished & MUXER_FINISHED) {
        FF().av_packet_unref(pkt);
        continue;
      }
      FF().av_packet_rescale_ts(pkt, enc->time_base, ost.mux_timebase);
      const int packetSize = pkt->size;
      output_packet(of, pkt, ost, false);
      if (enc->codec_type == AVMEDIA_TYPE_VIDEO && !Fvstats_filename.empty()) do_video_stats(ost, packetSize);
    }
  }
}

// With -shortest, a stream that ends sets the file's end to its own: the other streams stop
// there (and are still drained up to it), as FFmpeg 5.1's tool does. A copied stream counts its
// time in the muxer's time base, an encoded one in its encoder's.
void TCustomFFmpeg::ShortenToStreamEnd(TOutputStream& ost) {
  TOutputFile& of = *Foutput_files[ost.file_index];
  if (!of.shortest) return;
  const AVRational timeBase = ost.stream_copy ? ost.mux_timebase : ost.enc_ctx->time_base;
  const int64_t end = FF().av_rescale_q(ost.sync_opts - ost.first_pts, timeBase, AV_TIME_BASE_Q);
  of.recording_time = std::min(of.recording_time, end);
}

void TCustomFFmpeg::close_output_stream(TOutputStream& ost) {
  ost.finished |= ENCODER_FINISHED;
  ShortenToStreamEnd(ost);
}

void TCustomFFmpeg::finish_output_stream(TOutputStream& ost) {
  ost.finished = ENCODER_FINISHED | MUXER_FINISHED;
  ShortenToStreamEnd(ost);
}

bool TCustomFFmpeg::check_recording_time(TOutputStream& ost) {
  const TOutputFile& of = *Foutput_files[ost.file_index];
  if (of.recording_time != INT64_MAX &&
      FF().av_compare_ts(ost.sync_opts - ost.first_pts, ost.enc_ctx->time_base, of.recording_time,
                         AV_TIME_BASE_Q) >= 0) {
    close_output_stream(ost);
    return false;
  }
  return true;
}

}  // namespace media
