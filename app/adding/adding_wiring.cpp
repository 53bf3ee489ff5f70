#include "app/adding/adding_wiring.h"

#include <QCoreApplication>

#include "app/add_files/add_files.h"
#include "app/adding/adding.h"
#include "app/adding/adding_format.h"
#include "app/main_window/main_window.h"
#include "app/properties/properties.h"

namespace app {

void WireAddingAndProperties(Tfrm_Main& main) {
  main.ShowAddingWindow = [&main] {
    Tfrm_Adding window(main);
    window.exec();
  };
  main.ShowAddFilesWindow = [&main] {
    Tfrm_AddFiles window(main);
    window.exec();
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
