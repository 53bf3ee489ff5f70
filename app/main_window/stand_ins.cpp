#include "app/main_window/stand_ins.h"

#include <QWidget>

#include "platform/file_dialogs.h"

namespace app {

TNavBrowseForFolder::TNavBrowseForFolder(QWidget* owner) : QObject(owner), FOwner(owner) {}

bool TNavBrowseForFolder::Execute() {
  QString folder = FPath;
  if (!platform::FileDialogs().PickFolder(FOwner, FTitle, folder)) return false;
  FPath = folder;
  return true;
}

}  // namespace app
