#pragma once
// A push button that paints itself: a flat or framed rounded body, tinted and optionally glossy,
// an optional light band, a picture from a TPngImageList, a caption with an optional second line,
// an optional drop-down arrow or separate arrow part that opens a pop-up menu, and an optional
// blurred glow or drop shadow behind the content. Every paint is made on an off-screen bitmap
// over a copy of the parent's background and copied to the screen in one step.
//
// Geometry (frame, corners, light band, gloss rows) works on the button's logical pixels; on a
// screen with a device pixel ratio above 1 each logical pixel is a block of device pixels, while
// caption and picture are drawn at the full device resolution.

#include <QAbstractButton>
#include <algorithm>
#include <QColor>
#include <QImage>
#include <QPointer>
#include <QMenu>
#include <QRect>

#include "components/png_image_list.h"

namespace components {

enum class TGlyphPos { gpTop, gpBottom, gpLeft, gpRight };
enum class TShadowStyle { ssNone, ssGlow, ssDrop };
enum class TTextAlign { taLeft, taCenter, taRight };
/// Where the drop-down menu opens below the button: left edges, right edges or centres aligned.
enum class TPopupAlignment { paLeft, paRight, paCenter };

class TGlassButton : public QAbstractButton {
  Q_OBJECT

 public:
  /// A new button: 75 x 25, flat, white body, glossy level 37 (tint 72), picture on the left.
  explicit TGlassButton(QWidget* parent = nullptr);
  ~TGlassButton() override;

  /// Hot part: no part, the main part or the arrow part (the right ArrowWidth + 2 pixels).
  static constexpr int kHotNone = -1;
  static constexpr int kHotMain = 0;
  static constexpr int kHotArrow = 1;

