#include "shell/nav_selection_list.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>

#include "fake_home.h"
#include "platform/file_names.h"
#include "platform/main_thread.h"
#include "platform/qt_main_thread.h"
#include "shell/nav_shell_link.h"
#include "shell/thread_pool.h"

namespace {

using shell::TNavSelectionList;

// A tree under T:
//   a/ f1 (10 bytes) f2 (20) sub/ g (30)     — a folder with files and a subfolder
//   empty/                                    — an empty folder beside a
//   x/a/b/ h (5) h2 (1)                       — "a" again, deeper
//   loose (7)
class SelectionListTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    testing_support::ShellApp();
    FakeHomeTest::SetUp();
    FDispatcher = std::make_unique<platform::TQtMainThreadDispatcher>();
    platform::SetMainThreadDispatcher(FDispatcher.get());
    T = Root + QStringLiteral("/t");
    File("a/f1", 10);
    File("a/f2", 20);
    File("a/sub/g", 30);
    QDir().mkpath(T + QStringLiteral("/empty"));
    File("x/a/b/h", 5);
    File("x/a/b/h2", 1);
    File("loose", 7);
  }
  void TearDown() override {
    shell::ShutdownGlobalThreadPool();
    platform::SetMainThreadDispatcher(nullptr);
    FDispatcher.reset();
    FakeHomeTest::TearDown();
  }
  void File(const QString& relative, int bytes) {
    const QString path = P(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(testing_support::WriteText(path, QByteArray(bytes, 'x')));
  }
  QString P(const QString& relative) const { return relative.isEmpty() ? T : T + '/' + relative; }
  /// Entries relative to T, as stored ("a/*", "a/f1").
  QStringList Entries(const TNavSelectionList& list) const {
    QStringList out;
    for (const QString& entry : list.Paths()) out << entry.mid(T.size() + 1);
    return out;
  }
  void Settle() {
    platform::WaitInMainThread([] { return shell::GlobalThreadPool().OutstandingCount() == 0; });
    QCoreApplication::processEvents();
  }
  int State(TNavSelectionList& list, const QString& relative, bool* inherited = nullptr) {
    bool inh = false;
    const int state = list.GetState(P(relative), inh);
    if (inherited) *inherited = inh;
    return state;
  }

  std::unique_ptr<platform::TQtMainThreadDispatcher> FDispatcher;
  QString T;
};

