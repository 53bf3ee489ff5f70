#pragma once
// The FFmpeg entry points the media library calls, one X-macro list per library.
// The loader binds every name with dlsym into the typed table of ff_api.h; a name missing from
// its library fails the load with "Load function <name>@<library> error". Add a line here before
// calling a new entry point through FF(). Keep each list in alphabetical order.
//
// Lists are in load order: a library is bound after the libraries it depends on.

#define FF_AVUTIL_SYMBOLS(X)       \
  X(av_add_q)                      \
  X(av_buffer_ref)                 \
  X(av_buffer_unref)               \
  X(av_calloc)                     \
  X(av_channel_layout_check)       \
  X(av_channel_layout_compare)     \
  X(av_channel_layout_copy)        \
  X(av_channel_layout_default)     \
  X(av_channel_layout_describe)    \
  X(av_channel_layout_from_string) \
  X(av_channel_layout_uninit)      \
  X(av_compare_ts)                 \
  X(av_cpu_force_count)            \
  X(av_default_item_name)          \
  X(av_dict_copy)                  \
  X(av_dict_count)                 \
  X(av_dict_free)                  \
  X(av_dict_parse_string)          \
  X(av_dict_get)                   \
  X(av_dict_set)                   \
  X(av_dict_set_int)               \
  X(av_display_rotation_get)       \
  X(av_display_rotation_set)       \
  X(av_expr_eval)                  \
  X(av_expr_free)                  \
  X(av_expr_parse)                 \
  X(av_fifo_alloc2)                \
  X(av_fifo_can_read)              \
  X(av_fifo_can_write)             \
  X(av_fifo_freep2)                \
  X(av_fifo_grow2)                 \
  X(av_fifo_read)                  \
  X(av_fifo_write)                 \
  X(av_find_best_pix_fmt_of_2)     \
  X(av_find_nearest_q_idx)         \
  X(av_force_cpu_flags)            \
  X(av_frame_alloc)                \
  X(av_frame_clone)                \
  X(av_frame_free)                 \
  X(av_frame_get_buffer)           \
  X(av_frame_make_writable)        \
  X(av_frame_ref)                  \
  X(av_frame_remove_side_data)     \
  X(av_frame_unref)                \
  X(av_free)                       \
  X(av_freep)                      \
  X(av_get_bytes_per_sample)       \
  X(av_get_cpu_flags)              \
  X(av_get_media_type_string)      \
  X(av_get_pix_fmt)                \
  X(av_get_pix_fmt_name)           \
  X(av_get_picture_type_char)      \
  X(av_get_sample_fmt)             \
  X(av_get_sample_fmt_name)        \
  X(av_gettime_relative)           \
  X(av_hwdevice_ctx_create)        \
  X(av_hwdevice_ctx_create_derived) \
  X(av_hwdevice_find_type_by_name) \
  X(av_hwdevice_get_type_name)     \
  X(av_hwdevice_iterate_types)     \
  X(av_hwframe_ctx_alloc)          \
  X(av_hwframe_ctx_init)           \
  X(av_hwframe_get_buffer)         \
  X(av_hwframe_transfer_data)      \
  X(av_frame_copy_props)           \
  X(av_frame_move_ref)             \
  X(av_image_copy_to_buffer)       \
  X(av_image_fill_arrays)          \
  X(av_image_get_buffer_size)      \
  X(av_log)                        \
  X(av_log_set_callback)           \
  X(av_log_set_flags)              \
  X(av_log_set_level)              \
  X(av_malloc)                     \
  X(av_mallocz)                    \
  X(av_max_alloc)                  \
  X(av_mul_q)                      \
  X(av_opt_eval_flags)             \
  X(av_opt_eval_int)               \
  X(av_opt_find)                   \
  X(av_opt_free)                   \
  X(av_opt_set)                    \
  X(av_opt_set_bin)                \
  X(av_opt_set_defaults)           \
  X(av_opt_set_dict)               \
  X(av_opt_set_int)                \
  X(av_parse_cpu_caps)             \
  X(av_parse_ratio)                \
  X(av_parse_time)                 \
  X(av_parse_video_rate)           \
  X(av_parse_video_size)           \
  X(av_pix_fmt_desc_get)           \
  X(av_realloc_array)              \
  X(av_reduce)                     \
  X(av_rescale)                    \
  X(av_rescale_delta)              \
  X(av_rescale_q)                  \
  X(av_rescale_q_rnd)              \
  X(av_samples_get_buffer_size)    \
  X(av_set_options_string)         \
  X(av_strcasecmp)                 \
  X(av_strdup)                     \
  X(av_strerror)                   \
  X(av_strtod)                     \
  X(av_usleep)                     \
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
  X(av_bsf_alloc)                    \
  X(avcodec_default_get_buffer2)     \
  X(avcodec_get_hw_config)           \
  X(av_bsf_free)                     \
  X(av_bsf_get_by_name)              \
  X(av_bsf_init)                     \
  X(av_bsf_receive_packet)           \
  X(av_bsf_send_packet)              \
  X(av_get_audio_frame_duration)     \
  X(av_get_exact_bits_per_sample)    \
  X(av_new_packet)                   \
  X(av_packet_alloc)                 \
  X(av_packet_free)                  \
  X(av_packet_get_side_data)         \
  X(av_packet_make_refcounted)       \
  X(av_packet_move_ref)              \
  X(av_packet_new_side_data)         \
  X(av_packet_ref)                   \
  X(av_packet_rescale_ts)            \
  X(av_packet_unref)                 \
  X(avcodec_alloc_context3)          \
  X(avcodec_decode_subtitle2)        \
  X(avcodec_descriptor_get)          \
  X(avcodec_descriptor_get_by_name)  \
  X(avcodec_encode_subtitle)         \
  X(avcodec_find_decoder)            \
  X(avcodec_find_decoder_by_name)    \
  X(avcodec_find_encoder)            \
  X(avcodec_find_encoder_by_name)    \
  X(avcodec_flush_buffers)           \
  X(avcodec_free_context)            \
  X(avcodec_get_class)               \
  X(avcodec_get_name)                \
  X(avcodec_open2)                   \
  X(avcodec_parameters_alloc)        \
  X(avcodec_parameters_copy)         \
  X(avcodec_parameters_free)         \
  X(avcodec_parameters_from_context) \
  X(avcodec_parameters_to_context)   \
  X(avcodec_receive_frame)           \
  X(avcodec_receive_packet)          \
  X(avcodec_send_frame)              \
  X(avcodec_send_packet)             \
  X(avcodec_string)                  \
  X(avcodec_version)                 \
  X(avsubtitle_free)

