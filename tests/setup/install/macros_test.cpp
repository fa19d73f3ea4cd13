// Path macro expansion with the system's folders, its registry and the wizard's boxes replaced
// by doubles.
#include "install/macros.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "install/system_lookup.h"
#include "package/header.h"
#include "package/services.h"

namespace {

using RegistryKey = std::tuple<RegistryRoot, std::string, std::string>;
std::map<RegistryKey, std::string> registry;
std::string destination, systemDir = "C:\\WINDOWS\\system32", windowsDir = "C:\\WINDOWS";
std::vector<std::string> fields;
std::string returned;

const char* shellFolders = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* currentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

}  // namespace

const char* readRegistryString(RegistryRoot root, const char* subkey, const char* valueName,
                               const char* defaultText) {
  auto it = registry.find({root, subkey, valueName});
  if (it == registry.end()) return defaultText;
  returned = it->second;
  return returned.c_str();
}
void systemDirectory(char* buffer) {
  snprintf(buffer, folderBufferSize, "%s", systemDir.c_str());
}
void windowsDirectory(char* buffer) {
  snprintf(buffer, folderBufferSize, "%s", windowsDir.c_str());
}
const char* destinationText() {
  return destination.c_str();
}
const char* fieldText(int index) {
  return fields.at(static_cast<size_t>(index)).c_str();
}

