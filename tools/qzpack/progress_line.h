// The one-line progress display of a build on a terminal.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qzpack {

// Whether stream is a terminal, where a progress line may be drawn.
bool isTerminal(std::FILE* stream);

// Files done of the total, content read and its rate, redrawn in place. Nothing is drawn before
// delay has passed, so that a quick build prints nothing beyond its summary; finish() erases the
// line. With a null terminal it draws nothing at all.
class ProgressLine {
 public:
  ProgressLine(std::FILE* terminal, size_t files, uint64_t bytes,
               std::chrono::milliseconds delay = std::chrono::seconds(1));
  ~ProgressLine() { finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  void update(size_t files, uint64_t bytes);
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  void draw(const std::string& text);
  std::FILE* terminal_;
  size_t files_;
  uint64_t bytes_;
  Clock::time_point start_, next_;
  size_t width_ = 0;  // of the line on the screen
};

}  // namespace qzpack
