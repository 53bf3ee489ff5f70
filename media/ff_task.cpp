#include "media/ff_task.h"

#include <utility>

namespace media {

namespace {

// What leaves the list, destroyed after the list's lock is released (declare it before the lock
// guard): decoders before the task whose format contexts they borrow.
struct TLeftovers {
  std::vector<std::unique_ptr<TFFDecoder>> Decoders;
  std::vector<std::shared_ptr<IFFTask>> Tasks;
  ~TLeftovers() {
    Decoders.clear();
    Tasks.clear();
  }
};

}  // namespace

TFFmpegList::~TFFmpegList() { Clear(); }

int TFFmpegList::Add(std::unique_ptr<IFFTask> task) {
  std::lock_guard lock(FLock);
  TEntry entry;
  entry.Task = std::move(task);
  entry.Serial = FNextSerial++;
  FEntries.push_back(std::move(entry));
  return int(FEntries.size()) - 1;
}

void TFFmpegList::Clear() {
  TLeftovers gone;
  std::lock_guard lock(FLock);
  for (TEntry& entry : FEntries) {
    for (auto& decoder : entry.Decoders) gone.Decoders.push_back(std::move(decoder));
    if (entry.Task) gone.Tasks.push_back(std::move(entry.Task));
  }
  FEntries.clear();
}

void TFFmpegList::Delete(int index) {
  TLeftovers gone;
  std::lock_guard lock(FLock);
  if (index < 0 || index >= int(FEntries.size())) return;
  TEntry& entry = FEntries[std::size_t(index)];
  gone.Decoders = std::move(entry.Decoders);
  if (entry.Task) gone.Tasks.push_back(std::move(entry.Task));
  FEntries.erase(FEntries.begin() + index);
}

void TFFmpegList::Release(int index, std::uint64_t serial) {
  TLeftovers gone;
  std::lock_guard lock(FLock);
  if (index < 0 || index >= int(FEntries.size())) return;
  TEntry& entry = FEntries[std::size_t(index)];
  if (!entry.Task || entry.Serial != serial) return;
  gone.Decoders = std::move(entry.Decoders);
  gone.Tasks.push_back(std::move(entry.Task));
  entry.Serial = 0;
}

std::shared_ptr<IFFTask> TFFmpegList::Item(int index) const {
  std::lock_guard lock(FLock);
  if (index < 0 || index >= int(FEntries.size())) return nullptr;
  return FEntries[std::size_t(index)].Task;
}

int TFFmpegList::IndexOf(const IFFTask* task) const {
  if (task == nullptr) return -1;
  std::lock_guard lock(FLock);
  for (std::size_t i = 0; i < FEntries.size(); ++i)
    if (FEntries[i].Task.get() == task) return int(i);
  return -1;
}

std::uint64_t TFFmpegList::Serial(int index) const {
  std::lock_guard lock(FLock);
  if (index < 0 || index >= int(FEntries.size()) || !FEntries[std::size_t(index)].Task) return 0;
  return FEntries[std::size_t(index)].Serial;
}

int TFFmpegList::Count() const {
  std::lock_guard lock(FLock);
  return int(FEntries.size());
}

int TFFmpegList::LiveCount() const {
  std::lock_guard lock(FLock);
  int live = 0;
  for (const TEntry& entry : FEntries)
    if (entry.Task) ++live;
  return live;
}

std::vector<std::shared_ptr<IFFTask>> TFFmpegList::Tasks() const {
  std::lock_guard lock(FLock);
  std::vector<std::shared_ptr<IFFTask>> tasks;
  for (const TEntry& entry : FEntries)
    if (entry.Task) tasks.push_back(entry.Task);
  return tasks;
}

void TFFmpegList::StoreInputOptions(int index, const TInputOptions& options) {
  std::lock_guard lock(FLock);
  if (index < 0 || index >= int(FEntries.size())) return;
  TEntry& entry = FEntries[std::size_t(index)];
  if (entry.Task) entry.Inputs.push_back(options);
}

void TFFmpegList::StoreOutputOptions(int index, const TOutputOptions& options) {
  std::lock_guard lock(FLock);
  if (index < 0 || index >= int(FEntries.size())) return;
  TEntry& entry = FEntries[std::size_t(index)];
  if (entry.Task) entry.Outputs.push_back(options);
}

TInputOptions TFFmpegList::InputOptions(int index, int fileIndex) const {
  std::lock_guard lock(FLock);
  if (index >= 0 && index < int(FEntries.size()) && fileIndex >= 0 &&
      fileIndex < int(FEntries[std::size_t(index)].Inputs.size()))
    return FEntries[std::size_t(index)].Inputs[std::size_t(fileIndex)];
  TInputOptions cleared;
  ClearInputOptions(cleared);
  return cleared;
}

TOutputOptions TFFmpegList::OutputOptions(int index, int fileIndex) const {
  std::lock_guard lock(FLock);
  if (index >= 0 && index < int(FEntries.size()) && fileIndex >= 0 &&
      fileIndex < int(FEntries[std::size_t(index)].Outputs.size()))
    return FEntries[std::size_t(index)].Outputs[std::size_t(fileIndex)];
  TOutputOptions cleared;
  ClearOutputOptions(cleared);
  return cleared;
}

TFFDecoder* TFFmpegList::Decoder(int index, int fileIndex, TFFBaseComponent* owner) {
  std::lock_guard lock(FLock);
  if (index < 0 || index >= int(FEntries.size()) || fileIndex < 0) return nullptr;
  TEntry& entry = FEntries[std::size_t(index)];
  if (!entry.Task) return nullptr;
  if (fileIndex >= int(entry.Decoders.size())) entry.Decoders.resize(std::size_t(fileIndex) + 1);
  std::unique_ptr<TFFDecoder>& slot = entry.Decoders[std::size_t(fileIndex)];
  if (!slot) slot = std::make_unique<TFFDecoder>(owner);
  return slot.get();
}

void TFFmpegList::UnbindDecoders(int index) {
  std::lock_guard lock(FLock);
  if (index < 0 || index >= int(FEntries.size())) return;
  for (auto& decoder : FEntries[std::size_t(index)].Decoders)
    if (decoder && decoder->FileHandle() != nullptr) decoder->CloseFile();
}

void TFFmpegList::ForEach(const std::function<void(IFFTask&)>& fn) const {
  // Outside the lock: Terminate(true) waits for runs whose threads look tasks up meanwhile.
  for (const std::shared_ptr<IFFTask>& task : Tasks()) fn(*task);
}

void TFFmpegList::Terminate(bool waitForStop) {
  ForEach([waitForStop](IFFTask& task) { task.Terminate(waitForStop); });
}

void TFFmpegList::SetPostHooks(bool preview, bool bitmap) {
  ForEach([=](IFFTask& task) { task.SetPostHooks(preview, bitmap); });
}

void TFFmpegList::SetPreviewInterval(std::int64_t microseconds) {
  ForEach([=](IFFTask& task) { task.SetPreviewInterval(microseconds); });
}

void TFFmpegList::SetReportInterval(std::int64_t microseconds) {
  ForEach([=](IFFTask& task) { task.SetReportInterval(microseconds); });
}

void TFFmpegList::SetReadTimeout(int milliseconds) {
  ForEach([=](IFFTask& task) { task.SetReadTimeout(milliseconds); });
}

void TFFmpegList::SetWriteTimeout(int milliseconds) {
  ForEach([=](IFFTask& task) { task.SetWriteTimeout(milliseconds); });
}

}  // namespace media
