// Leak checker settings of the program in sanitizer builds (only compiled into those).
// Two encoder libraries keep a few allocations when they refuse parameters on open (x264 an odd
// frame size, libvorbisenc a bit rate it cannot manage); the program asks them exactly that when
// it fits the settings to a source, so their refusals are not leaks of the program.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libx264.so\n"
         "leak:libvorbisenc.so\n";
}
