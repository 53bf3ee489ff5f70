#include "app/main_window/list_format.h"

#include <cmath>

namespace app {

namespace {
constexpr int64_t kMiB = 1048576;
constexpr int64_t kGiB = 1073741824;

// Whole number with "," between thousands, independent of the desktop's locale, as the product
// has always shown it.
QString Grouped(long long value) {
  QString digits = QString::number(value < 0 ? -value : value);
  for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char(','));
  return value < 0 ? QLatin1Char('-') + digits : digits;
}
}  // namespace

QString FormatDuration(int64_t micros) {
  const int64_t seconds = micros / 1000000;
  return QString::asprintf("%.2lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                           static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60));
}

QString FormatTotalSize(int64_t bytes) {
  if (bytes <= kGiB) return Grouped(std::llround(static_cast<double>(bytes) / kMiB)) + QLatin1String(" MB");
  return QString::number(static_cast<double>(bytes) / kGiB, 'f', 2) + QLatin1String(" GB");
}

QString TotalsText(int count, int64_t bytes, int64_t micros) {
  return QStringLiteral("Files: %1 (Size: %2, Duration: %3)")
      .arg(count)
      .arg(FormatTotalSize(bytes), FormatDuration(micros));
}

QString SelectionText(int count, int64_t bytes) {
  if (count <= 0) return QString();
  return QStringLiteral("Selected: %1 %2, %3")
      .arg(count)
      .arg(count == 1 ? QStringLiteral("file") : QStringLiteral("files"), FormatTotalSize(bytes));
}

}  // namespace app
