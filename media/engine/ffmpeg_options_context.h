#pragma once
// The per-file options context: what one ParseOptions call collects for one input or output file
// ("-ss", "-c:v", "-map"...). It lives only while that file is opened (on the opening thread).
// Options written with a stream specifier ("-c:v", "-b:a", "-r:0") are kept as lists of
// TSpecifierOpt in the order given; the per-stream lookup lets the last matching entry win.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavutil/avutil.h>
}

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "media/ff_options.h"

namespace media {

// Per-stream options are TSpecifierOptList (media/ff_options.h): one entry per occurrence, with
// the specifier and the value in the member of the option's type.

struct TStreamMap {
  int disabled = 0;
  int file_index = 0;
  int stream_index = 0;
  int sync_file_index = 0;
  int sync_stream_index = 0;
  std::string linklabel;  // output label of a complex filter graph, empty otherwise
};

struct TAudioChannelMap {
  int file_idx = 0;
  int stream_idx = 0;
  int channel_idx = 0;  // -1 for a muted channel
  int ofile_idx = -1;
  int ostream_idx = -1;
};

using TStringList = TSpecifierOptList;  // value in u.str
using TIntList = TSpecifierOptList;     // value in u.i
using TInt64List = TSpecifierOptList;   // value in u.i64
using TDoubleList = TSpecifierOptList;  // value in u.dbl

struct TOptionsContext {
  TOptionGroup* g = nullptr;  // the parse context's file group (borrowed)

  int64_t start_time = AV_NOPTS_VALUE;
  int64_t start_time_eof = AV_NOPTS_VALUE;
  int seek_timestamp = 0;
  std::string format;  // empty: not forced

  TStringList codec_names;
  TIntList audio_channels;
  TIntList audio_sample_rate;
  TStringList frame_rates;
  TStringList frame_sizes;
  TStringList frame_pix_fmts;

  int64_t input_ts_offset = 0;
  int input_sync_ref = -1;  // "-isync": the input this one keeps time with (-1: none)
  int loop = 0;
  int rate_emu = 0;
  float readrate = 0;  // "-readrate": speed of reading, 1 the native one ("-re")
  int bitexact = 0;    // "-bitexact": bit-exact muxing and coding of this file
  int accurate_seek = 1;
  int thread_queue_size = 0;

  TDoubleList ts_scale;
  TStringList dump_attachment;
  TStringList hwaccels;
  TStringList hwaccel_devices;
  TStringList hwaccel_output_formats;
  TIntList autorotate;

  std::vector<TStreamMap> stream_maps;
  std::vector<TAudioChannelMap> audio_channel_maps;
  int metadata_global_manual = 0;
  int metadata_streams_manual = 0;
  int metadata_chapters_manual = 0;
  std::vector<std::string> attachments;

  int chapters_input_file = INT32_MAX;
  int64_t recording_time = INT64_MAX;
  int64_t stop_time = INT64_MAX;
  int64_t limit_filesize = INT64_MAX;
  float mux_preload = 0;
  float mux_max_delay = 0.7f;
  int shortest = 0;

  int video_disable = 0;
  int audio_disable = 0;
  int subtitle_disable = 0;
  int data_disable = 0;

  std::vector<int> streamid_map;

  TStringList metadata;
  TInt64List max_frames;
  TStringList bitstream_filters;
  TStringList codec_tags;
  TStringList sample_fmts;
  TDoubleList qscale;
  TStringList forced_key_frames;
  TIntList force_fps;
  TStringList frame_aspect_ratios;
  TStringList rc_overrides;
  TStringList intra_matrices;
  TStringList inter_matrices;
  TStringList chroma_intra_matrices;
  TIntList top_field_first;
  TStringList metadata_map;
  TIntList copy_initial_nonkeyframes;
  TIntList copy_prior_start;
  TStringList filters;
  TStringList filter_scripts;
  TIntList reinit_filters;
  TIntList fix_sub_duration;
  TStringList canvas_sizes;
  TIntList pass;
  TStringList passlogfiles;
  TIntList max_muxing_queue_size;
  TIntList guess_layout_max;
  TStringList apad;
  TStringList discard;
  TStringList disposition;
  TStringList program;
  TStringList time_bases;
  TStringList enc_time_bases;
  TStringList fps_mode;         // "-fps_mode"
  TStringList max_frame_rates;  // "-fpsmax"
  TIntList autoscale;           // "-autoscale"
  TIntList muxing_queue_data_threshold;
};

// The option table addresses these fields by offset, which needs a standard-layout struct.
static_assert(std::is_standard_layout_v<TOptionsContext>);

}  // namespace media
