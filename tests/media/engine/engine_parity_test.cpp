// Option strings a power user types, run on small inputs and checked with ffprobe against values
// worked out from those inputs: stream copy and cuts, -copyts, -stream_loop, the -map forms,
// metadata and chapter maps, two-input filter graphs, two passes, -shortest, -frames, -itsoffset,
// -isync, subtitles, attachments and the side files (-progress, -vstats, -sdp_file).
//
// The inputs are written by Debian's ffmpeg program (an independent writer), so a fault of the
// engine cannot hide in its own fixtures:
//   main.mkv  10 s. Video mpeg4 160x120, 25 fps, 250 frames, pts 0.01 + 0.04 n, a key frame every
//             25 frames (0.01, 1.01, 2.01 ...). Audio mp2 48 kHz stereo, 417 packets of 1152
//             samples (0.024 s; the last one ends at 10.008). Subtitles srt, cues at 1, 3, 5 and
//             7 s, one second each. Chapters [0,2.5) "One", [2.5,5) "Two", [5,7.5) "Three",
//             [7.5,10) "Four". Tags: file title "Parity Source", video title "Picture", audio
//             language "eng".
//   small.mkv 4 s. Video mpeg4 80x60, 25 fps, 100 frames from pts 0, no audio.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "fixtures/media_fixtures.h"
#include "media/engine/custom_ffmpeg.h"
#include "media/ff_logger.h"

namespace {


void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct TInputs {
  std::string Main;
  std::string Small;
  std::string Subtitles;
  std::string Attachment;
};

const TInputs& Inputs() {
  static const TInputs inputs = [] {
    TInputs in;
    const std::string dir = engine_test::TempDir();
    in.Subtitles = dir + "/cues.srt";
    WriteText(in.Subtitles,
              "1\n00:00:01,000 --> 00:00:02,000\nfirst\n\n2\n00:00:03,000 --> 00:00:04,000\nsecond\n\n"
              "3\n00:00:05,000 --> 00:00:06,000\nthird\n\n4\n00:00:07,000 --> 00:00:08,000\nfourth\n");
    const std::string meta = dir + "/chapters.txt";
    WriteText(meta,
              ";FFMETADATA1\ntitle=Parity Source\n"
              "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=2500\ntitle=One\n"
              "[CHAPTER]\nTIMEBASE=1/1000\nSTART=2500\nEND=5000\ntitle=Two\n"
              "[CHAPTER]\nTIMEBASE=1/1000\nSTART=5000\nEND=7500\ntitle=Three\n"
              "[CHAPTER]\nTIMEBASE=1/1000\nSTART=7500\nEND=10000\ntitle=Four\n");
    in.Attachment = dir + "/notes.txt";
    WriteText(in.Attachment, "attached notes\n");
    const std::string av = dir + "/av.mkv";
    in.Main = dir + "/main.mkv";
    in.Small = dir + "/small.mkv";
    const std::string ff = engine_test::kFFmpeg + " -nostdin -v error -y ";
    const std::string steps =
        ff + "-f lavfi -i testsrc2=s=160x120:r=25:d=10 -f lavfi -i sine=f=440:sample_rate=48000:d=10 " +
        "-c:v mpeg4 -g 25 -q:v 5 -c:a mp2 -ac 2 " + engine_test::ShellQuote(av) + " && " + ff + "-i " + engine_test::ShellQuote(av) + " -i " +
        engine_test::ShellQuote(meta) + " -i " + engine_test::ShellQuote(in.Subtitles) +
        " -map 0 -map 2 -map_metadata 1 -map_chapters 1 -c copy -c:s srt -metadata:s:a language=eng "
        "-metadata:s:v title=Picture " +
        engine_test::ShellQuote(in.Main) + " && " + ff + "-f lavfi -i testsrc=s=80x60:r=25:d=4 -c:v mpeg4 -g 25 -q:v 5 " +
        engine_test::ShellQuote(in.Small);
    EXPECT_EQ(std::system(steps.c_str()), 0) << steps;
    return in;
  }();
  return inputs;
}

/// ffprobe's view of a file as "key" -> text: "streams" ("v,a,s,t": one letter per stream),
/// "N.codec", "N.packets", "N.frames", "N.start", "N.duration", "N.width", "N.height", "N.rate",
/// "N.keys" (the key packets of a video stream: "0,25,50"), "N.pix_fmt", "N.field_order",
/// "N.layout", "N.sample_fmt", "N.default" (disposition),
/// "N.tag.K", "format.start", "format.duration", "format.tag.K", "chapters", "chN.start",
/// "chN.end", "chN.tag.K". A key that ffprobe does not report has no entry.
using TFacts = std::vector<std::pair<std::string, std::string>>;

TFacts ProbeFacts(const std::string& path) {
  TFacts facts;
  const std::string text =
      engine_test::CommandOutput(engine_test::kFFprobe +
                                 " -v error -count_frames -count_packets -show_streams -show_format "
                                 "-show_chapters -of json " +
                                 engine_test::ShellQuote(path) + " 2>&1");
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text));
  if (!doc.isObject()) {
    facts.emplace_back("error", text);
    return facts;
  }
  auto value = [](const QJsonValue& v) {
    return v.isString() ? v.toString().toStdString() : QString::number(v.toDouble(), 'g', 12).toStdString();
  };
  auto tags = [&](const std::string& prefix, const QJsonObject& o) {
    const QJsonObject t = o.value("tags").toObject();
    for (auto it = t.begin(); it != t.end(); ++it)
      facts.emplace_back(prefix + "tag." + it.key().toLower().toStdString(), value(it.value()));
  };
  const QJsonObject root = doc.object();
  std::string letters;
  int index = 0;
  for (const QJsonValue& sv : root.value("streams").toArray()) {
    const QJsonObject s = sv.toObject();
    const std::string type = s.value("codec_type").toString().toStdString();
    if (!letters.empty()) letters += ",";
    letters += type == "attachment" ? "t" : type.substr(0, 1);
    const std::string p = std::to_string(index++) + ".";
    const std::pair<const char*, const char*> keys[] = {
        {"codec", "codec_name"}, {"packets", "nb_read_packets"}, {"frames", "nb_read_frames"},
        {"start", "start_time"}, {"duration", "duration"},       {"width", "width"},
        {"height", "height"},    {"rate", "r_frame_rate"},   {"pix_fmt", "pix_fmt"},
        {"field_order", "field_order"}, {"layout", "channel_layout"}, {"sample_fmt", "sample_fmt"}};
    for (const auto& [key, field] : keys)
      if (s.contains(field)) facts.emplace_back(p + key, value(s.value(field)));
    facts.emplace_back(p + "default", value(s.value("disposition").toObject().value("default")));
    tags(p, s);
  }
  facts.emplace_back("streams", letters);
  // The packets of each video stream that carry a key frame, counted from 0 in file order.
  std::vector<std::string> keyPackets(static_cast<std::size_t>(index));
  std::vector<int> counts(static_cast<std::size_t>(index), 0);
  std::istringstream packets(engine_test::CommandOutput(
      engine_test::kFFprobe + " -v error -show_entries packet=stream_index,flags -of csv=p=0 " +
      engine_test::ShellQuote(path)));
  for (std::string line; std::getline(packets, line);) {
    const std::size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    const std::size_t stream = std::size_t(std::atoi(line.c_str()));
    if (stream >= keyPackets.size() || letters.size() <= 2 * stream || letters[2 * stream] != 'v') continue;
    if (line.find('K', comma) != std::string::npos)
      keyPackets[stream] += (keyPackets[stream].empty() ? "" : ",") + std::to_string(counts[stream]);
    counts[stream]++;
  }
  for (std::size_t i = 0; i < keyPackets.size(); i++)
    if (!keyPackets[i].empty()) facts.emplace_back(std::to_string(i) + ".keys", keyPackets[i]);
  const QJsonObject format = root.value("format").toObject();
  if (format.contains("start_time")) facts.emplace_back("format.start", value(format.value("start_time")));
  if (format.contains("duration")) facts.emplace_back("format.duration", value(format.value("duration")));
  tags("format.", format);
  const QJsonArray chapters = root.value("chapters").toArray();
  facts.emplace_back("chapters", std::to_string(chapters.size()));
  for (int i = 0; i < chapters.size(); i++) {
    const QJsonObject c = chapters[i].toObject();
    const std::string p = "ch" + std::to_string(i) + ".";
    facts.emplace_back(p + "start", value(c.value("start_time")));
    facts.emplace_back(p + "end", value(c.value("end_time")));
    tags(p, c);
  }
  return facts;
}

