#include "media/format_converter.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media/ff_utils.h"

namespace media {

namespace {

// The pixel formats travel as int outside the media library (media/ff_types.h).
AVPixelFormat PixelFormat(int format) { return static_cast<AVPixelFormat>(format); }

struct TFormatRow {
  TBMPPixelFormat Format;
  int BitsPixel;
  AVPixelFormat AVFormat;
};

// The 15- and 16-bit rows use the RGB variants: their words hold red in the high bits, as 16-bit
// bitmaps and QImage's RGB555/RGB16 do (the BGR variants would swap red and blue).
constexpr TFormatRow kFormats[] = {
    {TBMPPixelFormat::pf8bit, 8, AV_PIX_FMT_BGR8},
    {TBMPPixelFormat::pf15bit, 15, AV_PIX_FMT_RGB555LE},
    {TBMPPixelFormat::pf16bit, 16, AV_PIX_FMT_RGB565LE},
    {TBMPPixelFormat::pf24bit, 24, AV_PIX_FMT_BGR24},
    {TBMPPixelFormat::pf32bit, 32, AV_PIX_FMT_BGRA},
};

const TFormatRow* FindRow(TBMPPixelFormat format) {
  for (const auto& row : kFormats)
    if (row.Format == format) return &row;
  return nullptr;
}

// Below 24 bits libswscale's generic path shares chroma between horizontal neighbours and gets
// the last column of an odd-width picture wrong; full-resolution chroma keeps every pixel's colour.
int ScalerFlags(int swsFlags, int bitsPixel) {
  return bitsPixel < 24 ? swsFlags | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP : swsFlags;
}

// Converts one picture through the cached context ctx (made or replaced as the sizes and formats
// need). False with errMsg when libswscale cannot take the formats or fails; direction names the
// context in the message ("toRGB", "fromRGB").
bool Scale(TScalerPtr& ctx, const char* direction, int width, int height, int flags, AVPixelFormat srcFormat,
           const uint8_t* const srcData[], const int srcLinesize[], AVPixelFormat dstFormat,
           uint8_t* const dstData[], const int dstLinesize[], std::string& errMsg) {
  // libswscale asserts on formats outside its table instead of failing.
  const bool known = srcFormat > AV_PIX_FMT_NONE && srcFormat < AV_PIX_FMT_NB && dstFormat > AV_PIX_FMT_NONE &&
                     dstFormat < AV_PIX_FMT_NB;
  if (known)
    // sws_getCachedContext frees the context it is given when it makes another (or fails).
    ctx.reset(FF().sws_getCachedContext(ctx.release(), width, height, srcFormat, width, height, dstFormat, flags,
                                        nullptr, nullptr, nullptr));
  if (!known || ctx == nullptr) {
    errMsg = std::string("Cannot initialize the ") + direction + " conversion context";
    return false;
  }
  const int rows = FF().sws_scale(ctx.get(), srcData, srcLinesize, 0, height, dstData, dstLinesize);
  if (rows < 0) {
    errMsg = FormatAVError("sws_scale", rows);
    return false;
  }
  return true;
}

}  // namespace

void TBitmap::Resize(int width, int height, int bitsPixel) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == Width && height == Height && bitsPixel == BitsPixel && !Bytes.empty()) return;
  Width = width;
  Height = height;
  BitsPixel = bitsPixel;
  Stride = (width * BytesPerPixel() + 3) & ~3;
  Bytes.assign(static_cast<size_t>(Stride) * height, 0);
}

const std::array<uint32_t, 256>& Bgr8ColorTable() {
  // libswscale widens the 3-bit parts by 36 and the 2-bit part by 85 (7 × 36 = 252).
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t r = (i & 7) * 36, g = ((i >> 3) & 7) * 36, b = (i >> 6) * 85;
      t[i] = 0xFF000000u | r << 16 | g << 8 | b;
    }
    return t;
  }();
  return table;
}

// format_converter.h starts FAVPixFmt and Fsws_flags at these values.
static_assert(AV_PIX_FMT_BGRA == 28 && SWS_BICUBIC == 4);

TFormatConverter::TFormatConverter() { Reset(); }

TFormatConverter::~TFormatConverter() = default;

void TFormatConverter::SetBitsPixel(int value) {
  if (value == FBitsPixel) return;
  const auto row = std::find_if(std::begin(kFormats), std::end(kFormats),
                                [value](const TFormatRow& r) { return r.BitsPixel == value; });
  if (row == std::end(kFormats)) throw FFmpegException(FormatStr("Invalid BitsPixel %d", value));
  FBMPPixFmt = row->Format;
  Reset();
}

void TFormatConverter::SetBMPPixFmt(TBMPPixelFormat value) {
  if (value == FBMPPixFmt) return;
  if (FindRow(value) == nullptr) throw FFmpegException(FormatStr("Invalid PixelFormat %d", static_cast<int>(value)));
  FBMPPixFmt = value;
  Reset();
}

