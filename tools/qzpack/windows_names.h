// Which entry names Windows can hold as a path below the destination folder, and when two names
// are one file there.
#pragma once
#include <string>

#include "code_page.h"

namespace qzpack {

// What setup's path buffers and the archive reader take, in bytes: in UTF-8 a Cyrillic or Greek
// letter takes two of them and a CJK one three.
constexpr size_t maxNameBytes = 260;

// Empty when name (in the package's encoding, folders separated by backslashes) can be a
// relative file path on Windows; otherwise why it cannot, in UTF-8.
std::string windowsNameFault(const std::string& name, Encoding encoding);

// The name as two names that Windows takes for one file have it alike: letters upper-cased as
// NTFS compares file names, and in UTF-8 composed (NFC) first, so that a decomposed "é" and a
// composed one are alike too.
std::string foldCase(const std::string& name, Encoding encoding);

// The bytes a destination text (with %MACRO%s, in either encoding) usually takes once expanded:
// each macro counted as its value on an English Windows, a user's folder with a 20-letter user
// name.
size_t usualExpandedBytes(const std::string& destination);

// UTF-8 text in its composed form (NFC), in which Windows users type names; throws
// std::invalid_argument for text that is not UTF-8.
std::string composed(const std::string& utf8);

}  // namespace qzpack
