#include "app/batch/batch_args.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "platform/file_names.h"
#include "platform/folder_access.h"

namespace app {

namespace {
QString Absolute(const QDir& base, const QString& path) {
  return QDir::cleanPath(base.absoluteFilePath(path));
}
}  // namespace

TBatchArgs ParseBatchArgs(const TCommandLine& commandLine, const QString& currentDir) {
  TBatchArgs args;
  const int count = commandLine.ParamCount();
  // An empty parameter 2 names no output folder, so it starts no batch: the main window and the
  // start-up code judge it the same way (IsBatchCommandLine).
  if (count < 2 || commandLine.ParamStr(2).isEmpty()) return args;
  args.BatchMode = true;

  const QString action = commandLine.ParamStr(1).toLower();
  if (action == QLatin1String("-v"))
    args.Road = TBatchRoad::Convert;
  else if (action == QLatin1String("-a"))
    args.Road = TBatchRoad::Extract;

  const QDir base(currentDir);
  args.OutputFolder = platform::WithTrailingSlash(Absolute(base, commandLine.ParamStr(2)));

  // Parameter 2 is always the output folder, so "x" counts from parameter 3 on.
  args.SaveLogAndQuit = count >= 3 && commandLine.ParamStr(count).toLower() == QLatin1String("x");
  const int lastInput = args.SaveLogAndQuit ? count - 1 : count;

  const QString third = commandLine.ParamStr(3);
  if (lastInput >= 3 && QFileInfo(third).suffix().toLower() == QLatin1String("fls")) {
    args.ListFile = Absolute(base, third);
    return args;
  }
  for (int i = 3; i <= std::min(lastInput, KLastInputParam); ++i) {
    const QString param = commandLine.ParamStr(i);
    if (param.isEmpty()) break;
    const QString path = Absolute(base, param);
    if (platform::FileNameExists(path) && !platform::IsFolderName(path))
      args.Inputs.append(path);
    else
      args.Missing.append(path);
  }
  return args;
}

}  // namespace app
