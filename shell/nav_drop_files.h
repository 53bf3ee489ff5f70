#pragma once
// Makes a widget a drop target for files from a file manager: collects the paths of the dragged
// files (Files()) and lets the application decide the drop effect in its events. The
// application also uses Files() as its queue of paths to add.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

class QMimeData;

namespace shell {

enum class TNavDropEffect { deNone, deCopy, deMove, deLink };

/// The keys and mouse buttons held during a drag.
struct TNavKeyState {
  Qt::KeyboardModifiers Modifiers;
  Qt::MouseButtons Buttons;
};

class TNavDropFiles : public QObject {
  Q_OBJECT

 public:
  explicit TNavDropFiles(QObject* parent = nullptr);

  QString Version() const { return QStringLiteral("TNavDropFiles V9.0.3.694"); }
  /// The widget that accepts drops (not owned). For a scroll area (list and tree views) the drops
  /// are taken on its viewport, which is followed when the view replaces it.
  QWidget* Control() const { return FControl; }
  void SetControl(QWidget* control);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);

  /// The paths of the current drag (read when it entered); the application empties and fills
  /// it as its own queue too.
  QStringList& Files() { return FFiles; }
  const QStringList& Files() const { return FFiles; }

  /// The local files of a drag or clipboard payload (GetFilesFromDataObject).
  static QStringList LocalFiles(const QMimeData* data);

  using TDragDropEvent = std::function<void(TNavDropFiles& sender, const TNavKeyState& keyState,
                                            const QPoint& mousePos, TNavDropEffect& effect)>;
  /// Starts with deNone. An exception thrown here reaches the caller of DragEnter; see there.
  TDragDropEvent OnDragEnter;
  /// Starts with deCopy: without a handler a file drag shows copy. deNone refuses.
  TDragDropEvent OnDragOver;
  /// Starts with deNone; what it leaves is reported to the source. Files() holds the paths.
  TDragDropEvent OnDrop;
  std::function<void(TNavDropFiles&)> OnDragLeave;

  // The drop target's steps, which the control's drag events run. A drag that is not of local
  // files gets deNone whatever the handlers say.
  /// A drag came in: Files() becomes its local files (empty for any other drag), then
  /// OnDragEnter decides. An exception thrown by OnDragEnter is passed on to the caller, with
  /// Files() already replaced. The control's drag events, which Qt cannot pass exceptions
  /// through, answer it by refusing the drag and showing the error's text (after the event).
  TNavDropEffect DragEnter(const QMimeData* data, const TNavKeyState& keyState, const QPoint& mousePos);
  /// The drag moved: OnDragOver decides; a handler that throws gives deNone.
  TNavDropEffect DragOver(const TNavKeyState& keyState, const QPoint& mousePos);
  void DragLeave();
  /// The drag was dropped: OnDrop decides on the paths read at DragEnter; a handler that throws
  /// gives deNone.
  TNavDropEffect Drop(const TNavKeyState& keyState, const QPoint& mousePos);

  /// Attaches to the control's current drop widget when the view replaced it; a timer does
  /// this every 5 s.
  void Reregister();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* DropWidget() const;
  void Attach();
  void Detach();
  static Qt::DropAction ToAction(TNavDropEffect effect);

  QPointer<QWidget> FControl;
  QPointer<QWidget> FAttached;
  bool FEnabled = true;
  bool FRefused = false;  // the drag now over the control was refused when it came in
  QStringList FFiles;
  QTimer FTimer;
};

}  // namespace shell
