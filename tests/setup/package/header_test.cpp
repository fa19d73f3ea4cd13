#include "package/header.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "test_files.h"

using namespace testing_support;

namespace {

std::vector<std::pair<std::string, int>> sunk;
void recordRow(const char* name, int selected) {
  sunk.emplace_back(name, selected);
}

class HeaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    freeSetupHeader();
    sunk.clear();
  }
  void TearDown() override { freeSetupHeader(); }

  // Writes stub + header + a minimal archive; returns the path.
  std::string carrier(const Bytes& headerBytes, const char* name = "carrier.exe") {
    Bytes file = fakeStub();
    uint32_t headerOffset = static_cast<uint32_t>(file.size());
    for (int i = 0; i < 4; ++i) file[96 + i] = static_cast<unsigned char>(headerOffset >> (8 * i));
    file.insert(file.end(), headerBytes.begin(), headerBytes.end());
    for (unsigned char b : {9, 0, 0, 0, 0, 0, 0, 0, 0}) file.push_back(b);  // empty archive
    writeFile(folder / name, file);
    return (folder / name).string();
  }

  // A header whose archive follows it directly (the archive offset is patched by carrier()).
  static Bytes headerWith(int32_t fieldCount, const std::vector<std::string>& fieldStrings,
                          int32_t componentCount, const Bytes& components = {}) {
    Bytes h;
    putU32(h, 0);  // archiveOffset, fixed below
    putU32(h, 2);
    putU32(h, static_cast<uint32_t>(fieldCount));
    for (const std::string& s : fieldStrings) h.insert(h.end(), s.begin(), s.end());
    for (int i = 0; i < 5; ++i) h.push_back(0);  // five empty texts
    putU32(h, static_cast<uint32_t>(componentCount));
    h.insert(h.end(), components.begin(), components.end());
    uint32_t archive = 512 + static_cast<uint32_t>(h.size());
    for (int i = 0; i < 4; ++i) h[i] = static_cast<unsigned char>(archive >> (8 * i));
    return h;
  }

  ScratchFolder folder;
};

const char* fullManifest = R"(
title = "Product"
defaultDestination = "%PROGRAMFILES%\\Maker\\Product"
shortcutFolder = "%PROGRAMS%\\Maker"
preInstallText = "line one\nline two"
lastWords = ""
background = true
compression = "none"

[[field]]
caption = "Your name:"
variableName = "NAME"
required = true

[[field]]
caption = "Company:"
variableName = "COMPANY"

[[component]]
name = "Core"
required = true
files = [{ name = "a.txt", from = "src/a" }, { name = "b.txt", from = "src/b" }, { name = "sub\\c.txt", from = "src/c" }]
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\a.txt"
  workingDirectory = "%PROGRAMDIR%"
  linkName = "First"
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\b.txt"
  arguments = "-x"
  linkName = "Second"

[[component]]
name = "Extras"
selected = false
)";

TEST_F(HeaderTest, PackagedManifestReadsBackFieldForFieldInBothPasses) {
  for (const char* name : {"src/a", "src/b", "src/c"}) writeFile(folder / name, std::string(name));
  std::string package = buildPackage(folder, fullManifest).string();

  ASSERT_EQ(readSetupHeader(package.c_str(), true, recordRow), headerOk);
  EXPECT_EQ(header.setupFlags, 2u);
  EXPECT_GT(header.archiveOffset, 512u);
  ASSERT_EQ(header.fieldCount, 2);
  EXPECT_STREQ(header.firstField->caption, "Your name:");
  EXPECT_STREQ(header.firstField->variableName, "NAME");
  EXPECT_EQ(header.firstField->fieldFlags, 1);
  EXPECT_STREQ(header.firstField->next->caption, "Company:");
  EXPECT_EQ(header.firstField->next->fieldFlags, 0);
  EXPECT_EQ(header.lastField, header.firstField->next);
  // The first pass keeps no texts and no components, and calls no sink.
  EXPECT_EQ(header.title, nullptr);
  EXPECT_EQ(header.firstComponent, nullptr);
  EXPECT_TRUE(sunk.empty());

  uint32_t archiveOffset = header.archiveOffset;
  ASSERT_EQ(readSetupHeader(package.c_str(), false, recordRow), headerOk);
  EXPECT_EQ(header.archiveOffset, archiveOffset);
  EXPECT_EQ(header.fieldCount, 2) << "the second pass must not add the fields again";
  EXPECT_STREQ(header.title, "Product");
  EXPECT_STREQ(header.defaultDestination, "%PROGRAMFILES%\\Maker\\Product");
  EXPECT_STREQ(header.shortcutFolder, "%PROGRAMS%\\Maker");
  EXPECT_STREQ(header.preInstallText, "line one\r\nline two");
  ASSERT_NE(header.lastWords, nullptr);
  EXPECT_STREQ(header.lastWords, "");

  const Component* core = header.firstComponent;
  ASSERT_NE(core, nullptr);
  EXPECT_STREQ(core->name, "Core");
  EXPECT_EQ(core->componentFlags, 3);
  // Files and shortcuts come out in the reverse of header order.
  ASSERT_NE(core->files, nullptr);
  EXPECT_STREQ(core->files->name, "sub\\c.txt");
  EXPECT_STREQ(core->files->next->name, "b.txt");
  EXPECT_STREQ(core->files->next->next->name, "a.txt");
  EXPECT_EQ(core->files->next->next->next, nullptr);
  EXPECT_EQ(core->shortcutCount, 2);
  const ShortcutDefinition* second = core->shortcuts;
  EXPECT_STREQ(second->linkName, "Second");
  EXPECT_STREQ(second->target, "%PROGRAMDIR%\\b.txt");
  EXPECT_STREQ(second->arguments, "-x");
  EXPECT_STREQ(second->workingDirectory, "") << "empty strings are held, not missing";
  EXPECT_STREQ(second->next->linkName, "First");
  EXPECT_STREQ(second->next->workingDirectory, "%PROGRAMDIR%");

  const Component* extras = core->next;
  ASSERT_NE(extras, nullptr);
  EXPECT_STREQ(extras->name, "Extras");
  EXPECT_EQ(extras->componentFlags, 0);
  EXPECT_EQ(extras->files, nullptr);
  EXPECT_EQ(extras->shortcutCount, 0);
  EXPECT_EQ(header.lastComponent, extras);

  std::vector<std::pair<std::string, int>> expected = {{"Core", 1}, {"Extras", 0}};
  EXPECT_EQ(sunk, expected);
}

