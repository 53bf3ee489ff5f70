// TFFDecoder's decoding: pictures in order with one end of stream, key-frame and single-frame
// steps, seeking, bitmaps, video filters and audio as 16-bit PCM. The fixtures come from
// tests/fixtures (clip.avi: 25 fps, 50 frames, a key frame every 10, frame n painted with a white
// square at x = n).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/media_fixtures.h"
#include "media/ff_api.h"
#include "media/ff_decoder.h"
#include "media/ff_exception.h"
#include "media/ff_logger.h"
#include "media_test_support.h"

namespace {

using fixtures::MediaFixtures;
using media::TFFDecoder;
using media_test::TLogCapture;
using media::TSeekFlag;

constexpr int64_t kFrameUs = 1000000 / fixtures::kClipFrameRate;  // 40000
constexpr int64_t kGopUs = kFrameUs * fixtures::kClipGopSize;     // 400000

// The clip frame on screen: the column where the 8-pixel square starts in its rows (20..27).
int SquareColumn(const media::TFrameInfo& info) {
  const uint8_t* row = info.Picture.data[0] + 24 * info.Picture.linesize[0];
  int best = -1, bestSum = -1;
  for (int x = 0; x + 8 <= info.Width; ++x) {
    int sum = 0;
    for (int i = 0; i < 8; ++i) sum += row[x + i];
    if (sum > bestSum) best = x, bestSum = sum;
  }
  return best;
}

std::vector<uint8_t> LumaPlane(const media::TFrameInfo& info) {
  std::vector<uint8_t> luma;
  for (int y = 0; y < info.Height; ++y) {
    const uint8_t* row = info.Picture.data[0] + y * info.Picture.linesize[0];
    luma.insert(luma.end(), row, row + info.Width);
  }
  return luma;
}

class DecoderFramesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FDecoder.LoadAVLib("")) << FDecoder.LastErrMsg(); }
  void Load(const std::string& file, const std::string& format = "") {
    ASSERT_TRUE(FDecoder.LoadFile(file, format)) << FDecoder.LastErrMsg();
  }
  // Decodes the clip from its start up to the picture of frame n.
  void DecodeFrame(int n) {
    Load(MediaFixtures().ClipAvi);
    for (int i = 0; i <= n; ++i) ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
    ASSERT_EQ(FDecoder.FrameInfo().PTS, n * kFrameUs);
  }
  TFFDecoder FDecoder;
};

// ---- decoding in order -----------------------------------------------------------------------

