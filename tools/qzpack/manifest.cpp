#include "manifest.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "file_links.h"
#include "host_files.h"
#include "manifest_checks.h"
#include "payload_files.h"
#include "toml_parser.h"
#include "version_info.h"
#include "windows_names.h"

namespace qzpack {
namespace {

namespace fs = std::filesystem;

class Reader {
 public:
  explicit Reader(fs::path path) : path_(std::move(path)), folder_(path_.parent_path()) {}

  Manifest read() {
    toml::table root;
    try {
      root = toml::parse_file(path_.string());
    } catch (const toml::parse_error& e) {
      throw BuildError(where(e.source()) + ": " + std::string(e.description()));
    }
    allowOnly(root, {"title", "defaultDestination", "shortcutFolder", "preInstallText", "lastWords",
                     "background", "compression", "blockSize", "source", "field", "component",
                     "uninstaller", "uninstallShortcut", "executionLevel", "icon", "version",
                     "publisher", "copyright", "encoding"});
    source_ = folder_;
    if (auto* node = root.get("source")) source_ = manifestPath(*node, "source");
    Manifest m;
    m.encoding = encoding_ = encoding(root);
    wizardKeys(root, m);
    storageKeys(root, m);
    uninstallerKeys(root, m);
    m.branding = branding(root);
    if (m.encoding == Encoding::utf8) m.branding.activeCodePage = "UTF-8";
    for (const toml::table& t : tables(root, "field")) m.fields.push_back(field(t));
    if (m.fields.size() > maxCustomFields)
      fail(*root.get("field"), "more than " + std::to_string(maxCustomFields) + " custom fields");
    for (const toml::table& t : tables(root, "component")) m.components.push_back(component(t));
    m.warnings = pathRoomWarnings(m);
    m.defaultDestinationAt = placeOf(root, "defaultDestination");
    m.shortcutFolderAt = placeOf(root, "shortcutFolder");
    m.uninstallShortcutAt = placeOf(root, "uninstallShortcut");
    std::vector<std::string> errors = clashes_;
    for (std::string& e : checkManifest(m)) errors.push_back(std::move(e));
    if (!errors.empty()) {
      std::string all;
      for (const std::string& e : errors) all += (all.empty() ? "" : "\n") + e;
      throw BuildError(all);
    }
    return m;
  }

 private:
  // How the package's texts and names are written; every text key depends on it.
  Encoding encoding(const toml::table& root) const {
    const toml::node* node = root.get("encoding");
    if (!node) return Encoding::windows1252;
    std::string value = text(*node, "encoding", false);
    for (Encoding e : {Encoding::windows1252, Encoding::utf8})
      if (value == encodingName(e)) return e;
    fail(*node, "encoding must be \"windows-1252\" or \"utf-8\"");
  }

  // The texts and looks of the wizard.
  void wizardKeys(const toml::table& root, Manifest& m) const {
    m.title = headerText(root, "title", true);
    m.defaultDestination = headerText(root, "defaultDestination", false);
    m.shortcutFolder = headerText(root, "shortcutFolder", false);
    m.preInstallText = longText(root, "preInstallText");
    m.lastWords = longText(root, "lastWords");
    const toml::node* background = root.get("background");
    if (background && flag(*background, "background")) m.setupFlags |= setupFlagBackground;
  }

  // How the archive stores its entries.
  void storageKeys(const toml::table& root, Manifest& m) const {
    if (auto* node = root.get("compression")) {
      std::string value = text(*node, "compression", false);
      if (value == "bzip2")
        m.compression = Compression::bzip2;
      else if (value == "none")
        m.compression = Compression::none;
      else
        fail(*node, "compression must be \"bzip2\" or \"none\"");
    }
    if (auto* node = root.get("blockSize")) {
      auto value = node->value<int64_t>();
      if (!value || *value < smallestBlockSize || *value > largestBlockSize)
        fail(*node, "blockSize must be an integer " + std::to_string(smallestBlockSize) + " to " +
                        std::to_string(largestBlockSize));
      m.blockSize = static_cast<int>(*value);
    }
  }

