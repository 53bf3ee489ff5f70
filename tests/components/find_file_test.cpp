#include "components/find_file.h"

#include <QString>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/main_thread.h"
#include "platform/prompter.h"

namespace {

namespace fs = std::filesystem;
using components::TContentSearchOption;
using components::TFileAttributeStatus;
using components::TFindFile;
using components::TFolderIgnore;

fs::path TestRoot() {
  const char* tmp = std::getenv("CONVERTER_TEST_TMP");
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  fs::path root = fs::path(tmp != nullptr ? tmp : fs::temp_directory_path().string()) / "find_file" / name;
  fs::remove_all(root);
  fs::create_directories(root);
  return root;
}

void WriteFile(const fs::path& path, const std::string& bytes = "x") {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Runs a search and returns the matches as paths relative to root, sorted.
std::vector<std::string> Search(TFindFile& finder, const fs::path& root) {
  std::vector<std::string> found;
  finder.OnFileMatch = [&](const components::TFileDetails& d) {
    found.push_back(fs::path(d.Location + d.Name).lexically_relative(root).string());
  };
  finder.Execute();
  std::sort(found.begin(), found.end());
  return found;
}

using Names = std::vector<std::string>;

// ---- Target paths --------------------------------------------------------------------------

struct TTargetCase {
  const char* FileName;
  const char* Location;
  std::vector<std::string> Paths;
  // Expected: one entry per target, "folder|mask,mask|subfolders|min|max".
  std::vector<std::string> Targets;
  friend void PrintTo(const TTargetCase& c, std::ostream* os) { *os << c.Location; }
};

class TargetPathsTest : public ::testing::TestWithParam<TTargetCase> {};

TEST_P(TargetPathsTest, BuildsTargetsFromLocationAndPaths) {
  components::TFileCriteria c;
  c.SetFileName(GetParam().FileName);
  c.SetLocation(GetParam().Location);
  c.SetPaths(GetParam().Paths);
  std::vector<std::string> got;
  for (const auto& t : c.TargetPaths()) {
    std::string masks;
    for (const auto& m : t.Masks) masks += (masks.empty() ? "" : ",") + m;
    got.push_back(t.Folder + "|" + masks + "|" + (t.Subfolders ? "sub" : "nosub") + "|" + std::to_string(t.MinLevel) +
                  "|" + std::to_string(t.MaxLevel));
  }
  EXPECT_EQ(got, GetParam().Targets);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TargetPathsTest,
    ::testing::Values(
        TTargetCase{"*.AVI;*.avi; ;*.mkv", "/m", {}, {"/m/|*.AVI,*.mkv|sub|0|0"}},
        TTargetCase{"", "/m/", {}, {"/m/|*.*|sub|0|0"}},
        TTargetCase{"*.avi", "2-3>/m", {}, {"/m/|*.avi|sub|2|3"}},
        TTargetCase{"*.avi", " 4 >/m", {}, {"/m/|*.avi|sub|0|4"}},
        TTargetCase{"*.avi", "x-y>/m", {}, {"/m/|*.avi|sub|0|0"}},
        TTargetCase{"*.avi", "</m;/n", {}, {"/m/|*.avi|nosub|0|0", "/n/|*.avi|sub|0|0"}},
        TTargetCase{"*.avi", "/m; /m/ ;", {}, {"/m/|*.avi|sub|0|0"}},
        TTargetCase{"*.avi", "/m", {"2>/m/*.mkv", "", "</n/"},
                    {"/m/|*.avi,*.mkv|sub|0|2", "/n/|*.*|nosub|0|0"}}));

TEST(TargetPathsCacheTest, FiltersKeepTheCacheOtherPropertiesRebuildIt) {
  components::TFileCriteria c;
  c.SetLocation("/m");
  const auto* first = &c.TargetPaths().front();
  c.SetFilters({"<*.tmp", "<*.TMP", ">*.x"});
  EXPECT_EQ(first, &c.TargetPaths().front());
  EXPECT_EQ(c.Filters(), (Names{"<*.tmp", ">*.x"}));
  c.SetFileName("*.avi");
  EXPECT_EQ(c.TargetPaths().front().Masks, Names{"*.avi"});
}

// ---- Wildcards -----------------------------------------------------------------------------

struct TWildcardCase {
  const char* Name;
  const char* Mask;
  bool Match;
  friend void PrintTo(const TWildcardCase& c, std::ostream* os) { *os << c.Name << " ~ " << c.Mask; }
};

class WildcardTest : public ::testing::TestWithParam<TWildcardCase> {};

TEST_P(WildcardTest, MatchesTable) {
  EXPECT_EQ(components::WildcardMatch(GetParam().Name, GetParam().Mask), GetParam().Match)
      << GetParam().Name << " vs " << GetParam().Mask;
}

INSTANTIATE_TEST_SUITE_P(
    Masks, WildcardTest,
    ::testing::Values(TWildcardCase{"clip.Avi", "*.avi", true}, TWildcardCase{"clip.avi.txt", "*.avi", false},
                      TWildcardCase{"aaab", "*aab", true}, TWildcardCase{"abc", "a*?c", true},
                      TWildcardCase{"ac", "a*?c", false}, TWildcardCase{"abc", "?b?", true},
                      TWildcardCase{"abcd", "?b?", false}, TWildcardCase{"a.c", "*.???", true},
                      TWildcardCase{"/x/README.", "*.", true}, TWildcardCase{"/x/a.b", "*.", false},
                      TWildcardCase{"", "*", true}, TWildcardCase{"x", "", false},
                      TWildcardCase{"ÄRGER.avi", "är*.AVI", true}, TWildcardCase{"/m/a.tmp", "*.tmp", true}));

// ---- Attribute masks -----------------------------------------------------------------------

TEST(AttributesCriteriaTest, StatusesMoveBitsBetweenMasksAndMatchAsDocumented) {
  components::TAttributesCriteria a;
  EXPECT_EQ(a.UnsetMask(), components::faHidden | components::faSystem | components::faDirectory);
  EXPECT_EQ(a.Hidden(), TFileAttributeStatus::fsUnset);
  EXPECT_EQ(a.Readonly(), TFileAttributeStatus::fsIgnore);

  a.SetHidden(TFileAttributeStatus::fsSet);
  EXPECT_EQ(a.Hidden(), TFileAttributeStatus::fsSet);
  EXPECT_EQ(a.SetMask(), components::faHidden);
  EXPECT_EQ(a.UnsetMask() & components::faHidden, 0u);
  a.SetHidden(TFileAttributeStatus::fsIgnore);
  EXPECT_EQ(a.SetMask(), 0u);

  a.Clear();
  a.SetReadonly(TFileAttributeStatus::fsAnySet);
  a.SetReparsePoint(TFileAttributeStatus::fsAnySet);
  EXPECT_TRUE(a.Matches(components::faReadonly));
  EXPECT_TRUE(a.Matches(components::faReparsePoint));
  EXPECT_FALSE(a.Matches(components::faNormal));
  EXPECT_FALSE(a.Matches(components::faReadonly | components::faHidden));

  a.Clear();
  a.SetReadonly(TFileAttributeStatus::fsAnyUnset);
  a.SetCompressed(TFileAttributeStatus::fsAnyUnset);
  EXPECT_TRUE(a.Matches(components::faReadonly));
  EXPECT_FALSE(a.Matches(components::faReadonly | components::faCompressed));
}

// ---- Searches over real trees --------------------------------------------------------------

TEST(FindFileTest, DefaultCriteriaSkipHiddenSystemAndFoldersAndDoNotEnterHiddenFolders) {
  const fs::path root = TestRoot();
  WriteFile(root / "a.avi");
  WriteFile(root / ".hidden.avi");
  WriteFile(root / "sub" / "b.avi");
  WriteFile(root / ".secret" / "c.avi");
  ASSERT_EQ(::mkfifo((root / "pipe.avi").c_str(), 0600), 0);
  TFindFile finder;
  finder.Criteria().Files().SetLocation(root.string());
  EXPECT_EQ(Search(finder, root), (Names{"a.avi", "sub/b.avi"}));
  EXPECT_FALSE(finder.Busy());

  // With the defaults lifted, hidden entries, folders and the FIFO are reported and entered.
  finder.Criteria().Attributes().Clear();
  finder.Criteria().Attributes().SetHidden(TFileAttributeStatus::fsIgnore);
  finder.Criteria().Attributes().SetSystem(TFileAttributeStatus::fsIgnore);
  finder.Criteria().Attributes().SetDirectory(TFileAttributeStatus::fsIgnore);
  EXPECT_EQ(Search(finder, root), (Names{".hidden.avi", ".secret", ".secret/c.avi", "a.avi", "pipe.avi", "sub",
                                         "sub/b.avi"}));
}

TEST(FindFileTest, ReportsEachFileOnceWithItsDetails) {
  const fs::path root = TestRoot();
  WriteFile(root / "clip.Avi", "12345");
  TFindFile finder;
  finder.Criteria().Files().SetLocation(root.string());
  finder.Criteria().Files().SetFileName("*.AVI;*.avi;clip.*");
  std::vector<components::TFileDetails> found;
  finder.OnFileMatch = [&](const components::TFileDetails& d) { found.push_back(d); };
  finder.Execute();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Location, root.string() + "/");
  EXPECT_EQ(found[0].Name, "clip.Avi");
  EXPECT_EQ(found[0].Size, 5u);
  EXPECT_EQ(found[0].Attributes, components::faNormal);
  const auto now = std::chrono::system_clock::now();
  // Local time lies within a day of UTC.
  const auto modifiedUtcGuess = std::chrono::sys_time<std::chrono::microseconds>(found[0].ModifiedTime.time_since_epoch());
  EXPECT_LT(std::chrono::abs(modifiedUtcGuess - std::chrono::time_point_cast<std::chrono::microseconds>(now)),
            std::chrono::hours(26));

  // Without the owner's write permission the file reads as Readonly.
  fs::permissions(root / "clip.Avi", fs::perms::owner_read | fs::perms::group_read);
  finder.Criteria().Attributes().SetReadonly(TFileAttributeStatus::fsSet);
  EXPECT_EQ(Search(finder, root), Names{"clip.Avi"});
  finder.Criteria().Attributes().SetReadonly(TFileAttributeStatus::fsUnset);
  EXPECT_EQ(Search(finder, root), Names{});
}

// A folder that cannot be searched is reported with the system's reason, and the search goes on.
// (The test runs as root, who reads any folder whatever its mode: a missing target folder and a
// file where a folder is expected stand for folders that cannot be opened.)
TEST(FindFileTest, AFolderThatCannotBeSearchedIsReportedWithItsReason) {
  const fs::path root = TestRoot();
  WriteFile(root / "ok" / "a.avi");
  WriteFile(root / "plain");
  TFindFile finder;
  finder.Criteria().Files().SetPaths({(root / "missing").string() + "/*.avi",
                                      (root / "plain").string() + "/*.avi",
                                      (root / "ok").string() + "/*.avi"});
  std::vector<std::string> errors;
  finder.OnFolderError = [&](const std::string& folder, const std::string& reason) {
    errors.push_back(fs::path(folder).lexically_relative(root).string() + ": " + reason);
  };
  EXPECT_EQ(Search(finder, root), Names{"ok/a.avi"});
  EXPECT_EQ(errors, (Names{"missing/: No such file or directory", "plain/: Not a directory"}));
}

struct TLevelCase {
  const char* Prefix;  // placed before the folder in Location
  Names Found;
  friend void PrintTo(const TLevelCase& c, std::ostream* os) { *os << c.Prefix; }
};

class FindFileLevelTest : public ::testing::TestWithParam<TLevelCase> {};

TEST_P(FindFileLevelTest, SearchesTheLevelsOfTheTargetLine) {
  const fs::path root = TestRoot();
  WriteFile(root / "l1.avi");
  WriteFile(root / "d2" / "l2.avi");
  WriteFile(root / "d2" / "d3" / "l3.avi");
  WriteFile(root / "d2" / "d3" / "d4" / "l4.avi");
  TFindFile finder;
  finder.Criteria().Files().SetLocation(GetParam().Prefix + root.string());
  EXPECT_EQ(Search(finder, root), GetParam().Found);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FindFileLevelTest,
    ::testing::Values(TLevelCase{"2-3>", {"d2/d3/l3.avi", "d2/l2.avi"}}, TLevelCase{"<", {"l1.avi"}},
                      TLevelCase{"2>", {"d2/l2.avi", "l1.avi"}},
                      TLevelCase{">", {"d2/d3/d4/l4.avi", "d2/d3/l3.avi", "d2/l2.avi", "l1.avi"}},
                      TLevelCase{"3-0>", {"d2/d3/d4/l4.avi", "d2/d3/l3.avi"}}));

struct TFilterCase {
  Names Filters;
  Names Found;
  friend void PrintTo(const TFilterCase& c, std::ostream* os) {
    for (const auto& f : c.Filters) *os << f << " ";
  }
};

class FindFileFilterTest : public ::testing::TestWithParam<TFilterCase> {};

TEST_P(FindFileFilterTest, FiltersDecideInOrder) {
  const fs::path root = TestRoot();
  WriteFile(root / "a.tmp");
  WriteFile(root / "b.avi");
  WriteFile(root / "README");
  TFindFile finder;
  finder.Criteria().Files().SetLocation(root.string());
  finder.Criteria().Files().SetFilters(GetParam().Filters);
  EXPECT_EQ(Search(finder, root), GetParam().Found);
}

INSTANTIATE_TEST_SUITE_P(Filters, FindFileFilterTest,
                         ::testing::Values(TFilterCase{{}, {"README", "a.tmp", "b.avi"}},
                                           TFilterCase{{"<*.tmp"}, {"README", "b.avi"}},
                                           TFilterCase{{"*.tmp"}, {"README", "b.avi"}},
                                           TFilterCase{{">*.tmp", "<*.tmp"}, {"README", "a.tmp", "b.avi"}},
                                           TFilterCase{{"<*."}, {"a.tmp", "b.avi"}},
                                           TFilterCase{{">*b.avi", "<*"}, {"b.avi"}}));

struct TIgnoreCase {
  TFolderIgnore Ignore;
  Names Found;
  friend void PrintTo(const TIgnoreCase& c, std::ostream* os) { *os << "ignore " << static_cast<int>(c.Ignore); }
};

class FindFileIgnoreTest : public ::testing::TestWithParam<TIgnoreCase> {};

TEST_P(FindFileIgnoreTest, FolderChangeAnswerSkipsFilesOrSubfolders) {
  const fs::path root = TestRoot();
  WriteFile(root / "top.avi");
  WriteFile(root / "x" / "x.avi");
  WriteFile(root / "x" / "y" / "y.avi");
  TFindFile finder;
  finder.Criteria().Files().SetLocation(root.string());
  Names folders;
  finder.OnFolderChange = [&](const std::string& folder, TFolderIgnore& ignore) {
    folders.push_back(folder);
    if (folder == (root / "x").string() + "/") ignore = GetParam().Ignore;
  };
  EXPECT_EQ(Search(finder, root), GetParam().Found);
  EXPECT_EQ(folders.front(), root.string() + "/");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FindFileIgnoreTest,
    ::testing::Values(TIgnoreCase{TFolderIgnore::fiNone, {"top.avi", "x/x.avi", "x/y/y.avi"}},
                      TIgnoreCase{TFolderIgnore::fiJustThis, {"top.avi", "x/y/y.avi"}},
                      TIgnoreCase{TFolderIgnore::fiJustSubfolders, {"top.avi", "x/x.avi"}},
                      TIgnoreCase{TFolderIgnore::fiThisAndSubfolders, {"top.avi"}}));

TEST(FindFileTest, SizeLimits) {
  const fs::path root = TestRoot();
  WriteFile(root / "empty", "");
  WriteFile(root / "three", "abc");
  WriteFile(root / "ten", "0123456789");
  TFindFile finder;
  finder.Criteria().Files().SetLocation(root.string());
  finder.Criteria().Size().SetMin(1);
  EXPECT_EQ(Search(finder, root), (Names{"ten", "three"}));
  finder.Criteria().Size().SetMax(3);
  EXPECT_EQ(Search(finder, root), (Names{"three"}));
}

TEST(FindFileTest, TimeStampLimitsCompareOnlyThePartsTheyHave) {
  const fs::path root = TestRoot();
  WriteFile(root / "old.avi");
  // 2020-06-15 12:00:00 local time.
  std::tm tm{};
  tm.tm_year = 120;
  tm.tm_mon = 5;
  tm.tm_mday = 15;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  const time_t when = std::mktime(&tm);
  const struct timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (root / "old.avi").c_str(), times, 0), 0);

  using namespace std::chrono;
  const local_days day{year{2020} / June / 15};
  struct TCase {
    components::TDateTimeValue Value;
    bool Before;
    bool Found;
  } cases[] = {
      {{day, std::nullopt}, true, true},           {{day - days{1}, std::nullopt}, true, false},
      {{day, std::nullopt}, false, true},          {{day + days{1}, std::nullopt}, false, false},
      {{std::nullopt, hours{13}}, false, false},   {{std::nullopt, hours{11}}, false, true},
      {{std::nullopt, hours{12}}, true, true},     {{day, hours{11} + minutes{59}}, true, false},
      {{day, hours{12} + minutes{1}}, true, true},
  };
  for (const auto& c : cases) {
    TFindFile finder;
    finder.Criteria().Files().SetLocation(root.string());
    if (c.Before)
      finder.Criteria().TimeStamp().SetModifiedBefore(c.Value);
    else
      finder.Criteria().TimeStamp().SetModifiedAfter(c.Value);
    EXPECT_EQ(Search(finder, root).size(), c.Found ? 1u : 0u) << "case " << (&c - cases);
  }
}

