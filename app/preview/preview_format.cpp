#include "app/preview/preview_format.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace app {

namespace {

// Half-way cases go to the even neighbour (the default rounding mode), as the window always has.
int64_t RoundEven(double value) { return static_cast<int64_t>(std::nearbyint(value)); }

}  // namespace

QString FormatFrameTime(int64_t micros) {
  const bool negative = micros < 0;
  // Magnitude in unsigned arithmetic so that the most negative value has one as well.
  const uint64_t t = negative ? 0 - static_cast<uint64_t>(micros) : static_cast<uint64_t>(micros);
  const uint64_t s = t / 1000000;
  const uint64_t ms = (t % 1000000) * 1000 / 1000000;
  const QString text = QStringLiteral("%1:%2:%3.%4")
                           .arg(s / 60 / 60, 2, 10, QLatin1Char('0'))
                           .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                           .arg(s % 60, 2, 10, QLatin1Char('0'))
                           .arg(ms, 3, 10, QLatin1Char('0'));
  return negative ? QLatin1Char('-') + text : text;
}

QRect FitFrame(int frameWidth, int frameHeight, const QRect& dest) {
  if (frameWidth <= 0 || frameHeight <= 0 || dest.width() <= 0 || dest.height() <= 0) return {};
  const double rw = static_cast<double>(frameWidth) / dest.width();
  const double rh = static_cast<double>(frameHeight) / dest.height();
  if (rw >= rh) {
    const int margin = static_cast<int>(RoundEven((dest.height() - frameHeight / rw) / 2));
    return QRect(dest.left(), dest.top() + margin, dest.width(), dest.height() - 2 * margin);
  }
  const int margin = static_cast<int>(RoundEven((dest.width() - frameWidth / rh) / 2));
  return QRect(dest.left() + margin, dest.top(), dest.width() - 2 * margin, dest.height());
}

int64_t FrameCount(int64_t streamDuration, int64_t fileDuration, int rateNum, int rateDen) {
  if (rateDen <= 0) return 0;
  double seconds = 0;
  if (streamDuration > 0)
    seconds = streamDuration / 1000000.0;
  else if (fileDuration >= 0)
    seconds = fileDuration / 1000000.0;
  return std::max<int64_t>(0, RoundEven(seconds * rateNum / rateDen));
}

TTrackBarScale ScaleTrackBar(int oldPosition, int oldMaximum, int64_t frameCount) {
  const double share = oldMaximum < 1 ? 0.0 : static_cast<double>(oldPosition) / oldMaximum;
  TTrackBarScale scale;
  scale.Maximum = frameCount > 0 ? static_cast<int>(std::min<int64_t>(frameCount, INT_MAX)) : oldMaximum;
  const int maximum = scale.Maximum;
  scale.TickFrequency = maximum < 11 ? 1 : maximum / 10;
  scale.PageSize = maximum <= 9 ? 2 : maximum <= 99 ? 5 : maximum / 20;
  scale.Position = static_cast<int>(std::clamp<int64_t>(RoundEven(share * maximum), 0, std::max(maximum, 0)));
  return scale;
}

int TrackBarPosition(int64_t micros, int64_t duration, int maximum) {
  if (duration <= 0 || maximum < 1) return 0;
  const int64_t position = RoundEven(static_cast<double>(maximum) * micros / duration);
  return static_cast<int>(std::clamp<int64_t>(position, 0, maximum));
}

int64_t TrackBarTime(int position, int maximum, int64_t duration) {
  if (maximum < 1) return 0;
  return RoundEven(static_cast<double>(position) / maximum * duration);
}

}  // namespace app
