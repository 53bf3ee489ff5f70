// Handlers of the option rows that need more than a stored value. Each returns 0 on success or a
// negative FFmpeg error; "raise" failures throw FFmpegException through RaiseError. Opening thread.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/hwcontext.h>
#include <libavutil/mem.h>
#include <libavutil/parseutils.h>
}

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <utility>

#include "media/engine/custom_ffmpeg_opt.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_options.h"
#include "media/ff_utils.h"

namespace media {

int TCustomFFmpegOpt::opt_ignore(TOptionsContext*, const std::string& opt, const std::string&) {
  Log(TLogLevel::llWarning, "options \"%s\" not supported, ignore", opt.c_str());
  return 0;
}

int TCustomFFmpegOpt::opt_refuse(TOptionsContext*, const std::string& opt, const std::string&) {
  SetOptionError(TLogLevel::llError, "options \"%s\" not supported", opt.c_str());
  return AVERROR(EINVAL);
}

int TCustomFFmpegOpt::opt_stdin(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  // A Boolean row: "-nostdin" comes with "0", "-stdin" with "1".
  if (arg == "0") return 0;
  return opt_refuse(o, opt, arg);
}

int TCustomFFmpegOpt::opt_empty(TOptionsContext*, const std::string&, const std::string&) { return 0; }

int TCustomFFmpegOpt::opt_loglevel(TOptionsContext*, const std::string& opt, const std::string& arg) {
  return SetLogLevelOption(opt, arg);
}

int TCustomFFmpegOpt::opt_max_alloc(TOptionsContext*, const std::string&, const std::string& arg) {
  char* tail = nullptr;
  const unsigned long long max = std::strtoull(arg.c_str(), &tail, 10);
  if (arg.empty() || *tail != '\0') {
    SetOptionError(TLogLevel::llFatal, "Invalid max_alloc \"%s\".", arg.c_str());
    return AVERROR(EINVAL);
  }
  FF().av_max_alloc(std::size_t(max));
  FForcedMaxAlloc = true;
  return 0;
}

int TCustomFFmpegOpt::opt_cpuflags(TOptionsContext*, const std::string&, const std::string& arg) {
  unsigned flags = unsigned(FF().av_get_cpu_flags());
  const int ret = FF().av_parse_cpu_caps(&flags, arg.c_str());
  if (ret < 0) {
    SetOptionError(TLogLevel::llFatal, "Failed to parse cpu flags \"%s\": %s", arg.c_str(),
                   FormatAVError(ret).c_str());
    return ret;
  }
  FF().av_force_cpu_flags(int(flags));
  FForcedCpuFlags = true;
  return 0;
}

namespace {

// An input stream matches a specifier: 1, 0, or (malformed) an error raised by the caller.
int MatchSpec(AVFormatContext* s, AVStream* st, const char* spec) {
  return FF().avformat_match_stream_specifier(s, st, spec);
}

}  // namespace

int TCustomFFmpegOpt::opt_map(TOptionsContext* o, const std::string& opt, const std::string& argText) {
  std::string arg = argText;
  bool negative = false;
  if (!arg.empty() && arg[0] == '-') {
    negative = true;
    arg.erase(0, 1);
  }
  std::string map = arg;
  int syncFileIdx = -1;
  int syncStreamIdx = 0;

  // The sync part first: the first stream of that file that the specifier matches.
  const std::size_t comma = map.find(',');
  if (comma != std::string::npos) {
    const std::string sync = map.substr(comma + 1);
    map.resize(comma);
    char* rest = nullptr;
    syncFileIdx = int(std::strtol(sync.c_str(), &rest, 0));
    if (syncFileIdx < 0 || syncFileIdx >= int(Finput_files.size()))
      RaiseErrorFmt("Invalid sync file index: %d.", syncFileIdx);
    if (*rest != '\0') rest++;
    const TInputFile& f = *Finput_files[syncFileIdx];
    int i = 0;
    for (; i < f.nb_streams; i++) {
      const int r = MatchSpec(f.ctx.get(), f.ctx->streams[i], rest);
      if (r < 0) RaiseError(FormatAVError("check_stream_specifier", r));
      if (r == 1) {
        syncStreamIdx = i;
        break;
      }
    }
    if (i == f.nb_streams)
      RaiseErrorFmt("Sync stream specification in map %s does not match any streams.", argText.c_str());
  }

  bool matched = false;
  bool disabledMatched = false;
  bool allowUnused = false;
  if (!map.empty() && map[0] == '[') {
    // An output of a complex filter graph.
    const std::size_t close = map.find(']');
    if (close == std::string::npos) RaiseErrorFmt("Invalid output link label: %s.", map.c_str());
    TStreamMap m;
    m.linklabel = map.substr(1, close - 1);
    o->stream_maps.push_back(m);
    matched = true;
  } else {
    const std::size_t question = map.find('?');
    if (question != std::string::npos) {
      allowUnused = true;
      map.resize(question);
    }
    char* p = nullptr;
    const int fileIdx = int(std::strtol(map.c_str(), &p, 0));
    if (fileIdx < 0 || fileIdx >= int(Finput_files.size()))
      RaiseErrorFmt("Invalid input file index: %d.", fileIdx);
    const char* spec = *p == ':' ? p + 1 : p;
    if (negative) {
      // Disable maps given earlier for this file.
      for (TStreamMap& m : o->stream_maps) {
        if (!m.linklabel.empty() || m.file_index != fileIdx) continue;
        AVFormatContext* ctx = Finput_files[m.file_index]->ctx.get();
        const int r = MatchSpec(ctx, ctx->streams[m.stream_index], spec);
        if (r < 0) RaiseError(FormatAVError("check_stream_specifier", r));
        if (r > 0) {
          m.disabled = 1;
          matched = true;
        }
      }
    } else {
      const TInputFile& f = *Finput_files[fileIdx];
      for (int i = 0; i < f.nb_streams; i++) {
        const int r = MatchSpec(f.ctx.get(), f.ctx->streams[i], spec);
        if (r < 0) RaiseError(FormatAVError("check_stream_specifier", r));
        if (r <= 0) continue;
        if (Finput_streams[std::size_t(f.ist_index + i)]->user_set_discard == AVDISCARD_ALL) {
          disabledMatched = true;  // "-discard all" takes the stream out of every output
          continue;
        }
        TStreamMap m;
        m.file_index = fileIdx;
        m.stream_index = i;
        m.sync_file_index = syncFileIdx >= 0 ? syncFileIdx : fileIdx;
        m.sync_stream_index = syncFileIdx >= 0 ? syncStreamIdx : i;
        o->stream_maps.push_back(m);
        matched = true;
      }
    }
  }
  if (!matched && disabledMatched) {
    if (!allowUnused)
      RaiseErrorFmt("Stream map \"%s\" matches disabled streams.\nTo ignore this, add a trailing \"?\" to the map.",
                    argText.c_str());
    Log(TLogLevel::llVerbose, "Stream map \"%s\" matches disabled streams; ignoring.", argText.c_str());
  } else if (!matched) {
    if (allowUnused) {
      Log(TLogLevel::llVerbose, "Stream map \"%s\" matches no streams; ignoring.", argText.c_str());
    } else {
      RaiseErrorFmt("Stream map \"%s\" matches no streams.\nTo ignore this, add a trailing \"?\" to the map.",
                    argText.c_str());
    }
  }
  return 0;
}

int TCustomFFmpegOpt::opt_map_channel(TOptionsContext* o, const std::string&, const std::string& arg) {
  TAudioChannelMap m;
  int a = 0, b = 0, c = 0;
  // The muted form: "-1" alone or "-1:ofile.ostream".
  int n = std::sscanf(arg.c_str(), "%d:%d.%d", &a, &b, &c);
  if ((n == 1 || n == 3) && a == -1) {
    m.file_idx = m.stream_idx = -1;
    m.channel_idx = -1;
    if (n == 1) {
      m.ofile_idx = m.ostream_idx = -1;
    } else {
      m.ofile_idx = b;
      m.ostream_idx = c;
    }
    o->audio_channel_maps.push_back(m);
    return 0;
  }
  n = std::sscanf(arg.c_str(), "%d.%d.%d:%d.%d", &m.file_idx, &m.stream_idx, &m.channel_idx, &m.ofile_idx,
                  &m.ostream_idx);
  if (n != 3 && n != 5)
    RaiseError("Syntax error, mapchan usage: [file.stream.channel|-1][:syncfile:syncstream]");
  if (n != 5) m.ofile_idx = m.ostream_idx = -1;
  if (m.file_idx < 0 || m.file_idx >= int(Finput_files.size()))
    RaiseErrorFmt("mapchan: invalid input file index: %d", m.file_idx);
  const TInputFile& f = *Finput_files[m.file_idx];
  if (m.stream_idx < 0 || m.stream_idx >= f.nb_streams)
    RaiseErrorFmt("mapchan: invalid input file stream index #%d.%d", m.file_idx, m.stream_idx);
  const AVStream* st = f.ctx->streams[m.stream_idx];
  if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
    RaiseErrorFmt("mapchan: stream #%d.%d is not an audio stream.", m.file_idx, m.stream_idx);
  if (m.channel_idx < 0 || m.channel_idx >= st->codecpar->ch_layout.nb_channels)
    RaiseErrorFmt("mapchan: invalid audio channel #%d.%d.%d", m.file_idx, m.stream_idx, m.channel_idx);
  o->audio_channel_maps.push_back(m);
  return 0;
}

int TCustomFFmpegOpt::opt_attach(TOptionsContext* o, const std::string&, const std::string& arg) {
  o->attachments.push_back(arg);
  return 0;
}

int TCustomFFmpegOpt::opt_recording_timestamp(TOptionsContext* o, const std::string& opt,
                                              const std::string& arg) {
  int64_t recordingTimestamp = 0;
  if (FF().av_parse_time(&recordingTimestamp, arg.c_str(), 0) < 0)
    RaiseErrorFmt("Invalid date specification for \"%s\": \"%s\"", opt.c_str(), arg.c_str());
  const std::time_t seconds = std::time_t(recordingTimestamp / 1000000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char buf[128];
  std::strftime(buf, sizeof buf, "creation_time=%Y-%m-%d %H:%M:%S", &local);
  const int ret = ParseOptionByName(o, "metadata", buf);
  Log(TLogLevel::llWarning, "%s is deprecated, set the \"creation_time\" metadata tag instead.", opt.c_str());
  return ret;
}

int TCustomFFmpegOpt::opt_progress(TOptionsContext*, const std::string&, const std::string& argText) {
  const std::string arg = argText == "-" ? "pipe:" : argText;
  const std::string refusal = InputRefusal(arg, arg, false);
  if (!refusal.empty()) {
    SetOptionError(TLogLevel::llFatal, "%s", refusal.c_str());
    return AVERROR(EEXIST);
  }
  FLastWrite = Now();
  TIOContextPtr avio;
  const int ret = FF().avio_open2(OutPtr(avio), arg.c_str(), AVIO_FLAG_WRITE, &FWriteCallback, nullptr);
  if (ret < 0) {
    SetOptionError(TLogLevel::llError, "Failed to open progress URL \"%s\": %s", arg.c_str(),
                   FormatAVError(ret).c_str());
    return ret;
  }
  Fprogress_avio = std::move(avio);
  return 0;
}

int TCustomFFmpegOpt::opt_target(TOptionsContext* o, const std::string&, const std::string& arg) {
  enum { PAL, NTSC, FILM, UNKNOWN } norm = UNKNOWN;
  static const char* const frameRates[] = {"25", "30000/1001", "24000/1001"};
  std::string type = arg;
  if (type.rfind("pal-", 0) == 0) {
    norm = PAL;
    type.erase(0, 4);
  } else if (type.rfind("ntsc-", 0) == 0) {
    norm = NTSC;
    type.erase(0, 5);
  } else if (type.rfind("film-", 0) == 0) {
    norm = FILM;
    type.erase(0, 5);
  } else {
    // The norm of the first video stream whose time base tells one.
    for (auto& f : Finput_files) {
      for (int i = 0; i < f->nb_streams && norm == UNKNOWN; i++) {
        const AVStream* st = f->ctx->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || st->time_base.num == 0) continue;
        const long long fr = std::llround(double(st->time_base.den) * 1000.0 / st->time_base.num);
        if (fr == 25000)
          norm = PAL;
        else if (fr == 29970 || fr == 23976)
          norm = NTSC;
      }
      if (norm != UNKNOWN) break;
    }
    if (norm == UNKNOWN)
      RaiseError(
          "Could not determine norm (PAL/NTSC/NTSC-Film) for target.\nPlease prefix target with \"pal-\", "
          "\"ntsc-\" "
          "or \"film-\",\nor set a framerate with \"-r xxx\".");
    Log(TLogLevel::llInfo, "Assuming %s for target.", norm == PAL ? "PAL" : "NTSC");
  }
  const bool ntscLike = norm != PAL;
  auto set = [&](const char* name, const std::string& value) {
    const int ret = ParseOptionByName(o, name, value);
    if (ret < 0) throw FFmpegException(LastOptionError());
  };
  auto dict = [&](const char* name, const char* value) { FOptions->opt_default(name, value); };

  if (type == "vcd") {
    set("codec:v", "mpeg1video");
    set("codec:a", "mp2");
    set("f", "vcd");
    set("s", ntscLike ? "352x240" : "352x288");
    set("r", frameRates[norm]);
    dict("g", ntscLike ? "18" : "15");
    dict("b:v", "1150000");
    dict("maxrate:v", "1150000");
    dict("minrate:v", "1150000");
    dict("bufsize:v", "327680");  // 40*1024*8
    dict("b:a", "224000");
    set("ar", "44100");
    set("ac", "2");
    dict("packetsize", "2324");
    dict("muxrate", "1411200");  // 2352 * 75 * 8
    // The VCD standard wants the first packet 0.44 s into the stream: (36000 + 3 * 1200) / 90000.
    o->mux_preload = float((36000 + 3 * 1200) / 90000.0);
  } else if (type == "svcd") {
    set("codec:v", "mpeg2video");
    set("codec:a", "mp2");
    set("f", "svcd");
    set("s", ntscLike ? "480x480" : "480x576");
    set("r", frameRates[norm]);
    set("pix_fmt", "yuv420p");
    dict("g", ntscLike ? "18" : "15");
    dict("b:v", "2040000");
    dict("maxrate:v", "2516000");
    dict("minrate:v", "0");        // 1145000
    dict("bufsize:v", "1835008");  // 224*1024*8
    dict("scan_offset", "1");
    dict("b:a", "224000");
    set("ar", "44100");
    dict("packetsize", "2324");
  } else if (type == "dvd") {
    set("codec:v", "mpeg2video");
    set("codec:a", "ac3");
    set("f", "dvd");
    set("s", ntscLike ? "720x480" : "720x576");
    set("r", frameRates[norm]);
    set("pix_fmt", "yuv420p");
    dict("g", ntscLike ? "18" : "15");
    dict("b:v", "6000000");
    dict("maxrate:v", "9000000");
    dict("minrate:v", "0");        // 1500000
    dict("bufsize:v", "1835008");  // 224*1024*8
    dict("packetsize", "2048");    // from www.mpucoder.com: DVD sectors contain 2048 bytes of data
    dict("muxrate", "10080000");   // from mplex project: data_rate = 1260000. mux_rate = data_rate * 8
    dict("b:a", "448000");
    set("ar", "48000");
  } else if (type.rfind("dv", 0) == 0) {
    set("f", "dv");
    set("s", ntscLike ? "720x480" : "720x576");
    set("pix_fmt", type == "dv50" ? "yuv422p" : (ntscLike ? "yuv411p" : "yuv420p"));
    set("r", frameRates[norm]);
    set("ar", "48000");
    set("ac", "2");
  } else {
    SetOptionError(TLogLevel::llError, "Unknown target: %s", type.c_str());
    return AVERROR(EINVAL);
  }
  // Options the user gave for this file win over the target's.
  FF().av_dict_copy(&o->g->codec_opts, FOptions->codec_opts(), AV_DICT_DONT_OVERWRITE);
  FF().av_dict_copy(&o->g->format_opts, FOptions->format_opts(), AV_DICT_DONT_OVERWRITE);
  return 0;
}

int TCustomFFmpegOpt::ParseVsync(const std::string& opt, const std::string& arg, int& method) {
  static const std::pair<const char*, int> names[] = {
      {"cfr", 1}, {"vfr", 2}, {"passthrough", 0}, {"drop", 255}, {"auto", -1}};
  for (const auto& [name, value] : names) {
    if (FF().av_strcasecmp(arg.c_str(), name) == 0) {
      method = value;
      return 0;
    }
  }
  double value = 0;
  if (!ParseSuffixedNumber(arg, value) || !(value >= -1 && (value <= 2 || value == 255)) ||
      value != std::trunc(value)) {
    SetOptionError(TLogLevel::llError, "The value for \"%s\" was \"%s\" which is invalid", opt.c_str(),
                   arg.c_str());
    return AVERROR(EINVAL);
  }
  method = int(value);
  return 0;
}

int TCustomFFmpegOpt::opt_vsync(TOptionsContext*, const std::string& opt, const std::string& arg) {
  return ParseVsync(opt, arg, Fvideo_sync_method);
}

int TCustomFFmpegOpt::opt_stats_period(TOptionsContext*, const std::string&, const std::string& arg) {
  int64_t period = 0;
  if (FF().av_parse_time(&period, arg.c_str(), 1) < 0) {
    SetOptionError(TLogLevel::llError, "Invalid time duration: %s", arg.c_str());
    return AVERROR(EINVAL);
  }
  if (period <= 0) {
    SetOptionError(TLogLevel::llError, "stats_period %s must be positive.", arg.c_str());
    return AVERROR(EINVAL);
  }
  Fstats_period = period;
  return 0;
}

int TCustomFFmpegOpt::opt_cpucount(TOptionsContext*, const std::string& opt, const std::string& arg) {
  double count = 0;
  if (!ParseSuffixedNumber(arg, count) || count < -1 || count > INT_MAX || count != std::trunc(count)) {
    SetOptionError(TLogLevel::llError, "The value for \"%s\" was \"%s\" which is invalid", opt.c_str(),
                   arg.c_str());
    return AVERROR(EINVAL);
  }
  FF().av_cpu_force_count(int(count));
  FForcedCpuCount = true;
  return 0;
}

// "-vaapi_device X": a VAAPI device named "vaapi" on X, which also becomes the filters' device.
int TCustomFFmpegOpt::opt_vaapi_device(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  const int ret = opt_init_hw_device(o, opt, "vaapi=vaapi:" + arg);
  if (ret < 0) return ret;
  if (Ffilter_hw_device == nullptr) return opt_filter_hw_device(o, opt, "vaapi");
  return 0;
}

int TCustomFFmpegOpt::opt_filter_complex(TOptionsContext*, const std::string&, const std::string& arg) {
  auto fg = std::make_unique<TFilterGraph>();
  fg->index = int(Ffiltergraphs.size());
  fg->graph_desc = arg;
  Ffiltergraphs.push_back(std::move(fg));
  Finput_stream_potentially_available = 1;
  return 0;
}

int TCustomFFmpegOpt::opt_filter_complex_script(TOptionsContext* o, const std::string& opt,
                                                const std::string& arg) {
  std::string text;
  if (!ReadFileText(arg, text)) return AVERROR(EINVAL);
  return opt_filter_complex(o, opt, text);
}

int TCustomFFmpegOpt::opt_streamid(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  const std::size_t colon = arg.find(':');
  if (colon == std::string::npos) {
    SetOptionError(TLogLevel::llError,
                   "Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"", arg.c_str(),
                   opt.c_str());
    return AVERROR(EINVAL);
  }
  const std::string indexText = arg.substr(0, colon);
  const std::string valueText = arg.substr(colon + 1);
  double index = 0;
  if (!ParseSuffixedNumber(indexText, index) || index < 0 || index > 1023 || index != std::trunc(index)) {
    SetOptionError(TLogLevel::llError, "The value for \"%s\" was \"%s\" which is not within %d - %d",
                   "streamid", indexText.c_str(), 0, 1023);
    return AVERROR(EINVAL);
  }
  double value = 0;
  if (!ParseSuffixedNumber(valueText, value) || value < 0 || value > INT32_MAX || value != std::trunc(value)) {
    SetOptionError(TLogLevel::llError, "The value for \"%s\" was \"%s\" which is not within %d - %d",
                   "streamid", valueText.c_str(), 0, INT32_MAX);
    return AVERROR(EINVAL);
  }
  if (o->streamid_map.size() <= std::size_t(index)) o->streamid_map.resize(std::size_t(index) + 1, 0);
  o->streamid_map[std::size_t(index)] = int(value);
  return 0;
}

int TCustomFFmpegOpt::opt_vstats(TOptionsContext*, const std::string&, const std::string&) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  Fvstats_filename = FormatStr("vstats_%02d%02d%02d.log", local.tm_hour, local.tm_min, local.tm_sec);
  return 0;
}

