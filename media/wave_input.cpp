#include "media/wave_input.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "media/ff_api.h"
#include "media/ff_handles.h"
#include "media/ff_logger.h"
#include "media/ff_utils.h"

namespace media {

namespace {

// The private data of the "waveinput" description: what its options write to.
struct TWaveInputOptions {
  const AVClass* Class = nullptr;
  int SampleRate = 0;
  int Channels = 0;
  char* SampleFmt = nullptr;

  TWaveInputOptions() = default;
  ~TWaveInputOptions() { ClearOptions(this); }
  TWaveInputOptions(const TWaveInputOptions&) = delete;
  TWaveInputOptions& operator=(const TWaveInputOptions&) = delete;
};

constexpr int kDec = AV_OPT_FLAG_DECODING_PARAM;
const AVOption kWaveInputOptions[] = {
    {"sample_rate", "set audio sampling rate (in Hz)", offsetof(TWaveInputOptions, SampleRate), AV_OPT_TYPE_INT,
     {.i64 = 44100}, 0, INT_MAX, kDec, nullptr},
    {"channels", "set number of audio channels", offsetof(TWaveInputOptions, Channels), AV_OPT_TYPE_INT, {.i64 = 2},
     0, INT_MAX, kDec, nullptr},
    {"sample_fmt", "set sample format", offsetof(TWaveInputOptions, SampleFmt), AV_OPT_TYPE_STRING, {.str = "s16"},
     0, 0, kDec, nullptr},
    {nullptr, nullptr, 0, AV_OPT_TYPE_INT, {.i64 = 0}, 0, 0, 0, nullptr},
};

// item_name is filled in by WaveInputClass: av_default_item_name lives in avutil.
AVClass GWaveInputClass = [] {
  AVClass c{};
  c.class_name = "WaveInputFormat";
  c.option = kWaveInputOptions;
  c.version = LIBAVUTIL_VERSION_INT;
  return c;
}();

// Only public fields are set. Not AVFMT_NOFILE and with AVFMT_NEEDNUMBER, so avformat_open_input
// refuses the description itself (see the header); this code never gives it to libavformat.
const AVInputFormat GWaveInputFormat = [] {
  AVInputFormat f{};
  f.name = WaveInputFormatName;
  f.long_name = "Wave input";
  f.flags = AVFMT_NEEDNUMBER;
  f.priv_class = &GWaveInputClass;
  return f;
}();

// lavc refuses more channels than this (FF_SANE_NB_CHANNELS, not public); it also keeps
// block align × 1024 far inside an int.
constexpr int kMaxChannels = 512;
// The raw demuxer reads 1024 samples per packet; one answer holds as many.
constexpr int kSamplesPerFrame = 1024;

struct TSampleFormat {
  const char* Name;
  const char* Demuxer;
  int Bits;
  AVSampleFormat Format;
};
constexpr TSampleFormat kSampleFormats[] = {
    {"u8", "u8", 8, AV_SAMPLE_FMT_U8},
    {"s16", "s16le", 16, AV_SAMPLE_FMT_S16},
    {"s32", "s32le", 32, AV_SAMPLE_FMT_S32},
};

// The adapters by id, and the readers alive: CloseInputFormat may come after the adapter that
// owned a reader is gone.
struct TRegistry {
  std::mutex Lock;
  std::uint64_t NextId = 1;
  std::map<std::uint64_t, TWaveInputAdapter*> Adapters;
  std::set<TWaveReader*> Readers;
};
TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

// The class with its item-name routine; avutil must be loaded.
const AVClass* WaveInputClass() {
  static std::once_flag once;
  std::call_once(once, [] { GWaveInputClass.item_name = FF().av_default_item_name; });
  return &GWaveInputClass;
}

}  // namespace

/// One opening of an adapter: the AVIOContext the raw demuxer reads through, and the staging
/// buffer the handler writes one answer into. Owned by its adapter; its callbacks run on the
/// reading thread.
struct TWaveReader {
  TWaveInputAdapter* Adapter = nullptr;
  TWaveInputOptions Options;  // its AVClass names the log lines "WaveInputFormat"
  TInputWaveInfo Info;
  int BytesPerSample = 0;
  std::vector<std::uint8_t> Stage;
  int StagePos = 0;
  int StageLen = 0;
  bool Ended = false;
  bool Closed = false;
  AVIOInterruptCB Interrupt{};
  TCustomIOPtr IO;