#define FF_AVFORMAT_SYMBOLS(X)                     \
  X(av_codec_get_id)                               \
  X(av_codec_get_tag2)                             \
  X(av_dump_format)                                \
  X(av_filename_number_test)                       \
  X(av_find_best_stream)                           \
  X(av_find_input_format)                          \
  X(av_guess_codec)                                \
  X(av_guess_frame_rate)                           \
  X(av_interleaved_write_frame)                    \
  X(av_new_program)                                \
  X(av_pkt_dump_log2)                              \
  X(av_program_add_stream_index)                   \
  X(av_read_frame)                                 \
  X(av_seek_frame)                                 \
  X(av_stream_get_codec_timebase)                  \
  X(av_stream_get_end_pts)                         \
  X(av_sdp_create)                                 \
  X(av_stream_get_parser)                          \
  X(av_stream_get_side_data)                       \
  X(av_stream_new_side_data)                       \
  X(av_write_trailer)                              \
  X(avformat_alloc_context)                        \
  X(avformat_alloc_output_context2)                \
  X(avformat_close_input)                          \
  X(avformat_find_stream_info)                     \
  X(avformat_free_context)                         \
  X(avformat_get_class)                            \
  X(avformat_match_stream_specifier)               \
  X(avformat_new_stream)                           \
  X(avformat_open_input)                           \
  X(avformat_query_codec)                          \
  X(avformat_seek_file)                            \
  X(avformat_transfer_internal_stream_timing_info) \
  X(avformat_version)                              \
  X(avformat_write_header)                         \
  X(avio_alloc_context)                            \
  X(avio_closep)                                   \
  X(avio_context_free)                             \
  X(avio_flush)                                    \
  X(avio_open)                                     \
  X(avio_open2)                                    \
  X(avio_read)                                     \
  X(avio_seek)                                     \
  X(avio_size)                                     \
  X(avio_write)

#define FF_AVFILTER_SYMBOLS(X)             \
  X(av_buffersink_get_ch_layout)           \
  X(av_buffersink_get_format)              \
  X(av_buffersink_get_frame_flags)         \
  X(av_buffersink_get_frame_rate)          \
  X(av_buffersink_get_h)                   \
  X(av_buffersink_get_hw_frames_ctx)       \
  X(av_buffersink_get_sample_aspect_ratio) \
  X(av_buffersink_get_sample_rate)         \
  X(av_buffersink_get_time_base)           \
  X(av_buffersink_get_type)                \
  X(av_buffersink_get_w)                   \
  X(av_buffersink_set_frame_size)          \
  X(av_buffersrc_add_frame)                \
  X(av_buffersrc_add_frame_flags)          \
  X(av_buffersrc_close)                    \
  X(av_buffersrc_get_nb_failed_requests)   \
  X(av_buffersrc_parameters_alloc)         \
  X(av_buffersrc_parameters_set)           \
  X(avfilter_get_by_name)                  \
  X(avfilter_graph_alloc)                  \
  X(avfilter_graph_alloc_filter)           \
  X(avfilter_graph_config)                 \
  X(avfilter_graph_create_filter)          \
  X(avfilter_graph_free)                   \
  X(avfilter_graph_parse2)                 \
  X(avfilter_graph_parse_ptr)              \
  X(avfilter_graph_request_oldest)         \
  X(avfilter_graph_set_auto_convert)       \
  X(avfilter_init_str)                     \
  X(avfilter_inout_alloc)                  \
  X(avfilter_inout_free)                   \
  X(avfilter_link)                         \
  X(avfilter_pad_get_name)                 \
  X(avfilter_pad_get_type)                 \
  X(avfilter_version)

#define FF_AVDEVICE_SYMBOLS(X) \
  X(avdevice_register_all)     \
  X(avdevice_version)
