// setup.exe end to end under Wine and Xvfb: packages made by the packager, driven from another
// process through their windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "test_files.h"
#include "wizard_driver.h"

using namespace testing_support;
using driver::Installer;
namespace fs = std::filesystem;

namespace {

const char* damagedText =
    "Error in VFS. Contact your program vendor to get a fixed version.\n"
    "If you have downloaded this file, try re-downloading it";
const char* cancelText = "Are you sure that you want to cancel the installation procedure?";
const char* readyTitle = "Press the 'Next' button to install the program";

// A system colour as the screen capture holds it (0xRRGGBB).
uint32_t systemColour(int index) {
  COLORREF c = GetSysColor(index);
  return uint32_t{GetRValue(c)} << 16 | uint32_t{GetGValue(c)} << 8 | GetBValue(c);
}

const fs::path stub = hostPath(QZ_SETUP_EXE);
const fs::path artifacts = hostPath(QZ_ARTIFACTS_DIR);

// PROGRAMFILES as a program of the stub's width sees it: a 32-bit one gets the x86 folder.
std::string programFiles() {
  char value[MAX_PATH] = "";
  DWORD size = sizeof value;
  RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
               RRF_RT_REG_SZ, nullptr, value, &size);
  return value;
}

std::string escape(const std::string& path) {
  std::string out;
  for (char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

struct Options {
  bool background = false;
  std::string fields;  // [[field]] tables
  std::string lastWords = "Thanks for installing.\nEnjoy.";
  std::string components;   // [[component]] tables; a default one when empty
  std::string destination;  // defaultDestination; the scratch folder's dest when empty
};

class Wizard : public ::testing::Test {
 protected:
  fs::path makePackage(const Options& o = {}) {
    writeFile(folder / "payload/readme.txt", std::string("read me"));
    writeFile(folder / "payload/data/level.dat", mixedBytes(70000, 5));
    writeFile(folder / "payload/extra.txt", std::string("extra"));
    dest = folder / "installed";
    std::string components = o.components.empty() ? R"(
[[component]]
name = "Program"
required = true
files = ["readme.txt", "data\\level.dat"]
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\readme.txt"
  arguments = "-open"
  workingDirectory = "%PROGRAMDIR%"
  linkName = "%PROGRAMDIR%\\Links\\Read me@PLAYER@"
[[component]]
name = "Extras"
selected = false
files = ["extra.txt"]
)"
                                                  : o.components;
    // The link is named after the player where there is such a field (qzpack refuses a macro
    // that names nothing).
    size_t player = components.find("@PLAYER@");
    if (player != std::string::npos)
      components.replace(player, 8,
                         o.fields.find("\"PLAYER\"") != std::string::npos ? "%PLAYER%" : "");
    std::string manifest =
        "title = \"Test Product\"\n"
        "defaultDestination = \"" +
        escape(o.destination.empty() ? dest.string() : o.destination) + "\"\n" +
        "preInstallText = \"Before you start.\\nSecond line.\"\n" + "lastWords = \"\"\"" +
        o.lastWords + "\"\"\"\n" + "source = \"payload\"\n" +
        (o.background ? "background = true\n" : "") + o.fields + components;
    return buildPackage(folder, manifest, stub);
  }

  // Starts the package and accepts the confirmation; the wizard shows page 0.
  void start(const fs::path& package) {
    setup = std::make_unique<Installer>(package);
    ASSERT_TRUE(setup->started());
    driver::MessageBox box = setup->waitForMessageBox();
    ASSERT_TRUE(box.window) << "no confirmation";
    EXPECT_EQ(box.caption, "Test Product");
    EXPECT_EQ(box.text,
              "This will install `Test Product' in your system.\nDo you want to continue?");
    setup->answer(box, IDYES);
    ASSERT_TRUE(setup->waitForWizard());
  }
  void next() { setup->click(setup->next()); }
  void back() { setup->click(setup->back()); }
  driver::Screen shoot(const std::string& name, Installer* program = nullptr) {
    // A window that has just appeared may not be drawn on the screen yet.
    if (!program) program = setup.get();
    program->settle();
    program->paint();
    driver::Screen screen = driver::captureScreen();
    EXPECT_TRUE(driver::saveBitmap(screen, artifacts / (name + ".bmp")));
    return screen;
  }
  // The colours on the progress bar's place (200 by 16 pixels, centred, its top 150 above the
  // client area's bottom) that no visible control of the main window covers.
  std::set<uint32_t> barColours() const {
    RECT client;
    GetClientRect(setup->main(), &client);
    POINT origin{0, 0};
    ClientToScreen(setup->main(), &origin);
    std::vector<RECT> controls;
    for (HWND c = GetWindow(setup->main(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      RECT r;
      if (Installer::visible(c) && GetWindowRect(c, &r)) controls.push_back(r);
    }
    driver::Screen screen = driver::captureScreen();
    std::set<uint32_t> colours;
    int left = origin.x + client.right / 2 - 100, top = origin.y + client.bottom - 150;
    for (int y = top; y < top + 16 && !screen.pixels.empty(); ++y) {
      for (int x = left; x < left + 200; ++x) {
        POINT p{x, y};
        bool covered = false;
        for (const RECT& r : controls) covered = covered || PtInRect(&r, p);
        if (!covered) colours.insert(screen.at(x, y));
      }
    }
    return colours;
  }
  // Expects a message box with this text and caption and answers it.
  void expectBox(const std::string& text, const std::string& caption, int button = IDOK) {
    driver::MessageBox box = setup->waitForMessageBox();
    ASSERT_TRUE(box.window) << "no message box for: " << text;
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, caption);
    setup->answer(box, button);
  }

  ScratchFolder folder;
  fs::path dest;
  std::unique_ptr<Installer> setup;
};

TEST_F(Wizard, DecliningTheConfirmationExitsBeforeAnyPage) {
  setup = std::make_unique<Installer>(makePackage());
  driver::MessageBox box = setup->waitForMessageBox();
  ASSERT_TRUE(box.window);
  shoot("00-confirmation");
  setup->answer(box, IDNO);
  EXPECT_EQ(setup->waitForExit(), 0u);
  EXPECT_FALSE(fs::exists(dest));
}

TEST_F(Wizard, PageZeroShowsThePreInstallTextInACentredWindow) {
  start(makePackage());
  EXPECT_EQ(setup->title(), "Preinstallation information:");
  EXPECT_EQ(Installer::text(setup->main()), "Test Product");
  EXPECT_TRUE(Installer::visible(setup->infoBox()));
  EXPECT_EQ(Installer::text(setup->infoBox()), "Before you start.\r\nSecond line.");
  RECT r;
  GetWindowRect(setup->main(), &r);
  EXPECT_EQ(r.left, 1024 / 2 - 250);
  EXPECT_EQ(r.top, 768 / 2 - 150);
  EXPECT_EQ(r.right - r.left, 500);
  EXPECT_EQ(r.bottom - r.top, 300);
  EXPECT_FALSE(Installer::visible(setup->background())) << "background flag clear";
  shoot("01-page0-information");
  next();
  EXPECT_EQ(setup->title(), "Select installation method:");
  EXPECT_TRUE(SendMessageA(setup->method(1), BM_GETCHECK, 0, 0) == BST_CHECKED);
  shoot("02-page1-method");
}

TEST_F(Wizard, BackgroundWindowStaysBehindWithoutActivationAndIgnoresClose) {
  Options o;
  o.background = true;
  start(makePackage(o));
  HWND background = setup->background();
  ASSERT_TRUE(background);
  EXPECT_TRUE(Installer::visible(background));
  EXPECT_FALSE(IsWindowEnabled(background));
  EXPECT_NE(GetForegroundWindow(), background);
  EXPECT_EQ(GetForegroundWindow(), setup->main());
  SendMessageA(background, WM_CLOSE, 0, 0);
  setup->settle();
  EXPECT_TRUE(IsWindow(background) && Installer::visible(background));

  // Blue 255 at the top fading to black at the bottom (the right edge is free of text and of the
  // wizard), and the credit line in white 10 pixels in from the left and 25 up from the bottom.
  auto isText = [](uint32_t pixel) { return (pixel >> 16) >= 0x80; };  // the gradient has no red
  auto textIn = [&](const driver::Screen& s, int left, int top, int right, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) count += isText(s.at(x, y));
    return count;
  };
  driver::Screen screen;
  driver::waitUntil([&] {
    screen = driver::captureScreen();
    return !screen.pixels.empty() && screen.at(screen.width - 1, 0) == 0x0000FF &&
           textIn(screen, 0, screen.height - 25, screen.width / 2, screen.height - 12) > 0;
  });
  EXPECT_TRUE(driver::saveBitmap(screen, artifacts / "03-background-window.bmp"));
  ASSERT_FALSE(screen.pixels.empty());
  const int w = screen.width, h = screen.height;
  EXPECT_EQ(screen.at(w - 1, 0), 0x0000FFu) << "top";
  EXPECT_EQ(screen.at(w - 1, h - 1), 0x000000u) << "bottom";
  for (int y = 1; y < h; ++y) {
    uint32_t above = screen.at(w - 1, y - 1), here = screen.at(w - 1, y);
    ASSERT_TRUE(here <= 0xFF && here <= above) << "row " << y << ": " << std::hex << here;
  }
  EXPECT_GT(textIn(screen, 10, h - 25, w / 2, h - 12), 0) << "the credit line";
  EXPECT_EQ(textIn(screen, 0, h - 25, 10, h - 12), 0) << "left of the credit line";
  EXPECT_EQ(textIn(screen, 0, h - 60, w / 2, h - 25), 0) << "above the credit line";
}

TEST_F(Wizard, NavigationWithoutFieldsSkipsTheComponentPageUnlessCustom) {
  start(makePackage());
  next();  // page 1
  next();  // Normal: straight to the destination page (3)
  EXPECT_EQ(setup->title(), "Destination path:");
  EXPECT_EQ(Installer::text(setup->destinationBox()), dest.string()) << "the expanded default";
  shoot("05-destination");
  back();
  EXPECT_EQ(setup->title(), "Select installation method:");
  setup->click(setup->method(2));  // Custom
  next();
  EXPECT_EQ(setup->title(), "Select components to install:");
  EXPECT_TRUE(Installer::visible(setup->componentList()));
  shoot("04-components");
  next();
  EXPECT_EQ(setup->title(), "Destination path:");
  back();
  EXPECT_EQ(setup->title(), "Select components to install:");
  back();
  back();
  EXPECT_EQ(setup->title(), "Preinstallation information:");
  back();  // Back on page 0 does nothing
  EXPECT_EQ(setup->title(), "Preinstallation information:");
}

TEST_F(Wizard, CustomFieldPagesRequiredFieldsAndTheDestinationRefill) {
  Options o;
  o.fields = R"(
[[field]]
caption = "Your name:"
variableName = "NAME"
required = true
[[field]]
caption = "Nickname (optional):"
variableName = "NICK"
)";
  o.destination = "%PROGRAMFILES%\\%NAME%";
  start(makePackage(o));
  next();
  next();  // Normal: page 1 to the first field page (3)
  EXPECT_EQ(setup->title(), "Your name:");
  EXPECT_TRUE(Installer::visible(setup->fieldBox(0)));
  shoot("06-field-page");
  back();
  EXPECT_EQ(setup->title(), "Select installation method:");
  next();
  next();  // empty required field
  expectBox("This field is required. Please fill it.", "Error");
  EXPECT_EQ(setup->title(), "Your name:");
  setup->type(setup->fieldBox(0), "   ");  // blanks count as filled
  next();
  EXPECT_EQ(setup->title(), "Nickname (optional):");
  next();  // an empty optional field passes
  EXPECT_EQ(setup->title(), "Destination path:");
  EXPECT_EQ(Installer::text(setup->destinationBox()), programFiles() + "\\   ");
  back();
  EXPECT_EQ(setup->title(), "Nickname (optional):");
  back();
  setup->type(setup->fieldBox(0), "Ann");
  next();
  next();
  EXPECT_EQ(Installer::text(setup->destinationBox()), programFiles() + "\\Ann")
      << "refilled by Next";
  setup->type(setup->destinationBox(), "C:\\Typed");
  next();
  EXPECT_EQ(setup->title(), "Press the 'Next' button to install the program");
  back();
  EXPECT_EQ(Installer::text(setup->destinationBox()), "C:\\Typed") << "kept on a Back return";
}

