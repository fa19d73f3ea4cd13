#include "package_extract.h"

#include <set>
#include <stdexcept>

#include "build_error.h"
#include "code_page.h"
#include "file_links.h"
#include "host_files.h"
#include "package/header.h"
#include "package_access.h"
#include "package_branding.h"
#include "windows_names.h"

namespace qzpack {
namespace {

namespace fs = std::filesystem;

struct Target {
  const char* name;  // the entry name, in the package's encoding
  fs::path path;
  std::vector<fs::path> folders;  // the folders of path below the extract folder, in turn
};

// The archive entries the request names (every entry when it names none), each once. A name
// may be given with '/' and, on a UTF-8 host, in UTF-8.
std::vector<const char*> chosenEntries(const ArchiveReader& archive,
                                       const std::vector<std::string>& names, Encoding encoding,
                                       std::vector<std::string>& faults) {
  std::vector<const char*> chosen;
  std::set<std::string> seen;
  auto take = [&](const char* name) {
    if (seen.insert(name).second) chosen.push_back(name);
  };
  auto find = [&](const std::string& wanted) -> const char* {
    for (int32_t i = 0; i < archive.count; ++i)
      if (wanted == archive.names[i]) return archive.names[i];
    return nullptr;
  };
  if (names.empty())
    for (int32_t i = 0; i < archive.count; ++i) take(archive.names[i]);
  for (std::string name : names) {
    for (char& c : name)
      if (c == '/') c = '\\';
    const char* entry = find(name);
    try {
      if (!entry) entry = find(toPackage(name, encoding));
    } catch (const std::invalid_argument&) {
    }
    if (entry)
      take(entry);
    else
      faults.push_back("no entry is named " + quoted(name.c_str(), Encoding::utf8));
  }
  return chosen;
}

// Where an entry goes below folder, or a fault: names that leave the folder or that Windows
// cannot hold, and links or files in the way, are refused. The path is made from the name's
// UTF-8 form, which std::filesystem hands to Windows as UTF-16.
std::string place(const fs::path& folder, Encoding encoding, bool force, Target& target) {
  const char* name = target.name;
  auto shown = [&] { return quoted(name, encoding); };
  std::string fault = windowsNameFault(name, encoding);
  if (!fault.empty()) return "entry " + shown() + " is refused: " + fault;
  fs::path& path = target.path;
  path = folder;
  std::string text = fromPackage(name, encoding);
  for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
    end = text.find('\\', start);
    path /= fs::u8path(text.substr(start, end - start));
    bool last = end == std::string::npos;
    if (!last) target.folders.push_back(path.filename());
    std::error_code ec;
    if (isLink(path))
      return displayPath(path) + " is a symbolic link; extract neither follows nor replaces links";
    if (!last && fs::exists(path, ec) && !fs::is_directory(path, ec))
      return displayPath(path) + " is a file where entry " + shown() + " needs a folder";
    if (last && fs::is_directory(path, ec))
      return displayPath(path) + " is a folder where entry " + shown() + " needs a file";
    if (last && !force && fs::exists(path, ec))
      return displayPath(path) + " is there already (--force replaces it)";
  }
  return {};
}

// Writes one entry through a temporary file; returns the fault, if any. The folders on its way are
// walked again without following links, and held while the file is made: a link that appeared
// since the checks is neither followed nor replaced.
std::string write(const ArchiveReader& archive, const fs::path& folder, const Target& target,
                  Encoding encoding, bool force, uint64_t& bytes) {
  try {
    HeldFolder held;
    std::string fault = holdFolder(folder, target.folders, held);
    if (!fault.empty()) return fault + "; " + displayPath(target.path) + " is not written";
    PendingOutput out(std::move(held), target.path.filename());
    fault = readWholeEntry(
        archive, target.name, encoding, [&](const char* data, size_t size) { out.write(data, size); },
        &bytes);
    if (!fault.empty()) return fault + "; " + displayPath(target.path) + " is not written";
    std::error_code ec;
    if (isLinkInFolder(out.folder(), target.path.filename()) ||
        (!force && fs::exists(target.path, ec)))
      return displayPath(target.path) + " appeared while extracting; it is left as it is";
    out.commit(force);
    return {};
  } catch (const BuildError& e) {
    return e.what();
  }
}

}  // namespace

int extractPackage(const ExtractRequest& request, std::ostream& out, std::ostream& err) {
  if (!readHeader(request.package, err)) return 1;
  Encoding encoding = packageEncoding(request.package);
  Archive archive = openPackageArchive(request.package, err);
  freeSetupHeader();
  if (!archive) return 1;
  std::vector<std::string> faults;
  if (archive->status != archiveOk)
    faults.push_back(std::string("archive directory: ") + archiveStatusText(archive->status));
  std::error_code ec;
  if (fs::exists(request.folder, ec) && !fs::is_directory(request.folder, ec))
    faults.push_back(displayPath(request.folder) + " is not a folder");
  std::vector<Target> targets;
  for (const char* name : chosenEntries(*archive, request.names, encoding, faults)) {
    Target target{name, {}, {}};
    std::string fault = place(request.folder, encoding, request.force, target);
    if (fault.empty())
      targets.push_back(target);
    else
      faults.push_back(fault);
  }
  auto report = [&](const std::string& closing) {
    for (const std::string& fault : faults) err << request.package << ": " << fault << "\n";
    err << request.package << ": " << closing << "\n";
    return 1;
  };
  if (!faults.empty()) return report("nothing extracted");
  uint64_t bytes = 0;
  size_t written = 0;
  fs::create_directories(request.folder, ec);  // a fault shows at the first entry
  for (const Target& target : targets) {
    std::string fault = write(*archive, request.folder, target, encoding, request.force, bytes);
    if (fault.empty())
      ++written;
    else
      faults.push_back(fault);
  }
  if (!faults.empty())
    return report(std::to_string(written) + " of " + std::to_string(targets.size()) +
                  " files extracted");
  out << displayPath(request.folder) << ": " << written << " files, " << bytes
      << " bytes extracted\n";
  return 0;
}

}  // namespace qzpack
