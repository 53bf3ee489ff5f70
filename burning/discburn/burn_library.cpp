#include "burning/discburn/burn_library.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <numeric>
#include <set>

#include "burning/discburn/audio_file.h"
#include "burning/discburn/burn_error.h"
#include "burning/discburn/burn_libs.h"
#include "burning/discburn/library_messages.h"
#include "burning/discburn/utf16.h"
#include "burning/discburn/verifier.h"

namespace discburn {

namespace {

// Capability bits of this library (GetDeviceCapabilities, AnalyseDeviceCapability).
namespace cap {
constexpr uint32_t ReadCDR = 0x1, ReadCDRW = 0x2, ReadDVDROM = 0x4, ReadDVDR = 0x8, ReadDVDRAM = 0x10,
                   WriteCDR = 0x20, WriteCDRW = 0x40, WriteDVDR = 0x80, WriteDVDRAM = 0x100, TestWrite = 0x200,
                   C2Pointers = 0x400;
constexpr uint32_t ImageFileWriter = 0x4;  // second group
// Capability codes (first argument with 0xFFFF as second).
constexpr int CodeTAO = 1, CodeSAO = 2, CodeRAW = 3, CodeTestWrite = 4, CodeImageFile = 6;
}  // namespace cap

constexpr const char* ImageWriterKey = "<image writer>";
// Names of the El Torito boot image and catalog in the root of a bootable disc (hidden there).
constexpr const char* BootImageName = "boot.img";
constexpr const char* BootCatalogName = "boot.cat";

std::string KeyOf(const TDevice& d) { return d.ImageWriter ? ImageWriterKey : d.Address; }

std::string Trimmed(const char* text) {
  std::string s(text);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  return s;
}

DBDiscDate DiscDateOf(time_t t) {
  DBDiscDate d{};
  if (t <= 0) return d;
  struct tm tm {};
  localtime_r(&t, &tm);
  d.Bytes[0] = static_cast<uint8_t>(std::clamp(tm.tm_year, 0, 255));
  d.Bytes[1] = static_cast<uint8_t>(tm.tm_mon + 1);
  d.Bytes[2] = static_cast<uint8_t>(tm.tm_mday);
  d.Bytes[3] = static_cast<uint8_t>(tm.tm_hour);
  d.Bytes[4] = static_cast<uint8_t>(tm.tm_min);
  d.Bytes[5] = static_cast<uint8_t>(tm.tm_sec);
  return d;
}

/// 0 for a date whose bytes do not form a calendar date.
time_t TimeOf(const DBDiscDate& d) {
  if (d.Bytes[1] < 1 || d.Bytes[1] > 12 || d.Bytes[2] < 1 || d.Bytes[2] > 31 || d.Bytes[3] > 23 || d.Bytes[4] > 59 ||
      d.Bytes[5] > 59)
    return 0;
  struct tm tm {};
  tm.tm_year = d.Bytes[0];
  tm.tm_mon = d.Bytes[1] - 1;
  tm.tm_mday = d.Bytes[2];
  tm.tm_hour = d.Bytes[3];
  tm.tm_min = d.Bytes[4];
  tm.tm_sec = d.Bytes[5];
  tm.tm_isdst = -1;
  time_t t = mktime(&tm);
  return t < 0 ? 0 : t;
}

/// Day count since 30 December 1899 (local time), the callbacks' date-time.
double DateTimeOf(time_t t) {
  struct tm tm {};
  localtime_r(&t, &tm);
  return (static_cast<double>(t) + tm.tm_gmtoff) / 86400.0 + 25569.0;
}

constexpr const char* FinalisedText = "The disc was finalised: it takes no further session";

/// Refuses to continue a finalised medium: a closed CD or DVD-R, or overwritable media and
/// image files whose first session starts at block 0 (TToc::Closed).
void CheckTakesSession(burn_drive* drive, const TToc& toc) {
  if (toc.Closed() || (!toc.Emulated && burn_disc_get_status(drive) == BURN_DISC_FULL))
    throw EDiscBurn(code::MediumNotWritable, FinalisedText);
}

std::string PathWithoutStdio(const std::string& address) {
  return address.rfind("stdio:", 0) == 0 ? address.substr(6) : std::string();
}


}  // namespace

TBurnLibrary& Library() {
  static TBurnLibrary library;
  return library;
}

TBurnLibrary::TBurnLibrary() { ResetState(); }

void TBurnLibrary::ResetState() {
  std::memset(&Options, 0, sizeof Options);
  Options.WriteMethod = -1;  // let libburn choose
  Options.JolietFileSystem = 1;
  Options.RockRidgeFileSystem = 1;
  Options.Finalize = 1;
  Options.UnderrunProtection = 1;
  std::memset(&ISO, 0, sizeof ISO);
  ISO.Level = 3;
  ISO.AllowLongJolietNames = 1;
  std::memset(&Boot, 0, sizeof Boot);
  Boot.BootIndicator = 1;
  Boot.LoadSegment = 1984;
  Boot.Emulation = 2;
  Boot.SectorCount = 1;
  std::memset(&Compress, 0, sizeof Compress);
  std::memset(&DVDVideo, 0, sizeof DVDVideo);
  std::memset(&UDF, 0, sizeof UDF);
  UDF.Version = 0x0102;
  UDFImplementationId.clear();
  FImageDevice = false;
  FTempPath.clear();
  FImagePath.clear();
  FLanguage.clear();
  FAudioTitle.clear();
  FAudioPerformer.clear();
  FCueFile.clear();
  FScanned.clear();
  FPseudo.clear();
  FDevices.clear();
  FBurnKey.clear();
  FExtraBurnKeys.clear();
  FReadKey.clear();
  FWriteSpeed = FReadSpeed = 0;
  FLastProfile = 0;
  FProjectType = DB_PT_NONE;
  FProject.Clear();
  FBase.reset();
  FDiscSessions.clear();
  FSessions.clear();
  FDirectories.clear();
  FCapabilities.clear();
  FCdTexts.clear();
  FErrorDevice.clear();
  FVerify = false;
}

// ---- texts ----

void TBurnLibrary::RememberText(int32_t resultCode, const std::string& text) {
  std::lock_guard<std::mutex> lock(FTextLock);
  FTexts[resultCode] = text;
}

std::string TBurnLibrary::Text(int32_t resultCode) {
  std::lock_guard<std::mutex> lock(FTextLock);
  auto it = FTexts.find(resultCode);
  return it != FTexts.end() ? it->second : DefaultText(resultCode);
}

std::string TBurnLibrary::ErrorDeviceName() { return FErrorDevice; }

void TBurnLibrary::SetErrorDevice(int index) {
  FErrorDevice = index >= 0 && index < static_cast<int>(FDevices.size()) ? DeviceName(index) : std::string();
}

// ---- initialisation ----

void TBurnLibrary::Initialize(int32_t aspiType, bool imageDevice) {
  if (aspiType != DB_ASPI_INTERNAL)
    throw EDiscBurn(code::NotSupported, std::string(NotSupportedPrefix) + "ASPI device access");
  static bool librariesReady = false;
  if (!librariesReady) {
    // libburn and libisofs stay initialised for the life of the process (the library is
    // linked with -z nodelete): they keep global state that is not safe to set up twice.
    if (!burn_initialize()) throw EDiscBurn(code::Failed, "libburn cannot be initialized");
    if (iso_init() < 0) throw EDiscBurn(code::Failed, "libisofs cannot be initialized");
    QueueLibraryMessages();
    // Files opened write-only (stdio:/dev/fd/N) become erasable write-only pseudo-drives.
    burn_allow_drive_role_4(1 | 2);
    librariesReady = true;
  }
  if (FInitialized) DeInitialize();
  ResetState();
  FCallbacks.ClearLog();
  FImageDevice = imageDevice;
  BuildDevices();
  TakeLibraryMessages();
  FInitialized = true;
}

void TBurnLibrary::DeInitialize() {
  if (FJob) FJob->Abort();
  FCallbacks.Reset();
  if (FJob) FRetired.push_back(std::move(FJob));
  ++FGeneration;  // a job thread still ending no longer changes this library's state
  // With the callbacks cut the job threads end on their own; each is joined once it has. One
  // still inside a callback that the caller is handling (deinitialising from an event
  // handler) is left to end after this returns.
  for (auto& job : FRetired) job->WaitExited(3000);
  JoinExitedJobs();
  FBusy = false;
  ResetState();
  FInitialized = false;
}

void TBurnLibrary::CheckInitialized() const {
  if (!FInitialized) throw EDiscBurn(code::NotInitialized);
}

void TBurnLibrary::CheckIdle() const {
  CheckInitialized();
  if (FBusy) throw EDiscBurn(code::Busy);
}

void TBurnLibrary::SetTempPath(const std::string& path) {
  if (!path.empty()) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw EDiscBurn(code::InvalidArgument, "No such folder: " + path);
  }
  FTempPath = path;
  BuildDevices();
}

