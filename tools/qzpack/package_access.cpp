#include "package_access.h"

#include <iomanip>
#include <sstream>
#include <vector>

#include "package/header.h"

namespace qzpack {

std::string quoted(const char* text, Encoding encoding) {
  std::ostringstream s;
  s << '"';
  std::string utf8 = fromPackage(text ? text : "", encoding);
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.c_str()); *p; ++p) {
    switch (*p) {
      case '\r':
        s << "\\r";
        break;
      case '\n':
        s << "\\n";
        break;
      case '\t':
        s << "\\t";
        break;
      case '"':
        s << "\\\"";
        break;
      case '\\':
        s << "\\\\";
        break;
      default:
        if (*p < 0x20 || *p == 0x7F)
          s << "\\x" << std::hex << std::setw(2) << std::setfill('0') << int{*p} << std::dec;
        else
          s << *p;
    }
  }
  s << '"';
  return s.str();
}

bool readHeader(const std::string& path, std::ostream& err) {
  freeSetupHeader();
  HeaderStatus status = readSetupHeader(path.c_str(), true, nullptr);
  // Such a name stops the stub's first pass, but not a reading of the whole header: verify
  // names each one.
  if (status == headerOk || status == headerNameOutside) status = readSetupHeader(path.c_str(), false, nullptr);
  if (status != headerOk) {
    err << path << ": setup header: " << headerStatusText(status) << "\n";
    return false;
  }
  return true;
}

Archive openPackageArchive(const std::string& path, std::ostream& err) {
  Archive archive(openArchive(path.c_str(), header.archiveOffset));
  if (!archive) err << path << ": cannot open the archive\n";
  return archive;
}

std::string readWholeEntry(const ArchiveReader& archive, const char* name, Encoding encoding,
                           const std::function<void(const char*, size_t)>& sink, uint64_t* bytes) {
  // The sink may throw: the stream is closed on every way out.
  std::unique_ptr<EntryStream, void (*)(EntryStream*)> owned(openEntry(&archive, name), closeEntry);
  EntryStream* stream = owned.get();
  if (!stream) return "entry " + quoted(name, encoding) + " cannot be opened (not a bzip2 stream?)";
  std::vector<char> buffer(16384);
  while (!entryAtEnd(stream)) {
    int32_t got = readEntry(stream, buffer.data(), static_cast<int32_t>(buffer.size()));
    if (got <= 0) break;
    sink(buffer.data(), static_cast<size_t>(got));
  }
  std::ostringstream fault;
  if (entryFailed(stream))
    fault << "entry " << quoted(name, encoding) << " stops at byte " << stream->position << " of "
          << stream->size
          << (stream->position < stream->size ? " (cut short or corrupt)"
                                              : " (its bzip2 stream does not end there intact)");
  *bytes += static_cast<uint32_t>(stream->position);
  return fault.str();
}

}  // namespace qzpack
