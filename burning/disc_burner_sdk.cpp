#include "burning/disc_burner_sdk.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace burning {

bool TDiscBurnerSDK::SAnyActive = false;

namespace {

// Address of a field of a packed block; packed fields may sit at any address, so they are
// written through memcpy-based helpers rather than typed pointers.
#define BURNING_FIELD(block, member) \
  (reinterpret_cast<unsigned char*>(&(block)) + offsetof(std::remove_reference_t<decltype(block)>, member))

// The 83 capability queries, in position order: a first-group and a second-group mask, or a
// capability code with 0xFFFF as second argument.
struct TCapabilityQuery {
  uint32_t First, Second;
};

std::vector<TCapabilityQuery> CapabilityQueries() {
  std::vector<TCapabilityQuery> q;
  auto first = [&](std::initializer_list<uint32_t> masks) {
    for (uint32_t m : masks) q.push_back({m, 0});
  };
  auto second = [&](std::initializer_list<uint32_t> masks) {
    for (uint32_t m : masks) q.push_back({0, m});
  };
  auto code = [&](std::initializer_list<uint32_t> codes) {
    for (uint32_t c : codes) q.push_back({c, 0xFFFF});
  };
  first({0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200});
  first({0x1000, 0x400, 0x800});
  code({35, 36});
  first({0x2000, 0x4000, 0x8000});
  first({0x20000, 0x40000, 0x80000, 0x100000, 0x200000, 0x400000, 0x800000, 0x1000000,
         0x2000000, 0x4000000, 0x8000000, 0x10000000, 0x20000000});
  code({37, 38});
  first({0x40000000, 0x80000000});
  second({0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000,
          0x4000, 0x8000});
  for (uint32_t c = 1; c <= 25; ++c) q.push_back({c, 0xFFFF});
  code({32, 33, 28, 29, 30, 31, 32, 33, 34});
  return q;
}

const db_char* Text(const QString& s) { return reinterpret_cast<const db_char*>(s.utf16()); }

uint8_t Flag(bool value) { return value ? 1 : 0; }

}  // namespace

TDiscBurnerSDK::TDiscBurnerSDK(QObject* parent)
    : QObject(parent),
      FOptions(std::make_unique<TBurningOptions>(this)),
      FISOInfo(std::make_unique<TISOInfo>(this)),
      FBootInfo(std::make_unique<TBootInfo>(this)),
      FCompressEncryptInfo(std::make_unique<TCompressEncryptInfo>(this)),
      FUDFOptions(std::make_unique<TUDFOptions>(this)),
      FDVDVideoOptions(std::make_unique<TDVDVideoOptions>(this)),
      FReadErrorCorrectionParams(std::make_unique<TReadErrorCorrectionParams>()) {}

TDiscBurnerSDK::~TDiscBurnerSDK() {
  // The library's threads hold this object as their user pointer: cut them off before any
  // member goes away.
  if (FActive) {
    DoActivate(false);
    FActive = false;
  }
}

// --- Activation ---

void TDiscBurnerSDK::SetActive(bool value) {
  FLastError = 0;
  if (value != FActive && DoActivate(value)) FActive = value;
}

