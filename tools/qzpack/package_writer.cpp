#include "package_writer.h"

#include <fstream>
#include <map>

#include "branding.h"
#include "host_files.h"
#include "package/little_endian.h"
#include "pe_layout.h"
#include "progress_line.h"

namespace qzpack {
namespace {

namespace fs = std::filesystem;

void putU32(std::vector<unsigned char>& out, uint32_t value) {
  out.resize(out.size() + 4);
  storeU32(&out[out.size() - 4], value);
}

void putString(std::vector<unsigned char>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// The archive directory, offsets as given (from the start of the data area).
std::vector<unsigned char> directoryBytes(const std::vector<PackageEntry>& entries,
                                          const std::vector<uint32_t>& offsets, bool compressed) {
  uint32_t dataStart = smallestArchiveSize;
  for (const PackageEntry& e : entries)
    dataStart += static_cast<uint32_t>(e.name.size() + entryRecordSize);
  std::vector<unsigned char> d;
  putU32(d, dataStart);
  putU32(d, compressed ? uint32_t{archiveCompressed} : 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    putString(d, entries[i].name);
    putU32(d, offsets[i]);
    putU32(d, entries[i].size);
  }
  d.push_back(0);
  return d;
}

}  // namespace

std::vector<unsigned char> headerBytes(const Manifest& m, uint32_t archiveOffset) {
  std::vector<unsigned char> out;
  putU32(out, archiveOffset);
  putU32(out, m.setupFlags);
  putU32(out, static_cast<uint32_t>(m.fields.size()));
  for (const ManifestField& f : m.fields) {
    putString(out, f.caption);
    putString(out, f.variableName);
    out.push_back(f.flags);
  }
  for (const std::string* text :
       {&m.title, &m.defaultDestination, &m.shortcutFolder, &m.preInstallText, &m.lastWords})
    putString(out, *text);
  putU32(out, static_cast<uint32_t>(m.components.size()));
  for (const ManifestComponent& c : m.components) {
    putString(out, c.name);
    out.push_back(c.flags);
    putU32(out, static_cast<uint32_t>(c.files.size()));
    for (const ManifestFile& f : c.files) putString(out, f.name);
    putU32(out, static_cast<uint32_t>(c.shortcuts.size()));
    for (const ManifestShortcut& s : c.shortcuts) {
      putString(out, s.target);
      putString(out, s.arguments);
      putString(out, s.workingDirectory);
      putString(out, s.linkName);
    }
  }
  return out;
}

std::vector<unsigned char> readStub(const fs::path& stub) {
  std::ifstream in(stub, std::ios::binary);
  if (!in) throw BuildError("cannot read stub " + displayPath(stub));
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  PeLayout pe = peLayout(bytes);
  std::string named = "stub " + displayPath(stub);
  if (!pe.dosHeader) throw BuildError(named + " is not a Windows executable");
  if (pe.peOffset < headerOffsetEnd)
    throw BuildError(named + ": its PE header starts at byte " + std::to_string(pe.peOffset) +
                     ", inside bytes " + std::to_string(headerOffsetPosition) + "-" +
                     std::to_string(headerOffsetEnd - 1) + " that hold the header offset");
  if (!pe.peHeader) throw BuildError(named + " is not a Windows executable");
  // A signature covers the whole file: whatever is appended to a signed stub breaks it.
  if (pe.signatureSize)
    throw BuildError(named +
                     " is signed, and appending the package would break its signature: build "
                     "with the unsigned setup.exe and sign the finished package instead");
  return bytes;
}

std::vector<PackageEntry> planEntries(const Manifest& manifest) {
  std::vector<PackageEntry> entries;
  std::map<std::string, size_t> byName;
  for (const ManifestComponent& c : manifest.components) {
    for (const ManifestFile& f : c.files) {
      auto [it, added] = byName.emplace(f.name, entries.size());
      if (!added) {
        // As the manifest compares them: "p/a/../o.bin" and "p/o.bin" are one source.
        if (entries[it->second].source.lexically_normal() != f.source.lexically_normal())
          throw BuildError("file name \"" + f.name + "\" is given two different sources");
        continue;
      }
      std::error_code ec;
      uint64_t size = fs::file_size(f.source, ec);
      if (ec) throw BuildError("cannot read " + displayPath(f.source) + ": " + ec.message());
      if (size > maxPackageSize) throw BuildError(displayPath(f.source) + " is too large");
      entries.push_back({f.name, f.source, static_cast<uint32_t>(size)});
    }
  }
  return entries;
}

BuildSummary writePackage(const Manifest& manifest, const std::vector<PackageEntry>& entries,
                          const fs::path& stubPath, const fs::path& output,
                          const BuildOptions& options) {
  std::vector<unsigned char> stub = readStub(stubPath);
  if (changesExecutables(manifest.branding)) {
    std::string title = fromPackage(manifest.title, manifest.encoding);
    stub = brandExecutable(stub, manifest.branding, title, title + " Setup",
                           displayPath(output.filename()), "stub " + displayPath(stubPath));
  }
  BuildSummary summary;
  summary.stubSize = stub.size();
  summary.entries = entries.size();
  for (const PackageEntry& e : entries) summary.contentSize += e.size;
  uint32_t headerOffset = static_cast<uint32_t>(stub.size());
  summary.headerSize = headerBytes(manifest, 0).size();
  uint64_t archiveOffset = uint64_t{headerOffset} + summary.headerSize;

  bool compressed = manifest.compression == Compression::bzip2;
  std::vector<uint32_t> offsets(entries.size());
  std::vector<unsigned char> directory = directoryBytes(entries, offsets, compressed);
  uint64_t dataArea = archiveOffset + directory.size();
  if (dataArea + summary.contentSize > maxPackageSize && !compressed)
    throw BuildError("the package would pass 2 GiB, more than setup can read");

  storeU32(&stub[headerOffsetPosition], headerOffset);
  PendingOutput out(output);
  out.write(stub.data(), stub.size());
  out.write(headerBytes(manifest, static_cast<uint32_t>(archiveOffset)).data(), summary.headerSize);
  out.write(directory.data(), directory.size());  // offsets are filled in once known

  uint64_t position = 0;
  StoreSettings settings;
  settings.blockSize = compressed ? manifest.blockSize : 0;
  settings.jobs = options.jobs;
  settings.bufferLimit = options.bufferLimit;
  ProgressLine progress(options.progress, entries.size(), summary.contentSize);
  storeEntries(
      entries, settings, out,
      [&](size_t index, uint64_t length) {
        offsets[index] = static_cast<uint32_t>(position);
        position += length;
        if (dataArea + position > maxPackageSize)
          throw BuildError("the package would pass 2 GiB, more than setup can read");
      },
      [&](size_t files, uint64_t bytes) { progress.update(files, bytes); });
  progress.finish();
  out.writeAt(archiveOffset, directoryBytes(entries, offsets, compressed));
  summary.archiveSize = directory.size() + position;
  out.commit();
  return summary;
}

BuildSummary buildPackage(const Manifest& manifest, const fs::path& stub, const fs::path& output,
                          const BuildOptions& options) {
  return writePackage(manifest, planEntries(manifest), stub, output, options);
}

}  // namespace qzpack
