#include "icon_file.h"

#include <cstring>
#include <set>

#include "byte_order.h"
#include "build_error.h"

namespace qzpack {
namespace {

constexpr size_t fileEntrySize = 16, groupEntrySize = 14, maxImages = 64;

uint32_t big32(const std::vector<unsigned char>& b, size_t at) {
  return uint32_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// The real size of one image, from its own header; the reason when it has none that fits.
std::string imageSize(const std::vector<unsigned char>& d, unsigned* width, unsigned* height) {
  static const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (d.size() >= 24 && std::memcmp(d.data(), png, sizeof png) == 0) {
    *width = big32(d, 16);
    *height = big32(d, 20);
    return {};
  }
  if (d.size() < 40 || getU32(d, 0) < 40) return "is neither a PNG nor a bitmap with its header";
  int32_t w = static_cast<int32_t>(getU32(d, 4)), h = static_cast<int32_t>(getU32(d, 8));
  // A bitmap's height counts the image and its mask.
  if (w <= 0 || h <= 0 || h % 2) return "has a bitmap header with an impossible size";
  *width = static_cast<unsigned>(w);
  *height = static_cast<unsigned>(h / 2);
  return {};
}

std::string sizeText(unsigned width, unsigned height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

std::vector<IconImage> iconImages(const std::vector<unsigned char>& f, const std::string& what) {
  auto bad = [&](const std::string& why) { return BuildError(what + ": " + why); };
  if (f.size() < 6 || getU16(f, 0) != 0 || getU16(f, 2) != 1) throw bad("not an icon file (.ico)");
  size_t count = getU16(f, 4);
  if (count == 0) throw bad("the icon holds no image");
  if (count > maxImages) throw bad("more than 64 images");
  if (6 + count * fileEntrySize > f.size()) throw bad("its directory is cut short");
  std::vector<IconImage> images;
  bool has32 = false;
  for (size_t i = 0; i < count; ++i) {
    size_t e = 6 + i * fileEntrySize;
    IconImage image;
    image.width = f[e] ? f[e] : 256;
    image.height = f[e + 1] ? f[e + 1] : 256;
    image.colours = f[e + 2];
    image.planes = getU16(f, e + 4);
    image.bitCount = getU16(f, e + 6);
    uint32_t size = getU32(f, e + 8), offset = getU32(f, e + 12);
    std::string which = "image " + std::to_string(i + 1) + " (" +
                        sizeText(image.width, image.height) + ")";
    if (!size || offset > f.size() || size > f.size() - offset)
      throw bad(which + " lies outside the file");
    image.data.assign(f.begin() + offset, f.begin() + offset + size);
    unsigned width = 0, height = 0;
    std::string fault = imageSize(image.data, &width, &height);
    if (!fault.empty()) throw bad(which + " " + fault);
    if (width != image.width || height != image.height)
      throw bad(which + " is " + sizeText(width, height) + " inside");
    has32 = has32 || (width == 32 && height == 32);
    images.push_back(std::move(image));
  }
  if (!has32) throw bad("it has no 32x32 image, which setup's windows show");
  return images;
}

void setIcon(std::vector<Resource>& resources, const ResourceKey& name,
             const std::vector<IconImage>& images) {
  std::set<unsigned> dropped, used;
  if (const Resource* group = findResource(resources, {rtGroupIcon, {}}, name)) {
    const std::vector<unsigned char>& g = group->data;
    for (size_t e = 6; e + groupEntrySize <= g.size(); e += groupEntrySize)
      dropped.insert(getU16(g, e + 12));
  }
  std::vector<Resource> kept;
  for (Resource& r : resources) {
    bool icon = r.type == ResourceKey{rtIcon, {}};
    if ((icon && dropped.count(r.name.id)) || (r.type == ResourceKey{rtGroupIcon, {}} && r.name == name))
      continue;
    if (icon) used.insert(r.name.id);
    kept.push_back(std::move(r));
  }
  resources = std::move(kept);
  std::vector<unsigned char> group;
  appendU16(group, 0);
  appendU16(group, 1);
  appendU16(group, static_cast<unsigned>(images.size()));
  unsigned id = 1;
  for (const IconImage& image : images) {
    while (used.count(id)) ++id;
    used.insert(id);
    resources.push_back({{rtIcon, {}}, {static_cast<uint16_t>(id), {}}, 0, image.data});
    group.push_back(static_cast<unsigned char>(image.width & 0xFF));  // 256 is written as 0
    group.push_back(static_cast<unsigned char>(image.height & 0xFF));
    group.push_back(static_cast<unsigned char>(image.colours));
    group.push_back(0);
    appendU16(group, image.planes);
    appendU16(group, image.bitCount);
    appendU32(group, static_cast<uint32_t>(image.data.size()));
    appendU16(group, id);
  }
  resources.push_back({{rtGroupIcon, {}}, name, 0, group});
}

std::vector<std::string> iconSizes(const std::vector<Resource>& resources, const ResourceKey& name,
                                   const std::string& what) {
  const Resource* group = findResource(resources, {rtGroupIcon, {}}, name);
  if (!group) return {};
  const std::vector<unsigned char>& g = group->data;
  auto bad = [&](const std::string& why) { return BuildError(what + ": icon: " + why); };
  if (g.size() < 6 || getU16(g, 0) != 0 || getU16(g, 2) != 1 || !getU16(g, 4) ||
      g.size() != 6 + getU16(g, 4) * groupEntrySize)
    throw bad("its group directory is malformed");
  std::vector<std::string> sizes;
  for (size_t e = 6; e < g.size(); e += groupEntrySize) {
    unsigned width = g[e] ? g[e] : 256, height = g[e + 1] ? g[e + 1] : 256;
    const Resource* image = findResource(resources, {rtIcon, {}}, {static_cast<uint16_t>(getU16(g, e + 12)), {}});
    if (!image) throw bad("image " + std::to_string(getU16(g, e + 12)) + " is missing");
    unsigned w = 0, h = 0;
    std::string fault = imageSize(image->data, &w, &h);
    if (!fault.empty() || w != width || h != height || image->data.size() != getU32(g, e + 8))
      throw bad("image " + std::to_string(getU16(g, e + 12)) + " does not match its group entry");
    sizes.push_back(sizeText(width, height));
  }
  return sizes;
}

}  // namespace qzpack
