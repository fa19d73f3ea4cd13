// The program entry: reads the package, builds every window and page, asks for confirmation and
// runs the message loop.
#include <stdlib.h>

#include "install/install_run.h"
#include "package/archive.h"
#include "package/header.h"
#include "package/services.h"
#include "start/code_page.h"
#include "start/dll_search.h"
#include "wizard/wizard.h"

const char damagedPackageText[] =
    "Error in VFS. Contact your program vendor to get a fixed version.\n"
    "If you have downloaded this file, try re-downloading it";

namespace {

const char confirmStart[] = "This will install `";
const char confirmEnd[] = "' in your system.\nDo you want to continue?";

LRESULT CALLBACK mainProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT:
      paintBranding();
      break;
    case WM_DRAWITEM:
      drawComponentRow(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return 0;
    case WM_CLOSE:
      if (onClose()) return 0;
      break;
    case WM_COMMAND:
      if (onCommand(wParam, lParam)) return 0;
      break;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

void registerClass(const char* name, WNDPROC procedure) {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_OWNDC;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = wizard.instance;
  windowClass.hIcon = LoadIconA(wizard.instance, "A");
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  RegisterClassA(&windowClass);
}

HFONT font(int height, int weight, const char* face) {
  return CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_TT_PRECIS, 0, 0, 0,
                     face);
}

// The running executable, opened once by its wide name (an ANSI name may not say which file it
// is when the path holds characters outside the code page) and kept open without delete
// sharing: nobody can rename it and put another package in its place while setup runs.
PackageFile openOwnFile() {
  wchar_t path[maxPathLength + 1];
  DWORD length = GetModuleFileNameW(nullptr, path, maxPathLength + 1);
  HANDLE file = length && length <= maxPathLength
                    ? CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr)
                    : INVALID_HANDLE_VALUE;
  return PackageFile{reinterpret_cast<intptr_t>(file)};
}

// Whether the archive's directory can be read whole, from header.archiveOffset.
bool archiveIsWhole() {
  ArchiveReader* archive = openArchiveIn(carrier, header.archiveOffset);
  bool whole = archive && archive->status == archiveOk;
  freeArchive(archive);
  return whole;
}

void createWindows() {
  registerClass("BackClass", backgroundProc);
  RECT desktop;
  GetClientRect(GetDesktopWindow(), &desktop);
  wizard.background = CreateWindowExA(0, "BackClass", "", WS_POPUP, 0, 0, desktop.right,
                                      desktop.bottom, nullptr, nullptr, wizard.instance, nullptr);
  EnableWindow(wizard.background, FALSE);  // it can never take focus or input

  registerClass("MainClass", mainProc);
  wizard.main =
      CreateWindowExA(WS_EX_APPWINDOW, "MainClass", "", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0,
                      0, 500, 300, nullptr, nullptr, wizard.instance, nullptr);
  GetWindowRect(GetDesktopWindow(), &desktop);
  MoveWindow(wizard.main, desktop.right / 2 - 250, desktop.bottom / 2 - 150, 500, 300, TRUE);
  GetClientRect(wizard.main, &wizard.client);

  wizard.bannerFont = font(-48, 400, "Arial");
  wizard.textFont = font(-10, 400, "MS Sans Serif");
  wizard.headingFont = font(-10, 800, "MS Sans Serif");
  wizard.fixedFont = font(-10, 400, "Fixedsys");
}