  // Names that leave too little room for themselves under the default destination, as it
  // usually expands: setup's paths end at 260 bytes, and the user may only shorten the folder.
  std::vector<std::string> pathRoomWarnings(const Manifest& m) const {
    std::vector<std::string> warnings;
    size_t destination = usualExpandedBytes(m.defaultDestination) + 1;  // and a backslash
    for (const ManifestComponent& c : m.components) {
      for (const ManifestFile& f : c.files) {
        if (destination + f.name.size() <= maxNameBytes) continue;
        warnings.push_back("file \"" + fromPackage(f.name, encoding_) + "\" takes " +
                           std::to_string(f.name.size()) + " bytes; under the default destination, " +
                           "usually " + std::to_string(destination) + " bytes with its backslash, " +
                           "its path passes the 260 bytes setup's paths hold");
      }
    }
    return warnings;
  }

  void uninstallerKeys(const toml::table& root, Manifest& m) const {
    if (auto* node = root.get("uninstaller")) {
      m.uninstaller = flag(*node, "uninstaller");
      m.uninstallerAt = where(node->source());
    }
    m.uninstallShortcut = headerText(root, "uninstallShortcut", false);
    if (!m.uninstallShortcut.empty() && !m.uninstaller)
      fail(*root.get("uninstallShortcut"), "uninstallShortcut needs uninstaller = true");
  }

  std::string where(const toml::source_region& at) const {
    std::ostringstream s;
    s << displayPath(path_);
    if (at.begin.line) s << ":" << at.begin.line << ":" << at.begin.column;
    return s.str();
  }

  // Where a key's value is, or its table when it is not given.
  std::string placeOf(const toml::table& table, const char* key) const {
    const toml::node* node = table.get(key);
    return where(node ? node->source() : table.source());
  }

  [[noreturn]] void fail(const toml::node& node, const std::string& message) const {
    throw BuildError(where(node.source()) + ": " + message);
  }

  void allowOnly(const toml::table& table, std::set<std::string> keys) const {
    for (auto&& [key, value] : table) {
      if (!keys.count(std::string(key.str())))
        throw BuildError(where(key.source()) + ": unknown key \"" + std::string(key.str()) + "\"");
    }
  }

  // A string of the manifest, as written (UTF-8) or, for the package, in its encoding.
  std::string text(const toml::node& node, const char* key, bool forPackage) const {
    const auto* value = node.as_string();
    if (!value) fail(node, std::string(key) + " must be a string");
    if (!forPackage) return value->get();
    try {
      return toPackage(value->get(), encoding_);
    } catch (const std::invalid_argument& e) {
      fail(node, std::string(key) + ": " + e.what());
    }
  }

  // An entry name the manifest gives (UTF-8) in the package's encoding; composed in UTF-8, as
  // Windows users type names and as the payload's own names are taken.
  std::string entryName(const toml::node& node, const std::string& utf8) const {
    try {
      return toPackage(encoding_ == Encoding::utf8 ? composed(utf8) : utf8, encoding_);
    } catch (const std::invalid_argument& e) {
      fail(node, std::string("file name: ") + e.what());
    }
  }

  // A path the manifest gives: UTF-8, relative to the manifest's folder.
  fs::path manifestPath(const toml::node& node, const char* key) const {
    return folder_ / fs::u8path(text(node, key, false));
  }

  bool flag(const toml::node& node, const char* key) const {
    auto value = node.value<bool>();
    if (!value || !node.is_boolean()) fail(node, std::string(key) + " must be true or false");
    return *value;
  }

  std::string limited(const toml::node& node, const char* key, std::string value,
                      size_t limit) const {
    if (value.find('\0') != std::string::npos) fail(node, std::string(key) + " holds a NUL");
    if (value.size() > limit)
      fail(node, std::string(key) + " is longer than " + std::to_string(limit) + " bytes");
    return value;
  }

