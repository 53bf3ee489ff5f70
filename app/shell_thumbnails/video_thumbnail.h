#pragma once
// Thumbnails of video files made with the converter's own decoder: a picture from a third into
// the clip (at most ten seconds in), fitted into the asked size. The shell components ask for
// them on their worker threads for files the desktop has no thumbnail of.

#include <QImage>
#include <QString>

namespace app {

/// A null image when the file has no video the decoder can read.
QImage MakeVideoThumbnail(const QString& path, int width, int height, const QString& libraryPath);
/// Makes MakeVideoThumbnail (with the FFmpeg libraries from libraryPath) the shell browser's
/// thumbnail provider.
void InstallVideoThumbnails(const QString& libraryPath);

}  // namespace app
