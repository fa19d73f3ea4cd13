#include "package_report.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <set>
#include <sstream>
#include <vector>

#include "host_files.h"
#include "package/header.h"
#include "package/name_rule.h"
#include "package_access.h"
#include "package_branding.h"
#include "pe_layout.h"
#include "windows_names.h"

namespace qzpack {
namespace {

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

void printHeader(Encoding encoding, std::ostream& out) {
  out << "setupFlags: "
      << flagNames(header.setupFlags, {{setupFlagBackground, "background window"}}) << "\n"
      << "title: " << quoted(header.title, encoding) << "\n"
      << "defaultDestination: " << quoted(header.defaultDestination, encoding) << "\n"
      << "shortcutFolder: " << quoted(header.shortcutFolder, encoding) << "\n"
      << "preInstallText: " << quoted(header.preInstallText, encoding) << "\n"
      << "lastWords: " << quoted(header.lastWords, encoding) << "\n"
      << "custom fields: " << header.fieldCount << "\n";
  int index = 0;
  for (const CustomField* f = header.firstField; f; f = f->next, ++index)
    out << "  [" << index << "] caption " << quoted(f->caption, encoding) << " variableName "
        << quoted(f->variableName, encoding) << " flags "
        << flagNames(f->fieldFlags, {{fieldRequired, "required"}}) << "\n";
  int components = 0;
  for (const Component* c = header.firstComponent; c; c = c->next) ++components;
  out << "components: " << components << "\n";
  index = 0;
  for (const Component* c = header.firstComponent; c; c = c->next, ++index) {
    out << "  [" << index << "] " << quoted(c->name, encoding) << " flags "
        << flagNames(c->componentFlags,
                     {{componentSelected, "selected"}, {componentRequired, "required"}})
        << "\n";
    auto files = headerOrder(c->files);
    out << "      files: " << files.size() << "\n";
    for (const ComponentFile* f : files) out << "        " << quoted(f->name, encoding) << "\n";
    auto shortcuts = headerOrder(c->shortcuts);
    out << "      shortcuts: " << shortcuts.size() << "\n";
    for (const ShortcutDefinition* s : shortcuts)
      out << "        linkName " << quoted(s->linkName, encoding) << " target " << quoted(s->target, encoding)
          << " arguments " << quoted(s->arguments, encoding) << " workingDirectory "
          << quoted(s->workingDirectory, encoding) << "\n";
  }
}

// Where the data appended to the stub ends: at the signature, when there is one.
struct PackageEnd {
  uint64_t fileSize = 0, dataEnd = 0;
  PeLayout pe;
};

PackageEnd packageEnd(const std::string& path) {
  PackageEnd end;
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return end;
  std::fseek(file.get(), 0, SEEK_END);
  long size = std::ftell(file.get());
  end.fileSize = end.dataEnd = size < 0 ? 0 : static_cast<uint64_t>(size);
  end.pe = readPeLayout(file.get());
  if (end.pe.signatureSize && end.pe.signatureOffset < end.dataEnd)
    end.dataEnd = end.pe.signatureOffset;
  return end;
}

std::string signatureText(const PackageEnd& end) {
  if (!end.pe.signatureSize) return "not signed";
  return "signed: Authenticode certificate table of " + std::to_string(end.pe.signatureSize) +
         " bytes at offset " + std::to_string(end.pe.signatureOffset);
}

// The end of the bzip2 stream that stops at or a few bytes before `to`: a signer pads the file
// to a multiple of 8 bytes before its certificate table. A stream ends with a 48-bit marker and
// its 32-bit CRC, not aligned to bytes, then at most 7 zero bits.
uint64_t streamEnd(const std::string& path, uint64_t from, uint64_t to) {
  uint64_t start = to - std::min<uint64_t>(to - from, 24);
  std::vector<unsigned char> tail(to - start);
  File file(std::fopen(path.c_str(), "rb"));
  if (!file || !seekFile(file.get(), start) ||
      std::fread(tail.data(), 1, tail.size(), file.get()) != tail.size())
    return to;
  auto bit = [&](size_t i) { return tail[i / 8] >> (7 - i % 8) & 1; };
  if (tail.size() * 8 < 80) return to;
  for (size_t at = tail.size() * 8 - 80 + 1; at-- > 0;) {  // the last marker wins
    uint64_t marker = 0;
    for (size_t k = 0; k < 48; ++k) marker = marker << 1 | bit(at + k);
    if (marker == 0x177245385090) return start + (at + 80 + 7) / 8;
  }
  return to;
}

void printArchive(const ArchiveReader& a, const std::string& path, const PackageEnd& end,
                  Encoding encoding, std::ostream& out) {
  out << "archive: offset " << header.archiveOffset << ", flags "
      << flagNames(a.archiveFlags, {{archiveCompressed, "bzip2"}}) << ", " << a.count
      << " entries\n";
  // Stored lengths are not recorded: an entry runs to the next stored offset (or the end of the
  // data). For plain entries it is the size.
  std::vector<uint32_t> starts(a.offsets, a.offsets + a.count);
  std::sort(starts.begin(), starts.end());
  out << "  " << std::left << std::setw(40) << "name" << std::right << std::setw(12) << "size"
      << std::setw(12) << "offset" << std::setw(12) << "stored"
      << "\n";
  for (int32_t i = 0; i < a.count; ++i) {
    uint64_t stored = static_cast<uint32_t>(a.sizes[i]);
    if (a.archiveFlags & archiveCompressed) {
      auto next = std::upper_bound(starts.begin(), starts.end(), a.offsets[i]);
      uint64_t stop = next != starts.end()         ? *next
                      : end.dataEnd < end.fileSize ? streamEnd(path, a.offsets[i], end.dataEnd)
                                                   : end.dataEnd;
      stored = stop > a.offsets[i] ? stop - a.offsets[i] : 0;
    }
    out << "  " << std::left << std::setw(40) << quoted(a.names[i], encoding) << std::right << std::setw(12)
        << a.sizes[i] << std::setw(12) << a.offsets[i] << std::setw(12) << stored << "\n";
  }
  if (a.status != archiveOk)
    out << "  (directory damaged: " << archiveStatusText(a.status) << ")\n";
}

// A signature must follow the archive's data and end inside the file.
std::string signatureFault(const ArchiveReader& a, const PackageEnd& end) {
  if (!end.pe.signatureSize) return {};
  if (uint64_t{end.pe.signatureOffset} + end.pe.signatureSize > end.fileSize)
    return "the signature's certificate table runs past the end of the file";
  for (int32_t i = 0; i < a.count; ++i) {
    bool plain = !(a.archiveFlags & archiveCompressed);
    if (a.offsets[i] + (plain ? uint64_t(uint32_t(a.sizes[i])) : 1) > end.dataEnd)
      return "the signature's certificate table lies inside the archive's data";
  }
  return {};
}

}  // namespace

int listPackage(const std::string& path, std::ostream& out, std::ostream& err) {
  if (!readHeader(path, err)) return 1;
  PackageEnd end = packageEnd(path);
  out << "package: " << path << " (" << end.fileSize << " bytes), " << signatureText(end) << "\n";
  Encoding encoding = packageEncoding(path);
  out << "encoding: " << encodingName(encoding) << "\n";
  printHeader(encoding, out);
  Archive archive = openPackageArchive(path, err);
  if (!archive) return 1;
  printArchive(*archive, path, end, encoding, out);
  std::vector<std::string> faults = reportPackageBranding(path, *archive, out);
  for (const std::string& fault : faults) err << path << ": " << fault << "\n";
  freeSetupHeader();
  return archive->status == archiveOk && faults.empty() ? 0 : 1;
}

int verifyPackage(const std::string& path, std::ostream& out, std::ostream& err) {
  if (!readHeader(path, err)) return 1;
  Encoding encoding = packageEncoding(path);
  Archive archive = openPackageArchive(path, err);
  if (!archive) return 1;
  std::vector<std::string> faults;
  if (archive->status != archiveOk)
    faults.push_back(std::string("archive directory: ") + archiveStatusText(archive->status));
  for (const Component* c = header.firstComponent; c; c = c->next) {
    for (const ComponentFile* f : headerOrder(c->files)) {
      uint32_t offset;
      int32_t size;
      std::string file =
          "file " + quoted(f->name, encoding) + " of component " + quoted(c->name, encoding);
      if (!nameStaysInside(f->name)) faults.push_back(file + " leaves the destination folder");
      if (!findEntry(archive.get(), f->name, &offset, &size))
        faults.push_back(file + " has no archive entry");
    }
  }
  std::set<std::string> seen;
  uint64_t bytes = 0;
  for (int32_t i = 0; i < archive->count; ++i) {
    const char* name = archive->names[i];
    if (!seen.insert(name).second) continue;  // only the first of equal names can be read
    if (!nameStaysInside(name))
      faults.push_back("entry " + quoted(name, encoding) + " would leave the destination folder");
    else if (encoding == Encoding::utf8 && !windowsNameFault(name, encoding).empty())
      faults.push_back("entry " + quoted(name, encoding) +
                       " cannot be a file name on Windows: " + windowsNameFault(name, encoding));
    std::string fault = readWholeEntry(
        *archive, name, encoding, [](const char*, size_t) {}, &bytes);
    if (!fault.empty()) faults.push_back(fault);
  }
  std::ostringstream branding;  // verify only checks it
  for (const std::string& fault : reportPackageBranding(path, *archive, branding))
    faults.push_back(fault);
  PackageEnd end = packageEnd(path);
  if (std::string fault = signatureFault(*archive, end); !fault.empty()) faults.push_back(fault);
  freeSetupHeader();
  for (const std::string& fault : faults) err << path << ": " << fault << "\n";
  if (!faults.empty()) {
    err << path << ": " << faults.size() << (faults.size() == 1 ? " fault" : " faults") << "\n";
    return 1;
  }
  out << path << ": ok, " << archive->count << " entries, " << bytes << " bytes, "
      << signatureText(end) << "\n";
  return 0;
}

}  // namespace qzpack
