// Notifications from the library's threads: delivered on the component's thread while the
// library's thread waits, skipped when nobody listens, and never holding the library's thread
// while the component's thread waits for it (abort, deactivation, destruction).

#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "burning/disc_burner_sdk.h"
#include "burning_test_support.h"

namespace burning {
namespace {

using burning_test::FakeLibraryTest;

// Waits, without processing events, until the fake's job thread sits inside a callback.
bool JobThreadBlocked(TFakeDiscburn* fake) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fake->InCallback && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return fake->InCallback;
}

TEST_F(FakeLibraryTest, JobEventsRunOnTheComponentThreadWhileTheJobWaits) {
  Activate();
  QThread* const ui = QThread::currentThread();
  std::vector<std::string> seen;
  bool jobDone = false;
  // Each handler checks that it runs on this thread while the job thread is still inside
  // the very callback that delivered it.
  auto check = [&](const std::string& name, int step) {
    seen.push_back(name);
    EXPECT_EQ(QThread::currentThread(), ui) << name;
    EXPECT_TRUE(Fake->InCallback) << name;
    EXPECT_EQ(Fake->StepsDone, step) << name;
  };
  Fake->JobInfoLevel = DB_INFO;
  Burner->OnProcess = [&](TDiscBurnerSDK* sender, float percent, float buffer, float cache,
                          double written, double size) {
    check("process", 0);
    EXPECT_EQ(sender, Burner.get());
    EXPECT_FLOAT_EQ(percent, 50.5f);
    EXPECT_FLOAT_EQ(buffer, 80.0f);
    EXPECT_FLOAT_EQ(cache, 25.0f);
    EXPECT_DOUBLE_EQ(written, 1048576.0);
    EXPECT_DOUBLE_EQ(size, 2097152.0);
  };
  Burner->OnInfoText = [&](TDiscBurnerSDK*, const QString& text, TInfoTextLevel level) {
    check("info", 1);
    EXPECT_EQ(text, "writing");
    EXPECT_EQ(level, TInfoTextLevel::ilInfo);
  };
  Burner->OnBurnFile = [&](TDiscBurnerSDK*, const QString& file) {
    check("file", 2);
    EXPECT_EQ(file, "clip.mkv");
  };
  Burner->OnFinalize = [&](TDiscBurnerSDK*) { check("finalize", 3); };
  Burner->OnBurnDone = [&](TDiscBurnerSDK*, const QString& error) {
    check("burn done", 4);
    EXPECT_EQ(error, "");
  };
  Burner->OnJobDone = [&](TDiscBurnerSDK*) {
    check("job done", 5);
    jobDone = true;
  };
  ASSERT_TRUE(Burner->Burn());
  ASSERT_TRUE(PumpUntil([&] { return jobDone; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"process", "info", "file", "finalize", "burn done",
                                            "job done"}));
  EXPECT_TRUE(Fake->WaitJobFinished(30));
}

TEST_F(FakeLibraryTest, UnassignedEventsDoNotHoldTheJob) {
  Activate();
  int infoTexts = 0;
  // Assigned, but the job's text is above the level asked for: skipped as well.
  Burner->OnInfoText = [&](TDiscBurnerSDK*, const QString&, TInfoTextLevel) { ++infoTexts; };
  Fake->JobInfoLevel = DB_HIGH_DEBUG;
  ASSERT_TRUE(Burner->Burn());
  // No event is processed here: a job waiting for this thread would never finish.
  EXPECT_TRUE(Fake->WaitJobFinished(30));
  EXPECT_EQ(Fake->StepsDone, 6);
  QCoreApplication::processEvents();
  EXPECT_EQ(infoTexts, 0);
}

TEST_F(FakeLibraryTest, InfoTextLevels) {
  Activate();
  const TInfoTextLevel levels[] = {TInfoTextLevel::ilInfo, TInfoTextLevel::ilLowDebug,
                                   TInfoTextLevel::ilMediumDebug, TInfoTextLevel::ilHighDebug};
  for (TInfoTextLevel setting : levels) {
    Burner->SetInfoTextLevel(setting);
    for (int reported = 0; reported <= 3; ++reported) {
      std::vector<TInfoTextLevel> got;
      Burner->OnInfoText = [&](TDiscBurnerSDK*, const QString& text, TInfoTextLevel level) {
        EXPECT_EQ(text, "message");
        got.push_back(level);
      };
      Fake->InfoText(u"message", reported, Fake->User);
      const bool expected = reported <= static_cast<int>(setting);
      ASSERT_EQ(got.size(), expected ? 1u : 0u)
          << "setting " << static_cast<int>(setting) << " reported " << reported;
      if (expected) {
        EXPECT_EQ(static_cast<int>(got[0]), reported);
      }
    }
  }
}

TEST_F(FakeLibraryTest, RawDataWritesBackReadAndReturnsTheCode) {
  Activate();
  std::vector<uint8_t> buffer(4096);
  // Without a handler: 0, the read count untouched.
  int32_t read = 17;
  EXPECT_EQ(Fake->RawData(100, buffer.data(), 4096, &read, Fake->User), 0);
  EXPECT_EQ(read, 17);

  Burner->OnRawData = [&](TDiscBurnerSDK*, int32_t lba, void* data, int32_t size, int32_t& r,
                          int32_t& code) {
    EXPECT_EQ(lba, 100);
    EXPECT_EQ(data, buffer.data());
    EXPECT_EQ(size, 4096);
    EXPECT_EQ(r, 17);
    EXPECT_EQ(code, 0);
    r = 2048;
    code = 5;
  };
  // From a thread of the library's: the answer comes back through the wait.
  int32_t result = -1;
  std::atomic<bool> finished{false};
  std::thread library([&] {
    result = Fake->RawData(100, buffer.data(), 4096, &read, Fake->User);
    finished = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return finished.load(); }));
  library.join();
  EXPECT_EQ(result, 5);
  EXPECT_EQ(read, 2048);
}

