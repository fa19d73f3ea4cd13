// Files made inside a folder reached without passing through a link: the folder is held open
// while they are made, so that a link swapped in for it, or for a folder above it, meanwhile is
// never followed. The folder the walk starts from may itself be a link: the user named it.
#pragma once
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace qzpack {

struct HeldFolder {
  std::filesystem::path path;
#ifdef _WIN32
  // Each folder of the walk, open without delete sharing so that none can be renamed or removed;
  // paths through them then reach the folders that were checked.
  std::vector<void*> handles;
#else
  int fd = -1;  // names are resolved relative to it (openat)
#endif
  HeldFolder() = default;
  HeldFolder(HeldFolder&& other) noexcept;
  HeldFolder& operator=(HeldFolder&& other) noexcept;
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;
  ~HeldFolder();
};

// Opens start, then each of names below it in turn, making the missing ones, into held. Returns
// the fault in words, or nothing: a link (on Windows any reparse point) or a file where a folder
// is needed, or a folder that cannot be made or opened.
std::string holdFolder(const std::filesystem::path& start,
                       const std::vector<std::filesystem::path>& names, HeldFolder& held);

// Makes a new file name in folder, open for reading and writing: never an existing file, never
// through a link. Null on failure, with errno set.
std::FILE* createNewFile(const HeldFolder& folder, const std::filesystem::path& name);
// Renames from to to inside folder, replacing what is at to (not following a link there) only when
// replace is set. False on failure, with errno set (EEXIST: to is there).
bool renameInFolder(const HeldFolder& folder, const std::filesystem::path& from,
                    const std::filesystem::path& to, bool replace);
void removeInFolder(const HeldFolder& folder, const std::filesystem::path& name);
// Whether name in folder is a link (on Windows any reparse point); false when it is missing.
bool isLinkInFolder(const HeldFolder& folder, const std::filesystem::path& name);

}  // namespace qzpack
