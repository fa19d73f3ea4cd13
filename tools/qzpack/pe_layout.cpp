#include "pe_layout.h"

#include <cstdio>
#include <cstring>

#include "byte_order.h"
#include "host_files.h"

namespace qzpack {
namespace {

constexpr size_t coffHeaderSize = 24;       // "PE\0\0" and the file header
constexpr size_t optionalHeaderRoom = 240;  // PE32+ with its 16 data directories
constexpr uint32_t securityDirectory = 4;



}  // namespace

PeLayout peLayout(const std::vector<unsigned char>& b) {
  PeLayout pe;
  pe.dosHeader = b.size() >= 0x40 && b[0] == 'M' && b[1] == 'Z';
  if (!pe.dosHeader) return pe;
  pe.peOffset = getU32(b, 0x3C);
  size_t at = pe.peOffset;
  pe.peHeader = at <= b.size() - 4 && std::memcmp(&b[at], "PE\0\0", 4) == 0;
  if (!pe.peHeader || at + coffHeaderSize + 2 > b.size()) return pe;
  size_t optional = at + coffHeaderSize;
  uint16_t optionalSize = getU16(b, at + 20);
  uint16_t magic = getU16(b, optional);
  // PE32 and PE32+ differ in where the count of data directories and the directories sit.
  size_t countAt = magic == 0x20B ? 108 : 92;
  if (magic != 0x10B && magic != 0x20B) return pe;
  size_t entry = countAt + 4 + 8 * securityDirectory;
  if (optionalSize < entry + 8 || optional + entry + 8 > b.size()) return pe;
  if (getU32(b, optional + countAt) <= securityDirectory) return pe;
  pe.signatureOffset = getU32(b, optional + entry);
  pe.signatureSize = getU32(b, optional + entry + 4);
  if (!pe.signatureSize) pe.signatureOffset = 0;
  return pe;
}

PeLayout readPeLayout(std::FILE* file) {
  std::vector<unsigned char> head(0x40);
  if (!seekFile(file, 0)) return {};
  head.resize(std::fread(head.data(), 1, head.size(), file));
  PeLayout dos = peLayout(head);
  if (!dos.dosHeader || dos.peOffset > (1u << 24)) return dos;
  // The rest of the headers follow on from the DOS header just read.
  size_t have = head.size();
  head.resize(dos.peOffset + coffHeaderSize + optionalHeaderRoom);
  head.resize(have + std::fread(head.data() + have, 1, head.size() - have, file));
  return peLayout(head);
}

}  // namespace qzpack
