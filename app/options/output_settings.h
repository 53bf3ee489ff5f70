#pragma once
// The output choices of the main window as plain data: the selected entry of each list, the
// custom frame size and the effect switches. The option-string builders, the presets and the
// settings file work on this record; the main window mirrors it in its lists.

#include <QString>

#include "app/options/option_lists.h"

namespace app {

/// The video effects that become filters of the video option text; all off at start, never
/// stored in the settings file.
struct TEffects {
  bool VFlip = false;
  bool HFlip = false;
  bool Deinterlace = false;
  bool Negate = false;
  bool operator==(const TEffects&) const = default;
};

/// Zero-based entry indexes of the main window's lists; -1 is a list without a selection.
struct TOutputSettings {
  int VideoFormat = 0;
  int VideoEncoder = 0;
  int VideoAspect = 0;
  int VideoFrameSize = 0;
  int VideoFrameRate = 0;
  int VideoBitrate = 0;
  int AudioFormat = 0;
  int AudioEncoder = 0;
  int AudioChannel = 0;
  int AudioSampleRate = 0;
  int AudioBitrate = 0;
  /// The last entry of the frame-size list.
  QString CustomFrameSize = QString::fromLatin1(kDefaultCustomFrameSize);
  TEffects Effects;
  bool operator==(const TOutputSettings&) const = default;
};

/// Makes every index usable by the builders: an index outside a value list (format, frame size,
/// aspect ratio, frame rate, bit rates, sample rate, channels, audio format) becomes 0, because an
/// empty entry would build a broken option text ("-b:a k", "scale=", "-aspect" that swallows the
/// next option). The encoder lists alone may stay without a selection (-1): the presets rely on
/// it to leave the codec to the muxer. An invalid custom frame size becomes the default one.
void NormalizeSelection(TOutputSettings& settings);

/// The selected container text ("AVI" ... "WMV"), empty without a selection.
QString VideoFormatText(const TOutputSettings& settings);

}  // namespace app
