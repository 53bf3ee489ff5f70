#include "engine_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>

#include "media/ff_loader.h"
#include "media/ff_utils.h"

namespace engine_test {

namespace {

struct TTempDir {
  std::string Path;
  TTempDir() {
    const char* root = std::getenv("CONVERTER_TEST_TMP");
    std::filesystem::path dir = root != nullptr && *root != '\0' ? std::filesystem::path(root)
                                                                 : std::filesystem::temp_directory_path();
    dir /= "engine-" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    Path = dir.string();
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
};

}  // namespace

void KeepVulkanDriversLoaded() {
  LoadLibraries();
  // Never freed: reachable from here until the process ends, and so are the drivers' own
  // allocations. Without a Vulkan driver there is nothing to keep.
  static AVBufferRef* const device = [] {
    AVBufferRef* made = nullptr;  // left null when it cannot be made
    media::FF().av_hwdevice_ctx_create(&made, AV_HWDEVICE_TYPE_VULKAN, nullptr, nullptr, 0);
    return made;
  }();
  (void)device;
}

std::vector<std::pair<std::string, std::string>> InputLetters(const std::string& inputs) {
  std::vector<std::pair<std::string, std::string>> items;
  std::string rest = inputs;
  while (!rest.empty()) {
    std::string item = media::SplitString(rest, ";", true);
    std::string letter = media::SplitString(item, "|", true);
    items.emplace_back(std::move(letter), std::move(item));
  }
  return items;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::string CommandOutput(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string text;
  if (!pipe) return text;
  std::array<char, 65536> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) text.append(buffer.data(), n);
  return text;
}

std::vector<uint8_t> DecodedFrame(const std::string& path, int n, const std::string& pixFmt) {
  const std::string text =
      CommandOutput(kFFmpeg + " -nostdin -v error -i " + ShellQuote(path) + " -map 0:v -vf " +
                    ShellQuote("select=eq(n\\," + std::to_string(n) + ")") +
                    " -frames:v 1 -f rawvideo -pix_fmt " + pixFmt + " -");
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::string ReferenceMismatch() {
  static const std::string mismatch = [] {
    LoadLibraries();
    const unsigned loaded = media::FF().avformat_version();
    const std::string wanted = std::to_string(loaded >> 16) + "." + std::to_string((loaded >> 8) & 0xff);
    // "libavformat    59. 27.100 / 59. 27.100": the version it was built with, then the one it runs on.
    const std::string text = CommandOutput(kFFmpeg + " -hide_banner -version 2>/dev/null");
    std::smatch found;
    if (!std::regex_search(text, found, std::regex(R"(libavformat +\d+\. *\d+\.\d+ / +(\d+)\. *(\d+)\.)")))
      return kFFmpeg + " does not run or names no libavformat version";
    const std::string program = found[1].str() + "." + found[2].str();
    if (program == wanted) return std::string();
    return kFFmpeg + " runs on libavformat " + program + ", the tests on " + wanted +
           ": its messages and choices are no reference";
  }();
  return mismatch;
}

void LoadLibraries() {
  ASSERT_TRUE(media::FFLoader().Load(media::EncoderLibraries)) << media::FFLoader().LastErrMsg();
}

const std::string& TempDir() {
  static TTempDir dir;
  return dir.Path;
}

std::string TempPath(const std::string& name) { return TempDir() + "/" + name; }

const std::string& SourceClip() {
  static const std::string path = [] {
    LoadLibraries();
    const std::string out = TempPath("source.mkv");
    const TConvertResult r = Convert(
        "testsrc2=s=160x120:r=25:d=2[out0];sine=f=440:sample_rate=44100:d=2,aformat=channel_layouts=stereo["
        "out1]",
        out, "-c:v mpeg4 -q:v 3 -c:a pcm_s16le", "-f lavfi");
    EXPECT_TRUE(r.Finished) << "the source clip could not be made: " << r.Message;
    return out;
  }();
  return path;
}

TConvertResult Convert(const std::string& input, const std::string& output, const std::string& options,
                       const std::string& inputOptions) {
  media::TCustomFFmpeg engine;
  return ConvertWith(engine, input, output, options, inputOptions);
}

TConvertResult ConvertWith(media::TCustomFFmpeg& engine, const std::string& input, const std::string& output,
                           const std::string& options, const std::string& inputOptions) {
  TConvertResult result;
  engine.OnTerminate = [&result](media::TCustomFFmpeg*) { result.Terminations++; };
  if (engine.OpenInput(input, inputOptions) < 0 || engine.OpenOutput(output, options) < 0) {
    result.Message = engine.LastErrMsg();
    return result;
  }
  result.Opened = true;
  engine.StartConvert(false);
  result.Finished = engine.Finished();
  result.FatalException = engine.FatalException();
  result.Message = engine.FatalMessage();
  return result;
}

const TProbeStream* TProbe::First(const std::string& codecType) const {
  for (const TProbeStream& s : Streams)
    if (s.CodecType == codecType) return &s;
  return nullptr;
}

TProbe Probe(const std::string& path, bool countFrames) {
  TProbe probe;
  const std::string command = kFFprobe + " -v error " + (countFrames ? "-count_frames " : "") +
                              "-show_streams -show_format -of json " + ShellQuote(path) + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) {
    probe.Error = "cannot run ffprobe";
    return probe;
  }
  std::string text;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) text.append(buffer.data(), n);
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject()) {
    probe.Error = text;
    return probe;
  }
  const QJsonObject root = doc.object();
  const QJsonObject format = root.value("format").toObject();
  probe.FormatName = format.value("format_name").toString().toStdString();
  probe.Duration = format.value("duration").toString("-1").toDouble();
  for (const QJsonValue& v : root.value("streams").toArray()) {
    const QJsonObject s = v.toObject();
    TProbeStream stream;
    stream.CodecType = s.value("codec_type").toString().toStdString();
    stream.CodecName = s.value("codec_name").toString().toStdString();
    stream.CodecTag = s.value("codec_tag_string").toString().toStdString();
    stream.PixFmt = s.value("pix_fmt").toString().toStdString();
    stream.RFrameRate = s.value("r_frame_rate").toString().toStdString();
    stream.Dar = s.value("display_aspect_ratio").toString().toStdString();
    stream.Width = s.value("width").toInt();
    stream.Height = s.value("height").toInt();
    stream.SampleRate = s.value("sample_rate").toString("0").toInt();
    stream.Channels = s.value("channels").toInt();
    if (s.contains("nb_read_frames")) stream.Frames = s.value("nb_read_frames").toString("-1").toLongLong();
    probe.Streams.push_back(stream);
  }
  probe.Ok = !probe.FormatName.empty();
  if (!probe.Ok) probe.Error = text;
  return probe;
}

}  // namespace engine_test
