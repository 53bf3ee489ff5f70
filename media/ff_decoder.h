#pragma once
// The decoder component: TCustomDecoder's file and stream information plus the picture
// converter that hands decoded frames to the application. Frame decoding, seeking and audio
// build on this class.

#include <string>

#include "media/custom_decoder.h"
#include "media/format_converter.h"

namespace media {

class TFFDecoder : public TCustomDecoder {
 public:
  explicit TFFDecoder(TFFBaseComponent* owner = nullptr);
  std::string ClassName() const override { return "TFFDecoder"; }

  /// The picture converter's bits per pixel (8, 15, 16, 24 or 32; others throw FFmpegException
  /// "Invalid BitsPixel %d").
  int BitmapBitsPixel() const { return FConverter.BitsPixel(); }
  void SetBitmapBitsPixel(int value) { FConverter.SetBitsPixel(value); }

 protected:
  /// The picture converter takes the scaler flags of the decoder's options.
  void ApplySwsFlags(int swsFlags) override { FConverter.Setsws_flags(swsFlags); }
  TFormatConverter& Converter() { return FConverter; }

 private:
  TFormatConverter FConverter;
};

}  // namespace media
