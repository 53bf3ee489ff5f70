// The progress report: the progress line, the "-progress" key=value block and OnProgress; the final
// statistics. Conversion thread only.

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/engine/custom_ffmpeg.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

namespace {

// The PSNR of each plane and of the whole picture: of the last frame, or over the whole run in the
// last report.
void AppendPsnr(std::string& buf, std::string& script, const TOutputStream& ost, const AVCodecContext* enc,
                int frameNumber, bool isLastReport) {
  double error = 0;
  double errorSum = 0;
  double scale = 0;
  double scaleSum = 0;
  const char type[3] = {'Y', 'U', 'V'};
  buf += "PSNR=";
  for (int j = 0; j < 3; j++) {
    if (isLastReport) {
      error = double(enc->error[j]);
      scale = double(enc->width) * enc->height * 255.0 * 255.0 * frameNumber;
    } else {
      error = double(ost.error[j]);
      scale = double(enc->width) * enc->height * 255.0 * 255.0;
    }
    if (j) scale /= 4;
    errorSum += error;
    scaleSum += scale;
    const double p = -10.0 * std::log10(error / scale);
    buf += FormatStr("%c:%2.2f ", type[j], p);
    script += FormatStr("stream_%d_%d_psnr_%c=%2.2f\n", ost.file_index, ost.index, type[j] | 32, p);
  }
  const double p = -10.0 * std::log10(errorSum / scaleSum);
  buf += FormatStr("*:%2.2f ", p);
  script += FormatStr("stream_%d_%d_psnr_all=%2.2f\n", ost.file_index, ost.index, p);
}

// Size, time and bitrate of the output so far; returns the bitrate in kbit/s, -1 when unknown.
double AppendTimeAndBitrate(std::string& buf, std::string& script, int64_t pts, int64_t totalSize) {
  const int64_t absPts = std::llabs(pts);
  const int secs = int(absPts / AV_TIME_BASE);
  const int us = int(absPts % AV_TIME_BASE);
  const int mins = secs / 60;
  const int hours = mins / 60;
  // Floating point: a report after less than a millisecond of output must not divide by zero.
  const double bitrate = (pts != 0 && totalSize >= 0) ? double(totalSize) * 8.0 / (double(pts) / 1000.0) : -1;

  if (totalSize < 0)
    buf += "size=N/A time=";
  else
    buf += FormatStr("size=%8.0fkB time=", double(totalSize) / 1024.0);
  if (pts < 0) buf += "-";
  buf += FormatStr("%02d:%02d:%02d.%03d ", hours, mins % 60, secs % 60, us / 1000);
  if (bitrate < 0) {
    buf += "bitrate=N/A";
    script += "bitrate=N/A\n";
  } else {
    buf += FormatStr("bitrate=%6.1fkbits/s", bitrate);
    script += FormatStr("bitrate=%6.1fkbits/s\n", bitrate);
  }
  if (totalSize < 0)
    script += "total_size=N/A\n";
  else
    script += FormatStr("total_size=%" PRId64 "\n", totalSize);
  // out_time_ms has always held microseconds too; out_time_us is the name that says so.
  script += FormatStr("out_time_us=%" PRId64 "\n", pts);
  script += FormatStr("out_time_ms=%" PRId64 "\n", pts);
  script +=
      FormatStr("out_time=%s%02d:%02d:%02d.%06d\n", pts < 0 ? "-" : "", hours, mins % 60, secs % 60, us);
  return bitrate;
}

}  // namespace

// The "-progress" block of one report; the last one ends with progress=end and closes the output.
void TCustomFFmpeg::WriteProgressScript(std::string& script, bool isLastReport) {
  script += FormatStr("progress=%s\n", isLastReport ? "end" : "continue");
  FF().avio_write(Fprogress_avio.get(), reinterpret_cast<const unsigned char*>(script.data()), int(script.size()));
  FF().avio_flush(Fprogress_avio.get());
  if (isLastReport) {
    const int ret = CloseIONow(Fprogress_avio);
    if (ret < 0)
      Log(TLogLevel::llError, "%s",
          FormatAVError("Error closing progress log, loss of information possible", ret).c_str());
  }
}

