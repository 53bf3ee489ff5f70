// The glass button over a parent of one colour: its frame, corners, body, gloss and light band
// pixel by pixel, its arrow part and menu, and where the second caption line goes.

#include "components/glass_button.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "components/png_image_list.h"
#include "support/widget_app.h"

namespace {

using components::TGlassButton;

// The parent's colour and what the button makes of it with its new-button colours: frame
// 0x808080 mixed half-way into the background, a white body tinted by 72 / 256.
const QRgb kBack = qRgb(200, 160, 120);
const QRgb kFrame = qRgb(164, 144, 124);
const QRgb kBody = qRgb(215, 186, 157);

class GlassButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::WidgetApp();
    Parent.setAutoFillBackground(true);
    QPalette palette = Parent.palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(kBack));
    Parent.setPalette(palette);
    Parent.resize(200, 120);
  }

  TGlassButton* MakeButton(int w = 68, int h = 64) {
    auto* button = new TGlassButton(&Parent);
    button->setGeometry(10, 10, w, h);
    return button;
  }

  // A picture list of one size x size picture in one colour.
  static std::unique_ptr<components::TPngImageList> OnePicture(int size, QRgb argb) {
    auto images = std::make_unique<components::TPngImageList>();
    images->SetWidth(size);
    images->SetHeight(size);
    images->AppendPngItem(testing_support::SolidPicture(size, size, argb));
    return images;
  }

  static QImage Shot(TGlassButton* button) { return button->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  static std::string Hex(QRgb c) {
    char text[16];
    snprintf(text, sizeof text, "%02x%02x%02x", qRed(c), qGreen(c), qBlue(c));
    return text;
  }

  void ShowActive() {
    Parent.show();
    Parent.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Parent));
  }

  testing_support::TWidgetAppFirst AppFirst;
  QWidget Parent;
};

TEST_F(GlassButtonTest, NewButtonHasItsTintFromTheStart) {
  TGlassButton* button = MakeButton();
  EXPECT_EQ(button->GlossyLevel(), 37);
  EXPECT_EQ(button->TintAmount(), 72) << "the level's setter runs at construction";
  button->SetGlossyLevel(150);
  EXPECT_EQ(button->GlossyLevel(), 100);
  EXPECT_EQ(button->TintAmount(), 196);
  button->SetGlossyLevel(20);
  EXPECT_EQ(button->TintAmount(), 39);
  button->SetLightHeight(-5);
  EXPECT_EQ(button->LightHeight(), 0);
  TGlassButton fresh;
  EXPECT_EQ(fresh.size(), QSize(75, 25));
  EXPECT_EQ(fresh.LightHeight(), 25);
  EXPECT_TRUE(fresh.Flat());
  EXPECT_EQ(fresh.ArrowWidth(), 18);
}

TEST_F(GlassButtonTest, FlatButtonAtRestShowsOnlyItsParent) {
  TGlassButton* button = MakeButton();
  const QImage shot = Shot(button);
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      ASSERT_EQ(shot.pixel(x, y), kBack) << x << "," << y;
}

TEST_F(GlassButtonTest, FramedButtonHasRoundedCorners) {
  TGlassButton* button = MakeButton();
  button->SetFlat(false);
  const QImage shot = Shot(button);
  const int r = 67, b = 63;
  struct TPixel {
    int X, Y;
    QRgb Expected;
  };
  // Outer corners keep the background; the pixels beside them are the frame mixed 33 % into the
  // background, the inner corners the frame mixed 25 % into the body.
  const QRgb besideCorner = qRgb(175, 149, 122);
  const QRgb innerCorner = qRgb(176, 154, 132);
  const TPixel pixels[] = {
      {0, 0, kBack},           {r, 0, kBack},           {0, b, kBack},           {r, b, kBack},
      {1, 0, besideCorner},    {0, 1, besideCorner},    {r - 1, 0, besideCorner}, {r, 1, besideCorner},
      {0, b - 1, besideCorner}, {1, b, besideCorner},   {r, b - 1, besideCorner}, {r - 1, b, besideCorner},
      {1, 1, innerCorner},     {r - 1, 1, innerCorner}, {1, b - 1, innerCorner}, {r - 1, b - 1, innerCorner},
      {2, 0, kFrame},          {r - 2, 0, kFrame},      {0, 2, kFrame},          {0, b - 2, kFrame},
      {34, b, kFrame},         {r, 30, kFrame},         {2, 1, kBody},           {34, 30, kBody},
      {r - 1, b - 2, kBody},
  };
  for (const TPixel& p : pixels)
    EXPECT_EQ(Hex(shot.pixel(p.X, p.Y)), Hex(p.Expected)) << "at " << p.X << "," << p.Y;
}

