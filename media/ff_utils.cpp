#include "media/ff_utils.h"

extern "C" {
#include <libavutil/display.h>
}

#include <strings.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>

#include "media/ff_api.h"
#include "media/ff_logger.h"

namespace media {

namespace {

struct TErrorText {
  int Code;
  const char* Text;
};

// FFmpeg's own error codes with libavutil's texts (av_strerror gives the same); negated errno
// values take the C library's text instead.
constexpr std::array<TErrorText, 27> GErrorTexts{{
    {AVERROR_BSF_NOT_FOUND, "Bitstream filter not found"},
    {AVERROR_BUG, "Internal bug, should not have happened"},
    {AVERROR_BUG2, "Internal bug, should not have happened"},
    {AVERROR_BUFFER_TOO_SMALL, "Buffer too small"},
    {AVERROR_DECODER_NOT_FOUND, "Decoder not found"},
    {AVERROR_DEMUXER_NOT_FOUND, "Demuxer not found"},
    {AVERROR_ENCODER_NOT_FOUND, "Encoder not found"},
    {AVERROR_EOF, "End of file"},
    {AVERROR_EXIT, "Immediate exit requested"},
    {AVERROR_EXPERIMENTAL, "Experimental feature"},
    {AVERROR_EXTERNAL, "Generic error in an external library"},
    {AVERROR_FILTER_NOT_FOUND, "Filter not found"},
    {AVERROR_HTTP_BAD_REQUEST, "Server returned 400 Bad Request"},
    {AVERROR_HTTP_FORBIDDEN, "Server returned 403 Forbidden (access denied)"},
    {AVERROR_HTTP_NOT_FOUND, "Server returned 404 Not Found"},
    {AVERROR_HTTP_OTHER_4XX, "Server returned 4XX Client Error, but not one of 40{0,1,3,4}"},
    {AVERROR_HTTP_SERVER_ERROR, "Server returned 5XX Server Error reply"},
    {AVERROR_HTTP_UNAUTHORIZED, "Server returned 401 Unauthorized (authorization failed)"},
    {AVERROR_INPUT_CHANGED, "Input changed"},
    {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
    {AVERROR_MUXER_NOT_FOUND, "Muxer not found"},
    {AVERROR_OPTION_NOT_FOUND, "Option not found"},
    {AVERROR_OUTPUT_CHANGED, "Output changed"},
    {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg, patches welcome"},
    {AVERROR_PROTOCOL_NOT_FOUND, "Protocol not found"},
    {AVERROR_STREAM_NOT_FOUND, "Stream not found"},
    {AVERROR_UNKNOWN, "Unknown error occurred"},
}};

std::string ErrorText(int code) {
  for (const TErrorText& row : GErrorTexts)
    if (row.Code == code) return row.Text;
  if (code < 0 && code > -4096) {
    char buffer[256];
    // GNU strerror_r: returns either buffer or a static text.
    const char* text = strerror_r(-code, buffer, sizeof buffer);
    if (text != nullptr && std::strncmp(text, "Unknown error", 13) != 0) return text;
  }
  return "Error number " + std::to_string(code) + " occurred";
}

struct TImageExt {
  AVCodecID Codec;
  const char* Ext;
};

// The image2 demuxer's tag table, in its order (first match wins, so "pic" is QuickDraw).
constexpr std::array<TImageExt, 55> GImageExts{{
    {AV_CODEC_ID_MJPEG, "jpeg"},
    {AV_CODEC_ID_MJPEG, "jpg"},
    {AV_CODEC_ID_MJPEG, "jps"},
    {AV_CODEC_ID_MJPEG, "mpo"},
    {AV_CODEC_ID_LJPEG, "ljpg"},
    {AV_CODEC_ID_JPEGLS, "jls"},
    {AV_CODEC_ID_PNG, "png"},
    {AV_CODEC_ID_PNG, "pns"},
    {AV_CODEC_ID_PNG, "mng"},
    {AV_CODEC_ID_PPM, "ppm"},
    {AV_CODEC_ID_PPM, "pnm"},
    {AV_CODEC_ID_PGM, "pgm"},
    {AV_CODEC_ID_PGMYUV, "pgmyuv"},
    {AV_CODEC_ID_PBM, "pbm"},
    {AV_CODEC_ID_PAM, "pam"},
    {AV_CODEC_ID_ALIAS_PIX, "pix"},
    {AV_CODEC_ID_DDS, "dds"},
    {AV_CODEC_ID_MPEG1VIDEO, "mpg1-img"},
    {AV_CODEC_ID_MPEG2VIDEO, "mpg2-img"},
    {AV_CODEC_ID_MPEG4, "mpg4-img"},
    {AV_CODEC_ID_FFV1, "ffv1-img"},
    {AV_CODEC_ID_RAWVIDEO, "y"},
    {AV_CODEC_ID_RAWVIDEO, "raw"},
    {AV_CODEC_ID_BMP, "bmp"},
    {AV_CODEC_ID_TARGA, "tga"},
    {AV_CODEC_ID_TIFF, "tiff"},
    {AV_CODEC_ID_TIFF, "tif"},
    {AV_CODEC_ID_SGI, "sgi"},
    {AV_CODEC_ID_PTX, "ptx"},
    {AV_CODEC_ID_PCX, "pcx"},
    {AV_CODEC_ID_QDRAW, "pic"},
    {AV_CODEC_ID_QDRAW, "pct"},
    {AV_CODEC_ID_QDRAW, "pict"},
    {AV_CODEC_ID_SUNRAST, "sun"},
    {AV_CODEC_ID_SUNRAST, "ras"},
    {AV_CODEC_ID_SUNRAST, "rs"},
    {AV_CODEC_ID_SUNRAST, "im1"},
    {AV_CODEC_ID_SUNRAST, "im8"},
    {AV_CODEC_ID_SUNRAST, "im24"},
    {AV_CODEC_ID_SUNRAST, "im32"},
    {AV_CODEC_ID_SUNRAST, "sunras"},
    {AV_CODEC_ID_SVG, "svg"},
    {AV_CODEC_ID_SVG, "svgz"},
    {AV_CODEC_ID_JPEG2000, "j2c"},
    {AV_CODEC_ID_JPEG2000, "jp2"},
    {AV_CODEC_ID_JPEG2000, "jpc"},
    {AV_CODEC_ID_JPEG2000, "j2k"},
    {AV_CODEC_ID_DPX, "dpx"},
    {AV_CODEC_ID_EXR, "exr"},
    {AV_CODEC_ID_PICTOR, "pic"},
    {AV_CODEC_ID_V210X, "yuv10"},
    {AV_CODEC_ID_WEBP, "webp"},
    {AV_CODEC_ID_XBM, "xbm"},
    {AV_CODEC_ID_XFACE, "xface"},
    {AV_CODEC_ID_XWD, "xwd"},
}};

struct TFormatRegistry {
  std::mutex Lock;
  std::vector<const AVInputFormat*> Formats;
};

TFormatRegistry& Registry() {
  static TFormatRegistry registry;
  return registry;
}

}  // namespace

std::string VFormatStr(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return {};
  if (std::size_t(n) < sizeof small) return std::string(small, std::size_t(n));
  // On x86-64 vsnprintf consumes a va_list, so the second pass needs its own copy.
  std::string text(std::size_t(n) + 1, '\0');
  va_copy(copy, args);
  std::vsnprintf(text.data(), text.size(), format, copy);
  va_end(copy);
  text.resize(std::size_t(n));
  return text;
}

std::string FormatStr(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormatStr(format, args);
  va_end(args);
  return text;
}

std::string FormatAVError(const std::string& prefix, int errorCode) {
  std::string text = ErrorText(errorCode);
  return prefix.empty() ? text : prefix + ": " + text;
}

std::int64_t GetFileSize64(const std::string& fileName) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fileName, ec)) return -1;
  const std::uintmax_t size = std::filesystem::file_size(fileName, ec);
  return ec ? -1 : std::int64_t(size);
}