bool TDiscBurnerSDK::DoActivate(bool value) {
  if (value) {
    if (SAnyActive)
      throw EDiscBurnerSDK("Only one instance of TDiscBurnerSDK can be active at a time");
    switch (FBinding.LoadBurnerDLL(QFile::encodeName(FDLLName).toStdString())) {
      case TBurnerBinding::lrLibraryNotLoaded:
        FLastError = ecLibraryNotFound;
        return false;
      case TBurnerBinding::lrEntryPointMissing:
        FLastError = ecEntryPointMissing;
        return false;
      default:
        break;
    }
    const int32_t init =
        L().Initialize(static_cast<int32_t>(FInitASPIType), FEnableImageDevice ? 1 : 0);
    if (init != 0) {
      FLastError = init;
      // Nothing was initialised, so there is nothing to de-initialise.
      FBinding.Unload();
      return false;
    }
    SetClosing(false);
    SAnyActive = true;
    CheckResult(L().SetTmpPath(Text(FTempPath)));
    if (!FLanguageFile.isEmpty() && !FLanguage.isEmpty())
      L().SetLanguage(Text(FLanguage), Text(FLanguageFile));
    L().EnableImageDevice(FEnableImageDevice ? 1 : 0);
    L().EnableMCNDisabling(FMediaChangeNotification ? 0 : 1);
    RegisterCallbacks();
    UpdateBurnDevices();
    CreateProjectNow();
    return true;
  }

  if (FAudioPlaying) {
    L().AudioFileStop();
    FAudioPlaying = false;
  }
  if (FSessionHandle != 0) {
    L().CloseDiskSession(FSessionHandle);
    FSessionHandle = 0;
    FSessionNumber = -1;
  }
  // A library thread may be waiting for this thread inside a notification while the library
  // waits for that thread: release the waits and cut the callbacks before de-initialising.
  SetClosing(true);
  L().ResetCallbacks();
  FBinding.Release();
  SAnyActive = false;
  FDeviceCount = 0;
  return true;
}

void TDiscBurnerSDK::CheckActive() {
  if (!FActive) {
    FLastError = ecNotActive;
    throw EDiscBurnerSDK("Program DLL must be Active for this function");
  }
}

bool TDiscBurnerSDK::CheckResult(int32_t result) {
  FLastError = result;
  if (result != 0) {
    db_char name[DB_ERROR_DEVICE_NAME_CHARS + 1] = {};
    if (L().GetErrorDeviceName(name, DB_ERROR_DEVICE_NAME_CHARS) == 0)
      FErrorDeviceName = TextFromField(name, DB_ERROR_DEVICE_NAME_CHARS);
    else
      FErrorDeviceName.clear();
  }
  return result == 0;
}

QString TDiscBurnerSDK::GetErrorString() {
  switch (FLastError) {
    case ecNotActive: return QStringLiteral("SDK DLL is not initialized");
    case ecLibraryNotFound: return QStringLiteral("SDK DLL file not found");
    case ecEntryPointMissing:
      return QStringLiteral("Structure error in SDK DLL: functions not found");
    default: break;
  }
  if (!FActive) return QString();
  db_char buffer[DB_TEXT_CAPACITY + 1] = {};
  int32_t length = DB_TEXT_CAPACITY;
  if (L().GetText(FLastError, buffer, &length) != 0) return QString();
  length = std::clamp<int32_t>(length, 0, DB_TEXT_CAPACITY);
  return TextFromField(buffer, static_cast<size_t>(length));
}

// --- Property setters ---

void TDiscBurnerSDK::SetEnableImageDevice(bool value) {
  FLastError = 0;
  if (value == FEnableImageDevice) return;
  FEnableImageDevice = value;
  if (IsLive()) L().EnableImageDevice(value ? 1 : 0);
}

void TDiscBurnerSDK::SetMediaChangeNotification(bool value) {
  FLastError = 0;
  if (value == FMediaChangeNotification) return;
  FMediaChangeNotification = value;
  if (IsLive()) L().EnableMCNDisabling(value ? 0 : 1);
}

TASPIType TDiscBurnerSDK::ASPIType() const {
  if (FActive) {
    uint8_t type = static_cast<uint8_t>(FInitASPIType);
    L().GetASPI(&type);
    return static_cast<TASPIType>(std::min<uint8_t>(type, 2));
  }
  return FInitASPIType;
}

void TDiscBurnerSDK::SetASPIType(TASPIType value) {
  if (FActive)
    L().SetASPI(static_cast<int32_t>(value));
  else
    FInitASPIType = value;
}

void TDiscBurnerSDK::SetTempPath(const QString& value) {
  FLastError = 0;
  if (value == FTempPath) return;
  if (!IsLive() || CheckResult(L().SetTmpPath(Text(value)))) FTempPath = value;
}

