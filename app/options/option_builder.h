#pragma once
// The option texts in the syntax of FFmpeg's command-line tool that the conversion and the audio
// extraction hand to the encoder as output options. Every blank matters: the texts are compared
// byte for byte with the ones the product has always produced.

#include <QString>

#include "app/options/output_settings.h"

namespace app {

/// Output options of a conversion: bit rates, container, aspect ratio, channels, sample rate,
/// frame rate, audio codec, video codec, filter chain (frame size and effects), no subtitles.
/// The output file's extension is not part of it.
QString VideoOptionString(const TOutputSettings& settings);

/// Output options of an audio extraction: bit rate, channels, sample rate, the audio format's
/// codec, no video.
QString AudioOptionString(const TOutputSettings& settings);

}  // namespace app
