#pragma once
// Asks an FFmpeg encoder whether it takes a set of parameters, by opening it with them (and, for
// audio, encoding a little noise, since some encoders refuse a bit rate only when they allocate
// bits). The trial logs nothing. The encoder libraries must be loaded (FFmpegException otherwise).

#include <cstdint>
#include <string>

namespace media {

/// The codecs an output container chooses when the options name none, by the output file's name
/// (its extension): encoder names such as "libmp3lame", "mpeg4"; empty when the container has no
/// default of that kind or is not known.
struct TContainerDefaults {
  std::string AudioEncoder;
  std::string VideoEncoder;
};
TContainerDefaults ContainerDefaults(const std::string& fileName);

/// Whether the named audio encoder accepts sampleRate, channels and bitRate (bits per second; 0
/// leaves the encoder's default). Where the encoder lists its sample rates or channel layouts, the
/// nearest one it lists is tried, as the conversion's filters would give it.
bool AudioEncoderAccepts(const std::string& encoder, int sampleRate, int channels, int64_t bitRate);

/// The sample rate and channel count the named audio encoder is given for a source of sampleRate
/// and channels: where the encoder lists its rates or layouts, the nearest one it lists (the
/// choice AudioEncoderAccepts tries); else the source's own. Zeros for an unknown encoder.
struct TAudioEncoderInput {
  int SampleRate = 0;
  int Channels = 0;
};
TAudioEncoderInput AudioEncoderInput(const std::string& encoder, int sampleRate, int channels);

/// Whether the named video encoder opens for a width x height picture in pixelFormat (an FFmpeg
/// pixel format name; empty: the encoder's first format).
bool VideoEncoderAccepts(const std::string& encoder, int width, int height, const std::string& pixelFormat);

}  // namespace media
