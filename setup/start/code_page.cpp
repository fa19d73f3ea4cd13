#include "start/code_page.h"

namespace {

const char element[] = "activeCodePage";

bool startsWith(const char* at, const char* end, const char* text) {
  for (; *text; ++at, ++text)
    if (at == end || *at != *text) return false;
  return true;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the element's text, from its start tag's name on, is UTF-8.
bool valueIsUtf8(const char* at, const char* end) {
  while (at < end && *at != '>') ++at;  // past the attributes
  if (at == end || at[-1] == '/') return false;
  for (++at; at < end && isSpace(*at); ++at) {
  }
  const char utf8[] = "utf-8";
  for (const char* want = utf8; *want; ++want, ++at)
    if (at == end || (*at | 0x20) != *want) return false;
  while (at < end && isSpace(*at)) ++at;
  return at < end && *at == '<';
}

}  // namespace

bool manifestAsksForUtf8(const char* xml, size_t size) {
  const char* end = xml + size;
  for (const char* at = xml; at < end; ++at) {
    if (*at != '<') continue;
    const char* name = at + 1;
    // A prefixed name (<ws:activeCodePage>) is the same element.
    for (const char* p = name; p < end && *p != '>' && !isSpace(*p) && *p != '/'; ++p)
      if (*p == ':') name = p + 1;
    if (startsWith(name, end, element) && name + sizeof element - 1 < end &&
        (isSpace(name[sizeof element - 1]) || name[sizeof element - 1] == '>'))
      return valueIsUtf8(name + sizeof element - 1, end);
  }
  return false;
}
