// Expanding one file entry's coded data.
#pragma once
#include <stdint.h>

// Decodes symbols until `expanded_size` bytes are produced or
// cancel_requested is set, passing bytes through the output window.
// The final window_flush is the caller's.
void expand_entry(int32_t expanded_size);

// Takes at most one queued window message and dispatches it. Called after
// every tree rebuild: the only moment the user interface is served (and a
// Cancel click lands) while an entry is decoded.
void pump_one_message();
