#include "shell/nav_system_image_list.h"

#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QMutex>
#include <QPainter>
#include <QStringList>
#include <QStyle>
#include <unistd.h>

#include "shell/xdg_dirs.h"

namespace shell {

namespace {

// A registered icon: its theme name, a more generic theme name to fall back on, and the
// toolkit's own picture for when the theme has neither.
struct TIconKey {
  QString Name;
  QString Generic;
  QStyle::StandardPixmap Fallback = QStyle::SP_FileIcon;
};

// Process-wide: theme icon name -> stable index. Indexes never change once given out.
class TIconRegistry {
 public:
  static TIconRegistry& Instance() {
    static TIconRegistry registry;
    return registry;
  }

  int IndexOf(const QString& name, const QString& generic, QStyle::StandardPixmap fallback) {
    QMutexLocker lock(&FLock);
    auto it = FIndex.constFind(name);
    if (it != FIndex.constEnd()) return it.value();
    const int index = static_cast<int>(FKeys.size());
    FKeys.push_back({name, generic, fallback});
    FIndex.insert(name, index);
    return index;
  }

  int Count() const {
    QMutexLocker lock(&FLock);
    return static_cast<int>(FKeys.size());
  }

  bool Key(int index, TIconKey& key) const {
    QMutexLocker lock(&FLock);
    if (index < 0 || index >= static_cast<int>(FKeys.size())) return false;
    key = FKeys[static_cast<size_t>(index)];
    return true;
  }

