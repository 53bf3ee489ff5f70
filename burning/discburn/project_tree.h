// The data project: the folders and files that the next disc or image will hold, kept as
// our own tree so the project can be listed, changed and checked without libisofs; the
// libisofs image is built from it for each job.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace discburn {

struct TProjectNode {
  std::string Name;        // UTF-8, the name on the disc
  bool IsDir = false;
  std::string SourcePath;  // local file (empty for folders created in the project)
  int64_t Size = 0;        // size of the source when it was added
  time_t MTime = 0;
  uint32_t Attributes = 0;  // DB_ATTR_READONLY and DB_ATTR_HIDDEN are honoured on the disc
  int32_t UserParam = 0;    // the caller's own value, listed back
  // An audio track: a WAV file's PCM data from AudioOffset on, an audio file decoded when the
  // track is written (AudioDecoded; Size is then its decoded length), or a track of a CUE sheet.
  bool AudioTrack = false;
  bool AudioDecoded = false;
  int64_t AudioOffset = 0;
  std::string Title, Performer, Isrc;  // CD-Text and ISRC
  // Taken from a disc or image: its data stays there. ImportedPath is its path in that tree.
  bool Imported = false;
  std::string ImportedPath;
  TProjectNode* Parent = nullptr;
  std::vector<std::unique_ptr<TProjectNode>> Children;  // in the order they were added

  TProjectNode* Child(const std::string& name) const;
};

/// Paths inside the project use '\' (or '/') as separator; "\" or "" is the root.
class TProjectTree {
 public:
  TProjectTree();

  const TProjectNode& Root() const { return *FRoot; }
  /// The node at `path`, or nullptr.
  TProjectNode* Find(const std::string& path) const;
  /// The folder at `path`; throws NotFoundInProject when it is missing or a file.
  TProjectNode& Folder(const std::string& path) const;

  /// Adds a file (or, for a source folder, the folder with its content when `recursive`).
  /// `name` empty takes the source's own name. Throws NameExists for a taken name.
  TProjectNode& AddSource(const std::string& folder, const std::string& sourcePath, const std::string& name,
                          bool recursive);
  TProjectNode& CreateDir(const std::string& folder, const std::string& name);
  /// Adds an entry of an imported disc tree; a taken name throws NameExists.
  TProjectNode& AddImported(TProjectNode& folder, const std::string& name, bool isDir, int64_t size,
                            time_t mtime, const std::string& importedPath);
  void Remove(const std::string& folder, const std::string& name, bool wantDir);
  void Rename(const std::string& folder, const std::string& oldName, const std::string& newName, bool wantDir);
  void Clear();

  bool Empty() const { return FRoot->Children.empty(); }
  /// The node's path from the root with '/' separators ("/a/b.txt").
  static std::string PathOf(const TProjectNode& node);

  /// Splits a project path into its parts (separators '\' and '/', empty parts dropped).
  static std::vector<std::string> SplitPath(const std::string& path);

 private:
  void CheckName(const TProjectNode& folder, const std::string& name) const;
  void AddFolderContent(TProjectNode& folder, const std::string& sourceFolder, bool recursive);

  std::unique_ptr<TProjectNode> FRoot;
};

}  // namespace discburn