int TCustomFFmpegOpt::opt_vstats_file(TOptionsContext*, const std::string&, const std::string& arg) {
  Fvstats_filename = arg;
  return 0;
}

int TCustomFFmpegOpt::opt_sdp_file(TOptionsContext*, const std::string&, const std::string& arg) {
  Fsdp_filename = arg;
  return 0;
}

int TCustomFFmpegOpt::opt_init_hw_device(TOptionsContext*, const std::string&, const std::string& arg) {
  if (arg == "list") {
    Log(TLogLevel::llInfo, "Supported hardware device types:");
    AVHWDeviceType type = AV_HWDEVICE_TYPE_NONE;
    while ((type = FF().av_hwdevice_iterate_types(type)) != AV_HWDEVICE_TYPE_NONE)
      Log(TLogLevel::llInfo, "%s", FF().av_hwdevice_get_type_name(type));
    return -1;
  }
  return HWDeviceInitFromString(arg, nullptr);
}

int TCustomFFmpegOpt::opt_filter_hw_device(TOptionsContext*, const std::string&, const std::string& arg) {
  if (Ffilter_hw_device != nullptr) {
    SetOptionError(TLogLevel::llError, "Only one filter device can be used.");
    return AVERROR(EINVAL);
  }
  for (auto& dev : Fhw_devices) {
    if (dev->name == arg) {
      Ffilter_hw_device = dev.get();
      return 0;
    }
  }
  SetOptionError(TLogLevel::llError, "Invalid filter device %s.", arg.c_str());
  return AVERROR(EINVAL);
}

