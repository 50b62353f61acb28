// The extraction run and the folder operations the front end shares.
#pragma once
#include <stdint.h>

#include "platform/byte_string.h"

// Extracts every entry of the block stream under `destination_folder` (a
// folder text: it ends in a backslash). Returns after the last entry or a
// cancel (cancel_requested tells which); never returns on a failure.
void extract_all(const char* destination_folder);

enum folder_state_value : uint8_t { folder_ok = 0, folder_missing = 1, folder_is_file = 2 };

// "" -> ".\"; a text ending in a backslash character stays; else one is added.
void with_trailing_backslash(const char* text, byte_string* out);
folder_state_value folder_state(const char* folder_text);
// The path up to and including its last backslash character, or "".
void directory_part(const char* path, byte_string* out);
// Makes every folder along a folder text; returns the first prefix that failed
// in `failing_prefix` (empty on success).
void make_folder_chain(const char* folder_text, byte_string* failing_prefix);
// "failed to make the folder:" + prefix, closes archive_file, exit code 0.
[[noreturn]] void folder_failure(const char* failing_prefix);
