#include "wizard_driver.h"

#include <stdio.h>

#include <fstream>

namespace driver {
namespace {

DWORD now() {
  return GetTickCount();
}

struct Search {
  DWORD pid;
  const char* className;
  bool mustBeVisible;
  int childId;  // a child window with this id must be there, unless 0
  HWND found;
};

BOOL CALLBACK findTopLevel(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  if (pid == search->pid && lstrcmpA(name, search->className) == 0 &&
      (!search->mustBeVisible || IsWindowVisible(window)) &&
      (!search->childId || GetDlgItem(window, search->childId))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND findWindowOf(DWORD pid, const char* className, bool mustBeVisible, int childId = 0) {
  Search search{pid, className, mustBeVisible, childId, nullptr};
  EnumWindows(findTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK paintTopLevel(HWND window, LPARAM pid) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  // The paint messages are sent, not posted, to the windows of another thread.
  if (owner == static_cast<DWORD>(pid))
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  return TRUE;
}

}  // namespace

DWORD startProgram(std::wstring command, const std::filesystem::path& folder,
                   STARTUPINFOW& startup, bool inherit, PROCESS_INFORMATION& process) {
  // Twice in CI a package written a moment before could not be started, its reason not kept:
  // the reason is now printed, and the start tried again a few times.
  DWORD error = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (attempt) Sleep(200);
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, inherit, 0, nullptr,
                       folder.wstring().c_str(), &startup, &process))
      return 0;
    error = GetLastError();
    fprintf(stderr, "CreateProcessW failed with error %lu\n", static_cast<unsigned long>(error));
    process = PROCESS_INFORMATION{};
  }
  return error;
}

Installer::Installer(const std::filesystem::path& package) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startProgram(L"\"" + package.wstring() + L"\"", package.parent_path(), startup, false, process_);
}

Installer::~Installer() {
  if (!process_.hProcess) return;
  kill(5000);
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

bool Installer::kill(DWORD timeoutMs) {
  if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
    TerminateProcess(process_.hProcess, 99);
  return WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool Installer::startRun(DWORD timeoutMs) {
  MessageBox box = waitForMessageBox(timeoutMs);
  if (!box.window) return false;
  answer(box, IDYES);
  if (!waitForWizard(timeoutMs)) return false;
  for (int pages = 0; !visible(destinationBox()); ++pages) {
    if (pages == 50 || messageBox().window) return false;  // a field no one filled in
    click(next());
  }
  click(next());  // to the page that says the run is ready
  PostMessageA(next(), BM_CLICK, 0, 0);
  return true;
}

void Installer::settle() {
  if (process_.hProcess) WaitForInputIdle(process_.hProcess, 5000);
  Sleep(30);
}

bool Installer::sync(DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return main_ && SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

void Installer::paint() {
  EnumWindows(paintTopLevel, static_cast<LPARAM>(process_.dwProcessId));
}

MessageBox Installer::messageBox() const {
  MessageBox box;
  // A message box's text is its child 0xFFFF; other dialogs (a progress window) have none.
  if (HWND window = findWindowOf(process_.dwProcessId, "#32770", true, 0xFFFF)) {
    box.window = window;
    box.caption = text(window);
    box.text = text(GetDlgItem(window, 0xFFFF));
  }
  return box;
}

MessageBox Installer::waitForMessageBox(DWORD timeoutMs) {
  MessageBox box;
  waitUntil(
      [&] {
        return (box = messageBox()).window ||
               WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
      },
      timeoutMs);
  return box;
}

HWND Installer::waitForDialog(int childId, DWORD timeoutMs) {
  HWND found = nullptr;
  waitUntil([&] { return (found = findWindowOf(process_.dwProcessId, "#32770", true, childId)); },
            timeoutMs);
  return found;
}

void Installer::answer(const MessageBox& box, int buttonId) {
  PostMessageA(GetDlgItem(box.window, buttonId), BM_CLICK, 0, 0);
  // A message posted right after a box closes can be lost: wait until it is really gone.
  for (DWORD start = now(); IsWindow(box.window) && now() - start < 10000;) Sleep(10);
  settle();
}

bool Installer::waitForWizard(DWORD timeoutMs) {
  for (DWORD start = now(); now() - start < timeoutMs; Sleep(20)) {
    if ((main_ = findWindowOf(process_.dwProcessId, "MainClass", true))) break;
  }
  if (!main_) return false;
  settle();
  children_.clear();
  // Children in creation order, which is the order of the window list.
  for (HWND c = GetWindow(main_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    children_.push_back(c);
  return true;
}

DWORD Installer::waitForExit(DWORD timeoutMs) {
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

HWND Installer::background() const {
  return findWindowOf(process_.dwProcessId, "BackClass", false);
}

std::string Installer::text(HWND window) {
  // GetWindowText gives only the stored caption of another process's window, not an edit
  // control's text: ask the control itself.
  char buffer[20000] = "";
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                      SMTO_ABORTIFHUNG, 5000, &result);
  return buffer;
}

void Installer::post(UINT message, WPARAM wParam, LPARAM lParam) {
  PostMessageA(main_, message, wParam, lParam);
  settle();
}

void Installer::click(HWND button) {
  PostMessageA(button, BM_CLICK, 0, 0);
  settle();
}

void Installer::type(HWND box, const std::string& value) {
  SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
}

void Installer::type(HWND box, const std::wstring& value) {
  SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
}

void Installer::selectRow(int row, bool selected) {
  SendMessageA(componentList(), LB_SETSEL, selected, row);
}

void Installer::clickRow(int row) {
  HWND list = componentList();
  int height = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
  LPARAM at = MAKELPARAM(20, (row - top) * height + height / 2);
  PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(list, WM_LBUTTONUP, 0, at);
  settle();
}

bool Installer::rowSelected(int row) const {
  return SendMessageA(componentList(), LB_GETSEL, static_cast<WPARAM>(row), 0) > 0;
}

std::vector<std::string> Installer::rowTexts() const {
  std::vector<std::string> rows;
  LRESULT count = SendMessageA(componentList(), LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    // The ANSI form of LB_GETTEXT from another process gives only the first letter under Wine.
    wchar_t wide[512] = L"";
    SendMessageW(componentList(), LB_GETTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(wide));
    char narrow[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    rows.push_back(narrow);
  }
  return rows;
}

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  for (DWORD start = now(); now() - start < timeoutMs; Sleep(20))
    if (condition()) return true;
  return condition();
}

Screen captureScreen() {
  Screen capture;
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  if (HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0)) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY)) {
      GdiFlush();
      const uint32_t* first = static_cast<const uint32_t*>(bits);
      capture.pixels.assign(first, first + static_cast<size_t>(w) * static_cast<size_t>(h));
      for (uint32_t& pixel : capture.pixels) pixel &= 0xFFFFFF;
      capture.width = w;
      capture.height = h;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return capture;
}

bool saveBitmap(const Screen& screen, const std::filesystem::path& file) {
  if (screen.pixels.empty()) return false;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = screen.width;
  info.biHeight = -screen.height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  DWORD size = static_cast<DWORD>(screen.pixels.size() * 4);
  BITMAPFILEHEADER fileHeader{};
  fileHeader.bfType = 0x4D42;
  fileHeader.bfOffBits = sizeof fileHeader + sizeof info;
  fileHeader.bfSize = fileHeader.bfOffBits + size;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&fileHeader), sizeof fileHeader);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(screen.pixels.data()), size);
  return static_cast<bool>(out);
}

}  // namespace driver
