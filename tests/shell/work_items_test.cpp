#include "shell/nav_work_items.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QObject>
#include <memory>
#include <thread>
#include <vector>

#include "fake_home.h"
#include "platform/main_thread.h"

namespace {

using shell::TCheckBoxWorkItem;
using shell::TDelayedProcedure;
using shell::TIconWorkItem;
using shell::TNavFolderSizeWorkItem;
using shell::TNavSelectionState;
using shell::TThumbnailWorkItem;
using shell::TWorkerThreadPool;

class WorkItemsTest : public testing_support::FakeHomeTest {
 protected:
  WorkItemsTest() : FGuard(&FDispatcher) {}

  void SetUp() override {
    testing_support::ShellApp();
    FakeHomeTest::SetUp();
  }

  void File(const QString& path, int bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(testing_support::WriteText(path, QByteArray(bytes, 'x')));
  }

  void RunAll(TWorkerThreadPool& pool) {
    platform::WaitInMainThread([&] { return pool.OutstandingCount() == 0; });
  }

  platform::THeadlessDispatcher FDispatcher;
  platform::TDispatcherGuard FGuard;
};

// --- folder sizes ---

TEST_F(WorkItemsTest, FolderSizeSumsATreeAndSurvivesLinkLoops) {
  const QString base = Root + QStringLiteral("/base");
  const QString tree = base + QStringLiteral("/tree");
  File(base + QStringLiteral("/extra.bin"), 1000);
  File(tree + QStringLiteral("/a.bin"), 100);
  File(tree + QStringLiteral("/sub/b.bin"), 20);
  File(tree + QStringLiteral("/sub/deeper/c.bin"), 3);
  File(Root + QStringLiteral("/outside/d.bin"), 4000);
  // Links back to the tree itself and to its parent, a link inside the tree, and one out of it.
  ASSERT_TRUE(QFile::link(tree, tree + QStringLiteral("/sub/deeper/to-root")));
  ASSERT_TRUE(QFile::link(base, tree + QStringLiteral("/sub/to-parent")));
  ASSERT_TRUE(QFile::link(tree + QStringLiteral("/sub"), tree + QStringLiteral("/to-sub")));
  ASSERT_TRUE(QFile::link(Root + QStringLiteral("/outside"), tree + QStringLiteral("/to-outside")));

  struct TCase {
    bool Follow;
    uint64_t Size;
    int Files;
    int Folders;
  };
  const TCase cases[] = {
      // Links are never followed: the tree (its root counts as a folder: tree, sub, deeper).
      {false, 123, 3, 3},
      // Followed: the outside folder, and the parent with its extra file, but the tree is not
      // entered a second time through the parent, and links into the tree are not followed.
      {true, 123 + 4000 + 1000, 5, 5},
  };
  for (const TCase& c : cases) {
    TNavFolderSizeWorkItem item(tree + QStringLiteral("/"), c.Follow, true);
    item.PerformWork();
    EXPECT_EQ(item.Size(), c.Size) << c.Follow;
    EXPECT_EQ(item.FileCount(), c.Files) << c.Follow;
    EXPECT_EQ(item.FolderCount(), c.Folders) << c.Follow;
  }
}

TEST_F(WorkItemsTest, FolderSizeOfAFileAndWithoutRecursion) {
  File(Root + QStringLiteral("/one.bin"), 77);
  TNavFolderSizeWorkItem file(Root + QStringLiteral("/one.bin"), false, true);
  file.PerformWork();
  EXPECT_EQ(file.Size(), 77u);
  EXPECT_EQ(file.FileCount(), 1);
  EXPECT_EQ(file.FolderCount(), 0);
  EXPECT_EQ(file.Factor(), 1);

  File(Root + QStringLiteral("/flat/x.bin"), 5);
  TNavFolderSizeWorkItem flat(Root + QStringLiteral("/flat/"), false, false);
  flat.PerformWork();
  EXPECT_EQ(flat.FolderCount(), 1);
  EXPECT_EQ(flat.Size(), 0u);

  TNavFolderSizeWorkItem missing(Root + QStringLiteral("/missing"), false, true);
  missing.PerformWork();
  EXPECT_EQ(missing.FolderCount() + missing.FileCount(), 0);

  // A mount root counts as one folder and its tree is summed.
  File(Volume + QStringLiteral("/v.bin"), 9);
  TNavFolderSizeWorkItem volume(Volume, false, true);
  volume.PerformWork();
  EXPECT_EQ(volume.FolderCount(), 1);
  EXPECT_EQ(volume.Size(), 9u);
}

TEST_F(WorkItemsTest, FolderSizeReportsOnTheMainThreadThroughThePool) {
  File(Root + QStringLiteral("/p/x.bin"), 10);
  TWorkerThreadPool pool;
  auto item = std::make_shared<TNavFolderSizeWorkItem>(Root + QStringLiteral("/p"), false, true);
  uint64_t reported = 0;
  std::thread::id on;
  item->SetOnItemDone([&](shell::TBasicWorkItem& done) {
    reported = static_cast<TNavFolderSizeWorkItem&>(done).Size();
    on = std::this_thread::get_id();
  });
  pool.AddWorkItem(item);
  RunAll(pool);
  EXPECT_EQ(reported, 10u);
  EXPECT_EQ(on, std::this_thread::get_id());
}

// --- icons ---

class TIconRecorder : public QObject, public shell::IIconViewer {
 public:
  struct TCall {
    int Index, Kind;
    const void* Tag;
  };
  explicit TIconRecorder(std::vector<TCall>* outliving = nullptr) : FOutliving(outliving) {}
  void IconReady(int iconIndex, int kind, const void* itemTag) override {
    Calls.push_back({iconIndex, kind, itemTag});
    if (FOutliving != nullptr) FOutliving->push_back({iconIndex, kind, itemTag});
  }
  std::vector<TCall> Calls;

