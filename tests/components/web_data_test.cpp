#include "components/web_data.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>
#include <QThread>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/settings/temp_folder.h"
#include "support/local_http_server.h"
#include "support/test_application.h"

namespace {

using components::TImageType;
using components::TWebData;
using testing_support::THttpAnswer;
using testing_support::TLocalHttpServer;

QCoreApplication& App() { return testing_support::TestApplication<QCoreApplication>("web_data_tests"); }

// Long enough for any loopback fetch on a loaded machine; only reached when something is wrong.
constexpr int kWaitMs = 30000;

// --- Text work -----------------------------------------------------------------------------------

struct TResolveCase {
  const char* Base;
  const char* Link;
  const char* Expected;
};
class ResolveURLTest : public ::testing::TestWithParam<TResolveCase> {};
TEST_P(ResolveURLTest, MakesLinksAbsolute) {
  const TResolveCase& c = GetParam();
  EXPECT_EQ(components::ResolveURL(QString::fromLatin1(c.Base), QString::fromLatin1(c.Link)).toStdString(),
            c.Expected);
}
INSTANTIATE_TEST_SUITE_P(
    Table, ResolveURLTest,
    ::testing::Values(TResolveCase{"http://host/dir/page.html", "pic.JPG", "http://host/dir/pic.JPG"},
                      TResolveCase{"http://host/dir/", "pic.png", "http://host/dir/pic.png"},
                      TResolveCase{"http://host/dir/page.html", "/img/a.png", "http://host/img/a.png"},
                      TResolveCase{"http://host/dir/page.html", "\\img\\a.png", "http://host\\img\\a.png"},
                      TResolveCase{"http://host", "a.png", "http://host/a.png"},
                      TResolveCase{"HTTP://Host/x", "y", "HTTP://Host/y"},
                      TResolveCase{"http://host/dir/page", "HTTP://other/x.gif", "HTTP://other/x.gif"},
                      // A base without a scheme: its text up to the first slash is the host part.
                      TResolveCase{"host/dir/page", "x.gif", "host/dir/x.gif"},
                      TResolveCase{"host/dir/page", "/x.gif", "host/x.gif"},
                      TResolveCase{"host", "x.gif", "host/x.gif"},
                      // Secure pages keep their scheme; secure links stand as written.
                      TResolveCase{"https://host/dir/page", "/x.png", "https://host/x.png"},
                      TResolveCase{"https://host/dir/page", "x.png", "https://host/dir/x.png"},
                      TResolveCase{"http://host/dir/page", "https://cdn/x.png", "https://cdn/x.png"},
                      TResolveCase{"https://host/a/b", "//cdn/x.png", "https://cdn/x.png"}));

struct TExtractCase {
  const char* Content;
  const char* First;
  const char* From;
  const char* To;
  std::optional<const char*> Expected;
};
class ExtractTextTest : public ::testing::TestWithParam<TExtractCase> {};
TEST_P(ExtractTextTest, CutsBetweenDelimiters) {
  const TExtractCase& c = GetParam();
  const std::optional<QString> text =
      components::ExtractText(QString::fromLatin1(c.Content), QString::fromLatin1(c.First),
                              QString::fromLatin1(c.From), QString::fromLatin1(c.To));
  ASSERT_EQ(text.has_value(), c.Expected.has_value());
  if (text) {
    EXPECT_EQ(text->toStdString(), *c.Expected);
  }
}
INSTANTIATE_TEST_SUITE_P(Table, ExtractTextTest,
                         ::testing::Values(TExtractCase{"whole page", "", "x", "y", "whole page"},
                                           TExtractCase{"a<v>1.4</v>b<v>2.0</v>", "<v>", "", "</v>", "1.4"},
                                           TExtractCase{"head [ver] x=9; y=10;", "[ver]", "y=", ";", "10"},
                                           TExtractCase{"[ver] ab", "[ver]", "", "", " ab"},
                                           TExtractCase{"no marker", "[ver]", "", "", std::nullopt},
                                           TExtractCase{"[ver] no end", "[ver]", "", ";", std::nullopt},
                                           TExtractCase{"[ver] no from;", "[ver]", "y=", ";", std::nullopt},
                                           // Delimiters match case.
                                           TExtractCase{"[VER] 1;", "[ver]", "", ";", std::nullopt}));

TEST(WebDataScan, ImagesAreResolvedAndFilteredByType) {
  const QString page = QStringLiteral(
      "<html><IMG class=x SRC=\"pic.JPG\"><img src=\"/logo.png\">"
      "<img alt=none><p>text</p><img src=\"http://cdn/a.gif\"></html>");
  const QString base = QStringLiteral("http://host/dir/page.html");
  EXPECT_EQ(components::ScanImages(page, base, TImageType::itAll),
            QStringList({"http://host/dir/pic.JPG", "http://host/logo.png", "http://cdn/a.gif"}));
  EXPECT_EQ(components::ScanImages(page, base, TImageType::itJPG), QStringList({"http://host/dir/pic.JPG"}));
  EXPECT_EQ(components::ScanImages(page, base, TImageType::itPNG), QStringList({"http://host/logo.png"}));
  EXPECT_EQ(components::ScanImages(page, base, TImageType::itGIF), QStringList({"http://cdn/a.gif"}));
}

TEST(WebDataScan, LinksQuotedOrUpToTheTagEnd) {
  const QString page = QStringLiteral(
      "<a href=\"next.html\">n</a> <A HREF=/plain/page>p</A> <a name=top>"
      "<a href=\"http://other/x\">o</a> <a href=rel.html>r</a>");
  const QString base = QStringLiteral("http://host/dir/index.html");
  const QStringList all = {"http://host/dir/next.html", "http://host/plain/page", "http://other/x",
                           "http://host/dir/rel.html"};
  EXPECT_EQ(components::ScanLinks(page, base, QString()), all);
  EXPECT_EQ(components::ScanLinks(page, base, QStringLiteral("PLAIN")),
            QStringList({"http://host/plain/page"}));
}

// --- Fetching from a local server -----------------------------------------------------------------

// Every event of a run as a line, in order, with the thread it came on.
class TEventLog {
 public:
  void Attach(TWebData& web) {
    web.OnProgress = [this](TWebData*, int i) { Add("progress " + std::to_string(i)); };
    web.OnData = [this](TWebData*, int i, const QString& data) {
      Add("data " + std::to_string(i) + " " + data.toStdString());
    };
    web.OnCollectError = [this](TWebData*, int i, int code) {
      Add("error " + std::to_string(i) + " " + std::to_string(code));
    };
    web.OnCollectDone = [this](TWebData*) {
      Add("done");
      std::lock_guard lock(FMutex);
      FDoneOnMainThread = QThread::currentThread() == App().thread();
      FDone = true;
    };
  }
  std::vector<std::string> Lines() const {
    std::lock_guard lock(FMutex);
    return FLines;
  }
  bool Done() const {
    std::lock_guard lock(FMutex);
    return FDone;
  }
  bool WorkerEventsOffMainThread() const {
    std::lock_guard lock(FMutex);
    return FWorkerOffMain;
  }
  bool DoneOnMainThread() const {
    std::lock_guard lock(FMutex);
    return FDoneOnMainThread;
  }

