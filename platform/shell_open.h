#pragma once
// Opening a document with the desktop's default application (the shell verb "open"): Play, Help
// and the home page link go through here, so tests can record what would have been opened.

#include <QString>

class QUrl;
class QWidget;

namespace platform {

class IShellOpener {
 public:
  virtual ~IShellOpener() = default;
  /// Opens a local file or a URL ("http://...") with the application the desktop associates with
  /// it. Returns false when the desktop could not start one.
  virtual bool Open(const QString& target) = 0;
};

/// What TQtShellOpener hands the desktop for target: an absolute path as a file URL of the name's
/// own bytes (platform/file_names.h), so that a name that is not UTF-8 names the same file; any
/// other text as a URL ("https://...").
QUrl ShellUrl(const QString& target);

/// Hands the target to QDesktopServices.
class TQtShellOpener : public IShellOpener {
 public:
  bool Open(const QString& target) override;
};

/// The opener the windows use; TQtShellOpener until another is installed.
IShellOpener& ShellOpener();
/// Installs an opener (not owned; nullptr goes back to the default). Tests install a recording one.
void SetShellOpener(IShellOpener* opener);

/// Opens target through ShellOpener(). When the desktop has nothing to open it with, a warning
/// (through Prompter()) says so and shows where the page is: target as a path (as text,
/// DisplayFileName) or an address, on a line of its own, to be copied from the box. what names
/// the page ("The help page"). Returns what the opener answered.
bool OpenOrTell(QWidget* parent, const QString& target, const QString& what);

/// OpenOrTell for a media file the user wants to play: the warning says that the desktop has no
/// program to play it.
bool PlayOrTell(QWidget* parent, const QString& path);

}  // namespace platform