TEST_F(FakeLibraryTest, VideoScanDoneUnpacksTheFormat) {
  Activate();
  struct Case {
    uint8_t first;
    bool valid;
  };
  for (const Case& c : {Case{1, true}, Case{0, false}, Case{2, false}, Case{255, false}}) {
    DBVideoFormat format;
    format.Valid = c.first;
    for (int i = 0; i < 7; ++i) {
      const int32_t v = (i + 1) * 100;
      std::memcpy(reinterpret_cast<unsigned char*>(&format) + 1 + 4 * i, &v, 4);
    }
    TVideoFormat got;
    QString file, error;
    int32_t code = 0;
    Burner->OnVideoScanDone = [&](TDiscBurnerSDK*, const QString& f, const QString& e, int32_t ec,
                                  const TVideoFormat& v) {
      file = f;
      error = e;
      code = ec;
      got = v;
    };
    Fake->VideoScanDone(u"VIDEO_TS", u"none", 12, format, Fake->User);
    EXPECT_EQ(got.Valid, c.valid) << int(c.first);
    EXPECT_EQ(got.Values[0], 100);
    EXPECT_EQ(got.Values[6], 700);
    EXPECT_EQ(file, "VIDEO_TS");
    EXPECT_EQ(error, "none");
    EXPECT_EQ(code, 12);
  }
}

TEST_F(FakeLibraryTest, CompareFilesAnswersAllBitsOrNone) {
  Activate();
  DBFileEntry a, b;
  std::memset(&a, 0, sizeof a);
  std::memset(&b, 0, sizeof b);
  const std::u16string na = u"a.mkv", nb = u"b.mkv";
  std::memcpy(reinterpret_cast<unsigned char*>(&a), na.data(), na.size() * 2);
  std::memcpy(reinterpret_cast<unsigned char*>(&b), nb.data(), nb.size() * 2);
  b.SizeLow = 9;
  EXPECT_EQ(Fake->CompareFiles(&a, &b, Fake->User), 0) << "no handler";
  for (bool answer : {true, false}) {
    std::thread::id thread;
    Burner->OnCompareFilesForArrangement = [&](TDiscBurnerSDK*, const TFileEntry& first,
                                               const TFileEntry& second, bool& before) {
      EXPECT_EQ(first.Name, "a.mkv");
      EXPECT_EQ(second.Name, "b.mkv");
      EXPECT_EQ(second.Size, 9);
      EXPECT_FALSE(before);
      before = answer;
      thread = std::this_thread::get_id();
    };
    // Called on the library's own thread and answered there.
    uint8_t result = 0x11;
    std::thread library([&] { result = Fake->CompareFiles(&a, &b, Fake->User); });
    library.join();
    EXPECT_EQ(result, answer ? 0xFF : 0);
    EXPECT_NE(thread, std::this_thread::get_id());
  }
}

