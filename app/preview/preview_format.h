#pragma once
// The arithmetic of the frame preview window: the time text, how a frame is fitted into the view,
// how many frames a file has, and how the track bar maps positions to times.

#include <QRect>
#include <QString>
#include <cstdint>

namespace app {

/// Microseconds as "hh:nn:ss.zzz" (hours go on past 23). A negative time gets a leading "-".
QString FormatFrameTime(int64_t micros);

/// The rectangle a frame of frameWidth × frameHeight takes inside dest with its aspect ratio kept:
/// the full width with equal top and bottom margins when the frame is relatively wider, else the
/// full height with equal left and right margins (margins rounded half to even). An empty frame
/// or destination gives an empty rectangle.
QRect FitFrame(int frameWidth, int frameHeight, const QRect& dest);

/// Frames of a video stream: round(seconds × rateNum / rateDen), seconds taken from the stream's
/// duration when positive, else from the file's when known (both in microseconds, negative when
/// unknown). 0 when the rate is unknown (denominator not positive) or neither duration is known.
int64_t FrameCount(int64_t streamDuration, int64_t fileDuration, int rateNum, int rateDen);

/// The track bar's scale: Maximum from the frame count when there is one, a tick every
/// TickFrequency positions, PageSize positions per page, and the position that keeps the old
/// relative position on the new scale.
struct TTrackBarScale {
  int Maximum = 10;
  int TickFrequency = 1;
  int PageSize = 2;
  int Position = 0;
};
/// The scale after a change of frame count: frameCount > 0 becomes the maximum (clamped to the
/// largest int), else oldMaximum stays; oldPosition keeps its share of the scale.
TTrackBarScale ScaleTrackBar(int oldPosition, int oldMaximum, int64_t frameCount);

/// The track-bar position of time micros in a file of duration micros: round(maximum × time /
/// duration), within 0..maximum; 0 when the duration is not positive.
int TrackBarPosition(int64_t micros, int64_t duration, int maximum);
/// The time a track-bar position stands for: round(position / maximum × duration); 0 when the
/// maximum is below 1.
int64_t TrackBarTime(int position, int maximum, int64_t duration);

}  // namespace app
