#pragma once
// The FFmpeg entry points the media library calls, one X-macro list per library.
// The loader binds every name with dlsym into the typed table of ff_api.h; a name missing from
// its library fails the load with "Load function <name>@<library> error". Add a line here before
// calling a new entry point through FF(). Keep each list in alphabetical order.
//
// Lists are in load order: a library is bound after the libraries it depends on.

#define FF_AVUTIL_SYMBOLS(X) \
  X(av_dict_free)            \
  X(av_dict_get)             \
  X(av_dict_set)             \
  X(av_frame_alloc)          \
  X(av_frame_free)           \
  X(av_free)                 \
  X(av_freep)                \
  X(av_log_set_callback)     \
  X(av_malloc)               \
  X(av_strerror)             \
  X(avutil_version)

#define FF_SWSCALE_SYMBOLS(X) \
  X(sws_freeContext)          \
  X(sws_getCachedContext)     \
  X(sws_scale)                \
  X(swscale_version)

#define FF_SWRESAMPLE_SYMBOLS(X) \
  X(swr_alloc_set_opts2)         \
  X(swr_convert)                 \
  X(swr_free)                    \
  X(swr_init)                    \
  X(swresample_version)

#define FF_AVCODEC_SYMBOLS(X)        \
  X(av_packet_alloc)                 \
  X(av_packet_free)                  \
  X(av_packet_unref)                 \
  X(avcodec_alloc_context3)          \
  X(avcodec_find_decoder)            \
  X(avcodec_find_encoder)            \
  X(avcodec_find_encoder_by_name)    \
  X(avcodec_free_context)            \
  X(avcodec_open2)                   \
  X(avcodec_parameters_to_context)   \
  X(avcodec_receive_frame)           \
  X(avcodec_send_packet)             \
  X(avcodec_version)

#define FF_AVFORMAT_SYMBOLS(X) \
  X(av_read_frame)             \
  X(avformat_close_input)      \
  X(avformat_find_stream_info) \
  X(avformat_open_input)       \
  X(avformat_version)

#define FF_AVFILTER_SYMBOLS(X) \
  X(avfilter_version)

#define FF_AVDEVICE_SYMBOLS(X) \
  X(avdevice_register_all)     \
  X(avdevice_version)
