// A UTF-8 package end to end under Wine: Cyrillic texts, Greek file and folder names, Japanese
// component and shortcut names, a Polish field value in a file name and a user folder with a
// Cyrillic name, installed through the wizard, read back in UTF-16, and removed to nothing; and
// both programs refusing to run where the UTF-8 code page was not given to them.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <sstream>
#include <string>

#include "code_page.h"
#include "package_extract.h"
#include "package_report.h"
#include "silent_run.h"
#include "test_files.h"
#include "wizard_driver.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const fs::path setupExe = hostPath(QZ_SETUP_EXE);
const fs::path uninstallExe = hostPath(QZ_UNINSTALL_EXE);
constexpr DWORD deadline = 60000;

const char title[] = "\u041F\u0440\u043E\u0433\u0440\u0430\u043C\u043C\u0430 \u0422\u0430\u0440\u043D";
const char greekFolder[] = "\u0388\u03B3\u03B3\u03C1\u03B1\u03C6\u03B1";
const char greekFile[] = "\u03B1\u03C1\u03C7\u03B5\u03AF\u03BF.dat";
const char japaneseLink[] = "\u65E5\u672C\u8A9E\u306E\u30EA\u30F3\u30AF";
const char polish[] = "Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105 ja\u017A\u0144";
const char userFolder[] = "\u041F\u0451\u0442\u0440";  // the documents folder's owner

std::wstring wide(const std::string& utf8) {
  std::u16string text = qzpack::toUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::wstring windowText(HWND window) {
  wchar_t text[1024] = L"";
  // Asked of the window itself: another process's edit box keeps its text to itself.
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

// The documents folder (%MYDOCUMENTS%) moved into a folder with a Cyrillic name for one test.
class MovedDocuments {
 public:
  explicit MovedDocuments(const fs::path& to) {
    RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
    DWORD size = sizeof old_;
    had_ = RegQueryValueExW(key_, L"Personal", nullptr, nullptr,
                            reinterpret_cast<BYTE*>(old_), &size) == ERROR_SUCCESS;
    set(to.wstring().c_str());
  }
  ~MovedDocuments() {
    if (had_) set(old_);
    RegCloseKey(key_);
  }

 private:
  void set(const wchar_t* value) {
    RegSetValueExW(key_, L"Personal", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  }
  static constexpr const wchar_t* key =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  HKEY key_ = nullptr;
  wchar_t old_[MAX_PATH] = L"";
  bool had_ = false;
};

// A link's target, read back through IShellLinkW: the path it gives, and the path of the item
// list it keeps.
std::pair<std::wstring, std::wstring> linkTarget(const fs::path& link) {
  IShellLinkW* shellLink = nullptr;
  IPersistFile* file = nullptr;
  wchar_t target[MAX_PATH] = L"", listed[MAX_PATH] = L"";
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&shellLink))) &&
      SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(link.wstring().c_str(), STGM_READ))) {
    shellLink->GetPath(target, MAX_PATH, nullptr, 0);
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(shellLink->GetIDList(&items)) && items) {
      SHGetPathFromIDListW(items, listed);
      CoTaskMemFree(items);
    }
  }
  if (file) file->Release();
  if (shellLink) shellLink->Release();
  return {target, listed};
}

// The package's stub, and uninstall.exe, with the manifest's activeCodePage element moved to a
// namespace Windows does not know: Windows then ignores it, as Windows before 10 version 1903
// ignores the element itself, while the program still finds it asked for.
void hideCodePageRequest(const fs::path& exe) {
  Bytes bytes = readFile(exe);
  std::string text(bytes.begin(), bytes.end());
  size_t at = text.find("SMI/2019/WindowsSettings");
  ASSERT_NE(at, std::string::npos) << exe;
  bytes[at + 7] = '1';
  bytes[at + 8] = '6';  // SMI/2016/WindowsSettings
  writeFile(exe, bytes);
}

