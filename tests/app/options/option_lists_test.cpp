#include "app/options/option_lists.h"

#include <gtest/gtest.h>

#include "app/options/output_settings.h"

namespace {

TEST(OptionListsTest, ListsHoldTheirEntries) {
  EXPECT_EQ(app::VideoFormats().size(), 10);
  EXPECT_EQ(app::VideoFrameSizes(QStringLiteral("7680x4800")).size(), app::kFrameSizeCount);
  EXPECT_EQ(app::VideoFrameSizes(QStringLiteral("7680x4800"))[19], QStringLiteral("1920x1080"));
  EXPECT_EQ(app::VideoFrameSizes(QStringLiteral("1000x500")).last(), QStringLiteral("1000x500"));
  EXPECT_EQ(app::VideoBitrates().size(), 30);
  EXPECT_EQ(app::VideoBitrates()[19], QStringLiteral("10000"));
  EXPECT_EQ(app::AudioBitrates().size(), 14);
  EXPECT_EQ(app::AudioBitrates().first(), QStringLiteral("32"));
  EXPECT_EQ(app::AudioSampleRates()[5], QStringLiteral("48000"));
  EXPECT_EQ(app::AudioChannels(), QStringList({"Original", "Mono", "Stereo"}));
  EXPECT_EQ(app::AudioFormats(), QStringList({"MP3", "WAV", "OGG", "FLAC", "WMA"}));
}

TEST(OptionListsTest, EncoderListsFollowTheContainer) {
  struct TRow {
    const char* Format;
    QStringList Video;
    QStringList Audio;
  };
  const TRow rows[] = {
      {"AVI", {"MPEG4", "H.264", "DivX", "xVid"}, {"MP3", "AC3"}},
      {"M4V", {"MPEG4", "H.264"}, {"AAC"}},
      {"MKV", {"MPEG4", "H.264", "xVid"}, {"MP3", "AAC"}},
      {"MOV", {"MPEG4", "H.264"}, {"AAC"}},
      {"MP4", {"MPEG4", "H.264"}, {"AAC", "AC3"}},
      {"MPG", {"MPEG2"}, {"MP2"}},
      {"TS", {"H.264"}, {"AC3"}},
      {"VOB", {"MPEG2"}, {"MP2", "AC3"}},
      {"WebM", {"VP8"}, {"OGG"}},
      {"WMV", {"WMV"}, {"WMA"}},
      {"webm", {}, {}},  // exact, case-sensitive texts
  };
  for (const TRow& row : rows) {
    EXPECT_EQ(app::VideoEncodersFor(QLatin1String(row.Format)), row.Video) << row.Format;
    EXPECT_EQ(app::AudioEncodersFor(QLatin1String(row.Format)), row.Audio) << row.Format;
  }
}

TEST(OptionListsTest, CustomSizeSelectsAnExistingEntryOrReplacesTheLastOne) {
  QStringList entries = app::VideoFrameSizes(QStringLiteral("7680x4800"));
  EXPECT_EQ(app::MatchOrReplaceCustomSize(entries, QStringLiteral("1280x720")), 14);
  EXPECT_EQ(entries.last(), QStringLiteral("7680x4800"));
  EXPECT_EQ(app::MatchOrReplaceCustomSize(entries, QStringLiteral("7680x4800")), app::kFrameSizeCount - 1);
  EXPECT_EQ(app::MatchOrReplaceCustomSize(entries, QStringLiteral("1000x500")), app::kFrameSizeCount - 1);
  EXPECT_EQ(entries.last(), QStringLiteral("1000x500"));
  EXPECT_EQ(entries.size(), app::kFrameSizeCount);
  // "Original" (the first entry) is never matched.
  EXPECT_EQ(app::MatchOrReplaceCustomSize(entries, QStringLiteral("Original")), app::kFrameSizeCount - 1);
}

TEST(OptionListsTest, NormalizeClampsValueListsAndUnselectsEncoders) {
  app::TOutputSettings s;
  s.VideoFormat = 10;  // beyond WMV
  s.VideoEncoder = 7;
  s.AudioEncoder = -5;
  s.VideoAspect = 5;
  s.VideoFrameSize = 30;
  s.VideoFrameRate = -1;
  s.VideoBitrate = 99;
  s.AudioFormat = 5;
  s.AudioChannel = 3;
  s.AudioSampleRate = 6;
  s.AudioBitrate = 14;
  s.CustomFrameSize = QStringLiteral("big");
  app::NormalizeSelection(s);
  app::TOutputSettings expected;
  expected.VideoEncoder = -1;
  expected.AudioEncoder = -1;
  EXPECT_EQ(s, expected);

  app::TOutputSettings valid;
  valid.VideoFormat = 9;
  valid.VideoEncoder = 0;
  valid.VideoFrameSize = app::kFrameSizeCount - 1;
  valid.AudioBitrate = 13;
  valid.CustomFrameSize = QStringLiteral("99999x1");
  app::TOutputSettings copy = valid;
  app::NormalizeSelection(copy);
  EXPECT_EQ(copy, valid);
}

TEST(OptionListsTest, FrameSizeValidation) {
  for (const char* good : {"1x1", "7680x4800", "99999x99999"})
    EXPECT_TRUE(app::IsValidFrameSize(good)) << good;
  for (const char* bad : {"", "x", "0x5", "100000x1", "10X10", "10x", "10x10 ", "-1x5", "abc"})
    EXPECT_FALSE(app::IsValidFrameSize(bad)) << bad;
}

}  // namespace
