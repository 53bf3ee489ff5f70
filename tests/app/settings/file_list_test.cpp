#include "app/settings/file_list.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "app/settings/temp_folder.h"
#include "platform/file_names.h"

namespace {

using testing_support::ReadBytes;
using testing_support::WriteBytes;

class FileListTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FTemp.isValid()); }
  QString Path(const char* name) const { return FTemp.filePath(QLatin1String(name)); }
  QTemporaryDir FTemp = testing_support::MakeTempFolder("fls");
};

TEST_F(FileListTest, SavedListReadsBackUnchanged) {
  const QStringList paths = {QStringLiteral("/home/user/My Videos/clip one.avi"),
                             QStringLiteral("/media/Jörg/Видео/日本 語.mkv"), QStringLiteral("/tmp/a.mp4")};
  ASSERT_TRUE(app::SaveFileList(Path("list.fls"), paths));
  EXPECT_EQ(ReadBytes(Path("list.fls")), (paths.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
  EXPECT_EQ(app::LoadFileList(Path("list.fls")), paths);
}

// A line that is not UTF-8 names its file by its bytes when that file exists (absolute, or relative
// to the list's folder); otherwise it is an old 8-bit list. Saved again, the bytes stay.
TEST_F(FileListTest, ALineThatIsNotUtf8KeepsItsBytesWhenTheyNameAFile) {
  const QByteArray folder = platform::FileNameToBytes(FTemp.path());
  FILE* file = std::fopen((folder + "/caf\xe9.avi").constData(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  const QByteArray list = folder + "/caf\xe9.avi\ncaf\xe9.avi\r\n/nowhere/j\xf6rg.avi\n/tmp/\xc3\xa9.avi\n";
  ASSERT_TRUE(WriteBytes(Path("bytes.fls"), list));
  const QStringList paths = app::LoadFileList(Path("bytes.fls"));
  ASSERT_EQ(paths.size(), 4);
  EXPECT_EQ(platform::FileNameToBytes(paths[0]), folder + "/caf\xe9.avi");
  EXPECT_EQ(platform::FileNameToBytes(paths[1]), QByteArray("caf\xe9.avi"));
  EXPECT_EQ(paths[2], QStringLiteral("/nowhere/jörg.avi"));
  EXPECT_EQ(paths[3], QStringLiteral("/tmp/é.avi"));
  ASSERT_TRUE(app::SaveFileList(Path("again.fls"), paths));
  EXPECT_EQ(ReadBytes(Path("again.fls")),
            folder + "/caf\xe9.avi\ncaf\xe9.avi\n/nowhere/j\xc3\xb6rg.avi\n/tmp/\xc3\xa9.avi\n");
}

TEST_F(FileListTest, ReadsLegacyAndForeignFiles) {
  struct TCase {
    const char* Name;
    QByteArray Bytes;
    QStringList Expected;
  };
  const TCase cases[] = {
      // A list from a Windows-era version: 8-bit text, CRLF.
      {"latin1.fls",
       QByteArray("/home/j\xF6rg/V\xED"
                  "deo 1.avi\r\n/tmp/b.avi\r\n"),
       {QStringLiteral("/home/jörg/Vídeo 1.avi"), QStringLiteral("/tmp/b.avi")}},
      {"crlf.fls",
       QByteArray("/a/\xC3\xA9t\xC3\xA9.avi\r\n/b/c d.avi\r\n"),
       {QStringLiteral("/a/été.avi"), QStringLiteral("/b/c d.avi")}},
      {"bom.fls", QByteArray("\xEF\xBB\xBF/a.avi\n"), {QStringLiteral("/a.avi")}},
      // Found by fuzzing: a mark behind a stray carriage return once stayed in the first path, and
      // the list read back after saving lost it.
      {"cr-bom.fls", QByteArray("\r\xEF\xBB\xBF/a.avi\r\n"), {QStringLiteral("/a.avi")}},
      {"noend.fls", QByteArray("/a.avi\n/b.avi"), {QStringLiteral("/a.avi"), QStringLiteral("/b.avi")}},
      {"empty.fls", QByteArray(), {}},
  };
  for (const TCase& c : cases) {
    ASSERT_TRUE(WriteBytes(Path(c.Name), c.Bytes));
    EXPECT_EQ(app::LoadFileList(Path(c.Name)), c.Expected) << c.Name;
  }
  EXPECT_TRUE(app::LoadFileList(Path("missing.fls")).isEmpty());
}

}  // namespace
