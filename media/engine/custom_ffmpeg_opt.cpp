#include "media/engine/custom_ffmpeg_opt.h"

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <string_view>
#include <utility>

#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

namespace {

std::string Trim(std::string_view text) {
  const std::size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  const std::size_t e = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(b, e - b + 1));
}

// CR LF and lone CR become LF, and the literal "<CRLF>" of single-line settings too.
std::string NormaliseLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); i++) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') i++;
    } else if (text.compare(i, 6, "<CRLF>") == 0) {
      out += '\n';
      i += 5;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Empties a dictionary slot for a while: what is put in it meanwhile is freed, and the dictionary
// it held goes back, when this goes.
class TEmptiedDictionary {
 public:
  explicit TEmptiedDictionary(AVDictionary*& slot) noexcept : FSlot(slot), FSaved(std::exchange(slot, nullptr)) {}
  ~TEmptiedDictionary() { const TDictionaryPtr filled{std::exchange(FSlot, FSaved)}; }
  TEmptiedDictionary(const TEmptiedDictionary&) = delete;
  TEmptiedDictionary& operator=(const TEmptiedDictionary&) = delete;
  AVDictionary* Filled() const noexcept { return FSlot; }

 private:
  AVDictionary*& FSlot;
  AVDictionary* FSaved;
};

}  // namespace

TCustomFFmpegOpt::TCustomFFmpegOpt() : FOptions(std::make_unique<TFFOptions>()) {
  FReadCallback.callback = &ReadInterruptCallback;
  FReadCallback.opaque = this;
  FWriteCallback.callback = &WriteInterruptCallback;
  FWriteCallback.opaque = this;
}

TCustomFFmpegOpt::~TCustomFFmpegOpt() = default;

std::string TCustomFFmpegOpt::ReporterInfo() const {
  if (FOwner != nullptr) return FOwner->ReporterInfo();
  return "[TCustomFFmpeg] ";
}

int64_t TCustomFFmpegOpt::Now() { return FF().av_gettime_relative(); }

void TCustomFFmpegOpt::Log(TLogLevel level, const char* format, ...) const {
  TFFLogger& logger = FFLogger();
  // Formatting costs more than the check; most lines of the loop are above the level.
  if (level > logger.LogLevel() || logger.Skipping()) return;
  va_list args;
  va_start(args, format);
  const std::string text = VFormatStr(format, args);
  va_end(args);
  logger.Log(this, level, text);
}

void TCustomFFmpegOpt::RaiseError(const std::string& text) {
  KeepError(AVERROR(EINVAL), text);
  Log(TLogLevel::llFatal, "%s", text.c_str());
  throw TEngineFailure(FLastError);
}

int TCustomFFmpegOpt::Refuse(TLogLevel level, const std::string& text, int code) {
  KeepError(code, text);
  Log(level, "%s", text.c_str());
  return code;
}

int TCustomFFmpegOpt::KeepError(int code, const std::string& text) {
  FLastError = TEngineResult{code, text};
  return code;
}

void TCustomFFmpegOpt::RaiseErrorFmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = VFormatStr(format, args);
  va_end(args);
  RaiseError(text);
}

void TCustomFFmpegOpt::AbortCodecExperimental() { RaiseError("abort codec experimental"); }

void TCustomFFmpegOpt::SetOptionError(TLogLevel level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = VFormatStr(format, args);
  va_end(args);
  SetLastOptionError(text);
  Log(level, "%s", text.c_str());
}

AVFormatContext* TCustomFFmpegOpt::InputFormatContext(int index) const {
  if (index < 0 || index >= int(Finput_files.size())) return nullptr;
  return Finput_files[index]->ctx.get();
}

// --- Options context --------------------------------------------------------------------------

void TCustomFFmpegOpt::InitOptionsContext(TOptionsContext& o) {
  o = TOptionsContext();
  FOptions->init_parse_context();
  o.g = &FOptions->OptionParseContext().file_opts;
}

void TCustomFFmpegOpt::ReleaseOptionsContext(TOptionsContext& o) {
  o = TOptionsContext();
  FOptions->uninit_parse_context();
}