TEST(FindFileTest, LinkCycleEndsAndLinkedFolderIsSearchedOnce) {
  const fs::path root = TestRoot();
  WriteFile(root / "a.avi");
  WriteFile(root / "b" / "c.avi");
  fs::create_directory_symlink(root, root / "b" / "loop");
  fs::create_directory_symlink(root / "b", root / "alias");
  TFindFile finder;
  finder.Criteria().Files().SetLocation(root.string());
  finder.Criteria().Files().SetFileName("*.avi");
  EXPECT_EQ(Search(finder, root), (Names{"a.avi", "alias/c.avi"}));

  // Unsetting ReparsePoint keeps the search out of linked folders.
  finder.Criteria().Attributes().SetReparsePoint(TFileAttributeStatus::fsUnset);
  EXPECT_EQ(Search(finder, root), (Names{"a.avi", "b/c.avi"}));
}

TEST(FindFileTest, AbortFromAHandlerStopsTheSearch) {
  const fs::path root = TestRoot();
  for (int i = 0; i < 5; ++i) WriteFile(root / ("f" + std::to_string(i)));
  TFindFile finder;
  finder.Criteria().Files().SetLocation(root.string());
  int matches = 0;
  int finishes = 0;
  finder.OnFileMatch = [&](const components::TFileDetails&) {
    ++matches;
    finder.Abort();
  };
  finder.OnSearchFinish = [&] { ++finishes; };
  finder.Execute();
  EXPECT_EQ(matches, 1);
  EXPECT_EQ(finishes, 1);
  EXPECT_TRUE(finder.Aborted());
  EXPECT_FALSE(finder.Busy());
  finder.Abort();  // idle: no effect on the next run
  finder.OnFileMatch = [&](const components::TFileDetails&) { ++matches; };
  finder.Execute();
  EXPECT_FALSE(finder.Aborted());
  EXPECT_EQ(matches, 6);
}

