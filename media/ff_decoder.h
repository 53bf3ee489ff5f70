#pragma once
// The decoder component: TCustomDecoder's file and stream information plus decoding. The preview
// window steps through a file with it (next frame, next or previous key frame, previous frame,
// seeking, the current picture as a bitmap); the audio extraction window pulls the audio as
// 16-bit PCM at a chosen channel count and sample rate.
//
// One thread at a time (the user-interface thread in the application). Decoding calls answer
// false with LastErrMsg set; only a format context borrowed through SetFileHandle makes them
// throw (FFmpegException "file cannot be seeked, handle is readonly.").

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "media/custom_decoder.h"
#include "media/ff_handles.h"
#include "media/format_converter.h"

namespace media {

/// The picture last decoded. Reset values: formats and sizes -1, flags false, times
/// AV_NOPTS_VALUE, no frame. Picture points into Buffer, which the decoder keeps (and only grows)
/// until the next decoding call: a copy of this record still points at the decoder's buffer.
struct TFrameInfo {
  int PixFmt = kNoFormat;  // an AVPixelFormat
  int Width = -1;
  int Height = -1;
  bool IsKeyFrame = false;
  bool IsInterlaced = false;
  bool IsTopFieldFirst = false;
  int PictureType = 0;                   // AVPictureType; 0 = none
  int64_t PTS = kNoPTS;          // microseconds from the stream's start
  int64_t OriginalDTS = kNoPTS;  // the packet's values, in the stream's time base
  int64_t OriginalPTS = kNoPTS;
  int StreamIndex = -1;
  int64_t Position = -1;  // the packet's byte position
  bool Ready = false;
  TPicture Picture;  // the planes of Buffer in PixFmt, rows packed (alignment 1)
  std::vector<uint8_t> Buffer;
  int Size = 0;  // bytes of Buffer
};

/// The audio last decoded: Size bytes of interleaved 16-bit samples at Buffer, which the decoder
/// owns and reuses at the next DecodeAudio. Reset: Channels, SampleRate and SampleFormat from the
/// desired values, times AV_NOPTS_VALUE, not ready, no buffer.
struct TWaveInfo {
  int Channels = 2;
  int SampleRate = 44100;
  int SampleFormat = 1;  // AV_SAMPLE_FMT_S16
  int BytesPerSample = 2;
  int BytesPerSecond = 176400;
  int64_t PTS = kNoPTS;  // microseconds from the stream's start
  int64_t OriginalDTS = kNoPTS;
  int64_t OriginalPTS = kNoPTS;
  int StreamIndex = -1;
  bool Ready = false;
  const uint8_t* Buffer = nullptr;
  int Size = 0;
  int64_t Duration =
      0;  // microseconds of Size bytes: round(Size × 10^6 / bytes per sample / rate / channels)
};

/// One seek flag; the values are FFmpeg's AVSEEK_FLAG_* bits (ff_decoder.cpp checks them).
enum class TSeekFlag : int {
  sfBackward = 1,
  sfByte = 2,
  sfAny = 4,
  sfFrame = 8,
};

/// A set of seek flags: Seek(t, {TSeekFlag::sfBackward}).
class TSeekFlags {
 public:
  constexpr TSeekFlags() = default;
  constexpr TSeekFlags(std::initializer_list<TSeekFlag> flags) {
    for (TSeekFlag f : flags) FBits |= static_cast<int>(f);
  }
  constexpr bool Contains(TSeekFlag flag) const { return (FBits & static_cast<int>(flag)) != 0; }
  /// The set with flag switched the other way.
  constexpr TSeekFlags Toggled(TSeekFlag flag) const {
    TSeekFlags result = *this;
    result.FBits ^= static_cast<int>(flag);
    return result;
  }
  /// The flags as av_seek_frame takes them.
  constexpr int Bits() const { return FBits; }

