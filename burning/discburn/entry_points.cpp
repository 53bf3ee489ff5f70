// The C entry points of libdiscburn.so that do real work. Each one runs its body through
// Guard(), which turns an EDiscBurn into the result code and keeps its text for GetText.

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <sstream>

#include "burning/discburn/audio_disc.h"
#include "burning/discburn/audio_file.h"
#include "burning/discburn/burn_error.h"
#include "burning/discburn/burn_library.h"
#include "burning/discburn/discburn_api.h"
#include "burning/discburn/entry_guard.h"
#include "burning/discburn/utf16.h"

using discburn::code::Ok;
using discburn::EDiscBurn;
using discburn::Guard;
using discburn::Library;
using discburn::TCallbackSlot;
using discburn::ToUtf8;

namespace {

void Register(TCallbackSlot slot, void* function, void* user) { Library().Callbacks().Set(slot, function, user); }

template <typename T>
void Need(T* p) {
  if (!p) throw EDiscBurn(discburn::code::InvalidArgument, "A required argument is missing");
}

}  // namespace

extern "C" {

// ---- initialisation and environment ----

int32_t Initialize(int32_t aspiType, int32_t enableImageDevice) {
  return Guard([&] { Library().Initialize(aspiType, enableImageDevice != 0); });
}

int32_t DeInitialize(void) {
  return Guard([&] { Library().DeInitialize(); });
}

int32_t ForceDeInitialize(void) { return DeInitialize(); }

int32_t SetTmpPath(const db_char* path) {
  return Guard([&] {
    Library().CheckInitialized();
    Library().SetTempPath(ToUtf8(path));
  });
}

int32_t GetTmpPath(db_char* buffer, int32_t* length) {
  return Guard([&] {
    Need(buffer);
    Need(length);
    Library().CheckInitialized();
    *length = discburn::CopyText(Library().TempPath(), buffer, *length);
  });
}

int32_t GetText(int32_t resultCode, db_char* buffer, int32_t* length) {
  if (!buffer || !length || *length <= 0) return discburn::code::InvalidArgument;
  *length = discburn::CopyText(Library().Text(resultCode), buffer, std::min<int32_t>(*length, DB_TEXT_CAPACITY));
  return Ok;
}

int32_t SetLanguage(const db_char* language, const db_char* languageFile) {
  return Guard([&] { Library().SetLanguage(ToUtf8(language), ToUtf8(languageFile)); });
}
int32_t GetLanguage(db_char* buffer, int32_t* length) {
  return Guard([&] {
    Need(buffer);
    Need(length);
    Library().CheckInitialized();
    *length = discburn::CopyText(Library().Language(), buffer, *length);
  });
}
int32_t EnableMCNDisabling(int32_t) {
  // Media-change notification is a Windows matter; the switch is accepted and changes nothing.
  return Ok;
}
int32_t SetASPI(int32_t aspiType) {
  return Guard([&] {
    if (aspiType != DB_ASPI_INTERNAL)
      throw EDiscBurn(discburn::code::NotSupported, std::string(discburn::NotSupportedPrefix) + "ASPI device access");
  });
}

int32_t GetASPI(uint8_t* aspiType) {
  return Guard([&] {
    Need(aspiType);
    *aspiType = DB_ASPI_INTERNAL;
  });
}

int32_t EnableImageDevice(int32_t enable) {
  return Guard([&] {
    Library().CheckInitialized();
    Library().EnableImageDevice(enable != 0);
  });
}

int32_t ResetCallbacks(void) {
  return Guard([&] { Library().Callbacks().Reset(); });
}

// ---- devices ----

int32_t RescanDevices(void) {
  return Guard([&] { Library().RescanDevices(); });
}

int32_t GetDevices(db_char* buffer, int32_t* count, int32_t burnersOnly) {
  return Guard([&] {
    Need(buffer);
    Need(count);
    std::memset(buffer, 0, DB_DEVICE_LIST_BYTES);
    *count = 0;
    auto& lib = Library();
    lib.CheckInitialized();
    const auto& devices = lib.Devices();
    int32_t n = 0;
    for (size_t i = 0; i < devices.size() && n < DB_MAX_DEVICES; ++i) {
      const auto& d = devices[i];
      const bool writer = d.ImageWriter || d.SecondGroup != 0 || (d.FirstGroup & 0x1E0) != 0;
      if (burnersOnly && !writer) continue;
      discburn::CopyText(lib.DeviceName(static_cast<int>(i)), buffer + n * DB_DEVICE_NAME_CHARS, DB_DEVICE_NAME_CHARS);
      ++n;
    }
    *count = n;
  });
}

int32_t GetActiveDevicesCount(int32_t* count) {
  return Guard([&] {
    Need(count);
    *count = 0;
    Library().CheckInitialized();
    *count = static_cast<int32_t>(Library().Devices().size());
  });
}

int32_t GetBurnDevice(db_char* letters, int32_t* count) {
  return Guard([&] {
    Need(letters);
    const int32_t capacity = count && *count > 0 ? *count : DB_MAX_DEVICES;
    letters[0] = 0;
    if (count) *count = 0;
    const int32_t n = discburn::CopyText(Library().BurnDeviceLetters(), letters, capacity);
    if (count) *count = n;
  });
}

int32_t SetBurnDevice(int32_t letter) {
  return Guard([&] { Library().SetBurnDevice(letter); });
}

int32_t AddBurnDevice(int32_t letter) {
  return Guard([&] { Library().AddBurnDevice(letter); });
}
int32_t RemoveBurnDevice(int32_t letter) {
  return Guard([&] { Library().RemoveBurnDevice(letter); });
}
int32_t LockMedium(int32_t device, int32_t lock) {
  return Guard([&] { Library().LockMedium(device, lock != 0); });
}
int32_t SaveLogToFile(const db_char* path) {
  return Guard([&] { Library().Callbacks().SaveLog(ToUtf8(path)); });
}
int32_t SetReadDevice(int32_t letter) {
  return Guard([&] { Library().SetReadDevice(letter); });
}

int32_t GetDeviceInformation(int32_t device, db_char* vendor, db_char* product, db_char* revision) {
  return Guard([&] {
    if (vendor) vendor[0] = 0;
    if (product) product[0] = 0;
    if (revision) revision[0] = 0;
    auto& lib = Library();
    const auto& d = lib.Devices()[lib.DeviceIndex(device)];
    discburn::CopyText(d.Vendor, vendor, DB_VENDOR_CHARS);
    discburn::CopyText(d.Product, product, DB_PRODUCT_CHARS);
    discburn::CopyText(d.Revision, revision, DB_REVISION_CHARS);
  });
}

int32_t GetDeviceInformationEx(int32_t device, DBDeviceInfoEx* info) {
  return Guard([&] {
    Need(info);
    Library().DeviceInformationEx(device, *info);
  });
}

int32_t GetDeviceCapabilities(int32_t device, uint32_t* firstGroup, uint32_t* secondGroup) {
  return Guard([&] {
    if (firstGroup) *firstGroup = 0;
    if (secondGroup) *secondGroup = 0;
    auto& lib = Library();
    const auto& d = lib.Devices()[lib.DeviceIndex(device)];
    if (firstGroup) *firstGroup = d.FirstGroup;
    if (secondGroup) *secondGroup = d.SecondGroup;
  });
}

int32_t GetDeviceCapabilitiesHandle(int32_t device, db_handle* handle) {
  return Guard([&] {
    Need(handle);
    *handle = 0;
    *handle = Library().CapabilitiesHandle(device);
  });
}

int32_t AnalyseDeviceCapability(db_handle handle, uint32_t firstGroup, uint32_t secondGroup, uint8_t* present) {
  return Guard([&] {
    Need(present);
    *present = 0;
    *present = Library().HasCapability(handle, firstGroup, secondGroup) ? 1 : 0;
  });
}

int32_t ReleaseDeviceCapabilities(db_handle handle) {
  return Guard([&] { Library().ReleaseCapabilities(handle); });
}

int32_t GetErrorDeviceName(db_char* buffer, int32_t capacity) {
  return Guard([&] {
    Need(buffer);
    discburn::CopyText(Library().ErrorDeviceName(), buffer, capacity);
  });
}

int32_t IsDeviceReady(int32_t device, uint8_t* ready) {
  return Guard([&] {
    Need(ready);
    *ready = 0;
    *ready = Library().IsDeviceReady(device) ? 1 : 0;
  });
}

int32_t EjectDevice(int32_t device, int32_t eject) {
  return Guard([&] {
    if (eject) Library().Eject(device);
    else Library().DeviceIndex(device);  // closing a tray: nothing to do, but the device must exist
  });
}

int32_t CloseDevice(int32_t device) {
  // Drives are held only for the length of one call or job; there is nothing to close.
  return Guard([&] { Library().DeviceIndex(device); });
}

// ---- media and the project's sessions ----

int32_t GetMediumInformation(int32_t device, DBMediumInfo* info) {
  return Guard([&] {
    Need(info);
    Library().MediumInformation(device, *info);
  });
}

int32_t OpenDiskSession(int32_t device, int32_t session, db_handle* handle, int32_t flags) {
  return Guard([&] {
    Need(handle);
    *handle = 0;
    *handle = Library().OpenSession(device, session);
  });
}

int32_t CloseDiskSession(db_handle session) {
  return Guard([&] { Library().CloseSession(session); });
}

int32_t OpenDirectory(db_handle session, const db_char* path, db_handle* directory) {
  return Guard([&] {
    Need(directory);
    *directory = 0;
    *directory = Library().OpenDirectory(session, ToUtf8(path));
  });
}

int32_t GetNumberOfFiles(db_handle directory, int32_t* count) {
  return Guard([&] {
    Need(count);
    *count = 0;
    *count = static_cast<int32_t>(Library().Directory(directory).size());
  });
}

int32_t ReadDirectory(db_handle directory, int32_t index, DBFileEntry* entry) {
  return Guard([&] {
    Need(entry);
    std::memset(entry, 0, sizeof *entry);
    const auto& entries = Library().Directory(directory);
    if (index < 0 || index >= static_cast<int32_t>(entries.size()))
      throw EDiscBurn(discburn::code::InvalidArgument, "Entry index out of range");
    *entry = entries[index];
  });
}

int32_t CloseDirectory(db_handle directory) {
  return Guard([&] { Library().CloseDirectory(directory); });
}

int32_t GetFileEntry(db_handle session, const db_char* path, DBFileEntry* entry) {
  return Guard([&] {
    Need(entry);
    std::memset(entry, 0, sizeof *entry);
    *entry = Library().FileEntry(session, ToUtf8(path));
  });
}

int32_t GetFileAllocationTable(db_handle session, const db_char* path, int32_t* lbas, int32_t* count) {
  return Guard([&] {
    Need(count);
    const int32_t capacity = *count;
    *count = 0;
    if (lbas && capacity > 0) std::memset(lbas, 0, sizeof(int32_t) * capacity);
    const auto extents = Library().FileAllocationTable(session, ToUtf8(path));
    for (size_t i = 0; lbas && 2 * i + 1 < static_cast<size_t>(std::max(capacity, 0)) && i < extents.size();
         ++i) {
      lbas[2 * i] = extents[i].first;
      lbas[2 * i + 1] = extents[i].second;
    }
    *count = static_cast<int32_t>(extents.size());
  });
}
int32_t GetISOVolumeInformation(db_handle session, DBISOBlock* info) {
  return Guard([&] {
    Need(info);
    std::memset(info, 0, sizeof *info);
    Library().ISOVolumeInformation(session, *info);
  });
}
int32_t GetBootVolumeInformation(db_handle session, DBBootBlock* info) {
  return Guard([&] {
    Need(info);
    std::memset(info, 0, sizeof *info);
    Library().BootVolumeInformation(session, *info);
  });
}
int32_t ImportFile(const db_char* path) {
  return Guard([&] { Library().ImportFile(ToUtf8(path)); });
}

// ---- sessions and tracks of a medium ----

namespace {

/// Track `track` (1-based, counted over the whole medium) of a device's table of contents.
discburn::TTocTrack TrackOf(int32_t device, int32_t track) {
  const discburn::TToc toc = Library().Toc(device);
  if (track < 1 || track > static_cast<int32_t>(toc.Tracks.size()))
    throw EDiscBurn(discburn::code::InvalidArgument, "No track " + std::to_string(track) +
                                                         " on the medium (it holds " +
                                                         std::to_string(toc.Tracks.size()) + ")");
  return toc.Tracks[track - 1];
}

}  // namespace

int32_t GetMediumFreedbId(int32_t device, uint32_t* id) {
  return Guard([&] {
    Need(id);
    *id = 0;
    *id = discburn::FreedbId(Library().Toc(device));
  });
}
int32_t GetSessionInformation(int32_t device, int32_t session, int32_t* startLba, int32_t* sectors) {
  return Guard([&] {
    Need(startLba);
    Need(sectors);
    *startLba = *sectors = 0;
    const discburn::TToc toc = Library().Toc(device);
    const auto [start, count] = toc.Session(toc.SessionNumber(session));
    *startLba = start;
    *sectors = count;
  });
}
int32_t GetTrackInformation(int32_t device, int32_t track, int32_t* startLba, int32_t* sectors,
                            int32_t* mode) {
  return Guard([&] {
    Need(startLba);
    Need(sectors);
    *startLba = *sectors = 0;
    if (mode) *mode = 0;
    const discburn::TTocTrack t = TrackOf(device, track);
    *startLba = t.StartLba;
    *sectors = t.Sectors;
    if (mode) *mode = t.Mode;
  });
}
int32_t GetTrackFormatEx(int32_t device, int32_t track, int32_t* format) {
  return Guard([&] {
    Need(format);
    *format = 0;
    *format = TrackOf(device, track).Audio ? DB_TRACK_AUDIO : DB_TRACK_DATA;
  });
}
int32_t CloseSession(int32_t device) {
  return Guard([&] { Library().CloseDisc(device); });
}

// ---- audio and CD reading ----

namespace {

/// The value of "key = value" in a CD-Text sheet.
std::string SheetValue(const std::string& sheet, const std::string& key) {
  std::istringstream lines(sheet);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string k = line.substr(0, eq), v = line.substr(eq + 1);
    while (!k.empty() && k.back() == ' ') k.pop_back();
    while (!v.empty() && v.front() == ' ') v.erase(v.begin());
    if (k == key) return v;
  }
  return {};
}

// CD-Text tags: 0 title, 1 performer, 2 songwriter, 3 composer, 4 arranger, 5 message.
const char* const DiscTagKeys[] = {"Album Title", "Artist Name", "Songwriter",
                                   "Composer",    "Arranger",    "Album Message"};
const char* const TrackTagKeys[] = {"Title", "Artist", "Songwriter", "Composer", "Arranger", "Message"};

double PlaySeconds(const db_char* path) { return Library().MeasureAudioFile(ToUtf8(path)).Seconds; }

}  // namespace

