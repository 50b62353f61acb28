// What the extraction run refuses before it makes anything for an entry.
#pragma once
#include <stdint.h>

// The longest full path the ANSI file calls take (MAX_PATH less the zero).
constexpr int32_t longest_full_path = 259;

// False when a resolved entry name could lead outside the destination folder
// or name a device: a leading backslash or slash; a slash, a colon or a byte
// below 0x20 anywhere; an empty component or one made only of dots and
// spaces (".." above all), except the final "." of a directory entry; a
// component that is CON, PRN, AUX, NUL, COM1 to COM9 or LPT1 to LPT9 in any
// case, with or without an extension.
bool name_is_safe(const char* name);
