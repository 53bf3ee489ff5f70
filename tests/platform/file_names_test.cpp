// File names that are not UTF-8: every byte string comes back from its name exactly, valid UTF-8
// reads as Qt reads it, and the system finds the file by the name.

#include "platform/file_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
    {"overlong_slash", "\xc0\xaf", 2},
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

}  // namespace
