#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "pack/entry_times.h"

namespace {

using namespace quorvex::pack;

// FILETIME of 1970-01-01T00:00:00Z, and 100 ns ticks per second.
constexpr uint64_t unix_epoch = 116444736000000000ull;
constexpr uint64_t second = 10000000ull;

TEST(PackTimes, Iso8601TimesBecomeFiletimes) {
  struct {
    const char* text;
    uint64_t filetime;
  } cases[] = {
      {"1601-01-01", 0},
      {"1970-01-01T00:00:00Z", unix_epoch},
      {"1970-01-01", unix_epoch},
      {"2000-01-01T00:00:00Z", unix_epoch + 946684800ull * second},
      {"2000-01-01T09:00:00+09:00", unix_epoch + 946684800ull * second},
      {"1999-12-31 19:00:00-0500", unix_epoch + 946684800ull * second},
      {"2000-01-01T00:00", unix_epoch + 946684800ull * second},
      {"2024-02-29T12:00:00Z", unix_epoch + 1709208000ull * second},
      {"2024-05-01T12:30:15.25Z", unix_epoch + 1714566615ull * second + second / 4},
  };
  for (const auto& c : cases) {
    std::optional<uint64_t> parsed = parse_iso8601(c.text);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(*parsed, c.filetime) << c.text;
  }
}

TEST(PackTimes, TextsThatAreNoIso8601TimeAreNotTaken) {
  for (const char* text : {"", "yesterday", "2023-02-29", "2024-13-01", "2024-04-31", "2024-05-01T24:00",
                           "2024-05-01T12:60", "2024-05-01T12:30:15Zjunk", "1600-12-31", "2024-5-1",
                           "2024-05-01T12:30:15.", "1601-01-01T00:00:00+01:00"}) {
    EXPECT_FALSE(parse_iso8601(text)) << text;
  }
}

TEST(PackTimes, SourceDateEpochIsWholeSecondsSince1970) {
  EXPECT_EQ(parse_epoch_seconds("0"), unix_epoch);
  EXPECT_EQ(parse_epoch_seconds("1700000000"), unix_epoch + 1700000000ull * second);
  for (const char* text : {"", "-1", "12a", "1.5", " 1"}) EXPECT_FALSE(parse_epoch_seconds(text)) << text;
}

TEST(PackTimes, TimesBefore1601BecomeZero) {
  EXPECT_EQ(filetime_of(-11644473600, 0), 0u);
  EXPECT_EQ(filetime_of(-11644473601, 999999999), 0u);
  EXPECT_EQ(filetime_of(0, 999999999), unix_epoch + 9999999);
}

TEST(PackTimes, CreationIsTheBirthTimeWhereKeptElseTheLastWrite) {
  struct statx status = {};
  status.stx_atime = {1000, 0, 0};
  status.stx_mtime = {2000, 500, 0};
  status.stx_btime = {500, 0, 0};
  status.stx_mask = STATX_BASIC_STATS;
  file_times without_birth = times_of(status);
  EXPECT_EQ(without_birth.last_access, unix_epoch + 1000 * second);
  EXPECT_EQ(without_birth.last_write, unix_epoch + 2000 * second + 5);
  EXPECT_EQ(without_birth.creation, without_birth.last_write);
  status.stx_mask |= STATX_BTIME;
  EXPECT_EQ(times_of(status).creation, unix_epoch + 500 * second);
}

}  // namespace