  std::string headerText(const toml::table& table, const char* key, bool required,
                         size_t limit = maxHeaderStringLength) const {
    const toml::node* node = table.get(key);
    if (!node) {
      if (required) throw BuildError(where(table.source()) + ": missing " + key);
      return {};
    }
    return limited(*node, key, text(*node, key, true), limit);
  }

  // Multi-line wizard texts: inline, or { file = "name" } relative to the manifest. Line breaks
  // become CR LF, which the wizard's text boxes need.
  std::string longText(const toml::table& table, const char* key) const {
    const toml::node* node = table.get(key);
    if (!node) return {};
    std::string value;
    if (const auto* from = node->as_table()) {
      allowOnly(*from, {"file"});
      const toml::node* file = from->get("file");
      if (!file) fail(*node, std::string(key) + " needs a file");
      fs::path path = manifestPath(*file, "file");
      std::ifstream in(path, std::ios::binary);
      if (!in) fail(*file, "cannot read " + displayPath(path));
      std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      try {
        value = toPackage(raw, encoding_);
      } catch (const std::invalid_argument& e) {
        fail(*file, displayPath(path) + ": " + e.what());
      }
    } else {
      value = text(*node, key, true);
    }
    std::string crlf;
    for (size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\n' && (i == 0 || value[i - 1] != '\r')) crlf += '\r';
      crlf += value[i];
    }
    return limited(*node, key, crlf, maxHeaderStringLength);
  }

  std::vector<std::reference_wrapper<const toml::table>> tables(const toml::table& root,
                                                                const char* key) const {
    std::vector<std::reference_wrapper<const toml::table>> result;
    const toml::node* node = root.get(key);
    if (!node) return result;
    const auto* array = node->as_array();
    if (!array) fail(*node, std::string(key) + " must be an array of tables ([[" + key + "]])");
    for (const toml::node& item : *array) {
      const auto* t = item.as_table();
      if (!t) fail(item, std::string("each ") + key + " must be a table");
      result.push_back(*t);
    }
    return result;
  }

  Branding branding(const toml::table& root) const {
    Branding b;
    if (auto* node = root.get("executionLevel")) {
      std::string level = text(*node, "executionLevel", false);
      if (level != "admin" && level != "user")
        fail(*node, "executionLevel must be \"admin\" or \"user\"");
      b.level = level == "admin" ? ExecutionLevel::admin : ExecutionLevel::user;
    }
    if (auto* node = root.get("icon")) {
      fs::path path = manifestPath(*node, "icon");
      std::ifstream in(path, std::ios::binary);
      if (!in) fail(*node, "cannot read icon " + displayPath(path));
      std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
      b.icon = iconImages(bytes, where(node->source()) + ": icon " + displayPath(path));
    }
    if (auto* node = root.get("version")) {
      b.version = text(*node, "version", false);
      if (!parseVersion(b.version, &b.versionNumbers))
        fail(*node, "version must be one to four numbers 0 to 65535 with dots between, as \"1.2.3\"");
    }
    for (auto [key, value] : {std::pair{"publisher", &b.publisher}, std::pair{"copyright", &b.copyright}}) {
      if (auto* node = root.get(key)) *value = limited(*node, key, text(*node, key, false), 1024);
      if (!value->empty() && b.version.empty())
        fail(*root.get(key), std::string(key) + " needs version, which makes the version information");
    }
    return b;
  }

  ManifestField field(const toml::table& t) const {
    allowOnly(t, {"caption", "variableName", "required"});
    ManifestField f;
    f.caption = headerText(t, "caption", true);
    f.variableName = headerText(t, "variableName", true, maxVariableNameLength);
    if (auto* node = t.get("required")) f.flags = flag(*node, "required") ? fieldRequired : 0;
    f.variableNameAt = placeOf(t, "variableName");
    return f;
  }

