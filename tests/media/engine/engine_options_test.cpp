// The option layer: parsing option strings into the per-file context and the dictionaries, the
// handlers the application's strings reach, per-stream lookup, and the error texts.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "../media_test_support.h"
#include "engine_test_support.h"
#include "fixtures/media_fixtures.h"
#include "media/ff_loader.h"
#include "media/ff_logger.h"

namespace {

using media::OPT_INPUT;
using media::OPT_OUTPUT;
using media::TOptionsContext;

// Reaches the engine fields the options write.
class TTestEngine : public media::TCustomFFmpeg {
 public:
  int VideoSyncMethod() const { return Fvideo_sync_method; }
  int FileOverwrite() const { return Ffile_overwrite; }
};

std::string DictValue(const AVDictionary* dict, const char* key) {
  const AVDictionaryEntry* e = media::FF().av_dict_get(dict, key, nullptr, 0);
  return e != nullptr ? e->value : "";
}

// Loads FFmpeg before the fixture's engine is constructed (the engine needs the libraries).
struct TLibrariesLoaded {
  TLibrariesLoaded() { media::FFLoader().Load(media::EncoderLibraries); }
};

class EngineOptionsTest : public ::testing::Test, private TLibrariesLoaded {
 protected:
  void SetUp() override {
    engine_test::LoadLibraries();
    FEngine.InitOptionsContext(FCtx);
  }
  void TearDown() override { FEngine.ReleaseOptionsContext(FCtx); }
  int Parse(const std::string& options, int direction = OPT_OUTPUT, const std::string& presets = {}) {
    FEngine.ReleaseOptionsContext(FCtx);
    FEngine.InitOptionsContext(FCtx);
    return FEngine.ParseOptions(FCtx, options, direction == OPT_INPUT ? "input file" : "output file",
                                direction, "file.avi", presets);
  }
  TTestEngine FEngine;
  TOptionsContext FCtx;
};

TEST_F(EngineOptionsTest, TableHas205RowsAndEndsWithAnUnnamedRow) {
  FEngine.BuildOptionTable();
  ASSERT_EQ(FEngine.OptionCount(), 205);
  EXPECT_EQ(FEngine.OptionTable()[205].name, nullptr);
  EXPECT_STREQ(FEngine.OptionTable()[0].name, "L");
  EXPECT_STREQ(FEngine.OptionTable()[204].name, "FrameOutputHook");
  FEngine.BuildOptionTable();
  EXPECT_EQ(FEngine.OptionCount(), 205);
}

// --- Results and error texts, one row per case ------------------------------------------------

struct TParseCase {
  const char* Name;
  const char* Options;
  int Direction;
  int Result;
  const char* ErrorText;  // expected in LastErrMsg when Result < 0
};

std::ostream& operator<<(std::ostream& os, const TParseCase& c) { return os << c.Name; }

class ParseResultTest : public EngineOptionsTest, public ::testing::WithParamInterface<TParseCase> {};

TEST_P(ParseResultTest, ReturnsTheCodeAndTheText) {
  const TParseCase& c = GetParam();
  FEngine.ClearLastErrMsg();
  EXPECT_EQ(Parse(c.Options, c.Direction), c.Result);
  if (c.Result < 0) {
    EXPECT_NE(FEngine.LastErrMsg().find(c.ErrorText), std::string::npos) << FEngine.LastErrMsg();
  } else {
    EXPECT_EQ(FEngine.LastErrMsg(), "");
  }
}

const TParseCase kParseCases[] = {
    {"Empty", "", OPT_OUTPUT, 0, ""},
    {"ApplicationAviString", "-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn ", OPT_OUTPUT, 0, ""},
    {"QuotedFilterChain", "-vf \"scale=640:480,vflip,negate\"  -sn ", OPT_OUTPUT, 0, ""},
    {"ThreadsThroughTheDictionaries", "-threads 8 -astrict experimental -vstrict unofficial", OPT_OUTPUT, 0,
     ""},
    {"UnknownOption", "-nosuchoption 1", OPT_OUTPUT, AVERROR_OPTION_NOT_FOUND, "Option not found"},
    {"NoFormOfAnUnknownOption", "-nonosuch", OPT_OUTPUT, AVERROR_OPTION_NOT_FOUND, "Option not found"},
    {"StrayWord", "-vn stray", OPT_OUTPUT, AVERROR(EINVAL), "Failed to parse options on \"stray\""},
    {"HelpIsIgnored", "-help", OPT_OUTPUT, 0, ""},
    {"ReportIsRefused", "-report", OPT_OUTPUT, AVERROR(EINVAL), "options \"report\" not supported"},
    {"InputOptionOnOutput", "-itsoffset 1", OPT_OUTPUT, AVERROR(EINVAL), "cannot be applied to output file"},
    {"VsyncOutOfRange", "-vsync 3", OPT_OUTPUT, AVERROR(EINVAL),
     "The value for \"vsync\" was \"3\" which is invalid"},
    {"StreamIdOutOfRange", "-streamid 1024:5", OPT_OUTPUT, AVERROR(EINVAL), "which is not within 0 - 1023"},
    {"StreamIdWithoutColon", "-streamid 5", OPT_OUTPUT, AVERROR(EINVAL),
     "required syntax is \"index:value\""},
    {"TimeLengthNotANumber", "-TimeLength abc", OPT_INPUT, AVERROR(EINVAL),
     "is not a valid floating point value"},
    {"UnknownTarget", "-target ntsc-cd", OPT_OUTPUT, AVERROR(EINVAL), "Unknown target: cd"},
    {"RemovedSameq", "-sameq", OPT_OUTPUT, AVERROR(EINVAL), "Option \"sameq\" was removed."},
    {"MissingArgument", "-c:v", OPT_OUTPUT, AVERROR(EINVAL), "Missing argument for option"},
    {"SwscaleDimensions", "-srcw 100", OPT_OUTPUT, AVERROR(EINVAL),
     "Directly using swscale dimensions/format options is not supported"},
    // Main options of the FFmpeg 5.1 program (ffmpeg -h full).
    {"FiveOneInputOptions", "-readrate 2 -bitexact -to 3 -ch_layout 5.1 -recast_media", OPT_INPUT, 0, ""},
    {"FiveOneOutputOptions",
     "-fps_mode:v cfr -fpsmax 30 -noautoscale -bitexact -ch_layout stereo -stats_period 1 -cpucount 2 "
     "-noauto_conversion_filters -muxing_queue_data_threshold 1000 -dispositions -sources pulse -sinks alsa",
     OPT_OUTPUT, 0, ""},
    {"StatsPeriodZero", "-stats_period 0", OPT_OUTPUT, AVERROR(EINVAL), "stats_period 0 must be positive."},
    {"ReadrateOnOutput", "-readrate 1", OPT_OUTPUT, AVERROR(EINVAL), "cannot be applied to output file"},
    {"IsyncNamesAnInput", "-isync 1", OPT_INPUT, 0, ""},
    {"IsyncOnOutput", "-isync 0", OPT_OUTPUT, AVERROR(EINVAL), "cannot be applied to output file"},
    // The engine never reads standard input: turning interaction off is what it does anyway.
    {"NostdinAccepted", "-nostdin -y", OPT_OUTPUT, 0, ""},
    {"NostdinAcceptedBeforeAnInput", "-nostdin -isync 0", OPT_INPUT, 0, ""},
    {"StdinRefused", "-stdin", OPT_OUTPUT, AVERROR(EINVAL), "options \"stdin\" not supported"},
};

INSTANTIATE_TEST_SUITE_P(Rows, ParseResultTest, ::testing::ValuesIn(kParseCases),
                         [](const ::testing::TestParamInfo<TParseCase>& info) { return info.param.Name; });

// --- What the options write -------------------------------------------------------------------

TEST_F(EngineOptionsTest, PerStreamOptionsKeepTheirSpecifiersInOrder) {
  ASSERT_EQ(Parse("-c:v libx264 -c libx264 -c:v:0 mpeg4 -b:a 32k -ar 44100 -ar:a:1 22050 -tag:v DIVX"), 0);
  ASSERT_EQ(FCtx.codec_names.size(), 3u);
  EXPECT_EQ(FCtx.codec_names[0].specifier, "v");
  EXPECT_EQ(FCtx.codec_names[0].u.str, "libx264");
  EXPECT_EQ(FCtx.codec_names[1].specifier, "");
  EXPECT_EQ(FCtx.codec_names[2].specifier, "v:0");
  ASSERT_EQ(FCtx.audio_sample_rate.size(), 2u);
  EXPECT_EQ(FCtx.audio_sample_rate[1].specifier, "a:1");
  EXPECT_EQ(FCtx.audio_sample_rate[1].u.i, 22050);
  ASSERT_EQ(FCtx.codec_tags.size(), 1u);
  EXPECT_EQ(FCtx.codec_tags[0].u.str, "DIVX");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "b:a"), "32k");
}

