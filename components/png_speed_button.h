#pragma once
// A flat-capable tool button without focus that shows a picture with alpha (and, optionally, a
// caption) placed by Layout, Margin and Spacing; a disabled button draws the picture in its
// PngOptions look. The picture moves 1 pixel right and down while the button is pressed.

#include <QImage>
#include <QRect>
#include <QSize>
#include <QToolButton>

#include "components/png_functions.h"

namespace components {

/// Where the picture sits relative to the caption.
enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

/// Picture position and caption rectangle of a speed button.
struct TSpeedButtonGeometry {
  QRect Picture;
  QRect Caption;
};

/// Places picture and caption inside client. margin -1 centres the content; spacing -1
/// (automatic) shares the room left: with margin -1 too, margin and spacing are equal thirds of
/// it; with a given margin, the spacing is half of what remains after margin, picture and caption.
/// The spacing is 0 when there is no picture or no caption. Right-to-left swaps left and right;
/// pressedOffset moves both rectangles right and down.
TSpeedButtonGeometry CalcButtonLayout(const QRect& client, const QSize& picture, const QSize& caption,
                                      TButtonLayout layout, int margin, int spacing, bool rightToLeft,
                                      int pressedOffset);

class TPngSpeedButton : public QToolButton {
  Q_OBJECT

 public:
  /// A flat button (raised only under the mouse) with an empty picture.
  explicit TPngSpeedButton(QWidget* parent = nullptr);

  /// The picture (assigning copies; its colour space is dropped so it draws as stored). A null
  /// image leaves an empty picture. A button without a picture of its own takes its default
  /// action's icon (at iconSize()) when the action has one.
  const QImage& PngImage() const { return FPngImage; }
  void SetPngImage(const QImage& png);
  /// Look of the picture while disabled ([pngBlendOnDisabled] at creation).
  TPngOptions PngOptions() const { return FPngOptions; }
  void SetPngOptions(TPngOptions options);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout layout);
  /// Distance of the content from the edge; -1 centres it.
  int Margin() const { return FMargin; }
  void SetMargin(int margin);
  /// Distance between picture and caption; -1 automatic (see CalcButtonLayout).
  int Spacing() const { return FSpacing; }
  void SetSpacing(int spacing);
  /// Shown pressed (and the picture moved) while set.
  bool Down() const { return FDown; }
  void SetDown(bool down);
  /// Flat: the frame shows only under the mouse or while pressed.
  bool Flat() const { return autoRaise(); }
  void SetFlat(bool flat) { setAutoRaise(flat); }

  /// Picture and caption placement for the current state.
  TSpeedButtonGeometry Geometry() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QSize CaptionSize() const;
  /// The picture drawn: the button's own, else its default action's icon.
  QImage ShownPicture() const;

  QImage FPngImage;
  TPngOptions FPngOptions = TPngOption::pngBlendOnDisabled;
  TButtonLayout FLayout = TButtonLayout::blGlyphLeft;
  int FMargin = -1;
  int FSpacing = 4;
  bool FDown = false;
};

}  // namespace components