class Unicode : public testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    fs::path payload = folder / "payload";
    writeFile(payload / fs::u8path(greekFolder) / fs::u8path(greekFile), mixedBytes(70000, 5));
    writeFile(payload / "note.txt", std::string("notatka"));
    std::ostringstream m;
    m << "encoding = \"utf-8\"\ntitle = \"" << title << "\"\n"
      << "defaultDestination = '%MYDOCUMENTS%\\" << greekFolder << "'\n"
      << "preInstallText = \"\u0414\u043E\u0431\u0440\u043E \u043F\u043E\u0436\u0430\u043B"
         "\u043E\u0432\u0430\u0442\u044C\"\n"
      << "lastWords = \"\u0413\u043E\u0442\u043E\u0432\u043E\"\nsource = \"payload\"\n"
      << "uninstaller = true\n"
      << "[[field]]\ncaption = \"\u041F\u0430\u043F\u043A\u0430:\"\nvariableName = \"POLE\"\n"
      << "[[component]]\nname = \"\u65E5\u672C\u8A9E\u306E\u90E8\u54C1\"\nrequired = true\n"
      << "files = ['" << greekFolder << "\\**', { name = '%POLE%.txt', from = 'payload/note.txt' }]\n"
      << "  [[component.shortcut]]\n  target = '%PROGRAMDIR%\\" << greekFolder << "\\" << greekFile
      << "'\n  linkName = '%PROGRAMS%\\" << unique << "\\" << japaneseLink << "'\n";
    package = buildPackage(folder, m.str(), setupExe, uninstallExe);
  }
  void TearDown() override { CoUninitialize(); }

  // Walks the wizard with the Polish field value; the confirmation's caption and the last
  // words, as the wizard shows them.
  void install(std::wstring* caption, std::wstring* lastWords, bool shot = false) {
    driver::Installer setup(package);
    driver::MessageBox box = setup.waitForMessageBox(deadline);
    ASSERT_TRUE(box.window) << "no confirmation";
    *caption = windowText(box.window);
    setup.answer(box, IDYES);
    ASSERT_TRUE(setup.waitForWizard(deadline));
    std::wstring value = wide(polish);
    SendMessageW(setup.fieldBox(0), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
    setup.click(setup.next());
    setup.click(setup.next());
    if (shot) {  // the field page: a Cyrillic caption and a Polish value (for the README)
      EXPECT_TRUE(driver::waitUntil(
          [&] { return driver::Installer::visible(setup.fieldBox(0)); }, deadline));
      setup.paint();
      EXPECT_TRUE(driver::saveBitmap(driver::captureScreen(),
                                     hostPath(QZ_ARTIFACTS_DIR) / "unicode-field.bmp"));
    }
    for (int page = 2; page < 5; ++page) setup.click(setup.next());
    driver::MessageBox done = setup.waitForMessageBox(deadline);
    ASSERT_TRUE(done.window) << "no end of the installation";
    EXPECT_EQ(done.text, "Installation finished");
    setup.answer(done, IDOK);
    driver::waitUntil([&] { return !windowText(setup.infoBox()).empty(); }, deadline);
    *lastWords = windowText(setup.infoBox());
    setup.click(setup.finish());
    ASSERT_EQ(setup.waitForExit(deadline), 0u);
  }

  ScratchFolder folder;
  const std::string unique = folder.path().filename().string();
  const fs::path documents = folder.path() / fs::u8path(userFolder);
  const fs::path dest = documents / fs::u8path(greekFolder);
  fs::path package;
};

