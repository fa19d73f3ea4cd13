// The background window's gradient, title and credit line, and the main window's branding.
#include "package/header.h"
#include "wizard/wizard.h"

const char makerAddress[] = "www.corvalline.example";

namespace {

const char creditText[] = "Setup process made with Corvalline Setup 1.3 - get it for free at ";
const char brandingText[] = "Corvalline Setup version 1.3";

void drawText(HDC dc, int x, int y, const char* text) {
  TextOutA(dc, x, y, text, lstrlenA(text));
}

void paintBackground(HWND window) {
  HDC dc = GetDC(window);
  RECT rect;
  GetClientRect(window, &rect);
  int height = rect.bottom;
  // Blue 255 at the top fading towards black; one pen per row.
  float c = 255.0f;
  float step = 256.0f / static_cast<float>(height);
  for (int y = 0; y < height; ++y) {
    HPEN pen = CreatePen(PS_SOLID, 0, static_cast<COLORREF>((static_cast<int>(c) & 0xFF) << 16));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, 0, y, nullptr);
    LineTo(dc, 10000, y);
    SelectObject(dc, old);
    DeleteObject(pen);
    c -= step;
  }
  const char* title = header.title ? header.title : "";
  HGDIOBJ oldFont = SelectObject(dc, wizard.bannerFont);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  drawText(dc, 14, 14, title);
  SetTextColor(dc, RGB(255, 255, 255));
  drawText(dc, 10, 10, title);

  char credit[sizeof creditText + sizeof makerAddress];
  lstrcpyA(credit, creditText);
  lstrcatA(credit, makerAddress);
  SelectObject(dc, wizard.textFont);
  SetTextColor(dc, RGB(0, 0, 0));
  drawText(dc, 12, height - 23, credit);
  SetTextColor(dc, RGB(255, 255, 255));
  drawText(dc, 10, height - 25, credit);
  SelectObject(dc, oldFont);
  ReleaseDC(window, dc);
}

}  // namespace

LRESULT CALLBACK backgroundProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      return 0;  // the background cannot be closed
    case WM_PAINT:
      paintBackground(window);
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void paintBranding() {
  HDC dc = GetDC(wizard.main);
  HGDIOBJ oldFont = SelectObject(dc, wizard.textFont);
  SetBkMode(dc, TRANSPARENT);
  int h = wizard.client.bottom;
  // Highlight one pixel right and down under the shadow colour: an engraved look.
  SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
  drawText(dc, 111, h - 39, brandingText);
  drawText(dc, 111, h - 24, makerAddress);
  SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
  drawText(dc, 110, h - 40, brandingText);
  drawText(dc, 110, h - 25, makerAddress);
  SetBkMode(dc, OPAQUE);
  SelectObject(dc, oldFont);
  ReleaseDC(wizard.main, dc);
}
