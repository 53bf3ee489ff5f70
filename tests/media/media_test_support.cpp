#include "media_test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "media/ff_logger.h"

namespace media_test {

std::string MakeTempDir(const std::string& tag) {
  const char* root = std::getenv("CONVERTER_TEST_TMP");
  std::filesystem::path dir =
      root != nullptr && *root != '\0' ? std::filesystem::path(root) : std::filesystem::temp_directory_path();
  dir /= "media-" + tag + "-" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TLogCapture::TLogCapture()
    : FSynchronous(media::FFLogger().Synchronous()),
      FInMainThread(media::FFLogger().TriggerEventInMainThread()) {
  media::TFFLogger& logger = media::FFLogger();
  // A line held back by an earlier capture (a repeat candidate) must neither swallow this
  // capture's first identical line nor be delivered into it.
  logger.Flush();
  logger.SetSynchronous(true);
  logger.SetTriggerEventInMainThread(false);
  FSubscription =
      logger.Subscribe([this](const media::ILogReporter*, int, media::TLogLevel, const std::string& line) {
        std::lock_guard lock(FLock);
        FLines.push_back(line);
      });
}

TLogCapture::TLogCapture(media::TLogLevel level) : TLogCapture() {
  FLevel = media::FFLogger().LogLevel();
  media::FFLogger().SetLogLevel(level);
}

TLogCapture::~TLogCapture() {
  media::FFLogger().Flush();
  FSubscription.Reset();
  media::FFLogger().SetSynchronous(FSynchronous);
  media::FFLogger().SetTriggerEventInMainThread(FInMainThread);
  if (FLevel) media::FFLogger().SetLogLevel(*FLevel);
}

std::vector<std::string> TLogCapture::Lines() {
  std::lock_guard lock(FLock);
  return FLines;
}

std::string TLogCapture::Text() {
  std::lock_guard lock(FLock);
  std::string text;
  for (const std::string& line : FLines) text += line + "\n";
  return text;
}

int TLogCapture::Count(const std::string& part) {
  std::lock_guard lock(FLock);
  return static_cast<int>(std::count_if(
      FLines.begin(), FLines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

}  // namespace media_test