  static int Read(void* opaque, std::uint8_t* buffer, int size) {
    TWaveReader& reader = *static_cast<TWaveReader*>(opaque);
    if (reader.StagePos >= reader.StageLen) {
      const int filled = reader.Fill();
      if (filled < 0) return filled;
    }
    const int count = std::min(size, reader.StageLen - reader.StagePos);
    std::memcpy(buffer, reader.Stage.data() + reader.StagePos, std::size_t(count));
    reader.StagePos += count;
    return count;
  }

  // Asks the handler until it answers bytes; 0 answers ask again unless the input is interrupted.
  int Fill() {
    if (Ended) return AVERROR_EOF;
    for (;;) {
      ++Info.FrameNumber;
      Info.TimeStamp = Info.TotalSize * (1000000 / BytesPerSample) / (std::int64_t(Info.SampleRate) * Info.Channels);
      int answer = -1;
      try {
        if (Adapter != nullptr && Adapter->OnReadWaveData) answer = Adapter->OnReadWaveData(Adapter, Stage.data(), &Info);
      } catch (const std::exception& e) {
        FF().av_log(&Options, AV_LOG_ERROR, "OnReadWaveData failed: %s\n", e.what());
        return End(AVERROR_EXTERNAL);
      }
      if (answer < 0) {
        FF().av_log(&Options, AV_LOG_INFO, "reading wave data return %d\n", answer);
        return End(AVERROR_EOF);
      }
      if (answer > Info.FrameSize) {
        // The handler already wrote past the frame it was given; nothing it answered is used.
        FF().av_log(&Options, AV_LOG_ERROR, "reading wave data return %d, more than the frame size %d\n", answer,
                    Info.FrameSize);
        return End(AVERROR(EINVAL));
      }
      Info.TotalSize += answer;
      if (answer > 0) {
        StagePos = 0;
        StageLen = answer;
        return answer;
      }
      if (Interrupt.callback != nullptr && Interrupt.callback(Interrupt.opaque) != 0) return AVERROR_EXIT;
    }
  }

  int End(int result) {
    Ended = true;
    RaiseClose();
    return result;
  }

  // Removes reader from its adapter and the registry, destroying it; nothing when it is gone.
  static void Drop(TWaveReader* reader) {
    TRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    if (registry.Readers.erase(reader) == 0) return;
    TWaveInputAdapter& adapter = *reader->Adapter;
    if (adapter.FWaveInfo == &reader->Info) adapter.FWaveInfo = nullptr;
    auto& readers = adapter.FReaders;
    readers.erase(std::find_if(readers.begin(), readers.end(), [&](const auto& r) { return r.get() == reader; }));
  }

