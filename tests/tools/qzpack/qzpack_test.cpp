#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "manifest.h"
#include "package/archive.h"
#include "package/header.h"
#include "package_report.h"
#include "package_writer.h"
#include "test_files.h"
#include "uninstaller_entry.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::string buildError(const ScratchFolder& folder, const std::string& manifest,
                       const fs::path& uninstaller = {}) {
  try {
    buildPackage(folder, manifest, {}, uninstaller);
  } catch (const qzpack::BuildError& e) {
    return e.what();
  }
  return "";
}

const char* twoFiles = R"(
title = "Demo"
[[component]]
name = "Main"
files = ["one.txt", "data\\two.bin"]
  [[component.shortcut]]
  target = "%PROGRAMDIR%\\one.txt"
  linkName = "%DESKTOP%\\One"
)";

void writePayload(const ScratchFolder& folder) {
  writeFile(folder / "one.txt", std::string("first file"));
  writeFile(folder / "data/two.bin", mixedBytes(100000, 3));
}

struct Outcome {
  int status;
  std::string out, err;
};
Outcome list(const fs::path& package) {
  std::ostringstream out, err;
  int status = qzpack::listPackage(package.string(), out, err);
  return {status, out.str(), err.str()};
}
Outcome verify(const fs::path& package) {
  std::ostringstream out, err;
  int status = qzpack::verifyPackage(package.string(), out, err);
  return {status, out.str(), err.str()};
}

TEST(QzpackManifest, ErrorsNameTheFileLineAndColumn) {
  ScratchFolder folder;
  std::string manifest = (folder / "manifest.toml").string();
  EXPECT_EQ(buildError(folder, "title = \"x\"\ntitle = \"y\"\n").rfind(manifest + ":2:", 0), 0u)
      << "duplicate key";
  std::string unknown = buildError(folder, "title = \"x\"\n\n  colour = 3\n");
  EXPECT_EQ(unknown.rfind(manifest + ":3:3", 0), 0u) << unknown;
  EXPECT_NE(unknown.find("colour"), std::string::npos);
  std::string wrongType = buildError(folder, "title = 5\n");
  EXPECT_EQ(wrongType.rfind(manifest + ":1:9", 0), 0u) << wrongType;
  EXPECT_NE(buildError(folder, "defaultDestination = \"x\"\n").find("missing title"),
            std::string::npos);
  EXPECT_NE(buildError(folder, "title = \"x\"\ncompression = \"zip\"\n").find(":2:"),
            std::string::npos);
  // Found by fuzz_manifest: the TOML parser asserted on these, or reached code it took for
  // unreachable, instead of reporting them.
  EXPECT_EQ(buildError(folder, "title = \"x\"\n[[\n").rfind(manifest + ":2:", 0), 0u)
      << "a table header that ends at its brackets";
  EXPECT_EQ(buildError(folder, "title = \"x\"\xC5\x87\n").rfind(manifest + ":1:", 0), 0u)
      << "a non-ASCII character after a value";
}