TEST_F(HeaderTest, SmallestHeaderIsTwentyOneBytes) {
  ScratchFolder build;
  std::string package = buildPackage(build, "title = \"\"\ncompression = \"none\"\n").string();
  Bytes bytes = readFile(package);
  uint32_t headerOffset = getU32(bytes, 96);
  uint32_t archiveOffset = getU32(bytes, headerOffset);
  EXPECT_EQ(archiveOffset - headerOffset, 21u);

  ASSERT_EQ(readSetupHeader(package.c_str(), true, recordRow), headerOk);
  ASSERT_EQ(readSetupHeader(package.c_str(), false, recordRow), headerOk);
  EXPECT_EQ(header.firstField, nullptr);
  EXPECT_EQ(header.firstComponent, nullptr);
  for (char* text : {header.title, header.defaultDestination, header.shortcutFolder,
                     header.preInstallText, header.lastWords}) {
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
  }
}

TEST_F(HeaderTest, NegativeCountsMeanNoItems) {
  std::string path = carrier(headerWith(-5, {}, -1));
  ASSERT_EQ(readSetupHeader(path.c_str(), true, recordRow), headerOk);
  ASSERT_EQ(readSetupHeader(path.c_str(), false, recordRow), headerOk);
  EXPECT_EQ(header.fieldCount, 0);
  EXPECT_EQ(header.firstComponent, nullptr);
}

TEST_F(HeaderTest, CutAnywhereInsideTheHeaderIsRefusedByBothPasses) {
  writeFile(folder / "src/a", std::string("aaa"));
  writeFile(folder / "src/b", std::string("b"));
  writeFile(folder / "src/c", std::string("c"));
  Bytes whole = readFile(buildPackage(folder, fullManifest));
  uint32_t headerOffset = getU32(whole, 96);
  uint32_t archiveOffset = getU32(whole, headerOffset);
  for (size_t length = 96; length < archiveOffset + 9; ++length) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<long>(length));
    writeFile(folder / "cut.exe", cut);
    std::string path = (folder / "cut.exe").string();
    for (bool firstPass : {true, false}) {
      freeSetupHeader();
      HeaderStatus status = readSetupHeader(path.c_str(), firstPass, recordRow);
      ASSERT_NE(status, headerOk) << "cut at " << length << ", first pass " << firstPass;
    }
  }
}

TEST_F(HeaderTest, OffsetThatLeadsNowhereIsRefused) {
  EXPECT_EQ(readSetupHeader((folder / "missing.exe").string().c_str(), true, nullptr),
            headerCannotOpen);

  writeFile(folder / "bare.exe", fakeStub());  // bytes 96-99 are zero
  EXPECT_EQ(readSetupHeader((folder / "bare.exe").string().c_str(), true, nullptr), headerNotFound);

  Bytes pastEnd = fakeStub();
  pastEnd[96] = 0xF0;
  pastEnd[97] = 0x01;  // 496: only 16 bytes before the end, less than a whole header
  writeFile(folder / "past.exe", pastEnd);
  EXPECT_EQ(readSetupHeader((folder / "past.exe").string().c_str(), true, nullptr), headerNotFound);

  writeFile(folder / "tiny.exe", Bytes{'M', 'Z'});
  EXPECT_EQ(readSetupHeader((folder / "tiny.exe").string().c_str(), true, nullptr), headerNotFound);
}

