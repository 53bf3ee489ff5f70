#pragma once
// The one exception type of the media library. Library failures are raised as FFmpegException with
// a readable message; the component that was called (decoder, encoder, engine) catches it at its
// boundary and turns it into a false or negative result plus its LastErrMsg. No FFmpegException may
// cross an FFmpeg callback or leave a worker thread.

#include <stdexcept>
#include <string>

namespace media {

class FFmpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// An FFmpeg error code as text: libavutil's text for FFmpeg's own codes, the C library's text for
/// a negated errno, else "Error number %d occurred". With a non-empty prefix: prefix + ": " + text.
/// Needs no library loaded.
std::string FormatAVError(const std::string& prefix, int errorCode);
inline std::string FormatAVError(int errorCode) { return FormatAVError(std::string(), errorCode); }

}  // namespace media