int TCustomFFmpegOpt::opt_codec_kind(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  return ParseOptionByName(o, std::string("codec:") + opt[0], arg);
}

int TCustomFFmpegOpt::opt_frames_kind(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  return ParseOptionByName(o, std::string("frames:") + opt[0], arg);
}

int TCustomFFmpegOpt::opt_filter_kind(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  return ParseOptionByName(o, std::string("filter:") + opt[0], arg);
}

int TCustomFFmpegOpt::opt_audio_qscale(TOptionsContext* o, const std::string&, const std::string& arg) {
  return ParseOptionByName(o, "q:a", arg);
}

int TCustomFFmpegOpt::opt_old2new(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  return ParseOptionByName(o, opt.substr(1) + ":" + opt[0], arg);
}

int TCustomFFmpegOpt::opt_qscale(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  if (opt == "qscale") {
    Log(TLogLevel::llWarning, "Please use -q:a or -q:v, -qscale is ambiguous");
    return ParseOptionByName(o, "q:v", arg);
  }
  // "qscale:v" becomes "q:v" (appended: GCC 12 warns falsely about "q" + a temporary string).
  std::string key(1, 'q');
  key.append(opt, 6, std::string::npos);
  return ParseOptionByName(o, key, arg);
}

int TCustomFFmpegOpt::opt_bitrate(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  std::string key = opt;
  if (opt == "ab") {
    key = "b:a";
  } else if (opt == "b") {
    Log(TLogLevel::llWarning, "Please use -b:a or -b:v, -b is ambiguous");
    key = "b:v";
  }
  return FF().av_dict_set(&o->g->codec_opts, key.c_str(), arg.c_str(), 0);
}

