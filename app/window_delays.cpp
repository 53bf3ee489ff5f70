#include "app/window_delays.h"

namespace app {

namespace {
// Read and written on the user-interface thread only.
bool GSkipped = false;
}  // namespace

int WindowDelayMs(int delayMs) { return GSkipped ? 0 : delayMs; }

bool WindowDelaysSkipped() { return GSkipped; }

void SetWindowDelaysSkipped(bool value) { GSkipped = value; }

}  // namespace app