int32_t SetAudioFileProperty(const db_char* path, int32_t property, const db_char* value) {
  return Guard([&] { Library().SetAudioProperty(ToUtf8(path), property, ToUtf8(value)); });
}
int32_t GetPlayTime(const db_char* path, int32_t* milliseconds) {
  return Guard([&] {
    Need(milliseconds);
    *milliseconds = 0;
    *milliseconds = static_cast<int32_t>(PlaySeconds(path) * 1000.0);
  });
}
int32_t GetPrecisePlayTime(const db_char* path, double* seconds) {
  return Guard([&] {
    Need(seconds);
    *seconds = 0;
    *seconds = PlaySeconds(path);
  });
}
int32_t ReadSectors(int32_t device, int32_t lba, int32_t count, void* buffer, int32_t bufferSize) {
  return Guard([&] {
    Need(buffer);
    if (bufferSize > 0) std::memset(buffer, 0, static_cast<size_t>(bufferSize));
    const std::vector<char> data = Library().ReadSectors(device, lba, count);
    if (static_cast<size_t>(std::max(bufferSize, 0)) < data.size())
      throw EDiscBurn(discburn::code::InvalidArgument,
                      "The buffer needs " + std::to_string(data.size()) + " bytes");
    std::memcpy(buffer, data.data(), data.size());
  });
}
int32_t ReadCDText(int32_t device, db_handle* handle) {
  return Guard([&] {
    Need(handle);
    *handle = 0;
    *handle = Library().ReadCDText(device);
  });
}
int32_t CloseCDTextHandle(db_handle handle) {
  return Guard([&] { Library().CloseCdText(handle); });
}
/// One CD-Text value into a caller's buffer: the disc's (no track) or a track's (from 1).
int32_t CdTextTag(db_handle handle, int32_t tag, std::optional<int32_t> track, db_char* buffer,
                  int32_t* length) {
  return Guard([&] {
    Need(buffer);
    Need(length);
    const int32_t capacity = *length;
    *length = 0;
    buffer[0] = 0;
    if (tag < 0 || tag > 5) throw EDiscBurn(discburn::code::InvalidArgument, "CD-Text tags are 0 to 5");
    if (track && *track < 1) throw EDiscBurn(discburn::code::InvalidArgument, "CD-Text tracks count from 1");
    char key[64];
    if (track)
      std::snprintf(key, sizeof key, "Track %02d %s", *track, TrackTagKeys[tag]);
    else
      std::snprintf(key, sizeof key, "%s", DiscTagKeys[tag]);
    *length = discburn::CopyText(SheetValue(Library().CdText(handle), key), buffer, capacity);
  });
}
int32_t GetCDTextDiskTagString(db_handle handle, int32_t tag, db_char* buffer, int32_t* length) {
  return CdTextTag(handle, tag, std::nullopt, buffer, length);
}
int32_t GetCDTextTrackTagString(db_handle handle, int32_t track, int32_t tag, db_char* buffer,
                                int32_t* length) {
  return CdTextTag(handle, tag, track, buffer, length);
}
int32_t GrabAudioTrack(int32_t device, int32_t track, const db_char* path) {
  return Guard([&] { Library().SaveTrack(device, track, ToUtf8(path), true); });
}
int32_t SaveTrackToFile(int32_t device, int32_t track, const db_char* path) {
  return Guard([&] { Library().SaveTrack(device, track, ToUtf8(path), false); });
}

