// Fuzzes the batch mode's reading of the command line: the input is split at line feeds into
// parameters. Whatever they are, the result keeps the rules the batch relies on: the output folder
// ends with "/", every input and missing path is absolute, and "x" is never an input.

#include <cstddef>
#include <cstdint>

#include <QDir>
#include <QStringList>

#include "app/batch/batch_args.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  QStringList args = text.split(QLatin1Char('\n'));
  args.prepend(QStringLiteral("converter"));
  const app::TBatchArgs batch = app::ParseBatchArgs(app::TCommandLine(args), QStringLiteral("/nonexistent-cwd"));
  if (!batch.BatchMode) return 0;
  if (!batch.OutputFolder.endsWith(QLatin1Char('/'))) __builtin_trap();
  for (const QString& path : batch.Inputs + batch.Missing) {
    if (!QDir::isAbsolutePath(path)) __builtin_trap();
  }
  if (!batch.ListFile.isEmpty() && !batch.Inputs.isEmpty()) __builtin_trap();
  return 0;
}