 private:
  void Add(const std::string& line) {
    std::lock_guard lock(FMutex);
    if (line != "done" && QThread::currentThread() == App().thread()) FWorkerOffMain = false;
    FLines.push_back(line);
  }
  mutable std::mutex FMutex;
  std::vector<std::string> FLines;
  bool FDone = false;
  bool FWorkerOffMain = true;
  bool FDoneOnMainThread = false;
};

class WebDataFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Server.Listening());
    Server.Route("/a", THttpAnswer::Text("alpha"));
    Server.Route("/b", THttpAnswer::Text("beta"));
    Server.Route("/version", THttpAnswer::Text("<p>v=<b>1.4</b></p>"));
    Server.Route("/empty", THttpAnswer::Text(""));
    Server.Route("/fail500", THttpAnswer::Text("1.4", 500));
    Server.Route("/moved", THttpAnswer::Redirect("/a"));
    Server.Route("/loop1", THttpAnswer::Redirect("/loop2"));
    Server.Route("/loop2", THttpAnswer::Redirect("/loop1", 301));
    Server.Route("/silent", THttpAnswer::Of(THttpAnswer::TMode::Silent));
    Server.Route("/endless", THttpAnswer::Of(THttpAnswer::TMode::Endless));
    Server.Route("/cutoff", THttpAnswer::Of(THttpAnswer::TMode::CutOff));
    Server.Route("/binary", THttpAnswer::Text(QByteArray("\x00\xff\x01.\x80", 5)));
    Log.Attach(Web);
  }

  // "/path" on the server, a full address as it stands.
  QString Address(const QString& pathOrUrl) const {
    return pathOrUrl.startsWith(u'/') ? Server.Url(pathOrUrl) : pathOrUrl;
  }

  void RunToEnd() {
    ASSERT_TRUE(Web.Execute());
    ASSERT_TRUE(QTest::qWaitFor([this] { return Log.Done(); }, kWaitMs));
    EXPECT_FALSE(Web.Running());
    EXPECT_TRUE(Log.WorkerEventsOffMainThread());
    EXPECT_TRUE(Log.DoneOnMainThread());
  }

  QCoreApplication& FApp = App();  // before the server: its sockets need the application's thread
  TLocalHttpServer Server;
  TWebData Web;
  TEventLog Log;
};