// ---- speeds ----

namespace {

int32_t SpeedList(int32_t device, bool write, int32_t* speeds, int32_t* count) {
  return Guard([&] {
    Need(count);
    const int32_t capacity = *count;
    *count = 0;
    if (speeds && capacity > 0) std::memset(speeds, 0, sizeof(int32_t) * capacity);
    const auto list = Library().Speeds(device, write, nullptr);
    for (int32_t i = 0; speeds && i < capacity && i < static_cast<int32_t>(list.size()); ++i) speeds[i] = list[i];
    *count = static_cast<int32_t>(list.size());
  });
}

int32_t OneSpeed(int32_t device, bool write, bool maximum, int32_t* speed) {
  return Guard([&] {
    Need(speed);
    *speed = 0;
    int current = 0;
    const auto list = Library().Speeds(device, write, &current);
    *speed = maximum ? list.front() : current;
  });
}

}  // namespace

int32_t GetBurnSpeed(int32_t device, int32_t* speed) { return OneSpeed(device, true, false, speed); }
int32_t GetMaxBurnSpeed(int32_t device, int32_t* speed) { return OneSpeed(device, true, true, speed); }
int32_t GetPossibleBurnSpeeds(int32_t device, int32_t* speeds, int32_t* count) {
  return SpeedList(device, true, speeds, count);
}
int32_t SetBurnSpeed(int32_t device, int32_t speed) {
  return Guard([&] { Library().ChooseSpeed(device, true, speed); });
}
int32_t GetReadSpeed(int32_t device, int32_t* speed) { return OneSpeed(device, false, false, speed); }
int32_t GetMaxReadSpeed(int32_t device, int32_t* speed) { return OneSpeed(device, false, true, speed); }
int32_t GetPossibleReadSpeeds(int32_t device, int32_t* speeds, int32_t* count) {
  return SpeedList(device, false, speeds, count);
}
int32_t SetReadSpeed(int32_t device, int32_t speed) {
  return Guard([&] { Library().ChooseSpeed(device, false, speed); });
}

