// Fuzz target: any bytes as an executable whose resources qzpack reads and writes back, and as an
// icon file. Only BuildError may come out; resources written back must read back as they were.
#include <stdlib.h>

#include <vector>

#include "build_error.h"
#include "icon_file.h"
#include "pe_resources.h"

namespace {

bool same(const qzpack::Resource& a, const qzpack::Resource& b) {
  return a.type == b.type && a.name == b.name && a.language == b.language && a.data == b.data;
}

void roundTrip(const std::vector<unsigned char>& exe) {
  std::vector<qzpack::Resource> resources = qzpack::readResources(exe, "fuzz");
  std::vector<unsigned char> written = qzpack::withResources(exe, resources, "fuzz");
  std::vector<qzpack::Resource> again = qzpack::readResources(written, "written");
  // The writer may sort the directory: the same resources, in any order.
  if (again.size() != resources.size()) abort();
  for (const qzpack::Resource& r : again) {
    bool found = false;
    for (const qzpack::Resource& original : resources) found = found || same(r, original);
    if (!found) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  try {
    roundTrip(bytes);
  } catch (const qzpack::BuildError&) {
  }
  try {
    std::vector<qzpack::Resource> resources;
    qzpack::setIcon(resources, {1, {}}, qzpack::iconImages(bytes, "fuzz"));
    qzpack::iconSizes(resources, {1, {}}, "fuzz");
  } catch (const qzpack::BuildError&) {
  }
  return 0;
}
