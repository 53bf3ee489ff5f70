#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "platform/file_names.h"
#include "platform/prompter.h"

namespace platform {

namespace {
IShellOpener* GShellOpener = nullptr;
}

QUrl ShellUrl(const QString& target) {
  // QUrl::fromLocalFile would encode a byte that is not UTF-8 as its stand-in's UTF-8, a name
  // no file has: the bytes themselves are percent-encoded instead.
  if (!QDir::isAbsolutePath(target)) return QUrl(target);
  return QUrl::fromEncoded("file://" + FileNameToBytes(target).toPercentEncoding("/"), QUrl::StrictMode);
}

bool TQtShellOpener::Open(const QString& target) {
  const QUrl url = ShellUrl(target);
  return url.isValid() && QDesktopServices::openUrl(url);
}

IShellOpener& ShellOpener() {
  static TQtShellOpener qtOpener;
  return GShellOpener != nullptr ? *GShellOpener : qtOpener;
}

void SetShellOpener(IShellOpener* opener) { GShellOpener = opener; }

namespace {
// Opens target; when nothing opens it, warns with failure (what could not be done, and why) and
// where target is, on a line of its own.
bool OpenOrWarn(QWidget* parent, const QString& target, const QString& failure) {
  if (ShellOpener().Open(target)) return true;
  const QString where =
      QDir::isAbsolutePath(target) ? QStringLiteral("It is here:\r") : QStringLiteral("Its address is:\r");
  Prompter().Message(parent, TPromptIcon::Warning, QStringLiteral("Warning"),
                     failure + QStringLiteral("\r\r") + where + DisplayFileName(target));
  return false;
}
}  // namespace

bool OpenOrTell(QWidget* parent, const QString& target, const QString& what) {
  return OpenOrWarn(parent, target,
                    what + QStringLiteral(" could not be opened: the desktop has no browser or other program to "
                                          "show it."));
}

bool PlayOrTell(QWidget* parent, const QString& path) {
  return OpenOrWarn(parent, path,
                    QStringLiteral("The file could not be played: the desktop has no program to play it."));
}

}  // namespace platform
