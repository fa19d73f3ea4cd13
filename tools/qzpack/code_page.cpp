#include "code_page.h"

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <stdexcept>

namespace qzpack {
namespace {

// Windows-1252 bytes 0x80-0x9F; the other bytes equal their code points. Zero marks the five
// bytes the code page leaves undefined.
constexpr char16_t specials[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                   0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The code point at text[*at], moving *at past it; -1 (and *at past one byte) where the bytes
// there are not a UTF-8 character.
int32_t nextCode(const std::string& text, size_t* at) {
  size_t i = *at;
  unsigned char c = static_cast<unsigned char>(text[i]);
  int extra = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2
              : c >= 0xF0 && c < 0xF5             ? 3
                                                  : -1;
  *at = i + 1;
  if (extra < 0 || i + extra >= text.size() + (extra == 0)) return -1;
  int32_t code = extra == 0 ? c : c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return -1;
    code = code << 6 | (next & 0x3F);
  }
  constexpr int32_t least[4] = {0, 0x80, 0x800, 0x10000};
  if (code < least[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return -1;
  *at = i + extra + 1;
  return code;
}

}  // namespace

const char* encodingName(Encoding encoding) {
  return encoding == Encoding::utf8 ? "utf-8" : "windows-1252";
}

void putUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::u32string fromUtf8(const std::string& utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    size_t start = i;
    int32_t code = nextCode(utf8, &i);
    if (code < 0)
      throw std::invalid_argument("text is not valid UTF-8 (at byte " + std::to_string(start) +
                                  ")");
    out += static_cast<char32_t>(code);
  }
  return out;
}

std::string toAnsi(const std::string& utf8) {
  std::string out;
  for (char32_t code : fromUtf8(utf8)) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
      out += static_cast<char>(code);
    } else if (const char16_t* at = std::find(specials, specials + 32, code); at != specials + 32) {
      out += static_cast<char>(0x80 + (at - specials));
    } else {
      std::ostringstream s;
      s << "character U+" << std::hex << std::uppercase << static_cast<uint32_t>(code)
        << " is not in the Windows-1252 code page (encoding = \"utf-8\" takes it)";
      throw std::invalid_argument(s.str());
    }
  }
  return out;
}

std::u16string toUtf16(const std::string& utf8) {
  std::u16string out;
  for (char32_t code : fromUtf8(utf8)) {
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string fromUtf16(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    putUtf8(out, code);
  }
  return out;
}

std::string fromAnsi(const std::string& ansi) {
  std::string out;
  for (char ch : ansi) {
    unsigned char c = static_cast<unsigned char>(ch);
    char16_t special = c >= 0x80 && c < 0xA0 ? specials[c - 0x80] : 0;
    putUtf8(out, special ? special : c);
  }
  return out;
}

std::string toPackage(const std::string& utf8, Encoding encoding) {
  if (encoding == Encoding::windows1252) return toAnsi(utf8);
  fromUtf8(utf8);  // only checks
  return utf8;
}

std::string fromPackage(const std::string& text, Encoding encoding) {
  if (encoding == Encoding::windows1252) return fromAnsi(text);
  std::string out;
  for (size_t i = 0; i < text.size();) {
    int32_t code = nextCode(text, &i);
    putUtf8(out, code < 0 ? 0xFFFD : static_cast<char32_t>(code));
  }
  return out;
}

}  // namespace qzpack
