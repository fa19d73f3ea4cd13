#include "manifest_checks.h"

#include <cctype>
#include <set>

#include "code_page.h"
#include "install/macro_names.h"
#include "windows_names.h"

namespace qzpack {
namespace {

struct Checker {
  Manifest& m;
  std::vector<std::string> errors;

  void error(const std::string& at, const std::string& message) {
    errors.push_back(at + ": " + message);
  }

  bool isField(const std::string& name) const {
    for (const ManifestField& f : m.fields)
      if (sameMacroName(name.c_str(), f.variableName.c_str())) return true;
    return false;
  }

  // Calls use(name) for each %name% in text, as setup splits them; the unterminated rest, if
  // any, is returned.
  template <typename Use>
  static std::string eachMacro(const std::string& text, Use&& use) {
    for (size_t start = text.find('%'); start != std::string::npos;) {
      size_t end = text.find('%', start + 1);
      if (end == std::string::npos) return text.substr(start);
      use(text.substr(start + 1, end - start - 1));
      start = text.find('%', end + 1);
    }
    return {};
  }

  // A text that setup expands: every macro must stand for something.
  void expanded(const std::string& text, const std::string& at, const char* key) {
    std::string rest = eachMacro(text, [&](const std::string& name) {
      if (name.empty())
        error(at, std::string(key) +
                      ": %% is a macro with an empty name that expands to nothing "
                      "(setup has no escape for %)");
      else if (builtInMacroIndex(name.c_str()) < 0 && !isField(name))
        error(at, std::string(key) + ": %" + fromPackage(name, m.encoding) +
                      "% is neither a built-in path macro nor a field's variableName: it would "
                      "expand to nothing");
    });
    if (!rest.empty())
      error(at, std::string(key) + ": the % of \"" + fromPackage(rest, m.encoding) +
                    "\" has no closing %: setup drops it and the rest of the text");
  }

  void variableNames() {
    for (size_t i = 0; i < m.fields.size(); ++i) {
      const ManifestField& f = m.fields[i];
      const char* name = f.variableName.c_str();
      if (f.variableName.empty())
        error(f.variableNameAt, "variableName is empty: no macro can reach the field");
      else if (f.variableName.find('%') != std::string::npos)
        error(f.variableNameAt, "variableName must not hold %");
      else if (builtInMacroIndex(name) >= 0)
        error(f.variableNameAt, "variableName " + fromPackage(f.variableName, m.encoding) +
                                    " is a built-in path macro, which always wins over a field");
      for (size_t j = 0; j < i && !f.variableName.empty(); ++j)
        if (sameMacroName(name, m.fields[j].variableName.c_str()))
          error(f.variableNameAt,
                "variableName " + fromPackage(f.variableName, m.encoding) + " is the field at " +
                    m.fields[j].variableNameAt +
                    " again (setup ignores letter case): only the first is reached");
    }
  }

  // Under shortcutFolder a link name is joined below it: a folder of its own cannot come first.
  void underShortcutFolder(const std::string& linkName, const std::string& at) {
    if (m.shortcutFolder.empty() || linkName.empty()) return;
    bool drive = linkName.size() > 1 && linkName[1] == ':' &&
                 std::isalpha(static_cast<unsigned char>(linkName[0]));
    size_t end = linkName[0] == '%' ? linkName.find('%', 1) : std::string::npos;
    bool folderMacro =
        end != std::string::npos && builtInMacroIndex(linkName.substr(1, end - 1).c_str()) >= 0;
    if (drive || folderMacro)
      error(at, "linkName \"" + fromPackage(linkName, m.encoding) +
                    "\" begins with a folder of its own, but setup joins every link name below "
                    "shortcutFolder \"" +
                    fromPackage(m.shortcutFolder, m.encoding) + "\": drop one of the two");
  }

  void arguments(const ManifestShortcut& s) {
    eachMacro(s.arguments, [&](const std::string& name) {
      if (builtInMacroIndex(name.c_str()) >= 0 || isField(name))
        m.warnings.push_back(
            s.argumentsAt + ": arguments are passed to the shortcut as written: %" +
            fromPackage(name, m.encoding) + "% reaches the program as it is, not expanded");
    });
  }

  // A target below %PROGRAMDIR% should be a file or folder that the package installs.
  void target(const ManifestShortcut& s, const std::set<std::string>& installed) {
    const std::string& t = s.target;
    size_t end = t.size() > 1 && t[0] == '%' ? t.find('%', 1) : std::string::npos;
    if (end == std::string::npos || builtInMacroIndex(t.substr(1, end - 1).c_str()) != 0 ||
        t.size() <= end + 2 || t[end + 1] != '\\')
      return;
    std::string below = foldCase(t.substr(end + 2), m.encoding);
    auto next = installed.lower_bound(below);
    bool found = next != installed.end() &&
                 (*next == below || next->compare(0, below.size() + 1, below + "\\") == 0);
    if (!found)
      m.warnings.push_back(s.targetAt + ": target \"" + fromPackage(t, m.encoding) +
                           "\" is no file of the package");
  }

  void shortcuts() {
    std::set<std::string> installed;
    for (const ManifestComponent& c : m.components)
      for (const ManifestFile& f : c.files) installed.insert(foldCase(f.name, m.encoding));
    if (m.uninstaller) installed.insert(foldCase("uninstall.exe", m.encoding));
    for (const ManifestComponent& c : m.components) {
      for (const ManifestShortcut& s : c.shortcuts) {
        expanded(s.target, s.targetAt, "target");
        expanded(s.workingDirectory, s.workingDirectoryAt, "workingDirectory");
        expanded(s.linkName, s.linkNameAt, "linkName");
        underShortcutFolder(s.linkName, s.linkNameAt);
        arguments(s);
        target(s, installed);
      }
    }
  }
};

}  // namespace

std::vector<std::string> checkManifest(Manifest& m) {
  Checker check{m, {}};
  check.variableNames();
  check.expanded(m.defaultDestination, m.defaultDestinationAt, "defaultDestination");
  check.expanded(m.shortcutFolder, m.shortcutFolderAt, "shortcutFolder");
  for (const ManifestComponent& c : m.components)
    for (const ManifestFile& f : c.files) check.expanded(f.name, f.at, "file name");
  check.shortcuts();
  if (!m.uninstallShortcut.empty()) {
    check.expanded(m.uninstallShortcut, m.uninstallShortcutAt, "uninstallShortcut");
    check.underShortcutFolder(m.uninstallShortcut, m.uninstallShortcutAt);
  }
  return check.errors;
}

}  // namespace qzpack
