#pragma once
// Helpers shared by the media library's tests.

#include <mutex>
#include <string>
#include <vector>

namespace media_test {

/// A fresh, empty folder for this test process under CONVERTER_TEST_TMP (or the system's temp
/// folder), named after tag.
std::string MakeTempDir(const std::string& tag);

/// Whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

/// Keeps the logger's lines (FFmpeg's included) while it lives: it makes the logger synchronous,
/// so lines arrive on the logging thread itself, and unhooks OnLog when destroyed.
class TLogCapture {
 public:
  TLogCapture();
  ~TLogCapture();
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;
  /// How many kept lines contain part.
  int Count(const std::string& part);
  bool Contains(const std::string& part) { return Count(part) > 0; }
  /// The lines kept so far.
  std::vector<std::string> Lines();

 private:
  std::mutex FLock;
  std::vector<std::string> FLines;
};

}  // namespace media_test
