// Walks a package's wizard from start to end without a user, as the demo does on a machine
// without a display: accepts, fills required fields, keeps the proposed destination, installs,
// prints what was installed and presses Finish.
#include <cstdio>
#include <filesystem>
#include <string>

#include "wizard_driver.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: walk_wizard PACKAGE.exe\n");
    return 2;
  }
  driver::Installer setup(argv[1]);
  driver::MessageBox box = setup.waitForMessageBox();
  if (!box.window) {
    std::fprintf(stderr, "walk_wizard: no confirmation appeared\n");
    return 1;
  }
  std::printf("%s: %s\n", box.caption.c_str(), box.text.c_str());
  setup.answer(box, IDYES);
  if (!setup.waitForWizard()) {
    std::fprintf(stderr, "walk_wizard: the wizard did not appear\n");
    return 1;
  }
  std::string destination;
  for (int step = 0; step < 200; ++step) {
    std::string title = setup.title();
    std::printf("page: %s\n", title.c_str());
    if (title == "Destination path:") destination = driver::Installer::text(setup.destinationBox());
    if (title == "Some last words from the author:") break;
    // Next on the page before the last starts the run; clicking again while it goes on would
    // queue clicks that start it again once the finish notice pumps messages.
    bool installs = title == "Press the 'Next' button to install the program";
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    setup.click(setup.next());
    if (driver::MessageBox shown = setup.waitForMessageBox(installs ? 3600000 : 300);
        shown.window) {
      QueryPerformanceCounter(&end);
      if (installs)
        std::printf("installation: %.3f s from Next to the notice\n",
                    double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
      std::printf("message: %s: %s\n", shown.caption.c_str(), shown.text.c_str());
      bool finished = shown.text == "Installation finished";
      setup.answer(shown, IDOK);
      if (shown.text == "This field is required. Please fill it.") {
        // The field page is still shown: its box is the focused edit of the wizard.
        for (int i = 0; i < 64 && setup.fieldBox(i); ++i)
          if (driver::Installer::visible(setup.fieldBox(i)))
            setup.type(setup.fieldBox(i), "Demo User");
      } else if (!finished) {
        return 1;
      }
    }
  }
  std::printf("last words: %s\n", driver::Installer::text(setup.infoBox()).c_str());
  setup.click(setup.finish());
  std::printf("setup exited with code %lu\n", static_cast<unsigned long>(setup.waitForExit()));
  std::printf("installed into %s:\n", destination.c_str());
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(destination, ec))
    if (entry.is_regular_file())
      std::printf("  %s (%llu bytes)\n", entry.path().string().c_str(),
                  static_cast<unsigned long long>(entry.file_size()));
  std::FILE* log = std::fopen((fs::path(destination) / "_qzsetup.log").string().c_str(), "rb");
  if (log) {
    std::printf("install log:\n");
    for (int type; (type = std::fgetc(log)) != EOF;) {
      std::string path;
      for (int c; (c = std::fgetc(log)) != EOF && c != 0;) path += static_cast<char>(c);
      std::printf("  %s %s\n",
                  type == 1   ? "file    "
                  : type == 2 ? "shortcut"
                              : "?       ",
                  path.c_str());
    }
    std::fclose(log);
  }
  return 0;
}
