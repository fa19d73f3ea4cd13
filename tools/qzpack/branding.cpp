#include "branding.h"

#include "build_error.h"
#include "start/code_page.h"
#include "pe_resources.h"
#include "version_info.h"

namespace qzpack {
namespace {

const ResourceKey iconName{0, u"A"};
const ResourceKey manifestId{1, {}}, versionId{1, {}};

void replace(std::vector<Resource>& resources, const ResourceKey& type, const ResourceKey& name,
             std::vector<unsigned char> data) {
  uint16_t language = 0;
  for (auto it = resources.begin(); it != resources.end();) {
    if (it->type == type && it->name == name) {
      language = it->language;
      it = resources.erase(it);
    } else {
      ++it;
    }
  }
  resources.push_back({type, name, language, std::move(data)});
}

}  // namespace

bool changesExecutables(const Branding& b) {
  return b.level != ExecutionLevel::admin || !b.icon.empty() || !b.version.empty() ||
         !b.activeCodePage.empty();
}

std::vector<unsigned char> brandExecutable(const std::vector<unsigned char>& exe,
                                           const Branding& b, const std::string& product,
                                           const std::string& description,
                                           const std::string& fileName, const std::string& what) {
  std::vector<Resource> resources = readResources(exe, what);
  AppManifest manifest;
  manifest.level = b.level;
  manifest.activeCodePage = b.activeCodePage;
  std::string xml = manifestXml(manifest);
  replace(resources, {rtManifest, {}}, manifestId, {xml.begin(), xml.end()});
  if (!b.icon.empty()) setIcon(resources, iconName, b.icon);
  if (!b.version.empty()) {
    VersionInfo info;
    info.numbers = b.versionNumbers;
    info.strings = {{"CompanyName", b.publisher},     {"FileDescription", description},
                    {"FileVersion", b.version},       {"LegalCopyright", b.copyright},
                    {"OriginalFilename", fileName},   {"ProductName", product},
                    {"ProductVersion", b.version}};
    replace(resources, {rtVersion, {}}, versionId, versionResource(info));
  }
  return withResources(exe, std::move(resources), what);
}

bool asksForUtf8(const std::vector<unsigned char>& exe, const std::string& what) {
  std::vector<Resource> resources = readResources(exe, what);
  const Resource* manifest = findResource(resources, {rtManifest, {}}, manifestId);
  return manifest && manifestAsksForUtf8(reinterpret_cast<const char*>(manifest->data.data()),
                                         manifest->data.size());
}

void reportBranding(const std::vector<unsigned char>& exe, const std::string& what,
                    std::ostream& out) {
  std::vector<Resource> resources = readResources(exe, what);
  const Resource* manifest = findResource(resources, {rtManifest, {}}, manifestId);
  if (!manifest) {
    out << "  execution level: none (no manifest)\n";
  } else {
    auto level = manifestLevel(std::string(manifest->data.begin(), manifest->data.end()));
    if (!level) throw BuildError(what + ": its manifest has no execution level qzpack writes");
    out << "  execution level: " << levelName(*level) << "\n";
    if (manifestAsksForUtf8(reinterpret_cast<const char*>(manifest->data.data()),
                            manifest->data.size()))
      out << "  active code page: UTF-8\n";
  }
  std::vector<std::string> sizes = iconSizes(resources, iconName, what);
  out << "  icon A:";
  if (sizes.empty()) out << " none";
  for (const std::string& size : sizes) out << " " << size;
  out << "\n";
  const Resource* version = findResource(resources, {rtVersion, {}}, versionId);
  if (!version) {
    out << "  version information: none\n";
    return;
  }
  for (const auto& [name, value] : readVersionResource(version->data, what))
    out << "  " << name << ": " << value << "\n";
}

}  // namespace qzpack
