#pragma once
// Plugs the burn window into the main window's Burn command.

#include "app/burn/burn_window.h"

namespace app {

class Tfrm_Main;

/// The burning library: libdiscburn.so in the program's folder when it is there (the build tree),
/// else the plain name, found on the system's library path (an installed program).
QString BurnLibraryName();

/// The main window's rows (caption, source path in sub-item 2), its taskbar component and
/// BurnLibraryName().
TBurnInput MakeBurnInput(const Tfrm_Main& main);

/// After this, Burn shows Tfrm_Burn modally over main and frees it when it closes.
void WireBurnWindow(Tfrm_Main& main);

}  // namespace app
