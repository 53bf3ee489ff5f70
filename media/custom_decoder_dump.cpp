// The decoder's text descriptions: codec names and the multi-line file dump (FileInfoText), laid
// out like FFmpeg's av_dump_format.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "media/custom_decoder.h"
#include "media/ff_api.h"
#include "media/ff_handles.h"
#include "media/ff_utils.h"

namespace media {

namespace {

std::string Trim(const char* text) {
  std::string s = text != nullptr ? text : "";
  const size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  return s.substr(begin, s.find_last_not_of(" \t\r\n") - begin + 1);
}

// "%d.%.6d" seconds of a time in microseconds, "-" in front of negative values.
std::string SecondsText(int64_t micros) {
  const uint64_t magnitude = micros < 0 ? 0 - static_cast<uint64_t>(micros) : static_cast<uint64_t>(micros);
  return FormatStr("%s%llu.%06llu", micros < 0 ? "-" : "", static_cast<unsigned long long>(magnitude / 1000000),
                static_cast<unsigned long long>(magnitude % 1000000));
}

// A rate the way FFmpeg's dump prints it: "25 fps", "29.97 fps", "90k tbn", "0.0100 fps".
std::string RateText(double value, const char* unit) {
  const long long hundredths = std::llround(value * 100);
  if (hundredths == 0) return FormatStr("%1.4f %s", value, unit);
  if (hundredths % 100 != 0) return FormatStr("%3.2f %s", value, unit);
  if (hundredths % (100 * 1000) != 0) return FormatStr("%1.0f %s", value, unit);
  return FormatStr("%1.0fk %s", value / 1000, unit);
}

bool Known(AVRational r) { return r.num != 0 && r.den != 0; }

// "Metadata:" and one line per entry but "language"; nothing for an empty dictionary or one
// that holds only "language". A value's line breaks continue under the same prefix, empty key.
void DumpMetadata(std::vector<std::string>& lines, const AVDictionary* dict, const std::string& indent) {
  if (dict == nullptr) return;
  const int count = FF().av_dict_count(dict);
  if (count == 0 || (count == 1 && FF().av_dict_get(dict, "language", nullptr, 0) != nullptr)) return;
  lines.push_back(indent + "Metadata:");
  const AVDictionaryEntry* tag = nullptr;
  while ((tag = FF().av_dict_get(dict, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
    if (std::strcmp(tag->key, "language") == 0) continue;
    std::string prefix = FormatStr("%s  %-16s: ", indent.c_str(), tag->key);
    const std::string continuation = FormatStr("%s  %-16s: ", indent.c_str(), "");
    std::string line = prefix;
    for (const char* p = tag->value; *p != '\0'; ++p) {
      if (*p == '\n') {
        lines.push_back(line);
        line = continuation;
      } else if (*p != '\r') {
        line += *p;
      }
    }
    lines.push_back(line);
  }
}

constexpr struct {
  int Flag;
  const char* Text;
} kDispositions[] = {
    {AV_DISPOSITION_DEFAULT, " (default)"},
    {AV_DISPOSITION_DUB, " (dub)"},
    {AV_DISPOSITION_ORIGINAL, " (original)"},
    {AV_DISPOSITION_COMMENT, " (comment)"},
    {AV_DISPOSITION_LYRICS, " (lyrics)"},
    {AV_DISPOSITION_KARAOKE, " (karaoke)"},
    {AV_DISPOSITION_FORCED, " (forced)"},
    {AV_DISPOSITION_HEARING_IMPAIRED, " (hearing impaired)"},
    {AV_DISPOSITION_VISUAL_IMPAIRED, " (visual impaired)"},
    {AV_DISPOSITION_CLEAN_EFFECTS, " (clean effects)"},
};

}  // namespace

std::string TCustomDecoder::CodecText(const AVStream* st) const {
  const AVCodecParameters* par = st->codecpar;
  if (const AVCodec* decoder = FF().avcodec_find_decoder(par->codec_id)) {
    std::string text = decoder->name != nullptr ? decoder->name : "";
    const std::string longName = Trim(decoder->long_name);
    if (FGetLongCodecName && !longName.empty()) text += "(" + longName + ")";
    return text;
  }
  if (par->codec_id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
  const uint32_t tag = par->codec_tag;
  const char c[4] = {static_cast<char>(tag & 0xFF), static_cast<char>((tag >> 8) & 0xFF),
                     static_cast<char>((tag >> 16) & 0xFF), static_cast<char>(tag >> 24)};
  bool printable = true;
  for (char ch : c) printable = printable && ch >= 32 && ch <= 126;
  if (printable) return FormatStr("%c%c%c%c / 0x%04X", c[0], c[1], c[2], c[3], tag);
  return FormatStr("0x%04x", tag);
}

// One "  Stream #..." line: index, id, language, time base, the codec's own description,
// aspect ratios, rates, dispositions, start and duration.
std::string TCustomDecoder::StreamLine(int index) {
  const AVStream* st = FFileHandle->streams[index];
  const AVCodecParameters* par = st->codecpar;
  std::string line = FormatStr("  Stream #%d", index);
  if (FFileHandle->iformat != nullptr && (FFileHandle->iformat->flags & AVFMT_SHOW_IDS) != 0)
    line += FormatStr("[0x%x]", st->id);
  const std::string language = GetDictValue(st->metadata, "language", "");
  if (!language.empty()) line += "(" + language + ")";
  line += FormatStr(", %d/%d", st->time_base.num, st->time_base.den);

  TCodecContextPtr ctx(FF().avcodec_alloc_context3(nullptr));
  if (ctx != nullptr && FF().avcodec_parameters_to_context(ctx.get(), par) >= 0) {
    ctx->pkt_timebase = st->time_base;
    char text[256] = {};
    FF().avcodec_string(text, sizeof text, ctx.get(), 0);
    line += std::string(": ") + text;
  }

  const AVRational sar = st->sample_aspect_ratio;
  if (sar.num > 0 && sar.den > 0 && par->width > 0 && par->height > 0 &&
      static_cast<int64_t>(sar.num) * par->sample_aspect_ratio.den !=
          static_cast<int64_t>(par->sample_aspect_ratio.num) * sar.den) {
    AVRational dar{0, 1};
    FF().av_reduce(&dar.num, &dar.den, static_cast<int64_t>(par->width) * sar.num,
                   static_cast<int64_t>(par->height) * sar.den, 1024 * 1024);
    line += FormatStr(", SAR %d:%d DAR %d:%d", sar.num, sar.den, dar.num, dar.den);
  }
  if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
    const char* separator = ctx != nullptr && ctx->dump_separator != nullptr
                                ? reinterpret_cast<const char*>(ctx->dump_separator)
                                : ", ";
    if (Known(st->avg_frame_rate)) line += separator + RateText(av_q2d(st->avg_frame_rate), "fps");
    if (Known(st->r_frame_rate)) line += separator + RateText(av_q2d(st->r_frame_rate), "tbr");
    if (Known(st->time_base)) line += separator + RateText(1 / av_q2d(st->time_base), "tbn");
  }
  for (const auto& d : kDispositions)
    if ((st->disposition & d.Flag) != 0) line += d.Text;
  if (st->time_base.den != 0) {
    if (st->start_time != AV_NOPTS_VALUE)
      line += ", start: " + SecondsText(FF().av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q));
    if (st->duration != AV_NOPTS_VALUE) line += ", duration: " + TimestampToStr(st->time_base, st->duration);
  }
  return line;
}

std::string TCustomDecoder::FileInfoText() {
  if (FFileHandle == nullptr) {
    Fail(TLogLevel::llWarning, "file not loaded.");
    return "";
  }
  const AVFormatContext* ic = FFileHandle;
  std::vector<std::string> lines;
  lines.push_back("File Name: " + FileName());
  lines.push_back("Format Name: " + FormatName());
  const std::string longName = FormatLongName();
  if (!longName.empty()) lines.push_back("Format Long Name: " + longName);
  lines.push_back("File Size: " + FormatByteSize(FFileSize < 0 ? 0 : FFileSize));
  DumpMetadata(lines, ic->metadata, "");

  std::string duration = "Duration: " + DurationToStr(ic->duration);
  if (ic->start_time != AV_NOPTS_VALUE) duration += ", start: " + SecondsText(ic->start_time);
  duration += ", bitrate: ";
  duration += ic->bit_rate > 0 ? FormatStr("%lld kb/s", static_cast<long long>(ic->bit_rate / 1000)) : "N/A";
  lines.push_back(duration);

  for (unsigned i = 0; i < ic->nb_chapters; ++i) {
    const AVChapter* ch = ic->chapters[i];
    lines.push_back(FormatStr("Chapter #%u: start %.6f, end %.6f", i, ch->start * av_q2d(ch->time_base),
                           ch->end * av_q2d(ch->time_base)));
    DumpMetadata(lines, ch->metadata, "  ");
  }

  std::vector<bool> shown(ic->nb_streams, false);
  if (ic->nb_programs > 0) {
    unsigned listed = 0;
    for (unsigned j = 0; j < ic->nb_programs; ++j) {
      const AVProgram* program = ic->programs[j];
      lines.push_back(FormatStr("Program %d %s", program->id, GetDictValue(program->metadata, "name", "").c_str()));
      DumpMetadata(lines, program->metadata, "  ");
      for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
        const unsigned index = program->stream_index[k];
        if (index >= ic->nb_streams) continue;
        lines.push_back(StreamLine(static_cast<int>(index)));
        DumpMetadata(lines, ic->streams[index]->metadata, "  ");
        shown[index] = true;
      }
      listed += program->nb_stream_indexes;
    }
    if (listed < ic->nb_streams) lines.push_back("No Program");
  }
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    if (shown[i]) continue;
    lines.push_back(StreamLine(static_cast<int>(i)));
    DumpMetadata(lines, ic->streams[i]->metadata, "  ");
  }

  std::string text;
  for (const auto& l : lines) text += (text.empty() ? "" : "\n") + l;
  return text;
}

}  // namespace media
