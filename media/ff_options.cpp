#include "media/ff_options.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media/ff_logger.h"

namespace media {

namespace {

thread_local std::string GLastOptionError;

const char* const GLevelOptionNames[] = {"quiet", "panic",   "fatal", "error", "warning",
                                         "info",  "verbose", "debug", "trace"};

void LogError(const ILogReporter* sender, const std::string& text) {
  FFLogger().Log(sender, TLogLevel::llError, text);
}

// Sets LastOptionError and logs it at error level.
void FailWith(const ILogReporter* sender, const std::string& text) {
  GLastOptionError = text;
  LogError(sender, text);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The power of ten of an SI prefix letter, as av_strtod reads it after a number ("k" 3, "M" 6,
// "u" -6...); 0 for a letter that is no prefix.
int SiPrefixExponent(char c) {
  switch (c) {
    case 'y': return -24;
    case 'z': return -21;
    case 'a': return -18;
    case 'f': return -15;
    case 'p': return -12;
    case 'n': return -9;
    case 'u': return -6;
    case 'm': return -3;
    case 'c': return -2;
    case 'd': return -1;
    case 'h': return 2;
    case 'k':
    case 'K': return 3;
    case 'M': return 6;
    case 'G': return 9;
    case 'T': return 12;
    case 'P': return 15;
    case 'E': return 18;
    case 'Z': return 21;
    case 'Y': return 24;
    default: return 0;
  }
}

template <typename T>
T ParseWholeOrThrow(const char* typeName, const std::string& opt, const std::string& arg, double min,
                    double max) {
  double d = 0;
  if (!ParseSuffixedNumber(arg, d) || !(d >= min && d <= max) || static_cast<double>(static_cast<T>(d)) != d)
    throw FFmpegException(std::string("Expected ") + typeName + " for " + Quoted(opt) + " but found " +
                          Quoted(arg));
  return static_cast<T>(d);
}

int ParseIntOrThrow(const std::string& opt, const std::string& arg) {
  return ParseWholeOrThrow<int>("integer", opt, arg, INT_MIN, INT_MAX);
}

std::int64_t ParseInt64OrThrow(const std::string& opt, const std::string& arg) {
  // 2^63 is a double but no int64: the upper bound is exclusive.
  return ParseWholeOrThrow<std::int64_t>("int64", opt, arg, -9223372036854775808.0, std::nextafter(9223372036854775808.0, 0.0));
}

template <typename T>
T ParseRealOrThrow(const char* typeName, const std::string& opt, const std::string& arg) {
  double value = 0;
  if (!ParseSuffixedNumber(arg, value) || !std::isfinite(static_cast<T>(value)))
    throw FFmpegException(std::string("Expected ") + typeName + " for " + Quoted(opt) + " but found " +
                          Quoted(arg));
  return static_cast<T>(value);
}

// The append flag for a flags-type option whose value adds or removes flags ("+global_header"),
// so a second such option adds to the first instead of replacing it.
int DictFlags(const AVOption* o, const std::string& arg) {
  return o != nullptr && o->type == AV_OPT_TYPE_FLAGS && !arg.empty() && (arg[0] == '+' || arg[0] == '-')
             ? AV_DICT_APPEND
             : 0;
}

void FreeDict(AVDictionary*& dict) { const TDictionaryPtr freed{std::exchange(dict, nullptr)}; }

// Moves a dictionary into the parse context's slot, which must be empty.
void MoveDict(AVDictionary*& from, AVDictionary*& to) {
  if (to != nullptr)
    throw FFmpegException("Assertion failed: option dictionary of the parse context is not empty.");
  to = from;
  from = nullptr;
}

void FreeGroup(TOptionGroup& group) {
  group.opts.clear();
  FreeDict(group.codec_opts);
  FreeDict(group.format_opts);
  FreeDict(group.resample_opts);
  FreeDict(group.sws_dict);
  FreeDict(group.swr_opts);
}

bool StartsWithNo(const std::string& name) { return name.size() > 2 && name[0] == 'n' && name[1] == 'o'; }

// The Boolean row named by "no" + name, or null.
const TOptionDef* NoFormOf(const TOptionDef* options, const std::string& name) {
  if (!StartsWithNo(name)) return nullptr;
  const TOptionDef* po = FindOption(options, name.substr(2));
  return po->name != nullptr && (po->flags & OPT_BOOL) != 0 ? po : nullptr;
}

std::string HelpOf(const TOptionDef* po) { return po->help != nullptr ? po->help : ""; }

}  // namespace

std::string LastOptionError() { return GLastOptionError; }

void SetLastOptionError(const std::string& text) { GLastOptionError = text; }

bool ParseSuffixedNumber(const std::string& text, double& value) {
  const char* p = text.data();
  const char* last = p + text.size();
  while (p != last && std::isspace(static_cast<unsigned char>(*p)) != 0) ++p;
  const bool negative = p != last && *p == '-';
  if (p != last && (*p == '+' || *p == '-')) ++p;
  double d = 0;
  const char* next = p;
  if (last - p > 2 && p[0] == '0' && (p[1] | 0x20) == 'x') {
    unsigned long long hex = 0;
    const auto [end, ec] = std::from_chars(p + 2, last, hex, 16);
    if (ec != std::errc()) return false;
    d = static_cast<double>(hex);
    next = end;
  } else {
    const auto [end, ec] = std::from_chars(p, last, d);
    if (ec != std::errc() && ec != std::errc::result_out_of_range) return false;
    next = end;
  }
  if (next == p) return false;
  if (negative) d = -d;
  if (last - next >= 2 && next[0] == 'd' && next[1] == 'B') {
    d = std::pow(10.0, d / 20);  // decibels, not decibytes
    next += 2;
  } else if (next != last) {
    if (const int e = SiPrefixExponent(*next); e != 0) {
      if (last - next >= 2 && next[1] == 'i') {
        d *= std::pow(2.0, e / 0.3);
        next += 2;
      } else {
        d *= std::pow(10.0, e);
        next++;
      }
    }
  }
  if (next != last && *next == 'B') {
    d *= 8;
    next++;
  }
  if (next != last) return false;
  value = d;
  return true;
}

// ---------------------------------------------------------------------------------------------
// TFFOptions

TFFOptions::~TFFOptions() { uninit_parse_context(); }

void TFFOptions::init_opts() {
  uninit_opts();
  FF().av_dict_set(&Fsws_dict, "flags", "bicubic", 0);
}

void TFFOptions::uninit_opts() {
  FreeDict(Fswr_opts);
  FreeDict(Fsws_dict);
  FreeDict(Fformat_opts);
  FreeDict(Fcodec_opts);
  FreeDict(Fresample_opts);
}

void TFFOptions::init_parse_context() {
  uninit_parse_context();
  Foctx = TOptionParseContext{};
  init_opts();
}

void TFFOptions::uninit_parse_context() {
  FreeGroup(Foctx.file_opts);
  FreeGroup(Foctx.global_opts);
  uninit_opts();
}

int TFFOptions::opt_default(const std::string& opt, const std::string& arg) {
  const TFFApi& api = FF();
  if (opt == "debug" || opt == "fdebug") FFLogger().SetLogLevel(TLogLevel::llDebug);

  // "b:v" is known to the codec layer as "b"; the full name is what goes into the dictionary,
  // so the per-stream filtering can match its specifier later.
  const std::string stripped = opt.substr(0, std::min<std::size_t>(opt.find(':'), 127));
  const AVClass* cc = api.avcodec_get_class();
  const AVClass* fc = api.avformat_get_class();
  const int search = AV_OPT_SEARCH_CHILDREN | AV_OPT_SEARCH_FAKE_OBJ;
  bool consumed = false;

  const AVOption* o = api.av_opt_find(&cc, stripped.c_str(), nullptr, 0, search);
  if (o == nullptr && !opt.empty() && (opt[0] == 'v' || opt[0] == 'a' || opt[0] == 's'))
    o = api.av_opt_find(&cc, opt.c_str() + 1, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
  if (o != nullptr) {
    api.av_dict_set(&Fcodec_opts, opt.c_str(), arg.c_str(), DictFlags(o, arg));
    consumed = true;
  }

  o = api.av_opt_find(&fc, opt.c_str(), nullptr, 0, search);
  if (o != nullptr) {
    api.av_dict_set(&Fformat_opts, opt.c_str(), arg.c_str(), DictFlags(o, arg));
    if (consumed)
      FFLogger().Log(this, TLogLevel::llVerbose, "Routing option \"%s\" to both codec and muxer layer",
                     opt.c_str());
    consumed = true;
  }

  if (!consumed) {
    const AVClass* sc = api.sws_get_class();
    o = api.av_opt_find(&sc, opt.c_str(), nullptr, 0, search);
    if (o != nullptr) {
      // A trial on a throw-away context validates the value before it is kept.
      const TScalerPtr sws{api.sws_alloc_context()};
      const int ret = sws != nullptr ? api.av_opt_set(sws.get(), opt.c_str(), arg.c_str(), 0) : AVERROR(ENOMEM);
      if (opt == "srcw" || opt == "srch" || opt == "dstw" || opt == "dsth" || opt == "src_format" ||
          opt == "dst_format") {
        FailWith(this,
                 "Directly using swscale dimensions/format options is not supported, please use the -s or "
                 "-pix_fmt "
                 "options");
        return AVERROR(EINVAL);
      }
      if (ret < 0) {
        FailWith(this, "Error setting option " + Quoted(opt));
        return ret;
      }
      api.av_dict_set(&Fsws_dict, opt.c_str(), arg.c_str(), DictFlags(o, arg));
      consumed = true;
    }
  }

  if (!consumed) {
    const AVClass* rc = api.swr_get_class();
    o = api.av_opt_find(&rc, opt.c_str(), nullptr, 0, search);
    if (o != nullptr) {
      const TResamplerPtr swr{api.swr_alloc()};
      const int ret = swr != nullptr ? api.av_opt_set(swr.get(), opt.c_str(), arg.c_str(), 0) : AVERROR(ENOMEM);
      if (ret < 0) {
        FailWith(this, "Error setting option " + Quoted(opt));
        return ret;
      }
      api.av_dict_set(&Fswr_opts, opt.c_str(), arg.c_str(), DictFlags(o, arg));
      consumed = true;
    }
  }

  return consumed ? 0 : AVERROR_OPTION_NOT_FOUND;
}

int TFFOptions::FetchSwsFlags() {
  const TFFApi& api = FF();
  const AVDictionaryEntry* e = api.av_dict_get(Fsws_dict, "sws_flags", nullptr, 0);
  if (e == nullptr) return 0;
  const AVClass* sc = api.sws_get_class();
  const AVOption* o = api.av_opt_find(&sc, "sws_flags", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
  const int ret =
      o != nullptr ? api.av_opt_eval_flags(&sc, o, e->value, &Fsws_flags) : AVERROR_OPTION_NOT_FOUND;
  if (ret < 0) FFLogger().Log(this, TLogLevel::llError, "av_opt_eval_flags() failed");
  return ret;
}

int TFFOptions::parse_options(const std::vector<std::string>& words, const TOptionDef* options,
                              bool returnOnInvalidOption) {
  TFFLogger& logger = FFLogger();
  logger.Log(this, TLogLevel::llDebug, "Parsing the options.");
  std::size_t i = 0;
  while (i < words.size()) {
    const std::string& word = words[i];
    logger.Log(this, TLogLevel::llDebug, "Reading option \"%s\" ... ", word.c_str());
    if (word.size() > 1 && word[0] == '-') {
      const std::string name = word.substr(1);
      const TOptionDef* po = FindOption(options, name);
      if (po->name != nullptr) {
        std::string arg = "1";
        if ((po->flags & HAS_ARG) != 0) {
          if (i + 1 >= words.size()) {
            FailWith(this, "Missing argument for option " + Quoted(name) + ".");
            return AVERROR(EINVAL);
          }
          arg = words[i + 1];
          i += 2;
        } else {
          i += 1;
        }
        const bool perFile = (po->flags & (OPT_PERFILE | OPT_OFFSET | OPT_SPEC)) != 0;
        AddOption(perFile ? Foctx.file_opts : Foctx.global_opts, po, name, arg);
        logger.Log(this, TLogLevel::llDebug, "matched as option \"%s\" (%s) with argument \"%s\".", po->name,
                   HelpOf(po).c_str(), arg.c_str());
        continue;
      }
      if (i + 1 < words.size()) {
        const int ret = opt_default(name, words[i + 1]);
        if (ret >= 0) {
          logger.Log(this, TLogLevel::llDebug, "matched as AVOption \"%s\" with argument \"%s\".",
                     name.c_str(), words[i + 1].c_str());
          i += 2;
          continue;
        }
        if (ret != AVERROR_OPTION_NOT_FOUND) {
          logger.Log(this, TLogLevel::llError, "Error parsing option \"%s\" with argument \"%s\".",
                     name.c_str(), words[i + 1].c_str());
          return ret;
        }
      }
      if (const TOptionDef* noForm = NoFormOf(options, name)) {
        const bool perFile = (noForm->flags & (OPT_PERFILE | OPT_OFFSET | OPT_SPEC)) != 0;
        AddOption(perFile ? Foctx.file_opts : Foctx.global_opts, noForm, name.substr(2), "0");
        logger.Log(this, TLogLevel::llDebug, "matched as option \"%s\" (%s) with argument 0.", noForm->name,
                   HelpOf(noForm).c_str());
        i += 1;
        continue;
      }
      FailWith(this, "Unrecognized option " + Quoted(name) + ".");
      if (returnOnInvalidOption) return AVERROR_OPTION_NOT_FOUND;
      // The unknown option's presumed argument is read as a word of its own next.
      i += 1;
      continue;
    }
    if (returnOnInvalidOption) {
      FailWith(this, word.empty() ? std::string("Failed to parse options")
                                  : "Failed to parse options on " + Quoted(word));
      return AVERROR(EINVAL);
    }
    if (word.empty())
      logger.Log(this, TLogLevel::llWarning, "Invalid option found while parsing options, ignore");
    else
      logger.Log(this, TLogLevel::llWarning, "Invalid option \"%s\" found while parsing options, ignore",
                 word.c_str());
    i += 1;
  }

  TOptionGroup& group = Foctx.file_opts;
  MoveDict(Fcodec_opts, group.codec_opts);
  MoveDict(Fformat_opts, group.format_opts);
  MoveDict(Fresample_opts, group.resample_opts);
  MoveDict(Fsws_dict, group.sws_dict);
  MoveDict(Fswr_opts, group.swr_opts);
  init_opts();
  logger.Log(this, TLogLevel::llDebug, "Finished parsing the options.");
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Option-table helpers

const TOptionDef* FindOption(const TOptionDef* options, const std::string& name) {
  const std::string bare = name.substr(0, name.find(':'));
  const TOptionDef* po = options;
  for (; po->name != nullptr; ++po)
    if (bare == po->name) break;
  return po;
}

int WriteOption(void* optctx, const TOptionDef* po, const std::string& opt, const std::string& arg) {
  const bool inContext = (po->flags & (OPT_OFFSET | OPT_SPEC)) != 0;
  if (inContext && optctx == nullptr)
    throw FFmpegException("Assertion failed: option " + Quoted(opt) + " needs an options context.");
  void* dst = inContext ? static_cast<char*>(optctx) + po->u.off : po->u.dst_ptr;

  // The typed targets; for a per-stream option they are the members of a new list entry.
  std::string* str = static_cast<std::string*>(dst);
  int* i = static_cast<int*>(dst);
  std::int64_t* i64 = static_cast<std::int64_t*>(dst);
  float* f = static_cast<float*>(dst);
  double* dbl = static_cast<double*>(dst);
  if ((po->flags & OPT_SPEC) != 0) {
    auto* list = static_cast<TSpecifierOptList*>(dst);
    TSpecifierOpt& entry = list->emplace_back();
    const std::size_t colon = opt.find(':');
    entry.specifier = colon == std::string::npos ? std::string() : opt.substr(colon + 1);
    str = &entry.u.str;
    i = &entry.u.i;
    i64 = &entry.u.i64;
    f = &entry.u.f;
    dbl = &entry.u.dbl;
    dst = &entry.u;
  }

  // A row without a typed target (a Boolean handler row gets "1", or "0" for its "no" form) goes
  // to its handler.
  if (dst == nullptr) {
    if (po->u.func_arg) {
      GLastOptionError.clear();
      const int ret = po->u.func_arg(optctx, opt, arg);
      if (ret < 0) {
        const std::string text =
            "Failed to set value " + Quoted(arg) + " for option " + Quoted(opt) + ": " + FormatAVError(ret);
        GLastOptionError = GLastOptionError.empty() ? text : GLastOptionError + "\n" + text;
        LogError(nullptr, text);
        return ret;
      }
    }
  } else if ((po->flags & OPT_STRING) != 0) {
    *str = arg;
  } else if ((po->flags & (OPT_BOOL | OPT_INT)) != 0) {
    *i = ParseIntOrThrow(opt, arg);
  } else if ((po->flags & OPT_INT64) != 0) {
    *i64 = ParseInt64OrThrow(opt, arg);
  } else if ((po->flags & OPT_TIME) != 0) {
    *i64 = ParseTimeOrExit(opt, arg, true);
  } else if ((po->flags & OPT_FLOAT) != 0) {
    *f = ParseRealOrThrow<float>("float", opt, arg);
  } else if ((po->flags & OPT_DOUBLE) != 0) {
    *dbl = ParseRealOrThrow<double>("double", opt, arg);
  }
  return 0;
}

int ParseOption(void* optctx, const std::string& opt, const char* arg, const TOptionDef* options) {
  const TOptionDef* po = FindOption(options, opt);
  bool takesArgument = true;  // when the row has one: a "no" form takes none
  if (po->name == nullptr) {
    if (const TOptionDef* noForm = NoFormOf(options, opt)) {
      po = noForm;
      arg = "0";
      takesArgument = false;
    }
  } else if ((po->flags & OPT_BOOL) != 0 && (po->flags & HAS_ARG) == 0) {
    arg = "1";
  }
  if (po->name == nullptr) {
    const TOptionDef* fallback = FindOption(options, "default");
    if (fallback->name != nullptr) po = fallback;
  }
  if (po->name == nullptr) {
    FailWith(nullptr, "Unrecognized option " + Quoted(opt));
    return AVERROR(EINVAL);
  }
  if ((po->flags & HAS_ARG) != 0 && arg == nullptr) {
    FailWith(nullptr, "Missing argument for option " + Quoted(opt));
    return AVERROR(EINVAL);
  }
  const int ret = WriteOption(optctx, po, opt, arg != nullptr ? arg : "");
  if (ret < 0) return ret;
  return takesArgument && (po->flags & HAS_ARG) != 0 ? 1 : 0;
}

int ParseOptionGroup(void* optctx, TOptionGroup& group, const std::string& groupName, int allowedFlags) {
  TFFLogger& logger = FFLogger();
  logger.Log(nullptr, TLogLevel::llDebug, "Parsing a group of options: %s.", groupName.c_str());
  const char* direction = (allowedFlags & OPT_INPUT) != 0 ? "input file" : "output file";
  for (const TOption& o : group.opts) {
    if (allowedFlags != 0 && (o.opt->flags & allowedFlags) == 0) {
      FailWith(nullptr,
               "Option " + o.key + " (" + HelpOf(o.opt) + ") cannot be applied to " + direction + " " +
                   groupName +
                   " -- you are trying to apply an input option to an output file or vice versa. Move this "
                   "option before the file it belongs to.");
      return AVERROR(EINVAL);
    }
    logger.Log(nullptr, TLogLevel::llDebug, "Applying option %s (%s) with argument %s.", o.key.c_str(),
               HelpOf(o.opt).c_str(), o.val.c_str());
    const int ret = WriteOption(optctx, o.opt, o.key, o.val);
    if (ret < 0) return ret;
  }
  logger.Log(nullptr, TLogLevel::llDebug, "Successfully parsed a group of options.");
  return 0;
}

int LocateOption(const std::vector<std::string>& words, const TOptionDef* options,
                 const std::string& optname) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.size() < 2 || word[0] != '-') continue;
    const std::string name = word.substr(1);
    const TOptionDef* po = FindOption(options, name);
    const TOptionDef* noForm = po->name == nullptr ? NoFormOf(options, name) : nullptr;
    if (noForm != nullptr) po = noForm;
    if ((po->name == nullptr && name == optname) || (po->name != nullptr && optname == po->name))
      return int(i);
    // An unknown option is taken to carry an argument, as opt_default would take one; a "no"
    // form carries none.
    if (po->name == nullptr || (noForm == nullptr && (po->flags & HAS_ARG) != 0)) ++i;
  }
  return -1;
}

int ParseLogLevel(const std::vector<std::string>& words, const TOptionDef* options) {
  CheckOptions(options);
  int at = LocateOption(words, options, "loglevel");
  if (at < 0) at = LocateOption(words, options, "v");
  if (at >= 0 && std::size_t(at) + 1 < words.size())
    return SetLogLevelOption("loglevel", words[std::size_t(at) + 1]);
  return 0;
}

void CheckOptions(const TOptionDef* options) {
  for (const TOptionDef* po = options; po->name != nullptr; ++po)
    if ((po->flags & OPT_PERFILE) != 0 && (po->flags & (OPT_INPUT | OPT_OUTPUT)) == 0)
      throw FFmpegException(std::string("Assertion failed: per-file option \"") + po->name +
                            "\" is neither an input nor an output option.");
}

void AddOption(TOptionGroup& group, const TOptionDef* opt, const std::string& key, const std::string& val) {
  group.opts.push_back(TOption{opt, key, val});
}

double ParseNumberOrExit(const std::string& context, const std::string& numstr, int type, double min,
                         double max) {
  double d = 0;
  if (!ParseSuffixedNumber(numstr, d))
    throw FFmpegException("Expected number for " + Quoted(context) + " but found " + Quoted(numstr));
  if (d < min || d > max)
    throw FFmpegException("The value for " + Quoted(context) + " was " + numstr + " which is not within " +
                          std::to_string(min) + " - " + std::to_string(max));
  if (type == OPT_INT64 && double(std::int64_t(d)) != d)
    throw FFmpegException("Expected int64 for " + Quoted(context) + " but found " + Quoted(numstr));
  if (type == OPT_INT && double(int(d)) != d)
    throw FFmpegException("Expected integer for " + Quoted(context) + " but found " + Quoted(numstr));
  return d;
}

std::int64_t ParseTimeOrExit(const std::string& context, const std::string& timestr, bool isDuration) {
  std::int64_t us = 0;
  if (FF().av_parse_time(&us, timestr.c_str(), isDuration ? 1 : 0) < 0)
    throw FFmpegException(std::string("Invalid ") + (isDuration ? "duration" : "date") +
                          " specification for " + Quoted(context) + ": " + Quoted(timestr));
  return us;
}

int SetLogLevelOption(const std::string& opt, const std::string& arg) {
  TFFLogger& logger = FFLogger();
  const bool repeat = arg.find("repeat") != std::string::npos;
  if (repeat)
    logger.SetLogFlags(logger.LogFlags() & ~LogFlagSkipRepeated);
  else
    logger.SetLogFlags(logger.LogFlags() | LogFlagSkipRepeated);
  std::string rest = arg;
  if (rest.rfind("repeat", 0) == 0) {
    rest.erase(0, 6);
    if (!rest.empty() && rest[0] == '+') rest.erase(0, 1);
  }
  if (repeat && rest.empty()) return 0;

  for (int i = 0; i <= int(TLogLevel::llTrace); ++i)
    if (rest == GLevelOptionNames[i]) {
      logger.SetLogLevel(TLogLevel(i));
      return 0;
    }
  int avLevel = 0;
  const char* first = rest.data();
  const char* last = first + rest.size();
  const auto [end, ec] = std::from_chars(first, last, avLevel);
  if (!rest.empty() && ec == std::errc() && end == last) {
    logger.SetLogLevel(AVLevelToLogLevel(avLevel));
    return 0;
  }
  std::string text = "Invalid loglevel " + Quoted(arg) + ". Possible levels are numbers or:\n";
  for (const char* name : GLevelOptionNames) text += Quoted(name) + "\n";
  FailWith(nullptr, text);
  return AVERROR(EINVAL);
}

TDictionaryArray SetupFindStreamInfoOpts(AVFormatContext* s, const AVDictionary* codecOpts) {
  TDictionaryArray perStream;
  if (s == nullptr || s->nb_streams == 0) return perStream;
  try {
    perStream.Reserve(s->nb_streams);
  } catch (const std::bad_alloc&) {
    LogError(nullptr, "Could not alloc memory for stream options.");
    return perStream;
  }
  for (unsigned i = 0; i < s->nb_streams; ++i)
    perStream.Add(TDictionaryPtr{
        CheckStreamSpecifier(codecOpts, s->streams[i]->codecpar->codec_id, s, s->streams[i], nullptr)});
  return perStream;
}

AVDictionary* CheckStreamSpecifier(const AVDictionary* opts, int codecId, AVFormatContext* s,
                                   AVStream* st, const AVCodec* codec) {
  const TFFApi& api = FF();
  AVDictionary* result = nullptr;
  const bool output = s->oformat != nullptr;
  int flags = output ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM;
  char prefix = 0;
  const AVClass* cc = api.avcodec_get_class();
  if (codec == nullptr)
    codec = output ? api.avcodec_find_encoder(static_cast<AVCodecID>(codecId)) : api.avcodec_find_decoder(static_cast<AVCodecID>(codecId));
  switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
      prefix = 'v';
      flags |= AV_OPT_FLAG_VIDEO_PARAM;
      break;
    case AVMEDIA_TYPE_AUDIO:
      prefix = 'a';
      flags |= AV_OPT_FLAG_AUDIO_PARAM;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      prefix = 's';
      flags |= AV_OPT_FLAG_SUBTITLE_PARAM;
      break;
    default:
      break;
  }
  auto knows = [&](const AVClass* cls, const char* key) {
    return cls != nullptr && api.av_opt_find(&cls, key, nullptr, flags, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
  };

  try {
    const AVDictionaryEntry* t = nullptr;
    while ((t = api.av_dict_get(opts, "", t, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
      std::string key = t->key;
      const std::size_t colon = key.find(':');
      if (colon != std::string::npos) {
        const int match = api.avformat_match_stream_specifier(s, st, key.c_str() + colon + 1);
        if (match < 0) {
          LogError(nullptr, "Invalid stream specifier: " + key.substr(colon + 1) + ".");
          throw FFmpegException("invalid stream specification");
        }
        if (match == 0) continue;
        key.resize(colon);
      }
      if (knows(cc, key.c_str()) || codec == nullptr || knows(codec->priv_class, key.c_str()))
        api.av_dict_set(&result, key.c_str(), t->value, 0);
      else if (prefix != 0 && key.size() > 1 && key[0] == prefix && knows(cc, key.c_str() + 1))
        api.av_dict_set(&result, key.c_str() + 1, t->value, 0);
    }
  } catch (...) {
    FreeDict(result);
    throw;
  }
  return result;
}

}  // namespace media
