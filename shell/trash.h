#pragma once
// The freedesktop trash: moving items there (with their .trashinfo) and reading it back.
// Items go to the home trash when they lie on its file system, else to the volume's
// .Trash-<uid>; when neither can take them they stay where they are. Nothing is ever unlinked.

#include <QDateTime>
#include <QString>

namespace shell {

class TTrash {
 public:
  /// The home trash ($XDG_DATA_HOME/Trash).
  static QString HomeTrash();
  /// Moves path into a trash; false with error set when that cannot be done (path is then
  /// untouched).
  static bool MoveToTrash(const QString& path, QString& error);
  struct TInfo {
    QString OriginalPath;
    QDateTime Deleted;
  };
  /// The .trashinfo of an item of the home trash (its name under files/).
  static TInfo ReadInfo(const QString& name);
};

}  // namespace shell
