#include "components/web_data_scan.h"

namespace components {

namespace {

bool IsSlash(QChar c) { return c == u'/' || c == u'\\'; }

// The scheme text at the front of url ("http://" or "https://", as written), or empty.
QString SchemePrefix(const QString& url) {
  for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")}) {
    if (url.startsWith(scheme, Qt::CaseInsensitive)) return url.left(scheme.size());
  }
  return {};
}

bool ImageWanted(const QString& source, TImageType type) {
  switch (type) {
    case TImageType::itAll:
      return true;
    case TImageType::itGIF:
      return source.contains(QLatin1String(".GIF"), Qt::CaseInsensitive);
    case TImageType::itJPG:
      return source.contains(QLatin1String(".JPG"), Qt::CaseInsensitive);
    case TImageType::itPNG:
      return source.contains(QLatin1String(".PNG"), Qt::CaseInsensitive);
  }
  return false;
}

}  // namespace

std::optional<QString> ExtractText(const QString& content, const QString& scanFirst, const QString& scanFrom,
                                   const QString& scanTo) {
  if (scanFirst.isEmpty()) return content;
  qsizetype at = content.indexOf(scanFirst);
  if (at < 0) return std::nullopt;
  QString text = content.mid(at + scanFirst.size());
  if (!scanFrom.isEmpty()) {
    at = text.indexOf(scanFrom);
    if (at < 0) return std::nullopt;
    text.remove(0, at + scanFrom.size());
  }
  if (scanTo.isEmpty()) return text;
  at = text.indexOf(scanTo);
  if (at < 0) return std::nullopt;
  return text.left(at);
}

QStringList ScanImages(const QString& content, const QString& baseUrl, TImageType type) {
  static const QLatin1String kTag("<IMG");
  static const QLatin1String kSrc("SRC=\"");
  QStringList images;
  QString text = content;
  for (qsizetype at = text.indexOf(kTag, 0, Qt::CaseInsensitive); at >= 0;
       at = text.indexOf(kTag, 0, Qt::CaseInsensitive)) {
    text.remove(0, at + 1);
    const qsizetype src = text.indexOf(kSrc, 0, Qt::CaseInsensitive);
    if (src < 0) continue;
    text.remove(0, src + kSrc.size());
    const qsizetype quote = text.indexOf(u'"');
    if (quote < 0) continue;
    const QString source = ResolveURL(baseUrl, text.left(quote));
    if (ImageWanted(source, type)) images.append(source);
  }
  return images;
}

QStringList ScanLinks(const QString& content, const QString& baseUrl, const QString& linkType) {
  static const QLatin1String kTag("<A");
  static const QLatin1String kHref("HREF=");
  QStringList links;
  QString text = content;
  for (qsizetype at = text.indexOf(kTag, 0, Qt::CaseInsensitive); at >= 0;
       at = text.indexOf(kTag, 0, Qt::CaseInsensitive)) {
    text.remove(0, at + 1);
    const qsizetype href = text.indexOf(kHref, 0, Qt::CaseInsensitive);
    if (href < 0) continue;
    text.remove(0, href + kHref.size());
    if (text.startsWith(u'"')) text.remove(0, 1);
    // The link ends at whichever comes first, a closing quote or the tag's ">".
    const qsizetype quote = text.indexOf(u'"');
    const qsizetype close = text.indexOf(u'>');
    qsizetype end = -1;
    if (quote >= 0 && (close < 0 || quote < close))
      end = quote;
    else if (close >= 0)
      end = close;
    if (end <= 0) continue;
    QString link = text.left(end);
    if (!link.contains(QLatin1String("://"))) link = ResolveURL(baseUrl, link);
    if (linkType.isEmpty() || link.contains(linkType, Qt::CaseInsensitive)) links.append(link);
  }
  return links;
}

QString ResolveURL(const QString& BaseURL, const QString& Link) {
  const QString scheme = SchemePrefix(BaseURL);
  QString prefix = scheme;
  QString rest = BaseURL.mid(scheme.size());
  qsizetype hostEnd = 0;
  while (hostEnd < rest.size() && !IsSlash(rest.at(hostEnd))) ++hostEnd;
  prefix += rest.left(hostEnd);
  rest.remove(0, hostEnd);

  if (Link.contains(QLatin1String("HTTP:"), Qt::CaseInsensitive) ||
      Link.contains(QLatin1String("HTTPS:"), Qt::CaseInsensitive))
    return Link;
  if (Link.startsWith(QLatin1String("//")) && !scheme.isEmpty()) return scheme.left(scheme.size() - 2) + Link;
  if (!Link.isEmpty() && IsSlash(Link.at(0))) return prefix + Link;
  while (!rest.isEmpty() && !IsSlash(rest.back())) rest.chop(1);
  if (rest.isEmpty()) rest = QStringLiteral("/");
  return prefix + rest + Link;
}

}  // namespace components