TEST(QzpackManifest, MissingPayloadFileIsNamed) {
  ScratchFolder folder;
  std::string error = buildError(folder, twoFiles);
  EXPECT_NE(error.find("missing file"), std::string::npos) << error;
  EXPECT_NE(error.find("one.txt"), std::string::npos) << error;
  EXPECT_NE(error.find(":5:"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(folder / "package.exe"));
}

TEST(QzpackManifest, TextsBecomeAnsiWithCrLfLineBreaks) {
  ScratchFolder folder;
  writeFile(folder / "before.txt", std::string("caf\xC3\xA9\nna\xC3\xAFve \xE2\x82\xAC\r\nend"));
  writeFile(folder / "manifest.toml", std::string(R"(
title = "Gr\u00fc\u00dfe"
preInstallText = { file = "before.txt" }
lastWords = """
a
b"""
)"));
  qzpack::Manifest m = qzpack::readManifest(folder / "manifest.toml");
  EXPECT_EQ(m.title,
            "Gr\xFC\xDF"
            "e");
  EXPECT_EQ(m.preInstallText, "caf\xE9\r\nna\xEFve \x80\r\nend");
  EXPECT_EQ(m.lastWords, "a\r\nb");
  EXPECT_THROW(qzpack::toAnsi("\xE4\xB8\xAD"), std::invalid_argument) << "not in Windows-1252";
  EXPECT_THROW(qzpack::toAnsi("\xC3"), std::invalid_argument) << "cut UTF-8";
}

// encoding = "utf-8": texts stay UTF-8, names are taken composed, and a name too long for the
// usual destination is warned of.
TEST(QzpackManifest, Utf8KeepsTextsAndComposesNames) {
  ScratchFolder folder;
  writeFile(folder / "before.txt", std::string("\xD0\x9F\xD1\x80\xD0\xB8\n\xE6\x97\xA5"));
  writeFile(folder.path() / fs::u8path("cafe\xCC\x81.txt"), std::string("decomposed on the host"));
  writeFile(folder.path() / fs::u8path("\xCE\xB1\xCE\xB2/x.txt"), std::string("x"));
  writeFile(folder / "manifest.toml", std::string(R"(
encoding = "utf-8"
title = "\u041F\u0440\u0438\u0432\u0435\u0442"
defaultDestination = "%PROGRAMFILES%\\\u0394"
preInstallText = { file = "before.txt" }
[[component]]
name = "\u65E5\u672C"
files = ["*.txt", "\u03B1\u03B2\\**", { name = "\u0444\u0430\u0439\u043B.txt", from = "before.txt" },
         { name = ")" + std::string(80, 'n') + "\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5\u65E5" + R"(", from = "before.txt" }]
)"));
  qzpack::Manifest m = qzpack::readManifest(folder / "manifest.toml");
  EXPECT_EQ(m.encoding, qzpack::Encoding::utf8);
  EXPECT_EQ(m.branding.activeCodePage, "UTF-8");
  EXPECT_EQ(m.title, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(m.preInstallText, "\xD0\x9F\xD1\x80\xD0\xB8\r\n\xE6\x97\xA5");
  EXPECT_EQ(m.components.at(0).name, "\xE6\x97\xA5\xE6\x9C\xAC");
  std::vector<std::string> names;
  for (const qzpack::ManifestFile& f : m.components.at(0).files) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"before.txt", "caf\xC3\xA9.txt",
                                             "\xCE\xB1\xCE\xB2\\x.txt",
                                             "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt",
                                             std::string(80, 'n') + [] {
                                               std::string s;
                                               for (int i = 0; i < 54; ++i) s += "\xE6\x97\xA5";
                                               return s;
                                             }()}));
  // 80 + 162 bytes fit 260, but not under "C:\Program Files (x86)\\u0394\".
  ASSERT_EQ(m.warnings.size(), 1u);
  EXPECT_NE(m.warnings[0].find("242 bytes"), std::string::npos) << m.warnings[0];
}

TEST(QzpackManifest, Utf8ErrorsNameThePlace) {
  ScratchFolder folder;
  writeFile(folder / "bad.txt", std::string("ok\n\xC3("));
  writeFile(folder / "one.txt", std::string("one"));
  writeFile(folder / "two.txt", std::string("two"));
  const std::string head = "encoding = \"utf-8\"\ntitle = \"t\"\n";
  const struct {
    std::string manifest;
    std::vector<std::string> said;
  } cases[] = {
      {"title = \"\u041F\"\n", {":1:9", "U+41F is not in the Windows-1252 code page", "utf-8"}},
      {"encoding = \"utf-16\"\ntitle = \"t\"\n", {":1:12", "\"windows-1252\" or \"utf-8\""}},
      {head + "lastWords = \"\xC3(\"\n", {":3:"}},  // the TOML reader's own check
      {head + "lastWords = { file = \"bad.txt\" }\n", {"bad.txt", "not valid UTF-8 (at byte 3)"}},
      // Given names: a Windows folder cannot hold two files named so.
      {head + "[[component]]\nname = \"c\"\nfiles = [{ name = \"\u0391.txt\", from = \"one.txt\" },"
              " { name = \"\u03B1.txt\", from = \"two.txt\" }]\n",
       {":5:", "differ only in letter case or composition"}},
      {head + "[[component]]\nname = \"c\"\nfiles = [{ name = \"cafe\u0301\", from = \"one.txt\" },"
              " { name = \"caf\u00E9\", from = \"two.txt\" }]\n",
       {":5:", "would be the same entry"}},  // both are stored composed
  };
  for (const auto& c : cases) {
    std::string error = buildError(folder, c.manifest);
    for (const std::string& part : c.said)
      EXPECT_NE(error.find(part), std::string::npos) << c.manifest << " gives " << error;
  }
#ifndef _WIN32
  // A host name that is not UTF-8 cannot be a Windows name in the package.
  ScratchFolder other;
  writeFile(other.path() / "caf\xE9.txt", std::string("Latin-1 on the host"));
  std::string error = buildError(other, head + "[[component]]\nname = \"c\"\nfiles = [\"*\"]\n");
  EXPECT_NE(error.find("caf\xE9.txt has a name Windows cannot hold"), std::string::npos) << error;
#endif
}

TEST(QzpackManifest, LimitsOfTheStubAreRefused) {
  ScratchFolder folder;
  std::string fields;
  for (int i = 0; i < 65; ++i) fields += "[[field]]\ncaption = \"c\"\nvariableName = \"v\"\n";
  EXPECT_NE(buildError(folder, "title = \"x\"\n" + fields).find("more than 64"), std::string::npos);
  EXPECT_NE(buildError(folder, "title = \"" + std::string(16384, 'x') + "\"\n").find("longer than"),
            std::string::npos);
  std::string longName =
      "[[component]]\nname = \"c\"\nfiles = [\"" + std::string(261, 'n') + "\"]\n";
  EXPECT_NE(buildError(folder, "title = \"x\"\n" + longName).find("longer than 260"),
            std::string::npos);
}

TEST(QzpackBuild, RefusesAStubItCannotCarry) {
  ScratchFolder folder;
  writeFile(folder / "early.exe", fakeStub(64));
  try {
    qzpack::readStub(folder / "early.exe");
    FAIL() << "a stub with its PE header at byte 64 was taken";
  } catch (const qzpack::BuildError& e) {
    EXPECT_NE(std::string(e.what()).find("byte 64"), std::string::npos) << e.what();
  }
  writeFile(folder / "text.exe", std::string(200, 'x'));
  EXPECT_THROW(qzpack::readStub(folder / "text.exe"), qzpack::BuildError);
  writeFile(folder / "good.exe", fakeStub(100));
  EXPECT_EQ(qzpack::readStub(folder / "good.exe").size(), 512u);
  Bytes signedStub = fakeStub(100, 600);
  setCertificateTable(signedStub, 512, 88);
  writeFile(folder / "signed.exe", signedStub);
  try {
    qzpack::readStub(folder / "signed.exe");
    FAIL() << "a signed stub was taken";
  } catch (const qzpack::BuildError& e) {
    EXPECT_NE(std::string(e.what()).find("sign the finished package"), std::string::npos)
        << e.what();
  }
}

TEST(QzpackBuild, FailedBuildLeavesNoOutputAndKeepsAnOlderFile) {
  ScratchFolder folder;
  writePayload(folder);
  writeFile(folder / "stub.exe", fakeStub());
  writeFile(folder / "manifest.toml", std::string(twoFiles));
  qzpack::Manifest m = qzpack::readManifest(folder / "manifest.toml");
  fs::remove(folder / "data/two.bin");  // vanishes between reading the manifest and packing
  try {
    qzpack::buildPackage(m, folder / "stub.exe", folder / "out.exe");
    ADD_FAILURE() << "a vanished file was packed";
  } catch (const qzpack::BuildError& e) {
    EXPECT_NE(std::string(e.what()).find("two.bin"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(folder / "out.exe"));
  // Folders made for the output go again with it.
  EXPECT_THROW(qzpack::buildPackage(m, folder / "stub.exe", folder / "new/dist/out.exe"),
               qzpack::BuildError);
  EXPECT_FALSE(fs::exists(folder / "new"));

  writeFile(folder / "out.exe", std::string("older package"));
  EXPECT_THROW(qzpack::buildPackage(m, folder / "stub.exe", folder / "out.exe"),
               qzpack::BuildError);
  EXPECT_EQ(readFile(folder / "out.exe"), bytesOf("older package"));
  for (const auto& entry : fs::directory_iterator(folder.path()))
    EXPECT_EQ(entry.path().extension().string() == ".tmp", false) << entry.path();

  writePayload(folder);  // a missing output folder is made when the build goes through
  qzpack::buildPackage(m, folder / "stub.exe", folder / "new/dist/out.exe");
  EXPECT_TRUE(fs::is_regular_file(folder / "new/dist/out.exe"));
}

TEST(QzpackBuild, CarrierLayoutPointsAtHeaderAndArchive) {
  ScratchFolder folder;
  writePayload(folder);
  Bytes package = readFile(buildPackage(folder, twoFiles));
  Bytes stub = fakeStub();
  uint32_t headerOffset = package[96] | package[97] << 8 | package[98] << 16 | package[99] << 24;
  EXPECT_EQ(headerOffset, stub.size());
  EXPECT_TRUE(std::equal(stub.begin(), stub.begin() + 96, package.begin())) << "stub kept";
  EXPECT_TRUE(std::equal(stub.begin() + 100, stub.end(), package.begin() + 100));

  fs::path path = folder / "package.exe";
  freeSetupHeader();
  ASSERT_EQ(readSetupHeader(path.string().c_str(), false, nullptr), headerOk);
  ArchiveReader* archive = openArchive(path.string().c_str(), header.archiveOffset);
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->status, archiveOk);
  EXPECT_EQ(archive->archiveFlags, archiveCompressed) << "bzip2 by default";
  ASSERT_EQ(archive->count, 2);
  EXPECT_EQ(std::string(archive->names[1]), "data\\two.bin");
  EXPECT_EQ(archive->sizes[1], 100000);
  // Block size 9 by default.
  EXPECT_EQ(Bytes(package.begin() + archive->offsets[1], package.begin() + archive->offsets[1] + 4),
            bytesOf("BZh9"));
  freeArchive(archive);
  freeSetupHeader();
}

TEST(QzpackReport, ListShowsHeaderAndDirectory) {
  ScratchFolder folder;
  writePayload(folder);
  Outcome run = list(buildPackage(folder, twoFiles));
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* expected :
       {"title: \"Demo\"", "components: 1", "\"Main\" flags 0x01 (selected)", "\"data\\\\two.bin\"",
        "linkName \"%DESKTOP%\\\\One\"", "flags 0x01 (bzip2), 2 entries"})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
}

TEST(QzpackReport, VerifyAcceptsASoundPackageAndReportsEveryKindOfDamage) {
  ScratchFolder folder;
  writePayload(folder);
  fs::path path = buildPackage(folder, twoFiles);
  Outcome good = verify(path);
  EXPECT_EQ(good.status, 0) << good.err;
  Bytes package = readFile(path);

  // A download cut short inside the last entry's stream.
  writeFile(folder / "cut.exe", Bytes(package.begin(), package.end() - 100));
  Outcome cut = verify(folder / "cut.exe");
  EXPECT_NE(cut.status, 0);
  EXPECT_NE(cut.err.find("\"data\\\\two.bin\" stops at byte"), std::string::npos) << cut.err;

  // One flipped bit inside the compressed data.
  Bytes flipped = package;
  flipped[flipped.size() - 2000] ^= 0x10;
  writeFile(folder / "flipped.exe", flipped);
  Outcome corrupt = verify(folder / "flipped.exe");
  EXPECT_NE(corrupt.status, 0);
  EXPECT_NE(corrupt.err.find("two.bin"), std::string::npos) << corrupt.err;

  // A header cut short.
  writeFile(folder / "header.exe", Bytes(package.begin(), package.begin() + 530));
  Outcome header = verify(folder / "header.exe");
  EXPECT_NE(header.status, 0);
  EXPECT_NE(header.err.find("setup header"), std::string::npos) << header.err;
}

// What a signer does to a finished package: pads it to 8 bytes, appends a certificate table and
// points the security directory at it.
TEST(QzpackReport, ASignedPackageIsSaidToBeSignedAndReadsAsBefore) {
  ScratchFolder folder;
  writePayload(folder);
  fs::path path = buildPackage(folder, twoFiles);
  Outcome unsignedList = list(path);
  ASSERT_EQ(unsignedList.status, 0) << unsignedList.err;
  EXPECT_NE(unsignedList.out.find(", not signed"), std::string::npos) << unsignedList.out;
  Bytes package = readFile(path);
  package.resize(package.size() + 8 - package.size() % 8, 0);
  uint32_t table = static_cast<uint32_t>(package.size());
  package.insert(package.end(), 64, 0xA5);
  setCertificateTable(package, table, 64);
  writeFile(folder / "signed.exe", package);

  Outcome signedList = list(folder / "signed.exe");
  EXPECT_EQ(signedList.status, 0) << signedList.err;
  std::string signature =
      "signed: Authenticode certificate table of 64 bytes at offset " + std::to_string(table);
  EXPECT_NE(signedList.out.find(signature), std::string::npos) << signedList.out;
  auto archiveLines = [](const std::string& out) { return out.substr(out.find("archive:")); };
  EXPECT_EQ(archiveLines(signedList.out), archiveLines(unsignedList.out))
      << "stored lengths count neither the padding nor the certificate";
  Outcome signedVerify = verify(folder / "signed.exe");
  EXPECT_EQ(signedVerify.status, 0) << signedVerify.err;
  EXPECT_NE(signedVerify.out.find(signature), std::string::npos) << signedVerify.out;

  setCertificateTable(package, table, 65);  // one byte past the end of the file
  writeFile(folder / "broken.exe", package);
  Outcome broken = verify(folder / "broken.exe");
  EXPECT_NE(broken.status, 0);
  EXPECT_NE(broken.err.find("runs past the end of the file"), std::string::npos) << broken.err;
}

TEST(QzpackReport, VerifyReportsAHeaderFileWithoutAnEntry) {
  ScratchFolder folder;
  writeFile(folder / "manifest.toml", std::string(twoFiles));
  writePayload(folder);
  qzpack::Manifest m = qzpack::readManifest(folder / "manifest.toml");
  // Header names one.txt and data\two.bin; the archive holds only one.txt.
  Bytes file = fakeStub();
  uint32_t headerOffset = static_cast<uint32_t>(file.size());
  for (int i = 0; i < 4; ++i) file[96 + i] = static_cast<unsigned char>(headerOffset >> (8 * i));
  Bytes headerBytes = qzpack::headerBytes(m, 0);
  uint32_t archiveOffset = headerOffset + static_cast<uint32_t>(headerBytes.size());
  headerBytes = qzpack::headerBytes(m, archiveOffset);
  file.insert(file.end(), headerBytes.begin(), headerBytes.end());
  putU32(file, 8 + 8 + 8 + 1);
  putU32(file, 0);
  putString(file, "one.txt");
  putU32(file, 0);
  putU32(file, 3);
  file.push_back(0);
  for (char c : std::string("abc")) file.push_back(static_cast<unsigned char>(c));
  writeFile(folder / "missing.exe", file);
  Outcome run = verify(folder / "missing.exe");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("file \"data\\\\two.bin\" of component \"Main\" has no archive entry"),
            std::string::npos)
      << run.err;
}

