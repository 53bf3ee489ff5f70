#pragma once
// The open, save and folder dialogs behind one small interface, so tests can answer them.

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

namespace platform {

/// What a folder picker shows and accepts.
struct TFolderRequest {
  QString WindowTitle;
  QString ButtonCaption;        // the OK button's text; empty keeps the dialog's own
  QString Root;                 // empty: the whole file system
  bool IncludeFiles = false;    // files can be chosen too
  bool MustExist = true;        // false: a typed name that does not exist is returned too
  int Left = -1, Top = -1;      // either at or below 0: centred on the screen
  std::function<void(const QString&)> OnSelectionChanged;
  /// Called with the dialog once it is set up, before it shows, and with nullptr once it has
  /// closed: the caller may change its title, button and place while it is open.
  std::function<void(QDialog*)> OnDialog;
};

class IFileDialogs {
 public:
  virtual ~IFileDialogs() = default;
  /// Asks for a folder as described, starting at folder; true with folder set when one was
  /// chosen. The default asks PickFolder with the window title.
  virtual bool BrowseForFolder(QWidget* parent, const TFolderRequest& request, QString& folder) {
    return PickFolder(parent, request.WindowTitle, folder);
  }
  /// Asks for an existing folder, starting at folder; true with folder set when one was chosen.
  virtual bool PickFolder(QWidget* parent, const QString& title, QString& folder) = 0;
  /// Asks for an existing file. filter uses Qt's form ("VC Filelist (*.fls)"); defaultSuffix has
  /// no dot. True with fileName set when confirmed.
  virtual bool OpenFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                            QString& fileName) = 0;
  /// Asks for one or more existing files, starting in folder; true with fileNames set when
  /// confirmed.
  virtual bool OpenFileNames(QWidget* parent, const QString& title, const QString& folder,
                             const QString& filter, QStringList& fileNames) = 0;
  /// Asks for a file to write; the dialog itself asks before replacing a file. True with fileName
  /// set (defaultSuffix added when the name has none) when confirmed.
  virtual bool SaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                            QString& fileName) = 0;
};

/// QFileDialog.
class TQtFileDialogs : public IFileDialogs {
 public:
  /// Qt's own (non-native) dialog in folder mode, so it looks alike on every desktop and runs
  /// without a portal.
  bool BrowseForFolder(QWidget* parent, const TFolderRequest& request, QString& folder) override;
  bool PickFolder(QWidget* parent, const QString& title, QString& folder) override;
  bool OpenFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                    QString& fileName) override;
  bool OpenFileNames(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                     QStringList& fileNames) override;
  bool SaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                    QString& fileName) override;
};

/// The dialogs the windows use; TQtFileDialogs until others are installed.
IFileDialogs& FileDialogs();
/// Installs dialogs (not owned; nullptr goes back to the default). Tests install scripted ones.
void SetFileDialogs(IFileDialogs* dialogs);

}  // namespace platform