void TFormatConverter::Reset() {
  const TFormatRow* row = FindRow(FBMPPixFmt);
  FDIB = TDIB();
  FRGBPicture = TPicture();
  FHasPicture = false;
  FBitsPixel = row->BitsPixel;
  FAVPixFmt = row->AVFormat;
  FBitmap.Resize(FBitmap.Width, FBitmap.Height, FBitsPixel);
}

void TFormatConverter::RequirePicture(const char* caller) const {
  if (!FHasPicture) throw FFmpegException(std::string(caller) + ": no converted picture");
}

bool TFormatConverter::PictureToRGB(const uint8_t* const srcData[], const int srcLinesize[], bool toBitmap,
                                    int height, int width, int srcFormat) {
  FHasPicture = false;
  // Rows without padding (alignment 1): the RGB picture is as compact as the format allows.
  const int needed = FF().av_image_get_buffer_size(PixelFormat(FAVPixFmt), width, height, 1);
  if (needed < 0) {
    FLastErrMsg = FormatAVError("av_image_get_buffer_size", needed);
    return false;
  }
  if (FRGBBuffer == nullptr || FRGBBufSize < needed) {
    FRGBBuffer.reset();
    FRGBBufSize = 0;
    // The scaler's vector code reads and writes whole registers, past the last pixel of the
    // last row for some formats and widths (2 bytes past a 3-pixel RGB555 picture, for one):
    // the buffer carries FFmpeg's usual padding so that stays inside it.
    FRGBBuffer.reset(static_cast<uint8_t*>(FF().av_mallocz(static_cast<size_t>(needed) + AV_INPUT_BUFFER_PADDING_SIZE)));
    if (FRGBBuffer == nullptr) {
      FLastErrMsg = "Could not alloc buffer.";
      return false;
    }
    FRGBBufSize = needed;
  }
  FRGBPicture = TPicture();
  FF().av_image_fill_arrays(FRGBPicture.data, FRGBPicture.linesize, FRGBBuffer.get(), PixelFormat(FAVPixFmt), width, height, 1);

  if (!Scale(FtoRGB_convert_ctx, "toRGB", width, height, ScalerFlags(Fsws_flags, FBitsPixel), PixelFormat(srcFormat), srcData,
             srcLinesize, PixelFormat(FAVPixFmt), FRGBPicture.data, FRGBPicture.linesize, FLastErrMsg))
    return false;
  FHasPicture = true;
  FPictureWidth = width;
  FPictureHeight = height;
  FDIB.Type = 0;
  FDIB.Width = width;
  FDIB.Height = height;
  FDIB.WidthBytes = FRGBPicture.linesize[0];
  FDIB.Planes = 1;
  FDIB.BitsPixel = FBitsPixel;
  FDIB.Bits = FRGBPicture.data[0];
  if (toBitmap) RGBToBitmap();
  return true;
}

void TFormatConverter::RGBToBitmap() {
  RequirePicture("RGBToBitmap");
  FBitmap.Resize(FPictureWidth, FPictureHeight, FBitsPixel);
  // Each side steps by its own row length: the picture's rows are packed, the bitmap's padded.
  const size_t rowBytes = static_cast<size_t>(FPictureWidth) * FBitmap.BytesPerPixel();
  for (int y = 0; y < FPictureHeight; ++y)
    std::memcpy(FBitmap.ScanLine(y), FRGBPicture.data[0] + static_cast<size_t>(y) * FRGBPicture.linesize[0],
                rowBytes);
}

bool TFormatConverter::BitmapToRGB() {
  RequirePicture("BitmapToRGB");
  if (FBitmap.Width != FPictureWidth || FBitmap.Height != FPictureHeight || FBitmap.BitsPixel != FBitsPixel) {
    FLastErrMsg = "The bitmap no longer matches the picture";
    return false;
  }
  const size_t rowBytes = static_cast<size_t>(FPictureWidth) * FBitmap.BytesPerPixel();
  for (int y = 0; y < FPictureHeight; ++y)
    std::memcpy(FRGBPicture.data[0] + static_cast<size_t>(y) * FRGBPicture.linesize[0], FBitmap.ScanLine(y),
                rowBytes);
  return true;
}

bool TFormatConverter::RGBToPicture(uint8_t* const dstData[], const int dstLinesize[], int height, int width,
                                    int dstFormat) {
  RequirePicture("RGBToPicture");
  if (width != FPictureWidth || height != FPictureHeight) {
    FLastErrMsg = "The picture size differs from the converted picture";
    return false;
  }
  return Scale(FfromRGB_convert_ctx, "fromRGB", width, height, ScalerFlags(Fsws_flags, FBitsPixel), PixelFormat(FAVPixFmt),
               FRGBPicture.data, FRGBPicture.linesize, PixelFormat(dstFormat), dstData, dstLinesize, FLastErrMsg);
}

}  // namespace media
