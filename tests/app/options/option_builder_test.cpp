#include "app/options/option_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace {

using app::TOutputSettings;

struct TBuilderCase {
  const char* Name;
  std::function<void(TOutputSettings&)> Set;
  const char* Expected;  // byte for byte, blanks included
};

std::ostream& operator<<(std::ostream& os, const TBuilderCase& c) { return os << c.Name; }

// Indexes below refer to the lists of option_lists.cpp (format 0 AVI ... 9 WMV; frame size 8
// 640x480; video bit rate 7 "1000"; audio bit rate 7 "128"; aspect 2 "16:9"; channel 1 Mono,
// 2 Stereo; sample rate 3 22050, 4 44100; frame rate 2 "15").
const TBuilderCase kVideoCases[] = {
    {"Defaults", [](TOutputSettings&) {}, "-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn "},
    {"AviDivXOriginalRate", [](TOutputSettings& s) { s.VideoEncoder = 2; },
     "-b:a 32k -c:a libmp3lame -c:v mpeg4 -tag:v DIVX -vstrict unofficial -r 15000/1001 -sn "},
    {"AviDivXWithRate",
     [](TOutputSettings& s) {
       s.VideoEncoder = 2;
       s.VideoFrameRate = 3;
     },
     "-b:a 32k -r 25 -c:a libmp3lame -c:v mpeg4 -tag:v DIVX -vstrict unofficial -sn "},
    {"AviXvid", [](TOutputSettings& s) { s.VideoEncoder = 3; }, "-b:a 32k -c:a libmp3lame -c:v libxvid -sn "},
    {"AviH264Ac3",
     [](TOutputSettings& s) {
       s.VideoEncoder = 1;
       s.AudioEncoder = 1;
     },
     "-b:a 32k -c:a ac3 -c:v libx264 -threads 8 -pix_fmt yuv420p -sn "},
    {"M4V", [](TOutputSettings& s) { s.VideoFormat = 1; },
     "-b:a 32k -c:a aac -astrict experimental -c:v mpeg4 -sn "},
    {"MkvFirstEncoderIsMpeg4", [](TOutputSettings& s) { s.VideoFormat = 2; },
     "-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn "},
    {"MkvXvid",
     [](TOutputSettings& s) {
       s.VideoFormat = 2;
       s.VideoEncoder = 2;
       s.AudioEncoder = 1;
     },
     "-b:a 32k -c:a aac -astrict experimental -c:v libxvid -sn "},
    {"MP4", [](TOutputSettings& s) { s.VideoFormat = 4; },
     "-b:a 32k -c:a aac -astrict experimental -c:v mpeg4 -sn "},
    {"MPG", [](TOutputSettings& s) { s.VideoFormat = 5; },
     "-b:a 32k -c:a mp2 -target ntsc-vcd -c:v mpeg2video -sn "},
    {"TS", [](TOutputSettings& s) { s.VideoFormat = 6; },
     "-b:a 32k -c:a ac3 -c:v libx264 -threads 8 -pix_fmt yuv420p -sn "},
    {"VOB", [](TOutputSettings& s) { s.VideoFormat = 7; },
     "-b:a 32k -c:a mp2 -target ntsc-dvd -c:v mpeg2video -sn "},
    {"WebMRates",
     [](TOutputSettings& s) {
       s.VideoFormat = 8;
       s.VideoBitrate = 7;
       s.AudioBitrate = 7;
     },
     "-b:a 128k -b:v 1000k -f webm  -c:a libvorbis -c:v libvpx -sn "},
    {"WMV", [](TOutputSettings& s) { s.VideoFormat = 9; }, "-b:a 32k -c:a wmav2 -c:v wmv2 -sn "},
    {"FrameSizeVFlipNegate",
     [](TOutputSettings& s) {
       s.VideoFrameSize = 8;
       s.Effects.VFlip = true;
       s.Effects.Negate = true;
     },
     "-b:a 32k -c:a libmp3lame -c:v mpeg4 -vf \"scale=640:480,vflip,negate\"  -sn "},
    {"EffectsWithoutFrameSize", [](TOutputSettings& s) { s.Effects.VFlip = true; },
     "-b:a 32k -c:a libmp3lame -c:v mpeg4 -vf \"vflip\"  -sn "},
    {"AllEffectsInOrder",
     [](TOutputSettings& s) {
       s.Effects = {true, true, true, true};
     },
     "-b:a 32k -c:a libmp3lame -c:v mpeg4 -vf \"vflip,hflip,yadif,negate\"  -sn "},
    {"CustomFrameSize",
     [](TOutputSettings& s) {
       s.CustomFrameSize = QStringLiteral("1000x500");
       s.VideoFrameSize = app::kFrameSizeCount - 1;
     },
     "-b:a 32k -c:a libmp3lame -c:v mpeg4 -vf \"scale=1000:500\"  -sn "},
    {"AspectMonoRateFrameRate",
     [](TOutputSettings& s) {
       s.VideoAspect = 2;
       s.AudioChannel = 1;
       s.AudioSampleRate = 3;
       s.VideoFrameRate = 2;
     },
     "-b:a 32k -aspect 16:9 -ac 1 -ar 22050 -r 15 -c:a libmp3lame -c:v mpeg4 -sn "},
    {"EncoderListsWithoutSelection",
     [](TOutputSettings& s) {
       s.VideoFormat = 9;
       s.VideoEncoder = -1;
       s.AudioEncoder = -1;
     },
     "-b:a 32k -sn "},
};

