#include "app/update/update_check.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "app/about/about.h"
#include "app/main_window/main_window_fixture.h"
#include "components/web_data.h"
#include "support/local_http_server.h"

namespace {

using testing_support::THttpAnswer;
using testing_support::TLocalHttpServer;

// Long enough for any loopback fetch on a loaded machine; only reached when something is wrong.
constexpr int kWaitMs = 30000;
const char* const kQuestionCaption = "Update";

// Also notes whether every question came on the user-interface thread.
class TThreadCheckingPrompter : public testing_support::TRecordingPrompter {
 public:
  bool Question(QWidget* parent, platform::TPromptIcon icon, const QString& caption,
                const QString& text) override {
    if (QThread::currentThread() != qApp->thread()) AskedOffTheMainThread = true;
    return TRecordingPrompter::Question(parent, icon, caption, text);
  }
  bool AskedOffTheMainThread = false;
};

class UpdateCheckFixture : public testing_support::MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    FOldUrl = qgetenv("CONVERTER_UPDATE_URL");
    FHadUrl = qEnvironmentVariableIsSet("CONVERTER_UPDATE_URL");
    Server = std::make_unique<TLocalHttpServer>();  // after the application object
    ASSERT_TRUE(Server->Listening());
    UseUrl(Server->Url(QStringLiteral("/upd_converter.ini")));
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    Server.reset();
    if (FHadUrl)
      qputenv("CONVERTER_UPDATE_URL", FOldUrl);
    else
      qunsetenv("CONVERTER_UPDATE_URL");
  }

  static void UseUrl(const QString& url) { qputenv("CONVERTER_UPDATE_URL", url.toUtf8()); }

  // Wires the check to the window and shows it, as main() does.
  app::TUpdateCheck* ShowWindow() {
    app::WireUpdateCheck(*Window);
    auto* check = Window->findChild<app::TUpdateCheck*>(QStringLiteral("UpdateCheck"));
    EXPECT_NE(check, nullptr);
    Window->show();
    return check;
  }

  // Shows the window and waits until the check is over.
  void RunCheck() {
    app::TUpdateCheck* check = ShowWindow();
    ASSERT_NE(check, nullptr);
    QSignalSpy ended(check, &app::TUpdateCheck::Ended);
    ASSERT_TRUE(QTest::qWaitFor([&ended] { return ended.count() > 0; }, kWaitMs));
  }

  TThreadCheckingPrompter Asker;  // replaces the fixture's prompter while the test runs
  std::unique_ptr<TLocalHttpServer> Server;
  QByteArray FOldUrl;
  bool FHadUrl = false;
};

struct TVersionCase {
  const char* Name;
  THttpAnswer Answer;
  const char* AskedVersion;  // nullptr: nothing is shown
};

class UpdateCheckAnswerTest : public UpdateCheckFixture,
                              public ::testing::WithParamInterface<TVersionCase> {};

