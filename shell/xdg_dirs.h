#pragma once
// The user's XDG base and user directories, read fresh from the environment and from
// user-dirs.dirs on every call so that a changed HOME (tests, a sandbox) is followed at once.

#include <QString>

namespace shell {

class TXdgDirs {
 public:
  /// $HOME, else Qt's idea of the home folder. Never ends in "/" (except "/").
  static QString Home();
  /// $XDG_CONFIG_HOME, $XDG_DATA_HOME, $XDG_CACHE_HOME when set to an absolute path, else the
  /// defaults under the home folder (~/.config, ~/.local/share, ~/.cache).
  static QString ConfigHome();
  static QString DataHome();
  static QString CacheHome();
  /// A user directory from user-dirs.dirs by its key without XDG_ and _DIR ("DESKTOP",
  /// "DOCUMENTS", "DOWNLOAD", "MUSIC", "PICTURES", "PUBLICSHARE", "TEMPLATES", "VIDEOS").
  /// Empty when the key is missing or names the home folder itself (xdg-user-dirs' way of
  /// switching a directory off).
  static QString UserDir(const QString& key);
};

}  // namespace shell
