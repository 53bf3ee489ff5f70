#include "media/ff_handles.h"

#include <cstdio>

#include "media/ff_api.h"
#include "media/wave_input.h"

namespace media {

void FreeBitstreamFilter(AVBSFContext* p) noexcept { FF().av_bsf_free(&p); }
void FreeBuffer(std::uint8_t* p) noexcept { FF().av_free(p); }
void FreeMemory(void* p) noexcept { FF().av_free(p); }
void FreeBufferRef(AVBufferRef* p) noexcept { FF().av_buffer_unref(&p); }
void FreeCodecContext(AVCodecContext* p) noexcept { FF().avcodec_free_context(&p); }
void FreeCodecParameters(AVCodecParameters* p) noexcept { FF().avcodec_parameters_free(&p); }
void FreeDictionary(AVDictionary* p) noexcept {
  // Option sets may outlive an unloading of the libraries (at the end of the process); what they
  // still hold is left then.
  if (FF().av_dict_free != nullptr) FF().av_dict_free(&p);
}

void FreeEncoderContext(AVCodecContext* p) noexcept {
  FreeTwoPassStats(p);
  FF().avcodec_free_context(&p);
}

void FreeTwoPassStats(AVCodecContext* p) noexcept { FF().av_freep(&p->stats_in); }

void FreeExpression(AVExpr* p) noexcept { FF().av_expr_free(p); }
void FreeFilterGraph(AVFilterGraph* p) noexcept { FF().avfilter_graph_free(&p); }
void FreeFilterInOut(AVFilterInOut* p) noexcept { FF().avfilter_inout_free(&p); }
void FreeFormatContext(AVFormatContext* p) noexcept { FF().avformat_free_context(p); }
void FreeFrame(AVFrame* p) noexcept { FF().av_frame_free(&p); }
void FreePacket(AVPacket* p) noexcept { FF().av_packet_free(&p); }
void FreeResampler(SwrContext* p) noexcept { FF().swr_free(&p); }
void FreeScaler(SwsContext* p) noexcept { FF().sws_freeContext(p); }
void CloseIO(AVIOContext* p) noexcept { FF().avio_closep(&p); }

void FreeCustomIO(AVIOContext* p) noexcept {
  FF().av_freep(&p->buffer);
  FF().avio_context_free(&p);
}

void ClearOptions(void* obj) noexcept { FF().av_opt_free(obj); }
void CloseFile(std::FILE* p) noexcept { std::fclose(p); }

int CloseIONow(TIOContextPtr& io) noexcept {
  AVIOContext* p = io.release();
  return p != nullptr ? FF().avio_closep(&p) : 0;
}

void FreeFrameQueue(AVFifo* p) noexcept {
  AVFrame* frame = nullptr;
  while (FF().av_fifo_read(p, &frame, 1) >= 0) FF().av_frame_free(&frame);
  FF().av_fifo_freep2(&p);
}

void FreePacketQueue(AVFifo* p) noexcept {
  AVPacket* packet = nullptr;
  while (FF().av_fifo_read(p, &packet, 1) >= 0) FF().av_packet_free(&packet);
  FF().av_fifo_freep2(&p);
}

void FreeSubtitleQueue(AVFifo* p) noexcept {
  AVSubtitle subtitle;
  while (FF().av_fifo_read(p, &subtitle, 1) >= 0) FF().avsubtitle_free(&subtitle);
  FF().av_fifo_freep2(&p);
}

TDictionaryArray::~TDictionaryArray() { FreeAll(); }

TDictionaryArray& TDictionaryArray::operator=(TDictionaryArray&& other) noexcept {
  if (this != &other) {
    FreeAll();
    FItems = std::move(other.FItems);
    other.FItems.clear();
  }
  return *this;
}

void TDictionaryArray::Add(TDictionaryPtr dict) {
  FItems.push_back(dict.get());
  static_cast<void>(dict.release());
}

void TDictionaryArray::FreeAll() noexcept {
  for (AVDictionary*& d : FItems) FF().av_dict_free(&d);
  FItems.clear();
}

void ClearChannelLayout(AVChannelLayout* p) noexcept { FF().av_channel_layout_uninit(p); }
void ClearSubtitle(AVSubtitle* p) noexcept { FF().avsubtitle_free(p); }

void CloseInputContext(AVFormatContext* p) noexcept { CloseInputFormat(&p); }
void CloseDemuxer(AVFormatContext* p) noexcept { FF().avformat_close_input(&p); }

int CloseOutputFile(AVFormatContext* p) noexcept {
  // A muxer without a file (AVFMT_NOFILE) leaves pb alone; any other pb is the context's own.
  if (p->pb == nullptr || (p->oformat != nullptr && (p->oformat->flags & AVFMT_NOFILE))) return 0;
  return FF().avio_closep(&p->pb);
}

void CloseOutputContext(AVFormatContext* p) noexcept {
  CloseOutputFile(p);
  FF().avformat_free_context(p);
}

}  // namespace media
