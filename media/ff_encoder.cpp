#include "media/ff_encoder.h"

#include <memory>
#include <string>

#include "media/ffmpeg.h"

namespace media {

TFFEncoder::TFFEncoder(TFFBaseComponent* owner)
    : TCustomEncoder([this](IFFTaskEvents& events) -> std::unique_ptr<IFFTask> {
        return std::make_unique<TFFmpeg>(events, this);
      },
                     owner) {}

}  // namespace media