TEST_F(EngineOptionsTest, BitRateRedirects) {
  ASSERT_EQ(Parse("-b 1000k -ab 64k -b:v:0 900k"), 0);
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "b:v"), "1000k");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "b:a"), "64k");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "b:v:0"), "900k");
}

TEST_F(EngineOptionsTest, QscaleIsTheQualityOfItsStreams) {
  ASSERT_EQ(Parse("-qscale:v 3 -qscale:a:1 4 -qscale 5"), 0);
  ASSERT_EQ(FCtx.qscale.size(), 3u);
  EXPECT_EQ(FCtx.qscale[0].specifier, "v");
  EXPECT_EQ(FCtx.qscale[0].u.dbl, 3);
  EXPECT_EQ(FCtx.qscale[1].specifier, "a:1");
  EXPECT_EQ(FCtx.qscale[1].u.dbl, 4);
  EXPECT_EQ(FCtx.qscale[2].specifier, "v");  // plain -qscale is taken for the video
  EXPECT_EQ(FCtx.qscale[2].u.dbl, 5);
}

TEST_F(EngineOptionsTest, DictionaryOptionsReachTheFileGroup) {
  ASSERT_EQ(Parse("-threads 8 -astrict experimental -vstrict unofficial -g 12"), 0);
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "threads"), "8");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "astrict"), "experimental");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "vstrict"), "unofficial");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "g"), "12");
}

