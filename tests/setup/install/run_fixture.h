// What the installation run's tests share: the wizard's services as doubles that record what the
// run asks and reports, the ways a run may share its decoding between threads, and a fixture
// that builds a package and runs it. Natively (on Linux) a backslash is part of a name, so the
// run's "destination\name" paths are files beside the destination's folder there: the tests
// name installed files through installed() and clear them with clearDestination().
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "install/install_run.h"
#include "test_files.h"

// What the doubles answer and what they recorded.
extern std::string destination;
extern std::vector<std::string> fields;
extern std::vector<bool> selectedRows;
extern std::vector<std::pair<int32_t, int32_t>> progress;
extern std::function<void()> atFirstProgress;  // what a test does once the run is under way
extern int inputDrops;

// The ways of sharing the decoding between the two threads that a run may take.
struct Sharing {
  const char* what;
  bool oneThread, secondThreadOnly;
  int64_t limit;
};
extern const Sharing sharings[5];  // alone first, then shared and all ahead, at two limits
void share(const Sharing& s);

class InstallRun : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Builds a package from manifest text and reads its header as the wizard does.
  void package(const std::string& manifest);
  void load(const std::filesystem::path& path);
  // Opens path as the run's carrier, as the wizard opens its own file; "" only closes the last.
  void useCarrier(const std::string& path);
  InstallOutcome run(int full) { return runInstallation(full, &failure); }
  std::filesystem::path dest(const std::string& name = "") const {
    return std::filesystem::path(destination) / name;
  }
  // A file as the run names it, destination\name, on either system.
  std::filesystem::path installed(const std::string& name) const {
    return destination + "\\" + name;
  }
  // Removes everything the runs installed.
  void clearDestination() const;

  testing_support::ScratchFolder folder;
  std::string packagePath;
  InstallFailure failure{};
};
