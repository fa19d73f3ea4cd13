// What the uninstaller tells: message boxes, or standard error when it runs silently, and the
// lines that list what was refused, not removed or kept. A box names the first few; the whole
// list goes to a text file whose path the box gives, so that the box fits the screen.
#include <stdarg.h>
#include <stdlib.h>
#include <wchar.h>

#include "uninstall/uninstall.h"

namespace {

// wvsprintfW writes at most 1024 characters; a box's line holds about 60 of them at the least.
enum { shownLines = 15, shownRows = 24, formatSize = 1025 };

struct Text {
  wchar_t* chars;
  size_t length, capacity;
};

Text lines;
unsigned lineCount;

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
const wchar_t* afterLines(const wchar_t* text, unsigned count) {
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

// Writes every line to a new text file (UTF-16, as Notepad reads it) in the temporary folder,
// under a name no one can have prepared; its path, or null when it cannot be written.
const wchar_t* writeListFile() {
  wchar_t temp[widePathSize];
  DWORD length = GetTempPathW(widePathSize, temp);
  if (!length || length > widePathSize - 64) return nullptr;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const wchar_t* path =
        format(L"%suninstall-report-%lx-%x.txt", temp, GetCurrentProcessId(), attempt);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return nullptr;
    }
    Text text = {};
    append(&text, L"\xFEFF");
    for (wchar_t *line = lines.chars, *end; line && (end = wcschr(line, L'\n')); line = end + 1) {
      *end = 0;  // every line ends in one
      append(&text, line);
      append(&text, L"\r\n");
      *end = L'\n';
    }
    DWORD bytes = static_cast<DWORD>(text.length * sizeof(wchar_t)), written = 0;
    bool whole = text.chars && WriteFile(file, text.chars, bytes, &written, nullptr) &&
                 written == bytes;
    CloseHandle(file);
    free(text.chars);
    if (whole) return path;
    DeleteFileW(path);
    return nullptr;
  }
  return nullptr;
}

// The box's text: message, then the report's first lines and where all of them are. The lines
// named are few enough for the box to fit a 1024 x 768 screen, long paths wrapped on narrow
// boxes included.
void appendReport(Text* shown) {
  append(shown, L"\n\n");
  const wchar_t* end = lines.chars;
  unsigned named = 0, rows = 0;
  for (const wchar_t* next; named < shownLines && (next = afterLines(end, 1)); end = next) {
    rows += static_cast<unsigned>(next - end) / 60 + 1;
    if (rows > shownRows && named) break;
    ++named;
  }
  wchar_t* cut = lines.chars + (end - lines.chars);
  wchar_t saved = *cut;
  *cut = 0;
  append(shown, lines.chars);
  *cut = saved;
  if (named == lineCount) return;
  const wchar_t* more = counted(lineCount - named, L"more item");
  if (const wchar_t* file = writeListFile())
    append(shown, format(L"and %s, all listed in `%s`.", more, file));
  else
    append(shown, format(L"and %s.", more));
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

const wchar_t* counted(unsigned count, const wchar_t* noun) {
  return format(L"%u %s%s", count, noun, count == 1 ? L"" : L"s");
}

void reportLine(const wchar_t* label, const wchar_t* path, const wchar_t* reason) {
  Text line = {};
  if (append(&line, label) && append(&line, L": ") && append(&line, path) &&
      append(&line, L" (") && append(&line, reason) && append(&line, L")\n") &&
      append(&lines, line.chars))
    ++lineCount;
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
  if (lineCount) appendReport(&shown);
  int answer = MessageBoxW(nullptr, shown.chars ? shown.chars : message, L"Uninstall", type);
  free(shown.chars);
  return answer;
}
