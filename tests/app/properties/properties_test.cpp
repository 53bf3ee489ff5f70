// The Properties window (sizes, texts of a generated clip's row) and the About box.

#include <gtest/gtest.h>

#include <string>

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "app/about/about.h"
#include "app/adding/adding_wiring.h"
#include "app/main_window/main_window_fixture.h"
#include "app/properties/properties.h"
#include "fixtures/media_fixtures.h"

namespace {

using testing_support::MainWindowFixture;
using testing_support::OnNextModal;

struct TSizeCase {
  int64_t Bytes;
  const char* Text;
};

void PrintTo(const TSizeCase& c, std::ostream* os) { *os << c.Bytes; }

class FormatFileSizeTest : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(FormatFileSizeTest, PicksTheUnit) {
  EXPECT_EQ(app::FormatFileSize(GetParam().Bytes), QString::fromLatin1(GetParam().Text)) << GetParam().Bytes;
}

INSTANTIATE_TEST_SUITE_P(Sizes, FormatFileSizeTest,
                         ::testing::Values(TSizeCase{0, "0 bytes"}, TSizeCase{1023, "1,023 bytes"},
                                           TSizeCase{1024, "1 KB"}, TSizeCase{1535, "1 KB"},
                                           TSizeCase{1536, "2 KB"}, TSizeCase{1048575, "1,024 KB"},
                                           TSizeCase{1048576, "1 MB"}, TSizeCase{1073741823, "1,024 MB"},
                                           TSizeCase{1073741824, "1.00 GB"}, TSizeCase{5905580032, "5.50 GB"},
                                           TSizeCase{2199023255552, "2048.00 GB"}),
                         [](const ::testing::TestParamInfo<TSizeCase>& info) {
                           return "Bytes" + std::to_string(info.param.Bytes);
                         });

TEST_F(MainWindowFixture, PropertiesShowTheRowOfAGeneratedClip) {
  app::WireAddingAndProperties(*Window);
  const QString clip = TempPath(QStringLiteral("clip.avi"));
  ASSERT_TRUE(QFile::copy(QString::fromStdString(fixtures::MediaFixtures().ClipAvi), clip));
  Window->DropQueue() = {clip};
  Window->AddQueuedFiles();
  ASSERT_EQ(Window->RowCount(), 1);
  Window->lw_Files()->topLevelItem(0)->setSelected(true);

  QMap<QString, QString> texts;
  bool hasIcon = false;
  QStringList labels;
  OnNextModal([&](QWidget* modal) {
    auto* window = qobject_cast<app::Tfrm_Properties*>(modal);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Properties"));
    for (QLineEdit* edit : window->findChildren<QLineEdit*>()) {
      texts[edit->objectName()] = edit->text();
      EXPECT_TRUE(edit->isReadOnly()) << edit->objectName().toStdString();
    }
    for (QLabel* label : window->findChildren<QLabel*>())
      if (!label->text().isEmpty()) labels << label->text();
    hasIcon = !window->Image1()->pixmap().isNull();
    QTest::mouseClick(window->btn_OK(), Qt::LeftButton);
  });
  Window->btn_PropertiesClick();

  EXPECT_EQ(texts.value("txt_Name"), QStringLiteral("clip.avi"));
  EXPECT_EQ(texts.value("txt_Source"), clip);
  EXPECT_EQ(texts.value("txt_Size"), app::FormatFileSize(QFileInfo(clip).size()));
  EXPECT_TRUE(texts.value("txt_Size").endsWith(QStringLiteral(" KB"))) << texts.value("txt_Size").toStdString();
  EXPECT_EQ(texts.value("txt_Type"), QMimeDatabase().mimeTypeForFile(clip, QMimeDatabase::MatchExtension).comment());
  EXPECT_FALSE(texts.value("txt_Type").isEmpty());
  EXPECT_EQ(texts.value("txt_Duration"), QStringLiteral("00:00:02"));
  EXPECT_EQ(texts.value("txt_FrameRate"), QStringLiteral("25.000000 fps"));
  EXPECT_EQ(texts.value("txt_Bitrate"), Window->SubItem(0, 6));
  EXPECT_EQ(texts.value("txt_FrameSize"), QStringLiteral("64x48"));
  EXPECT_TRUE(hasIcon);
  EXPECT_EQ(labels, (QStringList{"Type:", "Source:", "Size:", "Duration:", "Frame rate:", "BitRate:", "Frame size:"}));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "OK closes";
}

TEST_F(MainWindowFixture, PropertiesOfAFileThatIsGoneUseItsName) {
  app::Tfrm_Properties window(Window.get());
  window.ShowRow(QStringLiteral("gone.mkv"), {"00:01:00", "", "/no/such/folder/gone.mkv", "60000000", "2048", "-",
                                              "-", "-"});
  window.show();
  EXPECT_EQ(window.txt_Size()->text(), QStringLiteral("2 KB"));
  EXPECT_EQ(window.txt_Type()->text(),
            QMimeDatabase().mimeTypeForFile(QStringLiteral("gone.mkv"), QMimeDatabase::MatchExtension).comment());
  EXPECT_EQ(window.txt_FrameRate()->text(), QStringLiteral("-"));
  EXPECT_FALSE(window.Image1()->pixmap().isNull());
}

TEST_F(MainWindowFixture, AboutShowsNameVersionAndOpensTheHomePage) {
  QString version, name, rights, link;
  bool bold = false;
  qreal nameGrowth = 0, versionGrowth = 0;
  OnNextModal([&](QWidget* modal) {
    auto* about = qobject_cast<app::Tfrm_About*>(modal);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About"));
    name = about->lbl_BA()->text();
    version = about->lbl_Version()->text();
    rights = about->lbl_Rights()->text();
    link = about->Label4()->text();
    bold = about->lbl_BA()->font().bold();
    nameGrowth = about->lbl_BA()->font().pointSizeF() - about->font().pointSizeF();
    versionGrowth = about->lbl_Version()->font().pointSizeF() - about->font().pointSizeF();
    EXPECT_EQ(about->Label4()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(about->Image1()->pixmap().isNull());
    QTest::mouseClick(about->Label4(), Qt::LeftButton);
    QTest::mouseClick(about->btn_OK(), Qt::LeftButton);
  });
  Window->About1Click();

  EXPECT_EQ(name, QStringLiteral("Tarsel Video Converter"));
  EXPECT_EQ(version, QStringLiteral("Version 1.3"));
  EXPECT_TRUE(bold);
  EXPECT_DOUBLE_EQ(nameGrowth, 2);
  EXPECT_DOUBLE_EQ(versionGrowth, 1);
  EXPECT_FALSE(rights.isEmpty());
  EXPECT_EQ(link, QString::fromLatin1(app::kHomePageText));
  EXPECT_EQ(Opener.Opened, QStringList{QString::fromLatin1(app::kHomePage)});
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "OK closes";
}

// Without a browser the link cannot open the home page: a warning gives its address instead.
TEST_F(MainWindowFixture, AboutLinkThatNothingCanOpenGivesTheAddress) {
  Opener.Answer = false;
  OnNextModal([&](QWidget* modal) {
    auto* about = qobject_cast<app::Tfrm_About*>(modal);
    ASSERT_NE(about, nullptr);
    QTest::mouseClick(about->Label4(), Qt::LeftButton);
    about->accept();
  });
  Window->About1Click();
  const QString page = QString::fromLatin1(app::kHomePage);
  EXPECT_EQ(Opener.Opened, QStringList{page});
  ASSERT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_EQ(Prompter.Messages[0].Icon, platform::TPromptIcon::Warning);
  EXPECT_EQ(Prompter.Messages[0].Caption, QStringLiteral("Warning"));
  EXPECT_TRUE(
      platform::NormalizeLineBreaks(Prompter.Messages[0].Text).split(QLatin1Char('\n')).contains(page))
      << Prompter.Messages[0].Text.toStdString();
}

}  // namespace
