#include "burning/discburn/grabbed_drive.h"

#include "burning/discburn/burn_error.h"
#include "burning/discburn/library_messages.h"

namespace discburn {

TGrabbedDrive::TGrabbedDrive(const std::string& address) {
  std::string adr = address;
  if (burn_drive_scan_and_grab(&FInfo, adr.data(), 1) <= 0 || !FInfo) {
    if (FInfo) burn_drive_info_free(FInfo);
    FInfo = nullptr;
    std::string why = WorstText(TakeLibraryMessages(), severity::Sorry);
    throw EDiscBurn(code::DriveUnavailable,
                    "The drive cannot be opened: " + address + (why.empty() ? "" : " (" + why + ")"));
  }
}

TGrabbedDrive::~TGrabbedDrive() {
  if (!FInfo) return;
  if (FLeaveLocked)
    burn_drive_leave_locked(FInfo->drive, 0);
  else
    burn_drive_release(FInfo->drive, FEject ? 1 : 0);
  // Forgotten as well as released: libburn refuses to scan while it still knows a drive.
  burn_drive_info_forget(FInfo, 0);
  burn_drive_info_free(FInfo);
}

}  // namespace discburn
