#include "try_package.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "install/macro_names.h"
#include "package/header.h"
#include "package_access.h"
#include "wine_session.h"

namespace qzpack {
namespace {

namespace fs = std::filesystem;

const char* const usage =
    "usage: qzpack try PACKAGE [--method full|normal|custom] [--component N]...\n"
    "                  [--field NAME=VALUE]... [--destination PATH] [--shots DIR] [--keep]\n";

bool isCount(const std::string& text) {
  return !text.empty() && text.size() <= 4 &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

// The row of the component that text names: its position as list shows it, or its name.
int componentRow(const std::string& text) {
  int row = 0;
  for (const Component* c = header.firstComponent; c; c = c->next, ++row)
    if (text == c->name || (isCount(text) && std::stoi(text) == row)) return row;
  return -1;
}

// The position of the field the stub would expand %name% to, as it looks it up.
int fieldPosition(const std::string& name) {
  int position = 0;
  for (const CustomField* f = header.firstField; f; f = f->next, ++position)
    if (sameMacroName(name.c_str(), f->variableName)) return position;
  return -1;
}

// qzwalk.exe: $QZPACK_WALKER, else beside qzpack, else the one the win32 build tree made.
fs::path defaultWalker(const char* argv0) {
  if (const char* env = std::getenv("QZPACK_WALKER")) return env;
  std::error_code ec;
  fs::path beside = fs::absolute(argv0, ec).parent_path() / "qzwalk.exe";
#ifdef QZPACK_DEFAULT_WALKER
  if (ec || !fs::exists(beside)) return QZPACK_DEFAULT_WALKER;
#endif
  return beside;
}

}  // namespace

std::string parseTryArguments(const std::vector<std::string>& args, TryRequest& request) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--keep") {
      request.keep = true;
      continue;
    }
    bool option = arg.size() > 1 && arg[0] == '-';
    if (!option) {
      if (!request.package.empty()) return "one package at a time";
      request.package = arg;
      continue;
    }
    if (i + 1 == args.size()) return arg + " needs a value";
    const std::string& value = args[++i];
    if (arg == "--method" && (value == "full" || value == "normal" || value == "custom")) {
      request.method = value;
    } else if (arg == "--method") {
      return "--method takes full, normal or custom";
    } else if (arg == "--component") {
      request.components.push_back(value);
    } else if (arg == "--field" && value.find('=') != std::string::npos && value[0] != '=') {
      size_t equals = value.find('=');
      request.fields.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    } else if (arg == "--field") {
      return "--field takes NAME=VALUE";
    } else if (arg == "--destination") {
      request.destinationGiven = true;
      request.destination = value;
    } else if (arg == "--shots") {
      request.shots = value;
    } else {
      return "unknown option " + arg;
    }
  }
  if (request.package.empty()) return "no package given";
  if (!request.components.empty() && request.method != "custom")
    return "--component needs --method custom: only a custom installation shows the components";
  return {};
}

std::string walkerAnswers(const TryRequest& request, std::vector<std::string>& answers) {
  std::ostringstream fault;
  if (!readHeader(request.package, fault)) return fault.str().substr(0, fault.str().size() - 1);
  if (!request.method.empty()) answers.insert(answers.end(), {"--method", request.method});
  for (const std::string& component : request.components) {
    int row = componentRow(component);
    if (row < 0) return "the package has no component \"" + component + "\"";
    answers.insert(answers.end(), {"--component", std::to_string(row)});
  }
  for (const auto& [name, value] : request.fields) {
    if (builtInMacroIndex(name.c_str()) >= 0)
      return name + " is a built-in path macro, not a field of the package";
    int position = fieldPosition(name);
    if (position < 0) return "the package has no field with the variableName " + name;
    answers.insert(answers.end(), {"--field", std::to_string(position) + "=" + value});
  }
  if (request.destinationGiven)
    answers.insert(answers.end(), {"--destination", request.destination});
  return {};
}

std::string windowsPath(const std::string& hostPath) {
  std::string path = "Z:" + fs::absolute(hostPath).lexically_normal().string();
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

int tryPackage(const std::vector<std::string>& args, const char* argv0, std::ostream& err) {
  TryRequest request;
  std::string fault = parseTryArguments(args, request);
  if (!fault.empty()) {
    err << "qzpack try: " << fault << "\n" << usage;
    return 2;
  }
  WalkRequest walk;
  fault = walkerAnswers(request, walk.answers);
  if (!fault.empty()) {
    err << "qzpack try: " << fault << "\n";
    return 2;
  }
  walk.walker = defaultWalker(argv0);
  walk.package = windowsPath(request.package);
  if (!request.shots.empty()) {
    std::error_code ec;
    fs::create_directories(request.shots, ec);
    if (ec) {
      err << "qzpack try: cannot make " << request.shots << ": " << ec.message() << "\n";
      return 2;
    }
    walk.answers.insert(walk.answers.end(), {"--shots", windowsPath(request.shots)});
  }
  walk.keep = request.keep;
  return walkUnderWine(walk, err);
}

}  // namespace qzpack