const std::string* Fact(const TFacts& facts, const std::string& key) {
  for (const auto& [k, v] : facts)
    if (k == key) return &v;
  return nullptr;
}

/// Checks "key=value; key=value~tolerance; key=" (the last: the key must be missing) against the
/// facts. Numbers compare within the tolerance (0 without one), everything else as text.
/// A key written "@key" (or "@key~tolerance") takes its expected value from reference, the probe of
/// what the FFmpeg program wrote on the same inputs and options.
void ExpectFacts(const TFacts& facts, const std::string& checks, const std::string& what,
                 const TFacts* reference = nullptr) {
  std::stringstream all;
  for (const auto& [k, v] : facts) all << k << "=" << v << "  ";
  std::size_t pos = 0;
  while (pos < checks.size()) {
    std::size_t end = checks.find(';', pos);
    if (end == std::string::npos) end = checks.size();
    std::string item = checks.substr(pos, end - pos);
    pos = end + 1;
    while (!item.empty() && item.front() == ' ') item.erase(0, 1);
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    ASSERT_NE(eq, std::string::npos) << item;
    std::string key = item.substr(0, eq);
    std::string expected = item.substr(eq + 1);
    if (key[0] == '@') {
      key.erase(0, 1);
      const std::string* reported = reference != nullptr ? Fact(*reference, key) : nullptr;
      ASSERT_NE(reported, nullptr) << what << ": the reference has no " << key;
      expected = *reported + expected;  // expected then holds "~tolerance" or nothing
    }
    double tolerance = 0;
    const std::size_t tilde = expected.find('~');
    if (tilde != std::string::npos) {
      tolerance = std::stod(expected.substr(tilde + 1));
      expected.resize(tilde);
    }
    const std::string* actual = Fact(facts, key);
    if (expected.empty()) {
      EXPECT_EQ(actual, nullptr) << what << ": " << key << " should be missing; probe: " << all.str();
      continue;
    }
    if (actual == nullptr) {
      ADD_FAILURE() << what << ": " << key << " missing; probe: " << all.str();
      continue;
    }
    char* numberEnd = nullptr;
    const double number = std::strtod(expected.c_str(), &numberEnd);
    char* actualEnd = nullptr;
    const double actualNumber = std::strtod(actual->c_str(), &actualEnd);
    if (*numberEnd == '\0' && !expected.empty() && *actualEnd == '\0' && !actual->empty())
      EXPECT_NEAR(actualNumber, number, tolerance + 1e-9) << what << ": " << key << "; probe: " << all.str();
    else
      EXPECT_EQ(*actual, expected) << what << ": " << key << "; probe: " << all.str();
  }
}

struct TParityCase {
  const char* Name;
  const char* Inputs;   // "M" main.mkv, "S" small.mkv, each with its options: "M|-ss 2 -t 3;S|"
  const char* Output;   // file name
  const char* Options;  // %SRT% and %ATT% stand for the subtitle and attachment files, %DIR% the folder
  const char* Checks;
  const char* FirstPass = "";      // run first with these output options to /dev/null ("-f null")
  const char* FailureText = "";    // the run (or the opening) must fail with a text containing it
  const char* SideFile = "";       // a file the run writes beside the output (%DIR% allowed)
  const char* SideFileHolds = "";  // text the side file must contain
};

std::ostream& operator<<(std::ostream& os, const TParityCase& c) { return os << c.Name; }

std::string Expand(std::string text) {
  const std::pair<std::string, std::string> vars[] = {{"%SRT%", Inputs().Subtitles},
                                                      {"%ATT%", Inputs().Attachment},
                                                      {"%DIR%", engine_test::TempDir()}};
  for (const auto& [name, value] : vars) {
    std::size_t at = 0;
    while ((at = text.find(name, at)) != std::string::npos) {
      text.replace(at, name.size(), value);
      at += value.size();
    }
  }
  return text;
}

/// The file of an input letter: "M" main.mkv, "S" small.mkv, and the shaped sources of the
/// fixtures (media_fixtures.h): "T" broadcast.ts, "P" phone.mp4, "K" family.mkv, "W" vfr.webm.
std::string InputFile(const std::string& letter) {
  if (letter == "S") return Inputs().Small;
  if (letter == "T") return fixtures::ShapedSources().BroadcastTs;
  if (letter == "P") return fixtures::ShapedSources().PhoneMp4;
  if (letter == "K") return fixtures::ShapedSources().FamilyMkv;
  if (letter == "W") return fixtures::ShapedSources().VfrWebm;
  return Inputs().Main;
}

/// The inputs of a case, "M|-ss 2;S|", as (file, options with the folder names expanded).
std::vector<std::pair<std::string, std::string>> InputItems(const std::string& inputs) {
  std::vector<std::pair<std::string, std::string>> items;
  for (const auto& [letter, options] : engine_test::InputLetters(inputs))
    items.emplace_back(InputFile(letter), Expand(options));
  return items;
}

/// The command line of Debian's ffmpeg program on the same inputs and options, its messages on
/// the standard output.
std::string ReferenceCommand(const std::string& inputs, const std::string& output, const std::string& options) {
  std::string command = engine_test::kFFmpeg + " -nostdin -v error -y";
  // Appended piece by piece: GCC 12 warns falsely about " " + a temporary string when optimising.
  for (const auto& [file, inOptions] : InputItems(inputs))
    command.append(" ").append(inOptions).append(" -i ").append(engine_test::ShellQuote(file));
  command.append(" ").append(Expand(options)).append(" ").append(engine_test::ShellQuote(output));
  command.append(" 2>&1");
  return command;
}

/// Runs Debian's ffmpeg program on the same inputs and options: the reference of the "@" checks.
bool RunReference(const std::string& inputs, const std::string& output, const std::string& options) {
  return std::system(ReferenceCommand(inputs, output, options).c_str()) == 0;
}

