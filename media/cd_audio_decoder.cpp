#include "media/cd_audio_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "media/ff_api.h"
#include "media/ff_exception.h"
#include "media/ff_handles.h"
#include "media/ff_loader.h"

namespace media {

namespace {

constexpr int CdRate = 44100;
constexpr int CdSampleBytes = 4;  // two channels of 16 bits
// The PCM goes to the disc byte for byte as FFmpeg's s16 lays it out in memory.
static_assert(std::endian::native == std::endian::little, "CD audio is little-endian s16");

constexpr TLibraries CdAudioLibraries{TLibrary::avUtil, TLibrary::swResample, TLibrary::avCodec,
                                      TLibrary::avFormat};

[[noreturn]] void Fail(const char* function, int error) {
  throw FFmpegException(FormatAVError(function, error));
}

/// The decoded frames of a file's best audio stream, cut to the length the file states.
class TAudioInput {
 public:
  TAudioInput(const std::string& path, bool audioOnly) {
    LoadCdAudioLibraries();
    const TFFApi& ff = FF();
    AVFormatContext* raw = nullptr;
    int r = ff.avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (r < 0) Fail("avformat_open_input", r);
    FInput.reset(raw);
    r = ff.avformat_find_stream_info(raw, nullptr);
    if (r < 0) Fail("avformat_find_stream_info", r);
    if (audioOnly)
      for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(raw->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
          throw FFmpegException("the file holds a video stream");
    const AVCodec* codec = nullptr;
    r = ff.av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (r < 0) Fail("av_find_best_stream (audio)", r);
    FStream = raw->streams[r];
    FCodec.reset(ff.avcodec_alloc_context3(codec));
    if (!FCodec) Fail("avcodec_alloc_context3", AVERROR(ENOMEM));
    r = ff.avcodec_parameters_to_context(FCodec.get(), FStream->codecpar);
    if (r < 0) Fail("avcodec_parameters_to_context", r);
    r = ff.avcodec_open2(FCodec.get(), codec, nullptr);
    if (r < 0) Fail("avcodec_open2", r);
    // A length worked out from the bit rate is a guess; the decoded samples are the truth then.
    FStated = FStream->duration != AV_NOPTS_VALUE && FStream->duration > 0 &&
              raw->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
    FPacket.reset(ff.av_packet_alloc());
    if (!FPacket) Fail("av_packet_alloc", AVERROR(ENOMEM));
    FFrame.reset(ff.av_frame_alloc());
    if (!FFrame) Fail("av_frame_alloc", AVERROR(ENOMEM));
  }

  /// The next frame and the number of its samples to use; null at the end.
  const AVFrame* Next(int& samples) {
    const TFFApi& ff = FF();
    while (!FDone) {
      ff.av_frame_unref(FFrame.get());
      int r = ff.avcodec_receive_frame(FCodec.get(), FFrame.get());
      if (r >= 0) {
        if (FFrame->nb_samples <= 0) continue;
        CheckFormat(*FFrame);
        const int64_t left = FLimit - FSamples;
        if (left <= 0) break;
        samples = static_cast<int>(std::min<int64_t>(FFrame->nb_samples, left));
        FSamples += samples;
        return FFrame.get();
      }
      if (r == AVERROR_EOF || FDraining) break;
      if (r != AVERROR(EAGAIN)) Fail("avcodec_receive_frame", r);
      r = ff.av_read_frame(FInput.get(), FPacket.get());
      if (r == AVERROR_EOF) {
        FDraining = true;
        r = ff.avcodec_send_packet(FCodec.get(), nullptr);
        if (r < 0 && r != AVERROR_EOF) Fail("avcodec_send_packet", r);
        continue;
      }
      if (r < 0) Fail("av_read_frame", r);
      if (FPacket->stream_index == FStream->index) {
        r = ff.avcodec_send_packet(FCodec.get(), FPacket.get());
        // A damaged packet is skipped, the same way on every pass over the file, so a
        // track's measured length and its decoded sound agree.
        if (r < 0 && r != AVERROR_INVALIDDATA) {
          ff.av_packet_unref(FPacket.get());
          Fail("avcodec_send_packet", r);
        }
      }
      ff.av_packet_unref(FPacket.get());
    }
    FDone = true;
    return nullptr;
  }

  int64_t Samples() const { return FSamples; }
  int SampleRate() const { return FRate; }

 private:
  void CheckFormat(const AVFrame& frame) {
    if (FRate == 0) {
      if (frame.sample_rate <= 0) throw FFmpegException("the audio stream has no sample rate");
      FRate = frame.sample_rate;
      FFormat = frame.format;
      FChannels = frame.ch_layout.nb_channels;
      if (FStated) FLimit = FF().av_rescale_q(FStream->duration, FStream->time_base, AVRational{1, FRate});
      return;
    }
    // One resampler serves the whole stream.
    if (frame.sample_rate != FRate || frame.format != FFormat || frame.ch_layout.nb_channels != FChannels)
      throw FFmpegException("the sample rate or channels of the audio change within the file");
  }

  TInputContextPtr FInput;
  AVStream* FStream = nullptr;  // owned by FInput
  TCodecContextPtr FCodec;
  TPacketPtr FPacket;
  TFramePtr FFrame;
  bool FStated = false;
  int64_t FLimit = INT64_MAX;
  int64_t FSamples = 0;
  int FRate = 0, FFormat = -1, FChannels = 0;
  bool FDraining = false, FDone = false;
};

int64_t CdSamplesOf(int64_t samples, int rate) { return FF().av_rescale(samples, CdRate, rate); }

}  // namespace

void LoadCdAudioLibraries() {
  if (FFLoader().Loaded(CdAudioLibraries)) return;
  if (!FFLoader().Load(CdAudioLibraries)) throw FFmpegException(FFLoader().LastErrMsg());
}

TCdAudioLength MeasureCdAudio(const std::string& path, bool audioOnly) {
  TAudioInput input(path, audioOnly);
  int samples = 0;
  while (input.Next(samples)) {
  }
  if (input.Samples() == 0) throw FFmpegException("no audio could be decoded from the file");
  TCdAudioLength length;
  length.Samples = input.Samples();
  length.SampleRate = input.SampleRate();
  length.CdSamples = CdSamplesOf(length.Samples, length.SampleRate);
  return length;
}

struct TCdAudioDecoder::TState {
  TState(const std::string& path, int64_t bytes) : Input(path, false), Left(bytes) {}

