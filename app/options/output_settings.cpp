#include "app/options/output_settings.h"

namespace app {

namespace {
void ClampToList(int& index, qsizetype count) {
  if (index < 0 || index >= count) index = 0;
}
void UnselectOutside(int& index, qsizetype count) {
  if (index < 0 || index >= count) index = -1;
}
}  // namespace

void NormalizeSelection(TOutputSettings& settings) {
  if (!IsValidFrameSize(settings.CustomFrameSize))
    settings.CustomFrameSize = QString::fromLatin1(kDefaultCustomFrameSize);
  ClampToList(settings.VideoFormat, VideoFormats().size());
  const QString format = VideoFormatText(settings);
  UnselectOutside(settings.VideoEncoder, VideoEncodersFor(format).size());
  UnselectOutside(settings.AudioEncoder, AudioEncodersFor(format).size());
  ClampToList(settings.VideoAspect, VideoAspects().size());
  ClampToList(settings.VideoFrameSize, kFrameSizeCount);
  ClampToList(settings.VideoFrameRate, VideoFrameRates().size());
  ClampToList(settings.VideoBitrate, VideoBitrates().size());
  ClampToList(settings.AudioFormat, AudioFormats().size());
  ClampToList(settings.AudioChannel, AudioChannels().size());
  ClampToList(settings.AudioSampleRate, AudioSampleRates().size());
  ClampToList(settings.AudioBitrate, AudioBitrates().size());
}

QString VideoFormatText(const TOutputSettings& settings) {
  return EntryText(VideoFormats(), settings.VideoFormat);
}

}  // namespace app
