// The container and codec rows the application builds, converted end to end and checked with
// ffprobe: container, codecs, frame size, rate, sample rate, channels and duration.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "fixtures/media_fixtures.h"

namespace {

using engine_test::Convert;
using engine_test::Probe;

struct TMainRoadCase {
  const char* Name;
  const char* Output;      // file name; the extension chooses the muxer unless "-f" says otherwise
  const char* Options;     // exactly as the application sends them (trailing blanks included)
  const char* Format;      // expected in ffprobe's format_name
  const char* VideoCodec;  // "" when the output must have no video
  const char* AudioCodec;
  int Width;
  int Height;
  const char* FrameRate;  // r_frame_rate, "" unchecked
  int SampleRate;
  int Channels;
  const char* VideoTag = "";  // codec_tag_string, "" unchecked
  const char* Dar = "";       // display aspect ratio, "" unchecked
  // AVI is muxed with variable frame rate: a rate conversion keeps the last frames of the source's
  // rhythm (FFmpeg's tool gives the same files), so those rows end up to 0.2 s longer.
  double DurationTolerance = 0.1;
  bool IndependentInput = false;  // the library-written fixture clip.avi instead of the source clip
  double Duration = 0;            // expected duration; 0 means the input's
};

std::ostream& operator<<(std::ostream& os, const TMainRoadCase& c) { return os << c.Name; }

class MainRoadTest : public ::testing::TestWithParam<TMainRoadCase> {
 protected:
  void SetUp() override { engine_test::LoadLibraries(); }
};

TEST_P(MainRoadTest, ConvertsAndProbesAsExpected) {
  const TMainRoadCase& c = GetParam();
  const std::string input =
      c.IndependentInput ? fixtures::MediaFixtures().ClipAvi : engine_test::SourceClip();
  const double inputDuration = c.IndependentInput ? double(fixtures::kClipFrames) / fixtures::kClipFrameRate
                                                  : engine_test::kSourceDuration;
  const std::string output = engine_test::TempPath(c.Output);
  const engine_test::TConvertResult r = Convert(input, output, c.Options);
  ASSERT_TRUE(r.Opened) << r.Message;
  ASSERT_TRUE(r.Finished) << r.Message;
  EXPECT_FALSE(r.FatalException);
  EXPECT_EQ(r.Terminations, 1);

  const engine_test::TProbe p = Probe(output);
  ASSERT_TRUE(p.Ok) << p.Error;
  EXPECT_NE(p.FormatName.find(c.Format), std::string::npos) << p.FormatName;
  EXPECT_NEAR(p.Duration, c.Duration > 0 ? c.Duration : inputDuration, c.DurationTolerance);

  const engine_test::TProbeStream* video = p.First("video");
  if (*c.VideoCodec == '\0') {
    EXPECT_EQ(video, nullptr);
  } else {
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->CodecName, c.VideoCodec);
    EXPECT_EQ(video->Width, c.Width);
    EXPECT_EQ(video->Height, c.Height);
    if (*c.FrameRate != '\0') {
      EXPECT_EQ(video->RFrameRate, c.FrameRate);
    }
    if (*c.VideoTag != '\0') {
      EXPECT_EQ(video->CodecTag, c.VideoTag);
    }
    if (*c.Dar != '\0') {
      EXPECT_EQ(video->Dar, c.Dar);
    }
  }
  const engine_test::TProbeStream* audio = p.First("audio");
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->CodecName, c.AudioCodec);
  EXPECT_EQ(audio->SampleRate, c.SampleRate);
  EXPECT_EQ(audio->Channels, c.Channels);
  EXPECT_EQ(p.First("subtitle"), nullptr);
}

