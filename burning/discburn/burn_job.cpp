#include "burning/discburn/burn_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "burning/discburn/burn_error.h"
#include "burning/discburn/callback_hub.h"

namespace discburn {

namespace {

constexpr int PollMs = 100;  // how often the drive's state is read

bool IsClosing(burn_drive_status s) {
  return s == BURN_DRIVE_CLOSING_TRACK || s == BURN_DRIVE_CLOSING_SESSION || s == BURN_DRIVE_WRITING_LEADOUT;
}

std::string Megabytes(int64_t bytes) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return buf;
}

}  // namespace

double WrittenShare(const std::vector<int64_t>& trackSectors, const burn_progress& progress) {
  int64_t total = 0, done = 0;
  for (size_t i = 0; i < trackSectors.size(); ++i) {
    total += trackSectors[i];
    if (static_cast<int>(i) < progress.track) {
      done += trackSectors[i];
    } else if (static_cast<int>(i) == progress.track && progress.sectors > 0) {
      // libburn's count of the track may hold a pad or gap of its own.
      done += trackSectors[i] * std::min(progress.sector, progress.sectors) / progress.sectors;
    }
  }
  return total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
}

std::string SourceFileChange(const TSourceFile& recorded) {
  struct stat st {};
  if (stat(recorded.Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return "Source file vanished while it was written: " + recorded.Path;
  const std::string prefix = "Source file changed while it was written: " + recorded.Path;
  if (st.st_size != recorded.Size)
    return prefix + " (its size was " + std::to_string(recorded.Size) + " bytes, now " +
           std::to_string(static_cast<int64_t>(st.st_size)) + ")";
  if (st.st_mtim.tv_sec != recorded.Modified.tv_sec || st.st_mtim.tv_nsec != recorded.Modified.tv_nsec)
    return prefix + " (it was written to)";
  return {};
}

void CheckFreeSpace(int64_t sectors, int64_t availableBytes) {
  const int64_t blocks = availableBytes / 2048;
  if (sectors > blocks)
    throw EDiscBurn(code::ProjectTooLarge, "The project needs " + Megabytes(sectors * 2048) +
                                               ", but the medium has only " + Megabytes(blocks * 2048) +
                                               " free");
}

std::unique_ptr<TBurnJob> TBurnJob::Write(std::vector<TWriteSetup> setups, TCallbackHub& callbacks) {
  std::unique_ptr<TBurnJob> job(new TBurnJob(callbacks));
  job->FGeneration = callbacks.Generation();
  job->FSetups = std::move(setups);
  return job;
}

std::unique_ptr<TBurnJob> TBurnJob::Erase(std::unique_ptr<TGrabbedDrive> drive, bool quick, TCallbackHub& callbacks) {
  std::unique_ptr<TBurnJob> job(new TBurnJob(callbacks));
  job->FGeneration = callbacks.Generation();
  job->FErase = true;
  job->FQuick = quick;
  job->FEraseDrive = std::move(drive);
  return job;
}

std::unique_ptr<TBurnJob> TBurnJob::Task(TTask task, TCallbackHub& callbacks) {
  std::unique_ptr<TBurnJob> job(new TBurnJob(callbacks));
  job->FGeneration = callbacks.Generation();
  job->FTask = std::move(task);
  return job;
}

TBurnJob::~TBurnJob() {
  FAbort = true;
  FWake.notify_all();
  Join();
}

void TBurnJob::Start(std::function<void()> onEnding) {
  FOnEnding = std::move(onEnding);
  FThread = std::thread([this] {
    if (FErase) {
      RunErase();
    } else if (FTask) {
      const std::function<void()> done = FTask(FGeneration, FAbort);
      Pump();  // what the task's decoding said, before its done event
      if (FOnEnding) FOnEnding();
      if (done) done();
      FCallbacks.JobDone(FGeneration);
    } else {
      RunWrite();
    }
    FExited = true;
  });
}

bool TBurnJob::Abort() {
  if (FErase) return false;
  // The job thread wakes at once and cancels the drive itself (the drive belongs to it).
  FAbort = true;
  FWake.notify_all();
  return true;
}

bool TBurnJob::WaitExited(int ms) {
  if (FThread.joinable() && FThread.get_id() == std::this_thread::get_id()) return false;
  for (int waited = 0; !FExited && FThread.joinable() && waited < ms; waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return FExited;
}

void TBurnJob::Join() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TBurnJob::Pause(int ms) {
  std::unique_lock<std::mutex> lock(FLock);
  FWake.wait_for(lock, std::chrono::milliseconds(ms), [&] { return FAbort.load(); });
}

void TBurnJob::Pump() {
  for (auto& m : TakeLibraryMessages()) {
    FCallbacks.InfoText(m.Text, InfoLevelOf(m.Rank), FGeneration);
    FMessages.push_back(std::move(m));
  }
}

void TBurnJob::StartLibburn(const std::function<void()>& start, burn_drive* drive) {
  // A refusal because the previous operation's thread is still ending is retried for a while.
  for (int attempt = 0;; ++attempt) {
    start();
    while (burn_drive_get_status(drive, nullptr) == BURN_DRIVE_SPAWNING) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (burn_drive_get_status(drive, nullptr) != BURN_DRIVE_IDLE) return;
    std::vector<TLibraryMessage> messages = TakeLibraryMessages();
    const bool retry = IsStillBusy(messages) && attempt < 100 && !FAbort;
    for (auto& m : messages) {
      if (retry) continue;
      FCallbacks.InfoText(m.Text, InfoLevelOf(m.Rank), FGeneration);
      FMessages.push_back(std::move(m));
    }
    if (!retry) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string TBurnJob::WriteOne(TWriteSetup& setup) {
  std::string error;
  bool started = false;
  burn_drive* drive = setup.Drive->Drive();
  const double imageSize = static_cast<double>(setup.ImageSize);

  // A source that vanished or became unreadable since it was added fails the job by name;
  // libisofs alone would write zeros in its place.
  for (const auto& source : setup.SourceFiles) {
    int fd = open(source.Path.c_str(), O_RDONLY);
    if (fd < 0) {
      error = "Source file cannot be read: " + source.Path;
      break;
    }
    close(fd);
  }

  bool finalized = false;
  if (error.empty() && !FAbort) {
    StartLibburn([&] { burn_disc_write(setup.Options.get(), setup.Disc.get()); }, drive);
    started = true;
    bool cancelled = false;
    while (true) {
      burn_progress p{};
      const burn_drive_status s = burn_drive_get_status(drive, &p);
      if (s == BURN_DRIVE_IDLE) break;
      if (FAbort && !cancelled) {
        burn_drive_cancel(drive);
        cancelled = true;
      }
      if (s != BURN_DRIVE_SPAWNING) {
        const double share = WrittenShare(setup.TrackSectors, p);
        const double written = share * imageSize;
        const float percent = static_cast<float>(share * 100.0);
        const float deviceBuffer =
            p.buffer_capacity > 0
                ? static_cast<float>(100.0 * (p.buffer_capacity - p.buffer_available) / p.buffer_capacity)
                : 0.f;
        float cache = 0.f;
        size_t ringSize = 0, ringFree = 0;
        if (setup.IsoSource && iso_ring_buffer_get_status(setup.IsoSource, &ringSize, &ringFree) >= 0 &&
            ringSize > 0)
          cache = static_cast<float>(100.0 * (ringSize - ringFree) / ringSize);
        if (!setup.Quiet) FCallbacks.Process(percent, deviceBuffer, cache, written, imageSize, FGeneration);
        if (IsClosing(s) && !finalized && !FAbort && !setup.Quiet) {
          finalized = true;
          FCallbacks.Finalize(FGeneration);
        }
      }
      Pump();
      if (cancelled) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      else Pause(PollMs);
    }
    Pump();
    // The drive reports idle before libburn's write thread has ended (a cancelled one still
    // stops libisofs's writer); its last messages belong to this job, and the next operation
    // on any drive is refused until it is gone.
    const auto threadEnded = [&] {
      return std::any_of(FMessages.begin(), FMessages.end(),
                         [](const TLibraryMessage& m) { return !m.FromIsofs && m.Code == WriteThreadEndedCode; });
    };
    for (int waited = 0; !threadEnded() && waited < 500; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      Pump();
    }
    if (FAbort) {
      error = AbortedText;
    } else {
      // libburn refuses a write it cannot start with a message only (wrote_well stays set),
      // and libisofs reports a source it could not read (and fills with zeros) the same way:
      // neither is a success.
      // A source that changed while it was read is on the disc as libisofs cut or padded
      // it, with no more than a warning from libisofs: the burn failed, for that reason.
      for (const auto& source : setup.SourceFiles)
        if (error.empty()) error = SourceFileChange(source);
      if (error.empty()) error = FailureText(FMessages, severity::Sorry);
      if (error.empty() && !burn_drive_wrote_well(drive)) error = "Writing failed";
    }
  } else if (error.empty()) {
    error = AbortedText;
  }

  off_t readBytes = 0, writtenBytes = 0;
  if (setup.Track) burn_track_get_counters(setup.Track, &readBytes, &writtenBytes);
  if (error.empty() && !setup.Head.empty()) {
    // The volume descriptors at the start now lead to the new session (and through it to
    // the earlier ones).
    if (burn_random_access_write(drive, 0, setup.Head.data(), static_cast<off_t>(setup.Head.size()), 1) <=
        0) {
      Pump();
      error = FailureText(FMessages, severity::Sorry);
      if (error.empty()) error = "The start of the medium cannot be written";
    }
  }
  setup.Drive.reset();  // release the drive before the file is touched and before reporting

  if (!setup.ImageFile.empty() && started) {
    if (error.empty()) {
      // libburn writes from the session's start and leaves a longer old file's tail.
      const off_t size =
          setup.StartByte + (writtenBytes > 0 ? writtenBytes : static_cast<off_t>(setup.ImageSize));
      if (truncate(setup.ImageFile.c_str(), size) != 0)
        error = "The image file cannot be cut to its size: " + setup.ImageFile + " (" + std::strerror(errno) +
                ")";
    }
    if (!error.empty() && !setup.KeepOnFailure) std::remove(setup.ImageFile.c_str());
  }
  if (error.empty() && !setup.Quiet) {
    FCallbacks.Process(100.f, 0.f, 0.f, imageSize, imageSize, FGeneration);
    if (!finalized) FCallbacks.Finalize(FGeneration);
  }
  if (error.empty() && setup.Verify) {
    error = setup.Verify(FGeneration, FAbort);
    if (FAbort) error = AbortedText;
  }
  setup.Disc.reset();
  setup.Options.reset();
  return error;
}

void TBurnJob::SetCopies(int count, TCopySetup next, std::string scratch) {
  FCopies = count;
  FNextCopy = std::move(next);
  FScratch = std::move(scratch);
}

void TBurnJob::RunWrite() {
  // Several drives are written one after the other; each failure is named with its drive.
  std::string errors;
  auto note = [&](std::string error, const std::string& drive, bool named) {
    if (error.empty()) return;
    if (named) error = drive + ": " + error;
    if (errors.find(error) == std::string::npos) errors += (errors.empty() ? "" : "\n") + error;
  };
  for (auto& setup : FSetups)
    note(FAbort ? std::string(AbortedText) : WriteOne(setup), setup.DriveName, FSetups.size() > 1);
  FSetups.clear();
  for (int copy = 1; copy <= FCopies && errors.empty(); ++copy) {
    if (FAbort) {
      note(AbortedText, "", false);
      break;
    }
    try {
      FSetups = FNextCopy(copy, FAbort);
    } catch (const EDiscBurn& e) {
      note(e.what(), "", false);
      break;
    }
    for (auto& setup : FSetups)
      note(FAbort ? std::string(AbortedText) : WriteOne(setup), setup.DriveName, FSetups.size() > 1);
    FSetups.clear();
  }
  if (!FScratch.empty()) std::remove(FScratch.c_str());
  if (FOnEnding) FOnEnding();
  FCallbacks.BurnDone(errors, FGeneration);
  FCallbacks.JobDone(FGeneration);
}

void TBurnJob::RunErase() {
  std::string error;
  burn_drive* drive = FEraseDrive->Drive();
  StartLibburn([&] { burn_disc_erase(drive, FQuick ? 1 : 0); }, drive);
  while (true) {
    burn_progress p{};
    const burn_drive_status s = burn_drive_get_status(drive, &p);
    if (s == BURN_DRIVE_IDLE) break;
    if (s != BURN_DRIVE_SPAWNING && p.sectors > 0)
      FCallbacks.Process(static_cast<float>(100.0 * p.sector / p.sectors), 0.f, 0.f, 0.0, 0.0, FGeneration);
    Pump();
    Pause(PollMs);
  }
  Pump();
  error = FailureText(FMessages, severity::Sorry);
  if (error.empty() && burn_disc_get_status(drive) != BURN_DISC_BLANK) {
    error = FailureText(FMessages, severity::Sorry);
    if (error.empty()) error = "Erasing failed";
  }
  FEraseDrive.reset();
  if (FOnEnding) FOnEnding();
  FCallbacks.EraseDone(error, FGeneration);
  FCallbacks.JobDone(FGeneration);
}

}  // namespace discburn
