#include "burning/discburn/verifier.h"

#include <fstream>
#include <vector>

#include "burning/discburn/burn_error.h"
#include "burning/discburn/callback_hub.h"
#include "burning/discburn/disc_reader.h"

namespace discburn {

namespace {

constexpr size_t ChunkSize = 256 * 1024;

/// "" when the copy equals the source, else why not.
std::string Compare(IsoImage* image, const TVerifyItem& item, const std::atomic<bool>& abort) {
  IsoNode* node = nullptr;
  if (iso_tree_path_to_node(image, item.DiscPath.c_str(), &node) != 1 || !node || iso_node_get_type(node) != LIBISO_FILE)
    return "The file is not on the medium";
  std::ifstream source(item.SourcePath, std::ios::binary);
  if (!source) return "The source file cannot be read";
  IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
  if (!stream || iso_stream_open(stream) < 0) return "The file cannot be read from the medium";
  std::vector<char> onDisc(ChunkSize), local(ChunkSize);
  std::string why;
  while (why.empty() && !abort) {
    // iso_stream_read may return less than asked before the end: fill the chunk.
    size_t got = 0;
    while (got < ChunkSize) {
      const int n = iso_stream_read(stream, onDisc.data() + got, ChunkSize - got);
      if (n < 0) {
        why = "The file cannot be read from the medium";
        break;
      }
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    if (!why.empty()) break;
    source.read(local.data(), static_cast<std::streamsize>(ChunkSize));
    const size_t have = static_cast<size_t>(source.gcount());
    if (have != got || !std::equal(onDisc.begin(), onDisc.begin() + static_cast<std::ptrdiff_t>(got), local.begin()))
      why = "The copy on the medium differs from the source file";
    if (got < ChunkSize) break;
  }
  iso_stream_close(stream);
  return why;
}

}  // namespace

int VerifySession(burn_drive* drive, const std::string& address, int startLba, const std::vector<TVerifyItem>& items,
                  TCallbackHub& callbacks, uint64_t generation, const std::atomic<bool>& abort) {
  callbacks.StartVerify(generation);
  int errors = 0;
  TIsoImagePtr image;
  try {
    image = ImportSession(NewDriveDataSource(address, drive), startLba);
  } catch (const EDiscBurn& e) {
    for (const auto& item : items) {
      callbacks.VerifyFile(item.DiscPath, generation);
      callbacks.VerifyError(item.DiscPath, e.what(), generation);
    }
    return static_cast<int>(items.size());
  }
  for (const auto& item : items) {
    if (abort) break;
    callbacks.VerifyFile(item.DiscPath, generation);
    const std::string why = Compare(image.get(), item, abort);
    if (!why.empty()) {
      ++errors;
      callbacks.VerifyError(item.DiscPath, why, generation);
    }
  }
  return errors;
}

int VerifyImage(burn_drive* drive, int startLba, const std::string& isoFile, TCallbackHub& callbacks,
                uint64_t generation, const std::atomic<bool>& abort) {
  callbacks.StartVerify(generation);
  callbacks.VerifyFile(isoFile, generation);
  std::string why;
  std::ifstream source(isoFile, std::ios::binary);
  if (!source) why = "The source file cannot be read";
  std::vector<char> onDisc(ChunkSize), local(ChunkSize);
  for (off_t at = static_cast<off_t>(startLba) * 2048; why.empty() && !abort; at += ChunkSize) {
    source.read(local.data(), static_cast<std::streamsize>(ChunkSize));
    const size_t have = static_cast<size_t>(source.gcount());
    if (have == 0) break;
    off_t read = 0;
    // The medium holds whole blocks: the image's last one is compared as far as the file goes.
    const off_t want = static_cast<off_t>((have + 2047) / 2048 * 2048);
    if (burn_read_data(drive, at, onDisc.data(), want, &read, 2) <= 0 || read < static_cast<off_t>(have))
      why = "The image cannot be read from the medium";
    else if (!std::equal(local.begin(), local.begin() + static_cast<std::ptrdiff_t>(have), onDisc.begin()))
      why = "The copy on the medium differs from the source file";
  }
  if (!why.empty()) callbacks.VerifyError(isoFile, why, generation);
  return why.empty() ? 0 : 1;
}

std::string VerifyFailureText(int errors) {
  if (errors == 0) return {};
  return "Verifying found " + std::to_string(errors) + (errors == 1 ? " file that differs" : " files that differ") +
         " from the source";
}

}  // namespace discburn
