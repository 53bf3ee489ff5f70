#pragma once
// Plugs the adding window and the Properties window into the main window's hooks.

namespace app {

class Tfrm_Main;

/// After this, AddQueuedFiles runs the adding window over the drop queue, the Properties command
/// shows the Properties window of the row, and Add opens the Add Files window (in the last
/// folder added from), whose "Add" adds the chosen files like a drop. main must outlive its
/// hooks (it owns them).
void WireAddingAndProperties(Tfrm_Main& main);

}  // namespace app
