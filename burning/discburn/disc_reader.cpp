#include "burning/discburn/disc_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "burning/discburn/burn_error.h"
#include "burning/discburn/grabbed_drive.h"
#include "burning/discburn/library_messages.h"

namespace discburn {

namespace {

constexpr int BlockSize = 2048;

bool IsVolumeDescriptor(const uint8_t* block) {
  return block[0] == 1 && std::memcmp(block + 1, "CD001", 5) == 0;
}

/// The volume space size of a primary volume descriptor (both-endian field at byte 80).
int VolumeBlocks(const uint8_t* pvd) {
  return static_cast<int>(pvd[80] | pvd[81] << 8 | pvd[82] << 16 | static_cast<uint32_t>(pvd[83]) << 24);
}

int RoundUp(int lba, int step) { return (lba + step - 1) / step * step; }

int DigitSum(int n) {
  int sum = 0;
  for (; n > 0; n /= 10) sum += n % 10;
  return sum;
}

}  // namespace

std::pair<int, int> TToc::Session(int session) const {
  int start = -1, end = 0;
  for (const auto& t : Tracks)
    if (t.Session == session) {
      if (start < 0) start = t.StartLba;
      end = t.StartLba + t.Sectors;
    }
  return {std::max(start, 0), start < 0 ? 0 : end - start};
}

int TToc::SessionNumber(int session) const {
  if (SessionCount == 0) throw EDiscBurn(code::InvalidArgument, "The medium holds no session");
  if (session == 0 || session == -1) return SessionCount;
  if (session < 1 || session > SessionCount)
    throw EDiscBurn(code::InvalidArgument, "No session " + std::to_string(session) +
                                               " on the medium (it holds " + std::to_string(SessionCount) +
                                               ")");
  return session;
}

TBlockReader DriveBlockReader(burn_drive* drive) {
  return [drive](int lba, uint8_t* block) {
    off_t count = 0;
    // bit1: no message for an unreadable block (the emulated table of contents probes).
    return lba >= 0 &&
           burn_read_data(drive, static_cast<off_t>(lba) * BlockSize, reinterpret_cast<char*>(block),
                          BlockSize, &count, 2 | 4) > 0 &&
           count == BlockSize;
  };
}

TBlockReader FileBlockReader(const std::string& path) {
  auto fd = std::shared_ptr<int>(new int(open(path.c_str(), O_RDONLY | O_CLOEXEC)), [](int* f) {
    if (*f >= 0) close(*f);
    delete f;
  });
  if (*fd < 0) throw EDiscBurn(code::SourceUnreadable, "Image file cannot be read: " + path);
  return [fd](int lba, uint8_t* block) {
    return lba >= 0 && pread(*fd, block, BlockSize, static_cast<off_t>(lba) * BlockSize) == BlockSize;
  };
}

TToc EmulatedToc(const TBlockReader& read) {
  TToc toc;
  toc.Emulated = true;
  uint8_t block[BlockSize];
  if (!read(16, block) || !IsVolumeDescriptor(block)) return toc;
  const int newestEnd = VolumeBlocks(block);
  std::vector<std::pair<int, int>> sessions;
  for (int lba = SessionAlignment; lba < newestEnd && read(lba + 16, block) && IsVolumeDescriptor(block);) {
    // Each session's own descriptors count its blocks from its start; only the copy at
    // block 16 counts from 0.
    const int end = lba + VolumeBlocks(block);
    sessions.emplace_back(lba, end - lba);
    lba = RoundUp(end, SessionAlignment);
  }
  if (sessions.empty()) sessions.emplace_back(0, newestEnd);
  for (size_t i = 0; i < sessions.size(); ++i) {
    TTocTrack t;
    t.Session = static_cast<int>(i) + 1;
    t.StartLba = sessions[i].first;
    t.Sectors = sessions[i].second;
    toc.Tracks.push_back(t);
  }
  toc.SessionCount = static_cast<int>(sessions.size());
  toc.LeadoutLba = sessions.back().first + sessions.back().second;
  return toc;
}

bool IsOverwritable(burn_drive* drive) {
  if (burn_drive_get_drive_role(drive) != 1) return true;
  int profile = 0;
  char name[80] = {};
  burn_disc_get_profile(drive, &profile, name);
  // DVD-RAM, DVD-RW restricted overwrite, DVD+RW, DVD+RW DL, BD-RE
  return profile == 0x12 || profile == 0x13 || profile == 0x1a || profile == 0x2a || profile == 0x43;
}

TToc ReadToc(burn_drive* drive) {
  if (IsOverwritable(drive)) return EmulatedToc(DriveBlockReader(drive));
  TToc toc;
  burn_disc* disc = burn_drive_get_disc(drive);
  if (!disc) return toc;
  int sessionCount = 0;
  burn_session** sessions = burn_disc_get_sessions(disc, &sessionCount);
  for (int s = 0; s < sessionCount; ++s) {
    int trackCount = 0;
    burn_track** tracks = burn_session_get_tracks(sessions[s], &trackCount);
    burn_toc_entry leadout{};
    burn_session_get_leadout_entry(sessions[s], &leadout);
    const int sessionEnd = leadout.extensions_valid & 1
                               ? leadout.start_lba
                               : burn_msf_to_lba(leadout.pmin, leadout.psec, leadout.pframe);
    for (int i = 0; i < trackCount; ++i) {
      burn_toc_entry e{};
      burn_track_get_entry(tracks[i], &e);
      TTocTrack t;
      t.Session = s + 1;
      t.StartLba = e.extensions_valid & 1 ? e.start_lba : burn_msf_to_lba(e.pmin, e.psec, e.pframe);
      t.Sectors = e.extensions_valid & 1 ? e.track_blocks : 0;
      t.Audio = !(e.control & 4);  // control bit 2: a data track
      t.Mode = t.Audio ? 0 : (burn_track_get_mode(tracks[i]) & BURN_MODE2 ? 2 : 1);
      toc.Tracks.push_back(t);
    }
    // Without the DVD extension a track ends where the next one (or the lead-out) starts.
    for (size_t i = 0; i < toc.Tracks.size(); ++i)
      if (toc.Tracks[i].Session == s + 1 && toc.Tracks[i].Sectors == 0) {
        const bool last = i + 1 == toc.Tracks.size() || toc.Tracks[i + 1].Session != s + 1;
        toc.Tracks[i].Sectors = (last ? sessionEnd : toc.Tracks[i + 1].StartLba) - toc.Tracks[i].StartLba;
      }
    toc.LeadoutLba = sessionEnd;
  }
  toc.SessionCount = sessionCount;
  burn_disc_free(disc);
  return toc;
}

uint32_t FreedbId(const TToc& toc) {
  if (toc.Tracks.empty()) throw EDiscBurn(code::InvalidArgument, "The medium holds no track");
  // Start times in seconds, counted with the 150 blocks (2 s) before the first track.
  int digits = 0;
  for (const auto& t : toc.Tracks) digits += DigitSum((t.StartLba + 150) / 75);
  const int seconds = (toc.LeadoutLba + 150) / 75 - (toc.Tracks.front().StartLba + 150) / 75;
  return static_cast<uint32_t>(digits % 255) << 24 | static_cast<uint32_t>(seconds) << 8 |
         static_cast<uint32_t>(toc.Tracks.size());
}

namespace {

struct TDriveSourceData {
  std::string Address;
  burn_drive* Borrowed = nullptr;
  std::unique_ptr<TGrabbedDrive> Grabbed;
};

TDriveSourceData* DataOf(IsoDataSource* src) { return static_cast<TDriveSourceData*>(src->data); }

}  // namespace

TIsoDataSourcePtr NewDriveDataSource(const std::string& address, burn_drive* borrowed) {
  // libisofs frees the source itself, with free().
  auto* src = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
  if (!src) throw std::bad_alloc();
  src->version = 0;
  src->refcount = 1;
  src->data = new TDriveSourceData{address, borrowed, nullptr};
  src->open = [](IsoDataSource* s) -> int {
    TDriveSourceData* d = DataOf(s);
    if (d->Borrowed || d->Grabbed) return ISO_SUCCESS;
    try {
      d->Grabbed = std::make_unique<TGrabbedDrive>(d->Address);
    } catch (const EDiscBurn&) {
      return ISO_DATA_SOURCE_FAILURE;
    }
    return ISO_SUCCESS;
  };
  src->close = [](IsoDataSource* s) -> int {
    DataOf(s)->Grabbed.reset();
    return ISO_SUCCESS;
  };
  src->read_block = [](IsoDataSource* s, uint32_t lba, uint8_t* buffer) -> int {
    TDriveSourceData* d = DataOf(s);
    if (!d->Borrowed && !d->Grabbed && s->open(s) != ISO_SUCCESS) return ISO_DATA_SOURCE_FAILURE;
    burn_drive* drive = d->Borrowed ? d->Borrowed : d->Grabbed->Drive();
    off_t count = 0;
    if (burn_read_data(drive, static_cast<off_t>(lba) * BlockSize, reinterpret_cast<char*>(buffer), BlockSize,
                       &count, 0) <= 0 ||
        count != BlockSize)
      return ISO_DATA_SOURCE_FAILURE;
    return ISO_SUCCESS;
  };
  src->free_data = [](IsoDataSource* s) {
    delete DataOf(s);
    s->data = nullptr;
  };
  return TIsoDataSourcePtr(src);
}

namespace {

struct TTrackReadData {
  std::shared_ptr<TGrabbedDrive> Drive;
  int Next = 0, End = 0;  // blocks
  bool Audio = false;
  off_t Size = 0;
};

TTrackReadData* TrackDataOf(burn_source* src) { return static_cast<TTrackReadData*>(src->data); }

}  // namespace

burn_source* NewTrackReadSource(std::shared_ptr<TGrabbedDrive> drive, const TTocTrack& track) {
  // libburn frees the source itself, with free().
  auto* src = static_cast<burn_source*>(std::calloc(1, sizeof(burn_source)));
  if (!src) throw std::bad_alloc();
  const int sectorBytes = track.Audio ? 2352 : BlockSize;
  src->refcount = 1;
  src->data = new TTrackReadData{std::move(drive), track.StartLba, track.StartLba + track.Sectors,
                                 track.Audio, static_cast<off_t>(track.Sectors) * sectorBytes};
  src->read = [](burn_source* s, unsigned char* buffer, int size) -> int {
    TTrackReadData* d = TrackDataOf(s);
    const int sectorBytes = d->Audio ? 2352 : BlockSize;
    const int sectors = std::min(size / sectorBytes, d->End - d->Next);
    if (sectors <= 0) return 0;
    off_t count = 0;
    char* out = reinterpret_cast<char*>(buffer);
    const off_t bytes = static_cast<off_t>(sectors) * sectorBytes;
    const int r = d->Audio ? burn_read_audio(d->Drive->Drive(), d->Next, out, bytes, &count, 0)
                           : burn_read_data(d->Drive->Drive(), static_cast<off_t>(d->Next) * BlockSize, out,
                                            bytes, &count, 0);
    if (r <= 0 || count != bytes) return -1;
    d->Next += sectors;
    return static_cast<int>(bytes);
  };
  src->get_size = [](burn_source* s) { return TrackDataOf(s)->Size; };
  src->set_size = [](burn_source* s, off_t size) {
    TrackDataOf(s)->Size = size;
    return 1;
  };
  src->free_data = [](burn_source* s) {
    delete TrackDataOf(s);
    s->data = nullptr;
  };
  return src;
}

void LendDrive(IsoDataSource* source, burn_drive* drive) { DataOf(source)->Borrowed = drive; }

TIsoDataSourcePtr NewFileDataSource(const std::string& path) {
  if (access(path.c_str(), R_OK) != 0)
    throw EDiscBurn(code::SourceUnreadable, "Image file cannot be read: " + path);
  IsoDataSource* src = nullptr;
  const int r = iso_data_source_new_from_file(path.c_str(), &src);
  if (r < 0 || !src) throw EDiscBurn(code::SourceUnreadable, std::string(iso_error_to_msg(r)) + ": " + path);
  return TIsoDataSourcePtr(src);
}

TIsoImagePtr ImportSession(TIsoDataSourcePtr source, int startLba) {
  IsoImage* raw = nullptr;
  if (iso_image_new(nullptr, &raw) < 0 || !raw) throw EDiscBurn(code::ImageFailed);
  TIsoImagePtr image(raw);
  IsoReadOpts* opts = nullptr;
  if (iso_read_opts_new(&opts, 0) < 0) throw EDiscBurn(code::ImageFailed);
  iso_read_opts_set_start_block(opts, static_cast<uint32_t>(startLba));
  IsoReadImageFeatures* features = nullptr;
  const int r = iso_image_import(raw, source.get(), opts, &features);
  iso_read_opts_free(opts);
  if (features) iso_read_image_features_destroy(features);
  if (r < 0) {
    std::string text = iso_error_to_msg(r);
    const std::string detail = WorstText(TakeLibraryMessages(), severity::Sorry);
    if (!detail.empty() && detail != text) text += ": " + detail;
    throw EDiscBurn(code::ImageFailed, "The disc's file system cannot be read: " + text);
  }
  return image;
}

time_t VolumeDateTime(const char* date) {
  if (!date || std::strlen(date) < 14) return 0;
  auto num = [&](int at, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
      if (date[at + i] < '0' || date[at + i] > '9') return -1;
      v = v * 10 + (date[at + i] - '0');
    }
    return v;
  };
  struct tm tm {};
  tm.tm_year = num(0, 4) - 1900;
  tm.tm_mon = num(4, 2) - 1;
  tm.tm_mday = num(6, 2);
  tm.tm_hour = num(8, 2);
  tm.tm_min = num(10, 2);
  tm.tm_sec = num(12, 2);
  if (tm.tm_year < 0 || tm.tm_mon < 0 || tm.tm_mday <= 0) return 0;
  const int quarters = std::strlen(date) >= 17 ? static_cast<signed char>(date[16]) : 0;
  const time_t utc = timegm(&tm);
  return utc - static_cast<time_t>(quarters) * 15 * 60;
}

}  // namespace discburn
