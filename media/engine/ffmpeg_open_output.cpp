// Opening an output file: muxer, stream selection (automatic or "-map"), simple filter graphs,
// metadata, and the file itself. The output streams are made in ffmpeg_output_streams.cpp.
// Runs on the thread that calls OpenOutput.

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <regex>

#include "media/engine/custom_ffmpeg_opt.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_handles.h"
#include "media/ff_utils.h"

namespace media {

namespace {

// The local files an FFmpeg name reads or writes: the name itself, without "file:"; the parts of
// "concat:a|b"; the target of "cache:" and "async:". None for another protocol ("http:",
// "pipe:"...), whose target is no file of ours to compare.
std::vector<std::string> LocalPaths(const std::string& ffName) {
  for (const char* wrapper : {"cache:", "async:"})
    if (ffName.rfind(wrapper, 0) == 0) return LocalPaths(ffName.substr(std::strlen(wrapper)));
  if (ffName.rfind("concat:", 0) == 0) {
    std::vector<std::string> paths;
    std::string rest = ffName.substr(7);
    while (!rest.empty()) {
      const std::size_t bar = rest.find('|');
      for (std::string& path : LocalPaths(rest.substr(0, bar))) paths.push_back(std::move(path));
      rest = bar == std::string::npos ? std::string() : rest.substr(bar + 1);
    }
    return paths;
  }
  if (ffName.rfind("file:", 0) == 0) return {ffName.substr(5)};
  // FFmpeg's own rule: letters, digits, "+", "-" and "." up to a ":" name a protocol.
  const std::size_t schemeLength =
      std::strspn(ffName.c_str(), "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
  if (schemeLength > 0 && schemeLength < ffName.size() && ffName[schemeLength] == ':') return {};
  if (ffName.empty()) return {};
  return {ffName};
}

// The names the tee muxer writes: "[f=mp4]a.mp4|[select=v]b.mkv" gives a.mp4 and b.mkv.
std::vector<std::string> TeeSlaves(const std::string& ffName) {
  std::vector<std::string> slaves;
  std::string slave;
  int depth = 0;
  auto finish = [&] {
    if (!slave.empty() && slave[0] == '[') {
      const std::size_t close = slave.find(']');
      slave = close == std::string::npos ? std::string() : slave.substr(close + 1);
    }
    if (!slave.empty()) slaves.push_back(slave);
    slave.clear();
  };
  for (std::size_t i = 0; i < ffName.size(); i++) {
    const char c = ffName[i];
    if (c == '\\' && i + 1 < ffName.size()) {
      slave += ffName[++i];
      continue;
    }
    if (c == '[') depth++;
    if (c == ']' && depth > 0) depth--;
    if (c == '|' && depth == 0)
      finish();
    else
      slave += c;
  }
  finish();
  return slaves;
}

// A numbered name of an image sequence ("th%03d.jpg") as a pattern of the names it writes.
std::regex NumberedNamePattern(const std::string& name) {
  std::string pattern;
  for (std::size_t i = 0; i < name.size(); i++) {
    const char c = name[i];
    if (c == '%' && i + 1 < name.size() && name[i + 1] == '%') {
      pattern += '%';
      i++;
    } else if (c == '%') {
      std::size_t j = i + 1;
      while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j])) != 0) j++;
      if (j < name.size() && name[j] == 'd') {
        pattern += "-?[0-9]+";
        i = j;
      } else {
        pattern += "%";
      }
    } else if (std::strchr(".^$|()[]{}*+?\\", c) != nullptr) {
      pattern += std::string("\\") + c;
    } else {
      pattern += c;
    }
  }
  return std::regex(pattern);
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).lexically_normal().string();
}

// Chapters of the input file, moved into the output's time range: an output time t shows the
// input time t + ss (output -ss) - ts_offset (input -ss, -itsoffset).
void CopyChapters(const TInputFile& ifile, TOutputFile& ofile, AVFormatContext* os, bool copyMetadata) {
  AVFormatContext* is = ifile.ctx.get();
  const int64_t startTime = ofile.start_time == AV_NOPTS_VALUE ? 0 : ofile.start_time;
  for (unsigned i = 0; i < is->nb_chapters; i++) {
    const AVChapter* inCh = is->chapters[i];
    const int64_t tsOff = FF().av_rescale_q(startTime - ifile.ts_offset, AV_TIME_BASE_Q, inCh->time_base);
    const int64_t rt = ofile.recording_time == INT64_MAX
                           ? INT64_MAX
                           : FF().av_rescale_q(ofile.recording_time, AV_TIME_BASE_Q, inCh->time_base);
    if (inCh->end < tsOff) continue;
    if (rt != INT64_MAX && inCh->start > rt + tsOff) break;
    // The chapter and its metadata are ours until the muxer's list holds them.
    TMemoryPtr<AVChapter> outCh{static_cast<AVChapter*>(FF().av_mallocz(sizeof(AVChapter)))};
    if (outCh == nullptr) return;
    TDictionaryPtr metadata;
    outCh->id = inCh->id;
    outCh->time_base = inCh->time_base;
    outCh->start = std::max<int64_t>(0, inCh->start - tsOff);
    outCh->end = std::min(rt, inCh->end - tsOff);
    if (copyMetadata) FF().av_dict_copy(OutPtr(metadata), inCh->metadata, 0);
    auto* grown = static_cast<AVChapter**>(
        FF().av_realloc_array(os->chapters, std::size_t(os->nb_chapters) + 1, sizeof(AVChapter*)));
    if (grown == nullptr) return;
    os->chapters = grown;
    outCh->metadata = metadata.release();
    os->chapters[os->nb_chapters++] = outCh.release();
  }
}

}  // namespace

