// What the uninstaller tells: message boxes, or standard error when it runs silently, and the
// lines that list what was not removed or kept.
#include <stdarg.h>
#include <stdlib.h>
#include <wchar.h>

#include "uninstall/uninstall.h"

namespace {

enum { shownLines = 20, formatSize = 1025 };  // wvsprintfW writes at most 1024 characters

struct Text {
  wchar_t* chars;
  size_t length, capacity;
};

Text lines;
int lineCount;

bool append(Text* text, const wchar_t* part) {
  size_t count = wcslen(part);
  if (text->length + count + 1 > text->capacity) {
    size_t capacity = (text->length + count + 1) * 2;
    auto* grown = static_cast<wchar_t*>(realloc(text->chars, capacity * sizeof(wchar_t)));
    if (!grown) return false;
    text->chars = grown;
    text->capacity = capacity;
  }
  wmemcpy(text->chars + text->length, part, count + 1);
  text->length += count;
  return true;
}

// Where the line after the first count lines of text starts.
const wchar_t* afterLines(const wchar_t* text, int count) {
  while (count-- > 0 && (text = wcschr(text, L'\n'))) ++text;
  return text;
}

void writeError(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  char* bytes = static_cast<char*>(malloc(size > 0 ? static_cast<size_t>(size) : 1));
  if (!bytes) return;
  WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, size, nullptr, nullptr);
  DWORD written;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes, lstrlenA(bytes), &written, nullptr);
  free(bytes);
}

}  // namespace

const wchar_t* format(const wchar_t* pattern, ...) {
  auto* buffer = static_cast<wchar_t*>(malloc(formatSize * sizeof(wchar_t)));
  if (!buffer) return L"";
  va_list arguments;
  va_start(arguments, pattern);
  wvsprintfW(buffer, pattern, arguments);
  va_end(arguments);
  return buffer;
}

void reportLine(const wchar_t* label, const wchar_t* path, const wchar_t* reason) {
  Text line = {};
  if (append(&line, label) && append(&line, L": ") && append(&line, path) && append(&line, L" (") &&
      append(&line, reason) && append(&line, L")\n")) {
    // Several removals can stop at the same kept folder: one line says it.
    bool known = false;
    for (const wchar_t* at = lines.chars; at && *at && !known; at = afterLines(at, 1))
      known = wcsncmp(at, line.chars, line.length) == 0;
    if (!known && append(&lines, line.chars)) ++lineCount;
  }
  free(line.chars);
}

int tell(const wchar_t* message, UINT type) {
  if (uninstaller.silent) {
    if ((type & MB_ICONMASK) == MB_ICONERROR) {
      writeError(message);
      writeError(L"\n");
    }
    if (lines.chars) writeError(lines.chars);
    return IDYES;
  }
  Text shown = {};
  append(&shown, message);
  if (lineCount) {
    append(&shown, L"\n\n");
    const wchar_t* cut = afterLines(lines.chars, shownLines);
    if (cut && *cut) {
      // A box taller than the screen hides its buttons: the first lines and a count.
      wchar_t* end = lines.chars + (cut - lines.chars);
      wchar_t saved = *end;
      *end = 0;
      append(&shown, lines.chars);
      *end = saved;
      append(&shown, format(L"and %d more.", lineCount - shownLines));
    } else {
      append(&shown, lines.chars);
    }
  }
  int answer = MessageBoxW(nullptr, shown.chars ? shown.chars : message, L"Uninstall", type);
  free(shown.chars);
  return answer;
}
