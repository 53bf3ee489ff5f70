#pragma once
// A small INI file reader and writer that behaves like the Windows profile-string functions the
// settings file format comes from: section and key names match case-insensitively, a key that is
// written again keeps its place, a new key goes to the end of its section, integers are decimal
// and booleans are written as "1" and "0". Lines it does not understand (comments, unknown keys,
// blank lines) are kept as they were. QSettings is not used because it quotes values, reorders
// keys and writes booleans as true/false.

#include <QString>
#include <QStringList>
#include <vector>

namespace platform {

class TIniFile {
 public:
  /// Reads fileName when it exists and is readable; otherwise starts empty. Nothing is written
  /// until UpdateFile.
  explicit TIniFile(QString fileName);

  const QString& FileName() const { return FFileName; }

  bool SectionExists(const QString& section) const;
  bool ValueExists(const QString& section, const QString& key) const;
  /// The value with blanks around it removed, or defaultValue when the key is missing.
  QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
  /// A decimal integer (blanks and a sign allowed); a missing key or any other text gives defaultValue.
  int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
  /// Read as an integer: non-zero is true; a missing or invalid value gives defaultValue.
  bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

  /// Sets a value in memory. Line breaks in value become blanks, because the file holds one key
  /// per line and a break would start a key of its own.
  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int value);
  /// Writes "1" or "0".
  void WriteBool(const QString& section, const QString& key, bool value);

  /// The file as it would be written (UTF-8, "\n" line ends).
  QString Text() const;
  /// Writes the file atomically (temporary file, then rename). Returns false when it could not be
  /// written; the file on disk is then left as it was.
  bool UpdateFile() const;

 private:
  struct TLine {
    QString Text;   // the line as read or written, without its line end
    QString Key;    // the key when the line is "key=value", else empty
    QString Value;  // the value with blanks trimmed
  };
  struct TSection {
    QString Name;              // empty for lines before the first section header
    std::vector<TLine> Lines;  // the header line is not among them
    QString Header;            // the header line as read ("  [Name]  "); empty for a new section
  };

  /// Index into FSections, or -1. Index 0 (the lines before the first header) is never found.
  int SectionIndex(const QString& name) const;
  const TLine* FindLine(const QString& section, const QString& key) const;
  /// The file's lines, split at LF (a CR before it is still there).
  void Parse(const QStringList& lines);

  QString FFileName;
  std::vector<TSection> FSections;  // FSections[0] always holds the lines before the first header
  bool FByteOrderMark = false;      // the file began with one; saving keeps it
  bool FCrLf = false;               // its lines ended in CR LF (a file from Windows); saving keeps them
};

}  // namespace platform