/// The lines the program writes on the same inputs and options, without the "[name @ 0x...] "
/// that names the library's context.
std::vector<std::string> ReferenceLines(const std::string& inputs, const std::string& output,
                                        const std::string& options) {
  std::vector<std::string> lines;
  std::istringstream text(engine_test::CommandOutput(ReferenceCommand(inputs, output, options)));
  for (std::string line; std::getline(text, line);) {
    if (line.rfind('[', 0) == 0 && line.find(" @ ") != std::string::npos && line.find("] ") != std::string::npos)
      line.erase(0, line.find("] ") + 2);
    lines.push_back(line);
  }
  return lines;
}

struct TRun {
  bool Finished = false;
  std::string Message;
};

TRun RunEngine(const std::string& inputs, const std::string& output, const std::string& options) {
  TRun run;
  media::TCustomFFmpeg engine;
  for (const auto& [file, inOptions] : InputItems(inputs)) {
    if (engine.OpenInput(file, inOptions) < 0) {
      run.Message = engine.LastErrMsg();
      return run;
    }
  }
  if (engine.OpenOutput(output, Expand(options)) < 0) {
    run.Message = engine.LastErrMsg();
    return run;
  }
  engine.StartConvert(false);
  run.Finished = engine.Finished();
  run.Message = engine.FatalMessage();
  return run;
}

class ParityTest : public ::testing::TestWithParam<TParityCase> {
 protected:
  void SetUp() override {
    engine_test::LoadLibraries();
    const bool vulkan = std::string(GetParam().Inputs).find("vulkan") != std::string::npos;
    if (vulkan) engine_test::KeepVulkanDriversLoaded();
  }
};

TEST_P(ParityTest, OutputHoldsWhatTheOptionsAskFor) {
  const TParityCase& c = GetParam();
  ASSERT_FALSE(Inputs().Main.empty());
  // A network output (RTP to the loopback address) is not a file to probe: its side file is.
  const bool network = std::string(c.Output).rfind("rtp://", 0) == 0;
  const std::string output = network ? c.Output : engine_test::TempPath(std::string("parity-") + c.Output);
  if (!network) std::remove(output.c_str());
  if (*c.FirstPass != '\0') {
    const TRun first = RunEngine(c.Inputs, "/dev/null", c.FirstPass);
    ASSERT_TRUE(first.Finished) << first.Message;
  }
  const TRun run = RunEngine(c.Inputs, output, c.Options);
  if (*c.FailureText != '\0') {
    EXPECT_FALSE(run.Finished);
    EXPECT_NE(run.Message.find(c.FailureText), std::string::npos) << run.Message;
    return;
  }
  ASSERT_TRUE(run.Finished) << run.Message;
  // The "@" checks compare with the FFmpeg program: skipped when it is not of the loaded version.
  const bool compares = std::string(c.Checks).find('@') != std::string::npos;
  const std::string mismatch = compares ? engine_test::ReferenceMismatch() : std::string();
  if (compares && mismatch.empty()) {
    const std::string reference = engine_test::TempPath(std::string("reference-") + c.Output);
    ASSERT_TRUE(RunReference(c.Inputs, reference, c.Options)) << "the FFmpeg program failed";
    const TFacts referenceFacts = ProbeFacts(reference);
    ExpectFacts(ProbeFacts(output), c.Checks, c.Name, &referenceFacts);
  } else if (!compares && !network) {
    ExpectFacts(ProbeFacts(output), c.Checks, c.Name);
  }
  if (*c.SideFile != '\0') {
    const std::string side = ReadText(Expand(c.SideFile));
    // Several texts are separated by '|'.
    const std::string holds = Expand(c.SideFileHolds);
    std::size_t pos = 0;
    while (pos <= holds.size()) {
      std::size_t end = holds.find('|', pos);
      if (end == std::string::npos) end = holds.size();
      EXPECT_NE(side.find(holds.substr(pos, end - pos)), std::string::npos) << holds.substr(pos, end - pos) << " in\n"
                                                                           << side;
      pos = end + 1;
    }
  }
  if (!mismatch.empty()) GTEST_SKIP() << mismatch;
}

