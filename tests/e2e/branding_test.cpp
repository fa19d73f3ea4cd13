// Branded packages read back by Windows itself (under Wine): the version information through
// GetFileVersionInfo and VerQueryValue, icon "A" through the resource functions and
// CreateIconFromResourceEx, the manifest's level; and the same answers from qzpack's reader.
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "branding.h"
#include "package_extract.h"
#include "test_files.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const fs::path setupExe = hostPath(QZ_SETUP_EXE);
const fs::path uninstallExe = hostPath(QZ_UNINSTALL_EXE);

std::string narrow(const wchar_t* text) {
  char out[1024];
  int got = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
  return got ? out : "?";
}

// What Windows says of an executable, in qzpack's report lines.
std::string windowsReport(const fs::path& exe) {
  std::ostringstream out;
  HMODULE module = LoadLibraryExW(exe.wstring().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return "not loaded";
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  std::string manifest = found ? std::string(static_cast<const char*>(LockResource(
                                                 LoadResource(module, found))),
                                             SizeofResource(module, found))
                               : "";
  for (const char* level : {"requireAdministrator", "asInvoker"})
    if (manifest.find(std::string("level=\"") + level + "\"") != std::string::npos)
      out << "  execution level: " << level << "\n";
  out << "  icon A:";
  if (HRSRC group = FindResourceW(module, L"A", MAKEINTRESOURCEW(14))) {
    auto* g = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    for (int i = 0, count = g[4] | g[5] << 8; i < count; ++i) {
      const BYTE* e = g + 6 + 14 * i;
      HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(e[12] | e[13] << 8), MAKEINTRESOURCEW(3));
      // Windows itself makes an icon of each image, at the size its entry gives.
      int w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
      HICON icon = image ? CreateIconFromResourceEx(
                               static_cast<BYTE*>(LockResource(LoadResource(module, image))),
                               SizeofResource(module, image), TRUE, 0x30000, w, h, 0)
                         : nullptr;
      ICONINFO info{};
      BITMAP bitmap{};
      if (icon && GetIconInfo(icon, &info) && GetObjectW(info.hbmColor, sizeof bitmap, &bitmap))
        out << " " << bitmap.bmWidth << "x" << bitmap.bmHeight;
      else
        out << " (unreadable)";
      if (icon) DestroyIcon(icon);
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
    }
  } else {
    out << " none";
  }
  out << "\n";
  FreeLibrary(module);

  DWORD ignored = 0, size = GetFileVersionInfoSizeW(exe.wstring().c_str(), &ignored);
  std::vector<BYTE> data(size);
  if (!size || !GetFileVersionInfoW(exe.wstring().c_str(), 0, size, data.data())) {
    out << "  version information: none\n";
    return out.str();
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length))
    out << "  FileVersion (fixed): " << HIWORD(fixed->dwFileVersionMS) << "."
        << LOWORD(fixed->dwFileVersionMS) << "." << HIWORD(fixed->dwFileVersionLS) << "."
        << LOWORD(fixed->dwFileVersionLS) << "\n";
  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"LegalCopyright",
                              L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) &&
        length)
      out << "  " << narrow(name) << ": " << narrow(value) << "\n";
  }
  return out.str();
}

std::string qzpackReport(const fs::path& exe) {
  std::ostringstream out;
  qzpack::reportBranding(readFile(exe), "test", out);
  return out.str();
}

TEST(Branding, WindowsReadsTheLevelIconAndVersionAsQzpackWroteThem) {
  struct Case {
    const char* keys;
    std::vector<unsigned> icon;
    const char* level;
    const char* sizes;
  };
  const Case cases[] = {
      {"", {}, "requireAdministrator", " 32x32"},  // the stub's own
      {"executionLevel = \"user\"\nicon = \"app.ico\"\n", {32}, "asInvoker", " 32x32"},
      {"icon = \"app.ico\"\nversion = \"1.2.3.4\"\npublisher = \"Corvalline\"\n"
       "copyright = \"\xC2\xA9 Corvalline\"\n",
       {16, 32, 48, 256}, "requireAdministrator", " 16x16 32x32 48x48 256x256"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    ScratchFolder folder;
    writeFile(folder / "one.txt", std::string("one"));
    if (!c.icon.empty()) writeFile(folder / "app.ico", iconFile(c.icon));
    fs::path package = buildPackage(
        folder,
        std::string("title = \"Tarn \xC3\x89t\xC3\xA9\"\nuninstaller = true\n") + c.keys +
            "[[component]]\nname = \"Main\"\nrequired = true\nfiles = [\"one.txt\"]\n",
        setupExe, uninstallExe);
    std::ostringstream out, err;
    ASSERT_EQ(qzpack::extractPackage({package.string(), folder / "x", {}}, out, err), 0) << err.str();
    fs::path uninstaller = folder / "x/uninstall.exe";
    std::string stubSays = windowsReport(package);
    EXPECT_NE(stubSays.find(std::string("execution level: ") + c.level), std::string::npos) << stubSays;
    EXPECT_NE(stubSays.find(std::string("icon A:") + c.sizes + "\n"), std::string::npos) << stubSays;
    if (std::string(c.keys).find("version") != std::string::npos) {
      EXPECT_NE(stubSays.find("FileVersion (fixed): 1.2.3.4\n"), std::string::npos) << stubSays;
      EXPECT_NE(stubSays.find("ProductName: Tarn \xC3\x89t\xC3\xA9\n"), std::string::npos);
      EXPECT_NE(stubSays.find("LegalCopyright: \xC2\xA9 Corvalline\n"), std::string::npos);
      EXPECT_NE(windowsReport(uninstaller).find("FileDescription: Tarn \xC3\x89t\xC3\xA9 Uninstall\n"),
                std::string::npos);
    }
    // qzpack's reader says the same of the uninstaller, whole, and of the stub once the package's
    // data is cut off.
    EXPECT_EQ(windowsReport(uninstaller), qzpackReport(uninstaller));
    Bytes bytes = readFile(package);
    bytes.resize(getU32(bytes, 96));
    writeFile(folder / "stub.exe", bytes);
    EXPECT_EQ(stubSays, qzpackReport(folder / "stub.exe"));
  }
}

}  // namespace
