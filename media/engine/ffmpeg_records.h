#pragma once
// The plain records of one conversion: input files and streams, output files and streams, filter
// graphs with their pads and hardware devices. The option layer (TCustomFFmpegOpt) creates them while
// the input and output files are opened; the transcoding loop (TCustomFFmpeg) works on them on the
// conversion thread. Field names keep the names of FFmpeg's command-line tool so the two can be read
// side by side. Every record holds the FFmpeg objects it owns in owners (media/ff_handles.h), so a
// record frees them when it goes; members go in the reverse of their declaration order, and where
// that order matters the declarations say so. The engine owns the records through its arrays and
// destroys them at clean-up in a fixed order (filter graphs first, because their pads point at
// streams).

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/eval.h>
#include <libavutil/fifo.h>
}

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/engine/encoder_thread.h"
#include "media/ff_handles.h"

namespace media {

struct TInputStream;
struct TOutputStream;
struct TFilterGraph;

/// Hardware acceleration of an input stream ("-hwaccel"): none, "auto", or the device type a name
/// gives (hwaccel_device_type).
enum class THWAccelID {
  HWACCEL_NONE,
  HWACCEL_AUTO,
  HWACCEL_GENERIC,
};

class TCustomFFmpeg;

/// A hardware device made by "-init_hw_device".
struct THWDevice {
  std::string name;
  AVHWDeviceType type_ = AV_HWDEVICE_TYPE_NONE;
  TBufferRefPtr device_ref;
};

/// `finished` bits of an output stream.
inline constexpr int ENCODER_FINISHED = 1;
inline constexpr int MUXER_FINISHED = 2;

/// A graph input fed by one input stream.
struct TInputFilter {
  AVFilterContext* filter = nullptr;  // buffer source; owned by graph->graph
  TInputStream* ist = nullptr;
  TFilterGraph* graph = nullptr;
  std::string name;
  AVMediaType type_ = AVMEDIA_TYPE_UNKNOWN;
  /// Frames that arrived before every input of the graph knew its format.
  TFrameQueuePtr frame_queue;
  // Parameters of the frames this input receives; format -1 until the first frame (or the stream's
  // parameters at flushing) tells them.
  int format = -1;
  int width = 0;
  int height = 0;
  AVRational sample_aspect_ratio{0, 1};
  int sample_rate = 0;
  TChannelLayoutValue ch_layout;
  TBufferRefPtr hw_frames_ctx;
  int eof = 0;
};

/// A graph output feeding one output stream.
struct TOutputFilter {
  AVFilterContext* filter = nullptr;  // buffer sink; owned by graph->graph
  TOutputStream* ost = nullptr;
  TFilterGraph* graph = nullptr;
  std::string name;
  TFilterInOutPtr out_tmp;  // not yet bound output of a complex graph
  AVMediaType type_ = AVMEDIA_TYPE_UNKNOWN;
  // What the output stream asked for ("-s", "-pix_fmt", "-r", "-ar", "-ac", "-sample_fmt") and,
  // once the graph is configured, what the sink delivers. 0 / -1 / empty mean "free".
  int width = 0;
  int height = 0;
  AVRational frame_rate{0, 1};
  int format = -1;
  int sample_rate = 0;
  TChannelLayoutValue ch_layout;
};

struct TFilterGraph {
  int index = 0;
  /// Description of a complex graph; empty optional for a simple graph, whose text is its output
  /// stream's `avfilter`.
  std::optional<std::string> graph_desc;
  int reconfiguration = 0;
  std::vector<std::unique_ptr<TInputFilter>> inputs;
  std::vector<std::unique_ptr<TOutputFilter>> outputs;
  /// Declared after the pads, so it goes first: the pads point into the graph (their buffer
  /// source and sink), and no pad outlives its filter context.
  TFilterGraphPtr graph;
};

struct TInputFile {
  TInputContextPtr ctx;
  int eof_reached = 0;
  int eagain = 0;
  int ist_index = 0;
  int loop = 0;
  int64_t duration = 0;
  AVRational time_base{1, 1};
  int64_t input_ts_offset = 0;
  int64_t ts_offset = 0;
  int64_t last_ts = AV_NOPTS_VALUE;
  int64_t start_time = AV_NOPTS_VALUE;
  int seek_timestamp = 0;
  int64_t recording_time = INT64_MAX;
  int nb_streams = 0;
  int nb_streams_warn = 0;
  int rate_emu = 0;
  float readrate = 0;  // reading speed of "-re"/"-readrate" (0: as fast as it goes)
  int accurate_seek = 0;
  /// ts_offset was worked out with "-copyts" (a later "-copyts" among the output options works
  /// it out again, as if the option had come first).
  bool ts_offset_copy_ts = false;
  /// "-isync": the input whose clock this one keeps (-1, or its own index: none), and whether
  /// ts_offset has been through that step since it was last worked out.
  int input_sync_ref = -1;
  bool ts_offset_synced = false;
};

struct TISprev_sub {
  int got_output = 0;
  int ret = 0;
  TSubtitleValue subtitle;
};

struct TISsub2video {
  int64_t last_pts = 0;
  int64_t end_pts = 0;
  TSubtitleQueuePtr sub_queue;
  TFramePtr frame;
  int w = 0;
  int h = 0;
};

struct TInputStream {
  int file_index = 0;
  AVStream* st = nullptr;  // borrowed from the input file's ctx
  int discard = 1;
  int user_set_discard = AVDISCARD_NONE;
  int decoding_needed = 0;
  TCodecContextPtr dec_ctx;
  const AVCodec* avdec = nullptr;
  TFramePtr decoded_frame;
  TFramePtr filter_frame;
  int64_t start = 0;
  int64_t first_dts = AV_NOPTS_VALUE;  // first demuxed DTS, stream time base
  int64_t next_dts = AV_NOPTS_VALUE;
  int64_t dts = 0;
  int64_t next_pts = AV_NOPTS_VALUE;
  int64_t pts = 0;
  int wrap_correction_done = 0;
  int64_t filter_in_rescale_delta_last = AV_NOPTS_VALUE;
  int64_t min_pts = INT64_MAX;
  int64_t max_pts = INT64_MIN;
  int64_t cfr_next_pts = 0;
  int64_t nb_samples = 0;
  double ts_scale = 1.0;
  int saw_first_ts = 0;
  TDictionaryPtr decoder_opts;
  AVRational framerate{0, 0};
  int top_field_first = -1;
  int guess_layout_max = INT32_MAX;
  int autorotate = 1;
  int fix_sub_duration = 0;
  TISprev_sub prev_sub;
  TISsub2video sub2video;
  int dr1 = 0;
  std::vector<TInputFilter*> filters;  // borrowed from the graphs
  int reinit_filters = -1;
  THWAccelID hwaccel_id = THWAccelID::HWACCEL_NONE;
  std::string hwaccel_device;
  AVPixelFormat hwaccel_output_format = AV_PIX_FMT_NONE;
  AVHWDeviceType hwaccel_device_type = AV_HWDEVICE_TYPE_NONE;
  void* hwaccel_ctx = nullptr;
  AVPixelFormat hwaccel_pix_fmt = AV_PIX_FMT_NONE;
  AVPixelFormat hwaccel_retrieved_pix_fmt = AV_PIX_FMT_NONE;
  bool hwaccel_retrieve_data = false;  // frames in hwaccel_pix_fmt are copied to system memory
  TCustomFFmpeg* engine = nullptr;     // the engine whose decoder callbacks serve this stream
  uint64_t data_size = 0;
  uint64_t nb_packets = 0;
  uint64_t frames_decoded = 0;
  uint64_t samples_decoded = 0;
  std::vector<int64_t> dts_buffer;
  int got_output = 0;
  int frame_number = 0;
};

struct TOutputFile {
  TOutputContextPtr ctx;
  TDictionaryPtr opts;
  int ost_index = 0;
  int64_t recording_time = INT64_MAX;
  int64_t start_time = AV_NOPTS_VALUE;
  uint64_t limit_filesize = UINT64_MAX;
  int shortest = 0;
  int header_written = 0;
  /// The engine opened the file for writing (clean-up may delete it when it stayed empty).
  bool opened_for_writing = false;
  std::string file_name;
};

struct TOutputStream {
  int file_index = 0;
  int index = 0;
  int source_index = -1;
  AVStream* st = nullptr;  // borrowed from the output file's ctx
  int encoding_needed = 0;
  int frame_number = 0;
  TInputStream* sync_ist = nullptr;
  int64_t sync_opts = 0;
  int64_t first_pts = 0;
  int64_t forced_kf_first_pts = AV_NOPTS_VALUE;  // "t" of a "-force_key_frames" expression counts from it
  int64_t last_mux_dts = AV_NOPTS_VALUE;
  AVRational mux_timebase{0, 1};
  AVRational enc_timebase{0, 0};
  TEncoderContextPtr enc_ctx;
  /// Declared after the encoder context, so the filters go before it.
  std::vector<TBitstreamFilterPtr> bsf_ctx;
  /// The video encoder's own thread while it encodes (see EncodesOnThread); declared after the
  /// encoder context, so the thread ends before the context is freed.
  std::unique_ptr<TEncoderThread> encoder_thread;
  TCodecParametersPtr ref_par;
  const AVCodec* enc = nullptr;
  int64_t max_frames = INT64_MAX;
  TFramePtr filtered_frame;
  TFramePtr last_frame;
  int last_dropped = 0;
  int last_nb0_frames[3] = {0, 0, 0};
  void* hwaccel_ctx = nullptr;
  AVRational frame_rate{0, 0};
  int is_cfr = 0;
  int force_fps = 0;
  int top_field_first = -1;
  int rotate_overridden = 0;
  double rotate_override_value = 0;
  AVRational frame_aspect_ratio{0, 0};
  std::vector<int64_t> forced_kf_pts;
  int forced_kf_index = 0;
  std::string forced_keyframes;
  TExpressionPtr forced_keyframes_pexpr;
  double forced_keyframes_expr_const_values[5] = {0, 0, 0, 0, 0};
  std::vector<int> audio_channels_map;
  std::string logfile_prefix;
  TFilePtr logfile;
  TOutputFilter* filter = nullptr;  // borrowed from its graph
  std::string avfilter;
  std::string filters;
  std::string filters_script;
  TDictionaryPtr encoder_opts;
  TDictionaryPtr sws_dict;
  TDictionaryPtr swr_opts;
  TDictionaryPtr resample_opts;
  std::string apad;
  int finished = 0;
  int unavailable = 0;
  int stream_copy = 0;
  int initialized = 0;
  int inputs_done = 0;
  std::string attachment_filename;
  int copy_initial_nonkeyframes = 0;
  int copy_prior_start = -1;
  std::string disposition;
  int keep_pix_fmt = 0;
  uint64_t data_size = 0;
  uint64_t packets_written = 0;
  uint64_t frames_encoded = 0;
  uint64_t samples_encoded = 0;
  int quality = 0;
  int max_muxing_queue_size = 128;
  /// Bytes the muxing queue may hold before max_muxing_queue_size limits its packets.
  int64_t muxing_queue_data_threshold = 50 * 1024 * 1024;
  int64_t muxing_queue_data_size = 0;
  TPacketQueuePtr muxing_queue;
  int vsync_method = -1;            // "-fps_mode" of the stream, else "-vsync"
  AVRational max_frame_rate{0, 1};  // "-fpsmax"
  int autoscale = 1;                // "-autoscale": scale to "-s" at the end of the graph
  int pict_type = 0;
  int64_t error[4] = {0, 0, 0, 0};
  int is_filter_codec_opts = 0;
  int is_avcodec_opened = 0;
};

}  // namespace media
