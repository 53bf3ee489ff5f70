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
#include <vector>

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
  /// Clears every callback and starts a new generation.
  void Reset();
  /// The registrations since the last Reset. A job keeps the generation it started in, so a
  /// job thread that outlives a Reset never calls callbacks registered after it.
  uint64_t Generation();

  // `generation` 0 = the current one (calls on the entry points' thread).
  void InfoText(const std::string& text, int32_t level, uint64_t generation = 0);
  /// Writes every message of both libraries since initialisation (all levels), one per line
  /// with its time; throws EDiscBurn when the file cannot be written.
  void SaveLog(const std::string& path);
  void ClearLog();
  void Process(float percent, float deviceBuffer, float cache, double bytesWritten, double imageSize,
               uint64_t generation = 0);
  void EraseDone(const std::string& error, uint64_t generation = 0);
  void Finalize(uint64_t generation = 0);
  void BurnDone(const std::string& error, uint64_t generation = 0);
  void JobDone(uint64_t generation = 0);
  void StartVerify(uint64_t generation = 0);
  void VerifyFile(const std::string& name, uint64_t generation = 0);
  void VerifyError(const std::string& name, const std::string& error, uint64_t generation = 0);
  void VerifyDone(int32_t errors, uint64_t generation = 0);
  /// An audio file decoded for a track: error "" and code 0, or the reason and its code.
  void AudioDecodeDone(const std::string& file, const std::string& error, int32_t errorCode,
                       uint64_t generation = 0);
  void AddFile(const std::string& fullPath, const std::string& name, double dateTime, double fileSize);
  void CreateDir(const std::string& fullName, const std::string& name);
  void RemoveFile(const std::string& fullPath, const std::string& destinationPath, const std::string& file);

 private:
  // Takes the function and user pointer of a slot and counts the call as running.
  bool Enter(TCallbackSlot slot, void*& function, void*& user, uint64_t generation = 0);
  void Leave();

  std::mutex FLock;
  std::condition_variable FIdle;
  void* FFunctions[static_cast<int>(TCallbackSlot::Count)] = {};
  void* FUsers[static_cast<int>(TCallbackSlot::Count)] = {};
  int32_t FInfoTextLevel = DB_HIGH_DEBUG;
  uint64_t FGeneration = 1;
  std::map<std::thread::id, int> FRunning;  // calls in progress per thread
  static constexpr size_t MaxLogLines = 20000;
  std::mutex FLogLock;
  std::vector<std::string> FLog;
};

}  // namespace discburn
