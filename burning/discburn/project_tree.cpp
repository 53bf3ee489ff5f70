#include "burning/discburn/project_tree.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "burning/discburn/burn_error.h"

namespace discburn {

namespace fs = std::filesystem;

TProjectNode* TProjectNode::Child(const std::string& name) const {
  for (const auto& c : Children)
    if (c->Name == name) return c.get();
  return nullptr;
}

TProjectTree::TProjectTree() { Clear(); }

void TProjectTree::Clear() {
  FRoot = std::make_unique<TProjectNode>();
  FRoot->IsDir = true;
}

std::vector<std::string> TProjectTree::SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

TProjectNode* TProjectTree::Find(const std::string& path) const {
  TProjectNode* node = FRoot.get();
  for (const auto& part : SplitPath(path)) {
    if (!node->IsDir) return nullptr;
    node = node->Child(part);
    if (!node) return nullptr;
  }
  return node;
}

TProjectNode& TProjectTree::Folder(const std::string& path) const {
  TProjectNode* node = Find(path);
  if (!node || !node->IsDir) throw EDiscBurn(code::NotFoundInProject, "No such folder in the project: " + path);
  return *node;
}

void TProjectTree::CheckName(const TProjectNode& folder, const std::string& name) const {
  if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos ||
      name.find('\0') != std::string::npos)
    throw EDiscBurn(code::InvalidArgument, "Invalid name in the project: \"" + name + "\"");
  if (folder.Child(name))
    throw EDiscBurn(code::NameExists, "A file or folder of that name already exists in the project: " +
                                          PathOf(folder) + (folder.Parent ? "/" : "") + name);
}

static std::string BaseName(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return fs::path(p).filename().string();
}

TProjectNode& TProjectTree::AddSource(const std::string& folderPath, const std::string& sourcePath,
                                      const std::string& name, bool recursive) {
  TProjectNode& folder = Folder(folderPath);
  struct stat st {};
  if (sourcePath.empty() || stat(sourcePath.c_str(), &st) != 0)
    throw EDiscBurn(code::SourceUnreadable, "File not found: " + sourcePath);
  const bool isDir = S_ISDIR(st.st_mode);
  if (!isDir && !S_ISREG(st.st_mode))
    throw EDiscBurn(code::SourceUnreadable, "Not a regular file: " + sourcePath);
  const std::string discName = name.empty() ? BaseName(sourcePath) : name;
  CheckName(folder, discName);
  auto node = std::make_unique<TProjectNode>();
  node->Name = discName;
  node->IsDir = isDir;
  node->SourcePath = sourcePath;
  node->Size = isDir ? 0 : static_cast<int64_t>(st.st_size);
  node->MTime = st.st_mtime;
  node->Parent = &folder;
  TProjectNode& added = *node;
  folder.Children.push_back(std::move(node));
  if (isDir) {
    try {
      AddFolderContent(added, sourcePath, recursive);
    } catch (...) {
      folder.Children.pop_back();
      throw;
    }
  }
  return added;
}

void TProjectTree::AddFolderContent(TProjectNode& folder, const std::string& sourceFolder, bool recursive) {
  std::error_code ec;
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(sourceFolder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
  if (ec) throw EDiscBurn(code::SourceUnreadable, "Folder cannot be read: " + sourceFolder);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  for (const auto& e : entries) {
    std::error_code sec;
    const bool isDir = e.is_directory(sec);
    if (isDir && !recursive) continue;
    if (!isDir && !e.is_regular_file(sec)) continue;  // sockets, devices, broken links
    AddSource(PathOf(folder), e.path().string(), "", recursive);
  }
}

TProjectNode& TProjectTree::CreateDir(const std::string& folderPath, const std::string& name) {
  TProjectNode& folder = Folder(folderPath);
  CheckName(folder, name);
  auto node = std::make_unique<TProjectNode>();
  node->Name = name;
  node->IsDir = true;
  node->MTime = time(nullptr);
  node->Parent = &folder;
  folder.Children.push_back(std::move(node));
  return *folder.Children.back();
}

TProjectNode& TProjectTree::AddImported(TProjectNode& folder, const std::string& name, bool isDir,
                                        int64_t size, time_t mtime, const std::string& importedPath) {
  CheckName(folder, name);
  auto node = std::make_unique<TProjectNode>();
  node->Name = name;
  node->IsDir = isDir;
  node->Size = isDir ? 0 : size;
  node->MTime = mtime;
  node->Imported = true;
  node->ImportedPath = importedPath;
  node->Parent = &folder;
  folder.Children.push_back(std::move(node));
  return *folder.Children.back();
}

void TProjectTree::Remove(const std::string& folderPath, const std::string& name, bool wantDir) {
  TProjectNode& folder = Folder(folderPath);
  auto& children = folder.Children;
  auto it = std::find_if(children.begin(), children.end(),
                         [&](const auto& c) { return c->Name == name && c->IsDir == wantDir; });
  if (it == children.end())
    throw EDiscBurn(code::NotFoundInProject, std::string("No such ") + (wantDir ? "folder" : "file") +
                                                 " in the project: " + PathOf(folder) +
                                                 (folder.Parent ? "/" : "") + name);
  children.erase(it);
}

void TProjectTree::Rename(const std::string& folderPath, const std::string& oldName, const std::string& newName,
                          bool wantDir) {
  TProjectNode& folder = Folder(folderPath);
  TProjectNode* node = folder.Child(oldName);
  if (!node || node->IsDir != wantDir)
    throw EDiscBurn(code::NotFoundInProject, std::string("No such ") + (wantDir ? "folder" : "file") +
                                                 " in the project: " + PathOf(folder) +
                                                 (folder.Parent ? "/" : "") + oldName);
  if (oldName == newName) return;
  CheckName(folder, newName);
  node->Name = newName;
}

std::string TProjectTree::PathOf(const TProjectNode& node) {
  if (!node.Parent) return "/";
  std::string path;
  for (const TProjectNode* n = &node; n->Parent; n = n->Parent) path = "/" + n->Name + path;
  return path;
}

}  // namespace discburn