TEST_P(UpdateCheckAnswerTest, AsksOnlyForANewerVersion) {
  const TVersionCase& c = GetParam();
  Server->Route(QStringLiteral("/upd_converter.ini"), c.Answer);
  Server->Route(QStringLiteral("/v14"), THttpAnswer::Text("1.4"));
  RunCheck();
  EXPECT_EQ(Server->Hits(QStringLiteral("/upd_converter.ini")), 1);
  EXPECT_TRUE(Asker.Messages.empty());
  if (!c.AskedVersion) {
    EXPECT_TRUE(Asker.Questions.empty()) << Asker.Questions.front().Text.toStdString();
    return;
  }
  ASSERT_EQ(Asker.Questions.size(), 1u);
  const auto& question = Asker.Questions.front();
  EXPECT_EQ(question.Caption, QLatin1String(kQuestionCaption));
  EXPECT_EQ(question.Icon, platform::TPromptIcon::Information);
  EXPECT_EQ(question.Text,
            QStringLiteral("A new version is available: %1\r\rDo you want to visit the download "
                           "page now?")
                .arg(QLatin1String(c.AskedVersion)));
  EXPECT_FALSE(Asker.AskedOffTheMainThread);
  EXPECT_TRUE(Opener.Opened.isEmpty());  // the recording prompter answers No
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateCheckAnswerTest,
    ::testing::Values(TVersionCase{"Same", THttpAnswer::Text("1.3"), nullptr},
                      TVersionCase{"Older", THttpAnswer::Text("1.2"), nullptr},
                      TVersionCase{"OlderMajor", THttpAnswer::Text("0.9"), nullptr},
                      TVersionCase{"NewerMinor", THttpAnswer::Text("1.4"), "1.4"},
                      TVersionCase{"NewerMajor", THttpAnswer::Text("2.0"), "2.0"},
                      TVersionCase{"TwoDigitMajor", THttpAnswer::Text("10.0"), "10.0"},
                      TVersionCase{"TwoDigitMinor", THttpAnswer::Text("1.10"), "1.10"},
                      TVersionCase{"LineEnd", THttpAnswer::Text("1.4\r\n"), "1.4"},
                      TVersionCase{"TooLong", THttpAnswer::Text("1.3.1.5"), nullptr},
                      TVersionCase{"Letters", THttpAnswer::Text("abc"), nullptr},
                      TVersionCase{"NoDot", THttpAnswer::Text("14"), nullptr},
                      TVersionCase{"NotText", THttpAnswer::Text(QByteArray("\x01\x00\xfe", 3)), nullptr},
                      TVersionCase{"HtmlPage",
                                   THttpAnswer::Text("<html><body><h1>Oops</h1>Try later</body></html>"),
                                   nullptr},
                      TVersionCase{"NotFound", THttpAnswer::Text("1.4", 404), nullptr},
                      TVersionCase{"ServerError", THttpAnswer::Text("1.4", 500), nullptr},
                      TVersionCase{"Empty", THttpAnswer::Text(""), nullptr},
                      TVersionCase{"BigBody", THttpAnswer::Of(THttpAnswer::TMode::Endless), nullptr},
                      TVersionCase{"Redirect", THttpAnswer::Redirect("/v14"), "1.4"}),
    [](const ::testing::TestParamInfo<TVersionCase>& info) { return std::string(info.param.Name); });

TEST_F(UpdateCheckFixture, YesOpensTheDownloadPage) {
  Server->Route(QStringLiteral("/upd_converter.ini"), THttpAnswer::Text("1.4"));
  Asker.Answers = {true};
  RunCheck();
  ASSERT_EQ(Asker.Questions.size(), 1u);
  EXPECT_EQ(Opener.Opened, QStringList({QString::fromLatin1(app::kHomePage)}));
}

TEST_F(UpdateCheckFixture, YesWithNothingToOpenThePageGivesItsAddress) {
  Server->Route(QStringLiteral("/upd_converter.ini"), THttpAnswer::Text("1.4"));
  Asker.Answers = {true};
  Opener.Answer = false;
  RunCheck();
  const QString page = QString::fromLatin1(app::kHomePage);
  EXPECT_EQ(Opener.Opened, QStringList({page}));
  ASSERT_EQ(Asker.Messages.size(), 1u);
  EXPECT_EQ(Asker.Messages[0].Icon, platform::TPromptIcon::Warning);
  EXPECT_TRUE(platform::NormalizeLineBreaks(Asker.Messages[0].Text).split(QLatin1Char('\n')).contains(page))
      << Asker.Messages[0].Text.toStdString();
}

TEST_F(UpdateCheckFixture, RefusedConnectionEndsSilently) {
  UseUrl(TLocalHttpServer::RefusedUrl(QStringLiteral("/upd_converter.ini")));
  RunCheck();
  EXPECT_TRUE(Asker.Questions.empty());
  EXPECT_TRUE(Asker.Messages.empty());
}

TEST_F(UpdateCheckFixture, FetchIsBoundedInSizeAndTime) {
  Server->Route(QStringLiteral("/upd_converter.ini"), THttpAnswer::Of(THttpAnswer::TMode::Silent));
  app::TUpdateCheck* check = ShowWindow();
  ASSERT_TRUE(QTest::qWaitFor([check] { return check->UpdateFetcher() != nullptr; }, kWaitMs));
  EXPECT_GT(check->UpdateFetcher()->Timeout(), 0);
  EXPECT_LE(check->UpdateFetcher()->Timeout(), 60000);
  EXPECT_GT(check->UpdateFetcher()->MaxSize(), 5);
  EXPECT_LE(check->UpdateFetcher()->MaxSize(), 64 * 1024);
  ASSERT_EQ(check->UpdateFetcher()->Data().Count(), 1);
  EXPECT_EQ(check->UpdateFetcher()->Data().Items(0)->URL(),
            Server->Url(QStringLiteral("/upd_converter.ini")));
}

