#pragma once
// The HTTP fetch component: downloads a list of URLs, one after another, on a fetch thread of its
// own (Qt Network), keeps each page in a local file, cuts a piece of text out of each page
// between delimiter strings and collects the page's image sources and hyperlinks.
//
// Every fetch is bounded: at most MaxSize bytes are read, a page must arrive whole within Timeout
// milliseconds, at most MaxRedirects redirects are followed, and only http and https addresses
// are fetched. A fetch that breaks one of these fails with its error text; it never reports a
// partial page as a success.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "components/web_data_scan.h"

namespace components {

class TWebData;
class TWDInetThread;

/// OnCollectError's code when the page could not be fetched at all (no connection, time-out,
/// too many redirects, too large, broken transfer, unsupported address, local file not written).
inline constexpr int kWebDataNotOpened = -1;

/// One URL to fetch and what became of it. Set the first group before Execute; the second group
/// is written by the fetch thread and may be read once OnCollectDone has fired.
class TWebDataItem {
 public:
  /// The collection's display name of the item.
  const QString& DisplayName() const { return FURL; }

  const QString& URL() const { return FURL; }
  void SetURL(const QString& value) { FURL = value; }
  /// Delimiters of the piece of text the item hands to OnData (see ExtractText).
  const QString& ScanFirst() const { return FScanFirst; }
  void SetScanFirst(const QString& value) { FScanFirst = value; }
  const QString& ScanFrom() const { return FScanFrom; }
  void SetScanFrom(const QString& value) { FScanFrom = value; }
  const QString& ScanTo() const { return FScanTo; }
  void SetScanTo(const QString& value) { FScanTo = value; }
  /// The local file the page goes to; empty: a new temporary file ("WD" prefix) whose name is
  /// put here when the fetch starts.
  const QString& FileName() const { return FFileName; }
  void SetFileName(const QString& value) { FFileName = value; }
  /// The local file is deleted when the next URL is fetched or the run ends.
  bool AutoDelete() const { return FAutoDelete; }
  void SetAutoDelete(bool value) { FAutoDelete = value; }
  /// A disabled item is passed over.
  bool Enable() const { return FEnable; }
  void SetEnable(bool value) { FEnable = value; }
  int Tag() const { return FTag; }
  void SetTag(int value) { FTag = value; }

  /// The text cut out of the page (empty when nothing was found).
  const QString& ExtractedText() const { return FExtractedText; }
  /// The delimiters were found and OnData fired for this item in the last run.
  bool Found() const { return FFound; }
  /// The page's bytes, one character per byte (code 0 to 255).
  const QString& Content() const { return FContent; }
  /// HTTP status of the last fetch; 0 when no answer came.
  int StatusCode() const { return FStatusCode; }
  /// Bytes of the page's body that arrived in the last fetch.
  qint64 Size() const { return FSize; }
  /// Why the last fetch failed; empty when it did not.
  const QString& ErrorText() const { return FErrorText; }

 private:
  friend class TWDInetThread;
  QString FURL;
  QString FScanFirst;
  QString FScanFrom;
  QString FScanTo;
  QString FExtractedText;
  bool FFound = false;
  QString FFileName;
  bool FAutoDelete = true;
  bool FEnable = true;
  int FTag = 0;
  QString FContent;
  int FStatusCode = 0;
  qint64 FSize = 0;
  QString FErrorText;
};

/// The URLs of a TWebData, owned by it. Must not be changed while a run is active.
class TWebDataCollection {
 public:
  explicit TWebDataCollection(TWebData* owner) : FOwner(owner) {}
  /// Appends a new item with starting values; the collection owns it.
  TWebDataItem* Add();
  int Count() const { return static_cast<int>(FItems.size()); }
  TWebDataItem* Items(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  void Delete(int index);
  void Clear() { FItems.clear(); }
  TWebData* Owner() const { return FOwner; }

 private:
  TWebData* FOwner;
  std::vector<std::unique_ptr<TWebDataItem>> FItems;
};

class TWebData : public QObject {
  Q_OBJECT

