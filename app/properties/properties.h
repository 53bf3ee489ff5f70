#pragma once
// The Properties window: what the main list knows about one file (name, type, source, size,
// duration, frame rate, bit rate, frame size). It probes nothing itself. Shown modally by the
// main window's Properties command and freed when it closes.

#include <QDialog>
#include <QIcon>
#include <QStringList>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

namespace app {

/// A file size as the Properties window shows it: "#,0 bytes" below 1024, whole KB below
/// 1048576, whole MB below 1073741824, else GB with two decimals ("1,023 bytes", "2 KB",
/// "1,024 MB", "1.00 GB").
QString FormatFileSize(int64_t bytes);

/// The desktop's name for the type of path ("AVI video"), from its name alone: the file is not
/// opened, and need not exist.
QString GetShellTypeName(const QString& path);
/// The desktop's icon for path, from its name alone (a folder's icon when path is a folder).
QIcon GetShellIcon(const QString& path);

class Tfrm_Properties : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_Properties(QWidget* parent);

  /// Fills the texts from a row of the main list: its caption and its eight sub-items (0 duration,
  /// 2 path, 4 bytes, 5 frame rate, 6 bit rate, 7 frame size).
  void ShowRow(const QString& caption, const QStringList& subItems);

  QLabel* Image1() const { return FImage1; }
  QLineEdit* txt_Name() const { return Ftxt_Name; }
  QLineEdit* txt_Type() const { return Ftxt_Type; }
  QLineEdit* txt_Source() const { return Ftxt_Source; }
  QLineEdit* txt_Size() const { return Ftxt_Size; }
  QLineEdit* txt_Duration() const { return Ftxt_Duration; }
  QLineEdit* txt_FrameRate() const { return Ftxt_FrameRate; }
  QLineEdit* txt_Bitrate() const { return Ftxt_Bitrate; }
  QLineEdit* txt_FrameSize() const { return Ftxt_FrameSize; }
  QPushButton* btn_OK() const { return Fbtn_OK; }

 protected:
  /// Shows the large icon of the source file when it exists, else of the name.
  void showEvent(QShowEvent* event) override;

 private:
  QLineEdit* AddField(const char* name);

  QLabel* FImage1 = nullptr;
  QLineEdit* Ftxt_Name = nullptr;
  QLineEdit* Ftxt_Type = nullptr;
  QLineEdit* Ftxt_Source = nullptr;
  QLineEdit* Ftxt_Size = nullptr;
  QLineEdit* Ftxt_Duration = nullptr;
  QLineEdit* Ftxt_FrameRate = nullptr;
  QLineEdit* Ftxt_Bitrate = nullptr;
  QLineEdit* Ftxt_FrameSize = nullptr;
  QPushButton* Fbtn_OK = nullptr;
};

}  // namespace app