TEST_F(EngineOptionsTest, FilterRedirectsAndDisableSwitches) {
  ASSERT_EQ(Parse("-vf \"scale=640:480,vflip\" -af volume=2 -sn -vn -novn"), 0);
  ASSERT_EQ(FCtx.filters.size(), 2u);
  EXPECT_EQ(FCtx.filters[0].specifier, "v");
  EXPECT_EQ(FCtx.filters[0].u.str, "scale=640:480,vflip");
  EXPECT_EQ(FCtx.filters[1].specifier, "a");
  EXPECT_EQ(FCtx.subtitle_disable, 1);
  EXPECT_EQ(FCtx.video_disable, 0);
}

TEST_F(EngineOptionsTest, TimesAndTheProgramsOwnSeconds) {
  ASSERT_EQ(Parse("-TimeStart 1.5 -TimeLength 2", OPT_INPUT), 0);
  EXPECT_EQ(FCtx.start_time, 1500000);
  EXPECT_EQ(FCtx.recording_time, 2000000);
  ASSERT_EQ(Parse("-ss 00:00:01.25 -t 5 -to 7"), 0);
  EXPECT_EQ(FCtx.start_time, 1250000);
  EXPECT_EQ(FCtx.recording_time, 5000000);
  EXPECT_EQ(FCtx.stop_time, 7000000);
  // The defaults.
  ASSERT_EQ(Parse(""), 0);
  EXPECT_EQ(FCtx.start_time, AV_NOPTS_VALUE);
  EXPECT_EQ(FCtx.recording_time, INT64_MAX);
  EXPECT_EQ(FCtx.accurate_seek, 1);
  EXPECT_FLOAT_EQ(FCtx.mux_max_delay, 0.7f);
}

TEST_F(EngineOptionsTest, IsyncIsAnInputIndex) {
  ASSERT_EQ(Parse("", OPT_INPUT), 0);
  EXPECT_EQ(FCtx.input_sync_ref, -1);
  ASSERT_EQ(Parse("-isync 2", OPT_INPUT), 0);
  EXPECT_EQ(FCtx.input_sync_ref, 2);
  EXPECT_THROW(Parse("-isync first", OPT_INPUT), media::FFmpegException);
}

TEST_F(EngineOptionsTest, EngineFieldsAndHookSwitches) {
  ASSERT_EQ(Parse("-vsync drop -VideoInputHook -y -FrameOutputHook"), 0);
  EXPECT_EQ(FEngine.VideoSyncMethod(), 255);
  EXPECT_EQ(FEngine.FileOverwrite(), 1);
  ASSERT_EQ(Parse("-VideoHookBitsPixel 24"), 0);
  EXPECT_EQ(FEngine.VideoHookBitsPixel(), 24);
}

TEST_F(EngineOptionsTest, WithoutHaltUnknownOptionsAndStrayWordsAreSkipped) {
  FEngine.SetHaltOnInvalidOption(false);
  EXPECT_EQ(Parse("-nosuchoption 1 stray -vn"), 0);
  EXPECT_EQ(FCtx.video_disable, 1);
}

TEST_F(EngineOptionsTest, PresetsText) {
  ASSERT_EQ(Parse("", OPT_OUTPUT, "# comment\r\nvcodec=mpeg4\r\n\r\nb=1000k"), 0);
  ASSERT_EQ(FCtx.codec_names.size(), 1u);
  EXPECT_EQ(FCtx.codec_names[0].specifier, "v");
  EXPECT_EQ(FCtx.codec_names[0].u.str, "mpeg4");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "b"), "1000k");

  EXPECT_EQ(Parse("-vn", OPT_OUTPUT, "acodec=mp2<CRLF>novalue"), AVERROR(EINVAL));
  EXPECT_NE(FEngine.LastErrMsg().find("Invalid syntax: \"novalue\""), std::string::npos)
      << FEngine.LastErrMsg();
  EXPECT_EQ(Parse("", OPT_OUTPUT, "nosuch=1"), AVERROR_OPTION_NOT_FOUND);
  EXPECT_NE(
      FEngine.LastErrMsg().find("Invalid option or argument: \"nosuch=1\", parsed as \"nosuch\" = \"1\""),
      std::string::npos)
      << FEngine.LastErrMsg();
}