// Why the output must not be opened for writing: it is one of the inputs (the same file, also
// through a link or another name), or it exists and "-n" forbids overwriting it. Empty when
// writing may go ahead; "-y", or neither switch, overwrites an existing file that is no input.
std::string TCustomFFmpegOpt::InputRefusal(const std::string& shownName, const std::string& ffName,
                                           bool numbered) const {
  std::vector<std::string> targets = LocalPaths(ffName);
  const bool pattern = numbered && FF().av_filename_number_test(ffName.c_str()) != 0;
  for (std::size_t i = 0; i < Finput_files.size(); i++) {
    const AVFormatContext* ic = Finput_files[i]->ctx.get();
    if (ic == nullptr || ic->url == nullptr) continue;
    for (const std::string& inPath : LocalPaths(ic->url)) {
      struct stat in {};
      if (::stat(inPath.c_str(), &in) != 0) continue;
      bool same = false;
      for (const std::string& target : targets) {
        struct stat out {};
        same = same || (::stat(target.c_str(), &out) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino);
        same = same || (pattern && std::regex_match(AbsolutePath(inPath), NumberedNamePattern(AbsolutePath(target))));
      }
      if (same)
        return FormatStr("Output %s is input #%d: a file cannot be converted onto itself.", shownName.c_str(),
                         int(i));
    }
  }
  return {};
}

std::string TCustomFFmpegOpt::OutputRefusal(const std::string& fileName, const std::string& ffName) {
  AssertFileOverwrite(fileName);
  const std::string refusal = InputRefusal(fileName, ffName, false);
  if (!refusal.empty()) return refusal;
  struct stat out {};
  const std::vector<std::string> paths = LocalPaths(ffName);
  if (Fno_file_overwrite && paths.size() == 1 && ::stat(paths[0].c_str(), &out) == 0)
    return FormatStr("File '%s' already exists and -n forbids overwriting it.", fileName.c_str());
  return {};
}

std::string TCustomFFmpegOpt::MuxerRefusal(const AVFormatContext* oc, const std::string& ffName) const {
  // A muxer that opens its files itself: tee its slaves, image2 and segment their numbered names
  // (or, with -update, the name itself), hls and dash their playlists.
  const bool tee = std::strcmp(oc->oformat->name, "tee") == 0;
  for (const std::string& name : tee ? TeeSlaves(ffName) : std::vector<std::string>{ffName}) {
    const std::string refusal = InputRefusal(name, name, true);
    if (!refusal.empty()) return refusal;
  }
  // The side files of the conversion.
  for (const std::string& side : {Fvstats_filename, Fsdp_filename}) {
    if (side.empty()) continue;
    const std::string refusal = InputRefusal(side, side, false);
    if (!refusal.empty()) return refusal;
  }
  return {};
}

