// Reading what a medium or an image file holds: its table of contents and the ISO 9660 tree
// of one of its sessions. Sequential media (CD, DVD-R, BD-R) have a table of contents of
// their own; overwritable media (DVD+RW, BD-RE) and image files have none, so their sessions
// are found from their volume descriptors, in the layout of growing multi-session images:
// the descriptors at block 16 are a copy of the newest session's, and the sessions keep
// their own from block 32 on, each one starting at the next multiple of 32 blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "burning/discburn/burn_libs.h"

namespace discburn {

/// Sessions of growing images start at multiples of this many blocks (64 KiB).
constexpr int SessionAlignment = 32;

struct TTocTrack {
  int Session = 1;  // 1-based
  int StartLba = 0;
  int Sectors = 0;
  bool Audio = false;
  int Mode = 1;  // 0 audio, 1 or 2 the data mode
};

struct TToc {
  std::vector<TTocTrack> Tracks;
  int SessionCount = 0;
  int LeadoutLba = 0;     // the block after the last track
  bool Emulated = false;  // found from volume descriptors (overwritable media, image files)

  /// The first block and the block count of session `session` (1-based).
  std::pair<int, int> Session(int session) const;
  /// The session a caller names: 1..SessionCount, or 0 / -1 for the last one. Throws
  /// EDiscBurn(InvalidArgument) for any other number.
  int SessionNumber(int session) const;
  /// Of an emulated table of contents: the medium was finalised. Its first session starts at
  /// block 0, where the next session's volume descriptors would have to go, so another
  /// session would make it unreadable.
  bool Closed() const { return Emulated && !Tracks.empty() && Tracks.front().StartLba == 0; }
  /// Of an emulated table of contents: where a further session starts.
  int NextSessionLba() const {
    return (LeadoutLba + SessionAlignment - 1) / SessionAlignment * SessionAlignment;
  }
};

/// Reads one 2048-byte block; false when it cannot be read.
using TBlockReader = std::function<bool(int lba, uint8_t* block)>;

TBlockReader DriveBlockReader(burn_drive* drive);
TBlockReader FileBlockReader(const std::string& path);

/// Sessions found from the volume descriptors (see above).
TToc EmulatedToc(const TBlockReader& read);
/// The table of contents of the medium in a grabbed drive: its own, or the emulated one for
/// overwritable media and files.
TToc ReadToc(burn_drive* drive);
/// True for media that are written at any address: files and DVD+RW, DVD-RAM, BD-RE.
bool IsOverwritable(burn_drive* drive);

/// The disc id of the FreeDB and CDDB databases, from the table of contents.
uint32_t FreedbId(const TToc& toc);

class TGrabbedDrive;

/// A libburn source that reads one track of a medium in a grabbed drive (data blocks, or
/// audio sectors of a CD), for copying it to another drive.
burn_source* NewTrackReadSource(std::shared_ptr<TGrabbedDrive> drive, const TTocTrack& track);

/// A libisofs data source reading through libburn. With a drive it borrows that grabbed
/// drive; without one it grabs the drive at `address` while libisofs holds the source open.
TIsoDataSourcePtr NewDriveDataSource(const std::string& address, burn_drive* borrowed);
/// Lends a drive source a grabbed drive (null: it grabs its own again when it reads).
void LendDrive(IsoDataSource* source, burn_drive* drive);
/// A libisofs data source on an image file; throws EDiscBurn when it cannot be read.
TIsoDataSourcePtr NewFileDataSource(const std::string& path);

/// Imports the tree of the session starting at `startLba`. Takes the caller's reference to the
/// source and releases it on every path; the image keeps one of its own. Throws
/// EDiscBurn(ImageFailed) with libisofs's reason.
TIsoImagePtr ImportSession(TIsoDataSourcePtr source, int startLba);

/// The calendar time of a 17-character ISO 9660 volume date ("YYYYMMDDhhmmsscc" and the
/// offset from GMT in 15-minute steps); 0 when it holds no date.
time_t VolumeDateTime(const char* date);

}  // namespace discburn
