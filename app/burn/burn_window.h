#pragma once
// The burn window Tfrm_Burn: writes the main window's file list to a data disc, or erases a
// rewritable disc, through the burning component. It opens the wait window (Tfrm_Read) and the
// progress windows (Tfrm_BurnProcess, Tfrm_Erase) modally and follows the component's events.

#include <QColor>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTextEdit;
class QTimer;

namespace burning {
class TDiscBurnerSDK;
}
namespace components {
class TTaskbarMgr;
}

namespace app {

class Tfrm_BurnProcess;
class Tfrm_Erase;

/// One row of the main window's list as the burn window reads it.
struct TBurnRow {
  QString Caption;  // the name the file gets on the disc
  QString Path;     // the source file
};

struct TBurnInput {
  std::vector<TBurnRow> Rows;
  components::TTaskbarMgr* Taskbar = nullptr;  // the main window's prg_Win7; borrowed, may be null
  QString DLLName;                             // the burning library; empty: the component's default
};

class Tfrm_Burn : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_Burn(TBurnInput input, QWidget* parent = nullptr);
  ~Tfrm_Burn() override;

  burning::TDiscBurnerSDK& Burner() { return *FBurner; }
  /// A burn's progress is being shown (from the burn's start until the track is closed).
  bool Burning() const { return FBurning; }
  /// An erase runs (from its start until its window closed).
  bool Erasing() const { return FErasing; }
  int SpeedStep() const { return FSpeedStep; }
  /// The drives were looked for (the first tick after the window was shown has run).
  bool Started() const { return FStarted; }
  /// The log as plain text, one line per log line.
  QString LogText() const;
  /// The colour of the last log line that holds text.
  QColor LastLogColor() const;
  Tfrm_BurnProcess* BurnProcessWindow() const { return FBurnProcess; }
  Tfrm_Erase* EraseWindow() const { return FErase; }

  /// Appends a line (empty Text: an empty line) in the colour, scrolls to it and lets the
  /// window repaint. Never fails outwards.
  void AddLog(const QString& text, const QColor& color = Qt::black);

  void InitDevices();
  void cb_Device_BurnChange();
  void cb_WriteSpeedChange();
  QString GetMediumTypeText() const;
  void btn_BurnClick();
  void btn_Erase_BurnClick();

  // The component's events.
  void BurnerProcess(float percent, float deviceBuffer, float cache, double bytesWritten, double imageSize);
  void BurnerFinalize();
  void BurnerBurnDone(const QString& error);
  void BurnerEraseDone(const QString& error);

  /// Closing: clears the project and deactivates the component, then clears the taskbar.
  void done(int result) override;

  static const QColor KGreen;
  static const QColor KRed;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  friend class Tfrm_Read;
  friend class Tfrm_BurnProcess;
  friend class Tfrm_Erase;

  void tmr_StartTimer();
  /// Tfrm_Read in mode 1: selects the chosen drive and reads its medium. False (after the
  /// message) when there is no usable disc.
  bool ReadDisc();
  void SetTaskbarValue(int value);

  TBurnInput FInput;
  std::unique_ptr<burning::TDiscBurnerSDK> FBurner;

  QLineEdit* txt_Label;
  QComboBox* cb_Device_Burn;
  QComboBox* cb_WriteSpeed;
  QCheckBox* chk_Eject;
  QTextEdit* log_Main;
  QPushButton* btn_Burn;
  QPushButton* btn_Erase_Burn;
  QPushButton* Button1;
  QTimer* tmr_Start;

  bool FBurning = false;
  bool FErasing = false;
  QString FEraseError;
  int FSpeedStep = 0;
  bool FStarted = false;
  bool FClosing = false;
  bool FLogStarted = false;  // the log has its first line
  QString FActivationError;     // the component's exception text when it could not be activated
  bool FDiscReadFailed = false;  // the last disc read raised instead of returning a result
  QStringList FRefusedDrives;   // image-file drives the library did not take, with the reason
  int FRowsLeftOut = 0;         // rows of the list the last burn's disc lacks
  Tfrm_BurnProcess* FBurnProcess = nullptr;  // while the burn's progress window is open
  Tfrm_Erase* FErase = nullptr;               // while the erase window is open
};

}  // namespace app
