#pragma once
// The picture converter: decoded FFmpeg pictures to packed RGB bitmaps and back, through
// libswscale. The decoder hands frames to the application with it, the engine's video hooks and
// preview use it on the conversion thread. The bitmap is plain memory (TBitmap); the application
// turns it into a QImage at its edge (see TBitmap for the matching QImage formats).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "media/ff_handles.h"
#include "media/ff_types.h"

namespace media {

/// The bitmap pixel formats of the toolkit's bitmaps; only pf8bit..pf32bit are convertible.
enum class TBMPPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

/// A picture as FFmpeg lays it out: plane addresses and bytes per row (AVPicture of old).
struct TPicture {
  uint8_t* data[4] = {};
  int linesize[4] = {};
};

/// The classic description of a device-independent bitmap's pixels, here of the RGB picture.
struct TDIB {
  int Type = 0;
  int Width = 0;
  int Height = 0;
  int WidthBytes = 0;  // the picture's line size
  int Planes = 0;
  int BitsPixel = 0;
  uint8_t* Bits = nullptr;
};

/// A packed RGB bitmap in memory, top row first, rows Stride bytes apart; Stride is the row's
/// bytes rounded up to a multiple of 4, as QImage wants its rows. Pixel layout (little-endian):
///   32 bits: bytes B, G, R, A (the word 0xAARRGGBB)          = QImage::Format_ARGB32
///   24 bits: bytes B, G, R                                   = QImage::Format_BGR888
///   16 bits: 16-bit word RRRRRGGG GGGBBBBB                   = QImage::Format_RGB16
///   15 bits: 16-bit word xRRRRRGG GGGBBBBB (BitsPixel 15)    = QImage::Format_RGB555
///    8 bits: byte BBGGGRRR, an index into Bgr8ColorTable()   = QImage::Format_Indexed8
struct TBitmap {
  int Width = 0;
  int Height = 0;
  int BitsPixel = 32;  // 8, 15, 16, 24 or 32
  int Stride = 0;
  std::vector<uint8_t> Bytes;

  /// Bytes per pixel (15 bits take 2).
  int BytesPerPixel() const { return (BitsPixel + 7) / 8; }
  /// Sets the size and pixel depth; the pixels are zero afterwards when anything changed.
  void Resize(int width, int height, int bitsPixel);
  uint8_t* ScanLine(int row) { return Bytes.data() + static_cast<size_t>(row) * Stride; }
  const uint8_t* ScanLine(int row) const { return Bytes.data() + static_cast<size_t>(row) * Stride; }
};

/// The colours (0xAARRGGBB) of the 256 indexes of an 8-bit bitmap, as libswscale packs BGR8.
const std::array<uint32_t, 256>& Bgr8ColorTable();

/// Converts pictures to and from one owned bitmap. One thread at a time; needs avutil and swscale
/// loaded. The RGB buffer only grows and the scaler contexts are cached, so converting frame after
/// frame of one size allocates nothing.
class TFormatConverter {
 public:
  /// 32 bits per pixel, bicubic scaling.
  TFormatConverter();
  /// Frees the buffer and both scaler contexts.
  ~TFormatConverter();
  TFormatConverter(const TFormatConverter&) = delete;
  TFormatConverter& operator=(const TFormatConverter&) = delete;

  /// 8, 15, 16, 24 or 32. Any other value throws FFmpegException "Invalid BitsPixel %d" and
  /// changes nothing. A change forgets the converted picture.
  int BitsPixel() const { return FBitsPixel; }
  void SetBitsPixel(int value);
  /// pf8bit..pf32bit; others throw FFmpegException "Invalid PixelFormat %d" (the ordinal) and
  /// change nothing. A change forgets the converted picture.
  TBMPPixelFormat BMPPixFmt() const { return FBMPPixFmt; }
  void SetBMPPixFmt(TBMPPixelFormat value);
  /// The FFmpeg pixel format of the RGB picture and the bitmap.
  int AVPixFmt() const { return FAVPixFmt; }  // an AVPixelFormat
  /// Scaler flags (SWS_*), bicubic (4) at first; the decoder sets the flags of its options.
  int sws_flags() const { return Fsws_flags; }
  void Setsws_flags(int value) { Fsws_flags = value; }

  /// The bitmap; a video hook may change its pixels (not its size) before BitmapToRGB.
  TBitmap& Bitmap() { return FBitmap; }
  const TBitmap& Bitmap() const { return FBitmap; }
  const TDIB& DIB() const { return FDIB; }
  /// The RGB picture over the owned buffer (rows without padding).
  const TPicture& RGBPicture() const { return FRGBPicture; }
  /// The RGB picture while it holds a converted frame, else nullptr.
  const TPicture* RGBPictureRef() const { return FHasPicture ? &FRGBPicture : nullptr; }
  const std::string& LastErrMsg() const { return FLastErrMsg; }

  /// Converts a picture of size width × height in srcFormat into the RGB picture, and with
  /// toBitmap on into the bitmap too. False with LastErrMsg when no scaler context can be made
  /// ("Cannot initialize the toRGB conversion context") or the buffer cannot be had; no picture
  /// is held afterwards then.
  bool PictureToRGB(const uint8_t* const srcData[], const int srcLinesize[], bool toBitmap, int height, int width,
                    int srcFormat);
  /// Copies the converted picture into the bitmap (sized to it). Throws FFmpegException without a
  /// converted picture.
  void RGBToBitmap();
  /// Copies the bitmap back into the converted picture. False with LastErrMsg when the bitmap's
  /// size or depth no longer match the picture (the picture is unchanged then); throws without a
  /// converted picture.
  bool BitmapToRGB();
  /// Converts the RGB picture into dstData (width × height in dstFormat, the converted picture's
  /// size). False with LastErrMsg "Cannot initialize the fromRGB conversion context", or when the
  /// size differs; throws without a converted picture.
  bool RGBToPicture(uint8_t* const dstData[], const int dstLinesize[], int height, int width,
                    int dstFormat);

 private:
  void Reset();
  void RequirePicture(const char* caller) const;

  TBMPPixelFormat FBMPPixFmt = TBMPPixelFormat::pf32bit;
  int FBitsPixel = 32;
  int FAVPixFmt = 28;  // AV_PIX_FMT_BGRA (format_converter.cpp checks it)
  int Fsws_flags = 4;  // SWS_BICUBIC (format_converter.cpp checks it)
  TBitmap FBitmap;
  TDIB FDIB;
  TBufferPtr FRGBBuffer;
  int FRGBBufSize = 0;
  TPicture FRGBPicture;
  bool FHasPicture = false;
  int FPictureWidth = 0;
  int FPictureHeight = 0;
  TScalerPtr FtoRGB_convert_ctx;
  TScalerPtr FfromRGB_convert_ctx;
  std::string FLastErrMsg;
};

}  // namespace media