void TCustomFFmpeg::print_report(bool isLastReport, int64_t timerStart, int64_t curTime) {
  if (!Fprint_stats && !isLastReport && Fprogress_avio == nullptr && !OnProgress) return;
  if (!isLastReport) {
    if (Flast_time == -1) {
      // The first call only starts the interval.
      Flast_time = curTime;
      return;
    }
    if (curTime - Flast_time < (Fstats_period > 0 ? Fstats_period : FReportInterval.load())) return;
    Flast_time = curTime;
  }

  const float t = float(curTime - timerStart) / 1000000.0f;
  AVFormatContext* oc = Foutput_files.empty() ? nullptr : Foutput_files[0]->ctx.get();
  int64_t totalSize = -1;
  if (oc != nullptr && oc->pb != nullptr) {
    totalSize = FF().avio_size(oc->pb);
    if (totalSize <= 0) totalSize = FF().avio_seek(oc->pb, 0, SEEK_CUR);
  }

  std::string buf;
  std::string script;
  int frameNumber = -1;
  float fps = -1;
  float q = -1;
  bool videoSeen = false;
  int64_t pts = INT64_MIN + 1;
  int64_t currentDuration = 0;

  for (auto& ostPtr : Foutput_streams) {
    TOutputStream& ost = *ostPtr;
    const AVCodecContext* enc = ost.enc_ctx.get();
    q = ost.stream_copy ? -1.0f : float(ost.quality) / float(FF_QP2LAMBDA);
    if (videoSeen && enc->codec_type == AVMEDIA_TYPE_VIDEO) {
      buf += FormatStr("q=%2.1f ", double(q));
      script += FormatStr("stream_%d_%d_q=%.1f\n", ost.file_index, ost.index, double(q));
    }
    if (!videoSeen && enc->codec_type == AVMEDIA_TYPE_VIDEO) {
      frameNumber = ost.frame_number;
      fps = t > 1 ? float(frameNumber) / t : 0;
      buf +=
          FormatStr("frame=%5d fps=%3.*f q=%3.1f ", frameNumber, fps < 9.95f ? 1 : 0, double(fps), double(q));
      script += FormatStr("frame=%d\n", frameNumber);
      script += FormatStr("fps=%.2f\n", double(fps));
      script += FormatStr("stream_%d_%d_q=%.1f\n", ost.file_index, ost.index, double(q));
      if (isLastReport) buf += "L";
      if (Fqp_hist) {
        const int qp = int(std::lrint(q));
        if (qp >= 0 && qp < 52) Fqp_histogram[qp]++;
        for (int j = 0; j < 32; j++)
          buf += FormatStr("%X", engine_detail::Log2(unsigned(Fqp_histogram[j] + 1)));
      }
      if ((enc->flags & AV_CODEC_FLAG_PSNR) && (ost.pict_type != AV_PICTURE_TYPE_NONE || isLastReport))
        AppendPsnr(buf, script, ost, enc, frameNumber, isLastReport);
      videoSeen = true;
    }
    // The end time stamp the muxer has seen for this stream.
    if (FF().av_stream_get_end_pts(ost.st) != AV_NOPTS_VALUE) {
      const int64_t endPts =
          FF().av_rescale_q(FF().av_stream_get_end_pts(ost.st), ost.st->time_base, AV_TIME_BASE_Q);
      pts = std::max(pts, endPts);
      currentDuration = std::max(currentDuration, endPts);
    }
  }

  const double bitrate = AppendTimeAndBitrate(buf, script, pts, totalSize);
  const double speed = t != 0 ? double(pts) / AV_TIME_BASE / double(t) : -1;

  if (Fnb_frames_dup || Fnb_frames_drop) buf += FormatStr(" dup=%d drop=%d", Fnb_frames_dup, Fnb_frames_drop);
  if (FShowDupOrDrop && OnProgress) {
    FShowDupOrDrop = false;
    Log(TLogLevel::llInfo, "%s", buf.c_str());
  }
  script += FormatStr("dup_frames=%d\n", Fnb_frames_dup);
  script += FormatStr("drop_frames=%d\n", Fnb_frames_drop);
  if (speed < 0) {
    buf += " speed=N/A";
    script += "speed=N/A\n";
  } else {
    buf += FormatStr(" speed=%4.3gx", speed);
    script += FormatStr("speed=%4.3gx\n", speed);
  }

  if (OnProgress) {
    TFFProgress progress;
    progress.FileIndex = -1;
    progress.FrameNumber = videoSeen ? frameNumber : -1;
    progress.FPS = videoSeen ? int(std::lrint(fps)) : -1;
    progress.Quality = q;
    progress.BitRate = float(bitrate);
    progress.CurrentSize = totalSize < 0 ? 0 : totalSize;
    progress.CurrentDuration = currentDuration;
    progress.TotalDuration = FOutputDuration;
    OnProgress(this, progress);
  }
  if ((Fprint_stats && !OnProgress) || isLastReport) Log(TLogLevel::llInfo, "%s", buf.c_str());

  if (Fprogress_avio != nullptr) WriteProgressScript(script, isLastReport);
  if (isLastReport) print_final_stats(totalSize);
}

