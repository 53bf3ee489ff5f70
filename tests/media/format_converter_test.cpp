#include "media/format_converter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "media/ff_exception.h"
#include "media/ff_loader.h"

namespace {

using media::TFormatConverter;

struct TRgb {
  int R, G, B;
};

// A 3×4 picture (odd width: packed rows of 9 bytes) as rgb24, one colour per row: at 15 and 16
// bits the scaler shares chroma between neighbouring pixels of a row, so colours change only
// from row to row. A swap of red and blue, or rows stepped by the wrong length, shows.
constexpr int kRows = 4;
const TRgb kColours[kRows][3] = {{{255, 0, 0}, {255, 0, 0}, {255, 0, 0}},
                                 {{0, 255, 0}, {0, 255, 0}, {0, 255, 0}},
                                 {{0, 0, 255}, {0, 0, 255}, {0, 0, 255}},
                                 {{255, 255, 255}, {255, 255, 255}, {255, 255, 255}}};

std::vector<uint8_t> SourcePicture() {
  std::vector<uint8_t> bytes;
  for (const auto& row : kColours)
    for (const auto& c : row) bytes.insert(bytes.end(), {uint8_t(c.R), uint8_t(c.G), uint8_t(c.B)});
  // Pictures handed to the scaler carry FFmpeg's padding, as decoded frames do.
  bytes.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE);
  return bytes;
}

// The colour of one bitmap pixel, read by the documented layout of each depth.
TRgb PixelAt(const media::TBitmap& bmp, int x, int y) {
  const uint8_t* p = bmp.ScanLine(y) + x * bmp.BytesPerPixel();
  const auto word = [p] { return uint32_t(p[0]) | uint32_t(p[1]) << 8; };
  switch (bmp.BitsPixel) {
    case 32:
    case 24: return {p[2], p[1], p[0]};
    case 16: {
      const uint32_t w = word();
      return {int((w >> 11) & 31) * 255 / 31, int((w >> 5) & 63) * 255 / 63, int(w & 31) * 255 / 31};
    }
    case 15: {
      const uint32_t w = word();
      return {int((w >> 10) & 31) * 255 / 31, int((w >> 5) & 31) * 255 / 31, int(w & 31) * 255 / 31};
    }
    case 8: {
      const uint32_t argb = media::Bgr8ColorTable()[p[0]];
      return {int((argb >> 16) & 0xFF), int((argb >> 8) & 0xFF), int(argb & 0xFF)};
    }
  }
  return {-1, -1, -1};
}

class FormatConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media::FFLoader().Load(media::DecoderLibraries)) << media::FFLoader().LastErrMsg();
  }
};

struct TDepthCase {
  int BitsPixel;
  int Tolerance;  // per channel, from the depth's quantisation
  int Stride;     // of a 3-pixel row, padded to 4 bytes
  friend void PrintTo(const TDepthCase& c, std::ostream* os) { *os << c.BitsPixel << " bits"; }
};

class FormatConverterDepthTest : public FormatConverterTest, public ::testing::WithParamInterface<TDepthCase> {};

