// The package's executables as qzpack brands them: the shipping stub and uninstall.exe rewritten
// with each key, read back by qzpack's reader and checked for what a loader relies on.
#include <gtest/gtest.h>

#include <sstream>

#include "app_manifest.h"
#include "branding.h"
#include "manifest.h"
#include "package_extract.h"
#include "pe_resources.h"
#include "test_files.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const fs::path shippingStub = QZ_SOURCE_DIR "/build/win32/setup/setup.exe";
const fs::path shippingUninstaller = QZ_SOURCE_DIR "/build/win32/setup/uninstall.exe";

uint32_t alignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// What a loader relies on: sections in order and aligned, one after the other in the file and in
// memory, the image size, the resource and relocation directories at their sections, and the
// checksum. Empty when all hold.
std::string peFault(const Bytes& exe) {
  uint32_t pe = getU32(exe, 0x3C);
  size_t optional = pe + 24, count = exe[pe + 6] | exe[pe + 7] << 8;
  size_t table = optional + (exe[pe + 20] | exe[pe + 21] << 8);
  uint32_t sectionAlign = getU32(exe, optional + 32), fileAlign = getU32(exe, optional + 36);
  uint32_t nextAddress = 0, nextRaw = 0;
  std::map<uint32_t, uint32_t> sectionSizes;
  for (size_t i = 0; i < count; ++i) {
    size_t s = table + 40 * i;
    uint32_t size = getU32(exe, s + 8), address = getU32(exe, s + 12), raw = getU32(exe, s + 16),
             rawAt = getU32(exe, s + 20);
    if (address % sectionAlign || (nextAddress && address != nextAddress))
      return "section " + std::to_string(i) + " is not where the one before it ends";
    if (raw && (rawAt % fileAlign || raw % fileAlign || (nextRaw && rawAt != nextRaw)))
      return "section " + std::to_string(i) + "'s data is not aligned or not contiguous";
    nextAddress = alignUp(address + std::max(size, raw), sectionAlign);
    if (raw) nextRaw = rawAt + raw;
    sectionSizes[address] = size;
  }
  if (nextRaw != exe.size()) return "the file does not end with its last section";
  if (getU32(exe, optional + 56) != nextAddress) return "SizeOfImage is wrong";
  size_t directories = optional + 96;
  for (int d : {2, 5})
    if (!sectionSizes.count(getU32(exe, directories + 8 * d)))
      return "data directory " + std::to_string(d) + " does not start a section";
  if (getU32(exe, directories + 8 * 2 + 4) > sectionSizes[getU32(exe, directories + 16)])
    return "the resource directory is larger than its section";
  if (getU32(exe, optional + 64) != qzpack::peChecksum(exe)) return "the checksum is wrong";
  return "";
}

std::string brandingOf(const Bytes& exe) {
  std::ostringstream out;
  qzpack::reportBranding(exe, "test", out);
  return out.str();
}

struct Case {
  const char* name;
  const char* keys;
  std::vector<unsigned> iconSizes;  // app.ico's; none: no icon file
  const char* stubReport;           // what qzpack's reader says of the package's stub
};

