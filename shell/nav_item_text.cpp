#include "shell/nav_item_text.h"

namespace shell {

namespace {

constexpr QChar kZeroWidthSpace(0x200B);

// A word too wide for the line: a break after each ".", "_" and "-" first, so that "clip.mkv"
// becomes "clip." and "mkv"; a piece still too wide may break after any character.
void BreakWord(const QString& word, const QFontMetrics& metrics, int width, QString& out) {
  qsizetype start = 0;
  while (start < word.size()) {
    qsizetype end = start;
    while (end < word.size() && !QStringLiteral("._-").contains(word.at(end))) ++end;
    if (end < word.size()) ++end;  // the mark stays with the piece before the break
    const QString piece = word.mid(start, end - start);
    if (start > 0) out += kZeroWidthSpace;
    if (metrics.horizontalAdvance(piece) <= width) {
      out += piece;
    } else {
      for (qsizetype i = 0; i < piece.size(); ++i) {
        // Never between the halves of a surrogate pair.
        if (i > 0 && !piece.at(i).isLowSurrogate()) out += kZeroWidthSpace;
        out += piece.at(i);
      }
    }
    start = end;
  }
}

}  // namespace

QString NavBreakLongWords(const QString& text, const QFontMetrics& metrics, int width) {
  if (width <= 0 || metrics.horizontalAdvance(text) <= width) return text;
  QString result;
  result.reserve(text.size() * 2);
  qsizetype start = 0;
  while (start < text.size()) {
    qsizetype end = text.indexOf(QLatin1Char(' '), start);
    if (end < 0) end = text.size();
    const QString word = text.mid(start, end - start);
    if (metrics.horizontalAdvance(word) <= width)
      result += word;
    else
      BreakWord(word, metrics, width, result);
    if (end < text.size()) result += QLatin1Char(' ');
    start = end + 1;
  }
  return result;
}

}  // namespace shell