const TMainRoadCase kMainRoadCases[] = {
    {"AviDefault", "default.avi", "-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn ", "avi", "mpeg4", "mp3", 160, 120,
     "25/1", 44100, 2, "FMP4"},
    {"AviDivXOriginalRate", "divx.avi",
     "-b:a 32k -c:a libmp3lame -c:v mpeg4 -tag:v DIVX -vstrict unofficial -r 15000/1001 -sn ", "avi", "mpeg4",
     "mp3", 160, 120, "15000/1001", 44100, 2, "DIVX", "", 0.2},
    {"AviXvid", "xvid.avi", "-b:a 32k -c:a libmp3lame -c:v libxvid -sn ", "avi", "mpeg4", "mp3", 160, 120,
     "25/1", 44100, 2, "xvid"},
    {"TransportStream", "h264.ts", "-b:a 32k -c:a ac3 -c:v libx264 -threads 8 -pix_fmt yuv420p -sn ",
     "mpegts", "h264", "ac3", 160, 120, "25/1", 44100, 2},
    {"Mp4", "default.mp4", "-b:a 32k -c:a aac -astrict experimental -c:v mpeg4 -sn ", "mp4", "mpeg4", "aac",
     160, 120, "25/1", 44100, 2},
    {"M4v", "default.m4v", "-b:a 32k -c:a aac -astrict experimental -c:v mpeg4 -sn ", "mp4", "mpeg4", "aac",
     160, 120, "25/1", 44100, 2},
    {"Mov", "default.mov", "-b:a 32k -c:a aac -astrict experimental -c:v mpeg4 -sn ", "mov", "mpeg4", "aac",
     160, 120, "25/1", 44100, 2},
    // "-target ntsc-dvd" comes after "-c:a mp2" and sets ac3: the last codec given wins.
    {"VobNtscDvd", "dvd.vob", "-b:a 32k -c:a mp2 -target ntsc-dvd -c:v mpeg2video -sn ", "mpeg", "mpeg2video",
     "ac3", 720, 480, "30000/1001", 48000, 2},
    // "-c:v mpeg2video" comes after "-target ntsc-vcd", which set mpeg1video: the last given wins.
    {"MpgNtscVcd", "vcd.mpg", "-b:a 32k -c:a mp2 -target ntsc-vcd -c:v mpeg2video -sn ", "mpeg", "mpeg2video",
     "mp2", 352, 240, "30000/1001", 44100, 2},
    {"Wmv", "default.wmv", "-b:a 32k -c:a wmav2 -c:v wmv2 -sn ", "asf", "wmv2", "wmav2", 160, 120, "25/1",
     44100, 2},
    {"WebM", "rates.webm", "-b:a 128k -b:v 1000k -f webm  -c:a libvorbis -c:v libvpx -sn ", "webm", "vp8",
     "vorbis", 160, 120, "25/1", 44100, 2},
    {"MkvH264", "h264.mkv", "-b:a 32k -c:a libmp3lame -c:v libx264 -threads 8 -pix_fmt yuv420p -sn ",
     "matroska", "h264", "mp3", 160, 120, "25/1", 44100, 2},
    {"ScaleVflipNegate", "effects.avi",
     "-b:a 32k -c:a libmp3lame -c:v mpeg4 -vf \"scale=640:480,vflip,negate\"  -sn ", "avi", "mpeg4", "mp3",
     640, 480, "25/1", 44100, 2},
    {"YadifHflip", "deinterlace.avi", "-b:a 32k -c:a libmp3lame -c:v mpeg4 -vf \"yadif,hflip\"  -sn ", "avi",
     "mpeg4", "mp3", 160, 120, "25/1", 44100, 2},
    {"AspectMono22050Rate15", "aspect.avi",
     "-b:a 32k -aspect 16:9 -ac 1 -ar 22050 -r 15 -c:a libmp3lame -c:v mpeg4 -sn ", "avi", "mpeg4", "mp3",
     160, 120, "15/1", 22050, 1, "", "16:9", 0.25},
    {"ExtractFlac", "audio.flac", "-b:a 192k -ac 2 -ar 44100 -c:a flac -vn", "flac", "", "flac", 0, 0, "",
     44100, 2},
    {"ExtractWav", "audio.wav", "-b:a 32k -vn", "wav", "", "pcm_s16le", 0, 0, "", 44100, 2},
    {"ExtractOggMono22050", "audio.ogg", "-b:a 64k -ac 1 -ar 22050 -c:a libvorbis -vn", "ogg", "", "vorbis",
     0, 0, "", 22050, 1},
    {"ExtractMp3", "audio.mp3", "-b:a 128k -c:a libmp3lame -vn", "mp3", "", "mp3", 0, 0, "", 44100, 2},
    {"ExtractWma", "audio.wma", "-b:a 64k -c:a wmav2 -vn", "asf", "", "wmav2", 0, 0, "", 44100, 2},
    // The library-written fixture: 64x48 MPEG-4 with 8000 Hz mono PCM.
    {"IndependentClipToMp4", "independent.mp4", "-b:a 32k -c:a aac -astrict experimental -c:v mpeg4 -sn ",
     "mp4", "mpeg4", "aac", 64, 48, "25/1", 8000, 1, "", "", 0.1, true},
    {"IndependentClipStereo44100", "independent.mp3", "-b:a 64k -ac 2 -ar 44100 -c:a libmp3lame -vn", "mp3",
     "", "mp3", 0, 0, "", 44100, 2, "", "", 0.1, true},
    // The program's own seconds options: half a second in, one second long.
    {"TimeStartTimeLength", "part.mp4", "-TimeStart 0.5 -TimeLength 1 -b:a 32k -c:a aac -c:v mpeg4 -sn ",
     "mp4", "mpeg4", "aac", 160, 120, "25/1", 44100, 2, "", "", 0.1, false, 1.0},
    {"ComplexGraph", "complex.mkv",
     "-filter_complex \"[0:v]split[a][b];[a]hflip[c];[b][c]hstack\" -c:v mpeg4 -c:a mp2", "matroska", "mpeg4",
     "mp2", 320, 120, "25/1", 44100, 2},
};

