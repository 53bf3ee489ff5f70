#pragma once
// TCustomFFmpegOpt: the option layer of the conversion engine. It owns the option table (the
// command-line syntax of FFmpeg's tool), parses one option string per input or output file, opens
// the input files (demuxers, decoders chosen), opens the output files (muxer, output streams,
// encoders chosen, simple filter graphs) and builds filter graphs. TCustomFFmpeg (custom_ffmpeg.h)
// adds the run. All of this runs on the thread that calls OpenInput/OpenOutput (normally the main
// thread); the interrupt callbacks run on whatever thread FFmpeg blocks on.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "media/engine/ffmpeg_options_context.h"
#include "media/engine/ffmpeg_records.h"
#include "media/ff_api.h"
#include "media/ff_base.h"
#include "media/ff_exception.h"
#include "media/ff_logger.h"
#include "media/ff_options.h"

namespace media {

class TCustomFFmpegOpt;

/// The outcome of a step of the engine: a code (negative FFmpeg error on failure) and the reason,
/// the text that was logged for it. The engine keeps the last one; its text is LastErrMsg.
struct TEngineResult {
  int Code = 0;
  std::string Message;
};

/// What the engine raises for a failure it has logged and kept already (RaiseError): the opening
/// calls turn it into their negative result and the run into its fatal message, without logging
/// it again. Any other exception reaching them was not logged.
class TEngineFailure : public FFmpegException {
 public:
  explicit TEngineFailure(TEngineResult result)
      : FFmpegException(result.Message), FResult(std::move(result)) {}
  const TEngineResult& Result() const noexcept { return FResult; }

 private:
  TEngineResult FResult;
};

/// Handler of an option row: (per-file context or null for global options, the option name as
/// written, the argument) → negative FFmpeg error or >= 0.
using TEngineOptionHandler = int (TCustomFFmpegOpt::*)(TOptionsContext* o, const std::string& opt,
                                                       const std::string& arg);

class TCustomFFmpegOpt : public ILogReporter {
 public:
  TCustomFFmpegOpt();
  ~TCustomFFmpegOpt() override;
  TCustomFFmpegOpt(const TCustomFFmpegOpt&) = delete;
  TCustomFFmpegOpt& operator=(const TCustomFFmpegOpt&) = delete;

  /// "[Owner.Name] " of the owning component, else "[TCustomFFmpeg] ".
  std::string ReporterInfo() const override;
  /// The component the engine reports for in log lines (borrowed; may be null).
  void SetOwner(const TFFBaseComponent* owner) { FOwner = owner; }

  // --- Option layer -------------------------------------------------------------------------
  /// Fills the option table once; later calls do nothing.
  void BuildOptionTable();
  bool OptionTableBuilt() const { return !FOptionDef.empty(); }
  /// The table (190 rows and a terminating row without a name), null before BuildOptionTable.
  const TOptionDef* OptionTable() const { return FOptionDef.empty() ? nullptr : FOptionDef.data(); }
  /// Number of rows without the terminator.
  int OptionCount() const { return FOptionDef.empty() ? 0 : int(FOptionDef.size()) - 1; }
  /// Resets o to its defaults and the parse context of FOptions; o.g points at its file group.
  void InitOptionsContext(TOptionsContext& o);
  /// Frees what o holds and releases the parse context. Always called after opening a file.
  void ReleaseOptionsContext(TOptionsContext& o);
  /// Parses options (FFmpeg's command-line syntax) for one file and applies the global group, the
  /// presets and the file group. direction is OPT_INPUT or OPT_OUTPUT; role is "input file" or
  /// "output file". Returns >= 0, or a negative FFmpeg error with the reason in LastErrMsg.
  /// Value conversion errors throw FFmpegException.
  int ParseOptions(TOptionsContext& o, const std::string& options, const std::string& role, int direction,
                   const std::string& fileName, const std::string& presets);
  /// Applies a presets text ("key=value" lines, "#" comments); 0 or a negative code.
  int ParsePresets(TOptionsContext& o, const std::string& presets, const std::string& role);

