#pragma once
// The FFmpeg entry points the media library calls, one X-macro list per library.
// The loader binds every name with dlsym into the typed table of ff_api.h; a name missing from
// its library fails the load with "Load function <name>@<library> error". Add a line here before
// calling a new entry point through FF(). Keep each list in alphabetical order.
//
// Lists are in load order: a library is bound after the libraries it depends on.

#define FF_AVUTIL_SYMBOLS(X)   \
  X(av_calloc)                 \
  X(av_channel_layout_default) \
  X(av_dict_count)             \
  X(av_dict_free)              \
  X(av_dict_get)               \
  X(av_dict_set)               \
  X(av_display_rotation_get)   \
  X(av_display_rotation_set)   \
  X(av_frame_alloc)            \
  X(av_frame_free)             \
  X(av_frame_get_buffer)       \
  X(av_frame_make_writable)    \
  X(av_free)                   \
  X(av_freep)                  \
  X(av_gettime_relative)       \
  X(av_image_fill_arrays)      \
  X(av_image_get_buffer_size)  \
  X(av_log)                    \
  X(av_log_set_callback)       \
  X(av_log_set_flags)          \
  X(av_log_set_level)          \
  X(av_malloc)                 \
  X(av_opt_eval_flags)         \
  X(av_opt_find)               \
  X(av_opt_set)                \
  X(av_parse_time)             \
  X(av_realloc_array)          \
  X(av_reduce)                 \
  X(av_rescale_q)              \
  X(av_strerror)               \
  X(av_strtod)                 \
  X(avutil_version)

#define FF_SWSCALE_SYMBOLS(X) \
  X(sws_alloc_context)        \
  X(sws_freeContext)          \
  X(sws_getCachedContext)     \
  X(sws_get_class)            \
  X(sws_scale)                \
  X(swscale_version)

#define FF_SWRESAMPLE_SYMBOLS(X) \
  X(swr_alloc)                   \
  X(swr_alloc_set_opts2)         \
  X(swr_convert)                 \
  X(swr_free)                    \
  X(swr_get_class)               \
  X(swr_init)                    \
  X(swresample_version)

#define FF_AVCODEC_SYMBOLS(X)        \
  X(av_packet_alloc)                 \
  X(av_packet_free)                  \
  X(av_packet_rescale_ts)            \
  X(av_packet_unref)                 \
  X(avcodec_alloc_context3)          \
  X(avcodec_descriptor_get)          \
  X(avcodec_find_decoder)            \
  X(avcodec_find_encoder)            \
  X(avcodec_find_encoder_by_name)    \
  X(avcodec_free_context)            \
  X(avcodec_get_class)               \
  X(avcodec_open2)                   \
  X(avcodec_parameters_from_context) \
  X(avcodec_parameters_to_context)   \
  X(avcodec_receive_frame)           \
  X(avcodec_receive_packet)          \
  X(avcodec_send_frame)              \
  X(avcodec_send_packet)             \
  X(avcodec_string)                  \
  X(avcodec_version)

#define FF_AVFORMAT_SYMBOLS(X)       \
  X(av_find_input_format)            \
  X(av_interleaved_write_frame)      \
  X(av_read_frame)                   \
  X(av_stream_get_side_data)         \
  X(av_stream_new_side_data)         \
  X(av_write_trailer)                \
  X(avformat_alloc_context)          \
  X(avformat_alloc_output_context2)  \
  X(avformat_close_input)            \
  X(avformat_find_stream_info)       \
  X(avformat_free_context)           \
  X(avformat_get_class)              \
  X(avformat_match_stream_specifier) \
  X(avformat_new_stream)             \
  X(avformat_open_input)             \
  X(avformat_version)                \
  X(avformat_write_header)           \
  X(avio_closep)                     \
  X(avio_open)                       \
  X(avio_size)

#define FF_AVFILTER_SYMBOLS(X) \
  X(avfilter_version)

#define FF_AVDEVICE_SYMBOLS(X) \
  X(avdevice_register_all)     \
  X(avdevice_version)