int TCustomFFmpegOpt::InOptionsContext(const std::function<int(TOptionsContext&)>& open) {
  // A reason kept by an earlier call is not this call's.
  ClearLastErrMsg();
  TOptionsContext o;
  InitOptionsContext(o);
  int ret = 0;
  try {
    ret = open(o);
  } catch (const TEngineFailure& e) {
    FLastError = e.Result();
    ret = e.Result().Code;
  } catch (const std::exception& e) {
    ret = Refuse(TLogLevel::llFatal, e.what(), AVERROR(EINVAL));
  }
  ReleaseOptionsContext(o);
  if (ret < 0 && FLastError.Message.empty()) Refuse(TLogLevel::llFatal, FormatAVError(ret), ret);
  return ret;
}

int TCustomFFmpegOpt::OpenInput(const std::string& fileName, const std::string& options,
                                const std::string& presets) {
  return InOptionsContext([&](TOptionsContext& o) { return OpenInputFile(o, options, fileName, presets); });
}

int TCustomFFmpegOpt::OpenOutput(const std::string& fileName, const std::string& options,
                                 const std::string& presets) {
  return InOptionsContext([&](TOptionsContext& o) { return OpenOutputFile(o, options, fileName, presets); });
}

// --- Dictionaries -----------------------------------------------------------------------------

int TCustomFFmpegOpt::ApplyDefaultToFile(TOptionsContext* o, const std::string& key,
                                         const std::string& value) {
  // opt_default fills the dictionaries of FOptions; route them into this file's group only.
  const TEmptiedDictionary codec(FOptions->codec_opts());
  const TEmptiedDictionary format(FOptions->format_opts());
  const int ret = FOptions->opt_default(key, value);
  if (o != nullptr && o->g != nullptr) {
    FF().av_dict_copy(&o->g->codec_opts, codec.Filled(), 0);
    FF().av_dict_copy(&o->g->format_opts, format.Filled(), 0);
  }
  return ret;
}

