#include <QApplication>
#include <QDir>
#include <clocale>

#include "app/adding/adding_wiring.h"
#include "app/batch/batch_mode.h"
#include "app/burn/burn_wiring.h"
#include "app/command_line.h"
#include "app/conversion_preview/previewer_form.h"
#include "app/main_window/main_window.h"
#include "app/preview/preview.h"
#include "app/update/update_check.h"
#include "app/shell_thumbnails/video_thumbnail.h"
#include "platform/qt_main_thread.h"
#include "shell/nav_system_image_list.h"
#include "shell/thread_pool.h"

int main(int argc, char* argv[]) {
  // The parameters are kept before Qt sees them: QApplication removes the options it knows
  // ("-platform", "-style"...), which would shift the batch mode's positions. Qt gets only the
  // program name.
  const app::TCommandLine commandLine(argc, argv);
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  app::ChooseOffscreenPlatformForBatch(commandLine);
  QApplication application(qtArgc, qtArgv);
  // Docks find the taskbar progress's entry by this name (the installed .desktop file).
  QGuiApplication::setDesktopFileName(QStringLiteral("tarsel-video-converter"));
  // Before any window: the About box, the update question and the folder dialog look up theme
  // icons too, and the file lists need the theme set up before the first of them.
  shell::SetUpIconTheme();
  // QApplication sets the user's locale; FFmpeg's option parsing reads numbers as "C" does.
  std::setlocale(LC_NUMERIC, "C");
  platform::TQtMainThreadDispatcher dispatcher;
  platform::TDispatcherGuard dispatcherGuard(&dispatcher);
  // A batch shows no windows: its conversions preview nowhere (the engine says so in the log).
  if (!app::WindowsUnseen()) app::InstallConversionPreview();
  // Video files get thumbnails from the converter's own decoder in the shell's file lists.
  app::InstallVideoThumbnails(QCoreApplication::applicationDirPath());
  app::TBatchMode batchMode(commandLine, QDir::currentPath(), app::WindowsUnseen());
  app::Tfrm_Main window;
  window.SetCommandLine(commandLine);
  app::WireAddingAndProperties(window);
  app::WirePreview(window);
  app::WireBurnWindow(window);
  app::WireBatchMode(window, batchMode);
  app::WireUpdateCheck(window);
  window.show();
  const int exitCode = application.exec();
  // The shell's workers hand results to the main thread: they stop while it still listens.
  shell::ShutdownGlobalThreadPool();
  return exitCode;
}
