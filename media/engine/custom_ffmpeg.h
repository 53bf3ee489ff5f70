#pragma once
// TCustomFFmpeg: the transcoding engine of one conversion task. It adds to the option layer the run
// of one conversion: transcoder initialisation, the main loop (read, decode, filter, encode, mux),
// flushing, trailers, progress reports and the release of everything the conversion opened. It runs
// once in its life, on a conversion thread of its own (StartConvert(true)) or on the caller's thread
// (StartConvert(false)). It never starts an external program: everything runs in-process on the
// FFmpeg libraries.
//
// Threads: OpenInput/OpenOutput and the event set-up run on the owner's thread before the start.
// OnProgress, OnTerminate (normally) and the log lines of the run come from the conversion thread.
// Stop and Terminate may be called from any thread; Stop(true) on the main thread keeps main-thread
// work flowing while it waits, so a handler that waits for the main thread cannot deadlock it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "media/engine/custom_ffmpeg_opt.h"
#include "media/ff_handles.h"
#include "media/ff_encoder_records.h"
#include "media/format_converter.h"
#include "media/previewer.h"
#include "platform/main_thread.h"

namespace media {

/// One progress report: the figures of the run's progress line.
using TFFProgress = TProgressFigures;

class TCustomFFmpeg;

/// Decoded (input) or to-be-encoded (output) audio: the samples may be changed in place; size is
/// channels × samples × bytes per sample.
using TFFAudioHookEvent = std::function<void(TCustomFFmpeg* sender, int64_t pts, AVFrame* frame, int size,
                                             int sampleRate, int channels, AVSampleFormat sampleFormat)>;
/// A video frame as a bitmap: a handler that paints into it and leaves update true changes the
/// frame; stopHook true switches the hook off for the rest of the run.
using TFFVideoHookEvent = std::function<void(TCustomFFmpeg* sender, TBitmap* bitmap, int frameNumber,
                                             int64_t pts, bool& update, bool& stopHook)>;
/// A video frame as a raw picture in the stream's pixel format; its pixels may be changed.
using TFFFrameHookEvent = std::function<void(TCustomFFmpeg* sender, TPicture* picture, AVPixelFormat pixFmt,
                                             int frameNumber, int width, int height, int64_t pts)>;
/// An encoded frame for the preview, at least PreviewInterval apart.
using TFFPreviewBitmapEvent =
    std::function<void(TCustomFFmpeg* sender, TBitmap* bitmap, int frameNumber, int64_t pts)>;

/// Which preview outputs are on: phPreview paints into the preview window (TPreviewer), phBitmap
/// hands frames to OnPreviewBitmap.
enum TPostHook : unsigned { phPreview = 1u, phBitmap = 2u, phHBITMAP = 4u };
using TPostHooks = unsigned;

class TCustomFFmpeg : public TCustomFFmpegOpt {
 public:
  /// The FFmpeg libraries of media::EncoderLibraries must be loaded (FFmpegException otherwise).
  TCustomFFmpeg();
  /// Raises OnDestroy, stops a run and waits for it (pumping main-thread work on the main thread),
  /// then releases everything. May be called from OnTerminate on the conversion thread itself: the
  /// run body touches nothing of the engine after OnTerminate returns.
  ~TCustomFFmpeg() override;

  /// Starts the conversion: on a new conversion thread with useThread, else on the calling thread
  /// (returns when done). Does nothing while converting or once terminated. Without an output file
  /// it fails at once: FatalMessage "At least one output file must be specified", OnTerminate on
  /// the caller's thread. niceIncrement (conversion thread only) lowers the thread's scheduling
  /// priority by that many nice steps; a negative value needs privileges and is otherwise ignored
  /// with a warning.
  void StartConvert(bool useThread, int niceIncrement = 0);
  /// StartConvert with a thread priority, as far as an unprivileged process can go on Linux:
  /// tpIdle runs the conversion thread under SCHED_IDLE (only when a processor is otherwise idle;
  /// nice +19 where that policy is refused), tpLowest nice +10, tpLower nice +5, tpNormal leaves it,
  /// tpHigher -5, tpHighest -10 and tpTimeCritical -15, which need privileges (CAP_SYS_NICE) and
  /// are otherwise ignored with a warning.
  void StartConvert(bool useThread, TThreadPriority priority);
  /// The nice increment of a priority (tpIdle: 19, used where SCHED_IDLE is refused).
  static int NiceIncrementOf(TThreadPriority priority);
  /// Asks the run to stop (also cancels a blocked read through the interrupt callback). With
  /// waitForStop and a run that was started, returns after the run body has ended; on the
  /// conversion thread itself it never waits.
  void Stop(bool waitForStop);
  /// Stops a running engine; for one that never ran, delivers OnTerminate once on a short-lived
  /// thread (waiting for it with waitForStop). A second call does nothing.
  void Terminate(bool waitForStop);
  /// Closes and opens the pause gate; time spent paused does not count for "-re" pacing.
  void Pause();
  void Resume();

