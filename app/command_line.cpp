#include "app/command_line.h"

#include <cstring>

#include "platform/file_names.h"

namespace app {

TCommandLine::TCommandLine(int argc, const char* const* argv) {
  // Parameters are mostly file names: their bytes are kept, whatever the locale says.
  for (int i = 0; i < argc && argv[i] != nullptr; ++i)
    FArguments.append(platform::FileNameFromBytes(argv[i], qsizetype(std::strlen(argv[i]))));
}

QString TCommandLine::ParamStr(int index) const {
  return index >= 0 && index < FArguments.size() ? FArguments[index] : QString();
}

}  // namespace app
