#include "shell/thumb_cache.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QImageReader>
#include <QUrl>

#include "shell/xdg_dirs.h"

namespace shell {

namespace {

struct TCacheSize {
  const char* Name;
  int Pixels;
};
constexpr TCacheSize kSizes[] = {{"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};

}  // namespace

QString TThumbCache::CacheFile(const QString& path, const QString& cacheSize) {
  const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
  const QByteArray md5 = QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex();
  return TXdgDirs::CacheHome() + QStringLiteral("/thumbnails/") + cacheSize + QLatin1Char('/') +
         QString::fromLatin1(md5) + QStringLiteral(".png");
}

QImage TThumbCache::Lookup(const QString& path, int size) {
  const QFileInfo info(path);
  if (!info.exists()) return {};
  const QString uri = QString::fromUtf8(QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded());
  const QString mtime = QString::number(info.lastModified().toSecsSinceEpoch());
  // Smallest size that is large enough first, then the larger ones, then the smaller ones.
  std::vector<const TCacheSize*> order;
  for (const TCacheSize& s : kSizes)
    if (s.Pixels >= size) order.push_back(&s);
  for (auto it = std::rbegin(kSizes); it != std::rend(kSizes); ++it)
    if (it->Pixels < size) order.push_back(&*it);
  for (const TCacheSize* s : order) {
    // The keys are read from the picture itself: QImageReader::text() cuts keys at "::".
    QImageReader reader(CacheFile(path, QLatin1String(s->Name)), "png");
    if (!reader.canRead()) continue;
    QImage image = reader.read();
    // A thumbnail of an earlier version of the file, or of another file, is not used.
    if (image.isNull() || image.text(QStringLiteral("Thumb::URI")) != uri ||
        image.text(QStringLiteral("Thumb::MTime")) != mtime)
      continue;
    return image;
  }
  return {};
}

}  // namespace shell
