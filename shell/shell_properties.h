#pragma once
// The properties of files and folders. The desktop's file manager shows its own properties
// window when one answers on the session bus (the freedesktop org.freedesktop.FileManager1
// interface, method ShowItemProperties); where none does, a small window of ours shows name,
// kind, location, size, date modified and permissions, and counts the size of folders on the
// worker pool.

#include <QDBusConnection>
#include <QDialog>
#include <QStringList>
#include <cstdint>

class QLabel;

namespace shell {

/// Shows the properties of paths, on the session bus's file manager or in our own window.
/// Returns at once (the window shows without blocking); false when paths is empty. User-interface
/// thread.
bool ShowItemProperties(const QStringList& paths, QWidget* parent);
/// Makes the call above use the bus connection of that name (one made with
/// QDBusConnection::connectToBus) instead of the session bus; an empty name goes back to the
/// session bus. For tests, which run a bus of their own.
void SetItemPropertiesBusName(const QString& connectionName);
/// The same over bus. An unconnected bus, or one on which no file manager is running or can be
/// started, gives our own window; so does a file manager that answers the call with an error.
bool ShowItemProperties(const QStringList& paths, QWidget* parent, const QDBusConnection& bus);

/// Our own properties window: one line each for name, kind, location, size, date modified and
/// permissions (the last two for a single item). Folders are summed on the global worker pool;
/// their size line reads "Counting..." until every folder is done. Deletes itself when closed.
class TItemPropertiesDialog : public QDialog {
  Q_OBJECT

 public:
  TItemPropertiesDialog(const QStringList& paths, QWidget* parent);
  /// Cancels the folder counts still running.
  ~TItemPropertiesDialog() override;

  /// The value shown on a line: "name", "kind", "location", "size", "modified", "permissions";
  /// empty for a line the window does not show.
  QString Value(const QString& line) const;
  /// True once every folder has been counted.
  bool Counted() const { return FPendingFolders == 0; }

 signals:
  /// Fires once when the last folder count arrived.
  void CountingDone();

 private:
  QLabel* AddLine(const QString& caption, const QString& name, const QString& value);
  void ShowSize();

  QLabel* FSize = nullptr;
  uint64_t FBytes = 0;
  int FFiles = 0;
  int FFolders = 0;
  int FPendingFolders = 0;
};

}  // namespace shell
