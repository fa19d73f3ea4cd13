// Manifest mistakes that would only break at install time: each refused, or warned about, at its
// place in the manifest.
#include <gtest/gtest.h>

#include <string>

#include "manifest.h"
#include "test_files.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Read {
  std::string errors, warnings;  // one a line
};

Read readManifest(const ScratchFolder& folder, const std::string& manifest) {
  writeFile(folder / "manifest.toml", manifest);
  Read read;
  try {
    for (const std::string& w : qzpack::readManifest(folder / "manifest.toml").warnings)
      read.warnings += w + "\n";
  } catch (const qzpack::BuildError& e) {
    read.errors = std::string(e.what()) + "\n";
  }
  return read;
}

// Lines 1-4 of every case; its own lines follow from line 5.
const std::string head =
    "title = \"x\"\n"
    "[[field]]\ncaption = \"Player\"\nvariableName = \"Player\"\n";
const std::string component =
    "[[component]]\nname = \"c\"\nfiles = [\"one.txt\", \"data\\\\two.bin\"]\n";

// A component (lines 5-7) with one shortcut (line 8), then the shortcut's keys from line 9.
std::string shortcut(const std::string& keys) {
  return head + component + "[[component.shortcut]]\n" + keys;
}

TEST(QzpackManifestChecks, MistakesAreRefusedOrWarnedAboutAtTheirPlace) {
  ScratchFolder folder;
  writeFile(folder / "one.txt", std::string("1"));
  writeFile(folder / "data/two.bin", std::string("2"));
  writeFile(folder / "odd/100%.txt", std::string("3"));
  const std::string at = (folder / "manifest.toml").string() + ":";
  const char* nothing =
      " is neither a built-in path macro nor a field's variableName: it would "
      "expand to nothing";
  const struct {
    const char* what;
    std::string manifest;
    std::string errors, warnings;  // after the manifest's path, one a line
  } cases[] = {
      {"a typo in a link name",
       shortcut("target = \"%PROGRAMDIR%\\\\one.txt\"\nlinkName = \"%DESKTP%\\\\Typo\"\n"),
       "10:12: linkName: %DESKTP%" + std::string(nothing), ""},
      {"a typo in a target and in a working directory, both reported",
       shortcut("target = \"%PLAYR%\\\\one.txt\"\nworkingDirectory = \"%programdir%\\\\%x%\"\n"
                "linkName = \"%DESKTOP%\\\\L\"\n"),
       "9:10: target: %PLAYR%" + std::string(nothing) + "\n" + at + "10:20: workingDirectory: %x%" +
           nothing,
       ""},
      {"a payload file name holding a lone %",
       head + "[[component]]\nname = \"c\"\nfiles = [{ folder = \"odd\" }]\n",
       "7:10: file name: the % of \"%.txt\" has no closing %: setup drops it and the rest of the "
       "text",
       ""},
      {"an unterminated macro and an empty one",
       "defaultDestination = \"%PROGRAMFILES\\\\Tarn\"\nshortcutFolder = \"a%%b\"\n" + head,
       "1:22: defaultDestination: the % of \"%PROGRAMFILES\\Tarn\" has no closing %: setup drops "
       "it and the rest of the text\n" +
           at +
           "2:18: shortcutFolder: %% is a macro with an empty name that expands to nothing "
           "(setup has no escape for %)",
       ""},
      {"variable names setup cannot reach or tell apart",
       head + "[[field]]\ncaption = \"a\"\nvariableName = \"\"\n"
              "[[field]]\ncaption = \"b\"\nvariableName = \"a%b\"\n"
              "[[field]]\ncaption = \"c\"\nvariableName = \"ProgramDir\"\n"
              "[[field]]\ncaption = \"d\"\nvariableName = \"PLAYER\"\n",
       "7:16: variableName is empty: no macro can reach the field\n" + at +
           "10:16: variableName must not hold %\n" + at +
           "13:16: variableName ProgramDir is a built-in path macro, which always wins over a "
           "field\n" +
           at + "16:16: variableName PLAYER is the field at " + at +
           "4:16 again (setup ignores letter case): only the first is reached",
       ""},
      {"a link name with a folder of its own under shortcutFolder",
       "shortcutFolder = \"%PROGRAMS%\\\\Mine Works\"\n" +
           shortcut("target = \"%PROGRAMDIR%\\\\one.txt\"\nlinkName = \"%Desktop%\\\\Mines\"\n") +
           "[[component.shortcut]]\ntarget = \"%PROGRAMDIR%\\\\one.txt\"\n"
           "linkName = \"D:\\\\Mines\"\n",
       "11:12: linkName \"%Desktop%\\Mines\" begins with a folder of its own, but setup joins "
       "every link name below shortcutFolder \"%PROGRAMS%\\Mine Works\": drop one of the two\n" +
           at +
           "14:12: linkName \"D:\\Mines\" begins with a folder of its own, but setup joins "
           "every link name below shortcutFolder \"%PROGRAMS%\\Mine Works\": drop one of "
           "the two",
       ""},
      {"setup macros and field variables in arguments",
       shortcut("target = \"%PROGRAMDIR%\\\\one.txt\"\n"
                "arguments = \"\\\"%PROGRAMDIR%\\\\one.txt\\\" /name %player% %TEMP%\"\n"
                "linkName = \"%DESKTOP%\\\\One\"\n"),
       "",
       "10:13: arguments are passed to the shortcut as written: %PROGRAMDIR% reaches the program "
       "as it is, not expanded\n" +
           at +
           "10:13: arguments are passed to the shortcut as written: %player% reaches the "
           "program as it is, not expanded"},
      {"a target under the destination that the package does not install",
       shortcut("target = \"%PROGRAMDIR%\\\\two.bin\"\nlinkName = \"%DESKTOP%\\\\Two\"\n") +
           "[[component.shortcut]]\ntarget = \"%programdir%\\\\DATA\\\\Two.bin\"\n"
           "linkName = \"%DESKTOP%\\\\%Player%\"\n"
           "[[component.shortcut]]\ntarget = \"%PROGRAMDIR%\\\\data\"\nlinkName = \"L\"\n",
       "", "9:10: target \"%PROGRAMDIR%\\two.bin\" is no file of the package"},
  };
  for (const auto& c : cases) {
    Read read = readManifest(folder, c.manifest);
    EXPECT_EQ(read.errors, c.errors.empty() ? "" : at + c.errors + "\n") << c.what;
    EXPECT_EQ(read.warnings, c.warnings.empty() ? "" : at + c.warnings + "\n") << c.what;
  }
}

}  // namespace
