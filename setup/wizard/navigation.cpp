// The main window's close request and its four buttons: Cancel, Back, Next and Finish.
#include "install/directories.h"
#include "install/macros.h"
#include "package/header.h"
#include "wizard/wizard.h"

namespace {

const char cancelQuestion[] = "Are you sure that you want to cancel the installation procedure?";
const char cancelCaption[] = "Cancel the installation procedure";
const char requiredFieldText[] = "This field is required. Please fill it.";
const char relativeDestinationText[] =
    "Please enter the full path of the destination folder, beginning with a drive letter "
    "(such as C:\\Program Files\\Product) or with a network share (\\\\server\\share\\Product).";

// A required field left empty keeps the user on its page.
bool requiredFieldMissing() {
  int field = wizard.currentPage - firstFieldPage;
  if (wizard.fieldCount == 0 || wizard.currentPage <= componentPage || field >= wizard.fieldCount)
    return false;
  GetWindowTextA(wizard.fieldBoxes[field], textBuffer, textBufferSize);
  if (textBuffer[0] || !(wizard.fieldFlags[field] & fieldRequired)) return false;
  message(requiredFieldText, "Error", MB_ICONERROR);
  return true;
}

// An empty or relative destination would scatter files in the working folder or at the root of
// the current drive; a "\\?\" or "\\.\" path is taken by Windows as written, past the checks
// that keep each file inside the destination, or names a device.
bool destinationIsRelative() {
  char text[maxPathLength + 1] = "";
  GetWindowTextA(wizard.destinationBox, text, sizeof text);
  bool drivePath = ((text[0] | 0x20) >= 'a' && (text[0] | 0x20) <= 'z') && text[1] == ':' &&
                   isSeparator(text[2]);
  bool devicePath = (text[2] == '?' || text[2] == '.') && (!text[3] || isSeparator(text[3]));
  bool networkPath = isSeparator(text[0]) && isSeparator(text[1]) && text[2] &&
                     !isSeparator(text[2]) && !devicePath;
  if (drivePath || networkPath) return false;
  message(relativeDestinationText, "Error", MB_ICONERROR);
  return true;
}

// Shows the page `by` steps away; the component page is passed over unless the method is Custom.
void step(int by) {
  int page = wizard.currentPage + by;
  if (page == componentPage && !isChecked(wizard.customButton)) page += by;
  showPage(page);
}

bool onNext() {
  if (wizard.currentPage >= wizard.pageCount - 2) {
    startInstallation();
    return false;
  }
  if (requiredFieldMissing()) return true;
  if (wizard.currentPage == wizard.destinationPage && destinationIsRelative()) return true;
  step(1);
  if (wizard.currentPage == wizard.destinationPage)
    SetWindowTextA(wizard.destinationBox, expandMacros(header.defaultDestination));
  return false;
}

void onBack() {
  if (wizard.currentPage > 0) step(-1);
}

}  // namespace

bool onClose() {
  if (message(cancelQuestion, cancelCaption, MB_ICONQUESTION | MB_YESNO) != IDYES) return true;
  PostQuitMessage(0);
  return false;  // the default handling destroys the main window
}

bool onCommand(WPARAM wParam, LPARAM lParam) {
  if (HIWORD(wParam) != BN_CLICKED) return false;
  HWND control = reinterpret_cast<HWND>(lParam);
  if (control == wizard.cancelButton) SendMessageA(wizard.main, WM_CLOSE, 0, 0);
  if (control == wizard.finishButton) PostQuitMessage(0);
  if (control == wizard.backButton) onBack();
  if (control == wizard.nextButton) return onNext();
  return false;
}
