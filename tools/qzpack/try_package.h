// qzpack try: runs a package's real setup.exe under Wine on a virtual screen, walks its wizard
// with the author's answers (qzwalk.exe does the walking) and prints what a user would get.
#pragma once
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace qzpack {

struct TryRequest {
  std::string package;
  std::string method;                   // full, normal, custom; empty keeps the wizard's choice
  std::vector<std::string> components;  // to select: a position as list numbers it, or a name
  std::vector<std::pair<std::string, std::string>> fields;  // variableName and text
  bool destinationGiven = false;
  std::string destination;
  std::string shots;  // a folder for screenshots; empty for none
  bool keep = false;  // keep the throw-away Wine prefix
};

// The request the arguments make; an empty text when they are sound, else what is wrong.
std::string parseTryArguments(const std::vector<std::string>& args, TryRequest& request);

// The walker's arguments after its package: field names and component names turned into the
// positions that the package's header gives them. Reads the header; an empty text when every
// answer names something of the package, else what does not.
std::string walkerAnswers(const TryRequest& request, std::vector<std::string>& answers);

// A host path as Wine's drive Z: shows it.
std::string windowsPath(const std::string& hostPath);

// The whole command: 0 when the installation finished, 1 when it did not, 2 when it could not
// be tried (usage, an unreadable package, no Wine or Xvfb).
int tryPackage(const std::vector<std::string>& args, const char* argv0, std::ostream& err);

}  // namespace qzpack
