// The window that shows the removal going on: a line of text and a bar drawn by hand, in a
// dialog made from a template in memory (its font comes with it, and no more libraries are
// needed). The removal runs on this thread, so the window's messages are handled between items,
// a few times a second.
#include "uninstall/uninstall.h"

namespace {

enum { textId = 100 };

HWND window;
unsigned done, total, lastDrawn;
DWORD lastPump;

// A dialog template: its header, no menu, the default class, the title and the font, then one
// static text item (DWORD-aligned); 200 x 45 dialog units, centred.
// clang-format off
alignas(4) const WORD dialogTemplate[] = {
    LOWORD(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT | DS_CENTER | DS_MODALFRAME),
    HIWORD(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT | DS_CENTER | DS_MODALFRAME),
    0, 0, 1, 0, 0, 200, 45, 0, 0,
    'U', 'n', 'i', 'n', 's', 't', 'a', 'l', 'l', 0,
    8, 'M', 'S', ' ', 'S', 'h', 'e', 'l', 'l', ' ', 'D', 'l', 'g', 0, 0,
    LOWORD(WS_CHILD | WS_VISIBLE | SS_PATHELLIPSIS), HIWORD(WS_CHILD | WS_VISIBLE | SS_PATHELLIPSIS),
    0, 0, 7, 7, 186, 10, textId, 0xFFFF, 0x0082, 0, 0};
// clang-format on

RECT barRect(HWND dialog) {
  RECT bar = {7, 22, 193, 34};  // dialog units
  MapDialogRect(dialog, &bar);
  return bar;
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_PAINT) return message == WM_INITDIALOG;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  RECT bar = barRect(dialog), filled = bar;
  FrameRect(dc, &bar, GetSysColorBrush(COLOR_BTNSHADOW));
  InflateRect(&filled, -1, -1);
  RECT rest = filled;
  filled.right = filled.left + (total ? MulDiv(filled.right - filled.left, done, total) : 0);
  rest.left = filled.right;
  FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
  FillRect(dc, &rest, GetSysColorBrush(COLOR_BTNFACE));
  EndPaint(dialog, &paint);
  return TRUE;
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
  if (done * 200 / total != lastDrawn) {
    lastDrawn = done * 200 / total;
    RECT bar = barRect(window);
    InvalidateRect(window, &bar, FALSE);
  }
  pump();
}

void closeProgress() {
  if (!window) return;
  done = total;
  RECT bar = barRect(window);
  InvalidateRect(window, &bar, FALSE);
  pump();
  DestroyWindow(window);
  window = nullptr;
}

void waitPumping(HANDLE event) {
  while (MsgWaitForMultipleObjects(1, &event, FALSE, 120000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
    pump();
}