int32_t ConvertSpeedFromKBPerSec(int32_t speed, double* multiple) {
  return Guard([&] {
    Need(multiple);
    *multiple = 0;
    *multiple = Library().SpeedMultiple(speed);
  });
}

// ---- project and files ----

int32_t CreateProject(int32_t projectType, int32_t sessionToContinue) {
  return Guard([&] { Library().CreateProject(projectType, sessionToContinue); });
}

int32_t DeleteProject(void) {
  return Guard([&] { Library().DeleteProject(); });
}

int32_t GetProjectType(int32_t* projectType) {
  return Guard([&] {
    Need(projectType);
    *projectType = DB_PT_NONE;
    Library().CheckInitialized();
    *projectType = Library().ProjectType();
  });
}

int32_t AddFile(DBAddFileRecord record) {
  return Guard([&] {
    Library().AddFile(ToUtf8(record.SourcePath), ToUtf8(record.DestFolder), ToUtf8(record.NameOnDisc));
  });
}

int32_t AddDir(const db_char* sourceFolder, const db_char* destFolder, int32_t recursive) {
  return Guard([&] { Library().AddDir(ToUtf8(sourceFolder), ToUtf8(destFolder), recursive != 0); });
}

int32_t CreateDir(const db_char* destFolder, const db_char* name) {
  return Guard([&] { Library().CreateDir(ToUtf8(destFolder), ToUtf8(name)); });
}