// With frame threads the codec hands pictures back several packets late, so the last ones only
// come out of the flush at the end of the stream.
class FramesInOrderTest : public DecoderFramesTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FramesInOrderTest, ClipFramesComeInOrderThenOneEndOfStream) {
  TLogCapture log;
  Load(MediaFixtures().ClipAvi);
  media::FF().av_dict_set(&FDecoder.Options().codec_opts(), "threads", GetParam(), 0);
  media::FF().av_dict_set(&FDecoder.Options().codec_opts(), "thread_type", "frame", 0);
  std::vector<int64_t> stamps;
  while (FDecoder.Decode()) {
    const auto& info = FDecoder.FrameInfo();
    const int n = static_cast<int>(stamps.size());
    ASSERT_TRUE(info.Ready);
    EXPECT_EQ(info.Width, fixtures::kClipWidth);
    EXPECT_EQ(info.Height, fixtures::kClipHeight);
    EXPECT_EQ(info.PixFmt, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(info.StreamIndex, 0);
    // The encoder also makes the closing picture a key frame.
    EXPECT_EQ(info.IsKeyFrame, n % fixtures::kClipGopSize == 0 || n == fixtures::kClipFrames - 1)
        << "frame " << n;
    EXPECT_EQ(SquareColumn(info), n) << "frame " << n;
    EXPECT_GE(info.Size, fixtures::kClipWidth * fixtures::kClipHeight * 3 / 2);
    stamps.push_back(info.PTS);
  }
  std::vector<int64_t> expected;
  for (int n = 0; n < fixtures::kClipFrames; ++n) expected.push_back(n * kFrameUs);
  EXPECT_EQ(stamps, expected);
  EXPECT_EQ(FDecoder.LastErrMsg(), "TFFDecoder.Decode() for video: stream eof reached.");
  EXPECT_TRUE(FDecoder.Eof());
  EXPECT_EQ(log.Count("stream eof reached."), 1);
  // Later calls keep answering the end without reading again.
  EXPECT_FALSE(FDecoder.Decode());
  EXPECT_EQ(FDecoder.LastErrMsg(), "TFFDecoder.Decode() for video: stream eof reached.");
}

INSTANTIATE_TEST_SUITE_P(Threads, FramesInOrderTest, ::testing::Values("1", "4"));

TEST_F(DecoderFramesTest, ElementaryStreamDeliversEveryPicture) {
  Load(MediaFixtures().ClipMjpeg);
  int frames = 0;
  while (FDecoder.Decode()) {
    EXPECT_EQ(SquareColumn(FDecoder.FrameInfo()), frames);
    ++frames;
  }
  EXPECT_EQ(frames, fixtures::kMjpegFrames);
  EXPECT_TRUE(FDecoder.Eof());
}

// A still picture decodes once and stays; it cannot be seeked, whichever demuxer read it.
class StillImageTest : public DecoderFramesTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(StillImageTest, DecodesOnceStaysReadyAndRefusesSeek) {
  Load(MediaFixtures().StillPng, GetParam());
  ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
  const int64_t pts = FDecoder.FrameInfo().PTS;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
    EXPECT_TRUE(FDecoder.FrameInfo().Ready);
    EXPECT_EQ(FDecoder.FrameInfo().PTS, pts);
  }
  EXPECT_FALSE(FDecoder.Seek(0));
  EXPECT_EQ(FDecoder.LastErrMsg(), "\"image2\" format cannot to be seeked.");
  EXPECT_TRUE(FDecoder.FrameInfo().Ready);
}

INSTANTIATE_TEST_SUITE_P(Formats, StillImageTest, ::testing::Values("", "image2"));

// ---- failures --------------------------------------------------------------------------------

enum class TCall { Video, Audio, Seek, NextKey, PreviousKey, PreviousFrame };

struct TFailureCase {
  const char* Name;
  int File;  // 0 none, 1 clip.avi, 2 clip.mjpeg, 3 tone wav
  TCall Call;
  int StreamIndex;
  const char* Message;
};

