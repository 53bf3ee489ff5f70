#pragma once
// The mount table: which volume a path lies on, and the volumes a user would call drives.

#include <QString>
#include <vector>

namespace shell {

struct TMountEntry {
  QString Root;    // the mount point
  QString Device;  // the mount source ("/dev/sda1", "server:/export", "tmpfs")
  QString FsType;
};

class TMounts {
 public:
  /// Reads the table from this file instead of /proc/self/mountinfo (empty: back to the
  /// system's). Both the mountinfo and the /proc/mounts line formats are understood.
  static void SetMountTableFile(const QString& path);
  static std::vector<TMountEntry> All();
  /// The mount whose root is the longest prefix of path (on component boundaries); "/" when
  /// nothing else matches.
  static TMountEntry ForPath(const QString& path);
  /// The mounts a user browses as volumes, in table order: the root file system and whatever
  /// is mounted from a block device or over the network; kernel and runtime file systems are
  /// left out.
  static std::vector<TMountEntry> Volumes();
  /// True for mount roots.
  static bool IsMountRoot(const QString& path);
  /// True when path lies on a network file system.
  static bool IsRemote(const QString& path);
};

}  // namespace shell
