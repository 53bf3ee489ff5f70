#include "media/previewer.h"

#include "media/ff_logger.h"
#include "platform/main_thread.h"

namespace media {

namespace {

std::mutex& FactoryLock() {
  static std::mutex lock;
  return lock;
}

TPreviewWindowFactory& Factory() {
  static TPreviewWindowFactory factory;
  return factory;
}

}  // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory factory) {
  std::lock_guard<std::mutex> guard(FactoryLock());
  Factory() = std::move(factory);
}

bool HasPreviewWindowFactory() {
  std::lock_guard<std::mutex> guard(FactoryLock());
  return static_cast<bool>(Factory());
}

TPreviewer::~TPreviewer() {
  if (FForm) {
    // The window belongs to the main thread: it is destroyed there.
    std::unique_ptr<IPreviewWindow> form = std::move(FForm);
    platform::CallInMainThread([&form] { form.reset(); });
  }
}

bool TPreviewer::PaintFrame(const TBitmap& bitmap, int frameNumber, std::int64_t pts) {
  if (FClosed || FNoWindow) return false;
  TPreviewWindowFactory factory;
  {
    std::lock_guard<std::mutex> guard(FactoryLock());
    factory = Factory();
  }
  if (!FForm && !factory) {
    FNoWindow = true;
    FFLogger().Log(nullptr, TLogLevel::llInfo, "No preview window in this program: the conversion goes on without preview.");
    return false;
  }
  platform::CallInMainThread([&] {
    if (!FForm) FForm = factory();
    if (!FForm) {
      FNoWindow = true;
      return;
    }
    if (FForm->Closed()) {
      FClosed = true;
      return;
    }
    FForm->PaintFrame(bitmap, frameNumber, pts);
    FClosed = FForm->Closed();
  });
  return !FClosed && !FNoWindow;
}

}  // namespace media
