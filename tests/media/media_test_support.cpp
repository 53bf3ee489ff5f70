#include "media_test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

}  // namespace media_test
