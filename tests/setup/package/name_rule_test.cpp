// The rule for file names joined below the destination folder.
#include "package/name_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(NameRule, NamesThatLeaveTheDestinationOrNameNoFileAreRefusedTheirNeighboursAreNot) {
  const std::string refused[] = {
      "", "..\\x", "../x", "a\\..\\..\\x", "a/../../x", "..", "a\\..", ".", "a\\.", "\\x", "/x",
      "\\\\server\\share\\x", "\\\\?\\C:\\x", "C:x", "C:\\x", "x:s", "a\\b.txt::$DATA", "CON",
      "con.txt", "a\\NUL", "nul\\x", "COM1", "lpt9.log", "AUX .txt", "conout$", "com\xB9", "LPT\xC2\xB2.x", "a\\",
      "a/", "a.", "a ", ".. \\x", "...\\x", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "a\tb",
      "a\x1F"};
  for (const std::string& name : refused) EXPECT_FALSE(nameStaysInside(name.c_str())) << name;
  const std::string accepted[] = {"x",        "a\\b\\c.txt", "a/b",       "a\\..\\b",
                                  ".\\x",     "a\\\\b",      ".hidden",   "x.y.z",
                                  "a b.txt",  "console.txt", "COM10",     "LPT0",
                                  "auxiliary", "caf\xE9",    "\x81\\x",   "%NAME%\\x",
                                  "a\\b\\..\\..\\c"};
  for (const std::string& name : accepted) EXPECT_TRUE(nameStaysInside(name.c_str())) << name;
}

}  // namespace