namespace {

class Macros : public ::testing::Test {
 protected:
  void SetUp() override {
    freeSetupHeader();
    registry.clear();
    fields.clear();
    destination = "C:\\Games\\Tarn";
    systemDir = "C:\\WINDOWS\\system32";
    windowsDir = "C:\\WINDOWS";
  }
  void TearDown() override { freeSetupHeader(); }
  static void field(const char* variable, const char* value) {
    addCustomField("caption", variable, 0);
    fields.push_back(value);
  }
  static std::string expand(const std::string& text) { return expandMacros(text.c_str()); }
};

TEST_F(Macros, TextWithoutPercentIsCopiedUnchanged) {
  EXPECT_EQ(expand("C:\\Program Files\\Maker"), "C:\\Program Files\\Maker");
  EXPECT_EQ(expand(""), "");
  EXPECT_EQ(expandMacros("x"), textBuffer);
}

TEST_F(Macros, NamesMatchInAnyLetterCase) {
  registry[{registryLocalMachine, currentVersion, "ProgramFilesDir"}] = "D:\\Apps";
  EXPECT_EQ(expand("%programfiles%\\X"), "D:\\Apps\\X");
  EXPECT_EQ(expand("%ProgramFiles%\\X"), "D:\\Apps\\X");
  EXPECT_EQ(expand("%SystemDir%|%windowsdir%"), "C:\\WINDOWS\\system32|C:\\WINDOWS");
}

TEST_F(Macros, UnterminatedMacroIsDroppedWithTheRest) {
  EXPECT_EQ(expand("100%"), "100");
  EXPECT_EQ(expand("a%PROGRAMDIR"), "a");
  EXPECT_EQ(expand("%PROGRAMDIR%\\50% off"), "C:\\Games\\Tarn\\50");
}

TEST_F(Macros, TwoPercentSignsFormAnEmptyName) {
  EXPECT_EQ(expand("a%%b"), "ab");
  field("", "EMPTY");
  EXPECT_EQ(expand("a%%b"), "aEMPTYb") << "a field with an empty variable name answers it";
}

TEST_F(Macros, UnknownNamesExpandToNothing) {
  EXPECT_EQ(expand("%NOSUCHFOLDER%\\file.txt"), "\\file.txt");
}

TEST_F(Macros, ProgramDirLosesOneTrailingBackslash) {
  EXPECT_EQ(expand("%PROGRAMDIR%\\a.exe"), "C:\\Games\\Tarn\\a.exe");
  destination = "C:\\Games\\Tarn\\";
  EXPECT_EQ(expand("%PROGRAMDIR%\\a.exe"), "C:\\Games\\Tarn\\a.exe");
  destination = "C:\\Games\\Tarn\\\\";
  EXPECT_EQ(expand("%PROGRAMDIR%"), "C:\\Games\\Tarn\\") << "only one backslash goes";
  destination = "C:\\";
  EXPECT_EQ(expand("%PROGRAMDIR%"), "C:");
  destination = "";
  EXPECT_EQ(expand("[%PROGRAMDIR%]"), "[]");
}

TEST_F(Macros, BuiltInsShadowCustomFieldsAndTheFirstEqualFieldWins) {
  registry[{registryCurrentUser, shellFolders, "Desktop"}] = "C:\\Users\\me\\Desktop";
  field("DESKTOP", "field value");
  field("player", "Ann");
  field("PLAYER", "Bob");
  EXPECT_EQ(expand("%DESKTOP%"), "C:\\Users\\me\\Desktop");
  EXPECT_EQ(expand("%Player%"), "Ann");
}

TEST_F(Macros, RegistryValuesAndTheirDefaults) {
  EXPECT_EQ(expand("%PROGRAMFILES%"), "C:\\Program Files") << "unreadable: the default";
  registry[{registryLocalMachine, currentVersion, "ProgramFilesDir"}] = "";
  EXPECT_EQ(expand("[%PROGRAMFILES%]"), "[]") << "an empty value stays empty";
  EXPECT_EQ(expand("[%COMMONDESKTOP%][%DESKTOP%][%FONTS%][%PROGRAMS%][%STARTUP%][%STARTMENU%]"),
            "[][][][][][]");
  registry[{registryCurrentUser, shellFolders, "Programs"}] = "P";
  registry[{registryCurrentUser, shellFolders, "Startup"}] = "S";
  registry[{registryCurrentUser, shellFolders, "Start Menu"}] = "M";
  registry[{registryCurrentUser, shellFolders, "Fonts"}] = "F";
  registry[{registryLocalMachine, shellFolders, "Common Desktop"}] = "CD";
  EXPECT_EQ(expand("%PROGRAMS%%STARTUP%%STARTMENU%%FONTS%%COMMONDESKTOP%"), "PSMFCD");
}

TEST_F(Macros, EveryFallback) {
  EXPECT_EQ(expand("%PROGRAMFILESCOMMON%"), "C:\\Program Files\\Common");
  registry[{registryLocalMachine, currentVersion, "ProgramFilesDir"}] = "E:\\Prog";
  EXPECT_EQ(expand("%PROGRAMFILESCOMMON%"), "E:\\Prog\\Common");
  registry[{registryLocalMachine, currentVersion, "CommonFilesDir"}] = "E:\\Shared";
  EXPECT_EQ(expand("%PROGRAMFILESCOMMON%"), "E:\\Shared");

  EXPECT_EQ(expand("%APPDATA%"), "C:\\WINDOWS\\Application Data");
  registry[{registryCurrentUser, shellFolders, "AppData"}] = "";
  EXPECT_EQ(expand("%APPDATA%"), "C:\\WINDOWS\\Application Data") << "empty value: fallback too";
  registry[{registryCurrentUser, shellFolders, "AppData"}] = "C:\\Roaming";
  EXPECT_EQ(expand("%APPDATA%"), "C:\\Roaming");

  windowsDir = "D:\\WINNT";
  EXPECT_EQ(expand("%MYDOCUMENTS%"), "D:\\My Documents");
  registry[{registryCurrentUser, shellFolders, "Personal"}] = "C:\\Docs";
  EXPECT_EQ(expand("%MYDOCUMENTS%"), "C:\\Docs");
}

TEST_F(Macros, LongNamesAndValuesAreCutNeverOverrun) {
  // A name of 300 characters is cut to its first 255, which name no macro.
  EXPECT_EQ(expand("a%" + std::string(300, 'N') + "%b"), "ab");
  field(std::string(255, 'N').c_str(), "cut name");
  EXPECT_EQ(expand("%" + std::string(300, 'N') + "%"), "cut name");

  // A value that with "\Common" passes 260 characters keeps its first 260.
  std::string long255(255, 'p');
  registry[{registryLocalMachine, currentVersion, "ProgramFilesDir"}] = long255;
  std::string common = expand("%PROGRAMFILESCOMMON%");
  EXPECT_EQ(common, long255 + "\\Comm");
  EXPECT_EQ(common.size(), 260u);
  windowsDir = std::string(250, 'w');
  EXPECT_EQ(expand("%APPDATA%").size(), 260u);

  // The whole expansion stops at the end of textBuffer.
  destination = std::string(260, 'd');
  std::string many;
  for (int i = 0; i < 100; ++i) many += "%PROGRAMDIR%";
  std::string result = expand(many);
  EXPECT_EQ(result.size(), size_t{textBufferSize - 1});
  EXPECT_EQ(result, std::string(textBufferSize - 1, 'd'));
}

}  // namespace