int32_t RemoveFile(const db_char* destFolder, const db_char* name) {
  return Guard([&] { Library().RemoveFile(ToUtf8(destFolder), ToUtf8(name)); });
}

int32_t RemoveDir(const db_char* path) {
  return Guard([&] { Library().RemoveDir(ToUtf8(path)); });
}

int32_t RenameFile(const db_char* destFolder, const db_char* oldName, const db_char* newName) {
  return Guard([&] { Library().RenameFile(ToUtf8(destFolder), ToUtf8(oldName), ToUtf8(newName)); });
}

int32_t RenameDir(const db_char* path, const db_char* newName) {
  return Guard([&] { Library().RenameDir(ToUtf8(path), ToUtf8(newName)); });
}

int32_t ClearAll(void) {
  return Guard([&] { Library().ClearAll(); });
}

int32_t SetFileTimes(const db_char* path, const DBDiscDate* created, const DBDiscDate* modified,
                     const DBDiscDate* accessed) {
  // ISO 9660 and Rock Ridge keep one time per entry that readers show: the modification time.
  return Guard([&] { Library().SetFileTimes(ToUtf8(path), modified); });
}

int32_t SetFileAttr(const db_char* path, uint32_t attributes) {
  return Guard([&] { Library().SetFileAttributes(ToUtf8(path), attributes); });
}
int32_t SetFileUserParam(const db_char* path, int32_t param) {
  return Guard([&] { Library().SetFileUserParam(ToUtf8(path), param); });
}
int32_t IsValidVideoTsFolder(const db_char* path, uint8_t* valid) {
  return Guard([&] {
    Need(valid);
    *valid = 0;
    // A DVD-Video folder holds the video manager VIDEO_TS.IFO (any case).
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(ToUtf8(path), ec)) {
      std::string name = e.path().filename().string();
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (name == "VIDEO_TS.IFO" && e.is_regular_file(ec)) *valid = 1;
    }
    if (ec) throw EDiscBurn(discburn::code::SourceUnreadable, "Folder not found: " + ToUtf8(path));
  });
}
int32_t GetImageSize(int64_t* bytes) {
  return Guard([&] {
    Need(bytes);
    *bytes = 0;
    *bytes = Library().ImageSize();
  });
}

