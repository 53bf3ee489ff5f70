#pragma once
// The short waits that let a window paint before its work begins (the main window's batch start,
// the adding window's first scan, the run window's start and its step to the next file). With
// nobody to see the windows (an unattended batch) there is nothing to paint, and each wait only
// adds to the run's time. The main window holds the waits of its run (Tfrm_Main::WindowDelays,
// set by the batch mode) and hands them to every window it opens.

namespace app {

struct TWindowDelays {
  /// Nobody sees the windows: every paint wait is 0. False in the interactive program.
  bool Skipped = false;

  /// delayMs, or 0 when the waits are skipped.
  int Ms(int delayMs) const { return Skipped ? 0 : delayMs; }
};

}  // namespace app
