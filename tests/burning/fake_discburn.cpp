// A recording stand-in for libdiscburn.so: every entry point records its name and returns the
// result a test set for it (0 by default); the ones the component relies on also keep or
// answer what the tests need. Built twice: complete, and with FAKE_OMIT_ONE_EXPORT without
// one entry point.

#include "fake_discburn.h"

#include <cstring>
#include <memory>

namespace {

std::unique_ptr<TFakeDiscburn>& Holder() {
  static std::unique_ptr<TFakeDiscburn> state;
  return state;
}

void FillBlocks(TFakeDiscburn& s) {
  std::memset(&s.Options, kFakeBlockFill, sizeof s.Options);
  std::memset(&s.ISO, kFakeBlockFill, sizeof s.ISO);
  std::memset(&s.Boot, kFakeBlockFill, sizeof s.Boot);
  std::memset(&s.Compress, kFakeBlockFill, sizeof s.Compress);
  std::memset(&s.DVD, kFakeBlockFill, sizeof s.DVD);
  std::memset(&s.UDF, kFakeBlockFill, sizeof s.UDF);
}

TFakeDiscburn& S() {
  if (!Holder()) {
    Holder() = std::make_unique<TFakeDiscburn>();
    FillBlocks(*Holder());
  }
  return *Holder();
}

int32_t Record(const char* name) {
  TFakeDiscburn& s = S();
  std::lock_guard<std::mutex> lock(s.Mutex);
  s.Calls.emplace_back(name);
  auto it = s.Results.find(name);
  return it == s.Results.end() ? 0 : it->second;
}

std::u16string Str(const db_char* text) { return text ? std::u16string(text) : std::u16string(); }

void CopyText(const std::u16string& text, db_char* out, size_t capacity) {
  const size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(out, text.data(), n * 2);
  out[n] = 0;
}

void JoinJob(TFakeDiscburn& s) {
  if (s.Job.joinable() && s.Job.get_id() != std::this_thread::get_id()) s.Job.join();
}

// Runs one notification on the job thread: the callback is read and called while the
// callback lock is held, so that ResetCallbacks cannot return while one is running.
template <typename Call>
void Step(TFakeDiscburn& s, Call call) {
  {
    std::lock_guard<std::recursive_mutex> lock(s.CallbackMutex);
    s.InCallback = true;
    call();
    s.InCallback = false;
  }
  ++s.StepsDone;
}

void StartJob(TFakeDiscburn& s, bool erase) {
  JoinJob(s);
  s.JobFinished = false;
  s.StepsDone = 0;
  s.AbortRequested = false;
  s.Job = std::thread([&s, erase] {
    s.JobThreadId = std::this_thread::get_id();
    if (erase) {
      Step(s, [&] { if (s.EraseDone) s.EraseDone(u"", s.User); });
    } else {
      Step(s, [&] { if (s.Process) s.Process(50.5f, 80.0f, 25.0f, 1048576.0, 2097152.0, s.User); });
      Step(s, [&] { if (s.InfoText) s.InfoText(u"writing", s.JobInfoLevel, s.User); });
      Step(s, [&] { if (s.BurnFile) s.BurnFile(u"clip.mkv", s.User); });
      Step(s, [&] { if (s.Finalize) s.Finalize(s.User); });
      Step(s, [&] { if (s.BurnDone) s.BurnDone(s.AbortRequested ? u"aborted" : u"", s.User); });
    }
    Step(s, [&] { if (s.JobDone) s.JobDone(s.User); });
    {
      std::lock_guard<std::mutex> lock(s.FinishedMutex);
      s.JobFinished = true;
    }
    s.FinishedCv.notify_all();
  });
}

// Directory handles index a list of the opened folder names.
std::vector<std::u16string>& OpenedFolders() {
  static std::vector<std::u16string> folders;
  return folders;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) TFakeDiscburn* FakeDiscburnState() { return &S(); }

__attribute__((visibility("default"))) void FakeDiscburnReset() {
  if (Holder()) JoinJob(*Holder());
  Holder() = std::make_unique<TFakeDiscburn>();
  FillBlocks(*Holder());
}

// --- Entry points with behaviour ---

int32_t Initialize(int32_t aspiType, int32_t enableImageDevice) {
  S().InitializeArgs[0] = aspiType;
  S().InitializeArgs[1] = enableImageDevice;
  return Record("Initialize");
}

int32_t DeInitialize(void) {
  // Like a real library: the job thread ends before DeInitialize returns.
  JoinJob(S());
  std::lock_guard<std::recursive_mutex> lock(S().CallbackMutex);
  S().User = nullptr;
  return Record("DeInitialize");
}

int32_t ResetCallbacks(void) {
  TFakeDiscburn& s = S();
  {
    std::lock_guard<std::recursive_mutex> lock(s.CallbackMutex);
    s.InfoText = nullptr; s.Process = nullptr; s.BurnFile = nullptr; s.EraseDone = nullptr;
    s.Finalize = nullptr; s.BurnDone = nullptr; s.JobDone = nullptr; s.AddFile = nullptr;
    s.CreateDir = nullptr; s.RemoveFile = nullptr; s.AudioDecodeDone = nullptr;
    s.VideoScanner = nullptr; s.VideoScanDone = nullptr; s.StartVerify = nullptr;
    s.VerifyFile = nullptr; s.VerifyError = nullptr; s.VerifyDone = nullptr;
    s.RawData = nullptr; s.CompareFiles = nullptr;
  }
  return Record("ResetCallbacks");
}

int32_t SetTmpPath(const db_char* path) {
  S().TmpPath = Str(path);
  return Record("SetTmpPath");
}

int32_t SetLanguage(const db_char* language, const db_char* languageFile) {
  S().Language = Str(language);
  S().LanguageFile = Str(languageFile);
  return Record("SetLanguage");
}

int32_t GetText(int32_t code, db_char* buffer, int32_t* length) {
  const int32_t result = Record("GetText");
  TFakeDiscburn& s = S();
  auto it = s.Texts.find(code);
  const std::u16string text = it == s.Texts.end() ? u"" : it->second;
  // Answers the full length even when it exceeds the buffer, as a careless library might.
  const size_t n = std::min<size_t>(text.size(), static_cast<size_t>(*length));
  std::memcpy(buffer, text.data(), n * 2);
  *length = static_cast<int32_t>(text.size());
  return result;
}

int32_t SetASPI(int32_t) { return Record("SetASPI"); }
int32_t GetASPI(uint8_t* aspiType) {
  *aspiType = 2;
  return Record("GetASPI");
}
int32_t EnableImageDevice(int32_t enable) {
  S().EnableImageDeviceArg = enable;
  return Record("EnableImageDevice");
}
int32_t EnableMCNDisabling(int32_t disable) {
  S().EnableMCNDisablingArg = disable;
  return Record("EnableMCNDisabling");
}

int32_t GetErrorDeviceName(db_char* buffer, int32_t capacity) {
  const int32_t result = Record("GetErrorDeviceName");
  CopyText(S().ErrorDeviceName, buffer, static_cast<size_t>(capacity));
  return result;
}

int32_t RescanDevices(void) { return Record("RescanDevices"); }

int32_t GetDevices(db_char* buffer, int32_t* count, int32_t) {
  const int32_t result = Record("GetDevices");
  TFakeDiscburn& s = S();
  for (size_t i = 0; i < s.Devices.size() && i < DB_MAX_DEVICES; ++i)
    CopyText(s.Devices[i], buffer + i * DB_DEVICE_NAME_CHARS, DB_DEVICE_NAME_CHARS);
  *count = s.ReportedDeviceCount.value_or(static_cast<int32_t>(s.Devices.size()));
  return result;
}

int32_t GetBurnDevice(db_char* letters, int32_t* count) {
  const int32_t result = Record("GetBurnDevice");
  CopyText(S().BurnLetters, letters, static_cast<size_t>(*count));
  return result;
}

int32_t SetBurnDevice(int32_t letter) {
  S().SetBurnDeviceLetters.push_back(letter);
  return Record("SetBurnDevice");
}

int32_t SetReadDevice(int32_t letter) {
  S().SetReadDeviceLetters.push_back(letter);
  return Record("SetReadDevice");
}

int32_t GetDeviceInformation(int32_t, db_char* vendor, db_char* product, db_char* revision) {
  CopyText(S().Vendor, vendor, DB_VENDOR_CHARS);
  CopyText(S().Product, product, DB_PRODUCT_CHARS);
  CopyText(S().Revision, revision, DB_REVISION_CHARS);
  return Record("GetDeviceInformation");
}

int32_t GetDeviceInformationEx(int32_t, DBDeviceInfoEx* info) {
  *info = S().DeviceEx;
  return Record("GetDeviceInformationEx");
}

int32_t GetDeviceCapabilitiesHandle(int32_t, db_handle* handle) {
  *handle = 77;
  return Record("GetDeviceCapabilitiesHandle");
}

int32_t AnalyseDeviceCapability(db_handle, uint32_t firstGroup, uint32_t secondGroup, uint8_t* present) {
  TFakeDiscburn& s = S();
  s.CapabilityQueries.emplace_back(firstGroup, secondGroup);
  const int32_t key = secondGroup == 0 ? static_cast<int32_t>(firstGroup)
                      : secondGroup == 0xFFFF ? -static_cast<int32_t>(firstGroup)
                                              : 0x10000 + static_cast<int32_t>(secondGroup);
  auto it = s.Capabilities.find(key);
  *present = it == s.Capabilities.end() ? 0 : it->second;
  return Record("AnalyseDeviceCapability");
}

int32_t ReleaseDeviceCapabilities(db_handle) { return Record("ReleaseDeviceCapabilities"); }

int32_t GetMediumInformation(int32_t, DBMediumInfo* info) {
  *info = S().Medium;
  return Record("GetMediumInformation");
}

int32_t GetBurnSpeed(int32_t, int32_t* speed) {
  *speed = S().BurnSpeed;
  return Record("GetBurnSpeed");
}

int32_t SetBurnSpeed(int32_t, int32_t speed) {
  S().LastSetSpeed = speed;
  return Record("SetBurnSpeed");
}

int32_t ConvertSpeedFromKBPerSec(int32_t speed, double* multiple) {
  // 1x = 176.4 KB/s (CD) unless a test set the answer.
  *multiple = S().SpeedMultiple != 0 ? S().SpeedMultiple : speed / 176.4;
  return Record("ConvertSpeedFromKBPerSec");
}

int32_t CreateProject(int32_t projectType, int32_t sessionToContinue) {
  S().ProjectType = projectType;
  S().ProjectSession = sessionToContinue;
  return Record("CreateProject");
}

int32_t DeleteProject(void) { return Record("DeleteProject"); }

int32_t AddFile(DBAddFileRecord record) {
  TFakeAddedFile f;
  f.Source = Str(record.SourcePath);
  f.Folder = Str(record.DestFolder);
  f.Name = Str(record.NameOnDisc);
  f.Switch = record.Switch;
  f.Value = record.Value;
  f.Reserved.assign(record.Reserved, record.Reserved + sizeof record.Reserved);
  S().AddedFiles.push_back(f);
  TFakeDiscburn& s = S();
  {
    std::lock_guard<std::recursive_mutex> lock(s.CallbackMutex);
    if (s.AddFile) s.AddFile(f.Source.c_str(), f.Name.c_str(), u"ISO", u"UDF", 36526.5, 1234.0, s.User);
  }
  return Record("AddFile");
}

int32_t ClearAll(void) { return Record("ClearAll"); }

int32_t OpenDiskSession(int32_t device, int32_t session, db_handle* handle, int32_t) {
  S().OpenDiskSessionArgs[0] = device;
  S().OpenDiskSessionArgs[1] = session;
  *handle = 1000 + session;
  return Record("OpenDiskSession");
}

int32_t CloseDiskSession(db_handle) { return Record("CloseDiskSession"); }

int32_t OpenDirectory(db_handle, const db_char* path, db_handle* directory) {
  const int32_t result = Record("OpenDirectory");
  OpenedFolders().push_back(Str(path));
  *directory = static_cast<db_handle>(OpenedFolders().size());
  ++S().OpenDirectories;
  return result;
}

int32_t GetNumberOfFiles(db_handle directory, int32_t* count) {
  const auto& folder = OpenedFolders().at(static_cast<size_t>(directory) - 1);
  auto it = S().Folders.find(folder);
  *count = it == S().Folders.end() ? 0 : static_cast<int32_t>(it->second.size());
  return Record("GetNumberOfFiles");
}

int32_t ReadDirectory(db_handle directory, int32_t index, DBFileEntry* entry) {
  const auto& folder = OpenedFolders().at(static_cast<size_t>(directory) - 1);
  *entry = S().Folders.at(folder).at(static_cast<size_t>(index));
  return Record("ReadDirectory");
}

int32_t CloseDirectory(db_handle) {
  --S().OpenDirectories;
  return Record("CloseDirectory");
}

#define FAKE_BLOCK(getName, setName, Type, field)        \
  int32_t getName(Type* block) {                         \
    *block = S().field;                                  \
    return Record(#getName);                             \
  }                                                      \
  int32_t setName(Type block) {                          \
    const int32_t result = Record(#setName);             \
    if (result == 0) S().field = block;                  \
    return result;                                       \
  }
FAKE_BLOCK(GetOptions, SetOptions, DBOptionsBlock, Options)
FAKE_BLOCK(GetISOInfoEx, SetISOInfoEx, DBISOBlock, ISO)
FAKE_BLOCK(GetBootInfoEx, SetBootInfoEx, DBBootBlock, Boot)
FAKE_BLOCK(GetDVDVideoOptions, SetDVDVideoOptions, DBDVDVideoBlock, DVD)
FAKE_BLOCK(GetUDFOptions, SetUDFOptions, DBUDFBlock, UDF)
#undef FAKE_BLOCK

int32_t GetCompressEncrypt(DBCompressEncryptBlock* block) {
  *block = S().Compress;
  block->Password = nullptr;
  return Record("GetCompressEncrypt");
}

int32_t SetCompressEncrypt(DBCompressEncryptBlock block) {
  const int32_t result = Record("SetCompressEncrypt");
  S().Password = Str(block.Password);
  block.Password = nullptr;  // valid only during this call
  if (result == 0) S().Compress = block;
  return result;
}

int32_t Erase(int32_t quick, int32_t eject) {
  S().EraseArgs[0] = quick;
  S().EraseArgs[1] = eject;
  const int32_t result = Record("Erase");
  if (result == 0) StartJob(S(), true);
  return result;
}

int32_t Prepare(void) { return Record("Prepare"); }

int32_t Burn(void) {
  const int32_t result = Record("Burn");
  if (result == 0) StartJob(S(), false);
  return result;
}

int32_t Abort(void) {
  // A library that waits for its job thread here: the component must not let that thread
  // wait for the user-interface thread meanwhile.
  S().AbortRequested = true;
  JoinJob(S());
  return Record("Abort");
}

int32_t AudioFileStop(void) { return Record("AudioFileStop"); }

#define FAKE_REGISTER(name, Type, field)                      \
  int32_t Set##name##EventCallback(Type callback, void* user) { \
    TFakeDiscburn& s = S();                                     \
    {                                                           \
      std::lock_guard<std::recursive_mutex> lock(s.CallbackMutex); \
      s.field = callback;                                       \
      s.User = user;                                            \
    }                                                           \
    s.RegistrationOrder.emplace_back(#name);                    \
    return Record("Set" #name "EventCallback");                 \
  }
FAKE_REGISTER(Process, DBProcessCallback, Process)
FAKE_REGISTER(BurnFile, DBBurnFileCallback, BurnFile)
FAKE_REGISTER(EraseDone, DBEraseDoneCallback, EraseDone)
FAKE_REGISTER(Finalize, DBFinalizeCallback, Finalize)
FAKE_REGISTER(BurnDone, DBBurnDoneCallback, BurnDone)
FAKE_REGISTER(JobDone, DBJobDoneCallback, JobDone)
FAKE_REGISTER(AddFile, DBAddFileCallback, AddFile)
FAKE_REGISTER(CreateDir, DBCreateDirCallback, CreateDir)
FAKE_REGISTER(RemoveFile, DBRemoveFileCallback, RemoveFile)
FAKE_REGISTER(AudioDecodeDone, DBAudioDecodeDoneCallback, AudioDecodeDone)
FAKE_REGISTER(VideoScanner, DBVideoScannerCallback, VideoScanner)
FAKE_REGISTER(VideoScanDone, DBVideoScanDoneCallback, VideoScanDone)
FAKE_REGISTER(StartVerify, DBStartVerifyCallback, StartVerify)
FAKE_REGISTER(VerifyFile, DBVerifyFileCallback, VerifyFile)
FAKE_REGISTER(VerifyError, DBVerifyErrorCallback, VerifyError)
FAKE_REGISTER(VerifyDone, DBVerifyDoneCallback, VerifyDone)
FAKE_REGISTER(RAWData, DBRawDataCallback, RawData)
FAKE_REGISTER(CompareFilesForArrangement, DBCompareFilesCallback, CompareFiles)
#undef FAKE_REGISTER

int32_t SetInfoTextEventCallback(DBInfoTextCallback callback, int32_t level, void* user) {
  TFakeDiscburn& s = S();
  {
    std::lock_guard<std::recursive_mutex> lock(s.CallbackMutex);
    s.InfoText = callback;
    s.User = user;
  }
  s.InfoTextLevelArg = level;
  s.RegistrationOrder.emplace_back("InfoText");
  return Record("SetInfoTextEventCallback");
}

// --- Every other entry point: recorded, answers its set result ---
//
// The list of entry points with behaviour above; each gets `~, 1` so that the probe below
// skips it when generating the plain ones.
#define FAKE_CUSTOM_Initialize ~, 1
#define FAKE_CUSTOM_DeInitialize ~, 1
#define FAKE_CUSTOM_ResetCallbacks ~, 1
#define FAKE_CUSTOM_SetTmpPath ~, 1
#define FAKE_CUSTOM_SetLanguage ~, 1
#define FAKE_CUSTOM_GetText ~, 1
#define FAKE_CUSTOM_SetASPI ~, 1
#define FAKE_CUSTOM_GetASPI ~, 1
#define FAKE_CUSTOM_EnableImageDevice ~, 1
#define FAKE_CUSTOM_EnableMCNDisabling ~, 1
#define FAKE_CUSTOM_GetErrorDeviceName ~, 1
#define FAKE_CUSTOM_RescanDevices ~, 1
#define FAKE_CUSTOM_GetDevices ~, 1
#define FAKE_CUSTOM_GetBurnDevice ~, 1
#define FAKE_CUSTOM_SetBurnDevice ~, 1
#define FAKE_CUSTOM_SetReadDevice ~, 1
#define FAKE_CUSTOM_GetDeviceInformation ~, 1
#define FAKE_CUSTOM_GetDeviceInformationEx ~, 1
#define FAKE_CUSTOM_GetDeviceCapabilitiesHandle ~, 1
#define FAKE_CUSTOM_AnalyseDeviceCapability ~, 1
#define FAKE_CUSTOM_ReleaseDeviceCapabilities ~, 1
#define FAKE_CUSTOM_GetMediumInformation ~, 1
#define FAKE_CUSTOM_GetBurnSpeed ~, 1
#define FAKE_CUSTOM_SetBurnSpeed ~, 1
#define FAKE_CUSTOM_ConvertSpeedFromKBPerSec ~, 1
#define FAKE_CUSTOM_CreateProject ~, 1
#define FAKE_CUSTOM_DeleteProject ~, 1
#define FAKE_CUSTOM_AddFile ~, 1
#define FAKE_CUSTOM_ClearAll ~, 1
#define FAKE_CUSTOM_OpenDiskSession ~, 1
#define FAKE_CUSTOM_CloseDiskSession ~, 1
#define FAKE_CUSTOM_OpenDirectory ~, 1
#define FAKE_CUSTOM_GetNumberOfFiles ~, 1
#define FAKE_CUSTOM_ReadDirectory ~, 1
#define FAKE_CUSTOM_CloseDirectory ~, 1
#define FAKE_CUSTOM_GetOptions ~, 1
#define FAKE_CUSTOM_SetOptions ~, 1
#define FAKE_CUSTOM_GetISOInfoEx ~, 1
#define FAKE_CUSTOM_SetISOInfoEx ~, 1
#define FAKE_CUSTOM_GetBootInfoEx ~, 1
#define FAKE_CUSTOM_SetBootInfoEx ~, 1
#define FAKE_CUSTOM_GetCompressEncrypt ~, 1
#define FAKE_CUSTOM_SetCompressEncrypt ~, 1
#define FAKE_CUSTOM_GetDVDVideoOptions ~, 1
#define FAKE_CUSTOM_SetDVDVideoOptions ~, 1
#define FAKE_CUSTOM_GetUDFOptions ~, 1
#define FAKE_CUSTOM_SetUDFOptions ~, 1
#define FAKE_CUSTOM_Erase ~, 1
#define FAKE_CUSTOM_Prepare ~, 1
#define FAKE_CUSTOM_Burn ~, 1
#define FAKE_CUSTOM_Abort ~, 1
#define FAKE_CUSTOM_AudioFileStop ~, 1
#define FAKE_CUSTOM_SetInfoTextEventCallback ~, 1
#define FAKE_CUSTOM_SetProcessEventCallback ~, 1
#define FAKE_CUSTOM_SetBurnFileEventCallback ~, 1
#define FAKE_CUSTOM_SetEraseDoneEventCallback ~, 1
#define FAKE_CUSTOM_SetFinalizeEventCallback ~, 1
#define FAKE_CUSTOM_SetBurnDoneEventCallback ~, 1
#define FAKE_CUSTOM_SetJobDoneEventCallback ~, 1
#define FAKE_CUSTOM_SetAddFileEventCallback ~, 1
#define FAKE_CUSTOM_SetCreateDirEventCallback ~, 1
#define FAKE_CUSTOM_SetRemoveFileEventCallback ~, 1
#define FAKE_CUSTOM_SetAudioDecodeDoneEventCallback ~, 1
#define FAKE_CUSTOM_SetVideoScannerEventCallback ~, 1
#define FAKE_CUSTOM_SetVideoScanDoneEventCallback ~, 1
#define FAKE_CUSTOM_SetStartVerifyEventCallback ~, 1
#define FAKE_CUSTOM_SetVerifyFileEventCallback ~, 1
#define FAKE_CUSTOM_SetVerifyErrorEventCallback ~, 1
#define FAKE_CUSTOM_SetVerifyDoneEventCallback ~, 1
#define FAKE_CUSTOM_SetRAWDataEventCallback ~, 1
#define FAKE_CUSTOM_SetCompareFilesForArrangementEventCallback ~, 1

// The copy built without one export hides GetVerify, an entry point the component never
// calls: every listed entry point is required, not only the called ones.
#ifdef FAKE_OMIT_ONE_EXPORT
#define FAKE_OMITTED_GetVerify ~, 1
#endif

#define FAKE_CAT(a, b) FAKE_CAT_I(a, b)
#define FAKE_CAT_I(a, b) a##b
#define FAKE_SECOND(a, b, ...) b
#define FAKE_PROBE(...) FAKE_SECOND(__VA_ARGS__, 0, ~)
#define FAKE_IIF(c) FAKE_CAT(FAKE_IIF_, c)
#define FAKE_IIF_0(t, f) f
#define FAKE_IIF_1(t, f) t
#define FAKE_VISIBILITY(name)                                   \
  FAKE_IIF(FAKE_PROBE(FAKE_CAT_I(FAKE_OMITTED_, name)))(        \
      __attribute__((visibility("hidden"))), __attribute__((visibility("default"))))
#define FAKE_PLAIN(name, ret, params) \
  FAKE_VISIBILITY(name) ret name params { return Record(#name); }
#define FAKE_GENERATE(name, ret, params) \
  FAKE_IIF(FAKE_PROBE(FAKE_CAT_I(FAKE_CUSTOM_, name)))(, FAKE_PLAIN(name, ret, params))

DB_ENTRY_POINTS(FAKE_GENERATE)

}  // extern "C"