int32_t GetPossibleImageFormats(uint32_t* formats) {
  return Guard([&] {
    Need(formats);
    *formats = 1;  // ISO 9660 images only
  });
}

int32_t SetImageFilePath(const db_char* path) {
  return Guard([&] {
    Library().CheckInitialized();
    Library().SetImageFilePath(ToUtf8(path));
  });
}

// ---- option blocks ----

int32_t GetOptions(DBOptionsBlock* block) {
  return Guard([&] { Need(block); *block = Library().Options; });
}
int32_t SetOptions(DBOptionsBlock block) {
  return Guard([&] { Library().SetOptions(block); });
}
int32_t GetISOInfoEx(DBISOBlock* block) {
  return Guard([&] { Need(block); *block = Library().ISO; });
}
int32_t SetISOInfoEx(DBISOBlock block) {
  return Guard([&] { Library().SetISO(block); });
}
int32_t GetBootInfoEx(DBBootBlock* block) {
  return Guard([&] { Need(block); *block = Library().Boot; });
}
int32_t SetBootInfoEx(DBBootBlock block) {
  // Kept; a disc prepared with the options block's Bootable set takes its El Torito entry
  // from it (emulation, load segment and size, platform, developer id).
  return Guard([&] { Library().Boot = block; });
}
int32_t GetCompressEncrypt(DBCompressEncryptBlock* block) {
  return Guard([&] { Need(block); *block = Library().Compress; });
}
int32_t SetCompressEncrypt(DBCompressEncryptBlock block) {
  return Guard([&] { Library().SetCompress(block); });
}
int32_t GetDVDVideoOptions(DBDVDVideoBlock* block) {
  return Guard([&] { Need(block); *block = Library().DVDVideo; });
}
int32_t SetDVDVideoOptions(DBDVDVideoBlock block) {
  return Guard([&] { Library().DVDVideo = block; });
}
int32_t GetUDFOptions(DBUDFBlock* block) {
  return Guard([&] { Need(block); *block = Library().UDF; });
}
int32_t SetUDFOptions(DBUDFBlock block) {
  // Kept for the caller; no UDF file system is written (libisofs has no UDF writer).
  return Guard([&] { Library().UDF = block; });
}
int32_t GetUDFOptionsEx(DBUDFBlock* block, db_char* implementationId, int32_t capacity) {
  return Guard([&] {
    Need(block);
    *block = Library().UDF;
    discburn::CopyText(ToUtf8(Library().UDFImplementationId), implementationId, capacity);
  });
}
int32_t SetUDFOptionsEx(DBUDFBlock block, const db_char* implementationId) {
  return Guard([&] {
    Library().UDF = block;
    Library().UDFImplementationId = discburn::ToUtf16(ToUtf8(implementationId));
  });
}
int32_t SetVerify(int32_t verify) {
  return Guard([&] {
    Library().CheckInitialized();
    Library().SetVerify(verify != 0);
  });
}
int32_t VerifyFile(const db_char* path) {
  return Guard([&] { Library().VerifyFiles(ToUtf8(path)); });
}
int32_t GetVerify(uint8_t* verify) {
  return Guard([&] { Need(verify); *verify = Library().Verify() ? 1 : 0; });
}

