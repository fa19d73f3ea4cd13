// The application manifest embedded in setup.exe and uninstall.exe: the execution level they ask
// Windows for, the Windows versions they were written for, and (for later use) the settings of
// <windowsSettings>. Made from its parts, so that each key changes only its own element.
#pragma once
#include <optional>
#include <string>

namespace qzpack {

enum class ExecutionLevel { admin, user };  // requireAdministrator, asInvoker

struct AppManifest {
  ExecutionLevel level = ExecutionLevel::admin;
  std::string activeCodePage;  // the <activeCodePage> value; empty for none
};

// The manifest's XML in UTF-8. The stubs' built-in manifest (setup/start/default.manifest) is the
// text of AppManifest{}.
std::string manifestXml(const AppManifest& manifest);

// The manifest's name for a level, as the XML writes it.
const char* levelName(ExecutionLevel level);

// The level a manifest's XML asks for; none when it has no single well-formed
// requestedExecutionLevel element, or one with a level not written here.
std::optional<ExecutionLevel> manifestLevel(const std::string& xml);

}  // namespace qzpack