class DecodingFailureTest : public DecoderFramesTest, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(DecodingFailureTest, AnswersFalseWithTheText) {
  const TFailureCase& c = GetParam();
  const auto& f = MediaFixtures();
  const std::string files[] = {"", f.ClipAvi, f.ClipMjpeg, f.ToneWav};
  if (c.File != 0) Load(files[c.File]);
  bool result = true;
  switch (c.Call) {
    case TCall::Video:
      result = FDecoder.Decode(c.StreamIndex);
      break;
    case TCall::Audio:
      result = FDecoder.DecodeAudio(c.StreamIndex);
      break;
    case TCall::Seek:
      result = FDecoder.Seek(0);
      break;
    case TCall::NextKey:
      result = FDecoder.DecodeNextKeyFrame(c.StreamIndex);
      break;
    case TCall::PreviousKey:
      result = FDecoder.DecodePreviousKeyFrame(c.StreamIndex);
      break;
    case TCall::PreviousFrame:
      result = FDecoder.DecodePreviousFrame(c.StreamIndex);
      break;
  }
  EXPECT_FALSE(result);
  EXPECT_EQ(FDecoder.LastErrMsg(), c.Message);
  EXPECT_FALSE(FDecoder.FrameInfo().Ready);
  EXPECT_FALSE(FDecoder.WaveInfo().Ready);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodingFailureTest,
    ::testing::Values(TFailureCase{"NoFileVideo", 0, TCall::Video, -1, "file not loaded."},
                      TFailureCase{"NoFileAudio", 0, TCall::Audio, -1, "file not loaded."},
                      TFailureCase{"NoFileSeek", 0, TCall::Seek, -1, "file not loaded."},
                      TFailureCase{"NoFilePreviousFrame", 0, TCall::PreviousFrame, -1, "file not loaded."},
                      TFailureCase{"IndexPastStreams", 1, TCall::Video, 5, "stream index #5 is invalid."},
                      TFailureCase{"NegativeIndex", 1, TCall::NextKey, -3, "stream index #-3 is invalid."},
                      TFailureCase{"AudioAsVideo", 1, TCall::PreviousKey, 1,
                                   "stream #1 is not video stream."},
                      TFailureCase{"VideoAsAudio", 1, TCall::Audio, 0, "stream #0 is not audio stream."},
                      TFailureCase{"NoAudioStream", 2, TCall::Audio, -1, "no audio stream."},
                      TFailureCase{"NoVideoStream", 3, TCall::Video, -1, "no video stream."}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(DecoderFramesTest, BorrowedHandleRaisesOnDecodingAndSeeking) {
  Load(MediaFixtures().ClipAvi);
  TFFDecoder borrower;
  borrower.SetFileHandle(FDecoder.FileHandle());
  EXPECT_THROW(borrower.Decode(), media::FFmpegException);
  EXPECT_EQ(borrower.LastErrMsg(), "file cannot be seeked, handle is readonly.");
  EXPECT_THROW(borrower.Seek(0), media::FFmpegException);
  EXPECT_THROW(borrower.DecodeAudio(), media::FFmpegException);
  borrower.SetFileHandle(nullptr);
  // The owner's file is untouched.
  EXPECT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
}

TEST_F(DecoderFramesTest, CloseFileForgetsPictureAndEnd) {
  DecodeFrame(3);
  EXPECT_GE(FDecoder.Position(), 0);
  FDecoder.CloseFile();
  EXPECT_FALSE(FDecoder.FrameInfo().Ready);
  EXPECT_FALSE(FDecoder.Eof());
  EXPECT_EQ(FDecoder.Position(), -1);
  EXPECT_EQ(FDecoder.LastErrMsg(), "file not loaded.");
  // A new file starts from its first picture with fresh codecs.
  Load(MediaFixtures().ClipMjpeg);
  ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
  EXPECT_EQ(SquareColumn(FDecoder.FrameInfo()), 0);
}

// ---- bitmaps ---------------------------------------------------------------------------------

TEST_F(DecoderFramesTest, CopyToBitmapBeforeDecodingFails) {
  Load(MediaFixtures().ClipAvi);
  media::TBitmap bitmap;
  bitmap.Resize(4, 4, 32);
  EXPECT_FALSE(FDecoder.CopyToBitmap(bitmap));
  EXPECT_EQ(FDecoder.LastErrMsg(), "picture not ready, please decode first");
  EXPECT_EQ(bitmap.Width, 4);
}

class CopyToBitmapTest : public DecoderFramesTest, public ::testing::WithParamInterface<int> {};

TEST_P(CopyToBitmapTest, CopiesTheCurrentPicture) {
  FDecoder.SetBitmapBitsPixel(GetParam());
  DecodeFrame(5);
  media::TBitmap bitmap;
  ASSERT_TRUE(FDecoder.CopyToBitmap(bitmap)) << FDecoder.LastErrMsg();
  EXPECT_EQ(bitmap.Width, fixtures::kClipWidth);
  EXPECT_EQ(bitmap.Height, fixtures::kClipHeight);
  EXPECT_EQ(bitmap.BitsPixel, GetParam());
  // The white square of frame 5 starts at x = 5; left of it lies the dark background.
  const int bpp = bitmap.BytesPerPixel();
  const uint8_t* row = bitmap.ScanLine(24);
  EXPECT_GT(row[8 * bpp], 200);
  EXPECT_LT(row[1 * bpp], 80);
}

INSTANTIATE_TEST_SUITE_P(Depths, CopyToBitmapTest, ::testing::Values(24, 32));

// ---- video filters ---------------------------------------------------------------------------

struct TFilterCase {
  const char* Filters;
  bool MirrorRows;  // vflip: row y comes from row h-1-y; hflip: column x from w-1-x
};

class VideoFilterTest : public DecoderFramesTest, public ::testing::WithParamInterface<TFilterCase> {};

TEST_P(VideoFilterTest, FlipsEveryPicture) {
  DecodeFrame(0);
  ASSERT_TRUE(FDecoder.Decode());
  const std::vector<uint8_t> plain = LumaPlane(FDecoder.FrameInfo());
  ASSERT_TRUE(FDecoder.Seek(0));
  FDecoder.SetVideoFilters(GetParam().Filters);
  ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
  ASSERT_EQ(FDecoder.FrameInfo().PTS, 0);
  ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
  ASSERT_EQ(FDecoder.FrameInfo().PTS, kFrameUs);
  const std::vector<uint8_t> flipped = LumaPlane(FDecoder.FrameInfo());
  const int w = fixtures::kClipWidth, h = fixtures::kClipHeight;
  int mismatches = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int from = GetParam().MirrorRows ? (h - 1 - y) * w + x : y * w + (w - 1 - x);
      mismatches += flipped[y * w + x] != plain[from];
    }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(FDecoder.VideoFilters(), GetParam().Filters);
}

INSTANTIATE_TEST_SUITE_P(Flips, VideoFilterTest,
                         ::testing::Values(TFilterCase{"vflip", true}, TFilterCase{"hflip", false}));

TEST_F(DecoderFramesTest, BadFilterTextIsEmptiedAndDecodingGoesOn) {
  TLogCapture log;
  Load(MediaFixtures().ClipAvi);
  FDecoder.SetVideoFilters("nosuchfilter=7");
  ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.VideoFilters(), "");
  EXPECT_EQ(log.Count("Error while configuring the filtergraph: "), 1);
  EXPECT_EQ(SquareColumn(FDecoder.FrameInfo()), 0);
  ASSERT_TRUE(FDecoder.Decode());
  EXPECT_EQ(FDecoder.FrameInfo().PTS, kFrameUs);
}