  bool Converting() const { return FConverting.load(); }
  /// The run ended normally: no stop request, no failure, every trailer written.
  bool Finished() const { return FFinished.load(); }
  bool FatalException() const { return FFatalException.load(); }
  std::string FatalMessage() const;
  bool Terminated() const { return FTerminated.load(); }
  /// The thread that runs (or ran) the conversion.
  std::thread::id ThreadID() const;
  /// Least time between two periodic progress reports, microseconds (default 500000).
  int64_t ReportInterval() const { return FReportInterval; }
  void SetReportInterval(int64_t microseconds) { FReportInterval = microseconds; }

  /// Least time between two preview outputs, microseconds (default 100000).
  int64_t PreviewInterval() const { return FPreviewInterval; }
  void SetPreviewInterval(int64_t microseconds) { FPreviewInterval = microseconds; }
  /// Switches the preview outputs (any thread; waits for a frame being previewed). Taking
  /// phPreview away frees the preview window.
  void SetPostHooks(TPostHooks value);
  TPostHooks PostHooks() const;
  /// Bits per pixel of the bitmaps of the video hooks and the preview (8, 15, 16, 24 or 32;
  /// FFmpegException otherwise).
  void SetVideoHookBitsPixel(int value);

  /// Hooks (conversion thread). Set them before the start; a video hook that fails or asks to
  /// stop is cleared for the rest of the run.
  TFFAudioHookEvent OnInputAudioHook;
  TFFAudioHookEvent OnOutputAudioHook;
  TFFVideoHookEvent OnInputVideoHook;
  TFFVideoHookEvent OnOutputVideoHook;
  TFFFrameHookEvent OnInputFrameHook;
  TFFFrameHookEvent OnOutputFrameHook;
  TFFPreviewBitmapEvent OnPreviewBitmap;

  /// Periodic progress, at least ReportInterval apart, and always once at the end (conversion
  /// thread).
  std::function<void(TCustomFFmpeg* sender, const TFFProgress& progress)> OnProgress;
  /// End of the run, exactly once per engine (see StartConvert/Terminate for the thread).
  std::function<void(TCustomFFmpeg* sender)> OnTerminate;
  /// Start of the destruction, on the destroying thread.
  std::function<void(TCustomFFmpeg* sender)> OnDestroy;

 protected:
  // Lifecycle.
  void DoConvert();
  /// Takes an FFmpeg error line of the run (TAVErrorCapture): the cause a failure reports is the
  /// first line of the last run of lines from one context ("Invalid too big ... size" before
  /// "Failed to configure input pad" of the same filter). The line belongs to the step it was
  /// logged in; late: to the next one (an encoder thread's failure shows at the next frame sent).
  void NoteLibraryError(const void* context, const std::string& line, bool late = false);
  /// message, with the library's line of the current step (or of the one before, from an encoder
  /// thread) as its cause: a line a step before tolerated is not the cause of a later failure.
  std::string WithCause(const std::string& message) const;
  bool DoTranscodeInit();
  void DoTerminate();
  void Cleanup();
  void transcode_cleanup();
  void ffmpeg_cleanup();

  // Transcoder initialisation.
  int transcode_init();
  int init_input_stream(int istIndex, std::string& error);
  int init_output_stream(TOutputStream& ost, std::string& error);
  // init_output_stream for a stream first met in the transcoding loop; a failure ends the run.
  void init_output_stream_or_raise(TOutputStream& ost);
  int init_output_stream_encode(TOutputStream& ost);
  int init_output_stream_streamcopy(TOutputStream& ost);
  int init_output_bsfs(TOutputStream& ost);
  void init_encoder_time_base(TOutputStream& ost, AVRational defaultTimeBase);
  void set_encoder_id(TOutputFile& of, TOutputStream& ost);
  void parse_forced_key_frames(const std::string& kf, TOutputStream& ost, AVCodecContext* avctx);
  /// Writes the file's header once all its streams are ready; a failure's line goes to error too.
  int check_init_output_file(TOutputFile& of, int fileIndex, std::string& error);
  void LogStreamMapping();

  // Decoding and filtering input.
  int process_input_packet(TInputStream& ist, const AVPacket* pkt, bool noEof);
  int decode_audio(TInputStream& ist, AVPacket* pkt, int* gotOutput, int* decodeFailed);
  int decode_video(TInputStream& ist, AVPacket* pkt, int* gotOutput, int64_t* durationPts, bool eof,
                   int* decodeFailed);
  int transcode_subtitles(TInputStream& ist, AVPacket* pkt, int* gotOutput, int* decodeFailed);
  void check_decode_result(TInputStream* ist, int* gotOutput, int ret);
  int send_frame_to_filters(TInputStream& ist, AVFrame* decodedFrame);
  int ifilter_send_frame(TInputFilter& ifilter, AVFrame* frame);
  int ifilter_send_eof(TInputFilter& ifilter, int64_t pts);
  int send_filter_eof(TInputStream& ist);

