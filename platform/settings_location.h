#pragma once
// Where per-user settings live on this desktop.

#include <QString>

namespace platform {

/// The per-user configuration folder: $XDG_CONFIG_HOME when it is set to an absolute path, else
/// $HOME/.config. Empty when neither is known, so that callers never fall back to the
/// file-system root (a service or container started without HOME would otherwise write
/// "/<maker>/..." as whoever runs it).
QString UserConfigFolder();

}  // namespace platform
