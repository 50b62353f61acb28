// The state of the extraction run, for the fronts that follow it. The stub
// only runs it; the portable tool lists entries and shows progress from it.
#pragma once
#include <stdint.h>

#include "platform/byte_string.h"
#include "platform/platform.h"

// The name of the record read last, as it resolved (a folder's with "\.").
extern byte_string previous_name;
// The destination folder followed by that name.
extern byte_string full_path;
// The fixed fields of the current file entry.
extern file_time creation_time;
extern file_time last_access_time;
extern file_time last_write_time;
extern int32_t expanded_size;

// Told about every record once it has been read and its name accepted, before
// anything is made for it; a file's fixed fields are read by then. Null
// unless a front sets it.
extern void (*entry_observer)(bool is_folder);
