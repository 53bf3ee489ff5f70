#include "app/shell_thumbnails/video_thumbnail.h"

#include <QMimeDatabase>
#include <QMutex>
#include <algorithm>

#include "media/ff_decoder.h"
#include "platform/file_names.h"
#include "shell/shell_browser.h"

namespace app {

namespace {
// The library loader is process-wide: one thumbnail at a time loads and decodes.
QMutex GDecodeLock;
// Where in the clip the picture is taken: a third in, at most this far (microseconds).
constexpr int64_t kMaxOffsetUs = 10'000'000;
}  // namespace

QImage MakeVideoThumbnail(const QString& path, int width, int height, const QString& libraryPath) {
  if (width <= 0 || height <= 0) return {};
  QMutexLocker lock(&GDecodeLock);
  media::TFFDecoder decoder;
  if (!decoder.LoadAVLib(libraryPath.toStdString())) return {};
  if (!decoder.LoadFile(platform::FileNameBytes(path)) || decoder.VideoStreamCount() == 0) return {};
  const int64_t duration = decoder.FileStreamInfo().Duration;
  if (duration > 0) decoder.Seek(std::min(duration / 3, kMaxOffsetUs));
  if (!decoder.Decode()) {
    // A clip that cannot seek: its first picture.
    if (duration <= 0 || !decoder.Seek(0) || !decoder.Decode()) return {};
  }
  media::TBitmap bitmap;
  decoder.SetBitmapBitsPixel(32);
  if (!decoder.CopyToBitmap(bitmap) || bitmap.Width <= 0 || bitmap.Height <= 0) return {};
  const QImage frame(bitmap.Bytes.data(), bitmap.Width, bitmap.Height, bitmap.Stride, QImage::Format_RGB32);
  return frame.scaled(width, height, Qt::KeepAspectRatio, Qt::SmoothTransformation);  // a deep copy
}

void InstallVideoThumbnails(const QString& libraryPath) {
  shell::TShellBrowser::SetThumbnailProvider([libraryPath](const QString& path, int width, int height) {
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (!type.name().startsWith(QLatin1String("video/"))) return QImage();
    return MakeVideoThumbnail(path, width, height, libraryPath);
  });
}

}  // namespace app
