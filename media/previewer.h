#pragma once
// TPreviewer: shows the frames a conversion produces in a small floating window while it runs.
// It is fed from the conversion thread; the window itself is created, painted and freed on the
// main thread (platform::CallInMainThread), and the conversion thread waits for each paint.
//
// The media library links no user-interface toolkit: the window is whatever the application
// installs with SetPreviewWindowFactory (the desktop program installs a Qt window at start-up).
// Without a factory (batch mode, tests, headless tools) there is nothing to paint into:
// PaintFrame logs that once and returns false, so the engine stops previewing and converts on.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "media/format_converter.h"

namespace media {

/// A preview window; every call comes on the main thread.
class IPreviewWindow {
 public:
  virtual ~IPreviewWindow() = default;
  /// Shows the window (first frame: sized to the bitmap, later frames keep that size and are
  /// drawn at the top-left, clipped) with the time stamp as its caption ("hh:mm:ss.zzz").
  virtual void PaintFrame(const TBitmap& bitmap, int frameNumber, std::int64_t pts) = 0;
  /// True once the user closed the window.
  virtual bool Closed() const = 0;
};

/// Makes a preview window; called on the main thread when the first frame arrives.
using TPreviewWindowFactory = std::function<std::unique_ptr<IPreviewWindow>()>;

/// Installs the application's window factory for every previewer made later (null removes it).
void SetPreviewWindowFactory(TPreviewWindowFactory factory);
/// Whether a factory is installed.
bool HasPreviewWindowFactory();

class TPreviewer {
 public:
  TPreviewer() = default;
  /// Frees the window on the main thread.
  ~TPreviewer();
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  /// Paints the frame (conversion thread; waits for the main thread). True while the window is
  /// open; false once the user closed it, or when no window can be made.
  bool PaintFrame(const TBitmap& bitmap, int frameNumber, std::int64_t pts);
  bool Closed() const { return FClosed; }

 private:
  std::unique_ptr<IPreviewWindow> FForm;
  bool FClosed = false;
  bool FNoWindow = false;
};

}  // namespace media
