#include "header.h"

#include <stdlib.h>
#include <string.h>

#include "package/name_rule.h"

char textBuffer[textBufferSize];
SetupHeader header;

namespace {

struct Input {
  PackageCursor* cursor;
  int64_t size;
};

int64_t bytesLeft(const Input& in) {
  int64_t at = in.cursor->position;
  return at > in.size ? 0 : in.size - at;
}

HeaderStatus readString(const Input& in, const char** text) {
  int c;
  size_t length = 0;
  while ((c = nextByte(in.cursor)) >= 0) {
    if (length == textBufferSize) return headerStringTooLong;
    textBuffer[length++] = static_cast<char>(c);
    if (c == 0) {
      *text = textBuffer;
      return headerOk;
    }
  }
  return headerCutShort;
}

// Reads a count; negative counts mean no items. Each item takes at least minItemBytes, so a
// count that the bytes left cannot hold is refused before any item is read.
HeaderStatus readCount(const Input& in, int32_t minItemBytes, int32_t* count) {
  uint32_t raw;
  if (!readU32(in.cursor, &raw)) return headerCutShort;
  int32_t value = static_cast<int32_t>(raw);
  if (value < 0) value = 0;
  if (value > bytesLeft(in) / minItemBytes) return headerCountTooLarge;
  *count = value;
  return headerOk;
}

// Reads a string and keeps a heap copy of it in *kept (when kept is not null).
HeaderStatus readKept(const Input& in, char** kept) {
  const char* text;
  HeaderStatus status = readString(in, &text);
  if (status != headerOk || !kept) return status;
  free(*kept);
  *kept = copyString(text);
  return *kept ? headerOk : headerNoMemory;
}

#define TRY(expression)                            \
  do {                                             \
    HeaderStatus tryStatus_ = (expression);        \
    if (tryStatus_ != headerOk) return tryStatus_; \
  } while (0)

HeaderStatus readFields(const Input& in, bool keep) {
  int32_t count;
  TRY(readCount(in, smallestFieldSize, &count));
  if (count > maxCustomFields) return headerTooManyFields;
  for (int32_t i = 0; i < count; ++i) {
    char* caption = nullptr;
    TRY(readKept(in, &caption));
    const char* variableName;
    HeaderStatus status = readString(in, &variableName);
    int flags = status == headerOk ? nextByte(in.cursor) : 0;
    if (flags < 0) status = headerCutShort;
    if (status == headerOk && keep &&
        !addCustomField(caption, variableName, static_cast<uint8_t>(flags)))
      status = headerNoMemory;
    free(caption);
    if (status != headerOk) return status;
  }
  return headerOk;
}

HeaderStatus readShortcuts(const Input& in, Component* component) {
  int32_t count;
  TRY(readCount(in, smallestShortcutSize, &count));
  for (int32_t i = 0; i < count; ++i) {
    const char* target;
    TRY(readString(in, &target));
    ShortcutDefinition* shortcut = nullptr;
    if (component && !(shortcut = addShortcut(component, target))) return headerNoMemory;
    TRY(readKept(in, shortcut ? &shortcut->arguments : nullptr));
    TRY(readKept(in, shortcut ? &shortcut->workingDirectory : nullptr));
    TRY(readKept(in, shortcut ? &shortcut->linkName : nullptr));
  }
  return headerOk;
}

// Walks the component records; with keep set they are added to the component list and each is
// handed to sink once complete.
HeaderStatus readComponents(const Input& in, bool keep, ComponentSink sink) {
  int32_t count;
  TRY(readCount(in, smallestComponentSize, &count));
  for (int32_t i = 0; i < count; ++i) {
    const char* name;
    TRY(readString(in, &name));
    Component* component = nullptr;
    if (keep && !(component = addComponent(name))) return headerNoMemory;
    int flags = nextByte(in.cursor);
    if (flags < 0) return headerCutShort;
    if (component) component->componentFlags = static_cast<uint8_t>(flags);
    int32_t files;
    TRY(readCount(in, smallestFileNameSize, &files));
    for (int32_t f = 0; f < files; ++f) {
      const char* file;
      TRY(readString(in, &file));
      // A fixed name is judged once, before the wizard starts; the run judges every name again
      // as it expands it.
      if (!keep && !strchr(file, '%') && !nameStaysInside(file)) return headerNameOutside;
      if (component && !addComponentFile(component, file)) return headerNoMemory;
    }
    TRY(readShortcuts(in, component));
    if (component && sink) sink(component->name, component->componentFlags & componentSelected);
  }
  return headerOk;
}

HeaderStatus readTexts(const Input& in, bool keep) {
  char** texts[] = {&header.title, &header.defaultDestination, &header.shortcutFolder,
                    &header.preInstallText, &header.lastWords};
  for (char** text : texts) TRY(readKept(in, keep ? text : nullptr));
  return headerOk;
}

}  // namespace

char* copyString(const char* text) {
  size_t length = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(length));
  if (copy) memcpy(copy, text, length);
  return copy;
}

const char* readHeaderString(PackageCursor* cursor) {
  const char* text = nullptr;
  Input in = {cursor, 0};
  return readString(in, &text) == headerOk ? text : nullptr;
}

