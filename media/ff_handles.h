#pragma once
// Owners of FFmpeg handles: one std::unique_ptr type per free function, in the manner of a
// template over the release function. The header names FFmpeg's structures without including
// FFmpeg, so any header of the media library can hold owners.
//
//   TFramePtr frame{FF().av_frame_alloc()};       // freed with av_frame_free
//   TInputContextPtr input{context};               // closed with avformat_close_input
//
// The free functions go through the loaded symbol table (media/ff_api.h): a handle that is not
// null can only exist once the libraries were loaded, and they stay loaded for the life of the
// process. A null handle is never passed on.

#include <cstdint>
#include <memory>

#include "media/ff_types.h"

namespace media {

/// Calls Free on a handle that is not null.
template <typename T, void (*Free)(T*) noexcept>
struct TFFFree {
  void operator()(T* p) const noexcept {
    if (p != nullptr) Free(p);
  }
};

/// The sole owner of one FFmpeg handle, released by Free.
template <typename T, void (*Free)(T*) noexcept>
using TFFOwner = std::unique_ptr<T, TFFFree<T, Free>>;

// One release function per FFmpeg free function (ff_handles.cpp).
void FreeBitstreamFilter(AVBSFContext* p) noexcept;     // av_bsf_free
void FreeBuffer(std::uint8_t* p) noexcept;              // av_free (memory from av_malloc)
void FreeCodecContext(AVCodecContext* p) noexcept;      // avcodec_free_context
void FreeCodecParameters(AVCodecParameters* p) noexcept;  // avcodec_parameters_free
void FreeDictionary(AVDictionary* p) noexcept;          // av_dict_free
void FreeFilterGraph(AVFilterGraph* p) noexcept;        // avfilter_graph_free
void FreeFilterInOut(AVFilterInOut* p) noexcept;        // avfilter_inout_free
void FreeFormatContext(AVFormatContext* p) noexcept;    // avformat_free_context (built by hand)
void FreeFrame(AVFrame* p) noexcept;                    // av_frame_free
void FreePacket(AVPacket* p) noexcept;                  // av_packet_free
void FreeResampler(SwrContext* p) noexcept;             // swr_free
void FreeScaler(SwsContext* p) noexcept;                // sws_freeContext
/// An input context: avformat_close_input, or the wave input's own close for a context it opened.
void CloseInputContext(AVFormatContext* p) noexcept;
/// An output context: its file is closed first (avio_closep, unless the muxer has none), then the
/// context freed (avformat_free_context).
void CloseOutputContext(AVFormatContext* p) noexcept;

using TBitstreamFilterPtr = TFFOwner<AVBSFContext, FreeBitstreamFilter>;
using TBufferPtr = TFFOwner<std::uint8_t, FreeBuffer>;
using TCodecContextPtr = TFFOwner<AVCodecContext, FreeCodecContext>;
using TCodecParametersPtr = TFFOwner<AVCodecParameters, FreeCodecParameters>;
using TDictionaryPtr = TFFOwner<AVDictionary, FreeDictionary>;
using TFilterGraphPtr = TFFOwner<AVFilterGraph, FreeFilterGraph>;
using TFilterInOutPtr = TFFOwner<AVFilterInOut, FreeFilterInOut>;
using TFormatContextPtr = TFFOwner<AVFormatContext, FreeFormatContext>;
using TFramePtr = TFFOwner<AVFrame, FreeFrame>;
using TPacketPtr = TFFOwner<AVPacket, FreePacket>;
using TResamplerPtr = TFFOwner<SwrContext, FreeResampler>;
using TScalerPtr = TFFOwner<SwsContext, FreeScaler>;
using TInputContextPtr = TFFOwner<AVFormatContext, CloseInputContext>;
using TOutputContextPtr = TFFOwner<AVFormatContext, CloseOutputContext>;

}  // namespace media
