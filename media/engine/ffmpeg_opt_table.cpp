// The engine's option table: the rows of FFmpeg's tool in its help order, the options its 5.1
// program added after them, and the program's own rows at the end (205 rows). Rows reach an
// engine field (dst_ptr), a field or per-stream list of the per-file options context (offset) or a
// handler bound to this engine.

#include <cstddef>

#include "media/engine/custom_ffmpeg_opt.h"

namespace media {

namespace {
constexpr int kTableRows = 205;
}

#define OFF(field) offsetof(TOptionsContext, field)
#define H(method) &TCustomFFmpegOpt::method

void TCustomFFmpegOpt::AddFieldRow(const char* name, int flags, void* field, const char* help,
                                   const char* argname) {
  TOptionDef& row = FOptionDef.emplace_back();
  row.name = name;
  row.flags = flags;
  row.u.dst_ptr = field;
  row.help = help;
  row.argname = argname;
}

void TCustomFFmpegOpt::AddOffsetRow(const char* name, int flags, std::size_t offset, const char* help,
                                    const char* argname) {
  TOptionDef& row = FOptionDef.emplace_back();
  row.name = name;
  row.flags = flags;
  row.u.off = offset;
  row.help = help;
  row.argname = argname;
}

void TCustomFFmpegOpt::AddHandlerRow(const char* name, int flags, TEngineOptionHandler handler,
                                     const char* help, const char* argname) {
  TOptionDef& row = FOptionDef.emplace_back();
  row.name = name;
  row.flags = flags;
  // The table lives inside the engine and dies with it, so the handler may hold this.
  row.u.func_arg = [this, handler](void* optctx, const std::string& opt, const std::string& arg) {
    return (this->*handler)(static_cast<TOptionsContext*>(optctx), opt, arg);
  };
  row.help = help;
  row.argname = argname;
}

void TCustomFFmpegOpt::BuildOptionTable() {
  if (!FOptionDef.empty()) return;
  FOptionDef.reserve(kTableRows + 1);

  // Informational rows of the tool: accepted and ignored.
  for (const char* name :
       {"L",       "h",         "?",        "help",     "-help",   "version",     "buildconf",
        "formats", "muxers",    "demuxers", "devices",  "codecs",  "decoders",    "encoders",
        "bsfs",    "protocols", "filters",  "pix_fmts", "layouts", "sample_fmts", "colors"})
    AddHandlerRow(name, OPT_EXIT, H(opt_ignore), "show information (not supported)");
  AddHandlerRow("loglevel", HAS_ARG, H(opt_loglevel), "set logging level", "loglevel");
  AddHandlerRow("v", HAS_ARG, H(opt_loglevel), "set logging level", "loglevel");
  AddHandlerRow("report", 0, H(opt_refuse), "generate a report");
  AddHandlerRow("max_alloc", HAS_ARG, H(opt_max_alloc), "set maximum size of a single allocated block",
                "bytes");
  AddHandlerRow("cpuflags", HAS_ARG, H(opt_cpuflags), "force specific cpu flags", "flags");
  AddHandlerRow("hide_banner", OPT_EXPERT, H(opt_ignore), "do not show program banner", "hide_banner");

  AddOffsetRow("f", HAS_ARG | OPT_STRING | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT, OFF(format), "force format",
               "fmt");
  AddFieldRow("y", OPT_BOOL, &Ffile_overwrite, "overwrite output files");
  AddFieldRow("n", OPT_BOOL, &Fno_file_overwrite, "never overwrite output files");
  AddFieldRow("ignore_unknown", OPT_BOOL, &Fignore_unknown_streams, "Ignore unknown stream types");
  AddFieldRow("copy_unknown", OPT_BOOL | OPT_EXPERT, &Fcopy_unknown_streams, "Copy unknown stream types");
  AddOffsetRow("c", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_INPUT | OPT_OUTPUT, OFF(codec_names), "codec name",
               "codec");
  AddOffsetRow("codec", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_INPUT | OPT_OUTPUT, OFF(codec_names),
               "codec name", "codec");
  AddHandlerRow("pre", OPT_EXIT, H(opt_refuse), "preset name", "preset");
  AddHandlerRow("map", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_OUTPUT, H(opt_map),
                "set input stream mapping",
                "[-]input_file_id[:stream_specifier][,sync_file_id[:stream_specifier]]");
  AddHandlerRow("map_channel", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_OUTPUT, H(opt_map_channel),
                "map an audio channel from one stream to another",
                "file.stream.channel[:syncfile.syncstream]");
  AddOffsetRow("map_metadata", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(metadata_map),
               "set metadata information of outfile from infile", "outfile[,metadata]:infile[,metadata]");
  AddOffsetRow("map_chapters", HAS_ARG | OPT_EXPERT | OPT_INT | OPT_OFFSET | OPT_OUTPUT,
               OFF(chapters_input_file), "set chapters mapping", "input_file_index");
  AddOffsetRow("t", HAS_ARG | OPT_OFFSET | OPT_TIME | OPT_INPUT | OPT_OUTPUT, OFF(recording_time),
               "record or transcode \"duration\" seconds of audio/video", "duration");
  AddOffsetRow("t_microsecond", HAS_ARG | OPT_INT64 | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT,
               OFF(recording_time), "record or transcode \"duration\" seconds of audio/video", "duration");
  AddOffsetRow("to", HAS_ARG | OPT_OFFSET | OPT_TIME | OPT_INPUT | OPT_OUTPUT, OFF(stop_time),
               "record or transcode stop time", "time_stop");
  AddOffsetRow("to_microsecond", HAS_ARG | OPT_INT64 | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT, OFF(stop_time),
               "record or transcode stop time", "time_stop");
  AddOffsetRow("fs", HAS_ARG | OPT_INT64 | OPT_OFFSET | OPT_OUTPUT, OFF(limit_filesize),
               "set the limit file size in bytes", "limit_size");
  AddOffsetRow("ss", HAS_ARG | OPT_OFFSET | OPT_TIME | OPT_INPUT | OPT_OUTPUT, OFF(start_time),
               "set the start time offset", "time_off");
  AddOffsetRow("ss_microsecond", HAS_ARG | OPT_INT64 | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT, OFF(start_time),
               "set the start time offset", "time_off");
  AddOffsetRow("sseof", HAS_ARG | OPT_OFFSET | OPT_TIME | OPT_INPUT | OPT_OUTPUT, OFF(start_time_eof),
               "set the start time offset relative to EOF", "time_off");
  AddOffsetRow("seek_timestamp", HAS_ARG | OPT_INT | OPT_OFFSET | OPT_INPUT, OFF(seek_timestamp),
               "enable/disable seeking by timestamp with -ss");
  AddOffsetRow("accurate_seek", OPT_BOOL | OPT_EXPERT | OPT_OFFSET | OPT_INPUT, OFF(accurate_seek),
               "enable/disable accurate seeking with -ss");
  AddOffsetRow("itsoffset", HAS_ARG | OPT_EXPERT | OPT_OFFSET | OPT_TIME | OPT_INPUT, OFF(input_ts_offset),
               "set the input ts offset", "time_off");
  AddOffsetRow("itsoffset_microsecond", HAS_ARG | OPT_EXPERT | OPT_INT64 | OPT_OFFSET | OPT_INPUT,
               OFF(input_ts_offset), "set the input ts offset", "time_off");
  AddOffsetRow("itsscale", HAS_ARG | OPT_EXPERT | OPT_SPEC | OPT_DOUBLE | OPT_INPUT, OFF(ts_scale),
               "set the input ts scale", "scale");
  AddHandlerRow("timestamp", HAS_ARG | OPT_PERFILE | OPT_OUTPUT, H(opt_recording_timestamp),
                "set the recording timestamp ('now' to set the current time)", "time");
  AddOffsetRow("metadata", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(metadata), "add metadata",
               "string=string");
  AddOffsetRow("program", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(program),
               "add program with specified streams", "title=string:st=number...");
  AddHandlerRow("dframes", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_OUTPUT, H(opt_frames_kind),
                "set the number of data frames to output", "number");
  AddHandlerRow("benchmark", OPT_EXIT, H(opt_refuse), "add timings for benchmarking");
  AddHandlerRow("benchmark_all", OPT_EXIT, H(opt_refuse), "add timings for each task");
  AddHandlerRow("progress", HAS_ARG | OPT_EXPERT, H(opt_progress),
                "write program-readable progress information", "url");
  AddHandlerRow("stdin", OPT_BOOL | OPT_EXPERT, H(opt_stdin),
                "enable or disable interaction on standard input");
  AddHandlerRow("timelimit", OPT_EXIT, H(opt_refuse), "set max runtime in seconds", "limit");
  AddFieldRow("dump", OPT_BOOL | OPT_EXPERT, &Fdo_pkt_dump, "dump each input packet");
  AddFieldRow("hex", OPT_BOOL | OPT_EXPERT, &Fdo_hex_dump, "when dumping packets, also dump the payload");
  AddOffsetRow("re", OPT_BOOL | OPT_EXPERT | OPT_OFFSET | OPT_INPUT, OFF(rate_emu),
               "read input at native frame rate", "");
  AddHandlerRow(
      "target", HAS_ARG | OPT_PERFILE | OPT_OUTPUT, H(opt_target),
      "specify target file type (\"vcd\", \"svcd\", \"dvd\", \"dv\" or \"dv50\" with optional prefixes "
      "\"pal-\", \"ntsc-\" or \"film-\")",
      "type");
  AddHandlerRow("vsync", HAS_ARG | OPT_EXPERT, H(opt_vsync), "video sync method", "");
  AddFieldRow("frame_drop_threshold", HAS_ARG | OPT_EXPERT | OPT_FLOAT, &Fframe_drop_threshold,
              "frame drop threshold", "");
  AddFieldRow("async", HAS_ARG | OPT_EXPERT | OPT_INT, &Faudio_sync_method, "audio sync method", "");
  AddFieldRow("adrift_threshold", HAS_ARG | OPT_EXPERT | OPT_FLOAT, &Faudio_drift_threshold,
              "audio drift threshold", "threshold");
  AddFieldRow("copyts", OPT_BOOL | OPT_EXPERT, &Fcopy_ts, "copy timestamps");
  AddFieldRow("start_at_zero", OPT_BOOL | OPT_EXPERT, &Fstart_at_zero,
              "shift input timestamps to start at 0 when using copyts");
  AddFieldRow("copytb", HAS_ARG | OPT_EXPERT | OPT_INT, &Fcopy_tb,
              "copy input stream time base when stream copying", "mode");
  AddOffsetRow("shortest", OPT_BOOL | OPT_EXPERT | OPT_OFFSET | OPT_OUTPUT, OFF(shortest),
               "finish encoding within shortest input");
  AddOffsetRow("apad", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(apad), "audio pad", "");
  AddFieldRow("dts_delta_threshold", HAS_ARG | OPT_EXPERT | OPT_FLOAT, &Fdts_delta_threshold,
              "timestamp discontinuity delta threshold", "threshold");
  AddFieldRow("dts_error_threshold", HAS_ARG | OPT_EXPERT | OPT_FLOAT, &Fdts_error_threshold,
              "timestamp error delta threshold", "threshold");
  AddFieldRow("xerror", OPT_BOOL | OPT_EXPERT, &Fexit_on_error, "exit on error", "error");
  AddHandlerRow("abort_on", HAS_ARG | OPT_EXPERT, H(opt_ignore), "abort on the specified condition flags",
                "flags");
  AddOffsetRow("copyinkf", OPT_BOOL | OPT_EXPERT | OPT_SPEC | OPT_OUTPUT, OFF(copy_initial_nonkeyframes),
               "copy initial non-keyframes");
  AddOffsetRow("copypriorss", HAS_ARG | OPT_EXPERT | OPT_INT | OPT_SPEC | OPT_OUTPUT, OFF(copy_prior_start),
               "copy or discard frames before start time");
  AddOffsetRow("frames", HAS_ARG | OPT_INT64 | OPT_SPEC | OPT_OUTPUT, OFF(max_frames),
               "set the number of frames to output", "number");
  AddOffsetRow("tag", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_SPEC | OPT_INPUT | OPT_OUTPUT, OFF(codec_tags),
               "force codec tag/fourcc", "fourcc/tag");
  AddOffsetRow("q", HAS_ARG | OPT_EXPERT | OPT_SPEC | OPT_DOUBLE | OPT_OUTPUT, OFF(qscale),
               "use fixed quality scale (VBR)", "q");
  AddHandlerRow("qscale", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_OUTPUT, H(opt_qscale),
                "use fixed quality scale (VBR)", "q");
  AddHandlerRow("profile", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_OUTPUT, H(opt_profile), "set profile",
                "profile");
  AddOffsetRow("filter", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(filters), "set stream filtergraph",
               "filter_graph");
  AddFieldRow("filter_threads", HAS_ARG | OPT_INT, &Ffilter_nbthreads,
              "number of non-complex filter threads");
  AddOffsetRow("filter_script", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(filter_scripts),
               "read stream filtergraph description from a file", "filename");
  AddOffsetRow("reinit_filter", HAS_ARG | OPT_INT | OPT_SPEC | OPT_INPUT, OFF(reinit_filters),
               "reinit filtergraph on input parameter changes", "");
  AddHandlerRow("filter_complex", HAS_ARG | OPT_EXPERT, H(opt_filter_complex), "create a complex filtergraph",
                "graph_description");
  AddFieldRow("filter_complex_threads", HAS_ARG | OPT_INT, &Ffilter_complex_nbthreads,
              "number of threads for -filter_complex");
  AddHandlerRow("lavfi", HAS_ARG | OPT_EXPERT, H(opt_filter_complex), "create a complex filtergraph",
                "graph_description");
  AddHandlerRow("filter_complex_script", HAS_ARG | OPT_EXPERT, H(opt_filter_complex_script),
                "read complex filtergraph description from a file", "filename");
  AddFieldRow("stats", OPT_BOOL, &Fprint_stats, "print progress report during encoding");
  AddHandlerRow("attach", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_OUTPUT, H(opt_attach),
                "add an attachment to the output file", "filename");
  AddOffsetRow("dump_attachment", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_SPEC | OPT_INPUT,
               OFF(dump_attachment), "extract an attachment into a file", "filename");
  AddOffsetRow("stream_loop", HAS_ARG | OPT_EXPERT | OPT_INT | OPT_OFFSET | OPT_INPUT, OFF(loop),
               "set number of times input stream shall be looped", "loop count");
  AddFieldRow("debug_ts", OPT_BOOL | OPT_EXPERT, &Fdebug_ts, "print timestamp debugging info");
  AddFieldRow(
      "max_error_rate", HAS_ARG | OPT_FLOAT, &Fmax_error_rate,
      "ratio of errors (0.0: no errors, 1.0: 100% errors) above which ffmpeg returns an error instead of "
      "success.",
      "maximum error rate");
  AddOffsetRow("discard", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_INPUT, OFF(discard), "discard", "");
  AddOffsetRow("disposition", HAS_ARG | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(disposition), "disposition",
               "");
  AddOffsetRow("thread_queue_size", HAS_ARG | OPT_EXPERT | OPT_INT | OPT_OFFSET | OPT_INPUT,
               OFF(thread_queue_size), "set the maximum number of queued packets from the demuxer");
  AddFieldRow("find_stream_info", OPT_BOOL | OPT_EXPERT | OPT_PERFILE | OPT_INPUT, &Ffind_stream_info,
              "read and decode the streams to fill missing information with heuristics");

  // Video options.
  AddHandlerRow("vframes", HAS_ARG | OPT_VIDEO | OPT_PERFILE | OPT_OUTPUT, H(opt_frames_kind),
                "set the number of video frames to output", "number");
  AddOffsetRow("r", HAS_ARG | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_INPUT | OPT_OUTPUT, OFF(frame_rates),
               "set frame rate (Hz value, fraction or abbreviation)", "rate");
  AddOffsetRow("s", HAS_ARG | OPT_STRING | OPT_VIDEO | OPT_SUBTITLE | OPT_SPEC | OPT_INPUT | OPT_OUTPUT,
               OFF(frame_sizes), "set frame size (WxH or abbreviation)", "size");
  AddOffsetRow("aspect", HAS_ARG | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_OUTPUT, OFF(frame_aspect_ratios),
               "set aspect ratio (4:3, 16:9 or 1.3333, 1.7777)", "aspect");
  AddOffsetRow("pix_fmt", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_INPUT | OPT_OUTPUT,
               OFF(frame_pix_fmts), "set pixel format", "format");
  AddFieldRow("bits_per_raw_sample", HAS_ARG | OPT_VIDEO | OPT_INT, &Fframe_bits_per_raw_sample,
              "set the number of bits per raw sample", "number");
  AddFieldRow("intra", OPT_BOOL | OPT_EXPERT | OPT_VIDEO, &Fintra_only, "deprecated use -g 1");
  AddOffsetRow("vn", OPT_BOOL | OPT_VIDEO | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT, OFF(video_disable),
               "disable video");
  AddOffsetRow("rc_override", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_OUTPUT,
               OFF(rc_overrides), "rate control override for specific intervals", "override");
  AddHandlerRow("vcodec", HAS_ARG | OPT_VIDEO | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT, H(opt_codec_kind),
                "force video codec ('copy' to copy stream)", "codec");
  AddHandlerRow("sameq", OPT_EXPERT | OPT_VIDEO, H(opt_sameq), "Removed");
  AddHandlerRow("same_quant", OPT_EXPERT | OPT_VIDEO, H(opt_sameq), "Removed");
  AddHandlerRow("timecode", HAS_ARG | OPT_VIDEO | OPT_PERFILE | OPT_OUTPUT, H(opt_timecode),
                "set initial TimeCode value.", "hh:mm:ss[:;.]ff");
  AddOffsetRow("pass", HAS_ARG | OPT_VIDEO | OPT_INT | OPT_SPEC | OPT_OUTPUT, OFF(pass),
               "select the pass number (1 to 3)", "n");
  AddOffsetRow("passlogfile", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_OUTPUT,
               OFF(passlogfiles), "select two pass log file name prefix", "prefix");
  AddFieldRow("deinterlace", OPT_BOOL | OPT_EXPERT | OPT_VIDEO, &Fdo_deinterlace,
              "this option is deprecated, use the yadif filter instead");
  AddFieldRow("psnr", OPT_BOOL | OPT_EXPERT | OPT_VIDEO, &Fdo_psnr, "calculate PSNR of compressed frames");
  AddHandlerRow("vstats", OPT_EXPERT | OPT_VIDEO, H(opt_vstats), "dump video coding statistics to file");
  AddHandlerRow("vstats_file", HAS_ARG | OPT_EXPERT | OPT_VIDEO, H(opt_vstats_file),
                "dump video coding statistics to file", "file");
  AddFieldRow("vstats_version", HAS_ARG | OPT_EXPERT | OPT_VIDEO | OPT_INT, &Fvstats_version,
              "Version of the vstats format to use.");
  AddHandlerRow("vf", HAS_ARG | OPT_VIDEO | OPT_PERFILE | OPT_OUTPUT, H(opt_filter_kind), "set video filters",
                "filter_graph");
  AddOffsetRow("intra_matrix", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_OUTPUT,
               OFF(intra_matrices), "specify intra matrix coeffs", "matrix");
  AddOffsetRow("inter_matrix", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_OUTPUT,
               OFF(inter_matrices), "specify inter matrix coeffs", "matrix");
  AddOffsetRow("chroma_intra_matrix", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_OUTPUT,
               OFF(chroma_intra_matrices), "specify intra matrix coeffs", "matrix");
  AddOffsetRow("top", HAS_ARG | OPT_EXPERT | OPT_VIDEO | OPT_INT | OPT_SPEC | OPT_INPUT | OPT_OUTPUT,
               OFF(top_field_first), "top=1/bottom=0/auto=-1 field first", "");
  AddHandlerRow("vtag", HAS_ARG | OPT_EXPERT | OPT_VIDEO | OPT_PERFILE | OPT_OUTPUT, H(opt_old2new),
                "force video tag/fourcc", "fourcc/tag");
  AddFieldRow("qphist", OPT_BOOL | OPT_EXPERT | OPT_VIDEO, &Fqp_hist, "show QP histogram");
  AddOffsetRow("force_fps", OPT_BOOL | OPT_EXPERT | OPT_VIDEO | OPT_SPEC | OPT_OUTPUT, OFF(force_fps),
               "force the selected framerate, disable the best supported framerate selection");
  AddHandlerRow("streamid", HAS_ARG | OPT_EXPERT | OPT_VIDEO | OPT_PERFILE | OPT_OUTPUT, H(opt_streamid),
                "set the value of an outfile streamid", "streamIndex:value");
  AddOffsetRow("force_key_frames", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_OUTPUT,
               OFF(forced_key_frames), "force key frames at specified timestamps", "timestamps");
  AddHandlerRow("ab", HAS_ARG | OPT_AUDIO | OPT_PERFILE | OPT_OUTPUT, H(opt_bitrate),
                "audio bitrate (please use -b:a)", "bitrate");
  AddHandlerRow("b", HAS_ARG | OPT_VIDEO | OPT_PERFILE | OPT_OUTPUT, H(opt_bitrate),
                "video bitrate (please use -b:v)", "bitrate");
  AddOffsetRow("hwaccel", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_INPUT, OFF(hwaccels),
               "use HW accelerated decoding", "hwaccel name");
  AddOffsetRow("hwaccel_device", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_INPUT,
               OFF(hwaccel_devices), "select a device for HW acceleration", "devicename");
  AddOffsetRow("hwaccel_output_format", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_VIDEO | OPT_SPEC | OPT_INPUT,
               OFF(hwaccel_output_formats), "select output format used with HW accelerated decoding",
               "format");
  AddHandlerRow("hwaccels", OPT_EXIT, H(opt_refuse), "show available HW acceleration methods");
  AddOffsetRow("autorotate", HAS_ARG | OPT_BOOL | OPT_EXPERT | OPT_SPEC | OPT_INPUT, OFF(autorotate),
               "automatically insert correct rotate filters");

  // Audio options.
  AddHandlerRow("aframes", HAS_ARG | OPT_AUDIO | OPT_PERFILE | OPT_OUTPUT, H(opt_frames_kind),
                "set the number of audio frames to output", "number");
  AddHandlerRow("aq", HAS_ARG | OPT_AUDIO | OPT_PERFILE | OPT_OUTPUT, H(opt_audio_qscale),
                "set audio quality (codec-specific)", "quality");
  AddOffsetRow("ar", HAS_ARG | OPT_AUDIO | OPT_INT | OPT_SPEC | OPT_INPUT | OPT_OUTPUT,
               OFF(audio_sample_rate), "set audio sampling rate (in Hz)", "rate");
  AddOffsetRow("ac", HAS_ARG | OPT_AUDIO | OPT_INT | OPT_SPEC | OPT_INPUT | OPT_OUTPUT, OFF(audio_channels),
               "set number of audio channels", "channels");
  AddOffsetRow("an", OPT_BOOL | OPT_AUDIO | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT, OFF(audio_disable),
               "disable audio");
  AddHandlerRow("acodec", HAS_ARG | OPT_AUDIO | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT, H(opt_codec_kind),
                "force audio codec ('copy' to copy stream)", "codec");
  AddHandlerRow("atag", HAS_ARG | OPT_EXPERT | OPT_AUDIO | OPT_PERFILE | OPT_OUTPUT, H(opt_old2new),
                "force audio tag/fourcc", "fourcc/tag");
  AddFieldRow("vol", HAS_ARG | OPT_AUDIO | OPT_INT, &Faudio_volume, "change audio volume (256=normal)",
              "volume");
  AddOffsetRow("sample_fmt",
               HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_AUDIO | OPT_SPEC | OPT_INPUT | OPT_OUTPUT,
               OFF(sample_fmts), "set sample format", "format");
  AddHandlerRow("channel_layout", HAS_ARG | OPT_EXPERT | OPT_AUDIO | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT,
                H(opt_channel_layout), "set channel layout", "layout");
  AddHandlerRow("af", HAS_ARG | OPT_AUDIO | OPT_PERFILE | OPT_OUTPUT, H(opt_filter_kind), "set audio filters",
                "filter_graph");
  AddOffsetRow("guess_layout_max", HAS_ARG | OPT_EXPERT | OPT_AUDIO | OPT_INT | OPT_SPEC | OPT_INPUT,
               OFF(guess_layout_max),
               "set the maximum number of channels to try to guess the channel layout");

  // Subtitle options.
  AddOffsetRow("sn", OPT_BOOL | OPT_SUBTITLE | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT, OFF(subtitle_disable),
               "disable subtitle");
  AddHandlerRow("scodec", HAS_ARG | OPT_SUBTITLE | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT, H(opt_codec_kind),
                "force subtitle codec ('copy' to copy stream)", "codec");
  AddHandlerRow("stag", HAS_ARG | OPT_EXPERT | OPT_SUBTITLE | OPT_PERFILE | OPT_OUTPUT, H(opt_old2new),
                "force subtitle tag/fourcc", "fourcc/tag");
  AddOffsetRow("fix_sub_duration", OPT_BOOL | OPT_EXPERT | OPT_SUBTITLE | OPT_SPEC | OPT_INPUT,
               OFF(fix_sub_duration), "fix subtitles duration");
  AddOffsetRow("canvas_size", HAS_ARG | OPT_STRING | OPT_SUBTITLE | OPT_SPEC | OPT_INPUT, OFF(canvas_sizes),
               "set canvas size (WxH or abbreviation)", "size");

  // Grab options.
  AddHandlerRow("vc", HAS_ARG | OPT_EXPERT | OPT_VIDEO, H(opt_video_channel), "deprecated, use -channel",
                "channel");
  AddHandlerRow("tvstd", HAS_ARG | OPT_EXPERT | OPT_VIDEO, H(opt_video_standard), "deprecated, use -standard",
                "standard");
  // Its meaning of the FFmpeg 5.1 program: an input option naming the sync reference.
  AddOffsetRow("isync", HAS_ARG | OPT_EXPERT | OPT_INT | OPT_OFFSET | OPT_INPUT, OFF(input_sync_ref),
               "Indicate the input index for sync reference", "sync ref");

  // Muxer options.
  AddOffsetRow("muxdelay", HAS_ARG | OPT_EXPERT | OPT_FLOAT | OPT_OFFSET | OPT_OUTPUT, OFF(mux_max_delay),
               "set the maximum demux-decode delay", "seconds");
  AddOffsetRow("muxpreload", HAS_ARG | OPT_EXPERT | OPT_FLOAT | OPT_OFFSET | OPT_OUTPUT, OFF(mux_preload),
               "set the initial demux-decode delay", "seconds");
  AddFieldRow("override_ffserver", OPT_BOOL | OPT_EXPERT | OPT_OUTPUT, &Foverride_ffserver,
              "override the options from ffserver", "");
  AddHandlerRow("sdp_file", HAS_ARG | OPT_EXPERT | OPT_OUTPUT, H(opt_sdp_file),
                "specify a file in which to print sdp information", "file");
  AddOffsetRow("time_base", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(time_bases),
               "set the desired time base hint for output stream (1:24, 1:48000 or 0.04166, 2.0833e-5)",
               "ratio");
  AddOffsetRow(
      "enc_time_base", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(enc_time_bases),
      "set the desired time base for the encoder (1:24, 1:48000 or 0.04166, 2.0833e-5). two special values "
      "are defined - 0 = use frame rate (video) or sample rate (audio),-1 = match source time base",
      "ratio");
  AddOffsetRow("bsf", HAS_ARG | OPT_EXPERT | OPT_STRING | OPT_SPEC | OPT_OUTPUT, OFF(bitstream_filters),
               "A comma-separated list of bitstream filters", "bitstream_filters");
  AddHandlerRow("absf", HAS_ARG | OPT_EXPERT | OPT_AUDIO | OPT_PERFILE | OPT_OUTPUT, H(opt_old2new),
                "deprecated", "audio bitstream_filters");
  AddHandlerRow("vbsf", HAS_ARG | OPT_EXPERT | OPT_VIDEO | OPT_PERFILE | OPT_OUTPUT, H(opt_old2new),
                "deprecated", "video bitstream_filters");
  AddHandlerRow("apre", HAS_ARG | OPT_EXPERT | OPT_AUDIO | OPT_PERFILE | OPT_OUTPUT, H(opt_preset),
                "set the audio options to the indicated preset", "preset");
  AddHandlerRow("vpre", HAS_ARG | OPT_EXPERT | OPT_VIDEO | OPT_PERFILE | OPT_OUTPUT, H(opt_preset),
                "set the video options to the indicated preset", "preset");
  AddHandlerRow("spre", HAS_ARG | OPT_EXPERT | OPT_SUBTITLE | OPT_PERFILE | OPT_OUTPUT, H(opt_preset),
                "set the subtitle options to the indicated preset", "preset");
  AddHandlerRow("fpre", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_OUTPUT, H(opt_preset),
                "set options from indicated preset file", "filename");
  AddOffsetRow("max_muxing_queue_size", HAS_ARG | OPT_EXPERT | OPT_INT | OPT_SPEC | OPT_OUTPUT,
               OFF(max_muxing_queue_size),
               "maximum number of packets that can be buffered while waiting for all "
               "streams to initialize",
               "packets");

  // Data codec support.
  AddHandlerRow("dcodec", HAS_ARG | OPT_EXPERT | OPT_DATA | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT,
                H(opt_codec_kind), "force data codec ('copy' to copy stream)", "codec");
  AddOffsetRow("dn", OPT_BOOL | OPT_VIDEO | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT, OFF(data_disable),
               "disable data");
  AddFieldRow("qsv_device", HAS_ARG | OPT_EXPERT | OPT_STRING, &Fqsv_device,
              "set QSV hardware device (DirectX adapter index, DRM path or X11 display name)", "device");
  AddHandlerRow("init_hw_device", HAS_ARG | OPT_EXPERT, H(opt_init_hw_device), "initialise hardware device",
                "args");
  AddHandlerRow("filter_hw_device", HAS_ARG | OPT_EXPERT, H(opt_filter_hw_device),
                "set hardware device used when filtering", "device");

  // Options of the FFmpeg 5.1 program.
  AddHandlerRow("dispositions", OPT_EXIT, H(opt_ignore), "show information (not supported)");
  AddHandlerRow("sources", OPT_EXIT | HAS_ARG, H(opt_ignore), "show information (not supported)", "device");
  AddHandlerRow("sinks", OPT_EXIT | HAS_ARG, H(opt_ignore), "show information (not supported)", "device");
  AddHandlerRow("ch_layout", HAS_ARG | OPT_EXPERT | OPT_AUDIO | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT,
                H(opt_channel_layout), "set channel layout", "layout");
  AddOffsetRow("fps_mode", HAS_ARG | OPT_VIDEO | OPT_EXPERT | OPT_STRING | OPT_SPEC | OPT_OUTPUT,
               OFF(fps_mode), "set framerate mode for matching video streams; overrides vsync", "");
  AddOffsetRow("fpsmax", HAS_ARG | OPT_VIDEO | OPT_EXPERT | OPT_STRING | OPT_SPEC | OPT_OUTPUT,
               OFF(max_frame_rates), "set max frame rate (Hz value, fraction or abbreviation)", "rate");
  AddOffsetRow("autoscale", HAS_ARG | OPT_BOOL | OPT_EXPERT | OPT_SPEC | OPT_OUTPUT, OFF(autoscale),
               "automatically insert a scale filter at the end of the filter graph");
  AddOffsetRow("bitexact", OPT_BOOL | OPT_EXPERT | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT, OFF(bitexact),
               "bitexact mode");
  AddOffsetRow("readrate", HAS_ARG | OPT_FLOAT | OPT_OFFSET | OPT_EXPERT | OPT_INPUT, OFF(readrate),
               "read input at specified rate", "speed");
  AddFieldRow("recast_media", OPT_BOOL | OPT_EXPERT, &Frecast_media,
              "allow recasting stream type in order to force a decoder of different media type");
  AddHandlerRow("stats_period", HAS_ARG | OPT_EXPERT, H(opt_stats_period),
                "set the period at which ffmpeg updates stats and -progress output", "time");
  AddFieldRow("auto_conversion_filters", OPT_BOOL | OPT_EXPERT, &Fauto_conversion_filters,
              "enable automatic conversion filters globally");
  AddHandlerRow("cpucount", HAS_ARG | OPT_EXPERT, H(opt_cpucount), "force specific cpu count", "count");
  AddOffsetRow("muxing_queue_data_threshold", HAS_ARG | OPT_INT | OPT_SPEC | OPT_EXPERT | OPT_OUTPUT,
               OFF(muxing_queue_data_threshold),
               "set the threshold after which max_muxing_queue_size is taken into account", "bytes");
  AddHandlerRow("vaapi_device", HAS_ARG | OPT_EXPERT, H(opt_vaapi_device),
                "set VAAPI hardware device (DRM path or X11 display name)", "device");

  // The program's own rows.
  AddHandlerRow("VideoHookBitsPixel", HAS_ARG | OPT_EXPERT | OPT_VIDEO, H(OptVideoHookBitsPixel),
                "VideoHookBitsPixel", "bpp");
  AddHandlerRow("TimeStart", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT, H(opt_time_seconds),
                "TimeStart");
  AddHandlerRow("timestart", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT, H(opt_time_seconds),
                "timestart");
  AddHandlerRow("TimeLength", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT,
                H(opt_time_seconds), "TimeLength");
  AddHandlerRow("timelength", HAS_ARG | OPT_EXPERT | OPT_PERFILE | OPT_INPUT | OPT_OUTPUT,
                H(opt_time_seconds), "timelength");
  for (const char* name : {"AudioInputHook", "AudioOutputHook", "VideoInputHook", "VideoOutputHook",
                           "FrameInputHook", "FrameOutputHook"})
    AddHandlerRow(name, OPT_EXIT, H(opt_empty), name);

  if (FOptionDef.size() != std::size_t(kTableRows)) {
    FOptionDef.clear();
    throw FFmpegException("Assertion failed: the option table must have 205 rows.");
  }
  FOptionDef.emplace_back();  // the terminator: a row without a name
}

#undef OFF
#undef H

}  // namespace media
