// One libburn drive, acquired for the length of one operation and released after it, so no
// drive stays locked between calls.
#pragma once

#include <string>

#include "burning/discburn/burn_libs.h"

namespace discburn {

class TGrabbedDrive {
 public:
  /// Acquires the drive at a libburn address ("/dev/sr0", "stdio:/tmp/x.iso"); throws
  /// EDiscBurn(DriveUnavailable) with libburn's reason when it cannot.
  explicit TGrabbedDrive(const std::string& address);
  ~TGrabbedDrive();
  TGrabbedDrive(const TGrabbedDrive&) = delete;
  TGrabbedDrive& operator=(const TGrabbedDrive&) = delete;

  burn_drive* Drive() const { return FInfo->drive; }
  const burn_drive_info& Info() const { return *FInfo; }
  int Role() const { return burn_drive_get_drive_role(Drive()); }
  void SetEjectOnRelease(bool eject) { FEject = eject; }
  /// Releases the drive with its tray locked (burn_drive_leave_locked).
  void SetLeaveLocked(bool locked) { FLeaveLocked = locked; }

 private:
  burn_drive_info* FInfo = nullptr;
  bool FEject = false;
  bool FLeaveLocked = false;
};

}  // namespace discburn