  /// Opens one input file: parses options, opens and probes the demuxer, registers the streams and
  /// chooses decoders. Returns the new input file's index, or a negative FFmpeg error with
  /// LastErrMsg. Throws FFmpegException for the failures the engine raises (unknown codecs,
  /// bad option values). Call between InitOptionsContext and ReleaseOptionsContext.
  int OpenInputFile(TOptionsContext& o, const std::string& options, const std::string& fileName,
                    const std::string& presets);
  /// Opens one output file: parses options, creates the muxer and the output streams with their
  /// encoders and simple filter graphs, and opens the file for writing (an existing file is
  /// overwritten). Returns >= 0, or a negative value with LastErrMsg; a failure leaves no output
  /// record and no empty file behind. Throws FFmpegException like OpenInputFile.
  int OpenOutputFile(TOptionsContext& o, const std::string& options, const std::string& fileName,
                     const std::string& presets);
  /// OpenInputFile between a fresh options context and its release. Never throws for a refusal:
  /// returns a negative value with LastErrMsg, the text that was logged.
  int OpenInput(const std::string& fileName, const std::string& options = {},
                const std::string& presets = {});
  /// OpenOutputFile, the same way.
  int OpenOutput(const std::string& fileName, const std::string& options = {},
                 const std::string& presets = {});

  int InputFileCount() const { return int(Finput_files.size()); }
  int OutputFileCount() const { return int(Foutput_files.size()); }
  /// The demuxer of input file index (valid until the engine cleans up), null when out of range.
  AVFormatContext* InputFormatContext(int index) const;

  /// Strict parsing: the first invalid option fails the parse (default true).
  bool HaltOnInvalidOption() const { return FHaltOnInvalidOption; }
  void SetHaltOnInvalidOption(bool value) { FHaltOnInvalidOption = value; }
  /// Milliseconds a blocking read or write may stall; 0 or less waits for ever (default 30000).
  int ReadTimeout() const { return FReadTimeout.load(); }
  void SetReadTimeout(int milliseconds) { FReadTimeout.store(milliseconds); }
  int WriteTimeout() const { return FWriteTimeout.load(); }
  void SetWriteTimeout(int milliseconds) { FWriteTimeout.store(milliseconds); }
  /// The reason of the last failure.
  std::string LastErrMsg() const { return FLastError.Message; }
  void ClearLastErrMsg() { FLastError = TEngineResult(); }
  /// Longest remaining input and longest requested output length, microseconds (-1 unknown).
  int64_t InputDuration() const { return FInputDuration; }
  int64_t OutputDuration() const { return FOutputDuration; }

  /// Creates a hardware device from "type[=name][:device[,key=value...]]" or
  /// "type[=name]@source" and adds it to the device table (out: the new entry, may be null).
  /// A bad text logs and returns AVERROR(EINVAL) with "Invalid device specification ..."; a device
  /// that cannot be created returns FFmpeg's code with "Device creation failed: %d.".
  int HWDeviceInitFromString(const std::string& spec, THWDevice** out);
  THWDevice* HWDeviceGetByName(const std::string& name) const;
  /// The only device of that type; null when there is none or more than one.
  THWDevice* HWDeviceGetByType(AVHWDeviceType type) const;
  void HWDeviceFreeAll();

  /// Bits per pixel of the pictures handed to the video hooks ("-VideoHookBitsPixel", default 32).
  int VideoHookBitsPixel() const { return FVideoHookBitsPixel; }

  /// Raised on the opening thread right before the stream information of an input is read.
  std::function<void(TCustomFFmpegOpt* sender, AVFormatContext* ctx)> OnBeforeFindStreamInfo;