  // Encoding and muxing output.
  int reap_filters(bool flush);
  void do_video_out(TOutputFile& of, TOutputStream& ost, AVFrame* nextPicture, double syncIpts);
  double VideoFrameDuration(TOutputStream& ost, const TInputStream* ist, const AVFrame* nextPicture);
  int ChooseVideoSync(const TOutputFile& of, const TOutputStream& ost, const TInputStream* ist);
  void CountVideoFrames(const TOutputFile& of, TOutputStream& ost, const TInputStream* ist,
                        const AVFrame* nextPicture, double syncIpts, double duration, int& nbFrames,
                        int& nb0Frames);
  AVFieldOrder FieldOrderOf(const TOutputStream& ost, AVFrame* picture);
  void SetPictureFields(TOutputStream& ost, AVFrame* inPicture);
  void ForceKeyframe(TOutputStream& ost, AVFrame* inPicture, bool firstCopy);
  void EncodeVideoFrame(TOutputFile& of, TOutputStream& ost, AVFrame* inPicture);
  /// Whether ost's video encoder runs on a thread of its own: not for a hardware encoder, nor
  /// when the conversion thread reads what the encoder writes while it runs (PSNR, two-pass
  /// statistics, -vstats) or logs each packet as it comes out (-debug_ts).
  bool EncodesOnThread(const TOutputStream& ost) const;
  /// Muxes the packets ost's encoder thread has finished; waitAll: every frame sent to it first.
  void MuxEncoded(TOutputFile& of, TOutputStream& ost, bool waitAll);
  /// A packet of ost's video encoder to the muxer; syncOpts: the frame counter its frame was sent
  /// with (the time stamp of a packet without one from an encoder without delay).
  void MuxVideoPacket(TOutputFile& of, TOutputStream& ost, AVPacket* pkt, int64_t syncOpts);
  void do_audio_out(TOutputFile& of, TOutputStream& ost, AVFrame* frame);
  void do_subtitle_out(TOutputFile& of, TOutputStream& ost, AVSubtitle* sub);
  void do_streamcopy(TInputStream& ist, TOutputStream& ost, const AVPacket* pkt);
  bool check_output_constraints(const TInputStream& ist, const TOutputStream& ost) const;
  void output_packet(TOutputFile& of, AVPacket* pkt, TOutputStream& ost, bool eof);
  void write_packet(TOutputFile& of, AVPacket* pkt, TOutputStream& ost, bool unqueue);
  void close_all_output_streams(TOutputStream& ost, int thisStream, int others);

  // Main loop.
  void transcode();
  int transcode_step();
  int transcode_from_filter(TFilterGraph& graph, TInputStream** bestIst);
  int process_input(int fileIndex);
  int finish_input(TInputFile& ifile, int ret);
  void correct_pts_wrap(TInputFile& ifile, TInputStream& ist, AVPacket* pkt);
  void add_stream_side_data(TInputStream& ist, AVPacket* pkt);
  void fix_packet_timestamps(TInputFile& ifile, TInputStream& ist, AVPacket* pkt);
  int get_input_packet(TInputFile& f, AVPacket* pkt);
  bool need_output();
  TOutputStream* choose_output();
  bool got_eagain() const;
  void reset_eagain();
  int seek_to_start(TInputFile& ifile, AVFormatContext* is);
  void flush_encoders();
  void ShortenToStreamEnd(TOutputStream& ost);
  void close_output_stream(TOutputStream& ost);
  void finish_output_stream(TOutputStream& ost);
  bool check_recording_time(TOutputStream& ost);

  // Hardware.
  int HWDeviceSetupForDecode(TInputStream& ist);
  int HWDeviceSetupForEncode(TOutputStream& ost);
  int HWAccelRetrieveData(AVCodecContext* avctx, AVFrame* input);
  static AVPixelFormat GetFormat(AVCodecContext* avctx, const AVPixelFormat* formats);