struct TRunItem {
  TRunItem(QString url, QString first = {}, QString from = {}, QString to = {}, bool enable = true)
      : Url(std::move(url)),
        ScanFirst(std::move(first)),
        ScanFrom(std::move(from)),
        ScanTo(std::move(to)),
        Enable(enable) {}
  QString Url;  // "/path" on the test server, or a full address
  QString ScanFirst;
  QString ScanFrom;
  QString ScanTo;
  bool Enable;
};
struct TRunCase {
  const char* Name;
  std::vector<TRunItem> Items;
  std::vector<std::string> Events;
  std::vector<std::pair<QString, int>> Hits = {};  // requests each path got
  qint64 MaxSize = 16 * 1024 * 1024;
  int Timeout = 30000;
};

class WebDataRunTest : public WebDataFixture, public ::testing::WithParamInterface<TRunCase> {};

TEST_P(WebDataRunTest, EventsInOrder) {
  const TRunCase& c = GetParam();
  Web.SetMaxSize(c.MaxSize);
  Web.SetTimeout(c.Timeout);
  for (const TRunItem& spec : c.Items) {
    components::TWebDataItem* item = Web.Data().Add();
    item->SetURL(spec.Url.isEmpty() ? QString() : Address(spec.Url));
    item->SetScanFirst(spec.ScanFirst);
    item->SetScanFrom(spec.ScanFrom);
    item->SetScanTo(spec.ScanTo);
    item->SetEnable(spec.Enable);
  }
  RunToEnd();
  EXPECT_EQ(Log.Lines(), c.Events);
  for (const auto& [path, hits] : c.Hits) EXPECT_EQ(Server.Hits(path), hits) << path.toStdString();
  // Temporary page files never outlive the run.
  for (int i = 0; i < Web.Data().Count(); ++i) {
    const QString file = Web.Data().Items(i)->FileName();
    if (!file.isEmpty()) {
      EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
    }
  }
}

const QString kRefused = TLocalHttpServer::RefusedUrl(QStringLiteral("/upd"));

INSTANTIATE_TEST_SUITE_P(
    Table, WebDataRunTest,
    ::testing::Values(
        TRunCase{"SeveralItems",
                 {{"/a"}, {"/missing"}, {"/b"}},
                 {"progress 0", "data 0 alpha", "error 1 404", "progress 2", "data 2 beta", "done"},
                 {{"/a", 1}, {"/missing", 1}, {"/b", 1}}},
        TRunCase{"SameUrlFetchedOnce",
                 {{"/a"}, {"/a", "al", "", ""}},
                 {"progress 0", "data 0 alpha", "progress 1", "data 1 pha", "done"},
                 {{"/a", 1}}},
        TRunCase{"DelimitersCutTheText",
                 {{"/version", "v=", "<b>", "</b>"}},
                 {"progress 0", "data 0 1.4", "done"}},
        TRunCase{"MissingEndDelimiterGivesNoData", {{"/version", "v=", "", "</i>"}}, {"progress 0", "done"}},
        TRunCase{"DisabledItemIsPassedOver",
                 {{"/a", "", "", "", false}, {"/b"}},
                 {"progress 1", "data 1 beta", "done"},
                 {{"/a", 0}, {"/b", 1}}},
        TRunCase{"ServerErrorIsAnError", {{"/fail500"}}, {"error 0 500", "done"}},
        TRunCase{"EmptyBodyIsNoPage", {{"/empty"}}, {"done"}},
        TRunCase{"RedirectIsFollowed",
                 {{"/moved"}},
                 {"progress 0", "data 0 alpha", "done"},
                 {{"/moved", 1}, {"/a", 1}}},
        TRunCase{
            "RedirectLoopEnds", {{"/loop1"}, {"/b"}}, {"error 0 -1", "progress 1", "data 1 beta", "done"}},
        TRunCase{"RefusedConnection", {{kRefused}}, {"error 0 -1", "done"}},
        TRunCase{"EndlessBodyIsCapped", {{"/endless"}}, {"error 0 -1", "done"}, {}, 256 * 1024},
        TRunCase{"SilentServerTimesOut",
                 {{"/silent"}, {"/a"}},
                 {"error 0 -1", "progress 1", "data 1 alpha", "done"},
                 {},
                 16 * 1024 * 1024,
                 300},
        TRunCase{"CutOffBodyIsNoSuccess", {{"/cutoff"}}, {"error 0 -1", "done"}},
        TRunCase{
            "BinaryBodyArrivesByteForByte",
            {{"/binary"}},
            {"progress 0", std::string("data 0 ") + QString::fromLatin1("\x00\xff\x01.\x80", 5).toStdString(),
             "done"}},
        TRunCase{"OnlyHttpAddresses",
                 {{"file:///etc/hostname"}, {"ftp://127.0.0.1/x"}},
                 {"error 0 -1", "error 1 -1", "done"}},
        // An empty address after a page fails, and its empty local file is scanned.
        TRunCase{"EmptyAddressAfterAPage",
                 {{"/a"}, {""}},
                 {"progress 0", "data 0 alpha", "error 1 -1", "progress 1", "data 1 ", "done"}},
        TRunCase{"NoItems", {}, {"done"}}),
    [](const ::testing::TestParamInfo<TRunCase>& info) { return std::string(info.param.Name); });