  // --- Per-stream option lookup (last matching entry wins) -------------------------------------
  /// Throws FFmpegException "check_stream_specifier..." for a malformed specifier.
  template <typename T>
  void MatchPerStream(const TSpecifierOptList& list, AVFormatContext* s, AVStream* st, T& value);
  /// The value member of an entry that matches T (u.str, u.i, u.i64, u.f, u.dbl).
  template <typename T>
  static const T& SpecValue(const TSpecifierOpt& entry);
  /// The last codec name given with exactly the kind letter ("v", "a", "s", "d").
  void MatchPerTypeCodecName(const TOptionsContext& o, const char* kind, std::string& value) const;

 protected:
  // --- Failures --------------------------------------------------------------------------------
  // A failure is kept in one record, FLastError, by one of these; RaiseError and Refuse log it as
  // they keep it, so whoever turns it into a result logs nothing more.
  /// Keeps text with AVERROR(EINVAL), logs it at fatal level and throws TEngineFailure with it.
  [[noreturn]] void RaiseError(const std::string& text);
  [[noreturn]] void RaiseErrorFmt(const char* format, ...) __attribute__((format(printf, 2, 3)));
  [[noreturn]] void AbortCodecExperimental();
  /// Keeps text with code, logs it at level and gives back code for the caller to return.
  int Refuse(TLogLevel level, const std::string& text, int code);
  /// Keeps text with code without logging it: its lines were logged where they arose, or the
  /// caller logs it (the stream-copy refusals, logged by transcode_init).
  int KeepError(int code, const std::string& text);
  void Log(TLogLevel level, const char* format, ...) const __attribute__((format(printf, 3, 4)));
  /// Sets the option layer's error text (and logs it at level).
  void SetOptionError(TLogLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));