TEST_F(Wizard, RelativeEmptyOrDeviceDestinationIsRefused) {
  start(makePackage());
  next();
  next();
  for (const char* bad : {"", "relative\\folder", "C:folder", "\\rooted", "\\\\?\\C:\\x",
                          "\\\\.\\C:\\x", "//?/C:/x", "\\\\."}) {
    setup->type(setup->destinationBox(), bad);
    next();
    driver::MessageBox box = setup->waitForMessageBox();
    ASSERT_TRUE(box.window) << "no refusal for \"" << bad << "\"";
    EXPECT_EQ(box.caption, "Error");
    EXPECT_NE(box.text.find("full path"), std::string::npos) << box.text;
    setup->answer(box, IDOK);
    EXPECT_EQ(setup->title(), "Destination path:");
  }
  setup->type(setup->destinationBox(), dest.string());
  next();
  EXPECT_EQ(setup->title(), "Press the 'Next' button to install the program");
}

TEST_F(Wizard, CancelCloseBoxAndAltF4AskAndNoChangesNothing) {
  start(makePackage());
  next();
  setup->click(setup->cancel());
  expectBox(cancelText, "Cancel the installation procedure", IDNO);
  setup->post(WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
  expectBox(cancelText, "Cancel the installation procedure", IDNO);
  setup->post(WM_SYSKEYDOWN, VK_F4, 1 << 29);  // Alt+F4
  expectBox(cancelText, "Cancel the installation procedure", IDNO);
  EXPECT_EQ(setup->title(), "Select installation method:");
  EXPECT_TRUE(Installer::visible(setup->main()));
  setup->click(setup->cancel());
  expectBox(cancelText, "Cancel the installation procedure", IDYES);
  EXPECT_EQ(setup->waitForExit(), 0u);
  EXPECT_FALSE(fs::exists(dest));
}

TEST_F(Wizard, ComponentRowsAndTheChecksBeforeInstalling) {
  start(makePackage());
  next();
  setup->click(setup->method(2));
  next();
  EXPECT_EQ(setup->rowTexts(), (std::vector<std::string>{"Program", "Extras"}));
  EXPECT_TRUE(setup->rowSelected(0));
  EXPECT_FALSE(setup->rowSelected(1));
  setup->clickRow(1);
  EXPECT_TRUE(setup->rowSelected(1));
  setup->clickRow(1);
  EXPECT_FALSE(setup->rowSelected(1));
  setup->clickRow(0);  // now nothing is selected
  EXPECT_FALSE(setup->rowSelected(0));
  next();
  next();
  next();
  expectBox("Please select at least one component to install", "Error");
  EXPECT_EQ(setup->title(), "Select components to install:");

  setup->clickRow(1);  // Extras only: the required Program is left out
  next();
  next();
  next();
  expectBox("Component `Program' is required!", "Required component not checked");
  EXPECT_EQ(setup->title(), "Select components to install:");
  EXPECT_TRUE(setup->rowSelected(0)) << "selected again";

  // Full installation still needs one selected row.
  setup->clickRow(0);
  setup->clickRow(1);
  back();
  setup->click(setup->method(0));
  next();
  next();
  next();
  expectBox("Please select at least one component to install", "Error");
  EXPECT_EQ(setup->title(), "Select components to install:");
}

TEST_F(Wizard, AFullRunInstallsShowsTheLastWordsAndFinishEnds) {
  Options o;
  o.fields = "[[field]]\ncaption = \"Player:\"\nvariableName = \"PLAYER\"\nrequired = true\n";
  start(makePackage(o));
  next();
  setup->click(setup->method(0));  // Full: Extras too, although its row is not selected
  next();
  setup->type(setup->fieldBox(0), " for Ann");  // named in the link
  next();
  next();
  shoot("07-ready-to-install");
  next();
  driver::MessageBox done = setup->waitForMessageBox();
  ASSERT_TRUE(done.window);
  EXPECT_EQ(done.text, "Installation finished");
  EXPECT_EQ(done.caption, "Done");
  shoot("08-progress-and-finished");
  setup->answer(done, IDOK);
  EXPECT_EQ(readFile(dest / "readme.txt"), bytesOf("read me"));
  EXPECT_EQ(readFile(dest / "data/level.dat"), mixedBytes(70000, 5));
  EXPECT_EQ(readFile(dest / "extra.txt"), bytesOf("extra"));
  EXPECT_TRUE(fs::exists(dest / "Links/Read me for Ann.lnk"));
  std::string d = dest.string();
  EXPECT_EQ(readFile(dest / "_qzsetup.log"), logOf({{1, d + "\\data\\level.dat"},
                                                    {1, d + "\\readme.txt"},
                                                    {2, d + "\\Links\\Read me for Ann.lnk"},
                                                    {1, d + "\\extra.txt"}}));

  EXPECT_EQ(setup->title(), "Some last words from the author:");
  EXPECT_TRUE(Installer::visible(setup->finish()));
  EXPECT_FALSE(Installer::visible(setup->next()));
  EXPECT_FALSE(Installer::visible(setup->back()));
  EXPECT_FALSE(Installer::visible(setup->cancel()));
  EXPECT_TRUE(Installer::visible(setup->infoBox()));
  EXPECT_EQ(Installer::text(setup->infoBox()), "Thanks for installing.\r\nEnjoy.");
  shoot("09-last-words");
  setup->click(setup->finish());
  EXPECT_EQ(setup->waitForExit(), 0u) << "Finish ends without a question";
}

TEST_F(Wizard, EmptyLastWordsShowOnlyTheTitle) {
  Options o;
  o.lastWords = "";
  start(makePackage(o));
  next();
  next();
  next();
  next();
  expectBox("Installation finished", "Done");
  EXPECT_EQ(setup->title(), "Some last words from the author:");
  EXPECT_TRUE(driver::waitUntil([&] {
    return barColours() == std::set<uint32_t>{0x000000, systemColour(COLOR_HIGHLIGHT)};
  })) << "the full bar stays on the last page";
  EXPECT_FALSE(Installer::visible(setup->infoBox()));
  EXPECT_TRUE(Installer::visible(setup->finish()));
  EXPECT_FALSE(fs::exists(dest / "extra.txt")) << "Normal installs only the selected rows";
}

TEST_F(Wizard, TheCarrierCanBeNeitherMovedNorOverwrittenWhileSetupRuns) {
  fs::path package = makePackage();
  start(package);
  next();
  next();
  next();
  // What another program would do to put another package in its place after the prompt.
  std::error_code error;
  fs::rename(package, folder / "moved.exe", error);
  EXPECT_TRUE(error) << "renamed";
  HANDLE writer =
      CreateFileW(package.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "opened for writing";
  CloseHandle(writer);
  next();
  expectBox("Installation finished", "Done");
  EXPECT_TRUE(fs::exists(dest / "readme.txt"));
}

TEST_F(Wizard, PartWayFailuresAreShownAndTheUserMayTryAgain) {
  start(makePackage());
  next();
  next();
  fs::path blocked = folder / "blocked";
  writeFile(blocked, std::string("a file where a folder should be"));
  setup->type(setup->destinationBox(), blocked.string());
  next();
  next();
  expectBox("Could not write `" + blocked.string() +
                "\\_qzsetup.log'.\nCheck that the disk has room and that you may write to the "
                "destination.",
            "Error");
  EXPECT_EQ(setup->title(), "Press the 'Next' button to install the program");
  shoot("10-write-failure-stays");
  back();
  setup->type(setup->destinationBox(), dest.string());
  next();
  next();
  expectBox("Installation finished", "Done");
}

TEST_F(Wizard, DamagedEntryShowsThePackageDamageMessageAndLeavesNoBarBehind) {
  Options o;
  o.fields = "[[field]]\ncaption = \"Your name:\"\nvariableName = \"NAME\"\n";
  fs::path package = makePackage(o);
  Bytes bytes = readFile(package);
  bytes[bytes.size() - 3000] ^= 0x20;  // inside level.dat's stream, after some progress is drawn
  writeFile(package, bytes);
  start(package);
  for (int page = 0; page < 4; ++page) next();
  ASSERT_EQ(setup->title(), readyTitle);
  next();
  expectBox(damagedText, "Internal error");
  EXPECT_EQ(setup->title(), readyTitle);
  EXPECT_FALSE(fs::exists(dest / "data/level.dat"));
  const std::set<uint32_t> background{systemColour(COLOR_BTNFACE)};
  for (const char* page : {"Destination path:", "Your name:", "Select installation method:"}) {
    back();
    ASSERT_EQ(setup->title(), page);
    EXPECT_TRUE(driver::waitUntil([&] { return barColours() == background; })) << page;
  }
}

TEST_F(Wizard, ClicksAndKeysDuringTheRunAreDroppedNotActedOnAfterwards) {
  // Links take the shell a while each: a run of seconds from a small package. They are made in
  // the reverse of header order, so link 0 is the last thing the run does.
  const int links = 150;
  std::string component = "[[component]]\nname = \"Links\"\nfiles = [\"readme.txt\"]\n";
  for (int i = 0; i < links; ++i)
    component +=
        "[[component.shortcut]]\ntarget = \"%PROGRAMDIR%\\\\readme.txt\"\n"
        "linkName = \"%PROGRAMDIR%\\\\Links\\\\" +
        std::to_string(i) + "\"\n";
  Options o;
  o.components = component;
  start(makePackage(o));
  for (int page = 0; page < 3; ++page) next();
  ASSERT_EQ(setup->title(), readyTitle);
  PostMessageA(setup->next(), BM_CLICK, 0, 0);  // no settling: the run does not look for input
  fs::path first = dest / ("Links/" + std::to_string(links - 1) + ".lnk");
  ASSERT_TRUE(driver::waitUntil([&] { return fs::exists(first); }, 60000));
  RECT frame;
  GetWindowRect(setup->main(), &frame);
  LPARAM closeBox = MAKELPARAM(frame.right - 10, frame.top + 10);
  PostMessageA(setup->main(), WM_NCLBUTTONDOWN, HTCLOSE, closeBox);
  PostMessageA(setup->main(), WM_NCLBUTTONUP, HTCLOSE, closeBox);
  PostMessageA(setup->main(), WM_SYSKEYDOWN, VK_F4, 1 << 29);  // Alt+F4
  PostMessageA(setup->main(), WM_SYSKEYUP, VK_F4, 1u << 29 | 1u << 30 | 1u << 31);
  ASSERT_FALSE(fs::exists(dest / "Links/0.lnk")) << "the run had ended before the input came";
  driver::MessageBox done = setup->waitForMessageBox(100000);  // a loaded machine is slow
  ASSERT_TRUE(done.window);
  EXPECT_EQ(done.text, "Installation finished");
  setup->answer(done, IDOK);
  EXPECT_FALSE(setup->waitForMessageBox(1).window) << "no question after the run";
  EXPECT_EQ(setup->title(), "Some last words from the author:");
  EXPECT_TRUE(Installer::visible(setup->finish()));
  setup->click(setup->finish());
  EXPECT_EQ(setup->waitForExit(), 0u);
}

TEST_F(Wizard, DamagedPackagesAreRefusedBeforeAnyWindow) {
  fs::path package = makePackage();
  Bytes whole = readFile(package);
  uint32_t headerOffset = getU32(whole, 96);
  std::vector<std::pair<std::string, Bytes>> damaged;
  damaged.push_back({"bare stub", Bytes(whole.begin(), whole.begin() + headerOffset)});
  damaged.push_back({"header cut", Bytes(whole.begin(), whole.begin() + headerOffset + 40)});
  damaged.push_back({"archive cut", Bytes(whole.begin(), whole.end() - 20000)});
  Bytes pastEnd = whole;
  pastEnd[headerOffset + 3] = 0x7F;  // archive offset far past the end
  damaged.push_back({"archive offset", pastEnd});
  Bytes huge = whole;
  huge[headerOffset + 8] = 0xFF;  // custom field count
  huge[headerOffset + 9] = 0xFF;
  damaged.push_back({"field count", huge});
  for (size_t i = 0; i < damaged.size(); ++i) {
    const auto& [what, bytes] = damaged[i];
    SCOPED_TRACE(what);
    fs::path file = folder / ("damaged-" + std::to_string(i) + ".exe");
    writeFile(file, bytes);
    Installer run(file);
    driver::MessageBox box = run.waitForMessageBox();
    ASSERT_TRUE(box.window);
    EXPECT_EQ(box.text, damagedText);
    EXPECT_EQ(box.caption, "Internal error");
    if (what == "bare stub") shoot("11-damaged-package", &run);
    run.answer(box, IDOK);
    EXPECT_EQ(run.waitForExit(), 0u);
    EXPECT_FALSE(run.main());
  }
}

}  // namespace