TEST_P(FormatConverterDepthTest, OddWidthFrameKeepsItsColoursAndRowsAndRoundTrips) {
  TFormatConverter conv;
  conv.SetBitsPixel(GetParam().BitsPixel);
  EXPECT_EQ(conv.BitsPixel(), GetParam().BitsPixel);
  std::vector<uint8_t> src = SourcePicture();
  const uint8_t* srcData[4] = {src.data()};
  const int srcLinesize[4] = {9};
  ASSERT_TRUE(conv.PictureToRGB(srcData, srcLinesize, true, kRows, 3, AV_PIX_FMT_RGB24)) << conv.LastErrMsg();
  ASSERT_NE(conv.RGBPictureRef(), nullptr);
  EXPECT_EQ(conv.DIB().Width, 3);
  EXPECT_EQ(conv.DIB().Height, kRows);
  EXPECT_EQ(conv.DIB().BitsPixel, GetParam().BitsPixel);

  const media::TBitmap& bmp = conv.Bitmap();
  ASSERT_EQ(bmp.Width, 3);
  ASSERT_EQ(bmp.Height, kRows);
  EXPECT_EQ(bmp.Stride, GetParam().Stride);
  const int tol = GetParam().Tolerance;
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < 3; ++x) {
      const TRgb got = PixelAt(bmp, x, y);
      const TRgb want = kColours[y][x];
      EXPECT_NEAR(got.R, want.R, tol) << "R at " << x << "," << y;
      EXPECT_NEAR(got.G, want.G, tol) << "G at " << x << "," << y;
      EXPECT_NEAR(got.B, want.B, tol) << "B at " << x << "," << y;
    }

  // What a video hook does: change the bitmap, copy it back, convert into the frame's format.
  uint8_t* first = conv.Bitmap().ScanLine(1);
  std::copy(conv.Bitmap().ScanLine(0), conv.Bitmap().ScanLine(0) + 3 * bmp.BytesPerPixel(), first);
  ASSERT_TRUE(conv.BitmapToRGB()) << conv.LastErrMsg();
  std::vector<uint8_t> back(9 * kRows + AV_INPUT_BUFFER_PADDING_SIZE, 0x55);
  uint8_t* dstData[4] = {back.data()};
  const int dstLinesize[4] = {9};
  ASSERT_TRUE(conv.RGBToPicture(dstData, dstLinesize, kRows, 3, AV_PIX_FMT_RGB24)) << conv.LastErrMsg();
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < 3; ++x) {
      const TRgb want = kColours[y == 1 ? 0 : y][x];  // row 1 now repeats row 0
      const uint8_t* p = back.data() + y * 9 + x * 3;
      EXPECT_NEAR(p[0], want.R, tol) << "round trip R at " << x << "," << y;
      EXPECT_NEAR(p[1], want.G, tol) << "round trip G at " << x << "," << y;
      EXPECT_NEAR(p[2], want.B, tol) << "round trip B at " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, FormatConverterDepthTest,
                         ::testing::Values(TDepthCase{32, 0, 12}, TDepthCase{24, 0, 12}, TDepthCase{16, 8, 8},
                                           TDepthCase{15, 8, 8}, TDepthCase{8, 40, 4}));

TEST_F(FormatConverterTest, InvalidDepthsThrowAndChangeNothing) {
  TFormatConverter conv;
  try {
    conv.SetBitsPixel(12);
    FAIL() << "no exception";
  } catch (const media::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Invalid BitsPixel 12");
  }
  EXPECT_EQ(conv.BitsPixel(), 32);
  EXPECT_EQ(conv.AVPixFmt(), AV_PIX_FMT_BGRA);
  try {
    conv.SetBMPPixFmt(media::TBMPPixelFormat::pf1bit);
    FAIL() << "no exception";
  } catch (const media::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Invalid PixelFormat 1");
  }
  EXPECT_EQ(conv.BMPPixFmt(), media::TBMPPixelFormat::pf32bit);
  conv.SetBMPPixFmt(media::TBMPPixelFormat::pf16bit);
  EXPECT_EQ(conv.BitsPixel(), 16);
  EXPECT_EQ(conv.AVPixFmt(), AV_PIX_FMT_RGB565LE);
}

TEST_F(FormatConverterTest, BufferIsReusedForSmallerFramesAndGrowsForLargerOnes) {
  TFormatConverter conv;
  std::vector<uint8_t> src(32 * 32 * 3, 0x80);
  const uint8_t* srcData[4] = {src.data()};
  const auto convert = [&](int size) {
    const int linesize[4] = {size * 3};
    return conv.PictureToRGB(srcData, linesize, true, size, size, AV_PIX_FMT_RGB24);
  };
  ASSERT_TRUE(convert(8));
  const uint8_t* buffer = conv.DIB().Bits;
  ASSERT_TRUE(convert(4));
  EXPECT_EQ(conv.DIB().Bits, buffer);
  EXPECT_EQ(conv.Bitmap().Width, 4);
  ASSERT_TRUE(convert(32));  // AddressSanitizer checks the larger frame has room
  EXPECT_EQ(conv.Bitmap().Width, 32);
  EXPECT_EQ(conv.Bitmap().ScanLine(31)[0], 0x80);
}