  bool AltFocus() const { return FAltFocus; }
  void SetAltFocus(bool value);
  bool AltRender() const { return FAltRender; }
  void SetAltRender(bool value);
  /// Second caption line, drawn 3 points smaller below the caption.
  const QString& AltText() const { return FAltText; }
  void SetAltText(const QString& value);
  bool Arrow() const { return FArrow; }
  void SetArrow(bool value);
  int ArrowWidth() const { return FArrowWidth; }
  void SetArrowWidth(int value);
  /// Size the button to its content at each layout.
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value);
  const QColor& Color() const { return FColor; }
  void SetColor(const QColor& value);
  const QColor& ColorDown() const { return FColorDown; }
  void SetColorDown(const QColor& value);
  const QColor& ColorFocused() const { return FColorFocused; }
  void SetColorFocused(const QColor& value);
  const QColor& ColorFrame() const { return FColorFrame; }
  void SetColorFrame(const QColor& value);
  const QColor& ColorShadow() const { return FColorShadow; }
  void SetColorShadow(const QColor& value);
  /// Caption, second line and arrow colour of a disabled button.
  const QColor& ColorDisabled() const { return FColorDisabled; }
  void SetColorDisabled(const QColor& value);
  /// Shown pressed.
  bool Down() const { return FDown; }
  void SetDown(bool value);
  TPopupAlignment DropDownAlignment() const { return FDropDownAlignment; }
  void SetDropDownAlignment(TPopupAlignment value) { FDropDownAlignment = value; }
  /// Menu opened by the arrow, the arrow part or (without DuoStyle) a click; not owned.
  QMenu* DropDownMenu() const { return FDropDownMenu; }
  void SetDropDownMenu(QMenu* menu);
  /// Split button: the right ArrowWidth pixels are a separate arrow part that opens the menu.
  bool DuoStyle() const { return FDuoStyle; }
  void SetDuoStyle(bool value);
  /// No frame or body at rest unless focused.
  bool Flat() const { return FFlat; }
  void SetFlat(bool value);
  /// Pressed content stays in place; a flat pressed highlight is drawn.
  bool FlatDown() const { return FFlatDown; }
  void SetFlatDown(bool value);
  bool Glossy() const { return FGlossy; }
  void SetGlossy(bool value);
  /// Strength of the body tint, 0 to 100 (larger values are stored as 100).
  int GlossyLevel() const { return FGlossyLevel; }
  void SetGlossyLevel(int value);
  TGlyphPos GlyphPos() const { return FGlyphPos; }
  void SetGlyphPos(TGlyphPos value);
  /// Picture of Images; -1 for none.
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int value);
  int ImageOffset() const { return FImageOffset; }
  void SetImageOffset(int value);
  /// Source of the picture; not owned (the button forgets a list that is destroyed).
  TPngImageList* Images() const { return FImages; }
  void SetImages(TPngImageList* images);
  int ImageSpacing() const { return FImageSpacing; }
  void SetImageSpacing(int value);
  /// Height of the focus light band; negative values are stored as 0. Does not repaint.
  int LightHeight() const { return FLightHeight; }
  void SetLightHeight(int value) { FLightHeight = std::max(0, value); }
  /// Horizontal offset added to the menu's position.
  int PopupOffset() const { return FPopupOffset; }
  void SetPopupOffset(int value) { FPopupOffset = value; }
  TShadowStyle ShadowStyle() const { return FShadowStyle; }
  void SetShadowStyle(TShadowStyle value);
  /// Without it, a second, lighter outline is drawn inside the frame when active.
  bool SingleBorder() const { return FSingleBorder; }
  void SetSingleBorder(bool value);
  TTextAlign TextAlign() const { return FTextAlign; }
  void SetTextAlign(TTextAlign value);

  /// Body tint 0 to 196 made from GlossyLevel (level 37 gives 72).
  int TintAmount() const { return FTint; }
  /// kHotNone, kHotMain or kHotArrow: the part under the mouse.
  int HotPart() const { return FHotPart; }
  /// Results of the last layout (made at the start of each paint, and by Relayout).
  QPoint PicturePos() const { return FPicturePos; }
  QPoint ArrowPos() const { return FArrowPos; }
  QRect CaptionRect() const { return FCaptionRect; }
  /// Lays the button out now (with AutoSize, resizes it).
  void Relayout();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  /// Before the drop-down menu is placed, and once it is about to open.
  void BeforePopup();
  void Popup();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  class TCanvas;
  int PictureSize() const;
  bool HasPicture() const;
  QSize ContentSize() const;
  int HotPartAt(int x) const;
  bool Pressed() const;
  void Paint(TCanvas& canvas);
  void PaintResting(TCanvas& canvas, bool withBody);
  void PaintBody(TCanvas& canvas, const QRect& rect, const QColor& color);
  QRgb FrameColour(const TCanvas& canvas) const;
  void PaintFrame(TCanvas& canvas, QRgb frame);
  void PaintPressedHighlight(TCanvas& canvas, QRgb frame);
  void PaintContent(TCanvas& canvas);
  void PaintShadow(TCanvas& canvas, int offset, bool arrowPartOnly);
  void PaintCaption(QPainter& painter, int offset, const QColor& color);
  void ClickHandling(bool inside);
  void RequestDropDown();
  void DoDropDown();
  int RaiseForAltText() const;

  bool FAltFocus = false;
  bool FAltRender = false;
  QString FAltText;
  bool FArrow = false;
  int FArrowWidth = 18;
  bool FAutoSize = false;
  QColor FColor{255, 255, 255};
  QColor FColorDown{0, 0, 0};
  QColor FColorFocused{255, 255, 0};
  QColor FColorFrame{128, 128, 128};
  QColor FColorShadow{0, 0, 0};
  QColor FColorDisabled{192, 192, 192};
  bool FDown = false;
  TPopupAlignment FDropDownAlignment = TPopupAlignment::paLeft;
  QPointer<QMenu> FDropDownMenu;
  bool FDuoStyle = false;
  bool FFlat = true;
  bool FFlatDown = false;
  bool FGlossy = false;
  int FGlossyLevel = 0;
  TGlyphPos FGlyphPos = TGlyphPos::gpLeft;
  int FImageIndex = 0;
  int FImageOffset = 4;
  QPointer<TPngImageList> FImages;
  int FImageSpacing = 4;
  int FLightHeight = 25;
  int FPopupOffset = 0;
  TShadowStyle FShadowStyle = TShadowStyle::ssNone;
  bool FSingleBorder = false;
  TTextAlign FTextAlign = TTextAlign::taCenter;

  int FTint = 0;
  int FHotPart = kHotNone;
  bool FMouseDown = false;
  bool FMouseInside = false;
  bool FClicked = false;
  bool FMenuOpen = false;
  QPoint FArrowPos;
  QPoint FPicturePos;
  QRect FCaptionRect;
  QImage FBitmap;  // the off-screen bitmap, device pixels, 24-bit colour
};

}  // namespace components