HeaderStatus readSetupHeaderFrom(PackageFile carrier, bool firstPass, ComponentSink sink) {
  PackageCursor cursor;
  Input in = {&cursor, packageFileSize(carrier)};
  // Offsets are 32-bit.
  if (in.size < 0 || in.size > maxPackageSize) return headerNotFound;
  uint32_t headerOffset;
  startCursor(&cursor, carrier, headerOffsetPosition);
  if (!readU32(&cursor, &headerOffset)) return headerNotFound;
  // The header lies behind the stub's own bytes 96-99, and a whole one takes 21 bytes or more.
  if (headerOffset < headerOffsetEnd || int64_t{headerOffset} > in.size - smallestHeaderSize)
    return headerNotFound;
  startCursor(&cursor, carrier, headerOffset);
  uint32_t archiveOffset, setupFlags;
  if (!readU32(&cursor, &archiveOffset) || !readU32(&cursor, &setupFlags)) return headerCutShort;
  if (int64_t{archiveOffset} > in.size - smallestArchiveSize) return headerArchiveOutside;
  header.archiveOffset = archiveOffset;
  header.setupFlags = setupFlags;
  TRY(readFields(in, firstPass));
  TRY(readTexts(in, !firstPass));
  return readComponents(in, !firstPass, sink);
}

HeaderStatus readSetupHeader(const char* carrierPath, bool firstPass, ComponentSink sink) {
  PackageFile carrier = openPackageFile(carrierPath);
  if (!isOpen(carrier)) return headerCannotOpen;
  HeaderStatus status = readSetupHeaderFrom(carrier, firstPass, sink);
  closePackageFile(carrier);
  return status;
}

const char* headerStatusText(HeaderStatus status) {
  switch (status) {
    case headerOk:
      return "ok";
    case headerCannotOpen:
      return "the file cannot be opened";
    case headerNotFound:
      return "bytes 96-99 do not lead to a setup header";
    case headerCutShort:
      return "the file ends inside the setup header";
    case headerStringTooLong:
      return "a string of the setup header is longer than 16383 bytes";
    case headerTooManyFields:
      return "more than 64 custom fields";
    case headerCountTooLarge:
      return "a count is larger than the bytes left could hold";
    case headerArchiveOutside:
      return "the archive offset lies past the end of the file";
    case headerNameOutside:
      return "a file name leaves the destination folder";
    case headerNoMemory:
      return "out of memory";
  }
  return "unknown";
}

CustomField* addCustomField(const char* caption, const char* variableName, uint8_t fieldFlags) {
  CustomField* field = static_cast<CustomField*>(calloc(1, sizeof(CustomField)));
  if (!field) return nullptr;
  field->caption = copyString(caption);
  field->variableName = copyString(variableName);
  if (!field->caption || !field->variableName) {
    free(field->caption);
    free(field->variableName);
    free(field);
    return nullptr;
  }
  field->fieldFlags = fieldFlags;
  if (header.lastField)
    header.lastField->next = field;
  else
    header.firstField = field;
  header.lastField = field;
  ++header.fieldCount;
  return field;
}

Component* addComponent(const char* name) {
  Component* component = static_cast<Component*>(calloc(1, sizeof(Component)));
  if (!component) return nullptr;
  if (!(component->name = copyString(name))) {
    free(component);
    return nullptr;
  }
  if (header.lastComponent)
    header.lastComponent->next = component;
  else
    header.firstComponent = component;
  header.lastComponent = component;
  return component;
}

ComponentFile* addComponentFile(Component* component, const char* name) {
  ComponentFile* file = static_cast<ComponentFile*>(calloc(1, sizeof(ComponentFile)));
  if (!file) return nullptr;
  if (!(file->name = copyString(name))) {
    free(file);
    return nullptr;
  }
  file->next = component->files;
  component->files = file;
  return file;
}

ShortcutDefinition* addShortcut(Component* component, const char* target) {
  ShortcutDefinition* shortcut =
      static_cast<ShortcutDefinition*>(calloc(1, sizeof(ShortcutDefinition)));
  if (!shortcut) return nullptr;
  if (!(shortcut->target = copyString(target))) {
    free(shortcut);
    return nullptr;
  }
  shortcut->next = component->shortcuts;
  component->shortcuts = shortcut;
  ++component->shortcutCount;
  return shortcut;
}

void freeSetupHeader() {
  for (CustomField* field = header.firstField; field;) {
    CustomField* next = field->next;
    free(field->caption);
    free(field->variableName);
    free(field);
    field = next;
  }
  for (Component* component = header.firstComponent; component;) {
    for (ComponentFile* file = component->files; file;) {
      ComponentFile* next = file->next;
      free(file->name);
      free(file);
      file = next;
    }
    for (ShortcutDefinition* shortcut = component->shortcuts; shortcut;) {
      ShortcutDefinition* next = shortcut->next;
      free(shortcut->target);
      free(shortcut->arguments);
      free(shortcut->workingDirectory);
      free(shortcut->linkName);
      free(shortcut);
      shortcut = next;
    }
    Component* next = component->next;
    free(component->name);
    free(component);
    component = next;
  }
  free(header.title);
  free(header.defaultDestination);
  free(header.shortcutFolder);
  free(header.preInstallText);
  free(header.lastWords);
  memset(&header, 0, sizeof header);
}