  // Hooks and preview.
  int OptVideoHookBitsPixel(TOptionsContext* o, const std::string& opt, const std::string& arg) override;
  void pre_process_video_frame(TInputStream& ist, AVFrame* frame);
  /// The video hook step: false when the bitmap no longer matches the picture.
  bool VideoHookStep(TFFVideoHookEvent& event, TFormatConverter& converter, const TPicture& picture,
                     AVPixelFormat pixFmt, int width, int height, int frameNumber, int64_t pts);
  /// The output hooks and the preview of one frame about to be encoded; returns the frame to
  /// encode (a private copy when a hook may change it).
  AVFrame* OutputHookStep(TOutputStream& ost, AVFrame* frame);
  void PostHookStep(const TPicture& picture, AVPixelFormat pixFmt, int width, int height, int frameNumber,
                    int64_t pts, bool converterHoldsPicture);
  void CallAudioHook(TFFAudioHookEvent& event, int64_t pts, AVFrame* frame, int sampleRate, int channels,
                     AVSampleFormat sampleFormat);
  bool VideoCopyRefused(std::string& error) const;

  // Progress report.
  void print_report(bool isLastReport, int64_t timerStart, int64_t curTime);
  void WriteProgressScript(std::string& script, bool isLastReport);
  void print_final_stats(int64_t totalSize);
  void do_video_stats(TOutputStream& ost, int frameSize);
  void print_sdp();
  /// Closes the video statistics file; false when buffered lines could not be written.
  bool CloseVstatsFile();

  // --- Run fields ------------------------------------------------------------------------------
  TFilePtr Fvstats_file;  // "-vstats": open from the first statistics line on
  int Fnb_frames_dup = 0;
  int Fdup_warning = 1000;
  int Fnb_frames_drop = 0;
  uint64_t Fdecode_error_stat[2] = {0, 0};
  int Fwant_sdp = 1;
  int64_t Flast_time = -1;
  int Fqp_histogram[52] = {};
  bool FShowDupOrDrop = false;
  std::atomic<bool> FConverting{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFatalException{false};
  bool FTranscodeInitialized = false;
  bool FTranscodeCleanuped = false;
  std::atomic<int> FSuspended{-1};
  int64_t FPauseTime = 0;
  std::atomic<int64_t> FTotalPauseTime{0};
  std::atomic<int64_t> FReportInterval{500000};  // set from the UI thread, read by the conversion thread
  /// A packet could not be written, or the muxer failed: the run cannot finish.
  bool FWriteFailed = false;
  std::string FWriteError;
  /// A step of the loop failed (filtering, reading, decoding beyond the error rate).
  bool FStepFailed = false;
  std::string FStepError;
  /// Packets or frames lost on the way to the output while the run went on (a bitstream filter
  /// error without -xerror, a buffer sink error, audio the encoder cannot take): the run goes on
  /// as FFmpeg's tool does, but does not count as finished; the first reason is kept.
  int64_t FLostCount = 0;
  std::string FLostReason;
  void NoteLoss(const std::string& reason);
  /// Starts the next step of the run (FStep).
  void NextStep() { FStep++; }
  // Hooks and preview (conversion thread, but FPostHooks under FPostHookLock).
  TFormatConverter FInputVideoHook;
  TFormatConverter FOutputVideoHook;
  std::unique_ptr<TPreviewer> FPreviewer;
  int64_t FPreviewLastTime = 0;
  int64_t FPreviewInterval = 100000;
  mutable std::mutex FPostHookLock;
  TPostHooks FPostHooks = 0;
  bool FPostHooksChanged = false;
  TFramePtr FHookFrame;       // the private copy the output hooks change, made on first use
  TPacketPtr FDemuxPacket;    // reused by process_input (conversion thread)
  TPacketPtr FDecodePacket;   // reused by process_input_packet
  TPacketPtr FEncodePacket;   // reused by the encoders

 private:
  /// What the conversion thread shares with the threads that wait for it. The thread holds its
  /// own reference, so the run can signal its end even when OnTerminate destroyed the engine.
  struct TRunState {
    std::mutex Lock;
    std::condition_variable Wake;
    platform::TWaitSignal Signal;  // wakes the waits for Stopped and TermDelivered
    bool Stopped = true;           // the run body is not running (FStopEvent signalled)
    bool TermDelivered = true;     // an off-thread terminate has ended (FTermEvent signalled)
    bool Open = true;              // pause gate (FSuspender signalled)
    std::thread::id ThreadId;
  };
  void WaitForStopped(const std::shared_ptr<TRunState>& state);
  void WaitAtGate();

  std::shared_ptr<TRunState> FRun = std::make_shared<TRunState>();
  bool FIdleThread = false;  // the next conversion thread runs under SCHED_IDLE
  std::thread FThread;
  std::thread FTermThread;
  mutable std::mutex FFatalLock;
  std::string FFatalMessage;
  std::string FLibraryError;  // the cause among the run's FFmpeg error lines (FFatalLock)
  const void* FLibraryErrorContext = nullptr;
  int64_t FLibraryErrorStep = 0;
  /// The run's steps: 0 the opening, then each step of the loop, then the end (flushing the
  /// encoders, the trailers); advanced by the conversion thread, read by the encoder threads.
  std::atomic<int64_t> FStep{0};
};

}  // namespace media
