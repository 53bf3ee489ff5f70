#pragma once
// TFFEncoder, the component through which the application converts files: TCustomEncoder
// (media/custom_encoder.h) over tasks of the conversion engine (TFFmpeg, media/ffmpeg.h).
//
// Use (owner's thread):
//   TFFEncoder encoder;
//   encoder.LoadAVLib("");                      // or check AVLibLoaded()
//   encoder.OnProgress = ...; encoder.OnTerminate = ...;
//   int task = encoder.AddTask("in.avi");       // < 0: encoder.LastErrMsg()
//   encoder.SetOutput(task, "out.avi", &outputOptions);
//   encoder.Start(1);                           // tasks on conversion threads, one at a time
//   ... OnTerminate(TaskIndex -1) ...
//   encoder.ClearTasks();

#include <string>

#include "media/custom_encoder.h"

namespace media {

/// The encoder component over engine tasks (TFFmpeg).
class TFFEncoder : public TCustomEncoder {
 public:
  explicit TFFEncoder(TFFBaseComponent* owner = nullptr);
  ~TFFEncoder() override { StopForDestruction(); }
  std::string ClassName() const override { return "TFFEncoder"; }
};

}  // namespace media
