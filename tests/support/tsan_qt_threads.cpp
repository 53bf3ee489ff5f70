// ThreadSanitizer entries for a test program whose code hands work to Qt's own threads: the HTTP
// thread QNetworkAccessManager starts, and the D-Bus connection's thread. Those threads free or
// read what our thread made (request and message data, implicitly shared strings) after a
// hand-over through Qt's internal locks, which TSan cannot see. The Qt frames of those reports
// carry no symbol (Debian's Qt has no debug information installed, and the stacks end inside it),
// so only the library's name matches them; the entry is therefore kept to the programs that need
// it, where every report was of this kind, and not given to the others.

// Called while ThreadSanitizer starts (support/test_main.cpp), so not instrumented itself.
extern "C" __attribute__((no_sanitize("thread"))) const char* ConverterProgramTsanSuppressions() {
  return "race:libQt6Core.so\n";
}