struct TBodyCase {
  const char* Name;
  bool Glossy;
  bool AltRender;
  std::vector<std::pair<int, QRgb>> Rows;  // body row and its colour at three columns
};
class GlassBodyTest : public GlassButtonTest, public ::testing::WithParamInterface<TBodyCase> {};

// The body is rows 1 to 62. Glossy: the first 31 rows are blended toward white with a weight from
// 176 falling by (176 - 72) / 31 = 3 a row, the rest are tinted. The second painter tints every
// row and lightens the upper half; without gloss it paints nothing.
TEST_P(GlassBodyTest, PaintsTheRows) {
  const TBodyCase& c = GetParam();
  TGlassButton* button = MakeButton();
  button->SetFlat(false);
  button->SetGlossy(c.Glossy);
  button->SetAltRender(c.AltRender);
  const QImage shot = Shot(button);
  for (const auto& [y, expected] : c.Rows)
    for (int x : {2, 34, 65}) EXPECT_EQ(Hex(shot.pixel(x, y)), Hex(expected)) << c.Name << " row " << y << " x " << x;
}
INSTANTIATE_TEST_SUITE_P(
    Painters, GlassBodyTest,
    ::testing::Values(
        TBodyCase{"tint", false, false, {{1, kBody}, {31, kBody}, {62, kBody}}},
        TBodyCase{"gloss",
                  true,
                  false,
                  {{1, qRgb(237, 225, 212)}, {2, qRgb(237, 224, 211)}, {31, qRgb(218, 191, 165)}, {32, kBody},
                   {62, kBody}}},
        TBodyCase{"second painter", true, true,
                  {{1, qRgb(242, 233, 224)}, {32, kBody}, {62, kBody}}},
        TBodyCase{"second painter without gloss", false, true, {{1, kBack}, {40, kBack}}}));

// A framed button held down: the pressed body (black tinted by 72 / 256 over the resting body)
// inside a sunken outline
// (frame darkened to 75 % at the top and left, lightened at the bottom and right), or with
// FlatDown a lighter outline and four dots.
TEST_F(GlassButtonTest, PressedLooks) {
  TGlassButton* button = MakeButton();
  button->SetFlat(false);
  button->SetDown(true);
  const QRgb pressedBody = qRgb(154, 133, 112);
  const QRgb dark = qRgb(122, 107, 92), light = qRgb(187, 172, 157);
  struct TPixel {
    int X, Y;
    QRgb Expected;
  };
  QImage shot = Shot(button);
  for (const TPixel& p : {TPixel{34, 30, pressedBody}, TPixel{1, 30, dark}, TPixel{30, 1, dark}, TPixel{66, 30, light},
                          TPixel{30, 62, light}, TPixel{0, 30, kFrame}})
    EXPECT_EQ(Hex(shot.pixel(p.X, p.Y)), Hex(p.Expected)) << "sunken at " << p.X << "," << p.Y;

  button->SetFlatDown(true);
  shot = Shot(button);
  const QRgb outline = qRgb(214, 205, 196), dot = qRgb(223, 216, 209);
  for (const TPixel& p : {TPixel{34, 30, pressedBody}, TPixel{1, 30, outline}, TPixel{30, 1, outline},
                          TPixel{66, 30, outline}, TPixel{30, 62, outline}, TPixel{2, 2, dot}, TPixel{65, 61, dot}})
    EXPECT_EQ(Hex(shot.pixel(p.X, p.Y)), Hex(p.Expected)) << "flat at " << p.X << "," << p.Y;
}

