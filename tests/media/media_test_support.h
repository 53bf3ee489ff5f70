#pragma once
// Helpers shared by the media library's tests.

#include <string>

namespace media_test {

/// A fresh, empty folder for this test process under CONVERTER_TEST_TMP (or the system's temp
/// folder), named after tag.
std::string MakeTempDir(const std::string& tag);

/// Whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

}  // namespace media_test
