// The preview window's arithmetic: time texts, fitting a frame into the view, frame counts and
// the track bar's scale and position-to-time mapping.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

#include "app/preview/preview_format.h"

namespace {

struct TTimeCase {
  int64_t Micros;
  const char* Text;
};

void PrintTo(const TTimeCase& c, std::ostream* os) { *os << c.Micros; }

class FormatFrameTimeTest : public ::testing::TestWithParam<TTimeCase> {};

TEST_P(FormatFrameTimeTest, MatchesTable) {
  EXPECT_EQ(app::FormatFrameTime(GetParam().Micros).toStdString(), GetParam().Text) << GetParam().Micros;
}

INSTANTIATE_TEST_SUITE_P(
    Times, FormatFrameTimeTest,
    ::testing::Values(TTimeCase{0, "00:00:00.000"}, TTimeCase{40000, "00:00:00.040"},
                      TTimeCase{999, "00:00:00.000"},  // below a millisecond: cut, not rounded
                      TTimeCase{1999999, "00:00:01.999"}, TTimeCase{3723004000, "01:02:03.004"},
                      TTimeCase{90000000000, "25:00:00.000"}, TTimeCase{-1500000, "-00:00:01.500"},
                      TTimeCase{INT64_MIN, "-2562047788:00:54.775"}));

struct TFitCase {
  int FrameWidth, FrameHeight;
  QRect Dest;
  QRect Expected;
};

void PrintTo(const TFitCase& c, std::ostream* os) {
  *os << c.FrameWidth << "x" << c.FrameHeight << " into " << c.Dest.x() << "," << c.Dest.y() << " "
      << c.Dest.width() << "x" << c.Dest.height();
}

class FitFrameTest : public ::testing::TestWithParam<TFitCase> {};

TEST_P(FitFrameTest, KeepsTheAspectAndCentres) {
  const QRect r = app::FitFrame(GetParam().FrameWidth, GetParam().FrameHeight, GetParam().Dest);
  EXPECT_EQ(r, GetParam().Expected) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}

INSTANTIATE_TEST_SUITE_P(
    Rects, FitFrameTest,
    ::testing::Values(
        // Wider view: full height, side margins of 100.
        TFitCase{64, 48, QRect(0, 0, 400, 150), QRect(100, 0, 200, 150)},
        // Taller view: full width, 75 above and below.
        TFitCase{64, 48, QRect(0, 0, 200, 300), QRect(0, 75, 200, 150)},
        // The same aspect fills the view, upscaled or downscaled.
        TFitCase{64, 48, QRect(0, 0, 640, 480), QRect(0, 0, 640, 480)},
        TFitCase{1920, 1080, QRect(0, 0, 160, 90), QRect(0, 0, 160, 90)},
        // The view's origin carries over.
        TFitCase{64, 48, QRect(10, 20, 400, 150), QRect(110, 20, 200, 150)},
        // 4:3 at 75 high is 100 wide: 15 each side; 1080p in 592 x 435 is 333 high: 51 each.
        TFitCase{4, 3, QRect(0, 0, 130, 75), QRect(15, 0, 100, 75)},
        TFitCase{1920, 1080, QRect(0, 0, 592, 435), QRect(0, 51, 592, 333)},
        // A half-pixel margin goes to the even neighbour: (11 - 8) / 2 = 1.5 -> 2, (9 - 8) / 2 -> 0.
        TFitCase{8, 8, QRect(0, 0, 11, 8), QRect(2, 0, 7, 8)},
        TFitCase{8, 8, QRect(0, 0, 9, 8), QRect(0, 0, 9, 8)},
        // Nothing to draw, or nowhere to draw it.
        TFitCase{0, 0, QRect(0, 0, 100, 100), QRect()}, TFitCase{64, 48, QRect(0, 0, 0, 100), QRect()},
        TFitCase{64, 48, QRect(0, 0, 100, 0), QRect()}));

struct TFrameCountCase {
  int64_t StreamDuration, FileDuration;
  int RateNum, RateDen;
  int64_t Frames;
};

void PrintTo(const TFrameCountCase& c, std::ostream* os) {
  *os << c.StreamDuration << "/" << c.FileDuration << " at " << c.RateNum << "/" << c.RateDen;
}

class FrameCountTest : public ::testing::TestWithParam<TFrameCountCase> {};

TEST_P(FrameCountTest, MatchesTable) {
  const auto& c = GetParam();
  EXPECT_EQ(app::FrameCount(c.StreamDuration, c.FileDuration, c.RateNum, c.RateDen), c.Frames);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, FrameCountTest,
    ::testing::Values(TFrameCountCase{2000000, -1, 25, 1, 50},
                      TFrameCountCase{2000000, 9000000, 25, 1, 50},  // the stream's duration first
                      TFrameCountCase{-1, 2000000, 25, 1, 50}, TFrameCountCase{0, 2000000, 25, 1, 50},
                      TFrameCountCase{10000000, -1, 30000, 1001, 300},  // 299.7 frames
                      TFrameCountCase{-1, -1, 25, 1, 0},                // no duration at all
                      TFrameCountCase{2000000, -1, 25, 0, 0},           // rate unknown
                      TFrameCountCase{2000000, -1, 0, 1, 0}));

struct TScaleCase {
  int OldPosition, OldMaximum;
  int64_t Frames;
  app::TTrackBarScale Expected;
};

void PrintTo(const TScaleCase& c, std::ostream* os) {
  *os << c.OldPosition << "/" << c.OldMaximum << " to " << c.Frames << " frames";
}

class ScaleTrackBarTest : public ::testing::TestWithParam<TScaleCase> {};

TEST_P(ScaleTrackBarTest, MatchesTable) {
  const auto& c = GetParam();
  const app::TTrackBarScale s = app::ScaleTrackBar(c.OldPosition, c.OldMaximum, c.Frames);
  EXPECT_EQ(s.Maximum, c.Expected.Maximum);
  EXPECT_EQ(s.TickFrequency, c.Expected.TickFrequency);
  EXPECT_EQ(s.PageSize, c.Expected.PageSize);
  EXPECT_EQ(s.Position, c.Expected.Position);
}

INSTANTIATE_TEST_SUITE_P(
    Scales, ScaleTrackBarTest,
    ::testing::Values(
        // The bar's first maximum of 10 gives way to the frame count; the share is kept.
        TScaleCase{0, 10, 50, {50, 5, 5, 0}}, TScaleCase{5, 10, 50, {50, 5, 5, 25}},
        TScaleCase{10, 10, 2000, {2000, 200, 100, 2000}},
        // No frame count: the maximum stays.
        TScaleCase{3, 10, 0, {10, 1, 5, 3}},
        // Small scales: a tick per position, pages of 2 up to 9.
        TScaleCase{0, 10, 9, {9, 1, 2, 0}}, TScaleCase{7, 100, 9, {9, 1, 2, 1}},
        TScaleCase{0, 10, 11, {11, 1, 5, 0}}, TScaleCase{0, 10, 99, {99, 9, 5, 0}},
        TScaleCase{0, 10, 100, {100, 10, 5, 0}},
        // A share half-way between two positions goes to the even one: 0.25 x 10 = 2.5 -> 2.
        TScaleCase{1, 4, 10, {10, 1, 5, 2}},
        // An empty scale has no share.
        TScaleCase{1, 0, 0, {0, 1, 2, 0}},
        // More frames than positions a track bar holds.
        TScaleCase{0, 10, int64_t{1} << 40, {INT32_MAX, INT32_MAX / 10, INT32_MAX / 20, 0}}));

struct TPositionCase {
  int64_t Micros, Duration;
  int Maximum;
  int Position;
};

void PrintTo(const TPositionCase& c, std::ostream* os) {
  *os << c.Micros << " of " << c.Duration << " on " << c.Maximum;
}

class TrackBarPositionTest : public ::testing::TestWithParam<TPositionCase> {};

TEST_P(TrackBarPositionTest, MatchesTable) {
  const auto& c = GetParam();
  EXPECT_EQ(app::TrackBarPosition(c.Micros, c.Duration, c.Maximum), c.Position) << c.Micros;
}

INSTANTIATE_TEST_SUITE_P(Positions, TrackBarPositionTest,
                         ::testing::Values(TPositionCase{0, 2000000, 50, 0}, TPositionCase{1600000, 2000000, 50, 40},
                                           TPositionCase{1960000, 2000000, 50, 49},
                                           TPositionCase{2500000, 2000000, 50, 50},  // past the end
                                           TPositionCase{-40000, 2000000, 50, 0},
                                           TPositionCase{1000000, 0, 50, 0},  // duration unknown
                                           TPositionCase{1000000, 2000000, 0, 0}));

struct TTargetCase {
  int Position, Maximum;
  int64_t Duration;
  int64_t Micros;
};

void PrintTo(const TTargetCase& c, std::ostream* os) {
  *os << c.Position << " of " << c.Maximum << " over " << c.Duration;
}

class TrackBarTimeTest : public ::testing::TestWithParam<TTargetCase> {};

TEST_P(TrackBarTimeTest, MatchesTable) {
  const auto& c = GetParam();
  EXPECT_EQ(app::TrackBarTime(c.Position, c.Maximum, c.Duration), c.Micros) << c.Position;
}

INSTANTIATE_TEST_SUITE_P(Targets, TrackBarTimeTest,
                         ::testing::Values(TTargetCase{40, 50, 2000000, 1600000}, TTargetCase{50, 50, 2000000, 2000000},
                                           TTargetCase{0, 50, 2000000, 0},
                                           TTargetCase{25, 50, 1000001, 500000},  // 500000.5 -> even
                                           TTargetCase{1, 3, 1000000, 333333}, TTargetCase{3, 0, 2000000, 0}));

}  // namespace
