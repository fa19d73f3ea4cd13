// Entry names that Windows cannot hold as a path below the destination.
#include "windows_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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
      {"longer than 260",
       {std::string(261, 'n'), std::string(100, 'd') + "\\" + std::string(160, 'f')}},
      {"ends with a dot or a space", {"a.", "a ", "dir.\\x", "dir \\x"}},
      {"starts with a backslash", {"\\x", "\\"}},
      {"empty folder name", {"a\\\\b", "a\\"}},
      {"folder named", {".", "..\\x", "a\\..\\b", "a\\.\\b"}},
      {"empty", {""}},
  };
  for (const Family& family : families) {
    for (const std::string& name : family.refused) {
      std::string fault = qzpack::windowsNameFault(name);
      EXPECT_NE(fault.find(family.fault), std::string::npos)
          << "\"" << name << "\" gives \"" << fault << "\", not " << family.fault;
    }
  }
  for (const std::string& name :
       {std::string("console.txt"), std::string("COM10"), std::string("LPT0"), std::string("aux_"),
        std::string("auxiliary.txt"), std::string(".hidden"), std::string("caf\xE9"),
        std::string("a b.txt"), std::string("x.y.z"), std::string(260, 'n'),
        std::string("data\\level1.dat"), std::string("%PROGRAMDIR%\\x")})
    EXPECT_EQ(qzpack::windowsNameFault(name), "") << name;
}

TEST(WindowsNames, CaseFoldsAsWindowsComparesNames) {
  EXPECT_EQ(qzpack::foldCase("Data\\caf\xE9 \x9A\xFF"), qzpack::foldCase("DATA\\CAF\xC9 \x8A\x9F"));
}

}  // namespace
