#include "components/taskbar_mgr.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <functional>

#include "components/recording_taskbar_backend.h"
#include "components/taskbar_dbus_backend.h"
#include "support/private_bus.h"
#include "support/test_application.h"

namespace {

using components::TTaskbarMgr;
using components::TTaskbarThumbButton;
using components::TTaskProgressState;
using testing_support::TRecordingTaskbarBackend;

QGuiApplication& App() { return testing_support::TestApplication<QGuiApplication>("taskbar_mgr_tests"); }

QIcon SomeIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::red);
  return QIcon(pixmap);
}

std::vector<TTaskbarThumbButton> Buttons(int count) {
  std::vector<TTaskbarThumbButton> buttons(count);
  for (int i = 0; i < count; ++i) buttons[i].Id = i + 1;
  return buttons;
}

// One scripted use of the component: what the caller does, and the backend calls it must cause.
struct TTaskbarCase {
  const char* Name;
  std::function<void(TTaskbarMgr&)> Script;
  std::vector<std::string> Calls;
};

void PrintTo(const TTaskbarCase& c, std::ostream* out) { *out << c.Name; }

class TaskbarMgrTest : public ::testing::TestWithParam<TTaskbarCase> {
 protected:
  void SetUp() override { App(); }
};

TEST_P(TaskbarMgrTest, SendsExactlyTheseCalls) {
  TRecordingTaskbarBackend::TLog log;
  {
    TTaskbarMgr mgr(nullptr, std::make_unique<TRecordingTaskbarBackend>(&log));
    GetParam().Script(mgr);
    log.Calls.push_back("-- destroyed");
  }
  EXPECT_EQ(log.Calls, GetParam().Calls);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TaskbarMgrTest,
    ::testing::Values(TTaskbarCase{"StoredUntilActive",
                                   [](TTaskbarMgr& m) {
                                     m.SetProgressValue(50);
                                     m.SetProgressState(TTaskProgressState::fstpsNormal);
                                     m.SetActive(true);
                                   },
                                   {"State Normal", "Value 50/100", "-- destroyed", "State NoProgress"}},
                      TTaskbarCase{"IndeterminateSendsNoValue",
                                   [](TTaskbarMgr& m) {
                                     m.SetProgressValue(50);
                                     m.SetProgressState(TTaskProgressState::fstpsIndeterminate);
                                     m.SetActive(true);
                                   },
                                   {"State Indeterminate", "-- destroyed", "State NoProgress"}},
                      TTaskbarCase{"ValueZeroIsNotSentOnApply",
                                   [](TTaskbarMgr& m) {
                                     m.SetProgressState(TTaskProgressState::fstpsPaused);
                                     m.SetActive(true);
                                     m.SetProgressValueMax(0);
                                   },
                                   {"State Paused", "Value 0/0", "-- destroyed", "State NoProgress"}},
                      TTaskbarCase{"DeactivatingFromErrorResets",
                                   [](TTaskbarMgr& m) {
                                     m.SetActive(true);
                                     m.SetProgressState(TTaskProgressState::fstpsError);
                                     m.SetActive(false);
                                     m.SetActive(false);
                                     m.SetProgressValue(7);
                                   },
                                   {"State Error", "State NoProgress", "-- destroyed"}},
                      TTaskbarCase{"NothingShownNothingWithdrawn",
                                   [](TTaskbarMgr& m) {
                                     m.SetActive(true);
                                     m.SetActive(false);
                                   },
                                   {"-- destroyed"}},
                      TTaskbarCase{"OverlayClearedAtOnceSetOnlyWhenActive",
                                   [](TTaskbarMgr& m) {
                                     m.SetOverlayIcon(SomeIcon());
                                     m.SetOverlayIcon(QIcon());
                                     m.SetOverlayIcon(SomeIcon());
                                     m.SetActive(true);
                                   },
                                   {"Overlay none", "Overlay icon", "-- destroyed", "Overlay none"}},
                      TTaskbarCase{"EightButtonsAddSeven",
                                   [](TTaskbarMgr& m) {
                                     m.SetThumbButtons(Buttons(8));
                                     m.SetThumbButton(0, TTaskbarThumbButton{});
                                     m.SetActive(true);
                                     m.SetThumbButton(7, TTaskbarThumbButton{});
                                     m.SetThumbButton(8, TTaskbarThumbButton{});
                                   },
                                   {"Add 7", "Update 7", "-- destroyed"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(TaskbarMgrButtons, HintsAreCutAndClicksAndRecreationReachTheComponent) {
  App();
  TRecordingTaskbarBackend::TLog log;
  auto backend = std::make_unique<TRecordingTaskbarBackend>(&log);
  TRecordingTaskbarBackend* desktop = backend.get();
  TTaskbarMgr mgr(nullptr, std::move(backend));
  auto buttons = Buttons(2);
  buttons[1].Hint = QString(300, QLatin1Char('h'));
  mgr.SetThumbButtons(buttons);
  std::vector<int> clicks;
  mgr.OnThumbButtonClick = [&](TTaskbarMgr* sender, int id) {
    EXPECT_EQ(sender, &mgr);
    clicks.push_back(id);
  };

  desktop->OnButtonCreated();  // inactive: the desktop gets nothing
  EXPECT_TRUE(log.Calls.empty());
  mgr.SetProgressState(TTaskProgressState::fstpsNormal);
  mgr.SetProgressValue(3);
  mgr.SetActive(true);
  ASSERT_EQ(log.LastButtons.size(), 2u);
  EXPECT_EQ(log.LastButtons[1].Hint.size(), TTaskbarMgr::MaxHintLength);
  EXPECT_EQ(mgr.ThumbButtons()[1].Hint.size(), 300) << "the stored hint stays whole";

  log.Calls.clear();
  desktop->OnButtonCreated();  // a restarted dock gets the whole state again
  EXPECT_EQ(log.Calls, (std::vector<std::string>{"Add 2", "State Normal", "Value 3/100"}));

  desktop->OnThumbButtonClick(3);
  EXPECT_EQ(clicks, std::vector<int>{3});
}

struct TFractionCase {
  int64_t Value, Max;
  double Fraction;
};
void PrintTo(const TFractionCase& c, std::ostream* out) { *out << c.Value << " of " << c.Max; }
class TaskbarFractionTest : public ::testing::TestWithParam<TFractionCase> {};
TEST_P(TaskbarFractionTest, NeverDividesByZeroAndStaysInRange) {
  EXPECT_DOUBLE_EQ(components::TDBusTaskbarBackend::Fraction(GetParam().Value, GetParam().Max),
                   GetParam().Fraction);
}
INSTANTIATE_TEST_SUITE_P(Edges, TaskbarFractionTest,
                         ::testing::Values(TFractionCase{50, 100, 0.5}, TFractionCase{5, 0, 0.0},
                                           TFractionCase{5, -3, 0.0}, TFractionCase{150, 100, 1.0},
                                           TFractionCase{-1, 100, 0.0}, TFractionCase{2, 3, 2.0 / 3.0}));

// Keeps the launcher-entry signals that arrive on a bus connection.
class TLauncherListener : public QObject {
  Q_OBJECT
 public:
  std::vector<QVariantMap> Properties;
  std::vector<QString> Uris;
 public slots:
  void Update(const QString& appUri, const QVariantMap& properties) {
    Uris.push_back(appUri);
    Properties.push_back(properties);
  }
};

TEST(TaskbarDBus, SendsLauncherEntryUpdatesOnThePrivateBus) {
  App();
  if (!testing_support::TPrivateBus::Available()) GTEST_SKIP() << "dbus-daemon is not installed";
  testing_support::TPrivateBus bus;
  ASSERT_FALSE(bus.Address.isEmpty()) << "dbus-daemon printed no address";
  {
    QDBusConnection sender = QDBusConnection::connectToBus(bus.Address, QStringLiteral("taskbar-sender"));
    QDBusConnection listenerBus =
        QDBusConnection::connectToBus(bus.Address, QStringLiteral("taskbar-listener"));
    ASSERT_TRUE(sender.isConnected());
    ASSERT_TRUE(listenerBus.isConnected());
    TLauncherListener listener;
    // QtDBus takes its receivers by slot signature only.
    ASSERT_TRUE(listenerBus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                    QStringLiteral("Update"), &listener, SLOT(Update(QString, QVariantMap))));
    const auto waitFor = [&](size_t count) {
      QElapsedTimer clock;
      clock.start();
      while (listener.Properties.size() < count && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
      return listener.Properties.size() >= count;
    };

    {
      TTaskbarMgr mgr(nullptr, std::make_unique<components::TDBusTaskbarBackend>(
                                   sender, QStringLiteral("tarsel-video-converter")));
      mgr.SetProgressValue(50);
      mgr.SetProgressState(TTaskProgressState::fstpsNormal);
      mgr.SetActive(true);  // sends state, then value
      ASSERT_TRUE(waitFor(2));
      EXPECT_EQ(listener.Uris.back(), QStringLiteral("application://tarsel-video-converter.desktop"));
      EXPECT_DOUBLE_EQ(listener.Properties.back().value(QStringLiteral("progress")).toDouble(), 0.5);
      EXPECT_TRUE(listener.Properties.back().value(QStringLiteral("progress-visible")).toBool());
      EXPECT_FALSE(listener.Properties.back().value(QStringLiteral("urgent")).toBool());

      mgr.SetProgressState(TTaskProgressState::fstpsError);
      ASSERT_TRUE(waitFor(3));
      EXPECT_TRUE(listener.Properties.back().value(QStringLiteral("urgent")).toBool());
      EXPECT_TRUE(listener.Properties.back().value(QStringLiteral("progress-visible")).toBool());

      mgr.SetProgressValueMax(0);
      ASSERT_TRUE(waitFor(4));
      EXPECT_DOUBLE_EQ(listener.Properties.back().value(QStringLiteral("progress")).toDouble(), 0.0);

      mgr.SetActive(false);
      ASSERT_TRUE(waitFor(5));
      EXPECT_FALSE(listener.Properties.back().value(QStringLiteral("progress-visible")).toBool());
      EXPECT_FALSE(listener.Properties.back().value(QStringLiteral("urgent")).toBool());
    }
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("taskbar-sender"));
  QDBusConnection::disconnectFromBus(QStringLiteral("taskbar-listener"));
}

}  // namespace

#include "taskbar_mgr_test.moc"
