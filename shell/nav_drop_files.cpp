#include "shell/nav_drop_files.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <exception>

#include "platform/prompter.h"
#include "shell/shell_data.h"

namespace shell {

namespace {

// A re-created drop widget is picked up within this time.
constexpr int kReregisterMs = 5000;

// Runs a drag event handler; a handler that throws gives no effect.
void Run(const TNavDropFiles::TDragDropEvent& handler, TNavDropFiles& sender, const TNavKeyState& keys,
         const QPoint& at, TNavDropEffect& effect) {
  if (!handler) return;
  try {
    handler(sender, keys, at, effect);
  } catch (...) {
    effect = TNavDropEffect::deNone;
  }
}

}  // namespace

TNavDropFiles::TNavDropFiles(QObject* parent) : QObject(parent) {
  FTimer.setInterval(kReregisterMs);
  connect(&FTimer, &QTimer::timeout, this, [this] { Reregister(); });
}

QStringList TNavDropFiles::LocalFiles(const QMimeData* data) { return GetFilesFromDataObject(data); }

QWidget* TNavDropFiles::DropWidget() const {
  if (FControl.isNull()) return nullptr;
  if (auto* area = qobject_cast<QAbstractScrollArea*>(FControl.data())) return area->viewport();
  return FControl.data();
}

void TNavDropFiles::Attach() {
  QWidget* widget = DropWidget();
  if (widget == nullptr || !FEnabled) return;
  widget->setAcceptDrops(true);
  widget->installEventFilter(this);
  FAttached = widget;
  FTimer.start();
}

void TNavDropFiles::Detach() {
  FTimer.stop();
  if (QWidget* widget = FAttached.data()) {
    widget->removeEventFilter(this);
    widget->setAcceptDrops(false);
  }
  FAttached = nullptr;
}

void TNavDropFiles::Reregister() {
  if (!FEnabled || FControl.isNull()) return;
  if (DropWidget() == FAttached.data()) return;
  Detach();
  Attach();
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

Qt::DropAction TNavDropFiles::ToAction(TNavDropEffect effect) {
  switch (effect) {
    case TNavDropEffect::deCopy: return Qt::CopyAction;
    case TNavDropEffect::deMove: return Qt::MoveAction;
    case TNavDropEffect::deLink: return Qt::LinkAction;
    default: return Qt::IgnoreAction;
  }
}

TNavDropEffect TNavDropFiles::DragEnter(const QMimeData* data, const TNavKeyState& keyState,
                                        const QPoint& mousePos) {
  FFiles = LocalFiles(data);
  TNavDropEffect effect = TNavDropEffect::deNone;
  if (OnDragEnter) OnDragEnter(*this, keyState, mousePos, effect);  // exceptions go to the caller
  return effect;
}

TNavDropEffect TNavDropFiles::DragOver(const TNavKeyState& keyState, const QPoint& mousePos) {
  if (FFiles.isEmpty()) return TNavDropEffect::deNone;
  TNavDropEffect effect = TNavDropEffect::deCopy;
  Run(OnDragOver, *this, keyState, mousePos, effect);
  return effect;
}

void TNavDropFiles::DragLeave() {
  if (OnDragLeave) OnDragLeave(*this);
}

TNavDropEffect TNavDropFiles::Drop(const TNavKeyState& keyState, const QPoint& mousePos) {
  // The paths were read when the drag entered; the payload is not read again.
  TNavDropEffect effect = TNavDropEffect::deNone;
  Run(OnDrop, *this, keyState, mousePos, effect);
  return effect;
}

bool TNavDropFiles::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter: {
      auto* drag = static_cast<QDragEnterEvent*>(event);
      TNavDropEffect effect = TNavDropEffect::deNone;
      QString error;
      try {
        effect =
            DragEnter(drag->mimeData(), {drag->modifiers(), drag->buttons()}, drag->position().toPoint());
      } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
      } catch (...) {
        error = QStringLiteral("Unknown error");
      }
      FRefused = !error.isEmpty();
      // Only a drag of local files is taken; its effect is decided while it moves.
      if (FFiles.isEmpty() || FRefused) {
        drag->ignore();
      } else {
        drag->setDropAction(effect == TNavDropEffect::deNone ? Qt::CopyAction : ToAction(effect));
        drag->accept();
      }
      if (FRefused) {
        // Shown once the drag event is over: a window that opens inside it would hold the drag.
        QWidget* window = FAttached ? FAttached->window() : nullptr;
        QMetaObject::invokeMethod(
            this,
            [window = QPointer<QWidget>(window), error] {
              platform::Prompter().Message(window, platform::TPromptIcon::Error, QStringLiteral("Error"),
                                           error);
            },
            Qt::QueuedConnection);
      }
      return true;
    }
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      const TNavDropEffect effect =
          FRefused ? TNavDropEffect::deNone
                   : DragOver({drag->modifiers(), drag->buttons()}, drag->position().toPoint());
      if (effect == TNavDropEffect::deNone) {
        drag->ignore();
      } else {
        drag->setDropAction(ToAction(effect));
        drag->accept();
      }
      return true;
    }
    case QEvent::DragLeave:
      FRefused = false;
      DragLeave();
      return true;
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const TNavDropEffect effect =
          FRefused ? TNavDropEffect::deNone
                   : Drop({drop->modifiers(), drop->buttons()}, drop->position().toPoint());
      FRefused = false;
      if (effect == TNavDropEffect::deNone) {
        drop->setDropAction(Qt::IgnoreAction);
        drop->ignore();
      } else {
        drop->setDropAction(ToAction(effect));
        drop->accept();
      }
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace shell
