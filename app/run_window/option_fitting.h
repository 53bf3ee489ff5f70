#pragma once
// Fits the option text of the main window to one source before it is converted: where the chosen
// encoder would refuse the source as it is (an odd frame size for H.264, six channels for WMA, a
// bit rate below what Vorbis takes for the source's channels and rate), the nearest setting the
// encoder accepts is written into the text instead, and a note says what changed. A text the
// encoders accept as it stands is returned unchanged, byte for byte.

#include <QString>
#include <cstdint>

namespace app {

/// What the run window's decoder tells of a source: the first video and audio stream; -1 where
/// the source has no such stream or does not say.
struct TSourceShape {
  int Width = -1;
  int Height = -1;
  int Channels = -1;
  int SampleRate = -1;
};

/// The sample rate and channel count an audio encoder is given.
struct TAudioInput {
  int SampleRate = 0;
  int Channels = 0;
};

/// What the fitting asks of the FFmpeg encoders (media/encoder_trial.h in the program).
class IEncoderLimits {
 public:
  virtual ~IEncoderLimits() = default;
  /// What the conversion hands the encoder for a source of sampleRate and channels: where the
  /// encoder lists its rates or channel layouts, the nearest one it lists; else the source's own.
  /// Zeros for an unknown encoder.
  virtual TAudioInput AudioInput(const QString& encoder, int sampleRate, int channels) = 0;
  /// bitRate in bits per second; 0 leaves the encoder's default.
  virtual bool AudioAccepts(const QString& encoder, int sampleRate, int channels, int64_t bitRate) = 0;
  /// pixelFormat empty: the encoder's first format.
  virtual bool VideoAccepts(const QString& encoder, int width, int height, const QString& pixelFormat) = 0;
  /// The encoders the output's container takes when the text names none (empty: none).
  virtual QString DefaultAudioEncoder(const QString& output) = 0;
  virtual QString DefaultVideoEncoder(const QString& output) = 0;
};

struct TFittedOptions {
  QString Options;  // the text to convert with
  QString Note;     // empty when nothing changed; else one line saying what changed and why
};

/// The audio bit rates the main window offers (kbit/s), the candidates when a bit rate must change.
inline constexpr int kAudioBitRatesK[] = {32, 40, 48, 56, 64, 80, 96, 128, 160, 192, 224, 256, 320, 384};

/// Fits options (FFmpeg command-line syntax, as built by the main window) for converting a source
/// of the given shape into output. Changes, each only where needed and each named in the note:
/// the sample rate and the channel count to those the encoder lists (written into the text, so
/// the conversion does what the note says); the audio bit rate to the nearest one of
/// kAudioBitRatesK the encoder accepts (a higher one when two are as near); more than two
/// channels to stereo when the encoder takes no bit rate with them; the frame size to the even
/// size below it.
TFittedOptions FitOptionsToSource(const QString& options, const QString& output, const TSourceShape& shape,
                                  IEncoderLimits& limits);

}  // namespace app
