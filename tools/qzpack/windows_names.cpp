#include "windows_names.h"

#include <utf8proc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "package/name_rule.h"

namespace qzpack {
namespace {

std::string quoted(const std::string& name, Encoding encoding) {
  return "\"" + fromPackage(name, encoding) + "\"";
}

// Windows-1252: the code page's letters, upper-cased as Windows' table for it does.
std::string foldAnsi(const std::string& name) {
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

// UTF-8: NTFS compares names by its volume's upcase table, one UTF-16 unit to one, so only the
// basic plane has case there: its simple upper-case mappings (no "ß" to "SS"), and nothing for
// letters past U+FFFF.
std::string foldUtf8(const std::string& name) {
  std::string folded;
  for (char32_t code : fromUtf8(composed(name))) {
    utf8proc_int32_t upper = code < 0x10000 ? utf8proc_toupper(static_cast<int32_t>(code)) : code;
    putUtf8(folded, upper < 0x10000 ? static_cast<char32_t>(upper) : code);
  }
  return folded;
}

std::string partFault(const std::string& part, bool first, Encoding encoding) {
  if (part.empty())
    return first ? "it starts with a backslash, which makes it absolute"
                 : "it has an empty folder name (two backslashes in a row, or one at the end)";
  if (part == "." || part == "..") return "it has a folder named " + quoted(part, encoding);
  if (part.back() == '.' || part.back() == ' ')
    return quoted(part, encoding) + " ends with a dot or a space, which Windows drops";
  if (isDeviceName(part.data(), part.size())) return quoted(part, encoding) + " is a device name on Windows";
  return {};
}

}  // namespace

std::string windowsNameFault(const std::string& name, Encoding encoding) {
  if (name.empty()) return "the name is empty";
  if (name.size() > maxNameBytes) return "it is longer than 260 bytes";
  if (encoding == Encoding::utf8) {
    try {
      fromUtf8(name);
    } catch (const std::invalid_argument& e) {
      return e.what();
    }
  }
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
    std::string fault = partFault(name.substr(start, end - start), start == 0, encoding);
    if (!fault.empty()) return fault;
    if (end == std::string::npos) return {};
    start = end + 1;
  }
}

std::string foldCase(const std::string& name, Encoding encoding) {
  return encoding == Encoding::utf8 ? foldUtf8(name) : foldAnsi(name);
}

size_t usualExpandedBytes(const std::string& destination) {
  static const struct {
    const char* name;
    size_t bytes;
  } usual[] = {
      {"PROGRAMFILES", sizeof "C:\\Program Files (x86)" - 1},
      {"PROGRAMFILESCOMMON", sizeof "C:\\Program Files (x86)\\Common Files" - 1},
      {"SYSTEMDIR", sizeof "C:\\Windows\\SysWOW64" - 1},
      {"WINDOWSDIR", sizeof "C:\\Windows" - 1},
  };
  const size_t userFolder = sizeof "C:\\Users\\abcdefghijklmnopqrst\\AppData\\Roaming" - 1;
  size_t bytes = 0;
  for (size_t at = 0; at < destination.size();) {
    size_t open = destination.find('%', at), close = destination.find('%', open + 1);
    if (open == std::string::npos || close == std::string::npos) {
      bytes += destination.size() - at;
      break;
    }
    std::string name = foldAnsi(destination.substr(open + 1, close - open - 1));
    size_t value = userFolder;
    for (const auto& u : usual)
      if (name == u.name) value = u.bytes;
    bytes += open - at + value;
    at = close + 1;
  }
  return bytes;
}

std::string composed(const std::string& utf8) {
  fromUtf8(utf8);  // utf8proc would take overlong forms and surrogates
  utf8proc_uint8_t* result = nullptr;
  utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(utf8.data()),
                   static_cast<utf8proc_ssize_t>(utf8.size()), &result,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (length < 0) throw std::invalid_argument(utf8proc_errmsg(length));
  std::string text(reinterpret_cast<const char*>(result), static_cast<size_t>(length));
  std::free(result);
  return text;
}

}  // namespace qzpack
