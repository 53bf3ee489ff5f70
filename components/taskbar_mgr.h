#pragma once
// Taskbar progress: the progress state and value (and, where the desktop has them, an overlay icon
// and thumbnail buttons) shown on the application's entry in the desktop's task bar or dock.
//
// TTaskbarMgr keeps the state and decides what to show when; an ITaskbarBackend shows it. The
// backends: TDBusTaskbarBackend (taskbar_dbus_backend.h) sends the Unity launcher-entry signal that
// KDE Plasma, Dash to Dock and the common docks follow; TNullTaskbarBackend shows nothing and is used
// when there is no session bus (batch runs, CI). Tests record the calls with their own backend.

#include <QIcon>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace components {

enum class TTaskProgressState { fstpsNoProgress, fstpsIndeterminate, fstpsNormal, fstpsError, fstpsPaused };

/// Flags of a thumbnail button; a button's Flags are these values added together.
enum TTaskThumbFlag : unsigned {
  fsttfDisable = 0x01,
  fsttfDismissionClick = 0x02,
  fsttfNoBackground = 0x04,
  fsttfHidden = 0x08,
  fsttfNonInteractive = 0x10,
};

struct TTaskbarThumbButton {
  int ImageIndex = -1;
  int Id = -1;
  unsigned Flags = 0;  // TTaskThumbFlag values added together
  QString Hint;
  bool ShowHint = false;
  QIcon Icon;
};

/// What one desktop can show. Every call comes from the user-interface thread.
class ITaskbarBackend {
 public:
  virtual ~ITaskbarBackend() = default;
  virtual void SetProgressState(TTaskProgressState state) = 0;
  /// value of max; max may be 0 or below value, the backend must cope.
  virtual void SetProgressValue(int64_t value, int64_t max) = 0;
  /// A null icon removes the overlay.
  virtual void SetOverlayIcon(const QIcon& icon) = 0;
  /// Adds the buttons (at most TTaskbarMgr::MaxThumbButtons, never empty) to the task-bar entry.
  virtual void AddThumbButtons(const std::vector<TTaskbarThumbButton>& buttons) = 0;
  /// Replaces the buttons added before with their new settings.
  virtual void UpdateThumbButtons(const std::vector<TTaskbarThumbButton>& buttons) = 0;

  /// Set by the manager. The backend calls it on the user-interface thread when a thumbnail button
  /// with this id was clicked.
  std::function<void(int buttonId)> OnThumbButtonClick;
  /// Set by the manager. The backend calls it on the user-interface thread when the desktop has made
  /// the task-bar entry anew (a restarted dock knows nothing of the earlier state).
  std::function<void()> OnButtonCreated;
};

/// Shows nothing; the desktop has no task bar we can reach.
class TNullTaskbarBackend : public ITaskbarBackend {
 public:
  void SetProgressState(TTaskProgressState) override {}
  void SetProgressValue(int64_t, int64_t) override {}
  void SetOverlayIcon(const QIcon&) override {}
  void AddThumbButtons(const std::vector<TTaskbarThumbButton>&) override {}
  void UpdateThumbButtons(const std::vector<TTaskbarThumbButton>&) override {}
};

/// The D-Bus backend on the session bus when there is one, else the null backend.
std::unique_ptr<ITaskbarBackend> MakeTaskbarBackend();

/// The taskbar progress component. User-interface thread only. Until Active is set the properties
/// only store their values; activating shows them, deactivating withdraws them.
class TTaskbarMgr : public QObject {
  Q_OBJECT

 public:
  /// The task bar takes no more thumbnail buttons than this; later ones are kept but not shown.
  static constexpr int MaxThumbButtons = 7;
  /// Tool tips of thumbnail buttons are cut to this many characters (the shell's buffer holds 260
  /// with the terminating zero).
  static constexpr int MaxHintLength = 259;

  /// backend nullptr: MakeTaskbarBackend().
  explicit TTaskbarMgr(QObject* parent = nullptr, std::unique_ptr<ITaskbarBackend> backend = nullptr);
  /// Withdraws what is shown first.
  ~TTaskbarMgr() override;

  bool Active() const { return FActive; }
  void SetActive(bool value);
  int ProgressValue() const { return FProgressValue; }
  void SetProgressValue(int value);
  int ProgressValueMax() const { return FProgressValueMax; }
  void SetProgressValueMax(int value);
  TTaskProgressState ProgressState() const { return FProgressState; }
  void SetProgressState(TTaskProgressState value);
  const QIcon& OverlayIcon() const { return FOverlayIcon; }
  /// A null icon clears the overlay at once, active or not.
  void SetOverlayIcon(const QIcon& value);
  const std::vector<TTaskbarThumbButton>& ThumbButtons() const { return FThumbButtons; }
  /// Stores a copy; shown on the next activation.
  void SetThumbButtons(const std::vector<TTaskbarThumbButton>& value);
  /// Changes one stored button; once the buttons are shown, the shown ones follow. Out of range: nothing.
  void SetThumbButton(int index, const TTaskbarThumbButton& value);

  /// Fires on the user-interface thread with the Id of the clicked thumbnail button.
  std::function<void(TTaskbarMgr* sender, int buttonId)> OnThumbButtonClick;

 private:
  void Apply();
  void Withdraw();
  std::vector<TTaskbarThumbButton> ShownThumbButtons() const;

  std::unique_ptr<ITaskbarBackend> FBackend;
  bool FActive = false;
  int FProgressValue = 0;
  int FProgressValueMax = 100;
  TTaskProgressState FProgressState = TTaskProgressState::fstpsNoProgress;
  QIcon FOverlayIcon;
  std::vector<TTaskbarThumbButton> FThumbButtons;
  bool FApplied = false;  // the thumbnail buttons were added to the task-bar entry
};

}  // namespace components
