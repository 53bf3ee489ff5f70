#include "app/main_window/frame_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace app {

QRect FitFrameInto(const QRect& wanted, const QMargins& frame, const QRect& available) {
  if (available.isEmpty()) return wanted;
  const QSize room(std::max(1, available.width() - frame.left() - frame.right()),
                   std::max(1, available.height() - frame.top() - frame.bottom()));
  QRect fitted(wanted.topLeft(), wanted.size().boundedTo(room));
  // The frame's edges, then moved inside the area: left and top win when it cannot fit at all.
  QRect outer = fitted.marginsAdded(frame);
  if (outer.right() > available.right()) outer.moveRight(available.right());
  if (outer.bottom() > available.bottom()) outer.moveBottom(available.bottom());
  if (outer.left() < available.left()) outer.moveLeft(available.left());
  if (outer.top() < available.top()) outer.moveTop(available.top());
  fitted.moveTopLeft(outer.topLeft() + QPoint(frame.left(), frame.top()));
  return fitted;
}

QMargins FrameMargins(const QWidget& window) {
  if (!window.isVisible()) return {};
  const QRect frame = window.frameGeometry();
  const QRect client = window.geometry();
  return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
          frame.bottom() - client.bottom()};
}

QRect AvailableArea(const QWidget& window) {
  const QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

}  // namespace app
