#include "burning/discburn/audio_file.h"

#include <algorithm>
#include <cstdio>

#include "burning/discburn/burn_error.h"
#include "media/cd_audio_decoder.h"
#include "media/ff_exception.h"
#include "media/ff_loader.h"

namespace discburn {

namespace {

void LoadFFmpeg() {
  // This library holds its own copy of the media library's loader: the program's logger, in
  // the program's copy, keeps FFmpeg's log callback, so this copy must not take it over.
  media::FFLoader().SetInstallLogger(false);
  media::LoadCdAudioLibraries();
}

}  // namespace

TAudioFile ReadAudioFile(const std::string& path, bool audioOnly) {
  TAudioFile file;
  try {
    file.Data = ReadWave(path);
    file.Seconds = static_cast<double>(file.Data.Bytes) / (44100.0 * 4);
    return file;
  } catch (const EDiscBurn&) {
    // not in the CD's format: decoded
  }
  try {
    LoadFFmpeg();
    const media::TCdAudioLength length = media::MeasureCdAudio(path, audioOnly);
    file.Decoded = true;
    file.Data = {0, length.CdSamples * 4};
    file.Seconds = length.Seconds();
    return file;
  } catch (const media::FFmpegException& e) {
    throw EDiscBurn(code::SourceUnreadable,
                    "Not an audio file that can be decoded: " + path + " (" + e.what() + ")");
  }
}

TTrackPcm::TTrackPcm(const TAudioTrack& track) : FSource(track.Source), FLeft(track.Data.Bytes) {
  try {
    if (track.Decoded) {
      LoadFFmpeg();
      media::TCdAudioLength length;
      length.CdSamples = track.Data.Bytes / 4;
      FDecoder = std::make_unique<media::TCdAudioDecoder>(track.Source, length);
      FLeft = length.CdSamples * 4;
      return;
    }
  } catch (const media::FFmpegException& e) {
    throw EDiscBurn(code::SourceUnreadable,
                    "The audio file cannot be decoded: " + FSource + " (" + e.what() + ")");
  }
  FWave.reset(std::fopen(track.Source.c_str(), "rb"));
  if (!FWave || fseeko(FWave.get(), track.Data.Offset, SEEK_SET) != 0)
    throw EDiscBurn(code::SourceUnreadable, "Source file cannot be read: " + FSource);
}

TTrackPcm::~TTrackPcm() = default;

size_t TTrackPcm::Read(unsigned char* buffer, size_t bytes) {
  const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(bytes), FLeft));
  size_t n = 0;
  if (FDecoder) {
    try {
      n = FDecoder->Read(buffer, want);
    } catch (const media::FFmpegException& e) {
      throw EDiscBurn(code::SourceUnreadable,
                      "The audio file cannot be decoded: " + FSource + " (" + e.what() + ")");
    }
  } else {
    n = std::fread(buffer, 1, want, FWave.get());
  }
  if (n < want) throw EDiscBurn(code::SourceUnreadable, "Source file cannot be read: " + FSource);
  FLeft -= static_cast<int64_t>(n);
  return n;
}

}  // namespace discburn
