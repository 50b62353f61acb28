#include "pack/progress_bar.h"

#include <algorithm>
#include <vector>

#include "cli/console.h"

namespace quorvex::pack {

namespace {

constexpr auto redraw_interval = std::chrono::milliseconds(100);

std::string amount(double bytes) {
  static const char* const units[] = {"B", "KiB", "MiB", "GiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 3) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

// Columns of the UTF-8 character that starts at `p`, and its length.
size_t columns_of(const std::string& text, size_t at, size_t& length) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  length = std::min(length, text.size() - at);
  uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
              (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
              (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
              (code >= 0xFFE0 && code <= 0xFFE6) || code >= 0x20000;
  return wide ? 2 : 1;
}

size_t columns(const std::string& text) {
  size_t total = 0;
  for (size_t at = 0, length = 0; at < text.size(); at += length) total += columns_of(text, at, length);
  return total;
}

// The end of `text` that fits in `width` columns, "..." in front when cut.
std::string tail_within(const std::string& text, size_t width) {
  if (columns(text) <= width) return text;
  if (width < 4) return std::string(width, '.');
  std::vector<size_t> starts;
  for (size_t at = 0, length = 0; at < text.size(); at += length) {
    starts.push_back(at);
    columns_of(text, at, length);
  }
  for (size_t start : starts) {
    std::string tail = text.substr(start);
    if (columns(tail) <= width - 3) return "..." + tail;
  }
  return "...";
}

}  // namespace

std::string progress_line(uint64_t done, uint64_t total, double bytes_per_second, const std::string& name,
                          size_t width) {
  int percent = total == 0 ? 100 : static_cast<int>(std::min<uint64_t>(done, total) * 100 / total);
  const int bar_width = 10;
  int filled = percent * bar_width / 100;
  char share[8];
  std::snprintf(share, sizeof share, "%3d%% ", percent);
  std::string amounts = amount(static_cast<double>(done)) + " / " + amount(static_cast<double>(total)) + "  " +
                        amount(bytes_per_second) + "/s  ";
  std::string bar = "[" + std::string(filled, '#') + std::string(bar_width - filled, '-') + "] ";
  // On a narrow terminal the bar goes first, then the amounts, so that some
  // of the name stays in view.
  const size_t room_for_name = 20;
  std::string head;
  for (const std::string& candidate : {bar + share + amounts, share + amounts, std::string(share)}) {
    head = candidate;
    if (head.size() + room_for_name <= width) break;
  }
  if (head.size() >= width) return head.substr(0, width);
  return head + tail_within(name, width - head.size());
}

progress_bar::progress_bar(uint64_t total_bytes, bool shown)
    : total_(total_bytes), shown_(shown), start_(std::chrono::steady_clock::now()), last_draw_(start_) {}

progress_bar::~progress_bar() { finish(); }

void progress_bar::begin(const std::string& name) {
  name_ = name;
  draw(false);
}

void progress_bar::advance(uint64_t bytes) {
  done_ += bytes;
  draw(false);
}

void progress_bar::print(FILE* stream, const std::string& line) {
  clear();
  console_write(stream, line + "\n");
  std::fflush(stream);
  draw(true);
}

void progress_bar::finish() {
  clear();
  shown_ = false;
}

void progress_bar::draw(bool now) {
  if (!shown_) return;
  auto time = std::chrono::steady_clock::now();
  if (!now && drawn_ && time - last_draw_ < redraw_interval) return;
  last_draw_ = time;
  double seconds = std::chrono::duration<double>(time - start_).count();
  double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0;
  // One column short of the width, so that the terminal never wraps.
  std::string line = progress_line(done_, total_, rate, name_, console_columns() - 1);
  console_write(stderr, "\r" + line + "\x1b[K");
  std::fflush(stderr);
  drawn_ = true;
}

void progress_bar::clear() {
  if (!drawn_) return;
  console_write(stderr, "\r\x1b[K");
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace quorvex::pack