TEST_F(EngineOptionsTest, ValueConversionErrorsThrow) {
  EXPECT_THROW(Parse("-ar abc"), media::FFmpegException);
  EXPECT_THROW(Parse("-t xyz"), media::FFmpegException);
}

// --- Target presets ---------------------------------------------------------------------------

TEST_F(EngineOptionsTest, TargetNtscDvdExpandsAndTheUsersOptionsWin) {
  ASSERT_EQ(Parse("-b:a 32k -c:a mp2 -target ntsc-dvd -c:v mpeg2video -sn "), 0);
  EXPECT_EQ(FCtx.format, "dvd");
  ASSERT_FALSE(FCtx.codec_names.empty());
  // Last match wins: the target's ac3 comes after the user's mp2.
  std::string audio, video;
  for (const auto& e : FCtx.codec_names) {
    if (e.specifier == "a") audio = e.u.str;
    if (e.specifier == "v") video = e.u.str;
  }
  EXPECT_EQ(audio, "ac3");
  EXPECT_EQ(video, "mpeg2video");
  ASSERT_FALSE(FCtx.frame_sizes.empty());
  EXPECT_EQ(FCtx.frame_sizes.back().u.str, "720x480");
  EXPECT_EQ(FCtx.frame_rates.back().u.str, "30000/1001");
  EXPECT_EQ(FCtx.frame_pix_fmts.back().u.str, "yuv420p");
  EXPECT_EQ(FCtx.audio_sample_rate.back().u.i, 48000);
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "g"), "18");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "b:v"), "6000000");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "maxrate:v"), "9000000");
  EXPECT_EQ(DictValue(FCtx.g->codec_opts, "b:a"), "32k");  // given for this file: kept
  EXPECT_EQ(DictValue(FCtx.g->format_opts, "packetsize"), "2048");
  EXPECT_EQ(DictValue(FCtx.g->format_opts, "muxrate"), "10080000");
}

TEST_F(EngineOptionsTest, TargetNormFromTheInputAndDvFormats) {
  // clip.avi's video time base is 1/25: PAL.
  ASSERT_GE(FEngine.OpenInput(fixtures::MediaFixtures().ClipAvi), 0) << FEngine.LastErrMsg();
  ASSERT_EQ(Parse("-target vcd"), 0);
  EXPECT_EQ(FCtx.frame_sizes.back().u.str, "352x288");
  EXPECT_EQ(FCtx.frame_rates.back().u.str, "25");
  EXPECT_FLOAT_EQ(FCtx.mux_preload, 0.44f);
  ASSERT_EQ(Parse("-target dv50"), 0);
  EXPECT_EQ(FCtx.frame_pix_fmts.back().u.str, "yuv422p");
  ASSERT_EQ(Parse("-target ntsc-dv"), 0);
  EXPECT_EQ(FCtx.frame_pix_fmts.back().u.str, "yuv411p");
  EXPECT_EQ(FCtx.format, "dv");
}

TEST_F(EngineOptionsTest, TargetWithoutANormRaises) {
  // Matroska keeps milliseconds: its time base names no norm.
  ASSERT_GE(FEngine.OpenInput(engine_test::SourceClip()), 0) << FEngine.LastErrMsg();
  try {
    Parse("-target dvd");
    FAIL() << "no exception";
  } catch (const media::FFmpegException& e) {
    EXPECT_NE(std::string(e.what()).find("Could not determine norm (PAL/NTSC/NTSC-Film) for target."),
              std::string::npos);
  }
}

// --- Stream maps ------------------------------------------------------------------------------

struct TMapCase {
  const char* Name;
  const char* Options;
  int Maps;  // entries after parsing; -1 when the parse raises
  const char* ErrorText;
};

std::ostream& operator<<(std::ostream& os, const TMapCase& c) { return os << c.Name; }

class MapTest : public EngineOptionsTest, public ::testing::WithParamInterface<TMapCase> {};

