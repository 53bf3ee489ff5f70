#include <QApplication>
#include <QMainWindow>

#include "platform/qt_main_thread.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  platform::TQtMainThreadDispatcher dispatcher;
  platform::TDispatcherGuard dispatcherGuard(&dispatcher);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Tarsel Video Converter"));
  window.show();
  return app.exec();
}