TEST(FindFileTest, HandlerExceptionEndsTheSearchAndReachesTheCaller) {
  const fs::path root = TestRoot();
  WriteFile(root / "a");
  TFindFile finder;
  finder.Criteria().Files().SetLocation(root.string());
  bool finished = false;
  finder.OnSearchFinish = [&] { finished = true; };
  finder.OnFileMatch = [](const components::TFileDetails&) { throw std::runtime_error("handler failed"); };
  EXPECT_THROW(finder.Execute(), std::runtime_error);
  EXPECT_TRUE(finished);
  EXPECT_FALSE(finder.Busy());
}

// ---- Content ------------------------------------------------------------------------------

std::string Utf16(const std::u16string& text, bool bigEndian) {
  std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
  for (char16_t u : text) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

struct TContentCase {
  const char* Label;
  std::string Bytes;
  std::string Phrase;
  components::TContentSearchOptions Options;
  bool Match;
};

TEST(ContentCriteriaTest, FindsThePhraseInEveryEncoding) {
  const fs::path root = TestRoot();
  const std::string farAway(61438, 'x');
  const TContentCase cases[] = {
      {"plain", "a black Cat sat", "cat", {}, true},
      {"plain case-sensitive", "a black Cat sat", "cat", {TContentSearchOption::csoCaseSensitive}, false},
      {"utf8 bom", "\xEF\xBB\xBFZürich ÄRGER", "ärger", {}, false},  // byte-wise folding is ASCII only
      {"utf8 bom ascii", "\xEF\xBB\xBF""big DOG", "dog", {}, true},
      {"utf16 le", Utf16(u"Grüße aus Köln", false), "KÖLN", {}, true},
      {"utf16 be", Utf16(u"Grüße aus Köln", true), "köln", {}, true},
      {"utf16 be whole word", Utf16(u"concatenate", true), "cat", {TContentSearchOption::csoWholeWord}, false},
      {"whole word inside", "concatenate", "cat", {TContentSearchOption::csoWholeWord}, false},
      {"whole word alone", "the cat.", "cat", {TContentSearchOption::csoWholeWord}, true},
      {"whole word at edges", "cat", "cat", {TContentSearchOption::csoWholeWord}, true},
      {"whole word second try", "cats cat", "cat", {TContentSearchOption::csoWholeWord}, true},
      {"whole word after umlaut", "äcat", "cat", {TContentSearchOption::csoWholeWord}, false},
      {"overlapping start", "aaab", "aab", {}, true},
      {"across blocks", farAway + "needle", "needle", {}, true},
      {"across blocks whole word", farAway + " cat" + std::string(10, 'y'), "cat",
       {TContentSearchOption::csoWholeWord}, false},
      {"negate absent", "nothing here", "cat", {TContentSearchOption::csoNegate}, true},
      {"negate present", "cat", "cat", {TContentSearchOption::csoNegate}, false},
      {"empty file", "", "cat", {}, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    const fs::path file = root / ("f" + std::to_string(n++));
    WriteFile(file, c.Bytes);
    components::TContentCriteria criteria;
    criteria.SetPhrase(c.Phrase);
    criteria.SetOptions(c.Options);
    EXPECT_EQ(criteria.Matches(file.string()), c.Match) << c.Label;
  }
}

TEST(ContentCriteriaTest, UnreadableFileNeverMatchesEvenNegated) {
  const fs::path root = TestRoot();
  fs::create_symlink(root / "missing", root / "dangling");
  components::TContentCriteria criteria;
  criteria.SetPhrase("cat");
  criteria.SetOptions({TContentSearchOption::csoNegate});
  EXPECT_FALSE(criteria.Matches((root / "dangling").string()));
  EXPECT_FALSE(criteria.Matches(root.string()));  // a folder
  criteria.SetPhrase("");
  EXPECT_TRUE(criteria.Matches((root / "dangling").string()));  // no phrase: not used
}

TEST(FindFileTest, ContentCriterionFiltersMatches) {
  const fs::path root = TestRoot();
  WriteFile(root / "yes.txt", "the cat");
  WriteFile(root / "no.txt", "concatenate");
  TFindFile finder;
  finder.Criteria().Files().SetLocation(root.string());
  finder.Criteria().Content().SetPhrase("CAT");
  finder.Criteria().Content().SetOptions({TContentSearchOption::csoWholeWord});
  EXPECT_EQ(Search(finder, root), (Names{"yes.txt"}));
}

// ---- Threaded mode -----------------------------------------------------------------------

class TRecordingPrompter : public platform::IPrompter {
 public:
  void Message(QWidget*, platform::TPromptIcon icon, const QString& caption, const QString& text) override {
    Messages.push_back(caption.toStdString() + ": " + text.toStdString());
  }
  bool Question(QWidget*, platform::TPromptIcon, const QString&, const QString&) override { return false; }
  void Beep(bool) override {}
  std::vector<std::string> Messages;
};

class FindFileThreadedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetPrompter(&FPrompter);
    FRoot = TestRoot();
    for (int i = 0; i < 3; ++i) WriteFile(FRoot / ("d" + std::to_string(i)) / "clip.avi");
  }
  void TearDown() override { platform::SetPrompter(nullptr); }

  platform::THeadlessDispatcher FDispatcher;
  platform::TDispatcherGuard FGuard{&FDispatcher};
  TRecordingPrompter FPrompter;
  fs::path FRoot;
};