// ---- seeking and stepping --------------------------------------------------------------------

struct TSeekTargetCase {
  int64_t Target;
  bool ByBytes;
  AVRational FrameRate;
  AVRational TimeBase;
  int64_t StartTime;
  int64_t Expected;
};

class SeekTimestampTest : public DecoderFramesTest, public ::testing::WithParamInterface<TSeekTargetCase> {};

TEST_P(SeekTimestampTest, MatchesTable) {
  const TSeekTargetCase& c = GetParam();
  EXPECT_EQ(media::SeekTimestamp(c.Target, c.ByBytes, c.FrameRate, c.TimeBase, c.StartTime), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Targets, SeekTimestampTest,
                         ::testing::Values(
                             // Zero at 25 fps lies half a frame (20000 µs) before the start.
                             TSeekTargetCase{0, false, {25, 1}, {1, 1000000}, 0, -20000},
                             TSeekTargetCase{0, false, {25, 1}, {1, 90000}, 900000, 900000 - 1800},
                             TSeekTargetCase{
                                 0, false, {25, 1}, {1, 25}, 0, -1},  // -0.5 frame rounds away from zero
                             TSeekTargetCase{0, false, {0, 0}, {1, 25}, 0, 0},  // frame rate unknown
                             TSeekTargetCase{1000000, false, {25, 1}, {1, 25}, 0, 25},
                             TSeekTargetCase{1000000, false, {0, 0}, {1, 1000000}, AV_NOPTS_VALUE, 1000000},
                             TSeekTargetCase{1000000, false, {30000, 1001}, {1, 1000}, 500, 1500},
                             TSeekTargetCase{0, true, {25, 1}, {1, 25}, 0, 0},  // bytes pass through
                             TSeekTargetCase{5000, true, {25, 1}, {1, 25}, 100, 5000}));

struct TSeekCase {
  const char* Name;
  int64_t Target;
  bool Backward;
  int64_t ExpectedPTS;
};

class SeekTest : public DecoderFramesTest, public ::testing::WithParamInterface<TSeekCase> {};

TEST_P(SeekTest, LandsOnTheKeyFrame) {
  DecodeFrame(33);
  const TSeekCase& c = GetParam();
  ASSERT_TRUE(
      FDecoder.Seek(c.Target, c.Backward ? media::TSeekFlags{TSeekFlag::sfBackward} : media::TSeekFlags{}))
      << FDecoder.LastErrMsg();
  EXPECT_FALSE(FDecoder.FrameInfo().Ready);
  ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.FrameInfo().PTS, c.ExpectedPTS);
  EXPECT_TRUE(FDecoder.FrameInfo().IsKeyFrame);
  EXPECT_EQ(SquareColumn(FDecoder.FrameInfo()), c.ExpectedPTS / kFrameUs);
}