AVDictionary* TCustomFFmpegOpt::StripSpecifiers(AVDictionary* dict) {
  AVDictionary* ret = nullptr;
  const AVDictionaryEntry* t = nullptr;
  while ((t = FF().av_dict_get(dict, "", t, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
    std::string key = t->key;
    const std::size_t colon = key.find(':');
    if (colon != std::string::npos) key.resize(colon);
    FF().av_dict_set(&ret, key.c_str(), t->value, 0);
  }
  return ret;
}

void TCustomFFmpegOpt::RemoveOptions(AVDictionary** a, AVDictionary* b) {
  const AVDictionaryEntry* t = nullptr;
  while ((t = FF().av_dict_get(b, "", t, AV_DICT_IGNORE_SUFFIX)) != nullptr)
    FF().av_dict_set(a, t->key, nullptr, AV_DICT_MATCH_CASE);
}

void TCustomFFmpegOpt::AssertOptionsConsumed(const AVDictionary* dict) {
  const AVDictionaryEntry* t = FF().av_dict_get(dict, "", nullptr, AV_DICT_IGNORE_SUFFIX);
  if (t == nullptr) return;
  const std::string text = FormatStr("Option %s not found.", t->key);
  if (FHaltOnInvalidOption) RaiseError(text);
  KeepError(0, text);
}

bool TCustomFFmpegOpt::CheckUnusedCodecOptions(AVDictionary* codecOpts,
                                               const std::vector<const AVDictionary*>& used, bool output,
                                               int fileIndex, const std::string& fileName) {
  TDictionaryPtr unused{StripSpecifiers(codecOpts)};
  for (const AVDictionary* dict : used) {
    const AVDictionaryEntry* t = nullptr;
    while ((t = FF().av_dict_get(dict, "", t, AV_DICT_IGNORE_SUFFIX)) != nullptr)
      FF().av_dict_set(OutPtr(unused), t->key, nullptr, 0);
  }
  const char* fileKind = output ? "output" : "input";
  const char* direction = output ? "encoding" : "decoding";
  bool ok = true;
  const AVDictionaryEntry* t = nullptr;
  while (ok && (t = FF().av_dict_get(unused.get(), "", t, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
    const AVClass* cls = FF().avcodec_get_class();
    const AVOption* option =
        FF().av_opt_find(&cls, t->key, nullptr, 0, AV_OPT_SEARCH_CHILDREN | AV_OPT_SEARCH_FAKE_OBJ);
    const AVClass* fcls = FF().avformat_get_class();
    const AVOption* foption =
        FF().av_opt_find(&fcls, t->key, nullptr, 0, AV_OPT_SEARCH_CHILDREN | AV_OPT_SEARCH_FAKE_OBJ);
    // Format options were consumed by the (de)muxer; unknown names were refused when parsed.
    if (option == nullptr || foption != nullptr) continue;
    const char* help = option->help != nullptr ? option->help : "";
    if (!(option->flags & (output ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM))) {
      Refuse(TLogLevel::llError,
             FormatStr("Codec AVOption %s (%s) specified for %s file #%d (%s) is not a%s %s option.", t->key,
                       help, fileKind, fileIndex, fileName.c_str(), output ? "n" : "", direction),
             AVERROR(EINVAL));
      ok = false;
      break;
    }
    Log(TLogLevel::llWarning,
        "Codec AVOption %s (%s) specified for %s file #%d (%s) has not been used for any stream. The most "
        "likely reason "
        "is either wrong type (e.g. a video option with no video streams) or that it is a private option of "
        "some %s "
        "which was not actually used for any stream.",
        t->key, help, fileKind, fileIndex, fileName.c_str(), output ? "encoder" : "decoder");
  }
  return ok;
}

int TCustomFFmpegOpt::ParseOptionByName(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  const int ret = ParseOption(o, opt, arg.c_str(), FOptionDef.data());
  return ret < 0 ? ret : 0;
}

// --- Parsing ----------------------------------------------------------------------------------

int TCustomFFmpegOpt::ParseOptions(TOptionsContext& o, const std::string& options, const std::string& role,
                                   int direction, const std::string& fileName, const std::string& presets) {
  BuildOptionTable();
  int ret = 0;
  const std::vector<std::string> words = SplitCommandLine(options);
  SetLastOptionError("");
  if (!words.empty()) {
    Log(TLogLevel::llInfo, "ParseOptions for %s: %s", role.c_str(), options.c_str());
    ret = ParseLogLevel(words, FOptionDef.data());
    if (ret >= 0) {
      SetLastOptionError("");
      ret = FOptions->parse_options(words, FOptionDef.data(), FHaltOnInvalidOption);
    }
    TOptionParseContext& ctx = FOptions->OptionParseContext();
    if (ret >= 0 && !ctx.global_opts.opts.empty())
      ret = ParseOptionGroup(nullptr, ctx.global_opts, "global", 0);
    if (ret >= 0) {
      ret = ParsePresets(o, presets, role);
      if (ret >= 0 && !ctx.file_opts.opts.empty())
        ret = ParseOptionGroup(&o, ctx.file_opts, fileName, direction);
    }
  } else {
    ret = ParsePresets(o, presets, role);
  }
  if (ret < 0) {
    const std::string text = FormatAVError(ret);
    Log(TLogLevel::llFatal, "%s", text.c_str());
    if (FHaltOnInvalidOption) {
      const std::string optionError = LastOptionError();
      // Both lines were logged as they arose.
      KeepError(ret, optionError.empty() ? text : optionError + "\n" + text);
    }
  }
  return FHaltOnInvalidOption ? ret : 0;
}

int TCustomFFmpegOpt::ApplyPresetLine(TOptionsContext& o, const std::string& line,
                                      const std::string& syntaxPrefix, const std::string& optionPrefix) {
  const std::size_t eq = line.find('=');
  const std::string key = Trim(eq == std::string::npos ? line : line.substr(0, eq));
  const std::string value = eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
  if (key.empty() || value.empty()) {
    const std::string msg = syntaxPrefix + FormatStr("Invalid syntax: \"%s\"", line.c_str());
    Log(TLogLevel::llError, "%s", msg.c_str());
    if (FHaltOnInvalidOption) {
      SetLastOptionError(msg);
      return AVERROR(EINVAL);
    }
  }
  Log(TLogLevel::llDebug, "Applying preset %s with argument %s.", key.c_str(), value.c_str());
  std::string lower = key;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  int ret = 0;
  if (lower == "acodec" || lower == "vcodec" || lower == "scodec" || lower == "dcodec")
    ret = ParseOptionByName(&o, std::string("codec:") + lower[0], value);
  else
    ret = ApplyDefaultToFile(&o, key, value);
  if (ret < 0) {
    const std::string msg =
        optionPrefix + FormatStr("Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                                 line.c_str(), key.c_str(), value.c_str());
    Log(TLogLevel::llError, "%s", msg.c_str());
    if (FHaltOnInvalidOption) {
      const std::string previous = LastOptionError();
      SetLastOptionError(previous.empty() ? msg : previous + "\n" + msg);
      return ret;
    }
  }
  return 0;
}

int TCustomFFmpegOpt::ParsePresets(TOptionsContext& o, const std::string& presets, const std::string& role) {
  if (presets.empty()) return 0;
  const std::string text = NormaliseLineBreaks(Trim(presets));
  Log(TLogLevel::llInfo, "ParsePresets for %s:\n%s", role.c_str(), text.c_str());
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == '#') continue;
    const int ret = ApplyPresetLine(o, line, "", "");
    if (ret < 0) return ret;
  }
  return 0;
}

int TCustomFFmpegOpt::opt_preset(TOptionsContext* o, const std::string& opt, const std::string& arg) {
  if (opt.empty() || std::strchr("avsf", opt[0]) == nullptr) RaiseError("Never occur");
  std::ifstream file(arg);
  if (!file) {
    SetOptionError(TLogLevel::llError, "Preset file \"%s\" not found", arg.c_str());
    return AVERROR(EINVAL);
  }
  Log(TLogLevel::llInfo, "Parse preset file: %s", arg.c_str());
  const std::size_t slash = arg.find_last_of('/');
  const std::string baseName = slash == std::string::npos ? arg : arg.substr(slash + 1);
  std::string line;
  while (std::getline(file, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const int ret = ApplyPresetLine(*o, line, arg + ": ", baseName + ": ");
    if (ret < 0) return ret;
  }
  return 0;
}

// --- Interrupt callbacks ----------------------------------------------------------------------

int TCustomFFmpegOpt::ReadInterruptCallback(void* opaque) {
  auto* self = static_cast<TCustomFFmpegOpt*>(opaque);
  try {
    if (self->FBroken.load()) {
      self->Log(TLogLevel::llInfo, "reading/writing broken");
      return 1;
    }
    const int64_t last = self->FLastRead.load();
    const int timeout = self->FReadTimeout.load();
    if (last == INT64_MAX || timeout <= 0) return 0;
    if (Now() - last > int64_t(timeout) * 1000) {
      self->Log(TLogLevel::llInfo, last == 0 ? "connecting/reading canceled" : "connecting/reading timeout");
      return 1;
    }
  } catch (...) {
    // Nothing may cross back into FFmpeg.
  }
  return 0;
}

int TCustomFFmpegOpt::WriteInterruptCallback(void* opaque) {
  auto* self = static_cast<TCustomFFmpegOpt*>(opaque);
  try {
    const int64_t last = self->FLastWrite.load();
    const int timeout = self->FWriteTimeout.load();
    if (last == INT64_MAX || timeout <= 0) return 0;
    if (Now() - last > int64_t(timeout) * 1000) {
      self->Log(TLogLevel::llInfo, last == 0 ? "connecting/writing canceled" : "connecting/writing timeout");
      return 1;
    }
  } catch (...) {
    // Nothing may cross back into FFmpeg.
  }
  return 0;
}

// --- Per-stream lookup ------------------------------------------------------------------------

void TCustomFFmpegOpt::MatchPerTypeCodecName(const TOptionsContext& o, const char* kind,
                                             std::string& value) const {
  for (const TSpecifierOpt& entry : o.codec_names)
    if (entry.specifier == kind) value = entry.u.str;
}

}  // namespace media
