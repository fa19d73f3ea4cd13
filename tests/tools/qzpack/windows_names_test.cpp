// Entry names that Windows cannot hold as a path below the destination.
#include "windows_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qzpack::Encoding;

TEST(WindowsNames, EachFamilyOfBadNamesIsRefusedAndItsNeighboursAreNot) {
  struct Family {
    const char* fault;  // a fragment of the reason
    std::vector<std::string> refused;
  };
  const Family families[] = {
      {"holds", {"a<b", "a>b", "c:x", "a\"b", "a|b", "a?b", "a*b", "a/b"}},
      {"control byte",
       {"a\tb",
        std::string("a\x01"
                    "b"),
        "tab\x7F"}},
      {"device name",
       {"CON", "con.txt", "aux.txt", "Nul", "COM1.log", "lpt9", "prn.tar.gz", "AUX .txt",
        "data\\com\xB9", "conin$"}},
      {"longer than 260 bytes",
       {std::string(261, 'n'), std::string(100, 'd') + "\\" + std::string(160, 'f')}},
      {"ends with a dot or a space", {"a.", "a ", "dir.\\x", "dir \\x"}},
      {"starts with a backslash", {"\\x", "\\"}},
      {"empty folder name", {"a\\\\b", "a\\"}},
      {"folder named", {".", "..\\x", "a\\..\\b", "a\\.\\b"}},
      {"empty", {""}},
  };
  for (const Family& family : families) {
    for (const std::string& name : family.refused) {
      std::string fault = qzpack::windowsNameFault(name, Encoding::windows1252);
      EXPECT_NE(fault.find(family.fault), std::string::npos)
          << "\"" << name << "\" gives \"" << fault << "\", not " << family.fault;
    }
  }
  for (const std::string& name :
       {std::string("console.txt"), std::string("COM10"), std::string("LPT0"), std::string("aux_"),
        std::string("auxiliary.txt"), std::string(".hidden"), std::string("caf\xE9"),
        std::string("a b.txt"), std::string("x.y.z"), std::string(260, 'n'),
        std::string("data\\level1.dat"), std::string("%PROGRAMDIR%\\x")})
    EXPECT_EQ(qzpack::windowsNameFault(name, Encoding::windows1252), "") << name;
}

std::string repeated(const std::string& text, int count) {
  std::string out;
  while (count--) out += text;
  return out;
}

// UTF-8 names: the same rules over Unicode, the limit counted in bytes, and bytes that are not
// UTF-8 refused.
TEST(WindowsNames, Utf8NamesFollowTheSameRulesInBytes) {
  const std::pair<std::string, const char*> refused[] = {
      {"data\\com\u00B9", "device name"},
      {"\u0444\u0430\u0439\u043B\\aux.txt", "device name"},
      {"\u0444\u0430\u0439\u043B.", "ends with a dot"},
      {"\u03B1:\u03B2", "holds ':'"},
      {repeated("\u0444", 131), "longer than 260 bytes"},  // 262 bytes
      {"caf\xC3", "not valid UTF-8 (at byte 3)"},
      {"\xC0\xAF", "not valid UTF-8"},         // overlong '/'
      {"a\xED\xA0\x80", "not valid UTF-8"},     // a surrogate
      {"a\xF4\x90\x80\x80", "not valid UTF-8"},  // past U+10FFFF
  };
  for (const auto& [name, fault] : refused)
    EXPECT_NE(qzpack::windowsNameFault(name, Encoding::utf8).find(fault), std::string::npos)
        << name << " gives " << qzpack::windowsNameFault(name, Encoding::utf8);
  for (const std::string& name : {std::string("\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC\\\u0444\u0430\u0439\u043B.txt"),
                                  repeated("\u0444", 130), repeated("\u65E5", 86) + "ab",
                                  std::string("\U0001F600.txt"), std::string("com\u00B9x")})
    EXPECT_EQ(qzpack::windowsNameFault(name, Encoding::utf8), "") << name;
}

TEST(WindowsNames, CaseFoldsAsWindowsComparesNames) {
  EXPECT_EQ(qzpack::foldCase("Data\\caf\xE9 \x9A\xFF", Encoding::windows1252),
            qzpack::foldCase("DATA\\CAF\xC9 \x8A\x9F", Encoding::windows1252));
  struct Pair {
    std::string a, b;
    bool same;
  };
  const Pair pairs[] = {
      {"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC\\\u0444\u0430\u0439\u043B",
       "\u0395\u039B\u039B\u0397\u039D\u0399\u039A\u0386\\\u0424\u0410\u0419\u041B", true},
      {"\u03C2", "\u03A3", true},                      // final sigma: simple upper case
      {"cafe\u0301", "CAF\u00C9", true},               // decomposed and composed
      {"\u017C\u00F3\u0142w", "\u017B\u00D3\u0141W", true},  // Polish
      {"stra\u00DFe", "STRASSE", false},                // no one-to-many mappings, as NTFS
      {"\U00010428", "\U00010400", false},             // NTFS has case in the basic plane only
      {"\u65E5\u672C", "\u65E5\u672C\u8A9E", false},
      {"\uFB01", "FI", false},                          // a ligature is not its letters
  };
  for (const Pair& p : pairs)
    EXPECT_EQ(qzpack::foldCase(p.a, Encoding::utf8) == qzpack::foldCase(p.b, Encoding::utf8), p.same)
        << p.a << " / " << p.b;
  EXPECT_EQ(qzpack::composed("cafe\u0301"), "caf\u00E9");
}

}  // namespace
