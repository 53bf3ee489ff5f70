#pragma once
// An outside look at a converted file: FFmpeg's own ffprobe reads it, so a fault shared by our
// encoder and our decoder cannot hide itself.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testing_support {

struct TProbeResult {
  bool Ok = false;
  QString Error;            // why Ok is false
  QStringList VideoCodecs;  // "mpeg4", in stream order
  QStringList AudioCodecs;  // "mp3", "flac"
  double Duration = -1;     // seconds, of the container
  int Width = -1;           // of the first video stream
  int Height = -1;
  int Channels = -1;        // of the first audio stream
};

/// Runs "ffprobe" on path (found through PATH). Ok is false when ffprobe is missing or cannot read
/// the file.
inline TProbeResult Probe(const QString& path) {
  TProbeResult result;
  QProcess process;
  process.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=codec_type,codec_name,width,height,channels:format=duration"), QStringLiteral("-of"),
                 QStringLiteral("compact=nk=0"), path});
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
    result.Error = QStringLiteral("ffprobe did not run: ") + process.errorString();
    return result;
  }
  if (process.exitCode() != 0) {
    result.Error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return result;
  }
  // "stream|codec_name=mpeg4|codec_type=video" and "format|duration=2.040000" lines.
  // A transport stream lists its streams twice: first in its program (a block that ends with an
  // empty line), then on their own.
  bool inProgram = false;
  for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
    if (line.startsWith(QLatin1String("program|"))) inProgram = true;
    if (inProgram) {
      inProgram = !line.isEmpty();
      continue;
    }
    QString name;
    QString type;
    int width = -1;
    int height = -1;
    int channels = -1;
    for (const QString& field : line.split(QLatin1Char('|'))) {
      if (field.startsWith(QLatin1String("codec_name="))) name = field.mid(11);
      if (field.startsWith(QLatin1String("codec_type="))) type = field.mid(11);
      if (field.startsWith(QLatin1String("duration="))) result.Duration = field.mid(9).toDouble();
      if (field.startsWith(QLatin1String("width="))) width = field.mid(6).toInt();
      if (field.startsWith(QLatin1String("height="))) height = field.mid(7).toInt();
      if (field.startsWith(QLatin1String("channels="))) channels = field.mid(9).toInt();
    }
    if (type == QLatin1String("video")) {
      if (result.VideoCodecs.isEmpty()) {
        result.Width = width;
        result.Height = height;
      }
      result.VideoCodecs << name;
    }
    if (type == QLatin1String("audio")) {
      if (result.AudioCodecs.isEmpty()) result.Channels = channels;
      result.AudioCodecs << name;
    }
  }
  result.Ok = true;
  return result;
}

}  // namespace testing_support