TEST_F(GlassButtonTest, FocusedButtonLaysALightBandAtTheBottom) {
  TGlassButton* button = MakeButton();
  button->SetLightHeight(20);
  ShowActive();
  button->setFocus();
  ASSERT_TRUE(button->hasFocus());
  const QImage shot = Shot(button);
  // Band rows 44 to 62 in yellow; the middle columns (k = 33: strength 248) reach f = 223 on the
  // last band row. Row 63 is the frame, rows above 44 the plain body.
  struct TPixel {
    int X, Y;
    QRgb Expected;
  };
  const TPixel pixels[] = {
      {33, 62, qRgb(250, 246, 19)}, {34, 62, qRgb(250, 246, 19)}, {33, 44, qRgb(215, 186, 156)},
      {33, 43, kBody},              {33, 63, kFrame},
  };
  for (const TPixel& p : pixels)
    EXPECT_EQ(Hex(shot.pixel(p.X, p.Y)), Hex(p.Expected)) << "at " << p.X << "," << p.Y;
  // Weaker toward the sides: less yellow (more blue) at column 5 than in the middle.
  EXPECT_GT(qBlue(shot.pixel(5, 62)), qBlue(shot.pixel(33, 62)));
}

TEST_F(GlassButtonTest, ArrowPartOpensTheMenuWithoutAClick) {
  ShowActive();
  TGlassButton* button = MakeButton(100, 30);
  button->show();
  button->SetDuoStyle(true);
  QMenu menu;
  menu.addAction(QStringLiteral("First"));
  button->SetDropDownMenu(&menu);
  QSignalSpy clicked(button, &QAbstractButton::clicked);
  QSignalSpy before(button, &TGlassButton::BeforePopup);
  QSignalSpy popup(button, &TGlassButton::Popup);

  // The arrow part is x > width - ArrowWidth - 2 = 80.
  struct THit {
    int X;
    int Part;
  };
  for (const THit hit : {THit{80, TGlassButton::kHotMain}, THit{81, TGlassButton::kHotArrow},
                         THit{5, TGlassButton::kHotMain}, THit{99, TGlassButton::kHotArrow}}) {
    QTest::mouseMove(button, QPoint(hit.X, 15));
    EXPECT_EQ(button->HotPart(), hit.Part) << "x " << hit.X;
  }

  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(90, 15));
  QCoreApplication::processEvents();
  EXPECT_TRUE(menu.isVisible());
  EXPECT_EQ(clicked.count(), 0);
  EXPECT_EQ(before.count(), 1);
  EXPECT_EQ(popup.count(), 1);
  menu.hide();

  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(40, 15));
  QCoreApplication::processEvents();
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_FALSE(menu.isVisible());
  EXPECT_EQ(popup.count(), 1);
}

TEST_F(GlassButtonTest, PlainButtonWithMenuClicksAndOpensIt) {
  ShowActive();
  TGlassButton* button = MakeButton(100, 30);
  button->show();
  QMenu menu;
  menu.addAction(QStringLiteral("First"));
  QSignalSpy clicked(button, &QAbstractButton::clicked);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(90, 15));
  QCoreApplication::processEvents();
  EXPECT_EQ(clicked.count(), 1);
  button->SetDropDownMenu(&menu);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(40, 15));
  QCoreApplication::processEvents();
  EXPECT_EQ(clicked.count(), 2);
  EXPECT_TRUE(menu.isVisible());
  menu.hide();
}

