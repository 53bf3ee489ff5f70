#include "app/options/option_lists.h"

#include <QRegularExpression>

namespace app {

namespace {
QStringList Texts(std::initializer_list<const char*> items) {
  QStringList list;
  for (const char* item : items) list.append(QString::fromLatin1(item));
  return list;
}
}  // namespace

const QStringList& VideoFormats() {
  static const QStringList list =
      Texts({"AVI", "M4V", "MKV", "MOV", "MP4", "MPG", "TS", "VOB", "WebM", "WMV"});
  return list;
}

const QStringList& VideoAspects() {
  static const QStringList list = Texts({"Original", "4:3", "16:9", "37:20", "47:20"});
  return list;
}

const QStringList& VideoFrameRates() {
  static const QStringList list = Texts({"Original", "10", "15", "25", "30"});
  return list;
}

const QStringList& VideoBitrates() {
  static const QStringList list =
      Texts({"Original", "256",   "384",   "512",   "640",   "768",   "900",   "1000",  "1200",  "1500",
             "2000",     "2500",  "3000",  "4000",  "5000",  "6000",  "7000",  "8000",  "9000",  "10000",
             "12000",    "15000", "18000", "20000", "25000", "30000", "35000", "40000", "45000", "50000"});
  return list;
}

const QStringList& AudioFormats() {
  static const QStringList list = Texts({"MP3", "WAV", "OGG", "FLAC", "WMA"});
  return list;
}

const QStringList& AudioSampleRates() {
  static const QStringList list = Texts({"Original", "8000", "11025", "22050", "44100", "48000"});
  return list;
}

const QStringList& AudioChannels() {
  static const QStringList list = Texts({"Original", "Mono", "Stereo"});
  return list;
}

const QStringList& AudioBitrates() {
  static const QStringList list =
      Texts({"32", "40", "48", "56", "64", "80", "96", "128", "160", "192", "224", "256", "320", "384"});
  return list;
}

QStringList VideoFrameSizes(const QString& customSize) {
  static const QStringList fixed = Texts(
      {"Original",  "128x96",    "160x120",   "176x144",   "320x200",   "320x240",   "352x288",   "640x350",
       "640x480",   "704x576",   "720x480",   "800x600",   "852x480",   "1024x768",  "1280x720",  "1280x1024",
       "1366x768",  "1600x1200", "1600x1024", "1920x1080", "1920x1200", "2048x1536", "2560x1600", "2560x2048",
       "3200x2048", "3840x2400", "4096x2160", "5120x4096", "6400x4096"});
  QStringList list = fixed;
  list.append(customSize);
  return list;
}

QStringList VideoEncodersFor(const QString& videoFormat) {
  static const QStringList formats = VideoFormats();
  switch (formats.indexOf(videoFormat)) {
    case 0:
      return Texts({"MPEG4", "H.264", "DivX", "xVid"});  // AVI
    case 1:
      return Texts({"MPEG4", "H.264"});  // M4V
    case 2:
      return Texts({"MPEG4", "H.264", "xVid"});  // MKV
    case 3:
      return Texts({"MPEG4", "H.264"});  // MOV
    case 4:
      return Texts({"MPEG4", "H.264"});  // MP4
    case 5:
      return Texts({"MPEG2"});  // MPG
    case 6:
      return Texts({"H.264"});  // TS
    case 7:
      return Texts({"MPEG2"});  // VOB
    case 8:
      return Texts({"VP8"});  // WebM
    case 9:
      return Texts({"WMV"});  // WMV
    default:
      return {};
  }
}

QStringList AudioEncodersFor(const QString& videoFormat) {
  static const QStringList formats = VideoFormats();
  switch (formats.indexOf(videoFormat)) {
    case 0:
      return Texts({"MP3", "AC3"});  // AVI
    case 1:
      return Texts({"AAC"});  // M4V
    case 2:
      return Texts({"MP3", "AAC"});  // MKV
    case 3:
      return Texts({"AAC"});  // MOV
    case 4:
      return Texts({"AAC", "AC3"});  // MP4
    case 5:
      return Texts({"MP2"});  // MPG
    case 6:
      return Texts({"AC3"});  // TS
    case 7:
      return Texts({"MP2", "AC3"});  // VOB
    case 8:
      return Texts({"OGG"});  // WebM
    case 9:
      return Texts({"WMA"});  // WMV
    default:
      return {};
  }
}

QString EntryText(const QStringList& entries, int index) {
  return index >= 0 && index < entries.size() ? entries[index] : QString();
}

bool IsValidFrameSize(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral("^([1-9][0-9]{0,4})x([1-9][0-9]{0,4})$"));
  return pattern.match(text).hasMatch();
}

int MatchOrReplaceCustomSize(QStringList& entries, const QString& size) {
  for (int i = 1; i < entries.size(); ++i)
    if (entries[i] == size) return i;
  if (entries.isEmpty())
    entries.append(size);
  else
    entries.last() = size;
  return static_cast<int>(entries.size()) - 1;
}

}  // namespace app