 private:
  int FBits = 0;
};

/// The time stamp Seek hands to av_seek_frame for a target of target microseconds from the start
/// (bytes with byBytes, passed through). A target of exactly 0 on a video stream with a known
/// frameRate moves half a frame earlier (-20000 at 25 fps), so that a demuxer rounding to its time
/// base cannot land on the second frame. The result is in timeBase (AV_TIME_BASE_Q for a seek on
/// the file) plus startTime when that is known. Needs avutil loaded.
int64_t SeekTimestamp(int64_t target, bool byBytes, TRational frameRate, TRational timeBase,
                      int64_t startTime);

/// What the previous-key-frame search needs from a decoder; the decoder passes its own steps, the
/// tests scripted ones.
struct TKeyFrameSearchSteps {
  std::function<int64_t()> BytePosition;             // -1 when unknown
  std::function<void(int64_t target)> SeekBackward;  // microseconds; a failed seek is logged there
  std::function<bool()> Decode;                      // the next frame
  std::function<int64_t()> FramePTS;                 // of the frame Decode stored
  std::function<bool()> AtEnd;                       // the end of the file was reached
};

/// Seeks backward in steps of frameDuration from reference (microseconds) until a decoded frame
/// lies before reference (or at or below 0). A seek that did not get back before the start
/// position, or that landed on a key frame already rejected, is not decoded. Gives up (false) when
/// the steps pass reference without a frame before it (a seek that far lands on the file's first
/// key frame, so nothing earlier exists), at the end of the file, or after
/// kMaxKeyFrameSearchSteps attempts; never loops for good.
bool FindPreviousKeyFrame(int64_t reference, int64_t frameDuration, const TKeyFrameSearchSteps& steps);
/// 4096 one-frame steps cover a group of pictures of over two minutes at 30 fps.
inline constexpr int kMaxKeyFrameSearchSteps = 4096;

class TFFDecoder : public TCustomDecoder {
 public:
  /// Picture converter at 32 bits, no video filters, 2 channels at 44100 Hz.
  explicit TFFDecoder(TFFBaseComponent* owner = nullptr);
  /// Frees the codecs, frames, filter graph and resampler; the base closes the file.
  ~TFFDecoder() override;
  std::string ClassName() const override { return "TFFDecoder"; }

  /// The picture converter's bits per pixel (8, 15, 16, 24 or 32; others throw FFmpegException
  /// "Invalid BitsPixel %d").
  int BitmapBitsPixel() const { return FConverter.BitsPixel(); }
  void SetBitmapBitsPixel(int value) { FConverter.SetBitsPixel(value); }

  /// True once a decoding call found the end of the stream (after draining the decoder); Seek
  /// clears it. (Not named EOF: that is the C library's macro.)
  bool Eof() const { return FEOF; }
  /// The picture the last decoding call stored; not Ready after a seek, a stream change or
  /// CloseFile.
  const TFrameInfo& FrameInfo() const { return FFrameInfo; }
  /// The audio of the last successful DecodeAudio; not Ready after a seek or a format change.
  const TWaveInfo& WaveInfo() const { return FWaveInfo; }
  /// The I/O position in bytes; -1 with "file not loaded." or "cannot get position" (Warning).
  int64_t Position();
  /// A filter graph in FFmpeg's syntax applied to every decoded picture ("hflip,negate"); empty
  /// for none. A text that fails to build is logged and emptied, and decoding goes on unfiltered.
  const std::string& VideoFilters() const { return FVideoFilters; }
  void SetVideoFilters(const std::string& value) { FVideoFilters = value; }
  /// The channel count and rate DecodeAudio delivers (2 and 44100). A change resets WaveInfo and
  /// frees the resampler.
  int DesireAudioChannels() const { return FDesireAudioChannels; }
  void SetDesireAudioChannels(int value);
  int DesireAudioSampleRate() const { return FDesireAudioSampleRate; }
  void SetDesireAudioSampleRate(int value);

  /// Decodes the next picture of a video stream (-1: the selected one, else the first) into
  /// FrameInfo. A still image decodes once and then keeps answering true. False with LastErrMsg:
  /// "file not loaded.", "no video stream.", "stream index #n is invalid.", "stream #n is not
  /// video stream.", codec failures, "TFFDecoder.Decode() for video: no data, please try again."
  /// and, once every picture has been delivered, "TFFDecoder.Decode() for video: stream eof
  /// reached." with Eof() true.
  bool Decode(int streamIndex = -1);
  /// Seeks one frame past the current picture without the backward flag (so to the next key
  /// frame) and decodes there. When no key frame follows the current picture, the current
  /// picture is decoded again and the answer is false with LastErrMsg "Could not seek to the
  /// next key-frame: there is none after the current picture."; decoding goes on from there.
  bool DecodeNextKeyFrame(int streamIndex = -1);
  /// Decodes the nearest key frame before the current picture. False with LastErrMsg "Could not
  /// seek to the previous key-frame. " + the last failure when there is none.
  bool DecodePreviousKeyFrame(int streamIndex = -1);
  /// Decodes the picture before the current one: from the previous key frame forward.
  bool DecodePreviousFrame(int streamIndex = -1);
  /// Seeks to pts microseconds from the start (bytes with sfByte) on the stream last decoded (the
  /// file when none), retrying once with sfBackward toggled. Flushes the codecs and forgets the
  /// current picture and audio. False: "file not loaded.", ""image2" format cannot to be seeked."
  /// (still images), "TFFDecoder.Seek(): could not seek to position 1.000 seconds".
  virtual bool Seek(int64_t pts, TSeekFlags flags = {});
  /// Copies the current picture into bitmap at BitmapBitsPixel. False: "picture not ready, please
  /// decode first" (bitmap unchanged), or the converter's text with the bitmap sized to the
  /// picture and black.
  bool CopyToBitmap(TBitmap& bitmap);
  /// Decodes the next packet of an audio stream (-1: the selected one, else the first) into
  /// WaveInfo as interleaved s16 at DesireAudioChannels and DesireAudioSampleRate. Failures as for
  /// Decode, with "DecodeAudio()" in the end-of-stream text.
  bool DecodeAudio(int streamIndex = -1);

