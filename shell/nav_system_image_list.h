#pragma once
// The desktop's icons of files, folders and places as one image list, the way the shell
// components and the main window's file list use them: an icon is known by a stable index that
// any thread can look up, and drawn at one of four sizes on the user-interface thread.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <functional>
#include <vector>

#include "shell/nav_item_id_list.h"

namespace shell {

enum class TNavImageListSize { si_small, si_large, si_extralarge, si_jumbo };

/// Colour values as the components store them: 0x00BBGGRR.
using TColor = quint32;
constexpr TColor clNone = 0x1FFFFFFF;
QColor ColorFromTColor(TColor color);

/// Sets Qt's icon theme up for the desktop's file-type icons, once per process, on the
/// user-interface thread: the desktop session's theme and icon folders are kept when there are
/// any; without a session (the offscreen platform, a bare window manager) the freedesktop icon
/// folders are searched with "hicolor" as the theme and Adwaita for what it lacks. The program
/// calls it at start, before any window looks up a theme icon; every list calls it too.
void SetUpIconTheme();

class TNavSystemImageList : public QObject {
  Q_OBJECT

 public:
  explicit TNavSystemImageList(QObject* owner = nullptr);

  QString Version() const { return QStringLiteral("TNavSystemImageList V9.0.3.694"); }
  /// Shared: a live view of the process-wide icon registry. Not shared: a copy of the icons
  /// known when the list was (re)loaded.
  bool ShareImages() const { return FShareImages; }
  void SetShareImages(bool share);
  TNavImageListSize Size() const { return FSize; }
  void SetSize(TNavImageListSize size);
  /// Edge length in pixels of Size(): 16, 32, 48, 256.
  int Width() const { return PixelSize(FSize); }
  int Height() const { return Width(); }
  int Count() const;
  /// The icon at index; a null icon for an index out of range. User-interface thread.
  QIcon Icon(int index) const;
  /// The icon at index drawn at Size(). User-interface thread.
  QPixmap Pixmap(int index) const;

  /// Fires after the list was reloaded (size or sharing changed).
  std::function<void()> OnChange;

  // Index look-ups; any thread. The index is the same at every size ("large" is kept for
  // callers that ask for it).
  static int GetIconIndex(const INavItemIdList& idList, bool large, bool open);
  /// With useAttributes the path need not exist: its name alone decides.
  static int GetIconIndexForPath(const QString& path, bool large, bool useAttributes, bool open);
  /// "mp4" and ".mp4" give the same index; "" gives the generic file's.
  static int GetIconIndexForExtension(const QString& extension, bool large, bool open);
  /// A path ending in "/" gets the folder's index, any other the index of its extension.
  static int GetIconIndexForName(const QString& path, bool large, bool open);
  /// The exact index of an existing path, else by folder or name.
  static int GetIconIndexForFile(const QString& path, bool large, bool open);
  static int GetFolderIconIndex();
  /// Index of an emblem over the item (a link, an unreadable item), 0 for none, -1 when the
  /// item does not exist.
  static int GetOverlayIndex(const QString& path);
  /// The desktop's name for files with this extension ("MP4 video"), at most 80 characters.
  static QString GetTypeNameForExtension(const QString& extension);
  /// A new picture of width × height (the list's size for negative values) filled with
  /// background and the icon drawn centred; unless frameColour is clNone, a 1-pixel frame in
  /// that colour 1 pixel inside the edge. Drawn at a screen's pixel ratio: the picture has
  /// width·ratio × height·ratio pixels and carries the ratio, and the sizes above are
  /// device-independent. User-interface thread.
  static QImage GetIconBitmap(const TNavSystemImageList& list, int index, TColor background, TColor frameColour,
                              int width = -1, int height = -1, qreal ratio = 1);
  /// One process-wide list with the defaults. User-interface thread.
  static TNavSystemImageList& GetGlobalSystemImageList();
  static int PixelSize(TNavImageListSize size);

 private:
  void Reload();
  QIcon Resolve(int index) const;

  bool FShareImages = true;
  TNavImageListSize FSize = TNavImageListSize::si_small;
  std::vector<QIcon> FCopy;  // the icons of an unshared list
};

}  // namespace shell