 public:
  explicit TWebData(QObject* parent = nullptr);
  /// Ends a running fetch without waiting for the server (no further events), then returns.
  ~TWebData() override;

  /// User-agent name sent with every request ("WebData").
  const QString& Agent() const { return FAgent; }
  void SetAgent(const QString& value) { FAgent = value; }
  /// Proxy server as "host:port" (port 8080 when left out); empty: the system's proxy settings
  /// (no proxy for the loopback host).
  const QString& Proxy() const { return FProxy; }
  void SetProxy(const QString& value) { FProxy = value; }
  /// Credentials for the proxy server; they are given to the proxy, never to the page's server.
  const QString& ProxyUserID() const { return FProxyUserID; }
  void SetProxyUserID(const QString& value) { FProxyUserID = value; }
  const QString& ProxyPassword() const { return FProxyPassword; }
  void SetProxyPassword(const QString& value) { FProxyPassword = value; }
  /// The URLs to fetch.
  TWebDataCollection& Data() { return FData; }
  const TWebDataCollection& Data() const { return FData; }
  TImageType ImageType() const { return FImageType; }
  void SetImageType(TImageType value) { FImageType = value; }
  /// Text a hyperlink must contain to be collected; empty: every link.
  const QString& HyperLinkType() const { return FHyperLinkType; }
  void SetHyperLinkType(const QString& value) { FHyperLinkType = value; }
  /// The component's version, "1.2.0.0".
  QString Version() const;

  /// Largest body read per page, in bytes (16 MiB); a larger page fails.
  qint64 MaxSize() const { return FMaxSize; }
  void SetMaxSize(qint64 value) { FMaxSize = value; }
  /// Time a page may take from the request to its last byte, in milliseconds (30 s).
  int Timeout() const { return FTimeout; }
  void SetTimeout(int value) { FTimeout = value; }
  /// Redirects followed per page (5); one more fails the page.
  int MaxRedirects() const { return FMaxRedirects; }
  void SetMaxRedirects(int value) { FMaxRedirects = value; }

  /// Image sources and hyperlinks collected by the last run (emptied when a run starts). Read
  /// them once OnCollectDone has fired.
  const QStringList& Images() const { return FImages; }
  const QStringList& HyperLinks() const { return FHyperLinks; }

  /// Starts a run over Data on a new fetch thread and returns at once. Returns false, and starts
  /// nothing, while a run is still active: the items are not shared between runs.
  bool Execute();
  /// A run is active (from Execute until just before OnCollectDone).
  bool Running() const { return static_cast<bool>(FThread); }
  /// Ends the active run soon: the current fetch is dropped without events, no further item is
  /// fetched, and OnCollectDone fires as for any other end. Does nothing when idle.
  void Abort();

  /// Fetch thread: page iItem is about to be scanned.
  std::function<void(TWebData* Sender, int iItem)> OnProgress;
  /// Fetch thread: the text cut out of page iItem.
  std::function<void(TWebData* Sender, int iItem, const QString& data)> OnData;
  /// Fetch thread: page iItem failed; errcode is its HTTP status, or kWebDataNotOpened. The item's
  /// ErrorText says why.
  std::function<void(TWebData* Sender, int iItem, int errcode)> OnCollectError;
  /// The thread the component lives on (the user-interface thread): the run is over.
  std::function<void(TWebData* Sender)> OnCollectDone;

 private:
  friend class TWDInetThread;
  void RunEnded();

  QString FAgent = QStringLiteral("WebData");
  QString FProxy;
  QString FProxyUserID;
  QString FProxyPassword;
  TWebDataCollection FData{this};
  TImageType FImageType = TImageType::itAll;
  QString FHyperLinkType;
  qint64 FMaxSize = 16 * 1024 * 1024;
  int FTimeout = 30000;
  int FMaxRedirects = 5;
  QStringList FImages;
  QStringList FHyperLinks;
  std::unique_ptr<TWDInetThread> FThread;
};

}  // namespace components