int TCustomFFmpegOpt::opt_profile(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  std::string key = opt;
  if (opt == "profile") {
    Log(TLogLevel::llWarning, "Please use -profile:a or -profile:v, -profile is ambiguous");
    key = "profile:v";
  }
  return FF().av_dict_set(&o->g->codec_opts, key.c_str(), arg.c_str(), 0);
}

int TCustomFFmpegOpt::opt_video_channel(TOptionsContext* o, const std::string&, const std::string& arg) {
  Log(TLogLevel::llWarning, "This option is deprecated, use -channel.");
  return o != nullptr ? ApplyDefaultToFile(o, "channel", arg) : FOptions->opt_default("channel", arg);
}

int TCustomFFmpegOpt::opt_video_standard(TOptionsContext* o, const std::string&, const std::string& arg) {
  Log(TLogLevel::llWarning, "This option is deprecated, use -standard.");
  return o != nullptr ? ApplyDefaultToFile(o, "standard", arg) : FOptions->opt_default("standard", arg);
}

int TCustomFFmpegOpt::opt_timecode(TOptionsContext* o, const std::string&, const std::string& arg) {
  const int ret = ParseOptionByName(o, "metadata:g", "timecode=" + arg);
  if (ret >= 0) FF().av_dict_set(&o->g->codec_opts, "gop_timecode", arg.c_str(), 0);
  return ret;
}

