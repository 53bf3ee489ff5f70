#pragma once
// Drop target for files from a file manager. Holds the string list of dropped paths, which the
// application also uses as its queue of paths to add.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class QMimeData;

namespace shell {

class TNavDropFiles : public QObject {
  Q_OBJECT

 public:
  explicit TNavDropFiles(QObject* parent = nullptr);

  /// The widget that accepts drops (not owned). For a scroll area (list and tree views) the drops
  /// are taken on its viewport.
  QWidget* Control() const { return FControl; }
  void SetControl(QWidget* control);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);

  /// The paths of the current drag; the application empties and fills it as its own queue too.
  QStringList& Files() { return FFiles; }
  const QStringList& Files() const { return FFiles; }

  /// The local files of a drag or clipboard payload (GetFilesFromDataObject).
  static QStringList LocalFiles(const QMimeData* data);

  /// Fires on the user-interface thread when files were dropped; Files() holds them.
  std::function<void()> OnDrop;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* DropWidget() const;
  void Attach();
  void Detach();

  QPointer<QWidget> FControl;
  bool FEnabled = true;
  QStringList FFiles;
};

}  // namespace shell