TEST_F(Unicode, InstallsUnderUnicodeNamesAndUninstallsToNothing) {
  MovedDocuments moved(documents);
  fs::create_directories(documents);
  std::wstring caption, lastWords;
  ASSERT_NO_FATAL_FAILURE(install(&caption, &lastWords, true));
  EXPECT_EQ(caption, wide(title));
  EXPECT_EQ(lastWords, wide("\u0413\u043E\u0442\u043E\u0432\u043E"));

  const fs::path greek = dest / fs::u8path(greekFolder) / fs::u8path(greekFile);
  const fs::path note = dest / fs::u8path(std::string(polish) + ".txt");
  EXPECT_EQ(readFile(greek), mixedBytes(70000, 5));
  EXPECT_EQ(readFile(note), bytesOf("notatka"));
  wchar_t programs[MAX_PATH] = L"";
  SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, 0, programs);
  const fs::path link = fs::path(programs) / unique / (wide(japaneseLink) + L".lnk");
  // The item list the shell resolves a link by names the file. (Wine's link file keeps the path
  // itself in the writer's code page only, so GetPath in this Windows-1252 process reads the
  // UTF-8 bytes as Windows-1252.)
  EXPECT_EQ(linkTarget(link).second, greek.wstring());
  // The log's paths are UTF-8, as setup's code page was.
  std::string log;
  for (unsigned char c : readFile(dest / "_qzsetup.log")) log += static_cast<char>(c);
  for (const fs::path& path : {greek, note, link})
    EXPECT_NE(log.find(path.u8string() + '\0'), std::string::npos) << path.u8string();

  // qzpack.exe reads the package as UTF-8 and extracts under the same wide names.
  std::ostringstream out, err;
  ASSERT_EQ(qzpack::listPackage(package.string(), out, err), 0) << err.str();
  EXPECT_NE(out.str().find("encoding: utf-8\n"), std::string::npos);
  EXPECT_NE(out.str().find(std::string("title: \"") + title + "\"\n"), std::string::npos);
  ASSERT_EQ(qzpack::extractPackage({package.string(), folder / "x", {}}, out, err), 0) << err.str();
  EXPECT_EQ(readFile(folder / "x" / fs::u8path(greekFolder) / fs::u8path(greekFile)),
            mixedBytes(70000, 5));

  auto [code, errors] = runSilently(dest / "uninstall.exe");
  EXPECT_EQ(code, 0u) << errors;
  EXPECT_TRUE(driver::waitUntil([&] { return !fs::exists(dest); }, deadline)) << "the install folder";
  EXPECT_FALSE(fs::exists(link));
  EXPECT_FALSE(fs::exists(fs::path(programs) / unique));
}

TEST_F(Unicode, BothProgramsRefuseWhereTheCodePageStaysAnother) {
  MovedDocuments moved(documents);
  fs::create_directories(documents);
  // The uninstaller of a sound installation, with its request hidden, removes nothing.
  std::wstring caption, lastWords;
  ASSERT_NO_FATAL_FAILURE(install(&caption, &lastWords));
  const fs::path uninstaller = dest / "uninstall.exe";
  Bytes sound = readFile(uninstaller);
  ASSERT_NO_FATAL_FAILURE(hideCodePageRequest(uninstaller));
  auto [code, errors] = runSilently(uninstaller);
  EXPECT_EQ(code, 2u);
  EXPECT_NE(errors.find("needs the UTF-8 code page"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Nothing was removed."), std::string::npos) << errors;
  EXPECT_TRUE(fs::exists(dest / "_qzsetup.log"));
  EXPECT_TRUE(fs::exists(dest / fs::u8path(greekFolder) / fs::u8path(greekFile)));
  writeFile(uninstaller, sound);
  EXPECT_EQ(runSilently(uninstaller).code, 0u);
  ASSERT_TRUE(driver::waitUntil([&] { return !fs::exists(dest); }, deadline));

  // setup stops before its confirmation, with exit code 0, having made nothing.
  ASSERT_NO_FATAL_FAILURE(hideCodePageRequest(package));
  driver::Installer setup(package);
  driver::MessageBox box = setup.waitForMessageBox(deadline);
  ASSERT_TRUE(box.window);
  EXPECT_EQ(box.caption, "Error");
  EXPECT_NE(box.text.find("needs the UTF-8 code page"), std::string::npos) << box.text;
  EXPECT_EQ(FindWindowA("MainClass", nullptr), nullptr) << "no wizard";
  setup.answer(box, IDOK);
  EXPECT_EQ(setup.waitForExit(deadline), 0u);
  EXPECT_FALSE(fs::exists(dest));
}

}  // namespace
