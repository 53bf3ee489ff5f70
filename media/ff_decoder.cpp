#include "media/ff_decoder.h"

namespace media {

TFFDecoder::TFFDecoder(TFFBaseComponent* owner) : TCustomDecoder(owner) {}

}  // namespace media
