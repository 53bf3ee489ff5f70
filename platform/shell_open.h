#pragma once
// Opening a document with the desktop's default application (the shell verb "open"): Play, Help
// and the home page link go through here, so tests can record what would have been opened.

#include <QString>

namespace platform {

class IShellOpener {
 public:
  virtual ~IShellOpener() = default;
  /// Opens a local file or a URL ("http://...") with the application the desktop associates with
  /// it. Returns false when the desktop could not start one.
  virtual bool Open(const QString& target) = 0;
};

/// Hands the target to QDesktopServices.
class TQtShellOpener : public IShellOpener {
 public:
  bool Open(const QString& target) override;
};

/// The opener the windows use; TQtShellOpener until another is installed.
IShellOpener& ShellOpener();
/// Installs an opener (not owned; nullptr goes back to the default). Tests install a recording one.
void SetShellOpener(IShellOpener* opener);

}  // namespace platform
