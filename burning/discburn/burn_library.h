// The state behind the C entry points: devices, the data project, the option blocks, the
// running job and the texts of the last errors. One instance per process (Library()).
// Methods throw EDiscBurn; the entry points turn that into a result code.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "burning/discburn/audio_disc.h"
#include "burning/discburn/audio_file.h"
#include "burning/discburn/burn_error.h"
#include "burning/discburn/burn_job.h"
#include "burning/discburn/callback_hub.h"
#include "burning/discburn/disc_reader.h"
#include "burning/discburn/discburn_api.h"
#include "burning/discburn/project_tree.h"
#include "burning/discburn/verifier.h"

namespace discburn {

struct TDevice {
  std::string Address;  // libburn address; for the image writer it follows the image path
  std::string Vendor, Product, Revision;
  bool ImageWriter = false;
  int64_t Capacity = 0;  // bytes; 0 = what the drive reports
  uint32_t FirstGroup = 0, SecondGroup = 0;  // capability bits (burn_library.cpp)
  uint64_t Codes = 0;                         // capability codes, bit n = code n
  int BufferSize = 0;
};

struct TCapabilitySet {
  uint32_t FirstGroup = 0, SecondGroup = 0;
  uint64_t Codes = 0;
};

/// A session of a medium or image file, opened for reading.
struct TDiscSession {
  TIsoImagePtr Image;
  int Number = 0;  // 1-based
  int StartLba = 0;
};

/// Where the project's imported entries live: the session of a medium the project continues,
/// or an image file whose tree was imported.
struct TImportBase {
  std::string Address;  // the drive of a continued medium
  std::string File;     // an imported image file
  int StartLba = 0;
  bool Continue = false;  // the project becomes the medium's next session
};

class TBurnLibrary {
 public:
  TBurnLibrary();

  // Result texts: the detailed text of the last failure with a code, else the generic one.
  void RememberText(int32_t resultCode, const std::string& text);
  std::string Text(int32_t resultCode);
  std::string ErrorDeviceName();

  TCallbackHub& Callbacks() { return FCallbacks; }

  // Initialisation
  void Initialize(int32_t aspiType, bool imageDevice);
  void DeInitialize();
  void CheckInitialized() const;
  void SetTempPath(const std::string& path);
  std::string TempPath() const;
  void EnableImageDevice(bool enable);
  void SetImageFilePath(const std::string& path);

  // Devices
  void RescanDevices();
  const std::vector<TDevice>& Devices() const { return FDevices; }
  void AddPseudoDrive(const std::string& address, int64_t capacity);
  /// Index into Devices() of a device argument (-1/0 burn device, -2 read device, 1..n).
  int DeviceIndex(int32_t device) const;
  int IndexOfLetter(int32_t letter) const;
  void SetBurnDevice(int32_t letter);
  void SetReadDevice(int32_t letter);
  /// Further burn devices: a burn writes the same project to each.
  void AddBurnDevice(int32_t letter);
  void RemoveBurnDevice(int32_t letter);
  void LockMedium(int32_t device, bool lock);
  std::string BurnDeviceLetters() const;
  std::string DeviceName(int index) const;
  void MediumInformation(int32_t device, DBMediumInfo& info);
  void DeviceInformationEx(int32_t device, DBDeviceInfoEx& info);
  bool IsDeviceReady(int32_t device);
  void Eject(int32_t device);
  db_handle CapabilitiesHandle(int32_t device);
  bool HasCapability(db_handle handle, uint32_t firstGroup, uint32_t secondGroup);
  void ReleaseCapabilities(db_handle handle);

  // Speeds (kB/s of 1000 bytes)
  /// The drive's write or read speeds, highest first; `current` gets the chosen one.
  std::vector<int> Speeds(int32_t device, bool write, int* current);
  /// Chooses the highest speed not above `speed` (<= 0: the highest) and returns it.
  int32_t ChooseSpeed(int32_t device, bool write, int32_t speed);
  double SpeedMultiple(int32_t speed) const;

