#pragma once
// An X server of a test's own (Xvfb, from the package xvfb) on a display number it picks itself,
// for the cases that need what only a real X display gives: the xcb platform with the desktop's
// key bindings (a text box there reads Ctrl+E as "end of line"), which Qt's offscreen platform
// does not have. Such a case runs again on it with RunThisTestAlone (support/run_alone.h).

#include <sys/types.h>

#include <string>

namespace test_support {

class TXServer {
 public:
  /// Starts Xvfb with one screen of width x height pixels and waits until it takes connections.
  TXServer(int width = 1280, int height = 1024);
  /// Ends the server.
  ~TXServer();
  TXServer(const TXServer&) = delete;
  TXServer& operator=(const TXServer&) = delete;

  /// The DISPLAY value that reaches the server (":5"); empty when it could not start.
  const std::string& Display() const { return FDisplay; }

 private:
  pid_t FPid = -1;
  std::string FDisplay;
};

}  // namespace test_support
