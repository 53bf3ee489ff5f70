#include "app/pictures/pictures.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "components/png_functions.h"
#include "components/png_image_list.h"

namespace app {

namespace {

QImage Picture(const QString& name, int size, qreal dpr) {
  return components::PngFromSvg(QStringLiteral(":/pictures/%1.svg").arg(name), QSize(size, size), dpr);
}

// The ten container pictures share one drawing: a file whose band shows the type in its colour.
struct TContainerPicture {
  const char* Name;
  const char* Label;
  const char* Color;
};
constexpr TContainerPicture kContainers[] = {
    {"avi_32", "AVI", "#e0663f"}, {"m4v_32", "M4V", "#8a63d2"}, {"mkv_32", "MKV", "#2ea08c"},
    {"mov_32", "MOV", "#4d6fd6"}, {"mp4_32", "MP4", "#2f93dc"}, {"mpg_32", "MPG", "#cf4a73"},
    {"ts_32", "TS", "#6f962b"},   {"vob_32", "VOB", "#9a6334"}, {"web_32", "WEB", "#2e9d57"},
    {"wmv_32", "WMV", "#3b5bb0"},
};

QImage ContainerPicture(const QByteArray& drawing, const TContainerPicture& container, qreal dpr) {
  const QColor color(QLatin1String(container.Color));
  QByteArray svg = drawing;
  svg.replace("@LABEL@", container.Label);
  svg.replace("@COLOR@", color.name().toLatin1());
  svg.replace("@DARK@", color.darker(135).name().toLatin1());
  return components::PngFromSvgData(svg, QSize(kPresetPictureSize, kPresetPictureSize), dpr);
}

}  // namespace

qreal PictureRatio() {
  qreal ratio = 1.0;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    for (const QScreen* screen : QGuiApplication::screens()) ratio = std::max(ratio, screen->devicePixelRatio());
  return ratio;
}

void FillToolbarImages(components::TPngImageList& list, int size, qreal dpr) {
  static const char* const kNames[kToolbarPictureCount] = {"add",     "options", "convert",    "extract",
                                                           "burn",    "preview", "properties", "remove"};
  list.BeginListUpdate();
  list.SetWidth(size);
  list.SetHeight(size);
  list.Clear();
  for (const char* name : kNames) {
    const int index = list.AppendPngItem(Picture(QLatin1String(name), size, dpr));
    if (auto* item = list.PngImages().Items(index)) item->SetName(QLatin1String(name));
  }
  list.EndListUpdate(true);
}

void FillPresetImages(components::TPngImageList& list, qreal dpr) {
  list.BeginListUpdate();
  list.SetWidth(kPresetPictureSize);
  list.SetHeight(kPresetPictureSize);
  list.Clear();
  QFile file(QStringLiteral(":/pictures/container.svg"));
  const QByteArray drawing = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  const auto add = [&list](const QImage& picture, const char* name) {
    const int index = list.AppendPngItem(picture);
    if (auto* item = list.PngImages().Items(index)) item->SetName(QLatin1String(name));
  };
  for (const TContainerPicture& container : kContainers) add(ContainerPicture(drawing, container, dpr), container.Name);
  add(Picture(QStringLiteral("dvd"), kPresetPictureSize, dpr), "dvd_32");
  list.EndListUpdate(true);
}

QImage StepPicture(TStepPicture picture, qreal dpr) {
  static const char* const kNames[] = {"step_first", "step_previous", "step_next", "step_last"};
  return Picture(QLatin1String(kNames[static_cast<int>(picture)]), kStepPictureSize, dpr);
}

QImage BrowsePicture(TBrowsePicture picture, qreal dpr) {
  static const char* const kNames[] = {"parent_folder", "view_icons", "view_details", "view_list"};
  return Picture(QLatin1String(kNames[static_cast<int>(picture)]), kBrowsePictureSize, dpr);
}

}  // namespace app
