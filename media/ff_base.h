#pragma once
// The base of the media library's components (logger, decoder, encoder component) and the
// reporter interface the logger uses to name who wrote a line.

#include <string>

namespace media {

/// Anything that writes through the logger (media/ff_logger.h) names itself in the prefix of its
/// lines. The logger keeps the pointer only as the sender identity of OnLog, so a reporter may be
/// gone by the time OnLog fires: receivers compare it, never call through it.
class ILogReporter {
 public:
  virtual ~ILogReporter() = default;
  /// The prefix of this reporter's lines, with its trailing blank: "[TFFEncoder.FFEncoder1] ",
  /// "[TFFOptions] ". Called on the logging thread while the line is formed.
  virtual std::string ReporterInfo() const = 0;
};

/// A component of the media library. The owner is a back reference used for log prefixes only;
/// whoever created the component owns it (std::unique_ptr), never the owner pointer.
class TFFBaseComponent : public ILogReporter {
 public:
  explicit TFFBaseComponent(TFFBaseComponent* owner = nullptr) : FOwner(owner) {}
  TFFBaseComponent(const TFFBaseComponent&) = delete;
  TFFBaseComponent& operator=(const TFFBaseComponent&) = delete;
  ~TFFBaseComponent() override = default;

  /// The class name as the log prefix shows it ("TFFLogger"); descendants override it.
  virtual std::string ClassName() const { return "TFFBaseComponent"; }
  /// The component's name, empty unless set.
  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { FName = name; }
  TFFBaseComponent* Owner() const { return FOwner; }

  /// Free text, empty by default.
  const std::string& About() const { return FAbout; }
  void SetAbout(const std::string& about) { FAbout = about; }
  /// The component family's version, "7.0".
  std::string Version() const { return "7.0"; }

  /// Milliseconds a read or write may stall before it is given up; 30000 each by default. The
  /// setters only store the value here; components that pass it on override them.
  int ReadTimeout() const { return FReadTimeout; }
  virtual void SetReadTimeout(int milliseconds) { FReadTimeout = milliseconds; }
  int WriteTimeout() const { return FWriteTimeout; }
  virtual void SetWriteTimeout(int milliseconds) { FWriteTimeout = milliseconds; }

  /// "[ClassName.Name] ".
  std::string ReporterInfo() const override {
    // Built by appending: GCC 12 warns falsely about "[" + a temporary string in optimised builds.
    std::string info(1, '[');
    info.append(ClassName()).append(1, '.').append(FName).append("] ");
    return info;
  }

  /// Counts its callers and does nothing else: on x86-64 Linux every SSE floating-point exception
  /// is masked by default, so there is no control word to load (the x87 setting that Windows
  /// programs needed has no counterpart here). Thread-safe.
  static void DisableFPUExceptions();
  /// How often DisableFPUExceptions has been called.
  static int FPUExceptionsDisabledCount();

 private:
  TFFBaseComponent* FOwner;
  std::string FName;
  std::string FAbout;
  int FReadTimeout = 30000;
  int FWriteTimeout = 30000;
};

}  // namespace media
