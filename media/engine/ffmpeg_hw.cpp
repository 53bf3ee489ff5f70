// Hardware devices and accelerations: the named device table ("-init_hw_device",
// "-filter_hw_device"), the devices of decoders ("-hwaccel", "-hwaccel_device") and encoders, and
// copying hardware frames into ordinary ones. "-hwaccel" takes every device type FFmpeg knows by
// name (vaapi, vdpau, cuda, qsv, drm, opencl, vulkan...), as FFmpeg 5.1's tool does.
//
// On Linux the table's video-acceleration row is VA-API. Devices that cannot be created here
// (no GPU) fail with FFmpeg's reason; Vulkan works on Mesa's software device (lavapipe).

#include <cstring>
#include <utility>

#include "media/engine/custom_ffmpeg.h"
#include "media/engine/ffmpeg_util.h"
#include "media/ff_utils.h"

namespace media {

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
  THWDevice* dev = nullptr;
  AVHWDeviceType type = ist.hwaccel_device_type;
  int err = 0;
  if (ist.hwaccel_id == THWAccelID::HWACCEL_GENERIC) {
    // A device named by "-hwaccel_device" that does not exist yet is opened on that device.
    if (!ist.hwaccel_device.empty()) {
      dev = HWDeviceGetByName(ist.hwaccel_device);
      if (dev != nullptr && dev->type_ != type) {
        Log(TLogLevel::llError,
            "Invalid hwaccel device specified for decoder: device %s of type %s is not usable with hwaccel %s.",
            dev->name.c_str(), TypeName(dev->type_), TypeName(type));
        return AVERROR(EINVAL);
      }
      if (dev == nullptr) err = HWDeviceInitFromString(FormatStr("%s:%s", TypeName(type), ist.hwaccel_device.c_str()), &dev);
    } else {
      dev = HWDeviceGetByType(type);
      if (dev == nullptr) err = HWDeviceInitFromString(TypeName(type), &dev);
    }
    if (dev == nullptr) {
      // The device the name asks for is missing: the decoder cannot run as asked.
      Log(TLogLevel::llError, "No device available for decoder: device type %s needed for codec %s.",
          TypeName(type), ist.avdec != nullptr ? ist.avdec->name : "?");
      return err < 0 ? err : AVERROR(ENODEV);
    }
  } else {
    if (!ist.hwaccel_device.empty()) {
      dev = HWDeviceGetByName(ist.hwaccel_device);
    } else {
      type = DeviceTypeOfCodec(ist.avdec);
      if (type == AV_HWDEVICE_TYPE_NONE) return 0;
      dev = HWDeviceGetByType(type);
      if (dev == nullptr) {
        err = HWDeviceInitFromString(TypeName(type), &dev);
        if (err < 0) return err;
      }
    }
    if (dev == nullptr) {
      Log(TLogLevel::llWarning, "No device available for decoder (device type %s for codec %s).", TypeName(type),
          ist.avdec != nullptr ? ist.avdec->name : "?");
      return 0;
    }
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

AVPixelFormat TCustomFFmpeg::GetFormat(AVCodecContext* avctx, const AVPixelFormat* formats) {
  auto* ist = static_cast<TInputStream*>(avctx->opaque);
  const AVPixelFormat* p = formats;
  for (; *p != AV_PIX_FMT_NONE; p++) {
    const AVPixFmtDescriptor* desc = FF().av_pix_fmt_desc_get(*p);
    if (desc == nullptr || !(desc->flags & AV_PIX_FMT_FLAG_HWACCEL)) break;
    if (ist->dec_ctx->hw_device_ctx == nullptr || ist->hwaccel_id == THWAccelID::HWACCEL_NONE) continue;
    // A hardware format the decoder makes on the device it was given.
    const auto* device = reinterpret_cast<const AVHWDeviceContext*>(ist->dec_ctx->hw_device_ctx->data);
    bool usable = false;
    const AVCodecHWConfig* config = nullptr;
    for (int i = 0; (config = FF().avcodec_get_hw_config(avctx->codec, i)) != nullptr; i++)
      if (config->pix_fmt == *p && config->device_type == device->type &&
          (config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) != 0)
        usable = true;
    if (!usable) continue;
    ist->hwaccel_pix_fmt = *p;
    ist->hwaccel_retrieve_data = true;
    return *p;
  }
  return *p;
}

}  // namespace media
