// The main() of every test executable. CTest starts each test case as its own process, and the
// settings below must hold however the executable is started (ctest, by hand, under gdb), so they
// are made here rather than through CTest's ENVIRONMENT property.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Sanitizer run-time defaults; the sanitizers call these before main() when they are linked in
// and ignore them otherwise.
extern "C" const char* __asan_default_options() { return "detect_leaks=1:detect_stack_use_after_return=0"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }
// A test that starts a program (QProcess) forks while threads run; the child only calls exec.
extern "C" const char* __tsan_default_options() { return "die_after_fork=0"; }
// Leaks inside system libraries that the tests do not own (font and GL discovery, the D-Bus
// connection cache, dlopen of plug-ins), and in two encoder libraries that keep allocations when
// they refuse parameters on open (x264, libvorbisenc).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n"
         "leak:libQt6DBus.so\n"
         "leak:libglib-2.0.so\n"
         "leak:_dl_open\n"
         "leak:libxkbcommon\n"
         "leak:libx264.so\n"
         "leak:libvorbisenc.so\n"
         // Mesa's Vulkan drivers (lavapipe behind the hardware tests) keep one-time allocations
         // for the life of the process; on some CPUs (AMD EPYC) the CPU detection keeps a table.
         // The tests that make Vulkan devices keep the drivers loaded (engine_test::
         // KeepVulkanDriversLoaded), so such an allocation stays reachable, and should a driver
         // really lose one, its frames carry the driver's name for this line to match (the
         // Vulkan loader, libvulkan.so.1, is not matched).
         "leak:libvulkan_\n";
}

// ThreadSanitizer: FFmpeg and its codec libraries are not instrumented, and their worker threads
// hand work over through atomics TSan cannot see; reports from inside them say nothing about our
// code. Races between our threads, and between our code and a library call, are still reported.
// A test program whose code hands work to Qt's own threads adds its entries here
// (support/tsan_qt_threads.cpp); others have none.
extern "C" const char* ConverterProgramTsanSuppressions() __attribute__((weak));

namespace {
// Runs while ThreadSanitizer starts, before its interceptors work: no library call (the loop is
// kept from becoming one), no instrumented access.
char GTsanSuppressions[8192];
unsigned GTsanUsed = 0;
__attribute__((no_sanitize("thread"), optimize("no-tree-loop-distribute-patterns"))) void AppendSuppressions(
    const char* text) {
  while (*text != 0 && GTsanUsed + 1 < sizeof GTsanSuppressions) GTsanSuppressions[GTsanUsed++] = *text++;
  GTsanSuppressions[GTsanUsed] = 0;
}
}  // namespace

