// One write or erase job on a thread of its own. libburn is polled (it has no callbacks):
// the thread fires Process while the drive works, Finalize once when the written data is
// complete, then exactly one BurnDone (or EraseDone) and JobDone.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <functional>

#include "burning/discburn/burn_libs.h"
#include "burning/discburn/grabbed_drive.h"
#include "burning/discburn/library_messages.h"

namespace discburn {

class TCallbackHub;

/// A file a write reads, as it was when the image was laid out.
struct TSourceFile {
  std::string Path;
  int64_t Size = 0;
  timespec Modified{};
};

/// "" when the file is still what it was when it was recorded, else what became of it: a file
/// that shrank, grew or was written to while the image was written left other data on the disc
/// than its own (libisofs cuts it or pads it with zeros to the size it recorded).
std::string SourceFileChange(const TSourceFile& recorded);

/// What a write job needs, set up and checked by the library before the job starts.
struct TWriteSetup {
  std::unique_ptr<TGrabbedDrive> Drive;
  std::string DriveName;  // in failure texts when several drives are written
  bool Quiet = false;     // a step of the job that reports no progress of its own
  TBurnWriteOptsPtr Options;
  TBurnDiscPtr Disc;
  burn_track* Track = nullptr;     // owned by Disc
  burn_source* IsoSource = nullptr;  // owned by Disc; the libisofs image, null for an ISO file
  int64_t ImageSize = 0;             // bytes read from the sources: 2048 a data block, 2352 an audio sector
  std::vector<int64_t> TrackSectors;     // of each track in the order written, one block of the medium each
  std::vector<TSourceFile> SourceFiles;  // read by the image, checked before and after writing
  std::string ImageFile;  // the regular file written (truncated after, removed on failure), or ""
  bool KeepOnFailure = false;  // the file held earlier sessions: never removed
  int64_t StartByte = 0;       // where the session starts on random-access media and files
  std::vector<char> Head;      // written to the first 64 KiB after the session (libisofs fills it)
  /// Run on the job thread after a successful write, once the drive is released: "" or the
  /// job's failure text.
  std::function<std::string(uint64_t generation, const std::atomic<bool>& abort)> Verify;
};

/// The share (0 to 1) of a write that is done, from libburn's progress through its current
/// track (`track` counts from 0, `sector` of its `sectors`) and the sectors of each track.
double WrittenShare(const std::vector<int64_t>& trackSectors, const burn_progress& progress);
/// Refuses (ProjectTooLarge) a session of `sectors` on a medium with `availableBytes` free.
/// libburn counts free space in 2048-byte blocks, and a 2352-byte audio sector takes one.
void CheckFreeSpace(int64_t sectors, int64_t availableBytes);

class TBurnJob {
 public:
  /// The text a job stopped by Abort ends with.
  static constexpr const char* AbortedText = "Burning aborted by the user";

  /// Writes each setup in turn (one per drive), then fires one BurnDone and JobDone.
  static std::unique_ptr<TBurnJob> Write(std::vector<TWriteSetup> setups, TCallbackHub& callbacks);
  static std::unique_ptr<TBurnJob> Erase(std::unique_ptr<TGrabbedDrive> drive, bool quick, TCallbackHub& callbacks);
  /// A job that runs `task` on its thread, then fires the done callback the task returns (its
  /// VerifyDone or BurnDone; may be empty) once the library is no longer busy, then JobDone.
  using TTask = std::function<std::function<void()>(uint64_t generation, const std::atomic<bool>& abort)>;
  static std::unique_ptr<TBurnJob> Task(TTask task, TCallbackHub& callbacks);
  ~TBurnJob();

  /// After its own writes the job writes copies 1..count, each set up by `next` on the job
  /// thread; `scratch` (the image the copies are written from) is removed at the end.
  using TCopySetup = std::function<std::vector<TWriteSetup>(int copy, const std::atomic<bool>& abort)>;
  void SetCopies(int count, TCopySetup next, std::string scratch);
  /// Starts the thread; `onEnding` runs on it just before the done callbacks.
  void Start(std::function<void()> onEnding);
  /// Asks a write job to stop; returns at once. False for an erase, which cannot be stopped.
  bool Abort();
  bool IsErase() const { return FErase; }
  /// True once the thread has returned from its last callback.
  bool Exited() const { return FExited; }
  /// Waits up to `ms` for the thread to return from its last callback.
  bool WaitExited(int ms);
  void Join();

 private:
  TBurnJob(TCallbackHub& callbacks) : FCallbacks(callbacks) {}
  /// Starts libburn's operation and waits until it runs (or ended at once).
  void StartLibburn(const std::function<void()>& start, burn_drive* drive);
  void RunWrite();
  /// One drive's write: "" or its failure text.
  std::string WriteOne(TWriteSetup& setup);
  void RunErase();
  /// Fires InfoText for the queued messages and keeps them for the verdict.
  void Pump();
  /// Waits up to `ms` or until Abort.
  void Pause(int ms);

  TCallbackHub& FCallbacks;
  uint64_t FGeneration = 0;  // of the callbacks registered when the job started
  bool FErase = false;
  bool FQuick = true;
  std::vector<TWriteSetup> FSetups;
  std::unique_ptr<TGrabbedDrive> FEraseDrive;
  TTask FTask;
  int FCopies = 0;
  TCopySetup FNextCopy;
  std::string FScratch;
  std::vector<TLibraryMessage> FMessages;
  std::function<void()> FOnEnding;

  std::thread FThread;
  std::mutex FLock;
  std::condition_variable FWake;
  std::atomic<bool> FAbort{false};
  std::atomic<bool> FExited{false};
};

}  // namespace discburn
