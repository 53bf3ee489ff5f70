#include "burning/discburn/callback_hub.h"

#include <chrono>
#include <ctime>
#include <fstream>

#include "burning/discburn/burn_error.h"
#include "burning/discburn/utf16.h"

namespace discburn {

void TCallbackHub::Set(TCallbackSlot slot, void* function, void* user) {
  std::lock_guard<std::mutex> lock(FLock);
  FFunctions[static_cast<int>(slot)] = function;
  FUsers[static_cast<int>(slot)] = user;
}

void TCallbackHub::SetInfoTextLevel(int32_t level) {
  std::lock_guard<std::mutex> lock(FLock);
  FInfoTextLevel = level;
}

uint64_t TCallbackHub::Generation() {
  std::lock_guard<std::mutex> lock(FLock);
  return FGeneration;
}

void TCallbackHub::SaveLog(const std::string& path) {
  std::vector<std::string> lines;
  {
    std::lock_guard<std::mutex> lock(FLogLock);
    lines = FLog;
  }
  std::ofstream out(path, std::ios::trunc);
  for (const auto& line : lines) out << line << '\n';
  out.close();
  if (!out) throw EDiscBurn(code::SourceUnreadable, "The log cannot be written: " + path);
}

void TCallbackHub::ClearLog() {
  std::lock_guard<std::mutex> lock(FLogLock);
  FLog.clear();
}

void TCallbackHub::Reset() {
  std::unique_lock<std::mutex> lock(FLock);
  ++FGeneration;
  for (int i = 0; i < static_cast<int>(TCallbackSlot::Count); ++i) {
    FFunctions[i] = nullptr;
    FUsers[i] = nullptr;
  }
  // A call on this very thread (Reset from inside a callback) cannot be waited for; nor can
  // a job thread's call that the caller itself is handling right now (a callback delivered
  // to the caller's thread that ends in Reset), so the wait is bounded.
  const auto self = std::this_thread::get_id();
  FIdle.wait_for(lock, std::chrono::seconds(2), [&] {
    for (const auto& [id, count] : FRunning)
      if (id != self && count > 0) return false;
    return true;
  });
}

bool TCallbackHub::Enter(TCallbackSlot slot, void*& function, void*& user, uint64_t generation) {
  std::lock_guard<std::mutex> lock(FLock);
  if (generation != 0 && generation != FGeneration) return false;
  function = FFunctions[static_cast<int>(slot)];
  user = FUsers[static_cast<int>(slot)];
  if (!function) return false;
  ++FRunning[std::this_thread::get_id()];
  return true;
}

void TCallbackHub::Leave() {
  std::lock_guard<std::mutex> lock(FLock);
  auto it = FRunning.find(std::this_thread::get_id());
  if (it != FRunning.end() && --it->second <= 0) FRunning.erase(it);
  FIdle.notify_all();
}

void TCallbackHub::InfoText(const std::string& text, int32_t level, uint64_t generation) {
  {
    // The log keeps every message, whatever level the caller asked for.
    const time_t now = time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &tm);
    std::lock_guard<std::mutex> lock(FLogLock);
    if (FLog.size() >= MaxLogLines) FLog.erase(FLog.begin(), FLog.begin() + MaxLogLines / 10);
    FLog.push_back(stamp + text);
  }
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (level > FInfoTextLevel) return;
  }
  void *f, *user;
  if (!Enter(TCallbackSlot::InfoText, f, user, generation)) return;
  const std::u16string wide = ToUtf16(text);
  reinterpret_cast<DBInfoTextCallback>(f)(wide.c_str(), level, user);
  Leave();
}

void TCallbackHub::Process(float percent, float deviceBuffer, float cache, double bytesWritten, double imageSize,
                           uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::Process, f, user, generation)) return;
  reinterpret_cast<DBProcessCallback>(f)(percent, deviceBuffer, cache, bytesWritten, imageSize, user);
  Leave();
}