int TCustomFFmpegOpt::opt_channel_layout(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  AVChannelLayout layout{};
  if (FF().av_channel_layout_from_string(&layout, arg.c_str()) < 0 || layout.nb_channels == 0) {
    FF().av_channel_layout_uninit(&layout);
    SetOptionError(TLogLevel::llError, "Unknown channel layout: %s", arg.c_str());
    return AVERROR(EINVAL);
  }
  const int channels = layout.nb_channels;
  const uint64_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
  FF().av_channel_layout_uninit(&layout);
  // "-ch_layout" is the FFmpeg 5.1 name: both set the layout the filters down-mix to, never the
  // encoder's own option of that name.
  const std::string key = opt.rfind("ch_layout", 0) == 0 ? "channel_layout" + opt.substr(9) : opt;
  int ret = ApplyDefaultToFile(o, key, std::to_string(mask));
  if (ret < 0) return ret;
  // Also set the channel count, with the same stream specifier.
  const std::size_t colon = opt.find(':');
  const std::string ac = colon == std::string::npos ? std::string("ac") : "ac" + opt.substr(colon);
  ret = ParseOptionByName(o, ac, std::to_string(channels));
  return ret;
}

int TCustomFFmpegOpt::opt_sameq(TOptionsContext*, const std::string& opt, const std::string&) {
  SetOptionError(
      TLogLevel::llWarning,
      "Option \"%s\" was removed. If you are looking for an option to preserve the quality (which is not "
      "what -%s was for), use -qscale 0 or an equivalent quality factor option.",
      opt.c_str(), opt.c_str());
  return AVERROR(EINVAL);
}

int TCustomFFmpegOpt::opt_time_seconds(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  // Seconds as a decimal number; the locale plays no part (from_chars is locale-independent).
  double seconds = 0;
  const char* begin = arg.data();
  const char* end = arg.data() + arg.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [stop, ec] = std::from_chars(begin, end, seconds);
  if (ec != std::errc() || stop != end || !std::isfinite(seconds)) {
    SetOptionError(TLogLevel::llError, "\"%s\" is not a valid floating point value", arg.c_str());
    return AVERROR(EINVAL);
  }
  const long long micro = std::llround(seconds * 1000000.0);
  const bool start = opt == "TimeStart" || opt == "timestart";
  return ParseOptionByName(o, start ? "ss_microsecond" : "t_microsecond", std::to_string(micro));
}

int TCustomFFmpegOpt::OptVideoHookBitsPixel(TOptionsContext*, const std::string&, const std::string& arg) {
  int value = 0;
  const auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), value);
  if (ec != std::errc() || end != arg.data() + arg.size() || arg.empty()) {
    SetOptionError(TLogLevel::llError, "\"%s\" is not a valid integer value", arg.c_str());
    return AVERROR(EINVAL);
  }
  FVideoHookBitsPixel = value;
  return 0;
}

}  // namespace media
