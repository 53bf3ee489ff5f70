// Audio files as the tracks of an audio CD. A WAV file in the CD's own format (44.1 kHz,
// 16-bit, stereo PCM) is read as it is; any other audio file FFmpeg reads (MP3, FLAC, Ogg
// Vorbis, AAC or M4A, WAV of another format...) is decoded and resampled to that format
// through the media library's FFmpeg binding, while the track is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "burning/discburn/audio_disc.h"

namespace media {
class TCdAudioDecoder;
}

namespace discburn {

struct TAudioFile {
  TWaveData Data;        // a CD-format WAV file's PCM; for a decoded file Offset 0 and its length
  bool Decoded = false;  // the file is decoded when its track is written
  double Seconds = 0;    // the exact play time
};

/// Reads a WAV file's header, or decodes any other audio file once to measure it (its sound
/// counted to the sample). With audioOnly a file with a video stream is refused. Throws
/// EDiscBurn(SourceUnreadable) with FFmpeg's reason for a file that is not one it can decode.
TAudioFile ReadAudioFile(const std::string& path, bool audioOnly = false);

/// The PCM of one track, exactly track.Data.Bytes bytes: a WAV file's data, or a file decoded
/// to the CD's format (cut or padded with silence to the length it was measured at).
class TTrackPcm {
 public:
  /// Throws EDiscBurn(SourceUnreadable) when the file cannot be opened.
  explicit TTrackPcm(const TAudioTrack& track);
  ~TTrackPcm();
  /// The next min(bytes, Left()) bytes; throws EDiscBurn(SourceUnreadable) with the reason
  /// when the file cannot be read or decoded.
  size_t Read(unsigned char* buffer, size_t bytes);
  int64_t Left() const { return FLeft; }

 private:
  std::string FSource;
  int64_t FLeft;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> FWave{nullptr, std::fclose};
  std::unique_ptr<media::TCdAudioDecoder> FDecoder;
};

}  // namespace discburn
