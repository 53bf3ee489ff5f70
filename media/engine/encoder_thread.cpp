#include "media/engine/encoder_thread.h"

#include <cstdint>  // UINT64_C for the FFmpeg headers in C++

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "media/ff_api.h"

namespace media {

TEncoderThread::TEncoderThread(AVCodecContext* enc, TAVErrorCapture::TSink onError)
    : FEnc(enc), FOnError(std::move(onError)), FThread([this] { Run(); }) {}

TEncoderThread::~TEncoderThread() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FWake.notify_all();
  FThread.join();
}

int TEncoderThread::Send(const AVFrame* frame, int64_t syncOpts) {
  TFramePtr copy(FF().av_frame_alloc());
  if (copy == nullptr) return AVERROR(ENOMEM);
  const int ret = FF().av_frame_ref(copy.get(), frame);
  if (ret < 0) return ret;
  std::unique_lock lock(FLock);
  FDone.wait(lock, [this] { return FError < 0 || FQueue.size() < kMaxQueued; });
  if (FError < 0) return FError;
  FQueue.push_back({std::move(copy), syncOpts});
  lock.unlock();
  FWake.notify_one();
  return 0;
}

int TEncoderThread::Take(std::vector<TEncoded>& out, bool waitAll) {
  std::unique_lock lock(FLock);
  if (waitAll) FDone.wait(lock, [this] { return FError < 0 || (FQueue.empty() && !FBusy); });
  for (TEncoded& encoded : FEncoded) out.push_back(std::move(encoded));
  FEncoded.clear();
  return FError;
}

void TEncoderThread::Run() {
  const TAVErrorCapture capture(FOnError);
  std::unique_lock lock(FLock);
  for (;;) {
    FWake.wait(lock, [this] { return FStop || !FQueue.empty(); });
    if (FStop) return;
    TQueued item = std::move(FQueue.front());
    FQueue.pop_front();
    FBusy = true;
    lock.unlock();
    FDone.notify_all();  // room in the queue

    std::vector<TEncoded> encoded;
    int ret = FF().avcodec_send_frame(FEnc, item.Frame.get());
    item.Frame.reset();
    while (ret >= 0) {
      TPacketPtr packet(FF().av_packet_alloc());
      if (packet == nullptr) {
        ret = AVERROR(ENOMEM);
        break;
      }
      ret = FF().avcodec_receive_packet(FEnc, packet.get());
      if (ret == AVERROR(EAGAIN)) {
        ret = 0;
        break;
      }
      if (ret >= 0) encoded.push_back({std::move(packet), item.SyncOpts});
    }

    lock.lock();
    for (TEncoded& e : encoded) FEncoded.push_back(std::move(e));
    if (ret < 0) {
      FError = ret;
      FQueue.clear();
    }
    FBusy = false;
    FDone.notify_all();
  }
}

}  // namespace media
