#include "wizard_walk.h"

#include <algorithm>

namespace walk {
namespace {

using driver::Installer;

// Generous: a fresh Wine prefix on a loaded machine starts its first window slowly.
constexpr DWORD startDeadline = 120000;
constexpr DWORD stepDeadline = 60000;
constexpr DWORD runDeadline = 3600000;  // the installation itself, from Next to the notice
constexpr int maxSteps = 200;           // more than any wizard has pages, back-and-forth included

enum PageKind { information, method, components, field, destination, ready, last };

struct Page {
  PageKind kind = ready;
  int field = -1;
  bool operator==(const Page& o) const { return kind == o.kind && field == o.field; }
};

// Which page shows, from the controls that are visible; call it with the wizard at rest.
Page currentPage(const Installer& setup) {
  auto shown = [](HWND window) { return Installer::visible(window); };
  if (shown(setup.finish())) return {last};
  if (shown(setup.method(0))) return {method};
  if (shown(setup.componentList())) return {components};
  if (shown(setup.destinationBox())) return {destination};
  if (shown(setup.infoBox())) return {information};
  for (int i = 0; i < setup.fieldCount(); ++i)
    if (shown(setup.fieldBox(i))) return {field, i};
  return {ready};  // the page before the run has no controls of its own
}

const char* pageName(const Page& page) {
  static const char* const names[] = {"information", "method",  "components", "field",
                                      "destination", "install", "last-words"};
  return names[page.kind];
}

// Keeps a screenshot of the screen as it now shows, numbered in the order taken.
void shoot(Installer& setup, const Answers& answers, const std::string& name) {
  static int taken = 0;
  if (answers.shots.empty()) return;
  setup.paint();
  char file[64];
  std::snprintf(file, sizeof file, "%02d-%s.bmp", ++taken, name.c_str());
  if (!driver::saveBitmap(driver::captureScreen(), answers.shots / file))
    std::fprintf(stderr, "qzwalk: could not keep the screenshot %s\n", file);
}

std::string indented(const std::string& text) {
  std::string out;
  for (char c : utf8FromAnsi(text)) {
    if (c == '\r') continue;
    out += c;
    if (c == '\n') out += "    ";
  }
  return out;
}

void printBox(std::FILE* out, const driver::MessageBox& box, const char* answer) {
  std::fprintf(out, "message box \"%s\": %s -> %s\n", utf8FromAnsi(box.caption).c_str(),
               indented(box.text).c_str(), answer);
}

// Gives the page its answers, then prints what it shows.
void answerPage(Installer& setup, const Page& page, const Answers& answers, std::FILE* out,
                Outcome& outcome) {
  std::string title = utf8FromAnsi(Installer::text(setup.pageTitle()));
  switch (page.kind) {
    case method:
      if (answers.method != methodAsProposed) {
        HWND button = setup.method(answers.method);
        setup.click(button);
        driver::waitUntil([&] { return Installer::checked(button); }, stepDeadline);
      }
      for (int i = 0; i < 3; ++i)
        if (Installer::checked(setup.method(i)))
          title += " " + utf8FromAnsi(Installer::text(setup.method(i)));
      break;
    case components: {
      std::vector<std::string> rows = setup.rowTexts();
      for (size_t row = 0; row < rows.size(); ++row) {
        int r = static_cast<int>(row);
        bool wanted = std::count(answers.components.begin(), answers.components.end(), r) > 0;
        if (answers.chooseComponents && setup.rowSelected(r) != wanted) setup.selectRow(r, wanted);
        title += std::string("\n  [") + (setup.rowSelected(r) ? "x" : " ") + "] " +
                 std::to_string(row) + " " + utf8FromAnsi(rows[row]);
      }
      break;
    }
    case field:
      if (auto given = answers.fields.find(page.field); given != answers.fields.end())
        setup.type(setup.fieldBox(page.field), given->second);
      title += " \"" + utf8FromAnsi(Installer::text(setup.fieldBox(page.field))) + "\"";
      break;
    case destination:
      if (answers.chooseDestination) setup.type(setup.destinationBox(), answers.destination);
      outcome.destination = Installer::text(setup.destinationBox());
      title += " " + utf8FromAnsi(outcome.destination);
      break;
    case last:
      if (Installer::visible(setup.infoBox()))
        title += "\n    " + indented(Installer::text(setup.infoBox()));
      break;
    default:
      break;
  }
  std::fprintf(out, "page: %s\n", title.c_str());
  std::fflush(out);
}

enum Step { moved, boxShown, stuck };

// After Next: waits until another page shows or a message box comes up.
Step awaitStep(Installer& setup, const Page& from, DWORD deadline, driver::MessageBox& box) {
  Step step = stuck;
  driver::waitUntil(
      [&] {
        if ((box = setup.messageBox()).window) return (step = boxShown), true;
        if (setup.waitForExit(0) != STILL_ACTIVE) return true;
        // The page changes inside the click's handling: let the handling end before looking.
        if (!(currentPage(setup) == from) && setup.sync()) return (step = moved), true;
        return false;
      },
      deadline);
  return step;
}

// Answers the notice that ends the run and waits for the last page; false when it does not come.
bool finishRun(Installer& setup, const driver::MessageBox& box, std::FILE* out,
               const Answers& answers) {
  shoot(setup, answers, "finished");
  printBox(out, box, "OK");
  setup.answer(box, IDOK);
  return driver::waitUntil([&] { return Installer::visible(setup.finish()); }, stepDeadline) &&
         setup.sync();
}

void stopWith(Outcome& outcome, const std::string& why) {
  if (outcome.failure.empty()) outcome.failure = why;
}

// The pages, from the first to the last; false when the walk stopped on the way.
bool walkPages(Installer& setup, const Answers& answers, std::FILE* out, Outcome& outcome) {
  for (int steps = 0; steps < maxSteps; ++steps) {
    Page page = currentPage(setup);
    answerPage(setup, page, answers, out, outcome);
    shoot(setup, answers,
          page.kind == field ? "field-" + std::to_string(page.field) : pageName(page));
    if (page.kind == last) return true;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    outcome.runStarted = page.kind == ready;
    setup.click(setup.next());
    driver::MessageBox box;
    Step step = awaitStep(setup, page, page.kind == ready ? runDeadline : stepDeadline, box);
    if (step == moved) continue;
    if (step == stuck) {
      DWORD code = setup.waitForExit(0);
      stopWith(outcome, code == STILL_ACTIVE
                            ? "the wizard stayed on its page after Next"
                            : "setup.exe ended with code " + std::to_string(code) + " after Next");
      return false;
    }
    QueryPerformanceCounter(&end);
    if (page.kind == ready)
      std::fprintf(out, "installation: %.3f s from Next to the notice\n",
                   double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    outcome.noticeShown = page.kind == ready && box.text == "Installation finished";
    if (!outcome.noticeShown) {
      shoot(setup, answers, "message");
      printBox(out, box, "OK");
      setup.answer(box, IDOK);
      stopWith(outcome, "setup.exe said: " + utf8FromAnsi(box.text));
      return false;
    }
    if (!finishRun(setup, box, out, answers)) {
      stopWith(outcome, "the last page did not show after the notice");
      return false;
    }
  }
  stopWith(outcome,
           "the wizard did not reach its last page in " + std::to_string(maxSteps) + " steps");
  return false;
}

}  // namespace

std::string utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring wideFromAnsi(const std::string& text) {
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string utf8FromAnsi(const std::string& text) {
  return utf8(wideFromAnsi(text));
}

Outcome walkWizard(Installer& setup, const Answers& answers, std::FILE* out) {
  Outcome outcome;
  driver::MessageBox box = setup.waitForMessageBox(startDeadline);
  if (!box.window) {
    DWORD code = setup.waitForExit(0);
    outcome.failure =
        code == STILL_ACTIVE
            ? "setup.exe showed nothing within " + std::to_string(startDeadline / 1000) + " s"
            : "setup.exe ended with code " + std::to_string(code) + " without showing anything";
    return outcome;
  }
  shoot(setup, answers, "confirmation");
  // The confirmation is the one question with Yes and No; anything else is a refusal.
  if (!GetDlgItem(box.window, IDYES)) {
    printBox(out, box, "OK");
    setup.answer(box, IDOK);
    outcome.failure = "setup.exe said: " + utf8FromAnsi(box.text);
    return outcome;
  }
  printBox(out, box, "Yes");
  setup.answer(box, IDYES);
  if (!setup.waitForWizard(startDeadline) || !setup.sync()) {
    outcome.failure = "the wizard did not appear after the confirmation";
    return outcome;
  }
  if (!walkPages(setup, answers, out, outcome)) return outcome;
  setup.click(setup.finish());
  outcome.exitCode = setup.waitForExit(stepDeadline);
  std::fprintf(out, "setup exited with code %lu\n", static_cast<unsigned long>(outcome.exitCode));
  if (outcome.exitCode != 0) outcome.failure = "setup.exe did not end after Finish";
  return outcome;
}

}  // namespace walk
