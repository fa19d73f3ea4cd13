#include "pe_resources.h"

#include <algorithm>
#include <map>

#include "byte_order.h"
#include "build_error.h"

namespace qzpack {
namespace {

constexpr uint32_t resourceDirectory = 2, securityDirectory = 4, relocationDirectory = 5;
constexpr size_t sectionHeaderSize = 40;
constexpr size_t maxResources = 4096;  // far more than an installer carries

uint32_t alignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

struct Section {
  size_t header;  // offset of its entry in the section table
  uint32_t virtualSize, address, rawSize, rawOffset, characteristics;
};

constexpr uint32_t discardable = 0x02000000;  // IMAGE_SCN_MEM_DISCARDABLE: not needed at run time

// What the rewrite needs of the headers, checked against the file's size.
struct Headers {
  size_t optional = 0, directories = 0;
  uint32_t directoryCount = 0, fileAlignment = 0, sectionAlignment = 0;
  std::vector<Section> sections;
};

Headers readHeaders(const std::vector<unsigned char>& b, const std::string& what) {
  auto bad = [&](const std::string& why) { return BuildError(what + ": " + why); };
  if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') throw bad("not a Windows executable");
  size_t pe = getU32(b, 0x3C);
  if (pe > b.size() - 24 || getU32(b, pe) != 0x4550) throw bad("not a Windows executable");
  Headers h;
  h.optional = pe + 24;
  uint16_t sections = getU16(b, pe + 6), optionalSize = getU16(b, pe + 20);
  if (h.optional + optionalSize > b.size() || optionalSize < 2) throw bad("its headers are cut short");
  uint16_t magic = getU16(b, h.optional);
  if (magic != 0x10B && magic != 0x20B) throw bad("unknown optional header");
  size_t countAt = h.optional + (magic == 0x20B ? 108 : 92);
  if (countAt + 4 > h.optional + optionalSize) throw bad("its headers are cut short");
  h.directoryCount = getU32(b, countAt);
  h.directories = countAt + 4;
  if (h.directoryCount < 6 || h.directories + 8 * size_t{h.directoryCount} > h.optional + optionalSize)
    throw bad("its data directories are cut short");
  h.sectionAlignment = getU32(b, h.optional + 32);
  h.fileAlignment = getU32(b, h.optional + 36);
  size_t table = h.optional + optionalSize;
  if (table + sections * sectionHeaderSize > b.size()) throw bad("its section table is cut short");
  for (size_t i = 0; i < sections; ++i) {
    size_t at = table + i * sectionHeaderSize;
    Section s{at,
              getU32(b, at + 8),
              getU32(b, at + 12),
              getU32(b, at + 16),
              getU32(b, at + 20),
              getU32(b, at + 36)};
    if (s.rawSize && (s.rawOffset > b.size() || s.rawSize > b.size() - s.rawOffset))
      throw bad("a section lies past the end of the file");
    h.sections.push_back(s);
  }
  return h;
}

uint32_t directoryAddress(const std::vector<unsigned char>& b, const Headers& h, uint32_t index) {
  return getU32(b, h.directories + 8 * index);
}

// The section whose data holds the resource directory, or none.
const Section* resourceSection(const std::vector<unsigned char>& b, const Headers& h) {
  uint32_t address = directoryAddress(b, h, resourceDirectory);
  if (!address) return nullptr;
  for (const Section& s : h.sections)
    if (s.address == address) return &s;
  return nullptr;
}

// Walks the three levels of the resource directory (type, name, language) inside one section.
class DirectoryReader {
 public:
  DirectoryReader(const std::vector<unsigned char>& b, const Section& s, std::string what)
      : b_(b), s_(s), what_(std::move(what)) {}

  std::vector<Resource> read() {
    std::vector<Resource> out;
    Resource r;
    walk(0, 0, r, out);
    return out;
  }

 private:
  BuildError bad(const std::string& why) const { return BuildError(what_ + ": resources: " + why); }

  size_t at(uint32_t offset, uint32_t length) const {
    uint32_t room = s_.rawSize;
    if (offset > room || length > room - offset) throw bad("an offset lies outside the section");
    return s_.rawOffset + offset;
  }

  std::u16string name(uint32_t offset) const {
    size_t p = at(offset, 2);
    uint16_t length = getU16(b_, p);
    p = at(offset + 2, 2u * length);
    std::u16string text;
    for (uint16_t i = 0; i < length; ++i) text += static_cast<char16_t>(getU16(b_, p + 2 * i));
    return text;
  }