  // --- Option handling -------------------------------------------------------------------------
  void AddFieldRow(const char* name, int flags, void* field, const char* help, const char* argname = nullptr);
  void AddOffsetRow(const char* name, int flags, std::size_t offset, const char* help,
                    const char* argname = nullptr);
  void AddHandlerRow(const char* name, int flags, TEngineOptionHandler handler, const char* help,
                     const char* argname = nullptr);
  int ApplyDefaultToFile(TOptionsContext* o, const std::string& key, const std::string& value);
  static AVDictionary* StripSpecifiers(AVDictionary* dict);
  static void RemoveOptions(AVDictionary** a, AVDictionary* b);
  void AssertOptionsConsumed(const AVDictionary* dict);
  /// Codec options of a file group that none of the used dictionaries took: a warning each, and
  /// false (with LastErrMsg, logged) for the first one that is not an option of this direction at all.
  bool CheckUnusedCodecOptions(AVDictionary* codecOpts, const std::vector<const AVDictionary*>& used,
                               bool output, int fileIndex, const std::string& fileName);
  int ParseOptionByName(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int ApplyPresetLine(TOptionsContext& o, const std::string& line, const std::string& invalidSyntax,
                      const std::string& invalidOption);

  // Handlers of the option table.
  int opt_ignore(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_refuse(TOptionsContext* o, const std::string& opt, const std::string& arg);
  /// "-nostdin" (arg "0") is accepted and does nothing: the engine never reads standard input;
  /// "-stdin" is refused.
  int opt_stdin(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_empty(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_loglevel(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_max_alloc(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_cpuflags(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_map(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_map_channel(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_attach(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_recording_timestamp(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_progress(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_target(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_vsync(TOptionsContext* o, const std::string& opt, const std::string& arg);
  /// "-vsync" and "-fps_mode" values: a name (passthrough, cfr, vfr, drop, auto) or its number.
  int ParseVsync(const std::string& opt, const std::string& arg, int& method);
  /// "-bitexact" of a file: the "bitexact" flags of its muxer (output) and its coders.
  void ApplyBitexact(TOptionsContext& o, bool output);
  int opt_stats_period(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_cpucount(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_vaapi_device(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_filter_complex(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_filter_complex_script(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_streamid(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_vstats(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_vstats_file(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_sdp_file(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_init_hw_device(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_filter_hw_device(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_preset(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_codec_kind(TOptionsContext* o, const std::string& opt,
                     const std::string& arg);  // acodec vcodec scodec dcodec
  int opt_frames_kind(TOptionsContext* o, const std::string& opt,
                      const std::string& arg);  // vframes aframes dframes
  int opt_filter_kind(TOptionsContext* o, const std::string& opt, const std::string& arg);  // vf af
  int opt_audio_qscale(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_old2new(TOptionsContext* o, const std::string& opt,
                  const std::string& arg);  // atag vtag stag absf vbsf
  int opt_qscale(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_bitrate(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_profile(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_video_channel(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_video_standard(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_timecode(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_channel_layout(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_sameq(TOptionsContext* o, const std::string& opt, const std::string& arg);
  int opt_time_seconds(TOptionsContext* o, const std::string& opt,
                       const std::string& arg);  // TimeStart TimeLength
  // sub2video: bitmap subtitles as a video input of a filter graph.
  int Sub2VideoPrepare(TInputStream& ist, TInputFilter& ifilter);
  int Sub2VideoGetBlankFrame(TInputStream& ist);
  void Sub2VideoCopyRect(uint8_t* dst, int dstLinesize, int w, int h, const AVSubtitleRect* r);
  void Sub2VideoPushRef(TInputStream& ist, int64_t pts);
  /// Paints sub (none: an empty canvas from the end of the last one, or from heartbeatPts when
  /// nothing was shown yet) and pushes it.
  void Sub2VideoUpdate(TInputStream& ist, const AVSubtitle* sub, int64_t heartbeatPts);
  void Sub2VideoHeartbeat(TInputStream& ist, int64_t pts);
  void Sub2VideoFlush(TInputStream& ist);

  /// "-VideoHookBitsPixel": the engine's first virtual operation.
  virtual int OptVideoHookBitsPixel(TOptionsContext* o, const std::string& opt, const std::string& arg);

  // --- Opening inputs --------------------------------------------------------------------------
  void SetDemuxerOptions(TOptionsContext& o, const AVInputFormat* fileIformat);
  void ForceDecodersByKind(TOptionsContext& o, AVFormatContext* ic);
  int FindStreamInfo(TOptionsContext& o, AVFormatContext*& ic, const std::string& fileName);
  int64_t SeekInputStart(TOptionsContext& o, AVFormatContext* ic, const std::string& fileName);
  TInputFile& AddInputFileRecord(TOptionsContext& o, AVFormatContext*& ic, int64_t timestamp);
  void DumpAttachments(TOptionsContext& o, TInputFile& file);
  /// "-isync": moves the time stamp offset of every input synced to another input by the
  /// difference of their start times. Called once the inputs are open (before each output file,
  /// and at the start of the run); an input is synced once, and again after a later "-copyts"
  /// worked its offset out anew. Returns 0, or AVERROR(EINVAL) with LastErrMsg (logged) for a
  /// reference to no input, or for "-copyts" without "-start_at_zero"; a refusal changes no offset.
  int ApplySyncOffsets();
  void AddInputStreams(TOptionsContext& o, AVFormatContext* ic);
  const AVCodec* ChooseDecoder(TOptionsContext& o, AVFormatContext* s, AVStream* st);
  const AVCodec* FindCodecOrDie(const std::string& name, AVMediaType type, bool encoder);
  bool GuessInputChannelLayout(TInputStream& ist);
  void DumpAttachment(AVStream* st, const std::string& fileName);
  void AssertFileOverwrite(const std::string& fileName);
  std::string OutputRefusal(const std::string& fileName, const std::string& ffName);
  /// "Output X is input #N: ..." when a file ffName writes is a local file of an input (through
  /// "file:", "concat:", "cache:" or "async:" too); with numbered, a numbered name ("%03d")
  /// stands for every name it gives. Empty when none is.
  std::string InputRefusal(const std::string& shownName, const std::string& ffName, bool numbered) const;
  /// The refusal of the files a muxer writes by itself (tee's slaves, image sequences) and of
  /// the side files (-vstats_file, -sdp_file), or empty.
  std::string MuxerRefusal(const AVFormatContext* oc, const std::string& ffName) const;
  static int ReadInterruptCallback(void* opaque);
  static int WriteInterruptCallback(void* opaque);
  static int64_t Now();

  // --- Output streams --------------------------------------------------------------------------
  TOutputStream* NewOutputStream(TOptionsContext& o, AVFormatContext* oc, AVMediaType type, int sourceIndex);
  TOutputStream* NewVideoStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex);
  void SetVideoMatrices(TOptionsContext& o, AVFormatContext* oc, TOutputStream& ost);
  void SetRcOverride(TOptionsContext& o, AVFormatContext* oc, TOutputStream& ost);
  void SetUpTwoPass(TOptionsContext& o, AVFormatContext* oc, TOutputStream& ost);
  TOutputStream* NewAudioStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex);
  TOutputStream* NewSubtitleStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex);
  TOutputStream* NewDataStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex);
  TOutputStream* NewUnknownStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex);
  TOutputStream* NewAttachmentStream(TOptionsContext& o, AVFormatContext* oc, int sourceIndex);
  int ChooseEncoder(TOptionsContext& o, AVFormatContext* s, TOutputStream& ost);
  std::string GetOstFilters(TOptionsContext& o, AVFormatContext* oc, TOutputStream& ost);
  void CheckStreamcopyFilters(TOptionsContext& o, AVFormatContext* oc, const TOutputStream& ost,
                              AVMediaType type);
  bool ReadFileText(const std::string& fileName, std::string& text);
  void FreeOutputStreams();
  void OpenOutputFailed(TOutputFile* of);
  /// The boundary of the opening calls. Runs open on a fresh options context, released on every
  /// way out, and gives back its result; a failure always leaves its reason in LastErrMsg, logged
  /// once: a TEngineFailure brings its kept record, any other exception and a negative result
  /// that kept no reason are logged and kept here.
  int InOptionsContext(const std::function<int(TOptionsContext&)>& open);
  int ResolveRecordingTime(TOptionsContext& o);
  void InitOutputFileRecord(TOptionsContext& o, TOutputFile& of, AVFormatContext* oc,
                            const std::string& fileName);
  void BindGraphOutput(TOptionsContext& o, TOutputFilter& ofilter, AVFormatContext* oc);
  void BindUnlabelledGraphOutputs(TOptionsContext& o, AVFormatContext* oc);
  TOutputFilter* FindLabelledGraphOutput(const std::string& label);
  bool AddMappedStream(TOptionsContext& o, AVFormatContext* oc, const TStreamMap& map, std::string& error);
  void AddAttachments(TOptionsContext& o, AVFormatContext* oc);
  void ApplyMetadata(TOptionsContext& o, TOutputFile& of);
  void MapMetadata(TOptionsContext& o, AVFormatContext* oc);
  void MapChapters(TOptionsContext& o, TOutputFile& of);
  void CopyInputMetadata(TOptionsContext& o, TOutputFile& of);
  void AddPrograms(TOptionsContext& o, AVFormatContext* oc);
  void SetMetadataOptions(TOptionsContext& o, AVFormatContext* oc);
  /// Without "-map": the best video and audio stream, a fitting subtitle and data stream.
  void SelectStreamsAutomatically(TOptionsContext& o, AVFormatContext* oc, const std::string& ffName);
  /// What the graph outputs of the streams from firstStream on must deliver (size, pixel format,
  /// rate, sample format, channel layout), from the options, else left to the encoder's lists.
  void SetOutputFilterConstraints(std::size_t firstStream);

  // --- Filter graphs ---------------------------------------------------------------------------
  void InitSimpleFiltergraph(TInputStream& ist, TOutputStream& ost);
  void InitComplexFiltergraph(TFilterGraph& fg);
  void InitComplexFilters();
  void BindComplexOutput(TOutputFilter& ofilter, TOutputStream& ost);
  void InitInputFilter(TFilterGraph& fg, AVFilterInOut* in);
  /// Builds and configures fg's graph anew; on a negative result no graph is kept.
  int ConfigureFiltergraph(TFilterGraph& fg);
  int BuildFiltergraph(TFilterGraph& fg);
  int ConfigureInputFilter(TFilterGraph& fg, TInputFilter& ifilter, AVFilterInOut* in);
  int ConfigureInputVideoFilter(TFilterGraph& fg, TInputFilter& ifilter, AVFilterInOut* in);
  int ConfigureInputAudioFilter(TFilterGraph& fg, TInputFilter& ifilter, AVFilterInOut* in);
  int ConfigureOutputFilter(TFilterGraph& fg, TOutputFilter& ofilter, AVFilterInOut* out);
  int ConfigureOutputVideoFilter(TFilterGraph& fg, TOutputFilter& ofilter, AVFilterInOut* out);
  int ConfigureOutputAudioFilter(TFilterGraph& fg, TOutputFilter& ofilter, AVFilterInOut* out);
  int InsertTrim(TFilterGraph& fg, int64_t startTime, int64_t duration, AVFilterContext** lastFilter,
                 int* padIdx, const std::string& filterName);
  // Appends filter filterName (the instance named instanceName, or after the filter) to the chain
  // ending at *lastFilter's pad *padIdx, which then ends at the new filter.
  int InsertFilter(TFilterGraph& fg, AVFilterContext** lastFilter, int* padIdx, const char* filterName,
                   const std::string& args, const std::string& instanceName = {});
  // The ends of the input and output chains: the trim of the file's -ss/-t, then the link into
  // the graph's input pad or the output's buffer sink.
  int FinishInputChain(TFilterGraph& fg, const TInputFile& f, AVFilterContext* lastFilter, int padIdx,
                       const std::string& trimName, AVFilterInOut* in);
  int FinishOutputChain(TFilterGraph& fg, const TOutputFile& of, TOutputFilter& ofilter,
                        AVFilterContext* lastFilter, int padIdx, const std::string& trimName);
  static bool FiltergraphIsSimple(const TFilterGraph& fg) { return !fg.graph_desc.has_value(); }
  static bool IfilterHasAllInputFormats(const TFilterGraph& fg);
  static int IfilterParametersFromFrame(TInputFilter& ifilter, const AVFrame* frame);
  static void IfilterParametersFromCodecpar(TInputFilter& ifilter, const AVCodecParameters* par);
  static void CleanupFiltergraph(TFilterGraph& fg);
  AVPixelFormat ChoosePixelFmt(AVCodecContext* encCtx, const AVCodec* codec, AVPixelFormat target);
  std::string ChoosePixFmts(TOutputFilter& ofilter);
  std::string ChooseSampleFmts(TOutputFilter& ofilter);
  std::string ChooseSampleRates(TOutputFilter& ofilter);
  std::string ChooseChannelLayouts(TOutputFilter& ofilter);

  // --- Index helpers ---------------------------------------------------------------------------
  TInputStream* get_input_stream(const TOutputStream& ost) const {
    return ost.source_index >= 0 ? Finput_streams[ost.source_index].get() : nullptr;
  }

  // --- Engine fields ---------------------------------------------------------------------------
  const TFFBaseComponent* FOwner = nullptr;
  TBufferRefPtr Fhw_device_ctx;
  THWDevice* Ffilter_hw_device = nullptr;
  std::vector<std::unique_ptr<THWDevice>> Fhw_devices;
  std::string Fvstats_filename;
  std::string Fsdp_filename;
  // Engine-field options (defaults as the table sets them).
  int Ffile_overwrite = 0;
  int Fno_file_overwrite = 0;
  int Fignore_unknown_streams = 0;
  int Fcopy_unknown_streams = 0;
  int Fdo_pkt_dump = 0;
  int Fdo_hex_dump = 0;
  float Fframe_drop_threshold = 0;
  int Faudio_sync_method = 0;
  float Faudio_drift_threshold = 0.1f;
  int Fcopy_ts = 0;
  int Fstart_at_zero = 0;
  int Fcopy_tb = -1;
  float Fdts_delta_threshold = 10;
  float Fdts_error_threshold = 3600 * 30;
  int Fexit_on_error = 0;
  int Ffilter_nbthreads = 0;
  int Ffilter_complex_nbthreads = 0;
  int Fprint_stats = -1;
  int Fdebug_ts = 0;
  float Fmax_error_rate = 2.0f / 3;
  int Ffind_stream_info = 1;
  int Fframe_bits_per_raw_sample = 0;
  int Fintra_only = 0;
  int Fdo_deinterlace = 0;
  int Fdo_psnr = 0;
  int Fvstats_version = 2;
  int Fqp_hist = 0;
  int Faudio_volume = 256;
  int Foverride_ffserver = 0;
  std::string Fqsv_device;
  int Fvideo_sync_method = -1;
  int Frecast_media = 0;
  int Fauto_conversion_filters = 1;
  int64_t Fstats_period = 0;  // "-stats_period" in microseconds; 0: the report interval
  // "-cpucount", "-cpuflags" and "-max_alloc" set FFmpeg's process-wide values: the engine's
  // cleanup puts back the defaults, so that they last for this run only.
  bool FForcedCpuCount = false;
  bool FForcedCpuFlags = false;
  bool FForcedMaxAlloc = false;
  int Finput_stream_potentially_available = 0;
  TIOContextPtr Fprogress_avio;

  // Records (owned; destroyed by the clean-up in a fixed order).
  std::vector<std::unique_ptr<TInputStream>> Finput_streams;
  std::vector<std::unique_ptr<TInputFile>> Finput_files;
  std::vector<std::unique_ptr<TOutputStream>> Foutput_streams;
  std::vector<std::unique_ptr<TOutputFile>> Foutput_files;
  std::vector<std::unique_ptr<TFilterGraph>> Ffiltergraphs;

  std::unique_ptr<TFFOptions> FOptions;
  std::vector<TOptionDef> FOptionDef;
  bool FHaltOnInvalidOption = true;
  /// Stop request: read by the loop, the frame duplication and the read interrupt callback.
  std::atomic<bool> FBroken{false};
  std::atomic<int> FReadTimeout{30000};
  std::atomic<int> FWriteTimeout{30000};
  AVIOInterruptCB FReadCallback{};
  AVIOInterruptCB FWriteCallback{};
  /// av_gettime_relative() of the last input and output activity; INT64_MAX switches the time-out
  /// off, 0 cancels the blocked operation.
  std::atomic<int64_t> FLastRead{INT64_MAX};
  std::atomic<int64_t> FLastWrite{INT64_MAX};
  int FVideoHookBitsPixel = 32;
  int64_t FInputDuration = -1;
  int64_t FOutputDuration = -1;
  TEngineResult FLastError;
};

template <typename T>
const T& TCustomFFmpegOpt::SpecValue(const TSpecifierOpt& entry) {
  if constexpr (std::is_same_v<T, std::string>)
    return entry.u.str;
  else if constexpr (std::is_same_v<T, int>)
    return entry.u.i;
  else if constexpr (std::is_same_v<T, int64_t>)
    return entry.u.i64;
  else if constexpr (std::is_same_v<T, float>)
    return entry.u.f;
  else
    return entry.u.dbl;
}

template <typename T>
void TCustomFFmpegOpt::MatchPerStream(const TSpecifierOptList& list, AVFormatContext* s, AVStream* st,
                                      T& value) {
  for (const TSpecifierOpt& entry : list) {
    const int ret = FF().avformat_match_stream_specifier(s, st, entry.specifier.c_str());
    if (ret > 0)
      value = SpecValue<T>(entry);
    else if (ret < 0)
      RaiseError(FormatAVError("check_stream_specifier", ret));
  }
}

}  // namespace media
