#include "app/run_window/run_format.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

namespace app {

namespace {
// Digits of a non-negative integer in groups of three, "1,234,567".
QString GroupThousands(int64_t value) {
  QString digits = QString::number(value);
  for (int i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char(','));
  return digits;
}
}  // namespace

QString FormatRunSize(int64_t bytes) {
  if (bytes < 0) bytes = 0;
  if (bytes <= 1048576) return GroupThousands(std::llround(bytes / 1024.0)) + QStringLiteral(" KB");
  const int64_t hundredths = std::llround(bytes / 1048576.0 * 100.0);
  return GroupThousands(hundredths / 100) + QLatin1Char('.') +
         QStringLiteral("%1").arg(hundredths % 100, 2, 10, QLatin1Char('0')) + QStringLiteral(" MB");
}

QString FormatRunTime(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
      .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString RemainingText(int64_t totalDuration, int64_t currentDuration, int fileSeconds) {
  // Too early: the first seconds of a file (opening, probing, encoder start-up) say little about
  // its speed.
  if (fileSeconds <= 5) return QStringLiteral("calculation...");
  if (currentDuration <= 0 || totalDuration <= 0) return QStringLiteral("N/A");
  const double remaining =
      static_cast<double>(totalDuration) / static_cast<double>(currentDuration) * fileSeconds - fileSeconds;
  return FormatRunTime(remaining > 0 ? static_cast<int64_t>(remaining) : 0);
}

QString ChangeFileExt(const QString& fileName, const QString& extension) {
  const int dot = fileName.lastIndexOf(QLatin1Char('.'));
  return (dot > 0 ? fileName.left(dot) : fileName) + extension;
}

QString NumberedFileName(const QString& path, int n) {
  const int slash = static_cast<int>(path.lastIndexOf(QLatin1Char('/')));
  const int dot = static_cast<int>(path.lastIndexOf(QLatin1Char('.')));
  const QString number = QStringLiteral(" (%1)").arg(n);
  if (dot <= slash + 1) return path + number;
  return path.left(dot) + number + path.mid(dot);
}

QString FirstNumberedFileName(const QString& path, const std::function<bool(const QString& name)>& take) {
  constexpr int KLastNumber = 10000;
  for (int n = 2; n <= KLastNumber; ++n) {
    const QString name = NumberedFileName(path, n);
    if (take(name)) return name;
  }
  return QString();
}

QString DamageReport(const QStringList& errorLines) {
  if (errorLines.isEmpty()) return QString();
  // A packet the decoder refused, or the demuxer found cut short, is reported by the engine; a frame
  // decoded around damage by the decoder ("concealing 40 DC, 40 AC, 40 MV errors") or the engine
  // ("corrupt decoded frame"). A line of repeats counts each time.
  static const QRegularExpression repeated(QStringLiteral("\\(repeated (\\d+) times\\)$"));
  int64_t packets = 0;
  int64_t frames = 0;
  int64_t other = 0;
  for (const QString& line : errorLines) {
    const QRegularExpressionMatch match = repeated.match(line);
    const int64_t times = match.hasMatch() ? match.captured(1).toLongLong() : 1;
    if (line.contains(QLatin1String("Error while decoding")) || line.contains(QLatin1String("corrupt input packet")))
      packets += times;
    else if (line.contains(QLatin1String("concealing")) || line.contains(QLatin1String("corrupt decoded frame")))
      frames += times;
    else
      other += times;
  }
  QStringList parts;
  if (packets > 0)
    parts << QStringLiteral("%1 packet%2").arg(packets).arg(packets == 1 ? " was damaged or could not be decoded"
                                                                          : "s were damaged or could not be decoded");
  if (frames > 0)
    parts << QStringLiteral("%1 frame%2").arg(frames).arg(frames == 1 ? " was damaged" : "s were damaged");
  if (other > 0)
    parts << QStringLiteral("%1 more error%2 reported").arg(other).arg(other == 1 ? " was" : "s were");
  return QStringLiteral("Warning! The source is damaged: ") + parts.join(QStringLiteral(", ")) +
         QStringLiteral(". The output holds what could be read.");
}

}  // namespace app
