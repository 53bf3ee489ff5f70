#pragma once
// Option parsing in the manner of FFmpeg's command-line tool: option tables (TOptionDef), writing
// a value into its target, the parse loop that collects options into groups, routing of names no
// table row takes to FFmpeg's codec, format, scaler and resampler dictionaries (opt_default), and
// the log-level option. The decoder owns one TFFOptions; the conversion engine uses the same
// machinery with its own table.
//
// Failures are reported three ways at once: a negative FFmpeg error code, LastOptionError() and a
// log line. Value conversions that fail ("Expected integer for ...") throw FFmpegException.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "media/ff_types.h"
#include "media/ff_base.h"
#include "media/ff_handles.h"

namespace media {

// Flag bits of TOptionDef::flags (the values of FFmpeg's tool).
inline constexpr int HAS_ARG = 0x1;   // takes the next word as its argument
inline constexpr int OPT_BOOL = 0x2;  // int target or handler; "-name" gives 1, "-noname" 0
inline constexpr int OPT_EXPERT = 0x4;
inline constexpr int OPT_STRING = 0x8;  // std::string target
inline constexpr int OPT_VIDEO = 0x10;
inline constexpr int OPT_AUDIO = 0x20;
inline constexpr int OPT_INT = 0x80;     // int target
inline constexpr int OPT_FLOAT = 0x100;  // float target
inline constexpr int OPT_SUBTITLE = 0x200;
inline constexpr int OPT_INT64 = 0x400;  // std::int64_t target
inline constexpr int OPT_EXIT = 0x800;
inline constexpr int OPT_DATA = 0x1000;
inline constexpr int OPT_PERFILE = 0x2000;  // belongs to one file
inline constexpr int OPT_OFFSET = 0x4000;   // target at u.off inside the per-file options context
inline constexpr int OPT_SPEC = 0x8000;     // TSpecifierOptList at u.off; the name may carry ":spec"
inline constexpr int OPT_TIME = 0x10000;    // std::int64_t microseconds, parsed as a duration
inline constexpr int OPT_DOUBLE = 0x20000;  // double target
inline constexpr int OPT_INPUT = 0x40000;
inline constexpr int OPT_OUTPUT = 0x80000;

/// One value of a per-stream option: the text after the first ":" of the option name as written
/// (empty when none) and the value in the member that matches the option's type.
struct TSpecifierOpt {
  std::string specifier;
  struct {
    std::string str;
    int i = 0;
    std::int64_t i64 = 0;
    float f = 0;
    double dbl = 0;
  } u;
};
/// The target type of an OPT_SPEC row: WriteOption appends one entry per occurrence.
using TSpecifierOptList = std::vector<TSpecifierOpt>;

/// Handler of a row without a typed target: (per-file options context or null for global
/// options, the option name as written, the argument). Returns 0 or more on success, a negative
/// FFmpeg error code on failure.
using TOptionHandler = std::function<int(void* optctx, const std::string& opt, const std::string& arg)>;

/// The target of a table row: the address of a variable (dst_ptr), a handler (func_arg), or the
/// byte offset of a field of the per-file options context (off, made with OptionOffset).
struct TOptionDefUnion {
  TOptionDefUnion() = default;
  TOptionDefUnion(void* dst) : dst_ptr(dst) {}
  template <typename F>
  requires std::invocable<F&, void*, const std::string&, const std::string&> TOptionDefUnion(F handler)
      : func_arg(std::move(handler)) {}

