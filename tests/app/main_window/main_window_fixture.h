#pragma once
// A main window on the offscreen platform with its own settings folder, and recording or
// scripted stand-ins for every prompt, dialog and shell call it makes. The program's main-thread
// dispatcher is installed as main() installs it, so worker threads reach the window the way they
// do in the program.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "app/command_line.h"
#include "app/main_window/main_window.h"
#include "app/settings/temp_folder.h"
#include "platform/main_thread.h"
#include "platform/qt_main_thread.h"
#include "platform/recording_prompter.h"
#include "platform/recording_shell_opener.h"
#include "platform/scripted_file_dialogs.h"
#include "shell/thread_pool.h"

namespace testing_support {

/// The process's application object, made on first use. It is destroyed when the test program's
/// tests are over, before the exit handlers run: Qt's input devices must go while the globals
/// they use still exist.
inline std::unique_ptr<QApplication>& AppHolder() {
  static std::unique_ptr<QApplication> app;
  return app;
}

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "app_main_window_tests";
  static char* argv[] = {name, nullptr};
  if (!AppHolder()) AppHolder() = std::make_unique<QApplication>(argc, argv);
  return *AppHolder();
}

class TQtEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { AppHolder().reset(); }
};
inline ::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

/// Runs act on the next modal window that opens (from a command that shows it with exec()).
inline void OnNextModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer(&App());
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      act(modal);
    }
  });
  timer->start();
}

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    FDispatcher = std::make_unique<platform::TQtMainThreadDispatcher>();
    FDispatcherGuard = std::make_unique<platform::TDispatcherGuard>(FDispatcher.get());
    ASSERT_TRUE(FTemp.isValid());
    FOldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", ConfigFolder().toUtf8());
    Window = std::make_unique<app::Tfrm_Main>();
  }

  void TearDown() override {
    Window.reset();
    qputenv("XDG_CONFIG_HOME", FOldXdg);
    // A batch that ended asked every event loop of the thread to leave (QCoreApplication::exit).
    // That request holds until the application's own loop runs, and would close the next case's
    // modal windows at once: run the loop once to use it up.
    // The timer lives on the stack, so nothing is left behind when the loop ends another way.
    bool done = false;
    QTimer last;
    last.setSingleShot(true);
    QObject::connect(&last, &QTimer::timeout, [&done] {
      done = true;
      QCoreApplication::exit(0);
    });
    while (!done) {
      if (!last.isActive()) last.start(0);
      QCoreApplication::exec();
    }
    // The shell's workers hand results to the main thread: they stop while it still listens.
    shell::ShutdownGlobalThreadPool();
    FDispatcherGuard.reset();
    FDispatcher.reset();
  }

  QString ConfigFolder() const { return FTemp.filePath(QStringLiteral("config")); }
  QString SettingsFile() const {
    return ConfigFolder() + QStringLiteral("/Quorvane/Video Converter/converter.ini");
  }
  QString TempPath(const QString& name) const { return FTemp.filePath(name); }

  /// Closes the window (which saves its settings) and opens a new one, as a restart does.
  void Restart() {
    Window->close();
    Window = std::make_unique<app::Tfrm_Main>();
  }

  /// A row as the adding window writes it.
  int AddFile(const QString& name, const QString& folder, int64_t micros, int64_t bytes) {
    return Window->AddRow(
        name, {QString(), QString(), folder + QLatin1Char('/') + name, QString::number(micros),
               QString::number(bytes), QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-")});
  }

  template <typename T>
  T* Find(const char* name) const {
    T* child = Window->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  QTemporaryDir FTemp = MakeTempFolder("main_window");
  QByteArray FOldXdg;
  TRecordingPrompter Prompter;
  TRecordingShellOpener Opener;
  TScriptedFileDialogs Dialogs;
  std::unique_ptr<platform::TQtMainThreadDispatcher> FDispatcher;
  std::unique_ptr<platform::TDispatcherGuard> FDispatcherGuard;
  std::unique_ptr<app::Tfrm_Main> Window;
};

}  // namespace testing_support
