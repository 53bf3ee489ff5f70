#include "app/options/option_builder.h"

#include <QStringList>

namespace app {

namespace {
const QString kOriginal = QStringLiteral("Original");

// Channel and sample-rate pieces are shared by both builders.
QString ChannelsAndRate(const TOutputSettings& settings) {
  QString s;
  const QString channel = EntryText(AudioChannels(), settings.AudioChannel);
  if (channel == QLatin1String("Mono"))
    s += QLatin1String(" -ac 1");
  else if (channel == QLatin1String("Stereo"))
    s += QLatin1String(" -ac 2");
  const QString sampleRate = EntryText(AudioSampleRates(), settings.AudioSampleRate);
  if (sampleRate != kOriginal) s += QLatin1String(" -ar ") + sampleRate;
  return s;
}
}  // namespace

QString VideoOptionString(const TOutputSettings& settings) {
  const QString format = VideoFormatText(settings);
  const QString videoEncoder = EntryText(VideoEncodersFor(format), settings.VideoEncoder);
  const QString audioEncoder = EntryText(AudioEncodersFor(format), settings.AudioEncoder);
  const QString audioBitrate = EntryText(AudioBitrates(), settings.AudioBitrate);
  const QString videoBitrate = EntryText(VideoBitrates(), settings.VideoBitrate);
  const QString aspect = EntryText(VideoAspects(), settings.VideoAspect);
  const QString frameRate = EntryText(VideoFrameRates(), settings.VideoFrameRate);
  const QString frameSize = EntryText(VideoFrameSizes(settings.CustomFrameSize), settings.VideoFrameSize);
  const bool webm = format == QLatin1String("WebM");

  QString s = QLatin1String("-b:a ") + audioBitrate + QLatin1Char('k');
  if (videoBitrate != kOriginal)
    s = QLatin1String("-b:a ") + audioBitrate + QLatin1String("k -b:v ") + videoBitrate + QLatin1Char('k');
  if (webm) s += QLatin1String(" -f webm ");
  if (aspect != kOriginal) s += QLatin1String(" -aspect ") + aspect;
  s += ChannelsAndRate(settings);
  if (frameRate != kOriginal) s += QLatin1String(" -r ") + frameRate;

  if (audioEncoder == QLatin1String("MP3"))
    s += QLatin1String(" -c:a libmp3lame");
  else if (audioEncoder == QLatin1String("AC3"))
    s += QLatin1String(" -c:a ac3");
  else if (audioEncoder == QLatin1String("AAC"))
    s += QLatin1String(" -c:a aac -astrict experimental");
  else if (audioEncoder == QLatin1String("MP2"))
    s += QLatin1String(" -c:a mp2");
  else if (audioEncoder == QLatin1String("WMA"))
    s += QLatin1String(" -c:a wmav2");
  if (webm) s += QLatin1String(" -c:a libvorbis");

  // The container picks a codec first; an encoder other than the list's first entry (or no
  // selection at all, which names none) replaces it.
  QString codec;
  const QString extension = QLatin1Char('.') + format.toLower();
  if (extension == QLatin1String(".mkv"))
    codec = QStringLiteral("libx264");
  else if (extension == QLatin1String(".wmv"))
    codec = QStringLiteral("wmv2");
  else if (extension == QLatin1String(".webm"))
    codec = QStringLiteral("libvpx");
  if (settings.VideoEncoder != 0) codec = videoEncoder.toLower();

  if (format == QLatin1String("VOB"))
    s += QLatin1String(" -target ntsc-dvd");
  else if (format == QLatin1String("MPG"))
    s += QLatin1String(" -target ntsc-vcd");

  if (videoEncoder == QLatin1String("MPEG4")) {
    codec = QStringLiteral("mpeg4");
  } else if (videoEncoder == QLatin1String("WMV")) {
    codec = QStringLiteral("wmv2");
  } else if (videoEncoder == QLatin1String("H.264")) {
    codec = QStringLiteral("libx264 -threads 8 -pix_fmt yuv420p");
  } else if (videoEncoder == QLatin1String("MPEG2")) {
    codec = QStringLiteral("mpeg2video");
  } else if (codec == QLatin1String("xvid")) {
    codec = QStringLiteral("libxvid");
  } else if (codec == QLatin1String("divx")) {
    codec.clear();
    s += QLatin1String(" -c:v mpeg4 -tag:v DIVX -vstrict unofficial");
    if (frameRate == kOriginal) s += QLatin1String(" -r 15000/1001");
  }
  if (!codec.isEmpty()) s += QLatin1String(" -c:v ") + codec;

  QStringList filters;
  if (frameSize != kOriginal)
    filters.append(QLatin1String("scale=") + QString(frameSize).replace(QLatin1Char('x'), QLatin1Char(':')));
  if (settings.Effects.VFlip) filters.append(QStringLiteral("vflip"));
  if (settings.Effects.HFlip) filters.append(QStringLiteral("hflip"));
  if (settings.Effects.Deinterlace) filters.append(QStringLiteral("yadif"));
  if (settings.Effects.Negate) filters.append(QStringLiteral("negate"));
  if (!filters.isEmpty())
    s += QLatin1String(" -vf \"") + filters.join(QLatin1Char(',')) + QLatin1String("\" ");

  s += QLatin1String(" -sn ");
  return s;
}

QString AudioOptionString(const TOutputSettings& settings) {
  QString s = QLatin1String("-b:a ") + EntryText(AudioBitrates(), settings.AudioBitrate) + QLatin1Char('k');
  s += ChannelsAndRate(settings);
  const QString format = EntryText(AudioFormats(), settings.AudioFormat);
  if (format == QLatin1String("MP3"))
    s += QLatin1String(" -c:a libmp3lame");
  else if (format == QLatin1String("OGG"))
    s += QLatin1String(" -c:a libvorbis");
  else if (format == QLatin1String("FLAC"))
    s += QLatin1String(" -c:a flac");
  else if (format == QLatin1String("WMA"))
    s += QLatin1String(" -c:a wmav2");
  // WAV names no codec: the container's default is PCM.
  s += QLatin1String(" -vn");
  return s;
}

}  // namespace app
