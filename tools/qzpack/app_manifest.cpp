#include "app_manifest.h"

namespace qzpack {
namespace {

// The <supportedOS> ids, Vista to Windows 10 and 11: Windows then gives the program its own
// behaviour rather than the compatibility shims of an older program. No DPI awareness: the
// wizard's layout is in fixed pixels, which Windows scales.
const char* const supportedOs[] = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
};

const char levelAttribute[] = "<requestedExecutionLevel level=\"";

}  // namespace

const char* levelName(ExecutionLevel level) {
  return level == ExecutionLevel::admin ? "requireAdministrator" : "asInvoker";
}

std::string manifestXml(const AppManifest& m) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
      "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>\n";
  xml += levelAttribute;
  xml += levelName(m.level);
  xml +=
      "\" uiAccess=\"false\"/>\n"
      "</requestedPrivileges></security></trustInfo>\n"
      "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\"><application>\n";
  for (const char* id : supportedOs) xml += std::string("<supportedOS Id=\"") + id + "\"/>\n";
  xml += "</application></compatibility>\n";
  if (!m.activeCodePage.empty())
    xml +=
        "<application xmlns=\"urn:schemas-microsoft-com:asm.v3\"><windowsSettings>\n"
        "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">" +
        m.activeCodePage + "</activeCodePage>\n</windowsSettings></application>\n";
  xml += "</assembly>\n";
  return xml;
}

std::optional<ExecutionLevel> manifestLevel(const std::string& xml) {
  size_t at = xml.find(levelAttribute);
  if (at == std::string::npos || xml.find(levelAttribute, at + 1) != std::string::npos) return {};
  at += sizeof levelAttribute - 1;
  size_t end = xml.find('"', at);
  if (end == std::string::npos || xml.find("/>", end) == std::string::npos) return {};
  std::string level = xml.substr(at, end - at);
  for (ExecutionLevel l : {ExecutionLevel::admin, ExecutionLevel::user})
    if (level == levelName(l)) return l;
  return {};
}

}  // namespace qzpack