  void* dst_ptr = nullptr;
  TOptionHandler func_arg;
  std::size_t off = 0;
};

/// The target of an OPT_OFFSET or OPT_SPEC row: offsetof(context type, field).
inline TOptionDefUnion OptionOffset(std::size_t offset) {
  TOptionDefUnion u;
  u.off = offset;
  return u;
}

/// One row of an option table; a table is an array ended by a row whose name is null.
/// The target is u.off inside the options context for OPT_OFFSET/OPT_SPEC rows, else u.dst_ptr
/// when set, else the handler u.func_arg. Target types by flag: see the flag constants.
/// {"y", OPT_BOOL, &overwrite, "overwrite output files"}
/// {"f", HAS_ARG | OPT_STRING | OPT_OFFSET | OPT_INPUT | OPT_OUTPUT, OptionOffset(offsetof(TCtx, format)),
/// ...}
/// {"map", HAS_ARG | OPT_PERFILE | OPT_OUTPUT, [this](void* o, const std::string& opt, const std::string&
/// arg) {...}}
struct TOptionDef {
  const char* name = nullptr;
  int flags = 0;
  TOptionDefUnion u{};
  const char* help = nullptr;
  const char* argname = nullptr;
};

/// An option collected by parse_options: the matched row, the name as written ("c:v") and the
/// argument.
struct TOption {
  const TOptionDef* opt = nullptr;
  std::string key;
  std::string val;
};

/// Options and FFmpeg dictionaries of one scope. The dictionaries are owned by the group's
/// TFFOptions and freed by its uninit_parse_context.
struct TOptionGroup {
  std::vector<TOption> opts;
  AVDictionary* codec_opts = nullptr;
  AVDictionary* format_opts = nullptr;
  AVDictionary* resample_opts = nullptr;
  AVDictionary* sws_dict = nullptr;
  AVDictionary* swr_opts = nullptr;
  int nb_opts() const { return int(opts.size()); }
};

/// Options that apply to the whole run, and those that apply to the file being opened.
struct TOptionParseContext {
  TOptionGroup global_opts;
  TOptionGroup file_opts;
};

/// Text of the last option failure on this thread (failures of one WriteOption run are joined
/// with "\n"). The engine reads it after a failed parse; ParseOptions clears it first.
std::string LastOptionError();
void SetLastOptionError(const std::string& text);

/// The dictionaries that collect options which are not a table's own. Not thread-safe: one
/// object per decoder or engine, used on that owner's thread. FFmpeg (avutil, avcodec, avformat,
/// swscale, swresample) must be loaded for every member but the constructor and destructor.
class TFFOptions : public ILogReporter {
 public:
  TFFOptions() = default;
  TFFOptions(const TFFOptions&) = delete;
  TFFOptions& operator=(const TFFOptions&) = delete;
  /// Frees every dictionary, the parse context's included.
  ~TFFOptions() override;

  /// uninit_opts, then "flags" = "bicubic" in the scaler dictionary.
  void init_opts();
  /// Frees the resampler, scaler, format, codec and resample dictionaries.
  void uninit_opts();
  /// uninit_parse_context, an empty parse context, init_opts.
  void init_parse_context();
  /// Frees the parse context's option lists and dictionaries, then uninit_opts.
  void uninit_parse_context();

  /// Offers opt=arg to FFmpeg's layers in turn: codec (also without a leading a/s/v), format,
  /// scaler, resampler; stores it in the dictionary of each layer that knows it (the append flag
  /// for flags-type values beginning with "+" or "-"). "debug"/"fdebug" also switch the logger to
  /// llDebug. Returns 0 when a layer took it, AVERROR_OPTION_NOT_FOUND when none did, -22 for the
  /// scaler's dimension/format options, or the scaler's/resampler's error for a bad value.
  int opt_default(const std::string& opt, const std::string& arg);
  /// Evaluates "sws_flags" of the scaler dictionary, when present, into sws_flags(). Returns 0 or
  /// the av_opt_eval_flags error (logged "av_opt_eval_flags() failed").
  int FetchSwsFlags();
  /// Collects options from words (no program name in front): table rows go with AddOption to the
  /// global group, or to the file group for OPT_PERFILE/OPT_OFFSET/OPT_SPEC rows; other "-name
  /// value" pairs go through opt_default; "-noname" sets a Boolean row to 0. At the end the
  /// dictionaries filled here move into the file group and fresh ones start. With
  /// returnOnInvalidOption an unknown option returns AVERROR_OPTION_NOT_FOUND and a word that is
  /// not an option -22; otherwise both are logged and skipped. A lone "-" is a word.
  int parse_options(const std::vector<std::string>& words, const TOptionDef* options,
                    bool returnOnInvalidOption);

  TOptionParseContext& OptionParseContext() { return Foctx; }
  /// The dictionaries opt_default fills; callers may swap in their own and restore them after.
  AVDictionary*& codec_opts() { return Fcodec_opts; }
  AVDictionary*& format_opts() { return Fformat_opts; }
  AVDictionary*& sws_dict() { return Fsws_dict; }
  AVDictionary*& swr_opts() { return Fswr_opts; }
  AVDictionary*& resample_opts() { return Fresample_opts; }
  /// Scaler flags, SWS_BICUBIC (4) until FetchSwsFlags changes them.
  int sws_flags() const { return Fsws_flags; }

