// Verifying: the files of a session on a medium (or in an image file) are read back through
// libisofs and compared byte for byte with their sources.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "burning/discburn/burn_libs.h"

namespace discburn {

class TCallbackHub;

struct TVerifyItem {
  std::string DiscPath;    // "/Videos/clip.mkv"
  std::string SourcePath;  // the local file
};

/// Reads the session starting at `startLba` from the grabbed drive at `address` and compares
/// every item with its source, firing StartVerify, VerifyFile and VerifyError for each. Returns
/// the number of files that differ or cannot be read; the caller fires VerifyDone with it.
int VerifySession(burn_drive* drive, const std::string& address, int startLba, const std::vector<TVerifyItem>& items,
                  TCallbackHub& callbacks, uint64_t generation, const std::atomic<bool>& abort);

/// Compares the image file written from `startLba` on with the blocks on the medium; fires
/// the same callbacks, naming the image file. Returns 1 when they differ, else 0 (for VerifyDone).
int VerifyImage(burn_drive* drive, int startLba, const std::string& isoFile, TCallbackHub& callbacks,
                uint64_t generation, const std::atomic<bool>& abort);

/// The job's failure text for `errors` differing files ("" for none).
std::string VerifyFailureText(int errors);

}  // namespace discburn
