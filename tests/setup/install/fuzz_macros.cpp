// Fuzz target: expandMacros on any text, with the wizard's boxes, the system's folders and the
// registry answering from the input. The input is NUL-separated: the text, then a value (cut to
// the 260 characters a box or folder holds) that every box, folder and registry value gives,
// then up to four custom fields' variable names.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "install/macros.h"
#include "install/system_lookup.h"
#include "package/header.h"
#include "package/services.h"

namespace {

std::string value;

void check(bool holds) {
  if (!holds) abort();
}

}  // namespace

const char* readRegistryString(RegistryRoot, const char*, const char*, const char* defaultText) {
  return value.empty() ? defaultText : value.c_str();
}
void systemDirectory(char* buffer) {
  strcpy(buffer, value.c_str());
}
void windowsDirectory(char* buffer) {
  strcpy(buffer, value.c_str());
}
const char* destinationText() {
  return value.c_str();
}
const char* fieldText(int) {
  return value.c_str();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      parts.emplace_back();
    else
      parts.back() += static_cast<char>(data[i]);
  }
  const std::string& text = parts[0];
  value = parts.size() > 1 ? parts[1].substr(0, maxPathLength) : "C:\\Games";
  for (size_t i = 2; i < parts.size() && i < 6; ++i) addCustomField("caption", parts[i].c_str(), 0);
  const char* result = expandMacros(text.c_str());
  check(result == textBuffer && strlen(result) < textBufferSize);
  if (text.find('%') == std::string::npos)
    check(text.compare(0, textBufferSize - 1, result) == 0);
  freeSetupHeader();
  return 0;
}
