#pragma once
// The batch mode's reading of the command line: parameter 1 "-v" (convert) or "-a" (extract
// audio), 2 the output folder, 3 a ".fls" file list or the first input, 4 and later more inputs,
// and a last parameter "x" that saves the run log and ends the program after the batch.

#include <QString>
#include <QStringList>

#include "app/command_line.h"

namespace app {

enum class TBatchRoad {
  None,     // parameter 1 is neither: the batch ends with the list filled
  Convert,  // "-v"
  Extract,  // "-a"
};

struct TBatchArgs {
  /// A second parameter is present. Everything below holds only then.
  bool BatchMode = false;
  TBatchRoad Road = TBatchRoad::None;
  /// Parameter 2, absolute, with a trailing "/".
  QString OutputFolder;
  /// Parameter 3 when its extension is ".fls" (any case), absolute; the inputs are its lines.
  QString ListFile;
  /// Parameters 3, 4... that name existing files, absolute, in order (empty with ListFile).
  QStringList Inputs;
  /// Parameters 3, 4... that name no file (missing, or a folder), absolute, in order: left out of
  /// the batch, but the batch did not convert them.
  QStringList Missing;
  /// The last parameter, from the third on, is "x" (any case).
  bool SaveLogAndQuit = false;
};

/// The scan of inputs ends at the first empty parameter, and after this one.
constexpr int KLastInputParam = 999;

/// Reads commandLine; relative paths are taken from currentDir. A missing input is left out
/// without a message; a trailing "x" is the flag, never an input.
TBatchArgs ParseBatchArgs(const TCommandLine& commandLine, const QString& currentDir);

}  // namespace app
