#include "media/ff_options.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "media/ff_exception.h"
#include "media/ff_loader.h"
#include "media/ff_logger.h"

namespace {

using media::TLogLevel;

std::string DictValue(const AVDictionary* dict, const char* key) {
  const AVDictionaryEntry* e = media::FF().av_dict_get(dict, key, nullptr, 0);
  return e != nullptr ? e->value : "<absent>";
}

int DictCount(const AVDictionary* dict) { return media::FF().av_dict_count(dict); }

// The per-file context of the test table.
struct TTestContext {
  media::TOptionGroup* g = nullptr;
  std::string format;
  media::TSpecifierOptList codecs;
  media::TSpecifierOptList channels;
  media::TSpecifierOptList scales;
  std::int64_t duration = 0;
  std::int64_t limit = 0;
  float preload = 0;
  int rateEmu = 0;
};

class FFOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media::FFLoader().Load(media::EncoderLibraries)) << media::FFLoader().LastErrMsg();
    media::TFFLogger& logger = media::FFLogger();
    logger.SetSynchronous(true);
    logger.SetTriggerEventInMainThread(false);
    logger.SetLogLevel(TLogLevel::llVerbose);
    logger.SetOnLog([this](const media::ILogReporter*, int, TLogLevel level, const std::string& line) {
      Lines.push_back({level, line});
    });
    media::SetLastOptionError("");
    Options.init_parse_context();
  }
  void TearDown() override { media::FFLogger().SetOnLog(nullptr); }

  bool Logged(TLogLevel level, const std::string& text) const {
    for (const auto& [l, line] : Lines)
      if (l == level && line.size() >= text.size() &&
          line.compare(line.size() - text.size(), text.size(), text) == 0)
        return true;
    return false;
  }

  int HandlerCalls = 0;
  int Overwrite = 0;
  media::TFFOptions Options;
  std::vector<std::pair<TLogLevel, std::string>> Lines;
  std::vector<media::TOptionDef> Table{
      {"y", media::OPT_BOOL, &Overwrite, "overwrite output files"},
      {"f", media::HAS_ARG | media::OPT_STRING | media::OPT_OFFSET | media::OPT_INPUT | media::OPT_OUTPUT,
       media::OptionOffset(offsetof(TTestContext, format)), "force format", "fmt"},
      {"c", media::HAS_ARG | media::OPT_STRING | media::OPT_SPEC | media::OPT_INPUT | media::OPT_OUTPUT,
       media::OptionOffset(offsetof(TTestContext, codecs)), "codec name", "codec"},
      {"ac", media::HAS_ARG | media::OPT_INT | media::OPT_SPEC | media::OPT_OUTPUT,
       media::OptionOffset(offsetof(TTestContext, channels)), "audio channels", "channels"},
      {"itsscale", media::HAS_ARG | media::OPT_DOUBLE | media::OPT_SPEC | media::OPT_INPUT,
       media::OptionOffset(offsetof(TTestContext, scales)), "timestamp scale", "scale"},
      {"t", media::HAS_ARG | media::OPT_TIME | media::OPT_OFFSET | media::OPT_INPUT | media::OPT_OUTPUT,
       media::OptionOffset(offsetof(TTestContext, duration)), "duration", "duration"},
      {"fs", media::HAS_ARG | media::OPT_INT64 | media::OPT_OFFSET | media::OPT_OUTPUT,
       media::OptionOffset(offsetof(TTestContext, limit)), "size limit", "limit"},
      {"muxpreload", media::HAS_ARG | media::OPT_FLOAT | media::OPT_OFFSET | media::OPT_OUTPUT,
       media::OptionOffset(offsetof(TTestContext, preload)), "preload", "seconds"},
      {"re", media::OPT_BOOL | media::OPT_OFFSET | media::OPT_INPUT,
       media::OptionOffset(offsetof(TTestContext, rateEmu)), "read at native rate"},
      {"h", media::HAS_ARG,
       [this](void*, const std::string&, const std::string& arg) {
         ++HandlerCalls;
         if (arg == "fail") return AVERROR(EINVAL);
         if (arg == "explain") {
           media::SetLastOptionError("handler detail");
           return AVERROR_EOF;
         }
         return 0;
       },
       "handler", "arg"},
      {"loglevel", media::HAS_ARG,
       [](void*, const std::string& opt, const std::string& arg) {
         return media::SetLogLevelOption(opt, arg);
       },
       "set logging level", "loglevel"},
      {},
  };
};

