// The window that shows the removal going on: a line of text and a bar, in a dialog made from a
// template in memory (its font comes with it, and no more libraries are needed). The removal runs on this thread, so the window's messages are handled between items,
// a few times a second.
#include "uninstall/uninstall.h"

namespace {

enum { textId = 100, barId = 101, barWidth = 186 };

HWND window;
unsigned done, total, lastDrawn;
DWORD lastPump;

// A dialog template: its header, no menu, the default class, the title and the font, then two
// static items (each DWORD-aligned): the text, and the bar, a filled rectangle whose width
// follows the work done; 200 x 45 dialog units, centred.
// clang-format off
alignas(4) const WORD dialogTemplate[] = {
    LOWORD(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT | DS_CENTER),
    HIWORD(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT | DS_CENTER),
    0, 0, 2, 0, 0, 200, 45, 0, 0,
    'U', 'n', 'i', 'n', 's', 't', 'a', 'l', 'l', 0,
    8, 'M', 'S', ' ', 'S', 'h', 'e', 'l', 'l', ' ', 'D', 'l', 'g', 0, 0,
    LOWORD(WS_CHILD | WS_VISIBLE | SS_PATHELLIPSIS), HIWORD(WS_CHILD | WS_VISIBLE | SS_PATHELLIPSIS),
    0, 0, 7, 7, 186, 10, textId, 0xFFFF, 0x0082, 0, 0, 0,
    LOWORD(WS_CHILD | WS_VISIBLE | SS_GRAYRECT), HIWORD(WS_CHILD | WS_VISIBLE | SS_GRAYRECT),
    0, 0, 7, 24, 0, 10, barId, 0xFFFF, 0x0082, 0, 0};
// clang-format on

INT_PTR CALLBACK dialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

void pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  lastPump = GetTickCount();
}

// Widens the bar to the share of the work done.
void drawBar() {
  RECT bar = {7, 24, 7 + static_cast<LONG>(total ? barWidth * done / total : 0), 34};
  MapDialogRect(window, &bar);
  SetWindowPos(GetDlgItem(window, barId), nullptr, 0, 0, bar.right - bar.left,
               bar.bottom - bar.top, SWP_NOMOVE | SWP_NOZORDER);
}

}  // namespace

void openProgress(unsigned count) {
  if (uninstaller.silent) return;
  total = count;
  window = CreateDialogIndirectParamW(nullptr, reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate),
                                      nullptr, dialogProc, 0);
  if (!window) return;
  SetDlgItemTextW(window, textId, format(L"Removing the program in %s", uninstaller.folder));
  pump();
}

void stepProgress() {
  ++done;
  if (!window || GetTickCount() - lastPump < 50) return;
  if (done * barWidth / total != lastDrawn) {
    lastDrawn = done * barWidth / total;
    drawBar();
  }
  pump();
}

void closeProgress() {
  if (!window) return;
  done = total;
  drawBar();
  pump();
  DestroyWindow(window);
  window = nullptr;
}

void waitPumping(HANDLE event) {
  while (MsgWaitForMultipleObjects(1, &event, FALSE, 120000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
    pump();
}
