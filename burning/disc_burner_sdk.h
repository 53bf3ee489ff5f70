#pragma once
// TDiscBurnerSDK: the non-visual component through which the application burns and erases
// discs. It loads the disc-burning library, keeps the device table and the medium record,
// creates the burn project, runs jobs and turns every library result into LastError plus a
// text. The library's notifications arrive as events on the thread the component lives in
// (the user-interface thread) while the library's thread waits.

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "burning/burn_options.h"
#include "burning/burner_binding.h"
#include "burning/burner_types.h"
#include "burning/file_entry.h"

namespace burning {

/// One device of the device table.
struct TDeviceInfo {
  QString VendorID;   ///< up to 8 characters, trimmed
  QString ProductID;  ///< up to 16 characters, trimmed
  QString Revision;   ///< up to 4 characters, trimmed
  QString Address;
  QString SerialNumber;
  int32_t BufferSize = 0;
  int32_t MaxWriteSpeed = 0;
  QString Interface;
  QString LoaderType;
  QString FirmwareDate;
  int32_t MaxReadSpeed = 0;
  int32_t ProfileCount = 0;
  QString CurrentProfile;
  int32_t Flags = 0;
  std::array<bool, 83> Capabilities{};
};

/// The medium in the burn device.
struct TMediumInfo {
  QString MediumType;
  uint8_t Erasable = 0;
  int32_t ProfileCode = 0;
  int32_t SessionCount = 0;
  int32_t TrackCount = 0;
  int32_t LastSessionStatus = 0;
  double Size = 0;  ///< bytes
  int32_t UsedSectors = 0;
  int32_t FreeSectors = 0;
  int32_t MaxWriteSpeed = 0;
  int32_t MaxReadSpeed = 0;
  uint8_t Appendable = 0;
  uint8_t Status = 0;  ///< 0 = no medium
  uint8_t WriteProtected = 0;
  QString MediumId;
};

class TDiscBurnerSDK : public QObject {
  Q_OBJECT

 public:
  /// The component's own result codes.
  enum : int32_t {
    ecNoSession = DB_ERR_NO_SESSION,
    ecNotActive = DB_CODE_NOT_ACTIVE,
    ecLibraryNotFound = DB_CODE_LIBRARY_MISSING,
    ecEntryPointMissing = DB_CODE_ENTRY_MISSING,
  };
  static constexpr int kMaxDevices = DB_MAX_DEVICES;

  explicit TDiscBurnerSDK(QObject* parent = nullptr);
  /// Deactivates first, so that no library thread can call into a half-destroyed component.
  ~TDiscBurnerSDK() override;

  // --- Properties ---
  bool Active() const { return FActive; }
  /// Loads and initialises the library (true) or releases it (false). A failed activation
  /// leaves Active false with LastError set. Raises EDiscBurnerSDK when another instance is
  /// active.
  void SetActive(bool value);
  QString DLLName() const { return FDLLName; }
  void SetDLLName(const QString& value) { FDLLName = value; }
  TASPIType InitASPIType() const { return FInitASPIType; }
  void SetInitASPIType(TASPIType value) { FInitASPIType = value; }
  bool EnableImageDevice() const { return FEnableImageDevice; }
  void SetEnableImageDevice(bool value);
  TASPIType ASPIType() const;
  void SetASPIType(TASPIType value);
  QString TempPath() const { return FTempPath; }
  void SetTempPath(const QString& value);
  TInfoTextLevel InfoTextLevel() const { return static_cast<TInfoTextLevel>(FInfoTextLevel.load()); }
  void SetInfoTextLevel(TInfoTextLevel value) { FInfoTextLevel = static_cast<int>(value); }
  bool MediaChangeNotification() const { return FMediaChangeNotification; }
  void SetMediaChangeNotification(bool value);
  QString LanguageFile() const { return FLanguageFile; }
  void SetLanguageFile(const QString& value);
  QString Language() const { return FLanguage; }
  void SetLanguage(const QString& value);
  bool AutoGetDeviceInfo() const { return FAutoGetDeviceInfo; }
  void SetAutoGetDeviceInfo(bool value) { FAutoGetDeviceInfo = value; }
  bool BurningDevicesOnly() const { return FBurningDevicesOnly; }
  void SetBurningDevicesOnly(bool value) { FBurningDevicesOnly = value; }
  TProjectType ProjectType() const { return FProjectType; }
  void SetProjectType(TProjectType value);
  int32_t SessionToContinue() const { return FSessionToContinue; }
  void SetSessionToContinue(int32_t value);