TEST_F(FindFileThreadedTest, MatchesFireOnTheSearchThreadAndTheFinishOnTheMainThread) {
  TFindFile finder;
  finder.SetThreaded(true);
  finder.SetThreadPriority(components::TThreadPriority::tpLower);
  finder.Criteria().Files().SetLocation(FRoot.string());
  const auto mainId = std::this_thread::get_id();
  std::atomic<int> matches{0};
  std::atomic<bool> offMain{true};
  std::atomic<int> mainCalls{0};
  std::thread::id finishedOn;
  bool beganOnMain = false;
  finder.OnSearchBegin = [&] { beganOnMain = std::this_thread::get_id() == mainId; };
  finder.OnFileMatch = [&](const components::TFileDetails&) {
    if (std::this_thread::get_id() == mainId) offMain = false;
    ++matches;
    // What a window's handler does: hand the row to the main thread and wait.
    platform::CallInMainThread([&] { ++mainCalls; });
  };
  finder.OnSearchFinish = [&] { finishedOn = std::this_thread::get_id(); };
  finder.Execute();
  EXPECT_TRUE(finder.Busy());
  finder.Execute();  // ignored while busy
  platform::WaitInMainThread([&] { return !finder.Busy(); });
  EXPECT_TRUE(beganOnMain);
  EXPECT_EQ(matches, 3);
  EXPECT_EQ(mainCalls, 3);
  EXPECT_TRUE(offMain);
  EXPECT_EQ(finishedOn, mainId);
  EXPECT_TRUE(FPrompter.Messages.empty());
}

