#include "components/web_data_thread.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "components/web_data.h"

namespace components {

namespace {

// Bytes taken from the reply per read, and the most Qt buffers ahead of us: the body streams to
// the local file and never piles up in memory.
constexpr qint64 kChunkSize = 4096;
constexpr qint64 kReadBufferSize = 64 * 1024;
constexpr quint16 kDefaultProxyPort = 8080;

bool IsLoopbackHost(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  const QHostAddress address(host);
  return !address.isNull() && address.isLoopback();
}

// The system's proxy settings, with the proxy credentials of the component, and never a proxy for
// the loopback host.
class TSystemProxyFactory : public QNetworkProxyFactory {
 public:
  TSystemProxyFactory(QString user, QString password)
      : FUser(std::move(user)), FPassword(std::move(password)) {}
  QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
    if (IsLoopbackHost(query.peerHostName())) return {QNetworkProxy(QNetworkProxy::NoProxy)};
    QList<QNetworkProxy> proxies = systemProxyForQuery(query);
    for (QNetworkProxy& proxy : proxies) {
      if (proxy.type() != QNetworkProxy::NoProxy && !FUser.isEmpty()) {
        proxy.setUser(FUser);
        proxy.setPassword(FPassword);
      }
    }
    return proxies;
  }

 private:
  QString FUser;
  QString FPassword;
};

// "host:port", "host" or "http://host:port/" as a proxy.
QNetworkProxy NamedProxy(const QString& text, const QString& user, const QString& password) {
  QUrl url = QUrl::fromUserInput(text.trimmed());
  const quint16 port = static_cast<quint16>(url.port(kDefaultProxyPort));
  return QNetworkProxy(QNetworkProxy::HttpProxy, url.host(), port, user, password);
}

QString NewTempFile() {
  QTemporaryFile file(QDir::tempPath() + QStringLiteral("/WDXXXXXX"));
  file.setAutoRemove(false);
  if (!file.open()) return {};
  return file.fileName();
}

// Deletes a local page file; a folder in its place (a link to one) is removed as a folder.
void DeleteLocalFile(const QString& path) {
  if (QFile::remove(path)) return;
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink()) QDir().rmdir(path);
}

}  // namespace

TWDInetThread::TWDInetThread(TWebData* owner) : FOwner(owner) {}

TWDInetThread::~TWDInetThread() {
  Abort();
  wait();
}

void TWDInetThread::Abort() {
  FAborted = true;
  std::lock_guard lock(FLoopMutex);
  if (FLoop) QMetaObject::invokeMethod(FLoop, &QEventLoop::quit, Qt::QueuedConnection);
}

void TWDInetThread::Fail(int i, TWebDataItem& item, int code, const QString& text) {
  item.FErrorText = text;
  if (FOwner->OnCollectError) FOwner->OnCollectError(FOwner, i, code);
}

void TWDInetThread::run() {
  TWebData& web = *FOwner;
  TWebDataCollection& data = web.FData;
  if (data.Count() == 0) return;
  web.FImages.clear();
  web.FHyperLinks.clear();

  QNetworkAccessManager manager;
  if (!web.FProxy.trimmed().isEmpty())
    manager.setProxy(NamedProxy(web.FProxy, web.FProxyUserID, web.FProxyPassword));
  else
    manager.setProxyFactory(
        new TSystemProxyFactory(web.FProxyUserID, web.FProxyPassword));  // manager owns it
  // Plain http may move to https, never back.
  manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);

  QString prevUrl;
  QString prevFile;
  TWebDataItem* prevItem = nullptr;  // the last item that used prevFile
  for (int i = 0; i < data.Count() && !Aborted(); ++i) {
    TWebDataItem& item = *data.Items(i);
    item.FFound = false;
    if (!item.FEnable) continue;
    QString file;
    TResult result = TResult::Ok;
    if (item.FURL != prevUrl) {
      if (!prevFile.isEmpty() && prevItem && prevItem->FAutoDelete) DeleteLocalFile(prevFile);
      item.FStatusCode = 0;
      item.FSize = 0;
      item.FErrorText.clear();
      file = item.FFileName.isEmpty() ? NewTempFile() : item.FFileName;
      if (file.isEmpty()) {
        Fail(i, item, kWebDataNotOpened,
             QStringLiteral("Cannot create a temporary file in %1.").arg(QDir::tempPath()));
        prevFile.clear();
        break;
      }
      result = Download(manager, i, item, file);
    } else {
      file = prevFile;
    }
    item.FFileName = file;
    prevFile = file;
    prevItem = &item;
    if (result == TResult::Aborted || result == TResult::WriteFailed) break;
    const bool ok = result == TResult::Ok;
    prevUrl = ok ? item.FURL : QString();
    if ((ok || item.FURL.isEmpty()) && QFile::exists(file)) Scan(i, item, file);
  }
  if (!prevFile.isEmpty() && prevItem && prevItem->FAutoDelete && QFileInfo::exists(prevFile))
    DeleteLocalFile(prevFile);
}