  void RaiseClose() {
    if (Closed) return;
    Closed = true;
    if (Adapter != nullptr && Adapter->OnReadClose) Adapter->OnReadClose(Adapter);
  }
};

TWaveInputAdapter::TWaveInputAdapter(TFFBaseComponent* owner) : TFFBaseComponent(owner) {
  TRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  FId = registry.NextId++;
  registry.Adapters[FId] = this;
}

TWaveInputAdapter::~TWaveInputAdapter() {
  OnReadHeader = nullptr;
  OnReadClose = nullptr;
  OnReadWaveData = nullptr;
  TRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  registry.Adapters.erase(FId);
  for (const auto& reader : FReaders) registry.Readers.erase(reader.get());
  FReaders.clear();
}

std::string TWaveInputAdapter::InputName() const { return std::to_string(FId); }

void RegisterWaveInputFormat() {
  WaveInputClass();
  RegisterInputFormat(&GWaveInputFormat);
}

bool IsWaveInputFormat(const AVInputFormat* format) { return format == &GWaveInputFormat; }

namespace {

// Logs through a stand-in object so the line carries the class name, as the reader's lines do.
void LogOpenError(const char* format, const char* text, int value) {
  TWaveInputOptions logAs;
  logAs.Class = WaveInputClass();
  if (text != nullptr)
    FF().av_log(&logAs, AV_LOG_ERROR, format, text);
  else
    FF().av_log(&logAs, AV_LOG_ERROR, format, value);
}

TWaveInputAdapter* FindAdapter(const std::string& fileName) {
  std::uint64_t id = 0;
  const char* first = fileName.data();
  const char* last = first + fileName.size();
  const auto [end, error] = std::from_chars(first, last, id);
  if (error != std::errc() || end != last || fileName.empty()) {
    LogOpenError("Could not parse WaveInputAdapter: \"%s\", it should be address of WaveInputAdapter\n",
                 fileName.c_str(), 0);
    return nullptr;
  }
  TRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  auto found = registry.Adapters.find(id);
  if (id == 0 || found == registry.Adapters.end()) {
    LogOpenError("Invalid WaveInputAdapter\n", nullptr, 0);
    return nullptr;
  }
  return found->second;
}

// Reads the three options out of *options (the rest stays there) and checks them.
int ParseWaveOptions(AVDictionary** options, TWaveInputOptions& parsed, const TSampleFormat*& sampleFormat) {
  parsed.Class = WaveInputClass();
  FF().av_opt_set_defaults(&parsed);
  int ret = FF().av_opt_set_dict(&parsed, options);
  if (ret < 0) return ret;
  const std::string name = parsed.SampleFmt != nullptr ? parsed.SampleFmt : "";
  sampleFormat = &kSampleFormats[1];
  if (!name.empty()) {
    auto match = std::find_if(std::begin(kSampleFormats), std::end(kSampleFormats),
                              [&](const TSampleFormat& f) { return name == f.Name; });
    if (match == std::end(kSampleFormats)) {
      LogOpenError("Invalid sample format: \"%s\", it should be u8, s16 or s32\n", name.c_str(), 0);
      return AVERROR(EINVAL);
    }
    sampleFormat = &*match;
  }
  if (parsed.SampleRate <= 0) {
    LogOpenError("Invalid sample rate %d\n", nullptr, parsed.SampleRate);
    return AVERROR(EINVAL);
  }
  if (parsed.Channels <= 0 || parsed.Channels > kMaxChannels) {
    LogOpenError("Invalid channels %d\n", nullptr, parsed.Channels);
    return AVERROR(EINVAL);
  }
  return 0;
}

void FreeContext(AVFormatContext** context) { const TFormatContextPtr freed{std::exchange(*context, nullptr)}; }

}  // namespace

int OpenWaveInput(AVFormatContext** context, const std::string& fileName, AVDictionary** options) {
  TWaveInputAdapter* adapter = FindAdapter(fileName);
  if (adapter == nullptr) {
    FreeContext(context);
    return AVERROR(EINVAL);
  }
  TDictionaryPtr rest;
  if (options != nullptr) FF().av_dict_copy(OutPtr(rest), *options, 0);
  int sampleRate = 0;
  int channels = 0;
  const TSampleFormat* sampleFormat = nullptr;
  int ret = 0;
  {
    TWaveInputOptions parsed;
    ret = ParseWaveOptions(OutPtr(rest), parsed, sampleFormat);
    sampleRate = parsed.SampleRate;
    channels = parsed.Channels;
  }
  if (ret < 0) {
    FreeContext(context);
    return ret;
  }

  const AVInputFormat* demuxer = FF().av_find_input_format(sampleFormat->Demuxer);
  if (*context == nullptr) *context = FF().avformat_alloc_context();
  auto reader = std::make_unique<TWaveReader>();
  reader->Adapter = adapter;
  reader->Options.Class = WaveInputClass();
  reader->BytesPerSample = sampleFormat->Bits / 8;
  reader->Info.SampleRate = sampleRate;
  reader->Info.Channels = channels;
  reader->Info.SampleFormat = sampleFormat->Bits;
  reader->Info.FrameSize = std::max(sampleFormat->Bits * channels / 8, 1) * kSamplesPerFrame;
  reader->Stage.resize(std::size_t(reader->Info.FrameSize));
  if (demuxer == nullptr || *context == nullptr) {
    FreeContext(context);
    return demuxer == nullptr ? AVERROR_DEMUXER_NOT_FOUND : AVERROR(ENOMEM);
  }
  TBufferPtr buffer{static_cast<std::uint8_t*>(FF().av_malloc(std::size_t(reader->Info.FrameSize)))};
  if (buffer != nullptr) {
    reader->IO.reset(FF().avio_alloc_context(buffer.get(), reader->Info.FrameSize, 0, reader.get(),
                                             &TWaveReader::Read, nullptr, nullptr));
    if (reader->IO != nullptr) static_cast<void>(buffer.release());  // the context's buffer now
  }
  if (reader->IO == nullptr) {
    FreeContext(context);
    return AVERROR(ENOMEM);
  }
  reader->Interrupt = (*context)->interrupt_callback;
  (*context)->pb = reader->IO.get();
  (*context)->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_NOPARSE;

  FF().av_dict_set_int(OutPtr(rest), "sample_rate", sampleRate, 0);
  char layoutText[64] = {};
  {
    TChannelLayoutValue layout;
    FF().av_channel_layout_default(&layout, channels);
    FF().av_channel_layout_describe(&layout, layoutText, sizeof layoutText);
  }
  FF().av_dict_set(OutPtr(rest), "ch_layout", layoutText, 0);

  TWaveReader* opening = reader.get();
  {
    TRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    registry.Readers.insert(opening);
    adapter->FReaders.push_back(std::move(reader));
    adapter->FWaveInfo = &opening->Info;
  }
  // Before the demuxer opens: libavformat already reads the first bytes while opening.
  if (adapter->OnReadHeader) adapter->OnReadHeader(adapter);

  // On failure avformat_open_input frees the context but leaves a custom AVIOContext alone.
  ret = FF().avformat_open_input(context, FileNameToFF(fileName).c_str(), demuxer, OutPtr(rest));
  if (ret >= 0) {
    AVCodecParameters* par = (*context)->streams[0]->codecpar;
    par->format = sampleFormat->Format;
    if (par->bits_per_coded_sample != sampleFormat->Bits) {
      FF().av_log(&opening->Options, AV_LOG_ERROR, "Unexpected bits per sample %d\n", par->bits_per_coded_sample);
      CloseDemuxer(std::exchange(*context, nullptr));
      ret = AVERROR(EINVAL);
    }
  }
  if (ret < 0) {
    opening->RaiseClose();
    TWaveReader::Drop(opening);
    return ret;
  }
  // With a probe size of 0 the stream analysis reads no packet: a live source is not asked for
  // seconds of audio before the conversion starts, and the parameters are all known.
  (*context)->probesize = 0;
  // What the demuxer left unused replaces the caller's options.
  if (options != nullptr) {
    const TDictionaryPtr replaced{std::exchange(*options, rest.release())};
  }
  return ret;
}

int OpenInputFormat(AVFormatContext** context, const std::string& fileName, const AVInputFormat* format,
                    AVDictionary** options) {
  if (IsWaveInputFormat(format)) return OpenWaveInput(context, fileName, options);
  return FF().avformat_open_input(context, FileNameToFF(fileName).c_str(), format, options);
}

void CloseInputFormat(AVFormatContext** context) {
  if (context == nullptr || *context == nullptr) return;
  // The reader is looked up by its AVIOContext, never through it: when the adapter is gone the
  // context was freed with the reader (avformat_close_input leaves a custom one alone).
  TWaveReader* reader = nullptr;
  if (((*context)->flags & AVFMT_FLAG_CUSTOM_IO) && (*context)->pb != nullptr) {
    TRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    for (TWaveReader* live : registry.Readers)
      if (live->IO.get() == (*context)->pb) reader = live;
  }
  CloseDemuxer(std::exchange(*context, nullptr));
  if (reader != nullptr) {
    reader->RaiseClose();
    TWaveReader::Drop(reader);
  }
}

}  // namespace media
