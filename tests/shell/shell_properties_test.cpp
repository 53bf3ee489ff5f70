#include "shell/shell_properties.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMimeDatabase>
#include <QUrl>

#include "fake_home.h"
#include "platform/main_thread.h"
#include "platform/qt_main_thread.h"
#include "shell/nav_background_context_menu.h"
#include "shell/nav_shell_list.h"
#include "shell/shell_browser.h"
#include "shell/thread_pool.h"
#include "support/private_bus.h"

namespace {

using shell::TItemPropertiesDialog;

// A file manager on the test's bus: records each ShowItemProperties call, or refuses it.
class TFakeFileManager : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

 public:
  struct TCall {
    QStringList Uris;
    QString StartupId;
  };
  std::vector<TCall> Calls;
  bool Refuse = false;

 public slots:
  void ShowItemProperties(const QStringList& uris, const QString& startupId) {
    Calls.push_back({uris, startupId});
    if (Refuse) sendErrorReply(QDBusError::Failed, QStringLiteral("no window today"));
  }
};

const QString kCaller = QStringLiteral("properties-caller");
const QString kService = QStringLiteral("properties-file-manager");

class ShellPropertiesTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    FakeHomeTest::SetUp();
    Folder = Root + QStringLiteral("/clips");
    QDir().mkpath(Folder + QStringLiteral("/sub"));
    ASSERT_TRUE(testing_support::WriteText(Folder + QStringLiteral("/a.txt"), QByteArray(1000, 'a')));
    ASSERT_TRUE(testing_support::WriteText(Folder + QStringLiteral("/sub/b.txt"), QByteArray(2345, 'b')));
  }
  void TearDown() override {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<TItemPropertiesDialog*>(widget) != nullptr) delete widget;
    shell::SetItemPropertiesBusName(QString());
    QDBusConnection::disconnectFromBus(kCaller);
    QDBusConnection::disconnectFromBus(kService);
    shell::ShutdownGlobalThreadPool();  // before the dispatcher goes
    FakeHomeTest::TearDown();
  }

  // Starts the test's bus; with a file manager on it when fileManager is given.
  bool StartBus(TFakeFileManager* fileManager) {
    if (!testing_support::TPrivateBus::Available()) return false;
    FBus = std::make_unique<testing_support::TPrivateBus>();
    if (FBus->Address.isEmpty()) return false;
    QDBusConnection caller = QDBusConnection::connectToBus(FBus->Address, kCaller);
    if (!caller.isConnected()) return false;
    if (fileManager != nullptr) {
      QDBusConnection service = QDBusConnection::connectToBus(FBus->Address, kService);
      if (!service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), fileManager,
                                  QDBusConnection::ExportAllSlots) ||
          !service.registerService(QStringLiteral("org.freedesktop.FileManager1")))
        return false;
    }
    shell::SetItemPropertiesBusName(kCaller);
    return true;
  }

  static std::vector<TItemPropertiesDialog*> Dialogs() {
    std::vector<TItemPropertiesDialog*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<TItemPropertiesDialog*>(widget);
          dialog != nullptr && dialog->isVisible())
        found.push_back(dialog);
    return found;
  }
  // Runs the event loop until a call arrived or a window of ours opened.
  static void WaitForAnswer(const TFakeFileManager* fileManager) {
    while ((fileManager == nullptr || fileManager->Calls.empty()) && Dialogs().empty())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  static void WaitForCount(TItemPropertiesDialog& dialog) {
    platform::WaitInMainThread([&] { return dialog.Counted(); });
  }

  testing_support::TWidgetAppFirst FApp;
  platform::TQtMainThreadDispatcher FDispatcher;
  platform::TDispatcherGuard FGuard{&FDispatcher};  // pool completions run on this thread
  QString Folder;
  std::unique_ptr<testing_support::TPrivateBus> FBus;
};

QString Uri(const QString& path) { return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded); }

QString SizeText(uint64_t bytes) {
  return QLocale().toString(static_cast<qulonglong>(bytes)) + QStringLiteral(" bytes");
}

TEST_F(ShellPropertiesTest, TheFileManagerOnTheBusShowsThem) {
  TFakeFileManager fileManager;
  if (!StartBus(&fileManager)) GTEST_SKIP() << "no private bus with a file manager could be set up";

  // The browser's verb, for the object and for several objects.
  shell::TShellBrowser browser;
  browser.SetFolder(Folder);
  browser.LocateObject(QStringLiteral("a.txt"));
  ASSERT_TRUE(browser.ExecuteCommand(QStringLiteral("properties")));
  WaitForAnswer(&fileManager);
  ASSERT_EQ(fileManager.Calls.size(), 1u);
  EXPECT_EQ(fileManager.Calls[0].Uris, QStringList{Uri(Folder + QStringLiteral("/a.txt"))});
  EXPECT_EQ(fileManager.Calls[0].StartupId, QString());

  browser.MultiObjects() = QStringList{QStringLiteral("a.txt"), Folder + QStringLiteral("/sub")};
  ASSERT_TRUE(browser.ExecuteCommand(QStringLiteral("properties")));
  while (fileManager.Calls.size() < 2) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_EQ(fileManager.Calls[1].Uris,
            (QStringList{Uri(Folder + QStringLiteral("/a.txt")), Uri(Folder + QStringLiteral("/sub"))}));

  // The list background's Properties: the list's folder. A name with a blank is sent encoded.
  const QString spaced = Root + QStringLiteral("/my clips");
  QDir().mkpath(spaced);
  shell::TNavShellList list;
  list.SetPath(spaced);
  shell::TNavBackgroundContextMenu menu(list);
  QAction* properties = menu.actions().last();
  ASSERT_EQ(properties->text(), QStringLiteral("Properties"));
  properties->trigger();
  while (fileManager.Calls.size() < 3) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_EQ(fileManager.Calls[2].Uris,
            QStringList{QStringLiteral("file://") + Root + QStringLiteral("/my%20clips")});
  EXPECT_TRUE(Dialogs().empty());
}

