#include "pack/entry_times.h"

#include <cctype>

namespace quorvex::pack {

namespace {

constexpr int64_t ticks_per_second = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t unix_epoch_seconds = 11644473600;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

unsigned days_in_month(int64_t year, unsigned month) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

// Reads exactly `count` digits at `at`.
bool digits(const std::string& text, size_t& at, size_t count, int64_t& value) {
  value = 0;
  for (size_t i = 0; i < count; ++i, ++at) {
    if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return false;
    value = value * 10 + (text[at] - '0');
  }
  return true;
}

bool take(const std::string& text, size_t& at, char c) {
  if (at < text.size() && text[at] == c) {
    ++at;
    return true;
  }
  return false;
}

}  // namespace

uint64_t filetime_of(int64_t seconds, uint32_t nanoseconds) {
  if (seconds < -unix_epoch_seconds) return 0;
  return static_cast<uint64_t>(seconds + unix_epoch_seconds) * ticks_per_second + nanoseconds / 100;
}

file_times times_of(const struct statx& status) {
  auto of = [](const statx_timestamp& t) { return filetime_of(t.tv_sec, t.tv_nsec); };
  file_times times;
  times.last_access = of(status.stx_atime);
  times.last_write = of(status.stx_mtime);
  times.creation = (status.stx_mask & STATX_BTIME) ? of(status.stx_btime) : times.last_write;
  return times;
}

std::optional<uint64_t> parse_iso8601(const std::string& text) {
  size_t at = 0;
  int64_t year, month, day, hour = 0, minute = 0, second = 0;
  if (!digits(text, at, 4, year) || !take(text, at, '-') || !digits(text, at, 2, month) || !take(text, at, '-') ||
      !digits(text, at, 2, day)) {
    return std::nullopt;
  }
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, static_cast<unsigned>(month))) {
    return std::nullopt;
  }
  int64_t ticks = 0;  // below a second
  if (take(text, at, 'T') || take(text, at, ' ')) {
    if (!digits(text, at, 2, hour) || !take(text, at, ':') || !digits(text, at, 2, minute)) return std::nullopt;
    if (take(text, at, ':')) {
      if (!digits(text, at, 2, second)) return std::nullopt;
      if (take(text, at, '.') || take(text, at, ',')) {
        int64_t scale = ticks_per_second / 10;
        size_t first = at;
        for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at, scale /= 10) {
          ticks += (text[at] - '0') * scale;
        }
        if (at == first) return std::nullopt;
      }
    }
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  }
  int64_t offset_minutes = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    int sign = text[at++] == '-' ? -1 : 1;
    int64_t offset_hours, offset_rest;
    if (!digits(text, at, 2, offset_hours)) return std::nullopt;
    take(text, at, ':');
    if (!digits(text, at, 2, offset_rest) || offset_hours > 23 || offset_rest > 59) return std::nullopt;
    offset_minutes = sign * (offset_hours * 60 + offset_rest);
  } else {
    take(text, at, 'Z');
  }
  if (at != text.size()) return std::nullopt;
  int64_t seconds = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                    hour * 3600 + minute * 60 + second - offset_minutes * 60;
  if (seconds < -unix_epoch_seconds) return std::nullopt;
  return filetime_of(seconds, 0) + static_cast<uint64_t>(ticks);
}

std::optional<uint64_t> parse_epoch_seconds(const std::string& text) {
  if (text.empty() || text.size() > 15) return std::nullopt;
  int64_t seconds = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    seconds = seconds * 10 + (c - '0');
  }
  return filetime_of(seconds, 0);
}

}  // namespace quorvex::pack
