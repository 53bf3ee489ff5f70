#pragma once
// TWaveFeed: the audio window's answer to the wave input adapter (media::TWaveInputAdapter): the
// PCM of the window's loaded source, decoded packet by packet and handed out in pieces of at most
// the size the "waveinput" format asks for. A conversion whose input option text selects
// "-f waveinput" with the adapter's name as file name then converts that PCM.

#include <cstdint>
#include <functional>
#include <string>

#include "media/wave_input.h"

namespace media {
class TFFDecoder;
}

namespace app {

class TWaveFeed {
 public:
  explicit TWaveFeed(media::TFFDecoder& decoder) : FDecoder(decoder) {}

  /// At every file start: nothing unread, and the time limit in microseconds (0: none, the feed
  /// ends with the source; above 0: the source is read again from its start until the limit).
  void Reset(std::int64_t timeLimit = 0);
  /// WIAReadWaveData: bytes copied into data, or -1 at the end (the limit passed, or the source
  /// ended without a limit, or it could not be read again: OnError gets the decoder's reason).
  int ReadWaveData(std::uint8_t* data, media::TInputWaveInfo* info);
  /// Binds ReadWaveData as the adapter's OnReadWaveData.
  void Attach(media::TWaveInputAdapter& adapter);

  /// A failure the window logs in red.
  std::function<void(const std::string& message)> OnError;

 private:
  media::TFFDecoder& FDecoder;
  int FUnread = 0;
  std::int64_t FTimeLimit = 0;
};

}  // namespace app
