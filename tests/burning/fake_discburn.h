#pragma once
// The recording stand-in for libdiscburn.so that the burning tests build as a shared object.
// The tests reach its state through the extra export FakeDiscburnState().

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "burning/discburn/discburn_api.h"

struct TFakeAddedFile {
  std::u16string Source, Folder, Name;
  uint8_t Switch = 0;
  int32_t Value = 0;
  std::vector<uint8_t> Reserved;
};

/// Everything the fake records and everything a test can set up.
struct TFakeDiscburn {
  std::mutex Mutex;                        // guards the fields below
  std::vector<std::string> Calls;          // entry points in call order
  std::map<std::string, int32_t> Results;  // a result per entry point (default 0)
  std::map<int32_t, std::u16string> Texts; // GetText
  std::u16string ErrorDeviceName = u"Fake Drive";
  std::vector<std::u16string> Devices;     // GetDevices
  std::optional<int32_t> ReportedDeviceCount;  // set: GetDevices answers this count
  std::u16string BurnLetters;              // GetBurnDevice
  std::vector<int32_t> SetBurnDeviceLetters, SetReadDeviceLetters;
  int32_t InitializeArgs[2] = {-1, -1};
  int32_t EnableMCNDisablingArg = -1, EnableImageDeviceArg = -1;
  std::u16string TmpPath, Language, LanguageFile;
  int32_t InfoTextLevelArg = -1;
  int32_t ProjectType = -1, ProjectSession = 0;
  int32_t BurnSpeed = 0, LastSetSpeed = 0;
  double SpeedMultiple = 0;
  std::map<int32_t, uint8_t> Capabilities;  // first-group mask or code -> answer
  std::vector<std::pair<uint32_t, uint32_t>> CapabilityQueries;
  DBMediumInfo Medium{};
  DBDeviceInfoEx DeviceEx{};
  std::u16string Vendor = u"ACME    ", Product = u"Writer 9000     ", Revision = u"1.0 ";
  int32_t EraseArgs[2] = {-1, -1};
  std::vector<TFakeAddedFile> AddedFiles;
  std::map<std::u16string, std::vector<DBFileEntry>> Folders;  // ReadDirectory per folder
  int32_t OpenDiskSessionArgs[2] = {0, 0};
  int OpenDirectories = 0;

  // The library's current blocks: Get... copies them out, Set... replaces them.
  DBOptionsBlock Options;
  DBISOBlock ISO;
  DBBootBlock Boot;
  DBCompressEncryptBlock Compress;
  DBDVDVideoBlock DVD;
  DBUDFBlock UDF;
  std::u16string Password;  // the text the last SetCompressEncrypt pointed at

  // Registered callbacks.
  std::recursive_mutex CallbackMutex;  // held while a callback runs
  void* User = nullptr;
  DBInfoTextCallback InfoText = nullptr;
  DBProcessCallback Process = nullptr;
  DBBurnFileCallback BurnFile = nullptr;
  DBEraseDoneCallback EraseDone = nullptr;
  DBFinalizeCallback Finalize = nullptr;
  DBBurnDoneCallback BurnDone = nullptr;
  DBJobDoneCallback JobDone = nullptr;
  DBAddFileCallback AddFile = nullptr;
  DBCreateDirCallback CreateDir = nullptr;
  DBRemoveFileCallback RemoveFile = nullptr;
  DBAudioDecodeDoneCallback AudioDecodeDone = nullptr;
  DBVideoScannerCallback VideoScanner = nullptr;
  DBVideoScanDoneCallback VideoScanDone = nullptr;
  DBStartVerifyCallback StartVerify = nullptr;
  DBVerifyFileCallback VerifyFile = nullptr;
  DBVerifyErrorCallback VerifyError = nullptr;
  DBVerifyDoneCallback VerifyDone = nullptr;
  DBRawDataCallback RawData = nullptr;
  DBCompareFilesCallback CompareFiles = nullptr;
  std::vector<std::string> RegistrationOrder;

  // The job thread that Burn and Erase start. It runs the job's notifications one by one.
  std::thread Job;
  std::atomic<bool> InCallback{false};      // the job thread is inside a callback
  std::atomic<int> StepsDone{0};            // notifications the job thread has finished
  std::atomic<bool> JobFinished{false};
  std::atomic<bool> AbortRequested{false};
  std::thread::id JobThreadId;
  std::mutex FinishedMutex;
  std::condition_variable FinishedCv;
  int32_t JobInfoLevel = DB_HIGH_DEBUG;     // level of the job's info text

  // Waits up to `seconds` for the job thread to finish, without processing any events.
  bool WaitJobFinished(int seconds) {
    std::unique_lock<std::mutex> lock(FinishedMutex);
    return FinishedCv.wait_for(lock, std::chrono::seconds(seconds), [this] { return JobFinished.load(); });
  }
  bool Called(const std::string& name) {
    std::lock_guard<std::mutex> lock(Mutex);
    for (const auto& c : Calls)
      if (c == name) return true;
    return false;
  }
  int CallCount(const std::string& name) {
    std::lock_guard<std::mutex> lock(Mutex);
    int n = 0;
    for (const auto& c : Calls) n += c == name;
    return n;
  }
};

extern "C" {
/// The fake's state (one per loaded copy of the fake).
TFakeDiscburn* FakeDiscburnState();
/// Joins the job thread and puts every field back to its starting value.
void FakeDiscburnReset();
}

/// The byte the fake fills its blocks with, so that untouched bytes are visible.
constexpr uint8_t kFakeBlockFill = 0xA5;
