#include "progress_line.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace qzpack {

namespace {
constexpr std::chrono::milliseconds redraw(200);
constexpr double mebibyte = 1024.0 * 1024.0;
}  // namespace

bool isTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

ProgressLine::ProgressLine(std::FILE* terminal, size_t files, uint64_t bytes,
                           std::chrono::milliseconds delay)
    : terminal_(terminal),
      files_(files),
      bytes_(bytes),
      start_(Clock::now()),
      next_(start_ + delay) {}

void ProgressLine::update(size_t files, uint64_t bytes) {
  if (!terminal_) return;
  Clock::time_point now = Clock::now();
  if (now < next_) return;
  next_ = now + redraw;
  double seconds = std::chrono::duration<double>(now - start_).count();
  char text[160];
  std::snprintf(text, sizeof text, "qzpack: %llu/%llu files, %.1f of %.1f MiB, %.1f MiB/s",
                static_cast<unsigned long long>(files), static_cast<unsigned long long>(files_),
                bytes / mebibyte, bytes_ / mebibyte,
                seconds > 0 ? bytes / mebibyte / seconds : 0.0);
  draw(text);
}

void ProgressLine::finish() {
  if (!terminal_ || width_ == 0) return;
  draw("");
  std::fputc('\r', terminal_);
  std::fflush(terminal_);
  width_ = 0;
}

// Overwrites the line, blanking what is left of a longer one.
void ProgressLine::draw(const std::string& text) {
  std::fprintf(terminal_, "\r%s%*s", text.c_str(),
               static_cast<int>(width_ > text.size() ? width_ - text.size() : 0), "");
  std::fflush(terminal_);
  width_ = text.size();
}

}  // namespace qzpack