  std::string ReporterInfo() const override { return "[TFFOptions] "; }

 private:
  int Fsws_flags = 4;
  AVDictionary* Fsws_dict = nullptr;
  AVDictionary* Fswr_opts = nullptr;
  AVDictionary* Fformat_opts = nullptr;
  AVDictionary* Fcodec_opts = nullptr;
  AVDictionary* Fresample_opts = nullptr;
  TOptionParseContext Foctx;
};

/// The row whose name equals name up to its first ":", or the table's terminating row.
const TOptionDef* FindOption(const TOptionDef* options, const std::string& name);
/// Writes arg into the row's target (see TOptionDef), or calls its handler. A handler's negative
/// result sets or extends LastOptionError with "Failed to set value ..." and is returned.
/// Throws FFmpegException when arg does not convert to the target's type.
int WriteOption(void* optctx, const TOptionDef* po, const std::string& opt, const std::string& arg);
/// Finds and writes one option (arg may be null). Returns 1 when the argument was used, 0 when
/// not, -22 for an unknown option or a missing argument (LastOptionError set), or WriteOption's
/// error.
int ParseOption(void* optctx, const std::string& opt, const char* arg, const TOptionDef* options);
/// Writes every option of group, first checking each against allowedFlags (OPT_INPUT or
/// OPT_OUTPUT; 0 = no check). groupName names the file in the messages. Returns 0 or the first
/// error (-22 for an option of the other direction).
int ParseOptionGroup(void* optctx, TOptionGroup& group, const std::string& groupName, int allowedFlags);
/// Index in words of the first "-optname" (or "-nooptname" of a Boolean row), skipping the
/// arguments of options that take one; -1 when absent.
int LocateOption(const std::vector<std::string>& words, const TOptionDef* options,
                 const std::string& optname);
/// Applies "-loglevel X" (or "-v X") of words before anything else is parsed. Returns 0 or the
/// error of SetLogLevelOption.
int ParseLogLevel(const std::vector<std::string>& words, const TOptionDef* options);
/// Throws FFmpegException when an OPT_PERFILE row is neither OPT_INPUT nor OPT_OUTPUT (a table bug).
void CheckOptions(const TOptionDef* options);
/// Appends an option to group.
void AddOption(TOptionGroup& group, const TOptionDef* opt, const std::string& key, const std::string& val);
/// Reads the whole of text as av_strtod does, whatever the locale: a decimal or "0x" number, then
/// an SI prefix (k/K 1e3, M 1e6, G 1e9 ... u 1e-6), or the binary one with "i" (Ki 1024, Mi 2^20),
/// then "B" (times 8); "dB" reads decibels. "0.1k" is 100, "10M" 1e7, "1KiB" 8192.
bool ParseSuffixedNumber(const std::string& text, double& value);
/// The number in numstr (decimal; for OPT_INT64/OPT_INT a whole number) within [min, max];
/// throws FFmpegException naming context otherwise.
double ParseNumberOrExit(const std::string& context, const std::string& numstr, int type, double min,
                         double max);
/// av_parse_time of timestr, as a duration or a date, in microseconds. Throws FFmpegException
/// "Invalid duration specification for "ctx": "str"" (or "date") on failure.
std::int64_t ParseTimeOrExit(const std::string& context, const std::string& timestr, bool isDuration);
/// "-loglevel" value: optional "repeat" (keep repeated lines; "repeat+level" also sets a level),
/// then a level name or an av_log number. Returns 0, or -22 with LastOptionError set.
int SetLogLevelOption(const std::string& opt, const std::string& arg);
/// One dictionary per stream of s with the codec options that apply to it (CheckStreamSpecifier);
/// empty when s has no streams.
TDictionaryArray SetupFindStreamInfoOpts(AVFormatContext* s, const AVDictionary* codecOpts);
/// The entries of opts that concern stream st of s: "key:spec" entries whose specifier matches st
/// (under the bare key), entries the codec (class or private class) knows, and "vkey"/"akey"/
/// "skey" of the stream's type under "key". codec may be null (the encoder or decoder of codecId
/// is taken). Throws FFmpegException "invalid stream specification" for a malformed specifier.
/// The caller frees the result with av_dict_free.
AVDictionary* CheckStreamSpecifier(const AVDictionary* opts, int codecId, AVFormatContext* s,
                                   AVStream* st, const AVCodec* codec);

}  // namespace media
