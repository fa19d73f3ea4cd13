#include "name_rule.h"

#include <string.h>

namespace {

bool isNameSeparator(char c) {
  return c == '\\' || c == '/';
}

char upperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

// Whether the length characters at text are word, in any letter case of ASCII.
bool isWord(const char* text, size_t length, const char* word) {
  if (strlen(word) != length) return false;
  for (size_t i = 0; i < length; ++i)
    if (upperAscii(text[i]) != word[i]) return false;
  return true;
}

}  // namespace

bool isDeviceName(const char* name, size_t length) {
  size_t base = 0;
  while (base < length && name[base] != '.') ++base;
  while (base > 0 && name[base - 1] == ' ') --base;  // "aux .txt" is AUX too
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : devices)
    if (isWord(name, base, device)) return true;
  if (base < 4 || !(isWord(name, 3, "COM") || isWord(name, 3, "LPT"))) return false;
  // A digit, or a superscript 1, 2 or 3 in Windows-1252 or in UTF-8 (0xC2 before the same byte).
  const char* digit = name + 3;
  if (base == 5 && digit[0] == '\xC2') ++digit, --base;
  return base == 4 && ((*digit >= '1' && *digit <= '9') || strchr("\xB9\xB2\xB3", *digit));
}

bool nameStaysInside(const char* name) {
  if (isNameSeparator(name[0])) return false;
  int depth = 0;
  size_t last = 0;  // the length of the last name
  for (const char* part = name; *part;) {
    size_t length = 0;
    while (part[length] && !isNameSeparator(part[length])) {
      unsigned char c = static_cast<unsigned char>(part[length]);
      if (c < 32 || strchr(":*?\"<>|", c)) return false;
      ++length;
    }
    bool dot = length == 1 && part[0] == '.', dots = length == 2 && part[0] == '.' && part[1] == '.';
    if (dots && --depth < 0) return false;
    if (length && !dot && !dots) {
      if (part[length - 1] == '.' || part[length - 1] == ' ' || isDeviceName(part, length))
        return false;
      ++depth;
    }
    last = dot || dots ? 0 : length;
    part += length;
    if (*part) ++part;
    if (!*part && isNameSeparator(part[-1])) last = 0;  // a trailing separator names a folder
  }
  return last > 0;
}
