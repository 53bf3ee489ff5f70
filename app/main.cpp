#include <QApplication>

#include "app/command_line.h"
#include "app/main_window/main_window.h"
#include "platform/qt_main_thread.h"

int main(int argc, char* argv[]) {
  // The parameters are kept before Qt sees them: QApplication removes the options it knows
  // ("-platform", "-style"...), which would shift the batch mode's positions. Qt gets only the
  // program name.
  app::SetCommandLine(app::TCommandLine(argc, argv));
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);
  platform::TQtMainThreadDispatcher dispatcher;
  platform::TDispatcherGuard dispatcherGuard(&dispatcher);
  app::Tfrm_Main window;
  window.show();
  return application.exec();
}
