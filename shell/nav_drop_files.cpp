#include "shell/nav_drop_files.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

#include "shell/shell_data.h"

namespace shell {

TNavDropFiles::TNavDropFiles(QObject* parent) : QObject(parent) {}

QStringList TNavDropFiles::LocalFiles(const QMimeData* data) { return GetFilesFromDataObject(data); }

QWidget* TNavDropFiles::DropWidget() const {
  if (FControl.isNull()) return nullptr;
  if (auto* area = qobject_cast<QAbstractScrollArea*>(FControl.data())) return area->viewport();
  return FControl.data();
}

void TNavDropFiles::Attach() {
  if (QWidget* widget = DropWidget(); widget != nullptr && FEnabled) {
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
  }
}

void TNavDropFiles::Detach() {
  if (QWidget* widget = DropWidget()) {
    widget->removeEventFilter(this);
    widget->setAcceptDrops(false);
  }
}

void TNavDropFiles::SetControl(QWidget* control) {
  Detach();
  FControl = control;
  Attach();
}

void TNavDropFiles::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  Detach();
  FEnabled = enabled;
  Attach();
}

bool TNavDropFiles::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter: {
      auto* drag = static_cast<QDragEnterEvent*>(event);
      FFiles = LocalFiles(drag->mimeData());
      if (FFiles.isEmpty()) {
        drag->ignore();
      } else {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      }
      return true;
    }
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
      return true;
    }
    case QEvent::DragLeave:
      return true;
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      // The paths were read when the drag entered; the payload is not read again.
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      if (OnDrop) OnDrop();
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace shell
