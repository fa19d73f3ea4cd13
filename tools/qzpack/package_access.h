// Reading a package through the same readers the stub uses; shared by list, verify and extract.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "code_page.h"
#include "package/archive.h"

namespace qzpack {

// Text from a package (in its encoding) in quotes, in UTF-8, with backslashes, quotes and control
// bytes escaped.
std::string quoted(const char* text, Encoding encoding);


// Reads both passes of the setup header into the header global; prints the fault and returns
// false when it is damaged.
bool readHeader(const std::string& path, std::ostream& err);

struct ArchiveCloser {
  void operator()(ArchiveReader* a) const { freeArchive(a); }
};
using Archive = std::unique_ptr<ArchiveReader, ArchiveCloser>;

// The archive of the header just read; prints the fault and returns null when the file cannot be
// opened.
Archive openPackageArchive(const std::string& path, std::ostream& err);

// Reads one entry to its end, handing every chunk to sink, and adds the bytes read to *bytes.
// Empty when the entry is whole and sound (every bzip2 CRC checked, every plain byte there);
// otherwise what is wrong with it.
std::string readWholeEntry(const ArchiveReader& archive, const char* name, Encoding encoding,
                           const std::function<void(const char*, size_t)>& sink, uint64_t* bytes);

}  // namespace qzpack
