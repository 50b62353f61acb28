// The progress bar of the maker on a terminal: bytes read of the total, the
// rate and the current name, redrawn in place on stderr.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvex::pack {

// One line of the bar, at most `width` columns wide (a double-width
// character counts two); a long name is cut at its front.
std::string progress_line(uint64_t done, uint64_t total, double bytes_per_second, const std::string& name,
                          size_t width);

class progress_bar {
 public:
  // Draws nothing unless `shown` (stderr is a terminal).
  progress_bar(uint64_t total_bytes, bool shown);
  ~progress_bar();
  progress_bar(const progress_bar&) = delete;
  progress_bar& operator=(const progress_bar&) = delete;

  void begin(const std::string& name);
  void advance(uint64_t bytes);
  // A line of its own on `stream`, with the bar out of its way.
  void print(FILE* stream, const std::string& line);
  // Takes the bar off the screen.
  void finish();

 private:
  void draw(bool now);
  void clear();

  uint64_t total_;
  uint64_t done_ = 0;
  bool shown_;
  bool drawn_ = false;
  std::string name_;
  std::chrono::steady_clock::time_point start_, last_draw_;
};

}  // namespace quorvex::pack