void TCustomFFmpeg::print_final_stats(int64_t totalSize) {
  uint64_t videoSize = 0, audioSize = 0, extraSize = 0, otherSize = 0, subtitleSize = 0, dataSize = 0;
  bool pass1Used = true;
  for (auto& ost : Foutput_streams) {
    switch (ost->enc_ctx->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        videoSize += ost->data_size;
        break;
      case AVMEDIA_TYPE_AUDIO:
        audioSize += ost->data_size;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        subtitleSize += ost->data_size;
        break;
      default:
        otherSize += ost->data_size;
        break;
    }
    extraSize += uint64_t(std::max(ost->enc_ctx->extradata_size, 0));
    dataSize += ost->data_size;
    if ((ost->enc_ctx->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) != AV_CODEC_FLAG_PASS1)
      pass1Used = false;
  }
  std::string overhead = "unknown";
  if (dataSize && totalSize > 0 && uint64_t(totalSize) >= dataSize)
    overhead = FormatStr("%f%%", 100.0 * double(uint64_t(totalSize) - dataSize) / double(dataSize));
  Log(TLogLevel::llInfo,
      "video:%1.0fkB audio:%1.0fkB subtitle:%1.0fkB other streams:%1.0fkB global headers:%1.0fkB muxing "
      "overhead: %s",
      double(videoSize) / 1024.0, double(audioSize) / 1024.0, double(subtitleSize) / 1024.0,
      double(otherSize) / 1024.0, double(extraSize) / 1024.0, overhead.c_str());

  for (int i = 0; i < int(Finput_files.size()); i++) {
    const TInputFile& f = *Finput_files[i];
    uint64_t totalPackets = 0, totalSizeIn = 0;
    Log(TLogLevel::llVerbose, "Input file #%d (%s):", i, f.ctx->url);
    for (int j = 0; j < f.nb_streams; j++) {
      const TInputStream& ist = *Finput_streams[f.ist_index + j];
      const AVMediaType type = ist.dec_ctx->codec_type;
      totalSizeIn += ist.data_size;
      totalPackets += ist.nb_packets;
      std::string line =
          FormatStr("  Input stream #%d:%d (%s): %" PRIu64 " packets read (%" PRIu64 " bytes); ", i, j,
                    FF().av_get_media_type_string(type), ist.nb_packets, ist.data_size);
      if (ist.decoding_needed) {
        line += FormatStr("%" PRIu64 " frames decoded", ist.frames_decoded);
        if (type == AVMEDIA_TYPE_AUDIO) line += FormatStr(" (%" PRIu64 " samples)", ist.samples_decoded);
        line += "; ";
      }
      Log(TLogLevel::llVerbose, "%s", line.c_str());
    }
    Log(TLogLevel::llVerbose, "  Total: %" PRIu64 " packets (%" PRIu64 " bytes) demuxed", totalPackets,
        totalSizeIn);
  }
  for (int i = 0; i < int(Foutput_files.size()); i++) {
    const TOutputFile& of = *Foutput_files[i];
    uint64_t totalPackets = 0, totalSizeOut = 0;
    Log(TLogLevel::llVerbose, "Output file #%d (%s):", i, of.ctx->url);
    for (unsigned j = 0; j < of.ctx->nb_streams; j++) {
      const TOutputStream& ost = *Foutput_streams[of.ost_index + int(j)];
      const AVMediaType type = ost.enc_ctx->codec_type;
      totalSizeOut += ost.data_size;
      totalPackets += ost.packets_written;
      std::string line =
          FormatStr("  Output stream #%d:%u (%s): ", i, j, FF().av_get_media_type_string(type));
      if (ost.encoding_needed) {
        line += FormatStr("%" PRIu64 " frames encoded", ost.frames_encoded);
        if (type == AVMEDIA_TYPE_AUDIO) line += FormatStr(" (%" PRIu64 " samples)", ost.samples_encoded);
        line += "; ";
      }
      line +=
          FormatStr("%" PRIu64 " packets muxed (%" PRIu64 " bytes); ", ost.packets_written, ost.data_size);
      Log(TLogLevel::llVerbose, "%s", line.c_str());
    }
    Log(TLogLevel::llVerbose, "  Total: %" PRIu64 " packets (%" PRIu64 " bytes) muxed", totalPackets,
        totalSizeOut);
  }
  if (videoSize + dataSize + audioSize + subtitleSize + extraSize == 0) {
    Log(TLogLevel::llWarning, "Output file is empty, nothing was encoded%s",
        pass1Used ? "" : " (check -ss / -t / -frames parameters if used)");
  }
  Log(TLogLevel::llInfo, "%" PRIu64 " frames successfully decoded, %" PRIu64 " decoding errors",
      Fdecode_error_stat[0], Fdecode_error_stat[1]);
}

