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
};

/// Runs "ffprobe" on path (found through PATH). Ok is false when ffprobe is missing or cannot read
/// the file.
inline TProbeResult Probe(const QString& path) {
  TProbeResult result;
  QProcess process;
  process.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=codec_type,codec_name:format=duration"), QStringLiteral("-of"),
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
  for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
    QString name;
    QString type;
    for (const QString& field : line.split(QLatin1Char('|'))) {
      if (field.startsWith(QLatin1String("codec_name="))) name = field.mid(11);
      if (field.startsWith(QLatin1String("codec_type="))) type = field.mid(11);
      if (field.startsWith(QLatin1String("duration="))) result.Duration = field.mid(9).toDouble();
    }
    if (type == QLatin1String("video")) result.VideoCodecs << name;
    if (type == QLatin1String("audio")) result.AudioCodecs << name;
  }
  result.Ok = true;
  return result;
}

}  // namespace testing_support