 private:
  TIconRegistry() {
    // The generic file comes first: index 0 is what an unknown item shows.
    IndexOf(QStringLiteral("text-x-generic"), QStringLiteral("text-x-generic"), QStyle::SP_FileIcon);
    IndexOf(QStringLiteral("folder"), QStringLiteral("folder"), QStyle::SP_DirIcon);
  }
  mutable QMutex FLock;
  std::vector<TIconKey> FKeys;
  QHash<QString, int> FIndex;
};

int Register(const QString& name, const QString& generic, QStyle::StandardPixmap fallback = QStyle::SP_FileIcon) {
  return TIconRegistry::Instance().IndexOf(name, generic.isEmpty() ? name : generic, fallback);
}

int IndexForMime(const QMimeType& type) {
  if (!type.isValid()) return 0;
  if (type.name() == QLatin1String("inode/directory")) return Register(QStringLiteral("folder"), {}, QStyle::SP_DirIcon);
  return Register(type.iconName(), type.genericIconName());
}

int FolderIndex(const QString& path, bool open) {
  if (open) return Register(QStringLiteral("folder-open"), QStringLiteral("folder"), QStyle::SP_DirOpenIcon);
  // The user's own folders have icons of their own.
  struct TUserFolder {
    const char* Key;
    const char* Icon;
  };
  static const TUserFolder kUserFolders[] = {
      {"DESKTOP", "user-desktop"},         {"DOCUMENTS", "folder-documents"}, {"DOWNLOAD", "folder-download"},
      {"MUSIC", "folder-music"},           {"PICTURES", "folder-pictures"},   {"VIDEOS", "folder-videos"},
      {"TEMPLATES", "folder-templates"},   {"PUBLICSHARE", "folder-publicshare"}};
  if (!path.isEmpty()) {
    if (path == TXdgDirs::Home()) return Register(QStringLiteral("user-home"), QStringLiteral("folder"), QStyle::SP_DirHomeIcon);
    for (const TUserFolder& folder : kUserFolders)
      if (path == TXdgDirs::UserDir(QLatin1String(folder.Key)))
        return Register(QLatin1String(folder.Icon), QStringLiteral("folder"), QStyle::SP_DirIcon);
  }
  return Register(QStringLiteral("folder"), {}, QStyle::SP_DirIcon);
}

}  // namespace

void SetUpIconTheme() {
  // The desktop's own settings come with the platform, which the GUI application loads.
  static bool done = false;
  if (done || qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
  done = true;
  QStringList paths = QIcon::themeSearchPaths();
  QStringList dataDirs = qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
  if (dataDirs.isEmpty()) dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
  dataDirs.prepend(TXdgDirs::DataHome());
  for (const QString& dir : dataDirs) {
    const QString icons = dir + QLatin1String("/icons");
    if (!paths.contains(icons) && QFileInfo(icons).isDir()) paths.append(icons);
  }
  if (QIcon::themeName().isEmpty()) QIcon::setThemeName(QStringLiteral("hicolor"));
  if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
  // Qt keeps every theme icon it was asked for, empty ones too, and looks them up again only
  // when the theme or the search paths change, never for a new fallback theme. Setting the
  // paths last makes anything asked for before this call (a window that came first) be looked
  // up again with the fallback.
  QIcon::setThemeSearchPaths(paths);
}

namespace {

QMimeDatabase& MimeDatabase() {
  static QMimeDatabase db;  // QMimeDatabase is safe to use from any thread
  return db;
}

QString MadeUpName(const QString& extension) {
  if (extension.isEmpty()) return QStringLiteral("test");
  if (extension.startsWith(QLatin1Char('.'))) return QStringLiteral("test") + extension;
  return QStringLiteral("test.") + extension;
}

}  // namespace

QColor ColorFromTColor(TColor color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

TNavSystemImageList::TNavSystemImageList(QObject* owner) : QObject(owner) {
  SetUpIconTheme();
  Reload();
}

void TNavSystemImageList::SetShareImages(bool share) {
  if (share == FShareImages) return;
  FShareImages = share;
  Reload();
}

void TNavSystemImageList::SetSize(TNavImageListSize size) {
  if (size == FSize) return;
  FSize = size;
  Reload();
}

void TNavSystemImageList::Reload() {
  FCopy.clear();
  if (!FShareImages) {
    const int count = TIconRegistry::Instance().Count();
    for (int i = 0; i < count; ++i) FCopy.push_back(Resolve(i));
  }
  if (OnChange) OnChange();
}

int TNavSystemImageList::Count() const {
  return FShareImages ? TIconRegistry::Instance().Count() : static_cast<int>(FCopy.size());
}

QIcon TNavSystemImageList::Resolve(int index) const {
  TIconKey key;
  if (!TIconRegistry::Instance().Key(index, key)) return {};
  SetUpIconTheme();  // done by now, unless the list was made before the application
  QIcon icon = QIcon::fromTheme(key.Name);
  if (icon.isNull()) icon = QIcon::fromTheme(key.Generic);
  if (icon.isNull() && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
    icon = QApplication::style()->standardIcon(key.Fallback);
  return icon;
}

QIcon TNavSystemImageList::Icon(int index) const {
  if (FShareImages) return Resolve(index);
  if (index < 0 || index >= static_cast<int>(FCopy.size())) return {};
  return FCopy[static_cast<size_t>(index)];
}

QPixmap TNavSystemImageList::Pixmap(int index) const { return Icon(index).pixmap(Width(), Height()); }

int TNavSystemImageList::PixelSize(TNavImageListSize size) {
  switch (size) {
    case TNavImageListSize::si_small: return 16;
    case TNavImageListSize::si_large: return 32;
    case TNavImageListSize::si_extralarge: return 48;
    case TNavImageListSize::si_jumbo: return 256;
  }
  return 16;
}

int TNavSystemImageList::GetIconIndex(const INavItemIdList& idList, bool large, bool open) {
  if (NavIsEmpty(idList)) return -1;
  const auto& items = idList->GetIdList();
  if (items.empty()) return Register(QStringLiteral("user-desktop"), QStringLiteral("folder"), QStyle::SP_DesktopIcon);
  if (items.size() == 1 && items[0].Kind == TNavSegmentKind::Virtual) {
    if (items[0].Name == QLatin1String(kNavComputer))
      return Register(QStringLiteral("computer"), QStringLiteral("folder"), QStyle::SP_ComputerIcon);
    if (items[0].Name == QLatin1String(kNavHome))
      return Register(QStringLiteral("user-home"), QStringLiteral("folder"), QStyle::SP_DirHomeIcon);
    if (items[0].Name == QLatin1String(kNavTrash))
      return Register(QStringLiteral("user-trash"), QStringLiteral("folder"), QStyle::SP_TrashIcon);
  }
  if (items.back().Kind == TNavSegmentKind::Volume)
    return Register(QStringLiteral("drive-harddisk"), QStringLiteral("folder"), QStyle::SP_DriveHDIcon);
  const QString path = idList->GetPath();
  if (path.isEmpty()) return 0;
  return GetIconIndexForPath(path, large, false, open);
}

int TNavSystemImageList::GetIconIndexForPath(const QString& path, bool large, bool useAttributes, bool open) {
  if (path.isEmpty()) return -1;
  if (useAttributes) return GetIconIndexForName(path, large, open);
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) return -1;
  if (info.isDir()) return FolderIndex(info.absoluteFilePath(), open);
  return IndexForMime(MimeDatabase().mimeTypeForFile(info));
}

int TNavSystemImageList::GetIconIndexForExtension(const QString& extension, bool /*large*/, bool /*open*/) {
  return IndexForMime(MimeDatabase().mimeTypeForFile(MadeUpName(extension), QMimeDatabase::MatchExtension));
}

int TNavSystemImageList::GetIconIndexForName(const QString& path, bool large, bool open) {
  if (path.endsWith(QLatin1Char('/'))) return FolderIndex(QString(), open);
  return GetIconIndexForExtension(QFileInfo(path).suffix(), large, open);
}

int TNavSystemImageList::GetIconIndexForFile(const QString& path, bool large, bool open) {
  const int exact = GetIconIndexForPath(path, large, false, open);
  if (exact >= 0) return exact;
  if (path.contains(QLatin1Char('*')) || QFileInfo(path).isDir()) return FolderIndex(QString(), open);
  return GetIconIndexForName(path, large, open);
}

int TNavSystemImageList::GetFolderIconIndex() { return FolderIndex(QString(), false); }

int TNavSystemImageList::GetOverlayIndex(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) return -1;
  if (info.isSymLink()) return Register(QStringLiteral("emblem-symbolic-link"), QStringLiteral("emblem-symbolic-link"));
  if (::access(QFile::encodeName(path).constData(), R_OK) != 0)
    return Register(QStringLiteral("emblem-unreadable"), QStringLiteral("emblem-unreadable"));
  return 0;
}

QString TNavSystemImageList::GetTypeNameForExtension(const QString& extension) {
  const QMimeType type = MimeDatabase().mimeTypeForFile(MadeUpName(extension), QMimeDatabase::MatchExtension);
  if (!type.isValid()) return {};
  return type.comment().left(80).trimmed();
}

QImage TNavSystemImageList::GetIconBitmap(const TNavSystemImageList& list, int index, TColor background,
                                          TColor frameColour, int width, int height, qreal ratio) {
  width = std::max(1, width < 0 ? list.Width() : width);
  height = std::max(1, height < 0 ? list.Height() : height);
  if (ratio <= 0) ratio = 1;
  QImage image(qRound(width * ratio), qRound(height * ratio), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(background == clNone ? QColor(Qt::transparent) : ColorFromTColor(background));
  // The painter works in device-independent pixels from here on.
  QPainter painter(&image);
  const int side = std::min({list.Width(), width, height});
  const QPixmap pixmap = list.Icon(index).pixmap(QSize(side, side), ratio);
  if (!pixmap.isNull()) {
    const QSize shown = pixmap.deviceIndependentSize().toSize();
    painter.drawPixmap((width - shown.width()) / 2, (height - shown.height()) / 2, pixmap);
  }
  if (frameColour != clNone && width > 2 && height > 2) {
    painter.setPen(QPen(ColorFromTColor(frameColour), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(1, 1, width - 3, height - 3);
  }
  return image;
}

TNavSystemImageList& TNavSystemImageList::GetGlobalSystemImageList() {
  static TNavSystemImageList list;
  return list;
}

}  // namespace shell
