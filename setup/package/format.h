// The package format, defined once for both sides: the stub's readers (header.cpp, archive.cpp)
// and qzpack, which writes packages and reads them back. Constants only, and no system header:
// it costs setup.exe nothing and builds on any host.
//
// A package (the carrier file) from its first byte to its last. Numbers are 32-bit
// little-endian, offsets are from the start of the file unless said otherwise, strings are 8-bit
// (the ANSI code page) and end in a NUL.
//
//   0              the stub: setup.exe as built, a PE executable
//   96..99           headerOffset, written into the stub's DOS program; the stub's PE header
//                    starts at byte 100 or later
//   headerOffset   the setup header
//                    +0   archiveOffset
//                    +4   setupFlags
//                    +8   custom field count; per field: caption, variableName, fieldFlags (1)
//                         title, defaultDestination, shortcutFolder, preInstallText, lastWords
//                         component count; per component: name, componentFlags (1),
//                           file count, the file names (archive entry names),
//                           shortcut count; per shortcut: target, arguments,
//                             workingDirectory, linkName
//   archiveOffset  the archive, right behind the header as qzpack writes it
//                    +0   dataStart: from the archive's first byte to its data area
//                    +4   archiveFlags
//                    +8   directory; per entry: name, offset (from the data area), size (as
//                         installed); an empty name (a lone NUL) ends it
//                    +dataStart  data area: every entry's stored bytes, plain or one bzip2
//                         stream each, back to back in directory order; a stored length is
//                         not recorded
//   (signature)    when the finished package is signed: the Authenticode certificate table,
//                  which the PE header points at and the readers never look at
//
// Counts are signed: zero or less means no items. There is no magic number, version or
// checksum: bytes 96-99 are the only way in.
#pragma once
#include <stdint.h>

enum {
  headerOffsetPosition = 96,  // where headerOffset lies in the stub
  headerOffsetEnd = 100,      // the byte after it: the stub's own PE header may start here
  // The stub seeks with a 32-bit long on Windows: no offset, and no package, goes past this.
  maxPackageSize = 0x7FFFFFFF,
};

enum : uint32_t { setupFlagBackground = 2 };  // show the full-screen background window
enum : uint8_t {
  fieldRequired = 1,      // fieldFlags: the wizard does not go on while the field is empty
  componentSelected = 1,  // componentFlags: selected until the user says otherwise
  componentRequired = 2,  // componentFlags: cannot be left out of a normal or custom install
};
enum : uint32_t { archiveCompressed = 1 };  // archiveFlags: bzip2 streams, else plain bytes

// Fixed sizes: what a record takes when all its strings are empty.
enum {
  smallestHeaderSize = 21,     // three numbers, five texts, the component count
  smallestFieldSize = 3,       // two strings and fieldFlags
  smallestComponentSize = 10,  // a name, componentFlags, two counts
  smallestFileNameSize = 1,    // a string
  smallestShortcutSize = 4,    // four strings
  smallestArchiveSize = 9,     // dataStart, archiveFlags and the directory's end
  entryRecordSize = 9,         // a directory entry less its name's characters: NUL, offset, size
};

// What the stub takes: a package beyond these is refused or cut short at setup.
enum {
  maxHeaderStringLength = 16383,  // characters of a header string (the stub's text buffer)
  maxCustomFields = 64,           // the wizard has that many field pages
  maxVariableNameLength = 255,    // the macro expansion cuts a variable's name there
  maxEntryNameLength = 260,
  // bzip2 block sizes, in units of 100 000 bytes; the stub decodes streams of any of them.
  smallestBlockSize = 1,
  largestBlockSize = 9,
};
