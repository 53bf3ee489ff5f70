#include "app/burn/burn_format.h"

#include <QLocale>
#include <cmath>

namespace app {

namespace {

constexpr double KMegabyte = 1048576.0;
constexpr double KGigabyte = 1073741824.0;

/// Whole number, rounded half away from zero, with "," between thousands.
QString Grouped(double value) {
  static const QLocale english(QLocale::English, QLocale::UnitedStates);
  return english.toString(static_cast<qlonglong>(std::llround(value)));
}

}  // namespace

QString BurnSizeText(double bytes) {
  if (bytes > KGigabyte) return QString::number(bytes / KGigabyte, 'f', 2) + QStringLiteral(" GB");
  return Grouped(bytes / KMegabyte) + QStringLiteral(" MB");
}

QString BurnDataLine(int64_t fileCount, int64_t projectBytes) {
  const QString noun = fileCount == 1 ? QStringLiteral(" file, ") : QStringLiteral(" files, ");
  return QStringLiteral("Data: ") + QString::number(fileCount) + noun +
         BurnSizeText(static_cast<double>(projectBytes) + KMegabyte);
}

QString BurnLeftOutLine(int64_t rowsLeftOut) {
  return QStringLiteral("Done. ") + QString::number(rowsLeftOut) +
         (rowsLeftOut == 1 ? QStringLiteral(" file of the list is not on the disc.")
                           : QStringLiteral(" files of the list are not on the disc."));
}

QString BurnDiscLine(const QString& mediumText, double mediumBytes) {
  return QStringLiteral("Disc: ") + mediumText + QStringLiteral(", ") + BurnSizeText(mediumBytes);
}

QString BurnWrittenText(double bytesWritten, double imageBytes) {
  return QStringLiteral("Written: ") + Grouped(bytesWritten / KMegabyte) + QStringLiteral(" of ") +
         Grouped(imageBytes / KMegabyte) + QStringLiteral(" MB");
}

QString BurnTimeStamped(const QString& text, const QTime& time) {
  return QLatin1Char('[') + time.toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("] ") + text;
}

QString EraseClockText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return QStringLiteral("%1:%2")
      .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString BurnMediumText(const QString& mediumType, int status, int profileCode) {
  const bool dvdRw = profileCode == 0x13 || profileCode == 0x14;
  if ((status == 7 || status == 9) && dvdRw) return QStringLiteral("DVD-RW");
  return mediumType;
}

int BurnSpeedNumber(const QString& speedText) {
  QString number = speedText.trimmed();
  if (number.endsWith(QLatin1Char('x'), Qt::CaseInsensitive)) number.chop(1);
  bool ok = false;
  const double value = number.toDouble(&ok);
  if (!ok || !std::isfinite(value) || value <= 0) return 0;
  return static_cast<int>(std::lround(value));
}

TBurnSpeedList BuildBurnSpeedList(int32_t maxKBps, const QString& maxText, bool hasMedium,
                                  const std::function<QString(int32_t kbps)>& setAndShow) {
  TBurnSpeedList list;
  list.Items.append(maxText);
  if (!hasMedium) return list;
  const int n = BurnSpeedNumber(maxText);
  if (n > 0) list.SpeedStep = maxKBps / n;
  int32_t speed = maxKBps;
  while (list.SpeedStep > 0 && list.SpeedStep < speed) {
    speed -= list.SpeedStep;
    const QString text = setAndShow(speed);
    if (text != list.Items.last()) list.Items.append(text);
  }
  return list;
}

}  // namespace app
