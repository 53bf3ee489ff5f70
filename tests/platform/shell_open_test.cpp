// What the desktop is asked to open: a local file by its own bytes (a name that is not UTF-8
// included), a URL as it is; and the warning when nothing can open it shows the name as text.

#include "platform/shell_open.h"

#include <gtest/gtest.h>

#include <QUrl>
#include <ostream>

#include "platform/file_names.h"
#include "platform/recording_prompter.h"
#include "platform/recording_shell_opener.h"

namespace {

struct TUrlCase {
  const char* Name;
  QByteArray Target;  // a file name's bytes, or a URL
  QByteArray Url;     // fully encoded
};

std::ostream& operator<<(std::ostream& os, const TUrlCase& c) { return os << c.Name; }

class ShellUrlTest : public ::testing::TestWithParam<TUrlCase> {};

TEST_P(ShellUrlTest, NamesTheFileByItsBytes) {
  const TUrlCase& c = GetParam();
  const QUrl url = platform::ShellUrl(platform::FileNameFromBytes(c.Target));
  EXPECT_TRUE(url.isValid()) << url.errorString().toStdString();
  EXPECT_EQ(url.toEncoded().toStdString(), c.Url.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Targets, ShellUrlTest,
                         ::testing::Values(TUrlCase{"Plain", "/v/b c.avi", "file:///v/b%20c.avi"},
                                           TUrlCase{"Utf8", "/v/caf\xc3\xa9.avi", "file:///v/caf%C3%A9.avi"},
                                           TUrlCase{"Latin1", "/v/caf\xe9.avi", "file:///v/caf%E9.avi"},
                                           TUrlCase{"UrlSigns", "/v/a#1?.avi", "file:///v/a%231%3F.avi"},
                                           TUrlCase{"Address", "https://example.org/help?x=1",
                                                    "https://example.org/help?x=1"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(OpenOrTellTest, NothingToOpenAFileWithShowsItsNameAsText) {
  testing_support::TRecordingShellOpener opener;
  testing_support::TRecordingPrompter prompter;
  opener.Answer = false;
  const QString target = platform::FileNameFromBytes(QByteArray("/v/caf\xe9.avi"));
  EXPECT_FALSE(platform::OpenOrTell(nullptr, target, QStringLiteral("The file")));
  EXPECT_EQ(opener.Opened, QStringList{target});
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_TRUE(prompter.Messages[0].Text.endsWith(QStringLiteral("It is here:\r/v/caf\uFFFD.avi")))
      << prompter.Messages[0].Text.toStdString();
}

}  // namespace