  ManifestComponent component(const toml::table& t) {
    allowOnly(t, {"name", "selected", "required", "files", "exclude", "shortcut"});
    ManifestComponent c;
    c.name = headerText(t, "name", true);
    c.flags = componentSelected;  // unless said otherwise
    if (auto* node = t.get("selected")) c.flags = flag(*node, "selected") ? componentSelected : 0;
    if (auto* node = t.get("required")) c.flags |= flag(*node, "required") ? componentRequired : 0;
    ++componentIndex_;
    if (auto* node = t.get("files")) c.files = files(*node, t.get("exclude"));
    for (const toml::table& s : tables(t, "shortcut")) {
      allowOnly(s, {"target", "arguments", "workingDirectory", "linkName"});
      c.shortcuts.push_back({headerText(s, "target", true), headerText(s, "arguments", false),
                             headerText(s, "workingDirectory", false),
                             headerText(s, "linkName", true), placeOf(s, "target"),
                             placeOf(s, "arguments"), placeOf(s, "workingDirectory"),
                             placeOf(s, "linkName")});
    }
    return c;
  }

  // A fault of the payload functions, placed at the manifest node that led to it.
  template <typename F>
  auto located(const toml::node& node, F&& f) const -> decltype(f()) {
    try {
      return f();
    } catch (const BuildError& e) {
      fail(node, e.what());
    }
  }

  // A component's files in list order, each item's matches sorted by entry name, less those an
  // exclude pattern matches.
  std::vector<ManifestFile> files(const toml::node& list, const toml::node* exclude) {
    const auto* array = list.as_array();
    if (!array) fail(list, "files must be an array");
    excludes_.clear();
    if (exclude) {
      const auto* patterns = exclude->as_array();
      if (!patterns) fail(*exclude, "exclude must be an array of patterns");
      for (const toml::node& p : *patterns) {
        std::string pattern = text(p, "exclude", false);
        excludes_.push_back(located(p, [&] { return patternParts(pattern); }));
      }
    }
    std::vector<ManifestFile> result;
    for (const toml::node& item : *array) {
      for (ManifestFile& f : itemFiles(item)) {
        f.at = where(item.source());
        if (!matchesAnyPattern(excludes_, f.name, encoding_) && admit(f, item))
          result.push_back(std::move(f));
      }
    }
    return result;
  }

  // "pattern" below source, { folder = "...", as = "..." } or { name = "...", from = "..." }; the
  // folder and from paths are relative to the manifest.
  std::vector<ManifestFile> itemFiles(const toml::node& item) const {
    if (item.is_string()) return patternFiles(item);
    const auto* t = item.as_table();
    if (!t) fail(item, "each file must be a name, a pattern or a table");
    allowOnly(*t, {"name", "from", "folder", "as"});
    if (t->get("folder")) {
      if (t->get("name") || t->get("from")) fail(item, "a file takes folder (and as) or name");
      return folderFiles(*t);
    }
    if (t->get("as")) fail(item, "as goes with folder");
    const toml::node* nameNode = t->get("name");
    if (!nameNode) fail(item, "a file needs a name or a folder");
    if (!t->get("from")) return patternFiles(*nameNode, false);
    std::string name = entryName(*nameNode, text(*nameNode, "file name", false));
    std::replace(name.begin(), name.end(), '/', '\\');
    checkName(*nameNode, name);
    const toml::node& from = *t->get("from");
    fs::path source = manifestPath(from, "from");
    if (isLink(source)) fail(from, displayPath(source) + " is a symbolic link");
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) fail(from, "missing file " + displayPath(source));
    return {{name, source}};
  }

