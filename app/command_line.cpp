#include "app/command_line.h"

namespace app {

TCommandLine::TCommandLine(int argc, const char* const* argv) {
  for (int i = 0; i < argc && argv[i] != nullptr; ++i) FArguments.append(QString::fromLocal8Bit(argv[i]));
}

QString TCommandLine::ParamStr(int index) const {
  return index >= 0 && index < FArguments.size() ? FArguments[index] : QString();
}

}  // namespace app
