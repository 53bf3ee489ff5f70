// Entry points of operations this system cannot do with libburn and libisofs: UDF (and so
// DVD-Video and Blu-ray), video CDs (their MPEG files), region codes, Unicode CD-Text (libburn
// writes CD-Text in ISO 8859-1, ASCII or MS-JIS only), raw writing (see TBurnLibrary::SetOptions),
// reading track indexes and ISRCs (sub-channel data), CDDB tag lookups, playing audio and the
// library's own dialogs. Each zeroes its outputs, answers code::NotSupported with
// "Not supported on this system: <name>" and starts no job, so no done callback follows.

#include <cstring>

#include "burning/discburn/burn_library.h"
#include "burning/discburn/discburn_api.h"
#include "burning/discburn/entry_guard.h"

using discburn::NotSupported;

namespace {

template <typename T>
void Zero(T* p) {
  if (p) *p = T{};
}

/// A text output: empty, and its length 0.
void ZeroText(db_char* buffer, int32_t* length) {
  if (buffer && (!length || *length > 0)) buffer[0] = 0;
  Zero(length);
}

}  // namespace

extern "C" {

int32_t SetRegionalCode(int32_t, int32_t) { return NotSupported("SetRegionalCode"); }
int32_t SetWriteCDTextInUnicode(int32_t) { return NotSupported("SetWriteCDTextInUnicode"); }

int32_t MultiDeviceDialog(void) { return NotSupported("MultiDeviceDialog"); }

int32_t GetTrackIndexes(int32_t, int32_t, int32_t* indexes, int32_t* count) {
  Zero(indexes);
  Zero(count);
  return NotSupported("GetTrackIndexes");
}
int32_t GetTrackISRC(int32_t, int32_t, db_char* isrc) {
  Zero(isrc);
  return NotSupported("GetTrackISRC");
}
int32_t TagsFromNetworkDialog(int32_t, db_handle* handle) {
  Zero(handle);
  return NotSupported("TagsFromNetworkDialog");
}
int32_t CloseNetworkTagsHandle(db_handle) { return NotSupported("CloseNetworkTagsHandle"); }
int32_t GetNetworkDiskTagString(db_handle, int32_t, db_char* buffer, int32_t* length) {
  ZeroText(buffer, length);
  return NotSupported("GetNetworkDiskTagString");
}
int32_t GetNetworkDiskTagInt(db_handle, int32_t, int32_t* value) {
  Zero(value);
  return NotSupported("GetNetworkDiskTagInt");
}
int32_t GetNetworkTrackTagString(db_handle, int32_t, int32_t, db_char* buffer, int32_t* length) {
  ZeroText(buffer, length);
  return NotSupported("GetNetworkTrackTagString");
}
int32_t GetNetworkTrackTagInt(db_handle, int32_t, int32_t, int32_t* value) {
  Zero(value);
  return NotSupported("GetNetworkTrackTagInt");
}
int32_t GetUDFVolumeInformation(db_handle, DBUDFBlock* info) {
  if (info) std::memset(info, 0, sizeof *info);
  return NotSupported("GetUDFVolumeInformation");
}
int32_t SetRAWStructure(int32_t, int32_t) { return NotSupported("SetRAWStructure"); }

int32_t GetMpegCount(int32_t* count) {
  Zero(count);
  return NotSupported("GetMpegCount");
}
int32_t EraseMpegByIndex(int32_t) { return NotSupported("EraseMpegByIndex"); }
int32_t StopMpegAction(void) { return NotSupported("StopMpegAction"); }

int32_t PlayAudioFile(const db_char*) { return NotSupported("PlayAudioFile"); }
int32_t PlayAudioTrack(int32_t, int32_t) { return NotSupported("PlayAudioTrack"); }
int32_t BurnDialog(void) { return NotSupported("BurnDialog"); }
int32_t EraseDialog(void) { return NotSupported("EraseDialog"); }

}  // extern "C"