void TDiscBurnerSDK::SetLanguage(const QString& value) {
  FLastError = 0;
  if (value == FLanguage) return;
  FLanguage = value;
  if (IsLive() && !FLanguageFile.isEmpty())
    CheckResult(L().SetLanguage(Text(FLanguage), Text(FLanguageFile)));
}

void TDiscBurnerSDK::SetLanguageFile(const QString& value) {
  FLastError = 0;
  if (value == FLanguageFile) return;
  FLanguageFile = value;
  if (IsLive()) CheckResult(L().SetLanguage(Text(FLanguage), Text(FLanguageFile)));
}

void TDiscBurnerSDK::SetProjectType(TProjectType value) {
  if (value == FProjectType) return;
  FLastError = 0;
  FProjectType = value;
  if (IsLive()) CreateProjectNow();
}

void TDiscBurnerSDK::SetSessionToContinue(int32_t value) {
  FLastError = 0;
  FSessionToContinue = value;
  if (IsLive()) CreateProjectNow();
}

// --- Project ---

void TDiscBurnerSDK::CreateProjectNow() {
  if (FProjectType == TProjectType::ptNone) {
    FLastError = 0;
    L().DeleteProject();
  } else {
    FLastError = L().CreateProject(static_cast<int32_t>(FProjectType), FSessionToContinue);
    if (FLastError != 0) {
      L().DeleteProject();
      FProjectType = TProjectType::ptNone;
    }
  }
  const int32_t kept = FLastError;
  PushOptions();
  PushISOInfo();
  PushBootInfo();
  PushCompressEncrypt();
  if (FProjectType == TProjectType::ptVideoDVD) PushDVDVideoOptions();
  PushUDFOptions();
  FLastError = kept;
}

void TDiscBurnerSDK::PushOptions() {
  DBOptionsBlock b;
  std::memset(&b, 0, sizeof b);
  L().GetOptions(&b);
  const TBurningOptions& o = *FOptions;
  using S = TBurningOptionSwitch;
  const TBurningOptionSwitches sw = o.Switches();
  TextToField(o.VolumeLabel(), BURNING_FIELD(b, VolumeLabel), 128);
  if (o.WriteMethod() != TWriteMethod::wmDefault) b.WriteMethod = static_cast<int32_t>(o.WriteMethod());
  b.JolietFileSystem = Flag(sw.Contains(S::osJolietFileSystem));
  b.Bootable = Flag(sw.Contains(S::osBootable));
  TextToField(o.BootImage(), BURNING_FIELD(b, BootImage), 260);
  b.Finalize = Flag(sw.Contains(S::osFinalize));
  b.TestBurn = Flag(sw.Contains(S::osTestBurn));
  b.PerformOPC = Flag(sw.Contains(S::osPerformOPC));
  b.VerifyAfterBurn = Flag(sw.Contains(S::osVerifyAfterBurn));
  b.CacheSize = o.CacheSize();
  b.UnderrunProtection = Flag(sw.Contains(S::osUnderrunProtection));
  b.EjectAfterBurn = Flag(sw.Contains(S::osEjectAfterBurn));
  b.AutoErase = Flag(sw.Contains(S::osAutoErase));
  b.RockRidgeFileSystem = Flag(sw.Contains(S::osRockRidgeFileSystem));
  b.Copies = o.Copies();
  b.PadDataTracks = Flag(sw.Contains(S::osPadDataTracks));
  FLastError = L().SetOptions(b);
}