  TBurningOptions& Options() { return *FOptions; }
  void SetOptions(const TBurningOptions& value) { FOptions->Assign(value); }
  TISOInfo& ISOInfo() { return *FISOInfo; }
  void SetISOInfo(const TISOInfo& value) { FISOInfo->Assign(value); }
  TBootInfo& BootInfo() { return *FBootInfo; }
  void SetBootInfo(const TBootInfo& value) { FBootInfo->Assign(value); }
  TCompressEncryptInfo& CompressEncryptInfo() { return *FCompressEncryptInfo; }
  void SetCompressEncryptInfo(const TCompressEncryptInfo& value) { FCompressEncryptInfo->Assign(value); }
  TUDFOptions& UDFOptions() { return *FUDFOptions; }
  void SetUDFOptions(const TUDFOptions& value) { FUDFOptions->Assign(value); }
  TDVDVideoOptions& DVDVideoOptions() { return *FDVDVideoOptions; }
  void SetDVDVideoOptions(const TDVDVideoOptions& value) { FDVDVideoOptions->Assign(value); }
  TReadErrorCorrectionParams& ReadErrorCorrectionParams() { return *FReadErrorCorrectionParams; }
  void SetReadErrorCorrectionParams(const TReadErrorCorrectionParams& value) {
    FReadErrorCorrectionParams->Assign(value);
  }

  // --- State ---
  int32_t LastError() const { return FLastError; }
  QString ErrorDeviceName() const { return FErrorDeviceName; }
  int DeviceCount() const { return FDeviceCount; }
  int BurnDeviceCount() const { return FBurnDeviceCount; }
  /// Device-table index of the k-th burn device (k = 1..26); 0 when unknown.
  int BurnDeviceIndex(int k) const { return k >= 1 && k <= kMaxDevices ? FBurnDeviceIndex[k - 1] : 0; }
  /// Information of device-table entry `index` (1..26), as GetDeviceInfo read it.
  const TDeviceInfo& DeviceInfo(int index) const;
  const TMediumInfo& MediumInfo() const { return FMediumInfo; }
  int ReadDevice() const { return FReadDevice; }
  db_handle SessionHandle() const { return FSessionHandle; }
  /// Active, and so allowed to reach the library.
  bool IsLive() const { return FActive; }

  // --- Operations (the guarded ones raise EDiscBurnerSDK while inactive) ---
  QString GetErrorString();
  bool RescanDevices();
  QString GetDeviceName(int index) const;
  void SetBurnDevice(int index);
  void UpdateBurnDevices();
  bool GetDeviceInfo(int index);
  bool GetMediumInfo(int device);
  int32_t GetBurnSpeed();
  int32_t SetBurnSpeed(int32_t speed);
  QString SpeedToText(int32_t speed);
  bool AddFile(const QString& sourcePath, const QString& destinationFolder,
               const QString& nameOnDisc, bool switchValue, uint8_t value);
  bool ClearAll();
  int64_t GetProjectSize();
  int64_t GetProjectFileCount();
  void OpenSession(int32_t number);
  bool ReadFolder(const QString& path, std::vector<TFileEntry>& entries);
  bool Erase(bool first, bool second);
  bool Prepare();
  bool Burn();
  /// Asks the library to stop the running job; never waits for it. Notifications sent while
  /// the library handles the request reach their events later, without holding its thread.
  bool Abort();

  // Option blocks to the library (LastError := the Set call's result).
  void PushOptions();
  void PushISOInfo();
  void PushBootInfo();
  void PushCompressEncrypt();
  void PushDVDVideoOptions();
  void PushUDFOptions();

  // --- Events (assign while no job runs) ---
  using TInfoTextEvent = std::function<void(TDiscBurnerSDK*, const QString&, TInfoTextLevel)>;
  using TProcessEvent = std::function<void(TDiscBurnerSDK*, float, float, float, double, double)>;
  using TTextEvent = std::function<void(TDiscBurnerSDK*, const QString&)>;
  using TNotifyEvent = std::function<void(TDiscBurnerSDK*)>;
  using TBurnFileEvent = TTextEvent;
  using TEraseDoneEvent = TTextEvent;
  using TFinalizeEvent = TNotifyEvent;
  using TBurnDoneEvent = TTextEvent;
  using TJobDoneEvent = TNotifyEvent;
  using TAudioDecodeDoneEvent = std::function<void(TDiscBurnerSDK*, const QString&, const QString&, int32_t)>;
  using TVideoScannerEvent = std::function<void(TDiscBurnerSDK*, float, const QString&)>;
  using TVideoScanDoneEvent = std::function<void(TDiscBurnerSDK*, const QString&, const QString&, int32_t, const TVideoFormat&)>;
  using TStartVerifyEvent = TNotifyEvent;
  using TVerifyFileEvent = TTextEvent;
  using TVerifyErrorEvent = std::function<void(TDiscBurnerSDK*, const QString&, const QString&)>;
  using TVerifyDoneEvent = std::function<void(TDiscBurnerSDK*, int32_t)>;
  using TRawDataEvent = std::function<void(TDiscBurnerSDK*, int32_t lba, void* buffer, int32_t bufferSize, int32_t& read, int32_t& returnCode)>;
  using TAddFileEvent = std::function<void(TDiscBurnerSDK*, const QString&, const QString&, const QString&, const QString&, double, double)>;
  using TCreateDirEvent = std::function<void(TDiscBurnerSDK*, const QString&, const QString&, const QString&, const QString&)>;
  using TRemoveFileEvent = std::function<void(TDiscBurnerSDK*, const QString&, const QString&, const QString&)>;
  using TCompareFilesForArrangementEvent = std::function<void(TDiscBurnerSDK*, const TFileEntry&, const TFileEntry&, bool&)>;
  using TGetDeviceInfoEvent = std::function<void(TDiscBurnerSDK*, int)>;