  void walk(uint32_t offset, int level, Resource& r, std::vector<Resource>& out) {
    size_t p = at(offset, 16);
    uint32_t count = uint32_t{getU16(b_, p + 12)} + getU16(b_, p + 14);
    at(offset + 16, 8 * count);
    for (uint32_t i = 0; i < count; ++i) {
      size_t e = p + 16 + 8 * i;
      uint32_t id = getU32(b_, e), target = getU32(b_, e + 4);
      ResourceKey key;
      if (id & 0x80000000u)
        key.text = name(id & 0x7FFFFFFFu);
      else
        key.id = static_cast<uint16_t>(id);
      if (level == 0) r.type = key;
      if (level == 1) r.name = key;
      if (level == 2) r.language = key.id;
      bool directory = target & 0x80000000u;
      if (directory != (level < 2)) throw bad("the directory is not three levels deep");
      if (directory) {
        walk(target & 0x7FFFFFFFu, level + 1, r, out);
        continue;
      }
      size_t entry = at(target, 16);
      uint32_t address = getU32(b_, entry), size = getU32(b_, entry + 4);
      if (address < s_.address) throw bad("data lies outside the section");
      size_t data = at(address - s_.address, size);
      r.data.assign(b_.begin() + data, b_.begin() + data + size);
      out.push_back(r);
      if (out.size() > maxResources) throw bad("too many resources");
    }
  }

  const std::vector<unsigned char>& b_;
  const Section& s_;
  std::string what_;
};

bool keyLess(const ResourceKey& a, const ResourceKey& b) {
  // Named entries come first, in order of their names; then numbered ones, in number order.
  if (a.text.empty() != b.text.empty()) return !a.text.empty();
  if (!a.text.empty()) return a.text < b.text;
  return a.id < b.id;
}

// The resource section's bytes for a section at this address.
std::vector<unsigned char> sectionBytes(std::vector<Resource> resources, uint32_t address) {
  std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
    if (!(a.type == b.type)) return keyLess(a.type, b.type);
    if (!(a.name == b.name)) return keyLess(a.name, b.name);
    return a.language < b.language;
  });
  // Tables first, each directory after its parent's, then the data entries, the names and the
  // data: the layout resource compilers use.
  std::vector<unsigned char> tables, entries, names, data;
  struct Pending {
    size_t patch;  // where the table's entry for this directory wants its offset
    size_t begin, end, level;
  };
  std::vector<Pending> queue{{SIZE_MAX, 0, resources.size(), 0}};
  std::vector<std::pair<size_t, size_t>> entryPatches;  // (table position, resource index)
  std::vector<std::pair<size_t, std::u16string>> namePatches;
  for (size_t q = 0; q < queue.size(); ++q) {
    Pending d = queue[q];
    if (d.patch != SIZE_MAX) setU32(tables, d.patch, 0x80000000u | static_cast<uint32_t>(tables.size()));
    auto keyOf = [&](size_t i) -> ResourceKey {
      if (d.level == 0) return resources[i].type;
      if (d.level == 1) return resources[i].name;
      return ResourceKey{resources[i].language, {}};
    };
    std::vector<std::pair<size_t, size_t>> groups;  // [begin, end) sharing one key
    for (size_t i = d.begin; i < d.end; ++i)
      if (groups.empty() || !(keyOf(i) == keyOf(groups.back().first))) groups.push_back({i, i + 1});
      else groups.back().second = i + 1;
    uint16_t named = 0;
    for (auto& g : groups) named += !keyOf(g.first).text.empty();
    size_t table = tables.size();
    tables.resize(table + 16, 0);
    setU32(tables, table + 12, named | uint32_t(groups.size() - named) << 16);
    for (auto& g : groups) {
      size_t e = tables.size();
      tables.resize(e + 8, 0);
      ResourceKey key = keyOf(g.first);
      if (key.text.empty()) setU32(tables, e, key.id);
      else namePatches.push_back({e, key.text});
      if (d.level < 2) queue.push_back({e + 4, g.first, g.second, d.level + 1});
      else entryPatches.push_back({e + 4, g.first});
    }
  }
  size_t entriesAt = tables.size();
  size_t namesAt = entriesAt + 16 * entryPatches.size();
  for (auto& [patch, text] : namePatches) {
    setU32(tables, patch, 0x80000000u | static_cast<uint32_t>(namesAt + names.size()));
    appendU16(names, static_cast<uint16_t>(text.size()));
    for (char16_t c : text) appendU16(names, c);
  }
  while (names.size() % 8) names.push_back(0);
  size_t dataAt = namesAt + names.size();
  for (auto& [patch, index] : entryPatches) {
    setU32(tables, patch, static_cast<uint32_t>(entriesAt + entries.size()));
    appendU32(entries, static_cast<uint32_t>(address + dataAt + data.size()));
    appendU32(entries, static_cast<uint32_t>(resources[index].data.size()));
    appendU32(entries, 0);  // code page
    appendU32(entries, 0);
    data.insert(data.end(), resources[index].data.begin(), resources[index].data.end());
    while (data.size() % 8) data.push_back(0);
  }
  tables.insert(tables.end(), entries.begin(), entries.end());
  tables.insert(tables.end(), names.begin(), names.end());
  tables.insert(tables.end(), data.begin(), data.end());
  return tables;
}