TEST_F(UpdateCheckFixture, ClosingTheWindowDuringAFetchEndsIt) {
  Server->Route(QStringLiteral("/upd_converter.ini"), THttpAnswer::Of(THttpAnswer::TMode::Silent));
  ShowWindow();
  ASSERT_TRUE(
      QTest::qWaitFor([this] { return Server->Hits(QStringLiteral("/upd_converter.ini")) == 1; }, kWaitMs));
  Window->close();
  Window.reset();  // as at the end of main(): the fetch thread is stopped, not waited for
  QCoreApplication::processEvents();
  EXPECT_TRUE(Asker.Questions.empty());
  Window = std::make_unique<app::Tfrm_Main>();
}

TEST_F(UpdateCheckFixture, UncheckedItemMakesNoRequestAtTheNextStart) {
  Window->findChild<QAction*>(QStringLiteral("CheckforUpdateonStartup1"))->setChecked(false);
  Restart();
  EXPECT_FALSE(Window->findChild<QAction*>(QStringLiteral("CheckforUpdateonStartup1"))->isChecked());
  app::TUpdateCheck* check = ShowWindow();
  // Only the start timer begins a check at start-up, and it is not armed; every call posted by
  // the showing has run once the queue is drained. A request needs a fetcher, and there is none.
  EXPECT_FALSE(Window->findChild<QTimer*>(QStringLiteral("tmr_Update"))->isActive());
  QCoreApplication::processEvents();
  EXPECT_FALSE(Window->findChild<QTimer*>(QStringLiteral("tmr_Update"))->isActive());
  EXPECT_EQ(Server->TotalHits(), 0);
  EXPECT_EQ(check->UpdateFetcher(), nullptr);

  // Checked again, the start after that asks the server.
  Window->findChild<QAction*>(QStringLiteral("CheckforUpdateonStartup1"))->setChecked(true);
  Restart();
  RunCheck();
  EXPECT_EQ(Server->TotalHits(), 1);
}

TEST_F(UpdateCheckFixture, BatchRunMakesNoRequest) {
  Window = std::make_unique<app::Tfrm_Main>();
  Window->SetCommandLine(
      app::TCommandLine(QStringList{"converter", "-v", TempPath(QStringLiteral("out")), "clip.avi"}));
  app::TUpdateCheck* check = ShowWindow();
  check->Start();  // even when asked directly
  // Start makes its fetcher before it returns, and no request goes out without one.
  EXPECT_EQ(check->UpdateFetcher(), nullptr);
  EXPECT_FALSE(Window->findChild<QTimer*>(QStringLiteral("tmr_Update"))->isActive());
  EXPECT_EQ(Server->TotalHits(), 0);
  EXPECT_EQ(check->UpdateFetcher(), nullptr);
}

TEST(UpdateCheckAddress, EnvironmentReplacesTheBuiltInAddress) {
  const QByteArray old = qgetenv("CONVERTER_UPDATE_URL");
  const bool had = qEnvironmentVariableIsSet("CONVERTER_UPDATE_URL");
  qunsetenv("CONVERTER_UPDATE_URL");
  EXPECT_EQ(app::VersionFileUrl(), QString::fromLatin1(app::kVersionFileUrl));
  EXPECT_TRUE(app::VersionFileUrl().endsWith(QLatin1String("/upd_converter.ini")));
  qputenv("CONVERTER_UPDATE_URL", "");
  EXPECT_EQ(app::VersionFileUrl(), QString::fromLatin1(app::kVersionFileUrl));
  qputenv("CONVERTER_UPDATE_URL", "http://127.0.0.1:1/v.ini");
  EXPECT_EQ(app::VersionFileUrl(), QStringLiteral("http://127.0.0.1:1/v.ini"));
  if (had)
    qputenv("CONVERTER_UPDATE_URL", old);
  else
    qunsetenv("CONVERTER_UPDATE_URL");
}

}  // namespace
