// Converts one file with the conversion engine, as the encoder component would:
//   engine_convert [-i "input options"] input output "output options" [--log]
// Prints "finished=<0|1> fatal=<0|1> msg=<text>" and exits 0 only when the run finished. Used by
// bench/engine_bench.sh for timing and by hand to try option strings.

#include <cstdio>
#include <cstring>
#include <string>

#include "media/engine/custom_ffmpeg.h"
#include "media/ff_loader.h"
#include "media/ff_logger.h"

int main(int argc, char** argv) {
  std::string inputOptions;
  std::string positional[3];
  int count = 0;
  bool log = false;
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "-i") == 0 && i + 1 < argc) {
      inputOptions = argv[++i];
    } else if (std::strcmp(argv[i], "--log") == 0) {
      log = true;
    } else if (count < 3) {
      positional[count++] = argv[i];
    }
  }
  if (count < 2) {
    std::fprintf(stderr,
                 "usage: engine_convert [-i \"input options\"] input output [\"output options\"] [--log]\n");
    return 2;
  }
  if (!media::FFLoader().Load(media::EncoderLibraries)) {
    std::fprintf(stderr, "%s\n", media::FFLoader().LastErrMsg().c_str());
    return 2;
  }
  media::TFFLogger& logger = media::FFLogger();
  if (log) {
    logger.SetSynchronous(true);
    logger.SetTriggerEventInMainThread(false);
    logger.SetOnLog([](const media::ILogReporter*, int, media::TLogLevel, const std::string& line) {
      std::fprintf(stderr, "%s\n", line.c_str());
    });
  }
  media::TCustomFFmpeg engine;
  if (engine.OpenInput(positional[0], inputOptions) < 0 ||
      engine.OpenOutput(positional[1], positional[2]) < 0) {
    std::printf("finished=0 fatal=1 msg=%s\n", engine.LastErrMsg().c_str());
    return 1;
  }
  engine.StartConvert(false);
  std::printf("finished=%d fatal=%d msg=%s\n", engine.Finished() ? 1 : 0, engine.FatalException() ? 1 : 0,
              engine.FatalMessage().c_str());
  return engine.Finished() ? 0 : 1;
}
