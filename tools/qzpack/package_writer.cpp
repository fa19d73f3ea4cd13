#include "package_writer.h"

#include <bzlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "host_files.h"
#include "pe_layout.h"

namespace qzpack {
namespace {

namespace fs = std::filesystem;

constexpr size_t chunkSize = 1 << 16;
constexpr uint64_t maxPackageSize = 0x7FFFFFFF;  // the stub seeks with 32-bit offsets

void putU32(std::vector<unsigned char>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void putString(std::vector<unsigned char>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

struct Entry {
  std::string name;
  fs::path source;
  uint32_t size = 0;
  uint32_t offset = 0;  // from the start of the data area
};

// Copies one source file into the archive, plain or as one bzip2 stream; returns the stored
// length.
uint64_t storeEntry(PendingOutput& out, const Entry& entry, const Manifest& manifest) {
  File in = openFile(entry.source, "rb");
  if (!in) throw BuildError("cannot read " + entry.source.string() + ": " + std::strerror(errno));
  std::vector<char> input(chunkSize), output(chunkSize);
  uint64_t read = 0, stored = 0;
  bool compress = manifest.compression == Compression::bzip2;
  bz_stream stream{};
  if (compress && BZ2_bzCompressInit(&stream, manifest.blockSize, 0, 0) != BZ_OK)
    throw BuildError("bzip2 compressor cannot start");
  struct End {
    bz_stream* s;
    bool on;
    ~End() {
      if (on) BZ2_bzCompressEnd(s);
    }
  } end{&stream, compress};
  for (;;) {
    size_t got = std::fread(input.data(), 1, input.size(), in.get());
    if (std::ferror(in.get())) throw BuildError("cannot read " + entry.source.string());
    read += got;
    bool last = got < input.size();
    if (!compress) {
      out.write(input.data(), got);
      stored += got;
    } else {
      stream.next_in = input.data();
      stream.avail_in = static_cast<unsigned>(got);
      int ret;
      do {
        stream.next_out = output.data();
        stream.avail_out = static_cast<unsigned>(output.size());
        ret = BZ2_bzCompress(&stream, last ? BZ_FINISH : BZ_RUN);
        if (ret < 0) throw BuildError("bzip2 compression failed on " + entry.source.string());
        size_t produced = output.size() - stream.avail_out;
        out.write(output.data(), produced);
        stored += produced;
      } while (last ? ret != BZ_STREAM_END : stream.avail_in > 0);
    }
    if (last) break;
  }
  if (read != entry.size)
    throw BuildError(entry.source.string() + " changed size while it was being packed");
  return stored;
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
  if (!in) throw BuildError("cannot read stub " + stub.string());
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  PeLayout pe = peLayout(bytes);
  if (!pe.dosHeader) throw BuildError("stub " + stub.string() + " is not a Windows executable");
  if (pe.peOffset < 100)
    throw BuildError("stub " + stub.string() + ": its PE header starts at byte " +
                     std::to_string(pe.peOffset) +
                     ", inside bytes 96-99 that hold the header offset");
  if (!pe.peHeader) throw BuildError("stub " + stub.string() + " is not a Windows executable");
  // A signature covers the whole file: whatever is appended to a signed stub breaks it.
  if (pe.signatureSize)
    throw BuildError("stub " + stub.string() +
                     " is signed, and appending the package would break its signature: build "
                     "with the unsigned setup.exe and sign the finished package instead");
  return bytes;
}

BuildSummary buildPackage(const Manifest& manifest, const fs::path& stubPath,
                          const fs::path& output) {
  std::vector<unsigned char> stub = readStub(stubPath);

  // One archive entry per distinct file name, in order of first appearance.
  std::vector<Entry> entries;
  std::map<std::string, size_t> byName;
  uint64_t contentSize = 0;
  for (const ManifestComponent& c : manifest.components) {
    for (const ManifestFile& f : c.files) {
      auto [it, added] = byName.emplace(f.name, entries.size());
      if (!added) {
        if (entries[it->second].source != f.source)
          throw BuildError("file name \"" + f.name + "\" is given two different sources");
        continue;
      }
      std::error_code ec;
      uint64_t size = fs::file_size(f.source, ec);
      if (ec) throw BuildError("cannot read " + f.source.string() + ": " + ec.message());
      if (size > maxPackageSize) throw BuildError(f.source.string() + " is too large");
      contentSize += size;
      entries.push_back({f.name, f.source, static_cast<uint32_t>(size), 0});
    }
  }

  BuildSummary summary;
  summary.stubSize = stub.size();
  summary.entries = entries.size();
  summary.contentSize = contentSize;
  uint32_t headerOffset = static_cast<uint32_t>(stub.size());
  size_t headerSize = headerBytes(manifest, 0).size();
  uint64_t archiveOffset = uint64_t{headerOffset} + headerSize;
  summary.headerSize = headerSize;

  uint32_t dataStart = 9;
  for (const Entry& e : entries) dataStart += static_cast<uint32_t>(e.name.size() + 9);
  if (archiveOffset + dataStart + contentSize > maxPackageSize &&
      manifest.compression == Compression::none)
    throw BuildError("the package would pass 2 GiB, more than setup can read");

  // Bytes 96-99 of the stub point at the header.
  for (int i = 0; i < 4; ++i) stub[96 + i] = static_cast<unsigned char>(headerOffset >> (8 * i));

  PendingOutput out(output);
  out.write(stub.data(), stub.size());
  out.write(headerBytes(manifest, static_cast<uint32_t>(archiveOffset)).data(), headerSize);

  auto directory = [&] {
    std::vector<unsigned char> d;
    putU32(d, dataStart);
    putU32(d, manifest.compression == Compression::bzip2 ? 1 : 0);
    for (const Entry& e : entries) {
      putString(d, e.name);
      putU32(d, e.offset);
      putU32(d, e.size);
    }
    d.push_back(0);
    return d;
  };
  out.write(directory().data(), dataStart);  // offsets are filled in once known
  uint64_t dataArea = archiveOffset + dataStart;
  uint64_t position = 0;
  for (Entry& e : entries) {
    e.offset = static_cast<uint32_t>(position);
    position += storeEntry(out, e, manifest);
    if (dataArea + position > maxPackageSize)
      throw BuildError("the package would pass 2 GiB, more than setup can read");
  }
  out.writeAt(archiveOffset, directory());
  summary.archiveSize = dataStart + position;
  out.commit();
  return summary;
}

}  // namespace qzpack