// Derivations, with main.mkv as described at the top:
// - A copy cut from an input -ss S starts at the key frame at or before S (the demuxer seeks
//   there) and keeps packets whose time stamp is below S + t: "-ss 2 -t 3" keeps video frames
//   1.01 .. 4.97 = 100 packets; of the cues only the one at 3 s (the one at 1 s lies before the
//   key frame, the one at 5 s is not below 2 + 3).
// - An encoded cut keeps exactly t × 25 frames.
// - Chapters move by -ss (input or output) and +itsoffset; output -t clips them.
const TParityCase kParityCases[] = {
    {"RemuxCopyAll", "M|", "remux.mkv", "-map 0 -c copy",
     "streams=v,a,s; 0.packets=250; 1.packets=417; 2.packets=4; chapters=4; ch3.start=7.5; ch3.end=10; "
     "ch0.tag.title=One; format.tag.title=Parity Source; 0.tag.title=Picture; 1.tag.language=eng"},
    // MP4 keeps MPEG audio layer 2 under the MP3 object type (ffprobe names it mp3), and the
    // chapters become a text track.
    {"RemuxToMp4", "M|", "remux.mp4", "-map 0:v -map 0:a -c copy",
     "streams=v,a,d; 0.codec=mpeg4; 1.codec=mp3; 0.packets=250; 1.packets=417; format.duration=10.01~0.03"},
    {"InputCutCopy", "M|-ss 2 -t 3", "incut.mkv", "-map 0 -c copy",
     "streams=v,a,s; 0.packets=100; 2.packets=1; 1.packets=166~2; format.duration=4~0.1; chapters=4; "
     "ch0.start=0; ch0.end=0.5; ch1.start=0.5; ch1.end=3; ch3.start=5.5; ch3.end=8"},
    {"InputCutCopySubtitlesOnly", "M|-ss 2 -t 3", "incutsubs.mkv", "-map 0:s -c copy",
     // No video drives the seek's key frame: the cues at 3 s (1 s after the cut) ends the cut.
     "streams=s; 0.packets=1"},
    {"InputCutEncode", "M|-ss 2 -t 3", "incutenc.mkv", "-map 0:v -map 0:a -c:v mpeg4 -c:a mp2",
     "streams=v,a; 0.frames=75; 0.start=0~0.02; format.duration=3~0.05; chapters=4; ch1.start=0.5"},
    {"OutputCutCopy", "M|", "outcut.mkv", "-ss 2 -t 3 -map 0:v -map 0:s -c copy",
     // From the first key frame at or after 2 s (2.01) to below 5 s: frames 50..124.
     "streams=v,s; 0.packets=75; 1.packets=1; chapters=3; ch0.start=0; ch0.end=0.5; ch1.end=3"},
    {"OutputCutEncode", "M|", "outcutenc.mkv", "-ss 2 -t 3 -c:v mpeg4 -c:a mp2 -sn",
     "streams=v,a; 0.frames=75; format.duration=3~0.05"},
    {"OutputToEncode", "M|", "outto.mkv", "-to 4 -c:v mpeg4 -an -sn", "streams=v; 0.frames=100"},
    {"CopytsInputCutEncode", "M|-ss 2 -t 3", "copytsenc.mkv", "-copyts -map 0:v -map 0:a -c:v mpeg4 -c:a mp2",
     // The time stamps stay the input's: the cut begins at 2 s and lasts 3 s, so the file (whose
     // duration counts from 0) ends at 5 s. "-copyts" is global: among the output options too.
     "streams=v,a; 0.frames=75; 0.start=2~0.02; 1.start=2~0.02; format.duration=5~0.05"},
    {"CopytsFirstInputCutEncode", "M|-copyts -ss 2 -t 3", "copytsenc1.mkv", "-map 0:v -c:v mpeg4",
     "streams=v; 0.frames=75; 0.start=2~0.02"},
    {"CopytsInputCutCopy", "M|-ss 2 -t 3", "copytscopy.mkv", "-copyts -map 0 -c copy",
     // The original time stamps from the key frame at 1.01 to below 2 + 3 s: cue at 3 s only.
     "streams=v,a,s; 0.packets=100; 0.start=1.01; 2.packets=1"},
    {"StreamLoopEncode", "M|-stream_loop 1", "loopenc.mkv", "-map 0:v -map 0:a -c:v mpeg4 -c:a mp2",
     "streams=v,a; 0.frames=500; format.duration=20~0.1"},
    {"StreamLoopCopy", "M|-stream_loop 1", "loopcopy.mkv", "-map 0:v -map 0:a -c copy",
     "streams=v,a; 0.packets=500; 1.packets=834~1"},
    {"MapOrderAndIndex", "M|", "maporder.mkv", "-map 0:a:0 -map 0:v -c copy",
     "streams=a,v; 0.codec=mp2; 1.codec=mpeg4"},
    {"MapNegative", "M|", "mapneg.mkv", "-map 0 -map -0:s -c copy", "streams=v,a"},
    {"MapOptionalMissing", "M|", "mapopt.mkv", "-map 0:v -map 0:d? -c copy", "streams=v; 0.packets=250"},
    {"MapMissingFails", "M|", "mapmiss.mkv", "-map 0:d -c copy", "", "", "matches no streams"},
    {"DiscardedStreamNotMapped", "M|-discard:a all", "discard.mkv", "-map 0 -c copy",
     "streams=v,s; 0.packets=250"},
    {"DiscardedStreamAutomatic", "M|-discard:a all", "discardauto.mkv", "-c copy", "streams=v,s"},
    {"DiscardedStreamExplicitMapFails", "M|-discard:a all", "discardmap.mkv", "-map 0:a -c copy", "", "",
     "matches disabled streams"},
    {"MapMetadataOff", "M|", "nometa.mkv", "-map 0 -c copy -map_metadata -1",
     "streams=v,a,s; format.tag.title=; 0.tag.title=; 1.tag.language=; chapters=4; ch0.tag.title="},
    {"MapMetadataStreamToStream", "M|", "metas.mkv", "-map 0 -c copy -map_metadata:s:a 0:s:v",
     "1.tag.title=Picture; 1.tag.language=; format.tag.title=Parity Source"},
    {"MetadataSet", "M|", "metaset.mkv",
     "-map 0:v -c copy -metadata title=Other -metadata:s:v:0 title=Moving",
     "format.tag.title=Other; 0.tag.title=Moving"},
    {"MapChaptersOff", "M|", "nochap.mkv", "-map 0 -c copy -map_chapters -1", "chapters=0"},
    {"ItsOffsetCopy", "M|-itsoffset 1", "itsoff.mkv", "-map 0:v -c copy",
     "streams=v; 0.packets=250; 0.start=1.01; chapters=4; ch0.start=1; ch0.end=3.5; ch3.end=11"},
    {"TwoInputOverlay", "M|;S|", "overlay.mkv", "-filter_complex [0:v][1:v]overlay=10:10 -c:v mpeg4 -an -sn",
     // The overlay keeps the main picture's size and length; the second input's last picture stays.
     "streams=v; 0.width=160; 0.height=120; 0.frames=250"},
    {"TwoInputShortest", "M|;S|", "shortest.mkv", "-map 1:v -map 0:a -shortest -c:v mpeg4 -c:a mp2",
     "streams=v,a; 0.frames=100; format.duration=4~0.1"},
    // -shortest ends the padded audio where the copied video ends, and where the shorter of two
    // inputs ends when the other starts 2 s late.
    {"ShortestPaddedAudio", "P|", "shortpad.mp4", "-shortest -af apad -c:v copy -c:a aac",
     "streams=v,a; @0.packets=; @1.packets="},
    {"ShortestOffsetInput", "P|;P|-itsoffset 2", "shortoff.mp4", "-map 0:v -map 1:a -shortest -c:v copy -c:a aac",
     "streams=v,a; @0.packets=; @1.packets="},
    {"FramesLimit", "M|", "frames.mkv", "-frames:v 50 -c:v mpeg4 -an -sn", "streams=v; 0.frames=50"},
    {"FramesLimitCopy", "M|", "framescopy.mkv", "-frames:v 30 -map 0:v -c copy", "streams=v; 0.packets=30"},
    // The last source frame ends at 10.01 s: 101 frames at 10 fps.
    {"OutputRate", "M|", "rate.mkv", "-r 10 -c:v mpeg4 -an -sn", "streams=v; 0.frames=101; 0.rate=10/1"},
    {"OutputDurationCopy", "M|", "tcopy.mkv", "-t 3 -map 0:v -map 0:s -c copy",
     // Below 3 s: video frames 0.01 .. 2.97 and the cue at 1 s.
     "streams=v,s; 0.packets=75; 1.packets=1"},
    {"SseofCopy", "M|-sseof -3", "sseof.mkv", "-map 0:v -c copy",
     // 3 s before the end (7.01) is on the key frame at 7.01: frames 175..249.
     "streams=v; 0.packets=75"},
    {"TwoPass", "M|", "twopass.mkv", "-c:v mpeg4 -b:v 150k -pass 2 -passlogfile %DIR%/pass -an -sn",
     "streams=v; 0.frames=250", "-c:v mpeg4 -b:v 150k -pass 1 -passlogfile %DIR%/pass -an -sn -f null"},
    {"SubtitlesToSrt", "M|", "subs.srt", "-map 0:s -c:s srt", "streams=s; 0.packets=4"},
    {"SubtitlesBurnIn", "M|", "burn.mkv", "-vf subtitles=%SRT% -c:v mpeg4 -an -sn",
     "streams=v; 0.frames=250; 0.width=160"},
    {"AttachmentAdded", "M|", "attach.mkv",
     "-map 0:v -c copy -attach %ATT% -metadata:s:t mimetype=text/plain",
     "streams=v,t; 1.tag.filename=notes.txt; 1.tag.mimetype=text/plain"},
    {"VulkanHardwareFrames", "M|-init_hw_device vulkan=vk -filter_hw_device vk", "vulkan.mkv",
     "-vf format=yuv420p,hwupload,hflip_vulkan,hwdownload,format=yuv420p -c:v mpeg4 -an -sn",
     "streams=v; 0.frames=250; 0.width=160; 0.height=120"},
    // One statistics line per encoded frame: the first an I frame, the 250th the last.
    {"VstatsFile", "M|", "vstats.mkv", "-vstats_file %DIR%/vstats.log -c:v mpeg4 -an -sn",
     "streams=v; 0.frames=250", "", "", "%DIR%/vstats.log",
     "out=  0 st=  0 frame=     1 q=|type= I|out=  0 st=  0 frame=   250 q="},
    {"VstatsVersion1", "M|", "vstats1.mkv",
     "-vstats_file %DIR%/vstats1.log -vstats_version 1 -c:v mpeg4 -an -sn", "streams=v; 0.frames=250", "", "",
     "%DIR%/vstats1.log", "\nframe=   250 q="},
    // RTP to the loopback address: the session description names the MPEG-4 video on that port.
    {"SdpFile", "M|", "rtp://127.0.0.1:45678", "-map 0:v -c:v copy -f rtp -sdp_file %DIR%/session.sdp", "",
     "", "", "%DIR%/session.sdp", "SDP:\nv=0|m=video 45678 RTP/AVP 96|a=rtpmap:96 MP4V-ES/90000"},
    // Sources shaped like real files ("@" checks compare with what the FFmpeg program writes):
    // an input -t counts from the seek point whatever the file's own start time.
    {"BroadcastInputCutCopy", "T|-ss 1 -t 1.5", "tscut.ts", "-map 0 -c copy",
     "streams=v,a; @0.packets=; @1.packets=; @format.duration=~0.05"},
    {"BroadcastCopytsStartAtZeroCut", "T|-copyts -start_at_zero -t 2", "tszero.mkv", "-map 0 -c copy",
     "streams=v,a; @0.packets=; @1.packets=; @0.start=~0.01"},
    {"PhoneInputCutVideoCopy", "P|-t 3", "phonecut.mp4", "-c:v copy -c:a aac",
     "streams=v,a; @0.packets=; @1.packets=~1; @0.duration=~0.05; 0.duration=3~0.1"},
    // -isync: phone.mp4 (first stamp 1.478 s, its audio) keeps the clock of broadcast.ts (1.394667
    // s), so its picture from 1.5 s begins 0.105 s into the file and its audio 0.083 s, where
    // each input alone would begin at 0. Synced the other way round the broadcast moves back by as
    // much, and the muxer's shift to 0 gives the same file.
    {"SyncPhoneToBroadcastCopy", "T|;P|-isync 0", "synccopy.mkv", "-map 0 -map 1 -c copy",
     "streams=v,a,v,a; 1.start=0; 2.start=0.105; 3.start=0.083; @0.start=; @2.start=; @3.start=; "
     "@2.packets=; @3.packets="},
    {"SyncBroadcastToPhoneCopy", "T|-isync 1;P|", "syncback.mkv", "-map 0 -map 1 -c copy",
     "streams=v,a,v,a; 1.start=0; 2.start=0.105; 3.start=0.083; @0.start=; @2.start=; @3.start="},
    {"SyncCopytsStartAtZeroCopy", "T|-copyts -start_at_zero;P|-isync 0", "synczero.mkv",
     "-map 0 -map 1 -c copy",
     "streams=v,a,v,a; 2.start=0.105; 3.start=0.083; @0.start=; @1.start=; @2.start=; @3.start="},
    // A reference that is synced itself syncs nothing: each input begins at 0.
    {"SyncToASyncedInputIgnored", "T|-isync 1;P|-isync 0", "syncchain.mkv", "-map 0 -map 1 -c copy",
     "streams=v,a,v,a; 3.start=0; @2.start=; @3.start="},
    // The reference's -ss moves the target's stamps with it: the phone begins 0.916667 s earlier
    // than the cut broadcast, so the broadcast's streams come after the phone's.
    {"SyncReferenceSoughtCopy", "T|-ss 1;P|-isync 0", "syncss.mkv", "-map 0 -map 1 -c copy",
     "streams=v,a,v,a; 3.start=0; @0.start=; @1.start=; @2.start=; @0.packets=; @2.packets="},
    // The target's -ss moves its seek point, not its clock: the pictures before the cut now lie
    // after 0 and the accurate seek keeps them.
    {"SyncTargetSoughtEncode", "T|;P|-isync 0 -ss 1", "synctss.mkv", "-map 0:v -map 1:v -c:v mpeg4",
     "streams=v,v; @0.start=; @1.start=~0.001; @1.frames="},
    {"SyncOverlayEncode", "T|;P|-isync 0", "syncoverlay.mkv",
     "-filter_complex [0:v][1:v]overlay -map 1:a -c:v mpeg4 -c:a aac",
     "streams=v,a; @0.start=; @1.start=~0.001; @0.frames=; @1.frames=~1"},
    // Two audio tracks with their languages, subtitles and chapters; a variable frame rate.
    {"FamilyRemuxAll", "K|", "family.mkv", "-map 0 -c copy",
     "streams=v,a,a,s; 0.packets=100; 1.tag.language=eng; 2.tag.language=fra; 3.tag.language=eng; "
     "3.packets=4; 1.default=1; @2.default=; chapters=2; ch1.start=2; ch1.tag.title=End"},
    {"FamilyFrenchByLanguage", "K|", "french.mkv", "-map 0:v -map 0:m:language:fra -c copy",
     "streams=v,a; 1.codec=ac3; 1.tag.language=fra; @1.packets="},
    {"FamilyCutCopy", "K|-ss 1 -t 2", "familycut.mkv", "-map 0 -c copy",
     "streams=v,a,a,s; @0.packets=; @1.packets=~1; @2.packets=~1; @3.packets=; chapters=2; @ch0.end=~0.01"},
    {"FamilyToMp4RefusesSubRip", "K|", "family.mp4", "-map 0 -c copy", "", "",
     "Could not find tag for codec subrip in stream #3"},
    {"FamilyToMp4WithSubtitlesConverted", "K|", "familytx.mp4", "-map 0 -c copy -c:s mov_text",
     // The chapters become a text track of their own.
     "streams=v,a,a,s,d; 3.codec=mov_text; @3.packets=; @2.tag.language="},
    {"VfrCopy", "W|", "vfrcopy.mkv", "-c copy", "streams=v,a; 0.packets=60; @format.duration=~0.01"},
    {"VfrToConstantRate", "W|", "vfrcfr.mp4", "-c:v libx264 -an", "streams=v; @0.frames=; @0.rate="},
    {"VfrPassthrough", "W|", "vfrpass.mkv", "-fps_mode passthrough -c:v mpeg4 -an",
     "streams=v; 0.frames=60; @0.frames="},
    // An input -to stops at that time of the input: from -ss 1 to 3 s, 2 s of 30 fps pictures.
    {"PhoneInputTo", "P|-ss 1 -to 3", "phoneto.mkv", "-c:v mpeg4 -an",
     "streams=v; 0.frames=60; @format.duration=~0.05"},
    {"InputToCopy", "M|-to 4", "intocopy.mkv", "-map 0:v -c copy", "streams=v; 0.packets=100; @0.packets="},
    {"InputToBeforeSeekRefused", "P|-ss 3 -to 2", "phoneto2.mkv", "-c:v mpeg4", "", "",
     "-to value smaller than -ss; aborting."},
    // Options of the FFmpeg 5.1 program: -ch_layout down-mixes as -ac does, -fps_mode is -vsync
    // of one stream, -fpsmax caps the rate, -noautoscale leaves the size to the graph, -bitexact
    // writes no version numbers.
    {"ChLayoutDownmix", "T|", "chlayout.mkv", "-ch_layout stereo -c:a aac -vn",
     "streams=a; 0.layout=stereo; @0.frames=~1"},
    {"OldChannelsSpelling", "T|", "ac2.mkv", "-ac 2 -c:a aac -vn", "streams=a; 0.layout=stereo"},
    {"FpsModeCfr", "T|", "fpscfr.mkv", "-fps_mode cfr -r 10 -c:v mpeg4 -an", "streams=v; @0.frames="},
    // With -copyts the phone's pictures begin at 1.5 s: constant rate fills the time before with
    // copies of the first, 45 at 30 fps.
    {"FpsModeOneStream", "P|-copyts", "fpsone.mkv", "-fps_mode:v:0 cfr -c:v mpeg4 -an",
     "streams=v; 0.frames=165; @0.frames="},
    {"FpsModeUnknownRefused", "T|", "fpsbad.mkv", "-fps_mode sometimes -c:v mpeg4 -an", "", "",
     "Invalid value sometimes specified for fps_mode of #0:0."},
    {"FpsMax", "T|", "fpsmax.mkv", "-fpsmax 10 -c:v mpeg4 -an", "streams=v; 0.rate=10/1; @0.frames="},
    {"FpsMaxWithRateRefused", "T|", "fpsmaxr.mkv", "-fpsmax 10 -r 5 -c:v mpeg4 -an", "", "",
     "Only one of -fpsmax and -r can be set for a stream."},
    {"NoAutoscale", "T|", "noscale.mkv", "-noautoscale -s 80x60 -c:v mpeg4 -an", "streams=v; 0.width=192"},
    // -autoscale takes a value; without a stream specifier it holds for every video stream.
    {"AutoscaleOffEveryVideoStream", "T|", "autoscale0.mkv", "-map 0:v -map 0:v -autoscale 0 -s 80x60 -c:v mpeg4",
     "streams=v,v; 0.width=192; 1.width=192; @0.width=; @1.width="},
    {"AutoscaleOffOneStream", "T|", "autoscalev1.mkv", "-map 0:v -map 0:v -autoscale:v:1 0 -s 80x60 -c:v mpeg4",
     "streams=v,v; 0.width=80; 1.width=192; @0.width=; @1.width="},
    {"AutoscaleOn", "T|", "autoscale1.mkv", "-autoscale 1 -s 80x60 -c:v mpeg4 -an",
     "streams=v; 0.width=80; @0.width="},
    {"Bitexact", "T|", "bitexact.mkv", "-bitexact -c:v mpeg4 -an",
     "streams=v; 0.tag.encoder=Lavc mpeg4; format.tag.encoder=Lavf"},
    // "t" of a -force_key_frames expression counts from the first output frame (the phone's
    // first picture is at 1/30 s): key frames at 1, 2 and 3 s after it, and none added at the end.
    {"ForceKeyFramesExpression", "P|", "kfexpr.mkv",
     "-force_key_frames \"expr:gte(t,n_forced*1)\" -c:v mpeg4 -g 1000 -sc_threshold 1000000000 -an",
     "streams=v; 0.keys=0,30,60,90; @0.keys="},
    // The times of a -force_key_frames list are output time stamps, not times since the first
    // frame: the phone's pictures start at 1/30 s (1.5 s with -copyts), broadcast.ts's at 0
    // (1.4 s with -copyts), so with -copyts the list's 1 s lies before the first picture.
    {"ForceKeyFramesList", "P|", "kflist.mkv",
     "-force_key_frames 1,2,3 -c:v mpeg4 -g 1000 -sc_threshold 1000000000 -an",
     "streams=v; 0.keys=0,29,59,89; @0.keys="},
    {"ForceKeyFramesListCopyts", "P|-copyts", "kflistc.mkv",
     "-force_key_frames 1,2,3 -c:v mpeg4 -g 1000 -sc_threshold 1000000000 -an",
     "streams=v; 0.keys=0,15,45; @0.keys="},
    {"ForceKeyFramesListTs", "T|", "kflistt.mkv",
     "-force_key_frames 1,2,3 -c:v mpeg4 -g 1000 -sc_threshold 1000000000 -an",
     "streams=v; 0.keys=0,25,50,75; @0.keys="},
    {"ForceKeyFramesListTsCopyts", "T|-copyts", "kflisttc.mkv",
     "-force_key_frames 1,2,3 -c:v mpeg4 -g 1000 -sc_threshold 1000000000 -an",
     "streams=v; 0.keys=0,15,40; @0.keys="},
    // -fs stops when the file reaches the size, with no frame still being encoded.
    {"FileSizeLimit", "M|", "fs.mkv", "-fs 100000 -c:v mpeg4 -an -sn", "streams=v; @0.packets="},
    // Numbers take FFmpeg's SI and binary suffixes: 100k is the 100000 bytes above, 0.1k frames are 100.
    {"FileSizeLimitSuffixed", "M|", "fsk.mkv", "-fs 100k -c:v mpeg4 -an -sn", "streams=v; @0.packets="},
    {"FramesLimitSuffixed", "M|", "framesk.mkv", "-frames:v 0.1k -c:v mpeg4 -an -sn",
     "streams=v; 0.frames=100; @0.frames="},
    {"FramesLimitBinarySuffix", "M|-stream_loop 4", "framesKi.mkv", "-frames:v 1Ki -map 0:v -c copy",
     "streams=v; 0.packets=1024; @0.packets="},
    {"FileSizeLimitTwoStreams", "T|", "fs2.mkv", "-fs 150000 -c:v mpeg4 -c:a mp2",
     "streams=v,a; @0.packets=~1; @1.packets=~2"},
    // The field order of the first picture is in the container's header.
    {"InterlacedToFfv1KeepsTheFieldOrder", "T|", "ffv1.mkv", "-c:v ffv1 -an",
     "streams=v; 0.field_order=tb; @0.field_order="},
    {"ProgressiveMpeg4", "M|-t 1", "prog.mkv", "-c:v mpeg4 -an -sn", "streams=v; 0.field_order=progressive"},
    {"ProgressiveVp9", "M|-t 1", "prog.webm", "-c:v libvpx-vp9 -an -sn",
     "streams=v; 0.field_order=progressive"},
    // A sample format the encoder cannot take is refused, not replaced.
    {"ImpossibleSampleFormatRefused", "T|", "s32.wav", "-vn -c:a pcm_s16le -sample_fmt s32", "", "",
     "Specified sample format s32 is invalid or not supported"},
    {"PossibleSampleFormatKept", "T|", "s32ok.wav", "-vn -c:a pcm_s32le -sample_fmt s32",
     "streams=a; 0.sample_fmt=s32"},
    // A stream from a graph with several inputs, or none, has no source to take a disposition from.
    {"OverlayHasNoDisposition", "M|;S|", "overlaydisp.mkv",
     "-filter_complex [0:v][1:v]overlay -c:v mpeg4 -an -sn", "streams=v; 0.default=0; @0.default="},
    // Nor from a graph with one input: the family's English track is marked default, a simple
    // graph keeps the mark, a complex one does not.
    {"OneInputGraphHasNoDisposition", "K|", "splitdisp.mkv",
     "-filter_complex \"[0:a:0]asplit[a][b];[a][b]amix[o]\" -map 0:v -map \"[o]\" -c:v mpeg4 -c:a mp2",
     "streams=v,a; 1.default=0; @0.default=; @1.default="},
    {"SimpleGraphKeepsTheDisposition", "K|", "afdisp.mkv", "-af volume=0.5 -map 0:v -map 0:a:0 -c:v mpeg4 -c:a mp2",
     "streams=v,a; 1.default=1; @0.default=; @1.default="},
    {"GeneratedHasNoDisposition", "S|", "gendisp.mkv", "-filter_complex sine=d=1 -c:a mp2 -vn",
     "streams=a; 0.default=0; @0.default="},
    // MJPEG at the default strictness takes the full-range formats: thumbnails, image sequences.
    {"ThumbnailJpeg", "M|-ss 4", "thumb.jpg", "-frames:v 1", "streams=v; 0.codec=mjpeg; 0.pix_fmt=yuvj420p"},
    {"ImageSequenceJpeg", "M|", "th%03d.jpg", "-vf fps=1 -q:v 3",
     "streams=v; 0.codec=mjpeg; 0.pix_fmt=yuvj420p; @0.packets="},
    {"MjpegInAvi", "M|", "mjpeg.avi", "-c:v mjpeg -an -sn", "streams=v; 0.pix_fmt=yuvj420p; 0.frames=250"},
    {"MjpegUnofficialKeepsLimitedRange", "M|", "mjpegu.avi", "-c:v mjpeg -strict unofficial -an -sn",
     "streams=v; 0.pix_fmt=yuv420p; 0.frames=250"},
    // A failure reports its cause, the library's line, not where the engine noticed it.
    {"SubtitlesCopiedIntoMp4FailWithTheirCause", "M|", "srtcopy.mp4", "-map 0 -c copy", "", "",
     "Could not find tag for codec subrip in stream #2"},
    {"UnknownFilterFailsWithItsName", "M|", "nofilter.mkv", "-vf nosuchfilter -an -sn", "", "",
     "No such filter: 'nosuchfilter'"},
    // Of several lines of one filter the first names the cause.
    {"CropTooLargeFailsWithTheFiltersReason", "M|", "crop.mkv", "-vf crop=1000:1000 -an -sn", "", "",
     "Error while processing the decoded data for stream #0:0\n"
     "Invalid too big or non positive size for width '1000'"},
    {"ProgressFile", "M|", "progress.mkv", "-progress %DIR%/progress.txt -map 0:v -c copy",
     "streams=v; 0.packets=250", "", "", "%DIR%/progress.txt", "progress=end"},
};

