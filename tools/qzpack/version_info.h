// The version-information resource (RT_VERSION) that Explorer's file properties, SmartScreen and
// virus scanners read: fixed version numbers, then named strings in US English, UTF-16.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qzpack {

using VersionStrings = std::vector<std::pair<std::string, std::string>>;  // name, UTF-8 value

struct VersionInfo {
  std::array<uint16_t, 4> numbers{};  // 1.2.3 is {1, 2, 3, 0}
  VersionStrings strings;             // in this order; empty values are left out
};

// "1" to "1.2.3.4", each number 0 to 65535; false for anything else.
bool parseVersion(const std::string& text, std::array<uint16_t, 4>* numbers);

// The resource's bytes.
std::vector<unsigned char> versionResource(const VersionInfo& info);

// The strings of a version resource, with "FileVersion (fixed)" first: the fixed numbers. Throws
// BuildError naming what when the resource is malformed.
VersionStrings readVersionResource(const std::vector<unsigned char>& data, const std::string& what);

}  // namespace qzpack
