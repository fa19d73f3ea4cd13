// The uninstaller's lexical path rule on tricky paths: the normal form, and what lies inside what.
#include "uninstall/path_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The normal form, or "refused".
std::wstring normal(const std::wstring& path, size_t size = widePathSize) {
  wchar_t out[widePathSize];
  return normalisePath(path.c_str(), out, size) ? std::wstring(out) : L"refused";
}

TEST(PathRule, NormalFormOfTrickyPaths) {
  const struct {
    const wchar_t *path, *expected;
  } cases[] = {
      {L"C:\\Games\\Tarn\\readme.txt", L"C:\\Games\\Tarn\\readme.txt"},
      {L"c:/Games//Tarn\\\\data/", L"c:\\Games\\Tarn\\data"},
      {L"C:\\Games\\.\\Tarn\\.\\x", L"C:\\Games\\Tarn\\x"},
      {L"C:\\Games\\Tarn\\..\\Tarn\\x", L"C:\\Games\\Tarn\\x"},
      {L"C:\\Games\\Tarn\\..\\..\\Windows\\win.ini", L"C:\\Windows\\win.ini"},
      {L"C:\\Games\\..", L"C:\\"},
      {L"C:\\", L"C:\\"},
      {L"C:/", L"C:\\"},
      {L"\\\\server\\share\\a\\..\\b", L"\\\\server\\share\\b"},
      {L"//server/share/", L"\\\\server\\share"},
      {L"C:\\Games\\Tarn Demo\\read me.txt", L"C:\\Games\\Tarn Demo\\read me.txt"},
      {L"C:\\Games\\...x\\y", L"C:\\Games\\...x\\y"},
      // Refused: Windows would read these otherwise, or they name no file below a root.
      {L"C:\\..\\Windows", L"refused"},
      {L"C:\\Games\\..\\..\\x", L"refused"},
      {L"\\\\server\\share\\..\\other\\x", L"refused"},
      {L"Games\\Tarn", L"refused"},
      {L"C:Games\\Tarn", L"refused"},
      {L"\\Games\\Tarn", L"refused"},
      {L"", L"refused"},
      {L"\\\\?\\C:\\Windows\\win.ini", L"refused"},
      {L"\\\\.\\C:\\Windows", L"refused"},
      {L"\\\\server", L"refused"},
      {L"\\\\server\\", L"refused"},
      {L"C:\\Games\\Tarn.\\x", L"refused"},
      {L"C:\\Games\\.. \\Windows", L"refused"},
      {L"C:\\Games\\Tarn \\x", L"refused"},
      {L"C:\\Games\\...\\x", L"refused"},
      {L"C:\\Games\\Tarn\\x.txt:stream", L"refused"},
      {L"C:\\Games\\*\\x", L"refused"},
      {L"C:\\Games\\a\x01"
       L"b",
       L"refused"},
  };
  for (const auto& c : cases) EXPECT_EQ(normal(c.path), c.expected) << c.path;
  EXPECT_EQ(normal(L"C:\\abcdef", 10), L"C:\\abcdef");
  EXPECT_EQ(normal(L"C:\\abcdef", 9), L"refused") << "the NUL must fit too";
  // Found by fuzz_path_rule: the names a ".." takes away need room too.
  EXPECT_EQ(normal(L"C:\\abcdefgh\\..\\x", 5), L"refused");
  EXPECT_EQ(normal(L"C:\\abcdefgh\\..\\x", 17), L"C:\\x") << "room for the path itself";
}

TEST(PathRule, InsideIsStrictlyBelowTheFolderInAnyAsciiCase) {
  const struct {
    const wchar_t *path, *folder;
    bool inside;
  } cases[] = {
      {L"C:\\Games\\Tarn\\readme.txt", L"C:\\Games\\Tarn", true},
      {L"c:\\GAMES\\tarn\\data\\level.dat", L"C:\\Games\\Tarn", true},
      {L"C:\\Games\\Tarn", L"C:\\Games\\Tarn", false},
      {L"C:\\Games\\Tarn Demo 2\\x", L"C:\\Games\\Tarn Demo", false},
      {L"C:\\Games\\Tarnish\\x", L"C:\\Games\\Tarn", false},
      {L"C:\\Games\\x", L"C:\\Games\\Tarn", false},
      {L"D:\\Games\\Tarn\\x", L"C:\\Games\\Tarn", false},
      {L"C:\\x", L"C:\\", true},
      {L"\\\\server\\share\\x", L"\\\\server\\share", true},
      {L"\\\\server\\shared\\x", L"\\\\server\\share", false},
      // Only ASCII letters fold: a difference the file system might keep is never a match.
      {L"C:\\Spiele\\\u00dcber\\x", L"C:\\Spiele\\\u00fcber", false},
      {L"C:\\Spiele\\\u00dcber\\x", L"C:\\Spiele\\\u00dcber", true},
  };
  for (const auto& c : cases) EXPECT_EQ(pathInside(c.path, c.folder), c.inside) << c.path;
  EXPECT_TRUE(samePath(L"C:\\Games\\TARN", L"c:\\games\\tarn"));
  EXPECT_FALSE(samePath(L"C:\\Games\\Tarn", L"C:\\Games\\Tarn2"));
}

TEST(PathRule, FoldersAboveAPathEndAtItsRoot) {
  const struct {
    const wchar_t *path, *parent;
  } cases[] = {
      {L"C:\\Games\\Tarn\\x", L"C:\\Games\\Tarn"},
      {L"C:\\Games", L"C:\\"},
      {L"C:\\", nullptr},
      {L"\\\\server\\share\\a", L"\\\\server\\share"},
      {L"\\\\server\\share", nullptr},
  };
  for (const auto& c : cases) {
    wchar_t path[widePathSize];
    std::wcscpy(path, c.path);
    EXPECT_EQ(cutLastName(path), c.parent != nullptr) << c.path;
    EXPECT_EQ(std::wstring(path), c.parent ? c.parent : c.path);
    EXPECT_EQ(isRoot(c.path), c.parent == nullptr) << c.path;
  }
  EXPECT_TRUE(isLinkName(L"C:\\Menu\\Read me.LNK"));
  EXPECT_FALSE(isLinkName(L"C:\\Menu\\Read me.lnk.txt"));
  EXPECT_FALSE(isLinkName(L"C:\\Menu\\.lnk"));
  EXPECT_FALSE(isLinkName(L"C:\\Menu\\lnk"));
}

}  // namespace
