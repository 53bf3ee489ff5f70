#include "shell/nav_shell_change_notifier.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "fake_home.h"
#include "platform/file_names.h"

namespace {

using shell::TNavShellChangeNotifier;
using E = shell::TNotificationEvent;

struct TEvent {
  E Event;
  QString Path1, Path2;
  bool operator==(const TEvent& o) const { return Event == o.Event && Path1 == o.Path1 && Path2 == o.Path2; }
};
[[maybe_unused]] void PrintTo(const TEvent& e, std::ostream* os) {
  *os << static_cast<int>(e.Event) << " " << e.Path1.toStdString() << " " << e.Path2.toStdString();
}

class ChangeNotifierTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    testing_support::ShellApp();
    FakeHomeTest::SetUp();
    FNotifier.OnChange = [this](TNavShellChangeNotifier&, E event, const QString& a, const QString& b) {
      Events.push_back({event, a, b});
    };
    FNotifier.SetClock([this] { return Now; });
  }
  // Sleeps in the event loop until the wanted event arrived (the test's time-out is the guard).
  // A time limit on processEvents would make Qt skip the wait and spin.
  void WaitFor(const TEvent& wanted) {
    while (std::find(Events.begin(), Events.end(), wanted) == Events.end())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }

  TNavShellChangeNotifier FNotifier;
  std::vector<TEvent> Events;
  uint64_t Now = 10000;
};

TEST_F(ChangeNotifierTest, RepeatsWithinASecondAreDropped) {
  FNotifier.SetEnabled(true);
  const QString a = Root + QStringLiteral("/a"), b = Root + QStringLiteral("/b");
  struct TStep {
    uint64_t At;
    QString Path;
  };
  struct TCase {
    const char* Name;
    std::vector<TStep> Steps;
    size_t Delivered;
  };
  const TCase cases[] = {
      {"A,A within a second", {{0, a}, {999, a}}, 1},
      {"A,A 1001 ms apart", {{0, a}, {1001, a}}, 2},
      {"A,B,A", {{0, a}, {10, b}, {20, a}}, 3},
  };
  for (const TCase& c : cases) {
    Events.clear();
    Now += 100000;  // a fresh start for each case
    const uint64_t start = Now;
    for (const TStep& step : c.Steps) {
      Now = start + step.At;
      FNotifier.Notify(E::neFileCreate, step.Path);
    }
    EXPECT_EQ(Events.size(), c.Delivered) << c.Name;
  }
}

TEST_F(ChangeNotifierTest, FilterRenameToItselfAndChangesOfFolders) {
  FNotifier.SetEnabled(true);
  EXPECT_EQ(FNotifier.EventFilter(), shell::kAllNotificationEvents);
  FNotifier.Notify(E::neFolderRename, Home, Home);
  EXPECT_TRUE(Events.empty());
  FNotifier.Notify(E::neFileChange, Home);  // a "file" change on a folder
  ASSERT_EQ(Events.size(), 1u);
  EXPECT_EQ(Events[0].Event, E::neFolderUpdate);
  Events.clear();
  Now += 5000;
  FNotifier.SetEventFilter(shell::kAllNotificationEvents & ~shell::NotificationBit(E::neFolderUpdate));
  FNotifier.Notify(E::neFileChange, Home);
  EXPECT_TRUE(Events.empty());
  FNotifier.Notify(E::neAssociationChange, QStringLiteral("/x"));
  ASSERT_EQ(Events.size(), 1u);
  EXPECT_EQ(Events[0].Path1, QString());
  FNotifier.SetEnabled(false);
  FNotifier.Notify(E::neFileCreate, QStringLiteral("/y"));
  EXPECT_EQ(Events.size(), 1u);
}

TEST_F(ChangeNotifierTest, DiskChangesBecomeEvents) {
  const QString dir = Root + QStringLiteral("/watched");
  const QString away = Root + QStringLiteral("/away");
  QDir().mkpath(dir + QStringLiteral("/sub"));
  QDir().mkpath(away);
  FNotifier.SetClock({});
  FNotifier.AddPath(dir);
  FNotifier.SetEnabled(true);
  EXPECT_EQ(FNotifier.WatchCount(), 2);  // recursive: the subfolder too

  const QString file = dir + QStringLiteral("/clip.mkv");
  testing_support::WriteText(file, "data");  // create, then close after writing
  WaitFor({E::neFileCreate, file, {}});
  WaitFor({E::neFileChange, file, {}});

  // Writing without closing is no change yet (a file being converted does not flood the list).
  const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "more", 4), 4);
  const QString marker = dir + QStringLiteral("/marker");
  testing_support::WriteText(marker, "");
  WaitFor({E::neFileCreate, marker, {}});
  EXPECT_EQ(std::count(Events.begin(), Events.end(), TEvent{E::neFileChange, file, {}}), 1);
  ::close(fd);

  const QString renamed = dir + QStringLiteral("/renamed.mkv");
  ASSERT_TRUE(QFile::rename(file, renamed));
  WaitFor({E::neFileRename, file, renamed});
  ASSERT_EQ(::chmod(QFile::encodeName(renamed).constData(), 0600), 0);
  WaitFor({E::neAttributesChange, renamed, {}});
  ASSERT_TRUE(QFile::rename(marker, away + QStringLiteral("/marker")));  // out of the watched folder
  WaitFor({E::neFileDelete, marker, {}});
  const QString inner = dir + QStringLiteral("/sub/inner.mkv");
  testing_support::WriteText(inner, "x");
  WaitFor({E::neFileCreate, inner, {}});
  const QString made = dir + QStringLiteral("/made");
  QDir().mkdir(made);
  WaitFor({E::neFolderCreate, made, {}});
  testing_support::WriteText(made + QStringLiteral("/new.mkv"), "x");  // a new folder is watched at once
  WaitFor({E::neFileCreate, made + QStringLiteral("/new.mkv"), {}});
  ASSERT_TRUE(QFile::remove(renamed));
  WaitFor({E::neFileDelete, renamed, {}});
  // The watched folder itself goes.
  ASSERT_TRUE(QDir(dir).removeRecursively());
  WaitFor({E::neFolderDelete, dir, {}});
}

