// Hardware devices and accelerations: the named device table ("-init_hw_device",
// "-filter_hw_device"), the devices of decoders ("-hwaccel", "-hwaccel_device") and encoders, the
// CUDA and Quick Sync frame pools, and copying hardware frames into ordinary ones.
//
// On Linux the table's video-acceleration row is VA-API. Devices that cannot be created here
// (no GPU) fail with FFmpeg's reason; Vulkan works on Mesa's software device (lavapipe).

#include <cstring>
#include <utility>

#include "media/engine/custom_ffmpeg.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

const std::vector<THWAccel>& HWAccels() {
  static const std::vector<THWAccel> table = {
      {"vaapi", THWAccelID::HWACCEL_VAAPI, AV_PIX_FMT_VAAPI, AV_HWDEVICE_TYPE_VAAPI},
      {"qsv", THWAccelID::HWACCEL_QSV, AV_PIX_FMT_QSV, AV_HWDEVICE_TYPE_NONE},
      {"cuvid", THWAccelID::HWACCEL_CUVID, AV_PIX_FMT_CUDA, AV_HWDEVICE_TYPE_NONE},
  };
  return table;
}

const THWAccel* HWAccelById(THWAccelID id) {
  for (const THWAccel& a : HWAccels())
    if (a.id == id) return &a;
  return nullptr;
}

THWDevice* TCustomFFmpegOpt::HWDeviceGetByName(const std::string& name) const {
  for (const auto& dev : Fhw_devices)
    if (dev->name == name) return dev.get();
  return nullptr;
}

THWDevice* TCustomFFmpegOpt::HWDeviceGetByType(AVHWDeviceType type) const {
  THWDevice* found = nullptr;
  for (const auto& dev : Fhw_devices) {
    if (dev->type_ != type) continue;
    if (found != nullptr) return nullptr;  // more than one: the caller must name it
    found = dev.get();
  }
  return found;
}

void TCustomFFmpegOpt::HWDeviceFreeAll() {
  Ffilter_hw_device = nullptr;
  Fhw_devices.clear();
}

int TCustomFFmpegOpt::HWDeviceInitFromString(const std::string& spec, THWDevice** out) {
  if (out != nullptr) *out = nullptr;
  auto invalid = [&](const char* why) {
    const std::string text = FormatStr("Invalid device specification \"%s\": %s", spec.c_str(), why);
    SetLastOptionError(text);
    return Refuse(TLogLevel::llError, text, AVERROR(EINVAL));
  };
  std::size_t pos = spec.find_first_of(":=@");
  const std::string typeName = spec.substr(0, pos);
  if (typeName.empty()) return invalid("parse error");
  const AVHWDeviceType type = FF().av_hwdevice_find_type_by_name(typeName.c_str());
  if (type == AV_HWDEVICE_TYPE_NONE) return invalid("unknown device type");

  std::string name;
  if (pos != std::string::npos && spec[pos] == '=') {
    const std::size_t end = spec.find_first_of(":@", pos + 1);
    name = spec.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
    if (HWDeviceGetByName(name) != nullptr) return invalid("named device already exists");
    pos = end;
  } else {
    for (int index = 0; index < 1000 && name.empty(); index++) {
      const std::string candidate = FormatStr("%s%d", typeName.c_str(), index);
      if (HWDeviceGetByName(candidate) == nullptr) name = candidate;
    }
    if (name.empty()) return invalid("too many devices");
  }

  TBufferRefPtr deviceRef;
  int err = 0;
  if (pos == std::string::npos) {
    err = FF().av_hwdevice_ctx_create(OutPtr(deviceRef), type, nullptr, nullptr, 0);
  } else if (spec[pos] == ':') {
    const std::size_t comma = spec.find(',', pos + 1);
    const std::string device = spec.substr(pos + 1, comma == std::string::npos ? std::string::npos : comma - pos - 1);
    TDictionaryPtr options;
    if (comma != std::string::npos &&
        FF().av_dict_parse_string(OutPtr(options), spec.c_str() + comma + 1, "=", ",", 0) < 0)
      return invalid("failed to parse options");
    err = FF().av_hwdevice_ctx_create(OutPtr(deviceRef), type, device.empty() ? nullptr : device.c_str(),
                                      options.get(), 0);
  } else if (spec[pos] == '@') {
    const THWDevice* source = HWDeviceGetByName(spec.substr(pos + 1));
    if (source == nullptr) return invalid("invalid source device name");
    err = FF().av_hwdevice_ctx_create_derived(OutPtr(deviceRef), type, source->device_ref.get(), 0);
  } else {
    return invalid("parse error");
  }
  if (err < 0) {
    const std::string text = FormatStr("Device creation failed: %d. %s", err, FormatAVError(err).c_str());
    SetLastOptionError(text);
    return Refuse(TLogLevel::llError, text, err);
  }
  auto dev = std::make_unique<THWDevice>();
  dev->name = name;
  dev->type_ = type;
  dev->device_ref = std::move(deviceRef);
  Fhw_devices.push_back(std::move(dev));
  if (out != nullptr) *out = Fhw_devices.back().get();
  return 0;
}

