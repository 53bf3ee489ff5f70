#include "app/settings/settings.h"

#include <gtest/gtest.h>

#include "app/options/option_builder.h"
#include "app/settings/temp_folder.h"
#include "platform/ini_file.h"
#include "platform/settings_location.h"

namespace {

using app::TConverterSettings;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

// What a first start writes on exit with the window at its design size.
const char kFirstStart[] =
    "[Converter]\n"
    "LocOption=1\n"
    "Location=\n"
    "AddPath=\n"
    "AddView=1\n"
    "Maximized=0\n"
    "Height=600\n"
    "Width=750\n"
    "Update=1\n"
    "Custom=7680x4800\n"
    "Column1=300\n"
    "Column2=100\n"
    "Column3=100\n"
    "Column4=200\n"
    "\n"
    "[Settings]\n"
    "VideoFormat2=0\n"
    "VideoEncoder2=0\n"
    "VideoAspect2=0\n"
    "VideoFrameSize2=0\n"
    "VideoFrameRate2=0\n"
    "VideoBitRate2=0\n"
    "AudioFormat2=0\n"
    "AudioEncoder2=0\n"
    "AudioChannel2=0\n"
    "AudioSampleRate2=0\n"
    "AudioBitRate2=0\n";

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FTemp.isValid()); }
  QString Path(const char* name) const { return FTemp.filePath(QLatin1String(name)); }
  QTemporaryDir FTemp = testing_support::MakeTempFolder("settings");
};

TEST_F(SettingsTest, FirstStartWritesTheWholeFileInOrder) {
  TConverterSettings settings = app::LoadSettingsFile(Path("new/converter.ini"));
  EXPECT_EQ(settings, TConverterSettings{});
  EXPECT_TRUE(QFileInfo(Path("new")).isDir());  // the folder is made on load already
  settings.Height = 600;
  settings.Width = 750;
  ASSERT_TRUE(app::SaveSettingsFile(Path("new/converter.ini"), settings));
  EXPECT_EQ(ReadBytes(Path("new/converter.ini")), QByteArray(kFirstStart));
}

TEST_F(SettingsTest, EverySettingSurvivesARestart) {
  TConverterSettings settings;
  settings.LocOption = app::TLocation::Path;
  settings.Location = QStringLiteral("/srv/out put/é");
  settings.AddPath = QStringLiteral("/home/user/Videos");
  settings.AddView = 2;
  settings.Update = false;
  settings.Columns = {250, 80, 90, 400};
  settings.Height = 480;
  settings.Width = 640;
  settings.Output.VideoFormat = 4;
  settings.Output.VideoEncoder = 1;
  settings.Output.VideoAspect = 2;
  settings.Output.VideoFrameSize = app::kFrameSizeCount - 1;
  settings.Output.VideoFrameRate = 3;
  settings.Output.VideoBitrate = 12;
  settings.Output.AudioFormat = 3;
  settings.Output.AudioEncoder = 1;
  settings.Output.AudioChannel = 2;
  settings.Output.AudioSampleRate = 5;
  settings.Output.AudioBitrate = 13;
  settings.Output.CustomFrameSize = QStringLiteral("1000x500");
  ASSERT_TRUE(app::SaveSettingsFile(Path("converter.ini"), settings));
  EXPECT_EQ(app::LoadSettingsFile(Path("converter.ini")), settings);
}

TEST_F(SettingsTest, MaximizedExitKeepsTheLastNormalSize) {
  TConverterSettings settings;
  settings.Height = 480;
  settings.Width = 640;
  ASSERT_TRUE(app::SaveSettingsFile(Path("converter.ini"), settings));
  settings.Maximized = true;
  settings.Height = 1000;  // the maximized size is not what the next normal start should get
  settings.Width = 1900;
  ASSERT_TRUE(app::SaveSettingsFile(Path("converter.ini"), settings));
  const platform::TIniFile ini(Path("converter.ini"));
  EXPECT_EQ(ini.ReadString("Converter", "Maximized", ""), QStringLiteral("1"));
  EXPECT_EQ(ini.ReadInteger("Converter", "Height", 0), 480);
  EXPECT_EQ(ini.ReadInteger("Converter", "Width", 0), 640);
  const TConverterSettings loaded = app::LoadSettingsFile(Path("converter.ini"));
  EXPECT_TRUE(loaded.Maximized);
  EXPECT_EQ(loaded.Height, 480);
}

