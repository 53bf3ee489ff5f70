#include "burning/discburn/audio_disc.h"

#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "burning/discburn/audio_file.h"
#include "burning/discburn/burn_error.h"
#include "burning/discburn/burn_job.h"
#include "burning/discburn/library_messages.h"

namespace discburn {

namespace {

uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Msf(int64_t sectors) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(sectors / 75 / 60),
                static_cast<int>(sectors / 75 % 60), static_cast<int>(sectors % 75));
  return buf;
}

std::string Quoted(const std::string& text) {
  std::string q;
  for (char c : text) q += c == '"' ? '\'' : c;
  return "\"" + q + "\"";
}

/// The code points of UTF-8 text; nullopt for bytes that are not UTF-8 (a broken or overlong
/// sequence, a surrogate, a value past U+10FFFF).
std::optional<std::u32string> Utf8CodePoints(const std::string& text) {
  std::u32string points;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0, n = text.size(); i < n;) {
    const unsigned char lead = s[i++];
    int extra = 0;
    char32_t c = lead, least = 0;
    if (lead >= 0xF0 && lead < 0xF5) {
      c = lead & 0x07, extra = 3, least = 0x10000;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      c = lead & 0x0F, extra = 2, least = 0x800;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      c = lead & 0x1F, extra = 1, least = 0x80;
    } else if (lead >= 0x80) {
      return std::nullopt;
    }
    for (int k = 0; k < extra; ++k, ++i) {
      if (i >= n || (s[i] & 0xC0) != 0x80) return std::nullopt;
      c = c << 6 | (s[i] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    points += c;
  }
  return points;
}

std::string Latin1ToUtf8(const std::string& text) {
  std::string out;
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (c < 0x80) {
      out += byte;
    } else {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

/// MS-JIS is Microsoft's Shift JIS, code page 932: ASCII in one byte, Japanese in two.
constexpr const char* MsJisName = "CP932";

/// The text converted by iconv; nullopt when a character has no form in the target code.
std::optional<std::string> Converted(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in = text, out(text.size() * 4 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

bool HoldsLatin1(const std::string& text) {
  const auto points = Utf8CodePoints(text);
  return points && std::all_of(points->begin(), points->end(), [](char32_t c) { return c <= 0xFF; });
}

void SetText(burn_track* track, burn_session* session, int packType, const std::string& text, int code) {
  if (text.empty()) return;
  // A text in MS-JIS ends with two zero bytes and is flagged as one of double-byte characters.
  const bool msJis = code == CdTextMsJisCode;
  std::string payload = msJis ? Converted(text, MsJisName, "UTF-8").value_or("") : CdTextLatin1(text);
  payload.append(msJis ? 2 : 1, '\0');
  auto* bytes = reinterpret_cast<unsigned char*>(payload.data());
  const int length = static_cast<int>(payload.size());
  // libburn's header names bit 0 for double-byte text; its cdtext.c keeps the mark per pack
  // type, as bit (type - 0x80): both are given.
  const int flag = msJis ? 1 | 1 << (packType - 0x80) : 0;
  const int r = track ? burn_track_set_cdtext(track, 0, packType, nullptr, bytes, length, flag)
                      : burn_session_set_cdtext(session, 0, packType, nullptr, bytes, length, flag);
  if (r <= 0) throw EDiscBurn(code::InvalidArgument, "Not usable as CD-Text: " + text);
}

bool HasText(const TAudioDisc& disc) {
  if (!disc.Title.empty() || !disc.Performer.empty()) return true;
  for (const auto& t : disc.Tracks)
    if (!t.Title.empty() || !t.Performer.empty()) return true;
  return false;
}

}  // namespace

std::string CdTextLatin1(const std::string& text) {
  const auto points = Utf8CodePoints(text);
  if (!points) throw EDiscBurn(code::InvalidArgument, "Not usable as CD-Text (not UTF-8 text): " + text);
  std::string latin1;
  for (const char32_t c : *points) {
    if (c > 0xFF)
      throw EDiscBurn(code::InvalidArgument,
                      "Not usable as CD-Text, which holds ISO 8859-1 (Latin-1) characters only: " + text);
    latin1 += static_cast<char>(c);
  }
  return latin1;
}

int CdTextCode(const std::vector<std::string>& texts) {
  const std::string* notLatin1 = nullptr;
  const std::string* notMsJis = nullptr;
  for (const auto& text : texts) {
    const bool latin1 = HoldsLatin1(text), msJis = Converted(text, MsJisName, "UTF-8").has_value();
    if (!latin1 && !msJis)
      throw EDiscBurn(code::InvalidArgument,
                      "Not usable as CD-Text, which holds ISO 8859-1 (Latin-1) or MS-JIS (Japanese) "
                      "characters only: " + text);
    if (!latin1 && !notLatin1) notLatin1 = &text;
    if (!msJis && !notMsJis) notMsJis = &text;
  }
  if (!notLatin1) return CdTextLatin1Code;
  if (!notMsJis) return CdTextMsJisCode;
  // The disc's CD-Text has one character code: a Japanese text and a Latin-1 one cannot meet.
  throw EDiscBurn(code::InvalidArgument, "The CD-Text is written in one character code, and neither "
                                         "ISO 8859-1 (Latin-1) nor MS-JIS (Japanese) holds both \"" +
                                             *notLatin1 + "\" and \"" + *notMsJis + "\"");
}

std::vector<std::string> CdTexts(const TAudioDisc& disc) {
  std::vector<std::string> texts{disc.Title, disc.Performer};
  for (const auto& t : disc.Tracks) texts.insert(texts.end(), {t.Title, t.Performer});
  return texts;
}

std::string CdTextSheet(const std::vector<unsigned char>& packs, int tracks) {
  std::vector<unsigned char> copy = packs;  // libburn takes a non-const array
  char* sheet = nullptr;
  int charCode = 0;
  const int r = burn_make_input_sheet_v07t(copy.data(), static_cast<int>(copy.size() / 18), 1, tracks, &sheet,
                                           &charCode, 0);
  if (r <= 0 || !sheet) {
    std::free(sheet);
    throw EDiscBurn(code::Failed, "The CD-Text cannot be read");
  }
  std::string text = sheet;
  std::free(sheet);
  // 0x00 = ISO 8859-1; 0x01 (7-bit ASCII) is UTF-8 as it is.
  if (charCode == CdTextMsJisCode) return Converted(text, "UTF-8", MsJisName).value_or(text);
  return charCode == CdTextLatin1Code ? Latin1ToUtf8(text) : text;
}

TWaveData ReadWave(const std::string& path) {
  const EDiscBurn refused(code::SourceUnreadable,
                         "Not a WAV file of the CD's format (44.1 kHz, 16-bit, stereo PCM): " + path);
  std::ifstream in(path, std::ios::binary);
  unsigned char head[12];
  if (!in.read(reinterpret_cast<char*>(head), 12) || std::memcmp(head, "RIFF", 4) || std::memcmp(head + 8, "WAVE", 4))
    throw refused;
  bool format = false;
  for (;;) {
    unsigned char chunk[8];
    if (!in.read(reinterpret_cast<char*>(chunk), 8)) throw refused;
    const uint32_t size = Le32(chunk + 4);
    if (!std::memcmp(chunk, "fmt ", 4)) {
      unsigned char fmt[16];
      if (size < 16 || !in.read(reinterpret_cast<char*>(fmt), 16)) throw refused;
      if (Le16(fmt) != 1 || Le16(fmt + 2) != 2 || Le32(fmt + 4) != 44100 || Le16(fmt + 14) != 16) throw refused;
      format = true;
      in.seekg(size - 16 + (size & 1), std::ios::cur);
    } else if (!std::memcmp(chunk, "data", 4)) {
      if (!format) throw refused;
      TWaveData data;
      data.Offset = static_cast<int64_t>(in.tellg());
      in.seekg(0, std::ios::end);
      data.Bytes = std::min<int64_t>(size, static_cast<int64_t>(in.tellg()) - data.Offset);
      return data;
    } else {
      in.seekg(size + (size & 1), std::ios::cur);
    }
  }
}

namespace {

/// A decoded track as libburn reads it. libburn frees it (free_data) with the source.
struct TDecodedSource {
  TAudioTrack Track;
  TDecodedEvent OnDecoded;
  std::unique_ptr<TTrackPcm> Pcm;  // opened at the first read: a session built only to be
                                   // checked or to lay out CD-Text decodes nothing
  off_t FixedSize = 0;
  bool Told = false;
  bool Failed = false;  // every later read fails too

  void Tell(const std::string& error) {
    if (Told) return;
    Told = true;
    if (OnDecoded) OnDecoded(Track.Source, error);
  }
};

TDecodedSource& DecodedOf(burn_source* source) { return *static_cast<TDecodedSource*>(source->data); }

// libburn's thread (or its fifo's) calls these; no exception may reach it.
int ReadDecoded(burn_source* source, unsigned char* buffer, int size) {
  TDecodedSource& s = DecodedOf(source);
  if (s.Failed) return -1;
  try {
    if (!s.Pcm) s.Pcm = std::make_unique<TTrackPcm>(s.Track);
    const size_t n = s.Pcm->Read(buffer, static_cast<size_t>(std::max(size, 0)));
    if (s.Pcm->Left() == 0) s.Tell("");
    return static_cast<int>(n);
  } catch (const std::exception& e) {
    s.Failed = true;
    s.Tell(e.what());
    return -1;
  }
}

off_t DecodedSize(burn_source* source) {
  const TDecodedSource& s = DecodedOf(source);
  return s.FixedSize > 0 ? s.FixedSize : static_cast<off_t>(s.Track.Data.Bytes);
}

int SetDecodedSize(burn_source* source, off_t size) {
  DecodedOf(source).FixedSize = size;
  return 1;
}

void FreeDecoded(burn_source* source) { delete static_cast<TDecodedSource*>(source->data); }

}  // namespace

burn_source* NewDecodedSource(const TAudioTrack& track, const TDecodedEvent& onDecoded) {
  // libburn frees the structure itself with free().
  auto* source = static_cast<burn_source*>(std::calloc(1, sizeof(burn_source)));
  if (!source) throw std::bad_alloc();
  source->refcount = 1;
  source->read = ReadDecoded;
  source->get_size = DecodedSize;
  source->set_size = SetDecodedSize;
  source->free_data = FreeDecoded;
  source->data = new TDecodedSource{track, onDecoded, nullptr, 0, false, false};
  return source;
}

void AddAudioTracks(burn_session* session, const TAudioDisc& disc, const TDecodedEvent& onDecoded) {
  const bool text = HasText(disc);
  int code = CdTextLatin1Code;
  if (text) {
    code = CdTextCode(CdTexts(disc));
    // Block 0 in that code; Japanese text in the language of Japan (0x69). -1 leaves a value.
    int codes[8] = {code, -1, -1, -1, -1, -1, -1, -1}, copyrights[8] = {-1, -1, -1, -1, -1, -1, -1, -1},
        languages[8] = {code == CdTextMsJisCode ? 0x69 : -1, -1, -1, -1, -1, -1, -1, -1};
    burn_session_set_cdtext_par(session, codes, copyrights, languages, 0);
    SetText(nullptr, session, 0x80, disc.Title, code);
    SetText(nullptr, session, 0x81, disc.Performer, code);
  }
  for (const auto& t : disc.Tracks) {
    burn_source* pcm = nullptr;
    if (t.Decoded) {
      burn_source* decoded = NewDecodedSource(t, onDecoded);
      // 2352-byte chunks, as the fifo wants for audio; 2048 of them hold 27 s of sound, ahead
      // of a drive that writes at several times the speed of playing.
      pcm = burn_fifo_source_new(decoded, AudioSectorBytes, 2048, 0);
      burn_source_free(decoded);
    } else {
      std::string path = t.Source;
      burn_source* file = burn_file_source_new(path.c_str(), nullptr);
      if (!file) throw EDiscBurn(code::SourceUnreadable, "Source file cannot be read: " + t.Source);
      pcm = burn_offst_source_new(file, nullptr, t.Data.Offset, t.Data.Bytes, 0);
      burn_source_free(file);
    }
    if (!pcm) throw EDiscBurn(code::SourceUnreadable, "Source file cannot be read: " + t.Source);
    burn_track* track = burn_track_create();
    burn_track_define_data(track, 0, 0, 1, BURN_AUDIO);
    const bool ok = burn_track_set_source(track, pcm) == BURN_SOURCE_OK;
    burn_source_free(pcm);
    if (!ok) {
      burn_track_free(track);
      throw EDiscBurn(code::Failed, "The track cannot be handed to the drive: " + t.Source);
    }
    if (!t.Isrc.empty()) {
      char isrc[13] = {};
      std::memcpy(isrc, t.Isrc.data(), std::min<size_t>(12, t.Isrc.size()));
      burn_track_set_isrc_string(track, isrc, 0);
    }
    if (text) {
      try {
        SetText(track, nullptr, 0x80, t.Title, code);
        SetText(track, nullptr, 0x81, t.Performer, code);
      } catch (...) {
        burn_track_free(track);
        throw;
      }
    }
    burn_session_add_track(session, track, BURN_POS_END);
    burn_track_free(track);  // the session holds it
  }
}

namespace {

/// The checksum of a CD-Text pack (MMC-3 annex J): CRC-16 of its first 16 bytes with the
/// polynomial x^16 + x^12 + x^5 + 1, every bit inverted.
uint16_t PackCrc(const unsigned char* pack) {
  uint16_t crc = 0;
  for (int i = 0; i < 16; ++i) {
    crc ^= static_cast<uint16_t>(pack[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
  }
  return static_cast<uint16_t>(~crc);
}

}  // namespace

std::vector<unsigned char> CdTextPacks(burn_session* session) {
  unsigned char* made = nullptr;
  int count = 0;
  if (burn_cdtext_from_session(session, &made, &count, 0) <= 0 || !made) {
    std::free(made);
    throw EDiscBurn(code::Failed, "The CD-Text cannot be laid out");
  }
  std::vector<unsigned char> packs(made, made + static_cast<size_t>(count) * 18);
  std::free(made);
  // The character code of block 0 is the first byte of text of its first size pack (0x8F).
  bool msJis = false;
  for (size_t at = 0; at + 18 <= packs.size(); at += 18)
    if (packs[at] == 0x8F && packs[at + 1] == 0 && (packs[at + 3] & 0x70) == 0)
      msJis = packs[at + 4] == CdTextMsJisCode;
  for (size_t at = 0; msJis && at + 18 <= packs.size(); at += 18) {
    // Titles, performers, songwriters, composers, arrangers and messages.
    if (packs[at] < 0x80 || packs[at] > 0x85 || (packs[at + 3] & 0x80)) continue;
    packs[at + 3] |= 0x80;
    const uint16_t crc = PackCrc(&packs[at]);
    packs[at + 16] = static_cast<unsigned char>(crc >> 8);
    packs[at + 17] = static_cast<unsigned char>(crc);
  }
  return packs;
}

void CheckCdMedium(burn_drive* drive) {
  int profile = 0;
  char name[80] = {};
  burn_disc_get_profile(drive, &profile, name);
  // CD-ROM, CD-R, CD-RW
  if (profile != 0x08 && profile != 0x09 && profile != 0x0a)
    throw EDiscBurn(code::MediumNotWritable,
                    std::string("Audio CDs are written on CD-R and CD-RW media only; the drive holds: ") +
                        (name[0] ? name : "no medium"));
}

namespace {

/// The CUE sheet with its FILE and CDTEXTFILE names made absolute (libburn takes relative
/// names from the current folder, a sheet means its own folder) and its CD-Text in ISO 8859-1:
/// libburn puts the bytes of a TITLE or PERFORMER line into the packs as they are, in the code
/// of block 0. A UTF-8 line is converted; any other is taken as ISO 8859-1 already.
std::string AbsoluteSheet(const std::string& cuePath) {
  std::ifstream in(cuePath);
  if (!in) throw EDiscBurn(code::SourceUnreadable, "The CUE sheet cannot be read: " + cuePath);
  const auto slash = cuePath.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : cuePath.substr(0, slash);
  std::string out, line;
  bool textFile = false;
  for (int number = 1; std::getline(in, line); ++number) {
    // A byte order mark says UTF-8; libburn would read it as part of the first command.
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    const auto first = line.find_first_not_of(" \t");
    const auto commandIs = [&](const std::string& command) {
      return first != std::string::npos && line.compare(first, command.size(), command) == 0;
    };
    const bool text = commandIs("TITLE ") || commandIs("PERFORMER ") || commandIs("SONGWRITER ") ||
                      commandIs("COMPOSER ") || commandIs("ARRANGER ") || commandIs("MESSAGE ");
    if (commandIs("CDTEXTFILE ")) textFile = true;
    // With a CD-Text file its packs are the disc's CD-Text (this library writes its Japanese
    // text there, in MS-JIS, and the same text in UTF-8 on these lines): a line that ISO 8859-1
    // cannot hold is left to the file.
    if (text && textFile && Utf8CodePoints(line) && !HoldsLatin1(line)) continue;
    if (text && Utf8CodePoints(line)) {
      try {
        line = CdTextLatin1(line);
      } catch (const EDiscBurn& e) {
        throw EDiscBurn(code::SourceUnreadable, "The CUE sheet cannot be used: " + cuePath + " (line " +
                                                    std::to_string(number) + ": " + e.what() + ")");
      }
    }
    for (const std::string command : {"FILE ", "CDTEXTFILE "}) {
      if (first == std::string::npos || line.compare(first, command.size(), command) != 0) continue;
      const size_t name = line.find_first_not_of(' ', first + command.size());
      if (name == std::string::npos) continue;
      const size_t start = line[name] == '"' ? name + 1 : name;
      if (line[start] != '/') line.insert(start, folder + "/");
    }
    out += line + "\n";
  }
  return out;
}

}  // namespace

TCueSheet SessionFromCue(burn_session* session, const std::string& cuePath) {
  const std::string sheet = AbsoluteSheet(cuePath);
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/discburn-cue-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0 || write(fd, sheet.data(), sheet.size()) != static_cast<ssize_t>(sheet.size())) {
    if (fd >= 0) close(fd);
    unlink(path.c_str());
    throw EDiscBurn(code::Failed, "The CUE sheet cannot be copied to " + path);
  }
  close(fd);
  // The packs are the caller's, allocated by libburn with malloc.
  unsigned char* packs = nullptr;
  int count = 0;
  const int r = burn_session_by_cue_file(session, path.data(), 0, nullptr, &packs, &count, 0);
  unlink(path.c_str());
  TCueSheet sheetOut;
  if (r > 0 && packs && count > 0) sheetOut.TextPacks.assign(packs, packs + static_cast<size_t>(count) * 18);
  std::free(packs);
  if (r <= 0) {
    const std::string why = WorstText(TakeLibraryMessages(), severity::Sorry);
    throw EDiscBurn(code::SourceUnreadable,
                    "The CUE sheet cannot be used: " + cuePath + (why.empty() ? "" : " (" + why + ")"));
  }
  burn_session_get_tracks(session, &sheetOut.Tracks);
  return sheetOut;
}

void SetLeadinText(burn_write_opts* options, const std::vector<unsigned char>& packs) {
  if (packs.empty()) return;
  std::vector<unsigned char> copy = packs;  // libburn takes a non-const array
  // bit2: work out checksums that are all 00 00 (files written without them); a mismatch is
  // refused.
  if (burn_write_opts_set_leadin_text(options, copy.data(), static_cast<int>(copy.size() / 18), 4) <= 0) {
    const std::string why = WorstText(TakeLibraryMessages(), severity::Sorry);
    throw EDiscBurn(code::SourceUnreadable,
                    "The CD-Text file of the CUE sheet cannot be used" + (why.empty() ? "" : ": " + why));
  }
}

namespace {

void WriteBinCueFiles(const TAudioDisc& disc, const std::string& cuePath, const std::string& binPath,
                      const std::string& cdtPath, const std::function<void(int64_t)>& progress,
                      const TDecodedEvent& onDecoded, const std::atomic<bool>* abort) {
  std::string cue;
  if (HasText(disc)) {
    // The CD-Text as libburn lays it out for the lead-in, in the file format CUE sheets name.
    TBurnSessionPtr session(burn_session_create());
    AddAudioTracks(session.get(), disc);
    const std::vector<unsigned char> packs = CdTextPacks(session.get());
    session.reset();
    std::ofstream cdt(cdtPath, std::ios::binary | std::ios::trunc);
    const uint32_t length = static_cast<uint32_t>(packs.size()) + 2;
    const unsigned char header[4] = {static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length), 0, 0};
    cdt.write(reinterpret_cast<const char*>(header), 4);
    cdt.write(reinterpret_cast<const char*>(packs.data()), static_cast<std::streamsize>(packs.size()));
    if (!cdt) throw EDiscBurn(code::Failed, "The CD-Text file cannot be written: " + cdtPath);
    cue += "CDTEXTFILE " + Quoted(BaseName(cdtPath)) + "\n";
    if (!disc.Title.empty()) cue += "TITLE " + Quoted(disc.Title) + "\n";
    if (!disc.Performer.empty()) cue += "PERFORMER " + Quoted(disc.Performer) + "\n";
  }
  cue += "FILE " + Quoted(BaseName(binPath)) + " BINARY\n";
  std::ofstream bin(binPath, std::ios::binary | std::ios::trunc);
  int64_t sectors = 0, written = 0;
  std::vector<unsigned char> buffer(AudioSectorBytes * 64);
  for (size_t i = 0; i < disc.Tracks.size(); ++i) {
    const TAudioTrack& t = disc.Tracks[i];
    char number[24];
    std::snprintf(number, sizeof number, "%02zu", i + 1);
    cue += std::string("  TRACK ") + number + " AUDIO\n";
    if (!t.Title.empty()) cue += "    TITLE " + Quoted(t.Title) + "\n";
    if (!t.Performer.empty()) cue += "    PERFORMER " + Quoted(t.Performer) + "\n";
    if (!t.Isrc.empty()) cue += "    ISRC " + t.Isrc + "\n";
    cue += "    INDEX 01 " + Msf(sectors) + "\n";
    try {
      TTrackPcm pcm(t);
      while (pcm.Left() > 0) {
        if (abort && *abort) throw EDiscBurn(code::Failed, TBurnJob::AbortedText);
        const size_t n = pcm.Read(buffer.data(), buffer.size());
        bin.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(n));
        written += static_cast<int64_t>(n);
        if (progress) progress(written);
      }
    } catch (const EDiscBurn& e) {
      if (t.Decoded && onDecoded && e.Code() == code::SourceUnreadable) onDecoded(t.Source, e.what());
      throw;
    }
    if (t.Decoded && onDecoded) onDecoded(t.Source, "");
    // Each track fills whole sectors; the rest of its last one is silence.
    const int64_t pad = AudioSectors(t.Data.Bytes) * AudioSectorBytes - t.Data.Bytes;
    bin.write(std::string(static_cast<size_t>(pad), '\0').data(), pad);
    written += pad;
    sectors += AudioSectors(t.Data.Bytes);
  }
  bin.close();
  std::ofstream sheet(cuePath, std::ios::trunc);
  sheet << cue;
  sheet.close();
  if (!bin || !sheet) throw EDiscBurn(code::Failed, "The disc image cannot be written: " + cuePath);
}

}  // namespace

void WriteBinCue(const TAudioDisc& disc, const std::string& cuePath,
                 const std::function<void(int64_t)>& progress, const TDecodedEvent& onDecoded,
                 const std::atomic<bool>* abort) {
  std::string stem = cuePath;
  if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".cue") == 0) stem.resize(stem.size() - 4);
  const std::string binPath = stem + ".bin", cdtPath = stem + ".cdt";
  try {
    WriteBinCueFiles(disc, cuePath, binPath, cdtPath, progress, onDecoded, abort);
  } catch (...) {
    std::remove(binPath.c_str());
    std::remove(cuePath.c_str());
    if (HasText(disc)) std::remove(cdtPath.c_str());
    throw;
  }
}

}  // namespace discburn
