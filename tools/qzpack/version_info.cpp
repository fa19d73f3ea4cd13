#include "version_info.h"

#include "byte_order.h"
#include "code_page.h"
#include "build_error.h"

namespace qzpack {
namespace {

const char translation[] = "040904B0";  // US English, UTF-16
constexpr uint32_t fixedSignature = 0xFEEF04BD;

void pad(std::vector<unsigned char>& b) {
  while (b.size() % 4) b.push_back(0);
}
void putText(std::vector<unsigned char>& b, const std::u16string& text) {
  for (char16_t c : text) appendU16(b, c);
  appendU16(b, 0);
}

// One block: length, value length, type, key, padding, value, padding, children; the length is
// filled in at the end. valueLength counts bytes for binary values and characters for text.
struct Block {
  std::vector<unsigned char>& out;
  size_t start;
  Block(std::vector<unsigned char>& b, const char* key, unsigned valueLength, bool text)
      : out(b), start(b.size()) {
    appendU16(out, 0);
    appendU16(out, valueLength);
    appendU16(out, text ? 1 : 0);
    putText(out, toUtf16(key));
    pad(out);
  }
  ~Block() {
    size_t length = out.size() - start;
    out[start] = static_cast<unsigned char>(length);
    out[start + 1] = static_cast<unsigned char>(length >> 8);
    pad(out);
  }
};


// Reads blocks back: one block's key, value and children, bounds checked.
struct Reader {
  const std::vector<unsigned char>& b;
  std::string what;

  BuildError bad() const { return BuildError(what + ": version information is malformed"); }

  struct Node {
    size_t end, value;
    unsigned valueLength, type;
    std::u16string key;
  };

  Node node(size_t at, size_t limit) const {
    if (at + 6 > limit) throw bad();
    Node n{at + getU16(b, at), 0, getU16(b, at + 2), getU16(b, at + 4), {}};
    if (n.end > limit || n.end < at + 6) throw bad();
    size_t p = at + 6;
    for (; p + 2 <= n.end && getU16(b, p); p += 2) n.key += static_cast<char16_t>(getU16(b, p));
    if (p + 2 > n.end) throw bad();
    n.value = (p + 2 + 3) / 4 * 4;
    return n;
  }
};

}  // namespace


bool parseVersion(const std::string& text, std::array<uint16_t, 4>* numbers) {
  *numbers = {};
  size_t part = 0, at = 0;
  while (true) {
    size_t end = text.find('.', at);
    std::string number = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (part == 4 || number.empty() || number.size() > 5 ||
        number.find_first_not_of("0123456789") != std::string::npos || std::stoul(number) > 65535)
      return false;
    (*numbers)[part++] = static_cast<uint16_t>(std::stoul(number));
    if (end == std::string::npos) return true;
    at = end + 1;
  }
}

std::vector<unsigned char> versionResource(const VersionInfo& info) {
  std::vector<unsigned char> out;
  {
    Block root(out, "VS_VERSION_INFO", 52, false);
    const auto& n = info.numbers;
    uint32_t high = uint32_t{n[0]} << 16 | n[1], low = uint32_t{n[2]} << 16 | n[3];
    for (uint32_t v : {fixedSignature, 0x10000u, high, low, high, low, 0x3Fu, 0u,
                       0x40004u /* VOS_NT_WINDOWS32 */, 1u /* VFT_APP */, 0u, 0u, 0u})
      appendU32(out, v);
    {
      Block fileInfo(out, "StringFileInfo", 0, true);
      Block table(out, translation, 0, true);
      for (const auto& [name, value] : info.strings) {
        if (value.empty()) continue;
        std::u16string text = toUtf16(value);
        Block entry(out, name.c_str(), static_cast<unsigned>(text.size() + 1), true);
        putText(out, text);
      }
    }
    Block varInfo(out, "VarFileInfo", 0, true);
    Block var(out, "Translation", 4, false);
    appendU32(out, 0x04B00409);
  }
  return out;
}

VersionStrings readVersionResource(const std::vector<unsigned char>& b, const std::string& what) {
  Reader r{b, what};
  Reader::Node root = r.node(0, b.size());
  if (root.key != u"VS_VERSION_INFO" || root.valueLength != 52 || root.value + 52 > root.end ||
      getU32(b, root.value) != fixedSignature)
    throw r.bad();
  uint32_t high = getU32(b, root.value + 8), low = getU32(b, root.value + 12);
  VersionStrings strings{{"FileVersion (fixed)", std::to_string(high >> 16) + "." +
                                                     std::to_string(high & 0xFFFF) + "." +
                                                     std::to_string(low >> 16) + "." +
                                                     std::to_string(low & 0xFFFF)}};
  for (size_t at = (root.value + 52 + 3) / 4 * 4; at < root.end;) {
    Reader::Node child = r.node(at, root.end);
    if (child.key == u"StringFileInfo") {
      for (size_t t = child.value; t < child.end;) {
        Reader::Node table = r.node(t, child.end);
        for (size_t s = table.value; s < table.end;) {
          Reader::Node entry = r.node(s, table.end);
          std::u16string value;
          for (size_t p = entry.value; p + 2 <= entry.end && getU16(b, p); p += 2)
            value += static_cast<char16_t>(getU16(b, p));
          strings.push_back({fromUtf16(entry.key), fromUtf16(value)});
          s = (entry.end + 3) / 4 * 4;
        }
        t = (table.end + 3) / 4 * 4;
      }
    }
    at = (child.end + 3) / 4 * 4;
  }
  return strings;
}

}  // namespace qzpack
