// Callback delivery: the library calls these functions on its own threads; notifications are
// carried to the component's thread and run there while the library's thread waits.

#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "burning/disc_burner_sdk.h"

namespace burning {

struct TDiscBurnerSDK::TDelivery {
  std::function<void()> Handler;
  bool Done = false;
  bool Cancelled = false;
};

bool TDiscBurnerSDK::Deliver(std::function<void()> handler, bool dropUnlessWaited) {
  if (QThread::currentThread() == thread()) {
    // Already on the component's thread: a blocking hand-over to itself would never return.
    {
      std::lock_guard<std::mutex> lock(FDeliveryMutex);
      if (FClosing) return false;
    }
    handler();
    return true;
  }
  auto delivery = std::make_shared<TDelivery>();
  delivery->Handler = std::move(handler);
  std::unique_lock<std::mutex> lock(FDeliveryMutex);
  if (FClosing || (FNoWait && dropUnlessWaited)) return false;
  // The delivery waits in our own queue and the posted call carries nothing: a functor posted
  // with its captures would be read on the component's thread through Qt's event queue, a
  // hand-over ThreadSanitizer cannot see.
  FPendingDeliveries.push_back(delivery);
  QMetaObject::invokeMethod(this, "RunPendingDelivery", Qt::QueuedConnection);
  if (FNoWait) return false;  // runs later; this thread does not wait during an abort
  FDeliveryDone.wait(lock, [&] { return delivery->Done || FClosing || FNoWait; });
  if (!delivery->Done && (FClosing || dropUnlessWaited)) delivery->Cancelled = true;
  return delivery->Done;
}

void TDiscBurnerSDK::RunPendingDelivery() {
  std::shared_ptr<TDelivery> delivery;
  {
    std::lock_guard<std::mutex> guard(FDeliveryMutex);
    if (FPendingDeliveries.empty()) return;
    delivery = std::move(FPendingDeliveries.front());
    FPendingDeliveries.pop_front();
    if (delivery->Cancelled) return;
  }
  delivery->Handler();
  {
    std::lock_guard<std::mutex> guard(FDeliveryMutex);
    delivery->Done = true;
  }
  FDeliveryDone.notify_all();
}

void TDiscBurnerSDK::SetClosing(bool closing) {
  {
    std::lock_guard<std::mutex> lock(FDeliveryMutex);
    FClosing = closing;
  }
  FDeliveryDone.notify_all();
}

void TDiscBurnerSDK::SetNoWait(bool noWait) {
  {
    std::lock_guard<std::mutex> lock(FDeliveryMutex);
    FNoWait = noWait;
  }
  FDeliveryDone.notify_all();
}

namespace {

// Library texts are NUL-terminated; a missing text is empty.
QString FromLibrary(const db_char* text) {
  if (!text) return QString();
  size_t n = 0;
  while (text[n] != 0 && n < (1u << 20)) ++n;
  return QString::fromUtf16(text, static_cast<qsizetype>(n));
}

TInfoTextLevel LevelFromLibrary(int32_t level) {
  return static_cast<TInfoTextLevel>(std::clamp<int32_t>(level, 0, 3));
}

}  // namespace

struct TBurnerCallbacks {
  static TDiscBurnerSDK* Self(void* user) { return static_cast<TDiscBurnerSDK*>(user); }

  static void InfoText(const db_char* text, int32_t level, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!self->OnInfoText || level > self->FInfoTextLevel.load()) return;
    const QString t = FromLibrary(text);
    const TInfoTextLevel l = LevelFromLibrary(level);
    self->Deliver([self, t, l] { if (self->OnInfoText) self->OnInfoText(self, t, l); }, false);
  }

