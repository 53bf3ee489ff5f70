#pragma once
// Owners of FFmpeg handles: one std::unique_ptr type per free function, in the manner of a
// template over the release function. The header names FFmpeg's structures without including
// FFmpeg, so any header of the media library can hold owners.
//
//   TFramePtr frame{FF().av_frame_alloc()};       // freed with av_frame_free
//   TInputContextPtr input{context};               // closed with avformat_close_input
//   FF().av_dict_set(OutPtr(options), "threads", "auto", 0);  // a function that sets the handle
//
// Structures FFmpeg hands around by value but whose fields own memory (a subtitle, a channel
// layout) have a value owner, TFFValue, cleared when it goes.
//
// The free functions go through the loaded symbol table (media/ff_api.h): a handle that is not
// null can only exist once the libraries were loaded, and they stay loaded for the life of the
// process. A null handle is never passed on.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

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
void FreeMemory(void* p) noexcept;                      // av_free, for any type (FreeMemoryOf)
void FreeBufferRef(AVBufferRef* p) noexcept;            // av_buffer_unref
void FreeCodecContext(AVCodecContext* p) noexcept;      // avcodec_free_context
void FreeCodecParameters(AVCodecParameters* p) noexcept;  // avcodec_parameters_free
void FreeDictionary(AVDictionary* p) noexcept;          // av_dict_free
/// An encoder context whose two-pass statistics (stats_in, from av_malloc) belong to its user, as
/// avcodec_free_context leaves them: they are freed (av_freep) before the context.
void FreeEncoderContext(AVCodecContext* p) noexcept;
/// Frees the two-pass statistics (stats_in) an encoder context's user gave it; null after.
void FreeTwoPassStats(AVCodecContext* p) noexcept;
void FreeExpression(AVExpr* p) noexcept;                // av_expr_free
void FreeFilterGraph(AVFilterGraph* p) noexcept;        // avfilter_graph_free
void FreeFilterInOut(AVFilterInOut* p) noexcept;        // avfilter_inout_free
void FreeFormatContext(AVFormatContext* p) noexcept;    // avformat_free_context (built by hand)
void FreeFrame(AVFrame* p) noexcept;                    // av_frame_free
void FreePacket(AVPacket* p) noexcept;                  // av_packet_free
void FreeResampler(SwrContext* p) noexcept;             // swr_free
void FreeScaler(SwsContext* p) noexcept;                // sws_freeContext
void CloseIO(AVIOContext* p) noexcept;                  // avio_closep
/// An AVIOContext made with avio_alloc_context over our own reader: its buffer (the one last in
/// use, av_freep), then the context (avio_context_free).
void FreeCustomIO(AVIOContext* p) noexcept;
/// The options an AVClass-based structure owns (its strings, dictionaries): av_opt_free. The
/// structure itself stays; fields are null after.
void ClearOptions(void* obj) noexcept;
void CloseFile(std::FILE* p) noexcept;                  // fclose (a caller who reports a failed
                                                        // close calls fclose on release() itself)
// Queues (AVFifo) whose elements own what they point at: what is still queued is freed, then the
// queue (av_fifo_freep2).
void FreeFrameQueue(AVFifo* p) noexcept;     // AVFrame* elements: av_frame_free
void FreePacketQueue(AVFifo* p) noexcept;    // AVPacket* elements: av_packet_free
void FreeSubtitleQueue(AVFifo* p) noexcept;  // AVSubtitle elements: avsubtitle_free
/// An input context: avformat_close_input, or the wave input's own close for a context it opened.
void CloseInputContext(AVFormatContext* p) noexcept;
/// A demuxer context closed with avformat_close_input alone, without the wave input's own close
/// (which builds on it).
void CloseDemuxer(AVFormatContext* p) noexcept;
/// An output context: its file is closed first (avio_closep, unless the muxer has none), then the
/// context freed (avformat_free_context).
void CloseOutputContext(AVFormatContext* p) noexcept;
/// Closes the file of an output context now (as CloseOutputContext would) and gives back
/// avio_closep's result, for a caller who reports a failed close (the last bytes are written
/// then); 0 when the context has no file of its own or it was closed already.
int CloseOutputFile(AVFormatContext* p) noexcept;

/// Memory of type T from av_malloc, or a structure FFmpeg allocates in one piece and documents
/// as freed with av_free (AVBufferSrcParameters, a display matrix).
template <typename T>
void FreeMemoryOf(T* p) noexcept {
  FreeMemory(p);
}
template <typename T>
using TMemoryPtr = TFFOwner<T, FreeMemoryOf<T>>;

