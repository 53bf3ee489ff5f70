// Fuzzes the engine's option layer: an option string is split into words the way the application's
// strings are, then parsed for an output file of an engine that has one lavfi input open (so "-map"
// and stream specifiers have streams to match). Every outcome is a result code or an
// FFmpegException; anything else (a crash, a sanitizer report, a hang) is a finding.
//
// Options that read or write other files, open devices or URLs are left out: the fuzzer must not
// touch the machine it runs on. Their parsing is covered by the unit tests.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "media/engine/custom_ffmpeg.h"
#include "media/ff_exception.h"
#include "media/ff_loader.h"
#include "media/ff_logger.h"
#include "media/ff_utils.h"

namespace {

const char* const kTouchesTheMachine[] = {
    "progress", "vstats", "sdp_file", "passlogfile", "attach", "dump_attachment", "filter_script",
    "filter_complex_script", "pre", "fpre", "vpre", "apre", "spre", "init_hw_device", "filter_hw_device",
    "hwaccel", "qsv_device", "report", "i", "benchmark", "dump", "hex", "stats", "target", "f"};

bool Allowed(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word.find("://") != std::string::npos || word.find('|') != std::string::npos) return false;
    if (word.size() < 2 || word[0] != '-') continue;
    std::string name = word.substr(1);
    if (const auto colon = name.find(':'); colon != std::string::npos) name.resize(colon);
    if (name.rfind("no", 0) == 0) name = name.substr(2);
    for (const char* bad : kTouchesTheMachine)
      if (name.rfind(bad, 0) == 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  media::FFLogger().SetSynchronous(true);
  media::FFLogger().SetLogLevel(media::TLogLevel::llQuiet);
  if (!media::FFLoader().Load(media::EncoderLibraries)) __builtin_trap();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return 0;
  std::vector<std::string> words;
  try {
    words = media::SplitCommandLine(text);
  } catch (const media::FFmpegException&) {
    return 0;
  }
  if (!Allowed(words)) return 0;

  media::TCustomFFmpeg engine;
  try {
    if (engine.OpenInput("testsrc2=size=32x24:rate=5:duration=0.4", "-f lavfi") < 0) __builtin_trap();
    media::TOptionsContext o;
    engine.InitOptionsContext(o);
    try {
      engine.ParseOptions(o, text, "output file", media::OPT_OUTPUT, "out.mkv", {});
    } catch (const media::FFmpegException&) {
    }
    engine.ReleaseOptionsContext(o);
  } catch (const media::FFmpegException&) {
  }
  return 0;
}
