#include "shell/nav_item_text.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>

#include "fake_home.h"

namespace {

const QChar kBreak(0x200B);

// The lines a word-wrapping layout of text makes at width, without the break marks.
QStringList Lines(const QString& text, const QFont& font, int width) {
  QTextLayout layout(text, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WordWrap);
  layout.setTextOption(option);
  QStringList lines;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    lines << text.mid(line.textStart(), line.textLength()).remove(kBreak).trimmed();
  }
  layout.endLayout();
  return lines;
}

TEST(ItemTextTest, LongNamesBreakAtTheirMarksThenAnywhereAndShortOnesStayWhole) {
  testing_support::ShellApp();
  const QFont font;
  const QFontMetrics metrics(font);
  const int narrow = metrics.horizontalAdvance(QStringLiteral("small51.")) + 2;
  struct TCase {
    QString Name;
    QStringList Shown;  // the lines when the widest of them just fits
  };
  const TCase cases[] = {
      {"clip", {"clip"}},
      {"small51.mkv", {"small51.", "mkv"}},
      {"web_clip-2.webm", {"web_clip-", "2.webm"}},
      {"two words.mkv", {"two", "words.", "mkv"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name.toStdString());
    int width = 0;
    for (const QString& line : c.Shown) width = std::max(width, metrics.horizontalAdvance(line) + 2);
    const QString broken = shell::NavBreakLongWords(c.Name, metrics, width);
    EXPECT_EQ(QString(broken).remove(kBreak), c.Name);
    EXPECT_EQ(Lines(broken, font, width), c.Shown);
  }
  // One long piece with no marks: every line fits, nothing is lost.
  const QString run = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
  const QString broken = shell::NavBreakLongWords(run, metrics, narrow);
  const QStringList lines = Lines(broken, font, narrow);
  EXPECT_GT(lines.size(), 1);
  EXPECT_EQ(lines.join(QString()), run);
  for (const QString& line : lines) EXPECT_LE(metrics.horizontalAdvance(line), narrow) << line.toStdString();
  // Wide enough: untouched.
  EXPECT_EQ(shell::NavBreakLongWords(run, metrics, metrics.horizontalAdvance(run)), run);
}

}  // namespace
