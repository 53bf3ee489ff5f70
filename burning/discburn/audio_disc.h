// Audio CDs: tracks from WAV files in the CD's own format (44.1 kHz, 16-bit, stereo PCM) or
// from a CUE sheet, with ISRC codes and CD-Text; written in one pass (session at once), so
// only on CD media. A disc image of such a project is a BIN file with its CUE sheet.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "burning/discburn/burn_libs.h"

namespace discburn {

constexpr int AudioSectorBytes = 2352;  // 1/75 s of 44.1 kHz 16-bit stereo

struct TWaveData {
  int64_t Offset = 0;  // of the PCM samples in the file
  int64_t Bytes = 0;
};

/// The PCM data of a WAV file in the CD's format; throws EDiscBurn(SourceUnreadable) for any
/// other file.
TWaveData ReadWave(const std::string& path);

struct TAudioTrack {
  std::string Source;
  TWaveData Data;
  std::string Title, Performer, Isrc;
};

struct TAudioDisc {
  std::string Title, Performer;
  std::vector<TAudioTrack> Tracks;
};

/// Adds the tracks (and the CD-Text, when any title or performer is set) to a session.
void AddAudioTracks(burn_session* session, const TAudioDisc& disc);
/// Refuses a medium that is not a CD: audio tracks exist on CDs only.
void CheckCdMedium(burn_drive* drive);
/// A CUE sheet parsed into a session.
struct TCueSheet {
  int Tracks = 0;
  /// The CD-Text packs (18 bytes each) of the sheet's CDTEXTFILE; empty without one. libburn
  /// leaves them out of the session: they reach the lead-in through SetLeadinText.
  std::vector<unsigned char> TextPacks;
};

/// Parses a CUE sheet into a session; throws with libburn's reason.
TCueSheet SessionFromCue(burn_session* session, const std::string& cuePath);
/// Hands CD-Text packs to a write run's lead-in (libburn copies them); no packs leave the
/// options as they are. Packs whose checksums are all zero get them worked out; packs with
/// wrong ones are refused (EDiscBurn(SourceUnreadable) with libburn's reason), options unchanged.
void SetLeadinText(burn_write_opts* options, const std::vector<unsigned char>& packs);

/// Writes the BIN file and the CUE sheet (and, with CD-Text, the ".cdt" file the sheet names)
/// of an audio disc; `progress` gets the bytes written so far.
void WriteBinCue(const TAudioDisc& disc, const std::string& cuePath, const std::function<void(int64_t)>& progress);

}  // namespace discburn