void TCustomFFmpegOpt::SelectStreamsAutomatically(TOptionsContext& o, AVFormatContext* oc,
                                                  const std::string& ffName) {
  // Video: the largest picture; streams that were seen carrying packets while probing first.
  if (!o.video_disable && FF().av_guess_codec(oc->oformat, nullptr, ffName.c_str(), nullptr,
                                              AVMEDIA_TYPE_VIDEO) != AV_CODEC_ID_NONE) {
    int area = 0;
    int idx = -1;
    const int qcr = FF().avformat_query_codec(oc->oformat, oc->oformat->video_codec, 0);
    const int apic = int(MakeFourCC('A', 'P', 'I', 'C'));
    for (int i = 0; i < int(Finput_streams.size()); i++) {
      const TInputStream& ist = *Finput_streams[i];
      if (ist.user_set_discard == AVDISCARD_ALL) continue;  // "-discard all": never mapped
      int newArea = ist.st->codecpar->width * ist.st->codecpar->height +
                    100000000 * !!(ist.st->event_flags & AVSTREAM_EVENT_FLAG_NEW_PACKETS);
      if (qcr != apic && (ist.st->disposition & AV_DISPOSITION_ATTACHED_PIC)) newArea = 1;
      if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && newArea > area) {
        if (qcr == apic && !(ist.st->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        area = newArea;
        idx = i;
      }
    }
    if (idx >= 0) NewVideoStream(o, oc, idx);
  }
  // Audio: the most channels.
  if (!o.audio_disable && FF().av_guess_codec(oc->oformat, nullptr, ffName.c_str(), nullptr,
                                              AVMEDIA_TYPE_AUDIO) != AV_CODEC_ID_NONE) {
    int bestScore = 0;
    int idx = -1;
    for (int i = 0; i < int(Finput_streams.size()); i++) {
      const TInputStream& ist = *Finput_streams[i];
      if (ist.user_set_discard == AVDISCARD_ALL) continue;
      const int score = ist.st->codecpar->ch_layout.nb_channels +
                        100000000 * !!(ist.st->event_flags & AVSTREAM_EVENT_FLAG_NEW_PACKETS);
      if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && score > bestScore) {
        bestScore = score;
        idx = i;
      }
    }
    if (idx >= 0) NewAudioStream(o, oc, idx);
  }
  // Subtitles: the first one the output's encoder can take.
  std::string subtitleCodecName;
  MatchPerTypeCodecName(o, "s", subtitleCodecName);
  if (!o.subtitle_disable &&
      (FF().avcodec_find_encoder(oc->oformat->subtitle_codec) != nullptr || !subtitleCodecName.empty())) {
    for (int i = 0; i < int(Finput_streams.size()); i++) {
      const AVStream* st = Finput_streams[i]->st;
      if (st->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
      if (Finput_streams[i]->user_set_discard == AVDISCARD_ALL) continue;
      const AVCodecDescriptor* inputDescriptor = FF().avcodec_descriptor_get(st->codecpar->codec_id);
      const AVCodecDescriptor* outputDescriptor = nullptr;
      const AVCodec* outputCodec = FF().avcodec_find_encoder(oc->oformat->subtitle_codec);
      int inputProps = 0;
      int outputProps = 0;
      if (outputCodec != nullptr) outputDescriptor = FF().avcodec_descriptor_get(outputCodec->id);
      if (inputDescriptor != nullptr)
        inputProps = inputDescriptor->props & (AV_CODEC_PROP_TEXT_SUB | AV_CODEC_PROP_BITMAP_SUB);
      if (outputDescriptor != nullptr)
        outputProps = outputDescriptor->props & (AV_CODEC_PROP_TEXT_SUB | AV_CODEC_PROP_BITMAP_SUB);
      if (!subtitleCodecName.empty() || (inputProps & outputProps) ||
          (inputDescriptor != nullptr && outputDescriptor != nullptr &&
           (!inputDescriptor->props || !outputDescriptor->props))) {
        NewSubtitleStream(o, oc, i);
        break;
      }
    }
  }
  // Data: the first stream of the muxer's data codec.
  if (!o.data_disable) {
    const AVCodecID codecId =
        FF().av_guess_codec(oc->oformat, nullptr, ffName.c_str(), nullptr, AVMEDIA_TYPE_DATA);
    for (int i = 0; codecId != AV_CODEC_ID_NONE && i < int(Finput_streams.size()); i++) {
      const AVStream* st = Finput_streams[i]->st;
      if (Finput_streams[i]->user_set_discard == AVDISCARD_ALL) continue;
      if (st->codecpar->codec_type == AVMEDIA_TYPE_DATA && st->codecpar->codec_id == codecId) {
        NewDataStream(o, oc, i);
        break;
      }
    }
  }
}

void TCustomFFmpegOpt::SetOutputFilterConstraints(std::size_t firstStream) {
  // What the graph outputs must deliver: the size, pixel format, rate, sample format and channel
  // layout asked for ("-s", "-pix_fmt", "-r", "-sample_fmt", "-ar", "-ac"), else whatever the
  // encoder accepts.
  for (std::size_t i = firstStream; i < Foutput_streams.size(); i++) {
    TOutputStream& ost = *Foutput_streams[i];
    if (ost.filter == nullptr || ost.enc == nullptr) continue;
    TOutputFilter& f = *ost.filter;
    switch (ost.enc_ctx->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        f.frame_rate = ost.frame_rate;
        f.format = ost.enc_ctx->pix_fmt;
        f.width = ost.enc_ctx->width;
        f.height = ost.enc_ctx->height;
        break;
      case AVMEDIA_TYPE_AUDIO:
        f.format = ost.enc_ctx->sample_fmt;
        f.sample_rate = ost.enc_ctx->sample_rate;
        FF().av_channel_layout_uninit(&f.ch_layout);
        if (ost.enc_ctx->ch_layout.nb_channels > 0) {
          // A layout the encoder lists for that channel count, else the default one.
          bool found = false;
          for (const AVChannelLayout* l = ost.enc->ch_layouts; l != nullptr && l->nb_channels != 0; l++) {
            if (l->nb_channels == ost.enc_ctx->ch_layout.nb_channels) {
              FF().av_channel_layout_copy(&f.ch_layout, l);
              found = true;
              break;
            }
          }
          if (!found) FF().av_channel_layout_default(&f.ch_layout, ost.enc_ctx->ch_layout.nb_channels);
        }
        break;
      default:
        break;
    }
  }
}

// "-bitexact": the muxer's and the coders' output without anything that changes between builds.
void TCustomFFmpegOpt::ApplyBitexact(TOptionsContext& o, bool output) {
  if (!o.bitexact) return;
  if (output) FF().av_dict_set(&o.g->format_opts, "fflags", "+bitexact", AV_DICT_APPEND);
  FF().av_dict_set(&o.g->codec_opts, "flags", "+bitexact", AV_DICT_APPEND);
}

// "-t" or "-to": how long a file records (an input's from its seek point). Fails when "-to" is not
// after "-ss".
int TCustomFFmpegOpt::ResolveRecordingTime(TOptionsContext& o) {
  if (o.stop_time != INT64_MAX && o.recording_time != INT64_MAX) {
    o.stop_time = INT64_MAX;
    Log(TLogLevel::llWarning, "-t and -to cannot be used together; using -t.");
  }
  if (o.stop_time != INT64_MAX && o.recording_time == INT64_MAX) {
    const int64_t start = o.start_time == AV_NOPTS_VALUE ? 0 : o.start_time;
    if (o.stop_time <= start)
      return Refuse(TLogLevel::llError, "-to value smaller than -ss; aborting.", AVERROR(EINVAL));
    o.recording_time = o.stop_time - start;
  }
  return 0;
}

// A stream of its own for an unlabelled or "-map [label]" output of a complex graph.
void TCustomFFmpegOpt::BindGraphOutput(TOptionsContext& o, TOutputFilter& ofilter, AVFormatContext* oc) {
  TOutputStream* ost = nullptr;
  switch (ofilter.type_) {
    case AVMEDIA_TYPE_VIDEO:
      ost = NewVideoStream(o, oc, -1);
      break;
    case AVMEDIA_TYPE_AUDIO:
      ost = NewAudioStream(o, oc, -1);
      break;
    default:
      RaiseError("Only video and audio filters are supported currently.");
  }
  BindComplexOutput(ofilter, *ost);
}

// The output's record from the options; the record owns oc from here on.
void TCustomFFmpegOpt::InitOutputFileRecord(TOptionsContext& o, TOutputFile& of, AVFormatContext* oc,
                                            const std::string& fileName) {
  of.ctx.reset(oc);
  of.file_name = fileName;
  of.ost_index = int(Foutput_streams.size());
  of.recording_time = o.recording_time;
  of.start_time = o.start_time;
  of.limit_filesize = o.limit_filesize == INT64_MAX ? UINT64_MAX : uint64_t(o.limit_filesize);
  of.shortest = o.shortest;
  FF().av_dict_copy(OutPtr(of.opts), o.g->format_opts, 0);
  if (o.recording_time != INT64_MAX) {
    oc->duration = o.recording_time;
    if (o.recording_time > FOutputDuration) FOutputDuration = o.recording_time;
  }
  oc->interrupt_callback = FWriteCallback;
  if (const AVDictionaryEntry* e = FF().av_dict_get(o.g->format_opts, "fflags", nullptr, 0)) {
    const AVOption* opt = FF().av_opt_find(oc, "fflags", nullptr, 0, 0);
    if (opt != nullptr) FF().av_opt_eval_flags(oc, opt, e->value, &oc->flags);
  }
}

// Unlabelled outputs of complex graphs each get a stream of their own; the kinds they give are
// then not picked from the inputs automatically.
void TCustomFFmpegOpt::BindUnlabelledGraphOutputs(TOptionsContext& o, AVFormatContext* oc) {
  for (auto& fg : Ffiltergraphs) {
    for (auto& ofilter : fg->outputs) {
      if (ofilter->out_tmp == nullptr || ofilter->out_tmp->name != nullptr) continue;
      switch (ofilter->type_) {
        case AVMEDIA_TYPE_VIDEO:
          o.video_disable = 1;
          break;
        case AVMEDIA_TYPE_AUDIO:
          o.audio_disable = 1;
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          o.subtitle_disable = 1;
          break;
        default:
          break;
      }
      BindGraphOutput(o, *ofilter, oc);
    }
  }
}

// The output of a complex graph that "-map [label]" names; null when none.
TOutputFilter* TCustomFFmpegOpt::FindLabelledGraphOutput(const std::string& label) {
  for (auto& fg : Ffiltergraphs)
    for (auto& ofilter : fg->outputs)
      if (ofilter->out_tmp != nullptr && ofilter->out_tmp->name != nullptr && label == ofilter->out_tmp->name)
        return ofilter.get();
  return nullptr;
}

// One "-map": a graph output by its label, or an input stream with the output stream of its kind.
// False with the reason in error when the map cannot be followed.
bool TCustomFFmpegOpt::AddMappedStream(TOptionsContext& o, AVFormatContext* oc, const TStreamMap& map,
                                       std::string& error) {
  if (map.disabled) return true;
  if (!map.linklabel.empty()) {
    TOutputFilter* found = FindLabelledGraphOutput(map.linklabel);
    if (found == nullptr) {
      error = FormatStr(
          "Output with label \"%s\" does not exist in any defined filter graph, or "
          "was already used elsewhere.",
          map.linklabel.c_str());
      return false;
    }
    BindGraphOutput(o, *found, oc);
    return true;
  }
  const int srcIdx = Finput_files[map.file_index]->ist_index + map.stream_index;
  const TInputStream& ist = *Finput_streams[std::size_t(srcIdx)];
  const AVMediaType type = ist.st->codecpar->codec_type;
  if ((o.subtitle_disable && type == AVMEDIA_TYPE_SUBTITLE) ||
      (o.audio_disable && type == AVMEDIA_TYPE_AUDIO) || (o.video_disable && type == AVMEDIA_TYPE_VIDEO) ||
      (o.data_disable && type == AVMEDIA_TYPE_DATA))
    return true;
  TOutputStream* ost = nullptr;
  switch (type) {
    case AVMEDIA_TYPE_VIDEO:
      ost = NewVideoStream(o, oc, srcIdx);
      break;
    case AVMEDIA_TYPE_AUDIO:
      ost = NewAudioStream(o, oc, srcIdx);
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      ost = NewSubtitleStream(o, oc, srcIdx);
      break;
    case AVMEDIA_TYPE_DATA:
      ost = NewDataStream(o, oc, srcIdx);
      break;
    case AVMEDIA_TYPE_ATTACHMENT:
      ost = NewAttachmentStream(o, oc, srcIdx);
      break;
    default:
      if (Fcopy_unknown_streams) {
        ost = NewUnknownStream(o, oc, srcIdx);
      } else if (Fignore_unknown_streams) {
        Log(TLogLevel::llWarning, "Cannot map stream #%d:%d - unsupported type.", map.file_index,
            map.stream_index);
        return true;
      } else {
        error = FormatStr(
            "Cannot map stream #%d:%d - unsupported type.\nIf you want unsupported "
            "types ignored instead of failing, please use the -ignore_unknown "
            "option\nIf you want them copied, please use -copy_unknown",
            map.file_index, map.stream_index);
        return false;
      }
  }
  if (ost != nullptr)
    ost->sync_ist =
        Finput_streams[std::size_t(Finput_files[map.sync_file_index]->ist_index + map.sync_stream_index)]
            .get();
  return true;
}

// "-attach": each file becomes an attachment stream, read whole into the stream's extra data.
void TCustomFFmpegOpt::AddAttachments(TOptionsContext& o, AVFormatContext* oc) {
  for (const std::string& attachment : o.attachments) {
    TIOContextPtr pb;
    FLastRead = Now();
    if (FF().avio_open2(OutPtr(pb), attachment.c_str(), AVIO_FLAG_READ, &FReadCallback, nullptr) < 0)
      RaiseErrorFmt("Could not open attachment file %s.", attachment.c_str());
    const int64_t len = FF().avio_size(pb.get());
    if (len <= 0) RaiseErrorFmt("Could not get size of the attachment %s.", attachment.c_str());
    if (len > (1 << 30)) RaiseErrorFmt("Attachment %s too large to fit into memory.", attachment.c_str());
    TBufferPtr data{static_cast<uint8_t*>(FF().av_malloc(std::size_t(len) + AV_INPUT_BUFFER_PADDING_SIZE))};
    if (data == nullptr) RaiseErrorFmt("Attachment %s too large to fit into memory.", attachment.c_str());
    // A short read would embed uninitialised bytes as the attachment.
    const int got = FF().avio_read(pb.get(), data.get(), int(len));
    pb.reset();
    if (got != int(len)) RaiseErrorFmt("Could not read attachment file %s.", attachment.c_str());
    std::memset(data.get() + len, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    TOutputStream* ost = NewAttachmentStream(o, oc, -1);
    ost->stream_copy = 0;
    ost->attachment_filename = attachment;
    ost->st->codecpar->extradata = data.release();
    ost->st->codecpar->extradata_size = int(len);
    const std::size_t slash = attachment.find_last_of('/');
    const std::string base = slash == std::string::npos ? attachment : attachment.substr(slash + 1);
    FF().av_dict_set(&ost->st->metadata, "filename", base.c_str(), AV_DICT_DONT_OVERWRITE);
  }
}

int TCustomFFmpegOpt::OpenOutputFile(TOptionsContext& o, const std::string& options,
                                     const std::string& fileName, const std::string& presets) {
  int ret = ParseOptions(o, options, "output file", OPT_OUTPUT, fileName, presets);
  if (ret < 0) return ret;
  ApplyBitexact(o, true);

  // "-copyts" is global: typed among the output options it still keeps the inputs' own time
  // stamps, so the offsets of inputs opened before it are worked out again.
  if (Fcopy_ts) {
    for (auto& f : Finput_files) {
      if (f->ts_offset_copy_ts) continue;
      f->ts_offset = f->input_ts_offset -
                     ((Fstart_at_zero && f->ctx->start_time != AV_NOPTS_VALUE) ? f->ctx->start_time : 0);
      f->ts_offset_copy_ts = true;
      f->ts_offset_synced = false;
    }
  }
  // "-isync": the inputs come before the outputs, as on the program's command line, so they are
  // all open by now (one opened after the last output is synced at the start of the run).
  ret = ApplySyncOffsets();
  if (ret < 0) return ret;

  const std::size_t streamsBefore = Foutput_streams.size();
  const std::size_t graphsBefore = Ffiltergraphs.size();
  try {
    InitComplexFilters();
  } catch (const FFmpegException& e) {
    // The reason was logged as it was raised; the refusal names the step too.
    return Refuse(TLogLevel::llError, std::string("Error initializing complex filters: ") + e.what(),
                  AVERROR(EINVAL));
  }

  ret = ResolveRecordingTime(o);
  if (ret < 0) return ret;

  Foutput_files.push_back(std::make_unique<TOutputFile>());
  TOutputFile* of = Foutput_files.back().get();
  const int fileIndex = int(Foutput_files.size()) - 1;
  const std::string ffName = FileNameToFF(fileName);

  // Undoes everything this call added: the record, its streams, their graphs, an empty file.
  auto rollback = [&] {
    for (auto& fg : Ffiltergraphs)
      for (auto& ofilter : fg->outputs)
        if (ofilter->ost != nullptr && ofilter->ost->file_index == fileIndex) ofilter->ost = nullptr;
    for (auto& ist : Finput_streams) {
      auto& filters = ist->filters;
      filters.erase(std::remove_if(filters.begin(), filters.end(),
                                   [&](TInputFilter* f) { return f->graph->index >= int(graphsBefore); }),
                    filters.end());
    }
    if (Ffiltergraphs.size() > graphsBefore) Ffiltergraphs.resize(graphsBefore);
    Foutput_streams.resize(streamsBefore);
    OpenOutputFailed(of);
  };
  // Keeps and logs the reason, undoes the call, and gives back code for the caller to return.
  auto fail = [&](TLogLevel level, const std::string& message, int code) {
    Refuse(level, message, code);
    rollback();
    return code;
  };
  try {
    AVFormatContext* oc = nullptr;
    ret = FF().avformat_alloc_output_context2(&oc, nullptr, o.format.empty() ? nullptr : o.format.c_str(),
                                              ffName.c_str());
    if (oc == nullptr)
      return fail(TLogLevel::llError, FormatAVError(fileName, ret), ret < 0 ? ret : AVERROR(ENOMEM));
    InitOutputFileRecord(o, *of, oc, fileName);

    BindUnlabelledGraphOutputs(o, oc);
    if (o.stream_maps.empty()) {
      SelectStreamsAutomatically(o, oc, ffName);
    } else {
      std::string error;
      for (const TStreamMap& map : o.stream_maps)
        if (!AddMappedStream(o, oc, map, error)) return fail(TLogLevel::llFatal, error, AVERROR(EINVAL));
    }

    AddAttachments(o, oc);

    if (oc->nb_streams == 0 && !(oc->oformat->flags & AVFMT_NOSTREAMS))
      return fail(TLogLevel::llError, FormatStr("Output file #%d does not contain any stream", fileIndex),
                  AVERROR(EINVAL));

    std::vector<const AVDictionary*> used;
    for (std::size_t j = std::size_t(of->ost_index); j < Foutput_streams.size(); j++)
      used.push_back(Foutput_streams[j]->encoder_opts.get());
    if (!CheckUnusedCodecOptions(o.g->codec_opts, used, true, fileIndex, fileName)) {
      rollback();
      return AVERROR(EINVAL);
    }

    // Decoders for what is encoded; a simple graph for every encoded audio or video stream.
    for (std::size_t i = std::size_t(of->ost_index); i < Foutput_streams.size(); i++) {
      TOutputStream& ost = *Foutput_streams[i];
      if (!ost.encoding_needed || ost.source_index < 0) continue;
      TInputStream& ist = *Finput_streams[std::size_t(ost.source_index)];
      ist.decoding_needed = 1;
      const AVMediaType type = ost.st->codecpar->codec_type;
      if (ost.filter == nullptr && (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO)) {
        try {
          InitSimpleFiltergraph(ist, ost);
        } catch (const FFmpegException&) {
          return fail(TLogLevel::llError,
                      FormatStr("Error initializing a simple filtergraph between streams %d:%d->%d:%d",
                                ist.file_index, ist.st->index, ost.file_index, ost.index),
                      AVERROR(EINVAL));
        }
      }
    }
    SetOutputFilterConstraints(std::size_t(of->ost_index));

    if ((oc->oformat->flags & AVFMT_NEEDNUMBER) && !FF().av_filename_number_test(oc->url))
      return fail(TLogLevel::llError, FormatAVError(fileName, AVERROR(EINVAL)), AVERROR(EINVAL));
    if (!(oc->oformat->flags & AVFMT_NOSTREAMS) && !Finput_stream_potentially_available)
      return fail(TLogLevel::llError, "No input streams but output needs an input stream", AVERROR(EINVAL));
    const std::string sideRefusal = MuxerRefusal(oc, ffName);
    if (!sideRefusal.empty()) return fail(TLogLevel::llFatal, sideRefusal, AVERROR(EEXIST));
    if (!(oc->oformat->flags & AVFMT_NOFILE)) {
      // The application asked before it started: an existing file is overwritten, unless it is
      // an input or "-n" forbids it.
      const std::string refusal = OutputRefusal(fileName, ffName);
      if (!refusal.empty()) return fail(TLogLevel::llFatal, refusal, AVERROR(EEXIST));
      FLastWrite = Now();
      ret = FF().avio_open2(&oc->pb, ffName.c_str(), AVIO_FLAG_WRITE, &oc->interrupt_callback,
                            OutPtr(of->opts));
      if (ret < 0) return fail(TLogLevel::llError, FormatAVError(fileName, ret), ret);
      of->opened_for_writing = true;
    }
    if (o.mux_preload != 0.0f)
      FF().av_dict_set_int(OutPtr(of->opts), "preload", int64_t(std::llround(o.mux_preload * AV_TIME_BASE)),
                           0);
    oc->max_delay = int(o.mux_max_delay * AV_TIME_BASE);

    ApplyMetadata(o, *of);
  } catch (...) {
    rollback();
    throw;
  }
  return 0;
}

void TCustomFFmpegOpt::OpenOutputFailed(TOutputFile* of) {
  for (auto it = Foutput_files.begin(); it != Foutput_files.end(); ++it) {
    if (it->get() != of) continue;
    if (of->ctx != nullptr && !(of->ctx->oformat->flags & AVFMT_NOFILE) && of->ctx->pb != nullptr) {
      CloseOutputFile(of->ctx.get());
      if (of->opened_for_writing) {
        struct stat info {};
        if (::lstat(of->file_name.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0)
          ::unlink(of->file_name.c_str());
      }
    }
    Foutput_files.erase(it);
    return;
  }
}

namespace {

// "g", "s[:spec]", "c:index" or "p:index" of a metadata option.
bool ParseMetaType(const std::string& arg, char& type, std::string& spec, int& index) {
  type = 'g';
  spec.clear();
  index = 0;
  if (arg.empty()) return true;
  type = arg[0];
  switch (type) {
    case 'g':
      return true;
    case 's':
      if (arg.size() > 1 && arg[1] != ':') return false;
      spec = arg.size() > 2 ? arg.substr(2) : std::string();
      return true;
    case 'c':
    case 'p':
      if (arg.size() > 1 && arg[1] == ':') index = std::atoi(arg.c_str() + 2);
      return true;
    default:
      return false;
  }
}

}  // namespace

// "-map_metadata[:outspec] infile[:inspec]": tags copied from an input's file, stream, chapter or
// program to the output's; "-map_metadata -1" turns the automatic copies off.
void TCustomFFmpegOpt::MapMetadata(TOptionsContext& o, AVFormatContext* oc) {
  for (const TSpecifierOpt& entry : o.metadata_map) {
    const std::string& arg = entry.u.str;
    char* p = nullptr;
    const int inFileIndex = int(std::strtol(arg.c_str(), &p, 0));
    char outType = 'g', inType = 'g';
    std::string outSpec, inSpec;
    int outIndex = 0, inIndex = 0;
    if (!ParseMetaType(entry.specifier, outType, outSpec, outIndex) ||
        !ParseMetaType(*p == ':' ? std::string(p + 1) : std::string(), inType, inSpec, inIndex))
      RaiseErrorFmt("Invalid metadata specifier %s.", arg.c_str());
    if (outType == 'g' || inType == 'g') o.metadata_global_manual = 1;
    if (outType == 's' || inType == 's') o.metadata_streams_manual = 1;
    if (outType == 'c' || inType == 'c') o.metadata_chapters_manual = 1;
    if (inFileIndex < 0) {
      // "-1" only disables automatic copies; without a type it disables all of them (the
      // file's, every stream's and the chapters' tags).
      if (entry.specifier.empty() && *p == '\0') {
        o.metadata_global_manual = 1;
        o.metadata_streams_manual = 1;
        o.metadata_chapters_manual = 1;
      }
      continue;
    }
    if (inFileIndex >= int(Finput_files.size()))
      RaiseErrorFmt("Invalid input file index %d while processing metadata maps", inFileIndex);
    AVFormatContext* ic = Finput_files[std::size_t(inFileIndex)]->ctx.get();
    std::vector<AVDictionary**> outs;
    std::vector<AVDictionary*> ins;
    auto collect = [&](AVFormatContext* ctx, char type, const std::string& spec, int index, bool out) {
      if (type == 'g') {
        if (out)
          outs.push_back(&ctx->metadata);
        else
          ins.push_back(ctx->metadata);
      } else if (type == 's') {
        bool any = false;
        for (unsigned i = 0; i < ctx->nb_streams; i++) {
          const int r = FF().avformat_match_stream_specifier(ctx, ctx->streams[i], spec.c_str());
          if (r < 0) RaiseErrorFmt("Invalid metadata specifier %s.", spec.c_str());
          if (r > 0) {
            any = true;
            if (out)
              outs.push_back(&ctx->streams[i]->metadata);
            else
              ins.push_back(ctx->streams[i]->metadata);
            if (!out) break;
          }
        }
        if (!any) RaiseErrorFmt("Stream specifier %s does not match  any streams.", spec.c_str());
      } else if (type == 'c') {
        if (index < 0 || unsigned(index) >= ctx->nb_chapters)
          RaiseErrorFmt("Invalid %s index %d while processing metadata maps", "chapter", index);
        if (out)
          outs.push_back(&ctx->chapters[index]->metadata);
        else
          ins.push_back(ctx->chapters[index]->metadata);
      } else {
        if (index < 0 || unsigned(index) >= ctx->nb_programs)
          RaiseErrorFmt("Invalid %s index %d while processing metadata maps", "program", index);
        if (out)
          outs.push_back(&ctx->programs[index]->metadata);
        else
          ins.push_back(ctx->programs[index]->metadata);
      }
    };
    collect(ic, inType, inSpec, inIndex, false);
    collect(oc, outType, outSpec, outIndex, true);
    for (AVDictionary** out : outs) FF().av_dict_copy(out, ins.front(), AV_DICT_DONT_OVERWRITE);
  }
}

// "-map_chapters": the chapters of the chosen input, by default of the first input that has any.
void TCustomFFmpegOpt::MapChapters(TOptionsContext& o, TOutputFile& of) {
  if (o.chapters_input_file >= int(Finput_files.size())) {
    if (o.chapters_input_file == INT32_MAX) {
      o.chapters_input_file = -1;
      for (int i = 0; i < int(Finput_files.size()); i++) {
        if (Finput_files[std::size_t(i)]->ctx->nb_chapters) {
          o.chapters_input_file = i;
          break;
        }
      }
    } else {
      RaiseErrorFmt("Invalid input file index %d in chapter mapping.", o.chapters_input_file);
    }
  }
  if (o.chapters_input_file >= 0)
    CopyChapters(*Finput_files[std::size_t(o.chapters_input_file)], of, of.ctx.get(),
                 !o.metadata_chapters_manual);
}

// Global and stream tags of the first input, unless tags were mapped by hand. A cut output drops
// the input's duration; the creation time is the output's own.
void TCustomFFmpegOpt::CopyInputMetadata(TOptionsContext& o, TOutputFile& of) {
  if (!o.metadata_global_manual && !Finput_files.empty()) {
    FF().av_dict_copy(&of.ctx->metadata, Finput_files[0]->ctx->metadata, AV_DICT_DONT_OVERWRITE);
    if (of.recording_time != INT64_MAX) FF().av_dict_set(&of.ctx->metadata, "duration", nullptr, 0);
    FF().av_dict_set(&of.ctx->metadata, "creation_time", nullptr, 0);
  }
  if (!o.metadata_streams_manual) {
    for (std::size_t i = std::size_t(of.ost_index); i < Foutput_streams.size(); i++) {
      TOutputStream& ost = *Foutput_streams[i];
      if (ost.source_index < 0) continue;
      const TInputStream& ist = *Finput_streams[std::size_t(ost.source_index)];
      FF().av_dict_copy(&ost.st->metadata, ist.st->metadata, AV_DICT_DONT_OVERWRITE);
      if (!ost.stream_copy) FF().av_dict_set(&ost.st->metadata, "encoder", nullptr, 0);
    }
  }
}

// "-program title=...:program_num=...:st=...".
void TCustomFFmpegOpt::AddPrograms(TOptionsContext& o, AVFormatContext* oc) {
  for (const TSpecifierOpt& entry : o.program) {
    std::string title;
    int progid = int(oc->nb_programs) + 1;
    std::vector<int> streams;
    std::string text = entry.u.str;
    std::size_t pos = 0;
    if (text.empty()) RaiseError("program string is empty.");
    while (pos < text.size()) {
      std::size_t colon = text.find(':', pos);
      if (colon == std::string::npos) colon = text.size();
      const std::string item = text.substr(pos, colon - pos);
      pos = colon + 1;
      const std::size_t eq = item.find('=');
      if (eq == std::string::npos) RaiseErrorFmt("No \"=\" character in program string %s.", item.c_str());
      const std::string key = item.substr(0, eq);
      const std::string value = item.substr(eq + 1);
      if (key == "title")
        title = value;
      else if (key == "program_num")
        progid = std::atoi(value.c_str());
      else if (key == "st")
        streams.push_back(std::atoi(value.c_str()));
      else
        RaiseErrorFmt("Unknown program key %s.", key.c_str());
    }
    AVProgram* program = FF().av_new_program(oc, progid);
    if (program == nullptr) RaiseError("av_new_program() failed");
    if (!title.empty()) FF().av_dict_set(&program->metadata, "title", title.c_str(), 0);
    for (int st : streams)
      if (st >= 0 && unsigned(st) < oc->nb_streams)
        FF().av_program_add_stream_index(oc, progid, unsigned(st));
  }
}

// "-metadata[:spec] key=value", applied last; an empty value removes the tag.
void TCustomFFmpegOpt::SetMetadataOptions(TOptionsContext& o, AVFormatContext* oc) {
  for (const TSpecifierOpt& entry : o.metadata) {
    const std::string& arg = entry.u.str;
    const std::size_t eq = arg.find('=');
    if (eq == std::string::npos) RaiseErrorFmt("No \"=\" character in metadata string %s.", arg.c_str());
    const std::string key = arg.substr(0, eq);
    const std::string value = arg.substr(eq + 1);
    char type = 'g';
    std::string spec;
    int index = 0;
    if (!ParseMetaType(entry.specifier, type, spec, index))
      RaiseErrorFmt("Invalid metadata type %s.", entry.specifier.c_str());
    const char* v = value.empty() ? nullptr : value.c_str();
    if (type == 's') {
      for (unsigned j = 0; j < oc->nb_streams; j++) {
        const int r = FF().avformat_match_stream_specifier(oc, oc->streams[j], spec.c_str());
        if (r < 0) RaiseErrorFmt("Invalid metadata specifier %s.", spec.c_str());
        if (r > 0) FF().av_dict_set(&oc->streams[j]->metadata, key.c_str(), v, 0);
      }
    } else if (type == 'c') {
      if (index < 0 || unsigned(index) >= oc->nb_chapters)
        RaiseErrorFmt("Invalid %s index %d while processing metadata maps", "chapter", index);
      FF().av_dict_set(&oc->chapters[index]->metadata, key.c_str(), v, 0);
    } else if (type == 'p') {
      if (index < 0 || unsigned(index) >= oc->nb_programs)
        RaiseErrorFmt("Invalid %s index %d while processing metadata maps", "program", index);
      FF().av_dict_set(&oc->programs[index]->metadata, key.c_str(), v, 0);
    } else {
      FF().av_dict_set(&oc->metadata, key.c_str(), v, 0);
    }
  }
}

void TCustomFFmpegOpt::ApplyMetadata(TOptionsContext& o, TOutputFile& of) {
  MapMetadata(o, of.ctx.get());
  MapChapters(o, of);
  CopyInputMetadata(o, of);
  AddPrograms(o, of.ctx.get());
  SetMetadataOptions(o, of.ctx.get());
}

}  // namespace media