INSTANTIATE_TEST_SUITE_P(Targets, SeekTest,
                         ::testing::Values(TSeekCase{"StartForward", 0, false, 0},
                                           TSeekCase{"StartBackward", 0, true, 0},
                                           TSeekCase{"MidGopBackward", 1000000, true, 2 * kGopUs},
                                           TSeekCase{"MidGopForward", 1000000, false, 3 * kGopUs},
                                           TSeekCase{"OnKeyFrame", 2 * kGopUs, false, 2 * kGopUs},
                                           TSeekCase{"BeforeClosingKeyFrame", 1900000, false, 1960000},
                                           // No key frame after the target: the retry goes backward.
                                           TSeekCase{"PastTheEnd", 5000000, false, 1960000},
                                           TSeekCase{"BeforeTheStartBackward", -1000000, true, 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(DecoderFramesTest, SeekAfterTheEndDecodesAgain) {
  Load(MediaFixtures().ClipAvi);
  while (FDecoder.Decode()) {
  }
  ASSERT_TRUE(FDecoder.Eof());
  ASSERT_TRUE(FDecoder.Seek(0)) << FDecoder.LastErrMsg();
  EXPECT_FALSE(FDecoder.Eof());
  ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.FrameInfo().PTS, 0);
}

enum class TStep { NextKey, PreviousKey, PreviousFrame };

struct TStepCase {
  const char* Name;
  int FromFrame;
  TStep Step;
  int ExpectedFrame;
};

class StepTest : public DecoderFramesTest, public ::testing::WithParamInterface<TStepCase> {};

TEST_P(StepTest, LandsOnTheExpectedPicture) {
  const TStepCase& c = GetParam();
  DecodeFrame(c.FromFrame);
  bool result = false;
  switch (c.Step) {
    case TStep::NextKey:
      result = FDecoder.DecodeNextKeyFrame();
      break;
    case TStep::PreviousKey:
      result = FDecoder.DecodePreviousKeyFrame();
      break;
    case TStep::PreviousFrame:
      result = FDecoder.DecodePreviousFrame();
      break;
  }
  ASSERT_TRUE(result) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.FrameInfo().PTS, c.ExpectedFrame * kFrameUs);
  EXPECT_EQ(SquareColumn(FDecoder.FrameInfo()), c.ExpectedFrame);
  // Decoding goes on from there.
  ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.FrameInfo().PTS, (c.ExpectedFrame + 1) * kFrameUs);
}