  /// Puts the next resampled samples into Pending; false when the file has no more.
  bool Refill() {
    Pending.clear();
    At = 0;
    if (Flushed) return false;
    int samples = 0;
    if (const AVFrame* frame = Input.Next(samples)) {
      if (!Resampler) OpenResampler(*frame);
      Convert(const_cast<const uint8_t**>(frame->extended_data), samples);
      return true;
    }
    // The resampler's last samples.
    if (Resampler)
      while (Convert(nullptr, 0) > 0) {
      }
    Flushed = true;
    return !Pending.empty();
  }

  void OpenResampler(const AVFrame& frame) {
    const TFFApi& ff = FF();
    TChannelLayoutValue in;
    // A stream that names no channels gets FFmpeg's usual layout for its channel count.
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || !ff.av_channel_layout_check(&frame.ch_layout))
      ff.av_channel_layout_default(&in, frame.ch_layout.nb_channels);
    else if (const int r = ff.av_channel_layout_copy(&in, &frame.ch_layout); r < 0)
      Fail("av_channel_layout_copy", r);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;  // swr_alloc_set_opts2 takes it non-const
    SwrContext* swr = nullptr;
    int r = ff.swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, CdRate, &in,
                                   static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    Resampler.reset(swr);
    if (r < 0) Fail("swr_alloc_set_opts2", r);
    r = ff.swr_init(swr);
    if (r < 0) Fail("swr_init", r);
    Rate = frame.sample_rate;
  }

  /// Resamples `samples` input samples (none: drains the resampler) onto Pending.
  int Convert(const uint8_t** in, int samples) {
    // Room for this input and what the resampler holds back (its filter length, far below
    // 4096 samples); whatever does not fit stays in the resampler for the next call.
    const int room = static_cast<int>(FF().av_rescale(samples, CdRate, Rate)) + 4096;
    const size_t old = Pending.size();
    Pending.resize(old + static_cast<size_t>(room) * CdSampleBytes);
    uint8_t* out = Pending.data() + old;
    const int r = FF().swr_convert(Resampler.get(), &out, room, in, samples);
    if (r < 0) Fail("swr_convert", r);
    Pending.resize(old + static_cast<size_t>(r) * CdSampleBytes);
    return r;
  }

  TAudioInput Input;
  TResamplerPtr Resampler;
  int Rate = 0;
  std::vector<uint8_t> Pending;  // resampled, not yet read
  size_t At = 0;
  int64_t Left;  // bytes still to give
  bool Flushed = false;
};

TCdAudioDecoder::TCdAudioDecoder(const std::string& path, const TCdAudioLength& length)
    : F(std::make_unique<TState>(path, length.CdSamples * CdSampleBytes)) {}

TCdAudioDecoder::~TCdAudioDecoder() = default;

std::size_t TCdAudioDecoder::Read(unsigned char* buffer, std::size_t bytes) {
  std::size_t done = 0;
  while (done < bytes && F->Left > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(bytes - done), F->Left));
    if (F->At == F->Pending.size() && !F->Refill()) {
      // The file gave less than it was measured at: silence makes up the rest.
      std::memset(buffer + done, 0, want);
      done += want;
      F->Left -= static_cast<int64_t>(want);
      continue;
    }
    const size_t n = std::min(want, F->Pending.size() - F->At);
    std::memcpy(buffer + done, F->Pending.data() + F->At, n);
    F->At += n;
    done += n;
    F->Left -= static_cast<int64_t>(n);
  }
  return done;
}

}  // namespace media
