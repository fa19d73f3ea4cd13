// Text in the Windows-1252 ANSI code page, which setup reads, and UTF-8, which manifests and the
// host's file names use.
#pragma once
#include <string>

namespace qzpack {

// Converts UTF-8 text to Windows-1252; throws std::invalid_argument for a character the code
// page lacks or for text that is not UTF-8.
std::string toAnsi(const std::string& utf8);

// Converts Windows-1252 text to UTF-8. The five bytes the code page leaves undefined keep their
// Latin-1 meaning (U+0081 and so on), so every byte string has a form.
std::string fromAnsi(const std::string& ansi);

// UTF-8 to code points; throws std::invalid_argument for text that is not UTF-8.
std::u32string fromUtf8(const std::string& utf8);

// UTF-8 to UTF-16 (Windows' resources) and back; toUtf16 throws as fromUtf8 does.
std::u16string toUtf16(const std::string& utf8);
std::string fromUtf16(const std::u16string& text);

}  // namespace qzpack