TEST_F(FakeLibraryTest, DirectCallbacksRunOnTheCallingThread) {
  Activate();
  std::thread::id createThread, removeThread;
  QStringList created, removed;
  Burner->OnCreateDir = [&](TDiscBurnerSDK*, const QString& full, const QString& joliet,
                            const QString& iso, const QString& udf) {
    created = {full, joliet, iso, udf};
    createThread = std::this_thread::get_id();
  };
  Burner->OnRemoveFile = [&](TDiscBurnerSDK*, const QString& full, const QString& dest,
                             const QString& file) {
    removed = {full, dest, file};
    removeThread = std::this_thread::get_id();
  };
  std::thread::id libraryThread;
  std::thread library([&] {
    libraryThread = std::this_thread::get_id();
    Fake->CreateDir(u"\\Films", u"Films", u"FILMS", u"Films", Fake->User);
    Fake->RemoveFile(u"\\Films\\a.mkv", u"\\Films\\", u"a.mkv", Fake->User);
  });
  library.join();  // no event processing needed
  EXPECT_EQ(created, (QStringList{"\\Films", "Films", "FILMS", "Films"}));
  EXPECT_EQ(removed, (QStringList{"\\Films\\a.mkv", "\\Films\\", "a.mkv"}));
  EXPECT_EQ(createThread, libraryThread);
  EXPECT_EQ(removeThread, libraryThread);
}

TEST_F(FakeLibraryTest, AbortDoesNotWaitForAJobWaitingForUs) {
  Activate();
  int processEvents = 0;
  QString burnDone = QStringLiteral("(none)");
  bool jobDone = false;
  Burner->OnProcess = [&](TDiscBurnerSDK*, float, float, float, double, double) { ++processEvents; };
  Burner->OnBurnDone = [&](TDiscBurnerSDK*, const QString& error) { burnDone = error; };
  Burner->OnJobDone = [&](TDiscBurnerSDK*) { jobDone = true; };
  ASSERT_TRUE(Burner->Burn());
  ASSERT_TRUE(JobThreadBlocked(Fake));
  // The fake's Abort joins its job thread, which is waiting for this thread.
  EXPECT_TRUE(Burner->Abort());
  EXPECT_TRUE(Fake->JobFinished);
  // What the job reported meanwhile still arrives, in order.
  EXPECT_TRUE(PumpUntil([&] { return jobDone; }));
  EXPECT_EQ(processEvents, 1);
  // Whether the job saw the request before it ended is the job's affair; its end arrives.
  EXPECT_NE(burnDone, "(none)");

  // Later jobs wait for their handlers again.
  jobDone = false;
  Burner->OnJobDone = [&](TDiscBurnerSDK*) {
    EXPECT_TRUE(Fake->InCallback);
    jobDone = true;
  };
  ASSERT_TRUE(Burner->Burn());
  EXPECT_TRUE(PumpUntil([&] { return jobDone; }));
}

