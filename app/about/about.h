#pragma once
// The About box: the program's picture, name and version, the maker's rights notice and a link
// to the maker's home page. Shown modally by Help > About and freed when it closes.

#include <QDialog>

class QLabel;
class QPushButton;

namespace app {

/// The version the About box shows and the update check compares with.
inline constexpr const char* kProgramVersion = "1.3";
/// The maker's home page: the About box's link and the update check's download page. The maker's
/// addresses are kept here, and only here.
inline constexpr const char* kHomePage = "https://www.quorvane.example/";
/// The address as the About box shows it.
inline constexpr const char* kHomePageText = "www.quorvane.example";
/// The version file the update check fetches (its whole content is the published "major.minor");
/// the environment variable CONVERTER_UPDATE_URL, when set, replaces this address.
inline constexpr const char* kVersionFileUrl = "http://www.quorvane.example/upd_converter.ini";

class Tfrm_About : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_About(QWidget* parent);

  QLabel* Image1() const { return FImage1; }
  QLabel* lbl_BA() const { return Flbl_BA; }
  QLabel* lbl_Version() const { return Flbl_Version; }
  QLabel* lbl_Rights() const { return Flbl_Rights; }
  QLabel* Label4() const { return FLabel4; }
  QPushButton* btn_OK() const { return Fbtn_OK; }

  /// Opens the home page with the desktop's browser (platform::ShellOpener); without one, a
  /// warning gives the address.
  void Label4Click();

 protected:
  /// A left click on Label4 runs Label4Click.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* FImage1 = nullptr;
  QLabel* Flbl_BA = nullptr;
  QLabel* Flbl_Version = nullptr;
  QLabel* Flbl_Rights = nullptr;
  QLabel* FLabel4 = nullptr;
  QPushButton* Fbtn_OK = nullptr;
};

}  // namespace app
