#include "app/burn/burn_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "app/burn/burn_format.h"
#include "app/burn/burn_process.h"
#include "app/burn/burn_read.h"
#include "app/burn/erase.h"
#include "app/burn/job_window.h"
#include "burning/disc_burner_sdk.h"
#include "components/taskbar_mgr.h"
#include "platform/file_names.h"
#include "platform/prompter.h"

namespace app {

using burning::TBurningOptionSwitch;
using burning::TDiscBurnerSDK;
using components::TTaskProgressState;
using platform::Prompter;
using platform::TPromptIcon;

const QColor Tfrm_Burn::KGreen(0, 128, 0);
const QColor Tfrm_Burn::KRed(255, 0, 0);

namespace {

const QString KCaptionError = QStringLiteral("Error");
const QString KCaptionWarning = QStringLiteral("Warning");
const QString KNoDrive =
    QStringLiteral("Unable to detect CD/DVD/Blu-ray drive.\r\rPlease run program as administrator.");
const QString KNoDisc = QStringLiteral("Disc is not inserted.");
const QString KNotAllAdded = QStringLiteral("Some files were not added. Would you like to continue with burning?");
const QString KEraseQuestion =
    QStringLiteral("Are you sure you want to erase the disc?\rErasing will remove all information from the disc.");

/// The component's settings as the window keeps them.
void SetUpBurner(TDiscBurnerSDK& b, const QString& dllName) {
  if (!dllName.isEmpty()) b.SetDLLName(dllName);
  b.SetInitASPIType(burning::TASPIType::atInternal);
  b.SetEnableImageDevice(true);
  b.SetInfoTextLevel(burning::TInfoTextLevel::ilInfo);
  b.SetMediaChangeNotification(true);
  b.SetAutoGetDeviceInfo(false);
  b.SetBurningDevicesOnly(false);
  b.SetProjectType(burning::TProjectType::ptNone);
  b.SetSessionToContinue(-1);
  auto& o = b.Options();
  o.SetWriteMethod(burning::TWriteMethod::wmDefault);
  o.SetSwitches({TBurningOptionSwitch::osFinalize, TBurningOptionSwitch::osUnderrunProtection,
                 TBurningOptionSwitch::osEjectAfterBurn});
  o.SetCacheSize(16777216);
  o.SetCopies(0);
  auto& iso = b.ISOInfo();
  iso.SetApplicationIdentifier(QStringLiteral("Tarsel Video Converter"));
  // Level 3: files of 4 GiB and more are written in several extents; level 1 refuses them.
  iso.SetLevel(burning::TISOLevel::ilLevel3);
  for (int i = 1; i <= 9; ++i) iso.SetSwitch(i, false);
  auto& boot = b.BootInfo();
  boot.SetBootIndicator(true);
  boot.SetLoadSegment(1984);
  boot.SetPlatformID(burning::TBootPlatformID::bp80x86);
  boot.SetEmulation(burning::TBootEmulation::be144MB);
  boot.SetSectorCount(1);
  auto& ce = b.CompressEncryptInfo();
  ce.SetCompression(false);
  ce.SetCompressionLevel(0);
  ce.SetEncryption(false);
  auto& udf = b.UDFOptions();
  udf.SetVersion(burning::TUDFVersion::uv102);
  udf.SetPartitionType(burning::TUDFPartition::upPhysical);
  udf.SetWriteFileStreams(false);
  udf.SetIsAvchdDisc(false);
  b.DVDVideoOptions().SetPadding(false);
  b.DVDVideoOptions().SetForceUppercase(false);
  auto& rec = b.ReadErrorCorrectionParams();
  rec.ErrorCorrection = false;
  rec.BlankBadSectors = false;
  rec.HardwareRetryCount = 1;
  rec.SoftwareRetryCount = 1;
}

}  // namespace

Tfrm_Burn::Tfrm_Burn(TBurnInput input, QWidget* parent)
    : QDialog(parent), FInput(std::move(input)), FBurner(std::make_unique<TDiscBurnerSDK>()) {
  setObjectName(QStringLiteral("frm_Burn"));
  setWindowTitle(QStringLiteral("Burn Disc"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
  resize(418, 423);

  auto* layout = new QVBoxLayout(this);
  auto* grpName = new QGroupBox(QStringLiteral(" Disc name "), this);
  auto* nameLayout = new QVBoxLayout(grpName);
  txt_Label = new QLineEdit(QStringLiteral("My Videos"), grpName);
  txt_Label->setObjectName(QStringLiteral("txt_Label"));
  nameLayout->addWidget(txt_Label);
  layout->addWidget(grpName);

  auto* grpRecorder = new QGroupBox(QStringLiteral(" Disc recorder "), this);
  auto* recLayout = new QVBoxLayout(grpRecorder);
  auto* drives = new QHBoxLayout;
  cb_Device_Burn = new QComboBox(grpRecorder);
  cb_Device_Burn->setObjectName(QStringLiteral("cb_Device_Burn"));
  cb_WriteSpeed = new QComboBox(grpRecorder);
  cb_WriteSpeed->setObjectName(QStringLiteral("cb_WriteSpeed"));
  cb_WriteSpeed->setMinimumWidth(80);
  drives->addWidget(cb_Device_Burn, 1);
  drives->addWidget(cb_WriteSpeed);
  recLayout->addLayout(drives);
  chk_Eject = new QCheckBox(QStringLiteral("Eject disc after burn"), grpRecorder);
  chk_Eject->setObjectName(QStringLiteral("chk_Eject"));
  chk_Eject->setChecked(true);
  recLayout->addWidget(chk_Eject);
  layout->addWidget(grpRecorder);

  log_Main = new QTextEdit(this);
  log_Main->setObjectName(QStringLiteral("log_Main"));
  log_Main->setReadOnly(true);
  log_Main->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(log_Main, 1);

  auto* bottom = new QHBoxLayout;
  btn_Burn = new QPushButton(QStringLiteral("Burn"), this);
  btn_Burn->setObjectName(QStringLiteral("btn_Burn"));
  btn_Burn->setDefault(true);
  btn_Erase_Burn = new QPushButton(QStringLiteral("Erase"), this);
  btn_Erase_Burn->setObjectName(QStringLiteral("btn_Erase_Burn"));
  btn_Erase_Burn->setAutoDefault(false);
  Button1 = new QPushButton(QStringLiteral("Close"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setAutoDefault(false);
  bottom->addWidget(btn_Burn);
  bottom->addWidget(btn_Erase_Burn);
  bottom->addStretch(1);
  bottom->addWidget(Button1);
  layout->addLayout(bottom);

  connect(btn_Burn, &QPushButton::clicked, this, &Tfrm_Burn::btn_BurnClick);
  connect(btn_Erase_Burn, &QPushButton::clicked, this, &Tfrm_Burn::btn_Erase_BurnClick);
  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
  connect(cb_Device_Burn, &QComboBox::activated, this, &Tfrm_Burn::cb_Device_BurnChange);
  connect(cb_WriteSpeed, &QComboBox::activated, this, &Tfrm_Burn::cb_WriteSpeedChange);

  tmr_Start = MakeBurnTimer(this, "tmr_Start", 10);
  connect(tmr_Start, &QTimer::timeout, this, &Tfrm_Burn::tmr_StartTimer);

  SetUpBurner(*FBurner, FInput.DLLName);
  FBurner->OnProcess = [this](TDiscBurnerSDK*, float percent, float deviceBuffer, float cache, double written,
                              double size) { BurnerProcess(percent, deviceBuffer, cache, written, size); };
  FBurner->OnEraseDone = [this](TDiscBurnerSDK*, const QString& error) { BurnerEraseDone(error); };
  FBurner->OnFinalize = [this](TDiscBurnerSDK*) { BurnerFinalize(); };
  FBurner->OnBurnDone = [this](TDiscBurnerSDK*, const QString& error) { BurnerBurnDone(error); };
}

Tfrm_Burn::~Tfrm_Burn() {
  // No event may reach this half-destroyed window: the component is released first.
  FBurner->OnProcess = nullptr;
  FBurner->OnEraseDone = nullptr;
  FBurner->OnFinalize = nullptr;
  FBurner->OnBurnDone = nullptr;
  FBurner.reset();
}

void Tfrm_Burn::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!FStarted) tmr_Start->start();
}

void Tfrm_Burn::tmr_StartTimer() {
  tmr_Start->stop();
  InitDevices();
  FStarted = true;
}

QString Tfrm_Burn::LogText() const { return log_Main->toPlainText(); }

QColor Tfrm_Burn::LastLogColor() const {
  for (QTextBlock block = log_Main->document()->lastBlock(); block.isValid(); block = block.previous()) {
    if (block.text().isEmpty()) continue;
    return block.begin().fragment().charFormat().foreground().color();
  }
  return {};
}

void Tfrm_Burn::AddLog(const QString& text, const QColor& color) {
  try {
    QTextCursor cursor(log_Main->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(color);
    if (FLogStarted) cursor.insertBlock(QTextBlockFormat(), format);
    FLogStarted = true;
    cursor.insertText(text, format);
    log_Main->verticalScrollBar()->setValue(log_Main->verticalScrollBar()->maximum());
  } catch (...) {
  }
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Tfrm_Burn::InitDevices() {
  AddLog(QStringLiteral("Initialization..."));
  {
    Tfrm_Read read(*this, Tfrm_Read::mdInitialize);
    read.exec();
  }
  for (const QString& refused : FRefusedDrives) AddLog(refused, KRed);
  if (!FBurner->Active()) {
    // The library could not be loaded or started: say why, there is nothing to burn with.
    QString reason = FActivationError.isEmpty() ? FBurner->GetErrorString() : FActivationError;
    if (reason.isEmpty()) reason = QStringLiteral("The burning library could not be started.");
    AddLog(reason, KRed);
    Prompter().Message(this, TPromptIcon::Error, KCaptionError, reason);
    reject();
    return;
  }
  if (FBurner->DeviceCount() <= 1) {
    Prompter().Message(this, TPromptIcon::Error, KCaptionError, KNoDrive);
    reject();
    return;
  }
  AddLog(QStringLiteral("Devices found:"));
  cb_Device_Burn->clear();
  for (int index = 2; index <= FBurner->DeviceCount(); ++index) {
    const QString name = FBurner->GetDeviceName(index);
    cb_Device_Burn->addItem(name);
    AddLog(name);
  }
  cb_Device_Burn->setCurrentIndex(0);
  cb_Device_BurnChange();
  AddLog(QString());
}

void Tfrm_Burn::cb_Device_BurnChange() {
  TDiscBurnerSDK& b = *FBurner;
  b.SetBurnDevice(cb_Device_Burn->currentIndex() + 2);
  b.SetBurnSpeed(-1);
  const int32_t max = b.GetBurnSpeed();
  const TBurnSpeedList list =
      BuildBurnSpeedList(max, b.SpeedToText(max), b.MediumInfo().Status != 0, [&b](int32_t kbps) {
        b.SetBurnSpeed(kbps);
        return b.SpeedToText(b.GetBurnSpeed());
      });
  FSpeedStep = list.SpeedStep;
  {
    const QSignalBlocker blocker(cb_WriteSpeed);
    cb_WriteSpeed->clear();
    cb_WriteSpeed->addItems(list.Items);
    if (cb_WriteSpeed->count() > 0) cb_WriteSpeed->setCurrentIndex(0);
  }
}

void Tfrm_Burn::cb_WriteSpeedChange() {
  if (cb_WriteSpeed->count() <= 1 || cb_WriteSpeed->currentIndex() <= 0) {
    FBurner->SetBurnSpeed(-1);
    return;
  }
  FBurner->SetBurnSpeed(BurnSpeedNumber(cb_WriteSpeed->currentText()) * FSpeedStep);
}

QString Tfrm_Burn::GetMediumTypeText() const {
  const burning::TMediumInfo& m = FBurner->MediumInfo();
  return BurnMediumText(m.MediumType, m.Status, m.ProfileCode);
}

bool Tfrm_Burn::ReadDisc() {
  {
    Tfrm_Read read(*this, Tfrm_Read::mdReadDisc);
    read.exec();
  }
  if (FDiscReadFailed || FBurner->MediumInfo().Status == 0 || FBurner->LastError() != 0) {
    Prompter().Message(this, TPromptIcon::Error, KCaptionError, KNoDisc);
    return false;
  }
  return true;
}

void Tfrm_Burn::btn_BurnClick() {
  if (!FBurner->Active()) return;
  const bool haveDisc = ReadDisc();
  FBurning = false;
  if (!haveDisc) return;

  TDiscBurnerSDK& b = *FBurner;
  b.ClearAll();
  b.SetProjectType(burning::TProjectType::ptISOUDF);
  auto switches = b.Options().Switches();
  if (chk_Eject->isChecked()) switches.Include(TBurningOptionSwitch::osEjectAfterBurn);
  else switches.Exclude(TBurningOptionSwitch::osEjectAfterBurn);
  b.Options().SetSwitches(switches);
  b.Options().SetVolumeLabel(txt_Label->text());

  AddLog(QStringLiteral("Adding files..."), KGreen);
  // Every row the disc will lack is named with its reason: a row left out in silence would
  // end in "Success!" for a disc without it. The checks go to the system with the name's own
  // bytes (Qt's file classes do not find a name that is not UTF-8).
  FRowsLeftOut = 0;
  for (const TBurnRow& row : FInput.Rows) {
    QString reason = platform::RegularFileProblem(row.Path);
    if (reason.isEmpty()) {
      b.AddFile(row.Path, QStringLiteral("\\"), row.Caption, false, 0);
      if (b.LastError() != 0) reason = b.GetErrorString();
    }
    if (!reason.isEmpty()) {
      AddLog(platform::DisplayFileName(row.Path) + QStringLiteral("... ") + reason, KRed);
      ++FRowsLeftOut;
    }
  }
  if (FRowsLeftOut > 0 && !Prompter().Question(this, TPromptIcon::Warning, KCaptionWarning, KNotAllAdded))
    return;

  AddLog(QString());
  const int64_t size = b.GetProjectSize();
  const int64_t count = b.GetProjectFileCount();
  AddLog(BurnDataLine(count, size));
  AddLog(BurnDiscLine(GetMediumTypeText(), b.MediumInfo().Size));
  AddLog(QString());

  b.Prepare();
  if (b.LastError() != 0) {
    AddLog(b.GetErrorString(), KRed);
    AddLog(QString());
    return;
  }

  if (FInput.Taskbar != nullptr) {
    FInput.Taskbar->SetActive(true);
    FInput.Taskbar->SetProgressState(TTaskProgressState::fstpsNormal);
  }
  FBurning = true;
  AddLog(BurnTimeStamped(QStringLiteral("Burning disc...")), KGreen);
  Tfrm_BurnProcess process(*this);
  FBurnProcess = &process;
  process.exec();
  FBurnProcess = nullptr;
}

void Tfrm_Burn::btn_Erase_BurnClick() {
  if (!FBurner->Active()) return;
  if (!Prompter().Question(this, TPromptIcon::Warning, KCaptionWarning, KEraseQuestion)) return;
  if (!ReadDisc()) return;
  FErasing = true;
  FEraseError.clear();
  AddLog(BurnTimeStamped(QStringLiteral("Erasing disc...")), KGreen);
  {
    Tfrm_Erase erase(*this);
    FErase = &erase;
    erase.exec();
    FErase = nullptr;
  }
  if (!FEraseError.isEmpty()) {
    AddLog(BurnTimeStamped(QStringLiteral("Error!")), KRed);
    Prompter().Beep(true);
  } else {
    AddLog(BurnTimeStamped(QStringLiteral("Success!")), KGreen);
    Prompter().Beep(false);
  }
  FErasing = false;
  AddLog(QString());
}

void Tfrm_Burn::SetTaskbarValue(int value) {
  if (FInput.Taskbar != nullptr) FInput.Taskbar->SetProgressValue(value);
}

void Tfrm_Burn::BurnerProcess(float percent, float, float, double bytesWritten, double imageSize) {
  if (FErasing || !FBurning || FBurnProcess == nullptr) return;
  const int position = static_cast<int>(percent);
  FBurnProcess->prg_Extract->setValue(position);
  SetTaskbarValue(position);
  FBurnProcess->lbl_Percent->setText(QString::number(position) + QLatin1Char('%'));
  FBurnProcess->lbl_Written->setText(BurnWrittenText(bytesWritten, imageSize));
}

void Tfrm_Burn::BurnerFinalize() {
  FBurning = false;
  if (FBurnProcess == nullptr) return;
  AddLog(BurnTimeStamped(QStringLiteral("Closing track...")), KGreen);
  FBurnProcess->lbl_Burn->setText(QStringLiteral("Closing track... "));
  FBurnProcess->prg_Extract->setValue(100);
  FBurnProcess->lbl_Percent->setText(QStringLiteral("100%"));
  FBurnProcess->btn_Cancel->setEnabled(false);
}

void Tfrm_Burn::BurnerBurnDone(const QString& error) {
  if (FErasing) return;
  if (FBurnProcess != nullptr) FBurnProcess->Done = true;
  SetTaskbarValue(100);
  if (!error.isEmpty()) {
    if (FInput.Taskbar != nullptr) FInput.Taskbar->SetProgressState(TTaskProgressState::fstpsError);
    AddLog(BurnTimeStamped(error), KRed);
    Prompter().Beep(true);
  } else if (FRowsLeftOut > 0) {
    // Written, but not the whole list: no "Success!".
    AddLog(BurnTimeStamped(BurnLeftOutLine(FRowsLeftOut)), KRed);
    Prompter().Beep(true);
  } else {
    AddLog(BurnTimeStamped(QStringLiteral("Success!")), KGreen);
    Prompter().Beep(false);
  }
  AddLog(QString());
}

void Tfrm_Burn::BurnerEraseDone(const QString& error) {
  if (FErase != nullptr) FErase->Done = true;
  FEraseError = error;
}

void Tfrm_Burn::done(int result) {
  if (!FClosing) {
    FClosing = true;
    tmr_Start->stop();
    if (FBurner->Active()) {
      FBurner->ClearAll();
      FBurner->SetActive(false);
    }
    if (FInput.Taskbar != nullptr) {
      FInput.Taskbar->SetProgressValue(0);
      FInput.Taskbar->SetProgressState(TTaskProgressState::fstpsNoProgress);
      FInput.Taskbar->SetActive(false);
    }
  }
  QDialog::done(result);
}

}  // namespace app
