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
// connection cache, dlopen of plug-ins).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n"
         "leak:libQt6Gui.so\n"
         "leak:libQt6DBus.so\n"
         "leak:libglib-2.0.so\n"
         "leak:_dl_open\n"
         "leak:libxkbcommon\n";
}

// ThreadSanitizer cannot see the synchronisation inside the Qt libraries, which are not built
// with it; races it reports from inside them are not ours to judge.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\n"
         "race:libQt6Gui.so\n"
         "race:libQt6Widgets.so\n"
         "race:libglib-2.0.so\n"
         "race:libfontconfig.so\n";
}

int main(int argc, char** argv) {
  // Widgets are tested without a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
#ifdef CONVERTER_TEST_TMP
  // Scratch files go into the build tree, where a failed run leaves them for a look.
  setenv("CONVERTER_TEST_TMP", CONVERTER_TEST_TMP, 0);
#endif
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
