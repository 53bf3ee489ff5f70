#include "app/options/presets.h"

namespace app {

namespace {
constexpr int K = kKeep;
// Index of "Stereo" in the channel list; every preset sets it.
constexpr int kStereo = 2;

// Columns: group, caption, icon, format, video encoder, frame size, video bit rate, frame rate,
// sample rate, audio bit rate, audio encoder. Indexes refer to the lists of option_lists.cpp.
const TPreset kPresets[] = {
    {"General", "AVI (*.avi)", 0, 0, K, K, 0, K, 4, 7, K},
    {"General", "M4V (*.m4v)", 1, 1, K, K, 0, K, 4, 6, K},
    {"General", "MKV (*.mkv)", 2, 2, K, K, 0, K, 4, 7, K},
    {"General", "QuickTime (*.mov)", 3, 3, K, K, 0, K, 4, 7, K},
    {"General", "MPEG4 (*.mp4)", 4, 4, K, K, 0, K, 4, 6, K},
    {"General", "MPEG4 AVC (*.mp4)", 4, 4, 1, K, 0, K, 4, 6, K},
    {"General", "MPEG (*.mpg)", 5, 5, K, K, 0, K, 4, 7, K},
    {"General", "VOB (*.vob)", 7, 7, K, 10, 14, 4, 4, 11, K},
    {"General", "WebM (*.webm)", 8, 8, K, K, 0, K, 4, 7, K},
    {"General", "WMV (*.wmv)", 9, 9, K, K, 0, K, 4, 7, K},
    {"General", "DVD-Video (*.vob)", 10, 7, K, 10, 14, 4, 4, 9, K},
    {"HD Video", "HD AVI (*.avi)", 0, 0, 1, 19, 19, K, 5, 9, 1},
    {"HD Video", "HD XviD (*.avi)", 0, 0, 3, 19, 18, K, 4, 7, 0},
    {"HD Video", "HD MKV (*.mkv)", 2, 2, 1, 19, 16, K, 4, 9, 0},
    {"HD Video", "HD MPEG4 (*.mp4)", 4, 4, 0, 19, 16, K, 4, 7, 0},
    {"HD Video", "HD AVC (*.mp4)", 4, 4, 1, 19, 16, K, 4, 9, 0},
    {"HD Video", "HD MPEG (*.mpg)", 5, 5, 1, 19, 19, K, 4, 7, 0},
    {"HD Video", "HD TS (*.ts)", 6, 6, 0, 19, 16, K, 4, 9, 0},
    {"HD Video", "HD VOB (*.vob)", 7, 7, 0, 19, 19, K, 4, 13, 0},
    {"HD Video", "HD WebM (*.webm)", 8, 8, 0, 19, 13, K, 4, 7, 0},
    {"HD Video", "HD WMV (*.wmv)", 9, 9, 1, 19, 16, K, 5, 7, 1},
    {"4K Video", "4K AVI (*.avi)", 0, 0, 1, 26, 24, K, 4, 9, 1},
    {"4K Video", "4K XviD (*.avi)", 0, 0, 3, 26, 24, K, 4, 7, 0},
    {"4K Video", "4K MKV (*.mkv)", 2, 2, 1, 26, 24, K, 4, 9, 0},
    {"4K Video", "4K MPEG4 (*.mp4)", 4, 4, 0, 26, 24, K, 4, 7, 0},
    {"4K Video", "4K AVC (*.mp4)", 4, 4, 1, 26, 24, K, 4, 7, 0},
    {"4K Video", "4K TS (*.ts)", 6, 6, 0, 26, 24, K, 4, 9, 0},
    {"4K Video", "4K WebM (*.webm)", 8, 8, 0, 26, 24, K, 4, 7, 0},
    {"iPhone", "iPhone 5/6 MOV (*.mov)", 3, 3, 0, 8, 9, K, 4, 7, 1},
    {"iPhone", "iPhone 5/6 MPEG4 (*.mp4)", 4, 4, 1, 8, 10, K, 4, 7, 0},
    {"iPhone", "iPhone 5/6 HD (*.mp4)", 4, 4, 1, 19, 16, K, 5, 8, 0},
    {"iPhone", "iPhone 5/6 720p (*.mp4)", 4, 4, 1, 14, 16, K, 5, 8, 0},
    {"iPhone", "iPhone 7/8/X HD (*.mp4)", 4, 4, 1, 19, 18, K, 5, 8, 0},
    {"iPad", "iPad 4/Pro/Air MOV (*.mov)", 3, 3, 0, 8, 9, K, 4, 7, 1},
    {"iPad", "iPad 4/Pro/Air HD (*.mp4)", 4, 4, 1, 19, 18, K, 5, 8, 0},
    {"iPad", "iPad 4/Pro/Air 720p (*.mp4)", 4, 4, 1, 14, 12, K, 5, 8, 0},
    {"Apple TV", "Apple TV 2 DD (*.m4v)", 1, 1, 1, 14, 12, K, 5, 7, 1},
    {"Apple TV", "Apple TV 3/4 DD (*.m4v)", 1, 1, 1, 20, 14, K, 5, 7, 0},
    {"Apple TV", "Apple TV MPEG4 (*.mp4)", 4, 4, 1, 10, 9, K, 5, 7, 0},
    {"Apple TV", "Apple TV HD (*.mp4)", 4, 4, 1, 14, 12, 3, 5, 7, 0},
};

void SetIfGiven(int& target, int value) {
  if (value != kKeep) target = value;
}

void SetEncoder(int& target, int value, qsizetype count) {
  if (value == kKeep) return;
  target = value >= 0 && value < count ? value : -1;
}
}  // namespace

const QStringList& PresetGroups() {
  static const QStringList groups = {QStringLiteral("General"),  QStringLiteral("HD Video"),
                                     QStringLiteral("4K Video"), QStringLiteral("iPhone"),
                                     QStringLiteral("iPad"),     QStringLiteral("Apple TV")};
  return groups;
}

const std::vector<TPreset>& Presets() {
  static const std::vector<TPreset> presets(std::begin(kPresets), std::end(kPresets));
  return presets;
}

std::vector<const TPreset*> PresetsOf(const QString& group) {
  std::vector<const TPreset*> result;
  for (const TPreset& preset : Presets())
    if (group == QLatin1String(preset.Group)) result.push_back(&preset);
  return result;
}

void ApplyPreset(TOutputSettings& settings, const TPreset& preset) {
  settings.VideoFormat = preset.VideoFormat;
  settings.VideoEncoder = 0;
  settings.AudioEncoder = 0;
  const QString format = VideoFormatText(settings);
  SetEncoder(settings.VideoEncoder, preset.VideoEncoder, VideoEncodersFor(format).size());
  SetIfGiven(settings.VideoFrameSize, preset.VideoFrameSize);
  SetIfGiven(settings.VideoBitrate, preset.VideoBitrate);
  SetIfGiven(settings.VideoFrameRate, preset.VideoFrameRate);
  SetIfGiven(settings.AudioSampleRate, preset.AudioSampleRate);
  SetIfGiven(settings.AudioBitrate, preset.AudioBitrate);
  SetEncoder(settings.AudioEncoder, preset.AudioEncoder, AudioEncodersFor(format).size());
  settings.AudioChannel = kStereo;
}

}  // namespace app
