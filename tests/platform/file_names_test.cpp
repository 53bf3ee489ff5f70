// File names that are not UTF-8: every byte string comes back from its name exactly, valid UTF-8
// reads as Qt reads it, and the system finds the file by the name.

#include "platform/file_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

namespace {

using platform::FileNameFromBytes;
using platform::FileNameToBytes;

struct TNameCase {
  const char* Name;
  QByteArray Bytes;
  int Stray;  // bytes that are no part of valid UTF-8; 0: the name is Qt's own decoding
};

std::ostream& operator<<(std::ostream& os, const TNameCase& c) { return os << c.Name; }

class FileNameTest : public ::testing::TestWithParam<TNameCase> {};

TEST_P(FileNameTest, BytesComeBackExactlyAndShowAsText) {
  const TNameCase& c = GetParam();
  const QString name = FileNameFromBytes(c.Bytes);
  EXPECT_EQ(FileNameToBytes(name), c.Bytes);
  EXPECT_EQ(platform::FileNameBytes(name), c.Bytes.toStdString());
  const QString shown = platform::DisplayFileName(name);
  EXPECT_EQ(shown.count(QChar::ReplacementCharacter), c.Stray);
  if (c.Stray == 0) {
    EXPECT_EQ(name, QString::fromUtf8(c.Bytes));
    EXPECT_EQ(shown, name);
  } else {
    // As text each stray byte is the replacement character and nothing else changes.
    QString expected = shown;
    expected.remove(QChar::ReplacementCharacter);
    EXPECT_EQ(expected, QString::fromUtf8(c.Bytes).remove(QChar::ReplacementCharacter));
    EXPECT_FALSE(shown.toUtf8().contains('?'));
  }
}

const TNameCase kNameCases[] = {
    {"ascii", "clip.mp4", 0},
    {"utf8_accents", "/home/u/Vid\xc3\xa9os/caf\xc3\xa9.mp4", 0},
    {"utf8_four_bytes", "\xf0\x9f\x98\x80 \xf0\x90\x82\x80.mkv", 0},  // U+1F600, U+10080
    {"latin1_byte", "caf\xe9.mp4", 1},
    {"latin1_before_utf8", "\xe9t\xc3\xa9.avi", 1},
    {"cut_sequence_at_end", "a\xc3", 1},
    {"encoded_surrogate", "\xed\xa0\x80.ts", 3},
    {"overlong_slash", "\xc0\xaf", 2},  // refused by its lead byte already
    // Lead and continuation bytes that pass alone but spell "/" in too many bytes: only the
    // overlong check refuses them.
    {"overlong_slash_three_bytes", "\xe0\x80\xaf", 3},
    {"overlong_slash_four_bytes", "\xf0\x80\x80\xaf", 4},
    {"beyond_unicode", "\xf4\x90\x80\x80", 4},
    {"every_high_byte",
     [] {
       QByteArray all;
       for (int b = 0x80; b <= 0xFF; ++b) all.append(char(b));
       return all;
     }(),
     128},
};

INSTANTIATE_TEST_SUITE_P(Names, FileNameTest, ::testing::ValuesIn(kNameCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(FileNames, TheSystemFindsAFileByItsName) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray folder = QFile::encodeName(dir.path()) + "/d\xe9j\xe0";
  ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
  const QByteArray file = folder + "/caf\xe9.mp4";
  {
    FILE* f = std::fopen(file.constData(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  const QString folderName = FileNameFromBytes(folder);
  const QString fileName = FileNameFromBytes(file);
  EXPECT_TRUE(platform::IsFolderName(folderName));
  EXPECT_FALSE(platform::IsRegularFileName(folderName));
  EXPECT_TRUE(platform::IsRegularFileName(fileName));
  EXPECT_TRUE(platform::FileNameExists(fileName));
  // Qt's own decoding names another file.
  EXPECT_FALSE(platform::FileNameExists(QFile::decodeName(file)));
  EXPECT_FALSE(platform::FileNameExists(fileName + QLatin1Char('x')));
  EXPECT_EQ(platform::FileNameProblem(fileName), QString());
  EXPECT_EQ(platform::FileNameProblem(fileName + QLatin1Char('x')), QStringLiteral("no such file"));
  EXPECT_EQ(platform::FileNameProblem(fileName + QStringLiteral("/below")), QStringLiteral("no such file"));
  // The name is text like any other for path work: joining and cleaning keep its bytes.
  EXPECT_EQ(FileNameToBytes(QDir::cleanPath(folderName + QStringLiteral("/./caf") + fileName.right(5))),
            file);
}

// A folder as the system holds it: every entry listed under its own bytes (QDir leaves out the
// names that are not UTF-8), with what each is.
TEST(FileNames, AFolderIsListedWithEveryNameItHolds) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray root = QFile::encodeName(dir.path());
  for (const QByteArray& file : {QByteArray("caf\xe9.avi"), QByteArray("clip.avi"), QByteArray(".hidden")}) {
    FILE* f = std::fopen((root + '/' + file).constData(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("12345", f);
    std::fclose(f);
  }
  ASSERT_EQ(::mkdir((root + "/d\xe9j\xe0").constData(), 0755), 0);
  ASSERT_EQ(::symlink("d\xe9j\xe0", (root + "/link").constData()), 0);
  ASSERT_EQ(::symlink("nowhere", (root + "/broken").constData()), 0);
  // QDir leaves the Latin-1 names out: the reason this listing exists.
  EXPECT_FALSE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System).join('|').contains("caf"));

  const QString folder = FileNameFromBytes(root);
  const std::vector<platform::TFolderEntry> entries = platform::ReadFolder(folder);
  QStringList names;
  for (const auto& entry : entries) names << entry.Name;
  // In name order: the escaped bytes (U+DCE9) sort after the ASCII letters.
  EXPECT_EQ(names, QStringList({".hidden", "broken", FileNameFromBytes(QByteArray("caf\xe9.avi")), "clip.avi",
                                FileNameFromBytes(QByteArray("d\xe9j\xe0")), "link"}));
  struct TExpected {
    bool Exists, IsFolder, IsRegularFile, IsLink;
    int64_t Size;
  };
  const TExpected expected[] = {{true, false, true, false, 5}, {false, false, false, true, 0},
                                {true, false, true, false, 5}, {true, false, true, false, 5},
                                {true, true, false, false, -1}, {true, true, false, true, -1}};
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(names[qsizetype(i)].toStdString());
    const platform::TFileNameInfo& info = entries[i].Info;
    EXPECT_EQ(info.Exists, expected[i].Exists);
    EXPECT_EQ(info.IsFolder, expected[i].IsFolder);
    EXPECT_EQ(info.IsRegularFile, expected[i].IsRegularFile);
    EXPECT_EQ(info.IsLink, expected[i].IsLink);
    if (expected[i].Size >= 0) {
      EXPECT_EQ(info.Size, expected[i].Size);
    }
    // The name joined to its folder is what FileNameInfo asks about.
    const platform::TFileNameInfo again = platform::FileNameInfo(folder + '/' + entries[i].Name);
    EXPECT_EQ(again.Exists, info.Exists);
    EXPECT_EQ(again.IsFolder, info.IsFolder);
    EXPECT_EQ(again.IsLink, info.IsLink);
  }
  const QString latin1 = folder + '/' + names[2];
  EXPECT_EQ(platform::RegularFileProblem(latin1), QString());
  EXPECT_EQ(platform::RegularFileProblem(folder + '/' + names[4]), QStringLiteral("is a folder"));
  EXPECT_EQ(platform::RegularFileProblem(folder + "/broken"), QStringLiteral("no such file"));
  EXPECT_EQ(platform::RegularFileProblem(QStringLiteral("/dev/null")), QStringLiteral("not a regular file"));
  EXPECT_TRUE(platform::ReadFolder(folder + "/gone").empty());
  EXPECT_TRUE(platform::ReadFolder(latin1).empty());
  // QTemporaryDir cannot find these names to remove them.
  ::unlink((root + "/caf\xe9.avi").constData());
  ::rmdir((root + "/d\xe9j\xe0").constData());
}

// A file: URL gives its bytes back, whatever they are; QUrl::toLocalFile loses those that are
// not UTF-8.
TEST(FileNames, AFileUrlNamesTheFileByItsBytes) {
  struct TUrlCase {
    const char* Url;
    QByteArray Bytes;  // of the name; empty: no local file
  };
  const TUrlCase cases[] = {
      {"file:///v/caf%E9.avi", "/v/caf\xe9.avi"},
      {"file:///v/caf%C3%A9%202.avi", "/v/caf\xc3\xa9 2.avi"},
      {"file:///v/plain.avi", "/v/plain.avi"},
      {"file:///v/%E9t%C3%A9/%FF", "/v/\xe9t\xc3\xa9/\xff"},
      {"http://host/a.avi", ""},
  };
  for (const TUrlCase& c : cases) {
    SCOPED_TRACE(c.Url);
    const QUrl url = QUrl::fromEncoded(c.Url, QUrl::StrictMode);
    const QString name = platform::FileNameFromUrl(url);
    EXPECT_EQ(FileNameToBytes(name), c.Bytes);
    if (c.Bytes.contains('\xe9') || c.Bytes.contains('\xff')) {
      EXPECT_NE(QFile::encodeName(url.toLocalFile()), c.Bytes) << "QUrl keeps the bytes after all";
    }
  }
  EXPECT_EQ(platform::FileNameFromUrl(QUrl(QStringLiteral("file://server/share/a.avi"))),
            QStringLiteral("//server/share/a.avi"));
}

}  // namespace