TEST_F(GlassButtonTest, KeysClickOrOpenTheMenu) {
  ShowActive();
  TGlassButton* button = MakeButton(100, 30);
  button->show();
  button->setFocus();
  QMenu menu;
  menu.addAction(QStringLiteral("First"));
  QSignalSpy clicked(button, &QAbstractButton::clicked);
  QTest::keyClick(button, Qt::Key_Return);
  EXPECT_EQ(clicked.count(), 1) << "Enter clicks a button without a menu";
  button->SetDropDownMenu(&menu);
  QTest::keyClick(button, Qt::Key_Down);
  QCoreApplication::processEvents();
  EXPECT_TRUE(menu.isVisible()) << "Down opens the menu";
  menu.hide();
  QTest::keyClick(button, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(clicked.count(), 1) << "with a menu, Enter opens it instead";
  EXPECT_TRUE(menu.isVisible());
  menu.hide();
}

TEST_F(GlassButtonTest, ForgetsAPictureListThatIsGone) {
  auto images = OnePicture(16, qRgba(0, 0, 255, 255));
  TGlassButton* button = MakeButton();
  button->SetImages(images.get());
  EXPECT_EQ(Shot(button).pixel(button->PicturePos() + QPoint(8, 8)), qRgb(0, 0, 255));
  images.reset();
  EXPECT_EQ(button->Images(), nullptr);
  EXPECT_EQ(Shot(button).pixel(button->PicturePos() + QPoint(8, 8)), kBack);
}

// A button on a screen of another resolution.
class TDpiGlassButton : public TGlassButton {
 public:
  TDpiGlassButton(QWidget* parent, int dpi) : TGlassButton(parent), FDpi(dpi) {}

 protected:
  int metric(PaintDeviceMetric m) const override {
    if (m == PdmDpiX || m == PdmDpiY) return FDpi;
    return TGlassButton::metric(m);
  }

 private:
  int FDpi;
};

// Rows of the shot that hold caption pixels (dark on the light background), as runs.
std::vector<std::pair<int, int>> InkRuns(const QImage& shot) {
  std::vector<std::pair<int, int>> runs;
  for (int y = 0; y < shot.height(); ++y) {
    bool ink = false;
    for (int x = 0; x < shot.width() && !ink; ++x) ink = qGray(shot.pixel(x, y)) < 128;
    if (!ink) continue;
    if (!runs.empty() && runs.back().second == y - 1)
      runs.back().second = y;
    else
      runs.emplace_back(y, y);
  }
  return runs;
}

class AltTextTest : public GlassButtonTest, public ::testing::WithParamInterface<int> {};

// The caption's box rises by 24 pixels (32 from 120 dpi on), so the caption moves up by half
// of it, and the second line takes the caption's old place, centred, in a smaller font.
TEST_P(AltTextTest, SecondLineGoesWhereTheCaptionWas) {
  const int dpi = GetParam();
  const int raise = dpi >= 120 ? 32 : 24;
  QPalette palette = Parent.palette();
  palette.setColor(QPalette::Window, QColor(240, 240, 240));
  palette.setColor(QPalette::ButtonText, Qt::black);
  Parent.setPalette(palette);
  auto* button = new TDpiGlassButton(&Parent, dpi);
  button->setGeometry(0, 0, 120, 80);
  button->setText(QStringLiteral("HHH"));
  const auto alone = InkRuns(Shot(button));
  ASSERT_EQ(alone.size(), 1u);
  button->SetAltText(QStringLiteral("HHH"));
  const auto both = InkRuns(Shot(button));
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0].first, alone[0].first - raise / 2);
  EXPECT_EQ(both[0].second, alone[0].second - raise / 2);
  const int captionHeight = alone[0].second - alone[0].first;
  const int secondHeight = both[1].second - both[1].first;
  EXPECT_LT(secondHeight, captionHeight) << "3 points smaller";
  // Centred where the caption was (within a pixel of rounding).
  EXPECT_NEAR(both[1].first + both[1].second, alone[0].first + alone[0].second, 2);
}
INSTANTIATE_TEST_SUITE_P(Dpi, AltTextTest, ::testing::Values(96, 120));