  static void Process(float percent, float deviceBuffer, float cache, double bytesWritten,
                      double imageSize, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!self->OnProcess) return;
    self->Deliver([=] {
      if (self->OnProcess) self->OnProcess(self, percent, deviceBuffer, cache, bytesWritten, imageSize);
    }, false);
  }

  // One text argument: burn file, erase done, burn done, verify file.
  template <TDiscBurnerSDK::TTextEvent TDiscBurnerSDK::*Event>
  static void OneText(const db_char* text, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!(self->*Event)) return;
    const QString t = FromLibrary(text);
    self->Deliver([self, t] { if (self->*Event) (self->*Event)(self, t); }, false);
  }

  // No arguments: finalize, job done, start verify.
  template <TDiscBurnerSDK::TNotifyEvent TDiscBurnerSDK::*Event>
  static void NoArgs(void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!(self->*Event)) return;
    self->Deliver([self] { if (self->*Event) (self->*Event)(self); }, false);
  }

  static void AudioDecodeDone(const db_char* fileName, const db_char* error, int32_t code,
                              void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!self->OnAudioDecodeDone) return;
    const QString f = FromLibrary(fileName), e = FromLibrary(error);
    self->Deliver([=] { if (self->OnAudioDecodeDone) self->OnAudioDecodeDone(self, f, e, code); },
                  false);
  }

  static void VideoScanner(float percent, const db_char* fileName, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!self->OnVideoScanner) return;
    const QString f = FromLibrary(fileName);
    self->Deliver([=] { if (self->OnVideoScanner) self->OnVideoScanner(self, percent, f); }, false);
  }

  static void VideoScanDone(const db_char* fileName, const db_char* error, int32_t code,
                            DBVideoFormat format, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!self->OnVideoScanDone) return;
    const QString f = FromLibrary(fileName), e = FromLibrary(error);
    TVideoFormat v;
    v.Valid = format.Valid == 1;
    std::memcpy(v.Values, reinterpret_cast<const unsigned char*>(&format) + offsetof(DBVideoFormat, Values),
                sizeof v.Values);
    self->Deliver([=] { if (self->OnVideoScanDone) self->OnVideoScanDone(self, f, e, code, v); },
                  false);
  }

  static void VerifyError(const db_char* fileName, const db_char* error, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!self->OnVerifyError) return;
    const QString f = FromLibrary(fileName), e = FromLibrary(error);
    self->Deliver([=] { if (self->OnVerifyError) self->OnVerifyError(self, f, e); }, false);
  }

  static void VerifyDone(int32_t numErrors, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!self->OnVerifyDone) return;
    self->Deliver([=] { if (self->OnVerifyDone) self->OnVerifyDone(self, numErrors); }, false);
  }

  static int32_t RawData(int32_t lba, void* buffer, int32_t bufferSize, int32_t* read,
                         void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!self->OnRawData) return 0;
    struct TRecord {
      int32_t Read = 0;
      int32_t ReturnCode = 0;
    };
    auto record = std::make_shared<TRecord>();
    record->Read = read ? *read : 0;
    // The buffer belongs to the library's call: a handler that did not run while it waited
    // must not run later.
    const bool ran = self->Deliver([=] {
      if (self->OnRawData) self->OnRawData(self, lba, buffer, bufferSize, record->Read, record->ReturnCode);
    }, true);
    if (!ran) return 0;
    if (read) *read = record->Read;
    return record->ReturnCode;
  }

  // Direct callbacks: run on the library's calling thread.
  static void AddFile(const db_char* fullPath, const db_char* joliet, const db_char* iso,
                      const db_char* udf, double dateTime, double fileSize, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (self->OnAddFile)
      self->OnAddFile(self, FromLibrary(fullPath), FromLibrary(joliet), FromLibrary(iso),
                      FromLibrary(udf), dateTime, fileSize);
  }

  static void CreateDir(const db_char* fullName, const db_char* joliet, const db_char* iso,
                        const db_char* udf, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (self->OnCreateDir)
      self->OnCreateDir(self, FromLibrary(fullName), FromLibrary(joliet), FromLibrary(iso),
                        FromLibrary(udf));
  }

  static void RemoveFile(const db_char* fullPath, const db_char* destination,
                         const db_char* file, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (self->OnRemoveFile)
      self->OnRemoveFile(self, FromLibrary(fullPath), FromLibrary(destination), FromLibrary(file));
  }

  static uint8_t CompareFiles(const DBFileEntry* first, const DBFileEntry* second, void* user) {
    TDiscBurnerSDK* self = Self(user);
    if (!self->OnCompareFilesForArrangement || !first || !second) return 0;
    const TFileEntry a = FileEntryFromLibrary(*first), b = FileEntryFromLibrary(*second);
    bool firstGoesBefore = false;
    self->OnCompareFilesForArrangement(self, a, b, firstGoesBefore);
    return firstGoesBefore ? 0xFF : 0;
  }
};

void TDiscBurnerSDK::RegisterCallbacks() {
  using C = TBurnerCallbacks;
  const TBurnerEntryPoints& l = L();
  l.SetInfoTextEventCallback(&C::InfoText, 3, this);
  l.SetProcessEventCallback(&C::Process, this);
  l.SetBurnFileEventCallback(&C::OneText<&TDiscBurnerSDK::OnBurnFile>, this);
  l.SetEraseDoneEventCallback(&C::OneText<&TDiscBurnerSDK::OnEraseDone>, this);
  l.SetFinalizeEventCallback(&C::NoArgs<&TDiscBurnerSDK::OnFinalize>, this);
  l.SetBurnDoneEventCallback(&C::OneText<&TDiscBurnerSDK::OnBurnDone>, this);
  l.SetJobDoneEventCallback(&C::NoArgs<&TDiscBurnerSDK::OnJobDone>, this);
  l.SetAddFileEventCallback(&C::AddFile, this);
  l.SetCreateDirEventCallback(&C::CreateDir, this);
  l.SetRemoveFileEventCallback(&C::RemoveFile, this);
  l.SetAudioDecodeDoneEventCallback(&C::AudioDecodeDone, this);
  l.SetVideoScannerEventCallback(&C::VideoScanner, this);
  l.SetVideoScanDoneEventCallback(&C::VideoScanDone, this);
  l.SetStartVerifyEventCallback(&C::NoArgs<&TDiscBurnerSDK::OnStartVerify>, this);
  l.SetVerifyFileEventCallback(&C::OneText<&TDiscBurnerSDK::OnVerifyFile>, this);
  l.SetVerifyErrorEventCallback(&C::VerifyError, this);
  l.SetVerifyDoneEventCallback(&C::VerifyDone, this);
  l.SetRAWDataEventCallback(&C::RawData, this);
  l.SetCompareFilesForArrangementEventCallback(&C::CompareFiles, this);
}

}  // namespace burning
