#include "app/adding/adding_format.h"

#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include "app/main_window/list_format.h"

namespace app {

namespace {

// The mask's extensions, upper-cased, without "*.".
const QSet<QString>& MediaExtensions() {
  static const QSet<QString> extensions = [] {
    QSet<QString> set;
    for (const QString& mask : AcceptedMasks()) set.insert(mask.mid(2).toUpper());
    return set;
  }();
  return extensions;
}

QString Dash() { return QStringLiteral("-"); }

}  // namespace

QStringList MediaMasks() { return QString::fromLatin1(kMediaMask).split(QLatin1Char(';'), Qt::SkipEmptyParts); }

QStringList AcceptedMasks() {
  return MediaMasks() + QString::fromLatin1(kWrittenTypesMask).split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

bool HasMediaExtension(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  if (dot < 0 || dot < slash) return false;
  const QString extension = path.mid(dot + 1);
  return !extension.isEmpty() && MediaExtensions().contains(extension.toUpper());
}

QString FormatSizeText(int64_t bytes) {
  if (bytes == 0) return QString();
  // The C locale with grouping on: "," every three digits whatever the desktop's language, as
  // the list has always shown it. Made once: a scan formats a size per row.
  static const QLocale grouped = [] {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    return c;
  }();
  return grouped.toString(static_cast<qlonglong>(bytes));
}

QStringList AddingSubItems(const TProbedFile& file) {
  const bool known = file.Duration >= 0;
  QStringList items;
  items << (known ? FormatDuration(file.Duration) : QStringLiteral("00:00:00")) << FormatSizeText(file.Size)
        << file.Path << QString::number(known ? file.Duration : 0) << QString::number(file.Size);
  if (!file.FirstStreamIsVideo) {
    items << Dash() << Dash() << Dash();
    return items;
  }
  // A rate with a zero part is what the container says when it does not know the rate.
  items << (file.FrameRateNum > 0 && file.FrameRateDen > 0
                ? QString::asprintf("%f fps", static_cast<double>(file.FrameRateNum) / file.FrameRateDen)
                : Dash());
  items << (file.BitRate < 1 ? Dash() : QString::asprintf("%lld kb", static_cast<long long>(file.BitRate / 1000)));
  items << QString::asprintf("%dx%d", file.Width, file.Height);
  return items;
}

TFileRow AddingRow(const TProbedFile& file) {
  TFileRow row;
  row.Caption = QFileInfo(file.Path).fileName();
  row.SubItems = AddingSubItems(file);
  row.Path = file.Path;
  row.DurationUs = file.Duration >= 0 ? file.Duration : 0;
  row.SizeBytes = file.Size;
  return row;
}

QString ScanStoppedText(const QString& path, const QString& reason) {
  if (path.isEmpty()) return QStringLiteral("Adding stopped:\r") + reason;
  return QStringLiteral("Adding stopped at %1:\r%2").arg(path, reason);
}

}  // namespace app