namespace {

// The first device type (in FFmpeg's order) whose name is part of the codec's name.
AVHWDeviceType DeviceTypeOfCodec(const AVCodec* codec) {
  if (codec == nullptr) return AV_HWDEVICE_TYPE_NONE;
  AVHWDeviceType type = AV_HWDEVICE_TYPE_NONE;
  while ((type = FF().av_hwdevice_iterate_types(type)) != AV_HWDEVICE_TYPE_NONE) {
    const char* typeName = FF().av_hwdevice_get_type_name(type);
    if (typeName != nullptr && std::strstr(codec->name, typeName) != nullptr) return type;
  }
  return AV_HWDEVICE_TYPE_NONE;
}

const char* TypeName(AVHWDeviceType type) {
  const char* name = FF().av_hwdevice_get_type_name(type);
  return name != nullptr ? name : "none";
}

}  // namespace

int TCustomFFmpeg::HWDeviceSetupForDecode(TInputStream& ist) {
  const THWAccel* accel = HWAccelById(ist.hwaccel_id);
  THWDevice* dev = nullptr;
  AVHWDeviceType type = AV_HWDEVICE_TYPE_NONE;
  if (!ist.hwaccel_device.empty()) {
    dev = HWDeviceGetByName(ist.hwaccel_device);
    if (dev == nullptr) {
      type = accel != nullptr ? accel->device_type : AV_HWDEVICE_TYPE_NONE;
      if (type == AV_HWDEVICE_TYPE_NONE) return 0;
      const int err = HWDeviceInitFromString(FormatStr("%s:%s", TypeName(type), ist.hwaccel_device.c_str()), &dev);
      if (err < 0) return err;
    }
  } else {
    if (accel != nullptr)
      type = accel->device_type;
    else if (ist.hwaccel_id == THWAccelID::HWACCEL_NONE || ist.hwaccel_id == THWAccelID::HWACCEL_AUTO)
      type = DeviceTypeOfCodec(ist.avdec);
    if (type == AV_HWDEVICE_TYPE_NONE) return 0;
    dev = HWDeviceGetByType(type);
    if (dev == nullptr) {
      const int err = HWDeviceInitFromString(TypeName(type), &dev);
      if (err < 0) return err;
    }
  }
  if (dev == nullptr) {
    Log(TLogLevel::llWarning, "No device available for decoder (device type %s for codec %s).", TypeName(type),
        ist.avdec != nullptr ? ist.avdec->name : "?");
    return 0;
  }
  ist.dec_ctx->hw_device_ctx = FF().av_buffer_ref(dev->device_ref.get());
  return ist.dec_ctx->hw_device_ctx == nullptr ? AVERROR(ENOMEM) : 0;
}

