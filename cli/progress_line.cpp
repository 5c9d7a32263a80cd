#include "cli/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace qb {

ProgressLine::ProgressLine()
    : shown_(isatty(STDERR_FILENO) != 0), sameTerminal_(shown_ && isatty(STDOUT_FILENO) != 0) {}

bool ProgressLine::Print(const std::string& line) {
  // Both on one terminal: the progress line goes, the result line takes its
  // place, and the progress line comes back below it.
  if (sameTerminal_) {
    if (width_ > 0) std::fprintf(stderr, "\r%*s\r", width_, "");
    width_ = 0;
  }
  return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() &&
         std::fflush(stdout) == 0;
}

bool ProgressLine::Due() const {
  return shown_ && (width_ == 0 || Clock::now() - when_ >= std::chrono::milliseconds(100));
}

void ProgressLine::Show(const std::string& text) {
  if (!shown_) return;
  // Padded over what a longer line before left.
  std::fprintf(stderr, "\r%-*s", width_, text.c_str());
  std::fflush(stderr);
  width_ = std::max(width_, static_cast<int>(text.size()));
  when_ = Clock::now();
}

void ProgressLine::End(const std::string& text) {
  if (!shown_) return;
  Show(text);
  std::fputs("\n", stderr);
  width_ = 0;
}

}  // namespace qb
