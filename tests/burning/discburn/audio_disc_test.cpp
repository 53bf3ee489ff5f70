// The audio CD pieces of libdiscburn below its C entry points, on libburn itself: the CD-Text
// file a CUE sheet names (CDTEXTFILE) is parsed into packs and handed to the write run's
// lead-in. A CD-Text write needs a CD writer, so what reaches the write options is seen
// through libburn's own check of a write job on an image file, which refuses CD-Text there.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "burning/discburn/audio_disc.h"
#include "burning/discburn/burn_error.h"
#include "burning/discburn/discburn_api.h"
#include "burning/discburn/grabbed_drive.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CueCdTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("CONVERTER_TEST_TMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = fs::path(tmp ? tmp : "/tmp") /
          ("audio-disc-" + std::string(info->name()) + "-" + std::to_string(getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    // The library sets libburn up (once per process) and routes its messages.
    ASSERT_EQ(Initialize(DB_ASPI_INTERNAL, 0), 0);
  }
  void TearDown() override {
    DeInitialize();
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }

  /// A CUE sheet with a CDTEXTFILE, as the library writes one for a titled audio disc of
  /// one track of 10 sectors.
  fs::path TitledCueSheet() {
    const fs::path pcm = Dir / "track.pcm";
    std::ofstream(pcm, std::ios::binary) << std::string(10 * discburn::AudioSectorBytes, '\x11');
    discburn::TAudioDisc disc;
    disc.Title = "Album";
    disc.Performer = "Band";
    disc.Tracks.push_back({pcm.string(), {0, 10 * discburn::AudioSectorBytes}, "Song", "", ""});
    const fs::path cue = Dir / "album.cue";
    discburn::WriteBinCue(disc, cue.string(), nullptr);
    return cue;
  }

  /// libburn's reasons for refusing a one-track data disc written on an image file with
  /// these packs in the lead-in; empty when it takes the job.
  std::string PrecheckReasons(const std::vector<unsigned char>& packs) {
    using namespace burn;
    const fs::path data = Dir / "data.bin";
    std::ofstream(data, std::ios::binary) << std::string(16 * 2048, '\0');
    discburn::TGrabbedDrive drive("stdio:" + (Dir / "target.iso").string());
    discburn::TBurnWriteOptsPtr opts(burn_write_opts_new(drive.Drive()));
    discburn::SetLeadinText(opts.get(), packs);
    discburn::TBurnDiscPtr disc(burn_disc_create());
    burn_session* session = burn_session_create();
    burn_disc_add_session(disc.get(), session, BURN_POS_END);
    burn_track* track = burn_track_create();
    burn_track_define_data(track, 0, 0, 1, BURN_MODE1);
    discburn::TBurnSourcePtr source(burn_file_source_new(data.c_str(), nullptr));
    EXPECT_EQ(burn_track_set_source(track, source.get()), BURN_SOURCE_OK);
    burn_session_add_track(session, track, BURN_POS_END);
    burn_track_free(track);
    burn_session_free(session);  // the disc holds both
    burn_write_opts_set_write_type(opts.get(), BURN_WRITE_SAO, BURN_BLOCK_SAO);
    char reasons[BURN_REASONS_LEN] = {};
    return burn_precheck_write(opts.get(), disc.get(), reasons, 1) > 0 ? std::string() : reasons;
  }

  fs::path Dir;
};

// The packs are those of the CD-Text file (after its 4-byte header), and they reach the write
// options: without them libburn takes the job, with them it refuses CD-Text on a non-CD.
// Checksums that are all zero are worked out; a wrong one is refused with libburn's reason.
TEST_F(CueCdTextTest, PacksOfTheCdTextFileReachTheWriteOptions) {
  const fs::path cue = TitledCueSheet();
  burn::burn_session* session = burn::burn_session_create();
  discburn::TCueSheet sheet;
  ASSERT_NO_THROW(sheet = discburn::SessionFromCue(session, cue.string()));
  burn::burn_session_free(session);
  EXPECT_EQ(sheet.Tracks, 1);
  const std::string cdt = ReadAll(Dir / "album.cdt");
  ASSERT_GT(cdt.size(), 4u);
  ASSERT_EQ(std::string(sheet.TextPacks.begin(), sheet.TextPacks.end()), cdt.substr(4));
  std::string titles;  // the 12 text bytes of each title pack (type 0x80)
  for (size_t at = 0; at + 18 <= cdt.size() - 4; at += 18)
    if (static_cast<uint8_t>(cdt[4 + at]) == 0x80) titles += cdt.substr(4 + at + 4, 12);
  EXPECT_NE(titles.find(std::string("Album\0Song\0", 11)), std::string::npos);

  EXPECT_EQ(PrecheckReasons({}), "") << "a data disc on an image file, without CD-Text";

  struct TPackCase {
    const char* Name;
    std::function<void(std::vector<unsigned char>&)> Change;
    bool Taken;
  };
  const TPackCase cases[] = {
      {"as read", [](std::vector<unsigned char>&) {}, true},
      {"checksums all zero",
       [](std::vector<unsigned char>& p) {
         for (size_t at = 0; at + 18 <= p.size(); at += 18) p[at + 16] = p[at + 17] = 0;
       },
       true},
      {"a wrong checksum", [](std::vector<unsigned char>& p) { p[16] ^= 0xFF; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<unsigned char> packs = sheet.TextPacks;
    c.Change(packs);
    if (c.Taken) {
      EXPECT_NE(PrecheckReasons(packs).find("CD-TEXT supported only with CD media"), std::string::npos)
          << PrecheckReasons(packs);
    } else {
      try {
        PrecheckReasons(packs);
        ADD_FAILURE() << "packs with a wrong checksum were taken";
      } catch (const discburn::EDiscBurn& e) {
        EXPECT_EQ(e.Code(), discburn::code::SourceUnreadable);
        EXPECT_NE(std::string(e.what()).find("CD-TEXT pack CRC mismatch"), std::string::npos) << e.what();
      }
    }
  }
}

}  // namespace
