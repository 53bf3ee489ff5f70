#include "app/run_window/run_format.h"

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

}  // namespace app
