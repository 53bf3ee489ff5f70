// Fitting the main window's option text to one source: what changes, what stays byte for byte,
// and the note. The encoders' answers come from a small table of rules shaped like the real
// encoders' (checked against the real ones in media_encoder_trial_tests).

#include "app/run_window/option_fitting.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <vector>

namespace {

// libvorbis: 48k or more for stereo, 96k for more channels; ac3: 48k for more than two channels;
// wmav2: at most two channels; libx264 and wmv2: even sizes only. Every other encoder takes
// anything. libmp3lame, mp2 and ac3 list their rates and channel layouts, as FFmpeg's do (the
// rates of libmp3lame and ac3 below are theirs). Each question asked of an encoder is counted.
class TRuleLimits : public app::IEncoderLimits {
 public:
  int Questions = 0;
  app::TAudioInput AudioInput(const QString& encoder, int sampleRate, int channels) override {
    std::vector<int> rates;
    int maxChannels = 0;
    if (encoder == QLatin1String("libmp3lame")) {
      rates = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};
      maxChannels = 2;
    } else if (encoder == QLatin1String("mp2")) {
      rates = {44100, 48000, 32000, 22050, 24000, 16000};
      maxChannels = 2;
    } else if (encoder == QLatin1String("ac3")) {
      rates = {48000, 44100, 32000};
      maxChannels = 6;
    }
    int rate = rates.empty() ? sampleRate : rates.front();
    for (const int r : rates)
      if (std::abs(r - sampleRate) < std::abs(rate - sampleRate)) rate = r;
    return {rate, maxChannels > 0 ? std::min(channels, maxChannels) : channels};
  }
  bool AudioAccepts(const QString& encoder, int, int channels, int64_t bitRate) override {
    ++Questions;
    if (encoder == QLatin1String("libvorbis"))
      return channels == 1 ? bitRate >= 32000 : channels == 2 ? bitRate >= 48000 : bitRate >= 96000;
    if (encoder == QLatin1String("ac3")) return channels <= 2 || bitRate >= 48000;
    if (encoder == QLatin1String("wmav2")) return channels <= 2;
    return true;
  }
  bool VideoAccepts(const QString& encoder, int width, int height, const QString&) override {
    ++Questions;
    if (encoder == QLatin1String("libx264") || encoder == QLatin1String("wmv2"))
      return width % 2 == 0 && height % 2 == 0;
    return true;
  }
  QString DefaultAudioEncoder(const QString& output) override {
    return output.endsWith(QLatin1String(".wmv")) ? QStringLiteral("wmav2") : QStringLiteral("pcm_s16le");
  }
  QString DefaultVideoEncoder(const QString& output) override {
    return output.endsWith(QLatin1String(".wmv")) ? QStringLiteral("msmpeg4") : QString();
  }
};

struct TFitCase {
  const char* Name;
  const char* Options;
  const char* Output;
  app::TSourceShape Shape;
  const char* Expected;  // nullptr: unchanged
  std::vector<const char*> NoteParts;
};

void PrintTo(const TFitCase& c, std::ostream* os) { *os << c.Name; }

const app::TSourceShape KSurroundOdd{321, 241, 6, 48000};
const app::TSourceShape KStereoEven{320, 240, 2, 44100};
const app::TSourceShape KMono{-1, -1, 1, 48000};

class FitOptionsTest : public ::testing::TestWithParam<TFitCase> {};

