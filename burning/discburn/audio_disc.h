// Audio CDs: tracks from audio files (WAV files in the CD's own format, 44.1 kHz, 16-bit,
// stereo PCM, as they are; any other audio file FFmpeg reads decoded to it) or from a CUE
// sheet, with ISRC codes and CD-Text; written in one pass (session at once), so only on CD
// media. A disc image of such a project is a BIN file with its CUE sheet.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "burning/discburn/burn_libs.h"

namespace discburn {

constexpr int AudioSectorBytes = 2352;  // 1/75 s of 44.1 kHz 16-bit stereo

/// The sectors of an audio track of `bytes` PCM bytes: its last one is filled up with silence.
/// On a CD each takes one block, as a data track's 2048-byte block does.
constexpr int64_t AudioSectors(int64_t bytes) { return (bytes + AudioSectorBytes - 1) / AudioSectorBytes; }

struct TWaveData {
  int64_t Offset = 0;  // of the PCM samples in the file
  int64_t Bytes = 0;
};

/// The PCM data of a WAV file in the CD's format; throws EDiscBurn(SourceUnreadable) for any
/// other file.
TWaveData ReadWave(const std::string& path);

struct TAudioTrack {
  std::string Source;
  TWaveData Data;  // of a decoded file: Offset 0, Bytes its decoded length (audio_file.h)
  std::string Title, Performer, Isrc;
  bool Decoded = false;
};

/// Told when a decoded track's file has been decoded to its end ("" as error) or failed (the
/// reason). Runs on the thread that reads the track.
using TDecodedEvent = std::function<void(const std::string& source, const std::string& error)>;

struct TAudioDisc {
  std::string Title, Performer;
  std::vector<TAudioTrack> Tracks;
};

/// CD-Text as libburn writes it: the character code of its block 0 is ISO 8859-1 (0x00), the
/// only one that holds accented Latin letters. Returns the UTF-8 text in that code; throws
/// EDiscBurn(InvalidArgument) for text with a character outside it (players would show the
/// bytes of another code as garbage) or text that is not UTF-8.
std::string CdTextLatin1(const std::string& text);
/// The character codes of CD-Text that libburn writes and that hold more than ASCII.
constexpr int CdTextLatin1Code = 0x00, CdTextMsJisCode = 0x80;
/// The code the disc's CD-Text is written in: ISO 8859-1 when it holds every one of the texts
/// (UTF-8), else MS-JIS (Microsoft's Shift JIS, the code of Japanese CDs) when that does.
/// Throws EDiscBurn(InvalidArgument) naming a text that neither holds, or the two texts that
/// need one code each.
int CdTextCode(const std::vector<std::string>& texts);
/// The titles and performers of the disc and its tracks.
std::vector<std::string> CdTexts(const TAudioDisc& disc);
/// libburn's text sheet of CD-Text packs ("Album Title = ...", "Track 01 Title = ..."), in
/// UTF-8: packs in ISO 8859-1 and MS-JIS are converted, ASCII ones are so already. Throws
/// EDiscBurn(Failed) for packs libburn cannot read.
std::string CdTextSheet(const std::vector<unsigned char>& packs, int tracks);

/// Adds the tracks (and the CD-Text, when any title or performer is set, in the code
/// CdTextCode gives) to a session; throws like CdTextCode. A
/// decoded track's file is decoded while libburn reads the track (through a fifo of its own,
/// which reads ahead on its thread), and only then: onDecoded hears of each such file once.
void AddAudioTracks(burn_session* session, const TAudioDisc& disc, const TDecodedEvent& onDecoded = {});
/// The source of a decoded track as AddAudioTracks hands it to libburn, without the fifo;
/// the caller owns the reference.
burn_source* NewDecodedSource(const TAudioTrack& track, const TDecodedEvent& onDecoded);
/// The CD-Text packs of a session, as its lead-in holds them. libburn marks only the title packs
/// of MS-JIS text as double-byte ones (it keeps that mark per pack type but sets the title's
/// alone): the packs of the other texts are marked here as well.
std::vector<unsigned char> CdTextPacks(burn_session* session);
/// Refuses a medium that is not a CD: audio tracks exist on CDs only.
void CheckCdMedium(burn_drive* drive);
/// A CUE sheet parsed into a session.
struct TCueSheet {
  int Tracks = 0;
  /// The CD-Text packs (18 bytes each) of the sheet's CDTEXTFILE; empty without one. libburn
  /// leaves them out of the session: they reach the lead-in through SetLeadinText.
  std::vector<unsigned char> TextPacks;
};

/// Parses a CUE sheet into a session; throws with libburn's reason. The values of its CD-Text
/// commands (TITLE, PERFORMER, SONGWRITER, COMPOSER, ARRANGER, MESSAGE) that are UTF-8 reach
/// libburn in ISO 8859-1 (a value with a character outside it refuses the sheet); other values
/// are taken as ISO 8859-1 already, as libburn and CDRWIN take them.
TCueSheet SessionFromCue(burn_session* session, const std::string& cuePath);
/// Hands CD-Text packs to a write run's lead-in (libburn copies them); no packs leave the
/// options as they are. Packs whose checksums are all zero get them worked out; packs with
/// wrong ones are refused (EDiscBurn(SourceUnreadable) with libburn's reason), options unchanged.
void SetLeadinText(burn_write_opts* options, const std::vector<unsigned char>& packs);

/// Writes the BIN file and the CUE sheet (and, with CD-Text, the ".cdt" file the sheet names)
/// of an audio disc, decoding the decoded tracks' files on the way (onDecoded hears of each);
/// `progress` gets the bytes written so far. A failure, or `abort` set (TBurnJob::AbortedText),
/// throws and removes the files written.
void WriteBinCue(const TAudioDisc& disc, const std::string& cuePath,
                 const std::function<void(int64_t)>& progress, const TDecodedEvent& onDecoded = {},
                 const std::atomic<bool>* abort = nullptr);

}  // namespace discburn
