#include "wine_session.h"

#ifdef _WIN32

namespace qzpack {

int walkUnderWine(const WalkRequest&, std::ostream& err) {
  err << "qzpack try runs installers under Wine on Linux; on Windows, qzwalk.exe beside "
         "qzpack.exe\n"
         "walks a package on this desktop, installing it for real\n";
  return 2;
}

}  // namespace qzpack

#else

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qzpack {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t interrupted = 0;
void onSignal(int) {
  interrupted = 1;
}

// Generous: a fresh prefix takes about ten seconds on a loaded machine.
constexpr int bootSeconds = 600, xvfbSeconds = 60, stopSeconds = 120;

struct Tools {
  std::string wine, wineserver, xvfb;
};

bool executable(const std::string& path) {
  return access(path.c_str(), X_OK) == 0 && !fs::is_directory(path);
}

// The first candidate that can be run: a path as it is, a bare name looked up in PATH.
std::string findProgram(std::initializer_list<const char*> candidates) {
  const char* path = std::getenv("PATH");
  for (const char* candidate : candidates) {
    if (!candidate || !*candidate) continue;
    if (std::strchr(candidate, '/')) {
      if (executable(candidate)) return candidate;
      continue;
    }
    std::string folders = path ? path : "";
    for (size_t start = 0, end; start <= folders.size(); start = end + 1) {
      end = folders.find(':', start);
      if (end == std::string::npos) end = folders.size();
      std::string file = folders.substr(start, end - start) + "/" + candidate;
      if (end > start && executable(file)) return file;
    }
  }
  return {};
}

// Wine's 64-bit loader runs 32-bit programs too; Debian keeps it and the server out of PATH.
std::string findTools(Tools& tools) {
  tools.wine = findProgram({std::getenv("WINE"), "/usr/lib/wine/wine64", "wine64", "wine"});
  tools.wineserver =
      findProgram({std::getenv("WINESERVER"), "/usr/lib/wine/wineserver", "wineserver"});
  tools.xvfb = findProgram({"Xvfb"});
  std::string missing;
  if (tools.wine.empty()) missing += " wine";
  if (tools.wineserver.empty()) missing += " wineserver";
  if (tools.xvfb.empty()) missing += " Xvfb";
  return missing;
}

// Starts a program. Its standard input is /dev/null; its output goes to out (-1: ours), its
// errors to /dev/null when quiet. keepOpen is one more descriptor it inherits.
pid_t spawn(const std::vector<std::string>& args, int out, bool quiet, int keepOpen = -1) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid != 0) return pid;
  int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  if (out >= 0) dup2(out, 1);
  if (quiet && out < 0) dup2(null, 1);
  if (quiet) dup2(null, 2);
  if (keepOpen >= 0) fcntl(keepOpen, F_SETFD, 0);
  execv(argv[0], argv.data());
  _exit(127);
}

// Its exit code; -1 when it did not end in time or we were interrupted (it is then killed).
int waitChild(pid_t pid, int seconds) {
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (interrupted || (seconds && Clock::now() > deadline)) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    poll(nullptr, 0, 50);
  }
}

int run(const std::vector<std::string>& args, int seconds) {
  pid_t pid = spawn(args, -1, true);
  return pid < 0 ? -1 : waitChild(pid, seconds);
}

// An Xvfb on a display number it picks itself and writes to us once it takes connections.
std::string startXvfb(const std::string& xvfb, pid_t& pid) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  pid = spawn({xvfb, "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24",
               "-nolisten", "tcp"},
              -1, true, fds[1]);
  close(fds[1]);
  std::string number;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(xvfbSeconds);
  while (!interrupted && Clock::now() < deadline) {
    pollfd ready{fds[0], POLLIN, 0};
    if (poll(&ready, 1, 200) <= 0) continue;
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  return number.empty() ? std::string() : ":" + number;
}

// Runs the walker with its output passed on; true when it printed its verdict, its last line.
bool runWalker(const std::vector<std::string>& args, int& code) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_t pid = spawn(args, fds[1], false);
  close(fds[1]);
  std::string line, last;
  auto pass = [&](bool untilEmpty) {
    char chunk[4096];
    for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) {
      std::fwrite(chunk, 1, static_cast<size_t>(n), stdout);
      for (ssize_t i = 0; i < n; ++i)
        chunk[i] == '\n' ? (void)(last = line, line.clear()) : (void)(line += chunk[i]);
      if (!untilEmpty) break;
    }
    std::fflush(stdout);
  };
  // The walker's children (setup.exe, Wine's desktop) share the pipe and outlive it: read until
  // the walker ends, then what it left, never waiting for the pipe to close.
  for (;;) {
    pollfd ready{fds[0], POLLIN, 0};
    if (poll(&ready, 1, 100) > 0) pass(false);
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (interrupted) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      code = -1;
      break;
    }
  }
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  pass(true);
  close(fds[0]);
  return last.rfind("the installation ", 0) == 0;
}