class VideoOptionTest : public ::testing::TestWithParam<TBuilderCase> {};

TEST_P(VideoOptionTest, MatchesTable) {
  TOutputSettings settings;
  GetParam().Set(settings);
  EXPECT_EQ(app::VideoOptionString(settings).toStdString(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Vectors, VideoOptionTest, ::testing::ValuesIn(kVideoCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Audio format 0 MP3 ... 4 WMA; audio bit rate 4 "64", 9 "192".
const TBuilderCase kAudioCases[] = {
    {"Mp3Defaults", [](TOutputSettings&) {}, "-b:a 32k -c:a libmp3lame -vn"},
    {"WavDefaults", [](TOutputSettings& s) { s.AudioFormat = 1; }, "-b:a 32k -vn"},
    {"OggMono22050",
     [](TOutputSettings& s) {
       s.AudioFormat = 2;
       s.AudioChannel = 1;
       s.AudioSampleRate = 3;
       s.AudioBitrate = 4;
     },
     "-b:a 64k -ac 1 -ar 22050 -c:a libvorbis -vn"},
    {"FlacStereo44100",
     [](TOutputSettings& s) {
       s.AudioFormat = 3;
       s.AudioChannel = 2;
       s.AudioSampleRate = 4;
       s.AudioBitrate = 9;
     },
     "-b:a 192k -ac 2 -ar 44100 -c:a flac -vn"},
    {"Wma", [](TOutputSettings& s) { s.AudioFormat = 4; }, "-b:a 32k -c:a wmav2 -vn"},
    // The extraction ignores the video settings and the effects.
    {"VideoSettingsIgnored",
     [](TOutputSettings& s) {
       s.VideoFormat = 8;
       s.VideoFrameSize = 8;
       s.Effects.VFlip = true;
     },
     "-b:a 32k -c:a libmp3lame -vn"},
};

class AudioOptionTest : public ::testing::TestWithParam<TBuilderCase> {};

TEST_P(AudioOptionTest, MatchesTable) {
  TOutputSettings settings;
  GetParam().Set(settings);
  EXPECT_EQ(app::AudioOptionString(settings).toStdString(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Vectors, AudioOptionTest, ::testing::ValuesIn(kAudioCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Every combination of the lists builds a text without an empty value: no "k" without digits,
// no bare "scale=", no option directly followed by another option's dash.
TEST(OptionBuilderTest, EveryValidSelectionBuildsCompleteOptions) {
  for (int format = 0; format < app::VideoFormats().size(); ++format) {
    const QString formatText = app::VideoFormats()[format];
    for (int venc = 0; venc < app::VideoEncodersFor(formatText).size(); ++venc) {
      for (int aenc = 0; aenc < app::AudioEncodersFor(formatText).size(); ++aenc) {
        for (int size : {0, 8, app::kFrameSizeCount - 1}) {
          TOutputSettings s;
          s.VideoFormat = format;
          s.VideoEncoder = venc;
          s.AudioEncoder = aenc;
          s.VideoFrameSize = size;
          s.VideoBitrate = 29;
          s.AudioBitrate = 13;
          const QString text = app::VideoOptionString(s);
          SCOPED_TRACE(text.toStdString());
          EXPECT_TRUE(text.startsWith(QLatin1String("-b:a 384k -b:v 50000k")));
          EXPECT_FALSE(text.contains(QLatin1String(" k")));
          EXPECT_FALSE(text.contains(QLatin1String("scale= ")));
          EXPECT_FALSE(text.contains(QLatin1String("-c:v  ")));
          EXPECT_TRUE(text.endsWith(QLatin1String(" -sn ")));
        }
      }
    }
  }
}

}  // namespace