INSTANTIATE_TEST_SUITE_P(Rows, MainRoadTest, ::testing::ValuesIn(kMainRoadCases),
                         [](const ::testing::TestParamInfo<TMainRoadCase>& info) { return info.param.Name; });

// Settings the encoders refuse: a clear failure, never a success and never a file left behind.
struct TRefusedCase {
  const char* Name;
  const char* Output;
  const char* Options;
  const char* Text;
};

std::ostream& operator<<(std::ostream& os, const TRefusedCase& c) { return os << c.Name; }

class RefusedSettingsTest : public ::testing::TestWithParam<TRefusedCase> {
 protected:
  void SetUp() override { engine_test::LoadLibraries(); }
};

TEST_P(RefusedSettingsTest, FailsWithTheReasonAndLeavesNoFile) {
  const TRefusedCase& c = GetParam();
  const std::string output = engine_test::TempPath(c.Output);
  const engine_test::TConvertResult r = Convert(engine_test::SourceClip(), output, c.Options);
  EXPECT_FALSE(r.Finished);
  EXPECT_NE(r.Message.find(c.Text), std::string::npos) << r.Message;
  if (r.Opened) {
    EXPECT_TRUE(r.FatalException);
    EXPECT_EQ(r.Terminations, 1);
  }
  EXPECT_FALSE(std::ifstream(output).good()) << "an empty output was left behind";
}

const TRefusedCase kRefusedCases[] = {
    // libvorbis has no mode for 32 kbit/s stereo at 44100 Hz: the application's default WebM row.
    {"VorbisStereo32k", "vorbis32k.webm", "-b:a 32k -c:a libvorbis -c:v libvpx -sn ",
     "Error while opening encoder for output stream #0:1 (Audio) - maybe incorrect parameters"},
    {"UnknownEncoder", "unknown.avi", "-c:v nosuchcodec", "Unknown encoder \"nosuchcodec\""},
    {"AudioEncoderForVideo", "mismatch.avi", "-c:v mp2", "Invalid encoder type \"mp2\""},
    {"ToBeforeSs", "to.avi", "-ss 1 -to 0.5", "-to value smaller than -ss; aborting."},
    {"NoStreamLeft", "nostreams.avi", "-vn -an", "Output file #0 does not contain any stream"},
    {"UnknownMapLabel", "label.mkv", "-filter_complex \"[0:v]hflip[v]\" -map \"[x]\"",
     "Output with label \"x\" does not exist in any defined filter graph, or was already used elsewhere."},
};