using TBitstreamFilterPtr = TFFOwner<AVBSFContext, FreeBitstreamFilter>;
using TBufferPtr = TFFOwner<std::uint8_t, FreeBuffer>;
using TBufferRefPtr = TFFOwner<AVBufferRef, FreeBufferRef>;
using TCodecContextPtr = TFFOwner<AVCodecContext, FreeCodecContext>;
using TCodecParametersPtr = TFFOwner<AVCodecParameters, FreeCodecParameters>;
using TDictionaryPtr = TFFOwner<AVDictionary, FreeDictionary>;
using TEncoderContextPtr = TFFOwner<AVCodecContext, FreeEncoderContext>;
using TExpressionPtr = TFFOwner<AVExpr, FreeExpression>;
using TFilterGraphPtr = TFFOwner<AVFilterGraph, FreeFilterGraph>;
using TFilterInOutPtr = TFFOwner<AVFilterInOut, FreeFilterInOut>;
using TFormatContextPtr = TFFOwner<AVFormatContext, FreeFormatContext>;
using TFramePtr = TFFOwner<AVFrame, FreeFrame>;
using TPacketPtr = TFFOwner<AVPacket, FreePacket>;
using TResamplerPtr = TFFOwner<SwrContext, FreeResampler>;
using TScalerPtr = TFFOwner<SwsContext, FreeScaler>;
using TFilePtr = TFFOwner<std::FILE, CloseFile>;
using TIOContextPtr = TFFOwner<AVIOContext, CloseIO>;
using TCustomIOPtr = TFFOwner<AVIOContext, FreeCustomIO>;
using TFrameQueuePtr = TFFOwner<AVFifo, FreeFrameQueue>;
using TPacketQueuePtr = TFFOwner<AVFifo, FreePacketQueue>;
using TSubtitleQueuePtr = TFFOwner<AVFifo, FreeSubtitleQueue>;
using TInputContextPtr = TFFOwner<AVFormatContext, CloseInputContext>;
using TOutputContextPtr = TFFOwner<AVFormatContext, CloseOutputContext>;

/// Dictionaries, one per stream, for a function that takes an array of them and may replace each
/// (avformat_find_stream_info leaves in each the options it did not use). Each is freed when the
/// array goes.
class TDictionaryArray {
 public:
  TDictionaryArray() = default;
  ~TDictionaryArray();
  TDictionaryArray(TDictionaryArray&& other) noexcept : FItems(std::move(other.FItems)) { other.FItems.clear(); }
  TDictionaryArray& operator=(TDictionaryArray&& other) noexcept;
  TDictionaryArray(const TDictionaryArray&) = delete;
  TDictionaryArray& operator=(const TDictionaryArray&) = delete;

  void Reserve(std::size_t count) { FItems.reserve(count); }
  /// Takes dict (freed here should the array fail to grow).
  void Add(TDictionaryPtr dict);
  std::size_t size() const noexcept { return FItems.size(); }
  bool empty() const noexcept { return FItems.empty(); }
  AVDictionary* operator[](std::size_t i) const noexcept { return FItems[i]; }
  /// The array for one call, null when empty; the callee may replace any of its dictionaries.
  AVDictionary** Data() noexcept { return FItems.empty() ? nullptr : FItems.data(); }

 private:
  void FreeAll() noexcept;
  std::vector<AVDictionary*> FItems;
};

/// Closes io now and gives back avio_closep's result, for a caller who reports a failed close;
/// io is null after.
int CloseIONow(TIOContextPtr& io) noexcept;

/// Lends an owner's handle to an FFmpeg function that takes the address of a handle to set,
/// replace or free it (av_dict_set, avformat_open_input, av_bsf_alloc, av_buffer_unref...). The
/// owner keeps its handle while the call runs, so the same expression may still read it; once
/// the full expression ends, the owner lets go of what it held without freeing it (the function
/// kept, replaced or freed it) and takes whatever the function left in the pointer.
template <class Owner>
class TOutPtr {
 public:
  using pointer = typename Owner::pointer;

  explicit TOutPtr(Owner& owner) noexcept : FOwner(owner), FRaw(owner.get()) {}
  ~TOutPtr() {
    if (FRaw == FOwner.get()) return;
    static_cast<void>(FOwner.release());
    FOwner.reset(FRaw);
  }
  TOutPtr(const TOutPtr&) = delete;
  TOutPtr& operator=(const TOutPtr&) = delete;

  operator pointer*() noexcept { return &FRaw; }

 private:
  Owner& FOwner;
  pointer FRaw;
};

/// The address of owner's handle for one call: FF().av_dict_set(OutPtr(options), ...).
template <class Owner>
TOutPtr<Owner> OutPtr(Owner& owner) noexcept {
  return TOutPtr<Owner>(owner);
}

/// A value of an FFmpeg structure whose fields own memory (AVSubtitle, AVChannelLayout), cleared
/// by Clear when it goes. It is the structure itself, so fields read as before and its address
/// passes to FFmpeg's functions; std::swap and assignment from a plain value go through Plain().
template <typename T, void (*Clear)(T*) noexcept>
struct TFFValue : T {
  TFFValue() noexcept : T{} {}
  ~TFFValue() { Clear(this); }
  TFFValue(const TFFValue&) = delete;
  TFFValue& operator=(const TFFValue&) = delete;

  T& Plain() noexcept { return *this; }
  const T& Plain() const noexcept { return *this; }
};

void ClearChannelLayout(AVChannelLayout* p) noexcept;  // av_channel_layout_uninit
void ClearSubtitle(AVSubtitle* p) noexcept;            // avsubtitle_free

using TChannelLayoutValue = TFFValue<AVChannelLayout, ClearChannelLayout>;
using TSubtitleValue = TFFValue<AVSubtitle, ClearSubtitle>;

}  // namespace media