std::string TBurnLibrary::TempPath() const {
  if (!FTempPath.empty()) return FTempPath;
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

void TBurnLibrary::EnableImageDevice(bool enable) {
  FImageDevice = enable;
  BuildDevices();
}

void TBurnLibrary::SetImageFilePath(const std::string& path) {
  FImagePath = path;
  BuildDevices();
}

std::string TBurnLibrary::ImagePath() const {
  if (!FImagePath.empty()) return FImagePath;
  std::string folder = TempPath();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + "disc.iso";
}

// ---- devices ----

void TBurnLibrary::BuildDevices() {
  FDevices.clear();
  if (FImageDevice) {
    TDevice image;
    image.ImageWriter = true;
    image.Address = "stdio:" + ImagePath();
    image.Vendor = "Image";
    image.Product = "Image file writer";
    image.Revision = "1.0";
    image.SecondGroup = cap::ImageFileWriter;
    FDevices.push_back(image);
  }
  for (const auto* list : {&FScanned, &FPseudo})
    for (const auto& d : *list)
      if (FDevices.size() < DB_MAX_DEVICES) FDevices.push_back(d);
  auto hasKey = [&](const std::string& key) {
    return std::any_of(FDevices.begin(), FDevices.end(), [&](const TDevice& d) { return KeyOf(d) == key; });
  };
  if (FBurnKey.empty() || !hasKey(FBurnKey)) {
    FBurnKey.clear();
    for (const auto& d : FDevices)
      if (!d.ImageWriter) {
        FBurnKey = KeyOf(d);
        break;
      }
  }
  if (!FReadKey.empty() && !hasKey(FReadKey)) FReadKey.clear();
  FExtraBurnKeys.erase(
      std::remove_if(FExtraBurnKeys.begin(), FExtraBurnKeys.end(),
                     [&](const std::string& key) { return !hasKey(key) || key == FBurnKey; }),
      FExtraBurnKeys.end());
}

void TBurnLibrary::RescanDevices() {
  CheckIdle();
  burn_drive_info* infos = nullptr;
  unsigned int count = 0;
  // libburn scans on a thread of its own: the call answers 0 until the scan is complete.
  int scanned = 0;
  for (int waited = 0; waited < 600; ++waited) {
    scanned = burn_drive_scan(&infos, &count);
    if (scanned > 0) break;
    // A refusal while a finished job's thread is still ending is retried as well.
    if (scanned < 0 && !IsStillBusy(TakeLibraryMessages())) break;
    usleep(scanned < 0 ? 20 * 1000 : 100 * 1000);
  }
  if (scanned <= 0) {
    std::string why = WorstText(PumpMessages(), severity::Sorry);
    throw EDiscBurn(code::Failed, "The drives cannot be listed" + (why.empty() ? "" : ": " + why));
  }
  std::vector<TDevice> found;
  for (unsigned int i = 0; i < count; ++i) {
    const burn_drive_info& info = infos[i];
    TDevice d;
    char adr[BURN_DRIVE_ADR_LEN] = {};
    if (burn_drive_get_adr(const_cast<burn_drive_info*>(&info), adr) > 0) d.Address = adr;
    d.Vendor = Trimmed(info.vendor);
    d.Product = Trimmed(info.product);
    d.Revision = Trimmed(info.revision);
    d.BufferSize = info.buffer_size;
    uint32_t f = 0;
    if (info.read_cdr) f |= cap::ReadCDR;
    if (info.read_cdrw) f |= cap::ReadCDRW;
    if (info.read_dvdrom) f |= cap::ReadDVDROM;
    if (info.read_dvdr) f |= cap::ReadDVDR;
    if (info.read_dvdram) f |= cap::ReadDVDRAM;
    if (info.write_cdr) f |= cap::WriteCDR;
    if (info.write_cdrw) f |= cap::WriteCDRW;
    if (info.write_dvdr) f |= cap::WriteDVDR;
    if (info.write_dvdram) f |= cap::WriteDVDRAM;
    if (info.write_simulate) f |= cap::TestWrite;
    if (info.c2_errors) f |= cap::C2Pointers;
    d.FirstGroup = f;
    if (info.tao_block_types) d.Codes |= 1ull << cap::CodeTAO;
    if (info.sao_block_types) d.Codes |= 1ull << cap::CodeSAO;
    if (info.raw_block_types) d.Codes |= 1ull << cap::CodeRAW;
    if (info.write_simulate) d.Codes |= 1ull << cap::CodeTestWrite;
    if (!d.Address.empty()) found.push_back(d);
  }
  // Forget every drive the scan acquired, so none stays locked.
  for (unsigned int i = 0; i < count; ++i) burn_drive_info_forget(&infos[i], 0);
  if (infos) burn_drive_info_free(infos);
  FScanned = std::move(found);
  BuildDevices();
  PumpMessages();
}

void TBurnLibrary::AddPseudoDrive(const std::string& address, int64_t capacity) {
  CheckIdle();
  if (address.rfind("stdio:", 0) != 0 || address.size() <= 6)
    throw EDiscBurn(code::InvalidArgument, "Not a stdio: address: " + address);
  TDevice d;
  {
    TGrabbedDrive drive(address);
    d.Vendor = Trimmed(drive.Info().vendor);
    d.Product = Trimmed(drive.Info().product);
    d.Revision = Trimmed(drive.Info().revision);
  }
  d.Address = address;
  d.Capacity = capacity;
  d.SecondGroup = cap::ImageFileWriter;
  d.Codes = (1ull << cap::CodeSAO) | (1ull << cap::CodeImageFile);
  FPseudo.push_back(d);
  BuildDevices();
  PumpMessages();
}

int TBurnLibrary::IndexOfLetter(int32_t letter) const {
  const int index = (letter & 0xFFFF) - 'A';
  if (index < 0 || index >= static_cast<int>(FDevices.size()))
    throw EDiscBurn(code::InvalidDevice, "No such device: " + std::string(1, static_cast<char>(letter & 0x7F)));
  return index;
}

int TBurnLibrary::DeviceIndex(int32_t device) const {
  CheckInitialized();
  auto byKey = [&](const std::string& key) {
    for (size_t i = 0; i < FDevices.size(); ++i)
      if (KeyOf(FDevices[i]) == key) return static_cast<int>(i);
    return -1;
  };
  int index = -1;
  if (device == -1 || device == 0) index = byKey(FBurnKey);
  else if (device == -2) index = byKey(FReadKey.empty() ? FBurnKey : FReadKey);
  else if (device >= 1 && device <= static_cast<int32_t>(FDevices.size())) index = device - 1;
  if (index < 0) throw EDiscBurn(code::InvalidDevice, device < 0 || device == 0 ? "No device selected" : "No such device");
  return index;
}

void TBurnLibrary::SetBurnDevice(int32_t letter) {
  CheckIdle();
  FBurnKey = KeyOf(FDevices[IndexOfLetter(letter)]);
  FExtraBurnKeys.clear();
  FWriteSpeed = 0;
}

void TBurnLibrary::SetReadDevice(int32_t letter) {
  CheckInitialized();
  FReadKey = KeyOf(FDevices[IndexOfLetter(letter)]);
}

std::string TBurnLibrary::BurnDeviceLetters() const {
  CheckInitialized();
  std::string letters;
  try {
    for (int index : BurnDeviceIndexes()) letters += static_cast<char>('A' + index);
  } catch (const EDiscBurn&) {
    // no burn device
  }
  return letters;
}

std::string TBurnLibrary::DeviceName(int index) const {
  const TDevice& d = FDevices[index];
  std::string name = std::string(1, static_cast<char>('A' + index)) + ": ";
  name += d.ImageWriter ? "Image file writer" : (d.Vendor + " " + d.Product);
  if (!d.ImageWriter && d.Address.rfind("stdio:", 0) == 0) name += " " + d.Address.substr(6);
  return name;
}

void TBurnLibrary::MediumInformation(int32_t device, DBMediumInfo& info) {
  std::memset(&info, 0, sizeof info);
  CheckIdle();
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  const TDevice& dev = FDevices[index];
  TGrabbedDrive drive(dev.Address);
  burn_drive* d = drive.Drive();
  const burn_disc_status status = burn_disc_get_status(d);
  int profile = 0;
  char profileName[80] = {};
  burn_disc_get_profile(d, &profile, profileName);
  FLastProfile = profile;
  info.ProfileCode = profile;
  std::string type = profile == 0xffff ? "Image file" : profileName;
  if (status == BURN_DISC_EMPTY) type.clear();
  CopyText(type, info.MediumType, 25);
  info.Erasable = burn_disc_erasable(d) || drive.Role() == 5 ? 1 : 0;  // role 5: a write-only file
  switch (status) {
    case BURN_DISC_BLANK: info.Status = 1; break;
    case BURN_DISC_APPENDABLE: info.Status = 2; break;
    case BURN_DISC_FULL: info.Status = 3; break;
    case BURN_DISC_EMPTY: info.Status = 0; break;
    default: info.Status = 4; break;  // unsuitable or unknown
  }
  // The burn window names 7 and 9 "DVD-RW": only a DVD-RW medium gets them.
  if (profile == 0x13) info.Status = 7;
  if (profile == 0x14) info.Status = 9;
  info.Appendable = status == BURN_DISC_APPENDABLE ? 1 : 0;
  if (status != BURN_DISC_EMPTY) {
    burn_write_opts* opts = burn_write_opts_new(d);
    int64_t avail = burn_disc_available_space(d, opts);
    burn_write_opts_free(opts);
    if (dev.Capacity > 0) avail = std::min(avail, dev.Capacity);
    int startLba = 0, nextLba = 0;
    if (status == BURN_DISC_APPENDABLE || status == BURN_DISC_FULL) {
      if (burn_drive_get_start_end_lba(d, &startLba, &nextLba, 0) > 0 && status == BURN_DISC_FULL)
        info.UsedSectors = nextLba;
      int msc1 = 0;
      if (status == BURN_DISC_APPENDABLE && burn_disc_get_msc1(d, &msc1) > 0) info.UsedSectors = msc1;
    }
    // Sessions and tracks as the table of contents has them (found from the volume descriptors
    // on overwritable media and files, which libburn reports blank whatever they hold).
    const TToc toc = ReadToc(d);
    if (toc.Emulated && toc.SessionCount > 0) {
      // Written: an open one takes its next session at the next multiple of 32 blocks, a
      // finalised one (its first session at block 0) takes none.
      const bool closed = toc.Closed();
      info.Status = closed ? 3 : 2;
      info.Appendable = closed ? 0 : 1;
      info.UsedSectors = toc.LeadoutLba;
      const int64_t next = static_cast<int64_t>(toc.NextSessionLba()) * 2048;
      if (dev.Capacity > 0) avail = std::max<int64_t>(0, std::min(avail, dev.Capacity - next));
      if (closed) avail = 0;
    }
    info.FreeSectors = static_cast<int32_t>(std::min<int64_t>(avail / 2048, INT32_MAX));
    info.Size = static_cast<double>(avail) + static_cast<double>(info.UsedSectors) * 2048.0;
    info.SessionCount = toc.SessionCount;
    info.TrackCount = static_cast<int32_t>(toc.Tracks.size());
    info.MaxWriteSpeed = drive.Role() == 1 ? burn_drive_get_write_speed(d) : 0;
    info.MaxReadSpeed = drive.Role() == 1 ? burn_drive_get_read_speed(d) : 0;
    char* productId = nullptr;
    char* code1 = nullptr;
    char* code2 = nullptr;
    char* bookType = nullptr;
    if (drive.Role() == 1 && burn_disc_get_media_id(d, &productId, &code1, &code2, &bookType, 0) > 0 && productId)
      CopyText(productId, info.MediumId, 14);
    std::free(productId);
    std::free(code1);
    std::free(code2);
    std::free(bookType);
  }
  PumpMessages();
}

void TBurnLibrary::DeviceInformationEx(int32_t device, DBDeviceInfoEx& info) {
  std::memset(&info, 0, sizeof info);
  const int index = DeviceIndex(device);
  const TDevice& d = FDevices[index];
  CopyText(d.ImageWriter ? "stdio:" + ImagePath() : d.Address, info.Address, 64);
  info.BufferSize = d.BufferSize;
  CopyText(d.Address.rfind("stdio:", 0) == 0 ? "Image file" : "SCSI/MMC", info.Interface, 64);
  CopyText("Tray", info.LoaderType, 64);
  info.Flags = static_cast<int32_t>(d.FirstGroup);
}

bool TBurnLibrary::IsDeviceReady(int32_t device) {
  CheckIdle();
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  TGrabbedDrive drive(FDevices[index].Address);
  const bool ready = burn_disc_get_status(drive.Drive()) != BURN_DISC_EMPTY;
  PumpMessages();
  return ready;
}

void TBurnLibrary::Eject(int32_t device) {
  CheckIdle();
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  TGrabbedDrive drive(FDevices[index].Address);
  drive.SetEjectOnRelease(drive.Role() == 1);
}

db_handle TBurnLibrary::CapabilitiesHandle(int32_t device) {
  const TDevice& d = FDevices[DeviceIndex(device)];
  const db_handle h = FNextHandle++;
  FCapabilities[h] = {d.FirstGroup, d.SecondGroup, d.Codes};
  return h;
}

bool TBurnLibrary::HasCapability(db_handle handle, uint32_t firstGroup, uint32_t secondGroup) {
  auto it = FCapabilities.find(handle);
  if (it == FCapabilities.end()) throw EDiscBurn(code::InvalidHandle);
  const TCapabilitySet& c = it->second;
  if (secondGroup == 0xFFFF) return firstGroup < 64 && (c.Codes >> firstGroup & 1);
  return (firstGroup && (c.FirstGroup & firstGroup) == firstGroup) ||
         (secondGroup && (c.SecondGroup & secondGroup) == secondGroup);
}

void TBurnLibrary::ReleaseCapabilities(db_handle handle) {
  if (!FCapabilities.erase(handle)) throw EDiscBurn(code::InvalidHandle);
}

// ---- speeds ----

std::vector<int> TBurnLibrary::Speeds(int32_t device, bool write, int* current) {
  CheckIdle();
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  TGrabbedDrive drive(FDevices[index].Address);
  if (drive.Role() != 1) throw EDiscBurn(code::NoSpeedInformation, "An image file has no write or read speeds");
  burn_drive* d = drive.Drive();
  int profile = 0;
  char name[80];
  if (burn_disc_get_profile(d, &profile, name) > 0) FLastProfile = profile;
  std::vector<int> speeds;
  burn_speed_descriptor* list = nullptr;
  if (burn_drive_get_speedlist(d, &list) > 0) {
    for (burn_speed_descriptor* s = list; s; s = s->next) {
      const int v = write ? s->write_speed : s->read_speed;
      if (v > 0) speeds.push_back(v);
    }
    burn_drive_free_speedlist(&list);
  }
  std::sort(speeds.rbegin(), speeds.rend());
  speeds.erase(std::unique(speeds.begin(), speeds.end()), speeds.end());
  const int max = write ? burn_drive_get_write_speed(d) : burn_drive_get_read_speed(d);
  if (speeds.empty() && max > 0) speeds.push_back(max);
  if (speeds.empty()) throw EDiscBurn(code::NoSpeedInformation);
  if (current) {
    const int wanted = write ? FWriteSpeed : FReadSpeed;
    *current = wanted > 0 ? wanted : speeds.front();
  }
  PumpMessages();
  return speeds;
}

int32_t TBurnLibrary::ChooseSpeed(int32_t device, bool write, int32_t speed) {
  std::vector<int> speeds;
  try {
    speeds = Speeds(device, write, nullptr);
  } catch (const EDiscBurn& e) {
    // "The highest speed" is granted by a drive without speeds (an image file) as well.
    if (e.Code() != code::NoSpeedInformation || speed > 0) throw;
    (write ? FWriteSpeed : FReadSpeed) = 0;
    return 0;
  }
  int chosen = 0;  // the highest
  if (speed > 0) {
    chosen = speeds.back();
    for (int s : speeds)
      if (s <= speed) {
        chosen = s;
        break;
      }
  }
  (write ? FWriteSpeed : FReadSpeed) = chosen;
  return chosen;
}

double TBurnLibrary::SpeedMultiple(int32_t speed) const {
  if (speed <= 0) throw EDiscBurn(code::InvalidArgument, "Invalid speed");
  double base = 176.4;  // CD, and the default without a known medium
  if (FLastProfile >= 0x10 && FLastProfile <= 0x2f) base = 1385.0;
  if (FLastProfile >= 0x40 && FLastProfile <= 0x43) base = 4496.0;
  return speed / base;
}

// ---- project ----

void TBurnLibrary::CreateProject(int32_t type, int32_t session) {
  CheckInitialized();
  if (type == DB_PT_NONE)
    throw EDiscBurn(code::InvalidArgument,
                    "Project type " + std::to_string(type) + " (none) is no project to create");
  if (type < DB_PT_AUDIO || type > DB_PT_NONE)
    throw EDiscBurn(code::InvalidArgument, "Unknown project type " + std::to_string(type));
  // A plain data disc and the ISO/UDF bridge both become ISO 9660 + Joliet + Rock Ridge:
  // libisofs has no UDF writer.
  const bool audio = type == DB_PT_AUDIO || type == DB_PT_CUE || type == DB_PT_MIXED_MODE;
  if (audio && session != -1)
    throw EDiscBurn(code::InvalidArgument, "An audio CD is written whole: it cannot be continued");
  if (type != DB_PT_DATA && type != DB_PT_ISO_UDF && !audio) {
    static const char* names[] = {"audio CD", "CUE sheet", "data",    "video CD",      "super video CD",
                                  "DVD-Video", "UDF DVD",  "ISO/UDF", "Blu-ray",       "mixed mode CD",
                                  "raw disc"};
    throw EDiscBurn(code::NotSupported, std::string(NotSupportedPrefix) + names[type] + " projects");
  }
  std::optional<TImportBase> base;
  TProjectTree project;
  if (session != -1) {
    // The project starts as the tree of the session it continues; its files stay where they are.
    CheckIdle();
    const int index = DeviceIndex(-1);
    SetErrorDevice(index);
    const std::string address = FDevices[index].Address;
    TGrabbedDrive drive(address);
    const TToc toc = ReadToc(drive.Drive());
    const int number = toc.SessionNumber(session);
    CheckTakesSession(drive.Drive(), toc);
    TIsoImagePtr image = ImportSession(NewDriveDataSource(address, drive.Drive()), toc.Session(number).first);
    base = TImportBase{address, "", toc.Session(number).first, true};
    std::swap(project, FProject);
    try {
      ImportIntoProject(image.get());
    } catch (...) {
      std::swap(project, FProject);
      throw;
    }
    PumpMessages();
  } else {
    FProject.Clear();
  }
  FProjectType = type;
  FBase = base;
  FAudioTitle.clear();
  FAudioPerformer.clear();
  FCueFile.clear();
}

void TBurnLibrary::DeleteProject() {
  CheckInitialized();
  FProjectType = DB_PT_NONE;
  FBase.reset();
  FProject.Clear();
}

void TBurnLibrary::CheckDataProject() const {
  CheckInitialized();
  if (FProjectType == DB_PT_NONE) throw EDiscBurn(code::NoProject);
}

TProjectTree& TBurnLibrary::Project() {
  CheckDataProject();
  return FProject;
}

void TBurnLibrary::AddFile(const std::string& source, const std::string& folder, const std::string& name) {
  CheckDataProject();
  if (FProjectType == DB_PT_CUE) return AddCueSheet(source);
  // An audio CD's tracks are audio files in its root (measured now, decoded when written); a
  // mixed-mode CD takes its root's audio files (those without video) as audio tracks and
  // everything else as its data track.
  std::optional<TAudioFile> audio;
  const bool root = TProjectTree::SplitPath(folder).empty();
  if (FProjectType == DB_PT_AUDIO) {
    if (!root) throw EDiscBurn(code::InvalidArgument, "The tracks of an audio CD are in its root folder");
    audio = MeasureAudioFile(source);
  } else if (FProjectType == DB_PT_MIXED_MODE && root) {
    try {
      audio = MeasureAudioFile(source, true);
    } catch (const EDiscBurn&) {
      // a data file
    }
  }
  TProjectNode& node = FProject.AddSource(folder, source, name, true);
  if (audio) {
    node.AudioTrack = true;
    node.AudioDecoded = audio->Decoded;
    node.AudioOffset = audio->Data.Offset;
    node.Size = audio->Data.Bytes;
  }
  FCallbacks.AddFile(source, node.Name, DateTimeOf(node.MTime), static_cast<double>(node.Size));
}

void TBurnLibrary::AddDir(const std::string& source, const std::string& folder, bool recursive) {
  CheckDataProject();
  struct stat st {};
  if (stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw EDiscBurn(code::SourceUnreadable, "Folder not found: " + source);
  const TProjectNode& node = FProject.AddSource(folder, source, "", recursive);
  FCallbacks.CreateDir(TProjectTree::PathOf(node), node.Name);
}

void TBurnLibrary::CreateDir(const std::string& folder, const std::string& name) {
  CheckDataProject();
  const TProjectNode& node = FProject.CreateDir(folder, name);
  FCallbacks.CreateDir(TProjectTree::PathOf(node), node.Name);
}

void TBurnLibrary::RemoveFile(const std::string& folder, const std::string& name) {
  CheckDataProject();
  std::string source;
  if (const TProjectNode* n = FProject.Folder(folder).Child(name)) source = n->SourcePath;
  FProject.Remove(folder, name, false);
  FCallbacks.RemoveFile(source, folder, name);
}

namespace {

/// A folder path as its parent folder and its own name; the root has neither.
std::pair<std::string, std::string> ParentAndName(const std::string& path) {
  auto parts = TProjectTree::SplitPath(path);
  if (parts.empty()) throw EDiscBurn(code::InvalidArgument, "The root folder cannot be removed or renamed");
  std::string parent;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent += "/" + parts[i];
  return {parent, parts.back()};
}

}  // namespace

void TBurnLibrary::RemoveDir(const std::string& path) {
  CheckDataProject();
  const auto [parent, name] = ParentAndName(path);
  FProject.Remove(parent, name, true);
}

void TBurnLibrary::RenameFile(const std::string& folder, const std::string& oldName, const std::string& newName) {
  CheckDataProject();
  FProject.Rename(folder, oldName, newName, false);
}

void TBurnLibrary::RenameDir(const std::string& path, const std::string& newName) {
  CheckDataProject();
  const auto [parent, name] = ParentAndName(path);
  FProject.Rename(parent, name, newName, true);
}

void TBurnLibrary::SetFileTimes(const std::string& path, const DBDiscDate* modified) {
  CheckDataProject();
  TProjectNode* node = FProject.Find(path);
  if (!node || !node->Parent) throw EDiscBurn(code::NotFoundInProject, "No such file or folder in the project: " + path);
  if (modified) {
    const time_t t = TimeOf(*modified);
    if (t > 0) node->MTime = t;
  }
}

namespace {

TProjectNode& ProjectEntry(TProjectTree& project, const std::string& path) {
  TProjectNode* node = project.Find(path);
  if (!node || !node->Parent)
    throw EDiscBurn(code::NotFoundInProject, "No such file or folder in the project: " + path);
  return *node;
}

}  // namespace

void TBurnLibrary::SetFileAttributes(const std::string& path, uint32_t attributes) {
  CheckDataProject();
  TProjectNode& node = ProjectEntry(FProject, path);
  if (node.Imported)
    throw EDiscBurn(code::InvalidArgument, "The attributes of a file on the disc stay as they are: " + path);
  node.Attributes = attributes & (DB_ATTR_READONLY | DB_ATTR_HIDDEN | DB_ATTR_SYSTEM | DB_ATTR_ARCHIVE);
}

void TBurnLibrary::SetFileUserParam(const std::string& path, int32_t param) {
  CheckDataProject();
  ProjectEntry(FProject, path).UserParam = param;
}

void TBurnLibrary::SetLanguage(const std::string& language, const std::string& file) {
  CheckInitialized();
  // The library's texts are English; the language is kept for the caller, its file only checked.
  if (!file.empty() && access(file.c_str(), R_OK) != 0)
    throw EDiscBurn(code::InvalidArgument, "Language file not found: " + file);
  FLanguage = language;
}

void TBurnLibrary::AddCueSheet(const std::string& cuePath) {
  if (!FProject.Empty()) throw EDiscBurn(code::InvalidArgument, "The project holds a CUE sheet already");
  std::vector<int64_t> sizes;
  {
    TBurnSessionPtr session(burn_session_create());
    const int count = SessionFromCue(session.get(), cuePath).Tracks;
    int n = 0;
    burn_track** tracks = burn_session_get_tracks(session.get(), &n);
    for (int i = 0; i < count && i < n; ++i)
      sizes.push_back(static_cast<int64_t>(burn_track_get_sectors(tracks[i])) * AudioSectorBytes);
  }
  PumpMessages();
  for (size_t i = 0; i < sizes.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Track %02zu", i + 1);
    TProjectNode& node = FProject.AddImported(const_cast<TProjectNode&>(FProject.Root()), name, false,
                                              sizes[i], time(nullptr), "");
    node.Imported = false;
    node.AudioTrack = true;
    node.SourcePath = cuePath;
    FCallbacks.AddFile(cuePath, name, DateTimeOf(node.MTime), static_cast<double>(node.Size));
  }
  FCueFile = cuePath;
}

bool TBurnLibrary::IsAudioProject() const {
  return FProjectType == DB_PT_AUDIO || FProjectType == DB_PT_CUE || FProjectType == DB_PT_MIXED_MODE;
}

TAudioDisc TBurnLibrary::AudioDisc() const {
  TAudioDisc disc;
  disc.Title = FAudioTitle;
  disc.Performer = FAudioPerformer;
  for (const auto& node : FProject.Root().Children) {
    if (!node->AudioTrack) continue;
    TAudioTrack& track = disc.Tracks.emplace_back();
    track = {node->SourcePath, {node->AudioOffset, node->Size}, node->Title, node->Performer, node->Isrc};
    track.Decoded = node->AudioDecoded;
  }
  return disc;
}

void TBurnLibrary::SetAudioProperty(const std::string& path, int32_t property, const std::string& value) {
  CheckDataProject();
  if (!IsAudioProject()) throw EDiscBurn(code::InvalidArgument, "The project is not an audio CD");
  const bool disc = TProjectTree::SplitPath(path).empty();
  TProjectNode* node = disc ? nullptr : &ProjectEntry(FProject, path);
  if (node && !node->AudioTrack) throw EDiscBurn(code::InvalidArgument, "Not an audio track: " + path);
  switch (property) {
    case DB_AUDIO_TITLE:
    case DB_AUDIO_PERFORMER: {
      // A title or performer that no character code of the disc's CD-Text holds together with
      // the others is refused here, with the value left as it was, not at the burn.
      std::string& field = property == DB_AUDIO_TITLE ? (node ? node->Title : FAudioTitle)
                                                      : (node ? node->Performer : FAudioPerformer);
      const std::string previous = field;
      field = value;
      try {
        CdTextCode(CdTexts(AudioDisc()));
      } catch (...) {
        field = previous;
        throw;
      }
      break;
    }
    case DB_AUDIO_ISRC:
      // Country (2), owner (3), year (2), serial number (5): letters and digits.
      if (!node ||
          (!value.empty() && (value.size() != 12 || !std::all_of(value.begin(), value.end(), [](char c) {
                                return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                              }))))
        throw EDiscBurn(code::InvalidArgument, "Not an ISRC of a track: " + value);
      node->Isrc = value;
      break;
    default:
      throw EDiscBurn(code::InvalidArgument, "Unknown audio property " + std::to_string(property));
  }
}

void TBurnLibrary::ClearAll() {
  CheckDataProject();
  FProject.Clear();
  // A continued medium stays the target: its next session then holds nothing of the old one.
  if (FBase && !FBase->Continue) FBase.reset();
}

// ---- sessions over the project ----

DBFileEntry TBurnLibrary::EntryOf(const TProjectNode& node) const {
  DBFileEntry e;
  std::memset(&e, 0, sizeof e);
  CopyText(node.Name, e.Name, DB_MAX_PATH_CHARS);
  CopyText(node.Name, e.ISOName, DB_MAX_PATH_CHARS);
  CopyText(node.SourcePath, e.SourcePath, DB_MAX_PATH_CHARS);
  const uint64_t size = node.IsDir ? 0 : static_cast<uint64_t>(node.Size);
  e.SizeLow = static_cast<uint32_t>(size & 0xFFFFFFFFu);
  e.SizeHigh = static_cast<uint32_t>(size >> 32);
  e.Modified = DiscDateOf(node.MTime);
  e.Created = e.Modified;
  e.Accessed = e.Modified;
  e.Attributes = node.IsDir ? DB_ATTR_DIRECTORY : DB_ATTR_ARCHIVE;
  if (node.Attributes) e.Attributes = (node.IsDir ? DB_ATTR_DIRECTORY : 0) | node.Attributes;
  e.UserParam = node.UserParam;
  return e;
}

db_handle TBurnLibrary::OpenSession(int32_t device, int32_t session) {
  CheckInitialized();
  std::unique_ptr<TDiscSession> disc;
  if (device != 0) {
    CheckIdle();
    const int index = DeviceIndex(device);
    SetErrorDevice(index);
    disc = std::make_unique<TDiscSession>();
    int start = 0;
    if (FDevices[index].ImageWriter) {
      // The image writer's file is read as a file, with no drive in between.
      const std::string path = ImagePath();
      const TToc toc = EmulatedToc(FileBlockReader(path));
      disc->Number = toc.SessionNumber(session);
      start = toc.Session(disc->Number).first;
      disc->Image = ImportSession(NewFileDataSource(path), start);
    } else {
      // File data are read later, through a drive grabbed while libisofs reads.
      const std::string& address = FDevices[index].Address;
      TGrabbedDrive drive(address);
      const TToc toc = ReadToc(drive.Drive());
      disc->Number = toc.SessionNumber(session);
      start = toc.Session(disc->Number).first;
      TIsoDataSourcePtr source = NewDriveDataSource(address, drive.Drive());
      IsoDataSource* kept = source.get();  // the image holds it after the import
      disc->Image = ImportSession(std::move(source), start);
      LendDrive(kept, nullptr);
    }
    disc->StartLba = start;
    PumpMessages();
  } else {
    CheckDataProject();
  }
  const db_handle h = FNextHandle++;
  FSessions[h] = {};
  if (disc) FDiscSessions[h] = std::move(disc);
  return h;
}

TDiscSession* TBurnLibrary::DiscSession(db_handle session) const {
  if (!FSessions.count(session)) throw EDiscBurn(code::NoSession);
  auto it = FDiscSessions.find(session);
  return it == FDiscSessions.end() ? nullptr : it->second.get();
}

void TBurnLibrary::CloseSession(db_handle session) {
  auto it = FSessions.find(session);
  if (it == FSessions.end()) throw EDiscBurn(code::InvalidHandle);
  for (db_handle d : it->second) FDirectories.erase(d);
  FSessions.erase(it);
  FDiscSessions.erase(session);
}

namespace {

/// A project path ("\\a\\b" or "/a/b") as a libisofs tree path ("/a/b").
std::string IsoPath(const std::string& path) {
  std::string out;
  for (const auto& part : TProjectTree::SplitPath(path)) out += "/" + part;
  return out.empty() ? "/" : out;
}

IsoNode* IsoNodeAt(IsoImage* image, const std::string& path) {
  IsoNode* node = nullptr;
  if (iso_tree_path_to_node(image, IsoPath(path).c_str(), &node) != 1 || !node)
    throw EDiscBurn(code::NotFoundInProject, "No such file or folder on the disc: " + path);
  return node;
}

/// Entries a reader of the disc sees: not the boot catalog, nothing hidden from Rock Ridge.
bool Listed(IsoNode* node) {
  return iso_node_get_type(node) != LIBISO_BOOT && !(iso_node_get_hidden(node) & LIBISO_HIDE_ON_RR);
}

template <typename F>
void ForEachChild(IsoDir* dir, F&& f) {
  IsoDirIter* iter = nullptr;
  if (iso_dir_get_children(dir, &iter) < 0) return;
  std::vector<IsoNode*> nodes;
  IsoNode* node = nullptr;
  while (iso_dir_iter_next(iter, &node) == 1) nodes.push_back(node);
  iso_dir_iter_free(iter);
  for (IsoNode* n : nodes) f(n);
}

std::vector<std::pair<int32_t, int32_t>> SectionsOf(IsoNode* node) {
  std::vector<std::pair<int32_t, int32_t>> extents;
  if (iso_node_get_type(node) != LIBISO_FILE) return extents;
  int count = 0;
  iso_file_section* sections = nullptr;
  if (iso_file_get_old_image_sections(reinterpret_cast<IsoFile*>(node), &count, &sections, 0) == 1 &&
      sections) {
    for (int i = 0; i < count; ++i)
      extents.emplace_back(static_cast<int32_t>(sections[i].block),
                           static_cast<int32_t>((static_cast<uint64_t>(sections[i].size) + 2047) / 2048));
  }
  std::free(sections);
  return extents;
}

}  // namespace

DBFileEntry TBurnLibrary::EntryOf(IsoNode* node) const {
  DBFileEntry e;
  std::memset(&e, 0, sizeof e);
  const char* name = iso_node_get_name(node);
  CopyText(name ? name : "", e.Name, DB_MAX_PATH_CHARS);
  CopyText(name ? name : "", e.ISOName, DB_MAX_PATH_CHARS);
  const bool dir = iso_node_get_type(node) == LIBISO_DIR;
  const uint64_t size =
      iso_node_get_type(node) == LIBISO_FILE ? iso_file_get_size(reinterpret_cast<IsoFile*>(node)) : 0;
  e.SizeLow = static_cast<uint32_t>(size & 0xFFFFFFFFu);
  e.SizeHigh = static_cast<uint32_t>(size >> 32);
  const auto extents = SectionsOf(node);
  if (!extents.empty()) e.Lba = extents.front().first;
  e.Modified = DiscDateOf(iso_node_get_mtime(node));
  e.Created = DiscDateOf(iso_node_get_ctime(node));
  e.Accessed = DiscDateOf(iso_node_get_atime(node));
  e.Attributes = dir ? DB_ATTR_DIRECTORY : DB_ATTR_ARCHIVE;
  if (!dir && !(iso_node_get_permissions(node) & 0222)) e.Attributes |= DB_ATTR_READONLY;
  return e;
}

db_handle TBurnLibrary::OpenDirectory(db_handle session, const std::string& path) {
  TDiscSession* disc = DiscSession(session);
  std::vector<DBFileEntry> entries;
  if (disc) {
    IsoNode* node = IsoNodeAt(disc->Image.get(), path);
    if (iso_node_get_type(node) != LIBISO_DIR)
      throw EDiscBurn(code::NotFoundInProject, "No such folder on the disc: " + path);
    ForEachChild(reinterpret_cast<IsoDir*>(node), [&](IsoNode* child) {
      if (Listed(child)) entries.push_back(EntryOf(child));
    });
  } else {
    const TProjectNode& folder = Project().Folder(path);
    for (const auto& child : folder.Children) entries.push_back(EntryOf(*child));
  }
  const db_handle h = FNextHandle++;
  FDirectories[h] = std::move(entries);
  FSessions[session].push_back(h);
  return h;
}

const std::vector<DBFileEntry>& TBurnLibrary::Directory(db_handle directory) const {
  auto it = FDirectories.find(directory);
  if (it == FDirectories.end()) throw EDiscBurn(code::InvalidHandle);
  return it->second;
}

void TBurnLibrary::CloseDirectory(db_handle directory) {
  if (!FDirectories.erase(directory)) throw EDiscBurn(code::InvalidHandle);
  for (auto& [s, dirs] : FSessions) dirs.erase(std::remove(dirs.begin(), dirs.end(), directory), dirs.end());
}

DBFileEntry TBurnLibrary::FileEntry(db_handle session, const std::string& path) {
  if (TDiscSession* disc = DiscSession(session)) return EntryOf(IsoNodeAt(disc->Image.get(), path));
  const TProjectNode* node = Project().Find(path);
  if (!node || !node->Parent) throw EDiscBurn(code::NotFoundInProject, "No such file or folder in the project: " + path);
  return EntryOf(*node);
}

void TBurnLibrary::ISOVolumeInformation(db_handle session, DBISOBlock& info) {
  TDiscSession* disc = DiscSession(session);
  if (!disc) {
    info = ISO;  // the project's own identifiers
    return;
  }
  std::memset(&info, 0, sizeof info);
  IsoImage* image = disc->Image.get();
  auto put = [](const char* text, db_char* field, int32_t chars) {
    CopyText(text ? text : "", field, chars);
  };
  put(iso_image_get_volume_id(image), info.VolumeIdentifier, 33);
  put(iso_image_get_abstract_file_id(image), info.AbstractFileIdentifier, 36);
  put(iso_image_get_application_id(image), info.ApplicationIdentifier, 128);
  put(iso_image_get_biblio_file_id(image), info.BiblioIdentifier, 36);
  put(iso_image_get_copyright_file_id(image), info.CopyrightFileIdentifier, 36);
  put(iso_image_get_data_preparer_id(image), info.DataPreparerIdentifier, 128);
  put(iso_image_get_publisher_id(image), info.PublisherIdentifier, 128);
  put(iso_image_get_volset_id(image), info.SetIdentifier, 128);
  put(iso_image_get_system_id(image), info.SystemIdentifier, 31);
  // ISO 9660 records no interchange level; Level stays 0.
  char *created = nullptr, *modified = nullptr, *expires = nullptr, *effective = nullptr;
  if (iso_image_get_pvd_times(image, &created, &modified, &expires, &effective) == ISO_SUCCESS) {
    const std::pair<char*, std::pair<uint8_t*, DBDiscDate*>> dates[] = {
        {created, {&info.UseCreationDateTime, &info.CreationDateTime}},
        {modified, {&info.UseModificationDateTime, &info.ModificationDateTime}},
        {expires, {&info.UseExpirationDateTime, &info.ExpirationDateTime}},
        {effective, {&info.UseEffectiveDateTime, &info.EffectiveDateTime}},
    };
    for (const auto& [text, field] : dates)
      if (const time_t t = VolumeDateTime(text); t > 0) {
        *field.first = 1;
        *field.second = DiscDateOf(t);
      }
  }
}

void TBurnLibrary::BootVolumeInformation(db_handle session, DBBootBlock& info) {
  TDiscSession* disc = DiscSession(session);
  if (!disc) {
    info = Boot;
    return;
  }
  std::memset(&info, 0, sizeof info);
  int count = 0;
  ElToritoBootImage** boots = nullptr;
  IsoFile** files = nullptr;
  const int r = iso_image_get_all_boot_imgs(disc->Image.get(), &count, &boots, &files, 0);
  if (r != 1 || count < 1) {
    std::free(boots);
    std::free(files);
    throw EDiscBurn(code::NotBootable);
  }
  ElToritoBootImage* boot = boots[0];
  uint8_t id[28] = {};
  el_torito_get_id_string(boot, id);
  std::string developer(reinterpret_cast<const char*>(id), 24);
  developer.erase(std::find(developer.begin(), developer.end(), '\0'), developer.end());
  while (!developer.empty() && developer.back() == ' ') developer.pop_back();
  CopyText(developer, info.DeveloperID, 24);
  info.BootIndicator = el_torito_get_bootable(boot) ? 1 : 0;
  info.LoadSegment = el_torito_get_load_seg(boot);
  info.PlatformID = el_torito_get_boot_platform_id(boot);
  info.SectorCount = el_torito_get_load_size(boot);
  enum eltorito_boot_media_type type = ELTORITO_NO_EMUL;
  el_torito_get_boot_media_type(boot, &type);
  if (type == ELTORITO_HARD_DISC_EMUL) {
    info.Emulation = 4;
  } else if (type == ELTORITO_FLOPPY_EMUL) {
    // Which floppy is emulated is the media byte of the catalog's default entry (1.2 MB,
    // 1.44 MB or 2.88 MB); libisofs keeps only "floppy".
    IsoBoot* catalog = nullptr;
    uint32_t lba = 0;
    char* content = nullptr;
    off_t size = 0;
    info.Emulation = 2;
    if (iso_image_get_bootcat(disc->Image.get(), &catalog, &lba, &content, &size) == 1 && content &&
        size >= 34 && content[33] >= 1 && content[33] <= 3)
      info.Emulation = content[33];
    std::free(content);
  } else {
    info.Emulation = 0;
  }
  std::free(boots);
  std::free(files);
}

std::vector<std::pair<int32_t, int32_t>> TBurnLibrary::FileAllocationTable(db_handle session,
                                                                           const std::string& path) {
  TDiscSession* disc = DiscSession(session);
  if (!disc) throw EDiscBurn(code::InvalidArgument, "The project's files have no place on a disc yet");
  IsoNode* node = IsoNodeAt(disc->Image.get(), path);
  if (iso_node_get_type(node) != LIBISO_FILE) throw EDiscBurn(code::InvalidArgument, "Not a file: " + path);
  return SectionsOf(node);
}

TToc TBurnLibrary::Toc(int32_t device) {
  CheckIdle();
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  if (FDevices[index].ImageWriter) return EmulatedToc(FileBlockReader(ImagePath()));
  TGrabbedDrive drive(FDevices[index].Address);
  TToc toc = ReadToc(drive.Drive());
  PumpMessages();
  return toc;
}

void TBurnLibrary::ImportIntoProject(IsoImage* image) {
  struct TWalk {
    TProjectTree& Project;
    void Add(IsoDir* dir, TProjectNode& folder, const std::string& path) {
      ForEachChild(dir, [&](IsoNode* node) {
        if (!Listed(node)) return;
        const std::string name = iso_node_get_name(node);
        const bool isDir = iso_node_get_type(node) == LIBISO_DIR;
        const int64_t size =
            iso_node_get_type(node) == LIBISO_FILE ? iso_file_get_size(reinterpret_cast<IsoFile*>(node)) : 0;
        TProjectNode& added =
            Project.AddImported(folder, name, isDir, size, iso_node_get_mtime(node), path + "/" + name);
        if (isDir) Add(reinterpret_cast<IsoDir*>(node), added, path + "/" + name);
      });
    }
  } walk{FProject};
  walk.Add(iso_image_get_root(image), const_cast<TProjectNode&>(FProject.Root()), "");
}

void TBurnLibrary::ImportFile(const std::string& imagePath) {
  CheckIdle();
  CheckDataProject();
  if (FBase && FBase->Continue)
    throw EDiscBurn(code::InvalidArgument, "The project continues a disc; no image can be imported into it");
  if (FBase && FBase->File != imagePath)
    throw EDiscBurn(code::InvalidArgument,
                    "The project holds the files of another image already: " + FBase->File);
  const TToc toc = EmulatedToc(FileBlockReader(imagePath));
  if (toc.SessionCount == 0) throw EDiscBurn(code::ImageFailed, "Not an ISO 9660 image: " + imagePath);
  const int start = toc.Session(toc.SessionCount).first;
  TIsoImagePtr image = ImportSession(NewFileDataSource(imagePath), start);
  // Every name is checked before anything is added, so a refusal leaves the project as it was.
  ForEachChild(iso_image_get_root(image.get()), [&](IsoNode* node) {
    if (Listed(node) && FProject.Root().Child(iso_node_get_name(node)))
      throw EDiscBurn(code::NameExists,
                      std::string("A file or folder of that name already exists in the project: ") +
                          iso_node_get_name(node));
  });
  ImportIntoProject(image.get());
  FBase = TImportBase{"", imagePath, start, false};
  PumpMessages();
}

std::vector<TVerifyItem> TBurnLibrary::VerifyItems(const std::string& path) const {
  const TProjectNode* start = FProject.Find(path);
  if (!start) throw EDiscBurn(code::NotFoundInProject, "No such file or folder in the project: " + path);
  std::vector<TVerifyItem> items;
  // Imported entries have no source of their own: they were copied from a disc or image.
  // Hidden entries are in no directory of the disc, so a reader cannot find them by name.
  std::function<void(const TProjectNode&)> walk = [&](const TProjectNode& node) {
    if (node.Imported || node.AudioTrack || (node.Attributes & DB_ATTR_HIDDEN)) return;
    if (!node.IsDir) items.push_back({TProjectTree::PathOf(node), node.SourcePath});
    for (const auto& child : node.Children) walk(*child);
  };
  walk(*start);
  return items;
}

void TBurnLibrary::VerifyFiles(const std::string& path) {
  CheckIdle();
  CheckDataProject();
  std::vector<TVerifyItem> items = VerifyItems(path);
  if (items.empty()) throw EDiscBurn(code::InvalidArgument, "No file of the project to verify in: " + path);
  const int index = DeviceIndex(-1);
  SetErrorDevice(index);
  const std::string address = FDevices[index].Address;
  int start = 0;
  {
    TGrabbedDrive drive(address);
    const TToc toc = ReadToc(drive.Drive());
    start = toc.Session(toc.SessionNumber(0)).first;
  }
  TCallbackHub& callbacks = FCallbacks;
  StartJob(TBurnJob::Task(
      [address, start, items, &callbacks](uint64_t generation,
                                          const std::atomic<bool>& abort) -> std::function<void()> {
        int errors = 0;
        try {
          TGrabbedDrive drive(address);
          errors = VerifySession(drive.Drive(), address, start, items, callbacks, generation, abort);
        } catch (const EDiscBurn& e) {
          callbacks.StartVerify(generation);
          for (const auto& item : items) callbacks.VerifyError(item.DiscPath, e.what(), generation);
          errors = static_cast<int>(items.size());
        }
        return [errors, &callbacks, generation] { callbacks.VerifyDone(errors, generation); };
      },
      FCallbacks));
}

std::vector<char> TBurnLibrary::ReadSectors(int32_t device, int32_t lba, int32_t count) {
  CheckIdle();
  if (count <= 0 || count > 1024) throw EDiscBurn(code::InvalidArgument, "Sector counts are 1 to 1024");
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  TGrabbedDrive drive(FDevices[index].Address);
  const TToc toc = ReadToc(drive.Drive());
  bool audio = false;
  for (const auto& t : toc.Tracks)
    if (lba >= t.StartLba && lba < t.StartLba + t.Sectors) audio = t.Audio;
  std::vector<char> data(static_cast<size_t>(count) * (audio ? AudioSectorBytes : 2048));
  off_t read = 0;
  const int r =
      audio ? burn_read_audio(drive.Drive(), lba, data.data(), static_cast<off_t>(data.size()), &read, 0)
            : burn_read_data(drive.Drive(), static_cast<off_t>(lba) * 2048, data.data(),
                             static_cast<off_t>(data.size()), &read, 0);
  if (r <= 0 || read != static_cast<off_t>(data.size())) {
    const std::string why = WorstText(PumpMessages(), severity::Sorry);
    throw EDiscBurn(code::Failed, "The sectors cannot be read" + (why.empty() ? "" : ": " + why));
  }
  PumpMessages();
  return data;
}

db_handle TBurnLibrary::ReadCDText(int32_t device) {
  CheckIdle();
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  TGrabbedDrive drive(FDevices[index].Address);
  int profile = 0;
  char name[80] = {};
  burn_disc_get_profile(drive.Drive(), &profile, name);
  if (profile != 0x08 && profile != 0x09 && profile != 0x0a)
    throw EDiscBurn(code::MediumNotWritable, std::string("CD-Text is read from CDs only; the drive holds: ") +
                                                 (name[0] ? name : "no medium"));
  unsigned char* packs = nullptr;
  int count = 0;
  if (burn_disc_get_leadin_text(drive.Drive(), &packs, &count, 0) <= 0 || !packs || count <= 0) {
    std::free(packs);
    throw EDiscBurn(code::Failed, "The CD holds no CD-Text");
  }
  const std::vector<unsigned char> leadin(packs, packs + static_cast<size_t>(count) * 18);
  std::free(packs);
  const std::string text = CdTextSheet(leadin, static_cast<int>(ReadToc(drive.Drive()).Tracks.size()));
  PumpMessages();
  const db_handle h = FNextHandle++;
  FCdTexts[h] = text;
  return h;
}

const std::string& TBurnLibrary::CdText(db_handle handle) const {
  auto it = FCdTexts.find(handle);
  if (it == FCdTexts.end()) throw EDiscBurn(code::InvalidHandle);
  return it->second;
}

void TBurnLibrary::CloseCdText(db_handle handle) {
  if (!FCdTexts.erase(handle)) throw EDiscBurn(code::InvalidHandle);
}

void TBurnLibrary::SaveTrack(int32_t device, int32_t trackNumber, const std::string& path, bool wave) {
  CheckIdle();
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  TGrabbedDrive drive(FDevices[index].Address);
  const TToc toc = ReadToc(drive.Drive());
  if (trackNumber < 1 || trackNumber > static_cast<int>(toc.Tracks.size()))
    throw EDiscBurn(code::InvalidArgument, "No track " + std::to_string(trackNumber) +
                                               " on the medium (it holds " +
                                               std::to_string(toc.Tracks.size()) + ")");
  const TTocTrack& t = toc.Tracks[trackNumber - 1];
  if (wave && !t.Audio)
    throw EDiscBurn(code::InvalidArgument, "Track " + std::to_string(trackNumber) + " is no audio track");
  if (t.Audio) {
    // Audio tracks exist on CDs only, read by libburn into a WAV file.
    burn_disc* disc = burn_drive_get_disc(drive.Drive());
    burn_track* found = nullptr;
    int sessions = 0, seen = 0;
    burn_session** list = disc ? burn_disc_get_sessions(disc, &sessions) : nullptr;
    for (int s = 0; s < sessions && !found; ++s) {
      int n = 0;
      burn_track** tracks = burn_session_get_tracks(list[s], &n);
      if (trackNumber - seen <= n) found = tracks[trackNumber - seen - 1];
      seen += n;
    }
    std::string target = path;
    const int r = found ? burn_drive_extract_audio_track(drive.Drive(), found, target.data(), 0) : 0;
    if (disc) burn_disc_free(disc);
    if (r <= 0) {
      const std::string why = WorstText(PumpMessages(), severity::Sorry);
      throw EDiscBurn(code::Failed, "The audio track cannot be read" + (why.empty() ? "" : ": " + why));
    }
    PumpMessages();
    return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw EDiscBurn(code::SourceUnreadable, "The file cannot be written: " + path);
  std::vector<char> block(64 * 2048);
  for (int lba = t.StartLba; lba < t.StartLba + t.Sectors;) {
    const int n = std::min(64, t.StartLba + t.Sectors - lba);
    off_t read = 0;
    if (burn_read_data(drive.Drive(), static_cast<off_t>(lba) * 2048, block.data(), n * 2048, &read, 0) <=
            0 ||
        read != n * 2048) {
      out.close();
      std::remove(path.c_str());
      throw EDiscBurn(code::Failed, "Track " + std::to_string(trackNumber) + " cannot be read at block " +
                                        std::to_string(lba));
    }
    out.write(block.data(), n * 2048);
    lba += n;
  }
  out.close();
  if (!out) throw EDiscBurn(code::SourceUnreadable, "The file cannot be written: " + path);
  PumpMessages();
}

void TBurnLibrary::CopyDisk(int32_t sourceDevice, int32_t targetDevice) {
  CheckIdle();
  const int from = DeviceIndex(sourceDevice), to = DeviceIndex(targetDevice);
  if (from == to) throw EDiscBurn(code::InvalidArgument, "A disc is copied from one drive to another");
  SetErrorDevice(from);
  auto source = std::make_shared<TGrabbedDrive>(FDevices[from].Address);
  const TToc toc = ReadToc(source->Drive());
  if (toc.SessionCount == 0) throw EDiscBurn(code::NoMedium, "The source drive holds no disc to copy");
  if (toc.SessionCount > 1)
    throw EDiscBurn(code::InvalidArgument, "Only single-session discs are copied; this one holds " +
                                               std::to_string(toc.SessionCount));
  if (toc.Tracks.front().StartLba != 0)
    throw EDiscBurn(code::InvalidArgument, "The disc's session does not start at its beginning");
  SetErrorDevice(to);
  std::vector<TWriteSetup> setups;
  setups.push_back(SetupWrite(FDevices[to].Address, FDevices[to].Capacity, "", WriteSettings(), source));
  setups.back().DriveName = DeviceName(to);
  StartJob(TBurnJob::Write(std::move(setups), FCallbacks));
}

void TBurnLibrary::CloseDisc(int32_t device) {
  CheckIdle();
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  TGrabbedDrive drive(FDevices[index].Address);
  burn_drive* d = drive.Drive();
  // Overwritable media and files are never closed: any session can follow.
  if (IsOverwritable(d)) return;
  const burn_disc_status status = burn_disc_get_status(d);
  if (status != BURN_DISC_APPENDABLE && burn_disc_next_track_is_damaged(d, 0) == 0)
    throw EDiscBurn(code::MediumNotWritable, "The medium has no open session to close");
  TBurnWriteOptsPtr opts(burn_write_opts_new(d));
  if (burn_disc_close_damaged(opts.get(), 1) <= 0) {
    const std::string why = WorstText(PumpMessages(), severity::Sorry);
    throw EDiscBurn(code::Failed, "The session cannot be closed" + (why.empty() ? "" : ": " + why));
  }
  PumpMessages();
}

// ---- option blocks ----

// A block is checked whole before any of its values is taken: a refused one changes nothing.
void TBurnLibrary::SetOptions(const DBOptionsBlock& block) {
  // DAO96 would be libburn's raw CD writing (BURN_WRITE_RAW, BURN_BLOCK_RAW96R), which it
  // does not offer as it offers session at once: the drive's raw block types are known only
  // after burn_drive_probe_cd_write_modes, which libburn's header warns may spoil burn runs;
  // burn_precheck_write passes a raw job only with burn_write_opts_set_force, which turns
  // off its checks of the write job (libburn's options.c); and CD-Text and pre-gaps are
  // written in session-at-once runs only. Raw-disc projects and SetRAWStructure are
  // refused for the same reason.
  if (block.WriteMethod == DB_WM_DAO96)
    throw EDiscBurn(code::NotSupported, std::string(NotSupportedPrefix) + "DAO96 write method");
  Options = block;
}

void TBurnLibrary::SetISO(const DBISOBlock& block) {
  if (block.Level < 1 || block.Level > 3)
    throw EDiscBurn(code::NotSupported, std::string(NotSupportedPrefix) + "ISO 9660 level " +
                                            (block.Level == 4 ? std::string("Romeo") : std::to_string(block.Level)));
  ISO = block;
}

void TBurnLibrary::SetCompress(const DBCompressEncryptBlock& block) {
  if (block.Encryption) throw EDiscBurn(code::NotSupported, std::string(NotSupportedPrefix) + "encryption");
  if (block.Compression && (block.CompressionLevel < 0 || block.CompressionLevel > 9))
    throw EDiscBurn(code::InvalidArgument, "Compression levels are 0 to 9");
  Compress = block;
  Compress.Password = nullptr;  // the caller's text is valid only during the call; never kept
}

// ---- images and jobs ----

namespace {

/// Removes from an imported tree what the project no longer holds (by imported path).
void DropRemoved(IsoDir* dir, const std::string& path, const std::set<std::string>& kept) {
  std::vector<IsoNode*> dropped;
  ForEachChild(dir, [&](IsoNode* node) {
    if (!Listed(node)) return;
    const std::string nodePath = path + "/" + iso_node_get_name(node);
    if (!kept.count(nodePath))
      dropped.push_back(node);
    else if (iso_node_get_type(node) == LIBISO_DIR)
      DropRemoved(reinterpret_cast<IsoDir*>(node), nodePath, kept);
  });
  for (IsoNode* node : dropped) iso_node_remove(node);
}

void CollectImported(const TProjectNode& folder, std::set<std::string>& paths) {
  for (const auto& child : folder.Children)
    if (child->Imported) {
      paths.insert(child->ImportedPath);
      if (child->IsDir) CollectImported(*child, paths);
    }
}

}  // namespace

TIsoImagePtr TBurnLibrary::BuildImage(std::vector<TSourceFile>* sources, burn_drive* drive) {
  IsoImage* raw = nullptr;
  const std::string label = ToUtf8(std::u16string(Options.VolumeLabel, std::find(Options.VolumeLabel, Options.VolumeLabel + 128, u'\0')));
  TIsoImagePtr image;
  if (FBase) {
    // The imported tree, less what the project dropped; its files' data stay where they are.
    image = ImportSession(
        FBase->File.empty() ? NewDriveDataSource(FBase->Address, drive) : NewFileDataSource(FBase->File),
        FBase->StartLba);
    raw = image.get();
    std::set<std::string> kept;
    CollectImported(FProject.Root(), kept);
    DropRemoved(iso_image_get_root(raw), "", kept);
    if (!label.empty()) iso_image_set_volume_id(raw, label.c_str());
    // An old boot record is replaced by the project's own, or dropped.
    iso_image_remove_boot_image(raw);
  } else {
    if (iso_image_new(label.empty() ? nullptr : label.c_str(), &raw) < 0 || !raw)
      throw EDiscBurn(code::ImageFailed, "The disc image cannot be created");
    image.reset(raw);
  }
  iso_tree_set_follow_symlinks(raw, 1);
  auto text = [](const db_char* field, size_t n) {
    return ToUtf8(std::u16string(field, std::find(field, field + n, u'\0')));
  };
  if (auto s = text(ISO.ApplicationIdentifier, 128); !s.empty()) iso_image_set_application_id(raw, s.c_str());
  if (auto s = text(ISO.PublisherIdentifier, 128); !s.empty()) iso_image_set_publisher_id(raw, s.c_str());
  if (auto s = text(ISO.DataPreparerIdentifier, 128); !s.empty()) iso_image_set_data_preparer_id(raw, s.c_str());
  if (auto s = text(ISO.SystemIdentifier, 31); !s.empty()) iso_image_set_system_id(raw, s.c_str());
  if (auto s = text(ISO.SetIdentifier, 128); !s.empty()) iso_image_set_volset_id(raw, s.c_str());
  if (auto s = text(ISO.CopyrightFileIdentifier, 36); !s.empty()) iso_image_set_copyright_file_id(raw, s.c_str());
  if (auto s = text(ISO.AbstractFileIdentifier, 36); !s.empty()) iso_image_set_abstract_file_id(raw, s.c_str());
  if (auto s = text(ISO.BiblioIdentifier, 36); !s.empty()) iso_image_set_biblio_file_id(raw, s.c_str());

  struct TWalk {
    IsoImage* Image;
    std::vector<TSourceFile>* Sources;
    bool Compress;
    // Read-only: no write permission for anyone. Hidden: left out of every directory tree,
    // its data (a folder's: its files' data) written all the same.
    static void Apply(const TProjectNode& entry, IsoNode* node) {
      if (entry.Attributes & DB_ATTR_READONLY)
        iso_node_set_permissions(node, iso_node_get_permissions(node) & ~0222);
      if (entry.Attributes & DB_ATTR_HIDDEN)
        iso_node_set_hidden(
            node, LIBISO_HIDE_ON_RR | LIBISO_HIDE_ON_JOLIET | LIBISO_HIDE_ON_1999 | LIBISO_HIDE_BUT_WRITE);
    }
    void Add(const TProjectNode& folder, IsoDir* dir) {
      for (const auto& child : folder.Children) {
        if (child->AudioTrack) continue;  // written as a track of its own
        if (child->Imported) {
          IsoNode* node = nullptr;
          if (iso_tree_path_to_node(Image, child->ImportedPath.c_str(), &node) != 1 || !node)
            throw EDiscBurn(code::SourceUnreadable, "No longer on the disc: " + child->ImportedPath);
          if (child->Name != iso_node_get_name(node)) {
            const int r = iso_image_set_node_name(Image, node, child->Name.c_str(), 0);
            if (r < 0)
              throw EDiscBurn(code::ImageFailed, std::string(iso_error_to_msg(r)) + ": " + child->Name);
          }
          if (child->IsDir) Add(*child, reinterpret_cast<IsoDir*>(node));
        } else if (child->IsDir) {
          IsoDir* sub = nullptr;
          int r = iso_tree_add_new_dir(dir, child->Name.c_str(), &sub);
          if (r < 0) throw EDiscBurn(code::ImageFailed, std::string(iso_error_to_msg(r)) + ": " + child->Name);
          if (child->MTime > 0) iso_node_set_mtime(reinterpret_cast<IsoNode*>(sub), child->MTime);
          Apply(*child, reinterpret_cast<IsoNode*>(sub));
          Add(*child, sub);
        } else {
          // A source replaced by a folder, a pipe or a device would silently become
          // something other than the file's data on the disc.
          struct stat st {};
          if (stat(child->SourcePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            throw EDiscBurn(code::SourceUnreadable, "Source file cannot be read: " + child->SourcePath);
          IsoNode* node = nullptr;
          int r = iso_tree_add_new_node(Image, dir, child->Name.c_str(), child->SourcePath.c_str(), &node);
          if (r < 0) throw EDiscBurn(code::SourceUnreadable, "Source file cannot be read: " + child->SourcePath);
          if (child->MTime > 0) iso_node_set_mtime(node, child->MTime);
          if (Compress && iso_file_add_zisofs_filter(reinterpret_cast<IsoFile*>(node), 0) < 0)
            throw EDiscBurn(code::ImageFailed, "The file cannot be compressed: " + child->SourcePath);
          Apply(*child, node);
          if (Sources) Sources->push_back({child->SourcePath, static_cast<int64_t>(st.st_size), st.st_mtim});
        }
      }
    }
  } walk{raw, sources, Compress.Compression != 0};
  if (Compress.Compression) {
    // zisofs, the compression Linux reads from ISO 9660; level 0 takes zlib's default (6).
    iso_zisofs_ctrl ctrl{};
    iso_zisofs_get_params(&ctrl, 0);
    ctrl.compression_level =
        Compress.CompressionLevel > 0 && Compress.CompressionLevel <= 9 ? Compress.CompressionLevel : 6;
    iso_zisofs_set_params(&ctrl, 0);
  }
  walk.Add(FProject.Root(), iso_image_get_root(raw));
  if (Options.Bootable) AddBootRecord(raw, sources);
  return image;
}

void TBurnLibrary::AddBootRecord(IsoImage* image, std::vector<TSourceFile>* sources) {
  const std::string path =
      ToUtf8(std::u16string(Options.BootImage, std::find(Options.BootImage, Options.BootImage + 260, u'\0')));
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw EDiscBurn(code::SourceUnreadable, "Boot image cannot be read: " + path);
  // The boot image and the catalog are written but listed in no directory of the disc.
  IsoDir* root = iso_image_get_root(image);
  IsoNode* node = nullptr;
  int r = iso_tree_add_new_node(image, root, BootImageName, path.c_str(), &node);
  if (r < 0) throw EDiscBurn(code::ImageFailed, std::string(iso_error_to_msg(r)) + ": " + BootImageName);
  iso_node_set_hidden(
      node, LIBISO_HIDE_ON_RR | LIBISO_HIDE_ON_JOLIET | LIBISO_HIDE_ON_1999 | LIBISO_HIDE_BUT_WRITE);
  if (sources) sources->push_back({path, static_cast<int64_t>(st.st_size), st.st_mtim});
  static const eltorito_boot_media_type Types[] = {ELTORITO_NO_EMUL, ELTORITO_FLOPPY_EMUL,
                                                   ELTORITO_FLOPPY_EMUL, ELTORITO_FLOPPY_EMUL,
                                                   ELTORITO_HARD_DISC_EMUL};
  if (Boot.Emulation < 0 || Boot.Emulation > 4)
    throw EDiscBurn(code::InvalidArgument, "Unknown boot emulation " + std::to_string(Boot.Emulation));
  ElToritoBootImage* boot = nullptr;
  r = iso_image_set_boot_image(image, (std::string("/") + BootImageName).c_str(), Types[Boot.Emulation],
                               (std::string("/") + BootCatalogName).c_str(), &boot);
  if (r < 0) {
    // Floppy emulation takes images of exactly 1200, 1440 or 2880 KiB; hard disc emulation
    // one that starts with a master boot record.
    throw EDiscBurn(code::ImageFailed, "The boot image cannot be used: " + std::string(iso_error_to_msg(r)));
  }
  iso_image_set_boot_catalog_hidden(image, LIBISO_HIDE_ON_RR | LIBISO_HIDE_ON_JOLIET | LIBISO_HIDE_ON_1999);
  if (Boot.Emulation == 0) {
    el_torito_set_load_seg(boot, static_cast<short>(Boot.LoadSegment));
    el_torito_set_load_size(boot, static_cast<short>(Boot.SectorCount));
  }
  el_torito_set_boot_platform_id(boot, static_cast<uint8_t>(Boot.PlatformID));
  uint8_t id[28] = {};
  const std::string developer = PackedText(Boot.DeveloperID, 24);
  std::memcpy(id, developer.data(), std::min<size_t>(developer.size(), 24));
  el_torito_set_id_string(boot, id);
  if (!Boot.BootIndicator) el_torito_set_no_bootable(boot);
}

TIsoWriteOptsPtr TBurnLibrary::BuildWriteOptions(bool sizeOnly) {
  IsoWriteOpts* raw = nullptr;
  if (iso_write_opts_new(&raw, 0) < 0 || !raw) throw EDiscBurn(code::ImageFailed);
  TIsoWriteOptsPtr opts(raw);
  iso_write_opts_set_iso_level(raw, ISO.Level);
  // Rock Ridge is always written: it carries the full UTF-8 names and the file modes that
  // Linux readers use.
  iso_write_opts_set_rockridge(raw, 1);
  iso_write_opts_set_joliet(raw, Options.JolietFileSystem ? 1 : 0);
  iso_write_opts_set_joliet_long_names(raw, ISO.AllowLongJolietNames ? 1 : 0);
  iso_write_opts_set_joliet_longer_paths(raw, ISO.AllowLongJolietNames ? 1 : 0);
  iso_write_opts_set_allow_lowercase(raw, ISO.AllowLowercaseNames ? 1 : 0);
  iso_write_opts_set_max_37_char_filenames(raw, ISO.AllowLongISO9660Names ? 1 : 0);
  iso_write_opts_set_allow_deep_paths(raw, ISO.AllowManyDirectories ? 1 : 0);
  iso_write_opts_set_omit_version_numbers(raw, ISO.AddSuffix ? 0 : 1);
  if (ISO.UseCreationDateTime || ISO.UseModificationDateTime || ISO.UseExpirationDateTime ||
      ISO.UseEffectiveDateTime) {
    const time_t now = time(nullptr);
    char noUuid[1] = {0};
    iso_write_opts_set_pvd_times(raw, ISO.UseCreationDateTime ? TimeOf(ISO.CreationDateTime) : now,
                                 ISO.UseModificationDateTime ? TimeOf(ISO.ModificationDateTime) : now,
                                 ISO.UseExpirationDateTime ? TimeOf(ISO.ExpirationDateTime) : 0,
                                 ISO.UseEffectiveDateTime ? TimeOf(ISO.EffectiveDateTime) : 0, noUuid);
  }
  if (Options.CacheSize > 0) iso_write_opts_set_fifo_size(raw, std::max<size_t>(32, Options.CacheSize / 2048));
  iso_write_opts_set_will_cancel(raw, sizeOnly ? 1 : 0);
  return opts;
}

namespace {

EDiscBurn ImageError(int result, const std::vector<TLibraryMessage>& messages) {
  std::string text = iso_error_to_msg(result);
  const std::string detail = WorstText(messages, severity::Sorry);
  if (!detail.empty() && detail != text) text += ": " + detail;
  return EDiscBurn(code::ImageFailed, text);
}

}  // namespace

int64_t TBurnLibrary::ImageSize() {
  // Not while a job runs: the job reads the libraries' messages, and a failure of this
  // layout would be taken for the job's.
  CheckIdle();
  CheckDataProject();
  // The audio tracks, then a mixed-mode CD's data track.
  int64_t size = 0;
  for (const auto& track : AudioDisc().Tracks) size += AudioSectors(track.Data.Bytes) * AudioSectorBytes;
  if (FProjectType == DB_PT_AUDIO || FProjectType == DB_PT_CUE) return size;
  TIsoImagePtr image = BuildImage(nullptr);
  TIsoWriteOptsPtr opts = BuildWriteOptions(true);
  // A continued medium's next session holds only what is new.
  if (FBase && FBase->Continue) iso_write_opts_set_appendable(opts.get(), 1);
  burn_source* raw = nullptr;
  const int r = iso_image_create_burn_source(image.get(), opts.get(), &raw);
  if (r < 0) throw ImageError(r, PumpMessages());
  TBurnSourcePtr source(raw);
  size += source->get_size(source.get());
  PumpMessages();
  return size;
}

TWriteSetup TBurnLibrary::SetupWrite(const std::string& address, int64_t capacity, const std::string& isoFile,
                                     const TWriteSettings& settings,
                                     const std::shared_ptr<TGrabbedDrive>& copyFrom) {
  const DBOptionsBlock& options = settings.Options;
  TWriteSetup setup;
  setup.Drive = std::make_unique<TGrabbedDrive>(address);
  burn_drive* d = setup.Drive->Drive();
  const int role = setup.Drive->Role();
  switch (burn_disc_get_status(d)) {
    case BURN_DISC_BLANK:
    case BURN_DISC_APPENDABLE:
      break;
    case BURN_DISC_EMPTY:
      throw EDiscBurn(code::NoMedium);
    case BURN_DISC_FULL:
      throw EDiscBurn(code::MediumNotWritable, "The medium in the drive is full");
    default:
      throw EDiscBurn(code::MediumNotWritable);
  }
  // Where the session goes. A continued medium takes it after its last session: on a CD or
  // DVD-R at libburn's next writable address, on overwritable media and files at the next
  // multiple of 32 blocks, with the new volume descriptors copied to the start. A first
  // session left open on overwritable media starts at block 32 for the same reason.
  const bool randomAccess = role == 2 || (role == 1 && IsOverwritable(d));
  const bool continuing = isoFile.empty() && FBase && FBase->Continue;
  int msBlock = 0;
  if (continuing) {
    if (FBase->Address != address)
      throw EDiscBurn(code::InvalidArgument, "The project continues the medium in another drive");
    if (randomAccess) {
      const TToc toc = ReadToc(d);
      CheckTakesSession(d, toc);
      msBlock = toc.NextSessionLba();
      setup.Head.assign(SessionAlignment * 2048, 0);
      off_t read = 0;
      burn_read_data(d, 0, setup.Head.data(), static_cast<off_t>(setup.Head.size()), &read, 2);
    } else {
      TBurnWriteOptsPtr probe(burn_write_opts_new(d));
      int lba = 0, nwa = 0;
      if (burn_disc_get_status(d) != BURN_DISC_APPENDABLE ||
          burn_disc_track_lba_nwa(d, probe.get(), 0, &lba, &nwa) <= 0)
        throw EDiscBurn(code::MediumNotWritable, "The medium takes no further session");
      msBlock = nwa;
    }
  } else if (isoFile.empty() && randomAccess && !options.Finalize) {
    msBlock = SessionAlignment;
    setup.Head.assign(SessionAlignment * 2048, 0);
  }
  if (randomAccess) setup.StartByte = static_cast<int64_t>(msBlock) * 2048;

  TBurnSourcePtr source;
  const bool project = isoFile.empty() && !copyFrom;
  const TAudioDisc audio = project && IsAudioProject() ? AudioDisc() : TAudioDisc{};
  const TToc copied = copyFrom ? ReadToc(copyFrom->Drive()) : TToc{};
  const bool copiedAudio =
      std::any_of(copied.Tracks.begin(), copied.Tracks.end(), [](const TTocTrack& t) { return t.Audio; });
  if (!audio.Tracks.empty() || (project && FProjectType == DB_PT_CUE) || copiedAudio) CheckCdMedium(d);
  const bool dataTrack = project ? FProjectType != DB_PT_AUDIO && FProjectType != DB_PT_CUE : !copyFrom;
  if (copyFrom) {
    for (const auto& t : copied.Tracks) {
      setup.TrackSectors.push_back(t.Sectors);
      setup.ImageSize += static_cast<int64_t>(t.Sectors) * (t.Audio ? AudioSectorBytes : 2048);
    }
  } else if (project && !dataTrack) {
    CheckProjectReady();
  } else if (project) {
    CheckProjectReady();
    TIsoImagePtr image = BuildImage(&setup.SourceFiles, d);
    TIsoWriteOptsPtr opts = BuildWriteOptions(false);
    iso_write_opts_set_appendable(opts.get(), continuing ? 1 : 0);
    iso_write_opts_set_ms_block(opts.get(), static_cast<uint32_t>(msBlock));
    if (!setup.Head.empty())
      iso_write_opts_set_overwrite_buf(opts.get(), reinterpret_cast<uint8_t*>(setup.Head.data()));
    burn_source* raw = nullptr;
    const int r = iso_image_create_burn_source(image.get(), opts.get(), &raw);
    if (r < 0) throw ImageError(r, PumpMessages());
    source.reset(raw);
    setup.IsoSource = raw;
    setup.ImageSize = source->get_size(raw);
  } else {
    struct stat st {};
    if (stat(isoFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      throw EDiscBurn(code::SourceUnreadable, "Image file not found: " + isoFile);
    std::string path = isoFile;
    burn_source* raw = burn_file_source_new(path.c_str(), nullptr);
    if (!raw) throw EDiscBurn(code::SourceUnreadable, "Image file cannot be read: " + isoFile);
    source.reset(raw);
    setup.ImageSize = static_cast<int64_t>(st.st_size);
    setup.SourceFiles.push_back({isoFile, static_cast<int64_t>(st.st_size), st.st_mtim});
  }
  // The data track comes first, then the audio tracks.
  if (dataTrack) setup.TrackSectors.push_back((setup.ImageSize + 2047) / 2048);
  for (const auto& t : audio.Tracks) {
    setup.TrackSectors.push_back(AudioSectors(t.Data.Bytes));
    setup.ImageSize += setup.TrackSectors.back() * AudioSectorBytes;
  }

  setup.Options.reset(burn_write_opts_new(d));
  burn_write_opts* wo = setup.Options.get();
  burn_write_opts_set_perform_opc(wo, options.PerformOPC ? 1 : 0);
  burn_write_opts_set_underrun_proof(wo, options.UnderrunProtection ? 1 : 0);
  burn_write_opts_set_simulate(wo, options.TestBurn ? 1 : 0);
  // An unfinalised disc stays appendable; image files have no sessions to leave open.
  burn_write_opts_set_multi(wo, role == 1 && !options.Finalize ? 1 : 0);
  if (setup.StartByte > 0) burn_write_opts_set_start_byte(wo, static_cast<off_t>(setup.StartByte));

  setup.Disc.reset(burn_disc_create());
  TBurnSessionPtr session(burn_session_create());  // our reference; the disc takes its own
  burn_disc_add_session(setup.Disc.get(), session.get(), BURN_POS_END);
  if (dataTrack) {
    burn_track* track = burn_track_create();
    burn_track_define_data(track, 0, options.PadDataTracks ? 300 * 1024 : 0, 1, BURN_MODE1);
    if (burn_track_set_source(track, source.get()) != BURN_SOURCE_OK) {
      burn_track_free(track);
      throw EDiscBurn(code::Failed, "The image cannot be handed to the drive");
    }
    burn_session_add_track(session.get(), track, BURN_POS_END);
    setup.Track = track;
    burn_track_free(track);
  }
  if (copyFrom) {
    // The copy's tracks read the source drive while the target drive writes them.
    for (const auto& t : copied.Tracks) {
      burn_track* track = burn_track_create();
      burn_track_define_data(track, 0, 0, 1, t.Audio ? BURN_AUDIO : BURN_MODE1);
      burn_source* read = NewTrackReadSource(copyFrom, t);
      const bool ok = burn_track_set_source(track, read) == BURN_SOURCE_OK;
      burn_source_free(read);
      if (ok) burn_session_add_track(session.get(), track, BURN_POS_END);
      if (!setup.Track) setup.Track = track;
      burn_track_free(track);
      if (!ok) throw EDiscBurn(code::Failed, "The copy cannot be handed to the drive");
    }
  } else if (project && FProjectType == DB_PT_CUE) {
    // The CD-Text of a CDTEXTFILE line goes to the lead-in in place of the session's.
    SetLeadinText(wo, SessionFromCue(session.get(), FCueFile).TextPacks);
  } else if (!audio.Tracks.empty() && project) {
    TCallbackHub& callbacks = FCallbacks;
    const uint64_t generation = callbacks.Generation();  // the one the write job keeps
    AddAudioTracks(session.get(), audio,
                   [&callbacks, generation](const std::string& file, const std::string& error) {
                     callbacks.AudioDecodeDone(file, error, error.empty() ? code::Ok : code::SourceUnreadable,
                                               generation);
                   });
    // Japanese CD-Text goes to the lead-in as packs of double-byte characters (CdTextPacks).
    if (CdTextCode(CdTexts(audio)) == CdTextMsJisCode) SetLeadinText(wo, CdTextPacks(session.get()));
  }
  // The disc now holds the session, the tracks and the sources.
  session.reset();
  source.reset();

  if (role == 1) burn_drive_set_speed(d, 0, settings.WriteSpeed);
  char reasons[BURN_REASONS_LEN] = {};
  if (!dataTrack || !audio.Tracks.empty() || copiedAudio) {
    // Audio tracks, their gaps and CD-Text are written in one pass.
    burn_write_opts_set_write_type(wo, BURN_WRITE_SAO, BURN_BLOCK_SAO);
  } else if (options.WriteMethod == DB_WM_TAO) {
    burn_write_opts_set_write_type(wo, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
  } else if (options.WriteMethod == DB_WM_DAO) {
    burn_write_opts_set_write_type(wo, BURN_WRITE_SAO, BURN_BLOCK_SAO);
  } else if (burn_write_opts_auto_write_type(wo, setup.Disc.get(), reasons, 0) == BURN_WRITE_NONE) {
    throw EDiscBurn(code::PrecheckFailed, std::string("The drive refuses the write job: ") + reasons);
  }

  int64_t avail = burn_disc_available_space(d, wo);
  if (capacity > 0) avail = std::min<int64_t>(avail, capacity - setup.StartByte);
  CheckFreeSpace(std::accumulate(setup.TrackSectors.begin(), setup.TrackSectors.end(), int64_t{0}), avail);

  reasons[0] = 0;
  if (burn_precheck_write(wo, setup.Disc.get(), reasons, 0) <= 0)
    throw EDiscBurn(code::PrecheckFailed, std::string("The drive refuses the write job: ") + reasons);

  // A regular file written through a read-write pseudo-drive: cut to size afterwards,
  // removed when the write fails.
  const std::string path = PathWithoutStdio(address);
  struct stat st {};
  if (role == 2 && !path.empty() && path.rfind("/dev/", 0) != 0 && path.rfind("/proc/", 0) != 0 &&
      (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)))
    setup.ImageFile = path;
  setup.KeepOnFailure = continuing;
  const bool eject = role == 1 && options.EjectAfterBurn;
  if ((options.VerifyAfterBurn || settings.Verify) && !copyFrom) {
    // Read back once the drive has been released by the write (and only then ejected).
    std::vector<TVerifyItem> items = isoFile.empty() ? VerifyItems("") : std::vector<TVerifyItem>{};
    TCallbackHub& callbacks = FCallbacks;
    setup.Verify = [address, msBlock, items, eject, isoFile, &callbacks](uint64_t generation,
                                                                         const std::atomic<bool>& abort) {
      try {
        TGrabbedDrive drive(address);
        drive.SetEjectOnRelease(eject);
        const int errors =
            isoFile.empty()
                ? VerifySession(drive.Drive(), address, msBlock, items, callbacks, generation, abort)
                : VerifyImage(drive.Drive(), msBlock, isoFile, callbacks, generation, abort);
        callbacks.VerifyDone(errors, generation);  // BurnDone follows: the job is not over
        return VerifyFailureText(errors);
      } catch (const EDiscBurn& e) {
        return std::string(e.what());
      }
    };
  }
  setup.Drive->SetEjectOnRelease(eject && !setup.Verify);
  PumpMessages();
  return setup;
}

std::vector<int> TBurnLibrary::BurnDeviceIndexes() const {
  std::vector<int> indexes{DeviceIndex(-1)};
  for (const auto& key : FExtraBurnKeys)
    for (size_t i = 0; i < FDevices.size(); ++i)
      if (KeyOf(FDevices[i]) == key &&
          std::find(indexes.begin(), indexes.end(), static_cast<int>(i)) == indexes.end())
        indexes.push_back(static_cast<int>(i));
  return indexes;
}

std::vector<TWriteSetup> TBurnLibrary::SetupForBurnDevices(const std::string& isoFile) {
  std::vector<TWriteSetup> setups;
  for (int index : BurnDeviceIndexes()) {
    SetErrorDevice(index);
    const TDevice& dev = FDevices[index];
    setups.push_back(SetupWrite(dev.Address, dev.Capacity, isoFile, WriteSettings()));
    setups.back().DriveName = DeviceName(index);
  }
  return setups;
}

void TBurnLibrary::AddBurnDevice(int32_t letter) {
  CheckIdle();
  const std::string key = KeyOf(FDevices[IndexOfLetter(letter)]);
  if (key == FBurnKey || std::find(FExtraBurnKeys.begin(), FExtraBurnKeys.end(), key) != FExtraBurnKeys.end())
    throw EDiscBurn(code::InvalidArgument, "The device is a burn device already");
  FExtraBurnKeys.push_back(key);
}

void TBurnLibrary::RemoveBurnDevice(int32_t letter) {
  CheckIdle();
  const std::string key = KeyOf(FDevices[IndexOfLetter(letter)]);
  auto it = std::find(FExtraBurnKeys.begin(), FExtraBurnKeys.end(), key);
  if (it != FExtraBurnKeys.end()) {
    FExtraBurnKeys.erase(it);
  } else if (key == FBurnKey && !FExtraBurnKeys.empty()) {
    FBurnKey = FExtraBurnKeys.front();  // the next one becomes the burn device
    FExtraBurnKeys.erase(FExtraBurnKeys.begin());
  } else {
    throw EDiscBurn(code::InvalidArgument, key == FBurnKey ? "The only burn device cannot be removed"
                                                           : "The device is not a burn device");
  }
}

void TBurnLibrary::LockMedium(int32_t device, bool lock) {
  CheckIdle();
  const int index = DeviceIndex(device);
  SetErrorDevice(index);
  TGrabbedDrive drive(FDevices[index].Address);
  // Drives are released after each call; a locked one is released with its tray kept locked.
  // Files have no tray.
  if (lock && drive.Role() == 1) drive.SetLeaveLocked(true);
  PumpMessages();
}

void TBurnLibrary::CheckProjectReady() const {
  CheckDataProject();
  if (FProject.Empty()) throw EDiscBurn(code::ProjectEmpty);
}

void TBurnLibrary::Prepare() {
  CheckIdle();
  CheckProjectReady();
  SetupForBurnDevices("");  // everything is checked; the drives are released again at once
}

void TBurnLibrary::Burn() {
  CheckIdle();
  CheckProjectReady();
  if (Options.Copies <= 1) return StartJob(TBurnJob::Write(SetupForBurnDevices(""), FCallbacks));
  // Several copies: the image is written once to a scratch file, then from it to the burn
  // devices once per copy; between copies a drive ejects its disc and waits for a blank one.
  if (IsAudioProject() || (FBase && FBase->Continue))
    throw EDiscBurn(code::InvalidArgument, "Several copies are made of new data discs only");
  SetupForBurnDevices("");  // checks every drive before anything is written
  struct TTarget {
    std::string Address, Name;
    int64_t Capacity;
  };
  std::vector<TTarget> targets;
  for (int index : BurnDeviceIndexes())
    targets.push_back({FDevices[index].Address, DeviceName(index), FDevices[index].Capacity});
  static int scratchCount = 0;
  const std::string scratch = TempPath() + "/discburn-copy-" + std::to_string(getpid()) + "-" +
                              std::to_string(++scratchCount) + ".iso";
  std::vector<TWriteSetup> image;
  const TWriteSettings settings = WriteSettings();
  image.push_back(SetupWrite("stdio:" + scratch, 0, "", settings));
  image.back().Quiet = true;
  image.back().Verify = nullptr;
  auto job = TBurnJob::Write(std::move(image), FCallbacks);
  const int copies = Options.Copies;
  TCallbackHub& callbacks = FCallbacks;
  // The copies are set up on the job thread, from the scratch image alone and with the
  // settings of now: they read nothing the caller may change meanwhile.
  job->SetCopies(
      copies,
      [this, targets, scratch, copies, settings, &callbacks](int copy, const std::atomic<bool>& abort) {
        std::vector<TWriteSetup> setups;
        for (const auto& t : targets) {
          bool asked = false;
          for (;;) {
            try {
              setups.push_back(SetupWrite(t.Address, t.Capacity, scratch, settings));
              break;
            } catch (const EDiscBurn& e) {
              // A drive (not a file) whose medium was written waits for the next one.
              const bool waiting = (e.Code() == code::MediumNotWritable || e.Code() == code::NoMedium) &&
                                   t.Address.rfind("stdio:", 0) != 0;
              if (!waiting) throw;
            }
            if (!asked)
              callbacks.InfoText("Insert a blank disc into " + t.Name + " for copy " + std::to_string(copy) +
                                     " of " + std::to_string(copies),
                                 DB_INFO);
            asked = true;
            for (int i = 0; i < 10 && !abort; ++i) usleep(100 * 1000);
            if (abort) throw EDiscBurn(code::Failed, TBurnJob::AbortedText);
          }
          setups.back().DriveName = t.Name;
          // The written disc leaves the drive, so the next copy finds a fresh one.
          if (copy < copies && setups.back().Drive->Role() == 1) setups.back().Drive->SetEjectOnRelease(true);
        }
        return setups;
      },
      scratch);
  StartJob(std::move(job));
}

void TBurnLibrary::BurnISO(const std::string& isoPath) {
  CheckIdle();
  StartJob(TBurnJob::Write(SetupForBurnDevices(isoPath), FCallbacks));
}

void TBurnLibrary::CreateImage(const std::string& imagePath) {
  CheckIdle();
  if (imagePath.empty()) throw EDiscBurn(code::InvalidArgument, "No image file name");
  if (FProjectType == DB_PT_AUDIO) {
    // An audio CD's image: its BIN file and CUE sheet.
    CheckProjectReady();
    const TAudioDisc disc = AudioDisc();
    TCallbackHub& callbacks = FCallbacks;
    int64_t total = 0;
    for (const auto& t : disc.Tracks) total += AudioSectors(t.Data.Bytes) * AudioSectorBytes;
    StartJob(TBurnJob::Task(
        [disc, imagePath, total, &callbacks](uint64_t generation,
                                             const std::atomic<bool>& abort) -> std::function<void()> {
          std::string error;
          try {
            WriteBinCue(
                disc, imagePath,
                [&](int64_t written) {
                  callbacks.Process(total > 0 ? static_cast<float>(100.0 * written / total) : 100.f, 0.f, 0.f,
                                    static_cast<double>(written), static_cast<double>(total), generation);
                },
                [&](const std::string& file, const std::string& failure) {
                  callbacks.AudioDecodeDone(file, failure,
                                            failure.empty() ? code::Ok : code::SourceUnreadable, generation);
                },
                &abort);
            callbacks.Finalize(generation);
          } catch (const EDiscBurn& e) {
            error = e.what();
          }
          return [error, &callbacks, generation] { callbacks.BurnDone(error, generation); };
        },
        FCallbacks));
    return;
  }
  if (IsAudioProject())
    throw EDiscBurn(code::InvalidArgument, "This project is written to a CD only, not to an image file");
  std::vector<TWriteSetup> setups;
  setups.push_back(SetupWrite("stdio:" + imagePath, 0, "", WriteSettings()));
  StartJob(TBurnJob::Write(std::move(setups), FCallbacks));
}

void TBurnLibrary::Erase(bool quick, bool eject) {
  CheckIdle();
  const int index = DeviceIndex(-1);
  SetErrorDevice(index);
  auto drive = std::make_unique<TGrabbedDrive>(FDevices[index].Address);
  burn_drive* d = drive->Drive();
  const burn_disc_status status = burn_disc_get_status(d);
  if (status == BURN_DISC_EMPTY) throw EDiscBurn(code::NoMedium);
  // libburn empties a write-only file (role 5) whatever state it reports for it.
  const bool writeOnlyFile = drive->Role() == 5;
  if (!writeOnlyFile && !burn_disc_erasable(d)) {
    std::string why = WorstText(PumpMessages(), severity::Sorry);
    throw EDiscBurn(code::NotErasable, DefaultText(code::NotErasable) + (why.empty() ? "" : " (" + why + ")"));
  }
  if (!writeOnlyFile && status == BURN_DISC_BLANK) throw EDiscBurn(code::NotErasable, "The medium in the drive is blank");
  drive->SetEjectOnRelease(eject && drive->Role() == 1);
  StartJob(TBurnJob::Erase(std::move(drive), quick, FCallbacks));
}

void TBurnLibrary::StartJob(std::unique_ptr<TBurnJob> job) {
  // Threads of earlier jobs that returned from their last callback are joined here; one still
  // inside its done callback (which may be what called us) is kept until it has.
  if (FJob) FRetired.push_back(std::move(FJob));
  JoinExitedJobs();
  FBusy = true;
  const uint64_t generation = ++FGeneration;
  job->Start([this, generation] {
    if (FGeneration == generation) FBusy = false;
  });
  FJob = std::move(job);
}

void TBurnLibrary::JoinExitedJobs() {
  FRetired.erase(std::remove_if(FRetired.begin(), FRetired.end(),
                                [](const std::unique_ptr<TBurnJob>& j) {
                                  if (!j->Exited()) return false;
                                  j->Join();
                                  return true;
                                }),
                 FRetired.end());
}

void TBurnLibrary::Abort() {
  CheckInitialized();
  if (!FJob || !FBusy) throw EDiscBurn(code::NoJob);
  if (!FJob->Abort()) throw EDiscBurn(code::Failed, "An erase cannot be aborted");
}

TAudioFile TBurnLibrary::MeasureAudioFile(const std::string& path, bool audioOnly) {
  try {
    TAudioFile file = ReadAudioFile(path, audioOnly);
    PumpMessages();
    return file;
  } catch (...) {
    PumpMessages();
    throw;
  }
}

std::vector<TLibraryMessage> TBurnLibrary::PumpMessages() {
  // While a job runs its thread owns the queues: it needs the failures among them.
  if (FBusy) return {};
  std::vector<TLibraryMessage> messages = TakeLibraryMessages();
  for (const auto& m : messages) FCallbacks.InfoText(m.Text, InfoLevelOf(m.Rank));
  return messages;
}

}  // namespace discburn