TWDInetThread::TResult TWDInetThread::Download(QNetworkAccessManager& manager, int i, TWebDataItem& item,
                                               const QString& file) {
  const TWebData& web = *FOwner;
  const QUrl url(item.FURL, QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.host().isEmpty() ||
      (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
    Fail(i, item, kWebDataNotOpened,
         QStringLiteral("Cannot fetch \"%1\": only http and https addresses can be fetched.").arg(item.FURL));
    return TResult::Failed;
  }

  QNetworkRequest request(url);
  request.setHeader(QNetworkRequest::UserAgentHeader, web.FAgent);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setMaximumRedirectsAllowed(std::max(0, web.FMaxRedirects));

  enum class TEnd { None, Finished, Status, TooLarge, TimedOut, WriteFailed };
  TEnd end = TEnd::None;
  qint64 received = 0;
  const qint64 maxSize = std::max<qint64>(0, web.FMaxSize);
  QSaveFile out(file);
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  std::unique_ptr<QNetworkReply> reply(manager.get(request));
  reply->setReadBufferSize(kReadBufferSize);

  const auto status = [&reply] { return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); };
  const auto stop = [&](TEnd why) {
    end = why;
    loop.quit();
  };
  // Streams what has arrived to the local file, as long as the answer is a success.
  const auto readBody = [&] {
    if (end != TEnd::None) return;
    if (status() >= 300) return stop(TEnd::Status);
    if (!out.isOpen() && !out.open(QIODevice::WriteOnly)) return stop(TEnd::WriteFailed);
    std::array<char, kChunkSize> chunk{};
    while (reply->bytesAvailable() > 0) {
      const qint64 n = reply->read(chunk.data(), kChunkSize);
      if (n <= 0) break;
      if (received + n > maxSize) return stop(TEnd::TooLarge);
      if (out.write(chunk.data(), n) != n) return stop(TEnd::WriteFailed);
      received += n;
    }
  };
  QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, readBody);
  QObject::connect(reply.get(), &QNetworkReply::finished, &loop, [&] {
    if (reply->error() == QNetworkReply::NoError) readBody();
    if (end == TEnd::None) stop(TEnd::Finished);
  });
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
    if (end == TEnd::None) stop(TEnd::TimedOut);
  });
  deadline.start(std::max(0, web.FTimeout));
  {
    std::lock_guard lock(FLoopMutex);
    FLoop = &loop;
  }
  if (!Aborted()) loop.exec();
  {
    std::lock_guard lock(FLoopMutex);
    FLoop = nullptr;
  }
  QObject::disconnect(reply.get(), nullptr, &loop, nullptr);
  if (!reply->isFinished()) reply->abort();
  item.FStatusCode = status();
  item.FSize = received;

  if (Aborted()) {
    out.cancelWriting();
    return TResult::Aborted;
  }
  const QString name = item.FURL;
  switch (end) {
    case TEnd::None:
    case TEnd::Finished:
      break;
    case TEnd::Status:
      out.cancelWriting();
      Fail(i, item, item.FStatusCode,
           QStringLiteral("The server answered %1 with HTTP status %2.").arg(name).arg(item.FStatusCode));
      return TResult::Failed;
    case TEnd::TooLarge:
      out.cancelWriting();
      Fail(i, item, kWebDataNotOpened,
           QStringLiteral("The page %1 is larger than %2 bytes.").arg(name).arg(maxSize));
      return TResult::Failed;
    case TEnd::TimedOut:
      out.cancelWriting();
      Fail(i, item, kWebDataNotOpened,
           QStringLiteral("No complete answer from %1 within %2 ms.").arg(name).arg(web.FTimeout));
      return TResult::Failed;
    case TEnd::WriteFailed:
      Fail(i, item, kWebDataNotOpened,
           QStringLiteral("Cannot write \"%1\": %2").arg(file, out.errorString()));
      out.cancelWriting();
      return TResult::WriteFailed;
  }
  // A redirect that is not followed (one too many, or from https to http) leaves the page unreached.
  const bool redirectRefused = reply->error() == QNetworkReply::TooManyRedirectsError ||
                               reply->error() == QNetworkReply::InsecureRedirectError;
  // A server error (5xx) is a failure like any other status from 300 on, whatever its body says.
  if (item.FStatusCode >= 300 && !redirectRefused) {
    out.cancelWriting();
    Fail(i, item, item.FStatusCode,
         QStringLiteral("The server answered %1 with HTTP status %2.").arg(name).arg(item.FStatusCode));
    return TResult::Failed;
  }
  if (reply->error() != QNetworkReply::NoError) {
    out.cancelWriting();
    Fail(i, item, kWebDataNotOpened, QStringLiteral("Cannot fetch %1: %2").arg(name, reply->errorString()));
    return TResult::Failed;
  }
  if (received == 0) {
    // Nothing arrived: the local file is left as it was.
    out.cancelWriting();
    item.FErrorText = QStringLiteral("The page %1 is empty.").arg(name);
    return TResult::NoData;
  }
  if (!out.commit()) {
    Fail(i, item, kWebDataNotOpened, QStringLiteral("Cannot write \"%1\": %2").arg(file, out.errorString()));
    return TResult::WriteFailed;
  }
  return TResult::Ok;
}

void TWDInetThread::Scan(int i, TWebDataItem& item, const QString& file) {
  TWebData& web = *FOwner;
  QFile page(file);
  if (!page.open(QIODevice::ReadOnly)) return;
  // One character per byte: the page's own encoding is not known here.
  const QString content = QString::fromLatin1(page.readAll());
  page.close();
  item.FExtractedText.clear();
  if (web.OnProgress) web.OnProgress(&web, i);
  item.FContent = content;
  if (std::optional<QString> text = ExtractText(content, item.FScanFirst, item.FScanFrom, item.FScanTo)) {
    item.FExtractedText = *text;
    item.FFound = true;
    if (web.OnData && !Aborted()) web.OnData(&web, i, item.FExtractedText);
  }
  web.FImages += ScanImages(content, item.FURL, web.FImageType);
  web.FHyperLinks += ScanLinks(content, item.FURL, web.FHyperLinkType);
}

}  // namespace components
