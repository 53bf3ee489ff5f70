// The audio CD pieces of libdiscburn below its C entry points, on libburn itself: the CD-Text
// file a CUE sheet names (CDTEXTFILE) is parsed into packs and handed to the write run's
// lead-in. A CD-Text write needs a CD writer, so what reaches the write options is seen
// through libburn's own check of a write job on an image file, which refuses CD-Text there.
// Titles and performers, from the library's own project or from a CUE sheet, reach libburn in
// ISO 8859-1, the character code of the packs it makes; what it holds is read back from it.
// A track decoded from an audio file is read as libburn reads it, one sector a call.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "burning/discburn/audio_disc.h"
#include "burning/discburn/audio_file.h"
#include "burning/discburn/burn_error.h"
#include "burning/discburn/burn_job.h"
#include "burning/discburn/discburn_api.h"
#include "burning/discburn/grabbed_drive.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The bytes of a CD-Text attribute that libburn holds for the session (track 0) or one of its
/// tracks (from 1), without the terminating NUL; nullopt when it holds none.
std::optional<std::string> HeldText(burn::burn_session* session, int track, int packType) {
  unsigned char* payload = nullptr;
  int length = 0;
  if (track == 0) {
    burn::burn_session_get_cdtext(session, 0, packType, nullptr, &payload, &length, 0);
  } else {
    int count = 0;
    burn::burn_track** tracks = burn::burn_session_get_tracks(session, &count);
    if (track > count) return std::nullopt;
    burn::burn_track_get_cdtext(tracks[track - 1], 0, packType, nullptr, &payload, &length, 0);
  }
  if (!payload || length < 1) return std::nullopt;
  return std::string(reinterpret_cast<char*>(payload), static_cast<size_t>(length) - 1);
}

/// The value of "key = value" in libburn's text sheet (keys are padded with spaces).
std::string SheetValue(const std::string& sheet, const std::string& key) {
  std::istringstream lines(sheet);
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find(" = ");
    if (eq != std::string::npos && line.compare(0, key.size(), key) == 0 &&
        line.find_first_not_of(' ', key.size()) == eq + 1)
      return line.substr(eq + 3);
  }
  return "(none)";
}

