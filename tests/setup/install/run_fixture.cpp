#include "run_fixture.h"

#ifdef _WIN32
#include <objbase.h>
#endif

#include <utility>

#include "install/decode_ahead.h"
#include "package/header.h"
#include "package/package_file.h"
#include "package/services.h"

namespace fs = std::filesystem;

std::string destination;
std::vector<std::string> fields;
std::vector<bool> selectedRows;
std::vector<std::pair<int32_t, int32_t>> progress;
std::function<void()> atFirstProgress;
int inputDrops;

void addComponentRow(const char*, int selected) {
  selectedRows.push_back(selected != 0);
}
const char* destinationText() {
  return destination.c_str();
}
const char* fieldText(int index) {
  return fields.at(static_cast<size_t>(index)).c_str();
}
bool rowSelected(int index) {
  return selectedRows.at(static_cast<size_t>(index));
}
void drawProgress(int32_t done, int32_t total) {
  progress.emplace_back(done, total);
  if (atFirstProgress) std::exchange(atFirstProgress, nullptr)();
}
void dropQueuedInput() {
  ++inputDrops;
}

const Sharing sharings[5] = {{"alone", true, false, int64_t{64} << 20},
                             {"shared", false, false, int64_t{64} << 20},
                             {"all ahead", false, true, int64_t{64} << 20},
                             {"shared, 96 KiB", false, false, 96 << 10},
                             {"all ahead, 96 KiB", false, true, 96 << 10}};

void share(const Sharing& s) {
  decodeHooks.oneThread = s.oneThread;
  decodeHooks.secondThreadOnly = s.secondThreadOnly;
  decodeHooks.limit = s.limit;
}

void InstallRun::SetUp() {
#ifdef _WIN32
  CoInitialize(nullptr);
#endif
  freeSetupHeader();
  fields.clear();
  selectedRows.clear();
  progress.clear();
  atFirstProgress = nullptr;
  inputDrops = 0;
  progressDone = 0;
  destination = (folder / "out" / "dest").string();
}

void InstallRun::TearDown() {
  freeSetupHeader();
  share(sharings[1]);
  useCarrier("");
}

void InstallRun::package(const std::string& manifest) {
  useCarrier("");  // the package is written anew
  load(testing_support::buildPackage(folder, manifest));
}

void InstallRun::load(const fs::path& path) {
  packagePath = path.string();
  ASSERT_EQ(readSetupHeader(packagePath.c_str(), true, nullptr), headerOk);
  ASSERT_EQ(readSetupHeader(packagePath.c_str(), false, addComponentRow), headerOk);
  useCarrier(packagePath);
}

void InstallRun::useCarrier(const std::string& path) {
  closePackageFile(carrier);
  carrier = openPackageFile(path.c_str());
}

void InstallRun::clearDestination() const {
  fs::remove_all(folder / "out");
}