TEST_F(SettingsTest, SizeIsAppliedOnlyWhenItsKeyExists) {
  ASSERT_TRUE(WriteBytes(Path("converter.ini"), "[Converter]\nWidth=900\n"));
  const TConverterSettings loaded = app::LoadSettingsFile(Path("converter.ini"));
  EXPECT_FALSE(loaded.Height.has_value());
  EXPECT_EQ(loaded.Width, 900);
}

TEST_F(SettingsTest, UnknownKeysSurviveASave) {
  ASSERT_TRUE(WriteBytes(Path("converter.ini"), "[Converter]\nLocOption=2\nFuture=yes\n[Later]\nA=1\n"));
  ASSERT_TRUE(app::SaveSettingsFile(Path("converter.ini"), app::LoadSettingsFile(Path("converter.ini"))));
  const platform::TIniFile ini(Path("converter.ini"));
  EXPECT_EQ(ini.ReadString("Converter", "Future", ""), QStringLiteral("yes"));
  EXPECT_EQ(ini.ReadInteger("Later", "A", 0), 1);
  EXPECT_EQ(ini.ReadInteger("Converter", "LocOption", 0), 2);
}

// Indexes and values that earlier versions or hand edits may have left: value lists fall back to
// their first entry, encoders to no selection, and the option texts stay complete.
TEST_F(SettingsTest, OutOfRangeAndInvalidValuesLoadAsUsableDefaults) {
  ASSERT_TRUE(WriteBytes(Path("converter.ini"),
                         "[Converter]\nLocOption=9\nAddView=x\nCustom=huge\nColumn2=wide\n"
                         "[Settings]\nVideoFormat2=7\nVideoEncoder2=5\nVideoAspect2=17\nVideoFrameSize2=30\n"
                         "VideoFrameRate2=-2\nVideoBitRate2=31\nAudioFormat2=5\nAudioEncoder2=2\n"
                         "AudioChannel2=3\nAudioSampleRate2=abc\nAudioBitRate2=14\n"));
  const TConverterSettings loaded = app::LoadSettingsFile(Path("converter.ini"));
  EXPECT_EQ(loaded.LocOption, app::TLocation::Specify);
  EXPECT_EQ(loaded.AddView, 1);
  EXPECT_EQ(loaded.Columns[1], 100);
  app::TOutputSettings expected;
  expected.VideoFormat = 7;  // VOB is a valid entry
  expected.VideoEncoder = -1;
  expected.AudioEncoder = -1;
  EXPECT_EQ(loaded.Output, expected);
  EXPECT_EQ(app::VideoOptionString(loaded.Output).toStdString(), "-b:a 32k -target ntsc-dvd -sn ");
  EXPECT_EQ(app::AudioOptionString(loaded.Output).toStdString(), "-b:a 32k -c:a libmp3lame -vn");
}

TEST_F(SettingsTest, LocationFollowsTheConfigFolder) {
  const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
  const QByteArray oldHome = qgetenv("HOME");
  const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  const bool hadHome = qEnvironmentVariableIsSet("HOME");

  qputenv("XDG_CONFIG_HOME", FTemp.path().toUtf8());
  EXPECT_EQ(app::SettingsFilePath(),
            FTemp.path() + QStringLiteral("/Quorvane/Video Converter/converter.ini"));
  qputenv("XDG_CONFIG_HOME", "relative/dir");  // ignored, as the base-directory rules say
  qputenv("HOME", "/home/someone");
  EXPECT_EQ(app::SettingsFilePath(),
            QStringLiteral("/home/someone/.config/Quorvane/Video Converter/converter.ini"));
  qputenv("XDG_CONFIG_HOME", "");
  qunsetenv("HOME");
  EXPECT_TRUE(platform::UserConfigFolder().isEmpty());
  EXPECT_TRUE(app::SettingsFilePath().isEmpty());
  // Without a place for settings: defaults in, nothing out.
  EXPECT_EQ(app::LoadSettingsFile(app::SettingsFilePath()), TConverterSettings{});
  EXPECT_FALSE(app::SaveSettingsFile(app::SettingsFilePath(), TConverterSettings{}));

  if (hadXdg)
    qputenv("XDG_CONFIG_HOME", oldXdg);
  else
    qunsetenv("XDG_CONFIG_HOME");
  if (hadHome)
    qputenv("HOME", oldHome);
  else
    qunsetenv("HOME");
}

}  // namespace
