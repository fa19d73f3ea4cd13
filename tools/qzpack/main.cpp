// qzpack: makes installer packages and checks them.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "job_threads.h"
#include "manifest.h"
#include "package_extract.h"
#include "package_report.h"
#include "package_writer.h"
#include "packed_uninstaller.h"
#include "progress_line.h"
#include "qz_version.h"
#include "try_package.h"
#include "uninstaller_entry.h"

namespace fs = std::filesystem;

namespace {

const char* usage =
    "usage: qzpack build MANIFEST -o OUT.exe [--stub setup.exe] [--uninstaller uninstall.exe]\n"
    "                    [-j JOBS] [--sign-command 'CMD {in} {out}']\n"
    "       qzpack list PACKAGE\n"
    "       qzpack verify PACKAGE\n"
    "       qzpack extract PACKAGE DIR [NAME...] [--force]\n"
    "       qzpack try PACKAGE [--method full|normal|custom] [--component N]...\n"
    "                  [--field NAME=VALUE]... [--destination PATH] [--shots DIR] [--keep]\n"
    "       qzpack --version\n";

// The stub: --stub, else $QZPACK_STUB, else setup.exe beside qzpack, else the one this build
// tree made.
fs::path defaultStub(const char* argv0) {
  if (const char* env = std::getenv("QZPACK_STUB")) return env;
  std::error_code ec;
  fs::path self = fs::absolute(argv0, ec);
#ifdef __linux__
  // Found through PATH, argv[0] is a bare name: the kernel knows where the program lies.
  std::error_code linkError;
  fs::path running = fs::read_symlink("/proc/self/exe", linkError);
  if (!linkError) self = running;
#endif
  fs::path beside = self.parent_path() / "setup.exe";
  if (!ec && fs::exists(beside)) return beside;
#ifdef QZPACK_DEFAULT_STUB
  return QZPACK_DEFAULT_STUB;
#else
  return beside;
#endif
}

constexpr unsigned maxJobs = 256;

// The count of -j N or -jN; 0 when it is not a number from 1 to maxJobs.
unsigned jobCount(const std::string& text) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  unsigned jobs = static_cast<unsigned>(std::stoul(text));
  return jobs <= maxJobs ? jobs : 0;
}

int build(const std::vector<std::string>& args, const char* argv0) {
  std::string manifest, output, stub, uninstaller, signCommand;
  qzpack::BuildOptions options;
  options.jobs = qzpack::coreCount();
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "-o" || args[i] == "--stub" || args[i] == "--uninstaller" ||
         args[i] == "--sign-command") &&
        i + 1 < args.size()) {
      std::string& target = args[i] == "-o"             ? output
                            : args[i] == "--stub"         ? stub
                            : args[i] == "--uninstaller"  ? uninstaller
                                                          : signCommand;
      target = args[++i];
    } else if (args[i].rfind("-j", 0) == 0 && (args[i].size() > 2 || i + 1 < args.size())) {
      options.jobs = jobCount(args[i].size() > 2 ? args[i].substr(2) : args[++i]);
      if (!options.jobs) {
        std::cerr << "qzpack: -j takes a number of jobs from 1 to " << maxJobs << "\n";
        return 2;
      }
    } else if (manifest.empty() && args[i].rfind("-", 0) != 0) {
      manifest = args[i];
    } else {
      std::cerr << usage;
      return 2;
    }
  }
  if (manifest.empty() || output.empty()) {
    std::cerr << usage;
    return 2;
  }
  try {
    fs::path stubPath = stub.empty() ? defaultStub(argv0) : fs::path(stub);
    qzpack::Manifest m = qzpack::readManifest(manifest);
    for (const std::string& warning : m.warnings) std::cerr << "qzpack: warning: " << warning << "\n";
    qzpack::addUninstaller(
        m, uninstaller.empty() ? qzpack::defaultUninstaller(stubPath) : fs::path(uninstaller));
    qzpack::PackedUninstaller packed(m, output, signCommand);
    // The progress line goes where errors go, and only to a terminal: a log stays clean.
    if (qzpack::isTerminal(stderr)) options.progress = stderr;
    qzpack::BuildSummary s = qzpack::buildPackage(m, stubPath, output, options);
    std::cout << output << ": stub " << s.stubSize << " bytes, header " << s.headerSize
              << " bytes, archive " << s.archiveSize << " bytes (" << s.entries << " entries, "
              << s.contentSize << " bytes of content)\n";
    return 0;
  } catch (const qzpack::BuildError& e) {
    std::istringstream lines(e.what());  // a manifest's faults, one a line
    for (std::string line; std::getline(lines, line);) std::cerr << "qzpack: " << line << "\n";
    return 1;
  }
}

int extract(const std::vector<std::string>& args) {
  qzpack::ExtractRequest request;
  std::vector<std::string> operands;
  bool options = true, unknown = false;
  for (const std::string& arg : args) {
    if (options && arg == "--force")
      request.force = true;
    else if (options && arg == "--")
      options = false;
    else if (options && arg.size() > 1 && arg[0] == '-')
      unknown = true;
    else
      operands.push_back(arg);
  }
  if (unknown || operands.size() < 2) {
    std::cerr << usage;
    return 2;
  }
  request.package = operands[0];
  request.folder = operands[1];
  request.names.assign(operands.begin() + 2, operands.end());
  return qzpack::extractPackage(request, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << usage;
    return 2;
  }
  std::string command = args[0];
  args.erase(args.begin());
  if (command == "--version" && args.empty()) {
    std::cout << "qzpack " << QZ_VERSION << "\n";
    return 0;
  }
  if (command == "build") return build(args, argv[0]);
  if (command == "extract") return extract(args);
  if (command == "try") return qzpack::tryPackage(args, argv[0], std::cerr);
  if ((command == "list" || command == "verify") && args.size() == 1) {
    return command == "list" ? qzpack::listPackage(args[0], std::cout, std::cerr)
                             : qzpack::verifyPackage(args[0], std::cout, std::cerr);
  }
  std::cerr << usage;
  return 2;
}