TEST_F(WebDataFixture, ItemsKeepStatusSizeAndErrorText) {
  for (const char* path : {"/a", "/missing", "/endless"})
    Web.Data().Add()->SetURL(Server.Url(QString::fromLatin1(path)));
  Web.SetMaxSize(100000);
  RunToEnd();
  const auto* ok = Web.Data().Items(0);
  EXPECT_EQ(ok->StatusCode(), 200);
  EXPECT_EQ(ok->Size(), 5);
  EXPECT_EQ(ok->Content(), QStringLiteral("alpha"));
  EXPECT_EQ(ok->ExtractedText(), QStringLiteral("alpha"));
  EXPECT_TRUE(ok->Found());
  EXPECT_TRUE(ok->ErrorText().isEmpty());
  const auto* missing = Web.Data().Items(1);
  EXPECT_EQ(missing->StatusCode(), 404);
  EXPECT_FALSE(missing->Found());
  EXPECT_TRUE(missing->ErrorText().contains(QLatin1String("404"))) << missing->ErrorText().toStdString();
  const auto* endless = Web.Data().Items(2);
  EXPECT_LE(endless->Size(), 100000);
  EXPECT_TRUE(endless->ErrorText().contains(QLatin1String("larger than 100000 bytes")))
      << endless->ErrorText().toStdString();
}

TEST_F(WebDataFixture, DefaultsAndTheAgentSent) {
  EXPECT_EQ(Web.Version(), QStringLiteral("1.2.0.0"));
  EXPECT_EQ(Web.Agent(), QStringLiteral("WebData"));
  EXPECT_EQ(Web.ImageType(), TImageType::itAll);
  Web.Data().Add()->SetURL(Server.Url(QStringLiteral("/a")));
  Web.SetProxyUserID(QStringLiteral("someone"));
  Web.SetProxyPassword(QStringLiteral("secret"));
  RunToEnd();
  EXPECT_TRUE(Server.LastRequest().contains("User-Agent: WebData\r\n")) << Server.LastRequest().toStdString();
  // Proxy credentials are for a proxy only, never for the page's server.
  EXPECT_FALSE(Server.LastRequest().contains("someone"));
  EXPECT_FALSE(Server.LastRequest().contains("Authorization"));
}

TEST_F(WebDataFixture, NamedProxyGetsTheRequestAndTheCredentials) {
  // The test server plays the proxy: the page's own host is never looked up or contacted.
  const QString page = QStringLiteral("http://www.quorvane.example/page.html");
  Server.Route(page, THttpAnswer::Text("via proxy"));
  Web.SetProxy(QStringLiteral("127.0.0.1:%1").arg(Server.Port()));
  Web.SetProxyUserID(QStringLiteral("someone"));
  Web.SetProxyPassword(QStringLiteral("secret"));
  Web.Data().Add()->SetURL(page);
  RunToEnd();
  EXPECT_EQ(Log.Lines(), (std::vector<std::string>{"progress 0", "data 0 via proxy", "done"}));
  EXPECT_TRUE(Server.LastRequest().startsWith("GET " + page.toLatin1() + " HTTP/1.1\r\n"))
      << Server.LastRequest().toStdString();
  EXPECT_FALSE(Server.LastRequest().contains("someone@"));
}