  // Project
  void CreateProject(int32_t type, int32_t session);
  void DeleteProject();
  int32_t ProjectType() const { return FProjectType; }
  TProjectTree& Project();
  void AddFile(const std::string& source, const std::string& folder, const std::string& name);
  void AddDir(const std::string& source, const std::string& folder, bool recursive);
  void CreateDir(const std::string& folder, const std::string& name);
  void RemoveFile(const std::string& folder, const std::string& name);
  void RemoveDir(const std::string& path);
  void RenameFile(const std::string& folder, const std::string& oldName, const std::string& newName);
  void RenameDir(const std::string& path, const std::string& newName);
  void SetFileTimes(const std::string& path, const DBDiscDate* modified);
  void SetFileAttributes(const std::string& path, uint32_t attributes);
  void SetFileUserParam(const std::string& path, int32_t param);
  void SetLanguage(const std::string& language, const std::string& file);
  /// CD-Text and ISRC of a track ("\\" = the disc's title and performer). A title or performer
  /// that no character code of CD-Text holds together with the disc's other texts (CdTextCode)
  /// is refused (InvalidArgument) and the old value kept.
  void SetAudioProperty(const std::string& path, int32_t property, const std::string& value);
  // Reading CDs
  std::vector<char> ReadSectors(int32_t device, int32_t lba, int32_t count);
  /// Reads libburn's text sheet of the CD's CD-Text, in UTF-8, and returns a handle to it.
  db_handle ReadCDText(int32_t device);
  /// The sheet behind a handle of ReadCDText; InvalidHandle for another.
  const std::string& CdText(db_handle handle) const;
  void CloseCdText(db_handle handle);
  void SaveTrack(int32_t device, int32_t track, const std::string& path, bool wave);
  std::string Language() const { return FLanguage; }
  void ClearAll();
  int64_t ImageSize();

  // Project listing through disc sessions (device 0 = the project), and reading media
  db_handle OpenSession(int32_t device, int32_t session);
  void CloseSession(db_handle session);
  db_handle OpenDirectory(db_handle session, const std::string& path);
  const std::vector<DBFileEntry>& Directory(db_handle directory) const;
  void CloseDirectory(db_handle directory);
  DBFileEntry FileEntry(db_handle session, const std::string& path);
  void ISOVolumeInformation(db_handle session, DBISOBlock& info);
  void BootVolumeInformation(db_handle session, DBBootBlock& info);
  /// The extents of a file of a disc session: first block and block count of each.
  std::vector<std::pair<int32_t, int32_t>> FileAllocationTable(db_handle session, const std::string& path);
  /// The table of contents of the medium in a device.
  TToc Toc(int32_t device);
  /// Imports the tree of an ISO image file (its newest session) into the project.
  void ImportFile(const std::string& imagePath);
  /// Compares the project's files under `path` with the newest session of the medium in the
  /// burn device, as a job: StartVerify, VerifyFile and VerifyError for each, VerifyDone, JobDone.
  void VerifyFiles(const std::string& path);
  /// Copies the single-session disc in one drive to the medium in another, as a burn job.
  void CopyDisk(int32_t sourceDevice, int32_t targetDevice);
  /// Closes the open session of a sequential medium.
  void CloseDisc(int32_t device);

  // Option blocks
  DBOptionsBlock Options;
  DBISOBlock ISO;
  DBBootBlock Boot;
  DBCompressEncryptBlock Compress;
  DBDVDVideoBlock DVDVideo;
  DBUDFBlock UDF;
  std::u16string UDFImplementationId;
  void SetOptions(const DBOptionsBlock& block);
  void SetISO(const DBISOBlock& block);
  void SetCompress(const DBCompressEncryptBlock& block);
  bool Verify() const { return FVerify; }
  void SetVerify(bool verify) { FVerify = verify; }

  // Jobs
  void Prepare();
  void Burn();
  void BurnISO(const std::string& isoPath);
  void CreateImage(const std::string& imagePath);
  void Erase(bool quick, bool eject);
  void Abort();
  bool Busy() const { return FBusy; }
  /// Fires InfoText for queued library messages (outside jobs) and returns them.
  std::vector<TLibraryMessage> PumpMessages();
  /// Reads an audio file's length (ReadAudioFile), and tells the log what FFmpeg said of the
  /// file on the way, also when it cannot be read.
  TAudioFile MeasureAudioFile(const std::string& path, bool audioOnly = false);

