// The component rows, the checks that guard the installation, the run itself and its progress
// bar.
#include <stdlib.h>

#include "install/install_run.h"
#include "package/header.h"
#include "package/services.h"
#include "wizard/wizard.h"

namespace {

const char noComponentText[] = "Please select at least one component to install";
const char requiredComponentCaption[] = "Required component not checked";
const char writeFailureStart[] = "Could not write `";
const char writeFailureEnd[] =
    "'.\nCheck that the disk has room and that you may write to the destination.";

enum { rowTextSize = 256 };

// What the bar shows: a run's first report draws it afresh.
int drawnFill = -1;
int32_t drawnTotal;

Component* componentAt(int index) {
  Component* component = header.firstComponent;
  while (component && index-- > 0) component = component->next;
  return component;
}

// "Component `NAME' is required!" in a 256-byte buffer; a longer name is cut with "...".
void formatRequired(char* text, const char* name) {
  const char start[] = "Component `", end[] = "' is required!";
  const int room = rowTextSize - 1 - (sizeof start - 1) - (sizeof end - 1);
  lstrcpyA(text, start);
  int length = lstrlenA(name);
  if (length <= room) {
    lstrcatA(text, name);
  } else {
    lstrcpynA(text + lstrlenA(text), name, room - 3 + 1);
    lstrcatA(text, "...");
  }
  lstrcatA(text, end);
}

// The first deselected required component, reselected and shown; false when there is none.
bool requiredComponentMissing() {
  LRESULT rows = SendMessageA(wizard.componentList, LB_GETCOUNT, 0, 0);
  Component* component = header.firstComponent;
  for (int row = 0; row < rows && component; ++row, component = component->next) {
    if (SendMessageA(wizard.componentList, LB_GETSEL, row, 0) != 0) continue;
    if (!(component->componentFlags & componentRequired)) continue;
    char text[rowTextSize];
    formatRequired(text, component->name);
    message(text, requiredComponentCaption, MB_ICONERROR);
    SendMessageA(wizard.componentList, LB_SETSEL, TRUE, row);
    showPage(componentPage);
    return true;
  }
  return false;
}

void reportFailure(const InstallFailure& failure) {
  if (failure.fault != faultCannotWrite) {
    message(damagedPackageText, "Internal error", MB_ICONERROR);
    return;
  }
  char text[sizeof writeFailureStart + sizeof failure.path + sizeof writeFailureEnd];
  lstrcpyA(text, writeFailureStart);
  lstrcatA(text, failure.path);
  lstrcatA(text, writeFailureEnd);
  message(text, "Error", MB_ICONERROR);
}

// Drops the keys and clicks queued for the wizard, on the client area or not (the close box, the
// caption): made while a run went on, they were not meant for what the run leaves on screen.
void dropInput() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (PeekMessageA(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
  }
}

// 200 by 16 pixels, centred, its top 150 pixels above the bottom of the client area.
RECT progressBar() {
  int centre = (wizard.client.right - wizard.client.left) / 2, h = wizard.client.bottom;
  return RECT{centre - 100, h - 150, centre + 100, h - 134};
}

}  // namespace

void drawComponentRow(const DRAWITEMSTRUCT* item) {
  if (item->itemID == static_cast<UINT>(-1)) return;  // an empty list receiving the focus
  char buffer[rowTextSize];
  const char* text = buffer;
  LRESULT length = SendMessageA(wizard.componentList, LB_GETTEXTLEN, item->itemID, 0);
  if (length >= 0 && length < rowTextSize) {
    SendMessageA(wizard.componentList, LB_GETTEXT, item->itemID, reinterpret_cast<LPARAM>(buffer));
  } else {
    // Too long for the row buffer: the row's text is the component's name.
    Component* component = componentAt(static_cast<int>(item->itemID));
    text = component ? component->name : "";
  }
  HDC dc = item->hDC;
  const RECT& r = item->rcItem;
  int h = r.bottom - r.top;
  Rectangle(dc, r.left + 1, r.top + 1, r.left + h - 2, r.bottom - 1);
  if (item->itemState & ODS_SELECTED) {
    MoveToEx(dc, r.left + 1, r.top + 1, nullptr);
    LineTo(dc, r.left + h - 3, r.bottom - 2);
    LineTo(dc, r.left + h - 3, r.top + 1);
    LineTo(dc, r.left + 1, r.bottom - 2);
  }
  TextOutA(dc, r.left + h + 5, r.top, text, lstrlenA(text));
}

// Dropping the input also looks at the queue: Windows replaces a window whose thread has not
// looked at it for five seconds with a "not responding" ghost that would hide the bar. Looking is
// enough; nothing is dispatched. Every 200 ms is well within the five seconds, and spares a look
// for each chunk.
void dropQueuedInput() {
  static DWORD lastLook;
  DWORD now = GetTickCount();
  if (now - lastLook < 200) return;
  lastLook = now;
  dropInput();
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

void drawProgress(int32_t done, int32_t total) {
  if (total == 0) return;
  int fill = static_cast<int>(int64_t{done} * 200 / total);
  // Two calls per chunk would otherwise redraw a bar that only changes 200 times.
  if (fill == drawnFill && total == drawnTotal) return;
  drawnFill = fill;
  drawnTotal = total;
  RECT bar = progressBar();
  HDC dc = GetDC(wizard.main);
  Rectangle(dc, bar.left, bar.top, bar.right, bar.bottom);
  HGDIOBJ old = SelectObject(dc, GetSysColorBrush(COLOR_HIGHLIGHT));
  Rectangle(dc, bar.left, bar.top, bar.left + fill, bar.bottom);
  SelectObject(dc, old);
  ReleaseDC(wizard.main, dc);
}

void startInstallation() {
  if (SendMessageA(wizard.componentList, LB_GETSELCOUNT, 0, 0) == 0) {
    message(noComponentText, "Error", MB_ICONERROR);
    showPage(componentPage);
    return;
  }
  int fullInstallation = isChecked(wizard.fullButton) ? 1 : 0;
  if (!fullInstallation && requiredComponentMissing()) return;
  InstallFailure failure;
  drawnFill = -1;
  InstallOutcome outcome = runInstallation(fullInstallation, &failure);
  dropInput();  // what came after the run's last drop, too
  if (outcome == installNoCarrier) {
    message(damagedPackageText, "Internal error", MB_ICONERROR);
    return;
  }
  if (outcome == installFailed) {
    reportFailure(failure);
    // The paint handling never draws the bar, so only erasing its place clears it before the
    // user moves on to other pages.
    RECT bar = progressBar();
    InvalidateRect(wizard.main, &bar, TRUE);
    return;
  }
  drawProgress(100, 100);
  message("Installation finished", "Done", MB_OK);
  ShowWindow(wizard.cancelButton, SW_HIDE);
  ShowWindow(wizard.backButton, SW_HIDE);
  ShowWindow(wizard.nextButton, SW_HIDE);
  ShowWindow(wizard.finishButton, SW_SHOW);
  SetWindowTextA(wizard.infoBox, header.lastWords ? header.lastWords : "");
  free(header.lastWords);
  header.lastWords = nullptr;
  showPage(wizard.pageCount - 1);
}