int TCustomFFmpeg::HWDeviceSetupForEncode(TOutputStream& ost) {
  const AVHWDeviceType type = DeviceTypeOfCodec(ost.enc);
  if (type == AV_HWDEVICE_TYPE_NONE) return 0;
  THWDevice* dev = HWDeviceGetByType(type);
  if (dev == nullptr) {
    Log(TLogLevel::llWarning, "No device available for encoder (device type %s for codec %s).", TypeName(type),
        ost.enc->name);
    return 0;
  }
  ost.enc_ctx->hw_device_ctx = FF().av_buffer_ref(dev->device_ref.get());
  return ost.enc_ctx->hw_device_ctx == nullptr ? AVERROR(ENOMEM) : 0;
}

int TCustomFFmpeg::HWAccelRetrieveData(AVCodecContext* avctx, AVFrame* input) {
  auto* ist = static_cast<TInputStream*>(avctx->opaque);
  const AVPixelFormat outputFormat = ist->hwaccel_output_format;
  if (input->format == outputFormat) return 0;
  const TFramePtr output{FF().av_frame_alloc()};
  if (output == nullptr) return AVERROR(ENOMEM);
  output->format = outputFormat;
  int err = FF().av_hwframe_transfer_data(output.get(), input, 0);
  if (err < 0) {
    Log(TLogLevel::llError, "Failed to transfer data to output frame: %d.", err);
  } else if ((err = FF().av_frame_copy_props(output.get(), input)) >= 0) {
    FF().av_frame_unref(input);
    FF().av_frame_move_ref(input, output.get());
  }
  return err;
}

int TCustomFFmpeg::InitHWFramesPool(TInputStream& ist, AVCodecContext* avctx, AVHWDeviceType type, AVPixelFormat format,
                                    const char* label, int poolSize) {
  if (ist.dec_ctx->hw_device_ctx == nullptr && Fhw_device_ctx == nullptr) {
    TDictionaryPtr options;
    // Quick Sync runs on a child device: "-qsv_device" names it (a DRM node or an X11 display
    // here), else the stream's "-hwaccel_device".
    const std::string& child = !Fqsv_device.empty() ? Fqsv_device : ist.hwaccel_device;
    if (type == AV_HWDEVICE_TYPE_QSV && !child.empty())
      FF().av_dict_set(OutPtr(options), "child_device", child.c_str(), 0);
    const int err = FF().av_hwdevice_ctx_create(OutPtr(Fhw_device_ctx), type,
                                                ist.hwaccel_device.empty() ? nullptr : ist.hwaccel_device.c_str(),
                                                options.get(), 0);
    if (err < 0) {
      Log(TLogLevel::llError, "Error creating a %s device", label);
      return err;
    }
  }
  AVBufferRef* device = ist.dec_ctx->hw_device_ctx != nullptr ? ist.dec_ctx->hw_device_ctx : Fhw_device_ctx.get();
  ist.hw_frames_ctx.reset();
  ist.hw_frames_ctx.reset(FF().av_hwframe_ctx_alloc(device));
  if (ist.hw_frames_ctx == nullptr) {
    Log(TLogLevel::llError, "Error creating a %s frames context", label);
    return AVERROR(ENOMEM);
  }
  auto* frames = reinterpret_cast<AVHWFramesContext*>(ist.hw_frames_ctx->data);
  frames->format = format;
  frames->sw_format = avctx->sw_pix_fmt;
  if (type == AV_HWDEVICE_TYPE_QSV) {
    frames->width = (avctx->coded_width + 31) & ~31;
    frames->height = (avctx->coded_height + 31) & ~31;
    frames->initial_pool_size = poolSize;
  } else {
    frames->width = avctx->width;
    frames->height = avctx->height;
    Log(TLogLevel::llDebug, "Initializing CUDA frames context: sw_format = %s, width = %d, height = %d",
        FF().av_get_pix_fmt_name(frames->sw_format), frames->width, frames->height);
  }
  const int err = FF().av_hwframe_ctx_init(ist.hw_frames_ctx.get());
  if (err < 0) {
    Log(TLogLevel::llError, "Error initializing a %s frame pool", label);
    ist.hw_frames_ctx.reset();
    return err;
  }
  return 0;
}