std::string SplitString(std::string& text, const std::string& separator, bool consume) {
  const std::size_t at = separator.empty() ? std::string::npos : text.find(separator);
  if (at == std::string::npos) {
    std::string head = text;
    if (consume) text.clear();
    return head;
  }
  std::string head = text.substr(0, at);
  if (consume) text.erase(0, at + separator.size());
  return head;
}

std::string FormatByteSize(std::int64_t size) {
  if (size > 1073741824) return FormatStr("%.2f GB", double(size) / 1073741824.0);
  if (size > 1048576) return FormatStr("%.2f MB", double(size) / 1048576.0);
  if (size > 1024) return FormatStr("%.2f KB", double(size) / 1024.0);
  return FormatStr("%lld Byte", static_cast<long long>(size));
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  const std::size_t n = line.size();
  std::size_t i = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  for (;;) {
    while (i < n && blank(line[i])) ++i;
    if (i >= n) break;
    std::string word;
    bool inQuote = false;
    for (;;) {
      bool copyChar = true;
      std::size_t slashes = 0;
      while (i < n && line[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < n && line[i] == '"') {
        if (slashes % 2 == 0) {
          // The old C run-time rule: "" inside quotes gives one quote and also leaves quoting,
          // a lone quote toggles quoting; either way the state flips.
          if (inQuote && i + 1 < n && line[i + 1] == '"')
            ++i;
          else
            copyChar = false;
          inQuote = !inQuote;
        }
        slashes /= 2;
      }
      word.append(slashes, '\\');
      if (i >= n || (!inQuote && blank(line[i]))) break;
      if (copyChar) word += line[i];
      ++i;
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string UTCOffsetText(long offsetSeconds) {
  if (offsetSeconds == 0) return "UTC";
  const long minutes = std::labs(offsetSeconds) / 60;
  return FormatStr("UTC%s%.2ld:%.2ld", offsetSeconds < 0 ? "-" : "+", minutes / 60, minutes % 60);
}

std::string UTCOffsetText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return UTCOffsetText(local.tm_gmtoff);
}

std::tm UnixTimeToLocal(std::int64_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

std::string DurationToStr(std::int64_t microseconds) {
  if (microseconds == AV_NOPTS_VALUE) return "N/A";
  const bool negative = microseconds < 0;
  // Work on the magnitude in unsigned arithmetic so INT64_MIN + 1 cannot overflow.
  const std::uint64_t magnitude =
      negative ? std::uint64_t(0) - std::uint64_t(microseconds) : std::uint64_t(microseconds);
  const std::uint64_t ms = (magnitude + 500) / 1000;
  const std::uint64_t seconds = ms / 1000;
  return FormatStr("%s%.2llu:%.2llu:%.2llu.%.3llu", negative ? "-" : "",
                   static_cast<unsigned long long>(seconds / 3600),
                   static_cast<unsigned long long>(seconds / 60 % 60),
                   static_cast<unsigned long long>(seconds % 60), static_cast<unsigned long long>(ms % 1000));
}

std::string TimestampToStr(TRational timeBase, std::int64_t timestamp) {
  if (timestamp == AV_NOPTS_VALUE || (timeBase.num == 1 && timeBase.den == AV_TIME_BASE))
    return DurationToStr(timestamp);
  return DurationToStr(FF().av_rescale_q(timestamp, timeBase, AVRational{1, AV_TIME_BASE}));
}

std::int64_t FrameDuration(TRational frameRate) {
  if (frameRate.num != 0 && frameRate.den != 0) return std::int64_t(1000000) * frameRate.den / frameRate.num;
  return 1000000 / 25;
}

int GuessImage2Codec(const std::string& fileName) {
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return AV_CODEC_ID_NONE;
  const char* ext = fileName.c_str() + dot + 1;
  for (const TImageExt& row : GImageExts)
    if (strcasecmp(ext, row.Ext) == 0) return row.Codec;
  return AV_CODEC_ID_NONE;
}

std::string FileNameToFF(const std::string& fileName) { return fileName; }

std::string UTF8ToStr(const char* text) { return text != nullptr ? text : ""; }

void* GrowArray(void* array, int elementSize, int& count, int newCount) {
  if (count >= newCount) return array;
  if (elementSize <= 0 || newCount >= std::numeric_limits<int>::max() / elementSize)
    throw FFmpegException("Array too big.");
  void* grown = FF().av_realloc_array(array, std::size_t(newCount), std::size_t(elementSize));
  if (grown == nullptr) throw FFmpegException("Could not alloc buffer.");
  std::memset(static_cast<char*>(grown) + std::size_t(count) * std::size_t(elementSize), 0,
              std::size_t(newCount - count) * std::size_t(elementSize));
  count = newCount;
  return grown;
}

std::string GetMediaTypeName(int type) {
  switch (static_cast<AVMediaType>(type)) {
    case AVMEDIA_TYPE_VIDEO:
      return "Video";
    case AVMEDIA_TYPE_AUDIO:
      return "Audio";
    case AVMEDIA_TYPE_DATA:
      return "Data";
    case AVMEDIA_TYPE_SUBTITLE:
      return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT:
      return "Attachment";
    default:
      return "Unknown";
  }
}

std::string GetPictureTypeName(int type) {
  switch (static_cast<AVPictureType>(type)) {
    case AV_PICTURE_TYPE_I:
      return "Intra";
    case AV_PICTURE_TYPE_P:
      return "Predicted";
    case AV_PICTURE_TYPE_B:
      return "Bi-dir predicted";
    case AV_PICTURE_TYPE_S:
      return "S(GMC)-VOP MPEG4";
    case AV_PICTURE_TYPE_SI:
      return "Switching Intra";
    case AV_PICTURE_TYPE_SP:
      return "Switching Predicted";
    case AV_PICTURE_TYPE_BI:
      return "BI type";
    default:
      return "Unknown";
  }
}

double GetRotation(const AVStream* stream) {
  const std::uint8_t* matrix = FF().av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  double angle = 0;
  if (matrix != nullptr) {
    angle = -FF().av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (std::isnan(angle)) angle = 0;
  }
  // 0.0025 ≈ 0.9/360: an angle a hair below 360 (rounding in the matrix) reads as 0, not 359.x.
  angle -= 360 * std::floor(angle / 360 + 0.0025);
  if (std::fabs(angle - 90 * std::round(angle / 90)) > 2)
    FFLogger().Log(nullptr, TLogLevel::llWarning, "Odd rotation angle: %.2f degrees.", angle);
  return angle;
}

std::string GetDictValue(const AVDictionary* dict, const std::string& key, const std::string& defaultValue) {
  if (dict == nullptr) return defaultValue;
  const AVDictionaryEntry* entry = FF().av_dict_get(dict, key.c_str(), nullptr, 0);
  return entry != nullptr ? UTF8ToStr(entry->value) : defaultValue;
}

void RegisterInputFormat(const AVInputFormat* format) {
  if (format == nullptr || format->name == nullptr) return;
  TFormatRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  for (const AVInputFormat* known : registry.Formats)
    if (std::strcmp(known->name, format->name) == 0) return;
  registry.Formats.push_back(format);
}

const AVInputFormat* FindInputFormat(const std::string& shortName) {
  {
    TFormatRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    for (const AVInputFormat* known : registry.Formats)
      if (shortName == known->name) return known;
  }
  return FF().av_find_input_format(shortName.c_str());
}

}  // namespace media