// ---- jobs ----

int32_t Prepare(void) {
  return Guard([&] { Library().Prepare(); });
}

int32_t Burn(void) {
  return Guard([&] { Library().Burn(); });
}

int32_t BurnISO(const db_char* isoPath) {
  return Guard([&] { Library().BurnISO(ToUtf8(isoPath)); });
}

int32_t CreateImage(const db_char* imagePath) {
  return Guard([&] { Library().CreateImage(ToUtf8(imagePath)); });
}

int32_t CopyDisk(int32_t sourceDevice, int32_t targetDevice) {
  return Guard([&] { Library().CopyDisk(sourceDevice, targetDevice); });
}

int32_t Erase(int32_t quick, int32_t eject) {
  return Guard([&] { Library().Erase(quick != 0, eject != 0); });
}

int32_t Abort(void) {
  return Guard([&] { Library().Abort(); });
}

int32_t AudioFileStop(void) {
  return Ok;  // nothing ever plays
}

// ---- callback registration ----

int32_t SetInfoTextEventCallback(DBInfoTextCallback callback, int32_t level, void* user) {
  Library().Callbacks().SetInfoTextLevel(level);
  Register(TCallbackSlot::InfoText, reinterpret_cast<void*>(callback), user);
  return Ok;
}

#define DB_REGISTER(name, slot, type)                                   \
  int32_t name(type callback, void* user) {                             \
    Register(TCallbackSlot::slot, reinterpret_cast<void*>(callback), user); \
    return Ok;                                                          \
  }
