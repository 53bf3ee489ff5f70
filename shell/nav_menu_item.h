#pragma once
// A menu entry that carries its own 32-bit picture and shows it as its icon, and the copying of
// a control's menu into entries of that kind (the shell browser merges such copies with the
// shell's entries of an item menu).

#include <QAction>
#include <QHash>
#include <QImage>
#include <QRgb>

class QMenu;

namespace shell {

class TNavMenuItem : public QAction {
  Q_OBJECT

 public:
  /// parent owns the entry.
  explicit TNavMenuItem(QObject* parent);

  /// The entry's picture: 32 bits per pixel with premultiplied alpha; a null image until one is
  /// set.
  const QImage& Bitmap() const { return FBitmap; }
  /// Copies picture (converted to 32 bits with premultiplied alpha) and shows it as the entry's
  /// icon; a null picture leaves the icon as it is.
  void SetBitmap(const QImage& picture);

 private:
  /// Whenever the entry changes, a picture it carries stays its icon.
  void ApplyBitmap();

  QImage FBitmap;
  qint64 FShownIcon = 0;  // cache key of the icon made from FBitmap
  bool FApplying = false;
};

/// A 32-bit premultiplied copy of picture in which every pixel of the colour transparent (alpha
/// ignored) is fully transparent and every other pixel opaque: how a picture without an alpha
/// channel (an image-list picture on a white ground) becomes a menu entry's picture.
QImage NavTransparentBitmap(const QImage& picture, QRgb transparent);

/// Fills target with copies of source's entries as TNavMenuItems (submenus as copied submenus,
/// separators as separators, radio groups as groups of their own): caption, shortcut, check,
/// enabled and visible state, default entry, font, tip, status tip, data and name are copied,
/// icons become pictures, and triggering a copy triggers its source. target owns the copies;
/// copies maps each source entry to its copy.
void NavCopyMenu(const QMenu& source, QMenu& target, QHash<QAction*, QAction*>* copies = nullptr);

}  // namespace shell
