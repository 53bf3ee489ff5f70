#pragma once
// Fitting a window into its screen's free area with its frame: the title bar and the borders the
// window manager puts around the window take room too, so the window itself gets the area less
// its frame. A window whose frame is not known yet (not shown, or not yet framed by the window
// manager) fits with no frame, and fits again once it is known.

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace app {

/// The window geometry (client area, as QWidget::geometry) that puts the whole frame of a window
/// wanting wanted.size() at wanted.topLeft() into available: the size is cut down to what the
/// area leaves after frame, never grown, and the window is moved as little as brings its frame
/// into the area.
QRect FitFrameInto(const QRect& wanted, const QMargins& frame, const QRect& available);

/// The frame around window now: its frame geometry less its geometry (none before it is shown).
QMargins FrameMargins(const QWidget& window);

/// The free area (less panels and docks) of the screen window is on, or of the primary screen;
/// empty without a screen.
QRect AvailableArea(const QWidget& window);

}  // namespace app