TEST_F(SelectionListTest, TickingAndUntickingKeepsTheSetCompact) {
  struct Case {
    const char* name;
    QStringList add, remove;
    QStringList expected;  // entries afterwards, in order (relative to the tree)
  };
  const Case cases[] = {
      {"every file of a folder one by one gives one folder entry", {"a/f1", "a/f2", "a/sub/g"}, {}, {"a/*"}},
      {"a subfolder completed last collapses through its parent", {"a/sub/g", "a/f1", "a/f2"}, {}, {"a/*"}},
      {"unticking one file of a ticked folder keeps its siblings", {"a"}, {"a/f2"}, {"a/f1", "a/sub/*"}},
      {"unticking deep inside a ticked folder splits every level", {"a"}, {"a/sub/g"}, {"a/f1", "a/f2"}},
      {"a folder ticked over ticked content replaces it", {"a/f1", "a/sub"}, {}, {"a/f1", "a/sub/*"}},
      {"ticking the parent of entries leaves one entry", {"a/f1", "a/sub/g", "a"}, {}, {"a/*"}},
      {"a ticked empty folder stays its own entry", {"empty"}, {}, {"empty/*"}},
      {"adding twice stores once", {"loose", "loose"}, {}, {"loose"}},
      {"a path below a ticked folder is not stored", {"a", "a/f1"}, {}, {"a/*"}},
      {"unticking a partly ticked folder removes what lies below", {"a/f1", "a/sub/g"}, {"a"}, {}},
      {"unticking what is not ticked changes nothing", {"loose"}, {"a/f1"}, {"loose"}},
      // "/a" is no ancestor of "/x/a/b": unticking it must not touch that entry.
      {"a same-named folder elsewhere is left alone", {"x/a/b/h", "a/f1"}, {"a"}, {"x/a/b/h"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TNavSelectionList list;
    list.SetCalculateTotals(false);
    for (const QString& path : c.add) list.Add(P(path));
    for (const QString& path : c.remove) list.Remove(P(path));
    EXPECT_EQ(Entries(list), c.expected);
  }
}

TEST_F(SelectionListTest, CheckStatesFollowTheEntries) {
  TNavSelectionList list;
  list.SetCalculateTotals(false);
  list.Add(P("x/a/b/h"));
  list.Add(P("a/sub"));
  struct Case {
    const char* path;
    int state;
    bool inherited;
  };
  const Case cases[] = {
      {"a/sub", shell::csChecked, false},
      {"a/sub/g", shell::csChecked, true},
      {"a", shell::csPartial, false},
      {"", shell::csPartial, false},
      {"x", shell::csPartial, false},
      {"x/a/b", shell::csPartial, false},
      {"a/f1", shell::csUnchecked, false},
      {"loose", shell::csUnchecked, false},
      {"empty", shell::csUnchecked, false},
      {"missing", shell::csNotApplicable, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    bool inherited = false;
    EXPECT_EQ(State(list, c.path, &inherited), c.state);
    EXPECT_EQ(inherited, c.inherited);
  }
  bool inherited = false;
  EXPECT_EQ(list.GetState(QString(), inherited), shell::csNotApplicable);
  EXPECT_EQ(list.GetState(QStringLiteral(".."), inherited), shell::csNotApplicable);
  // Computer holds everything ticked.
  EXPECT_EQ(list.GetStateOfIdList(shell::GetSpecialFolderItemIdList(shell::TNavShellFolder::SF_DRIVES), inherited),
            shell::csPartial);
  EXPECT_EQ(list.GetStateOfIdList(nullptr, inherited), shell::csNotApplicable);
  EXPECT_TRUE(list.IsSelectedOrBelowSelected(P("a")));
  EXPECT_FALSE(list.IsSelectedOrBelowSelected(P("loose")));
}

TEST_F(SelectionListTest, ComparesNamesOnWholeComponentsAndCase) {
  // "/t/a" against "/t/ab/...": a shared beginning is not a parent.
  File("ab/k", 1);
  File("A/k", 1);
  TNavSelectionList list;
  list.SetCalculateTotals(false);
  list.Add(P("ab/k"));
  list.Add(P("A/k"));
  EXPECT_EQ(State(list, "a"), shell::csUnchecked);
  list.Remove(P("a"));
  EXPECT_EQ(Entries(list), (QStringList{"ab/*", "A/*"}));
}

TEST_F(SelectionListTest, IsBelowTakesWholeNames) {
  struct Case {
    const char* folder;
    const char* path;
    bool below;
  };
  const Case cases[] = {
      {"/a", "/x/a/b", false}, {"/a", "/a/b", true},   {"/a/", "/a/b", true}, {"/a", "/a", false},
      {"/a", "/ab/c", false},  {"/a", "/A/b", false},  {"/", "/a", true},     {"", "/a", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TNavSelectionList::IsBelow(c.folder, c.path), c.below) << c.folder << " " << c.path;
}

TEST_F(SelectionListTest, InvalidPathsAreReportedAndNotAdded) {
  TNavSelectionList list;
  QStringList reported;
  list.OnInvalidPath = [&](shell::TNavBaseSelectionList&, const QString& path) { reported << path; };
  list.Add(P("nothing-here"));
  list.Add(QStringLiteral("."));
  list.Add(QString());
  EXPECT_EQ(reported, (QStringList{P("nothing-here"), "."}));
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(SelectionListTest, FolderLinksAreFollowedOrRefused) {
  ASSERT_TRUE(QFile::link(P("a"), P("to-a")));
  TNavSelectionList list;
  list.SetCalculateTotals(false);
  list.Add(P("to-a"));
  EXPECT_EQ(Entries(list), QStringList{"a/*"});
  list.SetFollowFolderShortcuts(false);
  EXPECT_EQ(State(list, "to-a"), shell::csNotApplicable);
}

TEST_F(SelectionListTest, RenameRewritesTheEntriesBelow) {
  TNavSelectionList list;
  list.SetCalculateTotals(false);
  list.Add(P("a/sub"));
  list.Add(P("a/f1"));
  list.Add(P("x/a/b/h"));
  ASSERT_TRUE(QDir().rename(P("a"), P("renamed")));
  list.Rename(P("a"), P("renamed/"));
  EXPECT_EQ(Entries(list), (QStringList{"renamed/sub/*", "renamed/f1", "x/a/b/h"}));
}

TEST_F(SelectionListTest, TotalsFollowTheEntriesAndClearResetsThem) {
  TNavSelectionList list;
  int completions = 0;
  list.OnCompletedCalculateFiles = [&](TNavSelectionList&) { ++completions; };
  list.Add(P("a"));
  list.Add(P("loose"));
  Settle();
  EXPECT_EQ(list.TotalSize(), 67u);
  EXPECT_EQ(list.FileCount(), 4);
  EXPECT_EQ(list.FolderCount(), 2);  // a and a/sub
  EXPECT_GT(completions, 0);

  list.Remove(P("a/f2"));  // splits a into f1 and sub/*
  Settle();
  EXPECT_EQ(list.TotalSize(), 47u);
  EXPECT_EQ(list.FileCount(), 3);

  // Cleared while a sum is still on its way: nothing arrives afterwards.
  list.Add(P("x"));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.TotalSize(), 0u);
  Settle();
  EXPECT_EQ(list.TotalSize(), 0u);
  EXPECT_EQ(list.FileCount(), 0);
  EXPECT_EQ(list.FolderCount(), 0);

  // A file ticked into the empty list counts at once.
  list.Add(P("loose"));
  EXPECT_EQ(list.FileCount(), 1);
  EXPECT_EQ(list.TotalSize(), static_cast<uint64_t>(QFileInfo(P("loose")).size()));
  EXPECT_GT(list.TotalSize(), 0u);
}

// Names that are not UTF-8 (Latin-1, from an old disk or archive) are ticked, completed, split
// and counted as any other: a folder with such a name, and one such file beside others.
TEST_F(SelectionListTest, LatinOneNamesAreTickedAndCounted) {
  const QByteArray folder = QFile::encodeName(T) + "/d\xe9j\xe0";
  ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
  for (const QByteArray& name : {QByteArray("/caf\xe9.avi"), QByteArray("/plain.avi")}) {
    FILE* file = std::fopen((folder + name).constData(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("12345", file);
    std::fclose(file);
  }
  const QString dir = platform::FileNameFromBytes(folder);
  const QString latin1 = platform::FileNameFromBytes(folder + "/caf\xe9.avi");
  {
    TNavSelectionList list;
    QStringList invalid;
    list.OnInvalidPath = [&](shell::TNavBaseSelectionList&, const QString& path) { invalid << path; };
    list.Add(latin1);
    Settle();
    EXPECT_TRUE(invalid.isEmpty());
    EXPECT_EQ(list.Paths(), QStringList{latin1});
    EXPECT_EQ(list.TotalSize(), 5u);
    // Its sibling completes the folder: one entry for both.
    list.Add(dir + QStringLiteral("/plain.avi"));
    EXPECT_EQ(list.Paths(), QStringList{dir + QStringLiteral("/*")});
    // Unticking the plain file splits the folder back into the Latin-1 file.
    list.Remove(dir + QStringLiteral("/plain.avi"));
    EXPECT_EQ(list.Paths(), QStringList{latin1});
  }
  {
    TNavSelectionList list;
    list.Add(dir);
    Settle();
    EXPECT_EQ(list.Paths(), QStringList{dir + QStringLiteral("/*")});
    EXPECT_EQ(list.TotalSize(), 10u);
    EXPECT_EQ(list.FileCount(), 2);
    bool inherited = false;
    EXPECT_EQ(list.GetState(latin1, inherited), shell::csChecked);
    EXPECT_TRUE(inherited);
  }
  // The temporary folder cannot find these names to remove them.
  ::unlink((folder + "/caf\xe9.avi").constData());
  ::unlink((folder + "/plain.avi").constData());
  ::rmdir(folder.constData());
}

struct FakeControl : shell::INavShellControl {
  shell::TNavShellLink* FLink = nullptr;
  std::vector<shell::INavItemIdList> Notified;
  void SetShellLink(shell::TNavShellLink* link) override { FLink = link; }
  shell::TNavShellLink* GetShellLink() const override { return FLink; }
  void LinkedPathChanged(const shell::INavItemIdList&) override {}
  void LinkedItemChanged(const shell::INavItemIdList&, const shell::INavItemIdList&) override {}
  void LinkedNotify(int kind, const shell::INavItemIdList& list) override {
    if (kind == 2) Notified.push_back(list);
  }
};

TEST_F(SelectionListTest, TheLinkHearsOfChangesOncePerUpdate) {
  shell::TNavShellLink link;
  FakeControl control;
  link.RegisterControl(&control);
  auto* list = new TNavSelectionList(&link);
  list->SetCalculateTotals(false);
  int changes = 0;
  list->OnChange = [&](shell::TNavBaseSelectionList&) { ++changes; };
  list->Add(P("loose"));
  ASSERT_EQ(control.Notified.size(), 1u);
  ASSERT_TRUE(control.Notified[0]);
  EXPECT_EQ(control.Notified[0]->GetPath(), P("loose"));

  control.Notified.clear();
  list->BeginUpdate();
  list->Add(P("a/f1"));
  list->Add(P("a/f2"));
  list->EndUpdate();
  ASSERT_EQ(control.Notified.size(), 1u);
  EXPECT_FALSE(control.Notified[0]);  // several paths: no single one
  EXPECT_GE(changes, 3);
  link.UnregisterControl(&control);
}

}  // namespace
