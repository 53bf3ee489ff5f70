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

// A cursor over a page for the tag scans; names of tags and attributes ignore case. It only moves
// forward, so a scan is linear in the page's length.
struct TTagScan {
  const QString& Text;
  qsizetype Pos = 0;

  /// Moves just past the "<" of the next tag; false when none is left.
  bool NextTag(QLatin1String tag) {
    const qsizetype at = Text.indexOf(tag, Pos, Qt::CaseInsensitive);
    if (at < 0) return false;
    Pos = at + 1;
    return true;
  }
  /// Moves just past the next occurrence of attribute; false, staying put, when none follows.
  bool SkipPast(QLatin1String attribute) {
    const qsizetype at = Text.indexOf(attribute, Pos, Qt::CaseInsensitive);
    if (at < 0) return false;
    Pos = at + attribute.size();
    return true;
  }
};

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
  QStringList images;
  TTagScan scan{content};
  while (scan.NextTag(QLatin1String("<IMG"))) {
    if (!scan.SkipPast(QLatin1String("SRC=\""))) continue;
    const qsizetype quote = content.indexOf(u'"', scan.Pos);
    if (quote < 0) continue;
    const QString source = ResolveURL(baseUrl, content.mid(scan.Pos, quote - scan.Pos));
    if (ImageWanted(source, type)) images.append(source);
  }
  return images;
}

QStringList ScanLinks(const QString& content, const QString& baseUrl, const QString& linkType) {
  QStringList links;
  TTagScan scan{content};
  while (scan.NextTag(QLatin1String("<A"))) {
    if (!scan.SkipPast(QLatin1String("HREF="))) continue;
    if (scan.Pos < content.size() && content.at(scan.Pos) == u'"') ++scan.Pos;
    // The link ends at whichever comes first, a closing quote or the tag's ">".
    const qsizetype quote = content.indexOf(u'"', scan.Pos);
    const qsizetype close = content.indexOf(u'>', scan.Pos);
    qsizetype end = -1;
    if (quote >= 0 && (close < 0 || quote < close))
      end = quote;
    else if (close >= 0)
      end = close;
    if (end <= scan.Pos) continue;
    QString link = content.mid(scan.Pos, end - scan.Pos);
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