TEST_P(MapTest, ParsesOrRaises) {
  // clip.mjpeg has one video stream and no audio.
  ASSERT_GE(FEngine.OpenInput(fixtures::MediaFixtures().ClipMjpeg), 0) << FEngine.LastErrMsg();
  const TMapCase& c = GetParam();
  if (c.Maps < 0) {
    try {
      Parse(c.Options);
      FAIL() << "no exception";
    } catch (const media::FFmpegException& e) {
      EXPECT_NE(std::string(e.what()).find(c.ErrorText), std::string::npos) << e.what();
    }
    return;
  }
  ASSERT_EQ(Parse(c.Options), 0);
  EXPECT_EQ(int(FCtx.stream_maps.size()), c.Maps);
}

const TMapCase kMapCases[] = {
    {"AllOfTheFile", "-map 0", 1, ""},
    {"VideoByKind", "-map 0:v:0", 1, ""},
    {"OptionalAudioMissing", "-map 0:a?", 0, ""},
    {"AudioMissing", "-map 0:a", -1,
     "Stream map \"0:a\" matches no streams.\nTo ignore this, add a trailing \"?\" to the map."},
    {"NoSuchFile", "-map 5", -1, "Invalid input file index: 5."},
    {"BadSyncFile", "-map 0:v,3", -1, "Invalid sync file index: 3."},
    {"UnclosedLabel", "-map [out", -1, "Invalid output link label: [out."},
    {"Label", "-map [out]", 1, ""},
    {"BadSpecifier", "-map 0:x", -1, "check_stream_specifier"},
};

INSTANTIATE_TEST_SUITE_P(Rows, MapTest, ::testing::ValuesIn(kMapCases),
                         [](const ::testing::TestParamInfo<TMapCase>& info) { return info.param.Name; });

TEST_F(EngineOptionsTest, NegativeMapDisablesEarlierMaps) {
  ASSERT_GE(FEngine.OpenInput(engine_test::SourceClip()), 0) << FEngine.LastErrMsg();
  ASSERT_EQ(Parse("-map 0 -map -0:a"), 0);
  ASSERT_EQ(FCtx.stream_maps.size(), 2u);
  EXPECT_EQ(FCtx.stream_maps[0].disabled, 0);  // video
  EXPECT_EQ(FCtx.stream_maps[1].disabled, 1);  // audio
}

// --- Input sync ("-isync") --------------------------------------------------------------------

// Once the inputs are open, an input synced to another takes the difference of their start times
// into its time stamp offset, or the opening of the output refuses. The figures and texts are
// those Debian's ffmpeg 5.1 logs for the same inputs and options: broadcast.ts begins at
// 1.394667 s (its audio), phone.mp4 at 1.478 s (its audio), so phone.mp4 synced to broadcast.ts
// moves by 83333 us; clip.mjpeg has no start time.
struct TSyncCase {
  const char* Name;
  const char* Inputs;  // "T|options;P|options": T broadcast.ts, P phone.mp4, J clip.mjpeg
  const char* OutputOptions;
  bool Refused;
  const char* Text;  // in LastErrMsg when refused, else a line of the log ("": no adjustment)
};

std::ostream& operator<<(std::ostream& os, const TSyncCase& c) { return os << c.Name; }

class SyncTest : public EngineOptionsTest, public ::testing::WithParamInterface<TSyncCase> {};

TEST_P(SyncTest, AdjustsLogsOrRefuses) {
  const TSyncCase& c = GetParam();
  media_test::TLogCapture log(media::TLogLevel::llInfo);
  for (const auto& [letter, options] : engine_test::InputLetters(c.Inputs)) {
    const std::string file = letter == "T"   ? fixtures::ShapedSources().BroadcastTs
                             : letter == "P" ? fixtures::ShapedSources().PhoneMp4
                                             : fixtures::MediaFixtures().ClipMjpeg;
    ASSERT_GE(FEngine.OpenInput(file, options), 0) << FEngine.LastErrMsg();
  }
  // The null muxer writes no file: opening the output is the step that syncs.
  const int ret = FEngine.OpenOutput(engine_test::TempPath(std::string("sync-") + c.Name),
                                     std::string(c.OutputOptions) + " -map 0 -map 1 -c copy -f null");
  if (c.Refused) {
    EXPECT_EQ(ret, AVERROR(EINVAL));
    EXPECT_NE(FEngine.LastErrMsg().find(c.Text), std::string::npos) << FEngine.LastErrMsg();
    EXPECT_FALSE(log.Contains("Adjusted ts offset")) << log.Text();
    return;
  }
  ASSERT_GE(ret, 0) << FEngine.LastErrMsg();
  if (*c.Text == '\0')
    EXPECT_FALSE(log.Contains("Adjusted ts offset")) << log.Text();
  else
    EXPECT_TRUE(log.Contains(c.Text)) << log.Text();
}