void TDiscBurnerSDK::PushISOInfo() {
  DBISOBlock b;
  std::memset(&b, 0, sizeof b);
  L().GetISOInfoEx(&b);
  const TISOInfo& o = *FISOInfo;
  struct {
    size_t Offset, Capacity;
  } const texts[8] = {
      {offsetof(DBISOBlock, AbstractFileIdentifier), 36},
      {offsetof(DBISOBlock, ApplicationIdentifier), 128},
      {offsetof(DBISOBlock, BiblioIdentifier), 36},
      {offsetof(DBISOBlock, CopyrightFileIdentifier), 36},
      {offsetof(DBISOBlock, DataPreparerIdentifier), 128},
      {offsetof(DBISOBlock, PublisherIdentifier), 128},
      {offsetof(DBISOBlock, SetIdentifier), 128},
      {offsetof(DBISOBlock, SystemIdentifier), 31},
  };
  for (int i = 0; i < 8; ++i)
    TextToField(o.Identifier(i + 1), reinterpret_cast<unsigned char*>(&b) + texts[i].Offset,
                texts[i].Capacity);
  b.AddSuffix = Flag(o.AddSuffix());
  b.Level = static_cast<int32_t>(o.Level()) + 1;
  b.AllowManyDirectories = Flag(o.AllowManyDirectories());
  b.AllowLowercaseNames = Flag(o.AllowLowercaseNames());
  b.AllowLongISO9660Names = Flag(o.AllowLongISO9660Names());
  b.AllowLongJolietNames = Flag(o.AllowLongJolietNames());
  b.UseCreationDateTime = Flag(o.UseCreationDateTime());
  DateTimeToDiscDate(o.CreationDateTime(), b.CreationDateTime);
  b.UseModificationDateTime = Flag(o.UseModificationDateTime());
  DateTimeToDiscDate(o.ModificationDateTime(), b.ModificationDateTime);
  b.UseExpirationDateTime = Flag(o.UseExpirationDateTime());
  DateTimeToDiscDate(o.ExpirationDateTime(), b.ExpirationDateTime);
  b.UseEffectiveDateTime = Flag(o.UseEffectiveDateTime());
  DateTimeToDiscDate(o.EffectiveDateTime(), b.EffectiveDateTime);
  FLastError = L().SetISOInfoEx(b);
}

void TDiscBurnerSDK::PushBootInfo() {
  DBBootBlock b;
  std::memset(&b, 0, sizeof b);
  L().GetBootInfoEx(&b);
  const TBootInfo& o = *FBootInfo;
  TextToField(o.DeveloperID(), BURNING_FIELD(b, DeveloperID), 24);
  b.BootIndicator = Flag(o.BootIndicator());
  b.LoadSegment = o.LoadSegment();
  b.PlatformID = static_cast<int32_t>(o.PlatformID());
  b.Emulation = static_cast<int32_t>(o.Emulation());
  b.SectorCount = o.SectorCount();
  FLastError = L().SetBootInfoEx(b);
}

void TDiscBurnerSDK::PushCompressEncrypt() {
  DBCompressEncryptBlock b;
  std::memset(&b, 0, sizeof b);
  L().GetCompressEncrypt(&b);
  const TCompressEncryptInfo& o = *FCompressEncryptInfo;
  const QString password = o.Password();  // lives for the duration of the call
  b.Compression = Flag(o.Compression());
  b.CompressionLevel = o.CompressionLevel();
  b.Encryption = Flag(o.Encryption());
  b.Password = Text(password);
  FLastError = L().SetCompressEncrypt(b);
}

void TDiscBurnerSDK::PushDVDVideoOptions() {
  DBDVDVideoBlock b;
  std::memset(&b, 0, sizeof b);
  L().GetDVDVideoOptions(&b);
  b.Padding = Flag(FDVDVideoOptions->Padding());
  b.ForceUppercase = Flag(FDVDVideoOptions->ForceUppercase());
  FLastError = L().SetDVDVideoOptions(b);
}

void TDiscBurnerSDK::PushUDFOptions() {
  DBUDFBlock b;
  std::memset(&b, 0, sizeof b);
  L().GetUDFOptions(&b);
  const TUDFOptions& o = *FUDFOptions;
  b.Version = TUDFOptions::VersionCode(o.Version());
  b.PartitionType = static_cast<int32_t>(o.PartitionType());
  b.WriteFileStreams = o.WriteFileStreams() ? 0xFF : 0;
  b.IsAvchdDisc = o.IsAvchdDisc() ? 0xFF : 0;
  FLastError = L().SetUDFOptions(b);
}

