// The wizard's windows, fonts and page table, shared by its start-up, painting, navigation and
// installation handling. One thread owns all of it.
#pragma once
#include <stdint.h>
#include <windows.h>

enum { maxPages = 96, maxPageControls = 64, maxFieldBoxes = 64 };
// Page 0 holds the pre-installation information and page 1 the method; the custom field pages
// follow the component page.
enum { componentPage = 2, firstFieldPage = 3 };

struct Page {
  const char* title;  // outlives the page: a fixed text or a custom field's caption
  HWND controls[maxPageControls];
  uint32_t controlCount;
};

struct Wizard {
  HINSTANCE instance;
  RECT client;    // the main window's client rectangle
  HWND background, main, pageTitle, cancelButton, backButton, nextButton, finishButton;
  HWND infoBox, fullButton, normalButton, customButton, componentList, destinationBox;
  HWND fieldBoxes[maxFieldBoxes];
  int32_t fieldFlags[maxFieldBoxes];
  int32_t fieldCount;
  HFONT bannerFont, textFont, headingFont, fixedFont;
  Page pages[maxPages];
  int32_t pageCount;
  int32_t currentPage;
  int32_t destinationPage;
};
extern Wizard wizard;

// The texts the user sees, exactly as the product shows them.
extern const char damagedPackageText[];
extern const char makerAddress[];

// Page table (pages.cpp).
int addPage(const char* title);
void addPageControl(int page, HWND control);
void showPage(int page);
void createFieldPages();
HWND createControl(DWORD exStyle, const char* className, const char* text, DWORD style, int x,
                   int y, int width, int height, HFONT font);
bool isChecked(HWND button);

// Painting (paint.cpp).
LRESULT CALLBACK backgroundProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void paintBranding();

// Navigation (navigation.cpp): true when the message was handled in full.
bool onClose();
bool onCommand(WPARAM wParam, LPARAM lParam);

// Component rows, installation and progress (installation.cpp).
void drawComponentRow(const DRAWITEMSTRUCT* item);
void startInstallation();

// Shows a message box owned by the main window.
int message(const char* text, const char* caption, UINT type);