void TCustomFFmpeg::do_video_stats(TOutputStream& ost, int frameSize) {
  if (Fvstats_file == nullptr) {
    Fvstats_file.reset(std::fopen(Fvstats_filename.c_str(), "w"));
    if (Fvstats_file == nullptr) RaiseError("fopen() failed: " + Fvstats_filename);
  }
  const AVCodecContext* enc = ost.enc_ctx.get();
  if (enc->codec_type != AVMEDIA_TYPE_VIDEO) return;
  const int frameNumber = ost.st->nb_frames > 0 ? int(ost.st->nb_frames) : ost.frame_number;
  if (Fvstats_version > 1)
    std::fprintf(Fvstats_file.get(), "out= %2d st= %2d frame= %5d q= %2.1f ", ost.file_index, ost.index,
                 frameNumber, double(ost.quality) / double(FF_QP2LAMBDA));
  else
    std::fprintf(Fvstats_file.get(), "frame= %5d q= %2.1f ", frameNumber,
                 double(ost.quality) / double(FF_QP2LAMBDA));
  if (ost.error[0] >= 0 && (enc->flags & AV_CODEC_FLAG_PSNR))
    std::fprintf(
        Fvstats_file.get(), "PSNR= %6.2f ",
        -10.0 * std::log10(double(ost.error[0]) / (double(enc->width) * enc->height * 255.0 * 255.0)));
  std::fprintf(Fvstats_file.get(), "f_size= %6d ", frameSize);
  const int64_t endPts = FF().av_stream_get_end_pts(ost.st);
  double ti1 = endPts == AV_NOPTS_VALUE ? 0.0 : double(endPts) * av_q2d(ost.st->time_base);
  if (ti1 < 0.01) ti1 = 0.01;
  const double bitrate = double(frameSize) * 8 / av_q2d(enc->time_base) / 1000.0;
  const double avgBitrate = double(ost.data_size) * 8 / ti1 / 1000.0;
  std::fprintf(Fvstats_file.get(), "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
               double(ost.data_size) / 1024, ti1, bitrate, avgBitrate);
  std::fprintf(Fvstats_file.get(), "type= %c\n", FF().av_get_picture_type_char(AVPictureType(ost.pict_type)));
}

bool TCustomFFmpeg::CloseVstatsFile() {
  if (Fvstats_file == nullptr) return true;
  const bool ok = std::fclose(Fvstats_file.release()) == 0;
  if (!ok) Log(TLogLevel::llError, "Error closing vstats file, loss of information possible");
  return ok;
}

void TCustomFFmpeg::print_sdp() {
  std::vector<AVFormatContext*> rtp;
  for (auto& of : Foutput_files) {
    if (!of->header_written) return;
    if (std::strcmp(of->ctx->oformat->name, "rtp") == 0) rtp.push_back(of->ctx.get());
  }
  if (rtp.empty()) return;
  std::vector<char> sdp(16384);
  FF().av_sdp_create(rtp.data(), int(rtp.size()), sdp.data(), int(sdp.size()));
  if (Fsdp_filename.empty()) {
    std::string text = sdp.data();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    Log(TLogLevel::llInfo, "SDP:\n%s", text.c_str());
    return;
  }
  TIOContextPtr pb;
  FLastWrite = Now();
  if (FF().avio_open2(OutPtr(pb), Fsdp_filename.c_str(), AVIO_FLAG_WRITE, &FWriteCallback, nullptr) < 0) {
    Log(TLogLevel::llError, "Failed to open sdp file \"%s\"", Fsdp_filename.c_str());
    return;
  }
  const std::string text = std::string("SDP:\n") + sdp.data();
  FF().avio_write(pb.get(), reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
  pb.reset();
  Fsdp_filename.clear();
}

}  // namespace media