// What follows the resource section must be movable: the relocations (found through their
// directory only) or sections the program does not use at run time (debugging information), and
// in the file nothing of the headers' own before the section's end.
void checkMovable(const Buffer& exe, const Headers& h, const Section& rsrc,
                  const std::vector<Section>& after, const std::string& what) {
  uint32_t relocations = directoryAddress(exe, h, relocationDirectory);
  uint32_t rsrcEnd = rsrc.rawOffset + rsrc.rawSize;
  for (const Section& s : after) {
    if (s.address != relocations && !(s.characteristics & discardable))
      throw BuildError(what + ": sections the program uses follow its resources");
    if (s.rawSize && s.rawOffset < rsrcEnd)
      throw BuildError(what + ": a section's data lies before its resources'");
  }
  uint32_t symbols = getU32(exe, h.optional - 12);
  if (symbols && symbols < rsrcEnd)
    throw BuildError(what + ": its symbol table lies before its resources");
  if (directoryAddress(exe, h, securityDirectory))
    throw BuildError(what + ": it is signed; rewriting it would break the signature");
}

}  // namespace

std::vector<Resource> readResources(const std::vector<unsigned char>& exe, const std::string& what) {
  Headers h = readHeaders(exe, what);
  const Section* s = resourceSection(exe, h);
  if (!s) {
    if (directoryAddress(exe, h, resourceDirectory))
      throw BuildError(what + ": its resource directory does not start a section");
    return {};
  }
  return DirectoryReader(exe, *s, what).read();
}

std::vector<unsigned char> withResources(const std::vector<unsigned char>& exe,
                                         std::vector<Resource> resources, const std::string& what) {
  Headers h = readHeaders(exe, what);
  if (!h.fileAlignment || !h.sectionAlignment || h.fileAlignment & (h.fileAlignment - 1))
    throw BuildError(what + ": its alignment is not a power of two");
  const Section* found = resourceSection(exe, h);
  if (!found) throw BuildError(what + ": it has no resource section to rewrite");
  const Section rsrc = *found;
  std::vector<Section> after(h.sections.begin() + (found - h.sections.data()) + 1, h.sections.end());
  checkMovable(exe, h, rsrc, after, what);

  Buffer section = sectionBytes(std::move(resources), rsrc.address);
  uint32_t size = static_cast<uint32_t>(section.size()), raw = alignUp(size, h.fileAlignment);
  section.resize(raw, 0);
  Buffer out(exe.begin(), exe.begin() + rsrc.rawOffset);
  out.insert(out.end(), section.begin(), section.end());
  out.insert(out.end(), exe.begin() + rsrc.rawOffset + rsrc.rawSize, exe.end());
  setU32(out, rsrc.header + 8, size);
  setU32(out, rsrc.header + 16, raw);
  setU32(out, h.directories + 8 * resourceDirectory, rsrc.address);
  setU32(out, h.directories + 8 * resourceDirectory + 4, size);
  uint32_t imageEnd = alignUp(rsrc.address + size, h.sectionAlignment);
  if (!after.empty()) {
    // Everything behind the resources moves by whole alignment units, in memory and in the file.
    uint32_t vaDelta = imageEnd - after.front().address, rawDelta = raw - rsrc.rawSize;
    for (const Section& s : after) {
      setU32(out, s.header + 12, s.address + vaDelta);
      if (s.rawSize) setU32(out, s.header + 20, s.rawOffset + rawDelta);
      imageEnd = alignUp(s.address + vaDelta + std::max(s.virtualSize, s.rawSize), h.sectionAlignment);
    }
    for (uint32_t d = 0; d < h.directoryCount; ++d) {
      uint32_t address = getU32(out, h.directories + 8 * d);
      if (d != securityDirectory && address >= after.front().address)
        setU32(out, h.directories + 8 * d, address + vaDelta);
    }
    if (uint32_t symbols = getU32(out, h.optional - 12))  // PointerToSymbolTable
      setU32(out, h.optional - 12, symbols + rawDelta);
  }
  setU32(out, h.optional + 8, getU32(out, h.optional + 8) - rsrc.rawSize + raw);  // initialised data
  setU32(out, h.optional + 56, imageEnd);  // SizeOfImage
  setU32(out, h.optional + 64, peChecksum(out));
  return out;
}

uint32_t peChecksum(const std::vector<unsigned char>& file) {
  size_t skip = SIZE_MAX;
  if (file.size() >= 0x40) {
    size_t pe = getU32(file, 0x3C);
    if (pe + 24 + 68 <= file.size()) skip = pe + 24 + 64;
  }
  uint64_t sum = 0;
  for (size_t i = 0; i < file.size(); i += 2) {
    if (i == skip || i == skip + 2) continue;
    sum += file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + file.size());
}

const Resource* findResource(const std::vector<Resource>& resources, const ResourceKey& type,
                             const ResourceKey& name) {
  for (const Resource& r : resources)
    if (r.type == type && r.name == name) return &r;
  return nullptr;
}

}  // namespace qzpack
