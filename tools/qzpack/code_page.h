// The two encodings a package's strings may have: the Windows-1252 ANSI code page, and UTF-8
// (for setup running with the UTF-8 process code page). Manifests and the host's file names are
// UTF-8.
#pragma once
#include <string>

namespace qzpack {

enum class Encoding { windows1252, utf8 };

// The manifest's name of an encoding: "windows-1252" or "utf-8".
const char* encodingName(Encoding encoding);

// Converts UTF-8 text to Windows-1252; throws std::invalid_argument for a character the code
// page lacks or for text that is not UTF-8.
std::string toAnsi(const std::string& utf8);

// Converts Windows-1252 text to UTF-8. The five bytes the code page leaves undefined keep their
// Latin-1 meaning (U+0081 and so on), so every byte string has a form.
std::string fromAnsi(const std::string& ansi);

// UTF-8 to code points; throws std::invalid_argument, naming the byte offset, for text that is
// not UTF-8 as Windows' conversion takes it: overlong forms, surrogates and code points past
// U+10FFFF are refused, since Windows would turn them into U+FFFD.
std::u32string fromUtf8(const std::string& utf8);

// Appends a code point to UTF-8 text.
void putUtf8(std::string& out, char32_t code);

// UTF-8 text (manifest, host names) in a package's encoding; throws as toAnsi and fromUtf8 do.
std::string toPackage(const std::string& utf8, Encoding encoding);

// A package's text in UTF-8, for showing it: in a UTF-8 package, bytes that are not UTF-8 become
// U+FFFD.
std::string fromPackage(const std::string& text, Encoding encoding);

// UTF-8 to UTF-16 (Windows' resources) and back; toUtf16 throws as fromUtf8 does.
std::u16string toUtf16(const std::string& utf8);
std::string fromUtf16(const std::u16string& text);

}  // namespace qzpack
