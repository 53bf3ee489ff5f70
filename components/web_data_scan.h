#pragma once
// The text work of the HTTP fetch component: cutting a piece out of a page between delimiters,
// collecting image sources and hyperlinks, and making links absolute. Plain functions on the page
// text, so they run on the fetch thread and in tests alike.

#include <QString>
#include <QStringList>
#include <optional>

namespace components {

/// Which image sources a page scan collects: all, or those naming a ".gif", ".jpg" or ".png" file.
enum class TImageType { itAll, itGIF, itJPG, itPNG };

/// The piece of content that the delimiters select (case-sensitive):
/// - scanFirst empty: the whole content;
/// - else, when scanFirst occurs, the text after its first occurrence; then, after the first
///   scanFrom (an empty scanFrom skips nothing); then up to the first scanTo (an empty scanTo
///   takes the rest).
/// No value when scanFirst, scanFrom or scanTo is missing from the text.
std::optional<QString> ExtractText(const QString& content, const QString& scanFirst, const QString& scanFrom,
                                   const QString& scanTo);

/// Sources of the page's "<img ... src="..."" tags (names ignore case), made absolute against
/// baseUrl and filtered by type, in page order.
QStringList ScanImages(const QString& content, const QString& baseUrl, TImageType type);

/// Targets of the page's "<a ... href=...>" tags, quoted or written up to the ">", in page order.
/// Links without "://" are made absolute against baseUrl. With a non-empty linkType only links
/// containing it (ignoring case) are kept.
QStringList ScanLinks(const QString& content, const QString& baseUrl, const QString& linkType);

/// Link made absolute against the page address baseUrl:
/// - a link with an "http:" or "https:" scheme stands as it is;
/// - "/x" (or "\x") goes below the base's scheme and host, "//host/x" takes the base's scheme;
/// - anything else goes into the base's folder (the text up to its last "/" or "\").
/// A base without "http://" or "https://" has no scheme: its text up to the first "/" or "\" is
/// taken as the host.
QString ResolveURL(const QString& BaseURL, const QString& Link);

}  // namespace components
