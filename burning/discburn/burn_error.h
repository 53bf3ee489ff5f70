// Result codes of libdiscburn and the exception that carries one to the C boundary.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace discburn {

/// The library's result codes. 3 keeps the meaning the component gives it; 4096-4098 are
/// the component's own and never returned here.
namespace code {
constexpr int32_t Ok = 0;
constexpr int32_t Failed = 1;             // a libburn or libisofs failure, text from its messages
constexpr int32_t InvalidArgument = 2;
constexpr int32_t NoSession = 3;          // "no disc session open"
constexpr int32_t NotInitialized = 10;
constexpr int32_t InvalidDevice = 11;
constexpr int32_t DriveUnavailable = 12;  // the drive could not be acquired
constexpr int32_t NoMedium = 13;
constexpr int32_t MediumNotWritable = 14;
constexpr int32_t NotErasable = 15;
constexpr int32_t NoProject = 16;
constexpr int32_t ProjectEmpty = 17;
constexpr int32_t NameExists = 18;
constexpr int32_t NotFoundInProject = 19;
// A source file is missing or unreadable, or is no audio file FFmpeg can decode where one is
// wanted (an audio CD's track, a play time): the text names the file and gives FFmpeg's reason.
constexpr int32_t SourceUnreadable = 20;
constexpr int32_t ProjectTooLarge = 21;
constexpr int32_t ImageFailed = 22;       // libisofs refused to lay out the image
constexpr int32_t PrecheckFailed = 23;    // libburn refused the write job
constexpr int32_t Busy = 24;              // a job is running
constexpr int32_t NoJob = 25;             // nothing to abort
constexpr int32_t NoSpeedInformation = 26;
constexpr int32_t InvalidHandle = 27;
constexpr int32_t NotBootable = 28;       // the session has no El Torito boot record
constexpr int32_t VerifyFailed = 29;      // the copy on the medium differs from the source
// What libburn and libisofs cannot do (UDF, raw writing, Unicode CD-Text, playing audio...):
// "Not supported on this system: " + name. Audio files of any format are not among them: they
// are decoded for their tracks (code 20 when one cannot be).
constexpr int32_t NotSupported = 50;
}  // namespace code

/// The generic text of a result code (no details).
std::string DefaultText(int32_t resultCode);

/// A failure inside the library: a result code and the text GetText gives for it.
class EDiscBurn : public std::runtime_error {
 public:
  EDiscBurn(int32_t resultCode, const std::string& text) : std::runtime_error(text), FCode(resultCode) {}
  explicit EDiscBurn(int32_t resultCode) : EDiscBurn(resultCode, DefaultText(resultCode)) {}
  int32_t Code() const { return FCode; }

 private:
  int32_t FCode;
};

/// The text of every unsupported operation starts with this.
inline constexpr const char* NotSupportedPrefix = "Not supported on this system: ";

}  // namespace discburn