  std::vector<ManifestFile> patternFiles(const toml::node& node, bool wildcards = true) const {
    std::string pattern = text(node, "file name", false);
    auto parts = located(node, [&] { return patternParts(pattern); });
    fs::path path = source_;
    for (const std::string& part : parts) path /= fs::u8path(part);
    if (!hasWildcard(parts)) {
      // A plain name: refuse it for Windows before looking for it.
      std::string name;
      for (const std::string& part : parts) name += (name.empty() ? "" : "\\") + part;
      checkName(node, entryName(node, name));
    } else if (!wildcards) {
      fail(node, "a file name must not hold wildcards");
    }
    size_t excluded = 0;
    auto found =
        located(node, [&] { return findFiles(source_, parts, encoding_, {}, excludes_, &excluded); });
    if (!found.empty() || excluded) return found;
    if (hasWildcard(parts))
      fail(node, "no file matches " + pattern + " in " + displayPath(source_));
    std::error_code ec;
    if (fs::is_directory(path, ec))
      fail(node, displayPath(path) + " is a folder: take its files with \"" + pattern +
                     "\\\\**\" or { folder = \"" + pattern + "\" }");
    fail(node, "missing file " + displayPath(path));
  }

  std::vector<ManifestFile> folderFiles(const toml::table& t) const {
    const toml::node& node = *t.get("folder");
    fs::path folder = manifestPath(node, "folder");
    std::string prefix;
    if (const toml::node* as = t.get("as")) {
      std::string value = text(*as, "as", false);
      auto parts = value.empty() ? std::vector<std::string>{}
                                 : located(*as, [&] { return patternParts(value); });
      if (hasWildcard(parts)) fail(*as, "as must be a folder name, without wildcards");
      for (const std::string& part : parts) prefix += part + "\\";
    }
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) fail(node, "missing folder " + displayPath(folder));
    size_t excluded = 0;
    auto found = located(
        node, [&] { return findFiles(folder, {"**"}, encoding_, prefix, excludes_, &excluded); });
    if (found.empty() && !excluded) fail(node, "folder " + displayPath(folder) + " holds no files");
    return found;
  }

  // Refuses an entry name (in the package's encoding) that Windows cannot hold, naming its
  // source if known.
  void checkName(const toml::node& node, const std::string& name,
                 const fs::path& source = {}) const {
    std::string fault = windowsNameFault(name, encoding_);
    if (fault.empty()) return;
    std::string from = source.empty() ? "" : " (" + displayPath(source) + ")";
    fail(node, "\"" + fromPackage(name, encoding_) + "\"" + from +
                   " cannot be a file name on Windows: " + fault);
  }

  // Checks a file against Windows and against every entry name taken so far; false when the
  // same file was already taken under the same name by this component, or when another file
  // took its name (a clash, told with the others once the manifest is read).
  bool admit(const ManifestFile& f, const toml::node& item) {
    checkName(item, f.name, f.source);
    fs::path source = f.source.lexically_normal();
    auto [it, added] =
        taken_.emplace(foldCase(f.name, encoding_), Taken{f.name, source, componentIndex_});
    if (added) return true;
    Taken& first = it->second;
    if (first.name == f.name && first.source == source) {
      if (first.component == componentIndex_) return false;
      first.component = componentIndex_;
      return true;
    }
    auto shown = [&](const std::string& name, const fs::path& path) {
      return "\"" + fromPackage(name, encoding_) + "\" (" + displayPath(path) + ")";
    };
    // Every clash of a manifest is told in one run.
    clashes_.push_back(where(item.source()) + ": " + shown(first.name, first.source) + " and " +
                       shown(f.name, source) +
                       (first.name == f.name ? " would be the same entry"
                        : encoding_ == Encoding::utf8
                            ? " differ only in letter case or composition, one file on Windows"
                            : " differ only in letter case, one file on Windows"));
    return false;
  }

  struct Taken {
    std::string name;
    fs::path source;
    int component;
  };
  std::map<std::string, Taken> taken_;  // by entry name as foldCase has it
  std::vector<std::string> clashes_;    // entry names that two files would take
  Excludes excludes_;                   // the component's being read
  int componentIndex_ = 0;
  Encoding encoding_ = Encoding::windows1252;
  fs::path path_, folder_, source_;
};

}  // namespace

Manifest readManifest(const fs::path& path) {
  return Reader(path).read();
}

}  // namespace qzpack
