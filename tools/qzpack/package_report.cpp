#include "package_report.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "package/archive.h"
#include "package/header.h"

namespace qzpack {
namespace {

std::string quoted(const char* text) {
  std::ostringstream s;
  s << '"';
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : ""); *p; ++p) {
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

std::string flagNames(unsigned flags,
                      std::initializer_list<std::pair<unsigned, const char*>> names) {
  std::ostringstream s;
  s << "0x" << std::hex << std::setw(2) << std::setfill('0') << flags;
  std::string list;
  for (auto [bit, name] : names)
    if (flags & bit) list += (list.empty() ? "" : ", ") + std::string(name);
  if (!list.empty()) s << " (" << list << ")";
  return s.str();
}

template <typename T>
std::vector<const T*> headerOrder(const T* first) {
  std::vector<const T*> items;
  for (const T* p = first; p; p = p->next) items.push_back(p);
  std::reverse(items.begin(), items.end());  // the lists hold them newest first
  return items;
}

// Reads both passes of the header; prints the fault and returns false when it is damaged.
bool readHeader(const std::string& path, std::ostream& err) {
  freeSetupHeader();
  HeaderStatus status = readSetupHeader(path.c_str(), true, nullptr);
  if (status == headerOk) status = readSetupHeader(path.c_str(), false, nullptr);
  if (status != headerOk) {
    err << path << ": setup header: " << headerStatusText(status) << "\n";
    return false;
  }
  return true;
}

long fileSize(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  std::fclose(f);
  return size;
}

void printHeader(std::ostream& out) {
  out << "setupFlags: " << flagNames(header.setupFlags, {{2, "background window"}}) << "\n"
      << "title: " << quoted(header.title) << "\n"
      << "defaultDestination: " << quoted(header.defaultDestination) << "\n"
      << "shortcutFolder: " << quoted(header.shortcutFolder) << "\n"
      << "preInstallText: " << quoted(header.preInstallText) << "\n"
      << "lastWords: " << quoted(header.lastWords) << "\n"
      << "custom fields: " << header.fieldCount << "\n";
  int index = 0;
  for (const CustomField* f = header.firstField; f; f = f->next, ++index)
    out << "  [" << index << "] caption " << quoted(f->caption) << " variableName "
        << quoted(f->variableName) << " flags " << flagNames(f->fieldFlags, {{1, "required"}})
        << "\n";
  int components = 0;
  for (const Component* c = header.firstComponent; c; c = c->next) ++components;
  out << "components: " << components << "\n";
  index = 0;
  for (const Component* c = header.firstComponent; c; c = c->next, ++index) {
    out << "  [" << index << "] " << quoted(c->name) << " flags "
        << flagNames(c->componentFlags, {{1, "selected"}, {2, "required"}}) << "\n";
    auto files = headerOrder(c->files);
    out << "      files: " << files.size() << "\n";
    for (const ComponentFile* f : files) out << "        " << quoted(f->name) << "\n";
    auto shortcuts = headerOrder(c->shortcuts);
    out << "      shortcuts: " << shortcuts.size() << "\n";
    for (const ShortcutDefinition* s : shortcuts)
      out << "        linkName " << quoted(s->linkName) << " target " << quoted(s->target)
          << " arguments " << quoted(s->arguments) << " workingDirectory "
          << quoted(s->workingDirectory) << "\n";
  }
}

void printArchive(const ArchiveReader& a, long size, std::ostream& out) {
  out << "archive: offset " << header.archiveOffset << ", flags "
      << flagNames(a.archiveFlags, {{1, "bzip2"}}) << ", " << a.count << " entries\n";
  // Stored lengths are not recorded: an entry runs to the next stored offset (or the file's
  // end). For plain entries it is the size.
  std::vector<uint32_t> starts(a.offsets, a.offsets + a.count);
  std::sort(starts.begin(), starts.end());
  out << "  " << std::left << std::setw(40) << "name" << std::right << std::setw(12) << "size"
      << std::setw(12) << "offset" << std::setw(12) << "stored"
      << "\n";
  for (int32_t i = 0; i < a.count; ++i) {
    uint64_t stored = static_cast<uint32_t>(a.sizes[i]);
    if (a.archiveFlags & archiveCompressed) {
      auto next = std::upper_bound(starts.begin(), starts.end(), a.offsets[i]);
      stored = (next == starts.end() ? static_cast<uint64_t>(size) : *next) - a.offsets[i];
    }
    out << "  " << std::left << std::setw(40) << quoted(a.names[i]) << std::right << std::setw(12)
        << a.sizes[i] << std::setw(12) << a.offsets[i] << std::setw(12) << stored << "\n";
  }
  if (a.status != archiveOk)
    out << "  (directory damaged: " << archiveStatusText(a.status) << ")\n";
}

struct ArchiveCloser {
  void operator()(ArchiveReader* a) const { freeArchive(a); }
};

}  // namespace

int listPackage(const std::string& path, std::ostream& out, std::ostream& err) {
  if (!readHeader(path, err)) return 1;
  long size = fileSize(path);
  out << "package: " << path << " (" << size << " bytes)\n";
  printHeader(out);
  std::unique_ptr<ArchiveReader, ArchiveCloser> archive(
      openArchive(path.c_str(), header.archiveOffset));
  if (!archive) {
    err << path << ": cannot open the archive\n";
    return 1;
  }
  printArchive(*archive, size, out);
  freeSetupHeader();
  return archive->status == archiveOk ? 0 : 1;
}

int verifyPackage(const std::string& path, std::ostream& out, std::ostream& err) {
  if (!readHeader(path, err)) return 1;
  std::unique_ptr<ArchiveReader, ArchiveCloser> archive(
      openArchive(path.c_str(), header.archiveOffset));
  if (!archive) {
    err << path << ": cannot open the archive\n";
    return 1;
  }
  int faults = 0;
  if (archive->status != archiveOk) {
    err << path << ": archive directory: " << archiveStatusText(archive->status) << "\n";
    ++faults;
  }
  for (const Component* c = header.firstComponent; c; c = c->next) {
    for (const ComponentFile* f : headerOrder(c->files)) {
      uint32_t offset;
      int32_t size;
      if (!findEntry(archive.get(), f->name, &offset, &size)) {
        err << path << ": file " << quoted(f->name) << " of component " << quoted(c->name)
            << " has no archive entry\n";
        ++faults;
      }
    }
  }
  std::set<std::string> seen;
  std::vector<char> buffer(16384);
  uint64_t bytes = 0;
  for (int32_t i = 0; i < archive->count; ++i) {
    const char* name = archive->names[i];
    if (!seen.insert(name).second) continue;  // only the first of equal names can be read
    EntryStream* stream = openEntry(archive.get(), name);
    if (!stream) {
      err << path << ": entry " << quoted(name) << " cannot be opened (not a bzip2 stream?)\n";
      ++faults;
      continue;
    }
    while (!entryAtEnd(stream) && readEntry(stream, buffer.data(), int32_t(buffer.size())) > 0) {
    }
    if (entryFailed(stream)) {
      err << path << ": entry " << quoted(name) << " stops at byte " << stream->position << " of "
          << stream->size
          << (stream->position < stream->size ? " (cut short or corrupt)"
                                              : " (its bzip2 stream does not end there intact)")
          << "\n";
      ++faults;
    }
    bytes += static_cast<uint32_t>(stream->position);
    closeEntry(stream);
  }
  freeSetupHeader();
  if (faults) {
    err << path << ": " << faults << (faults == 1 ? " fault" : " faults") << "\n";
    return 1;
  }
  out << path << ": ok, " << archive->count << " entries, " << bytes << " bytes\n";
  return 0;
}

}  // namespace qzpack
