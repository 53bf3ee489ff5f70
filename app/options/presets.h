#pragma once
// The ready-made output settings of the Profiles window: fixed in the program, in six groups.

#include <QString>
#include <QStringList>
#include <vector>

#include "app/options/output_settings.h"

namespace app {

/// A preset field that leaves its list as it is.
inline constexpr int kKeep = -1;

struct TPreset {
  const char* Group;    // "General", "HD Video", ...
  const char* Caption;  // "AVI (*.avi)", ...
  int Icon;             // index into the Profiles window's icons ("avi_32" ... "dvd_32")
  int VideoFormat;
  int VideoEncoder;  // kKeep: the first entry that the refill selects
  int VideoFrameSize;
  int VideoBitrate;
  int VideoFrameRate;
  int AudioSampleRate;
  int AudioBitrate;
  int AudioEncoder;  // kKeep: the first entry that the refill selects
};

/// The six groups in tree order.
const QStringList& PresetGroups();
/// Every preset, in group and table order.
const std::vector<TPreset>& Presets();
/// The presets of one group, in table order.
std::vector<const TPreset*> PresetsOf(const QString& group);

/// Applies a preset the way its window does: the container is set and both encoder lists are
/// refilled (their first entries selected), then every index the preset gives is set and the
/// channels become "Stereo". An encoder index beyond its refilled list leaves that list without a
/// selection. Aspect ratio, audio format, custom frame size and effects are never touched.
void ApplyPreset(TOutputSettings& settings, const TPreset& preset);

}  // namespace app