// ---------------------------------------------------------------------------------------------
// opt_default

struct TRouteCase {
  const char* Opt;
  const char* Arg;
  const char* Layer;  // "codec", "format", "sws", "swr" or "" for none
};

class FFOptionsRouteTest : public FFOptionsTest, public ::testing::WithParamInterface<TRouteCase> {};

TEST_P(FFOptionsRouteTest, OptDefaultStoresInTheLayerThatKnowsTheOption) {
  const TRouteCase& c = GetParam();
  Options.uninit_opts();
  const int ret = Options.opt_default(c.Opt, c.Arg);
  const std::string layer = c.Layer;
  EXPECT_EQ(ret, layer.empty() ? AVERROR_OPTION_NOT_FOUND : 0);
  EXPECT_EQ(DictValue(Options.codec_opts(), c.Opt), layer == "codec" ? c.Arg : "<absent>");
  EXPECT_EQ(DictValue(Options.format_opts(), c.Opt), layer == "format" ? c.Arg : "<absent>");
  EXPECT_EQ(DictValue(Options.sws_dict(), c.Opt), layer == "sws" ? c.Arg : "<absent>");
  EXPECT_EQ(DictValue(Options.swr_opts(), c.Opt), layer == "swr" ? c.Arg : "<absent>");
}