extern "C" __attribute__((no_sanitize("thread"))) const char* __tsan_default_suppressions() {
  if (GTsanUsed != 0) return GTsanSuppressions;
  AppendSuppressions(
         "called_from_lib:libavcodec.so\n"
         "called_from_lib:libavformat.so\n"
         "called_from_lib:libavfilter.so\n"
         "called_from_lib:libavutil.so\n"
         "called_from_lib:libswscale.so\n"
         "called_from_lib:libswresample.so\n"
         "called_from_lib:libx264.so\n"
         "called_from_lib:libx265.so\n"
         "called_from_lib:libvpx.so\n"
         "called_from_lib:libdav1d.so\n"
         "called_from_lib:libmp3lame.so\n"
         "called_from_lib:libvorbisenc.so\n"
         "race:libx264.so\n"
         "race:libvpx.so\n"
         // The Vulkan loader and Mesa's software Vulkan device (lavapipe, with LLVM's JIT) behind
         // the hardware tests: not instrumented, their internal locking is invisible to TSan. (The
         // device's driver is loaded and unloaded by the loader, which called_from_lib forbids.)
         "called_from_lib:libvulkan.so\n"
         "mutex:libvulkan.so\n"
         "mutex:libvulkan_lvp.so\n"
         "race:libvulkan.so\n"
         "race:libvulkan_lvp.so\n"
         "race:libLLVM\n"
         // Qt's own threads (the D-Bus connection thread) synchronise inside Qt, which is not
         // instrumented either.
         "called_from_lib:libQt6DBus.so\n"
         "called_from_lib:libdbus-1.so\n"
         // Qt Core hands memory between threads under its own futex-based locks and atomics,
         // which TSan cannot see (Qt is not instrumented). Each entry names the Qt function at
         // one end of such a hand-over; a race between our own threads on our own data has none
         // of them in its stacks and is still reported. (A blanket race:libQt6Core.so would hide
         // those too, whenever a Qt container call is on either stack.)
         // Events and queued calls: allocated by the poster, run and freed by the receiver.
         "race:QCoreApplicationPrivate::sendPostedEvents\n"
         "race:QCoreApplication::removePostedEvents\n"
         "race:QMetaCallEvent::~QMetaCallEvent\n"
         // A QWaitCondition woken by wakeAll and then destroyed by the woken thread.
         "race:QWaitCondition::~QWaitCondition\n"
         "race:QWaitCondition::wakeAll\n"
         // (Qt's global thread pool and its D-Bus thread, which the windows' programs start, are
         // left unchecked by those programs: support/tsan_qt_own_threads.cpp.)
         // A QObject's connection lists and thread data, guarded by Qt's internal mutex pool.
         "race:QObject::moveToThread\n"
         "race:QObjectPrivate::connectImpl\n"
         "race:QObject::disconnect\n"
         "race:QObject::~QObject\n"
         "race:libQt6DBus.so\n"
         "race:libdbus-1.so\n"
         // libburn and libisofs run threads of their own (the drive's writer, the image's
         // producer) and hand data over through their own locks; neither is instrumented.
         "race:libburn.so\n"
         "race:libisofs.so\n"
         // Widget tests of the shell components: pictures and fonts inside Qt.
         "race:libglib-2.0.so\n"
         "race:libfontconfig.so\n");
  if (ConverterProgramTsanSuppressions != nullptr) AppendSuppressions(ConverterProgramTsanSuppressions());
  return GTsanSuppressions;
}

namespace {

// Whether Qt's D-Bus connection thread is still in the process (Linux keeps the first 15
// characters of the name Qt gives a thread).
bool QtDBusThreadPresent() {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return false;
  bool present = false;
  while (const dirent* task = readdir(tasks)) {
    if (task->d_name[0] == '.') continue;
    char path[sizeof "/proc/self/task//comm" + sizeof task->d_name];
    std::snprintf(path, sizeof path, "/proc/self/task/%s/comm", task->d_name);
    const int file = open(path, O_RDONLY);
    if (file < 0) continue;  // the thread has just ended
    char name[32] = {};
    const ssize_t size = read(file, name, sizeof name - 1);
    close(file);
    if (size > 0 && std::strcmp(name, "QDBusConnection\n") == 0) present = true;
  }
  closedir(tasks);
  return present;
}

// The first QDBusConnection::sessionBus() (the main window's taskbar backend calls it) starts
// Qt's D-Bus connection thread, which lives until an exit handler of Qt D-Bus stops it. That
// handler's wait returns before the thread has ended: the thread still holds its record in Qt
// Core (a QThreadData, which it frees itself as it ends). LeakSanitizer's check, the last exit
// handler, would now and then find that record held by nothing and report it, with a stack that
// ends in Qt Core's unnamed frames (Qt is built without frame pointers), so no suppression could
// name it without also hiding our own leaks from slots, timers and queued calls. Registered
// before any test starts, this handler runs after Qt's and waits for the thread to be gone: up to
// 20 s, as a thread of a program under the sanitizers, among others run by ctest -j, may wait
// long for a core; the wait ends as soon as the thread has.
void WaitForQtDBusThread() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (QtDBusThreadPresent() && std::chrono::steady_clock::now() < until) usleep(1000);
}

}  // namespace

int main(int argc, char** argv) {
  std::atexit(WaitForQtDBusThread);
  // Widgets are tested without a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The update check of any window or program a test starts stays on this machine (nothing
  // listens on the discard port, so it ends at once).
  setenv("CONVERTER_UPDATE_URL", "http://127.0.0.1:9/upd_converter.ini", 0);
#ifdef CONVERTER_TEST_TMP
  // Scratch files go into the build tree, where a failed run leaves them for a look.
  setenv("CONVERTER_TEST_TMP", CONVERTER_TEST_TMP, 0);
#endif
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
