#pragma once
// The freedesktop thumbnail cache (~/.cache/thumbnails), read only: a file's thumbnail is used
// only when it names the file's URI and its current modification time.

#include <QImage>
#include <QString>

namespace shell {

class TThumbCache {
 public:
  /// The cached thumbnail of path at least about size pixels wide or high (the smallest cache
  /// size that is large enough, else the largest there is); null when none is current.
  static QImage Lookup(const QString& path, int size);
  /// Where the thumbnail of path at that cache size ("normal", "large", "x-large", "xx-large")
  /// is kept.
  static QString CacheFile(const QString& path, const QString& cacheSize);
};

}  // namespace shell