INSTANTIATE_TEST_SUITE_P(
    Layers, FFOptionsRouteTest,
    ::testing::Values(TRouteCase{"b:v", "1000k", "codec"},  // stored under the full key
                      TRouteCase{"ab", "128k", "codec"},    // "b" with the audio letter
                      TRouteCase{"g", "12", "codec"}, TRouteCase{"probesize", "5000", "format"},
                      TRouteCase{"movflags", "+faststart", "format"},  // a muxer's private option
                      TRouteCase{"sws_flags", "lanczos", "sws"}, TRouteCase{"phase_shift", "8", "swr"},
                      TRouteCase{"no_such_option_here", "1", ""}),
    [](const ::testing::TestParamInfo<TRouteCase>& info) {
      std::string name = info.param.Opt;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

TEST_F(FFOptionsTest, AnOptionBothLayersKnowGoesToBothAndSaysSo) {
  ASSERT_EQ(Options.opt_default("strict", "experimental"), 0);
  EXPECT_EQ(DictValue(Options.codec_opts(), "strict"), "experimental");
  EXPECT_EQ(DictValue(Options.format_opts(), "strict"), "experimental");
  EXPECT_TRUE(Logged(TLogLevel::llVerbose, "Routing option \"strict\" to both codec and muxer layer"));
}

TEST_F(FFOptionsTest, FlagValuesWithASignAreAppended) {
  ASSERT_EQ(Options.opt_default("flags", "+global_header"), 0);
  ASSERT_EQ(Options.opt_default("flags", "+cgop"), 0);
  EXPECT_EQ(DictValue(Options.codec_opts(), "flags"), "+global_header+cgop");
  ASSERT_EQ(Options.opt_default("b", "1k"), 0);
  ASSERT_EQ(Options.opt_default("b", "2k"), 0);
  EXPECT_EQ(DictValue(Options.codec_opts(), "b"), "2k");
}

TEST_F(FFOptionsTest, ScalerDimensionOptionsAreRefused) {
  for (const char* opt : {"srcw", "srch", "dstw", "dsth", "src_format", "dst_format"}) {
    media::SetLastOptionError("");
    EXPECT_EQ(Options.opt_default(opt, "64"), AVERROR(EINVAL)) << opt;
    EXPECT_EQ(
        media::LastOptionError(),
        "Directly using swscale dimensions/format options is not supported, please use the -s or -pix_fmt "
        "options");
    EXPECT_EQ(DictValue(Options.sws_dict(), opt), "<absent>");
  }
  EXPECT_TRUE(Logged(TLogLevel::llError, "please use the -s or -pix_fmt options"));
}

TEST_F(FFOptionsTest, BadScalerOrResamplerValuesAreRefused) {
  EXPECT_LT(Options.opt_default("phase_shift", "not-a-number"), 0);
  EXPECT_EQ(media::LastOptionError(), "Error setting option \"phase_shift\"");
  EXPECT_EQ(DictValue(Options.swr_opts(), "phase_shift"), "<absent>");
  EXPECT_LT(Options.opt_default("sws_flags", "no_such_flag"), 0);
  EXPECT_EQ(media::LastOptionError(), "Error setting option \"sws_flags\"");
}

TEST_F(FFOptionsTest, DebugOptionRaisesTheLogLevel) {
  ASSERT_EQ(Options.opt_default("debug", "1"), 0);
  EXPECT_EQ(media::FFLogger().LogLevel(), TLogLevel::llDebug);
}

TEST_F(FFOptionsTest, FetchSwsFlagsEvaluatesTheScalerFlags) {
  EXPECT_EQ(Options.sws_flags(), SWS_BICUBIC);
  EXPECT_EQ(DictValue(Options.sws_dict(), "flags"), "bicubic");  // init_opts
  EXPECT_EQ(Options.FetchSwsFlags(), 0);
  EXPECT_EQ(Options.sws_flags(), SWS_BICUBIC);
  ASSERT_EQ(Options.opt_default("sws_flags", "lanczos+accurate_rnd"), 0);
  EXPECT_EQ(Options.FetchSwsFlags(), 0);
  EXPECT_EQ(Options.sws_flags(), SWS_LANCZOS | SWS_ACCURATE_RND);
}

// ---------------------------------------------------------------------------------------------
// parse_options and the group machinery

TEST_F(FFOptionsTest, ParseOptionsSortsOptionsIntoGroups) {
  const std::vector<std::string> words = {"-y",    "-f",   "mp4", "-c:v", "mpeg4", "-b:v",
                                          "1000k", "-noy", "-re", "-h",   "x"};
  ASSERT_EQ(Options.parse_options(words, Table.data(), true), 0);
  media::TOptionParseContext& octx = Options.OptionParseContext();
  ASSERT_EQ(octx.global_opts.nb_opts(), 3);
  EXPECT_EQ(octx.global_opts.opts[0].key, "y");
  EXPECT_EQ(octx.global_opts.opts[0].val, "1");
  EXPECT_EQ(octx.global_opts.opts[1].key, "y");  // from -noy
  EXPECT_EQ(octx.global_opts.opts[1].val, "0");
  EXPECT_EQ(octx.global_opts.opts[2].key, "h");
  ASSERT_EQ(octx.file_opts.nb_opts(), 3);
  EXPECT_EQ(octx.file_opts.opts[0].key, "f");
  EXPECT_EQ(octx.file_opts.opts[1].key, "c:v");
  EXPECT_EQ(octx.file_opts.opts[1].val, "mpeg4");
  EXPECT_EQ(octx.file_opts.opts[2].key, "re");
  // The AVOption moved into the file group; TFFOptions starts afresh.
  EXPECT_EQ(DictValue(octx.file_opts.codec_opts, "b:v"), "1000k");
  EXPECT_EQ(DictValue(octx.file_opts.sws_dict, "flags"), "bicubic");
  EXPECT_EQ(DictCount(Options.codec_opts()), 0);
  EXPECT_EQ(DictValue(Options.sws_dict(), "flags"), "bicubic");
  EXPECT_EQ(HandlerCalls, 0);  // collected, not applied
}

struct TParseCase {
  std::vector<std::string> Words;
  bool Strict;
  int Result;
  const char* LastError;
};

class FFOptionsParseTest : public FFOptionsTest, public ::testing::WithParamInterface<TParseCase> {};

TEST_P(FFOptionsParseTest, Failures) {
  EXPECT_EQ(Options.parse_options(GetParam().Words, Table.data(), GetParam().Strict), GetParam().Result);
  EXPECT_EQ(media::LastOptionError(), GetParam().LastError);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FFOptionsParseTest,
    ::testing::Values(
        TParseCase{{"-f", "mp4", "out.mp4"}, true, AVERROR(EINVAL), "Failed to parse options on \"out.mp4\""},
        TParseCase{{"-"}, true, AVERROR(EINVAL), "Failed to parse options on \"-\""},  // a lone "-" is a word
        TParseCase{{""}, true, AVERROR(EINVAL), "Failed to parse options"},
        TParseCase{{"-f", "mp4", "out.mp4", "-"}, false, 0, ""},
        TParseCase{{"-f"}, true, AVERROR(EINVAL), "Missing argument for option \"f\"."},
        TParseCase{{"-zzz", "1"}, true, AVERROR_OPTION_NOT_FOUND, "Unrecognized option \"zzz\"."},
        // Without the strict switch the unknown option is skipped and "1" read as a stray word.
        TParseCase{{"-zzz", "1", "-y"}, false, 0, "Unrecognized option \"zzz\"."},
        TParseCase{{"-srcw", "1"},
                   false,
                   AVERROR(EINVAL),
                   "Directly using swscale dimensions/format options is not supported, please use the -s or "
                   "-pix_fmt "
                   "options"}),
    [](const ::testing::TestParamInfo<TParseCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(FFOptionsTest, ParseOptionGroupWritesEveryTarget) {
  const std::vector<std::string> words = {
      "-f", "matroska", "-c:v", "mpeg4",         "-c",          "copy", "-ac:a:0", "2", "-itsscale", "0.5",
      "-t", "1:02.5",   "-fs",  "1000000000000", "-muxpreload", "0.25", "-re"};
  ASSERT_EQ(Options.parse_options(words, Table.data(), true), 0);
  TTestContext ctx;
  ctx.g = &Options.OptionParseContext().file_opts;
  ASSERT_EQ(media::ParseOptionGroup(&ctx, *ctx.g, "out.mkv", 0), 0);
  EXPECT_EQ(ctx.format, "matroska");
  ASSERT_EQ(ctx.codecs.size(), 2u);
  EXPECT_EQ(ctx.codecs[0].specifier, "v");
  EXPECT_EQ(ctx.codecs[0].u.str, "mpeg4");
  EXPECT_EQ(ctx.codecs[1].specifier, "");
  EXPECT_EQ(ctx.codecs[1].u.str, "copy");
  ASSERT_EQ(ctx.channels.size(), 1u);
  EXPECT_EQ(ctx.channels[0].specifier, "a:0");
  EXPECT_EQ(ctx.channels[0].u.i, 2);
  ASSERT_EQ(ctx.scales.size(), 1u);
  EXPECT_EQ(ctx.scales[0].u.dbl, 0.5);
  EXPECT_EQ(ctx.duration, 62500000);
  EXPECT_EQ(ctx.limit, 1000000000000LL);
  EXPECT_FLOAT_EQ(ctx.preload, 0.25f);
  EXPECT_EQ(ctx.rateEmu, 1);
}

TEST_F(FFOptionsTest, ParseOptionGroupRefusesAnOptionOfTheOtherDirection) {
  ASSERT_EQ(Options.parse_options({"-re", "-fs", "100"}, Table.data(), true), 0);
  TTestContext ctx;
  EXPECT_EQ(
      media::ParseOptionGroup(&ctx, Options.OptionParseContext().file_opts, "out.mp4", media::OPT_OUTPUT),
      AVERROR(EINVAL));
  EXPECT_EQ(media::LastOptionError(),
            "Option re (read at native rate) cannot be applied to output file out.mp4 -- you are trying to "
            "apply an "
            "input option to an output file or vice versa. Move this option before the file it belongs to.");
  EXPECT_EQ(ctx.rateEmu, 0);
}

struct TConversionCase {
  const char* Opt;
  const char* Arg;
  const char* Message;
};

class FFOptionsConversionTest : public FFOptionsTest,
                                public ::testing::WithParamInterface<TConversionCase> {};

TEST_P(FFOptionsConversionTest, BadValuesRaise) {
  TTestContext ctx;
  const media::TOptionDef* po = media::FindOption(Table.data(), GetParam().Opt);
  ASSERT_NE(po->name, nullptr);
  try {
    media::WriteOption(&ctx, po, GetParam().Opt, GetParam().Arg);
    FAIL() << "no exception";
  } catch (const media::FFmpegException& e) {
    EXPECT_STREQ(e.what(), GetParam().Message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FFOptionsConversionTest,
    ::testing::Values(
        TConversionCase{"ac", "two", "Expected integer for \"ac\" but found \"two\""},
        TConversionCase{"ac", "99999999999", "Expected integer for \"ac\" but found \"99999999999\""},
        TConversionCase{"re", "yes", "Expected integer for \"re\" but found \"yes\""},
        TConversionCase{"fs", "1.5", "Expected int64 for \"fs\" but found \"1.5\""},
        TConversionCase{"muxpreload", "abc", "Expected float for \"muxpreload\" but found \"abc\""},
        TConversionCase{"itsscale", "", "Expected double for \"itsscale\" but found \"\""},
        TConversionCase{"t", "abc", "Invalid duration specification for \"t\": \"abc\""}),
    [](const ::testing::TestParamInfo<TConversionCase>& info) {
      return "Case" + std::to_string(info.index);
    });

// Every number takes the SI and binary suffixes of FFmpeg's numbers (av_strtod): "0.1k" is 100.
TEST_F(FFOptionsTest, NumbersTakeSiAndBinarySuffixes) {
  const media::TOptionDef* fs = media::FindOption(Table.data(), "fs");
  const media::TOptionDef* ac = media::FindOption(Table.data(), "ac");
  const media::TOptionDef* scale = media::FindOption(Table.data(), "itsscale");
  const media::TOptionDef* preload = media::FindOption(Table.data(), "muxpreload");
  const std::pair<const char*, std::int64_t> sizes[] = {
      {"10M", 10000000}, {"600k", 600000}, {"600K", 600000}, {"2G", 2000000000}, {"1Ki", 1024},
      {"1Mi", 1048576},  {"1Gi", 1073741824}, {"1KiB", 8192}, {"2B", 16}, {"0x10", 16}, {"+7", 7}, {"1e3", 1000}};
  for (const auto& [text, value] : sizes) {
    TTestContext ctx;
    media::WriteOption(&ctx, fs, "fs", text);
    EXPECT_EQ(ctx.limit, value) << text;
  }
  TTestContext ctx;
  media::WriteOption(&ctx, ac, "ac", "0.1k");
  ASSERT_EQ(ctx.channels.size(), 1u);
  EXPECT_EQ(ctx.channels[0].u.i, 100);
  media::WriteOption(&ctx, scale, "itsscale", "1.5k");
  ASSERT_EQ(ctx.scales.size(), 1u);
  EXPECT_EQ(ctx.scales[0].u.dbl, 1500);
  media::WriteOption(&ctx, preload, "muxpreload", "500m");
  EXPECT_FLOAT_EQ(ctx.preload, 0.5f);
  // A suffix that makes no whole number is still no integer; unknown letters stay refused.
  EXPECT_THROW(media::WriteOption(&ctx, ac, "ac", "1.5"), media::FFmpegException);
  EXPECT_THROW(media::WriteOption(&ctx, ac, "ac", "3G"), media::FFmpegException);
  EXPECT_THROW(media::WriteOption(&ctx, fs, "fs", "10X"), media::FFmpegException);
  EXPECT_THROW(media::WriteOption(&ctx, fs, "fs", "k"), media::FFmpegException);
  EXPECT_THROW(media::WriteOption(&ctx, fs, "fs", "1kk"), media::FFmpegException);
}

TEST_F(FFOptionsTest, HandlerFailuresAreJoinedIntoTheLastError) {
  const media::TOptionDef* h = media::FindOption(Table.data(), "h");
  EXPECT_EQ(media::WriteOption(nullptr, h, "h", "ok"), 0);
  EXPECT_EQ(media::WriteOption(nullptr, h, "h", "fail"), AVERROR(EINVAL));
  EXPECT_EQ(media::LastOptionError(), "Failed to set value \"fail\" for option \"h\": Invalid argument");
  EXPECT_TRUE(Logged(TLogLevel::llError, "Failed to set value \"fail\" for option \"h\": Invalid argument"));
  EXPECT_EQ(media::WriteOption(nullptr, h, "h", "explain"), AVERROR_EOF);
  EXPECT_EQ(media::LastOptionError(),
            "handler detail\nFailed to set value \"explain\" for option \"h\": End of file");
}

TEST_F(FFOptionsTest, ParseOptionFindsWritesAndCounts) {
  TTestContext ctx;
  EXPECT_EQ(media::ParseOption(&ctx, "f", "avi", Table.data()), 1);
  EXPECT_EQ(ctx.format, "avi");
  EXPECT_EQ(media::ParseOption(nullptr, "y", nullptr, Table.data()), 0);
  EXPECT_EQ(Overwrite, 1);
  EXPECT_EQ(media::ParseOption(nullptr, "noy", nullptr, Table.data()), 0);
  EXPECT_EQ(Overwrite, 0);
  EXPECT_EQ(media::ParseOption(&ctx, "f", nullptr, Table.data()), AVERROR(EINVAL));
  EXPECT_EQ(media::LastOptionError(), "Missing argument for option \"f\"");
  EXPECT_EQ(media::ParseOption(&ctx, "zz", "1", Table.data()), AVERROR(EINVAL));
  EXPECT_EQ(media::LastOptionError(), "Unrecognized option \"zz\"");
  EXPECT_EQ(media::ParseOption(&ctx, "nof", "1", Table.data()), AVERROR(EINVAL));  // "no" only for Booleans
}

TEST_F(FFOptionsTest, ParseOptionFallsBackToADefaultRow) {
  std::string seen;
  std::vector<media::TOptionDef> table{{"default", media::HAS_ARG,
                                        [&](void*, const std::string& opt, const std::string& arg) {
                                          seen = opt + "=" + arg;
                                          return 0;
                                        }},
                                       {}};
  EXPECT_EQ(media::ParseOption(nullptr, "anything", "5", table.data()), 1);
  EXPECT_EQ(seen, "anything=5");
}

// A Boolean row with a handler instead of a variable hears "1", and "0" from its "no" form (named
// as written).
TEST_F(FFOptionsTest, ABooleanHandlerRowGetsOneOrZero) {
  std::vector<std::string> seen;
  std::vector<media::TOptionDef> table{{"interact", media::OPT_BOOL,
                                        [&](void*, const std::string& opt, const std::string& arg) {
                                          seen.push_back(opt + "=" + arg);
                                          return arg == "1" ? AVERROR(EINVAL) : 0;
                                        }},
                                       {}};
  EXPECT_EQ(media::ParseOption(nullptr, "nointeract", nullptr, table.data()), 0);
  EXPECT_EQ(media::ParseOption(nullptr, "interact", nullptr, table.data()), AVERROR(EINVAL));
  EXPECT_EQ(seen, (std::vector<std::string>{"nointeract=0", "interact=1"}));
}

// A Boolean that takes a value ("-autoscale 0") consumes it; its "no" form consumes nothing.
TEST_F(FFOptionsTest, ABooleanWithAValueConsumesItButNotItsNoForm) {
  int value = -1;
  std::vector<media::TOptionDef> table{{"autoscale", media::OPT_BOOL | media::HAS_ARG, &value}, {}};
  EXPECT_EQ(media::ParseOption(nullptr, "autoscale", "0", table.data()), 1);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(media::ParseOption(nullptr, "autoscale", "1", table.data()), 1);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(media::ParseOption(nullptr, "noautoscale", nullptr, table.data()), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(media::LocateOption({"-noautoscale", "-autoscale", "1"}, table.data(), "autoscale"), 0);
  EXPECT_EQ(media::LocateOption({"-noautoscale", "-loglevel"}, table.data(), "loglevel"), 1);
}

TEST_F(FFOptionsTest, LocateOptionSkipsArguments) {
  const std::vector<std::string> words = {"-f",  "-loglevel", "-c:v",      "x",
                                          "-zz", "-loglevel", "-loglevel", "debug"};
  // "-f" eats "-loglevel", the unknown "-zz" eats the next word too.
  EXPECT_EQ(media::LocateOption(words, Table.data(), "loglevel"), 6);
  EXPECT_EQ(media::LocateOption(words, Table.data(), "y"), -1);
  EXPECT_EQ(media::LocateOption({"-noy"}, Table.data(), "y"), 0);
  EXPECT_EQ(media::LocateOption({"-v", "quiet"}, Table.data(), "v"), 0);
}

TEST_F(FFOptionsTest, ParseLogLevelAppliesTheOptionFirst) {
  media::FFLogger().SetLogFlags(media::LogFlagSkipRepeated | media::LogFlagPrintLevel);
  EXPECT_EQ(media::ParseLogLevel({"-f", "mp4", "-loglevel", "repeat+warning", "-y"}, Table.data()), 0);
  EXPECT_EQ(media::FFLogger().LogLevel(), TLogLevel::llWarning);
  EXPECT_EQ(media::FFLogger().LogFlags() & media::LogFlagSkipRepeated, 0);
  EXPECT_EQ(media::ParseLogLevel({"-v", "error"}, Table.data()), 0);
  EXPECT_EQ(media::FFLogger().LogLevel(), TLogLevel::llError);
  EXPECT_EQ(media::ParseLogLevel({"-v"}, Table.data()), 0);  // no value: nothing to do
  EXPECT_EQ(media::FFLogger().LogLevel(), TLogLevel::llError);
}

TEST_F(FFOptionsTest, ParseNumberOrExitTakesFFmpegNumbersWithinRange) {
  EXPECT_EQ(media::ParseNumberOrExit("frames", "1k", media::OPT_INT64, 0, 1e9), 1000);
  EXPECT_EQ(media::ParseNumberOrExit("ratio", "0.5", media::OPT_DOUBLE, 0, 1), 0.5);
  struct TCase {
    const char* Text;
    int Type;
    const char* Message;
  };
  for (const TCase& c :
       {TCase{"abc", media::OPT_INT, "Expected number for \"n\" but found \"abc\""},
        TCase{"", media::OPT_INT, "Expected number for \"n\" but found \"\""},
        TCase{"2.5", media::OPT_INT, "Expected integer for \"n\" but found \"2.5\""},
        TCase{"11", media::OPT_INT, "The value for \"n\" was 11 which is not within 0.000000 - 10.000000"}}) {
    try {
      media::ParseNumberOrExit("n", c.Text, c.Type, 0, 10);
      ADD_FAILURE() << c.Text;
    } catch (const media::FFmpegException& e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
  }
}

TEST_F(FFOptionsTest, CheckOptionsRefusesAPerFileRowWithoutDirection) {
  std::vector<media::TOptionDef> bad{{"x", media::OPT_PERFILE | media::HAS_ARG}, {}};
  EXPECT_THROW(media::CheckOptions(bad.data()), media::FFmpegException);
  EXPECT_NO_THROW(media::CheckOptions(Table.data()));
}

struct TLogLevelCase {
  const char* Arg;
  int Result;
  TLogLevel Level;
  bool KeepsRepeats;
};

class FFOptionsLogLevelTest : public FFOptionsTest, public ::testing::WithParamInterface<TLogLevelCase> {};

TEST_P(FFOptionsLogLevelTest, SetLogLevelOption) {
  media::TFFLogger& logger = media::FFLogger();
  logger.SetLogLevel(TLogLevel::llInfo);
  logger.SetLogFlags(media::LogFlagPrintLevel);
  EXPECT_EQ(media::SetLogLevelOption("loglevel", GetParam().Arg), GetParam().Result);
  EXPECT_EQ(logger.LogLevel(), GetParam().Level);
  EXPECT_EQ((logger.LogFlags() & media::LogFlagSkipRepeated) == 0, GetParam().KeepsRepeats);
}

INSTANTIATE_TEST_SUITE_P(Cases, FFOptionsLogLevelTest,
                         ::testing::Values(TLogLevelCase{"repeat+warning", 0, TLogLevel::llWarning, true},
                                           TLogLevelCase{"24", 0, TLogLevel::llWarning, false},
                                           TLogLevelCase{"quiet", 0, TLogLevel::llQuiet, false},
                                           TLogLevelCase{"trace", 0, TLogLevel::llTrace, false},
                                           TLogLevelCase{"-8", 0, TLogLevel::llQuiet, false},
                                           TLogLevelCase{"repeat", 0, TLogLevel::llInfo, true},
                                           TLogLevelCase{"loud", AVERROR(EINVAL), TLogLevel::llInfo, false},
                                           TLogLevelCase{"", AVERROR(EINVAL), TLogLevel::llInfo, false}),
                         [](const ::testing::TestParamInfo<TLogLevelCase>& info) {
                           return "Case" + std::to_string(info.index);
                         });

TEST_F(FFOptionsTest, AnInvalidLogLevelListsTheNames) {
  EXPECT_EQ(media::SetLogLevelOption("loglevel", "loud"), AVERROR(EINVAL));
  EXPECT_EQ(media::LastOptionError(),
            "Invalid loglevel \"loud\". Possible levels are numbers "
            "or:\n\"quiet\"\n\"panic\"\n\"fatal\"\n\"error\"\n"
            "\"warning\"\n\"info\"\n\"verbose\"\n\"debug\"\n\"trace\"\n");
}

// ---------------------------------------------------------------------------------------------
// Per-stream filtering of codec options

TEST_F(FFOptionsTest, CheckStreamSpecifierKeepsWhatConcernsTheStream) {
  const media::TFFApi& api = media::FF();
  AVFormatContext* out = nullptr;
  ASSERT_GE(api.avformat_alloc_output_context2(&out, nullptr, "avi", nullptr), 0);
  AVStream* video = api.avformat_new_stream(out, nullptr);
  video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  video->codecpar->codec_id = AV_CODEC_ID_MPEG4;
  AVStream* audio = api.avformat_new_stream(out, nullptr);
  audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
  audio->codecpar->codec_id = AV_CODEC_ID_MP2;

  AVDictionary* opts = nullptr;
  for (auto [k, v] : {std::pair{"b:v", "1000k"},
                      {"b:a", "64k"},
                      {"vg", "12"},
                      {"qscale", "3"},
                      {"mpeg_quant", "1"},
                      {"bogus", "1"},
                      {"cutoff:1", "15000"}})
    api.av_dict_set(&opts, k, v, 0);

  media::TDictionaryArray perStream = media::SetupFindStreamInfoOpts(out, opts);
  ASSERT_EQ(perStream.size(), 2u);
  // video: b from "b:v", "vg" as "g", mpeg4's private mpeg_quant; not cutoff (stream 1 only)
  EXPECT_EQ(DictValue(perStream[0], "b"), "1000k");
  EXPECT_EQ(DictValue(perStream[0], "g"), "12");
  EXPECT_EQ(DictValue(perStream[0], "mpeg_quant"), "1");
  EXPECT_EQ(DictValue(perStream[0], "qscale"), "<absent>");  // neither the class nor mpeg4 knows it
  EXPECT_EQ(DictValue(perStream[0], "bogus"), "<absent>");
  EXPECT_EQ(DictValue(perStream[0], "cutoff"), "<absent>");
  // audio: b from "b:a", cutoff from "cutoff:1"; the video-only "g" does not apply
  EXPECT_EQ(DictValue(perStream[1], "b"), "64k");
  EXPECT_EQ(DictValue(perStream[1], "cutoff"), "15000");
  EXPECT_EQ(DictValue(perStream[1], "g"), "<absent>");
  EXPECT_EQ(DictValue(perStream[1], "mpeg_quant"), "<absent>");

  AVDictionary* broken = nullptr;
  api.av_dict_set(&broken, "b:x:y:z", "1", 0);
  EXPECT_THROW(media::CheckStreamSpecifier(broken, AV_CODEC_ID_MPEG4, out, video, nullptr),
               media::FFmpegException);
  api.av_dict_free(&broken);
  api.av_dict_free(&opts);
  api.avformat_free_context(out);
}

}  // namespace
