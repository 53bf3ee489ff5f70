#include "platform/ini_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace platform {

namespace {

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString OneLine(QString value) {
  value.replace(QLatin1Char('\r'), QLatin1Char(' '));
  value.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return value;
}

}  // namespace

TIniFile::TIniFile(QString fileName) : FFileName(std::move(fileName)) {
  FSections.push_back(TSection{});
  QFile file(FFileName);
  if (!FFileName.isEmpty() && file.open(QIODevice::ReadOnly)) {
    // Line by line: a line edited by hand in a legacy editor may not be UTF-8, and is read as
    // Latin-1; every other line keeps its text, so saving writes it back byte for byte.
    QByteArray bytes = file.readAll();
    FByteOrderMark = bytes.startsWith("\xEF\xBB\xBF");
    if (FByteOrderMark) bytes.remove(0, 3);
    const QList<QByteArray> raw = bytes.split('\n');
    FCrLf = raw.size() > 1 && raw[0].endsWith('\r');
    QStringList lines;
    lines.reserve(raw.size());
    for (const QByteArray& bytesOfLine : raw) {
      QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
      const QString line = utf8.decode(bytesOfLine);
      lines.append(utf8.hasError() ? QString::fromLatin1(bytesOfLine) : line);
    }
    Parse(lines);
  }
}

void TIniFile::Parse(const QStringList& lines) {
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString line = lines[i];
    while (line.endsWith(QLatin1Char('\r'))) line.chop(1);  // "\r\n", and "\r\r\n" from a twice-converted file
    if (i == lines.size() - 1 && line.isEmpty()) break;  // the final line end
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
      FSections.push_back(TSection{trimmed.mid(1, trimmed.size() - 2).trimmed(), {}, line});
      continue;
    }
    TLine entry{line, {}, {}};
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq > 0 && !trimmed.startsWith(QLatin1Char(';')) && !trimmed.startsWith(QLatin1Char('#'))) {
      entry.Key = line.left(eq).trimmed();
      entry.Value = line.mid(eq + 1).trimmed();
    }
    FSections.back().Lines.push_back(std::move(entry));
  }
}

int TIniFile::SectionIndex(const QString& name) const {
  for (size_t i = 1; i < FSections.size(); ++i)
    if (SameName(FSections[i].Name, name)) return static_cast<int>(i);
  return -1;
}

const TIniFile::TLine* TIniFile::FindLine(const QString& section, const QString& key) const {
  const int index = SectionIndex(section);
  if (index < 0) return nullptr;
  for (const TLine& line : FSections[index].Lines)
    if (!line.Key.isEmpty() && SameName(line.Key, key)) return &line;
  return nullptr;
}

bool TIniFile::SectionExists(const QString& section) const { return SectionIndex(section) >= 0; }

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
  return FindLine(section, key) != nullptr;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const {
  const TLine* line = FindLine(section, key);
  return line != nullptr ? line->Value : defaultValue;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
  const TLine* line = FindLine(section, key);
  if (line == nullptr) return defaultValue;
  bool ok = false;
  const int value = line->Value.toInt(&ok, 10);
  return ok ? value : defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  const QString text = OneLine(value);
  int index = SectionIndex(section);
  if (index < 0) {
    // A new section starts after a blank line unless it is the first thing in the file.
    TSection& last = FSections.back();
    const bool fileEmpty = FSections.size() == 1 && last.Lines.empty();
    if (!fileEmpty && (last.Lines.empty() || !last.Lines.back().Text.trimmed().isEmpty()))
      last.Lines.push_back(TLine{});
    FSections.push_back(TSection{section, {}, {}});
    index = static_cast<int>(FSections.size()) - 1;
  }
  TSection* s = &FSections[index];
  for (TLine& line : s->Lines) {
    if (!line.Key.isEmpty() && SameName(line.Key, key)) {
      line.Text = line.Key + QLatin1Char('=') + text;
      line.Value = text.trimmed();
      return;
    }
  }
  // After the last non-blank line of the section, so the blank line before the next header stays.
  auto pos = s->Lines.end();
  while (pos != s->Lines.begin() && std::prev(pos)->Text.trimmed().isEmpty()) --pos;
  s->Lines.insert(pos, TLine{key + QLatin1Char('=') + text, key, text.trimmed()});
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QString TIniFile::Text() const {
  QString text;
  for (size_t i = 0; i < FSections.size(); ++i) {
    if (i > 0) {
      const TSection& section = FSections[i];
      // A header is written back as it was read, blanks around it included.
      text += (section.Header.isEmpty() ? QLatin1Char('[') + section.Name + QLatin1Char(']') : section.Header) +
              QLatin1Char('\n');
    }
    for (const TLine& line : FSections[i].Lines) text += line.Text + QLatin1Char('\n');
  }
  return text;
}

bool TIniFile::UpdateFile() const {
  if (FFileName.isEmpty()) return false;
  QSaveFile file(FFileName);
  if (!file.open(QIODevice::WriteOnly)) return false;
  QString text = Text();
  if (FCrLf) text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  const QByteArray bytes = (FByteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + text.toUtf8();
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace platform
