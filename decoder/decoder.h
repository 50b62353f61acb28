// Expanding one file entry's coded data.
#pragma once
#include <stdint.h>

// Decodes symbols until `expanded_size` bytes are produced or
// cancel_requested is set, passing bytes through the output window.
// The final window_flush is the caller's.
void expand_entry(int32_t expanded_size);
