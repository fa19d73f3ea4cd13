// Windows icon files (.ico) and the icon resources made from them: each image of the file becomes
// an RT_ICON resource, and one RT_GROUP_ICON resource lists them under the icon's name.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "pe_resources.h"

namespace qzpack {

struct IconImage {
  unsigned width = 0, height = 0, colours = 0, planes = 0, bitCount = 0;
  std::vector<unsigned char> data;  // a BMP image without its file header, or a PNG
};

// The images of an .ico file's bytes. Throws BuildError naming what and the reason when the file
// is not a well-formed icon or holds no 32 x 32 image (which the wizard's windows show).
std::vector<IconImage> iconImages(const std::vector<unsigned char>& file, const std::string& what);

// Replaces the icon group of this name (and the images it lists) by these images; the images take
// the lowest RT_ICON numbers not in use.
void setIcon(std::vector<Resource>& resources, const ResourceKey& name,
             const std::vector<IconImage>& images);

// The sizes ("16x16", ...) of the images the icon group of this name lists, in its order; empty
// when there is no such group. Throws BuildError naming what when the group is malformed or
// lists an image that is missing.
std::vector<std::string> iconSizes(const std::vector<Resource>& resources, const ResourceKey& name,
                                   const std::string& what);

}  // namespace qzpack