TEST_F(WebDataFixture, PageImagesAndLinksAreCollected) {
  Server.Route("/dir/page.html",
               THttpAnswer::Text("<img src=\"pic.JPG\"><img src=\"/logo.png\"><a href=\"next.html\">n</a>"));
  Web.Data().Add()->SetURL(Server.Url(QStringLiteral("/dir/page.html")));
  Web.SetImageType(TImageType::itPNG);
  RunToEnd();
  EXPECT_EQ(Web.Images(), QStringList({Server.Url(QStringLiteral("/logo.png"))}));
  EXPECT_EQ(Web.HyperLinks(), QStringList({Server.Url(QStringLiteral("/dir/next.html"))}));
}

TEST_F(WebDataFixture, OwnFilesAreWrittenKeptAndNeverClobbered) {
  QTemporaryDir folder = testing_support::MakeTempFolder("web_data");
  const QString kept = folder.filePath(QStringLiteral("kept.html"));
  const QString mine = folder.filePath(QStringLiteral("mine.html"));
  ASSERT_TRUE(testing_support::WriteBytes(mine, "my own page"));
  auto* first = Web.Data().Add();
  first->SetURL(Server.Url(QStringLiteral("/b")));
  first->SetFileName(kept);
  first->SetAutoDelete(false);
  auto* second = Web.Data().Add();
  second->SetURL(Server.Url(QStringLiteral("/missing")));
  second->SetFileName(mine);
  second->SetAutoDelete(false);
  RunToEnd();
  EXPECT_EQ(testing_support::ReadBytes(kept), QByteArray("beta"));
  // A failed fetch leaves an existing file as it was.
  EXPECT_EQ(testing_support::ReadBytes(mine), QByteArray("my own page"));
}

TEST_F(WebDataFixture, TemporaryFilesAreNamedAndRemoved) {
  Web.Data().Add()->SetURL(Server.Url(QStringLiteral("/a")));
  QString seen;
  Web.OnProgress = [&seen, this](TWebData*, int) {
    seen = Web.Data().Items(0)->FileName();
    EXPECT_TRUE(QFileInfo::exists(seen));
  };
  ASSERT_TRUE(Web.Execute());
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Web.Running(); }, kWaitMs));
  EXPECT_TRUE(QFileInfo(seen).fileName().startsWith(QLatin1String("WD"))) << seen.toStdString();
  EXPECT_FALSE(QFileInfo::exists(seen));
}

TEST_F(WebDataFixture, SecondExecuteWhileRunningIsRefused) {
  Web.Data().Add()->SetURL(Server.Url(QStringLiteral("/silent")));
  ASSERT_TRUE(Web.Execute());
  EXPECT_TRUE(Web.Running());
  EXPECT_FALSE(Web.Execute());
  Web.Abort();
  ASSERT_TRUE(QTest::qWaitFor([this] { return Log.Done(); }, kWaitMs));
  EXPECT_EQ(Log.Lines(), std::vector<std::string>{"done"});
  // A new run may start once the last one is over.
  EXPECT_TRUE(Web.Execute());
  Web.Abort();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Web.Running(); }, kWaitMs));
}

TEST_F(WebDataFixture, AbortEndsTheRunAtTheCurrentPage) {
  Web.SetTimeout(600000);
  Web.Data().Add()->SetURL(Server.Url(QStringLiteral("/silent")));
  Web.Data().Add()->SetURL(Server.Url(QStringLiteral("/a")));
  ASSERT_TRUE(Web.Execute());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Server.Hits(QStringLiteral("/silent")) == 1; }, kWaitMs));
  Web.Abort();
  ASSERT_TRUE(QTest::qWaitFor([this] { return Log.Done(); }, kWaitMs));
  EXPECT_EQ(Log.Lines(), std::vector<std::string>{"done"});
  EXPECT_EQ(Server.Hits(QStringLiteral("/a")), 0);
}

TEST_F(WebDataFixture, DestroyedWhileFetchingReturnsWithoutEvents) {
  auto web = std::make_unique<TWebData>();
  TEventLog log;
  log.Attach(*web);
  web->SetTimeout(600000);
  web->Data().Add()->SetURL(Server.Url(QStringLiteral("/silent")));
  ASSERT_TRUE(web->Execute());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Server.Hits(QStringLiteral("/silent")) == 1; }, kWaitMs));
  web.reset();
  QCoreApplication::processEvents();
  EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