 private:
  std::vector<TCall>* FOutliving;  // a record that outlives the recorder, when given
};

TEST_F(WorkItemsTest, IconItemDeliversNormalThenSelectedThenOverlay) {
  File(Root + QStringLiteral("/clip.mp4"), 10);
  TWorkerThreadPool pool;
  pool.SetMaxRunningThreads(1);  // one worker: the two items deliver in turn
  TIconRecorder viewer;
  const int tag = 0;
  pool.AddWorkItem(std::make_shared<TIconWorkItem>(Root + QStringLiteral("/clip.mp4"), &viewer, &tag, &viewer,
                                                   &viewer, TIconWorkItem::Normal | TIconWorkItem::Overlay |
                                                                TIconWorkItem::Selected));
  // A missing item: its overlay cannot be found.
  pool.AddWorkItem(std::make_shared<TIconWorkItem>(Root + QStringLiteral("/gone.mp4"), &viewer, &tag, &viewer,
                                                   &viewer, TIconWorkItem::Normal | TIconWorkItem::Overlay));
  RunAll(pool);
  ASSERT_EQ(viewer.Calls.size(), 5u);
  EXPECT_EQ(viewer.Calls[0].Kind, 0);
  EXPECT_EQ(viewer.Calls[0].Index, shell::TNavSystemImageList::GetIconIndexForExtension(QStringLiteral("mp4"), false, false));
  EXPECT_EQ(viewer.Calls[1].Kind, 2);
  EXPECT_EQ(viewer.Calls[2].Kind, 1);
  EXPECT_EQ(viewer.Calls[2].Index, 0);
  EXPECT_EQ(viewer.Calls[3].Kind, 0);
  EXPECT_EQ(viewer.Calls[4].Kind, 1);
  EXPECT_EQ(viewer.Calls[4].Index, -1);
  EXPECT_EQ(viewer.Calls[0].Tag, &tag);
}

TEST_F(WorkItemsTest, ADestroyedViewerGetsNothing) {
  std::vector<TIconRecorder::TCall> heard;  // outlives the viewers
  // A live viewer hears its item's completion...
  auto alive = std::make_unique<TIconRecorder>(&heard);
  auto first = std::make_shared<TIconWorkItem>(Root, alive.get(), nullptr, alive.get(), alive.get(),
                                               TIconWorkItem::Normal);
  first->PerformWork();
  first->GetCompletionHandler()();
  ASSERT_EQ(heard.size(), 1u);
  // ...a destroyed one does not (and is not touched: the sanitizers would tell).
  heard.clear();
  auto viewer = std::make_unique<TIconRecorder>(&heard);
  auto item = std::make_shared<TIconWorkItem>(Root, viewer.get(), nullptr, viewer.get(), viewer.get(),
                                              TIconWorkItem::Normal);
  item->PerformWork();
  const auto completion = item->GetCompletionHandler();
  viewer.reset();
  completion();
  EXPECT_TRUE(heard.empty());
}

// --- thumbnails ---

class TThumbRecorder : public QObject, public shell::IThumbnailViewer {
 public:
  void ThumbnailReady(const QImage& image, int imageIndex, const void*) override {
    Images.push_back(image);
    Indexes.push_back(imageIndex);
  }
  std::vector<QImage> Images;
  std::vector<int> Indexes;
};

TEST_F(WorkItemsTest, ThumbnailOfAPictureAndAnAbortedOneCallsNoViewer) {
  QImage picture(120, 80, QImage::Format_RGB32);
  picture.fill(Qt::blue);
  ASSERT_TRUE(picture.save(Root + QStringLiteral("/pic.png")));
  const auto list = shell::TNavItemIdList::CreateFromPath(Root + QStringLiteral("/pic.png"));
  TThumbRecorder viewer;

  TThumbnailWorkItem done(list, 0xFFFFFF, false, &viewer, nullptr, 7, &viewer, &viewer, 48, 48);
  done.PerformWork();
  done.GetCompletionHandler()();
  ASSERT_EQ(viewer.Images.size(), 1u);
  EXPECT_EQ(viewer.Images[0].size(), QSize(48, 32));
  EXPECT_EQ(viewer.Indexes[0], 7);

  // Cancelled after the work but before its delivery.
  TThumbnailWorkItem aborted(list, 0xFFFFFF, false, &viewer, nullptr, 8, &viewer, &viewer, 48, 48);
  aborted.PerformWork();
  EXPECT_FALSE(aborted.Image().isNull());
  aborted.Abort();
  aborted.GetCompletionHandler()();
  EXPECT_EQ(viewer.Images.size(), 1u);
  EXPECT_TRUE(aborted.Image().isNull());  // freed

  // Nothing to show and an icon wanted: the icon on the background in a silver frame.
  File(Root + QStringLiteral("/notes.txt"), 3);
  TThumbnailWorkItem icon(shell::TNavItemIdList::CreateFromPath(Root + QStringLiteral("/notes.txt")), 0xFFFFFF, true,
                          &viewer, nullptr, 9, &viewer, &viewer, 40, 40);
  icon.PerformWork();
  icon.GetCompletionHandler()();
  ASSERT_EQ(viewer.Images.size(), 2u);
  EXPECT_EQ(viewer.Images[1].size(), QSize(40, 40));
  EXPECT_EQ(viewer.Images[1].pixelColor(1, 1), QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(WorkItemsTest, CancellingAControlsThumbnailsThroughThePool) {
  TWorkerThreadPool pool;
  pool.SetPaused(true);
  TThumbRecorder viewer;
  for (int i = 0; i < 3; ++i)
    pool.AddWorkItem(std::make_shared<TThumbnailWorkItem>(shell::TNavItemIdList::CreateFromPath(Root), 0, false,
                                                          &viewer, nullptr, i, &viewer, &viewer, 32, 32));
  EXPECT_EQ(pool.CancelWorkItems(nullptr, &viewer), 3);
  pool.SetPaused(false);
  RunAll(pool);
  EXPECT_TRUE(viewer.Images.empty());
}

// --- check states ---

class TCheckRecorder : public QObject, public shell::ICheckBoxViewer {
 public:
  void CheckStateReady(TCheckBoxWorkItem& item) override { States.push_back({item.State(), item.SubItem()}); }
  std::vector<std::pair<TNavSelectionState, bool>> States;
};

TEST_F(WorkItemsTest, CheckStateAsksItsQueryAndAFailureDisablesTheBox) {
  TWorkerThreadPool pool;
  TCheckRecorder viewer;
  // The query works on its own copy of the entries, never on the list the UI changes.
  const QStringList entries = {Root + QStringLiteral("/x")};
  auto query = [entries](const QString& path, bool& subItem) {
    subItem = true;
    return entries.contains(path) ? TNavSelectionState::ssChecked : TNavSelectionState::ssUnChecked;
  };
  File(Root + QStringLiteral("/x"), 1);
  pool.AddWorkItem(std::make_shared<TCheckBoxWorkItem>(shell::TNavItemIdList::CreateFromPath(Root + QStringLiteral("/x")),
                                                       &viewer, nullptr, &viewer, &viewer, query));
  RunAll(pool);
  pool.AddWorkItem(std::make_shared<TCheckBoxWorkItem>(
      shell::TNavItemIdList::CreateFromPath(Root), &viewer, nullptr, &viewer, &viewer,
      [](const QString&, bool&) -> TNavSelectionState { throw std::runtime_error("gone"); }));
  RunAll(pool);
  ASSERT_EQ(viewer.States.size(), 2u);
  EXPECT_EQ(viewer.States[0].first, TNavSelectionState::ssChecked);
  EXPECT_TRUE(viewer.States[0].second);
  EXPECT_EQ(viewer.States[1].first, TNavSelectionState::ssDisabled);
}

// --- delayed procedures ---

TEST(DelayedProcedureTest, WaitsWholeSlicesThenTheRest) {
  EXPECT_EQ(TDelayedProcedure::EffectiveDelay(0), 50);
  EXPECT_EQ(TDelayedProcedure::EffectiveDelay(100), 150);
  EXPECT_EQ(TDelayedProcedure::EffectiveDelay(120), 170);
  EXPECT_EQ(TDelayedProcedure::EffectiveDelay(49), 99);
}

TEST_F(WorkItemsTest, DelayedProcedureRunsOnTheMainThreadUnlessItsControlIsGone) {
  TWorkerThreadPool pool;
  std::thread::id ranOn;
  int calls = 0;
  QObject alive;
  TDelayedProcedure::Create(0, false, [&] {
    ++calls;
    ranOn = std::this_thread::get_id();
  }, &alive, &pool);
  auto gone = std::make_unique<QObject>();
  TDelayedProcedure::Create(0, false, [&] { calls += 100; }, gone.get(), &pool);
  // Both wait on the workers and queue their calls for the main thread, which is not looking.
  while (pool.OutstandingCount() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  gone.reset();  // one control goes before the main thread gets to its call
  FDispatcher.ProcessPending();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  // Cancelled while it waits: never called.
  bool called = false;
  TDelayedProcedure::Create(100000, false, [&] { called = true; }, nullptr, &pool);
  EXPECT_EQ(pool.CancelWorkItems(nullptr, nullptr, shell::WorkItemClassOf<TDelayedProcedure>()), 1);
  RunAll(pool);
  FDispatcher.ProcessPending();
  EXPECT_FALSE(called);
}

}  // namespace
