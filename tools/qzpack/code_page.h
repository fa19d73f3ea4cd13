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

}  // namespace qzpack
