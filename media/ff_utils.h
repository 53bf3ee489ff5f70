#pragma once
// Small helpers the media library shares: size and time texts, the option-string splitter, FFmpeg
// error texts (FormatAVError in media/ff_exception.h), still-image names, dictionary and stream
// helpers, and the library's own registry of input formats.

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "media/ff_types.h"
#include "media/ff_exception.h"
#include "platform/main_thread.h"

namespace media {

/// Runs fn on the main thread and waits for it (directly when already there, or when no
/// dispatcher is installed). The caller must hold no lock the main thread may need.
inline void CallInMainThread(const std::function<void()>& fn) { platform::CallInMainThread(fn); }
/// Runs the main thread's pending work; does nothing on other threads.
inline void ProcessMessages() { platform::ProcessMessages(); }

/// printf-style formatting into a string of any length (the C locale's rules as set).
std::string FormatStr(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// FormatStr with an argument list; args is left untouched (copied before use).
std::string VFormatStr(const char* format, va_list args);

/// Size of the file in bytes; -1 when it does not exist or is not a regular file.
std::int64_t GetFileSize64(const std::string& fileName);
/// The text before the first separator (all of text when there is none). With consume, text keeps
/// only what follows the separator (nothing when there is none).
std::string SplitString(std::string& text, const std::string& separator, bool consume);
/// "%.2f GB" above 2^30 bytes, "%.2f MB" above 2^20, "%.2f KB" above 2^10, else "%d Byte".
std::string FormatByteSize(std::int64_t size);
/// Splits an option string into words: blanks and tabs outside quotes separate; a run of n
/// backslashes before a double quote gives n/2 backslashes and, for odd n, a literal quote;
/// a quote opens or closes quoting, and "" inside quotes gives one literal quote; other
/// backslashes are kept.
std::vector<std::string> SplitCommandLine(const std::string& line);
/// Four bytes as a little-endian tag (a in the lowest 8 bits).
constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d) {
  return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 |
         std::uint32_t(std::uint8_t(c)) << 16 | std::uint32_t(std::uint8_t(d)) << 24;
}
/// "UTC" for offset 0, else "UTC+hh:mm" / "UTC-hh:mm"; east of Greenwich is "+".
std::string UTCOffsetText(long offsetSeconds);
/// UTCOffsetText of the local time zone now.
std::string UTCOffsetText();
/// Seconds since 1970-01-01 UTC as local broken-down time.
std::tm UnixTimeToLocal(std::int64_t seconds);
/// "hh:mm:ss.zzz" of a duration in microseconds, rounded to the nearest millisecond; "N/A" for
/// AV_NOPTS_VALUE. Negative durations get a leading "-".
std::string DurationToStr(std::int64_t microseconds);
/// DurationToStr of a time stamp in the given time base (avutil must be loaded unless the stamp
/// is AV_NOPTS_VALUE or the base is 1/1000000).
std::string TimestampToStr(TRational timeBase, std::int64_t timestamp);
/// Microseconds per frame at rate; 40000 (25 fps) when either part is 0.
std::int64_t FrameDuration(TRational frameRate);
/// The still-image codec of a file name by its extension (case-insensitive), the same table as
/// FFmpeg's image2 demuxer; AV_CODEC_ID_NONE when unknown or without extension.
int GuessImage2Codec(const std::string& fileName);  // an AVCodecID
/// The name as FFmpeg takes it: file names are UTF-8 on Linux, so the text itself.
std::string FileNameToFF(const std::string& fileName);
/// A text from FFmpeg as our string: UTF-8 both sides; null gives "".
std::string UTF8ToStr(const char* text);
/// Grows a C array allocated with av_malloc/av_realloc (FFmpeg owns and frees it) to newCount
/// elements of elementSize bytes, zero-filling the new ones; does nothing when count already
/// reaches newCount. Throws FFmpegException "Array too big." or "Could not alloc buffer.";
/// on failure the array and count are unchanged.
void* GrowArray(void* array, int elementSize, int& count, int newCount);
template <typename T>
T* GrowArray(T* array, int& count, int newCount) {
  return static_cast<T*>(GrowArray(static_cast<void*>(array), int(sizeof(T)), count, newCount));
}
/// "Video", "Audio", "Data", "Subtitle", "Attachment", else "Unknown".
std::string GetMediaTypeName(int type);  // type: an AVMediaType
/// "Intra", "Predicted", "Bi-dir predicted", "S(GMC)-VOP MPEG4", "Switching Intra",
/// "Switching Predicted", "BI type", else "Unknown".
std::string GetPictureTypeName(int type);  // type: an AVPictureType
/// The stream's display rotation in degrees within [0, 360): the negated angle of its display
/// matrix, 0 without one. A warning is logged when it is more than 2 degrees off a multiple of 90.
double GetRotation(const AVStream* stream);
/// The entry's value, or defaultValue when the dictionary lacks key.
std::string GetDictValue(const AVDictionary* dict, const std::string& key, const std::string& defaultValue);
/// FFmpeg 5.1 has no registration of outside demuxers, so the library keeps its own list (the
/// wave input adapter puts its demuxer here). Registering a name twice keeps the first.
void RegisterInputFormat(const AVInputFormat* format);
/// The registered input format of that name, else FFmpeg's av_find_input_format (avformat loaded).
const AVInputFormat* FindInputFormat(const std::string& shortName);

}  // namespace media