TEST_F(HeaderTest, ArchiveOffsetPastTheEndIsRefused) {
  Bytes h = headerWith(0, {}, 0);
  h[0] = 0xFF;
  h[1] = 0xFF;  // far past the 542-byte file
  std::string path = carrier(h);
  EXPECT_EQ(readSetupHeader(path.c_str(), true, nullptr), headerArchiveOutside);
}

TEST_F(HeaderTest, StringsMustFitTextBuffer) {
  std::string longest(textBufferSize - 1, 'x');
  std::vector<std::string> fits = {longest + '\0', std::string("V") + '\0' + '\1'};
  std::string ok = carrier(headerWith(1, fits, 0), "fits.exe");
  ASSERT_EQ(readSetupHeader(ok.c_str(), true, nullptr), headerOk);
  EXPECT_EQ(std::string(header.firstField->caption), longest);

  freeSetupHeader();
  std::vector<std::string> tooLong = {longest + "y" + '\0', std::string("V") + '\0' + '\1'};
  std::string bad = carrier(headerWith(1, tooLong, 0), "long.exe");
  EXPECT_EQ(readSetupHeader(bad.c_str(), true, nullptr), headerStringTooLong);
}

TEST_F(HeaderTest, AtMostSixtyFourCustomFields) {
  std::string record = std::string("c") + '\0' + "v" + '\0' + '\0';
  std::vector<std::string> fields64(64, record);
  std::string ok = carrier(headerWith(64, fields64, 0), "64.exe");
  EXPECT_EQ(readSetupHeader(ok.c_str(), true, nullptr), headerOk);
  EXPECT_EQ(header.fieldCount, 64);

  freeSetupHeader();
  std::vector<std::string> fields65(65, record);
  std::string bad = carrier(headerWith(65, fields65, 0), "65.exe");
  EXPECT_EQ(readSetupHeader(bad.c_str(), true, nullptr), headerTooManyFields);
  EXPECT_EQ(header.fieldCount, 0);
}

TEST_F(HeaderTest, CountsLargerThanTheFileCouldHoldAreRefusedBeforeReading) {
  std::string huge = carrier(headerWith(0, {}, 0x7FFFFFFF), "components.exe");
  EXPECT_EQ(readSetupHeader(huge.c_str(), false, recordRow), headerCountTooLarge);
  EXPECT_TRUE(sunk.empty());

  Bytes component;
  putString(component, "C");
  component.push_back(1);
  putU32(component, 0x10000000);  // file count
  std::string files = carrier(headerWith(0, {}, 1, component), "files.exe");
  EXPECT_EQ(readSetupHeader(files.c_str(), false, recordRow), headerCountTooLarge);
}

TEST_F(HeaderTest, FirstPassRefusesAFixedFileNameOutsideTheDestinationNotOneWithAMacro) {
  for (const char* name : {"..\\x", "%F%\\..\\..\\x"}) {
    SCOPED_TRACE(name);
    freeSetupHeader();
    Bytes component;
    putString(component, "C");
    component.push_back(1);
    putU32(component, 2);
    putString(component, "in.txt");
    putString(component, name);
    putU32(component, 0);
    std::string path = carrier(headerWith(0, {}, 1, component));
    bool fixed = name[0] != '%';
    EXPECT_EQ(readSetupHeader(path.c_str(), true, nullptr), fixed ? headerNameOutside : headerOk);
    ASSERT_EQ(readSetupHeader(path.c_str(), false, nullptr), headerOk)
        << "the second pass keeps names: the run judges them as it expands them";
    EXPECT_STREQ(header.firstComponent->files->name, name);
  }
}

TEST_F(HeaderTest, ReadHeaderStringStopsAtNulAndRefusesACutString) {
  writeFile(folder / "strings", Bytes{'a', 'b', 0, 0, 'c', 'd'});
  PackageFile file = openPackageFile((folder / "strings").string().c_str());
  ASSERT_TRUE(isOpen(file));
  PackageCursor cursor;
  startCursor(&cursor, file, 0);
  const char* text = readHeaderString(&cursor);
  ASSERT_EQ(text, textBuffer);
  EXPECT_STREQ(text, "ab");
  EXPECT_STREQ(readHeaderString(&cursor), "");
  EXPECT_EQ(readHeaderString(&cursor), nullptr) << "cd is cut off by the end of the file";
  closePackageFile(file);
}

TEST_F(HeaderTest, FreeSetupHeaderAllowsAFreshRead) {
  std::string path = carrier(headerWith(1, {std::string("c") + '\0' + "v" + '\0' + '\1'}, 0));
  ASSERT_EQ(readSetupHeader(path.c_str(), true, nullptr), headerOk);
  ASSERT_EQ(readSetupHeader(path.c_str(), false, nullptr), headerOk);
  freeSetupHeader();
  EXPECT_EQ(header.firstField, nullptr);
  EXPECT_EQ(header.fieldCount, 0);
  EXPECT_EQ(header.title, nullptr);
  ASSERT_EQ(readSetupHeader(path.c_str(), true, nullptr), headerOk);
  EXPECT_EQ(header.fieldCount, 1);
}

}  // namespace
