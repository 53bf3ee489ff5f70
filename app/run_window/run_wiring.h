#pragma once
// Plugs the conversion and extraction windows into the main window's Convert and Extract hooks,
// over the real encoder and decoder (ff_run_media.h).

#include <QString>
#include <QStringList>
#include <functional>

#include "app/run_window/run_window.h"

namespace app {

class Tfrm_Main;

/// How the run windows of this process behave: the interactive defaults, changed by the batch
/// mode (app/batch/batch_mode.h).
struct TRunSession {
  bool EchoLog = false;        // every log line also goes to standard output
  bool SaveLog = false;        // log.txt at the end of the list
  bool CloseWhenDone = false;  // the window closes itself at the end of the run
  QStringList NotAddedLines;   // inputs the batch could not list, each with its reason, for the log
  /// Called on the user-interface thread once a run window has closed, before it is freed.
  std::function<void(const TRunWindow& window)> OnClosed;
};

/// What a run window takes from the main window: its rows, OptionString() (built by the road),
/// the output extension from the chosen container (video) or audio format, the taskbar
/// component, its WindowDelays(), and the settings folder as log.txt's second place. A relative
/// outputFolder is taken from the current folder.
TRunInput MakeRunInput(const Tfrm_Main& main, bool video, const QString& outputFolder,
                       const TRunSession& session);

/// After this, Convert and Extract show Tfrm_Video and Tfrm_Audio modally; a run that a signal
/// ended (TRunWindow::EndSignal) ends the program with 128 + the signal. session is borrowed
/// and read at every run; main and session must outlive the hooks (main owns them).
void WireRunWindows(Tfrm_Main& main, const TRunSession& session);

}  // namespace app
