// The setup header appended to the carrier file: its reader, the lists it builds and textBuffer.
#pragma once
#include <stdint.h>

#include "package/format.h"
#include "package/package_file.h"

enum {
  textBufferSize = maxHeaderStringLength + 1,
  maxPathLength = 260,
};

// Shared by the header string reader, the macro expansion and the wizard; a pointer into it is
// valid only until its next use.
extern char textBuffer[textBufferSize];

struct CustomField {
  char* caption;
  char* variableName;
  uint8_t fieldFlags;
  CustomField* next;
};

struct ComponentFile {
  char* name;
  ComponentFile* next;
};

struct ShortcutDefinition {
  char* target;
  char* arguments;
  char* workingDirectory;
  char* linkName;
  ShortcutDefinition* next;
};

struct Component {
  char* name;
  uint8_t componentFlags;
  int32_t shortcutCount;
  ComponentFile* files;           // reverse header order
  ShortcutDefinition* shortcuts;  // reverse header order
  Component* next;
};

// What the header passes read; lives until the program ends (or freeSetupHeader).
struct SetupHeader {
  uint32_t archiveOffset;
  uint32_t setupFlags;
  CustomField* firstField;  // header order
  CustomField* lastField;
  int32_t fieldCount;
  Component* firstComponent;  // header order
  Component* lastComponent;
  char* title;
  char* defaultDestination;
  char* shortcutFolder;
  char* preInstallText;
  char* lastWords;
};
extern SetupHeader header;

enum HeaderStatus {
  headerOk = 0,
  headerCannotOpen,      // the carrier file cannot be opened
  headerNotFound,        // bytes 96-99 lead nowhere: a bare stub, or not a package
  headerCutShort,        // the file ends inside the header
  headerStringTooLong,   // a string with its NUL does not fit textBuffer
  headerTooManyFields,   // more custom fields than the wizard has pages for
  headerCountTooLarge,   // a count larger than the bytes left could hold
  headerArchiveOutside,  // archiveOffset lies past the end of the file
  headerNameOutside,     // first pass: a file name with no macro would leave the destination
  headerNoMemory,
};

typedef void (*ComponentSink)(const char* name, int selected);

// First pass (firstPass true): archiveOffset, setupFlags and the custom fields; the rest of the
// header is walked to make sure it is whole and that every file name without a macro stays
// inside the destination, but nothing else is kept. Second pass: the five
// texts and the components, each component handed to sink once read (sink may be null).
HeaderStatus readSetupHeader(const char* carrierPath, bool firstPass, ComponentSink sink);
HeaderStatus readSetupHeaderFrom(PackageFile carrier, bool firstPass, ComponentSink sink);
const char* headerStatusText(HeaderStatus status);

// Reads the next NUL-terminated string into textBuffer; null when the file ends first or the
// string does not fit.
const char* readHeaderString(PackageCursor* cursor);
// A copy of text on the heap; null when there is no memory for it.
char* copyString(const char* text);

CustomField* addCustomField(const char* caption, const char* variableName, uint8_t fieldFlags);
Component* addComponent(const char* name);
ComponentFile* addComponentFile(Component* component, const char* name);
ShortcutDefinition* addShortcut(Component* component, const char* target);

// Releases every list and text and zeroes the header; setup itself never needs it, but tests,
// fuzz targets and tools read many headers in one process.
void freeSetupHeader();
