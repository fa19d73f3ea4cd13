// A throw-away Wine session on a virtual screen of its own: an Xvfb, a fresh Wine prefix with a
// home folder of its own (Wine links the user's Desktop and Documents into a prefix: they must
// not be the real ones), one Windows program run in it, and everything removed afterwards.
#pragma once
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace qzpack {

struct WalkRequest {
  std::filesystem::path walker;      // qzwalk.exe on the host
  std::string package;               // as Wine sees it (Z:\...)
  std::vector<std::string> answers;  // the walker's arguments after the package
  bool keep = false;                 // leave the prefix in place and say where
};

// Runs the walker in the session, its report going to standard output; notes and faults go to
// err. 0 when the installation finished, 1 when it did not, 2 when it could not be tried.
int walkUnderWine(const WalkRequest& request, std::ostream& err);

}  // namespace qzpack