INSTANTIATE_TEST_SUITE_P(Rows, RefusedSettingsTest, ::testing::ValuesIn(kRefusedCases),
                         [](const ::testing::TestParamInfo<TRefusedCase>& info) { return info.param.Name; });

// The text of a line without its context ("[Parsed_crop_0 @ 0x55d0c0] "): as the FFmpeg program
// prints it, and as the engine's log carries it after its time, thread, context and level.
std::string ProgramMessage(const std::string& line) {
  static const std::regex context("^\\[[^\\]]* @ 0x[0-9a-fA-F]+\\] ");
  return std::regex_replace(line, context, "");
}
std::string LoggedMessage(const std::string& line) {
  static const std::regex prefix(
      "^\\d\\d:\\d\\d:\\d\\d\\.\\d+ \\[[0-9a-fA-F]+\\]\\*? (\\[[^\\]]*\\] )?"
      "\\[(Quiet|Panic|Fatal|Error|Warning|Info|Verbose|Debug|Trace)\\] ");
  return std::regex_replace(line, prefix, "");
}

// A filter that cannot be configured for the decoded frames fails the run. What the run must say
// is taken from Debian's ffmpeg program on the same input and options: it fails too, and the
// engine's log carries the program's error lines word for word and in their order, from the
// filter's reason to the line that names the stream whose decoded frames failed.
TEST(FilterFailure, CropLargerThanThePictureFailsAsTheFFmpegProgramDoes) {
  engine_test::LoadLibraries();
  if (const std::string mismatch = engine_test::ReferenceMismatch(); !mismatch.empty())
    GTEST_SKIP() << mismatch;
  const std::string options = "-c:v mpeg4 -vf \"crop=1000:1000\" -an";
  const std::string program = engine_test::CommandOutput(engine_test::kFFmpeg + " -nostdin -hide_banner -i " +
                                                         engine_test::ShellQuote(engine_test::SourceClip()) +
                                                         " " + options + " -f null - 2>&1; echo \"exit=$?\"");
  ASSERT_EQ(program.find("exit=0"), std::string::npos) << program;
  std::smatch found;
  ASSERT_TRUE(std::regex_search(program, found,
                                std::regex("\\n(\\[Parsed_crop_0 @ [^\\n]*\\n(?:[^\\n]*\\n)*?"
                                           "[^\\n]* for stream (#[0-9]+:[0-9]+))\\n")))
      << program;
  const std::string stream = found[2];
  std::vector<std::string> expected;
  std::istringstream programLines(found[1].str());
  for (std::string line; std::getline(programLines, line);) expected.push_back(ProgramMessage(line));

  const std::string output = engine_test::TempPath("crop.avi");
  std::vector<std::string> log;
  engine_test::TConvertResult r;
  {
    engine_test::TLogCapture capture;
    r = engine_test::Convert(engine_test::SourceClip(), output, options);
    log = capture.Lines();
  }

  EXPECT_TRUE(r.Opened) << r.Message;
  EXPECT_FALSE(r.Finished);
  EXPECT_TRUE(r.FatalException);
  EXPECT_EQ(r.Terminations, 1);
  EXPECT_NE(r.Message.find("stream " + stream), std::string::npos) << r.Message << "\nffmpeg:\n" << program;
  // Each of the program's lines, whole, in a line of the log after the one before it.
  auto logged = log.begin();
  for (const std::string& line : expected) {
    logged = std::find_if(logged, log.end(), [&](const std::string& l) { return LoggedMessage(l) == line; });
    ASSERT_TRUE(logged != log.end()) << "not logged in its place: " << line << "\nffmpeg:\n"
                                     << program << "\nengine:\n"
                                     << ::testing::PrintToString(log);
    ++logged;
  }
  EXPECT_FALSE(std::ifstream(output).good()) << "an empty output was left behind";
}

}  // namespace