TEST(QzpackReport, VerifyNamesEveryFileAndEntryThatWouldLeaveTheDestination) {
  ScratchFolder folder;
  writePayload(folder);
  Bytes package = readFile(buildPackage(folder, twoFiles));
  replaceAll(package, "one.txt", "..\\a.tx");
  replaceAll(package, "data\\two.bin", "b.bin:stream");
  writeFile(folder / "patched.exe", package);
  Outcome run = verify(folder / "patched.exe");
  EXPECT_NE(run.status, 0);
  for (const char* fault : {"file \"..\\\\a.tx\" of component \"Main\" leaves the destination",
                            "file \"b.bin:stream\" of component \"Main\" leaves the destination",
                            "entry \"..\\\\a.tx\" would leave the destination",
                            "entry \"b.bin:stream\" would leave the destination", ": 4 faults"})
    EXPECT_NE(run.err.find(fault), std::string::npos) << fault << "\n" << run.err;
}

TEST(QzpackUninstaller, EntryAndShortcutGoToTheFirstRequiredComponent) {
  ScratchFolder folder;
  writePayload(folder);
  writeFile(folder / "uninstall.exe", std::string("MZ uninstaller"));  // beside the stub
  fs::path path = buildPackage(folder, R"(
title = "Demo"
shortcutFolder = "%PROGRAMS%\\Demo"
uninstaller = true
uninstallShortcut = "Uninstall Demo"
[[component]]
name = "Optional"
files = ["one.txt"]
[[component]]
name = "Core"
required = true
files = ["data\\two.bin"]
[[component]]
name = "Also required"
required = true
)");
  freeSetupHeader();
  ASSERT_EQ(readSetupHeader(path.string().c_str(), false, nullptr), headerOk);
  const Component* core = header.firstComponent->next;
  ASSERT_STREQ(core->name, "Core");
  ASSERT_NE(core->files, nullptr);
  EXPECT_STREQ(core->files->name, "uninstall.exe") << "after the component's own files";
  ASSERT_EQ(core->shortcutCount, 1);
  EXPECT_STREQ(core->shortcuts->target, "%PROGRAMDIR%\\uninstall.exe");
  EXPECT_STREQ(core->shortcuts->workingDirectory, "%PROGRAMDIR%");
  EXPECT_STREQ(core->shortcuts->linkName, "Uninstall Demo");
  EXPECT_EQ(header.firstComponent->shortcutCount, 0);
  EXPECT_EQ(core->next->files, nullptr);
  ArchiveReader* archive = openArchive(path.string().c_str(), header.archiveOffset);
  ASSERT_NE(archive, nullptr);
  uint32_t offset;
  int32_t size;
  EXPECT_TRUE(findEntry(archive, "uninstall.exe", &offset, &size));
  EXPECT_EQ(size, 14);
  freeArchive(archive);
  freeSetupHeader();
}