// --- Devices ---

char16_t TDiscBurnerSDK::DriveLetter(int index) const {
  return FDeviceTable[static_cast<size_t>(index - 1) * DB_DEVICE_NAME_CHARS];
}

bool TDiscBurnerSDK::RescanDevices() {
  CheckActive();
  if (!CheckResult(L().RescanDevices())) return false;
  std::array<db_char, DB_DEVICE_LIST_BYTES / 2> buffer{};
  int32_t count = 0;
  const bool ok =
      CheckResult(L().GetDevices(buffer.data(), &count, FBurningDevicesOnly ? 1 : 0));
  if (ok) {
    // The table holds 26 names; a larger count would read past it.
    FDeviceCount = std::clamp<int32_t>(count, 0, kMaxDevices);
    FDeviceTable = buffer;
    if (FAutoGetDeviceInfo) GetDeviceInfo(0);
  }
  UpdateBurnDevices();
  return ok;
}

QString TDiscBurnerSDK::GetDeviceName(int index) const {
  if (index < 1 || index > FDeviceCount) throw EDiscBurnerSDK("Devices index out of bounds");
  return TextFromField(&FDeviceTable[static_cast<size_t>(index - 1) * DB_DEVICE_NAME_CHARS],
                       DB_DEVICE_NAME_CHARS);
}

void TDiscBurnerSDK::SetBurnDevice(int index) {
  if (index < 1 || index > kMaxDevices) throw EDiscBurnerSDK("BurnDevice index out of bounds");
  FLastError = 0;
  CheckActive();
  // An entry past the device count holds no name: its letter would be a NUL.
  if (index > FDeviceCount) throw EDiscBurnerSDK("BurnDevice index out of bounds");
  if (CheckResult(L().SetBurnDevice(DriveLetter(index)))) UpdateBurnDevices();
}

void TDiscBurnerSDK::UpdateBurnDevices() {
  if (!FBinding.Loaded()) return;
  db_char letters[kMaxDevices + 1] = {};
  int32_t count = kMaxDevices;
  L().GetBurnDevice(letters, &count);
  int n = 0;
  while (n < kMaxDevices && letters[n] != 0) ++n;
  FBurnDeviceCount = n;
  for (int k = 0; k < n; ++k) {
    for (int i = 1; i <= FDeviceCount; ++i) {
      if (DriveLetter(i) == letters[k]) {
        FBurnDeviceIndex[k] = i;
        break;
      }
    }
  }
}

const TDeviceInfo& TDiscBurnerSDK::DeviceInfo(int index) const {
  static const TDeviceInfo kNone;
  return index >= 1 && index <= kMaxDevices ? FDeviceInfo[index - 1] : kNone;
}

bool TDiscBurnerSDK::GetDeviceInfo(int index) {
  CheckActive();
  if (index > 0) return ReadDeviceInfo(index);
  bool ok = true;
  for (int i = 1; i <= FDeviceCount && ok; ++i) ok = ReadDeviceInfo(i);
  return ok;
}

