#include "app/adding/adding_wiring.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "app/adding/adding.h"
#include "app/adding/adding_format.h"
#include "app/main_window/main_window.h"
#include "app/properties/properties.h"
#include "platform/file_dialogs.h"

namespace app {

namespace {

// "Media files (*.3gp *.3GP ...)": the types the adding window accepts, in both cases because the dialog
// matches names case-sensitively on Linux.
QString MediaFilesFilter() {
  QStringList patterns;
  for (const QString& mask : AcceptedMasks()) patterns << mask.toLower() << mask.toUpper();
  return QStringLiteral("Media files (%1);;All files (*)").arg(patterns.join(QLatin1Char(' ')));
}

}  // namespace

void WireAddingAndProperties(Tfrm_Main& main) {
  main.ShowAddingWindow = [&main] {
    Tfrm_Adding window(main);
    window.exec();
  };
  main.ShowAddFilesWindow = [&main] {
    QStringList names;
    if (!platform::FileDialogs().OpenFileNames(&main, QStringLiteral("Add files"), main.AddFolder(),
                                               MediaFilesFilter(), names))
      return;
    main.SetAddFolder(QFileInfo(names.constFirst()).absolutePath());
    main.DropQueue() = names;
    main.AddQueuedFiles();
  };
  main.ShowPropertiesWindow = [&main](int row) {
    // Lets the list finish repainting its selection before the window opens over it.
    QCoreApplication::processEvents();
    Tfrm_Properties window(&main);
    window.ShowRow(main.RowCaption(row), main.SubItems(row));
    window.exec();
  };
}

}  // namespace app