  TInfoTextEvent OnInfoText;
  TGetDeviceInfoEvent OnGetDeviceInfo;
  TProcessEvent OnProcess;
  TBurnFileEvent OnBurnFile;
  TEraseDoneEvent OnEraseDone;
  TFinalizeEvent OnFinalize;
  TBurnDoneEvent OnBurnDone;
  TJobDoneEvent OnJobDone;
  TAddFileEvent OnAddFile;
  TCreateDirEvent OnCreateDir;
  TRemoveFileEvent OnRemoveFile;
  TAudioDecodeDoneEvent OnAudioDecodeDone;
  TVideoScannerEvent OnVideoScanner;
  TVideoScanDoneEvent OnVideoScanDone;
  TStartVerifyEvent OnStartVerify;
  TVerifyFileEvent OnVerifyFile;
  TVerifyErrorEvent OnVerifyError;
  TVerifyDoneEvent OnVerifyDone;
  TRawDataEvent OnRawData;
  TCompareFilesForArrangementEvent OnCompareFilesForArrangement;

 private:
  const TBurnerEntryPoints& L() const { return FBinding.Fn(); }
  void CheckActive();
  bool CheckResult(int32_t result);
  bool DoActivate(bool value);
  void CreateProjectNow();
  bool ReadDeviceInfo(int index);
  char16_t DriveLetter(int index) const;
  /// Sum of the file sizes (or the number of files) below `path` in the open session;
  /// folders count only through what they hold, a folder that cannot be read adds 0.
  int64_t WalkFolder(const QString& path, int depth, bool countFiles);
  void RegisterCallbacks();

  // Callback delivery (disc_burner_sdk_events.cpp).
  struct TDelivery;
  /// Runs `handler` on the component's thread and waits for it, unless the component is
  /// closing (dropped, false) or an abort is under way (queued without waiting, false).
  /// Returns true when the handler ran before the call returned.
  bool Deliver(std::function<void()> handler, bool dropUnlessWaited);
  /// Runs the oldest pending delivery; posted once per delivery, by name, so that what the
  /// library's thread hands over passes only through FDeliveryMutex.
  Q_INVOKABLE void RunPendingDelivery();
  void SetClosing(bool closing);
  void SetNoWait(bool noWait);
  friend struct TBurnerCallbacks;

  TBurnerBinding FBinding;
  bool FActive = false;
  QString FDLLName = QStringLiteral("libdiscburn.so");
  TASPIType FInitASPIType = TASPIType::atInternal;
  bool FEnableImageDevice = false;
  QString FTempPath;
  std::atomic<int> FInfoTextLevel{0};
  bool FMediaChangeNotification = false;
  QString FLanguageFile;
  QString FLanguage;
  bool FAutoGetDeviceInfo = false;
  bool FBurningDevicesOnly = false;
  TProjectType FProjectType = TProjectType::ptNone;
  int32_t FSessionToContinue = -1;

  std::unique_ptr<TBurningOptions> FOptions;
  std::unique_ptr<TISOInfo> FISOInfo;
  std::unique_ptr<TBootInfo> FBootInfo;
  std::unique_ptr<TCompressEncryptInfo> FCompressEncryptInfo;
  std::unique_ptr<TUDFOptions> FUDFOptions;
  std::unique_ptr<TDVDVideoOptions> FDVDVideoOptions;
  std::unique_ptr<TReadErrorCorrectionParams> FReadErrorCorrectionParams;

  int32_t FLastError = 0;
  QString FErrorDeviceName;
  std::array<char16_t, DB_DEVICE_LIST_BYTES / 2> FDeviceTable{};
  int FDeviceCount = 0;
  std::array<TDeviceInfo, kMaxDevices> FDeviceInfo;
  int FBurnDeviceCount = 0;
  std::array<int, kMaxDevices> FBurnDeviceIndex{};
  TMediumInfo FMediumInfo;
  int FReadDevice = 0;
  db_handle FSessionHandle = 0;
  int32_t FSessionNumber = -1;
  bool FAudioPlaying = false;

  std::mutex FDeliveryMutex;
  std::condition_variable FDeliveryDone;
  std::deque<std::shared_ptr<TDelivery>> FPendingDeliveries;
  bool FClosing = false;
  bool FNoWait = false;

  static bool SAnyActive;
};

}  // namespace burning