INSTANTIATE_TEST_SUITE_P(Steps, StepTest,
                         ::testing::Values(TStepCase{"NextKeyFromStart", 0, TStep::NextKey, 10},
                                           TStepCase{"NextKeyMidGop", 25, TStep::NextKey, 30},
                                           TStepCase{"NextKeyFromKey", 20, TStep::NextKey, 30},
                                           TStepCase{"PreviousKeyMidGop", 25, TStep::PreviousKey, 20},
                                           TStepCase{"PreviousKeyFromKey", 20, TStep::PreviousKey, 10},
                                           TStepCase{"PreviousKeyAfterKey", 21, TStep::PreviousKey, 20},
                                           TStepCase{"PreviousKeyAtStart", 0, TStep::PreviousKey, 0},
                                           TStepCase{"PreviousFrameMidGop", 25, TStep::PreviousFrame, 24},
                                           TStepCase{"PreviousFrameAfterKey", 21, TStep::PreviousFrame, 20},
                                           TStepCase{"PreviousFrameFromKey", 20, TStep::PreviousFrame, 19},
                                           TStepCase{"PreviousFrameSecond", 1, TStep::PreviousFrame, 0},
                                           TStepCase{"PreviousFrameLast", 49, TStep::PreviousFrame, 48}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Past the last key frame there is none to step to: the picture stays, the answer says why, and
// decoding goes on from the picture. clip.avi ends on a key frame; clip.webm has pictures after
// its last one. The times and key flags come from one read through the file.
class NextKeyFrameAtTheEndTest : public DecoderFramesTest, public ::testing::WithParamInterface<const char*> {
 protected:
  std::string File() const {
    return GetParam() == std::string("webm") ? MediaFixtures().ClipWebm : MediaFixtures().ClipAvi;
  }
};

TEST_P(NextKeyFrameAtTheEndTest, StaysOnTheCurrentPicture) {
  Load(File());
  std::vector<int64_t> times;
  int lastKey = -1;
  while (FDecoder.Decode()) {
    if (FDecoder.FrameInfo().IsKeyFrame) lastKey = static_cast<int>(times.size());
    times.push_back(FDecoder.FrameInfo().PTS);
  }
  const int count = static_cast<int>(times.size());
  ASSERT_GE(lastKey, 0);
  std::vector<int> starts = {lastKey, count - 1};
  if (lastKey + 1 < count - 1) starts.push_back(lastKey + 1);
  for (const int from : starts) {
    SCOPED_TRACE(from);
    Load(File());
    for (int i = 0; i <= from; ++i) ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
    ASSERT_EQ(FDecoder.FrameInfo().PTS, times[from]);
    EXPECT_FALSE(FDecoder.DecodeNextKeyFrame());
    EXPECT_EQ(FDecoder.LastErrMsg(),
              "Could not seek to the next key-frame: there is none after the current picture.");
    EXPECT_TRUE(FDecoder.FrameInfo().Ready);
    EXPECT_EQ(FDecoder.FrameInfo().PTS, times[from]);
    if (from + 1 < count) {
      ASSERT_TRUE(FDecoder.Decode()) << FDecoder.LastErrMsg();
      EXPECT_EQ(FDecoder.FrameInfo().PTS, times[from + 1]);
    }
  }
  // Before the last key frame the step still lands on it.
  if (lastKey > 0) {
    Load(File());
    ASSERT_TRUE(FDecoder.Decode());
    ASSERT_TRUE(FDecoder.DecodeNextKeyFrame()) << FDecoder.LastErrMsg();
    EXPECT_GT(FDecoder.FrameInfo().PTS, times[0]);
    EXPECT_LE(FDecoder.FrameInfo().PTS, times[lastKey]);
    EXPECT_TRUE(FDecoder.FrameInfo().IsKeyFrame);
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, NextKeyFrameAtTheEndTest, ::testing::Values("avi", "webm"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(DecoderFramesTest, PreviousFrameStepsBackRepeatedly) {
  DecodeFrame(13);
  for (int n = 12; n >= 7; --n) {
    ASSERT_TRUE(FDecoder.DecodePreviousFrame()) << FDecoder.LastErrMsg();
    EXPECT_EQ(FDecoder.FrameInfo().PTS, n * kFrameUs);
  }
}

// ---- the previous-key-frame search on scripted streams ----------------------------------------

struct TKeyFrame {
  int64_t PTS;
  int64_t BytePos;
};

struct TSearchCase {
  const char* Name;
  std::vector<TKeyFrame> Keys;  // ascending
  int64_t StartPos;
  int64_t Reference;
  int64_t FrameDuration;
  bool DecodeFails;
  bool Found;
  int64_t FoundPTS;
  int MaxSeeks;
};

// A stream that lands a backward seek on the last key frame at or before the target, else on the
// first one (as the decoder's retry without the backward flag does), and decodes that key frame.
class TScriptedStream {
 public:
  explicit TScriptedStream(const TSearchCase& c) : FCase(c), FPos(c.StartPos) {}
  media::TKeyFrameSearchSteps Steps() {
    media::TKeyFrameSearchSteps s;
    s.BytePosition = [this] { return FPos; };
    s.SeekBackward = [this](int64_t target) {
      ++Seeks;
      FKey = 0;
      for (size_t i = 0; i < FCase.Keys.size(); ++i)
        if (FCase.Keys[i].PTS <= target) FKey = i;
      FPos = FCase.Keys[FKey].BytePos;
    };
    s.Decode = [this] {
      ++Decodes;
      return !FCase.DecodeFails;
    };
    s.FramePTS = [this] { return FCase.Keys[FKey].PTS; };
    s.AtEnd = [] { return false; };
    return s;
  }
  int Seeks = 0;
  int Decodes = 0;

 private:
  const TSearchCase& FCase;
  int64_t FPos;
  size_t FKey = 0;
};

class PreviousKeyFrameSearchTest : public ::testing::TestWithParam<TSearchCase> {};

TEST_P(PreviousKeyFrameSearchTest, EndsWithinBounds) {
  const TSearchCase& c = GetParam();
  TScriptedStream stream(c);
  const media::TKeyFrameSearchSteps steps = stream.Steps();
  EXPECT_EQ(media::FindPreviousKeyFrame(c.Reference, c.FrameDuration, steps), c.Found);
  if (c.Found) {
    EXPECT_EQ(steps.FramePTS(), c.FoundPTS);
  }
  EXPECT_LE(stream.Seeks, c.MaxSeeks);
}

const std::vector<TKeyFrame> kClipKeys = {{0, 100}, {400000, 200}, {800000, 300}, {1200000, 400}};

INSTANTIATE_TEST_SUITE_P(
    Scripts, PreviousKeyFrameSearchTest,
    ::testing::Values(
        TSearchCase{"MidGop", kClipKeys, 350, 1000000, 40000, false, true, 800000, 1},
        TSearchCase{"OnKeyFrameStepsToTheOneBefore", kClipKeys, 320, 800000, 40000, false, true, 400000, 1},
        TSearchCase{"ZeroFrameDuration", kClipKeys, 150, 5, 0, false, true, 0, 1},
        // The first picture lies after the reference: nothing earlier exists. Without a bound the
        // search would seek to the start and decode it again for ever.
        TSearchCase{"FirstPictureAfterReference", {{400000, 100}}, 150, 0, 40000, false, false, 0, 1},
        // Every seek lands on the key frame already rejected.
        TSearchCase{"SeeksLandOnRejectedKey", {{400000, 100}}, 150, 200000, 40000, false, false, 0, 6},
        // Decoding never succeeds and never reaches the end: the step limit ends it.
        TSearchCase{"DecodeKeepsFailing", kClipKeys, 350, int64_t{1} << 50, 40000, true, false, 0,
                    media::kMaxKeyFrameSearchSteps}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- audio -----------------------------------------------------------------------------------

struct TAudioCase {
  const char* Name;
  int File;  // 1 clip.avi, 3 tone wav
  int Channels;
  int SampleRate;
  int64_t Micros;
};

class DecodeAudioTest : public DecoderFramesTest, public ::testing::WithParamInterface<TAudioCase> {};

TEST_P(DecodeAudioTest, DeliversS16AtTheDesiredRate) {
  const TAudioCase& c = GetParam();
  const auto& f = MediaFixtures();
  FDecoder.SetDesireAudioChannels(c.Channels);
  FDecoder.SetDesireAudioSampleRate(c.SampleRate);
  Load(c.File == 1 ? f.ClipAvi : f.ToneWav);
  const int bytesPerSecond = 2 * c.Channels * c.SampleRate;
  int64_t bytes = 0, micros = 0, lastPTS = -1;
  int largest = 0, chunks = 0;
  while (FDecoder.DecodeAudio()) {
    const media::TWaveInfo& w = FDecoder.WaveInfo();
    ASSERT_TRUE(w.Ready);
    ASSERT_NE(w.Buffer, nullptr);
    EXPECT_EQ(w.Channels, c.Channels);
    EXPECT_EQ(w.SampleRate, c.SampleRate);
    EXPECT_EQ(w.SampleFormat, AV_SAMPLE_FMT_S16);
    EXPECT_EQ(w.BytesPerSecond, bytesPerSecond);
    EXPECT_EQ(w.Size % (2 * c.Channels), 0);
    EXPECT_EQ(w.Duration, std::llround(w.Size * 1000000.0 / bytesPerSecond));
    if (w.PTS != AV_NOPTS_VALUE) {
      EXPECT_GT(w.PTS, lastPTS);
      lastPTS = w.PTS;
    }
    bytes += w.Size;
    micros += w.Duration;
    largest = std::max(largest, w.Size);
    ++chunks;
  }
  EXPECT_EQ(FDecoder.LastErrMsg(), "TFFDecoder.DecodeAudio(): stream eof reached.");
  EXPECT_TRUE(FDecoder.Eof());
  ASSERT_GT(chunks, 1);
  // Within one packet's worth of the whole length.
  EXPECT_NEAR(static_cast<double>(bytes), static_cast<double>(c.Micros) * bytesPerSecond / 1000000.0,
              largest);
  EXPECT_NEAR(static_cast<double>(micros), static_cast<double>(c.Micros),
              largest * 1000000.0 / bytesPerSecond);
}

INSTANTIATE_TEST_SUITE_P(Cases, DecodeAudioTest,
                         ::testing::Values(TAudioCase{"FloatStereo48kTo44k", 3, 2, 44100, 1000000},
                                           TAudioCase{"FloatStereo48kToMono22k", 3, 1, 22050, 1000000},
                                           TAudioCase{"ClipMono8kTo44kStereo", 1, 2, 44100, 2000000},
                                           TAudioCase{"ClipKeepsItsFormat", 1, 1, 8000, 2000000}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(DecoderFramesTest, WaveInfoFollowsTheDesiredFormat) {
  EXPECT_EQ(FDecoder.WaveInfo().BytesPerSecond, 176400);
  FDecoder.SetDesireAudioChannels(1);
  FDecoder.SetDesireAudioSampleRate(22050);
  EXPECT_EQ(FDecoder.WaveInfo().Channels, 1);
  EXPECT_EQ(FDecoder.WaveInfo().SampleRate, 22050);
  EXPECT_EQ(FDecoder.WaveInfo().BytesPerSample, 2);
  EXPECT_EQ(FDecoder.WaveInfo().BytesPerSecond, 44100);
}

TEST_F(DecoderFramesTest, AudioRestartsAfterSeek) {
  Load(MediaFixtures().ToneWav);
  ASSERT_TRUE(FDecoder.DecodeAudio()) << FDecoder.LastErrMsg();
  ASSERT_TRUE(FDecoder.DecodeAudio()) << FDecoder.LastErrMsg();
  ASSERT_GT(FDecoder.WaveInfo().PTS, 0);
  ASSERT_TRUE(FDecoder.Seek(0)) << FDecoder.LastErrMsg();
  EXPECT_FALSE(FDecoder.WaveInfo().Ready);
  ASSERT_TRUE(FDecoder.DecodeAudio()) << FDecoder.LastErrMsg();
  EXPECT_EQ(FDecoder.WaveInfo().PTS, 0);
}

}  // namespace