// Names that are not UTF-8 (Latin-1, from an old disk or archive) are reported by their own
// bytes, and a folder with such a name is watched like any other.
TEST_F(ChangeNotifierTest, LatinOneNamesAreReportedByTheirBytes) {
  const QByteArray dir = QFile::encodeName(Root) + "/watched";
  const QByteArray sub = dir + "/d\xe9j\xe0";
  ASSERT_EQ(::mkdir(dir.constData(), 0755), 0);
  ASSERT_EQ(::mkdir(sub.constData(), 0755), 0);
  FNotifier.SetClock({});
  FNotifier.AddPath(platform::FileNameFromBytes(dir));
  FNotifier.SetEnabled(true);
  EXPECT_EQ(FNotifier.WatchCount(), 2);  // recursive: the Latin-1 subfolder too

  const auto make = [](const QByteArray& name) {
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << name.toStdString();
    ::close(fd);
  };
  make(dir + "/caf\xe9.avi");
  make(sub + "/inner.avi");
  // inotify keeps the order: once the marker is reported, so is everything before it.
  make(dir + "/marker");
  WaitFor({E::neFileCreate, platform::FileNameFromBytes(dir + "/marker"), {}});
  for (const QByteArray& made : {dir + "/caf\xe9.avi", sub + "/inner.avi"}) {
    const QString name = platform::FileNameFromBytes(made);
    EXPECT_NE(std::find(Events.begin(), Events.end(), TEvent{E::neFileCreate, name, {}}), Events.end())
        << made.toStdString();
  }
  // A change of the folder itself is a folder update.
  Events.clear();
  FNotifier.Notify(E::neFileChange, platform::FileNameFromBytes(sub));
  ASSERT_EQ(Events.size(), 1u);
  EXPECT_EQ(Events[0].Event, E::neFolderUpdate);
  // The temporary folder cannot find these names to remove them.
  FNotifier.SetEnabled(false);
  ::unlink((sub + "/inner.avi").constData());
  ::rmdir(sub.constData());
  ::unlink((dir + "/caf\xe9.avi").constData());
}

// More changes than the kernel queues for one reader: inotify drops the rest and says so, and
// every watched place (the added paths and the place the owning control shows) is reported as
// updated, so its view refills.
TEST_F(ChangeNotifierTest, QueueOverflowReportsEveryWatchedPlace) {
  QFile limitFile(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
  ASSERT_TRUE(limitFile.open(QIODevice::ReadOnly));
  const int limit = limitFile.readAll().trimmed().toInt();
  ASSERT_GT(limit, 0);
  if (limit > 200000) GTEST_SKIP() << "inotify queues " << limit << " events; too many files to make";

  const QString added = Root + QStringLiteral("/added");
  const QString shown = Root + QStringLiteral("/shown");
  QDir().mkpath(added);
  QDir().mkpath(shown);
  FNotifier.SetClock({});
  FNotifier.AddPath(added);
  FNotifier.WatchIDList(shell::TNavItemIdList::CreateFromPath(shown));
  FNotifier.SetEnabled(true);
  ASSERT_EQ(FNotifier.WatchCount(), 2);

  // Each file gives a create and a close-after-write event; nothing is read meanwhile.
  for (int i = 0; i < limit; ++i) {
    const QByteArray name = QFile::encodeName(shown + QStringLiteral("/f%1").arg(i));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << name.constData();
    ::close(fd);
  }
  WaitFor({E::neFolderUpdate, shown, {}});
  WaitFor({E::neFolderUpdate, added, {}});
}

TEST_F(ChangeNotifierTest, VolumesComingAndGoing) {
  FNotifier.SetEnabled(true);  // nothing to watch: Computer, volumes only
  const QString stick = Root + QStringLiteral("/stick");
  testing_support::WriteText(MountTable, "/dev/sda1 / ext4 rw 0 0\n/dev/sdc1 " + stick.toUtf8() + " vfat rw 0 0\n");
  FNotifier.CheckMounts();
  ASSERT_FALSE(Events.empty());
  EXPECT_NE(std::find(Events.begin(), Events.end(), TEvent{E::neDriveAdd, stick, {}}), Events.end());
  EXPECT_NE(std::find(Events.begin(), Events.end(), TEvent{E::neDriveRemove, Volume, {}}), Events.end());
  Events.clear();
  FNotifier.CheckMounts();
  EXPECT_TRUE(Events.empty());
}

}  // namespace
