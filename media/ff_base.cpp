#include "media/ff_base.h"

#include <atomic>

namespace media {

namespace {
std::atomic<int> GFPUUsers{0};
}

void TFFBaseComponent::DisableFPUExceptions() { ++GFPUUsers; }

int TFFBaseComponent::FPUExceptionsDisabledCount() { return GFPUUsers; }

}  // namespace media
