#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include "app/settings/temp_folder.h"

namespace {

using platform::TIniFile;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FTemp.isValid()); }
  QString Path(const char* name) const { return FTemp.filePath(QLatin1String(name)); }
  QTemporaryDir FTemp = testing_support::MakeTempFolder("ini");
};

TEST_F(IniFileTest, ReadsValuesLikeTheProfileFunctions) {
  ASSERT_TRUE(WriteBytes(Path("a.ini"),
                         "; comment\r\n[Converter]\r\n  LocOption = 2 \r\nlocation=/home/a b/out\r\n"
                         "AddView=abc\r\nHeight=\r\nWidth=12px\r\nUpdate=0\r\nCustom=1000x500\r\n"
                         "Big=99999999999\r\nNeg=-3\r\n[Other]\r\nKey=x=y\r\n"));
  const TIniFile ini(Path("a.ini"));
  EXPECT_EQ(ini.ReadInteger("converter", "LOCOPTION", 1), 2);  // names match in any case
  EXPECT_EQ(ini.ReadString("Converter", "Location", ""), QStringLiteral("/home/a b/out"));
  EXPECT_EQ(ini.ReadInteger("Converter", "AddView", 1), 1);  // invalid: the default
  EXPECT_EQ(ini.ReadInteger("Converter", "Height", 600), 600);
  EXPECT_EQ(ini.ReadInteger("Converter", "Width", 750), 750);
  EXPECT_EQ(ini.ReadInteger("Converter", "Big", 7), 7);  // beyond int
  EXPECT_EQ(ini.ReadInteger("Converter", "Neg", 7), -3);
  EXPECT_FALSE(ini.ReadBool("Converter", "Update", true));
  EXPECT_TRUE(ini.ReadBool("Converter", "Missing", true));
  EXPECT_TRUE(ini.ValueExists("Converter", "Height"));
  EXPECT_FALSE(ini.ValueExists("Settings", "Height"));
  EXPECT_EQ(ini.ReadString("Other", "Key", ""), QStringLiteral("x=y"));
  EXPECT_EQ(ini.ReadString("Other", "Missing", "dflt"), QStringLiteral("dflt"));
}

TEST_F(IniFileTest, WritingKeepsOrderUnknownKeysAndComments) {
  ASSERT_TRUE(
      WriteBytes(Path("b.ini"), "; keep me\n[Converter]\nUpdate=1\nMine=abc\nLocOption=1\n\n[Extra]\nz=1\n"));
  TIniFile ini(Path("b.ini"));
  ini.WriteInteger("Converter", "locoption", 3);  // updated in place, the stored name kept
  ini.WriteBool("Converter", "Update", false);
  ini.WriteString("Converter", "Custom", "1000x500");  // new: end of its section
  ini.WriteInteger("Settings", "VideoFormat2", 4);     // new section at the end
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(ReadBytes(Path("b.ini")),
            QByteArray("; keep me\n[Converter]\nUpdate=0\nMine=abc\nLocOption=3\nCustom=1000x500\n\n"
                       "[Extra]\nz=1\n\n[Settings]\nVideoFormat2=4\n"));
  EXPECT_EQ(TIniFile(Path("b.ini")).ReadInteger("Settings", "VideoFormat2", 0), 4);
}

TEST_F(IniFileTest, ValuesStayOnOneLineAndUtf8RoundTrips) {
  TIniFile ini(Path("c.ini"));
  ini.WriteString("Converter", "Location", QStringLiteral("/tmp/evil\nLocOption=3"));
  ini.WriteString("Converter", "AddPath", QStringLiteral("/home/jörg/Видео 日本"));
  ASSERT_TRUE(ini.UpdateFile());
  const TIniFile again(Path("c.ini"));
  EXPECT_FALSE(again.ValueExists("Converter", "LocOption"));
  EXPECT_EQ(again.ReadString("Converter", "Location", ""), QStringLiteral("/tmp/evil LocOption=3"));
  EXPECT_EQ(again.ReadString("Converter", "AddPath", ""), QStringLiteral("/home/jörg/Видео 日本"));
}

// Only a line that is not UTF-8 is read as Latin-1 (and saved as UTF-8); every valid line, accented
// or not, keeps its bytes through a read and a save.
TEST_F(IniFileTest, ALineThatIsNotUtf8IsReadAsLatin1AndTheOthersKeepTheirBytes) {
  struct TCase {
    const char* Name;
    QByteArray Before;
    QByteArray After;  // the file once saved
    QString Location;  // [Converter] Location as read
  };
  const TCase cases[] = {
      {"bad byte after the accented line", "[Converter]\nLocation=/home/u/Vid\xc3\xa9os\nName=caf\xe9\n",
       "[Converter]\nLocation=/home/u/Vid\xc3\xa9os\nName=caf\xc3\xa9\n", QStringLiteral("/home/u/Vidéos")},
      {"bad byte before it, CR LF line ends (kept)",
       "; \xa9 2009\r\n[Converter]\r\nLocation=/home/u/Vid\xc3\xa9os\r\n",
       "; \xc2\xa9 2009\r\n[Converter]\r\nLocation=/home/u/Vid\xc3\xa9os\r\n", QStringLiteral("/home/u/Vidéos")},
      {"the bad line is the value read", "[Converter]\nLocation=/home/u/Vid\xe9os\nOther=\xe6\x97\xa5\n",
       "[Converter]\nLocation=/home/u/Vid\xc3\xa9os\nOther=\xe6\x97\xa5\n", QStringLiteral("/home/u/Vidéos")},
      {"a byte-order mark, as some editors write",
       "\xEF\xBB\xBF[Converter]\r\nLocation=/home/u/Vid\xc3\xa9os\r\n",
       "\xEF\xBB\xBF[Converter]\r\nLocation=/home/u/Vid\xc3\xa9os\r\n", QStringLiteral("/home/u/Vidéos")},
      {"a cut UTF-8 sequence on the last line", "[Converter]\nLocation=/home/u/Vid\xc3\xa9os\nTail=\xc3",
       "[Converter]\nLocation=/home/u/Vid\xc3\xa9os\nTail=\xc3\x83\n", QStringLiteral("/home/u/Vidéos")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(WriteBytes(Path("e.ini"), c.Before));
    const TIniFile ini(Path("e.ini"));
    EXPECT_EQ(ini.ReadString("Converter", "Location", ""), c.Location);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadBytes(Path("e.ini")), c.After);
    // Saved again, nothing changes any more.
    ASSERT_TRUE(TIniFile(Path("e.ini")).UpdateFile());
    EXPECT_EQ(ReadBytes(Path("e.ini")), c.After);
  }
}

