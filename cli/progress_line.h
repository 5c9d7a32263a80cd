#pragma once
// A command's one line of progress, rewritten in place on standard error when
// that is a terminal, and its result lines on standard output meanwhile. Not
// locked: callers on several threads hold their own lock around each call.
#include <chrono>
#include <cstdint>
#include <string>

#include "core/text_helpers.h"  // Grouped, for the lines' counts

namespace qb {

class ProgressLine {
 public:
  ProgressLine();

  // Whether standard error is a terminal, where the progress line goes.
  bool Shown() const { return shown_; }

  // Writes line to standard output, flushed, so that a reader of a pipe sees
  // it at once; the progress line makes way when both share a terminal, and
  // comes back at the next Show. False when it could not be written.
  bool Print(const std::string& line);

  // Whether Show would show something new: no line is shown, or the last one
  // is older than a tenth of a second.
  bool Due() const;
  // Shows text as the progress line (nothing when Shown is false).
  void Show(const std::string& text);
  // Shows text for the last time and ends the line.
  void End(const std::string& text);

 private:
  using Clock = std::chrono::steady_clock;
  const bool shown_;
  const bool sameTerminal_;
  int width_ = 0;  // of the line shown, 0 when none is
  Clock::time_point when_;
};

}  // namespace qb
