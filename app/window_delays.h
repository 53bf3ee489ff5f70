#pragma once
// The short waits that let a window paint before its work begins (the main window's batch start,
// the adding window's first scan, the run window's start and its step to the next file). With
// nobody to see the windows (an unattended batch) there is nothing to paint, and each wait only
// adds to the run's time, so the batch switches them off for its lifetime.

namespace app {

/// delayMs, or 0 while the paint waits are switched off.
int WindowDelayMs(int delayMs);
/// Whether the paint waits are switched off (default false).
bool WindowDelaysSkipped();
void SetWindowDelaysSkipped(bool value);

}  // namespace app
