#include "macros.h"

#include <string.h>

#include "install/macro_names.h"
#include "package/header.h"
#include "package/services.h"

char macroName[macroNameSize];
char macroValue[macroValueSize];

namespace {

// Fills macroValue for the name in macroName; nothing that matches leaves it empty.
void lookUpMacro() {
  macroValue[0] = 0;
  int builtIn = builtInMacroIndex(macroName);
  if (builtIn >= 0) {
    builtInFolder(builtIn, destinationText(), macroValue);
    return;
  }
  int index = 0;
  for (const CustomField* field = header.firstField; field; field = field->next, ++index) {
    if (sameMacroName(macroName, field->variableName)) {
      strncat(macroValue, fieldText(index), macroValueSize - 1);
      return;
    }
  }
}

}  // namespace

const char* expandMacros(const char* text) {
  size_t out = 0;
  const size_t limit = textBufferSize - 1;
  while (*text) {
    if (*text != '%') {
      if (out < limit) textBuffer[out++] = *text;
      ++text;
      continue;
    }
    size_t nameLength = 0;
    for (++text; *text && *text != '%'; ++text) {
      if (nameLength < macroNameSize - 1) macroName[nameLength++] = *text;
    }
    if (!*text) break;  // no closing '%': the rest is dropped
    ++text;
    macroName[nameLength] = 0;
    lookUpMacro();
    for (const char* v = macroValue; *v && out < limit; ++v) textBuffer[out++] = *v;
  }
  textBuffer[out] = 0;
  return textBuffer;
}