const TSyncCase kSyncCases[] = {
    {"PhoneToBroadcast", "T|;P|-isync 0", "", false,
     "Adjusted ts offset for Input #1 by 83333 us to sync with Input #0."},
    {"BroadcastToPhone", "T|-isync 1;P|", "", false,
     "Adjusted ts offset for Input #0 by -83333 us to sync with Input #1."},
    // Without -copyts the start times take each input's -ss; the reference's -itsoffset counts.
    {"ReferenceSought", "T|-ss 1;P|-isync 0", "", false,
     "Adjusted ts offset for Input #1 by -916667 us to sync with Input #0."},
    {"TargetSoughtByItsOwnStamps", "T|;P|-isync 0 -seek_timestamp 1 -ss 2", "", false,
     "Adjusted ts offset for Input #1 by 2083333 us to sync with Input #0."},
    {"BothOffset", "T|-itsoffset 0.3;P|-isync 0 -itsoffset 0.2", "", false,
     "Adjusted ts offset for Input #1 by 383333 us to sync with Input #0."},
    {"CopytsStartAtZeroLeavesTheSeekOut", "T|-copyts -start_at_zero;P|-isync 0 -ss 1", "", false,
     "Adjusted ts offset for Input #1 by 83333 us to sync with Input #0."},
    {"ItselfOrNone", "T|-isync 0;P|-isync -1", "", false, ""},
    {"ResyncedReference", "T|-isync 1;P|-isync 0", "", false,
     "-isync for input 0 references a resynced input 1. Sync not set."},
    {"NoStartTime", "T|;J|-isync 0", "", false,
     "Unable to identify start times for Inputs #1 and 0 both. No sync adjustment made."},
    {"NoSuchInputRefused", "T|;P|-isync 2", "", true, "-isync for input 1 references non-existent input 2."},
    {"NegativeInputRefused", "T|;P|-isync -2", "", true,
     "-isync for input 1 references non-existent input -2."},
    {"CopytsWithoutStartAtZeroRefused", "T|-copyts;P|-isync 0", "", true,
     "Use of -isync requires that start_at_zero be set if copyts is set."},
    {"CopytsAmongTheOutputOptionsRefused", "T|;P|-isync 0", "-copyts", true,
     "Use of -isync requires that start_at_zero be set if copyts is set."},
};

INSTANTIATE_TEST_SUITE_P(Rows, SyncTest, ::testing::ValuesIn(kSyncCases),
                         [](const ::testing::TestParamInfo<TSyncCase>& info) { return info.param.Name; });

// An input is synced once however many outputs open after it, again when a later output's
// -copyts works the offsets out anew, and at the start of the run when it was opened after the
// last output.
TEST_F(EngineOptionsTest, SyncRunsOncePerOffsetAndReachesLateInputs) {
  media_test::TLogCapture log(media::TLogLevel::llInfo);
  const std::string adjusted = "Adjusted ts offset for Input #1 by 83333 us to sync with Input #0.";
  ASSERT_GE(FEngine.OpenInput(fixtures::ShapedSources().BroadcastTs), 0) << FEngine.LastErrMsg();
  ASSERT_GE(FEngine.OpenInput(fixtures::ShapedSources().PhoneMp4, "-isync 0"), 0) << FEngine.LastErrMsg();
  ASSERT_GE(FEngine.OpenOutput(engine_test::TempPath("once1"), "-map 0:v -f null"), 0)
      << FEngine.LastErrMsg();
  ASSERT_GE(FEngine.OpenOutput(engine_test::TempPath("once2"), "-map 1:v -f null"), 0)
      << FEngine.LastErrMsg();
  EXPECT_EQ(log.Count(adjusted), 1) << log.Text();
  ASSERT_GE(FEngine.OpenOutput(engine_test::TempPath("once3"), "-copyts -start_at_zero -map 1:a -f null"), 0)
      << FEngine.LastErrMsg();
  EXPECT_EQ(log.Count(adjusted), 2) << log.Text();

  TTestEngine late;
  ASSERT_GE(late.OpenInput(fixtures::ShapedSources().BroadcastTs), 0) << late.LastErrMsg();
  ASSERT_GE(late.OpenOutput(engine_test::TempPath("late"), "-map 0:v -c copy -f null"), 0)
      << late.LastErrMsg();
  ASSERT_GE(late.OpenInput(fixtures::ShapedSources().PhoneMp4, "-isync 0"), 0) << late.LastErrMsg();
  late.StartConvert(false);
  EXPECT_TRUE(late.Finished()) << late.FatalMessage();
  EXPECT_EQ(log.Count(adjusted), 3) << log.Text();
}

