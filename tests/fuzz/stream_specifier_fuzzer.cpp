// Fuzzes stream specifiers and "-map" arguments: the input is used as the specifier of a map, of a
// per-stream codec and of per-stream metadata for an output of an engine with one lavfi input
// (video and audio). The output is opened (its streams are matched against every specifier) in a
// scratch folder of the fuzzer's own. Every outcome is a result code or an FFmpegException.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "media/engine/custom_ffmpeg.h"
#include "media/ff_exception.h"
#include "media/ff_loader.h"
#include "media/ff_logger.h"

namespace {

std::string GOutput;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  media::FFLogger().SetSynchronous(true);
  media::FFLogger().SetLogLevel(media::TLogLevel::llQuiet);
  if (!media::FFLoader().Load(media::EncoderLibraries)) __builtin_trap();
  char folder[] = "/tmp/stream-specifier-fuzzer-XXXXXX";
  if (mkdtemp(folder) == nullptr) __builtin_trap();
  GOutput = std::string(folder) + "/out.nut";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256) return 0;
  const std::string spec(reinterpret_cast<const char*>(data), size);
  if (spec.find_first_of(std::string("\"\0\r\n", 4)) != std::string::npos) return 0;
  for (const std::string& options :
       {"-map " + Quoted(spec), "-map " + Quoted("0:" + spec), "-c:" + spec + " copy",
        "-metadata:s:" + spec + " title=x -c copy"}) {
    media::TCustomFFmpeg engine;
    try {
      if (engine.OpenInput("testsrc2=size=32x24:rate=5:duration=0.4[out0];sine=d=0.4[out1]",
                           "-f lavfi") < 0)
        __builtin_trap();
      engine.OpenOutput(GOutput, options + " -f nut");
    } catch (const media::FFmpegException&) {
    }
    unlink(GOutput.c_str());
  }
  return 0;
}
