#include "media/engine/ffmpeg_records.h"

#include "media/ff_api.h"
#include "media/wave_input.h"

namespace media {

namespace {

// Queues hold owned pointers; drain them before the queue goes.
void FreeFrameQueue(AVFifo*& queue) {
  if (queue == nullptr) return;
  AVFrame* frame = nullptr;
  while (FF().av_fifo_read(queue, &frame, 1) >= 0) FF().av_frame_free(&frame);
  FF().av_fifo_freep2(&queue);
}

void FreePacketQueue(AVFifo*& queue) {
  if (queue == nullptr) return;
  AVPacket* pkt = nullptr;
  while (FF().av_fifo_read(queue, &pkt, 1) >= 0) FF().av_packet_free(&pkt);
  FF().av_fifo_freep2(&queue);
}

void FreeSubtitleQueue(AVFifo*& queue) {
  if (queue == nullptr) return;
  AVSubtitle sub;
  while (FF().av_fifo_read(queue, &sub, 1) >= 0) FF().avsubtitle_free(&sub);
  FF().av_fifo_freep2(&queue);
}

}  // namespace

THWDevice::~THWDevice() { FF().av_buffer_unref(&device_ref); }

TInputFilter::~TInputFilter() {
  FreeFrameQueue(frame_queue);
  FF().av_channel_layout_uninit(&ch_layout);
  FF().av_buffer_unref(&hw_frames_ctx);
}

TOutputFilter::~TOutputFilter() {
  FF().av_channel_layout_uninit(&ch_layout);
}

TFilterGraph::~TFilterGraph() {
  // The pads point into the graph; free it first so no pad outlives its filter context.
  FF().avfilter_graph_free(&graph);
}

TInputFile::~TInputFile() {
  if (ctx != nullptr) CloseInputFormat(&ctx);
}

TInputStream::~TInputStream() {
  FF().av_dict_free(&decoder_opts);
  FF().avsubtitle_free(&prev_sub.subtitle);
  FreeSubtitleQueue(sub2video.sub_queue);
  FF().av_frame_free(&sub2video.frame);
  FF().av_buffer_unref(&hw_frames_ctx);
  FF().avcodec_free_context(&dec_ctx);
}

TOutputFile::~TOutputFile() {
  if (ctx != nullptr) {
    if (!(ctx->oformat->flags & AVFMT_NOFILE)) FF().avio_closep(&ctx->pb);
    FF().avformat_free_context(ctx);
    ctx = nullptr;
  }
  FF().av_dict_free(&opts);
}

TOutputStream::~TOutputStream() {
  for (AVBSFContext*& bsf : bsf_ctx) FF().av_bsf_free(&bsf);
  if (enc_ctx != nullptr) FF().av_freep(&enc_ctx->stats_in);
  FF().avcodec_free_context(&enc_ctx);
  FF().av_expr_free(forced_keyframes_pexpr);
  if (logfile != nullptr) std::fclose(logfile);
  FF().av_dict_free(&encoder_opts);
  FF().av_dict_free(&sws_dict);
  FF().av_dict_free(&swr_opts);
  FF().av_dict_free(&resample_opts);
  FreePacketQueue(muxing_queue);
}

}  // namespace media