TEST_F(IniFileTest, FailedWriteLeavesNothingHalfWritten) {
  // A folder where the file should be: the save cannot even start.
  ASSERT_TRUE(QDir().mkpath(Path("taken.ini")));
  TIniFile blocked(Path("taken.ini"));
  blocked.WriteInteger("Converter", "LocOption", 2);
  EXPECT_FALSE(blocked.UpdateFile());
  EXPECT_TRUE(QFileInfo(Path("taken.ini")).isDir());
  EXPECT_FALSE(TIniFile(QString()).UpdateFile());
  // A missing folder is not created by the INI file itself.
  TIniFile noFolder(Path("missing/x.ini"));
  noFolder.WriteInteger("A", "B", 1);
  EXPECT_FALSE(noFolder.UpdateFile());
  EXPECT_FALSE(QFileInfo::exists(Path("missing")));
}

// Found by fuzzing: a file whose lines end in "\r\r\n" (line ends converted twice) changed at every
// save, one carriage return at a time. It now reads and saves to the same text, with the CR LF line
// ends of a file from Windows.
TEST_F(IniFileTest, DoubleCarriageReturnsAreOneLineEnd) {
  ASSERT_TRUE(WriteBytes(Path("d.ini"), "; comment\r\r\n[Converter]\r\r\nUpdate = 1 \r\r\n"));
  const TIniFile first(Path("d.ini"));
  EXPECT_TRUE(first.ReadBool("Converter", "Update", false));
  ASSERT_TRUE(first.UpdateFile());
  EXPECT_EQ(ReadBytes(Path("d.ini")), QByteArray("; comment\r\n[Converter]\r\nUpdate = 1 \r\n"));
  EXPECT_EQ(TIniFile(Path("d.ini")).Text(), first.Text());
  ASSERT_TRUE(TIniFile(Path("d.ini")).UpdateFile());
  EXPECT_EQ(ReadBytes(Path("d.ini")), QByteArray("; comment\r\n[Converter]\r\nUpdate = 1 \r\n"));
}

// A section header keeps its bytes through a save, blanks around or inside its brackets included,
// while values of its section are found by the bare name and written in their place.
TEST_F(IniFileTest, SectionHeadersAreSavedAsTheyWereWritten) {
  struct TCase {
    const char* Header;
    const char* Name;
  };
  const TCase cases[] = {
      {"  [Weird]  ", "Weird"},
      {"\t[ Spaced Out ]\t", "Spaced Out"},
      {"[Converter]", "Converter"},
      {"[converter]", "Converter"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Header);
    for (const QByteArray& end : {QByteArray("\n"), QByteArray("\r\n")}) {
      const QByteArray before = "; top" + end + c.Header + end + "Key=1" + end + "[Next]" + end + "z=2" + end;
      ASSERT_TRUE(WriteBytes(Path("h.ini"), before));
      TIniFile ini(Path("h.ini"));
      EXPECT_EQ(ini.ReadInteger(c.Name, "Key", 0), 1);
      ASSERT_TRUE(ini.UpdateFile());
      EXPECT_EQ(ReadBytes(Path("h.ini")), before);
      ini.WriteInteger(c.Name, "Key", 3);
      ini.WriteInteger(c.Name, "Added", 4);
      ASSERT_TRUE(ini.UpdateFile());
      EXPECT_EQ(ReadBytes(Path("h.ini")),
                "; top" + end + c.Header + end + "Key=3" + end + "Added=4" + end + "[Next]" + end + "z=2" + end);
    }
  }
}

// A file whose lines end in CR LF keeps them when a value changes or is added; one with LF keeps LF.
TEST_F(IniFileTest, SavingKeepsTheFilesLineEnds) {
  for (const QByteArray& end : {QByteArray("\r\n"), QByteArray("\n")}) {
    SCOPED_TRACE(end == "\n" ? "LF" : "CR LF");
    ASSERT_TRUE(WriteBytes(Path("l.ini"), "; kept" + end + "[Converter]" + end + "Update=1" + end));
    TIniFile ini(Path("l.ini"));
    ini.WriteBool("Converter", "Update", false);
    ini.WriteString("Converter", "Location", QStringLiteral("/home/u"));
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadBytes(Path("l.ini")),
              "; kept" + end + "[Converter]" + end + "Update=0" + end + "Location=/home/u" + end);
  }
}

}  // namespace
