#pragma once
// A video encoder on a thread of its own. The conversion thread hands it each frame and muxes the
// packets it gives back, so decoding, filtering, the audio and the muxing go on while a frame is
// encoded (the encoder's slice threads leave the caller waiting otherwise).
//
// From the first Send until this object is destroyed the encoder context belongs to this
// thread: the conversion thread only reads the fields an encoder never changes after it opened
// (time base, flags, codec, size).

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "media/ff_handles.h"
#include "media/ff_logger.h"

struct AVCodecContext;
struct AVFrame;

namespace media {

class TEncoderThread {
 public:
  /// One packet out of the encoder, with the stream's frame counter at the time its frame was
  /// sent (a packet without a time stamp from an encoder without delay takes it).
  struct TEncoded {
    TPacketPtr Packet;
    int64_t SyncOpts = 0;
  };

  /// enc: an opened encoder, owned by the caller; it must outlive this object. The FFmpeg error
  /// lines logged on the thread go to onError as well (TAVErrorCapture).
  explicit TEncoderThread(AVCodecContext* enc, TAVErrorCapture::TSink onError = {});
  /// Ends the thread after the frame it is encoding; frames still queued are dropped.
  ~TEncoderThread();
  TEncoderThread(const TEncoderThread&) = delete;
  TEncoderThread& operator=(const TEncoderThread&) = delete;

  /// Queues a new reference to frame; waits while the queue is full. Returns the encoder's
  /// failure (a negative AVERROR) once it failed, else 0; after a failure nothing is encoded.
  int Send(const AVFrame* frame, int64_t syncOpts);
  /// Moves the packets encoded so far into out, in the encoder's order. With waitAll it first
  /// waits until every frame sent is encoded. Returns the encoder's failure, else 0.
  int Take(std::vector<TEncoded>& out, bool waitAll);

 private:
  struct TQueued {
    TFramePtr Frame;
    int64_t SyncOpts = 0;
  };
  void Run();
  // The queue holds at most this many frames besides the one being encoded: enough to keep the
  // encoder busy, few enough to bound the memory and the muxing delay.
  static constexpr size_t kMaxQueued = 2;

  AVCodecContext* const FEnc;
  const TAVErrorCapture::TSink FOnError;
  std::mutex FLock;
  std::condition_variable FWake;  // the thread: a frame came, or the end
  std::condition_variable FDone;  // the caller: room in the queue, a packet, or all encoded
  std::deque<TQueued> FQueue;
  std::vector<TEncoded> FEncoded;
  bool FBusy = false;
  bool FStop = false;
  int FError = 0;
  std::thread FThread;  // last: started when everything above is ready
};

}  // namespace media
