// The callbacks the caller registered, called from the entry points' thread or the job
// thread. Reset() clears them and waits until no call on another thread is still running,
// so after it returns nothing calls the caller any more.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "burning/discburn/discburn_api.h"

namespace discburn {

enum class TCallbackSlot {
  InfoText, Process, BurnFile, EraseDone, Finalize, BurnDone, JobDone, AddFile, CreateDir,
  RemoveFile, AudioDecodeDone, VideoScanner, VideoScanDone, StartVerify, VerifyFile,
  VerifyError, VerifyDone, RawData, CompareFiles, Count
};

class TCallbackHub {
 public:
  void Set(TCallbackSlot slot, void* function, void* user);
  void SetInfoTextLevel(int32_t level);
  void Reset();

  void InfoText(const std::string& text, int32_t level);
  void Process(float percent, float deviceBuffer, float cache, double bytesWritten, double imageSize);
  void EraseDone(const std::string& error);
  void Finalize();
  void BurnDone(const std::string& error);
  void JobDone();
  void AddFile(const std::string& fullPath, const std::string& name, double dateTime, double fileSize);
  void CreateDir(const std::string& fullName, const std::string& name);
  void RemoveFile(const std::string& fullPath, const std::string& destinationPath, const std::string& file);

 private:
  // Takes the function and user pointer of a slot and counts the call as running.
  bool Enter(TCallbackSlot slot, void*& function, void*& user);
  void Leave();

  std::mutex FLock;
  std::condition_variable FIdle;
  void* FFunctions[static_cast<int>(TCallbackSlot::Count)] = {};
  void* FUsers[static_cast<int>(TCallbackSlot::Count)] = {};
  int32_t FInfoTextLevel = DB_HIGH_DEBUG;
  std::map<std::thread::id, int> FRunning;  // calls in progress per thread
};

}  // namespace discburn
