#include "support/x_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace test_support {

namespace {
// The Xvfb program on PATH, or empty.
std::string FindXvfb() {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t end = std::min(folders.find(':', start), folders.size());
    const std::string program = folders.substr(start, end - start) + "/Xvfb";
    if (end > start && ::access(program.c_str(), X_OK) == 0) return program;
    start = end + 1;
  }
  return {};
}
}  // namespace

TXServer::TXServer(int width, int height) {
  const std::string program = FindXvfb();
  if (program.empty()) return;
  int ready[2];
  if (::pipe(ready) != 0) return;
  // Everything the child needs is made before the fork: between fork and exec it may only make
  // async-signal-safe calls.
  const std::string readyFd = std::to_string(ready[1]);
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::vector<const char*> argv = {"Xvfb", "-displayfd", readyFd.c_str(), "-screen", "0", screen.c_str(),
                                   "-nolisten", "tcp", nullptr};
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  FPid = ::fork();
  if (FPid == 0) {
    ::close(ready[0]);
    if (quiet >= 0) {
      ::dup2(quiet, STDOUT_FILENO);
      ::dup2(quiet, STDERR_FILENO);
    }
    ::execv(program.c_str(), const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  if (quiet >= 0) ::close(quiet);
  ::close(ready[1]);
  // Xvfb writes the display number and a line end once it takes connections; an end of file
  // first means it did not start.
  std::string number;
  char c = 0;
  while (FPid > 0 && ::read(ready[0], &c, 1) == 1 && std::isdigit(static_cast<unsigned char>(c)) != 0)
    number += c;
  ::close(ready[0]);
  if (!number.empty()) FDisplay = ":" + number;
}

TXServer::~TXServer() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  int status = 0;
  while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace test_support