  /// Forgets the streams, codecs, picture, audio and resampler, then closes the file.
  void CloseFile() override;
  /// Whether the open file is a single picture read by an image demuxer ("image2", "png_pipe",
  /// "jpeg_pipe"...): it decodes once and cannot be seeked.
  bool IsStillImage() const;

 protected:
  /// The picture converter takes the scaler flags of the decoder's options.
  void ApplySwsFlags(int swsFlags) override { FConverter.Setsws_flags(swsFlags); }
  TFormatConverter& Converter() { return FConverter; }
  /// Frees the audio resampler; the next frame that needs one makes a new one.
  virtual void FreeResampler();

 private:
  /// One opened decoder. Draining: the flush packet was sent after the last packet was read.
  struct TCodecSlot {
    TCodecContextPtr Context;
    bool Draining = false;
  };
  /// The source format the resampler was made for, and the layout it converts to (ff_decoder.cpp).
  struct TAudioParam;
  /// What one look at the decoder gave.
  enum class TOutput { Produced, NeedInput, Drained, Failed };

  int SelectStream(int streamIndex, int type);  // type: an AVMediaType
  void TakeVideoFrameRate(const AVStream* st);
  bool OpenCodec(TCodecSlot& slot, int streamIndex, bool video);
  bool PumpPackets(TCodecSlot& slot, int streamIndex, const char* caller,
                   const std::function<TOutput()>& takeOutput);
  void SendPacket(TCodecSlot& slot, const AVPacket* packet, int streamIndex, const char* kind);
  bool EndOfStream(const char* caller);
  std::string CallerPrefix(const char* caller) const;
  void RequireOwnedHandle();
  int64_t BytePosition() const;

  TOutput TakeVideoFrame();
  bool PullFiltered();
  std::string ConfigureFilterGraph(const AVFrame* frame);
  void FreeFilterGraph();
  void StorePicture(const AVFrame* frame, int64_t packetPts);
  void ResetFrameInfo();

  TOutput TakeAudioFrames();
  int ResampleAndAppend(const AVFrame* frame);
  int FlushResampler();
  void AppendAudio(const uint8_t* data, int size);
  void FinishWave(int64_t dts, int64_t pts);
  void ResetWaveInfo();
  void ResetAudioParam();
  AVChannelLayout& DesiredLayout();

  TFormatConverter FConverter;
  std::string FVideoFilters;
  int FDesireAudioChannels = 2;
  int FDesireAudioSampleRate = 44100;

  int FVideoStreamIndex = -1;
  int FAudioStreamIndex = -1;
  int FSeekStreamIndex = -1;
  TRational FFrameRate{0, 0};                     // 0/0 = unknown
  int64_t FPreviousPTS = kNoPTS;                  // the last picture's PTS; survives resets
  int64_t FPreviousPreviousPTS = kNoPTS;          // the one before it
  bool FEOF = false;
  bool FEndOfPackets = false;  // av_read_frame failed; the codecs drain
  int FReadError = 0;          // that failure

  TCodecSlot FVideo;
  TCodecSlot FAudio;
  TPacketPtr FPacket;
  TFramePtr FDecodedFrame;
  TFramePtr FFilteredFrame;
  TFramePtr FAudioFrame;
  TFrameInfo FFrameInfo;

  TFilterGraphPtr FFilterGraph;
  AVFilterContext* FBufferSrc = nullptr;   // owned by FFilterGraph
  AVFilterContext* FBufferSink = nullptr;  // owned by FFilterGraph
  std::string FGraphText;                  // the VideoFilters the graph was built from
  bool FGraphClosed = false;               // the end of the stream was pushed into the graph

  TWaveInfo FWaveInfo;
  std::vector<uint8_t> FAudioBuffer;  // FAudioSize bytes of it are the current audio
  int FAudioSize = 0;
  std::vector<uint8_t> FResampled;
  std::unique_ptr<TAudioParam> FAudioParam;  // never null
};

}  // namespace media
