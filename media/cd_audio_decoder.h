#pragma once
// Any audio file FFmpeg reads, as the sound of an audio CD: 44.1 kHz, signed 16-bit, two
// interleaved channels, little-endian (s16le), 4 bytes a sample. The disc-burning library
// measures its tracks with MeasureCdAudio and writes them with TCdAudioDecoder. The file's
// audio stream is the one FFmpeg picks as the best; it is decoded and resampled through the
// libraries the loader binds (media/ff_loader.h): avutil, swresample, avcodec, avformat.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace media {

/// The length of a file's audio.
struct TCdAudioLength {
  std::int64_t Samples = 0;    // of the source, at its own rate
  int SampleRate = 0;          // of the source
  std::int64_t CdSamples = 0;  // the same time at 44.1 kHz (rounded): what TCdAudioDecoder gives
  double Seconds() const { return SampleRate > 0 ? static_cast<double>(Samples) / SampleRate : 0.0; }
};

/// Loads the libraries the decoder needs (once; later calls return at once). Throws
/// FFmpegException with the loader's text when one is missing.
void LoadCdAudioLibraries();

/// Decodes the file once and counts its samples: what a decoder delivers, cut to the stream's
/// length when the file states it exactly (an Ogg or MP4 file ends inside its last decoded
/// frame; an MP3 file's LAME header has the decoder drop its encoder delay and padding itself),
/// so the count is the sound the file holds, to the sample. With audioOnly a file with a video
/// stream (other than a cover picture) is refused before anything is decoded. Throws
/// FFmpegException naming the failing FFmpeg function and FFmpeg's reason, or saying that the
/// file holds no audio.
TCdAudioLength MeasureCdAudio(const std::string& path, bool audioOnly = false);

/// One pass over a file's audio as CD PCM. Not thread-safe; used by one thread at a time.
class TCdAudioDecoder {
 public:
  /// Opens the file; Read then gives exactly length.CdSamples * 4 bytes, the decoded sound cut
  /// or padded with silence to that length (a file changed since it was measured still gives
  /// the length its track was planned with). Throws like MeasureCdAudio.
  TCdAudioDecoder(const std::string& path, const TCdAudioLength& length);
  ~TCdAudioDecoder();
  TCdAudioDecoder(const TCdAudioDecoder&) = delete;
  TCdAudioDecoder& operator=(const TCdAudioDecoder&) = delete;

  /// Fills buffer with the next min(bytes, what is left) bytes; 0 at the end. Throws
  /// FFmpegException when decoding fails; the decoder is of no further use then.
  std::size_t Read(unsigned char* buffer, std::size_t bytes);

 private:
  struct TState;
  std::unique_ptr<TState> F;
};

}  // namespace media
