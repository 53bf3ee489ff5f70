#pragma once
// The About box: the program's name and version.

#include <QDialog>

namespace app {

/// The version the About box shows and the update check compares with.
inline constexpr const char* kProgramVersion = "1.3";

class Tfrm_About : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_About(QWidget* parent);
};

}  // namespace app
