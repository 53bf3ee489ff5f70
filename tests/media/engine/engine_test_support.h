#pragma once
// Helpers of the engine tests: loading FFmpeg, a source clip made by the engine itself from lavfi
// test sources, one-call conversions, and an independent look at the result through ffprobe.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "../media_test_support.h"
#include "media/engine/custom_ffmpeg.h"

namespace engine_test {

/// Loads media::EncoderLibraries (the test fails when they are missing).
void LoadLibraries();

/// Makes a Vulkan device that lives until the process ends (loading FFmpeg first), so that the
/// Vulkan loader keeps every driver and implicit layer it opened for its instance loaded. The
/// loader unloads a driver when its last instance goes; a driver's one-time allocations (Mesa
/// detects the CPU once, and on some CPUs keeps a table of it) are then no longer reachable from
/// its data, and LeakSanitizer reports them with "<unknown module>" frames that no suppression by
/// library name can match. Kept loaded, they stay reachable, and the frames of a leak inside a
/// driver carry the driver's name. Call it before the first Vulkan device is made; calls after
/// the first do nothing.
void KeepVulkanDriversLoaded();

/// A folder of this test process under CONVERTER_TEST_TMP, removed at exit.
const std::string& TempDir();
/// TempDir() + "/" + name.
std::string TempPath(const std::string& name);

/// The inputs of a case written "M|-ss 2;S|": (the letter before each "|", the options after it),
/// in order.
std::vector<std::pair<std::string, std::string>> InputLetters(const std::string& inputs);

/// source.mkv: 2 s, video mpeg4 160x120 yuv420p 25 fps (testsrc2), audio pcm_s16le 44100 Hz
/// stereo (440 Hz sine). Made once per process by the engine from "-f lavfi" sources, so it also
/// exercises a lavfi input of unknown duration.
const std::string& SourceClip();
inline constexpr double kSourceDuration = 2.0;

struct TConvertResult {
  bool Opened = false;  // OpenInput and OpenOutput succeeded
  bool Finished = false;
  bool FatalException = false;
  std::string Message;   // LastErrMsg of a failed open, or the FatalMessage
  int Terminations = 0;  // OnTerminate calls
};

/// Opens input and output and runs the engine on the calling thread.
TConvertResult Convert(const std::string& input, const std::string& output, const std::string& options,
                       const std::string& inputOptions = {});
/// Convert on an engine the caller has set up (hooks, preview...); its OnTerminate is replaced.
TConvertResult ConvertWith(media::TCustomFFmpeg& engine, const std::string& input, const std::string& output,
                           const std::string& options, const std::string& inputOptions = {});

struct TProbeStream {
  std::string CodecType;  // "video", "audio"...
  std::string CodecName;
  std::string CodecTag;  // codec_tag_string
  std::string PixFmt;
  std::string RFrameRate;  // "25/1"
  std::string Dar;         // display_aspect_ratio, "16:9"
  int Width = 0;
  int Height = 0;
  int SampleRate = 0;
  int Channels = 0;
  int64_t Frames = -1;  // nb_read_frames when counted
};

struct TProbe {
  bool Ok = false;
  std::string Error;
  std::string FormatName;
  double Duration = -1;
  std::vector<TProbeStream> Streams;
  /// The first stream of that type, or null.
  const TProbeStream* First(const std::string& codecType) const;
};

/// Debian's ffmpeg and ffprobe programs, by their full path: another build first on PATH (a
/// static one, another version) words its messages and makes its choices its own way.
inline const std::string kFFmpeg = "/usr/bin/ffmpeg";
inline const std::string kFFprobe = "/usr/bin/ffprobe";
/// Empty when kFFmpeg runs on a libavformat of the same major.minor version as the one the tests
/// loaded, so that what it does is a reference for the engine; else why it is not.
std::string ReferenceMismatch();

/// text in single quotes for the shell.
std::string ShellQuote(const std::string& text);
/// What a shell command writes to its standard output.
std::string CommandOutput(const std::string& command);
/// Frame n (counted from 0) of the first video stream of path as Debian's ffmpeg decodes it, raw
/// in pixFmt ("gray", "yuv420p"...); empty when it cannot be decoded.
std::vector<uint8_t> DecodedFrame(const std::string& path, int n, const std::string& pixFmt);

/// ffprobe -v error -show_streams -show_format -of json (with -count_frames when countFrames).
TProbe Probe(const std::string& path, bool countFrames = false);

/// Every line the library logs while it lives (see media_test::TLogCapture).
using TLogCapture = media_test::TLogCapture;

}  // namespace engine_test