bool TDiscBurnerSDK::ReadDeviceInfo(int index) {
  if (index < 1 || index > FDeviceCount) throw EDiscBurnerSDK("Devices index out of bounds");
  if (OnGetDeviceInfo) OnGetDeviceInfo(this, index);
  L().SetReadDevice(DriveLetter(index));
  TDeviceInfo& info = FDeviceInfo[index - 1];
  db_char vendor[DB_VENDOR_CHARS] = {}, product[DB_PRODUCT_CHARS] = {},
          revision[DB_REVISION_CHARS] = {};
  bool ok = CheckResult(L().GetDeviceInformation(-2, vendor, product, revision));
  if (ok) {
    DBDeviceInfoEx ex;
    std::memset(&ex, 0, sizeof ex);
    ok = CheckResult(L().GetDeviceInformationEx(-2, &ex));
    if (ok) {
      info.VendorID = TextFromField(vendor, DB_VENDOR_CHARS - 1).trimmed();
      info.ProductID = TextFromField(product, DB_PRODUCT_CHARS - 1).trimmed();
      info.Revision = TextFromField(revision, DB_REVISION_CHARS - 1).trimmed();
      info.Address = TextFromField(BURNING_FIELD(ex, Address), 64);
      info.SerialNumber = TextFromField(BURNING_FIELD(ex, SerialNumber), 64);
      info.BufferSize = ex.BufferSize;
      info.MaxWriteSpeed = ex.MaxWriteSpeed;
      info.Interface = TextFromField(BURNING_FIELD(ex, Interface), 64);
      info.LoaderType = TextFromField(BURNING_FIELD(ex, LoaderType), 64);
      info.FirmwareDate = TextFromField(BURNING_FIELD(ex, FirmwareDate), 64);
      info.MaxReadSpeed = ex.MaxReadSpeed;
      info.ProfileCount = ex.ProfileCount;
      info.CurrentProfile = TextFromField(BURNING_FIELD(ex, CurrentProfile), 64);
      info.Flags = ex.Flags;
      db_handle handle = 0;
      ok = CheckResult(L().GetDeviceCapabilitiesHandle(-2, &handle));
      if (ok) {
        static const std::vector<TCapabilityQuery> queries = CapabilityQueries();
        for (size_t i = 0; i < queries.size() && i < info.Capabilities.size(); ++i) {
          uint8_t present = 0;
          L().AnalyseDeviceCapability(handle, queries[i].First, queries[i].Second, &present);
          info.Capabilities[i] = present != 0;
        }
        L().ReleaseDeviceCapabilities(handle);
      }
    }
  }
  if (FReadDevice != 0) L().SetReadDevice(DriveLetter(FReadDevice));
  return ok;
}

// --- Medium and speeds ---

bool TDiscBurnerSDK::GetMediumInfo(int device) {
  CheckActive();
  DBMediumInfo r;
  std::memset(&r, 0, sizeof r);
  if (!CheckResult(L().GetMediumInformation(device, &r))) return false;
  TMediumInfo& m = FMediumInfo;
  m.MediumType = TextFromField(BURNING_FIELD(r, MediumType), 25);
  m.Erasable = r.Erasable;
  m.ProfileCode = r.ProfileCode;
  m.SessionCount = r.SessionCount;
  m.TrackCount = r.TrackCount;
  m.LastSessionStatus = r.LastSessionStatus;
  m.Size = r.Size;
  m.UsedSectors = r.UsedSectors;
  m.FreeSectors = r.FreeSectors;
  m.MaxWriteSpeed = r.MaxWriteSpeed;
  m.MaxReadSpeed = r.MaxReadSpeed;
  m.Appendable = r.Appendable;
  m.Status = r.Status;
  m.WriteProtected = r.WriteProtected;
  m.MediumId = TextFromField(BURNING_FIELD(r, MediumId), 14);
  return true;
}

int32_t TDiscBurnerSDK::GetBurnSpeed() {
  CheckActive();
  int32_t speed = 0;
  FLastError = L().GetBurnSpeed(-1, &speed);
  return FLastError == 0 ? speed : -1;
}

int32_t TDiscBurnerSDK::SetBurnSpeed(int32_t speed) {
  CheckActive();
  FLastError = L().SetBurnSpeed(-1, speed);
  return FLastError;
}

QString TDiscBurnerSDK::SpeedToText(int32_t speed) {
  if (!FBinding.Loaded()) return QString();
  double multiple = 0;
  if (L().ConvertSpeedFromKBPerSec(speed, &multiple) != 0 || !std::isfinite(multiple))
    return QString();
  // nearbyint rounds halves to even under the default rounding mode.
  return QString::number(static_cast<long long>(std::nearbyint(multiple))) + QLatin1Char('x');
}

