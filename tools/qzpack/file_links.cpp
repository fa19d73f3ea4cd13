#include "file_links.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qzpack {

bool isLink(const std::filesystem::path& path) {
#ifdef _WIN32
  // The runtime's symlink_status does not see links on Windows; the attribute does, for
  // symbolic links and junctions alike.
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
  std::error_code ec;
  return std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec));
#endif
}

}  // namespace qzpack
