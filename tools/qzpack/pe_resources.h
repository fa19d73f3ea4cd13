// The resources of a Windows executable: read from its resource section, and written back as a
// new resource section, the sections after it moved and the headers that describe them
// (section table, data directories, image size, checksum) made to match. Host tool: throws
// BuildError.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qzpack {

// A resource type or name: a number, or a string when text is not empty.
struct ResourceKey {
  uint16_t id = 0;
  std::u16string text;
  bool operator==(const ResourceKey& other) const { return id == other.id && text == other.text; }
};

struct Resource {
  ResourceKey type, name;
  uint16_t language = 0;
  std::vector<unsigned char> data;
};

enum ResourceType : uint16_t { rtIcon = 3, rtGroupIcon = 14, rtVersion = 16, rtManifest = 24 };

// Every resource of the executable, in the order of its resource directory; none when it has no
// resource section. Throws BuildError, naming what, for a damaged directory.
std::vector<Resource> readResources(const std::vector<unsigned char>& exe, const std::string& what);

// The executable with these resources in place of its own. Its resource section must be its last
// section, or be followed by the base relocations only (as the GNU linker lays them out), and
// nothing may follow the sections. Throws BuildError, naming what, otherwise.
std::vector<unsigned char> withResources(const std::vector<unsigned char>& exe,
                                         std::vector<Resource> resources, const std::string& what);

// The PE checksum of a whole file, the checksum field itself left out.
uint32_t peChecksum(const std::vector<unsigned char>& file);

// The first resource of this type and name, or null.
const Resource* findResource(const std::vector<Resource>& resources, const ResourceKey& type,
                             const ResourceKey& name);

}  // namespace qzpack