TEST_F(FormatConverterTest, OnePixelFrameAt32Bits) {
  TFormatConverter conv;
  uint8_t pixel[4] = {10, 20, 30, 0};
  const uint8_t* srcData[4] = {pixel};
  const int srcLinesize[4] = {4};
  ASSERT_TRUE(conv.PictureToRGB(srcData, srcLinesize, true, 1, 1, AV_PIX_FMT_RGB0));
  const uint8_t* p = conv.Bitmap().ScanLine(0);
  EXPECT_EQ(p[0], 30);  // blue
  EXPECT_EQ(p[1], 20);
  EXPECT_EQ(p[2], 10);  // red
  EXPECT_EQ(p[3], 255);
}

TEST_F(FormatConverterTest, MisuseIsReported) {
  TFormatConverter conv;
  EXPECT_THROW(conv.RGBToBitmap(), media::FFmpegException);
  EXPECT_THROW(conv.BitmapToRGB(), media::FFmpegException);
  uint8_t pixel[3] = {};
  const uint8_t* srcData[4] = {pixel};
  const int srcLinesize[4] = {3};
  EXPECT_FALSE(conv.PictureToRGB(srcData, srcLinesize, true, 0, 1, AV_PIX_FMT_RGB24));
  EXPECT_EQ(conv.RGBPictureRef(), nullptr);
  EXPECT_FALSE(conv.PictureToRGB(srcData, srcLinesize, true, 1, 1, AV_PIX_FMT_NONE));
  EXPECT_EQ(conv.LastErrMsg(), "Cannot initialize the toRGB conversion context");
  conv.Setsws_flags(0);
  EXPECT_FALSE(conv.PictureToRGB(srcData, srcLinesize, true, 1, 1, AV_PIX_FMT_VAAPI));  // no software picture
  conv.Setsws_flags(SWS_BICUBIC);

  ASSERT_TRUE(conv.PictureToRGB(srcData, srcLinesize, true, 1, 1, AV_PIX_FMT_RGB24));
  uint8_t out[16] = {};
  uint8_t* dstData[4] = {out};
  const int dstLinesize[4] = {4};
  EXPECT_FALSE(conv.RGBToPicture(dstData, dstLinesize, 1, 1, AV_PIX_FMT_NONE));
  EXPECT_EQ(conv.LastErrMsg(), "Cannot initialize the fromRGB conversion context");
  EXPECT_FALSE(conv.RGBToPicture(dstData, dstLinesize, 2, 2, AV_PIX_FMT_RGB0));  // not the picture's size
  conv.Bitmap().Resize(2, 2, 32);
  EXPECT_FALSE(conv.BitmapToRGB());
  conv.SetBitsPixel(24);  // a new depth forgets the picture
  EXPECT_EQ(conv.RGBPictureRef(), nullptr);
}

TEST_F(FormatConverterTest, EightBitColourTableIsHowTheScalerReadsBgr8) {
  TFormatConverter conv;
  std::vector<uint8_t> indexes(256);
  for (int i = 0; i < 256; ++i) indexes[i] = uint8_t(i);
  const uint8_t* srcData[4] = {indexes.data()};
  const int srcLinesize[4] = {256};
  ASSERT_TRUE(conv.PictureToRGB(srcData, srcLinesize, true, 1, 256, AV_PIX_FMT_BGR8));
  for (int i = 0; i < 256; ++i) {
    const uint8_t* p = conv.Bitmap().ScanLine(0) + 4 * i;
    const uint32_t argb = uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    EXPECT_EQ(argb, media::Bgr8ColorTable()[i]) << "index " << i;
  }
}

}  // namespace