DB_REGISTER(SetProcessEventCallback, Process, DBProcessCallback)
DB_REGISTER(SetBurnFileEventCallback, BurnFile, DBBurnFileCallback)
DB_REGISTER(SetEraseDoneEventCallback, EraseDone, DBEraseDoneCallback)
DB_REGISTER(SetFinalizeEventCallback, Finalize, DBFinalizeCallback)
DB_REGISTER(SetBurnDoneEventCallback, BurnDone, DBBurnDoneCallback)
DB_REGISTER(SetJobDoneEventCallback, JobDone, DBJobDoneCallback)
DB_REGISTER(SetAddFileEventCallback, AddFile, DBAddFileCallback)
DB_REGISTER(SetCreateDirEventCallback, CreateDir, DBCreateDirCallback)
DB_REGISTER(SetRemoveFileEventCallback, RemoveFile, DBRemoveFileCallback)
DB_REGISTER(SetAudioDecodeDoneEventCallback, AudioDecodeDone, DBAudioDecodeDoneCallback)
DB_REGISTER(SetVideoScannerEventCallback, VideoScanner, DBVideoScannerCallback)
DB_REGISTER(SetVideoScanDoneEventCallback, VideoScanDone, DBVideoScanDoneCallback)
DB_REGISTER(SetStartVerifyEventCallback, StartVerify, DBStartVerifyCallback)
DB_REGISTER(SetVerifyFileEventCallback, VerifyFile, DBVerifyFileCallback)
DB_REGISTER(SetVerifyErrorEventCallback, VerifyError, DBVerifyErrorCallback)
DB_REGISTER(SetVerifyDoneEventCallback, VerifyDone, DBVerifyDoneCallback)
DB_REGISTER(SetRAWDataEventCallback, RawData, DBRawDataCallback)
DB_REGISTER(SetCompareFilesForArrangementEventCallback, CompareFiles, DBCompareFilesCallback)
#undef DB_REGISTER

// ---- test support ----

int32_t AddPseudoDrive(const db_char* address, int64_t capacityBytes) {
  return Guard([&] { Library().AddPseudoDrive(ToUtf8(address), capacityBytes); });
}

}  // extern "C"