TEST_P(FitOptionsTest, ChangesOnlyWhatTheEncoderRefuses) {
  const TFitCase& c = GetParam();
  TRuleLimits limits;
  const app::TFittedOptions fitted =
      app::FitOptionsToSource(QString::fromUtf8(c.Options), QString::fromUtf8(c.Output), c.Shape, limits);
  const QString expected = QString::fromUtf8(c.Expected != nullptr ? c.Expected : c.Options);
  EXPECT_EQ(fitted.Options.toStdString(), expected.toStdString());
  if (c.Expected == nullptr) {
    EXPECT_TRUE(fitted.Note.isEmpty()) << fitted.Note.toStdString();
  } else {
    EXPECT_TRUE(fitted.Note.startsWith(QStringLiteral("Adjusted for this file: "))) << fitted.Note.toStdString();
    EXPECT_FALSE(fitted.Note.contains(QLatin1Char('\n')));
  }
  for (const char* part : c.NoteParts) EXPECT_TRUE(fitted.Note.contains(QString::fromUtf8(part))) << part << "\n" << fitted.Note.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, FitOptionsTest,
    ::testing::Values(
        TFitCase{"AviDefaultsNeedNothing", "-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn ", "/o/a.avi",
                 KStereoEven, nullptr, {}},
        // MP3 takes at most two channels: the conversion would make stereo of 5.1 anyway; the
        // fitting writes it down and names it, as for WMA.
        TFitCase{"AviSurroundMp3BecomesStereo", "-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn ", "/o/a.avi",
                 KSurroundOdd, "-b:a 32k -ac 2 -c:a libmp3lame -c:v mpeg4 -sn ",
                 {"stereo instead of 6 channels", "libmp3lame"}},
        TFitCase{"Mp3SurroundBecomesStereo", "-b:a 32k -c:a libmp3lame -vn", "/o/a.mp3", KSurroundOdd,
                 "-b:a 32k -ac 2 -c:a libmp3lame -vn", {"stereo instead of 6 channels (libmp3lame"}},
        TFitCase{"Mp3ChosenSurroundReplaced", "-b:a 32k -ac 6 -c:a libmp3lame -vn", "/o/a.mp3", KMono,
                 "-b:a 32k -ac 2 -c:a libmp3lame -vn", {"stereo instead of 6 channels"}},
        TFitCase{"Mp3RateOutsideItsList", "-b:a 128k -c:a libmp3lame -vn", "/o/a.mp3", {-1, -1, 2, 96000},
                 "-b:a 128k -ar 48000 -c:a libmp3lame -vn", {"48000 Hz instead of 96000 Hz", "libmp3lame"}},
        TFitCase{"Mp3ChosenRateReplaced", "-b:a 128k -ar 96000 -c:a libmp3lame -vn", "/o/a.mp3", KMono,
                 "-b:a 128k -ar 48000 -c:a libmp3lame -vn", {"48000 Hz instead of 96000 Hz"}},
        TFitCase{"Mp3SurroundAt96kBoth", "-b:a 128k -c:a libmp3lame -vn", "/o/a.mp3", {-1, -1, 6, 96000},
                 "-b:a 128k -ac 2 -ar 48000 -c:a libmp3lame -vn",
                 {"stereo instead of 6 channels", "48000 Hz"}},
        TFitCase{"Mp3ListedRateNeedsNothing", "-b:a 32k -c:a libmp3lame -vn", "/o/a.mp3", KMono, nullptr, {}},
        TFitCase{"TsOddSurround", "-b:a 32k -c:a ac3 -c:v libx264 -threads 8 -pix_fmt yuv420p -sn ", "/o/a.ts",
                 KSurroundOdd,
                 "-b:a 48k -c:a ac3 -c:v libx264 -threads 8 -pix_fmt yuv420p -vf \"scale=320:240\"  -sn ",
                 {"audio bit rate 48k instead of 32k", "frame size 320x240 instead of 321x241", "libx264"}},
        TFitCase{"TsEvenStereoNeedsNothing", "-b:a 32k -c:a ac3 -c:v libx264 -threads 8 -pix_fmt yuv420p -sn ",
                 "/o/a.ts", KStereoEven, nullptr, {}},
        TFitCase{"WebmStereoVorbis", "-b:a 32k -f webm  -c:a libvorbis -c:v libvpx -sn ", "/o/a.webm", KStereoEven,
                 "-b:a 48k -f webm  -c:a libvorbis -c:v libvpx -sn ", {"48k instead of 32k", "stereo at 44100 Hz"}},
        TFitCase{"OggSurround", "-b:a 32k -c:a libvorbis -vn", "/o/a.ogg", KSurroundOdd,
                 "-b:a 96k -c:a libvorbis -vn", {"96k instead of 32k", "6 channels at 48000 Hz"}},
        TFitCase{"OggUsersChoiceKept", "-b:a 128k -c:a libvorbis -vn", "/o/a.ogg", KSurroundOdd, nullptr, {}},
        TFitCase{"OggMonoNeedsNothing", "-b:a 32k -c:a libvorbis -vn", "/o/a.ogg", KMono, nullptr, {}},
        TFitCase{"WmaSurroundBecomesStereo", "-b:a 32k -c:a wmav2 -vn", "/o/a.wma", KSurroundOdd,
                 "-b:a 32k -ac 2 -c:a wmav2 -vn", {"stereo instead of 6 channels", "wmav2"}},
        TFitCase{"WmvSurroundOdd", "-b:a 32k -c:a wmav2 -c:v wmv2 -sn ", "/o/a.wmv", KSurroundOdd,
                 "-b:a 32k -ac 2 -c:a wmav2 -c:v wmv2 -vf \"scale=320:240\"  -sn ", {"stereo", "320x240"}},
        TFitCase{"ChosenChannelsReplaced", "-b:a 32k -ac 6 -c:a wmav2 -vn", "/o/a.wma", KMono,
                 "-b:a 32k -ac 2 -c:a wmav2 -vn", {"stereo instead of 6 channels"}},
        TFitCase{"EffectsChainGetsTheScaleFirst",
                 "-b:a 32k -c:a aac -astrict experimental -c:v libx264 -threads 8 -pix_fmt yuv420p -vf \"vflip,negate\"  -sn ",
                 "/o/a.mp4", KSurroundOdd,
                 "-b:a 32k -c:a aac -astrict experimental -c:v libx264 -threads 8 -pix_fmt yuv420p -vf \"scale=320:240,vflip,negate\"  -sn ",
                 {"320x240 instead of 321x241"}},
        TFitCase{"OddCustomSizeMadeEven",
                 "-b:a 32k -c:a aac -astrict experimental -c:v libx264 -threads 8 -pix_fmt yuv420p -vf \"scale=1001:501,hflip\"  -sn ",
                 "/o/a.mp4", KStereoEven,
                 "-b:a 32k -c:a aac -astrict experimental -c:v libx264 -threads 8 -pix_fmt yuv420p -vf \"scale=1000:500,hflip\"  -sn ",
                 {"1000x500 instead of 1001x501"}},
        TFitCase{"EvenScaleOfAnOddSourceNeedsNothing",
                 "-b:a 32k -c:a aac -c:v libx264 -vf \"scale=640:480\"  -sn ", "/o/a.mp4", KSurroundOdd, nullptr, {}},
        // The DVD standard sets its own frame size and AC-3 at 48 kHz; the audio still has to fit.
        TFitCase{"VobTargetSurround", "-b:a 32k -c:a mp2 -target ntsc-dvd -c:v mpeg2video -sn ", "/o/a.vob",
                 KSurroundOdd, "-b:a 48k -c:a mp2 -target ntsc-dvd -c:v mpeg2video -sn ", {"ac3"}},
        TFitCase{"NoCodecsNamedTakesTheContainers", "-b:a 128k -b:v 7000k -ac 6 -ar 48000 -vf \"scale=1921:1081\"  -sn ",
                 "/o/a.wmv", KSurroundOdd, "-b:a 128k -b:v 7000k -ac 2 -ar 48000 -vf \"scale=1921:1081\"  -sn ",
                 {"wmav2"}},
        TFitCase{"AudioOnlySourceLeavesTheVideoAlone", "-b:a 32k -c:a ac3 -c:v libx264 -sn ", "/o/a.ts", KMono,
                 nullptr, {}},
        TFitCase{"NoAudioWanted", "-b:a 32k -an -c:v libx264 -vf \"scale=320:240\"  -sn ", "/o/a.mp4",
                 KSurroundOdd, nullptr, {}}),
    [](const ::testing::TestParamInfo<TFitCase>& info) { return std::string(info.param.Name); });

TEST(FitOptionsQuestions, AnAcceptedTextCostsOneQuestionPerStream) {
  TRuleLimits limits;
  app::FitOptionsToSource(QStringLiteral("-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn "), QStringLiteral("/o/a.avi"),
                          KStereoEven, limits);
  // The even source size needs no question at all: only an odd size is ever refused.
  EXPECT_EQ(limits.Questions, 1);
}

}  // namespace
