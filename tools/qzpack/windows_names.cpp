#include "windows_names.h"

#include <cstdio>
#include <cstring>

#include "code_page.h"

namespace qzpack {
namespace {

constexpr size_t maxName = 260;  // what setup's path buffers and the archive reader take

std::string quotedUtf8(const std::string& ansi) {
  return "\"" + fromAnsi(ansi) + "\"";
}

// Names that open a device instead of a file, whatever extension follows them.
bool isDeviceName(const std::string& part) {
  std::string base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();  // "aux .txt" is AUX too
  base = foldCase(base);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (base == device) return true;
  // COM1-COM9 and LPT1-LPT9, also with the superscript digits 1, 2 and 3.
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         ((base[3] >= '1' && base[3] <= '9') || std::strchr("\xB9\xB2\xB3", base[3]));
}

std::string partFault(const std::string& part, bool first) {
  if (part.empty())
    return first ? "it starts with a backslash, which makes it absolute"
                 : "it has an empty folder name (two backslashes in a row, or one at the end)";
  if (part == "." || part == "..") return "it has a folder named " + quotedUtf8(part);
  if (part.back() == '.' || part.back() == ' ')
    return quotedUtf8(part) + " ends with a dot or a space, which Windows drops";
  if (isDeviceName(part)) return quotedUtf8(part) + " is a device name on Windows";
  return {};
}

}  // namespace

std::string windowsNameFault(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > maxName) return "it is longer than 260 characters";
  for (unsigned char c : name) {
    char text[48];
    if (c < 0x20 || c == 0x7F) {
      std::snprintf(text, sizeof text, "it holds the control byte 0x%02X", c);
      return text;
    }
    if (std::strchr("<>:\"|?*/", c)) {
      std::snprintf(text, sizeof text, "it holds '%c', which Windows refuses in names", c);
      return text;
    }
  }
  size_t start = 0;
  for (;;) {
    size_t end = name.find('\\', start);
    std::string fault = partFault(name.substr(start, end - start), start == 0);
    if (!fault.empty()) return fault;
    if (end == std::string::npos) return {};
    start = end + 1;
  }
}

std::string foldCase(const std::string& name) {
  std::string folded = name;
  for (char& ch : folded) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
      c = static_cast<unsigned char>(c - 0x20);
    else if (c == 0x9A || c == 0x9C || c == 0x9E)  // š œ ž
      c = static_cast<unsigned char>(c - 0x10);
    else if (c == 0xFF)  // ÿ
      c = 0x9F;
    ch = static_cast<char>(c);
  }
  return folded;
}

}  // namespace qzpack
