// The three times of a file entry as FILETIMEs, from the file system or fixed
// for reproducible archives.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

#include "pack/payload.h"

namespace quorvex::pack {

// FILETIME of a Unix time; times before 1601 become 0.
uint64_t filetime_of(int64_t seconds, uint32_t nanoseconds);

// Creation (the birth time where the file system keeps one, else the last
// write), last access and last write.
file_times times_of(const struct statx& status);

// A date and time in ISO 8601 as a FILETIME: 2024-05-01, 2024-05-01T12:30,
// 2024-05-01T12:30:15.25, each optionally with Z or an offset (+09:00,
// -0500); a space may stand for the T. Without a zone the time is UTC, so
// that the archive does not depend on the machine. Nothing for other texts.
std::optional<uint64_t> parse_iso8601(const std::string& text);

// SOURCE_DATE_EPOCH: decimal seconds since 1970 UTC.
std::optional<uint64_t> parse_epoch_seconds(const std::string& text);

}  // namespace quorvex::pack
