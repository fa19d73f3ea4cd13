#include "manifest.h"

#include <toml++/toml.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace qzpack {
namespace {

namespace fs = std::filesystem;

// Limits of the stub: a longer manifest would make a package that setup refuses.
constexpr size_t maxStringLength = 16383;
constexpr size_t maxNameLength = 260;
constexpr size_t maxFields = 64;

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
    Manifest m;
    allowOnly(root, {"title", "defaultDestination", "shortcutFolder", "preInstallText", "lastWords",
                     "background", "compression", "blockSize", "source", "field", "component"});
    fs::path source = folder_;
    if (auto* node = root.get("source")) source = folder_ / text(*node, "source", false);
    source_ = source;
    m.title = headerText(root, "title", true);
    m.defaultDestination = headerText(root, "defaultDestination", false);
    m.shortcutFolder = headerText(root, "shortcutFolder", false);
    m.preInstallText = longText(root, "preInstallText");
    m.lastWords = longText(root, "lastWords");
    if (auto* node = root.get("background")) m.setupFlags |= flag(*node, "background") ? 2 : 0;
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
      if (!value || *value < 1 || *value > 9) fail(*node, "blockSize must be an integer 1 to 9");
      m.blockSize = static_cast<int>(*value);
    }
    for (const toml::table& t : tables(root, "field")) m.fields.push_back(field(t));
    if (m.fields.size() > maxFields) fail(*root.get("field"), "more than 64 custom fields");
    for (const toml::table& t : tables(root, "component")) m.components.push_back(component(t));
    return m;
  }

 private:
  std::string where(const toml::source_region& at) const {
    std::ostringstream s;
    s << path_.string();
    if (at.begin.line) s << ":" << at.begin.line << ":" << at.begin.column;
    return s.str();
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

  std::string text(const toml::node& node, const char* key, bool ansi) const {
    const auto* value = node.as_string();
    if (!value) fail(node, std::string(key) + " must be a string");
    if (!ansi) return value->get();
    try {
      return toAnsi(value->get());
    } catch (const std::invalid_argument& e) {
      fail(node, std::string(key) + ": " + e.what());
    }
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
                         size_t limit = maxStringLength) const {
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
      fs::path path = folder_ / text(*file, "file", false);
      std::ifstream in(path, std::ios::binary);
      if (!in) fail(*file, "cannot read " + path.string());
      std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      try {
        value = toAnsi(raw);
      } catch (const std::invalid_argument& e) {
        fail(*file, path.string() + ": " + e.what());
      }
    } else {
      value = text(*node, key, true);
    }
    std::string crlf;
    for (size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\n' && (i == 0 || value[i - 1] != '\r')) crlf += '\r';
      crlf += value[i];
    }
    return limited(*node, key, crlf, maxStringLength);
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

  ManifestField field(const toml::table& t) const {
    allowOnly(t, {"caption", "variableName", "required"});
    ManifestField f;
    f.caption = headerText(t, "caption", true);
    f.variableName = headerText(t, "variableName", true, 255);
    if (auto* node = t.get("required")) f.flags = flag(*node, "required") ? 1 : 0;
    return f;
  }

  ManifestComponent component(const toml::table& t) const {
    allowOnly(t, {"name", "selected", "required", "files", "shortcut"});
    ManifestComponent c;
    c.name = headerText(t, "name", true);
    c.flags = 1;  // selected unless said otherwise
    if (auto* node = t.get("selected")) c.flags = flag(*node, "selected") ? 1 : 0;
    if (auto* node = t.get("required")) c.flags |= flag(*node, "required") ? 2 : 0;
    if (auto* node = t.get("files")) {
      const auto* array = node->as_array();
      if (!array) fail(*node, "files must be an array");
      for (const toml::node& item : *array) c.files.push_back(file(item));
    }
    for (const toml::table& s : tables(t, "shortcut")) {
      allowOnly(s, {"target", "arguments", "workingDirectory", "linkName"});
      c.shortcuts.push_back({headerText(s, "target", true), headerText(s, "arguments", false),
                             headerText(s, "workingDirectory", false),
                             headerText(s, "linkName", true)});
    }
    return c;
  }

  // "name" (taken from the source folder, backslashes as folder separators) or
  // { name = "...", from = "path relative to the manifest" }.
  ManifestFile file(const toml::node& item) const {
    ManifestFile f;
    const toml::node* nameNode = &item;
    if (const auto* t = item.as_table()) {
      allowOnly(*t, {"name", "from"});
      nameNode = t->get("name");
      if (!nameNode) fail(item, "a file needs a name");
      if (const toml::node* from = t->get("from")) {
        f.source = folder_ / text(*from, "from", false);
      }
    }
    f.name = limited(*nameNode, "file name", text(*nameNode, "file name", true), maxNameLength);
    if (f.name.empty()) fail(*nameNode, "a file name must not be empty");
    if (f.source.empty()) {
      std::string relative = nameNode->as_string()->get();
      for (char& ch : relative)
        if (ch == '\\') ch = '/';
      f.source = source_ / relative;
    }
    std::error_code ec;
    if (!fs::is_regular_file(f.source, ec)) fail(*nameNode, "missing file " + f.source.string());
    return f;
  }

  fs::path path_, folder_, source_;
};

}  // namespace

Manifest readManifest(const fs::path& path) {
  return Reader(path).read();
}

std::string toAnsi(const std::string& utf8) {
  // Windows-1252 bytes 0x80-0x9F; the other bytes equal their code points.
  static const std::map<char32_t, unsigned char> specials = {
      {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85},
      {0x2020, 0x86}, {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A},
      {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92},
      {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97},
      {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C},
      {0x017E, 0x9E}, {0x0178, 0x9F}};
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    int extra = c < 0x80             ? 0
                : (c & 0xE0) == 0xC0 ? 1
                : (c & 0xF0) == 0xE0 ? 2
                : (c & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (extra < 0 || i + extra >= utf8.size() + (extra == 0))
      throw std::invalid_argument("text is not valid UTF-8");
    char32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) throw std::invalid_argument("text is not valid UTF-8");
      code = code << 6 | (next & 0x3F);
    }
    i += extra + 1;
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
      out += static_cast<char>(code);
    } else if (auto it = specials.find(code); it != specials.end()) {
      out += static_cast<char>(it->second);
    } else {
      std::ostringstream s;
      s << "character U+" << std::hex << std::uppercase << static_cast<uint32_t>(code)
        << " is not in the Windows-1252 code page";
      throw std::invalid_argument(s.str());
    }
  }
  return out;
}

}  // namespace qzpack
