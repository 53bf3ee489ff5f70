#pragma once
// The wave input: raw PCM produced by the application's own code, read as the input of a
// conversion. A TWaveInputAdapter supplies the samples through OnReadWaveData; an input opened
// with the format "waveinput" and the adapter's InputName as its file name pulls them from it.
//
// How it is built on FFmpeg 5.1. Outside demuxers can no longer be registered with libavformat,
// and the read callbacks of an AVInputFormat are not part of the public API. So "waveinput" is a
// description only (name, long name and the private class with the options sample_rate, channels
// and sample_fmt), kept in the library's own format table (media::RegisterInputFormat), where
// FindInputFormat finds it before FFmpeg's demuxers. Opening it (OpenInputFormat, or
// OpenWaveInput directly) puts a custom AVIOContext in front of FFmpeg's raw PCM demuxer ("u8",
// "s16le", "s32le") whose read callback asks the adapter for the next packet of bytes. The
// description itself cannot read, and libavformat refuses it: given straight to
// avformat_open_input, the id is tried as a file name, and should such a file exist,
// AVFMT_NEEDNUMBER rejects a name without a frame-number pattern. A caller that bypasses
// OpenInputFormat gets an error, never a demuxer without callbacks.
//
// Differences from a demuxer of its own that a caller may notice: the stream's time base is
// 1/sample rate (the raw demuxer's) and packets are cut by the demuxer (1024 samples each), not
// one per answer; the bytes and their order are the same. An answer of 0 asks again at once (no
// empty packet reaches the decoder; the input's interrupt callback can break the wait).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/ff_types.h"
#include "media/ff_base.h"

namespace media {

class TWaveInputAdapter;
struct TWaveReader;

/// The state of one opening, handed to OnReadWaveData.
struct TInputWaveInfo {
  std::int64_t TimeStamp = 0;  // microseconds of the first sample of the next answer
  int FrameNumber = 0;         // answers requested so far, this one included
  int FrameSize = 0;           // most bytes one answer may hold: block align × 1024
  std::int64_t TotalSize = 0;  // bytes delivered so far
  int SampleRate = 0;
  int SampleFormat = 0;  // bits per sample: 8 (u8), 16 (s16) or 32 (s32), little-endian, interleaved
  int Channels = 0;
};
using PInputWaveInfo = TInputWaveInfo*;

/// Fills data with at most info->FrameSize bytes and returns how many it wrote; 0 for none yet
/// (asked again), a negative value ends the stream. An answer above FrameSize is a breach: the
/// input fails with AVERROR(EINVAL). Runs on the thread that reads the input (the conversion's).
using TReadWaveDataEvent = std::function<int(TWaveInputAdapter* sender, std::uint8_t* data, TInputWaveInfo* info)>;

/// Supplies PCM to inputs opened as "waveinput". The adapter must outlive every input opened from
/// it; destroying it frees what those inputs read through.
class TWaveInputAdapter : public TFFBaseComponent {
 public:
  /// Takes the next id of the process-wide registry (ids are never reused).
  explicit TWaveInputAdapter(TFFBaseComponent* owner = nullptr);
  /// Clears the events, leaves the registry and frees the readers of its openings.
  ~TWaveInputAdapter() override;
  std::string ClassName() const override { return "TWaveInputAdapter"; }

  /// The file name that opens this adapter with the format "waveinput": its id in decimal.
  std::string InputName() const;
  /// The application's pointer; never dereferenced here.
  void* UserData() const { return FUserData; }
  void SetUserData(void* value) { FUserData = value; }
  /// The record of the latest opening, from OnReadHeader on; null before the first opening.
  /// Written by the reading thread.
  TInputWaveInfo* WaveInfo() const { return FWaveInfo; }

  /// The input is being opened; WaveInfo is set. On the opening thread.
  std::function<void(TWaveInputAdapter* sender)> OnReadHeader;
  /// The input ended (negative answer, breach, or its closing through CloseInputFormat); once per
  /// opening that raised OnReadHeader.
  std::function<void(TWaveInputAdapter* sender)> OnReadClose;
  TReadWaveDataEvent OnReadWaveData;

 private:
  friend struct TWaveReader;
  friend int OpenWaveInput(AVFormatContext** context, const std::string& fileName, AVDictionary** options);
  friend void CloseInputFormat(AVFormatContext** context);

  std::uint64_t FId;
  void* FUserData = nullptr;
  TInputWaveInfo* FWaveInfo = nullptr;
  std::vector<std::unique_ptr<TWaveReader>> FReaders;  // one per opening not yet closed
};

/// "waveinput".
inline constexpr const char* WaveInputFormatName = "waveinput";

/// Puts the "waveinput" description into the library's input-format table. Needs avutil loaded
/// (the class's item-name routine comes from it); calling it again does nothing. The run windows
/// call it after every successful library load.
void RegisterWaveInputFormat();
/// Whether format is the "waveinput" description.
bool IsWaveInputFormat(const AVInputFormat* format);

/// Opens the adapter named by fileName (its InputName) as an input, with the options sample_rate
/// (44100), channels (2) and sample_fmt ("s16"; "u8", "s16" or "s32") taken from *options.
/// Contract of avformat_open_input: *context may hold a context allocated by the caller (its
/// flags and interrupt callback are kept) or null; on failure it is freed and set null; options
/// not used stay in *options. Failures log a line and return AVERROR(EINVAL) for a file name that
/// is not a live adapter's id or a bad option, or FFmpeg's error.
int OpenWaveInput(AVFormatContext** context, const std::string& fileName, AVDictionary** options);
/// avformat_open_input that also opens the library's own input formats: the drop-in replacement
/// for openers that take a format from FindInputFormat.
int OpenInputFormat(AVFormatContext** context, const std::string& fileName, const AVInputFormat* format,
                    AVDictionary** options);
/// avformat_close_input that also releases what OpenWaveInput set up (raising OnReadClose when it
/// has not been raised yet). Any opened input may be closed with it.
void CloseInputFormat(AVFormatContext** context);

}  // namespace media
