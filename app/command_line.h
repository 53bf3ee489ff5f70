#pragma once
// The program's command line as it was started, kept before QApplication sees argv: Qt takes
// options such as "-platform" or "-style" out of argv, which would shift the batch mode's
// positional parameters.

#include <QString>
#include <QStringList>

namespace app {

class TCommandLine {
 public:
  TCommandLine() = default;
  /// Copies argv; bytes that are not UTF-8 are kept as platform::FileNameFromBytes keeps them.
  TCommandLine(int argc, const char* const* argv);
  explicit TCommandLine(QStringList arguments) : FArguments(std::move(arguments)) {}

  /// Number of parameters after the program name.
  int ParamCount() const { return FArguments.isEmpty() ? 0 : static_cast<int>(FArguments.size()) - 1; }
  /// Parameter index (0 is the program); empty beyond the last one.
  QString ParamStr(int index) const;
  const QStringList& Arguments() const { return FArguments; }

 private:
  QStringList FArguments;
};

}  // namespace app
