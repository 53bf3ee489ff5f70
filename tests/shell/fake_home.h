#pragma once
// A home folder of the test's own: HOME and the XDG variables point into a scratch folder with
// its own user-dirs.dirs, and the mount table comes from a file the test writes. Everything is
// put back when the fixture ends.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <map>
#include <memory>
#include <optional>

#include "shell/mounts.h"
#include "support/widget_app.h"

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace testing_support {

/// The program's QApplication (support/widget_app.h).
inline QApplication& ShellApp() { return WidgetApp(); }

inline bool WriteText(const QString& fileName, const QByteArray& text) {
  QFile file(fileName);
  return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

/// Sets the file system's compression flag on a file or folder, as chattr +c does; false where
/// the file system keeps no such flag.
inline bool SetCompressedFlag(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
  if (fd < 0) return false;
  int flags = 0;
  bool set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags |= FS_COMPR_FL;
  set = set && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return set;
}

inline QByteArray ReadText(const QString& fileName) {
  QFile file(fileName);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class FakeHomeTest : public ::testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"};

  void SetUp() override {
    const QString root = qEnvironmentVariable("CONVERTER_TEST_TMP", QDir::tempPath());
    QDir().mkpath(root);
    FTemp = std::make_unique<QTemporaryDir>(root + QStringLiteral("/shell-XXXXXX"));
    ASSERT_TRUE(FTemp->isValid());
    for (const char* name : kVariables)
      FSaved[name] = qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt;
    Root = QDir(FTemp->path()).canonicalPath();
    Home = Root + QStringLiteral("/home");
    for (const char* dir : {"", "/.config", "/.local/share", "/.cache", "/Desktop", "/Music", "/Documents"})
      QDir().mkpath(Home + QLatin1String(dir));
    qputenv("HOME", Home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (Home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (Home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (Home + QStringLiteral("/.cache")).toUtf8());
    // Documents is switched off the way xdg-user-dirs does it: set to the home folder itself.
    Videos = Root + QStringLiteral("/media-store/videos");
    QDir().mkpath(Videos);
    WriteText(Home + QStringLiteral("/.config/user-dirs.dirs"),
              "# written by the test\n"
              "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/\"\n"
              "XDG_MUSIC_DIR=\"$HOME/Music\"\n"
              "XDG_VIDEOS_DIR=\"" + Videos.toUtf8() + "\"\n");
    Volume = Root + QStringLiteral("/vol");
    QDir().mkpath(Volume);
    QDir().mkpath(Root + QStringLiteral("/vol2"));
    MountTable = Root + QStringLiteral("/mounts");
    WriteText(MountTable, "/dev/sda1 / ext4 rw 0 0\n"
                          "proc /proc proc rw 0 0\n"
                          "/dev/sdb1 " + Volume.toUtf8() + " vfat rw 0 0\n"
                          "server:/export " + Root.toUtf8() + "/net nfs4 rw 0 0\n");
    shell::TMounts::SetMountTableFile(MountTable);
  }

  void TearDown() override {
    shell::TMounts::SetMountTableFile(QString());
    for (const auto& [name, value] : FSaved) {
      if (value)
        qputenv(name, *value);
      else
        qunsetenv(name);
    }
  }

  QString Root, Home, Videos, Volume, MountTable;

 private:
  std::unique_ptr<QTemporaryDir> FTemp;
  std::map<const char*, std::optional<QByteArray>> FSaved;
};

}  // namespace testing_support
