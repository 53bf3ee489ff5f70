#pragma once
// The shell file list's commands: its keys, the verbs on the selection or the shown folder, the
// item context menu with the list's follow-up, new folders, and drag and drop (the members are
// TNavShellList's, defined in nav_shell_list_commands.cpp). What the list and its drops share:

#include <Qt>

#include "shell/shell_browser.h"

namespace shell {

/// The effects a copy mode allows: cmDefault copy, move and link; the others only their own.
Qt::DropActions CopyModeActions(TNavCopyMode mode);

}  // namespace shell
