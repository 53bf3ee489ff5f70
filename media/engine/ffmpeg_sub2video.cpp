// sub2video: bitmap subtitles (DVD, PGS, DVB) as a video input of a filter graph, so that
// "-filter_complex [0:v][0:s]overlay" burns them in. Each subtitle is painted onto a transparent
// BGRA canvas that is pushed into the graph when the subtitle starts and again, empty, when it
// ends; between the two the packets read from the same file keep the canvas flowing (heartbeat),
// so a filter that waits for this input never stalls.

#include <cinttypes>
#include <cstring>

#include "media/engine/custom_ffmpeg_opt.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

int TCustomFFmpegOpt::Sub2VideoPrepare(TInputStream& ist, TInputFilter& ifilter) {
  const AVFormatContext* avf = Finput_files[std::size_t(ist.file_index)]->ctx.get();
  // The canvas: "-canvas_size" or the decoder's size, else the largest video of the same file.
  int w = ist.dec_ctx->width;
  int h = ist.dec_ctx->height;
  if (!(w && h)) {
    for (unsigned i = 0; i < avf->nb_streams; i++) {
      const AVCodecParameters* par = avf->streams[i]->codecpar;
      if (par->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      w = std::max(w, par->width);
      h = std::max(h, par->height);
    }
    if (!(w && h)) {
      w = std::max(w, 720);
      h = std::max(h, 576);
    }
    FF().av_log(const_cast<AVFormatContext*>(avf), AV_LOG_INFO, "sub2video: using %dx%d canvas\n", w, h);
  }
  ist.sub2video.w = w;
  ist.sub2video.h = h;
  ifilter.width = ist.dec_ctx->width ? ist.dec_ctx->width : w;
  ifilter.height = ist.dec_ctx->height ? ist.dec_ctx->height : h;
  // Each rectangle has its own palette: the canvas is true colour with alpha.
  ifilter.format = AV_PIX_FMT_BGRA;
  if (ist.sub2video.frame == nullptr && (ist.sub2video.frame = TFramePtr{FF().av_frame_alloc()}) == nullptr)
    return AVERROR(ENOMEM);
  ist.sub2video.last_pts = INT64_MIN;
  ist.sub2video.end_pts = INT64_MIN;
  return 0;
}

int TCustomFFmpegOpt::Sub2VideoGetBlankFrame(TInputStream& ist) {
  AVFrame* frame = ist.sub2video.frame.get();
  FF().av_frame_unref(frame);
  frame->width = ist.dec_ctx->width ? ist.dec_ctx->width : ist.sub2video.w;
  frame->height = ist.dec_ctx->height ? ist.dec_ctx->height : ist.sub2video.h;
  frame->format = AV_PIX_FMT_BGRA;
  const int ret = FF().av_frame_get_buffer(frame, 32);
  if (ret < 0) return ret;
  for (int y = 0; y < frame->height; y++)
    std::memset(frame->data[0] + y * frame->linesize[0], 0, size_t(frame->width) * 4);
  return 0;
}

void TCustomFFmpegOpt::Sub2VideoCopyRect(uint8_t* dst, int dstLinesize, int w, int h,
                                         const AVSubtitleRect* r) {
  if (r->type != SUBTITLE_BITMAP) {
    Log(TLogLevel::llWarning, "sub2video: non-bitmap subtitle");
    return;
  }
  if (r->x < 0 || r->x + r->w > w || r->y < 0 || r->y + r->h > h) {
    Log(TLogLevel::llWarning, "sub2video: rectangle (%d %d %d %d) overflowing %d %d", r->x, r->y, r->w, r->h,
        w, h);
    return;
  }
  const auto* palette = reinterpret_cast<const uint32_t*>(r->data[1]);
  for (int y = 0; y < r->h; y++) {
    auto* out = reinterpret_cast<uint32_t*>(dst + (r->y + y) * dstLinesize) + r->x;
    const uint8_t* in = r->data[0] + y * r->linesize[0];
    for (int x = 0; x < r->w; x++) out[x] = palette[in[x]];
  }
}

void TCustomFFmpegOpt::Sub2VideoPushRef(TInputStream& ist, int64_t pts) {
  AVFrame* frame = ist.sub2video.frame.get();
  if (frame == nullptr || frame->data[0] == nullptr) return;
  ist.sub2video.last_pts = frame->pts = pts;
  for (TInputFilter* ifilter : ist.filters) {
    if (ifilter->filter == nullptr) continue;
    const int ret = FF().av_buffersrc_add_frame_flags(ifilter->filter, frame,
                                                      AV_BUFFERSRC_FLAG_KEEP_REF | AV_BUFFERSRC_FLAG_PUSH);
    // The graph may have ended already (EOF); anything else loses subtitles from the picture.
    if (ret < 0 && ret != AVERROR_EOF)
      Log(TLogLevel::llWarning, "%s",
          FormatAVError("Error while adding a subtitle frame to the filter graph", ret).c_str());
  }
}

void TCustomFFmpegOpt::Sub2VideoUpdate(TInputStream& ist, const AVSubtitle* sub, int64_t heartbeatPts) {
  AVFrame* frame = ist.sub2video.frame.get();
  if (frame == nullptr) return;
  int64_t pts = 0;
  int64_t endPts = 0;
  unsigned numRects = 0;
  if (sub != nullptr) {
    pts = FF().av_rescale_q(sub->pts + int64_t(sub->start_display_time) * 1000, AV_TIME_BASE_Q,
                            ist.st->time_base);
    endPts = FF().av_rescale_q(sub->pts + int64_t(sub->end_display_time) * 1000, AV_TIME_BASE_Q,
                               ist.st->time_base);
    numRects = sub->num_rects;
  } else {
    // Nothing shown yet: the blank canvas starts at the heartbeat instead of at no time at all.
    pts = ist.sub2video.end_pts == INT64_MIN ? heartbeatPts : ist.sub2video.end_pts;
    endPts = INT64_MAX;
  }
  if (Sub2VideoGetBlankFrame(ist) < 0) {
    FF().av_log(ist.dec_ctx.get(), AV_LOG_ERROR, "Impossible to get a blank canvas.\n");
    return;
  }
  for (unsigned i = 0; i < numRects; i++)
    Sub2VideoCopyRect(frame->data[0], frame->linesize[0], frame->width, frame->height, sub->rects[i]);
  Sub2VideoPushRef(ist, pts);
  ist.sub2video.end_pts = endPts;
}

void TCustomFFmpegOpt::Sub2VideoHeartbeat(TInputStream& ist, int64_t pts) {
  if (pts == AV_NOPTS_VALUE) return;
  const TInputFile& f = *Finput_files[std::size_t(ist.file_index)];
  for (int i = 0; i < f.nb_streams; i++) {
    TInputStream& other = *Finput_streams[std::size_t(f.ist_index + i)];
    if (other.sub2video.frame == nullptr) continue;
    const int64_t pts2 = FF().av_rescale_q(pts, ist.st->time_base, other.st->time_base) - 1;
    if (pts2 <= other.sub2video.last_pts) continue;
    if (pts2 >= other.sub2video.end_pts || other.sub2video.frame->data[0] == nullptr)
      Sub2VideoUpdate(other, nullptr, pts2);
    unsigned failed = 0;
    for (TInputFilter* ifilter : other.filters)
      if (ifilter->filter != nullptr) failed += FF().av_buffersrc_get_nb_failed_requests(ifilter->filter);
    if (failed) Sub2VideoPushRef(other, pts2);
  }
}

void TCustomFFmpegOpt::Sub2VideoFlush(TInputStream& ist) {
  if (ist.sub2video.end_pts > INT64_MIN && ist.sub2video.end_pts < INT64_MAX)
    Sub2VideoUpdate(ist, nullptr, ist.sub2video.end_pts);
  for (TInputFilter* ifilter : ist.filters) {
    if (ifilter->filter == nullptr) continue;
    const int ret = FF().av_buffersrc_add_frame(ifilter->filter, nullptr);
    if (ret < 0 && ret != AVERROR_EOF)
      Log(TLogLevel::llWarning, "%s",
          FormatAVError("Error while closing a subtitle input of the filter graph", ret).c_str());
  }
}

}  // namespace media
