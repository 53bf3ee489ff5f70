#include "support/run_alone.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace test_support {

namespace {
constexpr const char* kAloneVariable = "CONVERTER_TEST_ALONE";

// text as one word of sh, whatever it holds: in single quotes, each of its own as '\''.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
}  // namespace

bool RunningAlone() { return std::getenv(kAloneVariable) != nullptr; }

void RunThisTestAlone(const std::vector<std::pair<std::string, std::string>>& environment) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  ASSERT_NE(info, nullptr);
  ASSERT_FALSE(RunningAlone()) << "the state this case needs is taken even in a process of its own";
  const std::string name = std::string(info->test_suite_name()) + "." + info->name();
  std::string command = std::string(kAloneVariable) + "=1 ";
  for (const auto& [variable, value] : environment) command += variable + "=" + ShellQuoted(value) + " ";
  command += "/proc/" + std::to_string(::getpid()) + "/exe --gtest_filter='" + name + "' 2>&1";
  std::FILE* child = ::popen(command.c_str(), "r");
  ASSERT_NE(child, nullptr) << command;
  std::string output;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, child) != nullptr) output += buffer;
  const int status = ::pclose(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << output;
  // A filter that matched nothing passes too: the case must have run and passed.
  EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << command << "\n" << output;
}

}  // namespace test_support