// Without a file manager, our own window: where there is no bus at all, for a refusing one and
// for a bus without one. The case that needs no bus comes first: a machine that cannot start a
// private bus skips only the others.
TEST_F(ShellPropertiesTest, WithoutAFileManagerOurWindowShowsThem) {
  enum class TBus { None, Refusing, Empty };
  for (const TBus kind : {TBus::None, TBus::Refusing, TBus::Empty}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TFakeFileManager fileManager;
    fileManager.Refuse = true;
    if (kind == TBus::None) {
      shell::SetItemPropertiesBusName(QStringLiteral("no-such-connection"));
    } else if (!StartBus(kind == TBus::Refusing ? &fileManager : nullptr)) {
      GTEST_SKIP() << "no private bus could be set up";
    }
    QWidget parent;
    ASSERT_TRUE(shell::ShowItemProperties({Folder}, &parent));
    WaitForAnswer(nullptr);
    ASSERT_EQ(Dialogs().size(), 1u);
    TItemPropertiesDialog& dialog = *Dialogs().front();
    EXPECT_EQ(dialog.parentWidget(), &parent);
    EXPECT_EQ(dialog.Value(QStringLiteral("name")), QStringLiteral("clips"));
    EXPECT_EQ(dialog.Value(QStringLiteral("kind")), QStringLiteral("Folder"));
    EXPECT_EQ(dialog.Value(QStringLiteral("location")), Root);
    WaitForCount(dialog);
    // Both files, in the folder and its subfolder; the folder and its subfolder.
    EXPECT_TRUE(dialog.Value(QStringLiteral("size")).contains(SizeText(1000 + 2345)))
        << dialog.Value(QStringLiteral("size")).toStdString();
    EXPECT_TRUE(dialog.Value(QStringLiteral("size")).endsWith(QStringLiteral(", 2 files, 2 folders")))
        << dialog.Value(QStringLiteral("size")).toStdString();
    if (kind == TBus::Refusing) {
      EXPECT_EQ(fileManager.Calls.size(), 1u);
    }
    dialog.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Dialogs().empty());
    QDBusConnection::disconnectFromBus(kCaller);
    QDBusConnection::disconnectFromBus(kService);
    FBus.reset();
  }
}

TEST_F(ShellPropertiesTest, OurWindowDescribesOneFileOrSeveralItems) {
  const QString file = Folder + QStringLiteral("/a.txt");
  ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
  const QDateTime modified(QDate(2024, 3, 9), QTime(14, 5, 0));
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
  }
  TItemPropertiesDialog one({file}, nullptr);
  EXPECT_TRUE(one.Counted());  // a file needs no counting
  EXPECT_EQ(one.Value(QStringLiteral("name")), QStringLiteral("a.txt"));
  EXPECT_EQ(one.Value(QStringLiteral("kind")),
            QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment());
  EXPECT_EQ(one.Value(QStringLiteral("location")), Folder);
  EXPECT_TRUE(
      one.Value(QStringLiteral("size")).endsWith(QStringLiteral("(") + SizeText(1000) + QStringLiteral(")")));
  EXPECT_EQ(one.Value(QStringLiteral("modified")), QLocale().toString(modified, QLocale::LongFormat));
  EXPECT_TRUE(one.Value(QStringLiteral("permissions")).startsWith(QStringLiteral("rw-r----- (owner ")));
  EXPECT_EQ(one.windowTitle(), QStringLiteral("a.txt Properties"));

  const QString elsewhere = Root + QStringLiteral("/other.txt");
  ASSERT_TRUE(testing_support::WriteText(elsewhere, QByteArray(7, 'x')));
  TItemPropertiesDialog several({file, Folder + QStringLiteral("/sub"), elsewhere}, nullptr);
  EXPECT_EQ(several.Value(QStringLiteral("name")), QStringLiteral("3 items"));
  EXPECT_EQ(several.Value(QStringLiteral("kind")), QStringLiteral("Various kinds"));
  EXPECT_EQ(several.Value(QStringLiteral("location")), QStringLiteral("Various folders"));
  EXPECT_EQ(several.Value(QStringLiteral("modified")), QString());  // one item's lines only
  EXPECT_EQ(several.Value(QStringLiteral("permissions")), QString());
  WaitForCount(several);
  EXPECT_TRUE(several.Value(QStringLiteral("size")).contains(SizeText(1000 + 2345 + 7)));
  EXPECT_FALSE(shell::ShowItemProperties({}, nullptr));
}

}  // namespace

#include "shell_properties_test.moc"
