// The few facts qzpack needs from a Windows executable's headers: where its PE header starts and
// where its Authenticode certificate table (its signature) lies.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

namespace qzpack {

struct PeLayout {
  bool dosHeader = false;  // "MZ" and room for the PE header's offset at 0x3C
  uint32_t peOffset = 0;   // as the DOS header gives it
  bool peHeader = false;   // "PE\0\0" at peOffset
  uint32_t signatureOffset = 0, signatureSize = 0;  // both 0 when unsigned
};

// From the first bytes of a file; a signature is seen only when they hold the data directories.
PeLayout peLayout(const std::vector<unsigned char>& head);

// Reads as much of the open file, from its start, as peLayout needs; a file that cannot be read
// has no layout.
PeLayout readPeLayout(std::FILE* file);

}  // namespace qzpack
