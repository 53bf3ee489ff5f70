#include "app/options/presets.h"

#include <gtest/gtest.h>

#include <set>

#include "app/options/option_builder.h"

namespace {

const app::TPreset& Preset(const char* caption) {
  for (const app::TPreset& preset : app::Presets())
    if (QLatin1String(preset.Caption) == QLatin1String(caption)) return preset;
  throw std::runtime_error(std::string("no preset ") + caption);
}

TEST(PresetsTest, FortyPresetsInSixGroupsInTableOrder) {
  EXPECT_EQ(app::Presets().size(), 40u);
  const QStringList groups = {"General", "HD Video", "4K Video", "iPhone", "iPad", "Apple TV"};
  EXPECT_EQ(app::PresetGroups(), groups);
  const size_t counts[] = {11, 10, 7, 5, 3, 4};
  size_t total = 0;
  for (int i = 0; i < groups.size(); ++i) {
    const auto presets = app::PresetsOf(groups[i]);
    EXPECT_EQ(presets.size(), counts[i]) << groups[i].toStdString();
    total += presets.size();
  }
  EXPECT_EQ(total, app::Presets().size());  // every preset belongs to a listed group
  EXPECT_STREQ(app::PresetsOf("General").front()->Caption, "AVI (*.avi)");
  EXPECT_STREQ(app::PresetsOf("Apple TV").back()->Caption, "Apple TV HD (*.mp4)");
  std::set<std::string> captions;
  for (const app::TPreset& p : app::Presets()) captions.insert(p.Caption);
  EXPECT_EQ(captions.size(), app::Presets().size());
}

struct TPresetCase {
  const char* Caption;
  const char* Expected;
};

class PresetOptionTest : public ::testing::TestWithParam<TPresetCase> {};

// Starting from the defaults (aspect and frame rate "Original", no effects).
TEST_P(PresetOptionTest, BuildsTheVideoOptions) {
  app::TOutputSettings settings;
  app::ApplyPreset(settings, Preset(GetParam().Caption));
  EXPECT_EQ(app::VideoOptionString(settings).toStdString(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, PresetOptionTest,
    ::testing::Values(
        TPresetCase{"HD AVI (*.avi)",
                    "-b:a 192k -b:v 10000k -ac 2 -ar 48000 -c:a ac3 -c:v libx264 -threads 8 -pix_fmt yuv420p "
                    "-vf \"scale=1920:1080\"  -sn "},
        // Encoder 1 of WMV's one-entry lists: no selection, so no codec is named.
        TPresetCase{"HD WMV (*.wmv)", "-b:a 128k -b:v 7000k -ac 2 -ar 48000 -vf \"scale=1920:1080\"  -sn "},
        TPresetCase{"AVI (*.avi)", "-b:a 128k -ac 2 -ar 44100 -c:a libmp3lame -c:v mpeg4 -sn "},
        TPresetCase{"DVD-Video (*.vob)",
                    "-b:a 192k -b:v 5000k -ac 2 -ar 44100 -r 30 -c:a mp2 -target ntsc-dvd -c:v mpeg2video "
                    "-vf \"scale=720:480\"  -sn "},
        TPresetCase{"HD XviD (*.avi)",
                    "-b:a 128k -b:v 9000k -ac 2 -ar 44100 -c:a libmp3lame -c:v libxvid -vf "
                    "\"scale=1920:1080\"  -sn "},
        // Audio encoder 1 of MOV's one-entry list: no audio codec named.
        TPresetCase{"iPhone 5/6 MOV (*.mov)",
                    "-b:a 128k -b:v 1500k -ac 2 -ar 44100 -c:v mpeg4 -vf \"scale=640:480\"  -sn "},
        TPresetCase{"Apple TV HD (*.mp4)",
                    "-b:a 128k -b:v 3000k -ac 2 -ar 48000 -r 25 -c:a aac -astrict experimental -c:v libx264 "
                    "-threads 8 -pix_fmt yuv420p -vf \"scale=1280:720\"  -sn "}));

TEST(PresetsTest, LeavesUntouchedListsAsTheyWere) {
  app::TOutputSettings settings;
  settings.VideoFrameSize = 14;
  settings.VideoAspect = 2;
  settings.VideoFrameRate = 2;
  settings.AudioFormat = 3;
  settings.CustomFrameSize = QStringLiteral("1000x500");
  settings.Effects.HFlip = true;
  settings.VideoEncoder = 3;
  app::ApplyPreset(settings, Preset("MKV (*.mkv)"));
  EXPECT_EQ(settings.VideoFormat, 2);
  EXPECT_EQ(settings.VideoEncoder, 0);  // refilled for MKV: its first entry
  EXPECT_EQ(settings.AudioEncoder, 0);
  EXPECT_EQ(settings.VideoFrameSize, 14);  // a General preset keeps the frame size
  EXPECT_EQ(settings.VideoFrameRate, 2);
  EXPECT_EQ(settings.VideoAspect, 2);
  EXPECT_EQ(settings.AudioFormat, 3);
  EXPECT_EQ(settings.CustomFrameSize, QStringLiteral("1000x500"));
  EXPECT_TRUE(settings.Effects.HFlip);
  EXPECT_EQ(settings.VideoBitrate, 0);
  EXPECT_EQ(settings.AudioSampleRate, 4);
  EXPECT_EQ(settings.AudioBitrate, 7);
  EXPECT_EQ(settings.AudioChannel, 2);
}

TEST(PresetsTest, EncoderIndexBeyondTheRefilledListLeavesNoSelection) {
  for (const char* caption : {"HD MPEG (*.mpg)", "HD WMV (*.wmv)", "Apple TV 2 DD (*.m4v)"}) {
    app::TOutputSettings settings;
    app::ApplyPreset(settings, Preset(caption));
    const QString format = app::VideoFormatText(settings);
    const bool videoOutside = Preset(caption).VideoEncoder >= app::VideoEncodersFor(format).size();
    const bool audioOutside = Preset(caption).AudioEncoder >= app::AudioEncodersFor(format).size();
    EXPECT_EQ(settings.VideoEncoder == -1, videoOutside) << caption;
    EXPECT_EQ(settings.AudioEncoder == -1, audioOutside) << caption;
    EXPECT_TRUE(videoOutside || audioOutside) << caption;
  }
}

}  // namespace
