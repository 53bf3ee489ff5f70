#pragma once
// The program's own pictures: SVG drawings kept as Qt resources (app/pictures/*.svg), drawn at
// run time at the size a window needs and at the screen's device pixel ratio, so that they stay
// sharp on scaled screens.

#include <QImage>
#include <QString>

namespace components {
class TPngImageList;
}

namespace app {

/// Toolbar pictures, in the order of the toolbar image lists' indexes.
enum class TToolbarPicture { Add, Options, Convert, Extract, Burn, Preview, Properties, Remove };
constexpr int kToolbarPictureCount = 8;

/// Frame-stepping pictures of the preview window.
enum class TStepPicture { First, Previous, Next, Last };
/// Logical size of a frame-stepping picture.
constexpr int kStepPictureSize = 20;

/// Pictures of the add-files window's buttons: parent folder and the three views.
enum class TBrowsePicture { ParentFolder, Icons, Details, List };
/// Logical size of the add-files window's pictures.
constexpr int kBrowsePictureSize = 20;

/// Logical size of the preset pictures.
constexpr int kPresetPictureSize = 32;
constexpr int kPresetPictureCount = 11;

/// Device pixel ratio the pictures are drawn for: the highest of the screens, at least 1.
qreal PictureRatio();

/// Empties list, sets its size to size x size and adds the toolbar pictures in TToolbarPicture
/// order.
void FillToolbarImages(components::TPngImageList& list, int size, qreal dpr = PictureRatio());

/// Empties list, sets its size to 32 x 32 and adds the eleven preset pictures "avi_32", "m4v_32",
/// "mkv_32", "mov_32", "mp4_32", "mpg_32", "ts_32", "vob_32", "web_32", "wmv_32", "dvd_32" (items
/// named so, in this order).
void FillPresetImages(components::TPngImageList& list, qreal dpr = PictureRatio());

/// A frame-stepping picture, kStepPictureSize square.
QImage StepPicture(TStepPicture picture, qreal dpr = PictureRatio());

/// A picture of the add-files window, kBrowsePictureSize square.
QImage BrowsePicture(TBrowsePicture picture, qreal dpr = PictureRatio());

}  // namespace app
