// The main() of every test executable. CTest starts each test case as its own process, and the
// settings below must hold however the executable is started (ctest, by hand, under gdb), so they
// are made here rather than through CTest's ENVIRONMENT property.

#include <gtest/gtest.h>

#include <cstdlib>

// Sanitizer run-time defaults; the sanitizers call these before main() when they are linked in
// and ignore them otherwise.
extern "C" const char* __asan_default_options() { return "detect_leaks=1:detect_stack_use_after_return=0"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }
// Leaks inside system libraries that the tests do not own (font and GL discovery, the D-Bus
// connection cache, dlopen of plug-ins), and in two encoder libraries that keep allocations when
// they refuse parameters on open (x264, libvorbisenc).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n"
         "leak:libQt6Gui.so\n"
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
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libavcodec.so\n"
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
         // Qt Core hands memory between threads under its own futex-based locks, which TSan
         // cannot see: events and queued calls (allocated by the poster, run and freed by the
         // receiver), QThread's end as seen by QThread::wait, QWaitCondition destroyed after a
         // wakeAll, implicitly shared strings and arrays released on another thread. Every
         // report without it is one of these; most of the Qt frames involved carry no symbol
         // (Qt's internal functions), so only the library's name matches them.
         // called_from_lib:libQt6Core.so is not a substitute: it also drops the pthread calls
         // through which TSan does see some of Qt's hand-overs (QThread::wait), and then reports
         // our own threads' clean ends as races.
         "race:libQt6Core.so\n"
         "race:libQt6DBus.so\n"
         "race:libdbus-1.so\n"
         // libburn and libisofs run threads of their own (the drive's writer, the image's
         // producer) and hand data over through their own locks; neither is instrumented.
         "race:libburn.so\n"
         "race:libisofs.so\n"
         // Widget tests of the shell components: pictures and fonts inside Qt.
         "race:libglib-2.0.so\n"
         "race:libfontconfig.so\n";
}

int main(int argc, char** argv) {
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
