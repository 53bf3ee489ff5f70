#pragma once
// How names are laid out under icons: lines break between words, and a word too long for the
// line is broken inside, the way file windows show long file names, instead of being cut short
// with "…" while the line below stays empty.

#include <QFontMetrics>
#include <QString>

namespace shell {

/// text with zero-width break opportunities in each word wider than width pixels in metrics:
/// after its ".", "_" and "-", and between the characters of a piece still too wide. The words
/// that fit, and the spaces between words, are left alone.
QString NavBreakLongWords(const QString& text, const QFontMetrics& metrics, int width);

}  // namespace shell
