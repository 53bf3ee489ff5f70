// Runs that lose data or are refused: each ends failed with its own reason instead of being
// reported as finished (or as a bare "Invalid argument").

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine_test_support.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

/// An H.264 clip in MP4 (50 frames, written by Debian's ffmpeg) whose 21st sample starts with a
/// NAL unit length far beyond the sample: the demuxer reads it fine, the MP4-to-Annex-B
/// bitstream filter refuses that one packet.
const std::string& DamagedH264() {
  static const std::string path = [] {
    const std::string good = engine_test::TempPath("h264.mp4");
    const std::string bad = engine_test::TempPath("h264-damaged.mp4");
    const std::string make =
        engine_test::kFFmpeg +
        " -nostdin -v error -y -f lavfi -i testsrc2=s=160x120:r=25:d=2 -c:v libx264 -g 10 " +
        engine_test::ShellQuote(good);
    EXPECT_EQ(std::system(make.c_str()), 0);
    std::FILE* pipe =
        ::popen((engine_test::kFFprobe + " -v error -select_streams v -show_entries packet=pos -of csv=p=0 " +
                 engine_test::ShellQuote(good))
                    .c_str(),
                "r");
    std::vector<long> positions;
    long pos = 0;
    while (pipe != nullptr && std::fscanf(pipe, "%ld", &pos) == 1) positions.push_back(pos);
    if (pipe != nullptr) ::pclose(pipe);
    EXPECT_EQ(positions.size(), 50u);
    std::string data = ReadFile(good);
    if (positions.size() > 20 && std::size_t(positions[20]) + 4 <= data.size())
      data.replace(std::size_t(positions[20]), 4, std::string("\xff\xff\xff\x00", 4));
    std::ofstream(bad, std::ios::binary) << data;
    return bad;
  }();
  return path;
}

/// main.mkv-like clip with an attachment "notes.txt" (written by Debian's ffmpeg).
const std::string& WithAttachment() {
  static const std::string path = [] {
    const std::string notes = engine_test::TempPath("notes.txt");
    std::ofstream(notes) << "attached notes\n";
    const std::string out = engine_test::TempPath("attached.mkv");
    const std::string make =
        engine_test::kFFmpeg +
        " -nostdin -v error -y -f lavfi -i testsrc2=s=160x120:r=25:d=1 -c:v mpeg4 -attach " +
        engine_test::ShellQuote(notes) + " -metadata:s:t mimetype=text/plain " + engine_test::ShellQuote(out);
    EXPECT_EQ(std::system(make.c_str()), 0);
    return out;
  }();
  return path;
}

int CountPackets(const std::string& path) {
  std::FILE* pipe = ::popen(
      (engine_test::kFFprobe + " -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 " +
       engine_test::ShellQuote(path))
          .c_str(),
      "r");
  int n = -1;
  if (pipe != nullptr) {
    if (std::fscanf(pipe, "%d", &n) != 1) n = -1;
    ::pclose(pipe);
  }
  return n;
}

struct TLossCase {
  const char* Name;
  int Input;  // 0 the damaged H.264 clip, 1 the source clip, 2 the clip with an attachment
  const char* InputOptions;
  const char* Output;
  const char* Options;
  bool Opens;             // the opening succeeds (the run fails), else the opening fails
  const char* Reason;     // the failure's text holds this
  int PacketsWritten;     // -1: not checked
};

std::ostream& operator<<(std::ostream& os, const TLossCase& c) { return os << c.Name; }

class LossTest : public ::testing::TestWithParam<TLossCase> {
 protected:
  void SetUp() override { engine_test::LoadLibraries(); }
};

TEST_P(LossTest, EndsFailedWithItsReason) {
  const TLossCase& c = GetParam();
  const std::string input =
      c.Input == 0 ? DamagedH264() : c.Input == 1 ? engine_test::SourceClip() : WithAttachment();
  const std::string output = engine_test::TempPath(c.Output);
  const engine_test::TConvertResult r = engine_test::Convert(input, output, c.Options, c.InputOptions);
  EXPECT_EQ(r.Opened, c.Opens) << r.Message;
  EXPECT_FALSE(r.Finished);
  EXPECT_NE(r.Message.find(c.Reason), std::string::npos) << r.Message;
  EXPECT_EQ(r.Message.find("Invalid argument"), std::string::npos) << r.Message;
  if (c.PacketsWritten >= 0) {
    EXPECT_EQ(CountPackets(output), c.PacketsWritten);
  }
}

const TLossCase kLossCases[] = {
    // FFmpeg's tool drops the packet and goes on; the file is complete but for that packet.
    {"BitstreamFilterErrorCounted", 0, "", "bsf.ts", "-c copy -bsf:v h264_mp4toannexb", true,
     "1 packets or frames were lost: Error applying bitstream filters to an output packet for stream #0:0.",
     49},
    {"BitstreamFilterErrorWithXerror", 0, "", "bsfx.ts", "-xerror -c copy -bsf:v h264_mp4toannexb", true,
     "Error applying bitstream filters to an output packet for stream #0:0.", -1},
    {"CopyWithVolumeRefused", 1, "", "vol.mkv", "-map 0:a -c:a copy -vol 100", true,
     "-acodec/-c:audio copy and -vol are incompatible (frames are not decoded)", -1},
    {"AttachmentDumpUnwritable", 2, "-dump_attachment:t /nonexistent-folder/notes.txt", "dump.mkv", "-c copy",
     false, "Could not open file /nonexistent-folder/notes.txt for writing", -1},
};

INSTANTIATE_TEST_SUITE_P(Runs, LossTest, ::testing::ValuesIn(kLossCases),
                         [](const ::testing::TestParamInfo<TLossCase>& info) { return info.param.Name; });

// The decoder's lines about the damaged packet are of a step that went on: the failure to write
// the file at the end (a full disk) does not name them as its cause.
TEST(LibraryErrorCause, AToleratedDecodeErrorIsNotTheCauseOfALaterFailure) {
  engine_test::LoadLibraries();
  const engine_test::TConvertResult r =
      engine_test::Convert(DamagedH264(), "/dev/full", "-c:v mpeg4 -f matroska");
  EXPECT_TRUE(r.Opened) << r.Message;
  EXPECT_FALSE(r.Finished);
  EXPECT_NE(r.Message.find("failed to be written trailer"), std::string::npos) << r.Message;
  EXPECT_EQ(r.Message.find("NAL unit"), std::string::npos) << r.Message;
}

TEST(AttachmentDump, WritesTheAttachedFile) {
  engine_test::LoadLibraries();
  const std::string target = engine_test::TempPath("dumped-notes.txt");
  std::remove(target.c_str());
  const engine_test::TConvertResult r = engine_test::Convert(
      WithAttachment(), engine_test::TempPath("dumpok.mkv"), "-c copy", "-dump_attachment:t " + target);
  ASSERT_TRUE(r.Finished) << r.Message;
  EXPECT_EQ(ReadFile(target), "attached notes\n");
}

}  // namespace
