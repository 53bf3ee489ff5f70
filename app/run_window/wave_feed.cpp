#include "app/run_window/wave_feed.h"

#include <algorithm>
#include <cstring>

#include "media/ff_decoder.h"

namespace app {

void TWaveFeed::Reset(std::int64_t timeLimit) {
  FUnread = 0;
  FTimeLimit = timeLimit;
}

int TWaveFeed::ReadWaveData(std::uint8_t* data, media::TInputWaveInfo* info) {
  if (FTimeLimit > 0 && info->TimeStamp > FTimeLimit) return -1;
  if (FUnread == 0) {
    if (!FDecoder.DecodeAudio()) {
      if (FTimeLimit <= 0) return -1;
      // Up to the limit the source starts again from its beginning.
      if (!FDecoder.Seek(0) || !FDecoder.DecodeAudio()) {
        if (OnError) OnError(FDecoder.LastErrMsg());
        return -1;
      }
    }
    FUnread = FDecoder.WaveInfo().Size;
    if (FUnread <= 0) return -1;
  }
  const media::TWaveInfo& wave = FDecoder.WaveInfo();
  const int n = std::min(info->FrameSize, FUnread);
  std::memcpy(data, wave.Buffer + (wave.Size - FUnread), std::size_t(n));
  FUnread -= n;
  return n;
}

void TWaveFeed::Attach(media::TWaveInputAdapter& adapter) {
  adapter.OnReadWaveData = [this](media::TWaveInputAdapter*, std::uint8_t* data, media::TInputWaveInfo* info) {
    return ReadWaveData(data, info);
  };
}

}  // namespace app
