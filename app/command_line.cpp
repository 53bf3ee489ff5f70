#include "app/command_line.h"

namespace app {

namespace {
TCommandLine& Current() {
  static TCommandLine commandLine;
  return commandLine;
}
}  // namespace

TCommandLine::TCommandLine(int argc, const char* const* argv) {
  for (int i = 0; i < argc && argv[i] != nullptr; ++i) FArguments.append(QString::fromLocal8Bit(argv[i]));
}

QString TCommandLine::ParamStr(int index) const {
  return index >= 0 && index < FArguments.size() ? FArguments[index] : QString();
}

const TCommandLine& CommandLine() { return Current(); }

void SetCommandLine(TCommandLine commandLine) { Current() = std::move(commandLine); }

}  // namespace app
