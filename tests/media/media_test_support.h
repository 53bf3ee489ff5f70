#pragma once
// Helpers shared by the media library's tests.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/ff_logger.h"

namespace media_test {

/// A fresh, empty folder for this test process under CONVERTER_TEST_TMP (or the system's temp
/// folder), named after tag.
std::string MakeTempDir(const std::string& tag);

/// Whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

/// Keeps the logger's lines (FFmpeg's included) while it lives, through a subscription of its
/// own: it makes the logger synchronous, so lines arrive on the logging thread itself, and gives
/// the logger's settings back when destroyed.
class TLogCapture {
 public:
  TLogCapture();
  /// Also sets the logger's level to level while it lives.
  explicit TLogCapture(media::TLogLevel level);
  ~TLogCapture();
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;
  /// How many kept lines contain part.
  int Count(const std::string& part);
  bool Contains(const std::string& part) { return Count(part) > 0; }
  /// The lines kept so far.
  std::vector<std::string> Lines();
  /// The lines kept so far, each ended by "\n".
  std::string Text();

 private:
  bool FSynchronous;
  bool FInMainThread;
  std::optional<media::TLogLevel> FLevel;  // the level to give back
  std::mutex FLock;
  std::vector<std::string> FLines;
  media::TLogSubscription FSubscription;  // last: ends before the lines it fills
};

}  // namespace media_test
