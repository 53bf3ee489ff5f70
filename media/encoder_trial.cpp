#include "media/encoder_trial.h"

#include <cstdlib>

#include "media/ff_api.h"
#include "media/ff_handles.h"

namespace media {

namespace {

// Lifts every message of the trial's context above the most verbose level, so a refusal is not
// reported as if a conversion had failed.
constexpr int KSilent = 1000;

TCodecContextPtr NewContext(const AVCodec* codec) {
  TCodecContextPtr ctx(FF().avcodec_alloc_context3(codec));
  if (ctx) ctx->log_level_offset = KSilent;
  return ctx;
}

// The rate of the list nearest to rate (the list ends with 0); rate itself without a list.
int NearestSampleRate(const AVCodec* codec, int rate) {
  if (codec->supported_samplerates == nullptr) return rate;
  int best = 0;
  for (const int* r = codec->supported_samplerates; *r != 0; ++r)
    if (best == 0 || std::abs(*r - rate) < std::abs(best - rate)) best = *r;
  return best != 0 ? best : rate;
}

// The layout the encoder gets for channels: a listed layout with as many channels, else the
// listed one with the most channels below that count, else the first listed; the default layout
// for channels when the encoder lists none.
void ChooseLayout(const AVCodec* codec, int channels, AVChannelLayout* layout) {
  const AVChannelLayout* chosen = nullptr;
  if (codec->ch_layouts != nullptr) {
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels != 0; ++l) {
      if (l->nb_channels == channels) {
        chosen = l;
        break;
      }
      if (l->nb_channels < channels && (chosen == nullptr || l->nb_channels > chosen->nb_channels)) chosen = l;
    }
    if (chosen == nullptr && codec->ch_layouts[0].nb_channels != 0) chosen = &codec->ch_layouts[0];
  }
  if (chosen != nullptr)
    FF().av_channel_layout_copy(layout, chosen);
  else
    FF().av_channel_layout_default(layout, channels);
}

bool IsPlanar(AVSampleFormat format) {
  return (format >= AV_SAMPLE_FMT_U8P && format <= AV_SAMPLE_FMT_DBLP) || format == AV_SAMPLE_FMT_S64P;
}

// Encodes a few frames of full-scale noise and drains the encoder: false when any step fails.
bool EncodeNoise(AVCodecContext* ctx) {
  TFramePtr frame(FF().av_frame_alloc());
  TPacketPtr packet(FF().av_packet_alloc());
  if (!frame || !packet) return false;
  frame->format = ctx->sample_fmt;
  frame->sample_rate = ctx->sample_rate;
  frame->nb_samples = ctx->frame_size > 0 ? ctx->frame_size : 1024;
  if (FF().av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout) < 0) return false;
  if (FF().av_frame_get_buffer(frame.get(), 0) < 0) return false;
  unsigned seed = 12345;
  auto receiveAll = [&]() {
    for (;;) {
      const int r = FF().avcodec_receive_packet(ctx, packet.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return false;
      FF().av_packet_unref(packet.get());
    }
  };
  // AC-3 refuses a rate only on a frame whose bits do not fit, and full-scale noise reaches such a
  // frame now and then: at 64k, 5.1 noise at 48000 Hz passes its first seconds and fails later
  // (measured). Twenty seconds of it find the rate that takes any 5.1 sound; the AC-3 encoder
  // does that in a fraction of a second. Other encoders refuse at once.
  const bool bitAllocation = ctx->codec_id == AV_CODEC_ID_AC3 || ctx->codec_id == AV_CODEC_ID_EAC3;
  const int frames = bitAllocation ? 20 * ctx->sample_rate / frame->nb_samples : 24;
  for (int n = 0; n < frames; ++n) {
    if (FF().av_frame_make_writable(frame.get()) < 0) return false;
    // Bytes of noise suit every sample format: integer samples become loud noise, floating ones
    // mostly small or large values, all of which an encoder must take.
    const bool planar = IsPlanar(ctx->sample_fmt);
    const int planes = planar ? ctx->ch_layout.nb_channels : 1;
    const int bytes = frame->nb_samples * FF().av_get_bytes_per_sample(ctx->sample_fmt) *
                      (planar ? 1 : ctx->ch_layout.nb_channels);
    for (int p = 0; p < planes; ++p)
      for (int i = 0; i < bytes; ++i) {
        seed = seed * 1103515245u + 12345u;
        frame->extended_data[p][i] = static_cast<uint8_t>(seed >> 16);
      }
    if (ctx->sample_fmt == AV_SAMPLE_FMT_FLT || ctx->sample_fmt == AV_SAMPLE_FMT_FLTP) {
      // Floating samples in [-1, 1]: noise bytes would also make NaNs and infinities. Full
      // precision and the same noise in every channel: with AC-3 that needs more bits than
      // independent or coarsely stepped noise (measured), so a rate that takes it takes any sound.
      const unsigned frameSeed = seed;
      for (int p = 0; p < planes; ++p) {
        seed = frameSeed;
        auto* samples = reinterpret_cast<float*>(frame->extended_data[p]);
        for (int i = 0; i < bytes / 4; ++i) {
          seed = seed * 1664525u + 1013904223u;
          samples[i] = static_cast<float>(static_cast<double>(seed) / 2147483647.5 - 1.0);
        }
      }
    }
    frame->pts = static_cast<int64_t>(n) * frame->nb_samples;
    if (FF().avcodec_send_frame(ctx, frame.get()) < 0 || !receiveAll()) return false;
  }
  return FF().avcodec_send_frame(ctx, nullptr) >= 0 && receiveAll();
}

}  // namespace

