#include "burning/discburn/burn_error.h"

namespace discburn {

std::string DefaultText(int32_t resultCode) {
  switch (resultCode) {
    case code::Ok: return "Success";
    case code::Failed: return "The operation failed";
    case code::InvalidArgument: return "Invalid argument";
    case code::NoSession: return "No disc session open";
    case code::NotInitialized: return "The disc-burning library is not initialized";
    case code::InvalidDevice: return "No such device";
    case code::DriveUnavailable: return "The drive cannot be used";
    case code::NoMedium: return "No medium in the drive";
    case code::MediumNotWritable: return "The medium in the drive cannot be written";
    case code::NotErasable: return "The medium in the drive cannot be erased";
    case code::NoProject: return "There is no data project";
    case code::ProjectEmpty: return "The project holds no files";
    case code::NameExists: return "A file or folder of that name already exists in the project";
    case code::NotFoundInProject: return "No such file or folder in the project";
    case code::SourceUnreadable: return "A source file cannot be read";
    case code::ProjectTooLarge: return "The project is larger than the free space on the medium";
    case code::ImageFailed: return "The disc image cannot be created";
    case code::PrecheckFailed: return "The drive refuses the write job";
    case code::Busy: return "Another job is running";
    case code::NoJob: return "No job is running";
    case code::NoSpeedInformation: return "The drive reports no speed information";
    case code::InvalidHandle: return "Invalid handle";
    case code::NotBootable:
      return "The disc session is not bootable";
    case code::VerifyFailed:
      return "The data on the medium differ from the source files";
    case code::NotSupported: return "Not supported on this system";
    default: return "Unknown error " + std::to_string(resultCode);
  }
}

}  // namespace discburn