void TCallbackHub::EraseDone(const std::string& error, uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::EraseDone, f, user, generation)) return;
  const std::u16string wide = ToUtf16(error);
  reinterpret_cast<DBEraseDoneCallback>(f)(wide.c_str(), user);
  Leave();
}

void TCallbackHub::Finalize(uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::Finalize, f, user, generation)) return;
  reinterpret_cast<DBFinalizeCallback>(f)(user);
  Leave();
}

void TCallbackHub::BurnDone(const std::string& error, uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::BurnDone, f, user, generation)) return;
  const std::u16string wide = ToUtf16(error);
  reinterpret_cast<DBBurnDoneCallback>(f)(wide.c_str(), user);
  Leave();
}

void TCallbackHub::JobDone(uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::JobDone, f, user, generation)) return;
  reinterpret_cast<DBJobDoneCallback>(f)(user);
  Leave();
}

void TCallbackHub::StartVerify(uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::StartVerify, f, user, generation)) return;
  reinterpret_cast<DBStartVerifyCallback>(f)(user);
  Leave();
}

void TCallbackHub::VerifyFile(const std::string& name, uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::VerifyFile, f, user, generation)) return;
  const std::u16string wide = ToUtf16(name);
  reinterpret_cast<DBVerifyFileCallback>(f)(wide.c_str(), user);
  Leave();
}

void TCallbackHub::VerifyError(const std::string& name, const std::string& error, uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::VerifyError, f, user, generation)) return;
  const std::u16string wide = ToUtf16(name), text = ToUtf16(error);
  reinterpret_cast<DBVerifyErrorCallback>(f)(wide.c_str(), text.c_str(), user);
  Leave();
}

void TCallbackHub::VerifyDone(int32_t errors, uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::VerifyDone, f, user, generation)) return;
  reinterpret_cast<DBVerifyDoneCallback>(f)(errors, user);
  Leave();
}

void TCallbackHub::AudioDecodeDone(const std::string& file, const std::string& error, int32_t errorCode,
                                   uint64_t generation) {
  void *f, *user;
  if (!Enter(TCallbackSlot::AudioDecodeDone, f, user, generation)) return;
  const std::u16string wide = ToUtf16(file), text = ToUtf16(error);
  reinterpret_cast<DBAudioDecodeDoneCallback>(f)(wide.c_str(), text.c_str(), errorCode, user);
  Leave();
}

void TCallbackHub::AddFile(const std::string& fullPath, const std::string& name, double dateTime, double fileSize) {
  void *f, *user;
  if (!Enter(TCallbackSlot::AddFile, f, user)) return;
  const std::u16string path = ToUtf16(fullPath), wide = ToUtf16(name);
  // Joliet, ISO 9660 and UDF names: libisofs derives the short ISO 9660 names only when it
  // lays out the image, so every name is the one the project holds.
  reinterpret_cast<DBAddFileCallback>(f)(path.c_str(), wide.c_str(), wide.c_str(), wide.c_str(), dateTime, fileSize,
                                         user);
  Leave();
}

void TCallbackHub::CreateDir(const std::string& fullName, const std::string& name) {
  void *f, *user;
  if (!Enter(TCallbackSlot::CreateDir, f, user)) return;
  const std::u16string full = ToUtf16(fullName), wide = ToUtf16(name);
  reinterpret_cast<DBCreateDirCallback>(f)(full.c_str(), wide.c_str(), wide.c_str(), wide.c_str(), user);
  Leave();
}

void TCallbackHub::RemoveFile(const std::string& fullPath, const std::string& destinationPath,
                              const std::string& file) {
  void *f, *user;
  if (!Enter(TCallbackSlot::RemoveFile, f, user)) return;
  const std::u16string a = ToUtf16(fullPath), b = ToUtf16(destinationPath), c = ToUtf16(file);
  reinterpret_cast<DBRemoveFileCallback>(f)(a.c_str(), b.c_str(), c.c_str(), user);
  Leave();
}

}  // namespace discburn