TContainerDefaults ContainerDefaults(const std::string& fileName) {
  TContainerDefaults defaults;
  TFormatContextPtr oc;
  const int allocated = FF().avformat_alloc_output_context2(OutPtr(oc), nullptr, nullptr, fileName.c_str());
  if (allocated < 0 || oc == nullptr) return defaults;
  const AVOutputFormat* format = oc->oformat;
  auto encoderName = [](AVCodecID id) -> std::string {
    if (id == AV_CODEC_ID_NONE) return {};
    const AVCodec* codec = FF().avcodec_find_encoder(id);
    return codec != nullptr && codec->name != nullptr ? codec->name : "";
  };
  defaults.AudioEncoder = encoderName(format->audio_codec);
  defaults.VideoEncoder = encoderName(format->video_codec);
  return defaults;
}

bool AudioEncoderAccepts(const std::string& encoder, int sampleRate, int channels, int64_t bitRate) {
  const AVCodec* codec = FF().avcodec_find_encoder_by_name(encoder.c_str());
  if (codec == nullptr || codec->type != AVMEDIA_TYPE_AUDIO || channels < 1 || sampleRate < 1) return false;
  TCodecContextPtr ctx = NewContext(codec);
  if (!ctx) return false;
  ctx->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  ctx->sample_rate = NearestSampleRate(codec, sampleRate);
  ChooseLayout(codec, channels, &ctx->ch_layout);
  ctx->time_base = AVRational{1, ctx->sample_rate};
  if (bitRate > 0) ctx->bit_rate = bitRate;
  if (FF().avcodec_open2(ctx.get(), codec, nullptr) < 0) return false;
  return EncodeNoise(ctx.get());
}

TAudioEncoderInput AudioEncoderInput(const std::string& encoder, int sampleRate, int channels) {
  const AVCodec* codec = FF().avcodec_find_encoder_by_name(encoder.c_str());
  if (codec == nullptr || codec->type != AVMEDIA_TYPE_AUDIO || channels < 1 || sampleRate < 1) return {};
  AVChannelLayout layout{};
  ChooseLayout(codec, channels, &layout);
  const TAudioEncoderInput input{NearestSampleRate(codec, sampleRate), layout.nb_channels};
  FF().av_channel_layout_uninit(&layout);
  return input;
}

bool VideoEncoderAccepts(const std::string& encoder, int width, int height, const std::string& pixelFormat) {
  const AVCodec* codec = FF().avcodec_find_encoder_by_name(encoder.c_str());
  if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO || width < 1 || height < 1) return false;
  TCodecContextPtr ctx = NewContext(codec);
  if (!ctx) return false;
  AVPixelFormat format = pixelFormat.empty() ? AV_PIX_FMT_NONE : FF().av_get_pix_fmt(pixelFormat.c_str());
  if (format == AV_PIX_FMT_NONE) format = codec->pix_fmts != nullptr ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
  ctx->pix_fmt = format;
  ctx->width = width;
  ctx->height = height;
  ctx->time_base = AVRational{1, 25};
  ctx->framerate = AVRational{25, 1};
  ctx->thread_count = 1;
  return FF().avcodec_open2(ctx.get(), codec, nullptr) >= 0;
}

}  // namespace media