TEST(Branding, EachKeyReadsBackFromTheStubAndTheUninstallerWhichStayValidExecutables) {
  if (!fs::exists(shippingStub) || !fs::exists(shippingUninstaller))
    GTEST_SKIP() << "build the win32 flavour first";
  const Case cases[] = {
      {"the stub's own defaults", "", {},
       "  execution level: requireAdministrator\n  icon A: 32x32\n  version information: none\n"},
      {"user level", "executionLevel = \"user\"\n", {},
       "  execution level: asInvoker\n  icon A: 32x32\n  version information: none\n"},
      {"an icon of one size", "icon = \"app.ico\"\n", {32},
       "  execution level: requireAdministrator\n  icon A: 32x32\n  version information: none\n"},
      {"several sizes and every version string",
       "icon = \"app.ico\"\nversion = \"1.2.3\"\npublisher = \"Corvalline\"\n"
       "copyright = \"\xC2\xA9 2026 Corvalline\"\nexecutionLevel = \"admin\"\n",
       {16, 32, 48, 256},
       "  execution level: requireAdministrator\n  icon A: 16x16 32x32 48x48 256x256\n"
       "  FileVersion (fixed): 1.2.3.0\n  CompanyName: Corvalline\n"
       "  FileDescription: Demo Setup\n  FileVersion: 1.2.3\n"
       "  LegalCopyright: \xC2\xA9 2026 Corvalline\n  OriginalFilename: package.exe\n"
       "  ProductName: Demo\n  ProductVersion: 1.2.3\n"},
      {"a version alone", "version = \"7\"\n", {},
       "  execution level: requireAdministrator\n  icon A: 32x32\n"
       "  FileVersion (fixed): 7.0.0.0\n  FileDescription: Demo Setup\n  FileVersion: 7\n"
       "  OriginalFilename: package.exe\n  ProductName: Demo\n  ProductVersion: 7\n"},
  };
  Bytes stub = readFile(shippingStub);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    writeFile(folder / "one.txt", std::string("one"));
    if (!c.iconSizes.empty()) writeFile(folder / "app.ico", iconFile(c.iconSizes));
    std::string manifest = std::string("title = \"Demo\"\nuninstaller = true\n") + c.keys +
                           "[[component]]\nname = \"Main\"\nrequired = true\nfiles = [\"one.txt\"]\n";
    Bytes package = readFile(buildPackage(folder, manifest, shippingStub, shippingUninstaller));
    Bytes packed(package.begin(), package.begin() + getU32(package, 96));
    std::copy(stub.begin() + 96, stub.begin() + 100, packed.begin() + 96);  // as the stub had them
    EXPECT_EQ(brandingOf(packed), c.stubReport);
    EXPECT_EQ(peFault(packed), "");
    if (!*c.keys) {
      EXPECT_EQ(packed, stub) << "no key, no rewrite";
    }

    std::ostringstream out, err;
    ASSERT_EQ(qzpack::extractPackage({(folder / "package.exe").string(), folder / "x", {}}, out, err), 0)
        << err.str();
    Bytes uninstaller = readFile(folder / "x/uninstall.exe");
    std::string expected = c.stubReport;
    for (auto [from, to] : {std::pair{"Demo Setup", "Demo Uninstall"},
                            std::pair{"package.exe", "uninstall.exe"}})
      if (size_t at = expected.find(from); at != std::string::npos) expected.replace(at, strlen(from), to);
    if (c.iconSizes.empty()) expected.replace(expected.find("32x32"), 5, "none");
    EXPECT_EQ(brandingOf(uninstaller), expected);
    EXPECT_EQ(peFault(uninstaller), "");
  }
}

TEST(Branding, DefaultManifestIsTheStubsBuiltInOne) {
  EXPECT_EQ(bytesOf(qzpack::manifestXml({})), readFile(QZ_SOURCE_DIR "/setup/start/default.manifest"));
  for (auto level : {qzpack::ExecutionLevel::admin, qzpack::ExecutionLevel::user})
    EXPECT_EQ(qzpack::manifestLevel(qzpack::manifestXml({level, ""})), level);
  EXPECT_NE(qzpack::manifestXml({qzpack::ExecutionLevel::user, "UTF-8"}).find(">UTF-8</activeCodePage>"),
            std::string::npos);
}

TEST(Branding, BadKeysAndIconsAreRefusedWithTheirReason) {
  Bytes good = iconFile({16, 32});
  auto patched = [&](size_t at, unsigned char value) {
    Bytes icon = good;
    icon[at] = value;
    return icon;
  };
  Bytes cut(good.begin(), good.begin() + 40);
  const std::pair<std::string, Bytes> iconCases[] = {
      {"not an icon file", bytesOf("GIF89a not an icon")},
      {"no 32x32 image", iconFile({16, 48})},
      {"holds no image", Bytes{0, 0, 1, 0, 0, 0}},
      {"lies outside the file", cut},
      {"is 32x32 inside", patched(22, 48)},  // the second entry says 48 wide of a 32x32 image
      {"neither a PNG nor a bitmap", patched(6 + 32 + 0, 7)},  // the first image's header size
  };
  for (const auto& [reason, icon] : iconCases) {
    SCOPED_TRACE(reason);
    ScratchFolder folder;
    writeFile(folder / "bad.ico", icon);
    try {
      buildPackage(folder, "title = \"Demo\"\nicon = \"bad.ico\"\n");
      ADD_FAILURE() << "built";
    } catch (const qzpack::BuildError& e) {
      EXPECT_NE(std::string(e.what()).find("bad.ico"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
  }
  const std::pair<const char*, const char*> keyCases[] = {
      {"version = \"1.2.3.4.5\"", "one to four numbers"},
      {"version = \"1.65536\"", "one to four numbers"},
      {"version = \"1..2\"", "one to four numbers"},
      {"version = \"v1\"", "one to four numbers"},
      {"executionLevel = \"highest\"", "\"admin\" or \"user\""},
      {"publisher = \"Corvalline\"", "publisher needs version"},
  };
  for (const auto& [key, reason] : keyCases) {
    SCOPED_TRACE(key);
    ScratchFolder folder;
    try {
      buildPackage(folder, std::string("title = \"Demo\"\n") + key + "\n");
      ADD_FAILURE() << "built";
    } catch (const qzpack::BuildError& e) {
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("manifest.toml:2:"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
