#include "burning/discburn/audio_file.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include "burning/discburn/burn_error.h"
#include "burning/discburn/library_messages.h"
#include "media/cd_audio_decoder.h"
#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media/ff_loader.h"

namespace discburn {

namespace {

/// FFmpeg's log callback while this library is the one that loaded FFmpeg: its lines (a
/// decoder's "Header missing", say) go to the library's log and events, never to the terminal
/// of whoever loaded the library. Pieces are joined per thread into whole lines.
void QueueFFmpegLine(void* avcl, int level, const char* format, va_list args) {
  if (level > AV_LOG_INFO) return;
  thread_local std::string line;
  const AVClass* avClass = avcl ? *static_cast<const AVClass* const*>(avcl) : nullptr;
  if (line.empty() && avClass && avClass->item_name)
    line = std::string("[") + avClass->item_name(avcl) + "] ";
  char piece[1024];
  va_list copy;
  va_copy(copy, args);
  std::vsnprintf(piece, sizeof piece, format, copy);
  va_end(copy);
  line += piece;
  if (line.empty() || line.back() != '\n') return;
  line.pop_back();
  // Below Sorry whatever FFmpeg's level: a file that cannot be decoded fails by its own error.
  QueueMessage({line, level <= AV_LOG_WARNING ? severity::Warning : severity::Note});
  line.clear();
}

void LoadFFmpeg() {
  static std::once_flag once;
  std::call_once(once, [] {
    // This library holds its own copy of the media library's loader: the program's logger, in
    // the program's copy, keeps FFmpeg's log callback, so this copy must not take it over. A
    // host that has not loaded FFmpeg itself has no callback of its own in it: the library's
    // then keeps FFmpeg's lines off its terminal (a host that loads FFmpeg later installs its
    // own).
    media::FFLoader().SetInstallLogger(false);
    const std::string avUtil = media::TFFLoader::LibraryFileName(media::TLibrary::avUtil);
    void* loaded = dlopen(avUtil.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (loaded) dlclose(loaded);
    media::LoadCdAudioLibraries();
    if (!loaded) media::FF().av_log_set_callback(&QueueFFmpegLine);
  });
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