TEST(QzpackUninstaller, ErrorsSaySo) {
  ScratchFolder folder;
  writePayload(folder);
  writeFile(folder / "uninstall.exe", std::string("MZ"));
  const std::string manifest = (folder / "manifest.toml").string();
  const std::string requiredComponent = "[[component]]\nname = \"c\"\nrequired = true\n";
  const struct {
    const char* what;
    std::string manifest;
    fs::path uninstaller;  // empty: the one beside the stub
    std::string error;
  } cases[] = {
      {"no required component",
       "title = \"x\"\nuninstaller = true\n[[component]]\nname = \"c\"\n",
       {},
       manifest + ":2:15: uninstaller = true needs a required component"},
      {"a payload file of that name",
       "title = \"x\"\nuninstaller = true\n" + requiredComponent +
           "files = [{ name = \"Uninstall.EXE\", from = \"one.txt\" }]\n",
       {},
       manifest + ":2:15: uninstaller = true, but component \"c\" already has a file named "
                  "Uninstall.EXE"},
      {"a shortcut without the uninstaller",
       "title = \"x\"\nuninstallShortcut = \"U\"\n",
       {},
       manifest + ":2:21: uninstallShortcut needs uninstaller = true"},
      {"no uninstall.exe", "title = \"x\"\nuninstaller = true\n" + requiredComponent,
       folder / "absent.exe", "missing uninstaller " + (folder / "absent.exe").string()},
  };
  for (const auto& c : cases) {
    std::string error = buildError(folder, c.manifest, c.uninstaller);
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.what << ": " << error;
  }
}

}  // namespace