/// AddAudioTracks refuses the disc's CD-Text (InvalidArgument) with this text.
void ExpectCdTextRefused(const discburn::TAudioDisc& disc, const std::string& text) {
  discburn::TBurnSessionPtr session(burn::burn_session_create());
  try {
    discburn::AddAudioTracks(session.get(), disc);
    ADD_FAILURE() << "taken as CD-Text";
  } catch (const discburn::EDiscBurn& e) {
    EXPECT_EQ(e.Code(), discburn::code::InvalidArgument);
    EXPECT_EQ(std::string(e.what()), text);
  }
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

// A title or performer reaches libburn in ISO 8859-1, the character code of block 0 in the
// packs it makes ("Café" as the byte E9, not as the two bytes of UTF-8), and reads back in
// UTF-8 from those packs; one with a character outside ISO 8859-1 is refused with the reason.
TEST_F(CueCdTextTest, TitlesAndPerformersReachThePacksInLatin1) {
  const fs::path pcm = Dir / "track.pcm";
  std::ofstream(pcm, std::ios::binary) << std::string(10 * discburn::AudioSectorBytes, '\x11');
  struct TTextCase {
    const char* Name;
    std::string Text;                   // UTF-8, as the C interface hands it on
    std::optional<std::string> Latin1;  // nullopt: refused
  };
  const TTextCase cases[] = {
      {"an accented letter", "Caf\xC3\xA9", "Caf\xE9"},
      {"ASCII only", "Band", "Band"},
      {"the last letter of ISO 8859-1", "\xC3\xBFz", "\xFFz"},
      {"a Windows-1252 letter outside ISO 8859-1 and MS-JIS", "\xC5\x92uvre", std::nullopt},
      {"a character outside the BMP", "Song \xF0\x9F\x8E\xB5", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    discburn::TAudioDisc disc;
    disc.Title = c.Text;
    disc.Performer = "Band";
    disc.Tracks.push_back({pcm.string(), {0, 10 * discburn::AudioSectorBytes}, "Song", c.Text, ""});
    discburn::TBurnSessionPtr session(burn::burn_session_create());
    if (!c.Latin1) {
      ExpectCdTextRefused(disc, "Not usable as CD-Text, which holds ISO 8859-1 (Latin-1) or MS-JIS "
                                "(Japanese) characters only: " + c.Text);
      continue;
    }
    ASSERT_NO_THROW(discburn::AddAudioTracks(session.get(), disc));
    EXPECT_EQ(HeldText(session.get(), 0, 0x80), c.Latin1) << "the disc's title";
    EXPECT_EQ(HeldText(session.get(), 0, 0x81), "Band");
    EXPECT_EQ(HeldText(session.get(), 1, 0x80), "Song");
    EXPECT_EQ(HeldText(session.get(), 1, 0x81), c.Latin1) << "the track's performer";

    unsigned char* made = nullptr;
    int count = 0;
    ASSERT_GT(burn::burn_cdtext_from_session(session.get(), &made, &count, 0), 0);
    const std::vector<unsigned char> packs(made, made + static_cast<size_t>(count) * 18);
    std::free(made);
    // The first size-information pack (type 0x8F) starts its text with the character code.
    size_t at = 0;
    while (at + 18 <= packs.size() && packs[at] != 0x8F) at += 18;
    ASSERT_LT(at, packs.size());
    EXPECT_EQ(packs[at + 4], 0x00) << "ISO 8859-1";
    std::string titles;  // the 12 text bytes of each title pack (type 0x80)
    for (at = 0; at + 18 <= packs.size(); at += 18)
      if (packs[at] == 0x80) titles.append(packs.begin() + at + 4, packs.begin() + at + 16);
    EXPECT_EQ(titles.find(*c.Latin1 + '\0' + "Song"), 0u) << titles;

    const std::string sheet = discburn::CdTextSheet(packs, 1);
    EXPECT_EQ(SheetValue(sheet, "Album Title"), c.Text) << sheet;
    EXPECT_EQ(SheetValue(sheet, "Track 01 Artist"), c.Text) << sheet;
  }
}

/// The text in MS-JIS as the iconv program converts it.
std::string IconvMsJis(const std::string& utf8) {
  std::string out;
  const std::string command = "printf '%s' '" + utf8 + "' | iconv -f UTF-8 -t CP932";
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[256];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// CD-Text that ISO 8859-1 cannot hold but MS-JIS can (Japanese, with ASCII beside it) is
// written in MS-JIS: block 0 says so (character code 0x80, double-byte packs), the text packs
// hold the bytes iconv makes of it, and it reads back in UTF-8. Latin-1 and Japanese on one
// disc are refused, since the disc's CD-Text has one character code.
TEST_F(CueCdTextTest, JapaneseTextReachesThePacksInMsJis) {
  const fs::path pcm = Dir / "track.pcm";
  std::ofstream(pcm, std::ios::binary) << std::string(10 * discburn::AudioSectorBytes, '\x11');
  const std::string album = "\xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\xAE\xE6\xAD\x8C";  // a song of Japan
  const std::string song = "\xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89 No.1";       // sakura, with ASCII
  discburn::TAudioDisc disc;
  disc.Title = album;
  disc.Performer = "Band";
  const std::string singer = "\xE5\xB1\xB1\xE7\x94\xB0 Taro";  // Yamada Taro
  disc.Tracks.push_back({pcm.string(), {0, 10 * discburn::AudioSectorBytes}, song, singer, ""});
  discburn::TBurnSessionPtr session(burn::burn_session_create());
  ASSERT_NO_THROW(discburn::AddAudioTracks(session.get(), disc));
  std::vector<unsigned char> packs;
  ASSERT_NO_THROW(packs = discburn::CdTextPacks(session.get()));
  size_t at = 0;
  while (at + 18 <= packs.size() && packs[at] != 0x8F) at += 18;
  ASSERT_LT(at, packs.size());
  EXPECT_EQ(packs[at + 4], 0x80) << "MS-JIS";
  EXPECT_NE(PrecheckReasons(packs).find("CD-TEXT supported only with CD media"), std::string::npos)
      << "libburn takes the packs: their checksums are right";
  std::string titles, performers;  // the 12 text bytes of each pack of type 0x80 and 0x81
  for (at = 0; at + 18 <= packs.size(); at += 18)
    if (packs[at] == 0x80 || packs[at] == 0x81) {
      EXPECT_NE(packs[at + 3] & 0x80, 0) << "a pack of double-byte characters";
      (packs[at] == 0x80 ? titles : performers).append(packs.begin() + at + 4, packs.begin() + at + 16);
    }
  EXPECT_EQ(performers.find("Band" + std::string(2, '\0') + IconvMsJis(singer) + std::string(2, '\0')), 0u);
  const std::string expected = IconvMsJis(album) + std::string(2, '\0') + IconvMsJis(song);
  ASSERT_GT(IconvMsJis(album).size(), 0u);
  EXPECT_EQ(titles.find(expected), 0u);
  const std::string sheet = discburn::CdTextSheet(packs, 1);
  EXPECT_EQ(SheetValue(sheet, "Album Title"), album) << sheet;
  EXPECT_EQ(SheetValue(sheet, "Track 01 Title"), song) << sheet;
  EXPECT_EQ(SheetValue(sheet, "Artist Name"), "Band") << sheet;
  // (libburn's reader of the packs gives the tracks' double-byte titles but not their
  // performers; the performers' packs are checked above.)

  disc.Tracks[0].Performer = "Caf\xC3\xA9";
  ExpectCdTextRefused(disc, "The CD-Text is written in one character code, and neither ISO 8859-1 (Latin-1) "
                            "nor MS-JIS (Japanese) holds both \"" + album + "\" and \"Caf\xC3\xA9\"");
}

// The CD-Text lines of a CUE sheet reach libburn in ISO 8859-1: UTF-8 ones (with or without a
// byte order mark) are converted, others are ISO 8859-1 already and kept; a character outside
// ISO 8859-1 refuses the sheet, naming its line.
TEST_F(CueCdTextTest, CueSheetTextReachesTheSessionInLatin1) {
  std::ofstream(Dir / "track.bin", std::ios::binary) << std::string(10 * discburn::AudioSectorBytes, '\x11');
  struct TCueCase {
    const char* Name;
    std::string Start;  // before the first line
    std::string Title, Performer;
    std::optional<std::string> Latin1Title, Latin1Performer;  // nullopt: the sheet is refused
  };
  const TCueCase cases[] = {
      {"UTF-8", "", "Caf\xC3\xA9", "S\xC3\xB8ren", "Caf\xE9", "S\xF8ren"},
      {"UTF-8 with a byte order mark", "\xEF\xBB\xBF", "Caf\xC3\xA9", "Band", "Caf\xE9", "Band"},
      {"ISO 8859-1", "", "Caf\xE9", "S\xF8ren", "Caf\xE9", "S\xF8ren"},
      {"Japanese", "", "Album", "\xE6\x97\xA5\xE6\x9C\xAC", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path cue = Dir / "sheet.cue";
    std::ofstream(cue, std::ios::binary | std::ios::trunc)
        << c.Start << "TITLE \"" << c.Title << "\"\nFILE \"track.bin\" BINARY\n  TRACK 01 AUDIO\n"
        << "    PERFORMER \"" << c.Performer << "\"\n    INDEX 01 00:00:00\n";
    discburn::TBurnSessionPtr session(burn::burn_session_create());
    if (!c.Latin1Title) {
      try {
        discburn::SessionFromCue(session.get(), cue.string());
        ADD_FAILURE() << "the sheet was taken";
      } catch (const discburn::EDiscBurn& e) {
        EXPECT_EQ(e.Code(), discburn::code::SourceUnreadable);
        EXPECT_EQ(std::string(e.what()), "The CUE sheet cannot be used: " + cue.string() +
                                             " (line 4: Not usable as CD-Text, which holds ISO 8859-1 "
                                             "(Latin-1) characters only:     PERFORMER \"" +
                                             c.Performer + "\")");
      }
      continue;
    }
    discburn::TCueSheet sheet;
    ASSERT_NO_THROW(sheet = discburn::SessionFromCue(session.get(), cue.string()));
    EXPECT_EQ(sheet.Tracks, 1);
    EXPECT_EQ(HeldText(session.get(), 0, 0x80), c.Latin1Title);
    EXPECT_EQ(HeldText(session.get(), 1, 0x81), c.Latin1Performer);
  }
}

using DecodedTrackTest = CueCdTextTest;

// The source libburn reads a decoded track from gives the CD's PCM of the file, the same bytes
// as the BIN image holds, in the track's measured size, and reports the file decoded once,
// with its last byte; a file that no longer decodes fails the read and is reported with the
// reason. The file is a 32 kHz FLAC file made by Debian's ffmpeg program.
TEST_F(DecodedTrackTest, LibburnReadsTheDecodedSoundOneSectorAtATime) {
  const fs::path flac = Dir / "tone.flac";
  ASSERT_EQ(std::system(
                ("ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=441:sample_rate=32000:duration=0.3 "
                 "-ac 2 '" +
                 flac.string() + "'")
                    .c_str()),
            0);
  const discburn::TAudioFile file = discburn::ReadAudioFile(flac.string());
  ASSERT_TRUE(file.Decoded);
  EXPECT_EQ(file.Data.Bytes, 13230 * 4) << "0.3 s at 44.1 kHz";
  EXPECT_DOUBLE_EQ(file.Seconds, 0.3);
  const discburn::TAudioTrack track{flac.string(), file.Data, "", "", "", true};
  discburn::TAudioDisc disc;
  disc.Tracks.push_back(track);
  discburn::WriteBinCue(disc, (Dir / "tone.cue").string(), nullptr);
  const std::string bin = ReadAll(Dir / "tone.bin");

  std::vector<std::string> told;
  const discburn::TDecodedEvent tell = [&](const std::string& f, const std::string& e) {
    told.push_back(f + "|" + e);
  };
  burn::burn_source* source = discburn::NewDecodedSource(track, tell);
  EXPECT_EQ(source->get_size(source), file.Data.Bytes);
  std::string read;
  unsigned char sector[discburn::AudioSectorBytes];
  for (int n; (n = source->read(source, sector, sizeof sector)) > 0;) {
    read.append(reinterpret_cast<char*>(sector), static_cast<size_t>(n));
    if (n < static_cast<int>(sizeof sector)) {
      EXPECT_EQ(static_cast<int64_t>(read.size()), file.Data.Bytes) << "short at the end only";
    }
  }
  burn::burn_source_free(source);
  EXPECT_EQ(static_cast<int64_t>(read.size()), file.Data.Bytes);
  EXPECT_TRUE(bin.compare(0, read.size(), read) == 0) << "as the BIN image holds it";
  EXPECT_EQ(told, std::vector<std::string>{flac.string() + "|"});

  std::ofstream(flac, std::ios::binary | std::ios::trunc) << std::string(3000, 'x');
  told.clear();
  source = discburn::NewDecodedSource(track, tell);
  EXPECT_EQ(source->read(source, sector, sizeof sector), -1);
  EXPECT_EQ(source->read(source, sector, sizeof sector), -1);
  burn::burn_source_free(source);
  ASSERT_EQ(told.size(), 1u) << "reported once";
  EXPECT_EQ(told[0].rfind(flac.string() + "|The audio file cannot be decoded: " + flac.string() + " (", 0),
            0u)
      << told[0];
}

// A 74-minute CD-R has 333000 blocks free, as libburn counts them (2048 bytes each), and takes
// 333000 audio sectors of 2352 bytes: audio fits when counted in sectors, not in bytes.
TEST(WriteSizeTest, AudioSectorsTakeOneBlockOfTheMediumEach) {
  const int64_t free74 = 333000LL * 2048;
  const int64_t minutes65 = 65 * 60 * 75;  // sectors
  EXPECT_GT(minutes65 * discburn::AudioSectorBytes, free74) << "more bytes than libburn's free bytes";
  EXPECT_NO_THROW(discburn::CheckFreeSpace(minutes65, free74));
  EXPECT_NO_THROW(discburn::CheckFreeSpace(333000, free74));
  try {
    discburn::CheckFreeSpace(333001, free74);
    ADD_FAILURE() << "a sector more than the medium holds was taken";
  } catch (const discburn::EDiscBurn& e) {
    EXPECT_EQ(e.Code(), discburn::code::ProjectTooLarge);
  }
  try {
    discburn::CheckFreeSpace(340000, free74);  // 75.5 minutes
    ADD_FAILURE() << "more sectors than the medium holds were taken";
  } catch (const discburn::EDiscBurn& e) {
    EXPECT_STREQ(e.what(), "The project needs 664.1 MB, but the medium has only 650.4 MB free");
  }
  EXPECT_EQ(discburn::AudioSectors(0), 0);
  EXPECT_EQ(discburn::AudioSectors(1), 1);
  EXPECT_EQ(discburn::AudioSectors(2352), 1);
  EXPECT_EQ(discburn::AudioSectors(2353), 2);
}

// The share of a write done follows libburn's progress through the current track, weighted by
// the tracks' sectors: an audio track ends at 100 %, not at 2048/2352 of it.
TEST(WriteSizeTest, WrittenShareCountsSectorsOfEveryTrack) {
  struct TShareCase {
    const char* Name;
    std::vector<int64_t> Tracks;
    int Track, Sector, Sectors;
    double Share;
  };
  const TShareCase cases[] = {
      {"one audio track, written", {1000}, 0, 1000, 1000, 1.0},
      {"one track, half", {1000}, 0, 500, 1000, 0.5},
      {"data then audio, second track started", {3000, 1000}, 1, 0, 1000, 0.75},
      {"data then audio, second half done", {3000, 1000}, 1, 500, 1000, 0.875},
      {"libburn counts a pad the setup does not", {1000}, 0, 1150, 1150, 1.0},
      {"before the first track", {1000}, 0, 0, 0, 0.0},
      {"no tracks", {}, 0, 10, 10, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    burn::burn_progress p{};
    p.track = c.Track;
    p.sector = c.Sector;
    p.sectors = c.Sectors;
    EXPECT_DOUBLE_EQ(discburn::WrittenShare(c.Tracks, p), c.Share);
  }
}

}  // namespace