// --- Project files and sessions ---

bool TDiscBurnerSDK::AddFile(const QString& sourcePath, const QString& destinationFolder,
                             const QString& nameOnDisc, bool switchValue, uint8_t value) {
  CheckActive();
  DBAddFileRecord record;
  std::memset(&record, 0, sizeof record);
  record.SourcePath = Text(sourcePath);
  record.DestFolder = Text(destinationFolder);
  record.NameOnDisc = Text(nameOnDisc);
  record.Switch = Flag(switchValue);
  record.Value = value;
  return CheckResult(L().AddFile(record));
}

bool TDiscBurnerSDK::ClearAll() {
  CheckActive();
  return CheckResult(L().ClearAll());
}

void TDiscBurnerSDK::OpenSession(int32_t number) {
  CheckActive();
  if (FSessionHandle != 0) {
    L().CloseDiskSession(FSessionHandle);
    FSessionHandle = 0;
  }
  if (number == -1) {
    FLastError = 0;
    return;
  }
  db_handle handle = 0;
  FLastError = L().OpenDiskSession(FReadDevice, number, &handle, 0);
  if (FLastError == 0) {
    FSessionHandle = handle;
    FSessionNumber = number;
  }
}

bool TDiscBurnerSDK::ReadFolder(const QString& path, std::vector<TFileEntry>& entries) {
  CheckActive();
  entries.clear();
  if (FSessionHandle == 0) {
    FLastError = ecNoSession;
    return false;
  }
  db_handle directory = 0;
  if (!CheckResult(L().OpenDirectory(FSessionHandle, Text(path), &directory))) return false;
  int32_t count = 0;
  const bool ok = CheckResult(L().GetNumberOfFiles(directory, &count));
  if (ok) {
    for (int32_t i = 0; i < count; ++i) {
      DBFileEntry record;
      std::memset(&record, 0, sizeof record);
      L().ReadDirectory(directory, i, &record);
      entries.push_back(FileEntryFromLibrary(record));
    }
  }
  L().CloseDirectory(directory);
  return ok;
}

namespace {
// Folder names that would make the walk visit the same folder again.
bool WalkableFolder(const TFileEntry& e) {
  return e.IsFolder() && !e.Name.isEmpty() && e.Name != QLatin1String(".") &&
         e.Name != QLatin1String("..");
}
constexpr int kMaxFolderDepth = 256;
}  // namespace

int64_t TDiscBurnerSDK::WalkFolder(const QString& path, int depth, bool countFiles) {
  std::vector<TFileEntry> entries;
  if (depth > kMaxFolderDepth || !ReadFolder(path, entries)) return 0;
  int64_t total = 0;
  for (const TFileEntry& e : entries) {
    if (!e.IsFolder())
      total += countFiles ? 1 : e.Size;
    else if (WalkableFolder(e))
      total += WalkFolder(path + e.Name + QLatin1Char('\\'), depth + 1, countFiles);
  }
  return total;
}

int64_t TDiscBurnerSDK::GetProjectSize() {
  OpenSession(0);
  return WalkFolder(QStringLiteral("\\"), 0, false);
}

int64_t TDiscBurnerSDK::GetProjectFileCount() {
  OpenSession(0);
  return WalkFolder(QStringLiteral("\\"), 0, true);
}

// --- Jobs ---

bool TDiscBurnerSDK::Erase(bool first, bool second) {
  CheckActive();
  return CheckResult(L().Erase(first ? 1 : 0, second ? 1 : 0));
}

bool TDiscBurnerSDK::Prepare() {
  CheckActive();
  return CheckResult(L().Prepare());
}

bool TDiscBurnerSDK::Burn() {
  CheckActive();
  return CheckResult(L().Burn());
}

bool TDiscBurnerSDK::Abort() {
  CheckActive();
  SetNoWait(true);
  const int32_t result = L().Abort();
  SetNoWait(false);
  return CheckResult(result);
}

}  // namespace burning
