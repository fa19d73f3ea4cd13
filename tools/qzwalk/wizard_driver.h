// Drives a running setup.exe from another process, as a user would: finds its windows, reads
// texts and visibility, clicks buttons and rows, types, answers message boxes, takes
// screenshots. qzwalk walks packages with it; the end-to-end tests use it too.
#pragma once
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace driver {

struct MessageBox {
  HWND window = nullptr;
  std::string caption, text;
};

// Starts a program (tried again a few times, each failure's reason printed); 0, or the last
// failure's error code.
DWORD startProgram(std::wstring command, const std::filesystem::path& folder,
                   STARTUPINFOW& startup, bool inherit, PROCESS_INFORMATION& process);

class Installer {
 public:
  explicit Installer(const std::filesystem::path& package);
  ~Installer();
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;

  bool started() const { return process_.hProcess != nullptr; }
  // The message box the process shows now, or an empty one.
  MessageBox messageBox() const;
  // The next visible message box of the process (waits for it), or an empty one.
  MessageBox waitForMessageBox(DWORD timeoutMs = 15000);
  // Clicks a message box button and waits until the box is gone.
  void answer(const MessageBox& box, int buttonId);
  // Waits for the main window to be shown and learns its controls.
  bool waitForWizard(DWORD timeoutMs = 15000);
  // A visible dialog of the process that has a child with this id (waits for it), or null.
  HWND waitForDialog(int childId, DWORD timeoutMs = 15000);
  // Exit code once the process ends, or STILL_ACTIVE after the timeout.
  DWORD waitForExit(DWORD timeoutMs = 15000);
  // Confirms, passes every page as proposed and presses the Next that starts the installation,
  // without waiting for it: the run keeps the wizard's thread busy. False when a step did not come.
  bool startRun(DWORD timeoutMs = 15000);
  // Ends the process at once, as a power cut or the task manager would; true once it is gone.
  bool kill(DWORD timeoutMs = 15000);
  void settle();  // lets the wizard handle everything sent so far
  // Returns once the wizard's thread has finished the message it was handling (or has entered a
  // message box's loop); false when it did not answer within the time.
  bool sync(DWORD timeoutMs = 60000);
  // Has every window of the process paint what is due before it returns: a screenshot taken
  // right after a window appears may otherwise catch it half drawn.
  void paint();

  HWND main() const { return main_; }
  HWND background() const;
  HWND child(size_t index) const { return index < children_.size() ? children_[index] : nullptr; }
  HWND pageTitle() const { return child(0); }
  HWND cancel() const { return child(1); }
  HWND back() const { return child(2); }
  HWND next() const { return child(3); }
  HWND finish() const { return child(4); }
  HWND infoBox() const { return child(5); }
  HWND method(int i) const { return child(6 + static_cast<size_t>(i)); }  // full, normal, custom
  HWND componentList() const { return child(9); }
  HWND fieldBox(int i) const { return child(10 + static_cast<size_t>(i)); }
  HWND destinationBox() const { return children_.empty() ? nullptr : children_.back(); }
  // The field boxes lie between the component list and the destination box.
  int fieldCount() const {
    return children_.size() > 11 ? static_cast<int>(children_.size()) - 11 : 0;
  }

  std::string title() const { return text(pageTitle()); }
  static std::string text(HWND window);
  static bool visible(HWND window) { return IsWindowVisible(window) != 0; }
  static bool checked(HWND button) {
    return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void click(HWND button);  // posts the click, then settles
  void type(HWND box, const std::string& text);
  void type(HWND box, const std::wstring& text);
  void clickRow(int row);
  void selectRow(int row, bool selected);
  bool rowSelected(int row) const;
  std::vector<std::string> rowTexts() const;
  void post(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
  std::vector<HWND> children_;
};

// Polls condition until it holds or the time is up; its last answer.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 15000);

// The whole screen as it shows at one moment.
struct Screen {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, top row first; empty when the capture failed
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};
Screen captureScreen();
// Saves a capture as a 32-bit BMP; false when it cannot.
bool saveBitmap(const Screen& screen, const std::filesystem::path& file);

}  // namespace driver