int TCustomFFmpeg::CuvidInit(AVCodecContext* avctx) {
  auto* ist = static_cast<TInputStream*>(avctx->opaque);
  Log(TLogLevel::llVerbose, "Initializing cuvid hwaccel");
  return InitHWFramesPool(*ist, avctx, AV_HWDEVICE_TYPE_CUDA, AV_PIX_FMT_CUDA, "CUDA", 0);
}

int TCustomFFmpeg::QSVInit(AVCodecContext* avctx) {
  auto* ist = static_cast<TInputStream*>(avctx->opaque);
  return InitHWFramesPool(*ist, avctx, AV_HWDEVICE_TYPE_QSV, AV_PIX_FMT_QSV, "QSV", 64);
}

AVPixelFormat TCustomFFmpeg::GetFormat(AVCodecContext* avctx, const AVPixelFormat* formats) {
  auto* ist = static_cast<TInputStream*>(avctx->opaque);
  TCustomFFmpeg* self = ist->engine;
  const AVPixelFormat* p = formats;
  for (; *p != AV_PIX_FMT_NONE; p++) {
    const AVPixFmtDescriptor* desc = FF().av_pix_fmt_desc_get(*p);
    if (desc == nullptr || !(desc->flags & AV_PIX_FMT_FLAG_HWACCEL)) break;
    const THWAccel* accel = nullptr;
    for (const THWAccel& a : HWAccels())
      if (a.pix_fmt == *p) accel = &a;
    if (accel == nullptr) {
      // A format of the generic road: the decoder's own device decides (vulkan, vdpau...).
      if (ist->dec_ctx->hw_device_ctx != nullptr && ist->hwaccel_id == THWAccelID::HWACCEL_AUTO) {
        ist->hwaccel_pix_fmt = *p;
        ist->hwaccel_retrieve_data = true;
        return *p;
      }
      continue;
    }
    if ((ist->active_hwaccel_id != THWAccelID::HWACCEL_NONE && ist->active_hwaccel_id != accel->id) ||
        (ist->hwaccel_id != THWAccelID::HWACCEL_AUTO && ist->hwaccel_id != accel->id))
      continue;
    int ret = 0;
    if (accel->id == THWAccelID::HWACCEL_CUVID)
      ret = self->CuvidInit(avctx);
    else if (accel->id == THWAccelID::HWACCEL_QSV)
      ret = self->QSVInit(avctx);
    else
      ret = ist->dec_ctx->hw_device_ctx != nullptr ? 0 : AVERROR(ENODEV);  // set up before the decoder opened
    if (ret < 0) {
      if (ist->hwaccel_id == accel->id) {
        self->Log(TLogLevel::llFatal, "%s hwaccel requested for input stream #%d:%d, but cannot be initialized.",
                  accel->name, ist->file_index, ist->st->index);
        return AV_PIX_FMT_NONE;
      }
      continue;
    }
    if (ist->hw_frames_ctx != nullptr) {
      // The decoder's reference is its own: the one it held goes.
      const TBufferRefPtr previous{
          std::exchange(avctx->hw_frames_ctx, FF().av_buffer_ref(ist->hw_frames_ctx.get()))};
      if (avctx->hw_frames_ctx == nullptr) return AV_PIX_FMT_NONE;
    }
    ist->active_hwaccel_id = accel->id;
    ist->hwaccel_pix_fmt = *p;
    ist->hwaccel_retrieve_data = true;
    return *p;
  }
  return *p;
}

int TCustomFFmpeg::GetBuffer(AVCodecContext* avctx, AVFrame* frame, int flags) {
  auto* ist = static_cast<TInputStream*>(avctx->opaque);
  if (ist->hw_frames_ctx != nullptr && frame->format == ist->hwaccel_pix_fmt &&
      ist->active_hwaccel_id == THWAccelID::HWACCEL_QSV)
    return FF().av_hwframe_get_buffer(ist->hw_frames_ctx.get(), frame, 0);
  return FF().avcodec_default_get_buffer2(avctx, frame, flags);
}

}  // namespace media