INSTANTIATE_TEST_SUITE_P(PowerUser, ParityTest, ::testing::ValuesIn(kParityCases),
                         [](const ::testing::TestParamInfo<TParityCase>& info) { return info.param.Name; });

}  // namespace

namespace {

// The last lines of a failed run are the program's: the engine's message holds the program's
// final line, and no line of its own (a bare "Invalid argument", an empty line) besides.
struct TFinalLinesCase {
  const char* Name;
  const char* Inputs;
  const char* Output;
  const char* Options;
  const char* FinalLine;  // the program's line the message must hold
};

std::ostream& operator<<(std::ostream& os, const TFinalLinesCase& c) { return os << c.Name; }

class FinalLinesTest : public ::testing::TestWithParam<TFinalLinesCase> {
 protected:
  void SetUp() override { engine_test::LoadLibraries(); }
};

TEST_P(FinalLinesTest, AreTheProgramsLines) {
  const TFinalLinesCase& c = GetParam();
  const std::string mismatch = engine_test::ReferenceMismatch();
  if (!mismatch.empty()) GTEST_SKIP() << mismatch;
  const std::vector<std::string> reference =
      ReferenceLines(c.Inputs, engine_test::TempPath(std::string("reference-") + c.Output), c.Options);
  std::string all;
  for (const std::string& line : reference) all += line + "\n";
  ASSERT_NE(std::find(reference.begin(), reference.end(), c.FinalLine), reference.end()) << all;
  const TRun run = RunEngine(c.Inputs, engine_test::TempPath(std::string("final-") + c.Output), c.Options);
  ASSERT_FALSE(run.Finished);
  std::istringstream message(run.Message);
  bool holdsFinal = false;
  for (std::string line; std::getline(message, line);) {
    holdsFinal = holdsFinal || line == c.FinalLine;
    EXPECT_FALSE(line.empty()) << run.Message;
    EXPECT_NE(std::find(reference.begin(), reference.end(), line), reference.end())
        << "\"" << line << "\" is no line of the program's:\n" << all << "the engine:\n" << run.Message;
  }
  EXPECT_TRUE(holdsFinal) << run.Message;
}

const TFinalLinesCase kFinalLinesCases[] = {
    {"HeaderNotWritten", "M|", "header.mp4", "-map 0 -c copy",
     "Could not write header for output file #0 (incorrect codec parameters ?): Invalid argument"},
    {"FilterFails", "M|", "crop.mkv", "-vf crop=1000:1000 -an -sn",
     "Error while processing the decoded data for stream #0:0"},
};

INSTANTIATE_TEST_SUITE_P(Failures, FinalLinesTest, ::testing::ValuesIn(kFinalLinesCases),
                         [](const ::testing::TestParamInfo<TFinalLinesCase>& info) { return info.param.Name; });

/// The keys of the last block of a "-progress" file, in order, and the value of each.
std::vector<std::pair<std::string, std::string>> LastProgressBlock(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> block;
  std::istringstream text(ReadText(path));
  bool ended = false;
  for (std::string line; std::getline(text, line);) {
    if (ended) block.clear();
    const std::size_t eq = line.find('=');
    block.emplace_back(line.substr(0, eq), eq == std::string::npos ? std::string() : line.substr(eq + 1));
    ended = line.rfind("progress=", 0) == 0;
  }
  return block;
}

// A script written for the program reads the engine's "-progress" blocks: the same keys in the
// same order, fps with two decimals.
TEST(ProgressFile, HoldsTheProgramsKeys) {
  engine_test::LoadLibraries();
  const std::string mismatch = engine_test::ReferenceMismatch();
  if (!mismatch.empty()) GTEST_SKIP() << mismatch;
  for (const char* streams : {"-c:v mpeg4 -c:a mp2 -sn", "-vn -c:a mp2 -sn"}) {
    const std::string engineFile = engine_test::TempPath("engine-progress.txt");
    const std::string programFile = engine_test::TempPath("program-progress.txt");
    const std::string options = std::string(streams) + " -progress ";
    const TRun run = RunEngine("M|-t 2", engine_test::TempPath("progress-engine.mkv"), options + engineFile);
    ASSERT_TRUE(run.Finished) << run.Message;
    ASSERT_TRUE(RunReference("M|-t 2", engine_test::TempPath("progress-program.mkv"), options + programFile));
    const auto engine = LastProgressBlock(engineFile);
    const auto program = LastProgressBlock(programFile);
    std::string engineKeys, programKeys;
    for (const auto& [key, value] : engine) engineKeys += key + " ";
    for (const auto& [key, value] : program) programKeys += key + " ";
    EXPECT_EQ(engineKeys, programKeys) << streams;
    auto value = [](const std::vector<std::pair<std::string, std::string>>& block, const std::string& key) {
      for (const auto& [k, v] : block)
        if (k == key) return v;
      return std::string("(none)");
    };
    EXPECT_EQ(value(engine, "out_time_us"), value(program, "out_time_us")) << streams;
    if (value(program, "fps") != "(none)") {
      EXPECT_TRUE(std::regex_match(value(engine, "fps"), std::regex(R"(\d+\.\d\d)"))) << value(engine, "fps");
    }
  }
}

// No file the engine writes may be one of its inputs, whatever writes it (the muxer, a tee slave,
// an image sequence, a side file) and however the input is named (through "file:", "concat:",
// "cache:", "async:"): the conversion is refused and the source stays as it was. The program
// refuses some of these too (the rows that say so), and is run on a copy of its own to show it.
struct TSourceCase {
  const char* Name;
  const char* Source;        // the source's file name (a copy of main.mkv)
  const char* Input;         // the input as named to the engine; %SRC% is the source's path
  const char* Output;        // the output; %SRC% and %DIR% as above
  const char* Options;       // %SRC% and %DIR% as above
  bool ProgramRefuses = false;
};

std::ostream& operator<<(std::ostream& os, const TSourceCase& c) { return os << c.Name; }

class SourceKeptTest : public ::testing::TestWithParam<TSourceCase> {
 protected:
  void SetUp() override { engine_test::LoadLibraries(); }
};

std::string WithSource(std::string text, const std::string& source) {
  std::size_t at = 0;
  while ((at = text.find("%SRC%", at)) != std::string::npos) {
    text.replace(at, 5, source);
    at += source.size();
  }
  return Expand(text);
}

TEST_P(SourceKeptTest, ConversionOntoAnInputIsRefused) {
  const TSourceCase& c = GetParam();
  ASSERT_FALSE(Inputs().Main.empty());
  const std::string folder = engine_test::TempPath(std::string("source-") + c.Name);
  std::filesystem::create_directories(folder);
  const std::string source = folder + "/" + c.Source;
  std::filesystem::copy_file(Inputs().Main, source, std::filesystem::copy_options::overwrite_existing);
  const std::string original = ReadText(Inputs().Main);
  {
    media::TCustomFFmpeg engine;
    bool opened = engine.OpenInput(WithSource(c.Input, source), "") >= 0;
    opened = opened && engine.OpenOutput(WithSource(c.Output, source), WithSource(c.Options, source)) >= 0;
    if (opened) engine.StartConvert(false);
    EXPECT_FALSE(opened && engine.Finished());
    const std::string message = opened ? engine.FatalMessage() : engine.LastErrMsg();
    EXPECT_NE(message.find("is input #0: a file cannot be converted onto itself."), std::string::npos) << message;
  }
  EXPECT_TRUE(ReadText(source) == original) << "the source was written";
  if (!c.ProgramRefuses) return;
  const std::string mismatch = engine_test::ReferenceMismatch();
  if (!mismatch.empty()) GTEST_SKIP() << mismatch;
  std::filesystem::copy_file(Inputs().Main, source, std::filesystem::copy_options::overwrite_existing);
  const std::string command = engine_test::kFFmpeg + " -nostdin -v error -y -i " +
                              engine_test::ShellQuote(WithSource(c.Input, source)) + " " +
                              WithSource(c.Options, source) + " " +
                              engine_test::ShellQuote(WithSource(c.Output, source)) + " >/dev/null 2>&1";
  EXPECT_NE(std::system(command.c_str()), 0) << command;
  EXPECT_TRUE(ReadText(source) == original) << "the program wrote the source";
}

const TSourceCase kSourceCases[] = {
    {"SameName", "src.mkv", "%SRC%", "%SRC%", "-c copy", true},
    {"FileProtocolInput", "src.mkv", "file:%SRC%", "%SRC%", "-c copy"},
    {"ConcatInput", "src.mkv", "concat:%SRC%", "%SRC%", "-c:v mpeg4 -an -sn"},
    {"CacheInput", "src.mkv", "cache:%SRC%", "%SRC%", "-c copy"},
    {"AsyncInput", "src.mkv", "async:%SRC%", "%SRC%", "-c copy"},
    {"TeeOutput", "src.mkv", "%SRC%", "%SRC%", "-f tee -map 0:v -c:v mpeg4"},
    {"TeeSecondSlave", "src.mkv", "%SRC%", "[f=nut]%DIR%/other.nut|[f=matroska]%SRC%", "-f tee -map 0:v -c:v mpeg4"},
    {"ImageUpdated", "src.mkv", "%SRC%", "%SRC%", "-f image2 -update 1 -map 0:v", true},
    {"ImageSequence", "img7.mkv", "%SRC%", "%DIR%/source-ImageSequence/img%d.mkv", "-f image2 -map 0:v -c:v mjpeg"},
    {"ProgressFile", "src.mkv", "%SRC%", "%DIR%/progress-out.mkv", "-progress %SRC% -c copy"},
    {"VstatsFile", "src.mkv", "%SRC%", "%DIR%/vstats-out.mkv", "-vstats_file %SRC% -map 0:v -c:v mpeg4"},
    {"PassLogFile", "pass-0.log", "%SRC%", "%DIR%/pass-out.mkv",
     "-pass 1 -passlogfile %DIR%/source-PassLogFile/pass -map 0:v -c:v mpeg4"},
    {"SdpFile", "src.mkv", "%SRC%", "rtp://127.0.0.1:45680", "-map 0:v -c:v copy -f rtp -sdp_file %SRC%"},
};

INSTANTIATE_TEST_SUITE_P(Sources, SourceKeptTest, ::testing::ValuesIn(kSourceCases),
                         [](const ::testing::TestParamInfo<TSourceCase>& info) { return info.param.Name; });

// "-debug_ts" logs the time stamps of every stage a packet or frame passes, as FFmpeg's tool does.
TEST(DebugTs, EveryStageLogsItsTimeStamps) {
  engine_test::LoadLibraries();
  std::string text;
  TRun run;
  {
    engine_test::TLogCapture log(media::TLogLevel::llInfo);
    run = RunEngine("M|-t 0.2", engine_test::TempPath("debugts.mkv"), "-debug_ts -c:v mpeg4 -c:a mp2 -sn");
    text = log.Text();
  }
  ASSERT_TRUE(run.Finished) << run.Message;
  for (const char* stage :
       {"demuxer -> ist_index:0 type:video next_dts:", "demuxer+ffencoder -> ist_index:1 type:audio pkt_pts:",
        "decoder -> ist_index:0 type:video frame_pts:", "filter -> pts:", "encoder <- type:video frame_pts:",
        "encoder -> type:video pkt_pts:", "encoder <- type:audio frame_pts:", "encoder -> type:audio pkt_pts:",
        "muxer <- type:video pkt_pts:", "muxer <- type:audio pkt_pts:"})
    EXPECT_NE(text.find(stage), std::string::npos) << stage;
}

}  // namespace
