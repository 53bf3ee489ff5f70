#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace platform {

namespace {
IShellOpener* GShellOpener = nullptr;
}

bool TQtShellOpener::Open(const QString& target) {
  // Absolute paths are local files; anything else ("https://...") is taken as a URL.
  const QUrl url = QDir::isAbsolutePath(target) ? QUrl::fromLocalFile(target) : QUrl(target);
  return url.isValid() && QDesktopServices::openUrl(url);
}

IShellOpener& ShellOpener() {
  static TQtShellOpener qtOpener;
  return GShellOpener != nullptr ? *GShellOpener : qtOpener;
}

void SetShellOpener(IShellOpener* opener) { GShellOpener = opener; }

}  // namespace platform