TEST_F(FindFileThreadedTest, ExceptionOnTheSearchThreadIsShownAndTheSearchStillFinishes) {
  TFindFile finder;
  finder.SetThreaded(true);
  finder.Criteria().Files().SetLocation(FRoot.string());
  bool finished = false;
  finder.OnFileMatch = [](const components::TFileDetails&) { throw std::runtime_error("disk on fire"); };
  finder.OnSearchFinish = [&] { finished = true; };
  finder.Execute();
  platform::WaitInMainThread([&] { return !finder.Busy(); });
  EXPECT_TRUE(finished);
  EXPECT_EQ(FPrompter.Messages, Names{"Error: disk on fire"});
}

TEST_F(FindFileThreadedTest, AbortAndDestructionWhileSearchingEndQuietly) {
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
  bool finished = false;
  {
    TFindFile finder;
    finder.SetThreaded(true);
    finder.Criteria().Files().SetLocation(FRoot.string());
    finder.OnFileMatch = [&](const components::TFileDetails&) {
      entered = true;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    finder.OnSearchFinish = [&] { finished = true; };
    finder.Execute();
    platform::WaitInMainThread([&] { return entered.load(); });
    finder.Abort();
    EXPECT_TRUE(finder.Aborted());
    release = true;
  }  // the destructor waits for the thread
  platform::ProcessMessages();  // the queued end finds the finder gone
  EXPECT_FALSE(finished);
}

TEST(FindFileNoDispatcherTest, ThreadedSearchWithoutDispatcherFinishesOnTheSearchThread) {
  const fs::path root = TestRoot();
  WriteFile(root / "a.avi");
  TFindFile finder;
  finder.SetThreaded(true);
  finder.Criteria().Files().SetLocation(root.string());
  std::atomic<int> matches{0};
  std::atomic<int> finishes{0};
  finder.OnFileMatch = [&](const components::TFileDetails&) { ++matches; };
  finder.OnSearchFinish = [&] { ++finishes; };
  for (int run = 1; run <= 2; ++run) {
    finder.Execute();
    // Busy() is the finder's own, and it tells no one outside when it ends: with no main thread
    // to pump, this wait can only look again every few milliseconds.
    platform::WaitInMainThread([&] { return !finder.Busy(); });
    EXPECT_EQ(matches, run);
    EXPECT_EQ(finishes, run);
  }
}

}  // namespace