TEST_F(FakeLibraryTest, AbortFromAnEventHandler) {
  Activate();
  QString burnDone = QStringLiteral("(none)");
  bool jobDone = false;
  // The handler runs while the job thread waits for it, and the fake's Abort waits for the
  // job thread.
  Burner->OnProcess = [&](TDiscBurnerSDK* sender, float, float, float, double, double) {
    EXPECT_TRUE(sender->Abort());
  };
  Burner->OnBurnDone = [&](TDiscBurnerSDK*, const QString& error) { burnDone = error; };
  Burner->OnJobDone = [&](TDiscBurnerSDK*) { jobDone = true; };
  ASSERT_TRUE(Burner->Burn());
  EXPECT_TRUE(PumpUntil([&] { return jobDone; }));
  // Whether the job saw the request before it ended is the job's affair; its end arrives.
  EXPECT_NE(burnDone, "(none)");
}

TEST_F(FakeLibraryTest, DeactivationReleasesAWaitingJob) {
  Activate();
  int processEvents = 0;
  Burner->OnProcess = [&](TDiscBurnerSDK*, float, float, float, double, double) { ++processEvents; };
  Burner->OnJobDone = [&](TDiscBurnerSDK*) { ++processEvents; };
  ASSERT_TRUE(Burner->Burn());
  ASSERT_TRUE(JobThreadBlocked(Fake));
  // The fake's DeInitialize joins the job thread.
  Burner->SetActive(false);
  EXPECT_FALSE(Burner->Active());
  EXPECT_TRUE(Fake->JobFinished);
  QCoreApplication::processEvents();
  EXPECT_EQ(processEvents, 0) << "nothing is delivered to a deactivated component";
  // Callbacks were cut before the library was asked to wait for its thread.
  auto reset = std::find(Fake->Calls.begin(), Fake->Calls.end(), "ResetCallbacks");
  auto deinit = std::find(Fake->Calls.begin(), Fake->Calls.end(), "DeInitialize");
  EXPECT_LT(reset, deinit);

  // And the component works again afterwards.
  Activate();
  bool jobDone = false;
  Burner->OnProcess = nullptr;
  Burner->OnJobDone = [&](TDiscBurnerSDK*) { jobDone = true; };
  ASSERT_TRUE(Burner->Burn());
  EXPECT_TRUE(PumpUntil([&] { return jobDone; }));
}

TEST_F(FakeLibraryTest, DestroyingAnActiveComponentReleasesAWaitingJob) {
  Activate();
  int calls = 0;
  Burner->OnProcess = [&](TDiscBurnerSDK*, float, float, float, double, double) { ++calls; };
  ASSERT_TRUE(Burner->Burn());
  ASSERT_TRUE(JobThreadBlocked(Fake));
  Burner.reset();
  EXPECT_TRUE(Fake->JobFinished);
  QCoreApplication::processEvents();
  EXPECT_EQ(calls, 0);
}

TEST_F(FakeLibraryTest, HandlerRemovedBeforeDeliveryIsNotCalled) {
  Activate();
  int files = 0;
  bool jobDone = false;
  Burner->OnProcess = [&](TDiscBurnerSDK*, float, float, float, double, double) {};
  Burner->OnBurnFile = [&](TDiscBurnerSDK*, const QString&) { ++files; };
  Burner->OnJobDone = [&](TDiscBurnerSDK*) { jobDone = true; };
  ASSERT_TRUE(Burner->Burn());
  ASSERT_TRUE(JobThreadBlocked(Fake));
  // During the abort the job's later notifications are queued without waiting; the file
  // handler is gone by the time they are handled.
  EXPECT_TRUE(Burner->Abort());
  Burner->OnBurnFile = nullptr;
  EXPECT_TRUE(PumpUntil([&] { return jobDone; }));
  EXPECT_EQ(files, 0);
}

TEST_F(FakeLibraryTest, EraseReportsThroughItsEvents) {
  Activate();
  QString error = QStringLiteral("(none)");
  bool jobDone = false;
  Burner->OnEraseDone = [&](TDiscBurnerSDK*, const QString& e) { error = e; };
  Burner->OnJobDone = [&](TDiscBurnerSDK*) { jobDone = true; };
  ASSERT_TRUE(Burner->Erase(true, false));
  EXPECT_TRUE(PumpUntil([&] { return jobDone; }));
  EXPECT_EQ(error, "");
}

}  // namespace
}  // namespace burning
