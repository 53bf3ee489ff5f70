#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "platform/prompter.h"

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

bool OpenOrTell(QWidget* parent, const QString& target, const QString& what) {
  if (ShellOpener().Open(target)) return true;
  const QString where =
      QDir::isAbsolutePath(target) ? QStringLiteral("It is here:\r") : QStringLiteral("Its address is:\r");
  const QString text = what +
                       QStringLiteral(
                           " could not be opened: the desktop has no browser or other program to "
                           "show it.\r\r") +
                       where + target;
  Prompter().Message(parent, TPromptIcon::Warning, QStringLiteral("Warning"), text);
  return false;
}

}  // namespace platform