struct Session {
  Tools tools;
  fs::path root;  // holds the prefix and the home folder
  pid_t xvfb = -1;
  bool wineStarted = false;  // WINEPREFIX names our prefix: a server of ours may run
};

// Makes the prefix and runs the walker in it; the session is torn down by the caller.
int walkIn(Session& s, const WalkRequest& request, std::ostream& err) {
  std::string display = startXvfb(s.tools.xvfb, s.xvfb);
  if (display.empty()) {
    err << "qzpack try: Xvfb did not start\n";
    return 2;
  }
  // The server needs the prefix's folder before wineboot fills it.
  fs::create_directories(s.root / "home");
  fs::create_directories(s.root / "prefix");
  fs::create_directories(s.root / "tmp");  // Wine leaves folders of its own there
  setenv("DISPLAY", display.c_str(), 1);
  setenv("WINEPREFIX", (s.root / "prefix").c_str(), 1);
  setenv("HOME", (s.root / "home").c_str(), 1);
  setenv("TMPDIR", (s.root / "tmp").c_str(), 1);
  setenv("WINEARCH", "win64", 1);
  setenv("WINEDEBUG", "-all", 1);
  // No menu entries or icons in the host's home; no Mono or Gecko prompts.
  setenv("WINEDLLOVERRIDES", "winemenubuilder.exe=d;mscoree=d;mshtml=d", 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
  s.wineStarted = true;
  err << "qzpack try: making a throw-away Wine prefix in " << s.root.string() << "\n";
  // A server that stays until it is told to go keeps each later start short.
  run({s.tools.wineserver, "-p"}, stopSeconds);
  int booted = run({s.tools.wine, "wineboot", "-i"}, bootSeconds);
  if (booted != 0) {
    err << "qzpack try: wineboot did not make the prefix ("
        << (interrupted ? std::string("interrupted") : "code " + std::to_string(booted)) << ")\n";
    return 2;
  }
  // Without a window manager Wine waits about a second at every window hide unless its X11
  // driver leaves the windows unmanaged.
  run({s.tools.wine, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N",
       "/f"},
      stopSeconds);
  std::vector<std::string> args{s.tools.wine, request.walker.string(), request.package};
  args.insert(args.end(), request.answers.begin(), request.answers.end());
  int code = -1;
  if (runWalker(args, code)) return code == 0 ? 0 : 1;
  err << "qzpack try: " << request.walker.string() << " ended"
      << (code < 0 ? std::string(" when interrupted") : " with code " + std::to_string(code))
      << " before its report; Wine runs 32-bit programs only with its 32-bit part installed"
         " (Debian: wine32:i386)\n";
  return 2;
}

void tearDown(Session& s, bool keep, std::ostream& err) {
  if (s.wineStarted) {
    interrupted = 0;  // the clean-up runs in full even after Ctrl+C
    run({s.tools.wineserver, "-k"}, stopSeconds);
  }
  if (s.xvfb > 0) {
    kill(s.xvfb, SIGTERM);
    waitChild(s.xvfb, stopSeconds);
  }
  if (keep) {
    err << "qzpack try: kept the Wine prefix " << (s.root / "prefix").string()
        << " (its desktop is " << (s.root / "home").string() << ")\n";
    return;
  }
  // remove_all removes symbolic links, never what they point to: the prefix's drive Z: is /.
  std::error_code ec;
  fs::remove_all(s.root, ec);
  if (ec) err << "qzpack try: could not remove " << s.root.string() << ": " << ec.message() << "\n";
}

}  // namespace

int walkUnderWine(const WalkRequest& request, std::ostream& err) {
  Session s;
  std::string missing = findTools(s.tools);
  if (!missing.empty()) {
    err << "qzpack try needs Wine and Xvfb; not found:" << missing
        << " (Debian packages: wine, wine64, wine32:i386, xvfb)\n";
    return 2;
  }
  if (!fs::is_regular_file(request.walker)) {
    err << "qzpack try: no walker at " << request.walker.string()
        << ": build the win32 preset, put qzwalk.exe beside qzpack or set QZPACK_WALKER\n";
    return 2;
  }
  std::string pattern = (fs::temp_directory_path() / "qzpack-try-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    err << "qzpack try: cannot make a folder in " << fs::temp_directory_path().string() << "\n";
    return 2;
  }
  s.root = pattern;
  struct sigaction action {};
  action.sa_handler = onSignal;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  int result = walkIn(s, request, err);
  tearDown(s, request.keep, err);
  return result;
}

}  // namespace qzpack

#endif
