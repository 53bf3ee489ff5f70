// For the test programs of the windows: Qt's own threads, which ThreadSanitizer cannot follow.
// - Qt Gui splits the image work of a large window (filling, blending and converting its backing
//   store) into pieces that Qt's global thread pool runs while the user-interface thread waits.
// - The main window's taskbar backend starts Qt's D-Bus connection thread, which registers its
//   types and carries the bus's messages.
// Both hand their data over under Qt's own locks and semaphores (futexes TSan cannot see), so
// every hand-over would be reported, with Qt frames that carry no symbol (Debian's Qt has no debug
// information installed) for a suppression to name. Under ThreadSanitizer each of these threads
// is therefore made to wait once for the user-interface thread through a lock TSan sees, so that
// what it did while starting is ordered before everything after, and from then on its own
// accesses are not checked. Nothing of ours runs on them: every access of our own threads, and of
// the user-interface thread, is still checked. Elsewhere this file does nothing.

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <condition_variable>
#include <functional>
#include <mutex>

extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();

namespace {

// Runs on the thread to leave unchecked. The checks come back just before the thread ends, as
// ThreadSanitizer requires.
void StopCheckingThisThread() {
  __tsan_ignore_thread_begin();
  QObject::connect(QThread::currentThread(), &QThread::finished, [] { __tsan_ignore_thread_end(); });
}

// Hands StopCheckingThisThread to another thread through post and waits until it has run.
void StopChecking(const std::function<void(std::function<void()>)>& post) {
  std::mutex lock;
  std::condition_variable changed;
  bool done = false;
  post([&] {
    StopCheckingThisThread();
    std::lock_guard hold(lock);
    done = true;
    changed.notify_one();
  });
  std::unique_lock hold(lock);
  changed.wait(hold, [&] { return done; });
}

class TQtOwnThreadsUnchecked : public ::testing::Environment {
 public:
  void SetUp() override {
    // The pool: one thread that never expires (a new one would be checked again).
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(1);
    pool->setExpiryTimeout(-1);
    StopChecking([pool](std::function<void()> work) { pool->start(std::move(work)); });
    // The D-Bus connection's thread, started now, before any test; without a session bus it does
    // nothing.
    QObject* inThread = QDBusConnection::sessionBus().interface();
    if (inThread != nullptr && inThread->thread() != QThread::currentThread())
      StopChecking([inThread](std::function<void()> work) {
        QMetaObject::invokeMethod(inThread, std::move(work), Qt::QueuedConnection);
      });
  }
};

}  // namespace

// The call that reaches the D-Bus thread is handed over inside Qt as well; it is the one race
// of this file's own making.
extern "C" __attribute__((no_sanitize("thread"))) const char* ConverterProgramTsanSuppressions() {
  return "race:TQtOwnThreadsUnchecked::SetUp\n";
}

namespace {

::testing::Environment* const GQtOwnThreadsUnchecked =
    ::testing::AddGlobalTestEnvironment(new TQtOwnThreadsUnchecked);

}  // namespace
#endif