void createPages() {
  const int w = wizard.client.right, h = wizard.client.bottom;
  const DWORD visible = WS_CHILD | WS_VISIBLE, button = visible | WS_TABSTOP;
  const DWORD radio = WS_CHILD | WS_TABSTOP | BS_AUTORADIOBUTTON;
  const DWORD editBox = WS_CHILD | WS_BORDER | WS_TABSTOP;
  HFONT text = wizard.textFont;
  wizard.pageTitle = createControl(0, "STATIC", "Preinstallation information:", visible, 10, 5, w,
                                   30, wizard.headingFont);
  wizard.cancelButton = createControl(0, "BUTTON", "Cancel", button, 10, h - 40, 100, 30, text);
  wizard.backButton = createControl(0, "BUTTON", "Back", button, w - 215, h - 40, 100, 30, text);
  wizard.nextButton =
      createControl(0, "BUTTON", "Next", button | BS_DEFPUSHBUTTON, w - 110, h - 40, 100, 30, text);
  wizard.finishButton =
      createControl(0, "BUTTON", "Finish", WS_CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON, w - 110,
                    h - 40, 100, 30, text);

  int page = addPage("Preinstallation information:");
  wizard.infoBox =
      createControl(WS_EX_CLIENTEDGE, "EDIT", "", editBox | WS_VSCROLL | ES_MULTILINE | ES_READONLY,
                    10, 25, w - 20, h - 70, wizard.fixedFont);
  addPageControl(page, wizard.infoBox);

  page = addPage("Select installation method:");
  wizard.fullButton = createControl(0, "Button", "Full installation", radio, 20, 70, 320, 20, text);
  wizard.normalButton =
      createControl(0, "Button", "Normal installation", radio, 20, 90, 320, 20, text);
  wizard.customButton =
      createControl(0, "Button", "Custom installation", radio, 20, 110, 320, 20, text);
  SendMessageA(wizard.normalButton, BM_SETCHECK, BST_CHECKED, 0);
  addPageControl(page, wizard.fullButton);
  addPageControl(page, wizard.normalButton);
  addPageControl(page, wizard.customButton);

  page = addPage("Select components to install:");
  wizard.componentList =
      createControl(WS_EX_CLIENTEDGE, "LISTBOX", "",
                    editBox | WS_VSCROLL | LBS_MULTIPLESEL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS,
                    10, 25, w - 20, h - 70, nullptr);
  addPageControl(page, wizard.componentList);

  createFieldPages();

  wizard.destinationPage = page = addPage("Destination path:");
  wizard.destinationBox =
      createControl(WS_EX_CLIENTEDGE, "EDIT", "", editBox, 10, 55, w - 20, 23, text);
  addPageControl(page, wizard.destinationBox);
  addPage("Press the 'Next' button to install the program");
}

// "This will install `TITLE' ..." in textBuffer; a title too long for the buffer is cut.
void formatConfirmation() {
  const int room = textBufferSize - 1 - (sizeof confirmStart - 1) - (sizeof confirmEnd - 1);
  lstrcpyA(textBuffer, confirmStart);
  lstrcpynA(textBuffer + sizeof confirmStart - 1, header.title, room + 1);
  lstrcatA(textBuffer, confirmEnd);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything loads a DLL by name; without user32 and its kin there is nothing to show.
  if (!restrictDllSearch()) return 0;
  if (codePageRefused()) {
    MessageBoxA(nullptr, CODE_PAGE_REFUSAL " Nothing was installed.", "Error", MB_ICONERROR);
    return 0;
  }
  OleInitialize(nullptr);
  wizard.instance = instance;
  wizard.currentPage = -1;
  // The first header pass reads what the pages are built from. A package that cannot be read
  // whole is refused before any window exists: never a wizard built from garbage.
  carrier = openOwnFile();
  if (readSetupHeaderFrom(carrier, true, nullptr) != headerOk || !archiveIsWhole()) {
    MessageBoxA(nullptr, damagedPackageText, "Internal error", MB_ICONERROR);
    return 0;
  }

  createWindows();
  createPages();
  if (readSetupHeaderFrom(carrier, false, addComponentRow) != headerOk) {
    // No memory for the components.
    message(damagedPackageText, "Internal error", MB_ICONERROR);
    return 0;
  }
  if (header.setupFlags & setupFlagBackground) ShowWindow(wizard.background, SW_SHOWNA);
  int last = addPage("Some last words from the author:");
  if (header.lastWords && header.lastWords[0]) addPageControl(last, wizard.infoBox);
  SetWindowTextA(wizard.main, header.title);

  formatConfirmation();
  if (message(textBuffer, header.title, MB_ICONQUESTION | MB_YESNO) == IDNO) {
    DestroyWindow(wizard.main);
    return 0;
  }
  SetWindowTextA(wizard.infoBox, header.preInstallText);
  free(header.preInstallText);
  header.preInstallText = nullptr;
  showPage(0);
  ShowWindow(wizard.main, SW_SHOW);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DeleteObject(wizard.fixedFont);
  DeleteObject(wizard.headingFont);
  DeleteObject(wizard.textFont);
  DeleteObject(wizard.bannerFont);
  return static_cast<int>(msg.wParam);
}

int message(const char* text, const char* caption, UINT type) {
  return MessageBoxA(wizard.main, text, caption, type);
}