TEST_F(GlassButtonTest, PictureSitsOnTopAndMovesWhenPressed) {
  const auto images = OnePicture(24, qRgba(0, 0, 255, 255));
  TGlassButton* button = MakeButton();
  button->SetImages(images.get());
  button->SetGlyphPos(components::TGlyphPos::gpTop);
  button->SetImageOffset(10);
  QImage shot = Shot(button);
  EXPECT_EQ(button->PicturePos(), QPoint(22, 10));
  EXPECT_EQ(button->CaptionRect().top(), 10 + 24 + 4);
  EXPECT_EQ(shot.pixel(22, 10), qRgb(0, 0, 255));
  EXPECT_EQ(shot.pixel(45, 33), qRgb(0, 0, 255));
  EXPECT_EQ(shot.pixel(21, 10), kBack);
  EXPECT_EQ(shot.pixel(22, 9), kBack);

  button->SetDown(true);
  shot = Shot(button);
  EXPECT_EQ(shot.pixel(23, 11), qRgb(0, 0, 255));
  EXPECT_NE(shot.pixel(22, 10), qRgb(0, 0, 255)) << "moved right and down by one";
  EXPECT_EQ(shot.pixel(46, 34), qRgb(0, 0, 255));

  // Disabled: the picture at half opacity over the background.
  button->SetDown(false);
  button->setEnabled(false);
  shot = Shot(button);
  const QRgb half = shot.pixel(30, 20);
  EXPECT_NEAR(qBlue(half), (255 + qBlue(kBack)) / 2, 2);
  EXPECT_NEAR(qRed(half), qRed(kBack) / 2, 2);
}

// A left-aligned caption under a picture stays in its own box below the picture (centred there,
// not in the whole button, where it would run over the picture).
TEST_F(GlassButtonTest, LeftCaptionStaysBelowThePicture) {
  QPalette palette = Parent.palette();
  palette.setColor(QPalette::Window, QColor(240, 240, 240));
  palette.setColor(QPalette::ButtonText, Qt::black);
  Parent.setPalette(palette);
  const auto images = OnePicture(32, qRgba(255, 255, 255, 255));
  TGlassButton* button = MakeButton(68, 80);
  button->SetImages(images.get());
  button->SetGlyphPos(components::TGlyphPos::gpTop);
  button->SetTextAlign(components::TTextAlign::taLeft);
  button->setText(QStringLiteral("HHH"));
  const auto ink = InkRuns(Shot(button));
  ASSERT_EQ(ink.size(), 1u);
  const QRect box = button->CaptionRect();
  EXPECT_GE(ink[0].first, box.top());
  EXPECT_NEAR(ink[0].first + ink[0].second, box.top() + box.bottom(), 4) << "centred in its box";
}

TEST_F(GlassButtonTest, GlowDarkensAroundTheContent) {
  const auto images = OnePicture(16, qRgba(255, 255, 255, 255));
  TGlassButton* button = MakeButton();
  button->SetImages(images.get());
  button->SetGlyphPos(components::TGlyphPos::gpTop);
  const QImage plain = Shot(button);
  button->SetShadowStyle(components::TShadowStyle::ssGlow);
  const QImage glow = Shot(button);
  const QPoint at = button->PicturePos();
  // One pixel left of the picture the blurred mask is dark: darker than the plain background.
  EXPECT_EQ(plain.pixel(at.x() - 1, at.y() + 8), kBack);
  EXPECT_LT(qGray(glow.pixel(at.x() - 1, at.y() + 8)), qGray(kBack));
  // Far away the mask is white: the background stays (but for the mix's rounding, 255 / 256).
  EXPECT_EQ(glow.pixel(2, 50), qRgb(199, 159, 119));
}

TEST_F(GlassButtonTest, AutoSizeFitsPictureAndCaption) {
  const auto images = OnePicture(16, qRgba(0, 0, 0, 255));
  TGlassButton* button = MakeButton();
  button->setText(QStringLiteral("Caption"));
  button->SetImages(images.get());
  button->SetAutoSize(true);
  const QSize caption = button->fontMetrics().size(0, button->text());
  EXPECT_EQ(button->size(), QSize(caption.width() + 8 + 4 + 16 + 4, std::max(caption.height() + 8, 16 + 6)));
  button->SetArrow(true);
  button->Relayout();
  EXPECT_EQ(button->width(), caption.width() + 8 + 4 + 16 + 4 + 16);
}

}  // namespace