 private:
  void ResetState();
  void CheckIdle() const;
  void CheckDataProject() const;
  void CheckProjectReady() const;
  std::string ImagePath() const;
  void BuildDevices();
  /// The libisofs image of the project; imported entries are read through `drive` when the
  /// base medium's drive is grabbed already.
  TIsoImagePtr BuildImage(std::vector<TSourceFile>* sources, burn_drive* drive = nullptr);
  void ImportIntoProject(IsoImage* image);
  void AddBootRecord(IsoImage* image, std::vector<TSourceFile>* sources);
  bool IsAudioProject() const;
  TAudioDisc AudioDisc() const;
  void AddCueSheet(const std::string& cuePath);
  std::vector<TVerifyItem> VerifyItems(const std::string& path) const;
  TDiscSession* DiscSession(db_handle session) const;
  TIsoWriteOptsPtr BuildWriteOptions(bool sizeOnly);
  /// What a write takes from the library's settings, copied when it is set up.
  struct TWriteSettings {
    DBOptionsBlock Options;
    bool Verify = false;
    int WriteSpeed = 0;
  };
  TWriteSettings WriteSettings() const { return {Options, FVerify, FWriteSpeed}; }
  /// Builds the image (or takes the ISO file) and the write job for a drive, and checks
  /// that the drive can write it: medium, free space, libburn's precheck. The project is read
  /// only when neither `isoFile` nor `copyFrom` is given; a write of an ISO file reads nothing
  /// of the library but `settings`, and may be set up on a job's thread.
  TWriteSetup SetupWrite(const std::string& address, int64_t capacity, const std::string& isoFile,
                         const TWriteSettings& settings,
                         const std::shared_ptr<TGrabbedDrive>& copyFrom = nullptr);
  /// One write per burn device: the current one and those added to it.
  std::vector<TWriteSetup> SetupForBurnDevices(const std::string& isoFile);
  std::vector<int> BurnDeviceIndexes() const;
  void StartJob(std::unique_ptr<TBurnJob> job);
  void JoinExitedJobs();
  DBFileEntry EntryOf(const TProjectNode& node) const;
  DBFileEntry EntryOf(IsoNode* node) const;
  void SetErrorDevice(int index);

  bool FInitialized = false;
  bool FImageDevice = false;
  std::string FLanguage;
  std::string FAudioTitle, FAudioPerformer, FCueFile;
  std::string FTempPath;
  std::string FImagePath;
  std::vector<TDevice> FScanned;
  std::vector<TDevice> FPseudo;
  std::vector<TDevice> FDevices;
  std::string FBurnKey;  // the burn and read devices, by address (they survive a rescan)
  std::string FReadKey;
  std::vector<std::string> FExtraBurnKeys;
  bool FVerify = false;
  int FWriteSpeed = 0;  // wanted kB/s, 0 = the highest
  int FReadSpeed = 0;
  int FLastProfile = 0;
  int32_t FProjectType = DB_PT_NONE;
  TProjectTree FProject;
  std::optional<TImportBase> FBase;

  TCallbackHub FCallbacks;
  std::unique_ptr<TBurnJob> FJob;
  std::vector<std::unique_ptr<TBurnJob>> FRetired;
  std::atomic<bool> FBusy{false};
  std::atomic<uint64_t> FGeneration{0};  // which job may clear FBusy when it ends

  db_handle FNextHandle = 1;
  std::map<db_handle, std::vector<db_handle>> FSessions;  // session -> its directories
  std::map<db_handle, std::vector<DBFileEntry>> FDirectories;
  std::map<db_handle, std::unique_ptr<TDiscSession>> FDiscSessions;
  std::map<db_handle, TCapabilitySet> FCapabilities;
  std::map<db_handle, std::string> FCdTexts;  // CD-Text sheets read by ReadCDText

  std::mutex FTextLock;
  std::map<int32_t, std::string> FTexts;
  std::string FErrorDevice;
};

/// The process-wide library state.
TBurnLibrary& Library();

}  // namespace discburn
