// The page table, the custom field pages and four of the wizard services.
#include "package/header.h"
#include "package/services.h"
#include "wizard/wizard.h"

Wizard wizard;

int addPage(const char* title) {
  if (wizard.pageCount == maxPages) return maxPages - 1;  // a header cannot ask for this many
  Page& page = wizard.pages[wizard.pageCount];
  page.title = title;
  page.controlCount = 0;
  return wizard.pageCount++;
}

void addPageControl(int index, HWND control) {
  Page& page = wizard.pages[index];
  if (page.controlCount < maxPageControls) page.controls[page.controlCount++] = control;
}

void showPage(int index) {
  if (wizard.currentPage != -1) {
    const Page& current = wizard.pages[wizard.currentPage];
    for (uint32_t i = 0; i < current.controlCount; ++i) ShowWindow(current.controls[i], SW_HIDE);
  }
  const Page& page = wizard.pages[index];
  if (page.title) {
    ShowWindow(wizard.pageTitle, SW_SHOW);
    SetWindowTextA(wizard.pageTitle, page.title);
  } else {
    ShowWindow(wizard.pageTitle, SW_HIDE);
  }
  for (uint32_t i = 0; i < page.controlCount; ++i) ShowWindow(page.controls[i], SW_SHOW);
  wizard.currentPage = index;
}

HWND createControl(DWORD exStyle, const char* className, const char* text, DWORD style, int x,
                   int y, int width, int height, HFONT font) {
  HWND control = CreateWindowExA(exStyle, className, text, style, x, y, width, height, wizard.main,
                                 nullptr, wizard.instance, nullptr);
  if (font) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return control;
}

bool isChecked(HWND button) {
  return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void createFieldPages() {
  for (const CustomField* field = header.firstField; field && wizard.fieldCount < maxFieldBoxes;
       field = field->next) {
    int page = addPage(field->caption);
    HWND box = createControl(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_BORDER | WS_TABSTOP, 10,
                             55, wizard.client.right - 20, 23, wizard.textFont);
    wizard.fieldBoxes[wizard.fieldCount] = box;
    wizard.fieldFlags[wizard.fieldCount] = field->fieldFlags;
    addPageControl(page, box);
    ++wizard.fieldCount;
  }
}

void addComponentRow(const char* name, int selected) {
  SendMessageA(wizard.componentList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  LRESULT count = SendMessageA(wizard.componentList, LB_GETCOUNT, 0, 0);
  if (count > 0) SendMessageA(wizard.componentList, LB_SETSEL, selected != 0, count - 1);
}

const char* destinationText() {
  static char text[maxPathLength + 1];
  text[0] = 0;
  GetWindowTextA(wizard.destinationBox, text, sizeof text);
  return text;
}

const char* fieldText(int index) {
  static char text[maxPathLength + 1];
  text[0] = 0;
  if (index >= 0 && index < wizard.fieldCount)
    GetWindowTextA(wizard.fieldBoxes[index], text, sizeof text);
  return text;
}

bool rowSelected(int index) {
  return SendMessageA(wizard.componentList, LB_GETSEL, index, 0) > 0;
}