// -cpucount and -cpuflags set FFmpeg's values for the whole process: they last for the run only,
// and the next run, the previewer and the decoders see the CPU's own again.
TEST_F(EngineOptionsTest, CpuCountAndFlagsLastForTheRunOnly) {
  void* avutil =
      ::dlopen(media::FFLoader().LoadedFrom(media::TLibrary::avUtil).c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(avutil, nullptr) << ::dlerror();
  const auto cpuCount = reinterpret_cast<int (*)()>(::dlsym(avutil, "av_cpu_count"));
  ASSERT_NE(cpuCount, nullptr);
  const int count = cpuCount();
  const int flags = media::FF().av_get_cpu_flags();
  const std::string forced = "-cpucount " + std::to_string(count + 1) + " -cpuflags 0";
  {
    TTestEngine run;
    const engine_test::TConvertResult r = engine_test::ConvertWith(
        run, engine_test::SourceClip(), engine_test::TempPath("cpu.mkv"), forced + " -c:v mpeg4 -an");
    EXPECT_TRUE(r.Finished) << r.Message;
  }
  EXPECT_EQ(cpuCount(), count);
  EXPECT_EQ(media::FF().av_get_cpu_flags(), flags);
  ::dlclose(avutil);
}

// --- Per-stream lookup ------------------------------------------------------------------------

TEST_F(EngineOptionsTest, PerStreamLookupLetsTheLastMatchWin) {
  ASSERT_GE(FEngine.OpenInput(engine_test::SourceClip()), 0) << FEngine.LastErrMsg();
  AVFormatContext* ic = FEngine.InputFormatContext(0);
  ASSERT_NE(ic, nullptr);
  ASSERT_EQ(Parse("-c:v libx264 -c:v:0 mpeg4 -c copy -ar:a 44100 -ar:a:0 22050"), 0);
  std::string videoCodec = "unset";
  FEngine.MatchPerStream(FCtx.codec_names, ic, ic->streams[0], videoCodec);
  EXPECT_EQ(videoCodec, "copy");  // the empty specifier of the last entry matches every stream
  int rate = 0;
  FEngine.MatchPerStream(FCtx.audio_sample_rate, ic, ic->streams[1], rate);
  EXPECT_EQ(rate, 22050);
  rate = 0;
  FEngine.MatchPerStream(FCtx.audio_sample_rate, ic, ic->streams[0], rate);
  EXPECT_EQ(rate, 0);  // no entry matches a video stream: the value stays untouched
  std::string byKind;
  FEngine.MatchPerTypeCodecName(FCtx, "v", byKind);
  EXPECT_EQ(byKind, "libx264");  // exact kind letter only: not "v:0", not ""

  ASSERT_EQ(Parse("-c:x copy"), 0);
  std::string ignored;
  EXPECT_THROW(FEngine.MatchPerStream(FCtx.codec_names, ic, ic->streams[0], ignored), media::FFmpegException);
}

TEST_F(EngineOptionsTest, LastMatchDecidesTheOutputCodecs) {
  const std::string output = engine_test::TempPath("lastmatch.mkv");
  const engine_test::TConvertResult r = engine_test::Convert(
      engine_test::SourceClip(), output, "-c:v libx264 -c:v:0 mpeg4 -c:a mp2 -ar 44100 -ar:a:0 22050 -sn");
  ASSERT_TRUE(r.Finished) << r.Message;
  const engine_test::TProbe p = engine_test::Probe(output);
  ASSERT_NE(p.First("video"), nullptr);
  EXPECT_EQ(p.First("video")->CodecName, "mpeg4");
  ASSERT_NE(p.First("audio"), nullptr);
  EXPECT_EQ(p.First("audio")->SampleRate, 22050);
}

// --- Output stream choices --------------------------------------------------------------------

TEST_F(EngineOptionsTest, AudioOnlyContainersGetNoVideoAndMapsChooseTheStreams) {
  const std::string wav = engine_test::TempPath("choice.wav");
  engine_test::TConvertResult r = engine_test::Convert(engine_test::SourceClip(), wav, "");
  ASSERT_TRUE(r.Finished) << r.Message;
  engine_test::TProbe p = engine_test::Probe(wav);
  EXPECT_EQ(p.First("video"), nullptr);
  ASSERT_NE(p.First("audio"), nullptr);

  const std::string mapped = engine_test::TempPath("mapped.mkv");
  r = engine_test::Convert(engine_test::SourceClip(), mapped, "-map 0:a:0 -map 0:v:0 -c:v mpeg4 -c:a mp2");
  ASSERT_TRUE(r.Finished) << r.Message;
  p = engine_test::Probe(mapped);
  ASSERT_EQ(p.Streams.size(), 2u);
  EXPECT_EQ(p.Streams[0].CodecType, "audio");
  EXPECT_EQ(p.Streams[1].CodecType, "video");
}

TEST_F(EngineOptionsTest, TrimsAndSizes) {
  const std::string output = engine_test::TempPath("trim.mkv");
  const engine_test::TConvertResult r = engine_test::Convert(
      engine_test::SourceClip(), output, "-ss 0.5 -t 1 -s 80x60 -pix_fmt yuv422p -c:v mpeg4 -c:a pcm_s16le");
  ASSERT_TRUE(r.Finished) << r.Message;
  const engine_test::TProbe p = engine_test::Probe(output);
  EXPECT_NEAR(p.Duration, 1.0, 0.1);
  ASSERT_NE(p.First("video"), nullptr);
  EXPECT_EQ(p.First("video")->Width, 80);
  EXPECT_EQ(p.First("video")->Height, 60);
  // mpeg4 takes only yuv420p: the request is replaced with a warning.
  EXPECT_EQ(p.First("video")->PixFmt, "yuv420p");
}

TEST_F(EngineOptionsTest, StreamCopy) {
  const std::string output = engine_test::TempPath("copy.mkv");
  const engine_test::TConvertResult r = engine_test::Convert(engine_test::SourceClip(), output, "-c copy");
  ASSERT_TRUE(r.Finished) << r.Message;
  const engine_test::TProbe p = engine_test::Probe(output, true);
  ASSERT_NE(p.First("video"), nullptr);
  EXPECT_EQ(p.First("video")->CodecName, "mpeg4");
  EXPECT_EQ(p.First("video")->Frames, 50);
  EXPECT_EQ(p.First("audio")->CodecName, "pcm_s16le");
  EXPECT_NEAR(p.Duration, engine_test::kSourceDuration, 0.1);

  const engine_test::TConvertResult refused = engine_test::Convert(
      engine_test::SourceClip(), engine_test::TempPath("copyfilter.mkv"), "-c:v copy -vf hflip");
  EXPECT_FALSE(refused.Opened);
  EXPECT_NE(refused.Message.find("Filtering and streamcopy cannot be used together."), std::string::npos)
      << refused.Message;
}

// Every stage's "-debug_ts" line names each time stamp twice, as a number and in seconds ("NOPTS"
// when unset), in the fixed order that scripts reading these lines rely on.
TEST_F(EngineOptionsTest, DebugTsLinesNameEveryTimeStamp) {
  media_test::TLogCapture log(media::TLogLevel::llInfo);
  const engine_test::TConvertResult r =
      engine_test::Convert(engine_test::SourceClip(), engine_test::TempPath("ts.avi"),
                           "-debug_ts -c:v mpeg4 -c:a libmp3lame -b:a 32k");
  ASSERT_TRUE(r.Finished) << r.Message;
  const std::string n = R"((-?\d+|NOPTS))";
  const std::string t = R"((-?[0-9.e+-]+|NOPTS))";
  auto pair = [&](const std::string& name) { return name + ":" + n + " " + name + "_time:" + t; };
  const std::string pkt = pair("pkt_pts") + " " + pair("pkt_dts");
  const std::string tb = R"( time_base:\d+/\d+)";
  const std::string stages[] = {
      R"(demuxer -> ist_index:\d+ type:\w+ )" + pair("next_dts") + " " + pair("next_pts") + " " + pkt + " " +
          pair("off"),
      R"(demuxer\+ffencoder -> ist_index:\d+ type:\w+ )" + pkt + " " + pair("off"),
      R"(decoder -> ist_index:\d+ type:video )" + pair("frame_pts") +
          R"( best_effort_ts:-?\d+ best_effort_ts_time:)" + t + R"( keyframe:\d)",
      "filter -> " + pair("pts") + R"( exact:\S+)" + tb,
      "encoder <- type:video " + pair("frame_pts") + tb,
      "encoder -> type:video " + pkt,
      "encoder <- type:audio " + pair("frame_pts") + tb,
      "encoder -> type:audio " + pkt,
      R"(muxer <- type:\w+ )" + pkt + R"( size:\d+)",
  };
  const std::vector<std::string> lines = log.Lines();
  for (const std::string& stage : stages) {
    const std::regex pattern(stage);
    bool found = false;
    for (const std::string& line : lines) found = found || std::regex_search(line, pattern);
    EXPECT_TRUE(found) << "no line matches " << stage;
  }
}

TEST_F(EngineOptionsTest, SimpleGraphWithTwoOutputsFails) {
  const engine_test::TConvertResult r = engine_test::Convert(
      engine_test::SourceClip(), engine_test::TempPath("split.avi"), "-c:v mpeg4 -an -vf split");
  EXPECT_FALSE(r.Finished);
  EXPECT_TRUE(r.FatalException);
}

}  // namespace
